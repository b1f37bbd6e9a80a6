#include "change_journal.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "CmThread.h"
#include "KovaConfigApi.h"
#include "KovaIntrospection.h"

namespace kovaStore {
namespace {

constexpr KovaConfigGroup kGroup = KovaConfigGroup_Audio;

// Sets the process-wide journal settings for one test and puts the defaults
// back after it.
class JournalSettingsScope {
 public:
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

class ChangeJournalTest : public ::testing::Test {
 protected:
  void SetUp() override {
    DestroyKovaConfig();
    ASSERT_EQ(KOVA_S_OK, CreateKovaConfig(7, &m_store));
  }
  void TearDown() override { DestroyKovaConfig(); }

  void set(const char* name, const char* value,
           KovaConfigGroup group = kGroup) {
    m_store->SetKovaConfig(group, name, ConfigData(value), false, false);
  }

  IKovaConfig* m_store = nullptr;
};

// Off until enabled; then the newest `depth` changes of all groups, oldest
// first, texts cut to the cut length with their full lengths, each with the
// id of the thread that made it. A short buffer gets the newest entries.
TEST_F(ChangeJournalTest, KeepsTheNewestChangesCutWithTheirThreads) {
  JournalSettingsScope scope(4, 3, false);
  set("before", "x");
  EXPECT_TRUE(readJournal(7).empty());
  EXPECT_EQ(KOVA_S_OK, SetKovaJournalEnabled(7, true));
  EXPECT_EQ(KOVA_S_FALSE, SetKovaJournalEnabled(8, true));

  set("alpha", "1");
  set("alpha", "22", KovaConfigGroup_Video);
  unsigned long otherThread = 0;
  std::thread([&] {
    otherThread = GetThreadSelfId();
    set("beta", "long value");
  }).join();
  set("alpha", "1");  // unchanged, still journaled
  set("gamma", "3");

  const std::vector<KovaJournalEntry> all = readJournal(7);
  ASSERT_EQ(4u, all.size());
  EXPECT_EQ(std::string("alp"), all[0].name);
  EXPECT_EQ(5u, all[0].nameLength);
  EXPECT_EQ(KovaConfigGroup_Video, all[0].group);
  EXPECT_EQ(std::string("bet"), all[1].name);
  EXPECT_EQ(std::string("lon"), all[1].newValue);
  EXPECT_EQ(10u, all[1].newLength);
  EXPECT_EQ(0, all[1].hasOld);
  EXPECT_EQ(otherThread, all[1].threadId);
  EXPECT_EQ(KOVA_E_UNCHANGED, all[2].result);
  EXPECT_EQ(std::string("1"), all[2].oldValue);
  EXPECT_EQ(KOVA_E_NOOBSERVER, all[3].result);
  for (size_t i = 0; i < all.size(); ++i) {
    EXPECT_EQ(7u, all[i].callId);
    EXPECT_EQ(all[0].sequence + i, all[i].sequence) << "no gap, in order";
    EXPECT_NE(0u, all[i].timeUs);
    if (i != 1) {
      EXPECT_EQ(GetThreadSelfId(), all[i].threadId);
    }
  }

  KovaJournalEntry two[2];
  uint32_t n = 0;
  EXPECT_EQ(KOVA_S_FALSE, ReadKovaJournal(7, two, 2, &n));
  EXPECT_EQ(4u, n);
  EXPECT_EQ(all[2].sequence, two[0].sequence);
  EXPECT_EQ(all[3].sequence, two[1].sequence);
  EXPECT_EQ(KOVA_E_INVALIDARG, ReadKovaJournal(7, nullptr, 2, &n));
  EXPECT_EQ(KOVA_S_FALSE, ReadKovaJournal(8, two, 2, &n));
  EXPECT_EQ(0u, n);
}

// Every kind of change is journaled with its result: a set reaching an
// observer (recorded once dispatch ends), a notify-only set, a removal and a
// group's removal. Cut length 0 keeps lengths only.
TEST_F(ChangeJournalTest, RecordsEveryKindOfChange) {
  JournalSettingsScope scope(16, 0, false);
  SetKovaJournalEnabled(7, true);
  m_store->SubscribeConfig(
      kGroup, "watched", [](const KovaConfigEvent&) {}, nullptr, false);
  set("watched", "1");
  m_store->SetKovaConfig(kGroup, "watched", ConfigData("2"), false, true);
  set("plain", "3");
  m_store->RemoveKovaConfig(kGroup, "plain");
  m_store->RemoveKovaConfigByGroup(kGroup);

  const std::vector<KovaJournalEntry> all = readJournal(7);
  ASSERT_EQ(5u, all.size());
  EXPECT_EQ(KovaJournal_Set, all[0].operation);
  EXPECT_EQ(KOVA_S_OK, all[0].result);
  EXPECT_EQ(KovaJournal_NotifyOnly, all[1].operation);
  EXPECT_EQ(1, all[1].hasOld);
  EXPECT_EQ(1u, all[1].oldLength);
  EXPECT_EQ(std::string(""), all[1].oldValue);
  EXPECT_EQ(KovaJournal_Set, all[2].operation);
  EXPECT_EQ(KovaJournal_Remove, all[3].operation);
  EXPECT_EQ(0, all[3].hasNew);
  EXPECT_EQ(KovaJournal_RemoveGroup, all[4].operation);
  EXPECT_EQ(0u, all[4].nameLength);
}

// The all-stores switch journals every store, present and future; turning
// a journal off keeps what it holds; a new depth or cut length empties every
// journal, and values out of range change nothing.
TEST_F(ChangeJournalTest, SwitchesAndSettingsChanges) {
  JournalSettingsScope scope(8, 8, true);
  IKovaConfig* later = nullptr;
  ASSERT_EQ(KOVA_S_OK, CreateKovaConfig(8, &later));
  set("a", "1");
  later->SetKovaConfig(kGroup, "b", ConfigData("2"), false, false);
  EXPECT_EQ(1u, readJournal(7).size());
  EXPECT_EQ(1u, readJournal(8).size());

  KovaJournalSettings s{sizeof(s), 8, 8, 0};
  EXPECT_EQ(KOVA_S_OK, SetKovaJournalSettings(&s));
  set("a", "2");
  EXPECT_EQ(1u, readJournal(7).size()) << "off: kept, nothing added";

  s.cutLength = 9;
  EXPECT_EQ(KOVA_S_OK, SetKovaJournalSettings(&s));
  EXPECT_TRUE(readJournal(8).empty()) << "a new cut length empties";
  for (KovaJournalSettings bad : {KovaJournalSettings{sizeof(s), 0, 8, 0},
                                  KovaJournalSettings{sizeof(s), 8, 256, 0},
                                  KovaJournalSettings{8, 8, 8, 0}}) {
    EXPECT_EQ(KOVA_E_INVALIDARG, SetKovaJournalSettings(&bad));
  }
  KovaJournalSettings read{};
  read.size = sizeof(read);
  EXPECT_EQ(KOVA_S_OK, GetKovaJournalSettings(&read));
  EXPECT_EQ(8u, read.depth);
  EXPECT_EQ(9u, read.cutLength);
  EXPECT_EQ(0u, read.allStores);
}

// Bounded storm under ThreadSanitizer: writers on three groups and a
// remover while readers copy the journal. Every copy holds at most the
// depth, in strictly increasing sequence, each text the cut prefix of what
// its writer wrote, each thread id one of the writers'.
TEST_F(ChangeJournalTest, StormOfSettersAgainstReaders) {
  constexpr uint32_t kDepth = 16;
  constexpr uint32_t kCut = 6;
  JournalSettingsScope scope(kDepth, kCut, false);
  SetKovaJournalEnabled(7, true);
  constexpr int kWriters = 3;
  constexpr int kSets = 1500;
  std::atomic<unsigned long> ids[kWriters] = {};
  std::atomic<int> running{kWriters};
  std::vector<std::thread> threads;
  for (int w = 0; w < kWriters; ++w) {
    threads.emplace_back([&, w] {
      ids[w] = GetThreadSelfId();
      const auto group = static_cast<KovaConfigGroup>(w);
      for (int i = 0; i < kSets; ++i) {
        m_store->SetKovaConfig(group, "storm_name",
                               ConfigData("value_" + std::to_string(i)), false,
                               false);
        if (i % 100 == 0) m_store->RemoveKovaConfig(group, "storm_name");
      }
      --running;
    });
  }
  std::atomic<int> bad{0};
  for (int r = 0; r < 2; ++r) {
    threads.emplace_back([&] {
      do {
        std::vector<KovaJournalEntry> copy(kDepth + 4);
        uint32_t n = 0;
        ReadKovaJournal(7, copy.data(), kDepth + 4, &n);
        if (n > kDepth) ++bad;
        for (uint32_t i = 0; i < n && i < copy.size(); ++i) {
          const KovaJournalEntry& e = copy[i];
          if (i > 0 && e.sequence <= copy[i - 1].sequence) ++bad;
          if (std::string(e.name) != "storm_") ++bad;
          if (e.hasNew && std::string(e.newValue) != "value_") ++bad;
          bool known = false;
          for (const auto& id : ids) known = known || id.load() == e.threadId;
          if (!known) ++bad;
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
