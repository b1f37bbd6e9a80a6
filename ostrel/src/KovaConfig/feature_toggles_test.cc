#include <gtest/gtest.h>

#include <set>
#include <string>

#include "KovaConfigApi.h"
#include "KovaConfigHelper.h"
#include "KovaFeatureToggle.h"

namespace kovaStore {
namespace {

constexpr uint32_t kCall = 0x46540001;

class FeatureToggleTest : public ::testing::Test {
 protected:
  void SetUp() override { DestroyKovaConfig(); }
  void TearDown() override { DestroyKovaConfig(); }
};

TEST(FeatureToggleTableTest, EveryIdHasItsOwnName) {
  std::set<std::string> names;
  for (uint32_t id = 0; id < kKovaFeatureToggleCount; ++id) {
    const char* name = KovaConfigHelper::GetFeatureToggleName(
        static_cast<KovaFeatureToggleID>(id));
    ASSERT_NE(nullptr, name) << id;
    EXPECT_NE('\0', name[0]) << id;
    names.insert(name);
  }
  // Also the two names chosen for 17 and 18 are new and distinct.
  EXPECT_EQ(251u, names.size());
  // Ids are compared unsigned: negative ones have no name either.
  EXPECT_EQ(nullptr, KovaConfigHelper::GetFeatureToggleName(
                         static_cast<KovaFeatureToggleID>(-1)));
  const struct {
    KovaFeatureToggleID id;
    int number;
    const char* name;
  } spots[] = {
      {KOVA_FT_ConnectionTimeEnhancement, 0, "ConnectionTimeEnhancement"},
      {KOVA_FT_media_pelo_rate_adaptation, 2, "media-pelo-rate-adaptation"},
      {KOVA_FT_EnablClipVolumeCtl, 6, "EnablClipVolumeCtl"},
      {KOVA_FT_EnableRelayMode, 247, "EnableRelayMode"},
      {KOVA_FT_Unknow, 250, "KOVA_FT_Unknow"},
  };
  for (const auto& spot : spots) {
    EXPECT_EQ(spot.number, static_cast<int>(spot.id));
    EXPECT_STREQ(spot.name, KovaConfigHelper::GetFeatureToggleName(spot.id));
  }
}

// Toggles live in "Feature", whatever the default group, and share their
// names with direct writes there.
TEST_F(FeatureToggleTest, TogglesLiveInFeatureWhateverTheDefaultGroup) {
  KovaConfigHelper h(kCall);
  ASSERT_EQ(KOVA_S_OK, h.SetKovaSessionType(kova::KovaSessionType_Audio));
  const auto relay = KOVA_FT_EnableRelayMode;
  std::string seen;
  EXPECT_NE(0u, h.SubscribeFeatureToggle(relay, [&](const KovaConfigEvent& e) {
    EXPECT_EQ(KovaConfigGroup_Feature, e.group);
    seen += e.configName + "=" + e.newValue.ToString() + ";";
  }));
  EXPECT_EQ(KOVA_S_OK, h.SetFeatureToggle(relay, ConfigData("1")));
  EXPECT_EQ(KOVA_S_OK, h.SetKovaConfig("EnableRelayMode", ConfigData("2"),
                                       KovaConfigGroup_Feature));
  EXPECT_EQ("EnableRelayMode=1;EnableRelayMode=2;", seen);
  EXPECT_EQ(ConfigData("2"), h.GetFeatureToggle(relay));
  // Group -1 means the helper's "Audio" here, which does not hold it.
  EXPECT_FALSE(h.HaveKovaConfig("EnableRelayMode"));
  EXPECT_EQ(KOVA_S_OK, h.UnsubscribeFeatureToggle(relay));
  EXPECT_EQ(KOVA_E_NOOBSERVER, h.SetFeatureToggle(relay, ConfigData("3")));
  EXPECT_EQ(KOVA_S_OK, h.RemoveFeatureToggle(relay));
  EXPECT_FALSE(h.HaveFeatureToggle(relay));
}

}  // namespace
}  // namespace kovaStore
