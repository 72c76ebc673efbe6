#include "ui/data_window.h"

#include <algorithm>

#include "device/chip_service.h"
#include "files/hex_image.h"
#include "files/hex_input.h"
#include "files/hex_record.h"
#include "files/text_file.h"
#include "platform/files.h"
#include "session/messages.h"
#include "ui/control_ids.h"

namespace ferrolux::ui {

namespace {

int lineCount(const std::string& text) {
    int lines = 1;
    for (char c : text) {
        if (c == '\n') ++lines;
    }
    // A lone CR also ends a line.
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r' && charAt(text, i + 1) != '\n') ++lines;
    }
    return lines;
}

// The value "%2x" reads at position 6: blanks skipped, then one or two hex digits.
bool scanByte(const std::string& line, int& value) {
    std::size_t i = 6;
    while (i < line.size() && (line[i] == ' ' || line[i] == '\t'))
        ++i;
    int v = 0;
    int digits = 0;
    for (; digits < 2 && hexDigitValue(charAt(line, i)) >= 0; ++i, ++digits) {
        v = v * 16 + hexDigitValue(line[i]);
    }
    if (digits == 0) return false;
    value = v;
    return true;
}

}  // namespace

std::string dataLine(int offset, int value) {
    return formatText("%04X: %02X \r\n", static_cast<unsigned>(offset),
                      static_cast<unsigned>(value & 0xFF));
}

std::string textLine(const std::string& text, int index, std::size_t limit) {
    std::size_t start = 0;
    for (int line = 0; line < index; ++line) {
        const std::size_t end = text.find_first_of("\r\n", start);
        if (end == std::string::npos) return {};
        start = end + (text[end] == '\r' && charAt(text, end + 1) == '\n' ? 2 : 1);
    }
    const std::size_t end = text.find_first_of("\r\n", start);
    std::string line = text.substr(start, end == std::string::npos ? end : end - start);
    if (line.size() > limit) line.resize(limit);
    return line;
}

std::string readDataMemoryText(Session& s) {
    std::string text;
    const std::vector<int> bytes = ChipService(s).readDataMemory();
    for (std::size_t k = 0; k < bytes.size(); ++k)
        text += dataLine(static_cast<int>(k), bytes[k]);
    return text;
}

int writeDataMemoryLines(Session& s, Window& d, const std::string& field) {
    ChipService chip(s);
    if (!chip.beginDataWrite()) {
        d.messageBox(s.message, "");
        return 1;
    }
    d.setText(ctl::kDataStatus, "writing....");
    d.repaint();
    auto stop = [&](const std::string& text) {
        d.messageBox(text, "");
        d.setText(ctl::kDataStatus, " ");
        d.repaint();
        return 1;
    };

    // Lines past the data memory would wrap round onto its first bytes.
    int n = lineCount(field) - 1;
    if (n > s.device.dataBytes) n = s.device.dataBytes;

    for (int i = 0; i < n; ++i) {
        const std::string line = textLine(field, i);
        int v = 0;
        if (!scanByte(line, v)) {
            return stop(formatText("Data-Value? (%04X)", static_cast<unsigned>(i)));
        }
        if (!chip.writeDataByte(v)) return stop("Write Error!");
    }
    d.setText(ctl::kDataStatus, " ");
    d.repaint();
    d.beep();
    return 0;
}

void filterDataEdit(Window& d, std::string& dataText) {
    const Caret caret = d.caret(ctl::kDataText);
    const int p = caret.position;
    if (p == 0 && caret.selected == 0) return;
    const bool modified = d.isModified(ctl::kDataText);
    auto undo = [&] { d.setText(ctl::kDataText, dataText); };
    if (p < 6) {
        if (modified) undo();
        return;
    }
    const int c = p <= kDataLineLength ? p : ((p - 1) % kDataLineLength) + 1;
    const int line = p / kDataLineLength;
    if (c < 6) {
        if (modified) undo();
        return;
    }
    if (!modified) return;
    const std::string t = textLine(d.text(ctl::kDataText), line);
    if (static_cast<unsigned char>(charAt(t, 5)) > ' ') {
        undo();
        return;
    }
    const std::size_t start = static_cast<std::size_t>(line) * kDataLineLength;
    const std::string own = start < dataText.size() ? dataText.substr(start, 6) : std::string();
    if (t.substr(0, 6) != own) return;
    for (std::size_t pos : {std::size_t{6}, std::size_t{7}}) {
        if (charAt(t, pos) >= '0' && start + pos < dataText.size()) dataText[start + pos] = t[pos];
    }
}

void DataWindow::opened(Window& d) {
    d.setText(ctl::kDataText, " ");
    d.setText(ctl::kDataStatus, "reading....");
    d.repaint();
    dataText_ = readDataMemoryText(s_);
    d.setText(ctl::kDataText, dataText_);
    d.setText(ctl::kDataStatus, " ");
    d.repaint();
}

void DataWindow::command(Window& d, int id) {
    switch (id) {
        case ctl::kReadData:
            readData(d);
            break;
        case ctl::kWriteData:
            writeData(d);
            break;
        case ctl::kLoadDataFile:
            loadFile(d);
            break;
        case ctl::kSaveDataFile:
            saveFile(d);
            break;
        case ctl::kDefaultButton:
        case ctl::kCancel:
            d.endDialog(id);
            break;
        default:
            break;
    }
}

void DataWindow::textChanged(Window& d, int id) {
    if (id == ctl::kDataText) filterDataEdit(d, dataText_);
}

void DataWindow::readData(Window& d) {
    d.setText(ctl::kDataText, " ");
    d.repaint();
    d.setText(ctl::kDataStatus, "reading....");
    d.repaint();
    dataText_ = readDataMemoryText(s_);
    d.setText(ctl::kDataText, dataText_);
    d.setText(ctl::kDataStatus, " ");
    d.repaint();
    d.beep();
}

int DataWindow::writeData(Window& d) {
    const int r = writeDataMemoryLines(s_, d, d.text(ctl::kDataText));
    failures_ += r;
    return r;
}

// --- The data memory as a hex file ---

std::uint32_t eepromHexAddress(const DeviceRecord& d) {
    return pic18Core(d) ? 0xF00000u : 0x4200u;
}

std::string eepromHexText(const DeviceRecord& d, const std::vector<int>& bytes) {
    const bool pic18 = pic18Core(d);
    // PIC18: one byte an address, above 64 KB; 14-bit: a byte and a zero a word.
    const int step = pic18 ? 1 : 2;
    std::string text;
    if (pic18) {
        HexRecord upper(0, 4);
        upper.add(0x00);
        upper.add(0xF0);
        text += upper.text() + "\r\n";
    }
    const std::uint32_t base = eepromHexAddress(d);
    for (std::size_t k = 0; k < bytes.size(); k += 16 / step) {
        HexRecord record(base + static_cast<std::uint32_t>(k * step));
        for (std::size_t j = k; j < bytes.size() && j < k + 16 / step; ++j) {
            record.add(bytes[j]);
            if (!pic18) record.add(0);
        }
        text += record.text() + "\r\n";
    }
    return text + ":00000001FF\r\n";
}

bool readEepromHex(const std::string& path, const DeviceRecord& d, std::vector<int>& bytes,
                   std::string& message) {
    HexFile file;
    if (!readHexFile(path, hexRulesFor(d), file, message)) return false;
    const std::uint32_t base = eepromHexAddress(d);
    const std::uint32_t step = pic18Core(d) ? 1 : 2;
    bytes.assign(static_cast<std::size_t>(std::max(d.dataBytes, 0)), 0xFF);
    int found = 0;
    for (std::size_t k = 0; k < bytes.size(); ++k) {
        const auto it = file.bytes.find(base + static_cast<std::uint32_t>(k) * step);
        if (it == file.bytes.end()) continue;
        bytes[k] = it->second.value;
        ++found;
    }
    if (found == 0) message = "No data memory (EEPROM) bytes in the file.";
    return found > 0;
}

std::vector<int> dataTextBytes(const std::string& text, int size) {
    std::vector<int> bytes;
    for (int i = 0; i < size; ++i) {
        int v = 0;
        if (!scanByte(textLine(text, i), v)) break;
        bytes.push_back(v);
    }
    return bytes;
}

int DataWindow::loadFile(Window& d) {
    const std::string folder = platform::utf8Of(s_.programDir);
    const std::string path = d.pickFile({"Load the Data Memory", "Hex-Files", "*.hex", folder, {}});
    if (path.empty()) return 1;
    std::vector<int> bytes;
    std::string message;
    if (!readEepromHex(path, s_.device, bytes, message)) {
        d.messageBox(message, "Error");
        return 1;
    }
    dataText_.clear();
    for (std::size_t k = 0; k < bytes.size(); ++k)
        dataText_ += dataLine(static_cast<int>(k), bytes[k]);
    d.setText(ctl::kDataText, dataText_);
    d.setText(ctl::kDataStatus, "loaded");
    return 0;
}

int DataWindow::saveFile(Window& d) {
    const std::string folder = platform::utf8Of(s_.programDir);
    const std::string path =
        d.pickSaveFile({"Save the Data Memory", "Hex-Files", "*.hex", folder, "eeprom.hex"});
    if (path.empty()) return 1;
    const std::vector<int> bytes = dataTextBytes(d.text(ctl::kDataText), s_.device.dataBytes);
    platform::FileReplacement file(platform::pathFromUtf8(path));
    if (!file.created() || !file.commit(eepromHexText(s_.device, bytes))) {
        d.messageBox(file.error().empty() ? "Cannot write output file." : file.error(), "Error");
        return 1;
    }
    d.setText(ctl::kDataStatus, "saved");
    return 0;
}

}  // namespace ferrolux::ui
