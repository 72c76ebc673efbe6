#pragma once

#include <array>

namespace ferrolux {

class Session;

// The configuration word and the four ID locations. Each operation enters
// programming mode itself and leaves the chip there (family 7's ID write
// excepted); results are 0 for success, 1 with the message text filled.

int readConfigWord(Session& s);
int writeConfigWord(Session& s);
int readIdLocations(Session& s);
// The four ID nibbles as the chip holds them; the session's values stay.
std::array<int, 4> readIdWords(Session& s);
int writeIdLocations(Session& s);

// One 12-bit ID word at the chip's current address: on EPROM chips up to
// 1000 program cycles, then 10 times as many more as it took; on flash one.
int writeId12Bit(Session& s, int value);

// Moves a 14-bit chip to its configuration word at 0x2007.
void goToConfigWord(Session& s);

}  // namespace ferrolux
