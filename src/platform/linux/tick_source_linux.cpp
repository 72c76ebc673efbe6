#include "platform/linux/tick_source_linux.h"

#include <time.h>

namespace ferrolux::platform {

std::uint64_t MonotonicTicks::nowNs() {
    timespec ts{};
    ::clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<std::uint64_t>(ts.tv_sec) * 1'000'000'000u +
           static_cast<std::uint64_t>(ts.tv_nsec);
}

}  // namespace ferrolux::platform
