#pragma once

#include <cstdint>
#include <span>

namespace ferrolux {

class Session;
struct Pic18Algorithm;

// Special function registers in the access bank (DS39622L Tables 3-5 to 4-2).
inline constexpr int kTblptrU = 0xF8;
inline constexpr int kTblptrH = 0xF7;
inline constexpr int kTblptrL = 0xF6;
inline constexpr int kTablat = 0xF5;
inline constexpr int kEeadrH = 0xAA;
inline constexpr int kEeadr = 0xA9;
inline constexpr int kEedata = 0xA8;
inline constexpr int kEecon2 = 0xA7;
inline constexpr int kEecon1 = 0xA6;

// EECON1 bits.
inline constexpr int kEepgd = 7;
inline constexpr int kCfgs = 6;
inline constexpr int kWren = 2;
inline constexpr int kWr = 1;
inline constexpr int kRd = 0;

// Core instructions on access-bank registers.
inline constexpr int movlw(int k) {
    return 0x0E00 | (k & 0xFF);
}
inline constexpr int movwf(int f) {
    return 0x6E00 | (f & 0xFF);
}
inline constexpr int movfToW(int f) {
    return 0x5000 | (f & 0xFF);
}
inline constexpr int bsf(int f, int bit) {
    return 0x8000 | (bit << 9) | (f & 0xFF);
}
inline constexpr int bcf(int f, int bit) {
    return 0x9000 | (bit << 9) | (f & 0xFF);
}
inline constexpr int kNop = 0x0000;

// Steps on the chip the session reaches. Frames after a stop request are not
// sent: callers look at s.stopped.

void core(Session& s, int opcode);
// MOVLW value, MOVWF reg.
void loadRegister(Session& s, int reg, int value);
// TBLPTRU, TBLPTRH, TBLPTRL = address (DS39622L Table 3-5 step 2).
void setTablePointer(Session& s, int address);

// EECON1 set for code and IDs (EEPGD, not CFGS), configuration (EEPGD and
// CFGS) or data EEPROM (neither).
void accessCode(Session& s);
void accessConfig(Session& s);
void accessData(Session& s);

// Reads out.size() bytes from `address` on with TBLRD*+. 0 when read.
int readBytes(Session& s, int address, std::span<std::uint8_t> out);

// Loads an even number of bytes at `address` (a buffer boundary) into the
// write buffer and programs it: 1101 for every pair but the last, 1111 for
// the last, then the programming NOP (P9, P10).
void programBuffer(Session& s, const Pic18Algorithm& a, int address,
                   std::span<const std::uint8_t> bytes);

// Writes the configuration byte at `address` (0x300000 + k) with its own
// table pointer load: an even address takes the operand's low byte, an odd
// one its high byte; then the programming NOP.
void writeConfigByte(Session& s, const Pic18Algorithm& a, int address, int value);

// Loads EEADR (and EEADRH on chips with more than 256 bytes) with `offset`.
void setDataAddress(Session& s, int offset);
// Reads the EEPROM byte at `offset` (DS39622L Table 4-2). The byte, or a
// negative number when not read.
int readDataByte(Session& s, int offset);

// Polls EECON1 until WR clears, `nopBeforeShift` with a NOP before each
// shift-out (DS39622L Table 3-7). False when it did not clear in time.
bool waitWriteDone(Session& s, bool nopBeforeShift);

}  // namespace ferrolux
