#include "sim/chip_image.h"

#include <cctype>
#include <fstream>
#include <map>
#include <sstream>
#include <vector>

#include "platform/files.h"
#include "sim/hex_records.h"
#include "sim/virtual_pic.h"
#include "sim/virtual_pic18.h"

namespace ferrolux::sim {

namespace {

constexpr std::uint32_t kIdByteAddress = 0x4000;
constexpr std::uint32_t kDataByteAddress = 0x4200;
constexpr std::uint32_t kDataWordAddress = kDataByteAddress / 2;
constexpr std::size_t kWordsPerRecord = 8;
constexpr std::uintmax_t kLargestImage = 1u << 20;

// One record of little-endian words starting at word `address`.
void record(std::string& out, std::uint32_t address, const std::vector<std::uint16_t>& words) {
    std::vector<std::uint8_t> bytes;
    for (std::uint16_t w : words) {
        bytes.push_back(static_cast<std::uint8_t>(w & 0xFF));
        bytes.push_back(static_cast<std::uint8_t>(w >> 8));
    }
    appendHexRecord(out, 0, static_cast<std::uint16_t>(address * 2), bytes);
}

void records(std::string& out, std::uint32_t address, const std::vector<std::uint16_t>& words) {
    for (std::size_t i = 0; i < words.size(); i += kWordsPerRecord) {
        auto first = words.begin() + static_cast<std::ptrdiff_t>(i);
        auto last = words.begin() +
                    static_cast<std::ptrdiff_t>(std::min(words.size(), i + kWordsPerRecord));
        record(out, address + static_cast<std::uint32_t>(i), {first, last});
    }
}

bool failed(std::string* why, std::string reason) {
    if (why) *why = std::move(reason);
    return false;
}

// Puts one word of the file into the cells; false if the chip has no such cell.
bool place(const ChipProfile& profile, ChipMemory& m, std::uint32_t address, std::uint16_t word) {
    const auto code = static_cast<std::uint32_t>(m.program.size());
    if (address < code) {
        if (word > profile.wordMask()) return false;
        m.program[address] = word;
        return true;
    }
    if (profile.twelveBit()) {
        if (word > profile.wordMask()) return false;
        if (address == kConfig12Address) {
            m.config[kConfigWordIndex] = profile.configRead(word);
            return true;
        }
        const std::uint32_t offset = address - code;
        const bool backup = offset == kBackupCalibrationIndex && profile.calibrationBackup;
        if (offset >= kIdWords && !backup) return false;
        m.config[offset] = word;
        return true;
    }
    if (address >= kDataWordAddress && address - kDataWordAddress < m.data.size()) {
        if (word > 0xFF) return false;
        m.data[address - kDataWordAddress] = static_cast<std::uint8_t>(word);
        return true;
    }
    if (word > kWordMask || address < kConfigBase) return false;
    const std::uint32_t offset = address - kConfigBase;
    if (offset == kConfigWordIndex) {
        m.config[kConfigWordIndex] = profile.configRead(word);
        return true;
    }
    if (offset == kConfig2Index && profile.config2Implemented != 0) {
        m.config[offset] = profile.config2Read(word);
        return true;
    }
    if (offset < kConfigWords && profile.configCalibration(offset)) {
        m.config[offset] = word;
        return true;
    }
    if (offset >= kIdWords) return false;
    m.config[offset] = word;
    return true;
}

}  // namespace

std::filesystem::path chipImagePath(const std::filesystem::path& programDir,
                                    const std::string& chipName) {
    std::string name;
    for (char c : chipName)
        name += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return programDir / "sim" / (name + ".hex");
}

std::string chipImageText(const ChipProfile& profile, const ChipMemory& memory) {
    std::string out;
    records(out, 0, memory.program);
    const std::vector<std::uint16_t> ids(memory.config.begin(), memory.config.begin() + kIdWords);
    const std::uint16_t config = memory.config[kConfigWordIndex];
    if (profile.twelveBit()) {
        const auto idBase = static_cast<std::uint32_t>(memory.program.size());
        record(out, idBase, ids);
        if (profile.calibrationBackup)
            record(out, idBase + kBackupCalibrationIndex, {memory.config[kBackupCalibrationIndex]});
        record(out, kConfig12Address, {config});
    } else {
        record(out, kIdByteAddress / 2, ids);
        record(out, kConfigBase + kConfigWordIndex, {config});
        // The second configuration word and calibration words that follow it.
        for (std::size_t i = kConfig2Index; i < kConfigWords; ++i) {
            if ((i == kConfig2Index && profile.config2Implemented != 0) ||
                profile.configCalibration(i))
                record(out, kConfigBase + static_cast<std::uint32_t>(i), {memory.config[i]});
        }
        records(out, kDataWordAddress, {memory.data.begin(), memory.data.end()});
    }
    out += ":00000001FF\r\n";
    return out;
}

std::optional<ChipMemory> parseChipImage(const ChipProfile& profile, std::string_view text) {
    auto bytes = parseHexRecords(text, false);
    if (!bytes) return std::nullopt;
    ChipMemory m = ChipMemory::factory(profile);
    for (auto it = bytes->begin(); it != bytes->end(); ++it) {
        // Whole words only: a low byte at an even address, its high byte next.
        auto high = std::next(it);
        if (it->first % 2 != 0 || high == bytes->end() || high->first != it->first + 1)
            return std::nullopt;
        auto word = static_cast<std::uint16_t>(high->second << 8 | it->second);
        if (!place(profile, m, it->first / 2, word)) return std::nullopt;
        it = high;
    }
    return m;
}

namespace {

bool saveText(const std::string& text, const std::filesystem::path& file, std::string* why) {
    std::error_code ec;
    if (file.has_parent_path()) std::filesystem::create_directories(file.parent_path(), ec);
    if (ec) return failed(why, "cannot save " + platform::utf8Of(file) + ": " + ec.message());
    platform::FileReplacement out(file);
    if (!out.commit(text)) return failed(why, out.error());
    return true;
}

// Restores `chip` (a VirtualPic or a VirtualPic18) from its image file.
template <class Chip>
bool loadInto(Chip& chip, const std::filesystem::path& file, std::string* why) {
    std::error_code ec;
    const bool exists = std::filesystem::exists(file, ec);
    if (ec) return failed(why, platform::utf8Of(file) + ": " + ec.message());
    if (!exists) {
        chip.resetToFactory();
        return true;
    }
    const std::uintmax_t size = std::filesystem::file_size(file, ec);
    if (ec) return failed(why, platform::utf8Of(file) + ": " + ec.message());
    if (size > kLargestImage)
        return failed(why, platform::utf8Of(file) + " is too large for a chip image");
    std::ifstream in(file, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    if (!in) return failed(why, "cannot read " + platform::utf8Of(file));
    auto memory = parseChipImage(chip.profile(), text.str());
    if (!memory || !chip.restoreMemory(*memory)) {
        return failed(
            why, platform::utf8Of(file) + " is damaged: not an image of a " + chip.profile().name);
    }
    return true;
}

}  // namespace

bool saveChipImage(VirtualPic& chip, const std::filesystem::path& file, std::string* why) {
    return saveText(chipImageText(chip.profile(), chip.memory()), file, why);
}

bool saveChipImage(VirtualPic18& chip, const std::filesystem::path& file, std::string* why) {
    return saveText(chipImageText(chip.profile(), chip.memory()), file, why);
}

bool loadChipImage(VirtualPic& chip, const std::filesystem::path& file, std::string* why) {
    return loadInto(chip, file, why);
}

bool loadChipImage(VirtualPic18& chip, const std::filesystem::path& file, std::string* why) {
    return loadInto(chip, file, why);
}

}  // namespace ferrolux::sim
