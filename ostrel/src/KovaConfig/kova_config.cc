#include "kova_config.h"

#include <string_view>
#include <unordered_map>
#include <utility>

#include "KovaConfigHelper.h"
#include "trace.h"

namespace kovaStore {

namespace {

// The toggle id of a name of group "Feature", or -1.
int toggleIndexOf(std::string_view name) {
  static const std::unordered_map<std::string_view, int> indexes = [] {
    std::unordered_map<std::string_view, int> byName;
    for (uint32_t id = 0; id < kKovaFeatureToggleCount; ++id) {
      byName.emplace(KovaConfigHelper::GetFeatureToggleName(
                         static_cast<KovaFeatureToggleID>(id)),
                     static_cast<int>(id));
    }
    return byName;
  }();
  const auto it = indexes.find(name);
  return it == indexes.end() ? -1 : it->second;
}

}  // namespace

KovaConfig::KovaConfig(uint32_t callId) : m_callId(callId) {
  m_counters.countJournalBy(&m_journal.entryCount());
  m_readIndex[KovaConfigGroup_Feature].setPins(&toggleIndexOf,
                                               kKovaFeatureToggleCount);
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
    m_counters.add(kCountSetInvalidArg, group);
    return KOVA_E_INVALIDARG;
  }
  if (szConfigName[0] == '\0') {
    m_counters.add(kCountSetInvalidArg, group);
    return KOVA_E_INVALIDARG;
  }

  const std::string_view name(szConfigName);
  ObserverTable& observers = m_observersByName[group];
  atomMap<std::string, ConfigData>& values = m_configs[group];
  ValueIndex& index = m_readIndex[group];
  ChangeJournal::Writer journal(m_journal, group);
  if (bNotifyOnly) {
    ConfigData oldValue;
    values.withLock([&] {
      oldValue = values.remove(name);
      index.markAbsent(name);
      if (journal)
        journal.capture(KovaJournal_NotifyOnly, name, &oldValue, &value);
    });
    return finishSet(group, journal,
                     fireEvents(observers, szConfigName, std::move(oldValue),
                                std::move(value), group, bForceNotify));
  }
  // The table takes the caller's value. A copy for the dispatch is made, in
  // the same lock hold, only when an observer or the change trace may read
  // it. Observers are looked for after the store, so a subscriber linked
  // later finds the value at its subscription instead of being told of it.
  // The read index is prepared (allocations) before the table changes and
  // published in the same lock hold. A set that ends here is counted and
  // journaled in that hold too; one that dispatches, once its result is
  // known.
  const bool bTraced = get_external_trace_mask() >= 2;
  bool bDispatch = false;
  bool bSame = false;
  ConfigData newValue;
  ConfigData oldValue = values.exchange(
      name, std::move(value),
      [&](const ConfigData& incoming) {
        return index.prepareSet(name, incoming);
      },
      [&](ValueIndex::PendingSet& pending, const ConfigData& previous,
          const ConfigData& stored) {
        bSame = previous == stored;
        if (!bSame) index.publish(std::move(pending));
        bDispatch = bTraced || observers.mayHaveObservers();
        if (bDispatch) {
          newValue = stored;
          if (journal)
            journal.capture(KovaJournal_Set, name, &previous, &stored);
          return;
        }
        const bool bUnchanged = !bForceNotify && bSame;
        m_counters.addInGroupLock(
            group, bUnchanged ? kCountSetUnchanged : kCountSetNoObserver);
        if (journal) {
          journal.record(KovaJournal_Set, name, &previous, &stored,
                         bUnchanged ? KOVA_E_UNCHANGED : KOVA_E_NOOBSERVER);
        }
      });
  if (bDispatch) {
    return finishSet(group, journal,
                     fireEvents(observers, szConfigName, std::move(oldValue),
                                std::move(newValue), group, bForceNotify));
  }
  return !bForceNotify && bSame ? KOVA_E_UNCHANGED : KOVA_E_NOOBSERVER;
}

KOVA_RESULT KovaConfig::finishSet(KovaConfigGroup group,
                                  ChangeJournal::Writer& journal,
                                  KOVA_RESULT result) {
  m_counters.addSet(result, group);
  if (journal) {
    m_configs[group].withLock([&] { journal.commit(result); });
  }
  return result;
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
  const std::string_view name(szConfigName);
  bool bErased = false;
  ChangeJournal::Writer journal(m_journal, group);
  m_configs[group].withLock([&] {
    ConfigData old;
    if (journal) m_configs[group].find(name, old);
    bErased = m_configs[group].erase(name);
    if (bErased) m_readIndex[group].markAbsent(name);
    if (journal) {
      journal.record(KovaJournal_Remove, name, &old, nullptr, KOVA_S_OK);
    }
  });
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
  ChangeJournal::Writer journal(m_journal, group);
  m_configs[group].withLock([&] {
    m_configs[group].clear();
    m_readIndex[group].markAllAbsent();
    if (journal) {
      journal.record(KovaJournal_RemoveGroup, {}, nullptr, nullptr, KOVA_S_OK);
    }
  });
  KOVA_INFO_TRACE("kovaStore::KovaConfig::RemoveKovaConfigByGroup, "
                  << groupName(group) << ", size=" << size
                  << KOVA_STORE_SUFFIX(m_callId, this));
  return KOVA_S_OK;
}

}  // namespace kovaStore
