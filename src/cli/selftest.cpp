#include "cli/selftest.h"

#include <ostream>

#include "cli/cli.h"
#include "device/board_test.h"

namespace ferrolux::cli {

int selftestCommand(Session& s, std::ostream& out) {
    const BoardTest test = testBoard(s);
    out << test.text() << std::flush;
    return test.passed() ? kExitOk : kExitNoChip;
}

}  // namespace ferrolux::cli
