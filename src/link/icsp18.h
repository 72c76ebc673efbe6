#pragma once

#include <cstdint>
#include <span>

namespace ferrolux {

class Session;

// PIC18 ICSP commands: a 4-bit code, then a 16-bit operand, both LSb first
// (DS39622L Table 2-8, DS39576B Table 2-3).
inline constexpr int kCoreInstruction = 0x0;
inline constexpr int kShiftOutTablat = 0x2;
inline constexpr int kTableRead = 0x8;
inline constexpr int kTableReadPostIncrement = 0x9;
inline constexpr int kTableReadPostDecrement = 0xA;
inline constexpr int kTableReadPreIncrement = 0xB;
inline constexpr int kTableWrite = 0xC;
inline constexpr int kTableWritePostIncrement2 = 0xD;
inline constexpr int kTableWriteStartPostIncrement2 = 0xE;
inline constexpr int kTableWriteStart = 0xF;

// Every function below returns ICSP_NOT_SENT (icsp.h) when the session's stop
// request has ended programming mode: the first frame after the request
// leaves programming mode instead, and nothing follows it.

// Raises VDD first, then Vpp (DS39622L Figure 2-11, P13), as the wiring can;
// the serial board switches Vpp only. 0 when sent.
int icsp18Enter(Session& s);
// Drops Vpp, then VDD where the wiring switches it. 0 when sent; after a
// stop request programming mode has been left already.
int icsp18Leave(Session& s);

// One 4-bit command with its 16-bit operand. 0 when sent.
int icsp18Send(Session& s, int command, int operand);
// A core instruction (command 0000) with `opcode`.
inline int icsp18Core(Session& s, int opcode) {
    return icsp18Send(s, kCoreInstruction, opcode);
}

// A table read (1000 to 1011) or a TABLAT shift-out (0010): 8 clocks with
// the data line low, the line released, a pause (P6), then 8 clocks whose
// bits the chip drives LSb first. The byte read, or ICSP_NOT_SENT.
int icsp18Read(Session& s, int command);
// `out.size()` reads of `command` in a row, collected in groups of frames
// so a buffered adapter sends each group in one transfer. 0 when all were
// read.
int icsp18ReadBytes(Session& s, int command, std::span<std::uint8_t> out);

// The NOP that follows a 1111 or 1110 command: its 4th clock is held high
// for `highUs` (P9), then low for `lowUs` (P10), then the operand goes out.
int icsp18ProgramNop(Session& s, int highUs, int lowUs);
// The NOP that ends a bulk erase: after its 4th clock the clock and data
// lines are held low for `holdMs` (P11) and `lowUs` (P10), then the operand
// goes out.
int icsp18EraseNop(Session& s, int holdMs, int lowUs);

}  // namespace ferrolux
