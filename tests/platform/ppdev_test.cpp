#include <gtest/gtest.h>

#include <fstream>

#include "platform/linux/parallel_port_ppdev.h"
#include "support/temp_dir.h"

namespace ferrolux::test {
namespace {

using platform::PpdevParallelPort;

// A fake /proc/sys/dev/parport and /dev with the given ports.
struct FakeKernel {
    TempDir proc;
    TempDir dev;
    void addPort(int n, const char* baseAddr) {
        const auto dir = proc.path() / ("parport" + std::to_string(n));
        std::filesystem::create_directories(dir);
        std::ofstream(dir / "base-addr") << baseAddr;
        std::ofstream(dev.path() / ("parport" + std::to_string(n)));
    }
};

TEST(Ppdev, FindsTheDeviceByItsDecimalBaseAddress) {
    FakeKernel k;
    k.addPort(0, "888\t1912\n");
    k.addPort(1, "632\t1656\n");
    PpdevParallelPort port(k.proc.path(), k.dev.path());
    EXPECT_EQ(port.deviceFor(0x378), k.dev.path() / "parport0");
    EXPECT_EQ(port.deviceFor(0x278), k.dev.path() / "parport1");
    EXPECT_EQ(port.deviceFor(0x3BC), std::nullopt);
    EXPECT_TRUE(PpdevParallelPort::available(k.dev.path()));
}

TEST(Ppdev, NoKernelPortMeansNoDriverAndFailedAccess) {
    FakeKernel k;
    EXPECT_FALSE(PpdevParallelPort::available(k.dev.path()));
    PpdevParallelPort port(k.proc.path(), k.dev.path());
    std::uint16_t word = 0;
    EXPECT_FALSE(port.writeData(0x378, 0));
    EXPECT_FALSE(port.readWord(0x378, word));
}

TEST(Ppdev, ADeviceThatIsNotPpdevFailsToClaim) {
    FakeKernel k;
    k.addPort(0, "888\n");  // /dev/parport0 is a plain file here
    PpdevParallelPort port(k.proc.path(), k.dev.path());
    EXPECT_FALSE(port.writeData(0x378, 0x55));
}

}  // namespace
}  // namespace ferrolux::test
