// Reading configuration documents (an object of twelve group arrays of
// {"key","value"} objects) of about 10 KB, 1 MB and 10 MB with json::FromText,
// beside two baselines in this binary that parse the same text into their
// own document trees: RapidJSON's DOM parse and nlohmann-json's parse.
// Each reports bytes per second; the
// per-byte time of the 10 MB document over the 10 KB one shows whether
// reading stays linear.
// A number-heavy document too, shaped like a country's border in GeoJSON:
// about 2 MB of arrays of coordinate pairs with 15 to 17 significant digits
// (Numbers). Run with --benchmark_repetitions=N
// --benchmark_enable_random_interleaving=true and compare the medians.
// Run: build/bench/json_bench --benchmark_min_time=0.5
#include <benchmark/benchmark.h>
#include <rapidjson/document.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <map>
#include <nlohmann/json.hpp>
#include <string>

#include "json/json_reader.h"

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

// A GeoJSON-like feature collection: polygons of coordinate pairs, each
// number printed with 15 decimals (15 to 17 significant digits), about 2 MB.
const std::string& numberDocument() {
  static const std::string text = [] {
    std::string out =
        "{\"type\":\"FeatureCollection\",\"features\":[{\"type\":"
        "\"Feature\",\"properties\":{\"name\":\"Border\"},\"geometry\":"
        "{\"type\":\"Polygon\",\"coordinates\":[";
    uint64_t seed = 0x9E3779B97F4A7C15ull;
    auto next = [&seed] {
      seed = seed * 6364136223846793005ull + 1442695040888963407ull;
      return static_cast<double>(seed >> 11) / 9007199254740992.0;
    };
    char number[64];
    for (int ring = 0; ring < 480; ++ring) {
      out += ring ? ",[" : "[";
      for (int point = 0; point < 116; ++point) {
        std::snprintf(number, sizeof number, "%s[%.15f,%.15f]",
                      point ? "," : "", -141.0 + 89.0 * next(),
                      41.0 + 42.0 * next());
        out += number;
      }
      out += "]";
    }
    return out + "]}}]}";
  }();
  return text;
}

// The document of a run: the number-heavy one for 0, otherwise one of that
// size in bytes.
const std::string& documentFor(const benchmark::State& state) {
  return state.range(0) == 0
             ? numberDocument()
             : documentOf(static_cast<std::size_t>(state.range(0)));
}

// Parses the run's document each iteration; `parse` yields whether it read
// an object.
template <class Parse>
void parseEach(benchmark::State& state, Parse parse) {
  const std::string& text = documentFor(state);
  for (auto _ : state) {
    if (!parse(text)) state.SkipWithError("parse failed");
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) *
                          static_cast<int64_t>(text.size()));
}

void BM_OstrelFromText(benchmark::State& state) {
  parseEach(state, [](const std::string& text) {
    json::Value document = json::FromText(text);
    benchmark::DoNotOptimize(document);
    return document.GetKind() == json::KindObject;
  });
}

void BM_BaselineRapidDom(benchmark::State& state) {
  parseEach(state, [](const std::string& text) {
    rapidjson::Document document;
    document.Parse(text.c_str(), text.size());
    benchmark::DoNotOptimize(document);
    return document.IsObject();
  });
}

void BM_BaselineNlohmann(benchmark::State& state) {
  parseEach(state, [](const std::string& text) {
    nlohmann::json document = nlohmann::json::parse(text);
    benchmark::DoNotOptimize(document);
    return document.is_object();
  });
}

// 0: the number-heavy document; then three sizes of the mixed one.
#define DOCUMENTS Arg(0)->Arg(10 << 10)->Arg(1 << 20)->Arg(10 << 20)
BENCHMARK(BM_OstrelFromText)->DOCUMENTS->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_BaselineRapidDom)->DOCUMENTS->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_BaselineNlohmann)->DOCUMENTS->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
