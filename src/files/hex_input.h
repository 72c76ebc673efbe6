#pragma once

#include <string>

#include "files/hex_image.h"
#include "session/session.h"

namespace ferrolux {

inline constexpr std::size_t kHexPathMax = 259;
inline constexpr std::size_t kFileNameMax = 95;

// Value of a hexadecimal digit of either case; -1 for any other character.
int hexDigitValue(char c);

// Reads the file at session.file.hexPath once into `file`, takes the ID values
// and the configuration words out of it and records the path in the state
// file. 0 on success, 1 with session.message filled on failure. A failure
// takes nothing from the file: the values, the controls and the file name
// stay; only the file-selected flag is cleared when the path is empty or the
// file has the wrong form. The caller asks about what `fileDoubt` names.
int openHexFile(Session& session, HexFile& file);

// The question to ask about a file that was read but may be damaged (a wrong
// checksum, no end record); empty when there is none.
std::string fileDoubt(const HexFile& file);
inline constexpr const char* kNoEndRecord =
    "The file has no end record: it may be cut short.\nUse it all the same?";

// Fits a read file to the selected chip, so that a bad file is refused before
// anything is erased or programmed: every word in one place of the chip
// (code, IDs, configuration words, EEPROM) with a value that fits it, and,
// when `needsData`, at least one word. Blank words past the chip are left out
// and the user is told once. 0 when the file fits; 1 with session.message
// filled.
int fitSelectedFile(Session& session, const HexFile& file, ChipImage& image, bool needsData);

// Reads the selected file anew for a command (one open), takes its IDs and
// configuration words as openHexFile does, asks about a damaged file and fits
// it to the chip. 0 when it fits; 1 with session.message filled (empty when the
// user said Cancel).
int loadSelectedFile(Session& session, ChipImage& image, bool needsData);

// Shows session.shown.statusText, up to its first control or non-ASCII byte and
// followed by 80 blanks, in the status field, and repaints the window.
void showProgress(Session& session);

}  // namespace ferrolux
