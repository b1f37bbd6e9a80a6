// The store registry's internals: the limit on function tracers, the store
// generation that lets clients notice DestroyKovaConfig(), the hand-over
// of a destroyed store's observers, and the stores it retired.
//
// The registry itself (one store per call id, with a count of references
// handed out) lives in config_registry.cc behind the exported functions of
// KovaConfigApi.h; a plain (not recursive) mutex guards it. A store destroyed
// by the registry is destroyed under that mutex, but its observers (and with
// them the callables that callers registered) are handed over first and
// released only after the mutex is unlocked, so a callable's destructor may
// call any registry function.
//
// Retired stores: DestroyKovaConfig() ends every store at once, but the
// memory behind a pointer handed out stays until its reference comes back.
// A store with references still out (beyond the call's own) is retired: it
// writes its destruction line and drops its values and observers there, as a
// destroyed store does, refuses every later operation, and keeps only its
// emptied tables and the names ever stored. ReleaseKovaConfig of it answers
// KOVA_S_FALSE, as for any pointer the registry no longer holds, and the last
// one deletes it, untraced, after the lock. Its address therefore stays taken
// while it can still be given back: a late release can never reach another
// store. A retired store that nobody gives back stays until unload.
#ifndef OSTREL_SRC_KOVACONFIG_CONFIG_REGISTRY_H_
#define OSTREL_SRC_KOVACONFIG_CONFIG_REGISTRY_H_

#include <KovaResult.h>

#include <atomic>
#include <cstdint>
#include <functional>

#include "ostrel/IKovaConfig.h"

namespace kovaStore {

// Functions that trace their whole run do so only for their first calls in
// the process.
constexpr int kFuncTracerCallLimit = 150;

// Counts one call against `calls` and yields true while fewer than
// kFuncTracerCallLimit calls have been counted; after that yields false and
// leaves the counter alone. Any thread may call it.
bool claimFuncTracerCall(std::atomic<int>& calls);

// The store generation: starts at 1 and grows by one with every
// DestroyKovaConfig() (and when the library is unloaded), under the registry
// lock before any store goes. A store obtained in generation G is alive at
// least while the generation is still G and its reference is held.
//
// Ordering: a client reads it with one relaxed load. When the destroy
// happens-before the read (the host's sequential shutdown: destroy, then tear
// modules down), coherence makes the read see the new value; a read racing a
// destroy on another thread is that caller's own race, as any use of a store
// racing its destruction is.
extern std::atomic<uint64_t> g_storeGeneration;
inline uint64_t storeGeneration() {
  return g_storeGeneration.load(std::memory_order_relaxed);
}

// The number of stores that DestroyKovaConfig() ended while references to
// them were still out and whose memory is kept until those come back (for
// tests).
uint32_t heldDestroyedStoreCount();

// CreateKovaConfig() that also yields, read under the registry lock, the
// generation the store was obtained in (untouched on failure).
KOVA_RESULT createKovaConfigIn(uint32_t callId, IKovaConfig** ppConfig,
                               uint64_t* pGeneration);

class KovaConfig;

// Calls `visit` with the call's store while holding the registry lock, so the
// store cannot go meanwhile; false (nothing called) when the call has no
// store. `visit` may take the store's own locks one at a time (reading the
// journal takes each value table's lock in turn) but must not call registry
// functions or observers.
bool visitKovaConfig(uint32_t callId,
                     const std::function<void(KovaConfig&)>& visit);
// Calls `visit` with every store, in ascending call id order, under the
// registry lock; the same rules.
void visitEveryKovaConfig(const std::function<void(KovaConfig&)>& visit);

}  // namespace kovaStore

#endif  // OSTREL_SRC_KOVACONFIG_CONFIG_REGISTRY_H_
