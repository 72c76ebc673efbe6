// The chip's side of the wire: bit timing, the address counter, the clock.
#include <gtest/gtest.h>

#include "icsp_host.h"

namespace ferrolux::sim {
namespace {

using test::Bench;
using test::kMs;

TEST(Wire, BitsAreLatchedLsbFirstOnFallingEdges) {
    Bench b({BoardKind::an589});
    b.chip.enableFrameLog(true);
    b.host.enter();
    // Each bit is on the line only around its falling edge.
    auto send = [&](int value, int count) {
        for (int i = 0; i < count; ++i) {
            const bool bit = ((value >> i) & 1) != 0;
            b.host.data(!bit);
            b.host.clock(true);
            b.host.data(bit);
            b.host.pause();
            b.host.clock(false);
            b.host.pause();
        }
    };
    send(2, 6);
    send(0x2ABC << 1 | 1 << 15, 16);
    send(0x3F, 6);  // unknown: no frame follows
    send(6, 6);
    b.chip.setProgramWord(1, 0x2A5B);
    EXPECT_EQ(b.host.read(4), 0x2A5B);
    const auto& f = b.chip.frames();
    ASSERT_EQ(f.size(), 6u);
    EXPECT_EQ(f[0].kind, VirtualPic::Frame::command);
    EXPECT_EQ(f[0].value, 2);
    EXPECT_EQ(f[1].kind, VirtualPic::Frame::load);
    EXPECT_EQ(f[1].value, 0x2ABC);
    EXPECT_EQ(f[2].value, 0x3F);
    EXPECT_EQ(f[3].value, 6);
    EXPECT_EQ(f[5].kind, VirtualPic::Frame::read);
}

TEST(Wire, ChipDrivesFromTheSecondRisingEdgeAndLetsGoAtTheSixteenth) {
    for (BoardConfig config : {BoardConfig{BoardKind::serial}, BoardConfig{BoardKind::an589, true},
                               BoardConfig{BoardKind::p16pro, false, 4}}) {
        Bench b(config);
        b.chip.setProgramWord(0, 0x0000);
        b.host.enter();
        b.host.command(4);
        b.host.release();
        b.host.pulse();
        EXPECT_TRUE(b.host.sample());  // clock 1: nobody drives, pulled up
        b.host.clock(true);
        EXPECT_FALSE(b.host.sample());  // clock 2: bit 0
        b.host.clock(false);
        for (int k = 3; k <= 15; ++k)
            b.host.pulse();
        EXPECT_FALSE(b.host.sample());
        b.host.clock(true);
        EXPECT_TRUE(b.host.sample());  // clock 16: released
        b.host.clock(false);
        b.host.command(6);
        EXPECT_EQ(b.chip.pc(), 1u);
    }
}

TEST(Wire, SelfTimedWriteTakesOnlyIfLeftAloneForItsTime) {
    Bench b({BoardKind::serial});
    const std::uint64_t time = b.chip.profile().programTimeNs;
    b.host.enter();
    b.host.write(2, 0x0001, 0);  // the next edge comes 1 us later
    b.host.increment();
    EXPECT_EQ(b.chip.programWord(0), 0x3FFF);
    b.host.write(2, 0x0002, 0);
    b.clock.advance(time);  // done without another edge
    EXPECT_EQ(b.chip.programWord(1), 0x0002);
    b.host.increment();
    b.host.write(2, 0x0003, time / 2);
    b.host.power(false);  // leaving programming mode aborts it
    EXPECT_EQ(b.chip.programWord(2), 0x3FFF);
    EXPECT_EQ(b.chip.lostWrites(), 2u);
}

TEST(Wire, AddressCounterAndConfigurationSpace) {
    Bench b({BoardKind::p16pro});
    b.host.enter();
    b.host.increment(0x2000);
    EXPECT_EQ(b.chip.pc(), 0u);  // program space wraps
    b.host.load(0, 0);
    b.host.increment(6);
    b.host.write(2, 0, 25 * kMs);  // the device ID is read-only
    EXPECT_EQ(b.host.read(4), 0x0560);
    b.host.increment(2);
    b.host.write(2, 0, 25 * kMs);  // 0x2008: nothing there
    EXPECT_EQ(b.host.read(4), 0x3FFF);
    b.host.increment(0x3FFF - 0x2008);
    b.host.increment();
    EXPECT_EQ(b.chip.pc(), 0x2000u);  // configuration space never leaves

    ChipProfile p = pic16f628a();
    p.dataBytes = 0;
    Bench noData({BoardKind::serial}, p);
    noData.host.enter();
    noData.host.write(3, 0x12, 25 * kMs);
    EXPECT_EQ(noData.host.read(5), 0);
}

}  // namespace
}  // namespace ferrolux::sim
