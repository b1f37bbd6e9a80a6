// The write storm that read benchmarks time their reads under: one reader
// timing every read while two writers run and one more thread burns CPU (two
// cores: the OS preempts writers, and with a lock, lock holders). Counters:
// p50, p99, p999, max in ns and the reads above 50 us. The storm lasts
// READ_BENCH_STORM_SECONDS (default 5) per variant.
#ifndef OSTREL_BENCH_STORM_H_
#define OSTREL_BENCH_STORM_H_

#include <benchmark/benchmark.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <functional>
#include <thread>
#include <vector>

namespace bench {

inline double stormSeconds() {
  const char* text = std::getenv("READ_BENCH_STORM_SECONDS");
  const double seconds = text != nullptr ? std::atof(text) : 5.0;
  return seconds > 0 ? seconds : 5.0;
}

// Read latencies: 1 ns buckets below 100 us, the slower ones kept as is.
class LatencyRecorder {
 public:
  LatencyRecorder() : m_buckets(kBuckets, 0) {}
  void Add(uint64_t ns) {
    ++m_count;
    if (ns < kBuckets) {
      ++m_buckets[ns];
    } else {
      m_slow.push_back(ns);
    }
    if (ns > 50000) ++m_over50us;
    m_max = std::max(m_max, ns);
  }
  uint64_t Percentile(double fraction) const {
    const uint64_t rank = static_cast<uint64_t>(fraction * m_count);
    uint64_t seen = 0;
    for (uint64_t ns = 0; ns < kBuckets; ++ns) {
      seen += m_buckets[ns];
      if (seen > rank) return ns;
    }
    std::vector<uint64_t> slow = m_slow;
    std::sort(slow.begin(), slow.end());
    const uint64_t index = rank - seen;
    return index < slow.size() ? slow[index] : m_max;
  }
  void Report(benchmark::State& state) const {
    state.counters["reads"] = static_cast<double>(m_count);
    state.counters["p50_ns"] = static_cast<double>(Percentile(0.5));
    state.counters["p99_ns"] = static_cast<double>(Percentile(0.99));
    state.counters["p999_ns"] = static_cast<double>(Percentile(0.999));
    state.counters["max_ns"] = static_cast<double>(m_max);
    state.counters["over50us"] = static_cast<double>(m_over50us);
  }

 private:
  static constexpr uint64_t kBuckets = 100000;
  std::vector<uint64_t> m_buckets;
  std::vector<uint64_t> m_slow;
  uint64_t m_count = 0;
  uint64_t m_over50us = 0;
  uint64_t m_max = 0;
};

// Runs `write(writerIndex, round)` on two threads and a CPU burner on a
// third while this thread times `read()` for the storm's duration.
inline void runStorm(benchmark::State& state, const std::function<void()>& read,
                     const std::function<void(int, uint64_t)>& write) {
  std::atomic<bool> stop{false};
  std::vector<std::thread> threads;
  for (int w = 0; w < 2; ++w) {
    threads.emplace_back([&stop, &write, w] {
      for (uint64_t round = 0; !stop.load(std::memory_order_relaxed); ++round) {
        write(w, round);
      }
    });
  }
  threads.emplace_back([&stop] {
    volatile uint64_t sink = 0;
    while (!stop.load(std::memory_order_relaxed)) sink = sink + 1;
  });
  LatencyRecorder recorder;
  const auto duration = std::chrono::duration<double>(stormSeconds());
  for (auto _ : state) {
    const auto end = std::chrono::steady_clock::now() + duration;
    for (;;) {
      const auto before = std::chrono::steady_clock::now();
      if (before >= end) break;
      read();
      const auto after = std::chrono::steady_clock::now();
      recorder.Add(static_cast<uint64_t>(
          std::chrono::duration_cast<std::chrono::nanoseconds>(after - before)
              .count()));
    }
  }
  stop = true;
  for (std::thread& thread : threads) thread.join();
  recorder.Report(state);
}

}  // namespace bench

#endif  // OSTREL_BENCH_STORM_H_
