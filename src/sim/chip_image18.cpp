// A PIC18 chip's image as INHX32 text.
#include "sim/chip_image.h"
#include "sim/hex_records.h"

namespace ferrolux::sim {

namespace {

constexpr std::uint16_t kCodeSegment = 0x0000;
constexpr std::uint16_t kIdSegment = 0x0020;
constexpr std::uint16_t kConfigSegment = 0x0030;
constexpr std::uint16_t kEepromSegment = 0x00F0;
constexpr std::uint32_t kEepromAddress = 0xF00000;
constexpr std::uint32_t kSegmentBytes = 0x10000;

// Puts one byte of the file into the cells; false if the chip has no such
// place or the byte has bits the place lacks.
bool place(const Pic18Profile& profile, Pic18Memory& m, std::uint32_t address, std::uint8_t value) {
    if (address < m.code.size()) {
        m.code[address] = value;
        return true;
    }
    if (address >= kPic18IdAddress && address - kPic18IdAddress < kPic18IdCount) {
        m.ids[address - kPic18IdAddress] = value;
        return true;
    }
    if (address >= kPic18ConfigAddress &&
        address - kPic18ConfigAddress < static_cast<std::uint32_t>(kPic18ConfigCount)) {
        const std::size_t i = address - kPic18ConfigAddress;
        if ((value & ~profile.config[i].mask) != 0) return false;
        m.config[i] = value;
        return true;
    }
    if (address >= kEepromAddress && address - kEepromAddress < m.eeprom.size()) {
        m.eeprom[address - kEepromAddress] = value;
        return true;
    }
    return false;
}

}  // namespace

std::string chipImageText(const Pic18Profile&, const Pic18Memory& memory) {
    std::string out;
    const std::span<const std::uint8_t> code(memory.code);
    for (std::uint32_t at = 0; at < code.size(); at += kSegmentBytes) {
        appendHexSegment(out, static_cast<std::uint16_t>(kCodeSegment + at / kSegmentBytes));
        appendHexData(out, 0,
                      code.subspan(at, std::min<std::size_t>(kSegmentBytes, code.size() - at)));
    }
    appendHexSegment(out, kIdSegment);
    appendHexData(out, 0, memory.ids);
    appendHexSegment(out, kConfigSegment);
    appendHexData(out, 0, memory.config);
    if (!memory.eeprom.empty()) {
        appendHexSegment(out, kEepromSegment);
        appendHexData(out, 0, memory.eeprom);
    }
    out += ":00000001FF\r\n";
    return out;
}

std::optional<Pic18Memory> parseChipImage(const Pic18Profile& profile, std::string_view text) {
    auto bytes = parseHexRecords(text, true);
    if (!bytes) return std::nullopt;
    Pic18Memory m = Pic18Memory::blank(profile);
    for (const auto& [address, value] : *bytes) {
        if (!place(profile, m, address, value)) return std::nullopt;
    }
    return m;
}

}  // namespace ferrolux::sim
