#include "config_groups.h"

#include <gtest/gtest.h>

#include <string>

namespace kovaStore {
namespace {

TEST(ConfigGroupsTest, NamesRoundTripAndOthersAreRefused) {
  const char* const names[] = {"Common",     "Feature",      "Metrics",
                               "Audio",      "AudioSlide",   "Video",
                               "VideoSlide", "Application",  "Gamestate",
                               "AudioSi",    "Transmission", "TAOnly"};
  for (int i = 0; i < kKovaConfigGroupCount; ++i) {
    const auto group = static_cast<KovaConfigGroup>(i);
    EXPECT_TRUE(isStorableGroup(group));
    EXPECT_STREQ(groupName(group), names[i]);
    EXPECT_EQ(stringToGroup(groupToString(group)), group);
  }
  EXPECT_EQ(groupToString(KovaConfigGroup_LastGroup), "LastGroup");
  for (int value : {-1, 13}) {
    const auto group = static_cast<KovaConfigGroup>(value);
    EXPECT_EQ(groupToString(group), "Undefined_Group") << value;
    EXPECT_FALSE(isStorableGroup(group)) << value;
  }
  EXPECT_FALSE(isStorableGroup(KovaConfigGroup_LastGroup));
  const std::string unknown[] = {"common", "", "LastGroup", "Undefined_Group",
                                 std::string("Audio\0x", 7)};
  for (const std::string& name : unknown) {
    EXPECT_EQ(stringToGroup(name), KovaConfigGroup_LastGroup) << name;
  }
}

TEST(ConfigGroupsTest, SessionTypesMapToTheirGroupsAndBack) {
  const std::pair<int, KovaConfigGroup> bound[] = {
      {kova::KovaSessionType_Audio, KovaConfigGroup_Audio},
      {kova::KovaSessionType_Video, KovaConfigGroup_Video},
      {kova::KovaSessionType_VideoSlide, KovaConfigGroup_VideoSlide},
      {kova::KovaSessionType_AudioSlide, KovaConfigGroup_AudioSlide},
      {kova::KovaSessionType_Application, KovaConfigGroup_Application},
      {kova::KovaSessionType_Gamestate, KovaConfigGroup_Gamestate},
      {kova::KovaSessionType_AudioSi, KovaConfigGroup_AudioSi},
      {6, KovaConfigGroup_Undefined},
      {15, KovaConfigGroup_Undefined},
      {-1, KovaConfigGroup_Undefined}};
  for (const auto& [type, group] : bound) {
    const auto sessionType = static_cast<kova::KovaSessionType>(type);
    EXPECT_EQ(sessionTypeToGroup(sessionType), group) << type;
    if (group != KovaConfigGroup_Undefined) {
      EXPECT_EQ(groupToSessionType(group), sessionType);
    }
  }
  for (int group : {0, 11, 12, -1}) {
    EXPECT_EQ(groupToSessionType(static_cast<KovaConfigGroup>(group)),
              kova::KovaSessionType_None)
        << group;
  }
}

}  // namespace
}  // namespace kovaStore
