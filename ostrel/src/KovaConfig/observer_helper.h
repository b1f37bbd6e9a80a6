// KovaConfigObserverHelper: the bookkeeping of the observers that one client
// (a KovaConfigHelper) registers, so that one can be removed by name or by id
// and all of them together when the client goes away.
//
//   KovaConfigObserverHelper observers;        // detached
//   observers.SubscribeConfig(group, "Name", fn, nullptr, false);
//                                              // 0: only remembered
//   observers.AttachConfig(store);             // registers it now
//   ...
//   observers.DetachConfig();                  // removes it from the store
//
// Ownership: the owning client creates and deletes the helper. The helper
// refers to at most one store through IKovaConfig and never owns it: the
// owner keeps its own registry reference for as long as the store is
// attached, and detaches (or deletes the helper) before giving it back.
//
// Records: each remembered observer is a ConfigEventHandler used only as a
// container (the client's callable, name, group, delivery settings and the
// store's id, 0 until the store accepted it). The store builds its own
// handler from a copy of the callable.
//
// Threads: every operation may run on any thread, several at once. Each step
// takes at most one lock of this class and the store is always called with no
// lock of this class held. AttachConfig and DetachConfig are the owner's: it
// must not run them concurrently with each other.
#ifndef OSTREL_SRC_KOVACONFIG_OBSERVER_HELPER_H_
#define OSTREL_SRC_KOVACONFIG_OBSERVER_HELPER_H_

#include <atomic>
#include <cstdint>
#include <string>

#include "atom_map.h"
#include "config_event_handler.h"
#include "config_groups.h"
#include "config_registry.h"
#include "ostrel/IKovaConfig.h"
#include "ostrel/KovaConfigTypes.h"
#include "support/mutex.h"

class ACmThread;

namespace kovaStore {

class KovaConfigObserverHelper {
 public:
  KovaConfigObserverHelper();
  // Removes every observer the attached store accepted (UnsubscribeAll)
  // before the tables go, so a deleted client leaves no observer behind.
  virtual ~KovaConfigObserverHelper();
  KovaConfigObserverHelper(const KovaConfigObserverHelper&) = delete;
  KovaConfigObserverHelper& operator=(const KovaConfigObserverHelper&) = delete;

  // Remembers the subscription and, when a store is attached, registers it
  // there. Returns the store's observer id; 0 when the arguments are bad
  // (null or empty name, group outside 0 to 11, empty callback), when the
  // name is already remembered in this group, when the store refuses (the
  // name is then forgotten) or when no store is attached (the observer is
  // remembered and registered by the next attach).
  uint64_t SubscribeConfig(KovaConfigGroup group, const char* szConfigName,
                           KovaConfigCallback callback, ACmThread* pRunThread,
                           bool bAsync) EXCLUDES(m_recordMutex);
  // The same for a value provider.
  uint64_t BindConfig(KovaConfigGroup group, const char* szConfigName,
                      KovaConfigProvider provider) EXCLUDES(m_recordMutex);

  // Forgets the accepted observer and removes it from the attached store
  // (whose own result is ignored; it may wait for a running delivery). The
  // client's callable is destroyed on this thread. KOVA_E_FAIL for an id that
  // is not remembered, 0 included.
  KOVA_RESULT UnsubscribeConfig(uint64_t id) EXCLUDES(m_recordMutex);
  // The same by name: KOVA_E_INVALIDARG for a null name or a group outside
  // 0 to 11, KOVA_E_FAIL when the name is not remembered or was never
  // accepted by a store.
  KOVA_RESULT UnsubscribeConfig(const char* szConfigName, KovaConfigGroup group)
      EXCLUDES(m_recordMutex);

  // Registers every remembered observer with the attached store, group by
  // group in name order; each gets a fresh record under its new id. An
  // observer that cannot be registered (refused, out of memory, its callback
  // threw in its initial notification) is forgotten and the others are
  // still registered; false when any was not. The first exception a
  // callback threw is then passed on to the caller.
  bool ResubscribeAll() EXCLUDES(m_recordMutex);
  // Removes every accepted observer from the store and forgets it, in
  // ascending id order. Observers never accepted stay remembered.
  void UnsubscribeAll() EXCLUDES(m_recordMutex);

  // Attaches `pConfig`, obtained in store generation `generation` (see
  // config_registry.h), when no store is attached, then registers every
  // remembered observer with it (ResubscribeAll, whose answer it returns);
  // does nothing (true) when a store is attached already or `pConfig` is
  // null.
  bool AttachConfig(IKovaConfig* pConfig, uint64_t generation)
      EXCLUDES(m_recordMutex);
  // True while an observer is remembered (accepted by the store or not).
  bool HasRemembered() const;
  // Removes every accepted observer from the store and detaches it; does
  // nothing while detached.
  void DetachConfig() EXCLUDES(m_recordMutex);
  // The attached store; null while detached.
  IKovaConfig* GetConfig() const { return m_pConfig.load(); }
  // The attached store while it is alive: null while detached and once
  // DestroyKovaConfig() has destroyed it. Costs one relaxed atomic load
  // beyond GetConfig(). Every use of the store goes through it, so a helper
  // that outlives its store only forgets its observers.
  IKovaConfig* LiveConfig() const {
    IKovaConfig* pConfig = m_pConfig.load();
    return pConfig != nullptr && m_generation == storeGeneration() ? pConfig
                                                                   : nullptr;
  }

 private:
  typedef atomMap<std::string, ConfigEventHandlerPtr> NameTable;

  // What SubscribeConfig and BindConfig share: the argument check (traced
  // with `szError`), finding or making the name's record, remembering it and
  // registering it with an attached store. `fill(record)` runs under
  // m_recordMutex and takes the client's callable into the record, or returns
  // false when the record holds one of that kind already;
  // `registerWith(pConfig)` hands a copy to the store and returns its id.
  template <typename Fill, typename Register>
  uint64_t observe(KovaConfigGroup group, const char* szConfigName,
                   bool bHasCallable, const char* szError, Fill&& fill,
                   Register&& registerWith) EXCLUDES(m_recordMutex);
  // Records the store's answer `id` for a remembered record: accepted ids
  // are remembered, a refusal (0) forgets the name. An id that cannot be
  // remembered (out of memory) is removed from the store again and the
  // exception goes on: the helper never leaves an observer it cannot
  // remove.
  uint64_t registerRecord(KovaConfigGroup group, const char* szConfigName,
                          const ConfigEventHandlerPtr& record, uint64_t id)
      EXCLUDES(m_recordMutex);
  // Erases the name entry of a record the store did not accept, if the name
  // table still holds that very record.
  void forgetRefused(KovaConfigGroup group, const char* szConfigName,
                     const ConfigEventHandlerPtr& record);
  // Empties the callables of `record` and erases its name entry, if the name
  // table still holds that very record.
  void forgetName(const ConfigEventHandlerPtr& record) EXCLUDES(m_recordMutex);
  // The name's remembered record, a new one when absent, or null when the
  // name is already accepted by the store.
  ConfigEventHandlerPtr recordFor(KovaConfigGroup group,
                                  const char* szConfigName)
      EXCLUDES(m_recordMutex);

  // Accepted records by the id their store returned.
  atomMap<uint64_t, ConfigEventHandlerPtr> m_observersById;
  // Every remembered record by name, one table per group 0 to 11.
  NameTable m_observersByName[kKovaConfigGroupCount];
  // The attached store, not owned; set and cleared only by the owner through
  // AttachConfig/DetachConfig, read by every operation.
  std::atomic<IKovaConfig*> m_pConfig;
  // The store generation m_pConfig was obtained in; written by AttachConfig
  // before it publishes m_pConfig.
  uint64_t m_generation = 0;
  // Guards the mutable fields of every record here (callables, run thread,
  // async flag, id). Never held while a table lock is taken, the store is
  // called or a callable is destroyed: the functions that do any of these
  // exclude it. The fields live in records that the store reads under its
  // own rules, so they carry no GUARDED_BY.
  mutable Mutex m_recordMutex;
};

// A client helper's store `pConfig` while it is alive: the observer
// bookkeeping is attached to the store whenever the helper holds one and
// knows the generation it was obtained in, so once DestroyKovaConfig() has
// destroyed it the helper behaves as a helper without a store. Every use of
// the helper's store goes through here.
inline IKovaConfig* liveStore(IKovaConfig* pConfig,
                              const KovaConfigObserverHelper* pObserverHelper) {
  if (pConfig == nullptr || pObserverHelper == nullptr) return nullptr;
  return pObserverHelper->LiveConfig() == pConfig ? pConfig : nullptr;
}

}  // namespace kovaStore

#endif  // OSTREL_SRC_KOVACONFIG_OBSERVER_HELPER_H_
