#pragma once

#include <QAction>
#include <QApplication>
#include <QMessageBox>
#include <QPointer>
#include <QTimer>
#include <QWidget>
#include <algorithm>
#include <deque>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "files/state_file.h"
#include "support/temp_dir.h"
#include "ui/control_ids.h"
#include "ui/qt/qt_program.h"

namespace ferrolux::test {

// Watches for modal windows (message boxes and dialogs) from a timer and hands
// each new one to the next step; message boxes without a step get OK.
class Modals {
  public:
    using Step = std::function<void(QWidget*)>;

    Modals() {
        timer_.setInterval(5);
        QObject::connect(&timer_, &QTimer::timeout, [this] { poll(); });
        timer_.start();
    }

    void then(Step step) { steps_.push_back(std::move(step)); }
    // The next message box gets `button`.
    void answer(QMessageBox::StandardButton button) {
        then([button](QWidget* w) {
            if (auto* box = qobject_cast<QMessageBox*>(w)) box->button(button)->click();
        });
    }
    // "TITLE: text" of every message box seen, in order.
    const std::vector<std::string>& boxes() const { return boxes_; }
    std::size_t pending() const { return steps_.size(); }

  private:
    void poll() {
        QWidget* w = QApplication::activeModalWidget();
        if (w == nullptr || !w->isVisible()) return;
        for (const auto& seen : handled_) {
            if (seen == w) return;
        }
        handled_.emplace_back(w);
        auto* box = qobject_cast<QMessageBox*>(w);
        if (box != nullptr) {
            boxes_.push_back(box->windowTitle().toStdString() + ": " + box->text().toStdString());
        }
        Step step;
        if (!steps_.empty()) {
            step = std::move(steps_.front());
            steps_.pop_front();
        } else if (box != nullptr) {
            step = [](QWidget* b) {
                static_cast<QMessageBox*>(b)->button(QMessageBox::Ok)->click();
            };
        }
        // Run outside this timer's slot, so that boxes the step opens are seen too.
        if (step) {
            QPointer<QWidget> target(w);
            QTimer::singleShot(0, [step = std::move(step), target] {
                if (target) step(target);
            });
        }
    }

    QTimer timer_;
    std::vector<QPointer<QWidget>> handled_;
    std::deque<Step> steps_;
    std::vector<std::string> boxes_;
};

inline std::filesystem::path testHex(const std::string& name) {
    return std::filesystem::path(FERROLUX_TEST_HEX_DIR) / (name + ".hex");
}

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
        if (!program) return;
        program->program().main.close();
        program.reset();
    }

    // Stores the simulated board, `chip`, speed high and (when given) a file
    // to reopen, then starts again; the reopen question is answered with OK.
    void startOn(const std::string& chip, const std::filesystem::path& file = {}) {
        ASSERT_TRUE(start(false));
        auto& names = program->program().session;
        int index = -1;
        for (int i = 0; !window().listItem(ctl::kChipList, i).empty(); ++i) {
            if (window().listItem(ctl::kChipList, i) == chip) index = i;
        }
        ASSERT_GE(index, 0) << chip;
        names.link.portName = ui::kSimulatorPort;
        names.device.listIndex = index;
        storeSpeed(names, '3');
        if (!file.empty()) {
            names.hexPath = file.string();
            ASSERT_EQ(storeHexPath(names), 0);
            setReloadFlag(names, '1');
        }
        stop();
        if (!file.empty()) modals.answer(QMessageBox::Ok);
        ASSERT_TRUE(start());
        ASSERT_EQ(s().device.name, chip);
    }

    qt::QtWindow& window() { return program->window(); }
    Session& s() { return program->program().session; }
    ui::MainWindow& main() { return program->program().main; }

    template <class W = QWidget>
    W* find(int id) {
        return window().findChild<W*>(QString::number(id));
    }
    QAction* action(int id) { return window().findChild<QAction*>(QString::number(id)); }
    std::string text(int id) { return window().text(id); }
};

}  // namespace ferrolux::test
