#include "change_journal.h"

#include <CmThread.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "ostrel/KovaConfigApi.h"
#include "ostrel/KovaIntrospection.h"

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

// The journal of `callId`, one "operation result name/length
// old/length>new/length" per entry, "-" for a value an entry does not have.
std::string describeJournal(uint32_t callId) {
  const auto text = [](bool bHas, const char* value, uint32_t length) {
    return bHas ? value + ("/" + std::to_string(length)) : std::string("-");
  };
  std::string out;
  for (const KovaJournalEntry& e : readJournal(callId)) {
    out += std::to_string(e.operation) +
           (e.result == KOVA_S_OK           ? " ok "
            : e.result == KOVA_E_UNCHANGED  ? " same "
            : e.result == KOVA_E_NOOBSERVER ? " none "
                                            : " other ") +
           text(true, e.name, e.nameLength) + " " +
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
  EXPECT_EQ(
      "0 none alp/5 ->22/2;0 none bet/4 ->lon/10;0 same alp/5 1/1>1/1;"
      "0 none gam/5 ->3/1;",
      describeJournal(7));
  ASSERT_EQ(4u, all.size());
  EXPECT_EQ(KovaConfigGroup_Video, all[0].group);
  for (size_t i = 0; i < all.size(); ++i) {
    EXPECT_EQ(7u, all[i].callId);
    EXPECT_EQ(all[0].sequence + i, all[i].sequence) << "no gap, in order";
    EXPECT_NE(0u, all[i].timeUs);
    EXPECT_EQ(i == 1 ? otherThread : GetThreadSelfId(), all[i].threadId);
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
// observer, a notify-only set, a set nobody observes, a removal and a
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

  EXPECT_EQ(
      "0 ok /7 ->/1;1 ok /7 /1>/1;0 none /5 ->/1;2 ok /5 /1>-;3 ok /0 ->-;",
      describeJournal(7));
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

// Bounded storm under ThreadSanitizer: writers on three groups, each also
// removing, while readers copy the journal. Every copy holds at most the
// depth, in strictly increasing sequence, each text the cut prefix of what
// its writer wrote, each thread id one of the writers'.
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
      const auto group = static_cast<KovaConfigGroup>(w);
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
        if (copy.size() > kDepth) ++bad;
        for (size_t i = 0; i < copy.size(); ++i) {
          const KovaJournalEntry& e = copy[i];
          bool known = false;
          for (const auto& id : ids) known = known || id.load() == e.threadId;
          if (!known || (i > 0 && e.sequence <= copy[i - 1].sequence) ||
              std::string(e.name) != "storm_" ||
              (e.hasNew && std::string(e.newValue) != "value_")) {
            ++bad;
          }
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
