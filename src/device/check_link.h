#pragma once

namespace ferrolux {

class Session;

inline constexpr int kDevIdField = 1091;

// First step of every chip command: tests the programmer on the selected port
// and reads the device ID. 0 = failure (message text filled), 1 = chip without
// device ID, 2 = device ID read and shown.
int checkLink(Session& s);

// Reads the device ID at 0x2006 into the DEV-ID field. 0 = the chip type has
// none, 1 = read and shown, 2 = the chip answered 0x3FFF or 0.
int readDeviceId(Session& s);

}  // namespace ferrolux
