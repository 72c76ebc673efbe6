#pragma once

#include <string>

namespace ferrolux {

class Session;

// Reads the whole chip into "readback.hex" (INHX8M). 0 when written; 1 with
// the message text filled when a 12-bit chip does not answer or the file
// cannot be created or written.
int writeReadbackHex(Session& s);

// Reads the whole chip into the listing "readback.txt". 0 when written; 1 when
// a 12-bit chip does not answer or the file cannot be created or written.
int writeReadbackText(Session& s);

// After a readback: when the configuration word read (the chip values')
// protects code or data memory, a note for the user that says so and what the
// readback therefore holds; empty when nothing is protected.
std::string protectedReadbackNote(const Session& s);

// Reads the data byte at word address `a`, appends it to a listing and returns it.
int writeDataByteText(Session& s, int a, std::string& out);

// '0'..'9', 'A'..'F' for 0..15.
char hexDigitChar(int value);

// Shows the configuration word.
void showConfigWord(Session& s);

// Called once per word read: about once a second the status field toggles
// between "reading..." and blanks.
void blinkReading(Session& s);

}  // namespace ferrolux
