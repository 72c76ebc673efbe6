#include "sim/virtual_pic18.h"

#include "sim/sim_clock.h"

namespace ferrolux::sim {

namespace {
constexpr int kCommandBits = 4;
constexpr int kOperandBits = 16;
constexpr int kReadHalf = 8;  // clocks in, then clocks out
// The clock of a command whose high time is the programming pulse (P9).
constexpr int kPulseClock = 4;

bool isRead(int code) {
    return code == 0b0010 || (code & 0b1100) == 0b1000;
}
bool isWrite(int code) {
    return (code & 0b1100) == 0b1100;
}
}  // namespace

VirtualPic18::VirtualPic18(Pic18Profile profile)
    : profile_(std::move(profile)),
      memory_(Pic18Memory::blank(profile_)),
      core_(profile_, memory_) {}

void VirtualPic18::setPins(bool clock, bool data, bool programEnable, std::uint64_t nowNs) {
    settle(nowNs);
    if (programEnable != programEnable_) {
        programEnable_ = programEnable;
        programEnable ? enter() : leave();
    }
    // The erase runs while PGD is held low (DS39622L Figure 3-1).
    if (data && erase_ == Erase::running && programming_) lose();
    if (clock == clockPin_) return;
    clockPin_ = clock;
    if (!programming_) return;
    clock ? risingEdge(nowNs) : fallingEdge(data, nowNs);
}

void VirtualPic18::settle(std::uint64_t nowNs) {
    if (pulse_ == Pulse::low && nowNs >= pulseNs_ + profile_.p10Ns) {
        pulse_ = Pulse::none;
        core_.commitProgram();
    }
    if (erase_ == Erase::running && nowNs >= eraseNs_ + profile_.p11Ns + profile_.p10Ns) {
        erase_ = Erase::none;
        core_.commitErase();
    }
    core_.settle(nowNs);
}

void VirtualPic18::settleByClock() {
    if (clock_ != nullptr) settle(clock_->peek());
}

void VirtualPic18::enter() {
    programming_ = true;
    phase_ = Phase::command;
    bits_ = 0;
    shift_ = 0;
    out_.reset();
    pulse_ = Pulse::none;
    erase_ = Erase::none;
    core_.enterProgramming();
}

// An unfinished programming pulse, erase or EEPROM write is lost.
void VirtualPic18::leave() {
    if (pulse_ == Pulse::high || pulse_ == Pulse::low || erase_ == Erase::running) lose();
    if (core_.leaveProgramming()) ++lostWrites_;
    programming_ = false;
    pulse_ = Pulse::none;
    erase_ = Erase::none;
    out_.reset();
}

void VirtualPic18::lose() {
    ++lostWrites_;
    if (pulse_ != Pulse::none) core_.abortProgram();
    pulse_ = Pulse::none;
    erase_ = Erase::none;
}

void VirtualPic18::risingEdge(std::uint64_t nowNs) {
    // settle() has ended whatever had its time; what is left is cut short.
    // A programming pulse needs P10 before any clock; an erase lets the
    // second NOP's operand clock through.
    if (pulse_ == Pulse::low) lose();
    if (phase_ == Phase::command && bits_ == 0) {
        out_.reset();  // a read's last bit is driven until the next command
        if (erase_ == Erase::running) lose();
    }
    if (phase_ == Phase::readOut) out_ = ((readByte_ >> bits_) & 1) != 0;
    if (pulse_ == Pulse::armed && phase_ == Phase::command && bits_ == kPulseClock - 1) {
        pulse_ = Pulse::high;
        pulseNs_ = nowNs;
    }
}

void VirtualPic18::fallingEdge(bool data, std::uint64_t nowNs) {
    switch (phase_) {
        case Phase::command:
            if (data) shift_ |= 1u << bits_;
            if (++bits_ < kCommandBits) return;
            if (pulse_ == Pulse::high) {
                if (nowNs < pulseNs_ + profile_.p9Ns) {
                    lose();
                } else {
                    pulse_ = Pulse::low;
                    pulseNs_ = nowNs;
                }
            }
            return endCommand(nowNs);
        case Phase::operand:
            if (data) shift_ |= 1u << bits_;
            if (++bits_ < kOperandBits) return;
            return endOperand(nowNs);
        case Phase::readIn:
            if (++bits_ < kReadHalf) return;
            readByte_ = core_.tableRead(code_);
            if (logging_) log_.push_back({code_, readByte_});
            phase_ = Phase::readOut;
            bits_ = 0;
            return;
        case Phase::readOut:
            if (++bits_ < kReadHalf) return;
            phase_ = Phase::command;
            bits_ = 0;
            shift_ = 0;
            return;
    }
}

void VirtualPic18::endCommand(std::uint64_t nowNs) {
    code_ = static_cast<int>(shift_);
    shift_ = 0;
    bits_ = 0;
    if (erase_ == Erase::secondNop) {
        erase_ = Erase::running;
        eraseNs_ = nowNs;
    }
    phase_ = isRead(code_) ? Phase::readIn : Phase::operand;
}

void VirtualPic18::endOperand(std::uint64_t nowNs) {
    const auto operand = static_cast<std::uint16_t>(shift_);
    shift_ = 0;
    bits_ = 0;
    phase_ = Phase::command;
    if (logging_) log_.push_back({code_, operand});
    if (erase_ == Erase::firstNop) erase_ = Erase::secondNop;
    if (code_ == 0b0000) {
        arm(core_.instruction(operand, nowNs));
    } else if (isWrite(code_)) {
        arm(core_.tableWrite(code_, operand));
    } else {
        ++ignoredCommands_;
    }
}

void VirtualPic18::arm(Pic18Arm arm) {
    if (arm == Pic18Arm::program) pulse_ = Pulse::armed;
    if (arm == Pic18Arm::erase) erase_ = Erase::firstNop;
}

std::uint8_t VirtualPic18::byteAt(std::uint32_t address) {
    settleByClock();
    if (address < memory_.code.size()) return memory_.code[address];
    if (address >= kPic18IdAddress && address - kPic18IdAddress < kPic18IdCount)
        return memory_.ids[address - kPic18IdAddress];
    return core_.readByte(address);  // configuration bytes, device ID
}

void VirtualPic18::setByteAt(std::uint32_t address, std::uint8_t value) {
    if (address < memory_.code.size()) {
        memory_.code[address] = value;
    } else if (address >= kPic18IdAddress && address - kPic18IdAddress < kPic18IdCount) {
        memory_.ids[address - kPic18IdAddress] = value;
    } else if (address >= kPic18ConfigAddress &&
               address - kPic18ConfigAddress < static_cast<std::uint32_t>(kPic18ConfigCount)) {
        const std::size_t i = address - kPic18ConfigAddress;
        memory_.config[i] = value & profile_.config[i].mask;
    }
}

std::uint8_t VirtualPic18::eepromByte(std::size_t index) {
    settleByClock();
    return index < memory_.eeprom.size() ? memory_.eeprom[index] : 0;
}

void VirtualPic18::setEepromByte(std::size_t index, std::uint8_t value) {
    if (index < memory_.eeprom.size()) memory_.eeprom[index] = value;
}

void VirtualPic18::protect(bool code, bool data) {
    if (code) {
        memory_.config[kConfig5L] &= 0xF0;
        memory_.config[kConfig5H] &= static_cast<std::uint8_t>(~0x40);
    }
    if (data) memory_.config[kConfig5H] &= static_cast<std::uint8_t>(~0x80);
}

void VirtualPic18::writeProtect() {
    memory_.config[kConfig6L] &= 0xF0;
    memory_.config[kConfig6H] &= 0x1F;
}

const Pic18Memory& VirtualPic18::memory() {
    settleByClock();
    return memory_;
}

bool VirtualPic18::restoreMemory(const Pic18Memory& memory) {
    if (memory.code.size() != memory_.code.size() || memory.eeprom.size() != memory_.eeprom.size())
        return false;
    memory_ = memory;
    return true;
}

void VirtualPic18::resetToFactory() {
    pulse_ = Pulse::none;
    erase_ = Erase::none;
    memory_ = Pic18Memory::blank(profile_);
}

}  // namespace ferrolux::sim
