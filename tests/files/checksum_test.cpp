// The checksum of a chip image, summed here by hand from the chip's sizes.
#include "files/checksum.h"

#include <gtest/gtest.h>

namespace ferrolux {
namespace {

DeviceRecord chip14() {
    DeviceRecord d;
    d.name = "PIC16F887";
    d.family = 6;
    d.codeWords = 8192;
    d.configMask = 0x2FFF;
    d.config2Mask = 0x0700;
    return d;
}

TEST(Checksum, FourteenBitChipsSumEveryCodeWordAndTheImplementedConfigurationBits) {
    const DeviceRecord d = chip14();
    // Erased: 8192 words of 3FFF, the first word in its mask, the second in its own.
    EXPECT_EQ(chipChecksum(d, ChipImage{}), (8192 * 0x3FFF + 0x2FFF + 0x0700) & 0xFFFF);
    ChipImage image;
    image.words = {{0, 0x2805}, {1, 0x0000}, {0x2100, 0x12}};  // the EEPROM byte is no part
    image.config = 0x3F70;
    image.config2 = 0x3EFF;
    EXPECT_EQ(chipChecksum(d, image),
              (8190 * 0x3FFF + 0x2805 + (0x3F70 & 0x2FFF) + (0x3EFF & 0x0700)) & 0xFFFF);
}

TEST(Checksum, TwelveBitChipsCountErasedWordsAsFFF) {
    DeviceRecord d;
    d.family = 9;
    d.codeWords = 512;
    d.configMask = 0x001F;
    ChipImage image;
    image.words[0] = 0xA05;
    EXPECT_EQ(chipChecksum(d, image), (511 * 0xFFF + 0xA05 + 0x1F) & 0xFFFF);
}

TEST(Checksum, Pic18ChipsSumCodeBytesAndMaskedConfigurationBytes) {
    DeviceRecord d;
    d.family = 13;
    d.codeWords = 0x4000;  // 32 KB
    d.configBytes[1] = {0xCF, 0x07};
    d.configBytes[8] = {0x0F, 0x0F};
    ChipImage image;
    image.pic18.code = {{0, 0x12}, {1, 0x34}};
    image.pic18.config[1] = 0x22;
    // The unlisted byte counts as erased (0F); places the chip lacks not at all.
    const int expected = (0x7FFE * 0xFF + 0x12 + 0x34 + (0x22 & 0xCF) + 0x0F) & 0xFFFF;
    EXPECT_EQ(chipChecksum(d, image), expected);
}

TEST(Checksum, AfterAWriteTheConfigurationWrittenAndErasedCodeCount) {
    const DeviceRecord d = chip14();
    ChipImage file;
    file.words[0] = 0x2805;
    file.config = 0x3F70;
    ChipValues values;
    values.configWord = 0x3F50;  // set by the user
    values.config2Word = 0x3FFF;
    const ChipImage held = heldAfterWrite(d, file, values, false, true, true);
    EXPECT_TRUE(held.words.empty());
    EXPECT_EQ(held.config, 0x3F50);
    EXPECT_EQ(heldAfterWrite(d, file, values, true, false, true).config, std::nullopt);
}

}  // namespace
}  // namespace ferrolux
