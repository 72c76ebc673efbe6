#include "files/serial_number.h"

#include <algorithm>
#include <limits>

#include "session/messages.h"

namespace ferrolux {

namespace {

// Digits in `base`; nullopt for none, a stray character or overflow.
std::optional<std::uint64_t> digitsOf(std::string_view text, unsigned base) {
    if (text.empty()) return std::nullopt;
    std::uint64_t v = 0;
    for (char c : text) {
        unsigned d = 0;
        if (c >= '0' && c <= '9') {
            d = static_cast<unsigned>(c - '0');
        } else if (base == 16 && c >= 'a' && c <= 'f') {
            d = static_cast<unsigned>(c - 'a' + 10);
        } else if (base == 16 && c >= 'A' && c <= 'F') {
            d = static_cast<unsigned>(c - 'A' + 10);
        } else {
            return std::nullopt;
        }
        if (v > (std::numeric_limits<std::uint64_t>::max() - d) / base) return std::nullopt;
        v = v * base + d;
    }
    return v;
}

std::optional<int> smallNumber(std::string_view text, unsigned base) {
    if (base == 16 && text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X'))
        text.remove_prefix(2);
    const auto v = digitsOf(text, base);
    if (!v || *v > 0xFFFFFF) return std::nullopt;
    return static_cast<int>(*v);
}

bool fail(std::string& error, std::string text) {
    error = std::move(text);
    return false;
}

// 10^n, saturated at the 64-bit limit (then every number fits).
std::uint64_t tenTo(int n) {
    std::uint64_t v = 1;
    for (int i = 0; i < n; ++i) {
        if (v > std::numeric_limits<std::uint64_t>::max() / 10)
            return std::numeric_limits<std::uint64_t>::max();
        v *= 10;
    }
    return v;
}

// The units a place has: bytes, or the ID nibbles of 12- and 14-bit chips.
struct Units {
    int count = 0;
    int bits = 8;
};

Units unitsOf(const DeviceRecord& d, const SerialLocation& where) {
    if (where.place != SerialPlace::ids) return {where.length, 8};
    return pic18Core(d) ? Units{kPic18IdBytes, 8} : Units{4, 4};
}

constexpr int kRetlw14 = 0x3400;
constexpr int kRetlw12 = 0x0800;
constexpr int kRetlw18High = 0x0C;  // RETLW k: 0C kk, the k byte first in memory

}  // namespace

std::optional<SerialLocation> parseSerialLocation(std::string_view text, std::string& error) {
    SerialLocation where;
    if (text == "ids") {
        where.place = SerialPlace::ids;
        return where;
    }
    const std::size_t first = text.find(':');
    const std::size_t second = first == std::string_view::npos ? first : text.find(':', first + 1);
    const std::string_view kind = text.substr(0, first);
    if ((kind != "eeprom" && kind != "code") || second == std::string_view::npos) {
        error = "the serial's place is eeprom:ADDR:LEN, code:ADDR:LEN or ids, not '" +
                std::string(text) + "'";
        return std::nullopt;
    }
    where.place = kind == "eeprom" ? SerialPlace::eeprom : SerialPlace::code;
    const auto address = smallNumber(text.substr(first + 1, second - first - 1), 16);
    const auto length = smallNumber(text.substr(second + 1), 10);
    if (!address || !length || *length < 1 || *length > kSerialLengthMax) {
        error = "in '" + std::string(text) + "' ADDR is hex and LEN 1 to " +
                std::to_string(kSerialLengthMax);
        return std::nullopt;
    }
    where.address = *address;
    where.length = *length;
    return where;
}

std::optional<SerialFormat> parseSerialFormat(std::string_view text, std::string& error) {
    if (text == "be" || text == "binary") return SerialFormat::binary;
    if (text == "le") return SerialFormat::littleEndian;
    if (text == "bcd") return SerialFormat::bcd;
    if (text == "ascii") return SerialFormat::ascii;
    error = "the serial format is be, le, bcd or ascii, not '" + std::string(text) + "'";
    return std::nullopt;
}

std::optional<std::uint64_t> parseSerialNumber(std::string_view text) {
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X'))
        return digitsOf(text.substr(2), 16);
    return digitsOf(text, 10);
}

std::string serialText(std::uint64_t value, SerialFormat format) {
    if (format == SerialFormat::bcd || format == SerialFormat::ascii) return std::to_string(value);
    return formatText("0x%llX", static_cast<unsigned long long>(value));
}

std::string locationText(const SerialLocation& where) {
    switch (where.place) {
        case SerialPlace::eeprom:
            return formatText("EEPROM %04X", static_cast<unsigned>(where.address));
        case SerialPlace::code:
            return formatText("code %04X", static_cast<unsigned>(where.address));
        case SerialPlace::ids:
            break;
    }
    return "the ID locations";
}

bool encodeSerial(std::uint64_t value, SerialFormat format, int count, int unitBits,
                  std::vector<int>& units, std::string& error) {
    const bool decimal = format == SerialFormat::bcd || format == SerialFormat::ascii;
    if (format == SerialFormat::ascii && unitBits != 8)
        return fail(error, "ASCII digits need whole bytes; the ID locations hold nibbles");
    const int digitsPerUnit = format == SerialFormat::ascii ? 1 : unitBits / 4;
    const int totalBits = count * unitBits;
    const std::uint64_t limit = decimal           ? tenTo(count * digitsPerUnit)
                                : totalBits >= 64 ? 0  // every number fits
                                                  : std::uint64_t{1} << totalBits;
    if (limit != 0 && limit != std::numeric_limits<std::uint64_t>::max() && value >= limit) {
        return fail(
            error,
            "serial " + serialText(value, format) + " does not fit " + std::to_string(count) +
                (unitBits == 8 ? " byte" : " nibble") + (count == 1 ? "" : "s") + " (" +
                (decimal ? "up to " + std::to_string(limit - 1)
                         : formatText("up to 0x%llX", static_cast<unsigned long long>(limit - 1))) +
                ")");
    }
    units.assign(static_cast<std::size_t>(count), 0);
    std::uint64_t rest = value;
    const int mask = (1 << unitBits) - 1;
    // Filled from the least significant end.
    for (int i = count - 1; i >= 0; --i) {
        int unit = 0;
        if (format == SerialFormat::ascii) {
            unit = '0' + static_cast<int>(rest % 10);
            rest /= 10;
        } else if (format == SerialFormat::bcd) {
            for (int d = 0; d < digitsPerUnit; ++d) {
                unit |= static_cast<int>(rest % 10) << (4 * d);
                rest /= 10;
            }
        } else {
            unit = static_cast<int>(rest & static_cast<std::uint64_t>(mask));
            rest = unitBits < 64 ? rest >> unitBits : 0;
        }
        units[static_cast<std::size_t>(i)] = unit;
    }
    if (format == SerialFormat::littleEndian) std::reverse(units.begin(), units.end());
    return true;
}

bool serialPlaceFits(const DeviceRecord& d, const SerialLocation& where, SerialFormat format,
                     std::string& error) {
    const Units units = unitsOf(d, where);
    if (format == SerialFormat::ascii && units.bits != 8)
        return fail(error, "ASCII digits need whole bytes; the ID locations of " + d.name +
                               " hold one nibble each");
    const int end = where.address + where.length;
    switch (where.place) {
        case SerialPlace::eeprom:
            if (twelveBitCore(d) || d.dataBytes <= 0)
                return fail(error, d.name + " has no EEPROM for the serial");
            if (end > d.dataBytes) {
                return fail(
                    error, formatText("EEPROM %04X..%04X lies outside the %d bytes of %s",
                                      static_cast<unsigned>(where.address),
                                      static_cast<unsigned>(end - 1), d.dataBytes, d.name.c_str()));
            }
            return true;
        case SerialPlace::code: {
            if (pic18Core(d)) {
                if (where.address % 2 != 0)
                    return fail(error, "a PIC18 RETLW table starts at an even byte address");
                if (where.address + 2 * where.length > d.codeWords * 2) {
                    return fail(error, formatText("code %04X..%04X lies outside the %d bytes of %s",
                                                  static_cast<unsigned>(where.address),
                                                  static_cast<unsigned>(where.address +
                                                                        2 * where.length - 1),
                                                  d.codeWords * 2, d.name.c_str()));
                }
                return true;
            }
            // The 12-bit core's last word is its calibration (MOVLW), kept.
            const int usable = d.codeWords - (d.calibration ? 1 : 0);
            if (end > usable) {
                return fail(error,
                            formatText("code %04X..%04X lies outside the %d words of %s%s",
                                       static_cast<unsigned>(where.address),
                                       static_cast<unsigned>(end - 1), usable, d.name.c_str(),
                                       d.calibration ? " below its calibration word" : ""));
            }
            return true;
        }
        case SerialPlace::ids:
            return true;
    }
    return true;
}

bool applySerial(const DeviceRecord& d, const SerialLocation& where, SerialFormat format,
                 std::uint64_t value, ChipImage& image, std::string& error) {
    if (!serialPlaceFits(d, where, format, error)) return false;
    const Units units = unitsOf(d, where);
    std::vector<int> v;
    if (!encodeSerial(value, format, units.count, units.bits, v, error)) {
        error += " at " + locationText(where);
        return false;
    }
    const bool pic18 = pic18Core(d);
    for (int i = 0; i < units.count; ++i) {
        const int unit = v[static_cast<std::size_t>(i)];
        const auto at = [&](int offset) { return where.address + offset; };
        switch (where.place) {
            case SerialPlace::eeprom:
                if (pic18) {
                    image.pic18.data[at(i)] = static_cast<std::uint8_t>(unit);
                } else {
                    image.words[kDataWordBase + at(i)] = unit;
                }
                break;
            case SerialPlace::code:
                if (pic18) {
                    const auto byte = static_cast<std::uint32_t>(at(2 * i));
                    image.pic18.code[byte] = static_cast<std::uint8_t>(unit);
                    image.pic18.code[byte + 1] = kRetlw18High;
                } else {
                    image.words[at(i)] = (twelveBitCore(d) ? kRetlw12 : kRetlw14) | unit;
                }
                break;
            case SerialPlace::ids:
                if (pic18) {
                    image.pic18.ids[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(unit);
                } else {
                    image.ids[static_cast<std::size_t>(i)] = unit;
                    image.words[idAddressOf(d) + i] = unit;
                }
                break;
        }
    }
    // The counts the reports and passes go by.
    if (pic18) {
        image.codeWords = static_cast<int>(image.pic18.code.size());
        image.dataBytes = static_cast<int>(image.pic18.data.size());
    } else {
        int code = 0, data = 0;
        for (const auto& [word, value] : image.words) {
            code += word < d.codeWords ? 1 : 0;
            data += word >= kDataWordBase ? 1 : 0;
        }
        image.codeWords = code;
        image.dataBytes = data;
    }
    return true;
}

}  // namespace ferrolux
