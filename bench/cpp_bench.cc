// Costs of the C++ layer beside the exported interface it wraps, both in this
// binary and both through the shared library:
//   Toggle(call, id).GetOr(false)     vs  the raw toggle read it wraps
//                                         (the name, then GetKovaConfig)
//   a set delivered to a Subscription vs  the same set delivered to a raw
//                                         inline SubscribeConfig callback
//   handle reads: Toggle.GetOr(false) and Value<int>.GetOr(0) vs a flag
//     library's inlined GetFlag of a bool and of an int flag;
//   write storm: a Value<int> handle reader timing every read while two
//     writers set names of its group (its own name now and then) and a third
//     thread burns CPU, vs a reader of one std::atomic word under the same
//     storm (p50/p99/p999 counters; READ_BENCH_STORM_SECONDS, default 5).
// Run with --benchmark_repetitions=N --benchmark_enable_random_interleaving
// and compare medians.
// The delivery pair sets the value through the raw store in both cases, so
// the difference is the subscription's own delivery: its lock, the read of
// the stored value and the comparison with the last one delivered.
#include <absl/flags/flag.h>
#include <benchmark/benchmark.h>
#include <ostrel/cpp.h>

#include <atomic>
#include <string>

#include "storm.h"

ABSL_FLAG(bool, cpp_bench_toggle, true, "a bool flag read as a baseline");
ABSL_FLAG(int, cpp_bench_number, 60, "an int flag read as a baseline");

namespace {

constexpr uint32_t kCall = 0x42454E13;

// Errors only, as in production; the call's store with the toggle stored;
// the call is cleaned up afterwards.
class CallFixture {
 public:
  CallFixture() : m_previousMask(get_external_trace_mask()), m_call(kCall) {
    set_external_trace_mask(0);
    ostrel::Toggle(m_call, KOVA_FT_EnableRelayMode).Set(true);
  }
  ~CallFixture() {
    kovaStore::CleanUpKovaConfig(kCall);
    set_external_trace_mask(m_previousMask);
  }
  CallFixture(const CallFixture&) = delete;
  CallFixture& operator=(const CallFixture&) = delete;

  const ostrel::Store& call() const { return m_call; }

 private:
  int m_previousMask;
  ostrel::Store m_call;
};

void BM_Baseline_RawToggleRead(benchmark::State& state) {
  CallFixture fixture;
  kovaStore::IKovaConfig* store = fixture.call().Raw();
  for (auto _ : state) {
    ConfigData value;
    store->GetKovaConfig(kovaStore::KovaConfigGroup_Feature,
                         kovaStore::KovaConfigHelper::GetFeatureToggleName(
                             KOVA_FT_EnableRelayMode),
                         value);
    benchmark::DoNotOptimize(value);
  }
}
BENCHMARK(BM_Baseline_RawToggleRead);

void BM_TypedToggleGetOr(benchmark::State& state) {
  CallFixture fixture;
  for (auto _ : state) {
    bool on =
        ostrel::Toggle(fixture.call(), KOVA_FT_EnableRelayMode).GetOr(false);
    benchmark::DoNotOptimize(on);
  }
}
BENCHMARK(BM_TypedToggleGetOr);

void BM_Baseline_AbslGetFlagBool(benchmark::State& state) {
  for (auto _ : state) {
    benchmark::DoNotOptimize(absl::GetFlag(FLAGS_cpp_bench_toggle));
  }
}
BENCHMARK(BM_Baseline_AbslGetFlagBool);

void BM_Baseline_AbslGetFlagInt(benchmark::State& state) {
  for (auto _ : state) {
    benchmark::DoNotOptimize(absl::GetFlag(FLAGS_cpp_bench_number));
  }
}
BENCHMARK(BM_Baseline_AbslGetFlagInt);

void BM_ToggleHandleRead(benchmark::State& state) {
  CallFixture fixture;
  const ostrel::Toggle relay(fixture.call(), KOVA_FT_EnableRelayMode);
  for (auto _ : state) {
    benchmark::DoNotOptimize(relay.GetOr(false));
  }
}
BENCHMARK(BM_ToggleHandleRead);

// The same toggle through a per-thread typed handle (no shared cache word).
void BM_ValueHandleReadBool(benchmark::State& state) {
  CallFixture fixture;
  const ostrel::Value<bool> relay(
      fixture.call(), kovaStore::KovaConfigGroup_Feature, "EnableRelayMode");
  for (auto _ : state) {
    benchmark::DoNotOptimize(relay.GetOr(false));
  }
}
BENCHMARK(BM_ValueHandleReadBool);

void BM_ValueHandleReadInt(benchmark::State& state) {
  CallFixture fixture;
  (void)fixture.call().Set(kovaStore::KovaConfigGroup_Video, "MaxFps", 60);
  const ostrel::Value<int> fps(fixture.call(), kovaStore::KovaConfigGroup_Video,
                               "MaxFps");
  for (auto _ : state) {
    benchmark::DoNotOptimize(fps.GetOr(0));
  }
}
BENCHMARK(BM_ValueHandleReadInt);

// The storm's writers: each sets its own names of the group, writer 0 the
// reader's name too now and then, to changed values.
std::function<void(int, uint64_t)> StormWriters(const ostrel::Store& call) {
  return [&call](int w, uint64_t round) {
    const int index = static_cast<int>(round % 50);
    const std::string name =
        index == 25 && w == 0
            ? std::string("MaxFps")
            : "Name_" + std::to_string(w) + "_" + std::to_string(index);
    (void)call.Set(kovaStore::KovaConfigGroup_Video, name.c_str(),
                   static_cast<int>(round & 1) + 30);
  };
}

void BM_Storm_ValueHandleRead(benchmark::State& state) {
  CallFixture fixture;
  (void)fixture.call().Set(kovaStore::KovaConfigGroup_Video, "MaxFps", 60);
  const ostrel::Value<int> fps(fixture.call(), kovaStore::KovaConfigGroup_Video,
                               "MaxFps");
  bench::runStorm(
      state, [&] { benchmark::DoNotOptimize(fps.GetOr(0)); },
      StormWriters(fixture.call()));
}
BENCHMARK(BM_Storm_ValueHandleRead)
    ->Iterations(1)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);

void BM_Storm_Baseline_AtomicWord(benchmark::State& state) {
  CallFixture fixture;
  static std::atomic<uint64_t> word{1};
  bench::runStorm(
      state,
      [&] { benchmark::DoNotOptimize(word.load(std::memory_order_acquire)); },
      StormWriters(fixture.call()));
}
BENCHMARK(BM_Storm_Baseline_AtomicWord)
    ->Iterations(1)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);

// Sets the name to "0" and "1" in turn, each set reaching the one observer.
void SetInTurn(benchmark::State& state, kovaStore::IKovaConfig* store) {
  const ConfigData values[] = {ConfigData("0"), ConfigData("1")};
  unsigned n = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(
        store->SetKovaConfig(kovaStore::KovaConfigGroup_Video, "MaxFps",
                             values[++n & 1], false, false));
  }
}

void BM_Baseline_RawInlineDelivery(benchmark::State& state) {
  CallFixture fixture;
  kovaStore::IKovaConfig* store = fixture.call().Raw();
  unsigned calls = 0;
  const uint64_t id = store->SubscribeConfig(
      kovaStore::KovaConfigGroup_Video, "MaxFps",
      [&calls](const kovaStore::KovaConfigEvent& event) {
        calls += event.newValue.GetLength();
      },
      nullptr, false);
  SetInTurn(state, store);
  store->UnsubscribeConfig(id);
  benchmark::DoNotOptimize(calls);
}
BENCHMARK(BM_Baseline_RawInlineDelivery);

void BM_SubscriptionInlineDelivery(benchmark::State& state) {
  CallFixture fixture;
  unsigned calls = 0;
  ostrel::Subscription sub = fixture.call().Subscribe(
      kovaStore::KovaConfigGroup_Video, "MaxFps",
      [&calls](const kovaStore::KovaConfigEvent& event) {
        calls += event.newValue.GetLength();
      });
  SetInTurn(state, fixture.call().Raw());
  sub.reset();
  benchmark::DoNotOptimize(calls);
}
BENCHMARK(BM_SubscriptionInlineDelivery);

}  // namespace

BENCHMARK_MAIN();
