#pragma once

#include <array>
#include <vector>

#include "session/device_record.h"

namespace ferrolux {

class Session;

// Single parts of a PIC18 chip for the dialogs, each in its own stay in
// programming mode. 0, or kPassFailed with the message filled.

// The configuration bytes, each cut to its mask (0 where the chip has none).
int pic18ReadConfig(Session& s, std::array<int, kPic18ConfigBytes>& out);

// The EEPROM, every byte of it.
int pic18ReadData(Session& s, std::vector<int>& out);

// Whether configuration bytes protect code (CONFIG5L CP bits, CONFIG5H CPB)
// or data (CONFIG5H CPD) from reading: bit 0 code, bit 1 data.
int pic18Protection(const DeviceRecord& d, const std::array<int, kPic18ConfigBytes>& config);

}  // namespace ferrolux
