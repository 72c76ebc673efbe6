#pragma once

#include <string>
#include <vector>

namespace ferrolux {

class Session;

// How one check of the board test ended.
enum class CheckOutcome {
    ok,
    failed,
    unseen,  // the wiring does not let the program see it; not a failure
};

// One check: what was checked and, unless it passed, what to look at.
struct BoardCheck {
    std::string what;
    CheckOutcome outcome = CheckOutcome::ok;
    std::string advice;
};

struct BoardTest {
    std::vector<BoardCheck> checks;
    // No check failed.
    bool passed() const;
    // One line per check: "ok    WHAT", "FAIL  WHAT: ADVICE" or "--    WHAT: ADVICE".
    std::string text() const;
};

// Checks, in order, what the selected port and adapter let the program
// sense: the port opens; the board or adapter answers on its presence
// loop-back; the data-in line follows the data-out line with Vpp off; which
// lines cannot be seen; a chip answers with a device ID (chips without one
// cannot be checked so). A check that leaves the rest meaningless ends the
// test. Programming mode is left at the end, also after a failure or a stop
// request; nothing is ever written to the chip.
BoardTest testBoard(Session& s);

}  // namespace ferrolux
