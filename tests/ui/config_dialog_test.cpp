// The configuration word dialog: bit boxes, hex field, IDs and its chip commands.
#include "ui/config_dialog.h"

#include <gtest/gtest.h>

#include "files/device_list.h"
#include "support/counting_ticks.h"
#include "ui_rig.h"

namespace ferrolux::test {
namespace {

// A device list with one chip whose labels are A13..A0, bits 11 and 10 active
// low where `activeLow` says, and a session with that chip selected.
struct LabelRig {
    TempDir dir;
    CountingTicks ticks;
    RecordingWindow main;
    RecordingWindow dialog;
    Session s{ticks, &main};
    ui::ConfigDialog config{s};

    explicit LabelRig(bool activeLow = false) {
        std::string labels;
        for (int bit = 13; bit >= 0; --bit) {
            labels += '\t';
            if (activeLow && (bit == 11 || bit == 10)) labels += '/';
            labels += "A" + std::to_string(bit);
        }
        writeFile(dir.path() / "kestrum.ini",
                  "PIC16F84A\tTST\t1024\t64\tN\t1\tY\r\nconfTST\t" + labels + "\r\n");
        s.programDir = dir.path();
        fillChipList(s);
        main.selectListItem(ctl::kChipList, 0);
        selectDevice(s);
    }

    void type(const std::string& text) {
        dialog.userEdit(config, ctl::kHexValueField, text, static_cast<int>(text.size()));
    }
    bool box(int bit) { return dialog.checked[ctl::kBitBox0 - bit]; }
};

TEST(ConfigDialog, OpeningShowsWordLabelsAndIdsInScreenOrder) {
    LabelRig rig;
    rig.s.configWord = 0x0005;
    rig.s.idValues = {1, 2, 3, 4};
    rig.config.opened(rig.dialog);
    EXPECT_EQ(rig.dialog.texts[ctl::kHexValueField], "0005");
    EXPECT_EQ(rig.dialog.texts[1148], "A13");
    EXPECT_EQ(rig.dialog.texts[1135], "A0");
    EXPECT_TRUE(rig.box(0));
    EXPECT_FALSE(rig.box(1));
    EXPECT_TRUE(rig.box(2));
    EXPECT_EQ(rig.dialog.texts[1074], "1");
    EXPECT_EQ(rig.dialog.texts[1076], "2");
    EXPECT_EQ(rig.dialog.texts[1075], "3");
    EXPECT_EQ(rig.dialog.texts[1077], "4");
}

TEST(ConfigDialog, Typing2F61ChecksExactlyItsBits) {
    LabelRig rig;
    rig.config.opened(rig.dialog);
    rig.type("2F61");
    EXPECT_EQ(rig.s.configWord, 0x2F61);
    for (int bit = 0; bit < 14; ++bit) {
        const bool expected = bit == 13 || bit == 11 || bit == 10 || bit == 9 || bit == 8 ||
                              bit == 6 || bit == 5 || bit == 0;
        EXPECT_EQ(rig.box(bit), expected) << "bit " << bit;
    }
}

TEST(ConfigDialog, ActiveLowBitsAreCheckedWhenZeroAndAClickRebuildsTheWord) {
    LabelRig rig(true);
    rig.s.configWord = 0x3FF2;
    rig.config.opened(rig.dialog);
    EXPECT_FALSE(rig.box(11));
    EXPECT_FALSE(rig.box(10));
    EXPECT_TRUE(rig.box(13));
    rig.dialog.click(rig.config, ctl::kBitBox0 - 11);
    EXPECT_EQ(rig.s.configWord, 0x37F2);
    EXPECT_EQ(rig.dialog.texts[ctl::kHexValueField], "37F2");
    EXPECT_TRUE(rig.box(11));
}

TEST(ConfigDialog, TheHexFieldTakesFourDigitsAtMostAndIgnoresNonsense) {
    LabelRig rig;
    rig.config.opened(rig.dialog);
    rig.type("1A2B3");
    EXPECT_EQ(rig.s.configWord, 0x1A2B);
    rig.type("xyz");
    EXPECT_EQ(rig.s.configWord, 0x1A2B);
    rig.type("-1");
    EXPECT_EQ(rig.s.configWord, 0x1A2B);
    rig.type("  3ff");
    EXPECT_EQ(rig.s.configWord, 0x3FF);
    rig.type("0x12");
    EXPECT_EQ(rig.s.configWord, 0x12);
}

TEST(ConfigDialog, DoneRefusesAWordAboveFourteenBitsUntilABoxIsClicked) {
    LabelRig rig;
    rig.config.opened(rig.dialog);
    rig.type("FFFF");
    rig.config.command(rig.dialog, ctl::kDefaultButton);
    ASSERT_EQ(rig.dialog.boxes.size(), 1u);
    EXPECT_EQ(rig.dialog.boxes[0].text, "Configword Value?");
    EXPECT_EQ(rig.dialog.boxes[0].title, "Error!");
    EXPECT_TRUE(rig.dialog.endResults.empty());
    rig.dialog.click(rig.config, ctl::kBitBox0 - 3);
    EXPECT_EQ(rig.s.configWord, 0x3FF7);
    rig.config.command(rig.dialog, ctl::kDefaultButton);
    EXPECT_EQ(rig.dialog.endResults, std::vector<int>{1});
}

TEST(ConfigDialog, EscClosesWhateverTheWordHolds) {
    LabelRig rig;
    rig.config.opened(rig.dialog);
    rig.type("FFFF");
    rig.config.command(rig.dialog, ctl::kCancel);
    EXPECT_EQ(rig.dialog.endResults, std::vector<int>{2});
    EXPECT_EQ(rig.s.configWord, 0xFFFF);
}

TEST(ConfigDialog, IdFieldsTakeOneHexDigitOfEitherCase) {
    LabelRig rig;
    rig.s.idValues = {1, 2, 3, 4};
    rig.config.opened(rig.dialog);
    rig.dialog.userEdit(rig.config, 1076, "G", 1);
    EXPECT_EQ(rig.s.idValues[1], 2);
    rig.dialog.userEdit(rig.config, 1076, "a", 1);
    EXPECT_EQ(rig.s.idValues[1], 10);
    rig.dialog.userEdit(rig.config, 1075, "", 0);
    EXPECT_EQ(rig.s.idValues[2], 3);
}

TEST(ConfigDialog, WidenedIdsShowAndComeBackAsTheirLowFourBits) {
    LabelRig rig;
    rig.s.idValues = {0x3F81, 0x3F8A, 0x3F82, 0x3F8F};
    rig.config.opened(rig.dialog);
    EXPECT_EQ(rig.dialog.texts[1074], "1");
    EXPECT_EQ(rig.dialog.texts[1076], "A");
    EXPECT_EQ(rig.dialog.texts[1077], "F");
    EXPECT_EQ(rig.s.idValues, (std::array<int, 4>{1, 0xA, 2, 0xF}));
}

// The dialog's chip commands on the simulated board.
struct ConfigOnChip : ::testing::Test {
    UiRig rig;
    std::unique_ptr<ui::ConfigDialog> config;
    RecordingWindow dialog;
    void SetUp() override {
        rig.startOn("PIC16F628A");
        config = std::make_unique<ui::ConfigDialog>(rig.s());
        config->opened(dialog);
    }
};

TEST_F(ConfigOnChip, WriteThenReadTheWordAndTheIds) {
    dialog.userEdit(*config, ctl::kHexValueField, "3F50", 4);
    config->command(dialog, ctl::kWriteConfig);
    EXPECT_EQ(rig.chip().configWord(0x2007), 0x3F50);
    EXPECT_FALSE(rig.chip().inProgrammingMode());
    EXPECT_EQ(dialog.beeps, 1);

    for (int i = 0; i < 4; ++i)
        dialog.userEdit(*config, ctl::kIdFields[i], "C", 1);
    dialog.userEdit(*config, 1076, "5", 1);
    config->command(dialog, ctl::kWriteIds);
    EXPECT_EQ(rig.chip().configWord(0x2001) & 0xF, 5);
    EXPECT_EQ(rig.s().idValues[1] & 0xF, 5);

    rig.chip().setConfigWord(0x2007, 0x3F10);
    config->command(dialog, ctl::kReadConfig);
    EXPECT_EQ(dialog.texts[ctl::kHexValueField], "3F10");
    rig.chip().setConfigWord(0x2003, 0x3F87);
    config->command(dialog, ctl::kReadIds);
    EXPECT_EQ(dialog.texts[1077], "7");
    EXPECT_EQ(config->failures(), 0);
    EXPECT_TRUE(dialog.boxes.empty());
}

TEST_F(ConfigOnChip, ReadWithoutAChipShowsTheLinkFailureAndKeepsTheField) {
    const std::string before = dialog.texts[ctl::kHexValueField];
    rig.board().removeChip();
    config->command(dialog, ctl::kReadConfig);
    ASSERT_EQ(dialog.boxes.size(), 1u);
    EXPECT_EQ(dialog.boxes[0].title, "Error");
    EXPECT_EQ(dialog.boxes[0].text.rfind("NO PIC ON BOARD", 0), 0u);
    EXPECT_EQ(dialog.texts[ctl::kHexValueField], before);
    EXPECT_EQ(config->failures(), 1);
    rig.board().insertChip(&rig.chip());
}

}  // namespace
}  // namespace ferrolux::test
