// ConfigEventHandler: one registered observer of a configuration name, and
// ObserverTable: the observers of one group of a store, by name.
//
// A handler is either a subscriber (m_fnNotify set), told of every change of
// its name, or a binder (m_fnProvider set), asked for dynamic values. It is
// always held by std::shared_ptr: the store's tables, deliveries in progress
// and the observer helper each hold their own reference.
//
// Life of a handler: created (id 0, group -1) -> registered (id, group and
// name set, linked in its group table and the store's id table) -> unlinked
// (still held by running deliveries) -> emptied (both callables destroyed
// once no delivery holds it) -> destroyed with its last reference.
//
// Removal protocol: every delivery claims the handler (m_nBusy + 1) while it
// holds the group table's lock, and removal unlinks it under the same lock;
// so once removal has unlocked, no new delivery can claim the handler and
// every earlier claim shows in m_nBusy. Removal then waits for m_nBusy to
// drop to 0 before emptying the callables.
#ifndef OSTREL_SRC_KOVACONFIG_CONFIG_EVENT_HANDLER_H_
#define OSTREL_SRC_KOVACONFIG_CONFIG_EVENT_HANDLER_H_

#include <atomic>
#include <cstdint>
#include <list>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "ConfigData.h"
#include "IKovaConfig.h"
#include "KovaConfigEvent.h"
#include "KovaConfigTypes.h"

class ACmThread;

namespace kovaStore {

class ConfigEventHandler {
 public:
  ConfigEventHandler() = default;
  explicit ConfigEventHandler(KovaConfigCallback fnNotify)
      : m_fnNotify(std::move(fnNotify)) {}
  explicit ConfigEventHandler(KovaConfigProvider fnProvider)
      : m_fnProvider(std::move(fnProvider)) {}
  ConfigEventHandler(const ConfigEventHandler&) = delete;
  ConfigEventHandler& operator=(const ConfigEventHandler&) = delete;

  // Delivers a change: directly when there is no run thread, else by a
  // blocking hand-over to the run thread's queue, or by a posted copy when
  // m_bAsync. False only when the handler has no callback.
  bool Notify(const KovaConfigEvent& event);
  // Asks the provider on the calling thread; the invalid value when the
  // handler has no provider.
  ConfigData Invoke(const KovaConfigEvent& event);

  // The fields below are set by the store while the handler is not yet
  // linked into any table (or, for the observer helper's own records, under
  // that helper's rules); the claim fields follow the removal protocol.
  KovaConfigCallback m_fnNotify;
  uint64_t m_nId = 0;
  KovaConfigGroup m_eGroup = KovaConfigGroup_Undefined;
  std::string m_strName;
  // Notify/Invoke calls currently inside this handler.
  std::atomic<uint32_t> m_nLevel{0};
  // Deliveries that have claimed this handler and not yet released it.
  std::atomic<int32_t> m_nBusy{0};
  // The thread holding the first current claim, 0 when none. Written by the
  // first claimer under the group table's lock, cleared without the lock only
  // by the thread that finds its own id in it; atomic so that the readers
  // under the lock never race with that clear.
  std::atomic<uint32_t> m_nBusyThread{0};
  // The thread the subscriber wants to be called on; null: the caller's.
  ACmThread* m_pRunThread = nullptr;
  bool m_bAsync = false;
  KovaConfigProvider m_fnProvider;
};

typedef std::shared_ptr<ConfigEventHandler> ConfigEventHandlerPtr;

// The observers of one group, by name. A name's list keeps registration
// order, which is also delivery order. One recursive mutex guards the map and
// every list; it is never held while a callable runs.
class ObserverTable {
 public:
  typedef std::list<ConfigEventHandlerPtr> HandlerList;

  ObserverTable() = default;
  ObserverTable(const ObserverTable&) = delete;
  ObserverTable& operator=(const ObserverTable&) = delete;

  // The table primitives (add subscriber, add binder, remove, snapshot) are
  // implemented next to the store operations that use them.

  std::recursive_mutex m_mutex;  // guards m_observers and every list in it
  std::map<std::string, HandlerList, std::less<>> m_observers;
};

}  // namespace kovaStore

#endif  // OSTREL_SRC_KOVACONFIG_CONFIG_EVENT_HANDLER_H_
