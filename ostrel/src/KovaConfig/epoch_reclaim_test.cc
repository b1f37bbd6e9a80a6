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

std::atomic<bool> g_lateReading{false};  // the exiting thread's late guard
std::atomic<bool> g_lateFinish{false};   // it may close that guard

// Made before the thread's first guard, so destroyed after the thread's own
// epoch clean-up, as a host's per-thread cache that reads in its teardown.
struct LateReader {
  bool bArmed = false;
  ~LateReader() {
    if (!bArmed) return;
    EpochGuard guard;
    g_lateReading = true;
    waitFor(g_lateFinish);
  }
};
thread_local LateReader t_lateReader;

// Regression: a thread handed its record back before its other thread-local
// destructors ran, and a guard opened by one of them shared the record with a
// new thread adopting it: the new thread announced nothing of its own, and
// the racing depth updates could leave an epoch announced for good (stopping
// reclamation) or clear it under a reader.
TEST(EpochReclaimTest, ExitingThreadsRecordIsNotSharedWithANewThread) {
#ifdef _WIN32
  // Windows runs thread-local destructors under the loader lock, which a
  // starting thread needs too.
  GTEST_SKIP() << "a thread cannot start while another runs its "
                  "thread-local destructors";
#endif
  std::thread exiting([] {
    t_lateReader.bArmed = true;
    EpochGuard first;  // adopts the thread's record after t_lateReader
  });
  waitFor(g_lateReading);
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
  g_lateFinish = true;
  exiting.join();
  // Only the new thread reads now, and it started after the stamp: its own
  // announcement is later, so the object may go.
  EXPECT_GT(EpochOldestReader(), stamp);
  bNewFinish = true;
  fresh.join();
  EXPECT_EQ(EpochOldestReader(), kNoReader);
}

}  // namespace
}  // namespace kovaStore
