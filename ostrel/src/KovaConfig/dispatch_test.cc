// Registration and removal of observers and providers, the removal protocol
// against running deliveries, and delivery under each delivery mode.
#include <CmThread.h>
#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <future>
#include <memory>
#include <mutex>
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
typedef std::vector<std::string> Texts;

struct FnEvent : ICmEvent {
  explicit FnEvent(std::function<void()> f) : fn(std::move(f)) {}
  int OnEventFire() override { return fn(), 0; }
  std::function<void()> fn;
};

// Waits until every event posted to `thread` (if any) before has run.
void RunOn(ACmThread* thread) {
  if (thread) thread->GetEventQueue()->SendEvent(new FnEvent([] {}), 0);
}

// Callbacks record "who:old>new", each checking it runs on the given thread.
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
  Texts Seen() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_seen;
  }
  unsigned long m_runThread;
  mutable std::mutex m_mutex;  // guards m_seen
  Texts m_seen;
};

void Ignore(const KovaConfigEvent&) {}
ConfigData Answer(const KovaConfigEvent&) { return ConfigData("x"); }
KOVA_RESULT Set(IKovaConfig& store, const char* szName, const char* szValue) {
  return store.SetKovaConfig(kGroup, szName, ConfigData(szValue), false, false);
}
uint64_t Subscribe(IKovaConfig& store, const char* szName,
                   KovaConfigCallback cb) {
  return store.SubscribeConfig(kGroup, szName, std::move(cb), nullptr, false);
}

enum class DeliveryMode { kDirect, kHandOver, kPosted };

class DispatchModeTest : public ::testing::TestWithParam<DeliveryMode> {
 protected:
  uint64_t Subscribe(const char* name, KovaConfigCallback cb) {
    return m_store.SubscribeConfig(kGroup, name, std::move(cb), m_thread.get(),
                                   GetParam() == DeliveryMode::kPosted);
  }
  void Drain() { RunOn(m_thread.get()); }

  std::unique_ptr<ACmThread> m_thread = GetParam() == DeliveryMode::kDirect
                                            ? nullptr
                                            : CreateCmEventThread("obs");
  KovaConfig m_store{7};
  Recorder m_rec{m_thread ? m_thread->GetThreadId() : GetThreadSelfId()};
};

// A stored value is told at subscription, then each change, in registration
// order on the mode's thread; an equal value reaches nobody unless forced.
// More subscribers than a delivery's list holds inline.
TEST_P(DispatchModeTest, SubscribersAreToldInOrderWithOldAndNewValues) {
  constexpr int kSubscribers = static_cast<int>(kInlineDeliverySlots) + 2;
  const bool bSynchronous = GetParam() != DeliveryMode::kPosted;
  Set(m_store, "AecMode", "a");
  for (int who = 1; who <= kSubscribers; ++who) {
    ASSERT_EQ(static_cast<uint64_t>(who),
              Subscribe("AecMode", m_rec.Callback(who)));
    EXPECT_TRUE(!bSynchronous || m_rec.Seen().size() == size_t(who));
  }
  Subscribe("Other", m_rec.Callback(99));
  EXPECT_EQ(KOVA_E_UNCHANGED, Set(m_store, "AecMode", "a"));
  EXPECT_EQ(KOVA_S_OK, Set(m_store, "AecMode", "b"));
  EXPECT_EQ(KOVA_S_OK, m_store.SetKovaConfig(kGroup, "AecMode", ConfigData("b"),
                                             true, false));
  EXPECT_TRUE(!bSynchronous || m_rec.Seen().size() == 3u * kSubscribers);
  Drain();
  Texts expected;
  for (const char* change : {":->a", ":a>b", ":b>b"})
    for (int who = 1; who <= kSubscribers; ++who)
      expected.push_back(std::to_string(who) + change);
  EXPECT_EQ(expected, m_rec.Seen());
}

// Callbacks may set, subscribe and unsubscribe in their own store and group
// without deadlock; on its own run thread a synchronous delivery runs
// inline, a posted one after the running event.
TEST_P(DispatchModeTest, CallbacksMayUseTheirOwnStore) {
  std::atomic<int> inner{0};
  Subscribe("Inner", [&](const KovaConfigEvent&) { ++inner; });
  Subscribe("Outer", [&](const KovaConfigEvent& e) {
    if (!e.oldValue.IsValid()) return;  // the initial notification
    EXPECT_EQ(KOVA_S_OK,
              m_store.SetKovaConfig(kGroup, "Inner", e.newValue, false, false));
    EXPECT_EQ(GetParam() == DeliveryMode::kPosted ? 0 : 1, inner.load());
    EXPECT_EQ(KOVA_S_OK, m_store.UnsubscribeConfig(::kovaStore::Subscribe(
                             m_store, "Outer", m_rec.Callback(5))));
  });
  Set(m_store, "Outer", "x");
  EXPECT_EQ(KOVA_S_OK, Set(m_store, "Outer", "y"));
  Drain();
  Drain();  // the inner change may have been posted by the first event
  EXPECT_EQ(1, inner.load());
  EXPECT_EQ(Texts{"5:->y"}, m_rec.Seen());
  EXPECT_EQ(2u, m_store.GetTotalObservers());
}

INSTANTIATE_TEST_SUITE_P(AllModes, DispatchModeTest,
                         ::testing::Values(DeliveryMode::kDirect,
                                           DeliveryMode::kHandOver,
                                           DeliveryMode::kPosted));

// A posted event carries copies: it runs later with the values as they were,
// also when its observer and store are gone by then. A run thread without a
// queue is traced, never called.
TEST(DispatchTest, PostedCopiesOutliveTheirObserverAndStore) {
  CmTraceCapture capture(0);
  std::unique_ptr<ACmThread> thread = CreateCmEventThread("obs");
  std::unique_ptr<ACmThread> plain = CreateCmPlainThread("plain");
  Recorder rec(thread->GetThreadId());
  std::promise<void> gate;
  std::shared_future<void> opened = gate.get_future().share();
  thread->GetEventQueue()->PostEvent(new FnEvent([opened] { opened.wait(); }),
                                     128, 0);
  auto store = std::make_unique<KovaConfig>(7);
  const uint64_t id = store->SubscribeConfig(kGroup, "Rate", rec.Callback(1),
                                             thread.get(), true);
  store->SubscribeConfig(kGroup, "Rate", rec.Callback(0), plain.get(), true);
  Set(*store, "Rate", "1");
  Set(*store, "Rate", "2");
  EXPECT_EQ(2u, capture.Count(0, ", EventQueue == NULL [this=0x"));
  EXPECT_EQ(KOVA_S_OK, store->UnsubscribeConfig(id));  // does not wait
  store.reset();
  EXPECT_TRUE(rec.Seen().empty());
  gate.set_value();
  RunOn(thread.get());
  EXPECT_EQ((Texts{"1:->1", "1:1>2"}), rec.Seen());
}

// A store of the registry, as the host gets it (behind the host boundary).
struct Registered {
  explicit Registered(uint32_t callId) : callId(callId) {
    EXPECT_EQ(KOVA_S_OK, CreateKovaConfig(callId, &p));
  }
  ~Registered() {
    EXPECT_EQ(0u, KovaConfig::FromInterface(p)->GetTotalObservers());
    ReleaseKovaConfig(p);
    CleanUpKovaConfig(callId);
  }
  uint32_t callId;
  IKovaConfig* p = nullptr;
};

// Regression: an exception of the store's own making (a posted callback
// that cannot be copied) reached the host after the value was stored and
// the subscribers before told, leaving every claim taken; a callback that
// threw left the claims after it taken and its nesting level raised. Now
// the change is taken back unseen with KOVA_E_FAIL, claims are always given
// back, and callbacks' own exceptions pass through unchanged.
TEST(DispatchTest, FailedDeliveryLeavesNoClaimTakenAndNoHalfToldChange) {
  Registered store(62);
  std::unique_ptr<ACmThread> thread = CreateCmEventThread("obs");
  Recorder direct, after;
  std::atomic<bool> armed{false};
  const uint64_t ids[] = {
      Subscribe(*store.p, "Rate", direct.Callback(1)),
      store.p->SubscribeConfig(kGroup, "Rate", CopyFails(&armed), thread.get(),
                               true),
      Subscribe(
          *store.p, "Loud",
          [](const KovaConfigEvent&) { throw std::runtime_error("callback"); }),
      Subscribe(*store.p, "Loud", after.Callback(2))};
  EXPECT_EQ(KOVA_S_OK, Set(*store.p, "Rate", "1"));
  armed = true;
  CmTraceCapture capture(1);
  EXPECT_EQ(KOVA_E_FAIL, Set(*store.p, "Rate", "2"));
  armed = false;
  ConfigData value;
  EXPECT_EQ(KOVA_S_OK, store.p->GetKovaConfig(kGroup, "Rate", value));
  EXPECT_EQ(ConfigData("1"), value);
  EXPECT_THROW(Set(*store.p, "Loud", "1"), std::runtime_error);
  EXPECT_TRUE(after.Seen().empty());
  EXPECT_EQ(KOVA_S_OK, Set(*store.p, "Rate", "3"));
  EXPECT_EQ((Texts{"1:->1", "1:1>3"}), direct.Seen());
  for (uint64_t id : ids) EXPECT_EQ(KOVA_S_OK, store.p->UnsubscribeConfig(id));
  EXPECT_FALSE(capture.Contains(-1, "remove itself when notification"));
  EXPECT_FALSE(capture.Contains(-1, "Notify, level="));
}

// Regression: a subscription that failed after it was linked (a posted
// initial notification whose callback could not be copied, a callback that
// threw in its initial notification) returned no id yet stayed registered
// and kept being called.
TEST(DispatchTest, FailedSubscriptionLeavesNothingRegistered) {
  Registered store(64);
  std::unique_ptr<ACmThread> thread = CreateCmEventThread("obs");
  Set(*store.p, "Rate", "1");
  std::atomic<bool> armed{false};
  KovaConfigCallback uncopyable = CopyFails(&armed);
  armed = true;
  CmTraceCapture quiet(-1);
  EXPECT_EQ(0u, store.p->SubscribeConfig(kGroup, "Rate", std::move(uncopyable),
                                         thread.get(), true));
  armed = false;
  std::atomic<int> calls{0};
  const auto throwsFirst = [&calls](const KovaConfigEvent&) {
    if (++calls == 1) throw std::runtime_error("first");
  };
  EXPECT_THROW(Subscribe(*store.p, "Rate", throwsFirst), std::runtime_error);
  EXPECT_EQ(KOVA_E_NOOBSERVER, Set(*store.p, "Rate", "2"));
  EXPECT_EQ(1, calls.load());
}

// A synchronous callback setting its own name again: the inner change is
// delivered before the outer delivery goes on, and the nesting is reported.
TEST(DispatchTraceTest, NestedChangeOfTheSameNameIsDeliveredAndReported) {
  CmTraceCapture capture(2);
  KovaConfig store(7);
  Recorder rec;
  KovaConfigCallback first = rec.Callback(1);
  Subscribe(store, "Loop", [&](const KovaConfigEvent& e) {
    first(e);
    if (e.newValue == ConfigData("1")) Set(store, "Loop", "2");
  });
  Subscribe(store, "Loop", rec.Callback(2));
  EXPECT_EQ(KOVA_S_OK, Set(store, "Loop", "1"));
  EXPECT_EQ((Texts{"1:->1", "1:1>2", "2:1>2", "2:->1"}), rec.Seen());
  EXPECT_TRUE(capture.Contains(1, "fireEvents Multiple notification, Loop, "));
  EXPECT_TRUE(capture.Contains(
      2,
      "kovaStore::KovaConfig::fireEvents, Audio, Loop, <invalid> -> 1, "
      "bForceNotify=0 [cid=7] [this=0x"));
}

// Ids count up, also past a refused binding; of two removals of one id
// racing each other exactly one succeeds.
TEST(ObserversTest, IdsCountUpAndEachRemovalSucceedsOnceEvenRacing) {
  KovaConfig store(3);
  EXPECT_EQ(1u, store.BindConfig(kGroup, "B", Answer));
  EXPECT_EQ(0u, store.BindConfig(kGroup, "B", Answer));
  EXPECT_EQ(3u, Subscribe(store, "B", Ignore));
  for (int round = 0; round < 20; ++round) {
    const uint64_t id = Subscribe(store, "Race", Ignore);
    std::atomic<int> ok{0};
    std::thread a([&] { ok += store.UnsubscribeConfig(id) == KOVA_S_OK; });
    ok += store.UnsubscribeConfig(id) == KOVA_S_OK;
    a.join();
    EXPECT_EQ(1, ok.load());
  }
  EXPECT_EQ(2u, store.GetTotalObservers());
}

// Regression: a name kept its entry after its last observer went, so a
// long-lived store grew with every name ever observed. A name counts as
// observed from its first observer to its last removal, whichever kind.
TEST(ObserversTest, NameLeavesItsTableWithItsLastObserver) {
  ObserverTable table;
  auto subscriber = std::make_shared<ConfigEventHandler>(Ignore);
  auto provider =
      std::make_shared<ConfigEventHandler>(KovaConfigProvider(Answer));
  for (const char* name : {"a", "b"}) {
    EXPECT_FALSE(table.mayObserve(name));
    ASSERT_EQ(KOVA_S_OK, table.addSubscriber(name, subscriber, [] {}));
    ASSERT_EQ(KOVA_S_OK, table.addBinder(name, provider));
    ASSERT_EQ(KOVA_S_OK, table.remove(name, subscriber, [] {}));
    EXPECT_TRUE(table.mayObserve(name));
    ASSERT_EQ(KOVA_S_OK, table.remove(name, provider, [] {}));
    EXPECT_EQ(0u, table.nameCount());
    EXPECT_FALSE(table.mayObserve(name));
  }
  EXPECT_EQ(KOVA_S_FALSE, table.remove("a", subscriber, [] {}));
}

// A set of a name nobody observes skips the observer table; a subscriber
// coming while the name is first set still learns the value.
TEST(ObserversTest, SubscriberRacingTheFirstSetOfItsNameLearnsTheValue) {
  for (int round = 0; round < 200; ++round) {
    KovaConfig store(5);
    Subscribe(store, "Other", Ignore);  // the group has observers
    std::atomic<int> told{0};
    std::thread setter([&] { Set(store, "Name", "v"); });
    Subscribe(store, "Name", [&told](const KovaConfigEvent& e) {
      told += e.newValue == ConfigData("v");
    });
    setter.join();
    ASSERT_GE(told.load(), 1) << "round " << round;
  }
}

}  // namespace
}  // namespace kovaStore
