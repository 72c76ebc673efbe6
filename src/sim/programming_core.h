#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "sim/chip_profile.h"

namespace ferrolux::sim {

inline constexpr std::uint32_t kConfigBase = 0x2000;
inline constexpr std::size_t kConfigWords = 8;
inline constexpr std::size_t kDeviceIdIndex = 6;
inline constexpr std::uint16_t kWordMask = 0x3FFF;

// The chip's nonvolatile cells.
struct ChipMemory {
    std::vector<std::uint16_t> program;
    std::array<std::uint16_t, kConfigWords> config{};
    std::vector<std::uint8_t> data;

    // A blank chip of this profile: all ones, device ID in place.
    static ChipMemory erased(const ChipProfile& profile);
};

// What follows a command on the wire.
enum class FrameKind { none, load, read };

// A self-timed write. It lands `durationNs` after the command, and only if the
// host leaves the clock and the programming voltage alone until then.
struct TimedOp {
    std::uint64_t durationNs = 0;
    std::function<void(ChipMemory&)> commit;
};

struct CommandResult {
    FrameKind frame = FrameKind::none;
    std::optional<TimedOp> timedOp;
};

// The meaning of decoded commands for one programming-algorithm family. The pin
// decoder in VirtualPic feeds it whole commands and frames; a family with other
// commands, latches or address rules derives its own core.
class ProgrammingCore {
  public:
    virtual ~ProgrammingCore() = default;

    // Programming mode was just entered.
    virtual void enterProgramming() = 0;
    // A 6-bit command was decoded; says which frame follows and starts timed writes.
    virtual CommandResult command(int code) = 0;
    // The 14 data bits of the load frame that followed command `code`.
    virtual void load(int code, std::uint16_t word) = 0;
    // The 14-bit value to shift out in the read frame that follows command `code`.
    virtual std::uint16_t read(int code) = 0;
    virtual std::uint32_t pc() const = 0;
};

// The basic 14-bit command set: loads, reads, Increment Address and the
// self-timed Begin Erase/Programming Cycle.
class Core14 : public ProgrammingCore {
  public:
    Core14(const ChipProfile& profile, ChipMemory& memory);

    void enterProgramming() override;
    CommandResult command(int code) override;
    void load(int code, std::uint16_t word) override;
    std::uint16_t read(int code) override;
    std::uint32_t pc() const override { return pc_; }

  protected:
    enum class Target { program, data };

    virtual void incrementAddress();
    virtual std::uint16_t readProgram() const;
    virtual std::uint8_t readData() const;
    // The write command 8 performs, from the latch and the PC at command time.
    virtual TimedOp programCycle();

    const ChipProfile& profile_;
    ChipMemory& memory_;
    std::uint32_t pc_ = 0;
    std::uint16_t latch_ = kWordMask;
    Target latchTarget_ = Target::program;
};

// The core for the profile's family.
std::unique_ptr<ProgrammingCore> makeCore(const ChipProfile& profile, ChipMemory& memory);

}  // namespace ferrolux::sim
