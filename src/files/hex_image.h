#pragma once

#include <algorithm>
#include <array>
#include <cstdint>
#include <map>
#include <optional>
#include <string>

#include "session/device_record.h"

namespace ferrolux {

// One byte of a hex file, with the line that gave it.
struct HexByte {
    std::uint8_t value = 0;
    int line = 0;
};

// A hex file as it is on disk, read once: every data byte at its full address
// (extended segment and linear addresses applied), whatever order the records
// came in.
struct HexFile {
    std::map<std::uint32_t, HexByte> bytes;
    int dataRecords = 0;
    bool endRecord = false;
    int checksumErrorLine = 0;  // the first record whose checksum is wrong; 0 = none
};

// What the reader accepts besides plain 16-bit addresses.
struct HexRules {
    std::string chipName;        // named when a file is for a larger address space
    bool wideAddresses = false;  // extended addresses other than 0 are taken
};

// Reads the file at `path` into `out`. Records may come in any order; a byte
// given twice must be given the same value. Lines starting with ';' are
// comments anywhere; blank lines, white space around a line and a final
// Ctrl-Z are ignored. After the end record only comments and blank lines may
// follow: anything else means two files were joined or one was damaged.
// Wrong checksums are noted, not refused (the user is asked). True when read;
// false with `message` filled.
bool readHexFile(const std::string& path, const HexRules& rules, HexFile& out,
                 std::string& message);

// The blank (erased) value of a code word, ID or configuration word.
inline int blankWord(const DeviceRecord& d) {
    return twelveBitCore(d) ? 0xFFF : 0x3FFF;
}

// A hex file's contents as the selected chip takes them, by chip word
// address: code from 0, the IDs (0x2000, or right after the last code word on
// the 12-bit core), the configuration words (0x2007 and 0x2008, or 0xFFF) and
// the EEPROM bytes (0x2100 + k). Configuration and ID words are cut to the
// core's width.
struct ChipImage {
    std::map<int, int> words;
    int codeWords = 0;  // how many of `words` are code
    int dataBytes = 0;  // how many are EEPROM bytes
    std::optional<int> config;
    std::optional<int> config2;
    std::array<std::optional<int>, 4> ids;
    int paddingSkipped = 0;     // blank words past the chip, left out
    int keptSkipped = 0;        // device ID and calibration words the chip keeps, left out
    int checksumErrorLine = 0;  // as HexFile
    bool endRecord = true;

    bool hasIds() const { return ids[0] || ids[1] || ids[2] || ids[3]; }
    // The file brings EEPROM bytes of its own.
    bool hasData() const { return dataBytes > 0 || !pic18.data.empty(); }
    bool empty() const {
        const bool ids18 = std::any_of(pic18.ids.begin(), pic18.ids.end(),
                                       [](const auto& id) { return id.has_value(); });
        const bool config18 = std::any_of(pic18.config.begin(), pic18.config.end(),
                                          [](const auto& c) { return c.has_value(); });
        return words.empty() && pic18.code.empty() && pic18.data.empty() && !ids18 && !config18;
    }

    // PIC18 chips: the file by byte, in the chip's own addresses. `words`
    // stays empty for them, and codeWords and dataBytes count bytes.
    struct Bytes18 {
        std::map<std::uint32_t, std::uint8_t> code;  // 0 .. codeWords * 2 - 1
        std::array<std::optional<std::uint8_t>, kPic18IdBytes> ids;
        // 0x300000 + k; only bytes the chip implements, cut to its mask
        std::array<std::optional<std::uint8_t>, kPic18ConfigBytes> config;
        std::map<int, std::uint8_t> data;  // EEPROM byte k (0xF00000 + k in the file)
    } pic18;
};

// The first word address of the ID locations of chip `d`.
int idAddressOf(const DeviceRecord& d);
// The word address of the configuration word of chip `d`.
int configAddressOf(const DeviceRecord& d);
inline constexpr int kDataWordBase = 0x2100;
inline constexpr int kDeviceIdAddress = 0x2006;

// Fits a read file to chip `d`: every word must lie in one of the chip's
// places with a value that fits it. Words past the chip that hold only the
// blank value are padding and left out, as are the device ID and the
// calibration words the chip keeps (a readback may carry them). Bits above the core's width of a
// configuration or ID word must all be 1. True when the file fits; false with
// `message` filled, naming the line.
bool fitHexFile(const HexFile& file, const DeviceRecord& d, ChipImage& out, std::string& message);

// fitHexFile for a PIC18 chip: byte by byte into ChipImage::pic18. The
// configuration places the chip leaves out are skipped whatever they hold;
// code and EEPROM past the chip only as FF.
bool fitPic18File(const HexFile& file, const DeviceRecord& d, ChipImage& out, std::string& message);

// How a file for chip `d` is read: PIC18 files carry extended linear addresses.
inline HexRules hexRulesFor(const DeviceRecord& d) {
    return {d.name, pic18Core(d)};
}

// Reads and fits in one step: the file opened once.
bool readChipImage(const std::string& path, const DeviceRecord& d, ChipImage& out,
                   std::string& message);

}  // namespace ferrolux
