#include "kova_config.h"

#include <ConfigData.h>
#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <utility>

#include "util/testing/trace_capture.h"

namespace kovaStore {
namespace {

uint32_t bit(KovaConfigGroup group) { return 1u << group; }

class KovaConfigTest : public ::testing::Test {
 protected:
  KOVA_RESULT set(KovaConfigGroup group, const char* name, const char* value,
                  bool bNotifyOnly = false) {
    return m_store.SetKovaConfig(group, name, ConfigData(value), false,
                                 bNotifyOnly);
  }
  ConfigData get(KovaConfigGroup group, const char* name) {
    ConfigData value;
    m_store.GetKovaConfig(group, name, value);
    return value;
  }

  KovaConfig m_store{77};
};

// A group outside the storable ones, a null or empty name, an invalid value:
// KOVA_E_INVALIDARG from every operation; set traces all but the empty name.
TEST_F(KovaConfigTest, BadArgumentsAreRefusedWithTheirTraces) {
  CmTraceCapture capture(2);
  ConfigData value("kept");
  for (const auto& [group, name] :
       {std::pair(KovaConfigGroup_LastGroup, "n"),
        std::pair(KovaConfigGroup_Audio, static_cast<const char*>(nullptr)),
        std::pair(KovaConfigGroup_Audio, "")}) {
    for (KOVA_RESULT result :
         {set(group, name, "1"), m_store.GetKovaConfig(group, name, value),
          m_store.GetDynamicConfig(group, name, value, ConfigData()),
          m_store.RemoveKovaConfig(group, name)})
      EXPECT_EQ(result, KOVA_E_INVALIDARG);
  }
  for (KOVA_RESULT result :
       {m_store.RemoveKovaConfigByGroup(KovaConfigGroup_Undefined),
        m_store.SetKovaConfig(KovaConfigGroup_Audio, "n", ConfigData(), false,
                              true)})
    EXPECT_EQ(result, KOVA_E_INVALIDARG);
  EXPECT_EQ(capture.Count(0,
                          "kovaStore::KovaConfig::SetKovaConfigError "
                          "parameters [cid=77] [this="),
            3u);
  EXPECT_EQ(value, ConfigData("kept"));
}

// Removal succeeds whether or not the name is stored, touches one group only
// and tells no observer, who stays registered.
TEST_F(KovaConfigTest, RemoveClearsQuietly) {
  int calls = 0;
  m_store.SubscribeConfig(
      KovaConfigGroup_Audio, "Gain", [&](const KovaConfigEvent&) { ++calls; },
      nullptr, false);
  set(KovaConfigGroup_Audio, "Gain", "1");
  set(KovaConfigGroup_Audio, "b", "1");
  set(KovaConfigGroup_Video, "Gain", "4");
  for (KOVA_RESULT result :
       {m_store.RemoveKovaConfig(KovaConfigGroup_Audio, "Never"),
        m_store.RemoveKovaConfig(KovaConfigGroup_Audio, "Gain"),
        m_store.RemoveKovaConfigByGroup(KovaConfigGroup_Audio)})
    EXPECT_EQ(result, KOVA_S_OK);
  EXPECT_FALSE(get(KovaConfigGroup_Audio, "b").IsValid());
  EXPECT_EQ(get(KovaConfigGroup_Video, "Gain"), ConfigData("4"));
  EXPECT_EQ(calls, 1);
  EXPECT_EQ(set(KovaConfigGroup_Audio, "Gain", "1"), KOVA_S_OK);
  EXPECT_EQ(calls, 2);
}

// Bits of no storable group select nothing.
TEST_F(KovaConfigTest, DumpOfNoStorableGroupIsEmpty) {
  set(KovaConfigGroup_Audio, "alpha", "1");
  for (uint32_t groups : {0u, 0xFFFFF000u})
    EXPECT_STREQ(m_store.DumpKovaConfigs(groups), "{}") << groups;
}

// Regression: dumps made on different threads shared one text, so one dump
// rewrote or freed the text that another thread was still reading.
TEST_F(KovaConfigTest, EachThreadKeepsItsOwnDumpText) {
  set(KovaConfigGroup_Audio, "a", "1");
  const char* mine = m_store.DumpKovaConfigs(bit(KovaConfigGroup_Audio));
  std::thread other([this] {
    for (int i = 0; i < 100; ++i)
      ASSERT_STREQ("{\"Video\":[]}",
                   m_store.DumpKovaConfigs(bit(KovaConfigGroup_Video)));
  });
  other.join();
  EXPECT_STREQ("{\"Audio\":[{\"key\":\"a\",\"value\":\"1\"}]}", mine);
}

// Apply refuses with KOVA_E_FAIL; groups run in name order and entries in
// array order, so what came before the fault stays stored and nothing after.
TEST_F(KovaConfigTest, ApplyStopsAtTheFirstFault) {
  const struct {
    std::string text;
    KovaConfigGroup group;
    const char* name;
    const char* stored;
  } rows[] = {
      {"{\"Video\":[{\"key\":\"Fps\",\"value\":\"30\"}],"
       "\"Undefined_Group\":[]}",
       KovaConfigGroup_Video, "Fps", nullptr},
      {"{\"Audio\":[{\"key\":\"A\",\"value\":\"1\"}],\"Common\":{}}",
       KovaConfigGroup_Audio, "A", "1"},
      {"{\"Common\":[{\"key\":\"a\",\"value\":\"1\"},"
       "{\"key\":\"b\",\"value\":5},{\"key\":\"c\",\"value\":\"3\"}]}",
       KovaConfigGroup_Common, "c", nullptr},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.text);
    EXPECT_EQ(m_store.ApplyKovaConfigs(row.text.c_str()), KOVA_E_FAIL);
    EXPECT_EQ(get(row.group, row.name), ConfigData(row.stored));
    m_store.RemoveKovaConfigByGroup(row.group);
  }
  EXPECT_EQ(m_store.ApplyKovaConfigs(nullptr), KOVA_E_FAIL);
  EXPECT_EQ(m_store.ApplyKovaConfigs("{}"), KOVA_S_OK);
}

}  // namespace
}  // namespace kovaStore
