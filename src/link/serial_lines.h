#pragma once

#include <cstdint>

namespace ferrolux {

class Session;

// Reads the serial board's modem status (CTS carries the chip's data bit, RING
// the board's presence loop); 0 when it cannot be read, and the port is lost then.
std::uint32_t readModemStatus(Session& s);

}  // namespace ferrolux
