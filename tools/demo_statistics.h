// The statistics scene of `ostrel demo`: the audio and video modules of a
// call fill their statistics objects, a reporter reads them with resetting
// reads (interval deltas), and every reference is given back.
//
// Runs on the calling thread only and writes its story to `out`.
#ifndef TOOLS_DEMO_STATISTICS_H_
#define TOOLS_DEMO_STATISTICS_H_

#include <cstddef>
#include <cstdint>
#include <ostream>

namespace ostrel_cli {

struct StatisticsOutcome {
  bool bOk = false;             // every step gave the expected result
  size_t objectsCreated = 0;    // distinct statistics objects made
  size_t objectsRemaining = 0;  // objects whose last release did not give 0
};

StatisticsOutcome RunStatisticsScene(uint32_t callId, std::ostream& out);

}  // namespace ostrel_cli

#endif  // TOOLS_DEMO_STATISTICS_H_
