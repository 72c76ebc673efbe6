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
    ASSERT_NE(checkLink(rig.s), 0);
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
        bool cancel;
        const char* question;  // nullptr: none, the backup copy stands in
        bool backupLost;
    };
    const Row rows[] = {
        {"PIC12F629", true, "The calibration word at 03FF reads 0000, not a RETLW:", false},
        {"PIC16F676", false, "The calibration word at 03FF reads 0000, not a RETLW:", false},
        {"PIC10F206", false, nullptr, false},
        {"PIC12F509", true, "The calibration word at 03FF reads 0000, not a MOVLW:", true},
        {"PIC10F200", false, "The calibration word at 00FF reads 0000, not a MOVLW:", true},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.chip);
        ChipRig rig(row.chip);
        const auto last = static_cast<std::size_t>(rig.s.device.codeWords - 1);
        const int calibration = rig.chip.programWord(last);
        const int blank = rig.chip.profile().wordMask();
        const std::uint32_t backupAt = rig.s.device.codeWords + 4;
        if (row.backupLost) rig.chip.setConfigWord(backupAt, blank);
        rig.chip.setProgramWord(0, 0x0123);
        rig.chip.protect(true, true);
        rig.window.answers.push_back(row.cancel ? ui::Answer::cancel : ui::Answer::ok);
        ASSERT_NE(checkLink(rig.s), 0);
        EXPECT_EQ(eraseChip(rig.s), row.cancel ? 1 : 0);
        ASSERT_EQ(rig.window.boxes.size(), row.question ? 1u : 0u);
        if (row.question) {
            EXPECT_EQ(rig.window.boxes[0].text.rfind(row.question, 0), 0u);
            EXPECT_EQ(rig.window.boxes[0].title, "Warning!");
            EXPECT_EQ(rig.window.boxes[0].buttons, ui::Buttons::okCancel);
        }
        EXPECT_EQ(rig.s.message, row.cancel ? "Erase cancelled: nothing was erased." : "");
        EXPECT_EQ(rig.chip.codeProtected(), row.cancel);
        EXPECT_FALSE(!row.cancel && rig.chip.dataProtected());
        EXPECT_EQ(rig.chip.programWord(0), row.cancel ? 0x0123 : blank);
        const int kept = row.cancel || !row.question ? calibration : blank;
        EXPECT_EQ(rig.chip.programWord(last), kept);
        if (rig.s.device.calibrationBackup && !row.cancel) {
            EXPECT_EQ(rig.chip.configWord(backupAt), kept);
        }
    }
}

// What cannot be erased electrically, or is not there, fails and says why.
TEST(EraseSequences, EpromChipsAndMissingDataMemoryAreRefused) {
    for (const char* name : {"PIC12C508", "PIC12C509A", "PIC16F73", "PIC10F200"}) {
        SCOPED_TRACE(name);
        ChipRig rig(name);
        rig.chip.setProgramWord(0, 0x0123);
        ASSERT_NE(checkLink(rig.s), 0);
        EXPECT_EQ(eraseDataMemory(rig.s), 1);
        EXPECT_EQ(rig.s.message, "This PIC does not provide data memory!");
        if (!epromChip(rig.s.device)) continue;
        for (auto erase : {eraseChip, eraseCodeMemory}) {
            rig.s.message.clear();
            EXPECT_EQ(erase(rig.s), 1);
            EXPECT_EQ(rig.s.message, "EPROM chip: it can be erased only by UV light!");
        }
        EXPECT_EQ(rig.chip.programWord(0), 0x0123);
    }
}

// Code or data erases that a protected chip would ignore are refused before
// anything is sent that erases; "Disable Codeprotection" then erases the chip.
TEST(EraseSequences, ProtectedMemoryErasesAreRefusedOnEveryFamily) {
    struct Row {
        const char* chip;
        bool code;   // the erase: code memory, else data memory
        int config;  // 0: code and data protected
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
        {"PIC16F877A", true, 0},       {"PIC16F877A", false, 0},
        {"PIC16F88", true, 0},         {"PIC16F88", false, 0},
    };
    const int erasing[] = {1, 7, PROGRAM_COMMAND, BULK_ERASE_PROGRAM, BULK_ERASE_DATA, 31};
    for (const Row& row : rows) {
        SCOPED_TRACE(std::string(row.chip) + (row.code ? " code" : " data"));
        ChipRig rig(row.chip);
        rig.chip.setProgramWord(0, 0x0123);
        rig.chip.setDataByte(0, 0x12);
        if (row.config) rig.chip.setConfigWord(0x2007, static_cast<std::uint16_t>(row.config));
        if (!row.config) rig.chip.protect(true, true);
        ASSERT_NE(checkLink(rig.s), 0);
        rig.chip.enableFrameLog(true);
        EXPECT_EQ(row.code ? eraseCodeMemory(rig.s) : eraseDataMemory(rig.s), 1);
        EXPECT_EQ(rig.s.message, std::string(row.code ? "Flash memory code protected!"
                                                      : "Data EE memory code protected!") +
                                     "\nUse \"Disable Codeprotection\" to erase the whole chip.");
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

// An erase that does not take is reported, not shown as OK.
TEST(EraseSequences, AnEraseThatDidNotTakeFails) {
    enum Fault { deadWord, deadByte, deadConfig };
    struct Row {
        const char* chip;
        int (*erase)(Session&);
        Fault fault;
        const char* reads;
    };
    const Row rows[] = {
        {"PIC16F84A", eraseChip, deadWord, "1234 at 0000 (code memory)."},
        {"PIC12F508", eraseCodeMemory, deadWord, "0234 at 0000 (code memory)."},
        {"PIC16F877", eraseDataMemory, deadByte, "42 at 00 (data memory)."},
        {"PIC16F628A", eraseCodeMemory, deadConfig, "1FFF at 2007 (configuration word)."},
        {"PIC16F877A", eraseChip, deadConfig, "1EFF at 2007 (configuration word)."},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.chip);
        ChipRig rig(row.chip);
        rig.chip.setProgramWord(0, 0x1234);
        rig.chip.setDataByte(0, 0x42);
        if (row.fault == deadWord) rig.chip.dropWritesToProgram(0);
        if (row.fault == deadByte) rig.chip.dropWritesToData(0);
        if (row.fault == deadConfig) {
            rig.chip.protect(true, row.erase == eraseChip);
            rig.chip.dropWritesToConfigWord();
        }
        ASSERT_NE(checkLink(rig.s), 0);
        EXPECT_EQ(row.erase(rig.s), 1);
        EXPECT_EQ(rig.s.message, std::string("Erase failed: the chip still reads ") + row.reads);
    }
}

TEST(Family8, BlankCheckAndThePulsesOfCodeConfigurationAndIdWords) {
    ChipRig rig("PIC12C508");
    // The factory calibration word sits in the last code word, which is not read.
    ASSERT_NE(rig.chip.programWord(511), 0x0FFF);
    EXPECT_EQ(blankCheck12Bit(rig.s), 0);
    rig.chip.setProgramWord(7, 0x0A5A);
    EXPECT_EQ(blankCheck12Bit(rig.s), 1);
    rig.chip.setProgramWord(7, 0x0FFF);

    ASSERT_EQ(rig.open(testHex(8)), 0);
    rig.chip.setPulsesNeeded(3, 3);
    rig.chip.enableFrameLog(true);
    ASSERT_EQ(programCode12Bit(rig.s, rig.image), 0) << rig.s.message;
    // 15 code words and IDs 1, A, 2 (ID3's F is the blank nibble): 17 take at
    // the first pulse and get 10 more, word 3 after 3 pulses and 30 more.
    EXPECT_EQ(commandsSent(rig.chip, PROGRAM_COMMAND), 17 * 11 + 3 + 30);
    EXPECT_EQ(rig.chip.configWord(513), 0xA);  // the file's IDs are on the chip

    ChipRig dead("PIC12C508");
    ASSERT_EQ(dead.open(testHex(8)), 0);
    dead.chip.dropWritesToProgram(1);
    EXPECT_EQ(programCode12Bit(dead.s, dead.image), 1);
    EXPECT_EQ(dead.s.message, "Write Error at: 0001\n\nWrote:  0030\nRead: 0FFF\n");

    ASSERT_NE(checkLink(rig.s), 0);
    rig.chip.setPulsesNeeded(0xFFF, 4);
    rig.chip.clearFrameLog();
    rig.s.chip.configWord = 0x0FEA;
    ASSERT_EQ(writeConfigWord(rig.s), 0) << rig.s.message;
    // Three failed pulses, the one that took, then 11 times as many more.
    EXPECT_EQ(commandsSent(rig.chip, PROGRAM_COMMAND), 4 + 44);
    EXPECT_EQ(rig.chip.configWord(0xFFF), 0x0FEA);
    rig.s.chip.configWord = 0x1FFF;  // bit 12 never reads back on a 12-bit chip
    EXPECT_EQ(writeConfigWord(rig.s), 1);
    EXPECT_EQ(rig.s.message, "Write Error Config-W\n\nWrote:  1FFF\nRead: 0FEA\n");

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
}

TEST(ConfigAndIds, IdsAreWidenedForWritingAndReadAsNibbles) {
    // Family 8's IDs lie just after the last code word and are not widened.
    for (const char* name : {"PIC16F628A", "PIC16F73", "PIC16F873A", "PIC16F818", "PIC12C508"}) {
        SCOPED_TRACE(name);
        ChipRig rig(name);
        const bool twelveBit = twelveBitCore(rig.s.device);
        ASSERT_NE(checkLink(rig.s), 0);
        ASSERT_EQ(twelveBit ? 0 : eraseChip(rig.s), 0);
        rig.s.chip.idValues = {5, 0xC, 7, 8};
        ASSERT_EQ(writeIdLocations(rig.s), 0) << rig.s.message;
        const int first = twelveBit ? 0x200 : 0x2000;
        const int widened[] = {0x3F85, 0x3F8C, 0x3F87, 0x3F88};
        for (int i = 0; i < 4; ++i)
            EXPECT_EQ(rig.chip.configWord(first + i), widened[i] & (twelveBit ? 0xF : 0x3FFF));
        rig.s.chip.idValues = {};
        ASSERT_EQ(readIdLocations(rig.s), 0);
        EXPECT_EQ(rig.s.chip.idValues, (std::array<int, 4>{5, 0xC, 7, 8}));
    }
    ChipRig rig("PIC16F628A");  // an ID that does not take stops the write
    ASSERT_NE(checkLink(rig.s), 0);
    rig.bench.board.muteAfterChanges(400);
    rig.s.chip.idValues = {1, 2, 3, 4};
    EXPECT_EQ(writeIdLocations(rig.s), 1);
    EXPECT_EQ(rig.s.message, "Write Error!");
}

}  // namespace
}  // namespace ferrolux::test
