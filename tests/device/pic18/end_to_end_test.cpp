// The PIC18 operations against simulated 18F452, 18F1320, 18F2550 and
// 18F4620 chips on the serial board, the parallel adapters and the FTDI
// cable: erase, write, verify and read back, and the faults a chip shows.
#include <gtest/gtest.h>

#include <algorithm>

#include "device/passes.h"
#include "device/pic18/pic18.h"
#include "link/detect.h"
#include "platform/ftdi_serial_port.h"
#include "sim/sim_ftdi.h"
#include "sim/virtual_pic18.h"
#include "support/sim_bench.h"

namespace ferrolux::test {
namespace {

// What the device list gives for each chip (chip-facts-pic18.md: DS39576B
// Table 5-1, DS39592E Table 5-1, DS39622L Tables 3-4 and 5-2).
struct Listed {
    const char* name;
    int family;
    int codeWords;
    int dataBytes;
    int bufferBytes;
    int deviceId;
};

constexpr Listed kChips[] = {
    {"PIC18F452", 11, 16384, 256, 8, 0x0420},
    {"PIC18F1320", 12, 4096, 256, 8, 0x07C0},
    {"PIC18F2550", 13, 16384, 256, 32, 0x1240},
    {"PIC18F4620", 13, 32768, 1024, 64, 0x0C00},
};

// A session on a simulated board (or FTDI cable) with a PIC18 in its socket
// and the chip's record filled as the device list would.
struct Pic18Rig {
    Pic18Rig(const Listed& listed, const Wiring& w, bool ftdi = false)
        : board(clock, w.board), chip(*sim::findPic18Profile(listed.name)) {
        board.insertChip(&chip);
        chip.attachClock(&clock);
        Session& s = session;
        s.link.serial = w.serial;
        s.link.adapter = w.adapter;
        s.link.vppLine = w.vppLine;
        s.link.speed = 3;
        DeviceRecord& d = s.device;
        d.name = listed.name;
        d.family = listed.family;
        d.codeWords = listed.codeWords;
        d.dataBytes = listed.dataBytes;
        d.writeBufferBytes = listed.bufferBytes;
        d.deviceId = listed.deviceId;
        // The configuration masks and blank values as gputils gives them.
        for (int k = 0; k < kPic18ConfigBytes; ++k)
            d.configBytes[k] = {chip.profile().config[k].mask, chip.profile().config[k].blank};
        if (ftdi) {
            s.serialOpener = &ftdiOpener;
            s.link.portName = "ftdi:SIM1";
            EXPECT_EQ(openComPort(s), 0) << s.message;
        } else if (w.serial) {
            s.port.comHandle = board.openSerial();
            s.link.lineSense = 1;
        } else {
            s.port.driverLibrary = &board;
            s.port.driverUsable = true;
        }
    }

    // No cycle cut short, refused or misunderstood.
    std::uint64_t faults() {
        return chip.lostWrites() + chip.refusedWrites() + chip.ignoredCommands() +
               chip.unknownOpcodes() + chip.unknownEraseKeys();
    }

    sim::SimClock clock;
    sim::SimBoard board;
    sim::VirtualPic18 chip;
    sim::SimFtdiOpener adapters{board, clock};
    platform::FtdiSerialOpener ftdiOpener{adapters};
    Session session{clock};
};

// Code over several buffers, across the 8 KB panel boundary and up to the
// last byte; all eight IDs; configuration bytes at their blank values but
// for the oscillator, WDTEN and LVP; EEPROM at both ends.
ChipImage testImage(const DeviceRecord& d) {
    ChipImage image;
    auto& b = image.pic18;
    const int end = d.codeWords * 2;
    for (int start : {0, 0x1FE0, end - 0x50})
        for (int a = start; a < start + 0x48 && a < end; ++a)
            b.code[static_cast<std::uint32_t>(a)] = static_cast<std::uint8_t>(a * 7 + 3);
    b.code[static_cast<std::uint32_t>(end / 2 + 1)] = 0x5A;  // one byte alone in its buffer
    for (int k = 0; k < kPic18IdBytes; ++k)
        b.ids[k] = static_cast<std::uint8_t>(0x10 * k + 1);
    for (int k = 0; k < kPic18ConfigBytes; ++k) {
        const ConfigByteSpec& c = d.configBytes[k];
        if (c.mask != 0) b.config[k] = static_cast<std::uint8_t>(c.blank & c.mask);
    }
    *b.config[1] &= 0xFE;  // CONFIG1H: another oscillator
    *b.config[3] &= 0xFE;  // CONFIG2H: WDTEN off
    *b.config[6] &= 0xFB;  // CONFIG4L: LVP off
    for (int k : {0, 1, 0x7F, d.dataBytes - 1})
        b.data[k] = static_cast<std::uint8_t>(k % 2 ? 0xA5 : 0x5A);
    return image;
}

struct Pic18OnBoard : ::testing::TestWithParam<std::tuple<int, int>> {};

TEST_P(Pic18OnBoard, EraseWriteVerifyAndReadBack) {
    const auto [chipIndex, wiringIndex] = GetParam();
    Pic18Rig rig(kChips[chipIndex], allWirings()[std::max(wiringIndex, 0)], wiringIndex < 0);
    Session& s = rig.session;
    rig.chip.setByteAt(0x0100, 0x00);  // a used chip
    rig.chip.setEepromByte(2, 0x00);

    int id = -1, revision = -1;
    ASSERT_EQ(pic18ReadDeviceId(s, id, &revision), 0) << s.message;
    EXPECT_EQ(id, kChips[chipIndex].deviceId);
    EXPECT_EQ(revision, rig.chip.profile().deviceId & 0x1F);

    const ChipImage image = testImage(s.device);
    ASSERT_EQ(pic18Erase(s), 0) << s.message;
    ASSERT_EQ(pic18Write(s, image), 0) << s.message;
    EXPECT_EQ(pic18Verify(s, image), 0) << s.message;
    EXPECT_EQ(rig.faults(), 0u);
    EXPECT_FALSE(rig.chip.inProgrammingMode());

    // Read back whole, and the chip's own cells: blank where the image has nothing.
    ChipImage::Bytes18 read;
    ASSERT_EQ(pic18Read(s, read, true), 0) << s.message;
    const auto& b = image.pic18;
    ASSERT_EQ(read.code.size(), static_cast<std::size_t>(s.device.codeWords) * 2);
    for (auto [address, value] : read.code) {
        const auto it = b.code.find(address);
        ASSERT_EQ(value, it == b.code.end() ? 0xFF : it->second) << std::hex << address;
        ASSERT_EQ(rig.chip.byteAt(address), value) << std::hex << address;
    }
    EXPECT_EQ(read.ids, b.ids);
    EXPECT_EQ(read.config, b.config);
    EXPECT_EQ(rig.chip.byteAt(0x300006) & 0x04, 0);  // LVP off
    ASSERT_EQ(read.data.size(), static_cast<std::size_t>(s.device.dataBytes));
    for (auto [k, value] : read.data) {
        const auto it = b.data.find(k);
        ASSERT_EQ(value, it == b.data.end() ? 0xFF : it->second) << k;
        ASSERT_EQ(rig.chip.eepromByte(static_cast<std::size_t>(k)), value) << k;
    }
}

// Every chip on the serial board and on the AN589; on the FTDI cable (-1)
// all but the 18F4620, whose 64 KB the other two read; the 18F452 on the
// P16PRO adapters too.
std::vector<std::tuple<int, int>> boardCases() {
    std::vector<std::tuple<int, int>> cases;
    for (int chip = 0; chip < 4; ++chip)
        for (int wiring : {0, 1, -1})
            if (chip != 3 || wiring >= 0) cases.emplace_back(chip, wiring);
    for (int wiring : {3, 6})
        cases.emplace_back(0, wiring);
    return cases;
}

INSTANTIATE_TEST_SUITE_P(Chips, Pic18OnBoard, ::testing::ValuesIn(boardCases()),
                         [](const auto& info) {
                             const int w = std::get<1>(info.param);
                             return std::string(kChips[std::get<0>(info.param)].name).substr(3) +
                                    "_" + (w < 0 ? std::string("Ftdi") : allWirings()[w].name);
                         });

TEST(Pic18Ftdi, ReadingTakesOneTransferPer64Bytes) {
    Pic18Rig rig(kChips[1], allWirings()[0], true);  // 8 KB of code
    Session& s = rig.session;
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
    for (const Listed& listed : kChips) {
        Pic18Rig rig(listed, allWirings()[0]);
        Session& s = rig.session;
        ChipImage first;
        first.pic18.code[0x10] = 0x0F;
        ASSERT_EQ(pic18Erase(s), 0) << s.message;
        ASSERT_EQ(pic18Write(s, first), 0) << s.message;
        ChipImage second;
        second.pic18.code[0x10] = 0xF0;
        EXPECT_EQ(pic18Write(s, second), kPassMismatch) << listed.name;
        EXPECT_EQ(s.message, "Verify failed at Adr: 000010\n\nFile:    F0\nRead: 00\n");
        EXPECT_EQ(s.pass.targetAddress, 0x10);
        EXPECT_EQ(pic18Verify(s, second), kPassMismatch);
    }
}

TEST(Pic18Faults, An18F452WrittenTheWayOfThe18F2xxxKeepsItsEeprom) {
    // Listed under the wrong group: no 55h/AAh before WR, other erase keys.
    Pic18Rig rig(kChips[0], allWirings()[1]);
    Session& s = rig.session;
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
