#pragma once

#include <cstdint>

#include "platform/tick_source.h"

namespace ferrolux::test {

// A clock that advances a fixed step on every read and counts the reads.
class CountingTicks : public platform::TickSource {
  public:
    explicit CountingTicks(std::uint64_t stepNs = 1000) : step(stepNs) {}
    std::uint64_t nowNs() override {
        ++reads;
        now += step;
        return now;
    }
    std::uint64_t step;
    std::uint64_t now = 0;
    std::uint64_t reads = 0;
};

}  // namespace ferrolux::test
