#include "platform/ftdi_serial_port.h"

namespace ferrolux::platform {

namespace {

std::uint8_t withLine(std::uint8_t pins, const FtdiPin& pin, bool set) {
    const bool high = set != pin.inverted;
    return static_cast<std::uint8_t>(high ? pins | pin.mask : pins & ~pin.mask);
}

}  // namespace

FtdiSerialPort::FtdiSerialPort(std::unique_ptr<FtdiDevice> device, const FtdiWiring& wiring,
                               int bytesPerSecond)
    : device_(std::move(device)),
      wiring_(wiring),
      periodNs_(1'000'000'000ull /
                static_cast<std::uint64_t>(bytesPerSecond > 0 ? bytesPerSecond : 1)),
      // Every line clear, as a serial port opens.
      pins_(withLine(withLine(withLine(0, wiring.rts, false), wiring.dtr, false), wiring.txd,
                     false)) {}

FtdiSerialPort::~FtdiSerialPort() {
    (void)flush();
}

std::size_t FtdiSerialPort::queue(std::uint8_t pins, std::size_t count) {
    forgetLevels();
    return queueOwn(pins, count);
}

std::size_t FtdiSerialPort::queueOwn(std::uint8_t pins, std::size_t count) {
    const std::size_t at = out_.size();
    out_.insert(out_.end(), count, pins);
    if (count > 0) pins_ = pins;
    return at;
}

bool FtdiSerialPort::flush() {
    if (out_.empty()) return !failed_;
    in_.assign(out_.size(), 0);
    if (!failed_) {
        ++transfers_;
        bytes_ += out_.size();
        if (!device_->transfer(out_, in_)) {
            failed_ = true;
            error_ = device_->lastError();
            if (error_.empty()) error_ = "the adapter stopped answering";
        }
    }
    out_.clear();
    return !failed_;
}

bool FtdiSerialPort::setLine(const FtdiPin& pin, bool set) {
    queueOwn(withLine(pins_, pin, set));
    return flush();
}

bool FtdiSerialPort::writeLine(LineCode code) {
    switch (code) {
        case LineCode::setRts:
        case LineCode::clrRts:
            return setLine(wiring_.rts, code == LineCode::setRts);
        case LineCode::setDtr:
        case LineCode::clrDtr:
            return setLine(wiring_.dtr, code == LineCode::setDtr);
        case LineCode::setBreak:
        case LineCode::clrBreak:
            return setLine(wiring_.txd, code == LineCode::setBreak);
    }
    return false;
}

bool FtdiSerialPort::writeRtsDtr(bool rts, bool dtr) {
    queueOwn(withLine(withLine(pins_, wiring_.rts, rts), wiring_.dtr, dtr));
    return flush();
}

bool FtdiSerialPort::modemStatus(std::uint32_t& bits) {
    // One byte holding the outputs: its read-back is the pins as they are.
    queueOwn(pins_);
    if (!flush() || in_.empty()) return false;
    const std::uint8_t read = in_.back();
    auto isSet = [read](const FtdiPin& pin) { return ((read & pin.mask) != 0) != pin.inverted; };
    bits = 0;
    if (isSet(wiring_.cts)) bits |= kModemCts;
    if (isSet(wiring_.ring)) bits |= kModemRing;
    return true;
}

std::unique_ptr<SerialPort> FtdiSerialOpener::open(const std::string& portName) {
    error_.clear();
    if (!isFtdiPortName(portName)) {
        error_ = portName + " is not an FTDI adapter name";
        return nullptr;
    }
    auto device = adapters_.open(ftdiSerialOf(portName));
    if (!device) {
        error_ = "FTDI adapter " + portName + ": " + adapters_.lastError();
        return nullptr;
    }
    if (!device->setSyncBitBang(wiring_.outputs()) || !device->setByteRate(kByteRate) ||
        !device->purge()) {
        error_ = "FTDI adapter " + portName + ": " + device->lastError();
        return nullptr;
    }
    auto port = std::make_unique<FtdiSerialPort>(std::move(device), wiring_, kByteRate);
    // The pins take the idle levels now, so the first change is a real one.
    port->queueOwn(port->pins());
    if (!port->flush()) {
        error_ = "FTDI adapter " + portName + ": " + port->lastError();
        return nullptr;
    }
    return port;
}

}  // namespace ferrolux::platform
