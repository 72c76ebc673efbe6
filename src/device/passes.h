#pragma once

namespace ferrolux {

class Session;

// Passes over the selected hex file. Each enters programming mode itself, leaves
// the chip there, and returns 0 or 1 with the message text filled. They read
// s.verifyOnly: 0 programs where the chip differs, 1 only compares.

// Code memory word by word with read-back (families 1 to 7).
int programCodeByWord(Session& s);
// Code memory in rows of 8 (family 6) or 4 (family 7) words, no read-back.
int writeCodeRows(Session& s, int rowSize);
// Code memory (and the IDs after it) of the 12-bit core (families 8 and 9).
int programCode12Bit(Session& s);
// 0 when the 12-bit chip reads blank, 1 when not (no message).
int blankCheck12Bit(Session& s);
// ID locations word by word (families 1 to 5).
int programIdWords(Session& s);
// ID locations as one row (family 6 or 7).
int writeIdRow(Session& s, int family);
// Data memory byte by byte with read-back.
int programDataMemory(Session& s);

}  // namespace ferrolux
