#include <gtest/gtest.h>

#include <fstream>

#include "platform/linux/parallel_port_ppdev.h"
#include "support/temp_dir.h"

namespace ferrolux::test {
namespace {

using platform::PpdevParallelPort;

// A fake /proc/sys/dev/parport (base addresses in decimal) and /dev, where
// the devices are plain files that cannot be claimed.
TEST(Ppdev, FindsTheDeviceByItsBaseAddressAndFailsWithoutAPort) {
    TempDir proc, dev;
    EXPECT_FALSE(PpdevParallelPort::available(dev.path()));
    for (const auto& [n, addr] : {std::pair{0, "888\t1912\n"}, std::pair{1, "632\t1656\n"}}) {
        const auto name = "parport" + std::to_string(n);
        std::filesystem::create_directories(proc.path() / name);
        std::ofstream(proc.path() / name / "base-addr") << addr;
        std::ofstream(dev.path() / name);
    }
    PpdevParallelPort port(proc.path(), dev.path());
    EXPECT_TRUE(PpdevParallelPort::available(dev.path()));
    EXPECT_EQ(port.deviceFor(0x378), dev.path() / "parport0");
    EXPECT_EQ(port.deviceFor(0x278), dev.path() / "parport1");
    EXPECT_EQ(port.deviceFor(0x3BC), std::nullopt);
    std::uint16_t word = 0;
    EXPECT_FALSE(port.writeData(0x378, 0x55));
    EXPECT_FALSE(port.readWord(0x3BC, word));
}

}  // namespace
}  // namespace ferrolux::test
