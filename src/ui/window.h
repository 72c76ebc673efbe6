#pragma once

#include <string>
#include <vector>

namespace ferrolux::ui {

enum class Buttons { ok, okCancel };
enum class Answer { ok, cancel };

// What the program logic needs of a window: controls named by their ids, message
// boxes, and the dialog's end. The Qt window, the console tool and the test fakes
// implement it; the logic never sees a toolkit.
class Window {
  public:
    virtual ~Window() = default;

    virtual void setText(int id, const std::string& text) = 0;
    virtual std::string text(int id) = 0;
    virtual void enable(int id, bool enabled) = 0;
    // Check box, radio button or menu item.
    virtual void check(int id, bool checked) = 0;
    virtual bool isChecked(int id) = 0;

    // Drop-down lists: the items in the order given, and the selected index (-1 = none).
    virtual void setListItems(int id, const std::vector<std::string>& items) = 0;
    virtual void selectListItem(int id, int index) = 0;
    virtual int listSelection(int id) = 0;
    // Text of entry `index`; empty when there is no such entry.
    virtual std::string listItem(int id, int index) = 0;

    virtual Answer messageBox(const std::string& text, const std::string& title,
                              Buttons buttons = Buttons::ok) = 0;
    virtual void beep() = 0;
    // Show pending changes now: the logic runs on the window's thread and would
    // otherwise not be seen until the command ends.
    virtual void repaint() = 0;
    // Closes the window with `result` once the running command has returned.
    virtual void endDialog(int result) = 0;
};

// A window that shows nothing and answers Cancel; for sessions without a user.
class NullWindow final : public Window {
  public:
    void setText(int, const std::string&) override {}
    std::string text(int) override { return {}; }
    void enable(int, bool) override {}
    void check(int, bool) override {}
    bool isChecked(int) override { return false; }
    void setListItems(int, const std::vector<std::string>&) override {}
    void selectListItem(int, int) override {}
    int listSelection(int) override { return -1; }
    std::string listItem(int, int) override { return {}; }
    Answer messageBox(const std::string&, const std::string&, Buttons) override {
        return Answer::cancel;
    }
    void beep() override {}
    void repaint() override {}
    void endDialog(int) override {}
};

}  // namespace ferrolux::ui
