#include "device/program_word.h"

#include "device/family.h"
#include "files/hex_input.h"
#include "link/delays.h"
#include "link/icsp.h"
#include "session/messages.h"
#include "session/session.h"

namespace ferrolux {

namespace {

constexpr int kDataMemoryStart = 0x2010;
constexpr int kDischargeUs = 100;

void commitWord(Session& s) {
    algorithmOf(s.device).commitWord(s);
}

std::string valueText(const char* label, int value, bool dataByte) {
    return formatText(dataByte ? "%s%02X" : "%s%04X", label, static_cast<unsigned>(value));
}

}  // namespace

int programWord(Session& s) {
    const bool data = s.pass.targetAddress >= kDataMemoryStart;
    for (int attempt = 0; attempt < 10; ++attempt) {
        sendIcsp(s, data ? LOAD_DATA_DATA : LOAD_DATA_PROGRAM, s.pass.fileWord);
        commitWord(s);
        s.pass.readBack = sendIcsp(s, data ? READ_DATA_DATA : READ_DATA_PROGRAM, 0);
        if (data) {
            s.pass.readBack &= 0xFF;
            s.pass.fileWord &= 0xFF;
        }
        if (s.pass.readBack == s.pass.fileWord) return 0;
    }
    return 1;
}

void pulse12Bit(Session& s, int value) {
    sendIcsp(s, LOAD_DATA_PROGRAM, value);
    sendIcsp(s, PROGRAM_COMMAND, 0);
    sendIcsp(s, END_PROGRAM_COMMAND, 0);
    // Flash cells: TDIS, 100 us for the programming voltage to discharge
    // before the next command (DS41227E, DS41228E).
    if (algorithmOf(s.device).erasable) waitUs(s, kDischargeUs);
}

bool programOnce12Bit(Session& s, int value) {
    pulse12Bit(s, value);
    s.pass.readBack = sendIcsp(s, READ_DATA_PROGRAM, 0);
    return (s.pass.readBack & 0xFFF) == value;
}

int cycles12Bit(const Session& s, int epromCycles) {
    return !algorithmOf(s.device).erasable ? epromCycles : 1;
}

void overprogram12Bit(Session& s, int value, int pulses, int factor) {
    if (algorithmOf(s.device).erasable) return;
    for (int i = 0; i < factor * pulses; ++i)
        pulse12Bit(s, value);
}

void setWriteError(Session& s, bool dataByte) {
    s.message = formatText("Write Error at: %04X\n", static_cast<unsigned>(s.pass.targetAddress)) +
                valueText("\nWrote:  ", s.pass.fileWord, dataByte) +
                valueText("\nRead: ", s.pass.readBack, dataByte) + "\n";
}

void setVerifyError(Session& s, bool dataByte) {
    s.message =
        formatText("Verify failed at Adr: %04X\n", static_cast<unsigned>(s.pass.targetAddress)) +
        valueText("\nFile:    ", s.pass.fileWord, dataByte) +
        valueText("\nRead: ", s.pass.readBack, dataByte) + "\n";
}

void showAddress(Session& s, const char* format, int address) {
    s.shown.statusText = formatText(format, static_cast<unsigned>(address));
    showProgress(s);
}

}  // namespace ferrolux
