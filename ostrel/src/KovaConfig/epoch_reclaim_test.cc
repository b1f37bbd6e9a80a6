#include "epoch_reclaim.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <limits>
#include <memory>
#include <thread>
#include <vector>

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
// destructors ran, and a guard opened there shared the record with a new
// thread adopting it, which could leave an epoch announced for good or clear
// it under a reader.
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
  const uint64_t stamp = EpochRetireStamp();
  EXPECT_LE(EpochOldestReader(), stamp);

  std::atomic<bool> bNewReading{false}, bNewFinish{false};
  std::thread fresh([&] {
    EpochGuard guard;
    bNewReading = true;
    waitFor(bNewFinish);
  });
  waitFor(bNewReading);
  g_lateFinish = true;
  exiting.join();
  // Only the new thread reads now, and it announced after the stamp.
  EXPECT_GT(EpochOldestReader(), stamp);
  bNewFinish = true;
  fresh.join();
  EXPECT_EQ(EpochOldestReader(), kNoReader);
}

// A retired object: `state` is kLive until the writer reclaims it.
constexpr uint64_t kLive = 0x11FE, kReclaimed = 0xDEAD;
struct Node {
  std::atomic<uint64_t> state{kLive};
  uint64_t stamp = 0;
};

// Readers enter and leave (sometimes nesting a guard, whose end must not end
// the outer one's announcement) while a writer replaces the shared object,
// retires the old one and reclaims what EpochOldestReader() allows: no reader
// inside a guard may find an object reclaimed. Reclaimed objects are marked,
// not freed, until every reader is gone, so that a fault is a failed check
// rather than a crash. Bounded in retirements and time.
TEST(EpochReclaimTest, NothingRetiredIsReclaimedUnderAReader) {
  std::vector<std::unique_ptr<Node>> nodes;
  nodes.push_back(std::make_unique<Node>());
  std::atomic<Node*> shared{nodes.back().get()};
  std::atomic<bool> bStop{false};
  std::atomic<uint64_t> reads{0}, faults{0};
  std::vector<std::thread> readers;
  for (int r = 0; r < 3; ++r) {
    readers.emplace_back([&, r] {
      for (uint64_t i = 0; !bStop.load(); ++i) {
        EpochGuard guard;
        Node* node = shared.load(std::memory_order_seq_cst);
        if ((i + r) % 2 == 0) {
          EpochGuard inner;
          faults += shared.load()->state.load() != kLive;
        }
        std::this_thread::yield();
        faults += node->state.load(std::memory_order_relaxed) != kLive;
        ++reads;
      }
    });
  }
  std::vector<Node*> retired;
  size_t reclaimedWhileReading = 0;
  const auto reclaim = [&retired] {
    const uint64_t oldest = EpochOldestReader();
    const auto freed =
        std::partition(retired.begin(), retired.end(),
                       [&](Node* n) { return n->stamp >= oldest; });
    for (auto it = freed; it != retired.end(); ++it)
      (*it)->state.store(kReclaimed, std::memory_order_relaxed);
    const size_t n = retired.end() - freed;
    retired.erase(freed, retired.end());
    return n;
  };
  const auto start = std::chrono::steady_clock::now();
  while (reads.load() < 100 &&
         std::chrono::steady_clock::now() - start < std::chrono::seconds(2))
    std::this_thread::yield();
  const auto deadline =
      std::chrono::steady_clock::now() + std::chrono::seconds(2);
  for (int i = 0;
       i < 5000 && (i < 10 || std::chrono::steady_clock::now() < deadline);
       ++i) {
    std::this_thread::yield();
    nodes.push_back(std::make_unique<Node>());
    Node* old = shared.exchange(nodes.back().get(), std::memory_order_seq_cst);
    old->stamp = EpochRetireStamp();
    retired.push_back(old);
    reclaimedWhileReading += reclaim();
  }
  bStop = true;
  for (std::thread& reader : readers) reader.join();
  EXPECT_EQ(0u, faults.load());
  EXPECT_GT(reads.load(), 0u);
  EXPECT_GT(reclaimedWhileReading, 0u);
  EXPECT_EQ(kNoReader, EpochOldestReader());
  reclaim();
  EXPECT_TRUE(retired.empty());
}

}  // namespace
}  // namespace kovaStore
