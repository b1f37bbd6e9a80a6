#include "config_groups.h"

#include <gtest/gtest.h>

#include <string>

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

}  // namespace
}  // namespace kovaStore
