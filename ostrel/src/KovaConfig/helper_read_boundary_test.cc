// The helper's reads under an allocation failure. This program replaces
// operator new: while t_failFrom is set, every request of at least that many
// bytes on the thread fails (only copies of the long value are that long).
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

constexpr std::size_t kLongSize = 8192;
constexpr KovaFeatureToggleID kRelay = KOVA_FT_EnableRelayMode;

// Regression: GetFeatureToggle read a long toggle value without the
// exception boundary that every other read has, so a failed allocation of
// its copy reached the host as std::bad_alloc. Each read now answers as a
// failed read with one level-0 line.
TEST(HelperReadBoundaryTest, LongReadsFailingToAllocateThrowNothing) {
  DestroyKovaConfig();
  KovaConfigHelper helper(0x4B000001);
  const ConfigData longValue(std::string(kLongSize, 'x'));
  ASSERT_EQ(KOVA_E_NOOBSERVER, helper.SetFeatureToggle(kRelay, longValue));
  const char* const name = KovaConfigHelper::GetFeatureToggleName(kRelay);
  const std::pair<const char*, std::function<bool()>> reads[] = {
      {"kovaStore::KovaConfigHelper::GetFeatureToggle",
       [&] { return !helper.GetFeatureToggle(kRelay).IsValid(); }},
      {"kovaStore::KovaConfig::GetKovaConfig",
       [&] {
         return !helper.GetKovaConfig(name, KovaConfigGroup_Feature).IsValid();
       }},
      {"kovaStore::KovaConfig::GetKovaConfig",
       [&] { return !helper.HaveKovaConfig(name, KovaConfigGroup_Feature); }},
  };
  for (const auto& [operation, readFails] : reads) {
    SCOPED_TRACE(operation);
    CmTraceCapture capture(0);
    bool bFailed = false;
    t_failFrom = kLongSize / 2;
    EXPECT_NO_THROW(bFailed = readFails());
    t_failFrom = 0;
    EXPECT_TRUE(bFailed);
    EXPECT_EQ(1u, capture.Count(0, std::string(operation) +
                                       ", exception=std::bad_alloc"));
  }
  EXPECT_EQ(longValue, helper.GetFeatureToggle(kRelay));  // unarmed
  DestroyKovaConfig();
}

}  // namespace
}  // namespace kovaStore
