#pragma once

namespace ferrolux {

class Session;

// A word a pass handles: its chip address, the value it should hold, and
// what the chip read there last.
struct PassWord {
    int address = 0;
    int value = 0;
    int read = 0;
};

// Writes `w.value` at the chip's current address, `w.address` (data memory
// from 0x2010 up, where only the low byte counts), with up to 10 attempts of
// load, commit by family and read-back. 0 when the word read back, 1 when
// every attempt failed; the last read stays in `w.read`.
int programWord(Session& s, PassWord& w);
// The same on the session's target address and file word, for the erases.
int programWord(Session& s);

// The failure texts of the passes, for program memory words or data bytes.
void setWriteError(Session& s, const PassWord& w, bool dataByte);
void setVerifyError(Session& s, const PassWord& w, bool dataByte);

// One program pulse of the 12-bit core with `value` at the chip's current
// address: Load Data, Begin Programming, End Programming. The command layer
// times the pulse.
void pulse12Bit(Session& s, int value);

// One pulse of `value` at the current address, read back into `read`: true
// when its low 12 bits hold the value.
bool programOnce12Bit(Session& s, int value, int& read);
// The same, read back into the session's readBack.
bool programOnce12Bit(Session& s, int value);

// The program cycles a 12-bit word may take before it counts as failed:
// `epromCycles` on EPROM cells; flash cells take a word in one cycle.
int cycles12Bit(const Session& s, int epromCycles);

// A 12-bit word read back after `pulses` pulses, the one that verified
// included: EPROM cells get `factor` times as many more to hold it; flash
// cells need none.
void overprogram12Bit(Session& s, int value, int pulses, int factor);

// Shows a progress text such as "Contr-Adr: %04X\n" in the status field.
void showAddress(Session& s, const char* format, int address);

}  // namespace ferrolux
