#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>

#include "qt_rig.h"
#include "ui/main_window.h"

namespace ferrolux::test {
namespace {

QStringList menuItems(QMenu* menu) {
    QStringList items;
    for (QAction* a : menu->actions()) {
        if (!a->isSeparator()) items << a->text();
    }
    return items;
}

QMenu* popup(QtRig& rig, const QString& title) {
    for (QAction* a : rig.window().findChild<QMenuBar*>()->actions()) {
        if (a->text() == title) return a->menu();
    }
    return nullptr;
}

TEST(QtMainWindow, ControlsCarryTheirIdsCaptionsAndStartStates) {
    QtRig rig;
    rig.startOn("PIC16F628A");
    auto& w = rig.window();
    EXPECT_EQ(w.windowTitle(), "KORVANIS PIC PROGRAMMER  T3306/T3307  Rev: 2.6.0");
    EXPECT_TRUE(w.isVisible());
    EXPECT_EQ(w.minimumSize(), w.maximumSize());

    const std::pair<int, const char*> buttons[] = {
        {1027, "Write"}, {1026, "Save"}, {1028, "Verify"}, {1118, "View / Set"}, {1122, "Exit"}};
    for (const auto& [id, caption] : buttons) {
        auto* b = rig.find<QPushButton>(id);
        ASSERT_NE(b, nullptr) << id;
        EXPECT_EQ(b->text(), caption);
    }
    const std::tuple<int, const char*, bool> boxes[] = {
        {1119, "Write Code", true},         {1120, "Write Data", true},
        {1121, "Write Config.Word", false}, {1172, "Erase bef. Write", true},
        {1092, "Low-Volt-Prog.", false},    {1174, "Verify Code", true},
        {1175, "Verify Data", false}};
    for (const auto& [id, caption, checked] : boxes) {
        auto* b = rig.find<QCheckBox>(id);
        ASSERT_NE(b, nullptr) << id;
        EXPECT_EQ(b->text(), caption);
        EXPECT_EQ(b->isChecked(), checked) << caption;
    }
    ASSERT_NE(rig.find<QRadioButton>(1176), nullptr);
    EXPECT_EQ(rig.find<QRadioButton>(1176)->text(), "SAVE in INHX8M format");
    EXPECT_TRUE(rig.find<QRadioButton>(1176)->isChecked());
    EXPECT_EQ(rig.find<QRadioButton>(1177)->text(), "SAVE in Textformat");
    EXPECT_FALSE(rig.find<QRadioButton>(1177)->isChecked());
    // The simulated board is a serial one: low voltage is greyed.
    EXPECT_FALSE(rig.find(1092)->isEnabled());

    QStringList groups;
    for (auto* g : w.findChildren<QGroupBox*>())
        groups << g->title();
    groups.sort();
    EXPECT_EQ(groups, QStringList({"Configuration", "Controller", "Readback", "Verification",
                                   "Write to PIC"}));

    for (int id : {1017, 1018, 1063, 1091}) {
        auto* f = rig.find<QLineEdit>(id);
        ASSERT_NE(f, nullptr) << id;
        EXPECT_TRUE(f->isReadOnly());
    }
    EXPECT_FALSE(rig.find(1017)->isEnabled());
    EXPECT_FALSE(rig.find(1018)->isEnabled());
    auto* chips = rig.find<QComboBox>(1123);
    ASSERT_NE(chips, nullptr);
    EXPECT_GT(chips->count(), 40);
    EXPECT_EQ(chips->currentText(), "PIC16F628A");
}

TEST(QtMainWindow, MenusHoldTheirItemsInOrderWithIds) {
    QtRig rig;
    ASSERT_TRUE(rig.start());
    QStringList popups;
    for (QAction* a : rig.window().findChild<QMenuBar*>()->actions())
        popups << a->text();
    EXPECT_EQ(popups, QStringList({"File", "Port", "Erase", "Options", "Help"}));

    EXPECT_EQ(menuItems(popup(rig, "File")),
              QStringList({"Open INHX8M HEX file", "Close File", "Exit"}));
    EXPECT_EQ(menuItems(popup(rig, "Port")),
              QStringList({"COM1", "COM2", "COM3", "COM4", "COM5", "COM6", "COM7", "COM8", "0278",
                           "0378", "03BC", "Simulator"}));
    EXPECT_EQ(menuItems(popup(rig, "Erase")),
              QStringList(
                  {"Bulk Erase Code Memory", "Bulk Erase Data Memory", "Disable Codeprotection"}));
    EXPECT_EQ(menuItems(popup(rig, "Options")), QStringList({"Data Window", "Speed"}));
    EXPECT_EQ(menuItems(popup(rig, "Help")), QStringList({"Help Topics", "About Ferrolux"}));

    const std::pair<int, const char*> items[] = {{65535, "Open INHX8M HEX file"},
                                                 {1093, "Close File"},
                                                 {1094, "Exit"},
                                                 {1108, "COM1"},
                                                 {1109, "COM2"},
                                                 {1163, "COM3"},
                                                 {1168, "COM8"},
                                                 {1040, "0278"},
                                                 {1041, "0378"},
                                                 {1042, "03BC"},
                                                 {1169, "Simulator"},
                                                 {122, "Bulk Erase Code Memory"},
                                                 {123, "Bulk Erase Data Memory"},
                                                 {1036, "Disable Codeprotection"},
                                                 {1117, "Data Window"},
                                                 {1102, "very low"},
                                                 {1103, "low"},
                                                 {1104, "medium"},
                                                 {1105, "high"},
                                                 {1111, "Help Topics"},
                                                 {1038, "About Ferrolux"}};
    for (const auto& [id, caption] : items) {
        QAction* a = rig.action(id);
        ASSERT_NE(a, nullptr) << id;
        EXPECT_EQ(a->text(), caption);
    }
    // Start-up checks the stored port and speed, and nothing else.
    for (int id : ctl::kPortItems)
        EXPECT_EQ(rig.action(id)->isChecked(), id == 1109) << id;
    for (int id = 1102; id <= 1105; ++id)
        EXPECT_EQ(rig.action(id)->isChecked(), id == 1104);
}

TEST(QtMainWindow, MenuItemsReachTheLogic) {
    QtRig rig;
    ASSERT_TRUE(rig.start());
    rig.action(1105)->trigger();
    for (int id = 1102; id <= 1105; ++id)
        EXPECT_EQ(rig.action(id)->isChecked(), id == 1105);
    EXPECT_EQ(rig.s().link.speed, 3);
    // Choosing the speed that is already checked keeps its mark.
    rig.action(1105)->trigger();
    EXPECT_TRUE(rig.action(1105)->isChecked());

    rig.action(1169)->trigger();
    EXPECT_EQ(rig.s().link.portName, "SIM1");
    EXPECT_TRUE(rig.action(1169)->isChecked());
    EXPECT_FALSE(rig.action(1109)->isChecked());
    EXPECT_EQ(rig.text(ctl::kStatusField), "T3306 detected");
    EXPECT_FALSE(rig.find(ctl::kStatusField)->isEnabled());

    rig.action(1038)->trigger();
    ASSERT_FALSE(rig.modals.boxes().empty());
    EXPECT_EQ(rig.modals.boxes().back().rfind("About Ferrolux: Ferrolux\nRevision 2.6.0", 0), 0u)
        << rig.modals.boxes().back();

    rig.action(1111)->trigger();  // no help file in the program directory
    EXPECT_EQ(rig.modals.boxes().back(), "Error: T3306.CHM not found!");
}

TEST(QtMainWindow, RefusedParallelPortKeepsTheMenuMarks) {
    QtRig rig;
    ASSERT_TRUE(rig.start());
    if (rig.s().port.driverUsable) GTEST_SKIP() << "this machine has a parallel port";
    rig.action(1041)->trigger();
    ASSERT_EQ(rig.modals.boxes().size(), 1u);
    EXPECT_EQ(rig.modals.boxes()[0].rfind("ERROR!: Driver 'DlPortIO' must be installed!", 0), 0u);
    EXPECT_FALSE(rig.action(1041)->isChecked());
    EXPECT_TRUE(rig.action(1109)->isChecked());
    EXPECT_EQ(rig.s().link.portName, "COM2");
}

TEST(QtMainWindow, CancelledQuestionSendsNothing) {
    QtRig rig;
    ASSERT_TRUE(rig.start());
    rig.modals.answer(QMessageBox::Cancel);
    rig.action(122)->trigger();
    ASSERT_EQ(rig.modals.boxes().size(), 1u);
    EXPECT_EQ(rig.modals.boxes()[0], "Warning!: This Command Deletes Flash-Memory!");
    EXPECT_EQ(rig.main().lastEnding(), ui::Ending::cancelled);
}

TEST(QtMainWindow, ChipListChoiceAppliesTheChipOnce) {
    QtRig rig;
    ASSERT_TRUE(rig.start());
    auto* chips = rig.find<QComboBox>(1123);
    const int twelveBit = chips->findText("PIC12C508");
    ASSERT_GE(twelveBit, 0);
    chips->setCurrentIndex(twelveBit);  // as the user's choice reports it
    EXPECT_EQ(rig.s().device.name, "PIC12C508");
    EXPECT_FALSE(rig.find<QCheckBox>(1120)->isChecked());
    EXPECT_FALSE(rig.find(1120)->isEnabled());
    EXPECT_TRUE(rig.find<QCheckBox>(1174)->isChecked());
    EXPECT_FALSE(rig.find(1172)->isEnabled());
    // Selecting from the program does not run the handler.
    rig.window().selectListItem(1123, 0);
    EXPECT_EQ(rig.s().device.name, "PIC12C508");
}

TEST(QtMainWindow, WriteOnTheSimulatorThroughClicksEndsWithOk) {
    QtRig rig;
    rig.startOn("PIC16F628A", testHex("family5"));
    EXPECT_EQ(rig.modals.boxes(), std::vector<std::string>({"Kestrum: Open 'family5.hex' ?"}));
    EXPECT_TRUE(rig.s().fileSelected);
    EXPECT_EQ(rig.text(ctl::kFileField), "family5.hex");
    EXPECT_TRUE(rig.action(1169)->isChecked());

    // The file holds a configuration word: it is written too, and "View / Set" waits for that.
    EXPECT_TRUE(rig.find<QCheckBox>(1121)->isChecked());
    EXPECT_FALSE(rig.find(ctl::kViewSetButton)->isEnabled());
    QTest::mouseClick(rig.find(ctl::kWriteButton), Qt::LeftButton);
    EXPECT_EQ(rig.text(ctl::kStatusField), "OK");
    EXPECT_FALSE(rig.find(ctl::kStatusField)->isEnabled());
    EXPECT_FALSE(rig.window().findChild<QProgressBar*>()->isVisible());
    EXPECT_EQ(rig.modals.boxes().size(), 1u);
    EXPECT_TRUE(rig.find(ctl::kViewSetButton)->isEnabled());

    QTest::mouseClick(rig.find(ctl::kVerifyButton), Qt::LeftButton);
    EXPECT_EQ(rig.text(ctl::kStatusField), "OK");
    EXPECT_EQ(rig.main().lastEnding(), ui::Ending::ok);
    EXPECT_EQ(rig.text(ctl::kConfigWordField).substr(0, 4), "3F70");
}

TEST(QtMainWindow, WriteWithoutAFileIsRefusedInABox) {
    QtRig rig;
    rig.startOn("PIC16F628A");
    QTest::mouseClick(rig.find(ctl::kWriteButton), Qt::LeftButton);
    EXPECT_EQ(rig.modals.boxes(), std::vector<std::string>({"ERROR!: No File selected!"}));
}

TEST(QtMainWindow, ProgressBarFollowsThePassAndGoesWithTheStatusField) {
    QtRig rig;
    rig.startOn("PIC16F628A");  // 2048 code words, 128 data bytes
    auto* bar = rig.window().findChild<QProgressBar*>();
    ASSERT_NE(bar, nullptr);
    auto& w = rig.window();
    w.enable(ctl::kStatusField, true);
    w.setText(ctl::kStatusField, "writing.....     ");
    EXPECT_FALSE(bar->isVisible());
    w.setText(ctl::kStatusField, "Contr-Adr: 0400\n" + std::string(80, ' '));
    EXPECT_TRUE(bar->isVisible());
    EXPECT_EQ(bar->value(), 50);
    w.setText(ctl::kStatusField, "Contr-Addr: 2140\n");
    EXPECT_EQ(bar->value(), 50);
    // A long status text still shows its start.
    EXPECT_EQ(rig.find<QLineEdit>(ctl::kStatusField)->cursorPosition(), 0);
    w.enable(ctl::kStatusField, false);
    EXPECT_FALSE(bar->isVisible());
}

TEST(QtMainWindow, CloseBoxDuringACommandWaitsForItsEnd) {
    QtRig rig;
    ASSERT_TRUE(rig.start());
    auto& w = rig.window();
    w.runCommand([&] {
        w.close();  // the close box, while the command runs
        EXPECT_FALSE(rig.main().ended());
    });
    EXPECT_TRUE(rig.main().ended());
    EXPECT_FALSE(w.isVisible());
}

TEST(QtMainWindow, EscEndsTheWindow) {
    QtRig rig;
    ASSERT_TRUE(rig.start());
    QTest::keyClick(&rig.window(), Qt::Key_Escape);
    EXPECT_TRUE(rig.main().ended());
    EXPECT_TRUE(rig.window().ended());
}

// A clock that moves on by 5 ms at every read.
class SteppingClock : public platform::TickSource {
  public:
    std::uint64_t nowNs() override { return now_ += 5'000'000; }

  private:
    std::uint64_t now_ = 0;
};

TEST(QtMainWindow, PausesKeepPainting) {
    QtRig rig;
    ASSERT_TRUE(rig.start());
    bool painted = false;
    QTimer::singleShot(0, [&] { painted = true; });
    SteppingClock clock;
    rig.window().idleUntil(clock, 30'000'000);
    EXPECT_TRUE(painted);
    EXPECT_GE(clock.nowNs(), 30'000'000u);
    // A wait that is over does not wait.
    painted = false;
    QTimer::singleShot(0, [&] { painted = true; });
    rig.window().idleUntil(clock, 0);
    EXPECT_FALSE(painted);
}

}  // namespace
}  // namespace ferrolux::test
