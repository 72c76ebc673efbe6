#include "files/hex_image.h"

#include <string_view>
#include <vector>

#include "files/hex_input.h"
#include "files/text_file.h"
#include "session/messages.h"

namespace ferrolux {

namespace {

constexpr const char* kOpenError = "Open Error!";
constexpr const char* kWrongFormat = "Wrong File-Format!";
// Larger than any hex file of a chip this program knows, by far.
constexpr std::size_t kFileMax = 4u << 20;
// A record of 255 data bytes: mark, count, address, type, data, checksum.
constexpr std::size_t kRecordMax = 11 + 2 * 255;
constexpr char kCtrlZ = 0x1A;

bool fail(std::string& message, std::string text) {
    message = std::move(text);
    return false;
}

bool badLine(std::string& message, int lineNumber, const char* what) {
    return fail(message, formatText("%s\nLine %d %s.", kWrongFormat, lineNumber, what));
}

bool isBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f' || c == '\v';
}

std::string_view trim(std::string_view s) {
    while (!s.empty() && isBlank(s.front()))
        s.remove_prefix(1);
    while (!s.empty() && isBlank(s.back()))
        s.remove_suffix(1);
    return s;
}

bool readWhole(const std::string& path, std::string& text) {
    TextFile file(platform::pathFromUtf8(path), "rb");
    if (!file) return false;
    char chunk[65536];
    for (;;) {
        const std::size_t n = file.read(chunk, sizeof chunk);
        text.append(chunk, n);
        if (n < sizeof chunk) return true;
        if (text.size() > kFileMax) return true;
    }
}

// The file's lines, split at LF, CR LF or a lone CR. A final Ctrl-Z (the end
// of file mark of old DOS tools) and what follows it are dropped when only
// white space follows.
std::vector<std::string_view> linesOf(std::string_view text) {
    const std::size_t z = text.rfind(kCtrlZ);
    if (z != std::string_view::npos && trim(text.substr(z + 1)).empty()) text = text.substr(0, z);
    std::vector<std::string_view> lines;
    std::size_t start = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\n' && text[i] != '\r') continue;
        lines.push_back(text.substr(start, i - start));
        if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
        start = i + 1;
    }
    if (start < text.size()) lines.push_back(text.substr(start));
    return lines;
}

// The bytes of a record line after its mark; false when a character is not a
// hex digit.
bool recordBytes(std::string_view record, std::vector<int>& bytes) {
    bytes.clear();
    for (std::size_t i = 1; i + 1 < record.size(); i += 2) {
        const int high = hexDigitValue(record[i]);
        const int low = hexDigitValue(record[i + 1]);
        if (high < 0 || low < 0) return false;
        bytes.push_back(high * 16 + low);
    }
    return true;
}

}  // namespace

bool readHexFile(const std::string& path, const HexRules& rules, HexFile& out,
                 std::string& message) {
    out = HexFile{};
    std::string text;
    if (path.empty() || !readWhole(path, text)) return fail(message, kOpenError);
    if (text.size() > kFileMax) {
        // %u: the mingw build checks formats as msvcrt's printf, which lacks %zu.
        return fail(message, formatText("%s\nThe file is larger than %u MB.", kWrongFormat,
                                        static_cast<unsigned>(kFileMax >> 20)));
    }

    std::uint32_t base = 0;  // from the last extended address record
    std::vector<int> bytes;
    int lineNumber = 0;
    for (const std::string_view raw : linesOf(text)) {
        ++lineNumber;
        const std::string_view line = trim(raw);
        if (line.empty() || line.front() == ';') continue;
        if (out.endRecord) {
            return fail(message,
                        formatText("%s\nLine %d follows the end record: two files joined, or a "
                                   "damaged file.\nAssemble the file again.",
                                   kWrongFormat, lineNumber));
        }
        if (line.front() != ':') return badLine(message, lineNumber, "is not a record");
        if (line.size() > kRecordMax) return badLine(message, lineNumber, "is too long");
        if ((line.size() - 1) % 2 != 0)
            return badLine(message, lineNumber, "does not match its byte count");
        if (!recordBytes(line, bytes))
            return badLine(message, lineNumber, "holds a byte that is not a hex digit");
        if (bytes.size() < 5 || bytes.size() != 5 + static_cast<std::size_t>(bytes[0]))
            return badLine(message, lineNumber, "does not match its byte count");

        int sum = 0;
        for (int b : bytes)
            sum += b;
        if ((sum & 0xFF) != 0 && out.checksumErrorLine == 0) out.checksumErrorLine = lineNumber;

        const int count = bytes[0];
        const std::uint32_t address = static_cast<std::uint32_t>(bytes[1] << 8 | bytes[2]);
        const int type = bytes[3];
        switch (type) {
            case 0x00:
                break;
            case 0x01:
                if (count != 0) return badLine(message, lineNumber, "is an end record with data");
                out.endRecord = true;
                continue;
            case 0x02:
            case 0x04: {
                if (count != 2 || address != 0)
                    return badLine(message, lineNumber, "is a broken extended address");
                const std::uint32_t value = static_cast<std::uint32_t>(bytes[4] << 8 | bytes[5]);
                if (value != 0 && !rules.wideAddresses) {
                    return fail(message,
                                formatText("Extended address %04X in line %d!\nThe file is for a "
                                           "larger PIC; open one made for the %s.",
                                           static_cast<unsigned>(value), lineNumber,
                                           rules.chipName.c_str()));
                }
                base = type == 0x02 ? value << 4 : value << 16;
                continue;
            }
            case 0x03:
            case 0x05:
                continue;  // a start address: nothing for the chip
            default:
                return badLine(message, lineNumber, "has an unknown record type");
        }
        for (int i = 0; i < count; ++i) {
            const std::uint32_t at = base + address + static_cast<std::uint32_t>(i);
            const auto value = static_cast<std::uint8_t>(bytes[4 + static_cast<std::size_t>(i)]);
            const auto [it, added] = out.bytes.try_emplace(at, HexByte{value, lineNumber});
            if (!added && it->second.value != value) {
                return fail(
                    message,
                    formatText("Address %04X is given %02X in line %d and %02X in line "
                               "%d!\nTwo records disagree; assemble the file again.",
                               static_cast<unsigned>(at), static_cast<unsigned>(it->second.value),
                               it->second.line, static_cast<unsigned>(value), lineNumber));
            }
        }
        if (count > 0) ++out.dataRecords;
    }
    return true;
}

int idAddressOf(const DeviceRecord& d) {
    return twelveBitCore(d) ? d.codeWords : 0x2000;
}

int configAddressOf(const DeviceRecord& d) {
    return twelveBitCore(d) ? 0xFFF : 0x2007;
}

namespace {

enum class Place { code, id, config, config2, data, kept, none };

struct Where {
    Place place;
    int widest;  // the largest value the place holds
};

Where placeOf(const DeviceRecord& d, int word) {
    const int core = blankWord(d);
    if (word >= 0 && word < d.codeWords) return {Place::code, core};
    const int ids = idAddressOf(d);
    if (word >= ids && word < ids + 4) return {Place::id, core};
    if (word == configAddressOf(d)) return {Place::config, core};
    // Words the chip keeps itself: a readback of another programmer may
    // carry them, but they are never written.
    if (twelveBitCore(d)) {
        const bool backup = d.calibrationBackup && word == ids + 4;
        return {backup ? Place::kept : Place::none, core};
    }
    if (word == kConfig2Address && d.config2Mask != 0) return {Place::config2, core};
    if (word == kDeviceIdAddress || keepsCalibrationAt(d, word)) return {Place::kept, core};
    if (word >= kDataWordBase && word < kDataWordBase + d.dataBytes) return {Place::data, 0xFF};
    return {Place::none, core};
}

// A word past the chip that only pads the file: the erased value of a code
// word or EEPROM byte.
bool padding(const DeviceRecord& d, int word, int value) {
    if (!twelveBitCore(d) && word >= kDataWordBase && word < kDataWordBase + 0x100)
        return (value & 0xFF) == 0xFF && (value >> 8 == 0 || value >> 8 == 0xFF);
    const int blank = blankWord(d);
    return value == blank || value == 0xFFFF;
}

}  // namespace

bool fitHexFile(const HexFile& file, const DeviceRecord& d, ChipImage& out, std::string& message) {
    out = ChipImage{};
    out.checksumErrorLine = file.checksumErrorLine;
    out.endRecord = file.endRecord;
    if (pic18Core(d)) return fitPic18File(file, d, out, message);
    const char* name = d.name.c_str();
    for (auto it = file.bytes.begin(); it != file.bytes.end(); ++it) {
        const std::uint32_t byteAddress = it->first;
        const int line = it->second.line;
        const auto high = file.bytes.find(byteAddress | 1);
        if (byteAddress % 2 != 0 || high == file.bytes.end()) {
            return fail(message,
                        formatText("%s\nLine %d gives only one byte of the word at %04X.",
                                   kWrongFormat, line, static_cast<unsigned>(byteAddress & ~1u)));
        }
        const int low = it->second.value;
        ++it;  // the high byte is taken with the low one
        if (byteAddress > 0xFFFF) {
            return fail(message, formatText("Address %06X in line %d lies outside the %s!\n"
                                            "Check the PIC type, or open a file made for it.",
                                            static_cast<unsigned>(byteAddress), line, name));
        }
        const int word = static_cast<int>(byteAddress / 2);
        const int v = high->second.value << 8 | low;
        const Where where = placeOf(d, word);
        if (where.place == Place::none) {
            if (padding(d, word, v)) {
                ++out.paddingSkipped;
                continue;
            }
            return fail(message, formatText("Address %04X in line %d lies outside the %s!\n"
                                            "Check the PIC type, or open a file made for it.",
                                            static_cast<unsigned>(byteAddress), line, name));
        }
        if (where.place == Place::kept) {
            ++out.keptSkipped;
            continue;
        }
        int fitted = v;
        // Configuration and ID words: bits above the core that are all 1
        // carry no meaning (some compilers write FF32 for 3F32).
        const bool wide = where.place == Place::config || where.place == Place::config2 ||
                          where.place == Place::id;
        if (wide && (v | where.widest) == 0xFFFF) fitted = v & where.widest;
        if (fitted > where.widest) {
            return fail(message, formatText("Value %04X at address %04X does not fit the %s!\n"
                                            "Check the PIC type, or open a file made for it.",
                                            static_cast<unsigned>(v),
                                            static_cast<unsigned>(byteAddress), name));
        }
        out.words[word] = fitted;
        switch (where.place) {
            case Place::code:
                ++out.codeWords;
                break;
            case Place::id:
                out.ids[static_cast<std::size_t>(word - idAddressOf(d))] = fitted;
                break;
            case Place::config:
                out.config = fitted;
                break;
            case Place::config2:
                out.config2 = fitted;
                break;
            case Place::data:
                ++out.dataBytes;
                break;
            case Place::kept:
            case Place::none:
                break;
        }
    }
    // The row-writing families load all four IDs as one row.
    if (idsInOneRecord(d) && out.hasIds()) {
        std::size_t first = 0;
        std::size_t last = out.ids.size() - 1;
        while (!out.ids[first])
            ++first;
        while (!out.ids[last])
            --last;
        bool gap = false;
        for (std::size_t i = first; i <= last; ++i)
            gap = gap || !out.ids[i];
        if (gap) {
            return fail(message, formatText("The ID locations are split over several records!\n"
                                            "The %s needs them in one record.",
                                            name));
        }
    }
    return true;
}

bool readChipImage(const std::string& path, const DeviceRecord& d, ChipImage& out,
                   std::string& message) {
    HexFile file;
    if (!readHexFile(path, hexRulesFor(d), file, message)) return false;
    return fitHexFile(file, d, out, message);
}

}  // namespace ferrolux
