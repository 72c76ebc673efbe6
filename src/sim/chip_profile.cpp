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
    // Bit 10 is unimplemented and reads 1 (DS39025F Register 3-1).
    p.configImplemented = 0x3BFF;
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
    // Begin Erase/Programming (8) takes tprog2, 4 to 8 ms; Begin Programming
    // Only (24) is externally timed: tprog1 >= 1 ms, ended by End
    // Programming (23) (DS39589B Table 2-1).
    p.programTimeNs = 8'000'000;
    p.externalProgramTimeNs = 1'000'000;
    return p;
}

// The 16F87/88 have a second configuration word at 0x2008: IESO (bit 1)
// and FCMEN (bit 0), bits 13:2 read 1 (DS39607B Register 4-2).
ChipProfile family7(std::string name, int codeWords, int dataBytes, std::uint16_t deviceId,
                    std::uint16_t config2 = 0) {
    ChipProfile p = base(std::move(name), 7, codeWords, dataBytes, deviceId);
    p.config2Implemented = config2;
    p.codeProtectBits = 0x2000;
    p.dataProtectBits = 0x0100;
    p.rowWords = 4;
    // Begin Erase (8) and Begin Programming Only (24) are externally timed,
    // ended by End Programming (23): tprog2 >= 1 ms, tprog1 >= 2 ms
    // (DS39607B Table 3-1, DS39603C).
    p.externalProgramTimeNs = 2'000'000;
    p.externalEraseTimeNs = 1'000'000;
    return p;
}

// Today's mid-range chips: family 5 (8 internally timed, or 24 ... 10) or
// 10 (24 ... 10 only). Unimplemented configuration bits read 1 (DS41204G
// Register 4-2, DS41244E Register 4-1, DS41284C, DS41287C Register 4-2); /CP
// is bit 6, /CPD bit 7; the factory calibration words sit in configuration
// space.
struct MidRange {
    const char* name;
    int family;
    int codeWords;
    int dataBytes;
    std::uint16_t deviceId;
    std::uint16_t configMask;
    std::uint16_t config2Mask;
    std::optional<std::uint16_t> cal2008;
    std::optional<std::uint16_t> cal2009;
    std::uint64_t externalNs;  // least time from 24 to 10
    int latches;
};

ChipProfile midRange(const MidRange& m) {
    ChipProfile p = base(m.name, m.family, m.codeWords, m.dataBytes, m.deviceId);
    p.configImplemented = m.configMask;
    p.codeProtectBits = 0x0040;
    p.dataProtectBits = m.dataBytes > 0 ? 0x0080 : 0;
    p.endProgramming10 = true;
    p.noCommand8 = m.family == 10;
    p.config2Implemented = m.config2Mask;
    p.calibration2008 = m.cal2008;
    p.calibration2009 = m.cal2009;
    // Data cells take 6 ms, code cells 3; bulk erases 6 ms.
    p.programTimeNs = 6'000'000;
    p.bulkEraseTimeNs = 6'000'000;
    p.externalProgramTimeNs = m.externalNs;
    p.writeLatches = m.latches;
    return p;
}

std::vector<ChipProfile> midRangeTable() {
    constexpr std::uint64_t ms3 = 3'000'000;
    constexpr std::uint64_t ms25 = 2'500'000;
    const std::optional<std::uint16_t> none;
    // Each its own factory calibration, as real parts differ.
    const MidRange chips[] = {
        {"PIC12F683", 5, 2048, 256, 0x0460, 0x0FFF, 0, 0x1A5C, none, ms3, 4},
        {"PIC16F631", 5, 1024, 128, 0x1420, 0x0FFF, 0, 0x1A61, none, ms3, 4},
        {"PIC16F677", 5, 2048, 256, 0x1440, 0x0FFF, 0, 0x1A62, none, ms3, 4},
        {"PIC16F684", 5, 2048, 256, 0x1080, 0x0FFF, 0, 0x1A63, none, ms3, 4},
        {"PIC16F685", 5, 4096, 256, 0x04A0, 0x0FFF, 0, 0x1A64, none, ms3, 4},
        {"PIC16F687", 5, 2048, 256, 0x1320, 0x0FFF, 0, 0x1A65, none, ms3, 4},
        {"PIC16F688", 5, 4096, 256, 0x1180, 0x0FFF, 0, 0x1A66, none, ms3, 4},
        {"PIC16F689", 5, 4096, 256, 0x1340, 0x0FFF, 0, 0x1A67, none, ms3, 4},
        {"PIC16F690", 5, 4096, 256, 0x1400, 0x0FFF, 0, 0x1A68, none, ms3, 4},
        {"PIC16F913", 5, 4096, 256, 0x13E1, 0x1FFF, 0, 0x1B21, 0x2C42, ms3, 4},
        {"PIC16F914", 5, 4096, 256, 0x13C1, 0x1FFF, 0, 0x1B22, 0x2C43, ms3, 4},
        {"PIC16F916", 5, 8192, 256, 0x13A1, 0x1FFF, 0, 0x1B23, 0x2C44, ms3, 8},
        {"PIC16F917", 5, 8192, 256, 0x1381, 0x1FFF, 0, 0x1B24, 0x2C45, ms3, 8},
        {"PIC16F882", 5, 2048, 128, 0x2002, 0x3FFF, 0x0700, none, 0x2A31, ms25, 8},
        {"PIC16F883", 5, 4096, 256, 0x2022, 0x3FFF, 0x0700, none, 0x2A32, ms25, 8},
        {"PIC16F884", 5, 4096, 256, 0x2042, 0x3FFF, 0x0700, none, 0x2A33, ms25, 8},
        {"PIC16F886", 5, 8192, 256, 0x2062, 0x3FFF, 0x0700, none, 0x2A34, ms25, 8},
        {"PIC16F887", 5, 8192, 256, 0x2082, 0x3FFF, 0x0700, none, 0x2A35, ms25, 8},
        {"PIC12F615", 10, 1024, 0, 0x2181, 0x03FF, 0, 0x1A70, none, ms3, 0},
        {"PIC16F616", 10, 2048, 0, 0x1241, 0x03FF, 0, 0x1A71, none, ms3, 0},
    };
    std::vector<ChipProfile> out;
    for (const MidRange& m : chips)
        out.push_back(midRange(m));
    return out;
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

ChipProfile slowCycle(ChipProfile p) {
    p.programTimeNs = 20'000'000;
    return p;
}

ChipProfile readsZero(ChipProfile p, std::uint16_t bits) {
    p.configReadsZero = bits;
    return p;
}

std::vector<ChipProfile> table() {
    const Cells ep = Cells::eprom;
    const Cells fl = Cells::flash;
    std::vector<ChipProfile> all = {
        family1("PIC16F84A", 1024, 0x0560),
        // Erase and program take up to 20 ms on all but the 16F84A (DS30262E
        // Table 5-1).
        slowCycle(family1("PIC16F84", 1024, kNoDeviceId)),
        slowCycle(family1("PIC16F83", 512, kNoDeviceId)),
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
        family7("PIC16F87", 4096, 256, 0x0720, 0x0003),
        family7("PIC16F88", 4096, 256, 0x0760, 0x0003),
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
        // DS41208C Register 3-1 reads bits 11:4 as 0 on the 16F57 (DS41207D
        // reads them as 1 on the 16F54); the simulated chip follows its own
        // document.
        readsZero(twelveBit("PIC16F57", 2048, fl, 0x00F, 0), 0x3FF0),
        twelveBit("PIC10F200", 256, fl, 0x01D, 0x0C3E),
        twelveBit("PIC10F202", 512, fl, 0x01D, 0x0C40),
        twelveBit("PIC10F204", 256, fl, 0x01D, 0x0C52),
        twelveBit("PIC10F206", 512, fl, 0x01D, 0x0C64),
    };
    for (ChipProfile& p : midRangeTable())
        all.push_back(std::move(p));
    return all;
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

std::uint16_t ChipProfile::config2Read(std::uint16_t written) const {
    return static_cast<std::uint16_t>((written & config2Implemented) |
                                      (0x3FFF & ~config2Implemented));
}

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
