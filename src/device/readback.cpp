#include "device/readback.h"

#include <cstdio>
#include <filesystem>
#include <utility>

#include "device/check_link.h"
#include "device/chip_contents.h"
#include "device/erase.h"
#include "device/family.h"
#include "device/pic18/parts.h"
#include "device/pic18/pic18.h"
#include "files/hex_image.h"
#include "files/hex_record.h"
#include "files/readback18.h"
#include "files/text_file.h"
#include "link/icsp.h"
#include "link/line_driver.h"
#include "platform/files.h"
#include "session/messages.h"
#include "session/session.h"

namespace ferrolux {

namespace {

constexpr const char* kCrLf = "\r\n";

std::string hex(const char* format, unsigned value) {
    char text[16];
    std::snprintf(text, sizeof text, format, value);
    return text;
}

// The output file: written under a fresh temporary name in its folder and
// renamed over the old one when complete, so a failed write never leaves a
// half file where the finished one belongs.
class OutputFile {
  public:
    OutputFile(const Session& s, const char* name)
        : file_(!s.readbackPath.empty()
                    ? s.readbackPath
                    : (s.outputDir.empty() ? std::filesystem::path(".") : s.outputDir) / name) {}

    bool created() const { return file_.created(); }
    std::string text;

    // Writes the text and puts the file in place; false on any write error.
    bool commit() { return file_.commit(text); }

  private:
    platform::FileReplacement file_;
};

int cannotCreate(Session& s) {
    s.message = "Cannot open output file.\n";
    return 1;
}

int finishFile(Session& s, OutputFile& out) {
    if (out.commit()) return 0;
    s.message = "Cannot write output file.\n";
    return 1;
}

int read(Session& s, int command) {
    return sendIcsp(s, command, 0);
}

// A 12-bit chip's empty socket, told as the link check tells it.
bool noChipAnswers(Session& s) {
    if (!algorithmOf(s.device).twelveBit || !emptyTwelveBitSocket(read(s, READ_DATA_PROGRAM)))
        return false;
    s.message = kNoPicOnBoard;
    return true;
}
void increment(Session& s) {
    sendIcsp(s, INCREMENT_ADDRESS, 0);
}

// Chips that keep a bandgap calibration are shipped with a RETLW calibration
// word at 0x3FF.
constexpr int kCalibration14 = 0x3FF;

// An erased code word; a factory calibration word (a RETLW at 0x3FF on a
// 14-bit chip with bandgap bits, a MOVLW in the last word of a calibrated
// 12-bit chip) is part of an erased chip too.
bool codeErased(const Session& s, int address, int word) {
    const Family& f = algorithmOf(s.device);
    if (f.twelveBit) {
        const bool calibration = s.device.calibration && address == s.device.codeWords - 1;
        return (word & 0xFFF) == 0xFFF || (calibration && (word & 0xF00) == 0xC00);
    }
    if (f.keepsBandgapBits && address == kCalibration14 && (word & 0x3F00) == 0x3400) {
        return true;
    }
    return word == 0x3FFF;
}

// An erased configuration word, in the bits that read back as written: chips
// with bandgap bits keep them in 13:12 and read 11:9 as 0; others as listed.
bool configErased(const Session& s, int config) {
    const Family& f = algorithmOf(s.device);
    const int mask = f.keepsBandgapBits ? 0x01FF : configMaskOf(s.device);
    return (config & mask) == mask;
}

void toDataMemory(Session& s) {
    if (algorithmOf(s.device).dataWalk == DataWalk::ownCounter) {
        sendIcsp(s, ENTER_PGM, 0);
        return;
    }
    sendIcsp(s, LOAD_CONFIGURATION, 0x3FFF);
    for (int i = 0; i < 256; ++i)
        increment(s);
}

void notBlankUnless(Session& s, bool erased, int address, int value) {
    if (erased) return;
    s.pass.blank = false;
    if (s.pass.usedAddress < 0 || address < s.pass.usedAddress) {
        s.pass.usedAddress = address;
        s.pass.usedValue = value;
    }
}

// Configuration space of a 14-bit chip from the ID words on: IDs, device ID,
// configuration word, then the second configuration word and the kept
// calibration words.
void readConfigSpace14(Session& s, ChipContents& c) {
    sendIcsp(s, LOAD_CONFIGURATION, 0x3FFF);
    for (std::size_t i = 0; i < c.ids.size(); ++i) {
        int& id = c.ids[i];
        id = read(s, READ_DATA_PROGRAM) & 0xF;
        notBlankUnless(s, id == 0xF, idAddressOf(s.device) + static_cast<int>(i), id);
        increment(s);
    }
    increment(s);
    increment(s);
    c.deviceId = read(s, READ_DATA_PROGRAM);
    increment(s);
    c.config = read(s, READ_DATA_PROGRAM);
    notBlankUnless(s, configErased(s, c.config), configAddressOf(s.device), c.config);
    if (s.device.config2Mask == 0 && s.device.calibrationWords == 0) return;
    for (int i = 0; i < 2; ++i) {
        increment(s);
        const int word = read(s, READ_DATA_PROGRAM);
        const int address = kConfig2Address + i;
        if (address == kConfig2Address && s.device.config2Mask != 0) {
            c.config2 = word;
            const int mask = s.device.config2Mask;
            notBlankUnless(s, (word & mask) == mask, address, word);
        } else if (keepsCalibrationAt(s.device, address)) {
            c.calibration[static_cast<std::size_t>(i)] = word;
        }
    }
}

void storeChipValues(Session& s, const ChipContents& c) {
    s.chip.idValues = c.ids;
    s.chip.configWord = c.config;
    if (c.config2 >= 0) s.chip.config2Word = c.config2 & 0x3FFF;
}

}  // namespace

std::string protectedReadbackNote(const Session& s) {
    if (pic18Core(s.device)) {
        const int p = pic18Protection(s.device, s.chip.configBytes);
        if (p == 0) return {};
        return formatText(
            "The chip is code-protected (CONFIG5L %.2X, CONFIG5H %.2X): its %s "
            "reads as zeros.\nThe readback holds those zeros, not what the chip "
            "holds; the configuration bytes and the IDs are as read.",
            static_cast<unsigned>(s.chip.configBytes[8]),
            static_cast<unsigned>(s.chip.configBytes[9]),
            p == 3   ? "code and data memory"
            : p == 1 ? "code memory"
                     : "data memory");
    }
    const ProtectionBits bits = protectionBits(s.device);
    const int config = s.chip.configWord;
    auto protects = [config](int mask) { return mask != 0 && (config & mask) != mask; };
    const bool code = protects(bits.code);
    const bool data = protects(bits.data) && s.device.dataBytes > 0;
    if (!code && !data) return {};
    const char* memory = code && data ? "code and data memory"
                         : code       ? "code memory"
                                      : "data memory";
    return formatText(
        "The chip is code-protected (Config-Word %.4X): its %s reads as zeros.\n"
        "The readback holds those zeros, not what the chip holds; the configuration word and "
        "the IDs are as read.",
        static_cast<unsigned>(config), memory);
}

char hexDigitChar(int value) {
    value &= 0xF;
    return static_cast<char>(value < 10 ? '0' + value : 'A' + value - 10);
}

void showConfigWord(Session& s) {
    s.reporter->configWord(s.chip.configWord);
}

void blinkReading(Session& s) {
    const std::uint64_t now = s.ticks.nowNs();
    if (s.shown.blinkStarted && now - s.shown.lastBlinkNs <= 1'000'000'000u) return;
    const std::string shown = s.reporter->statusShown().substr(0, 9);
    s.reporter->status(shown.compare(0, 6, "readin") == 0 ? std::string(15, ' ') : "reading...");
    s.shown.blinkStarted = true;
    s.shown.lastBlinkNs = now;
}

namespace {

// The whole chip, once the socket is known not to be empty.
void readAnsweringChip(Session& s, ChipContents& c) {
    const bool twelveBit = algorithmOf(s.device).twelveBit;
    sendIcsp(s, ENTER_PGM, 0);
    if (twelveBit) increment(s);
    c.code.clear();
    for (int w = 0; w < s.device.codeWords; ++w) {
        blinkReading(s);
        if (w % 64 == 0 || w == s.device.codeWords - 1)
            s.reporter->progress({Stage::reading, false, w, w, s.device.codeWords});
        c.code.push_back(read(s, READ_DATA_PROGRAM));
        notBlankUnless(s, codeErased(s, w, c.code.back()), w, c.code.back());
        increment(s);
    }
    c.data.clear();
    if (twelveBit) {
        // The IDs follow the last code word; the configuration word is where
        // the chip stands after entering.
        for (std::size_t i = 0; i < c.ids.size(); ++i) {
            int& id = c.ids[i];
            id = read(s, READ_DATA_PROGRAM) & 0xF;
            notBlankUnless(s, id == 0xF, idAddressOf(s.device) + static_cast<int>(i), id);
            increment(s);
        }
        sendIcsp(s, ENTER_PGM, 0);
        c.config = read(s, READ_DATA_PROGRAM);
        notBlankUnless(s, configErased(s, c.config), configAddressOf(s.device), c.config);
        return;
    }
    readConfigSpace14(s, c);
    toDataMemory(s);
    for (int k = 0; k < s.device.dataBytes; ++k) {
        blinkReading(s);
        if (k % 64 == 0 || k == s.device.dataBytes - 1)
            s.reporter->progress({Stage::reading, true, k, k, s.device.dataBytes});
        c.data.push_back(read(s, READ_DATA_DATA) & 0xFF);
        notBlankUnless(s, c.data.back() == 0xFF, kDataWordBase + k, c.data.back());
        increment(s);
    }
}

// The INHX8M form: code in records of 8 words, the IDs, the configuration
// word (and the second one at byte 0x4010), the data bytes, the end record.
std::string hexText(const Session& s, const ChipContents& c) {
    const bool twelveBit = algorithmOf(s.device).twelveBit;
    std::string out;
    HexRecord code(0);
    const int words = static_cast<int>(c.code.size());
    for (int w = 0; w < words; ++w) {
        if (w % 8 == 0) code = HexRecord(2 * w);
        const int word = c.code[static_cast<std::size_t>(w)] & 0xFFFF;
        code.add(word & 0xFF);
        code.add(word >> 8);
        if (w % 8 == 7 || w == words - 1) out += code.text() + kCrLf;
    }
    // 12-bit chips keep their IDs right after the last code word.
    HexRecord ids(twelveBit ? 2 * s.device.codeWords : 0x4000);
    for (int id : c.ids) {
        ids.add(id);
        ids.add(0);
    }
    out += ids.text() + kCrLf;
    const int config = c.config & 0xFFFF;
    HexRecord configRecord(twelveBit ? 0x1FFE : 0x400E);
    configRecord.add(config & 0xFF);
    configRecord.add(config >> 8);
    out += configRecord.text() + kCrLf;
    if (c.config2 >= 0) {
        HexRecord config2(2 * kConfig2Address);
        config2.add(c.config2 & 0xFF);
        config2.add((c.config2 >> 8) & 0xFF);
        out += config2.text() + kCrLf;
    }
    const int bytes = static_cast<int>(c.data.size());
    HexRecord data(0);
    for (int k = 0; k < bytes; ++k) {
        if (k % 8 == 0) data = HexRecord(2 * (0x2100 + k));
        data.add(c.data[static_cast<std::size_t>(k)]);
        data.add(0);
        if (k % 8 == 7 || k == bytes - 1) out += data.text() + kCrLf;
    }
    return out + ":00000001FF";
}

void dataByteText(int a, int byte, std::string& out) {
    if (a % 8 == 0) {
        out += kCrLf;
        for (int shift = 12; shift >= 0; shift -= 4)
            out += hexDigitChar(a >> shift);
        out += ':';
    }
    out += ' ';
    out += hexDigitChar(byte >> 4);
    out += hexDigitChar(byte);
}

// The listing: code in lines of 8 words, IDs, device ID, configuration
// word(s), calibration words, data memory.
std::string listingText(const Session& s, const ChipContents& c) {
    const bool twelveBit = algorithmOf(s.device).twelveBit;
    std::string t = "FLASH-Memory:";
    t += kCrLf;
    for (std::size_t w = 0; w < c.code.size(); ++w) {
        if (w % 8 == 0) {
            t += kCrLf;
            t += hex("%.4X", static_cast<unsigned>(w));
            t += ':';
        }
        t += ' ';
        t += hex("%.4X", static_cast<unsigned>(c.code[w] & 0xFFFF));
    }
    t += kCrLf;
    t += kCrLf;
    for (int i = 0; i < 4; ++i) {
        t += "ID";
        t += hexDigitChar(i);
        t += ": ";
        t += hex("%.1X", static_cast<unsigned>(c.ids[static_cast<std::size_t>(i)]));
        t += kCrLf;
    }
    t += kCrLf;
    if (!twelveBit) {
        t += "Device-ID: ";
        t += hex("%.4X", static_cast<unsigned>(c.deviceId));
        t += kCrLf;
        t += kCrLf;
    }
    t += "Config-Word: ";
    t += hex("%.4X", static_cast<unsigned>(c.config));
    if (twelveBit) return t;
    if (c.config2 >= 0) {
        t += kCrLf;
        t += "Config-Word 2: ";
        t += hex("%.4X", static_cast<unsigned>(c.config2));
    }
    for (int i = 0; i < 2; ++i) {
        const int word = c.calibration[static_cast<std::size_t>(i)];
        if (word < 0) continue;
        t += kCrLf;
        t += "Calibration " + hex("%.4X", static_cast<unsigned>(kCalibrationWordBase + i)) + ": ";
        t += hex("%.4X", static_cast<unsigned>(word));
    }
    t += kCrLf;
    t += kCrLf;
    t += "EEPROM-Memory:";
    t += kCrLf;
    for (std::size_t k = 0; k < c.data.size(); ++k)
        dataByteText(0x2100 + static_cast<int>(k), c.data[k], t);
    return t;
}

// Reads the chip once and writes `name` in the form `format` gives.
int writeReadback(Session& s, const char* name,
                  std::string (*format)(const Session&, const ChipContents&)) {
    sendIcsp(s, ENTER_PGM, 0);
    if (noChipAnswers(s)) return 1;
    OutputFile out(s, name);
    if (!out.created()) return cannotCreate(s);
    ChipContents c;
    readAnsweringChip(s, c);
    // Words from a link that stopped reaching the chip are not the chip's.
    // The chip is let go first: with the lines idle the board must answer.
    sendIcsp(s, LEAVE_PGM, 0);
    if (linesLost(s)) return 1;
    storeChipValues(s, c);
    out.text = format(s, c);
    return finishFile(s, out);
}

// Whether a PIC18 chip read back whole is erased: code, IDs and EEPROM FF,
// configuration bytes at their erased values. The lowest byte that is not
// goes into `used` (its file address and value).
bool pic18Erased(const DeviceRecord& d, const Pic18Contents& c, std::pair<int, int>& used) {
    const auto firstUsed = [&used](const auto& bytes, int base) {
        for (const auto& [at, value] : bytes) {
            if (value == 0xFF) continue;
            used = {base + static_cast<int>(at), value};
            return false;
        }
        return true;
    };
    if (!firstUsed(c.bytes.code, 0)) return false;
    for (std::size_t k = 0; k < c.bytes.ids.size(); ++k) {
        if (c.bytes.ids[k].value_or(0xFF) == 0xFF) continue;
        used = {kPic18IdBase + static_cast<int>(k), *c.bytes.ids[k]};
        return false;
    }
    for (std::size_t k = 0; k < c.bytes.config.size(); ++k) {
        if (!c.bytes.config[k] || *c.bytes.config[k] == d.configBytes[k].blank) continue;
        used = {kPic18ConfigBase + static_cast<int>(k), *c.bytes.config[k]};
        return false;
    }
    return firstUsed(c.bytes.data, kPic18DataBase);
}

// A PIC18 chip read once into `name`: the INHX32 file or the listing.
int writeReadback18(Session& s, const char* name, bool listing) {
    OutputFile out(s, name);
    if (!out.created()) return cannotCreate(s);
    Pic18Contents c;
    c.deviceId = s.pass.deviceIdRead;  // as the link check read it
    if (pic18Read(s, c.bytes, s.device.dataBytes > 0) != 0) return 1;
    if (std::pair<int, int> used; !pic18Erased(s.device, c, used))
        notBlankUnless(s, false, used.first, used.second);
    for (std::size_t k = 0; k < c.bytes.config.size(); ++k)
        s.chip.configBytes[k] = c.bytes.config[k].value_or(0);
    out.text = listing ? pic18ListingText(s.device, c) : pic18HexText(c);
    return finishFile(s, out);
}

}  // namespace

int readChipContents(Session& s, ChipContents& c) {
    sendIcsp(s, ENTER_PGM, 0);
    if (noChipAnswers(s)) return 1;
    readAnsweringChip(s, c);
    return 0;
}

int writeReadbackHex(Session& s) {
    if (pic18Core(s.device)) return writeReadback18(s, "readback.hex", false);
    return writeReadback(s, "readback.hex", hexText);
}

int writeReadbackText(Session& s) {
    if (pic18Core(s.device)) return writeReadback18(s, "readback.txt", true);
    return writeReadback(s, "readback.txt", listingText);
}

int writeDataByteText(Session& s, int a, std::string& out) {
    const int byte = read(s, READ_DATA_DATA) & 0xFF;
    dataByteText(a, byte, out);
    return byte;
}

}  // namespace ferrolux
