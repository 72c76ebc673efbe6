// A real program for a chip of every family, written, kept across runs,
// verified and read back on every programmer wiring.
#include <gtest/gtest.h>

#include <cstdlib>

#include "chip_rig.h"

namespace ferrolux::test {
namespace {

struct Case {
    int family;
    Wiring wiring;
};

std::vector<Case> allCases() {
    std::vector<Case> cases;
    for (int family = 1; family <= 8; ++family) {
        for (const Wiring& w : allWirings())
            cases.push_back({family, w});
    }
    return cases;
}

// Bits of the configuration word that read back as written on these chips.
int configReadMask(int family, const std::string& chip) {
    if (family == 4) return 0x01FF;  // bits 9-11 read 0, 12-13 are the chip's bandgap
    if (family == 8) return 0x0FFF;
    if (chip.rfind("PIC16F87", 0) == 0) return 0x3BFF;  // bit 10 does not read back
    return 0x3FFF;
}

class EveryFamilyAndWiring : public ::testing::TestWithParam<Case> {};

TEST_P(EveryFamilyAndWiring, WriteKeepVerifyAndReadBackMatchTheFile) {
    const Case& c = GetParam();
    const char* chipName = chipOfFamily(c.family);
    TempDir images;
    const auto image = sim::chipImagePath(images.path(), chipName);
    int fileConfig = 0;
    {
        ChipRig first(chipName, c.wiring);
        ASSERT_EQ(first.open(testHex(c.family)), 0) << first.s.message;
        fileConfig = first.s.configWord;
        ASSERT_EQ(first.write(), "");
        ASSERT_TRUE(sim::saveChipImage(first.chip, image));
    }
    // The next run finds the program in the chip image.
    ChipRig rig(chipName, c.wiring);
    ASSERT_TRUE(sim::loadChipImage(rig.chip, image));
    ASSERT_EQ(rig.open(testHex(c.family)), 0);
    ASSERT_EQ(rig.verify(), "");
    const bool twelveBit = c.family == 8;

    ASSERT_NE(checkLink(rig.s), 0) << rig.s.message;
    rig.s.blank = true;
    ASSERT_EQ(writeReadbackHex(rig.s), 0) << rig.s.message;
    ASSERT_EQ(writeReadbackText(rig.s), 0) << rig.s.message;
    sendIcsp(rig.s, LEAVE_PGM, 0);
    EXPECT_FALSE(rig.s.blank);
    const int chipConfig = rig.s.configWord;

    std::ifstream in(testHex(c.family));
    const auto file = hexWords({std::istreambuf_iterator<char>(in), {}});
    const auto back = hexWords(rig.read("readback.hex"));
    const int idStart = twelveBit ? 0x200 : 0x2000;
    const int configAt = twelveBit ? 0xFFF : 0x2007;
    const int mask = configReadMask(c.family, rig.s.device.name);
    for (auto [address, word] : file) {
        ASSERT_TRUE(back.count(address)) << std::hex << address;
        const int read = back.at(address);
        if (address >= idStart && address < idStart + 4) {
            EXPECT_EQ(read, word & 0xF) << "ID at " << std::hex << address;
        } else if (address == configAt) {
            EXPECT_EQ(read & mask, fileConfig & mask) << "config";
        } else if (address >= 0x2100) {
            EXPECT_EQ(read, word & 0xFF) << "data at " << std::hex << address;
        } else {
            EXPECT_EQ(read, word) << "code at " << std::hex << address;
        }
    }

    // The listing shows the same chip.
    const std::string text = rig.read("readback.txt");
    EXPECT_EQ(text.rfind("FLASH-Memory:\r\n\r\n0000: ", 0), 0u);
    EXPECT_NE(text.find(twelveBit ? "0000: 0C55" : "0000: 3055"), std::string::npos);
    EXPECT_NE(text.find("ID1: A\r\n"), std::string::npos);
    EXPECT_EQ(text.find("Device-ID: ") == std::string::npos, twelveBit);

    // The readback is valid Intel HEX that reads back the same chip.
    const auto readback = rig.dir.path() / "readback.hex";
    if (std::system("command -v srec_cat >/dev/null 2>&1") == 0) {
        const std::string check = "srec_cat '" + readback.string() + "' -intel -o /dev/null";
        EXPECT_EQ(std::system(check.c_str()), 0);
    }
    rig.s.configWord = 0;
    rig.s.idValues = {};
    ASSERT_EQ(rig.open(readback), 0) << rig.s.message;
    EXPECT_EQ(checkHexChecksums(rig.s), 0);
    EXPECT_EQ(rig.s.configWord, chipConfig);
    EXPECT_EQ(rig.s.idValues, (std::array<int, 4>{1, 0xA, 2, 0xF}));
    EXPECT_EQ(rig.verify(), "");
}

INSTANTIATE_TEST_SUITE_P(AllFamilies, EveryFamilyAndWiring, ::testing::ValuesIn(allCases()),
                         [](const auto& info) {
                             return "Family" + std::to_string(info.param.family) +
                                    info.param.wiring.name;
                         });

}  // namespace
}  // namespace ferrolux::test
