#pragma once

#include <chrono>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>

#include "app/sim_socket.h"
#include "platform/file_lock.h"
#include "platform/ftdi_serial_port.h"
#include "platform/system.h"
#include "session/session.h"
#include "sim/sim_board.h"
#include "sim/sim_clock.h"
#include "sim/sim_ftdi.h"
#include "sim/virtual_pic.h"
#include "sim/virtual_pic18.h"
#include "ui/main_window.h"
#include "ui/window_reporter.h"

namespace ferrolux::app {

// A tick source that reads one of several clocks and carries on from the
// last value when it switches, so time never goes backwards.
class RoutedTicks final : public platform::TickSource {
  public:
    explicit RoutedTicks(platform::TickSource& first) : source_(&first) {}
    void route(platform::TickSource& source);
    platform::TickSource& source() const { return *source_; }

    std::uint64_t nowNs() override;
    std::uint64_t readTimes(std::uint64_t count) override;
    void idleUntil(std::uint64_t deadlineNs) override;
    void sleepUntil(std::uint64_t deadlineNs) override;

  private:
    platform::TickSource* source_;
    std::uint64_t base_ = 0;         // our time when the source was taken
    std::uint64_t sourceStart_ = 0;  // the source's time then
    bool started_ = false;
    std::uint64_t last_ = 0;
};

// The simulated board seen through the simulated FTDI adapter.
inline constexpr const char* kSimulatorFtdiPort = "ftdi:SIM1";

// Opens the simulator's ports by their names (SIM1, and ftdi:SIM1 when an
// FTDI opener is given), FTDI adapters ("ftdi", "ftdi:SERIAL") and every
// other name on the system. `simulatorReady` is asked first and answers why
// the simulator's ports cannot open ("" when they can).
class RoutedOpener final : public platform::SerialOpener {
  public:
    RoutedOpener(platform::SerialOpener& system, platform::SerialOpener& simulator,
                 std::function<std::string()> simulatorReady,
                 platform::SerialOpener* ftdi = nullptr,
                 platform::SerialOpener* simulatorFtdi = nullptr)
        : system_(system),
          simulator_(simulator),
          simulatorReady_(std::move(simulatorReady)),
          ftdi_(ftdi),
          simulatorFtdi_(simulatorFtdi) {}
    std::unique_ptr<platform::SerialPort> open(const std::string& portName) override;
    std::string lastError() const override { return lastError_; }

  private:
    platform::SerialOpener& system_;
    platform::SerialOpener& simulator_;
    std::function<std::string()> simulatorReady_;
    platform::SerialOpener* ftdi_;
    platform::SerialOpener* simulatorFtdi_;
    std::string lastError_;
};

// An exclusive lock on a file, as a real port is opened exclusively.
// Locks belong to the open file, so two holders in one process exclude each
// other as two processes do.
class FileLock {
  public:
    bool held() const { return lock_.held(); }
    // Tries for up to `patience`; false with the reason in `why`.
    bool acquire(const std::filesystem::path& file, std::chrono::milliseconds patience,
                 std::string& why);
    void release() { lock_.release(); }

  private:
    platform::ExclusiveLock lock_;
};

// What one session runs on: the system's serial ports, FTDI adapters (with
// libftdi1), parallel port access (ppdev, or a port-I/O library on Windows)
// and monotonic clock, and the built-in simulated serial board "SIM1" (also
// behind a simulated FTDI adapter as "ftdi:SIM1") whose socket holds a
// virtual chip of the selected type. The virtual chip's cells are kept in
// programDir/sim/CHIPNAME.hex between runs. While SIM1 is the port the
// session's clock is the simulated one, so waits cost no real time.
//
// SIM1 is one board: while a run has it (from choosing it until another port
// is chosen or the window closes) programDir/sim/SIM1.lock is locked, and the
// chip is loaded from its image only under that lock, so two runs never
// work on one chip at once and no saved change is lost. A run that finds SIM1
// taken waits briefly when it opens the port, then fails with "in use". The
// run that takes SIM1 removes the temporary image files a killed run left. A
// damaged image is never replaced by a blank chip: the port does not open
// and the file stays as it is. A chip that cannot be saved after a command
// is reported as that command's error.
//
// The "sim" command can take the chip out, put another in, or break the
// board (see sim_socket.h); the run that holds SIM1 takes such a change at
// its next chip command, saving the chip that goes out first.
class Host : public ui::LinkHost {
  public:
    explicit Host(std::filesystem::path programDir);
    ~Host() override;
    Host(const Host&) = delete;
    Host& operator=(const Host&) = delete;

    platform::TickSource& ticks() { return ticks_; }
    // Hands the session its openers and port access; before the window opens.
    void attach(Session& s);

    void started(Session& s) override;
    // The adapters the FTDI library finds that can be named ("ftdi:SERIAL").
    std::vector<std::pair<std::string, std::string>> ftdiAdapters() override;
    // Where ftdiAdapters() looks; the system's library when built with it.
    platform::FtdiOpener* ftdiLister = nullptr;
    // The serial devices listPorts finds below deviceRoot that no fixed
    // Port menu item names; none is opened.
    std::vector<std::pair<std::string, std::string>> serialDevices() override;
    std::filesystem::path deviceRoot = "/";
    void portChosen(Session& s) override;
    void chipChosen(Session& s) override;
    bool commandEnded(Session& s) override;
    void closed(Session& s) override;

    sim::SimBoard& simBoard() { return board_; }
    sim::SimClock& simClock() { return simClock_; }
    // The chip in the simulator's socket; nullptr when the selected chip has
    // no model or could not be loaded.
    sim::VirtualPic* simChip() { return chip_.get(); }
    // The PIC18 chip in the socket, when the selected chip is one.
    sim::VirtualPic18* simChip18() { return chip18_.get(); }
    // Why SIM1 cannot be opened now; "" when it can or has not been tried.
    const std::string& simFault() const { return fault_; }
    // Saves of the virtual chip that failed during this run, and the last reason.
    int saveFailures() const { return saveFailures_; }
    const std::string& lastSaveFailure() const { return lastSaveFailure_; }

    // How long opening SIM1 waits for another run to let it go.
    static constexpr std::chrono::milliseconds kSimPatience{1500};

  private:
    void follow(Session& s);
    bool fillSocket(std::chrono::milliseconds patience);
    // Before each chip command on SIM1: a changed socket file is taken over.
    void takeSocketChanges(Session& s);
    void removeStrayImages();
    bool keepChip(Session& s);
    void letGo(Session& s);
    std::filesystem::path imageOf(const std::string& chipName) const;

    std::filesystem::path programDir_;
    platform::SystemTicks monotonic_;
    sim::SimClock simClock_;
    RoutedTicks ticks_{monotonic_};
    platform::SystemSerialOpener systemOpener_;
    sim::SimBoard board_;
    sim::SimSerialOpener simOpener_;
    sim::SimFtdiOpener simFtdi_;
    platform::FtdiSerialOpener simFtdiOpener_;
    std::unique_ptr<platform::FtdiOpener> ftdi_;
    std::unique_ptr<platform::FtdiSerialOpener> ftdiOpener_;
    RoutedOpener opener_;
    std::unique_ptr<platform::ParallelPort> ppdev_;
    std::unique_ptr<sim::VirtualPic> chip_;
    std::unique_ptr<sim::VirtualPic18> chip18_;
    FileLock simLock_;
    std::string wanted_;           // the chip SIM1's socket should hold
    std::string chipName_;         // the chip it holds (or an empty socket for it)
    bool filled_ = false;          // the socket holds its chip, loaded under the lock
    std::string savedText_;        // the image as last loaded or saved
    bool socketMode_ = false;      // the socket file chose the chip
    std::uint32_t insertion_ = 0;  // the socket file's insertion the chip stands for
    std::string fault_;
    int saveFailures_ = 0;
    std::string lastSaveFailure_;
};

// A whole program instance on one window: host, session and main window logic.
struct Program {
    Program(const std::filesystem::path& programDir, ui::Window& window);

    Host host;
    ui::WindowReporter reporter;
    Session session;
    ui::MainWindow main;
};

}  // namespace ferrolux::app
