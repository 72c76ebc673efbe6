#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "files/hex_image.h"
#include "session/device_record.h"

namespace ferrolux {

// Where a serial number goes in the chip.
enum class SerialPlace {
    eeprom,  // LEN bytes at an EEPROM offset
    code,    // a table of LEN RETLW instructions at a code address, one byte each
    ids,     // the ID locations: 4 nibbles (12- and 14-bit cores) or 8 bytes (PIC18)
};

// How the number is laid out in the bytes (or ID nibbles) of its place.
enum class SerialFormat {
    binary,        // big-endian binary (the default)
    littleEndian,  // binary, lowest byte first
    bcd,           // decimal digits, two per byte (one per ID nibble), most significant first
    ascii,         // decimal digits as ASCII characters, zero-padded, most significant first
};

struct SerialLocation {
    SerialPlace place = SerialPlace::eeprom;
    int address = 0;  // EEPROM offset, or code word address (PIC18: byte address)
    int length = 0;   // bytes (table entries); ids: 0, the chip's ID places
};

// The longest location taken: 20 ASCII digits hold any 64-bit number.
inline constexpr int kSerialLengthMax = 20;

// "eeprom:ADDR:LEN", "code:ADDR:LEN" or "ids"; ADDR hex (0x optional), LEN
// decimal. nullopt with `error` filled when it does not parse.
std::optional<SerialLocation> parseSerialLocation(std::string_view text, std::string& error);
// "be" (or "binary"), "le", "bcd", "ascii".
std::optional<SerialFormat> parseSerialFormat(std::string_view text, std::string& error);
// A serial number: decimal, or hex with 0x. nullopt when it is neither or too large.
std::optional<std::uint64_t> parseSerialNumber(std::string_view text);
// The number as the log and the messages show it: 0x and upper-case hex for
// the binary formats, decimal for BCD and ASCII (the digits the chip holds).
std::string serialText(std::uint64_t value, SerialFormat format);
std::string locationText(const SerialLocation& where);

// The units (bytes, or nibbles when `unitBits` is 4) that hold `value` in
// `count` units, in chip order; false with `error` filled when it does not fit.
bool encodeSerial(std::uint64_t value, SerialFormat format, int count, int unitBits,
                  std::vector<int>& units, std::string& error);

// Whether `where` lies inside chip `d` and holds numbers in `format` there;
// false with `error` filled. No number is looked at.
bool serialPlaceFits(const DeviceRecord& d, const SerialLocation& where, SerialFormat format,
                     std::string& error);

// Puts `value` into `image` at `where` in place of what the file has there,
// as chip `d` holds it: the image is then what write, verify and the checksum
// take. False with `error` filled, the image unchanged, when the place or the
// number does not fit.
bool applySerial(const DeviceRecord& d, const SerialLocation& where, SerialFormat format,
                 std::uint64_t value, ChipImage& image, std::string& error);

}  // namespace ferrolux
