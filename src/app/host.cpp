#include "app/host.h"

#include "sim/chip_image.h"
#include "sim/chip_profile.h"

namespace ferrolux::app {

void RoutedTicks::route(platform::TickSource& source) {
    if (&source == source_) return;
    source_ = &source;
    started_ = false;
}

std::uint64_t RoutedTicks::nowNs() {
    const std::uint64_t now = source_->nowNs();
    if (!started_) {
        base_ = last_;
        sourceStart_ = now;
        started_ = true;
    }
    last_ = base_ + (now - sourceStart_);
    return last_;
}

void RoutedTicks::idleUntil(std::uint64_t deadlineNs) {
    if (!started_ || deadlineNs < base_) return;
    source_->idleUntil(deadlineNs - base_ + sourceStart_);
}

std::unique_ptr<platform::SerialPort> RoutedOpener::open(const std::string& portName) {
    const bool simulated = portName == ui::kSimulatorPort;
    auto port = simulated ? simulator_.open(portName) : system_.open(portName);
    lastError_ = port || simulated ? std::string() : system_.lastError();
    return port;
}

Host::Host(std::filesystem::path programDir)
    : programDir_(std::move(programDir)),
      systemOpener_(programDir_),
      board_(simClock_, sim::BoardConfig{sim::BoardKind::serial, false, 4}),
      simOpener_(board_, ui::kSimulatorPort),
      opener_(systemOpener_, simOpener_) {
    if (platform::PpdevParallelPort::available()) {
        ppdev_ = std::make_unique<platform::PpdevParallelPort>();
    }
}

Host::~Host() {
    board_.removeChip();
}

void Host::attach(Session& s) {
    s.programDir = programDir_;
    s.serialOpener = &opener_;
    s.port.directIo = false;
    s.port.driverLibrary = ppdev_.get();
    s.port.driverUsable = ppdev_ != nullptr;
}

void Host::follow(Session& s) {
    const bool simulated = s.link.serial && s.link.portName == ui::kSimulatorPort;
    if (!simulated) {
        saveSimChip();
        ticks_.route(monotonic_);
        return;
    }
    ticks_.route(simClock_);
    if (chip_ && chipName_ == s.device.name) return;
    saveSimChip();
    board_.removeChip();
    chip_.reset();
    chipName_ = s.device.name;
    auto profile = sim::findProfile(chipName_);
    if (!profile) return;  // no model of this chip: an empty socket
    chip_ = std::make_unique<sim::VirtualPic>(*profile);
    chip_->attachClock(&simClock_);
    (void)sim::loadChipImage(*chip_, sim::chipImagePath(programDir_, chipName_));
    board_.insertChip(chip_.get());
}

bool Host::saveSimChip() {
    if (!chip_) return true;
    return sim::saveChipImage(*chip_, sim::chipImagePath(programDir_, chipName_));
}

void Host::started(Session& s) {
    follow(s);
}
void Host::portChosen(Session& s) {
    follow(s);
}
void Host::chipChosen(Session& s) {
    follow(s);
}
void Host::commandEnded(Session& s) {
    (void)s;
    saveSimChip();
}
void Host::closed(Session& s) {
    (void)s;
    saveSimChip();
}

Program::Program(const std::filesystem::path& programDir, ui::Window& window)
    : host(programDir), session(host.ticks(), &window), main(session, &host) {
    host.attach(session);
}

}  // namespace ferrolux::app
