#include "ui/window_reporter.h"

#include "session/messages.h"
#include "ui/control_ids.h"

namespace ferrolux::ui {

void WindowReporter::status(const std::string& text) {
    w_.setText(ctl::kStatusField, text);
    w_.repaint();
}

std::string WindowReporter::statusShown() {
    return w_.text(ctl::kStatusField);
}

void WindowReporter::message(const std::string& text, const std::string& title) {
    (void)w_.messageBox(text, title, Buttons::ok);
}

bool WindowReporter::ask(const std::string& text, const std::string& title, QuestionKind kind) {
    return w_.ask(text, title, kind) == Answer::ok;
}

void WindowReporter::closeProgram(int result) {
    w_.endDialog(result);
}

void WindowReporter::chipNames(const std::vector<std::string>& names) {
    w_.setListItems(ctl::kChipList, names);
}

int WindowReporter::chosenChip(std::string& name) {
    const int index = w_.listSelection(ctl::kChipList);
    if (index >= 0) name = w_.listItem(ctl::kChipList, index);
    return index;
}

void WindowReporter::configWord(int value) {
    w_.setText(ctl::kConfigWordField, formatText("%.4X", static_cast<unsigned>(value)));
    w_.repaint();
}

void WindowReporter::deviceId(const std::string& text) {
    w_.setText(ctl::kDevIdField, text);
}

void WindowReporter::idValues(const std::array<int, 4>& ids) {
    for (std::size_t i = 0; i < ids.size(); ++i)
        w_.setText(ctl::kIdFields[i], formatText("%01X", static_cast<unsigned>(ids[i])));
}

// A file with a configuration word writes it; one without leaves it to the dialog.
void WindowReporter::fileConfigWord(bool found) {
    w_.check(ctl::kWriteConfigBox, found);
    w_.enable(ctl::kViewSetButton, !found);
    w_.enable(ctl::kSaveButton, !found);
}

void WindowReporter::idleUntil(platform::TickSource& clock, std::uint64_t deadlineNs) {
    w_.idleUntil(clock, deadlineNs);
}

}  // namespace ferrolux::ui
