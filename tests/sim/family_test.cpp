// What sets each programming-algorithm family apart, driven through the pins.
#include <gtest/gtest.h>

#include <sstream>
#include <string_view>

#include "icsp_host.h"

namespace ferrolux::sim {
namespace {

using test::Bench;
using test::Host;
using test::kMs;

// How each family programs 0x0123 over 0x0F0F: begin command, end command
// (-1 when self-timed), the least wait between them and what the word becomes.
struct WordWrite {
    const char* chip;
    int begin;
    int end;
    std::uint64_t waitNs;
    int result;
};

TEST(EveryFamily, WordTakesWithItsWaitAndIsLostWithoutIt) {
    const WordWrite writes[] = {
        {"16F84A", 8, -1, 15 * kMs, 0x0123},
        {"16F877", 8, -1, 15 * kMs, 0x0123},
        {"16F73", 8, 14, kMs, 0x0123},
        {"12F629", 8, -1, 15 * kMs, 0x0123},
        {"16F628A", 8, -1, 15 * kMs, 0x0123},
        {"16F877A", 8, -1, 15 * kMs, 0x0123},
        {"16F877A", 24, -1, 15 * kMs, 0x0103},
        {"16F88", 24, 23, 2 * kMs, 0x0103},
        {"16F88", 8, -1, 15 * kMs, 0x0123},
        {"12F508", 8, 14, 2 * kMs, 0x0103},  // programming only clears bits
        {"12C508", 8, 14, 90'000, 0x0103}};  // EPROM: 95 us with the clocks of 14
    for (const WordWrite& w : writes) {
        for (bool enough : {true, false}) {
            SCOPED_TRACE(std::string(w.chip) + " " + std::to_string(w.begin) +
                         (enough ? " full wait" : " short wait"));
            Bench b(w.chip);
            b.chip.setProgramWord(0, 0x0F0F);
            b.host.enter();
            if (b.chip.profile().twelveBit()) b.host.increment();
            b.host.load(2, 0x0123);
            b.host.cycle(w.begin, enough ? w.waitNs : w.waitNs * 9 / 10);
            b.host.command(w.end >= 0 ? w.end : 6);
            EXPECT_EQ(b.chip.programWord(0), enough ? w.result : 0x0F0F);
            EXPECT_EQ(b.chip.lostWrites(), enough ? 0u : 1u);
        }
    }
}

// Runs host steps: "Ln" loads 0x3FFF with command n, "In" increments n times,
// "E" re-enters, "c" or "c:ms" sends command c and holds still ms ("c:100u":
// microseconds).
void run(Host& h, std::string_view steps) {
    std::istringstream in{std::string(steps)};
    for (std::string s; in >> s;) {
        const auto colon = s.find(':');
        if (s[0] == 'L') {
            h.load(std::stoi(s.substr(1)), 0x3FFF);
        } else if (s[0] == 'I') {
            h.increment(std::stoi(s.substr(1)));
        } else if (s[0] == 'E') {
            h.enter();
        } else {
            const std::uint64_t unit = s.back() == 'u' ? kMs / 1000 : kMs;
            h.cycle(std::stoi(s),
                    colon == std::string::npos ? 0 : std::stoi(s.substr(colon + 1)) * unit);
        }
    }
}

// Families 1 and 2: at the configuration word 1, 7, 8, wait, 1, 7.
constexpr std::string_view kSequence = "L0 I7 1 7 8:20 1 7";
// A program cycle on the configuration word cannot set protection bits again.
constexpr std::string_view kRewriteConfig = "E L0 I7 L2 8:15";

// A protected chip: steps each family refuses, then the steps that clear it.
struct Erase {
    const char* chip;
    std::string refused, clears;
};

TEST(EveryFamily, ProtectedChipIsClearedOnlyByItsFullErase) {
    const std::string rewrite(kRewriteConfig);
    const std::string f3 = "L0 I7 1 7 8:20 1 7 14 E L0 9:25 E 9:30";  // no 1, 7; 30 ms; code only
    const Erase erases[] = {
        {"16F84A", "L2 9 8:20 " + rewrite, std::string(kSequence)},  // 9 only arms; 8 refuses
        {"16F877", "L3 1 7 8:20 E L0 I7 1 7 8:15 1 7 " + rewrite, std::string(kSequence)},
        {"16F73", f3 + " L0 I7 L2 8:1 14", "L0 9:30"},
        {"12F629", "9:10 11:10 " + rewrite, "L0 9:10 11:10"},  // 4, 5: from config space only
        {"16F628A", "9:10 11:10 " + rewrite, "L0 9:10"},
        {"16F877A", "9:10 11:10 " + rewrite, "31:20"},
        {"16F819", "9:10 31:19 I1 E L0 I7 L2 24:4 14", "31:20"},  // 24 ends only with 23
        {"10F206", "I1 9:10", "9:10"}};  // from code, then from the configuration word
    for (const Erase& e : erases) {
        SCOPED_TRACE(e.chip);
        Bench b(e.chip);
        const ChipProfile& p = b.chip.profile();
        const std::uint32_t idBase = p.twelveBit() ? p.codeWords : 0x2000;
        b.chip.setProgramWord(0, 0x0123);
        b.chip.setDataByte(0, 0x45);
        b.chip.setConfigWord(idBase, 0x0ABC);
        b.chip.protect(true, true);
        b.host.enter();
        run(b.host, e.refused);
        EXPECT_TRUE(b.chip.codeProtected());
        EXPECT_EQ(b.chip.programWord(0), 0x0123);
        EXPECT_EQ(b.chip.dataByte(0), p.dataBytes > 0 ? 0x45 : 0xFF);
        b.host.enter();
        run(b.host, e.clears);
        EXPECT_FALSE(b.chip.codeProtected());
        EXPECT_FALSE(b.chip.dataProtected());
        EXPECT_EQ(b.chip.programWord(0), p.wordMask());
        EXPECT_EQ(b.chip.dataByte(0), 0xFF);
        EXPECT_EQ(b.chip.configWord(idBase), p.wordMask());
    }
}

TEST(Family1, BulkEraseIsArmedAndTheSequenceClosesWithOneSeven) {
    Bench b("16F84A");
    b.chip.setProgramWord(5, 0x0005);
    b.host.enter();
    run(b.host, "L2 9:20");
    EXPECT_EQ(b.chip.programWord(5), 0x0005);  // only armed
    run(b.host, "8:20");
    EXPECT_EQ(b.chip.programWord(5), 0x3FFF);
    // After the closing 1, 7 a new sequence erases again.
    run(b.host, "E " + std::string(kSequence));
    b.chip.setProgramWord(0, 0x0042);
    run(b.host, kSequence);
    EXPECT_EQ(b.chip.programWord(0), 0x3FFF);
}

TEST(Family4, BulkEraseTakesTheCalibrationWordAndFromConfigSpaceTheBandgap) {
    Bench b("12F675");
    b.host.enter();
    run(b.host, "9:10");
    EXPECT_EQ(b.chip.programWord(0x3FF), 0x3FFF);
    EXPECT_EQ(b.chip.configWord(0x2007), 0x21FF);  // bandgap kept
    run(b.host, "L0 9:10 I7");
    EXPECT_EQ(b.host.read(4), 0x31FF);  // bandgap bits now 11
    // Data protection goes only with the data, which 11 from config space wipes.
    b.chip.setDataByte(0, 0x45);
    b.chip.protect(true, true);
    run(b.host, "E L0 9:10");
    EXPECT_FALSE(b.chip.codeProtected());
    EXPECT_TRUE(b.chip.dataProtected());
    run(b.host, "11:10");
    EXPECT_FALSE(b.chip.dataProtected());
    EXPECT_EQ(b.chip.dataByte(0), 0xFF);
}

TEST(Family8, BulkEraseFromCodeKeepsIdsAndTheBackupCalibration) {
    Bench b("10F206");
    b.chip.setConfigWord(0x200, 0x0012);
    b.host.enter();
    run(b.host, "I1 9:10");
    EXPECT_EQ(b.chip.programWord(0x1FF), 0x0FFF);
    EXPECT_EQ(b.chip.configWord(0x204), 0x0C64);
    EXPECT_EQ(b.chip.configWord(0x200), 0x0012);
    run(b.host, "E 9:10");
    EXPECT_EQ(b.chip.configWord(0x204), 0x0FFF);
}

// Rows of write latches: nothing reaches memory before the commit, unloaded
// words of the row are erased, the latches then start over.
TEST(RowLatches, RowIsWrittenOnlyAtTheCommit) {
    for (const char* name : {"16F876A", "16F818"}) {
        SCOPED_TRACE(name);
        Bench b(name);
        const int row = std::min(b.chip.profile().rowWords, 8);
        for (int i = 0; i < 3 * row; ++i)
            b.chip.setProgramWord(static_cast<std::size_t>(i), 0);
        b.host.enter();
        b.host.increment(row + 1);
        b.host.load(2, 0x1234);
        EXPECT_EQ(b.chip.programWord(row + 1), 0);
        b.host.cycle(8, 15 * kMs);
        EXPECT_EQ(b.chip.programWord(row - 1), 0);
        EXPECT_EQ(b.chip.programWord(row), 0x3FFF);
        EXPECT_EQ(b.chip.programWord(row + 1), 0x1234);
        EXPECT_EQ(b.chip.programWord(2 * row - 1), 0x3FFF);
        EXPECT_EQ(b.chip.programWord(2 * row), 0);
        b.host.cycle(8, 15 * kMs);
        EXPECT_EQ(b.chip.programWord(row + 1), 0x3FFF);
        // The latch follows the counter into the next row.
        b.host.load(2, 0x0777);
        b.host.increment(row);
        b.host.cycle(8, 15 * kMs);
        EXPECT_EQ(b.chip.programWord(row + 1), 0x3FFF);
        EXPECT_EQ(b.chip.programWord(2 * row + 1), 0x0777);
    }
}

TEST(Family8, CounterStartsOnTheConfigWordWrapsAndUnknownCommandsDesynchronise) {
    Bench b("12F508");
    b.chip.setConfigWord(0xFFF, 0x0FEA);
    b.chip.setProgramWord(0, 0x0ABC);
    b.chip.enableFrameLog(true);
    b.host.enter();
    EXPECT_EQ(b.host.read(4), 0x0FEA);
    b.host.increment();
    EXPECT_EQ(b.host.read(4), 0x0ABC);
    // No Load Configuration here: its 16 clocks decode as two Increment
    // Address commands (frame bits 0..5 and 6..11).
    b.chip.clearFrameLog();
    b.host.load(0, 0x00C3);
    EXPECT_EQ(b.chip.pc(), 2u);
    EXPECT_EQ(b.chip.frames().size(), 3u);
}

TEST(Family8, EpromCellsOnlyClearAndNeedTheirPulses) {
    Bench b("12C508A");
    b.chip.setPulsesNeeded(3);
    b.chip.setPulsesNeeded(1, 1);
    b.host.enter();
    b.host.increment();
    b.host.load(2, 0x0F0F);
    for (int pulse = 1; pulse <= 3; ++pulse) {
        run(b.host, "8:100u 14");
        EXPECT_EQ(b.chip.programWord(0), pulse < 3 ? 0x0FFF : 0x0F0F) << pulse;
    }
    b.host.load(2, 0x00F0);
    run(b.host, "8:100u 14 8:100u 14 8:100u 14");
    EXPECT_EQ(b.chip.programWord(0), 0x0000);  // no way back to 1
    b.host.increment();
    b.host.load(2, 0x0123);
    run(b.host, "8:100u 14 9:10");  // one pulse at this address; no electrical erase
    EXPECT_EQ(b.chip.programWord(1), 0x0123);
}

}  // namespace
}  // namespace ferrolux::sim
