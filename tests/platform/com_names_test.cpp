#include "platform/linux/com_names.h"

#include <gtest/gtest.h>

#include "support/temp_dir.h"

namespace ferrolux::test {
namespace {

using platform::serialDevicePath;

TEST(ComNames, ComNMeansTtySnMinusOneWithoutALocalFile) {
    TempDir dir;
    EXPECT_EQ(serialDevicePath(dir.path(), "COM1"), "/dev/ttyS0");
    EXPECT_EQ(serialDevicePath(dir.path(), "COM8"), "/dev/ttyS7");
}

TEST(ComNames, AFileOrLinkInTheProgramDirectoryWins) {
    TempDir dir;
    std::filesystem::create_symlink("/dev/ttyUSB0", dir.path() / "COM3");  // target may be absent
    EXPECT_EQ(serialDevicePath(dir.path(), "COM3"), dir.path() / "COM3");
    EXPECT_EQ(serialDevicePath(dir.path(), "COM4"), "/dev/ttyS3");
}

TEST(ComNames, OtherNamesArePaths) {
    TempDir dir;
    EXPECT_EQ(serialDevicePath(dir.path(), "COM9"), dir.path() / "COM9");
    EXPECT_EQ(serialDevicePath(dir.path(), "/dev/ttyACM0"), "/dev/ttyACM0");
}

}  // namespace
}  // namespace ferrolux::test
