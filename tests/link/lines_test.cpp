// Delays and the single lines of the serial and parallel ports.
#include <gtest/gtest.h>

#include "link/delays.h"
#include "link/parallel_lines.h"
#include "link/serial_lines.h"
#include "link_bench.h"

namespace ferrolux::test {
namespace {

using platform::LineCode;

TEST(Delays, SpeedDelayReadsTheClockOncePlusCountTimesMultiplier) {
    const std::uint64_t multiplier[] = {120, 60, 30, 10};
    for (int speed : {0, 1, 2, 3, 7, -1}) {  // unknown speeds run as "high"
        for (int count : {0, 5, 10, 20}) {
            LinkBench b;
            b.session.link.speed = speed;
            const std::uint64_t per = multiplier[speed >= 0 && speed <= 3 ? speed : 3];
            const std::uint64_t counted = count == 0 ? 2 : count;  // 0 counts as 2
            EXPECT_EQ(b.readsOf([&] { speedDelay(b.session, count); }), 1 + counted * per)
                << "speed " << speed << " count " << count;
        }
    }
}

// A clock that records the deadlines it is told about.
struct HintedTicks : CountingTicks {
    std::uint64_t deadline = 0;
    std::uint64_t sleptUntil = 0;
    void idleUntil(std::uint64_t d) override { deadline = d; }
    void sleepUntil(std::uint64_t d) override { sleptUntil = d; }
};

TEST(Delays, WaitMsLastsAtLeastTheTimeOnAnyClockAndZeroReadsTwice) {
    LinkBench zero;
    EXPECT_EQ(zero.readsOf([&] { waitMs(zero.session, 0); }), 2u);
    EXPECT_EQ(zero.readsOf([&] { waitMs(zero.session, -5); }), 2u);
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
    HintedTicks fine;  // microsecond waits only spin
    Session s(fine);
    waitUs(s, 100);
    EXPECT_EQ(fine.sleptUntil, 0u);
}

TEST(SerialLines, EachOperationAndDataInFollowTheLineSense) {
    struct Row {
        void (*op)(Session&);
        LineCode sensed;
        LineCode unsensed;
    };
    const Row rows[] = {
        {serialClockHigh, LineCode::clrRts, LineCode::setRts},
        {serialClockLow, LineCode::setRts, LineCode::clrRts},
        {serialDataHigh, LineCode::clrDtr, LineCode::setDtr},
        {serialDataLow, LineCode::setDtr, LineCode::clrDtr},
        {serialVppOn, LineCode::clrBreak, LineCode::setBreak},
        {serialVppOff, LineCode::setBreak, LineCode::clrBreak},
    };
    for (int sense : {0, 1}) {
        LinkBench b;
        b.useSerial(sense);
        for (const Row& r : rows)
            r.op(b.session);
        ASSERT_EQ(b.serialPort.codes.size(), 6u);
        for (std::size_t i = 0; i < 6; ++i) {
            EXPECT_EQ(b.serialPort.codes[i], sense == 1 ? rows[i].sensed : rows[i].unsensed)
                << "operation " << i << " sense " << sense;
        }
    }

    LinkBench b;  // the chip's data bit is CTS, inverted by line sense 1
    b.useSerial(1);
    b.serialPort.statuses = {0x10, 0x00, 0xEF};
    EXPECT_EQ(serialDataIn(b.session), 0);  // CTS on
    EXPECT_EQ(serialDataIn(b.session), 1);  // CTS off
    EXPECT_EQ(serialDataIn(b.session), 1);  // only CTS counts
    b.session.link.lineSense = 0;
    b.serialPort.statuses = {0x00, 0x50};
    EXPECT_EQ(serialDataIn(b.session), 0);
    EXPECT_EQ(serialDataIn(b.session), 1);
    b.serialPort.statusWorks = false;  // the last status stays in force
    EXPECT_EQ(readModemStatus(b.session), 0x50u);
    EXPECT_EQ(serialDataIn(b.session), 1);

    LinkBench same;  // a line already at its level is not set again; clock and data go together
    same.useSerial(1);
    serialClockHigh(same.session);
    serialClockHigh(same.session);
    serialClockData(same.session, true, false);
    serialClockData(same.session, false, false);
    serialDataLow(same.session);
    serialClockData(same.session, true, true);
    EXPECT_EQ(same.serialPort.codes,
              (std::vector<LineCode>{LineCode::clrRts, LineCode::setDtr, LineCode::setRts,
                                     LineCode::clrRts, LineCode::clrDtr}));

    LinkBench closed;  // a port that is not open: nothing happens, CTS reads off
    closed.session.link.lineSense = 1;
    serialClockHigh(closed.session);
    EXPECT_EQ(serialDataIn(closed.session), 1);
    EXPECT_TRUE(closed.window.boxes.empty());
}

TEST(ParallelLines, InvertedBuffersComplementBothWaysAfterRouting) {
    LinkBench b;
    b.useParallel('3', '3');
    b.session.link.parallelBase = 0x3BC;
    parallelWrite(b.session, 0x08);
    EXPECT_EQ(b.parallel.writes.back(), 0xF7);
    EXPECT_EQ(b.parallel.lastBase, 0x3BC);
    b.parallel.reads = {0x4000};
    EXPECT_EQ(parallelRead(b.session), 0xBFFF);
    EXPECT_EQ(b.session.port.lastParallelWord, 0xBFFF);
    p16Put(b.session, 0x02);
    EXPECT_EQ(b.session.port.p16Image, 0x02);
    EXPECT_EQ(b.parallel.writes.back(), static_cast<std::uint8_t>(~0x12));

    b.useParallel('2');
    parallelWrite(b.session, 0x08);
    EXPECT_EQ(b.parallel.writes.back(), 0x08);
    EXPECT_EQ(parallelRead(b.session), 0x4000);
}

TEST(ParallelLines, VppRoutingOnD3AndD4) {
    const std::tuple<char, int, int> rows[] = {
        {'3', 0x00, 0x10}, {'3', 0x02, 0x12}, {'3', 0x0B, 0x1B}, {'3', 0x0C, 0x1C},
        {'4', 0x00, 0x08}, {'4', 0x02, 0x0A}, {'4', 0x03, 0x0B}, {'4', 0x0B, 0x1B},
        {'4', 0x0C, 0x1C}, {'x', 0x0B, 0x1B},  // anything but D3 routes as D4
    };
    for (auto [line, image, routed] : rows) {
        EXPECT_EQ(p16Route(line, static_cast<std::uint8_t>(image)), routed) << line << " " << image;
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
