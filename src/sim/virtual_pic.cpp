#include "sim/virtual_pic.h"

#include "sim/sim_clock.h"

namespace ferrolux::sim {

namespace {
constexpr int kCommandBits = 6;
constexpr int kFrameClocks = 16;
// THLD0: the least time from programming mode entry to the first clock edge
// (5 us in Microchip's programming documents for the flash parts).
constexpr std::uint64_t kEntryHoldNs = 5'000;
}  // namespace

VirtualPic::VirtualPic(ChipProfile profile)
    : profile_(std::move(profile)),
      memory_(ChipMemory::factory(profile_)),
      core_(makeCore(profile_, memory_, faults_)) {}

VirtualPic::~VirtualPic() = default;

void VirtualPic::setPins(bool clock, bool data, bool programEnable, std::uint64_t nowNs) {
    settle(nowNs);

    if (programEnable != programEnable_) {
        programEnable_ = programEnable;
        if (programEnable) {
            enter();
            deafUntilNs_ = nowNs + kEntryHoldNs;
        } else {
            leave();
        }
    }

    if (clock != clockPin_) {
        clockPin_ = clock;
        if (programming_) {
            if (pending_ && !pending_->op.external) loseWrite();
            if (!frameStarted_) {
                frameStarted_ = true;
                frameStartNs_ = nowNs;
            }
            if (clock) {
                risingEdge();
            } else {
                fallingEdge(data, nowNs);
            }
        }
    }
}

void VirtualPic::settle(std::uint64_t nowNs) {
    if (pending_ && !pending_->op.external &&
        nowNs >= pending_->startNs + pending_->op.durationNs) {
        auto commit = std::move(pending_->op.commit);
        pending_.reset();
        commit();
    }
}

void VirtualPic::begin(TimedOp op, std::uint64_t nowNs) {
    if (pending_) loseWrite();  // a new cycle while one is still open
    pending_ = Pending{nowNs, std::move(op)};
}

void VirtualPic::endExternal(std::uint64_t nowNs) {
    if (!pending_ || !pending_->op.external) return;
    if (nowNs < pending_->startNs + pending_->op.durationNs) return loseWrite();
    auto commit = std::move(pending_->op.commit);
    pending_.reset();
    commit();
}

void VirtualPic::settleByClock() {
    if (clock_ != nullptr) settle(clock_->peek());
}

void VirtualPic::enter() {
    programming_ = true;
    resetDecoder();
    core_->enterProgramming();
}

void VirtualPic::leave() {
    if (pending_) loseWrite();
    programming_ = false;
    resetDecoder();
}

void VirtualPic::resetDecoder() {
    phase_ = Phase::command;
    code_ = 0;
    bits_ = 0;
    risings_ = 0;
    shift_ = 0;
    frameStarted_ = false;
    out_.reset();
}

void VirtualPic::loseWrite() {
    pending_.reset();
    ++lostWrites_;
}

void VirtualPic::risingEdge() {
    if (phase_ != Phase::read) return;
    ++risings_;
    if (risings_ >= 2 && risings_ < kFrameClocks) {
        out_ = ((readValue_ >> (risings_ - 2)) & 1) != 0;
    } else if (risings_ >= kFrameClocks) {
        out_.reset();
    }
}

void VirtualPic::fallingEdge(bool data, std::uint64_t nowNs) {
    switch (phase_) {
        case Phase::command: {
            if (data) shift_ |= 1u << bits_;
            if (++bits_ < kCommandBits) return;
            int code = static_cast<int>(shift_);
            const bool tooSoon = frameStartNs_ < deafUntilNs_;
            endFrame(Frame::command, code, nowNs);
            // A command that comes too soon after entry or a discharge
            // time is not taken, and has no frame.
            if (tooSoon) {
                ++earlyCommands_;
                return;
            }
            CommandResult result = core_->command(code);
            if (result.deafNs != 0) deafUntilNs_ = nowNs + result.deafNs;
            if (result.endsProgramming) endExternal(nowNs);
            if (result.timedOp) begin(std::move(*result.timedOp), nowNs);
            code_ = code;
            if (result.frame == FrameKind::load) {
                phase_ = Phase::load;
            } else if (result.frame == FrameKind::read) {
                phase_ = Phase::read;
                readValue_ = core_->read(code) & kWordMask;
                risings_ = 0;
            }
            return;
        }
        case Phase::load: {
            // Bit 0 is the start bit and bit 15 the stop bit.
            if (data && bits_ >= 1 && bits_ <= 14) shift_ |= 1u << (bits_ - 1);
            if (++bits_ < kFrameClocks) return;
            auto word = static_cast<std::uint16_t>(shift_);
            endFrame(Frame::load, word, nowNs);
            core_->load(code_, word);
            phase_ = Phase::command;
            return;
        }
        case Phase::read:
            if (++bits_ < kFrameClocks) return;
            endFrame(Frame::read, readValue_, nowNs);
            out_.reset();
            phase_ = Phase::command;
            return;
    }
}

void VirtualPic::endFrame(Frame::Kind kind, int value, std::uint64_t nowNs) {
    if (logFrames_) frames_.push_back({kind, value, frameStartNs_, nowNs});
    bits_ = 0;
    shift_ = 0;
    frameStarted_ = false;
}

std::uint16_t VirtualPic::programWord(std::size_t index) {
    settleByClock();
    if (memory_.program.empty()) return profile_.wordMask();
    return memory_.program[index % memory_.program.size()];
}

void VirtualPic::setProgramWord(std::size_t index, std::uint16_t word) {
    if (memory_.program.empty()) return;
    memory_.program[index % memory_.program.size()] = word & profile_.wordMask();
}

std::uint32_t VirtualPic::configWordAddress() const {
    return profile_.twelveBit() ? kConfig12Address
                                : kConfigBase + static_cast<std::uint32_t>(kConfigWordIndex);
}

std::uint16_t* VirtualPic::configCell(std::uint32_t address) {
    if (address == configWordAddress()) return &memory_.config[kConfigWordIndex];
    const std::uint32_t base =
        profile_.twelveBit() ? static_cast<std::uint32_t>(memory_.program.size()) : kConfigBase;
    const std::size_t ids = profile_.twelveBit() ? kBackupCalibrationIndex + 1 : kConfigWords;
    if (address < base || address - base >= ids) return nullptr;
    return &memory_.config[address - base];
}

std::uint16_t VirtualPic::configWord(std::uint32_t address) {
    settleByClock();
    const std::uint16_t* cell = configCell(address);
    return cell != nullptr ? *cell : profile_.wordMask();
}

void VirtualPic::setConfigWord(std::uint32_t address, std::uint16_t word) {
    std::uint16_t* cell = configCell(address);
    if (cell == nullptr) return;
    const bool configWord = cell == &memory_.config[kConfigWordIndex];
    *cell = configWord ? profile_.configRead(word) : word & profile_.wordMask();
}

std::uint8_t VirtualPic::dataByte(std::size_t index) {
    settleByClock();
    if (memory_.data.empty()) return 0xFF;
    return memory_.data[index % memory_.data.size()];
}

void VirtualPic::setDataByte(std::size_t index, std::uint8_t value) {
    if (memory_.data.empty()) return;
    memory_.data[index % memory_.data.size()] = value;
}

void VirtualPic::protect(bool code, bool data) {
    std::uint16_t& word = memory_.config[kConfigWordIndex];
    if (code) word = static_cast<std::uint16_t>(word & ~profile_.codeProtectBits);
    if (data) word = static_cast<std::uint16_t>(word & ~profile_.dataProtectBits);
}

const ChipMemory& VirtualPic::memory() {
    settleByClock();
    return memory_;
}

bool VirtualPic::restoreMemory(const ChipMemory& memory) {
    if (memory.program.size() != memory_.program.size() ||
        memory.data.size() != memory_.data.size())
        return false;
    memory_ = memory;
    return true;
}

void VirtualPic::resetToFactory() {
    pending_.reset();
    memory_ = ChipMemory::factory(profile_);
    core_ = makeCore(profile_, memory_, faults_);
    if (programming_) core_->enterProgramming();
}

}  // namespace ferrolux::sim
