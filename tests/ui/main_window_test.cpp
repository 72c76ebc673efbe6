// The main window's chip and file commands: preconditions, questions, endings.
#include <gtest/gtest.h>

#include "link/icsp.h"
#include "ui/main_window.h"
#include "ui_rig.h"

namespace ferrolux::test {
namespace {

using ui::Answer;
using ui::Ending;

constexpr const char* kNoPic =
    "NO PIC ON BOARD,\nPROGRAMMER MUST BE SET TO PGM MODE,\nPIC TYPE MISMATCHED WITH SOFTWARE,...";

struct Commands : ::testing::Test {
    UiRig rig;
    void SetUp() override { rig.startOn("PIC16F628A"); }
};

TEST_F(Commands, WriteNeedsAFileAndTouchesNothingWithout) {
    rig.watchBoard();
    EXPECT_EQ(rig.main().write(), 1);
    EXPECT_EQ(rig.lastBox().text, "No File selected!");
    EXPECT_EQ(rig.lastBox().title, "ERROR!");
    EXPECT_EQ(rig.main().lastEnding(), Ending::refused);
    EXPECT_TRUE(rig.boardUntouched());

    EXPECT_EQ(rig.main().verify(), 1);
    EXPECT_EQ(rig.lastBox().text, "No File selected!");
    EXPECT_TRUE(rig.boardUntouched());
}

TEST_F(Commands, WriteWithOnlyConfigWordWritesTheCurrentWordWithoutAFile) {
    rig.window.checked[ctl::kWriteCodeBox] = false;
    rig.window.checked[ctl::kWriteDataBox] = false;
    rig.window.checked[ctl::kWriteConfigBox] = true;
    rig.window.checked[ctl::kEraseBeforeWriteBox] = false;
    rig.s().configWord = 0x3F50;
    EXPECT_EQ(rig.main().write(), 0) << rig.lastBox().text;
    EXPECT_EQ(rig.window.texts[ctl::kStatusField], "OK");
    EXPECT_EQ(rig.chip().configWord(0x2007) & 0x3FFF, 0x3F50 & 0x3FFF);
    EXPECT_TRUE(rig.window.enabled[ctl::kViewSetButton]);
}

TEST_F(Commands, WriteWithNothingTickedStillChecksTheLinkAndEndsOk) {
    for (int id : {ctl::kWriteCodeBox, ctl::kWriteDataBox, ctl::kWriteConfigBox,
                   ctl::kEraseBeforeWriteBox}) {
        rig.window.checked[id] = false;
    }
    rig.watchBoard();
    EXPECT_EQ(rig.main().write(), 0);
    EXPECT_FALSE(rig.boardUntouched());
    EXPECT_EQ(rig.window.texts[ctl::kStatusField], "OK");
    EXPECT_EQ(rig.window.texts[ctl::kDevIdField].empty(), false);
}

TEST_F(Commands, WriteVerifySaveAFileEndToEnd) {
    ASSERT_EQ(rig.open(example("blink_16f628a")), 0) << rig.lastBox().text;
    EXPECT_EQ(rig.window.texts[ctl::kFileField], "blink_16f628a.hex");
    EXPECT_FALSE(rig.window.enabled[ctl::kFileField]);
    EXPECT_TRUE(rig.window.checked[ctl::kWriteConfigBox]);
    EXPECT_FALSE(rig.window.enabled[ctl::kSaveButton]);
    EXPECT_EQ(rig.window.texts[ctl::kConfigWordField], "3F70");
    const int beeps = rig.window.beeps;

    ASSERT_EQ(rig.main().write(), 0) << rig.lastBox().text;
    EXPECT_EQ(rig.window.texts[ctl::kStatusField], "OK");
    EXPECT_EQ(rig.window.beeps, beeps + 1);
    EXPECT_FALSE(rig.window.enabled[ctl::kStatusField]);
    EXPECT_FALSE(rig.window.enabled[ctl::kFileField]);
    EXPECT_TRUE(rig.window.enabled[ctl::kSaveButton]);
    EXPECT_EQ(rig.s().verifyOnly, 0);
    EXPECT_EQ(rig.chip().programWord(0), 0x2805);  // goto start
    EXPECT_EQ(rig.chip().dataByte(0), 'F');
    EXPECT_EQ(rig.chip().configWord(0x2007), 0x3F70);
    EXPECT_FALSE(rig.chip().inProgrammingMode());

    rig.window.checked[ctl::kVerifyDataBox] = true;
    ASSERT_EQ(rig.main().verify(), 0) << rig.lastBox().text;
    EXPECT_EQ(rig.s().verifyOnly, 1);  // stays set until the next Write

    rig.window.checked[ctl::kSaveHexRadio] = false;
    rig.window.checked[ctl::kSaveTextRadio] = true;
    rig.window.texts[ctl::kConfigWordField] = "";
    ASSERT_EQ(rig.main().save(), 0);
    EXPECT_EQ(rig.window.texts[ctl::kStatusField], "'readback.txt' saved");
    EXPECT_EQ(rig.window.texts[ctl::kConfigWordField], "3F70");
    EXPECT_TRUE(std::filesystem::exists(rig.dir.path() / "readback.txt"));

    rig.window.checked[ctl::kSaveHexRadio] = true;
    rig.window.checked[ctl::kSaveTextRadio] = false;
    ASSERT_EQ(rig.main().save(), 0);
    EXPECT_EQ(rig.window.texts[ctl::kStatusField], "'readback.hex' saved");
    EXPECT_NE(readFile(rig.dir.path() / "readback.hex").find(":02400E00703F01"), std::string::npos);
}

TEST_F(Commands, VerifyOfADifferentChipFailsWithTheMessageAndLeavesProgrammingMode) {
    ASSERT_EQ(rig.open(example("blink_16f628a")), 0);
    ASSERT_EQ(rig.main().write(), 0);
    rig.chip().setProgramWord(0x10, 0x0000);
    EXPECT_EQ(rig.main().verify(), 1);
    EXPECT_EQ(rig.lastBox().title, "Error");
    EXPECT_NE(rig.lastBox().text.find("0010"), std::string::npos) << rig.lastBox().text;
    EXPECT_EQ(rig.window.texts[ctl::kStatusField], " ");
    EXPECT_FALSE(rig.window.enabled[ctl::kStatusField]);
    EXPECT_EQ(rig.main().lastEnding(), Ending::failed);
    EXPECT_FALSE(rig.chip().inProgrammingMode());
}

TEST_F(Commands, AnEmptySocketFailsEveryChipCommandWithTheLinkText) {
    ASSERT_EQ(rig.open(example("blink_16f628a")), 0);
    rig.board().removeChip();
    EXPECT_EQ(rig.main().write(), 1);
    EXPECT_EQ(rig.lastBox().text, kNoPic);
    EXPECT_EQ(rig.lastBox().title, "Error");
    EXPECT_EQ(rig.main().save(), 1);
    EXPECT_EQ(rig.main().verify(), 1);
    EXPECT_EQ(rig.lastBox().text, kNoPic);
    rig.board().insertChip(&rig.chip());
}

TEST_F(Commands, EraseQuestionsCancelTouchNothingAndOkErases) {
    ASSERT_EQ(rig.open(example("blink_16f628a")), 0);
    ASSERT_EQ(rig.main().write(), 0);
    struct Case {
        int id;
        const char* question;
    };
    for (Case c : {Case{ctl::kEraseCode, "This Command Deletes Flash-Memory!"},
                   Case{ctl::kEraseData, "This Command Deletes Data-Memory!"},
                   Case{ctl::kDisableProtection, "This Command Deletes Memory!"}}) {
        rig.watchBoard();
        rig.window.answers = {Answer::cancel};
        rig.main().command(c.id);
        EXPECT_EQ(rig.lastBox().text, c.question);
        EXPECT_EQ(rig.lastBox().title, "Warning!");
        EXPECT_EQ(rig.lastBox().buttons, ui::Buttons::okCancel);
        EXPECT_EQ(rig.main().lastEnding(), Ending::cancelled);
        EXPECT_TRUE(rig.boardUntouched()) << c.question;
        EXPECT_FALSE(rig.window.enabled[ctl::kStatusField]);
    }
    EXPECT_EQ(rig.chip().dataByte(0), 'F');

    rig.main().command(ctl::kEraseData);
    EXPECT_EQ(rig.main().lastEnding(), Ending::ok);
    EXPECT_EQ(rig.chip().dataByte(0), 0xFF);
    EXPECT_EQ(rig.chip().programWord(0), 0x2805);
    rig.main().command(ctl::kEraseCode);
    EXPECT_EQ(rig.window.texts[ctl::kStatusField], "OK");
    EXPECT_EQ(rig.chip().programWord(0), 0x3FFF);
}

TEST_F(Commands, DisableCodeProtectionErasesAProtectedChip) {
    ASSERT_EQ(rig.open(example("blink_16f628a")), 0);
    ASSERT_EQ(rig.main().write(), 0);
    rig.chip().protect(true, true);
    rig.window.texts[ctl::kStatusField] = "";
    EXPECT_EQ(rig.main().disableCodeProtection(), 0) << rig.lastBox().text;
    EXPECT_FALSE(rig.chip().codeProtected());
    EXPECT_EQ(rig.chip().programWord(0), 0x3FFF);
    EXPECT_FALSE(rig.window.enabled[ctl::kFileField]);
}

TEST_F(Commands, OpenCancelledChangesNothing) {
    rig.window.pickedFiles = {""};
    EXPECT_EQ(rig.main().openFile(), 1);
    EXPECT_FALSE(rig.s().fileSelected);
    ASSERT_EQ(rig.window.fileRequests.size(), 1u);
    EXPECT_EQ(rig.window.fileRequests[0].title, "Open a File");
    EXPECT_EQ(rig.window.fileRequests[0].filterName, "Hex-Files");
    EXPECT_EQ(rig.window.fileRequests[0].pattern, "*.hex");
    EXPECT_TRUE(rig.window.boxes.empty());
}

TEST_F(Commands, OpenOfABadFileFailsAndBlanksTheFileField) {
    writeFile(rig.dir.path() / "bad.hex", "hello\r\n");
    EXPECT_EQ(rig.open(rig.dir.path() / "bad.hex"), 1);
    EXPECT_EQ(rig.lastBox().text, "Wrong File-Format!");
    EXPECT_EQ(rig.lastBox().title, "Error");
    EXPECT_EQ(rig.window.texts[ctl::kFileField], " ");
    EXPECT_FALSE(rig.s().fileSelected);
    EXPECT_EQ(rig.open(rig.dir.path() / "missing.hex"), 1);
    EXPECT_EQ(rig.lastBox().text, "Open Error!");
}

TEST_F(Commands, AWrongChecksumAsksAndCancelDeselects) {
    std::string text = readFile(example("blink_16f628a"));
    text.replace(text.find(":020000000528D1"), 15, ":020000000528D2");
    writeFile(rig.dir.path() / "sum.hex", text);
    rig.window.answers = {Answer::cancel};
    EXPECT_EQ(rig.open(rig.dir.path() / "sum.hex"), 1);
    EXPECT_EQ(rig.lastBox().text, "Intel checksum wrong, continue?");
    EXPECT_FALSE(rig.s().fileSelected);
    EXPECT_EQ(rig.window.texts[ctl::kFileField], " ");

    rig.window.answers = {Answer::ok};
    EXPECT_EQ(rig.open(rig.dir.path() / "sum.hex"), 0);
    EXPECT_TRUE(rig.s().fileSelected);
    EXPECT_EQ(rig.state()[9], '1');
}

TEST_F(Commands, AFileWithoutConfigWordWarnsAndLeavesSaveAndViewSetEnabled) {
    std::string text = readFile(example("blink_16f628a"));
    const std::size_t at = text.find(":02400E00703F01");
    ASSERT_NE(at, std::string::npos);
    text.erase(at, text.find(':', at + 1) - at);
    writeFile(rig.dir.path() / "noconfig.hex", text);
    EXPECT_EQ(rig.open(rig.dir.path() / "noconfig.hex"), 0);
    EXPECT_EQ(rig.lastBox().title, "WARNING!");
    EXPECT_TRUE(rig.window.enabled[ctl::kSaveButton]);
    EXPECT_TRUE(rig.window.enabled[ctl::kViewSetButton]);
    EXPECT_FALSE(rig.window.checked[ctl::kWriteConfigBox]);
}

TEST_F(Commands, CloseDeselectsButKeepsTheReopenMark) {
    ASSERT_EQ(rig.open(example("blink_16f628a")), 0);
    rig.main().command(ctl::kCloseFile);
    EXPECT_FALSE(rig.s().fileSelected);
    EXPECT_EQ(rig.window.texts[ctl::kFileField], " ");
    EXPECT_TRUE(rig.window.enabled[ctl::kSaveButton]);
    EXPECT_TRUE(rig.window.enabled[ctl::kViewSetButton]);
    EXPECT_EQ(rig.state()[9], '1');
}

TEST_F(Commands, DataWindowRefusesChipsWithoutDataMemoryUntouched) {
    rig.selectChip("PIC16F73");
    rig.watchBoard();
    EXPECT_EQ(rig.main().dataWindow(), 1);
    EXPECT_EQ(rig.lastBox().text, "This PIC does not provide data memory!");
    EXPECT_EQ(rig.lastBox().title, "ERROR!");
    EXPECT_TRUE(rig.boardUntouched());
    EXPECT_TRUE(rig.window.dialogsRun.empty());
}

TEST_F(Commands, DataWindowLeavesProgrammingModeWhenItCloses) {
    bool inModeWhileOpen = false;
    rig.window.dialogScripts[ctl::kDataMemoryDialog] = [&](ui::DialogHandler& h,
                                                           RecordingWindow& d) {
        inModeWhileOpen = rig.chip().inProgrammingMode();
        h.command(d, ctl::kDefaultButton);
    };
    EXPECT_EQ(rig.main().dataWindow(), 0);
    EXPECT_TRUE(inModeWhileOpen);
    EXPECT_FALSE(rig.chip().inProgrammingMode());
}

TEST_F(Commands, ViewSetShowsTheWordWhenTheDialogCloses) {
    rig.window.dialogScripts[ctl::kConfigDialog] = [](ui::DialogHandler& h, RecordingWindow& d) {
        d.userEdit(h, ctl::kHexValueField, "1234", 4);
        h.command(d, ctl::kDefaultButton);
    };
    rig.main().command(ctl::kViewSetButton);
    EXPECT_EQ(rig.window.dialogsRun, std::vector<int>{ctl::kConfigDialog});
    EXPECT_EQ(rig.window.texts[ctl::kConfigWordField], "1234");
}

TEST_F(Commands, HelpNeedsTheHelpFile) {
    rig.main().command(ctl::kHelpTopics);
    EXPECT_EQ(rig.lastBox().text, "T3306.CHM not found!");
    EXPECT_EQ(rig.lastBox().title, "Error");
    writeFile(rig.dir.path() / "T3306.CHM", "help");
    const auto boxes = rig.window.boxes.size();
    rig.main().command(ctl::kHelpTopics);
    EXPECT_EQ(rig.window.boxes.size(), boxes);
    ASSERT_EQ(rig.window.documents.size(), 1u);
    EXPECT_EQ(rig.window.documents[0], (rig.dir.path() / "T3306.CHM").string());
}

TEST_F(Commands, ExitEndsTheWindowAndUnknownIdsDoNothing) {
    rig.main().command(4711);
    EXPECT_FALSE(rig.main().ended());
    rig.main().command(ctl::kAbout);
    EXPECT_EQ(rig.lastBox().title, "About Ferrolux");
    EXPECT_NE(rig.lastBox().text.find("Revision 2.6.0\n"), std::string::npos);
    for (int id : {ctl::kExitButton, ctl::kExitMenu, ctl::kCancel}) {
        UiRig other;
        other.startOn("PIC16F84A");
        other.main().command(id);
        EXPECT_TRUE(other.main().ended());
        EXPECT_EQ(other.window.endResults, std::vector<int>{0});
    }
}

// Family 8: the blank check before writing code.
struct TwelveBit : ::testing::Test {
    UiRig rig;
    void SetUp() override {
        rig.startOn("PIC12C508");
        ASSERT_EQ(rig.open(example("blink_12c508")), 0);
    }
};

TEST_F(TwelveBit, ANotBlankChipAsksAndCancelLeavesProgrammingModeWithoutWriting) {
    ASSERT_EQ(rig.main().write(), 0) << rig.lastBox().text;
    EXPECT_EQ(rig.chip().programWord(1), 0x0CFE);
    const auto boxes = rig.window.boxes.size();
    rig.chip().setProgramWord(0x20, 0x0000);  // a word that a rewrite would restore, if it could
    rig.window.enabled[ctl::kSaveButton] = false;
    rig.window.answers = {Answer::cancel};
    EXPECT_EQ(rig.main().write(), 1);
    ASSERT_EQ(rig.window.boxes.size(), boxes + 1);
    EXPECT_EQ(rig.lastBox().text, "PIC not blank, continue?");
    EXPECT_EQ(rig.main().lastEnding(), Ending::cancelled);
    EXPECT_TRUE(rig.window.enabled[ctl::kSaveButton]);
    EXPECT_EQ(rig.window.texts[ctl::kStatusField], "  ");
    EXPECT_FALSE(rig.chip().inProgrammingMode());
}

TEST_F(TwelveBit, VerifyComparesCodeWhateverTheBoxesSay) {
    ASSERT_EQ(rig.main().write(), 0);
    rig.window.checked[ctl::kVerifyCodeBox] = false;
    rig.chip().setProgramWord(0x05, 0x0000);
    EXPECT_EQ(rig.main().verify(), 1);
    EXPECT_EQ(rig.lastBox().title, "Error");
}

}  // namespace
}  // namespace ferrolux::test
