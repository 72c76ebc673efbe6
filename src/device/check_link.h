#pragma once

#include <string>

namespace ferrolux {

class Session;

// Why a link check failed: the port or adapter did not answer, or no chip did.
enum class LinkFailure { none, port, noChip };

// First step of every chip command: tests the programmer on the selected port
// and reads the device ID. 0 = failure (message text filled, `why` set when
// given), 1 = chip without device ID, 2 = device ID read and shown.
int checkLink(Session& s, LinkFailure* why = nullptr);

// After entering programming mode a 12-bit chip stands at its configuration
// word, which never reads as 14 bits of ones: read so, the socket is empty.
inline bool emptyTwelveBitSocket(int configWordRead) {
    return configWordRead == 0x3FFF;
}

// Reads the device ID at 0x2006 into the DEV-ID field. 0 = the chip type has
// none, 1 = read and shown, 2 = the chip answered 0x3FFF or 0.
int readDeviceId(Session& s);

// The DEV-ID field's text for a device ID: "%.4X", then the name of the chip
// it belongs to when the device list knows it ("1060 PIC16F628A").
std::string deviceIdText(const Session& s, int id);

// What otherChipOnBoard found.
struct OtherChip {
    bool other = false;  // the chip's ID is not the selected chip's
    int id = 0;          // the ID as read, revision bits included
    std::string chip;    // the chip the ID belongs to; empty when the list does not know it
};

// Compares the device ID the last link check read, revision bits masked off,
// with the one the device list gives for the selected chip. Chips without a
// listed ID, or without an ID read, are never reported as other.
OtherChip otherChipOnBoard(const Session& s);

// The "Warning!" question to ask before writing or verifying another chip.
std::string otherChipQuestion(const Session& s, const OtherChip& other);

}  // namespace ferrolux
