#include "files/device_list.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <string_view>
#include <vector>

namespace ferrolux {

namespace {

constexpr const char* kErrorTitle = "Error!";
constexpr const char* kOpenError = "Open Error kestrum.ini !";
constexpr const char* kOpenErrorAtStart = "Open Error 'kestrum.ini !'";
constexpr const char* kNothingSelected = "auswahl?";
constexpr const char* kOldFile = "old file kestrum.ini !";

bool isSpace(char c) {
    return std::isspace(static_cast<unsigned char>(c)) != 0;
}
bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

struct Column {
    std::string_view text;
    std::size_t end;  // position of the separator (or the line end)
};

// The column that begins at `pos`; it ends at ';', TAB, CR or the line end.
Column columnAt(std::string_view line, std::size_t pos) {
    if (pos >= line.size()) return {{}, pos};
    std::size_t end = line.find_first_of(";\t\r", pos);
    if (end == std::string_view::npos) end = line.size();
    return {line.substr(pos, end - pos), end};
}

// Decimal number of at most `width` digits after leading white space, like
// scanf's "%4d" limited to its column; false when no digit is there.
bool scanNumber(std::string_view text, std::size_t width, int& value) {
    std::size_t i = 0;
    while (i < text.size() && isSpace(text[i]))
        ++i;
    int v = 0;
    std::size_t digits = 0;
    while (i < text.size() && digits < width && isDigit(text[i])) {
        v = v * 10 + (text[i] - '0');
        ++i;
        ++digits;
    }
    if (digits == 0) return false;
    value = v;
    return true;
}

// The largest memories a chip can have: 8K words of code (the 14-bit address
// space below the configuration words) and 256 data bytes (0x2100 to 0x21FF
// in a hex file); on the PIC18 core 64 KB of code (32K words) and 1 KB of
// EEPROM.
constexpr int kCodeWordsMax = 8192;
constexpr int kDataBytesMax = 256;
constexpr int kCodeWordsMax18 = 32768;
constexpr int kDataBytesMax18 = 1024;

// A memory size column: a decimal number from `least` to `largest`, blanks
// around it allowed. Anything else (no digits, a sign, a number past the
// largest) makes the line unusable rather than a size cut or made up.
bool sizeColumn(std::string_view text, int least, int largest) {
    std::size_t i = 0;
    while (i < text.size() && isSpace(text[i]))
        ++i;
    long value = 0;
    std::size_t digits = 0;
    for (; i < text.size() && isDigit(text[i]); ++i, ++digits) {
        value = value * 10 + (text[i] - '0');
        if (value > largest) return false;
    }
    while (i < text.size() && isSpace(text[i]))
        ++i;
    return digits > 0 && i == text.size() && value >= least;
}

std::size_t familyColumn(std::string_view line, std::size_t p, int& family);

// A device line the list can carry: begins with "PIC", its name runs to the
// first TAB (a ';' in it would shift every column), name and key fit the
// record, and the code and data sizes are ones a chip can have.
bool usableDeviceLine(std::string_view line, Column& name) {
    if (!line.starts_with("PIC")) return false;
    name = columnAt(line, 0);
    if (charAt(line, name.end) == ';') return false;
    Column key = columnAt(line, name.end + 1);
    Column code = columnAt(line, key.end + 1);
    Column data = columnAt(line, code.end + 1);
    DeviceRecord family;
    familyColumn(line, data.end, family.family);
    const bool wide = pic18Core(family);
    return name.text.size() <= kNameMax && key.text.size() <= kKeyMax &&
           sizeColumn(code.text, 1, wide ? kCodeWordsMax18 : kCodeWordsMax) &&
           sizeColumn(data.text, 0, wide ? kDataBytesMax18 : kDataBytesMax);
}

// A hexadecimal value of exactly four digits; -1 when it is not one.
int fourHexDigits(std::string_view text) {
    if (text.size() != 4) return -1;
    unsigned value = 0;
    const char* end = text.data() + text.size();
    const auto [stop, error] = std::from_chars(text.data(), end, value, 16);
    if (error != std::errc() || stop != end) return -1;
    return static_cast<int>(value);
}

// The optional column after the device ID flag: the chip's device ID as four
// hexadecimal digits. -1 when the line has none (lists of the older form).
int listedDeviceId(std::string_view line, std::size_t flagPos) {
    if (charAt(line, flagPos + 1) != '\t' && charAt(line, flagPos + 1) != ';') return -1;
    return fourHexDigits(columnAt(line, flagPos + 2).text);
}

// A voltage such as "12" or "12.5", in tenths of a volt; 0 when it is not one.
int voltsInTenths(std::string_view text) {
    int whole = 0;
    std::size_t i = 0;
    while (i < text.size() && i < 2 && isDigit(text[i]))
        whole = whole * 10 + (text[i++] - '0');
    if (i == 0) return 0;
    int tenths = 0;
    if (i + 1 < text.size() && text[i] == '.' && isDigit(text[i + 1])) {
        tenths = text[i + 1] - '0';
        i += 2;
    }
    return i == text.size() ? whole * 10 + tenths : 0;
}

// The optional marks in the columns after the device ID flag, each in a
// column of its own and in any order; lists without them still read:
// "OSCCAL" (a factory calibration word in the last code word of a 12-bit
// chip), "OSCCAL+BACKUP" (and its copy after the ID words), "CAL2008" and
// "CAL2009" (calibration words in configuration space), "CFGMASK=hhhh" (the
// configuration bits that read back as written), "CONFIG2=hhhh" (a second
// configuration word at 0x2008 and its implemented bits), "VPP=v" (the
// highest programming voltage the chip takes, in volts), and on PIC18 chips
// "BUF=n" (bytes of the write buffer, 8 when not given) and "REV4" (bit 4 of
// the device ID tells twin chips apart, so it is no revision bit).
void listedMarks(std::string_view line, std::size_t flagPos, DeviceRecord& d) {
    d.calibration = false;
    d.calibrationBackup = false;
    d.configMask = -1;
    d.config2Mask = 0;
    d.calibrationWords = 0;
    d.vppLimitTenths = 0;
    d.writeBufferBytes = pic18Core(d) ? 8 : 0;
    d.revisionMask = kDeviceIdRevisionMask;
    std::size_t pos = flagPos + 1;
    while (charAt(line, pos) == '\t' || charAt(line, pos) == ';') {
        const Column mark = columnAt(line, pos + 1);
        const std::string_view m = mark.text;
        if (m == "OSCCAL" || m == "OSCCAL+BACKUP") {
            d.calibration = true;
            d.calibrationBackup = m.size() > 6;
        } else if (m == "CAL2008") {
            d.calibrationWords |= 1;
        } else if (m == "CAL2009") {
            d.calibrationWords |= 2;
        } else if (m.starts_with("CFGMASK=")) {
            d.configMask = fourHexDigits(m.substr(8));
        } else if (m.starts_with("CONFIG2=")) {
            d.config2Mask = std::max(0, fourHexDigits(m.substr(8))) & 0x3FFF;
        } else if (m.starts_with("VPP=")) {
            d.vppLimitTenths = voltsInTenths(m.substr(4));
        } else if (m.starts_with("BUF=")) {
            int bytes = 0;
            if (sizeColumn(m.substr(4), 8, 64) && scanNumber(m.substr(4), 2, bytes) &&
                (bytes & (bytes - 1)) == 0) {
                d.writeBufferBytes = bytes;
            }
        } else if (m == "REV4") {
            d.revisionMask = 0x000F;
        }
        pos = mark.end;
    }
}

// The family column at `p` + 3: one digit after optional white space ("%1d"),
// or two digits right at its start (families from 10 on). Sets `family` when
// a digit is there; returns how many characters the column is wider than one.
std::size_t familyColumn(std::string_view line, std::size_t p, int& family) {
    std::size_t f = p + 3;
    if (isDigit(charAt(line, f)) && isDigit(charAt(line, f + 1))) {
        family = (charAt(line, f) - '0') * 10 + (charAt(line, f + 1) - '0');
        return 1;
    }
    while (f < line.size() && isSpace(line[f]))
        ++f;
    if (isDigit(charAt(line, f))) family = charAt(line, f) - '0';
    return 0;
}

void parseDeviceLine(std::string_view line, const Column& name, DeviceRecord& d) {
    Column key = columnAt(line, name.end + 1);
    Column code = columnAt(line, key.end + 1);
    Column data = columnAt(line, code.end + 1);
    const std::size_t p = data.end;

    d.configLabelKey = std::string(key.text);
    const std::size_t flag = p + 5 + familyColumn(line, p, d.family);
    // PIC18 code sizes take five digits.
    scanNumber(code.text, pic18Core(d) ? 5 : 4, d.codeWords);
    scanNumber(data.text, 4, d.dataBytes);
    d.lowVoltageFlag = charAt(line, p + 1);
    d.deviceIdFlag = charAt(line, flag);
    listedMarks(line, flag, d);
    const int id = listedDeviceId(line, flag);
    d.deviceId = id < 0 ? -1 : id & ~d.revisionMask & (pic18Core(d) ? 0xFFFF : 0x3FFF);
}

// One "cfg" line of a PIC18 chip: the key's first column, the byte's place
// (one hex digit), its erased value (two), then labels for bits 7 to 0; a
// bare '/' is a bit without function.
struct CfgLine {
    int place = 0;
    int blank = 0;
    std::array<std::string_view, 8> labels;  // bit 0 first
};

// The line as a cfg line of `key`; false for another line or a malformed one.
bool readCfgLine(std::string_view line, const std::string& key, CfgLine& cfg) {
    const Column first = columnAt(line, 0);
    if (first.text != key) return false;
    const Column place = columnAt(line, first.end + 1);
    const Column blank = columnAt(line, place.end + 1);
    unsigned offset = 0, value = 0;
    if (place.text.size() != 1 || blank.text.size() != 2) return false;
    if (std::from_chars(place.text.data(), place.text.data() + 1, offset, 16).ptr !=
            place.text.data() + 1 ||
        std::from_chars(blank.text.data(), blank.text.data() + 2, value, 16).ptr !=
            blank.text.data() + 2 ||
        offset >= kPic18ConfigBytes) {
        return false;
    }
    cfg.place = static_cast<int>(offset);
    cfg.blank = static_cast<int>(value);
    std::size_t pos = blank.end + 1;
    for (int bit = 7; bit >= 0; --bit) {
        const Column label = columnAt(line, pos);
        cfg.labels[static_cast<std::size_t>(bit)] = label.text;
        pos = label.end + 1;
    }
    return true;
}

// A PIC18 chip's configuration bytes from its "cfg" lines. Bytes without a
// line are not implemented.
void readConfigBytes(const std::vector<std::string>& lines, DeviceRecord& d) {
    d.configBytes = {};
    const std::string key = "cfg" + d.configLabelKey;
    for (const std::string& line : lines) {
        CfgLine cfg;
        if (!readCfgLine(line, key, cfg)) continue;
        int mask = 0;
        for (int bit = 0; bit < 8; ++bit) {
            const std::string_view label = cfg.labels[static_cast<std::size_t>(bit)];
            if (!label.empty() && label != "/") mask |= 1 << bit;
        }
        d.configBytes[static_cast<std::size_t>(cfg.place)] = {mask, cfg.blank & mask};
    }
}

bool lessNoCase(const std::string& a, const std::string& b) {
    return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
        return std::tolower(static_cast<unsigned char>(x)) <
               std::tolower(static_cast<unsigned char>(y));
    });
}

std::filesystem::path listPath(const Session& s) {
    return s.programDir / kDeviceListFile;
}

// Steps shared by selectDevice and readConfigLabels: the selection and its text.
bool readSelection(Session& s) {
    std::string name;
    int index = s.reporter->chosenChip(name);
    if (index < 0) {
        s.device.listIndex = -1;
        s.reporter->message(kNothingSelected, kErrorTitle);
        return false;
    }
    s.device.listIndex = index;
    s.device.name = name;
    return true;
}

// The list's lines as readListLine gives them; false when it does not open.
bool readLines(const std::filesystem::path& path, std::vector<std::string>& lines) {
    TextFile file(path, "r");
    if (!file) return false;
    std::string line;
    while (readListLine(file, line))
        lines.push_back(line);
    return true;
}

// The list's lines: those read at the start of the run, or, in a session that
// did not read it, the file's now (into `scratch`). Null when it does not open.
const std::vector<std::string>* listLines(const Session& s, std::vector<std::string>& scratch) {
    if (s.deviceList.read) return &s.deviceList.lines;
    return readLines(listPath(s), scratch) ? &scratch : nullptr;
}

// The lines for an operation that cannot go on without them.
const std::vector<std::string>* linesOrEnd(Session& s, std::vector<std::string>& scratch) {
    if (const auto* lines = listLines(s, scratch)) return lines;
    s.reporter->message(kOpenError, kErrorTitle);
    s.reporter->closeProgram(1);
    return nullptr;
}

}  // namespace

bool readListLine(TextFile& file, std::string& line) {
    line.clear();
    file.overlong = false;
    int c = file.get();
    if (c == EOF || c == 0 || c == 0xFF) return false;
    for (;;) {
        if (c == '\n' || c == 0) return true;
        if (c == '\r') {
            int next = file.get();
            if (next != '\n') file.unget(next);
            return true;
        }
        if (c == 0xFF) return false;
        if (line.size() < kLineMax) {
            line.push_back(static_cast<char>(c));
        } else {
            file.overlong = true;
        }
        c = file.get();
        if (c == EOF) return false;  // no line end: the line is not returned
    }
}

int checkDeviceList(Session& s) {
    // Read once here; the list only needs reading, so a read-only one will do.
    s.deviceList = {};
    if (readLines(listPath(s), s.deviceList.lines)) {
        s.deviceList.read = true;
        return 0;
    }
    s.deviceList.lines.clear();
    s.reporter->message(kOpenErrorAtStart, kErrorTitle);
    return 1;
}

void fillChipList(Session& s) {
    std::vector<std::string> scratch;
    const auto* lines = listLines(s, scratch);
    if (lines == nullptr) {
        s.reporter->message(kOpenError, kErrorTitle);
        return;
    }
    std::vector<std::string> names;
    for (const std::string& line : *lines) {
        if (names.size() >= kChipListMax) break;
        Column name;
        if (usableDeviceLine(line, name)) names.emplace_back(name.text);
    }
    std::stable_sort(names.begin(), names.end(), lessNoCase);
    s.reporter->chipNames(names);
}

void selectDevice(Session& s) {
    if (!readSelection(s)) return;
    std::vector<std::string> scratch;
    const auto* lines = linesOrEnd(s, scratch);
    if (lines == nullptr) return;
    for (const std::string& line : *lines) {
        Column name;
        if (usableDeviceLine(line, name) && name.text == s.device.name) {
            parseDeviceLine(line, name, s.device);
            if (pic18Core(s.device)) readConfigBytes(*lines, s.device);
            break;
        }
    }
}

std::string chipOfDeviceId(const Session& s, int id) {
    std::vector<std::string> scratch;
    const auto* lines = listLines(s, scratch);
    if (lines == nullptr) return {};
    // Only chips of the selected one's core: their IDs are read alike.
    for (const std::string& line : *lines) {
        Column name;
        if (!usableDeviceLine(line, name)) continue;
        DeviceRecord d;
        parseDeviceLine(line, name, d);
        if (pic18Core(d) != pic18Core(s.device) || d.deviceIdFlag != 'Y' || d.deviceId < 0)
            continue;
        if ((id & ~d.revisionMask & (pic18Core(d) ? 0xFFFF : 0x3FFF)) == d.deviceId)
            return std::string(name.text);
    }
    return {};
}

int functionlessConfigBits(const Session& s) {
    std::vector<std::string> scratch;
    const auto* lines = listLines(s, scratch);
    if (lines == nullptr) return 0;
    const std::string key = "conf" + s.device.configLabelKey;
    for (const std::string& line : *lines) {
        if (line.starts_with("config1")) return 0;
        if (!line.starts_with(key)) continue;
        int bits = 0;
        std::size_t pos = key.size() + 2;
        for (int bit = 13; bit >= 0; --bit) {
            const Column label = columnAt(line, pos);
            if (label.text == "/") bits |= 1 << bit;
            pos = label.end + 1;
        }
        return bits;
    }
    return 0;
}

bool readConfigLabels(Session& s, std::array<std::string, 14>& labels) {
    if (!readSelection(s)) return false;
    std::vector<std::string> scratch;
    const auto* lines = linesOrEnd(s, scratch);
    if (lines == nullptr) return false;

    const std::string key = "conf" + s.device.configLabelKey;
    std::string line;
    bool found = false;
    for (const std::string& candidate : *lines) {
        if (candidate.starts_with("config1")) {
            s.reporter->message(kOldFile, kErrorTitle);
            return false;
        }
        if (candidate.starts_with(key)) {
            line = candidate;
            found = true;
            break;
        }
    }
    if (!found) return false;

    // Labels from the third character after the key, bit 13 first.
    std::size_t pos = key.size() + 2;
    for (int bit = 13; bit >= 0; --bit) {
        Column label = columnAt(line, pos);
        labels[static_cast<std::size_t>(bit)] = std::string(label.text);
        pos = label.end + 1;
    }
    return true;
}

bool readConfigByteLabels(const Session& s, int place, std::array<std::string, 8>& labels) {
    std::vector<std::string> scratch;
    const auto* lines = listLines(s, scratch);
    if (lines == nullptr) return false;
    const std::string key = "cfg" + s.device.configLabelKey;
    for (const std::string& line : *lines) {
        CfgLine cfg;
        if (!readCfgLine(line, key, cfg) || cfg.place != place) continue;
        for (std::size_t bit = 0; bit < 8; ++bit)
            labels[bit] = std::string(cfg.labels[bit]);
        return true;
    }
    return false;
}

}  // namespace ferrolux
