// The record handed to every observer callback and value provider.
//
// A callback receives it by const reference and must not keep the reference
// beyond the call: it belongs to the dispatcher, or to the event that carried
// it to the observer's thread.
#ifndef OSTREL_INCLUDE_KOVACONFIGEVENT_H_
#define OSTREL_INCLUDE_KOVACONFIGEVENT_H_

#include <ConfigData.h>

#include <string>

#include "KovaConfigTypes.h"

namespace kovaStore {

struct KovaConfigEvent {
  // The configuration name.
  std::string configName;
  // The value before the change; invalid when there was none (and for a
  // dynamic query).
  ConfigData oldValue;
  // The value after the change; invalid for a dynamic query.
  ConfigData newValue;
  // The parameter of a dynamic query; invalid for a change.
  ConfigData paramValue;
  // The group of the name.
  KovaConfigGroup group = KovaConfigGroup_Common;
  // The session type the group maps to (KovaSessionType_None for groups
  // without one).
  kova::KovaSessionType sessionType = kova::KovaSessionType_None;
};

}  // namespace kovaStore

#endif  // OSTREL_INCLUDE_KOVACONFIGEVENT_H_
