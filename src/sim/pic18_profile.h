#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "sim/pic18_chips.h"

namespace ferrolux::sim {

// Byte addresses of a PIC18 chip's places.
inline constexpr std::uint32_t kPic18IdAddress = 0x200000;
inline constexpr int kPic18IdCount = 8;
inline constexpr std::uint32_t kPic18ConfigAddress = 0x300000;
inline constexpr std::uint32_t kPic18EraseControl = 0x3C0004;  // 3C0004h..3C0005h
inline constexpr std::uint32_t kPic18PanelControl = 0x3C0006;  // 18Fxx2/xx8 only
inline constexpr std::uint32_t kPic18DeviceIdAddress = 0x3FFFFE;

// Configuration bytes that hold protection bits (index from 0x300000).
inline constexpr int kConfig5L = 8;   // CP3:CP0
inline constexpr int kConfig5H = 9;   // CPD bit 7, CPB bit 6
inline constexpr int kConfig6L = 10;  // WRT3:WRT0
inline constexpr int kConfig6H = 11;  // WRTD bit 7, WRTB bit 6, WRTC bit 5

// What a virtual PIC18 chip is: memories, configuration bytes, write buffer,
// group and the times the group's document asks of a host.
struct Pic18Profile {
    std::string name;
    Pic18Group group = Pic18Group::b;
    std::uint16_t deviceId = 0;  // DEVID2:DEVID1, revision included
    int codeBytes = 0;
    int eepromBytes = 0;
    int bufferBytes = 8;
    std::array<Pic18ConfigByte, kPic18ConfigCount> config{};
    // Code-protection layout: the boot block, then equal blocks, one per CP bit.
    int bootBytes = 512;
    int blockBytes = 8192;

    // P9: least time the 4th clock of the programming NOP stays high.
    std::uint64_t p9Ns = 1'000'000;
    // P10: least time the clock then stays low (DS39576B/DS39592E 5 us,
    // DS39622L 100 us).
    std::uint64_t p10Ns = 5'000;
    // P11: bulk erase time, from the second NOP on, P10 added after it.
    std::uint64_t p11Ns = 5'000'000;
    // P11A: a self-timed data EEPROM write (DS39622L 4 ms); WR reads 1 meanwhile.
    std::uint64_t p11aNs = 4'000'000;

    // 18Fxx2/xx8: one write buffer per 8 KB panel, multi-panel mode by 3C0006h.
    bool panels() const { return group == Pic18Group::a; }
    // 55h, AAh to EECON2 before WR (DS39576B Table 3-6, DS39592E Table 3-5);
    // DS39622L Table 3-7 has no such step.
    bool needsUnlock() const { return group != Pic18Group::b; }
    // -1: boot block; 0..n: block n; -2: no block (past the code).
    int blockOf(std::uint32_t address) const;
};

Pic18Profile pic18Profile(const Pic18Chip& chip);
// "PIC18F452" or "18f452"; nullopt for a chip not modelled.
std::optional<Pic18Profile> findPic18Profile(std::string_view name);

// A PIC18 chip's cells, bytes in chip order.
struct Pic18Memory {
    std::vector<std::uint8_t> code;
    std::array<std::uint8_t, kPic18IdCount> ids{};
    std::array<std::uint8_t, kPic18ConfigCount> config{};
    std::vector<std::uint8_t> eeprom;

    // A chip as a bulk erase leaves it.
    static Pic18Memory blank(const Pic18Profile& profile);
    bool operator==(const Pic18Memory&) const = default;
};

}  // namespace ferrolux::sim
