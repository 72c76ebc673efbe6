#include "platform/linux/tick_source_linux.h"

#include <errno.h>
#include <time.h>

namespace ferrolux::platform {

std::uint64_t MonotonicTicks::nowNs() {
    timespec ts{};
    ::clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<std::uint64_t>(ts.tv_sec) * 1'000'000'000u +
           static_cast<std::uint64_t>(ts.tv_nsec);
}

void MonotonicTicks::sleepUntil(std::uint64_t deadlineNs) {
    timespec ts{};
    ts.tv_sec = static_cast<time_t>(deadlineNs / 1'000'000'000u);
    ts.tv_nsec = static_cast<long>(deadlineNs % 1'000'000'000u);
    // An absolute deadline: a signal in between only resumes the same sleep.
    while (::clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &ts, nullptr) == EINTR) {
    }
}

}  // namespace ferrolux::platform
