#pragma once

#include "platform/tick_source.h"

namespace ferrolux::platform {

// The system's monotonic clock.
class MonotonicTicks final : public TickSource {
  public:
    std::uint64_t nowNs() override;
    void sleepUntil(std::uint64_t deadlineNs) override;
};

}  // namespace ferrolux::platform
