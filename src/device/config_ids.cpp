#include "device/config_ids.h"

#include <string>

#include "device/family.h"
#include "device/program_word.h"
#include "files/device_list.h"
#include "link/delays.h"
#include "link/icsp.h"
#include "session/messages.h"
#include "session/session.h"

namespace ferrolux {

namespace {

constexpr int END_PROGRAMMING_ROW = 23;

void configWriteError(Session& s) {
    s.message = "Write Error Config-W" +
                formatText("\n\nWrote:  %04X", static_cast<unsigned>(s.chip.configWord)) +
                formatText("\nRead: %04X\n", static_cast<unsigned>(s.pass.readBack));
}

// The 12-bit core: on EPROM up to 50 pulses until the word reads back in
// its implemented bits, then 11 times as many more; on flash one. Bits
// without function (bits 1:0 of the 10F20x) are written as 1. False when it
// never read back.
bool writeConfig12Bit(Session& s) {
    s.chip.configWord |= functionlessConfigBits(s) & 0xFFF;
    const int mask = configMaskOf(s.device);
    for (int pulses = 1; pulses <= cycles12Bit(s, 50); ++pulses) {
        pulse12Bit(s, s.chip.configWord);
        s.pass.readBack = sendIcsp(s, READ_DATA_PROGRAM, 0);
        if ((s.pass.readBack & mask) != (s.chip.configWord & mask)) continue;
        overprogram12Bit(s, s.chip.configWord, pulses, 11);
        return true;
    }
    return false;
}

void writeConfig14Bit(Session& s) {
    const Family& f = algorithmOf(s.device);
    if (f.keepsBandgapBits)
        s.chip.configWord = (s.chip.configWord & 0x1FF) | (s.pass.readBack & 0x3000);
    sendIcsp(s, LOAD_DATA_PROGRAM, s.chip.configWord);
    f.commitConfig(s);
}

}  // namespace

void goToConfigWord(Session& s) {
    sendIcsp(s, LOAD_CONFIGURATION, 0x3FFF);
    for (int i = 0; i < 7; ++i)
        sendIcsp(s, INCREMENT_ADDRESS, 0);
}

int readConfigWord(Session& s) {
    sendIcsp(s, ENTER_PGM, 0);
    if (!algorithmOf(s.device).twelveBit) goToConfigWord(s);
    s.pass.readBack = sendIcsp(s, READ_DATA_PROGRAM, 0);
    s.chip.configWord = s.pass.readBack;
    if (s.device.config2Mask != 0 && !algorithmOf(s.device).twelveBit) {
        sendIcsp(s, INCREMENT_ADDRESS, 0);
        s.chip.config2Word = sendIcsp(s, READ_DATA_PROGRAM, 0) & 0x3FFF;
    }
    return 0;
}

namespace {

// The second configuration word, one address past the first, where the chip
// stands: loaded, committed as the first, read back and compared in its
// implemented bits.
int writeConfig2(Session& s) {
    const Family& f = algorithmOf(s.device);
    sendIcsp(s, INCREMENT_ADDRESS, 0);
    s.chip.config2Word &= 0x3FFF;
    sendIcsp(s, LOAD_DATA_PROGRAM, s.chip.config2Word);
    f.commitConfig(s);
    waitMs(s, 5);
    s.pass.readBack = sendIcsp(s, READ_DATA_PROGRAM, 0) & 0x3FFF;
    const int mask = s.device.config2Mask;
    if ((s.pass.readBack & mask) == (s.chip.config2Word & mask)) return 0;
    s.message = "Write Error Config-W2" +
                formatText("\n\nWrote:  %04X", static_cast<unsigned>(s.chip.config2Word)) +
                formatText("\nRead: %04X\n", static_cast<unsigned>(s.pass.readBack));
    return 1;
}

}  // namespace

int writeConfigWord(Session& s) {
    const Family& f = algorithmOf(s.device);
    const bool twelveBit = f.twelveBit;
    sendIcsp(s, ENTER_PGM, 0);
    if (!twelveBit) goToConfigWord(s);
    s.pass.readBack = sendIcsp(s, READ_DATA_PROGRAM, 0);
    if (twelveBit) {
        if (!writeConfig12Bit(s)) {
            configWriteError(s);
            return 1;
        }
    } else {
        writeConfig14Bit(s);
    }
    waitMs(s, 5);
    if (f.externallyTimed) {
        sendIcsp(s, ENTER_PGM, 0);
        goToConfigWord(s);
        sendIcsp(s, READ_DATA_PROGRAM, 0);
    }
    s.pass.readBack = sendIcsp(s, READ_DATA_PROGRAM, 0) & 0x3FFF;
    s.chip.configWord &= 0x3FFF;
    // Bits that do not read back as written (unimplemented ones, bit 10 of
    // the 16F87x) are not compared.
    const int mask = configMaskOf(s.device);
    if ((s.chip.configWord & mask) != (s.pass.readBack & mask)) {
        configWriteError(s);
        return 1;
    }
    if (twelveBit || s.device.config2Mask == 0) return 0;
    return writeConfig2(s);
}

std::array<int, 4> readIdWords(Session& s) {
    sendIcsp(s, ENTER_PGM, 0);
    if (algorithmOf(s.device).twelveBit) {
        for (int i = 0; i < s.device.codeWords + 1; ++i)
            sendIcsp(s, INCREMENT_ADDRESS, 0);
    } else {
        sendIcsp(s, LOAD_CONFIGURATION, 0x3FFF);
    }
    std::array<int, 4> ids{};
    for (int& id : ids) {
        id = sendIcsp(s, READ_DATA_PROGRAM, 0) & 0xF;
        sendIcsp(s, INCREMENT_ADDRESS, 0);
    }
    return ids;
}

int readIdLocations(Session& s) {
    s.chip.idValues = readIdWords(s);
    return 0;
}

int writeId12Bit(Session& s, int value) {
    for (int pulses = 1; pulses <= cycles12Bit(s, 1000); ++pulses) {
        if (!programOnce12Bit(s, value)) continue;
        // EPROM cells get the same overprogramming as code words.
        overprogram12Bit(s, value, pulses, 10);
        return 0;
    }
    return 1;
}

int writeIdLocations(Session& s) {
    const Family& f = algorithmOf(s.device);
    sendIcsp(s, ENTER_PGM, 0);
    if (f.twelveBit) {
        for (int i = 0; i < s.device.codeWords + 1; ++i)
            sendIcsp(s, INCREMENT_ADDRESS, 0);
        for (int i = 0; i < 4; ++i) {
            if (i > 0) sendIcsp(s, INCREMENT_ADDRESS, 0);
            if (writeId12Bit(s, s.chip.idValues[i]) != 0) {
                s.message = "Write Error ID" + std::to_string(i) + "!";
                return 1;
            }
        }
        return 0;
    }
    sendIcsp(s, LOAD_CONFIGURATION, 0x3FFF);
    for (auto& id : s.chip.idValues)
        id |= 0x3F80;
    if (f.idsInOneRow) {
        if (f.externallyTimed) {
            sendIcsp(s, PROGRAM_COMMAND, 0);
            waitMs(s, 10);
            sendIcsp(s, END_PROGRAMMING_ROW, 0);
        }
        for (int i = 0; i < 4; ++i) {
            if (i > 0) sendIcsp(s, INCREMENT_ADDRESS, 0);
            sendIcsp(s, LOAD_DATA_PROGRAM, s.chip.idValues[i]);
        }
        if (!f.externallyTimed) {
            sendIcsp(s, PROGRAM_COMMAND, 0);
        } else {
            sendIcsp(s, BEGIN_PROGRAMMING_ONLY, 0);
            waitMs(s, 10);
            sendIcsp(s, END_PROGRAMMING_ROW, 0);
            waitMs(s, 20);
            sendIcsp(s, LEAVE_PGM, 0);
        }
        return 0;
    }
    for (int i = 0; i < 4; ++i) {
        sendIcsp(s, LOAD_DATA_PROGRAM, s.chip.idValues[i]);
        f.commitWord(s);
        s.pass.readBack = sendIcsp(s, READ_DATA_PROGRAM, 0);
        if (s.pass.readBack != s.chip.idValues[i]) {
            s.message = "Write Error!";
            return 1;
        }
        if (i < 3) sendIcsp(s, INCREMENT_ADDRESS, 0);
    }
    return 0;
}

}  // namespace ferrolux
