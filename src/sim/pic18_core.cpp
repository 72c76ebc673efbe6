#include "sim/pic18_core.h"

namespace ferrolux::sim {

namespace {

// Special function registers (DS39622L Tables 3-3, 3-7; the chips' data sheets).
constexpr unsigned kEecon1 = 0xFA6;
constexpr unsigned kEecon2 = 0xFA7;
constexpr unsigned kEedata = 0xFA8;
constexpr unsigned kEeadr = 0xFA9;
constexpr unsigned kEeadrh = 0xFAA;
constexpr unsigned kTablat = 0xFF5;
constexpr unsigned kTblptrL = 0xFF6;
constexpr unsigned kTblptrH = 0xFF7;
constexpr unsigned kTblptrU = 0xFF8;
constexpr unsigned kWreg = 0xFE8;
constexpr unsigned kBsr = 0xFE0;

// EECON1 bits.
constexpr std::uint8_t kEepgd = 0x80;
constexpr std::uint8_t kCfgs = 0x40;
constexpr std::uint8_t kFree = 0x10;
constexpr std::uint8_t kWren = 0x04;
constexpr std::uint8_t kWr = 0x02;
constexpr std::uint8_t kRd = 0x01;
constexpr std::uint8_t kEecon1Kept = kEepgd | kCfgs | kFree | 0x08 | kWren;

constexpr std::uint32_t kRowBytes = 64;  // a row erase (DS39622L Table 3-4)

}  // namespace

void Pic18Core::enterProgramming() {
    tblptr_ = 0;
    tablat_ = 0;
    w_ = 0;
    eecon1_ = 0;
    gotoPending_ = false;
    unlock_ = 0;
    unlockFresh_ = false;
    buffers_.clear();
    multiPanel_ = false;
    dropArmed();
    eraseControl_ = {};
}

bool Pic18Core::leaveProgramming() {
    const bool lost = eepromWrite_.has_value();
    eepromWrite_.reset();
    dropArmed();
    return lost;
}

void Pic18Core::settle(std::uint64_t nowNs) {
    if (!eepromWrite_ || nowNs < eepromWrite_->dueNs) return;
    if (eepromWrite_->address < memory_.eeprom.size())
        memory_.eeprom[eepromWrite_->address] = eepromWrite_->value;
    eepromWrite_.reset();
}

// The register an instruction's f field and a bit name: the access bank
// (F80h..FFFh above 7Fh) or, with a = 1, the bank in BSR.
unsigned Pic18Core::fileAddress(std::uint16_t opcode) const {
    const unsigned f = opcode & 0xFF;
    if ((opcode & 0x0100) != 0) return (ram_[kBsr] & 0x0Fu) << 8 | f;
    return f >= 0x80 ? 0xF00 | f : f;
}

std::uint8_t Pic18Core::readRegister(unsigned address) const {
    switch (address) {
        case kTblptrU:
            return static_cast<std::uint8_t>(tblptr_ >> 16 & 0x3F);
        case kTblptrH:
            return static_cast<std::uint8_t>(tblptr_ >> 8);
        case kTblptrL:
            return static_cast<std::uint8_t>(tblptr_);
        case kTablat:
            return tablat_;
        case kWreg:
            return w_;
        case kEecon1:
            return static_cast<std::uint8_t>(eecon1_ | (eepromWrite_ ? kWr : 0));
        case kEecon2:
            return 0;  // not a physical register
        default:
            return ram_[address & 0xFFF];
    }
}

void Pic18Core::writeRegister(unsigned address, std::uint8_t value, std::uint64_t nowNs) {
    switch (address) {
        case kTblptrU:
            tblptr_ = (tblptr_ & 0x00FFFF) | static_cast<std::uint32_t>(value & 0x3F) << 16;
            return;
        case kTblptrH:
            tblptr_ = (tblptr_ & 0x3F00FF) | static_cast<std::uint32_t>(value) << 8;
            return;
        case kTblptrL:
            tblptr_ = (tblptr_ & 0x3FFF00) | value;
            return;
        case kTablat:
            tablat_ = value;
            return;
        case kWreg:
            w_ = value;
            return;
        case kEecon1:
            return writeEecon1(value, nowNs);
        case kEecon2:
            // The unlock: 55h, then AAh (DS39576B Table 3-6).
            if (value == 0x55) {
                unlock_ = 1;
            } else if (value == 0xAA && unlock_ == 1) {
                unlock_ = 2;
                unlockFresh_ = true;
            } else {
                unlock_ = 0;
            }
            return;
        default:
            ram_[address & 0xFFF] = value;
    }
}

void Pic18Core::writeEecon1(std::uint8_t value, std::uint64_t nowNs) {
    // WR and RD can only be set; the hardware clears them.
    eecon1_ = static_cast<std::uint8_t>(value & kEecon1Kept);
    if ((value & kRd) != 0) readEeprom();
    if ((value & kWr) != 0 && !eepromWrite_) startWrite(nowNs);
}

// EEADRH:EEADR, cut to the EEPROM's size (the chips ignore higher bits).
std::uint32_t Pic18Core::eepromAddress() const {
    const auto size = static_cast<std::uint32_t>(memory_.eeprom.size());
    const std::uint32_t address = static_cast<std::uint32_t>(ram_[kEeadrh] << 8 | ram_[kEeadr]);
    return size == 0 ? 0 : address % size;
}

void Pic18Core::readEeprom() {
    if ((eecon1_ & (kEepgd | kCfgs)) != 0) return;
    std::uint8_t value = 0;
    if (!dataProtected() && !memory_.eeprom.empty()) value = memory_.eeprom[eepromAddress()];
    ram_[kEedata] = value;
}

// BSF WR: a data EEPROM write, self-timed, or (EEPGD, FREE) a row erase
// that waits for the programming NOP.
void Pic18Core::startWrite(std::uint64_t nowNs) {
    const bool unlocked = !profile_.needsUnlock() || (unlock_ == 2 && unlockFresh_);
    unlock_ = 0;
    if ((eecon1_ & kWren) == 0 || !unlocked) return refuse();
    if ((eecon1_ & (kEepgd | kCfgs)) == kEepgd && (eecon1_ & kFree) != 0) {
        armedRowErase_ = true;
        rowEraseAddress_ = tblptr_ & ~(kRowBytes - 1);
        return;
    }
    if ((eecon1_ & (kEepgd | kCfgs)) != 0) return refuse();
    if (cleared(kConfig6H, 0x80) || memory_.eeprom.empty()) return refuse();  // WRTD
    eepromWrite_ = EepromWrite{eepromAddress(), ram_[kEedata], nowNs + profile_.p11aNs};
}

Pic18Arm Pic18Core::instruction(std::uint16_t opcode, std::uint64_t nowNs) {
    const bool wasFresh = unlockFresh_;
    const bool rowErase = armedRowErase_;
    execute(opcode, nowNs);
    // The unlock holds only for the instruction right after AAh.
    if (wasFresh) {
        unlockFresh_ = false;
        if (unlock_ == 2) unlock_ = 0;
    }
    return !rowErase && armedRowErase_ ? Pic18Arm::program : Pic18Arm::none;
}

void Pic18Core::execute(std::uint16_t opcode, std::uint64_t nowNs) {
    if (gotoPending_) {
        gotoPending_ = false;
        if ((opcode & 0xF000) == 0xF000) return;  // GOTO's second word; the PC is not modelled
    }
    const unsigned high = opcode >> 8;
    const auto k = static_cast<std::uint8_t>(opcode & 0xFF);
    const unsigned f = fileAddress(opcode);
    const bool toFile = (opcode & 0x0200) != 0;
    if (opcode == 0x0000 || (opcode & 0xF000) == 0xF000) return;  // NOP
    if (high == 0x0E) {                                           // MOVLW k
        w_ = k;
    } else if (high == 0xEF) {  // GOTO, first word
        gotoPending_ = true;
    } else if ((high & 0xFE) == 0x6E) {  // MOVWF f
        writeRegister(f, w_, nowNs);
    } else if ((high & 0xFE) == 0x6A) {  // CLRF f
        writeRegister(f, 0, nowNs);
    } else if ((high & 0xFE) == 0x68) {  // SETF f
        writeRegister(f, 0xFF, nowNs);
    } else if ((high & 0xFC) == 0x50) {  // MOVF f, d
        const std::uint8_t v = readRegister(f);
        if (toFile) {
            writeRegister(f, v, nowNs);
        } else {
            w_ = v;
        }
    } else if ((high & 0xFC) == 0x28 || (high & 0xFC) == 0x04) {  // INCF, DECF f, d
        const int step = (high & 0xFC) == 0x28 ? 1 : -1;
        const auto v = static_cast<std::uint8_t>(readRegister(f) + step);
        if (toFile) {
            writeRegister(f, v, nowNs);
        } else {
            w_ = v;
        }
    } else if ((high & 0xE0) == 0x80) {  // BSF (1000 bbba), BCF (1001 bbba)
        const auto bit = static_cast<std::uint8_t>(1u << (opcode >> 9 & 7));
        const std::uint8_t v = readRegister(f);
        const bool set = (high & 0x10) == 0;
        // A BCF of WR or RD reads them as 0 first: it clears nothing there.
        writeRegister(f,
                      static_cast<std::uint8_t>(
                          set ? v | bit : (f == kEecon1 ? v & ~(bit | kWr | kRd) : v & ~bit)),
                      nowNs);
    } else {
        ++unknownOpcodes_;
    }
}

}  // namespace ferrolux::sim
