#include "kova_config.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "ConfigData.h"
#include "trace_capture.h"

namespace kovaStore {
namespace {

constexpr uint32_t kCallId = 77;

// " [cid=<id>] [this=<address>]" as the store's trace lines end.
std::string storeSuffix(uint32_t callId, uintptr_t address) {
  char text[96];
  std::snprintf(text, sizeof(text), " [cid=%u] [this=0x%llx]", callId,
                static_cast<unsigned long long>(address));
  return text;
}

class KovaConfigTest : public ::testing::Test {
 protected:
  std::string suffix() const {
    return storeSuffix(kCallId, reinterpret_cast<uintptr_t>(&m_store));
  }

  KovaConfig m_store{kCallId};
};

// Each group holds its own values; the empty text is a value, distinct from
// none; a first set reaches nobody.
TEST_F(KovaConfigTest, EveryGroupHoldsItsOwnValues) {
  for (int g = 0; g < kKovaConfigGroupCount; ++g) {
    EXPECT_EQ(
        m_store.SetKovaConfig(static_cast<KovaConfigGroup>(g), "Same",
                              ConfigData(std::to_string(g)), false, false),
        KOVA_E_NOOBSERVER);
  }
  m_store.SetKovaConfig(KovaConfigGroup_Audio, "Empty", ConfigData(""), false,
                        false);
  ConfigData value;
  for (int g = 0; g < kKovaConfigGroupCount; ++g) {
    ASSERT_EQ(
        m_store.GetKovaConfig(static_cast<KovaConfigGroup>(g), "Same", value),
        KOVA_S_OK);
    EXPECT_EQ(value, ConfigData(std::to_string(g)));
  }
  EXPECT_EQ(m_store.GetKovaConfig(KovaConfigGroup_Audio, "Empty", value),
            KOVA_S_OK);
  EXPECT_TRUE(value.IsValid());
}

// A store that never had an observer gives the same results, and the same
// change lines when traced, as one with observers elsewhere.
TEST(KovaConfigUnobservedTest, SetResultsAndTracesAtEachLevel) {
  for (int level : {0, 2}) {
    SCOPED_TRACE(level);
    CmTraceCapture capture(level);
    KovaConfig store(kCallId);
    EXPECT_EQ(store.SetKovaConfig(KovaConfigGroup_Audio, "N", ConfigData("1"),
                                  false, false),
              KOVA_E_NOOBSERVER);
    EXPECT_EQ(store.SetKovaConfig(KovaConfigGroup_Audio, "N", ConfigData("1"),
                                  false, false),
              KOVA_E_UNCHANGED);
    EXPECT_EQ(store.SetKovaConfig(KovaConfigGroup_Audio, "N", ConfigData("1"),
                                  true, false),
              KOVA_E_NOOBSERVER);
    ConfigData value;
    EXPECT_EQ(store.GetKovaConfig(KovaConfigGroup_Audio, "N", value),
              KOVA_S_OK);
    EXPECT_EQ(value, ConfigData("1"));
    EXPECT_EQ(capture.Count(2, "kovaStore::KovaConfig::fireEvents, Audio, N, "),
              level == 2 ? 2u : 0u);
    EXPECT_EQ(capture.Count(2, "nObservers="), 0u);
  }
}

TEST_F(KovaConfigTest, NotifyOnlyRemovesAndReportsRemovedValue) {
  constexpr KovaConfigGroup kGroup = KovaConfigGroup_Video;
  m_store.SetKovaConfig(kGroup, "Mode", ConfigData("stored"), false, false);
  std::vector<KovaConfigEvent> events;
  m_store.SubscribeConfig(
      kGroup, "Mode", [&](const KovaConfigEvent& e) { events.push_back(e); },
      nullptr, false);
  events.clear();  // the initial notification of the stored value

  // Twice: the second time the old value is absent, and still nothing is
  // stored.
  for (const char* passed : {"passed", "again"}) {
    EXPECT_EQ(
        m_store.SetKovaConfig(kGroup, "Mode", ConfigData(passed), false, true),
        KOVA_S_OK);
    ConfigData value("stale");
    EXPECT_EQ(m_store.GetKovaConfig(kGroup, "Mode", value), KOVA_E_FAIL);
    EXPECT_FALSE(value.IsValid());
  }
  ASSERT_EQ(events.size(), 2u);
  EXPECT_EQ(events[0].oldValue, ConfigData("stored"));
  EXPECT_EQ(events[0].newValue, ConfigData("passed"));
  EXPECT_EQ(events[0].group, kGroup);
  EXPECT_EQ(events[0].sessionType, kova::KovaSessionType_Video);
  EXPECT_FALSE(events[1].oldValue.IsValid());
}

// Every operation refuses a group outside 0 to 11 and a null or empty name
// with KOVA_E_INVALIDARG; set and dynamic get trace their error line for all
// but the empty name, the others trace nothing.
TEST_F(KovaConfigTest, BadArgumentsAreRefusedWithTheirTraces) {
  CmTraceCapture capture(2);
  const auto bad = {KovaConfigGroup_LastGroup, KovaConfigGroup_Undefined};
  const std::string setError =
      "kovaStore::KovaConfig::SetKovaConfigError parameters" + suffix();
  const std::string dynamicError =
      "kovaStore::KovaConfig::GetDynamicConfigError parameters" + suffix();
  ConfigData value("kept");
  for (const char* name : {"n", static_cast<const char*>(nullptr), ""}) {
    for (KovaConfigGroup group : bad) {
      EXPECT_EQ(
          m_store.SetKovaConfig(group, name, ConfigData("1"), false, false),
          KOVA_E_INVALIDARG);
      EXPECT_EQ(m_store.GetKovaConfig(group, name, value), KOVA_E_INVALIDARG);
      EXPECT_EQ(m_store.GetDynamicConfig(group, name, value, ConfigData()),
                KOVA_E_INVALIDARG);
      EXPECT_EQ(m_store.RemoveKovaConfig(group, name), KOVA_E_INVALIDARG);
      EXPECT_EQ(m_store.RemoveKovaConfigByGroup(group), KOVA_E_INVALIDARG);
    }
  }
  EXPECT_EQ(capture.Count(0, setError), 6u);
  EXPECT_EQ(capture.Count(0, dynamicError), 6u);
  EXPECT_TRUE(capture.HasExact(0, setError));
  EXPECT_TRUE(capture.HasExact(0, dynamicError));
  EXPECT_EQ(capture.Lines().size(), 12u);

  // A storable group with a null name, an empty name or an invalid value.
  capture.Clear();
  const KovaConfigGroup group = KovaConfigGroup_Audio;
  EXPECT_EQ(
      m_store.SetKovaConfig(group, nullptr, ConfigData("1"), false, false),
      KOVA_E_INVALIDARG);
  EXPECT_EQ(m_store.SetKovaConfig(group, "n", ConfigData(), false, true),
            KOVA_E_INVALIDARG);
  EXPECT_EQ(m_store.GetDynamicConfig(group, nullptr, value, ConfigData()),
            KOVA_E_INVALIDARG);
  EXPECT_EQ(capture.Lines().size(), 3u);
  capture.Clear();
  EXPECT_EQ(m_store.SetKovaConfig(group, "", ConfigData("1"), false, false),
            KOVA_E_INVALIDARG);
  EXPECT_EQ(m_store.GetKovaConfig(group, nullptr, value), KOVA_E_INVALIDARG);
  EXPECT_EQ(m_store.GetKovaConfig(group, "", value), KOVA_E_INVALIDARG);
  EXPECT_EQ(m_store.GetDynamicConfig(group, "", value, ConfigData()),
            KOVA_E_INVALIDARG);
  EXPECT_EQ(m_store.RemoveKovaConfig(group, nullptr), KOVA_E_INVALIDARG);
  EXPECT_EQ(m_store.RemoveKovaConfig(group, ""), KOVA_E_INVALIDARG);
  EXPECT_TRUE(capture.Lines().empty());
  EXPECT_EQ(value, ConfigData("kept"));
  EXPECT_EQ(m_store.GetKovaConfig(group, "absent", value), KOVA_E_FAIL);
  EXPECT_FALSE(value.IsValid());
}

// Removal succeeds whether or not the name is stored, touches one group only,
// counts what a group held, and tells no observer, who stays registered.
TEST_F(KovaConfigTest, RemoveClearsQuietlyAndCountsInItsTrace) {
  int calls = 0;
  m_store.SubscribeConfig(
      KovaConfigGroup_Audio, "Gain", [&](const KovaConfigEvent&) { ++calls; },
      nullptr, false);
  for (const char* name : {"Gain", "b", "c"}) {
    m_store.SetKovaConfig(KovaConfigGroup_Audio, name, ConfigData("1"), false,
                          false);
  }
  m_store.SetKovaConfig(KovaConfigGroup_Video, "Gain", ConfigData("4"), false,
                        false);
  CmTraceCapture capture(2);
  EXPECT_EQ(m_store.RemoveKovaConfig(KovaConfigGroup_Audio, "Never"),
            KOVA_S_OK);
  EXPECT_EQ(m_store.RemoveKovaConfig(KovaConfigGroup_Audio, "Gain"), KOVA_S_OK);
  EXPECT_EQ(m_store.RemoveKovaConfigByGroup(KovaConfigGroup_Audio), KOVA_S_OK);
  EXPECT_EQ(
      capture.Texts(),
      (std::vector<std::string>{
          "kovaStore::KovaConfig::RemoveKovaConfig, Audio, Never, ret=0" +
              suffix(),
          "kovaStore::KovaConfig::RemoveKovaConfig, Audio, Gain, ret=1" +
              suffix(),
          "kovaStore::KovaConfig::RemoveKovaConfigByGroup, Audio, size=2" +
              suffix()}));
  ConfigData value;
  EXPECT_EQ(m_store.GetKovaConfig(KovaConfigGroup_Audio, "b", value),
            KOVA_E_FAIL);
  EXPECT_EQ(m_store.GetKovaConfig(KovaConfigGroup_Video, "Gain", value),
            KOVA_S_OK);
  EXPECT_EQ(calls, 1);
  EXPECT_EQ(m_store.SetKovaConfig(KovaConfigGroup_Audio, "Gain",
                                  ConfigData("1"), false, false),
            KOVA_S_OK);
  EXPECT_EQ(calls, 2);
}

}  // namespace
}  // namespace kovaStore
