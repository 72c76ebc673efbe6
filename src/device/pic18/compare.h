#pragma once

#include "device/pic18/pic18.h"

namespace ferrolux {

// Compares the chosen parts of the chip with the image, the chip already in
// programming mode (see pic18Verify). 0, kPassMismatch or kPassFailed.
int compareParts(Session& s, const ChipImage& image, const Pic18Parts& parts);

}  // namespace ferrolux
