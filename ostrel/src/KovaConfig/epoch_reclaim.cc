#include "epoch_reclaim.h"

#include <algorithm>
#include <atomic>
#include <limits>

namespace kovaStore {

// One per thread that has read under a guard; never freed, reused.
struct alignas(64) EpochRecord {
  // The epoch announced by the owning thread; 0 while it reads nothing.
  std::atomic<uint64_t> announced{0};
  // Whether a live thread owns the record.
  std::atomic<bool> owned{true};
  // Guards open on the owning thread; touched by that thread only.
  int depth = 0;
  // Next record of the list; fixed once the record is published.
  EpochRecord* next = nullptr;
};

namespace {

// Starts at 1: an announced epoch is never 0.
std::atomic<uint64_t> g_epoch{1};
// Every record ever made, newest first; only ever grows.
std::atomic<EpochRecord*> g_records{nullptr};

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

// Hands the thread's record back when the thread ends.
struct RecordOwner {
  EpochRecord* record = nullptr;
  ~RecordOwner() {
    if (record != nullptr)
      record->owned.store(false, std::memory_order_release);
  }
};

thread_local RecordOwner t_owner;

}  // namespace

EpochGuard::EpochGuard() {
  RecordOwner& owner = t_owner;
  if (owner.record == nullptr) owner.record = adoptRecord();
  m_record = owner.record;
  if (m_record->depth++ == 0) {
    m_record->announced.store(g_epoch.load(std::memory_order_seq_cst),
                              std::memory_order_seq_cst);
  }
}

EpochGuard::~EpochGuard() {
  if (--m_record->depth == 0) {
    m_record->announced.store(0, std::memory_order_release);
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
