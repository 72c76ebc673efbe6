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
};

}  // namespace ferrolux
