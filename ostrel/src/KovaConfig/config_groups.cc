#include "config_groups.h"

#include <cstring>

namespace kovaStore {

namespace {

// Indexed by group number; the order is also the order in which
// stringToGroup() compares.
const char* const kGroupNames[kKovaConfigGroupCount] = {
    "Common",     "Feature", "Metrics",      "Audio",
    "AudioSlide", "Video",   "VideoSlide",   "Application",
    "Gamestate",  "AudioSi", "Transmission", "TAOnly"};

}  // namespace

const char* groupName(KovaConfigGroup group) {
  if (isStorableGroup(group)) return kGroupNames[group];
  if (group == KovaConfigGroup_LastGroup) return "LastGroup";
  return "Undefined_Group";
}

std::string groupToString(KovaConfigGroup group) { return groupName(group); }

KovaConfigGroup stringToGroup(std::string name) {
  for (int i = 0; i < kKovaConfigGroupCount; ++i) {
    const size_t length = std::strlen(kGroupNames[i]);
    if (name.size() == length &&
        std::memcmp(name.data(), kGroupNames[i], length) == 0) {
      return static_cast<KovaConfigGroup>(i);
    }
  }
  return KovaConfigGroup_LastGroup;
}

KovaConfigGroup sessionTypeToGroup(kova::KovaSessionType sessionType) {
  switch (sessionType) {
    case kova::KovaSessionType_Audio:
      return KovaConfigGroup_Audio;
    case kova::KovaSessionType_Video:
      return KovaConfigGroup_Video;
    case kova::KovaSessionType_VideoSlide:
      return KovaConfigGroup_VideoSlide;
    case kova::KovaSessionType_AudioSlide:
      return KovaConfigGroup_AudioSlide;
    case kova::KovaSessionType_Application:
      return KovaConfigGroup_Application;
    case kova::KovaSessionType_Gamestate:
      return KovaConfigGroup_Gamestate;
    case kova::KovaSessionType_AudioSi:
      return KovaConfigGroup_AudioSi;
    default:
      return KovaConfigGroup_Undefined;
  }
}

kova::KovaSessionType groupToSessionType(KovaConfigGroup group) {
  switch (group) {
    case KovaConfigGroup_Audio:
      return kova::KovaSessionType_Audio;
    case KovaConfigGroup_AudioSlide:
      return kova::KovaSessionType_AudioSlide;
    case KovaConfigGroup_Video:
      return kova::KovaSessionType_Video;
    case KovaConfigGroup_VideoSlide:
      return kova::KovaSessionType_VideoSlide;
    case KovaConfigGroup_Application:
      return kova::KovaSessionType_Application;
    case KovaConfigGroup_Gamestate:
      return kova::KovaSessionType_Gamestate;
    case KovaConfigGroup_AudioSi:
      return kova::KovaSessionType_AudioSi;
    default:
      return kova::KovaSessionType_None;
  }
}

}  // namespace kovaStore
