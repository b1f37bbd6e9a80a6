#include "kova_config.h"

#include <ConfigData.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "atom_map.h"
#include "config_groups.h"
#include "util/testing/trace_capture.h"

namespace kovaStore {
namespace {

constexpr uint32_t kCallId = 77;
constexpr uint32_t kAllGroups = 0xFFFFFFFFu;

uint32_t bit(KovaConfigGroup group) { return 1u << group; }

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

constexpr const char* kAllEmpty =
    "{\"Application\":[],\"Audio\":[],\"AudioSi\":[],\"AudioSlide\":[],"
    "\"Common\":[],\"Feature\":[],\"Gamestate\":[],\"Metrics\":[],"
    "\"TAOnly\":[],\"Transmission\":[],\"Video\":[],\"VideoSlide\":[]}";

// Groups are listed by name, also when empty, entries by key; bits of no
// storable group select nothing.
TEST_F(KovaConfigTest, DumpListsSelectedGroupsAndEntriesByName) {
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
TEST_F(KovaConfigTest, EachThreadKeepsItsOwnDumpText) {
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

// Entries the store refuses (not an object, an empty key) are passed over,
// and observers are told of each change: the same name twice in one array is
// set twice in order; of the same group twice in a document the last counts.
TEST_F(KovaConfigTest, ApplyStoresEveryEntryAndTellsObservers) {
  std::vector<std::string> changes;
  m_store.SubscribeConfig(
      KovaConfigGroup_Feature, "Relay",
      [&](const KovaConfigEvent& e) { changes.push_back(e.newValue.ToCstr()); },
      nullptr, false);
  const char* text =
      "{\"Video\":[{\"key\":\"Fps\",\"value\":\"30\"}],"
      "\"Audio\":[{\"key\":\"Gain\",\"value\":\"5\",\"note\":1},"
      "{\"key\":\"Aec\",\"value\":\"\"}],"
      "\"Metrics\":[null,{\"key\":\"\",\"value\":\"1\"},"
      "{\"key\":\"ok\",\"value\":\"2\"}],"
      "\"Feature\":[{\"key\":\"Relay\",\"value\":\"0\"}],"
      "\"Feature\":[{\"key\":\"Relay\",\"value\":\"1\"},"
      "{\"key\":\"Relay\",\"value\":\"2\"},"
      "{\"key\":\"Relay\",\"value\":\"2\"}]}";
  EXPECT_EQ(m_store.ApplyKovaConfigs(text), KOVA_S_OK);
  EXPECT_STREQ(m_store.DumpKovaConfigs(bit(KovaConfigGroup_Metrics)),
               "{\"Metrics\":[{\"key\":\"ok\",\"value\":\"2\"}]}");
  EXPECT_EQ(get(KovaConfigGroup_Audio, "Gain"), ConfigData("5"));
  EXPECT_EQ(get(KovaConfigGroup_Audio, "Aec"), ConfigData(""));
  EXPECT_EQ(changes, (std::vector<std::string>{"1", "2"}));
  EXPECT_EQ(get(KovaConfigGroup_Feature, "Relay"), ConfigData("2"));
}

// Apply refuses with KOVA_E_FAIL; groups run
// in name order and entries in array order, so what came before the fault
// stays stored and nothing after it is.
TEST_F(KovaConfigTest, ApplyStopsAtTheFirstFault) {
  const struct {
    const char* text;
    KovaConfigGroup group;
    const char* name;
    const char* stored;
  } rows[] = {
      {"{\"Video\":[{\"key\":\"Fps\",\"value\":\"30\"}],"
       "\"Undefined_Group\":[]}",
       KovaConfigGroup_Video, "Fps", nullptr},
      {"{\"Audio\":[{\"key\":\"A\",\"value\":\"1\"}],\"Common\":{}}",
       KovaConfigGroup_Audio, "A", "1"},
  };
  for (const auto& row : rows) {
    EXPECT_EQ(m_store.ApplyKovaConfigs(row.text), KOVA_E_FAIL) << row.text;
    EXPECT_EQ(get(row.group, row.name),
              row.stored ? ConfigData(row.stored) : ConfigData())
        << row.text;
    m_store.RemoveKovaConfigByGroup(row.group);
  }
  EXPECT_EQ(m_store.ApplyKovaConfigs(nullptr), KOVA_E_FAIL);
  EXPECT_EQ(m_store.ApplyKovaConfigs("{}"), KOVA_S_OK);
}

TEST(ConfigGroupsTest, NamesRoundTripAndOthersAreRefused) {
  const char* const names[] = {"Common",     "Feature",      "Metrics",
                               "Audio",      "AudioSlide",   "Video",
                               "VideoSlide", "Application",  "Gamestate",
                               "AudioSi",    "Transmission", "TAOnly"};
  for (int i = 0; i < kKovaConfigGroupCount; ++i) {
    const auto group = static_cast<KovaConfigGroup>(i);
    EXPECT_TRUE(isStorableGroup(group));
    EXPECT_STREQ(groupName(group), names[i]);
    EXPECT_EQ(stringToGroup(groupToString(group)), group);
  }
  EXPECT_EQ(groupToString(KovaConfigGroup_LastGroup), "LastGroup");
  for (int value : {-1, 13}) {
    const auto group = static_cast<KovaConfigGroup>(value);
    EXPECT_EQ(groupToString(group), "Undefined_Group") << value;
    EXPECT_FALSE(isStorableGroup(group)) << value;
  }
  EXPECT_FALSE(isStorableGroup(KovaConfigGroup_LastGroup));
  const std::string unknown[] = {"common", "", "LastGroup", "Undefined_Group",
                                 std::string("Audio\0x", 7)};
  for (const std::string& name : unknown) {
    EXPECT_EQ(stringToGroup(name), KovaConfigGroup_LastGroup) << name;
  }
}

TEST(ConfigGroupsTest, SessionTypesMapToTheirGroupsAndBack) {
  const std::pair<int, KovaConfigGroup> bound[] = {
      {kova::KovaSessionType_Audio, KovaConfigGroup_Audio},
      {kova::KovaSessionType_Video, KovaConfigGroup_Video},
      {kova::KovaSessionType_VideoSlide, KovaConfigGroup_VideoSlide},
      {kova::KovaSessionType_AudioSlide, KovaConfigGroup_AudioSlide},
      {kova::KovaSessionType_Application, KovaConfigGroup_Application},
      {kova::KovaSessionType_Gamestate, KovaConfigGroup_Gamestate},
      {kova::KovaSessionType_AudioSi, KovaConfigGroup_AudioSi},
      {6, KovaConfigGroup_Undefined},
      {15, KovaConfigGroup_Undefined},
      {-1, KovaConfigGroup_Undefined}};
  for (const auto& [type, group] : bound) {
    const auto sessionType = static_cast<kova::KovaSessionType>(type);
    EXPECT_EQ(sessionTypeToGroup(sessionType), group) << type;
    if (group != KovaConfigGroup_Undefined) {
      EXPECT_EQ(groupToSessionType(group), sessionType);
    }
  }
  for (int group : {0, 11, 12, -1}) {
    EXPECT_EQ(groupToSessionType(static_cast<KovaConfigGroup>(group)),
              kova::KovaSessionType_None)
        << group;
  }
}

typedef atomMap<std::string, ConfigData> ValueTable;

TEST(AtomMapTest, EmptyVisitorThrowsOnlyWhenThereIsAnEntryAndUnlocks) {
  ValueTable table;
  ValueTable::Visitor none;
  EXPECT_NO_THROW(table.foreach (none));
  table.exchange("k", ConfigData("v"));
  EXPECT_THROW(table.foreach (none), std::bad_function_call);
  std::thread other([&] { EXPECT_EQ(table.size(), 1u); });
  other.join();
}

TEST(AtomMapTest, VisitorMayUseAndChangeTheSameTable) {
  ValueTable table;
  for (const char* key : {"a", "b", "c", "d"})
    table.exchange(key, ConfigData(key));
  std::vector<std::string> visited;
  table.foreach ([&](const std::string& key, const ConfigData& value) {
    EXPECT_EQ(ConfigData(key == "c2" ? "new" : key.c_str()), value);
    visited.push_back(key);
    // Erase the visited entry and the next one, add one ahead and one behind.
    if (key == "a") {
      table.erase(key);
      table.erase("b");
      table.exchange("c2", ConfigData("new"));
      table.exchange("0", ConfigData("behind"));
    }
  });
  EXPECT_EQ(visited, (std::vector<std::string>{"a", "c", "c2", "d"}));
  visited.clear();
  table.foreach ([&](const std::string& key, const ConfigData&) {
    visited.push_back(key);
  });
  EXPECT_EQ(visited, (std::vector<std::string>{"0", "c", "c2", "d"}));
}

// Every value handed in comes back out exactly once, through a later exchange
// or as the final value.
TEST(AtomMapTest, ConcurrentExchangesOnOneKeyLoseNoValue) {
  ValueTable table;
  constexpr unsigned long kThreads = 3, kRounds = 1000;
  std::vector<std::vector<unsigned long>> seen(kThreads);
  std::vector<std::thread> threads;
  for (unsigned long t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      for (unsigned long i = 0; i < kRounds; ++i) {
        ConfigData old = table.exchange(
            "shared", ConfigData(std::to_string(t * kRounds + i)));
        if (old.IsValid()) seen[t].push_back(std::stoul(old.ToCstr()));
      }
    });
  }
  for (auto& thread : threads) thread.join();
  ConfigData last;
  ASSERT_TRUE(table.find("shared", last));
  std::vector<unsigned long> all(1, std::stoul(last.ToCstr()));
  for (const auto& values : seen)
    all.insert(all.end(), values.begin(), values.end());
  std::sort(all.begin(), all.end());
  ASSERT_EQ(all.size(), kThreads * kRounds);
  for (unsigned long v = 0; v < all.size(); ++v) EXPECT_EQ(all[v], v);
}

}  // namespace
}  // namespace kovaStore
