// The store's dispatch: changes to the name's subscribers, dynamic queries to
// the name's provider.
#include <new>
#include <string>
#include <string_view>

#include "kova_config.h"
#include "support/trace.h"

namespace kovaStore {

namespace {

// One pass over a name's observers. The list is copied and the taking-part
// handlers are claimed in one hold of the group lock. `prepare(snapshot)`
// then makes everything the deliveries need; when the copy or `prepare`
// throws, nobody has been told and `onUnprepared()` runs before the
// exception goes on. `deliver` then runs for each claimed handler, in list
// order, with no lock held, and each claim is given back right after its
// delivery returns. However the pass ends (a callback's exception too), every
// claim it took is given back, so no removal waits for it.
template <class Prepare, class Unprepared, class Deliver>
void deliverToObservers(ObserverTable& table, std::string_view name,
                        bool bProviders, uint32_t threadId,
                        ObserverTable::MultipleClaimStep onMultiple,
                        Prepare&& prepare, Unprepared&& onUnprepared,
                        Deliver&& deliver) {
  if (name.empty()) return;
  DeliverySnapshot snapshot;
  // The first slot whose claim (if any) is still held.
  size_t next = 0;
  try {
    try {
      table.snapshotAndClaim(name, bProviders, threadId, onMultiple, snapshot);
      prepare(snapshot);
    } catch (...) {
      onUnprepared();
      throw;
    }
    for (; next < snapshot.size(); ++next) {
      DeliverySlot& slot = snapshot[next];
      // Unclaimed handlers may be emptied by a removal at any moment: never
      // look at them outside the lock.
      if (!slot.bClaimed) continue;
      deliver(slot);
      slot.handler->releaseClaim(threadId);
    }
  } catch (...) {
    for (; next < snapshot.size(); ++next) {
      if (snapshot[next].bClaimed)
        snapshot[next].handler->releaseClaim(threadId);
    }
    throw;
  }
}

// A change's event, built in place when the first handler is claimed, each
// field constructed from its value at once (nothing is cleared or assigned
// twice).
class LazyEvent {
 public:
  LazyEvent() {}
  ~LazyEvent() {
    if (m_bBuilt) get().~KovaConfigEvent();
  }
  LazyEvent(const LazyEvent&) = delete;
  LazyEvent& operator=(const LazyEvent&) = delete;

  explicit operator bool() const { return m_bBuilt; }
  void build(std::string_view name, ConfigData&& oldValue,
             ConfigData&& newValue, KovaConfigGroup group) {
    new (m_room) KovaConfigEvent{std::string(name.data(), name.size()),
                                 std::move(oldValue),
                                 std::move(newValue),
                                 ConfigData(),
                                 group,
                                 groupToSessionType(group)};
    m_bBuilt = true;
  }
  KovaConfigEvent& operator*() { return get(); }
  KovaConfigEvent* operator->() { return &get(); }

 private:
  KovaConfigEvent& get() {
    return *std::launder(reinterpret_cast<KovaConfigEvent*>(m_room));
  }

  alignas(KovaConfigEvent) unsigned char m_room[sizeof(KovaConfigEvent)];
  bool m_bBuilt = false;
};

}  // namespace

KOVA_RESULT KovaConfig::fireEvents(ObserverTable& table,
                                   const char* szConfigName,
                                   ConfigData oldValue, ConfigData newValue,
                                   KovaConfigGroup group, bool bForceNotify,
                                   UndoStep undo) {
  if (!isStorableGroup(group) || szConfigName == nullptr) {
    KOVA_ERROR_TRACE("kovaStore::KovaConfig::fireEventsError parameters"
                     << KOVA_STORE_SUFFIX(m_callId, this));
    return KOVA_E_INVALIDARG;
  }
  const uint32_t threadId = currentThreadId();
  if (!bForceNotify && oldValue == newValue) return KOVA_E_UNCHANGED;
  const std::string_view name(szConfigName);
  // A line that cannot be built (out of memory for the values' text) is
  // dropped: the change itself goes on.
  try {
    KOVA_INFO_TRACE("kovaStore::KovaConfig::fireEvents, "
                    << groupName(group) << ", " << szConfigName << ", "
                    << oldValue.ToString() << " -> " << newValue.ToString()
                    << ", bForceNotify=" << static_cast<int>(bForceNotify)
                    << KOVA_STORE_SUFFIX(m_callId, this));
  } catch (const std::bad_alloc&) {
  }

  // Built once, when a handler was claimed, and shared by every direct
  // delivery; each hand-over to another thread gets its own copy, made with
  // the event before anyone is told. A name nobody observes costs no event.
  LazyEvent event;
  DeliveryTally tally(m_counters, group);
  slow_call_timer::Start clock{0, 0};
  bool bValuesMoved = false;
  int nReached = 0;
  deliverToObservers(
      table, name, false, threadId,
      [&](const ConfigEventHandler& handler, uint32_t busyThread) {
        KOVA_WARNING_TRACE(
            "kovaStore::KovaConfig::fireEvents::<lambda_1>::operator (), "
            "fireEvents Multiple notification, "
            << handler.m_strName << ", " << busyThread << ", "
            << static_cast<unsigned long long>(handler.m_nId) << ", "
            << threadId << KOVA_STORE_SUFFIX(m_callId, this));
      },
      [&](DeliverySnapshot& snapshot) {
        for (DeliverySlot& slot : snapshot) {
          if (!slot.bClaimed) continue;
          if (!event) {
            event.build(name, std::move(oldValue), std::move(newValue), group);
            bValuesMoved = true;
          }
          slot.handOver = slot.handler->prepareHandOver(*event);
        }
      },
      [&] {
        // Nobody has been told: the change is taken back.
        if (bValuesMoved) {
          undo(event->oldValue, event->newValue);
        } else {
          undo(oldValue, newValue);
        }
      },
      [&](DeliverySlot& slot) {
        if (slot.handler->Notify(*event, std::move(slot.handOver), &tally,
                                 &clock)) {
          ++nReached;
        }
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
      [](DeliverySnapshot&) {}, [] {},
      [&](DeliverySlot& slot) {
        if (nCallees == 0) {
          m_counters.add(kCountProviderCall, group);
          result = slot.handler->Invoke(event);
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
