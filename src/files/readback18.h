#pragma once

#include <string>

#include "files/hex_image.h"

namespace ferrolux {

// What a PIC18 chip holds, read back whole.
struct Pic18Contents {
    ChipImage::Bytes18 bytes;  // every code, ID, configuration and EEPROM byte
    int deviceId = -1;         // DEVID2:DEVID1 as read
};

// The INHX32 file of a PIC18 readback: code, then the IDs (0x200000), the
// configuration bytes (0x300000) and the EEPROM (0xF00000), each after its
// extended linear address record; 16 bytes per record, CR LF line ends.
std::string pic18HexText(const Pic18Contents& chip);

// The listing: code in lines of 16 bytes, IDs, device ID, configuration
// bytes by name (CONFIG1L ...), EEPROM in lines of 16 bytes (from F00000).
std::string pic18ListingText(const DeviceRecord& d, const Pic18Contents& chip);

}  // namespace ferrolux
