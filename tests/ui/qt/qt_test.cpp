// The Qt layer, headless: how the window interface maps onto widgets, menus
// and modal windows, and what the desktop program adds (drops, recent files,
// the manual, the close box).
#include <QActionGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QSettings>
#include <QTableWidget>
#include <QTextBlock>
#include <QUrl>
#include <fstream>

#include "qt_rig.h"
#include "sim/virtual_pic.h"
#include "ui/main_window.h"
#include "ui/parallel_dialog.h"

namespace ferrolux::test {
namespace {

template <class W = QWidget>
W* in(qt::QtWindow& d, int id) {
    auto* w = d.findChild<W*>(QString::number(id));
    EXPECT_NE(w, nullptr) << id;
    return w;
}

// Runs `body` on the dialog that `open` opens; a dialog the body leaves
// open is ended so that a failing test cannot hang.
void onDialog(QtRig& rig, const std::function<void()>& open,
              const std::function<void(qt::QtWindow&)>& body) {
    bool ran = false;
    rig.modals.onDialog = [&](QWidget* w) {
        auto* d = dynamic_cast<qt::QtWindow*>(w);
        ASSERT_NE(d, nullptr);
        ran = true;
        body(*d);
        if (!d->ended()) d->endDialog(ctl::kCancel);
    };
    open();
    EXPECT_TRUE(ran);
}

TEST(QtMainWindow, ControlsMenusAndTheUsersChipChoiceReachTheLogicWhichOwnsTheMarks) {
    QtRig rig;
    rig.startOnSimulator("family5.hex");
    EXPECT_EQ(rig.find<QComboBox>(ctl::kChipList)->currentText(), "PIC16F628A");
    rig.click(ctl::kWriteButton);
    EXPECT_EQ(rig.window().text(ctl::kStatusField).rfind("OK  checksum ", 0), 0u);
    EXPECT_EQ(rig.main().lastEnding(), ui::Ending::ok);
    rig.action(ctl::kSpeedVeryLow + 1)->trigger();
    EXPECT_EQ(rig.s().link.speed, 1);
    EXPECT_TRUE(rig.action(ctl::kSpeedVeryLow + 1)->isChecked());
    EXPECT_FALSE(rig.action(ctl::kSpeedHigh)->isChecked());
    // A refused port keeps the old marks: the menu's own toggle is undone.
    rig.s().port.directIo = rig.s().port.driverUsable = false;
    rig.action(ctl::kPort0378)->trigger();
    EXPECT_FALSE(rig.action(ctl::kPort0378)->isChecked());
    EXPECT_TRUE(rig.action(ctl::kPortSimulator)->isChecked());
    EXPECT_TRUE(rig.action(ctl::kPort0378)->actionGroup()->isExclusive());
    // Boxes are found and answered: OK here, Cancel to the erase question.
    rig.modals.answers.push_back(QMessageBox::Cancel);
    rig.action(ctl::kEraseCode)->trigger();
    EXPECT_EQ(rig.main().lastEnding(), ui::Ending::cancelled);
    ASSERT_EQ(rig.modals.boxes.size(), 3u);
    EXPECT_EQ(rig.modals.boxes[0], "Kestrum: Open 'family5.hex' ?");
    EXPECT_EQ(rig.modals.boxes[1].rfind("ERROR!: Driver 'DlPortIO' must be installed!", 0), 0u);
    EXPECT_EQ(rig.modals.boxes[2].rfind("Warning!: This Command Deletes Flash-Memory!\n", 0), 0u);

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
    EXPECT_EQ(rig.s().file.fileName, "family5.hex");
    auto* recent = rig.window().findChild<QMenu*>("recent");
    ASSERT_EQ(recent->actions().size(), 1);
    rig.action(ctl::kCloseFile)->trigger();
    recent->actions().front()->trigger();
    EXPECT_TRUE(rig.s().file.fileSelected);

    // The open dialog is owned by the window.
    rig.modals.onDialog = [&](QWidget* w) {
        EXPECT_EQ(w->parentWidget(), &rig.window());
        static_cast<QDialog*>(w)->reject();
    };
    rig.action(ctl::kOpenFile)->trigger();

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

// A stop signal while a question waits (the start-up "Open '...' ?", or a
// command's "Warning!") closes the box as Cancel, asks nothing more, and the
// window ends as it does without a box, the chip let go.
TEST(QtMainWindow, AStopSignalWhileAQuestionIsOpenClosesItAndEndsTheWindow) {
    for (bool atStart : {true, false}) {
        SCOPED_TRACE(atStart ? "start-up question" : "command question");
        QtRig rig;
        rig.startOnSimulator("family5.hex");
        rig.stop();
        rig.modals.timer.stop();
        volatile std::sig_atomic_t signal = 0;
        int questions = 0;
        int ticksOpen = 0;
        bool answeredHere = false;  // the signal left the box open: closed here so as not to hang
        QTimer watch;
        QObject::connect(&watch, &QTimer::timeout, [&] {
            // Save asks where: the preselected readback.hex is taken.
            if (auto* files = qobject_cast<QFileDialog*>(QApplication::activeModalWidget())) {
                QTest::keyClick(files, Qt::Key_Return);
                return;
            }
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (box == nullptr || !box->isVisible()) return;
            if (signal == 0) {
                ++questions;
                signal = SIGTERM;
            } else if (++ticksOpen > 500) {
                answeredHere = true;
                box->reject();
            }
        });
        watch.start(5);
        rig.program = std::make_unique<qt::QtProgram>(rig.dir.path());
        rig.program->program().session.outputDir = rig.dir.path();
        rig.program->stopOn(&signal);
        rig.program->open(atStart);
        if (!atStart) {
            rig.click(ctl::kSaveButton);  // opens the port: the lines are the program's
            QTimer::singleShot(0, [&] { rig.action(ctl::kEraseCode)->trigger(); });
        }
        rig.program->exec();
        EXPECT_EQ(questions, 1);
        EXPECT_FALSE(answeredHere);
        EXPECT_TRUE(rig.main().ended());
        EXPECT_FALSE(rig.s().file.fileSelected);
        if (atStart) continue;  // the port was never opened: the lines are not the program's
        app::Host& host = rig.program->program().host;
        EXPECT_FALSE(host.simBoard().lines().vpp);
        ASSERT_NE(host.simChip(), nullptr);
        EXPECT_FALSE(host.simChip()->inProgrammingMode());
    }
}

TEST(QtMainWindow, TheCloseBoxDuringACommandWaitsForItsEndAndEscDoesNotClose) {
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
            // A stray Esc leaves the main window open; the close box ends it.
            QTest::keyClick(&w, Qt::Key_Escape);
            EXPECT_FALSE(rig.main().ended());
            EXPECT_TRUE(w.isVisible());
            w.close();
        }
        EXPECT_TRUE(rig.main().ended());
        EXPECT_FALSE(w.isVisible());
    }
}

TEST(QtMainWindow, TitleAndStatusBarNameBoardChipAndPortEraseQuestionsDefaultToCancel) {
    QtRig rig;
    rig.startOnSimulator();
    auto& w = rig.window();
    EXPECT_EQ(w.windowTitle(), QStringLiteral("Ferrolux 2.6 \u2014 simulated board"));
    auto* bar = rig.find<QLabel>(ctl::kStatusBar);
    ASSERT_NE(bar, nullptr);
    EXPECT_EQ(bar->text(), QStringLiteral("PIC16F628A   Port SIM1"));
    // The checksum a command leaves is shown once it has ended.
    rig.main().lastChecksum = "Checksum 3A7F";
    rig.action(ctl::kSpeedHigh)->trigger();
    EXPECT_EQ(bar->text(), QStringLiteral("PIC16F628A   Port SIM1   Checksum 3A7F"));

    rig.modals.answers.push_back(QMessageBox::Cancel);
    rig.action(ctl::kDisableProtection)->trigger();
    ASSERT_EQ(rig.modals.defaults.size(), 1u);
    EXPECT_EQ(rig.modals.defaults[0], "Cancel");
    EXPECT_EQ(rig.modals.boxes[0], "Warning!: This Command Deletes Memory!\n\nChip: PIC16F628A");
    EXPECT_EQ(rig.main().lastEnding(), ui::Ending::cancelled);
}

TEST(QtMainWindow, SaveAsksWhereWithTheReadbackInTheProgramDirectoryPreselected) {
    QtRig rig;
    rig.startOnSimulator();
    QStringList preselected;
    QString chosen;  // empty: Enter takes the preselected file
    rig.modals.onDialog = [&](QWidget* w) {
        auto* files = qobject_cast<QFileDialog*>(w);
        ASSERT_NE(files, nullptr);
        EXPECT_EQ(files->acceptMode(), QFileDialog::AcceptSave);
        preselected = files->selectedFiles();
        // The user types a name of their own over the preselected one.
        if (!chosen.isEmpty())
            files->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"))->setText(chosen);
        static_cast<QDialog*>(files)->accept();
    };
    const std::filesystem::path dir = rig.dir.path();
    rig.click(ctl::kSaveButton);
    ASSERT_EQ(preselected.size(), 1);
    EXPECT_EQ(std::filesystem::path(preselected[0].toStdString()), dir / "readback.hex");
    EXPECT_TRUE(std::filesystem::exists(dir / "readback.hex"));
    EXPECT_EQ(rig.window().text(ctl::kStatusField).rfind("'readback.hex' saved  checksum ", 0), 0u);

    chosen = QStringLiteral("mine.txt");
    rig.click(ctl::kSaveTextRadio);
    rig.click(ctl::kSaveButton);
    EXPECT_EQ(std::filesystem::path(preselected[0].toStdString()), dir / "readback.txt");
    EXPECT_TRUE(std::filesystem::exists(dir / "mine.txt"));
    EXPECT_FALSE(std::filesystem::exists(dir / "readback.txt"));
    EXPECT_EQ(rig.window().text(ctl::kStatusField), "'mine.txt' saved");
}

// The Port menu lists the serial devices of a fake device tree after COM8;
// one is chosen by its path.
TEST(QtMainWindow, ThePortMenuListsTheSystemsSerialDevices) {
    QtRig rig;
    TempDir tree;
    const std::filesystem::path root = tree.path();
    for (const char* tty : {"ttyS9", "ttyUSB0", "ttyACM0"}) {
        std::filesystem::create_directories(root / "sys/class/tty" / tty / "device");
        std::ofstream(root / "sys/class/tty" / tty / "type") << "4\n";
    }
    std::filesystem::create_directories(root / "dev/serial/by-id");
    std::filesystem::create_symlink("../../ttyUSB0",
                                    root / "dev/serial/by-id/usb-FTDI_FT232R_A1-if00-port0");
    auto startOn = [&] {
        rig.program = std::make_unique<qt::QtProgram>(rig.dir.path());
        rig.program->program().host.deviceRoot = root;
        return rig.program->open(false);
    };
    ASSERT_TRUE(startOn());
    QStringList shown;
    for (int i = 0; i < ctl::kPortDeviceItems; ++i) {
        QAction* a = rig.action(ctl::kPortDevice0 + i);
        ASSERT_NE(a, nullptr);
        if (a->isVisible()) shown << a->text();
    }
    EXPECT_EQ(shown, (QStringList{QStringLiteral("/dev/ttyACM0"), QStringLiteral("/dev/ttyS9"),
                                  QStringLiteral("/dev/ttyUSB0"),
                                  QStringLiteral("usb-FTDI_FT232R_A1-if00-port0 (/dev/ttyUSB0)")}));
    // Chosen: the port is named by its path (the fake device does not open).
    rig.action(ctl::kPortDevice0 + 2)->trigger();
    EXPECT_EQ(rig.s().link.portName, "/dev/ttyUSB0");
    EXPECT_TRUE(rig.action(ctl::kPortDevice0 + 2)->isChecked());
    EXPECT_FALSE(rig.action(ctl::kPortCom1)->isChecked());
}

TEST(QtConfigDialog, BoxesFollowTheHexField) {
    QtRig rig;
    rig.startOnSimulator();
    onDialog(
        rig, [&] { rig.click(ctl::kViewSetButton); },
        [&](qt::QtWindow& d) {
            QWidget* hex = in(d, ctl::kHexValueField);
            hex->setFocus();
            QTest::keyClick(hex, Qt::Key_A, Qt::ControlModifier);  // replaces the 3FFF shown
            QTest::keyClicks(hex, "2f61");
            EXPECT_EQ(rig.s().chip.configWord, 0x2F61);
            for (int bit = 0; bit < 14; ++bit) {
                // A label starting with '/' names an active-low bit.
                auto* label = in<QLineEdit>(d, ctl::kBitLabel0 + bit);
                auto* box = in<QCheckBox>(d, ctl::kBitBox0 - bit);
                ASSERT_TRUE(label && box);
                EXPECT_EQ(box->isChecked(), ((0x2F61 >> bit) & 1) != label->text().startsWith('/'))
                    << bit;
            }
            QTest::mouseClick(in(d, ctl::kBitBox0 - 1), Qt::LeftButton);
            EXPECT_EQ(d.text(ctl::kHexValueField), "2F63");
            QTest::mouseClick(in(d, ctl::kDefaultButton), Qt::LeftButton);
            EXPECT_TRUE(d.ended());
        });
    EXPECT_EQ(rig.window().text(ctl::kConfigWordField).substr(0, 4), "2F63");
}

// A PIC18 chip: the byte list is a drop-down the user picks from, above the
// boxes without covering them, wide enough for its entries.
TEST(QtConfigDialog, APic18ChipShowsTheBytePickedInTheList) {
    QtRig rig;
    rig.startOnSimulator();
    auto* chips = rig.find<QComboBox>(ctl::kChipList);
    chips->setCurrentIndex(chips->findText(QStringLiteral("PIC18F242")));
    ASSERT_EQ(rig.s().device.name, "PIC18F242");
    for (std::size_t k = 0; k < rig.s().chip.configBytes.size(); ++k)
        rig.s().chip.configBytes[k] = rig.s().device.configBytes[k].blank;
    onDialog(
        rig, [&] { rig.click(ctl::kViewSetButton); },
        [&](qt::QtWindow& d) {
            auto* bytes = in<QComboBox>(d, ctl::kConfigByteList);
            ASSERT_NE(bytes, nullptr);
            EXPECT_TRUE(bytes->isEnabled());
            EXPECT_EQ(bytes->count(), 11);
            EXPECT_EQ(bytes->currentText(), "CONFIG1H (300001)");
            EXPECT_GE(bytes->width(), bytes->sizeHint().width());
            for (int bit : {13, 12, 11, 7})
                EXPECT_FALSE(bytes->geometry().intersects(in(d, ctl::kBitBox0 - bit)->geometry()))
                    << bit;
            bytes->setCurrentIndex(1);  // CONFIG2L, as the user picks it
            EXPECT_EQ(d.text(ctl::kBitLabel0 + 0), "/PWRT");
            EXPECT_EQ(d.text(ctl::kHexValueField), "0F");
            EXPECT_FALSE(in(d, ctl::kBitBox0 - 7)->isEnabled());
            EXPECT_FALSE(in(d, ctl::kIdFields[0])->isEnabled());
            QTest::mouseClick(in(d, ctl::kBitBox0 - 0), Qt::LeftButton);
            EXPECT_EQ(d.text(ctl::kHexValueField), "0E");
            QTest::mouseClick(in(d, ctl::kDefaultButton), Qt::LeftButton);
            EXPECT_TRUE(d.ended());
        });
    EXPECT_EQ(rig.window().text(ctl::kConfigWordField), "2L=0E");
}

// The data memory as a grid: a byte typed over in place, a bad one undone,
// the ASCII column following; written to the chip, saved alone as a hex file
// at the chip's addresses and loaded again.
TEST(QtDataWindow, AGridOfBytesEditedInPlaceWrittenSavedAndLoaded) {
    QtRig rig;
    rig.startOnSimulator();
    auto* chip = rig.program->program().host.simChip();
    const QString file = QString::fromStdString((rig.dir.path() / "eeprom.hex").string());
    bool ran = false;
    rig.modals.onDialog = [&](QWidget* w) {
        if (auto* files = qobject_cast<QFileDialog*>(w)) {
            files->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"))->setText(file);
            static_cast<QDialog*>(files)->accept();
            return;
        }
        auto* d = dynamic_cast<qt::QtWindow*>(w);
        ASSERT_NE(d, nullptr);
        ran = true;
        auto* grid = in<QTableWidget>(*d, ctl::kDataText);
        ASSERT_NE(grid, nullptr);
        EXPECT_EQ(grid->columnCount(), 9);  // 128 bytes: 8 a row, and the ASCII column
        EXPECT_EQ(grid->rowCount(), 16);
        EXPECT_EQ(grid->item(0, 0)->text(), QStringLiteral("FF"));
        grid->item(0, 5)->setText(QStringLiteral("3c"));
        EXPECT_EQ(grid->item(0, 5)->text(), QStringLiteral("3C"));
        grid->item(0, 7)->setText(QStringLiteral("xyz"));
        EXPECT_EQ(grid->item(0, 7)->text(), QStringLiteral("FF"));
        EXPECT_EQ(grid->item(0, 8)->text(), QStringLiteral(".....<.."));
        QTest::mouseClick(in(*d, ctl::kWriteData), Qt::LeftButton);
        QTest::mouseClick(in(*d, ctl::kSaveDataFile), Qt::LeftButton);
        grid->item(0, 5)->setText(QStringLiteral("00"));
        QTest::mouseClick(in(*d, ctl::kLoadDataFile), Qt::LeftButton);
        EXPECT_EQ(grid->item(0, 5)->text(), QStringLiteral("3C"));
        QTest::mouseClick(in(*d, ctl::kDefaultButton), Qt::LeftButton);
        EXPECT_TRUE(d->ended());
    };
    rig.action(ctl::kDataWindow)->trigger();
    EXPECT_TRUE(ran);
    EXPECT_EQ(chip->dataByte(5), 0x3C);
    EXPECT_EQ(chip->dataByte(7), 0xFF);
    EXPECT_TRUE(rig.modals.boxes.empty());
    // 14-bit chips: the EEPROM from word 0x2100 (byte address 0x4200), a byte a word.
    EXPECT_EQ(readFile(file.toStdString()).rfind(":10420000FF00FF00FF00FF00FF003C00", 0), 0u);
}

TEST(QtParallelDialog, TwoExclusiveGroupsThatTheProgramMayClear) {
    QtRig rig;
    ASSERT_TRUE(rig.start());
    ui::ParallelDialog logic(rig.s(), rig.window());
    int result = 0;
    onDialog(
        rig, [&] { result = rig.window().runDialog(ctl::kParallelDialog, logic); },
        [&](qt::QtWindow& d) {
            // The group box does not cover the buttons inside it.
            QWidget* inverted = in(d, ctl::kInvertedRadio);
            EXPECT_EQ(d.childAt(inverted->geometry().center()), inverted);
            QTest::mouseClick(inverted, Qt::LeftButton);
            EXPECT_EQ(rig.s().link.adapter, '3');
            QTest::mouseClick(in(d, ctl::kVppD4Radio), Qt::LeftButton);
            EXPECT_EQ(rig.s().link.vppLine, '4');
            EXPECT_TRUE(d.isChecked(ctl::kInvertedRadio));
            // The program may clear a whole group; it stays exclusive for the user.
            d.check(ctl::kInvertedRadio, false);
            EXPECT_FALSE(d.isChecked(ctl::kInvertedRadio));
            EXPECT_TRUE(d.isChecked(ctl::kVppD4Radio));
            QTest::mouseClick(in(d, ctl::kAn589Radio), Qt::LeftButton);
            QTest::mouseClick(in(d, ctl::kNonInvertedRadio), Qt::LeftButton);
            EXPECT_FALSE(d.isChecked(ctl::kAn589Radio));
            d.endDialog(7);  // OK would test the adapter on the port
        });
    EXPECT_EQ(result, 7);
}

// The Serial Number dialog from the Options menu: its entries go to the
// user's Qt settings, not to kestrum.cfg, and Write puts the number in.
TEST(QtSerialDialog, EntriesGoToTheQtSettingsAndWriteUsesThem) {
    QtRig rig;
    rig.startOnSimulator("family5.hex");
    const std::string cfg = readFile(rig.dir.path() / "kestrum.cfg");
    onDialog(
        rig, [&] { rig.action(ctl::kSerialNumberMenu)->trigger(); },
        [&](qt::QtWindow& d) {
            QTest::mouseClick(in(d, ctl::kSerialEnableBox), Qt::LeftButton);
            in<QComboBox>(d, ctl::kSerialPlaceList)->setCurrentIndex(2);  // the ID locations
            EXPECT_FALSE(in(d, ctl::kSerialAddressField)->isEnabled());
            auto* next = in<QLineEdit>(d, ctl::kSerialNextField);
            next->clear();
            QTest::keyClicks(next, QStringLiteral("0xBEEF"));
            QTest::mouseClick(in(d, ctl::kDefaultButton), Qt::LeftButton);
            EXPECT_TRUE(d.ended());
        });
    QSettings stored(QSettings::IniFormat, QSettings::UserScope, QStringLiteral("ferrolux"),
                     QStringLiteral("ferrolux"));
    EXPECT_EQ(stored.value(QStringLiteral("serial/at")).toString(), QStringLiteral("ids"));
    EXPECT_EQ(stored.value(QStringLiteral("serial/next")).toString(), QStringLiteral("48879"));
    EXPECT_EQ(readFile(rig.dir.path() / "kestrum.cfg"), cfg);
    rig.click(ctl::kWriteButton);
    EXPECT_TRUE(
        rig.find<QLineEdit>(ctl::kStatusField)->text().endsWith(QStringLiteral("serial 0xBEEF")));
    EXPECT_EQ(stored.value(QStringLiteral("serial/next")).toString(), QStringLiteral("48880"));
    stored.remove(QStringLiteral("serial"));
}

}  // namespace
}  // namespace ferrolux::test

// Headless: the platform is chosen before QApplication exists, so listing the
// tests works without a display too; Recent Files go to a folder of the run's own.
int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    ::testing::InitGoogleTest(&argc, argv);
    QApplication app(argc, argv);
    ferrolux::test::TempDir settings;
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope,
                       QString::fromStdString(settings.path().string()));
    return RUN_ALL_TESTS();
}
