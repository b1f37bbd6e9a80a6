// Costs of the store's value operations and of the registry, each beside a
// baseline in this binary that does the same work with a std::mutex and a
// std::map<std::string, std::string>:
//   get of a stored 16-byte value in a group of 50 names
//   set of a changed 16-byte value, no observer
//   both from 2 threads, on different groups (one baseline map per thread)
//   and on the same group (one shared baseline map)
//   create + release of an existing call among 1,000 live calls, against a
//   mutex-guarded std::map from call id to a counted entry
// Run: build/bench/config_bench --benchmark_min_time=0.2
#include <ConfigData.h>
#include <benchmark/benchmark.h>

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>

#include "KovaConfig/kova_config.h"
#include "baseline_group.h"
#include "ostrel/KovaConfigApi.h"

namespace {

using kovaStore::KovaConfig;
using kovaStore::KovaConfigGroup;

constexpr int kNames = bench::kBaselineNames;
constexpr const char* kValueA = "0123456789abcdef";  // 16 bytes
constexpr const char* kValueB = "fedcba9876543210";

using bench::BaselineGroup;
using bench::nameOf;
using bench::probeName;

KovaConfig& sharedStore() {
  static KovaConfig* store = [] {
    auto* s = new KovaConfig(1);
    for (int g = 0; g < 2; ++g) {
      for (int i = 0; i < kNames; ++i) {
        s->SetKovaConfig(static_cast<KovaConfigGroup>(g), nameOf(i).c_str(),
                         ConfigData(kValueA), false, false);
      }
    }
    return s;
  }();
  return *store;
}

BaselineGroup& baselineGroup(int index) {
  static BaselineGroup groups[2] = {BaselineGroup(kValueA),
                                    BaselineGroup(kValueA)};
  return groups[index];
}

// Different groups: thread n uses group n. Same group: every thread group 0.
int groupIndex(const benchmark::State& state, bool bSameGroup) {
  return bSameGroup ? 0 : state.thread_index() % 2;
}

void BM_BaselineGet(benchmark::State& state, bool bSameGroup) {
  BaselineGroup& group = baselineGroup(groupIndex(state, bSameGroup));
  const char* name = probeName().c_str();
  std::string out;
  for (auto _ : state) {
    benchmark::DoNotOptimize(group.Get(name, out));
  }
}

void BM_StoreGet(benchmark::State& state, bool bSameGroup) {
  KovaConfig& store = sharedStore();
  const auto group =
      static_cast<KovaConfigGroup>(groupIndex(state, bSameGroup));
  const char* name = probeName().c_str();
  ConfigData out;
  for (auto _ : state) {
    benchmark::DoNotOptimize(store.GetKovaConfig(group, name, out));
  }
}

void BM_BaselineSet(benchmark::State& state, bool bSameGroup) {
  BaselineGroup& group = baselineGroup(groupIndex(state, bSameGroup));
  const char* name = probeName().c_str();
  const std::string values[2] = {kValueA, kValueB};
  int i = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(group.Set(name, values[i ^= 1]));
  }
}

void BM_StoreSet(benchmark::State& state, bool bSameGroup) {
  KovaConfig& store = sharedStore();
  const auto group =
      static_cast<KovaConfigGroup>(groupIndex(state, bSameGroup));
  const char* name = probeName().c_str();
  const ConfigData values[2] = {ConfigData(kValueA), ConfigData(kValueB)};
  int i = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(
        store.SetKovaConfig(group, name, values[i ^= 1], false, false));
  }
}

BENCHMARK_CAPTURE(BM_BaselineGet, one_thread, false);
BENCHMARK_CAPTURE(BM_StoreGet, one_thread, false);
BENCHMARK_CAPTURE(BM_BaselineSet, one_thread, false);
BENCHMARK_CAPTURE(BM_StoreSet, one_thread, false);
BENCHMARK_CAPTURE(BM_BaselineGet, different_groups, false)
    ->Threads(2)
    ->UseRealTime();
BENCHMARK_CAPTURE(BM_StoreGet, different_groups, false)
    ->Threads(2)
    ->UseRealTime();
BENCHMARK_CAPTURE(BM_BaselineSet, different_groups, false)
    ->Threads(2)
    ->UseRealTime();
BENCHMARK_CAPTURE(BM_StoreSet, different_groups, false)
    ->Threads(2)
    ->UseRealTime();
BENCHMARK_CAPTURE(BM_BaselineGet, same_group, true)->Threads(2)->UseRealTime();
BENCHMARK_CAPTURE(BM_StoreGet, same_group, true)->Threads(2)->UseRealTime();
BENCHMARK_CAPTURE(BM_BaselineSet, same_group, true)->Threads(2)->UseRealTime();
BENCHMARK_CAPTURE(BM_StoreSet, same_group, true)->Threads(2)->UseRealTime();

constexpr uint32_t kLiveCalls = 1000;

// A plain registry: call id to a shared object and a count.
struct BaselineRegistry {
  struct Entry {
    std::shared_ptr<int> object;
    int32_t count;
  };
  int* Create(uint32_t callId) {
    std::lock_guard<std::mutex> lock(mutex);
    auto it = entries.find(callId);
    if (it == entries.end()) {
      it = entries.emplace(callId, Entry{std::make_shared<int>(0), 2}).first;
    } else {
      ++it->second.count;
    }
    return it->second.object.get();
  }
  void Release(uint32_t callId) {
    std::lock_guard<std::mutex> lock(mutex);
    auto it = entries.find(callId);
    if (it != entries.end() && --it->second.count < 1) entries.erase(it);
  }

  std::mutex mutex;  // guards entries
  std::map<uint32_t, Entry> entries;
};

void BM_BaselineCreateRelease(benchmark::State& state) {
  BaselineRegistry registry;
  for (uint32_t id = 0; id < kLiveCalls; ++id) registry.Create(id);
  const uint32_t probe = kLiveCalls / 2;
  for (auto _ : state) {
    benchmark::DoNotOptimize(registry.Create(probe));
    registry.Release(probe);
  }
}

void BM_RegistryCreateRelease(benchmark::State& state) {
  kovaStore::DestroyKovaConfig();
  for (uint32_t id = 0; id < kLiveCalls; ++id) {
    kovaStore::IKovaConfig* store = nullptr;
    kovaStore::CreateKovaConfig(id, &store);
  }
  const uint32_t probe = kLiveCalls / 2;
  for (auto _ : state) {
    kovaStore::IKovaConfig* store = nullptr;
    kovaStore::CreateKovaConfig(probe, &store);
    benchmark::DoNotOptimize(kovaStore::ReleaseKovaConfig(store));
  }
  kovaStore::DestroyKovaConfig();
}

BENCHMARK(BM_BaselineCreateRelease);
BENCHMARK(BM_RegistryCreateRelease);

}  // namespace

BENCHMARK_MAIN();
