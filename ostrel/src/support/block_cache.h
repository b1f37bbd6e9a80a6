// BlockCache: a bounded stack of free memory blocks of one size, shared by
// every thread, so that a block made on one thread and freed on another is
// used again instead of going back to the allocator. (A thread that only
// allocates and one that only frees otherwise meet in the allocator's lock
// for every block, and put each other to sleep there.)
//
//   constinit-able: static BlockCache<sizeof(Event), 256> cache;
//   void* p = cache.Take();              // null: none free just now
//   if (p == nullptr) p = ::operator new(sizeof(Event));
//   ...
//   if (!cache.Give(p)) ::operator delete(p);
//
// Neither operation takes a lock or waits, and neither allocates. Invariants:
// - A block in the stack is the cache's. Its first bytes hold the link to the
//   block below it, written by the thread that pushed it before the push is
//   published (release) and never changed while it is in the stack.
// - Any thread may push (Give: a compare-exchange on the head). Only one
//   thread at a time pops (Take holds m_bTaking, got by an exchange; a thread
//   that finds it held gets null at once). So the block a popper reads at the
//   head stays in the stack until that popper unlinks it, and the link it read
//   is still that block's: the head's compare-exchange cannot succeed on a
//   block that left the stack and came back (no ABA).
// - m_nCount counts the places taken: a pusher takes one before it pushes and
//   gives it back, without pushing, when that makes more than kCapacity; a
//   popper gives one back after it has unlinked a block. So at most
//   kCapacity blocks are ever in the stack.
// - Close() (at unload) marks the cache closed, then frees every block in it;
//   a Give that sees it closed refuses (the caller frees the block), Take
//   finds nothing. Only a Give racing Close may still push a block that is then
//   never freed; nothing gives blocks back while the library unloads.
// Under AddressSanitizer a cached block is poisoned past its link, so a
// use after free of a cached block is still reported.
#ifndef OSTREL_SRC_SUPPORT_BLOCK_CACHE_H_
#define OSTREL_SRC_SUPPORT_BLOCK_CACHE_H_

#include <atomic>
#include <cstddef>
#include <new>

#if defined(__SANITIZE_ADDRESS__)
#define OSTREL_BLOCK_CACHE_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define OSTREL_BLOCK_CACHE_ASAN 1
#endif
#endif
#if defined(OSTREL_BLOCK_CACHE_ASAN)
#include <sanitizer/asan_interface.h>
#endif

namespace kovaStore {

template <std::size_t kBlockSize, std::size_t kCapacity>
class BlockCache {
 public:
  static_assert(kBlockSize >= sizeof(void*), "a block holds at least a link");

  constexpr BlockCache() = default;
  BlockCache(const BlockCache&) = delete;
  BlockCache& operator=(const BlockCache&) = delete;

  // A free block of kBlockSize bytes (suitably aligned for any type, as
  // ::operator new made it), or null when none is cached or another thread
  // is taking one right now.
  void* Take() noexcept {
    if (m_head.load(std::memory_order_relaxed) == nullptr) return nullptr;
    if (m_bTaking.exchange(true, std::memory_order_acquire)) return nullptr;
    Link* block = m_head.load(std::memory_order_acquire);
    while (block != nullptr &&
           !m_head.compare_exchange_weak(block, block->next,
                                         std::memory_order_acquire,
                                         std::memory_order_acquire)) {
    }
    m_bTaking.store(false, std::memory_order_release);
    if (block == nullptr) return nullptr;
    m_nCount.fetch_sub(1, std::memory_order_relaxed);
    unpoison(block);
    return block;
  }

  // Keeps a block that ::operator new(kBlockSize) made, for a later Take.
  // False when the cache is full or closed: the caller frees it.
  bool Give(void* pBlock) noexcept {
    if (m_nCount.fetch_add(1, std::memory_order_relaxed) >= kCapacity ||
        m_bClosed.load(std::memory_order_acquire)) {
      m_nCount.fetch_sub(1, std::memory_order_relaxed);
      return false;
    }
    Link* block = new (pBlock) Link{m_head.load(std::memory_order_relaxed)};
    // Before the push: once pushed, the block may be taken at once.
    poison(block);
    while (!m_head.compare_exchange_weak(block->next, block,
                                         std::memory_order_release,
                                         std::memory_order_relaxed)) {
    }
    return true;
  }

  // Frees every cached block and refuses later ones; for unload.
  void Close() noexcept {
    m_bClosed.store(true, std::memory_order_release);
    while (m_bTaking.exchange(true, std::memory_order_acquire)) {
    }
    Link* block = m_head.exchange(nullptr, std::memory_order_acquire);
    m_bTaking.store(false, std::memory_order_release);
    while (block != nullptr) {
      unpoison(block);
      Link* next = block->next;
      block->~Link();
      ::operator delete(block);
      block = next;
    }
  }

 private:
  struct Link {
    Link* next;
  };

  static void poison(Link* block) noexcept {
#if defined(OSTREL_BLOCK_CACHE_ASAN)
    ASAN_POISON_MEMORY_REGION(reinterpret_cast<char*>(block) + sizeof(Link),
                              kBlockSize - sizeof(Link));
#else
    static_cast<void>(block);
#endif
  }
  static void unpoison(Link* block) noexcept {
#if defined(OSTREL_BLOCK_CACHE_ASAN)
    ASAN_UNPOISON_MEMORY_REGION(block, kBlockSize);
#else
    static_cast<void>(block);
#endif
  }

  std::atomic<Link*> m_head{nullptr};
  std::atomic<bool> m_bTaking{false};
  std::atomic<bool> m_bClosed{false};
  std::atomic<std::size_t> m_nCount{0};
};

}  // namespace kovaStore

#endif  // OSTREL_SRC_SUPPORT_BLOCK_CACHE_H_
