#pragma once

#include <cstdint>

namespace ferrolux {

class Session;

// Puts one byte on the parallel data register, complemented for inverted buffers.
void parallelWrite(Session& s, std::uint8_t value);

// Data register (low byte) and status register (high byte) as one word,
// complemented for inverted buffers; also kept as lastParallelWord. The chip's
// data bit is bit 14 (ACK).
std::uint16_t parallelRead(Session& s);

// Writes a P16PRO / PP image: bit 0 data, bit 1 clock, bit 2 power-up step,
// bit 3 Vpp off; the Vpp bit is routed to D3 or D4 as vppLine says.
void p16Put(Session& s, std::uint8_t image);

// The byte p16Put writes for `image` before any inversion.
std::uint8_t p16Route(char vppLine, std::uint8_t image);

}  // namespace ferrolux
