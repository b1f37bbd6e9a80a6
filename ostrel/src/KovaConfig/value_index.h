// ValueIndex: the lock-free read side of one group's value table.
//
// The group's atomMap stays the table of record (writers, dumps, observer
// look-ups); its writers, serialised by that table's lock, also publish every
// change here, and GetKovaConfig and the toggle reads read only here, taking
// no lock and allocating nothing when the caller's value already holds room
// for the text (it is written into the string the value owns).
//
// Layout: an open-addressing hash table (linear probing, at most 3/4 full) of
// entries, one per name ever stored in the group. Each entry holds its name
// and a versioned value cell: a state word (version, present bit) and two
// slots; version v lives in slot v & 1. A slot holds up to 15 bytes inline
// (two atomic words, the last byte the length), or 16 to 256 bytes in a
// buffer of atomic words that the slot owns (a mid value), or a pointer to an
// immutable heap copy of a longer value.
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
#include <cstring>
#include <memory>
#include <string>
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

// ---- The read path, inline so that the store's read folds it in ----

// The library's access to a value's parts, for filling it in place.
struct ConfigDataWriter {
  static std::string& Bytes(ConfigData& value) { return value.m_strData; }
  static void SetValid(ConfigData& value) { value.m_bValid = true; }
};

namespace kovaStore {
namespace value_index_internal {

// Byte 15 of a slot: the inline length (0 to 15), or a tag: a long value,
// or a mid value (its length in the word's low 16 bits).
constexpr unsigned char kLongTag = 0xFF;
constexpr unsigned char kMidTag = 0xFE;
constexpr size_t kInlineMax = 15;
constexpr size_t kMidMax = 256;
// State word: version << 1 | present.
constexpr uint64_t kPresent = 1;
constexpr size_t kLine = 64;

inline uint64_t load64(const char* p) {
  uint64_t word;
  std::memcpy(&word, p, 8);
  return word;
}

inline uint64_t load32(const char* p) {
  uint32_t word;
  std::memcpy(&word, p, 4);
  return word;
}

inline unsigned char tagOf(uint64_t highWord) {
  return static_cast<unsigned char>(highWord >> 56);
}

// Copies `size` bytes of a mid value's buffer that a writer may be rewriting
// at the same time; the caller keeps the copy only if the slot's sequence
// shows afterwards that it was not (a seqlock read). Every word is an atomic
// load, so a copy that races with a writer is a torn copy that is thrown
// away, never undefined behaviour. Acquire: a word of a later version
// brings the odd sequence stored before it along, so the caller's check
// after the copy sees that the slot was being rewritten.
inline void copyWords(const std::atomic<uint64_t>* words, size_t size,
                      char* out) {
  const size_t whole = size / 8;
  size_t i = 0;
  // Four words a round: a quarter of the loop's own work per word.
  for (; i + 4 <= whole; i += 4) {
    const uint64_t w0 = words[i].load(std::memory_order_acquire);
    const uint64_t w1 = words[i + 1].load(std::memory_order_acquire);
    const uint64_t w2 = words[i + 2].load(std::memory_order_acquire);
    const uint64_t w3 = words[i + 3].load(std::memory_order_acquire);
    std::memcpy(out + 8 * i, &w0, 8);
    std::memcpy(out + 8 * i + 8, &w1, 8);
    std::memcpy(out + 8 * i + 16, &w2, 8);
    std::memcpy(out + 8 * i + 24, &w3, 8);
  }
  for (; i < whole; ++i) {
    const uint64_t word = words[i].load(std::memory_order_acquire);
    std::memcpy(out + 8 * i, &word, 8);
  }
  if (size % 8 != 0) {
    const uint64_t word = words[whole].load(std::memory_order_acquire);
    std::memcpy(out + 8 * whole, &word, size % 8);
  }
}

// Whether the `size` bytes at a and b are equal, by overlapping word loads
// for the short names that are the common case.
inline bool sameBytes(const char* a, const char* b, size_t size) {
  if (size > 16) return std::memcmp(a, b, size) == 0;
  if (size >= 8) {
    return ((load64(a) ^ load64(b)) |
            (load64(a + size - 8) ^ load64(b + size - 8))) == 0;
  }
  if (size >= 4) {
    return ((load32(a) ^ load32(b)) |
            (load32(a + size - 4) ^ load32(b + size - 4))) == 0;
  }
  for (size_t i = 0; i < size; ++i) {
    if (a[i] != b[i]) return false;
  }
  return true;
}

// Writes the `size` (at most 15) bytes that a slot's two words hold to
// `out` by overlapping whole-word stores: no loop, no call.
inline void storeInline(uint64_t low, uint64_t high, size_t size, char* out) {
  if (size >= 8) {
    std::memcpy(out, &low, 8);
    if (size > 8) {
      // Bytes size - 8 to size - 1: the top of `low`, then the bottom of
      // `high` (its length byte is shifted out).
      const uint64_t tail =
          (low >> (8 * (size - 8))) | (high << (8 * (16 - size)));
      std::memcpy(out + size - 8, &tail, 8);
    }
  } else if (size >= 4) {
    const uint32_t head = static_cast<uint32_t>(low);
    const uint32_t tail = static_cast<uint32_t>(low >> (8 * (size - 4)));
    std::memcpy(out, &head, 4);
    std::memcpy(out + size - 4, &tail, 4);
  } else {
    for (size_t i = 0; i < size; ++i)
      out[i] = static_cast<char>(low >> (8 * i));
  }
}

// The inline value of a slot's two words, written into the string the value
// already owns: a read allocates nothing, and calls out only when the length
// changes.
inline bool copyOut(uint64_t low, uint64_t high, ConfigData& value) {
  const size_t size = tagOf(high);
  std::string& bytes = ConfigDataWriter::Bytes(value);
  if (bytes.size() != size) bytes.resize(size);
  if (size != 0) storeInline(low, high, size, &bytes[0]);
  ConfigDataWriter::SetValid(value);
  return true;
}

}  // namespace value_index_internal

// Entries own whole cache lines: a writer updating one entry never evicts
// another from a reader's cache.
struct alignas(value_index_internal::kLine) ValueIndex::Entry {
  struct Slot {
    // Version << 1 once version's words are complete; odd while written.
    std::atomic<uint64_t> sequence{0};
    std::atomic<uint64_t> words[2] = {};
  };

  const uint64_t hash;
  const size_t size;
  std::atomic<uint64_t> state{0};
  Slot slots[2];
  // Writer side: each slot's buffer for mid values, with the buffers it
  // replaced chained behind it; freed with the entry.
  MidBuffer* mid[2] = {nullptr, nullptr};

  Entry(uint64_t h, size_t n) : hash(h), size(n) {}
  const char* name() const { return reinterpret_cast<const char*>(this + 1); }

  static Entry* Make(uint64_t hash, std::string_view name);
  static void Free(Entry* entry);

  // Loads the words of the version that `state` names; false when the slot
  // has moved on to a later version (the caller reloads the state).
  bool loadSlot(uint64_t stateWord, uint64_t& low, uint64_t& high) const {
    const uint64_t version = stateWord >> 1;
    const Slot& slot = slots[version & 1];
    const uint64_t sequence = slot.sequence.load(std::memory_order_acquire);
    if (sequence != version << 1) return false;
    // Acquire: a word of a later version brings its odd sequence along, so
    // the check below sees that the slot was being rewritten.
    low = slot.words[0].load(std::memory_order_acquire);
    high = slot.words[1].load(std::memory_order_acquire);
    return slot.sequence.load(std::memory_order_relaxed) == sequence;
  }

  // Writer side: the long value the published version holds, if any.
  LongValue* currentLong() const;
};

// A buffer of a slot for mid values: `capacity` bytes as atomic words.
struct ValueIndex::MidBuffer {
  MidBuffer* older = nullptr;
  size_t capacity = 0;
  std::atomic<uint64_t>* words() {
    return reinterpret_cast<std::atomic<uint64_t>*>(this + 1);
  }
  const std::atomic<uint64_t>* words() const {
    return reinterpret_cast<const std::atomic<uint64_t>*>(this + 1);
  }
};

inline bool ValueIndex::copyMid(const Entry& entry, uint64_t stateWord,
                                uint64_t low, uint64_t high,
                                ConfigData& value) {
  const size_t size = static_cast<size_t>(high & 0xFFFF);
  const MidBuffer* buffer =
      reinterpret_cast<const MidBuffer*>(static_cast<uintptr_t>(low));
  std::string& bytes = ConfigDataWriter::Bytes(value);
  if (bytes.size() != size) bytes.resize(size);
  value_index_internal::copyWords(buffer->words(), size, &bytes[0]);
  // The copy is whole only if the slot was not rewritten meanwhile (the
  // acquire loads of the copy keep this load after them).
  const uint64_t version = stateWord >> 1;
  if (entry.slots[version & 1].sequence.load(std::memory_order_relaxed) !=
      version << 1) {
    return false;
  }
  ConfigDataWriter::SetValid(value);
  return true;
}

inline bool ValueIndex::readEntry(const Entry& entry, ConfigData& value,
                                  uint64_t* stateRead) {
  using value_index_internal::kInlineMax;
  using value_index_internal::kMidTag;
  using value_index_internal::kPresent;
  uint64_t low = 0;
  uint64_t high = 0;
  for (;;) {
    const uint64_t state = entry.state.load(std::memory_order_acquire);
    if (stateRead != nullptr) *stateRead = state;
    if ((state & kPresent) == 0) return false;
    if (!entry.loadSlot(state, low, high)) continue;
    const unsigned char tag = value_index_internal::tagOf(high);
    if (tag <= kInlineMax) {
      return value_index_internal::copyOut(low, high, value);
    }
    if (tag == kMidTag) {
      if (copyMid(entry, state, low, high, value)) return true;
      continue;
    }
    return readLong(entry, value, stateRead);
  }
}

// The top bits of the name's address scrambled by one multiplication.
inline std::atomic<const ValueIndex::Entry*>& ValueIndex::memoOf(
    const char* name) const {
  return m_memo[(reinterpret_cast<uintptr_t>(name) * 0x9E3779B97F4A7C15ull) >>
                (64 - kMemoBits)];
}

inline const ValueIndex::Entry* ValueIndex::memoHit(const char* name,
                                                    size_t size) const {
  const Entry* entry = memoOf(name).load(std::memory_order_acquire);
  return entry != nullptr && entry->size == size &&
                 value_index_internal::sameBytes(entry->name(), name, size)
             ? entry
             : nullptr;
}

inline bool ValueIndex::read(const char* szName, size_t size,
                             ConfigData& value) const {
  if (const Entry* entry = memoHit(szName, size)) {
    return readEntry(*entry, value);
  }
  return readMissed(szName, size, value);
}

inline bool ValueIndex::readPinned(size_t position, ConfigData& value) const {
  if (position >= m_pinCount) return false;
  const Entry* entry = m_pinned[position].load(std::memory_order_acquire);
  return entry != nullptr && readEntry(*entry, value);
}

}  // namespace kovaStore

#endif  // OSTREL_SRC_KOVACONFIG_VALUE_INDEX_H_
