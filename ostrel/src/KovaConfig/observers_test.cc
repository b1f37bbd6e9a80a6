// Registration and removal of observers, value providers, and the removal
// protocol against running deliveries.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <future>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "CmThread.h"
#include "kova_config.h"
#include "trace_capture.h"

namespace kovaStore {

namespace {

constexpr KovaConfigGroup kGroup = KovaConfigGroup_Video;

KovaConfigCallback Ignore() {
  return [](const KovaConfigEvent&) {};
}
KovaConfigProvider Answer(const char* text) {
  return [text](const KovaConfigEvent&) { return ConfigData(text); };
}

KOVA_RESULT Set(KovaConfig& store, const char* szName, const char* szValue) {
  return store.SetKovaConfig(kGroup, szName, ConfigData(szValue), false, false);
}
uint64_t Subscribe(KovaConfig& store, const char* szName,
                   KovaConfigCallback cb) {
  return store.SubscribeConfig(kGroup, szName, std::move(cb), nullptr, false);
}

// Polls the capture until a line containing `part` arrived (bounded).
bool AwaitLine(const CmTraceCapture& capture, int level,
               const std::string& part) {
  for (int i = 0; i < 20000; ++i) {
    if (capture.Contains(level, part)) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return false;
}

TEST(ObserversTest, IdsCountUpRefusalsAndRemovalsCountDown) {
  CmTraceCapture capture(0);
  KovaConfig store(3);
  EXPECT_EQ(1u, Subscribe(store, "A", Ignore()));
  // Failed argument checks consume no id.
  EXPECT_EQ(0u, store.SubscribeConfig(KovaConfigGroup_LastGroup, "A", Ignore(),
                                      nullptr, false));
  EXPECT_TRUE(capture.Contains(0, "Error parameters 0 [cid=3] [this=0x"));

  EXPECT_EQ(2u, store.BindConfig(kGroup, "B", Answer("x")));
  // The name already has a provider: refused, but id 3 is gone.
  EXPECT_EQ(0u, store.BindConfig(kGroup, "B", Answer("y")));
  EXPECT_EQ(4u, Subscribe(store, "B", Ignore()));
  EXPECT_EQ(3u, store.GetTotalObservers());

  // Removal: once per id, counting down; the name's list may then take a new
  // provider.
  EXPECT_EQ(KOVA_S_OK, store.UnsubscribeConfig(1));
  EXPECT_EQ(KOVA_E_FAIL, store.UnsubscribeConfig(1));
  EXPECT_TRUE(capture.Contains(0, "UnsubscribeConfig, id=1Failed [this=0x"));
  EXPECT_EQ(KOVA_S_OK, store.UnsubscribeConfig(2));
  EXPECT_EQ(1u, store.GetTotalObservers());
  EXPECT_EQ(5u, store.BindConfig(kGroup, "B", Answer("2")));
}

// Regression: a name kept its entry after its last observer went, so a
// long-lived store grew with every name ever observed.
TEST(ObserversTest, NameLeavesItsTableWithItsLastObserver) {
  ObserverTable table;
  auto subscriber = std::make_shared<ConfigEventHandler>(Ignore());
  auto provider = std::make_shared<ConfigEventHandler>(Answer("x"));
  for (const char* name : {"a", "b"}) {
    ASSERT_EQ(KOVA_S_OK, table.addSubscriber(name, subscriber, [] {}));
    ASSERT_EQ(KOVA_S_OK, table.addBinder(name, provider));
    ASSERT_EQ(KOVA_S_OK, table.remove(name, subscriber, [] {}));
    EXPECT_EQ(1u, table.nameCount());
    ASSERT_EQ(KOVA_S_OK, table.remove(name, provider, [] {}));
    EXPECT_EQ(0u, table.nameCount());
  }
  EXPECT_EQ(KOVA_S_FALSE, table.remove("a", subscriber, [] {}));
}

TEST(ObserversTest, ConcurrentRemovalOfOneIdSucceedsOnce) {
  KovaConfig store(3);
  for (int round = 0; round < 20; ++round) {
    const uint64_t id = Subscribe(store, "Race", Ignore());
    std::atomic<int> ok{0};
    std::thread a([&] { ok += store.UnsubscribeConfig(id) == KOVA_S_OK; });
    std::thread b([&] { ok += store.UnsubscribeConfig(id) == KOVA_S_OK; });
    a.join();
    b.join();
    EXPECT_EQ(1, ok.load());
  }
  EXPECT_EQ(0u, store.GetTotalObservers());
}

TEST(ObserversTest, ProvidersAnswerOnTheQueryingThreadOnly) {
  KovaConfig store(3);
  std::atomic<int> subscriberCalls{0};
  auto count = [&](const KovaConfigEvent&) { ++subscriberCalls; };
  Subscribe(store, "Rtt", count);
  // Without a provider nobody answers, and a stored value is no answer; it is
  // told at subscription only within its own group.
  Set(store, "Rtt", "stored");
  store.SubscribeConfig(KovaConfigGroup_Audio, "Rtt", count, nullptr, false);
  EXPECT_EQ(1, subscriberCalls.exchange(0));
  ConfigData v("kept");
  EXPECT_EQ(KOVA_E_NOOBSERVER,
            store.GetDynamicConfig(kGroup, "Rtt", v, ConfigData("p")));
  EXPECT_EQ(ConfigData("kept"), v);
  unsigned long askedOn = 0;
  store.BindConfig(kGroup, "Rtt", [&](const KovaConfigEvent& e) {
    askedOn = GetThreadSelfId();
    EXPECT_EQ(kova::KovaSessionType_Video, e.sessionType);
    return ConfigData(std::string("rtt of ") + e.paramValue.ToCstr());
  });
  unsigned long queriedOn = 0;
  std::thread querier([&] {
    queriedOn = GetThreadSelfId();
    EXPECT_EQ(KOVA_S_OK,
              store.GetDynamicConfig(kGroup, "Rtt", v, ConfigData("peer")));
  });
  querier.join();
  EXPECT_EQ(ConfigData("rtt of peer"), v);
  EXPECT_EQ(queriedOn, askedOn);
  EXPECT_EQ(0, subscriberCalls.load());
}

// A removal on another thread waits for a delivery that is running, and the
// subscription's own initial notification counts as one.
TEST(ObserversTest, RemovalWaitsForTheRunningDelivery) {
  for (bool bInitial : {true, false}) {
    CmTraceCapture capture(0);
    KovaConfig store(3);
    if (bInitial) Set(store, "Busy", "1");
    std::promise<void> entered, gate;
    std::shared_future<void> opened = gate.get_future().share();
    std::atomic<bool> finished{false};
    // Called once: either at subscription or for the one set.
    auto callback = [&](const KovaConfigEvent&) {
      entered.set_value();
      opened.wait();
      finished = true;
    };
    std::thread deliverer([&] {
      EXPECT_EQ(1u, Subscribe(store, "Busy", callback));
      if (!bInitial) Set(store, "Busy", "2");
    });
    entered.get_future().wait();
    bool bFinishedWhenRemoved = false;
    std::thread remover([&] {
      EXPECT_EQ(KOVA_S_OK, store.UnsubscribeConfig(1));
      bFinishedWhenRemoved = finished;
    });
    EXPECT_TRUE(AwaitLine(capture, 0, "Other thread remove itself when "));
    gate.set_value();
    remover.join();
    deliverer.join();
    EXPECT_TRUE(bFinishedWhenRemoved);
    EXPECT_EQ(0u, store.GetTotalObservers());
  }
}

TEST(ObserversTest, SlowSelfRemovalGivesUpAfterTheLimit) {
  CmTraceCapture capture(1);
  KovaConfig store(3);
  std::atomic<int> calls{0};
  KOVA_RESULT removed = KOVA_E_FAIL;
  uint64_t id = store.SubscribeConfig(
      kGroup, "Self",
      [&](const KovaConfigEvent&) {
        ++calls;
        removed = store.UnsubscribeConfig(id);
      },
      nullptr, false);
  EXPECT_EQ(KOVA_S_OK, Set(store, "Self", "1"));
  EXPECT_EQ(KOVA_S_OK, removed);
  EXPECT_TRUE(capture.Contains(
      0, ", Same thread remove itself when notification, Self, "));
  EXPECT_TRUE(capture.Contains(1, "unsubscribeConfig, Self Waiting for long"));
  EXPECT_EQ(KOVA_E_NOOBSERVER, Set(store, "Self", "2"));
  EXPECT_EQ(1, calls.load());
}

}  // namespace
}  // namespace kovaStore
