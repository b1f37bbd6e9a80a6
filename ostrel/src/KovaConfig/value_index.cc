#include "value_index.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <string>
#include <utility>

#include "epoch_reclaim.h"
#include "name_keys.h"

// The read path is one function: its helpers are folded into it.
#if defined(__GNUC__)
#define OSTREL_READ_INLINE inline __attribute__((always_inline))
#else
#define OSTREL_READ_INLINE inline
#endif

namespace kovaStore {

using value_index_internal::copyOut;
using value_index_internal::kInlineMax;
using value_index_internal::kLine;
using value_index_internal::kLongTag;
using value_index_internal::kMidMax;
using value_index_internal::kMidTag;
using value_index_internal::kPresent;
using value_index_internal::load32;
using value_index_internal::load64;
using value_index_internal::tagOf;

namespace {

#if defined(__BYTE_ORDER__)
static_assert(__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__,
              "inline values are packed for little-endian targets");
#endif

// Packs up to 15 bytes into two words laid out as the bytes in memory, the
// length in the last byte, by whole-word loads of the source: no byte is
// stored and reloaded on the way.
void packInline(const char* p, size_t size, uint64_t words[2]) {
  uint64_t low = 0;
  uint64_t high = 0;
  if (size > 8) {
    low = load64(p);
    high = load64(p + size - 8) >> (8 * (16 - size));
  } else if (size == 8) {
    low = load64(p);
  } else if (size >= 4) {
    low = load32(p) | (load32(p + size - 4) << (8 * (size - 4)));
  } else {
    for (size_t i = 0; i < size; ++i) {
      low |= static_cast<uint64_t>(static_cast<unsigned char>(p[i])) << (8 * i);
    }
  }
  words[0] = low;
  words[1] = high | (static_cast<uint64_t>(size) << 56);
}

}  // namespace

struct ValueIndex::LongValue {
  // Writer side: the retired list and the stamp taken when retired.
  LongValue* next = nullptr;
  uint64_t stamp = 0;
  size_t size = 0;
  char* data() { return reinterpret_cast<char*>(this + 1); }
  const char* data() const { return reinterpret_cast<const char*>(this + 1); }

  static LongValue* Make(const char* bytes, size_t size) {
    void* memory = ::operator new(sizeof(LongValue) + size);
    LongValue* value = new (memory) LongValue;
    value->size = size;
    std::memcpy(value->data(), bytes, size);
    return value;
  }
};

void ValueIndex::LongValueDeleter::operator()(LongValue* value) const {
  value->~LongValue();
  ::operator delete(value);
}

ValueIndex::Entry* ValueIndex::Entry::Make(uint64_t hash,
                                           std::string_view name) {
  const size_t bytes =
      (sizeof(Entry) + name.size() + kLine - 1) / kLine * kLine;
  void* memory = ::operator new(bytes, std::align_val_t(kLine));
  Entry* entry = new (memory) Entry(hash, name.size());
  std::memcpy(const_cast<char*>(entry->name()), name.data(), name.size());
  return entry;
}

void ValueIndex::Entry::Free(Entry* entry) {
  for (MidBuffer* buffer : entry->mid) {
    while (buffer != nullptr) {
      MidBuffer* older = buffer->older;
      buffer->~MidBuffer();
      ::operator delete(buffer);
      buffer = older;
    }
  }
  entry->~Entry();
  ::operator delete(entry, std::align_val_t(kLine));
}

ValueIndex::LongValue* ValueIndex::Entry::currentLong() const {
  const uint64_t stateWord = state.load(std::memory_order_relaxed);
  if ((stateWord & kPresent) == 0) return nullptr;
  const Slot& slot = slots[(stateWord >> 1) & 1];
  if (tagOf(slot.words[1].load(std::memory_order_relaxed)) != kLongTag) {
    return nullptr;
  }
  return reinterpret_cast<LongValue*>(
      static_cast<uintptr_t>(slot.words[0].load(std::memory_order_relaxed)));
}

struct ValueIndex::Table {
  explicit Table(size_t capacity)
      : mask(capacity - 1), slots(new std::atomic<Entry*>[capacity]()) {}
  const size_t mask;
  const std::unique_ptr<std::atomic<Entry*>[]> slots;
  // Writer side: the table this one replaced, kept until the index goes.
  Table* previous = nullptr;
};

ValueIndex::~ValueIndex() {
  Table* table = m_table.load(std::memory_order_relaxed);
  if (table != nullptr) {
    for (size_t i = 0; i <= table->mask; ++i) {
      Entry* entry = table->slots[i].load(std::memory_order_relaxed);
      if (entry == nullptr) continue;
      if (LongValue* value = entry->currentLong()) LongValueDeleter()(value);
      Entry::Free(entry);
    }
  }
  while (table != nullptr) {
    Table* previous = table->previous;
    delete table;
    table = previous;
  }
  reclaim(true);
}

void ValueIndex::setPins(PinFunction pinOf, size_t count) {
  m_pinOf = pinOf;
  m_pinCount = count;
  m_pinned.reset(new std::atomic<Entry*>[count]());
  m_pinnedStates.reset(new std::atomic<const std::atomic<uint64_t>*>[count]());
}

OSTREL_READ_INLINE const ValueIndex::Entry* ValueIndex::find(
    uint64_t hash, const char* name, size_t size) const {
  const Table* table = m_table.load(std::memory_order_acquire);
  if (table == nullptr) return nullptr;
  for (size_t i = hash & table->mask;; i = (i + 1) & table->mask) {
    const Entry* entry = table->slots[i].load(std::memory_order_acquire);
    if (entry == nullptr) return nullptr;
    if (entry->hash == hash && entry->size == size &&
        ConfigDataWriter::SameBytes(entry->name(), name, size)) {
      return entry;
    }
  }
}

void ValueIndex::grow() {
  Table* old = m_table.load(std::memory_order_relaxed);
  const size_t capacity = old == nullptr ? 16 : 2 * (old->mask + 1);
  std::unique_ptr<Table> table(new Table(capacity));
  if (old != nullptr) {
    for (size_t i = 0; i <= old->mask; ++i) {
      Entry* entry = old->slots[i].load(std::memory_order_relaxed);
      if (entry == nullptr) continue;
      size_t j = entry->hash & table->mask;
      while (table->slots[j].load(std::memory_order_relaxed) != nullptr) {
        j = (j + 1) & table->mask;
      }
      table->slots[j].store(entry, std::memory_order_relaxed);
    }
  }
  table->previous = old;
  m_table.store(table.release(), std::memory_order_release);
}

ValueIndex::Entry* ValueIndex::addEntry(uint64_t hash, std::string_view name) {
  Table* table = m_table.load(std::memory_order_relaxed);
  if (table == nullptr || 4 * (m_count + 1) > 3 * (table->mask + 1)) {
    grow();
    table = m_table.load(std::memory_order_relaxed);
  }
  Entry* entry = Entry::Make(hash, name);
  size_t i = hash & table->mask;
  while (table->slots[i].load(std::memory_order_relaxed) != nullptr) {
    i = (i + 1) & table->mask;
  }
  table->slots[i].store(entry, std::memory_order_release);
  ++m_count;
  if (m_pinOf != nullptr) {
    const int position = m_pinOf(name);
    if (position >= 0 && static_cast<size_t>(position) < m_pinCount) {
      m_pinned[position].store(entry, std::memory_order_release);
      m_pinnedStates[position].store(&entry->state, std::memory_order_release);
    }
  }
  return entry;
}

ValueIndex::PendingSet ValueIndex::prepareSet(std::string_view name,
                                              const ConfigData& value) {
  Entry* entry = const_cast<Entry*>(lookUp(name.data(), name.size()));
  if (entry == nullptr) {
    entry = addEntry(nameHash(name.data(), name.size()), name);
  }
  return prepareSetAt(*entry, value);
}

ValueIndex::PendingSet ValueIndex::prepareSet(const PendingSet& sameName,
                                              const ConfigData& value) {
  return prepareSetAt(*sameName.entry, value);
}

ValueIndex::PendingSet ValueIndex::prepareSetAt(Entry& target,
                                                const ConfigData& value) {
  PendingSet pending;
  pending.entry = &target;
  const size_t size = value.GetLength();
  if (size <= kInlineMax) {
    packInline(value.GetData(), size, pending.words);
  } else if (size <= kMidMax) {
    // The slot the next version goes into; its buffer grows to a power of
    // two, keeping the one it replaces for readers still copying from it.
    Entry& entry = *pending.entry;
    const uint64_t next =
        (entry.state.load(std::memory_order_relaxed) >> 1) + 1;
    MidBuffer*& buffer = entry.mid[next & 1];
    if (buffer == nullptr || buffer->capacity < size) {
      size_t capacity = 32;
      while (capacity < size) capacity *= 2;
      void* memory = ::operator new(sizeof(MidBuffer) + capacity);
      MidBuffer* fresh = new (memory) MidBuffer;
      fresh->capacity = capacity;
      for (size_t i = 0; i < capacity / 8; ++i) {
        new (&fresh->words()[i]) std::atomic<uint64_t>(0);
      }
      fresh->older = buffer;
      buffer = fresh;
    }
    pending.midBuffer = buffer;
    pending.words[0] =
        static_cast<uint64_t>(reinterpret_cast<uintptr_t>(buffer));
    pending.words[1] = (static_cast<uint64_t>(kMidTag) << 56) | size;
  } else {
    pending.longValue.reset(LongValue::Make(value.GetData(), size));
    pending.words[0] = static_cast<uint64_t>(
        reinterpret_cast<uintptr_t>(pending.longValue.get()));
    pending.words[1] = static_cast<uint64_t>(kLongTag) << 56;
  }
  return pending;
}

void ValueIndex::publish(PendingSet pending, const ConfigData& value) noexcept {
  Entry& entry = *pending.entry;
  const uint64_t version =
      (entry.state.load(std::memory_order_relaxed) >> 1) + 1;
  Entry::Slot& slot = entry.slots[version & 1];
  // The words are stored with release, so that a reader that loads either
  // of them (with acquire) also sees the odd sequence stored before them.
  slot.sequence.store((version << 1) | 1, std::memory_order_relaxed);
  if (MidBuffer* buffer = pending.midBuffer) {
    // The buffer's words after the odd sequence, each with release: a
    // reader that copies any of them (with acquire) sees the slot being
    // rewritten when it checks again.
    const char* bytes = value.GetData();
    const size_t size = value.GetLength();
    std::atomic<uint64_t>* words = buffer->words();
    for (size_t i = 0; 8 * i < size; ++i) {
      uint64_t word = 0;
      std::memcpy(&word, bytes + 8 * i, std::min<size_t>(8, size - 8 * i));
      words[i].store(word, std::memory_order_release);
    }
  }
  slot.words[0].store(pending.words[0], std::memory_order_release);
  slot.words[1].store(pending.words[1], std::memory_order_release);
  slot.sequence.store(version << 1, std::memory_order_release);
  replaceState(entry, (version << 1) | kPresent);
  // The slot now owns the long value.
  (void)pending.longValue.release();
}

void ValueIndex::replaceState(Entry& entry, uint64_t state) noexcept {
  LongValue* previous = entry.currentLong();
  // Retiring needs the unlink in the single total order that the readers'
  // announcements are in; a short value needs no more than release.
  entry.state.store(state, previous != nullptr ? std::memory_order_seq_cst
                                               : std::memory_order_release);
  if (previous != nullptr) {
    retire(previous, EpochRetireStamp());
    reclaim(false);
  }
}

void ValueIndex::markAbsent(std::string_view name) noexcept {
  const Entry* found = lookUp(name.data(), name.size());
  if (found == nullptr) return;
  Entry& entry = *const_cast<Entry*>(found);
  const uint64_t state = entry.state.load(std::memory_order_relaxed);
  if ((state & kPresent) == 0) return;
  replaceState(entry, ((state >> 1) + 1) << 1);
}

void ValueIndex::markAllAbsent() noexcept {
  Table* table = m_table.load(std::memory_order_relaxed);
  if (table == nullptr) return;
  // One stamp for the whole batch, taken after the last unlink.
  LongValue* batch = nullptr;
  for (size_t i = 0; i <= table->mask; ++i) {
    Entry* entry = table->slots[i].load(std::memory_order_relaxed);
    if (entry == nullptr) continue;
    const uint64_t state = entry->state.load(std::memory_order_relaxed);
    if ((state & kPresent) == 0) continue;
    LongValue* previous = entry->currentLong();
    entry->state.store(((state >> 1) + 1) << 1,
                       previous != nullptr ? std::memory_order_seq_cst
                                           : std::memory_order_release);
    if (previous != nullptr) {
      previous->next = batch;
      batch = previous;
    }
  }
  if (batch == nullptr) return;
  const uint64_t stamp = EpochRetireStamp();
  while (batch != nullptr) {
    LongValue* next = batch->next;
    retire(batch, stamp);
    batch = next;
  }
  reclaim(false);
}

void ValueIndex::retire(LongValue* value, uint64_t stamp) noexcept {
  value->stamp = stamp;
  value->next = m_retired;
  m_retired = value;
}

void ValueIndex::reclaim(bool bAll) noexcept {
  if (m_retired == nullptr) return;
  const uint64_t oldest = bAll ? UINT64_MAX : EpochOldestReader();
  LongValue** link = &m_retired;
  while (*link != nullptr) {
    LongValue* value = *link;
    if (value->stamp < oldest) {
      *link = value->next;
      LongValueDeleter()(value);
    } else {
      link = &value->next;
    }
  }
}

bool ValueIndex::readLong(const Entry& entry, ConfigData& value,
                          uint64_t* stateRead) {
  uint64_t low = 0;
  uint64_t high = 0;
  // A long value: the guard is announced before the state word that leads
  // to the copy is loaded again.
  EpochGuard guard;
  for (;;) {
    const uint64_t state = entry.state.load(std::memory_order_seq_cst);
    if (stateRead != nullptr) *stateRead = state;
    if ((state & kPresent) == 0) return false;
    if (!entry.loadSlot(state, low, high)) continue;
    const unsigned char tag = tagOf(high);
    if (tag <= kInlineMax) return copyOut(low, high, value);
    if (tag == kMidTag) {
      if (copyMid(entry, state, low, high, value)) return true;
      continue;
    }
    // Into the string the value already owns: no allocation when it holds
    // enough room.
    const LongValue* stored =
        reinterpret_cast<const LongValue*>(static_cast<uintptr_t>(low));
    ConfigDataWriter::Bytes(value).assign(stored->data(), stored->size);
    ConfigDataWriter::SetValid(value);
    return true;
  }
}

const ValueIndex::Entry* ValueIndex::lookUp(const char* name,
                                            size_t size) const {
  if (const Entry* entry = memoHit(name, size)) return entry;
  const Entry* entry = find(nameHash(name, size), name, size);
  std::atomic<const Entry*>& memo = memoOf(name);
  if (entry != nullptr && memo.load(std::memory_order_relaxed) == nullptr) {
    const Entry* empty = nullptr;
    memo.compare_exchange_strong(empty, entry, std::memory_order_release,
                                 std::memory_order_relaxed);
  }
  return entry;
}

const std::atomic<uint64_t>* ValueIndex::cellOf(std::string_view name) {
  const Entry* entry = lookUp(name.data(), name.size());
  if (entry == nullptr) {
    entry = addEntry(nameHash(name.data(), name.size()), name);
  }
  return &entry->state;
}

bool ValueIndex::readCell(const std::atomic<uint64_t>* state, ConfigData& value,
                          uint64_t* stateRead) {
  const Entry* entry = reinterpret_cast<const Entry*>(
      reinterpret_cast<const char*>(state) - offsetof(Entry, state));
  return readEntry(*entry, value, stateRead);
}

bool ValueIndex::readMissed(const char* szName, size_t size,
                            ConfigData& value) const {
  const Entry* entry = lookUp(szName, size);
  return entry != nullptr && readEntry(*entry, value);
}

}  // namespace kovaStore
