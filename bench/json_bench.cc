// Reading configuration documents (an object of twelve group arrays of
// {"key","value"} objects) of about 10 KB, 1 MB and 10 MB with json::FromText,
// beside two baselines in this binary that parse the same text into their
// own document trees: RapidJSON's DOM parse and nlohmann-json's parse.
// Each reports bytes per second; the
// per-byte time of the 10 MB document over the 10 KB one shows whether
// reading stays linear.
// Run: build/bench/json_bench --benchmark_min_time=0.5
#include <benchmark/benchmark.h>
#include <rapidjson/document.h>

#include <cstddef>
#include <map>
#include <nlohmann/json.hpp>
#include <string>

#include "json_reader.h"

namespace {

const char* const kGroups[] = {"Common",     "Feature",      "Metrics",
                               "Audio",      "AudioSlide",   "Video",
                               "VideoSlide", "Application",  "Gamestate",
                               "AudioSi",    "Transmission", "TAOnly"};

// A document of at least `bytes` bytes, entries spread over the groups.
std::string configurationDocument(std::size_t bytes) {
  const std::size_t entries = bytes / 48 + 1;
  const std::size_t perGroup = entries / 12 + 1;
  std::string text = "{";
  for (int g = 0; g < 12; ++g) {
    if (g) text += ",";
    text += "\"";
    text += kGroups[g];
    text += "\":[";
    for (std::size_t e = 0; e < perGroup; ++e) {
      if (e) text += ",";
      text += "{\"key\":\"ConfigName_" + std::to_string(e) + "\",\"value\":\"" +
              std::to_string(e * 7919 % 100000) + "\"}";
    }
    text += "]";
  }
  return text + "}";
}

const std::string& documentOf(std::size_t bytes) {
  static std::map<std::size_t, std::string> documents;
  auto it = documents.find(bytes);
  if (it == documents.end()) {
    it = documents.emplace(bytes, configurationDocument(bytes)).first;
  }
  return it->second;
}

void BM_OstrelFromText(benchmark::State& state) {
  const std::string& text =
      documentOf(static_cast<std::size_t>(state.range(0)));
  for (auto _ : state) {
    json::Value document = json::FromText(text);
    benchmark::DoNotOptimize(document);
    if (document.GetKind() != json::KindObject) state.SkipWithError("null");
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) *
                          static_cast<int64_t>(text.size()));
}

void BM_BaselineRapidDom(benchmark::State& state) {
  const std::string& text =
      documentOf(static_cast<std::size_t>(state.range(0)));
  for (auto _ : state) {
    rapidjson::Document document;
    document.Parse(text.c_str(), text.size());
    benchmark::DoNotOptimize(document);
    if (!document.IsObject()) state.SkipWithError("parse failed");
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) *
                          static_cast<int64_t>(text.size()));
}

void BM_BaselineNlohmann(benchmark::State& state) {
  const std::string& text =
      documentOf(static_cast<std::size_t>(state.range(0)));
  for (auto _ : state) {
    nlohmann::json document = nlohmann::json::parse(text);
    benchmark::DoNotOptimize(document);
    if (!document.is_object()) state.SkipWithError("parse failed");
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) *
                          static_cast<int64_t>(text.size()));
}

#define DOCUMENT_SIZES Arg(10 << 10)->Arg(1 << 20)->Arg(10 << 20)
BENCHMARK(BM_OstrelFromText)->DOCUMENT_SIZES->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_BaselineRapidDom)->DOCUMENT_SIZES->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_BaselineNlohmann)->DOCUMENT_SIZES->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
