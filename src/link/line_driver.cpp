#include "link/line_driver.h"

#include <vector>

#include "link/delays.h"
#include "link/parallel_lines.h"
#include "link/serial_lines.h"
#include "platform/ftdi_serial_port.h"
#include "session/session.h"

namespace ferrolux {

namespace {

using platform::LineCode;

// --- Timings

constexpr FrameTiming kSerialTiming{.lead = 5,
                                    .framingKeepsData = true,
                                    .commandSetup = 10,
                                    .commandHigh = {10, 10},
                                    .low = 10,
                                    .commandTail = 10,
                                    .loadLead = 20,
                                    .loadHigh = 20,
                                    .readLead = {10, 20},
                                    .releaseWithStart = true,
                                    .readHigh = 20,
                                    .readStopHigh = 10};

constexpr FrameTiming kAn589Timing{.lead = 0,
                                   .framingKeepsData = false,
                                   .commandSetup = 10,
                                   .commandHigh = {10, 0},
                                   .low = 10,
                                   .commandTail = 10,
                                   .loadLead = 10,
                                   .loadHigh = 10,
                                   .readLead = {0, 0},
                                   .releaseWithStart = false,
                                   .readHigh = 10,
                                   .readStopHigh = 10};

constexpr FrameTiming kP16ProTiming = [] {
    FrameTiming t = kAn589Timing;
    t.commandTail = 0;
    return t;
}();

// --- Power steps

// Serial board: clock and data low with Vpp off, then Vpp on; leaving stops at
// Vpp off. Line sense 1 asserts a line for its low level.
constexpr PowerStep kSerialEnter1[] = {{kRtsBit | kDtrBit | kBreakBit, 10},
                                       {kRtsBit | kDtrBit, 10}};
constexpr PowerStep kSerialLeave1[] = {{kRtsBit | kDtrBit | kBreakBit, 10}};
constexpr PowerStep kSerialEnter0[] = {{0, 10}, {kBreakBit, 10}};
constexpr PowerStep kSerialLeave0[] = {{0, 10}};

// AN589: D4/D5/D7 switch VDD, D2 releases the data line, D3 Vpp, D6 PGM.
constexpr PowerStep kAn589Enter[] = {{0x34, 10}, {0x08, 10}};
constexpr PowerStep kAn589EnterLow[] = {{0x34, 10}, {0xA4, 10}, {0xE4, 10}, {0xC0, 10}};
// VDD up, through the idle state, before D3 raises Vpp.
constexpr PowerStep kAn589EnterVddFirst[] = {{0x34, 10}, {0x24, 10}, {0x08, 10}};
// D3 raises Vpp while D4 still holds VDD off, then VDD comes up.
constexpr PowerStep kAn589EnterVppFirst[] = {{0x34, 10}, {0x3C, 10}, {0x08, 10}};
constexpr PowerStep kAn589Leave[] = {{0x24, 0, 10}};

// P16PRO / PP: D2 holds the chip unpowered, the Vpp bit (D3 or D4, the other
// one set) switches Vpp off while high: VDD before Vpp.
constexpr PowerStep kP16ProEnterD4[] = {{0x1C, 10}, {0x18, 10}, {0x08, 10}};
constexpr PowerStep kP16ProEnterD3[] = {{0x1C, 10}, {0x18, 10}, {0x10, 10}};
constexpr PowerStep kP16ProLeave[] = {{0x1B, 50}};

// --- The wiring table

constexpr std::uint32_t kAck = 0x4000;  // status bit 6 of the parallel word
constexpr std::uint32_t kCts = platform::kModemCts;

constexpr Wiring kWirings[] = {
    {"serial board, line sense 1", kRtsBit, kDtrBit, 0, kBreakBit, kRtsBit | kDtrBit | kBreakBit, 0,
     kCts, true, kSerialEnter1, kSerialLeave1, &kSerialTiming},
    {"serial board, line sense 0", kRtsBit, kDtrBit, 0, kBreakBit, 0, 0, kCts, false, kSerialEnter0,
     kSerialLeave0, &kSerialTiming},
    {"AN589", 0x02, 0x01, 0x04, 0x08, 0, 0, kAck, false, kAn589Enter, kAn589Leave, &kAn589Timing},
    {"AN589, VDD before Vpp", 0x02, 0x01, 0x04, 0x08, 0, 0, kAck, false, kAn589EnterVddFirst,
     kAn589Leave, &kAn589Timing},
    {"AN589, Vpp before VDD", 0x02, 0x01, 0x04, 0x08, 0, 0, kAck, false, kAn589EnterVppFirst,
     kAn589Leave, &kAn589Timing},
    {"AN589, low voltage", 0x02, 0x01, 0x04, 0x40, 0, 0, kAck, false, kAn589EnterLow, kAn589Leave,
     &kAn589Timing},
    {"P16PRO, Vpp on D4", 0x02, 0x01, 0, 0x10, 0x10, 0x08, kAck, false, kP16ProEnterD4,
     kP16ProLeave, &kP16ProTiming},
    {"P16PRO, Vpp on D3", 0x02, 0x01, 0, 0x08, 0x08, 0x10, kAck, false, kP16ProEnterD3,
     kP16ProLeave, &kP16ProTiming},
};

enum Row {
    kSerial1,
    kSerial0,
    kAn589,
    kAn589VddFirst,
    kAn589VppFirst,
    kAn589Low,
    kP16ProD4,
    kP16ProD3
};

// --- Drivers

class SerialDriver final : public LineDriver {
  public:
    SerialDriver(Session& s, const Wiring& w) : LineDriver(w), s_(s) {}

    // A kept data line is not touched: only the clock and Vpp change.
    void put(const IcspLines& lines) override {
        if (!s_.port.comOpen()) return;
        const std::uint8_t image = wiring().image(lines, 0);
        auto& port = *s_.port.comHandle;
        if (lines.data == DataOut::keep) {
            (void)port.escape(image & kRtsBit ? LineCode::setRts : LineCode::clrRts);
        } else {
            (void)port.setRtsDtr(image & kRtsBit, image & kDtrBit);
        }
        (void)port.escape(image & kBreakBit ? LineCode::setBreak : LineCode::clrBreak);
    }
    void write(std::uint8_t image) override {
        if (!s_.port.comOpen()) return;
        (void)s_.port.comHandle->setRtsDtr(image & kRtsBit, image & kDtrBit);
        (void)s_.port.comHandle->escape(image & kBreakBit ? LineCode::setBreak
                                                          : LineCode::clrBreak);
    }
    void delay(int count) override { speedDelay(s_, count); }
    void waitMs(int ms) override { clockWaitMs(s_, ms); }
    void waitUs(int us) override { clockWaitUs(s_, us); }
    void sample() override { record(readModemStatus(s_) & 0xFF); }

  protected:
    std::uint8_t current() const override { return 0; }

  private:
    Session& s_;
};

class ParallelDriver final : public LineDriver {
  public:
    ParallelDriver(Session& s, const Wiring& w) : LineDriver(w), s_(s) {}

    void write(std::uint8_t image) override {
        current_ = image;
        parallelWrite(s_, image);
    }
    void delay(int count) override { speedDelay(s_, count); }
    void waitMs(int ms) override { clockWaitMs(s_, ms); }
    void waitUs(int us) override { clockWaitUs(s_, us); }
    void sample() override { record(parallelRead(s_)); }

  protected:
    std::uint8_t current() const override { return current_; }

  private:
    Session& s_;
    std::uint8_t current_ = 0;
};

// The serial board on an FTDI adapter in synchronous bit-bang: every image
// becomes a byte on the adapter's pins, a bit delay as many repeated bytes
// as cover its time, and the samples are the read-back bytes that follow.
// Streaming, a wait up to kStreamedWaitNs is idle bytes in the same transfer;
// a longer one sends what is held and sleeps: its bytes would cost more than
// the transfer it splits.
class FtdiDriver final : public LineDriver {
  public:
    // The time one clock read takes: a bit delay of n reads lasts n times this.
    static constexpr std::uint64_t kReadNs = 25;
    // About two USB round trips.
    static constexpr std::uint64_t kStreamedWaitNs = 2'000'000;

    FtdiDriver(Session& s, const Wiring& w, platform::FtdiSerialPort& port, bool streaming)
        : LineDriver(w), s_(s), port_(port), streaming_(streaming) {}
    // Frames a caller left unfinished still go out.
    ~FtdiDriver() override = default;

    void write(std::uint8_t image) override {
        const auto& pins = port_.wiring();
        std::uint8_t out = port_.pins();
        auto line = [&out](const platform::FtdiPin& pin, bool set) {
            const bool high = set != pin.inverted;
            out = static_cast<std::uint8_t>(high ? out | pin.mask : out & ~pin.mask);
        };
        line(pins.rts, image & kRtsBit);
        line(pins.dtr, image & kDtrBit);
        line(pins.txd, image & kBreakBit);
        port_.queue(out);
    }
    void delay(int count) override {
        // The byte just written already holds for one period.
        const std::uint64_t bytes = bytesFor(delayReads(s_, count) * kReadNs);
        if (bytes > 1) port_.queue(port_.pins(), bytes - 1);
    }
    void waitMs(int ms) override {
        if (held(static_cast<std::uint64_t>(ms) * 1'000'000u)) return;
        finish();
        clockWaitMs(s_, ms);
    }
    void waitUs(int us) override {
        if (held(static_cast<std::uint64_t>(us) * 1'000u)) return;
        finish();
        clockWaitUs(s_, us);
    }
    // The pins are read as the next byte goes out.
    void sample() override { samples_.push_back(port_.queued()); }
    // After a failure nothing more reaches the chip; linesLost() tells.
    void finish() override { settle(); }

  protected:
    // Sends the queue and reads the samples from its read-back.
    void settle() override {
        if (!samples_.empty() && samples_.back() >= port_.queued()) port_.queue(port_.pins());
        (void)port_.flush();
        const auto& read = port_.readBack();
        const auto& cts = port_.wiring().cts;
        for (std::size_t at : samples_) {
            // CTS as the modem status reports it; past the read-back it counts as clear.
            const bool set = at < read.size() && ((read[at] & cts.mask) != 0) != cts.inverted;
            record(set ? platform::kModemCts : 0);
        }
        samples_.clear();
    }
    // The modem lines the pins hold now, as set bits.
    std::uint8_t current() const override {
        const auto& pins = port_.wiring();
        auto set = [this](const platform::FtdiPin& pin) {
            return ((port_.pins() & pin.mask) != 0) != pin.inverted;
        };
        return static_cast<std::uint8_t>((set(pins.rts) ? kRtsBit : 0) |
                                         (set(pins.dtr) ? kDtrBit : 0) |
                                         (set(pins.txd) ? kBreakBit : 0));
    }

  private:
    std::uint64_t bytesFor(std::uint64_t ns) const {
        const std::uint64_t period = port_.bytePeriodNs();
        return (ns + period - 1) / period;
    }
    // A streamed wait: the lines held for `ns` more, in the same transfer.
    bool held(std::uint64_t ns) {
        if (!streaming_ || ns > kStreamedWaitNs) return false;
        if (ns > 0) port_.queue(port_.pins(), bytesFor(ns));
        return true;
    }

    Session& s_;
    platform::FtdiSerialPort& port_;
    bool streaming_;
    std::vector<std::size_t> samples_;
};

}  // namespace

std::uint8_t Wiring::image(const IcspLines& lines, std::uint8_t current) const {
    std::uint8_t bits = 0;
    if (lines.clock) bits |= clock;
    if (lines.vpp) bits |= vpp;
    switch (lines.data) {
        case DataOut::low:
            break;
        case DataOut::high:
            bits |= data;
            break;
        case DataOut::released:
            bits |= release != 0 ? release : data;
            break;
        case DataOut::keep:
            bits |= (current ^ activeLow) & (data | release);
            break;
    }
    return static_cast<std::uint8_t>((bits ^ activeLow) | fixed);
}

const Wiring& wiringOf(const Session& s) {
    if (s.link.serial) return kWirings[s.link.lineSense == 1 ? kSerial1 : kSerial0];
    if (s.link.adapter == '2' || s.link.adapter == '3') {
        return kWirings[s.link.vppLine == '3' ? kP16ProD3 : kP16ProD4];
    }
    if (s.link.lowVoltage) return kWirings[kAn589Low];
    // Flash 12-bit chips and PIC18 chips want VDD up before Vpp (DS39622L
    // Figure 2-11, P13).
    if (flash12Bit(s.device) || pic18Core(s.device)) return kWirings[kAn589VddFirst];
    return kWirings[vppBeforeVdd(s.device) ? kAn589VppFirst : kAn589];
}

std::unique_ptr<LineDriver> driverFor(Session& s, bool streaming) {
    const Wiring& w = wiringOf(s);
    if (!s.link.serial) return std::make_unique<ParallelDriver>(s, w);
    if (s.port.comOpen()) {
        if (auto* port = s.port.comHandle->bitBang())
            return std::make_unique<FtdiDriver>(s, w, *port, streaming);
    }
    return std::make_unique<SerialDriver>(s, w);
}

void flushLines(Session& s) {
    if (!s.port.comOpen()) return;
    if (auto* port = s.port.comHandle->bitBang()) (void)port->flush();
}

bool portFailed(Session& s) {
    if (!s.port.comOpen()) return false;
    platform::SerialPort& serial = *s.port.comHandle;
    if (auto* port = serial.bitBang()) {
        if (port->flush() && !port->failed()) return false;
        s.message = "FTDI adapter failed: " + port->lastError();
        return true;
    }
    if (serial.lostReason().empty()) return false;
    s.message = "the serial port stopped answering: " + serial.lostReason();
    return true;
}

bool linesLost(Session& s) {
    if (!s.port.comOpen()) return false;
    platform::SerialPort& serial = *s.port.comHandle;
    // The board loops break back to RING: with break set (the lines idle on
    // line sense 1, Vpp on at line sense 0) a RING that stays clear means the
    // board is no longer on the port.
    if (serial.bitBang() == nullptr && serial.lostReason().empty() && serial.breakLevel() == true &&
        (readModemStatus(s) & platform::kModemRing) == 0 && serial.lostReason().empty()) {
        (void)serial.lose("the programmer board does not answer (no RING)");
    }
    return portFailed(s);
}

}  // namespace ferrolux
