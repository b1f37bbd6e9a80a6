// Registration and removal of observers and value providers, the removal
// protocol against running deliveries, and delivery of changes to
// subscribers under each delivery mode.
#include <CmThread.h>
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <future>
#include <memory>
#include <mutex>
#include <new>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "copy_fails.h"
#include "kova_config.h"
#include "ostrel/KovaConfigApi.h"
#include "util/testing/trace_capture.h"

namespace kovaStore {
namespace {

constexpr KovaConfigGroup kGroup = KovaConfigGroup_Audio;

// Runs a function on an event thread.
struct FnEvent : ICmEvent {
  explicit FnEvent(std::function<void()> f) : fn(std::move(f)) {}
  int OnEventFire() override { return fn(), 0; }
  std::function<void()> fn;
};

// Runs `fn` on `thread` and waits for it; every event posted before has run.
void RunOn(
    ACmThread& thread, std::function<void()> fn = [] {}) {
  thread.GetEventQueue()->SendEvent(new FnEvent(std::move(fn)), 0);
}

// Callbacks record "who:old>new" from any thread, each checking that it runs
// on the run thread set before subscribing.
struct Recorder {
  explicit Recorder(unsigned long runThread = GetThreadSelfId())
      : m_runThread(runThread) {}
  KovaConfigCallback Callback(int who) {
    return [this, who](const KovaConfigEvent& e) {
      EXPECT_EQ(m_runThread, GetThreadSelfId());
      std::lock_guard<std::mutex> lock(m_mutex);
      m_seen.push_back(std::to_string(who) + ":" +
                       (e.oldValue.IsValid() ? e.oldValue.ToCstr() : "-") +
                       ">" + e.newValue.ToCstr());
    };
  }
  std::vector<std::string> Seen() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_seen;
  }
  unsigned long m_runThread;
  mutable std::mutex m_mutex;  // guards m_seen
  std::vector<std::string> m_seen;
};

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

enum class DeliveryMode { kDirect, kHandOver, kPosted };

// Subscribes with the settings of the mode, on a run thread when it needs
// one.
class DispatchModeTest : public ::testing::TestWithParam<DeliveryMode> {
 protected:
  uint64_t Subscribe(const char* name, KovaConfigCallback cb) {
    return m_store.SubscribeConfig(kGroup, name, std::move(cb), m_thread.get(),
                                   GetParam() == DeliveryMode::kPosted);
  }
  void Drain() {
    if (m_thread) RunOn(*m_thread);
  }

  std::unique_ptr<ACmThread> m_thread = GetParam() == DeliveryMode::kDirect
                                            ? nullptr
                                            : CreateCmEventThread("obs");
  KovaConfig m_store{7};
  Recorder m_rec{m_thread ? m_thread->GetThreadId() : GetThreadSelfId()};
};

// A stored value is told at subscription, then each change, in registration
// order and on the mode's thread; an equal value reaches nobody unless
// forced, and a name without a value notifies nobody at subscription.
TEST_P(DispatchModeTest, SubscribersAreToldInOrderWithOldAndNewValues) {
  const bool bSynchronous = GetParam() != DeliveryMode::kPosted;
  Set(m_store, "AecMode", "a");
  for (int who = 1; who <= 3; ++who) {
    ASSERT_EQ(static_cast<uint64_t>(who),
              Subscribe("AecMode", m_rec.Callback(who)));
    EXPECT_TRUE(!bSynchronous || m_rec.Seen().size() == size_t(who));
  }
  Subscribe("Other", m_rec.Callback(9));
  EXPECT_EQ(KOVA_E_UNCHANGED, Set(m_store, "AecMode", "a"));
  EXPECT_EQ(KOVA_S_OK, Set(m_store, "AecMode", "b"));
  EXPECT_EQ(KOVA_S_OK, m_store.SetKovaConfig(kGroup, "AecMode", ConfigData("b"),
                                             true, false));
  EXPECT_TRUE(!bSynchronous || m_rec.Seen().size() == 9u);
  Drain();

  std::vector<std::string> expected;
  for (const char* change : {":->a", ":a>b", ":b>b"})
    for (int who = 1; who <= 3; ++who)
      expected.push_back(std::to_string(who) + change);
  EXPECT_EQ(expected, m_rec.Seen());
}

// Callbacks may use the store they are called from, in the same group,
// without deadlock: set another name, subscribe and unsubscribe.
TEST_P(DispatchModeTest, CallbacksMayUseTheirOwnStore) {
  std::atomic<int> inner{0};
  Subscribe("Inner", [&](const KovaConfigEvent&) { ++inner; });
  Subscribe("Outer", [&](const KovaConfigEvent& e) {
    if (!e.oldValue.IsValid()) return;  // ignore the initial notification
    EXPECT_EQ(KOVA_S_OK,
              m_store.SetKovaConfig(kGroup, "Inner", e.newValue, false, false));
    // On its own run thread a synchronous delivery runs inline, while a
    // posted one waits for the running event to end.
    EXPECT_EQ(GetParam() == DeliveryMode::kPosted ? 0 : 1, inner.load());
    const uint64_t id = m_store.SubscribeConfig(
        kGroup, "Outer", m_rec.Callback(5), nullptr, false);
    EXPECT_EQ(KOVA_S_OK, m_store.UnsubscribeConfig(id));
  });
  Set(m_store, "Outer", "x");
  EXPECT_EQ(KOVA_S_OK, Set(m_store, "Outer", "y"));
  Drain();
  Drain();  // the inner change may have been posted by the first event
  EXPECT_EQ(1, inner.load());
  // Subscribed during the change and gone before the next one: told only of
  // the value it found at subscription.
  EXPECT_EQ(std::vector<std::string>{"5:->y"}, m_rec.Seen());
  EXPECT_EQ(2u, m_store.GetTotalObservers());
}

INSTANTIATE_TEST_SUITE_P(AllModes, DispatchModeTest,
                         ::testing::Values(DeliveryMode::kDirect,
                                           DeliveryMode::kHandOver,
                                           DeliveryMode::kPosted));

// A posted event carries copies: it runs later with the values as they were,
// also when its observer is gone and its store destroyed by then. A run
// thread without a queue is counted but never called.
TEST(DispatchTest, PostedCopiesOutliveTheirObserverAndStore) {
  CmTraceCapture capture(0);
  std::unique_ptr<ACmThread> thread = CreateCmEventThread("obs");
  std::unique_ptr<ACmThread> plain = CreateCmPlainThread("plain");
  Recorder rec(thread->GetThreadId());
  std::promise<void> gate;
  std::shared_future<void> opened = gate.get_future().share();
  // Holds the run thread so that the posts below queue up behind it.
  thread->GetEventQueue()->PostEvent(new FnEvent([opened] { opened.wait(); }),
                                     128, 0);
  auto store = std::make_unique<KovaConfig>(7);
  const uint64_t id = store->SubscribeConfig(kGroup, "Rate", rec.Callback(1),
                                             thread.get(), true);
  for (bool bAsync : {false, true})
    store->SubscribeConfig(kGroup, "Rate", rec.Callback(0), plain.get(),
                           bAsync);
  for (const char* value : {"1", "2"})
    EXPECT_EQ(KOVA_S_OK, Set(*store, "Rate", value));
  EXPECT_EQ(4u, capture.Count(0, ", EventQueue == NULL [this=0x"));
  // A post holds no claim once handed over: removal does not wait for it.
  EXPECT_EQ(KOVA_S_OK, store->UnsubscribeConfig(id));
  store.reset();
  EXPECT_TRUE(rec.Seen().empty());
  gate.set_value();
  RunOn(*thread);
  EXPECT_EQ((std::vector<std::string>{"1:->1", "1:1>2"}), rec.Seen());
}

// Regression: nothing caught an exception of the store's own making, so it
// reached the host. Callbacks' and providers' own exceptions still reach the
// caller unchanged, whatever their type; the store's own (the copy of a
// callback for a posted delivery, below) is traced and answered KOVA_E_FAIL.
TEST(DispatchTest, OwnExceptionsStopAtTheStoreCallbacksPassThrough) {
  IKovaConfig* store = nullptr;
  ASSERT_EQ(KOVA_S_OK, CreateKovaConfig(61, &store));
  store->SubscribeConfig(
      kGroup, "Direct",
      [](const KovaConfigEvent& e) {
        if (e.newValue == ConfigData("oom")) throw std::bad_alloc();
        throw std::runtime_error("callback");
      },
      nullptr, false);
  store->BindConfig(
      kGroup, "Dynamic",
      [](const KovaConfigEvent&) -> ConfigData { throw std::bad_alloc(); });
  EXPECT_THROW(
      store->SetKovaConfig(kGroup, "Direct", ConfigData("1"), false, false),
      std::runtime_error);
  EXPECT_THROW(
      store->SetKovaConfig(kGroup, "Direct", ConfigData("oom"), false, false),
      std::bad_alloc);
  ConfigData value;
  EXPECT_THROW(store->GetDynamicConfig(kGroup, "Dynamic", value, ConfigData()),
               std::bad_alloc);

  EXPECT_EQ(KOVA_S_OK, ReleaseKovaConfig(store));
  EXPECT_EQ(KOVA_S_OK, CleanUpKovaConfig(61));
}

// Regression: a posted subscriber whose callback could not be copied made
// the set store the value, tell the subscribers before it and leave every
// claim taken, so each removal waited 3 s; a callback that threw left the
// claims of the subscribers after it taken, and its own level raised. Now a
// change that cannot be made ready for every subscriber is taken back before
// anyone is told, and every claim is given back however a delivery ends.
TEST(DispatchTest, FailedDeliveryLeavesNoClaimTakenAndNoHalfToldChange) {
  std::unique_ptr<ACmThread> thread = CreateCmEventThread("obs");
  for (bool bNotifyOnly : {false, true}) {
    IKovaConfig* store = nullptr;
    ASSERT_EQ(KOVA_S_OK, CreateKovaConfig(62, &store));
    Recorder direct;
    Recorder sent(thread->GetThreadId());
    std::atomic<bool> armed{false};
    std::vector<uint64_t> ids = {
        store->SubscribeConfig(kGroup, "Rate", direct.Callback(1), nullptr,
                               false),
        store->SubscribeConfig(kGroup, "Rate", sent.Callback(2), thread.get(),
                               false),
        store->SubscribeConfig(kGroup, "Rate", CopyFails(&armed), thread.get(),
                               true)};
    EXPECT_EQ(KOVA_S_OK, store->SetKovaConfig(kGroup, "Rate", ConfigData("1"),
                                              false, false));
    armed = true;
    CmTraceCapture capture(1);
    EXPECT_EQ(KOVA_E_FAIL, store->SetKovaConfig(kGroup, "Rate", ConfigData("2"),
                                                false, bNotifyOnly));
    EXPECT_EQ(1u, capture.Count(0, "kovaStore::KovaConfig::SetKovaConfig"));
    ConfigData value;
    EXPECT_EQ(KOVA_S_OK, store->GetKovaConfig(kGroup, "Rate", value));
    EXPECT_EQ(ConfigData("1"), value);
    EXPECT_EQ((std::vector<std::string>{"1:->1"}), direct.Seen());
    EXPECT_EQ((std::vector<std::string>{"2:->1"}), sent.Seen());
    armed = false;
    for (uint64_t id : ids) EXPECT_EQ(KOVA_S_OK, store->UnsubscribeConfig(id));
    EXPECT_FALSE(capture.Contains(0, "remove itself when notification"));
    EXPECT_EQ(KOVA_S_OK, ReleaseKovaConfig(store));
    EXPECT_EQ(KOVA_S_OK, CleanUpKovaConfig(62));
  }

  KovaConfig store(63);
  Recorder after;
  const uint64_t throwing = Subscribe(
      store, "Rate",
      [](const KovaConfigEvent&) { throw std::runtime_error("callback"); });
  const uint64_t second = Subscribe(store, "Rate", after.Callback(2));
  EXPECT_THROW(Set(store, "Rate", "1"), std::runtime_error);
  EXPECT_TRUE(after.Seen().empty());
  CmTraceCapture capture(1);
  EXPECT_EQ(KOVA_S_OK, store.UnsubscribeConfig(second));
  EXPECT_THROW(Set(store, "Rate", "2"), std::runtime_error);
  EXPECT_EQ(KOVA_S_OK, store.UnsubscribeConfig(throwing));
  EXPECT_FALSE(capture.Contains(-1, "remove itself when notification"));
  EXPECT_FALSE(capture.Contains(-1, "Notify, level="));
}

// Regression: a subscription that failed after it was linked (a posted
// initial notification whose callback could not be copied, a callback that
// threw in its initial notification) returned no id yet stayed registered
// and kept being called.
TEST(DispatchTest, FailedSubscriptionLeavesNothingRegistered) {
  std::unique_ptr<ACmThread> thread = CreateCmEventThread("obs");
  IKovaConfig* store = nullptr;
  ASSERT_EQ(KOVA_S_OK, CreateKovaConfig(64, &store));
  ASSERT_EQ(
      KOVA_E_NOOBSERVER,
      store->SetKovaConfig(kGroup, "Rate", ConfigData("1"), false, false));
  std::atomic<bool> armed{false};
  KovaConfigCallback uncopyable = CopyFails(&armed);
  armed = true;
  {
    CmTraceCapture quiet(-1);
    EXPECT_EQ(0u, store->SubscribeConfig(kGroup, "Rate", std::move(uncopyable),
                                         thread.get(), true));
  }
  std::atomic<int> calls{0};
  EXPECT_THROW(store->SubscribeConfig(
                   kGroup, "Rate",
                   [&calls](const KovaConfigEvent&) {
                     if (++calls == 1) throw std::runtime_error("initial");
                   },
                   nullptr, false),
               std::runtime_error);
  armed = false;
  EXPECT_EQ(0u, KovaConfig::FromInterface(store)->GetTotalObservers());
  EXPECT_EQ(
      KOVA_E_NOOBSERVER,
      store->SetKovaConfig(kGroup, "Rate", ConfigData("2"), false, false));
  EXPECT_EQ(1, calls.load());
  EXPECT_EQ(KOVA_S_OK, ReleaseKovaConfig(store));
  EXPECT_EQ(KOVA_S_OK, CleanUpKovaConfig(64));
}

// A synchronous callback that sets its own name again on the same thread:
// the inner change is delivered before the outer delivery goes on, and both
// the nesting and the second claim are reported.
TEST(DispatchTraceTest, NestedChangeOfTheSameNameIsDeliveredAndReported) {
  CmTraceCapture capture(2);
  KovaConfig store(7);
  Recorder rec;
  KovaConfigCallback first = rec.Callback(1);
  store.SubscribeConfig(
      kGroup, "Loop",
      [&](const KovaConfigEvent& e) {
        first(e);
        if (e.newValue == ConfigData("1")) Set(store, "Loop", "2");
      },
      nullptr, false);
  store.SubscribeConfig(kGroup, "Loop", rec.Callback(2), nullptr, false);
  EXPECT_EQ(KOVA_S_OK, Set(store, "Loop", "1"));
  EXPECT_EQ((std::vector<std::string>{"1:->1", "1:1>2", "2:1>2", "2:->1"}),
            rec.Seen());
  EXPECT_TRUE(capture.Contains(1, "fireEvents Multiple notification, Loop, "));
  EXPECT_TRUE(capture.Contains(
      2,
      "kovaStore::KovaConfig::fireEvents, Audio, Loop, <invalid> -> 1, "
      "bForceNotify=0 [cid=7] [this=0x"));
}

// The cost a level-1 line of `prefix` reports, -1 when there is none.
long ReportedCostMs(const CmTraceCapture& capture, const std::string& prefix) {
  for (const CmTraceLine& line : capture.Lines()) {
    if (line.level != 1 || line.text.rfind(prefix, 0) != 0) continue;
    const size_t at = line.text.find(", cost=");
    if (at == std::string::npos) continue;
    return std::stol(line.text.substr(at + 7));
  }
  return -1;
}

// A call slower than 100 ms is reported with its cost in milliseconds, a
// quick one is not; subscribers and providers alike.
TEST(DispatchTraceTest, SlowCallsAreReportedWithTheirCost) {
  for (const int sleepMs : {0, 150}) {
    CmTraceCapture capture(1);
    KovaConfig store(7);
    const auto pause = [sleepMs] {
      std::this_thread::sleep_for(std::chrono::milliseconds(sleepMs));
    };
    store.SubscribeConfig(
        kGroup, "Slow", [&](const KovaConfigEvent&) { pause(); }, nullptr,
        false);
    store.BindConfig(kGroup, "Slow", [&](const KovaConfigEvent&) {
      pause();
      return ConfigData("1");
    });
    ASSERT_EQ(KOVA_S_OK, Set(store, "Slow", "1"));
    ConfigData answer;
    ASSERT_EQ(KOVA_S_OK,
              store.GetDynamicConfig(kGroup, "Slow", answer, ConfigData("")));
    for (const char* prefix :
         {"kovaStore::ConfigEventHandler::Notify, Slow, ",
          "kovaStore::ConfigEventHandler::Invoke, Slow, "}) {
      const long cost = ReportedCostMs(capture, prefix);
      if (sleepMs == 0) {
        EXPECT_EQ(-1, cost) << prefix;
      } else {
        EXPECT_GE(cost, sleepMs) << prefix;
      }
    }
  }
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

TEST(ObserversTest, IdsCountUpAndEachRemovalSucceedsOnceEvenRacing) {
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
  // Of two removals of one id racing each other, exactly one succeeds.
  for (int round = 0; round < 20; ++round) {
    const uint64_t id = Subscribe(store, "Race", Ignore());
    std::atomic<int> ok{0};
    std::thread a([&] { ok += store.UnsubscribeConfig(id) == KOVA_S_OK; });
    std::thread b([&] { ok += store.UnsubscribeConfig(id) == KOVA_S_OK; });
    a.join();
    b.join();
    EXPECT_EQ(1, ok.load());
  }
  EXPECT_EQ(2u, store.GetTotalObservers());
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

// Sets look at a name's observers only while it has some: a name counts as
// observed from its first observer to its last removal, whichever kind.
TEST(ObserversTest, NameIsObservedFromItsFirstToItsLastObserver) {
  ObserverTable table;
  auto subscriber = std::make_shared<ConfigEventHandler>(Ignore());
  auto provider = std::make_shared<ConfigEventHandler>(Answer("x"));
  EXPECT_FALSE(table.mayObserve("a"));
  ASSERT_EQ(KOVA_S_OK, table.addSubscriber("a", subscriber, [] {}));
  ASSERT_EQ(KOVA_S_OK, table.addBinder("b", provider));
  ASSERT_EQ(KOVA_S_OK, table.addBinder("a", provider));
  EXPECT_TRUE(table.mayObserve("a"));
  EXPECT_TRUE(table.mayObserve("b"));
  ASSERT_EQ(KOVA_S_OK, table.remove("a", subscriber, [] {}));
  EXPECT_TRUE(table.mayObserve("a"));
  ASSERT_EQ(KOVA_S_OK, table.remove("a", provider, [] {}));
  EXPECT_FALSE(table.mayObserve("a"));
  EXPECT_TRUE(table.mayObserve("b"));
  ObserverTable::HandlerList out;
  table.handOver(out);
  EXPECT_FALSE(table.mayObserve("b"));
}

// A set of a name nobody observes does not look at the observer table; a
// subscriber that comes while the name is being set still learns the value,
// at its subscription or from the change.
TEST(ObserversTest, SubscriberRacingTheFirstSetOfItsNameLearnsTheValue) {
  for (int round = 0; round < 200; ++round) {
    KovaConfig store(5);
    Subscribe(store, "Other", Ignore());  // the group has observers
    std::atomic<bool> go{false};
    std::atomic<int> told{0};
    const auto waitForGo = [&go] {
      while (!go.load()) std::this_thread::yield();
    };
    std::thread setter([&] {
      waitForGo();
      Set(store, "Name", "v");
    });
    std::thread subscriber([&] {
      waitForGo();
      Subscribe(store, "Name", [&told](const KovaConfigEvent& e) {
        if (std::string(e.newValue.ToCstr()) == "v") ++told;
      });
    });
    go = true;
    setter.join();
    subscriber.join();
    ASSERT_GE(told.load(), 1) << "round " << round;
  }
}

TEST(ObserversTest, ProvidersAnswerOnTheQueryingThreadOnly) {
  KovaConfig store(3);
  std::atomic<int> subscriberCalls{0};
  auto count = [&](const KovaConfigEvent&) { ++subscriberCalls; };
  Subscribe(store, "Rtt", count);
  // Without a provider nobody answers, and a stored value is no answer; it is
  // told at subscription only within its own group.
  Set(store, "Rtt", "stored");
  store.SubscribeConfig(KovaConfigGroup_Video, "Rtt", count, nullptr, false);
  EXPECT_EQ(1, subscriberCalls.exchange(0));
  ConfigData v("kept");
  EXPECT_EQ(KOVA_E_NOOBSERVER,
            store.GetDynamicConfig(kGroup, "Rtt", v, ConfigData("p")));
  EXPECT_EQ(ConfigData("kept"), v);
  unsigned long askedOn = 0;
  store.BindConfig(kGroup, "Rtt", [&](const KovaConfigEvent& e) {
    askedOn = GetThreadSelfId();
    EXPECT_EQ(kova::KovaSessionType_Audio, e.sessionType);
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
