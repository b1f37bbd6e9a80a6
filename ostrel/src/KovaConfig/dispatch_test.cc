// Delivery of changes to subscribers, under each delivery mode.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <future>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "CmThread.h"
#include "kova_config.h"
#include "trace_capture.h"

namespace kovaStore {
namespace {

constexpr KovaConfigGroup kGroup = KovaConfigGroup_Audio;

// Runs a function on an event thread and waits for it.
class FnEvent : public ICmEvent {
 public:
  explicit FnEvent(std::function<void()> fn) : m_fn(std::move(fn)) {}
  int OnEventFire() override {
    m_fn();
    return 0;
  }

 private:
  std::function<void()> m_fn;
};

void RunOn(ACmThread& thread, std::function<void()> fn) {
  thread.GetEventQueue()->SendEvent(new FnEvent(std::move(fn)), 0);
}

// What one callback saw.
struct Seen {
  int who;
  std::string oldValue;  // "<invalid>" when there was none
  std::string newValue;
  unsigned long threadId;
};

// Callbacks record into it from any thread.
class Recorder {
 public:
  KovaConfigCallback Callback(int who) {
    return [this, who](const KovaConfigEvent& e) {
      std::lock_guard<std::mutex> lock(m_mutex);
      m_seen.push_back(
          Seen{who, e.oldValue.IsValid() ? e.oldValue.ToCstr() : "<invalid>",
               e.newValue.ToCstr(), GetThreadSelfId()});
    };
  }
  std::vector<Seen> All() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_seen;
  }
  size_t Count() const { return All().size(); }

 private:
  mutable std::mutex m_mutex;  // guards m_seen
  std::vector<Seen> m_seen;
};

enum class DeliveryMode { kDirect, kHandOver, kPosted };

// The subscription settings of one mode, with the run thread it needs.
class ModeSetup {
 public:
  explicit ModeSetup(DeliveryMode mode) : m_mode(mode) {
    if (mode != DeliveryMode::kDirect) m_thread = CreateCmEventThread("obs");
  }
  // Delivered before the set returned.
  bool Synchronous() const { return m_mode != DeliveryMode::kPosted; }
  // The thread that callbacks run on when `setter` sets.
  unsigned long CallbackThread(unsigned long setter) const {
    return m_thread ? m_thread->GetThreadId() : setter;
  }
  // Every event posted so far has run once this returns.
  void Drain() {
    if (m_thread) RunOn(*m_thread, [] {});
  }
  uint64_t Subscribe(KovaConfig& store, const char* name,
                     KovaConfigCallback cb) {
    return store.SubscribeConfig(kGroup, name, std::move(cb), m_thread.get(),
                                 m_mode == DeliveryMode::kPosted);
  }

 private:
  DeliveryMode m_mode;
  std::unique_ptr<ACmThread> m_thread;
};

class DispatchModeTest : public ::testing::TestWithParam<DeliveryMode> {};

// A stored value is told at subscription, then each change, in registration
// order and on the mode's thread; an equal value reaches nobody unless
// forced.
TEST_P(DispatchModeTest, SubscribersAreToldInOrderWithOldAndNewValues) {
  ModeSetup mode(GetParam());
  KovaConfig store(7);
  Recorder rec;
  store.SetKovaConfig(kGroup, "AecMode", ConfigData("a"), false, false);
  for (int who = 1; who <= 3; ++who) {
    ASSERT_EQ(static_cast<uint64_t>(who),
              mode.Subscribe(store, "AecMode", rec.Callback(who)));
    if (mode.Synchronous()) {
      EXPECT_EQ(static_cast<size_t>(who), rec.Count());
    }
  }
  mode.Subscribe(store, "Other", rec.Callback(99));
  const struct {
    const char* value;
    bool bForce;
    KOVA_RESULT result;
  } sets[] = {{"a", false, KOVA_E_UNCHANGED},
              {"b", false, KOVA_S_OK},
              {"b", true, KOVA_S_OK}};
  for (const auto& set : sets) {
    EXPECT_EQ(set.result,
              store.SetKovaConfig(kGroup, "AecMode", ConfigData(set.value),
                                  set.bForce, false));
  }
  if (mode.Synchronous()) {
    EXPECT_EQ(9u, rec.Count());
  }
  mode.Drain();

  const std::vector<Seen> seen = rec.All();
  ASSERT_EQ(9u, seen.size());
  const char* olds[] = {"<invalid>", "a", "b"};
  const char* news[] = {"a", "b", "b"};
  for (size_t i = 0; i < seen.size(); ++i) {
    EXPECT_EQ(static_cast<int>(i % 3) + 1, seen[i].who);
    EXPECT_EQ(olds[i / 3], seen[i].oldValue);
    EXPECT_EQ(news[i / 3], seen[i].newValue);
    EXPECT_EQ(mode.CallbackThread(GetThreadSelfId()), seen[i].threadId);
  }
}

// Callbacks may use the store they are called from, in the same group,
// without deadlock: set another name, read, subscribe and unsubscribe.
TEST_P(DispatchModeTest, CallbacksMayUseTheirOwnStore) {
  ModeSetup mode(GetParam());
  KovaConfig store(7);
  Recorder rec;
  std::atomic<int> inner{0};
  mode.Subscribe(store, "Inner", [&](const KovaConfigEvent&) { ++inner; });
  std::atomic<bool> done{false};
  mode.Subscribe(store, "Outer", [&](const KovaConfigEvent& e) {
    if (!e.oldValue.IsValid()) return;  // ignore the initial notification
    ConfigData v;
    EXPECT_EQ(KOVA_S_OK, store.GetKovaConfig(kGroup, "Outer", v));
    EXPECT_EQ(e.newValue, v);
    EXPECT_EQ(KOVA_S_OK,
              store.SetKovaConfig(kGroup, "Inner", e.newValue, false, false));
    const uint64_t id =
        store.SubscribeConfig(kGroup, "Outer", rec.Callback(5), nullptr, false);
    EXPECT_NE(0u, id);
    EXPECT_EQ(KOVA_S_OK, store.UnsubscribeConfig(id));
    done = true;
  });
  store.SetKovaConfig(kGroup, "Outer", ConfigData("x"), false, false);
  EXPECT_EQ(KOVA_S_OK, store.SetKovaConfig(kGroup, "Outer", ConfigData("y"),
                                           false, false));
  mode.Drain();
  mode.Drain();  // the inner change may have been posted by the first event
  EXPECT_TRUE(done);
  EXPECT_EQ(1, inner.load());
  // Subscribed during the change and gone before the next one: told only of
  // the value it found at subscription.
  ASSERT_EQ(1u, rec.Count());
  EXPECT_EQ("y", rec.All()[0].newValue);
  EXPECT_EQ(2u, store.GetTotalObservers());
}

INSTANTIATE_TEST_SUITE_P(AllModes, DispatchModeTest,
                         ::testing::Values(DeliveryMode::kDirect,
                                           DeliveryMode::kHandOver,
                                           DeliveryMode::kPosted));

// A posted event carries copies: it runs later with the values as they were,
// also when its observer is gone and its store destroyed by then.
TEST(DispatchTest, PostedCopiesOutliveTheirObserverAndStore) {
  std::unique_ptr<ACmThread> thread = CreateCmEventThread("obs");
  Recorder rec;
  std::promise<void> gate;
  std::shared_future<void> opened = gate.get_future().share();
  // Holds the run thread so that the posts below queue up behind it.
  thread->GetEventQueue()->PostEvent(new FnEvent([opened] { opened.wait(); }),
                                     128, 0);
  auto store = std::make_unique<KovaConfig>(7);
  const uint64_t id = store->SubscribeConfig(kGroup, "Rate", rec.Callback(1),
                                             thread.get(), true);
  EXPECT_EQ(KOVA_S_OK, store->SetKovaConfig(kGroup, "Rate", ConfigData("1"),
                                            false, false));
  EXPECT_EQ(KOVA_S_OK, store->SetKovaConfig(kGroup, "Rate", ConfigData("2"),
                                            false, false));
  // A post holds no claim once handed over: removal does not wait for it.
  EXPECT_EQ(KOVA_S_OK, store->UnsubscribeConfig(id));
  store.reset();
  EXPECT_EQ(0u, rec.Count());
  gate.set_value();
  RunOn(*thread, [] {});

  const std::vector<Seen> seen = rec.All();
  ASSERT_EQ(2u, seen.size());
  EXPECT_EQ("<invalid>", seen[0].oldValue);
  EXPECT_EQ("1", seen[0].newValue);
  EXPECT_EQ("1", seen[1].oldValue);
  EXPECT_EQ("2", seen[1].newValue);
  EXPECT_EQ(thread->GetThreadId(), seen[1].threadId);
}

TEST(DispatchTest, RunThreadWithoutQueueIsCountedButNeverCalled) {
  CmTraceCapture capture(0);
  std::unique_ptr<ACmThread> plain = CreateCmPlainThread("plain");
  KovaConfig store(7);
  std::atomic<int> calls{0};
  for (bool bAsync : {false, true}) {
    store.SubscribeConfig(
        kGroup, "Lost", [&](const KovaConfigEvent&) { ++calls; }, plain.get(),
        bAsync);
  }
  EXPECT_EQ(KOVA_S_OK,
            store.SetKovaConfig(kGroup, "Lost", ConfigData("1"), false, false));
  EXPECT_EQ(0, calls.load());
  EXPECT_EQ(2u, capture.Count(0, ", EventQueue == NULL [this=0x"));
  EXPECT_TRUE(capture.Contains(0,
                               "kovaStore::ConfigEventHandler::Notify, "
                               "m_pRunThread=0x"));
}

TEST(DispatchTest, SynchronousSubscriberOnTheSettingThreadIsCalledInline) {
  std::unique_ptr<ACmThread> thread = CreateCmEventThread("obs");
  KovaConfig store(7);
  Recorder rec;
  store.SubscribeConfig(kGroup, "Here", rec.Callback(1), thread.get(), false);
  store.SubscribeConfig(kGroup, "Here", rec.Callback(2), thread.get(), true);
  size_t countWhenSetReturned = 0;
  RunOn(*thread, [&] {
    EXPECT_EQ(KOVA_S_OK, store.SetKovaConfig(kGroup, "Here", ConfigData("1"),
                                             false, false));
    // The posted one waits for this event to end.
    countWhenSetReturned = rec.Count();
  });
  RunOn(*thread, [] {});
  EXPECT_EQ(1u, countWhenSetReturned);
  ASSERT_EQ(2u, rec.Count());
  EXPECT_EQ(2, rec.All()[1].who);
}

// A synchronous callback that sets its own name again on the same thread:
// the inner change is delivered before the outer delivery goes on, and both
// the nesting and the second claim are reported.
TEST(DispatchTest, NestedChangeOfTheSameNameIsDeliveredAndReported) {
  CmTraceCapture capture(1);
  KovaConfig store(7);
  std::vector<std::string> order;
  store.SubscribeConfig(
      kGroup, "Loop",
      [&](const KovaConfigEvent& e) {
        order.push_back("first:" + std::string(e.newValue.ToCstr()));
        if (e.newValue == ConfigData("1"))
          store.SetKovaConfig(kGroup, "Loop", ConfigData("2"), false, false);
      },
      nullptr, false);
  store.SubscribeConfig(
      kGroup, "Loop",
      [&](const KovaConfigEvent& e) {
        order.push_back("second:" + std::string(e.newValue.ToCstr()));
      },
      nullptr, false);
  EXPECT_EQ(KOVA_S_OK,
            store.SetKovaConfig(kGroup, "Loop", ConfigData("1"), false, false));
  EXPECT_EQ(
      (std::vector<std::string>{"first:1", "first:2", "second:2", "second:1"}),
      order);
  EXPECT_TRUE(capture.Contains(
      1, "kovaStore::ConfigEventHandler::Notify, level=2, Loop, 3 [this=0x"));
  EXPECT_TRUE(capture.Contains(
      1,
      "kovaStore::KovaConfig::fireEvents::<lambda_1>::operator (), "
      "fireEvents Multiple notification, Loop, "));
}

// The change line comes before any delivery, the count line after; a slow
// callback is reported with its cost; a change that reaches nobody has no
// count line.
TEST(DispatchTest, TracesOfAChange) {
  CmTraceCapture capture(2);
  KovaConfig store(9);
  std::vector<size_t> linesWhenCalled;
  store.SubscribeConfig(
      kGroup, "Agc",
      [&](const KovaConfigEvent&) {
        linesWhenCalled.push_back(capture.Count(2, "fireEvents, Audio, Agc"));
        std::this_thread::sleep_for(std::chrono::milliseconds(150));
      },
      nullptr, false);
  store.SubscribeConfig(
      kGroup, "Agc", [](const KovaConfigEvent&) {}, nullptr, false);
  store.SetKovaConfig(kGroup, "Agc", ConfigData("on"), false, false);
  EXPECT_EQ(std::vector<size_t>{1u}, linesWhenCalled);
  EXPECT_TRUE(capture.Contains(
      2,
      "kovaStore::KovaConfig::fireEvents, Audio, Agc, <invalid> -> on, "
      "bForceNotify=0 [cid=9] [this=0x"));
  EXPECT_TRUE(capture.Contains(
      2,
      "kovaStore::KovaConfig::fireEvents, Audio, Agc, nObservers=2 "
      "[cid=9] [this=0x"));
  EXPECT_EQ(1u, capture.Count(1,
                              "kovaStore::ConfigEventHandler::Notify, "
                              "Agc, 3, cost="));
  capture.Clear();
  store.SetKovaConfig(kGroup, "Nobody", ConfigData("on"), false, false);
  EXPECT_EQ(0u, capture.Count(2, "nObservers="));
}

}  // namespace
}  // namespace kovaStore
