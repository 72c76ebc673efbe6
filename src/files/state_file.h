#pragma once

#include "session/session.h"

namespace ferrolux {

inline constexpr const char* kStateFile = "kestrum.cfg";
// Longest hex path the state file keeps: offset 32 holds at most 249 characters
// that read back whole.
inline constexpr std::size_t kStoredPathMax = 249;

// Takes the current directory as the program directory when none is set yet,
// creates the state file with its defaults when it is missing, and reads port
// name, chip index and name, low-voltage character, adapter, Vpp line and speed.
void loadState(Session& session);

// The chip name stored beside the index; empty when there is none (a file
// of an older version) or it is damaged.
std::string readStoredChipName(const Session& session);

// Writes offsets 0 to 8: port name, chip index, low-voltage character, adapter, Vpp line.
// An FTDI adapter's port is "ftdi" there, its serial number (at most 18
// characters) at offsets 11 to 29. The selected chip's name goes at offset 304.
void saveState(Session& session);

// Writes `speed` ('0' to '3') at offset 10.
void storeSpeed(Session& session, char speed);

// Writes the reload flag ('1' or '0') at offset 9.
void setReloadFlag(Session& session, char flag);

// Writes CR LF at offset 30 and the hex path, a NUL and 20 blanks at offset 32.
// A path the field cannot keep whole is stored empty. 0, or 1 with the message
// "Open Error 'kestrum.cfg'!" when the file cannot be opened or written.
int storeHexPath(Session& session);

// Reads the stored path into session.file.hexPath; unchanged when there is none.
void readStoredHexPath(Session& session);

// The reload flag at offset 9, or '\0' when the file or the offset is missing.
char readReloadFlag(Session& session);

}  // namespace ferrolux
