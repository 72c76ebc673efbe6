#include "sim/chip_image.h"

#include <cctype>
#include <fstream>
#include <map>
#include <sstream>
#include <vector>

#include "platform/files.h"
#include "sim/virtual_pic.h"

namespace ferrolux::sim {

namespace {

constexpr std::uint32_t kIdByteAddress = 0x4000;
constexpr std::uint32_t kDataByteAddress = 0x4200;
constexpr std::uint32_t kDataWordAddress = kDataByteAddress / 2;
constexpr std::size_t kWordsPerRecord = 8;
constexpr std::uintmax_t kLargestImage = 1u << 20;

void hexByte(std::string& out, unsigned value) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    out += kDigits[(value >> 4) & 0xF];
    out += kDigits[value & 0xF];
}

// One record of little-endian words starting at word `address`.
void record(std::string& out, std::uint32_t address, const std::vector<std::uint16_t>& words) {
    std::vector<unsigned> bytes;
    const std::uint32_t byteAddress = address * 2;
    bytes.push_back(static_cast<unsigned>(words.size() * 2));
    bytes.push_back((byteAddress >> 8) & 0xFF);
    bytes.push_back(byteAddress & 0xFF);
    bytes.push_back(0);
    for (std::uint16_t w : words) {
        bytes.push_back(w & 0xFF);
        bytes.push_back(static_cast<unsigned>(w >> 8));
    }
    unsigned sum = 0;
    out += ':';
    for (unsigned b : bytes) {
        hexByte(out, b);
        sum += b;
    }
    hexByte(out, (0x100 - (sum & 0xFF)) & 0xFF);
    out += "\r\n";
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

int hexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// Data bytes by byte address, or nullopt if the text is not a well-formed
// image ending in an end record.
std::optional<std::map<std::uint32_t, std::uint8_t>> parseRecords(std::string_view text) {
    std::map<std::uint32_t, std::uint8_t> bytes;
    bool ended = false;
    std::size_t pos = 0;
    while (pos < text.size()) {
        std::size_t eol = text.find('\n', pos);
        if (eol == std::string_view::npos) eol = text.size();
        std::string_view line = text.substr(pos, eol - pos);
        pos = eol + 1;
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        if (line.empty()) continue;
        if (ended || line[0] != ':' || line.size() < 11 || line.size() % 2 == 0)
            return std::nullopt;
        std::vector<unsigned> b;
        for (std::size_t i = 1; i < line.size(); i += 2) {
            int hi = hexDigit(line[i]);
            int lo = hexDigit(line[i + 1]);
            if (hi < 0 || lo < 0) return std::nullopt;
            b.push_back(static_cast<unsigned>(hi * 16 + lo));
        }
        unsigned sum = 0;
        for (unsigned v : b)
            sum += v;
        if ((sum & 0xFF) != 0 || b[0] + 5 != b.size()) return std::nullopt;
        const std::uint32_t address = b[1] << 8 | b[2];
        if (b[3] == 1) {
            ended = true;
        } else if (b[3] == 0) {
            for (unsigned i = 0; i < b[0]; ++i)
                bytes[address + i] = static_cast<std::uint8_t>(b[4 + i]);
        } else {
            return std::nullopt;
        }
    }
    if (!ended) return std::nullopt;
    return bytes;
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
    auto bytes = parseRecords(text);
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

bool saveChipImage(VirtualPic& chip, const std::filesystem::path& file, std::string* why) {
    const std::string text = chipImageText(chip.profile(), chip.memory());
    std::error_code ec;
    if (file.has_parent_path()) std::filesystem::create_directories(file.parent_path(), ec);
    if (ec) return failed(why, "cannot save " + platform::utf8Of(file) + ": " + ec.message());
    platform::FileReplacement out(file);
    if (!out.commit(text)) return failed(why, out.error());
    return true;
}

bool loadChipImage(VirtualPic& chip, const std::filesystem::path& file, std::string* why) {
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

}  // namespace ferrolux::sim
