// Table reads and writes, write buffers, programming and erases of Pic18Core.
#include "sim/pic18_core.h"

#include <algorithm>

namespace ferrolux::sim {

namespace {

constexpr std::uint32_t kTblptrMask = 0x3FFFFF;
constexpr std::uint32_t kPanelBytes = 8192;  // DS39576B Table 2-2
constexpr std::uint32_t kRowBytes = 64;
constexpr int kIdBuffer = -1;
constexpr std::uint8_t kEepgd = 0x80;
constexpr std::uint8_t kCfgs = 0x40;

bool inRange(std::uint32_t address, std::uint32_t base, std::uint32_t count) {
    return address >= base && address - base < count;
}

}  // namespace

bool Pic18Core::cleared(int configIndex, std::uint8_t bit) const {
    const auto i = static_cast<std::size_t>(configIndex);
    return (profile_.config[i].mask & bit) != 0 && (memory_.config[i] & bit) == 0;
}

bool Pic18Core::codeProtected(std::uint32_t address) const {
    const int block = profile_.blockOf(address);
    if (block == -1) return cleared(kConfig5H, 0x40);  // CPB
    return block >= 0 && block < 4 && cleared(kConfig5L, static_cast<std::uint8_t>(1u << block));
}

bool Pic18Core::writeProtected(std::uint32_t address) const {
    const int block = profile_.blockOf(address);
    if (block == -1) return cleared(kConfig6H, 0x40);  // WRTB
    return block >= 0 && block < 4 && cleared(kConfig6L, static_cast<std::uint8_t>(1u << block));
}

// Code-protected blocks and unimplemented places read 0; configuration bytes
// read 0 in their unimplemented bits (DS39622L 4.6).
std::uint8_t Pic18Core::readByte(std::uint32_t address) const {
    if (address < memory_.code.size()) return codeProtected(address) ? 0 : memory_.code[address];
    if (inRange(address, kPic18IdAddress, kPic18IdCount))
        return memory_.ids[address - kPic18IdAddress];
    if (inRange(address, kPic18ConfigAddress, kPic18ConfigCount)) {
        const std::size_t i = address - kPic18ConfigAddress;
        return memory_.config[i] & profile_.config[i].mask;
    }
    if (address == kPic18DeviceIdAddress) return static_cast<std::uint8_t>(profile_.deviceId);
    if (address == kPic18DeviceIdAddress + 1)
        return static_cast<std::uint8_t>(profile_.deviceId >> 8);
    return 0;
}

std::uint8_t Pic18Core::tableRead(int command) {
    if (command == 0b0010) return tablat_;
    if (command == 0b1011) tblptr_ = (tblptr_ + 1) & kTblptrMask;  // +*
    tablat_ = readByte(tblptr_);
    if (command == 0b1001) tblptr_ = (tblptr_ + 1) & kTblptrMask;  // *+
    if (command == 0b1010) tblptr_ = (tblptr_ - 1) & kTblptrMask;  // *-
    return tablat_;
}

Pic18Arm Pic18Core::tableWrite(int command, std::uint16_t operand) {
    const std::uint32_t address = tblptr_;
    // A byte place takes the operand's low byte at an even address and its
    // high byte at an odd one (DS39622L Table 3-9).
    const auto byte = static_cast<std::uint8_t>((address & 1) != 0 ? operand >> 8 : operand);
    const bool start = command == 0b1110 || command == 0b1111;
    if (command == 0b1101 || command == 0b1110) tblptr_ = (tblptr_ + 2) & kTblptrMask;
    dropArmed();

    if (inRange(address, kPic18EraseControl, 2)) {
        eraseControl_[address - kPic18EraseControl] = byte;
        return address == kPic18EraseControl && (byte & 0x80) != 0 ? Pic18Arm::erase
                                                                   : Pic18Arm::none;
    }
    if (address == kPic18PanelControl) {
        if (profile_.panels()) multiPanel_ = (byte & 0x40) != 0;
        return Pic18Arm::none;
    }
    if (inRange(address, kPic18ConfigAddress, kPic18ConfigCount)) {
        if (start) armedConfig_ = std::make_pair(address - kPic18ConfigAddress, byte);
        return start ? Pic18Arm::program : Pic18Arm::none;
    }
    load(address, operand);
    return start ? Pic18Arm::program : Pic18Arm::none;
}

// Puts a byte pair into the write buffer of its panel (or the IDs').
void Pic18Core::load(std::uint32_t address, std::uint16_t operand) {
    const bool ids = inRange(address, kPic18IdAddress, kPic18IdCount);
    if (!ids && address >= kPic18IdAddress) return;
    const int key = ids ? kIdBuffer : (multiPanel_ ? static_cast<int>(address / kPanelBytes) : 0);
    const std::uint32_t size =
        ids ? kPic18IdCount : static_cast<std::uint32_t>(profile_.bufferBytes);
    Buffer& buffer = buffers_[key];
    if (buffer.bytes.empty()) buffer.bytes.assign(size, 0xFF);
    buffer.block = address & ~(size - 1);
    const std::uint32_t at = address & (size - 2);
    buffer.bytes[at] = static_cast<std::uint8_t>(operand);
    buffer.bytes[at + 1] = static_cast<std::uint8_t>(operand >> 8);
}

void Pic18Core::commitProgram() {
    const bool codeMode = (eecon1_ & (kEepgd | kCfgs)) == kEepgd;
    if (armedRowErase_) {
        armedRowErase_ = false;
        clearFree();  // the hardware clears FREE when the erase ends
        if (!codeMode || writeProtected(rowEraseAddress_)) return refuse();
        eraseCode(rowEraseAddress_, rowEraseAddress_ + kRowBytes);
        return;
    }
    if (armedConfig_) {
        const auto [index, value] = *armedConfig_;
        armedConfig_.reset();
        if ((eecon1_ & (kEepgd | kCfgs)) != (kEepgd | kCfgs)) return refuse();
        return writeConfig(index, value);
    }
    auto buffers = std::move(buffers_);
    buffers_.clear();
    if (!codeMode) return refuse();
    for (const auto& [key, buffer] : buffers)
        writeBuffer(buffer, key == kIdBuffer);
}

// Programming only clears bits: a PIC18 code write does not erase its row
// first (DS39622L 3.2 programs after a bulk or row erase), so a host that
// skips the erase reads back the AND of old and new.
void Pic18Core::writeBuffer(const Buffer& buffer, bool ids) {
    if (ids) {
        for (std::size_t i = 0; i < buffer.bytes.size(); ++i)
            memory_.ids[i] &= buffer.bytes[i];
        return;
    }
    if (buffer.block >= memory_.code.size()) return;
    if (writeProtected(buffer.block)) return refuse();
    for (std::size_t i = 0; i < buffer.bytes.size(); ++i) {
        const std::size_t at = buffer.block + i;
        if (at < memory_.code.size()) memory_.code[at] &= buffer.bytes[i];
    }
}

// A configuration byte takes the value written; its protection bits
// (CONFIG5L..7H) only go from 1 to 0 until a bulk erase. WRTC = 0 stops
// every configuration write (DS39622L Table 3-9 note 1).
void Pic18Core::writeConfig(std::uint32_t index, std::uint8_t value) {
    if (cleared(kConfig6H, 0x20)) return refuse();
    const std::uint8_t mask = profile_.config[index].mask;
    std::uint8_t& cell = memory_.config[index];
    if (index >= static_cast<std::uint32_t>(kConfig5L)) value &= cell;
    cell = value & mask;
}

void Pic18Core::commitErase() {
    erase(static_cast<std::uint16_t>(eraseControl_[1] << 8 | eraseControl_[0]));
}

void Pic18Core::eraseCode(std::uint32_t from, std::uint32_t to) {
    for (std::uint32_t a = from; a < to && a < memory_.code.size(); ++a)
        memory_.code[a] = 0xFF;
}

void Pic18Core::eraseAll() {
    memory_ = Pic18Memory::blank(profile_);
}

void Pic18Core::erase(std::uint16_t key) {
    const auto block = [this](int n) {
        const auto size = static_cast<std::uint32_t>(profile_.blockBytes);
        const auto boot = static_cast<std::uint32_t>(profile_.bootBytes);
        eraseCode(std::max(boot, static_cast<std::uint32_t>(n) * size), (n + 1) * size);
    };
    const auto bootBytes = static_cast<std::uint32_t>(profile_.bootBytes);
    if (profile_.group != Pic18Group::b) {
        // DS39576B and DS39592E Table 3-1: 80h chip, 81h data EEPROM,
        // 83h boot block, 88h..8Bh block 0..3.
        const int k = key & 0xFF;
        if (k == 0x80) return eraseAll();
        if (k == 0x81) return memory_.eeprom.assign(memory_.eeprom.size(), 0xFF);
        if (k == 0x83) return eraseCode(0, bootBytes);
        if (k >= 0x88 && k <= 0x8B) return block(k - 0x88);
        ++unknownEraseKeys_;
        return;
    }
    // DS39622L Table 3-1: bit 0 boot block, bit 1 configuration, bit 2 data
    // EEPROM, bits 8..13 blocks 0..5; 3F8Fh erases the chip.
    if (key == 0x3F8F) return eraseAll();
    if ((key & 0xC078) != 0 || (key & 0x3F07) == 0) {
        ++unknownEraseKeys_;
        return;
    }
    if ((key & 0x01) != 0) eraseCode(0, bootBytes);
    if ((key & 0x02) != 0) {
        for (int i = 0; i < kPic18ConfigCount; ++i)
            memory_.config[i] = profile_.config[i].blank;
    }
    if ((key & 0x04) != 0) memory_.eeprom.assign(memory_.eeprom.size(), 0xFF);
    for (int n = 0; n < 6; ++n) {
        if ((key >> (8 + n) & 1) != 0) block(n);
    }
}

}  // namespace ferrolux::sim
