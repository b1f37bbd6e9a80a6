// Lock annotations for clang's thread-safety analysis.
//
//   class Table {
//     void Add(int v) EXCLUDES(m_mutex);
//     void AddLocked(int v) REQUIRES(m_mutex);
//     kovaStore::Mutex m_mutex;
//     std::vector<int> m_values GUARDED_BY(m_mutex);
//   };
//
// With clang and -Wthread-safety the compiler checks at each use that the
// named lock is held (GUARDED_BY, REQUIRES), not held (EXCLUDES), or taken
// and given back (ACQUIRE, RELEASE) as declared. The checks are local to one
// function and follow no pointer handed across calls; the lock types that
// carry them are in support/mutex.h. Other compilers see nothing: every macro
// expands to nothing there.
//
// NO_THREAD_SAFETY_ANALYSIS turns the checks off for one function; it goes on
// the smallest function that the analysis cannot follow, with a comment why.
#ifndef OSTREL_SRC_SUPPORT_THREAD_ANNOTATIONS_H_
#define OSTREL_SRC_SUPPORT_THREAD_ANNOTATIONS_H_

#if defined(__clang__) && !defined(SWIG)
#define OSTREL_THREAD_ANNOTATION(x) __attribute__((x))
#else
#define OSTREL_THREAD_ANNOTATION(x)
#endif

// A class whose objects are locks.
#ifndef CAPABILITY
#define CAPABILITY(x) OSTREL_THREAD_ANNOTATION(capability(x))
#endif
// A class whose objects hold a lock for their lifetime.
#ifndef SCOPED_CAPABILITY
#define SCOPED_CAPABILITY OSTREL_THREAD_ANNOTATION(scoped_lockable)
#endif
// A member that only a holder of the lock reads or writes.
#ifndef GUARDED_BY
#define GUARDED_BY(x) OSTREL_THREAD_ANNOTATION(guarded_by(x))
#endif
// A pointer member whose target only a holder of the lock reads or writes.
#ifndef PT_GUARDED_BY
#define PT_GUARDED_BY(x) OSTREL_THREAD_ANNOTATION(pt_guarded_by(x))
#endif
// The lock that is always taken before (after) the named ones.
#ifndef ACQUIRED_BEFORE
#define ACQUIRED_BEFORE(...) \
  OSTREL_THREAD_ANNOTATION(acquired_before(__VA_ARGS__))
#endif
#ifndef ACQUIRED_AFTER
#define ACQUIRED_AFTER(...) \
  OSTREL_THREAD_ANNOTATION(acquired_after(__VA_ARGS__))
#endif
// The caller holds the locks (exclusively, or at least shared).
#ifndef REQUIRES
#define REQUIRES(...) OSTREL_THREAD_ANNOTATION(requires_capability(__VA_ARGS__))
#endif
#ifndef REQUIRES_SHARED
#define REQUIRES_SHARED(...) \
  OSTREL_THREAD_ANNOTATION(requires_shared_capability(__VA_ARGS__))
#endif
// The function takes the locks and returns holding them.
#ifndef ACQUIRE
#define ACQUIRE(...) OSTREL_THREAD_ANNOTATION(acquire_capability(__VA_ARGS__))
#endif
#ifndef ACQUIRE_SHARED
#define ACQUIRE_SHARED(...) \
  OSTREL_THREAD_ANNOTATION(acquire_shared_capability(__VA_ARGS__))
#endif
// The function gives back locks the caller held.
#ifndef RELEASE
#define RELEASE(...) OSTREL_THREAD_ANNOTATION(release_capability(__VA_ARGS__))
#endif
#ifndef RELEASE_SHARED
#define RELEASE_SHARED(...) \
  OSTREL_THREAD_ANNOTATION(release_shared_capability(__VA_ARGS__))
#endif
// The function takes the locks when it returns the given value.
#ifndef TRY_ACQUIRE
#define TRY_ACQUIRE(...) \
  OSTREL_THREAD_ANNOTATION(try_acquire_capability(__VA_ARGS__))
#endif
// The caller must not hold the locks: the function takes them itself, or
// runs code (a callback) that may.
#ifndef EXCLUDES
#define EXCLUDES(...) OSTREL_THREAD_ANNOTATION(locks_excluded(__VA_ARGS__))
#endif
// The function checks at run time that the lock is held, and tells the
// analysis so.
#ifndef ASSERT_CAPABILITY
#define ASSERT_CAPABILITY(x) OSTREL_THREAD_ANNOTATION(assert_capability(x))
#endif
// The function returns a reference to the named lock.
#ifndef RETURN_CAPABILITY
#define RETURN_CAPABILITY(x) OSTREL_THREAD_ANNOTATION(lock_returned(x))
#endif
#ifndef NO_THREAD_SAFETY_ANALYSIS
#define NO_THREAD_SAFETY_ANALYSIS \
  OSTREL_THREAD_ANNOTATION(no_thread_safety_analysis)
#endif

#endif  // OSTREL_SRC_SUPPORT_THREAD_ANNOTATIONS_H_
