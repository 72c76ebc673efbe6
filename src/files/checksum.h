#pragma once

#include "files/hex_image.h"
#include "session/device_record.h"
#include "session/session.h"

namespace ferrolux {

// The checksum MPLAB shows for an unprotected chip holding `image`, 16 bits:
// 12- and 14-bit chips: the sum of every code word of the chip (a word the
// image lacks counts as erased, FFF or 3FFF) plus each configuration word
// ANDed with the bits the chip implements (an absent one counts as erased).
// PIC18 chips: the sum of every code byte (erased FF) plus each implemented
// configuration byte ANDed with its mask (an absent one as its erased value).
// IDs and EEPROM are not part of it.
int chipChecksum(const DeviceRecord& d, const ChipImage& image);

// The file's `image` as the chip holds it after a write of code (with IDs)
// and configuration as asked, the chip erased first or not: the configuration
// written is the session's `values` (the file's, or what the user set),
// memories erased and not written are erased.
ChipImage heldAfterWrite(const DeviceRecord& d, ChipImage image, const ChipValues& values,
                         bool code, bool config, bool erased);

// The checksum of the hex readback `file` of chip `d`; -1 when it cannot be read.
int readbackChecksum(const DeviceRecord& d, const std::string& file);

}  // namespace ferrolux
