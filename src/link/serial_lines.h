#pragma once

#include <cstdint>

namespace ferrolux {

class Session;

// Reads the serial board's modem status (CTS carries the chip's data bit, RING
// the board's presence loop); a failed read leaves the last status in force.
std::uint32_t readModemStatus(Session& s);

}  // namespace ferrolux
