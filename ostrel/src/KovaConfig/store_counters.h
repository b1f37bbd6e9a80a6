// StoreCounters: what one store did, counted without making any operation
// wait for another, and summed process-wide over every store ever made.
//
// Invariants:
// - Each counter only grows, and is kept per group (0 to 11, plus one part
//   for what belongs to no group), each group's part on cache lines of its
//   own: work on one group never writes a line that work on another group
//   writes. Within a part, a counter changed anywhere is changed by relaxed
//   fetch_add; the two set counters of a set that ends without dispatch
//   (unchanged, no observer) have a second copy changed only by a thread that
//   holds that group's value-table lock, with a relaxed load and store (no
//   read-modify-write), so such a set adds no atomic instruction at all.
//   Readers load every counter relaxed, without any lock: a read is a sum of
//   counters each of which was true at some moment of the read.
// - Every counter block is in the process-wide list from its construction
//   to its destruction; its destructor adds its final values to the retired
//   totals and leaves the list in one hold of the list's lock. So the totals
//   (retired plus every listed block) count each event once, destroyed
//   stores included.
// - The list's lock is a leaf: nothing is called and no other lock is taken
//   while it is held. It may be taken under the store registry's lock (a
//   store built or destroyed there).
//
// Built with OSTREL_COUNTING=0 every add compiles to nothing, for the
// benchmark that measures what counting costs; the reads then report no
// counting (readable() is false).
#ifndef OSTREL_SRC_KOVACONFIG_STORE_COUNTERS_H_
#define OSTREL_SRC_KOVACONFIG_STORE_COUNTERS_H_

#include <KovaResult.h>

#include <atomic>
#include <cstdint>

#include "config_groups.h"
#include "ostrel/KovaIntrospection.h"

#ifndef OSTREL_COUNTING
#define OSTREL_COUNTING 1
#endif

namespace kovaStore {

enum StoreCounter : int {
  kCountSetOk,
  kCountSetUnchanged,
  kCountSetNoObserver,
  kCountSetInvalidArg,
  kCountSetFailed,
  kCountDeliveredDirect,
  kCountDeliveredSent,
  kCountDeliveredPosted,
  kCountPostRefused,
  kCountSendRefused,
  kCountNoQueue,
  kCountProviderCall,
  kCountObserverAdded,
  kCountObserverRemoved,
  kCountRemovalTimedOut,
  kCountApplyOk,
  kCountApplyFailed,
  kCountDump,
  kCountJournalEntry,
  kStoreCounterCount
};

class StoreCounters {
 public:
  StoreCounters();
  ~StoreCounters();
  StoreCounters(const StoreCounters&) = delete;
  StoreCounters& operator=(const StoreCounters&) = delete;

  static constexpr bool readable() { return OSTREL_COUNTING != 0; }

  // Counts one event of a group (any value: those outside 0 to 11 count in
  // the part of no group).
  void add(StoreCounter counter, KovaConfigGroup group) {
#if OSTREL_COUNTING
    m_groups[partOf(group)].shared[counter].fetch_add(
        1, std::memory_order_relaxed);
#else
    (void)counter;
    (void)group;
#endif
  }
  // Counts `count` events of a group at once.
  void add(StoreCounter counter, KovaConfigGroup group, uint64_t count) {
#if OSTREL_COUNTING
    m_groups[partOf(group)].shared[counter].fetch_add(
        count, std::memory_order_relaxed);
#else
    (void)counter;
    (void)group;
    (void)count;
#endif
  }
  // Counts one event of the store as a whole (applies, dumps).
  void add(StoreCounter counter) { add(counter, KovaConfigGroup_Undefined); }
  // Counts a set by its result.
  void addSet(KOVA_RESULT result, KovaConfigGroup group) {
    add(setCounterOf(result), group);
  }
  // Counts a set that ended without dispatch (kCountSetUnchanged or
  // kCountSetNoObserver).
  // REQUIRES: the caller holds the value-table lock of `group` (0 to 11).
  void addInGroupLock(KovaConfigGroup group, StoreCounter counter) {
#if OSTREL_COUNTING
    std::atomic<uint64_t>& value =
        m_groups[group].inLock[counter == kCountSetUnchanged ? 0 : 1];
    value.store(value.load(std::memory_order_relaxed) + 1,
                std::memory_order_relaxed);
#else
    (void)group;
    (void)counter;
#endif
  }

  // Takes kCountJournalEntry from `pEntries` (the journal's count of
  // entries, read relaxed) from now on. REQUIRES: it outlives this block.
  void countJournalBy(const std::atomic<uint64_t>* pEntries) {
    m_pJournalEntries.store(pEntries, std::memory_order_release);
  }

  // This block's counters, into the fields of `out` from `stores` on.
  void read(KovaConfigCounters& out) const;
  // The process-wide totals: every block ever made, destroyed ones included.
  static void readTotals(KovaConfigCounters& out);

  static StoreCounter setCounterOf(KOVA_RESULT result) {
    switch (result) {
      case KOVA_S_OK:
        return kCountSetOk;
      case KOVA_E_UNCHANGED:
        return kCountSetUnchanged;
      case KOVA_E_NOOBSERVER:
        return kCountSetNoObserver;
      case KOVA_E_INVALIDARG:
        return kCountSetInvalidArg;
      default:
        return kCountSetFailed;
    }
  }

 private:
  // Groups 0 to 11, then the part of no group.
  static constexpr int kParts = kKovaConfigGroupCount + 1;
  static int partOf(KovaConfigGroup group) {
    return isStorableGroup(group) ? group : kKovaConfigGroupCount;
  }
  struct alignas(64) GroupCounters {
    std::atomic<uint64_t> shared[kStoreCounterCount] = {};
    // kCountSetUnchanged, kCountSetNoObserver under the group's lock.
    std::atomic<uint64_t> inLock[2] = {};
  };

  void sum(uint64_t (&values)[kStoreCounterCount]) const;

  GroupCounters m_groups[kParts];
  // Set once the block is already listed, so readers of the totals may load
  // it at any time.
  std::atomic<const std::atomic<uint64_t>*> m_pJournalEntries{nullptr};
  // Links of the process-wide list; guarded by the list's lock.
  StoreCounters* m_pPrev = nullptr;
  StoreCounters* m_pNext = nullptr;
};

// The direct deliveries of one dispatch, counted here and added to the
// store's counters in one step when the tally ends, also when a callback's
// exception ends it; every other counter goes straight to the store's. A
// tally belongs to one thread.
class DeliveryTally {
 public:
  DeliveryTally(StoreCounters& counters, KovaConfigGroup group)
      : m_counters(counters), m_group(group) {}
  ~DeliveryTally() {
    if (m_direct != 0) {
      m_counters.add(kCountDeliveredDirect, m_group, m_direct);
    }
  }
  DeliveryTally(const DeliveryTally&) = delete;
  DeliveryTally& operator=(const DeliveryTally&) = delete;

  void add(StoreCounter counter) {
    if (counter == kCountDeliveredDirect) {
      ++m_direct;
    } else {
      m_counters.add(counter, m_group);
    }
  }

 private:
  StoreCounters& m_counters;
  const KovaConfigGroup m_group;
  uint64_t m_direct = 0;
};

}  // namespace kovaStore
#endif  // OSTREL_SRC_KOVACONFIG_STORE_COUNTERS_H_
