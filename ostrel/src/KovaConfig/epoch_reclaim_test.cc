// Epoch records across thread exit: a guard opened by a thread-local
// destructor that runs after the thread's record was handed back still reads
// under a record of its own.
#include "epoch_reclaim.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <limits>
#include <thread>

namespace kovaStore {
namespace {

constexpr uint64_t kNoReader = std::numeric_limits<uint64_t>::max();

void waitFor(const std::atomic<bool>& flag) {
  while (!flag.load()) std::this_thread::yield();
}

// Steps of one exiting thread, driven by the test.
struct ExitSteps {
  std::atomic<bool> bReading{false};  // its late guard is open
  std::atomic<bool> bFinish{false};   // it may close the guard
};
ExitSteps* g_steps = nullptr;

// Made before the thread's first guard, so destroyed after the thread's own
// epoch clean-up: it stands for a host's per-thread cache whose teardown
// still reads values.
struct LateReader {
  bool bArmed = false;
  ~LateReader() {
    if (!bArmed) return;
    EpochGuard guard;
    g_steps->bReading = true;
    waitFor(g_steps->bFinish);
  }
};
thread_local LateReader t_lateReader;

// Regression: a thread handed its record back before its other thread-local
// destructors ran, and a guard opened by one of them used the record that a
// new thread could adopt at the same time. The new thread then announced
// nothing of its own (the shared depth said a guard was open), and the racing
// updates of that depth could leave an epoch announced for good, which
// stopped every later reclamation, or clear it under a reader.
TEST(EpochReclaimTest, ExitingThreadsRecordIsNotSharedWithANewThread) {
#ifdef _WIN32
  // Windows runs thread-local destructors under the loader lock, which a
  // starting thread needs too: the late reader held open below would keep
  // the new thread from ever starting.
  GTEST_SKIP() << "a thread cannot start while another runs its "
                  "thread-local destructors";
#endif
  ExitSteps steps;
  g_steps = &steps;
  std::thread exiting([] {
    t_lateReader.bArmed = true;
    EpochGuard first;  // adopts the thread's record after t_lateReader
  });
  waitFor(steps.bReading);
  // The late reader holds the oldest announcement; an object unlinked now
  // may be held by it.
  const uint64_t stamp = EpochRetireStamp();
  EXPECT_LE(EpochOldestReader(), stamp);

  std::atomic<bool> bNewReading{false};
  std::atomic<bool> bNewFinish{false};
  std::thread fresh([&] {
    EpochGuard guard;
    bNewReading = true;
    waitFor(bNewFinish);
  });
  waitFor(bNewReading);
  steps.bFinish = true;
  exiting.join();
  // Only the new thread reads now, and it started after the stamp: its own
  // announcement is later, so the object may go.
  EXPECT_GT(EpochOldestReader(), stamp);
  bNewFinish = true;
  fresh.join();
  EXPECT_EQ(EpochOldestReader(), kNoReader);
  g_steps = nullptr;
}

}  // namespace
}  // namespace kovaStore
