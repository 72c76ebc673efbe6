#include "device/hex_walk.h"

#include <iterator>

#include "files/hex_image.h"
#include "link/icsp.h"
#include "session/session.h"

namespace ferrolux {

int walkImage(Session& s, const ChipImage& image, const HexPass& pass) {
    sendIcsp(s, ENTER_PGM, 0);
    if (pass.position) pass.position();
    int position = pass.start;

    const auto first = image.words.lower_bound(pass.skipBelow);
    const auto beyond =
        pass.endAbove == INT_MAX ? image.words.end() : image.words.upper_bound(pass.endAbove);
    const int total = static_cast<int>(std::distance(first, beyond));
    int done = 0;
    int previous = -2;
    for (auto it = first; it != beyond; ++it, ++done) {
        const int address = it->first;
        if (address != previous + 1) {
            if (pass.firstRunOnly && previous >= 0) break;
            if (pass.atRun) pass.atRun(address);
        }
        previous = address;
        while (position < address) {
            if (pass.beforeIncrement) pass.beforeIncrement();
            sendIcsp(s, INCREMENT_ADDRESS, 0);
            ++position;
        }
        if (pass.progress) pass.progress(address, done, total);
        if (const int r = pass.perWord(address, it->second); r != 0) return r;
    }
    if (pass.endStep) pass.endStep(beyond == image.words.end() ? -1 : beyond->first);
    return 0;
}

}  // namespace ferrolux
