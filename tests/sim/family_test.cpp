// Each programming-algorithm family driven through the pins as a host would.
#include <gtest/gtest.h>

#include "icsp_host.h"

namespace ferrolux::sim {
namespace {

using test::Bench;
using test::kMs;

// Families 1-3: Load Configuration, step to 0x2007, then 1, 7, 8, wait, 1, 7.
void eraseSequenceAtConfigWord(Bench& b) {
    b.host.load(0, 0x3FFF);
    b.host.increment(7);
    b.host.command(1);
    b.host.command(7);
    b.host.cycle(8, 20 * kMs);
    b.host.command(1);
    b.host.command(7);
}

void fillProtectedChip(Bench& b) {
    b.chip.setProgramWord(0, 0x0123);
    b.chip.setDataByte(0, 0x45);
    b.chip.setConfigWord(0x2000, 0x0ABC);
    b.chip.protect(true, true);
}

// How each family programs one word: begin command, end command (none when
// self-timed) and the least wait between them.
struct WordWrite {
    const char* chip;
    int begin;
    int end;
    std::uint64_t waitNs;
};

TEST(EveryFamily, WordTakesWithItsWaitAndIsLostWithoutIt) {
    const WordWrite writes[] = {
        {"16F84A", 8, -1, 15 * kMs}, {"16F877", 8, -1, 15 * kMs},  {"16F73", 8, 14, kMs},
        {"12F629", 8, -1, 15 * kMs}, {"16F628A", 8, -1, 15 * kMs}, {"16F877A", 8, -1, 15 * kMs},
        {"16F88", 24, 23, 2 * kMs},  {"16F88", 8, -1, 15 * kMs},   {"12F508", 8, 14, 2 * kMs}};
    for (const WordWrite& w : writes) {
        for (bool enough : {true, false}) {
            Bench b(w.chip);
            b.host.enter();
            if (b.chip.profile().twelveBit()) b.host.increment();
            b.host.load(2, 0x0123);
            b.host.cycle(w.begin, enough ? w.waitNs : w.waitNs * 9 / 10);
            b.host.command(w.end >= 0 ? w.end : 6);
            EXPECT_EQ(b.chip.programWord(0), enough ? 0x0123 : b.chip.profile().wordMask())
                << w.chip << " " << w.begin << (enough ? " full wait" : " short wait");
            EXPECT_EQ(b.chip.lostWrites(), enough ? 0u : 1u) << w.chip;
        }
    }
}

// --- Families 1 and 2: everything self-timed, 9/11 only arm an erase.

TEST(Family1, WordWriteTakesOnlyWithItsFullWait) {
    Bench b("16F84A");
    b.host.enter();
    b.host.write(2, 0x1111, 10 * kMs);
    b.host.increment();
    b.host.write(2, 0x2222, 15 * kMs);
    b.host.increment();
    b.host.write(3, 0x33, 15 * kMs);
    EXPECT_EQ(b.chip.programWord(0), 0x3FFF);
    EXPECT_EQ(b.chip.programWord(1), 0x2222);
    EXPECT_EQ(b.chip.dataByte(2), 0x33);
    EXPECT_EQ(b.chip.lostWrites(), 1u);
}

TEST(Family1, EraseSequenceAtTheConfigWordRemovesProtection) {
    Bench b("16F84A");
    fillProtectedChip(b);
    b.host.enter();
    eraseSequenceAtConfigWord(b);
    EXPECT_EQ(b.host.read(4), 0x3FFF);
    EXPECT_FALSE(b.chip.codeProtected());
    EXPECT_EQ(b.chip.programWord(0), 0x3FFF);
    EXPECT_EQ(b.chip.dataByte(0), 0xFF);
    EXPECT_EQ(b.chip.configWord(0x2000), 0x3FFF);
    // The closing 1, 7 leaves the chip writing words again, not erasing.
    b.host.enter();
    b.host.write(2, 0x0042, 15 * kMs);
    b.host.increment();
    b.host.write(2, 0x0043, 15 * kMs);
    EXPECT_EQ(b.chip.programWord(0), 0x0042);
    EXPECT_EQ(b.chip.programWord(1), 0x0043);
}

TEST(Family1, BulkEraseWaitsForBeginProgramming) {
    Bench b("16F84A");
    b.chip.setProgramWord(5, 0x0005);
    b.host.enter();
    b.host.load(2, 0x3FFF);
    b.host.cycle(9, 20 * kMs);
    EXPECT_EQ(b.chip.programWord(5), 0x0005);  // only armed
    b.host.cycle(8, 20 * kMs);
    EXPECT_EQ(b.chip.programWord(5), 0x3FFF);

    b.chip.setProgramWord(5, 0x0005);
    b.chip.protect(true);
    b.host.cycle(9, 0);
    b.host.cycle(8, 20 * kMs);
    EXPECT_EQ(b.chip.programWord(5), 0x0005);  // armed erase of protected memory: nothing
}

TEST(Family2, EraseSequenceAfterADataLoadErasesOnlyUnprotectedData) {
    Bench b("16F877");
    b.chip.setProgramWord(0, 0x0123);
    b.chip.setDataByte(3, 0x45);
    b.host.enter();
    b.host.load(3, 0xFF);
    b.host.command(1);
    b.host.command(7);
    b.host.cycle(8, 20 * kMs);
    b.host.command(1);
    b.host.command(7);
    EXPECT_EQ(b.chip.dataByte(3), 0xFF);
    EXPECT_EQ(b.chip.programWord(0), 0x0123);

    b.chip.setDataByte(3, 0x45);
    b.chip.protect(false, true);
    b.host.enter();
    b.host.load(3, 0xFF);
    b.host.command(1);
    b.host.command(7);
    b.host.cycle(8, 20 * kMs);
    EXPECT_EQ(b.chip.dataByte(3), 0x45);
    b.host.enter();
    eraseSequenceAtConfigWord(b);
    EXPECT_EQ(b.chip.dataByte(3), 0xFF);
    EXPECT_EQ(b.chip.configWord(0x2007), 0x3BFF);
}

TEST(Family2, EraseNeedsItsFullTime) {
    Bench b("16F877");
    fillProtectedChip(b);
    b.host.enter();
    b.host.load(0, 0x3FFF);
    b.host.increment(7);
    b.host.command(1);
    b.host.command(7);
    b.host.cycle(8, 15 * kMs);  // a word write's wait is too short for an erase
    b.host.command(1);
    EXPECT_TRUE(b.chip.codeProtected());
    EXPECT_EQ(b.chip.lostWrites(), 1u);
}

// --- Family 3: programming ended by the host.

TEST(Family3, ProgrammingEndsWithEndProgrammingAfterItsTime) {
    Bench b("16F73");
    b.host.enter();
    b.host.load(2, 0x0001);
    b.host.command(8);
    b.host.read(4);  // clocks in between do not disturb it
    b.host.pause(kMs);
    b.host.command(14);
    b.host.increment();
    b.host.load(2, 0x0002);
    b.host.cycle(8, kMs / 2);
    b.host.command(14);  // too early
    b.host.increment();
    b.host.write(2, 0x0003, 5 * kMs);
    b.host.exit();  // never ended
    EXPECT_EQ(b.chip.programWord(0), 0x0001);
    EXPECT_EQ(b.chip.programWord(1), 0x3FFF);
    EXPECT_EQ(b.chip.programWord(2), 0x3FFF);
    EXPECT_EQ(b.chip.lostWrites(), 2u);
}

TEST(Family3, ErasesOnlyByTheSequence) {
    Bench b("16F74");
    fillProtectedChip(b);
    b.host.enter();
    b.host.cycle(9, 20 * kMs);  // not a family 3 command
    b.host.cycle(8, 20 * kMs);
    b.host.command(14);
    EXPECT_TRUE(b.chip.codeProtected());
    eraseSequenceAtConfigWord(b);
    EXPECT_FALSE(b.chip.codeProtected());
    EXPECT_EQ(b.chip.programWord(0), 0x3FFF);
}

// --- Family 4: self-timed erases that take the factory words with them.

TEST(Family4, BulkEraseFromProgramSpaceWipesTheCalibrationWord) {
    Bench b("12F675");
    b.chip.setProgramWord(0, 0x0123);
    b.host.enter();
    b.host.cycle(9, 10 * kMs);
    EXPECT_EQ(b.chip.programWord(0), 0x3FFF);
    EXPECT_EQ(b.chip.programWord(0x3FF), 0x3FFF);
    EXPECT_EQ(b.chip.configWord(0x2007), 0x21FF);  // bandgap kept
}

TEST(Family4, BulkEraseFromConfigSpaceWipesBandgapAndProtection) {
    Bench b("12F629");
    fillProtectedChip(b);
    b.host.enter();
    b.host.cycle(9, 10 * kMs);  // protected: refused from program space
    EXPECT_EQ(b.chip.programWord(0), 0x0123);
    b.host.cycle(11, 10 * kMs);  // /CPD: refused from program space
    EXPECT_EQ(b.chip.dataByte(0), 0x45);
    b.host.load(0, 0x3FFF);
    b.host.cycle(9, 10 * kMs);
    b.host.cycle(11, 10 * kMs);
    EXPECT_EQ(b.chip.programWord(0), 0x3FFF);
    EXPECT_EQ(b.chip.programWord(0x3FF), 0x3FFF);
    EXPECT_EQ(b.chip.configWord(0x2000), 0x3FFF);
    EXPECT_EQ(b.chip.dataByte(0), 0xFF);
    b.host.increment(7);
    EXPECT_EQ(b.host.read(4), 0x31FF);  // bandgap bits now 11
}

// --- Family 5.

TEST(Family5, BulkEraseFromConfigSpaceTakesEverything) {
    Bench b("16F628A");
    fillProtectedChip(b);
    b.host.enter();
    b.host.cycle(9, 10 * kMs);
    b.host.cycle(11, 10 * kMs);
    EXPECT_EQ(b.chip.programWord(0), 0x0123);
    EXPECT_EQ(b.chip.dataByte(0), 0x45);
    b.host.load(0, 0x3FFF);
    b.host.cycle(9, 10 * kMs);
    EXPECT_FALSE(b.chip.codeProtected());
    EXPECT_EQ(b.chip.programWord(0), 0x3FFF);
    EXPECT_EQ(b.chip.dataByte(0), 0xFF);
    EXPECT_EQ(b.chip.configWord(0x2000), 0x3FFF);
}

// --- Families 6 and 7: rows of write latches.

TEST(Family6, RowReachesMemoryOnlyAtTheCommit) {
    Bench b("16F877A");
    b.host.enter();
    for (int i = 0; i < 8; ++i) {
        b.host.load(2, 0x100 + i);
        EXPECT_EQ(b.chip.programWord(static_cast<std::size_t>(i)), 0x3FFF);
        if (i < 7) b.host.increment();
    }
    b.host.cycle(8, 15 * kMs);
    for (int i = 0; i < 8; ++i)
        EXPECT_EQ(b.chip.programWord(static_cast<std::size_t>(i)), 0x100 + i);
}

TEST(Family6, IncompleteRowLeavesUnloadedWordsErased) {
    Bench b("16F876A");
    for (std::size_t i = 8; i < 16; ++i)
        b.chip.setProgramWord(i, 0);
    b.host.enter();
    b.host.increment(9);
    b.host.load(2, 0x0009);
    b.host.increment(2);
    b.host.load(2, 0x000B);
    b.host.cycle(8, 15 * kMs);
    EXPECT_EQ(b.chip.programWord(8), 0x3FFF);
    EXPECT_EQ(b.chip.programWord(9), 0x0009);
    EXPECT_EQ(b.chip.programWord(11), 0x000B);
    EXPECT_EQ(b.chip.programWord(15), 0x3FFF);
    // The latches start over: a second commit writes nothing loaded.
    b.host.cycle(8, 15 * kMs);
    EXPECT_EQ(b.chip.programWord(9), 0x3FFF);
}

TEST(Family6, LatchesFollowTheCounterIntoTheNextRow) {
    Bench b("16F873A");
    b.host.enter();
    b.host.load(2, 0x0777);  // latch 0
    b.host.increment(8);     // row 8..15, latch 0 again
    b.host.cycle(8, 15 * kMs);
    EXPECT_EQ(b.chip.programWord(0), 0x3FFF);
    EXPECT_EQ(b.chip.programWord(8), 0x0777);
}

TEST(Family6, IdsAsARowConfigAndDataAsWords) {
    Bench b("16F874A");
    b.host.enter();
    b.host.load(0, 0x0001);
    b.host.increment();
    b.host.load(2, 0x0002);
    b.host.cycle(8, 15 * kMs);
    b.host.increment(6);
    b.host.write(2, 0x3F7F, 15 * kMs);
    b.host.enter();
    b.host.write(3, 0x99, 15 * kMs);
    EXPECT_EQ(b.chip.configWord(0x2000), 0x0001);
    EXPECT_EQ(b.chip.configWord(0x2001), 0x0002);
    EXPECT_EQ(b.chip.configWord(0x2002), 0x3FFF);
    EXPECT_EQ(b.chip.configWord(0x2007), 0x3F7F);
    EXPECT_EQ(b.chip.dataByte(0), 0x99);
}

TEST(Family6, BulkEraseRefusesProtectedMemoryButChipEraseClearsIt) {
    Bench b("16F877A");
    fillProtectedChip(b);
    b.host.enter();
    b.host.cycle(9, 10 * kMs);
    b.host.cycle(11, 10 * kMs);
    EXPECT_EQ(b.chip.programWord(0), 0x0123);
    EXPECT_EQ(b.chip.dataByte(0), 0x45);
    b.host.cycle(31, 20 * kMs);
    EXPECT_FALSE(b.chip.codeProtected());
    EXPECT_FALSE(b.chip.dataProtected());
    EXPECT_EQ(b.chip.programWord(0), 0x3FFF);
    EXPECT_EQ(b.chip.dataByte(0), 0xFF);
    EXPECT_EQ(b.chip.configWord(0x2000), 0x3FFF);
}

TEST(Family7, ProgrammingOnlyIsEndedByTheHostAndOnlyClearsBits) {
    Bench b("16F88");
    b.chip.setProgramWord(0, 0x0F0F);
    b.host.enter();
    b.host.load(2, 0x00FF);
    b.host.command(24);
    b.host.read(4);  // clocks in between are fine
    b.host.pause(2 * kMs);
    b.host.command(23);
    EXPECT_EQ(b.chip.programWord(0), 0x000F);

    b.host.increment(4);
    b.host.load(2, 0x0001);
    b.host.cycle(24, kMs);
    b.host.command(23);  // too early
    b.host.increment(4);
    b.host.load(2, 0x0002);
    b.host.cycle(24, 2 * kMs);
    b.host.command(14);  // not a family 7 command: the cycle goes on
    b.host.exit();       // leaving after its time ends it too
    EXPECT_EQ(b.chip.programWord(4), 0x3FFF);
    EXPECT_EQ(b.chip.programWord(8), 0x0002);
    EXPECT_EQ(b.chip.lostWrites(), 1u);
}

TEST(Family7, EraseAndProgramCoversARowOfFour) {
    Bench b("16F818");
    for (std::size_t i = 0; i < 12; ++i)
        b.chip.setProgramWord(i, 0);
    b.host.enter();
    b.host.increment(5);
    b.host.load(2, 0x1234);
    b.host.cycle(8, 15 * kMs);
    EXPECT_EQ(b.chip.programWord(3), 0);
    EXPECT_EQ(b.chip.programWord(4), 0x3FFF);
    EXPECT_EQ(b.chip.programWord(5), 0x1234);
    EXPECT_EQ(b.chip.programWord(7), 0x3FFF);
    EXPECT_EQ(b.chip.programWord(8), 0);
}

TEST(Family7, ChipEraseClearsWhatBulkEraseRefuses) {
    Bench b("16F819");
    fillProtectedChip(b);
    b.host.enter();
    b.host.cycle(9, 10 * kMs);
    EXPECT_EQ(b.chip.programWord(0), 0x0123);
    b.host.cycle(31, 19 * kMs);
    b.host.increment();  // too soon
    EXPECT_TRUE(b.chip.codeProtected());
    b.host.cycle(31, 20 * kMs);
    EXPECT_FALSE(b.chip.codeProtected());
    EXPECT_EQ(b.chip.programWord(0), 0x3FFF);
}

// --- Family 8: the 12-bit core.

TEST(Family8, CounterStartsOnTheConfigWordAndWrapsToZero) {
    Bench b("12F508");
    b.chip.setConfigWord(0xFFF, 0x0FEA);
    b.chip.setProgramWord(0, 0x0ABC);
    b.host.enter();
    EXPECT_EQ(b.chip.pc(), 0xFFFu);
    EXPECT_EQ(b.host.read(4), 0x0FEA);
    b.host.increment();
    EXPECT_EQ(b.chip.pc(), 0u);
    EXPECT_EQ(b.host.read(4), 0x0ABC);
    b.host.load(2, 0x3123);  // twelve bits only
    b.host.cycle(8, 2 * kMs);
    b.host.command(14);
    EXPECT_EQ(b.chip.programWord(0), 0x0020);  // flash programming clears bits only
}

TEST(Family8, UnknownCommandLeavesItsFrameToBeReadAsCommands) {
    // Load Configuration does not exist here: its 16 clocks decode as two
    // Increment Address commands (frame bits 0..5 and 6..11).
    Bench b("12F509");
    b.chip.enableFrameLog(true);
    b.host.enter();
    b.host.load(0, 0x00C3);
    EXPECT_EQ(b.chip.pc(), 1u);
    ASSERT_EQ(b.chip.frames().size(), 3u);
    EXPECT_EQ(b.chip.frames()[1].value, 6);
    EXPECT_EQ(b.chip.frames()[2].value, 6);

    Bench c("16F84A");  // on a 14-bit chip the same bits are one command and its frame
    c.host.enter();
    c.host.load(0, 0x00C3);
    EXPECT_EQ(c.chip.pc(), 0x2000u);
}

TEST(Family8, EpromCellsOnlyClearAndNeedTheirPulses) {
    Bench b("12C508A");
    b.chip.setPulsesNeeded(3);
    b.chip.setPulsesNeeded(1, 1);
    b.host.enter();
    b.host.increment();
    b.host.load(2, 0x0F0F);
    for (int pulse = 1; pulse <= 3; ++pulse) {
        b.host.cycle(8, 100'000);
        b.host.command(14);
        EXPECT_EQ(b.chip.programWord(0), pulse < 3 ? 0x0FFF : 0x0F0F) << pulse;
    }
    b.host.load(2, 0x00F0);
    for (int pulse = 0; pulse < 3; ++pulse) {
        b.host.command(8);
        b.host.command(14);
    }
    EXPECT_EQ(b.chip.programWord(0), 0x0000);  // no way back to 1
    b.host.increment();
    b.host.load(2, 0x0123);
    b.host.command(8);
    b.host.command(14);
    EXPECT_EQ(b.chip.programWord(1), 0x0123);  // this address needs one pulse
    b.host.cycle(9, 10 * kMs);                 // no electrical erase
    EXPECT_EQ(b.chip.programWord(1), 0x0123);
}

TEST(Family8, FlashProgrammingNeedsTwoMilliseconds) {
    Bench b("10F202");
    b.host.enter();
    b.host.increment();
    b.host.load(2, 0x0555);
    b.host.cycle(8, kMs);
    b.host.command(14);
    EXPECT_EQ(b.chip.programWord(0), 0x0FFF);
    b.host.cycle(8, 2 * kMs);
    b.host.command(14);
    EXPECT_EQ(b.chip.programWord(0), 0x0555);
}

TEST(Family8, BulkEraseScopeFollowsTheCounter) {
    Bench b("10F206");
    b.chip.setProgramWord(0, 0);
    b.chip.setConfigWord(0x200, 0x0012);
    b.host.enter();
    b.host.increment();
    b.host.cycle(9, 10 * kMs);  // from code: code and its calibration word only
    EXPECT_EQ(b.chip.programWord(0), 0x0FFF);
    EXPECT_EQ(b.chip.programWord(0x1FF), 0x0FFF);
    EXPECT_EQ(b.chip.configWord(0x204), 0x0C70);
    EXPECT_EQ(b.chip.configWord(0x200), 0x0012);

    b.chip.protect(true);
    b.host.enter();
    b.host.cycle(9, 10 * kMs);  // from the config word: everything
    EXPECT_FALSE(b.chip.codeProtected());
    EXPECT_EQ(b.chip.configWord(0x204), 0x0FFF);
    EXPECT_EQ(b.chip.configWord(0x200), 0x0FFF);
}

}  // namespace
}  // namespace ferrolux::sim
