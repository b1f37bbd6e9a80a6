// Util locks.
//
// Lock() and UnLock() return CM_OK or CM_ERROR_FAILURE; they never throw. A
// caller that gets a failure from Lock() does not hold the lock.
//
//   CCmMutexThreadRecursive m;
//   if (m.Lock() == CM_OK) { ...; m.UnLock(); }
#ifndef UTIL_INCLUDE_CMMUTEX_H_
#define UTIL_INCLUDE_CMMUTEX_H_

#include <mutex>
#include <system_error>

#include "KovaResult.h"

template <class Mutex>
class CCmMutexThreadBaseT {
 public:
  CCmMutexThreadBaseT() = default;
  CCmMutexThreadBaseT(const CCmMutexThreadBaseT&) = delete;
  CCmMutexThreadBaseT& operator=(const CCmMutexThreadBaseT&) = delete;

  int Lock() {
    try {
      m_mutex.lock();
      return CM_OK;
    } catch (const std::system_error&) {
      return CM_ERROR_FAILURE;
    }
  }
  int UnLock() {
    m_mutex.unlock();
    return CM_OK;
  }
  int TryLock() { return m_mutex.try_lock() ? CM_OK : CM_ERROR_FAILURE; }

 private:
  Mutex m_mutex;
};

// A lock that its holding thread may not take again.
class CCmMutexThread : public CCmMutexThreadBaseT<std::mutex> {};
// A lock that its holding thread may take again (and must release as often).
class CCmMutexThreadRecursive
    : public CCmMutexThreadBaseT<std::recursive_mutex> {};

// Holds a util lock for a scope; Locked() tells whether Lock() succeeded.
template <class MutexT>
class CCmMutexGuardT {
 public:
  explicit CCmMutexGuardT(MutexT& m) : m_mutex(m), m_locked(m.Lock() == CM_OK) {}
  ~CCmMutexGuardT() {
    if (m_locked) m_mutex.UnLock();
  }
  bool Locked() const { return m_locked; }
  CCmMutexGuardT(const CCmMutexGuardT&) = delete;
  CCmMutexGuardT& operator=(const CCmMutexGuardT&) = delete;

 private:
  MutexT& m_mutex;
  bool m_locked;
};

#endif  // UTIL_INCLUDE_CMMUTEX_H_
