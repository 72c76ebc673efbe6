#pragma once

#include <cstdint>

namespace ferrolux::platform {

// A parallel port reached at its base (data register) address.
class ParallelPort {
  public:
    virtual ~ParallelPort() = default;

    // Puts one byte on the data register at `base`. False when the port cannot be reached.
    virtual bool writeData(std::uint16_t base, std::uint8_t value) = 0;
    // Reads the data register (low byte) and the status register at base + 1
    // (high byte) as one word. False when the port cannot be reached.
    virtual bool readWord(std::uint16_t base, std::uint16_t& word) = 0;
};

}  // namespace ferrolux::platform
