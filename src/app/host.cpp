#include "app/host.h"

#include <thread>

#ifdef FERROLUX_HAVE_LIBFTDI
#include "platform/linux/ftdi_libftdi.h"
#endif
#include "platform/files.h"
#include "platform/system_info.h"
#include "sim/chip_image.h"
#include "sim/chip_profile.h"
#include "sim/pic18_profile.h"
#include "ui/control_ids.h"

namespace ferrolux::app {

namespace {

constexpr std::chrono::milliseconds kLockPoll{20};

// A chip of `profile` as its image holds it, and in `savedText` the image's
// text ("" when there is no file yet). nullptr, with the reason in `fault`,
// when the image cannot be loaded: a damaged file is never taken for blank.
template <class Chip, class Profile>
std::unique_ptr<Chip> loadSimChip(const Profile& profile, const std::filesystem::path& image,
                                  sim::SimClock& clock, std::string& savedText,
                                  std::string& fault) {
    auto chip = std::make_unique<Chip>(profile);
    chip->attachClock(&clock);
    std::string why;
    if (!sim::loadChipImage(*chip, image, &why)) {
        fault = "The simulated chip cannot be loaded:\n" + why +
                "\nThe file is left as it is; repair or remove it.";
        return nullptr;
    }
    std::error_code ec;
    savedText = std::filesystem::exists(image, ec)
                    ? sim::chipImageText(chip->profile(), chip->memory())
                    : std::string();
    return chip;
}

}  // namespace

bool FileLock::acquire(const std::filesystem::path& file, std::chrono::milliseconds patience,
                       std::string& why) {
    if (held()) return true;
    std::error_code ec;
    std::filesystem::create_directories(file.parent_path(), ec);
    const auto deadline = std::chrono::steady_clock::now() + patience;
    for (;;) {
        switch (lock_.tryLock(file, why)) {
            case platform::ExclusiveLock::Result::locked:
                return true;
            case platform::ExclusiveLock::Result::failed:
                return false;
            case platform::ExclusiveLock::Result::taken:
                break;
        }
        if (std::chrono::steady_clock::now() >= deadline) {
            lock_.release();
            why = std::string(ui::kSimulatorPort) + " is in use by another run (" +
                  platform::utf8Of(file) + ")";
            return false;
        }
        std::this_thread::sleep_for(kLockPoll);
    }
}

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

std::uint64_t RoutedTicks::readTimes(std::uint64_t count) {
    if (count > 1) (void)source_->readTimes(count - 1);
    return count > 0 ? nowNs() : 0;
}

void RoutedTicks::idleUntil(std::uint64_t deadlineNs) {
    if (!started_ || deadlineNs < base_) return;
    source_->idleUntil(deadlineNs - base_ + sourceStart_);
}

void RoutedTicks::sleepUntil(std::uint64_t deadlineNs) {
    if (!started_ || deadlineNs < base_) return;
    source_->sleepUntil(deadlineNs - base_ + sourceStart_);
}

std::unique_ptr<platform::SerialPort> RoutedOpener::open(const std::string& portName) {
    const bool simulatedFtdi = simulatorFtdi_ != nullptr && portName == kSimulatorFtdiPort;
    if (simulatedFtdi) {
        lastError_ = simulatorReady_();
        if (!lastError_.empty()) return nullptr;
        auto port = simulatorFtdi_->open(portName);
        if (!port) lastError_ = simulatorFtdi_->lastError();
        return port;
    }
    if (platform::isFtdiPortName(portName)) {
        if (ftdi_ == nullptr) {
            lastError_ =
                "FTDI adapter " + portName + ": this build has no FTDI adapter support (libftdi1)";
            return nullptr;
        }
        auto port = ftdi_->open(portName);
        lastError_ = port ? std::string() : ftdi_->lastError();
        return port;
    }
    if (portName != ui::kSimulatorPort) {
        auto port = system_.open(portName);
        lastError_ = port ? std::string() : system_.lastError();
        return port;
    }
    lastError_ = simulatorReady_();
    return lastError_.empty() ? simulator_.open(portName) : nullptr;
}

Host::Host(std::filesystem::path programDir)
    : programDir_(std::move(programDir)),
      systemOpener_(programDir_),
      board_(simClock_, sim::BoardConfig{sim::BoardKind::serial, false, 4}),
      simOpener_(board_, ui::kSimulatorPort),
      simFtdi_(board_, simClock_),
      simFtdiOpener_(simFtdi_),
#ifdef FERROLUX_HAVE_LIBFTDI
      ftdi_(std::make_unique<platform::LibFtdiOpener>()),
      ftdiOpener_(std::make_unique<platform::FtdiSerialOpener>(*ftdi_)),
#endif
      opener_(
          systemOpener_, simOpener_,
          [this] { return fillSocket(kSimPatience) ? std::string() : fault_; }, ftdiOpener_.get(),
          &simFtdiOpener_) {
    ppdev_ = platform::openParallelAccess();
}

Host::~Host() {
    board_.removeChip();
}

void Host::attach(Session& s) {
    s.programDir = programDir_;
    s.beforeLinkCheck = [this](Session& session) { takeSocketChanges(session); };
    s.serialOpener = &opener_;
    s.port.directIo = false;
    s.port.driverLibrary = ppdev_.get();
    s.port.driverUsable = ppdev_ != nullptr;
}

std::filesystem::path Host::imageOf(const std::string& chipName) const {
    return sim::chipImagePath(programDir_, chipName);
}

void Host::follow(Session& s) {
    const bool simulated = s.link.serial && (s.link.portName == ui::kSimulatorPort ||
                                             s.link.portName == kSimulatorFtdiPort);
    if (!simulated) {
        letGo(s);
        ticks_.route(monotonic_);
        return;
    }
    ticks_.route(simClock_);
    if (filled_ && socketMode_) {
        wanted_ = s.device.name;
        takeSocketChanges(s);
        return;
    }
    if (filled_ && chipName_ == s.device.name) return;
    if (filled_) keepChip(s);
    filled_ = false;
    wanted_ = s.device.name;
    // Without waiting: opening the port waits, and says why it cannot open.
    if (!fillSocket(std::chrono::milliseconds(0))) s.port.comHandle.reset();
}

// Takes SIM1 and puts the wanted chip, as its image holds it, into the socket.
bool Host::fillSocket(std::chrono::milliseconds patience) {
    if (!simLock_.held()) {
        if (!simLock_.acquire(programDir_ / "sim" / "SIM1.lock", patience, fault_)) return false;
        removeStrayImages();
    }
    if (filled_) return true;
    fault_.clear();
    std::string why;
    const std::optional<SocketState> socket = readSocket(programDir_, why);
    if (!why.empty()) {
        fault_ = "The simulated board cannot be used:\n" + why;
        return false;
    }
    board_.removeChip();
    chip_.reset();
    chip18_.reset();
    socketMode_ = socket.has_value();
    if (socket) {
        // Before any record the images are those of a run without socket file.
        const std::string before = chipName_.empty() ? wanted_ : chipName_;
        std::filesystem::path kept;
        if (!takeOverSocket(programDir_, *socket, before, kept, why)) {
            fault_ = "The simulated socket cannot be changed:\n" + why;
            return false;
        }
        chipName_ = socket->chip;
        insertion_ = socket->insertion;
        board_.setFault(socket->fault);
    } else {
        chipName_ = wanted_;
        board_.setFault(sim::BoardFault::none);
    }
    // Else no model of this chip: an empty socket.
    if (auto profile = sim::findProfile(chipName_)) {
        chip_ = loadSimChip<sim::VirtualPic>(*profile, imageOf(chipName_), simClock_, savedText_,
                                             fault_);
        if (!chip_) return false;
        board_.insertChip(chip_.get());
    } else if (auto profile18 = sim::findPic18Profile(chipName_)) {
        chip18_ = loadSimChip<sim::VirtualPic18>(*profile18, imageOf(chipName_), simClock_,
                                                 savedText_, fault_);
        if (!chip18_) return false;
        board_.insertChip(chip18_.get());
    }
    filled_ = true;
    return true;
}

void Host::takeSocketChanges(Session& s) {
    if (!filled_ || !simLock_.held()) return;
    std::string why;
    const std::optional<SocketState> socket = readSocket(programDir_, why);
    if (!why.empty()) return;  // a damaged file stops the next run that takes SIM1
    if (socket && socketMode_ && socket->insertion == insertion_) {
        if (board_.fault() != socket->fault) board_.setFault(socket->fault);
        return;
    }
    if (!socket && !socketMode_) return;
    // The chip that goes out is saved first.
    keepChip(s);
    filled_ = false;
    if (!fillSocket(std::chrono::milliseconds(0))) s.port.comHandle.reset();
}

// A run killed while it saved a chip leaves the temporary file of that save
// (".NAME.hex." and a unique suffix, beside the image). Whoever holds SIM1
// next removes them: no other run is saving then.
void Host::removeStrayImages() {
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator(programDir_ / "sim", ec)) {
        const std::string name = platform::utf8Of(entry.path().filename());
        const std::size_t hex = name.rfind(".hex.");
        const std::size_t suffix = hex == std::string::npos ? 0 : name.size() - hex - 5;
        if (name.size() > 1 && name[0] == '.' && hex != std::string::npos && hex > 1 &&
            suffix >= 6 && suffix <= 12 && entry.is_regular_file(ec)) {
            std::filesystem::remove(entry.path(), ec);
        }
    }
}

// Saves the chip in the socket if it changed; a failure is shown as an error.
bool Host::keepChip(Session& s) {
    if (!filled_ || (!chip_ && !chip18_) || !simLock_.held()) return true;
    const std::string text = chip_ ? sim::chipImageText(chip_->profile(), chip_->memory())
                                   : sim::chipImageText(chip18_->profile(), chip18_->memory());
    if (text == savedText_) return true;
    const std::filesystem::path image = imageOf(chipName_);
    std::string why;
    if (chip_ ? sim::saveChipImage(*chip_, image, &why)
              : sim::saveChipImage(*chip18_, image, &why)) {
        savedText_ = text;
        return true;
    }
    ++saveFailures_;
    lastSaveFailure_ = "Cannot save the simulated chip to " + platform::utf8Of(image) + ":\n" + why;
    s.message = lastSaveFailure_;
    s.reporter->status(" ");
    s.reporter->message(s.message, "Error");
    return false;
}

// Saves the chip and lets SIM1 go; the chip is loaded afresh when SIM1 is taken again.
void Host::letGo(Session& s) {
    keepChip(s);
    filled_ = false;
    fault_.clear();
    simLock_.release();
}

std::vector<std::pair<std::string, std::string>> Host::ftdiAdapters() {
    std::vector<std::pair<std::string, std::string>> found;
    platform::FtdiOpener* lister = ftdiLister ? ftdiLister : ftdi_.get();
    if (lister == nullptr) return found;
    for (const platform::FtdiAdapterInfo& a : lister->list()) {
        if (a.serial.empty()) continue;  // reachable only as "ftdi", the first one
        found.emplace_back(
            "ftdi:" + a.serial,
            "FTDI " + a.serial + (a.description.empty() ? "" : " (" + a.description + ")"));
    }
    return found;
}

std::vector<std::pair<std::string, std::string>> Host::serialDevices() {
    std::vector<std::pair<std::string, std::string>> found;
    for (const platform::PortEntry& p : platform::listPorts(programDir_, deviceRoot)) {
        if (ctl::portItemOf(p.name) != 0 || p.note.find("serial") == std::string::npos) continue;
        const std::string byId = "/dev/serial/by-id/";
        std::string text = p.name;
        if (p.name.rfind(byId, 0) == 0) text = p.name.substr(byId.size()) + " (" + p.device + ")";
        found.emplace_back(p.name, text);
    }
    return found;
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
bool Host::commandEnded(Session& s) {
    return keepChip(s);
}
void Host::closed(Session& s) {
    letGo(s);
}

Program::Program(const std::filesystem::path& programDir, ui::Window& window)
    : host(programDir),
      reporter(window),
      session(host.ticks(), &reporter),
      main(session, window, &host) {
    host.attach(session);
}

}  // namespace ferrolux::app
