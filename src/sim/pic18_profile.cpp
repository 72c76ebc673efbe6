#include "sim/pic18_profile.h"

#include <bit>
#include <cctype>

namespace ferrolux::sim {

namespace {

// A revision for the device ID's low bits; bit 4 stays clear so that the
// 18F2420/2423 twins keep their REV4 (DS39622L Table 5-2 notes 1, 2).
constexpr std::uint16_t kRevision = 0x0002;

std::string upper(std::string_view text) {
    std::string out;
    for (char c : text)
        out += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return out;
}

}  // namespace

int Pic18Profile::blockOf(std::uint32_t address) const {
    if (address >= static_cast<std::uint32_t>(codeBytes)) return -2;
    if (address < static_cast<std::uint32_t>(bootBytes)) return -1;
    return static_cast<int>(address / static_cast<std::uint32_t>(blockBytes));
}

Pic18Profile pic18Profile(const Pic18Chip& chip) {
    Pic18Profile p;
    p.name = chip.name;
    p.group = chip.group;
    p.deviceId = chip.deviceId | kRevision;
    p.codeBytes = chip.codeBytes;
    p.eepromBytes = chip.eepromBytes;
    p.bufferBytes = chip.bufferBytes;
    p.config = chip.config;
    // One CP bit per block: the blocks split the code evenly. The boot block
    // is 512 bytes on 18Fxx2/xx8, 18Fx220/x320 and the 4 and 8 KB 18Fx221/
    // x321 (their BBSIZ default), and 2 KB on the other 18F2xxx/4xxx.
    const int blocks = std::popcount(static_cast<unsigned>(chip.config[kConfig5L].mask & 0x0F));
    p.blockBytes = chip.codeBytes / (blocks > 0 ? blocks : 1);
    const bool bigBoot = chip.group == Pic18Group::b && chip.codeBytes > 8192;
    p.bootBytes = bigBoot ? 2048 : 512;
    if (chip.group == Pic18Group::b) p.p10Ns = 100'000;
    return p;
}

std::optional<Pic18Profile> findPic18Profile(std::string_view name) {
    std::string wanted = upper(name);
    if (wanted.rfind("PIC", 0) != 0) wanted = "PIC" + wanted;
    for (const Pic18Chip& chip : pic18Chips()) {
        if (wanted == chip.name) return pic18Profile(chip);
    }
    return std::nullopt;
}

Pic18Memory Pic18Memory::blank(const Pic18Profile& profile) {
    Pic18Memory m;
    m.code.assign(static_cast<std::size_t>(profile.codeBytes), 0xFF);
    m.ids.fill(0xFF);
    for (int i = 0; i < kPic18ConfigCount; ++i)
        m.config[static_cast<std::size_t>(i)] = profile.config[static_cast<std::size_t>(i)].blank;
    m.eeprom.assign(static_cast<std::size_t>(profile.eepromBytes), 0xFF);
    return m;
}

}  // namespace ferrolux::sim
