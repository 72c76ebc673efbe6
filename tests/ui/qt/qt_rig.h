#pragma once

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QLineEdit>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <algorithm>
#include <deque>
#include <functional>

#include "files/state_file.h"
#include "support/temp_dir.h"
#include "ui/control_ids.h"
#include "ui/qt/qt_program.h"

namespace ferrolux::test {

// Watches for modal windows from a timer. Message boxes are noted as
// "TITLE: text" and answered, with OK unless `answers` says otherwise;
// dialogs go to `onDialog`.
struct Modals {
    std::vector<std::string> boxes;
    std::vector<std::string> defaults;  // each box's default button: "OK" or "Cancel"
    std::deque<QMessageBox::StandardButton> answers;
    std::function<void(QWidget*)> onDialog;
    std::function<void(QMessageBox*)> onBox;  // each box, before it is answered
    std::vector<QPointer<QWidget>> seen;
    QTimer timer;

    Modals() {
        QObject::connect(&timer, &QTimer::timeout, [this] {
            QPointer<QWidget> w = QApplication::activeModalWidget();
            if (!w || !w->isVisible() || std::count(seen.begin(), seen.end(), w) > 0) return;
            seen.push_back(w);
            // Handled outside this slot, so that boxes opened meanwhile are seen too.
            QTimer::singleShot(0, [this, w] {
                auto* box = qobject_cast<QMessageBox*>(w);
                if (box == nullptr) {
                    if (w && onDialog) onDialog(w);
                    return;
                }
                boxes.push_back((box->windowTitle() + ": " + box->text()).toStdString());
                if (onBox) onBox(box);
                const bool cancelFirst = box->defaultButton() != nullptr &&
                                         qobject_cast<QAbstractButton*>(box->defaultButton()) ==
                                             box->button(QMessageBox::Cancel);
                defaults.push_back(cancelFirst ? "Cancel" : "OK");
                const auto answer = answers.empty() ? QMessageBox::Ok : answers.front();
                if (!answers.empty()) answers.pop_front();
                box->button(answer)->click();
            });
        });
        timer.start(5);
    }
};

// A program directory with the shipped device list and the desktop program on it.
struct QtRig {
    TempDir dir;
    Modals modals;
    std::unique_ptr<qt::QtProgram> program;

    QtRig() {
        std::filesystem::copy_file(std::filesystem::path(FERROLUX_SOURCE_DIR) / "data/kestrum.ini",
                                   dir.path() / "kestrum.ini");
    }
    ~QtRig() { stop(); }

    bool start(bool offerReload = true) {
        program = std::make_unique<qt::QtProgram>(dir.path());
        program->program().session.outputDir = dir.path();
        return program->open(offerReload);
    }
    void stop() {
        if (program) program->program().main.close();
        program.reset();
    }
    // Stores the simulated board, a PIC16F628A and (when given) a hex file to
    // reopen, then starts again; the reopen question gets OK.
    void startOnSimulator(const std::string& hexFile = {}) {
        ASSERT_TRUE(start(false));
        Session& names = s();
        names.device.listIndex = 0;
        while (window().listItem(ctl::kChipList, names.device.listIndex) != "PIC16F628A")
            ASSERT_FALSE(window().listItem(ctl::kChipList, ++names.device.listIndex).empty());
        names.device.name = "PIC16F628A";
        names.link.portName = ui::kSimulatorPort;
        storeSpeed(names, '3');
        if (!hexFile.empty()) {
            names.file.hexPath = (std::filesystem::path(FERROLUX_TEST_HEX_DIR) / hexFile).string();
            ASSERT_EQ(storeHexPath(names), 0);
            setReloadFlag(names, '1');
        }
        stop();
        ASSERT_TRUE(start());
        ASSERT_EQ(s().device.name, "PIC16F628A");
    }

    qt::QtWindow& window() { return program->window(); }
    Session& s() { return program->program().session; }
    ui::MainWindow& main() { return program->program().main; }
    template <class W = QWidget>
    W* find(int id) {
        return window().findChild<W*>(QString::number(id));
    }
    QAction* action(int id) { return window().findChild<QAction*>(QString::number(id)); }
    void click(int id) { QTest::mouseClick(find(id), Qt::LeftButton); }
};

}  // namespace ferrolux::test
