#include "ui/serial_dialog.h"

#include "session/messages.h"
#include "ui/control_ids.h"

namespace ferrolux::ui {

namespace {

constexpr const char* kPlaces[] = {"EEPROM", "Code (RETLW table)", "ID locations"};
constexpr const char* kFormats[] = {"binary, big-endian", "binary, little-endian", "BCD",
                                    "ASCII digits"};
constexpr SerialFormat kFormatOrder[] = {SerialFormat::binary, SerialFormat::littleEndian,
                                         SerialFormat::bcd, SerialFormat::ascii};

std::string trimmed(std::string text) {
    text.erase(0, text.find_first_not_of(' '));
    text.erase(text.find_last_not_of(' ') + 1);
    return text;
}

}  // namespace

std::string MemoryStore::value(const std::string& key) {
    for (const auto& [k, v] : values_)
        if (k == key) return v;
    return {};
}

void MemoryStore::setValue(const std::string& key, const std::string& value) {
    for (auto& [k, v] : values_) {
        if (k == key) {
            v = value;
            return;
        }
    }
    values_.emplace_back(key, value);
}

std::string locationArgument(const SerialLocation& at) {
    switch (at.place) {
        case SerialPlace::eeprom:
            return formatText("eeprom:%X:%d", static_cast<unsigned>(at.address), at.length);
        case SerialPlace::code:
            return formatText("code:%X:%d", static_cast<unsigned>(at.address), at.length);
        case SerialPlace::ids:
            break;
    }
    return "ids";
}

const char* formatArgument(SerialFormat f) {
    switch (f) {
        case SerialFormat::binary:
            return "be";
        case SerialFormat::littleEndian:
            return "le";
        case SerialFormat::bcd:
            return "bcd";
        case SerialFormat::ascii:
            return "ascii";
    }
    return "be";
}

SerialSettings loadSerialSettings(SettingsStore& store) {
    SerialSettings s;
    std::string error;
    s.enabled = store.value("serial/enabled") == "1";
    if (const auto at = parseSerialLocation(store.value("serial/at"), error)) s.at = *at;
    if (const auto f = parseSerialFormat(store.value("serial/format"), error)) s.format = *f;
    if (const auto next = parseSerialNumber(store.value("serial/next"))) s.next = *next;
    return s;
}

void saveSerialSettings(SettingsStore& store, const SerialSettings& s) {
    store.setValue("serial/enabled", s.enabled ? "1" : "0");
    store.setValue("serial/at", locationArgument(s.at));
    store.setValue("serial/format", formatArgument(s.format));
    store.setValue("serial/next", std::to_string(s.next));
}

void SerialDialog::opened(Window& d) {
    const SerialSettings s = loadSerialSettings(store_);
    d.check(ctl::kSerialEnableBox, s.enabled);
    d.setListItems(ctl::kSerialPlaceList, {std::begin(kPlaces), std::end(kPlaces)});
    d.selectListItem(ctl::kSerialPlaceList, static_cast<int>(s.at.place));
    d.setListItems(ctl::kSerialFormatList, {std::begin(kFormats), std::end(kFormats)});
    for (int i = 0; i < 4; ++i)
        if (kFormatOrder[i] == s.format) d.selectListItem(ctl::kSerialFormatList, i);
    d.setText(ctl::kSerialAddressField, formatText("%X", static_cast<unsigned>(s.at.address)));
    d.setText(ctl::kSerialLengthField, std::to_string(s.at.length));
    d.setText(ctl::kSerialNextField, serialText(s.next, s.format));
    showPlace(d);
}

// The ID locations have neither address nor length of their own.
void SerialDialog::showPlace(Window& d) {
    const bool ids = d.listSelection(ctl::kSerialPlaceList) == static_cast<int>(SerialPlace::ids);
    d.enable(ctl::kSerialAddressField, !ids);
    d.enable(ctl::kSerialLengthField, !ids);
}

void SerialDialog::command(Window& d, int id) {
    switch (id) {
        case ctl::kSerialPlaceList:
            showPlace(d);
            break;
        case ctl::kDefaultButton:
            if (take(d)) {
                accepted_ = true;
                d.endDialog(1);
            }
            break;
        case ctl::kCancel:
            d.endDialog(2);
            break;
        default:
            break;
    }
}

bool SerialDialog::take(Window& d) {
    SerialSettings s;
    s.enabled = d.isChecked(ctl::kSerialEnableBox);
    const int place = d.listSelection(ctl::kSerialPlaceList);
    const int format = d.listSelection(ctl::kSerialFormatList);
    s.format = kFormatOrder[format >= 0 && format < 4 ? format : 0];
    std::string error;
    const std::string address = trimmed(d.text(ctl::kSerialAddressField));
    const std::string length = trimmed(d.text(ctl::kSerialLengthField));
    const std::string argument = place == static_cast<int>(SerialPlace::ids) ? std::string("ids")
                                 : place == static_cast<int>(SerialPlace::code)
                                     ? "code:" + address + ":" + length
                                     : "eeprom:" + address + ":" + length;
    const auto at = parseSerialLocation(argument, error);
    const auto next = parseSerialNumber(trimmed(d.text(ctl::kSerialNextField)));
    if (at && !next) error = "The next number is decimal, or hex with 0x.";
    if (at && next && s_.device.listIndex >= 0 && !s_.device.name.empty()) {
        ChipImage probe;
        applySerial(s_.device, *at, s.format, *next, probe, error);
    }
    if (!error.empty()) {
        d.messageBox(error, "Serial Number");
        return false;
    }
    s.at = *at;
    s.next = *next;
    saveSerialSettings(store_, s);
    return true;
}

}  // namespace ferrolux::ui
