#include <signal.h>

#include <initializer_list>

#include "platform/stop_signals.h"

namespace ferrolux::platform {

namespace {

// The one value a signal handler may touch.
volatile std::sig_atomic_t stopSignal = 0;

extern "C" void onStopSignal(int signal) {
    stopSignal = signal;
}

}  // namespace

const volatile std::sig_atomic_t* catchStopSignals() {
    // No SA_RESTART: a question waiting for an answer ends at once.
    struct sigaction action {};
    action.sa_handler = onStopSignal;
    sigemptyset(&action.sa_mask);
    for (int signal : {SIGINT, SIGTERM, SIGHUP}) {
        struct sigaction before {};
        if (sigaction(signal, nullptr, &before) == 0 && before.sa_handler == SIG_IGN) continue;
        sigaction(signal, &action, nullptr);
    }
    std::signal(SIGPIPE, SIG_IGN);
    return &stopSignal;
}

}  // namespace ferrolux::platform
