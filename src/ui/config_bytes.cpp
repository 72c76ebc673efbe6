#include "ui/config_bytes.h"

#include <cctype>

#include "files/device_list.h"
#include "files/hex_input.h"
#include "session/messages.h"

namespace ferrolux::ui {

namespace {

std::string upper(std::string_view text) {
    std::string out(text);
    for (char& c : out)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return out;
}

// Hex digits only, at most `width` of them; -1 otherwise.
int hexNumber(std::string_view text, std::size_t width) {
    if (text.empty() || text.size() > width) return -1;
    int v = 0;
    for (char c : text) {
        const int d = hexDigitValue(c);
        if (d < 0) return -1;
        v = v * 16 + d;
    }
    return v;
}

// "1H" or "7l": the byte's number and half.
int placeOfShortName(std::string_view text) {
    if (text.size() != 2 || text[0] < '1' || text[0] > '7') return -1;
    const char half = static_cast<char>(std::toupper(static_cast<unsigned char>(text[1])));
    if (half != 'L' && half != 'H') return -1;
    return (text[0] - '1') * 2 + (half == 'H' ? 1 : 0);
}

std::string withoutSlash(const std::string& label) {
    return !label.empty() && label[0] == '/' ? label.substr(1) : label;
}

bool implemented(const DeviceRecord& d, int place) {
    return place >= 0 && place < kPic18ConfigBytes &&
           d.configBytes[static_cast<std::size_t>(place)].mask != 0;
}

// A named bit: the one label of the chip that reads `name`, '/' aside.
bool findBit(const DeviceRecord& d, const ConfigByteLabels& labels, const std::string& name,
             ConfigSetting& setting, std::string& error) {
    const std::string wanted = upper(withoutSlash(name));
    int found = 0;
    for (int place = 0; place < kPic18ConfigBytes; ++place) {
        if (!implemented(d, place)) continue;
        for (int bit = 0; bit < 8; ++bit) {
            const std::string& label =
                labels[static_cast<std::size_t>(place)][static_cast<std::size_t>(bit)];
            if (functionlessBit(label) || upper(withoutSlash(label)) != wanted) continue;
            setting.place = place;
            setting.mask = 1 << bit;
            ++found;
        }
    }
    if (found == 1) return true;
    error = found == 0 ? "no configuration byte or bit of " + d.name + " is named '" + name + "'"
                       : "'" + name + "' names more than one bit of " + d.name;
    return false;
}

}  // namespace

ConfigByteLabels loadConfigByteLabels(const Session& s) {
    ConfigByteLabels labels;
    for (int place = 0; place < kPic18ConfigBytes; ++place) {
        if (implemented(s.device, place))
            readConfigByteLabels(s, place, labels[static_cast<std::size_t>(place)]);
    }
    return labels;
}

std::string configByteName(int place) {
    return formatText("CONFIG%d%c", place / 2 + 1, place % 2 == 0 ? 'L' : 'H');
}

std::string configByteItem(int place) {
    return configByteName(place) +
           formatText(" (%06X)", static_cast<unsigned>(kPic18ConfigBase + place));
}

bool functionlessBit(const std::string& label) {
    return label.empty() || label == "/";
}

bool bitBoxChecked(const std::string& label, bool set) {
    return !label.empty() && label[0] == '/' ? !set : set;
}

bool protectionLabel(const std::string& label) {
    for (const char* head : {"/CP", "/WRT", "/EBTR"}) {
        if (label.starts_with(head)) return true;
    }
    return false;
}

std::vector<std::string> protectingBits(const DeviceRecord& d, const ConfigByteLabels& labels,
                                        const std::array<int, kPic18ConfigBytes>& bytes) {
    std::vector<std::string> bits;
    for (int place = 0; place < kPic18ConfigBytes; ++place) {
        if (!implemented(d, place)) continue;
        const auto p = static_cast<std::size_t>(place);
        for (int bit = 0; bit < 8; ++bit) {
            const std::string& label = labels[p][static_cast<std::size_t>(bit)];
            if (protectionLabel(label) && ((bytes[p] >> bit) & 1) == 0)
                bits.push_back(configByteName(place) + " " + label);
        }
    }
    return bits;
}

std::string protectionQuestion(const std::vector<std::string>& bits) {
    std::string list;
    for (const std::string& bit : bits)
        list += (list.empty() ? "" : ", ") + bit;
    return "Code or write protection will be set (" + list +
           "). A protected chip cannot be read back or changed until it is erased. Write anyway?";
}

int configPlaceOf(std::string_view text) {
    const std::string name = upper(text);
    if (name.starts_with("CONFIG")) return placeOfShortName(std::string_view(name).substr(6));
    if (const int place = placeOfShortName(name); place >= 0) return place;
    std::string_view digits = name;
    if (digits.starts_with("0X")) digits.remove_prefix(2);
    const int address = hexNumber(digits, 6);
    if (address < kPic18ConfigBase || address >= kPic18ConfigBase + kPic18ConfigBytes) return -1;
    return address - kPic18ConfigBase;
}

bool parseConfigSetting(const DeviceRecord& d, const ConfigByteLabels& labels,
                        const std::string& text, ConfigSetting& setting, std::string& error) {
    const std::size_t eq = text.find('=');
    if (eq == std::string::npos || eq == 0) {
        error = "a configuration setting is ADDR=VALUE or NAME=0|1, not '" + text + "'";
        return false;
    }
    const std::string name = text.substr(0, eq);
    const std::string value = text.substr(eq + 1);
    const int place = configPlaceOf(name);
    if (place >= 0) {
        if (!implemented(d, place)) {
            error = d.name + " has no configuration byte " + configByteItem(place);
            return false;
        }
        std::string_view digits = value;
        if (digits.starts_with("0x") || digits.starts_with("0X")) digits.remove_prefix(2);
        const int v = hexNumber(digits, 2);
        const int mask = d.configBytes[static_cast<std::size_t>(place)].mask;
        if (v < 0) {
            error =
                "the value of " + configByteName(place) + " is two hex digits, not '" + value + "'";
            return false;
        }
        if ((v & ~mask) != 0) {
            error = formatText("%s holds only the bits %02X; %02X sets others",
                               configByteItem(place).c_str(), static_cast<unsigned>(mask),
                               static_cast<unsigned>(v));
            return false;
        }
        setting = {place, mask, v};
        return true;
    }
    if (!findBit(d, labels, name, setting, error)) return false;
    if (value != "0" && value != "1") {
        error = "the bit " + name + " is 0 or 1, not '" + value + "'";
        return false;
    }
    setting.value = value == "1" ? setting.mask : 0;
    return true;
}

void applyConfigSetting(std::array<int, kPic18ConfigBytes>& bytes, const ConfigSetting& setting) {
    int& byte = bytes[static_cast<std::size_t>(setting.place)];
    byte = (byte & ~setting.mask) | (setting.value & setting.mask);
}

std::string configBytesListing(const DeviceRecord& d, const ConfigByteLabels& labels,
                               const std::array<int, kPic18ConfigBytes>& bytes) {
    std::string shown;
    for (int place = 0; place < kPic18ConfigBytes; ++place) {
        if (!implemented(d, place)) continue;
        const auto p = static_cast<std::size_t>(place);
        shown += formatText("%s %06X: %02X ", configByteName(place).c_str(),
                            static_cast<unsigned>(kPic18ConfigBase + place),
                            static_cast<unsigned>(bytes[p] & 0xFF));
        for (int bit = 7; bit >= 0; --bit) {
            const std::string& label = labels[p][static_cast<std::size_t>(bit)];
            if (!functionlessBit(label))
                shown += formatText(" %s=%d", label.c_str(), (bytes[p] >> bit) & 1);
        }
        shown += '\n';
    }
    return shown;
}

std::string configSummary(const DeviceRecord& d, const std::array<int, kPic18ConfigBytes>& bytes) {
    constexpr int kShown = 3;
    std::string shown;
    int changed = 0;
    for (int place = 0; place < kPic18ConfigBytes; ++place) {
        const auto p = static_cast<std::size_t>(place);
        const auto& listed = d.configBytes[p];
        if (listed.mask == 0 || (bytes[p] & listed.mask) == listed.blank) continue;
        if (++changed <= kShown) {
            shown += formatText("%s%d%c=%02X", shown.empty() ? "" : " ", place / 2 + 1,
                                place % 2 == 0 ? 'L' : 'H', static_cast<unsigned>(bytes[p] & 0xFF));
        }
    }
    if (changed == 0) return "erased";
    if (changed > kShown) shown += formatText(" +%d", changed - kShown);
    return shown;
}

}  // namespace ferrolux::ui
