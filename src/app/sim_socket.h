#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

#include "sim/sim_board.h"

namespace ferrolux::app {

// What the simulated board's socket holds, as the "sim" command sets it in
// programDir/sim/SIM1.socket:
//
//   chip PIC16F628A      (or "chip none": an empty socket)
//   insertion 3          (counts the chips put in; a new number is a new chip)
//   fault none           (a BoardFault by its name)
//
// Without that file the socket holds a chip of the selected type, kept in
// its image programDir/sim/CHIPNAME.hex. With it, the socket holds the chip
// it names whatever chip is selected. Whoever holds SIM1 (its lock) takes the
// changes over: a chip taken out is saved as programDir/sim/removed/
// NNN-CHIPNAME.hex, numbered in removal order, and its image goes; a chip put
// in starts blank. The insertion whose chip the image holds is recorded in
// programDir/sim/SIM1.held, written only under the lock.
struct SocketState {
    std::string chip;  // empty: the socket is empty
    std::uint32_t insertion = 1;
    sim::BoardFault fault = sim::BoardFault::none;
    bool operator==(const SocketState&) const = default;
};

// The fault names of the socket file and the "sim fault" command, and back;
// nullopt for an unknown name.
std::string_view faultName(sim::BoardFault fault);
std::optional<sim::BoardFault> faultNamed(std::string_view name);
// "data-high, data-low, ..." for messages.
std::string faultNames();

std::filesystem::path socketFile(const std::filesystem::path& programDir);
std::filesystem::path removedDir(const std::filesystem::path& programDir);

// The socket file's state; nullopt when there is none (or, with the reason
// in `why`, when it cannot be read or is damaged).
std::optional<SocketState> readSocket(const std::filesystem::path& programDir, std::string& why);
// Replaces the socket file as a whole; false with the reason in `why`.
bool writeSocket(const std::filesystem::path& programDir, const SocketState& state,
                 std::string& why);

// The insertion and chip the images stand for; `fallback` (insertion 1, the
// chip a run without socket file had) when nothing was recorded yet.
SocketState readHeld(const std::filesystem::path& programDir, const SocketState& fallback);
bool writeHeld(const std::filesystem::path& programDir, const SocketState& held, std::string& why);

// Takes `chipName` out of the socket, under SIM1's lock: its image (a blank
// chip when there is none yet) moves to the next removed/NNN-CHIPNAME.hex,
// which is returned; empty with the reason in `why` on failure.
std::filesystem::path takeOut(const std::filesystem::path& programDir, const std::string& chipName,
                              std::string& why);

// Under SIM1's lock, with no chip of it loaded: makes the images match
// `socket`. When its insertion is not the held one, the held chip
// (`fallbackChip` before any record) is taken out, its file in `kept`, and the
// chip put in starts blank. False with the reason in `why`.
bool takeOverSocket(const std::filesystem::path& programDir, const SocketState& socket,
                    const std::string& fallbackChip, std::filesystem::path& kept, std::string& why);

// A chip of this name has a simulated model.
bool hasModel(const std::string& chipName);

}  // namespace ferrolux::app
