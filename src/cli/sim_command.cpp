#include "cli/sim_command.h"

#include <algorithm>
#include <cctype>
#include <chrono>
#include <ostream>

#include "app/host.h"
#include "app/sim_socket.h"
#include "cli/cli.h"
#include "files/device_list.h"
#include "files/state_file.h"
#include "platform/files.h"
#include "platform/system.h"

namespace ferrolux::cli {

namespace {

// Collects the chip list's names; shows nothing else.
class ChipListReader final : public Reporter {
  public:
    std::vector<std::string> names;
    void status(const std::string&) override {}
    std::string statusShown() override { return {}; }
    void message(const std::string&, const std::string&) override {}
    bool ask(const std::string&, const std::string&, QuestionKind) override { return false; }
    void closeProgram(int) override {}
    void chipNames(const std::vector<std::string>& list) override { names = list; }
    int chosenChip(std::string&) override { return -1; }
    void configWord(int) override {}
    void deviceId(const std::string&) override {}
    void idValues(const std::array<int, 4>&) override {}
    void fileConfigWord(bool) override {}
};

std::string upper(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    return text;
}

struct ProgramFiles {
    std::string storedChip;          // the chip kestrum.cfg selects
    std::vector<std::string> chips;  // the device list's chips
};

ProgramFiles readProgramFiles(const std::filesystem::path& dir) {
    platform::SystemTicks ticks;
    ChipListReader reader;
    Session s(ticks, &reader);
    s.programDir = dir;
    ProgramFiles files;
    files.storedChip = readStoredChipName(s);
    if (checkDeviceList(s) == 0) fillChipList(s);
    files.chips = reader.names;
    return files;
}

// The device list's spelling of `name` ("16f84a" finds PIC16F84A); "" when unlisted.
std::string listedChip(const ProgramFiles& files, const std::string& name) {
    const std::string wanted = upper(name);
    for (const std::string& chip : files.chips)
        if (upper(chip) == wanted || upper(chip) == "PIC" + wanted) return chip;
    return {};
}

void show(const app::SocketState& state, bool fromFile, std::ostream& out) {
    out << "socket: " << (state.chip.empty() ? std::string("empty") : state.chip);
    if (fromFile) {
        out << " (insertion " << state.insertion << ")\n";
    } else {
        out << " (the selected chip: without sim/SIM1.socket the socket follows the selection)\n";
    }
    out << "fault: " << app::faultName(state.fault) << '\n';
}

int usageError(std::ostream& err, const std::string& text) {
    err << "ferrolux-cli: " << text << "\n(ferrolux-cli sim --help explains the command)\n";
    return kExitUsage;
}

}  // namespace

int simCommand(const std::filesystem::path& dir, const std::string& part,
               const std::vector<std::string>& operands, std::ostream& out, std::ostream& err) {
    const std::string verb = operands.empty() ? std::string() : operands[0];
    if (verb.empty()       ? operands.size() > 0
        : verb == "remove" ? operands.size() != 1
        : verb == "insert" ? operands.size() > 2
        : verb == "fault"  ? operands.size() != 2
                           : true) {
        return usageError(err, "sim takes: remove, insert [CHIP], fault NAME|none");
    }
    const ProgramFiles files = readProgramFiles(dir);
    std::string why;
    // Two sim commands at once would count the same insertion twice.
    app::FileLock socketLock;
    if (!verb.empty() &&
        !socketLock.acquire(dir / "sim" / "SIM1.socket.lock", app::Host::kSimPatience, why)) {
        err << "Error: another sim command is changing the socket (sim/SIM1.socket.lock)\n";
        return kExitFailed;
    }
    const std::optional<app::SocketState> found = app::readSocket(dir, why);
    if (!why.empty()) {
        err << "Error: " << why << '\n';
        return kExitFailed;
    }
    // Without a socket file: the selected chip, as its image holds it.
    const app::SocketState baseline{files.storedChip, 1, sim::BoardFault::none};
    if (verb.empty()) {
        show(found.value_or(baseline), found.has_value(), out);
        return kExitOk;
    }

    app::SocketState state = found.value_or(baseline);
    if (verb == "remove") {
        if (state.chip.empty()) {
            err << "The socket is already empty.\n";
            return kExitOk;
        }
        state.chip.clear();
        ++state.insertion;
    } else if (verb == "insert") {
        const std::string asked = operands.size() > 1 ? operands[1]
                                  : !part.empty()     ? part
                                                      : files.storedChip;
        const std::string chip = listedChip(files, asked);
        if (chip.empty()) return usageError(err, "unknown chip '" + asked + "'");
        if (!app::hasModel(chip)) {
            err << "Error: " << chip << " has no simulated model\n";
            return kExitFailed;
        }
        state.chip = chip;
        ++state.insertion;
    } else {
        const auto fault = app::faultNamed(operands[1]);
        if (!fault) {
            return usageError(err,
                              "unknown fault '" + operands[1] + "' (" + app::faultNames() + ")");
        }
        state.fault = *fault;
    }
    if (!app::writeSocket(dir, state, why)) {
        err << "Error: " << why << '\n';
        return kExitFailed;
    }

    // Taken over here when no run holds SIM1; else by that run.
    app::FileLock lock;
    if (!lock.acquire(dir / "sim" / "SIM1.lock", std::chrono::milliseconds(0), why)) {
        show(state, true, out);
        err << "SIM1 is in use: the run that holds it takes the change at its next chip command.\n";
        return kExitOk;
    }
    std::filesystem::path kept;
    if (!app::takeOverSocket(dir, state, baseline.chip, kept, why)) {
        err << "Error: " << why << '\n';
        return kExitFailed;
    }
    if (!kept.empty()) err << "taken out: " << platform::utf8Of(kept) << '\n';
    show(state, true, out);
    return kExitOk;
}

}  // namespace ferrolux::cli
