// The observer bookkeeping of one client: remembering, registering and
// removing its subscriptions and bindings.
#include "observer_helper.h"

#include <exception>
#include <utility>

#include "host_boundary.h"
#include "support/trace.h"

namespace kovaStore {

KovaConfigObserverHelper::KovaConfigObserverHelper() : m_pConfig(nullptr) {}

KovaConfigObserverHelper::~KovaConfigObserverHelper() { UnsubscribeAll(); }

ConfigEventHandlerPtr KovaConfigObserverHelper::recordFor(
    KovaConfigGroup group, const char* szConfigName) {
  ConfigEventHandlerPtr record;
  if (m_observersByName[group].find(szConfigName, record)) {
    MutexLock lock(m_recordMutex);
    // Accepted through this helper already: a second observer of the same
    // name and group is refused.
    if (record->m_nId != 0) return nullptr;
    return record;
  }
  record = std::make_shared<ConfigEventHandler>();
  record->m_strName = szConfigName;
  record->m_eGroup = group;
  return record;
}

template <typename Fill, typename Register>
uint64_t KovaConfigObserverHelper::observe(KovaConfigGroup group,
                                           const char* szConfigName,
                                           bool bHasCallable,
                                           const char* szError, Fill&& fill,
                                           Register&& registerWith) {
  if (szConfigName == nullptr || szConfigName[0] == '\0' ||
      !isStorableGroup(group) || !bHasCallable) {
    KOVA_ERROR_TRACE(szError << KOVA_THIS_SUFFIX(this));
    return 0;
  }
  ConfigEventHandlerPtr record = recordFor(group, szConfigName);
  if (!record) return 0;
  {
    MutexLock lock(m_recordMutex);
    if (!fill(*record)) return 0;
  }
  // A record found above is remembered already; it keeps the callable it
  // just took and is registered by the next attach.
  if (!m_observersByName[group].insert(szConfigName, record)) return 0;
  IKovaConfig* pConfig = LiveConfig();
  if (pConfig == nullptr) return 0;
  uint64_t id;
  try {
    id = registerWith(pConfig);
  } catch (...) {
    // The store registered nothing (a callback that threw in its initial
    // notification): the name is forgotten as for a refusal.
    registerRecord(group, szConfigName, record, 0);
    throw;
  }
  return registerRecord(group, szConfigName, record, id);
}

uint64_t KovaConfigObserverHelper::SubscribeConfig(KovaConfigGroup group,
                                                   const char* szConfigName,
                                                   KovaConfigCallback callback,
                                                   ACmThread* pRunThread,
                                                   bool bAsync) {
  return observe(
      group, szConfigName, static_cast<bool>(callback),
      "kovaStore::KovaConfigObserverHelper::SubscribeConfigError parameters",
      [&](ConfigEventHandler& record) {
        if (record.m_fnNotify) return false;
        record.m_fnNotify = callback;
        record.m_pRunThread = pRunThread;
        record.m_bAsync = bAsync;
        return true;
      },
      [&](IKovaConfig* pConfig) {
        return pConfig->SubscribeConfig(
            group, szConfigName, std::move(callback), pRunThread, bAsync);
      });
}

uint64_t KovaConfigObserverHelper::BindConfig(KovaConfigGroup group,
                                              const char* szConfigName,
                                              KovaConfigProvider provider) {
  return observe(
      group, szConfigName, static_cast<bool>(provider),
      "kovaStore::KovaConfigObserverHelper::BindConfigError parameters",
      [&](ConfigEventHandler& record) {
        if (record.m_fnProvider) return false;
        record.m_fnProvider = provider;
        return true;
      },
      [&](IKovaConfig* pConfig) {
        return pConfig->BindConfig(group, szConfigName, std::move(provider));
      });
}

uint64_t KovaConfigObserverHelper::registerRecord(
    KovaConfigGroup group, const char* szConfigName,
    const ConfigEventHandlerPtr& record, uint64_t id) {
  {
    MutexLock lock(m_recordMutex);
    record->m_nId = id;
  }
  if (id != 0) {
    try {
      m_observersById.exchange(id, record);
      return id;
    } catch (...) {
      // Not remembered, so never removed by this helper: the store must not
      // keep it either.
      if (IKovaConfig* pConfig = LiveConfig()) pConfig->UnsubscribeConfig(id);
      {
        MutexLock lock(m_recordMutex);
        record->m_nId = 0;
      }
      forgetRefused(group, szConfigName, record);
      throw;
    }
  }
  forgetRefused(group, szConfigName, record);
  return 0;
}

void KovaConfigObserverHelper::forgetRefused(
    KovaConfigGroup group, const char* szConfigName,
    const ConfigEventHandlerPtr& record) {
  // Refused by the store: the name is forgotten here too, unless another
  // thread has replaced the record meanwhile.
  ConfigEventHandlerPtr current;
  if (m_observersByName[group].find(szConfigName, current) &&
      current == record) {
    m_observersByName[group].erase(szConfigName);
  }
}

void KovaConfigObserverHelper::forgetName(const ConfigEventHandlerPtr& record) {
  // Name and group never change once a record is made.
  const KovaConfigGroup group = record->m_eGroup;
  if (!isStorableGroup(group)) return;
  ConfigEventHandlerPtr found;
  if (!m_observersByName[group].find(record->m_strName, found) ||
      found != record) {
    return;
  }
  KovaConfigCallback callback;
  KovaConfigProvider provider;
  {
    MutexLock lock(m_recordMutex);
    if (!found->m_fnNotify && !found->m_fnProvider) return;
    callback.swap(found->m_fnNotify);
    provider.swap(found->m_fnProvider);
  }
  m_observersByName[group].erase(record->m_strName);
  // The client's callables are destroyed here, on this thread, with no lock
  // held: their destructors may call back into this helper.
}

KOVA_RESULT KovaConfigObserverHelper::UnsubscribeConfig(uint64_t id) {
  ConfigEventHandlerPtr record = m_observersById.remove(id);
  if (!record) return KOVA_E_FAIL;
  if (IKovaConfig* pConfig = LiveConfig()) {
    // The observer is forgotten here whatever the store answers.
    pConfig->UnsubscribeConfig(id);
  }
  forgetName(record);
  return KOVA_S_OK;
}

KOVA_RESULT KovaConfigObserverHelper::UnsubscribeConfig(
    const char* szConfigName, KovaConfigGroup group) {
  if (szConfigName == nullptr || !isStorableGroup(group)) {
    KOVA_ERROR_TRACE(
        "kovaStore::KovaConfigObserverHelper::UnsubscribeConfig"
        "Error parameters"
        << KOVA_THIS_SUFFIX(this));
    return KOVA_E_INVALIDARG;
  }
  ConfigEventHandlerPtr record;
  if (!m_observersByName[group].find(szConfigName, record)) {
    KOVA_ERROR_TRACE(
        "kovaStore::KovaConfigObserverHelper::UnsubscribeConfigFailed"
        << KOVA_THIS_SUFFIX(this));
    return KOVA_E_FAIL;
  }
  uint64_t id;
  {
    MutexLock lock(m_recordMutex);
    id = record->m_nId;
  }
  // A record the store never accepted has id 0, which is never remembered
  // by id: it stays remembered and the call fails.
  return UnsubscribeConfig(id);
}

bool KovaConfigObserverHelper::ResubscribeAll() {
  bool bAll = true;
  // The first exception a callback threw in its initial notification; it
  // reaches the caller once every other observer has been registered.
  std::exception_ptr callbackError;
  for (int g = 0; g < kKovaConfigGroupCount; ++g) {
    const KovaConfigGroup group = static_cast<KovaConfigGroup>(g);
    // Taken out in one locked step; a subscribe that comes later finds the
    // table empty and takes the normal path.
    NameTable::Map records = m_observersByName[group].takeAll();
    for (const auto& entry : records) {
      // An observer that cannot be registered (out of memory, refused by the
      // store, its callback threw) is forgotten, and the attach reports it.
      try {
        KovaConfigCallback callback;
        KovaConfigProvider provider;
        ACmThread* pRunThread;
        bool bAsync;
        {
          MutexLock lock(m_recordMutex);
          callback = entry.second->m_fnNotify;
          provider = entry.second->m_fnProvider;
          pRunThread = entry.second->m_pRunThread;
          bAsync = entry.second->m_bAsync;
        }
        // Each call makes a new record under the store's new id; the old
        // record goes with `records`.
        uint64_t id = 0;
        if (callback) {
          id = SubscribeConfig(group, entry.first.c_str(), std::move(callback),
                               pRunThread, bAsync);
        } else if (provider) {
          id = BindConfig(group, entry.first.c_str(), std::move(provider));
        }
        if (id == 0) bAll = false;
      } catch (...) {
        bAll = false;
        if (!isCallableException()) {
          traceCaughtException(
              "kovaStore::KovaConfigObserverHelper::ResubscribeAll", this);
        } else if (!callbackError) {
          callbackError = std::current_exception();
        }
      }
    }
  }
  if (callbackError) {
    try {
      std::rethrow_exception(callbackError);
    } catch (...) {
      // Marked again: a later callback's exception may have replaced the
      // thread's mark meanwhile.
      markCallableException();
      throw;
    }
  }
  return bAll;
}

void KovaConfigObserverHelper::UnsubscribeAll() {
  uint64_t id;
  ConfigEventHandlerPtr first;
  while (m_observersById.first(id, first)) {
    ConfigEventHandlerPtr record = m_observersById.remove(id);
    if (record) {
      if (IKovaConfig* pConfig = LiveConfig()) {
        pConfig->UnsubscribeConfig(id);
      }
      forgetName(record);
    }
    // Whatever another thread did meanwhile, the loop moves past this id.
    m_observersById.erase(id);
  }
}

bool KovaConfigObserverHelper::AttachConfig(IKovaConfig* pConfig,
                                            uint64_t generation) {
  if (pConfig == nullptr || m_pConfig.load() != nullptr) return true;
  m_generation = generation;
  IKovaConfig* expected = nullptr;
  if (!m_pConfig.compare_exchange_strong(expected, pConfig)) return true;
  return ResubscribeAll();
}

bool KovaConfigObserverHelper::HasRemembered() const {
  for (const NameTable& table : m_observersByName) {
    if (table.size() != 0) return true;
  }
  return false;
}

void KovaConfigObserverHelper::DetachConfig() {
  if (m_pConfig.load() == nullptr) return;
  UnsubscribeAll();
  m_pConfig.store(nullptr);
}

}  // namespace kovaStore
