#pragma once

#include "files/hex_image.h"
#include "session/device_record.h"

namespace ferrolux {

// The checksum MPLAB shows for an unprotected chip holding `image`, 16 bits:
// 12- and 14-bit chips: the sum of every code word of the chip (a word the
// image lacks counts as erased, FFF or 3FFF) plus each configuration word
// ANDed with the bits the chip implements (an absent one counts as erased).
// PIC18 chips: the sum of every code byte (erased FF) plus each implemented
// configuration byte ANDed with its mask (an absent one as its erased value).
// IDs and EEPROM are not part of it.
int chipChecksum(const DeviceRecord& d, const ChipImage& image);

}  // namespace ferrolux
