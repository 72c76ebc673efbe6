#include "sim/sim_ftdi.h"

namespace ferrolux::sim {

SimFtdiDevice::SimFtdiDevice(SimBoard& board, SimClock& clock, const platform::FtdiWiring& wiring)
    : board_(board), clock_(clock), wiring_(wiring) {
    board_.attachModemLines(true);
}

SimFtdiDevice::~SimFtdiDevice() {
    board_.attachModemLines(false);
}

bool SimFtdiDevice::setSyncBitBang(std::uint8_t outputMask) {
    outputMask_ = outputMask;
    syncMode_ = true;
    return true;
}

bool SimFtdiDevice::setByteRate(int bytesPerSecond) {
    if (bytesPerSecond <= 0) {
        error_ = "invalid byte rate";
        return false;
    }
    periodNs_ = 1'000'000'000ull / static_cast<std::uint64_t>(bytesPerSecond);
    return true;
}

std::uint8_t SimFtdiDevice::inputs() {
    const std::uint32_t status = board_.modemStatusNow();
    std::uint8_t in = 0;
    auto pin = [&in](const platform::FtdiPin& p, bool set) {
        if (set != p.inverted) in |= p.mask;
    };
    pin(wiring_.cts, (status & platform::kModemCts) != 0);
    pin(wiring_.ring, (status & platform::kModemRing) != 0);
    return in;
}

bool SimFtdiDevice::transfer(std::span<const std::uint8_t> out, std::span<std::uint8_t> in) {
    if (!syncMode_ || periodNs_ == 0) {
        error_ = "not in synchronous bit-bang mode";
        return false;
    }
    clock_.advance(transferCostNs_);
    for (std::size_t i = 0; i < out.size(); ++i) {
        if (failAfter_ && (*failAfter_)-- == 0) {
            error_ = "short read: " + std::to_string(i) + " of " + std::to_string(out.size()) +
                     " bytes came back";
            return false;
        }
        // Sampled just before this byte's output is applied.
        if (i < in.size()) {
            in[i] = static_cast<std::uint8_t>((pins_ & outputMask_) | (inputs() & ~outputMask_));
        }
        pins_ = static_cast<std::uint8_t>((pins_ & ~outputMask_) | (out[i] & outputMask_));
        auto set = [this](const platform::FtdiPin& p) {
            return ((pins_ & p.mask) != 0) != p.inverted;
        };
        board_.setModemLines(set(wiring_.rts), set(wiring_.dtr), set(wiring_.txd));
        clock_.advance(periodNs_);
    }
    return true;
}

std::unique_ptr<platform::FtdiDevice> SimFtdiOpener::open(const std::string& serial) {
    error_.clear();
    if (!refusal_.empty()) {
        error_ = refusal_;
        refusal_.clear();
        return nullptr;
    }
    if (!serial.empty() && serial != serial_) {
        error_ = "no adapter with serial number " + serial;
        return nullptr;
    }
    if (board_.serialOpen()) {
        error_ = "the adapter is busy";
        return nullptr;
    }
    auto device = std::make_unique<SimFtdiDevice>(board_, clock_);
    last_ = device.get();
    return device;
}

}  // namespace ferrolux::sim
