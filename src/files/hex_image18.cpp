#include "files/hex_image.h"
#include "session/messages.h"

namespace ferrolux {

namespace {

bool fail(std::string& message, std::string text) {
    message = std::move(text);
    return false;
}

std::string outside(std::uint32_t address, int line, const DeviceRecord& d) {
    return formatText(
        "Address %06X in line %d lies outside the %s!\n"
        "Check the PIC type, or open a file made for it.",
        static_cast<unsigned>(address), line, d.name.c_str());
}

}  // namespace

// A PIC18 file by byte: code from 0, IDs at 0x200000, configuration bytes at
// 0x300000, EEPROM at 0xF00000. Words may be split across records and records
// may have odd lengths, so nothing here pairs bytes.
bool fitPic18File(const HexFile& file, const DeviceRecord& d, ChipImage& out,
                  std::string& message) {
    auto& image = out.pic18;
    const std::uint32_t codeBytes = static_cast<std::uint32_t>(d.codeWords) * 2;
    const std::uint32_t dataBytes = static_cast<std::uint32_t>(d.dataBytes);
    for (const auto& [address, byte] : file.bytes) {
        const std::uint8_t value = byte.value;
        if (address < codeBytes) {
            image.code[address] = value;
            ++out.codeWords;
        } else if (address >= kPic18IdBase && address < kPic18IdBase + kPic18IdBytes) {
            image.ids[address - kPic18IdBase] = value;
        } else if (address >= kPic18ConfigBase && address < kPic18ConfigBase + kPic18ConfigBytes) {
            // Compilers write the places the chip leaves out (as 00 or FF)
            // and set bits it does not have: only its own bits are kept.
            const ConfigByte& place = d.configBytes[address - kPic18ConfigBase];
            if (place.mask == 0) continue;
            image.config[address - kPic18ConfigBase] =
                static_cast<std::uint8_t>(value & place.mask);
        } else if (address >= kPic18DataBase && address < kPic18DataBase + dataBytes) {
            image.data[static_cast<int>(address - kPic18DataBase)] = value;
            ++out.dataBytes;
        } else if (address == kPic18DeviceIdAddress || address == kPic18DeviceIdAddress + 1) {
            ++out.keptSkipped;  // a readback's device ID: the chip's own
        } else if (value == 0xFF) {
            ++out.paddingSkipped;  // erased code or EEPROM past the chip
        } else {
            return fail(message, outside(address, byte.line, d));
        }
    }
    return true;
}

}  // namespace ferrolux
