// What the benchmarks that time their own interleaved rounds share: the
// calling thread's CPU time, and the median of the rounds' figures.
//
//   const double start = bench::threadCpuNs();
//   ... one round ...
//   perRound.push_back((bench::threadCpuNs() - start) / kSetsPerRound);
//   state.counters["ns"] = bench::median(perRound);
#ifndef OSTREL_BENCH_ROUND_STATS_H_
#define OSTREL_BENCH_ROUND_STATS_H_

#include <time.h>

#include <algorithm>
#include <vector>

namespace bench {

// Nanoseconds of CPU time the calling thread has used; time spent
// preempted by other processes does not count.
inline double threadCpuNs() {
  timespec now{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
  return static_cast<double>(now.tv_sec) * 1e9 +
         static_cast<double>(now.tv_nsec);
}

// The upper median of a non-empty set of figures.
inline double median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

}  // namespace bench

#endif  // OSTREL_BENCH_ROUND_STATS_H_
