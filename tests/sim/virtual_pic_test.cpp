#include <gtest/gtest.h>

#include "icsp_host.h"

namespace ferrolux::sim {
namespace {

using test::Bench;

TEST(VirtualPicDecoder, LatchesLsbFirstOnFallingEdges) {
    Bench b({BoardKind::an589});
    b.chip.enableFrameLog(true);
    b.host.enter();
    // Each bit is on the line only around its falling edge.
    auto send = [&](int value, int count) {
        for (int i = 0; i < count; ++i) {
            bool bit = ((value >> i) & 1) != 0;
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
    EXPECT_LT(f[0].startNs, f[0].endNs);
    EXPECT_LT(f[0].endNs, f[1].startNs);
    EXPECT_EQ(f[5].kind, VirtualPic::Frame::read);
    EXPECT_EQ(f[5].value, 0x2A5B);
}

TEST(VirtualPicAddress, ProgramSpaceWrapsAndConfigSpaceStays) {
    Bench b({BoardKind::p16pro});
    b.host.enter();
    b.host.increment(0x2000);
    EXPECT_EQ(b.chip.pc(), 0u);
    b.host.load(0, 0);
    b.host.increment(0x1FFF);
    EXPECT_EQ(b.chip.pc(), 0x3FFFu);
    b.host.increment();
    EXPECT_EQ(b.chip.pc(), 0x2000u);
}

TEST(VirtualPicMemory, ConfigSpaceRules) {
    Bench b({BoardKind::serial});
    b.host.enter();
    b.host.load(0, 0);
    b.host.increment(6);
    b.host.write(2, 0, 25 * test::kMs);  // the device ID is read-only
    EXPECT_EQ(b.host.read(4), 0x0560);
    b.host.increment(2);
    b.host.write(2, 0, 25 * test::kMs);  // 0x2008: nothing there
    EXPECT_EQ(b.host.read(4), 0x3FFF);
    for (std::uint32_t a = 0x2000; a < 0x2008; ++a) {
        EXPECT_EQ(b.chip.configWord(a), a == 0x2006 ? 0x0560 : 0x3FFF) << a;
    }
}

TEST(VirtualPicMemory, ChipWithoutDataMemoryOrDeviceId) {
    ChipProfile p = pic16f628a();
    p.dataBytes = 0;
    p.hasDeviceId = false;
    Bench b({BoardKind::serial}, false, p);
    b.host.enter();
    b.host.write(3, 0x12, 25 * test::kMs);
    EXPECT_EQ(b.host.read(5), 0);
    EXPECT_EQ(b.chip.configWord(0x2006), 0x3FFF);
}

}  // namespace
}  // namespace ferrolux::sim
