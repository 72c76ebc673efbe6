#pragma once

namespace ferrolux {

class Session;

// Opens the selected COM port (9600 8N1) unless it is open, then runs the board
// test. 0 when a board answered or a parallel port is selected; 1 with the
// message text filled otherwise.
int openComPort(Session& s);

// The serial board loops TXD (break) back to RING. 0 when it answered, which
// also sets lineSense to 1; 1 otherwise.
int detectSerialBoard(Session& s);

// The AN589 adapter loops D0 back to ACK while D2 is clear; ACK reads 1 while
// D2 is set. 0 when the adapter answered, 1 otherwise.
int detectAn589(Session& s);

// The P16PRO / PP adapters loop D0 back to ACK. 0 when answered, 1 otherwise.
int detectP16Pro(Session& s);

}  // namespace ferrolux
