// The serial board on a simulated FTDI adapter in synchronous bit-bang: every
// family written, verified and read back through the main window, the pins
// the board's lines sit on, and an adapter that fails.
#include <gtest/gtest.h>

#include "chip_rig.h"
#include "platform/ftdi_serial_port.h"
#include "sim/sim_ftdi.h"

namespace ferrolux::test {
namespace {

// A rig whose board hangs on the simulated adapter "ftdi:SIM1".
struct FtdiRig : ChipRig {
    sim::SimFtdiOpener adapters{bench.board, bench.clock};
    platform::FtdiSerialOpener opener{adapters};

    explicit FtdiRig(const std::string& chip) : ChipRig(chip) {
        s.port.comHandle.reset();  // the rig's own serial port
        s.serialOpener = &opener;
        s.link.portName = "ftdi:SIM1";
        s.link.lineSense = 0;
    }
    platform::FtdiSerialPort* port() {
        return s.port.comOpen() ? s.port.comHandle->bitBang() : nullptr;
    }
};

std::filesystem::path programOf(int family) {
    if (family == 9) {
        return std::filesystem::path(FERROLUX_TEST_HEX_DIR) / "flash12_12f508_first.hex";
    }
    return testHex(family);
}

TEST(Ftdi, EveryFamilyWritesVerifiesAndReadsBack) {
    for (int family = 1; family <= 9; ++family) {
        SCOPED_TRACE(family);
        FtdiRig rig(family == 9 ? "PIC12F508" : chipOfFamily(family));
        ASSERT_EQ(rig.open(programOf(family)), 0) << rig.s.message;
        ASSERT_EQ(rig.write(), "");
        ASSERT_NE(rig.port(), nullptr);
        EXPECT_EQ(rig.s.link.lineSense, 1);  // found by the break / RING loop-back
        EXPECT_GT(rig.port()->transfers(), 0u);
        ASSERT_EQ(rig.verify(), "");

        ASSERT_NE(checkLink(rig.s), 0) << rig.s.message;
        ASSERT_EQ(writeReadbackHex(rig.s), 0) << rig.s.message;
        sendIcsp(rig.s, LEAVE_PGM, 0);
        std::ifstream in(programOf(family));
        const auto file = hexWords({std::istreambuf_iterator<char>(in), {}});
        const auto back = hexWords(rig.read("readback.hex"));
        const int codeEnd = family >= 8 ? 0x200 : 0x2000;
        for (auto [address, word] : file) {
            if (address >= codeEnd) continue;
            ASSERT_TRUE(back.count(address)) << std::hex << address;
            EXPECT_EQ(back.at(address), word) << std::hex << address;
        }
    }
}

TEST(Ftdi, BoardLinesSitOnTheirPinsInvertedByTheLevelShifter) {
    FtdiRig rig("PIC16F84A");
    ASSERT_NE(checkLink(rig.s), 0) << rig.s.message;
    sim::SimBoard& board = rig.bench.board;
    const auto& pins = rig.port()->wiring();
    EXPECT_EQ(pins.rts.mask, platform::kFtdiRts);
    EXPECT_EQ(pins.dtr.mask, platform::kFtdiDtr);
    EXPECT_EQ(pins.txd.mask, platform::kFtdiTxd);
    EXPECT_EQ(pins.cts.mask, platform::kFtdiCts);
    EXPECT_EQ(pins.ring.mask, platform::kFtdiRi);
    // Programming mode: Vpp on is break clear, TXD high; clock and data low
    // are RTS and DTR set, their pins low.
    sendIcsp(rig.s, ENTER_PGM, 0);
    EXPECT_TRUE(board.lines().vpp);
    EXPECT_FALSE(board.lines().clock);
    EXPECT_EQ(rig.port()->pins() & pins.outputs(), platform::kFtdiTxd);
    // A read leaves the data line released: DTR clear, its pin high.
    sendIcsp(rig.s, READ_DATA_PROGRAM, 0);
    EXPECT_EQ(rig.port()->pins() & pins.outputs(), platform::kFtdiTxd | platform::kFtdiDtr);
    sendIcsp(rig.s, LEAVE_PGM, 0);
    EXPECT_FALSE(board.lines().vpp);
    EXPECT_EQ(rig.port()->pins() & platform::kFtdiTxd, 0);
}

TEST(Ftdi, FailingAdapterIsAFailureWithItsReason) {
    {
        FtdiRig rig("PIC16F84A");
        rig.adapters.refuseOpen("no device found");
        EXPECT_EQ(checkLink(rig.s), 0);
        EXPECT_EQ(rig.s.message, "COM-Init-Error!\nFTDI adapter ftdi:SIM1: no device found");
    }
    {
        FtdiRig rig("PIC16F84A");
        rig.s.link.portName = "ftdi:A5XK3RJT";
        EXPECT_EQ(checkLink(rig.s), 0);
        EXPECT_NE(rig.s.message.find("no adapter with serial number A5XK3RJT"), std::string::npos);
    }
    {
        // The adapter stops answering in the middle of a write, or of an
        // erase that reads nothing back: the command fails with the reason.
        for (auto [command, bytes] : {std::pair{0, 20'000}, std::pair{ctl::kEraseCode, 2'000},
                                      std::pair{ctl::kSaveButton, 2'000}}) {
            FtdiRig rig("PIC16F84A");
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
            EXPECT_EQ(rig.read("readback.hex"), "");  // no file of words never read
        }
    }
}

}  // namespace
}  // namespace ferrolux::test
