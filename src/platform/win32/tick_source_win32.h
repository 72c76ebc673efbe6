#pragma once

#include <cstdint>

#include "platform/tick_source.h"

namespace ferrolux::platform {

// The performance counter, in nanoseconds.
class PerformanceCounterTicks final : public TickSource {
  public:
    PerformanceCounterTicks();
    std::uint64_t nowNs() override;
    void sleepUntil(std::uint64_t deadlineNs) override;

  private:
    std::uint64_t frequency_;  // counts per second
};

}  // namespace ferrolux::platform
