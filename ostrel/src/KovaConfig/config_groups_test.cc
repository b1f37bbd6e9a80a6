#include "config_groups.h"

#include <gtest/gtest.h>

namespace kovaStore {
namespace {

TEST(ConfigGroupsTest, NamesRoundTripForStorableGroups) {
  const char* const names[] = {"Common",     "Feature",      "Metrics",
                               "Audio",      "AudioSlide",   "Video",
                               "VideoSlide", "Application",  "Gamestate",
                               "AudioSi",    "Transmission", "TAOnly"};
  for (int i = 0; i < kKovaConfigGroupCount; ++i) {
    const auto group = static_cast<KovaConfigGroup>(i);
    EXPECT_EQ(groupToString(group), names[i]);
    EXPECT_STREQ(groupName(group), names[i]);
    EXPECT_EQ(stringToGroup(names[i]), group);
  }
}

TEST(ConfigGroupsTest, OutOfRangeGroupsHaveFixedNames) {
  EXPECT_EQ(groupToString(KovaConfigGroup_LastGroup), "LastGroup");
  for (int value : {-1, 13, 1000, -2}) {
    EXPECT_EQ(groupToString(static_cast<KovaConfigGroup>(value)),
              "Undefined_Group")
        << value;
  }
}

TEST(ConfigGroupsTest, UnknownNamesGiveLastGroup) {
  for (const char* name : {"common", "COMMON", "", "LastGroup",
                           "Undefined_Group", "Audio ", "Aud"}) {
    EXPECT_EQ(stringToGroup(name), KovaConfigGroup_LastGroup) << name;
  }
  // A name with a NUL inside is not the name before the NUL.
  EXPECT_EQ(stringToGroup(std::string("Audio\0x", 7)),
            KovaConfigGroup_LastGroup);
}

TEST(ConfigGroupsTest, StorableGroupsAreZeroToEleven) {
  EXPECT_TRUE(isStorableGroup(KovaConfigGroup_Common));
  EXPECT_TRUE(isStorableGroup(KovaConfigGroup_TAOnly));
  EXPECT_FALSE(isStorableGroup(KovaConfigGroup_LastGroup));
  EXPECT_FALSE(isStorableGroup(KovaConfigGroup_Undefined));
  EXPECT_FALSE(isStorableGroup(static_cast<KovaConfigGroup>(-100)));
}

TEST(ConfigGroupsTest, SessionTypesMapToTheirGroupsAndBack) {
  const struct {
    kova::KovaSessionType type;
    KovaConfigGroup group;
  } pairs[] = {
      {kova::KovaSessionType_Audio, KovaConfigGroup_Audio},
      {kova::KovaSessionType_Video, KovaConfigGroup_Video},
      {kova::KovaSessionType_VideoSlide, KovaConfigGroup_VideoSlide},
      {kova::KovaSessionType_AudioSlide, KovaConfigGroup_AudioSlide},
      {kova::KovaSessionType_Application, KovaConfigGroup_Application},
      {kova::KovaSessionType_Gamestate, KovaConfigGroup_Gamestate},
      {kova::KovaSessionType_AudioSi, KovaConfigGroup_AudioSi},
  };
  for (const auto& pair : pairs) {
    EXPECT_EQ(sessionTypeToGroup(pair.type), pair.group);
    EXPECT_EQ(groupToSessionType(pair.group), pair.type);
  }
}

TEST(ConfigGroupsTest, UnboundValuesMapToNothing) {
  for (int type : {6, 7, 8, 9, 10, 11, 12, 13, 15, 16, -1}) {
    EXPECT_EQ(sessionTypeToGroup(static_cast<kova::KovaSessionType>(type)),
              KovaConfigGroup_Undefined)
        << type;
  }
  for (int group : {0, 1, 2, 10, 11, 12, -1, 99}) {
    EXPECT_EQ(groupToSessionType(static_cast<KovaConfigGroup>(group)),
              kova::KovaSessionType_None)
        << group;
  }
}

}  // namespace
}  // namespace kovaStore
