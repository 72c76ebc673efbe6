#pragma once

namespace ferrolux {

class Session;

// ICSP command numbers (Microchip names) and the two pseudo-commands that
// switch programming mode.
inline constexpr int LOAD_CONFIGURATION = 0;
inline constexpr int LOAD_DATA_PROGRAM = 2;
inline constexpr int LOAD_DATA_DATA = 3;
inline constexpr int READ_DATA_PROGRAM = 4;
inline constexpr int READ_DATA_DATA = 5;
inline constexpr int INCREMENT_ADDRESS = 6;
inline constexpr int PROGRAM_COMMAND = 8;  // Begin Erase/Programming Cycle
inline constexpr int BULK_ERASE_PROGRAM = 9;
inline constexpr int BULK_ERASE_DATA = 11;
inline constexpr int END_PROGRAM_COMMAND = 14;
inline constexpr int BEGIN_PROGRAMMING_ONLY = 24;
inline constexpr int ENTER_PGM = 65;
inline constexpr int LEAVE_PGM = 66;

// Results besides a word read or 0.
inline constexpr int ICSP_NO_TREATMENT = -1;  // command bits sent, nothing else done
inline constexpr int ICSP_NOT_SENT = -2;      // number above 63: nothing sent

// Clocks one 6-bit command into the chip on the selected port and adapter, then
// does what the command needs: sends `data` (bits 0..13) for a load, returns the
// 14-bit word for a read, or waits for a programming or erase cycle.
int sendIcsp(Session& s, int command, int data);

}  // namespace ferrolux
