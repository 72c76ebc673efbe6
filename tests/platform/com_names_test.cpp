#include "platform/linux/com_names.h"

#include <gtest/gtest.h>

#include "support/temp_dir.h"

namespace ferrolux::test {
namespace {

// COMn is /dev/ttyS(n-1) unless a file or link of that name, even a broken
// one, sits in the program directory; other names are paths.
TEST(ComNames, LocalLinksWinThenTtySThenPaths) {
    TempDir dir;
    std::filesystem::create_symlink("/nonexistent/ttyUSB0", dir.path() / "COM3");
    const std::pair<const char*, std::filesystem::path> cases[] = {
        {"COM1", "/dev/ttyS0"},           {"com8", "/dev/ttyS7"},
        {"COM3", dir.path() / "COM3"},    {"COM9", dir.path() / "COM9"},
        {"/dev/ttyACM0", "/dev/ttyACM0"},
    };
    for (const auto& [name, path] : cases)
        EXPECT_EQ(platform::serialDevicePath(dir.path(), name), path) << name;
}

}  // namespace
}  // namespace ferrolux::test
