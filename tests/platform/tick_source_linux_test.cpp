// The system's monotonic clock: sleeps and waits never end early.
#include "platform/linux/tick_source_linux.h"

#include <gtest/gtest.h>

#include "link/delays.h"
#include "session/session.h"

namespace ferrolux::test {
namespace {

TEST(MonotonicTicks, SleepsAndWaitsLastAtLeastTheirTime) {
    platform::MonotonicTicks ticks;
    const std::uint64_t start = ticks.nowNs();
    ticks.sleepUntil(start + 2'000'000);
    EXPECT_GE(ticks.nowNs(), start + 2'000'000);
    ticks.sleepUntil(start);  // a deadline already past returns at once
    Session s(ticks);
    const std::uint64_t before = ticks.nowNs();
    waitMs(s, 3);
    EXPECT_GE(ticks.nowNs() - before, 3'000'000u);
    EXPECT_GE(ticks.readTimes(3), start);
}

}  // namespace
}  // namespace ferrolux::test
