#include "device/pic18/operation.h"

#include <algorithm>
#include <span>

#include "device/passes.h"
#include "device/pic18/algorithm.h"
#include "device/pic18/steps.h"
#include "link/icsp18.h"
#include "session/messages.h"
#include "session/session.h"

namespace ferrolux {

const Pic18Algorithm* algorithmFor(Session& s) {
    const Pic18Algorithm* a = pic18AlgorithmOf(s.device);
    if (a == nullptr) {
        s.message = formatText("The selected chip (family %d) is no PIC18.\n", s.device.family);
    }
    return a;
}

void beginOperation(Session& s) {
    (void)icsp18Enter(s);
}

int endOperation(Session& s, int result) {
    (void)icsp18Leave(s);
    if (!s.stopped) return result;
    s.message = "Stopped: programming mode was left.\n";
    return kPassFailed;
}

int mismatchAt(Session& s, int address, int file, int read) {
    s.pass.targetAddress = address;
    s.pass.fileWord = file;
    s.pass.readBack = read;
    s.message = formatText("Verify failed at Adr: %06X\n\nFile:    %02X\nRead: %02X\n",
                           static_cast<unsigned>(address), static_cast<unsigned>(file),
                           static_cast<unsigned>(read));
    return kPassMismatch;
}

void reportProgress(Session& s, Stage stage, bool data, int address, int done, int total) {
    s.reporter->progress({stage, data, address, done, total});
}

std::vector<std::uint8_t> readRegion(Session& s, int address, int size, Stage stage) {
    constexpr int kChunk = 256;
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(std::max(size, 0)));
    setTablePointer(s, address);
    for (int at = 0; at < size; at += kChunk) {
        reportProgress(s, stage, false, address + at, at, size);
        const int n = std::min(kChunk, size - at);
        const std::span<std::uint8_t> chunk(bytes.data() + at, static_cast<std::size_t>(n));
        if (icsp18ReadBytes(s, kTableReadPostIncrement, chunk) != 0) return {};
    }
    // The last byte read: a region smaller than a chunk ends at 100 % too.
    if (size > 0) reportProgress(s, stage, false, address + size - 1, size - 1, size);
    return bytes;
}

}  // namespace ferrolux
