#pragma once

#include "device/passes.h"
#include "files/hex_image.h"

namespace ferrolux {

class Session;

// Operations on the selected PIC18 chip (families 11 to 13, see
// Pic18Algorithm). Each enters programming mode, does its work and leaves
// programming mode. Each returns 0, or kPassFailed (passes.h) with
// `s.message` filled; verifying operations return kPassMismatch when a byte
// differs, the message naming its address (as in the hex file: code from 0,
// IDs 0x200000, configuration 0x300000, EEPROM 0xF00000) and both values,
// s.pass.targetAddress, fileWord and readBack set to them. Progress goes to
// s.reporter->progress with byte addresses.

// The parts of the chip a write or verify takes from the image.
struct Pic18Parts {
    bool code = true;
    bool ids = true;     // only when the image holds IDs
    bool data = true;    // EEPROM bytes the image holds
    bool config = true;  // configuration bytes the image holds
};

// Reads DEVID1/DEVID2 (0x3FFFFE/F): `id` is (DEVID2 << 8 | DEVID1) without
// the record's revision bits; `revision` (when given) gets those bits.
int pic18ReadDeviceId(Session& s, int& id, int* revision = nullptr);

// Erases code, IDs, configuration and EEPROM with the group's bulk erase.
int pic18Erase(Session& s);

// Writes the chosen parts of the image to an erased chip: code in
// buffer-sized blocks (blocks of FF bytes are left out), IDs, EEPROM bytes,
// then reads them back; then the configuration bytes (CONFIG6H last),
// read back too. Leaves the erase to the caller.
int pic18Write(Session& s, const ChipImage& image, const Pic18Parts& parts = {});

// Compares the chosen parts of the chip with the image: the code bytes and
// EEPROM bytes it holds, the IDs when it holds any, the configuration bytes
// it holds under each byte's mask.
int pic18Verify(Session& s, const ChipImage& image, const Pic18Parts& parts = {});

// Reads all of code memory, the IDs, the implemented configuration bytes
// (cut to their masks) and, with `data`, the EEPROM into `out`.
int pic18Read(Session& s, ChipImage::Bytes18& out, bool data);

}  // namespace ferrolux
