// ValueIndex: the lock-free read side of one group's value table.
//
// The group's atomMap stays the table of record (writers, dumps, observer
// look-ups); its writers, serialised by that table's lock, also publish every
// change here, and GetKovaConfig and the toggle reads read only here, taking
// no lock and, for values of up to 15 bytes, allocating nothing.
//
// Layout: an open-addressing hash table (linear probing, at most 3/4 full) of
// entries, one per name ever stored in the group. Each entry holds its name
// and a versioned value cell: a state word (version, present bit) and two
// slots; version v lives in slot v & 1. A slot holds up to 15 bytes inline
// (two atomic words, the last byte the length) or a pointer to an immutable
// heap copy of a longer value.
//
// Invariants:
// - One writer at a time (REQUIRES: the caller serialises every writer call).
//   Readers never wait: a reader retries only when the writer has published
//   at least one newer version meanwhile.
// - Entries and tables are freed only with the index: an entry's name never
//   changes once published, a removed name keeps its entry (marked absent)
//   and a later set reuses it, and a grown table keeps its predecessors.
//   Memory is therefore bounded by the names ever stored in the group.
// - A slot is rewritten only for version v + 2 while version v + 1 (in the
//   other slot) is published; the slot's sequence word names the version it
//   holds, odd while being written, so a reader accepts a slot only when it
//   holds exactly the version it read from the state word. A read therefore
//   returns the value that was current when it loaded the state word: reads
//   of one name are linearizable, and a read that starts after a set has
//   returned sees that set or a later one.
// - A replaced or removed long value is retired with an epoch stamp and freed
//   only when no reader can still hold it (epoch_reclaim.h); its readers hold
//   an EpochGuard from before they load the state word until they have copied.
// - Every word a reader loads is atomic; the long copies are immutable once
//   published and reached through release/acquire on the state word.
#ifndef OSTREL_SRC_KOVACONFIG_VALUE_INDEX_H_
#define OSTREL_SRC_KOVACONFIG_VALUE_INDEX_H_

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string_view>

#include "ConfigData.h"

namespace kovaStore {

class ValueIndex {
 public:
  // Maps a name to its pinned position, or -1. Pinned names are read by
  // position (readPinned, havePinned) without hashing.
  typedef int (*PinFunction)(std::string_view name);

  struct Entry;
  struct LongValue;
  struct LongValueDeleter {
    void operator()(LongValue* value) const;
  };

  // A change prepared by prepareSet: everything it needs is allocated.
  struct PendingSet {
    Entry* entry = nullptr;
    uint64_t words[2] = {0, 0};
    std::unique_ptr<LongValue, LongValueDeleter> longValue;
  };

  ValueIndex() = default;
  // REQUIRES: no reader is inside the index (the store is being destroyed).
  ~ValueIndex();
  ValueIndex(const ValueIndex&) = delete;
  ValueIndex& operator=(const ValueIndex&) = delete;

  // Positions 0 to count - 1 for the names that `pinOf` maps there.
  // REQUIRES: called once, before any other call.
  void setPins(PinFunction pinOf, size_t count);

  // Writers. REQUIRES: never two at once.
  // Finds or adds the name's entry and copies the value: may throw
  // std::bad_alloc, leaving what readers see unchanged.
  PendingSet prepareSet(std::string_view name, const ConfigData& value);
  // Publishes the prepared value; allocates nothing.
  void publish(PendingSet pending) noexcept;
  // Marks the name absent.
  void markAbsent(std::string_view name) noexcept;
  // Marks every name absent.
  void markAllAbsent() noexcept;

  // Readers: any thread, lock-free. Copy the value into `value` and yield
  // true when the name is present; yield false and leave `value` untouched
  // otherwise. REQUIRES: szName is not null.
  bool read(const char* szName, ConfigData& value) const;
  // By pinned position; false for a position outside the pins.
  bool readPinned(size_t position, ConfigData& value) const;
  // Two atomic loads: the pinned entry's state word, then its present bit.
  bool havePinned(size_t position) const {
    if (position >= m_pinCount) return false;
    const std::atomic<uint64_t>* state =
        m_pinnedStates[position].load(std::memory_order_acquire);
    return state != nullptr && (state->load(std::memory_order_acquire) & 1);
  }

 private:
  struct Table;

  static bool readEntry(const Entry& entry, ConfigData& value);
  // readEntry's path for a long value, under an EpochGuard.
  static bool readLong(const Entry& entry, ConfigData& value);
  const Entry* find(uint64_t hash, const char* name, size_t size) const;
  Entry* addEntry(uint64_t hash, std::string_view name);
  void grow();
  // Stores `state` and retires what the previous version held.
  void replaceState(Entry& entry, uint64_t state) noexcept;
  void retire(LongValue* value, uint64_t stamp) noexcept;
  void reclaim(bool bAll) noexcept;

  std::atomic<Table*> m_table{nullptr};
  // Writer side: entries in the current table.
  size_t m_count = 0;
  PinFunction m_pinOf = nullptr;
  size_t m_pinCount = 0;
  std::unique_ptr<std::atomic<Entry*>[]> m_pinned;
  // The state words of the pinned entries (version << 1 | present).
  std::unique_ptr<std::atomic<const std::atomic<uint64_t>*>[]> m_pinnedStates;
  // Writer side: long values waiting until no reader can hold them.
  LongValue* m_retired = nullptr;
};

}  // namespace kovaStore

#endif  // OSTREL_SRC_KOVACONFIG_VALUE_INDEX_H_
