#include "ui/config_dialog.h"

#include "device/readback.h"
#include "files/device_list.h"
#include "files/hex_input.h"
#include "session/messages.h"
#include "ui/control_ids.h"

namespace ferrolux::ui {

namespace {

constexpr int kBits = 14;

bool isBlank(char c) {
    return c == ' ' || (c >= '\t' && c <= '\r');
}

}  // namespace

bool scanConfigValue(const std::string& field, int& value) {
    const std::string head = field.substr(0, 7);
    std::size_t i = 0;
    while (i < head.size() && isBlank(head[i]))
        ++i;
    int width = 4;
    if (i + 2 < head.size() && head[i] == '0' && (head[i + 1] == 'x' || head[i + 1] == 'X') &&
        hexDigitValue(head[i + 2]) >= 0) {
        i += 2;
        width -= 2;
    }
    int v = 0;
    int digits = 0;
    for (; i < head.size() && digits < width && hexDigitValue(head[i]) >= 0; ++i, ++digits) {
        v = v * 16 + hexDigitValue(head[i]);
    }
    if (digits == 0) return false;
    value = v;
    return true;
}

void loadConfigLabels(Session& s, Window& dialog) {
    std::array<std::string, 14> labels;
    if (!readConfigLabels(s, labels)) return;
    for (int bit = 13; bit >= 0; --bit)
        dialog.setText(ctl::kBitLabel0 + bit, labels[static_cast<std::size_t>(bit)]);
    for (int bit = 0; bit < 14; ++bit) {
        const std::string label = dialog.text(ctl::kBitLabel0 + bit);
        const bool activeLow = !label.empty() && label[0] == '/';
        const bool set = ((s.chip.configWord >> bit) & 1) != 0;
        dialog.check(ctl::kBitBox0 - bit, activeLow ? !set : set);
    }
}

void showConfigField(Session& s, Window& main) {
    showConfigWord(s);
    if (pic18Core(s.device))
        main.setText(ctl::kConfigWordField, configSummary(s.device, s.chip.configBytes));
}

void ConfigDialog::opened(Window& d) {
    if (pic18Core(s_.device)) {
        opened18(d);
        return;
    }
    d.setListItems(ctl::kConfigByteList, {});
    d.enable(ctl::kConfigByteList, false);
    setHexField(d);
    loadConfigLabels(s_, d);
    setIdFields(d);
    setConfig2Field(d);
    d.repaint();
}

void ConfigDialog::command(Window& d, int id) {
    if (id >= ctl::kBitBox0 - 13 && id <= ctl::kBitBox0) {
        if (wide()) {
            byteBoxClicked(d);
        } else {
            bitBoxClicked(d);
        }
        return;
    }
    if (id == ctl::kConfigByteList) {
        byteSelected(d);
        return;
    }
    // The IDs of PIC18 chips are not handled here.
    if (wide() && (id == ctl::kReadIds || id == ctl::kWriteIds)) return;
    switch (id) {
        case ctl::kReadConfig:
            readConfig(d);
            break;
        case ctl::kWriteConfig:
            writeConfig(d);
            break;
        case ctl::kReadIds:
            readIds(d);
            break;
        case ctl::kWriteIds:
            writeIds(d);
            break;
        case ctl::kDefaultButton:
            done(d);
            break;
        case ctl::kCancel:
            d.endDialog(ctl::kCancel);
            break;
        default:
            break;
    }
}

void ConfigDialog::textChanged(Window& d, int id) {
    if (wide()) {
        if (id == ctl::kHexValueField) byteValueChanged(d);
        return;
    }
    if (id == ctl::kHexValueField) {
        hexValueChanged(d);
        return;
    }
    if (id == ctl::kConfig2Field) {
        config2Changed(d);
        return;
    }
    for (int i = 0; i < 4; ++i) {
        if (id == ctl::kIdFields[i]) idFieldChanged(d, i);
    }
}

void ConfigDialog::hexValueChanged(Window& d) {
    int value = 0;
    if (scanConfigValue(d.text(ctl::kHexValueField), value)) s_.chip.configWord = value;
    loadConfigLabels(s_, d);
}

void ConfigDialog::bitBoxClicked(Window& d) {
    int word = 0;
    for (int bit = 0; bit < kBits; ++bit) {
        const std::string label = d.text(ctl::kBitLabel0 + bit);
        const bool activeLow = !label.empty() && label[0] == '/';
        if (d.isChecked(ctl::kBitBox0 - bit) != activeLow) word |= 1 << bit;
    }
    s_.chip.configWord = word;
    setHexField(d);
}

void ConfigDialog::idFieldChanged(Window& d, int index) {
    const std::string text = d.text(ctl::kIdFields[index]);
    const int v = text.empty() ? -1 : hexDigitValue(text[0]);
    if (v >= 0) s_.chip.idValues[static_cast<std::size_t>(index)] = v;
}

void ConfigDialog::setHexField(Window& d) {
    d.setText(ctl::kHexValueField, formatText("%.4X", static_cast<unsigned>(s_.chip.configWord)));
    hexValueChanged(d);
}

// Shown and editable only on chips with a second configuration word.
void ConfigDialog::setConfig2Field(Window& d) {
    const bool has = chip_.secondConfigMask() != 0;
    d.enable(ctl::kConfig2Field, has);
    d.setText(ctl::kConfig2Field,
              has ? formatText("%.4X", static_cast<unsigned>(s_.chip.config2Word & 0x3FFF)) : "");
}

void ConfigDialog::config2Changed(Window& d) {
    int value = 0;
    if (chip_.secondConfigMask() != 0 && scanConfigValue(d.text(ctl::kConfig2Field), value))
        s_.chip.config2Word = value & 0x3FFF;
}

// Only the low four bits of an ID are shown: a write widens the values.
void ConfigDialog::setIdFields(Window& d) {
    for (int i = 0; i < 4; ++i) {
        const auto value =
            static_cast<unsigned>(s_.chip.idValues[static_cast<std::size_t>(i)] & 0xF);
        d.setText(ctl::kIdFields[i], formatText("%01X", value));
        idFieldChanged(d, i);
    }
}

int ConfigDialog::fail(Window& d) {
    d.messageBox(s_.message, "Error");
    chip_.leave();
    ++failures_;
    return 1;
}

int ConfigDialog::readConfig(Window& d) {
    if (chip_.checkLink() == 0) return fail(d);
    if (chip_.readConfig() != 0) return fail(d);
    if (wide()) {
        showByte(d);
    } else {
        setHexField(d);
        loadConfigLabels(s_, d);
        setConfig2Field(d);
    }
    chip_.leave();
    d.beep();
    return 0;
}

int ConfigDialog::writeConfig(Window& d) {
    if (wide() && !protectionAgreed(d)) return 0;
    if (chip_.checkLink() == 0) return fail(d);
    if (chip_.writeConfig() != 0) return fail(d);
    d.beep();
    return 0;
}

int ConfigDialog::readIds(Window& d) {
    if (chip_.checkLink() == 0) return fail(d);
    chip_.readIds();
    setIdFields(d);
    d.beep();
    return 0;
}

int ConfigDialog::writeIds(Window& d) {
    if (chip_.checkLink() == 0) return fail(d);
    if (chip_.writeIds() != 0) return fail(d);
    d.beep();
    return 0;
}

bool ConfigDialog::done(Window& d) {
    if (!wide() && s_.chip.configWord > 0x3FFF) {
        d.messageBox("Configword Value?", "Error!");
        return false;
    }
    d.endDialog(ctl::kDefaultButton);
    return true;
}

}  // namespace ferrolux::ui
