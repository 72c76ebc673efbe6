#include "device/pic18/compare.h"

#include <algorithm>

#include "device/passes.h"
#include "device/pic18/operation.h"
#include "device/pic18/steps.h"
#include "session/session.h"

namespace ferrolux {

namespace {

int failedRead(Session& s) {
    s.message = "Reading the chip was stopped.\n";
    return kPassFailed;
}

// The code bytes the image holds, read from its first to its last address.
int compareCode(Session& s, const ChipImage::Bytes18& image) {
    const int end = s.device.codeWords * 2;
    auto first = image.code.begin();
    auto last = image.code.lower_bound(static_cast<std::uint32_t>(end));
    if (first == last) return 0;
    const int from = static_cast<int>(first->first);
    const int to = static_cast<int>(std::prev(last)->first);
    const auto chip = readRegion(s, from, to - from + 1, Stage::verifying);
    if (chip.empty()) return failedRead(s);
    for (auto it = first; it != last; ++it) {
        const int read = chip[it->first - static_cast<std::uint32_t>(from)];
        if (read != it->second) return mismatchAt(s, static_cast<int>(it->first), it->second, read);
    }
    return 0;
}

// All eight IDs when the image holds any; those it leaves out are FF.
int compareIds(Session& s, const ChipImage::Bytes18& image) {
    if (std::none_of(image.ids.begin(), image.ids.end(),
                     [](const auto& id) { return id.has_value(); }))
        return 0;
    std::array<std::uint8_t, kPic18IdBytes> chip{};
    if (readBytes(s, kPic18IdBase, chip) != 0) return failedRead(s);
    for (int k = 0; k < kPic18IdBytes; ++k) {
        const int file = image.ids[k].value_or(0xFF);
        if (chip[k] != file) return mismatchAt(s, kPic18IdBase + k, file, chip[k]);
    }
    return 0;
}

// The configuration bytes the image holds, under each byte's mask.
int compareConfig(Session& s, const ChipImage::Bytes18& image) {
    if (std::none_of(image.config.begin(), image.config.end(),
                     [](const auto& c) { return c.has_value(); }))
        return 0;
    std::array<std::uint8_t, kPic18ConfigBytes> chip{};
    if (readBytes(s, kPic18ConfigBase, chip) != 0) return failedRead(s);
    for (int k = 0; k < kPic18ConfigBytes; ++k) {
        const int mask = s.device.configBytes[k].mask;
        if (!image.config[k] || mask == 0) continue;
        if (((chip[k] ^ *image.config[k]) & mask) != 0)
            return mismatchAt(s, kPic18ConfigBase + k, *image.config[k] & mask, chip[k] & mask);
    }
    return 0;
}

int compareData(Session& s, const ChipImage::Bytes18& image) {
    accessData(s);
    int done = 0;
    const int total = static_cast<int>(image.data.size());
    for (auto [offset, value] : image.data) {
        if (offset >= s.device.dataBytes) break;
        if (done % 64 == 0) reportProgress(s, Stage::verifying, true, offset, done, total);
        ++done;
        const int read = readDataByte(s, offset);
        if (read < 0) return failedRead(s);
        if (read != value) return mismatchAt(s, kPic18DataBase + offset, value, read);
    }
    return 0;
}

}  // namespace

int compareParts(Session& s, const ChipImage& image, const Pic18Parts& parts) {
    const ChipImage::Bytes18& b = image.pic18;
    int result = 0;
    if (parts.code) result = compareCode(s, b);
    if (result == 0 && parts.ids) result = compareIds(s, b);
    if (result == 0 && parts.data) result = compareData(s, b);
    if (result == 0 && parts.config) result = compareConfig(s, b);
    return result;
}

int pic18Verify(Session& s, const ChipImage& image, const Pic18Parts& parts) {
    if (algorithmFor(s) == nullptr) return kPassFailed;
    beginOperation(s);
    return endOperation(s, compareParts(s, image, parts));
}

}  // namespace ferrolux
