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

#if defined(__x86_64__) && defined(__GNUC__)
#include <cpuid.h>
#include <x86intrin.h>
#endif

#include <atomic>

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

// Finds calls slower than a bound for the price of two reads of the
// processor's time-stamp counter, and tells the cost of a slow one on now()'s
// timeline, to the microsecond:
//
//   const slow_call_timer::Start start = slow_call_timer::start();
//   ... the call ...
//   uint64_t startUs, endUs;
//   if (slow_call_timer::mayExceed(start, 100000, startUs, endUs)) {
//     ... endUs - startUs, both now() readings or as good ...
//   }
//
// mayExceed() is false only when the call took at most the bound; when true,
// startUs and endUs are the call's start and end on now()'s timeline (the end
// read by now(), the start that reading less the counted ticks), for the
// caller to decide. The counter is used where it runs at one rate whatever
// the processor does (x86-64 with an invariant counter); its rate is learned
// from now() by the first start() calls, which read now() as well until two
// of them lie far enough apart; until then, and where there is no usable
// counter, a start reads now() and mayExceed() rules calls out with the
// coarse clock. A counter estimate rules out only calls it puts at half the
// bound or less, so even a rate off by a factor of two misses no slow call.
// Any thread; the learned rate is written once.
class slow_call_timer {
 public:
  struct Start {
    uint64_t ticks;  // counter reading; 0: `us` holds a now() reading
    uint64_t us;
  };

  static Start start() {
    const double rate = ticksPerUs().load(std::memory_order_relaxed);
    if (rate > 0) return Start{readTicks(), 0};
    return learn();
  }

  // `pNext`, when given, receives the end reading when mayExceed() is false
  // and read the counter, for a call that follows at once to start from
  // (a start that early only adds the time in between to that call); else
  // a reading with ticks 0, which no call may start from.
  static bool mayExceed(const Start& start, uint64_t boundUs, uint64_t& startUs,
                        uint64_t& endUs, Start* pNext = nullptr) {
    if (pNext != nullptr) *pNext = Start{0, 0};
    if (start.ticks == 0) {
      if (timer_policy::coarseNow() + timer_policy::coarseLagUs() <=
          start.us + boundUs) {
        return false;
      }
      startUs = start.us;
      endUs = timer_policy::now();
      return true;
    }
    const uint64_t now = readTicks();
    const uint64_t ticks = now > start.ticks ? now - start.ticks : 0;
    const double rate = ticksPerUs().load(std::memory_order_relaxed);
    if (static_cast<double>(ticks) <= static_cast<double>(boundUs) / 2 * rate) {
      if (pNext != nullptr) *pNext = Start{now, 0};
      return false;
    }
    const double elapsedUs = static_cast<double>(ticks) / rate;
    endUs = timer_policy::now();
    const uint64_t took = static_cast<uint64_t>(elapsedUs + 0.5);
    startUs = endUs > took ? endUs - took : 0;
    return true;
  }

 private:
  // Readings this far apart fix the rate to a few parts in a hundred
  // thousand, as each is taken within kPairTicks of its now() reading.
  static constexpr uint64_t kLearnUs = 20000;
  static constexpr uint64_t kPairTicks = 2000;

  static std::atomic<double>& ticksPerUs() {
    static std::atomic<double> rate{0};
    return rate;
  }

  // A now() reading, with the counter read around it: a pair the rate may
  // be learned from when the two counter reads lie close together (the
  // thread was not preempted in between), else ticks 0.
  static Start pair() {
    const uint64_t before = readTicks();
    const uint64_t us = timer_policy::now();
    const uint64_t after = readTicks();
    if (before == 0 || after < before || after - before > kPairTicks) {
      return Start{0, us};
    }
    return Start{before + (after - before) / 2, us};
  }

  static Start learn() {
    const Start now = pair();
    if (now.ticks != 0) {
      // The first good pair, kept to learn the rate from a later one.
      static const Start first = now;
      if (now.us >= first.us + kLearnUs && now.ticks > first.ticks) {
        ticksPerUs().store(static_cast<double>(now.ticks - first.ticks) /
                               static_cast<double>(now.us - first.us),
                           std::memory_order_relaxed);
      }
    }
    return Start{0, now.us};
  }

  // The counter, or 0 where it cannot be used.
  static uint64_t readTicks() {
#if defined(__x86_64__) && defined(__GNUC__)
    static const bool usable = [] {
      unsigned eax = 0, ebx = 0, ecx = 0, edx = 0;
      // Leaf 0x80000007, EDX bit 8: the counter's rate is invariant.
      return __get_cpuid(0x80000007, &eax, &ebx, &ecx, &edx) != 0 &&
             (edx & (1u << 8)) != 0;
    }();
    return usable ? __rdtsc() : 0;
#else
    return 0;
#endif
  }
};

// Microseconds since 1970-01-01 UTC from the system's coarse wall clock: as
// cheap as reading memory, at the clock tick's resolution (a few
// milliseconds). For stamping records, not for measuring.
CMUTIL_API uint64_t GetCoarseWallClockUs();

#endif  // UTIL_INCLUDE_CMTIMER_H_
