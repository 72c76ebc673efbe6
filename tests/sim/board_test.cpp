#include <gtest/gtest.h>

#include "icsp_host.h"

namespace ferrolux::sim {
namespace {

using test::Bench;
using test::Host;

constexpr std::uint64_t kWait = 25 * test::kMs;  // longer than any write or erase

struct Setup {
    const char* name;
    BoardConfig config;
    bool lowVoltage = false;
};

// Test names show the setup by name, not as raw bytes.
void PrintTo(const Setup& s, std::ostream* os) {
    *os << s.name;
}

class EveryBoard : public ::testing::TestWithParam<Setup> {
  protected:
    Bench bench{GetParam().config, GetParam().lowVoltage};
    Host& host = bench.host;
};

TEST_P(EveryBoard, RoundTripsThroughEveryMemory) {
    host.enter();
    host.write(2, 0x2ABC, kWait);
    host.increment(3);
    host.write(3, 0x3F5A, kWait);  // data memory keeps the low byte
    host.increment(2);
    host.write(2, 0x0155, kWait);
    host.enter();
    EXPECT_EQ(host.read(4), 0x2ABC);
    host.increment(5);
    EXPECT_EQ(host.read(4), 0x0155);
    host.increment(64 - 2);  // data memory wraps at its size
    EXPECT_EQ(host.read(5), 0x5A);
    host.load(0, 0x3FFF);
    host.increment(6);
    EXPECT_EQ(host.read(4), 0x0560);
    host.increment();
    host.write(2, 0x3FF2, kWait);
    EXPECT_EQ(host.read(4), 0x3FF2);
    EXPECT_EQ(bench.chip.lostWrites(), 0u);
}

TEST_P(EveryBoard, LineFollowsChipAtRisingEdges) {
    bench.chip.setProgramWord(0, 0x0000);
    host.enter();
    host.command(4);
    host.release();
    host.pulse();
    EXPECT_TRUE(host.sample());  // clock 1: nobody drives, pulled up
    host.clock(true);
    EXPECT_FALSE(host.sample());  // clock 2: the chip drives bit 0
    host.clock(false);
    for (int k = 3; k <= 15; ++k)
        host.pulse();
    EXPECT_FALSE(host.sample());
    host.clock(true);
    EXPECT_TRUE(host.sample());  // clock 16: the chip lets go
    host.clock(false);
    host.command(6);
    EXPECT_EQ(bench.chip.pc(), 1u);
}

INSTANTIATE_TEST_SUITE_P(Boards, EveryBoard,
                         ::testing::Values(Setup{"serial", {BoardKind::serial}},
                                           Setup{"an589", {BoardKind::an589}},
                                           Setup{"an589LowVoltage", {BoardKind::an589}, true},
                                           Setup{"an589Inverted", {BoardKind::an589, true}},
                                           Setup{"p16proD3", {BoardKind::p16pro, false, 3}},
                                           Setup{"p16proD4", {BoardKind::p16pro, false, 4}},
                                           Setup{"p16proD3Inverted", {BoardKind::p16pro, true, 3}},
                                           Setup{"p16proD4Inverted", {BoardKind::p16pro, true, 4}}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(BoardFaults, StuckDataLineReadsAllOnesOrZeros) {
    for (auto kind : {BoardKind::serial, BoardKind::an589, BoardKind::p16pro}) {
        Bench b({kind});
        b.chip.setProgramWord(0, 0x1234);
        b.host.enter();
        b.board.setDataFault(DataFault::stuckHigh);
        EXPECT_EQ(b.host.read(4), 0x3FFF);
        b.board.setDataFault(DataFault::stuckLow);
        EXPECT_EQ(b.host.read(4), 0);
    }
}

TEST(BoardTiming, WriteTakesOnlyIfLeftAloneForItsTime) {
    Bench b({BoardKind::serial});
    b.host.enter();
    b.host.write(2, 0x0001, 0);  // the next edge comes 1 us after the command
    b.host.increment();
    EXPECT_EQ(b.chip.lostWrites(), 1u);
    EXPECT_EQ(b.chip.programWord(0), 0x3FFF);

    b.host.write(2, 0x0002, b.chip.profile().programTimeNs);
    b.host.increment();
    EXPECT_EQ(b.chip.programWord(1), 0x0002);

    b.host.write(2, 0x0003, 0);
    EXPECT_EQ(b.chip.programWord(2), 0x3FFF);
    b.clock.advance(b.chip.profile().programTimeNs);  // done without another edge
    EXPECT_EQ(b.chip.programWord(2), 0x0003);

    b.host.increment();
    b.host.write(2, 0x0004, 1000);
    b.host.exit();  // leaving programming mode aborts it
    EXPECT_EQ(b.chip.lostWrites(), 2u);
    EXPECT_EQ(b.chip.programWord(3), 0x3FFF);
}

TEST(BoardMode, ReentryResetsAddress) {
    Bench b({BoardKind::p16pro});
    b.chip.setProgramWord(0, 0x0100);
    b.chip.setProgramWord(3, 0x0103);
    b.host.enter();
    b.host.increment(3);
    EXPECT_EQ(b.host.read(4), 0x0103);
    b.host.exit();
    EXPECT_FALSE(b.chip.inProgrammingMode());
    b.host.enter();
    EXPECT_EQ(b.host.read(4), 0x0100);
}

TEST(SerialBoard, LinesRingAndExclusiveOpen) {
    SimClock clock;
    SimBoard board(clock, {BoardKind::serial});
    auto port = board.openSerial();
    ASSERT_NE(port, nullptr);
    EXPECT_EQ(board.openSerial(), nullptr);
    std::uint32_t bits = 0;
    ASSERT_TRUE(port->modemStatus(bits));
    EXPECT_EQ(bits, 0u);  // all cleared: clock high, data pulled up, Vpp on
    EXPECT_EQ(board.lines(), (SimBoard::Lines{true, true, true, false}));
    port->escape(platform::LineCode::setBreak);
    port->escape(platform::LineCode::setDtr);
    port->escape(platform::LineCode::setRts);
    port->modemStatus(bits);
    EXPECT_EQ(bits, platform::kModemRing | platform::kModemCts);
    EXPECT_EQ(board.lines(), (SimBoard::Lines{}));
    port->escape(platform::LineCode::clrBreak);
    port->modemStatus(bits);
    EXPECT_EQ(bits, platform::kModemCts);
    port.reset();
    EXPECT_NE(board.openSerial(), nullptr);
}

// Writes the data register and returns the status byte.
int statusAfter(SimBoard& board, std::uint8_t value) {
    std::uint16_t word = 0;
    board.writeData(0x278, value);
    EXPECT_TRUE(board.readWord(0x278, word));
    EXPECT_EQ(word & 0xFF, value);
    return word >> 8;
}

TEST(ParallelBoard, AckLoopBack) {
    SimClock clock;
    SimBoard an589(clock, {BoardKind::an589});
    EXPECT_EQ(statusAfter(an589, 0x00), 0x3F);
    EXPECT_EQ(statusAfter(an589, 0x01), 0x7F);
    EXPECT_EQ(statusAfter(an589, 0x04), 0x7F);  // released, pulled up
    statusAfter(an589, 0x40);
    EXPECT_TRUE(an589.lines().pgm && !an589.lines().vpp);
    EXPECT_EQ(an589.lastBase(), 0x278);

    SimBoard p16pro(clock, {BoardKind::p16pro, false, 3});
    EXPECT_EQ(statusAfter(p16pro, 0x08), 0x3F);
    EXPECT_FALSE(p16pro.lines().vpp);
    EXPECT_EQ(statusAfter(p16pro, 0x13), 0x7F);
    EXPECT_TRUE(p16pro.lines().vpp && p16pro.lines().clock);

    SimBoard inverted(clock, {BoardKind::an589, true});
    EXPECT_EQ(statusAfter(inverted, 0xFE), 0x80);
    EXPECT_EQ(statusAfter(inverted, 0xFF), 0xC0);
    EXPECT_FALSE(inverted.lines().vpp);
}

TEST(EmptyBoard, NothingAnswersAndNoChipIsReached) {
    Bench b({BoardKind::none});
    b.host.enter();
    b.host.command(6);
    EXPECT_FALSE(b.chip.inProgrammingMode());
    EXPECT_EQ(statusAfter(b.board, 0x5A), 0x7F);
    auto port = b.board.openSerial();
    std::uint32_t bits = 1;
    port->escape(platform::LineCode::setBreak);
    port->modemStatus(bits);
    EXPECT_EQ(bits, 0u);
}

TEST(SimClock, IdleUntilMakesTheNextReadHitTheDeadline) {
    SimClock clock(10);
    clock.idleUntil(1'000'000);
    EXPECT_EQ(clock.nowNs(), 1'000'000u);
    clock.idleUntil(1'000'005);  // within one step: no skip
    EXPECT_EQ(clock.nowNs(), 1'000'010u);
    clock.idleUntil(500);
    EXPECT_EQ(clock.nowNs(), 1'000'020u);
    EXPECT_EQ(clock.peek(), 1'000'020u);
    EXPECT_EQ(clock.reads(), 3u);
}

}  // namespace
}  // namespace ferrolux::sim
