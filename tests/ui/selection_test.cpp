// Start-up, exit, and the choice of port, speed and chip.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include "device/messages.h"
#include "files/state_file.h"
#include "sim/chip_image.h"
#include "support/recording_ports.h"
#include "ui/main_window.h"
#include "ui_rig.h"

namespace ferrolux::test {
namespace {

using ui::Answer;

TEST(StartUp, WithoutAStateFileCreatesItAndStartsOnCom2FirstChipMedium) {
    UiRig rig;
    ASSERT_TRUE(rig.start());
    EXPECT_EQ(rig.state().substr(0, 8), "COM20013");
    EXPECT_TRUE(rig.window.checked[ctl::kPortCom2]);
    EXPECT_FALSE(rig.window.checked[ctl::kPortSimulator]);
    EXPECT_EQ(rig.window.selections[ctl::kChipList], 0);
    EXPECT_TRUE(rig.window.checked[1104]);
    EXPECT_FALSE(rig.window.checked[1105]);
    EXPECT_TRUE(rig.window.boxes.empty());
    EXPECT_EQ(rig.window.shows, 1);
    for (int id : {ctl::kWriteCodeBox, ctl::kSaveHexRadio, ctl::kVerifyCodeBox}) {
        EXPECT_TRUE(rig.window.checked[id]) << id;
    }
    // The first chip of the sorted list is a 12-bit one: no data, no erase before writing.
    ASSERT_EQ(rig.s().device.family, 8);
    EXPECT_FALSE(rig.window.checked[ctl::kWriteDataBox]);
    EXPECT_FALSE(rig.window.checked[ctl::kEraseBeforeWriteBox]);
    for (int id :
         {ctl::kWriteConfigBox, ctl::kVerifyDataBox, ctl::kSaveTextRadio, ctl::kLowVoltBox}) {
        EXPECT_FALSE(rig.window.checked[id]) << id;
    }
    EXPECT_FALSE(rig.window.enabled[ctl::kFileField]);
    EXPECT_FALSE(rig.window.enabled[ctl::kStatusField]);
    EXPECT_TRUE(rig.s().link.serial);
    EXPECT_FALSE(rig.s().port.comOpen());

    // An exit right away writes back what was read; low voltage as start-up left it.
    rig.main().close();
    EXPECT_EQ(rig.state().substr(0, 9), "COM20003" + std::string(1, rig.s().link.vppLine));
}

TEST(StartUp, AStoredComPortIsCheckedButNotOpened) {
    UiRig rig;
    rig.writeState("COM50501403");
    ASSERT_TRUE(rig.start());
    EXPECT_TRUE(rig.window.checked[1165]);
    EXPECT_FALSE(rig.window.checked[ctl::kPortCom2]);
    EXPECT_EQ(rig.s().link.portName, "COM5");
    EXPECT_FALSE(rig.s().port.comOpen());
    EXPECT_EQ(rig.s().device.listIndex, 5);
    EXPECT_TRUE(rig.window.checked[ctl::kSpeedHigh]);
}

TEST(StartUp, ABadSpeedDigitMeansMedium) {
    UiRig rig;
    rig.writeState("SIM1000140x");
    ASSERT_TRUE(rig.start());
    EXPECT_TRUE(rig.window.checked[1104]);
    EXPECT_EQ(rig.s().link.speed, 2);
}

TEST(StartUp, AMissingDeviceListEndsTheWindow) {
    UiRig rig;
    std::filesystem::remove(rig.dir.path() / "kestrum.ini");
    EXPECT_FALSE(rig.start());
    EXPECT_EQ(rig.lastBox().text, "Open Error 'kestrum.ini !'");
    EXPECT_EQ(rig.lastBox().title, "Error!");
    EXPECT_TRUE(rig.main().ended());
    EXPECT_EQ(rig.window.endResults, std::vector<int>{0});
}

TEST(StartUp, AStoredTwelveBitChipGreysTheDataBoxes) {
    UiRig rig;
    rig.startOn("PIC12C508");
    rig.main().close();
    RecordingWindow& w = rig.window;
    w = RecordingWindow();
    ASSERT_TRUE(rig.start());
    EXPECT_EQ(rig.s().device.family, 8);
    EXPECT_FALSE(w.checked[ctl::kWriteDataBox]);
    EXPECT_FALSE(w.checked[ctl::kEraseBeforeWriteBox]);
    EXPECT_TRUE(w.checked[ctl::kVerifyCodeBox]);
    EXPECT_FALSE(w.enabled[ctl::kVerifyCodeBox]);
    EXPECT_FALSE(w.enabled[ctl::kWriteDataBox]);
}

// A state file that asks to reopen `file`.
void markReload(UiRig& rig, const std::filesystem::path& file) {
    rig.startOn("PIC16F628A");
    ASSERT_EQ(rig.open(file), 0);
    rig.main().close();
    rig.window = RecordingWindow();
}

TEST(Reload, OkReopensTheLastFile) {
    UiRig rig;
    markReload(rig, example("blink_16f628a"));
    ASSERT_TRUE(rig.start());
    ASSERT_EQ(rig.window.boxes.size(), 1u);
    EXPECT_EQ(rig.window.boxes[0].text, "Open 'blink_16f628a.hex' ?");
    EXPECT_EQ(rig.window.boxes[0].title, "Kestrum");
    EXPECT_TRUE(rig.s().fileSelected);
    EXPECT_EQ(rig.window.texts[ctl::kFileField], "blink_16f628a.hex");
    EXPECT_EQ(rig.window.texts[ctl::kConfigWordField], "3F70");
}

TEST(Reload, CancelDropsTheFileAndTheNextStartAsksNothing) {
    UiRig rig;
    const auto spaced = rig.dir.path() / "my blinker.hex";
    std::filesystem::copy_file(example("blink_16f628a"), spaced);
    markReload(rig, spaced);
    rig.window.answers = {Answer::cancel};
    ASSERT_TRUE(rig.start());
    ASSERT_EQ(rig.window.boxes.size(), 1u);
    EXPECT_EQ(rig.window.boxes[0].text, "Open 'my' ?");
    EXPECT_FALSE(rig.s().fileSelected);
    EXPECT_TRUE(rig.window.enabled[ctl::kSaveButton]);
    EXPECT_TRUE(rig.window.enabled[ctl::kViewSetButton]);
    EXPECT_EQ(rig.state()[9], '0');
    rig.main().close();

    rig.window = RecordingWindow();
    ASSERT_TRUE(rig.start());
    EXPECT_TRUE(rig.window.boxes.empty());
}

TEST(Reload, AFileThatNoLongerLoadsIsDroppedSilently) {
    UiRig rig;
    const auto copy = rig.dir.path() / "gone.hex";
    std::filesystem::copy_file(example("blink_16f628a"), copy);
    markReload(rig, copy);
    std::filesystem::remove(copy);
    ASSERT_TRUE(rig.start());
    EXPECT_TRUE(rig.window.boxes.empty());
    EXPECT_FALSE(rig.s().fileSelected);
}

TEST(Reload, CloseFileAndRestartStillOffersTheFile) {
    UiRig rig;
    rig.startOn("PIC16F628A");
    ASSERT_EQ(rig.open(example("blink_16f628a")), 0);
    rig.main().command(ctl::kCloseFile);
    rig.main().close();
    rig.window = RecordingWindow();
    ASSERT_TRUE(rig.start());
    ASSERT_EQ(rig.window.boxes.size(), 1u);
    EXPECT_EQ(rig.window.boxes[0].title, "Kestrum");
}

TEST(Exit, WritesPortAndChipAndTheSimulatedChipSurvives) {
    UiRig rig;
    rig.startOn("PIC16F84A");
    ASSERT_EQ(rig.open(example("runlight_16f84a")), 0);
    ASSERT_EQ(rig.main().write(), 0) << rig.lastBox().text;
    const int index = rig.s().device.listIndex;
    rig.main().command(ctl::kExitButton);
    rig.main().close();
    EXPECT_EQ(rig.state().substr(0, 6), "SIM1" + formatText("%02d", index));
    EXPECT_TRUE(std::filesystem::exists(sim::chipImagePath(rig.dir.path(), "PIC16F84A")));

    // A new program on the same directory finds the chip as it was written.
    RecordingWindow window;
    app::Program again(rig.dir.path(), window);
    ASSERT_TRUE(again.main.open(false));
    EXPECT_EQ(again.session.device.name, "PIC16F84A");
    EXPECT_EQ(again.host.simChip()->dataByte(0), 8);
    window.pickedFiles = {example("runlight_16f84a").string()};
    ASSERT_EQ(again.main.openFile(), 0);
    EXPECT_EQ(again.main.verify(), 0);
}

TEST(Ports, ChoosingTheSimulatorDetectsTheBoard) {
    UiRig rig;
    ASSERT_TRUE(rig.start());
    rig.main().command(ctl::kPortSimulator);
    EXPECT_TRUE(rig.window.checked[ctl::kPortSimulator]);
    EXPECT_FALSE(rig.window.checked[ctl::kPortCom2]);
    EXPECT_EQ(rig.window.texts[ctl::kStatusField], "T3306 detected");
    EXPECT_FALSE(rig.window.enabled[ctl::kStatusField]);
    EXPECT_TRUE(rig.s().port.comOpen());
    // The same port again closes and reopens it, and detects again.
    rig.window.texts[ctl::kStatusField] = "";
    rig.main().command(ctl::kPortSimulator);
    EXPECT_EQ(rig.window.texts[ctl::kStatusField], "T3306 detected");
}

TEST(Ports, AComPortThatCannotBeOpenedSaysWhy) {
    UiRig rig;
    ASSERT_TRUE(rig.start());
    std::filesystem::create_symlink("/nonexistent/ttyX", rig.dir.path() / "COM3");
    rig.main().command(1163);
    EXPECT_TRUE(rig.window.checked[1163]);
    EXPECT_EQ(rig.lastBox().title, "Error");
    EXPECT_EQ(rig.lastBox().text, "COM-Init-Error!\n" + (rig.dir.path() / "COM3").string() +
                                      ": No such file or directory");
    EXPECT_FALSE(rig.window.enabled[ctl::kStatusField]);
}

TEST(Ports, AComPortWithoutABoardIsNotFound) {
    UiRig rig;
    ASSERT_TRUE(rig.start());
    const int master = ::posix_openpt(O_RDWR | O_NOCTTY);
    ASSERT_GE(master, 0);
    ASSERT_EQ(::grantpt(master), 0);
    ASSERT_EQ(::unlockpt(master), 0);
    std::filesystem::create_symlink(::ptsname(master), rig.dir.path() / "COM4");
    rig.main().command(1164);
    EXPECT_EQ(rig.lastBox().text, "T3306 not found at COM4\n");
    EXPECT_TRUE(rig.window.checked[1164]);
    rig.main().close();
    ::close(master);
}

TEST(Ports, ParallelPortsNeedPortAccess) {
    UiRig rig;
    ASSERT_TRUE(rig.start());
    rig.s().port.driverUsable = false;
    rig.s().port.directIo = false;
    rig.main().command(ctl::kPort0378);
    EXPECT_EQ(rig.lastBox().title, "ERROR!");
    EXPECT_EQ(rig.lastBox().text.rfind("Driver 'DlPortIO' must be installed!\n\nDownload:\n", 0),
              0u);
    EXPECT_FALSE(rig.window.checked[ctl::kPort0378]);
    EXPECT_TRUE(rig.s().link.serial);
}

TEST(Ports, AParallelPortRunsTheInterfaceDialogAndWarnsWithoutAnAdapter) {
    UiRig rig;
    ASSERT_TRUE(rig.start());
    RecordingParallelPort port;
    rig.s().port.driverLibrary = &port;
    rig.s().port.driverUsable = true;
    rig.window.dialogScripts[ctl::kParallelDialog] = [](ui::DialogHandler& h, RecordingWindow& d) {
        h.command(d, ctl::kNonInvertedRadio);
        h.command(d, ctl::kVppD4Radio);
        h.command(d, ctl::kDefaultButton);
    };
    rig.window.checked[ctl::kLowVoltBox] = true;
    rig.main().command(ctl::kPort0278);
    EXPECT_TRUE(rig.window.checked[ctl::kPort0278]);
    EXPECT_FALSE(rig.window.checked[ctl::kPortCom2]);
    EXPECT_FALSE(rig.s().link.serial);
    EXPECT_EQ(rig.s().link.parallelBase, 0x278);
    EXPECT_EQ(rig.s().link.adapter, '2');
    EXPECT_EQ(rig.s().link.vppLine, '4');
    const auto& dialog = *rig.window.dialogs[ctl::kParallelDialog];
    ASSERT_EQ(dialog.boxes.size(), 1u);
    EXPECT_EQ(dialog.boxes[0].text, "P16PRO not found");
    EXPECT_EQ(dialog.boxes[0].title, "WARNING!");
    EXPECT_FALSE(rig.window.checked[ctl::kLowVoltBox]);
    EXPECT_FALSE(rig.window.enabled[ctl::kLowVoltBox]);
    rig.main().close();
    EXPECT_EQ(rig.state().substr(0, 9), "0278000" + std::string("24"));
}

TEST(Speed, IsStoredAtOnce) {
    UiRig rig;
    ASSERT_TRUE(rig.start());
    rig.main().command(1103);
    EXPECT_EQ(rig.s().link.speed, 1);
    EXPECT_TRUE(rig.window.checked[1103]);
    EXPECT_FALSE(rig.window.checked[1104]);
    EXPECT_EQ(rig.state()[10], '1');
}

TEST(ChipList, TwelveBitChipGreysDataBoxesAndBackLeavesThemUnchecked) {
    UiRig rig;
    rig.startOn("PIC16F628A");
    rig.selectChip("PIC12C508");
    RecordingWindow& w = rig.window;
    EXPECT_FALSE(w.checked[ctl::kWriteDataBox]);
    EXPECT_FALSE(w.checked[ctl::kVerifyDataBox]);
    EXPECT_FALSE(w.checked[ctl::kEraseBeforeWriteBox]);
    EXPECT_TRUE(w.checked[ctl::kVerifyCodeBox]);
    for (int id : {ctl::kWriteDataBox, ctl::kVerifyDataBox, ctl::kVerifyCodeBox,
                   ctl::kEraseBeforeWriteBox}) {
        EXPECT_FALSE(w.enabled[id]) << id;
    }
    rig.selectChip("PIC16F84A");
    for (int id : {ctl::kWriteDataBox, ctl::kVerifyDataBox, ctl::kVerifyCodeBox,
                   ctl::kEraseBeforeWriteBox}) {
        EXPECT_TRUE(w.enabled[id]) << id;
    }
    EXPECT_FALSE(w.checked[ctl::kWriteDataBox]);
    EXPECT_FALSE(w.checked[ctl::kEraseBeforeWriteBox]);
    EXPECT_TRUE(w.checked[ctl::kVerifyCodeBox]);
}

TEST(ChipList, AChipWithoutLowVoltageSwitchesItOff) {
    UiRig rig;
    rig.startOn("PIC16F628A");
    rig.window.checked[ctl::kLowVoltBox] = true;
    rig.main().command(ctl::kLowVoltBox);
    EXPECT_TRUE(rig.s().link.lowVoltage);
    EXPECT_EQ(rig.s().lowVoltageChar, '1');
    rig.selectChip("PIC16F84A");
    EXPECT_FALSE(rig.window.checked[ctl::kLowVoltBox]);
    EXPECT_FALSE(rig.window.enabled[ctl::kLowVoltBox]);
    EXPECT_FALSE(rig.s().link.lowVoltage);
    EXPECT_EQ(rig.s().lowVoltageChar, '0');
}

TEST(ChipList, NoSelectionAsks) {
    UiRig rig;
    rig.startOn("PIC16F628A");
    rig.window.selectListItem(ctl::kChipList, -1);
    rig.main().command(ctl::kChipList);
    EXPECT_EQ(rig.lastBox().text, "auswahl?");
    EXPECT_EQ(rig.lastBox().title, "Error!");
    EXPECT_EQ(rig.s().device.name, "PIC16F628A");
}

TEST(ChipList, TheFileStaysSelectedAndTheSimulatorFollowsTheChip) {
    UiRig rig;
    rig.startOn("PIC16F628A");
    ASSERT_EQ(rig.open(example("blink_16f628a")), 0);
    rig.selectChip("PIC16F84A");
    EXPECT_TRUE(rig.s().fileSelected);
    EXPECT_EQ(rig.chip().profile().name, "PIC16F84A");
}

}  // namespace
}  // namespace ferrolux::test
