// Chip behaviour taken from Microchip's programming documents, through
// the product's own paths on simulated chips that follow those documents.
#include <gtest/gtest.h>

#include <fstream>
#include <vector>

#include "chip_rig.h"
#include "device/program_word.h"
#include "session/messages.h"

namespace ferrolux::test {
namespace {

// An INHX8M record of little-endian words at word address `word`.
std::string hexRecord(int word, const std::vector<int>& words) {
    const int address = 2 * word;
    const int count = static_cast<int>(2 * words.size());
    int sum = count + (address >> 8) + (address & 0xFF);
    std::string line = formatText(":%02X%04X00", static_cast<unsigned>(count),
                                  static_cast<unsigned>(address & 0xFFFF));
    for (int w : words) {
        line += formatText("%02X%02X", static_cast<unsigned>(w & 0xFF),
                           static_cast<unsigned>(w >> 8 & 0xFF));
        sum += (w & 0xFF) + (w >> 8 & 0xFF);
    }
    return line + formatText("%02X\n", static_cast<unsigned>(-sum & 0xFF));
}

// A 12-bit program: one code word, the four IDs and the configuration word.
std::filesystem::path program12Bit(const ChipRig& rig, const std::string& name,
                                   const std::vector<int>& ids, int config) {
    const auto path = rig.dir.path() / name;
    std::ofstream(path) << hexRecord(0, {0x0A00}) << hexRecord(rig.s.device.codeWords, ids)
                        << hexRecord(0xFFF, {config}) << ":00000001FF\n";
    return path;
}

std::vector<Wiring> wiringsAndCable() {
    std::vector<Wiring> all = allWirings();
    all.push_back(ftdiWiring());
    return all;
}

// A bulk erase from the configuration word, where entry leaves the PC, keeps
// the IDs on silicon (DS41227E Table 3-2): new IDs over old ones would only
// clear bits. With the PC at the first ID they go, and the calibration word
// and its backup are written back. On every wiring and the FTDI cable, whose
// timing the chip checks (it ignores a command within 100 us of End
// Programming).
TEST(TwelveBitFlash, SecondIdsReplaceTheFirstAndBothCalibrationWordsStay) {
    for (const Wiring& w : wiringsAndCable()) {
        if (w.lowVoltage) continue;  // no low-voltage entry on the 12-bit core
        SCOPED_TRACE(w.name);
        ChipRig rig("PIC12F508", w);
        const std::uint16_t calibration = rig.chip.programWord(0x1FF);
        ASSERT_EQ(rig.open(program12Bit(rig, "first.hex", {1, 2, 3, 4}, 0xFEA)), 0)
            << rig.s.message;
        ASSERT_EQ(rig.write(), "");
        ASSERT_EQ(rig.open(program12Bit(rig, "second.hex", {5, 6, 7, 8}, 0xFEA)), 0)
            << rig.s.message;
        ASSERT_EQ(rig.write(), "");
        for (std::uint32_t id = 0; id < 4; ++id)
            EXPECT_EQ(rig.chip.configWord(0x200 + id), 5 + id);
        EXPECT_EQ(rig.chip.programWord(0x1FF), calibration);
        EXPECT_EQ(rig.chip.configWord(0x204), calibration);
        EXPECT_EQ(rig.chip.earlyCommands(), 0u);
    }
}

// DS41208C reads the 16F57's configuration bits 11:4 as 0, DS41207D (16F54)
// and the PICkit 2 file as 1: only bits 3:0 are compared, so a chip with
// either answer verifies and reads blank after an erase.
TEST(TwelveBitFlash, SixteenF57ComparesOnlyItsFourConfigurationBits) {
    ChipRig rig("PIC16F57");
    ASSERT_EQ(rig.open(program12Bit(rig, "p.hex", {1, 2, 3, 4}, 0xFF9)), 0) << rig.s.message;
    ASSERT_EQ(rig.write(), "");
    EXPECT_EQ(rig.chip.configWord(0xFFF), 0x009);
    ASSERT_EQ(rig.verify(), "");
    rig.main.command(ctl::kEraseCode);
    ASSERT_EQ(rig.main.lastEnding(), ui::Ending::ok) << rig.s.message;
}

// The 16F84 and 16F83 (not A) take up to 20 ms per erase and program cycle
// (DS30262E Table 5-1); parallel adapters wait that long.
TEST(SixteenF84, ProgramCycleOf20MsOnEveryWiring) {
    for (const Wiring& w : wiringsAndCable()) {
        if (w.lowVoltage) continue;
        SCOPED_TRACE(w.name);
        ChipRig rig("PIC16F84", w);
        ASSERT_EQ(rig.open(testHex(1)), 0) << rig.s.message;
        ASSERT_EQ(rig.write(), "");
        EXPECT_EQ(rig.chip.lostWrites(), 0u);
    }
}

// The 16F87/88 have a second configuration word at 0x2008: IESO (bit 1)
// and FCMEN (bit 0), the other bits read 1 (DS39607B Register 4-2). The
// chip service writes, reads and compares it in those two bits.
TEST(SecondConfigurationWord, SixteenF87And88WriteAndReadIt) {
    for (const char* name : {"PIC16F87", "PIC16F88"}) {
        SCOPED_TRACE(name);
        ChipRig rig(name);
        ASSERT_NE(checkLink(rig.s), 0) << rig.s.message;
        ChipService chip(rig.s);
        EXPECT_EQ(chip.secondConfigMask(), 0x0003);
        rig.s.chip.configWord = 0x3F30;
        rig.s.chip.config2Word = 0x0002;  // IESO on, FCMEN off; 13:2 written as 0
        ASSERT_EQ(chip.writeConfig(), 0) << rig.s.message;
        EXPECT_EQ(rig.chip.configWord(0x2008), 0x3FFE);
        rig.s.chip.config2Word = 0;
        ASSERT_EQ(chip.readConfig(), 0);
        EXPECT_EQ(rig.s.chip.config2Word, 0x3FFE);
    }
}

// The 12F683/16F6xx, 16F91x and 16F88x keep their write latches until
// programming mode is left (DS41244E 3.1.3, DS41287C 3.2.3): every operation
// enters it anew, and on every wiring and the FTDI cable that drops the
// programming voltage first, so a word loaded earlier does not go in with
// the next word written.
TEST(WriteLatches, EachOperationStartsWithFreshLatchesOnEveryWiring) {
    for (const Wiring& w : wiringsAndCable()) {
        for (const char* chip : {"PIC16F684", "PIC16F886"}) {
            ChipRig rig(chip, w);
            if (w.lowVoltage && rig.s.device.lowVoltageFlag != 'Y') continue;
            SCOPED_TRACE(w.name + " " + chip);
            ASSERT_NE(checkLink(rig.s), 0) << rig.s.message;
            sendIcsp(rig.s, ENTER_PGM, 0);
            sendIcsp(rig.s, LOAD_DATA_PROGRAM, 0);  // loaded, never programmed
            sendIcsp(rig.s, ENTER_PGM, 0);
            sendIcsp(rig.s, INCREMENT_ADDRESS, 0);
            rig.s.pass.targetAddress = 1;
            rig.s.pass.fileWord = 0x1234;
            ASSERT_EQ(programWord(rig.s), 0);
            EXPECT_EQ(rig.chip.programWord(0), 0x3FFF);
        }
    }
}

// "Bulk Erase Code Memory" where the chip's erase takes more than the code:
// the question names what else goes before anything is erased, and the
// simulated chip loses it as silicon does (DS41191D, DS41196G, DS41204G:
// protected EEPROM goes with the code).
TEST(EraseQuestion, NamesWhatTheChipLosesBesidesTheCode) {
    struct Row {
        const char* chip;
        const char* also;  // the question's second line
        bool dataLost;     // with the data memory protected
    };
    const Row rows[] = {
        {"PIC16F84A",
         "On this chip it also erases the data memory (EEPROM), the ID locations and the "
         "configuration word.",
         true},
        {"PIC16F877", "", false},
        {"PIC12F675",
         "On this chip it also erases the ID locations and the data memory (EEPROM) if it is "
         "code protected.",
         true},
        {"PIC16F628A",
         "On this chip it also erases the ID locations, the configuration word and the data "
         "memory (EEPROM) if it is code protected.",
         true},
        {"PIC16F684",
         "On this chip it also erases the ID locations, the configuration word and the data "
         "memory (EEPROM) if it is code protected.",
         true},
        {"PIC12F508", "On this chip it also erases the ID locations and the configuration word.",
         false},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.chip);
        ChipRig rig(r.chip);
        const std::string question = std::string("This Command Deletes Flash-Memory!") +
                                     (*r.also ? "\n" : "") + r.also + "\n\nChip: " + r.chip;
        rig.chip.setProgramWord(0, 0x0123);
        rig.chip.setDataByte(0, 0x45);
        rig.chip.protect(false, true);
        rig.window.answers = {ui::Answer::cancel};
        rig.main.command(ctl::kEraseCode);
        ASSERT_FALSE(rig.window.boxes.empty());
        EXPECT_EQ(rig.window.boxes.back().text, question);
        EXPECT_EQ(rig.chip.programWord(0), 0x0123);
        rig.window.answers = {ui::Answer::ok};
        rig.main.command(ctl::kEraseCode);
        ASSERT_EQ(rig.main.lastEnding(), ui::Ending::ok) << rig.s.message;
        EXPECT_EQ(rig.chip.programWord(0), rig.chip.profile().wordMask());
        const int data = rig.s.device.dataBytes == 0 ? 0xFF : r.dataLost ? 0xFF : 0x45;
        EXPECT_EQ(rig.chip.dataByte(0), data);
    }
}

}  // namespace
}  // namespace ferrolux::test
