#include "link/parallel_lines.h"

#include "session/session.h"

namespace ferrolux {

namespace {

platform::ParallelPort* activePort(Session& s) {
    return s.port.directIo ? s.port.directPort : s.port.driverLibrary;
}

// The port driver is missing or broken: tell the user once and close the
// window; the command in progress runs on without reaching the port.
void driverFailure(Session& s) {
    if (s.port.driverFailed) return;
    s.port.driverFailed = true;
    s.reporter->message("Error during driver access!", "Error");
    s.reporter->closeProgram(1);
}

}  // namespace

void parallelWrite(Session& s, std::uint8_t value) {
    if (s.link.adapter == '3') value = static_cast<std::uint8_t>(~value);
    platform::ParallelPort* port = activePort(s);
    if (s.port.driverFailed || !port || !port->writeData(s.link.parallelBase, value)) {
        driverFailure(s);
    }
}

std::uint16_t parallelRead(Session& s) {
    platform::ParallelPort* port = activePort(s);
    std::uint16_t word = 0;
    if (s.port.driverFailed || !port || !port->readWord(s.link.parallelBase, word)) {
        driverFailure(s);
        return s.port.lastParallelWord;
    }
    if (s.link.adapter == '3') word = static_cast<std::uint16_t>(~word);
    s.port.lastParallelWord = word;
    return word;
}

std::uint8_t p16Route(char vppLine, std::uint8_t image) {
    if (vppLine == '3') return static_cast<std::uint8_t>(image | 0x10);
    if (image & 0x08) return static_cast<std::uint8_t>(image | 0x18);
    return static_cast<std::uint8_t>((image & ~0x10) | 0x08);
}

void p16Put(Session& s, std::uint8_t image) {
    s.port.p16Image = image;
    parallelWrite(s, p16Route(s.link.vppLine, image));
}

}  // namespace ferrolux
