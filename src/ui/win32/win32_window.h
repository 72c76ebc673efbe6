#pragma once

#include <windows.h>

#include <functional>
#include <string>

#include "session/device_record.h"
#include "ui/command_gate.h"
#include "ui/window.h"

namespace ferrolux::win32 {

// A Win32 dialog from the program's resources whose controls and menu items
// are named by their ids. Clicks, list changes, menu items and user edits go
// to the sinks as ids; texts set from the program notify nobody. A command
// runs on the window's thread to completion; meanwhile repaint() paints
// without taking user input, and a close asked for waits for its end.
class Win32Window : public ui::Window {
  public:
    explicit Win32Window(HINSTANCE instance, Win32Window* owner = nullptr)
        : instance_(instance), owner_(owner) {}
    Win32Window(const Win32Window&) = delete;
    Win32Window& operator=(const Win32Window&) = delete;

    // Where commands (button, box, menu and list ids), edits and the opening go.
    void setCommandSink(std::function<void(int)> sink) { commandSink_ = std::move(sink); }
    void setEditSink(std::function<void(int)> sink) { editSink_ = std::move(sink); }
    void setOpenedSink(std::function<void()> sink) { openedSink_ = std::move(sink); }
    // The chip whose sizes turn progress addresses into a share of the pass.
    void setDevice(const DeviceRecord* device) { device_ = device; }

    // Runs dialog template `templateId` modally until it ends; its result,
    // or -1 when the dialog could not be made. The keys of accelerator table
    // `keysId` (0 = none) work while it runs.
    int run(int templateId, int keysId = 0);
    HWND handle() const { return hwnd_; }
    bool ended() const { return ended_; }

    // Runs `work` as one command: a close asked for meanwhile waits for its end.
    void runCommand(const std::function<void()>& work);
    // Opens `path` as if the user had picked it in the open dialog.
    void openPath(const std::string& path);

    // --- ui::Window ---
    void setText(int id, const std::string& text) override;
    std::string text(int id) override;
    void enable(int id, bool enabled) override;
    void showMenuItem(int id, const std::string& text, bool shown) override;
    void check(int id, bool checked) override;
    bool isChecked(int id) override;
    void setListItems(int id, const std::vector<std::string>& items) override;
    void selectListItem(int id, int index) override;
    int listSelection(int id) override;
    std::string listItem(int id, int index) override;
    ui::Answer question(const std::string& text, const std::string& title,
                        ui::Answer preferred) override;
    ui::Answer messageBox(const std::string& text, const std::string& title,
                          ui::Buttons buttons) override;
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

  private:
    static INT_PTR CALLBACK dialogProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    // Sees the keys of the dialogs' own message loop; turns those of the
    // active window's table into its commands.
    static LRESULT CALLBACK keyFilter(int code, WPARAM wParam, LPARAM lParam);
    INT_PTR handle(UINT message, WPARAM wParam, LPARAM lParam);
    std::string fileDialog(const ui::FileRequest& request, bool save);
    ui::Answer box(const std::string& text, const std::string& title, UINT style);
    // True when it has put the focus itself.
    bool opened();
    void commandMessage(int id, int code, HWND control);
    void progress(const Progress& p) override;
    void dropped(HDROP files);
    void dispatch(int id);
    // The menu holds `id` (menu ids and the labels' -1 share numbers).
    bool inMenu(int id) const;
    HWND control(int id) const { return ::GetDlgItem(hwnd_, id); }

    HINSTANCE instance_;
    Win32Window* owner_;
    HWND hwnd_ = nullptr;
    HFONT fixedFont_ = nullptr;
    HACCEL keys_ = nullptr;
    std::function<void(int)> commandSink_;
    std::function<void(int)> editSink_;
    std::function<void()> openedSink_;
    const DeviceRecord* device_ = nullptr;
    std::string picked_;  // the next file "picked": named at start or dropped
    ui::CommandGate gate_;
    bool quiet_ = false;  // texts and selections set from the program
    bool ended_ = false;
    int endResult_ = 2;
};

}  // namespace ferrolux::win32
