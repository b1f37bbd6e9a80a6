#include "config_groups.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>

namespace kovaStore {
namespace {

TEST(ConfigGroupsTest, NamesRoundTripAndOthersAreRefused) {
  const char* const names[] = {"Common",     "Feature",      "Metrics",
                               "Audio",      "AudioSlide",   "Video",
                               "VideoSlide", "Application",  "Gamestate",
                               "AudioSi",    "Transmission", "TAOnly"};
  for (int i = KovaConfigGroup_Common; i < kKovaConfigGroupCount; ++i) {
    const auto group = static_cast<KovaConfigGroup>(i);
    EXPECT_TRUE(isStorableGroup(group));
    EXPECT_STREQ(groupName(group), names[i]);
    EXPECT_EQ(stringToGroup(groupToString(group)), group);
  }
  EXPECT_EQ(groupToString(KovaConfigGroup_LastGroup), "LastGroup");
  EXPECT_FALSE(isStorableGroup(KovaConfigGroup_LastGroup));
  for (const auto group :
       {KovaConfigGroup_Undefined,
        static_cast<KovaConfigGroup>(KovaConfigGroup_LastGroup + 1)}) {
    EXPECT_EQ(groupToString(group), "Undefined_Group") << group;
    EXPECT_FALSE(isStorableGroup(group)) << group;
  }
  for (const std::string& name :
       {std::string("common"), std::string(), std::string("LastGroup"),
        std::string("Undefined_Group"), std::string("Audio\0x", 7)}) {
    EXPECT_EQ(stringToGroup(name), KovaConfigGroup_LastGroup) << name;
  }
}

TEST(ConfigGroupsTest, SessionTypesMapToTheirGroupsAndBack) {
  using namespace kova;
  const std::pair<int, KovaConfigGroup> bound[] = {
      {KovaSessionType_Audio, KovaConfigGroup_Audio},
      {KovaSessionType_Video, KovaConfigGroup_Video},
      {KovaSessionType_VideoSlide, KovaConfigGroup_VideoSlide},
      {KovaSessionType_AudioSlide, KovaConfigGroup_AudioSlide},
      {KovaSessionType_Application, KovaConfigGroup_Application},
      {KovaSessionType_Gamestate, KovaConfigGroup_Gamestate},
      {KovaSessionType_AudioSi, KovaConfigGroup_AudioSi},
      {KovaSessionType_Gamestate + 1, KovaConfigGroup_Undefined},
      {KovaSessionType_None, KovaConfigGroup_Undefined},
      {-1, KovaConfigGroup_Undefined}};
  for (const auto& [type, group] : bound) {
    const auto sessionType = static_cast<KovaSessionType>(type);
    EXPECT_EQ(sessionTypeToGroup(sessionType), group) << type;
    if (group != KovaConfigGroup_Undefined) {
      EXPECT_EQ(groupToSessionType(group), sessionType);
    }
  }
  for (const auto group :
       {KovaConfigGroup_Common, KovaConfigGroup_TAOnly,
        KovaConfigGroup_LastGroup, KovaConfigGroup_Undefined}) {
    EXPECT_EQ(groupToSessionType(group), KovaSessionType_None) << group;
  }
}

}  // namespace
}  // namespace kovaStore
