// ObserverState: the control block shared by an ostrel::Subscription and the
// callable it registers with the store (and every posted or executor task
// made from it). It decides whether a delivery may still call the user's
// callable and lets the handle wait until none is calling it.
//
// State, guarded by m_mutex except where said:
//   m_alive       true until the handle ends the observer; never set again.
//                 Written under the lock; a round also reads it without.
//   m_running     number of calls inside this block's entry points (raw
//                 event, executor hand-over, delivery round, provider call)
//                 on all threads; each is also a frame on its thread's
//                 frame list (below).
//   m_delivering  a delivery round is running (at most one at a time).
//   m_dirty       a change arrived while a round was running: that round
//                 reads the value again before it ends.
//   m_endWaiting  End() is waiting for other threads' calls to return.
//   m_last        the last value passed to the callback (invalid: none yet,
//                 or "not stored"). Touched only by the thread running the
//                 round (m_delivering makes it the only one), without the
//                 lock.
//
// Invariants:
// - An entry point raises m_running only while m_alive holds, in the same
//   critical section in which it checks m_alive. So once End() has cleared
//   m_alive and seen m_running equal to its own thread's frames, no other
//   thread is inside and none will enter: the callable is neither running
//   nor reachable.
// - The callable, the executor and the store pointer are only used between
//   such a raise and the matching drop. They are destroyed outside the lock
//   by End() when it finds m_running at 0 after its wait, before it returns;
//   only when End() has returned already (called from inside a call, with
//   calls still running) by whoever brings m_running to 0.
// - The user's callback runs only inside a round; rounds never overlap
//   (m_delivering), and a round ends only when no change arrived since its
//   last read (m_dirty clear) or the observer ended. Every change is followed
//   by a raw event, so the last change is followed by a read in some round
//   that sees it: the last value passed is the stored value once sets stop.
// - No lock is held while the callback, the provider, the executor or the
//   store runs.
//
// The frame list is per thread: which blocks this thread is inside, and
// whether the store entered them inline. End() waits only for other threads'
// frames, so a callback may end its own observer; Subscription::reset() asks
// InsideDispatch() to leave the store's removal for later, since the store
// would wait for the delivery this very thread is making.
//
// Posted delivery is an executor over the thread's event queue (PostTo): the
// store itself only ever calls inline, so it never holds the thread.
#ifndef OSTREL_CPP_SRC_OBSERVER_STATE_H_
#define OSTREL_CPP_SRC_OBSERVER_STATE_H_

#include <ostrel/cpp/store.h>
#include <ostrel/ostrel.h>

#include <atomic>
#include <memory>
#include <string>

#include "support/mutex.h"

namespace ostrel {
namespace detail {

class ObserverState : public std::enable_shared_from_this<ObserverState> {
 public:
  // A subscriber of `name` in `group` of `config`; `executor` may be empty.
  ObserverState(kovaStore::IKovaConfig* config, KovaConfigGroup group,
                const char* name, Callback callback, Executor executor);
  // A provider.
  explicit ObserverState(Provider provider);
  ObserverState(const ObserverState&) = delete;
  ObserverState& operator=(const ObserverState&) = delete;

  // The callables registered with the store. They hold this block.
  kovaStore::KovaConfigCallback RawCallback();
  kovaStore::KovaConfigProvider RawProvider();

  // Clears m_alive and waits until no other thread is inside this block.
  void End() EXCLUDES(m_mutex);

  // True when the calling thread is inside an entry point of any block that
  // the store called inline (a raw event, an executor hand-over, a provider):
  // the store then holds claims that its removal would wait for.
  static bool InsideDispatch();

 private:
  class Frame;

  // Entry points. A raw event is null when an executor task asks for a
  // delivery round.
  void OnRawEvent(const kovaStore::KovaConfigEvent& event) EXCLUDES(m_mutex);
  void Deliver(const kovaStore::KovaConfigEvent* raw) EXCLUDES(m_mutex);
  ConfigData OnQuery(const kovaStore::KovaConfigEvent& event) EXCLUDES(m_mutex);
  // The rounds of one delivery; the caller has set m_delivering. `lock`
  // holds m_mutex on entry and on return.
  void RunRounds(const kovaStore::KovaConfigEvent* raw,
                 kovaStore::MutexUniqueLock& lock) REQUIRES(m_mutex);

  // Ends a call entered with Frame under `lock`, and releases it; destroys
  // the callables when it was the last call after the end.
  void Leave(kovaStore::MutexUniqueLock& lock) RELEASE(m_mutex);

  kovaStore::IKovaConfig* const m_config;
  const KovaConfigGroup m_group;
  const std::string m_name;

  // Guards the members below as the opening comment says.
  kovaStore::Mutex m_mutex;
  // Signalled when m_running drops after the end.
  kovaStore::CondVar m_idle;
  std::atomic<bool> m_alive{true};
  int m_running GUARDED_BY(m_mutex) = 0;
  bool m_delivering GUARDED_BY(m_mutex) = false;
  bool m_dirty GUARDED_BY(m_mutex) = false;
  bool m_endWaiting GUARDED_BY(m_mutex) = false;
  ConfigData m_last;
  // The group's session type, as the raw events carry it.
  std::atomic<kova::KovaSessionType> m_sessionType{kova::KovaSessionType_None};
  Callback m_callback;
  Executor m_executor;
  Provider m_provider;
};

// An executor that posts each task to `thread`'s event queue.
Executor PostTo(ACmThread& thread);

}  // namespace detail
}  // namespace ostrel

#endif  // OSTREL_CPP_SRC_OBSERVER_STATE_H_
