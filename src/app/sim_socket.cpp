#include "app/sim_socket.h"

#include <array>
#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <utility>

#include "platform/files.h"
#include "sim/chip_image.h"
#include "sim/chip_profile.h"
#include "sim/pic18_profile.h"
#include "sim/virtual_pic.h"
#include "sim/virtual_pic18.h"

namespace ferrolux::app {

namespace {

constexpr std::array<std::pair<sim::BoardFault, std::string_view>, 7> kFaults{{
    {sim::BoardFault::none, "none"},
    {sim::BoardFault::dataHigh, "data-high"},
    {sim::BoardFault::dataLow, "data-low"},
    {sim::BoardFault::noPower, "no-power"},
    {sim::BoardFault::clockStuck, "clock-stuck"},
    {sim::BoardFault::vppStuck, "vpp-stuck"},
    {sim::BoardFault::noChip, "no-chip"},
}};

// The longest socket or held file read; anything longer is damaged.
constexpr std::size_t kStateFileMax = 4096;

bool readSmallFile(const std::filesystem::path& file, std::string& text) {
    std::FILE* f = platform::openRegularFile(file, "rb");
    if (f == nullptr) return false;
    char buffer[kStateFileMax + 1];
    const std::size_t n = std::fread(buffer, 1, sizeof buffer, f);
    std::fclose(f);
    if (n > kStateFileMax) return false;
    text.assign(buffer, n);
    return true;
}

// "key value" lines into the state; false on a line it does not know.
bool parseState(const std::string& text, SocketState& state) {
    std::istringstream lines(text);
    std::string line;
    bool sawChip = false;
    bool sawInsertion = false;
    while (std::getline(lines, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.empty() || line[0] == '#') continue;
        const std::size_t space = line.find(' ');
        if (space == std::string::npos) return false;
        const std::string key = line.substr(0, space);
        const std::string value = line.substr(space + 1);
        if (key == "chip") {
            state.chip = value == "none" ? std::string() : value;
            sawChip = true;
        } else if (key == "insertion") {
            char* end = nullptr;
            const unsigned long n = std::strtoul(value.c_str(), &end, 10);
            if (value.empty() || *end != '\0' || n == 0 || n > 0xFFFFFFFFul) return false;
            state.insertion = static_cast<std::uint32_t>(n);
            sawInsertion = true;
        } else if (key == "fault") {
            const auto fault = faultNamed(value);
            if (!fault) return false;
            state.fault = *fault;
        } else {
            return false;
        }
    }
    return sawChip && sawInsertion;
}

std::string stateText(const SocketState& state, bool withFault) {
    std::string text = "chip ";
    text += state.chip.empty() ? std::string("none") : state.chip;
    text += "\ninsertion ";
    text += std::to_string(state.insertion);
    text += '\n';
    if (withFault) {
        text += "fault ";
        text += faultName(state.fault);
        text += '\n';
    }
    return text;
}

bool replaceFile(const std::filesystem::path& file, const std::string& text, std::string& why) {
    std::error_code ec;
    std::filesystem::create_directories(file.parent_path(), ec);
    platform::FileReplacement replacement(file);
    if (replacement.created() && replacement.commit(text)) return true;
    why = replacement.error();
    return false;
}

// The number the next removed chip gets: one past the highest there.
unsigned nextRemovedNumber(const std::filesystem::path& dir) {
    unsigned highest = 0;
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator(dir, ec)) {
        const std::string name = platform::utf8Of(entry.path().filename());
        unsigned n = 0;
        std::size_t i = 0;
        while (i < name.size() && name[i] >= '0' && name[i] <= '9' && n < 100000000u)
            n = n * 10 + static_cast<unsigned>(name[i++] - '0');
        if (i > 0 && i < name.size() && name[i] == '-' && n > highest) highest = n;
    }
    return highest + 1;
}

// A blank chip's image at `image`, for a chip taken out before anything was written.
bool saveBlank(const std::string& chipName, const std::filesystem::path& image, std::string& why) {
    if (auto profile = sim::findProfile(chipName)) {
        sim::VirtualPic chip(*profile);
        return sim::saveChipImage(chip, image, &why);
    }
    if (auto profile18 = sim::findPic18Profile(chipName)) {
        sim::VirtualPic18 chip(*profile18);
        return sim::saveChipImage(chip, image, &why);
    }
    why = chipName + " has no simulated model";
    return false;
}

}  // namespace

std::string_view faultName(sim::BoardFault fault) {
    for (const auto& [f, name] : kFaults)
        if (f == fault) return name;
    return "none";
}

std::optional<sim::BoardFault> faultNamed(std::string_view name) {
    for (const auto& [f, n] : kFaults)
        if (n == name) return f;
    return std::nullopt;
}

std::string faultNames() {
    std::string text;
    for (const auto& [f, name] : kFaults) {
        if (!text.empty()) text += ", ";
        text += name;
    }
    return text;
}

std::filesystem::path socketFile(const std::filesystem::path& programDir) {
    return programDir / "sim" / "SIM1.socket";
}

std::filesystem::path removedDir(const std::filesystem::path& programDir) {
    return programDir / "sim" / "removed";
}

std::optional<SocketState> readSocket(const std::filesystem::path& programDir, std::string& why) {
    why.clear();
    const std::filesystem::path file = socketFile(programDir);
    std::error_code ec;
    if (!std::filesystem::exists(file, ec)) return std::nullopt;
    std::string text;
    SocketState state;
    if (!readSmallFile(file, text) || !parseState(text, state)) {
        why = "the simulated socket " + platform::utf8Of(file) +
              " is damaged; remove it, and the socket holds the selected chip again";
        return std::nullopt;
    }
    return state;
}

bool writeSocket(const std::filesystem::path& programDir, const SocketState& state,
                 std::string& why) {
    return replaceFile(socketFile(programDir), stateText(state, true), why);
}

SocketState readHeld(const std::filesystem::path& programDir, const SocketState& fallback) {
    std::string text;
    SocketState held;
    if (readSmallFile(programDir / "sim" / "SIM1.held", text) && parseState(text, held))
        return held;
    return fallback;
}

bool writeHeld(const std::filesystem::path& programDir, const SocketState& held, std::string& why) {
    return replaceFile(programDir / "sim" / "SIM1.held", stateText(held, false), why);
}

std::filesystem::path takeOut(const std::filesystem::path& programDir, const std::string& chipName,
                              std::string& why) {
    const std::filesystem::path image = sim::chipImagePath(programDir, chipName);
    std::error_code ec;
    if (!std::filesystem::exists(image, ec) && !saveBlank(chipName, image, why)) return {};
    const std::filesystem::path dir = removedDir(programDir);
    std::filesystem::create_directories(dir, ec);
    char number[16];
    std::snprintf(number, sizeof number, "%03u-", nextRemovedNumber(dir));
    std::string name = number;
    name += chipName;
    name += ".hex";
    const std::filesystem::path kept = dir / platform::pathFromUtf8(name);
    std::filesystem::rename(image, kept, ec);
    if (ec) {
        why = "cannot keep the removed chip as " + platform::utf8Of(kept) + ": " + ec.message();
        return {};
    }
    return kept;
}

bool takeOverSocket(const std::filesystem::path& programDir, const SocketState& socket,
                    const std::string& fallbackChip, std::filesystem::path& kept,
                    std::string& why) {
    kept.clear();
    const SocketState held = readHeld(programDir, SocketState{fallbackChip, 1, {}});
    if (held.insertion == socket.insertion) return true;
    if (!held.chip.empty() && hasModel(held.chip)) {
        kept = takeOut(programDir, held.chip, why);
        if (kept.empty()) return false;
    }
    std::error_code ec;
    if (!socket.chip.empty())
        std::filesystem::remove(sim::chipImagePath(programDir, socket.chip), ec);
    return writeHeld(programDir, socket, why);
}

bool hasModel(const std::string& chipName) {
    return sim::findProfile(chipName).has_value() || sim::findPic18Profile(chipName).has_value();
}

}  // namespace ferrolux::app
