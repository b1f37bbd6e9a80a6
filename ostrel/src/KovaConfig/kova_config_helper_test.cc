#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <set>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "kova_config.h"
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
constexpr KovaFeatureToggleID kRelay = KOVA_FT_EnableRelayMode;
const auto kUnmappedType =
    static_cast<kova::KovaSessionType>(kova::KovaSessionType_Gamestate + 2);
// The error line of a helper without a store.
const char kNoStore[] =
    " failed: (szConfigName != NULL) && (m_pIKovaConfig != NULL)";

// Observers linked into the call's store, through a reference of the test's.
uint32_t observersOf(uint32_t callId) {
  IKovaConfig* store = nullptr;
  if (CreateKovaConfig(callId, &store) != KOVA_S_OK) return kNoCall;
  const uint32_t total = KovaConfig::FromInterface(store)->GetTotalObservers();
  ReleaseKovaConfig(store);
  return total;
}

void ignoreEvent(const KovaConfigEvent&) {}

// `call` gives `failure` and writes exactly one error line containing
// `part`; `asserts` (0 or 1) says whether it is this helper's assertion.
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

class KovaConfigHelperTest : public ::testing::Test {
 protected:
  void SetUp() override { DestroyKovaConfig(); }
  void TearDown() override { DestroyKovaConfig(); }
};

// The session type resolves the default group (one without a group falls
// back to it); codes and the force flag pass through; toggles live in
// "Feature" whatever the default group.
TEST_F(KovaConfigHelperTest, ForwardsWithTheResolvedGroupAndTogglesInFeature) {
  KovaConfigHelper h(kCall);
  KovaConfigHelper other(kCall);
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
  EXPECT_EQ(KOVA_S_OK, other.SetKovaConfig(kova::KovaSessionType_Video, "Res",
                                           ConfigData("720")));
  EXPECT_EQ(KOVA_S_OK, h.SetKovaConfig("Res", ConfigData("720"), kNone, true));
  EXPECT_EQ(2, notified);
  EXPECT_EQ(ConfigData("720"), h.GetKovaConfig(kUnmappedType, "Res"));
  EXPECT_EQ(KOVA_S_OK, h.UnsubscribeConfig(id));
  EXPECT_EQ(KOVA_S_OK, h.RemoveKovaConfigByGroup(kNone));
  EXPECT_FALSE(other.HaveKovaConfig("Res", KovaConfigGroup_Video));

  std::string seen;
  EXPECT_NE(0u, h.SubscribeFeatureToggle(kRelay, [&](const KovaConfigEvent& e) {
    EXPECT_EQ(KovaConfigGroup_Feature, e.group);
    seen += e.configName + "=" + e.newValue.ToString() + ";";
  }));
  EXPECT_EQ(KOVA_S_OK, h.SetFeatureToggle(kRelay, ConfigData("1")));
  EXPECT_EQ(KOVA_S_OK, other.SetKovaConfig("EnableRelayMode", ConfigData("2"),
                                           KovaConfigGroup_Feature));
  EXPECT_EQ("EnableRelayMode=1;EnableRelayMode=2;", seen);
  EXPECT_EQ(ConfigData("2"), h.GetFeatureToggle(kRelay));
  EXPECT_FALSE(h.HaveKovaConfig("EnableRelayMode"));  // "Video" here
  EXPECT_EQ(KOVA_S_OK, h.UnsubscribeFeatureToggle(kRelay));
  EXPECT_EQ(KOVA_S_OK, h.RemoveFeatureToggle(kRelay));
  EXPECT_FALSE(h.HaveFeatureToggle(kRelay));
}

// Regression: the client's callable must not outlive the store it was
// registered with.
TEST_F(KovaConfigHelperTest, DestructionRemovesItsObserversBeforeReleasing) {
  CmTraceCapture capture(2);
  bool bStoreGoneFirst = true;
  {
    KovaConfigHelper h(kCall);
    ASSERT_EQ(KOVA_S_OK, CleanUpKovaConfig(kCall));  // the helper's is last
    std::shared_ptr<void> witness(nullptr, [&](void*) {
      bStoreGoneFirst = capture.Contains(2, "KovaConfig::~KovaConfig [cid=");
    });
    EXPECT_NE(0u, h.SubscribeConfig(
                      "A", [witness](const KovaConfigEvent&) {}, kAudio));
    witness.reset();
  }
  EXPECT_FALSE(bStoreGoneFirst);
  EXPECT_EQ(0u, GetKovaConfigSizeForUT());
}

// Regression: a callback that threw in its initial notification made
// SetCallId throw half way, so the observers after it were never registered
// and the thrower stayed registered after the helper was gone. Now every
// other observer is registered, the thrower is not, and the exception still
// reaches the caller.
TEST_F(KovaConfigHelperTest, CallIdBoundLaterRegistersEveryRememberedObserver) {
  KovaConfigHelper values(kCall);
  const char* const names[] = {"A", "B", "C", "D"};
  for (const char* name : names) values.SetKovaConfig(name, "0", kAudio);
  std::map<std::string, int> calls;
  {
    KovaConfigHelper h;
    for (const std::string key : names) {
      h.SubscribeConfig(
          key.c_str(),
          [&calls, key](const KovaConfigEvent&) {
            if (++calls[key] == 1 && key == "B") throw std::runtime_error("B");
          },
          kAudio);
    }
    EXPECT_THROW(h.SetCallId(kCall), std::runtime_error);
    EXPECT_EQ(3u, observersOf(kCall));
    for (const char* name : names) values.SetKovaConfig(name, "1", kAudio);
    EXPECT_EQ(
        (std::map<std::string, int>{{"A", 2}, {"B", 1}, {"C", 2}, {"D", 2}}),
        calls);
  }
  EXPECT_EQ(0u, observersOf(kCall));
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
  // The toggle reads skip the name look-up, and refuse too.
  EXPECT_REFUSED(ConfigData(), h->GetFeatureToggle(kRelay), 1u, kNoStore);
  EXPECT_EQ(KOVA_S_OK, h->UnsubscribeConfig("A", kAudio));
  h.reset();
  EXPECT_EQ(KOVA_S_OK, ReleaseKovaConfig(next));
  EXPECT_EQ(1u, GetKovaConfigSizeForUT());
}

// Refusals with their error lines; a call id, session type or default group
// is set once; initialisation binds the call even when the type has no group.
TEST_F(KovaConfigHelperTest, GuardsGroupDefaultingAndUnnamedTogglesRefuse) {
  KovaConfigHelper h(kCall);
  EXPECT_REFUSED(0u, h.SubscribeConfig(nullptr, ignoreEvent, kAudio), 1u,
                 " failed: (m_pObserverHelper != NULL) && "
                 "(szConfigName != NULL)");
  // No default group: only subscribe and bind have a blank before "Error".
  EXPECT_REFUSED(0u, h.SubscribeConfig("N", ignoreEvent), 0u,
                 "::SubscribeConfig Error KovaConfigGroup [this=");
  EXPECT_REFUSED(KOVA_E_FAIL, h.SetKovaConfig("N", ConfigData("1")), 0u,
                 "SetKovaConfigError KovaConfigGroup [this=");
  // A toggle id without a name fails as a null name does.
  EXPECT_REFUSED(KOVA_E_INVALIDARG,
                 h.UnsubscribeFeatureToggle(
                     static_cast<KovaFeatureToggleID>(kKovaFeatureToggleCount)),
                 0u,
                 "kovaStore::KovaConfigObserverHelper::UnsubscribeConfigError"
                 " parameters [this=");
  EXPECT_EQ(0u, observersOf(kCall));
  EXPECT_EQ(KOVA_E_FAIL, h.SetCallId(kOtherCall));
  EXPECT_EQ(KOVA_S_OK, h.SetCallId(kCall));
  KovaConfigHelper fresh;
  EXPECT_EQ(KOVA_E_FAIL, fresh.SetCallId(kNoCall));
  EXPECT_EQ(KOVA_E_FAIL, fresh.InitKovaConfig(kCall, kUnmappedType));
  EXPECT_EQ(kCall, fresh.GetCallId());
  EXPECT_EQ(KOVA_E_FAIL, fresh.SetDefaultGroup(KovaConfigGroup_LastGroup));
  EXPECT_EQ(KOVA_S_OK, fresh.SetDefaultGroup(KovaConfigGroup_Common));
  EXPECT_EQ(KOVA_E_FAIL, fresh.SetKovaSessionType(kova::KovaSessionType_Audio));
}

// Bounded, for ThreadSanitizer: three threads subscribe, set and remove on
// three shared names through one helper.
TEST_F(KovaConfigHelperTest, ConcurrentUseLeavesNoObserverBehind) {
  CmTraceCapture quiet(-1);
  {
    KovaConfigHelper h(kCall);
    ASSERT_EQ(KOVA_S_OK, h.SetDefaultGroup(KovaConfigGroup_Common));
    std::vector<std::thread> threads;
    for (int t = 0; t < 3; ++t) {
      threads.emplace_back([&h, t] {
        for (int i = 0; i < 200; ++i) {
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

TEST(FeatureToggleTableTest, EveryIdHasItsOwnName) {
  std::set<std::string> names{""};
  for (int id = -1; id <= int{kKovaFeatureToggleCount}; ++id) {
    const char* name = KovaConfigHelper::GetFeatureToggleName(
        static_cast<KovaFeatureToggleID>(id));
    EXPECT_EQ(id >= 0 && id < int{kKovaFeatureToggleCount},
              name && names.insert(name).second)
        << id;
  }
}

}  // namespace
}  // namespace kovaStore
