#pragma once

#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "ui/window.h"

namespace ferrolux::test {

// A window that remembers every control's state and every message box, and
// answers questions from a script (OK when the script is empty).
class RecordingWindow : public ui::Window {
  public:
    struct Box {
        std::string text;
        std::string title;
        ui::Buttons buttons;
        QuestionKind kind = QuestionKind::confirm;  // of an OK/Cancel question
        ui::Answer preferred = ui::Answer::ok;      // the default button of a question
    };

    std::map<int, std::string> texts;
    std::map<int, bool> enabled, checked;
    std::map<int, std::string> menuItems;  // items shown at run time, by id
    std::map<int, std::vector<std::string>> lists;
    std::map<int, int> selections;
    std::vector<Box> boxes;
    std::deque<ui::Answer> answers;
    // Looks at the world while a box is up, before it is answered.
    std::function<void(const Box&)> whileShown;
    int shows = 0;
    std::vector<int> endResults;

    void setText(int id, const std::string& text) override {
        texts[id] = text;
        modified[id] = false;
    }
    std::string text(int id) override { return texts[id]; }
    void enable(int id, bool on) override { enabled[id] = on; }
    void showMenuItem(int id, const std::string& text, bool shown) override {
        menuItems.erase(id);
        if (shown) menuItems[id] = text;
    }
    void check(int id, bool on) override { checked[id] = on; }
    bool isChecked(int id) override { return checked[id]; }
    void setListItems(int id, const std::vector<std::string>& items) override {
        lists[id] = items;
        selections[id] = -1;
    }
    void selectListItem(int id, int index) override { selections[id] = index; }
    int listSelection(int id) override {
        auto it = selections.find(id);
        return it == selections.end() ? -1 : it->second;
    }
    std::string listItem(int id, int index) override {
        const auto& items = lists[id];
        return index < 0 || index >= static_cast<int>(items.size())
                   ? std::string()
                   : items[static_cast<std::size_t>(index)];
    }
    ui::Answer messageBox(const std::string& text, const std::string& title,
                          ui::Buttons buttons) override {
        boxes.push_back({text, title, buttons});
        if (whileShown) whileShown(boxes.back());
        return next(answers, ui::Answer::ok);
    }
    ui::Answer ask(const std::string& text, const std::string& title, QuestionKind kind) override {
        boxes.push_back({text, title, ui::Buttons::okCancel, kind});
        if (whileShown) whileShown(boxes.back());
        return next(answers, ui::Answer::ok);
    }
    ui::Answer question(const std::string& text, const std::string& title,
                        ui::Answer preferred) override {
        boxes.push_back({text, title, ui::Buttons::okCancel, QuestionKind::confirm, preferred});
        if (whileShown) whileShown(boxes.back());
        return next(answers, ui::Answer::ok);
    }
    void beep() override {}
    void repaint() override {}
    void endDialog(int result) override { endResults.push_back(result); }
    void show() override { ++shows; }

    // Dialogs: what the user does in each (by dialog id), the dialogs run, and
    // the window of the last run of each. A dialog the script leaves open is
    // closed with Esc.
    using DialogScript = std::function<void(ui::DialogHandler&, RecordingWindow&)>;
    std::map<int, DialogScript> dialogScripts;
    std::vector<int> dialogsRun;
    std::map<int, std::unique_ptr<RecordingWindow>> dialogs;
    int runDialog(int dialogId, ui::DialogHandler& handler) override {
        dialogsRun.push_back(dialogId);
        auto& d = dialogs[dialogId];
        d = std::make_unique<RecordingWindow>();
        handler.opened(*d);
        auto it = dialogScripts.find(dialogId);
        if (it != dialogScripts.end() && d->endResults.empty()) it->second(handler, *d);
        if (d->endResults.empty()) handler.command(*d, 2);
        return d->endResults.empty() ? 2 : d->endResults.back();
    }

    // The files the picker hands out in turn ("" = cancelled); the documents opened.
    std::deque<std::string> pickedFiles;
    std::string pickFile(const ui::FileRequest&) override { return next(pickedFiles, {}); }
    // Save pickers: each request, answered from the script ("" = Cancel),
    // else with the preselected file.
    std::vector<ui::FileRequest> saveRequests;
    std::deque<std::string> savePicks;
    std::string pickSaveFile(const ui::FileRequest& request) override {
        saveRequests.push_back(request);
        return next(savePicks, ui::Window::pickSaveFile(request));
    }
    std::vector<std::string> documents;
    bool openDocument(const std::string& path) override {
        documents.push_back(path);
        return true;
    }

    // Text fields: caret and the user-edit mark (cleared by setText).
    std::map<int, ui::Caret> carets;
    std::map<int, bool> modified;
    ui::Caret caret(int id) override { return carets[id]; }
    bool isModified(int id) override { return modified[id]; }
    // The user edits field `id` to `text`, the caret ending at `caretPosition`.
    void userEdit(ui::DialogHandler& handler, int id, const std::string& text, int caretPosition,
                  int selected = 0) {
        texts[id] = text;
        modified[id] = true;
        carets[id] = {caretPosition, selected};
        handler.textChanged(*this, id);
    }
    // The user clicks a check box: its state flips, then the command arrives.
    void click(ui::DialogHandler& handler, int id) {
        checked[id] = !checked[id];
        handler.command(*this, id);
    }

  private:
    template <class T>
    static T next(std::deque<T>& script, T otherwise) {
        if (script.empty()) return otherwise;
        T first = script.front();
        script.pop_front();
        return first;
    }
};

}  // namespace ferrolux::test
