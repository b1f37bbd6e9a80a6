// The inline read path of ValueIndex (KovaConfig/value_index.h) and the
// layout it reads: entries, slots, mid-value buffers and the word helpers.
// Only value_index.h and value_index.cc include this file; callers of the
// index use the interface there and must not touch anything declared here.
//
// It is a header rather than part of value_index.cc so that a store's read
// (ValueIndex::read, readPinned) folds into its caller: no call, no lock, no
// allocation when the caller's value already has room. The invariants that
// make the path safe without a lock are stated at the top of value_index.h;
// the writer's side is in value_index.cc.
//
// Layout: an open-addressing hash table (linear probing, at most 3/4 full) of
// entries, one per name ever stored in the group. Each entry holds its name
// and a versioned value cell: a state word (version, present bit) and two
// slots; version v lives in slot v & 1. A slot holds up to 15 bytes inline
// (two atomic words, the last byte the length), or 16 to 256 bytes in a
// buffer of atomic words that the slot owns (a mid value), or a pointer to an
// immutable heap copy of a longer value.
#ifndef OSTREL_SRC_KOVACONFIG_INTERNAL_VALUE_INDEX_READ_H_
#define OSTREL_SRC_KOVACONFIG_INTERNAL_VALUE_INDEX_READ_H_

#include <ConfigData.h>

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include "KovaConfig/name_keys.h"
#include "KovaConfig/value_index.h"

// The library's access to a value's parts, for filling it in place.
struct ConfigDataWriter {
  static std::string& Bytes(ConfigData& value) { return value.m_strData; }
  static void SetValid(ConfigData& value) { value.m_bValid = true; }
  // Whether the `size` bytes at a and b are equal: the value type's own
  // comparison (overlapping word loads for short names and values).
  static bool SameBytes(const char* a, const char* b, size_t size) {
    return ConfigData::SameBytes(a, b, size);
  }
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

using name_hash::load32;
using name_hash::load64;

inline unsigned char tagOf(uint64_t highWord) {
  return static_cast<unsigned char>(highWord >> 56);
}

// Copies the `size` (16 to 256) bytes of a mid value's buffer that a writer
// may be rewriting at the same time; the caller keeps the copy only if the
// slot's sequence shows afterwards that it was not (a seqlock read). Every
// word is an atomic load, so a copy that races with a writer is a torn copy
// that is thrown away, never undefined behaviour. Acquire: a word of a later
// version brings the odd sequence stored before it along, so the caller's
// check after the copy sees that the slot was being rewritten.
//
// Atomic words cannot be copied by vector moves: the copy is four words a
// round, the words left one by one, and the last eight bytes as one store of
// the one or two words that hold them, overlapping what came before (no
// per-byte tail, no call). The word copy is what a 256-byte read costs above
// a 15-byte one; a plain vector copy would need buffers that no writer
// rewrites while a reader may copy them, so every read would announce
// itself (a store and a full fence, as an EpochGuard does), which costs
// as much as the word copy saves or more.
inline void copyWords(const std::atomic<uint64_t>* words, size_t size,
                      char* out) {
  const size_t whole = size / 8;
  size_t i = 0;
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
  const unsigned shift = 8 * static_cast<unsigned>(size % 8);
  if (shift != 0) {
    // Bytes size - 8 to size - 1: the top of the last whole word, then the
    // bottom of the partial one.
    const uint64_t tail =
        (words[whole - 1].load(std::memory_order_acquire) >> shift) |
        (words[whole].load(std::memory_order_acquire) << (64 - shift));
    std::memcpy(out + size - 8, &tail, 8);
  }
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
                 ConfigDataWriter::SameBytes(entry->name(), name, size)
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

#endif  // OSTREL_SRC_KOVACONFIG_INTERNAL_VALUE_INDEX_READ_H_
