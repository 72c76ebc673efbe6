// The readback files of blank and barely programmed chips, record by record.
#include <gtest/gtest.h>

#include "chip_rig.h"
#include "session/messages.h"

namespace ferrolux::test {
namespace {

std::vector<std::string> lines(const std::string& text) {
    std::vector<std::string> out;
    std::size_t start = 0;
    for (std::size_t end; (end = text.find("\r\n", start)) != std::string::npos; start = end + 2)
        out.push_back(text.substr(start, end - start));
    out.push_back(text.substr(start));
    return out;
}

TEST(Readback, BlankFourteenBitChipGivesTheErasedRecords) {
    ChipRig rig("PIC16F84A");
    rig.s.pass.blank = true;
    ASSERT_EQ(writeReadbackHex(rig.s), 0);
    const auto hex = lines(rig.read("readback.hex"));
    ASSERT_EQ(hex.size(), 128u + 1 + 1 + 8 + 1);
    EXPECT_EQ(hex[0], ":10000000FF3FFF3FFF3FFF3FFF3FFF3FFF3FFF3F00");
    EXPECT_EQ(hex[1], ":10001000FF3FFF3FFF3FFF3FFF3FFF3FFF3FFF3FF0");
    EXPECT_EQ(hex[128], ":084000000F000F000F000F007C");
    EXPECT_EQ(hex[129], ":02400E00FF3F72");
    EXPECT_EQ(hex[130], ":10420000FF00FF00FF00FF00FF00FF00FF00FF00B6");
    EXPECT_EQ(hex.back(), ":00000001FF");  // and no line break after it
    EXPECT_EQ(rig.s.chip.configWord, 0x3FFF);

    ASSERT_EQ(writeReadbackText(rig.s), 0);
    const auto text = lines(rig.read("readback.txt"));
    const std::pair<std::size_t, const char*> expected[] = {
        {0, "FLASH-Memory:"},
        {1, ""},
        {2, "0000: 3FFF 3FFF 3FFF 3FFF 3FFF 3FFF 3FFF 3FFF"},
        {130, ""},
        {131, "ID0: F"},
        {135, ""},
        {136, "Device-ID: 0560"},
        {138, "Config-Word: 3FFF"},
        {140, "EEPROM-Memory:"},
        {141, ""},
        {142, "2100: FF FF FF FF FF FF FF FF"},
        {text.size() - 1, "2138: FF FF FF FF FF FF FF FF"},
    };
    for (auto [line, content] : expected)
        EXPECT_EQ(text.at(line), content) << line;
    EXPECT_TRUE(rig.s.pass.blank);
}

TEST(Readback, TwelveBitChipHasNoDeviceIdAndNoDataMemory) {
    ChipRig rig("PIC12C508");
    ASSERT_EQ(writeReadbackHex(rig.s), 0);
    const auto hex = lines(rig.read("readback.hex"));
    ASSERT_EQ(hex.size(), 64u + 3);
    EXPECT_EQ(hex[64], ":080400000F000F000F000F00B8");
    EXPECT_EQ(hex[65], ":021FFE00FF0FD3");
    EXPECT_EQ(hex[66], ":00000001FF");

    ASSERT_EQ(writeReadbackText(rig.s), 0);
    const std::string text = rig.read("readback.txt");
    EXPECT_EQ(text.find("Device-ID"), std::string::npos);
    EXPECT_EQ(text.substr(text.size() - 17), "Config-Word: 0FFF");

    // A larger chip's IDs follow its last code word, so its readback is a
    // file the chip accepts and verifies against.
    ChipRig big("PIC12C509");
    big.chip.setConfigWord(0x400, 0x5);
    ASSERT_EQ(writeReadbackHex(big.s), 0);
    EXPECT_EQ(lines(big.read("readback.hex"))[128], ":0808000005000F000F000F00BE");
    big.s.file.hexPath = (big.dir.path() / "readback.hex").string();
    ASSERT_EQ(validateHexFile(big.s), 0) << big.s.message;
    big.s.pass.verifyOnly = 1;
    EXPECT_EQ(programCode12Bit(big.s), 0) << big.s.message;
}

TEST(Readback, OneProgrammedWordClearsTheBlankFlagAndIdsKeepTheirLowNibble) {
    ChipRig rig("PIC16F628A");
    rig.chip.setProgramWord(2047, 0x0000);
    rig.chip.setConfigWord(0x2001, 0x3FFA);
    rig.s.pass.blank = true;
    ASSERT_EQ(writeReadbackHex(rig.s), 0);
    EXPECT_FALSE(rig.s.pass.blank);
    EXPECT_EQ(rig.s.chip.idValues[1], 0xA);
    EXPECT_NE(rig.read("readback.hex").find(":084000000F000A000F000F00"), std::string::npos);

    ChipRig f2("PIC16F877");  // family 2 reaches its data memory by re-entering
    f2.chip.setDataByte(0, 0x12);
    f2.chip.setDataByte(255, 0x34);
    ASSERT_EQ(writeReadbackText(f2.s), 0);
    const std::string text = f2.read("readback.txt");
    EXPECT_NE(text.find("2100: 12 FF"), std::string::npos);
    EXPECT_EQ(text.substr(text.size() - 3), " 34");
}

// The names in the rig's folder that belong to a readback, temporaries included.
std::vector<std::string> readbackNames(const ChipRig& rig) {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(rig.dir.path())) {
        const std::string name = entry.path().filename().string();
        if (name.find("readback") != std::string::npos) names.push_back(name);
    }
    return names;
}

TEST(Readback, EmptyTwelveBitSocketFailsInBothFormsAndAFileLeavesNoTemporary) {
    for (auto writer : {writeReadbackHex, writeReadbackText}) {
        ChipRig empty("PIC12C508");
        empty.bench.board.removeChip();
        EXPECT_EQ(writer(empty.s), 1);
        EXPECT_EQ(empty.s.message, kNoPicOnBoard);
        EXPECT_TRUE(readbackNames(empty).empty());

        ChipRig rig("PIC12C508");
        ASSERT_EQ(writer(rig.s), 0);
        ASSERT_EQ(writer(rig.s), 0);  // again, over the first file
        EXPECT_EQ(readbackNames(rig).size(), 1u);
    }
}

}  // namespace
}  // namespace ferrolux::test
