#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/files.h"
#include "session/reporter.h"

namespace ferrolux::platform {
class TickSource;
}

namespace ferrolux::ui {

enum class Buttons { ok, okCancel };
enum class Answer { ok, cancel };

class Window;

// The logic of a modal dialog. The window that runs it calls opened() once,
// then command() for every button, box or key (1 = the default button,
// 2 = Esc or the close box) and textChanged() for every edit the user makes in
// a text field, until the handler ends the dialog through endDialog().
// Texts the program sets do not notify; the logic runs its own change rules.
class DialogHandler {
  public:
    virtual ~DialogHandler() = default;
    virtual void opened(Window& dialog) = 0;
    virtual void command(Window& dialog, int id) = 0;
    virtual void textChanged(Window& dialog, int id) { (void)dialog, (void)id; }
};

// Where the caret stands in a text field, and how much text is selected.
struct Caret {
    int position = 0;
    int selected = 0;
};

// What the file picker shows.
struct FileRequest {
    std::string title;        // "Open a File"
    std::string filterName;   // "Hex-Files"
    std::string pattern;      // "*.hex"
    std::string startFolder;  // where the picker opens
    std::string fileName;     // a save picker's preselected name: "readback.hex"
};

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
    // Shows a menu item the program fills in at run time (the FTDI adapters
    // found), with its text; a window without such items ignores it.
    virtual void showMenuItem(int id, const std::string& text, bool shown) {
        (void)id, (void)text, (void)shown;
    }
    virtual bool isChecked(int id) = 0;

    // Drop-down lists: the items in the order given, and the selected index (-1 = none).
    virtual void setListItems(int id, const std::vector<std::string>& items) = 0;
    virtual void selectListItem(int id, int index) = 0;
    virtual int listSelection(int id) = 0;
    // Text of entry `index`; empty when there is no such entry.
    virtual std::string listItem(int id, int index) = 0;

    virtual Answer messageBox(const std::string& text, const std::string& title,
                              Buttons buttons = Buttons::ok) = 0;
    // An OK/Cancel question of a kind; a window that treats both kinds alike
    // shows it as any OK/Cancel box.
    virtual Answer ask(const std::string& text, const std::string& title, QuestionKind kind) {
        (void)kind;
        return messageBox(text, title, Buttons::okCancel);
    }
    // An OK/Cancel question whose default button (the one Enter takes) is
    // `preferred`: Cancel for one that deletes memory. A window without
    // default buttons asks it as messageBox does.
    virtual Answer question(const std::string& text, const std::string& title, Answer preferred) {
        (void)preferred;
        return messageBox(text, title, Buttons::okCancel);
    }
    virtual void beep() = 0;
    // Show pending changes now: the logic runs on the window's thread and would
    // otherwise not be seen until the command ends.
    virtual void repaint() = 0;
    // Closes the window with `result` once the running command has returned.
    virtual void endDialog(int result) = 0;

    // Makes the window visible (start-up shows it once the chip list is filled).
    virtual void show() {}
    // Runs dialog `dialogId` (1131, 1112, 1043) modally; returns what the
    // handler passed to endDialog.
    virtual int runDialog(int dialogId, DialogHandler& handler) = 0;
    // The file the user picked; empty when the picker was cancelled.
    virtual std::string pickFile(const FileRequest& request) = 0;
    // Where to save a file: the path the user chose, empty when cancelled. A
    // window without a save picker takes the preselected name in startFolder.
    virtual std::string pickSaveFile(const FileRequest& request) {
        return platform::utf8Of(platform::pathFromUtf8(request.startFolder) / request.fileName);
    }
    // Hands a document to the system's viewer; false when none could take it.
    virtual bool openDocument(const std::string& path) {
        (void)path;
        return false;
    }
    // Text fields: caret and selection, and whether the user has edited the
    // field since the program last set its text.
    virtual Caret caret(int id) {
        (void)id;
        return {};
    }
    virtual bool isModified(int id) {
        (void)id;
        return false;
    }
    // A pass over the file has come so far: a window with a progress bar
    // draws it.
    virtual void progress(const Progress& p) { (void)p; }
    // A wait has time to spare until `deadlineNs` on `clock`: the window may
    // keep painting meanwhile, taking no user input.
    virtual void idleUntil(platform::TickSource& clock, std::uint64_t deadlineNs) {
        (void)clock, (void)deadlineNs;
    }
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
    int runDialog(int, DialogHandler&) override { return 2; }
    std::string pickFile(const FileRequest&) override { return {}; }
};

}  // namespace ferrolux::ui
