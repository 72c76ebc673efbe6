// The data memory window: its lines, the edit rule and writing back.
#include "ui/data_window.h"

#include <gtest/gtest.h>

#include "device/check_link.h"
#include "link/icsp.h"
#include "ui_rig.h"

namespace ferrolux::test {
namespace {

// The standard text of `bytes` bytes that all hold `value`.
std::string dataText(int bytes, int value) {
    std::string text;
    for (int k = 0; k < bytes; ++k)
        text += ui::dataLine(k, value);
    return text;
}

// Overtypes characters at `at` and reports the change as an edit would.
void overtype(RecordingWindow& d, std::string& own, int at, const std::string& typed) {
    std::string text = d.texts[ctl::kDataText];
    text.replace(static_cast<std::size_t>(at), typed.size(), typed);
    d.texts[ctl::kDataText] = text;
    d.modified[ctl::kDataText] = true;
    d.carets[ctl::kDataText] = {at + static_cast<int>(typed.size()), 0};
    ui::filterDataEdit(d, own);
}

TEST(DataLines, AreElevenCharactersWithOffsetValueAndCrLf) {
    EXPECT_EQ(ui::dataLine(0x7F, 0xA5), "007F: A5 \r\n");
    EXPECT_EQ(ui::textLine("0000: 01 \r\n0001: 02 \r\n", 1), "0001: 02 ");
    EXPECT_EQ(ui::textLine("0000: 01 \n0001: 02 \n", 1), "0001: 02 ");
    EXPECT_EQ(ui::textLine("0000: 01 \r\n", 5), "");
}

TEST(FilterDataEdit, DigitsTypedInTheValueColumnsAreTaken) {
    RecordingWindow d;
    std::string own = dataText(8, 0xFF);
    d.setText(ctl::kDataText, own);
    overtype(d, own, 5 * 11 + 6, "3C");
    EXPECT_EQ(own.substr(55, 11), "0005: 3C \r\n");
    EXPECT_EQ(d.texts[ctl::kDataText].substr(55, 9), "0005: 3C ");
}

TEST(FilterDataEdit, EditsOfOffsetOrColonAreUndone) {
    RecordingWindow d;
    std::string own = dataText(8, 0xFF);
    d.setText(ctl::kDataText, own);
    overtype(d, own, 5 * 11 + 2, "9");  // inside the offset "0005"
    EXPECT_EQ(d.texts[ctl::kDataText], own);
    EXPECT_FALSE(d.modified[ctl::kDataText]);

    // Deleting the colon of line 5.
    std::string text = own;
    text.erase(5 * 11 + 4, 1);
    d.texts[ctl::kDataText] = text;
    d.modified[ctl::kDataText] = true;
    d.carets[ctl::kDataText] = {5 * 11 + 4, 0};
    ui::filterDataEdit(d, own);
    EXPECT_EQ(d.texts[ctl::kDataText], own);

    // Typing into the first line's offset.
    overtype(d, own, 1, "X");
    EXPECT_EQ(d.texts[ctl::kDataText], own);
}

TEST(FilterDataEdit, ReplacingTheBlankAfterTheColonIsUndone) {
    RecordingWindow d;
    std::string own = dataText(8, 0xFF);
    d.setText(ctl::kDataText, own);
    std::string text = own;
    text.erase(2 * 11 + 5, 1);  // "0002:FF \r\n": the digits slide left
    d.texts[ctl::kDataText] = text;
    d.modified[ctl::kDataText] = true;
    d.carets[ctl::kDataText] = {2 * 11 + 6, 0};
    ui::filterDataEdit(d, own);
    EXPECT_EQ(d.texts[ctl::kDataText], own);
}

TEST(FilterDataEdit, NothingHappensWithoutAUserEditOrAtTheStart) {
    RecordingWindow d;
    std::string own = dataText(4, 0xFF);
    d.setText(ctl::kDataText, "something else");
    d.carets[ctl::kDataText] = {30, 0};
    ui::filterDataEdit(d, own);  // set by the program: not modified
    EXPECT_EQ(d.texts[ctl::kDataText], "something else");
    d.modified[ctl::kDataText] = true;
    d.carets[ctl::kDataText] = {0, 0};
    ui::filterDataEdit(d, own);
    EXPECT_EQ(d.texts[ctl::kDataText], "something else");
}

// The window on a simulated chip.
struct DataOnChip : ::testing::Test {
    UiRig rig;
    std::unique_ptr<ui::DataWindow> window;
    RecordingWindow dialog;
    void open(const std::string& chip) {
        rig.startOn(chip);
        for (int k = 0; k < rig.s().device.dataBytes; ++k) {
            rig.chip().setDataByte(static_cast<std::size_t>(k), static_cast<std::uint8_t>(k));
        }
        // As the main window does before it opens the window.
        ASSERT_NE(checkLink(rig.s()), 0);
        window = std::make_unique<ui::DataWindow>(rig.s());
        window->opened(dialog);
    }
    int loadsOfData() {
        int n = 0;
        for (const auto& f : rig.chip().frames()) {
            if (f.kind == sim::VirtualPic::Frame::command && f.value == LOAD_DATA_DATA) ++n;
        }
        return n;
    }
};

TEST_F(DataOnChip, ShowsOneLinePerByteAndAnEmptyLine) {
    open("PIC16F628A");
    const std::string& text = dialog.texts[ctl::kDataText];
    EXPECT_EQ(text.size(), 128u * 11);
    EXPECT_EQ(text.substr(0, 11), "0000: 00 \r\n");
    EXPECT_EQ(text.substr(127 * 11), "007F: 7F \r\n");
    EXPECT_EQ(dialog.texts[ctl::kDataStatus], " ");
}

TEST_F(DataOnChip, WritingAnEditedLineWritesThatByteOnly) {
    open("PIC16F628A");
    std::string own = window->dataText();
    overtype(dialog, own, 5 * 11 + 6, "3C");
    rig.chip().enableFrameLog(true);
    window->command(dialog, ctl::kWriteData);
    EXPECT_EQ(rig.chip().dataByte(5), 0x3C);
    EXPECT_EQ(rig.chip().dataByte(4), 4);
    EXPECT_EQ(rig.chip().dataByte(6), 6);
    EXPECT_EQ(loadsOfData(), 1);
    EXPECT_EQ(dialog.beeps, 1);
    EXPECT_TRUE(dialog.boxes.empty());
    EXPECT_EQ(window->failures(), 0);
}

TEST_F(DataOnChip, ABytethatDoesNotTakeStopsWithWriteError) {
    open("PIC16F628A");
    rig.chip().dropWritesToData(3);
    std::string text = dialog.texts[ctl::kDataText];
    text.replace(3 * 11 + 6, 2, "AA");
    text.replace(9 * 11 + 6, 2, "BB");
    dialog.texts[ctl::kDataText] = text;
    window->command(dialog, ctl::kWriteData);
    ASSERT_EQ(dialog.boxes.size(), 1u);
    EXPECT_EQ(dialog.boxes[0].text, "Write Error!");
    EXPECT_EQ(dialog.boxes[0].title, "");
    EXPECT_EQ(dialog.texts[ctl::kDataStatus], " ");
    EXPECT_EQ(rig.chip().dataByte(9), 9);  // later lines are not written
    EXPECT_EQ(dialog.beeps, 0);
    EXPECT_EQ(dialog.texts[ctl::kDataText], text);
}

TEST_F(DataOnChip, ALineWithoutAHexValueIsRefusedBeforeItIsWritten) {
    open("PIC16F628A");
    std::string text = dialog.texts[ctl::kDataText];
    text.replace(2 * 11 + 6, 2, "ZZ");
    dialog.texts[ctl::kDataText] = text;
    rig.chip().enableFrameLog(true);
    EXPECT_EQ(window->writeData(dialog), 1);
    ASSERT_EQ(dialog.boxes.size(), 1u);
    EXPECT_EQ(dialog.boxes[0].text, "Data-Value? (0002)");
    EXPECT_EQ(loadsOfData(), 0);
    EXPECT_EQ(rig.chip().dataByte(2), 2);
}

TEST_F(DataOnChip, LinesBeyondTheDataMemoryDoNotWrapOntoItsStart) {
    open("PIC16F84A");
    std::string text = dialog.texts[ctl::kDataText] + "0040: 55 \r\n0041: 66 \r\n";
    dialog.texts[ctl::kDataText] = text;
    EXPECT_EQ(window->writeData(dialog), 0);
    EXPECT_EQ(rig.chip().dataByte(0), 0);
    EXPECT_EQ(rig.chip().dataByte(1), 1);
}

TEST_F(DataOnChip, FamilySevenPositionsWithLoadConfigurationToWriteOnly) {
    rig.startOn("PIC16F818");
    ASSERT_NE(checkLink(rig.s()), 0);
    rig.chip().enableFrameLog(true);
    window = std::make_unique<ui::DataWindow>(rig.s());
    window->opened(dialog);
    auto firstCommand = [&] {
        for (const auto& f : rig.chip().frames()) {
            if (f.kind == sim::VirtualPic::Frame::command) return f.value;
        }
        return -1;
    };
    EXPECT_EQ(firstCommand(), READ_DATA_DATA);
    rig.chip().clearFrameLog();
    std::string own = window->dataText();
    overtype(dialog, own, 11 + 6, "42");
    window->command(dialog, ctl::kWriteData);
    EXPECT_EQ(firstCommand(), LOAD_CONFIGURATION);
    EXPECT_EQ(rig.chip().dataByte(1), 0x42);
}

TEST_F(DataOnChip, ExitDiscardsEditsAndTheNextOpeningReadsTheChip) {
    open("PIC16F628A");
    std::string own = window->dataText();
    overtype(dialog, own, 6, "99");
    window->command(dialog, ctl::kDefaultButton);
    EXPECT_EQ(dialog.endResults, std::vector<int>{1});
    EXPECT_EQ(rig.chip().dataByte(0), 0);
    ui::DataWindow again(rig.s());
    RecordingWindow d2;
    again.opened(d2);
    EXPECT_EQ(d2.texts[ctl::kDataText].substr(0, 9), "0000: 00 ");
}

TEST_F(DataOnChip, ReadDataClearsTheBlankFlagForAProgrammedByte) {
    open("PIC16F628A");
    rig.s().blank = true;
    window->command(dialog, ctl::kReadData);
    EXPECT_FALSE(rig.s().blank);
    EXPECT_EQ(dialog.beeps, 1);
}

}  // namespace
}  // namespace ferrolux::test
