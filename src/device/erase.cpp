#include "device/erase.h"

#include <array>
#include <vector>

#include "device/config_ids.h"
#include "device/erase_steps.h"
#include "device/family.h"
#include "device/program_word.h"
#include "link/delays.h"
#include "link/icsp.h"
#include "session/messages.h"
#include "session/session.h"

namespace ferrolux {

namespace erase_steps {

namespace {

constexpr int BULK_ERASE_SETUP_1 = 1;
constexpr int BULK_ERASE_SETUP_2 = 7;
constexpr int kCalibrationAddress = 0x3FF;  // fixed, whatever the code size
constexpr const char* kEpromNoErase = "EPROM chip: it can be erased only by UV light!";
constexpr const char* kEraseCancelled = "Erase cancelled: nothing was erased.";
constexpr const char* kUseChipErase = "\nUse \"Disable Codeprotection\" to erase the whole chip.";

// True when a 0 in any of `bits` of the configuration word protects a memory.
bool protectedBy(int config, int bits) {
    return (config & bits) != bits;
}

// Enters programming mode and reads the configuration word; the chip then
// stands at it.
int readChipConfig(Session& s) {
    sendIcsp(s, ENTER_PGM, 0);
    if (!algorithmOf(s.device).twelveBit) goToConfigWord(s);
    s.pass.readBack = sendIcsp(s, READ_DATA_PROGRAM, 0);
    return s.pass.readBack;
}

}  // namespace

bool refusedAsProtected(Session& s, int bits, const char* refusal) {
    if (!protectedBy(readChipConfig(s), bits)) return false;
    s.message = std::string(refusal) + kUseChipErase;
    return true;
}

void setupAndErase(Session& s) {
    sendIcsp(s, BULK_ERASE_SETUP_1, 0);
    sendIcsp(s, BULK_ERASE_SETUP_2, 0);
    sendIcsp(s, PROGRAM_COMMAND, 0);
    waitMs(s, 20);
    sendIcsp(s, BULK_ERASE_SETUP_1, 0);
    sendIcsp(s, BULK_ERASE_SETUP_2, 0);
    waitMs(s, 20);
}

void removeProtection(Session& s) {
    sendIcsp(s, ENTER_PGM, 0);
    goToConfigWord(s);
    setupAndErase(s);
}

namespace {

void goToCalibrationWord(Session& s) {
    sendIcsp(s, ENTER_PGM, 0);
    for (s.pass.targetAddress = 0; s.pass.targetAddress < kCalibrationAddress;
         ++s.pass.targetAddress) {
        sendIcsp(s, INCREMENT_ADDRESS, 0);
    }
}

// The calibration word at `address` read as `word`, which is not the
// instruction (`kind`) a calibration word is; a protected chip reads 0 there.
// Asks whether to erase without restoring it.
bool eraseWithoutCalibration(Session& s, int address, int word, const char* kind) {
    const std::string question =
        formatText("The calibration word at %04X reads %04X, not a %s:\n",
                   static_cast<unsigned>(address), static_cast<unsigned>(word), kind) +
        "the chip is code protected or has lost it.\nErase without restoring it?";
    return s.reporter->ask(question, "Warning!", QuestionKind::doubt);
}

}  // namespace

int eraseKeepingCalibration(Session& s, bool wholeChip) {
    goToCalibrationWord(s);
    s.pass.readBack = sendIcsp(s, READ_DATA_PROGRAM, 0);
    s.pass.savedCalibration = s.pass.readBack;
    const bool keepCalibration = (s.pass.savedCalibration & 0x3F00) == 0x3400;
    if (!keepCalibration &&
        !eraseWithoutCalibration(s, kCalibrationAddress, s.pass.savedCalibration, "RETLW")) {
        s.message = kEraseCancelled;
        return 1;
    }

    goToConfigWord(s);
    s.pass.readBack = sendIcsp(s, READ_DATA_PROGRAM, 0);
    // Erasing the whole chip leaves code (bits 0-7) and data (bit 8) unprotected.
    s.pass.savedConfig = wholeChip ? (s.pass.readBack | 0x1FF) : s.pass.readBack;

    if (wholeChip) {
        sendIcsp(s, LOAD_CONFIGURATION, 0);
        sendIcsp(s, BULK_ERASE_PROGRAM, 0x3FFF);
        waitMs(s, 20);
        sendIcsp(s, BULK_ERASE_DATA, 0x3FFF);
        waitMs(s, 20);
    } else {
        sendIcsp(s, BULK_ERASE_PROGRAM, 0x3FFF);
        waitMs(s, 20);
    }

    goToCalibrationWord(s);
    s.pass.readBack = sendIcsp(s, READ_DATA_PROGRAM, 0);
    s.pass.fileWord = s.pass.savedCalibration;
    if (keepCalibration && programWord(s) != 0) {
        s.message = formatText("Write Error OSCCAL at: %04X\n",
                               static_cast<unsigned>(s.pass.targetAddress));
        return 1;
    }
    goToConfigWord(s);
    sendIcsp(s, LOAD_DATA_PROGRAM, s.pass.savedConfig);
    sendIcsp(s, PROGRAM_COMMAND, 0);
    s.pass.readBack = sendIcsp(s, READ_DATA_PROGRAM, 0);
    return 0;
}

void eraseFromConfigSpace(Session& s, int command, int data, int ms) {
    sendIcsp(s, ENTER_PGM, 0);
    sendIcsp(s, LOAD_CONFIGURATION, 0x3FFF);
    sendIcsp(s, command, data);
    waitMs(s, ms);
}

namespace {

bool isMovlw(int word) {
    return (word & 0xF00) == 0xC00;
}

// From the configuration word, where the chip stands after entering, to the
// last code word; the backup calibration lies 5 words further, after the IDs.
void goToLastCodeWord(Session& s) {
    sendIcsp(s, ENTER_PGM, 0);
    for (s.pass.targetAddress = -1; s.pass.targetAddress < s.device.codeWords - 1;
         ++s.pass.targetAddress)
        sendIcsp(s, INCREMENT_ADDRESS, 0);
}

void toBackupCalibration(Session& s) {
    for (int i = 0; i < 5; ++i)
        sendIcsp(s, INCREMENT_ADDRESS, 0);
    s.pass.targetAddress += 5;
}

// Writes a calibration word back at the current address.
bool restore12BitCalibration(Session& s, int word) {
    if (programOnce12Bit(s, word)) return true;
    s.message =
        formatText("Write Error OSCCAL at: %04X\n", static_cast<unsigned>(s.pass.targetAddress));
    return false;
}

// The calibration words a 12-bit flash chip keeps across its erase; -1 where
// none is to be written back.
struct Calibration12 {
    int word = -1;
    int backup = -1;
};

// Reads the factory calibration before an erase. A protected chip reads 0 in
// code memory: the backup copy, readable all the same, stands in. Without a
// MOVLW in either place the user decides whether to erase without one.
bool readCalibration12Bit(Session& s, Calibration12& kept) {
    if (!s.device.calibration) return true;
    goToLastCodeWord(s);
    const int word = sendIcsp(s, READ_DATA_PROGRAM, 0) & 0xFFF;
    const int wordAt = s.pass.targetAddress;
    int backup = -1;
    if (s.device.calibrationBackup) {
        toBackupCalibration(s);
        backup = sendIcsp(s, READ_DATA_PROGRAM, 0) & 0xFFF;
    }
    const int found = isMovlw(word) ? word : isMovlw(backup) ? backup : -1;
    if (found < 0) {
        if (!eraseWithoutCalibration(s, wordAt, word, "MOVLW")) {
            s.message = kEraseCancelled;
            return false;
        }
        return true;
    }
    kept.word = found;
    if (s.device.calibrationBackup) kept.backup = isMovlw(backup) ? backup : found;
    return true;
}

}  // namespace

int erase12Bit(Session& s) {
    if (!algorithmOf(s.device).erasable) {
        s.message = kEpromNoErase;
        return 1;
    }
    Calibration12 kept;
    if (!readCalibration12Bit(s, kept)) return 1;

    // From the configuration word, where entry leaves the PC, a bulk erase
    // keeps the IDs and the backup calibration word; only from the first ID
    // location does it take them too (DS41227E, DS41228E Table 3-2).
    sendIcsp(s, ENTER_PGM, 0);
    for (int i = 0; i < s.device.codeWords + 1; ++i)
        sendIcsp(s, INCREMENT_ADDRESS, 0);
    sendIcsp(s, BULK_ERASE_PROGRAM, 0);  // the command layer waits its 10 ms

    if (kept.word < 0) return 0;
    goToLastCodeWord(s);
    if (!restore12BitCalibration(s, kept.word)) return 1;
    if (kept.backup < 0) return 0;
    toBackupCalibration(s);
    return restore12BitCalibration(s, kept.backup) ? 0 : 1;
}

void eraseRowFamily(Session& s, int command) {
    if (command == BULK_ERASE_PROGRAM) {
        sendIcsp(s, LOAD_CONFIGURATION, 0x3FFF);
        sendIcsp(s, BULK_ERASE_PROGRAM, 0x3FFF);
    } else {
        sendIcsp(s, BULK_ERASE_DATA, 0);
    }
    sendIcsp(s, PROGRAM_COMMAND, 0);
    waitMs(s, 20);
    // Begin Erase is externally timed on the 16F87/88 and 16F818/819
    // (DS39607B, DS39603C): End Programming ends it.
    sendIcsp(s, END_PROGRAMMING_ROW, 0);
}

}  // namespace erase_steps

using namespace erase_steps;

namespace {

int failedErase(Session& s, int read, const char* format, int address) {
    s.message = "Erase failed: the chip still reads " +
                formatText(format, static_cast<unsigned>(read), static_cast<unsigned>(address));
    return 1;
}

// A few reads that show whether an erase took: the configuration word's
// protection bits, the first code word and the first data byte, as far as
// the erase covered them.
int confirmErased(Session& s, bool code, bool data) {
    const ProtectionBits bits = protectionBits(s.device);
    const bool twelveBit = algorithmOf(s.device).twelveBit;
    const int config = readChipConfig(s) & (twelveBit ? 0xFFF : 0x3FFF);
    if (protectedBy(config, (code ? bits.code : 0) | (data ? bits.data : 0)))
        return failedErase(s, config, "%.4X at %.4X (configuration word).",
                           twelveBit ? 0xFFF : 0x2007);
    if (code) {
        sendIcsp(s, ENTER_PGM, 0);
        if (twelveBit) sendIcsp(s, INCREMENT_ADDRESS, 0);
        const int blank = twelveBit ? 0xFFF : 0x3FFF;
        const int word = sendIcsp(s, READ_DATA_PROGRAM, 0) & blank;
        if (word != blank) return failedErase(s, word, "%.4X at %.4X (code memory).", 0);
    }
    if (data && s.device.dataBytes > 0 && !twelveBit) {
        sendIcsp(s, ENTER_PGM, 0);
        const int byte = sendIcsp(s, READ_DATA_DATA, 0) & 0xFF;
        if (byte != 0xFF) return failedErase(s, byte, "%.2X at %.2X (data memory).", 0);
    }
    return 0;
}

// The calibration words a 14-bit chip keeps in configuration space, as read
// before an erase; -1 where the chip has none.
using ConfigCalibration = std::array<int, 2>;

// From the first ID word to `address` in configuration space.
void toConfigAddress(Session& s, int address) {
    sendIcsp(s, ENTER_PGM, 0);
    sendIcsp(s, LOAD_CONFIGURATION, 0x3FFF);
    for (s.pass.targetAddress = 0x2000; s.pass.targetAddress < address; ++s.pass.targetAddress)
        sendIcsp(s, INCREMENT_ADDRESS, 0);
}

ConfigCalibration readConfigCalibration(Session& s) {
    ConfigCalibration words{-1, -1};
    for (int i = 0; i < 2; ++i) {
        const int address = kCalibrationWordBase + i;
        if (!keepsCalibrationAt(s.device, address)) continue;
        toConfigAddress(s, address);
        words[static_cast<std::size_t>(i)] = sendIcsp(s, READ_DATA_PROGRAM, 0) & 0x3FFF;
    }
    return words;
}

// Writes back each calibration word the erase changed. A word that read
// erased before is not one to restore.
int restoreConfigCalibration(Session& s, const ConfigCalibration& before) {
    for (int i = 0; i < 2; ++i) {
        const int word = before[static_cast<std::size_t>(i)];
        if (word < 0 || word == 0x3FFF) continue;
        toConfigAddress(s, kCalibrationWordBase + i);
        s.pass.readBack = sendIcsp(s, READ_DATA_PROGRAM, 0) & 0x3FFF;
        if (s.pass.readBack == word) continue;
        s.pass.fileWord = word;
        if (programWord(s) != 0) {
            s.message = formatText("Write Error OSCCAL at: %04X\n",
                                   static_cast<unsigned>(s.pass.targetAddress));
            return 1;
        }
    }
    return 0;
}

// A family's erase, with the chip's calibration words in configuration space
// read first and written back when the erase changed them.
int eraseKeepingConfigCalibration(Session& s, int (*erase)(Session&)) {
    const ConfigCalibration kept = readConfigCalibration(s);
    if (erase(s) != 0) return 1;
    return restoreConfigCalibration(s, kept);
}

}  // namespace

ProtectionBits protectionBits(const DeviceRecord& d) {
    return algorithmOf(d).protection(d);
}

std::string eraseQuestion(const DeviceRecord& d, EraseKind kind) {
    if (kind == EraseKind::chip) return kDeletesMemory;
    if (kind == EraseKind::data) return kDeletesData;
    const int reach = algorithmOf(d).codeEraseAlso;
    const bool data = d.dataBytes > 0;
    std::vector<std::string> lost;
    if (data && (reach & kErasesData) != 0) lost.emplace_back("the data memory (EEPROM)");
    if ((reach & kErasesIds) != 0) lost.emplace_back("the ID locations");
    if ((reach & kErasesConfig) != 0) lost.emplace_back("the configuration word");
    if (data && (reach & kErasesProtectedData) != 0)
        lost.emplace_back("the data memory (EEPROM) if it is code protected");
    std::string text = kDeletesFlash;
    for (std::size_t i = 0; i < lost.size(); ++i) {
        text += i == 0 ? "\nOn this chip it also erases " : i + 1 < lost.size() ? ", " : " and ";
        text += lost[i];
    }
    return lost.empty() ? text : text + ".";
}

// Each family's erase is a step of its algorithm; what is shared (the refusals
// and the reads that confirm the erase) stays here.
int eraseChip(Session& s) {
    if (eraseKeepingConfigCalibration(s, algorithmOf(s.device).eraseChip) != 0) return 1;
    return confirmErased(s, true, true);
}

int eraseCodeMemory(Session& s) {
    if (eraseKeepingConfigCalibration(s, algorithmOf(s.device).eraseCode) != 0) return 1;
    return confirmErased(s, true, false);
}

int eraseDataMemory(Session& s) {
    const Family& f = algorithmOf(s.device);
    if (!f.dataMemory || s.device.dataBytes <= 0) {
        s.message = kNoDataMemory;
        return 1;
    }
    if (refusedAsProtected(s, protectionBits(s.device).data, kDataProtected)) return 1;
    if (f.eraseData(s) != 0) return 1;
    return confirmErased(s, false, true);
}

}  // namespace ferrolux
