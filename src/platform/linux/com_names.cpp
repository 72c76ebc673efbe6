#include "platform/linux/com_names.h"

#include <system_error>

namespace ferrolux::platform {

namespace {

// 1..8 for "COM1".."COM8" (any letter case), else 0.
int comNumber(const std::string& name) {
    if (name.size() != 4) return 0;
    auto upper = [](char c) { return static_cast<char>(c >= 'a' && c <= 'z' ? c - 32 : c); };
    if (upper(name[0]) != 'C' || upper(name[1]) != 'O' || upper(name[2]) != 'M') return 0;
    if (name[3] < '1' || name[3] > '8') return 0;
    return name[3] - '0';
}

}  // namespace

std::filesystem::path serialDevicePath(const std::filesystem::path& programDir,
                                       const std::string& portName) {
    const std::filesystem::path local = programDir / portName;
    const int n = comNumber(portName);
    if (n == 0) {
        std::filesystem::path given(portName);
        return given.is_absolute() ? given : local;
    }
    std::error_code ec;
    // symlink_status: a link counts even when its target is missing, so the
    // user's mapping wins and a broken link is reported as an open failure.
    if (std::filesystem::exists(std::filesystem::symlink_status(local, ec))) return local;
    return "/dev/ttyS" + std::to_string(n - 1);
}

}  // namespace ferrolux::platform
