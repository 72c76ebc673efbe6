#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

#include "app/host.h"
#include "device/messages.h"
#include "sim/virtual_pic.h"
#include "support/recording_window.h"
#include "support/temp_dir.h"
#include "ui/control_ids.h"

namespace ferrolux::test {

inline std::filesystem::path example(const std::string& name) {
    return std::filesystem::path(FERROLUX_EXAMPLE_DIR) / (name + ".hex");
}

inline std::string readFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

inline void writeFile(const std::filesystem::path& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << bytes;
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

    std::filesystem::path stateFile() const { return dir.path() / "kestrum.cfg"; }
    void writeState(const std::string& bytes) { writeFile(stateFile(), bytes); }
    std::string state() const { return readFile(stateFile()); }

    bool start(bool offerReload = true) {
        program = std::make_unique<app::Program>(dir.path(), window);
        program->session.outputDir = dir.path();
        return program->main.open(offerReload);
    }

    // Starts on the simulated board with `chip` stored as the selected chip,
    // speed high, no file to reopen.
    void startOn(const std::string& chip) {
        ASSERT_TRUE(start());
        const auto& names = window.lists[ctl::kChipList];
        const auto it = std::find(names.begin(), names.end(), chip);
        ASSERT_NE(it, names.end()) << chip;
        const int index = static_cast<int>(it - names.begin());
        program.reset();
        window = RecordingWindow();
        writeState("SIM1" + formatText("%02d", index) + "01403");
        ASSERT_TRUE(start());
        ASSERT_EQ(s().device.name, chip);
    }

    ui::MainWindow& main() { return program->main; }
    Session& s() { return program->session; }
    sim::VirtualPic& chip() { return *program->host.simChip(); }
    sim::SimBoard& board() { return program->host.simBoard(); }

    void selectChip(const std::string& name) {
        const auto& names = window.lists[ctl::kChipList];
        const auto it = std::find(names.begin(), names.end(), name);
        ASSERT_NE(it, names.end()) << name;
        window.selectListItem(ctl::kChipList, static_cast<int>(it - names.begin()));
        main().command(ctl::kChipList);
        ASSERT_EQ(s().device.name, name);
    }

    int open(const std::filesystem::path& file) {
        window.pickedFiles.push_back(file.string());
        return main().openFile();
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
};

}  // namespace ferrolux::test
