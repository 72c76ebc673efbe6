#pragma once

#include <cstdint>

namespace ferrolux {

class Session;

// Busy delay of 1 + count x multiplier tick-counter reads; the multiplier is
// 120, 60, 30 or 10 for speeds 0..3. A count of 0 counts as 2.
void speedDelay(Session& s, int count);
// The clock reads speedDelay(count) takes.
std::uint64_t delayReads(const Session& s, int count);

// Wait of at least `ms` milliseconds of real time: the thread sleeps through
// all but the last fraction of a millisecond and busy-reads the clock for the
// rest. waitMs(0) only reads the tick counter twice.
void waitMs(Session& s, int ms);

// Busy wait of at least `us` microseconds of real time, too short to let the
// window repaint.
void waitUs(Session& s, int us);

// Inside a stream of frames (an IcspStream) both waits above are the
// stream's: an FTDI adapter holds the lines through a short one in the same
// transfer. These two wait on the clock whatever runs, for a line driver
// that has sent what it holds.
void clockWaitMs(Session& s, int ms);
void clockWaitUs(Session& s, int us);

}  // namespace ferrolux
