#include "link/delays.h"

#include <cstdint>

#include "session/session.h"

namespace ferrolux {

namespace {

int speedMultiplier(int speed) {
    switch (speed) {
        case 0:
            return 120;
        case 1:
            return 60;
        case 2:
            return 30;
        default:
            return 10;
    }
}

}  // namespace

void speedDelay(Session& s, int count) {
    if (count == 0) count = 2;
    const long reads = static_cast<long>(count) * speedMultiplier(s.link.speed);
    (void)s.ticks.nowNs();
    for (long i = 0; i < reads; ++i)
        (void)s.ticks.nowNs();
}

void waitMs(Session& s, int ms) {
    const std::uint64_t start = s.ticks.nowNs();
    (void)s.ticks.nowNs();
    if (ms <= 0) return;
    // Measured on a nanosecond clock: a 1 ms wait lasts a full millisecond,
    // not just until the next millisecond tick.
    const std::uint64_t span = static_cast<std::uint64_t>(ms) * 1'000'000u;
    s.ticks.idleUntil(start + span);
    s.window->idleUntil(s.ticks, start + span);
    while (s.ticks.nowNs() - start < span) {
    }
}

}  // namespace ferrolux
