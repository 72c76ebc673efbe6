#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>

#include "session/session.h"
#include "support/counting_ticks.h"
#include "support/recording_window.h"
#include "ui/window_reporter.h"

namespace ferrolux::test {

// A fresh program directory and a session whose window records everything.
class FilesTest : public ::testing::Test {
  protected:
    FilesTest() : session(ticks, &reporter) {
        std::string pattern = (std::filesystem::temp_directory_path() / "ferrolux-XXXXXX").string();
        dir = ::mkdtemp(pattern.data());
        session.programDir = dir;
    }
    ~FilesTest() override {
        std::error_code ec;
        std::filesystem::remove_all(dir, ec);
    }

    void write(const std::string& name, std::string_view bytes) {
        std::ofstream out(dir / name, std::ios::binary | std::ios::trunc);
        out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    }
    std::string read(const std::string& name) {
        std::ifstream in(dir / name, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }

    std::filesystem::path dir;
    CountingTicks ticks;
    RecordingWindow window;
    ui::WindowReporter reporter{window};
    Session session;
};

}  // namespace ferrolux::test
