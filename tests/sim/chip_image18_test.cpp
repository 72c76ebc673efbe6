// PIC18 chips saved between runs as INHX32 files.
#include <gtest/gtest.h>

#include "sim/chip_image.h"
#include "sim/virtual_pic18.h"
#include "support/temp_dir.h"

namespace ferrolux::sim {
namespace {

namespace fs = std::filesystem;

using ferrolux::test::readFile;
using ferrolux::test::TempDir;
using ferrolux::test::writeFile;

void scribble(VirtualPic18& chip) {
    const Pic18Profile& p = chip.profile();
    for (std::uint32_t i = 0; i < static_cast<std::uint32_t>(p.codeBytes); i += 97)
        chip.setByteAt(i, static_cast<std::uint8_t>(i * 7));
    chip.setByteAt(0x200003, 0x12);
    chip.setByteAt(0x300001, 0x02);
    for (int i = 0; i < p.eepromBytes; i += 5)
        chip.setEepromByte(static_cast<std::size_t>(i), static_cast<std::uint8_t>(i ^ 0x3C));
    chip.protect(true, true);
}

TEST(ChipImage18, RoundTripKeepsEveryPlaceInItsSegment) {
    TempDir temp;
    for (const char* name : {"PIC18F452", "PIC18F4620", "PIC18F1320"}) {
        SCOPED_TRACE(name);
        VirtualPic18 original(*findPic18Profile(name));
        scribble(original);
        const fs::path file = chipImagePath(temp.path(), name);
        ASSERT_TRUE(saveChipImage(original, file));
        VirtualPic18 copy(*findPic18Profile(name));
        ASSERT_TRUE(loadChipImage(copy, file));
        EXPECT_EQ(copy.memory(), original.memory());
        ASSERT_TRUE(saveChipImage(copy, temp.path() / "again.hex"));
        EXPECT_EQ(readFile(temp.path() / "again.hex"), readFile(file));
    }
    VirtualPic18 chip(*findPic18Profile("PIC18F452"));
    chip.setByteAt(0, 0x12);
    chip.setEepromByte(0, 0xA5);
    const std::string text = chipImageText(chip.profile(), chip.memory());
    for (const char* line :
         {":020000040000FA\r\n:1000000012FF", ":020000040020DA\r\n:08000000FF",
          ":020000040030CA\r\n:0E00000000270F0F00", ":0200000400F00A\r\n:10000000A5FF"})
        EXPECT_NE(text.find(line), std::string::npos) << line;
}

TEST(ChipImage18, MissingFileIsBlankAndADamagedOneLeavesTheChip) {
    TempDir temp;
    const fs::path& dir = temp.path();
    VirtualPic18 chip(*findPic18Profile("PIC18F2550"));
    scribble(chip);
    EXPECT_TRUE(loadChipImage(chip, dir / "nothing.hex"));
    EXPECT_EQ(chip.memory(), Pic18Memory::blank(chip.profile()));

    scribble(chip);
    const Pic18Memory before = chip.memory();
    const std::string end = ":00000001FF\r\n";
    const std::string text = chipImageText(chip.profile(), chip.memory());
    const std::string body = text.substr(0, text.size() - end.size());
    const std::string config = ":020000040030CA\r\n";
    const std::string past = ":020000040000FA\r\n:01800000007F\r\n";  // 0x8000: past the code
    for (const std::string& corrupt : {body, body + past + end,
                                       body + config + ":0100040001FA\r\n" + end,  // no 4L byte
                                       config + ":0100010030CE\r\n" + end}) {      // 1H mask CF
        writeFile(dir / "corrupt.hex", corrupt);
        std::string why;
        EXPECT_FALSE(loadChipImage(chip, dir / "corrupt.hex", &why));
        EXPECT_EQ(chip.memory(), before);
        EXPECT_NE(why.find("corrupt.hex"), std::string::npos) << why;
    }
}

}  // namespace
}  // namespace ferrolux::sim
