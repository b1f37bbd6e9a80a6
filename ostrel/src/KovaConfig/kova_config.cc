#include "kova_config.h"

#include <string_view>
#include <utility>

#include "trace.h"

namespace kovaStore {

KovaConfig::KovaConfig(uint32_t callId) : m_callId(callId) {
  KOVA_INFO_TRACE("kovaStore::KovaConfig::KovaConfig"
                  << KOVA_STORE_SUFFIX(m_callId, this));
}

KovaConfig::~KovaConfig() {
  KOVA_INFO_TRACE("kovaStore::KovaConfig::~KovaConfig"
                  << KOVA_STORE_SUFFIX(m_callId, this));
}

KOVA_RESULT KovaConfig::SetKovaConfig(KovaConfigGroup group,
                                      const char* szConfigName,
                                      ConfigData value, bool bForceNotify,
                                      bool bNotifyOnly) {
  if (!isStorableGroup(group) || szConfigName == nullptr || !value.IsValid()) {
    KOVA_ERROR_TRACE("kovaStore::KovaConfig::SetKovaConfigError parameters"
                     << KOVA_STORE_SUFFIX(m_callId, this));
    return KOVA_E_INVALIDARG;
  }
  if (szConfigName[0] == '\0') return KOVA_E_INVALIDARG;

  const std::string_view name(szConfigName);
  ObserverTable& observers = m_observersByName[group];
  if (bNotifyOnly) {
    return fireEvents(observers, szConfigName, m_configs[group].remove(name),
                      std::move(value), group, bForceNotify);
  }
  // The table takes the caller's value. A copy for the dispatch is made, in
  // the same lock hold, only when an observer or the change trace may read
  // it. Observers are looked for after the store, so a subscriber linked
  // later finds the value at its subscription instead of being told of it.
  const bool bTraced = get_external_trace_mask() >= 2;
  bool bDispatch = false;
  bool bSame = false;
  ConfigData newValue;
  ConfigData oldValue = m_configs[group].exchange(
      name, std::move(value),
      [&](const ConfigData& previous, const ConfigData& stored) {
        bSame = previous == stored;
        bDispatch = bTraced || observers.mayHaveObservers();
        if (bDispatch) newValue = stored;
      });
  if (bDispatch) {
    return fireEvents(observers, szConfigName, std::move(oldValue),
                      std::move(newValue), group, bForceNotify);
  }
  return !bForceNotify && bSame ? KOVA_E_UNCHANGED : KOVA_E_NOOBSERVER;
}

KOVA_RESULT KovaConfig::GetKovaConfig(KovaConfigGroup group,
                                      const char* szConfigName,
                                      ConfigData& value) {
  if (!isStorableGroup(group) || szConfigName == nullptr ||
      szConfigName[0] == '\0') {
    return KOVA_E_INVALIDARG;
  }
  if (m_configs[group].find(std::string_view(szConfigName), value)) {
    return KOVA_S_OK;
  }
  value.SetInvalid();
  return KOVA_E_FAIL;
}

KOVA_RESULT KovaConfig::GetDynamicConfig(KovaConfigGroup group,
                                         const char* szConfigName,
                                         ConfigData& value,
                                         ConfigData paramValue) {
  if (!isStorableGroup(group) || szConfigName == nullptr) {
    KOVA_ERROR_TRACE("kovaStore::KovaConfig::GetDynamicConfigError parameters"
                     << KOVA_STORE_SUFFIX(m_callId, this));
    return KOVA_E_INVALIDARG;
  }
  if (szConfigName[0] == '\0') return KOVA_E_INVALIDARG;
  return invokeEvent(m_observersByName[group], szConfigName, value,
                     std::move(paramValue), group);
}

KOVA_RESULT KovaConfig::RemoveKovaConfig(KovaConfigGroup group,
                                         const char* szConfigName) {
  if (!isStorableGroup(group) || szConfigName == nullptr ||
      szConfigName[0] == '\0') {
    return KOVA_E_INVALIDARG;
  }
  const bool bErased = m_configs[group].erase(std::string_view(szConfigName));
  KOVA_INFO_TRACE("kovaStore::KovaConfig::RemoveKovaConfig, "
                  << groupName(group) << ", " << szConfigName << ", ret="
                  << (bErased ? 1 : 0) << KOVA_STORE_SUFFIX(m_callId, this));
  return KOVA_S_OK;
}

KOVA_RESULT KovaConfig::RemoveKovaConfigByGroup(KovaConfigGroup group) {
  if (!isStorableGroup(group)) return KOVA_E_INVALIDARG;
  // Size and clear are two lock holds: values set in between are cleared but
  // not counted.
  const uint32_t size = m_configs[group].size();
  m_configs[group].clear();
  KOVA_INFO_TRACE("kovaStore::KovaConfig::RemoveKovaConfigByGroup, "
                  << groupName(group) << ", size=" << size
                  << KOVA_STORE_SUFFIX(m_callId, this));
  return KOVA_S_OK;
}

}  // namespace kovaStore
