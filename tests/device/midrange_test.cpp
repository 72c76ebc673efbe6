// Today's mid-range chips on every wiring: a gpasm program written, verified
// and read back; the factory calibration words kept through write, erase and
// "Disable Codeprotection"; a protected chip erased and written again.
#include <gtest/gtest.h>

#include "chip_rig.h"
#include "device/chip_service.h"
#include "session/messages.h"
#include "ui/config_dialog.h"

namespace ferrolux::test {
namespace {

const char* const kChips[] = {"PIC12F683", "PIC16F631", "PIC16F677", "PIC16F684", "PIC16F685",
                              "PIC16F687", "PIC16F688", "PIC16F689", "PIC16F690", "PIC16F913",
                              "PIC16F914", "PIC16F916", "PIC16F917", "PIC16F882", "PIC16F883",
                              "PIC16F884", "PIC16F886", "PIC16F887", "PIC12F615", "PIC16F616"};

struct Case {
    std::string chip;
    Wiring wiring;
};

void PrintTo(const Case& c, std::ostream* os) {
    *os << c.chip << " " << c.wiring.name;
}

// Low-voltage entry only where the chip has a PGM pin (the 16F88x).
std::vector<Case> allCases() {
    std::vector<Case> cases;
    for (const char* chip : kChips) {
        const bool lvp = std::string(chip).starts_with("PIC16F88");
        for (const Wiring& w : allWirings())
            if (!w.lowVoltage || lvp) cases.push_back({chip, w});
    }
    return cases;
}

std::filesystem::path programOf(const std::string& chip) {
    std::string lower = chip.substr(3);
    for (char& c : lower)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return std::filesystem::path(FERROLUX_TEST_HEX_DIR) / ("midrange_" + lower + ".hex");
}

// The chip's factory calibration words in configuration space, by address.
std::map<int, int> factoryCalibration(sim::VirtualPic& chip) {
    std::map<int, int> words;
    const auto& p = chip.profile();
    if (p.calibration2008) words[0x2008] = *p.calibration2008;
    if (p.calibration2009) words[0x2009] = *p.calibration2009;
    return words;
}

void expectCalibrationKept(sim::VirtualPic& chip, const char* after) {
    for (auto [address, word] : factoryCalibration(chip))
        EXPECT_EQ(chip.configWord(static_cast<std::uint32_t>(address)), word)
            << after << " at " << std::hex << address;
}

class MidRange : public ::testing::TestWithParam<Case> {};

TEST_P(MidRange, WriteReadBackEraseAndUnprotectKeepTheCalibration) {
    const Case& c = GetParam();
    ChipRig rig(c.chip, c.wiring);
    const DeviceRecord& d = rig.s.device;
    ASSERT_FALSE(factoryCalibration(rig.chip).empty());
    ASSERT_EQ(rig.open(programOf(c.chip)), 0) << rig.s.message;
    ASSERT_EQ(rig.write(), "");
    ASSERT_EQ(rig.verify(), "");
    expectCalibrationKept(rig.chip, "write");

    ASSERT_NE(checkLink(rig.s), 0) << rig.s.message;
    ASSERT_EQ(writeReadbackHex(rig.s), 0) << rig.s.message;
    ASSERT_EQ(writeReadbackText(rig.s), 0) << rig.s.message;
    sendIcsp(rig.s, LEAVE_PGM, 0);
    std::ifstream in(programOf(c.chip));
    const auto file = hexWords({std::istreambuf_iterator<char>(in), {}});
    const auto back = hexWords(rig.read("readback.hex"));
    for (auto [address, word] : file) {
        ASSERT_TRUE(back.count(address)) << std::hex << address;
        const int read = back.at(address);
        if (address >= 0x2000 && address < 0x2004) {
            EXPECT_EQ(read, word & 0xF) << "ID at " << std::hex << address;
        } else if (address == 0x2007) {
            EXPECT_EQ(read & configMaskOf(d), word & configMaskOf(d)) << "config";
        } else if (address == 0x2008) {
            EXPECT_EQ(read & d.config2Mask, word & d.config2Mask) << "config 2";
        } else if (address >= 0x2100) {
            EXPECT_EQ(read, word & 0xFF) << "data at " << std::hex << address;
        } else {
            EXPECT_EQ(read, word) << "code at " << std::hex << address;
        }
    }
    const std::string text = rig.read("readback.txt");
    for (auto [address, word] : factoryCalibration(rig.chip))
        EXPECT_NE(text.find(formatText("Calibration %04X: %04X", address, word)), std::string::npos)
            << text;
    EXPECT_EQ(text.find("Config-Word 2: ") != std::string::npos, d.config2Mask != 0);

    // A protected chip: "Disable Codeprotection" erases all of it.
    rig.chip.protect(true, d.dataBytes > 0);
    rig.main.command(ctl::kDisableProtection);
    ASSERT_EQ(rig.main.lastEnding(), ui::Ending::ok) << rig.s.message;
    EXPECT_FALSE(rig.chip.codeProtected());
    EXPECT_FALSE(rig.chip.dataProtected());
    EXPECT_EQ(rig.chip.programWord(0), 0x3FFF);
    if (d.dataBytes > 0) {
        EXPECT_EQ(rig.chip.dataByte(0), 0xFF);
    }
    expectCalibrationKept(rig.chip, "Disable Codeprotection");

    // Protected again, then written over: erased first and programmed.
    ASSERT_EQ(rig.write(), "");
    rig.chip.protect(true, d.dataBytes > 0);
    ASSERT_EQ(rig.write(), "");
    ASSERT_EQ(rig.verify(), "");
    expectCalibrationKept(rig.chip, "second write");
    rig.main.command(ctl::kEraseCode);
    ASSERT_EQ(rig.main.lastEnding(), ui::Ending::ok) << rig.s.message;
    expectCalibrationKept(rig.chip, "Bulk Erase Code Memory");

    // The 16F88x take at most 12 V: the user is asked once per session.
    int vppWarnings = 0;
    for (const auto& box : rig.window.boxes)
        vppWarnings += box.title == "Warning!" && box.text.find("MCLR/Vpp") != std::string::npos;
    EXPECT_EQ(vppWarnings, c.chip.starts_with("PIC16F88") ? 1 : 0);
}

INSTANTIATE_TEST_SUITE_P(AllChips, MidRange, ::testing::ValuesIn(allCases()),
                         [](const auto& info) { return info.param.chip + info.param.wiring.name; });

// Faults the chip service must not hide: a calibration word that an erase
// wipes is written back; one that does not take fails the erase; a CONFIG2
// that does not read back fails the write; the user who declines the Vpp
// warning leaves the chip untouched.
TEST(MidRangeFaults, CalibrationConfig2AndVppRefusal) {
    {
        // An erase that takes the calibration words: both are written back.
        ChipRig rig("PIC16F916");
        ASSERT_NE(checkLink(rig.s), 0);
        rig.chip.eraseTakesCalibration();
        ChipService chip(rig.s);
        ASSERT_EQ(chip.eraseChip(), 0) << rig.s.message;
        expectCalibrationKept(rig.chip, "erase");
        const auto words = chip.readCalibrationWords();
        ASSERT_EQ(words.size(), 2u);
        EXPECT_EQ(words[1], (std::pair<int, int>{0x2009, *rig.chip.profile().calibration2009}));
        // A word lost before the erase is not made up.
        rig.chip.setConfigWord(0x2008, 0x3FFF);
        ASSERT_EQ(chip.eraseChip(), 0) << rig.s.message;
        EXPECT_EQ(rig.chip.configWord(0x2008), 0x3FFF);
    }
    {
        ChipRig rig("PIC16F887");
        ASSERT_NE(checkLink(rig.s), 0);
        rig.s.chip.configWord = 0x20D4;
        rig.s.chip.config2Word = 0x3EFF;
        ChipService chip(rig.s);
        EXPECT_EQ(chip.secondConfigMask(), 0x0700);
        ASSERT_EQ(chip.writeConfig(), 0) << rig.s.message;
        EXPECT_EQ(rig.chip.configWord(0x2008), 0x0600);
        rig.s.chip.config2Word = 0;
        ASSERT_EQ(chip.readConfig(), 0);
        EXPECT_EQ(rig.s.chip.config2Word, 0x0600);
        // Cells that no longer take: the first word reads as written, the
        // second does not.
        rig.chip.dropWritesToConfigWord();
        rig.s.chip.configWord = rig.chip.configWord(0x2007);
        rig.s.chip.config2Word = 0x3FFF;
        ASSERT_NE(checkLink(rig.s), 0);
        EXPECT_EQ(chip.writeConfig(), 1);
        EXPECT_EQ(rig.s.message, "Write Error Config-W2\n\nWrote:  3FFF\nRead: 0600\n");
    }
    {
        ChipRig rig("PIC16F886");
        rig.window.answers = {ui::Answer::cancel};
        rig.chip.setProgramWord(0, 0x1234);
        rig.main.command(ctl::kDisableProtection);
        EXPECT_EQ(rig.chip.programWord(0), 0x1234);
        EXPECT_FALSE(rig.s.vppWarned);
    }
}

}  // namespace
}  // namespace ferrolux::test

namespace ferrolux::test {
namespace {

// The configuration dialog reads, shows and writes the second word.
TEST(MidRangeDialog, SecondConfigurationWord) {
    ChipRig rig("PIC16F887");
    rig.chip.setConfigWord(0x2008, 0x0500);
    ui::ConfigDialog dialog(rig.s);
    RecordingWindow d;
    dialog.opened(d);
    ASSERT_EQ(dialog.readConfig(d), 0);
    EXPECT_EQ(d.texts[ctl::kConfig2Field], "0500");
    d.setText(ctl::kConfig2Field, "0300");
    dialog.textChanged(d, ctl::kConfig2Field);
    ASSERT_EQ(dialog.writeConfig(d), 0) << rig.s.message;
    EXPECT_EQ(rig.chip.configWord(0x2008), 0x0300);

    ChipRig without("PIC16F690");
    ui::ConfigDialog other(without.s);
    RecordingWindow e;
    other.opened(e);
    EXPECT_EQ(e.texts[ctl::kConfig2Field], "");
}

}  // namespace
}  // namespace ferrolux::test
