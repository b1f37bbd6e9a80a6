#include "toggle_names.h"

#include <gtest/gtest.h>

#include "ostrel/KovaFeatureToggle.h"
#include "report_text.h"

namespace ostrel_cli {
namespace {

// Names match exactly; a typo or a case change gets the closest names, and
// nothing plausible gets no suggestion rather than a random one.
TEST(ToggleNamesTest, KnowsNamesExactlyAndSuggestsTheClosestForTypos) {
  EXPECT_EQ(FeatureToggleId("KOVA_FT_Unknow"), KOVA_FT_Unknow);
  EXPECT_FALSE(IsFeatureToggleName("enablerelaymode"));
  for (const char* typo : {"EnableRelayMod", "enablerelaymode"}) {
    const std::vector<std::string> closest = ClosestToggleNames(typo);
    ASSERT_FALSE(closest.empty()) << typo;
    EXPECT_EQ(closest[0], "EnableRelayMode") << typo;
  }
  EXPECT_TRUE(ClosestToggleNames("zzzzzzzzzzzzzzzzzzzzzzzzzzzzzz").empty());
  EXPECT_TRUE(ClosestToggleNames(std::string(100000, 'E')).empty());
}

TEST(ToggleNamesTest, EditDistanceWeighsCaseChangesHalf) {
  EXPECT_EQ(WeightedEditDistance("abc", "aBc"), 1u);
  EXPECT_EQ(WeightedEditDistance("", "abcd"), 8u);
}

}  // namespace
}  // namespace ostrel_cli
