// ferrolux-cli: the main window's commands from a terminal or a script.
#include <signal.h>
#include <unistd.h>

#include <csignal>
#include <iostream>
#include <string>
#include <vector>

#include "cli/cli.h"

namespace {

// The signal that asked the run to stop; 0 until one arrives. The handler
// only sets it: the run sees it at the next ICSP frame and ends there.
volatile std::sig_atomic_t stopSignal = 0;

extern "C" void onStopSignal(int signal) {
    stopSignal = signal;
}

// Ctrl-C, SIGTERM and a closed terminal end the command cleanly instead of
// killing the program with the programming voltage on; a signal the caller
// ignores (nohup, a background job) stays ignored. No SA_RESTART: a question
// waiting for an answer ends at once. A closed output pipe only fails writes.
void catchStopSignals() {
    struct sigaction action {};
    action.sa_handler = onStopSignal;
    sigemptyset(&action.sa_mask);
    for (int signal : {SIGINT, SIGTERM, SIGHUP}) {
        struct sigaction before {};
        if (sigaction(signal, nullptr, &before) == 0 && before.sa_handler == SIG_IGN) continue;
        sigaction(signal, &action, nullptr);
    }
    std::signal(SIGPIPE, SIG_IGN);
}

}  // namespace

int main(int argc, char** argv) {
    catchStopSignals();
    const std::vector<std::string> args(argv + 1, argv + argc);
    const ferrolux::cli::Terminal terminal{::isatty(STDIN_FILENO) != 0,
                                           ::isatty(STDERR_FILENO) != 0};
    return ferrolux::cli::run(args, std::cin, std::cout, std::cerr, terminal, &stopSignal);
}
