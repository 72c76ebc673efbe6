#include <gtest/gtest.h>

#include "link/parallel_lines.h"
#include "link/serial_lines.h"
#include "link_bench.h"

namespace ferrolux::test {
namespace {

using platform::LineCode;

TEST(SerialLines, EachOperationIssuesTheCodeOfItsLineSense) {
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
}

TEST(SerialLines, DataInIsCtsInvertedByLineSense) {
    LinkBench b;
    b.useSerial(1);
    b.serialPort.statuses = {0x10, 0x00, 0xEF};
    EXPECT_EQ(serialDataIn(b.session), 0);  // CTS on
    EXPECT_EQ(serialDataIn(b.session), 1);  // CTS off
    EXPECT_EQ(serialDataIn(b.session), 1);  // only CTS counts
    b.session.link.lineSense = 0;
    b.serialPort.statuses = {0x10, 0x00};
    EXPECT_EQ(serialDataIn(b.session), 1);
    EXPECT_EQ(serialDataIn(b.session), 0);
}

TEST(SerialLines, FailedStatusReadKeepsTheLastStatus) {
    LinkBench b;
    b.useSerial(0);
    b.serialPort.statuses = {0x50};
    EXPECT_EQ(readModemStatus(b.session), 0x50u);
    b.serialPort.statusWorks = false;
    EXPECT_EQ(readModemStatus(b.session), 0x50u);
    EXPECT_EQ(serialDataIn(b.session), 1);
}

TEST(SerialLines, DoNothingOnAClosedPort) {
    LinkBench b;
    b.session.link.serial = true;
    b.session.link.lineSense = 1;
    serialClockHigh(b.session);
    serialVppOff(b.session);
    EXPECT_EQ(serialDataIn(b.session), 1);  // status 0, inverted: CTS reads off
    EXPECT_TRUE(b.window.boxes.empty());
}

TEST(ParallelLines, InvertedBuffersComplementBothWays) {
    LinkBench b;
    b.useParallel('3');
    parallelWrite(b.session, 0x08);
    EXPECT_EQ(b.parallel.writes.back(), 0xF7);
    b.parallel.reads = {0x4000};
    EXPECT_EQ(parallelRead(b.session), 0xBFFF);
    EXPECT_EQ(b.session.port.lastParallelWord, 0xBFFF);

    b.useParallel('2');
    parallelWrite(b.session, 0x08);
    EXPECT_EQ(b.parallel.writes.back(), 0x08);
    EXPECT_EQ(parallelRead(b.session), 0x4000);
}

TEST(ParallelLines, WritesGoToTheSelectedBase) {
    LinkBench b;
    b.useParallel('1');
    b.session.link.parallelBase = 0x3BC;
    parallelWrite(b.session, 0);
    EXPECT_EQ(b.parallel.lastBase, 0x3BC);
}

TEST(ParallelLines, VppRoutingOnD3AndD4) {
    EXPECT_EQ(p16Route('3', 0x00), 0x10);
    EXPECT_EQ(p16Route('3', 0x02), 0x12);
    EXPECT_EQ(p16Route('3', 0x0B), 0x1B);
    EXPECT_EQ(p16Route('3', 0x0C), 0x1C);
    EXPECT_EQ(p16Route('4', 0x00), 0x08);
    EXPECT_EQ(p16Route('4', 0x02), 0x0A);
    EXPECT_EQ(p16Route('4', 0x03), 0x0B);
    EXPECT_EQ(p16Route('4', 0x0B), 0x1B);
    EXPECT_EQ(p16Route('4', 0x0C), 0x1C);
    EXPECT_EQ(p16Route('x', 0x0B), p16Route('4', 0x0B));
}

TEST(ParallelLines, RoutingComesBeforeTheInversion) {
    LinkBench b;
    b.useParallel('3', '3');
    p16Put(b.session, 0x02);
    EXPECT_EQ(b.session.port.p16Image, 0x02);
    EXPECT_EQ(b.parallel.writes.back(), static_cast<std::uint8_t>(~0x12));
}

TEST(ParallelLines, DirectAccessUsesItsOwnPort) {
    LinkBench b;
    RecordingParallelPort direct;
    b.useParallel('1');
    b.session.port.directIo = true;
    b.session.port.directPort = &direct;
    parallelWrite(b.session, 0x55);
    EXPECT_EQ(direct.writes.size(), 1u);
    EXPECT_TRUE(b.parallel.writes.empty());
}

TEST(ParallelLines, DriverFailureIsReportedOnceAndClosesTheWindow) {
    LinkBench b;
    b.useParallel('1');
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
