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

// Family 4: the factory calibration word at 0x3FF and the bandgap bits of
// the configuration word survive the erase.
int eraseKeepingCalibration(Session& s, bool wholeChip) {
    goToCalibrationWord(s);
    s.readBack = sendIcsp(s, READ_DATA_PROGRAM, 0);
    s.savedCalibration = s.readBack;

    goToConfigWord(s);
    s.readBack = sendIcsp(s, READ_DATA_PROGRAM, 0);
    s.savedConfig = wholeChip ? (s.readBack | 0xFF) : s.readBack;

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
    if (programWord(s) != 0) {
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
void eraseFromConfigSpace(Session& s, int command, int data) {
    sendIcsp(s, ENTER_PGM, 0);
    sendIcsp(s, LOAD_CONFIGURATION, 0x3FFF);
    sendIcsp(s, command, data);
    waitMs(s, 20);
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
        case 3:
        case 8:
            removeProtection(s);
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
        default:
            return 0;
    }
}

int eraseCodeMemory(Session& s) {
    switch (s.device.family) {
        case 1:
        case 3:
        case 8:
            removeProtection(s);
            return 0;
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
    sendIcsp(s, ENTER_PGM, 0);
    switch (s.device.family) {
        case 1:
        case 3:
        case 8:
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
