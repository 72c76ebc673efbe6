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

    // Reads the clock `count` times, as a busy delay does, and returns the last
    // reading (0 when `count` is 0). A simulated clock may take the reads at once.
    virtual std::uint64_t readTimes(std::uint64_t count) {
        std::uint64_t now = 0;
        for (std::uint64_t i = 0; i < count; ++i)
            now = nowNs();
        return now;
    }

    // The caller is about to busy-read the clock until `deadlineNs`. A real clock
    // ignores this; a simulated clock may skip ahead so that long waits cost no CPU.
    virtual void idleUntil(std::uint64_t deadlineNs) { (void)deadlineNs; }

    // Blocks the thread, without using the processor, until about `deadlineNs`
    // (never before it). A simulated clock, which skips ahead in idleUntil,
    // ignores this.
    virtual void sleepUntil(std::uint64_t deadlineNs) { (void)deadlineNs; }
};

}  // namespace ferrolux::platform
