#include "platform/win32/serial_port_win32.h"

#include <cctype>

#include "platform/win32/win32_error.h"

namespace ferrolux::platform {

namespace {

class Win32SerialPort final : public SerialPort {
  public:
    Win32SerialPort(const CommApi& api, HANDLE port) : api_(api), port_(port) {}
    ~Win32SerialPort() override { api_.closeHandle(port_); }
    Win32SerialPort(const Win32SerialPort&) = delete;
    Win32SerialPort& operator=(const Win32SerialPort&) = delete;

    bool readSettings() override {
        DCB dcb{};
        dcb.DCBlength = sizeof dcb;
        haveSettings_ = api_.getCommState(port_, &dcb) != 0;
        if (haveSettings_) dcb_ = dcb;
        return haveSettings_;
    }

    bool writeSettings(const LineFormat& format) override {
        if (!haveSettings_ && !readSettings()) return false;
        DCB dcb = dcb_;
        dcb.BaudRate = static_cast<DWORD>(format.baud);
        dcb.ByteSize = static_cast<BYTE>(format.dataBits);
        dcb.Parity = static_cast<BYTE>(format.parity);
        dcb.StopBits = static_cast<BYTE>(format.stopBits);
        dcb.fBinary = TRUE;
        // The program drives RTS and DTR itself; no handshake may take them.
        dcb.fOutxCtsFlow = FALSE;
        dcb.fOutxDsrFlow = FALSE;
        dcb.fDsrSensitivity = FALSE;
        dcb.fOutX = FALSE;
        dcb.fInX = FALSE;
        dcb.fDtrControl = DTR_CONTROL_DISABLE;
        dcb.fRtsControl = RTS_CONTROL_DISABLE;
        if (!api_.setCommState(port_, &dcb)) return false;
        dcb_ = dcb;
        return true;
    }

    bool setReadTimeouts(const ReadTimeouts& t) override {
        COMMTIMEOUTS timeouts{};
        timeouts.ReadIntervalTimeout = static_cast<DWORD>(t.intervalMs);
        timeouts.ReadTotalTimeoutMultiplier = static_cast<DWORD>(t.totalMultiplierMs);
        timeouts.ReadTotalTimeoutConstant = static_cast<DWORD>(t.totalConstantMs);
        return api_.setCommTimeouts(port_, &timeouts) != 0;
    }

    bool modemStatus(std::uint32_t& bits) override {
        DWORD status = 0;
        if (!api_.getCommModemStatus(port_, &status)) return failed();
        // MS_CTS_ON, MS_DSR_ON, MS_RING_ON and MS_RLSD_ON are the same bits.
        bits = status & (kModemCts | kModemDsr | kModemRing | kModemRlsd);
        return true;
    }

  protected:
    bool writeLine(LineCode code) override {
        // SETRTS .. CLRBREAK have the codes LineCode is numbered by.
        return api_.escapeCommFunction(port_, static_cast<DWORD>(code)) != 0 || failed();
    }

  private:
    // A device call failed: the port is lost, with the system's reason.
    bool failed() { return lose(systemErrorText(api_.getLastError())); }

    const CommApi& api_;
    HANDLE port_;
    DCB dcb_{};
    bool haveSettings_ = false;
};

std::string upper(std::string text) {
    for (char& c : text)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return text;
}

// The reason for the user, with the usual cause where the code tells it.
std::string openFailure(const std::string& portName, DWORD error) {
    switch (error) {
        case ERROR_ACCESS_DENIED:
        case ERROR_SHARING_VIOLATION:
            return portName + ": in use by another program";
        case ERROR_FILE_NOT_FOUND:
        case ERROR_PATH_NOT_FOUND:
            return portName + ": no such port on this computer";
        default:
            return portName + ": " + systemErrorText(error);
    }
}

}  // namespace

static_assert(static_cast<DWORD>(LineCode::setRts) == SETRTS);
static_assert(static_cast<DWORD>(LineCode::clrRts) == CLRRTS);
static_assert(static_cast<DWORD>(LineCode::setDtr) == SETDTR);
static_assert(static_cast<DWORD>(LineCode::clrDtr) == CLRDTR);
static_assert(static_cast<DWORD>(LineCode::setBreak) == SETBREAK);
static_assert(static_cast<DWORD>(LineCode::clrBreak) == CLRBREAK);
static_assert(kModemCts == MS_CTS_ON && kModemDsr == MS_DSR_ON && kModemRing == MS_RING_ON &&
              kModemRlsd == MS_RLSD_ON);

const CommApi& systemCommApi() {
    static const CommApi api{::CreateFileA,        ::CloseHandle,     ::GetCommState,
                             ::SetCommState,       ::SetCommTimeouts, ::EscapeCommFunction,
                             ::GetCommModemStatus, ::GetLastError};
    return api;
}

std::string commDeviceName(const std::string& portName) {
    const std::string name = upper(portName);
    if (name.size() < 4 || name.compare(0, 3, "COM") != 0) return portName;
    for (std::size_t i = 3; i < name.size(); ++i)
        if (!std::isdigit(static_cast<unsigned char>(name[i]))) return portName;
    if (name[3] == '0') return portName;
    return "\\\\.\\" + name;
}

std::unique_ptr<SerialPort> Win32SerialOpener::open(const std::string& portName) {
    lastError_.clear();
    if (portName.empty()) {
        lastError_ = "no port chosen";
        return nullptr;
    }
    const std::string device = commDeviceName(portName);
    // Only devices: a plain name would open (or be taken for) a file.
    if (device.rfind("\\\\.\\", 0) != 0) {
        lastError_ = portName + ": not a serial port name (COM1, COM2, ...)";
        return nullptr;
    }
    // No sharing: a port is one program's at a time.
    HANDLE port = api_.createFile(device.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                  OPEN_EXISTING, 0, nullptr);
    if (port == INVALID_HANDLE_VALUE) {
        lastError_ = openFailure(portName, api_.getLastError());
        return nullptr;
    }
    return std::make_unique<Win32SerialPort>(api_, port);
}

}  // namespace ferrolux::platform
