#include <gtest/gtest.h>

#include <cstring>
#include <set>
#include <string>
#include <vector>

#include "CmTrace.h"
#include "KovaConfigApi.h"
#include "KovaConfigHelper.h"
#include "KovaFeatureToggle.h"
#include "trace_capture.h"

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
  EXPECT_EQ(251u, names.size());

  const struct {
    KovaFeatureToggleID id;
    int number;
    const char* name;
  } spots[] = {
      {KOVA_FT_ConnectionTimeEnhancement, 0, "ConnectionTimeEnhancement"},
      {KOVA_FT_media_pelo_rate_adaptation, 2, "media-pelo-rate-adaptation"},
      {KOVA_FT_EnablClipVolumeCtl, 6, "EnablClipVolumeCtl"},
      {KOVA_FT_EnableRelitDetector, 16, "EnableRelitDetector"},
      {KOVA_FT_EnableMacHWMainVideoDecoder, 19, "EnableMacHWMainVideoDecoder"},
      {KOVA_FT_EnableDesktopST2_0, 32, "EnableDesktopST2_0"},
      {KOVA_FT_media_pelo_resilience_mode, 84, "media_pelo_resilience_mode"},
      {KOVA_FT_EnableMacScreenCaptureKitContentSharingPicker, 100,
       "EnableMacScreenCaptureKitContentSharingPicker"},
      {KOVA_FT_pelo_hybrid_allocation_method, 132,
       "pelo_hybrid_allocation_method"},
      {KOVA_FT_EnableKOVAGetConfigFromFile, 212, "EnableKOVAGetConfigFromFile"},
      {KOVA_FT_EnableRelayMode, 247, "EnableRelayMode"},
      {KOVA_FT_EnableEstimator, 249, "EnableEstimator"},
      {KOVA_FT_Unknow, 250, "KOVA_FT_Unknow"},
  };
  for (const auto& spot : spots) {
    EXPECT_EQ(spot.number, static_cast<int>(spot.id));
    EXPECT_STREQ(spot.name, KovaConfigHelper::GetFeatureToggleName(spot.id));
  }
  // The two names chosen for 17 and 18 are new and distinct.
  EXPECT_STRNE(KovaConfigHelper::GetFeatureToggleName(
                   static_cast<KovaFeatureToggleID>(17)),
               KovaConfigHelper::GetFeatureToggleName(
                   static_cast<KovaFeatureToggleID>(18)));

  EXPECT_EQ(nullptr, KovaConfigHelper::GetFeatureToggleName(
                         static_cast<KovaFeatureToggleID>(251)));
  EXPECT_EQ(nullptr, KovaConfigHelper::GetFeatureToggleName(
                         static_cast<KovaFeatureToggleID>(-1)));
}

TEST_F(FeatureToggleTest, TogglesLiveInFeatureWhateverTheDefaultGroup) {
  KovaConfigHelper helper(kCall);
  ASSERT_EQ(KOVA_S_OK, helper.SetKovaSessionType(kova::KovaSessionType_Audio));
  EXPECT_FALSE(helper.HaveFeatureToggle(KOVA_FT_EnableRelayMode));
  EXPECT_EQ(ConfigData(), helper.GetFeatureToggle(KOVA_FT_EnableRelayMode));
  EXPECT_EQ(KOVA_E_NOOBSERVER,
            helper.SetFeatureToggle(KOVA_FT_EnableRelayMode, ConfigData("1")));
  EXPECT_EQ(KOVA_E_UNCHANGED,
            helper.SetFeatureToggle(KOVA_FT_EnableRelayMode, ConfigData("1")));
  EXPECT_TRUE(helper.HaveFeatureToggle(KOVA_FT_EnableRelayMode));
  EXPECT_EQ(ConfigData("1"), helper.GetFeatureToggle(KOVA_FT_EnableRelayMode));
  EXPECT_EQ(ConfigData("1"),
            helper.GetKovaConfig("EnableRelayMode", KovaConfigGroup_Feature));
  // Group -1 means the helper's "Audio" here, which does not hold it.
  EXPECT_FALSE(helper.HaveKovaConfig("EnableRelayMode"));

  EXPECT_EQ(KOVA_S_OK, helper.RemoveFeatureToggle(KOVA_FT_EnableRelayMode));
  EXPECT_FALSE(helper.HaveFeatureToggle(KOVA_FT_EnableRelayMode));

  // The last entry is an ordinary toggle.
  EXPECT_EQ(KOVA_E_NOOBSERVER,
            helper.SetFeatureToggle(KOVA_FT_Unknow, ConfigData("x")));
  EXPECT_EQ(ConfigData("x"),
            helper.GetKovaConfig("KOVA_FT_Unknow", KovaConfigGroup_Feature));
}

TEST_F(FeatureToggleTest, SubscriptionSeesDirectWritesOfTheSameName) {
  KovaConfigHelper helper(kCall);
  std::vector<std::string> seen;
  const uint64_t id = helper.SubscribeFeatureToggle(
      KOVA_FT_EnableMusicDetection, [&seen](const KovaConfigEvent& e) {
        seen.push_back(e.configName + "=" + e.newValue.ToString());
        EXPECT_EQ(KovaConfigGroup_Feature, e.group);
      });
  EXPECT_NE(0u, id);

  IKovaConfig* store = nullptr;
  ASSERT_EQ(KOVA_S_OK, CreateKovaConfig(kCall, &store));
  EXPECT_EQ(KOVA_S_OK, store->SetKovaConfig(KovaConfigGroup_Feature,
                                            "EnableMusicDetection",
                                            ConfigData("on"), false, false));
  EXPECT_EQ((std::vector<std::string>{"EnableMusicDetection=on"}), seen);

  // A second subscription of the same toggle through this helper is refused.
  EXPECT_EQ(0u, helper.SubscribeFeatureToggle(KOVA_FT_EnableMusicDetection,
                                              [](const KovaConfigEvent&) {}));
  EXPECT_EQ(KOVA_S_OK,
            helper.UnsubscribeFeatureToggle(KOVA_FT_EnableMusicDetection));
  EXPECT_EQ(
      KOVA_E_NOOBSERVER,
      store->SetKovaConfig(KovaConfigGroup_Feature, "EnableMusicDetection",
                           ConfigData("off"), false, false));
  EXPECT_EQ(1u, seen.size());
  EXPECT_EQ(KOVA_E_FAIL,
            helper.UnsubscribeFeatureToggle(KOVA_FT_EnableMusicDetection));
  ReleaseKovaConfig(store);
}

TEST_F(FeatureToggleTest, IdsWithoutNameFailLikeANullName) {
  KovaConfigHelper helper(kCall);
  for (int raw : {251, -1}) {
    SCOPED_TRACE(raw);
    const auto id = static_cast<KovaFeatureToggleID>(raw);
    CmTraceCapture capture(0);
    const unsigned long reports = cm_assertion_report_count();
    EXPECT_EQ(KOVA_E_INVALIDARG, helper.SetFeatureToggle(id, ConfigData("1")));
    EXPECT_EQ(ConfigData(), helper.GetFeatureToggle(id));
    EXPECT_FALSE(helper.HaveFeatureToggle(id));
    EXPECT_EQ(KOVA_E_INVALIDARG, helper.RemoveFeatureToggle(id));
    EXPECT_EQ(4u, capture.Count(0,
                                " Assert failed: (szConfigName != NULL) && "
                                "(m_pIKovaConfig != NULL)"));
    EXPECT_EQ(0u,
              helper.SubscribeFeatureToggle(id, [](const KovaConfigEvent&) {}));
    EXPECT_EQ(1u, capture.Count(0,
                                " Assert failed: (m_pObserverHelper != NULL) "
                                "&& (szConfigName != NULL)"));
    EXPECT_EQ(5u, cm_assertion_report_count() - reports);
    // The null name reaches the observer bookkeeping, which refuses it.
    EXPECT_EQ(KOVA_E_INVALIDARG, helper.UnsubscribeFeatureToggle(id));
    EXPECT_EQ(1u, capture.Count(0,
                                "kovaStore::KovaConfigObserverHelper::"
                                "UnsubscribeConfigError parameters [this="));
    EXPECT_EQ(5u, cm_assertion_report_count() - reports);
    EXPECT_EQ(6u, capture.Lines().size());
  }
}

TEST_F(FeatureToggleTest, HelperWithoutStoreRemembersToggleSubscriptions) {
  KovaConfigHelper helper;
  int calls = 0;
  EXPECT_EQ(0u, helper.SubscribeFeatureToggle(
                    KOVA_FT_EnableXnn,
                    [&calls](const KovaConfigEvent&) { ++calls; }));
  {
    CmTraceCapture capture(0);
    EXPECT_EQ(KOVA_E_INVALIDARG,
              helper.SetFeatureToggle(KOVA_FT_EnableXnn, ConfigData("1")));
    EXPECT_FALSE(helper.HaveFeatureToggle(KOVA_FT_EnableXnn));
    EXPECT_EQ(2u, capture.Count(0, "Assert failed: (szConfigName != NULL)"));
  }
  ASSERT_EQ(KOVA_S_OK, helper.SetCallId(kCall));
  EXPECT_EQ(KOVA_S_OK,
            helper.SetFeatureToggle(KOVA_FT_EnableXnn, ConfigData("1")));
  EXPECT_EQ(1, calls);
}

}  // namespace
}  // namespace kovaStore
