#include <array>

#include "device/passes.h"
#include "device/pic18/operation.h"
#include "device/pic18/pic18.h"
#include "device/pic18/steps.h"
#include "link/line_driver.h"
#include "session/session.h"

namespace ferrolux {

namespace {

int stoppedRead(Session& s) {
    if (s.message.empty()) s.message = "Reading the chip was stopped.\n";
    return kPassFailed;
}

int readAll(Session& s, ChipImage::Bytes18& out, bool data) {
    out = {};
    const auto code = readRegion(s, 0, s.device.codeWords * 2, Stage::reading);
    if (code.size() != static_cast<std::size_t>(s.device.codeWords) * 2) return kPassFailed;
    for (std::size_t a = 0; a < code.size(); ++a)
        out.code[static_cast<std::uint32_t>(a)] = code[a];

    std::array<std::uint8_t, kPic18IdBytes> ids{};
    if (readBytes(s, kPic18IdBase, ids) != 0) return kPassFailed;
    for (int k = 0; k < kPic18IdBytes; ++k)
        out.ids[k] = ids[k];

    std::array<std::uint8_t, kPic18ConfigBytes> config{};
    if (readBytes(s, kPic18ConfigBase, config) != 0) return kPassFailed;
    for (int k = 0; k < kPic18ConfigBytes; ++k) {
        const int mask = s.device.configBytes[k].mask;
        if (mask != 0) out.config[k] = static_cast<std::uint8_t>(config[k] & mask);
    }

    if (!data) return 0;
    accessData(s);
    for (int offset = 0; offset < s.device.dataBytes; ++offset) {
        if (offset % 64 == 0)
            reportProgress(s, Stage::reading, true, offset, offset, s.device.dataBytes);
        const int read = readDataByte(s, offset);
        if (read < 0) return kPassFailed;
        out.data[offset] = static_cast<std::uint8_t>(read);
    }
    return 0;
}

}  // namespace

int pic18ReadDeviceId(Session& s, int& id, int* revision) {
    if (algorithmFor(s) == nullptr) return kPassFailed;
    beginOperation(s);
    std::array<std::uint8_t, 2> devid{};
    const int read = readBytes(s, kPic18DeviceIdAddress, devid);
    const int result = endOperation(s, read == 0 ? 0 : stoppedRead(s));
    // Bits from a link that stopped reaching the chip are not the chip's.
    if (result != 0 || linesLost(s)) return kPassFailed;
    const int word = devid[1] << 8 | devid[0];
    id = word & ~s.device.revisionMask;
    if (revision != nullptr) *revision = word & s.device.revisionMask;
    return 0;
}

int pic18Read(Session& s, ChipImage::Bytes18& out, bool data) {
    if (algorithmFor(s) == nullptr) return kPassFailed;
    beginOperation(s);
    const int read = readAll(s, out, data);
    const int result = endOperation(s, read == 0 ? 0 : stoppedRead(s));
    if (result != 0 || linesLost(s)) {
        out = {};
        return kPassFailed;
    }
    return 0;
}

}  // namespace ferrolux
