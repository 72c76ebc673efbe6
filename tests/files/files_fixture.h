#pragma once

#include <gtest/gtest.h>

#include "session/session.h"
#include "support/counting_ticks.h"
#include "support/recording_window.h"
#include "support/temp_dir.h"
#include "ui/window_reporter.h"

namespace ferrolux::test {

// A fresh program directory and a session whose window records everything.
class FilesTest : public ::testing::Test {
  protected:
    FilesTest() : session(ticks, &reporter) { session.programDir = dir; }

    void write(const std::string& name, std::string_view bytes) { writeFile(dir / name, bytes); }
    std::string read(const std::string& name) { return readFile(dir / name); }

    TempDir temp;
    const std::filesystem::path& dir = temp.path();
    CountingTicks ticks;
    RecordingWindow window;
    ui::WindowReporter reporter{window};
    Session session;
};

}  // namespace ferrolux::test
