#pragma once

#include <array>
#include <vector>

namespace ferrolux {

class Session;

// Everything a readback takes from the chip, read once and formatted by both
// readback writers. Words are kept as the chip gave them.
struct ChipContents {
    std::vector<int> code;
    std::array<int, 4> ids{};  // low nibbles
    int deviceId = -1;         // 14-bit chips: the word at 0x2006
    int config = 0;
    int config2 = -1;                        // the second configuration word; -1 = none
    std::array<int, 2> calibration{-1, -1};  // kept words at 0x2008, 0x2009; -1 = none
    std::vector<int> data;                   // data memory bytes
};

// Reads the selected chip into `c`, clearing the session's blank flag on the
// first word that is not erased. 0, or 1 with the message filled when a
// 12-bit chip does not answer. Leaves the chip in programming mode.
int readChipContents(Session& s, ChipContents& c);

}  // namespace ferrolux
