#pragma once

#include "session/reporter.h"
#include "ui/window.h"

namespace ferrolux::ui {

// Shows what the operations report in the main window's controls.
class WindowReporter final : public Reporter {
  public:
    explicit WindowReporter(Window& window) : w_(window) {}

    void status(const std::string& text) override;
    std::string statusShown() override;
    void message(const std::string& text, const std::string& title) override;
    bool ask(const std::string& text, const std::string& title, QuestionKind kind) override;
    void closeProgram(int result) override;
    void chipNames(const std::vector<std::string>& names) override;
    int chosenChip(std::string& name) override;
    void configWord(int value) override;
    void deviceId(const std::string& text) override;
    void idValues(const std::array<int, 4>& ids) override;
    void fileConfigWord(bool found) override;
    void progress(const Progress& p) override { w_.progress(p); }
    void idleUntil(platform::TickSource& clock, std::uint64_t deadlineNs) override;

  private:
    Window& w_;
};

}  // namespace ferrolux::ui
