// The util clock.
#ifndef UTIL_INCLUDE_CMTIMER_H_
#define UTIL_INCLUDE_CMTIMER_H_

#include <chrono>
#include <cstdint>

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

#endif  // UTIL_INCLUDE_CMTIMER_H_
