#include "host_boundary.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <thread>

#include "ostrel/KovaConfigApi.h"

namespace kovaStore {
namespace {

// Sets a name whose callback throws; counts the exceptions that reach here.
int setThrowing(IKovaConfig* store, int times) {
  int passed = 0;
  for (int i = 0; i < times; ++i) {
    try {
      store->SetKovaConfig(KovaConfigGroup_Audio, "Throws",
                           ConfigData(std::to_string(i)), true, false);
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
// own was a thread-local exception pointer, which a later thread-local
// destructor wrote into after its destruction, leaking the exception. The
// callback's exception must still pass unchanged.
TEST(HostBoundaryTest,
     CallbackExceptionsPassThroughInLateThreadLocalDestructors) {
  IKovaConfig* store = nullptr;
  ASSERT_EQ(KOVA_S_OK, CreateKovaConfig(0x4C000001, &store));
  ASSERT_NE(0u, store->SubscribeConfig(
                    KovaConfigGroup_Audio, "Throws",
                    [](const KovaConfigEvent&) {
                      throw std::runtime_error("callback");
                    },
                    nullptr, false));
  int passedEarly = 0;
  std::thread([&] {
    t_lateSetter.store = store;
    passedEarly = setThrowing(store, 1);
  }).join();
  EXPECT_EQ(1, passedEarly);
  EXPECT_EQ(2, g_passedLate);
  EXPECT_EQ(KOVA_S_OK, ReleaseKovaConfig(store));
  EXPECT_EQ(KOVA_S_OK, CleanUpKovaConfig(0x4C000001));
}

}  // namespace
}  // namespace kovaStore
