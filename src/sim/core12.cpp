#include "sim/programming_core.h"

namespace ferrolux::sim {

namespace {

enum Command : int {
    loadData = 2,
    readData = 4,
    incrementAddressCmd = 6,
    beginProgramming = 8,
    bulkEraseCmd = 9,
    endProgramming = 14,
};

constexpr std::uint16_t kBlank12 = 0x0FFF;
// TDIS: after End Programming the flash parts take no command for 100 us
// while the programming voltage discharges (DS41227E, DS41228E).
constexpr std::uint64_t kDischargeNs = 100'000;

}  // namespace

void Core12::enterProgramming() {
    // The counter starts on the configuration word; one increment reaches 0.
    pc_ = kConfig12Address;
    latch_ = kBlank12;
}

CommandResult Core12::command(int code) {
    switch (code) {
        case loadData:
            return {FrameKind::load, std::nullopt};
        case readData:
            return {FrameKind::read, std::nullopt};
        case incrementAddressCmd:
            pc_ = (pc_ + 1) & kConfig12Address;
            return {};
        case beginProgramming: {
            const std::uint32_t address = pc_;
            const std::uint16_t word = latch_;
            TimedOp op{profile_.externalProgramTimeNs,
                       [this, address, word] { program(address, word); }, true};
            return {FrameKind::none, std::move(op)};
        }
        case endProgramming: {
            CommandResult result{FrameKind::none, std::nullopt, true};
            if (!profile_.eprom) result.deafNs = kDischargeNs;
            return result;
        }
        case bulkEraseCmd:
            if (profile_.eprom) return {};  // no electrical erase
            return {FrameKind::none, bulkErase()};
        default:
            return {};
    }
}

void Core12::load(int, std::uint16_t word) {
    latch_ = word & kBlank12;
}

std::uint16_t Core12::read(int) {
    return readWord(pc_) & kBlank12;
}

std::uint16_t Core12::readWord(std::uint32_t address) const {
    const auto code = static_cast<std::uint32_t>(memory_.program.size());
    if (address < code) return codeProtected() ? 0 : memory_.program[address];
    if (address == kConfig12Address) return memory_.config[kConfigWordIndex];
    const std::uint32_t offset = address - code;
    if (offset < kIdWords) return memory_.config[offset];
    // Like the IDs, the backup calibration reads whatever the protection.
    if (offset == kBackupCalibrationIndex && profile_.calibrationBackup)
        return memory_.config[offset];
    return kBlank12;
}

void Core12::program(std::uint32_t address, std::uint16_t word) {
    // EPROM and flash alike: programming only clears bits.
    const auto code = static_cast<std::uint32_t>(memory_.program.size());
    if (address < code) {
        if (codeProtected() || !takesAfterPulse(address, word)) return;
        putProgram(address, memory_.program[address] & word);
    } else if (address == kConfig12Address) {
        if (!takesAfterPulse(address, word)) return;
        programConfigWord(memory_.config[kConfigWordIndex] & word);
    } else {
        const std::uint32_t offset = address - code;
        const bool backup = offset == kBackupCalibrationIndex && profile_.calibrationBackup;
        if ((offset >= kIdWords && !backup) || !takesAfterPulse(address, word)) return;
        memory_.config[offset] &= word;
    }
}

bool Core12::takesAfterPulse(std::uint32_t address, std::uint16_t word) {
    if (!profile_.eprom) return true;
    auto wanted = faults_.pulsesNeededAt.find(address);
    const int needed =
        wanted != faults_.pulsesNeededAt.end() ? wanted->second : faults_.pulsesNeeded;
    // Pulses add up only while the same word is programmed at the address.
    Pulses& p = pulses_[address];
    if (p.word != word) p = {word, 0};
    if (++p.count < needed) return false;
    p.count = 0;
    return true;
}

// DS41227E / DS41228E Table 3-2: with the PC on the configuration word or
// in program memory the code (the reset-vector calibration word with it) and
// the configuration word are erased, the IDs and the backup calibration word
// are not; with the PC on the first ID location those are erased too.
// Code protection does not stop it.
TimedOp Core12::bulkErase() {
    const bool fromFirstId = pc_ == memory_.program.size();
    return {profile_.bulkEraseTimeNs, [this, fromFirstId] {
                eraseProgram();
                eraseConfigWord();
                if (!fromFirstId) return;
                eraseIds();
                if (profile_.calibrationBackup) memory_.config[kBackupCalibrationIndex] = kBlank12;
            }};
}

}  // namespace ferrolux::sim
