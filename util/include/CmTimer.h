// The util clock.
#ifndef UTIL_INCLUDE_CMTIMER_H_
#define UTIL_INCLUDE_CMTIMER_H_

#include <chrono>
#include <cstdint>

// Linux keeps a tick-granular copy of its monotonic clock; both are read
// directly so that they share one timeline.
#if defined(__linux__)
#include <time.h>
#if defined(CLOCK_MONOTONIC_COARSE)
#define UTIL_TIMER_HAS_COARSE 1
#endif
#endif

#include "util_export.h"

class timer_policy {
 public:
  // Microseconds from a steady clock; only differences are meaningful.
  static uint64_t now() {
#if defined(UTIL_TIMER_HAS_COARSE)
    return read(CLOCK_MONOTONIC);
#else
    return static_cast<uint64_t>(
        std::chrono::duration_cast<std::chrono::microseconds>(
            std::chrono::steady_clock::now().time_since_epoch())
            .count());
#endif
  }

  // now()'s timeline read from the system tick: never ahead of now(), at
  // most coarseLagUs() behind it, and several times cheaper (no hardware
  // counter is read). Meant for ruling out a long interval cheaply: when
  // coarseNow() + coarseLagUs() - start is below a bound, now() - start is
  // too. Where the system has no such clock it is now() with no lag. The
  // lag is the clock's tick; a CPU that runs one task without ticks
  // (nohz_full) may let it fall further behind while that task runs.
  static uint64_t coarseNow() {
#if defined(UTIL_TIMER_HAS_COARSE)
    return read(CLOCK_MONOTONIC_COARSE);
#else
    return now();
#endif
  }
  static uint64_t coarseLagUs() {
#if defined(UTIL_TIMER_HAS_COARSE)
    static const uint64_t lag = [] {
      timespec resolution{};
      if (clock_getres(CLOCK_MONOTONIC_COARSE, &resolution) != 0) {
        return uint64_t{1000000};  // unknown: a second rules out little
      }
      return static_cast<uint64_t>(resolution.tv_sec) * 1000000u +
             (static_cast<uint64_t>(resolution.tv_nsec) + 999u) / 1000u;
    }();
    return lag;
#else
    return 0;
#endif
  }

 private:
#if defined(UTIL_TIMER_HAS_COARSE)
  static uint64_t read(clockid_t clock) {
    timespec value{};
    clock_gettime(clock, &value);
    return static_cast<uint64_t>(value.tv_sec) * 1000000u +
           static_cast<uint64_t>(value.tv_nsec) / 1000u;
  }
#endif
};

// Microseconds since 1970-01-01 UTC from the system's coarse wall clock: as
// cheap as reading memory, at the clock tick's resolution (a few
// milliseconds). For stamping records, not for measuring.
CMUTIL_API uint64_t GetCoarseWallClockUs();

#endif  // UTIL_INCLUDE_CMTIMER_H_
