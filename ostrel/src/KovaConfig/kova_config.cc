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

  // The table keeps its own copy of a stored value; the caller's value then
  // travels on to the observers as the new value.
  const std::string_view name(szConfigName);
  ConfigData oldValue = bNotifyOnly ? m_configs[group].remove(name)
                                    : m_configs[group].exchange(name, value);
  return fireEvents(m_observersByName[group], szConfigName, std::move(oldValue),
                    std::move(value), group, bForceNotify);
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
