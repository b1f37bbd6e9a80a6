#include "host_boundary.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <thread>

#include "ostrel/KovaConfigApi.h"

namespace kovaStore {
namespace {

constexpr KovaConfigGroup kGroup = KovaConfigGroup_Audio;
constexpr uint32_t kCall = 0x4C000001;

// Sets a name whose callback throws; counts what reaches the caller.
int setThrowing(IKovaConfig* store, int times) {
  int passed = 0;
  for (int i = 0; i < times; ++i) {
    try {
      store->SetKovaConfig(kGroup, "Throws", ConfigData(std::to_string(i)),
                           true, false);
    } catch (const std::runtime_error&) {
      ++passed;
    }
  }
  return passed;
}

int g_passedLate = 0;
// Made before the thread's first set: destroyed after the library's
// thread-local clean-up.
struct LateSetter {
  IKovaConfig* store = nullptr;
  ~LateSetter() {
    if (store != nullptr) g_passedLate = setThrowing(store, 2);
  }
};
thread_local LateSetter t_lateSetter;

// Regression: the mark that tells a callback's exception from the library's
// own was a thread-local exception pointer; a thread-local destructor that
// ran after its destruction wrote into it, leaking the exception (found by
// the leak checker). The callback's exception must still pass unchanged.
TEST(HostBoundaryTest,
     CallbackExceptionsPassThroughInLateThreadLocalDestructors) {
  IKovaConfig* store = nullptr;
  ASSERT_EQ(KOVA_S_OK, CreateKovaConfig(kCall, &store));
  ASSERT_NE(0u, store->SubscribeConfig(
                    kGroup, "Throws",
                    [](const KovaConfigEvent&) {
                      throw std::runtime_error("callback");
                    },
                    nullptr, false));
  int passedEarly = 0;
  std::thread thread([&] {
    t_lateSetter.store = store;
    passedEarly = setThrowing(store, 1);
  });
  thread.join();
  EXPECT_EQ(1, passedEarly);
  EXPECT_EQ(2, g_passedLate);
  EXPECT_EQ(KOVA_S_OK, ReleaseKovaConfig(store));
  EXPECT_EQ(KOVA_S_OK, CleanUpKovaConfig(kCall));
}

}  // namespace
}  // namespace kovaStore
