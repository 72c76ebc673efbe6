// The performance counter clock: nanoseconds that never go back, and a
// sleep that never ends before its deadline.
#include "platform/win32/tick_source_win32.h"

#include <gtest/gtest.h>

namespace ferrolux::test {
namespace {

TEST(Win32Ticks, NeverGoBackAndASleepEndsOnlyAfterItsDeadline) {
    platform::PerformanceCounterTicks ticks;
    std::uint64_t last = ticks.nowNs();
    for (int i = 0; i < 1000; ++i) {
        const std::uint64_t now = ticks.nowNs();
        ASSERT_GE(now, last);
        last = now;
    }
    EXPECT_GE(ticks.readTimes(5), last);
    EXPECT_EQ(ticks.readTimes(0), 0u);
    for (std::uint64_t wait : {1u, 999'999u, 1'000'000u, 2'500'000u}) {
        const std::uint64_t deadline = ticks.nowNs() + wait;
        ticks.sleepUntil(deadline);
        EXPECT_GE(ticks.nowNs(), deadline) << wait;
    }
    ticks.sleepUntil(0);  // a deadline passed long ago returns at once
}

}  // namespace
}  // namespace ferrolux::test
