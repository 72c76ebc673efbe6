#pragma once

#include <cstdint>
#include <vector>

#include "session/reporter.h"

namespace ferrolux {

class Session;
struct Pic18Algorithm;

// What the PIC18 operations share: the algorithm, entering and leaving
// programming mode, the messages.

// The selected chip's algorithm; nullptr with the message set when the chip
// is no PIC18.
const Pic18Algorithm* algorithmFor(Session& s);

// Enters programming mode.
void beginOperation(Session& s);
// Leaves programming mode; a stop request that came meanwhile fails the
// operation. `result` otherwise.
int endOperation(Session& s, int result);

// A byte that differs: the message names both values.
int mismatchAt(Session& s, int address, int file, int read);

// Reports how far a pass has come.
void reportProgress(Session& s, Stage stage, bool data, int address, int done, int total);

// Reads `size` bytes from `address` on with one table pointer load, in
// chunks, each reported as `stage`. Empty when a stop request ended the read.
std::vector<std::uint8_t> readRegion(Session& s, int address, int size, Stage stage);

}  // namespace ferrolux
