#include "files/state_file.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <string>
#include <string_view>
#include <system_error>

#include "files/text_file.h"

namespace ferrolux {

namespace {

constexpr std::string_view kNewFile = "COM20013";
constexpr std::string_view kDefaultPort = "COM2";
constexpr const char* kOpenError = "Open Error 'kestrum.cfg'!";

constexpr long kReloadOffset = 9;
constexpr long kSpeedOffset = 10;
constexpr long kLineBreakOffset = 30;
constexpr long kPathOffset = 32;
constexpr std::size_t kHeaderBytes = 11;  // offsets 0 to 10
// An FTDI adapter's serial number: ':' and the number at offsets 11 to 29,
// NUL-padded, behind the port name "ftdi".
constexpr long kAdapterOffset = 11;
constexpr std::size_t kAdapterField = 19;
constexpr std::string_view kFtdiName = "ftdi";
// The selected chip's name, NUL-padded, past the longest path field (offset
// 32, 249 characters, a NUL and 20 blanks). The name finds the chip again when
// the device list gains or loses lines; the index stays for older files.
constexpr long kChipNameOffset = 304;
constexpr std::size_t kChipNameField = 16;
// A port name longer than the 4-character head (a device path, COM10 and up),
// NUL-padded, behind the head's default port name. Older versions see COM2.
constexpr long kLongPortOffset = 320;
constexpr std::size_t kLongPortField = 256;

std::filesystem::path statePath(const Session& s) {
    return s.programDir / kStateFile;
}

bool isSpace(char c) {
    return c == ' ' || (c >= '\t' && c <= '\r');
}

// The chip index at offsets 4 and 5, read like "%2d"; false without a digit.
bool parseIndex(std::string_view field, int& index) {
    std::size_t i = 0;
    while (i < field.size() && isSpace(field[i]))
        ++i;
    bool negative = false;
    if (i < field.size() && (field[i] == '-' || field[i] == '+')) negative = field[i++] == '-';
    int value = 0;
    bool digits = false;
    for (; i < field.size() && field[i] >= '0' && field[i] <= '9'; ++i) {
        value = value * 10 + (field[i] - '0');
        digits = true;
    }
    if (!digits) return false;
    index = negative ? -1 : value;  // every negative index means "nothing selected"
    return true;
}

bool knownPort(std::string_view name) {
    return name.size() == 4 && (name.starts_with('C') || name == "SIM1" || name == kFtdiName);
}

// "ftdi:SERIAL" splits into "ftdi" and the field ":SERIAL"; false for a
// serial number the field cannot keep whole.
bool adapterField(std::string_view portName, std::string& field) {
    field.assign(kAdapterField, '\0');
    if (portName == kFtdiName) return true;
    if (!portName.starts_with("ftdi:")) return false;
    const std::string_view serial = portName.substr(5);
    if (serial.empty() || serial.size() > kAdapterField - 1 ||
        serial.find_first_of(std::string_view("\0\r\n ", 4)) != std::string_view::npos) {
        return false;
    }
    field[0] = ':';
    field.replace(1, serial.size(), serial);
    return true;
}

// True for a name that needs the long port field and that it keeps whole.
bool longPortName(std::string_view name) {
    if (name.size() <= 4 || name.size() >= kLongPortField) return false;
    for (unsigned char c : name)
        if (c < ' ' || c == 0x7F) return false;
    return true;
}

// The text of a NUL-padded field; empty when the file has none there or
// the text does not end within the field.
std::string storedField(const Session& s, long offset, std::size_t size) {
    TextFile file(statePath(s), "rb");
    if (!file || !file.seek(offset)) return {};
    std::string buffer(size, '\0');
    const std::size_t n = file.read(buffer.data(), size);
    const std::size_t end = buffer.find('\0');
    if (end >= n) return {};
    buffer.resize(end);
    return buffer;
}

// The long port name stored in the file; empty when there is none.
std::string readLongPort(const Session& s) {
    std::string stored = storedField(s, kLongPortOffset, kLongPortField);
    return longPortName(stored) ? stored : std::string();
}

// Settings when there is no state file at all.
void applyDefaults(Session& s) {
    s.link.portName = kDefaultPort;
    s.device.listIndex = 0;
    s.chip.lowVoltageChar = '0';
    s.link.adapter = '1';
    s.link.vppLine = '3';
    s.link.speed = 2;
}

bool patch(Session& s, long offset, char c) {
    TextFile file(statePath(s), "r+b");
    if (!file) return false;
    bool ok = file.seek(offset) && file.write(std::string_view(&c, 1));
    return file.close() && ok;
}

}  // namespace

void loadState(Session& s) {
    if (s.programDir.empty()) {
        std::error_code ec;
        std::filesystem::path cwd = std::filesystem::current_path(ec);
        if (ec) {
            std::cerr << "_getcwd error: " << ec.message() << '\n';
        } else {
            s.programDir = cwd;
        }
    }

    char header[kAdapterOffset + kAdapterField] = {};
    std::size_t n = 0;
    {
        TextFile file(statePath(s), "r+b");
        if (!file) {
            TextFile created(statePath(s), "w+b");
            if (!created || !created.write(kNewFile) || !created.close()) {
                std::cerr << kStateFile << ": " << std::strerror(errno) << '\n';
                applyDefaults(s);
                return;
            }
            std::memcpy(header, kNewFile.data(), kNewFile.size());
            n = kNewFile.size();
        } else {
            n = file.read(header, sizeof header);
        }
    }
    const std::string_view bytes(header, n);

    // Port name: up to 4 characters, ending early at a line break.
    std::string_view name = bytes.substr(0, 4);
    name = name.substr(0, name.find_first_of(std::string_view("\n\0", 2)));
    const bool parallelPossible = s.port.directIo || s.port.driverUsable;
    if (name.size() != 4 || (!parallelPossible && !knownPort(name))) name = kDefaultPort;
    s.link.portName = std::string(name);
    if (name == kFtdiName && n > kAdapterOffset + 1 && bytes[kAdapterOffset] == ':') {
        std::string_view serial = bytes.substr(kAdapterOffset + 1);
        serial = serial.substr(0, serial.find_first_of(std::string_view("\0\r\n ", 4)));
        if (!serial.empty()) {
            s.link.portName += ':';
            s.link.portName.append(serial);
        }
    }

    // A long name stands behind the default head; another head means an
    // older version chose a port since.
    if (name == kDefaultPort) {
        if (std::string stored = readLongPort(s); !stored.empty()) s.link.portName = stored;
    }

    if (n > 4) parseIndex(bytes.substr(4, 2), s.device.listIndex);
    s.device.name = readStoredChipName(s);
    s.chip.lowVoltageChar = n > 6 ? bytes[6] : '0';
    s.link.adapter = n > 7 && bytes[7] >= '1' && bytes[7] <= '3' ? bytes[7] : '1';
    s.link.vppLine = n > 8 && bytes[8] == '4' ? '4' : '3';
    s.link.speed = n > 10 && bytes[10] >= '0' && bytes[10] <= '3' ? bytes[10] - '0' : 2;
}

void saveState(Session& s) {
    TextFile file(statePath(s), "r+b");
    if (!file) return;
    if (s.link.vppLine != '4') s.link.vppLine = '3';
    std::string field;
    const bool adapter = adapterField(s.link.portName, field);
    const bool longPort = !adapter && longPortName(s.link.portName);
    std::string head = adapter                       ? std::string(kFtdiName)
                       : s.link.portName.size() == 4 ? s.link.portName
                                                     : std::string(kDefaultPort);
    const int index =
        s.device.listIndex >= -1 && s.device.listIndex <= 99 ? s.device.listIndex : -1;
    char digits[8];
    std::snprintf(digits, sizeof digits, "%02d", index);
    head += digits;
    head += s.chip.lowVoltageChar == '1' ? '1' : '0';
    head += s.link.adapter;
    head += s.link.vppLine;
    if (file.seek(0)) file.write(head);
    if (adapter && file.seek(kAdapterOffset)) file.write(field);
    std::string name = s.device.listIndex >= 0 ? s.device.name : std::string();
    if (name.size() >= kChipNameField) name.clear();
    // A file without a field gets it only for something to keep there; one
    // that has it gets it cleared.
    std::error_code ec;
    const auto size = std::filesystem::file_size(statePath(s), ec);
    const auto hasField = [&](long offset) {
        return !ec && size > static_cast<std::uintmax_t>(offset);
    };
    if (!name.empty() || hasField(kChipNameOffset)) {
        name.resize(kChipNameField, '\0');
        if (file.seek(kChipNameOffset)) file.write(name);
    }
    if (longPort || hasField(kLongPortOffset)) {
        std::string port = longPort ? s.link.portName : std::string();
        port.resize(kLongPortField, '\0');
        if (file.seek(kLongPortOffset)) file.write(port);
    }
}

std::string readStoredChipName(const Session& s) {
    std::string stored = storedField(s, kChipNameOffset, kChipNameField);
    // Only a name in printable characters.
    for (char c : stored)
        if (c <= ' ' || c > '~') return {};
    return stored;
}

void storeSpeed(Session& s, char speed) {
    patch(s, kSpeedOffset, speed);
}

void setReloadFlag(Session& s, char flag) {
    patch(s, kReloadOffset, flag);
}

int storeHexPath(Session& s) {
    TextFile file(statePath(s), "r+b");
    if (!file) {
        s.message = kOpenError;
        return 1;
    }
    // A path that would not read back whole is not stored at all.
    std::string_view path = s.file.hexPath;
    if (path.size() > kStoredPathMax ||
        path.find_first_of(std::string_view("\r\n\0", 3)) != std::string_view::npos) {
        path = {};
    }
    std::string field(path);
    field += '\0';
    field.append(20, ' ');
    bool ok = file.seek(kLineBreakOffset) && file.write("\r\n") && file.seek(kPathOffset) &&
              file.write(field);
    if (!file.close() || !ok) {
        s.message = kOpenError;
        return 1;
    }
    return 0;
}

void readStoredHexPath(Session& s) {
    TextFile file(statePath(s), "r+b");
    if (!file || !file.seek(kPathOffset)) return;
    char buffer[kStoredPathMax];
    std::size_t n = file.read(buffer, sizeof buffer);
    if (n == 0) return;
    std::string_view stored(buffer, n);
    s.file.hexPath =
        std::string(stored.substr(0, stored.find_first_of(std::string_view("\0\r\n", 3))));
}

char readReloadFlag(Session& s) {
    TextFile file(statePath(s), "r+b");
    if (!file || !file.seek(kReloadOffset)) return '\0';
    int c = file.get();
    return c == EOF ? '\0' : static_cast<char>(c);
}

}  // namespace ferrolux
