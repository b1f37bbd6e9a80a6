// Costs of the statistics objects, each beside a baseline in this binary:
//   setter through IKovaVideoInfo (virtual call and one field store)
//   GetStatistics of the 1504-byte video record, plain and resetting
//   GetStatistics of the 260-byte audio session record, resetting
// against a plain memcpy of the same record size. Read the figures as ratios
// to the memcpy of the matching size.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

#include "stats/audio_statistic_info.h"
#include "stats/video_statistic_info.h"

namespace {

using kovaStore::IKovaAudioInfo;
using kovaStore::IKovaVideoInfo;

template <size_t kSize>
void BM_PlainMemcpy(benchmark::State& state) {
  std::vector<uint8_t> source(kSize, 0x5A);
  std::vector<uint8_t> destination(kSize);
  for (auto _ : state) {
    benchmark::DoNotOptimize(source.data());
    std::memcpy(destination.data(), source.data(), kSize);
    benchmark::ClobberMemory();
  }
}
BENCHMARK_TEMPLATE(BM_PlainMemcpy, kovaStore::kKovaVideoRecordSize);
BENCHMARK_TEMPLATE(BM_PlainMemcpy, kovaStore::kKovaAudioRecordSize);

// The interface pointer is laundered so that the call stays virtual.
IKovaVideoInfo* VideoInterface(kovaStore::KovaVideoStatisticInfo& object) {
  IKovaVideoInfo* video = &object;
  benchmark::DoNotOptimize(video);
  return video;
}

void BM_VideoSetterThroughInterface(benchmark::State& state) {
  kovaStore::KovaVideoStatisticInfo object(1);
  IKovaVideoInfo* video = VideoInterface(object);
  uint32_t value = 0;
  for (auto _ : state) {
    video->SetSessionValue1120(++value);
    benchmark::ClobberMemory();
  }
}
BENCHMARK(BM_VideoSetterThroughInterface);

// Five streams in use, so a resetting read computes every delta it can.
void BM_VideoGetStatistics(benchmark::State& state) {
  const bool bReset = state.range(0) != 0;
  kovaStore::KovaVideoStatisticInfo object(1);
  IKovaVideoInfo* video = VideoInterface(object);
  std::vector<uint8_t> sources(kovaStore::kKovaVideoSourceSize * 5, 0x11);
  video->SetStreamsFromSource(sources.data(), 5);
  std::vector<uint8_t> record(kovaStore::kKovaVideoRecordSize);
  for (auto _ : state) {
    video->GetStatistics(record.data(), bReset);
    benchmark::ClobberMemory();
  }
}
BENCHMARK(BM_VideoGetStatistics)->ArgName("reset")->Arg(0)->Arg(1);

void BM_AudioGetStatisticsReset(benchmark::State& state) {
  kovaStore::KovaAudioStatisticInfo object(1);
  IKovaAudioInfo* audio = &object;
  benchmark::DoNotOptimize(audio);
  std::vector<uint8_t> record(kovaStore::kKovaAudioRecordSize);
  for (auto _ : state) {
    audio->GetStatistics(record.data(), true);
    benchmark::ClobberMemory();
  }
}
BENCHMARK(BM_AudioGetStatisticsReset);

}  // namespace

BENCHMARK_MAIN();
