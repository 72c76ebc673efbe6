#include "files/checksum.h"

namespace ferrolux {

namespace {

int checksum18(const DeviceRecord& d, const ChipImage::Bytes18& image) {
    unsigned sum = 0;
    const auto bytes = static_cast<std::uint32_t>(d.codeWords) * 2;
    // Erased bytes first, then each byte the image holds in place of its FF.
    sum += bytes * 0xFFu;
    for (const auto& [address, value] : image.code)
        if (address < bytes) sum += value - 0xFFu;
    for (std::size_t k = 0; k < image.config.size(); ++k) {
        const ConfigByte& byte = d.configBytes[k];
        if (byte.mask == 0) continue;
        const int value = image.config[k] ? *image.config[k] : byte.blank;
        sum += static_cast<unsigned>(value & byte.mask);
    }
    return static_cast<int>(sum & 0xFFFFu);
}

}  // namespace

int chipChecksum(const DeviceRecord& d, const ChipImage& image) {
    if (pic18Core(d)) return checksum18(d, image.pic18);
    const unsigned blank = static_cast<unsigned>(blankWord(d));
    unsigned sum = 0;
    for (int address = 0; address < d.codeWords; ++address) {
        const auto it = image.words.find(address);
        sum += it == image.words.end() ? blank : static_cast<unsigned>(it->second) & blank;
    }
    sum += static_cast<unsigned>(image.config.value_or(static_cast<int>(blank)) & configMaskOf(d));
    if (!twelveBitCore(d) && d.config2Mask != 0)
        sum += static_cast<unsigned>(image.config2.value_or(0x3FFF) & d.config2Mask);
    return static_cast<int>(sum & 0xFFFFu);
}

ChipImage heldAfterWrite(const DeviceRecord& d, ChipImage image, const ChipValues& values,
                         bool code, bool config, bool erased) {
    if (config) {
        image.config = values.configWord;
        if (d.config2Mask != 0) image.config2 = values.config2Word;
        for (std::size_t k = 0; k < image.pic18.config.size(); ++k) {
            const int mask = d.configBytes[k].mask;
            if (image.pic18.config[k] && mask != 0)
                image.pic18.config[k] = static_cast<std::uint8_t>(values.configBytes[k] & mask);
        }
    } else if (erased) {
        image.config.reset();
        image.config2.reset();
        image.pic18.config = {};
    }
    if (!code && erased) {
        std::erase_if(image.words, [&d](const auto& w) { return w.first < d.codeWords; });
        image.pic18.code.clear();
    }
    return image;
}

int readbackChecksum(const DeviceRecord& d, const std::string& file) {
    ChipImage image;
    std::string message;
    if (!readChipImage(file, d, image, message)) return -1;
    return chipChecksum(d, image);
}

}  // namespace ferrolux
