// Costs of the C++ layer beside the exported interface it wraps, both in this
// binary and both through the shared library:
//   Toggle(call, id).GetOr(false)     vs  the raw toggle read it wraps
//                                         (the name, then GetKovaConfig)
//   a set delivered to a Subscription vs  the same set delivered to a raw
//                                         inline SubscribeConfig callback
// The delivery pair sets the value through the raw store in both cases, so
// the difference is the subscription's own delivery: its lock, the read of
// the stored value and the comparison with the last one delivered.
#include <benchmark/benchmark.h>
#include <ostrel/cpp.h>

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
