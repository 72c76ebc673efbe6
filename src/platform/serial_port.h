#pragma once

#include <cstdint>
#include <memory>
#include <string>

namespace ferrolux::platform {

// The six modem-line and break codes, numbered like EscapeCommFunction's.
enum class LineCode : int {
    setRts = 3,
    clrRts = 4,
    setDtr = 5,
    clrDtr = 6,
    setBreak = 8,
    clrBreak = 9,
};

// Modem status bits as the port reports them.
inline constexpr std::uint32_t kModemCts = 0x10;
inline constexpr std::uint32_t kModemDsr = 0x20;
inline constexpr std::uint32_t kModemRing = 0x40;
inline constexpr std::uint32_t kModemRlsd = 0x80;

struct LineFormat {
    int baud = 9600;
    int dataBits = 8;
    int parity = 0;    // 0 = none
    int stopBits = 0;  // 0 = one stop bit
};

struct ReadTimeouts {
    int intervalMs = 3;
    int totalMultiplierMs = 0;
    int totalConstantMs = 5;
};

// An opened serial device. Opening is the first step; the next three steps are
// separate calls so that the caller can say which one failed. Destroying the
// object closes the device.
class SerialPort {
  public:
    virtual ~SerialPort() = default;

    virtual bool readSettings() = 0;
    virtual bool writeSettings(const LineFormat& format) = 0;
    virtual bool setReadTimeouts(const ReadTimeouts& timeouts) = 0;

    // Sets or clears one modem-control line or the break state at once.
    virtual bool escape(LineCode code) = 0;
    // Current CTS/DSR/RING/RLSD bits; false when the status cannot be read.
    virtual bool modemStatus(std::uint32_t& bits) = 0;
};

// Opens serial devices by the port name the user chose ("COM1" ...).
class SerialOpener {
  public:
    virtual ~SerialOpener() = default;
    // Opens the device exclusively for reading and writing; nullptr on failure.
    virtual std::unique_ptr<SerialPort> open(const std::string& portName) = 0;
    // Why the last open failed, in the system's words; empty when unknown.
    virtual std::string lastError() const { return {}; }
};

}  // namespace ferrolux::platform
