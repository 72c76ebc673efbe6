#include "device/hex_walk.h"

#include <string>

#include "files/hex_input.h"
#include "link/icsp.h"
#include "session/messages.h"
#include "session/session.h"

namespace ferrolux {

namespace {

int formatError(Session& s, int shown) {
    s.shown.statusText = formatText("Format? %04X\n", static_cast<unsigned>(shown & 0xFFFF));
    showProgress(s);
    s.message = "Wrong File \n";
    return 1;
}

int notARecord(Session& s, int lineNumber) {
    s.shown.statusText = "Expected ':'\n";
    showProgress(s);
    return formatError(s, lineNumber);
}

void advanceTo(Session& s, const HexPass& pass, int target) {
    while (s.pass.positionCounter < target) {
        if (pass.beforeIncrement) pass.beforeIncrement();
        sendIcsp(s, INCREMENT_ADDRESS, 0);
        ++s.pass.positionCounter;
    }
}

int finish(const HexPass& pass, int beyondAddress) {
    if (pass.endStep) pass.endStep(beyondAddress);
    return 0;
}

}  // namespace

int walkHexFile(Session& s, const HexPass& pass) {
    TextFile file(s.file.hexPath, "rb");
    if (!file) {
        s.message = "Cannot open input file.\n";
        return 1;
    }
    sendIcsp(s, ENTER_PGM, 0);
    if (pass.position) pass.position();
    s.pass.positionCounter = pass.start;

    std::string line;
    int lineNumber = 0;
    while (true) {
        ++lineNumber;
        const HexLine kind = readHexLine(file, line);
        if (kind == HexLine::endOfData) return finish(pass, -1);
        if (kind != HexLine::record) return notARecord(s, lineNumber);

        const int count = hexField(line, 1, 2);
        const int address = hexField(line, 3, 4);
        const int type = hexField(line, 7, 2);
        if (count < 0 || address < 0 || type < 0) return formatError(s, lineNumber);
        if (pass.typeTest && type != 0) continue;
        if (count == 0) return finish(pass, -1);

        const int wordAddress = address / 2;
        const int words = count / 2;
        if (wordAddress < pass.skipBelow) continue;
        if (wordAddress > pass.endAbove) return finish(pass, wordAddress);
        // The chip cannot go back: an out-of-order or overlapping record would
        // land at the wrong address.
        if (wordAddress < s.pass.positionCounter) return formatError(s, address);
        // A record shorter than its count would supply garbage words.
        if (line.size() < 9 + 4 * static_cast<std::size_t>(words)) return formatError(s, address);

        if (pass.atRecord) pass.atRecord(wordAddress);
        for (int i = 0; i < words; ++i) {
            const std::size_t at = 9 + 4 * static_cast<std::size_t>(i);
            const int low = hexField(line, at, 2);
            const int high = hexField(line, at + 2, 2);
            if (low < 0 || high < 0) return formatError(s, address);
            s.pass.targetAddress = wordAddress + i;
            advanceTo(s, pass, s.pass.targetAddress);
            s.pass.fileWord = high * 256 + low;
            if (pass.perWord() != 0) return 1;
        }
        if (pass.firstRecordOnly) return finish(pass, -1);
    }
}

}  // namespace ferrolux
