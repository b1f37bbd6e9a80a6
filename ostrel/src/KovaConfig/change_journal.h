// ChangeJournal: the last changes made to one store, kept when the host asks
// for it (process-wide or for this store), read as a copy.
//
//   ChangeJournal::Writer writer(journal, group);  // before the table lock
//   values.withLock([&] {                          // the group's table lock
//     ... change the table ...
//     if (writer) writer.record(KovaJournal_Set, name, &old, &new, result);
//   });
//
// Invariants:
// - One ring per group, holding that group's newest entries (at most the
//   depth); the store's journal is the newest `depth` entries of the twelve
//   rings by sequence. A ring is read and written only under its group's
//   value-table lock, so a set that records adds no lock and no wait; the
//   only shared step is the store's sequence (one relaxed fetch_add).
// - Memory is bounded: at most 12 rings per store, each depth entries of a
//   fixed header and three texts of the cut length, allocated before the
//   table lock is taken and freed after it is released.
// - Settings carry a generation. A ring made under an older generation is
//   not read and is replaced, emptied, by the next write to its group: a
//   change of depth or cut length empties every journal without visiting
//   the stores.
// - Readers take one group's table lock at a time (never two) and copy the
//   ring's bytes; entries are expanded after the lock is released.
#ifndef OSTREL_SRC_KOVACONFIG_CHANGE_JOURNAL_H_
#define OSTREL_SRC_KOVACONFIG_CHANGE_JOURNAL_H_

#include <CmTimer.h>
#include <ConfigData.h>

#include <atomic>
#include <cstdint>
#include <memory>
#include <string_view>
#include <vector>

#include "config_groups.h"
#include "ostrel/KovaIntrospection.h"

namespace kovaStore {

// The process-wide settings (KovaJournalSettings without its size).
struct JournalLimits {
  uint32_t depth;
  uint32_t cutLength;
  bool bAllStores;
};
JournalLimits journalLimits();
// False (nothing changed) for a depth or cut length out of range.
bool setJournalLimits(const JournalLimits& limits);
// Every store journals while this is set (the all-stores switch).
extern std::atomic<bool> g_journalAllStores;
// The settings' generation: grows with every change of depth or cut length.
extern std::atomic<uint64_t> g_journalGeneration;

// The calling thread's id as trace lines print it, fetched once per thread.
uint32_t fetchJournalThreadId();
inline uint32_t journalThreadId() {
  thread_local uint32_t t_id = 0;
  if (t_id == 0) t_id = fetchJournalThreadId();
  return t_id;
}

struct SlotHeader;

class ChangeJournal {
 public:
  struct Ring;
  struct RingDeleter {
    void operator()(Ring* pRing) const;
  };
  typedef std::unique_ptr<Ring, RingDeleter> RingPtr;
  // A ring's entries copied out under its lock: raw fixed-size slots.
  struct Copy {
    uint32_t slotSize = 0;
    uint32_t cutLength = 0;
    std::vector<unsigned char> bytes;
  };

  ChangeJournal();
  ~ChangeJournal();
  ChangeJournal(const ChangeJournal&) = delete;
  ChangeJournal& operator=(const ChangeJournal&) = delete;

  void setEnabled(bool bEnabled) {
    m_bEnabled.store(bEnabled, std::memory_order_relaxed);
  }
  bool enabled() const {
    return g_journalAllStores.load(std::memory_order_relaxed) ||
           m_bEnabled.load(std::memory_order_relaxed);
  }

  // Records one change of a group, if the journal is on. Made before the
  // group's table lock is taken (it allocates a ring when one is needed);
  // record() then runs under that lock; the writer's destruction, after the
  // lock, frees a replaced ring.
  class Writer {
   public:
    Writer(ChangeJournal& journal, KovaConfigGroup group)
        : m_journal(journal), m_group(group), m_bOn(journal.enabled()) {
      if (!m_bOn) return;
      m_timeUs = GetCoarseWallClockUs();
      m_threadId = journalThreadId();
      if (journal.m_ringGeneration[group].load(std::memory_order_relaxed) !=
          g_journalGeneration.load(std::memory_order_relaxed)) {
        prepareRing();
      }
    }
    ~Writer() {
      if (m_spare || m_draft) release();
    }
    Writer(const Writer&) = delete;
    Writer& operator=(const Writer&) = delete;

    explicit operator bool() const { return m_bOn; }
    // REQUIRES: the group's table lock is held; *this is true. Null values
    // are absent ones.
    void record(KovaJournalOperation operation, std::string_view name,
                const ConfigData* pOld, const ConfigData* pNew,
                KOVA_RESULT result);
    // As record() in two steps, for an operation whose result is known only
    // after the lock was released: capture() under the lock, then commit()
    // under it again. Texts are cut when captured.
    void capture(KovaJournalOperation operation, std::string_view name,
                 const ConfigData* pOld, const ConfigData* pNew);
    void commit(KOVA_RESULT result);

   private:
    void prepareRing();
    void release();
    SlotHeader* claimSlot();

    ChangeJournal& m_journal;
    const KovaConfigGroup m_group;
    const bool m_bOn;
    uint64_t m_timeUs = 0;
    uint32_t m_threadId = 0;
    // A ring made for this write when the group had none of the current
    // generation; after record(), the ring it replaced (or itself, unused).
    RingPtr m_spare;
    // capture()'s entry (one slot of the longest cut), committed later.
    RingPtr m_draft;
  };

  // The number of entries ever written; also the last sequence handed out.
  const std::atomic<uint64_t>& entryCount() const { return m_sequence; }

  // REQUIRES: the group's table lock is held. Appends the ring's entries of
  // the current generation to `out` (nothing when it has none).
  void copyGroup(KovaConfigGroup group, Copy& out) const;
  // The newest `nCapacity` of the journal's entries copied from a store's
  // twelve groups, oldest first; yields the number of entries the journal
  // held (at most the depth).
  static uint32_t expand(uint32_t callId,
                         const Copy (&groups)[kKovaConfigGroupCount],
                         KovaJournalEntry* pEntries, uint32_t nCapacity);

 private:
  std::atomic<bool> m_bEnabled{false};
  std::atomic<uint64_t> m_sequence{0};
  // Each guarded by its group's table lock.
  RingPtr m_rings[kKovaConfigGroupCount];
  // The generation of each group's ring, 0 for none; written under the
  // group's lock, read without it to decide whether a writer needs a ring.
  std::atomic<uint64_t> m_ringGeneration[kKovaConfigGroupCount] = {};
};

}  // namespace kovaStore

#endif  // OSTREL_SRC_KOVACONFIG_CHANGE_JOURNAL_H_
