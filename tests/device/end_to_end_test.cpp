// A real program for a chip of every family, written, kept across runs,
// verified and read back on every programmer wiring.
#include <gtest/gtest.h>

#include <cstdlib>

#include "chip_rig.h"

namespace ferrolux::test {
namespace {

struct Case {
    std::string chip;
    std::filesystem::path program;
    Wiring wiring;
};

void PrintTo(const Case& c, std::ostream* os) {
    *os << c.chip << " " << c.wiring.name;
}

// The flash 12-bit chips' programs, first or second (tests/device/asm/flash12.asm).
std::filesystem::path flash12Hex(const std::string& chip, const char* variant) {
    std::string lower = chip.substr(3);
    for (char& c : lower)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return std::filesystem::path(FERROLUX_TEST_HEX_DIR) /
           ("flash12_" + lower + "_" + variant + ".hex");
}

std::vector<Case> allCases() {
    std::vector<Case> cases;
    for (const Wiring& w : allWirings()) {
        for (int family = 1; family <= 8; ++family)
            cases.push_back({chipOfFamily(family), testHex(family), w});
        for (const char* chip : {"PIC12F508", "PIC12F509", "PIC16F54", "PIC16F57", "PIC10F200",
                                 "PIC10F202", "PIC10F204", "PIC10F206"})
            cases.push_back({chip, flash12Hex(chip, "first"), w});
    }
    return cases;
}

// Bits of the configuration word that read back as written on these chips.
int configReadMask(int family, const std::string& chip) {
    if (family == 4) return 0x01FF;  // bits 9-11 read 0, 12-13 are the chip's bandgap
    if (chip.rfind("PIC10F", 0) == 0) return 0x0FFC;  // bits 1:0 are written as 1
    if (family >= 8) return 0x0FFF;
    if (chip.rfind("PIC16F87", 0) == 0) return 0x3BFF;  // bit 10 does not read back
    return 0x3FFF;
}

// The flash 12-bit chip after a second program written over the first (the
// Write erases it) and a "Bulk Erase Code Memory": blank but for its factory
// calibration word and backup copy, the file's word at the last address
// skipped with one warning per pass where the chip keeps calibration there.
void secondProgramThenCodeErase(ChipRig& rig, const Case& c) {
    const auto& factory = rig.chip.profile().calibration;
    const int codeWords = rig.s.device.codeWords;
    const auto last = static_cast<std::size_t>(codeWords - 1);
    ASSERT_EQ(rig.open(flash12Hex(c.chip, "second")), 0) << rig.s.message;
    rig.window.boxes.clear();
    ASSERT_EQ(rig.write(), "");
    ASSERT_EQ(rig.verify(), "");
    EXPECT_EQ(rig.chip.programWord(0), 0x0CAA);
    EXPECT_EQ(rig.chip.programWord(last), factory ? *factory : 0x0C33);
    EXPECT_EQ(rig.chip.configWord(codeWords), 0x3);
    int warnings = 0;
    for (const auto& box : rig.window.boxes)
        warnings += box.title == "Warning!" && box.text.find("calibration") != std::string::npos;
    EXPECT_EQ(warnings, factory ? 2 : 0);

    rig.main.command(ctl::kEraseCode);
    ASSERT_EQ(rig.main.lastEnding(), ui::Ending::ok) << rig.s.message;
    for (std::size_t w = 0; w < last; ++w)
        ASSERT_EQ(rig.chip.programWord(w), 0x0FFF) << w;
    EXPECT_EQ(rig.chip.programWord(last), factory ? *factory : 0x0FFF);
    for (int id = 0; id < 4; ++id)
        EXPECT_EQ(rig.chip.configWord(codeWords + id), 0x0FFF);
    if (rig.s.device.calibrationBackup) {
        EXPECT_EQ(rig.chip.configWord(codeWords + 4), *factory);
    }
    EXPECT_EQ(rig.chip.configWord(0xFFF), rig.chip.profile().configErased());
}

class EveryFamilyAndWiring : public ::testing::TestWithParam<Case> {};

TEST_P(EveryFamilyAndWiring, WriteKeepVerifyAndReadBackMatchTheFile) {
    const Case& c = GetParam();
    const char* chipName = c.chip.c_str();
    TempDir images;
    const auto image = sim::chipImagePath(images.path(), chipName);
    int fileConfig = 0;
    {
        ChipRig first(chipName, c.wiring);
        ASSERT_EQ(first.open(c.program), 0) << first.s.message;
        fileConfig = first.s.chip.configWord;
        ASSERT_EQ(first.write(), "");
        ASSERT_TRUE(sim::saveChipImage(first.chip, image));
    }
    // The next run finds the program in the chip image.
    ChipRig rig(chipName, c.wiring);
    ASSERT_TRUE(sim::loadChipImage(rig.chip, image));
    ASSERT_EQ(rig.open(c.program), 0);
    ASSERT_EQ(rig.verify(), "");
    const bool twelveBit = twelveBitCore(rig.s.device);

    ASSERT_NE(checkLink(rig.s), 0) << rig.s.message;
    rig.s.pass.blank = true;
    ASSERT_EQ(writeReadbackHex(rig.s), 0) << rig.s.message;
    ASSERT_EQ(writeReadbackText(rig.s), 0) << rig.s.message;
    sendIcsp(rig.s, LEAVE_PGM, 0);
    EXPECT_FALSE(rig.s.pass.blank);
    const int chipConfig = rig.s.chip.configWord;

    const auto file = hexWords(readFile(c.program));
    const auto back = hexWords(rig.read("readback.hex"));
    const int idStart = twelveBit ? 0x200 : 0x2000;
    const int configAt = twelveBit ? 0xFFF : 0x2007;
    const int mask = configReadMask(rig.family(), c.chip);
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
    rig.s.chip.configWord = 0;
    rig.s.chip.idValues = {};
    ASSERT_EQ(rig.open(readback), 0) << rig.s.message;
    EXPECT_EQ(checkHexChecksums(rig.s), 0);
    EXPECT_EQ(rig.s.chip.configWord, chipConfig);
    EXPECT_EQ(rig.s.chip.idValues, (std::array<int, 4>{1, 0xA, 2, 0xF}));
    EXPECT_EQ(rig.verify(), "");
    if (c.chip.starts_with("PIC10F")) {
        EXPECT_EQ(rig.chip.configWord(0xFFF) & 3, 3);  // the file's 0s went in as 1
    }
    if (flash12Bit(rig.s.device)) secondProgramThenCodeErase(rig, c);
}

INSTANTIATE_TEST_SUITE_P(AllFamilies, EveryFamilyAndWiring, ::testing::ValuesIn(allCases()),
                         [](const auto& info) { return info.param.chip + info.param.wiring.name; });

}  // namespace
}  // namespace ferrolux::test
