// The chip's side of the wire and what sets each programming-algorithm family
// apart, driven through the pins of each board.
#include <gtest/gtest.h>

#include <cctype>
#include <sstream>
#include <string_view>

#include "icsp_host.h"

namespace ferrolux::sim {
namespace {

using test::Bench;
using test::Host;
using test::kMs;

// Runs steps on the bench. The host: "E" re-enters, "In" increments n times,
// "Ln" or "Ln=v" loads 0x3FFF or v with command n, "c" or "c:ms" sends
// command c and holds still ms ("c:100u": microseconds), "Rn=v" reads with
// command n and expects v. The chip: "Pa=v", "Da=v", "Ca=v" set a code word,
// data byte or configuration word, "X" protects code and data, "Nn" makes
// EPROM cells take at the n-th pulse; "pa=v", "da=v", "ca=v", "@=v" and "!=v"
// expect a code word, data byte, configuration word, the address counter or
// the count of lost writes.
// Counts and commands in decimal, addresses and values in hex.
void run(Bench& b, std::string_view steps) {
    std::istringstream in{std::string(steps)};
    for (std::string s; in >> s;) {
        SCOPED_TRACE(s);
        const auto eq = s.find('=');
        const int v = eq == std::string::npos ? 0x3FFF : std::stoi(s.substr(eq + 1), nullptr, 16);
        const auto n = [&s] { return std::stoi(s.substr(1)); };
        const auto a = [&s] {
            return static_cast<std::uint32_t>(std::stoul(s.substr(1), nullptr, 16));
        };
        const char k = s[0];
        if (k == 'E') b.host.enter();
        if (k == 'I') b.host.increment(n());
        if (k == 'L') b.host.load(n(), v);
        if (k == 'P') b.chip.setProgramWord(a(), static_cast<std::uint16_t>(v));
        if (k == 'D') b.chip.setDataByte(a(), static_cast<std::uint8_t>(v));
        if (k == 'C') b.chip.setConfigWord(a(), static_cast<std::uint16_t>(v));
        if (k == 'X') b.chip.protect(true, true);
        if (k == 'N') b.chip.setPulsesNeeded(n());
        const auto colon = s.find(':');
        const std::uint64_t unit = s.back() == 'u' ? kMs / 1000 : kMs;
        const auto wait = colon == std::string::npos ? 0 : std::stoi(s.substr(colon + 1)) * unit;
        if (std::isdigit(k)) b.host.cycle(std::stoi(s), wait);
        int got = -1;
        if (k == 'R') got = b.host.read(n());
        if (k == 'p') got = b.chip.programWord(a());
        if (k == 'd') got = b.chip.dataByte(a());
        if (k == 'c') got = b.chip.configWord(a());
        if (k == '@') got = static_cast<int>(b.chip.pc());
        if (k == '!') got = static_cast<int>(b.chip.lostWrites());
        EXPECT_EQ(got < 0 ? v : got, v);
    }
}

// What each family's chips do with steps the programmer may send, read
// through the pins.
TEST(EveryFamily, StepsThroughThePins) {
    const std::pair<const char*, const char*> rows[] = {
        // Program space wraps; the device ID is read-only, 0x2008 holds
        // nothing; configuration space never leaves.
        {"16F84A", "E I8192 @=0 L0 I6 L2=0 8:25 R4=560 I2 L2=0 8:25 R4=3FFF I8184 @=2000"},
        // A self-timed write takes when left alone for its time, without
        // another edge; leaving programming mode before then loses it.
        {"16F84A", "E L2=2 8:15 p0=2 I1 L2=3 8:7 E p1=3FFF !=1"},
        // A protected chip reads 0 for code and data and refuses their writes;
        // IDs (and a 12-bit chip's backup calibration) stay readable and writable.
        {"16F628A", "X E L2=1 8:15 L3=2 8:15 p0=3FFF d0=FF L0=7 8:15 c2000=7"},
        {"16F877A", "P1=123 D1=45 C2000=ABC X E I1 R4=0 R5=0 L0 R4=ABC"},
        {"10F206", "P1=123 C200=ABC X E I2 R4=0 I511 R4=ABC I4 R4=C64"},
        // Row latches: nothing reaches memory before the commit, unloaded
        // words of the row are erased, then the latches start over and
        // follow the counter into the next row.
        {"16F876A",
         "P7=0 P8=0 P9=0 P10=0 E I9 L2=1234 p9=0 8:15 p7=0 p8=3FFF p9=1234 p10=0 "
         "8:15 p9=3FFF L2=777 I8 8:15 p9=3FFF p11=777"},
        // Begin Erase (8) on the 16F818 ends with End Programming (23).
        {"16F818",
         "P3=0 P4=0 P5=0 P8=0 E I5 L2=1234 p5=0 8:1 23 p3=0 p4=3FFF p5=1234 p8=0 "
         "8:1 23 p5=3FFF L2=777 I4 8:1 23 p5=3FFF p9=777"},
        // Bulk erase takes the calibration word and keeps the bandgap; from
        // configuration space it takes the bandgap too, and protected data
        // with its protection.
        {"12F675",
         "E 9:10 p3FF=3FFF c2007=21FF L0 9:10 I7 R4=31FF D0=45 X E L0 9:10 "
         "E R4=3FFF R5=FF d0=FF"},
        // Bulk erase, DS41228E Table 3-2: from code or from the configuration
        // word it takes code, reset-vector calibration and configuration
        // word, and keeps the IDs and the backup calibration; from the first
        // ID it takes those too (the 512 code words are 513 increments away).
        {"10F206",
         "C200=12 CFFF=FF3 E I1 9:10 p1FF=FFF cFFF=FFF c204=C64 c200=12 CFFF=FF3 E 9:10 "
         "cFFF=FFF c204=C64 c200=12 P0=0 E I512 9:10 p0=FFF c200=12 E I513 9:10 c200=FFF "
         "c204=FFF"},
        // The counter starts on the configuration word; Load Configuration
        // is unknown: its 16 clocks decode as two Increment Address commands.
        {"12F508", "CFFF=FEA P0=ABC E R4=FEA I1 R4=ABC L0=C3 @=2"},
        // EPROM cells take at their third pulse, only clear bits and have no
        // electrical erase.
        {"12C508A",
         "N3 E I1 L2=F0F 8:100u 14 p0=FFF 8:100u 14 p0=FFF 8:100u 14 p0=F0F "
         "L2=0F0 8:100u 14 8:100u 14 8:100u 14 p0=0 "
         "I1 L2=123 8:100u 14 8:100u 14 8:100u 14 9:10 p1=123"},
    };
    for (auto [chip, steps] : rows) {
        SCOPED_TRACE(chip);
        Bench b(chip);
        run(b, steps);
    }
}

// Each bit is on the line only around its falling edge, LSB first; a read
// drives the chip's bits from the second rising edge and lets go at the 16th.
TEST(Wire, BitsAreLatchedOnFallingEdgesAndReadOnClocks2To15) {
    for (BoardConfig config : {BoardConfig{BoardKind::serial}, BoardConfig{BoardKind::an589, true},
                               BoardConfig{BoardKind::p16pro, false, 4}}) {
        Bench b(config);
        b.chip.enableFrameLog(true);
        b.host.enter();
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
        EXPECT_TRUE(f[1].kind == VirtualPic::Frame::load && f[1].value == 0x2ABC);
        EXPECT_TRUE(f[2].value == 0x3F && f[5].kind == VirtualPic::Frame::read);

        b.chip.setProgramWord(1, 0x0000);
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
    }
}

// How each family programs 0x0123 over 0x0F0F: begin command, end command
// (-1 when self-timed), the least wait between them and what the word becomes.
TEST(EveryFamily, WordTakesWithItsWaitAndIsLostWithoutIt) {
    struct WordWrite {
        const char* chip;
        int begin;
        int end;
        std::uint64_t waitNs;
        int result;
    };
    const WordWrite writes[] = {
        {"16F84A", 8, -1, 15 * kMs, 0x0123},
        {"16F84", 8, -1, 20 * kMs, 0x0123},  // 20 ms but on the 16F84A (DS30262E)
        {"16F877", 8, -1, 15 * kMs, 0x0123},
        {"16F73", 8, 14, kMs, 0x0123},
        {"12F629", 8, -1, 15 * kMs, 0x0123},
        {"16F628A", 8, -1, 15 * kMs, 0x0123},
        {"16F877A", 8, -1, 8 * kMs, 0x0123},  // tprog2 4 to 8 ms (DS39589B)
        {"16F877A", 24, 23, kMs, 0x0103},
        {"16F88", 24, 23, 2 * kMs, 0x0103},
        {"16F88", 8, 23, kMs, 0x0123},
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

// A protected chip: steps each family refuses, then the steps that clear it.
// Families 1 and 2 erase at the configuration word with 1, 7, 8, wait, 1, 7;
// a program cycle there cannot set protection bits again.
TEST(EveryFamily, ProtectedChipIsClearedOnlyByItsFullErase) {
    const std::string sequence = "L0 I7 1 7 8:20 1 7";
    const std::string rewrite = "E L0 I7 L2 8:15";
    const std::string f3 = "L0 I7 1 7 8:20 1 7 14 E L0 9:25 E 9:30";  // no 1, 7; 30 ms; code only
    struct Erase {
        const char* chip;
        std::string refused, clears;
    };
    const Erase rows[] = {
        {"16F84A", "L2 9 8:20 " + rewrite, sequence},  // 9 only arms; 8 refuses
        {"16F877", "L3 1 7 8:20 E L0 I7 1 7 8:15 1 7 " + rewrite, sequence},
        {"16F73", f3 + " L0 I7 L2 8:1 14", "L0 9:30"},
        {"12F629", "9:10 11:10 " + rewrite, "L0 9:10 11:10"},  // 4, 5: from config space only
        {"16F628A", rewrite, "L0 9:10"},                       // 9 from anywhere clears it
        {"16F877A", "9:10 11:10 " + rewrite, "31:20"},
        {"16F819", "9:10 31:19 I1 E L0 I7 L2 24:4 14", "31:20"},  // 24 ends only with 23
        // A bulk erase from the first ID location.
        {"10F206", "I1 L2=0 8:2 14", "I513 9:10"}};
    for (const Erase& e : rows) {
        SCOPED_TRACE(e.chip);
        Bench b(e.chip);
        const ChipProfile& p = b.chip.profile();
        const std::uint32_t idBase = p.twelveBit() ? p.codeWords : 0x2000;
        b.chip.setProgramWord(0, 0x0123);
        b.chip.setDataByte(0, 0x45);
        b.chip.setConfigWord(idBase, 0x0ABC);
        b.chip.protect(true, true);
        b.host.enter();
        run(b, e.refused);
        EXPECT_TRUE(b.chip.codeProtected());
        EXPECT_EQ(b.chip.programWord(0), 0x0123);
        EXPECT_EQ(b.chip.dataByte(0), p.dataBytes > 0 ? 0x45 : 0xFF);
        b.host.enter();
        run(b, e.clears);
        EXPECT_FALSE(b.chip.codeProtected() || b.chip.dataProtected());
        EXPECT_EQ(b.chip.programWord(0), p.wordMask());
        EXPECT_EQ(b.chip.dataByte(0), 0xFF);
        EXPECT_EQ(b.chip.configWord(idBase), p.wordMask());
    }
}

// A command that comes too soon is not taken: within the 5 us entry hold
// time, or within TDIS (100 us) of a 12-bit flash chip's End Programming
// (DS41227E, DS41228E); the 12C508's EPROM cells have no such wait.
TEST(EveryFamily, CommandsTooSoonAreIgnored) {
    for (bool early : {true, false}) {
        for (const char* chip : {"16F84A", "12F508", "12C508A"}) {
            SCOPED_TRACE(std::string(chip) + (early ? " early" : " in time"));
            Bench b(chip);
            const bool twelveBit = b.chip.profile().twelveBit();
            b.host.power(true);
            b.host.pause(early ? 2'500 : 5'000);
            b.host.increment();
            const std::uint32_t entry = twelveBit ? 0x0FFF : 0;
            EXPECT_EQ(b.chip.pc(), early ? entry : twelveBit ? 0u : 1u);
            if (!twelveBit) continue;
            b.host.enter();
            b.host.increment();
            b.host.load(2, 0x0123);
            b.host.cycle(8, 2 * kMs);
            b.host.command(14);
            const bool flash = !b.chip.profile().eprom;
            b.host.pause(early && flash ? 50'000 : 100'000);
            EXPECT_EQ(b.host.read(4), early && flash ? 0x3FFF : 0x0123);
            EXPECT_EQ(b.chip.earlyCommands() > 0, early);
        }
    }
}

// Configuration bits a chip does not implement read 1 (DS39025F Register
// 3-1, DS41204G Register 4-2, DS41244E Register 4-1, DS41284C, DS41287C
// Register 4-2, DS39607B Register 4-2), but the 16F57's bits 11:4 read 0
// (DS41208C Register 3-1): all 0s written, each word reads back.
TEST(EveryFamily, UnimplementedConfigurationBitsReadAsTheirDocumentsSay) {
    const std::pair<const char*, const char*> rows[] = {
        {"16F877", "E L0 I7 L2=0 8:20 R4=400"}, {"16F684", "E L0 I7 L2=0 8:7 R4=3000"},
        {"16F917", "E L0 I7 L2=0 8:7 R4=2000"}, {"12F615", "E L0 I7 L2=0 24:3 10 R4=3C00"},
        {"16F886", "E L0 I8 L2=0 8:7 R4=38FF"}, {"16F88", "E L0 I8 L2=0 24:3 23 R4=3FFC"},
        {"16F54", "E L2=0 8:2 14:1 R4=FF0"},    {"16F57", "E L2=0 8:2 14:1 R4=0"},
    };
    for (auto [chip, steps] : rows) {
        SCOPED_TRACE(chip);
        Bench b(chip);
        run(b, steps);
    }
}

// Write latches that keep what was loaded (4 on the 16F684 and 16F913, 8 on
// the 16F917 and 16F886): a word loaded but not programmed goes in with the
// next program cycle of its row, until programming mode is left.
TEST(EveryFamily, StaleWriteLatchesGoInUntilProgrammingModeIsLeft) {
    for (auto [chip, latches] :
         {std::pair{"16F684", 4}, {"16F913", 4}, {"16F917", 8}, {"16F886", 8}}) {
        SCOPED_TRACE(chip);
        const std::string last = std::to_string(latches - 1);
        Bench b(chip);
        b.host.enter();
        run(b, "L2=0 I" + last + " L2=1234 8:6 p0=0 p" + last + "=1234");
        // Entered again: the latches hold ones.
        run(b, "P0=3FFF L2=0 E I" + last + " L2=777 8:6 p0=3FFF p" + last + "=777");
    }
}

// What Bulk Erase Program Memory (9) and Bulk Erase Data Memory (11) take,
// by chip, data protection and address: DS41191D 2.3.1.9-10 (12F629
// family), DS41204G 3.1.5.10-11 / DS41244E 3.1.5 / DS41287C 3.2.5 (12F683,
// 16F6xx, 16F91x, 16F88x) and DS41196G Table 3-1 (16F627A family).
TEST(EveryFamily, BulkErasesTakeWhatMicrochipsDocumentsSay) {
    struct Row {
        const char* chip;
        bool cpd;           // data protected before the erase
        const char* steps;  // after entry
        bool code, data, ids, calibration, cpdAfter;
    };
    const Row rows[] = {
        {"12F675", true, "L0 9:10", true, true, true, false, false},
        {"12F675", false, "L0 9:10", true, false, true, false, false},
        {"12F675", true, "L0 11:10", false, false, false, false, true},
        {"12F675", false, "11:10", false, true, false, false, false},
        {"16F684", true, "9:10", true, true, false, false, false},
        {"16F684", false, "L0 9:10", true, false, true, false, false},
        {"16F684", false, "L0 I1 9:10", true, false, false, false, false},
        {"16F684", true, "L0 11:10", false, false, false, false, true},
        {"16F684", false, "L0 I8 9:10", true, false, false, true, false},
        {"16F917", false, "L0 I8 9:10", true, false, false, true, false},
        {"16F917", false, "L0 I9 9:10", true, false, false, true, false},
        {"16F886", true, "L0 I8 9:10", true, true, false, false, false},
        {"16F886", false, "L0 I9 9:10", true, false, false, true, false},
        {"16F628A", true, "9:10", true, true, false, false, false},
        {"16F628A", false, "L0 9:10", true, false, true, false, false},
        {"16F628A", true, "11:10", false, true, false, false, true},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(std::string(r.chip) + (r.cpd ? " CPD " : " ") + r.steps);
        Bench b(r.chip);
        b.chip.setProgramWord(0, 0x0123);
        b.chip.setDataByte(0, 0x45);
        b.chip.setConfigWord(0x2000, 0x0ABC);
        if (r.cpd) b.chip.protect(false, true);
        const auto before = b.chip.memory().config;
        b.host.enter();
        run(b, r.steps);
        EXPECT_EQ(b.chip.programWord(0), r.code ? 0x3FFF : 0x0123);
        EXPECT_EQ(b.chip.dataByte(0), r.data ? 0xFF : 0x45);
        EXPECT_EQ(b.chip.configWord(0x2000), r.ids ? 0x3FFF : 0x0ABC);
        for (std::uint32_t cal = 0x2008; cal <= 0x2009; ++cal) {
            if (!b.chip.profile().configCalibration(cal - 0x2000)) continue;
            EXPECT_EQ(b.chip.configWord(cal), r.calibration ? 0x3FFF : before[cal - 0x2000]);
        }
        EXPECT_EQ(b.chip.dataProtected(), r.cpdAfter);
    }
}

}  // namespace
}  // namespace ferrolux::sim
