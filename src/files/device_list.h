#pragma once

#include <array>
#include <string>

#include "files/text_file.h"
#include "session/session.h"

namespace ferrolux {

inline constexpr const char* kDeviceListFile = "kestrum.ini";
inline constexpr std::size_t kNameMax = 14;
inline constexpr std::size_t kKeyMax = 4;
// The state file finds the chip by name; its two-digit position is only read
// from files of older versions.
inline constexpr std::size_t kChipListMax = 250;

// Reads the next line of the device list into `line`, without its line end.
// False at end of data: EOF, a NUL as first character, a 0xFF byte, or a last
// line without a line end. A line longer than kLineMax is cut there (the rest
// up to its line end is skipped) and `file.overlong` is set.
bool readListLine(TextFile& file, std::string& line);

// Start-up: reads the device list once for the run (every reader of it takes
// the lines read here). 0 when it opens; otherwise
// shows "Open Error 'kestrum.ini !'" and returns 1 (the caller ends the window).
int checkDeviceList(Session& session);

// Fills the chip list with the names of the device lines, sorted without regard
// to case. Lines whose name holds a ';' or exceeds 14 characters, whose key
// exceeds 4, or whose code size (1 to 8192 words) or data size (0 to 256
// bytes) is not a plain number in range, are not listed; after 250 entries
// further device lines are ignored.
void fillChipList(Session& session);

// Reads the chip list's selection and overwrites the DeviceRecord from its device line.
void selectDevice(Session& session);

// The name of the first listed chip whose device ID (revision bits masked
// off) is `id`; empty when no device line lists it or the list cannot be read.
std::string chipOfDeviceId(const Session& session, int id);

// The configuration bits the selected chip's labels mark as without function
// (a bare '/'); they are written as 1. 0 when the list has no labels for it.
int functionlessConfigBits(const Session& session);

// The selected chip's 14 configuration bit labels, bit 0 first. False when the
// list has none for it (or the selection or the list fails, which is shown).
bool readConfigLabels(Session& session, std::array<std::string, 14>& labels);

// The 8 labels of the selected PIC18 chip's configuration byte at 0x300000 +
// `place`, bit 0 first ("/" = a bit without function, a leading '/' = active
// low). False when the list has no cfg line for it or cannot be read.
bool readConfigByteLabels(const Session& session, int place, std::array<std::string, 8>& labels);

}  // namespace ferrolux
