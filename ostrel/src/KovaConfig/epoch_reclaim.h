// Epoch-based reclamation: lets a writer free memory that lock-free readers
// may still be reading, once none of them can be.
//
//   Reader:                            Writer (after unlinking `p`):
//     EpochGuard guard;                  p->stamp = EpochRetireStamp();
//     q = shared.load(seq_cst);          ... later, any time:
//     use(*q);                           if (p->stamp < EpochOldestReader())
//   }  // guard released                   delete p;
//
// Invariants:
// - A reader announces itself before it loads a shared pointer: the guard
//   stores the global epoch it read into the thread's record (seq_cst), and
//   clears it (release) when the guard ends. Records are never freed and are
//   reused: a record that no thread owns is adopted by the next thread that
//   opens a guard.
// - A record belongs to one thread from its adoption until that thread's last
//   guard has closed, so no two threads ever update one record. A thread
//   hands its record back when its thread-local clean-up runs (or, if a guard
//   is open then, when that guard closes). A guard opened after that, by
//   another thread-local destructor that still reads, adopts a record for its
//   own span and hands it back as it closes. So every open guard is announced
//   in a record of its own thread, and every record is left with nothing
//   announced once its thread has closed its guards: no announcement outlives
//   its reader, and reclamation never stops for good.
// - A writer unlinks an object with a seq_cst store and only then takes its
//   stamp, a seq_cst increment of the global epoch that returns the old value.
//   A reader that can still hold the object announced an epoch no higher than
//   that stamp; a reader that announces later loads after the unlink and
//   cannot find the object. So an object is freed only when its stamp is below
//   every announced epoch, which EpochOldestReader() bounds from below.
// - Guards nest on one thread; only the outermost announces. They must not
//   be held across a wait: a held guard delays every reclamation.
//
// Portable: std::atomic and thread_local only; no operating-system call. The
// per-thread state that a late destructor reads is trivially destructible, so
// it stays readable until the thread is gone.
#ifndef OSTREL_SRC_KOVACONFIG_EPOCH_RECLAIM_H_
#define OSTREL_SRC_KOVACONFIG_EPOCH_RECLAIM_H_

#include <cstdint>

namespace kovaStore {

struct EpochRecord;

// Announces the calling thread as a reader for the guard's lifetime.
class EpochGuard {
 public:
  EpochGuard();
  ~EpochGuard();
  EpochGuard(const EpochGuard&) = delete;
  EpochGuard& operator=(const EpochGuard&) = delete;

 private:
  EpochRecord* m_record;
};

// The stamp of an object just unlinked (by a seq_cst store): it may be freed
// once the stamp is below EpochOldestReader().
uint64_t EpochRetireStamp();

// The lowest epoch that a reader has announced and not yet cleared; the
// highest uint64_t value when no reader is inside a guard.
uint64_t EpochOldestReader();

}  // namespace kovaStore

#endif  // OSTREL_SRC_KOVACONFIG_EPOCH_RECLAIM_H_
