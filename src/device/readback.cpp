#include "device/readback.h"

#include <cstdio>
#include <filesystem>

#include "device/family.h"
#include "files/text_file.h"
#include "link/icsp.h"
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

// One Intel HEX data record: count, address, type 00, bytes, checksum.
class Record {
  public:
    explicit Record(int byteAddress) : address_(byteAddress) {}
    void add(int byte) { bytes_.push_back(static_cast<unsigned char>(byte)); }
    bool empty() const { return bytes_.empty(); }
    std::string text() const {
        unsigned sum = static_cast<unsigned>(bytes_.size()) + (address_ >> 8) + (address_ & 0xFF);
        std::string line = ":";
        line += hex("%.2X", static_cast<unsigned>(bytes_.size()));
        line += hex("%.4X", static_cast<unsigned>(address_));
        line += "00";
        for (unsigned char b : bytes_) {
            line += hex("%.2X", b);
            sum += b;
        }
        return line + hex("%.2X", (0x100 - (sum & 0xFF)) & 0xFF);
    }

  private:
    unsigned address_;
    std::string bytes_;
};

// The output file: written under a fresh temporary name in its folder and
// renamed over the old one when complete, so a failed write never leaves a
// half file where the finished one belongs.
class OutputFile {
  public:
    OutputFile(const Session& s, const char* name)
        : file_((s.outputDir.empty() ? std::filesystem::path(".") : s.outputDir) / name) {}

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

// After entering programming mode a 12-bit chip stands at its configuration
// word, which never reads as 14 bits of ones: that is an empty socket.
bool noChipAnswers(Session& s) {
    if (!algorithmOf(s.device).twelveBit || read(s, READ_DATA_PROGRAM) != 0x3FFF) return false;
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
// with bandgap bits keep them in 13:12 and read 11:9 as 0; the 16F87x read bit 10 as 0.
bool configErased(const Session& s, int config) {
    const Family& f = algorithmOf(s.device);
    if (f.twelveBit) return (config & 0xFFF) == 0xFFF;
    int mask = f.keepsBandgapBits ? 0x01FF : 0x3FFF;
    if (s.device.name.compare(0, 8, "PIC16F87") == 0) mask &= ~0x400;
    return (config & mask) == mask;
}

// The 12-bit core has no Load Configuration: after the code memory it
// already stands at its first ID location.
void toIdLocations(Session& s) {
    if (!algorithmOf(s.device).twelveBit) sendIcsp(s, LOAD_CONFIGURATION, 0x3FFF);
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

void toConfigWord(Session& s) {
    sendIcsp(s, LOAD_CONFIGURATION, 0x3FFF);
    for (int i = 0; i < 7; ++i)
        increment(s);
}

}  // namespace

char hexDigitChar(int value) {
    value &= 0xF;
    return static_cast<char>(value < 10 ? '0' + value : 'A' + value - 10);
}

void showConfigWord(Session& s) {
    s.reporter->configWord(s.configWord);
}

void blinkReading(Session& s) {
    const std::uint64_t now = s.ticks.nowNs();
    if (s.blinkStarted && now - s.lastBlinkNs <= 1'000'000'000u) return;
    const std::string shown = s.reporter->statusShown().substr(0, 9);
    s.reporter->status(shown.compare(0, 6, "readin") == 0 ? std::string(15, ' ') : "reading...");
    s.blinkStarted = true;
    s.lastBlinkNs = now;
}

int writeReadbackHex(Session& s) {
    const bool twelveBit = algorithmOf(s.device).twelveBit;
    sendIcsp(s, ENTER_PGM, 0);
    if (noChipAnswers(s)) return 1;
    OutputFile out(s, "readback.hex");
    if (!out.created()) return cannotCreate(s);
    sendIcsp(s, ENTER_PGM, 0);
    if (twelveBit) increment(s);

    Record code(0);
    for (int w = 0; w < s.device.codeWords; ++w) {
        blinkReading(s);
        if (w % 8 == 0) code = Record(2 * w);
        const int word = read(s, READ_DATA_PROGRAM) & 0xFFFF;
        code.add(word & 0xFF);
        code.add(word >> 8);
        if (w % 8 == 7 || w == s.device.codeWords - 1) out.text += code.text() + kCrLf;
        if (!codeErased(s, w, word)) s.blank = false;
        increment(s);
    }

    toIdLocations(s);
    // 12-bit chips keep their IDs right after the last code word.
    Record ids(twelveBit ? 2 * s.device.codeWords : 0x4000);
    for (int i = 0; i < 4; ++i) {
        const int id = read(s, READ_DATA_PROGRAM) & 0xF;
        ids.add(id);
        ids.add(0);
        s.idValues[i] = id;
        increment(s);
    }
    out.text += ids.text() + kCrLf;

    int config = 0;
    if (twelveBit) {
        sendIcsp(s, ENTER_PGM, 0);
        config = read(s, READ_DATA_PROGRAM);
        if (!configErased(s, config)) s.blank = false;
    } else {
        toConfigWord(s);
        config = read(s, READ_DATA_PROGRAM) & 0xFFFF;
        if (!configErased(s, config)) s.blank = false;
    }
    Record configRecord(twelveBit ? 0x1FFE : 0x400E);
    configRecord.add(config & 0xFF);
    configRecord.add(config >> 8);
    out.text += configRecord.text() + kCrLf;
    s.configWord = config;

    if (!twelveBit) {
        toDataMemory(s);
        Record data(0);
        for (int k = 0; k < s.device.dataBytes; ++k) {
            const int a = 0x2100 + k;
            blinkReading(s);
            if (k % 8 == 0) data = Record(2 * a);
            const int byte = read(s, READ_DATA_DATA) & 0xFF;
            data.add(byte);
            data.add(0);
            if (k % 8 == 7 || k == s.device.dataBytes - 1) out.text += data.text() + kCrLf;
            if (byte != 0xFF) s.blank = false;
            increment(s);
        }
    }
    out.text += ":00000001FF";
    return finishFile(s, out);
}

int writeDataByteText(Session& s, int a, std::string& out) {
    const int byte = read(s, READ_DATA_DATA) & 0xFF;
    if (a % 8 == 0) {
        out += kCrLf;
        for (int shift = 12; shift >= 0; shift -= 4)
            out += hexDigitChar(a >> shift);
        out += ':';
    }
    out += ' ';
    out += hexDigitChar(byte >> 4);
    out += hexDigitChar(byte);
    return byte;
}

int writeReadbackText(Session& s) {
    const bool twelveBit = algorithmOf(s.device).twelveBit;
    sendIcsp(s, ENTER_PGM, 0);
    if (noChipAnswers(s)) return 1;
    OutputFile out(s, "readback.txt");
    if (!out.created()) return cannotCreate(s);
    std::string& t = out.text;
    sendIcsp(s, ENTER_PGM, 0);
    t += "FLASH-Memory:";
    t += kCrLf;
    if (twelveBit) increment(s);

    for (int w = 0; w < s.device.codeWords; ++w) {
        const int word = read(s, READ_DATA_PROGRAM) & 0xFFFF;
        if (w % 8 == 0) {
            t += kCrLf;
            t += hex("%.4X", static_cast<unsigned>(w));
            t += ':';
        }
        t += ' ';
        t += hex("%.4X", static_cast<unsigned>(word));
        if (!codeErased(s, w, word)) s.blank = false;
        increment(s);
        blinkReading(s);
    }
    t += kCrLf;
    t += kCrLf;
    toIdLocations(s);
    for (int i = 0; i < 4; ++i) {
        t += "ID";
        t += hexDigitChar(i);
        t += ": ";
        const int id = read(s, READ_DATA_PROGRAM) & 0xF;
        t += hex("%.1X", static_cast<unsigned>(id));
        s.idValues[i] = id;
        t += kCrLf;
        increment(s);
    }
    t += kCrLf;
    if (!twelveBit) {
        increment(s);
        increment(s);
        t += "Device-ID: ";
        t += hex("%.4X", static_cast<unsigned>(read(s, READ_DATA_PROGRAM)));
        t += kCrLf;
        t += kCrLf;
    }
    t += "Config-Word: ";
    if (twelveBit) {
        sendIcsp(s, ENTER_PGM, 0);
        const int config = read(s, READ_DATA_PROGRAM);
        if (!configErased(s, config)) s.blank = false;
        t += hex("%.4X", static_cast<unsigned>(config));
        s.configWord = config;
        return finishFile(s, out);
    }
    toConfigWord(s);
    const int config = read(s, READ_DATA_PROGRAM);
    if (!configErased(s, config)) s.blank = false;
    t += hex("%.4X", static_cast<unsigned>(config));
    s.configWord = config;
    t += kCrLf;
    t += kCrLf;
    t += "EEPROM-Memory:";
    t += kCrLf;
    toDataMemory(s);
    for (int k = 0; k < s.device.dataBytes; ++k) {
        const int a = 0x2100 + k;
        blinkReading(s);
        if (writeDataByteText(s, a, t) != 0xFF) s.blank = false;
        increment(s);
    }
    return finishFile(s, out);
}

}  // namespace ferrolux
