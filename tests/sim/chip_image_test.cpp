// Virtual chips saved between runs as hex files.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <sstream>

#include "icsp_host.h"
#include "sim/chip_image.h"

namespace ferrolux::sim {
namespace {

namespace fs = std::filesystem;

std::string slurp(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

void spill(const fs::path& file, const std::string& text) {
    std::ofstream(file, std::ios::binary) << text;
}

class ChipImage : public ::testing::Test {
  protected:
    void SetUp() override {
        dir = fs::temp_directory_path() /
              ("ferrolux_chip_image_" +
               std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
        fs::remove_all(dir);
    }
    void TearDown() override { fs::remove_all(dir); }

    // A chip with something in every memory.
    static void scribble(VirtualPic& chip) {
        const ChipProfile& p = chip.profile();
        for (int i = 0; i < p.codeWords; i += 7)
            chip.setProgramWord(static_cast<std::size_t>(i), static_cast<std::uint16_t>(i * 37));
        for (int i = 0; i < p.dataBytes; i += 3)
            chip.setDataByte(static_cast<std::size_t>(i), static_cast<std::uint8_t>(i ^ 0x5A));
        const std::uint32_t idBase =
            p.twelveBit() ? static_cast<std::uint32_t>(p.codeWords) : 0x2000;
        chip.setConfigWord(idBase + 1, 0x0ABC);
        chip.setConfigWord(idBase + 3, 0x0F01);
        chip.protect(true, true);
    }

    fs::path dir;
};

TEST_F(ChipImage, RoundTripIsByteExact) {
    for (const char* name : {"PIC16F877A", "PIC12F629", "PIC10F206", "PIC12C509A", "PIC16F73"}) {
        VirtualPic original(test::chipNamed(name));
        scribble(original);
        const fs::path file = chipImagePath(dir, name);
        ASSERT_TRUE(saveChipImage(original, file)) << name;

        VirtualPic copy(test::chipNamed(name));
        ASSERT_TRUE(loadChipImage(copy, file)) << name;
        EXPECT_EQ(copy.memory(), original.memory()) << name;
        const fs::path again = dir / "again.hex";
        ASSERT_TRUE(saveChipImage(copy, again));
        EXPECT_EQ(slurp(again), slurp(file)) << name;
    }
}

TEST_F(ChipImage, FourteenBitLayout) {
    VirtualPic chip(pic16f84a());
    chip.setProgramWord(0, 0x2801);
    chip.setConfigWord(0x2000, 0x1234);
    chip.setConfigWord(0x2007, 0x3FF1);
    chip.setDataByte(0, 0xA5);
    const std::string text = chipImageText(chip.profile(), chip.memory());
    EXPECT_EQ(text.substr(0, 45), ":100000000128FF3FFF3FFF3FFF3FFF3FFF3FFF3F15\r\n");
    EXPECT_NE(text.find("\r\n:084000003412FF3FFF3FFF3FB8\r\n"), std::string::npos);
    EXPECT_NE(text.find("\r\n:02400E00F13F"), std::string::npos);
    EXPECT_NE(text.find("\r\n:10420000A500FF00FF00FF00FF00FF00FF00FF00"), std::string::npos);
    EXPECT_EQ(text.substr(text.size() - 13), ":00000001FF\r\n");
    EXPECT_EQ(text.find('\n', 0), text.find("\r\n", 0) + 1);
}

TEST_F(ChipImage, TwelveBitLayoutKeepsTheBackupCalibration) {
    VirtualPic chip(test::chipNamed("PIC12F508"));
    const std::string text = chipImageText(chip.profile(), chip.memory());
    EXPECT_NE(text.find("\r\n:1003F000FF0FFF0FFF0FFF0FFF0FFF0FFF0F700C"), std::string::npos);
    EXPECT_NE(text.find("\r\n:08040000FF0FFF0FFF0FFF0F"), std::string::npos);
    EXPECT_NE(text.find("\r\n:02040800700C"), std::string::npos);
    EXPECT_NE(text.find("\r\n:021FFE00FF0F"), std::string::npos);
    EXPECT_EQ(text.find(":1042"), std::string::npos);
}

TEST_F(ChipImage, MissingFileGivesTheFactoryFreshChip) {
    VirtualPic chip(test::chipNamed("PIC12F675"));
    scribble(chip);
    chip.setProgramWord(0x3FF, 0x3FFF);
    EXPECT_TRUE(loadChipImage(chip, dir / "nothing.hex"));
    EXPECT_EQ(chip.programWord(0x3FF), 0x3480);
    EXPECT_EQ(chip.configWord(0x2007), 0x21FF);
    EXPECT_EQ(chip.programWord(0), 0x3FFF);
    EXPECT_FALSE(chip.codeProtected());
}

TEST_F(ChipImage, CorruptFileIsRefusedAndLeavesTheChipFactoryFresh) {
    VirtualPic source(pic16f628a());
    scribble(source);
    const fs::path good = dir / "good.hex";
    ASSERT_TRUE(saveChipImage(source, good));
    const std::string text = slurp(good);

    const std::string end = ":00000001FF\r\n";
    const std::string body = text.substr(0, text.size() - end.size());
    std::string badChecksum = text;
    badChecksum[10] = badChecksum[10] == '0' ? '1' : '0';
    const std::string outsideTheChip = body + ":02300000FF3F90\r\n" + end;  // word 0x1800
    const std::string wideWord = body + ":020000000040BE\r\n" + end;        // 15 bits
    const std::string oddByte = ":0100000000FF\r\n" + end;                  // half a word
    for (const std::string& corrupt : {badChecksum, body, outsideTheChip, wideWord, oddByte}) {
        const fs::path file = dir / "corrupt.hex";
        spill(file, corrupt);
        VirtualPic chip(pic16f628a());
        scribble(chip);
        EXPECT_FALSE(loadChipImage(chip, file));
        EXPECT_EQ(chip.memory(), ChipMemory::factory(chip.profile()));
    }
}

TEST_F(ChipImage, FailedSaveLeavesNoFile) {
    VirtualPic chip(pic16f84a());
    fs::create_directories(dir);
    spill(dir / "sim", "a file where the folder should be");
    const fs::path file = chipImagePath(dir, "pic16f84a");
    EXPECT_EQ(file, dir / "sim" / "PIC16F84A.hex");
    EXPECT_FALSE(saveChipImage(chip, file));
    EXPECT_FALSE(fs::exists(dir / "sim" / "PIC16F84A.hex.tmp"));

    fs::create_directories(dir / "out" / "taken.hex");  // the rename target is a folder
    EXPECT_FALSE(saveChipImage(chip, dir / "out" / "taken.hex"));
    EXPECT_FALSE(fs::exists(dir / "out" / "taken.hex.tmp"));
}

TEST_F(ChipImage, SrecordReadsTheFile) {
    if (std::system("command -v srec_cat >/dev/null 2>&1") != 0) GTEST_SKIP() << "no srec_cat";
    for (const char* name : {"PIC16F877", "PIC10F200"}) {
        VirtualPic chip(test::chipNamed(name));
        scribble(chip);
        const fs::path file = chipImagePath(dir, name);
        ASSERT_TRUE(saveChipImage(chip, file));
        const std::string check = "srec_cat '" + file.string() + "' -intel -o /dev/null";
        EXPECT_EQ(std::system(check.c_str()), 0) << name;
    }
}

}  // namespace
}  // namespace ferrolux::sim
