// PIC18 frames as the AN589 adapter's port sees them: bit order, the read's
// released data line, the long clocks of the programming and erase NOPs, the
// power order and the stop request.
#include <gtest/gtest.h>

#include <csignal>
#include <vector>

#include "link/icsp.h"
#include "link/icsp18.h"
#include "link_bench.h"

namespace ferrolux::test {
namespace {

constexpr std::uint8_t kClock = 0x02;
constexpr std::uint8_t kData = 0x01;
constexpr std::uint8_t kRelease = 0x04;

// A parallel port that notes the clock's time at every byte written.
struct TimedPort : RecordingParallelPort {
    explicit TimedPort(CountingTicks& t) : ticks(t) {}
    bool writeData(std::uint16_t base, std::uint8_t value) override {
        times.push_back(ticks.now);
        return RecordingParallelPort::writeData(base, value);
    }
    // Indexes of the bytes that raise the clock.
    std::vector<std::size_t> risingEdges() const {
        std::vector<std::size_t> at;
        for (std::size_t i = 0; i < writes.size(); ++i)
            if ((writes[i] & kClock) && (i == 0 || !(writes[i - 1] & kClock))) at.push_back(i);
        return at;
    }
    // Time from byte `from` to byte `to`.
    std::uint64_t span(std::size_t from, std::size_t to) const { return times[to] - times[from]; }
    CountingTicks& ticks;
    std::vector<std::uint64_t> times;
};

struct Icsp18Frames : ::testing::Test {
    void SetUp() override {
        b.useParallel('1');
        b.session.port.driverLibrary = &port;
        b.session.device.family = 13;
    }
    LinkBench b;
    TimedPort port{b.ticks};
};

// The bits of `command`, then `count` bits of `value`, LSb first.
std::vector<int> bitsOf(int command, int value, int count = 16) {
    std::vector<int> bits;
    for (int i = 0; i < 4 + count; ++i)
        bits.push_back(i < 4 ? (command >> i) & 1 : (value >> (i - 4)) & 1);
    return bits;
}

TEST_F(Icsp18Frames, CommandThenOperandLsbFirstWithDataFromTheRisingEdge) {
    EXPECT_EQ(icsp18Send(b.session, kTableWritePostIncrement2, 0xA55A), 0);
    const std::vector<int> expected = bitsOf(0xD, 0xA55A);
    EXPECT_EQ(latchedBits(port.writes), expected);
    // Each bit is on the line as the clock rises and stays until it falls.
    const auto rising = port.risingEdges();
    ASSERT_EQ(rising.size(), 20u);
    for (std::size_t n = 0; n < rising.size(); ++n)
        EXPECT_EQ(port.writes[rising[n]] & kData, expected[n] ? kData : 0) << n;
    // Vpp stays on; the data line is driven, never released.
    for (std::uint8_t w : port.writes)
        EXPECT_EQ(w & (0x08 | kRelease), 0x08);
}

TEST_F(Icsp18Frames, TableReadReleasesTheLineAfterEightClocksAndReadsLsbFirst) {
    port.reads.clear();
    for (int bit = 0; bit < 8; ++bit)  // the chip's 0xB4, LSb first
        port.reads.push_back((0xB4 >> bit) & 1 ? 0x4000 : 0);
    EXPECT_EQ(icsp18Read(b.session, kTableReadPostIncrement), 0xB4);
    const auto rising = port.risingEdges();
    ASSERT_EQ(rising.size(), 20u);
    // The command 1001 and 8 clocks with the line driven low.
    const std::vector<int> bits = latchedBits(port.writes);
    EXPECT_EQ(std::vector<int>(bits.begin(), bits.begin() + 12), bitsOf(0x9, 0, 8));
    const std::size_t release = rising[12] - 1;
    for (std::size_t i = 0; i < port.writes.size(); ++i)
        EXPECT_EQ((port.writes[i] & kRelease) != 0, i >= release) << i;
    // Released with the clock low, a pause (P6) before the 9th clock.
    EXPECT_FALSE(port.writes[release] & kClock);
    EXPECT_GT(port.span(release, rising[12]), 0u);
}

TEST_F(Icsp18Frames, ProgrammingNopHoldsItsFourthClockHighEraseNopHoldsBothLinesLow) {
    icsp18ProgramNop(b.session, 1200, 200);
    EXPECT_EQ(latchedBits(port.writes), bitsOf(0, 0));
    auto rising = port.risingEdges();
    ASSERT_EQ(rising.size(), 20u);
    // The 4th clock high at least P9, then low at least P10; the 3rd is short.
    EXPECT_GE(port.span(rising[3], rising[3] + 1), 1'200'000u);
    EXPECT_GE(port.span(rising[3] + 1, rising[4]), 200'000u);
    EXPECT_LT(port.span(rising[2], rising[2] + 1), 1'000'000u);

    port.writes.clear();
    port.times.clear();
    icsp18EraseNop(b.session, 10, 200);
    EXPECT_EQ(latchedBits(port.writes), bitsOf(0, 0));
    rising = port.risingEdges();
    ASSERT_EQ(rising.size(), 20u);
    // After the 4th clock, clock and data low through P11 + P10.
    EXPECT_GE(port.span(rising[3] + 1, rising[4]), 10'200'000u);
    for (std::size_t i = rising[3] + 1; i < rising[4]; ++i)
        EXPECT_EQ(port.writes[i] & (kClock | kData | kRelease), 0) << i;
}

TEST_F(Icsp18Frames, Pic18ChipsGetVddBeforeVppOnAn589) {
    for (int family : {11, 12, 13}) {
        port.writes.clear();
        b.session.device.family = family;
        EXPECT_EQ(icsp18Enter(b.session), 0);
        EXPECT_EQ(icsp18Leave(b.session), 0);
        EXPECT_EQ(port.writes, (std::vector<std::uint8_t>{0x34, 0x24, 0x08, 0x24})) << family;
    }
}

TEST_F(Icsp18Frames, StopRequestLeavesProgrammingOnceAndSendsNothingMore) {
    volatile std::sig_atomic_t stop = 1;
    b.session.stopRequest = &stop;
    EXPECT_EQ(icsp18Send(b.session, kTableWrite, 0x0080), ICSP_NOT_SENT);
    EXPECT_EQ(port.writes, std::vector<std::uint8_t>{0x24});  // Vpp and VDD off
    std::vector<std::uint8_t> out(3);
    EXPECT_EQ(icsp18Read(b.session, kShiftOutTablat), ICSP_NOT_SENT);
    EXPECT_EQ(icsp18ReadBytes(b.session, kTableRead, out), ICSP_NOT_SENT);
    EXPECT_EQ(icsp18ProgramNop(b.session, 1200, 200), ICSP_NOT_SENT);
    EXPECT_EQ(icsp18EraseNop(b.session, 10, 200), ICSP_NOT_SENT);
    EXPECT_EQ(icsp18Enter(b.session), ICSP_NOT_SENT);
    EXPECT_EQ(port.writes.size(), 1u);
}

}  // namespace
}  // namespace ferrolux::test
