#include "config_groups.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>

namespace kovaStore {
namespace {

// Every name is checked by the store's dump of all groups; here the round
// trip and the names that are no group.
TEST(ConfigGroupsTest, NamesRoundTripAndOthersAreRefused) {
  for (int i = KovaConfigGroup_Common; i < kKovaConfigGroupCount; ++i) {
    const auto group = static_cast<KovaConfigGroup>(i);
    EXPECT_TRUE(isStorableGroup(group));
    EXPECT_EQ(stringToGroup(groupName(group)), group);
  }
  EXPECT_EQ(groupToString(KovaConfigGroup_LastGroup), "LastGroup");
  for (const auto group :
       {KovaConfigGroup_LastGroup, KovaConfigGroup_Undefined,
        static_cast<KovaConfigGroup>(KovaConfigGroup_LastGroup + 1)}) {
    EXPECT_FALSE(isStorableGroup(group)) << group;
    EXPECT_EQ(
        group == KovaConfigGroup_LastGroup ? "LastGroup" : "Undefined_Group",
        groupToString(group));
  }
  for (const std::string& name :
       {std::string("common"), std::string(), std::string("LastGroup"),
        std::string("Undefined_Group"), std::string("Audio\0x", 7)})
    EXPECT_EQ(stringToGroup(name), KovaConfigGroup_LastGroup) << name;
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
