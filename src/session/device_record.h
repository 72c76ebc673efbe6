#pragma once

#include <string>

namespace ferrolux {

// The wait after Begin Programming, set by the chip's family: on the serial
// board, and on parallel adapters. 0 waits nothing.
struct ProgramWait {
    int serialUs = 0;
    int parallelUs = 0;
};

// The selected chip's parameters, taken from its line in the device list.
struct DeviceRecord {
    int listIndex = -1;          // position in the sorted chip list, -1 = none
    std::string name;            // at most 14 characters
    std::string configLabelKey;  // at most 4 characters
    int codeWords = 0;
    int dataBytes = 0;          // 0 = no data memory
    char lowVoltageFlag = 'N';  // 'Y' = low-voltage programming possible
    int family = 0;             // programming algorithm, 0..9 (8, 9 = 12-bit core)
    char deviceIdFlag = 'N';    // 'Y' = readable device ID
    int deviceId = -1;          // the listed device ID without revision bits; -1 = not listed
    // 12-bit core: a factory calibration word (MOVLW) in the last code word,
    // and its backup copy right after the four ID words.
    bool calibration = false;
    bool calibrationBackup = false;
    ProgramWait programWait;  // handed to the link by the device layer
};

// The revision bits of a device ID read from the chip.
inline constexpr int kDeviceIdRevisionMask = 0x001F;

// The 12-bit core (family 8 EPROM, 9 flash): no data memory, the
// configuration word where the chip stands after entering programming mode,
// the ID words right after the last code word.
inline bool twelveBitCore(const DeviceRecord& d) {
    return d.family == 8 || d.family == 9;
}

// 12-bit EPROM parts (PIC12C5xx): no electrical erase, short program pulses
// with overprogramming.
inline bool epromChip(const DeviceRecord& d) {
    return d.family == 8;
}

// 12-bit flash parts: bulk erase, one 2 ms program cycle per word.
inline bool flash12Bit(const DeviceRecord& d) {
    return d.family == 9;
}

}  // namespace ferrolux
