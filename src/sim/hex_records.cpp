#include "sim/hex_records.h"

#include <algorithm>
#include <cctype>
#include <vector>

namespace ferrolux::sim {

namespace {

constexpr std::size_t kRecordBytes = 16;

void hexByte(std::string& out, unsigned value) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    out += kDigits[(value >> 4) & 0xF];
    out += kDigits[value & 0xF];
}

int hexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

}  // namespace

void appendHexRecord(std::string& out, std::uint8_t type, std::uint16_t address,
                     std::span<const std::uint8_t> bytes) {
    const unsigned at = address;
    std::vector<unsigned> all{static_cast<unsigned>(bytes.size()), at >> 8, at & 0xFF, type};
    all.insert(all.end(), bytes.begin(), bytes.end());
    unsigned sum = 0;
    out += ':';
    for (unsigned b : all) {
        hexByte(out, b);
        sum += b;
    }
    hexByte(out, (0x100 - (sum & 0xFF)) & 0xFF);
    out += "\r\n";
}

void appendHexData(std::string& out, std::uint16_t address, std::span<const std::uint8_t> bytes) {
    for (std::size_t i = 0; i < bytes.size(); i += kRecordBytes) {
        appendHexRecord(out, 0, static_cast<std::uint16_t>(address + i),
                        bytes.subspan(i, std::min(kRecordBytes, bytes.size() - i)));
    }
}

void appendHexSegment(std::string& out, std::uint16_t upper) {
    const std::uint8_t bytes[] = {static_cast<std::uint8_t>(upper >> 8),
                                  static_cast<std::uint8_t>(upper)};
    appendHexRecord(out, 4, 0, bytes);
}

std::optional<std::map<std::uint32_t, std::uint8_t>> parseHexRecords(std::string_view text,
                                                                     bool extended) {
    std::map<std::uint32_t, std::uint8_t> bytes;
    std::uint32_t upper = 0;
    bool ended = false;
    std::size_t pos = 0;
    while (pos < text.size()) {
        std::size_t eol = text.find('\n', pos);
        if (eol == std::string_view::npos) eol = text.size();
        std::string_view line = text.substr(pos, eol - pos);
        pos = eol + 1;
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        if (line.empty()) continue;
        if (ended || line[0] != ':' || line.size() < 11 || line.size() % 2 == 0)
            return std::nullopt;
        std::vector<unsigned> b;
        for (std::size_t i = 1; i < line.size(); i += 2) {
            int hi = hexDigit(line[i]);
            int lo = hexDigit(line[i + 1]);
            if (hi < 0 || lo < 0) return std::nullopt;
            b.push_back(static_cast<unsigned>(hi * 16 + lo));
        }
        unsigned sum = 0;
        for (unsigned v : b)
            sum += v;
        if ((sum & 0xFF) != 0 || b[0] + 5 != b.size()) return std::nullopt;
        const std::uint32_t address = upper | b[1] << 8 | b[2];
        if (b[3] == 1) {
            ended = true;
        } else if (b[3] == 0) {
            for (unsigned i = 0; i < b[0]; ++i)
                bytes[address + i] = static_cast<std::uint8_t>(b[4 + i]);
        } else if (b[3] == 4 && extended && b[0] == 2) {
            upper = (b[4] << 8 | b[5]) << 16;
        } else {
            return std::nullopt;
        }
    }
    if (!ended) return std::nullopt;
    return bytes;
}

}  // namespace ferrolux::sim
