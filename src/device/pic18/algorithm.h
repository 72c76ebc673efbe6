#pragma once

#include "session/device_record.h"

namespace ferrolux {

class Session;

// How the chips of one PIC18 group are programmed: the values in which the
// groups differ and the steps that differ. Family 11 is P18-A (18Fxx2/xx8,
// DS39576B), 12 is P18-A2 (18Fx220/x320, DS39592E), 13 is P18-B
// (18F2xxx/4xxx, DS39622L).
struct Pic18Algorithm {
    int family = 0;
    const char* document = "";

    // Bulk erase: `eraseKeyHigh` goes to 3C0005h first (-1: nothing), then
    // `eraseKeyLow` to 3C0004h.
    int eraseKeyHigh = -1;
    int eraseKeyLow = 0;

    // Code write buffer in bytes; 0: the chip's own (DeviceRecord).
    int bufferBytes = 0;
    // P10, the low time after a programming pulse or an erase.
    int p10Us = 0;
    // Configuration writes start with GOTO 100000h, so the program counter
    // sits outside every code-protected block (DS39576B Table 3-8 note 1).
    bool gotoBeforeConfig = false;

    // Readies the chip for buffer writes of code and IDs.
    void (*beginBufferWrites)(Session& s) = nullptr;
    // Writes one EEPROM byte, EEADR(H) and EEDATA already loaded and WREN
    // set; true when the write finished in time.
    bool (*writeDataByte)(Session& s) = nullptr;
};

// Programming pulse P9 (1 ms minimum in all three documents), with a margin.
inline constexpr int kPic18P9Us = 1200;
// Bulk erase P11 (5 ms minimum in all three documents), with a margin.
inline constexpr int kPic18P11Ms = 10;

// The algorithm of the selected chip's family; nullptr when it is no PIC18.
const Pic18Algorithm* pic18AlgorithmOf(const DeviceRecord& d);

// The code write buffer the chip takes: the group's, else the chip's own;
// 0 when the record gives no valid size.
int pic18BufferBytes(const Pic18Algorithm& a, const DeviceRecord& d);

}  // namespace ferrolux
