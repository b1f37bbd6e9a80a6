#include "host_boundary.h"

#include <exception>

#include "trace.h"

namespace kovaStore {

namespace {

// The last exception a callable of this thread threw.
thread_local std::exception_ptr t_callableException;

}  // namespace

void markCallableException() noexcept {
  t_callableException = std::current_exception();
}

bool isCallableException() noexcept {
  return t_callableException != nullptr &&
         t_callableException == std::current_exception();
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
