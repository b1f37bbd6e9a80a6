#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "ConfigData.h"
#include "kova_config.h"

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

  KovaConfig m_store{kCallId};
};

constexpr const char* kAllEmpty =
    "{\"Application\":[],\"Audio\":[],\"AudioSi\":[],\"AudioSlide\":[],"
    "\"Common\":[],\"Feature\":[],\"Gamestate\":[],\"Metrics\":[],"
    "\"TAOnly\":[],\"Transmission\":[],\"Video\":[],\"VideoSlide\":[]}";

// Groups are listed by name, also when empty, entries by key; bits of no
// storable group select nothing.
TEST_F(KovaConfigJsonTest, DumpListsSelectedGroupsAndEntriesByName) {
  EXPECT_STREQ(m_store.DumpKovaConfigs(kAllGroups), kAllEmpty);
  set(KovaConfigGroup_Audio, "beta", "abc");
  set(KovaConfigGroup_Audio, "alpha", "1");
  set(KovaConfigGroup_Common, "hidden", "x");
  set(KovaConfigGroup_TAOnly, "utf8", "\xC3\xA9t\xC3\xA9");
  set(KovaConfigGroup_TAOnly, "empty", "");
  for (uint32_t groups : {0u, 0x1000u, 0xFFFFF000u}) {
    EXPECT_STREQ(m_store.DumpKovaConfigs(groups), "{}") << groups;
  }
  EXPECT_STREQ(m_store.DumpKovaConfigs(bit(KovaConfigGroup_Audio) |
                                       bit(KovaConfigGroup_Video)),
               "{\"Audio\":[{\"key\":\"alpha\",\"value\":\"1\"},"
               "{\"key\":\"beta\",\"value\":\"abc\"}],\"Video\":[]}");
}

// Regression: dumps made on different threads shared one text, so one dump
// rewrote or freed the text that another thread was still reading.
TEST_F(KovaConfigJsonTest, EachThreadKeepsItsOwnDumpText) {
  set(KovaConfigGroup_Audio, "a", "1");
  const std::string audio = "{\"Audio\":[{\"key\":\"a\",\"value\":\"1\"}]}";
  const char* mine = m_store.DumpKovaConfigs(bit(KovaConfigGroup_Audio));
  std::vector<std::thread> threads;
  for (int t = 0; t < 2; ++t) {
    threads.emplace_back([this, t] {
      const auto group =
          t == 0 ? KovaConfigGroup_Video : KovaConfigGroup_Common;
      const std::string expected =
          "{\"" + std::string(t == 0 ? "Video" : "Common") + "\":[]}";
      for (int i = 0; i < 100; ++i) {
        const char* text = m_store.DumpKovaConfigs(bit(group));
        ASSERT_EQ(expected, text);
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
  EXPECT_EQ(audio, mine);
}

TEST_F(KovaConfigJsonTest, ApplyStoresEveryEntry) {
  // Entries the store refuses (not an object, an empty key) are passed over.
  const char* text =
      "{\"Video\":[{\"key\":\"Fps\",\"value\":\"30\"}],"
      "\"Audio\":[{\"key\":\"Gain\",\"value\":\"5\",\"note\":1},"
      "{\"key\":\"Aec\",\"value\":\"\"}],"
      "\"Metrics\":[null,{\"key\":\"\",\"value\":\"1\"},"
      "{\"key\":\"ok\",\"value\":\"2\"}]}";
  EXPECT_EQ(m_store.ApplyKovaConfigs(text), KOVA_S_OK);
  EXPECT_STREQ(m_store.DumpKovaConfigs(bit(KovaConfigGroup_Metrics)),
               "{\"Metrics\":[{\"key\":\"ok\",\"value\":\"2\"}]}");
  EXPECT_EQ(get(KovaConfigGroup_Audio, "Gain"), "5");
  EXPECT_EQ(get(KovaConfigGroup_Audio, "Aec"), "");
}

// Apply refuses with KOVA_E_FAIL; groups run
// in name order and entries in array order, so what came before the fault
// stays stored and nothing after it is.
TEST_F(KovaConfigJsonTest, ApplyStopsAtTheFirstFault) {
  const struct {
    const char* text;
    KovaConfigGroup group;
    const char* name;
    const char* stored;
  } rows[] = {
      {"not json", KovaConfigGroup_Common, "a", "<none>"},
      {"{\"audio\":[]}", KovaConfigGroup_Common, "a", "<none>"},
      {"{\"Video\":[{\"key\":\"Fps\",\"value\":\"30\"}],"
       "\"Undefined_Group\":[]}",
       KovaConfigGroup_Video, "Fps", "<none>"},
      {"{\"Undefined_Group\":[],\"Audio\":[{\"key\":\"G\",\"value\":\"5\"}]}",
       KovaConfigGroup_Audio, "G", "5"},
      {"{\"Audio\":[{\"key\":\"A\",\"value\":\"1\"}],\"Common\":{}}",
       KovaConfigGroup_Audio, "A", "1"},
  };
  for (const auto& row : rows) {
    EXPECT_EQ(m_store.ApplyKovaConfigs(row.text), KOVA_E_FAIL) << row.text;
    EXPECT_EQ(get(row.group, row.name), row.stored) << row.text;
    m_store.RemoveKovaConfigByGroup(row.group);
  }
  for (const char* entry : {"{\"key\":\"b\"}", "{\"key\":7,\"value\":\"2\"}",
                            "{\"key\":\"b\",\"value\":5}", "\"b\""}) {
    const std::string text =
        std::string("{\"Common\":[{\"key\":\"a\",\"value\":\"1\"},") + entry +
        "]}";
    m_store.RemoveKovaConfigByGroup(KovaConfigGroup_Common);
    EXPECT_EQ(m_store.ApplyKovaConfigs(text.c_str()), KOVA_E_FAIL) << text;
    EXPECT_EQ(get(KovaConfigGroup_Common, "a"), "1") << text;
    EXPECT_EQ(get(KovaConfigGroup_Common, "b"), "<none>") << text;
  }
  EXPECT_EQ(m_store.ApplyKovaConfigs(nullptr), KOVA_E_FAIL);
  EXPECT_EQ(m_store.ApplyKovaConfigs("{}"), KOVA_S_OK);
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

}  // namespace
}  // namespace kovaStore
