#include "config_event_handler.h"

#include <algorithm>

#include "CmThread.h"
#include "CmTimer.h"
#include "host_boundary.h"
#include "switch_thread_event.h"
#include "trace.h"

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

}  // namespace

uint32_t currentThreadId() { return static_cast<uint32_t>(GetThreadSelfId()); }

bool ConfigEventHandler::Notify(const KovaConfigEvent& event,
                                StoreCounters* pCounters) {
  if (!m_fnNotify) return false;
  const auto count = [pCounters, &event](StoreCounter counter) {
    if (pCounters != nullptr) pCounters->add(counter, event.group);
  };
  const uint32_t level = ++m_nLevel;
  if (level > 1) {
    KOVA_WARNING_TRACE("kovaStore::ConfigEventHandler::Notify, level="
                       << level << ", " << event.configName << ", "
                       << static_cast<int>(event.group)
                       << KOVA_THIS_SUFFIX(this));
  }
  const uint64_t start = timer_policy::now();
  if (m_pRunThread == nullptr) {
    count(kCountDeliveredDirect);
    callObserver(m_fnNotify, event);
  } else if (ICmEventQueue* queue = m_pRunThread->GetEventQueue()) {
    if (m_bAsync) {
      // The queue owns the event from here, whatever the post returns.
      const int posted =
          queue->PostEvent(new CSwitchThreadEvent(event, m_fnNotify), 128, 0);
      count(posted == CM_OK ? kCountDeliveredPosted : kCountPostRefused);
    } else if (m_pRunThread->GetThreadId() == GetThreadSelfId()) {
      count(kCountDeliveredDirect);
      callObserver(m_fnNotify, event);
    } else {
      const int sent =
          queue->SendEvent(new CSwitchThreadEvent(event, m_fnNotify), 0);
      count(sent == CM_ERROR_NOT_INITIALIZED ? kCountSendRefused
                                             : kCountDeliveredSent);
    }
  } else {
    count(kCountNoQueue);
    KOVA_ERROR_TRACE("kovaStore::ConfigEventHandler::Notify, m_pRunThread="
                     << static_cast<const void*>(m_pRunThread)
                     << ", EventQueue == NULL" << KOVA_THIS_SUFFIX(this));
  }
  --m_nLevel;
  const uint64_t cost = elapsedMs(start, timer_policy::now());
  if (cost > kSlowCallMs) {
    KOVA_WARNING_TRACE("kovaStore::ConfigEventHandler::Notify, "
                       << event.configName << ", "
                       << static_cast<int>(event.group)
                       << ", cost=" << static_cast<unsigned long long>(cost)
                       << "ms" << KOVA_THIS_SUFFIX(this));
  }
  return true;
}

ConfigData ConfigEventHandler::Invoke(const KovaConfigEvent& event) {
  ConfigData result;
  if (!m_fnProvider) return result;
  const uint32_t level = ++m_nLevel;
  if (level > 1) {
    KOVA_WARNING_TRACE("kovaStore::ConfigEventHandler::Invoke, level="
                       << level << ", " << event.configName << ", "
                       << static_cast<int>(event.group)
                       << KOVA_THIS_SUFFIX(this));
  }
  const uint64_t start = timer_policy::now();
  result = callObserver(m_fnProvider, event);
  --m_nLevel;
  const uint64_t cost = elapsedMs(start, timer_policy::now());
  if (cost > kSlowCallMs) {
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

void ConfigEventHandler::releaseClaim(uint32_t threadId) {
  uint32_t expected = threadId;
  m_nBusyThread.compare_exchange_strong(expected, 0, std::memory_order_relaxed);
  // The last access to the callables happens before this decrement, which
  // removal waits for before it empties them.
  --m_nBusy;
}

KOVA_RESULT ObserverTable::addSubscriber(std::string_view name,
                                         const ConfigEventHandlerPtr& handler,
                                         InLockStep step) {
  if (name.empty() || !handler) return KOVA_E_INVALIDARG;
  std::lock_guard<std::recursive_mutex> lock(m_mutex);
  auto it = m_observers.find(name);
  if (it != m_observers.end()) {
    const HandlerList& list = it->second;
    if (std::find(list.begin(), list.end(), handler) != list.end())
      return KOVA_S_FALSE;
  } else {
    it = m_observers.emplace(std::string(name), HandlerList()).first;
    m_bHasNames.store(true, std::memory_order_release);
  }
  it->second.push_back(handler);
  step();
  return KOVA_S_OK;
}

KOVA_RESULT ObserverTable::addBinder(std::string_view name,
                                     const ConfigEventHandlerPtr& handler) {
  if (name.empty() || !handler) return KOVA_E_INVALIDARG;
  std::lock_guard<std::recursive_mutex> lock(m_mutex);
  auto it = m_observers.find(name);
  if (it != m_observers.end()) {
    for (const ConfigEventHandlerPtr& present : it->second) {
      if (present == handler || present->m_fnProvider) return KOVA_S_FALSE;
    }
  } else {
    it = m_observers.emplace(std::string(name), HandlerList()).first;
    m_bHasNames.store(true, std::memory_order_release);
  }
  it->second.push_back(handler);
  return KOVA_S_OK;
}

KOVA_RESULT ObserverTable::remove(std::string_view name,
                                  const ConfigEventHandlerPtr& handler,
                                  InLockStep step) {
  if (name.empty() || !handler) return KOVA_E_INVALIDARG;
  std::lock_guard<std::recursive_mutex> lock(m_mutex);
  auto it = m_observers.find(name);
  if (it == m_observers.end()) return KOVA_S_FALSE;
  HandlerList& list = it->second;
  auto entry = std::find(list.begin(), list.end(), handler);
  if (entry == list.end()) return KOVA_S_FALSE;
  list.erase(entry);
  step();
  // Every walk of a list happens under this lock and copies what it needs,
  // so the entry can go at once.
  if (list.empty()) m_observers.erase(it);
  return KOVA_S_OK;
}

void ObserverTable::snapshotAndClaim(std::string_view name, bool bProviders,
                                     uint32_t threadId,
                                     MultipleClaimStep onMultiple,
                                     DeliverySnapshot& snapshot) {
  if (!m_bHasNames.load(std::memory_order_acquire)) return;
  std::lock_guard<std::recursive_mutex> lock(m_mutex);
  auto it = m_observers.find(name);
  if (it == m_observers.end()) return;
  snapshot.reserve(snapshot.size() + it->second.size());
  for (const ConfigEventHandlerPtr& handler : it->second) {
    // A linked handler has not been emptied, so its callables may be read
    // here; once the lock is left only claimed handlers are safe to read.
    const bool bTakesPart = bProviders
                                ? static_cast<bool>(handler->m_fnProvider)
                                : static_cast<bool>(handler->m_fnNotify);
    snapshot.push_back(DeliverySlot{handler, bTakesPart});
    if (!bTakesPart) continue;
    const uint32_t holder = handler->claim(threadId);
    if (holder != 0) onMultiple(*handler, holder);
  }
}

void ObserverTable::handOver(HandlerList& out) {
  std::lock_guard<std::recursive_mutex> lock(m_mutex);
  for (auto& entry : m_observers) out.splice(out.end(), entry.second);
  m_observers.clear();
}

size_t ObserverTable::nameCount() {
  std::lock_guard<std::recursive_mutex> lock(m_mutex);
  return m_observers.size();
}

}  // namespace kovaStore
