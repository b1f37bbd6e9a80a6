// Costs of loading a whole store from a configuration document and dumping it
// back, per entry, for a store of 10,000 entries spread over the twelve
// groups. The baseline is a plain set of the same 10,000 values through
// SetKovaConfig, so the ratio is what the document handling adds.
#include <ConfigData.h>
#include <benchmark/benchmark.h>

#include <string>

#include "ostrel/KovaConfigApi.h"

namespace {

using kovaStore::IKovaConfig;
using kovaStore::KovaConfigGroup;

constexpr int kEntries = 10000;
constexpr int kGroups = 12;
const char* const kGroupNames[kGroups] = {
    "Common",     "Feature", "Metrics",      "Audio",
    "AudioSlide", "Video",   "VideoSlide",   "Application",
    "Gamestate",  "AudioSi", "Transmission", "TAOnly"};

std::string nameOf(int i) { return "ConfigName_" + std::to_string(i); }
std::string valueOf(int i, int round) {
  return "value_" + std::to_string(i) + "_" + std::to_string(round);
}

// A document of kEntries entries; `round` changes every value so that each
// apply really stores (an unchanged value is cheaper).
std::string documentOf(int round) {
  std::string doc = "{";
  for (int g = 0; g < kGroups; ++g) {
    if (g != 0) doc += ",";
    doc += "\"" + std::string(kGroupNames[g]) + "\":[";
    bool first = true;
    for (int i = g; i < kEntries; i += kGroups) {
      if (!first) doc += ",";
      first = false;
      doc += "{\"key\":\"" + nameOf(i) + "\",\"value\":\"" + valueOf(i, round) +
             "\"}";
    }
    doc += "]";
  }
  return doc + "}";
}

struct Store {
  explicit Store(uint32_t callId) : callId(callId) {
    kovaStore::CreateKovaConfig(callId, &store);
  }
  ~Store() {
    kovaStore::ReleaseKovaConfig(store);
    kovaStore::CleanUpKovaConfig(callId);
  }
  uint32_t callId;
  IKovaConfig* store = nullptr;
};

void BM_Baseline_SetEachEntry(benchmark::State& state) {
  Store s(9001);
  int round = 0;
  for (auto _ : state) {
    ++round;
    for (int i = 0; i < kEntries; ++i) {
      s.store->SetKovaConfig(static_cast<KovaConfigGroup>(i % kGroups),
                             nameOf(i).c_str(), ConfigData(valueOf(i, round)),
                             false, false);
    }
  }
  state.SetItemsProcessed(state.iterations() * kEntries);
}
BENCHMARK(BM_Baseline_SetEachEntry)->Unit(benchmark::kMillisecond);

void BM_ApplyDocument(benchmark::State& state) {
  Store s(9002);
  const std::string docs[2] = {documentOf(1), documentOf(2)};
  int round = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(
        s.store->ApplyKovaConfigs(docs[++round % 2].c_str()));
  }
  state.SetItemsProcessed(state.iterations() * kEntries);
}
BENCHMARK(BM_ApplyDocument)->Unit(benchmark::kMillisecond);

void BM_DumpAllGroups(benchmark::State& state) {
  Store s(9003);
  s.store->ApplyKovaConfigs(documentOf(1).c_str());
  for (auto _ : state) {
    benchmark::DoNotOptimize(s.store->DumpKovaConfigs(0xFFF));
  }
  state.SetItemsProcessed(state.iterations() * kEntries);
}
BENCHMARK(BM_DumpAllGroups)->Unit(benchmark::kMillisecond);

}  // namespace
