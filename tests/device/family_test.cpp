// What sets the families apart: erase and protection, calibration words, the
// 12-bit core's program loop, configuration word and ID rules.
#include <gtest/gtest.h>

#include "chip_rig.h"
#include "device/family.h"

namespace ferrolux::test {
namespace {

TEST(Family4, EraseKeepsTheCalibrationWordAndBandgapBits) {
    ChipRig rig("PIC12F675");
    const int calibration = rig.chip.programWord(0x3FF);
    const int bandgap = rig.chip.configWord(0x2007) & 0x3000;
    ASSERT_NE(calibration, 0x3FFF);
    ASSERT_NE(checkLink(rig.s), 0);

    rig.s.chip.configWord = 0x3FFF;
    ASSERT_EQ(writeConfigWord(rig.s), 0) << rig.s.message;
    EXPECT_EQ(rig.s.chip.configWord, 0x1FF | bandgap);  // bits 9-11 zero, 12-13 the chip's

    rig.s.chip.configWord = 0x3FC4;
    ASSERT_EQ(writeConfigWord(rig.s), 0);
    rig.chip.setDataByte(3, 0x55);
    rig.chip.setProgramWord(0, 0x1234);
    ASSERT_EQ(eraseCodeMemory(rig.s), 0) << rig.s.message;
    EXPECT_EQ(rig.chip.programWord(0), 0x3FFF);
    EXPECT_EQ(rig.chip.programWord(0x3FF), calibration);
    EXPECT_EQ(rig.chip.configWord(0x2007), 0x1C4 | bandgap);

    EXPECT_EQ(rig.chip.dataByte(3), 0x55);
    ASSERT_EQ(eraseChip(rig.s), 0) << rig.s.message;
    EXPECT_TRUE(rig.window.boxes.empty());  // a good calibration word asks nothing
    EXPECT_EQ(rig.chip.programWord(0x3FF), calibration);
    EXPECT_EQ(rig.chip.configWord(0x2007), 0x1FF | bandgap);  // low byte set: unprotected
    EXPECT_EQ(rig.chip.dataByte(3), 0xFF);

    ChipRig mute("PIC16F676");
    ASSERT_NE(checkLink(mute.s), 0);
    // The board goes mute after the erase, while the calibration word is restored.
    mute.bench.board.muteAfterChanges(18000);
    EXPECT_EQ(eraseChip(mute.s), 1);
    EXPECT_EQ(mute.s.message, "Write Error OSCCAL at: 03FF\n");
}

// A protected chip reads 0 for its calibration word: flash 12-bit chips take
// it from their backup copy; without one it is not written back, and the user
// decides before anything is erased.
TEST(CalibratedChips, AProtectedChipsCalibrationWordComesFromItsBackupOrIsAskedAbout) {
    struct Row {
        const char* chip;
        ui::Answer answer;
        const char* question;  // nullptr: none, the backup copy stands in
        bool backupLost;
    };
    const Row rows[] = {
        {"PIC12F629", ui::Answer::cancel,
         "The calibration word at 03FF reads 0000, not a RETLW:", false},
        {"PIC16F676", ui::Answer::ok,
         "The calibration word at 03FF reads 0000, not a RETLW:", false},
        {"PIC10F206", ui::Answer::ok, nullptr, false},
        {"PIC12F509", ui::Answer::cancel,
         "The calibration word at 03FF reads 0000, not a MOVLW:", true},
        {"PIC10F200", ui::Answer::ok,
         "The calibration word at 00FF reads 0000, not a MOVLW:", true},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.chip);
        ChipRig rig(row.chip);
        const bool cancel = row.answer == ui::Answer::cancel;
        const auto last = static_cast<std::size_t>(rig.s.device.codeWords - 1);
        const int calibration = rig.chip.programWord(last);
        const int blank = rig.chip.profile().wordMask();
        const std::uint32_t backupAt = rig.s.device.codeWords + 4;
        if (row.backupLost) rig.chip.setConfigWord(backupAt, blank);
        rig.chip.setProgramWord(0, 0x0123);
        rig.chip.setDataByte(0, 0x12);
        rig.chip.protect(true, true);
        rig.window.answers.push_back(row.answer);
        ASSERT_NE(checkLink(rig.s), 0);
        EXPECT_EQ(eraseChip(rig.s), cancel ? 1 : 0);
        ASSERT_EQ(rig.window.boxes.size(), row.question ? 1u : 0u);
        if (row.question) {
            EXPECT_EQ(rig.window.boxes[0].text.rfind(row.question, 0), 0u);
            EXPECT_EQ(rig.window.boxes[0].title, "Warning!");
            EXPECT_EQ(rig.window.boxes[0].buttons, ui::Buttons::okCancel);
        }
        EXPECT_EQ(rig.s.message, cancel ? "Erase cancelled: nothing was erased." : "");
        EXPECT_EQ(rig.chip.codeProtected(), cancel);
        EXPECT_FALSE(!cancel && rig.chip.dataProtected());
        EXPECT_EQ(rig.chip.programWord(0), cancel ? 0x0123 : blank);
        const int kept = cancel || !row.question ? calibration : blank;
        EXPECT_EQ(rig.chip.programWord(last), kept);
        if (rig.s.device.calibrationBackup && !cancel) {
            EXPECT_EQ(rig.chip.configWord(backupAt), kept);
        }
    }
}

// What cannot be erased electrically, or is not there, fails and says why.
TEST(EraseSequences, EpromChipsAndMissingDataMemoryAreRefused) {
    const std::pair<const char*, const char*> chips[] = {
        {"PIC12C508", "EPROM chip: it can be erased only by UV light!"},
        {"PIC12C509A", "EPROM chip: it can be erased only by UV light!"},
        {"PIC16F73", nullptr},
        {"PIC10F200", nullptr},
    };
    for (auto [name, eprom] : chips) {
        SCOPED_TRACE(name);
        ChipRig rig(name);
        rig.chip.setProgramWord(0, 0x0123);
        ASSERT_NE(checkLink(rig.s), 0);
        EXPECT_EQ(eraseDataMemory(rig.s), 1);
        EXPECT_EQ(rig.s.message, "This PIC does not provide data memory!");
        if (!eprom) continue;
        EXPECT_EQ(eraseChip(rig.s), 1);
        EXPECT_EQ(rig.s.message, eprom);
        rig.s.message.clear();
        EXPECT_EQ(eraseCodeMemory(rig.s), 1);
        EXPECT_EQ(rig.s.message, eprom);
        EXPECT_EQ(rig.chip.programWord(0), 0x0123);
    }
}

constexpr const char* kUseChipErase = "\nUse \"Disable Codeprotection\" to erase the whole chip.";

// Code or data erases that a protected chip would ignore are refused before
// anything is sent that erases; "Disable Codeprotection" then erases the chip.
TEST(EraseSequences, ProtectedMemoryErasesAreRefusedOnEveryFamily) {
    struct Row {
        const char* chip;
        bool code;  // the erase: code memory, else data memory
        int config;
    };
    const Row rows[] = {
        {"PIC16F877", true, 0x3FEF},    // one CP bit of the low pair is enough
        {"PIC16F628", true, 0x3BFF},    // CP bits 13:10
        {"PIC16F877", false, 0x3EFF},   // CPD
        {"PIC16F84A", false, 0x3FEF},   // CP shuts the data memory too
        {"PIC16C84", false, 0x3FEF},    // its one CP bit
        {"PIC12F675", true, 0x3F7F},    // the code erase writes the CP bit back
        {"PIC12F675", false, 0x3EFF},   // CPD
        {"PIC16F628A", false, 0x3EFF},  // CPD
    };
    const int erasing[] = {1, 7, PROGRAM_COMMAND, BULK_ERASE_PROGRAM, BULK_ERASE_DATA, 31};
    for (const Row& row : rows) {
        SCOPED_TRACE(std::string(row.chip) + (row.code ? " code" : " data"));
        ChipRig rig(row.chip);
        rig.chip.setProgramWord(0, 0x0123);
        rig.chip.setDataByte(0, 0x12);
        rig.chip.setConfigWord(0x2007, static_cast<std::uint16_t>(row.config));
        ASSERT_NE(checkLink(rig.s), 0);
        rig.chip.enableFrameLog(true);
        EXPECT_EQ(row.code ? eraseCodeMemory(rig.s) : eraseDataMemory(rig.s), 1);
        EXPECT_EQ(rig.s.message, std::string(row.code ? "Flash memory code protected!"
                                                      : "Data EE memory code protected!") +
                                     kUseChipErase);
        for (int command : erasing)
            EXPECT_EQ(commandsSent(rig.chip, command), 0) << command;
        EXPECT_TRUE(rig.window.boxes.empty());
        EXPECT_EQ(rig.chip.programWord(0), 0x0123);
        EXPECT_EQ(rig.chip.dataByte(0), 0x12);

        ASSERT_EQ(eraseChip(rig.s), 0) << rig.s.message;
        EXPECT_FALSE(rig.chip.codeProtected() || rig.chip.dataProtected());
        EXPECT_EQ(rig.chip.programWord(0), 0x3FFF);
        EXPECT_EQ(rig.chip.dataByte(0), 0xFF);
    }
}

// The device side's protection bits are the chips' own.
TEST(EraseSequences, ProtectionBitsMatchEveryChip) {
    for (const sim::ChipProfile& p : sim::knownProfiles()) {
        DeviceRecord d;
        d.name = p.name;
        d.family = p.family;
        EXPECT_EQ(protectionBits(d).code, p.codeProtectBits) << p.name;
        EXPECT_EQ(protectionBits(d).data, p.dataProtectBits) << p.name;
    }
}

// An erase that does not take is reported, not shown as OK.
TEST(EraseSequences, AnEraseThatDidNotTakeFails) {
    enum What { chip, code, data };
    enum Fault { deadWord, deadByte, deadConfig };
    struct Row {
        const char* chip;
        What what;
        Fault fault;
        const char* reads;
    };
    const Row rows[] = {
        {"PIC16F84A", chip, deadWord, "1234 at 0000 (code memory)."},
        {"PIC12F508", code, deadWord, "0234 at 0000 (code memory)."},
        {"PIC16F877", data, deadByte, "42 at 00 (data memory)."},
        {"PIC16F628A", code, deadConfig, "1FFF at 2007 (configuration word)."},
        {"PIC16F877A", chip, deadConfig, "1EFF at 2007 (configuration word)."},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.chip);
        ChipRig rig(row.chip);
        rig.chip.setProgramWord(0, 0x1234);
        rig.chip.setDataByte(0, 0x42);
        if (row.fault == deadWord) rig.chip.dropWritesToProgram(0);
        if (row.fault == deadByte) rig.chip.dropWritesToData(0);
        if (row.fault == deadConfig) {
            rig.chip.protect(true, row.what == chip);
            rig.chip.dropWritesToConfigWord();
        }
        ASSERT_NE(checkLink(rig.s), 0);
        const int r = row.what == chip   ? eraseChip(rig.s)
                      : row.what == code ? eraseCodeMemory(rig.s)
                                         : eraseDataMemory(rig.s);
        EXPECT_EQ(r, 1);
        EXPECT_EQ(rig.s.message, std::string("Erase failed: the chip still reads ") + row.reads);
    }
}

class ProtectedRows : public ::testing::TestWithParam<const char*> {};

TEST_P(ProtectedRows, RefuseMemoryErasesButChipEraseClearsProtection) {
    ChipRig rig(GetParam());
    ASSERT_NE(checkLink(rig.s), 0);
    rig.chip.protect(true, true);
    rig.chip.enableFrameLog(true);
    EXPECT_EQ(eraseCodeMemory(rig.s), 1);
    EXPECT_EQ(rig.s.message, std::string("Flash memory code protected!") + kUseChipErase);
    EXPECT_EQ(eraseDataMemory(rig.s), 1);
    EXPECT_EQ(rig.s.message, std::string("Data EE memory code protected!") + kUseChipErase);
    EXPECT_EQ(commandsSent(rig.chip, BULK_ERASE_PROGRAM) + commandsSent(rig.chip, BULK_ERASE_DATA),
              0);

    ASSERT_EQ(eraseChip(rig.s), 0);
    EXPECT_FALSE(rig.chip.codeProtected());
    EXPECT_FALSE(rig.chip.dataProtected());
    ASSERT_EQ(rig.open(testHex(rig.family())), 0);
    EXPECT_EQ(rig.write(), "");
}

INSTANTIATE_TEST_SUITE_P(Families6And7, ProtectedRows, ::testing::Values("PIC16F877A", "PIC16F88"));

TEST(EraseSequences, ChipEraseRemovesProtectionAndDataEraseLeavesCode) {
    for (const char* name :
         {"PIC16F84A", "PIC16F877", "PIC16F73", "PIC12F675", "PIC16F628A", "PIC16F873A"}) {
        ChipRig rig(name);
        ASSERT_NE(checkLink(rig.s), 0) << name;
        rig.chip.setProgramWord(2, 0x0AAA);
        if (rig.s.device.dataBytes > 0) {
            rig.chip.setDataByte(1, 0x42);
            ASSERT_EQ(eraseDataMemory(rig.s), 0) << name;
            EXPECT_EQ(rig.chip.dataByte(1), 0xFF) << name;
            EXPECT_EQ(rig.chip.programWord(2), 0x0AAA) << name;
        }
        if (rig.family() > 3 && rig.family() != 5) continue;
        rig.chip.protect(true, false);
        ASSERT_EQ(eraseChip(rig.s), 0);
        EXPECT_FALSE(rig.chip.codeProtected()) << name;
        EXPECT_EQ(rig.chip.programWord(2), 0x3FFF) << name;
        // Family 1 shows OK while still erasing.
        EXPECT_EQ(rig.window.texts[1018] == "OK", rig.family() == 1) << name;
        if (rig.family() == 2) continue;  // its code erase refuses a protected chip
        rig.chip.setProgramWord(2, 0x0AAA);
        rig.chip.protect(true, false);
        ASSERT_EQ(eraseCodeMemory(rig.s), 0);
        EXPECT_FALSE(rig.chip.codeProtected()) << name;
        EXPECT_EQ(rig.chip.programWord(2), 0x3FFF) << name;
    }
}

TEST(Family8, BlankCheckAndThePulsesOfACodeWord) {
    ChipRig blank("PIC12C508");
    // The factory calibration word sits in the last code word, which is not read.
    ASSERT_NE(blank.chip.programWord(511), 0x0FFF);
    EXPECT_EQ(blankCheck12Bit(blank.s), 0);
    blank.chip.setProgramWord(7, 0x0A5A);
    EXPECT_EQ(blankCheck12Bit(blank.s), 1);

    ChipRig rig("PIC12C508");
    ASSERT_EQ(rig.open(testHex(8)), 0);
    rig.chip.setPulsesNeeded(3, 3);
    rig.chip.enableFrameLog(true);
    ASSERT_EQ(programCode12Bit(rig.s), 0) << rig.s.message;
    // 15 code words and IDs 1, A, 2 (ID3's F is the blank nibble): 17 take at
    // the first pulse and get 10 more, word 3 after 3 pulses and 30 more.
    EXPECT_EQ(commandsSent(rig.chip, PROGRAM_COMMAND), 17 * 11 + 3 + 30);
    EXPECT_EQ(rig.chip.configWord(513), 0xA);  // the file's IDs are on the chip

    ChipRig dead("PIC12C508");
    ASSERT_EQ(dead.open(testHex(8)), 0);
    dead.chip.dropWritesToProgram(1);
    EXPECT_EQ(programCode12Bit(dead.s), 1);
    EXPECT_EQ(dead.s.message, "Write Error at: 0001\n\nWrote:  0030\nRead: 0FFF\n");
}

TEST(Family8, ConfigurationWordAndIdOverprogramming) {
    ChipRig rig("PIC12C508");
    ASSERT_NE(checkLink(rig.s), 0);
    rig.chip.setPulsesNeeded(0xFFF, 4);
    rig.chip.enableFrameLog(true);
    rig.s.chip.configWord = 0x0FEA;
    ASSERT_EQ(writeConfigWord(rig.s), 0) << rig.s.message;
    // Three failed pulses, the one that took, then 11 times as many more.
    EXPECT_EQ(commandsSent(rig.chip, PROGRAM_COMMAND), 4 + 44);
    EXPECT_EQ(rig.chip.configWord(0xFFF), 0x0FEA);

    // ID words get the overprogramming of code words on EPROM, none on flash.
    for (auto [name, pulses] : {std::pair{"PIC12C508", 33 + 3 * 11}, std::pair{"PIC12F508", 4}}) {
        ChipRig ids(name);
        ASSERT_NE(checkLink(ids.s), 0);
        ids.chip.setPulsesNeeded(0x200, 3);
        ids.chip.enableFrameLog(true);
        ids.s.chip.idValues = {5, 6, 7, 8};
        ASSERT_EQ(writeIdLocations(ids.s), 0) << ids.s.message;
        EXPECT_EQ(commandsSent(ids.chip, PROGRAM_COMMAND), pulses) << name;
        EXPECT_EQ(ids.chip.configWord(0x200), 5) << name;
    }

    ChipRig wide("PIC12C508");
    ASSERT_NE(checkLink(wide.s), 0);
    wide.s.chip.configWord = 0x1FFF;  // bit 12 never reads back on a 12-bit chip
    EXPECT_EQ(writeConfigWord(wide.s), 1);
    EXPECT_EQ(wide.s.message, "Write Error Config-W\n\nWrote:  1FFF\nRead: 0FFF\n");
}

TEST(ConfigAndIds, IdsAreWidenedForWritingAndReadAsNibbles) {
    // Family 8's IDs lie just after the last code word and are not widened.
    for (const char* name : {"PIC16F628A", "PIC16F73", "PIC16F873A", "PIC16F818", "PIC12C508"}) {
        ChipRig rig(name);
        const bool twelveBit = rig.family() == 8;
        ASSERT_NE(checkLink(rig.s), 0);
        if (!twelveBit) {
            ASSERT_EQ(eraseChip(rig.s), 0);
        }
        rig.s.chip.idValues = {5, 0xC, 7, 8};
        ASSERT_EQ(writeIdLocations(rig.s), 0) << name << rig.s.message;
        const int first = twelveBit ? 0x200 : 0x2000;
        EXPECT_EQ(rig.chip.configWord(first), twelveBit ? 5 : 0x3F85) << name;
        EXPECT_EQ(rig.chip.configWord(first + 1), twelveBit ? 0xC : 0x3F8C) << name;
        EXPECT_EQ(rig.chip.configWord(first + 3), twelveBit ? 8 : 0x3F88) << name;
        rig.s.chip.idValues = {};
        ASSERT_EQ(readIdLocations(rig.s), 0);
        EXPECT_EQ(rig.s.chip.idValues, (std::array<int, 4>{5, 0xC, 7, 8})) << name;
    }
    ChipRig rig("PIC16F628A");  // an ID that does not take stops the write
    ASSERT_NE(checkLink(rig.s), 0);
    rig.bench.board.muteAfterChanges(400);
    rig.s.chip.idValues = {1, 2, 3, 4};
    EXPECT_EQ(writeIdLocations(rig.s), 1);
    EXPECT_EQ(rig.s.message, "Write Error!");
}

TEST(ConfigAndIds, Bit10OfThe16F87xIsNotCompared) {
    ChipRig rig("PIC16F877");
    ASSERT_NE(checkLink(rig.s), 0);
    rig.s.chip.configWord = 0x3FFF;
    ASSERT_EQ(writeConfigWord(rig.s), 0) << rig.s.message;
    EXPECT_EQ(rig.s.pass.readBack & 0x400, 0);
    ASSERT_EQ(readConfigWord(rig.s), 0);
    EXPECT_EQ(rig.s.chip.configWord, 0x3BFF);
}

}  // namespace
}  // namespace ferrolux::test
