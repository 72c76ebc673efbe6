#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace ferrolux::app {

// Where a program started without a directory of its own keeps its device list.
struct ProgramDirChoice {
    std::filesystem::path dir;                 // empty when none was found
    std::vector<std::filesystem::path> tried;  // the device lists looked for, in order
};

// The per-user program directory's name below the user's data home.
#if defined(_WIN32)
inline constexpr const char* kUserFolder = "Ferrolux";
#else
inline constexpr const char* kUserFolder = "ferrolux";
#endif

// The device list installed with the program `executable`:
// <prefix>/share/ferrolux/kestrum.ini for <prefix>/bin/ferrolux; on Windows
// kestrum.ini beside the program file.
std::filesystem::path shippedDeviceList(const std::filesystem::path& executable);

// The program directory: `cwd` when it holds kestrum.ini, else the per-user
// directory `userHome`/kUserFolder, which is created on first use with a copy
// of the shipped list (shippedDeviceList).
ProgramDirChoice findProgramDir(const std::filesystem::path& cwd,
                                const std::filesystem::path& userHome,
                                const std::filesystem::path& executable);

// The same for this process: current directory, user data home, own file.
ProgramDirChoice findProgramDir();

// "no device list kestrum.ini found; tried: A, B, C"
std::string notFoundText(const ProgramDirChoice& choice);

}  // namespace ferrolux::app
