#include "change_journal.h"

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <mutex>
#include <new>
#include <utility>

#include "CmTimer.h"
#include "config_event_handler.h"

namespace kovaStore {

namespace {

// The fixed part of a slot; the three texts follow, each cut-length bytes.
struct SlotHeader {
  uint64_t sequence;
  uint64_t timeUs;
  uint32_t threadId;
  int32_t operation;
  int32_t result;
  uint32_t nameLength;
  uint32_t oldLength;
  uint32_t newLength;
  uint8_t hasOld;
  uint8_t hasNew;
  uint8_t reserved[6];
};
static_assert(sizeof(SlotHeader) == 48, "slot header layout");

constexpr uint32_t kDefaultDepth = 64;
constexpr uint32_t kDefaultCut = 64;

uint32_t slotSizeFor(uint32_t cutLength) {
  return (static_cast<uint32_t>(sizeof(SlotHeader)) + 3 * cutLength + 7) & ~7u;
}

// The process-wide settings. Writers of a change read the switch and the
// generation relaxed; the depth and cut length are read with the generation
// under the lock when a ring is made.
struct Settings {
  std::mutex mutex;  // guards depth and cutLength; a leaf lock
  uint32_t depth = kDefaultDepth;
  uint32_t cutLength = kDefaultCut;
  std::atomic<bool> bAllStores{false};
  std::atomic<uint64_t> generation{1};
};

Settings& settings() {
  // Never destroyed: stores destroyed during unload may still look.
  static Settings* s = new Settings;
  return *s;
}

void copyText(unsigned char* pTo, uint32_t cut, const char* pFrom,
              uint32_t length) {
  if (cut != 0 && length != 0) std::memcpy(pTo, pFrom, std::min(cut, length));
}

// The bytes of a slot from its thread id on: all but the sequence and time.
constexpr size_t kFilledFrom = offsetof(SlotHeader, threadId);

// Fills a slot's header from its thread id on, and its texts.
void fillSlot(unsigned char* pSlot, uint32_t cut, uint32_t threadId,
              KovaJournalOperation operation, std::string_view name,
              const ConfigData* pOld, const ConfigData* pNew,
              KOVA_RESULT result) {
  SlotHeader header{};
  header.threadId = threadId;
  header.operation = operation;
  header.result = result;
  header.nameLength = static_cast<uint32_t>(name.size());
  header.hasOld = pOld != nullptr && pOld->IsValid();
  header.hasNew = pNew != nullptr;
  header.oldLength = header.hasOld ? pOld->GetLength() : 0;
  header.newLength = header.hasNew ? pNew->GetLength() : 0;
  std::memcpy(pSlot + kFilledFrom,
              reinterpret_cast<const unsigned char*>(&header) + kFilledFrom,
              sizeof(SlotHeader) - kFilledFrom);
  unsigned char* pText = pSlot + sizeof(SlotHeader);
  copyText(pText, cut, name.data(), header.nameLength);
  if (header.hasOld)
    copyText(pText + cut, cut, pOld->GetData(), header.oldLength);
  if (header.hasNew)
    copyText(pText + 2 * cut, cut, pNew->GetData(), header.newLength);
}

}  // namespace

struct ChangeJournal::Ring {
  uint64_t generation;
  uint32_t depth;
  uint32_t cutLength;
  uint32_t slotSize;
  uint64_t written =
      0;  // entries ever written; the next goes to written % depth
  std::unique_ptr<unsigned char[]> bytes;
};

JournalLimits journalLimits() {
  Settings& s = settings();
  std::lock_guard<std::mutex> lock(s.mutex);
  return JournalLimits{s.depth, s.cutLength, s.bAllStores.load()};
}

bool setJournalLimits(const JournalLimits& limits) {
  if (limits.depth < 1 || limits.depth > kKovaJournalMaxDepth ||
      limits.cutLength > kKovaJournalMaxCut) {
    return false;
  }
  Settings& s = settings();
  std::lock_guard<std::mutex> lock(s.mutex);
  if (limits.depth != s.depth || limits.cutLength != s.cutLength) {
    s.depth = limits.depth;
    s.cutLength = limits.cutLength;
    s.generation.fetch_add(1, std::memory_order_relaxed);
  }
  s.bAllStores.store(limits.bAllStores, std::memory_order_relaxed);
  return true;
}

ChangeJournal::ChangeJournal() = default;

ChangeJournal::~ChangeJournal() = default;

bool ChangeJournal::enabled() const {
  return settings().bAllStores.load(std::memory_order_relaxed) ||
         m_bEnabled.load(std::memory_order_relaxed);
}

ChangeJournal::Writer::Writer(ChangeJournal& journal, KovaConfigGroup group)
    : m_journal(journal), m_group(group), m_bOn(journal.enabled()) {
  if (!m_bOn) return;
  m_timeUs = GetCoarseWallClockUs();
  m_threadId = currentThreadId();
  Settings& s = settings();
  if (journal.m_ringGeneration[group].load(std::memory_order_relaxed) ==
      s.generation.load(std::memory_order_relaxed)) {
    return;
  }
  uint64_t generation;
  uint32_t depth, cut;
  {
    std::lock_guard<std::mutex> lock(s.mutex);
    generation = s.generation.load(std::memory_order_relaxed);
    depth = s.depth;
    cut = s.cutLength;
  }
  const uint32_t slotSize = slotSizeFor(cut);
  m_spare.reset(new (std::nothrow)
                    Ring{generation, depth, cut, slotSize, 0, nullptr});
  if (m_spare) {
    m_spare->bytes.reset(
        new (std::nothrow) unsigned char[size_t{depth} * slotSize]());
    if (!m_spare->bytes) m_spare.reset();
  }
}

ChangeJournal::Writer::~Writer() = default;

unsigned char* ChangeJournal::Writer::claimSlot(StoreCounters& counters) {
  std::unique_ptr<Ring>& ring = m_journal.m_rings[m_group];
  if (m_spare && (!ring || ring->generation < m_spare->generation)) {
    ring.swap(m_spare);  // the replaced ring is freed after the lock
    m_journal.m_ringGeneration[m_group].store(ring->generation,
                                              std::memory_order_relaxed);
  }
  if (!ring) return nullptr;
  unsigned char* pSlot =
      ring->bytes.get() + (ring->written++ % ring->depth) * ring->slotSize;
  const uint64_t header[2] = {
      m_journal.m_sequence.fetch_add(1, std::memory_order_relaxed) + 1,
      m_timeUs};
  std::memcpy(pSlot, header, sizeof(header));
  counters.addInGroupLock(m_group, kCountJournalEntry);
  return pSlot;
}

void ChangeJournal::Writer::record(StoreCounters& counters,
                                   KovaJournalOperation operation,
                                   std::string_view name,
                                   const ConfigData* pOld,
                                   const ConfigData* pNew, KOVA_RESULT result) {
  unsigned char* pSlot = claimSlot(counters);
  if (pSlot == nullptr) return;
  fillSlot(pSlot, m_journal.m_rings[m_group]->cutLength, m_threadId, operation,
           name, pOld, pNew, result);
}

void ChangeJournal::Writer::capture(KovaJournalOperation operation,
                                    std::string_view name,
                                    const ConfigData* pOld,
                                    const ConfigData* pNew) {
  const uint32_t cut = kKovaJournalMaxCut;
  m_draft.reset(new (std::nothrow) unsigned char[slotSizeFor(cut)]());
  if (m_draft) {
    fillSlot(m_draft.get(), cut, m_threadId, operation, name, pOld, pNew, 0);
  }
}

void ChangeJournal::Writer::commit(StoreCounters& counters,
                                   KOVA_RESULT result) {
  if (!m_draft) return;
  unsigned char* pSlot = claimSlot(counters);
  if (pSlot == nullptr) return;
  const uint32_t cut = m_journal.m_rings[m_group]->cutLength;
  SlotHeader draft;
  std::memcpy(&draft, m_draft.get(), sizeof(draft));
  draft.result = result;
  std::memcpy(pSlot + kFilledFrom,
              reinterpret_cast<const unsigned char*>(&draft) + kFilledFrom,
              sizeof(SlotHeader) - kFilledFrom);
  const unsigned char* pFrom = m_draft.get() + sizeof(SlotHeader);
  unsigned char* pTo = pSlot + sizeof(SlotHeader);
  for (int text = 0; text < 3; ++text) {
    std::memcpy(pTo + text * cut, pFrom + text * kKovaJournalMaxCut, cut);
  }
}

void ChangeJournal::copyGroup(KovaConfigGroup group, Copy& out) const {
  const Ring* ring = m_rings[group].get();
  if (ring == nullptr ||
      ring->generation != settings().generation.load(std::memory_order_relaxed))
    return;
  out.slotSize = ring->slotSize;
  out.cutLength = ring->cutLength;
  const uint64_t held = std::min<uint64_t>(ring->written, ring->depth);
  out.bytes.assign(ring->bytes.get(),
                   ring->bytes.get() + held * ring->slotSize);
}

uint32_t ChangeJournal::expand(uint32_t callId,
                               const Copy (&groups)[kKovaConfigGroupCount],
                               KovaJournalEntry* pEntries, uint32_t nCapacity) {
  struct Found {
    uint64_t sequence;
    int group;
    const unsigned char* pSlot;
  };
  std::vector<Found> found;
  for (int group = 0; group < kKovaConfigGroupCount; ++group) {
    const Copy& copy = groups[group];
    for (size_t at = 0; copy.slotSize != 0 && at < copy.bytes.size();
         at += copy.slotSize) {
      uint64_t sequence;
      std::memcpy(&sequence, copy.bytes.data() + at, sizeof(sequence));
      found.push_back(Found{sequence, group, copy.bytes.data() + at});
    }
  }
  // The newest depth entries of the store: the rings may hold more between
  // them, one depth each.
  const uint32_t depth = journalLimits().depth;
  std::sort(found.begin(), found.end(), [](const Found& a, const Found& b) {
    return a.sequence < b.sequence;
  });
  if (found.size() > depth) found.erase(found.begin(), found.end() - depth);
  const uint32_t held = static_cast<uint32_t>(found.size());
  const uint32_t first = held > nCapacity ? held - nCapacity : 0;
  for (uint32_t i = first; i < held; ++i) {
    const Found& f = found[i];
    const uint32_t cut = groups[f.group].cutLength;
    SlotHeader header;
    std::memcpy(&header, f.pSlot, sizeof(header));
    KovaJournalEntry& entry = pEntries[i - first];
    std::memset(&entry, 0, sizeof(entry));
    entry.sequence = header.sequence;
    entry.timeUs = header.timeUs;
    entry.callId = callId;
    entry.threadId = header.threadId;
    entry.group = f.group;
    entry.operation = header.operation;
    entry.result = header.result;
    entry.nameLength = header.nameLength;
    entry.oldLength = header.oldLength;
    entry.newLength = header.newLength;
    entry.hasOld = header.hasOld;
    entry.hasNew = header.hasNew;
    const unsigned char* pText = f.pSlot + sizeof(SlotHeader);
    std::memcpy(entry.name, pText, std::min(cut, header.nameLength));
    std::memcpy(entry.oldValue, pText + cut, std::min(cut, header.oldLength));
    std::memcpy(entry.newValue, pText + 2 * cut,
                std::min(cut, header.newLength));
  }
  return held;
}

}  // namespace kovaStore
