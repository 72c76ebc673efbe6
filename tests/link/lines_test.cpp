// Waits, and the parallel port's bytes and driver failures.
#include <gtest/gtest.h>

#include "link/delays.h"
#include "link/parallel_lines.h"
#include "link_bench.h"

namespace ferrolux::test {
namespace {

// A clock that records the deadlines it is told about.
struct HintedTicks : CountingTicks {
    std::uint64_t deadline = 0;
    std::uint64_t sleptUntil = 0;
    void idleUntil(std::uint64_t d) override { deadline = d; }
    void sleepUntil(std::uint64_t d) override { sleptUntil = d; }
};

TEST(Delays, WaitMsLastsAtLeastTheTimeOnAnyClockAndSleepsMostOfIt) {
    // A clock that moves almost a millisecond per read must still give a full
    // millisecond, and a fine clock must not stop early either.
    for (std::uint64_t step : {1u, 999'999u, 1'000'000u, 3'000'000u}) {
        for (int ms : {1, 2, 15, 50}) {
            HintedTicks ticks;
            ticks.step = step;
            Session s(ticks);
            waitMs(s, ms);
            const std::uint64_t span = static_cast<std::uint64_t>(ms) * 1'000'000u;
            EXPECT_GE(ticks.now - step, span) << "step " << step << " ms " << ms;
            EXPECT_EQ(ticks.deadline, step + span);  // measured from the first read
            // It sleeps through the wait but for its last fraction of a millisecond.
            EXPECT_GT(ticks.sleptUntil, step + span - 1'000'000u);
            EXPECT_LT(ticks.sleptUntil, step + span);
        }
    }
}

TEST(ParallelLines, InvertedBuffersComplementBothWays) {
    LinkBench b;
    for (char adapter : {'3', '2'}) {
        b.useParallel(adapter);
        b.parallel.reads = {0x4000};
        parallelWrite(b.session, 0x08);
        EXPECT_EQ(b.parallel.writes.back(), adapter == '3' ? 0xF7 : 0x08);
        EXPECT_EQ(parallelRead(b.session), adapter == '3' ? 0xBFFF : 0x4000);
        EXPECT_EQ(b.session.port.lastParallelWord, adapter == '3' ? 0xBFFF : 0x4000);
    }
}

TEST(ParallelLines, DriverFailureIsReportedOnceAndClosesTheWindow) {
    LinkBench b;
    RecordingParallelPort direct;  // direct access uses its own port
    b.useParallel('1');
    b.session.port.directIo = true;
    b.session.port.directPort = &direct;
    parallelWrite(b.session, 0x55);
    EXPECT_EQ(direct.writes.size(), 1u);
    EXPECT_TRUE(b.parallel.writes.empty());

    b.session.port.directIo = false;
    b.parallel.reads = {0x1234};
    EXPECT_EQ(parallelRead(b.session), 0x1234);
    b.parallel.works = false;
    for (int i = 0; i < 100; ++i)
        parallelWrite(b.session, 0x08);
    EXPECT_EQ(parallelRead(b.session), 0x1234);  // the last word stays
    ASSERT_EQ(b.window.boxes.size(), 1u);
    EXPECT_EQ(b.window.boxes[0].text, "Error during driver access!");
    EXPECT_EQ(b.window.boxes[0].title, "Error");
    EXPECT_EQ(b.window.endResults, std::vector<int>{1});

    LinkBench none;  // no driver at all fails the same way
    none.useParallel('1');
    none.session.port.driverLibrary = nullptr;
    parallelWrite(none.session, 0x08);
    EXPECT_EQ(none.window.boxes.size(), 1u);
}

}  // namespace
}  // namespace ferrolux::test
