#include "files/hex_input.h"

#include <cctype>
#include <cstdio>
#include <string_view>

#include "files/control_ids.h"
#include "files/state_file.h"

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
    s.fileSelected = false;
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
        if (c == EOF || c == 0xFF) {
            line.clear();
            return HexLine::endOfData;
        }
        if (c == '\n') break;
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
    if (s.hexPath.empty() || s.hexPath.size() > kHexPathMax) {
        s.fileSelected = false;
        s.message = kOpenError;
        return 1;
    }
    TextFile file(s.hexPath, "rb");
    if (!file) {
        s.message = kOpenError;
        return 1;
    }
    s.fileSelected = true;
    s.fileName = fileNameOf(s.hexPath);

    const bool twelveBit = s.device.family == 8;
    std::string line;

    // ID record: the low digit of each ID's low byte.
    const std::string_view idRecord = twelveBit ? ":080400" : ":084000";
    for (;;) {
        HexLine r = readHexLine(file, line);
        if (r == HexLine::endOfData) break;
        if (r == HexLine::notRecord) return wrongFormat(s);
        if (startsWithNoCase(line, idRecord)) {
            for (int i = 0; i < 4; ++i) {
                scanIdNibble(line, 10 + 4 * static_cast<std::size_t>(i), s.idValues[i]);
                char text[16];
                std::snprintf(text, sizeof text, "%01X", static_cast<unsigned>(s.idValues[i]));
                s.window->setText(ctl::kIdFields[i], text);
            }
            break;
        }
    }

    // Configuration record, again from the start.
    if (!file.seek(0)) return wrongFormat(s);
    const std::string_view configRecord = twelveBit ? ":021FFE" : ":02400E";
    bool found = false;
    for (;;) {
        HexLine r = readHexLine(file, line);
        if (r == HexLine::endOfData) break;
        if (r == HexLine::notRecord) return wrongFormat(s);
        if (startsWithNoCase(line, configRecord)) {
            int low = hexField(line, 9, 2);
            int high = hexField(line, 11, 2);
            if (low < 0 || high < 0) return wrongFormat(s);
            s.window->check(ctl::kWriteConfigBox, true);
            s.window->enable(ctl::kViewSetButton, false);
            s.window->enable(ctl::kSaveButton, false);
            s.configWord = high * 0x100 + low;
            found = true;
            break;
        }
    }
    if (!found) {
        s.window->check(ctl::kWriteConfigBox, false);
        s.window->enable(ctl::kViewSetButton, true);
        s.window->enable(ctl::kSaveButton, true);
        if (!s.quiet) s.window->messageBox(kNoConfigWord, "WARNING!");
    }
    file.close();
    return storeHexPath(s);
}

int checkHexChecksums(Session& s) {
    TextFile file(s.hexPath, "rb");
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

void showProgress(Session& s) {
    const std::string& text = s.statusText;
    std::size_t end = 0;
    while (end < text.size()) {
        auto c = static_cast<unsigned char>(text[end]);
        if (c < 0x20 || c >= 0x80) break;
        ++end;
    }
    s.window->setText(ctl::kStatusField, text.substr(0, end) + std::string(80, ' '));
    s.window->repaint();
}

}  // namespace ferrolux
