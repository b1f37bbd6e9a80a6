// Threads with event queues.
//
//   std::unique_ptr<ACmThread> t = CreateCmEventThread("audio");
//   t->GetEventQueue()->PostEvent(new MyEvent);   // runs later on t
//   t->GetEventQueue()->SendEvent(new MyEvent);   // returns after it ran on t
//   t->Stop();                                    // also done by the
//   destructor
//
// An event queue fires events in FIFO order on its own thread and calls
// OnDestorySelf() on each event once it is done with it (the default deletes
// the event). Ownership of an event passes to the queue with the call, also
// when the call fails: a refused event is disposed of at once.
//
// SendEvent() called on the queue's own thread fires the event inline, so it
// can never deadlock. An event whose OnEventFire() throws is reported (a
// level-0 trace line with the exception's text), disposed of as usual, and
// its SendEvent() returns CM_ERROR_FAILURE; the queue goes on with the next
// event. After Stop() every queued event has been fired, and a
// later PostEvent() or SendEvent() fails at once with CM_ERROR_NOT_INITIALIZED.
//
// How a queue hands events over (invariants): the loop takes every queued
// event at once, in one hold of the queue's lock, and fires them in order
// without it, so a stream of hand-overs meets the loop in the lock once per
// batch rather than once per event. A hand-over wakes the loop only when the
// loop is blocked waiting (it checks the queue under the lock before every
// wait), and wakes it after releasing the lock. The queue keeps its storage
// between batches (up to 1024 events), so a steady stream allocates nothing.
#ifndef UTIL_INCLUDE_CMTHREAD_H_
#define UTIL_INCLUDE_CMTHREAD_H_

#include <memory>

#include "util_export.h"

// The OS id of the calling thread; never 0.
CMUTIL_API unsigned long GetThreadSelfId();

class CMUTIL_API ICmEvent {
 public:
  explicit ICmEvent(unsigned long type = 0) : m_type(type) {}
  virtual ~ICmEvent();
  // Runs on the queue's thread; the result is the event's own business.
  virtual int OnEventFire() = 0;
  // Called by the queue once the event has been fired or refused; the default
  // deletes the event.
  virtual void OnDestorySelf();
  unsigned long GetEventType() const { return m_type; }

  ICmEvent(const ICmEvent&) = delete;
  ICmEvent& operator=(const ICmEvent&) = delete;

 private:
  unsigned long m_type;
};

class ICmEventQueue {
 public:
  // Queues the event and returns at once: CM_OK; CM_ERROR_NOT_INITIALIZED
  // once the queue is stopped; CM_ERROR_FAILURE when the queue cannot store
  // it (out of memory); CM_ERROR_INVALID_ARG for a null event. The priority
  // and flags are accepted for compatibility; every event is queued in FIFO
  // order.
  virtual int PostEvent(ICmEvent* pEvent, int nPriority = 128,
                        int nFlags = 0) = 0;
  // Returns after the event has been fired on the queue's thread (at once,
  // inline, when called on that thread). CM_OK; CM_ERROR_NOT_INITIALIZED
  // when the queue is stopped before the event could run; CM_ERROR_FAILURE
  // when the queue cannot store it or the event throws; CM_ERROR_INVALID_ARG
  // for a null event.
  virtual int SendEvent(ICmEvent* pEvent, int nFlags = 0) = 0;

 protected:
  virtual ~ICmEventQueue() = default;
};

class CMUTIL_API ACmThread {
 public:
  virtual ~ACmThread();
  // The OS id of the running thread, as GetThreadSelfId() returns it there.
  virtual unsigned long GetThreadId() = 0;
  // The thread's event queue; null for a thread created without one.
  virtual ICmEventQueue* GetEventQueue() = 0;
  // Fires every event already queued, then ends the thread and joins it.
  // Called on the thread itself (from inside an event) it only asks the loop
  // to end after the current event. Idempotent.
  virtual void Stop() = 0;
};

// A started thread that runs an event queue until stopped. `szName` names the
// thread for debuggers (may be null).
CMUTIL_API std::unique_ptr<ACmThread> CreateCmEventThread(
    const char* szName = nullptr);

// A started thread without an event queue: GetEventQueue() returns null. It
// idles until stopped.
CMUTIL_API std::unique_ptr<ACmThread> CreateCmPlainThread(
    const char* szName = nullptr);

#endif  // UTIL_INCLUDE_CMTHREAD_H_
