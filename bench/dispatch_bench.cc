// Costs of change dispatch, each beside a baseline in this binary:
//   set with 1 and 8 direct subscribers  vs  the same set with none
//   set with a blocking hand-over        vs  a condition-variable ping-pong
//   subscribe + unsubscribe, no delivery vs  one 1 ms sleep (the removal
//                                            poll interval it must not pay)
// Sets are forced with an unchanged value, so that every iteration notifies
// and no new value is built.
#include <CmThread.h>
#include <benchmark/benchmark.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>

#include "KovaConfig/kova_config.h"
#include "dispatch_setup.h"

namespace {

using kovaStore::KovaConfig;
using kovaStore::KovaConfigEvent;

using bench::QuietTrace;

constexpr kovaStore::KovaConfigGroup kGroup = bench::kDispatchGroup;

void setForced(benchmark::State& state, KovaConfig& store,
               const ConfigData& value) {
  for (auto _ : state) {
    benchmark::DoNotOptimize(
        store.SetKovaConfig(kGroup, "AecMode", value, true, false));
  }
}

void BM_Baseline_SetWithoutSubscribers(benchmark::State& state) {
  QuietTrace quiet;
  KovaConfig store(1);
  setForced(state, store, ConfigData("1"));
}
BENCHMARK(BM_Baseline_SetWithoutSubscribers);

// Another name of the group is observed; the set name is not.
void BM_SetUnobservedNameInObservedGroup(benchmark::State& state) {
  QuietTrace quiet;
  KovaConfig store(1);
  store.SubscribeConfig(
      kGroup, "Other", [](const KovaConfigEvent&) {}, nullptr, false);
  setForced(state, store, ConfigData("1"));
}
BENCHMARK(BM_SetUnobservedNameInObservedGroup);

// The range is the number of direct subscribers of the name.
void BM_SetWithDirectSubscribers(benchmark::State& state) {
  QuietTrace quiet;
  KovaConfig store(1);
  std::atomic<int64_t> calls{0};
  bench::subscribeCounters(store, kGroup, "AecMode",
                           static_cast<int>(state.range(0)), calls);
  setForced(state, store, ConfigData("1"));
  state.counters["subscribers"] = static_cast<double>(state.range(0));
}
BENCHMARK(BM_SetWithDirectSubscribers)->Arg(1)->Arg(8);

// Two threads handing a turn back and forth: the least a blocking hand-over
// to another thread can cost.
void BM_Baseline_CondVarPingPong(benchmark::State& state) {
  std::mutex mutex;  // guards turn and stop
  std::condition_variable cond;
  int turn = 0;  // 1: the responder's turn, 0: the caller's
  bool stop = false;
  std::thread responder([&] {
    std::unique_lock<std::mutex> lock(mutex);
    for (;;) {
      cond.wait(lock, [&] { return turn == 1 || stop; });
      if (stop) return;
      turn = 0;
      cond.notify_all();
    }
  });
  for (auto _ : state) {
    std::unique_lock<std::mutex> lock(mutex);
    turn = 1;
    cond.notify_all();
    cond.wait(lock, [&] { return turn == 0; });
  }
  {
    std::lock_guard<std::mutex> lock(mutex);
    stop = true;
  }
  cond.notify_all();
  responder.join();
}
BENCHMARK(BM_Baseline_CondVarPingPong)->UseRealTime();

void BM_SetWithBlockingHandOver(benchmark::State& state) {
  QuietTrace quiet;
  std::unique_ptr<ACmThread> runThread = CreateCmEventThread("bench-run");
  KovaConfig store(1);
  std::atomic<int64_t> calls{0};
  bench::subscribeCounters(store, kGroup, "AecMode", 1, calls, runThread.get());
  setForced(state, store, ConfigData("1"));
}
BENCHMARK(BM_SetWithBlockingHandOver)->UseRealTime();

// Posted deliveries: the setter's cost per set, and deliveries run per second
// on the queue thread (the timing includes the drain of the queue).
void BM_SetWithPostedDelivery(benchmark::State& state) {
  QuietTrace quiet;
  std::unique_ptr<ACmThread> runThread = CreateCmEventThread("bench-run");
  KovaConfig store(1);
  std::atomic<int64_t> calls{0};
  bench::subscribeCounters(store, kGroup, "AecMode", 1, calls, runThread.get(),
                           true);
  int64_t sets = 0;
  const auto start = std::chrono::steady_clock::now();
  for (auto _ : state) {
    benchmark::DoNotOptimize(
        store.SetKovaConfig(kGroup, "AecMode", ConfigData("1"), true, false));
    ++sets;
  }
  while (calls.load(std::memory_order_relaxed) < sets)
    std::this_thread::yield();
  const std::chrono::duration<double> took =
      std::chrono::steady_clock::now() - start;
  state.counters["deliveries_per_s"] = static_cast<double>(sets) / took.count();
}
BENCHMARK(BM_SetWithPostedDelivery);

void BM_Baseline_SleepOneMillisecond(benchmark::State& state) {
  for (auto _ : state) {
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
}
BENCHMARK(BM_Baseline_SleepOneMillisecond)->UseRealTime();

// No delivery holds the observer, so the removal looks at the busy count once
// and never sleeps.
void BM_SubscribeThenUnsubscribe(benchmark::State& state) {
  QuietTrace quiet;
  KovaConfig store(1);
  store.SetKovaConfig(kGroup, "Other", ConfigData("1"), false, false);
  for (auto _ : state) {
    const uint64_t id = store.SubscribeConfig(
        kGroup, "AecMode", [](const KovaConfigEvent&) {}, nullptr, false);
    benchmark::DoNotOptimize(store.UnsubscribeConfig(id));
  }
}
BENCHMARK(BM_SubscribeThenUnsubscribe)->UseRealTime();

}  // namespace
