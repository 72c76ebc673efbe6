#pragma once

#include <filesystem>
#include <string>

namespace ferrolux::platform {

// The device file behind a port name. "COM1".."COM8" first name a file of that
// name in the program directory (typically a symbolic link such as
// COM3 -> /dev/ttyUSB0); without one, COMn is /dev/ttyS(n-1). Other names are
// paths, relative ones taken in the program directory.
std::filesystem::path serialDevicePath(const std::filesystem::path& programDir,
                                       const std::string& portName);

}  // namespace ferrolux::platform
