#include "sim/sim_board.h"

#include <algorithm>

namespace ferrolux::sim {

namespace {
constexpr std::uint8_t kStatusIdle = 0x3F;
constexpr std::uint8_t kStatusAck = 0x40;
constexpr std::uint8_t kStatusFloating = 0x7F;
}  // namespace

class SimBoard::SerialProxy : public platform::SerialPort {
  public:
    explicit SerialProxy(SimBoard& board) : board_(board) { board_.serialOpen_ = true; }
    ~SerialProxy() override { board_.serialOpen_ = false; }

    bool readSettings() override { return true; }
    bool writeSettings(const platform::LineFormat&) override { return true; }
    bool setReadTimeouts(const platform::ReadTimeouts&) override { return true; }
    bool modemStatus(std::uint32_t& bits) override {
        if (!board_.portCall()) return lose(kGone);
        bits = board_.modemStatus();
        return true;
    }

  protected:
    bool writeLine(platform::LineCode code) override {
        if (!board_.portCall()) return lose(kGone);
        return board_.escape(code);
    }
    bool writeRtsDtr(bool rts, bool dtr) override {
        if (!board_.portCall()) return lose(kGone);
        board_.setRtsDtr(rts, dtr);
        return true;
    }

  private:
    static constexpr const char* kGone = "Input/output error";
    SimBoard& board_;
};

bool SimBoard::portCall() {
    if (!portCallsLeft_) return true;
    if (*portCallsLeft_ == 0) return false;
    --*portCallsLeft_;
    return true;
}

SimBoard::SimBoard(SimClock& clock, BoardConfig config) : clock_(clock), config_(config) {
    if (config_.vppBit != 3) config_.vppBit = 4;
    update();
}

SimBoard::~SimBoard() = default;

void SimBoard::insertChip(SocketChip* chip) {
    if (chip_ != nullptr) {
        // Pulled from the socket: every pin goes low.
        chip_->setPins(false, false, false, clock_.peek());
        chip_->attachClock(nullptr);
    }
    chip_ = chip;
    if (chip_ != nullptr) chip_->attachClock(&clock_);
    update();
}

void SimBoard::setDataFault(DataFault fault) {
    fault_ = fault;
    update();
}

void SimBoard::setFault(BoardFault fault) {
    // A chip that loses contact sees every pin low.
    if (chipHere()) chip_->setPins(false, false, false, clock_.peek());
    boardFault_ = fault;
    update();
}

void SimBoard::muteAfterChanges(std::uint64_t changes) {
    changesLeft_ = changes;
}

void SimBoard::muteAt(std::uint64_t timeNs) {
    // A time already past means now: the chip has seen the lines up to now.
    muteAtNs_ = std::max(timeNs, clock_.peek());
    checkMuteTime();
}

void SimBoard::checkMuteTime() {
    if (muteAtNs_ && clock_.peek() >= *muteAtNs_) goMute(*muteAtNs_);
}

void SimBoard::goMute(std::uint64_t atNs) {
    if (muted_) return;
    muted_ = true;
    changesLeft_.reset();
    muteAtNs_.reset();
    if (chip_ != nullptr) chip_->setPins(false, false, false, atNs);
    lines_ = Lines{};
}

std::unique_ptr<platform::SerialPort> SimBoard::openSerial() {
    if (serialOpen_) return nullptr;
    return std::make_unique<SerialProxy>(*this);
}

bool SimBoard::escape(platform::LineCode code) {
    switch (code) {
        case platform::LineCode::setRts:
            rts_ = true;
            break;
        case platform::LineCode::clrRts:
            rts_ = false;
            break;
        case platform::LineCode::setDtr:
            dtr_ = true;
            break;
        case platform::LineCode::clrDtr:
            dtr_ = false;
            break;
        case platform::LineCode::setBreak:
            break_ = true;
            break;
        case platform::LineCode::clrBreak:
            break_ = false;
            break;
        default:
            return false;
    }
    update();
    return true;
}

void SimBoard::setModemLines(bool rts, bool dtr, bool brk) {
    if (rts == rts_ && dtr == dtr_ && brk == break_) return;
    rts_ = rts;
    dtr_ = dtr;
    break_ = brk;
    update();
}

void SimBoard::setRtsDtr(bool rts, bool dtr) {
    rts_ = rts;
    dtr_ = dtr;
    update();
}

std::uint32_t SimBoard::modemStatus() {
    checkMuteTime();
    if (config_.kind != BoardKind::serial || !live()) return 0;
    std::uint32_t bits = 0;
    if (break_) bits |= platform::kModemRing;  // presence loop-back
    if (!lines_.data) bits |= platform::kModemCts;
    return bits;
}

bool SimBoard::parallelBoard() const {
    return config_.kind == BoardKind::an589 || config_.kind == BoardKind::p16pro;
}

bool SimBoard::writeData(std::uint16_t base, std::uint8_t value) {
    lastBase_ = base;
    dataRegister_ = value;
    update();
    return true;
}

bool SimBoard::readWord(std::uint16_t base, std::uint16_t& word) {
    lastBase_ = base;
    checkMuteTime();
    std::uint8_t status = kStatusFloating;
    if (parallelBoard() && live()) {
        status = kStatusIdle | (lines_.data ? kStatusAck : 0);
        if (config_.invertedBuffers) status = static_cast<std::uint8_t>(~status);
    }
    word = static_cast<std::uint16_t>(status << 8 | dataRegister_);
    return true;
}

SimBoard::Drive SimBoard::drive() const {
    Drive d;
    auto bits = static_cast<std::uint8_t>(config_.invertedBuffers ? ~dataRegister_ : dataRegister_);
    auto bit = [bits](int n) { return ((bits >> n) & 1) != 0; };
    switch (config_.kind) {
        case BoardKind::serial:
            d.clock = !rts_;
            d.data = dtr_ ? DataDrive::low : DataDrive::released;
            d.vpp = !break_;
            break;
        case BoardKind::an589:
            d.clock = bit(1);
            if (bit(2)) {
                d.data = DataDrive::released;
            } else {
                d.data = bit(0) ? DataDrive::high : DataDrive::low;
            }
            d.vpp = bit(3);
            d.pgm = bit(6);
            break;
        case BoardKind::p16pro:
            // Open collector: a 1 lets the pull-up (or the chip) set the level.
            d.clock = bit(1);
            d.data = bit(0) ? DataDrive::released : DataDrive::low;
            d.vpp = !bit(config_.vppBit);
            break;
        case BoardKind::none:
            break;
    }
    if (boardFault_ == BoardFault::clockStuck) d.clock = false;
    if (boardFault_ == BoardFault::vppStuck) d.vpp = false;
    return d;
}

bool SimBoard::dataLevel(DataDrive drive) const {
    if (fault_ == DataFault::stuckHigh || boardFault_ == BoardFault::dataHigh) return true;
    if (fault_ == DataFault::stuckLow || boardFault_ == BoardFault::dataLow) return false;
    switch (drive) {
        case DataDrive::low:
            return false;
        case DataDrive::high:
            return true;
        case DataDrive::released:
            break;
    }
    if (chipHere()) {
        if (auto out = chip_->dataOut()) return *out;
    }
    return true;  // pull-up
}

void SimBoard::update() {
    checkMuteTime();
    const std::uint64_t now = clock_.peek();
    Drive d = drive();
    Lines next;
    if (live()) next = {d.clock, dataLevel(d.data), d.vpp, d.pgm};
    if (live() && changesLeft_ && !(next == lines_)) {
        if (*changesLeft_ == 0) {
            goMute(now);
            next = Lines{};
        } else {
            --*changesLeft_;
        }
    }
    if (chipHere()) {
        chip_->setPins(next.clock, next.data, next.vpp || next.pgm, now);
        // The chip may have started or stopped driving the line.
        bool level = dataLevel(d.data);
        if (level != next.data) {
            next.data = level;
            chip_->setPins(next.clock, next.data, next.vpp || next.pgm, now);
        }
    }
    if (tracing_ && (trace_.empty() || !(next == lines_))) trace_.push_back({clock_.peek(), next});
    lines_ = next;
}

std::unique_ptr<platform::SerialPort> SimSerialOpener::open(const std::string& portName) {
    if (portName != portName_) return nullptr;
    return board_.openSerial();
}

}  // namespace ferrolux::sim
