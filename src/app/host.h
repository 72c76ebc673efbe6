#pragma once

#include <filesystem>
#include <memory>
#include <string>

#include "platform/linux/parallel_port_ppdev.h"
#include "platform/linux/serial_port_linux.h"
#include "platform/linux/tick_source_linux.h"
#include "session/session.h"
#include "sim/sim_board.h"
#include "sim/sim_clock.h"
#include "sim/virtual_pic.h"
#include "ui/main_window.h"

namespace ferrolux::app {

// A tick source that reads one of several clocks and carries on from the
// last value when it switches, so time never goes backwards.
class RoutedTicks final : public platform::TickSource {
  public:
    explicit RoutedTicks(platform::TickSource& first) : source_(&first) {}
    void route(platform::TickSource& source);
    platform::TickSource& source() const { return *source_; }

    std::uint64_t nowNs() override;
    void idleUntil(std::uint64_t deadlineNs) override;

  private:
    platform::TickSource* source_;
    std::uint64_t base_ = 0;         // our time when the source was taken
    std::uint64_t sourceStart_ = 0;  // the source's time then
    bool started_ = false;
    std::uint64_t last_ = 0;
};

// Opens the simulator's port by its name and every other name on the system.
class RoutedOpener final : public platform::SerialOpener {
  public:
    RoutedOpener(platform::SerialOpener& system, platform::SerialOpener& simulator)
        : system_(system), simulator_(simulator) {}
    std::unique_ptr<platform::SerialPort> open(const std::string& portName) override;
    std::string lastError() const override { return lastError_; }

  private:
    platform::SerialOpener& system_;
    platform::SerialOpener& simulator_;
    std::string lastError_;
};

// What one session runs on: the system's serial ports, ppdev parallel ports
// and monotonic clock, and the built-in simulated serial board "SIM1" whose
// socket holds a virtual chip of the selected type. The virtual chip's cells
// are kept in programDir/sim/CHIPNAME.hex between runs. While SIM1 is the
// port the session's clock is the simulated one, so waits cost no real time.
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
    void portChosen(Session& s) override;
    void chipChosen(Session& s) override;
    void commandEnded(Session& s) override;
    void closed(Session& s) override;

    sim::SimBoard& simBoard() { return board_; }
    sim::SimClock& simClock() { return simClock_; }
    // The chip in the simulator's socket; nullptr when the selected chip has no model.
    sim::VirtualPic* simChip() { return chip_.get(); }
    // Writes the virtual chip's image; false when that failed.
    bool saveSimChip();

  private:
    void follow(Session& s);

    std::filesystem::path programDir_;
    platform::MonotonicTicks monotonic_;
    sim::SimClock simClock_;
    RoutedTicks ticks_{monotonic_};
    platform::LinuxSerialOpener systemOpener_;
    sim::SimBoard board_;
    sim::SimSerialOpener simOpener_;
    RoutedOpener opener_;
    std::unique_ptr<platform::PpdevParallelPort> ppdev_;
    std::unique_ptr<sim::VirtualPic> chip_;
    std::string chipName_;
};

// A whole program instance on one window: host, session and main window logic.
struct Program {
    Program(const std::filesystem::path& programDir, ui::Window& window);

    Host host;
    Session session;
    ui::MainWindow main;
};

}  // namespace ferrolux::app
