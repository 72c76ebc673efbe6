#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "platform/ftdi_port.h"
#include "sim/sim_board.h"

namespace ferrolux::sim {

// An FTDI adapter in synchronous bit-bang mode with the serial board behind
// its level shifter. Each byte written drives the pins for one byte period of
// the board's simulated clock; the byte read back for it holds the pins as
// they were just before its output took effect. The board's RTS, DTR and
// break follow the pins through the wiring; CTS and RING come back the same
// way. Every transfer first costs the USB round trip, transferCostNs of the
// clock with the pins held. The board must outlive the device.
class SimFtdiDevice : public platform::FtdiDevice {
  public:
    SimFtdiDevice(SimBoard& board, SimClock& clock,
                  const platform::FtdiWiring& wiring = platform::kBoardOnFtdi);
    ~SimFtdiDevice() override;

    bool setSyncBitBang(std::uint8_t outputMask) override;
    bool setByteRate(int bytesPerSecond) override;
    bool transfer(std::span<const std::uint8_t> out, std::span<std::uint8_t> in) override;
    bool purge() override { return true; }
    std::string lastError() const override { return error_; }

    // A full-speed USB round trip: about 1 ms.
    static constexpr std::uint64_t kTransferCostNs = 1'000'000;
    void setTransferCostNs(std::uint64_t ns) { transferCostNs_ = ns; }

    // The adapter fails: after `bytes` more bytes a transfer returns short.
    void failAfter(std::uint64_t bytes) { failAfter_ = bytes; }
    std::uint8_t pins() const { return pins_; }

  private:
    std::uint8_t inputs();

    SimBoard& board_;
    SimClock& clock_;
    platform::FtdiWiring wiring_;
    std::uint8_t outputMask_ = 0;
    std::uint8_t pins_ = 0xFF;
    std::uint64_t periodNs_ = 0;
    bool syncMode_ = false;
    std::uint64_t transferCostNs_ = kTransferCostNs;
    std::optional<std::uint64_t> failAfter_;
    std::string error_;
};

// Opens the simulated adapter by the serial number `serial` ("" or that one).
class SimFtdiOpener : public platform::FtdiOpener {
  public:
    SimFtdiOpener(SimBoard& board, SimClock& clock, std::string serial = "SIM1")
        : board_(board), clock_(clock), serial_(std::move(serial)) {}
    std::unique_ptr<platform::FtdiDevice> open(const std::string& serial) override;
    std::vector<platform::FtdiAdapterInfo> list() override {
        return {{serial_, "simulated FT232R"}};
    }
    std::string lastError() const override { return error_; }
    // The device last opened; it lives as long as the port that holds it.
    SimFtdiDevice* lastOpened() const { return last_; }
    // The next open fails.
    void refuseOpen(std::string why) { refusal_ = std::move(why); }

  private:
    SimBoard& board_;
    SimClock& clock_;
    std::string serial_;
    std::string refusal_;
    std::string error_;
    SimFtdiDevice* last_ = nullptr;
};

}  // namespace ferrolux::sim
