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

}  // namespace ferrolux
