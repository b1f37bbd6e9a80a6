#include "host_boundary.h"

#include <exception>
#include <map>
#include <thread>

#include "support/mutex.h"
#include "support/trace.h"

namespace kovaStore {

namespace {

// Set when the thread's CallableMark has been destroyed; trivially
// destructible, so thread-local destructors that run later still read it.
thread_local bool t_bMarkGone = false;

// The last exception a callable of this thread threw.
struct CallableMark {
  std::exception_ptr exception;
  ~CallableMark() {
    exception = nullptr;
    t_bMarkGone = true;
  }
};
thread_local CallableMark t_mark;

// Marks made by threads whose CallableMark is gone (thread-local destructors
// of the host that run after it), one per thread, each replacing its
// thread's previous one; a later thread with the same id takes the slot
// over. Never destroyed: static destructors may still set values.
struct LateMarks {
  Mutex mutex;
  std::map<std::thread::id, std::exception_ptr> byThread GUARDED_BY(mutex);
};
LateMarks& lateMarks() {
  static LateMarks* marks = new LateMarks;
  return *marks;
}

}  // namespace

void markCallableException() noexcept {
  if (!t_bMarkGone) {
    t_mark.exception = std::current_exception();
    return;
  }
  // Out of memory the mark is lost: the exception is then taken for the
  // library's own and answered with the operation's failure.
  try {
    LateMarks& marks = lateMarks();
    MutexLock lock(marks.mutex);
    marks.byThread[std::this_thread::get_id()] = std::current_exception();
  } catch (...) {
  }
}

bool isCallableException() noexcept {
  if (!t_bMarkGone) {
    return t_mark.exception != nullptr &&
           t_mark.exception == std::current_exception();
  }
  try {
    LateMarks& marks = lateMarks();
    MutexLock lock(marks.mutex);
    const auto it = marks.byThread.find(std::this_thread::get_id());
    return it != marks.byThread.end() && it->second != nullptr &&
           it->second == std::current_exception();
  } catch (...) {
    return false;
  }
}

void traceCaughtException(const char* szOperation, const void* self) noexcept {
  // The trace sink belongs to the host; even its failure stays here.
  try {
    // The exception object outlives this function: the caller's handler
    // still holds it.
    const char* szWhat = "unknown exception";
    try {
      throw;
    } catch (const std::exception& e) {
      szWhat = e.what();
    } catch (...) {
    }
    if (self != nullptr) {
      KOVA_ERROR_TRACE(szOperation << ", exception=" << szWhat
                                   << KOVA_THIS_SUFFIX(self));
    } else {
      KOVA_ERROR_TRACE(szOperation << ", exception=" << szWhat);
    }
  } catch (...) {
  }
}

}  // namespace kovaStore
