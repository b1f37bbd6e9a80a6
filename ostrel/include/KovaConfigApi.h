// The exported functions of the configuration store, under plain C names.
//
//   IKovaConfig* store = nullptr;              // must come in null
//   if (CreateKovaConfig(42, &store) == KOVA_S_OK) {
//     ...                                      // use the store
//     ReleaseKovaConfig(store);                // give this reference back
//   }
//   CleanUpKovaConfig(42);                     // when the call ends
//
// The first CreateKovaConfig() of a call id creates its store with two
// references: the caller's, given back by ReleaseKovaConfig(), and the
// call's own, given back once by CleanUpKovaConfig(). Each further create adds
// one. The store is destroyed with the last reference.
//
// Pointers and DestroyKovaConfig(): a store pointer's memory stays valid until
// its caller has given its reference back, whatever happens meanwhile.
// DestroyKovaConfig() ends every store at once, whatever its counts: the
// entries go, each store writes its destruction line and drops its values
// and observers. A store whose references are still out keeps its memory
// for them: operations through it are refused (GetKovaConfig KOVA_E_FAIL with
// the value marked invalid; the others KOVA_E_FAIL, observer id 0 or an empty
// dump text) and dump texts made before stay readable; ReleaseKovaConfig() of
// it returns KOVA_S_FALSE, as for any pointer the registry no longer holds,
// and the last one frees it. So a pointer still held never reaches a store
// made later, even at the same call id. A pointer whose reference has been
// given back must not be used again.
//
// All functions may be called from any thread, also from the destructor of a
// callback or provider registered with a store: stores are destroyed under
// the registry's lock, but the callables they held only after it has been
// released. GetKovaConfigValue() reads one value without holding a store;
// for a call without a store it leaves one behind (count 1) that the call's
// clean-up removes.
//
// No exception of the library's own making leaves these functions: it is
// traced at level 0 and the function fails (KOVA_E_FAIL; nothing for
// DestroyKovaConfig). DestroyKovaConfig() also ends the use of every store by
// the KovaConfigHelper objects bound before it (see KovaConfigHelper.h).
#ifndef OSTREL_INCLUDE_KOVACONFIGAPI_H_
#define OSTREL_INCLUDE_KOVACONFIGAPI_H_

#include <ConfigData.h>

#include <cstdint>

#include "IKovaConfig.h"
#include "KovaConfigTypes.h"
#include "ostrel_export.h"

namespace kovaStore {

extern "C" {

OSTREL_API KOVA_RESULT CreateKovaConfig(uint32_t callId,
                                        IKovaConfig** ppConfig);
OSTREL_API KOVA_RESULT ReleaseKovaConfig(IKovaConfig* pConfig);
OSTREL_API KOVA_RESULT CleanUpKovaConfig(uint32_t callId);
OSTREL_API void DestroyKovaConfig();
// The number of calls that have a store (for tests).
OSTREL_API uint32_t GetKovaConfigSizeForUT();
// Reads one value of the call's store, in the group bound to the session
// type. KOVA_E_INVALIDARG for call id 0xFFFFFFFF.
OSTREL_API KOVA_RESULT GetKovaConfigValue(kova::KovaSessionType sessionType,
                                          const char* name, ConfigData& value,
                                          uint32_t callId);
// The same with the group given directly.
OSTREL_API KOVA_RESULT GetKovaConfigValueEx(KovaConfigGroup group,
                                            const char* name, ConfigData& value,
                                            uint32_t callId);

}  // extern "C"

}  // namespace kovaStore

#endif  // OSTREL_INCLUDE_KOVACONFIGAPI_H_
