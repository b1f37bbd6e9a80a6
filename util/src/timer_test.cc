#include <CmTimer.h>

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

namespace {

// A call longer than the bound is reported with its span on now()'s
// timeline: inside the now() readings around it, about as long as the call.
// The first pass runs before the counter's rate is learned (now() readings),
// the second after it (counter readings, where the processor has a usable
// counter). A call far shorter than the bound is ruled out.
TEST(SlowCallTimerTest, SlowCallsCarryTheirSpanAndQuickOnesAreRuledOut) {
  constexpr uint64_t kBoundUs = 10000;
  constexpr uint64_t kSleepUs = 30000;
  constexpr uint64_t kSlackUs = 1000;
  for (int pass = 0; pass < 2; ++pass) {
    const uint64_t before = timer_policy::now();
    const slow_call_timer::Start start = slow_call_timer::start();
    std::this_thread::sleep_for(std::chrono::microseconds(kSleepUs));
    uint64_t startUs = 0;
    uint64_t endUs = 0;
    ASSERT_TRUE(slow_call_timer::mayExceed(start, kBoundUs, startUs, endUs))
        << pass;
    const uint64_t after = timer_policy::now();
    EXPECT_GE(startUs + kSlackUs, before) << pass;
    EXPECT_LE(endUs, after) << pass;
    EXPECT_GE(endUs - startUs + kSlackUs, kSleepUs) << pass;
    EXPECT_LE(endUs - startUs, after - before + kSlackUs) << pass;

    const slow_call_timer::Start quick = slow_call_timer::start();
    EXPECT_FALSE(slow_call_timer::mayExceed(quick, 1000000, startUs, endUs))
        << pass;
  }
}

}  // namespace
