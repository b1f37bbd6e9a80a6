#include <CmThread.h>

#include <condition_variable>
#include <exception>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include <CmTrace.h>
#include <KovaResult.h>
#include "thread_name.h"

ICmEvent::~ICmEvent() = default;

void ICmEvent::OnDestorySelf() { delete this; }

ACmThread::~ACmThread() = default;

namespace {

// Writes the level-0 line about an event that threw; never throws.
// REQUIRES: called from inside a catch handler.
void TraceThrowingEvent(const ICmEvent* pEvent) noexcept {
  try {
    const char* szWhat = "unknown exception";
    try {
      throw;
    } catch (const std::exception& e) {
      szWhat = e.what();
    } catch (...) {
    }
    if (get_external_trace_mask() < 0) return;
    char line[1024];
    CCmTextFormator formator(line, sizeof(line));
    formator << "ICmEventQueue, event threw, exception=" << szWhat
             << " [event=" << static_cast<const void*>(pEvent) << "]";
    char module[128];
    if (!GetCallerModuleName(module, sizeof(module))) module[0] = '\0';
    util_adapter_trace(0, module, line, formator.tell());
  } catch (...) {
  }
}

// Fires an event and hands it back to itself for disposal. What the event
// throws is reported and stops here: the queue thread goes on, and the
// result is CM_ERROR_FAILURE.
int FireAndDispose(ICmEvent* pEvent) {
  int result = CM_OK;
  try {
    pEvent->OnEventFire();
  } catch (...) {
    TraceThrowingEvent(pEvent);
    result = CM_ERROR_FAILURE;
  }
  pEvent->OnDestorySelf();
  return result;
}

struct SendState {
  bool done = false;
  int result = CM_OK;
};

struct Item {
  ICmEvent* event;
  SendState* sender;  // null for a posted event
};

// A loop keeps the storage of at most this many items between batches; a
// larger backlog's storage is given back once it has been fired.
constexpr size_t kKeptItems = 1024;

// What the running loop needs. The OS thread shares it with the thread
// object, so that the loop can finish safely when the object is destroyed
// from inside one of its own events.
//
// Invariants (all under `mutex`):
// - `queue` holds the accepted events not yet taken by the loop, in FIFO
//   order. The loop takes all of them at once (a batch, swapped out in one
//   hold of the lock) and fires them in order without the lock, so events
//   are fired in the order they were accepted, one at a time.
// - `waiting` is true only while the loop is blocked on `cond` (set just
//   before it waits with an empty queue, cleared by the hand-over that wakes
//   it or by the loop when it wakes). A hand-over wakes the loop only when it
//   finds `waiting` set, and wakes it after releasing the lock: the loop
//   checks the queue under the lock before every wait, so a hand-over that
//   finds `waiting` clear is seen without a wake.
// - A sender's `done` is set, under the lock, once its event has been fired
//   and disposed of; `sendDone` is notified after the lock is released.
// - Once `stopping` is set no event is accepted, and the loop ends when it
//   finds the queue empty.
struct LoopState {
  std::mutex mutex;
  std::condition_variable cond;      // wakes the loop: work or stop
  std::condition_variable sendDone;  // wakes senders: an event was fired
  std::vector<Item> queue;
  bool waiting = false;
  bool stopping = false;
  unsigned long threadId = 0;
};

// Fires every queued event in FIFO order until stopped with an empty queue.
void RunLoop(const std::shared_ptr<LoopState>& state, const std::string& name) {
  SetCurrentThreadName(name.c_str());
  std::vector<Item> batch;
  std::unique_lock<std::mutex> lock(state->mutex);
  state->threadId = GetThreadSelfId();
  state->cond.notify_all();
  for (;;) {
    while (state->queue.empty() && !state->stopping) {
      state->waiting = true;
      state->cond.wait(lock);
      state->waiting = false;
    }
    if (state->queue.empty()) break;  // stopping, and everything has been fired
    batch.swap(state->queue);
    lock.unlock();
    for (const Item& item : batch) {
      const int result = FireAndDispose(item.event);
      if (item.sender != nullptr) {
        lock.lock();
        item.sender->result = result;
        item.sender->done = true;
        // Notified without the lock, so the woken sender need not block on
        // it again; the condition lives in the shared state, not with the
        // sender.
        lock.unlock();
        state->sendDone.notify_all();
      }
    }
    batch.clear();
    if (batch.capacity() > kKeptItems) std::vector<Item>().swap(batch);
    lock.lock();
  }
}

// Queues an item under the held lock; yields whether the loop must be woken
// (after the lock is released). Throws std::bad_alloc when the queue cannot
// grow.
bool QueueLocked(LoopState& state, const Item& item) {
  state.queue.push_back(item);
  if (!state.waiting) return false;
  state.waiting = false;
  return true;
}

// One OS thread, optionally running a FIFO event queue.
class CCmThreadImpl final : public ACmThread, public ICmEventQueue {
 public:
  CCmThreadImpl(bool bWithQueue, const char* szName)
      : m_bWithQueue(bWithQueue), m_state(std::make_shared<LoopState>()) {
    std::shared_ptr<LoopState> state = m_state;
    std::string name = szName ? szName : "";
    std::unique_lock<std::mutex> lock(m_state->mutex);
    m_thread = std::thread([state, name] { RunLoop(state, name); });
    m_state->cond.wait(lock, [this] { return m_state->threadId != 0; });
    m_threadId = m_state->threadId;
  }

  ~CCmThreadImpl() override {
    Stop();
    if (m_thread.joinable()) {
      // Destroyed on its own thread (from inside an event): it cannot join
      // itself, so the loop drains the queue and ends on its own, keeping
      // its shared state alive.
      if (GetThreadSelfId() == m_threadId) {
        m_thread.detach();
      } else {
        m_thread.join();
      }
    }
  }

  unsigned long GetThreadId() override { return m_threadId; }

  ICmEventQueue* GetEventQueue() override {
    return m_bWithQueue ? this : nullptr;
  }

  void Stop() override {
    {
      std::lock_guard<std::mutex> lock(m_state->mutex);
      m_state->stopping = true;
    }
    m_state->cond.notify_all();
    if (GetThreadSelfId() == m_threadId) return;
    std::lock_guard<std::mutex> joinLock(m_joinMutex);
    if (m_thread.joinable()) m_thread.join();
  }

  int PostEvent(ICmEvent* pEvent, int /*nPriority*/, int /*nFlags*/) override {
    if (pEvent == nullptr) return CM_ERROR_INVALID_ARG;
    int result = CM_ERROR_NOT_INITIALIZED;
    LoopState& state = *m_state;
    try {
      std::unique_lock<std::mutex> lock(state.mutex);
      if (!state.stopping) {
        if (QueueLocked(state, Item{pEvent, nullptr})) {
          // The loop is woken after the unlock, so that it need not block on
          // the mutex at once. By then the event may have run and destroyed
          // this object (from its own thread): the state is held here until
          // the wake. (Taken under the lock, while the object still lives.)
          const std::shared_ptr<LoopState> held = m_state;
          lock.unlock();
          held->cond.notify_one();
        }
        // Without a wake nothing is touched after the unlock.
        return CM_OK;
      }
    } catch (...) {
      // Out of memory for the queue: refused, and disposed of as such.
      result = CM_ERROR_FAILURE;
    }
    pEvent->OnDestorySelf();
    return result;
  }

  int SendEvent(ICmEvent* pEvent, int /*nFlags*/) override {
    if (pEvent == nullptr) return CM_ERROR_INVALID_ARG;
    if (GetThreadSelfId() == m_threadId) return FireAndDispose(pEvent);
    SendState sendState;
    // Held here until the send returns: the event may destroy this object
    // (from its own thread) before the loop is woken or the sender is.
    const std::shared_ptr<LoopState> state = m_state;
    std::unique_lock<std::mutex> lock(state->mutex);
    if (state->stopping) {
      lock.unlock();
      pEvent->OnDestorySelf();
      return CM_ERROR_NOT_INITIALIZED;
    }
    bool wake = false;
    try {
      wake = QueueLocked(*state, Item{pEvent, &sendState});
    } catch (...) {
      lock.unlock();
      pEvent->OnDestorySelf();
      return CM_ERROR_FAILURE;
    }
    // Woken after the unlock, so that the loop need not block on the mutex
    // at once; the completion flag is read under the mutex again.
    if (wake) {
      lock.unlock();
      state->cond.notify_one();
      lock.lock();
    }
    state->sendDone.wait(lock, [&sendState] { return sendState.done; });
    return sendState.result;
  }

 private:
  const bool m_bWithQueue;
  const std::shared_ptr<LoopState> m_state;
  unsigned long m_threadId = 0;  // set once the thread runs; then constant
  std::mutex m_joinMutex;        // serialises joins of concurrent Stop() calls
  std::thread m_thread;
};

}  // namespace

std::unique_ptr<ACmThread> CreateCmEventThread(const char* szName) {
  return std::make_unique<CCmThreadImpl>(true, szName);
}

std::unique_ptr<ACmThread> CreateCmPlainThread(const char* szName) {
  return std::make_unique<CCmThreadImpl>(false, szName);
}
