// ValueIndex: the lock-free read side of one group's value table.
//
//   ValueIndex index;  // one per group
//   ValueIndex::PendingSet pending = index.prepareSet("AecMode", value);
//   index.publish(std::move(pending), value);  // allocates nothing
//   ConfigData out;
//   if (index.read("AecMode", 7, out)) { ... }  // any thread, no lock
//
// The group's atomMap stays the table of record (writers, dumps, observer
// look-ups); its writers, serialised by that table's lock, also publish every
// change here, and GetKovaConfig and the toggle reads read only here, taking
// no lock and allocating nothing when the caller's value already holds room
// for the text (it is written into the string the value owns).
//
// Layout: an open-addressing hash table of entries, one per name ever stored
// in the group, each a versioned value cell of two slots (the details are in
// KovaConfig/internal/value_index_read.h, which nothing else may use).
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
// - A mid value is written into its slot's buffer between the slot's odd and
//   even sequence stores, like the slot's words, each word with release; a
//   reader copies it word by word with acquire loads and accepts the copy
//   only when the slot's sequence is unchanged after them. A slot's buffer is
//   replaced only by a larger one, and replaced buffers stay (chained) until
//   the entry is freed, so a reader never copies from freed memory; at most
//   32 + 64 + 128 + 256 bytes per slot.
// - A replaced or removed long value is retired with an epoch stamp and freed
//   only when no reader can still hold it (epoch_reclaim.h); its readers hold
//   an EpochGuard from before they load the state word until they have copied.
// - Every word a reader loads is atomic; the long copies are immutable once
//   published and reached through release/acquire on the state word.
// - The memo (by a name's address, the entry first found for a name there)
//   only ever holds entries of this index, which live as long as the index;
//   a memo entry is used only once its name equals the name looked up, so
//   the memo changes how fast a look-up is, never what it answers. Each memo
//   slot is written at most once (from empty, by compare-exchange): after
//   the first look-ups, readers write nothing shared, so no other thread's
//   names can make a reader's cache lines bounce.
// - Cells: an entry's state word may be handed out (cellOf) as a read-only
//   view of the name that outlives look-ups; readCell reads through it. It
//   is valid while the index lives: the store that owns the index lives as
//   long as a reference handed out for it, and a store ended while such
//   references are out marks every name absent, so its views then answer
//   absent for good.
#ifndef OSTREL_SRC_KOVACONFIG_VALUE_INDEX_H_
#define OSTREL_SRC_KOVACONFIG_VALUE_INDEX_H_

#include <ConfigData.h>

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string_view>

namespace kovaStore {

class ValueIndex {
 public:
  // Maps a name to its pinned position, or -1. Pinned names are read by
  // position (readPinned, havePinned) without hashing.
  typedef int (*PinFunction)(std::string_view name);

  struct Entry;
  struct LongValue;
  struct MidBuffer;
  struct LongValueDeleter {
    void operator()(LongValue* value) const;
  };

  // A change prepared by prepareSet: everything it needs is allocated.
  struct PendingSet {
    Entry* entry = nullptr;
    uint64_t words[2] = {0, 0};
    // A mid value: the buffer it goes into at publish.
    MidBuffer* midBuffer = nullptr;
    std::unique_ptr<LongValue, LongValueDeleter> longValue;
  };

  struct Table;

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
  // The same for the name that `sameName` was prepared for, without looking
  // it up again.
  PendingSet prepareSet(const PendingSet& sameName, const ConfigData& value);
  // Publishes the prepared value; allocates nothing. REQUIRES: `value` is
  // the value passed to prepareSet (or an equal one).
  void publish(PendingSet pending, const ConfigData& value) noexcept;
  // Marks the name absent.
  void markAbsent(std::string_view name) noexcept;
  // Marks every name absent.
  void markAllAbsent() noexcept;
  // The state word of the name's entry, adding an absent entry for a name
  // never stored: a view that readCell reads. Valid while the index lives.
  // May throw std::bad_alloc.
  const std::atomic<uint64_t>* cellOf(std::string_view name);

  // Reads the entry whose state word is `state` (from cellOf): copies the
  // value and yields true when present, yields false otherwise; either way
  // stores in `stateRead` the state word the answer belongs to. Any thread,
  // lock-free.
  static bool readCell(const std::atomic<uint64_t>* state, ConfigData& value,
                       uint64_t* stateRead);

  // Readers: any thread, lock-free. Copy the value into `value` and yield
  // true when the name is present; yield false otherwise, `value` then being
  // untouched or holding bytes of no meaning. REQUIRES: szName is not null and
  // `size` is its length.
  bool read(const char* szName, size_t size, ConfigData& value) const;
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
  PendingSet prepareSetAt(Entry& entry, const ConfigData& value);
  static bool readEntry(const Entry& entry, ConfigData& value,
                        uint64_t* stateRead = nullptr);
  // readEntry's path for a long value, under an EpochGuard.
  static bool readLong(const Entry& entry, ConfigData& value,
                       uint64_t* stateRead);
  // Copies the mid value that the slot's words name; false when the slot
  // moved on meanwhile (the caller reads the state again).
  static bool copyMid(const Entry& entry, uint64_t stateWord, uint64_t low,
                      uint64_t high, ConfigData& value);
  const Entry* find(uint64_t hash, const char* name, size_t size) const;
  // The memo's slot for a name at `name`.
  std::atomic<const Entry*>& memoOf(const char* name) const;
  // The entry the memo holds for the name, if its name is this one.
  const Entry* memoHit(const char* name, size_t size) const;
  // The name's entry (memo first, then the table), null when it has none;
  // a found entry is remembered in the memo if its slot is still empty.
  const Entry* lookUp(const char* name, size_t size) const;
  // read's path when the memo does not hold the name.
#if defined(__GNUC__)
  __attribute__((noinline))
#endif
  bool
  readMissed(const char* szName, size_t size, ConfigData& value) const;
  Entry* addEntry(uint64_t hash, std::string_view name);
  void grow();
  // Stores `state` and retires what the previous version held.
  void replaceState(Entry& entry, uint64_t state) noexcept;
  void retire(LongValue* value, uint64_t stamp) noexcept;
  void reclaim(bool bAll) noexcept;

  // The memo: by a hash of a name's address, the entry that the first
  // look-up through that slot found. Names are mostly string literals, read
  // again and again from the same address; a memo entry is used only after
  // its name has been compared with the name looked up, so a stale memo or
  // one claimed by another address costs a full look-up, never a wrong
  // answer. A slot is claimed once and kept: a buffer reused for many names
  // must not keep rewriting a line that a real-time reader loads.
  static constexpr int kMemoBits = 6;
  alignas(64) mutable std::atomic<const Entry*> m_memo[1 << kMemoBits] = {};

  alignas(64) std::atomic<Table*> m_table{nullptr};
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

// The read path is inline, with the layout it reads.
#include "KovaConfig/internal/value_index_read.h"

#endif  // OSTREL_SRC_KOVACONFIG_VALUE_INDEX_H_
