#include "change_journal.h"

#include <CmThread.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "ostrel/KovaConfigApi.h"
#include "ostrel/KovaIntrospection.h"

namespace kovaStore {
namespace {

constexpr KovaConfigGroup kGroup = KovaConfigGroup_Audio;

// Process-wide journal settings for one test; the defaults come back after.
struct JournalSettingsScope {
  JournalSettingsScope(uint32_t depth, uint32_t cut, bool bAll) {
    KovaJournalSettings s{sizeof(s), depth, cut, bAll ? 1u : 0u};
    EXPECT_EQ(KOVA_S_OK, SetKovaJournalSettings(&s));
  }
  ~JournalSettingsScope() {
    KovaJournalSettings s{sizeof(s), 64, 64, 0};
    SetKovaJournalSettings(&s);
  }
};

std::vector<KovaJournalEntry> readJournal(uint32_t callId,
                                          uint32_t capacity = 64) {
  std::vector<KovaJournalEntry> entries(capacity);
  uint32_t n = 0;
  ReadKovaJournal(callId, entries.data(), capacity, &n);
  entries.resize(std::min(n, capacity));
  return entries;
}

// One "operation result name/length old/length>new/length;" per entry, "-"
// for a value the entry does not have.
std::string describeJournal(uint32_t callId) {
  const auto text = [](bool bHas, const char* value, uint32_t length) {
    return bHas ? value + ("/" + std::to_string(length)) : std::string("-");
  };
  std::string out;
  for (const KovaJournalEntry& e : readJournal(callId)) {
    out += e.operation == KovaJournal_Set           ? "set"
           : e.operation == KovaJournal_NotifyOnly  ? "notify"
           : e.operation == KovaJournal_Remove      ? "remove"
           : e.operation == KovaJournal_RemoveGroup ? "group"
                                                    : "?";
    out += e.result == KOVA_S_OK           ? " ok "
           : e.result == KOVA_E_UNCHANGED  ? " same "
           : e.result == KOVA_E_NOOBSERVER ? " none "
                                           : " other ";
    out += text(true, e.name, e.nameLength) + " " +
           text(e.hasOld, e.oldValue, e.oldLength) + ">" +
           text(e.hasNew, e.newValue, e.newLength) + ";";
  }
  return out;
}

class ChangeJournalTest : public ::testing::Test {
 protected:
  void SetUp() override {
    DestroyKovaConfig();
    ASSERT_EQ(KOVA_S_OK, CreateKovaConfig(7, &m_store));
  }
  void TearDown() override { DestroyKovaConfig(); }

  void set(const char* name, const char* value, KovaConfigGroup group = kGroup,
           bool bNotifyOnly = false) {
    m_store->SetKovaConfig(group, name, ConfigData(value), false, bNotifyOnly);
  }

  IKovaConfig* m_store = nullptr;
};

// Off until enabled; then the newest `depth` changes of every kind and
// group, oldest first, in sequence, texts cut with their full lengths, each
// with its result and the id of the thread that made it. A short buffer
// gets the newest entries.
TEST_F(ChangeJournalTest, KeepsTheNewestChangesOfEveryKindCutWithTheirThreads) {
  JournalSettingsScope scope(4, 3, false);
  set("before", "x");
  EXPECT_TRUE(readJournal(7).empty());
  EXPECT_EQ(KOVA_S_OK, SetKovaJournalEnabled(7, true));
  EXPECT_EQ(KOVA_S_FALSE, SetKovaJournalEnabled(8, true));
  m_store->SubscribeConfig(
      kGroup, "watched", [](const KovaConfigEvent&) {}, nullptr, false);
  set("watched", "1");
  set("plain", "3", KovaConfigGroup_Video);
  unsigned long otherThread = 0;
  std::thread([&] {
    otherThread = GetThreadSelfId();
    set("watched", "long value", kGroup, true);
  }).join();
  set("plain", "3", KovaConfigGroup_Video);
  m_store->RemoveKovaConfig(KovaConfigGroup_Video, "plain");
  m_store->RemoveKovaConfigByGroup(kGroup);

  EXPECT_EQ(
      "notify ok wat/7 1/1>lon/10;set same pla/5 3/1>3/1;"
      "remove ok pla/5 3/1>-;group ok /0 ->-;",
      describeJournal(7));
  const std::vector<KovaJournalEntry> all = readJournal(7);
  ASSERT_EQ(4u, all.size());
  EXPECT_EQ(KovaConfigGroup_Video, all[1].group);
  for (size_t i = 0; i < all.size(); ++i) {
    EXPECT_EQ(7u, all[i].callId);
    EXPECT_EQ(all[0].sequence + i, all[i].sequence);
    EXPECT_NE(0u, all[i].timeUs);
    EXPECT_EQ(i == 0 ? otherThread : GetThreadSelfId(), all[i].threadId);
  }
  KovaJournalEntry two[2];
  uint32_t n = 0;
  EXPECT_EQ(KOVA_S_FALSE, ReadKovaJournal(7, two, 2, &n));
  EXPECT_EQ(4u, n);
  EXPECT_EQ(all[2].sequence, two[0].sequence);
  EXPECT_EQ(KOVA_E_INVALIDARG, ReadKovaJournal(7, nullptr, 2, &n));
  EXPECT_EQ(KOVA_S_FALSE, ReadKovaJournal(8, two, 2, &n));
}

// The all-stores switch journals every store, present and future; turned
// off, a journal keeps what it holds; a new cut length empties every
// journal; values out of range change nothing; cut length 0 keeps lengths.
TEST_F(ChangeJournalTest, SwitchesAndSettingsChanges) {
  JournalSettingsScope scope(8, 0, true);
  IKovaConfig* later = nullptr;
  ASSERT_EQ(KOVA_S_OK, CreateKovaConfig(8, &later));
  set("a", "1");
  later->SetKovaConfig(kGroup, "b", ConfigData("2"), false, false);
  EXPECT_EQ("set none /1 ->/1;", describeJournal(7));
  EXPECT_EQ(1u, readJournal(8).size());
  KovaJournalSettings s{sizeof(s), 8, 0, 0};
  EXPECT_EQ(KOVA_S_OK, SetKovaJournalSettings(&s));
  set("a", "2");
  EXPECT_EQ(1u, readJournal(7).size());
  s.cutLength = 9;
  EXPECT_EQ(KOVA_S_OK, SetKovaJournalSettings(&s));
  EXPECT_TRUE(readJournal(8).empty());
  for (KovaJournalSettings bad : {KovaJournalSettings{sizeof(s), 0, 8, 0},
                                  KovaJournalSettings{sizeof(s), 8, 256, 0},
                                  KovaJournalSettings{8, 8, 8, 0}})
    EXPECT_EQ(KOVA_E_INVALIDARG, SetKovaJournalSettings(&bad));
  KovaJournalSettings read{};
  read.size = sizeof(read);
  EXPECT_EQ(KOVA_S_OK, GetKovaJournalSettings(&read));
  EXPECT_EQ("8 9 0", std::to_string(read.depth) + " " +
                         std::to_string(read.cutLength) + " " +
                         std::to_string(read.allStores));
}

// Bounded, for ThreadSanitizer: writers on three groups, also removing,
// while readers copy the journal. Every copy holds at most the depth, in
// increasing sequence, each text the cut prefix of what a writer wrote.
TEST_F(ChangeJournalTest, StormOfSettersAgainstReaders) {
  constexpr uint32_t kDepth = 16;
  JournalSettingsScope scope(kDepth, 6, false);
  SetKovaJournalEnabled(7, true);
  std::atomic<unsigned long> ids[3] = {};
  std::atomic<int> running{3};
  std::atomic<int> bad{0};
  std::vector<std::thread> threads;
  for (int w = 0; w < 3; ++w) {
    threads.emplace_back([&, w] {
      ids[w] = GetThreadSelfId();
      const auto group =
          static_cast<KovaConfigGroup>(KovaConfigGroup_Common + w);
      for (int i = 0; i < 1500; ++i) {
        set("storm_name", ("value_" + std::to_string(i)).c_str(), group);
        if (i % 100 == 0) m_store->RemoveKovaConfig(group, "storm_name");
      }
      --running;
    });
  }
  for (int r = 0; r < 2; ++r) {
    threads.emplace_back([&] {
      do {
        const std::vector<KovaJournalEntry> copy = readJournal(7, kDepth + 4);
        bad += copy.size() > kDepth;
        for (size_t i = 0; i < copy.size(); ++i) {
          const KovaJournalEntry& e = copy[i];
          bad += (e.threadId != ids[0] && e.threadId != ids[1] &&
                  e.threadId != ids[2]) ||
                 (i > 0 && e.sequence <= copy[i - 1].sequence) ||
                 std::string(e.name) != "storm_" ||
                 (e.hasNew && std::string(e.newValue) != "value_");
        }
      } while (running.load() > 0);
    });
  }
  for (std::thread& thread : threads) thread.join();
  EXPECT_EQ(0, bad.load());
  EXPECT_EQ(kDepth, readJournal(7).size());
}

}  // namespace
}  // namespace kovaStore
