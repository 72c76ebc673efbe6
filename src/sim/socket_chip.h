#pragma once

#include <cstdint>
#include <optional>

namespace ferrolux::sim {

class SimClock;

// Whatever sits in a board's socket, as its ICSP pins see it.
class SocketChip {
  public:
    virtual ~SocketChip() = default;

    // Lets test accessors finish a timed cycle whose time has passed. Optional.
    virtual void attachClock(const SimClock* clock) = 0;
    // The pin levels from `nowNs` on. The chip starts with all pins low.
    virtual void setPins(bool clock, bool data, bool programEnable, std::uint64_t nowNs) = 0;
    // The level the chip drives on its data pin; nullopt while the pin is an input.
    virtual std::optional<bool> dataOut() const = 0;
    // Ends a timed cycle whose time has come by `nowNs`.
    virtual void settle(std::uint64_t nowNs) = 0;
    virtual bool inProgrammingMode() const = 0;
};

}  // namespace ferrolux::sim
