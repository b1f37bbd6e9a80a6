#include "change_journal.h"

#include <CmTimer.h>

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <new>
#include <utility>

#include "config_event_handler.h"
#include "support/mutex.h"
#include "support/never_destroyed.h"

namespace kovaStore {

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

namespace {

constexpr uint32_t kDefaultDepth = 64;
constexpr uint32_t kDefaultCut = 64;

uint32_t slotSizeFor(uint32_t cutLength) {
  return (static_cast<uint32_t>(sizeof(SlotHeader)) + 3 * cutLength + 7) & ~7u;
}

// The process-wide settings. Writers of a change read the switch and the
// generation relaxed; the depth and cut length are read with the generation
// under the lock when a ring is made. Never destroyed: usable by a store
// destroyed while the library unloads.
struct Settings {
  Mutex mutex;  // a leaf lock
  uint32_t depth GUARDED_BY(mutex) = kDefaultDepth;
  uint32_t cutLength GUARDED_BY(mutex) = kDefaultCut;
};

Settings& settings() { return NeverDestroyed<Settings>(); }

// memcpy for the short texts most names and values are, without a call:
// fixed-size moves from both ends, overlapping in the middle.
inline void copyShort(char* pTo, const char* pFrom, uint32_t n) {
  if (n >= 16) {
    if (n > 32) {
      std::memcpy(pTo, pFrom, n);
      return;
    }
    std::memcpy(pTo, pFrom, 16);
    std::memcpy(pTo + n - 16, pFrom + n - 16, 16);
  } else if (n >= 8) {
    std::memcpy(pTo, pFrom, 8);
    std::memcpy(pTo + n - 8, pFrom + n - 8, 8);
  } else if (n >= 4) {
    std::memcpy(pTo, pFrom, 4);
    std::memcpy(pTo + n - 4, pFrom + n - 4, 4);
  } else {
    for (uint32_t i = 0; i < n; ++i) pTo[i] = pFrom[i];
  }
}

// Fills a slot's header from its thread id on, and its texts.
void fillSlot(SlotHeader& slot, uint32_t cut, uint32_t threadId,
              KovaJournalOperation operation, std::string_view name,
              const ConfigData* pOld, const ConfigData* pNew,
              KOVA_RESULT result) {
  const bool bHasOld = pOld != nullptr && pOld->IsValid();
  slot.threadId = threadId;
  slot.operation = operation;
  slot.result = result;
  slot.nameLength = static_cast<uint32_t>(name.size());
  slot.oldLength = bHasOld ? pOld->GetLength() : 0;
  slot.newLength = pNew != nullptr ? pNew->GetLength() : 0;
  slot.hasOld = bHasOld;
  slot.hasNew = pNew != nullptr;
  char* pText = reinterpret_cast<char*>(&slot + 1);
  copyShort(pText, name.data(), std::min(cut, slot.nameLength));
  if (bHasOld)
    copyShort(pText + cut, pOld->GetData(), std::min(cut, slot.oldLength));
  if (pNew != nullptr) {
    copyShort(pText + 2 * cut, pNew->GetData(), std::min(cut, slot.newLength));
  }
}

}  // namespace

struct ChangeJournal::Ring {
  Ring(uint64_t generation_, uint32_t depth_, uint32_t cutLength_)
      : generation(generation_),
        depth(depth_),
        cutLength(cutLength_),
        slotWords(slotSizeFor(cutLength_) / 8),
        words(new (std::nothrow) uint64_t[size_t{depth_} * slotWords]()) {
    for (uint32_t i = 0; words && i < depth; ++i) new (&slot(i)) SlotHeader{};
  }
  SlotHeader& slot(uint64_t index) {
    return *reinterpret_cast<SlotHeader*>(&words[index * slotWords]);
  }
  size_t slotSize() const { return size_t{slotWords} * 8; }

  const uint64_t generation;
  const uint32_t depth;
  const uint32_t cutLength;
  const uint32_t slotWords;
  // Entries ever written, and the slot the next one goes to.
  uint64_t written = 0;
  uint32_t next = 0;
  // depth slots: a SlotHeader, then the three texts of cutLength bytes each.
  const std::unique_ptr<uint64_t[]> words;
};

void ChangeJournal::RingDeleter::operator()(Ring* pRing) const { delete pRing; }

JournalLimits journalLimits() {
  Settings& s = settings();
  MutexLock lock(s.mutex);
  return JournalLimits{s.depth, s.cutLength, g_journalAllStores.load()};
}

bool setJournalLimits(const JournalLimits& limits) {
  if (limits.depth < 1 || limits.depth > kKovaJournalMaxDepth ||
      limits.cutLength > kKovaJournalMaxCut) {
    return false;
  }
  Settings& s = settings();
  MutexLock lock(s.mutex);
  if (limits.depth != s.depth || limits.cutLength != s.cutLength) {
    s.depth = limits.depth;
    s.cutLength = limits.cutLength;
    g_journalGeneration.fetch_add(1, std::memory_order_relaxed);
  }
  g_journalAllStores.store(limits.bAllStores, std::memory_order_relaxed);
  return true;
}

ChangeJournal::ChangeJournal() = default;

ChangeJournal::~ChangeJournal() = default;

std::atomic<bool> g_journalAllStores{false};
std::atomic<uint64_t> g_journalGeneration{1};

uint32_t fetchJournalThreadId() { return currentThreadId(); }

void ChangeJournal::Writer::prepareRing() {
  Settings& s = settings();
  uint64_t generation;
  uint32_t depth, cut;
  {
    MutexLock lock(s.mutex);
    generation = g_journalGeneration.load(std::memory_order_relaxed);
    depth = s.depth;
    cut = s.cutLength;
  }
  m_spare.reset(new (std::nothrow) Ring(generation, depth, cut));
  if (m_spare && !m_spare->words) m_spare.reset();
}

void ChangeJournal::Writer::release() {
  m_spare.reset();
  m_draft.reset();
}

SlotHeader* ChangeJournal::Writer::claimSlot() {
  RingPtr& ring = m_journal.m_rings[m_group];
  if (m_spare && (!ring || ring->generation < m_spare->generation)) {
    ring.swap(m_spare);  // the replaced ring is freed after the lock
    m_journal.m_ringGeneration[m_group].store(ring->generation,
                                              std::memory_order_relaxed);
  }
  if (!ring) return nullptr;
  SlotHeader& slot = ring->slot(ring->next);
  ++ring->written;
  if (++ring->next == ring->depth) ring->next = 0;
  slot.sequence =
      m_journal.m_sequence.fetch_add(1, std::memory_order_relaxed) + 1;
  slot.timeUs = m_timeUs;
  return &slot;
}

void ChangeJournal::Writer::record(KovaJournalOperation operation,
                                   std::string_view name,
                                   const ConfigData* pOld,
                                   const ConfigData* pNew, KOVA_RESULT result) {
  SlotHeader* pSlot = claimSlot();
  if (pSlot == nullptr) return;
  fillSlot(*pSlot, m_journal.m_rings[m_group]->cutLength, m_threadId, operation,
           name, pOld, pNew, result);
}

void ChangeJournal::Writer::capture(KovaJournalOperation operation,
                                    std::string_view name,
                                    const ConfigData* pOld,
                                    const ConfigData* pNew) {
  m_draft.reset(new (std::nothrow) Ring(0, 1, kKovaJournalMaxCut));
  if (m_draft && !m_draft->words) m_draft.reset();
  if (m_draft) {
    fillSlot(m_draft->slot(0), kKovaJournalMaxCut, m_threadId, operation, name,
             pOld, pNew, 0);
  }
}

void ChangeJournal::Writer::commit(KOVA_RESULT result) {
  if (!m_draft) return;
  SlotHeader* pSlot = claimSlot();
  if (pSlot == nullptr) return;
  const SlotHeader& draft = m_draft->slot(0);
  const uint32_t cut = m_journal.m_rings[m_group]->cutLength;
  const uint64_t sequence = pSlot->sequence;
  std::memcpy(pSlot, &draft, sizeof(SlotHeader));
  pSlot->sequence = sequence;
  pSlot->timeUs = m_timeUs;
  pSlot->result = result;
  const char* pFrom = reinterpret_cast<const char*>(&draft + 1);
  char* pTo = reinterpret_cast<char*>(pSlot + 1);
  for (int text = 0; text < 3; ++text) {
    std::memcpy(pTo + text * cut, pFrom + text * kKovaJournalMaxCut, cut);
  }
}

void ChangeJournal::copyGroup(KovaConfigGroup group, Copy& out) const {
  const Ring* ring = m_rings[group].get();
  if (ring == nullptr ||
      ring->generation != g_journalGeneration.load(std::memory_order_relaxed))
    return;
  out.slotSize = static_cast<uint32_t>(ring->slotSize());
  out.cutLength = ring->cutLength;
  const uint64_t held = std::min<uint64_t>(ring->written, ring->depth);
  const auto* pBytes =
      reinterpret_cast<const unsigned char*>(ring->words.get());
  out.bytes.assign(pBytes, pBytes + held * ring->slotSize());
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
