#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <ostream>
#include <string>

#include "files/production_log.h"

namespace ferrolux::cli {

// What a poll of the socket found.
enum class SocketState {
    empty,      // no device ID answered
    chip,       // the selected chip
    otherChip,  // a chip of another type
    noBoard,    // the port or board failed
};

// The steps of a batch, given by the console program (and by tests).
struct BatchSteps {
    // Reads the device ID with programming voltage off afterwards.
    std::function<SocketState()> poll;
    // Writes, verifies, logs and reports the chip in the socket; nullopt when
    // nothing was done with it (refused before it was touched, or cancelled).
    std::function<std::optional<ChipResult>()> program;
    // Logs a chip of another type, never written.
    std::function<void()> refuse;
    // Chips without a device ID: waits for Enter; false at the end of the input.
    std::function<bool()> enter;
    // Waits between polls (on the session's clock: simulated time on SIM1).
    std::function<void(int ms)> pause;
    std::function<bool()> stopped;
    // Called before each poll with its number: tests change the socket here.
    std::function<void(int)> beforePoll;
};

struct BatchSummary {
    int ok = 0;
    int failed = 0;   // write or verify failed
    int refused = 0;  // chips of another type
    bool boardLost = false;
};

// The time between two polls: a few a second.
inline constexpr int kPollMs = 250;

// Chip after chip until stopped (or, without device IDs, the end of the
// input): waits for a chip, programs it, waits until it is taken out. What
// the user is to do goes to `err`.
BatchSummary runBatch(const BatchSteps& steps, bool deviceIds, std::ostream& err);

// "3 ok, 1 failed, 1 refused; serials 0x1000..0x1003".
std::string summaryText(const BatchSummary& s, const std::string& firstSerial,
                        const std::string& lastSerial);

}  // namespace ferrolux::cli
