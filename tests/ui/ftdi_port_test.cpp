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

// Adapters the library finds get a Port menu item each (those without a
// serial number are reached only as "ftdi"); choosing one points the session
// at it by serial number.
TEST(FtdiPort, AdaptersFoundAreListedInThePortMenu) {
    struct Found : platform::FtdiOpener {
        std::unique_ptr<platform::FtdiDevice> open(const std::string&) override { return {}; }
        std::vector<platform::FtdiAdapterInfo> list() override {
            return {{"A1B2", "FT232R USB UART"}, {"", "FT231X"}, {"C3D4", ""}};
        }
        std::string lastError() const override { return "gone"; }
    } found;
    UiRig rig;
    rig.startOn("PIC16F628A");
    rig.program->host.ftdiLister = &found;
    ASSERT_TRUE(rig.main().open(false));
    EXPECT_EQ(rig.window.menuItems,
              (std::map<int, std::string>{{ctl::kPortFtdiAdapter0, "FTDI A1B2 (FT232R USB UART)"},
                                          {ctl::kPortFtdiAdapter0 + 1, "FTDI C3D4"}}));
    rig.main().command(ctl::kPortFtdiAdapter0 + 1);
    EXPECT_EQ(rig.s().link.portName, "ftdi:C3D4");
    EXPECT_TRUE(rig.window.checked[ctl::kPortFtdiAdapter0 + 1]);
    EXPECT_FALSE(rig.window.checked[ctl::kPortSimulator]);
    rig.main().command(ctl::kPortSimulator);
    EXPECT_FALSE(rig.window.checked[ctl::kPortFtdiAdapter0 + 1]);
}

}  // namespace
}  // namespace ferrolux::test
