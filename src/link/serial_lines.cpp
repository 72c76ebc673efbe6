#include "link/serial_lines.h"

#include "session/session.h"

namespace ferrolux {

namespace {

using platform::LineCode;

// Issues `whenSensed` with line sense 1 and `otherwise` with line sense 0.
void escape(Session& s, LineCode whenSensed, LineCode otherwise) {
    if (!s.port.comOpen()) return;
    (void)s.port.comHandle->escape(s.link.lineSense == 1 ? whenSensed : otherwise);
}

}  // namespace

void serialClockHigh(Session& s) {
    escape(s, LineCode::clrRts, LineCode::setRts);
}
void serialClockLow(Session& s) {
    escape(s, LineCode::setRts, LineCode::clrRts);
}
void serialDataHigh(Session& s) {
    escape(s, LineCode::clrDtr, LineCode::setDtr);
}
void serialDataLow(Session& s) {
    escape(s, LineCode::setDtr, LineCode::clrDtr);
}
void serialClockData(Session& s, bool clockHigh, bool dataHigh) {
    if (!s.port.comOpen()) return;
    // Line sense 1 clears RTS for a high clock and DTR for a high data line.
    const bool sensed = s.link.lineSense == 1;
    (void)s.port.comHandle->setRtsDtr(clockHigh != sensed, dataHigh != sensed);
}
void serialVppOn(Session& s) {
    escape(s, LineCode::clrBreak, LineCode::setBreak);
}
void serialVppOff(Session& s) {
    escape(s, LineCode::setBreak, LineCode::clrBreak);
}

std::uint32_t readModemStatus(Session& s) {
    std::uint32_t status = 0;
    if (s.port.comOpen() && s.port.comHandle->modemStatus(status)) s.port.lastModemStatus = status;
    return s.port.lastModemStatus;
}

int serialDataIn(Session& s) {
    std::uint32_t bits = readModemStatus(s) & 0xFF;
    if (s.link.lineSense == 1) bits = ~bits & 0xFF;
    return (bits & platform::kModemCts) ? 1 : 0;
}

}  // namespace ferrolux
