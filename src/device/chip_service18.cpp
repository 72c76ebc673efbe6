// The chip service's steps for PIC18 chips: the same commands, on the
// operations of the 16-bit core.
#include <array>

#include "device/chip_service.h"
#include "device/passes.h"
#include "device/pic18/parts.h"
#include "device/pic18/pic18.h"
#include "files/hex_image.h"
#include "session/messages.h"
#include "session/session.h"

namespace ferrolux {

namespace {

constexpr const char* kErasing = "erasing.....     ";
constexpr const char* kWriting = "writing.....     ";

Result passResult(int r) {
    if (r == kPassMismatch) return {Outcome::failed, Failure::mismatch};
    if (r != 0) return {Outcome::failed, Failure::failed};
    return {};
}

// The configuration bytes a write puts on the chip: those of the file, with
// the values the session holds for them (the file's, or what the user set).
void useSessionConfig(const Session& s, ChipImage::Bytes18& bytes) {
    for (std::size_t k = 0; k < bytes.config.size(); ++k) {
        if (bytes.config[k]) {
            bytes.config[k] =
                static_cast<std::uint8_t>(s.chip.configBytes[k] & s.device.configBytes[k].mask);
        }
    }
}

// Names the configuration bytes the chip has but the file does not: they
// keep their erased values.
std::string missingConfigNote(const Session& s, const ChipImage& image) {
    static const char* const kNames[kPic18ConfigBytes] = {"1L", "1H", "2L", "2H", "3L", "3H", "4L",
                                                          "4H", "5L", "5H", "6L", "6H", "7L", "7H"};
    std::string missing;
    bool any = false;
    for (std::size_t k = 0; k < image.pic18.config.size(); ++k) {
        if (s.device.configBytes[k].mask == 0) continue;
        if (image.pic18.config[k]) {
            any = true;
        } else {
            missing += std::string(missing.empty() ? "" : ", ") + "CONFIG" + kNames[k];
        }
    }
    if (!any || missing.empty()) return {};
    return "The file leaves out " + missing + ": they keep their erased values.";
}

}  // namespace

Result ChipService::write18(const WriteOptions& o, const ChipImage& image,
                            const std::vector<int>& kept) {
    if (o.eraseFirst) {
        s_.reporter->status(kErasing);
        if (eraseChip18() != 0) return {Outcome::failed, Failure::failed};
    }
    s_.reporter->status(kWriting);
    ChipImage chosen = image;
    useSessionConfig(s_, chosen.pic18);
    // Kept EEPROM bytes go back with the same write, in place of the file's.
    if (!kept.empty()) chosen.pic18.data.clear();
    for (std::size_t k = 0; k < kept.size(); ++k)
        if (kept[k] != 0xFF)
            chosen.pic18.data[static_cast<int>(k)] = static_cast<std::uint8_t>(kept[k]);
    const bool data = o.data || !kept.empty();
    const Result r = passResult(pic18Write(s_, chosen, {o.code, o.code, data, o.config}));
    if (r.outcome == Outcome::ok && o.config) {
        const std::string note = missingConfigNote(s_, image);
        if (!note.empty()) s_.reporter->message(note, "Note");
    }
    return r;
}

Result ChipService::verify18(const VerifyOptions& o, const ChipImage& image) {
    return passResult(pic18Verify(s_, image, {o.code, o.code, o.data, true}));
}

// The bulk erase, confirmed: every configuration byte reads its erased
// value afterwards, so nothing protects the chip any more.
int ChipService::eraseChip18() {
    if (pic18Erase(s_) != 0) return 1;
    std::array<int, kPic18ConfigBytes> config{};
    if (pic18ReadConfig(s_, config) != 0) return 1;
    for (std::size_t k = 0; k < config.size(); ++k) {
        const ConfigByte& byte = s_.device.configBytes[k];
        if (byte.mask == 0 || config[k] == byte.blank) continue;
        s_.message =
            formatText("Erase failed: CONFIG byte %06X reads %02X, not %02X.",
                       static_cast<unsigned>(kPic18ConfigBase + k),
                       static_cast<unsigned>(config[k]), static_cast<unsigned>(byte.blank));
        return 1;
    }
    return 0;
}

// The EEPROM erased by writing FF wherever it holds something else.
int ChipService::eraseData18() {
    std::vector<int> bytes;
    if (pic18ReadData(s_, bytes) != 0) return 1;
    ChipImage blank;
    for (std::size_t k = 0; k < bytes.size(); ++k)
        if (bytes[k] != 0xFF) blank.pic18.data[static_cast<int>(k)] = 0xFF;
    if (blank.pic18.data.empty()) return 0;
    return pic18Write(s_, blank, {false, false, true, false}) == 0 ? 0 : 1;
}

int ChipService::writeConfig18() {
    ChipImage image;
    for (std::size_t k = 0; k < image.pic18.config.size(); ++k) {
        const int mask = s_.device.configBytes[k].mask;
        if (mask != 0)
            image.pic18.config[k] = static_cast<std::uint8_t>(s_.chip.configBytes[k] & mask);
    }
    return pic18Write(s_, image, {false, false, false, true}) == 0 ? 0 : 1;
}

bool ChipService::writeDataByte18(int value) {
    const std::size_t k = dataIndex_++;
    if (k >= dataShadow_.size()) return false;
    if (dataShadow_[k] == value) return true;
    ChipImage image;
    image.pic18.data[static_cast<int>(k)] = static_cast<std::uint8_t>(value);
    if (pic18Write(s_, image, {false, false, true, false}) != 0) return false;
    dataShadow_[k] = value;
    return true;
}

}  // namespace ferrolux
