#include "cli/console_window.h"

#include <cstdio>
#include <istream>
#include <ostream>

#include "ui/control_ids.h"

namespace ferrolux::cli {

namespace {

constexpr int kBarWidth = 30;

std::string trimmed(const std::string& text) {
    const std::size_t first = text.find_first_not_of(" \r\n");
    if (first == std::string::npos) return {};
    const std::size_t last = text.find_last_not_of(" \r\n");
    return text.substr(first, last - first + 1);
}

}  // namespace

ConsoleWindow::ConsoleWindow(std::istream& in, std::ostream& err, ConsoleOptions options)
    : in_(in), err_(err), options_(options) {}

ConsoleWindow::~ConsoleWindow() {
    endProgress();
}

void ConsoleWindow::setText(int id, const std::string& text) {
    texts_[id] = text;
    // A new status ends the pass shown; a pass's progress follows its text.
    if (id == ctl::kStatusField) {
        pass_ = {};
        showProgress(text);
    }
}

std::string ConsoleWindow::text(int id) {
    return texts_[id];
}

bool ConsoleWindow::isEnabled(int id) const {
    const auto it = enabled_.find(id);
    return it == enabled_.end() || it->second;
}

void ConsoleWindow::setListItems(int id, const std::vector<std::string>& items) {
    lists_[id] = items;
    selections_[id] = -1;
}

int ConsoleWindow::listSelection(int id) {
    const auto it = selections_.find(id);
    return it == selections_.end() ? -1 : it->second;
}

std::string ConsoleWindow::listItem(int id, int index) {
    const auto& items = lists_[id];
    if (index < 0 || index >= static_cast<int>(items.size())) return {};
    return items[static_cast<std::size_t>(index)];
}

ui::Answer ConsoleWindow::messageBox(const std::string& text, const std::string& title,
                                     ui::Buttons buttons) {
    return show(text, title, buttons, QuestionKind::confirm);
}

ui::Answer ConsoleWindow::ask(const std::string& text, const std::string& title,
                              QuestionKind kind) {
    return show(text, title, ui::Buttons::okCancel, kind);
}

ui::Answer ConsoleWindow::show(const std::string& text, const std::string& title,
                               ui::Buttons buttons, QuestionKind kind) {
    endProgress();
    if (options_.stop != nullptr && *options_.stop != 0) return ui::Answer::cancel;
    ++boxes_;
    std::string body = text;
    while (!body.empty() && (body.back() == '\n' || body.back() == '\r'))
        body.pop_back();
    const std::string line = title.empty() ? body : title + ": " + body;
    if (buttons == ui::Buttons::ok) {
        err_ << line << '\n' << std::flush;
        return ui::Answer::ok;
    }
    err_ << line << " [y/N] " << std::flush;
    const bool doubt = kind == QuestionKind::doubt;
    if (doubt ? options_.force : options_.yes) {
        err_ << (doubt ? "y (--force)\n" : "y (--yes)\n");
        return ui::Answer::ok;
    }
    if (!options_.interactive) {
        err_ << (!doubt         ? "n (no terminal; --yes answers OK)\n"
                 : options_.yes ? "n (no terminal; something looks wrong: --force, not --yes, "
                                  "answers OK)\n"
                                : "n (no terminal; something looks wrong: --force answers OK)\n");
        return ui::Answer::cancel;
    }
    std::string answer;
    if (!std::getline(in_, answer)) {
        err_ << '\n';
        return ui::Answer::cancel;
    }
    const std::string a = trimmed(answer);
    return a == "y" || a == "Y" || a == "yes" || a == "YES" ? ui::Answer::ok : ui::Answer::cancel;
}

void ConsoleWindow::endDialog(int result) {
    ended_ = true;
    endResult_ = result;
}

// The console program runs its commands through the chip service, not
// dialogs: one asked for is opened and closed at once, as with Esc.
int ConsoleWindow::runDialog(int, ui::DialogHandler& handler) {
    ConsoleWindow dialog(in_, err_, options_);
    handler.opened(dialog);
    if (!dialog.ended()) handler.command(dialog, 2);
    boxes_ += dialog.boxesShown();
    return dialog.ended() ? dialog.endResult() : 2;
}

std::string ConsoleWindow::pickFile(const ui::FileRequest&) {
    std::string path;
    path.swap(picked_);
    return path;
}

void ConsoleWindow::showProgress(const std::string& status) {
    if (!options_.progress) return;
    const std::string shown = trimmed(status);
    if (shown.empty()) {
        endProgress();
        return;
    }
    if (!progressShown_) progressStart_ = std::chrono::steady_clock::now();
    const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(
                             std::chrono::steady_clock::now() - progressStart_)
                             .count();
    char clock[32];
    std::snprintf(clock, sizeof clock, "%lld:%02lld", static_cast<long long>(seconds / 60),
                  static_cast<long long>(seconds % 60));

    std::string line;
    int percent = -1;
    std::string pass = pass_.stage == Stage::verifying ? "verifying" : "writing";
    if (pass_.data) pass += " data";
    if (pass_.total > 0) percent = (pass_.done + 1) * 100 / pass_.total;
    if (percent >= 0) {
        if (percent > 100) percent = 100;
        const int filled = percent * kBarWidth / 100;
        char head[32];
        std::snprintf(head, sizeof head, "%-14s %3d%% [", pass.c_str(), percent);
        line = head + std::string(static_cast<std::size_t>(filled), '#') +
               std::string(static_cast<std::size_t>(kBarWidth - filled), '.') + "] " + shown +
               "  " + clock;
    } else {
        line = shown + "  " + clock;
    }
    err_ << '\r' << line << "\033[K" << std::flush;
    progressShown_ = true;
}

void ConsoleWindow::progress(const Progress& p) {
    pass_ = p;
    showProgress(text(ctl::kStatusField));
}

void ConsoleWindow::endProgress() {
    pass_ = {};
    if (!progressShown_) return;
    err_ << "\r\033[K" << std::flush;
    progressShown_ = false;
}

}  // namespace ferrolux::cli
