#pragma once

#include <iosfwd>

namespace ferrolux {
class Session;
}

namespace ferrolux::cli {

// ferrolux-cli selftest: the board test on the selected port and adapter,
// one line per check on `out`. kExitOk when every check passed, else kExitNoChip.
int selftestCommand(Session& s, std::ostream& out);

}  // namespace ferrolux::cli
