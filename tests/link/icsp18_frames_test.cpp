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
constexpr std::uint16_t kAck = 0x4000;  // the chip's data bit in the status word

// A parallel port that notes the clock's time at every byte written.
struct TimedPort : RecordingParallelPort {
    explicit TimedPort(CountingTicks& t) : ticks(t) {}
    bool writeData(std::uint16_t base, std::uint8_t value) override {
        times.push_back(ticks.now);
        return RecordingParallelPort::writeData(base, value);
    }
    CountingTicks& ticks;
    std::vector<std::uint64_t> times;
};

struct Icsp18Frames : ::testing::Test {
    void SetUp() override {
        b.useParallel('1');
        b.session.port.driverLibrary = &port;
        b.session.device.family = 13;
    }
    // The data bit at every falling clock edge, in order.
    std::vector<int> latched() const {
        std::vector<int> bits;
        for (std::size_t i = 1; i < port.writes.size(); ++i)
            if ((port.writes[i - 1] & kClock) && !(port.writes[i] & kClock))
                bits.push_back(port.writes[i] & kData ? 1 : 0);
        return bits;
    }
    // Indexes of the bytes that raise the clock.
    std::vector<std::size_t> risingEdges() const {
        std::vector<std::size_t> at;
        for (std::size_t i = 0; i < port.writes.size(); ++i)
            if ((port.writes[i] & kClock) && (i == 0 || !(port.writes[i - 1] & kClock)))
                at.push_back(i);
        return at;
    }
    LinkBench b;
    TimedPort port{b.ticks};
};

std::vector<int> bitsOf(int value, int count) {
    std::vector<int> bits;
    for (int i = 0; i < count; ++i)
        bits.push_back((value >> i) & 1);
    return bits;
}

TEST_F(Icsp18Frames, CommandThenOperandLsbFirstWithDataFromTheRisingEdge) {
    EXPECT_EQ(icsp18Send(b.session, kTableWritePostIncrement2, 0xA55A), 0);
    std::vector<int> expected = bitsOf(0xD, 4);
    for (int bit : bitsOf(0xA55A, 16))
        expected.push_back(bit);
    EXPECT_EQ(latched(), expected);
    // Each bit is on the line as the clock rises and stays until it falls.
    const auto rising = risingEdges();
    ASSERT_EQ(rising.size(), 20u);
    for (std::size_t n = 0; n < rising.size(); ++n)
        EXPECT_EQ(port.writes[rising[n]] & kData, expected[n] ? kData : 0) << n;
    // Vpp stays on; the data line is driven, never released.
    for (std::uint8_t w : port.writes) {
        EXPECT_TRUE(w & 0x08);
        EXPECT_FALSE(w & kRelease);
    }
    port.writes.clear();
    icsp18Core(b.session, 0x0E3C);  // MOVLW 3Ch
    EXPECT_EQ(latched(), [] {
        std::vector<int> e = bitsOf(0, 4);
        for (int bit : bitsOf(0x0E3C, 16))
            e.push_back(bit);
        return e;
    }());
}

TEST_F(Icsp18Frames, TableReadReleasesTheLineAfterEightClocksAndReadsLsbFirst) {
    // The chip answers 0xB4 = 1011 0100, LSb first.
    port.reads.clear();
    for (int bit : bitsOf(0xB4, 8))
        port.reads.push_back(bit ? kAck : 0);
    EXPECT_EQ(icsp18Read(b.session, kTableReadPostIncrement), 0xB4);
    const auto rising = risingEdges();
    ASSERT_EQ(rising.size(), 20u);
    // 4 command bits 1001 and 8 clocks with the line low, driven.
    const std::vector<int> bits = latched();
    EXPECT_EQ(std::vector<int>(bits.begin(), bits.begin() + 12),
              (std::vector<int>{1, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0, 0}));
    for (std::size_t i = 0; i + 1 < rising[12]; ++i)
        EXPECT_FALSE(port.writes[i] & kRelease) << i;
    // Released with the clock low before the 9th operand clock rises, and
    // released for the rest of the frame.
    EXPECT_EQ(port.writes[rising[12] - 1] & (kRelease | kClock), kRelease);
    for (std::size_t i = rising[12]; i < port.writes.size(); ++i)
        EXPECT_TRUE(port.writes[i] & kRelease) << i;
    // A pause (P6) between release and the first output clock.
    EXPECT_GT(port.times[rising[12]], port.times[rising[12] - 1]);
}

TEST_F(Icsp18Frames, ReadsInARowKeepTheirOrderAcrossCollects) {
    const std::vector<int> bytes{0x01, 0x80, 0xFF, 0x00, 0x5A, 0xC3};
    port.reads.clear();
    for (int value : bytes)
        for (int bit : bitsOf(value, 8))
            port.reads.push_back(bit ? kAck : 0);
    std::vector<std::uint8_t> out(bytes.size());
    EXPECT_EQ(icsp18ReadBytes(b.session, kTableReadPostIncrement, out), 0);
    EXPECT_EQ(std::vector<int>(out.begin(), out.end()), bytes);
    EXPECT_EQ(risingEdges().size(), 20u * bytes.size());
}

TEST_F(Icsp18Frames, ProgrammingNopHoldsItsFourthClockHighThenLow) {
    icsp18ProgramNop(b.session, 1200, 200);
    EXPECT_EQ(latched(), bitsOf(0, 20));
    const auto rising = risingEdges();
    ASSERT_EQ(rising.size(), 20u);
    // The 4th clock: high at least P9, then low at least P10 before the 5th.
    const std::size_t fall = rising[3] + 1;
    EXPECT_FALSE(port.writes[fall] & kClock);
    EXPECT_GE(port.times[fall] - port.times[rising[3]], 1'200'000u);
    EXPECT_GE(port.times[rising[4]] - port.times[fall], 200'000u);
    // The 3rd clock is an ordinary one, well short of P9.
    EXPECT_LT(port.times[rising[2] + 1] - port.times[rising[2]], 1'000'000u);
}

TEST_F(Icsp18Frames, EraseNopHoldsClockAndDataLowAfterItsFourthClock) {
    icsp18EraseNop(b.session, 10, 200);
    EXPECT_EQ(latched(), bitsOf(0, 20));
    const auto rising = risingEdges();
    ASSERT_EQ(rising.size(), 20u);
    std::size_t fall = rising[3] + 1;
    EXPECT_EQ(port.writes[fall] & (kClock | kData | kRelease), 0);
    EXPECT_GE(port.times[rising[4]] - port.times[fall], 10'200'000u);
    for (std::size_t i = fall; i < rising[4]; ++i)
        EXPECT_EQ(port.writes[i] & (kData | kRelease), 0) << i;
}

TEST_F(Icsp18Frames, Pic18ChipsGetVddBeforeVppOnAn589) {
    for (int family : {11, 12, 13}) {
        port.writes.clear();
        b.session.device.family = family;
        EXPECT_EQ(icsp18Enter(b.session), 0);
        EXPECT_EQ(port.writes, (std::vector<std::uint8_t>{0x34, 0x24, 0x08})) << family;
        port.writes.clear();
        EXPECT_EQ(icsp18Leave(b.session), 0);
        EXPECT_EQ(port.writes, std::vector<std::uint8_t>{0x24});
    }
}

TEST_F(Icsp18Frames, StopRequestLeavesProgrammingOnceAndSendsNothingMore) {
    volatile std::sig_atomic_t stop = 0;
    b.session.stopRequest = &stop;
    EXPECT_EQ(icsp18Send(b.session, kTableWrite, 0x0080), 0);
    stop = 1;
    port.writes.clear();
    EXPECT_EQ(icsp18Send(b.session, kTableWrite, 0x0080), ICSP_NOT_SENT);
    EXPECT_EQ(port.writes, std::vector<std::uint8_t>{0x24});  // Vpp and VDD off
    EXPECT_TRUE(b.session.stopped);
    EXPECT_EQ(icsp18Read(b.session, kShiftOutTablat), ICSP_NOT_SENT);
    std::vector<std::uint8_t> out(3);
    EXPECT_EQ(icsp18ReadBytes(b.session, kTableRead, out), ICSP_NOT_SENT);
    EXPECT_EQ(icsp18ProgramNop(b.session, 1200, 200), ICSP_NOT_SENT);
    EXPECT_EQ(icsp18EraseNop(b.session, 10, 200), ICSP_NOT_SENT);
    EXPECT_EQ(port.writes.size(), 1u);
}

}  // namespace
}  // namespace ferrolux::test
