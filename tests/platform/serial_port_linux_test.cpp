// The Linux serial layer against devices every machine has: none at all,
// /dev/null and a pseudo-terminal.
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

// The master side of a pseudo-terminal; its slave is a tty without modem lines.
class PseudoTerminal {
  public:
    PseudoTerminal() {
        fd_ = ::posix_openpt(O_RDWR | O_NOCTTY);
        if (fd_ >= 0 && ::grantpt(fd_) == 0 && ::unlockpt(fd_) == 0) slave_ = ::ptsname(fd_);
    }
    ~PseudoTerminal() {
        if (fd_ >= 0) ::close(fd_);
    }
    const std::string& slave() const { return slave_; }

  private:
    int fd_ = -1;
    std::string slave_;
};

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

TEST(LinuxSerial, MissingDeviceFailsToOpen) {
    Fixture f("/nonexistent/ttyX");
    EXPECT_EQ(f.opener.open("COM3"), nullptr);
    EXPECT_EQ(openComPort(f.session), 1);
    // The system's reason follows on a second line.
    EXPECT_EQ(f.session.message, "COM-Init-Error!\n" + (f.dir.path() / "COM3").string() +
                                     ": No such file or directory");
}

TEST(LinuxSerial, DevNullOpensButHasNoSettings) {
    Fixture f("/dev/null");
    auto port = f.opener.open("COM3");
    ASSERT_NE(port, nullptr);
    EXPECT_FALSE(port->readSettings());
    port.reset();
    EXPECT_EQ(openComPort(f.session), 1);
    EXPECT_EQ(f.session.message, "Kann COM-Port Einstellung nicht lesen.");
    EXPECT_FALSE(f.session.port.comOpen());
}

TEST(LinuxSerial, PseudoTerminalOpensButCarriesNoBoard) {
    PseudoTerminal pty;
    ASSERT_FALSE(pty.slave().empty());
    Fixture f(pty.slave());
    {
        auto port = f.opener.open("COM3");
        ASSERT_NE(port, nullptr);
        EXPECT_TRUE(port->readSettings());
        EXPECT_TRUE(port->writeSettings(platform::LineFormat{}));
        EXPECT_TRUE(port->setReadTimeouts(platform::ReadTimeouts{}));
        std::uint32_t status = 0;
        EXPECT_FALSE(port->modemStatus(status));
    }
    EXPECT_EQ(openComPort(f.session), 1);
    EXPECT_EQ(f.session.message, "T3306 not found at COM3\n");
    EXPECT_TRUE(f.session.port.comOpen());
    EXPECT_EQ(f.session.link.lineSense, 0);
}

TEST(LinuxSerial, APortIsOpenedExclusively) {
    PseudoTerminal pty;
    ASSERT_FALSE(pty.slave().empty());
    Fixture f(pty.slave());
    auto first = f.opener.open("COM3");
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(f.opener.open("COM3"), nullptr);
    first.reset();
    EXPECT_NE(f.opener.open("COM3"), nullptr);
}

}  // namespace
}  // namespace ferrolux::test
