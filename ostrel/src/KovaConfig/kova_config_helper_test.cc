#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "CmTrace.h"
#include "KovaConfigApi.h"
#include "KovaConfigHelper.h"
#include "kova_config.h"
#include "trace_capture.h"

namespace kovaStore {
namespace {

constexpr uint32_t kCall = 0x48000001;
constexpr uint32_t kOtherCall = 0x48000002;

std::string thisSuffix(const void* self) {
  char buffer[64];
  CCmTextFormator formator(buffer, sizeof(buffer));
  formator << " [this=" << self << "]";
  return std::string(buffer, formator.tell());
}

// Observers currently linked into the call's store, seen through a reference
// of the test's own.
uint32_t observersOf(uint32_t callId) {
  IKovaConfig* store = nullptr;
  if (CreateKovaConfig(callId, &store) != KOVA_S_OK) return 0xFFFFFFFF;
  const uint32_t total = static_cast<KovaConfig*>(store)->GetTotalObservers();
  ReleaseKovaConfig(store);
  return total;
}

void ignoreEvent(const KovaConfigEvent&) {}

// Every test starts and ends with an empty registry.
class KovaConfigHelperTest : public ::testing::Test {
 protected:
  void SetUp() override { DestroyKovaConfig(); }
  void TearDown() override { DestroyKovaConfig(); }
};

TEST_F(KovaConfigHelperTest, HelpersOfOneCallShareOneStore) {
  KovaConfigHelper first(kCall);
  KovaConfigHelper second(kCall);
  EXPECT_EQ(1u, GetKovaConfigSizeForUT());
  // The store's own code comes back unchanged: nobody observes the name.
  EXPECT_EQ(KOVA_E_NOOBSERVER, first.SetKovaConfig("Shared", ConfigData("v"),
                                                   KovaConfigGroup_Common));
  EXPECT_EQ(ConfigData("v"),
            second.GetKovaConfig("Shared", KovaConfigGroup_Common));
  EXPECT_TRUE(second.HaveKovaConfig("Shared", KovaConfigGroup_Common));
  EXPECT_FALSE(second.HaveKovaConfig("Shared", KovaConfigGroup_Audio));
}

TEST_F(KovaConfigHelperTest, ForwardsEveryOperationWithTheResolvedGroup) {
  KovaConfigHelper helper(kCall);
  ASSERT_EQ(KOVA_S_OK, helper.SetKovaSessionType(kova::KovaSessionType_Video));
  ConfigData seenParam;
  EXPECT_NE(0u,
            helper.BindConfig("Fps", [&seenParam](const KovaConfigEvent& e) {
              seenParam = e.paramValue;
              return ConfigData("30");
            }));
  EXPECT_EQ(
      ConfigData("30"),
      helper.GetDynamicConfig("Fps", KovaConfigGroup_Video, ConfigData("p")));
  EXPECT_EQ(ConfigData("p"), seenParam);
  ConfigData out;
  EXPECT_EQ(KOVA_E_NOOBSERVER,
            helper.GetDynamicConfig("Fps", out, KovaConfigGroup_Audio));

  std::vector<std::string> seen;
  const uint64_t id =
      helper.SubscribeConfig("Res", [&seen](const KovaConfigEvent& e) {
        seen.push_back(e.newValue.ToString());
      });
  EXPECT_NE(0u, id);
  // The session-type overload writes to the type's group, -1 to the default.
  EXPECT_EQ(KOVA_S_OK, helper.SetKovaConfig(kova::KovaSessionType_Video, "Res",
                                            ConfigData("720")));
  EXPECT_EQ(KOVA_E_UNCHANGED, helper.SetKovaConfig("Res", ConfigData("720")));
  EXPECT_EQ(KOVA_S_OK, helper.SetKovaConfig("Res", ConfigData("720"),
                                            KovaConfigGroup_Undefined, true));
  EXPECT_EQ((std::vector<std::string>{"720", "720"}), seen);
  EXPECT_EQ(KOVA_S_OK,
            helper.GetKovaConfig(kova::KovaSessionType_Video, "Res", out));
  EXPECT_EQ(ConfigData("720"), out);
  // A session type without a group falls back to the default group.
  EXPECT_EQ(ConfigData("720"),
            helper.GetKovaConfig(static_cast<kova::KovaSessionType>(7), "Res"));
  EXPECT_EQ(ConfigData(),
            helper.GetKovaConfig(kova::KovaSessionType_Audio, "Res"));

  EXPECT_EQ(KOVA_S_OK, helper.UnsubscribeConfig(id));
  EXPECT_EQ(KOVA_E_NOOBSERVER, helper.SetKovaConfig("Res", ConfigData("1080")));
  EXPECT_EQ(2u, seen.size());

  EXPECT_EQ(KOVA_S_OK, helper.RemoveKovaConfig("Res"));
  EXPECT_FALSE(helper.HaveKovaConfig("Res"));
  helper.SetKovaConfig("A", ConfigData("1"));
  helper.SetKovaConfig("B", ConfigData("2"));
  EXPECT_EQ(KOVA_S_OK,
            helper.RemoveKovaConfigByGroup(KovaConfigGroup_Undefined));
  EXPECT_FALSE(helper.HaveKovaConfig("A"));
  EXPECT_FALSE(helper.HaveKovaConfig("B"));
}

TEST_F(KovaConfigHelperTest, DestructionRemovesItsObserversBeforeReleasing) {
  CmTraceCapture capture(2);
  const std::string storeGone =
      "kovaStore::KovaConfig::~KovaConfig [cid=" + std::to_string(kCall) + "]";
  // Records whether the store was already gone when the last copy of the
  // client's callable was destroyed.
  struct Witness {
    explicit Witness(std::function<void()> onDestroy)
        : m_onDestroy(std::move(onDestroy)) {}
    ~Witness() { m_onDestroy(); }
    std::function<void()> m_onDestroy;
  };
  bool bDestroyed = false;
  bool bStoreGoneFirst = false;
  {
    auto helper = std::make_unique<KovaConfigHelper>(kCall);
    // Only the helper's reference is left: its release destroys the store.
    ASSERT_EQ(KOVA_S_OK, CleanUpKovaConfig(kCall));
    auto witness = std::make_shared<Witness>([&] {
      bDestroyed = true;
      bStoreGoneFirst = capture.Contains(2, storeGone);
    });
    EXPECT_NE(0u, helper->SubscribeConfig(
                      "A", [witness](const KovaConfigEvent&) {},
                      KovaConfigGroup_Audio));
    EXPECT_NE(0u,
              helper->SubscribeConfig("B", ignoreEvent, KovaConfigGroup_Audio));
    EXPECT_NE(0u, helper->BindConfig(
                      "C", [](const KovaConfigEvent&) { return ConfigData(); },
                      KovaConfigGroup_Video));
    witness.reset();
    EXPECT_EQ(3u, observersOf(kCall));
    EXPECT_FALSE(bDestroyed);
  }
  EXPECT_TRUE(bDestroyed);
  EXPECT_FALSE(bStoreGoneFirst);
  EXPECT_TRUE(capture.Contains(2, storeGone));
  EXPECT_EQ(0u, GetKovaConfigSizeForUT());

  // With the store kept alive by another reference, it is left without them.
  {
    KovaConfigHelper helper(kCall);
    helper.SubscribeConfig("A", ignoreEvent, KovaConfigGroup_Audio);
    helper.BindConfig(
        "C", [](const KovaConfigEvent&) { return ConfigData("x"); },
        KovaConfigGroup_Video);
    EXPECT_EQ(2u, observersOf(kCall));
  }
  EXPECT_EQ(0u, observersOf(kCall));
}

TEST_F(KovaConfigHelperTest, UnboundHelperRemembersSubscriptionsUntilBound) {
  KovaConfigHelper helper;
  EXPECT_EQ(0xFFFFFFFFu, helper.GetCallId());
  EXPECT_EQ(0u, GetKovaConfigSizeForUT());
  std::vector<std::string> seen;
  EXPECT_EQ(0u, helper.SubscribeConfig(
                    "Late",
                    [&seen](const KovaConfigEvent& e) {
                      seen.push_back(e.newValue.ToString());
                    },
                    KovaConfigGroup_Audio));

  // Without a store every store operation fails its guard.
  {
    CmTraceCapture capture(0);
    const unsigned long reports = cm_assertion_report_count();
    ConfigData out("kept");
    EXPECT_EQ(KOVA_E_INVALIDARG,
              helper.GetKovaConfig("Late", out, KovaConfigGroup_Audio));
    EXPECT_FALSE(helper.HaveKovaConfig("Late", KovaConfigGroup_Audio));
    EXPECT_EQ(2u, cm_assertion_report_count() - reports);
    EXPECT_EQ(2u, capture.Count(0,
                                " Assert failed: (szConfigName != NULL) && "
                                "(m_pIKovaConfig != NULL)"));
    EXPECT_EQ(2u, capture.Count(0, "kova_config_helper.cc:"));
  }

  // A value stored before the bind is the subscription's first notification.
  {
    IKovaConfig* store = nullptr;
    ASSERT_EQ(KOVA_S_OK, CreateKovaConfig(kCall, &store));
    store->SetKovaConfig(KovaConfigGroup_Audio, "Late", ConfigData("early"),
                         false, false);
    ReleaseKovaConfig(store);
  }
  EXPECT_EQ(KOVA_S_OK, helper.SetCallId(kCall));
  EXPECT_EQ((std::vector<std::string>{"early"}), seen);
  EXPECT_EQ(1u, observersOf(kCall));
  EXPECT_EQ(KOVA_S_OK, helper.SetKovaConfig("Late", ConfigData("now"),
                                            KovaConfigGroup_Audio));
  EXPECT_EQ((std::vector<std::string>{"early", "now"}), seen);
  EXPECT_EQ(KOVA_S_OK, helper.UnsubscribeConfig("Late", KovaConfigGroup_Audio));
  EXPECT_EQ(0u, observersOf(kCall));
}

TEST_F(KovaConfigHelperTest, CallIdIsBoundOnce) {
  KovaConfigHelper helper;
  CmTraceCapture capture(0);
  EXPECT_EQ(KOVA_E_FAIL, helper.SetCallId(0xFFFFFFFF));
  EXPECT_TRUE(capture.HasExact(
      0,
      "kovaStore::KovaConfigHelper::SetCallId, m_callId=4294967295, "
      "callId=4294967295" +
          thisSuffix(&helper)));
  EXPECT_EQ(0u, GetKovaConfigSizeForUT());

  EXPECT_EQ(KOVA_S_OK, helper.SetCallId(7));
  EXPECT_EQ(1u, GetKovaConfigSizeForUT());
  EXPECT_EQ(KOVA_S_OK, helper.SetCallId(7));
  capture.Clear();
  EXPECT_EQ(KOVA_E_FAIL, helper.SetCallId(8));
  EXPECT_TRUE(capture.HasExact(
      0, "kovaStore::KovaConfigHelper::SetCallId, m_callId=7, callId=8" +
             thisSuffix(&helper)));
  EXPECT_EQ(7u, helper.GetCallId());
  EXPECT_EQ(1u, GetKovaConfigSizeForUT());

  // Bound at construction, the same rules hold.
  KovaConfigHelper bound(9);
  EXPECT_EQ(KOVA_S_OK, bound.SetCallId(9));
  EXPECT_EQ(KOVA_E_FAIL, bound.SetCallId(0xFFFFFFFF));
}

TEST_F(KovaConfigHelperTest, SessionTypeAndDefaultGroupAreSetOnce) {
  CmTraceCapture capture(0);
  KovaConfigHelper helper;
  EXPECT_EQ(kova::KovaSessionType_None, helper.GetKovaSessionType());
  EXPECT_EQ(KOVA_S_OK, helper.SetKovaSessionType(kova::KovaSessionType_Video));
  EXPECT_EQ(kova::KovaSessionType_Video, helper.GetKovaSessionType());
  EXPECT_EQ(KOVA_S_OK, helper.SetKovaSessionType(kova::KovaSessionType_Video));
  EXPECT_TRUE(capture.Lines().empty());
  EXPECT_EQ(KOVA_E_FAIL,
            helper.SetKovaSessionType(kova::KovaSessionType_Audio));
  EXPECT_TRUE(capture.HasExact(
      0,
      "kovaStore::KovaConfigHelper::SetKovaSessionType, Video, "
      "sessionType=0" +
          thisSuffix(&helper)));
  EXPECT_EQ(KOVA_E_FAIL, helper.SetDefaultGroup(KovaConfigGroup_Common));
  EXPECT_EQ(kova::KovaSessionType_Video, helper.GetKovaSessionType());

  KovaConfigHelper unmapped;
  capture.Clear();
  EXPECT_EQ(KOVA_E_FAIL,
            unmapped.SetKovaSessionType(static_cast<kova::KovaSessionType>(7)));
  EXPECT_TRUE(capture.HasExact(
      0,
      "kovaStore::KovaConfigHelper::SetKovaSessionType, Undefined_Group, "
      "sessionType=7" +
          thisSuffix(&unmapped)));
  // The failed type left the default unset.
  capture.Clear();
  EXPECT_EQ(KOVA_S_OK, unmapped.SetDefaultGroup(KovaConfigGroup_Common));
  EXPECT_EQ(kova::KovaSessionType_None, unmapped.GetKovaSessionType());
  EXPECT_EQ(KOVA_E_FAIL, unmapped.SetDefaultGroup(KovaConfigGroup_Common));
  EXPECT_EQ(KOVA_E_FAIL,
            unmapped.SetKovaSessionType(kova::KovaSessionType_None));
  EXPECT_TRUE(
      capture.Contains(0, "SetKovaSessionType, Common, sessionType=15"));

  for (int group : {12, -1, -5}) {
    KovaConfigHelper fresh;
    capture.Clear();
    EXPECT_EQ(KOVA_E_FAIL,
              fresh.SetDefaultGroup(static_cast<KovaConfigGroup>(group)));
    EXPECT_TRUE(capture.Lines().empty());
    EXPECT_EQ(KOVA_S_OK,
              fresh.SetKovaSessionType(kova::KovaSessionType_AudioSi));
    EXPECT_EQ(kova::KovaSessionType_AudioSi, fresh.GetKovaSessionType());
  }
}

TEST_F(KovaConfigHelperTest, InitKovaConfigRunsBothSteps) {
  KovaConfigHelper unmapped;
  EXPECT_EQ(KOVA_E_FAIL, unmapped.InitKovaConfig(
                             kCall, static_cast<kova::KovaSessionType>(7)));
  // The call was bound and its store obtained all the same.
  EXPECT_EQ(kCall, unmapped.GetCallId());
  EXPECT_EQ(KOVA_E_NOOBSERVER, unmapped.SetKovaConfig("N", ConfigData("1"),
                                                      KovaConfigGroup_Audio));

  KovaConfigHelper audio;
  EXPECT_EQ(KOVA_S_OK,
            audio.InitKovaConfig(kCall, kova::KovaSessionType_Audio));
  EXPECT_EQ(ConfigData("1"), audio.GetKovaConfig("N"));
  // Both steps run even when the first fails.
  EXPECT_EQ(KOVA_E_FAIL,
            audio.InitKovaConfig(kOtherCall, kova::KovaSessionType_Audio));
  EXPECT_EQ(KOVA_S_OK,
            audio.InitKovaConfig(kCall, kova::KovaSessionType_Audio));
  KovaConfigHelper late;
  EXPECT_EQ(KOVA_E_FAIL,
            late.InitKovaConfig(0xFFFFFFFF, kova::KovaSessionType_Gamestate));
  EXPECT_EQ(kova::KovaSessionType_Gamestate, late.GetKovaSessionType());
}

TEST_F(KovaConfigHelperTest, GroupWithoutDefaultFailsWithItsTrace) {
  KovaConfigHelper helper(kCall);
  CmTraceCapture capture(0);
  const std::string self = thisSuffix(&helper);
  const std::string prefix = "kovaStore::KovaConfigHelper::";
  ConfigData out;

  EXPECT_EQ(0u, helper.SubscribeConfig("N", ignoreEvent));
  EXPECT_EQ(0u, helper.BindConfig(
                    "N", [](const KovaConfigEvent&) { return ConfigData(); }));
  EXPECT_EQ(KOVA_E_FAIL,
            helper.UnsubscribeConfig("N", KovaConfigGroup_Undefined));
  EXPECT_EQ(KOVA_E_FAIL, helper.SetKovaConfig("N", ConfigData("1")));
  EXPECT_EQ(KOVA_E_FAIL, helper.GetKovaConfig("N", out));
  EXPECT_EQ(KOVA_E_FAIL,
            helper.GetDynamicConfig("N", out, KovaConfigGroup_Undefined));
  EXPECT_EQ(KOVA_E_FAIL, helper.RemoveKovaConfig("N"));
  EXPECT_EQ(KOVA_E_FAIL,
            helper.RemoveKovaConfigByGroup(KovaConfigGroup_Undefined));
  EXPECT_FALSE(helper.HaveKovaConfig("N"));

  // Only subscribe and bind have a blank before "Error".
  const std::vector<std::string> expected = {
      prefix + "SubscribeConfig Error KovaConfigGroup" + self,
      prefix + "BindConfig Error KovaConfigGroup" + self,
      prefix + "UnsubscribeConfigError KovaConfigGroup" + self,
      prefix + "SetKovaConfigError KovaConfigGroup" + self,
      prefix + "GetKovaConfigError KovaConfigGroup" + self,
      prefix + "GetDynamicConfigError KovaConfigGroup" + self,
      prefix + "RemoveKovaConfigError KovaConfigGroup" + self,
      prefix + "RemoveKovaConfigByGroupError KovaConfigGroup" + self,
      prefix + "GetKovaConfigError KovaConfigGroup" + self,
  };
  EXPECT_EQ(expected, capture.Texts());
  EXPECT_EQ(0u, observersOf(kCall));
}

TEST_F(KovaConfigHelperTest, GuardsReportTheirExpression) {
  KovaConfigHelper unbound;
  KovaConfigHelper bound(kCall);
  CmTraceCapture capture(0);
  const unsigned long reports = cm_assertion_report_count();
  ConfigData out;
  const std::string storeGuard =
      " Assert failed: (szConfigName != NULL) && (m_pIKovaConfig != NULL)";
  EXPECT_EQ(KOVA_E_INVALIDARG,
            unbound.SetKovaConfig("N", ConfigData("1"), KovaConfigGroup_Audio));
  EXPECT_EQ(KOVA_E_INVALIDARG,
            bound.GetKovaConfig(nullptr, out, KovaConfigGroup_Audio));
  EXPECT_EQ(KOVA_E_INVALIDARG,
            unbound.GetDynamicConfig("N", out, KovaConfigGroup_Audio));
  EXPECT_EQ(KOVA_E_INVALIDARG,
            bound.RemoveKovaConfig(nullptr, KovaConfigGroup_Audio));
  EXPECT_EQ(4u, capture.Count(0, storeGuard));

  EXPECT_EQ(KOVA_E_INVALIDARG,
            unbound.RemoveKovaConfigByGroup(KovaConfigGroup_Audio));
  EXPECT_EQ(nullptr, unbound.DumpKovaConfigs(0xFFF));
  EXPECT_EQ(2u, capture.Count(0, " Assert failed: (m_pIKovaConfig != NULL)"));
  EXPECT_EQ(KOVA_E_INVALIDARG, unbound.ApplyKovaConfigs("{}"));
  EXPECT_EQ(KOVA_E_INVALIDARG, bound.ApplyKovaConfigs(nullptr));
  EXPECT_EQ(2u, capture.Count(0,
                              " Assert failed: (szJsonConfig != NULL) && "
                              "(m_pIKovaConfig != NULL)"));
  EXPECT_EQ(0u,
            bound.SubscribeConfig(nullptr, ignoreEvent, KovaConfigGroup_Audio));
  EXPECT_EQ(0u,
            bound.BindConfig(
                nullptr, [](const KovaConfigEvent&) { return ConfigData(); },
                KovaConfigGroup_Audio));
  EXPECT_EQ(2u, capture.Count(0,
                              " Assert failed: (m_pObserverHelper != NULL) && "
                              "(szConfigName != NULL)"));
  EXPECT_EQ(10u, cm_assertion_report_count() - reports);
  // Group defaulting is not reached after a failed guard.
  EXPECT_EQ(0u, capture.Count(0, "Error KovaConfigGroup"));
  EXPECT_EQ(10u, capture.Lines().size());
}

TEST_F(KovaConfigHelperTest, ConcurrentUseLeavesNoObserverBehind) {
  CmTraceCapture quiet(-1);
  {
    KovaConfigHelper helper(kCall);
    ASSERT_EQ(KOVA_S_OK, helper.SetDefaultGroup(KovaConfigGroup_Common));
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
      threads.emplace_back([&helper, t] {
        for (int i = 0; i < 300; ++i) {
          // Three names shared by all threads: subscriptions collide.
          const std::string name = "N" + std::to_string((t + i) % 3);
          const uint64_t id = helper.SubscribeConfig(name.c_str(), ignoreEvent);
          helper.SetKovaConfig(name.c_str(), ConfigData(std::to_string(i)));
          if (i % 2 == 0) {
            helper.UnsubscribeConfig(name.c_str(), KovaConfigGroup_Undefined);
          } else if (id != 0) {
            helper.UnsubscribeConfig(id);
          }
        }
      });
    }
    for (std::thread& thread : threads) thread.join();
  }
  EXPECT_EQ(0u, observersOf(kCall));
}

TEST_F(KovaConfigHelperTest, CopiesHoldTheirOwnReference) {
  for (bool bOriginalFirst : {true, false}) {
    SCOPED_TRACE(bOriginalFirst ? "original destroyed first"
                                : "copy destroyed first");
    auto original = std::make_unique<KovaConfigHelper>(kCall);
    original->SetDefaultGroup(KovaConfigGroup_Metrics);
    EXPECT_NE(0u, original->SubscribeConfig("N", ignoreEvent));
    auto copy = std::make_unique<KovaConfigHelper>(*original);
    EXPECT_EQ(kCall, copy->GetCallId());
    EXPECT_EQ(1u, GetKovaConfigSizeForUT());
    // Same store and default group, but its own subscriptions.
    copy->SetKovaConfig("V", ConfigData("1"));
    EXPECT_EQ(ConfigData("1"), original->GetKovaConfig("V"));
    EXPECT_EQ(KOVA_E_FAIL,
              copy->UnsubscribeConfig("N", KovaConfigGroup_Metrics));
    EXPECT_NE(0u, copy->SubscribeConfig("N", ignoreEvent));
    EXPECT_EQ(2u, observersOf(kCall));

    if (bOriginalFirst)
      original.reset();
    else
      copy.reset();
    EXPECT_EQ(1u, observersOf(kCall));
    if (bOriginalFirst)
      copy.reset();
    else
      original.reset();
    EXPECT_EQ(0u, observersOf(kCall));
    // Only the call's own reference is left: the clean-up erases the entry.
    EXPECT_EQ(KOVA_S_OK, CleanUpKovaConfig(kCall));
    EXPECT_EQ(0u, GetKovaConfigSizeForUT());
  }

  // A copy of an unbound helper takes nothing from the registry.
  KovaConfigHelper unbound;
  KovaConfigHelper unboundCopy(unbound);
  EXPECT_EQ(0u, GetKovaConfigSizeForUT());
}

TEST_F(KovaConfigHelperTest, AssignmentReleasesWhatTheTargetHeld) {
  KovaConfigHelper source(kCall);
  KovaConfigHelper target(kOtherCall);
  EXPECT_NE(0u,
            target.SubscribeConfig("N", ignoreEvent, KovaConfigGroup_Common));
  EXPECT_EQ(1u, observersOf(kOtherCall));
  target = source;
  EXPECT_EQ(kCall, target.GetCallId());
  // The other call kept only its own reference and lost the subscription.
  EXPECT_EQ(0u, observersOf(kOtherCall));
  EXPECT_EQ(KOVA_S_OK, CleanUpKovaConfig(kOtherCall));
  EXPECT_EQ(1u, GetKovaConfigSizeForUT());

  KovaConfigHelper& self = target;
  target = self;
  EXPECT_EQ(KOVA_E_NOOBSERVER,
            target.SetKovaConfig("V", ConfigData("2"), KovaConfigGroup_Common));
  EXPECT_EQ(ConfigData("2"), source.GetKovaConfig("V", KovaConfigGroup_Common));

  KovaConfigHelper unbound;
  target = unbound;
  EXPECT_EQ(0xFFFFFFFFu, target.GetCallId());
  EXPECT_FALSE(target.HaveKovaConfig("V", KovaConfigGroup_Common));
}

TEST_F(KovaConfigHelperTest, ValueReadersUseATemporaryHelper) {
  ConfigData value("stale");
  EXPECT_EQ(KOVA_E_INVALIDARG, GetKovaConfigValue(kova::KovaSessionType_Audio,
                                                  "N", value, 0xFFFFFFFF));
  EXPECT_EQ(KOVA_E_INVALIDARG, GetKovaConfigValueEx(KovaConfigGroup_Audio, "N",
                                                    value, 0xFFFFFFFF));
  EXPECT_EQ(0u, GetKovaConfigSizeForUT());

  EXPECT_EQ(KOVA_E_FAIL,
            GetKovaConfigValue(kova::KovaSessionType_Audio, "N", value, kCall));
  EXPECT_FALSE(value.IsValid());
  // The store it created stays with the call's own reference only.
  EXPECT_EQ(1u, GetKovaConfigSizeForUT());
  {
    KovaConfigHelper writer(kCall);
    writer.SetKovaConfig("N", ConfigData("3"), KovaConfigGroup_Audio);
  }
  EXPECT_EQ(KOVA_S_OK,
            GetKovaConfigValue(kova::KovaSessionType_Audio, "N", value, kCall));
  EXPECT_EQ(ConfigData("3"), value);
  EXPECT_EQ(KOVA_S_OK,
            GetKovaConfigValueEx(KovaConfigGroup_Audio, "N", value, kCall));
  EXPECT_EQ(KOVA_E_FAIL,
            GetKovaConfigValueEx(KovaConfigGroup_Video, "N", value, kCall));
  {
    CmTraceCapture capture(0);
    EXPECT_EQ(KOVA_E_FAIL,
              GetKovaConfigValue(static_cast<kova::KovaSessionType>(7), "N",
                                 value, kCall));
    EXPECT_EQ(1u,
              capture.Count(0,
                            "kovaStore::KovaConfigHelper::GetKovaConfigError "
                            "KovaConfigGroup [this="));
  }
  EXPECT_EQ(KOVA_S_OK, CleanUpKovaConfig(kCall));
  EXPECT_EQ(0u, GetKovaConfigSizeForUT());
}

}  // namespace
}  // namespace kovaStore
