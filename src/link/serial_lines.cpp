#include "link/serial_lines.h"

#include "session/session.h"

namespace ferrolux {

std::uint32_t readModemStatus(Session& s) {
    std::uint32_t status = 0;
    if (s.port.comOpen() && s.port.comHandle->modemStatus(status)) s.port.lastModemStatus = status;
    return s.port.lastModemStatus;
}

}  // namespace ferrolux
