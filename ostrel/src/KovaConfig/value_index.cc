#include "value_index.h"

#include <cstring>
#include <new>
#include <string>
#include <utility>

#include "epoch_reclaim.h"

// The read path is one function: its helpers are folded into it.
#if defined(__GNUC__)
#define OSTREL_READ_INLINE inline __attribute__((always_inline))
#else
#define OSTREL_READ_INLINE inline
#endif

// The library's access to a value's parts, for filling it in place.
struct ConfigDataWriter {
  static std::string& Bytes(ConfigData& value) { return value.m_strData; }
  static void SetValid(ConfigData& value) { value.m_bValid = true; }
};

namespace kovaStore {

namespace {

// Byte 15 of a slot: the inline length (0 to 15), or this for a long value.
constexpr unsigned char kLongTag = 0xFF;
constexpr size_t kInlineMax = 15;

OSTREL_READ_INLINE uint64_t mix(uint64_t h) {
  h *= 0xFF51AFD7ED558CCDull;
  return h ^ (h >> 29);
}

// Every input bit reaches the low bits that pick the bucket.
OSTREL_READ_INLINE uint64_t finish(uint64_t h) {
  h ^= h >> 33;
  h *= 0xC4CEB9FE1A85EC53ull;
  return h ^ (h >> 33);
}

OSTREL_READ_INLINE uint64_t load64(const char* p) {
  uint64_t word;
  std::memcpy(&word, p, 8);
  return word;
}

OSTREL_READ_INLINE uint64_t load32(const char* p) {
  uint32_t word;
  std::memcpy(&word, p, 4);
  return word;
}

// Words of the name, the last one overlapping its predecessor, so that no
// byte beyond the name is read and short names need no byte loop.
OSTREL_READ_INLINE uint64_t hashOf(const char* p, size_t size) {
  uint64_t h = 0x9E3779B97F4A7C15ull ^ size;
  if (size >= 8) {
    for (; size > 8; p += 8, size -= 8) h = mix(h ^ load64(p));
    return finish(mix(h ^ load64(p + size - 8)));
  }
  if (size >= 4) {
    return finish(mix(h ^ load32(p) ^ (load32(p + size - 4) << 32)));
  }
  uint64_t word = 0;
  for (size_t i = 0; i < size; ++i) {
    word = (word << 8) | static_cast<unsigned char>(p[i]);
  }
  return finish(mix(h ^ word));
}

OSTREL_READ_INLINE unsigned char tagOf(uint64_t highWord) {
  return static_cast<unsigned char>(highWord >> 56);
}

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

// State word: version << 1 | present.
constexpr uint64_t kPresent = 1;

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

// Entries own whole cache lines: a writer updating one entry never evicts
// another from a reader's cache.
constexpr size_t kLine = 64;

struct alignas(kLine) ValueIndex::Entry {
  struct Slot {
    // Version << 1 once version's words are complete; odd while written.
    std::atomic<uint64_t> sequence{0};
    std::atomic<uint64_t> words[2] = {};
  };

  const uint64_t hash;
  const size_t size;
  std::atomic<uint64_t> state{0};
  Slot slots[2];

  Entry(uint64_t h, size_t n) : hash(h), size(n) {}
  const char* name() const { return reinterpret_cast<const char*>(this + 1); }

  static Entry* Make(uint64_t hash, std::string_view name) {
    const size_t bytes =
        (sizeof(Entry) + name.size() + kLine - 1) / kLine * kLine;
    void* memory = ::operator new(bytes, std::align_val_t(kLine));
    Entry* entry = new (memory) Entry(hash, name.size());
    std::memcpy(const_cast<char*>(entry->name()), name.data(), name.size());
    return entry;
  }
  static void Free(Entry* entry) {
    entry->~Entry();
    ::operator delete(entry, std::align_val_t(kLine));
  }

  // Loads the words of the version that `state` names; false when the slot
  // has moved on to a later version (the caller reloads the state).
  bool loadSlot(uint64_t stateWord, uint64_t& low, uint64_t& high) const {
    const uint64_t version = stateWord >> 1;
    const Slot& slot = slots[version & 1];
    const uint64_t sequence = slot.sequence.load(std::memory_order_acquire);
    if (sequence != version << 1) return false;
    low = slot.words[0].load(std::memory_order_relaxed);
    high = slot.words[1].load(std::memory_order_relaxed);
    std::atomic_thread_fence(std::memory_order_acquire);
    return slot.sequence.load(std::memory_order_relaxed) == sequence;
  }

  // Writer side: the long value the published version holds, if any.
  LongValue* currentLong() const {
    const uint64_t stateWord = state.load(std::memory_order_relaxed);
    if ((stateWord & kPresent) == 0) return nullptr;
    const Slot& slot = slots[(stateWord >> 1) & 1];
    if (tagOf(slot.words[1].load(std::memory_order_relaxed)) != kLongTag) {
      return nullptr;
    }
    return reinterpret_cast<LongValue*>(
        static_cast<uintptr_t>(slot.words[0].load(std::memory_order_relaxed)));
  }
};

struct ValueIndex::Table {
  explicit Table(size_t capacity)
      : mask(capacity - 1), slots(new std::atomic<Entry*>[capacity]()) {}
  const size_t mask;
  const std::unique_ptr<std::atomic<Entry*>[]> slots;
  // Writer side: the table this one replaced, kept until the index goes.
  Table* previous = nullptr;
};

namespace {

// Writes the `size` (at most 15) bytes that a slot's two words hold to
// `out` by overlapping whole-word stores: no loop, no call.
OSTREL_READ_INLINE void storeInline(uint64_t low, uint64_t high, size_t size,
                                    char* out) {
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
OSTREL_READ_INLINE bool copyOut(uint64_t low, uint64_t high,
                                ConfigData& value) {
  const size_t size = tagOf(high);
  std::string& bytes = ConfigDataWriter::Bytes(value);
  if (bytes.size() != size) bytes.resize(size);
  if (size != 0) storeInline(low, high, size, &bytes[0]);
  ConfigDataWriter::SetValid(value);
  return true;
}

// Whether the `size` bytes at a and b are equal, by the overlapping word
// loads of hashOf for the short names that are the common case.
OSTREL_READ_INLINE bool sameBytes(const char* a, const char* b, size_t size) {
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

}  // namespace

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
        sameBytes(entry->name(), name, size)) {
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
  PendingSet pending;
  const uint64_t hash = hashOf(name.data(), name.size());
  pending.entry = const_cast<Entry*>(find(hash, name.data(), name.size()));
  if (pending.entry == nullptr) pending.entry = addEntry(hash, name);
  const size_t size = value.GetLength();
  if (size <= kInlineMax) {
    packInline(value.GetData(), size, pending.words);
  } else {
    pending.longValue.reset(LongValue::Make(value.GetData(), size));
    pending.words[0] = static_cast<uint64_t>(
        reinterpret_cast<uintptr_t>(pending.longValue.get()));
    pending.words[1] = static_cast<uint64_t>(kLongTag) << 56;
  }
  return pending;
}

void ValueIndex::publish(PendingSet pending) noexcept {
  Entry& entry = *pending.entry;
  const uint64_t version =
      (entry.state.load(std::memory_order_relaxed) >> 1) + 1;
  Entry::Slot& slot = entry.slots[version & 1];
  slot.sequence.store((version << 1) | 1, std::memory_order_relaxed);
  std::atomic_thread_fence(std::memory_order_release);
  slot.words[0].store(pending.words[0], std::memory_order_relaxed);
  slot.words[1].store(pending.words[1], std::memory_order_relaxed);
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
  const Entry* found =
      find(hashOf(name.data(), name.size()), name.data(), name.size());
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

OSTREL_READ_INLINE bool ValueIndex::readEntry(const Entry& entry,
                                              ConfigData& value) {
  uint64_t low = 0;
  uint64_t high = 0;
  for (;;) {
    const uint64_t state = entry.state.load(std::memory_order_acquire);
    if ((state & kPresent) == 0) return false;
    if (!entry.loadSlot(state, low, high)) continue;
    if (tagOf(high) != kLongTag) return copyOut(low, high, value);
    return readLong(entry, value);
  }
}

bool ValueIndex::readLong(const Entry& entry, ConfigData& value) {
  uint64_t low = 0;
  uint64_t high = 0;
  // A long value: the guard is announced before the state word that leads
  // to the copy is loaded again.
  EpochGuard guard;
  for (;;) {
    const uint64_t state = entry.state.load(std::memory_order_seq_cst);
    if ((state & kPresent) == 0) return false;
    if (!entry.loadSlot(state, low, high)) continue;
    if (tagOf(high) != kLongTag) return copyOut(low, high, value);
    const LongValue* stored =
        reinterpret_cast<const LongValue*>(static_cast<uintptr_t>(low));
    value = ConfigData(std::string(stored->data(), stored->size));
    return true;
  }
}

bool ValueIndex::read(const char* szName, ConfigData& value) const {
  const size_t size = std::strlen(szName);
  const Entry* entry = find(hashOf(szName, size), szName, size);
  return entry != nullptr && readEntry(*entry, value);
}

bool ValueIndex::readPinned(size_t position, ConfigData& value) const {
  if (position >= m_pinCount) return false;
  const Entry* entry = m_pinned[position].load(std::memory_order_acquire);
  return entry != nullptr && readEntry(*entry, value);
}

}  // namespace kovaStore
