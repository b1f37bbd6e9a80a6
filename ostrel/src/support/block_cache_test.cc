#include "support/block_cache.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <new>
#include <thread>
#include <vector>

namespace kovaStore {
namespace {

// What a block holds while a thread owns it: the owner's mark, checked before
// the block is given back, so a block handed to two threads at once shows.
struct Payload {
  std::atomic<int> owner;
  uint64_t words[6];
};

constexpr std::size_t kCapacity = 8;
typedef BlockCache<sizeof(Payload), kCapacity> Cache;

// Threads that take, fill, check and give back blocks, half of them keeping
// a few at a time (so the cache fills and refuses), while they all push and
// pop at once. No block is ever owned twice, the cache never holds more than
// its capacity, and closing it frees what it holds (LeakSanitizer).
TEST(BlockCacheTest, ConcurrentTakesAndGivesNeverShareABlock) {
  static Cache cache;
  std::atomic<int> doubleOwned{0};
  std::vector<std::thread> threads;
  for (int t = 1; t <= 4; ++t) {
    threads.emplace_back([t, &doubleOwned] {
      std::vector<Payload*> held;
      const std::size_t keep = (t % 2 == 0) ? 6 : 1;
      for (int i = 0; i < 20000; ++i) {
        void* block = cache.Take();
        if (block == nullptr) block = ::operator new(sizeof(Payload));
        Payload* p = new (block) Payload;
        p->owner.store(t, std::memory_order_relaxed);
        for (uint64_t& w : p->words) w = static_cast<uint64_t>(t) * i;
        held.push_back(p);
        if (held.size() < keep) continue;
        for (Payload* q : held) {
          if (q->owner.load(std::memory_order_relaxed) != t) ++doubleOwned;
          for (uint64_t w : q->words)
            if (w != q->words[0]) ++doubleOwned;
          q->~Payload();
          if (!cache.Give(q)) ::operator delete(q);
        }
        held.clear();
      }
      for (Payload* q : held) {
        q->~Payload();
        if (!cache.Give(q)) ::operator delete(q);
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
  EXPECT_EQ(0, doubleOwned.load());

  std::vector<void*> drained;
  while (void* block = cache.Take()) drained.push_back(block);
  EXPECT_LE(drained.size(), kCapacity);
  for (void* block : drained) ASSERT_TRUE(cache.Give(block));
  cache.Close();
  EXPECT_EQ(nullptr, cache.Take());
  void* late = ::operator new(sizeof(Payload));
  EXPECT_FALSE(cache.Give(late));
  ::operator delete(late);
}

}  // namespace
}  // namespace kovaStore
