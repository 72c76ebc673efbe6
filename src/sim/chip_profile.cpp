#include "sim/chip_profile.h"

#include <cctype>
#include <utility>

namespace ferrolux::sim {

namespace {

constexpr std::uint16_t kNoDeviceId = 0;
constexpr std::uint16_t kRetlwCalibration = 0x3480;  // RETLW 0x80
constexpr std::uint16_t kFactoryBandgap = 0b10;
// EPROM program pulses are 95 to 105 us; a shorter one does not take.
constexpr std::uint64_t kEpromPulseNs = 95'000;

ChipProfile base(std::string name, int family, int codeWords, int dataBytes,
                 std::uint16_t deviceId) {
    ChipProfile p;
    p.name = std::move(name);
    p.family = family;
    p.codeWords = codeWords;
    p.dataBytes = dataBytes;
    p.hasDeviceId = deviceId != kNoDeviceId;
    p.deviceId = deviceId;
    return p;
}

ChipProfile family1(std::string name, int codeWords, std::uint16_t deviceId) {
    ChipProfile p = base(std::move(name), 1, codeWords, 64, deviceId);
    // Code protection also shuts the programmer out of the data memory.
    p.codeProtectBits = 0x3FF0;
    p.dataProtectBits = 0x3FF0;
    return p;
}

ChipProfile pic16c84() {
    ChipProfile p = base("PIC16C84", 1, 1024, 64, kNoDeviceId);
    p.configImplemented = 0x001F;
    p.codeProtectBits = 0x0010;
    p.dataProtectBits = 0x0010;
    return p;
}

ChipProfile pic16f87x(std::string name, int codeWords, int dataBytes, std::uint16_t deviceId) {
    ChipProfile p = base(std::move(name), 2, codeWords, dataBytes, deviceId);
    p.configImplemented = 0x3BFF;
    p.configReadsZero = 0x0400;
    p.codeProtectBits = 0x3030;
    p.dataProtectBits = 0x0100;
    return p;
}

ChipProfile pic16f62x(std::string name, int codeWords, std::uint16_t deviceId) {
    ChipProfile p = base(std::move(name), 2, codeWords, 128, deviceId);
    p.configImplemented = 0x3DFF;
    p.codeProtectBits = 0x3C00;
    p.dataProtectBits = 0x0100;
    return p;
}

ChipProfile family3(std::string name, int codeWords, std::uint16_t deviceId) {
    ChipProfile p = base(std::move(name), 3, codeWords, 0, deviceId);
    p.configImplemented = 0x005F;
    p.codeProtectBits = 0x0010;
    p.externalProgramTimeNs = 1'000'000;
    p.bulkEraseTimeNs = 30'000'000;
    return p;
}

ChipProfile family4(std::string name, std::uint16_t deviceId) {
    ChipProfile p = base(std::move(name), 4, 1024, 128, deviceId);
    p.configImplemented = 0x31FF;
    p.configReadsZero = 0x0E00;
    p.codeProtectBits = 0x0080;
    p.dataProtectBits = 0x0100;
    p.calibration = kRetlwCalibration;
    p.bandgap = kFactoryBandgap;
    return p;
}

ChipProfile family5(std::string name, int codeWords, int dataBytes, std::uint16_t deviceId) {
    ChipProfile p = base(std::move(name), 5, codeWords, dataBytes, deviceId);
    p.configImplemented = 0x21FF;
    p.codeProtectBits = 0x2000;
    p.dataProtectBits = 0x0100;
    return p;
}

ChipProfile family6(std::string name, int codeWords, int dataBytes, std::uint16_t deviceId) {
    ChipProfile p = base(std::move(name), 6, codeWords, dataBytes, deviceId);
    p.configImplemented = 0x2FCF;
    p.codeProtectBits = 0x2000;
    p.dataProtectBits = 0x0100;
    p.rowWords = 8;
    return p;
}

ChipProfile family7(std::string name, int codeWords, int dataBytes, std::uint16_t deviceId) {
    ChipProfile p = base(std::move(name), 7, codeWords, dataBytes, deviceId);
    p.codeProtectBits = 0x2000;
    p.dataProtectBits = 0x0100;
    p.rowWords = 4;
    p.externalProgramTimeNs = 2'000'000;
    return p;
}

enum class Cells { eprom, flash };

// The 12-bit core: family 8 EPROM, 9 flash. `calibration` is the factory
// MOVLW in the last code word (0: none); flash parts keep a backup copy.
ChipProfile twelveBit(std::string name, int codeWords, Cells cells, std::uint16_t implemented,
                      std::uint16_t calibration) {
    ChipProfile p = base(std::move(name), cells == Cells::eprom ? 8 : 9, codeWords, 0, kNoDeviceId);
    p.eprom = cells == Cells::eprom;
    p.configImplemented = implemented;
    p.configReadsZero = 0x3000;
    p.codeProtectBits = 0x0008;
    if (calibration != 0) p.calibration = calibration;
    p.calibrationBackup = calibration != 0 && !p.eprom;
    p.externalProgramTimeNs = p.eprom ? kEpromPulseNs : 2'000'000;
    return p;
}

std::vector<ChipProfile> table() {
    const Cells ep = Cells::eprom;
    const Cells fl = Cells::flash;
    return {
        family1("PIC16F84A", 1024, 0x0560),
        family1("PIC16F84", 1024, kNoDeviceId),
        family1("PIC16F83", 512, kNoDeviceId),
        pic16c84(),
        pic16f87x("PIC16F870", 2048, 64, 0x0D00),
        pic16f87x("PIC16F871", 2048, 64, 0x0D20),
        pic16f87x("PIC16F872", 2048, 64, 0x08E0),
        pic16f87x("PIC16F873", 4096, 128, 0x0960),
        pic16f87x("PIC16F874", 4096, 128, 0x0920),
        pic16f87x("PIC16F876", 8192, 256, 0x09E0),
        pic16f87x("PIC16F877", 8192, 256, 0x09A0),
        pic16f62x("PIC16F627", 1024, 0x07A0),
        pic16f62x("PIC16F628", 2048, 0x07C0),
        family3("PIC16F73", 4096, 0x0600),
        family3("PIC16F74", 4096, 0x0620),
        family3("PIC16F76", 8192, 0x0640),
        family3("PIC16F77", 8192, 0x0660),
        family4("PIC12F629", 0x0F80),
        family4("PIC12F675", 0x0FC0),
        family4("PIC16F630", 0x10C0),
        family4("PIC16F676", 0x10E0),
        family5("PIC16F627A", 1024, 128, 0x1040),
        family5("PIC16F628A", 2048, 128, 0x1060),
        family5("PIC16F648A", 4096, 256, 0x1100),
        family6("PIC16F873A", 4096, 128, 0x0E40),
        family6("PIC16F874A", 4096, 128, 0x0E60),
        family6("PIC16F876A", 8192, 256, 0x0E00),
        family6("PIC16F877A", 8192, 256, 0x0E20),
        family7("PIC16F87", 4096, 256, 0x0720),
        family7("PIC16F88", 4096, 256, 0x0760),
        family7("PIC16F818", 1024, 128, 0x04C0),
        family7("PIC16F819", 2048, 256, 0x04E0),
        // Each its own factory calibration, as real parts differ.
        twelveBit("PIC12C508", 512, ep, 0x01F, 0x0C70),
        twelveBit("PIC12C508A", 512, ep, 0x01F, 0x0C62),
        twelveBit("PIC12C509", 1024, ep, 0x01F, 0x0C74),
        twelveBit("PIC12C509A", 1024, ep, 0x01F, 0x0C58),
        twelveBit("PIC12F508", 512, fl, 0x01F, 0x0C1A),
        twelveBit("PIC12F509", 1024, fl, 0x01F, 0x0C2C),
        twelveBit("PIC16F54", 512, fl, 0x00F, 0),
        twelveBit("PIC16F57", 2048, fl, 0x00F, 0),
        twelveBit("PIC10F200", 256, fl, 0x01D, 0x0C3E),
        twelveBit("PIC10F202", 512, fl, 0x01D, 0x0C40),
        twelveBit("PIC10F204", 256, fl, 0x01D, 0x0C52),
        twelveBit("PIC10F206", 512, fl, 0x01D, 0x0C64),
    };
}

std::string upper(std::string_view s) {
    std::string out;
    for (char c : s)
        out += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return out;
}

ChipProfile named(std::string_view name) {
    return findProfile(name).value_or(ChipProfile{});
}

}  // namespace

std::uint16_t ChipProfile::configRead(std::uint16_t written) const {
    const std::uint16_t ones = 0x3FFF & ~configImplemented & ~configReadsZero;
    return static_cast<std::uint16_t>((written & configImplemented) | ones);
}

bool ChipProfile::codeProtectedBy(std::uint16_t config) const {
    return (config & codeProtectBits) != codeProtectBits;
}

bool ChipProfile::dataProtectedBy(std::uint16_t config) const {
    return (config & dataProtectBits) != dataProtectBits;
}

ChipProfile pic16f84a() {
    return named("PIC16F84A");
}
ChipProfile pic16f628a() {
    return named("PIC16F628A");
}
ChipProfile pic16f877() {
    return named("PIC16F877");
}

const std::vector<ChipProfile>& knownProfiles() {
    static const std::vector<ChipProfile> all = table();
    return all;
}

std::optional<ChipProfile> findProfile(std::string_view name) {
    std::string wanted = upper(name);
    for (const ChipProfile& p : knownProfiles()) {
        if (p.name == wanted || p.name == "PIC" + wanted) return p;
    }
    return std::nullopt;
}

}  // namespace ferrolux::sim
