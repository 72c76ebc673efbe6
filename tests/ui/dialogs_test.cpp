// The configuration word dialog and the data memory window, on the simulated board.
#include <gtest/gtest.h>

#include "device/check_link.h"
#include "link/icsp.h"
#include "ui/config_dialog.h"
#include "ui/data_window.h"
#include "ui_rig.h"

namespace ferrolux::test {
namespace {

// The dialog open on a PIC16F873A, whose labels make bits 13-8 and 5-3 active low.
struct ConfigDialog : ::testing::Test {
    static constexpr int kActiveLow = 0x3F38;
    UiRig rig;
    RecordingWindow d;
    std::unique_ptr<ui::ConfigDialog> config;
    void open(int word) {
        rig.startOn("PIC16F873A");
        rig.s().chip.configWord = word;
        config = std::make_unique<ui::ConfigDialog>(rig.s());
        config->opened(d);
    }
    void type(int id, const std::string& text) {
        d.userEdit(*config, id, text, static_cast<int>(text.size()));
    }
    // The word the bit boxes show: checked means 1, or 0 where active low.
    int boxes() {
        int word = 0;
        for (int bit = 0; bit < 14; ++bit)
            word |= d.checked[ctl::kBitBox0 - bit] ? 1 << bit : 0;
        return word ^ kActiveLow;
    }
};

TEST_F(ConfigDialog, TheHexFieldTakesUpToFourDigitsAndTheBoxesFollow) {
    open(0x0005);
    EXPECT_EQ(d.texts[ctl::kHexValueField], "0005");
    EXPECT_EQ(boxes(), 0x0005);
    const std::pair<const char*, int> cases[] = {{"2F61", 0x2F61}, {"1A2B3", 0x1A2B},
                                                 {"xyz", 0x1A2B},  {"-1", 0x1A2B},
                                                 {"  3ff", 0x3FF}, {"0x1234", 0x12}};
    for (auto [typed, word] : cases) {
        type(ctl::kHexValueField, typed);
        EXPECT_EQ(rig.s().chip.configWord, word) << typed;
        EXPECT_EQ(boxes(), word) << typed;
    }
}

TEST_F(ConfigDialog, ClicksRebuildTheWordAndDoneRefusesOneAboveFourteenBits) {
    open(0x3FF2);
    EXPECT_FALSE(d.checked[ctl::kBitBox0 - 11]);
    d.click(*config, ctl::kBitBox0 - 11);  // active low: checked clears the bit
    EXPECT_EQ(rig.s().chip.configWord, 0x37F2);
    EXPECT_EQ(d.texts[ctl::kHexValueField], "37F2");
    EXPECT_EQ(boxes(), 0x37F2);

    type(ctl::kHexValueField, "FFFF");
    config->command(d, ctl::kDefaultButton);
    EXPECT_EQ(d.boxes.at(0).text, "Configword Value?");
    EXPECT_TRUE(d.endResults.empty());
    config->command(d, ctl::kCancel);
    EXPECT_EQ(d.endResults, std::vector<int>{2});
    d.click(*config, ctl::kBitBox0 - 2);
    EXPECT_EQ(rig.s().chip.configWord, 0x3FFB);
    config->command(d, ctl::kDefaultButton);
    EXPECT_EQ(d.endResults, (std::vector<int>{2, 1}));
}

TEST_F(ConfigDialog, IdsShowTheirLowFourBitsAndTheChipCommandsWriteAndRead) {
    open(0);
    rig.s().chip.idValues = {0x3F81, 0x3F8A, 0x3F82, 0x3F8F};
    config->opened(d);
    const char* shown[] = {"1", "A", "2", "F"};
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(d.texts[ctl::kIdFields[i]], shown[i]) << i;
    EXPECT_EQ(rig.s().chip.idValues, (std::array<int, 4>{1, 0xA, 2, 0xF}));
    for (auto [typed, value] : {std::pair{"G", 0xA}, {"", 0xA}, {"b", 0xB}}) {
        type(ctl::kIdFields[1], typed);
        EXPECT_EQ(rig.s().chip.idValues[1], value) << typed;
    }
    config->command(d, ctl::kWriteIds);
    EXPECT_EQ(rig.chip().configWord(0x2001) & 0xF, 0xB);
    EXPECT_FALSE(rig.chip().inProgrammingMode());
    type(ctl::kHexValueField, "3F72");
    config->command(d, ctl::kWriteConfig);
    EXPECT_EQ(rig.chip().configWord(0x2007), 0x3F72);
    EXPECT_FALSE(rig.chip().inProgrammingMode());
    EXPECT_EQ(d.beeps, 2);

    rig.chip().setConfigWord(0x2007, 0x3F31);
    config->command(d, ctl::kReadConfig);
    EXPECT_EQ(d.texts[ctl::kHexValueField], "3F31");
    rig.chip().setConfigWord(0x2003, 0x3F87);
    config->command(d, ctl::kReadIds);
    EXPECT_EQ(d.texts[ctl::kIdFields[3]], "7");
    EXPECT_TRUE(d.boxes.empty());

    rig.board().removeChip();
    config->command(d, ctl::kReadConfig);
    EXPECT_EQ(d.boxes.at(0).title, "Error");
    EXPECT_EQ(d.boxes.at(0).text.rfind("NO PIC ON BOARD", 0), 0u);
    EXPECT_EQ(d.texts[ctl::kHexValueField], "3F31");
    EXPECT_EQ(config->failures(), 1);
    rig.board().insertChip(&rig.chip());
}

// Replaces `length` characters at `at` in the data text field as the user
// would, the caret ending after the typed text.
void edit(RecordingWindow& d, int at, int length, const std::string& typed) {
    d.texts[ctl::kDataText].replace(static_cast<std::size_t>(at), static_cast<std::size_t>(length),
                                    typed);
    d.modified[ctl::kDataText] = true;
    d.carets[ctl::kDataText] = {at + static_cast<int>(typed.size()), 0};
}

TEST(DataLines, LinesEndInCrLfOrLf) {
    EXPECT_EQ(ui::textLine("0000: 01 \r\n0001: 02 \r\n", 1), "0001: 02 ");
    EXPECT_EQ(ui::textLine("0000: 01 \n0001: 02 \n", 1), "0001: 02 ");
    EXPECT_EQ(ui::textLine("0000: 01 \r\n", 5), "");
}

TEST(FilterDataEdit, TakesDigitsInTheValueColumnsAndUndoesEverythingElse) {
    enum Outcome { taken, undone, kept };
    struct Case {
        const char* what;
        int at, length;
        const char* typed;
        Outcome outcome;
        bool byUser = true;
        int caret = -1;  // -1: after the typed text
    };
    const Case cases[] = {
        {"digits of line 5", 5 * 11 + 6, 2, "3C", taken},
        {"first digit of line 1", 11 + 6, 1, "7", taken},
        {"second digit of line 0", 7, 1, "A", taken},
        {"first digit of line 1 deleted", 11 + 6, 1, "", kept},
        {"offset of line 5", 5 * 11 + 2, 1, "9", undone},
        {"colon of line 5", 5 * 11 + 4, 1, "x", undone},
        {"offset of line 0", 1, 1, "X", undone},
        {"first character of line 2 deleted", 2 * 11, 1, "", undone},
        {"blank after the colon of line 1", 11 + 5, 1, "1", undone},
        {"blank of line 2 deleted", 2 * 11 + 5, 1, "", undone, true, 2 * 11 + 6},
        {"digits set by the program", 5 * 11 + 6, 2, "3C", kept, false},
        {"caret at the start", 30, 1, "x", kept, true, 0},
    };
    for (const Case& c : cases) {
        RecordingWindow d;
        std::string own;
        for (int k = 0; k < 8; ++k)
            own += ui::dataLine(k, 0xFF);
        const std::string original = own;
        d.setText(ctl::kDataText, own);
        edit(d, c.at, c.length, c.typed);
        const std::string edited = d.texts[ctl::kDataText];
        d.modified[ctl::kDataText] = c.byUser;
        if (c.caret >= 0) d.carets[ctl::kDataText] = {c.caret, 0};
        ui::filterDataEdit(d, own);
        EXPECT_EQ(d.texts[ctl::kDataText], c.outcome == undone ? original : edited) << c.what;
        EXPECT_EQ(own, c.outcome == taken ? edited : original) << c.what;
    }
}

// The window on a simulated chip whose data bytes hold their own offsets.
struct DataWindow : ::testing::Test {
    UiRig rig;
    RecordingWindow d;
    std::unique_ptr<ui::DataWindow> window;
    void open(const std::string& chip) {
        rig.startOn(chip);
        for (int k = 0; k < rig.s().device.dataBytes; ++k)
            rig.chip().setDataByte(static_cast<std::size_t>(k), static_cast<std::uint8_t>(k));
        ASSERT_NE(checkLink(rig.s()), 0);  // as the main window does first
        rig.chip().enableFrameLog(true);
        window = std::make_unique<ui::DataWindow>(rig.s());
        window->opened(d);
    }
    void type(int at, const std::string& typed) {
        edit(d, at, static_cast<int>(typed.size()), typed);
        window->textChanged(d, ctl::kDataText);
    }
    // The commands sent since the last call.
    std::vector<int> commands() {
        std::vector<int> sent;
        for (const auto& f : rig.chip().frames()) {
            if (f.kind == sim::VirtualPic::Frame::command) sent.push_back(f.value);
        }
        rig.chip().clearFrameLog();
        return sent;
    }
    long loadsOfData() {
        const auto sent = commands();
        return std::count(sent.begin(), sent.end(), LOAD_DATA_DATA);
    }
};

TEST_F(DataWindow, ShowsEveryByteWritesOnlyTheEditedOneAndExitDiscardsEdits) {
    open("PIC16F628A");
    EXPECT_EQ(d.texts[ctl::kDataText].size(), 128u * 11);
    EXPECT_EQ(d.texts[ctl::kDataText].substr(0, 11), "0000: 00 \r\n");
    EXPECT_EQ(d.texts[ctl::kDataText].substr(127 * 11), "007F: 7F \r\n");
    EXPECT_EQ(d.texts[ctl::kDataStatus], " ");
    EXPECT_EQ(commands().front(), READ_DATA_DATA);  // no configuration area to skip

    type(127 * 11 + 6, "3C");
    window->command(d, ctl::kWriteData);
    EXPECT_EQ(loadsOfData(), 1);
    EXPECT_EQ(rig.chip().dataByte(127), 0x3C);
    EXPECT_EQ(d.beeps, 1);
    EXPECT_TRUE(d.boxes.empty());

    rig.s().pass.blank = true;
    window->command(d, ctl::kReadData);
    EXPECT_FALSE(rig.s().pass.blank);
    type(6, "99");
    window->command(d, ctl::kDefaultButton);
    EXPECT_EQ(d.endResults, std::vector<int>{1});
    EXPECT_EQ(rig.chip().dataByte(0), 0);
    EXPECT_EQ(window->failures(), 0);
}

TEST_F(DataWindow, ABadValueIsRefusedAndAByteThatDoesNotTakeStopsWithWriteError) {
    open("PIC16F628A");
    const std::string shown = d.texts[ctl::kDataText];
    d.texts[ctl::kDataText].replace(2 * 11 + 6, 2, "ZZ");
    commands();
    EXPECT_EQ(window->writeData(d), 1);
    EXPECT_EQ(d.boxes.at(0).text, "Data-Value? (0002)");
    EXPECT_EQ(loadsOfData(), 0);

    rig.chip().dropWritesToData(3);
    d.texts[ctl::kDataText] = shown;
    d.texts[ctl::kDataText].replace(3 * 11 + 6, 2, "AA");
    d.texts[ctl::kDataText].replace(9 * 11 + 6, 2, "BB");
    EXPECT_EQ(window->writeData(d), 1);
    EXPECT_EQ(d.boxes.at(1).text, "Write Error!");
    EXPECT_EQ(d.texts[ctl::kDataStatus], " ");
    EXPECT_EQ(rig.chip().dataByte(9), 9);  // later lines are not written
    EXPECT_EQ(d.beeps, 0);
    EXPECT_EQ(window->failures(), 2);
}

TEST_F(DataWindow, LinesBeyondTheDataMemoryDoNotWrapOntoItsStart) {
    open("PIC16F84A");
    EXPECT_EQ(commands().front(), LOAD_CONFIGURATION);  // family 1 skips the configuration area
    d.texts[ctl::kDataText] += "0040: 55 \r\n0041: 66 \r\n";
    EXPECT_EQ(window->writeData(d), 0);
    EXPECT_EQ(rig.chip().dataByte(0), 0);
    EXPECT_EQ(rig.chip().dataByte(1), 1);
}

TEST_F(DataWindow, FamilySevenPositionsWithLoadConfigurationToWriteOnly) {
    open("PIC16F818");
    EXPECT_EQ(commands().front(), READ_DATA_DATA);
    type(11 + 6, "42");
    window->command(d, ctl::kWriteData);
    EXPECT_EQ(commands().front(), LOAD_CONFIGURATION);
    EXPECT_EQ(rig.chip().dataByte(1), 0x42);
}

}  // namespace
}  // namespace ferrolux::test
