#include "sim/sim_clock.h"

namespace ferrolux::sim {

std::uint64_t SimClock::nowNs() {
    ++reads_;
    now_ += step_;
    return now_;
}

std::uint64_t SimClock::readTimes(std::uint64_t count) {
    if (count == 0) return 0;
    reads_ += count;
    now_ += count * step_;
    return now_;
}

void SimClock::idleUntil(std::uint64_t deadlineNs) {
    if (now_ + step_ < deadlineNs) now_ = deadlineNs - step_;
}

}  // namespace ferrolux::sim
