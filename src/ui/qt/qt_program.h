#pragma once

#include <QStringList>
#include <QTimer>
#include <csignal>
#include <filesystem>
#include <functional>

#include "app/host.h"
#include "ui/qt/qt_window.h"

namespace ferrolux::qt {

// The window's own settings in the user's Qt settings file (beside Recent
// Files), not in kestrum.cfg.
class QtSettingsStore final : public ui::SettingsStore {
  public:
    std::string value(const std::string& key) override;
    void setValue(const std::string& key, const std::string& value) override;
};

// The desktop program: the main window's widgets on a QtWindow, driven by the
// window logic of a whole program instance in `programDir`. Beside the logic
// it keeps a Recent Files list (in the user's Qt settings, not in
// kestrum.cfg) and shows the HTML manual when there is no T3306.CHM.
class QtProgram {
  public:
    explicit QtProgram(const std::filesystem::path& programDir);
    QtProgram(const QtProgram&) = delete;
    QtProgram& operator=(const QtProgram&) = delete;

    // Start-up sequence; false when it ended the window (no device list).
    bool open(bool offerReload = true);
    // Start-up with `file` selected instead of offering the last one.
    bool openWith(const std::string& file);
    // Runs the window until it ends, then the exit sequence. Returns 0.
    int exec();
    // Ends the window cleanly once `flag` turns non-zero (a stop signal): a
    // running command stops at its next ICSP frame, then the window closes.
    void stopOn(const volatile std::sig_atomic_t* flag);
    // The manual Help shows when the program directory has no T3306.CHM.
    void setManual(std::filesystem::path manual) { manual_ = std::move(manual); }
    // What hands the manual to a viewer; the system's by default.
    void setDocumentOpener(std::function<bool(const std::string&)> opener) {
        openDocument_ = std::move(opener);
    }

    QtWindow& window() { return window_; }
    app::Program& program() { return program_; }
    QStringList recentFiles() const;

    static constexpr int kRecentFiles = 8;

  private:
    void command(int id);
    void remember(const QString& file);
    void fillRecentMenu();

    QtWindow window_;
    app::Program program_;
    QtSettingsStore settings_;
    bool opened_ = false;
    QTimer stopWatch_;
    std::filesystem::path manual_;
    std::function<bool(const std::string&)> openDocument_;
};

// The HTML manual beside an installed or a built program; empty when none.
std::filesystem::path findManual();

}  // namespace ferrolux::qt
