#include "config_event_handler.h"

#include <CmThread.h>
#include <CmTimer.h>
#include <KovaResult.h>

#include <algorithm>

#include "host_boundary.h"
#include "support/block_cache.h"
#include "support/trace.h"
#include "switch_thread_event.h"

namespace kovaStore {

namespace {

// A callback or provider slower than this is reported.
constexpr uint64_t kSlowCallMs = 100;

// Milliseconds between two readings of the util clock, each reading cut to
// whole milliseconds on its own; 0 when the clock went backwards.
uint64_t elapsedMs(uint64_t startUs, uint64_t endUs) {
  const uint64_t startMs = startUs / 1000;
  const uint64_t endMs = endUs / 1000;
  return endMs > startMs ? endMs - startMs : 0;
}

// The cost in milliseconds of a call that began at `start` when it is above
// kSlowCallMs, else 0. Most calls are quick, and two counter reads rule them
// out; the cost of a slow one is what two now() readings give (see
// slow_call_timer). elapsedMs() exceeds kSlowCallMs only when the end is more
// than kSlowCallMs after the start (each reading is cut to whole
// milliseconds on its own), so calls up to that long need no cost.
uint64_t slowCallCostMs(const slow_call_timer::Start& start,
                        slow_call_timer::Start* pNext = nullptr) {
  uint64_t startUs = 0;
  uint64_t endUs = 0;
  if (!slow_call_timer::mayExceed(start, kSlowCallMs * 1000, startUs, endUs,
                                  pNext)) {
    return 0;
  }
  const uint64_t cost = elapsedMs(startUs, endUs);
  return cost > kSlowCallMs ? cost : 0;
}

}  // namespace

uint32_t currentThreadId() { return static_cast<uint32_t>(GetThreadSelfId()); }

void HandOverDisposer::operator()(CSwitchThreadEvent* pEvent) const {
  pEvent->OnDestorySelf();
}

namespace {

// Blocks of hand-over events waiting to be used again; a burst of posts
// beyond this many in flight frees the rest. Constant-initialised, and never
// destroyed: events may be disposed of during static destruction.
BlockCache<sizeof(CSwitchThreadEvent), 1024> g_handOverBlocks;

// Frees the cached blocks when the library unloads.
struct HandOverBlocksAtUnload {
  ~HandOverBlocksAtUnload() { g_handOverBlocks.Close(); }
} g_handOverBlocksAtUnload;

}  // namespace

void* CSwitchThreadEvent::operator new(std::size_t size) {
  if (size == sizeof(CSwitchThreadEvent)) {
    if (void* block = g_handOverBlocks.Take()) return block;
  }
  return ::operator new(size);
}

void CSwitchThreadEvent::operator delete(void* p, std::size_t size) noexcept {
  if (p == nullptr) return;
  if (size != sizeof(CSwitchThreadEvent) || !g_handOverBlocks.Give(p)) {
    ::operator delete(p);
  }
}

HandOverPtr ConfigEventHandler::prepareThreadHandOver(
    const KovaConfigEvent& event) const {
  if (m_pRunThread->GetEventQueue() == nullptr) return nullptr;
  if (!m_bAsync && m_pRunThread->GetThreadId() == GetThreadSelfId()) {
    return nullptr;
  }
  return HandOverPtr(new CSwitchThreadEvent(event, m_fnNotify));
}

namespace {

// Lowers a handler's level when a delivery ends, also by an exception.
class LevelScope {
 public:
  explicit LevelScope(std::atomic<uint32_t>& level)
      : m_level(level), m_value(++level) {}
  ~LevelScope() { --m_level; }
  LevelScope(const LevelScope&) = delete;
  LevelScope& operator=(const LevelScope&) = delete;
  uint32_t value() const { return m_value; }

 private:
  std::atomic<uint32_t>& m_level;
  const uint32_t m_value;
};

}  // namespace

bool ConfigEventHandler::Notify(const KovaConfigEvent& event,
                                HandOverPtr prepared, DeliveryTally* pTally,
                                slow_call_timer::Start* pChain) {
  if (!m_fnNotify) return false;
  const auto count = [pTally](StoreCounter counter) {
    if (pTally != nullptr) pTally->add(counter);
  };
  slow_call_timer::Start start;
  {
    LevelScope level(m_nLevel);
    if (level.value() > 1) {
      KOVA_WARNING_TRACE("kovaStore::ConfigEventHandler::Notify, level="
                         << level.value() << ", " << event.configName << ", "
                         << static_cast<int>(event.group)
                         << KOVA_THIS_SUFFIX(this));
    }
    // A delivery that follows another of the same change at once starts
    // from that one's end reading, unless a line was written in between.
    start = pChain != nullptr && pChain->ticks != 0 && level.value() == 1
                ? *pChain
                : slow_call_timer::start();
    if (m_pRunThread == nullptr) {
      count(kCountDeliveredDirect);
      callObserver(m_fnNotify, event);
    } else if (ICmEventQueue* queue = m_pRunThread->GetEventQueue()) {
      if (!m_bAsync && m_pRunThread->GetThreadId() == GetThreadSelfId()) {
        prepared.reset();
        count(kCountDeliveredDirect);
        callObserver(m_fnNotify, event);
      } else if (m_bAsync) {
        const int posted = handOver(*queue, event, std::move(prepared));
        count(posted == CM_OK ? kCountDeliveredPosted : kCountPostRefused);
      } else {
        const int sent = handOver(*queue, event, std::move(prepared));
        count(sent == CM_ERROR_NOT_INITIALIZED ? kCountSendRefused
                                               : kCountDeliveredSent);
      }
    } else {
      prepared.reset();
      count(kCountNoQueue);
      KOVA_ERROR_TRACE("kovaStore::ConfigEventHandler::Notify, m_pRunThread="
                       << static_cast<const void*>(m_pRunThread)
                       << ", EventQueue == NULL" << KOVA_THIS_SUFFIX(this));
    }
  }
  const uint64_t cost = slowCallCostMs(start, pChain);
  if (cost > 0) {
    KOVA_WARNING_TRACE("kovaStore::ConfigEventHandler::Notify, "
                       << event.configName << ", "
                       << static_cast<int>(event.group)
                       << ", cost=" << static_cast<unsigned long long>(cost)
                       << "ms" << KOVA_THIS_SUFFIX(this));
  }
  return true;
}

int ConfigEventHandler::handOver(ICmEventQueue& queue,
                                 const KovaConfigEvent& event,
                                 HandOverPtr prepared) {
  // A queue refuses an event only when it cannot store it (CM_ERROR_FAILURE;
  // a stopped queue answers otherwise): the copy is made again once.
  int answer = CM_ERROR_FAILURE;
  for (int attempt = 0; attempt < 2; ++attempt) {
    if (!prepared) prepared.reset(new CSwitchThreadEvent(event, m_fnNotify));
    if (m_bAsync) {
      // The queue owns the event from here, whatever the post returns.
      answer = queue.PostEvent(prepared.release(), 128, 0);
      if (answer != CM_ERROR_FAILURE) return answer;
    } else {
      bool bFired = false;
      prepared->NoteFiredIn(&bFired);
      // A callback that threw on the run thread also fails the send.
      answer = queue.SendEvent(prepared.release(), 0);
      if (answer != CM_ERROR_FAILURE || bFired) return answer;
    }
  }
  return answer;
}

ConfigData ConfigEventHandler::Invoke(const KovaConfigEvent& event) {
  ConfigData result;
  if (!m_fnProvider) return result;
  slow_call_timer::Start start;
  {
    LevelScope level(m_nLevel);
    if (level.value() > 1) {
      KOVA_WARNING_TRACE("kovaStore::ConfigEventHandler::Invoke, level="
                         << level.value() << ", " << event.configName << ", "
                         << static_cast<int>(event.group)
                         << KOVA_THIS_SUFFIX(this));
    }
    start = slow_call_timer::start();
    result = callObserver(m_fnProvider, event);
  }
  const uint64_t cost = slowCallCostMs(start);
  if (cost > 0) {
    KOVA_WARNING_TRACE("kovaStore::ConfigEventHandler::Invoke, "
                       << event.configName << ", "
                       << static_cast<int>(event.group)
                       << ", cost=" << static_cast<unsigned long long>(cost)
                       << "ms" << KOVA_THIS_SUFFIX(this));
  }
  return result;
}

uint32_t ConfigEventHandler::claim(uint32_t threadId) {
  ++m_nBusy;
  // Only claimers under the group lock write a thread id, so the load and
  // the store below cannot interleave with another claim.
  const uint32_t holder = m_nBusyThread.load(std::memory_order_relaxed);
  if (holder != 0) return holder;
  m_nBusyThread.store(threadId, std::memory_order_relaxed);
  return 0;
}

KOVA_RESULT ObserverTable::addSubscriber(std::string_view name,
                                         const ConfigEventHandlerPtr& handler,
                                         InLockStep step) {
  if (name.empty() || !handler) return KOVA_E_INVALIDARG;
  RecursiveMutexLock lock(m_mutex);
  auto it = m_observers.find(name);
  if (it != m_observers.end()) {
    const HandlerList& list = it->second;
    if (std::find(list.begin(), list.end(), handler) != list.end())
      return KOVA_S_FALSE;
  } else {
    it = m_observers.emplace(std::string(name), HandlerList()).first;
    m_namesInBucket[bucketOf(name)].fetch_add(1, std::memory_order_release);
    m_bHasNames.store(true, std::memory_order_release);
  }
  it->second.push_back(handler);
  step();
  return KOVA_S_OK;
}

KOVA_RESULT ObserverTable::addBinder(std::string_view name,
                                     const ConfigEventHandlerPtr& handler) {
  if (name.empty() || !handler) return KOVA_E_INVALIDARG;
  RecursiveMutexLock lock(m_mutex);
  auto it = m_observers.find(name);
  if (it != m_observers.end()) {
    for (const ConfigEventHandlerPtr& present : it->second) {
      if (present == handler || present->m_fnProvider) return KOVA_S_FALSE;
    }
  } else {
    it = m_observers.emplace(std::string(name), HandlerList()).first;
    m_namesInBucket[bucketOf(name)].fetch_add(1, std::memory_order_release);
    m_bHasNames.store(true, std::memory_order_release);
  }
  it->second.push_back(handler);
  return KOVA_S_OK;
}

KOVA_RESULT ObserverTable::remove(std::string_view name,
                                  const ConfigEventHandlerPtr& handler,
                                  InLockStep step) {
  if (name.empty() || !handler) return KOVA_E_INVALIDARG;
  RecursiveMutexLock lock(m_mutex);
  auto it = m_observers.find(name);
  if (it == m_observers.end()) return KOVA_S_FALSE;
  HandlerList& list = it->second;
  auto entry = std::find(list.begin(), list.end(), handler);
  if (entry == list.end()) return KOVA_S_FALSE;
  list.erase(entry);
  step();
  // Every walk of a list happens under this lock and copies what it needs,
  // so the entry can go at once.
  if (list.empty()) {
    m_observers.erase(it);
    m_namesInBucket[bucketOf(name)].fetch_sub(1, std::memory_order_release);
  }
  return KOVA_S_OK;
}

void ObserverTable::snapshotAndClaim(std::string_view name, bool bProviders,
                                     uint32_t threadId,
                                     MultipleClaimStep onMultiple,
                                     DeliverySnapshot& snapshot) {
  if (!mayObserve(name)) return;
  RecursiveMutexLock lock(m_mutex);
  auto it = m_observers.find(name);
  if (it == m_observers.end()) return;
  snapshot.reserve(it->second.size());
  for (const ConfigEventHandlerPtr& handler : it->second) {
    // A linked handler has not been emptied, so its callables may be read
    // here; once the lock is left only claimed handlers are safe to read.
    const bool bTakesPart = bProviders
                                ? static_cast<bool>(handler->m_fnProvider)
                                : static_cast<bool>(handler->m_fnNotify);
    snapshot.push_back(DeliverySlot{handler, bTakesPart, nullptr});
    if (!bTakesPart) continue;
    const uint32_t holder = handler->claim(threadId);
    if (holder != 0) onMultiple(*handler, holder);
  }
}

void ObserverTable::handOver(HandlerList& out) {
  RecursiveMutexLock lock(m_mutex);
  for (auto& entry : m_observers) {
    out.splice(out.end(), entry.second);
    m_namesInBucket[bucketOf(entry.first)].fetch_sub(1,
                                                     std::memory_order_release);
  }
  m_observers.clear();
}

size_t ObserverTable::nameCount() {
  RecursiveMutexLock lock(m_mutex);
  return m_observers.size();
}

}  // namespace kovaStore
