#include "observer_state.h"

#include <optional>
#include <utility>

namespace ostrel {
namespace detail {

namespace {

// The blocks whose entry points the calling thread is inside, innermost
// first.
struct FrameNode {
  const ObserverState* state;
  // Entered from a delivery the store is making on this thread, which holds
  // the store's claim on its observers until it returns.
  bool bInDispatch;
  FrameNode* previous;
};
thread_local FrameNode* tlInnermost = nullptr;

int FramesOf(const ObserverState* state) {
  int n = 0;
  for (const FrameNode* f = tlInnermost; f != nullptr; f = f->previous)
    n += f->state == state;
  return n;
}

// Carries one task to an ACmThread's queue.
class TaskEvent : public ICmEvent {
 public:
  explicit TaskEvent(std::function<void()> task) : m_task(std::move(task)) {}
  int OnEventFire() override {
    m_task();
    return 0;
  }

 private:
  std::function<void()> m_task;
};

}  // namespace

Executor PostTo(ACmThread& thread) {
  return [pThread = &thread](std::function<void()> task) {
    // A thread without a queue, or a stopped one, drops the delivery.
    if (ICmEventQueue* queue = pThread->GetEventQueue())
      queue->PostEvent(new TaskEvent(std::move(task)));
  };
}

// One raise of m_running made by this thread: listed in the thread's frames
// while it lasts, dropped (Leave) when it ends, also by an exception. It takes
// the caller's lock again if it is not held at the end.
// REQUIRES: m_running was raised for it under `lock`.
class ObserverState::Frame {
 public:
  Frame(ObserverState& state, kovaStore::MutexUniqueLock& lock,
        bool bInDispatch)
      : m_state(state), m_lock(lock), m_node{&state, bInDispatch, tlInnermost} {
    tlInnermost = &m_node;
  }
  // Unchecked: whether the owner still holds the lock here is known at run
  // time only, and the analysis cannot follow a conditional take.
  ~Frame() NO_THREAD_SAFETY_ANALYSIS {
    tlInnermost = m_node.previous;
    if (!m_lock.Held()) m_lock.Lock();
    m_state.Leave(m_lock);
  }
  Frame(const Frame&) = delete;
  Frame& operator=(const Frame&) = delete;

 private:
  ObserverState& m_state;
  kovaStore::MutexUniqueLock& m_lock;
  FrameNode m_node;
};

ObserverState::ObserverState(kovaStore::IKovaConfig* config,
                             KovaConfigGroup group, const char* name,
                             Callback callback, Executor executor)
    : m_config(config),
      m_group(group),
      m_name(name),
      m_callback(std::move(callback)),
      m_executor(std::move(executor)) {}

ObserverState::ObserverState(Provider provider)
    : m_config(nullptr),
      m_group(kovaStore::KovaConfigGroup_Undefined),
      m_provider(std::move(provider)) {}

kovaStore::KovaConfigCallback ObserverState::RawCallback() {
  std::shared_ptr<ObserverState> self = shared_from_this();
  if (m_executor) {
    return [self](const kovaStore::KovaConfigEvent& event) {
      self->OnRawEvent(event);
    };
  }
  return [self](const kovaStore::KovaConfigEvent& event) {
    self->Deliver(&event);
  };
}

kovaStore::KovaConfigProvider ObserverState::RawProvider() {
  std::shared_ptr<ObserverState> self = shared_from_this();
  return [self](const kovaStore::KovaConfigEvent& event) {
    return self->OnQuery(event);
  };
}

bool ObserverState::InsideDispatch() {
  for (const FrameNode* f = tlInnermost; f != nullptr; f = f->previous)
    if (f->bInDispatch) return true;
  return false;
}

void ObserverState::OnRawEvent(const kovaStore::KovaConfigEvent& event) {
  kovaStore::MutexUniqueLock lock(m_mutex);
  if (!m_alive) return;
  m_sessionType.store(event.sessionType, std::memory_order_relaxed);
  ++m_running;
  Frame frame(*this, lock, true);
  lock.Unlock();
  std::shared_ptr<ObserverState> self = shared_from_this();
  m_executor([self] { self->Deliver(nullptr); });
}

void ObserverState::Deliver(const kovaStore::KovaConfigEvent* raw) {
  kovaStore::MutexUniqueLock lock(m_mutex);
  if (!m_alive) return;
  if (raw != nullptr)
    m_sessionType.store(raw->sessionType, std::memory_order_relaxed);
  if (m_delivering) {
    // The running round reads the value again before it ends.
    m_dirty = true;
    return;
  }
  m_delivering = true;
  ++m_running;
  // Raw events come inline from the store; tasks from the executor.
  Frame frame(*this, lock, raw != nullptr);
  RunRounds(raw, lock);
}

void ObserverState::RunRounds(const kovaStore::KovaConfigEvent* raw,
                              kovaStore::MutexUniqueLock& lock) {
  while (m_alive) {
    // Cleared before the read: a change whose event comes after this point
    // either is seen by the read or sets it again.
    m_dirty = false;
    lock.UnlockHanded(m_mutex);
    ConfigData now;  // stays invalid when the name is not stored
    m_config->GetKovaConfig(m_group, m_name.c_str(), now);
    if (now != m_last && m_alive) {
      // The raw event says the same when it is the change from the last
      // value passed to the current one; it is passed as it is.
      const bool bPassRaw =
          raw != nullptr && raw->newValue == now && raw->oldValue == m_last;
      std::optional<kovaStore::KovaConfigEvent> own;
      if (!bPassRaw) {
        own.emplace();
        own->configName = m_name;
        own->oldValue = m_last;
        own->newValue = now;
        own->group = m_group;
        own->sessionType = m_sessionType.load(std::memory_order_relaxed);
      }
      m_last = std::move(now);
      try {
        m_callback(bPassRaw ? *raw : *own);
      } catch (...) {
        lock.LockHanded(m_mutex);
        m_delivering = false;
        throw;
      }
    }
    lock.LockHanded(m_mutex);
    raw = nullptr;
    if (!m_dirty) break;
  }
  m_delivering = false;
}

ConfigData ObserverState::OnQuery(const kovaStore::KovaConfigEvent& event) {
  kovaStore::MutexUniqueLock lock(m_mutex);
  if (!m_alive) return ConfigData();
  ++m_running;
  Frame frame(*this, lock, true);
  lock.Unlock();
  return m_provider(event);
}

void ObserverState::Leave(kovaStore::MutexUniqueLock& lock) {
  Callback callback;
  Executor executor;
  Provider provider;
  --m_running;
  if (!m_alive) {
    // Only End() waits, and only once the observer is dead. While it waits,
    // it destroys the callables itself before it returns; the last call
    // destroys them only when End() has returned already (it was called
    // from inside a call).
    if (m_running == 0 && !m_endWaiting) {
      callback.swap(m_callback);
      executor.swap(m_executor);
      provider.swap(m_provider);
    }
    m_idle.NotifyAll();
  }
  lock.UnlockHanded(m_mutex);
  // The callables go here, outside the lock.
}

void ObserverState::End() {
  Callback callback;
  Executor executor;
  Provider provider;
  {
    kovaStore::MutexLock lock(m_mutex);
    m_alive = false;
    const int own = FramesOf(this);
    m_endWaiting = true;
    m_idle.Wait(m_mutex,
                [this, own]() REQUIRES(m_mutex) { return m_running == own; });
    m_endWaiting = false;
    if (m_running == 0) {
      callback.swap(m_callback);
      executor.swap(m_executor);
      provider.swap(m_provider);
    }
  }
  // The callables go here, outside the lock and before End() returns.
}

}  // namespace detail
}  // namespace ostrel
