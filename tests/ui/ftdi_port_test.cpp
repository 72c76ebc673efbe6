// The program's host opens FTDI adapters by their port names: the simulated
// board behind its simulated adapter, and real adapters through libftdi1.
#include "ui_rig.h"

namespace ferrolux::test {
namespace {

// The session is pointed at `port` as the Port menu points it at a COM port.
void usePort(UiRig& rig, const std::string& port) {
    rig.s().port.comHandle.reset();
    rig.s().link.serial = true;
    rig.s().link.portName = port;
    rig.program->host.portChosen(rig.s());
}

TEST(FtdiPort, TheSimulatedAdapterReachesTheSameChipAsSim1) {
    UiRig rig;
    rig.startOn("PIC16F628A");
    ASSERT_EQ(rig.open(example("blink_16f628a")), 0) << rig.lastBox().text;
    usePort(rig, app::kSimulatorFtdiPort);
    rig.main().command(ctl::kWriteButton);
    rig.expectOk("OK");
    ASSERT_TRUE(rig.s().port.comOpen());
    EXPECT_NE(rig.s().port.comHandle->bitBang(), nullptr);
    EXPECT_EQ(rig.chip().programWord(0), 0x2805);

    // Back on SIM1, the chip written through the adapter verifies.
    usePort(rig, "SIM1");
    rig.main().command(ctl::kVerifyButton);
    rig.expectOk("OK");
    EXPECT_EQ(rig.s().port.comHandle->bitBang(), nullptr);
}

TEST(FtdiPort, AnAdapterThatIsNotThereFailsWithTheReason) {
    UiRig rig;
    rig.startOn("PIC16F628A");
    ASSERT_EQ(rig.open(example("blink_16f628a")), 0) << rig.lastBox().text;
    usePort(rig, "ftdi:NOSUCH1");
    rig.main().command(ctl::kVerifyButton);
    rig.expectFailed();
    EXPECT_EQ(rig.lastBox().text.rfind("COM-Init-Error!\nFTDI adapter ftdi:NOSUCH1: ", 0), 0u)
        << rig.lastBox().text;
}

}  // namespace
}  // namespace ferrolux::test
