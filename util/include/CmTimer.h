// The util clock.
#ifndef UTIL_INCLUDE_CMTIMER_H_
#define UTIL_INCLUDE_CMTIMER_H_

#include <chrono>
#include <cstdint>

#include "util_export.h"

class timer_policy {
 public:
  // Microseconds from a steady clock; only differences are meaningful.
  static uint64_t now() {
    return static_cast<uint64_t>(
        std::chrono::duration_cast<std::chrono::microseconds>(
            std::chrono::steady_clock::now().time_since_epoch())
            .count());
  }
};

// Microseconds since 1970-01-01 UTC from the system's coarse wall clock: as
// cheap as reading memory, at the clock tick's resolution (a few
// milliseconds). For stamping records, not for measuring.
CMUTIL_API uint64_t GetCoarseWallClockUs();

#endif  // UTIL_INCLUDE_CMTIMER_H_
