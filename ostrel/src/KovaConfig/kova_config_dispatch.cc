// The store's dispatch: changes to the name's subscribers, dynamic queries to
// the name's provider.
#include <optional>
#include <string_view>

#include "kova_config.h"
#include "trace.h"

namespace kovaStore {

namespace {

// One pass over a name's observers. The list is copied and the taking-part
// handlers are claimed in one hold of the group lock; `deliver` then runs for
// each claimed handler, in list order, with no lock held, and each claim is
// given back right after its delivery returns. If `deliver` throws, the
// remaining claims stay taken, as removal expects of a failed delivery.
template <class Deliver>
void deliverToObservers(ObserverTable& table, std::string_view name,
                        bool bProviders, uint32_t threadId,
                        ObserverTable::MultipleClaimStep onMultiple,
                        Deliver&& deliver) {
  if (name.empty()) return;
  DeliverySnapshot snapshot;
  table.snapshotAndClaim(name, bProviders, threadId, onMultiple, snapshot);
  for (const DeliverySlot& slot : snapshot) {
    // Unclaimed handlers may be emptied by a removal at any moment: never
    // look at them outside the lock.
    if (!slot.bClaimed) continue;
    deliver(*slot.handler);
    slot.handler->releaseClaim(threadId);
  }
}

}  // namespace

KOVA_RESULT KovaConfig::fireEvents(ObserverTable& table,
                                   const char* szConfigName,
                                   ConfigData oldValue, ConfigData newValue,
                                   KovaConfigGroup group, bool bForceNotify) {
  if (!isStorableGroup(group) || szConfigName == nullptr) {
    KOVA_ERROR_TRACE("kovaStore::KovaConfig::fireEventsError parameters"
                     << KOVA_STORE_SUFFIX(m_callId, this));
    return KOVA_E_INVALIDARG;
  }
  const uint32_t threadId = currentThreadId();
  if (!bForceNotify && oldValue == newValue) return KOVA_E_UNCHANGED;
  KOVA_INFO_TRACE("kovaStore::KovaConfig::fireEvents, "
                  << groupName(group) << ", " << szConfigName << ", "
                  << oldValue.ToString() << " -> " << newValue.ToString()
                  << ", bForceNotify=" << static_cast<int>(bForceNotify)
                  << KOVA_STORE_SUFFIX(m_callId, this));

  // Built for the first claimed handler and shared by every later direct
  // delivery; only hand-overs to another thread copy it. A name nobody
  // observes costs no event.
  std::optional<KovaConfigEvent> event;
  int nReached = 0;
  deliverToObservers(
      table, szConfigName, false, threadId,
      [&](const ConfigEventHandler& handler, uint32_t busyThread) {
        KOVA_WARNING_TRACE(
            "kovaStore::KovaConfig::fireEvents::<lambda_1>::operator (), "
            "fireEvents Multiple notification, "
            << handler.m_strName << ", " << busyThread << ", "
            << static_cast<unsigned long long>(handler.m_nId) << ", "
            << threadId << KOVA_STORE_SUFFIX(m_callId, this));
      },
      [&](ConfigEventHandler& handler) {
        if (!event) {
          event.emplace();
          event->configName = szConfigName;
          event->oldValue = std::move(oldValue);
          event->newValue = std::move(newValue);
          event->group = group;
          event->sessionType = groupToSessionType(group);
        }
        if (handler.Notify(*event, &m_counters)) ++nReached;
      });

  if (nReached > 0) {
    KOVA_INFO_TRACE("kovaStore::KovaConfig::fireEvents, "
                    << groupName(group) << ", " << szConfigName
                    << ", nObservers=" << nReached
                    << KOVA_STORE_SUFFIX(m_callId, this));
    return KOVA_S_OK;
  }
  return KOVA_E_NOOBSERVER;
}

KOVA_RESULT KovaConfig::invokeEvent(ObserverTable& table,
                                    const char* szConfigName,
                                    ConfigData& result, ConfigData paramValue,
                                    KovaConfigGroup group) {
  if (!isStorableGroup(group) || szConfigName == nullptr) {
    KOVA_ERROR_TRACE("kovaStore::KovaConfig::invokeEventError parameters"
                     << KOVA_STORE_SUFFIX(m_callId, this));
    return KOVA_E_INVALIDARG;
  }
  const uint32_t threadId = currentThreadId();
  KOVA_INFO_TRACE("kovaStore::KovaConfig::invokeEvent, "
                  << groupName(group) << ", " << szConfigName
                  << KOVA_STORE_SUFFIX(m_callId, this));

  KovaConfigEvent event;
  event.configName = szConfigName;
  event.paramValue = std::move(paramValue);
  event.group = group;
  event.sessionType = groupToSessionType(group);

  // Only the first provider is asked; any further one is only counted.
  int nCallees = 0;
  deliverToObservers(
      table, event.configName, true, threadId,
      [&](const ConfigEventHandler& handler, uint32_t busyThread) {
        KOVA_WARNING_TRACE(
            "kovaStore::KovaConfig::invokeEvent::<lambda_1>::operator (), "
            "invokeEvent Multiple notification, "
            << handler.m_strName << ", " << busyThread << ", "
            << static_cast<unsigned long long>(handler.m_nId) << ", "
            << threadId << KOVA_STORE_SUFFIX(m_callId, this));
      },
      [&](ConfigEventHandler& handler) {
        if (nCallees == 0) {
          m_counters.add(kCountProviderCall, group);
          result = handler.Invoke(event);
        }
        ++nCallees;
      });

  if (nCallees > 1) {
    KOVA_ERROR_TRACE("kovaStore::KovaConfig::invokeEvent, Bind too much, , "
                     << groupName(group) << ", " << event.configName
                     << ", nCallees=" << nCallees
                     << KOVA_STORE_SUFFIX(m_callId, this));
  }
  return nCallees == 0 ? KOVA_E_NOOBSERVER : KOVA_S_OK;
}

}  // namespace kovaStore
