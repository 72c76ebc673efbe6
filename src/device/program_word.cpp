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

int programWord(Session& s, PassWord& w) {
    const bool data = w.address >= kDataMemoryStart;
    if (data) w.value &= 0xFF;
    for (int attempt = 0; attempt < 10; ++attempt) {
        sendIcsp(s, data ? LOAD_DATA_DATA : LOAD_DATA_PROGRAM, w.value);
        commitWord(s);
        w.read = sendIcsp(s, data ? READ_DATA_DATA : READ_DATA_PROGRAM, 0);
        if (data) w.read &= 0xFF;
        if (w.read == w.value) return 0;
    }
    return 1;
}

int programWord(Session& s) {
    PassWord w{s.pass.targetAddress, s.pass.fileWord, 0};
    const int r = programWord(s, w);
    s.pass.fileWord = w.value;
    s.pass.readBack = w.read;
    return r;
}

void pulse12Bit(Session& s, int value) {
    sendIcsp(s, LOAD_DATA_PROGRAM, value);
    sendIcsp(s, PROGRAM_COMMAND, 0);
    sendIcsp(s, END_PROGRAM_COMMAND, 0);
    // Flash cells: TDIS, 100 us for the programming voltage to discharge
    // before the next command (DS41227E, DS41228E).
    if (algorithmOf(s.device).erasable) waitUs(s, kDischargeUs);
}

bool programOnce12Bit(Session& s, int value, int& read) {
    pulse12Bit(s, value);
    read = sendIcsp(s, READ_DATA_PROGRAM, 0);
    return (read & 0xFFF) == value;
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

void setWriteError(Session& s, const PassWord& w, bool dataByte) {
    s.message = formatText("Write Error at: %04X\n", static_cast<unsigned>(w.address)) +
                valueText("\nWrote:  ", w.value, dataByte) +
                valueText("\nRead: ", w.read, dataByte) + "\n";
}

void setVerifyError(Session& s, const PassWord& w, bool dataByte) {
    s.message = formatText("Verify failed at Adr: %04X\n", static_cast<unsigned>(w.address)) +
                valueText("\nFile:    ", w.value, dataByte) +
                valueText("\nRead: ", w.read, dataByte) + "\n";
}

void showAddress(Session& s, const char* format, int address) {
    s.shown.statusText = formatText(format, static_cast<unsigned>(address));
    showProgress(s);
}

}  // namespace ferrolux
