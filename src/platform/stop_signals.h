#pragma once

#include <csignal>

namespace ferrolux::platform {

// Catches Ctrl-C, SIGTERM and a closed terminal so that a run can end cleanly
// (programming voltage off, lines restored, port closed) instead of being
// killed mid-command. A signal the caller ignores (nohup, a background job)
// stays ignored, and a closed output pipe only fails writes. Returns the flag
// the handler sets to the signal's number; 0 until one arrives.
const volatile std::sig_atomic_t* catchStopSignals();

}  // namespace ferrolux::platform
