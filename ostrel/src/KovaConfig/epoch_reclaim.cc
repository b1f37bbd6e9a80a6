#include "epoch_reclaim.h"

#include <algorithm>
#include <atomic>
#include <limits>

namespace kovaStore {

// One per thread that has read under a guard; never freed, reused.
struct alignas(64) EpochRecord {
  // The epoch announced by the owning thread; 0 while it reads nothing.
  std::atomic<uint64_t> announced{0};
  // Whether a thread owns the record.
  std::atomic<bool> owned{true};
  // Guards open on the owning thread; touched by that thread only.
  int depth = 0;
  // Hand the record back when the outermost guard closes: set, by the owning
  // thread, once its thread-local clean-up has run.
  bool bHandBack = false;
  // Next record of the list; fixed once the record is published.
  EpochRecord* next = nullptr;
};

namespace {

// Starts at 1: an announced epoch is never 0.
std::atomic<uint64_t> g_epoch{1};
// Every record ever made, newest first; only ever grows.
std::atomic<EpochRecord*> g_records{nullptr};

// The calling thread's record while it owns one. Trivially destructible, as
// is t_bCleanedUp: both stay readable by thread-local destructors that run
// after RecordOwner's.
thread_local EpochRecord* t_record = nullptr;
// Set when the thread's RecordOwner has been destroyed: from then on a record
// is owned only while a guard is open.
thread_local bool t_bCleanedUp = false;

EpochRecord* adoptRecord() {
  for (EpochRecord* record = g_records.load(std::memory_order_acquire);
       record != nullptr; record = record->next) {
    bool owned = false;
    if (!record->owned.load(std::memory_order_relaxed) &&
        record->owned.compare_exchange_strong(owned, true,
                                              std::memory_order_acquire)) {
      return record;
    }
  }
  EpochRecord* record = new EpochRecord;
  EpochRecord* head = g_records.load(std::memory_order_relaxed);
  do {
    record->next = head;
  } while (!g_records.compare_exchange_weak(
      head, record, std::memory_order_release, std::memory_order_relaxed));
  return record;
}

// REQUIRES: the record is the calling thread's and no guard is open on it.
void handBack(EpochRecord* record) {
  record->bHandBack = false;
  t_record = nullptr;
  record->owned.store(false, std::memory_order_release);
}

// Hands the thread's record back at the thread's clean-up. Destroyed in
// reverse order of construction among the thread's thread-local objects, so
// objects made before the thread's first guard are destroyed after it.
struct RecordOwner {
  bool bRegistered = false;
  ~RecordOwner() {
    t_bCleanedUp = true;
    EpochRecord* record = t_record;
    if (record == nullptr) return;
    if (record->depth == 0) {
      handBack(record);
    } else {
      record->bHandBack = true;
    }
  }
};

thread_local RecordOwner t_owner;

#if defined(__GNUC__)
__attribute__((noinline))
#endif
EpochRecord*
attachRecord() {
  EpochRecord* record = adoptRecord();
  if (t_bCleanedUp) {
    // A late destructor: the record is owned for this guard's span only.
    record->bHandBack = true;
  } else {
    t_owner.bRegistered = true;  // registers the owner's destructor
  }
  t_record = record;
  return record;
}

}  // namespace

EpochGuard::EpochGuard() {
  EpochRecord* record = t_record;
  if (record == nullptr) record = attachRecord();
  m_record = record;
  if (record->depth++ == 0) {
    record->announced.store(g_epoch.load(std::memory_order_seq_cst),
                            std::memory_order_seq_cst);
  }
}

EpochGuard::~EpochGuard() {
  EpochRecord* record = m_record;
  if (--record->depth == 0) {
    record->announced.store(0, std::memory_order_release);
    if (record->bHandBack) handBack(record);
  }
}

uint64_t EpochRetireStamp() {
  return g_epoch.fetch_add(1, std::memory_order_seq_cst);
}

uint64_t EpochOldestReader() {
  uint64_t oldest = std::numeric_limits<uint64_t>::max();
  for (EpochRecord* record = g_records.load(std::memory_order_acquire);
       record != nullptr; record = record->next) {
    const uint64_t announced =
        record->announced.load(std::memory_order_seq_cst);
    if (announced != 0) oldest = std::min(oldest, announced);
  }
  return oldest;
}

}  // namespace kovaStore
