// KovaConfig: the configuration store of one call, the implementation of
// IKovaConfig.
//
// Stores are created only by the store registry (CreateKovaConfig), which
// owns them through std::shared_ptr; callers see IKovaConfig*.
//
// Locks: each of the 12 value tables, each of the 12 per-group observer
// tables and the observer table by id has its own recursive mutex. No
// operation holds two of them at once, and none is held while an observer
// callback or provider runs. The store's own lock, m_dumpMutex, is a leaf:
// it guards the per-thread dump texts and is taken with no other lock held.
#ifndef OSTREL_SRC_KOVACONFIG_KOVA_CONFIG_H_
#define OSTREL_SRC_KOVACONFIG_KOVA_CONFIG_H_

#include <ConfigData.h>

#include <atomic>
#include <cstdint>
#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <thread>

#include "atom_map.h"
#include "change_journal.h"
#include "config_event_handler.h"
#include "config_groups.h"
#include "ostrel/IKovaConfig.h"
#include "store_counters.h"
#include "support/mutex.h"
#include "value_index.h"

namespace json {
class Array;
}

namespace kovaStore {

class KovaConfig : public IKovaConfig {
 public:
  explicit KovaConfig(uint32_t callId);
  ~KovaConfig() override;
  KovaConfig(const KovaConfig&) = delete;
  KovaConfig& operator=(const KovaConfig&) = delete;

  uint64_t SubscribeConfig(KovaConfigGroup group, const char* szConfigName,
                           KovaConfigCallback callback, ACmThread* pRunThread,
                           bool bAsync) override;
  uint64_t BindConfig(KovaConfigGroup group, const char* szConfigName,
                      KovaConfigProvider provider) override;
  KOVA_RESULT UnsubscribeConfig(uint64_t id) override;
  KOVA_RESULT SetKovaConfig(KovaConfigGroup group, const char* szConfigName,
                            ConfigData value, bool bForceNotify,
                            bool bNotifyOnly) override {
    return setKovaConfig(group, szConfigName, value, bForceNotify, bNotifyOnly);
  }
  // Lock-free; defined here so that the guarded store's read folds it in.
  KOVA_RESULT GetKovaConfig(KovaConfigGroup group, const char* szConfigName,
                            ConfigData& value) override {
    if (!isStorableGroup(group) || szConfigName == nullptr) {
      return KOVA_E_INVALIDARG;
    }
    const size_t size = std::strlen(szConfigName);
    if (size == 0) return KOVA_E_INVALIDARG;
    if (m_readIndex[group].read(szConfigName, size, value)) return KOVA_S_OK;
    value.SetInvalid();
    return KOVA_E_FAIL;
  }
  KOVA_RESULT GetDynamicConfig(KovaConfigGroup group, const char* szConfigName,
                               ConfigData& value,
                               ConfigData paramValue) override;
  KOVA_RESULT RemoveKovaConfig(KovaConfigGroup group,
                               const char* szConfigName) override;
  KOVA_RESULT RemoveKovaConfigByGroup(KovaConfigGroup group) override;
  const char* DumpKovaConfigs(uint32_t groups) override;
  KOVA_RESULT ApplyKovaConfigs(const char* szJsonConfig) override;

  // The store behind an interface pointer: every IKovaConfig that the
  // registry hands out is a KovaConfig.
  static KovaConfig* FromInterface(IKovaConfig* pConfig) {
    return static_cast<KovaConfig*>(pConfig);
  }

  // Lock-free reads of feature toggle `index` (0 to 250) in group "Feature",
  // the same answers as GetKovaConfig of its name: present or not, and its
  // value (`value` marked invalid when absent).
  bool HaveFeatureToggle(uint32_t index) const {
    return m_readIndex[KovaConfigGroup_Feature].havePinned(index);
  }
  KOVA_RESULT GetFeatureToggle(uint32_t index, ConfigData& value) const {
    if (m_readIndex[KovaConfigGroup_Feature].readPinned(index, value)) {
      return KOVA_S_OK;
    }
    value.SetInvalid();
    return KOVA_E_FAIL;
  }

  uint32_t GetCallId() const { return m_callId; }
  // The number of observers currently linked into the group tables.
  uint32_t GetTotalObservers() const { return m_TotalObservers.load(); }

  // Moves the group tables' references to the observers to the end of `out`,
  // so that their callables are not destroyed with the store. Allocates
  // nothing. Each group table is emptied in one hold of its lock, so other
  // threads may go on using the store; an observer linked afterwards stays.
  void handOverObservers(ObserverTable::HandlerList& out);

  // Ends the store while pointers to it may still be in use (the registry's
  // destroy-all): writes the destruction line now (the destructor then
  // writes none), empties the value tables and moves the store's references
  // to its observers to the end of `out`, so that their callables go with
  // that list. Operations running meanwhile on other threads stay safe; what
  // they add stays until the store is deleted. From then on IsRetired() is
  // true. Allocates nothing. REQUIRES: called at most once, under the store
  // registry's lock.
  void retire(ObserverTable::HandlerList& out);
  bool IsRetired() const { return m_bRetired.load(std::memory_order_relaxed); }
  // Writes the level-1 line "<szOperation>, store destroyed" with the store's
  // suffix; never throws.
  void traceRefusedAsRetired(const char* szOperation) const noexcept;

  // The state word of the name's read entry (see ValueIndex::cellOf): a view
  // valid while the store lives. A retired store reads absent and lives
  // until the last reference handed out for it comes back.
  // REQUIRES: the group is 0 to 11 and the name not empty. May throw
  // std::bad_alloc.
  const std::atomic<uint64_t>* cellOf(KovaConfigGroup group,
                                      std::string_view name);

  // What the store did, counted (see store_counters.h), and its journal of
  // changes (change_journal.h).
  StoreCounters& counters() { return m_counters; }
  ChangeJournal& journal() { return m_journal; }
  // The journal's rings copied out (see ChangeJournal::expand). Takes each
  // group's table lock in turn.
  void CopyJournal(ChangeJournal::Copy (&copies)[kKovaConfigGroupCount]);

  // The call's own reference has been given back. REQUIRES: the store
  // registry's lock is held.
  bool IsCleanedUp() const { return m_bCleanedUp; }
  void MarkCleanedUp() { m_bCleanedUp = true; }

 protected:
  // SetKovaConfig on the caller's own copy of the value, which it may take
  // over (a value moves through the layers of a set without being moved at
  // each).
  KOVA_RESULT setKovaConfig(KovaConfigGroup group, const char* szConfigName,
                            ConfigData& value, bool bForceNotify,
                            bool bNotifyOnly);

  // The entries of one group as JSON objects {"key": name, "value": text}, in
  // name order; empty for a group outside 0 to 11.
  json::Array getConfigsJsonArray(KovaConfigGroup group);

 private:
  // Observer registry (registration, removal and its wait).
  uint64_t subscribeConfig(KovaConfigGroup group, const char* szConfigName,
                           const ConfigEventHandlerPtr& handler,
                           ACmThread* pRunThread, bool bAsync);
  uint64_t bindConfig(KovaConfigGroup group, const char* szConfigName,
                      const ConfigEventHandlerPtr& handler);
  KOVA_RESULT unsubscribeConfig(KovaConfigGroup group, const char* szConfigName,
                                const ConfigEventHandlerPtr& handler);
  // Unlinks a handler whose registration failed after it was linked, from
  // both tables, and waits as a removal does; allocates nothing.
  void withdraw(KovaConfigGroup group, const std::string& name,
                const ConfigEventHandlerPtr& handler);
  // Waits (up to the removal limit) until no delivery holds the unlinked
  // handler, then empties its callables; warns while it waits.
  void waitUntilIdle(const char* szConfigName,
                     const ConfigEventHandlerPtr& handler);

  // Takes a change back when it cannot be delivered: given the old value
  // (to be moved back) and the new one.
  typedef CallableRef<void(ConfigData& oldValue, const ConfigData& newValue)>
      UndoStep;

  // ApplyKovaConfigs without its counting.
  KOVA_RESULT applyKovaConfigs(const char* szJsonConfig);

  // Counts a set that dispatched and journals it, its result known.
  KOVA_RESULT finishSet(KovaConfigGroup group, ChangeJournal::Writer& journal,
                        KOVA_RESULT result);

  // Dispatch: tells the name's subscribers of a change, asks its provider.
  // A change is made ready for every claimed subscriber (the event, the
  // copies a hand-over carries) before any is told; when that fails `undo`
  // runs and the exception goes on, so a change is either told to every
  // subscriber or to none.
  KOVA_RESULT fireEvents(ObserverTable& table, const char* szConfigName,
                         ConfigData oldValue, ConfigData newValue,
                         KovaConfigGroup group, bool bForceNotify,
                         UndoStep undo);
  KOVA_RESULT invokeEvent(ObserverTable& table, const char* szConfigName,
                          ConfigData& result, ConfigData paramValue,
                          KovaConfigGroup group);

  // Members in this order; destruction runs in reverse, so the counters and
  // the journal go first, then the read indexes and the value tables, the
  // observer tables, the id table and the dump text.
  std::atomic<uint32_t> m_TotalObservers{0};
  const uint32_t m_callId;
  // Text of the last dump made by each thread, by its thread id; guarded by
  // m_dumpMutex. A text is replaced only by its own thread's next dump.
  std::map<std::thread::id, std::string> m_dumpText GUARDED_BY(m_dumpMutex);
  Mutex m_dumpMutex;
  std::atomic<uint64_t> m_nextObserverId{0};
  atomMap<uint64_t, ConfigEventHandlerPtr> m_observersById;
  ObserverTable m_observersByName[kKovaConfigGroupCount];
  atomMap<std::string, ConfigData> m_configs[kKovaConfigGroupCount];
  // What readers read, lock-free: each published by the writers of the value
  // table of the same group while they hold that table's lock, so that both
  // always hold the same names and values once a writer lets go of the lock.
  ValueIndex m_readIndex[kKovaConfigGroupCount];
  // Guarded by the store registry's lock.
  bool m_bCleanedUp = false;
  // Set once by retire(); read by any thread.
  std::atomic<bool> m_bRetired{false};

  // The journal outlives the counters, which read its count of entries.
  ChangeJournal m_journal;
  StoreCounters m_counters;
};

}  // namespace kovaStore

#endif  // OSTREL_SRC_KOVACONFIG_KOVA_CONFIG_H_
