#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

#include "app/host.h"
#include "session/messages.h"
#include "sim/virtual_pic.h"
#include "support/recording_window.h"
#include "support/temp_dir.h"
#include "ui/control_ids.h"
#include "ui/main_window.h"

namespace ferrolux::test {

inline std::filesystem::path example(const std::string& name) {
    return std::filesystem::path(FERROLUX_EXAMPLE_DIR) / (name + ".hex");
}

// A program directory with the shipped device list and a whole program (the
// real wiring) on a recording window; the simulated board stands at SIM1.
struct UiRig {
    TempDir dir;
    RecordingWindow window;
    std::unique_ptr<app::Program> program;

    UiRig() {
        std::filesystem::copy_file(std::filesystem::path(FERROLUX_SOURCE_DIR) / "data/kestrum.ini",
                                   dir.path() / "kestrum.ini");
    }
    std::string state() const { return readFile(dir.path() / "kestrum.cfg"); }
    ui::MainWindow& main() { return program->main; }
    Session& s() { return program->session; }
    sim::VirtualPic& chip() { return *program->host.simChip(); }
    sim::SimBoard& board() { return program->host.simBoard(); }

    bool start() {
        program = std::make_unique<app::Program>(dir.path(), window);
        program->session.outputDir = dir.path();
        return program->main.open();
    }
    // A new start on a fresh window that answers `answers`, after an exit if `exit`.
    bool restart(std::deque<ui::Answer> answers = {}, bool exit = true) {
        if (exit) main().close();
        program.reset();
        window = RecordingWindow();
        window.answers = std::move(answers);
        return start();
    }
    // Starts with `chip` selected on the simulated board, speed high, no file to reopen.
    void startOn(const std::string& chip) {
        ASSERT_TRUE(start());
        const int index = indexOf(chip);
        program.reset();
        writeFile(dir.path() / "kestrum.cfg", "SIM1" + formatText("%02d", index) + "01403");
        ASSERT_TRUE(restart({}, false));
        ASSERT_EQ(s().device.name, chip);
    }
    int indexOf(const std::string& chip) {
        const auto& names = window.lists[ctl::kChipList];
        return static_cast<int>(std::find(names.begin(), names.end(), chip) - names.begin());
    }
    void selectChip(const std::string& name) {
        window.selectListItem(ctl::kChipList, indexOf(name));
        main().command(ctl::kChipList);
        ASSERT_EQ(s().device.name, name);
    }

    int open(const std::filesystem::path& file) {
        window.pickedFiles.push_back(file.string());
        return main().openFile();
    }
    // A copy of example `name` in the program directory with `from` replaced by `to`.
    std::filesystem::path edited(const std::string& name, const std::string& from,
                                 const std::string& to) {
        std::string text = readFile(example(name));
        const std::size_t at = text.find(from);
        EXPECT_NE(at, std::string::npos) << from;
        if (at != std::string::npos) text.replace(at, from.size(), to);
        writeFile(dir.path() / "edited.hex", text);
        return dir.path() / "edited.hex";
    }

    // From now on, every line change of the board is recorded.
    void watchBoard() {
        board().enableTrace(true);
        board().clearTrace();
    }
    bool boardUntouched() { return board().trace().empty(); }

    const RecordingWindow::Box& lastBox() {
        static const RecordingWindow::Box none{"(no box)", "", ui::Buttons::ok};
        return window.boxes.empty() ? none : window.boxes.back();
    }
    // The last command ended through failCommand, with `text` if given.
    void expectFailed(const std::string& text = {}) {
        EXPECT_EQ(main().lastEnding(), ui::Ending::failed);
        EXPECT_EQ(lastBox().title, "Error");
        EXPECT_TRUE(text.empty() || lastBox().text == text) << lastBox().text;
        EXPECT_EQ(window.texts[ctl::kStatusField], " ");
        EXPECT_FALSE(window.enabled[ctl::kStatusField] || window.enabled[ctl::kFileField]);
    }
    // The last command ended with success, showing `text`.
    void expectOk(const std::string& text) {
        EXPECT_EQ(main().lastEnding(), ui::Ending::ok) << lastBox().text;
        EXPECT_EQ(window.texts[ctl::kStatusField], text);
        EXPECT_FALSE(window.enabled[ctl::kStatusField]);
    }
};

}  // namespace ferrolux::test
