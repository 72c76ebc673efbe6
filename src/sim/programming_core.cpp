#include "sim/programming_core.h"

namespace ferrolux::sim {

namespace {

enum Command : int {
    loadConfiguration = 0,
    loadProgram = 2,
    loadData = 3,
    readProgramCmd = 4,
    readDataCmd = 5,
    incrementAddressCmd = 6,
    beginProgramming = 8,
};

std::size_t positive(int n) {
    return n > 0 ? static_cast<std::size_t>(n) : 0;
}

}  // namespace

ChipMemory ChipMemory::erased(const ChipProfile& profile) {
    ChipMemory m;
    m.program.assign(positive(profile.codeWords), kWordMask);
    m.config.fill(kWordMask);
    if (profile.hasDeviceId) m.config[kDeviceIdIndex] = profile.deviceId & kWordMask;
    m.data.assign(positive(profile.dataBytes), 0xFF);
    return m;
}

Core14::Core14(const ChipProfile& profile, ChipMemory& memory)
    : profile_(profile), memory_(memory) {}

void Core14::enterProgramming() {
    pc_ = 0;
    latch_ = kWordMask;
    latchTarget_ = Target::program;
}

CommandResult Core14::command(int code) {
    switch (code) {
        case loadConfiguration:
            pc_ = kConfigBase;
            return {FrameKind::load, std::nullopt};
        case loadProgram:
        case loadData:
            return {FrameKind::load, std::nullopt};
        case readProgramCmd:
        case readDataCmd:
            return {FrameKind::read, std::nullopt};
        case incrementAddressCmd:
            incrementAddress();
            return {};
        case beginProgramming:
            return {FrameKind::none, programCycle()};
        default:
            return {};
    }
}

void Core14::load(int code, std::uint16_t word) {
    latch_ = word & kWordMask;
    latchTarget_ = code == loadData ? Target::data : Target::program;
}

std::uint16_t Core14::read(int code) {
    return code == readDataCmd ? readData() : readProgram();
}

void Core14::incrementAddress() {
    if (pc_ < kConfigBase) {
        pc_ = (pc_ + 1) & 0x1FFF;
    } else {
        pc_ = pc_ >= 0x3FFF ? kConfigBase : pc_ + 1;
    }
}

std::uint16_t Core14::readProgram() const {
    if (pc_ >= kConfigBase) {
        std::uint32_t offset = pc_ - kConfigBase;
        return offset < kConfigWords ? memory_.config[offset] : kWordMask;
    }
    if (memory_.program.empty()) return kWordMask;
    return memory_.program[pc_ % memory_.program.size()];
}

std::uint8_t Core14::readData() const {
    if (memory_.data.empty()) return 0;
    return memory_.data[pc_ % memory_.data.size()];
}

TimedOp Core14::programCycle() {
    std::uint32_t pc = pc_;
    std::uint16_t word = latch_;
    std::function<void(ChipMemory&)> commit;
    if (latchTarget_ == Target::data) {
        commit = [pc, word](ChipMemory& m) {
            if (!m.data.empty()) m.data[pc % m.data.size()] = static_cast<std::uint8_t>(word);
        };
    } else if (pc >= kConfigBase) {
        commit = [pc, word](ChipMemory& m) {
            std::uint32_t offset = pc - kConfigBase;
            if (offset < kConfigWords && offset != kDeviceIdIndex) m.config[offset] = word;
        };
    } else {
        commit = [pc, word](ChipMemory& m) {
            if (!m.program.empty()) m.program[pc % m.program.size()] = word;
        };
    }
    return {profile_.programTimeNs, std::move(commit)};
}

std::unique_ptr<ProgrammingCore> makeCore(const ChipProfile& profile, ChipMemory& memory) {
    switch (profile.family) {
        default:
            return std::make_unique<Core14>(profile, memory);
    }
}

}  // namespace ferrolux::sim
