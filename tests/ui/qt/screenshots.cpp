// Saves PNG pictures of the main window and its three dialogs into the folder
// given as the argument, from a program on the simulated board.
#include <QAction>
#include <QApplication>
#include <QDir>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QTimer>
#include <cstdio>
#include <filesystem>

#include "files/state_file.h"
#include "support/temp_dir.h"
#include "ui/control_ids.h"
#include "ui/parallel_dialog.h"
#include "ui/qt/qt_program.h"

namespace {

using ferrolux::qt::QtWindow;
namespace ctl = ferrolux::ctl;

bool save(QWidget* w, const QString& folder, const QString& name) {
    const QString path = folder + "/" + name + ".png";
    const bool ok = w->grab().save(path);
    std::printf("%s %s\n", ok ? "saved" : "FAILED", qPrintable(path));
    return ok;
}

// The parallel dialog without the adapter test at closing (there is no port here).
class ShowOnly : public ferrolux::ui::DialogHandler {
  public:
    explicit ShowOnly(ferrolux::ui::DialogHandler& inner) : inner_(inner) {}
    void opened(ferrolux::ui::Window& d) override { inner_.opened(d); }
    void command(ferrolux::ui::Window& d, int id) override {
        if (id == ctl::kDefaultButton || id == ctl::kCancel) {
            d.endDialog(1);
        } else {
            inner_.command(d, id);
        }
    }

  private:
    ferrolux::ui::DialogHandler& inner_;
};

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const QString folder = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral(".");
    QDir().mkpath(folder);

    ferrolux::test::TempDir dir;
    std::filesystem::copy_file(std::filesystem::path(FERROLUX_SOURCE_DIR) / "data/kestrum.ini",
                               dir.path() / "kestrum.ini");
    {
        // The simulated board, a PIC16F628A and a file to reopen.
        ferrolux::qt::QtProgram first(dir.path());
        first.open(false);
        auto& s = first.program().session;
        for (int i = 0; !first.window().listItem(ctl::kChipList, i).empty(); ++i) {
            if (first.window().listItem(ctl::kChipList, i) == "PIC16F628A") s.device.listIndex = i;
        }
        s.link.portName = "SIM1";
        s.hexPath = (std::filesystem::path(FERROLUX_TEST_HEX_DIR) / "family5.hex").string();
        ferrolux::storeHexPath(s);
        ferrolux::setReloadFlag(s, '1');
        first.program().main.close();
    }

    ferrolux::qt::QtProgram program(dir.path());
    int failures = 0;
    QPointer<QWidget> handled;
    QTimer poll;
    poll.setInterval(2);
    QObject::connect(&poll, &QTimer::timeout, [&] {
        QWidget* w = QApplication::activeModalWidget();
        if (w == nullptr || w == handled || !w->isVisible()) return;
        handled = w;
        if (auto* box = qobject_cast<QMessageBox*>(w)) {
            box->button(QMessageBox::Ok)->click();
            return;
        }
        auto* d = dynamic_cast<QtWindow*>(w);
        if (d == nullptr) return;
        const int id = d->findChild<QWidget*>(QString::number(ctl::kDataText))        ? 1112
                       : d->findChild<QWidget*>(QString::number(ctl::kHexValueField)) ? 1131
                                                                                      : 1043;
        const char* names[] = {"data-window", "config-dialog", "parallel-dialog"};
        failures += !save(d, folder, names[id == 1112 ? 0 : id == 1131 ? 1 : 2]);
        d->endDialog(id == 1043 ? 1 : ctl::kDefaultButton);
    });
    poll.start();

    program.open();
    auto click = [&](int id) {
        if (auto* b = program.window().findChild<QPushButton*>(QString::number(id))) b->click();
    };
    click(ctl::kWriteButton);
    failures += !save(&program.window(), folder, "main-window");
    click(ctl::kViewSetButton);
    program.window().findChild<QAction*>(QString::number(ctl::kDataWindow))->trigger();
    ferrolux::ui::ParallelDialog parallel(program.program().session, program.window());
    ShowOnly showOnly(parallel);
    program.program().session.link.adapter = '2';
    program.window().runDialog(ctl::kParallelDialog, showOnly);
    program.program().main.close();
    return failures == 0 ? 0 : 1;
}
