// ferrolux-cli: the main window's commands from a terminal or a script.
#if defined(_WIN32)
#include <io.h>
#define isatty _isatty
#define STDIN_FILENO 0
#define STDERR_FILENO 2
#include "platform/win32/utf8_win32.h"
#else
#include <unistd.h>
#endif

#include <iostream>
#include <string>
#include <vector>

#include "cli/cli.h"
#include "platform/stop_signals.h"

int main([[maybe_unused]] int argc, [[maybe_unused]] char** argv) {
    // A signal ends the run at the next ICSP frame, with the chip out of programming mode.
    const volatile std::sig_atomic_t* stop = ferrolux::platform::catchStopSignals();
#if defined(_WIN32)
    // The arguments as UTF-8 from the wide command line: argv has them in
    // the ANSI code page, without the characters it lacks.
    const std::vector<std::string> args = ferrolux::platform::utf8Arguments();
    ferrolux::platform::useUtf8Console();
#else
    const std::vector<std::string> args(argv + 1, argv + argc);
#endif
    const ferrolux::cli::Terminal terminal{::isatty(STDIN_FILENO) != 0,
                                           ::isatty(STDERR_FILENO) != 0};
    return ferrolux::cli::run(args, std::cin, std::cout, std::cerr, terminal, stop);
}
