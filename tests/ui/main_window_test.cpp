// The main window: its commands with their preconditions, questions and
// endings; start-up, reload and exit; the choice of port, speed and chip.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <array>

#include "support/recording_ports.h"
#include "ui_rig.h"

namespace ferrolux::test {
namespace {

using ui::Answer;
using ui::Ending;
using namespace std::string_literals;

// The boxes a 12-bit chip greys: only Verify Code stays checked. "Erase bef.
// Write" stays for flash chips, as it was.
void expectDataBoxes(RecordingWindow& w, bool enabled, bool eraseEnabled = false,
                     bool eraseChecked = false) {
    for (int id : {ctl::kWriteDataBox, ctl::kVerifyDataBox, ctl::kVerifyCodeBox}) {
        EXPECT_EQ(w.enabled[id], enabled) << id;
        EXPECT_EQ(w.checked[id], id == ctl::kVerifyCodeBox) << id;
    }
    EXPECT_EQ(w.enabled[ctl::kEraseBeforeWriteBox], enabled || eraseEnabled);
    EXPECT_EQ(w.checked[ctl::kEraseBeforeWriteBox], eraseChecked);
}

struct Commands : ::testing::Test {
    UiRig rig;
    RecordingWindow& w = rig.window;
    void SetUp() override { rig.startOn("PIC16F628A"); }
    void openAndWrite() {
        ASSERT_EQ(rig.open(example("blink_16f628a")), 0) << rig.lastBox().text;
        ASSERT_EQ(rig.main().write(), 0) << rig.lastBox().text;
    }
};

TEST_F(Commands, WriteAndVerifyNeedAFileOnlyForCodeOrData) {
    rig.s().chip.configWord = 0x3F50;
    w.checked[ctl::kEraseBeforeWriteBox] = false;
    for (int ticked : {ctl::kWriteCodeBox, ctl::kWriteDataBox, ctl::kWriteConfigBox}) {
        for (int id : {ctl::kWriteCodeBox, ctl::kWriteDataBox, ctl::kWriteConfigBox})
            w.checked[id] = id == ticked;
        rig.watchBoard();
        rig.main().command(ctl::kWriteButton);
        const bool refused = ticked != ctl::kWriteConfigBox;
        EXPECT_EQ(rig.main().lastEnding(), refused ? Ending::refused : Ending::ok) << ticked;
        EXPECT_EQ(rig.boardUntouched(), refused) << ticked;
    }
    EXPECT_EQ(rig.lastBox().text, "No File selected!");
    rig.expectOk("OK");
    EXPECT_EQ(rig.chip().configWord(0x2007), 0x3F50);

    rig.watchBoard();
    rig.main().command(ctl::kVerifyButton);
    EXPECT_EQ(rig.main().lastEnding(), Ending::refused);
    EXPECT_TRUE(rig.boardUntouched());
}

TEST_F(Commands, OpenWriteVerifySave) {
    ASSERT_EQ(rig.open(example("blink_16f628a")), 0) << rig.lastBox().text;
    EXPECT_EQ(w.texts[ctl::kFileField], "blink_16f628a.hex");
    EXPECT_EQ(w.texts[ctl::kConfigWordField], "3F70");
    EXPECT_EQ(rig.state()[9], '1');

    rig.main().command(ctl::kWriteButton);
    rig.expectOk("OK");
    EXPECT_FALSE(w.enabled[ctl::kFileField]);
    EXPECT_TRUE(w.enabled[ctl::kSaveButton]);
    // Code, data and configuration word all went to the chip.
    EXPECT_EQ(rig.chip().programWord(0), 0x2805);
    EXPECT_EQ(rig.chip().dataByte(0), 'F');
    EXPECT_EQ(rig.chip().configWord(0x2007), 0x3F70);
    EXPECT_FALSE(rig.chip().inProgrammingMode());

    w.checked[ctl::kVerifyDataBox] = true;
    w.texts[ctl::kStatusField] = "";
    rig.main().command(ctl::kVerifyButton);
    rig.expectOk("OK");

    for (std::string form : {"txt", "hex"}) {
        w.checked[ctl::kSaveHexRadio] = form == "hex";
        w.checked[ctl::kSaveTextRadio] = form == "txt";
        w.texts[ctl::kConfigWordField] = "";
        rig.main().command(ctl::kSaveButton);
        rig.expectOk("'readback." + form + "' saved");
        EXPECT_TRUE(std::filesystem::exists(rig.dir.path() / ("readback." + form)));
        EXPECT_EQ(w.texts[ctl::kConfigWordField], "3F70");
    }
}

TEST_F(Commands, FailuresShowTheMessageUnderErrorAndLeaveProgrammingMode) {
    openAndWrite();
    rig.chip().setProgramWord(0x10, 0x0000);
    rig.main().command(ctl::kVerifyButton);
    rig.expectFailed();
    EXPECT_NE(rig.lastBox().text.find("0010"), std::string::npos) << rig.lastBox().text;
    EXPECT_FALSE(rig.chip().inProgrammingMode());

    rig.board().removeChip();
    for (int id : {ctl::kWriteButton, ctl::kVerifyButton, ctl::kSaveButton}) {
        w.boxes.clear();
        rig.main().command(id);
        rig.expectFailed(kNoPicOnBoard);
    }
    rig.board().insertChip(&rig.chip());
}

// The file is checked before Write or Verify uses the link: a file that went
// bad after it was opened leaves the written program in place, although
// "Erase bef. Write" is ticked.
TEST_F(Commands, AFileThatFailsItsCheckIsRefusedBeforeTheChipIsTouched) {
    openAndWrite();
    const auto file = rig.dir.path() / "next.hex";
    const std::string good = readFile(example("blink_16f628a"));
    std::filesystem::copy_file(example("blink_16f628a"), file);
    ASSERT_EQ(rig.open(file), 0);
    const std::pair<std::string, std::string> cases[] = {
        {":02400E00703F01\n" + good, "Address 0000 in line 2 comes again or out of order!"},
        {":0200000005\0"
         "8D1\n"s +
             good.substr(good.find('\n') + 1),
         "Wrong File-Format!\nLine 1"},
        {":020000040001F9\n" + good, "Extended address 0001 in line 1!"},
        {"", "Open Error!"},  // a FIFO where the file was
    };
    for (const auto& [text, refusal] : cases) {
        std::filesystem::remove(file);
        if (text.empty()) {
#if defined(_WIN32)
            continue;  // no FIFOs on Windows
#else
            ASSERT_EQ(::mkfifo(file.c_str(), 0600), 0);
#endif
        } else {
            writeFile(file, text);
        }
        for (int id : {ctl::kWriteButton, ctl::kVerifyButton}) {
            rig.watchBoard();
            rig.main().command(id);
            rig.expectFailed();
            EXPECT_EQ(rig.lastBox().text.rfind(refusal, 0), 0u) << rig.lastBox().text;
            EXPECT_TRUE(rig.boardUntouched()) << refusal;
        }
    }
    EXPECT_EQ(rig.chip().programWord(0), 0x2805);
    EXPECT_EQ(rig.chip().dataByte(0), 'F');
}

// A file that does not open leaves the one selected before selected, with
// its name, its configuration word and its IDs.
TEST_F(Commands, AFailedOpenKeepsThePreviousFile) {
    ASSERT_EQ(rig.open(example("blink_16f628a")), 0);
    // IDs 9 9 9 9, then a blank line that fails the scan for the configuration word.
    writeFile(rig.dir.path() / "bad.hex", ":08400000090009000900090094\r\n\r\n");
    for (const char* name : {"bad.hex", "missing.hex"}) {
        EXPECT_EQ(rig.open(rig.dir.path() / name), 1);
        rig.expectFailed();
        EXPECT_TRUE(rig.s().file.fileSelected) << name;
        EXPECT_EQ(rig.s().file.hexPath, example("blink_16f628a").string());
        EXPECT_EQ(w.texts[ctl::kFileField], "blink_16f628a.hex");
        EXPECT_EQ(rig.s().chip.idValues, (std::array<int, 4>{1, 0xA, 2, 0xF}));
    }
}

TEST_F(Commands, EraseQuestionsCancelSendsNothingAndOkErases) {
    openAndWrite();
    for (auto [id, question] : {std::pair{ctl::kEraseCode, "This Command Deletes Flash-Memory!"},
                                {ctl::kEraseData, "This Command Deletes Data-Memory!"},
                                {ctl::kDisableProtection, "This Command Deletes Memory!"}}) {
        rig.watchBoard();
        w.answers = {Answer::cancel};
        rig.main().command(id);
        EXPECT_EQ(rig.lastBox().text, question);
        EXPECT_EQ(rig.lastBox().buttons, ui::Buttons::okCancel);
        EXPECT_EQ(rig.main().lastEnding(), Ending::cancelled);
        EXPECT_TRUE(rig.boardUntouched()) << question;
    }
    rig.main().command(ctl::kEraseData);
    rig.expectOk("OK");
    EXPECT_EQ(rig.chip().dataByte(0), 0xFF);
    EXPECT_EQ(rig.chip().programWord(0), 0x2805);
    rig.main().command(ctl::kEraseCode);
    rig.expectOk("OK");
    EXPECT_EQ(rig.chip().programWord(0), 0x3FFF);

    openAndWrite();
    rig.chip().protect(true, true);
    rig.main().command(ctl::kDisableProtection);
    EXPECT_EQ(rig.main().lastEnding(), Ending::ok);
    EXPECT_FALSE(rig.chip().codeProtected());
    EXPECT_EQ(rig.chip().programWord(0), 0x3FFF);
}

TEST_F(Commands, OpenCancelledBadWithAWrongChecksumOrWithoutConfigWord) {
    w.pickedFiles = {""};
    EXPECT_EQ(rig.main().openFile(), 1);
    EXPECT_TRUE(w.boxes.empty());

    writeFile(rig.dir.path() / "bad.hex", "hello\r\n");
    EXPECT_EQ(rig.open(rig.dir.path() / "bad.hex"), 1);
    rig.expectFailed("Wrong File-Format!");
    EXPECT_EQ(w.texts[ctl::kFileField], " ");
    EXPECT_FALSE(rig.s().file.fileSelected);

    const auto sum = rig.edited("blink_16f628a", ":020000000528D1", ":020000000528D2");
    for (Answer a : {Answer::cancel, Answer::ok}) {
        w.answers = {a};
        EXPECT_EQ(rig.open(sum), a == Answer::ok ? 0 : 1);
        EXPECT_EQ(rig.lastBox().text, "Intel checksum wrong, continue?");
        EXPECT_EQ(rig.s().file.fileSelected, a == Answer::ok);
        EXPECT_EQ(w.texts[ctl::kFileField], a == Answer::ok ? "edited.hex" : " ");
    }

    EXPECT_EQ(rig.open(rig.edited("blink_16f628a", ":02400E00703F01\n", "")), 0);
    EXPECT_EQ(rig.lastBox().title, "WARNING!");
    EXPECT_TRUE(w.enabled[ctl::kViewSetButton]);
    EXPECT_FALSE(w.checked[ctl::kWriteConfigBox]);
}

TEST_F(Commands, DialogsHelpAboutCloseAndExit) {
    ASSERT_EQ(rig.open(example("blink_16f628a")), 0);
    w.enabled[ctl::kSaveButton] = false;
    rig.main().command(ctl::kCloseFile);
    EXPECT_FALSE(rig.s().file.fileSelected);
    EXPECT_EQ(w.texts[ctl::kFileField], " ");
    EXPECT_TRUE(w.enabled[ctl::kSaveButton]);

    w.dialogScripts[ctl::kConfigDialog] = [](ui::DialogHandler& h, RecordingWindow& d) {
        d.userEdit(h, ctl::kHexValueField, "1234", 4);
        h.command(d, ctl::kDefaultButton);
    };
    bool inModeWhileOpen = false;
    w.dialogScripts[ctl::kDataMemoryDialog] = [&](ui::DialogHandler&, RecordingWindow&) {
        inModeWhileOpen = rig.chip().inProgrammingMode();
    };
    rig.main().command(ctl::kViewSetButton);
    EXPECT_EQ(w.texts[ctl::kConfigWordField], "1234");
    rig.main().command(ctl::kDataWindow);
    EXPECT_EQ(rig.main().lastEnding(), Ending::ok);
    EXPECT_TRUE(inModeWhileOpen);
    EXPECT_FALSE(rig.chip().inProgrammingMode());

    // A chip without data memory gets no window and no link check.
    rig.selectChip("PIC16F73");
    rig.watchBoard();
    rig.main().command(ctl::kDataWindow);
    EXPECT_EQ(rig.lastBox().text, "This PIC does not provide data memory!");
    EXPECT_EQ(rig.main().lastEnding(), Ending::refused);
    EXPECT_TRUE(rig.boardUntouched());
    EXPECT_EQ(w.dialogsRun.size(), 2u);

    rig.main().command(ctl::kHelpTopics);
    EXPECT_EQ(rig.lastBox().text, "T3306.CHM not found!");
    EXPECT_EQ(rig.lastBox().title, "Error");
    writeFile(rig.dir.path() / "T3306.CHM", "help");
    rig.main().command(ctl::kHelpTopics);
    EXPECT_EQ(w.documents, std::vector<std::string>{(rig.dir.path() / "T3306.CHM").string()});
    rig.main().command(ctl::kAbout);
    EXPECT_EQ(rig.lastBox().title, "About Ferrolux");

    rig.main().command(4711);
    EXPECT_FALSE(rig.main().ended());
    for (int id : {ctl::kExitButton, ctl::kExitMenu, ctl::kCancel}) {
        ui::MainWindow fresh(rig.s(), w);
        fresh.command(id);
        EXPECT_TRUE(fresh.ended()) << id;
    }
    EXPECT_EQ(w.endResults, (std::vector<int>{0, 0, 0}));
}

// 12-bit chips: the blank check before writing code, unless a flash chip is
// erased first ("Erase bef. Write"); verify always compares code.
TEST(TwelveBit, ANotBlankChipAsksAndCancelWritesNothingUnlessAFlashChipIsErased) {
    for (const char* chip : {"PIC12C508", "PIC12F508"}) {
        SCOPED_TRACE(chip);
        UiRig rig;
        rig.startOn(chip);
        ASSERT_EQ(rig.open(example("blink_12c508")), 0);
        ASSERT_EQ(rig.main().write(), 0) << rig.lastBox().text;
        const int word = rig.chip().programWord(0x05);
        rig.chip().setProgramWord(0x05, 0x0000);  // a rewrite would restore it, if it could
        rig.window.enabled[ctl::kSaveButton] = false;
        rig.window.checked[ctl::kEraseBeforeWriteBox] = false;
        rig.window.answers = {Answer::cancel};
        EXPECT_EQ(rig.main().write(), 1);
        EXPECT_EQ(rig.lastBox().text, "PIC not blank, continue?");
        EXPECT_EQ(rig.main().lastEnding(), Ending::cancelled);
        EXPECT_TRUE(rig.window.enabled[ctl::kSaveButton]);
        EXPECT_EQ(rig.window.texts[ctl::kStatusField], "  ");
        EXPECT_FALSE(rig.chip().inProgrammingMode());

        rig.window.checked[ctl::kVerifyCodeBox] = false;
        EXPECT_EQ(rig.main().verify(), 1);
        rig.expectFailed();
        if (!rig.window.enabled[ctl::kEraseBeforeWriteBox]) continue;
        rig.window.checked[ctl::kEraseBeforeWriteBox] = true;
        const std::size_t boxes = rig.window.boxes.size();
        EXPECT_EQ(rig.main().write(), 0) << rig.lastBox().text;
        EXPECT_EQ(rig.window.boxes.size(), boxes);
        EXPECT_EQ(rig.chip().programWord(0x05), word);
    }
}

TEST_F(Commands, AChipOfAnotherTypeIsWrittenOrComparedOnlyWhenTheUserAgrees) {
    ASSERT_EQ(rig.open(example("blink_16f628a")), 0);
    sim::VirtualPic other(*sim::findProfile("PIC16F627A"));
    rig.board().insertChip(&other);
    for (auto run : {&ui::MainWindow::write, &ui::MainWindow::verify}) {
        w.answers = {Answer::cancel};
        EXPECT_EQ((rig.main().*run)(), 1);
        EXPECT_EQ(rig.lastBox().title, "Warning!");
        EXPECT_EQ(rig.lastBox().text,
                  "The device ID 1040 belongs to PIC16F627A, not to PIC16F628A.\nContinue?");
        EXPECT_EQ(rig.main().lastEnding(), Ending::cancelled);
        EXPECT_FALSE(other.inProgrammingMode());
        EXPECT_EQ(other.programWord(0), 0x3FFF);
    }
    w.answers = {Answer::ok};
    EXPECT_EQ(rig.main().write(), 0) << rig.lastBox().text;
    EXPECT_NE(other.programWord(0), 0x3FFF);
    rig.board().removeChip();
}

TEST(StartUp, WithoutAStateFileCreatesItAndStartsOnCom2FirstChipMedium) {
    UiRig rig;
    RecordingWindow& w = rig.window;
    ASSERT_TRUE(rig.start());
    EXPECT_EQ(rig.state().substr(0, 8), "COM20013");
    EXPECT_TRUE(w.checked[ctl::kPortCom2]);
    EXPECT_FALSE(rig.s().port.comOpen());
    EXPECT_TRUE(w.boxes.empty());
    EXPECT_EQ(w.shows, 1);
    // The first chip of the sorted list is a 12-bit flash one: data boxes off
    // and greyed, "Erase bef. Write" on.
    ASSERT_EQ(rig.s().device.family, 9);
    expectDataBoxes(w, false, true, true);
    // Exit writes back what was read; the serial port took low voltage away.
    rig.main().close();
    EXPECT_EQ(rig.state().substr(0, 9), "COM20003" + std::string(1, rig.s().link.vppLine));
}

TEST(StartUp, AStoredComPortIsCheckedButNotOpenedAndNoDeviceListEnds) {
    UiRig rig;
    writeFile(rig.dir.path() / "kestrum.cfg", "COM50501403");
    ASSERT_TRUE(rig.start());
    EXPECT_TRUE(rig.window.checked[ctl::kPortCom3 + 2]);
    EXPECT_FALSE(rig.window.checked[ctl::kPortCom2]);
    EXPECT_FALSE(rig.s().port.comOpen());
    EXPECT_EQ(rig.s().device.listIndex, 5);
    EXPECT_TRUE(rig.window.checked[ctl::kSpeedHigh]);

    std::filesystem::remove(rig.dir.path() / "kestrum.ini");
    EXPECT_FALSE(rig.restart());
    EXPECT_EQ(rig.lastBox().text, "Open Error 'kestrum.ini !'");
    EXPECT_TRUE(rig.main().ended());
    EXPECT_EQ(rig.window.endResults, std::vector<int>{0});
}

TEST(Reload, OkReopensTheLastFileEvenAfterCloseCancelOrAGoneFileDropsIt) {
    UiRig rig;
    rig.startOn("PIC16F628A");
    const auto spaced = rig.dir.path() / "my blinker.hex";
    std::filesystem::copy_file(example("blink_16f628a"), spaced);
    ASSERT_EQ(rig.open(spaced), 0);
    rig.main().command(ctl::kCloseFile);
    ASSERT_TRUE(rig.restart());
    EXPECT_EQ(rig.window.boxes.at(0).text, "Open 'my' ?");
    EXPECT_TRUE(rig.s().file.fileSelected);
    EXPECT_EQ(rig.window.texts[ctl::kFileField], "my blinker.hex");
    EXPECT_EQ(rig.window.texts[ctl::kConfigWordField], "3F70");

    ASSERT_TRUE(rig.restart({Answer::cancel}));
    EXPECT_EQ(rig.window.boxes.size(), 1u);
    EXPECT_FALSE(rig.s().file.fileSelected);
    EXPECT_TRUE(rig.window.enabled[ctl::kSaveButton]);
    // Nothing of the declined file is left to be written.
    EXPECT_FALSE(rig.window.checked[ctl::kWriteConfigBox]);
    EXPECT_EQ(rig.s().chip.configWord, 0x3FFF);
    EXPECT_EQ(rig.s().chip.idValues, (std::array<int, 4>{}));
    ASSERT_TRUE(rig.restart());
    EXPECT_TRUE(rig.window.boxes.empty());

    ASSERT_EQ(rig.open(spaced), 0);
    std::filesystem::remove(spaced);
    ASSERT_TRUE(rig.restart());
    EXPECT_TRUE(rig.window.boxes.empty());
    EXPECT_FALSE(rig.s().file.fileSelected);
}

TEST(NoChip, ChipCommandsRefuseWithoutTouchingTheBoard) {
    UiRig rig;
    writeFile(rig.dir.path() / "kestrum.cfg", "SIM19901403");  // past the list's end
    ASSERT_TRUE(rig.start());
    ASSERT_EQ(rig.s().device.listIndex, -1);
    rig.watchBoard();
    for (int id :
         {ctl::kWriteButton, ctl::kVerifyButton, ctl::kSaveButton, ctl::kEraseCode, ctl::kEraseData,
          ctl::kDisableProtection, ctl::kDataWindow, ctl::kViewSetButton}) {
        rig.main().command(id);
        EXPECT_EQ(rig.main().lastEnding(), Ending::refused) << id;
        EXPECT_EQ(rig.lastBox().text,
                  "No PIC selected!\nChoose the PIC type in the Controller list.");
    }
    EXPECT_TRUE(rig.boardUntouched());
    EXPECT_TRUE(rig.window.dialogsRun.empty());
}

TEST(Ports, AComPortSaysWhyItCannotOpenTheSimulatorIsDetectedAndExitStoresThem) {
    UiRig rig;
    RecordingWindow& w = rig.window;
    ASSERT_TRUE(rig.start());
#if defined(_WIN32)  // COM3 is the machine's own there; what it says depends on it
    rig.main().command(ctl::kPortCom3);
    EXPECT_TRUE(w.checked[ctl::kPortCom3]);
#else
    std::filesystem::create_symlink("/nonexistent/ttyX", rig.dir.path() / "COM3");
    rig.main().command(ctl::kPortCom3);
    EXPECT_TRUE(w.checked[ctl::kPortCom3]);
    rig.expectFailed("COM-Init-Error!\n" + (rig.dir.path() / "COM3").string() +
                     ": No such file or directory");
#endif

    rig.selectChip("PIC16F84A");
    rig.main().command(ctl::kPortSimulator);
    EXPECT_FALSE(w.checked[ctl::kPortCom3]);
    rig.expectOk("T3306 detected");
    rig.main().command(ctl::kSpeedVeryLow + 1);  // the speed is stored at once
    EXPECT_FALSE(w.checked[ctl::kSpeedVeryLow + 2]);
    EXPECT_EQ(rig.state()[10], '1');
    EXPECT_EQ(rig.state().substr(0, 6), "COM200");
    rig.main().command(ctl::kExitButton);
    rig.main().close();
    EXPECT_EQ(rig.state().substr(0, 6), "SIM1" + formatText("%02d", rig.indexOf("PIC16F84A")));
}

TEST(Ports, AParallelPortNeedsPortAccessThenRunsTheInterfaceDialog) {
    UiRig rig;
    RecordingWindow& w = rig.window;
    ASSERT_TRUE(rig.start());
    rig.s().port.driverUsable = false;
    rig.s().port.directIo = false;
    rig.main().command(ctl::kPort0378);
    EXPECT_EQ(rig.lastBox().text.rfind("Driver 'DlPortIO' must be installed!", 0), 0u);
    EXPECT_FALSE(w.checked[ctl::kPort0378]);
    EXPECT_TRUE(rig.s().link.serial);

    RecordingParallelPort port;
    rig.s().port.driverLibrary = &port;
    rig.s().port.driverUsable = true;
    w.dialogScripts[ctl::kParallelDialog] = [](ui::DialogHandler& h, RecordingWindow& d) {
        for (int id : {ctl::kNonInvertedRadio, ctl::kVppD4Radio, ctl::kDefaultButton})
            h.command(d, id);
    };
    w.checked[ctl::kLowVoltBox] = true;
    rig.main().command(ctl::kPort0278);
    EXPECT_TRUE(w.checked[ctl::kPort0278]);
    EXPECT_FALSE(w.checked[ctl::kPortCom2]);
    EXPECT_EQ(w.dialogs[ctl::kParallelDialog]->boxes.at(0).text, "P16PRO not found");
    EXPECT_EQ(rig.main().lastEnding(), Ending::failed);
    EXPECT_FALSE(w.checked[ctl::kLowVoltBox]);
    EXPECT_FALSE(w.enabled[ctl::kLowVoltBox]);
    rig.main().close();
    EXPECT_EQ(rig.state().substr(0, 9), "027800024");
}

TEST(ChipList, SelectionSetsLowVoltageAndTheTwelveBitBoxesAndTheSimulatedChip) {
    UiRig rig;
    RecordingWindow& w = rig.window;
    rig.startOn("PIC16F628A");
    ASSERT_EQ(rig.open(example("blink_16f628a")), 0);
    w.selectListItem(ctl::kChipList, -1);
    rig.main().command(ctl::kChipList);
    EXPECT_EQ(rig.lastBox().text, "auswahl?");
    EXPECT_EQ(rig.s().device.name, "PIC16F628A");

    w.checked[ctl::kLowVoltBox] = true;
    rig.main().command(ctl::kLowVoltBox);
    EXPECT_EQ(rig.s().chip.lowVoltageChar, '1');
    rig.selectChip("PIC12C508");
    EXPECT_FALSE(w.checked[ctl::kLowVoltBox] || w.enabled[ctl::kLowVoltBox]);
    EXPECT_FALSE(rig.s().link.lowVoltage);
    EXPECT_EQ(rig.s().chip.lowVoltageChar, '0');
    EXPECT_EQ(rig.chip().profile().name, "PIC12C508");
    EXPECT_TRUE(rig.s().file.fileSelected);
    expectDataBoxes(w, false);
    rig.selectChip("PIC10F206");
    expectDataBoxes(w, false, true);
    rig.selectChip("PIC16F84A");
    expectDataBoxes(w, true);
}

// A device line whose algorithm digit the program does not know selects no
// chip: the list is refused with an "Error!" and chip commands stay refused.
TEST(ChipList, AnUnknownAlgorithmIsRefusedWhenItsLineIsRead) {
    UiRig rig;
    std::string list = readFile(rig.dir.path() / "kestrum.ini");
    list += "PIC16X00\tF84\t1024\t64\tN\t0\tN\n";
    writeFile(rig.dir.path() / "kestrum.ini", list);
    rig.startOn("PIC16F84A");
    rig.window.selectListItem(ctl::kChipList, rig.indexOf("PIC16X00"));
    rig.main().command(ctl::kChipList);
    EXPECT_EQ(rig.lastBox().title, "Error!");
    EXPECT_EQ(rig.lastBox().text, "unknown algorithm 0 of PIC16X00 in kestrum.ini !");
    EXPECT_EQ(rig.s().device.listIndex, -1);
    rig.watchBoard();
    rig.main().command(ctl::kWriteButton);
    EXPECT_EQ(rig.main().lastEnding(), Ending::refused);
    EXPECT_TRUE(rig.boardUntouched());
}

}  // namespace
}  // namespace ferrolux::test
