// Saves PNG pictures of the main window, its three dialogs and Save's file dialog into the folder
// given as the argument, from a program on the simulated board.
#include <QComboBox>
#include <QDir>
#include <QFileDialog>
#include <cstdio>

#include "qt_rig.h"
#include "ui/parallel_dialog.h"

int main(int argc, char** argv) {
    using namespace ferrolux;
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const QString folder = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral(".");
    QDir().mkpath(folder);
    int failures = 0;
    auto save = [&](QWidget* w, const QString& name) {
        const QString path = folder + "/" + name + ".png";
        const bool ok = w->grab().save(path);
        std::printf("%s %s\n", ok ? "saved" : "FAILED", qPrintable(path));
        failures += !ok;
    };

    test::QtRig rig;
    QString suffix;  // the chip's core, for the dialogs that differ by it
    rig.modals.onDialog = [&](QWidget* w) {
        // Save's file dialog, its readback.hex preselected: pictured, then cancelled.
        if (auto* files = qobject_cast<QFileDialog*>(w)) {
            save(files, QStringLiteral("save-dialog"));
            files->reject();
            return;
        }
        auto* d = static_cast<qt::QtWindow*>(w);
        save(d, (d->control(ctl::kDataText)          ? QStringLiteral("data-window")
                 : d->control(ctl::kHexValueField)   ? QStringLiteral("config-dialog")
                 : d->control(ctl::kSerialNextField) ? QStringLiteral("serial-dialog")
                                                     : QStringLiteral("parallel-dialog")) +
                    suffix);
        d->endDialog(ctl::kDefaultButton);  // the parallel dialog's OK would test a port
    };
    rig.startOnSimulator("family5.hex");
    rig.click(ctl::kWriteButton);
    save(&rig.window(), "main-window");
    rig.modals.onBox = [&](QMessageBox* box) {
        if (box->windowTitle() == QStringLiteral("Board Test")) save(box, "board-test");
    };
    rig.action(ctl::kBoardTest)->trigger();
    rig.modals.onBox = nullptr;
    rig.click(ctl::kSaveButton);
    rig.click(ctl::kViewSetButton);
    rig.action(ctl::kDataWindow)->trigger();
    ui::ParallelDialog parallel(rig.s(), rig.window());
    rig.s().link.adapter = '2';
    rig.window().runDialog(ctl::kParallelDialog, parallel);
    rig.action(ctl::kSerialNumberMenu)->trigger();
    // A PIC18 chip's configuration bytes and kilobyte of EEPROM.
    auto* chips = rig.find<QComboBox>(ctl::kChipList);
    chips->setCurrentIndex(chips->findText(QStringLiteral("PIC18F2525")));
    suffix = QStringLiteral("-pic18");
    rig.click(ctl::kViewSetButton);
    rig.action(ctl::kDataWindow)->trigger();
    save(&rig.window(), "main-window-pic18");
    return failures == 0 && rig.program ? 0 : 1;
}
