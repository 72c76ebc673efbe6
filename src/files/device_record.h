#pragma once

#include <string>

namespace ferrolux {

// The selected chip's parameters, taken from its line in the device list.
struct DeviceRecord {
    int listIndex = -1;          // position in the sorted chip list, -1 = none
    std::string name;            // at most 14 characters
    std::string configLabelKey;  // at most 4 characters
    int codeWords = 0;
    int dataBytes = 0;          // 0 = no data memory
    char lowVoltageFlag = 'N';  // 'Y' = low-voltage programming possible
    int family = 0;             // programming algorithm, 1..8 (8 = 12-bit core)
    char deviceIdFlag = 'N';    // 'Y' = readable device ID
    int deviceId = -1;          // the listed device ID without revision bits; -1 = not listed
};

// The revision bits of a device ID read from the chip.
inline constexpr int kDeviceIdRevisionMask = 0x001F;

// 12-bit EPROM parts (PIC12C5xx): no electrical erase, short program pulses
// with overprogramming.
inline bool epromChip(const DeviceRecord& d) {
    return d.family == 8 && d.name.starts_with("PIC12C");
}

}  // namespace ferrolux
