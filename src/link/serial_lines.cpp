#include "link/serial_lines.h"

#include "session/session.h"

namespace ferrolux {

std::uint32_t readModemStatus(Session& s) {
    // A failed read reads nothing: the port counts as lost (linesLost tells),
    // and no earlier status stands in for the chip's answer.
    std::uint32_t status = 0;
    if (!s.port.comOpen() || !s.port.comHandle->modemStatus(status)) return 0;
    s.port.lastModemStatus = status;
    return status;
}

}  // namespace ferrolux
