#include "kova_config.h"

#include <string_view>
#include <unordered_map>
#include <utility>

#include "ostrel/KovaConfigHelper.h"
#include "support/trace.h"

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
  if (IsRetired()) return;  // the line was written when the store ended
  KOVA_INFO_TRACE("kovaStore::KovaConfig::~KovaConfig"
                  << KOVA_STORE_SUFFIX(m_callId, this));
}

void KovaConfig::retire(ObserverTable::HandlerList& out) {
  m_bRetired.store(true, std::memory_order_relaxed);
  KOVA_INFO_TRACE("kovaStore::KovaConfig::~KovaConfig"
                  << KOVA_STORE_SUFFIX(m_callId, this));
  for (uint32_t group = 0; group < kKovaConfigGroupCount; ++group) {
    m_configs[group].withLock([&] {
      m_configs[group].clear();
      m_readIndex[group].markAllAbsent();
    });
  }
  // The group tables' references first: every handler of the id table was
  // linked into its group table before its id was, so once they are in
  // `out`, dropping the id table's references here destroys no callable.
  handOverObservers(out);
  m_observersById.takeAll();
}

void KovaConfig::traceRefusedAsRetired(const char* szOperation) const noexcept {
  // The trace sink belongs to the host; even its failure stays here.
  try {
    KOVA_WARNING_TRACE(szOperation << ", store destroyed"
                                   << KOVA_STORE_SUFFIX(m_callId, this));
  } catch (...) {
  }
}

KOVA_RESULT KovaConfig::setKovaConfig(KovaConfigGroup group,
                                      const char* szConfigName,
                                      ConfigData& value, bool bForceNotify,
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
  // A change that cannot be made ready for its observers (out of memory, a
  // callback that cannot be copied) is taken back before anyone is told, if
  // no other set has changed the name since. Taking back allocates nothing:
  // what it needs is made, under the table's lock, before the change, and
  // only while the name may have observers.
  ValueIndex::PendingSet restore;
  bool bRestorable = false;
  ChangeJournal::Writer journal(m_journal, group);
  if (bNotifyOnly) {
    atomMap<std::string, ConfigData>::Map::node_type removed;
    ConfigData oldValue;
    values.withLock([&] {
      if (observers.mayObserve(name)) {
        values.visit(name, [&](const ConfigData& current) {
          restore = index.prepareSet(name, current);
        });
        bRestorable = true;
      }
      removed = values.extract(name);
      if (!removed.empty()) oldValue = std::move(removed.mapped());
      index.markAbsent(name);
      if (journal)
        journal.capture(KovaJournal_NotifyOnly, name, &oldValue, &value);
    });
    return finishSet(
        group, journal,
        fireEvents(observers, szConfigName, std::move(oldValue),
                   std::move(value), group, bForceNotify,
                   [&](ConfigData& old, const ConfigData&) {
                     if (!bRestorable || removed.empty()) return;
                     values.withLock([&] {
                       removed.mapped() = std::move(old);
                       // The node keeps its element's address once back
                       // in the table.
                       const ConfigData& restored = removed.mapped();
                       if (values.reinsert(removed)) {
                         index.publish(std::move(restore), restored);
                       }
                     });
                   }));
  }
  // The table takes the caller's value. A copy for the dispatch is made, in
  // the same lock hold and before the table changes, only when an observer
  // or the change trace may read it. Observers are looked for after the
  // store, so a subscriber linked later finds the value at its subscription
  // instead of being told of it. The read index is prepared (allocations)
  // before the table changes and published in the same lock hold. A set that
  // ends here is counted and journaled in that hold too; one that
  // dispatches, once its result is known.
  const bool bTraced = get_external_trace_mask() >= 2;
  bool bDispatch = false;
  bool bSame = false;
  bool bHadValue = false;
  ConfigData newValue;
  ConfigData oldValue = values.exchange(
      name, std::move(value),
      [&](const ConfigData& incoming, const ConfigData* pCurrent) {
        const bool bObserved = observers.mayObserve(name);
        bDispatch = bTraced || bObserved;
        if (bDispatch) newValue = incoming;
        ValueIndex::PendingSet pending = index.prepareSet(name, incoming);
        if (bObserved) {
          bHadValue = pCurrent != nullptr;
          if (bHadValue) restore = index.prepareSet(pending, *pCurrent);
          bRestorable = true;
        }
        return pending;
      },
      [&](ValueIndex::PendingSet& pending, const ConfigData& previous,
          const ConfigData& stored) {
        bSame = previous == stored;
        if (!bSame) index.publish(std::move(pending), stored);
        if (bDispatch) {
          if (journal) {
            journal.capture(KovaJournal_Set, name, &previous, &stored);
          }
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
    return finishSet(
        group, journal,
        fireEvents(observers, szConfigName, std::move(oldValue),
                   std::move(newValue), group, bForceNotify,
                   [&](ConfigData& old, const ConfigData& ours) {
                     if (!bRestorable) return;
                     const auto isOurs = [&ours](const ConfigData& current) {
                       return current == ours;
                     };
                     values.withLock([&] {
                       if (bHadValue) {
                         if (values.replaceIf(name, isOurs, old)) {
                           values.visit(name, [&](const ConfigData& back) {
                             index.publish(std::move(restore), back);
                           });
                         }
                       } else if (values.eraseIf(name, isOurs)) {
                         index.markAbsent(name);
                       }
                     });
                   }));
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

const std::atomic<uint64_t>* KovaConfig::cellOf(KovaConfigGroup group,
                                                std::string_view name) {
  const std::atomic<uint64_t>* cell = nullptr;
  m_configs[group].withLock([&] { cell = m_readIndex[group].cellOf(name); });
  return cell;
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
