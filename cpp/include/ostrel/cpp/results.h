// Result codes as names and as success or failure, and the package version.
//
//   KOVA_RESULT r = store.Set(kovaStore::KovaConfigGroup_Audio, "AecMode", 3);
//   if (!ostrel::Succeeded(r, ostrel::Operation::kSet))
//     log("AecMode refused: %s", ostrel::ResultName(r).c_str());
//   log("ostrel %s", ostrel::Version());
//
// Several codes that read like errors mean success for the operation that
// returns them. Which codes count as success, per operation:
//
// clang-format off
//   Operation     Functions of the exported interface
//                   codes that mean success   what they say
//
//   kSet          SetKovaConfig, SetFeatureToggle, Store::Set<T>
//                   KOVA_S_OK                 stored, observers told
//                   KOVA_E_NOOBSERVER         stored, nobody observes it
//                   KOVA_E_UNCHANGED          the value was stored already
//   kGet          GetKovaConfig
//                   KOVA_S_OK                 (KOVA_E_FAIL: not stored)
//   kGetDynamic   GetDynamicConfig
//                   KOVA_S_OK                 (KOVA_E_NOOBSERVER: no
//                                             provider, nothing was read)
//   kRemove       RemoveKovaConfig, RemoveKovaConfigByGroup
//                   KOVA_S_OK                 also when nothing was stored
//   kUnsubscribe  UnsubscribeConfig
//                   KOVA_S_OK                 (KOVA_E_FAIL: unknown id)
//   kApply        ApplyKovaConfigs
//                   KOVA_S_OK
//   kCreate       CreateKovaConfig, createOstrelEntity
//                   KOVA_S_OK
//   kRelease      ReleaseKovaConfig
//                   KOVA_S_OK                 (KOVA_S_FALSE: not a store the
//                                             registry holds, a caller's bug)
//   kCleanUp      CleanUpKovaConfig
//                   KOVA_S_OK
//                   KOVA_S_FALSE              already cleaned up, or no
//                                             store: nothing left to do
// clang-format on
//
// Every other code is a failure for every operation.
//
// Threads: every function here may be called from any thread.
#ifndef OSTREL_CPP_INCLUDE_OSTREL_CPP_RESULTS_H_
#define OSTREL_CPP_INCLUDE_OSTREL_CPP_RESULTS_H_

#include <ostrel.h>  // the exported interface (ostrel/include)

#include <string>

namespace ostrel {

enum class Operation {
  kSet,
  kGet,
  kGetDynamic,
  kRemove,
  kUnsubscribe,
  kApply,
  kCreate,
  kRelease,
  kCleanUp,
};

// The code's name, "KOVA_E_NOOBSERVER"; for a code that is not one of the
// library's, its value as "0x" and eight hex digits.
std::string ResultName(KOVA_RESULT code);

// Whether `code` means success for `operation`, as tabled above.
bool Succeeded(KOVA_RESULT code, Operation operation);
// The same for a set, the operation whose success codes surprise most:
// Succeeded(code, Operation::kSet).
inline bool Succeeded(KOVA_RESULT code) {
  return Succeeded(code, Operation::kSet);
}

// The package version these headers and this library were built from,
// "MAJOR.MINOR.PATCH" (the OSTREL_VERSION_* macros as text).
const char* Version();

}  // namespace ostrel

#endif  // OSTREL_CPP_INCLUDE_OSTREL_CPP_RESULTS_H_
