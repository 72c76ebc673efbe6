// The Linux platform layer against what every machine has: COM names and
// links, no serial device, /dev/null and a pseudo-terminal (a tty without
// modem lines), a fake parport tree and the monotonic clock.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <fstream>

#include "link/delays.h"
#include "link/detect.h"
#include "platform/linux/com_names.h"
#include "platform/linux/parallel_port_ppdev.h"
#include "platform/linux/serial_port_linux.h"
#include "platform/linux/tick_source_linux.h"
#include "session/session.h"
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

// COM3 in a fresh program directory, linked to `target`.
struct Fixture {
    TempDir dir;
    platform::MonotonicTicks ticks;
    platform::LinuxSerialOpener opener{dir.path()};
    Session session{ticks};
    explicit Fixture(const std::filesystem::path& target) {
        std::filesystem::create_symlink(target, dir.path() / "COM3");
        session.serialOpener = &opener;
        session.link.serial = true;
        session.link.portName = "COM3";
    }
};

TEST(LinuxSerial, EachDeviceFailsAtItsStepWithItsMessage) {
    Fixture missing("/nonexistent/ttyX");
    EXPECT_EQ(openComPort(missing.session), 1);
    // The system's reason follows on a second line.
    EXPECT_EQ(missing.session.message, "COM-Init-Error!\n" +
                                           (missing.dir.path() / "COM3").string() +
                                           ": No such file or directory");
    Fixture null("/dev/null");
    EXPECT_EQ(openComPort(null.session), 1);
    EXPECT_EQ(null.session.message, "Kann COM-Port Einstellung nicht lesen.");
    EXPECT_FALSE(null.session.port.comOpen());
}

TEST(LinuxSerial, APseudoTerminalOpensOnceAtATimeAndCarriesNoBoard) {
    const int master = ::posix_openpt(O_RDWR | O_NOCTTY);
    ASSERT_TRUE(master >= 0 && ::grantpt(master) == 0 && ::unlockpt(master) == 0);
    Fixture f(::ptsname(master));
    {
        auto first = f.opener.open("COM3");
        ASSERT_NE(first, nullptr);
        EXPECT_EQ(f.opener.open("COM3"), nullptr);
        std::uint32_t status = 0;
        EXPECT_FALSE(first->modemStatus(status));
    }
    EXPECT_EQ(openComPort(f.session), 1);
    // A terminal without modem lines: the reason follows on a second line.
    EXPECT_EQ(f.session.message, "T3306 not found at COM3\nInappropriate ioctl for device");
    EXPECT_TRUE(f.session.port.comOpen());
    EXPECT_EQ(f.session.link.lineSense, 0);
    f.session.port.comHandle.reset();
    ::close(master);
}

// A fake /proc/sys/dev/parport (base addresses in decimal) and /dev, where
// the devices are plain files that cannot be claimed.
TEST(Ppdev, FindsTheDeviceByItsBaseAddressAndFailsWithoutAPort) {
    using platform::PpdevParallelPort;
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

TEST(MonotonicTicks, SleepsAndWaitsLastAtLeastTheirTime) {
    platform::MonotonicTicks ticks;
    const std::uint64_t start = ticks.nowNs();
    ticks.sleepUntil(start + 2'000'000);
    EXPECT_GE(ticks.nowNs(), start + 2'000'000);
    ticks.sleepUntil(start);  // a deadline already past returns at once
    Session s(ticks);
    const std::uint64_t before = ticks.nowNs();
    waitMs(s, 3);
    EXPECT_GE(ticks.nowNs() - before, 3'000'000u);
    EXPECT_GE(ticks.readTimes(3), start);
}

}  // namespace
}  // namespace ferrolux::test
