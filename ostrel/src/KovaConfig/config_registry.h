// The store registry's internals: the limit on function tracers.
//
// The registry itself (one store per call id, with a count of references
// handed out) lives in config_registry.cc behind the exported functions of
// KovaConfigApi.h; a plain std::mutex guards it, and every entry point may be
// called from any thread except from inside a store's destructor, which runs
// under that mutex.
#ifndef OSTREL_SRC_KOVACONFIG_CONFIG_REGISTRY_H_
#define OSTREL_SRC_KOVACONFIG_CONFIG_REGISTRY_H_

#include <atomic>

namespace kovaStore {

// Functions that trace their whole run do so only for their first calls in
// the process.
constexpr int kFuncTracerCallLimit = 150;

// Counts one call against `calls` and yields true while fewer than
// kFuncTracerCallLimit calls have been counted; after that yields false and
// leaves the counter alone. Any thread may call it.
bool claimFuncTracerCall(std::atomic<int>& calls);

}  // namespace kovaStore

#endif  // OSTREL_SRC_KOVACONFIG_CONFIG_REGISTRY_H_
