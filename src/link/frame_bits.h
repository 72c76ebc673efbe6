#pragma once

#include <initializer_list>

#include "link/line_driver.h"

namespace ferrolux::frame_bits {

// The level for bit `n` of `value`.
inline DataOut bitOf(int value, int n) {
    return ((value >> n) & 1) != 0 ? DataOut::high : DataOut::low;
}

// Bit delays of the given speedDelay counts; 0 waits nothing.
inline void delays(LineDriver& d, std::initializer_list<int> counts) {
    for (int count : counts)
        if (count != 0) d.delay(count);
}

// One clock pulse with `data` on the line from its rising edge on; the chip
// latches it on the falling edge.
inline void pulse(LineDriver& d, DataOut data, int high0, int high1 = 0) {
    d.put({true, data});
    delays(d, {high0, high1});
    d.put({false, data});
    delays(d, {d.timing().low});
}

}  // namespace ferrolux::frame_bits
