#include "device/pic18/parts.h"

#include <cstdint>
#include <span>

#include "device/passes.h"
#include "device/pic18/operation.h"
#include "device/pic18/steps.h"
#include "link/line_driver.h"
#include "session/session.h"

namespace ferrolux {

namespace {

constexpr int kConfig5L = 8;
constexpr int kConfig5H = 9;
constexpr int kCpd = 0x80;
constexpr int kCpb = 0x40;

// Runs `read` in programming mode; fails when the link stopped reaching the chip.
template <typename Read>
int inProgrammingMode(Session& s, Read read) {
    if (algorithmFor(s) == nullptr) return kPassFailed;
    beginOperation(s);
    const int r = read();
    const int result = endOperation(s, r);
    if (result == 0 && linesLost(s)) return kPassFailed;
    if (result != 0 && s.message.empty()) s.message = "Reading the chip was stopped.\n";
    return result;
}

}  // namespace

int pic18ReadConfig(Session& s, std::array<int, kPic18ConfigBytes>& out) {
    std::array<std::uint8_t, kPic18ConfigBytes> bytes{};
    const int r = inProgrammingMode(
        s, [&] { return readBytes(s, kPic18ConfigBase, bytes) == 0 ? 0 : kPassFailed; });
    if (r != 0) return r;
    for (std::size_t k = 0; k < out.size(); ++k)
        out[k] = bytes[k] & s.device.configBytes[k].mask;
    return 0;
}

int pic18ReadData(Session& s, std::vector<int>& out) {
    out.clear();
    return inProgrammingMode(s, [&] {
        accessData(s);
        for (int offset = 0; offset < s.device.dataBytes; ++offset) {
            const int byte = readDataByte(s, offset);
            if (byte < 0) return kPassFailed;
            out.push_back(byte);
        }
        return 0;
    });
}

int pic18Protection(const DeviceRecord& d, const std::array<int, kPic18ConfigBytes>& config) {
    auto cleared = [&](int k, int bits) {
        const int mask = d.configBytes[static_cast<std::size_t>(k)].mask & bits;
        return mask != 0 && (config[static_cast<std::size_t>(k)] & mask) != mask;
    };
    int protection = 0;
    if (cleared(kConfig5L, 0x0F) || cleared(kConfig5H, kCpb)) protection |= 1;
    if (d.dataBytes > 0 && cleared(kConfig5H, kCpd)) protection |= 2;
    return protection;
}

}  // namespace ferrolux
