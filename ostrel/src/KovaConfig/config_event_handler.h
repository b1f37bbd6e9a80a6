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
// drop to 0 before emptying the callables. A delivery therefore touches only
// handlers it has claimed once it has left the lock.
//
// Threads: any thread may call Notify, Invoke and the table operations.
#ifndef OSTREL_SRC_KOVACONFIG_CONFIG_EVENT_HANDLER_H_
#define OSTREL_SRC_KOVACONFIG_CONFIG_EVENT_HANDLER_H_

#include <CmTimer.h>
#include <ConfigData.h>

#include <atomic>
#include <cstdint>
#include <functional>
#include <list>
#include <map>
#include <memory>
#include <new>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>
#include <vector>

#include "name_keys.h"
#include "ostrel/IKovaConfig.h"
#include "ostrel/KovaConfigEvent.h"
#include "ostrel/KovaConfigTypes.h"
#include "store_counters.h"
#include "support/mutex.h"

class ACmThread;
class ICmEventQueue;

namespace kovaStore {

class CSwitchThreadEvent;
// Disposes of a hand-over event that was never given to a queue.
struct HandOverDisposer {
  void operator()(CSwitchThreadEvent* pEvent) const;
};
typedef std::unique_ptr<CSwitchThreadEvent, HandOverDisposer> HandOverPtr;

// The calling thread's id as the claim fields and trace lines hold it.
uint32_t currentThreadId();

class ConfigEventHandler {
 public:
  ConfigEventHandler() = default;
  explicit ConfigEventHandler(KovaConfigCallback fnNotify)
      : m_fnNotify(std::move(fnNotify)) {}
  explicit ConfigEventHandler(KovaConfigProvider fnProvider)
      : m_fnProvider(std::move(fnProvider)) {}
  ConfigEventHandler(const ConfigEventHandler&) = delete;
  ConfigEventHandler& operator=(const ConfigEventHandler&) = delete;

  // Delivers a change: directly when there is no run thread (or the run
  // thread is the calling one and m_bAsync is false), by a blocking hand-over
  // to the run thread's queue, or by a posted copy when m_bAsync. False only
  // when the handler has no callback; a run thread without a queue calls
  // nothing but still yields true. A callback's exception passes through;
  // m_nLevel is lowered again on the way out. The way the delivery went is
  // counted in `pCounters` (the store's) when given.
  bool Notify(const KovaConfigEvent& event,
              StoreCounters* pCounters = nullptr) {
    if (pCounters == nullptr) {
      return Notify(event, prepareHandOver(event), nullptr);
    }
    DeliveryTally tally(*pCounters, event.group);
    return Notify(event, prepareHandOver(event), &tally);
  }
  // The same with the hand-over made beforehand by prepareHandOver(), so
  // that a change can be made ready for every observer before any is told.
  // A queue that refuses the event for want of memory gets a fresh copy
  // once more; only that second copy may fail to be made (std::bad_alloc).
  // The way the delivery went is counted in `pTally` when given. `pChain`,
  // when given, carries the clock from one delivery of a change to the next
  // (see slow_call_timer::mayExceed), starting with ticks 0.
  bool Notify(const KovaConfigEvent& event, HandOverPtr prepared,
              DeliveryTally* pTally, slow_call_timer::Start* pChain = nullptr);
  // Everything a hand-over of `event` to the run thread needs (the copies of
  // the event and of the callback), or null when Notify will not hand over
  // (no callback, no run thread or no queue, or the run thread is the
  // calling one and m_bAsync is false). Throws what the copies throw.
  HandOverPtr prepareHandOver(const KovaConfigEvent& event) const {
    if (!m_fnNotify || m_pRunThread == nullptr) return nullptr;
    return prepareThreadHandOver(event);
  }
  // Asks the provider on the calling thread; the invalid value when the
  // handler has no provider.
  ConfigData Invoke(const KovaConfigEvent& event);

  // Claims the handler for one delivery: m_nBusy + 1, and the calling thread
  // becomes m_nBusyThread unless another claim holds it. Yields the thread id
  // that already held it, 0 when this claim took it. REQUIRES: the group
  // table's lock is held (or the handler is not yet visible to others).
  uint32_t claim(uint32_t threadId);
  // Gives a claim back: clears m_nBusyThread if it is this thread's, then
  // m_nBusy - 1. Any thread, no lock.
  void releaseClaim(uint32_t threadId) {
    // No read-modify-write is needed: while the field holds this thread's
    // id, only this thread may change it (claimers write only over 0), so
    // nothing can come between the load and the store.
    if (m_nBusyThread.load(std::memory_order_relaxed) == threadId) {
      m_nBusyThread.store(0, std::memory_order_relaxed);
    }
    // The last access to the callables happens before this decrement, which
    // removal waits for before it empties them.
    --m_nBusy;
  }

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

 private:
  // prepareHandOver() for a handler with a callback and a run thread.
  HandOverPtr prepareThreadHandOver(const KovaConfigEvent& event) const;
  // Gives the change to the run thread's queue: posted when m_bAsync, else
  // sent (waiting until it has run there). Yields what the queue answered
  // last.
  int handOver(ICmEventQueue& queue, const KovaConfigEvent& event,
               HandOverPtr prepared);
};

typedef std::shared_ptr<ConfigEventHandler> ConfigEventHandlerPtr;

// A non-owning reference to a callable, for the small steps that the table
// runs under its lock. It must not outlive the call it is passed to; a
// temporary lambda passed straight to a table operation lives long enough.
template <class Signature>
class CallableRef;

template <class R, class... Args>
class CallableRef<R(Args...)> {
 public:
  template <class F, class = std::enable_if_t<
                         !std::is_same<std::decay_t<F>, CallableRef>::value>>
  CallableRef(F&& callable)  // NOLINT: implicit on purpose
      : m_pCallable(const_cast<void*>(
            static_cast<const void*>(std::addressof(callable)))),
        m_pfnCall([](void* p, Args... args) -> R {
          return (*static_cast<std::remove_reference_t<F>*>(p))(
              std::forward<Args>(args)...);
        }) {}

  R operator()(Args... args) const {
    return m_pfnCall(m_pCallable, std::forward<Args>(args)...);
  }

 private:
  void* m_pCallable;
  R (*m_pfnCall)(void*, Args...);
};

// One entry of a delivery's private copy of a name's list: the handler,
// whether this delivery claimed it, and the hand-over prepared for it.
struct DeliverySlot {
  ConfigEventHandlerPtr handler;
  bool bClaimed;
  HandOverPtr handOver;
};
// A delivery's private copy of a name's list: up to kInlineDeliverySlots
// slots in the object itself (on the delivering thread's stack), so that a
// change to a handful of observers allocates nothing for its list; a longer
// list takes one heap block, reserved before the first slot is added.
constexpr size_t kInlineDeliverySlots = 8;
class DeliverySnapshot {
 public:
  DeliverySnapshot() = default;
  ~DeliverySnapshot() {
    for (size_t i = m_size; i > 0; --i) m_pSlots[i - 1].~DeliverySlot();
    if (m_pSlots != inlineSlots()) ::operator delete(m_pSlots);
  }
  DeliverySnapshot(const DeliverySnapshot&) = delete;
  DeliverySnapshot& operator=(const DeliverySnapshot&) = delete;

  // Makes room for `count` slots in all. REQUIRES: the snapshot is empty.
  // May throw std::bad_alloc.
  void reserve(size_t count) {
    if (count <= m_capacity) return;
    m_pSlots = static_cast<DeliverySlot*>(
        ::operator new(count * sizeof(DeliverySlot)));
    m_capacity = count;
  }
  // REQUIRES: room was reserved for it.
  void push_back(DeliverySlot&& slot) {
    new (&m_pSlots[m_size]) DeliverySlot(std::move(slot));
    ++m_size;
  }
  size_t size() const { return m_size; }
  DeliverySlot& operator[](size_t i) { return m_pSlots[i]; }
  DeliverySlot* begin() { return m_pSlots; }
  DeliverySlot* end() { return m_pSlots + m_size; }

 private:
  DeliverySlot* inlineSlots() {
    return reinterpret_cast<DeliverySlot*>(m_room);
  }

  alignas(DeliverySlot) unsigned char m_room[kInlineDeliverySlots *
                                             sizeof(DeliverySlot)];
  DeliverySlot* m_pSlots = inlineSlots();
  size_t m_size = 0;
  size_t m_capacity = kInlineDeliverySlots;
};

// The observers of one group, by name. A name's list keeps registration
// order, which is also delivery order. One recursive mutex guards the map and
// every list; it is never held while a callable runs. Each operation holds it
// for its whole run.
class ObserverTable {
 public:
  typedef std::list<ConfigEventHandlerPtr> HandlerList;
  typedef CallableRef<void()> InLockStep;
  // Told, under the lock, of a handler that another delivery already holds:
  // (handler, the thread id holding it).
  typedef CallableRef<void(const ConfigEventHandler&, uint32_t)>
      MultipleClaimStep;

  ObserverTable() = default;
  ObserverTable(const ObserverTable&) = delete;
  ObserverTable& operator=(const ObserverTable&) = delete;

  // Appends the handler to the name's list and runs `step` before unlocking.
  // KOVA_S_FALSE (no step) when it is already there; KOVA_E_INVALIDARG for
  // an empty name or null handler.
  KOVA_RESULT addSubscriber(std::string_view name,
                            const ConfigEventHandlerPtr& handler,
                            InLockStep step);
  // Appends the handler unless the name's list already holds it or holds a
  // provider (KOVA_S_FALSE). KOVA_E_INVALIDARG as above.
  KOVA_RESULT addBinder(std::string_view name,
                        const ConfigEventHandlerPtr& handler);
  // Unlinks this very handler object from the name's list and runs `step`
  // before unlocking; a name whose list becomes empty leaves the table, so
  // the table holds only names that have observers. The handler itself is
  // not released here: the caller holds it. KOVA_S_FALSE when it is not
  // there; KOVA_E_INVALIDARG as above.
  KOVA_RESULT remove(std::string_view name,
                     const ConfigEventHandlerPtr& handler, InLockStep step);
  // False until the table has held a name. Takes no lock, so it may be asked
  // while another table's lock is held; a handler linked after a false
  // answer counts as linked after the asker's look.
  bool mayHaveObservers() const {
    return m_bHasNames.load(std::memory_order_acquire);
  }
  // False when the name has no observer: a lock-free look at the count of
  // linked names whose hash falls in the name's bucket. True for an observed
  // name and, rarely, for a name that shares a bucket with one. Like
  // mayHaveObservers() it may be asked under another table's lock, and a
  // handler linked after a false answer counts as linked after the look.
  bool mayObserve(std::string_view name) const {
    return mayHaveObservers() &&
           m_namesInBucket[bucketOf(name)].load(std::memory_order_acquire) != 0;
  }
  // Copies the name's list into `snapshot` (same order) and claims, for
  // `threadId`, every handler that takes part: those with a callback, or
  // with `bProviders` those with a provider. `onMultiple` runs for each
  // claimed handler that another claim already held. The caller must give
  // each claim back with releaseClaim().
  void snapshotAndClaim(std::string_view name, bool bProviders,
                        uint32_t threadId, MultipleClaimStep onMultiple,
                        DeliverySnapshot& snapshot);
  // The number of names that have observers.
  size_t nameCount();
  // Moves every handler of the table to the end of `out` and empties the
  // table; allocates nothing and releases no handler.
  void handOver(HandlerList& out);

 private:
  RecursiveMutex m_mutex;  // guards m_observers and every list in it
  std::map<std::string, HandlerList, NameOrder> m_observers GUARDED_BY(m_mutex);
  // Set, under m_mutex, once m_observers has held a name, and never cleared.
  // A snapshot that finds it clear skips the lock: a handler linked after
  // that look is one linked after the snapshot.
  std::atomic<bool> m_bHasNames{false};

  // Names in m_observers by bucket of their hash. Invariant: every bucket
  // holds exactly the number of names in m_observers that hash to it. A
  // name's bucket is raised, under m_mutex, when the name enters the map (so
  // before the subscriber looks for the stored value, which it does under
  // the value table's lock after linking), and lowered, under m_mutex, after
  // its last handler is unlinked. A setter asks mayObserve() under the value
  // table's lock after taking that lock: either its look follows the
  // subscriber's look for the value (and it sees the raised count, and
  // tells the subscriber), or the subscriber finds the stored value. A set
  // and a removal that race may or may not tell the removed handler, as
  // with the lock.
  static constexpr size_t kNameBuckets = 256;
  static size_t bucketOf(std::string_view name) {
    return nameHash(name.data(), name.size()) % kNameBuckets;
  }
  std::atomic<uint32_t> m_namesInBucket[kNameBuckets] = {};
};

}  // namespace kovaStore

#endif  // OSTREL_SRC_KOVACONFIG_CONFIG_EVENT_HANDLER_H_
