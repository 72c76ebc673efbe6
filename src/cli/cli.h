#pragma once

#include <csignal>
#include <functional>
#include <iosfwd>
#include <string>
#include <vector>

namespace ferrolux::app {
struct Program;
}

namespace ferrolux::cli {

inline constexpr int kExitOk = 0;
inline constexpr int kExitFailed = 1;
inline constexpr int kExitUsage = 2;
inline constexpr int kExitMismatch = 3;  // verify found a difference; blank found data
inline constexpr int kExitNoChip = 4;    // no programmer or no chip answered

struct Terminal {
    bool input = false;   // questions can be asked
    bool output = false;  // a progress line can be drawn on the error output
};

// ferrolux-cli: the main window's commands driven by arguments (without the
// program name). Results on `out`, message boxes, questions and progress on
// `err`. The status is one of the kExit values above. `stop`, when given, is watched: once it holds
// a signal number the command ends at the next ICSP frame with programming mode left, and the
// result is 128 + that number.
int run(const std::vector<std::string>& args, std::istream& in, std::ostream& out,
        std::ostream& err, Terminal terminal, const volatile std::sig_atomic_t* stop = nullptr);

// What a test reaches inside a run.
struct RunHooks {
    const volatile std::sig_atomic_t* stop = nullptr;  // as run's `stop`
    // Called after a chip of write or batch was programmed, before it is
    // logged: false ends the run there without logging, as a crash would.
    std::function<bool()> afterProgramming;
    // batch: called before each poll for a chip with the poll's number, so a
    // test can change the socket (or raise `stop`) between polls.
    std::function<void(int)> beforePoll;
    // Called once the options are applied (chip and port chosen), before the
    // command: a test may break the simulated chip here.
    std::function<void(app::Program&)> ready;
};
int run(const std::vector<std::string>& args, std::istream& in, std::ostream& out,
        std::ostream& err, Terminal terminal, const RunHooks& hooks);

std::string usage();
// The help of one command; the whole usage for an unknown one.
std::string commandHelp(const std::string& command);

}  // namespace ferrolux::cli
