#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <set>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "kova_config.h"
#include "observer_helper.h"
#include "ostrel/KovaConfigApi.h"
#include "ostrel/KovaConfigHelper.h"
#include "ostrel/KovaFeatureToggle.h"
#include "util/testing/trace_capture.h"

namespace kovaStore {
namespace {

constexpr uint32_t kCall = 0x48000001;
constexpr uint32_t kOtherCall = 0x48000002;
constexpr uint32_t kNoCall = 0xFFFFFFFF;
constexpr KovaConfigGroup kAudio = KovaConfigGroup_Audio;
constexpr KovaConfigGroup kNone = KovaConfigGroup_Undefined;
const auto kUnmappedType = static_cast<kova::KovaSessionType>(7);
// The error line of a helper without a store.
const char kNoStore[] =
    " failed: (szConfigName != NULL) && (m_pIKovaConfig != NULL)";

// Observers linked into the call's store, seen through a reference of the
// test's own.
uint32_t observersOf(uint32_t callId) {
  IKovaConfig* store = nullptr;
  if (CreateKovaConfig(callId, &store) != KOVA_S_OK) return kNoCall;
  const uint32_t total = static_cast<KovaConfig*>(store)->GetTotalObservers();
  ReleaseKovaConfig(store);
  return total;
}

void ignoreEvent(const KovaConfigEvent&) {}
ConfigData answerNothing(const KovaConfigEvent&) { return ConfigData(); }

// `call` gives `failure` and writes exactly one error line, which contains
// `part`, along with `asserts` assertion reports (0 or 1) from this helper.
#define EXPECT_REFUSED(failure, call, asserts, part)                     \
  do {                                                                   \
    SCOPED_TRACE(#call);                                                 \
    CmTraceCapture capture(0);                                           \
    const unsigned long before = cm_assertion_report_count();            \
    EXPECT_EQ(failure, call);                                            \
    EXPECT_EQ(asserts, cm_assertion_report_count() - before);            \
    ASSERT_EQ(1u, capture.Lines().size());                               \
    const std::string line = capture.Lines()[0].text;                    \
    EXPECT_NE(std::string::npos, line.find(part)) << line;               \
    EXPECT_EQ(asserts != 0u, line.find("kova_config_helper.cc:") == 0u); \
  } while (0)

// Every test starts and ends with an empty registry.
class KovaConfigHelperTest : public ::testing::Test {
 protected:
  void SetUp() override { DestroyKovaConfig(); }
  void TearDown() override { DestroyKovaConfig(); }
};

TEST_F(KovaConfigHelperTest, ForwardsWithTheResolvedGroupAndTogglesInFeature) {
  KovaConfigHelper h(kCall);
  KovaConfigHelper other(kCall);
  EXPECT_EQ(1u, GetKovaConfigSizeForUT());
  ASSERT_EQ(KOVA_S_OK, h.SetKovaSessionType(kova::KovaSessionType_Video));
  EXPECT_NE(0u, h.BindConfig("Fps", [](const KovaConfigEvent& e) {
    return e.paramValue;
  }));
  EXPECT_EQ(
      ConfigData("p"),
      other.GetDynamicConfig("Fps", KovaConfigGroup_Video, ConfigData("p")));

  int notified = 0;
  const uint64_t id =
      h.SubscribeConfig("Res", [&](const KovaConfigEvent&) { ++notified; });
  // The session-type overload writes to the type's group, -1 to the default;
  // the store's codes and the force flag pass through unchanged.
  EXPECT_EQ(KOVA_S_OK, other.SetKovaConfig(kova::KovaSessionType_Video, "Res",
                                           ConfigData("720")));
  EXPECT_EQ(KOVA_E_UNCHANGED, h.SetKovaConfig("Res", ConfigData("720")));
  EXPECT_EQ(KOVA_S_OK, h.SetKovaConfig("Res", ConfigData("720"), kNone, true));
  EXPECT_EQ(2, notified);
  // A session type without a group falls back to the default group.
  EXPECT_EQ(ConfigData("720"), h.GetKovaConfig(kUnmappedType, "Res"));

  EXPECT_EQ(KOVA_S_OK, h.UnsubscribeConfig(id));
  EXPECT_EQ(KOVA_E_NOOBSERVER, h.SetKovaConfig("Res", ConfigData("1080")));
  EXPECT_EQ(KOVA_S_OK, h.RemoveKovaConfigByGroup(kNone));
  EXPECT_FALSE(other.HaveKovaConfig("Res", KovaConfigGroup_Video));

  // Toggles live in "Feature", whatever the default group, and share their
  // names with direct writes there.
  const auto relay = KOVA_FT_EnableRelayMode;
  std::string seen;
  EXPECT_NE(0u, h.SubscribeFeatureToggle(relay, [&](const KovaConfigEvent& e) {
    EXPECT_EQ(KovaConfigGroup_Feature, e.group);
    seen += e.configName + "=" + e.newValue.ToString() + ";";
  }));
  EXPECT_EQ(KOVA_S_OK, h.SetFeatureToggle(relay, ConfigData("1")));
  EXPECT_EQ(KOVA_S_OK, other.SetKovaConfig("EnableRelayMode", ConfigData("2"),
                                           KovaConfigGroup_Feature));
  EXPECT_EQ("EnableRelayMode=1;EnableRelayMode=2;", seen);
  EXPECT_EQ(ConfigData("2"), h.GetFeatureToggle(relay));
  // Group -1 means the helper's "Video" here, which does not hold it.
  EXPECT_FALSE(h.HaveKovaConfig("EnableRelayMode"));
  EXPECT_EQ(KOVA_S_OK, h.UnsubscribeFeatureToggle(relay));
  EXPECT_EQ(KOVA_E_NOOBSERVER, h.SetFeatureToggle(relay, ConfigData("3")));
  EXPECT_EQ(KOVA_S_OK, h.RemoveFeatureToggle(relay));
  EXPECT_FALSE(h.HaveFeatureToggle(relay));
}

// Regression: the client's callable must not outlive the store it was
// registered with. (A store that lives on is checked by the concurrent test.)
TEST_F(KovaConfigHelperTest, DestructionRemovesItsObserversBeforeReleasing) {
  CmTraceCapture capture(2);
  const std::string storeGone =
      "kovaStore::KovaConfig::~KovaConfig [cid=" + std::to_string(kCall) + "]";
  bool bStoreGoneFirst = true;
  {
    KovaConfigHelper h(kCall);
    // Only the helper's reference is left: its release destroys the store.
    ASSERT_EQ(KOVA_S_OK, CleanUpKovaConfig(kCall));
    std::shared_ptr<void> witness(nullptr, [&](void*) {
      bStoreGoneFirst = capture.Contains(2, storeGone);
    });
    EXPECT_NE(0u, h.SubscribeConfig(
                      "A", [witness](const KovaConfigEvent&) {}, kAudio));
    EXPECT_NE(0u, h.BindConfig("C", answerNothing, KovaConfigGroup_Video));
    witness.reset();
    EXPECT_EQ(2u, observersOf(kCall));
  }
  EXPECT_FALSE(bStoreGoneFirst);
  EXPECT_EQ(0u, GetKovaConfigSizeForUT());
}

// Regression: binding the call id registers the observers remembered before;
// a callback that threw in its initial notification made SetCallId throw
// half way, so the observers after it were never registered and the thrower
// stayed registered, still called after the helper was gone. Now every other
// observer is registered, the thrower is not, and the exception still
// reaches the caller.
TEST_F(KovaConfigHelperTest, CallIdBoundLaterRegistersEveryRememberedObserver) {
  KovaConfigHelper values(kCall);
  const char* const names[] = {"A", "B", "C", "D", "E"};
  for (const char* name : names) values.SetKovaConfig(name, "0", kAudio);
  std::map<std::string, int> calls;
  {
    KovaConfigHelper h;
    for (const char* name : names) {
      const std::string key = name;
      EXPECT_EQ(0u, h.SubscribeConfig(
                        name,
                        [&calls, key](const KovaConfigEvent&) {
                          if (++calls[key] == 1 && key == "C") {
                            throw std::runtime_error("initial");
                          }
                        },
                        kAudio));
    }
    EXPECT_THROW(h.SetCallId(kCall), std::runtime_error);
    EXPECT_EQ(4u, observersOf(kCall));
    for (const char* name : names) values.SetKovaConfig(name, "1", kAudio);
    EXPECT_EQ((std::map<std::string, int>{
                  {"A", 2}, {"B", 2}, {"C", 1}, {"D", 2}, {"E", 2}}),
              calls);
  }
  EXPECT_EQ(0u, observersOf(kCall));
  for (const char* name : names) values.SetKovaConfig(name, "2", kAudio);
  EXPECT_EQ(1, calls["C"]);
  EXPECT_EQ(2, calls["E"]);
}

// Regression: a helper that outlived DestroyKovaConfig() used and released the
// freed store. It now behaves as a helper without a store, and its
// destructor leaves the call's next store alone.
TEST_F(KovaConfigHelperTest, HelperOutlivingDestroyTouchesNoStore) {
  auto h = std::make_unique<KovaConfigHelper>(kCall);
  ASSERT_NE(0u, h->SubscribeConfig("A", ignoreEvent, kAudio));
  DestroyKovaConfig();
  IKovaConfig* next = nullptr;
  ASSERT_EQ(KOVA_S_OK, CreateKovaConfig(kCall, &next));
  EXPECT_REFUSED(KOVA_E_INVALIDARG,
                 h->SetKovaConfig("A", ConfigData("1"), kAudio), 1u, kNoStore);
  ConfigData value;
  EXPECT_REFUSED(KOVA_E_INVALIDARG, h->GetKovaConfig("A", value, kAudio), 1u,
                 kNoStore);
  // The toggle reads, which skip the name look-up, too.
  EXPECT_REFUSED(false, h->HaveFeatureToggle(KOVA_FT_EnableRelayMode), 1u,
                 kNoStore);
  EXPECT_REFUSED(ConfigData(), h->GetFeatureToggle(KOVA_FT_EnableRelayMode), 1u,
                 kNoStore);
  EXPECT_EQ(KOVA_S_OK, h->UnsubscribeConfig("A", kAudio));
  h.reset();
  EXPECT_EQ(0u, observersOf(kCall));
  EXPECT_EQ(KOVA_S_OK, ReleaseKovaConfig(next));
  EXPECT_EQ(1u, GetKovaConfigSizeForUT());
}

TEST_F(KovaConfigHelperTest, CallIdSessionTypeAndDefaultGroupAreSetOnce) {
  KovaConfigHelper h;
  EXPECT_EQ(KOVA_E_FAIL, h.SetCallId(kNoCall));
  EXPECT_EQ(KOVA_S_OK, h.SetCallId(7));
  EXPECT_EQ(KOVA_S_OK, h.SetCallId(7));
  EXPECT_EQ(KOVA_E_FAIL, h.SetCallId(8));
  EXPECT_EQ(7u, h.GetCallId());
  EXPECT_EQ(KOVA_S_OK, h.SetKovaSessionType(kova::KovaSessionType_Video));
  EXPECT_EQ(KOVA_S_OK, h.SetKovaSessionType(kova::KovaSessionType_Video));
  EXPECT_EQ(KOVA_E_FAIL, h.SetKovaSessionType(kova::KovaSessionType_Audio));
  EXPECT_EQ(KOVA_E_FAIL, h.SetDefaultGroup(KovaConfigGroup_Common));
  EXPECT_EQ(kova::KovaSessionType_Video, h.GetKovaSessionType());

  // Initialisation runs both steps: the call is bound despite a type without
  // a group, which leaves the default unset; groups outside 0 to 11 are
  // refused.
  KovaConfigHelper fresh;
  EXPECT_EQ(KOVA_E_FAIL, fresh.InitKovaConfig(kCall, kUnmappedType));
  EXPECT_EQ(kCall, fresh.GetCallId());
  EXPECT_EQ(KOVA_E_FAIL, fresh.SetDefaultGroup(KovaConfigGroup_LastGroup));
  EXPECT_EQ(KOVA_S_OK, fresh.SetDefaultGroup(KovaConfigGroup_Common));
  EXPECT_EQ(kova::KovaSessionType_None, fresh.GetKovaSessionType());
}

TEST_F(KovaConfigHelperTest, GuardsGroupDefaultingAndUnnamedTogglesRefuse) {
  KovaConfigHelper unbound;
  KovaConfigHelper h(kCall);
  EXPECT_REFUSED(KOVA_E_INVALIDARG,
                 unbound.SetKovaConfig("N", ConfigData("1"), kAudio), 1u,
                 kNoStore);
  EXPECT_REFUSED(0u, h.SubscribeConfig(nullptr, ignoreEvent, kAudio), 1u,
                 " failed: (m_pObserverHelper != NULL) && "
                 "(szConfigName != NULL)");
  // Group -1 without a default group, once the guard passed: only subscribe
  // and bind have a blank before "Error".
  EXPECT_REFUSED(0u, h.SubscribeConfig("N", ignoreEvent), 0u,
                 "::SubscribeConfig Error KovaConfigGroup [this=");
  // A toggle id without a name fails as a null name does.
  const auto unnamed = static_cast<KovaFeatureToggleID>(251);
  EXPECT_REFUSED(KOVA_E_INVALIDARG, h.UnsubscribeFeatureToggle(unnamed), 0u,
                 "kovaStore::KovaConfigObserverHelper::UnsubscribeConfigError"
                 " parameters [this=");
  EXPECT_EQ(0u, observersOf(kCall));
  EXPECT_REFUSED(KOVA_E_FAIL, h.SetKovaConfig("N", ConfigData("1")), 0u,
                 "SetKovaConfigError KovaConfigGroup [this=");
}

TEST_F(KovaConfigHelperTest, ConcurrentUseLeavesNoObserverBehind) {
  CmTraceCapture quiet(-1);
  {
    KovaConfigHelper h(kCall);
    ASSERT_EQ(KOVA_S_OK, h.SetDefaultGroup(KovaConfigGroup_Common));
    std::vector<std::thread> threads;
    for (int t = 0; t < 3; ++t) {
      threads.emplace_back([&h, t] {
        for (int i = 0; i < 200; ++i) {
          // Three names shared by all threads: subscriptions collide.
          const std::string name = "N" + std::to_string((t + i) % 3);
          const uint64_t id = h.SubscribeConfig(name.c_str(), ignoreEvent);
          h.SetKovaConfig(name.c_str(), ConfigData(std::to_string(i)));
          if (i % 2 == 0 || id == 0)
            h.UnsubscribeConfig(name.c_str(), kNone);
          else
            h.UnsubscribeConfig(id);
        }
      });
    }
    for (std::thread& thread : threads) thread.join();
  }
  EXPECT_EQ(0u, observersOf(kCall));
}

TEST_F(KovaConfigHelperTest, CopiesAndAssignmentHoldTheirOwnReference) {
  {
    KovaConfigHelper original(kCall);
    original.SetDefaultGroup(KovaConfigGroup_Metrics);
    EXPECT_NE(0u, original.SubscribeConfig("N", ignoreEvent));
    {
      // Same store and default group, but subscriptions of its own.
      KovaConfigHelper copy(original);
      EXPECT_NE(0u, copy.SubscribeConfig("N", ignoreEvent));
      EXPECT_EQ(2u, observersOf(kCall));
    }
    EXPECT_EQ(1u, observersOf(kCall));
  }
  // Only the call's own reference is left: the clean-up erases the entry.
  EXPECT_EQ(KOVA_S_OK, CleanUpKovaConfig(kCall));
  EXPECT_EQ(0u, GetKovaConfigSizeForUT());

  KovaConfigHelper source(kCall);
  KovaConfigHelper target(kOtherCall);
  EXPECT_NE(0u, target.SubscribeConfig("N", ignoreEvent, kAudio));
  target = source;
  // The other call kept only its own reference and lost the subscription.
  EXPECT_EQ(0u, observersOf(kOtherCall));
  EXPECT_EQ(KOVA_S_OK, CleanUpKovaConfig(kOtherCall));
  KovaConfigHelper& self = target;
  target = self;
  target.SetKovaConfig("V", ConfigData("2"), kAudio);
  EXPECT_EQ(ConfigData("2"), source.GetKovaConfig("V", kAudio));
  EXPECT_EQ(1u, GetKovaConfigSizeForUT());
}

TEST_F(KovaConfigHelperTest, ValueReadersUseATemporaryHelper) {
  ConfigData value("stale");
  EXPECT_EQ(KOVA_E_INVALIDARG, GetKovaConfigValue(kova::KovaSessionType_Audio,
                                                  "N", value, kNoCall));
  EXPECT_EQ(KOVA_E_FAIL,
            GetKovaConfigValue(kova::KovaSessionType_Audio, "N", value, kCall));
  EXPECT_FALSE(value.IsValid());
  // The store the readers created stays with the call's own reference only.
  EXPECT_EQ(KOVA_S_OK, CleanUpKovaConfig(kCall));
  EXPECT_EQ(0u, GetKovaConfigSizeForUT());
}

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

using ::testing::_;
using ::testing::DoAll;
using ::testing::InSequence;
using ::testing::Return;
using ::testing::SaveArg;
using ::testing::StrEq;
using ::testing::StrictMock;

class MockKovaConfig : public IKovaConfig {
 public:
  MOCK_METHOD(uint64_t, SubscribeConfig,
              (KovaConfigGroup, const char*, KovaConfigCallback, ACmThread*,
               bool),
              (override));
  MOCK_METHOD(uint64_t, BindConfig,
              (KovaConfigGroup, const char*, KovaConfigProvider), (override));
  MOCK_METHOD(KOVA_RESULT, UnsubscribeConfig, (uint64_t), (override));
  MOCK_METHOD(KOVA_RESULT, SetKovaConfig,
              (KovaConfigGroup, const char*, ConfigData, bool, bool),
              (override));
  MOCK_METHOD(KOVA_RESULT, GetKovaConfig,
              (KovaConfigGroup, const char*, ConfigData&), (override));
  MOCK_METHOD(KOVA_RESULT, GetDynamicConfig,
              (KovaConfigGroup, const char*, ConfigData&, ConfigData),
              (override));
  MOCK_METHOD(KOVA_RESULT, RemoveKovaConfig, (KovaConfigGroup, const char*),
              (override));
  MOCK_METHOD(KOVA_RESULT, RemoveKovaConfigByGroup, (KovaConfigGroup),
              (override));
  MOCK_METHOD(const char*, DumpKovaConfigs, (uint32_t), (override));
  MOCK_METHOD(KOVA_RESULT, ApplyKovaConfigs, (const char*), (override));
};

ACmThread* fakeThread() {
  // Only passed through, never used.
  static int s_token;
  return reinterpret_cast<ACmThread*>(&s_token);
}

// A helper and a strict mock store, attached by each test; the helper goes
// first, so its destructor's removals reach the mock.
class ObserverHelperTest : public ::testing::Test {
 protected:
  // Subscribes (or binds) `name` through the helper, the store answering `id`.
  uint64_t subscribe(KovaConfigGroup group, const char* name, uint64_t id) {
    EXPECT_CALL(m_store, SubscribeConfig(group, StrEq(name), _, nullptr, false))
        .WillOnce(Return(id));
    return m_helper.SubscribeConfig(group, name, ignoreEvent, nullptr, false);
  }
  uint64_t bind(KovaConfigGroup group, const char* name, uint64_t id) {
    EXPECT_CALL(m_store, BindConfig(group, StrEq(name), _))
        .WillOnce(Return(id));
    return m_helper.BindConfig(group, name, answerNothing);
  }
  void expectRemoval(uint64_t id, KOVA_RESULT result = KOVA_S_OK) {
    EXPECT_CALL(m_store, UnsubscribeConfig(id)).WillOnce(Return(result));
  }

  StrictMock<MockKovaConfig> m_store;
  KovaConfigObserverHelper m_helper;
};

TEST_F(ObserverHelperTest, RemembersObserversUntilAttach) {
  EXPECT_EQ(0u, m_helper.SubscribeConfig(KovaConfigGroup_Audio, "AecMode",
                                         ignoreEvent, fakeThread(), true));
  EXPECT_EQ(0u, m_helper.BindConfig(
                    KovaConfigGroup_Video, "Fps",
                    [](const KovaConfigEvent&) { return ConfigData("30"); }));
  // Remembered, not accepted: its name does not remove it.
  EXPECT_EQ(KOVA_E_FAIL,
            m_helper.UnsubscribeConfig("AecMode", KovaConfigGroup_Audio));

  KovaConfigProvider provider;
  EXPECT_CALL(m_store, SubscribeConfig(KovaConfigGroup_Audio, StrEq("AecMode"),
                                       _, fakeThread(), true))
      .WillOnce(Return(5));
  EXPECT_CALL(m_store, BindConfig(KovaConfigGroup_Video, StrEq("Fps"), _))
      .WillOnce(DoAll(SaveArg<2>(&provider), Return(6)));
  m_helper.AttachConfig(&m_store, storeGeneration());
  // The store received a copy of the client's provider.
  EXPECT_EQ(ConfigData("30"), provider(KovaConfigEvent()));

  expectRemoval(5);
  expectRemoval(6);
  m_helper.DetachConfig();
  EXPECT_EQ(nullptr, m_helper.GetConfig());
}

TEST_F(ObserverHelperTest, DestructorRemovesInAscendingIdOrder) {
  m_helper.AttachConfig(&m_store, storeGeneration());
  EXPECT_EQ(9u, subscribe(KovaConfigGroup_Common, "A", 9));
  EXPECT_EQ(3u, subscribe(KovaConfigGroup_TAOnly, "B", 3));
  EXPECT_EQ(7u, bind(KovaConfigGroup_Metrics, "C", 7));
  InSequence order;
  // A failing store unsubscribe does not stop the others.
  expectRemoval(3, KOVA_E_FAIL);
  expectRemoval(7);
  expectRemoval(9);
}

TEST_F(ObserverHelperTest, RefusedRegistrationForgetsTheName) {
  const KovaConfigGroup group = KovaConfigGroup_Gamestate;
  // A detached helper keeps refusing a second observer of that name.
  EXPECT_EQ(0u, m_helper.BindConfig(group, "G", answerNothing));
  EXPECT_EQ(0u, m_helper.BindConfig(group, "G", answerNothing));
  // Refused at the attach, and once more while attached.
  EXPECT_CALL(m_store, BindConfig(group, StrEq("G"), _))
      .Times(2)
      .WillRepeatedly(Return(0));
  m_helper.AttachConfig(&m_store, storeGeneration());
  EXPECT_EQ(KOVA_E_FAIL, m_helper.UnsubscribeConfig("G", group));
  EXPECT_EQ(0u, m_helper.BindConfig(group, "G", answerNothing));
  // Nothing of the refused bindings is left to block a new one.
  EXPECT_EQ(8u, bind(group, "G", 8));
  expectRemoval(8);
}

}  // namespace
}  // namespace kovaStore
