#include "files/readback18.h"

#include <cstdio>

#include "files/hex_record.h"

namespace ferrolux {

namespace {

constexpr const char* kCrLf = "\r\n";
constexpr int kRecordBytes = 16;

std::string hex2(unsigned value) {
    char text[4];
    std::snprintf(text, sizeof text, "%.2X", value & 0xFF);
    return text;
}

std::string hex6(unsigned value) {
    char text[8];
    std::snprintf(text, sizeof text, "%.6X", value & 0xFFFFFF);
    return text;
}

// The extended linear address record for the upper 16 bits of `address`.
std::string segment(unsigned address) {
    HexRecord r(0, 4);
    r.add(static_cast<int>(address >> 24));
    r.add(static_cast<int>(address >> 16));
    return r.text() + kCrLf;
}

// Data records for `count` bytes from `base`, `byteAt(k)` giving each.
template <typename ByteAt>
std::string records(unsigned base, std::size_t count, ByteAt byteAt) {
    std::string out = segment(base);
    for (std::size_t k = 0; k < count; k += kRecordBytes) {
        HexRecord r(base + static_cast<unsigned>(k));
        for (std::size_t i = k; i < count && i < k + kRecordBytes; ++i)
            r.add(byteAt(i));
        out += r.text() + kCrLf;
    }
    return out;
}

const char* const kConfigNames[kPic18ConfigBytes] = {
    "CONFIG1L", "CONFIG1H", "CONFIG2L", "CONFIG2H", "CONFIG3L", "CONFIG3H", "CONFIG4L",
    "CONFIG4H", "CONFIG5L", "CONFIG5H", "CONFIG6L", "CONFIG6H", "CONFIG7L", "CONFIG7H"};

}  // namespace

std::string pic18HexText(const Pic18Contents& chip) {
    const auto& b = chip.bytes;
    const auto orFF = [](const auto& map, auto key) {
        const auto it = map.find(key);
        return it == map.end() ? 0xFF : static_cast<int>(it->second);
    };
    std::string out;
    const std::size_t codeBytes = b.code.empty() ? 0 : b.code.rbegin()->first + 1;
    out += records(0, codeBytes,
                   [&](std::size_t k) { return orFF(b.code, static_cast<std::uint32_t>(k)); });
    out += records(kPic18IdBase, kPic18IdBytes,
                   [&](std::size_t k) { return b.ids[k].value_or(0xFF); });
    out += records(kPic18ConfigBase, kPic18ConfigBytes,
                   [&](std::size_t k) { return b.config[k].value_or(0); });
    const std::size_t dataBytes =
        b.data.empty() ? 0 : static_cast<std::size_t>(b.data.rbegin()->first) + 1;
    if (dataBytes > 0) {
        out += records(kPic18DataBase, dataBytes,
                       [&](std::size_t k) { return orFF(b.data, static_cast<int>(k)); });
    }
    return out + ":00000001FF" + kCrLf;
}

std::string pic18ListingText(const DeviceRecord& d, const Pic18Contents& chip) {
    const auto& b = chip.bytes;
    std::string t = std::string("FLASH-Memory:") + kCrLf;
    std::size_t k = 0;
    for (const auto& [address, value] : b.code) {
        if (k++ % kRecordBytes == 0) t += std::string(kCrLf) + hex6(address) + ':';
        t += ' ';
        t += hex2(value);
    }
    t += std::string(kCrLf) + kCrLf + "ID:";
    for (const auto& id : b.ids) {
        t += ' ';
        t += hex2(static_cast<unsigned>(id.value_or(0xFF)));
    }
    t += std::string(kCrLf) + kCrLf;
    if (chip.deviceId >= 0) {
        char text[32];
        std::snprintf(text, sizeof text, "Device-ID: %.4X", static_cast<unsigned>(chip.deviceId));
        t += std::string(text) + kCrLf + kCrLf;
    }
    for (int c = 0; c < kPic18ConfigBytes; ++c) {
        if (d.configBytes[static_cast<std::size_t>(c)].mask == 0) continue;
        t += std::string(kConfigNames[c]) + " (" + hex6(kPic18ConfigBase + c) + "): " +
             hex2(static_cast<unsigned>(b.config[static_cast<std::size_t>(c)].value_or(0))) + kCrLf;
    }
    t += std::string(kCrLf) + "EEPROM-Memory:";
    k = 0;
    for (const auto& [address, value] : b.data) {
        if (k++ % kRecordBytes == 0)
            t += std::string(kCrLf) + hex6(static_cast<unsigned>(kPic18DataBase + address)) + ':';
        t += ' ';
        t += hex2(value);
    }
    return t + kCrLf;
}

}  // namespace ferrolux
