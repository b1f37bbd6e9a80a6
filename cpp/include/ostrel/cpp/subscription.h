// Subscription: the handle of one observer registered through ostrel::Store
// (a subscriber of a name, or the provider bound to it). While it lives the
// observer is called; once reset() or the destructor has returned the
// observer is not running and never runs again.
//
//   ostrel::Subscription sub = store.Subscribe(
//       kovaStore::KovaConfigGroup_Video, "MaxFps",
//       [this](const kovaStore::KovaConfigEvent& e) { OnMaxFps(e.newValue); },
//       ostrel::Delivery::Posted(*m_thread));
//   ...
//   sub.reset();   // OnMaxFps never runs again, queued posts included
//
// Guarantees:
// - End: when reset() or the destructor returns, the callback (or provider) is
//   not running on any other thread and is never called again, also for
//   deliveries already posted to a thread or handed to an executor. Its
//   callable, with everything it captured, has been destroyed. Called from
//   inside the observer's own callback, reset() returns at once; the running
//   call finishes, no later call starts, and the callable is destroyed when
//   the last running call returns.
// - No 3 s wait on its own thread: the store's removal waits up to 3 s for a
//   delivery that the removing thread is itself making. reset() called while
//   the store is delivering on this thread (an inline callback or provider of
//   any Subscription, or an executor hand-over) therefore leaves the store's
//   removal to the next Subscribe, Bind or reset() on the same store made
//   outside such a delivery, or to the last Store copy going; the observer is
//   dead meanwhile and skipped. Posted and executor callbacks run outside the
//   store's delivery and remove at once. A callback registered with the
//   exported interface directly that resets a Subscription of the same name
//   inline still meets the store's wait; use Subscriptions for both.
// - Convergence: deliveries carry the store's current value, not the value
//   of the set that triggered them: each delivery reads the value again and
//   calls the callback only when it differs from the last value it passed
//   (event.oldValue is that last value, event.newValue the current one; the
//   invalid value stands for "not stored"). When sets stop, the last value
//   the callback received is the stored one, whatever order concurrent sets,
//   the subscription's own first read and posted deliveries ran in.
//   Consequences: values that are overwritten before the callback gets to
//   them are skipped, a set that stores the value already delivered (also a
//   forced set) calls nothing, and a notify-only set reads as "not stored".
//   Names removed without notification (RemoveKovaConfig) are not delivered.
// - One at a time: calls of one subscription's callback never overlap, also
//   with inline delivery from several setting threads: a change that arrives
//   while another thread is calling the callback is folded into that call's
//   next round, on that thread. A set made from inside the callback is
//   delivered after the callback returns, not nested inside it.
// - Providers: the provider runs on the querying thread, as the store calls
//   it, concurrently when several threads query; the end guarantee holds.
//
// A Subscription holds a reference on its call's store, so the store
// outlives it. Like any object, one handle must not be used by two threads
// at once; reset() from inside the callback is fine when no other thread
// touches the handle meanwhile. Executors must not run the task inside the
// call that hands it to them while a lock the callback takes is held.
#ifndef OSTREL_CPP_INCLUDE_OSTREL_CPP_SUBSCRIPTION_H_
#define OSTREL_CPP_INCLUDE_OSTREL_CPP_SUBSCRIPTION_H_

#include <ostrel.h>  // the exported interface (ostrel/include)

#include <cstdint>
#include <functional>
#include <memory>
#include <utility>

namespace ostrel {

namespace detail {
class ObserverState;
class StoreRef;
}  // namespace detail

// Runs a task later, in the caller's own context: an asio strand's post, a
// Qt event loop, a libuv async handle, a test's queue. It must run each task
// at most once and may drop tasks it never runs (a dropped delivery is made
// good by a later one only if a later change comes).
using Executor = std::function<void(std::function<void()>)>;

// Where a subscriber's callback runs.
class Delivery {
 public:
  // On a thread that sets the value, before (or, when another thread is
  // delivering at that moment, instead of) its set returns.
  static Delivery Inline() { return Delivery(nullptr, nullptr); }
  // Posted to `thread`'s event queue; the setter goes on at once. A thread
  // without a queue, or a stopped one, drops deliveries. REQUIRES: `thread`
  // outlives the subscription (not longer: an ended subscription never
  // reaches it).
  static Delivery Posted(ACmThread& thread) {
    return Delivery(&thread, nullptr);
  }
  // Handed to `executor` as a task; the setter goes on at once.
  static Delivery Via(Executor executor) {
    return Delivery(nullptr, std::move(executor));
  }

 private:
  friend class Store;
  Delivery(ACmThread* thread, Executor executor)
      : m_thread(thread), m_executor(std::move(executor)) {}
  ACmThread* m_thread;
  Executor m_executor;
};

class Subscription {
 public:
  // An empty handle: no observer.
  Subscription() noexcept = default;
  Subscription(Subscription&& other) noexcept
      : m_state(std::move(other.m_state)),
        m_store(std::move(other.m_store)),
        m_id(std::exchange(other.m_id, 0)) {}
  // Ends this handle's observer first (as reset()), then takes over other's.
  Subscription& operator=(Subscription&& other) noexcept;
  Subscription(const Subscription&) = delete;
  Subscription& operator=(const Subscription&) = delete;
  ~Subscription() { reset(); }

  // Ends the observer; see the guarantees above. Does nothing on an empty
  // handle.
  void reset() noexcept;

  // False for an empty handle: reset, moved from, or refused by the store
  // (a group outside 0 to 11, an empty name, a second provider of a name).
  explicit operator bool() const noexcept { return m_id != 0; }
  // The store's observer id; 0 for an empty handle.
  uint64_t id() const noexcept { return m_id; }

 private:
  friend class Store;
  Subscription(std::shared_ptr<detail::ObserverState> state,
               std::shared_ptr<detail::StoreRef> store, uint64_t id)
      : m_state(std::move(state)), m_store(std::move(store)), m_id(id) {}

  std::shared_ptr<detail::ObserverState> m_state;
  std::shared_ptr<detail::StoreRef> m_store;
  uint64_t m_id = 0;
};

}  // namespace ostrel

#endif  // OSTREL_CPP_INCLUDE_OSTREL_CPP_SUBSCRIPTION_H_
