// The store's observer registry: registration of subscribers and binders and
// their safe removal.
#include <CmTimer.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>

#include "kova_config.h"
#include "support/trace.h"

namespace kovaStore {

namespace {

// Removal polls the busy count this often while a delivery holds the handler.
constexpr auto kBusyPollInterval = std::chrono::milliseconds(1);
// A removal that has waited this long since its last warning warns again.
constexpr uint64_t kWaitWarningMs = 500;
// A removal gives up waiting after this long and leaves the callables alone.
constexpr uint64_t kWaitLimitMs = 3000;

uint64_t nowMs() { return timer_policy::now() / 1000; }

// The checks and the id taking that subscribing and binding share. A handler
// that passes gets a fresh id and its registration fields, and `name` its
// name; a refused one is traced under `szOperation` and yields 0 without
// consuming an id. An id is consumed by every attempt that passes, also when
// the group table refuses the handler afterwards. The handler is not visible
// to any other thread until it is linked, so its fields are written freely.
uint64_t takeObserverId(const char* szOperation, uint32_t callId,
                        const void* pStore, std::atomic<uint64_t>& nextId,
                        KovaConfigGroup group, const char* szConfigName,
                        const ConfigEventHandlerPtr& handler, bool bProvider,
                        ACmThread* pRunThread, bool bAsync, std::string& name) {
  const bool bHasCallable =
      handler && (bProvider ? static_cast<bool>(handler->m_fnProvider)
                            : static_cast<bool>(handler->m_fnNotify));
  if (!isStorableGroup(group) || szConfigName == nullptr || !bHasCallable ||
      handler->m_nId != 0) {
    KOVA_ERROR_TRACE("kovaStore::KovaConfig::"
                     << szOperation << "Error parameters 0"
                     << KOVA_STORE_SUFFIX(callId, pStore));
    return 0;
  }
  if (szConfigName[0] == '\0') {
    KOVA_ERROR_TRACE("kovaStore::KovaConfig::"
                     << szOperation << "Error parameters"
                     << KOVA_STORE_SUFFIX(callId, pStore));
    return 0;
  }
  name = szConfigName;
  const uint64_t id = ++nextId;
  handler->m_nId = id;
  handler->m_eGroup = group;
  handler->m_strName = name;
  handler->m_nBusyThread.store(0, std::memory_order_relaxed);
  handler->m_pRunThread = pRunThread;
  handler->m_bAsync = bAsync;
  handler->m_nBusy.store(0);
  return id;
}

}  // namespace

uint64_t KovaConfig::SubscribeConfig(KovaConfigGroup group,
                                     const char* szConfigName,
                                     KovaConfigCallback callback,
                                     ACmThread* pRunThread, bool bAsync) {
  auto handler = std::make_shared<ConfigEventHandler>(std::move(callback));
  return subscribeConfig(group, szConfigName, handler, pRunThread, bAsync);
}

uint64_t KovaConfig::BindConfig(KovaConfigGroup group, const char* szConfigName,
                                KovaConfigProvider provider) {
  auto handler = std::make_shared<ConfigEventHandler>(std::move(provider));
  return bindConfig(group, szConfigName, handler);
}

KOVA_RESULT KovaConfig::UnsubscribeConfig(uint64_t id) {
  ConfigEventHandlerPtr handler;
  // The id table is done with before the group table is locked: never two
  // table locks at once.
  if (!m_observersById.find(id, handler) || !m_observersById.erase(id)) {
    KOVA_ERROR_TRACE("kovaStore::KovaConfig::UnsubscribeConfig, id="
                     << static_cast<unsigned long long>(id) << "Failed"
                     << KOVA_THIS_SUFFIX(this));
    return KOVA_E_FAIL;
  }
  return unsubscribeConfig(handler->m_eGroup, handler->m_strName.c_str(),
                           handler);
}

void KovaConfig::handOverObservers(ObserverTable::HandlerList& out) {
  // Every handler in the id table is linked in its group table too; the id
  // table's references go with the store, the group tables' move to `out`.
  for (ObserverTable& table : m_observersByName) table.handOver(out);
}

uint64_t KovaConfig::subscribeConfig(KovaConfigGroup group,
                                     const char* szConfigName,
                                     const ConfigEventHandlerPtr& handler,
                                     ACmThread* pRunThread, bool bAsync) {
  std::string name;
  const uint64_t id =
      takeObserverId("subscribeConfig", m_callId, this, m_nextObserverId, group,
                     szConfigName, handler, false, pRunThread, bAsync, name);
  if (id == 0) return 0;
  const uint32_t threadId = currentThreadId();

  KOVA_INFO_TRACE("kovaStore::KovaConfig::subscribeConfig, "
                  << groupName(group) << ", " << name << ", "
                  << static_cast<unsigned long long>(id)
                  << ", m_TotalObservers=" << m_TotalObservers.load()
                  << ", pRunThread=" << static_cast<const void*>(pRunThread)
                  << ", bAsync=" << static_cast<int>(bAsync)
                  << KOVA_STORE_SUFFIX(m_callId, this));

  // The subscription itself counts as a running delivery until its initial
  // notification is over, so that a removal on another thread waits for it.
  const KOVA_RESULT added =
      m_observersByName[group].addSubscriber(name, handler, [&] {
        ++m_TotalObservers;
        ++handler->m_nBusy;
        handler->m_nBusyThread.store(threadId, std::memory_order_relaxed);
      });
  if (added != KOVA_S_OK) return 0;
  m_counters.add(kCountObserverAdded, group);

  // A subscription that fails from here on (out of memory, or a callback
  // that throws in its initial notification) is withdrawn before the
  // exception goes on: the caller gets no id, so nothing may stay
  // registered.
  try {
    m_observersById.exchange(id, handler);

    ConfigData stored;
    if (m_configs[group].find(name, stored)) {
      KovaConfigEvent event;
      event.configName = name;
      event.newValue = std::move(stored);
      event.group = group;
      event.sessionType = groupToSessionType(group);
      handler->Notify(event, &m_counters);
    }
  } catch (...) {
    handler->releaseClaim(threadId);
    withdraw(group, name, handler);
    throw;
  }

  handler->releaseClaim(threadId);
  return handler->m_nId;
}

void KovaConfig::withdraw(KovaConfigGroup group, const std::string& name,
                          const ConfigEventHandlerPtr& handler) {
  // Neither step allocates; a removal racing this one makes either a no-op.
  const uint64_t id = handler->m_nId;
  ConfigEventHandlerPtr byId;
  if (m_observersById.find(id, byId) && byId == handler) {
    m_observersById.erase(id);
  }
  byId.reset();
  if (m_observersByName[group].remove(
          name, handler, [&] { --m_TotalObservers; }) == KOVA_S_OK) {
    m_counters.add(kCountObserverRemoved, group);
    waitUntilIdle(name.c_str(), handler);
  }
}

uint64_t KovaConfig::bindConfig(KovaConfigGroup group, const char* szConfigName,
                                const ConfigEventHandlerPtr& handler) {
  std::string name;
  const uint64_t id =
      takeObserverId("bindConfig", m_callId, this, m_nextObserverId, group,
                     szConfigName, handler, true, nullptr, false, name);
  if (id == 0) return 0;

  KOVA_INFO_TRACE("kovaStore::KovaConfig::bindConfig, "
                  << groupName(group) << ", " << name << ", "
                  << static_cast<unsigned long long>(id)
                  << ", m_TotalObservers=" << m_TotalObservers.load()
                  << KOVA_STORE_SUFFIX(m_callId, this));

  if (m_observersByName[group].addBinder(name, handler) != KOVA_S_OK) {
    handler->m_nId = 0;
    return 0;
  }
  ++m_TotalObservers;
  m_counters.add(kCountObserverAdded, group);
  try {
    m_observersById.exchange(id, handler);
  } catch (...) {
    withdraw(group, name, handler);
    throw;
  }
  return id;
}

KOVA_RESULT KovaConfig::unsubscribeConfig(
    KovaConfigGroup group, const char* szConfigName,
    const ConfigEventHandlerPtr& handler) {
  if (!handler) return KOVA_E_INVALIDARG;
  if (!isStorableGroup(group) || szConfigName == nullptr) {
    KOVA_ERROR_TRACE("kovaStore::KovaConfig::unsubscribeConfigError parameters"
                     << KOVA_STORE_SUFFIX(m_callId, this));
    return KOVA_E_INVALIDARG;
  }
  KOVA_INFO_TRACE("kovaStore::KovaConfig::unsubscribeConfig, "
                  << groupName(group) << ", " << szConfigName << ", "
                  << static_cast<unsigned long long>(handler->m_nId)
                  << ", m_TotalObservers=" << m_TotalObservers.load()
                  << KOVA_STORE_SUFFIX(m_callId, this));

  const KOVA_RESULT removed =
      m_observersByName[group].remove(szConfigName, handler, [&] {
        --m_TotalObservers;
        const uint32_t busyThread =
            handler->m_nBusyThread.load(std::memory_order_relaxed);
        if (busyThread == 0) return;
        const uint32_t threadId = currentThreadId();
        if (busyThread != threadId) {
          KOVA_ERROR_TRACE(
              "kovaStore::KovaConfig::unsubscribeConfig::<lambda_1>::operator "
              "(), Other thread remove itself when notification, "
              << szConfigName << ", " << busyThread << ", "
              << static_cast<unsigned long long>(handler->m_nId) << ", "
              << threadId << KOVA_STORE_SUFFIX(m_callId, this));
        } else {
          KOVA_ERROR_TRACE(
              "kovaStore::KovaConfig::unsubscribeConfig::<lambda_1>::operator "
              "(), Same thread remove itself when notification, "
              << szConfigName << ", " << busyThread << ", "
              << static_cast<unsigned long long>(handler->m_nId)
              << KOVA_STORE_SUFFIX(m_callId, this));
        }
      });
  if (removed != KOVA_S_OK) return removed;
  m_counters.add(kCountObserverRemoved, group);
  waitUntilIdle(szConfigName, handler);
  return KOVA_S_OK;
}

void KovaConfig::waitUntilIdle(const char* szConfigName,
                               const ConfigEventHandlerPtr& handler) {
  // Unlinked under the group lock: no new delivery can claim the handler, and
  // every earlier claim shows in m_nBusy. Wait for those to be given back.
  const uint64_t startMs = nowMs();
  uint64_t lastWarningMs = startMs;
  while (handler->m_nBusy.load() > 0) {
    std::this_thread::sleep_for(kBusyPollInterval);
    const uint64_t now = nowMs();
    if (now - lastWarningMs > kWaitWarningMs) {
      KOVA_WARNING_TRACE("kovaStore::KovaConfig::unsubscribeConfig, "
                         << szConfigName << " Waiting for long time..."
                         << KOVA_THIS_SUFFIX(this));
      lastWarningMs = now;
    }
    // Still held, most likely by this thread's own delivery: leave the
    // callables in place rather than wait for ever.
    if (now - startMs > kWaitLimitMs) {
      m_counters.add(kCountRemovalTimedOut, handler->m_eGroup);
      return;
    }
  }
  // No delivery holds the handler any more: its callables die here, on the
  // removing thread.
  handler->m_fnNotify = nullptr;
  handler->m_fnProvider = nullptr;
}

}  // namespace kovaStore
