// Several threads subscribe, unsubscribe, bind, query and set on shared names
// of one store at once, under every delivery mode. Afterwards:
// - no synchronous callback or provider ran after its removal returned;
// - every subscriber that was registered for the whole of a set was told of
//   that set's value exactly once (posted ones once their queue drained);
// - every observer is gone from the store's count.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "CmThread.h"
#include "kova_config.h"

namespace kovaStore {
namespace {

constexpr auto kRunTime = std::chrono::milliseconds(2000);
constexpr int kWorkers = 4;
constexpr int kMaxOpsPerWorker = 200000;
constexpr size_t kMaxLivePerWorker = 8;
const char* const kNames[] = {"Alpha", "Beta", "Gamma", "Delta"};
constexpr KovaConfigGroup kGroups[] = {KovaConfigGroup_Audio,
                                       KovaConfigGroup_Video};

// One total order over the moments that matter: a registration having
// returned, a removal about to start, a set starting and having returned.
std::atomic<uint64_t> g_tick{0};
uint64_t Tick() { return ++g_tick; }

class RunOnEvent : public ICmEvent {
 public:
  explicit RunOnEvent(std::function<void()> fn) : m_fn(std::move(fn)) {}
  int OnEventFire() override {
    m_fn();
    return 0;
  }

 private:
  std::function<void()> m_fn;
};

// One subscription or binding and what its callable saw.
struct Observer {
  KovaConfigGroup group;
  std::string name;
  bool bPosted = false;
  bool bProvider = false;
  uint64_t id = 0;
  uint64_t registeredTick = 0;
  uint64_t removalTick = UINT64_MAX;
  std::atomic<bool> bRemoved{false};
  // Calls after removal (synchronous ones) or with a stranger's event.
  std::atomic<int> faults{0};
  std::mutex mutex;  // guards seen
  std::vector<uint64_t> seen;

  void Record(const KovaConfigEvent& e) {
    if (bRemoved.load() && !bPosted) ++faults;
    if (e.configName != name || e.group != group) ++faults;
    std::lock_guard<std::mutex> lock(mutex);
    seen.push_back(std::stoull(e.newValue.ToCstr()));
  }
};

struct SetRecord {
  KovaConfigGroup group;
  std::string name;
  uint64_t value;
  uint64_t startTick;
  uint64_t endTick;
  KOVA_RESULT result;
};

class Worker {
 public:
  Worker(KovaConfig& store, std::vector<ACmThread*> runThreads, unsigned seed,
         std::atomic<uint64_t>& nextValue)
      : m_store(store),
        m_runThreads(std::move(runThreads)),
        m_random(seed),
        m_nextValue(nextValue) {}

  void Run(std::chrono::steady_clock::time_point deadline) {
    for (int op = 0;
         op < kMaxOpsPerWorker && std::chrono::steady_clock::now() < deadline;
         ++op) {
      const int pick = Pick(100);
      if (pick < 25) {
        Subscribe();
      } else if (pick < 45) {
        RemoveOne();
      } else if (pick < 90) {
        Set();
      } else {
        BindOrQuery();
      }
    }
    while (!m_live.empty()) RemoveOne();
  }

  std::vector<std::shared_ptr<Observer>> m_all;
  std::vector<SetRecord> m_sets;

 private:
  int Pick(int n) { return static_cast<int>(m_random() % n); }

  // A new observer of a random name, or null when this worker holds enough.
  std::shared_ptr<Observer> NewObserver() {
    if (m_live.size() >= kMaxLivePerWorker) return nullptr;
    auto obs = std::make_shared<Observer>();
    obs->group = kGroups[Pick(2)];
    obs->name = kNames[Pick(4)];
    return obs;
  }
  void Track(const std::shared_ptr<Observer>& obs) {
    m_all.push_back(obs);
    m_live.push_back(obs);
  }

  void Subscribe() {
    std::shared_ptr<Observer> obs = NewObserver();
    if (!obs) return;
    const int mode = Pick(3);  // direct, blocking hand-over, posted
    ACmThread* runThread =
        mode == 0 ? nullptr
                  : m_runThreads[Pick(static_cast<int>(m_runThreads.size()))];
    obs->bPosted = mode == 2;
    Observer* raw = obs.get();
    obs->id = m_store.SubscribeConfig(
        obs->group, obs->name.c_str(),
        [raw](const KovaConfigEvent& e) { raw->Record(e); }, runThread,
        obs->bPosted);
    obs->registeredTick = Tick();
    ASSERT_NE(0u, obs->id);
    Track(obs);
  }

  void RemoveOne() {
    if (m_live.empty()) return;
    const size_t i = Pick(static_cast<int>(m_live.size()));
    std::shared_ptr<Observer> obs = m_live[i];
    m_live.erase(m_live.begin() + i);
    obs->removalTick = Tick();
    EXPECT_EQ(KOVA_S_OK, m_store.UnsubscribeConfig(obs->id));
    obs->bRemoved = true;
  }

  void Set() {
    SetRecord set;
    set.group = kGroups[Pick(2)];
    set.name = kNames[Pick(4)];
    set.value = ++m_nextValue;
    set.startTick = Tick();
    set.result = m_store.SetKovaConfig(set.group, set.name.c_str(),
                                       ConfigData(std::to_string(set.value)),
                                       Pick(4) == 0, false);
    set.endTick = Tick();
    m_sets.push_back(std::move(set));
  }

  void BindOrQuery() {
    if (Pick(2) == 0) {
      ConfigData answer;
      const KOVA_RESULT r = m_store.GetDynamicConfig(
          kGroups[Pick(2)], kNames[Pick(4)], answer, ConfigData("q"));
      EXPECT_TRUE(r == KOVA_S_OK || r == KOVA_E_NOOBSERVER);
      return;
    }
    std::shared_ptr<Observer> obs = NewObserver();
    if (!obs) return;
    obs->bProvider = true;
    Observer* raw = obs.get();
    obs->id = m_store.BindConfig(
        obs->group, obs->name.c_str(), [raw](const KovaConfigEvent& e) {
          if (raw->bRemoved.load() || e.configName != raw->name) ++raw->faults;
          return ConfigData("answer");
        });
    obs->registeredTick = Tick();
    if (obs->id != 0) Track(obs);  // 0: the name already has a provider
  }

  KovaConfig& m_store;
  std::vector<ACmThread*> m_runThreads;
  std::mt19937 m_random;
  std::atomic<uint64_t>& m_nextValue;
  std::vector<std::shared_ptr<Observer>> m_live;
};

TEST(StressTest, ConcurrentObserversAndSetsKeepTheDeliveryPromises) {
  std::unique_ptr<ACmThread> runThreads[] = {
      CreateCmEventThread("stress-run-1"), CreateCmEventThread("stress-run-2")};
  std::vector<ACmThread*> raw = {runThreads[0].get(), runThreads[1].get()};

  auto store = std::make_shared<KovaConfig>(4242);
  std::atomic<uint64_t> nextValue{0};
  std::vector<std::unique_ptr<Worker>> workers;
  for (int i = 0; i < kWorkers; ++i) {
    workers.push_back(
        std::make_unique<Worker>(*store, raw, 1234u + i, nextValue));
  }
  const auto deadline = std::chrono::steady_clock::now() + kRunTime;
  std::vector<std::thread> threads;
  for (auto& w : workers)
    threads.emplace_back([&w, deadline] { w->Run(deadline); });
  for (std::thread& t : threads) t.join();

  EXPECT_EQ(0u, store->GetTotalObservers());
  // Every posted event has run once each queue has fired a last one.
  for (auto& t : runThreads) {
    t->GetEventQueue()->SendEvent(new RunOnEvent([] {}), 0);
  }
  store.reset();

  // Sets by name, in start order, for the window look-ups below.
  std::map<std::pair<int, std::string>, std::vector<SetRecord>> setsByName;
  for (auto& w : workers) {
    for (SetRecord& s : w->m_sets) {
      setsByName[{s.group, s.name}].push_back(std::move(s));
    }
  }
  for (auto& entry : setsByName) {
    std::sort(entry.second.begin(), entry.second.end(),
              [](const SetRecord& a, const SetRecord& b) {
                return a.startTick < b.startTick;
              });
  }

  size_t nChecked = 0;
  for (auto& w : workers) {
    for (const std::shared_ptr<Observer>& obs : w->m_all) {
      EXPECT_EQ(0, obs->faults.load()) << obs->name << " id " << obs->id;
      if (obs->bProvider) continue;
      // Every queue has drained: nobody writes `seen` any more.
      std::vector<uint64_t>& seen = obs->seen;
      std::sort(seen.begin(), seen.end());
      const std::vector<SetRecord>& sets = setsByName[{obs->group, obs->name}];
      auto first = std::partition_point(
          sets.begin(), sets.end(), [&](const SetRecord& s) {
            return s.startTick < obs->registeredTick;
          });
      for (auto it = first; it != sets.end(); ++it) {
        const SetRecord& s = *it;
        if (s.startTick > obs->removalTick) break;
        if (s.endTick > obs->removalTick) continue;
        ++nChecked;
        EXPECT_EQ(KOVA_S_OK, s.result);
        const auto told = std::equal_range(seen.begin(), seen.end(), s.value);
        EXPECT_EQ(1, told.second - told.first)
            << "observer " << obs->id << " and value " << s.value;
      }
    }
  }
  EXPECT_GT(nChecked, 0u);
}

}  // namespace
}  // namespace kovaStore
