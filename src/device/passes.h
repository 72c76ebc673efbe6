#pragma once

namespace ferrolux {

class Session;
struct ChipImage;

// How a pass ends besides 0: a write that did not take, a word that differs
// from the file, a write the user declined.
inline constexpr int kPassFailed = 1;
inline constexpr int kPassDeclined = 2;
inline constexpr int kPassMismatch = 3;

// Whether a pass programs the words that differ, or only compares.
enum class PassMode { write, verify };

// Passes over the file's image. Each enters programming mode itself, leaves
// the chip there, and returns 0, or kPassFailed or kPassMismatch with the
// message text filled.

// Code memory word by word (families 1 to 5 and 10): a write reads every word
// back after its cycle, and on a chip just erased (`erased`) programs a word
// without reading it first unless it is to stay blank. A verify compares
// every word (families 1 to 7). The frames go out as one stream.
int programCodeByWord(Session& s, const ChipImage& image, PassMode mode = PassMode::write,
                      bool erased = false);
// Code memory in rows of `rowSize` words, no read-back.
int writeCodeRows(Session& s, const ChipImage& image, int rowSize);
// Code memory in rows of `rowSize` write latches, each row read back and
// compared before the next is programmed: a row that differs ends the pass
// (kPassMismatch). On a chip just erased (`erased`) a row of the row
// families is only programmed (Begin Programming Only, End Programming),
// else erased and programmed; the latches of family 5 take its own program
// cycle, on a chip just erased only.
int writeRowsReadBack(Session& s, const ChipImage& image, int rowSize, bool erased);
// Code memory (and the IDs after it) of the 12-bit core (families 8 and 9).
int programCode12Bit(Session& s, const ChipImage& image, PassMode mode = PassMode::write);
// 0 when the 12-bit chip reads blank (code and IDs), 1 when not (no message).
int blankCheck12Bit(Session& s);
// ID locations word by word (families 1 to 5).
int programIdWords(Session& s, const ChipImage& image);
// ID locations as one row, as the row family `family` writes them.
int writeIdRow(Session& s, const ChipImage& image, int family);
// Data memory byte by byte with read-back; on a chip just erased (`erased`)
// a byte is written without a read first. The frames go out as one stream.
int programDataMemory(Session& s, const ChipImage& image, PassMode mode = PassMode::write,
                      bool erased = false);

// Writes the code memory and the IDs as the chip's family does: word by word
// with read-back, in rows then verified, or the 12-bit way
// after a blank check (skipped when a flash chip was erased just before, as
// `erasedFirst` says). 0 when written; kPassFailed or kPassMismatch with the
// message filled; kPassDeclined when the user declined to write over a chip
// that is not blank.
int writeCodeMemory(Session& s, const ChipImage& image, bool erasedFirst);

}  // namespace ferrolux
