#include "link/detect.h"

#include <cstdint>
#include <string>

#include "link/delays.h"
#include "link/icsp.h"
#include "link/line_driver.h"
#include "link/parallel_lines.h"
#include "link/serial_lines.h"
#include "platform/ftdi_serial_port.h"
#include "session/session.h"

namespace ferrolux {

namespace {

constexpr std::uint16_t kDataInBit = 0x4000;

bool breakAndRing(Session& s, platform::LineCode code) {
    if (s.port.comOpen()) (void)s.port.comHandle->escape(code);
    waitMs(s, 50);
    return (readModemStatus(s) & platform::kModemRing) != 0;
}

// Writes `value` unrouted, waits for the adapter to settle and reads ACK.
bool writeAndSense(Session& s, std::uint8_t value) {
    parallelWrite(s, value);
    waitMs(s, 50);
    return (parallelRead(s) & kDataInBit) != 0;
}

int leaveWith(Session& s, int result) {
    (void)sendIcsp(s, LEAVE_PGM, 0);
    return result;
}

}  // namespace

int openComPort(Session& s) {
    if (!s.link.serial) return 0;
    // A port or adapter that failed is opened afresh: it may have been plugged in again.
    if (s.port.comOpen() &&
        (!s.port.comHandle->lostReason().empty() ||
         (s.port.comHandle->bitBang() && s.port.comHandle->bitBang()->failed()))) {
        s.port.comHandle.reset();
    }
    if (!s.port.comOpen()) {
        auto port = s.serialOpener ? s.serialOpener->open(s.link.portName) : nullptr;
        // A port that fails a later step is closed again, so the next try reopens it.
        if (!port) {
            s.message = "COM-Init-Error!";
            // The system's reason, where it gave one, so the user can act on it.
            const std::string why = s.serialOpener ? s.serialOpener->lastError() : std::string();
            if (!why.empty()) s.message += "\n" + why;
            return 1;
        }
        if (!port->readSettings()) {
            s.message = "Kann COM-Port Einstellung nicht lesen.";
            return 1;
        }
        if (!port->writeSettings(platform::LineFormat{})) {
            s.message = "Kann COM-Port Einstellung nicht schreiben.";
            return 1;
        }
        if (!port->setReadTimeouts(platform::ReadTimeouts{})) {
            s.message = "Kann TIMEOUTS nicht schreiben.";
            return 1;
        }
        s.port.comHandle = std::move(port);
    }
    if (detectSerialBoard(s) != 0) {
        // An FTDI adapter that failed meanwhile is the reason, not the board.
        if (s.port.comHandle->bitBang() != nullptr && portFailed(s)) return 1;
        s.message = "T3306 not found at " + s.link.portName + "\n";
        // A port whose modem lines fail says why, as one that does not open does.
        if (s.port.comOpen()) s.message += s.port.comHandle->lostReason();
        return 1;
    }
    return 0;
}

int detectSerialBoard(Session& s) {
    if (!s.link.serial) return 0;
    s.link.lineSense = 0;
    if (!breakAndRing(s, platform::LineCode::setBreak)) return 1;
    if (breakAndRing(s, platform::LineCode::clrBreak)) return 1;
    s.link.lineSense = 1;
    return 0;
}

int detectAn589(Session& s) {
    (void)sendIcsp(s, ENTER_PGM, 0);
    waitMs(s, 50);
    (void)parallelRead(s);
    auto v = static_cast<std::uint8_t>(s.port.lastParallelWord & 0xFA);
    if (writeAndSense(s, v)) return leaveWith(s, 1);
    v |= 0x01;
    if (!writeAndSense(s, v)) return leaveWith(s, 1);
    v = static_cast<std::uint8_t>((v & 0xFA) | 0x04);
    return leaveWith(s, writeAndSense(s, v) ? 0 : 1);
}

int detectP16Pro(Session& s) {
    (void)sendIcsp(s, ENTER_PGM, 0);
    if (writeAndSense(s, 0x00)) return leaveWith(s, 1);
    return leaveWith(s, writeAndSense(s, 0x01) ? 0 : 1);
}

}  // namespace ferrolux
