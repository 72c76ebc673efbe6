#pragma once

#include <deque>
#include <map>
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
    };

    std::map<int, std::string> texts;
    std::map<int, bool> enabled;
    std::map<int, bool> checked;
    std::map<int, std::vector<std::string>> lists;
    std::map<int, int> selections;
    std::vector<Box> boxes;
    std::deque<ui::Answer> answers;
    int beeps = 0;
    int repaints = 0;
    std::vector<int> endResults;

    void setText(int id, const std::string& text) override { texts[id] = text; }
    std::string text(int id) override { return texts[id]; }
    void enable(int id, bool on) override { enabled[id] = on; }
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
        auto it = lists.find(id);
        if (it == lists.end() || index < 0 || index >= static_cast<int>(it->second.size())) {
            return {};
        }
        return it->second[static_cast<std::size_t>(index)];
    }
    ui::Answer messageBox(const std::string& text, const std::string& title,
                          ui::Buttons buttons) override {
        boxes.push_back({text, title, buttons});
        if (answers.empty()) return ui::Answer::ok;
        ui::Answer a = answers.front();
        answers.pop_front();
        return a;
    }
    void beep() override { ++beeps; }
    void repaint() override { ++repaints; }
    void endDialog(int result) override { endResults.push_back(result); }
};

}  // namespace ferrolux::test
