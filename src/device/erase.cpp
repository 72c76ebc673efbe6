#include "device/erase.h"

#include "device/config_ids.h"
#include "device/messages.h"
#include "device/program_word.h"
#include "files/control_ids.h"
#include "link/delays.h"
#include "link/icsp.h"
#include "session/session.h"

namespace ferrolux {

namespace {

constexpr int BULK_ERASE_SETUP_1 = 1;
constexpr int BULK_ERASE_SETUP_2 = 7;
constexpr int CHIP_ERASE = 31;
constexpr int kCalibrationAddress = 0x3FF;  // fixed, whatever the code size
constexpr const char* kEpromNoErase = "EPROM chip: it can be erased only by UV light!";
constexpr const char* kNoDataMemory = "This PIC does not provide data memory!";
constexpr const char* kEraseCancelled = "Erase cancelled: nothing was erased.";

void setupAndErase(Session& s) {
    sendIcsp(s, BULK_ERASE_SETUP_1, 0);
    sendIcsp(s, BULK_ERASE_SETUP_2, 0);
    sendIcsp(s, PROGRAM_COMMAND, 0);
    waitMs(s, 20);
    sendIcsp(s, BULK_ERASE_SETUP_1, 0);
    sendIcsp(s, BULK_ERASE_SETUP_2, 0);
    waitMs(s, 20);
}

// Erases everything, configuration word included, from 0x2007.
void removeProtection(Session& s) {
    sendIcsp(s, ENTER_PGM, 0);
    goToConfigWord(s);
    setupAndErase(s);
}

void goToCalibrationWord(Session& s) {
    sendIcsp(s, ENTER_PGM, 0);
    for (s.targetAddress = 0; s.targetAddress < kCalibrationAddress; ++s.targetAddress) {
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
    return s.window->messageBox(question, "Warning!", ui::Buttons::okCancel) == ui::Answer::ok;
}

// Family 4: the factory calibration word at 0x3FF and the bandgap bits of
// the configuration word survive the erase.
int eraseKeepingCalibration(Session& s, bool wholeChip) {
    goToCalibrationWord(s);
    s.readBack = sendIcsp(s, READ_DATA_PROGRAM, 0);
    s.savedCalibration = s.readBack;
    const bool keepCalibration = (s.savedCalibration & 0x3F00) == 0x3400;
    if (!keepCalibration &&
        !eraseWithoutCalibration(s, kCalibrationAddress, s.savedCalibration, "RETLW")) {
        s.message = kEraseCancelled;
        return 1;
    }

    goToConfigWord(s);
    s.readBack = sendIcsp(s, READ_DATA_PROGRAM, 0);
    // Erasing the whole chip leaves code (bits 0-7) and data (bit 8) unprotected.
    s.savedConfig = wholeChip ? (s.readBack | 0x1FF) : s.readBack;

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
    s.readBack = sendIcsp(s, READ_DATA_PROGRAM, 0);
    s.fileWord = s.savedCalibration;
    if (keepCalibration && programWord(s) != 0) {
        s.message =
            formatText("Write Error OSCCAL at: %04X\n", static_cast<unsigned>(s.targetAddress));
        return 1;
    }
    goToConfigWord(s);
    sendIcsp(s, LOAD_DATA_PROGRAM, s.savedConfig);
    sendIcsp(s, PROGRAM_COMMAND, 0);
    s.readBack = sendIcsp(s, READ_DATA_PROGRAM, 0);
    return 0;
}

// ENTER_PGM, Load Configuration, then one erase command and its wait.
void eraseFromConfigSpace(Session& s, int command, int data, int ms = 20) {
    sendIcsp(s, ENTER_PGM, 0);
    sendIcsp(s, LOAD_CONFIGURATION, 0x3FFF);
    sendIcsp(s, command, data);
    waitMs(s, ms);
}

// Family 3 erases only with Bulk Erase Program Memory: from configuration
// space it takes code, IDs and configuration word, in about 30 ms.
void eraseFamily3(Session& s) {
    eraseFromConfigSpace(s, BULK_ERASE_PROGRAM, 0x3FFF, 30);
}

bool isMovlw(int word) {
    return (word & 0xF00) == 0xC00;
}

// From the configuration word, where the chip stands after entering, to the
// last code word; the backup calibration lies 5 words further, after the IDs.
void goToLastCodeWord(Session& s) {
    sendIcsp(s, ENTER_PGM, 0);
    for (s.targetAddress = -1; s.targetAddress < s.device.codeWords - 1; ++s.targetAddress)
        sendIcsp(s, INCREMENT_ADDRESS, 0);
}

void toBackupCalibration(Session& s) {
    for (int i = 0; i < 5; ++i)
        sendIcsp(s, INCREMENT_ADDRESS, 0);
    s.targetAddress += 5;
}

// Writes a saved calibration word back at the current address when it is one.
bool restore12BitCalibration(Session& s, int word) {
    if (!isMovlw(word) || writeId12Bit(s, word) == 0) return true;
    s.message = formatText("Write Error OSCCAL at: %04X\n", static_cast<unsigned>(s.targetAddress));
    return false;
}

// Family 8. EPROM parts have no electrical erase. Flash parts bulk-erase from
// the configuration word, which takes everything including the calibration
// word (a MOVLW in the last code word) and its backup after the IDs, so both
// are read first and written back.
int erase12Bit(Session& s) {
    if (epromChip(s.device)) {
        s.message = kEpromNoErase;
        return 1;
    }
    goToLastCodeWord(s);
    const int calibration = sendIcsp(s, READ_DATA_PROGRAM, 0) & 0xFFF;
    const int calibrationAt = s.targetAddress;
    toBackupCalibration(s);
    const int backup = sendIcsp(s, READ_DATA_PROGRAM, 0) & 0xFFF;
    // A protected chip reads 0; chips without calibration keep code there.
    if (calibration == 0 && !eraseWithoutCalibration(s, calibrationAt, calibration, "MOVLW")) {
        s.message = kEraseCancelled;
        return 1;
    }

    sendIcsp(s, ENTER_PGM, 0);
    sendIcsp(s, BULK_ERASE_PROGRAM, 0);
    waitMs(s, 10);

    goToLastCodeWord(s);
    if (!restore12BitCalibration(s, calibration)) return 1;
    toBackupCalibration(s);
    return restore12BitCalibration(s, backup) ? 0 : 1;
}

// Families 6 and 7 refuse to erase a memory whose protection bit is 0;
// otherwise `erase` runs from the configuration word, followed by a
// Begin Erase/Programming Cycle and its wait.
template <typename Erase>
int eraseUnlessProtected(Session& s, int bit, const char* refusal, Erase erase) {
    sendIcsp(s, ENTER_PGM, 0);
    goToConfigWord(s);
    s.readBack = sendIcsp(s, READ_DATA_PROGRAM, 0);
    if ((s.readBack & bit) == 0) {
        s.message = refusal;
        return 1;
    }
    erase();
    sendIcsp(s, PROGRAM_COMMAND, 0);
    waitMs(s, 20);
    return 0;
}

}  // namespace

int eraseChip(Session& s) {
    switch (s.device.family) {
        case 1:
            sendIcsp(s, ENTER_PGM, 0);
            sendIcsp(s, LOAD_CONFIGURATION, 0x3FFF);
            s.window->setText(ctl::kStatusField, "OK");
            s.window->repaint();
            for (int i = 0; i < 7; ++i)
                sendIcsp(s, INCREMENT_ADDRESS, 0);
            setupAndErase(s);
            return 0;
        case 2:
            removeProtection(s);
            return 0;
        case 3:
            eraseFamily3(s);
            return 0;
        case 4:
            return eraseKeepingCalibration(s, true);
        case 5:
            eraseFromConfigSpace(s, BULK_ERASE_PROGRAM, 0x3FFF);
            return 0;
        case 6:
        case 7:
            eraseFromConfigSpace(s, CHIP_ERASE, 0);
            return 0;
        case 8:
            return erase12Bit(s);
        default:
            return 0;
    }
}

int eraseCodeMemory(Session& s) {
    switch (s.device.family) {
        case 1:
            removeProtection(s);
            return 0;
        case 3:
            eraseFamily3(s);
            return 0;
        case 8:
            return erase12Bit(s);
        case 2:
            sendIcsp(s, ENTER_PGM, 0);
            sendIcsp(s, LOAD_DATA_PROGRAM, 0x7FFE);
            sendIcsp(s, BULK_ERASE_PROGRAM, 0);
            waitMs(s, 20);
            sendIcsp(s, PROGRAM_COMMAND, 0);
            waitMs(s, 20);
            return 0;
        case 4:
            return eraseKeepingCalibration(s, false);
        case 5:
            eraseFromConfigSpace(s, BULK_ERASE_PROGRAM, 0x3FFF);
            return 0;
        case 6:
        case 7:
            return eraseUnlessProtected(s, 0x2000, "Flash memory code protected!", [&s] {
                sendIcsp(s, LOAD_CONFIGURATION, 0x3FFF);
                sendIcsp(s, BULK_ERASE_PROGRAM, 0x3FFF);
            });
        default:
            return 0;
    }
}

int eraseDataMemory(Session& s) {
    if (s.device.family == 3 || s.device.family == 8 || s.device.dataBytes <= 0) {
        s.message = kNoDataMemory;
        return 1;
    }
    sendIcsp(s, ENTER_PGM, 0);
    switch (s.device.family) {
        case 1:
            sendIcsp(s, LOAD_DATA_DATA, 0x3FFF);
            setupAndErase(s);
            return 0;
        case 2:
            sendIcsp(s, LOAD_DATA_DATA, 0x7FFE);
            sendIcsp(s, BULK_ERASE_DATA, 0);
            sendIcsp(s, PROGRAM_COMMAND, 0);
            waitMs(s, 20);
            return 0;
        case 4:
        case 5:
            sendIcsp(s, BULK_ERASE_DATA, 0);
            waitMs(s, 20);
            return 0;
        case 6:
        case 7:
            return eraseUnlessProtected(s, 0x100, "Data EE memory code protected!",
                                        [&s] { sendIcsp(s, BULK_ERASE_DATA, 0); });
        default:
            return 0;
    }
}

}  // namespace ferrolux
