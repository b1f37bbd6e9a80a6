// Locks that clang's thread-safety analysis can check (see
// support/thread_annotations.h).
//
//   kovaStore::Mutex m_mutex;
//   int m_count GUARDED_BY(m_mutex) = 0;
//   ...
//   kovaStore::MutexLock lock(m_mutex);
//   ++m_count;
//
// What they guarantee: each type behaves as the standard type it wraps
// (Mutex: std::mutex, RecursiveMutex: std::recursive_mutex, ScopedLock:
// std::lock_guard, MutexUniqueLock: std::unique_lock without its checks for
// misuse, CondVar: std::condition_variable), allocates nothing, checks
// nothing at run time, and throws std::system_error where the standard lock
// does. What they add is the compile-time check: a member declared GUARDED_BY
// a lock may only be touched where the analysis sees that lock held, and a
// function declared EXCLUDES a lock may not be called where it is held.
//
// UtilLock wraps the util platform's recursive lock (CCmMutexThreadRecursive)
// for code inside ostrel; the util's own header is left as it is, so nothing
// changes for its users. Its guard may fail to lock: code must test
// UtilLockGuard::Locked() before it touches what the lock guards, a test the
// analysis does not make (it takes the guard as holding the lock).
//
// A recursive lock taken again on the same thread is invisible to the
// analysis (it sees one function at a time); a lock taken again in the same
// function is reported, so a function that relies on re-entry takes the lock
// once and calls out.
#ifndef OSTREL_SRC_SUPPORT_MUTEX_H_
#define OSTREL_SRC_SUPPORT_MUTEX_H_

#include <CmMutex.h>

#include <condition_variable>
#include <mutex>

#include "support/thread_annotations.h"

namespace kovaStore {

class CondVar;

// A lock its holder may not take again.
class CAPABILITY("mutex") Mutex {
 public:
  Mutex() = default;
  Mutex(const Mutex&) = delete;
  Mutex& operator=(const Mutex&) = delete;

  void Lock() ACQUIRE() { m_mutex.lock(); }
  void Unlock() RELEASE() { m_mutex.unlock(); }
  // Tells the analysis that the caller holds the lock (checks nothing).
  void AssertHeld() const ASSERT_CAPABILITY(this) {}

 private:
  friend class CondVar;
  std::mutex m_mutex;
};

// A lock its holder may take again (and must give back as often).
class CAPABILITY("mutex") RecursiveMutex {
 public:
  RecursiveMutex() = default;
  RecursiveMutex(const RecursiveMutex&) = delete;
  RecursiveMutex& operator=(const RecursiveMutex&) = delete;

  void Lock() ACQUIRE() { m_mutex.lock(); }
  void Unlock() RELEASE() { m_mutex.unlock(); }
  void AssertHeld() const ASSERT_CAPABILITY(this) {}

 private:
  std::recursive_mutex m_mutex;
};

// Holds a Mutex or RecursiveMutex from construction to destruction.
template <class M>
class SCOPED_CAPABILITY ScopedLock {
 public:
  explicit ScopedLock(M& mutex) ACQUIRE(mutex) : m_mutex(mutex) {
    m_mutex.Lock();
  }
  ~ScopedLock() RELEASE() { m_mutex.Unlock(); }
  ScopedLock(const ScopedLock&) = delete;
  ScopedLock& operator=(const ScopedLock&) = delete;

 private:
  M& m_mutex;
};
typedef ScopedLock<Mutex> MutexLock;
typedef ScopedLock<RecursiveMutex> RecursiveMutexLock;

// Holds a Mutex from construction to destruction, and may give it back and
// take it again in between (Unlock(), Lock()); it gives it back at the end
// only when it holds it then.
class SCOPED_CAPABILITY MutexUniqueLock {
 public:
  explicit MutexUniqueLock(Mutex& mutex) ACQUIRE(mutex) : m_mutex(mutex) {
    m_mutex.Lock();
  }
  ~MutexUniqueLock() RELEASE() {
    if (m_bHeld) m_mutex.Unlock();
  }
  MutexUniqueLock(const MutexUniqueLock&) = delete;
  MutexUniqueLock& operator=(const MutexUniqueLock&) = delete;

  void Lock() ACQUIRE() {
    m_mutex.Lock();
    m_bHeld = true;
  }
  void Unlock() RELEASE() {
    m_bHeld = false;
    m_mutex.Unlock();
  }
  bool Held() const { return m_bHeld; }

  // The same for a function this lock was handed to by reference: the
  // analysis does not follow the lock object across the call, so it is told
  // which mutex goes and comes back. `mutex` must be the one this lock is
  // for; the function that owns the lock uses Unlock() and Lock().
  void UnlockHanded(Mutex& mutex) RELEASE(mutex) NO_THREAD_SAFETY_ANALYSIS {
    static_cast<void>(mutex);
    Unlock();
  }
  void LockHanded(Mutex& mutex) ACQUIRE(mutex) NO_THREAD_SAFETY_ANALYSIS {
    static_cast<void>(mutex);
    Lock();
  }

 private:
  Mutex& m_mutex;
  bool m_bHeld = true;
};

// A condition variable used with a Mutex the caller holds.
class CondVar {
 public:
  CondVar() = default;
  CondVar(const CondVar&) = delete;
  CondVar& operator=(const CondVar&) = delete;

  // Gives `mutex` back while it waits, and holds it again on return, as
  // std::condition_variable::wait does. A predicate that reads what `mutex`
  // guards is declared REQUIRES(mutex) itself.
  template <class Predicate>
  void Wait(Mutex& mutex, Predicate ready) REQUIRES(mutex) {
    std::unique_lock<std::mutex> lock(mutex.m_mutex, std::adopt_lock);
    m_cond.wait(lock, ready);
    lock.release();
  }
  void NotifyOne() { m_cond.notify_one(); }
  void NotifyAll() { m_cond.notify_all(); }

 private:
  std::condition_variable m_cond;
};

// The util platform's recursive lock, wrapped for the analysis: Lock() may
// fail (it yields false then and the caller does not hold the lock).
class CAPABILITY("mutex") UtilLock {
 public:
  UtilLock() = default;
  UtilLock(const UtilLock&) = delete;
  UtilLock& operator=(const UtilLock&) = delete;

  bool Lock() TRY_ACQUIRE(true) { return m_mutex.Lock() == CM_OK; }
  void Unlock() RELEASE() { m_mutex.UnLock(); }

 private:
  CCmMutexThreadRecursive m_mutex;
};

// Tries to take a UtilLock for a scope; Locked() tells whether it did. The
// analysis takes the lock as held for the whole scope: a guard that did not
// lock must not be followed by a touch of guarded data.
class SCOPED_CAPABILITY UtilLockGuard {
 public:
  explicit UtilLockGuard(UtilLock& lock) ACQUIRE(lock)
      : m_lock(lock), m_bLocked(lock.Lock()) {}
  ~UtilLockGuard() RELEASE() {
    if (m_bLocked) m_lock.Unlock();
  }
  bool Locked() const { return m_bLocked; }
  UtilLockGuard(const UtilLockGuard&) = delete;
  UtilLockGuard& operator=(const UtilLockGuard&) = delete;

 private:
  UtilLock& m_lock;
  bool m_bLocked;
};

}  // namespace kovaStore

#endif  // OSTREL_SRC_SUPPORT_MUTEX_H_
