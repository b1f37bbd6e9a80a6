// StoreRef: one registry reference on a call's configuration store, shared
// (through std::shared_ptr) by every copy of an ostrel::Store and by every
// Subscription made from one.
//
//   auto ref = std::make_shared<detail::StoreRef>(callId);
//   if (ref->Config() == nullptr) { ... }  // no store: out of memory
//   ref->Config()->SetKovaConfig(...);
//   ref->Remove(subscriptionId);           // when a subscription ends
//
// What it owns: the reference taken by CreateKovaConfig() in the
// constructor, given back by ReleaseKovaConfig() in the destructor, so the
// store stays valid (if ended by CleanUpKovaConfig(), refusing every
// operation) for as long as any Store copy or Subscription holds the
// StoreRef; and the ids of observers whose removal had to wait.
//
// How long it lives: until the last Store copy and the last Subscription
// holding it are gone. A removal asked for on a thread that is inside a
// delivery the store is making (ObserverState::InsideDispatch) would wait
// for that very delivery, so the id is kept and removed by the next
// Remove() or RemovePending() made outside one, or by the destructor; ids
// still pending when the StoreRef goes inside a delivery stay registered,
// their observers already dead, until the store itself goes.
//
// Threads: any; m_mutex guards only the pending ids and is never held while
// the store runs.
#ifndef OSTREL_CPP_SRC_STORE_REF_H_
#define OSTREL_CPP_SRC_STORE_REF_H_

#include <ostrel/ostrel.h>

#include <cstdint>
#include <vector>

#include "support/mutex.h"

namespace ostrel {
namespace detail {

class StoreRef {
 public:
  explicit StoreRef(uint32_t callId);
  ~StoreRef();
  StoreRef(const StoreRef&) = delete;
  StoreRef& operator=(const StoreRef&) = delete;

  // The store; null when none could be obtained.
  kovaStore::IKovaConfig* Config() const { return m_config; }
  // Removes `id` from the store now, or later when the calling thread is
  // inside a delivery the store is making (InsideDispatch).
  void Remove(uint64_t id) EXCLUDES(m_mutex);
  // Removes the observers left for later; does nothing inside a delivery.
  void RemovePending() EXCLUDES(m_mutex);

 private:
  kovaStore::IKovaConfig* m_config = nullptr;
  kovaStore::Mutex m_mutex;
  std::vector<uint64_t> m_pending GUARDED_BY(m_mutex);
};

}  // namespace detail
}  // namespace ostrel

#endif  // OSTREL_CPP_SRC_STORE_REF_H_
