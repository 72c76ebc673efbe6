#include "link/delays.h"

#include <cstdint>

#include "link/icsp.h"
#include "link/line_driver.h"
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

std::uint64_t delayReads(const Session& s, int count) {
    if (count == 0) count = 2;
    return 1 + static_cast<std::uint64_t>(count) *
                   static_cast<std::uint64_t>(speedMultiplier(s.link.speed));
}

void speedDelay(Session& s, int count) {
    (void)s.ticks.readTimes(delayReads(s, count));
}

namespace {

// A sleep may wake this late; the end of a wait is spun so it stays exact.
constexpr std::uint64_t kSpinNs = 200'000;

// Measured on a nanosecond clock: a 1 ms wait lasts a full millisecond, not
// just until the next millisecond tick.
void waitNs(Session& s, std::uint64_t span, bool letWindowPaint) {
    // Line changes an adapter still holds go out before the wait starts.
    flushLines(s);
    const std::uint64_t start = s.ticks.nowNs();
    (void)s.ticks.nowNs();
    if (span == 0) return;
    s.ticks.idleUntil(start + span);
    if (letWindowPaint) s.reporter->idleUntil(s.ticks, start + span);
    if (span > kSpinNs) s.ticks.sleepUntil(start + span - kSpinNs);
    while (s.ticks.nowNs() - start < span) {
    }
}

}  // namespace

void clockWaitMs(Session& s, int ms) {
    waitNs(s, ms > 0 ? static_cast<std::uint64_t>(ms) * 1'000'000u : 0, true);
}

void clockWaitUs(Session& s, int us) {
    waitNs(s, us > 0 ? static_cast<std::uint64_t>(us) * 1'000u : 0, false);
}

void waitMs(Session& s, int ms) {
    if (s.port.stream != nullptr) {
        s.port.stream->waitMs(ms);
    } else {
        clockWaitMs(s, ms);
    }
}

void waitUs(Session& s, int us) {
    if (s.port.stream != nullptr) {
        s.port.stream->waitUs(us);
    } else {
        clockWaitUs(s, us);
    }
}

}  // namespace ferrolux
