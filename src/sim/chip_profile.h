#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace ferrolux::sim {

// What a virtual chip is: its memories, its configuration word and the
// programming algorithm it follows.
struct ChipProfile {
    std::string name;
    // Programming-algorithm family: 1..7 and 10 are 14-bit cores, 8 and 9 the
    // 12-bit core (8 EPROM, 9 flash).
    int family = 1;
    int codeWords = 1024;  // including a factory calibration word
    int dataBytes = 64;
    bool hasDeviceId = true;
    std::uint16_t deviceId = 0x0560;
    // Family 8: one-time (or UV-erased) EPROM cells instead of flash.
    bool eprom = false;

    // Configuration word: implemented bits keep what is written; the others
    // read 1, except those in configReadsZero.
    std::uint16_t configImplemented = 0x3FFF;
    std::uint16_t configReadsZero = 0;
    // A 0 in any of these configuration bits protects program or data memory.
    std::uint16_t codeProtectBits = 0;
    std::uint16_t dataProtectBits = 0;

    // Factory calibration word in the last code word (RETLW or MOVLW).
    std::optional<std::uint16_t> calibration;
    // Flash 12-bit parts keep a copy of it right after the ID words.
    bool calibrationBackup = false;
    // Family 4: factory bandgap bits 13:12 of the configuration word.
    std::uint16_t bandgap = 0;

    // Self-timed Begin Programming (8 but on family 7).
    std::uint64_t programTimeNs = 15'000'000;
    // An erase that 8 runs on families 1-3 (after 1+7 or an armed 9/11).
    std::uint64_t eraseCycleTimeNs = 20'000'000;
    // Self-timed bulk erase (9 on families 3-7 and flash family 8, 11 on 4-7).
    std::uint64_t bulkEraseTimeNs = 10'000'000;
    // Chip Erase (31).
    std::uint64_t chipEraseTimeNs = 20'000'000;
    // Externally timed programming: least time from its begin to its end
    // command (family 3: 8..14, families 6, 7: 24..23, family 8: 8..14).
    std::uint64_t externalProgramTimeNs = 0;
    // Family 7: least time from Begin Erase (8) to End Programming (23).
    std::uint64_t externalEraseTimeNs = 0;
    // Program-memory write latches per row (families 6, 7); 1 elsewhere.
    int rowWords = 1;
    // Write latches that keep what was loaded, IDs and configuration words
    // included, until programming mode is left (12F683/16F6xx 4, 16F88x 8,
    // 16F913/914 4, 916/917 8: DS41204G, DS41287C 3.2.4, DS41244E 3.1.4). A
    // Begin Programming on program memory programs every latch of the
    // row, a stale one too; 0: none of this.
    int writeLatches = 0;

    // Today's mid-range chips (16F6xx, 16F91x, 16F88x, 12F683, 12F615/16F616):
    // Begin Programming externally timed (24) ended by End Programming (10);
    // a program-memory bulk erase from configuration space leaves the data
    // memory and its protection to Bulk Erase Data Memory.
    bool endProgramming10 = false;
    // No Begin Programming internally timed (8) and no data memory commands
    // (12F615/16F616).
    bool noCommand8 = false;
    // A second configuration word at 0x2008: its implemented bits (the
    // others read 1); 0 = none.
    std::uint16_t config2Implemented = 0;
    // Factory calibration words at 0x2008 and 0x2009 (configuration space).
    std::optional<std::uint16_t> calibration2008;
    std::optional<std::uint16_t> calibration2009;

    bool twelveBit() const { return family == 8 || family == 9; }
    // The calibration word at configuration offset 8 or 9, if the chip has one.
    std::optional<std::uint16_t> configCalibration(std::size_t offset) const {
        if (offset == 8) return calibration2008;
        if (offset == 9) return calibration2009;
        return std::nullopt;
    }
    std::uint16_t wordMask() const { return twelveBit() ? 0x0FFF : 0x3FFF; }
    // The configuration word as the chip reads it back after `written`.
    std::uint16_t configRead(std::uint16_t written) const;
    // The second configuration word as the chip reads it back after `written`.
    std::uint16_t config2Read(std::uint16_t written) const;
    // The configuration word of a bulk-erased chip.
    std::uint16_t configErased() const { return configRead(0x3FFF); }
    bool codeProtectedBy(std::uint16_t config) const;
    bool dataProtectedBy(std::uint16_t config) const;
};

// A few real parts, by name.
ChipProfile pic16f84a();
ChipProfile pic16f628a();
ChipProfile pic16f877();
// Every chip the device list ships.
const std::vector<ChipProfile>& knownProfiles();
// Case-insensitive lookup ("pic16f84a" or "16F84A").
std::optional<ChipProfile> findProfile(std::string_view name);

}  // namespace ferrolux::sim
