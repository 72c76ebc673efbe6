#pragma once

#include <cstdint>

namespace ferrolux::platform {

// A monotonic clock with nanosecond units. Every delay of the link is a count of
// reads of this clock, so a read is the unit of bit timing.
class TickSource {
  public:
    virtual ~TickSource() = default;

    // Current time in nanoseconds; never goes backwards.
    virtual std::uint64_t nowNs() = 0;

    // The caller is about to busy-read the clock until `deadlineNs`. A real clock
    // ignores this; a simulated clock may skip ahead so that long waits cost no CPU.
    virtual void idleUntil(std::uint64_t deadlineNs) { (void)deadlineNs; }
};

}  // namespace ferrolux::platform
