#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

#include "sim/chip_profile.h"
#include "sim/pic18_profile.h"
#include "sim/programming_core.h"

namespace ferrolux::sim {

class VirtualPic;
class VirtualPic18;

// A virtual chip kept between runs, as an INHX8M file in the layout a
// readback produces: code, ID words, configuration word, then data bytes at
// 0x4200 (none on family 8). Family 8 also keeps its backup calibration word
// at its own address. CR LF line ends, upper-case hex.

// programDir/sim/CHIPNAME.hex
std::filesystem::path chipImagePath(const std::filesystem::path& programDir,
                                    const std::string& chipName);

// Writes the chip's cells through a fresh temporary file renamed over `file`,
// so a failed save leaves the old image as it was. False on any write error,
// with the reason, naming the file, in `why` if given.
bool saveChipImage(VirtualPic& chip, const std::filesystem::path& file, std::string* why = nullptr);
bool saveChipImage(VirtualPic18& chip, const std::filesystem::path& file,
                   std::string* why = nullptr);
// Restores the chip's cells. A missing file gives the factory-fresh chip
// (true). An unreadable or damaged one returns false with the reason in `why`
// and leaves the chip as it was: it is never taken for a blank chip.
bool loadChipImage(VirtualPic& chip, const std::filesystem::path& file, std::string* why = nullptr);
bool loadChipImage(VirtualPic18& chip, const std::filesystem::path& file,
                   std::string* why = nullptr);

// The file's text for these cells, and back.
std::string chipImageText(const ChipProfile& profile, const ChipMemory& memory);
std::optional<ChipMemory> parseChipImage(const ChipProfile& profile, std::string_view text);
std::string chipImageText(const Pic18Profile& profile, const Pic18Memory& memory);
// Bits outside a configuration byte's mask, or bytes outside the chip's
// places, make the file damaged.
std::optional<Pic18Memory> parseChipImage(const Pic18Profile& profile, std::string_view text);

}  // namespace ferrolux::sim
