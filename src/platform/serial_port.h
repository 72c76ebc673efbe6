#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

namespace ferrolux::platform {

class FtdiSerialPort;

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
//
// The port remembers the levels it has put on RTS, DTR and the break state, so
// that a line is never set to the level it already has: every device call
// changes a line.
class SerialPort {
  public:
    virtual ~SerialPort() = default;

    virtual bool readSettings() = 0;
    virtual bool writeSettings(const LineFormat& format) = 0;
    virtual bool setReadTimeouts(const ReadTimeouts& timeouts) = 0;

    // Sets or clears one modem-control line or the break state at once.
    bool escape(LineCode code) {
        const bool on =
            code == LineCode::setRts || code == LineCode::setDtr || code == LineCode::setBreak;
        std::optional<bool>& known = levelOf(code);
        if (known == on) return true;
        known.reset();
        if (!writeLine(code)) return lose("a modem line could not be set");
        known = on;
        return true;
    }
    // Puts RTS and DTR to these levels (true = set) in one device call.
    bool setRtsDtr(bool rts, bool dtr) {
        if (rts_ == rts) return escape(dtr ? LineCode::setDtr : LineCode::clrDtr);
        if (dtr_ == dtr) return escape(rts ? LineCode::setRts : LineCode::clrRts);
        rts_.reset();
        dtr_.reset();
        if (!writeRtsDtr(rts, dtr)) return lose("the modem lines could not be set");
        rts_ = rts;
        dtr_ = dtr;
        return true;
    }
    // Current CTS/DSR/RING/RLSD bits; false when the status cannot be read.
    virtual bool modemStatus(std::uint32_t& bits) = 0;
    // The adapter behind the port when it can send whole frames of line
    // changes at once; nullptr for a plain serial port.
    virtual FtdiSerialPort* bitBang() { return nullptr; }

    // The break state last put on the line; unknown before or after a failure.
    std::optional<bool> breakLevel() const { return break_; }

    // Why the device stopped answering; empty while it answers. A line change
    // or status read that fails once makes the port lost until it is opened
    // again: a USB adapter pulled out fails every call from then on, and what
    // the lines carried meanwhile never reached the board.
    const std::string& lostReason() const { return lost_; }
    // Records the first reason (the later ones follow from it); always false.
    bool lose(const std::string& why) {
        if (lost_.empty()) lost_ = why.empty() ? "no reason given" : why;
        return false;
    }

  protected:
    // The lines were changed past escape() and setRtsDtr(): none is known now.
    void forgetLevels() {
        rts_.reset();
        dtr_.reset();
        break_.reset();
    }
    // One device call that sets or clears the line, whatever its level.
    virtual bool writeLine(LineCode code) = 0;
    // Both lines in one device call where the device can; one call per line here.
    virtual bool writeRtsDtr(bool rts, bool dtr) {
        return writeLine(rts ? LineCode::setRts : LineCode::clrRts) &&
               writeLine(dtr ? LineCode::setDtr : LineCode::clrDtr);
    }

  private:
    std::optional<bool>& levelOf(LineCode code) {
        if (code == LineCode::setRts || code == LineCode::clrRts) return rts_;
        if (code == LineCode::setDtr || code == LineCode::clrDtr) return dtr_;
        return break_;
    }

    // The levels last put on the lines; unknown until then or after a failure.
    std::optional<bool> rts_, dtr_, break_;
    std::string lost_;
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
