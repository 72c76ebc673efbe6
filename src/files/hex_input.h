#pragma once

#include <string>
#include <string_view>

#include "files/text_file.h"
#include "session/session.h"

namespace ferrolux {

inline constexpr std::size_t kHexPathMax = 259;
inline constexpr std::size_t kFileNameMax = 95;

enum class HexLine {
    endOfData,  // EOF, NUL or 0xFF where a line would begin
    notRecord,  // one character that is not ':' was consumed; `line` is empty
    record,     // `line` holds the record, ':' included, without its line end
};

// Reads the next line of an open hex file. A record line keeps every byte up
// to its line end or the end of the file, so an unterminated last line is
// read and a binary byte inside a record stays in it (and fails its parse).
// A record line longer than kLineMax is refused: it is consumed whole and
// reported as notRecord with `file.overlong` set.
HexLine readHexLine(TextFile& file, std::string& line);

// Value of a hexadecimal digit of either case; -1 for any other character.
int hexDigitValue(char c);

// The value of `digits` hex digits at `pos` of a line; -1 when they are not all there.
int hexField(std::string_view line, std::size_t pos, int digits);

// Takes the ID values and the configuration word out of the file at
// session.file.hexPath and records the path in the state file. 0 on success, 1 with
// session.message filled on failure. A failure takes nothing from the file:
// the values, the controls and the file name stay; only the file-selected
// flag is cleared when the path is empty or the file has the wrong form.
int openHexFile(Session& session);

// Reads the selected file once and checks it against the selected chip, so
// that a bad file is refused before anything is erased or programmed: a
// regular file; only well-formed records of type 00, 01 and 02/04 with value
// 0; at least one data record; data records in rising address order without
// repeats; whole words; each record inside one place of the chip (code, IDs,
// configuration word, EEPROM) with values that fit it; nothing after the end
// record. 0 when the file fits; 1 with session.message filled.
int validateHexFile(Session& session);

// 0 when every record up to the end of data (or the first line that is not a
// record line) sums to 0 modulo 256; 1 on a mismatch, on a record shorter than
// its count, on an overlong record line, or when the file cannot be opened.
int checkHexChecksums(Session& session);

// Shows session.shown.statusText, up to its first control or non-ASCII byte and
// followed by 80 blanks, in the status field, and repaints the window.
void showProgress(Session& session);

}  // namespace ferrolux
