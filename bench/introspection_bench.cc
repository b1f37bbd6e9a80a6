// What counting and the change journal cost a set of a changed 16-byte value
// with no observer (group of 50 names), through IKovaConfig as a host calls
// it. Two builds of the library are loaded side by side into this binary:
// libostrel (counting) and libostrel_nocount (counting compiled out). Three
// variants are timed in interleaved rounds, each round in a rotated order:
//   nocount   libostrel_nocount, journal off       (baseline)
//   counting  libostrel, journal off
//   journal   libostrel, journal on for its store (default depth and cut)
//   counting_again  as counting, another store: the noise floor
// Reported: the lower quartile of ns (thread CPU time) per set of each over the
// rounds, and the ratios counting/nocount and journal/counting. Run:
// build/release/bench/introspection_bench
#include <ConfigData.h>
#include <benchmark/benchmark.h>
#include <dlfcn.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "baseline_group.h"
#include "ostrel/IKovaConfig.h"
#include "ostrel/KovaIntrospection.h"
#include "round_stats.h"

namespace {

using bench::threadCpuNs;

using kovaStore::IKovaConfig;
using kovaStore::KovaConfigGroup;

constexpr const char* kValueA = "0123456789abcdef";  // 16 bytes
constexpr const char* kValueB = "fedcba9876543210";
constexpr KovaConfigGroup kGroup = kovaStore::KovaConfigGroup_Common;
constexpr int kRounds = 41;
constexpr int kSetsPerRound = 20000;
constexpr int kVariants = 4;

typedef KOVA_RESULT (*CreateFn)(uint32_t, IKovaConfig**);
typedef KOVA_RESULT (*EnableFn)(uint32_t, bool);

// One loaded build of the library and a store of its own, filled like the
// store benchmark's.
struct Variant {
  const char* name;
  IKovaConfig* store = nullptr;

  Variant(const char* szName, const char* szPath, uint32_t callId,
          bool bJournal)
      : name(szName) {
    void* lib = dlopen(szPath, RTLD_NOW | RTLD_LOCAL);
    if (lib == nullptr) {
      std::fprintf(stderr, "cannot load %s: %s\n", szPath, dlerror());
      return;
    }
    auto create = reinterpret_cast<CreateFn>(dlsym(lib, "CreateKovaConfig"));
    auto enable =
        reinterpret_cast<EnableFn>(dlsym(lib, "SetKovaJournalEnabled"));
    if (create == nullptr || create(callId, &store) != KOVA_S_OK) return;
    for (int i = 0; i < bench::kBaselineNames; ++i) {
      store->SetKovaConfig(kGroup, bench::nameOf(i).c_str(),
                           ConfigData(std::string(kValueA)), false, false);
    }
    if (bJournal && enable != nullptr) enable(callId, true);
  }

  // ns of this thread's CPU time per set over one round: a machine shared
  // with other work preempts the thread, which wall time would count.
  double timeRound() const {
    const char* name = bench::probeName().c_str();
    const ConfigData values[2] = {ConfigData(std::string(kValueA)),
                                  ConfigData(std::string(kValueB))};
    int i = 0;
    const double start = threadCpuNs();
    for (int n = 0; n < kSetsPerRound; ++n) {
      benchmark::DoNotOptimize(
          store->SetKovaConfig(kGroup, name, values[i ^= 1], false, false));
    }
    return (threadCpuNs() - start) / kSetsPerRound;
  }
};

// The lower quartile of the rounds: rounds that other work on the machine
// slowed down (cache and frequency effects that CPU time still counts) lie
// above it.
double lowerQuartile(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 4];
}

void BM_SetNoObserver_Interleaved(benchmark::State& state) {
  Variant variants[kVariants] = {
      Variant("nocount", OSTREL_NOCOUNT_LIBRARY_PATH, 1, false),
      Variant("counting", OSTREL_LIBRARY_PATH, 1, false),
      Variant("journal", OSTREL_LIBRARY_PATH, 2, true),
      Variant("counting_again", OSTREL_LIBRARY_PATH, 3, false)};
  for (const Variant& variant : variants) {
    if (variant.store == nullptr) {
      state.SkipWithError("a library build could not be loaded");
      return;
    }
  }
  std::vector<double> ns[kVariants];
  for (auto _ : state) {
    for (const Variant& variant : variants) variant.timeRound();  // warm-up
    for (int round = 0; round < kRounds; ++round) {
      for (int k = 0; k < kVariants; ++k) {
        const int v = (round + k) % kVariants;
        ns[v].push_back(variants[v].timeRound());
      }
    }
  }
  const double nocount = lowerQuartile(ns[0]);
  const double counting = lowerQuartile(ns[1]);
  const double journal = lowerQuartile(ns[2]);
  state.counters["nocount_ns"] = nocount;
  state.counters["counting_ns"] = counting;
  state.counters["journal_ns"] = journal;
  state.counters["counting_ratio"] = counting / nocount;
  state.counters["journal_ratio"] = journal / counting;
  // The same build and store shape twice: how far two equal runs differ.
  state.counters["noise_ratio"] = lowerQuartile(ns[3]) / counting;
}
BENCHMARK(BM_SetNoObserver_Interleaved)
    ->Iterations(1)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
