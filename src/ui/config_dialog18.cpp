// The configuration dialog on PIC18 chips: one configuration byte at a time,
// picked in the byte list, in the boxes of bits 7-0 and the hex field.
#include "files/hex_input.h"
#include "session/messages.h"
#include "ui/config_dialog.h"
#include "ui/control_ids.h"

namespace ferrolux::ui {

namespace {

// The hex field's byte: after blanks, one or two hex digits ("0x" allowed);
// false when no digit can be read.
bool scanByteValue(const std::string& field, int& value) {
    std::size_t i = field.find_first_not_of(" \t");
    if (i == std::string::npos) return false;
    if (field.compare(i, 2, "0x") == 0 || field.compare(i, 2, "0X") == 0) i += 2;
    int v = 0;
    int digits = 0;
    for (; i < field.size() && digits < 2 && hexDigitValue(field[i]) >= 0; ++i, ++digits)
        v = v * 16 + hexDigitValue(field[i]);
    if (digits == 0) return false;
    value = v;
    return true;
}

}  // namespace

void ConfigDialog::opened18(Window& d) {
    labels_ = loadConfigByteLabels(s_);
    places_.clear();
    std::vector<std::string> items;
    for (int place = 0; place < kPic18ConfigBytes; ++place) {
        if (s_.device.configBytes[static_cast<std::size_t>(place)].mask == 0) continue;
        places_.push_back(place);
        items.push_back(configByteItem(place));
    }
    d.setListItems(ctl::kConfigByteList, items);
    d.enable(ctl::kConfigByteList, !items.empty());
    d.selectListItem(ctl::kConfigByteList, items.empty() ? -1 : 0);
    place_ = items.empty() ? 0 : places_.front();
    // Only bits 7-0 belong to a byte; the IDs and the second word are the 14-bit core's.
    for (int bit = 8; bit < 14; ++bit) {
        d.setText(ctl::kBitLabel0 + bit, "");
        d.check(ctl::kBitBox0 - bit, false);
        d.enable(ctl::kBitBox0 - bit, false);
    }
    for (int id : ctl::kIdFields) {
        d.setText(id, "");
        d.enable(id, false);
    }
    for (int id : {ctl::kReadIds, ctl::kWriteIds, ctl::kConfig2Field})
        d.enable(id, false);
    d.setText(ctl::kConfig2Field, "");
    showByte(d);
    d.repaint();
}

void ConfigDialog::byteSelected(Window& d) {
    const int index = d.listSelection(ctl::kConfigByteList);
    if (!wide() || index < 0 || index >= static_cast<int>(places_.size())) return;
    place_ = places_[static_cast<std::size_t>(index)];
    showByte(d);
}

void ConfigDialog::showByte(Window& d) {
    showBoxes(d);
    const int value = s_.chip.configBytes[static_cast<std::size_t>(place_)];
    d.setText(ctl::kHexValueField, formatText("%.2X", static_cast<unsigned>(value & 0xFF)));
}

// The shown byte's labels and boxes; bits without function greyed.
void ConfigDialog::showBoxes(Window& d) {
    const auto p = static_cast<std::size_t>(place_);
    const int value = s_.chip.configBytes[p];
    for (int bit = 0; bit < 8; ++bit) {
        const std::string& label = labels_[p][static_cast<std::size_t>(bit)];
        const bool functionless = functionlessBit(label);
        d.setText(ctl::kBitLabel0 + bit, functionless ? "" : label);
        d.enable(ctl::kBitBox0 - bit, !functionless);
        d.check(ctl::kBitBox0 - bit, !functionless && bitBoxChecked(label, (value >> bit) & 1));
    }
}

// A typed value keeps only the bits the byte implements.
void ConfigDialog::byteValueChanged(Window& d) {
    int value = 0;
    if (!scanByteValue(d.text(ctl::kHexValueField), value)) return;
    const auto p = static_cast<std::size_t>(place_);
    s_.chip.configBytes[p] = value & s_.device.configBytes[p].mask;
    showBoxes(d);
}

void ConfigDialog::byteBoxClicked(Window& d) {
    const auto p = static_cast<std::size_t>(place_);
    int value = s_.chip.configBytes[p];
    for (int bit = 0; bit < 8; ++bit) {
        const std::string& label = labels_[p][static_cast<std::size_t>(bit)];
        if (functionlessBit(label)) continue;
        const bool checked = d.isChecked(ctl::kBitBox0 - bit);
        // Checked means on: the bit set, or clear where the label is active low.
        if (bitBoxChecked(label, true) == checked) {
            value |= 1 << bit;
        } else {
            value &= ~(1 << bit);
        }
    }
    s_.chip.configBytes[p] = value;
    d.setText(ctl::kHexValueField, formatText("%.2X", static_cast<unsigned>(value & 0xFF)));
}

// Protection bits about to be switched on are written only when the user agrees.
bool ConfigDialog::protectionAgreed(Window& d) {
    const auto bits = protectingBits(s_.device, labels_, s_.chip.configBytes);
    return bits.empty() ||
           d.messageBox(protectionQuestion(bits), "Warning!", Buttons::okCancel) == Answer::ok;
}

}  // namespace ferrolux::ui
