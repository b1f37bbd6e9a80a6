// Subscriptions end when their handle says so, under every delivery mode,
// with real threads.
#include <gtest/gtest.h>
#include <ostrel/cpp.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <future>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "observer_state.h"
#include "util/testing/trace_capture.h"

namespace {

constexpr uint32_t kCall = 9113;
constexpr kovaStore::KovaConfigGroup kGroup = kovaStore::KovaConfigGroup_Video;

// Inline, or posted to a thread (an executor takes the same path: a thread
// is delivered to through an executor that posts to it).
class SubscriptionTest : public testing::TestWithParam<bool> {
 protected:
  ~SubscriptionTest() override {
    m_thread->Stop();
    kovaStore::CleanUpKovaConfig(kCall);
  }
  ostrel::Delivery Delivery() {
    return GetParam() ? ostrel::Delivery::Posted(*m_thread)
                      : ostrel::Delivery::Inline();
  }
  void Queue(std::function<void()> task) {
    const ostrel::Executor post = ostrel::detail::PostTo(*m_thread);
    post(std::move(task));
  }
  void Drain() {
    std::promise<void> done;
    Queue([&done] { done.set_value(); });
    done.get_future().wait();
  }
  std::unique_ptr<ACmThread> m_thread{CreateCmEventThread("deliveries")};
  ostrel::Store call{kCall};
};

// Subscribes a callback counting into a module on the heap, runs `between`,
// ends the subscription and destroys the module (a later call reads freed
// memory). Returns a counter of the calls and its value at the end, which
// must not move after.
std::pair<std::shared_ptr<std::atomic<int>>, int> SubscribeAndTearDown(
    ostrel::Store& call, ostrel::Delivery delivery,
    const std::function<void()>& between) {
  auto* module = new std::atomic<int>(0);
  auto calls = std::make_shared<std::atomic<int>>(0);
  ostrel::Subscription sub = call.Subscribe(
      kGroup, "Fps",
      [module, calls](const kovaStore::KovaConfigEvent&) {
        *calls = ++*module;
      },
      delivery);
  between();
  sub.reset();
  delete module;
  return {calls, calls->load()};
}

// First with the deliveries held behind a gate, then with racing setters.
TEST_P(SubscriptionTest,
       ModuleDestroyedRightAfterItsSubscriptionIsNeverCalled) {
  // Removing while another thread delivers is traced as an error; quiet.
  CmTraceCapture quiet(-1);
  std::vector<std::pair<std::shared_ptr<std::atomic<int>>, int>> ended;
  std::promise<void> gate;
  std::shared_future<void> opened = gate.get_future().share();
  if (GetParam()) Queue([opened] { opened.wait(); });
  ended.push_back(SubscribeAndTearDown(call, Delivery(), [this] {
    for (int i = 0; i < 20; ++i) call.Set(kGroup, "Fps", i);
  }));
  gate.set_value();
  std::atomic<bool> stop{false};
  std::vector<std::thread> setters;
  for (int t = 0; t < 3; ++t)
    setters.emplace_back([this, &stop, t] {
      for (int i = 0; !stop; ++i) call.Set(kGroup, "Fps", t * 1000000 + i);
    });
  for (int round = 0; round < 100; ++round)
    ended.push_back(SubscribeAndTearDown(call, Delivery(),
                                         [] { std::this_thread::yield(); }));
  stop = true;
  for (std::thread& t : setters) t.join();
  Drain();
  call.Set(kGroup, "Fps", -1);
  for (const auto& [calls, atEnd] : ended) EXPECT_EQ(calls->load(), atEnd);
}

// A call that lasts until its observer is being reset and a little beyond.
struct SlowCall {
  void Run() {
    entered = true;
    while (!resetting) std::this_thread::yield();
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    finished = true;
  }
  void ResetDuring(ostrel::Subscription& observer) {
    while (!entered) std::this_thread::yield();
    resetting = true;
    observer.reset();
    EXPECT_TRUE(finished);
  }
  std::atomic<bool> entered{false}, resetting{false}, finished{false};
};

// Regression: when the last running call ended on another thread after
// reset() had begun, that thread destroyed the callable after letting reset()
// return, so what it captured died after reset() had returned.
TEST_P(SubscriptionTest, ResetReturnsOnlyOnceTheCallableIsDestroyed) {
  struct Flags {
    std::atomic<bool> resetReturned{false};
    std::atomic<bool> destroyedBeforeReturn{false};
  } flags;
  // Captured by the callable alone; lingers in its destructor.
  struct Captured {
    explicit Captured(Flags& f) : flags(f) {}
    ~Captured() {
      for (int i = 0; i < 300 && !flags.resetReturned; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
      flags.destroyedBeforeReturn = !flags.resetReturned;
    }
    Flags& flags;
  };
  SlowCall slow;
  ostrel::Subscription sub = call.Subscribe(
      kGroup, "Captures",
      [&slow, captured = std::make_shared<Captured>(flags)](
          const kovaStore::KovaConfigEvent&) { slow.Run(); },
      Delivery());
  std::thread setter([this] { call.Set(kGroup, "Captures", 1); });
  slow.ResetDuring(sub);
  flags.resetReturned = true;
  setter.join();
  Drain();
  EXPECT_TRUE(flags.destroyedBeforeReturn);
}

// The store's removal waits up to 3 s for a delivery that the removing thread
// runs itself; a subscription ending itself must not meet it.
TEST_P(SubscriptionTest, ResetFromInsideItsOwnCallbackReturnsAtOnce) {
  CmTraceCapture capture(1);
  std::atomic<int> calls{0};
  ostrel::Subscription sub;
  sub = call.Subscribe(
      kGroup, "Self",
      [&](const kovaStore::KovaConfigEvent&) {
        ++calls;
        sub.reset();
      },
      Delivery());
  const uint64_t id = sub.id();
  call.Set(kGroup, "Self", 1);
  Drain();
  EXPECT_FALSE(sub);
  call.Set(kGroup, "Self", 2);
  Drain();
  EXPECT_EQ(calls, 1);
  EXPECT_FALSE(capture.Contains(0, "Same thread remove itself"));
  EXPECT_FALSE(capture.Contains(-1, "Waiting for long time"));
  // The removal left for later is made by the next subscribe.
  ostrel::Subscription next =
      call.Subscribe(kGroup, "Other", [](const kovaStore::KovaConfigEvent&) {});
  EXPECT_EQ(call.Raw()->UnsubscribeConfig(id), KOVA_E_FAIL);
}

// Setters racing the subscribe: the last value delivered is the stored one.
TEST_P(SubscriptionTest, LastDeliveredValueIsTheStoredValue) {
  for (int round = 0; round < 1000; ++round) {
    const std::string name = "Converge" + std::to_string(round);
    std::mutex mutex;
    ConfigData last;  // guarded by mutex
    std::vector<std::thread> setters;
    for (int t = 0; t < 2; ++t)
      setters.emplace_back([&, t] {
        for (int i = 0; i < 4; ++i) call.Set(kGroup, name.c_str(), t * 10 + i);
      });
    ostrel::Subscription sub = call.Subscribe(
        kGroup, name.c_str(),
        [&](const kovaStore::KovaConfigEvent& event) {
          std::lock_guard<std::mutex> lock(mutex);
          EXPECT_EQ(event.oldValue, last);
          last = event.newValue;
        },
        Delivery());
    for (std::thread& t : setters) t.join();
    Drain();
    ConfigData stored;
    call.Raw()->GetKovaConfig(kGroup, name.c_str(), stored);
    std::lock_guard<std::mutex> lock(mutex);
    ASSERT_EQ(last, stored) << "round " << round;
  }
}

TEST(ProviderTest, ProviderEndsLikeASubscriber) {
  ostrel::Store call(kCall + 1);
  SlowCall slow;
  ostrel::Subscription bound =
      call.Bind(kGroup, "Rtt", [&slow](const kovaStore::KovaConfigEvent&) {
        slow.Run();
        return ConfigData("42");
      });
  ASSERT_TRUE(bound);
  EXPECT_FALSE(call.Bind(kGroup, "Rtt", [](const kovaStore::KovaConfigEvent&) {
    return ConfigData();
  }));
  std::thread query([&call] {
    ConfigData value;
    EXPECT_EQ(call.Raw()->GetDynamicConfig(kGroup, "Rtt", value, ConfigData()),
              KOVA_S_OK);
    EXPECT_EQ(value, ConfigData("42"));
  });
  slow.ResetDuring(bound);
  query.join();
  ConfigData value;
  EXPECT_EQ(call.Raw()->GetDynamicConfig(kGroup, "Rtt", value, ConfigData()),
            KOVA_E_NOOBSERVER);
  kovaStore::CleanUpKovaConfig(kCall + 1);
}

INSTANTIATE_TEST_SUITE_P(Modes, SubscriptionTest, testing::Bool(),
                         [](const testing::TestParamInfo<bool>& info) {
                           return info.param ? "Posted" : "Inline";
                         });

}  // namespace
