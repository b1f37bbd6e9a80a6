// Costs of the read paths that media threads use per frame or per packet,
// beside baselines run in this binary:
//   uncontended: store get of a 15-byte value, the helper's toggle reads,
//     against a std::atomic<bool> load, a flag library's GetFlag of a bool
//     flag (inline and behind a call), of a string flag and of a bool flag
//     found by name, and a std::mutex + std::map<std::string, std::string>
//     get;
//   write storm: one reader timing every read while two writers set values
//     in the reader's group and one more thread burns CPU (two cores: the
//     OS preempts writers, and with a lock, lock holders). The store's read,
//     a reader of one std::atomic word under the same storm (what the OS's
//     own preemption costs) and the mutex baseline under its own storm.
//     Counters: p50, p99, p999, max in ns and the reads above 50 us;
//   writers: set of a changed value with no observer, apply of a document of
//     10,000 entries (every apply changes every value), and the helper's
//     toggle set against the store's set of the same toggle.
// The storm lasts READ_BENCH_STORM_SECONDS (default 5) per variant.
// Run: build/release/bench/read_bench --benchmark_min_time=0.2
#include <CmTrace.h>
#include <ConfigData.h>
#include <absl/flags/flag.h>
#include <absl/flags/reflection.h>
#include <benchmark/benchmark.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "baseline_group.h"
#include "ostrel/KovaConfigApi.h"
#include "ostrel/KovaConfigHelper.h"
#include "storm.h"

ABSL_FLAG(bool, read_bench_toggle, true, "a bool flag read as a baseline");
ABSL_FLAG(std::string, read_bench_text, "", "a string flag read as a baseline");

namespace {

using kovaStore::IKovaConfig;
using kovaStore::KovaConfigGroup;
using kovaStore::KovaConfigHelper;

constexpr uint32_t kCall = 0x52454144;
constexpr KovaConfigGroup kGroup = kovaStore::KovaConfigGroup_Audio;
constexpr int kNames = bench::kBaselineNames;
constexpr const char* kValueA = "0123456789abcde";  // 15 bytes
constexpr const char* kValueB = "edcba9876543210";

using bench::BaselineGroup;
using bench::nameOf;
using bench::probeName;

// Errors-only tracing, as in production; one call's store with a group of
// kNames 15-byte values and one stored toggle, and a helper on it.
class StoreFixture {
 public:
  StoreFixture() : m_previousMask(get_external_trace_mask()) {
    set_external_trace_mask(0);
    kovaStore::CreateKovaConfig(kCall, &m_pStore);
    m_helper.InitKovaConfig(kCall, kova::KovaSessionType_Audio);
    for (int i = 0; i < kNames; ++i) {
      m_pStore->SetKovaConfig(kGroup, nameOf(i).c_str(), ConfigData(kValueA),
                              false, false);
    }
    m_helper.SetFeatureToggle(KOVA_FT_EnableRelayMode, ConfigData("1"));
  }
  ~StoreFixture() {
    kovaStore::ReleaseKovaConfig(m_pStore);
    kovaStore::CleanUpKovaConfig(kCall);
    set_external_trace_mask(m_previousMask);
  }
  StoreFixture(const StoreFixture&) = delete;
  StoreFixture& operator=(const StoreFixture&) = delete;

  IKovaConfig* store() { return m_pStore; }
  KovaConfigHelper& helper() { return m_helper; }

 private:
  int m_previousMask;
  IKovaConfig* m_pStore = nullptr;
  KovaConfigHelper m_helper;
};

// ---- Uncontended reads ----

void BM_Baseline_AtomicBoolLoad(benchmark::State& state) {
  static std::atomic<bool> flag{true};
  for (auto _ : state) {
    benchmark::DoNotOptimize(flag.load(std::memory_order_acquire));
  }
}
BENCHMARK(BM_Baseline_AtomicBoolLoad);

void BM_Baseline_AbslGetFlag(benchmark::State& state) {
  for (auto _ : state) {
    benchmark::DoNotOptimize(absl::GetFlag(FLAGS_read_bench_toggle));
  }
}
BENCHMARK(BM_Baseline_AbslGetFlag);

// The same read behind a call the compiler may not inline, as every read
// of the library is.
[[gnu::noinline]] bool getFlagOutOfLine() {
  return absl::GetFlag(FLAGS_read_bench_toggle);
}

void BM_Baseline_AbslGetFlagOutOfLine(benchmark::State& state) {
  for (auto _ : state) {
    benchmark::DoNotOptimize(getFlagOutOfLine());
  }
}
BENCHMARK(BM_Baseline_AbslGetFlagOutOfLine);

// The flag library's own reads nearer to a store get: a string flag holding
// a 15-byte value, and a flag found by its name.
void BM_Baseline_AbslGetStringFlag15(benchmark::State& state) {
  absl::SetFlag(&FLAGS_read_bench_text, kValueA);
  for (auto _ : state) {
    benchmark::DoNotOptimize(absl::GetFlag(FLAGS_read_bench_text));
  }
}
BENCHMARK(BM_Baseline_AbslGetStringFlag15);

void BM_Baseline_AbslFlagByName(benchmark::State& state) {
  const std::string name = "read_bench_toggle";
  for (auto _ : state) {
    benchmark::DoNotOptimize(
        absl::FindCommandLineFlag(name)->TryGet<bool>().value_or(false));
  }
}
BENCHMARK(BM_Baseline_AbslFlagByName);

void BM_Baseline_MutexMapGet15(benchmark::State& state) {
  BaselineGroup group(kValueA);
  const char* name = probeName().c_str();
  std::string out;
  for (auto _ : state) {
    benchmark::DoNotOptimize(group.Get(name, out));
  }
}
BENCHMARK(BM_Baseline_MutexMapGet15);

void BM_StoreGet15(benchmark::State& state) {
  StoreFixture fixture;
  IKovaConfig* store = fixture.store();
  const char* name = probeName().c_str();
  ConfigData out;
  for (auto _ : state) {
    benchmark::DoNotOptimize(store->GetKovaConfig(kGroup, name, out));
  }
}
BENCHMARK(BM_StoreGet15);

// The same get at every value length the store keeps differently: inline
// (up to 15 bytes) and longer, beside the mutex-and-map baseline holding
// values of the same length. Compare each length with its baseline, and the
// longer lengths with 15: run with --benchmark_repetitions=N
// --benchmark_enable_random_interleaving=true and read the medians.
void BM_StoreGetLength(benchmark::State& state) {
  StoreFixture fixture;
  IKovaConfig* store = fixture.store();
  const char* name = probeName().c_str();
  const std::string value(static_cast<size_t>(state.range(0)), 'v');
  store->SetKovaConfig(kGroup, name, ConfigData(value.c_str()), false, false);
  ConfigData out;
  for (auto _ : state) {
    benchmark::DoNotOptimize(store->GetKovaConfig(kGroup, name, out));
  }
}
// The value lengths either side of the inline limit (15 bytes) and up to
// the slot buffers' limit (256); 101 ends in a partial word.
#define VALUE_LENGTHS \
  Arg(8)->Arg(15)->Arg(16)->Arg(24)->Arg(64)->Arg(101)->Arg(256)
BENCHMARK(BM_StoreGetLength)->VALUE_LENGTHS;

void BM_Baseline_MutexMapGetLength(benchmark::State& state) {
  const std::string value(static_cast<size_t>(state.range(0)), 'v');
  BaselineGroup group(value.c_str());
  const char* name = probeName().c_str();
  std::string out;
  for (auto _ : state) {
    benchmark::DoNotOptimize(group.Get(name, out));
  }
}
BENCHMARK(BM_Baseline_MutexMapGetLength)->VALUE_LENGTHS;

void BM_HelperHaveFeatureToggle(benchmark::State& state) {
  StoreFixture fixture;
  KovaConfigHelper& helper = fixture.helper();
  for (auto _ : state) {
    benchmark::DoNotOptimize(helper.HaveFeatureToggle(KOVA_FT_EnableRelayMode));
  }
}
BENCHMARK(BM_HelperHaveFeatureToggle);

void BM_HelperGetFeatureToggle(benchmark::State& state) {
  StoreFixture fixture;
  KovaConfigHelper& helper = fixture.helper();
  for (auto _ : state) {
    ConfigData value = helper.GetFeatureToggle(KOVA_FT_EnableRelayMode);
    benchmark::DoNotOptimize(value);
  }
}
BENCHMARK(BM_HelperGetFeatureToggle);

// ---- Write storm ----

using bench::runStorm;

// The store's writers: each sets its own names of the reader's group, and
// the probed name too now and then, to changed values.
std::function<void(int, uint64_t)> storeWriters(IKovaConfig* store) {
  return [store](int w, uint64_t round) {
    const int index = static_cast<int>(round % kNames);
    const std::string name =
        index == kNames / 2 && w == 0 ? probeName() : nameOf(index);
    store->SetKovaConfig(kGroup, name.c_str(),
                         ConfigData((round & 1) != 0 ? kValueA : kValueB),
                         false, false);
  };
}

void BM_Storm_StoreGet15(benchmark::State& state) {
  StoreFixture fixture;
  IKovaConfig* store = fixture.store();
  const char* name = probeName().c_str();
  ConfigData out;
  runStorm(
      state,
      [&] {
        benchmark::DoNotOptimize(store->GetKovaConfig(kGroup, name, out));
      },
      storeWriters(store));
}
BENCHMARK(BM_Storm_StoreGet15)
    ->Iterations(1)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);

void BM_Storm_Baseline_AtomicWord(benchmark::State& state) {
  StoreFixture fixture;
  static std::atomic<uint64_t> word{1};
  runStorm(
      state,
      [&] { benchmark::DoNotOptimize(word.load(std::memory_order_acquire)); },
      storeWriters(fixture.store()));
}
BENCHMARK(BM_Storm_Baseline_AtomicWord)
    ->Iterations(1)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);

void BM_Storm_Baseline_MutexMap(benchmark::State& state) {
  BaselineGroup group(kValueA);
  const char* name = probeName().c_str();
  std::string out;
  runStorm(
      state, [&] { benchmark::DoNotOptimize(group.Get(name, out)); },
      [&group](int w, uint64_t round) {
        const int index = static_cast<int>(round % kNames);
        const std::string name =
            index == kNames / 2 && w == 0 ? probeName() : nameOf(index);
        group.Set(name.c_str(), (round & 1) != 0 ? kValueA : kValueB);
      });
}
BENCHMARK(BM_Storm_Baseline_MutexMap)
    ->Iterations(1)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);

// ---- Writers ----

void BM_StoreSetChanged15(benchmark::State& state) {
  StoreFixture fixture;
  IKovaConfig* store = fixture.store();
  const char* name = probeName().c_str();
  const ConfigData values[2] = {ConfigData(kValueA), ConfigData(kValueB)};
  int i = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(
        store->SetKovaConfig(kGroup, name, values[i ^= 1], false, false));
  }
}
BENCHMARK(BM_StoreSetChanged15);

// The helper's toggle set against the store's set of the same toggle: the
// helper adds the toggle's name, its guards and the group resolution.
void BM_StoreSetToggle(benchmark::State& state) {
  StoreFixture fixture;
  IKovaConfig* store = fixture.store();
  const ConfigData values[2] = {ConfigData("0"), ConfigData("1")};
  int i = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(
        store->SetKovaConfig(kovaStore::KovaConfigGroup_Feature,
                             "EnableRelayMode", values[i ^= 1], false, false));
  }
}
BENCHMARK(BM_StoreSetToggle);

void BM_HelperSetFeatureToggle(benchmark::State& state) {
  StoreFixture fixture;
  KovaConfigHelper& helper = fixture.helper();
  const ConfigData values[2] = {ConfigData("0"), ConfigData("1")};
  int i = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(
        helper.SetFeatureToggle(KOVA_FT_EnableRelayMode, values[i ^= 1]));
  }
}
BENCHMARK(BM_HelperSetFeatureToggle);

// A document of 10,000 entries in group "Audio", values ending in `tail`.
std::string documentOf(const char* tail) {
  std::string text = "{\"Audio\":[";
  for (int i = 0; i < 10000; ++i) {
    if (i != 0) text += ',';
    text += "{\"key\":\"Entry_" + std::to_string(i) + "\",\"value\":\"v" +
            std::to_string(i) + tail + "\"}";
  }
  return text + "]}";
}

void BM_StoreApply10000(benchmark::State& state) {
  StoreFixture fixture;
  IKovaConfig* store = fixture.store();
  const std::string documents[2] = {documentOf("a"), documentOf("b")};
  int i = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(
        store->ApplyKovaConfigs(documents[i ^= 1].c_str()));
  }
}
BENCHMARK(BM_StoreApply10000)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
