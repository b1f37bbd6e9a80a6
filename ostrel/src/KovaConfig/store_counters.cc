#include "store_counters.h"

#include "support/mutex.h"
#include "support/never_destroyed.h"

namespace kovaStore {

namespace {

// The process-wide list of live counter blocks and what destroyed blocks
// left behind. Never destroyed, so it is still usable by a store destroyed
// while the library unloads, whatever the order of static destruction.
struct CounterList {
  // Guards every field below and the blocks' list links (which, declared
  // with the blocks, cannot name it). A leaf lock.
  Mutex mutex;
  StoreCounters* pHead GUARDED_BY(mutex) = nullptr;
  uint64_t retired[kStoreCounterCount] GUARDED_BY(mutex) = {};
  uint64_t blocksMade GUARDED_BY(mutex) = 0;
  uint64_t blocksDestroyed GUARDED_BY(mutex) = 0;
};
CounterList& counterList() { return NeverDestroyed<CounterList>(); }

void fill(KovaConfigCounters& out, const uint64_t (&v)[kStoreCounterCount]) {
  out.setsOk = v[kCountSetOk];
  out.setsUnchanged = v[kCountSetUnchanged];
  out.setsNoObserver = v[kCountSetNoObserver];
  out.setsInvalidArg = v[kCountSetInvalidArg];
  out.setsFailed = v[kCountSetFailed];
  out.deliveriesDirect = v[kCountDeliveredDirect];
  out.deliveriesSent = v[kCountDeliveredSent];
  out.deliveriesPosted = v[kCountDeliveredPosted];
  out.postsRefused = v[kCountPostRefused];
  out.sendsRefused = v[kCountSendRefused];
  out.deliveriesNoQueue = v[kCountNoQueue];
  out.providerCalls = v[kCountProviderCall];
  out.observersAdded = v[kCountObserverAdded];
  out.observersRemoved = v[kCountObserverRemoved];
  out.removalsTimedOut = v[kCountRemovalTimedOut];
  out.appliesOk = v[kCountApplyOk];
  out.appliesFailed = v[kCountApplyFailed];
  out.dumps = v[kCountDump];
  out.journalEntries = v[kCountJournalEntry];
}

}  // namespace

StoreCounters::StoreCounters() {
  CounterList& list = counterList();
  MutexLock lock(list.mutex);
  m_pNext = list.pHead;
  if (m_pNext != nullptr) m_pNext->m_pPrev = this;
  list.pHead = this;
  ++list.blocksMade;
}

StoreCounters::~StoreCounters() {
  uint64_t values[kStoreCounterCount];
  CounterList& list = counterList();
  MutexLock lock(list.mutex);
  // Read under the lock, so that a total never sees this block both listed
  // and retired, nor neither.
  sum(values);
  for (int i = 0; i < kStoreCounterCount; ++i) list.retired[i] += values[i];
  ++list.blocksDestroyed;
  if (m_pPrev != nullptr) m_pPrev->m_pNext = m_pNext;
  if (m_pNext != nullptr) m_pNext->m_pPrev = m_pPrev;
  if (list.pHead == this) list.pHead = m_pNext;
}

void StoreCounters::sum(uint64_t (&values)[kStoreCounterCount]) const {
  for (uint64_t& value : values) value = 0;
  for (const GroupCounters& part : m_groups) {
    for (int i = 0; i < kStoreCounterCount; ++i) {
      values[i] += part.shared[i].load(std::memory_order_relaxed);
    }
    values[kCountSetUnchanged] +=
        part.inLock[0].load(std::memory_order_relaxed);
    values[kCountSetNoObserver] +=
        part.inLock[1].load(std::memory_order_relaxed);
  }
  if (const std::atomic<uint64_t>* pEntries =
          m_pJournalEntries.load(std::memory_order_acquire)) {
    values[kCountJournalEntry] += pEntries->load(std::memory_order_relaxed);
  }
}

void StoreCounters::read(KovaConfigCounters& out) const {
  uint64_t values[kStoreCounterCount];
  sum(values);
  out.stores = 1;
  out.storesDestroyed = 0;
  fill(out, values);
}

void StoreCounters::readTotals(KovaConfigCounters& out) {
  uint64_t values[kStoreCounterCount];
  CounterList& list = counterList();
  MutexLock lock(list.mutex);
  for (int i = 0; i < kStoreCounterCount; ++i) values[i] = list.retired[i];
  for (const StoreCounters* p = list.pHead; p != nullptr; p = p->m_pNext) {
    uint64_t live[kStoreCounterCount];
    p->sum(live);
    for (int i = 0; i < kStoreCounterCount; ++i) values[i] += live[i];
  }
  out.stores = list.blocksMade;
  out.storesDestroyed = list.blocksDestroyed;
  fill(out, values);
}

}  // namespace kovaStore
