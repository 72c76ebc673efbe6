#pragma once

#include <QDialog>
#include <QPointer>
#include <QRect>
#include <csignal>
#include <functional>
#include <map>
#include <string>

#include "platform/tick_source.h"
#include "session/device_record.h"
#include "ui/command_gate.h"
#include "ui/window.h"

class QAction;
class QDragEnterEvent;
class QDropEvent;
class QKeyEvent;
class QProgressBar;

namespace ferrolux::qt {

// Dialog units of the window's font: x units are a quarter of the average
// character width, y units an eighth of the character height.
struct DialogUnits {
    double baseX = 6;
    double baseY = 13;
    int x(int units) const { return static_cast<int>(units * baseX / 4 + 0.5); }
    int y(int units) const { return static_cast<int>(units * baseY / 8 + 0.5); }
    QRect rect(int left, int top, int width, int height) const {
        return {x(left), y(top), x(width), y(height)};
    }
};

// A window of Qt widgets whose controls are named by their ids (each control's
// object name is its id). Clicks, list changes and user edits go to the sinks
// as ids; texts set from the program notify nobody. A command runs on the GUI
// thread to completion; meanwhile repaint() paints without taking user input.
class QtWindow : public QDialog, public ui::Window {
  public:
    explicit QtWindow(QWidget* parent = nullptr);
    ~QtWindow() override;

    // --- Building ---
    DialogUnits units() const { return units_; }
    // Registers `widget` as control `id` and routes its clicks, changes and edits.
    QWidget* addControl(int id, QWidget* widget);
    QAction* registerAction(int id, QAction* action);
    void showMenuItem(int id, const std::string& text, bool shown) override;
    void setProgressBar(QProgressBar* bar) { progress_ = bar; }
    QWidget* control(int id) const;
    QAction* action(int id) const;

    // Where the commands (button, box, menu and list ids) and edits go.
    void setCommandSink(std::function<void(int)> sink) { commandSink_ = std::move(sink); }
    void setEditSink(std::function<void(int)> sink) { editSink_ = std::move(sink); }
    // The chip whose sizes turn progress addresses into a share of the pass.
    void setDevice(const DeviceRecord* device) { device_ = device; }
    // Keeps painting until `ms` milliseconds have passed, taking no user input.
    static void idleFor(int ms);

    // Whether Esc closes the window as the close box does (dialogs); the main
    // window keeps it, so that a stray Esc does not end the program.
    void setEscCloses(bool closes) { escCloses_ = closes; }

    bool ended() const { return ended_; }
    int endResult() const { return endResult_; }
    // Once `flag` turns non-zero (a stop signal) questions are not asked any
    // more: they answer Cancel, and other boxes are not shown.
    void setStopFlag(const volatile std::sig_atomic_t* flag) { stop_ = flag; }

    // --- ui::Window ---
    void setText(int id, const std::string& text) override;
    std::string text(int id) override;
    void enable(int id, bool enabled) override;
    void check(int id, bool checked) override;
    bool isChecked(int id) override;
    void setListItems(int id, const std::vector<std::string>& items) override;
    void selectListItem(int id, int index) override;
    int listSelection(int id) override;
    std::string listItem(int id, int index) override;
    ui::Answer messageBox(const std::string& text, const std::string& title,
                          ui::Buttons buttons) override;
    ui::Answer question(const std::string& text, const std::string& title,
                        ui::Answer preferred) override;
    void beep() override;
    void repaint() override;
    void endDialog(int result) override;
    void show() override;
    int runDialog(int dialogId, ui::DialogHandler& handler) override;
    std::string pickFile(const ui::FileRequest& request) override;
    std::string pickSaveFile(const ui::FileRequest& request) override;
    bool openDocument(const std::string& path) override;
    ui::Caret caret(int id) override;
    bool isModified(int id) override;
    void idleUntil(platform::TickSource& clock, std::uint64_t deadlineNs) override;

    // Runs `work` as one command: a close asked for meanwhile waits for its end.
    void runCommand(const std::function<void()>& work);
    // Opens `path` as if the user had picked it in the open dialog.
    void openPath(const std::string& path);

  protected:
    void reject() override;  // Esc and the close box: command 2
    void keyPressEvent(QKeyEvent* event) override;
    // A dropped .hex file is opened as if picked.
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

  private:
    void dispatch(int id);
    void edited(int id);
    void progress(const Progress& p) override;
    ui::Answer showBox(const std::string& text, const std::string& title, ui::Buttons buttons,
                       ui::Answer preferred);

    DialogUnits units_;
    std::map<int, QPointer<QWidget>> controls_;
    std::map<int, QPointer<QAction>> actions_;
    std::map<int, bool> marks_;  // menu check marks as the logic set them
    std::string picked_;         // the next file "picked": dropped or named at start
    std::function<void(int)> commandSink_;
    std::function<void(int)> editSink_;
    QProgressBar* progress_ = nullptr;
    const DeviceRecord* device_ = nullptr;
    ui::CommandGate gate_;
    bool escCloses_ = true;
    bool quiet_ = false;  // texts and selections set from the program
    bool ended_ = false;
    int endResult_ = 0;
    const volatile std::sig_atomic_t* stop_ = nullptr;
};

}  // namespace ferrolux::qt
