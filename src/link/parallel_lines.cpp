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

}  // namespace ferrolux
