#include "sim/programming_core.h"

#include <algorithm>

namespace ferrolux::sim {

namespace {

enum Command : int {
    loadConfiguration = 0,
    eraseSetup1 = 1,
    loadProgram = 2,
    loadData = 3,
    readProgramCmd = 4,
    readDataCmd = 5,
    incrementAddressCmd = 6,
    eraseSetup2 = 7,
    beginProgramming = 8,
    bulkEraseProgramCmd = 9,
    bulkEraseDataCmd = 11,
    endProgramming10 = 10,
    endProgramming = 14,
    endProgrammingOnly = 23,
    beginProgrammingOnly = 24,
    chipEraseCmd = 31,
};

std::size_t positive(int n) {
    return n > 0 ? static_cast<std::size_t>(n) : 0;
}

}  // namespace

ChipMemory ChipMemory::erased(const ChipProfile& profile) {
    const std::uint16_t blank = profile.wordMask();
    ChipMemory m;
    m.program.assign(positive(profile.codeWords), blank);
    m.config.fill(blank);
    if (profile.hasDeviceId) m.config[kDeviceIdIndex] = profile.deviceId & kWordMask;
    m.config[kConfigWordIndex] = profile.configErased();
    if (profile.config2Implemented != 0) m.config[kConfig2Index] = profile.config2Read(0x3FFF);
    m.data.assign(positive(profile.dataBytes), 0xFF);
    return m;
}

ChipMemory ChipMemory::factory(const ChipProfile& profile) {
    ChipMemory m = erased(profile);
    if (profile.calibration && !m.program.empty()) {
        m.program.back() = *profile.calibration & profile.wordMask();
        if (profile.calibrationBackup) m.config[kBackupCalibrationIndex] = m.program.back();
    }
    for (std::size_t i = kConfig2Index; i < kConfigWords; ++i) {
        if (const auto cal = profile.configCalibration(i)) m.config[i] = *cal & kWordMask;
    }
    if (profile.family == 4) {
        std::uint16_t& word = m.config[kConfigWordIndex];
        word = static_cast<std::uint16_t>((word & 0x0FFF) | (profile.bandgap & 3) << 12);
    }
    return m;
}

// --- Cells shared by every family.

bool ProgrammingCore::codeProtected() const {
    return profile_.codeProtectedBy(memory_.config[kConfigWordIndex]);
}

bool ProgrammingCore::dataProtected() const {
    return profile_.dataProtectedBy(memory_.config[kConfigWordIndex]);
}

void ProgrammingCore::putProgram(std::uint32_t index, std::uint16_t word) {
    if (index >= memory_.program.size() || faults_.deadProgram.count(index) != 0) return;
    memory_.program[index] = word & profile_.wordMask();
}

void ProgrammingCore::putData(std::uint32_t index, std::uint8_t value) {
    if (index >= memory_.data.size() || faults_.deadData.count(index) != 0) return;
    memory_.data[index] = value;
}

void ProgrammingCore::programConfigWord(std::uint16_t word) {
    if (faults_.deadConfigWord) return;
    const std::uint16_t old = memory_.config[kConfigWordIndex];
    const std::uint16_t guarded = profile_.codeProtectBits | profile_.dataProtectBits;
    const auto kept = static_cast<std::uint16_t>((word & ~guarded) | (word & old & guarded));
    memory_.config[kConfigWordIndex] = profile_.configRead(kept);
}

void ProgrammingCore::eraseProgram() {
    for (std::uint32_t i = 0; i < memory_.program.size(); ++i)
        putProgram(i, profile_.wordMask());
}

void ProgrammingCore::eraseData() {
    for (std::uint32_t i = 0; i < memory_.data.size(); ++i)
        putData(i, 0xFF);
}

void ProgrammingCore::eraseIds() {
    std::fill_n(memory_.config.begin(), kIdWords, profile_.wordMask());
}

void ProgrammingCore::eraseConfigWord() {
    if (faults_.deadConfigWord) return;
    memory_.config[kConfigWordIndex] = profile_.configErased();
    if (profile_.config2Implemented != 0)
        memory_.config[kConfig2Index] = profile_.config2Read(kWordMask);
}

// --- Families 1-7.

void Core14::enterProgramming() {
    pc_ = 0;
    latch_ = kWordMask;
    target_ = Target::program;
    row_ = {};
    latches_.fill(kWordMask);
    sequence_ = Sequence::idle;
    armed_ = Armed::none;
}

bool Core14::knows(int code) const {
    const int f = profile_.family;
    switch (code) {
        case loadConfiguration:
        case loadProgram:
        case readProgramCmd:
        case incrementAddressCmd:
        case bulkEraseProgramCmd:
            return true;
        case beginProgramming:
            return !profile_.noCommand8;
        case loadData:
            return f != 3 && !profile_.noCommand8;
        case readDataCmd:
        case bulkEraseDataCmd:
            return f != 3;  // family 3 has no data memory
        case endProgramming10:
            return profile_.endProgramming10;
        case eraseSetup1:
        case eraseSetup2:
            return f <= 2;
        case endProgramming:
            return f == 3;
        case endProgrammingOnly:
            return f == 6 || f == 7;
        case beginProgrammingOnly:
            return f == 6 || f == 7 || profile_.endProgramming10;
        case chipEraseCmd:
            return f == 6 || f == 7;
        default:
            return false;
    }
}

CommandResult Core14::command(int code) {
    if (!knows(code)) return {};
    const int f = profile_.family;
    // The erase sequence needs its setup commands back to back.
    if (sequence_ == Sequence::setup1 && code != eraseSetup2) sequence_ = Sequence::idle;
    if (sequence_ == Sequence::closing && code != eraseSetup2) sequence_ = Sequence::erased;
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
        case eraseSetup1:
            sequence_ = sequence_ == Sequence::erased ? Sequence::closing : Sequence::setup1;
            return {};
        case eraseSetup2:
            if (sequence_ == Sequence::setup1) sequence_ = Sequence::armed;
            if (sequence_ == Sequence::closing) sequence_ = Sequence::idle;
            return {};
        case beginProgramming:
            return beginCycle();
        case bulkEraseProgramCmd:
            if (f <= 2) {
                armed_ = Armed::program;
                return {};
            }
            return {FrameKind::none, bulkEraseProgram()};
        case bulkEraseDataCmd:
            if (f <= 2) {
                armed_ = Armed::data;
                return {};
            }
            return {FrameKind::none, bulkEraseData()};
        case endProgramming:
        case endProgrammingOnly:
        case endProgramming10:
            return {FrameKind::none, std::nullopt, true};
        case beginProgrammingOnly: {
            TimedOp op = programCycle(profile_.externalProgramTimeNs, false);
            op.external = true;
            return {FrameKind::none, std::move(op)};
        }
        case chipEraseCmd:
            return {FrameKind::none, chipErase()};
        default:
            return {};
    }
}

CommandResult Core14::beginCycle() {
    const int f = profile_.family;
    if (f <= 2 && armed_ != Armed::none) {
        Armed what = armed_;
        armed_ = Armed::none;
        return {FrameKind::none, armedErase(what)};
    }
    if (f <= 2 && sequence_ == Sequence::armed) {
        sequence_ = Sequence::erased;
        return {FrameKind::none, sequenceErase()};
    }
    if (f == 3 || f == 7) {
        const std::uint64_t ns =
            f == 7 ? profile_.externalEraseTimeNs : profile_.externalProgramTimeNs;
        TimedOp op = programCycle(ns, true);
        op.external = true;
        return {FrameKind::none, std::move(op)};
    }
    return {FrameKind::none, programCycle(profile_.programTimeNs, true)};
}

void Core14::load(int code, std::uint16_t word) {
    latch_ = word & kWordMask;
    target_ = code == loadData ? Target::data : Target::program;
    if (target_ == Target::program && profile_.rowWords > 1) {
        const auto slots = static_cast<std::uint32_t>(std::min<int>(profile_.rowWords, 8));
        row_[pc_ & (slots - 1)] = latch_;
    }
    if (target_ == Target::program && profile_.writeLatches > 0) {
        const auto slots = static_cast<std::uint32_t>(std::min<int>(profile_.writeLatches, 8));
        latches_[pc_ & (slots - 1)] = latch_;
    }
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
    if (inConfigSpace()) {
        std::uint32_t offset = pc_ - kConfigBase;
        return offset < kConfigWords ? memory_.config[offset] : kWordMask;
    }
    if (memory_.program.empty()) return kWordMask;
    if (codeProtected()) return 0;
    return memory_.program[pc_ % memory_.program.size()];
}

std::uint8_t Core14::readData() const {
    if (memory_.data.empty() || dataProtected()) return 0;
    return memory_.data[pc_ % memory_.data.size()];
}

TimedOp Core14::selfTimed(std::uint64_t ns, std::function<void()> commit) {
    return {ns, std::move(commit)};
}

TimedOp Core14::programCycle(std::uint64_t ns, bool erase) {
    const std::uint32_t pc = pc_;
    const bool idRow = inConfigSpace() && pc - kConfigBase < kIdWords;
    if (profile_.rowWords > 1 && target_ == Target::program && (!inConfigSpace() || idRow)) {
        // The row's latches go to the cells; the latches start over.
        Row row = row_;
        row_ = {};
        return selfTimed(ns, [this, pc, row, erase] { writeRow(pc, row, erase); });
    }
    const Target target = target_;
    const std::uint16_t word = latch_;
    if (profile_.writeLatches > 0 && target == Target::program && !inConfigSpace()) {
        // The word at the address is its row's latch, whatever was loaded last.
        const auto latches = latches_;
        const auto slots = static_cast<std::uint32_t>(std::min<int>(profile_.writeLatches, 8));
        const std::uint16_t own = latches[pc & (slots - 1)];
        return selfTimed(ns, [this, pc, own, erase, latches] {
            writeWord(pc, Target::program, own, !erase);
            programStaleLatches(pc, latches);
        });
    }
    return selfTimed(ns, [this, pc, target, word, erase] { writeWord(pc, target, word, !erase); });
}

void Core14::programStaleLatches(std::uint32_t pc, const std::array<std::uint16_t, 8>& latches) {
    if (memory_.program.empty() || codeProtected()) return;
    const auto slots = static_cast<std::uint32_t>(std::min<int>(profile_.writeLatches, 8));
    const auto at = static_cast<std::uint32_t>(pc % memory_.program.size());
    const std::uint32_t first = at & ~(slots - 1);
    for (std::uint32_t i = 0; i < slots; ++i) {
        // Programming only clears bits: a latch of all ones changes nothing.
        if (first + i != at && first + i < memory_.program.size())
            putProgram(first + i, memory_.program[first + i] & latches[i]);
    }
}

void Core14::writeWord(std::uint32_t pc, Target target, std::uint16_t word, bool andOnly) {
    auto merge = [andOnly, word](std::uint16_t old) {
        return static_cast<std::uint16_t>(andOnly ? old & word : word);
    };
    if (target == Target::data) {
        if (memory_.data.empty() || dataProtected()) return;
        auto index = static_cast<std::uint32_t>(pc % memory_.data.size());
        putData(index, static_cast<std::uint8_t>(merge(memory_.data[index])));
    } else if (pc >= kConfigBase) {
        std::uint32_t offset = pc - kConfigBase;
        if (offset < kIdWords) memory_.config[offset] = merge(memory_.config[offset]);
        if (offset == kConfigWordIndex) programConfigWord(merge(memory_.config[kConfigWordIndex]));
        if (offset == kConfig2Index && profile_.config2Implemented != 0 &&
            !faults_.deadConfigWord) {
            memory_.config[offset] = profile_.config2Read(merge(memory_.config[offset]));
        } else if (profile_.configCalibration(offset)) {
            memory_.config[offset] = merge(memory_.config[offset]);
        }
    } else {
        if (memory_.program.empty() || codeProtected()) return;
        auto index = static_cast<std::uint32_t>(pc % memory_.program.size());
        putProgram(index, merge(memory_.program[index]));
    }
}

void Core14::writeRow(std::uint32_t pc, const Row& row, bool erase) {
    // An erase-and-program cycle leaves unloaded words erased; programming
    // alone only clears bits of the loaded ones.
    auto next = [&row, erase](std::size_t slot, std::uint16_t old) {
        if (!row[slot]) return erase ? kWordMask : old;
        return static_cast<std::uint16_t>(erase ? *row[slot] : old & *row[slot]);
    };
    if (pc >= kConfigBase) {
        for (std::size_t i = 0; i < kIdWords; ++i)
            memory_.config[i] = next(i, memory_.config[i]);
        return;
    }
    if (memory_.program.empty() || codeProtected()) return;
    const auto slots = static_cast<std::uint32_t>(std::min<int>(profile_.rowWords, 8));
    const auto first = static_cast<std::uint32_t>(pc % memory_.program.size()) & ~(slots - 1);
    for (std::uint32_t i = 0; i < slots; ++i) {
        if (first + i < memory_.program.size())
            putProgram(first + i, next(i, memory_.program[first + i]));
    }
}

TimedOp Core14::sequenceErase() {
    const std::uint32_t pc = pc_;
    const Target target = target_;
    return selfTimed(profile_.eraseCycleTimeNs, [this, pc, target] {
        if (pc == kConfigBase + kConfigWordIndex) {
            eraseProgram();
            eraseData();
            eraseIds();
            eraseConfigWord();
        } else if (pc < kConfigBase && target == Target::data) {
            if (!dataProtected()) eraseData();
        } else if (pc < kConfigBase) {
            if (!codeProtected()) eraseProgram();
        }
    });
}

TimedOp Core14::armedErase(Armed what) {
    return selfTimed(profile_.eraseCycleTimeNs, [this, what] {
        if (what == Armed::program && !codeProtected()) eraseProgram();
        if (what == Armed::data && !dataProtected()) eraseData();
    });
}

TimedOp Core14::bulkEraseProgram() {
    const std::uint32_t pc = pc_;
    const bool fromConfig = inConfigSpace();
    const int f = profile_.family;
    if (profile_.endProgramming10 || f == 5) {
        // From any address: program memory and configuration word(s), the
        // data memory too when it is protected (DS41204G 3.1.5.10, DS41244E
        // 3.1.5, DS41287C 3.2.5; DS41196G Table 3-1). The IDs go with the PC
        // at 0x2000 (16F627A family: anywhere in configuration space); the
        // calibration words only with the PC on one of them, and then all
        // of them (DS41244E: 0x2008 or 0x2009 erases both).
        const bool ids = profile_.endProgramming10 ? pc == kConfigBase : fromConfig;
        const bool calibration =
            fromConfig && profile_.configCalibration(pc - kConfigBase).has_value();
        return selfTimed(profile_.bulkEraseTimeNs, [this, ids, calibration] {
            const bool dataToo = dataProtected();
            eraseProgram();
            if (ids) eraseIds();
            if (dataToo) eraseData();
            eraseConfigWord();
            for (std::uint32_t i = kConfig2Index; i < kConfigWords; ++i) {
                const bool hit = calibration || faults_.eraseTakesCalibration;
                if (hit && profile_.configCalibration(i)) memory_.config[i] = kWordMask;
            }
        });
    }
    return selfTimed(profile_.bulkEraseTimeNs, [this, fromConfig, f] {
        if (fromConfig && (f == 3 || f == 4)) {
            // From configuration space code protection goes with the code;
            // the 12F629 family's data goes too when it is protected
            // (DS41191D 2.3.1.9).
            const bool dataToo = f == 4 && dataProtected();
            eraseProgram();
            eraseIds();
            if (dataToo) eraseData();
            eraseConfigWord();
        } else if (!codeProtected()) {
            eraseProgram();
        }
    });
}

TimedOp Core14::bulkEraseData() {
    // The 16F627A family erases protected data too and keeps its protection
    // (DS41196G Table 3-1); the others leave protected data alone
    // (DS41191D 2.3.1.10, DS41204G 3.1.5.11, DS41244E, DS41287C).
    const bool evenProtected = profile_.family == 5 && !profile_.endProgramming10;
    return selfTimed(profile_.bulkEraseTimeNs, [this, evenProtected] {
        if (evenProtected || !dataProtected()) eraseData();
    });
}

TimedOp Core14::chipErase() {
    return selfTimed(profile_.chipEraseTimeNs, [this] {
        eraseProgram();
        eraseData();
        eraseIds();
        eraseConfigWord();
    });
}

std::unique_ptr<ProgrammingCore> makeCore(const ChipProfile& profile, ChipMemory& memory,
                                          const CellFaults& faults) {
    if (profile.twelveBit()) return std::make_unique<Core12>(profile, memory, faults);
    return std::make_unique<Core14>(profile, memory, faults);
}

}  // namespace ferrolux::sim
