#include "sim/chip_profile.h"

#include <cctype>
#include <utility>

namespace ferrolux::sim {

namespace {

ChipProfile make(std::string name, int family, int codeWords, int dataBytes,
                 std::uint16_t deviceId) {
    ChipProfile p;
    p.name = std::move(name);
    p.family = family;
    p.codeWords = codeWords;
    p.dataBytes = dataBytes;
    p.hasDeviceId = true;
    p.deviceId = deviceId;
    return p;
}

std::string upper(std::string_view s) {
    std::string out;
    for (char c : s)
        out += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return out;
}

}  // namespace

ChipProfile pic16f84a() {
    return make("PIC16F84A", 1, 1024, 64, 0x0560);
}
ChipProfile pic16f628a() {
    return make("PIC16F628A", 5, 2048, 128, 0x1060);
}
ChipProfile pic16f877() {
    return make("PIC16F877", 2, 8192, 256, 0x09A0);
}

const std::vector<ChipProfile>& knownProfiles() {
    static const std::vector<ChipProfile> all{pic16f84a(), pic16f628a(), pic16f877()};
    return all;
}

std::optional<ChipProfile> findProfile(std::string_view name) {
    std::string wanted = upper(name);
    for (const ChipProfile& p : knownProfiles()) {
        if (p.name == wanted || p.name == "PIC" + wanted) return p;
    }
    return std::nullopt;
}

}  // namespace ferrolux::sim
