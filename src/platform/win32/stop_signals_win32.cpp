#include <windows.h>

#include "platform/stop_signals.h"

namespace ferrolux::platform {

namespace {

// The one value the console handler touches.
volatile std::sig_atomic_t stopSignal = 0;

BOOL WINAPI onConsoleEvent(DWORD event) {
    switch (event) {
        case CTRL_C_EVENT:
        case CTRL_BREAK_EVENT:
            stopSignal = SIGINT;
            return TRUE;
        case CTRL_CLOSE_EVENT:
        case CTRL_LOGOFF_EVENT:
        case CTRL_SHUTDOWN_EVENT:
            // The process ends when this returns: give the run a moment to
            // take the chip out of programming mode first.
            stopSignal = SIGTERM;
            ::Sleep(2000);
            return TRUE;
        default:
            return FALSE;
    }
}

}  // namespace

const volatile std::sig_atomic_t* catchStopSignals() {
    ::SetConsoleCtrlHandler(onConsoleEvent, TRUE);
    return &stopSignal;
}

}  // namespace ferrolux::platform
