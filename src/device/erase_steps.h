#pragma once

// The erase steps that the families' algorithms are made of (device/ only).
namespace ferrolux {
class Session;
}

namespace ferrolux::erase_steps {

inline constexpr int CHIP_ERASE = 31;
inline constexpr int END_PROGRAMMING_ROW = 23;  // End Programming of the row families
inline constexpr const char* kCodeProtected = "Flash memory code protected!";
inline constexpr const char* kDataProtected = "Data EE memory code protected!";

// A memory erase from code space erases nothing while the memory is
// protected: it is refused (true, message filled) before anything changes.
bool refusedAsProtected(Session& s, int bits, const char* refusal);
// Bulk Erase Setup 1 and 2 around a program command, with their waits.
void setupAndErase(Session& s);
// Erases everything, configuration word included, from 0x2007.
void removeProtection(Session& s);
// ENTER_PGM, Load Configuration, then one erase command and its wait.
void eraseFromConfigSpace(Session& s, int command, int data, int ms = 20);
// The factory calibration word at 0x3FF and the bandgap bits of the
// configuration word survive the erase.
int eraseKeepingCalibration(Session& s, bool wholeChip);
// 12-bit flash: Bulk Erase Program Memory from the first ID location takes
// code, configuration word, IDs and the backup calibration; the calibration
// words are read first and written back. An EPROM chip is refused.
int erase12Bit(Session& s);
// From the configuration word, a bulk erase (of code, or of data) and its
// Begin Erase/Programming Cycle.
void eraseRowFamily(Session& s, int command);

}  // namespace ferrolux::erase_steps
