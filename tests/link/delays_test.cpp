#include "link/delays.h"

#include <gtest/gtest.h>

#include "link_bench.h"

namespace ferrolux::test {
namespace {

struct DelayCase {
    int speed;
    int count;
    std::uint64_t reads;
};

class SpeedDelayReads : public ::testing::TestWithParam<DelayCase> {};

TEST_P(SpeedDelayReads, ReadsTheClockOncePlusCountTimesMultiplier) {
    LinkBench b;
    b.session.link.speed = GetParam().speed;
    EXPECT_EQ(b.readsOf([&] { speedDelay(b.session, GetParam().count); }), GetParam().reads);
}

INSTANTIATE_TEST_SUITE_P(AllSpeeds, SpeedDelayReads,
                         ::testing::Values(DelayCase{0, 5, 601}, DelayCase{1, 5, 301},
                                           DelayCase{2, 5, 151}, DelayCase{3, 5, 51},
                                           DelayCase{0, 10, 1201}, DelayCase{1, 10, 601},
                                           DelayCase{2, 10, 301}, DelayCase{3, 10, 101},
                                           DelayCase{0, 20, 2401}, DelayCase{1, 20, 1201},
                                           DelayCase{2, 20, 601}, DelayCase{3, 20, 201},
                                           // A count of 0 counts as 2.
                                           DelayCase{0, 0, 241}, DelayCase{1, 0, 121},
                                           DelayCase{2, 0, 61}, DelayCase{3, 0, 21},
                                           // Unknown speeds run as "high".
                                           DelayCase{7, 10, 101}, DelayCase{-1, 10, 101}));

TEST(WaitMs, ZeroAndNegativeOnlyReadTheClockTwice) {
    LinkBench b;
    EXPECT_EQ(b.readsOf([&] { waitMs(b.session, 0); }), 2u);
    EXPECT_EQ(b.readsOf([&] { waitMs(b.session, -5); }), 2u);
}

TEST(WaitMs, LastsAtLeastTheRequestedTimeOnAnyClockStep) {
    // A clock that moves almost a millisecond per read must still give a full
    // millisecond, and a fine clock must not stop early either.
    for (std::uint64_t step : {1u, 999'999u, 1'000'000u, 3'000'000u}) {
        for (int ms : {1, 2, 15, 50}) {
            LinkBench b;
            b.ticks.step = step;
            const std::uint64_t start = b.ticks.now + step;  // the first read
            waitMs(b.session, ms);
            EXPECT_GE(b.ticks.now - start, static_cast<std::uint64_t>(ms) * 1'000'000u)
                << "step " << step << " ms " << ms;
        }
    }
}

// A clock that records the deadline it is told about.
struct HintedTicks : CountingTicks {
    std::uint64_t deadline = 0;
    void idleUntil(std::uint64_t d) override { deadline = d; }
};

TEST(WaitMs, TellsTheClockHowLongItWillWait) {
    HintedTicks ticks;
    Session s(ticks);
    waitMs(s, 10);
    EXPECT_EQ(ticks.deadline, 1000u + 10'000'000u);  // first read at 1000 ns
}

}  // namespace
}  // namespace ferrolux::test
