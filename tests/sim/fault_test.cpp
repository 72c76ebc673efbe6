// Injected faults: cells that never take, boards that go mute, protected chips.
#include <gtest/gtest.h>

#include "icsp_host.h"

namespace ferrolux::sim {
namespace {

using test::Bench;
using test::kMs;

TEST(DeadCells, WritesAndErasesOfTheWordAreDropped) {
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
    EXPECT_EQ(b.chip.programWord(0), 0x0100);
    EXPECT_EQ(b.chip.programWord(2), 0x0102);
    EXPECT_EQ(b.chip.dataByte(1), 0x11);
    EXPECT_EQ(b.chip.dataByte(2), 0xFF);
    EXPECT_EQ(b.chip.lostWrites(), 0u);  // the chip saw nothing wrong
}

TEST(DeadCells, RowWritesSkipOnlyTheDeadWord) {
    Bench b("16F877A");
    b.chip.dropWritesToProgram(3);
    b.host.enter();
    for (int i = 0; i < 8; ++i) {
        b.host.load(2, i);
        if (i < 7) b.host.increment();
    }
    b.host.cycle(8, 15 * kMs);
    EXPECT_EQ(b.chip.programWord(2), 2);
    EXPECT_EQ(b.chip.programWord(3), 0x3FFF);
    EXPECT_EQ(b.chip.programWord(4), 4);
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
        EXPECT_FALSE(b.chip.inProgrammingMode());
        EXPECT_EQ(b.host.read(4), 0x3FFF);  // nobody drives the line
        b.host.enter();
        EXPECT_FALSE(b.chip.inProgrammingMode());
        EXPECT_EQ(b.chip.programWord(0), 0x1234);
        EXPECT_EQ(b.board.lines(), SimBoard::Lines{});
    }
}

TEST(MuteBoard, GoingMuteDuringAWriteLosesIt) {
    Bench b({BoardKind::an589});
    b.host.enter();
    b.host.load(2, 0x0AAA);
    b.host.command(8);
    b.board.muteAt(b.clock.peek() + 5 * kMs);
    b.host.pause(20 * kMs);
    b.host.increment();
    EXPECT_EQ(b.chip.programWord(0), 0x3FFF);
    EXPECT_EQ(b.chip.lostWrites(), 1u);
    EXPECT_EQ(b.chip.dataOut(), std::nullopt);
}

TEST(MuteBoard, EmptySerialBoardLoopsNothingBack) {
    Bench b({BoardKind::serial});
    b.board.muteAt(0);
    auto& host = b.host;
    host.power(true);
    host.data(false);  // would read back through CTS on a live board
    EXPECT_TRUE(host.sample());
    EXPECT_FALSE(b.chip.inProgrammingMode());
}

TEST(ProtectedChip, RefusesWritesUntilErased) {
    Bench b("16F628A");
    b.chip.protect(true, true);
    b.host.enter();
    b.host.write(2, 0x0001, 15 * kMs);
    b.host.write(3, 0x02, 15 * kMs);
    EXPECT_EQ(b.host.read(4), 0);
    EXPECT_EQ(b.chip.programWord(0), 0x3FFF);
    EXPECT_EQ(b.chip.dataByte(0), 0xFF);
    // The configuration word and IDs still take.
    b.host.load(0, 0x0007);
    b.host.cycle(8, 15 * kMs);
    EXPECT_EQ(b.host.read(4), 0x0007);
}

}  // namespace
}  // namespace ferrolux::sim
