#pragma once

#include <cstdint>

#include "platform/tick_source.h"

namespace ferrolux::sim {

// Virtual time in nanoseconds. Every read moves time forward by one step, so a
// program that busy-waits on this clock sees time pass exactly as it counts reads.
class SimClock : public platform::TickSource {
  public:
    explicit SimClock(std::uint64_t stepNs = 25) : step_(stepNs) {}

    std::uint64_t nowNs() override;
    // `count` reads at once: time moves `count` steps.
    std::uint64_t readTimes(std::uint64_t count) override;
    // Skips ahead so that the next read returns exactly `deadlineNs`.
    void idleUntil(std::uint64_t deadlineNs) override;

    // The time now, without reading the clock.
    std::uint64_t peek() const { return now_; }
    std::uint64_t reads() const { return reads_; }
    std::uint64_t stepNs() const { return step_; }
    // Lets time pass without a read (a test standing by).
    void advance(std::uint64_t ns) { now_ += ns; }

  private:
    std::uint64_t step_;
    std::uint64_t now_ = 0;
    std::uint64_t reads_ = 0;
};

}  // namespace ferrolux::sim
