#pragma once

#include <chrono>
#include <csignal>
#include <iosfwd>
#include <map>
#include <string>
#include <vector>

#include "ui/window.h"

namespace ferrolux::cli {

struct ConsoleOptions {
    bool yes = false;          // questions that confirm an action answered OK
    bool interactive = false;  // questions can be asked: the input is a terminal
    bool progress = false;     // the error output is a terminal and not --quiet
    // Once this holds nonzero (a signal arrived) no box is shown and every
    // question is answered Cancel: the command is ending.
    const volatile std::sig_atomic_t* stop = nullptr;
    bool force = false;  // questions about something that looks wrong answered OK
};

// The window on a terminal. Controls keep their state in memory; message
// boxes go to the error output as "TITLE: text"; questions are asked there
// (y = OK) when the input is a terminal. A question that confirms an action is
// answered OK with --yes, one about something wrong only with --force; either
// is answered Cancel without a terminal. The status field drives a progress
// line on a terminal.
class ConsoleWindow : public ui::Window {
  public:
    ConsoleWindow(std::istream& in, std::ostream& err, ConsoleOptions options);
    ~ConsoleWindow() override;

    void setText(int id, const std::string& text) override;
    std::string text(int id) override;
    void enable(int id, bool on) override { enabled_[id] = on; }
    bool isEnabled(int id) const;
    void check(int id, bool on) override { checked_[id] = on; }
    bool isChecked(int id) override { return checked_[id]; }
    void setListItems(int id, const std::vector<std::string>& items) override;
    void selectListItem(int id, int index) override { selections_[id] = index; }
    int listSelection(int id) override;
    std::string listItem(int id, int index) override;
    const std::vector<std::string>& listItems(int id) { return lists_[id]; }

    ui::Answer messageBox(const std::string& text, const std::string& title,
                          ui::Buttons buttons) override;
    ui::Answer ask(const std::string& text, const std::string& title, QuestionKind kind) override;
    void beep() override {}
    void repaint() override {}
    void endDialog(int result) override;
    int runDialog(int dialogId, ui::DialogHandler& handler) override;
    std::string pickFile(const ui::FileRequest& request) override;
    // The file the next file request picks.
    void setPickedFile(std::string path) { picked_ = std::move(path); }
    // How far a pass has come: the progress line shows it as a bar.
    void progress(const Progress& p) override;
    // Takes the progress line off the terminal, before a result is printed.
    void endProgress();

    bool ended() const { return ended_; }
    int endResult() const { return endResult_; }
    int boxesShown() const { return boxes_; }

  private:
    ui::Answer show(const std::string& text, const std::string& title, ui::Buttons buttons,
                    QuestionKind kind);
    void showProgress(const std::string& status);

    std::istream& in_;
    std::ostream& err_;
    ConsoleOptions options_;
    std::map<int, std::string> texts_;
    std::map<int, bool> enabled_;
    std::map<int, bool> checked_;
    std::map<int, std::vector<std::string>> lists_;
    std::map<int, int> selections_;
    std::string picked_;
    Progress pass_;  // the pass the progress line shows; total 0 = none
    bool ended_ = false;
    int endResult_ = 0;
    int boxes_ = 0;
    bool progressShown_ = false;
    std::chrono::steady_clock::time_point progressStart_;
};

}  // namespace ferrolux::cli
