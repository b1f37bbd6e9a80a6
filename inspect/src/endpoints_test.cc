// The endpoints' answers against the library's own state.
#include "endpoints.h"

#include <CmThread.h>
#include <gtest/gtest.h>

#include <future>
#include <nlohmann/json.hpp>
#include <regex>

#include "counters.h"
#include "inspect/test/sample_calls.h"

namespace ostrel::inspect {
namespace {

using nlohmann::json;
constexpr auto kAudio = kovaStore::KovaConfigGroup_Audio;
const std::atomic<bool> kGoOn{false};

// The value of one sample line, or -1 when the scrape has no such line.
double sampleValue(const std::string& scrape, const std::string& series) {
  const std::string needle = "\n" + series + " ";
  const size_t at = scrape.find(needle);
  if (at == std::string::npos) return -1;
  return std::stod(scrape.substr(at + needle.size()));
}

// Moves most counters of one store, several by distinct amounts.
void doCountedThings(kovaStore::IKovaConfig& s, uint32_t callId) {
  kovaStore::SetKovaJournalEnabled(callId, true);
  const auto noop = [](const kovaStore::KovaConfigEvent&) {};
  s.SubscribeConfig(kAudio, "watched", noop, nullptr, false);
  const auto set = [&s](const char* name, const std::string& value) {
    s.SetKovaConfig(kAudio, name, ConfigData(value), false, false);
  };
  for (int i = 0; i < 3; ++i) set("watched", "1");  // one ok, two unchanged
  for (int i = 0; i < 3; ++i) set("alone", std::to_string(i));
  for (int i = 0; i < 4; ++i) set(nullptr, "1");
  std::unique_ptr<ACmThread> thread = CreateCmEventThread("counted");
  std::promise<void> ran;
  s.SubscribeConfig(
      kAudio, "posted",
      [&ran](const kovaStore::KovaConfigEvent&) { ran.set_value(); },
      thread.get(), true);
  s.SubscribeConfig(kAudio, "sent", noop, thread.get(), false);
  set("posted", "1");
  ran.get_future().wait();
  set("sent", "1");
  thread->Stop();
  set("posted", "2");
  set("sent", "2");
  const uint64_t provider = s.BindConfig(
      kAudio, "asked",
      [](const kovaStore::KovaConfigEvent&) { return ConfigData("7"); });
  ConfigData value;
  for (int i = 0; i < 5; ++i) s.GetDynamicConfig(kAudio, "asked", value, {});
  s.UnsubscribeConfig(provider);
  s.ApplyKovaConfigs(R"({"Video":[{"key":"MaxFps","value":"30"}]})");
  for (int i = 0; i < 2; ++i) s.ApplyKovaConfigs("[]");
  for (int i = 0; i < 6; ++i) s.DumpKovaConfigs(0xFFF);
}

TEST(EndpointsTest, MetricsGiveEveryCounterOfEveryCallAsTheLibraryCountsIt) {
  SampleCalls calls({2301}, false);
  doCountedThings(*calls.Store(0), 2301);
  const std::string scrape = "\n" + MetricsAnswer(FieldNames(), kGoOn).body;
  const auto counters = CallCounters(2301);
  const auto totals = TotalCounters();
  ASSERT_TRUE(counters && totals);
  size_t moved = 0;
  for (const CounterSpec& layout : CounterSpecs()) {
    const std::string label = layout.label ? std::string(layout.label) + "=\"" +
                                                 layout.labelValue + "\""
                                           : "";
    const std::string family = layout.family;
    const double value = static_cast<double>((*counters).*layout.field);
    EXPECT_EQ(
        sampleValue(scrape, "ostrel_config_" + family + "{call_id=\"2301\"" +
                                (label.empty() ? "" : "," + label) + "}"),
        value)
        << layout.key;
    EXPECT_GE(sampleValue(scrape, "ostrel_process_config_" + family +
                                      (label.empty() ? "" : "{" + label + "}")),
              value)
        << layout.key;
    moved += value != 0;
  }
  // All but the two that need a fault (a failing set, a removal that waits
  // 3 s) and the queueless run thread were moved above.
  EXPECT_GE(moved, CounterSpecs().size() - 3);
  EXPECT_EQ(sampleValue(scrape, "ostrel_config_observers{call_id=\"2301\"}"),
            static_cast<double>(counters->observersAdded -
                                counters->observersRemoved));
}

// The list's calls are the page's (the browser test); here a call with
// statistics only, which must gain no store, and the answer while stopping.
TEST(EndpointsTest, CallsListStatisticsOnlyCallsWithoutCreatingStores) {
  SampleCalls calls({2311}, false);  // stopping is seen between calls
  kovaStore::IKovaMediaInfo* orphan = nullptr;
  ASSERT_EQ(kovaStore::createOstrelEntity(kovaStore::KovaMediaStat_Video, 2319,
                                          &orphan),
            KOVA_S_OK);
  EXPECT_NE(json::parse(CallsAnswer(kGoOn).body)["statisticsOnly"].dump().find(
                "\"callId\":2319"),
            std::string::npos);
  const std::atomic<bool> stopping{true};
  EXPECT_EQ(CallsAnswer(stopping).status, 503);
  EXPECT_EQ(MetricsAnswer(FieldNames(), stopping).status, 503);
  kovaStore::releaseOstrelEntity(kovaStore::KovaMediaStat_Video, 2319, orphan);
  EXPECT_EQ(kovaStore::CleanUpKovaConfig(2319), KOVA_S_FALSE)
      << "listing a call with statistics only created its store";
}

// The page's plot reads the answer every 2 s: a read must reset nothing.
TEST(EndpointsTest, StatisticsAreReadWithoutResettingAnything) {
  SampleCalls calls({2321});
  calls.Tick(77);
  const std::string first = StatsAnswer(2321, FieldNames()).body;
  EXPECT_EQ(first, StatsAnswer(2321, FieldNames()).body);
  EXPECT_EQ(json::parse(first)["objects"].size(), 4u);
  EXPECT_EQ(StatsAnswer(2329, FieldNames()).status, 404);
}

TEST(EndpointsTest, JournalShowsTheChangesOldestFirstWithCutTexts) {
  kovaStore::KovaJournalSettings before{};
  before.size = sizeof before;
  kovaStore::GetKovaJournalSettings(&before);
  kovaStore::KovaJournalSettings settings{sizeof settings, 4, 5, 0};
  ASSERT_EQ(kovaStore::SetKovaJournalSettings(&settings), KOVA_S_OK);
  {
    SampleCalls calls({2331}, false);
    kovaStore::SetKovaJournalEnabled(2331, true);
    for (const char* value : {"1", "2", "a long value", "<b>x</b>", "5"}) {
      calls.Store(0)->SetKovaConfig(kAudio, "Level", ConfigData(value), false,
                                    false);
    }
    const json entries = json::parse(JournalAnswer(2331).body)["entries"];
    ASSERT_EQ(entries.size(), 4u);  // the newest four, oldest first
    EXPECT_EQ(entries[1]["new"], "a lon");
    EXPECT_EQ(entries[1]["newLength"], 12);
    EXPECT_EQ(entries[3]["result"], "KOVA_E_NOOBSERVER");
  }
  EXPECT_EQ(JournalAnswer(2331).status, 404);
  kovaStore::SetKovaJournalSettings(&before);
}

}  // namespace
}  // namespace ostrel::inspect
