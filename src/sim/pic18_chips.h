#pragma once

#include <array>
#include <cstdint>
#include <vector>

namespace ferrolux::sim {

// The PIC18 programming-algorithm groups a 13 V board can drive:
// a  = 18Fxx2/xx8 (DS39576B), a2 = 18Fx220/x320 (DS39592E),
// b  = 18F2xxx/4xxx (DS39622K/L).
enum class Pic18Group { a, a2, b };

inline constexpr int kPic18ConfigCount = 14;  // CONFIG1L .. CONFIG7H

// One configuration byte: the bits it implements (0: no such byte) and the
// value a bulk erase leaves, already cut to the mask.
struct Pic18ConfigByte {
    std::uint8_t mask = 0;
    std::uint8_t blank = 0;
};

// One chip as the table lists it.
struct Pic18Chip {
    const char* name;
    Pic18Group group;
    std::uint16_t deviceId;  // revision bits 0
    int codeBytes;
    int eepromBytes;
    int bufferBytes;
    std::array<Pic18ConfigByte, kPic18ConfigCount> config;
};

// Every PIC18 chip the simulator models (pic18_chips.cpp).
const std::vector<Pic18Chip>& pic18Chips();

}  // namespace ferrolux::sim
