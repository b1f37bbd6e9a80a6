#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "ConfigData.h"
#include "kova_config.h"
#include "trace_capture.h"

namespace kovaStore {
namespace {

constexpr uint32_t kCallId = 31;
constexpr uint32_t kAllGroups = 0xFFFFFFFFu;

uint32_t bit(KovaConfigGroup group) { return 1u << group; }

class KovaConfigJsonTest : public ::testing::Test {
 protected:
  void set(KovaConfigGroup group, const char* name, const char* value) {
    m_store.SetKovaConfig(group, name, ConfigData(value), false, false);
  }
  // The stored value's text, or "<none>".
  std::string get(KovaConfigGroup group, const char* name) {
    ConfigData value;
    if (m_store.GetKovaConfig(group, name, value) != KOVA_S_OK) return "<none>";
    return value.ToCstr();
  }
  std::string address() const {
    char text[32];
    std::snprintf(
        text, sizeof(text), "0x%llx",
        static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(&m_store)));
    return text;
  }

  KovaConfig m_store{kCallId};
};

TEST_F(KovaConfigJsonTest, DumpWithoutStorableGroupsIsAnEmptyObject) {
  set(KovaConfigGroup_Audio, "a", "1");
  EXPECT_STREQ(m_store.DumpKovaConfigs(0), "{}");
  EXPECT_STREQ(m_store.DumpKovaConfigs(0x1000), "{}");
  EXPECT_STREQ(m_store.DumpKovaConfigs(0xFFFFF000u), "{}");
}

TEST_F(KovaConfigJsonTest, DumpListsGroupsByNameEvenWhenEmpty) {
  CmTraceCapture capture(2);
  EXPECT_STREQ(m_store.DumpKovaConfigs(kAllGroups),
               "{\"Application\":[],\"Audio\":[],\"AudioSi\":[],"
               "\"AudioSlide\":[],\"Common\":[],\"Feature\":[],"
               "\"Gamestate\":[],\"Metrics\":[],\"TAOnly\":[],"
               "\"Transmission\":[],\"Video\":[],\"VideoSlide\":[]}");
  EXPECT_TRUE(capture.HasExact(
      2,
      "kovaStore::KovaConfig::DumpKovaConfigs, groups=4294967295 [cid=31] "
      "[this=" +
          address() + "]"));
}

TEST_F(KovaConfigJsonTest, DumpListsEntriesByName) {
  set(KovaConfigGroup_Audio, "beta", "abc");
  set(KovaConfigGroup_Audio, "alpha", "1");
  set(KovaConfigGroup_Common, "hidden", "x");
  EXPECT_STREQ(m_store.DumpKovaConfigs(bit(KovaConfigGroup_Audio) |
                                       bit(KovaConfigGroup_Video)),
               "{\"Audio\":[{\"key\":\"alpha\",\"value\":\"1\"},"
               "{\"key\":\"beta\",\"value\":\"abc\"}],\"Video\":[]}");
  // The text belongs to the store and is replaced by the next dump.
  const char* second = m_store.DumpKovaConfigs(bit(KovaConfigGroup_Common));
  EXPECT_STREQ(second, "{\"Common\":[{\"key\":\"hidden\",\"value\":\"x\"}]}");
}

TEST_F(KovaConfigJsonTest, ApplyStoresEveryEntryAndTracesTheText) {
  CmTraceCapture capture(2);
  const char* text =
      "{\"Video\":[{\"key\":\"Fps\",\"value\":\"30\"}],"
      "\"Audio\":[{\"key\":\"Gain\",\"value\":\"5\",\"note\":1},"
      "{\"key\":\"Aec\",\"value\":\"\"}]}";
  EXPECT_EQ(m_store.ApplyKovaConfigs(text), KOVA_S_OK);
  EXPECT_EQ(get(KovaConfigGroup_Video, "Fps"), "30");
  EXPECT_EQ(get(KovaConfigGroup_Audio, "Gain"), "5");
  EXPECT_EQ(get(KovaConfigGroup_Audio, "Aec"), "");
  EXPECT_TRUE(capture.HasExact(
      2, std::string("kovaStore::KovaConfig::ApplyKovaConfigs [cid=31], "
                     "szJsonConfig=") +
             text + " [this=" + address() + "]"));
}

TEST_F(KovaConfigJsonTest, ApplyRefusesWhatIsNotADocument) {
  CmTraceCapture capture(2);
  EXPECT_EQ(m_store.ApplyKovaConfigs(nullptr), KOVA_E_FAIL);
  EXPECT_TRUE(capture.Lines().empty());
  for (const char* text : {"[]", "", "not json", "\"Audio\"", "5"}) {
    EXPECT_EQ(m_store.ApplyKovaConfigs(text), KOVA_E_FAIL) << text;
  }
  EXPECT_EQ(m_store.ApplyKovaConfigs("{}"), KOVA_S_OK);
  EXPECT_STREQ(m_store.DumpKovaConfigs(kAllGroups),
               "{\"Application\":[],\"Audio\":[],\"AudioSi\":[],"
               "\"AudioSlide\":[],\"Common\":[],\"Feature\":[],"
               "\"Gamestate\":[],\"Metrics\":[],\"TAOnly\":[],"
               "\"Transmission\":[],\"Video\":[],\"VideoSlide\":[]}");
  // Apply writes no failure line of its own.
  EXPECT_EQ(capture.Count(0, ""), 0u);
}

TEST_F(KovaConfigJsonTest, ApplyRefusesUnknownGroupNames) {
  for (const char* key : {"audio", "LastGroup", "Undefined_Group", ""}) {
    const std::string text = std::string("{\"") + key + "\":[]}";
    EXPECT_EQ(m_store.ApplyKovaConfigs(text.c_str()), KOVA_E_FAIL) << key;
  }
}

TEST_F(KovaConfigJsonTest, ApplyStopsAtTheFirstBadGroupInNameOrder) {
  // "Undefined_Group" sorts before "Video": nothing is stored.
  EXPECT_EQ(m_store.ApplyKovaConfigs(
                "{\"Video\":[{\"key\":\"Fps\",\"value\":\"30\"}],"
                "\"Undefined_Group\":[]}"),
            KOVA_E_FAIL);
  EXPECT_EQ(get(KovaConfigGroup_Video, "Fps"), "<none>");
  // "Audio" sorts before it: its entries stay stored.
  EXPECT_EQ(m_store.ApplyKovaConfigs(
                "{\"Undefined_Group\":[],"
                "\"Audio\":[{\"key\":\"Gain\",\"value\":\"5\"}]}"),
            KOVA_E_FAIL);
  EXPECT_EQ(get(KovaConfigGroup_Audio, "Gain"), "5");
  // A group that is not an array.
  EXPECT_EQ(m_store.ApplyKovaConfigs(
                "{\"Audio\":[{\"key\":\"A\",\"value\":\"1\"}],\"Common\":{}}"),
            KOVA_E_FAIL);
  EXPECT_EQ(get(KovaConfigGroup_Audio, "A"), "1");
  EXPECT_EQ(m_store.ApplyKovaConfigs("{\"Common\":\"x\"}"), KOVA_E_FAIL);
}

TEST_F(KovaConfigJsonTest, ApplyStopsAtTheFirstBadEntry) {
  const char* bad[] = {
      "{\"Common\":[{\"key\":\"a\",\"value\":\"1\"},{\"key\":\"b\"}]}",
      "{\"Common\":[{\"key\":\"a\",\"value\":\"1\"},{\"value\":\"2\"}]}",
      "{\"Common\":[{\"key\":\"a\",\"value\":\"1\"},{\"key\":\"b\",\"value\":5}"
      "]}",
      "{\"Common\":[{\"key\":\"a\",\"value\":\"1\"},{\"key\":7,\"value\":\"2\"}"
      "]}",
      "{\"Common\":[{\"key\":\"a\",\"value\":\"1\"},{\"key\":\"b\",\"value\":"
      "true}]}",
      "{\"Common\":[{\"key\":\"a\",\"value\":\"1\"},\"b\"]}",
      "{\"Common\":[{\"key\":\"a\",\"value\":\"1\"},[\"b\",\"2\"]]}",
  };
  for (const char* text : bad) {
    m_store.RemoveKovaConfigByGroup(KovaConfigGroup_Common);
    EXPECT_EQ(m_store.ApplyKovaConfigs(text), KOVA_E_FAIL) << text;
    // The entry before the bad one is stored, the bad one is not.
    EXPECT_EQ(get(KovaConfigGroup_Common, "a"), "1") << text;
    EXPECT_EQ(get(KovaConfigGroup_Common, "b"), "<none>") << text;
  }
  EXPECT_EQ(m_store.ApplyKovaConfigs(
                "{\"Common\":[{\"key\":\"b\",\"value\":\"5\"}]}"),
            KOVA_S_OK);
  EXPECT_EQ(get(KovaConfigGroup_Common, "b"), "5");
}

TEST_F(KovaConfigJsonTest, ApplyPassesOverEntriesTheStoreRefuses) {
  EXPECT_EQ(m_store.ApplyKovaConfigs(
                "{\"Metrics\":[null,{\"key\":\"\",\"value\":\"1\"},"
                "{\"key\":\"ok\",\"value\":\"2\"}]}"),
            KOVA_S_OK);
  EXPECT_EQ(get(KovaConfigGroup_Metrics, "ok"), "2");
  EXPECT_STREQ(m_store.DumpKovaConfigs(bit(KovaConfigGroup_Metrics)),
               "{\"Metrics\":[{\"key\":\"ok\",\"value\":\"2\"}]}");
}

TEST_F(KovaConfigJsonTest, ApplyTellsObserversOfEachChange) {
  std::vector<std::string> changes;
  m_store.SubscribeConfig(
      KovaConfigGroup_Feature, "Relay",
      [&](const KovaConfigEvent& e) { changes.push_back(e.newValue.ToCstr()); },
      nullptr, false);
  // The same name twice in one array: both are set in order; the same group
  // twice in a document: the last occurrence counts.
  EXPECT_EQ(m_store.ApplyKovaConfigs(
                "{\"Feature\":[{\"key\":\"Relay\",\"value\":\"0\"}],"
                "\"Feature\":[{\"key\":\"Relay\",\"value\":\"1\"},"
                "{\"key\":\"Relay\",\"value\":\"2\"},"
                "{\"key\":\"Relay\",\"value\":\"2\"}]}"),
            KOVA_S_OK);
  EXPECT_EQ(changes, (std::vector<std::string>{"1", "2"}));
  EXPECT_EQ(get(KovaConfigGroup_Feature, "Relay"), "2");
}

TEST_F(KovaConfigJsonTest, DumpAppliedToAnotherStoreReproducesIt) {
  set(KovaConfigGroup_Common, "Name With Spaces", "a b");
  set(KovaConfigGroup_Audio, "Gain", "-3.5");
  set(KovaConfigGroup_Audio, "Empty", "");
  set(KovaConfigGroup_TAOnly, "utf8", "\xC3\xA9t\xC3\xA9");
  set(KovaConfigGroup_Video, "Fps", "30");
  const std::string dumped = m_store.DumpKovaConfigs(kAllGroups);

  KovaConfig other(kCallId + 1);
  other.SetKovaConfig(KovaConfigGroup_Video, "Fps", ConfigData("15"), false,
                      false);
  ASSERT_EQ(other.ApplyKovaConfigs(dumped.c_str()), KOVA_S_OK);
  EXPECT_EQ(other.DumpKovaConfigs(kAllGroups), dumped);
}

}  // namespace
}  // namespace kovaStore
