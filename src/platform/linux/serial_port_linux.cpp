#include "platform/linux/serial_port_linux.h"

#include <cerrno>
#include <cstring>
#include <optional>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include "platform/linux/com_names.h"

namespace ferrolux::platform {

namespace {

class LinuxSerialPort final : public SerialPort {
  public:
    explicit LinuxSerialPort(int fd) : fd_(fd) {}
    ~LinuxSerialPort() override { ::close(fd_); }
    LinuxSerialPort(const LinuxSerialPort&) = delete;
    LinuxSerialPort& operator=(const LinuxSerialPort&) = delete;

    bool readSettings() override {
        haveSettings_ = ::tcgetattr(fd_, &tio_) == 0;
        return haveSettings_;
    }

    bool writeSettings(const LineFormat& format) override {
        if (!haveSettings_ && !readSettings()) return false;
        termios tio = tio_;
        const speed_t speed = baudConstant(format.baud);
        if (speed == B0) return false;
        ::cfsetispeed(&tio, speed);
        ::cfsetospeed(&tio, speed);
        tio.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | PARODD | CSTOPB);
        tio.c_cflag |= dataBitsFlag(format.dataBits) | CLOCAL | CREAD;
        if (format.parity == 1) tio.c_cflag |= PARENB | PARODD;
        if (format.parity == 2) tio.c_cflag |= PARENB;
        if (format.stopBits == 2) tio.c_cflag |= CSTOPB;
        if (::tcsetattr(fd_, TCSANOW, &tio) != 0) return false;
        tio_ = tio;
        return true;
    }

    bool setReadTimeouts(const ReadTimeouts&) override {
        // Nothing is ever read from the port; a read returning at once serves
        // (termios cannot express the millisecond time-outs anyway).
        termios tio = tio_;
        tio.c_cc[VMIN] = 0;
        tio.c_cc[VTIME] = 0;
        if (::tcsetattr(fd_, TCSANOW, &tio) != 0) return false;
        tio_ = tio;
        return true;
    }

    bool writeLine(LineCode code) override { return lineCall(code) || failed(); }

    bool writeRtsDtr(bool rts, bool dtr) override {
        // TIOCMSET writes every output line (and ignores the inputs): the
        // others keep what they had.
        if (!otherOutputs_) {
            int lines = 0;
            if (::ioctl(fd_, TIOCMGET, &lines) != 0) return failed();
            otherOutputs_ = lines & ~(TIOCM_RTS | TIOCM_DTR);
        }
        int bits = *otherOutputs_ | (rts ? TIOCM_RTS : 0) | (dtr ? TIOCM_DTR : 0);
        return ::ioctl(fd_, TIOCMSET, &bits) == 0 || failed();
    }

    bool modemStatus(std::uint32_t& status) override {
        int lines = 0;
        if (::ioctl(fd_, TIOCMGET, &lines) != 0) return failed();
        status = 0;
        if (lines & TIOCM_CTS) status |= kModemCts;
        if (lines & TIOCM_DSR) status |= kModemDsr;
        if (lines & TIOCM_RNG) status |= kModemRing;
        if (lines & TIOCM_CAR) status |= kModemRlsd;
        return true;
    }

  private:
    // A device call failed: the port is lost, with the system's reason.
    bool failed() { return lose(std::strerror(errno)); }

    bool lineCall(LineCode code) {
        int bits = 0;
        switch (code) {
            case LineCode::setRts:
                bits = TIOCM_RTS;
                return ::ioctl(fd_, TIOCMBIS, &bits) == 0;
            case LineCode::clrRts:
                bits = TIOCM_RTS;
                return ::ioctl(fd_, TIOCMBIC, &bits) == 0;
            case LineCode::setDtr:
                bits = TIOCM_DTR;
                return ::ioctl(fd_, TIOCMBIS, &bits) == 0;
            case LineCode::clrDtr:
                bits = TIOCM_DTR;
                return ::ioctl(fd_, TIOCMBIC, &bits) == 0;
            case LineCode::setBreak:
                return ::ioctl(fd_, TIOCSBRK) == 0;
            case LineCode::clrBreak:
                return ::ioctl(fd_, TIOCCBRK) == 0;
        }
        return false;
    }

    static speed_t baudConstant(int baud) {
        switch (baud) {
            case 1200:
                return B1200;
            case 2400:
                return B2400;
            case 4800:
                return B4800;
            case 9600:
                return B9600;
            case 19200:
                return B19200;
            case 38400:
                return B38400;
            case 57600:
                return B57600;
            case 115200:
                return B115200;
            default:
                return B0;
        }
    }
    static tcflag_t dataBitsFlag(int bits) {
        switch (bits) {
            case 5:
                return CS5;
            case 6:
                return CS6;
            case 7:
                return CS7;
            default:
                return CS8;
        }
    }

    int fd_;
    std::optional<int> otherOutputs_;  // the lines besides RTS and DTR, as the port had them
    termios tio_{};
    bool haveSettings_ = false;
};

// The reason for the user: the device and the system's text, with a hint
// where the usual cure is known.
std::string openFailure(const std::filesystem::path& device, int error) {
    std::string why = device.string() + ": " + std::strerror(error);
    if (error == EACCES || error == EPERM) why += " (is your user in the dialout group?)";
    if (error == EWOULDBLOCK) why = device.string() + ": in use by another program";
    return why;
}

}  // namespace

std::unique_ptr<SerialPort> LinuxSerialOpener::open(const std::string& portName) {
    lastError_.clear();
    return openDevice(serialDevicePath(programDir_, portName), &lastError_);
}

std::unique_ptr<SerialPort> LinuxSerialOpener::openDevice(const std::filesystem::path& device,
                                                          std::string* why) {
    const int fd = ::open(device.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        if (why) *why = openFailure(device, errno);
        return nullptr;
    }
    // Exclusive use: a lock that another instance holds means the port is taken.
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        if (why) *why = openFailure(device, errno);
        ::close(fd);
        return nullptr;
    }
    // Keeps other programs from opening the tty meanwhile; not every device is a tty.
    (void)::ioctl(fd, TIOCEXCL);
    return std::make_unique<LinuxSerialPort>(fd);
}

}  // namespace ferrolux::platform
