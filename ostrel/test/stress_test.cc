// Threads subscribe, unsubscribe, bind, query and set on shared names of one
// store at once, under every delivery mode. Afterwards no synchronous
// callback or provider ran after its removal returned, every subscriber
// registered for the whole of a set was told its value exactly once, and the
// store counts no observer.
#include <CmThread.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <mutex>
#include <random>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "KovaConfig/kova_config.h"

namespace kovaStore {
namespace {

const char* const kNames[] = {"Alpha", "Beta", "Gamma", "Delta"};
constexpr KovaConfigGroup kGroups[] = {KovaConfigGroup_Audio,
                                       KovaConfigGroup_Video};

// Orders registrations returned, removals starting, sets starting and ended.
std::atomic<uint64_t> g_tick{0};
std::atomic<uint64_t> g_nextValue{0};

// One subscription or binding and what its callable saw.
struct Observer {
  int g = 0, n = 0;  // indices of its group and name
  bool bPosted = false, bProvider = false;
  uint64_t id = 0, registeredTick = 0, removalTick = UINT64_MAX;
  std::atomic<bool> bRemoved{false};
  std::atomic<int> faults{0};  // calls after removal or with a wrong event
  std::mutex mutex;            // guards seen
  std::multiset<uint64_t> seen;

  void Record(const KovaConfigEvent& e) {
    if ((bRemoved && !bPosted) || e.configName != kNames[n] ||
        e.group != kGroups[g])
      ++faults;
    if (bProvider) return;
    std::lock_guard<std::mutex> lock(mutex);
    seen.insert(std::stoull(e.newValue.ToCstr()));
  }
};

struct SetRecord {
  uint64_t value, startTick, endTick;
  KOVA_RESULT result;
};

// One thread's operations and what they left to check.
struct Worker {
  Worker(KovaConfig* pStore, ACmThread* const* pRunThreads, unsigned seed)
      : m_store(pStore), m_runThreads(pRunThreads), m_random(seed) {}
  void Run(std::chrono::steady_clock::time_point deadline) {
    while (std::chrono::steady_clock::now() < deadline) {
      const int pick = Pick(100);
      if (pick < 30) {
        Register(pick < 5);
      } else if (pick < 50) {
        RemoveOne();
      } else if (pick < 95) {
        const int g = Pick(2), n = Pick(4);
        const uint64_t value = ++g_nextValue, startTick = ++g_tick;
        const KOVA_RESULT result = m_store->SetKovaConfig(
            kGroups[g], kNames[n], ConfigData(std::to_string(value)),
            Pick(4) == 0, false);
        m_sets[g][n].push_back({value, startTick, ++g_tick, result});
      } else {
        ConfigData answer;
        const KOVA_RESULT r = m_store->GetDynamicConfig(
            kGroups[Pick(2)], kNames[Pick(4)], answer, ConfigData("q"));
        EXPECT_TRUE(r == KOVA_S_OK || r == KOVA_E_NOOBSERVER);
      }
    }
    while (!m_live.empty()) RemoveOne();
  }

  int Pick(int n) { return static_cast<int>(m_random() % n); }

  // A subscription in a random delivery mode, or a binding.
  void Register(bool bProvider) {
    if (m_live.size() >= 8) return;
    auto obs = std::make_shared<Observer>();
    Observer* raw = obs.get();
    obs->g = Pick(2);
    obs->n = Pick(4);
    obs->bProvider = bProvider;
    const int mode = Pick(3);
    obs->bPosted = !bProvider && mode == 2;
    auto call = [raw](const KovaConfigEvent& e) {
      raw->Record(e);
      return ConfigData("answer");
    };
    obs->id =
        bProvider
            ? m_store->BindConfig(kGroups[obs->g], kNames[obs->n], call)
            : m_store->SubscribeConfig(
                  kGroups[obs->g], kNames[obs->n], call,
                  mode == 0 ? nullptr : m_runThreads[Pick(2)], obs->bPosted);
    obs->registeredTick = ++g_tick;
    if (obs->id == 0) {  // only a second provider of a name is refused
      EXPECT_TRUE(bProvider);
      return;
    }
    m_all.push_back(obs);
    m_live.push_back(obs);
  }

  void RemoveOne() {
    if (m_live.empty()) return;
    const size_t i = Pick(static_cast<int>(m_live.size()));
    std::shared_ptr<Observer> obs = m_live[i];
    m_live.erase(m_live.begin() + i);
    obs->removalTick = ++g_tick;
    EXPECT_EQ(KOVA_S_OK, m_store->UnsubscribeConfig(obs->id));
    obs->bRemoved = true;
  }

  KovaConfig* m_store;
  ACmThread* const* m_runThreads;  // two
  std::mt19937 m_random;
  std::vector<std::shared_ptr<Observer>> m_all, m_live;
  std::vector<SetRecord> m_sets[2][4];  // by group and name
};

TEST(StressTest, ConcurrentObserversAndSetsKeepTheDeliveryPromises) {
  std::unique_ptr<ACmThread> runThreads[] = {
      CreateCmEventThread("stress-run-1"), CreateCmEventThread("stress-run-2")};
  ACmThread* const runThreadPtrs[] = {runThreads[0].get(), runThreads[1].get()};
  auto store = std::make_unique<KovaConfig>(4242);
  std::vector<Worker> workers;
  for (unsigned i = 0; i < 4; ++i)
    workers.emplace_back(store.get(), runThreadPtrs, 1234u + i);
  const auto deadline =
      std::chrono::steady_clock::now() + std::chrono::seconds(2);
  std::vector<std::thread> threads;
  for (Worker& w : workers)
    threads.emplace_back([&w, deadline] { w.Run(deadline); });
  for (std::thread& t : threads) t.join();
  EXPECT_EQ(0u, store->GetTotalObservers());
  for (auto& t : runThreads) t.reset();
  store.reset();

  size_t nChecked = 0;
  for (Worker& w : workers) {
    for (const std::shared_ptr<Observer>& obs : w.m_all) {
      EXPECT_EQ(0, obs->faults.load()) << kNames[obs->n] << " id " << obs->id;
      if (obs->bProvider) continue;
      for (Worker& setter : workers) {
        const auto& list = setter.m_sets[obs->g][obs->n];
        for (auto s = std::lower_bound(
                 list.begin(), list.end(), obs->registeredTick,
                 [](const SetRecord&r, uint64_t t) { return r.startTick < t; });
             s != list.end() && s->startTick < obs->removalTick; ++s) {
          if (s->endTick > obs->removalTick) continue;
          ++nChecked;
          EXPECT_EQ(KOVA_S_OK, s->result);
          EXPECT_EQ(1u, obs->seen.count(s->value))
              << "observer " << obs->id << " and value " << s->value;
        }
      }
    }
  }
  EXPECT_GT(nChecked, 0u);
}

}  // namespace
}  // namespace kovaStore
