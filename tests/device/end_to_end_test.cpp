// A real program on a chip of every family, every flash 12-bit chip and
// today's mid-range chips, on every programmer wiring and the FTDI adapter:
// written through the main window, kept across runs, verified and read back;
// calibration words kept through writes, erases and "Disable Codeprotection".
#include <gtest/gtest.h>

#include <cstdlib>

#include "chip_rig.h"
#include "device/chip_service.h"
#include "session/messages.h"
#include "ui/config_dialog.h"

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

const char* const kFlash12[] = {"PIC12F508", "PIC12F509", "PIC16F54",  "PIC16F57",
                                "PIC10F200", "PIC10F202", "PIC10F204", "PIC10F206"};
const char* const kMidRange[] = {"PIC12F683", "PIC16F631", "PIC16F677", "PIC16F684", "PIC16F685",
                                 "PIC16F687", "PIC16F688", "PIC16F689", "PIC16F690", "PIC16F913",
                                 "PIC16F914", "PIC16F916", "PIC16F917", "PIC16F882", "PIC16F883",
                                 "PIC16F884", "PIC16F886", "PIC16F887", "PIC12F615", "PIC16F616"};

// Mid-range chips take low-voltage entry only where they have a PGM pin (the
// 16F88x); the FTDI adapter carries a chip of each family.
std::vector<Case> allCases() {
    std::vector<Case> cases;
    auto wirings = allWirings();
    wirings.push_back(ftdiWiring());
    for (const Wiring& w : wirings) {
        for (int family = 1; family <= 8; ++family)
            cases.push_back({chipOfFamily(family), testHex(family), w});
        for (const char* chip : kFlash12) {
            cases.push_back({chip, hexFile("flash12_", chip, "_first"), w});
            if (w.name == "Ftdi") break;
        }
        for (const char* chip : kMidRange)
            if (w.name != "Ftdi" && (!w.lowVoltage || std::string(chip).starts_with("PIC16F88")))
                cases.push_back({chip, hexFile("midrange_", chip), w});
    }
    return cases;
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

int warningsAbout(const ChipRig& rig, const char* topic) {
    int n = 0;
    for (const auto& box : rig.window.boxes)
        n += box.title == "Warning!" && box.text.find(topic) != std::string::npos;
    return n;
}

// A flash 12-bit chip after a second program written over the first and a
// "Bulk Erase Code Memory": blank but for its factory calibration word and
// backup copy; the file's word at the last address is skipped with one
// warning per pass where the chip keeps calibration there.
void secondProgramThenCodeErase(ChipRig& rig, const Case& c) {
    const auto& factory = rig.chip.profile().calibration;
    const int codeWords = rig.s.device.codeWords;
    const auto last = static_cast<std::size_t>(codeWords - 1);
    ASSERT_EQ(rig.open(hexFile("flash12_", c.chip, "_second")), 0) << rig.s.message;
    rig.window.boxes.clear();
    ASSERT_EQ(rig.write(), "");
    ASSERT_EQ(rig.verify(), "");
    EXPECT_EQ(rig.chip.programWord(0), 0x0CAA);
    EXPECT_EQ(rig.chip.programWord(last), factory ? *factory : 0x0C33);
    EXPECT_EQ(rig.chip.configWord(codeWords), 0x3);
    EXPECT_EQ(warningsAbout(rig, "calibration"), factory ? 2 : 0);

    rig.main.command(ctl::kEraseCode);
    ASSERT_EQ(rig.main.lastEnding(), ui::Ending::ok) << rig.s.message;
    for (std::size_t w = 0; w < last; ++w)
        ASSERT_EQ(rig.chip.programWord(w), 0x0FFF) << w;
    EXPECT_EQ(rig.chip.programWord(last), factory ? *factory : 0x0FFF);
    for (int id = 0; id < 4; ++id)
        EXPECT_EQ(rig.chip.configWord(codeWords + id), 0x0FFF);
    EXPECT_TRUE(!rig.s.device.calibrationBackup || rig.chip.configWord(codeWords + 4) == *factory);
    EXPECT_EQ(rig.chip.configWord(0xFFF), rig.chip.profile().configErased());
}

// A protected mid-range chip: "Disable Codeprotection" erases all of it;
// protected again, a Write erases and programs it; the calibration words
// stay throughout. The 16F88x take at most 12 V: the user is asked once.
void unprotectRewriteAndErase(ChipRig& rig, const Case& c) {
    const DeviceRecord& d = rig.s.device;
    rig.chip.protect(true, d.dataBytes > 0);
    rig.main.command(ctl::kDisableProtection);
    ASSERT_EQ(rig.main.lastEnding(), ui::Ending::ok) << rig.s.message;
    EXPECT_FALSE(rig.chip.codeProtected() || rig.chip.dataProtected());
    EXPECT_EQ(rig.chip.programWord(0), 0x3FFF);
    EXPECT_EQ(rig.chip.dataByte(0), 0xFF);
    expectCalibrationKept(rig.chip, "Disable Codeprotection");

    ASSERT_EQ(rig.write(), "");
    rig.chip.protect(true, d.dataBytes > 0);
    ASSERT_EQ(rig.write(), "");
    ASSERT_EQ(rig.verify(), "");
    expectCalibrationKept(rig.chip, "second write");
    rig.main.command(ctl::kEraseCode);
    ASSERT_EQ(rig.main.lastEnding(), ui::Ending::ok) << rig.s.message;
    expectCalibrationKept(rig.chip, "Bulk Erase Code Memory");
    // The 16F88x and 16F91x take at most 12 V (DS41287C, DS41244E Table 6-1).
    const bool twelveVolts = c.chip.starts_with("PIC16F88") || c.chip.starts_with("PIC16F91");
    EXPECT_EQ(warningsAbout(rig, "MCLR/Vpp"), twelveVolts ? 1 : 0);
}

class EndToEnd : public ::testing::TestWithParam<Case> {};

TEST_P(EndToEnd, WriteKeepVerifyReadBackAndErase) {
    const Case& c = GetParam();
    TempDir images;
    const auto image = sim::chipImagePath(images.path(), c.chip);
    int fileConfig = 0;
    {
        ChipRig first(c.chip, c.wiring);
        ASSERT_EQ(first.open(c.program), 0) << first.s.message;
        fileConfig = first.s.chip.configWord;
        ASSERT_EQ(first.write(), "");
        if (c.wiring.name == "Ftdi") {
            auto* port = first.s.port.comOpen() ? first.s.port.comHandle->bitBang() : nullptr;
            ASSERT_NE(port, nullptr);
            EXPECT_EQ(first.s.link.lineSense, 1);  // found by the break / RING loop-back
            EXPECT_GT(port->transfers(), 0u);
        }
        ASSERT_TRUE(sim::saveChipImage(first.chip, image));
    }
    // The next run finds the program in the chip image.
    ChipRig rig(c.chip, c.wiring);
    const DeviceRecord& d = rig.s.device;
    ASSERT_TRUE(sim::loadChipImage(rig.chip, image));
    ASSERT_EQ(rig.open(c.program), 0);
    ASSERT_EQ(rig.verify(), "");
    expectCalibrationKept(rig.chip, "write");
    const bool twelveBit = twelveBitCore(d);

    ASSERT_NE(checkLink(rig.s), 0) << rig.s.message;
    rig.s.pass.blank = true;
    ASSERT_EQ(writeReadbackHex(rig.s), 0) << rig.s.message;
    ASSERT_EQ(writeReadbackText(rig.s), 0) << rig.s.message;
    sendIcsp(rig.s, LEAVE_PGM, 0);
    EXPECT_FALSE(rig.s.pass.blank);
    const int chipConfig = rig.s.chip.configWord;

    // Every word of the file is in the readback; the values are compared by
    // reading the readback in and verifying the chip against it below.
    const auto back = hexWords(rig.read("readback.hex"));
    for (auto [address, word] : hexWords(readFile(c.program)))
        EXPECT_TRUE(back.count(address)) << std::hex << address;
    const int configAt = twelveBit ? 0xFFF : 0x2007;
    EXPECT_EQ(back.at(configAt), rig.chip.configWord(configAt));
    // Only the bits the list names read back as written (the 12F629 family's
    // bandgap, the 10F20x bits 1:0 written as 1).
    EXPECT_EQ(back.at(configAt) & configMaskOf(d), fileConfig & configMaskOf(d));

    // The listing shows the same chip.
    const std::string text = rig.read("readback.txt");
    EXPECT_EQ(text.rfind("FLASH-Memory:\r\n\r\n0000: ", 0), 0u);
    EXPECT_NE(text.find(twelveBit ? "0000: 0C55" : "0000: 3055"), std::string::npos);
    EXPECT_NE(text.find("ID1: A\r\n"), std::string::npos);
    EXPECT_EQ(text.find("Device-ID: ") == std::string::npos, twelveBit);
    EXPECT_EQ(text.find("Config-Word 2: ") != std::string::npos, d.config2Mask != 0);
    for (auto [address, word] : factoryCalibration(rig.chip))
        EXPECT_NE(text.find(formatText("Calibration %04X: %04X", address, word)),
                  std::string::npos);

    // The readback is valid Intel HEX that reads back the same chip.
    const auto readback = rig.dir.path() / "readback.hex";
    if (std::system("command -v srec_cat >/dev/null 2>&1") == 0) {
        const std::string check = "srec_cat '" + readback.string() + "' -intel -o /dev/null";
        EXPECT_EQ(std::system(check.c_str()), 0);
    }
    rig.s.chip.configWord = 0;
    rig.s.chip.idValues = {};
    ASSERT_EQ(rig.open(readback), 0) << rig.s.message;
    EXPECT_FALSE(rig.image.words.empty()) << rig.s.message;
    EXPECT_EQ(rig.s.chip.configWord, chipConfig);
    EXPECT_EQ(rig.s.chip.idValues, (std::array<int, 4>{1, 0xA, 2, 0xF}));
    EXPECT_EQ(rig.verify(), "");
    if (c.chip.starts_with("PIC10F")) {
        EXPECT_EQ(rig.chip.configWord(0xFFF) & 3, 3);  // the file's 0s went in as 1
    }
    if (flash12Bit(d)) secondProgramThenCodeErase(rig, c);
    if (!factoryCalibration(rig.chip).empty()) unprotectRewriteAndErase(rig, c);
    rig.main.command(ctl::kEraseCode);
    ASSERT_EQ(rig.main.lastEnding(), epromChip(d) ? ui::Ending::failed : ui::Ending::ok)
        << rig.s.message;
    // Every cycle started was given its time and ended; no command came
    // sooner than the chip takes one.
    EXPECT_EQ(rig.chip.lostWrites(), 0u);
    EXPECT_EQ(rig.chip.earlyCommands(), 0u);
}

INSTANTIATE_TEST_SUITE_P(AllChips, EndToEnd, ::testing::ValuesIn(allCases()),
                         [](const auto& info) { return info.param.chip + info.param.wiring.name; });

// An adapter that stops answering in a write, an erase or a readback: the
// command fails with the reason and leaves no file of words never read.
TEST(Ftdi, AnAdapterThatStopsAnsweringFailsTheCommandWithItsReason) {
    for (auto [command, bytes] : {std::pair{0, 20'000}, std::pair{ctl::kEraseCode, 2'000},
                                  std::pair{ctl::kSaveButton, 2'000}}) {
        ChipRig rig("PIC16F84A", ftdiWiring());
        ASSERT_EQ(rig.open(testHex(1)), 0);
        ASSERT_NE(checkLink(rig.s), 0) << rig.s.message;
        rig.adapters.lastOpened()->failAfter(static_cast<std::uint64_t>(bytes));
        rig.window.checked[ctl::kSaveHexRadio] = true;
        if (command == 0) {
            EXPECT_EQ(rig.write().rfind("FTDI adapter failed: short read", 0), 0u);
        } else {
            rig.main.command(command);
            EXPECT_EQ(rig.main.lastEnding(), ui::Ending::failed);
            EXPECT_EQ(rig.s.message.rfind("FTDI adapter failed: short read", 0), 0u);
        }
        EXPECT_EQ(rig.read("readback.hex"), "");
    }
}

// The chip service does not hide a calibration word an erase wiped (written
// back) or lost before (not made up), nor a CONFIG2 that does not read back;
// the configuration dialog shows and writes the second word; the user who
// declines the Vpp warning leaves the chip untouched.
TEST(MidRange, CalibrationConfig2VppRefusalAndDialog) {
    ChipRig f916("PIC16F916");
    ASSERT_NE(checkLink(f916.s), 0);
    f916.chip.eraseTakesCalibration();
    ChipService service(f916.s);
    ASSERT_EQ(service.eraseChip(), 0) << f916.s.message;
    expectCalibrationKept(f916.chip, "erase");
    const auto words = service.readCalibrationWords();
    ASSERT_EQ(words.size(), 2u);
    EXPECT_EQ(words[1], (std::pair<int, int>{0x2009, *f916.chip.profile().calibration2009}));
    f916.chip.setConfigWord(0x2008, 0x3FFF);
    ASSERT_EQ(service.eraseChip(), 0) << f916.s.message;
    EXPECT_EQ(f916.chip.configWord(0x2008), 0x3FFF);

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
    EXPECT_EQ(rig.chip.configWord(0x2008), 0x3BFF);  // unimplemented bits read 1
    ASSERT_NE(checkLink(rig.s), 0);
    rig.s.chip.configWord = 0x20D4;
    rig.s.chip.config2Word = 0x3EFF;
    ChipService chip(rig.s);
    EXPECT_EQ(chip.secondConfigMask(), 0x0700);
    ASSERT_EQ(chip.writeConfig(), 0) << rig.s.message;
    EXPECT_EQ(rig.chip.configWord(0x2008), 0x3EFF);
    rig.chip.dropWritesToConfigWord();
    rig.s.chip.configWord = rig.chip.configWord(0x2007);
    rig.s.chip.config2Word = 0x3FFF;
    ASSERT_NE(checkLink(rig.s), 0);
    EXPECT_EQ(chip.writeConfig(), 1);
    EXPECT_EQ(rig.s.message, "Write Error Config-W2\n\nWrote:  3FFF\nRead: 3EFF\n");

    ChipRig declined("PIC16F886");
    declined.window.answers = {ui::Answer::cancel};
    declined.chip.setProgramWord(0, 0x1234);
    declined.main.command(ctl::kDisableProtection);
    EXPECT_EQ(declined.chip.programWord(0), 0x1234);
    EXPECT_FALSE(declined.s.vppWarned);

    ChipRig without("PIC16F690");
    ui::ConfigDialog other(without.s);
    RecordingWindow e;
    other.opened(e);
    EXPECT_EQ(e.texts[ctl::kConfig2Field], "");
}

// The chip service writes and verifies only what it is asked for.
TEST(ChipService, WriteTakesWhatItIsAskedForAndVerifyComparesIt) {
    ChipRig rig("PIC16F84A");
    ASSERT_EQ(rig.open(testHex(1)), 0);
    ChipService chip(rig.s);
    ASSERT_NE(chip.checkLink(), 0);
    ASSERT_EQ(chip.write({.eraseFirst = true, .code = true, .config = true}, rig.image).outcome,
              Outcome::ok)
        << rig.s.message;
    EXPECT_EQ(rig.chip.programWord(0), 0x3055);  // movlw 0x55
    EXPECT_EQ(rig.chip.dataByte(0), 0xFF);       // the data was not asked for
    for (auto [data, failure] : {std::pair{false, Failure::none}, {true, Failure::mismatch}}) {
        ASSERT_NE(chip.checkLink(), 0);
        EXPECT_EQ(chip.verify({true, data}, rig.image).failure, failure) << rig.s.message;
    }
}

}  // namespace
}  // namespace ferrolux::test
