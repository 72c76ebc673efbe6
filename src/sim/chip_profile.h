#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace ferrolux::sim {

// What a virtual chip is: its memories and the programming algorithm it follows.
struct ChipProfile {
    std::string name;
    // Programming-algorithm family: 1..7 are 14-bit cores, 8 is the 12-bit core.
    // Every family currently runs the basic 14-bit command set.
    int family = 1;
    int codeWords = 1024;
    int dataBytes = 64;
    bool hasDeviceId = true;
    std::uint16_t deviceId = 0x0560;
    // How long a self-timed write takes after Begin Erase/Programming Cycle.
    std::uint64_t programTimeNs = 4'000'000;
};

// A few real parts, by name.
ChipProfile pic16f84a();
ChipProfile pic16f628a();
ChipProfile pic16f877();
const std::vector<ChipProfile>& knownProfiles();
// Case-insensitive lookup ("pic16f84a" or "16F84A").
std::optional<ChipProfile> findProfile(std::string_view name);

}  // namespace ferrolux::sim
