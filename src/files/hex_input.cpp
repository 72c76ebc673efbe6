#include "files/hex_input.h"

#include <array>
#include <cctype>
#include <cstdio>
#include <string_view>
#include <system_error>
#include <vector>

#include "files/state_file.h"
#include "session/messages.h"

namespace ferrolux {

namespace {

constexpr const char* kOpenError = "Open Error!";
constexpr const char* kWrongFormat = "Wrong File-Format!";
constexpr const char* kNoConfigWord =
    "No Config-Word in File \nor File does not match \nto the controller type!";

bool startsWithNoCase(std::string_view line, std::string_view prefix) {
    if (line.size() < prefix.size()) return false;
    for (std::size_t i = 0; i < prefix.size(); ++i) {
        if (std::toupper(static_cast<unsigned char>(line[i])) !=
            std::toupper(static_cast<unsigned char>(prefix[i]))) {
            return false;
        }
    }
    return true;
}

// One ID nibble at `pos`: white space is skipped as "%1d" did, then one hex
// digit is taken; without a digit the value stays.
void scanIdNibble(std::string_view line, std::size_t pos, int& value) {
    while (pos < line.size() && std::isspace(static_cast<unsigned char>(line[pos])))
        ++pos;
    int v = hexDigitValue(charAt(line, pos));
    if (v >= 0) value = v;
}

std::string fileNameOf(const std::string& path) {
    std::size_t slash = path.find_last_of("/\\");
    std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    if (name.size() > kFileNameMax) name.resize(kFileNameMax);
    return name;
}

int wrongFormat(Session& s) {
    s.message = kWrongFormat;
    s.file.fileSelected = false;
    return 1;
}

}  // namespace

HexLine readHexLine(TextFile& file, std::string& line) {
    line.clear();
    file.overlong = false;
    int c = file.get();
    if (c == EOF || c == 0 || c == 0xFF) return HexLine::endOfData;
    if (c != ':') return HexLine::notRecord;
    line.push_back(':');
    for (;;) {
        c = file.get();
        // The last line may lack its line end; it is read all the same.
        if (c == EOF || c == '\n') break;
        if (c == '\r') {
            int next = file.get();
            if (next != '\n') file.unget(next);
            break;
        }
        if (line.size() < kLineMax) {
            line.push_back(static_cast<char>(c));
        } else {
            file.overlong = true;
        }
    }
    if (file.overlong) {
        line.clear();
        return HexLine::notRecord;
    }
    return HexLine::record;
}

int hexField(std::string_view line, std::size_t pos, int digits) {
    int value = 0;
    for (int i = 0; i < digits; ++i) {
        const int d = hexDigitValue(charAt(line, pos + static_cast<std::size_t>(i)));
        if (d < 0) return -1;
        value = value * 16 + d;
    }
    return value;
}

int hexDigitValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

int openHexFile(Session& s) {
    if (s.file.hexPath.empty() || s.file.hexPath.size() > kHexPathMax) {
        s.file.fileSelected = false;
        s.message = kOpenError;
        return 1;
    }
    // TextFile opens regular files only: a FIFO or device never blocks here.
    TextFile file(s.file.hexPath, "rb");
    if (!file) {
        s.message = kOpenError;
        return 1;
    }

    // Both scans finish before anything is taken over, so a failure leaves
    // the values and controls of the previous file in place.
    const bool twelveBit = twelveBitCore(s.device);
    std::string line;

    // ID record: the low digit of each ID's low byte.
    std::array<int, 4> ids = s.chip.idValues;
    // 12-bit chips keep their IDs right after the last code word.
    const std::string idRecord =
        twelveBit ? formatText(":08%.4X00", static_cast<unsigned>(2 * s.device.codeWords & 0xFFFF))
                  : std::string(":084000");
    for (;;) {
        HexLine r = readHexLine(file, line);
        if (r == HexLine::endOfData) break;
        if (r == HexLine::notRecord) return wrongFormat(s);
        if (startsWithNoCase(line, idRecord)) {
            for (std::size_t i = 0; i < ids.size(); ++i)
                scanIdNibble(line, 10 + 4 * i, ids[i]);
            break;
        }
    }

    // Configuration record, again from the start.
    if (!file.seek(0)) return wrongFormat(s);
    const std::string_view configRecord = twelveBit ? ":021FFE" : ":02400E";
    // A second configuration word (0x2008) lies at byte 0x4010.
    const bool wantsConfig2 = !twelveBit && s.device.config2Mask != 0;
    int config = -1;
    int config2 = -1;
    for (;;) {
        HexLine r = readHexLine(file, line);
        if (r == HexLine::endOfData) break;
        if (r == HexLine::notRecord) return wrongFormat(s);
        // Both words in one record, as some assemblers write them.
        if (wantsConfig2 && config < 0 && startsWithNoCase(line, ":04400E")) {
            const int w1 = hexField(line, 9, 4);
            const int w2 = hexField(line, 13, 4);
            if (w1 < 0 || w2 < 0) return wrongFormat(s);
            config = (w1 & 0xFF) << 8 | w1 >> 8;  // low byte first
            config2 = (w2 & 0xFF) << 8 | w2 >> 8;
            break;
        }
        const bool first = config < 0 && startsWithNoCase(line, configRecord);
        const bool second = wantsConfig2 && config2 < 0 && startsWithNoCase(line, ":024010");
        if (first || second) {
            int low = hexField(line, 9, 2);
            int high = hexField(line, 11, 2);
            if (low < 0 || high < 0) return wrongFormat(s);
            (first ? config : config2) = high * 0x100 + low;
            if (config >= 0 && (!wantsConfig2 || config2 >= 0)) break;
        }
    }
    file.close();
    if (storeHexPath(s) != 0) return 1;

    s.file.fileSelected = true;
    s.file.fileName = fileNameOf(s.file.hexPath);
    s.chip.idValues = ids;
    s.reporter->idValues(ids);
    const bool found = config >= 0;
    if (found) s.chip.configWord = config;
    if (config2 >= 0) s.chip.config2Word = config2;
    s.file.hasConfigWord = found;
    s.reporter->fileConfigWord(found);
    if (!found && !s.file.quiet) s.reporter->message(kNoConfigWord, "WARNING!");
    return 0;
}

int checkHexChecksums(Session& s) {
    // TextFile opens regular files only: a FIFO or device never blocks here.
    TextFile file(s.file.hexPath, "rb");
    if (!file) {
        s.message = kOpenError;
        return 1;
    }
    std::string line;
    for (;;) {
        HexLine r = readHexLine(file, line);
        if (r == HexLine::endOfData) return 0;
        if (r == HexLine::notRecord) return file.overlong ? 1 : 0;
        int count = hexField(line, 1, 2);
        if (count < 0) return 1;
        int sum = count;
        // Address high, address low, type, data, then the checksum itself.
        for (int i = 0; i < count + 4; ++i) {
            int b = hexField(line, 3 + 2 * static_cast<std::size_t>(i), 2);
            if (b < 0) return 1;
            sum += b;
        }
        if ((sum & 0xFF) != 0) return 1;
    }
}

namespace {

// One place of the chip where a hex file may put words: word addresses
// [first, end), each word at most `widest`.
struct Place {
    int first;
    int end;
    int widest;
};

// The places of the selected chip. The 12-bit core keeps its IDs right after
// the last code word and its configuration word at 0xFFF; the 14-bit core
// keeps IDs at 0x2000, the configuration word at 0x2007 and the EEPROM bytes
// from 0x2100 on.
std::vector<Place> placesOf(const DeviceRecord& d) {
    if (twelveBitCore(d)) {
        return {
            {0, d.codeWords, 0xFFF}, {d.codeWords, d.codeWords + 4, 0xFFF}, {0xFFF, 0x1000, 0xFFF}};
    }
    return {{0, d.codeWords, 0x3FFF},
            {0x2000, 0x2004, 0x3FFF},
            {0x2007, d.config2Mask != 0 ? 0x2009 : 0x2008, 0x3FFF},
            {0x2100, 0x2100 + d.dataBytes, 0xFF}};
}

// Where placesOf lists the ID locations.
constexpr std::size_t kIdPlace = 1;

int refuse(Session& s, const std::string& text) {
    s.message = text;
    return 1;
}

int badLine(Session& s, int lineNumber, const char* what) {
    return refuse(s, formatText("%s\nLine %d %s.", kWrongFormat, lineNumber, what));
}

bool allHexDigits(std::string_view line) {
    for (std::size_t i = 1; i < line.size(); ++i) {
        if (hexDigitValue(line[i]) < 0) return false;
    }
    return true;
}

}  // namespace

int validateHexFile(Session& s) {
    TextFile file(s.file.hexPath, "rb");
    if (!file) return refuse(s, kOpenError);

    const std::vector<Place> places = placesOf(s.device);
    const bool idsInOneRow = idsInOneRecord(s.device);
    std::string line;
    int lineNumber = 0;
    int nextAddress = 0;  // the lowest byte address the next data record may use
    int dataRecords = 0;
    int idRecords = 0;
    bool ended = false;  // an end record, or a record of count 0 that ends every pass
    for (;;) {
        ++lineNumber;
        const HexLine kind = readHexLine(file, line);
        if (kind == HexLine::endOfData) {
            // A NUL or 0xFF ends every reader; nothing may hide behind it.
            if (file.get() != EOF) return badLine(s, lineNumber, "holds a NUL or binary byte");
            break;
        }
        if (ended) return badLine(s, lineNumber, "follows the end record");
        if (kind == HexLine::notRecord) {
            return badLine(s, lineNumber, file.overlong ? "is too long" : "is not a record");
        }
        if (!allHexDigits(line))
            return badLine(s, lineNumber, "holds a byte that is not a hex digit");
        const int count = hexField(line, 1, 2);
        if (count < 0 || line.size() != 11 + 2 * static_cast<std::size_t>(count)) {
            return badLine(s, lineNumber, "does not match its byte count");
        }
        const int address = hexField(line, 3, 4);
        const int type = hexField(line, 7, 2);

        if (type == 1 || (type == 0 && count == 0)) {
            if (count != 0) return badLine(s, lineNumber, "is an end record with data");
            ended = true;
            continue;
        }
        if (type == 2 || type == 4) {
            if (count != 2 || address != 0)
                return badLine(s, lineNumber, "is a broken extended address");
            const int value = hexField(line, 9, 4);
            if (value != 0) {
                return refuse(
                    s, formatText("Extended address %04X in line %d!\nThe file is for a "
                                  "larger PIC; open one made for the %s.",
                                  static_cast<unsigned>(value), lineNumber, s.device.name.c_str()));
            }
            continue;
        }
        if (type != 0) return badLine(s, lineNumber, "has an unknown record type");
        if (address % 2 != 0 || count % 2 != 0) return badLine(s, lineNumber, "splits a word");

        if (address < nextAddress) {
            return refuse(s, formatText("Address %04X in line %d comes again or out of order!\n"
                                        "Assemble the file again or sort its records by address.",
                                        static_cast<unsigned>(address), lineNumber));
        }
        const int firstWord = address / 2;
        const int endWord = firstWord + count / 2;
        std::size_t place = 0;
        while (place < places.size() &&
               !(firstWord >= places[place].first && endWord <= places[place].end)) {
            ++place;
        }
        if (place == places.size()) {
            return refuse(
                s, formatText("Address %04X in line %d lies outside the %s!\n"
                              "Check the PIC type, or open a file made for it.",
                              static_cast<unsigned>(address), lineNumber, s.device.name.c_str()));
        }
        for (int i = 0; i < count / 2; ++i) {
            const std::size_t at = 9 + 4 * static_cast<std::size_t>(i);
            const int word = hexField(line, at + 2, 2) * 256 + hexField(line, at, 2);
            if (word > places[place].widest) {
                return refuse(
                    s, formatText("Value %04X at address %04X does not fit the %s!\n"
                                  "Check the PIC type, or open a file made for it.",
                                  static_cast<unsigned>(word),
                                  static_cast<unsigned>(address + 2 * i), s.device.name.c_str()));
            }
        }
        // The row-writing families write only the first ID record.
        if (place == kIdPlace && ++idRecords > 1 && idsInOneRow) {
            return refuse(s, formatText("The ID locations are split over several records!\n"
                                        "The %s needs them in one record.",
                                        s.device.name.c_str()));
        }
        nextAddress = address + count;
        ++dataRecords;
    }
    if (dataRecords == 0)
        return refuse(s, "The file holds no data!\nOpen the hex file of a program.");
    return 0;
}

void showProgress(Session& s) {
    const std::string& text = s.shown.statusText;
    std::size_t end = 0;
    while (end < text.size()) {
        auto c = static_cast<unsigned char>(text[end]);
        if (c < 0x20 || c >= 0x80) break;
        ++end;
    }
    s.reporter->status(text.substr(0, end) + std::string(80, ' '));
}

}  // namespace ferrolux
