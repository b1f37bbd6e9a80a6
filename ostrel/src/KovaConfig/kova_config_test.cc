#include "kova_config.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ConfigData.h"
#include "trace_capture.h"

namespace kovaStore {
namespace {

constexpr uint32_t kCallId = 77;

class KovaConfigTest : public ::testing::Test {
 protected:
  KOVA_RESULT set(KovaConfigGroup group, const char* name, const char* value,
                  bool bForce = false, bool bNotifyOnly = false) {
    return m_store.SetKovaConfig(group, name, ConfigData(value), bForce,
                                 bNotifyOnly);
  }
  ConfigData get(KovaConfigGroup group, const char* name) {
    ConfigData value;
    m_store.GetKovaConfig(group, name, value);
    return value;
  }

  KovaConfig m_store{kCallId};
};

TEST_F(KovaConfigTest, NotifyOnlyRemovesAndReportsRemovedValue) {
  constexpr KovaConfigGroup kGroup = KovaConfigGroup_Video;
  set(kGroup, "Mode", "stored");
  std::vector<KovaConfigEvent> events;
  m_store.SubscribeConfig(
      kGroup, "Mode", [&](const KovaConfigEvent& e) { events.push_back(e); },
      nullptr, false);
  events.clear();  // the initial notification of the stored value

  // Twice: the second time the old value is absent, and still nothing is
  // stored.
  for (const char* passed : {"passed", "again"}) {
    EXPECT_EQ(set(kGroup, "Mode", passed, false, true), KOVA_S_OK);
    ConfigData value("stale");
    EXPECT_EQ(m_store.GetKovaConfig(kGroup, "Mode", value), KOVA_E_FAIL);
    EXPECT_FALSE(value.IsValid());
  }
  ASSERT_EQ(events.size(), 2u);
  EXPECT_EQ(events[0].oldValue, ConfigData("stored"));
  EXPECT_EQ(events[0].newValue, ConfigData("passed"));
  EXPECT_FALSE(events[1].oldValue.IsValid());
}

// Every operation refuses a group outside 0 to 11 and a null or empty name
// with KOVA_E_INVALIDARG; set traces its error line for all but the empty
// name.
TEST_F(KovaConfigTest, BadArgumentsAreRefusedWithTheirTraces) {
  CmTraceCapture capture(2);
  const std::string setError =
      "kovaStore::KovaConfig::SetKovaConfigError parameters [cid=77] [this=";
  const struct {
    KovaConfigGroup group;
    const char* name;
  } rows[] = {{KovaConfigGroup_LastGroup, "n"},
              {KovaConfigGroup_Audio, nullptr},
              {KovaConfigGroup_Audio, ""}};
  ConfigData value("kept");
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name == nullptr ? "null" : row.name);
    EXPECT_EQ(set(row.group, row.name, "1"), KOVA_E_INVALIDARG);
    EXPECT_EQ(m_store.GetKovaConfig(row.group, row.name, value),
              KOVA_E_INVALIDARG);
    EXPECT_EQ(
        m_store.GetDynamicConfig(row.group, row.name, value, ConfigData()),
        KOVA_E_INVALIDARG);
    EXPECT_EQ(m_store.RemoveKovaConfig(row.group, row.name), KOVA_E_INVALIDARG);
  }
  EXPECT_EQ(m_store.RemoveKovaConfigByGroup(KovaConfigGroup_Undefined),
            KOVA_E_INVALIDARG);
  // An invalid value is refused like a bad name.
  EXPECT_EQ(m_store.SetKovaConfig(KovaConfigGroup_Audio, "n", ConfigData(),
                                  false, true),
            KOVA_E_INVALIDARG);
  EXPECT_EQ(capture.Count(0, setError), 3u);
  EXPECT_EQ(value, ConfigData("kept"));
}

// Removal succeeds whether or not the name is stored, touches one group only,
// and tells no observer, who stays registered.
TEST_F(KovaConfigTest, RemoveClearsQuietly) {
  int calls = 0;
  m_store.SubscribeConfig(
      KovaConfigGroup_Audio, "Gain", [&](const KovaConfigEvent&) { ++calls; },
      nullptr, false);
  for (const char* name : {"Gain", "b", "c"})
    set(KovaConfigGroup_Audio, name, "1");
  set(KovaConfigGroup_Video, "Gain", "4");
  EXPECT_EQ(m_store.RemoveKovaConfig(KovaConfigGroup_Audio, "Never"),
            KOVA_S_OK);
  EXPECT_EQ(m_store.RemoveKovaConfig(KovaConfigGroup_Audio, "Gain"), KOVA_S_OK);
  EXPECT_EQ(m_store.RemoveKovaConfigByGroup(KovaConfigGroup_Audio), KOVA_S_OK);
  EXPECT_FALSE(get(KovaConfigGroup_Audio, "b").IsValid());
  EXPECT_EQ(get(KovaConfigGroup_Video, "Gain"), ConfigData("4"));
  EXPECT_EQ(calls, 1);
  EXPECT_EQ(set(KovaConfigGroup_Audio, "Gain", "1"), KOVA_S_OK);
  EXPECT_EQ(calls, 2);
}

}  // namespace
}  // namespace kovaStore
