// Costs of the client helper's toggle reads and sets, beside their baselines
// in this binary:
//   HaveFeatureToggle, GetFeatureToggle  vs  GetKovaConfig on the store itself
//   SetFeatureToggle                     vs  SetKovaConfig on the store itself
// They read and write the same toggle; the helper adds the name lookup, the
// guards and the group resolution on top of the store's operation.
#include <benchmark/benchmark.h>

#include "CmTrace.h"
#include "KovaConfigApi.h"
#include "KovaConfigHelper.h"

namespace {

using kovaStore::KovaConfigHelper;

constexpr uint32_t kCall = 0x42454E01;

// Errors only, as in production; a store and a helper of one call with the
// toggle stored; the call is cleaned up afterwards.
class ToggleFixture {
 public:
  ToggleFixture() : m_previousMask(get_external_trace_mask()), m_helper(kCall) {
    set_external_trace_mask(0);
    kovaStore::CreateKovaConfig(kCall, &m_pStore);
    m_helper.SetFeatureToggle(KOVA_FT_EnableRelayMode, ConfigData("1"));
  }
  ~ToggleFixture() {
    kovaStore::ReleaseKovaConfig(m_pStore);
    // The call's own reference; the helper's goes with it below.
    kovaStore::CleanUpKovaConfig(kCall);
    set_external_trace_mask(m_previousMask);
  }
  ToggleFixture(const ToggleFixture&) = delete;
  ToggleFixture& operator=(const ToggleFixture&) = delete;

  kovaStore::IKovaConfig* store() { return m_pStore; }
  KovaConfigHelper& helper() { return m_helper; }

 private:
  int m_previousMask;
  KovaConfigHelper m_helper;
  kovaStore::IKovaConfig* m_pStore = nullptr;
};

void BM_Baseline_StoreGetKovaConfig(benchmark::State& state) {
  ToggleFixture fixture;
  kovaStore::IKovaConfig* store = fixture.store();
  for (auto _ : state) {
    ConfigData value;
    benchmark::DoNotOptimize(store->GetKovaConfig(
        kovaStore::KovaConfigGroup_Feature, "EnableRelayMode", value));
    benchmark::DoNotOptimize(value);
  }
}
BENCHMARK(BM_Baseline_StoreGetKovaConfig);

void BM_HaveFeatureToggle(benchmark::State& state) {
  ToggleFixture fixture;
  KovaConfigHelper& helper = fixture.helper();
  for (auto _ : state) {
    benchmark::DoNotOptimize(helper.HaveFeatureToggle(KOVA_FT_EnableRelayMode));
  }
}
BENCHMARK(BM_HaveFeatureToggle);

void BM_GetFeatureToggle(benchmark::State& state) {
  ToggleFixture fixture;
  KovaConfigHelper& helper = fixture.helper();
  for (auto _ : state) {
    ConfigData value = helper.GetFeatureToggle(KOVA_FT_EnableRelayMode);
    benchmark::DoNotOptimize(value);
  }
}
BENCHMARK(BM_GetFeatureToggle);

// Two values in turn, so that every set changes the stored one.
void BM_Baseline_StoreSetKovaConfig(benchmark::State& state) {
  ToggleFixture fixture;
  kovaStore::IKovaConfig* store = fixture.store();
  const ConfigData values[2] = {ConfigData("0"), ConfigData("1")};
  unsigned n = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(
        store->SetKovaConfig(kovaStore::KovaConfigGroup_Feature,
                             "EnableRelayMode", values[++n & 1], false, false));
  }
}
BENCHMARK(BM_Baseline_StoreSetKovaConfig);

void BM_SetFeatureToggle(benchmark::State& state) {
  ToggleFixture fixture;
  KovaConfigHelper& helper = fixture.helper();
  const ConfigData values[2] = {ConfigData("0"), ConfigData("1")};
  unsigned n = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(
        helper.SetFeatureToggle(KOVA_FT_EnableRelayMode, values[++n & 1]));
  }
}
BENCHMARK(BM_SetFeatureToggle);

}  // namespace
