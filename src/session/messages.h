#pragma once

#include <cstdarg>
#include <cstdio>
#include <string>

namespace ferrolux {

inline constexpr const char* kNoPicOnBoard =
    "NO PIC ON BOARD,\nPROGRAMMER MUST BE SET TO PGM MODE,\nPIC TYPE MISMATCHED WITH SOFTWARE,...";
inline constexpr const char* kNoPicOrProtected =
    "NO PIC ON BOARD,\nPROGRAMMER MUST BE SET TO PGM MODE,\nPIC TYPE MISMATCHED WITH "
    "SOFTWARE,\nPIC CODEPROTECTED,...";
inline constexpr const char* kNoChip =
    "No PIC selected!\nChoose the PIC type in the Controller list.";
inline constexpr const char* kNoDataMemory = "This PIC does not provide data memory!";
// The questions the window and the console ask before a command goes on.
inline constexpr const char* kChecksumWrong = "Intel checksum wrong, continue?";
inline constexpr const char* kDeletesFlash = "This Command Deletes Flash-Memory!";
inline constexpr const char* kDeletesData = "This Command Deletes Data-Memory!";
inline constexpr const char* kDeletesMemory = "This Command Deletes Memory!";

// printf-style formatting into a string; the formats used here are short.
inline std::string formatText(const char* format, ...) __attribute__((format(printf, 1, 2)));
inline std::string formatText(const char* format, ...) {
    char buffer[256];
    va_list args;
    va_start(args, format);
    std::vsnprintf(buffer, sizeof buffer, format, args);
    va_end(args);
    return buffer;
}

}  // namespace ferrolux
