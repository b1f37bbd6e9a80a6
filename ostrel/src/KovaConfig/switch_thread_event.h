// CSwitchThreadEvent: carries one change notification to an observer's own
// thread through that thread's event queue.
//
// The event owns a full copy of the KovaConfigEvent and a copy of the
// subscriber's callback taken when it was made. It refers to neither the
// handler, the store nor the dispatcher's event, so it stays valid after the
// observer has been removed and after the store is gone. The queue that
// receives it owns it: it calls OnEventFire() on its own thread and then
// disposes of it through OnDestorySelf().
//
// Its memory comes from a process-wide cache of event-sized blocks: an event
// disposed of (on the run thread) leaves its block for the next hand-over
// (made on a setting thread), so a steady stream of hand-overs allocates no
// memory for the events themselves.
#ifndef OSTREL_SRC_KOVACONFIG_SWITCH_THREAD_EVENT_H_
#define OSTREL_SRC_KOVACONFIG_SWITCH_THREAD_EVENT_H_

#include <CmThread.h>

#include <cstddef>
#include <utility>

#include "ostrel/IKovaConfig.h"
#include "ostrel/KovaConfigEvent.h"

namespace kovaStore {

class CSwitchThreadEvent : public ICmEvent {
 public:
  CSwitchThreadEvent(const KovaConfigEvent& event, KovaConfigCallback fnNotify)
      : ICmEvent(0), m_event(event), m_fnNotify(std::move(fnNotify)) {}

  // From the block cache, or ::operator new when it has none; back to the
  // cache, or ::operator delete when it is full.
  static void* operator new(std::size_t size);
  static void operator delete(void* p, std::size_t size) noexcept;

  // Calls the carried callback, if any, with the carried event; runs on the
  // queue's thread. A callback's exception passes through.
  int OnEventFire() override {
    if (m_pFired != nullptr) *m_pFired = true;
    if (m_fnNotify) m_fnNotify(m_event);
    return 0;
  }

  // For a sent event: `*pFired` becomes true once the queue fires it, so the
  // waiting sender can tell a refused event from a callback that threw. The
  // flag must outlive the send.
  void NoteFiredIn(bool* pFired) { m_pFired = pFired; }

  // Members are destroyed in reverse order: the callback before the event.
 private:
  KovaConfigEvent m_event;
  KovaConfigCallback m_fnNotify;
  bool* m_pFired = nullptr;
};

}  // namespace kovaStore

#endif  // OSTREL_SRC_KOVACONFIG_SWITCH_THREAD_EVENT_H_
