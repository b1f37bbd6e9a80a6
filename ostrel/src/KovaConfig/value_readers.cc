// The exported value readers: one read of a call's store through a temporary
// KovaConfigHelper.
#include "config_groups.h"
#include "ostrel/KovaConfigApi.h"
#include "ostrel/KovaConfigHelper.h"

namespace kovaStore {

namespace {

// The helper takes a registry reference for the read and gives it back when
// it goes; for a call without a store the store it created stays behind
// (count 1) until the call is cleaned up.
KOVA_RESULT readValue(KovaConfigGroup group, const char* name,
                      ConfigData& value, uint32_t callId) {
  if (callId == 0xFFFFFFFF) return KOVA_E_INVALIDARG;
  KovaConfigHelper helper(callId);
  return helper.GetKovaConfig(name, value, group);
}

}  // namespace

extern "C" {

KOVA_RESULT GetKovaConfigValue(kova::KovaSessionType sessionType,
                               const char* name, ConfigData& value,
                               uint32_t callId) {
  return readValue(sessionTypeToGroup(sessionType), name, value, callId);
}

KOVA_RESULT GetKovaConfigValueEx(KovaConfigGroup group, const char* name,
                                 ConfigData& value, uint32_t callId) {
  return readValue(group, name, value, callId);
}

}  // extern "C"

}  // namespace kovaStore
