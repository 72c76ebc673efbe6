#pragma once

#include <filesystem>

#include "app/host.h"
#include "ui/qt/qt_window.h"

namespace ferrolux::qt {

// The desktop program: the main window's widgets on a QtWindow, driven by the
// window logic of a whole program instance in `programDir`.
class QtProgram {
  public:
    explicit QtProgram(const std::filesystem::path& programDir);
    QtProgram(const QtProgram&) = delete;
    QtProgram& operator=(const QtProgram&) = delete;

    // Start-up sequence; false when it ended the window (no device list).
    bool open(bool offerReload = true);
    // Runs the window until it ends, then the exit sequence. Returns 0.
    int exec();

    QtWindow& window() { return window_; }
    app::Program& program() { return program_; }

  private:
    QtWindow window_;
    app::Program program_;
    bool opened_ = false;
};

}  // namespace ferrolux::qt
