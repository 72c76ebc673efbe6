#include "device/passes.h"

#include <climits>
#include <functional>
#include <iterator>
#include <vector>

#include "device/family.h"
#include "device/hex_walk.h"
#include "device/program_word.h"
#include "files/hex_image.h"
#include "link/delays.h"
#include "link/icsp.h"
#include "session/messages.h"
#include "session/session.h"

namespace ferrolux {

namespace {

constexpr int kCodeEnd = 0x1FFF;
constexpr int kIdStart = 0x2000;
constexpr int kIdEnd = 0x2003;
constexpr int kDataSkipBelow = 0x2010;
constexpr int kDataStart = 0x2100;
constexpr int END_PROGRAMMING_ROW = 23;
constexpr int kBlankWord = 0x3FFF;
// Reads a verify sends in one go.
constexpr std::size_t kReadBatch = 32;

// ID words keep bits 0 to 6 from the file; bits 7 to 13 are written as 1.
int idWord(int address, int value) {
    return address >= kIdStart && address <= kIdEnd ? value | 0x3F80 : value;
}

// Shows `format` with the address and reports how far the pass has come.
void shown(Session& s, const char* format, PassMode mode, int address, bool data, int done,
           int total) {
    showAddress(s, format, address);
    const Stage stage = mode == PassMode::verify ? Stage::verifying : Stage::writing;
    s.reporter->progress({stage, data, address, done, total});
}

// Every 16th address is shown, and the first and last word of the pass.
bool showsAt(int address, int done, int total) {
    return address % 16 == 0 || done == 0 || done == total - 1;
}

void toIdLocations(Session& s) {
    sendIcsp(s, LOAD_CONFIGURATION, 0x3FFF);
}

// Program cycles until the low 12 bits read back (EPROM up to 10, flash
// one); the number of cycles applied, or 0 when none matched.
int program12BitAttempts(Session& s, PassWord& w) {
    for (int pulses = 1; pulses <= cycles12Bit(s, 10); ++pulses) {
        if (programOnce12Bit(s, w.value, w.read)) return pulses;
    }
    return 0;
}

// The chip's factory calibration (a MOVLW in its last code word) stays: a
// file word there is neither written nor compared, and the user is told once
// per pass. A chip that has lost its calibration takes the file's word.
bool keepsCalibration(Session& s, const PassWord& w, bool& told) {
    if (!s.device.calibration || w.address != s.device.codeWords - 1) return false;
    if ((w.read & 0xF00) != 0xC00) return false;
    if ((w.read & 0xFFF) != (w.value & 0xFFF) && (w.value & 0xFFF) != 0xFFF && !told) {
        told = true;
        s.reporter->message(
            formatText("The file holds %04X at %04X, where the chip keeps its calibration "
                       "word %04X.\nThe chip keeps its calibration; the file's word is skipped.",
                       static_cast<unsigned>(w.value), static_cast<unsigned>(w.address),
                       static_cast<unsigned>(w.read & 0xFFF)),
            "Warning!");
    }
    return true;
}

}  // namespace

namespace {

// Progress every 16th address (every word with `everyWord`), first and last.
std::function<void(int, int, int)> progressOf(Session& s, const char* format, PassMode mode,
                                              bool data, bool everyWord = false) {
    return [&s, format, mode, data, everyWord](int address, int done, int total) {
        if (everyWord || showsAt(address, done, total))
            shown(s, format, mode, address, data, done, total);
    };
}

// Compares the words of the reads queued on `stream` with `queued`, in
// order: kPassMismatch with the message at the first that differs.
int compareReads(Session& s, IcspStream& stream, std::vector<PassWord>& queued) {
    const std::vector<int>& words = stream.collect();
    for (std::size_t i = 0; i < queued.size(); ++i) {
        PassWord& w = queued[i];
        w.read = words[i];
        if (w.read != w.value) {
            setVerifyError(s, w, false);
            return kPassMismatch;
        }
    }
    queued.clear();
    return 0;
}

}  // namespace

int programCodeByWord(Session& s, const ChipImage& image, PassMode mode, bool erased) {
    IcspStream stream(s);
    // A verify's reads go out in batches; the first word that differs ends it.
    std::vector<PassWord> queued;
    queued.reserve(kReadBatch);
    auto compareQueued = [&s, &stream, &queued] { return compareReads(s, stream, queued); };
    HexPass pass;
    pass.endAbove = kCodeEnd;
    pass.progress = progressOf(s, "Contr-Adr: %04X\n", mode, false);
    pass.perWord = [&s, &stream, &queued, &compareQueued, mode, erased](int address, int value) {
        PassWord w{address, value, 0};
        if (mode == PassMode::verify) {
            stream.queueRead(READ_DATA_PROGRAM);
            queued.push_back(w);
            return queued.size() < kReadBatch ? 0 : compareQueued();
        }
        // An erased chip holds the blank word everywhere: only a word that
        // is to stay blank needs a look first.
        if (!erased || value == kBlankWord) {
            w.read = sendIcsp(s, READ_DATA_PROGRAM, 0);
            if (w.read == w.value) return 0;
        }
        if (programWord(s, w) != 0) {
            setWriteError(s, w, false);
            return kPassFailed;
        }
        return 0;
    };
    const int r = walkImage(s, image, pass);
    return r != 0 ? r : compareQueued();
}

int writeCodeRows(Session& s, const ChipImage& image, int rowSize) {
    bool pending = false;
    const bool rowsOfEight = rowSize == 8;
    int position = 0;
    auto commit = [&s, rowsOfEight] {
        if (rowsOfEight) {
            sendIcsp(s, PROGRAM_COMMAND, 0);
        } else {
            sendIcsp(s, BEGIN_PROGRAMMING_ONLY, 0);
            sendIcsp(s, END_PROGRAMMING_ROW, 0);
        }
    };
    HexPass pass;
    pass.endAbove = kCodeEnd;
    pass.progress = progressOf(s, "Contr-Addr: %04X\n", PassMode::write, false);
    pass.beforeIncrement = [&] {
        const bool rowEnds = (position & (rowSize - 1)) == rowSize - 1;
        ++position;
        if (!pending || !rowEnds) return;
        commit();
        pending = false;
    };
    pass.perWord = [&](int, int value) {
        sendIcsp(s, LOAD_DATA_PROGRAM, value & 0x3FFF);
        pending = true;
        return 0;
    };
    pass.endStep = [&](int beyondAddress) {
        if (!pending) return;
        if (!rowsOfEight && beyondAddress >= 0) {
            sendIcsp(s, BEGIN_PROGRAMMING_ONLY, 0);
            showAddress(s, "Contr-Addr: %04X\n", beyondAddress);
            sendIcsp(s, END_PROGRAMMING_ROW, 0);
        } else {
            commit();
        }
        pending = false;
    };
    return walkImage(s, image, pass);
}

int writeRowsReadBack(Session& s, const ChipImage& image, int rowSize, bool erased) {
    const auto first = image.words.begin();
    const auto beyond = image.words.upper_bound(kCodeEnd);
    IcspStream stream(s);
    sendIcsp(s, ENTER_PGM, 0);
    if (first == beyond) return 0;
    const int total = static_cast<int>(std::distance(first, beyond));
    const auto progress = progressOf(s, "Contr-Addr: %04X\n", PassMode::write, false);
    // The row after `row` that holds words of the image; none: INT_MAX.
    auto rowAfter = [&image, beyond, rowSize](int row) {
        const auto it = image.words.lower_bound((row + 1) * rowSize);
        return it == beyond ? INT_MAX : it->first / rowSize;
    };
    auto latchWord = [&image](int address) {
        const auto it = image.words.find(address);
        return it == image.words.end() ? kBlankWord : it->second & kBlankWord;
    };
    auto load = [&s, &latchWord](int address) {
        sendIcsp(s, LOAD_DATA_PROGRAM, latchWord(address));
    };
    // An erased row only takes its words; otherwise the cycle erases it
    // first. Latches beside rows take the chip's own cycle.
    const Family& f = algorithmOf(s.device);
    auto programRow = [&s, &f, erased] {
        if (f.rowWords == 0) {
            f.commitWord(s);
        } else if (erased) {
            sendIcsp(s, BEGIN_PROGRAMMING_ONLY, 0);
            sendIcsp(s, END_PROGRAMMING_ROW, 0);
        } else {
            sendIcsp(s, PROGRAM_COMMAND, 0);
        }
    };
    std::vector<PassWord> queued;
    queued.reserve(static_cast<std::size_t>(rowSize));
    auto compareQueued = [&s, &stream, &queued] { return compareReads(s, stream, queued); };

    int pc = 0;
    int readRow = -1;  // the row programmed last, read back as the address passes it
    int loadRow = first->first / rowSize;
    if (loadRow == 0) {
        // No row before the first: loaded in place, then read from address 0 again.
        for (int slot = 0; slot < rowSize; ++slot) {
            if (slot > 0) sendIcsp(s, INCREMENT_ADDRESS, 0);
            load(slot);
        }
        programRow();
        sendIcsp(s, ENTER_PGM, 0);
        readRow = 0;
        loadRow = rowAfter(0);
    }
    int done = 0;
    for (;;) {
        const int row = pc / rowSize;
        if (pc % rowSize == 0 && row == loadRow) {
            // Nothing is programmed after a row that did not read back.
            if (const int r = compareQueued(); r != 0) return r;
            programRow();
            readRow = loadRow;
            loadRow = rowAfter(loadRow);
        }
        if (row != readRow && loadRow == INT_MAX) break;
        if (row == readRow) {
            if (const auto it = image.words.find(pc); it != image.words.end()) {
                progress(pc, done++, total);
                stream.queueRead(READ_DATA_PROGRAM);
                queued.push_back({pc, it->second, 0});
            }
        }
        if (row + 1 == loadRow) load(pc + rowSize);
        sendIcsp(s, INCREMENT_ADDRESS, 0);
        ++pc;
    }
    return compareQueued();
}

int programCode12Bit(Session& s, const ChipImage& image, PassMode mode) {
    HexPass pass;
    // From the configuration word to address 0.
    pass.position = [&s] { sendIcsp(s, INCREMENT_ADDRESS, 0); };
    // Code, then the four ID words that follow it, as the file gives them.
    pass.endAbove = s.device.codeWords + 3;
    pass.progress = progressOf(s, "Contr-Adr: %04X\n", mode, false, true);
    bool told = false;
    pass.perWord = [&s, &told, mode](int address, int value) {
        PassWord w{address, value, sendIcsp(s, READ_DATA_PROGRAM, 0)};
        if (keepsCalibration(s, w, told)) return 0;
        // ID words carry a nibble each; the readback keeps only that much of them.
        const int mask = w.address >= s.device.codeWords ? 0xF : 0xFFF;
        if ((w.read & mask) == (w.value & mask)) return 0;
        if (mode == PassMode::verify) {
            setVerifyError(s, w, false);
            return kPassMismatch;
        }
        const int pulses = program12BitAttempts(s, w);
        if (pulses == 0) {
            setWriteError(s, w, false);
            return kPassFailed;
        }
        overprogram12Bit(s, w.value, pulses, 10);
        w.read = sendIcsp(s, READ_DATA_PROGRAM, 0);
        if (w.read != w.value) {
            setWriteError(s, w, false);
            return kPassFailed;
        }
        return 0;
    };
    return walkImage(s, image, pass);
}

int blankCheck12Bit(Session& s) {
    sendIcsp(s, ENTER_PGM, 0);
    // Starts at the configuration word (blank in the bits the chip
    // implements), so the last code word is not read.
    const int configMask = configMaskOf(s.device) & 0xFFF;
    // The first word that is not erased is kept for the user: the
    // configuration word at its file address, code word i - 1 after it.
    const auto used = [&s](int address, int word) {
        s.pass.usedAddress = address;
        s.pass.usedValue = word;
        return 1;
    };
    for (int i = 0; i < s.device.codeWords; ++i) {
        const int mask = i == 0 ? configMask : 0xFFF;
        const int word = sendIcsp(s, READ_DATA_PROGRAM, 0) & 0xFFF;
        if ((word & mask) != mask) return used(i == 0 ? configAddressOf(s.device) : i - 1, word);
        sendIcsp(s, INCREMENT_ADDRESS, 0);
    }
    // Past the calibration word: the four IDs.
    for (int i = 0; i < 4; ++i) {
        sendIcsp(s, INCREMENT_ADDRESS, 0);
        const int word = sendIcsp(s, READ_DATA_PROGRAM, 0) & 0xFFF;
        if (word != 0xFFF) return used(idAddressOf(s.device) + i, word);
    }
    return 0;
}

int programIdWords(Session& s, const ChipImage& image) {
    HexPass pass;
    pass.start = kIdStart;
    pass.position = [&s] { toIdLocations(s); };
    pass.skipBelow = kIdStart;
    pass.endAbove = kIdEnd;
    pass.progress = progressOf(s, "Contr-Adr: %04X\n", PassMode::write, false);
    pass.perWord = [&s](int address, int value) {
        PassWord w{address, idWord(address, value), sendIcsp(s, READ_DATA_PROGRAM, 0)};
        if (w.read != w.value && programWord(s, w) != 0) {
            setWriteError(s, w, false);
            return kPassFailed;
        }
        return 0;
    };
    return walkImage(s, image, pass);
}

int writeIdRow(Session& s, const ChipImage& image, int family) {
    const Family* rows = findFamily(family);
    const bool timed = rows && rows->externallyTimed;
    bool loaded = false;
    HexPass pass;
    pass.start = kIdStart;
    pass.position = [&s] { toIdLocations(s); };
    pass.skipBelow = kIdStart;
    pass.endAbove = kIdEnd;
    pass.firstRunOnly = true;
    pass.atRun = [&s, timed](int) {
        if (!timed) return;
        sendIcsp(s, PROGRAM_COMMAND, 0);
        waitMs(s, 10);
        sendIcsp(s, END_PROGRAMMING_ROW, 0);
    };
    pass.perWord = [&](int address, int value) {
        sendIcsp(s, LOAD_DATA_PROGRAM, idWord(address, value));
        loaded = true;
        return 0;
    };
    pass.endStep = [&](int) {
        if (!loaded) return;
        if (!timed) {
            sendIcsp(s, PROGRAM_COMMAND, 0);
        } else {
            sendIcsp(s, BEGIN_PROGRAMMING_ONLY, 0);
            sendIcsp(s, END_PROGRAMMING_ROW, 0);
        }
    };
    return walkImage(s, image, pass);
}

int programDataMemory(Session& s, const ChipImage& image, PassMode mode, bool erased) {
    IcspStream stream(s);
    HexPass pass;
    pass.skipBelow = kDataSkipBelow;
    const DataWalk walk = algorithmOf(s.device).dataWalk;
    pass.start = walk == DataWalk::fromIds ? kIdStart : kDataStart;
    pass.position = [&s, walk] {
        toIdLocations(s);
        if (walk == DataWalk::ownCounter) {
            sendIcsp(s, ENTER_PGM, 0);
        } else if (walk == DataWalk::pastConfigSpace) {
            sendIcsp(s, ENTER_PGM, 0);
            toIdLocations(s);
            for (int i = 0; i < 256; ++i)
                sendIcsp(s, INCREMENT_ADDRESS, 0);
        }
    };
    pass.progress = progressOf(s, "Contr-Adr: %04X\n", mode, true);
    pass.perWord = [&s, mode, erased](int address, int value) {
        PassWord w{address, value & 0xFF, -1};
        // An erased chip's bytes read FF: a byte to be written needs no look first.
        if (mode == PassMode::verify || !erased || w.value == 0xFF)
            w.read = sendIcsp(s, READ_DATA_DATA, 0) & 0xFF;
        if (w.read != w.value && mode == PassMode::write && programWord(s, w) != 0) {
            setWriteError(s, w, true);
            return kPassFailed;
        }
        if (w.read != w.value) {
            setVerifyError(s, w, true);
            return kPassMismatch;
        }
        return 0;
    };
    return walkImage(s, image, pass);
}

int writeCodeMemory(Session& s, const ChipImage& image, bool erasedFirst) {
    const Family& f = algorithmOf(s.device);
    int r = 0;
    if (f.twelveBit) {
        // A chip erased just now is blank but for its calibration.
        if (!(erasedFirst && f.flash12Bit()) && blankCheck12Bit(s) != 0 &&
            !s.reporter->ask("PIC not blank, continue?", "Warning!")) {
            return kPassDeclined;
        }
        r = programCode12Bit(s, image, PassMode::write);
    } else {
        // Word by word or row by row, each read back as it is written; or
        // rows of a chip that times its own erase, then a pass that compares.
        // Latches beside rows only take a chip just erased.
        const int row = writeRowOf(s.device);
        if (row > 0 && (erasedFirst || (f.rowWords > 0 && !f.externallyTimed))) {
            r = writeRowsReadBack(s, image, row, erasedFirst);
        } else if (f.rowWords > 0) {
            r = writeCodeRows(s, image, f.rowWords);
            if (r == 0) r = programCodeByWord(s, image, PassMode::verify);
        } else {
            r = programCodeByWord(s, image, PassMode::write, erasedFirst);
        }
    }
    if (r != 0) return r;
    if (f.idsInOneRow) return writeIdRow(s, image, s.device.family);
    if (!f.twelveBit) return programIdWords(s, image);
    return 0;
}

}  // namespace ferrolux
