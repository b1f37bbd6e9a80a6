// The helper's reads under an allocation failure: a read that cannot copy a
// long value answers as a failed read with a level-0 line and lets no
// exception reach the caller. This program replaces operator new: while
// t_failFrom is set, every request of at least that many bytes on the thread
// fails (the values are longer than any trace line, so only their copies do).
#include <gtest/gtest.h>

#include <cstddef>
#include <cstdlib>
#include <functional>
#include <new>
#include <string>

#include "ostrel/KovaConfigApi.h"
#include "ostrel/KovaConfigHelper.h"
#include "util/testing/trace_capture.h"

namespace {

thread_local std::size_t t_failFrom = 0;

// Out of line, so that no inlined free() is paired with a new expression.
#if defined(__GNUC__)
__attribute__((noinline))
#endif
void* allocate(std::size_t size) {
  if (t_failFrom != 0 && size >= t_failFrom) throw std::bad_alloc();
  if (void* p = std::malloc(size == 0 ? 1 : size)) return p;
  throw std::bad_alloc();
}

#if defined(__GNUC__)
__attribute__((noinline))
#endif
void release(void* p) noexcept {
  std::free(p);
}

}  // namespace

void* operator new(std::size_t size) { return allocate(size); }
void operator delete(void* p) noexcept { release(p); }
void operator delete(void* p, std::size_t) noexcept { release(p); }

namespace kovaStore {
namespace {

constexpr uint32_t kCall = 0x4B000001;
constexpr std::size_t kLongSize = 8192;

// Regression: GetFeatureToggle read a long toggle value without the
// exception boundary that every other read has, so a failed allocation of
// its copy reached the host as std::bad_alloc.
TEST(HelperReadBoundaryTest, LongReadsFailingToAllocateThrowNothing) {
  DestroyKovaConfig();
  KovaConfigHelper helper(kCall);
  helper.SetDefaultGroup(KovaConfigGroup_Feature);
  const ConfigData longValue(std::string(kLongSize, 'x'));
  ASSERT_EQ(KOVA_E_NOOBSERVER,
            helper.SetFeatureToggle(KOVA_FT_EnableRelayMode, longValue));
  const char* const name =
      KovaConfigHelper::GetFeatureToggleName(KOVA_FT_EnableRelayMode);

  struct Read {
    const char* szOperation;  // named by the error line
    std::function<bool()> readFails;
  };
  const Read reads[] = {
      {"kovaStore::KovaConfigHelper::GetFeatureToggle",
       [&] {
         return !helper.GetFeatureToggle(KOVA_FT_EnableRelayMode).IsValid();
       }},
      {"kovaStore::KovaConfig::GetKovaConfig",
       [&] { return !helper.GetKovaConfig(name).IsValid(); }},
      {"kovaStore::KovaConfig::GetKovaConfig",
       [&] {
         ConfigData value;
         return helper.GetKovaConfig(name, value) == KOVA_E_FAIL;
       }},
      {"kovaStore::KovaConfig::GetKovaConfig",
       [&] { return !helper.HaveKovaConfig(name); }},
  };
  for (const Read& read : reads) {
    SCOPED_TRACE(read.szOperation);
    CmTraceCapture capture(0);
    bool bFailed = false;
    t_failFrom = kLongSize / 2;
    EXPECT_NO_THROW(bFailed = read.readFails());
    t_failFrom = 0;
    EXPECT_TRUE(bFailed);
    EXPECT_EQ(1u, capture.Count(0, std::string(read.szOperation) +
                                       ", exception=std::bad_alloc"));
  }
  // Unarmed, the same reads succeed.
  EXPECT_EQ(longValue, helper.GetFeatureToggle(KOVA_FT_EnableRelayMode));
  EXPECT_EQ(longValue, helper.GetKovaConfig(name));
  EXPECT_EQ(KOVA_S_OK, CleanUpKovaConfig(kCall));
}

}  // namespace
}  // namespace kovaStore
