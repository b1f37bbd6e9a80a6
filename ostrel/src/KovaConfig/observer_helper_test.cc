#include "observer_helper.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "CmTrace.h"
#include "trace_capture.h"

namespace kovaStore {
namespace {

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

// The closing " [this=...]" of a line about `self`, as the trace prints it.
std::string thisSuffix(const void* self) {
  char buffer[64];
  CCmTextFormator formator(buffer, sizeof(buffer));
  formator << " [this=" << self << "]";
  return std::string(buffer, formator.tell());
}

void ignoreEvent(const KovaConfigEvent&) {}
ConfigData answerNothing(const KovaConfigEvent&) { return ConfigData(); }

ACmThread* fakeThread() {
  // Only passed through, never used.
  static int s_token;
  return reinterpret_cast<ACmThread*>(&s_token);
}

TEST(ObserverHelperTest, RemembersObserversUntilAttachThenRegistersThem) {
  StrictMock<MockKovaConfig> store;
  KovaConfigObserverHelper helper;
  int calls = 0;
  EXPECT_EQ(0u, helper.SubscribeConfig(
                    KovaConfigGroup_Audio, "AecMode",
                    [&calls](const KovaConfigEvent&) { ++calls; }, fakeThread(),
                    true));
  EXPECT_EQ(0u, helper.BindConfig(
                    KovaConfigGroup_Video, "Fps",
                    [](const KovaConfigEvent&) { return ConfigData("30"); }));
  // Remembered, not accepted: neither id nor name removes it.
  EXPECT_EQ(KOVA_E_FAIL, helper.UnsubscribeConfig(uint64_t{0}));
  EXPECT_EQ(KOVA_E_FAIL,
            helper.UnsubscribeConfig("AecMode", KovaConfigGroup_Audio));

  KovaConfigCallback forwarded;
  KovaConfigProvider forwardedProvider;
  EXPECT_CALL(store, SubscribeConfig(KovaConfigGroup_Audio, StrEq("AecMode"), _,
                                     fakeThread(), true))
      .WillOnce(DoAll(SaveArg<2>(&forwarded), Return(5)));
  EXPECT_CALL(store, BindConfig(KovaConfigGroup_Video, StrEq("Fps"), _))
      .WillOnce(DoAll(SaveArg<2>(&forwardedProvider), Return(6)));
  helper.AttachConfig(&store);
  EXPECT_EQ(&store, helper.GetConfig());

  // The store received copies of the client's callables.
  forwarded(KovaConfigEvent());
  EXPECT_EQ(1, calls);
  EXPECT_EQ(ConfigData("30"), forwardedProvider(KovaConfigEvent()));

  // A second attach changes nothing.
  StrictMock<MockKovaConfig> other;
  helper.AttachConfig(&other);
  EXPECT_EQ(&store, helper.GetConfig());

  EXPECT_CALL(store, UnsubscribeConfig(5)).WillOnce(Return(KOVA_S_OK));
  EXPECT_CALL(store, UnsubscribeConfig(6)).WillOnce(Return(KOVA_S_OK));
  helper.DetachConfig();
  EXPECT_EQ(nullptr, helper.GetConfig());
}

TEST(ObserverHelperTest, UnsubscribeAllRemovesInAscendingIdOrder) {
  StrictMock<MockKovaConfig> store;
  auto helper = std::make_unique<KovaConfigObserverHelper>();
  helper->AttachConfig(&store);
  EXPECT_CALL(store, SubscribeConfig(_, StrEq("A"), _, nullptr, false))
      .WillOnce(Return(9));
  EXPECT_CALL(store, SubscribeConfig(_, StrEq("B"), _, nullptr, false))
      .WillOnce(Return(3));
  EXPECT_CALL(store, BindConfig(_, StrEq("C"), _)).WillOnce(Return(7));
  EXPECT_EQ(9u, helper->SubscribeConfig(KovaConfigGroup_Common, "A",
                                        ignoreEvent, nullptr, false));
  EXPECT_EQ(3u, helper->SubscribeConfig(KovaConfigGroup_TAOnly, "B",
                                        ignoreEvent, nullptr, false));
  EXPECT_EQ(7u,
            helper->BindConfig(KovaConfigGroup_Metrics, "C", answerNothing));
  {
    InSequence order;
    // A failing store unsubscribe does not stop the others.
    EXPECT_CALL(store, UnsubscribeConfig(3)).WillOnce(Return(KOVA_E_FAIL));
    EXPECT_CALL(store, UnsubscribeConfig(7)).WillOnce(Return(KOVA_S_OK));
    EXPECT_CALL(store, UnsubscribeConfig(9)).WillOnce(Return(KOVA_S_OK));
  }
  helper.reset();
}

TEST(ObserverHelperTest, DetachForgetsAcceptedObservers) {
  StrictMock<MockKovaConfig> store;
  KovaConfigObserverHelper helper;
  helper.AttachConfig(&store);
  EXPECT_CALL(store, SubscribeConfig(KovaConfigGroup_Feature, StrEq("X"), _,
                                     nullptr, false))
      .WillOnce(Return(2));
  EXPECT_EQ(2u, helper.SubscribeConfig(KovaConfigGroup_Feature, "X",
                                       ignoreEvent, nullptr, false));
  EXPECT_CALL(store, UnsubscribeConfig(2)).WillOnce(Return(KOVA_S_OK));
  helper.DetachConfig();
  // Nothing left to register or remove: the strict mock sees no more calls.
  helper.AttachConfig(&store);
  EXPECT_EQ(KOVA_E_FAIL, helper.UnsubscribeConfig(uint64_t{2}));
  helper.DetachConfig();
}

TEST(ObserverHelperTest, UnsubscribeByIdOrNameDestroysTheClientCallable) {
  StrictMock<MockKovaConfig> store;
  KovaConfigObserverHelper helper;
  helper.AttachConfig(&store);
  auto token = std::make_shared<int>(0);
  std::weak_ptr<int> watch = token;
  EXPECT_CALL(store, SubscribeConfig(KovaConfigGroup_Audio, StrEq("N"), _,
                                     nullptr, false))
      .WillOnce(Return(11))
      .WillOnce(Return(12));
  EXPECT_EQ(11u,
            helper.SubscribeConfig(
                KovaConfigGroup_Audio, "N",
                [token](const KovaConfigEvent&) { ++*token; }, nullptr, false));
  token.reset();
  EXPECT_FALSE(watch.expired());

  EXPECT_CALL(store, UnsubscribeConfig(11)).WillOnce(Return(KOVA_S_OK));
  EXPECT_EQ(KOVA_S_OK, helper.UnsubscribeConfig(uint64_t{11}));
  EXPECT_TRUE(watch.expired());
  EXPECT_EQ(KOVA_E_FAIL, helper.UnsubscribeConfig(uint64_t{11}));

  // The name is free again; removal by name goes through the same path.
  EXPECT_EQ(12u, helper.SubscribeConfig(KovaConfigGroup_Audio, "N", ignoreEvent,
                                        nullptr, false));
  EXPECT_CALL(store, UnsubscribeConfig(12)).WillOnce(Return(KOVA_E_FAIL));
  EXPECT_EQ(KOVA_S_OK, helper.UnsubscribeConfig("N", KovaConfigGroup_Audio));

  CmTraceCapture capture(0);
  EXPECT_EQ(KOVA_E_FAIL, helper.UnsubscribeConfig("N", KovaConfigGroup_Audio));
  EXPECT_TRUE(capture.HasExact(
      0, "kovaStore::KovaConfigObserverHelper::UnsubscribeConfigFailed" +
             thisSuffix(&helper)));
}

TEST(ObserverHelperTest, OneObserverPerNameAndGroup) {
  StrictMock<MockKovaConfig> store;
  KovaConfigObserverHelper helper;
  helper.AttachConfig(&store);
  EXPECT_CALL(store, SubscribeConfig(KovaConfigGroup_Audio, StrEq("N"), _,
                                     nullptr, false))
      .WillOnce(Return(4));
  EXPECT_CALL(store, BindConfig(KovaConfigGroup_Video, StrEq("N"), _))
      .WillOnce(Return(5));
  EXPECT_EQ(4u, helper.SubscribeConfig(KovaConfigGroup_Audio, "N", ignoreEvent,
                                       nullptr, false));
  // Same name and group: refused here, without asking the store.
  EXPECT_EQ(0u, helper.SubscribeConfig(KovaConfigGroup_Audio, "N", ignoreEvent,
                                       nullptr, false));
  EXPECT_EQ(0u, helper.BindConfig(KovaConfigGroup_Audio, "N", answerNothing));
  // Another group is independent.
  EXPECT_EQ(5u, helper.BindConfig(KovaConfigGroup_Video, "N", answerNothing));

  EXPECT_CALL(store, UnsubscribeConfig(4)).WillOnce(Return(KOVA_S_OK));
  EXPECT_CALL(store, UnsubscribeConfig(5)).WillOnce(Return(KOVA_S_OK));
}

TEST(ObserverHelperTest, RefusedRegistrationForgetsTheName) {
  StrictMock<MockKovaConfig> store;
  KovaConfigObserverHelper helper;
  helper.AttachConfig(&store);
  EXPECT_CALL(store, BindConfig(KovaConfigGroup_Common, StrEq("P"), _))
      .WillOnce(Return(0))
      .WillOnce(Return(8));
  EXPECT_EQ(0u, helper.BindConfig(KovaConfigGroup_Common, "P", answerNothing));
  {
    CmTraceCapture capture(0);
    EXPECT_EQ(KOVA_E_FAIL,
              helper.UnsubscribeConfig("P", KovaConfigGroup_Common));
    EXPECT_EQ(1u, capture.Count(0, "UnsubscribeConfigFailed"));
  }
  // Nothing of the refused binding is left to block a new one.
  EXPECT_EQ(8u, helper.BindConfig(KovaConfigGroup_Common, "P", answerNothing));
  EXPECT_CALL(store, UnsubscribeConfig(8)).WillOnce(Return(KOVA_S_OK));
}

TEST(ObserverHelperTest, BadArgumentsAreRefusedWithTrace) {
  StrictMock<MockKovaConfig> store;
  KovaConfigObserverHelper helper;
  helper.AttachConfig(&store);
  CmTraceCapture capture(0);
  const std::string subscribeError =
      "kovaStore::KovaConfigObserverHelper::SubscribeConfigError parameters" +
      thisSuffix(&helper);
  EXPECT_EQ(0u, helper.SubscribeConfig(KovaConfigGroup_Audio, nullptr,
                                       ignoreEvent, nullptr, false));
  EXPECT_EQ(0u, helper.SubscribeConfig(KovaConfigGroup_Audio, "", ignoreEvent,
                                       nullptr, false));
  EXPECT_EQ(0u, helper.SubscribeConfig(KovaConfigGroup_LastGroup, "N",
                                       ignoreEvent, nullptr, false));
  EXPECT_EQ(0u, helper.SubscribeConfig(KovaConfigGroup_Undefined, "N",
                                       ignoreEvent, nullptr, false));
  EXPECT_EQ(0u, helper.SubscribeConfig(KovaConfigGroup_Audio, "N",
                                       KovaConfigCallback(), nullptr, false));
  EXPECT_EQ(5u, capture.Count(0, subscribeError));
  for (const std::string& text : capture.Texts()) {
    EXPECT_EQ(subscribeError, text);
  }

  capture.Clear();
  EXPECT_EQ(0u, helper.BindConfig(KovaConfigGroup_Audio, "", answerNothing));
  EXPECT_EQ(0u, helper.BindConfig(static_cast<KovaConfigGroup>(-7), "N",
                                  answerNothing));
  EXPECT_EQ(
      0u, helper.BindConfig(KovaConfigGroup_Audio, "N", KovaConfigProvider()));
  EXPECT_EQ(
      3u, capture.Count(0,
                        "kovaStore::KovaConfigObserverHelper::BindConfigError "
                        "parameters" +
                            thisSuffix(&helper)));

  capture.Clear();
  EXPECT_EQ(KOVA_E_INVALIDARG,
            helper.UnsubscribeConfig(nullptr, KovaConfigGroup_Audio));
  EXPECT_EQ(KOVA_E_INVALIDARG,
            helper.UnsubscribeConfig("N", KovaConfigGroup_LastGroup));
  EXPECT_EQ(2u, capture.Count(0,
                              "kovaStore::KovaConfigObserverHelper::"
                              "UnsubscribeConfigError parameters" +
                                  thisSuffix(&helper)));
}

TEST(ObserverHelperTest, RememberedBindingRefusedAtAttachIsForgotten) {
  StrictMock<MockKovaConfig> store;
  KovaConfigObserverHelper helper;
  EXPECT_EQ(0u,
            helper.BindConfig(KovaConfigGroup_Gamestate, "G", answerNothing));
  // A detached helper keeps refusing a second observer of that name.
  EXPECT_EQ(0u,
            helper.BindConfig(KovaConfigGroup_Gamestate, "G", answerNothing));
  helper.DetachConfig();

  EXPECT_CALL(store, BindConfig(KovaConfigGroup_Gamestate, StrEq("G"), _))
      .WillOnce(Return(0));
  // The store refuses at attach: the name is forgotten, nothing to remove.
  helper.AttachConfig(&store);
  EXPECT_EQ(KOVA_E_FAIL,
            helper.UnsubscribeConfig("G", KovaConfigGroup_Gamestate));
}

}  // namespace
}  // namespace kovaStore
