#include <QActionGroup>
#include <QComboBox>
#include <QFileDialog>
#include <QMenu>
#include <QMimeData>
#include <QProgressBar>
#include <QPushButton>
#include <QUrl>

#include "qt_rig.h"
#include "ui/main_window.h"

namespace ferrolux::test {
namespace {

TEST(QtMainWindow, ReadOnlyFieldsChoiceGroupsShortcutsAndTooltips) {
    QtRig rig;
    rig.startOnSimulator();
    // Read-only fields look it, and their text stays readable when greyed.
    for (int id : {1017, 1018, 1063, 1091}) {
        const QWidget* f = rig.find(id);
        EXPECT_TRUE(f->property("readOnly").toBool()) << id;
        EXPECT_EQ(f->palette().color(QPalette::Disabled, QPalette::Text),
                  f->palette().color(QPalette::Active, QPalette::Text))
            << id;
        EXPECT_EQ(f->palette().color(QPalette::Disabled, QPalette::Base),
                  f->palette().color(QPalette::Active, QPalette::Window))
            << id;
    }
    // Port and speed are one-of-many choices; keys reach the common commands.
    for (int id : {1108, 1169, 1102, 1105})
        EXPECT_TRUE(rig.action(id)->actionGroup()->isExclusive()) << id;
    EXPECT_EQ(rig.action(65535)->shortcut(), QKeySequence(QKeySequence::Open));
    EXPECT_EQ(rig.action(1111)->shortcut(), QKeySequence(QKeySequence::HelpContents));
    EXPECT_EQ(rig.action(1094)->shortcut(), QKeySequence(QKeySequence::Quit));
    EXPECT_EQ(rig.find<QPushButton>(ctl::kWriteButton)->text(), "&Write");
    for (int id : {1120, 1121, 1172, 1092, 1091, 1063, 1118, 1026, 1123})
        EXPECT_FALSE(rig.find(id)->toolTip().isEmpty()) << id;
    EXPECT_EQ(rig.find<QComboBox>(ctl::kChipList)->currentText(), "PIC16F628A");
    EXPECT_EQ(rig.window().minimumSize(), rig.window().maximumSize());
}

TEST(QtMainWindow, MenuItemsAndTheUsersChipChoiceReachTheLogicWhichOwnsTheMarks) {
    QtRig rig;
    rig.startOnSimulator();
    rig.action(1103)->trigger();
    EXPECT_EQ(rig.s().link.speed, 1);
    EXPECT_TRUE(rig.action(1103)->isChecked());
    EXPECT_FALSE(rig.action(1105)->isChecked());
    // A refused port keeps the old marks: the menu's own toggle is undone.
    rig.s().port.directIo = rig.s().port.driverUsable = false;
    rig.action(1041)->trigger();
    EXPECT_FALSE(rig.action(1041)->isChecked());
    EXPECT_TRUE(rig.action(1169)->isChecked());
    // Boxes are found and answered: OK here, Cancel to the erase question.
    rig.modals.answers.push_back(QMessageBox::Cancel);
    rig.action(122)->trigger();
    EXPECT_EQ(rig.main().lastEnding(), ui::Ending::cancelled);
    ASSERT_EQ(rig.modals.boxes.size(), 2u);
    EXPECT_EQ(rig.modals.boxes[0].rfind("ERROR!: Driver 'DlPortIO' must be installed!", 0), 0u);
    EXPECT_EQ(rig.modals.boxes[1], "Warning!: This Command Deletes Flash-Memory!");

    auto* chips = rig.find<QComboBox>(ctl::kChipList);
    chips->setCurrentIndex(chips->findText("PIC12C508"));
    EXPECT_EQ(rig.s().device.name, "PIC12C508");
    EXPECT_FALSE(rig.find(ctl::kWriteDataBox)->isEnabled());
    rig.window().selectListItem(ctl::kChipList, 0);  // from the program: no command
    EXPECT_EQ(rig.s().device.name, "PIC12C508");
}

TEST(QtMainWindow, FilesComeByDropByNameAtStartAndFromRecentFilesHelpShowsTheManual) {
    const QString hex = QString::fromUtf8(FERROLUX_TEST_HEX_DIR "/family5.hex");
    QtRig rig;
    rig.startOnSimulator();
    auto drop = [&](const QString& file) {
        QMimeData data;
        data.setUrls({QUrl::fromLocalFile(file)});
        QDropEvent event(QPointF(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        static_cast<QObject&>(rig.window()).event(&event);  // as a drag ends on it
    };
    drop(QString::fromStdString((rig.dir.path() / "kestrum.ini").string()));  // not a hex file
    EXPECT_FALSE(rig.s().file.fileSelected);
    drop(hex);
    EXPECT_TRUE(rig.s().file.fileSelected);
    EXPECT_EQ(rig.s().file.fileName, "family5.hex");
    EXPECT_EQ(rig.program->recentFiles().front(), hex);
    auto* recent = rig.window().findChild<QMenu*>("recent");
    ASSERT_EQ(recent->actions().size(), 1);
    rig.action(ctl::kCloseFile)->trigger();
    recent->actions().front()->trigger();
    EXPECT_TRUE(rig.s().file.fileSelected);

    // The open dialog: owned by the window, with its two filters.
    QStringList filters;
    QWidget* owner = nullptr;
    rig.modals.onDialog = [&](QWidget* w) {
        auto* dialog = qobject_cast<QFileDialog*>(w);
        ASSERT_NE(dialog, nullptr);
        filters = dialog->nameFilters();
        owner = dialog->parentWidget();
        dialog->reject();
    };
    rig.action(ctl::kOpenFile)->trigger();
    EXPECT_EQ(filters, QStringList({"Hex files (*.hex *.HEX)", "All files (*)"}));
    EXPECT_EQ(owner, &rig.window());

    // Without T3306.CHM, Help shows the HTML manual.
    std::vector<std::string> shown;
    rig.program->setManual(FERROLUX_SOURCE_DIR "/docs/manual.html");
    rig.program->setDocumentOpener([&](const std::string& path) {
        shown.push_back(path);
        return true;
    });
    rig.action(ctl::kHelpTopics)->trigger();
    EXPECT_EQ(shown, std::vector<std::string>({FERROLUX_SOURCE_DIR "/docs/manual.html"}));

    // A file named at start is selected, with no reload question.
    rig.stop();
    rig.modals.boxes.clear();
    rig.program = std::make_unique<qt::QtProgram>(rig.dir.path());
    ASSERT_TRUE(rig.program->openWith(hex.toStdString()));
    EXPECT_TRUE(rig.s().file.fileSelected);
    EXPECT_EQ(rig.modals.boxes, std::vector<std::string>{});
}

TEST(QtMainWindow, WriteOnTheSimulatorThroughClicksEndsWithOk) {
    QtRig rig;
    rig.startOnSimulator("family5.hex");
    EXPECT_EQ(rig.modals.boxes, std::vector<std::string>({"Kestrum: Open 'family5.hex' ?"}));
    rig.click(ctl::kWriteButton);
    EXPECT_EQ(rig.window().text(ctl::kStatusField), "OK");
    EXPECT_EQ(rig.main().lastEnding(), ui::Ending::ok);
    EXPECT_EQ(rig.modals.boxes.size(), 1u);
}

TEST(QtMainWindow, ProgressBarFollowsContrAdrTextsUntilTheStatusFieldGreys) {
    QtRig rig;
    rig.startOnSimulator();  // 2048 code words, 128 data bytes
    auto* bar = rig.window().findChild<QProgressBar*>();
    auto& w = rig.window();
    w.enable(ctl::kStatusField, true);
    w.setText(ctl::kStatusField, "writing.....     ");
    EXPECT_FALSE(bar->isVisible());
    w.setText(ctl::kStatusField, "Contr-Adr: 0400\n" + std::string(80, ' '));
    EXPECT_TRUE(bar->isVisible());
    EXPECT_EQ(bar->value(), 50);
    w.setText(ctl::kStatusField, "Contr-Addr: 2160\n");
    EXPECT_EQ(bar->value(), 75);
    EXPECT_EQ(rig.find<QLineEdit>(ctl::kStatusField)->cursorPosition(), 0);  // shows its start
    w.enable(ctl::kStatusField, false);
    EXPECT_FALSE(bar->isVisible());
}

TEST(QtMainWindow, CloseBoxDuringACommandWaitsForItsEndAndEscCloses) {
    for (bool duringCommand : {true, false}) {
        QtRig rig;
        ASSERT_TRUE(rig.start());
        auto& w = rig.window();
        if (duringCommand) {
            w.runCommand([&] {
                w.close();
                EXPECT_FALSE(rig.main().ended());
            });
        } else {
            QTest::keyClick(&w, Qt::Key_Escape);
        }
        EXPECT_TRUE(rig.main().ended());
        EXPECT_FALSE(w.isVisible());
    }
}

// A clock that moves on by 5 ms at every read.
struct SteppingClock : platform::TickSource {
    std::uint64_t now = 0;
    std::uint64_t nowNs() override { return now += 5'000'000; }
};

TEST(QtMainWindow, PausesKeepPaintingUntilTheirDeadline) {
    QtRig rig;
    ASSERT_TRUE(rig.start());
    SteppingClock clock;
    bool painted = false;
    QTimer::singleShot(0, [&] { painted = true; });
    rig.window().idleUntil(clock, 30'000'000);
    EXPECT_TRUE(painted);
    EXPECT_GE(clock.now, 30'000'000u);
}

}  // namespace
}  // namespace ferrolux::test
