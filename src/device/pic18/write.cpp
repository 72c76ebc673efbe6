#include <map>
#include <vector>

#include "device/passes.h"
#include "device/pic18/algorithm.h"
#include "device/pic18/compare.h"
#include "device/pic18/operation.h"
#include "device/pic18/pic18.h"
#include "device/pic18/steps.h"
#include "link/icsp18.h"
#include "session/messages.h"
#include "session/session.h"

namespace ferrolux {

namespace {

// CONFIG6H holds WRTC, which locks the configuration bytes: written last
// (DS39576B Table 3-8 note 2, DS39622L Table 3-9 note 1).
constexpr int kConfig6H = 0xB;

// The image's code as buffer-aligned blocks of `size` bytes (unfilled bytes
// FF), by block address; blocks of FF bytes only are left out.
std::map<int, std::vector<std::uint8_t>> codeBlocks(const ChipImage::Bytes18& image, int size,
                                                    int end) {
    std::map<int, std::vector<std::uint8_t>> blocks;
    for (auto [address, value] : image.code) {
        if (static_cast<int>(address) >= end) break;
        if (value == 0xFF) continue;
        const int start = static_cast<int>(address) / size * size;
        auto& block = blocks[start];
        if (block.empty()) {
            block.assign(static_cast<std::size_t>(size), 0xFF);
            for (auto it = image.code.lower_bound(static_cast<std::uint32_t>(start));
                 it != image.code.end() && static_cast<int>(it->first) < start + size; ++it)
                block[it->first - static_cast<std::uint32_t>(start)] = it->second;
        }
    }
    return blocks;
}

int writeCode(Session& s, const Pic18Algorithm& a, const ChipImage::Bytes18& image) {
    const int size = pic18BufferBytes(a, s.device);
    if (size == 0) {
        s.message = formatText("The device list gives no valid write buffer size for %s (%d).\n",
                               s.device.name.c_str(), s.device.writeBufferBytes);
        return kPassFailed;
    }
    const auto blocks = codeBlocks(image, size, s.device.codeWords * 2);
    a.beginBufferWrites(s);
    int done = 0;
    for (const auto& [address, bytes] : blocks) {
        reportProgress(s, Stage::writing, false, address, done++, static_cast<int>(blocks.size()));
        programBuffer(s, a, address, bytes);
        if (s.stopped) return kPassFailed;
    }
    return 0;
}

// The eight IDs as one 8-byte buffer (DS39576B Table 3-7, DS39622L Table
// 3-8); those the image leaves out are FF.
int writeIds(Session& s, const Pic18Algorithm& a, const ChipImage::Bytes18& image) {
    bool any = false;
    std::array<std::uint8_t, kPic18IdBytes> ids{};
    for (int k = 0; k < kPic18IdBytes; ++k) {
        any = any || image.ids[k].has_value();
        ids[k] = image.ids[k].value_or(0xFF);
    }
    if (!any) return 0;
    a.beginBufferWrites(s);
    programBuffer(s, a, kPic18IdBase, ids);
    return s.stopped ? kPassFailed : 0;
}

int writeData(Session& s, const Pic18Algorithm& a, const ChipImage::Bytes18& image) {
    accessData(s);
    int done = 0;
    const int total = static_cast<int>(image.data.size());
    for (auto [offset, value] : image.data) {
        if (offset >= s.device.dataBytes) break;
        if (done % 16 == 0) reportProgress(s, Stage::writing, true, offset, done, total);
        ++done;
        setDataAddress(s, offset);
        loadRegister(s, kEedata, value);
        core(s, bsf(kEecon1, kWren));
        const bool written = a.writeDataByte(s);
        core(s, bcf(kEecon1, kWren));
        if (s.stopped) return kPassFailed;
        if (!written) {
            s.message = formatText("Write Error at: %06X\n\nThe EEPROM write did not end.\n",
                                   static_cast<unsigned>(kPic18DataBase + offset));
            return kPassFailed;
        }
    }
    return 0;
}

int writeConfig(Session& s, const Pic18Algorithm& a, const ChipImage::Bytes18& image) {
    accessConfig(s);
    if (a.gotoBeforeConfig) {
        core(s, 0xEF00);  // GOTO 100000h
        core(s, 0xF800);
    }
    auto write = [&](int k) {
        if (image.config[k] && s.device.configBytes[k].mask != 0)
            writeConfigByte(s, a, kPic18ConfigBase + k, *image.config[k]);
    };
    for (int k = 0; k < kPic18ConfigBytes; ++k)
        if (k != kConfig6H) write(k);
    write(kConfig6H);
    return s.stopped ? kPassFailed : 0;
}

// Code, IDs and EEPROM written and read back; then the configuration, which
// may protect what was written before, written and read back.
int writeParts(Session& s, const Pic18Algorithm& a, const ChipImage& image,
               const Pic18Parts& parts) {
    const ChipImage::Bytes18& b = image.pic18;
    int result = 0;
    if (parts.code) result = writeCode(s, a, b);
    if (result == 0 && parts.ids) result = writeIds(s, a, b);
    if (result == 0 && parts.data) result = writeData(s, a, b);
    Pic18Parts memories = parts;
    memories.config = false;
    if (result == 0) result = compareParts(s, image, memories);
    if (result == 0 && parts.config) result = writeConfig(s, a, b);
    if (result == 0 && parts.config)
        result = compareParts(s, image, Pic18Parts{false, false, false, true});
    return result;
}

}  // namespace

int pic18Write(Session& s, const ChipImage& image, const Pic18Parts& parts) {
    const Pic18Algorithm* a = algorithmFor(s);
    if (a == nullptr) return kPassFailed;
    beginOperation(s);
    return endOperation(s, writeParts(s, *a, image, parts));
}

}  // namespace ferrolux
