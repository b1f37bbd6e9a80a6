// The boundary between the library and its host: no exception of the
// library's own making (an allocation failure, a failed lock, ...) leaves an
// exported function or an operation of IKovaConfig or KovaConfigHelper.
//
//   return runAtHostBoundary("kovaStore::KovaConfig::SetKovaConfig", this,
//                            KOVA_E_FAIL, [&] { return ...; });
//
// What an observer's callback or provider throws is the caller's and passes
// through unchanged: the dispatch marks such an exception as it leaves the
// callable (markCallableException), and the boundary lets a marked exception
// go on. The mark is per thread and names one exception object; it holds that
// object until the thread's next marked exception or its exit, so it can
// never be mistaken for a later exception of the library's own. A thread
// whose thread-local mark is already gone (a host's thread-local destructor
// running after the library's) keeps its marks in a process-wide table
// instead, one per thread id, taken over by a later thread of the same id.
#ifndef OSTREL_SRC_KOVACONFIG_HOST_BOUNDARY_H_
#define OSTREL_SRC_KOVACONFIG_HOST_BOUNDARY_H_

namespace kovaStore {

// REQUIRES: called from inside a catch handler. Marks the exception being
// handled as one that a callback or provider threw.
void markCallableException() noexcept;
// REQUIRES: called from inside a catch handler. True when the exception being
// handled was marked by markCallableException().
bool isCallableException() noexcept;
// REQUIRES: called from inside a catch handler. Writes the level-0 line
// "<szOperation>, exception=<what()> [this=<self>]" (without the suffix for a
// null `self`); never throws.
void traceCaughtException(const char* szOperation, const void* self) noexcept;

// Runs `operation` and returns its result. An exception of the library's own
// making is traced at level 0 and answered with `failed`; a callable's own
// exception is rethrown unchanged.
//
// Every caller passes a lambda of its own, so each instantiation has one
// caller and is folded into it: the boundary costs an operation no call.
#if defined(__GNUC__)
#define OSTREL_BOUNDARY_INLINE __attribute__((always_inline)) inline
#else
#define OSTREL_BOUNDARY_INLINE inline
#endif
template <class Result, class Operation>
OSTREL_BOUNDARY_INLINE Result runAtHostBoundary(const char* szOperation,
                                                const void* self, Result failed,
                                                Operation&& operation) {
  try {
    return operation();
  } catch (...) {
    if (isCallableException()) throw;
    traceCaughtException(szOperation, self);
    return failed;
  }
}

// Runs a callback or provider, marking whatever it throws as its own.
template <class Callable, class Event>
auto callObserver(const Callable& callable, const Event& event)
    -> decltype(callable(event)) {
  try {
    return callable(event);
  } catch (...) {
    markCallableException();
    throw;
  }
}

}  // namespace kovaStore

#endif  // OSTREL_SRC_KOVACONFIG_HOST_BOUNDARY_H_
