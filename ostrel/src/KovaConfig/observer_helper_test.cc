#include "observer_helper.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "config_registry.h"
#include "ostrel/IKovaConfig.h"

namespace kovaStore {
namespace {

using ::testing::_;
using ::testing::InSequence;
using ::testing::Return;
using ::testing::StrEq;
using ::testing::StrictMock;

void ignoreEvent(const KovaConfigEvent&) {}
ConfigData answerNothing(const KovaConfigEvent&) { return ConfigData(); }

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

// The helper is declared after the strict mock store, so its destructor's
// removals reach the mock.
class ObserverHelperTest : public ::testing::Test {
 protected:
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

// A failing removal does not stop the others.
TEST_F(ObserverHelperTest, DestructorRemovesInAscendingIdOrder) {
  m_helper.AttachConfig(&m_store, storeGeneration());
  EXPECT_EQ(9u, subscribe(KovaConfigGroup_Common, "A", 9));
  EXPECT_EQ(3u, subscribe(KovaConfigGroup_TAOnly, "B", 3));
  EXPECT_EQ(7u, bind(KovaConfigGroup_Metrics, "C", 7));
  InSequence order;
  expectRemoval(3, KOVA_E_FAIL);
  expectRemoval(7);
  expectRemoval(9);
}

// Refused before the attach, at it and while attached: nothing of the
// refused bindings is left to block a new one.
TEST_F(ObserverHelperTest, RefusedRegistrationForgetsTheName) {
  const KovaConfigGroup group = KovaConfigGroup_Gamestate;
  EXPECT_EQ(0u, m_helper.BindConfig(group, "G", answerNothing));
  EXPECT_EQ(0u, m_helper.BindConfig(group, "G", answerNothing));
  EXPECT_CALL(m_store, BindConfig(group, StrEq("G"), _))
      .Times(2)
      .WillRepeatedly(Return(0));
  m_helper.AttachConfig(&m_store, storeGeneration());
  EXPECT_EQ(KOVA_E_FAIL, m_helper.UnsubscribeConfig("G", group));
  EXPECT_EQ(0u, m_helper.BindConfig(group, "G", answerNothing));
  EXPECT_EQ(8u, bind(group, "G", 8));
  expectRemoval(8);
}

}  // namespace
}  // namespace kovaStore
