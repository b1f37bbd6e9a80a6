// NeverDestroyed<T>(): one process-wide T, built on first use in static
// storage of its own and never destroyed.
//
//   std::mutex& listLock() { return NeverDestroyed<ListState>().mutex; }
//
// For state that a store may still touch while the library unloads: the
// object outlives every other static whatever the order of static
// destruction, and it owns no heap block, so a loaded and unloaded library
// leaks nothing. A T whose destructor does not matter (a mutex, counters)
// is the only kind to keep here. Building it on first use is thread-safe.
#ifndef OSTREL_SRC_SUPPORT_NEVER_DESTROYED_H_
#define OSTREL_SRC_SUPPORT_NEVER_DESTROYED_H_

#include <new>

namespace kovaStore {

template <class T>
T& NeverDestroyed() {
  alignas(T) static unsigned char storage[sizeof(T)];
  static T* const instance = new (storage) T();
  return *instance;
}

}  // namespace kovaStore

#endif  // OSTREL_SRC_SUPPORT_NEVER_DESTROYED_H_
