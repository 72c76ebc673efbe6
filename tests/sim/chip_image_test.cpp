// Virtual chips saved between runs as hex files.
#include <gtest/gtest.h>

#include <cstdlib>

#include "icsp_host.h"
#include "sim/chip_image.h"
#include "support/temp_dir.h"

namespace ferrolux::sim {
namespace {

namespace fs = std::filesystem;

using ferrolux::test::readFile;
using ferrolux::test::TempDir;
using ferrolux::test::writeFile;

// Something in every memory, and protected.
void scribble(VirtualPic& chip) {
    const ChipProfile& p = chip.profile();
    for (int i = 0; i < p.codeWords; i += 7)
        chip.setProgramWord(static_cast<std::size_t>(i), static_cast<std::uint16_t>(i * 37));
    for (int i = 0; i < p.dataBytes; i += 3)
        chip.setDataByte(static_cast<std::size_t>(i), static_cast<std::uint8_t>(i ^ 0x5A));
    chip.setConfigWord(p.twelveBit() ? p.codeWords + 1u : 0x2001u, 0x0ABC);
    chip.protect(true, true);
}

TEST(ChipImage, RoundTripIsByteExactValidIntelHexWithRecordsAtTheirByteAddresses) {
    TempDir temp;
    const bool srec = std::system("command -v srec_cat >/dev/null 2>&1") == 0;
    for (const char* name : {"PIC16F877A", "PIC12F629", "PIC10F206", "PIC12C509A"}) {
        SCOPED_TRACE(name);
        VirtualPic original(*findProfile(name));
        scribble(original);
        const fs::path file = chipImagePath(temp.path(), name);
        ASSERT_TRUE(saveChipImage(original, file));
        VirtualPic copy(*findProfile(name));
        ASSERT_TRUE(loadChipImage(copy, file));
        EXPECT_EQ(copy.memory(), original.memory());
        ASSERT_TRUE(saveChipImage(copy, temp.path() / "again.hex"));
        EXPECT_EQ(readFile(temp.path() / "again.hex"), readFile(file));
        const std::string check = "srec_cat '" + file.string() + "' -intel -o /dev/null";
        EXPECT_EQ(srec ? std::system(check.c_str()) : 0, 0);
    }

    VirtualPic f84(pic16f84a());  // a word, an ID, the configuration word, a byte
    f84.setProgramWord(0, 0x2801);
    f84.setConfigWord(0x2000, 0x1234);
    f84.setConfigWord(0x2007, 0x3FF1);
    f84.setDataByte(0, 0xA5);
    // 12-bit: calibration in the last code word, its backup after the IDs.
    VirtualPic f508(*findProfile("PIC12F508"));
    const std::string end = ":00000001FF\r\n";
    const std::string text =
        chipImageText(f84.profile(), f84.memory()) + chipImageText(f508.profile(), f508.memory());
    EXPECT_EQ(text.rfind(":100000000128FF3FFF3FFF3FFF3FFF3FFF3FFF3F15\r\n", 0), 0u);
    for (const char* line :
         {":084000003412FF3FFF3FFF3FB8\r\n", ":02400E00F13F",
          ":10420000A500FF00FF00FF00FF00FF00FF00FF00", ":1003F000FF0FFF0FFF0FFF0FFF0FFF0FFF0F1A0C",
          ":08040000FF0FFF0FFF0FFF0F", ":020408001A0C", ":021FFE00FF0F"})
        EXPECT_NE(text.find(std::string("\n") + line), std::string::npos) << line;
    EXPECT_EQ(text.find(":1042", text.find(end)), std::string::npos);  // no data on 12-bit
    EXPECT_EQ(text.substr(text.size() - end.size()), end);
}

TEST(ChipImage, MissingFileIsFactoryFreshAndADamagedOneIsRefusedLeavingTheChip) {
    TempDir temp;
    const fs::path& dir = temp.path();
    VirtualPic f675(*findProfile("PIC12F675"));
    scribble(f675);
    EXPECT_TRUE(loadChipImage(f675, dir / "nothing.hex"));
    EXPECT_EQ(f675.memory(), ChipMemory::factory(f675.profile()));
    EXPECT_EQ(f675.programWord(0x3FF), 0x3480);
    EXPECT_EQ(f675.configWord(0x2007), 0x21FF);

    VirtualPic source(pic16f628a());
    scribble(source);
    const std::string text = chipImageText(source.profile(), source.memory());
    const std::string end = ":00000001FF\r\n";
    const std::string body = text.substr(0, text.size() - end.size());
    std::string badChecksum = text;
    badChecksum[10] = badChecksum[10] == '0' ? '1' : '0';
    for (const std::string& corrupt : {badChecksum, body,
                                       body + ":02300000FF3F90\r\n" + end,  // word 0x1800
                                       body + ":020000000040BE\r\n" + end,  // 15 bits
                                       ":0100000000FF\r\n" + end}) {        // half a word
        writeFile(dir / "corrupt.hex", corrupt);
        VirtualPic chip(pic16f628a());
        scribble(chip);
        std::string why;
        EXPECT_FALSE(loadChipImage(chip, dir / "corrupt.hex", &why));
        EXPECT_EQ(chip.memory(), source.memory());  // never taken for a blank chip
        EXPECT_NE(why.find((dir / "corrupt.hex").string()), std::string::npos) << why;
    }
}

std::vector<std::string> namesIn(const fs::path& folder) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder))
        names.push_back(entry.path().filename().string());
    return names;
}

TEST(ChipImage, FailedSaveLeavesNoFileAndTheWriteNeverFollowsAPlantedLink) {
    TempDir temp;
    const fs::path& dir = temp.path();
    VirtualPic chip(pic16f84a());
    writeFile(dir / "sim", "a file where the folder should be");
    const fs::path file = chipImagePath(dir, "pic16f84a");
    EXPECT_EQ(file, dir / "sim" / "PIC16F84A.hex");
    std::string why;
    EXPECT_FALSE(saveChipImage(chip, file, &why));
    EXPECT_NE(why.find(file.string()), std::string::npos) << why;
    fs::create_directories(dir / "out" / "taken.hex");  // the rename target is a folder
    EXPECT_FALSE(saveChipImage(chip, dir / "out" / "taken.hex"));
    EXPECT_EQ(namesIn(dir / "out"), std::vector<std::string>{"taken.hex"});

#if !defined(_WIN32)  // Windows lets only privileged programs make links
    // Links planted at the target and where a fixed temporary name would be:
    // none is written through, and the image replaces the link at the target.
    fs::create_directories(dir / "linked");
    writeFile(dir / "victim", "untouched");
    for (const char* planted : {"image.hex", "image.hex.tmp", ".image.hex.tmp"})
        fs::create_symlink(dir / "victim", dir / "linked" / planted);
    ASSERT_TRUE(saveChipImage(chip, dir / "linked" / "image.hex"));
    EXPECT_EQ(readFile(dir / "victim"), "untouched");
    EXPECT_FALSE(fs::is_symlink(dir / "linked" / "image.hex"));
    EXPECT_EQ(readFile(dir / "linked" / "image.hex"), chipImageText(chip.profile(), chip.memory()));
    EXPECT_EQ(namesIn(dir / "linked").size(), 3u);  // no temporary left
#endif
}

}  // namespace
}  // namespace ferrolux::sim
