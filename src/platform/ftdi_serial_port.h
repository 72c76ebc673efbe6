#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/ftdi_port.h"
#include "platform/serial_port.h"

namespace ferrolux::platform {

// An FTDI adapter in synchronous bit-bang mode, seen as the serial port the
// board hangs on. Single line changes and status reads are one-byte
// transfers; a line driver queues whole frames with queue() and sends them
// with flush(), reading the pins back from the same transfer.
//
// Queued bytes go out before any other use of the port and when it closes.
// After the adapter fails once, nothing more is sent and status reads fail.
class FtdiSerialPort : public SerialPort {
  public:
    FtdiSerialPort(std::unique_ptr<FtdiDevice> device, const FtdiWiring& wiring,
                   int bytesPerSecond);
    ~FtdiSerialPort() override;

    bool readSettings() override { return true; }
    bool writeSettings(const LineFormat&) override { return true; }
    bool setReadTimeouts(const ReadTimeouts&) override { return true; }
    bool modemStatus(std::uint32_t& bits) override;
    FtdiSerialPort* bitBang() override { return this; }

    const FtdiWiring& wiring() const { return wiring_; }
    std::uint64_t bytePeriodNs() const { return periodNs_; }
    // The pins the last queued (or sent) byte drives.
    std::uint8_t pins() const { return pins_; }
    // Queues `count` bytes driving `pins`; the index of the first in the queue.
    std::size_t queue(std::uint8_t pins, std::size_t count = 1);
    std::size_t queued() const { return out_.size(); }
    // Sends the queue in one transfer; the pins read at each byte are kept
    // in readBack() until the next flush. False when the adapter failed.
    bool flush();
    const std::vector<std::uint8_t>& readBack() const { return in_; }

    bool failed() const { return failed_; }
    std::string lastError() const { return error_; }
    std::uint64_t transfers() const { return transfers_; }
    std::uint64_t bytesSent() const { return bytes_; }

  protected:
    bool writeLine(LineCode code) override;
    bool writeRtsDtr(bool rts, bool dtr) override;

  private:
    friend class FtdiSerialOpener;
    std::size_t queueOwn(std::uint8_t pins, std::size_t count = 1);
    bool setLine(const FtdiPin& pin, bool set);

    std::unique_ptr<FtdiDevice> device_;
    FtdiWiring wiring_;
    std::uint64_t periodNs_;
    std::uint8_t pins_;
    std::vector<std::uint8_t> out_, in_;
    bool failed_ = false;
    std::string error_;
    std::uint64_t transfers_ = 0;
    std::uint64_t bytes_ = 0;
};

// Opens "ftdi" and "ftdi:SERIAL" as serial ports on the board wiring; other
// names fail.
class FtdiSerialOpener : public SerialOpener {
  public:
    // Synchronous bit-bang bytes per second.
    static constexpr int kByteRate = 1'000'000;

    explicit FtdiSerialOpener(FtdiOpener& adapters, const FtdiWiring& wiring = kBoardOnFtdi)
        : adapters_(adapters), wiring_(wiring) {}
    std::unique_ptr<SerialPort> open(const std::string& portName) override;
    std::string lastError() const override { return error_; }

  private:
    FtdiOpener& adapters_;
    FtdiWiring wiring_;
    std::string error_;
};

}  // namespace ferrolux::platform
