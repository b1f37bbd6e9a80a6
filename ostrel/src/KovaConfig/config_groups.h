// Names of configuration groups and the two session-type mappings.
//
// A store keeps its values in groups 0 to 11; 12 (LastGroup) counts them and
// answers an unknown name, -1 (Undefined) stands for a session type without a
// group. These are pure functions over constant tables: any thread may call
// them at any time.
#ifndef OSTREL_SRC_KOVACONFIG_CONFIG_GROUPS_H_
#define OSTREL_SRC_KOVACONFIG_CONFIG_GROUPS_H_

#include <cstdint>
#include <string>

#include "ostrel/KovaConfigTypes.h"

namespace kovaStore {

// The number of storable groups, 0 to 11.
constexpr int kKovaConfigGroupCount = 12;

// True for groups 0 to 11; the value is tested as unsigned, so -1 and 12 fail.
inline bool isStorableGroup(KovaConfigGroup group) {
  return static_cast<uint32_t>(group) < kKovaConfigGroupCount;
}

// "Common" ... "TAOnly" for 0 to 11, "LastGroup" for 12, "Undefined_Group"
// for -1 and every other value. Never null; static storage.
const char* groupName(KovaConfigGroup group);
// The same as a string.
std::string groupToString(KovaConfigGroup group);
// The group whose name is exactly `name` (case-sensitive), else
// KovaConfigGroup_LastGroup; "LastGroup" and "Undefined_Group" are unknown.
KovaConfigGroup stringToGroup(std::string name);

// Audio->Audio, Video->Video, VideoSlide->VideoSlide, AudioSlide->AudioSlide,
// Application->Application, Gamestate->Gamestate, AudioSi->AudioSi; every
// other session type gives KovaConfigGroup_Undefined.
KovaConfigGroup sessionTypeToGroup(kova::KovaSessionType sessionType);
// The inverse for groups 3 to 9; every other group gives
// KovaSessionType_None.
kova::KovaSessionType groupToSessionType(KovaConfigGroup group);

}  // namespace kovaStore

#endif  // OSTREL_SRC_KOVACONFIG_CONFIG_GROUPS_H_
