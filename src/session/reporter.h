#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace ferrolux::platform {
class TickSource;
}

namespace ferrolux {

// How far a pass over the file's image has come, in numbers the front ends
// draw as they like.
enum class Stage { writing, verifying };
struct Progress {
    Stage stage = Stage::writing;
    bool data = false;  // the data memory pass
    int address = 0;    // the chip word address reached
    int done = 0;       // the pass's words handled before this one
    int total = 0;      // the words the pass has
};

// What a question is about: an action the user asked for (erase, overwrite,
// protect), or something that looks wrong (a damaged file, another chip, a
// Vpp too high). A console answers the first kind with --yes and the second
// only with --force.
enum class QuestionKind { confirm, doubt };

// What the chip and file operations tell the user, and the few things they ask.
// The window logic shows it in its controls, the console on its streams; the
// operations never see a window.
class Reporter {
  public:
    virtual ~Reporter() = default;

    // The status line, shown at once while the operation runs on.
    virtual void status(const std::string& text) = 0;
    // The status line as it stands now.
    virtual std::string statusShown() = 0;
    // A message box with an OK button.
    virtual void message(const std::string& text, const std::string& title) = 0;
    // An OK/Cancel question; true for OK.
    virtual bool ask(const std::string& text, const std::string& title,
                     QuestionKind kind = QuestionKind::confirm) = 0;
    // Something the program cannot run without has failed (device list, port
    // driver): the window closes with `result` once the running command returns.
    virtual void closeProgram(int result) = 0;

    // The names of the chip list, and the user's choice in it: its index
    // (-1 = none) with `name` set to its text.
    virtual void chipNames(const std::vector<std::string>& names) = 0;
    virtual int chosenChip(std::string& name) = 0;

    // Values to show: the configuration word, the device ID text (" " = none
    // read), the ID values, and whether the file holds a configuration word.
    virtual void configWord(int value) = 0;
    virtual void deviceId(const std::string& text) = 0;
    virtual void idValues(const std::array<int, 4>& ids) = 0;
    virtual void fileConfigWord(bool found) = 0;

    // A pass has come so far; the status line already names the address.
    virtual void progress(const Progress& p) { (void)p; }

    // A wait has time to spare until `deadlineNs` on `clock`: the user's view
    // may be kept painted meanwhile.
    virtual void idleUntil(platform::TickSource& clock, std::uint64_t deadlineNs) {
        (void)clock, (void)deadlineNs;
    }
};

// Shows nothing and answers Cancel; for sessions without a user.
class NullReporter final : public Reporter {
  public:
    void status(const std::string&) override {}
    std::string statusShown() override { return {}; }
    void message(const std::string&, const std::string&) override {}
    bool ask(const std::string&, const std::string&, QuestionKind) override { return false; }
    void closeProgram(int) override {}
    void chipNames(const std::vector<std::string>&) override {}
    int chosenChip(std::string&) override { return -1; }
    void configWord(int) override {}
    void deviceId(const std::string&) override {}
    void idValues(const std::array<int, 4>&) override {}
    void fileConfigWord(bool) override {}
};

}  // namespace ferrolux
