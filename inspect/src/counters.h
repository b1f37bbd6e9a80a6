// The library's activity counters as the inspector shows them: one table
// that names each counter field once, for the calls list (JSON keys) and for
// /metrics (metric families with a label). Adding a counter to the table
// shows it everywhere.
#ifndef OSTREL_INSPECT_SRC_COUNTERS_H_
#define OSTREL_INSPECT_SRC_COUNTERS_H_

#include <ostrel/ostrel.h>

#include <cstdint>
#include <optional>
#include <vector>

namespace ostrel::inspect {

struct CounterSpec {
  const char* key;     // JSON key ("setsOk")
  const char* family;  // metric family without prefix ("sets_total")
  const char* help;    // the family's HELP text
  const char* label;   // label name within the family, or null
  const char* labelValue;
  uint64_t kovaStore::KovaConfigCounters::*field;
};

// Every counter, families contiguous.
const std::vector<CounterSpec>& CounterSpecs();

// The call's counters; nothing when the call has no store (or counting is
// compiled out of the library).
std::optional<kovaStore::KovaConfigCounters> CallCounters(uint32_t callId);
// The process-wide totals.
std::optional<kovaStore::KovaConfigCounters> TotalCounters();

}  // namespace ostrel::inspect

#endif  // OSTREL_INSPECT_SRC_COUNTERS_H_
