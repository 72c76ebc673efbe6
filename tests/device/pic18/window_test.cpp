// gpasm programs for the PIC18 chips through the main window, as a user runs
// them: Write, Verify and Save on every wiring and on the FTDI cable, then
// the readback opened and verified in turn; and the faults a chip shows to
// the operations themselves.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "device/passes.h"
#include "device/pic18/pic18.h"
#include "files/device_list.h"
#include "files/hex_image.h"
#include "files/state_file.h"
#include "link/detect.h"
#include "platform/ftdi_serial_port.h"
#include "sim/sim_ftdi.h"
#include "sim/virtual_pic18.h"
#include "support/recording_window.h"
#include "support/sim_bench.h"
#include "support/temp_dir.h"
#include "ui/control_ids.h"
#include "ui/main_window.h"
#include "ui/window_reporter.h"

namespace ferrolux::test {
namespace {

const char* const kChips[] = {"PIC18F452", "PIC18F1320", "PIC18F2550", "PIC18F4620"};

std::filesystem::path program(const std::string& chip) {
    std::string lower = chip.substr(3);
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return std::filesystem::path(FERROLUX_TEST_HEX_DIR) / ("pic18_" + lower + ".hex");
}

// The shipped device list in a program directory, a simulated board (or the
// FTDI cable) with the chip in its socket, the chip chosen from the list.
struct WindowRig {
    TempDir dir;
    RecordingWindow window;
    ui::WindowReporter shown{window};
    sim::SimClock clock;
    sim::SimBoard board;
    sim::VirtualPic18 chip;
    sim::SimFtdiOpener adapters{board, clock};
    platform::FtdiSerialOpener ftdiOpener{adapters};
    Session s{clock, &shown};
    ui::MainWindow main{s, window};

    WindowRig(const std::string& name, const Wiring& w, bool ftdi)
        : board(clock, w.board), chip(*sim::findPic18Profile(name)) {
        board.insertChip(&chip);
        chip.attachClock(&clock);
        std::filesystem::copy_file(std::filesystem::path(FERROLUX_SOURCE_DIR) / "data/kestrum.ini",
                                   dir.path() / "kestrum.ini");
        s.programDir = dir.path();
        s.outputDir = dir.path();
        loadState(s);
        s.link.serial = w.serial;
        s.link.adapter = w.adapter;
        s.link.vppLine = w.vppLine;
        s.link.speed = 3;
        s.vppWarned = true;  // the 12.5 V question has its own test
        if (ftdi) {
            s.serialOpener = &ftdiOpener;
            s.link.portName = "ftdi:SIM1";
        } else if (w.serial) {
            s.port.comHandle = board.openSerial();
            s.link.lineSense = 1;
        } else {
            s.port.driverLibrary = &board;
            s.port.driverUsable = true;
        }
        fillChipList(s);
        const auto& names = window.lists[ctl::kChipList];
        window.selectListItem(
            ctl::kChipList,
            static_cast<int>(std::find(names.begin(), names.end(), name) - names.begin()));
        selectDevice(s);
    }

    // A command's ending: "" when it ended with OK, else what was shown.
    std::string ended(int result) {
        if (result == 0 && main.lastEnding() == ui::Ending::ok) return "";
        return s.message.empty() && !window.boxes.empty() ? window.boxes.back().text : s.message;
    }
    int open(const std::filesystem::path& hex) {
        window.pickedFiles.push_back(hex.string());
        s.file.quiet = true;
        return main.openFile();
    }
    std::string write() {
        for (int box : {ctl::kWriteCodeBox, ctl::kWriteDataBox, ctl::kWriteConfigBox,
                        ctl::kEraseBeforeWriteBox})
            window.check(box, true);
        return ended(main.write());
    }
    std::string verify() {
        window.check(ctl::kVerifyCodeBox, true);
        window.check(ctl::kVerifyDataBox, true);
        return ended(main.verify());
    }
    std::string save() {
        window.check(ctl::kSaveHexRadio, true);
        window.check(ctl::kSaveTextRadio, false);
        return ended(main.save());
    }
};

struct Pic18Window : ::testing::TestWithParam<std::tuple<int, int>> {};

TEST_P(Pic18Window, GpasmProgramWrittenVerifiedAndReadBack) {
    const auto [chipIndex, wiringIndex] = GetParam();
    const std::string name = kChips[chipIndex];
    WindowRig rig(name, allWirings()[std::max(wiringIndex, 0)], wiringIndex < 0);
    ASSERT_EQ(rig.s.device.name, name);
    rig.chip.setByteAt(0x40, 0x00);  // a used chip
    rig.chip.setEepromByte(0, 0x00);

    ASSERT_EQ(rig.open(program(name)), 0) << rig.s.message;
    ASSERT_EQ(rig.write(), "");
    EXPECT_NE(rig.window.texts[ctl::kDevIdField].find(name), std::string::npos);
    // What gpasm put in the file is in the chip.
    EXPECT_EQ(rig.chip.byteAt(0), 0x55);
    EXPECT_EQ(rig.chip.byteAt(0x40), 0xFF);
    EXPECT_EQ(rig.chip.byteAt(0x200007), 0xEF);
    EXPECT_EQ(rig.chip.byteAt(0x300006) & 0x04, 0);  // LVP off
    EXPECT_EQ(rig.chip.eepromByte(0), 'E');
    EXPECT_EQ(rig.chip.eepromByte(7), 0x34);
    if (name != "PIC18F1320") {
        EXPECT_EQ(rig.chip.byteAt(0x6FFE), 0xF0);
    }
    ASSERT_EQ(rig.verify(), "");

    // The readback holds every cell as the chip does, and opens as a file
    // for the chip.
    ASSERT_EQ(rig.save(), "");
    rig.s.chip.configBytes = {};
    ASSERT_EQ(rig.open(rig.dir.path() / "readback.hex"), 0) << rig.s.message;
    EXPECT_EQ(rig.s.chip.configBytes[6] & 0x04, 0);
    HexFile back;
    std::string why;
    ASSERT_TRUE(readHexFile((rig.dir.path() / "readback.hex").string(), hexRulesFor(rig.s.device),
                            back, why))
        << why;
    ASSERT_EQ(back.bytes.size(), rig.s.device.codeWords * 2u + kPic18IdBytes + kPic18ConfigBytes +
                                     rig.s.device.dataBytes);
    for (const auto& [address, byte] : back.bytes) {
        const bool data = address >= kPic18DataBase;
        const int cell =
            data ? rig.chip.eepromByte(address - kPic18DataBase) : rig.chip.byteAt(address);
        ASSERT_EQ(byte.value, cell) << std::hex << address;
    }
    EXPECT_EQ(rig.chip.lostWrites() + rig.chip.refusedWrites() + rig.chip.ignoredCommands() +
                  rig.chip.unknownOpcodes(),
              0u);
    EXPECT_FALSE(rig.chip.inProgrammingMode());
}

// Every chip on every wiring and on the FTDI cable (-1).
std::vector<std::tuple<int, int>> windowCases() {
    std::vector<std::tuple<int, int>> cases;
    for (int chip = 0; chip < 4; ++chip)
        for (int wiring = -1; wiring < static_cast<int>(allWirings().size()); ++wiring)
            cases.emplace_back(chip, wiring);
    return cases;
}

INSTANTIATE_TEST_SUITE_P(Chips, Pic18Window, ::testing::ValuesIn(windowCases()),
                         [](const auto& info) {
                             const int w = std::get<1>(info.param);
                             return std::string(kChips[std::get<0>(info.param)]).substr(3) + "_" +
                                    (w < 0 ? std::string("Ftdi") : allWirings()[w].name);
                         });

// A protected chip: its readback warns and holds zeros; "Disable
// Codeprotection" erases it whole; another group's chip in the socket is
// asked about before a write.
TEST(Pic18Window, ProtectionAndAChipOfAnotherType) {
    WindowRig rig("PIC18F2550", allWirings()[0], false);
    ASSERT_EQ(rig.open(program("PIC18F2550")), 0) << rig.s.message;
    ASSERT_EQ(rig.write(), "");
    rig.chip.protect(true, true);
    ASSERT_EQ(rig.save(), "");
    ASSERT_FALSE(rig.window.boxes.empty());
    EXPECT_EQ(rig.window.boxes.back().title, "Warning!");
    EXPECT_NE(rig.window.boxes.back().text.find("code and data memory reads as zeros"),
              std::string::npos);
    rig.window.answers = {ui::Answer::ok};
    rig.main.command(ctl::kDisableProtection);
    ASSERT_EQ(rig.main.lastEnding(), ui::Ending::ok) << rig.s.message;
    EXPECT_EQ(rig.chip.byteAt(0), 0xFF);
    EXPECT_EQ(rig.chip.byteAt(0x300008), 0x0F);  // CONFIG5L: no CP bit left
    EXPECT_EQ(rig.chip.eepromByte(0), 0xFF);

    WindowRig other("PIC18F4550", allWirings()[0], false);
    other.board.removeChip();
    sim::VirtualPic18 chip2550(*sim::findPic18Profile("PIC18F2550"));
    chip2550.attachClock(&other.clock);
    other.board.insertChip(&chip2550);
    ASSERT_EQ(other.open(program("PIC18F2550")), 0) << other.s.message;
    other.window.answers = {ui::Answer::cancel};
    EXPECT_NE(other.write(), "");
    EXPECT_NE(other.window.boxes.back().text.find("belongs to PIC18F2550, not to PIC18F4550"),
              std::string::npos);
    EXPECT_EQ(chip2550.byteAt(0), 0xFF);
}

// Reading on the FTDI cable goes 64 bytes to a transfer.
TEST(Pic18Ftdi, ReadingTakesOneTransferPer64Bytes) {
    WindowRig rig("PIC18F1320", allWirings()[0], true);  // 8 KB of code
    Session& s = rig.s;
    ASSERT_EQ(openComPort(s), 0) << s.message;
    const auto* port = s.port.comHandle->bitBang();
    ASSERT_NE(port, nullptr);
    rig.chip.setByteAt(0x1FFF, 0x12);
    const std::uint64_t before = port->transfers();
    ChipImage::Bytes18 read;
    ASSERT_EQ(pic18Read(s, read, false), 0) << s.message;
    EXPECT_EQ(read.code[0x1FFF], 0x12);
    EXPECT_LE(port->transfers() - before, 8192u / 64 + 8);
}

TEST(Pic18Faults, AWriteWithoutEraseReadsBackTheMixAndFails) {
    for (const char* name : kChips) {
        WindowRig rig(name, allWirings()[0], false);
        Session& s = rig.s;
        ChipImage first;
        first.pic18.code[0x10] = 0x0F;
        ASSERT_EQ(pic18Erase(s), 0) << s.message;
        ASSERT_EQ(pic18Write(s, first), 0) << s.message;
        ChipImage second;
        second.pic18.code[0x10] = 0xF0;
        EXPECT_EQ(pic18Write(s, second), kPassMismatch) << name;
        EXPECT_EQ(s.message, "Verify failed at Adr: 000010\n\nFile:    F0\nRead: 00\n");
        EXPECT_EQ(s.pass.targetAddress, 0x10);
        EXPECT_EQ(pic18Verify(s, second), kPassMismatch);
    }
}

TEST(Pic18Faults, An18F452WrittenTheWayOfThe18F2xxxKeepsItsEeprom) {
    // Listed under the wrong group: no 55h/AAh before WR, other erase keys.
    WindowRig rig("PIC18F452", allWirings()[1], false);
    Session& s = rig.s;
    s.device.family = 13;
    ChipImage image;
    image.pic18.data[4] = 0x3C;
    EXPECT_EQ(pic18Write(s, image, {false, false, true, false}), kPassMismatch);
    EXPECT_EQ(s.pass.targetAddress, 0xF00004);
    EXPECT_EQ(rig.chip.eepromByte(4), 0xFF);
    EXPECT_GT(rig.chip.refusedWrites(), 0u);
    rig.chip.setByteAt(0, 0x00);
    EXPECT_EQ(pic18Erase(s), 0);
    EXPECT_EQ(rig.chip.byteAt(0), 0x00);
    EXPECT_GT(rig.chip.unknownEraseKeys(), 0u);
}

}  // namespace
}  // namespace ferrolux::test
