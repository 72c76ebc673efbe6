#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace ferrolux::platform {

// A port the program can be pointed at.
struct PortEntry {
    std::string name;    // what --port takes: "COM1", "0378", a device path
    std::string device;  // the device file behind it
    std::string note;    // what it is, for people
};

// The ports of this system. Linux: the serial devices (COMn links in the
// program directory, ttyS ports with hardware behind them, USB and ACM
// adapters by path and by id) and the parallel ports that ppdev offers, found
// below `root` ("/" normally). Windows: the COM ports the system knows and the
// usual parallel port bases when a port-I/O driver library loads.
std::vector<PortEntry> listPorts(const std::filesystem::path& programDir,
                                 const std::filesystem::path& root = "/");

// The running program's own file; empty when the system does not say.
std::filesystem::path executablePath();

// Where the user's program data lives: $XDG_DATA_HOME, else $HOME/.local/share
// (Windows: %APPDATA%); empty when none is set.
std::filesystem::path userDataHome();

// A fresh directory of the user's own under the system's temporary folder;
// empty when none could be made.
std::filesystem::path makePrivateDir();

}  // namespace ferrolux::platform
