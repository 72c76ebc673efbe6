#pragma once

#include <QTimer>
#include <csignal>
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
    // Ends the window cleanly once `flag` turns non-zero (a stop signal): a
    // running command stops at its next ICSP frame, then the window closes.
    void stopOn(const volatile std::sig_atomic_t* flag);

    QtWindow& window() { return window_; }
    app::Program& program() { return program_; }

  private:
    QtWindow window_;
    app::Program program_;
    bool opened_ = false;
    QTimer stopWatch_;
};

}  // namespace ferrolux::qt
