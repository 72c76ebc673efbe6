// The Linux serial layer against devices every machine has: none at all,
// /dev/null and a pseudo-terminal (a tty without modem lines).
#include "platform/linux/serial_port_linux.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include "link/detect.h"
#include "platform/linux/tick_source_linux.h"
#include "session/session.h"
#include "support/temp_dir.h"

namespace ferrolux::test {
namespace {

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
    EXPECT_EQ(f.session.message, "T3306 not found at COM3\n");
    EXPECT_TRUE(f.session.port.comOpen());
    EXPECT_EQ(f.session.link.lineSense, 0);
    f.session.port.comHandle.reset();
    ::close(master);
}

}  // namespace
}  // namespace ferrolux::test
