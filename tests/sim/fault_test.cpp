// Injected faults and protection: cells that never take, boards that go mute.
#include <gtest/gtest.h>

#include "icsp_host.h"

namespace ferrolux::sim {
namespace {

using test::Bench;
using test::kMs;

TEST(DeadCells, WritesToTheDeadCellsAreDroppedSilently) {
    Bench b("16F628A");
    b.chip.dropWritesToProgram(1);
    b.chip.dropWritesToData(2);
    b.host.enter();
    for (int i = 0; i < 3; ++i) {
        b.host.write(2, 0x0100 + i, 15 * kMs);
        b.host.write(3, 0x10 + i, 15 * kMs);
        b.host.increment();
    }
    b.host.enter();
    b.host.increment();
    EXPECT_EQ(b.host.read(4), 0x3FFF);  // as a verify pass would find it
    EXPECT_EQ(b.chip.programWord(2), 0x0102);
    EXPECT_EQ(b.chip.dataByte(1), 0x11);
    EXPECT_EQ(b.chip.dataByte(2), 0xFF);
    EXPECT_EQ(b.chip.lostWrites(), 0u);
}

TEST(MuteBoard, StopsAfterTheGivenLineChanges) {
    for (auto kind : {BoardKind::serial, BoardKind::an589, BoardKind::p16pro}) {
        Bench b({kind});
        b.chip.setProgramWord(0, 0x1234);
        b.host.enter();
        ASSERT_EQ(b.host.read(4), 0x1234);
        b.board.muteAfterChanges(20);  // a few clocks into the next command
        b.host.write(2, 0x0001, 15 * kMs);
        EXPECT_TRUE(b.board.muted());
        EXPECT_EQ(b.host.read(4), 0x3FFF);  // nobody drives the line
        b.host.enter();
        EXPECT_FALSE(b.chip.inProgrammingMode());
        EXPECT_EQ(b.chip.programWord(0), 0x1234);
        EXPECT_EQ(b.board.lines(), SimBoard::Lines{});
    }
}

TEST(MuteBoard, GoingMuteDuringAWriteLosesItAndLoopsNothingBack) {
    Bench b({BoardKind::an589});
    b.host.enter();
    b.host.load(2, 0x0AAA);
    b.host.command(8);
    b.board.muteAt(b.clock.peek() + 5 * kMs);
    b.host.pause(20 * kMs);
    b.host.increment();
    EXPECT_EQ(b.chip.programWord(0), 0x3FFF);
    EXPECT_EQ(b.chip.lostWrites(), 1u);

    Bench serial({BoardKind::serial});
    serial.board.muteAt(0);
    serial.host.power(true);
    serial.host.data(false);  // a live board reads this back through CTS
    EXPECT_TRUE(serial.host.sample());
}

TEST(ProtectedChip, MemoryReadsZeroAndRefusesWritesButIdsStay) {
    for (const ChipProfile& p : knownProfiles()) {
        SCOPED_TRACE(p.name);
        Bench b(p.name);
        b.chip.setProgramWord(1, 0x0123);
        b.chip.setDataByte(1, 0x45);
        const std::uint32_t idBase = p.twelveBit() ? p.codeWords : 0x2000;
        b.chip.setConfigWord(idBase, 0x0ABC);
        b.chip.protect(true, true);
        b.host.enter();
        b.host.increment(p.twelveBit() ? 2 : 1);
        EXPECT_EQ(b.host.read(4), 0);
        if (p.dataBytes > 0) {
            EXPECT_EQ(b.host.read(5), 0);
        }
        if (p.calibrationBackup) {  // readable whatever the protection, as the IDs
            b.host.increment(p.codeWords + 3);
            EXPECT_EQ(b.host.read(4), *p.calibration);
            b.host.enter();
            b.host.increment(2);
        }
        if (p.twelveBit()) {
            b.host.increment(p.codeWords - 1);
        } else {
            b.host.load(0, 0x3FFF);
        }
        EXPECT_EQ(b.host.read(4), 0x0ABC);
    }
    Bench b("16F628A");
    b.chip.protect(true, true);
    b.host.enter();
    b.host.write(2, 0x0001, 15 * kMs);
    b.host.write(3, 0x02, 15 * kMs);
    EXPECT_EQ(b.chip.programWord(0), 0x3FFF);
    EXPECT_EQ(b.chip.dataByte(0), 0xFF);
    b.host.load(0, 0x0007);  // IDs still take
    b.host.cycle(8, 15 * kMs);
    EXPECT_EQ(b.chip.configWord(0x2000), 0x0007);
}

}  // namespace
}  // namespace ferrolux::sim
