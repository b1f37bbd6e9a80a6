#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>

#include "CmThread.h"
#include "KovaResult.h"
#include "thread_name.h"

ICmEvent::~ICmEvent() = default;

void ICmEvent::OnDestorySelf() { delete this; }

ACmThread::~ACmThread() = default;

namespace {

// Fires an event and hands it back to itself for disposal.
void FireAndDispose(ICmEvent* pEvent) {
  pEvent->OnEventFire();
  pEvent->OnDestorySelf();
}

// One OS thread, optionally running a FIFO event queue. m_mutex guards the
// queue, the stop flag and the per-send completion flags.
class CCmThreadImpl final : public ACmThread, public ICmEventQueue {
 public:
  CCmThreadImpl(bool bWithQueue, const char* szName)
      : m_bWithQueue(bWithQueue), m_strName(szName ? szName : "") {
    std::unique_lock<std::mutex> lock(m_mutex);
    m_thread = std::thread([this] { Run(); });
    m_cond.wait(lock, [this] { return m_threadId != 0; });
  }

  ~CCmThreadImpl() override {
    Stop();
    if (m_thread.joinable()) {
      // Destroyed on its own thread (from inside an event): it cannot join
      // itself, so let it finish on its own.
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
      std::lock_guard<std::mutex> lock(m_mutex);
      m_bStopping = true;
    }
    m_cond.notify_all();
    if (GetThreadSelfId() == m_threadId) return;
    std::lock_guard<std::mutex> joinLock(m_joinMutex);
    if (m_thread.joinable()) m_thread.join();
  }

  int PostEvent(ICmEvent* pEvent, int /*nPriority*/, int /*nFlags*/) override {
    if (pEvent == nullptr) return CM_ERROR_INVALID_ARG;
    {
      std::lock_guard<std::mutex> lock(m_mutex);
      if (!m_bStopping) {
        m_queue.push_back(Item{pEvent, nullptr});
        m_cond.notify_all();
        return CM_OK;
      }
    }
    pEvent->OnDestorySelf();
    return CM_ERROR_NOT_INITIALIZED;
  }

  int SendEvent(ICmEvent* pEvent, int /*nFlags*/) override {
    if (pEvent == nullptr) return CM_ERROR_INVALID_ARG;
    if (GetThreadSelfId() == m_threadId) {
      FireAndDispose(pEvent);
      return CM_OK;
    }
    SendState state;
    std::unique_lock<std::mutex> lock(m_mutex);
    if (m_bStopping) {
      lock.unlock();
      pEvent->OnDestorySelf();
      return CM_ERROR_NOT_INITIALIZED;
    }
    m_queue.push_back(Item{pEvent, &state});
    m_cond.notify_all();
    m_cond.wait(lock, [&state] { return state.done; });
    return state.result;
  }

 private:
  struct SendState {
    bool done = false;
    int result = CM_OK;
  };
  struct Item {
    ICmEvent* event;
    SendState* sender;  // null for a posted event
  };

  void Run() {
    SetCurrentThreadName(m_strName.c_str());
    std::unique_lock<std::mutex> lock(m_mutex);
    m_threadId = GetThreadSelfId();
    m_cond.notify_all();
    for (;;) {
      m_cond.wait(lock, [this] { return m_bStopping || !m_queue.empty(); });
      if (m_queue.empty()) break;  // stopping, and everything has been fired
      Item item = m_queue.front();
      m_queue.pop_front();
      lock.unlock();
      FireAndDispose(item.event);
      lock.lock();
      if (item.sender != nullptr) {
        item.sender->done = true;
        m_cond.notify_all();
      }
    }
  }

  const bool m_bWithQueue;
  const std::string m_strName;
  std::mutex m_mutex;
  std::condition_variable m_cond;
  std::deque<Item> m_queue;
  bool m_bStopping = false;
  unsigned long m_threadId = 0;
  std::mutex m_joinMutex;  // serialises joins of concurrent Stop() calls
  std::thread m_thread;
};

}  // namespace

std::unique_ptr<ACmThread> CreateCmEventThread(const char* szName) {
  return std::make_unique<CCmThreadImpl>(true, szName);
}

std::unique_ptr<ACmThread> CreateCmPlainThread(const char* szName) {
  return std::make_unique<CCmThreadImpl>(false, szName);
}
