#pragma once

#include <cstdint>

namespace ferrolux {

class Session;

// The ICSP signals on a serial port's modem lines. Which way each line is
// switched depends on the line sense found by board detection. On a port that
// is not open these do nothing.
void serialClockHigh(Session& s);  // RTS
void serialClockLow(Session& s);
void serialDataHigh(Session& s);  // DTR; high also releases the line to the chip
void serialDataLow(Session& s);
// Clock and data together, in one change of the port's lines.
void serialClockData(Session& s, bool clockHigh, bool dataHigh);
void serialVppOn(Session& s);  // TXD through the break state
void serialVppOff(Session& s);

// Reads the modem status; a failed read leaves the last status in force.
std::uint32_t readModemStatus(Session& s);

// The chip's data bit, seen on CTS (0 or 1).
int serialDataIn(Session& s);

}  // namespace ferrolux
