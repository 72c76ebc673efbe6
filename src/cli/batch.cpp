#include "cli/batch.h"

namespace ferrolux::cli {

namespace {

// Polls until the socket is in a state `done` accepts (or the run stops).
SocketState pollUntil(const BatchSteps& steps, int& polls,
                      const std::function<bool(SocketState)>& done) {
    for (;;) {
        if (steps.beforePoll) steps.beforePoll(polls);
        ++polls;
        if (steps.stopped()) return SocketState::empty;
        const SocketState s = steps.poll();
        if (done(s) || s == SocketState::noBoard || steps.stopped()) return s;
        steps.pause(kPollMs);
    }
}

}  // namespace

BatchSummary runBatch(const BatchSteps& steps, bool deviceIds, std::ostream& err) {
    BatchSummary summary;
    const auto count = [&summary](std::optional<ChipResult> r) {
        if (!r) return;
        if (*r == ChipResult::ok) {
            ++summary.ok;
        } else if (*r == ChipResult::noChip) {
            ++summary.refused;
        } else {
            ++summary.failed;
        }
    };
    if (!deviceIds) {
        while (!steps.stopped()) {
            err << "Put a chip in and press Enter (end of input stops)" << std::endl;
            if (!steps.enter() || steps.stopped()) break;
            count(steps.program());
        }
        return summary;
    }
    int polls = 0;
    while (!steps.stopped()) {
        err << "Waiting for a chip (Ctrl-C stops)" << std::endl;
        const SocketState in =
            pollUntil(steps, polls, [](SocketState s) { return s != SocketState::empty; });
        if (steps.stopped()) break;
        if (in == SocketState::noBoard) {
            summary.boardLost = true;
            break;
        }
        if (in == SocketState::otherChip) {
            steps.refuse();
            ++summary.refused;
        } else {
            count(steps.program());
        }
        if (steps.stopped()) break;
        err << "Take the chip out" << std::endl;
        const SocketState out =
            pollUntil(steps, polls, [](SocketState s) { return s == SocketState::empty; });
        if (out == SocketState::noBoard) {
            summary.boardLost = true;
            break;
        }
    }
    return summary;
}

std::string summaryText(const BatchSummary& s, const std::string& firstSerial,
                        const std::string& lastSerial) {
    std::string text = std::to_string(s.ok) + " ok, " + std::to_string(s.failed) + " failed, " +
                       std::to_string(s.refused) + " refused";
    if (!firstSerial.empty()) {
        text += "; serials " + firstSerial;
        if (lastSerial != firstSerial) text += ".." + lastSerial;
    }
    return text;
}

}  // namespace ferrolux::cli
