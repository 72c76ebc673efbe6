// The shipped chips as a host sees them over the wire when factory-fresh or protected.
#include <gtest/gtest.h>

#include <map>

#include "icsp_host.h"

namespace ferrolux::sim {
namespace {

using test::Bench;

// Reads the configuration word through the wire, wherever the family keeps it.
int readConfigWord(Bench& b) {
    b.host.enter();
    if (b.chip.profile().twelveBit()) return b.host.read(4);  // the counter starts on it
    b.host.load(0, 0x3FFF);
    b.host.increment(7);
    return b.host.read(4);
}

TEST(ChipTable, ShipsEveryListedChipByName) {
    std::map<int, int> perFamily;
    for (const ChipProfile& p : knownProfiles())
        ++perFamily[p.family];
    EXPECT_EQ(knownProfiles().size(), 44u);
    EXPECT_EQ(perFamily, (std::map<int, int>{
                             {1, 4}, {2, 9}, {3, 4}, {4, 4}, {5, 3}, {6, 4}, {7, 4}, {8, 12}}));
    EXPECT_EQ(findProfile("pic16f877a")->family, 6);
    EXPECT_EQ(findProfile("12c509A")->codeWords, 1024);
    EXPECT_TRUE(findProfile("PIC12C509A")->eprom);
    EXPECT_FALSE(findProfile("16F57")->calibration.has_value());
    EXPECT_FALSE(findProfile("PIC16F877B").has_value());
    EXPECT_EQ(pic16f628a().codeWords, 2048);
}

TEST(ChipTable, EveryChipIdentifiesItselfOverTheWire) {
    for (const ChipProfile& p : knownProfiles()) {
        if (p.twelveBit()) continue;
        Bench b(p.name);
        b.host.enter();
        b.host.load(0, 0x3FFF);
        b.host.increment(6);
        EXPECT_EQ(b.host.read(4), p.hasDeviceId ? p.deviceId : 0x3FFF) << p.name;
    }
    EXPECT_FALSE(test::chipNamed("16F84").hasDeviceId);
    EXPECT_EQ(test::chipNamed("16F648A").deviceId, 0x1100);
}

TEST(ChipTable, BlankConfigurationWordsReadWhatTheChipImplements) {
    const std::map<std::string, int> blank{
        {"PIC16F84A", 0x3FFF},  {"PIC16F877", 0x3BFF},  {"PIC16F628", 0x3FFF},
        {"PIC16F73", 0x3FFF},   {"PIC12F629", 0x21FF},  // bandgap 10, bits 11:9 read 0
        {"PIC16F628A", 0x3FFF}, {"PIC16F877A", 0x3FFF}, {"PIC16F88", 0x3FFF},
        {"PIC12C508", 0x0FFF},  {"PIC10F200", 0x0FFF}};
    for (const auto& [name, word] : blank) {
        Bench b(name);
        EXPECT_EQ(readConfigWord(b), word) << name;
    }
    // Writing all ones cannot set what is not there.
    Bench b("16F877");
    b.host.enter();
    b.host.load(0, 0x3FFF);
    b.host.increment(7);
    b.host.write(2, 0x3FFF, 16 * test::kMs);
    EXPECT_EQ(b.host.read(4), 0x3BFF);
}

TEST(ChipTable, CalibrationWordsAreFactoryProgrammed) {
    Bench f629("12F629");
    f629.host.enter();
    f629.host.increment(0x3FF);
    EXPECT_EQ(f629.host.read(4), 0x3480);  // RETLW

    Bench f200("10F200");
    f200.host.enter();
    f200.host.increment(0x100);
    EXPECT_EQ(f200.host.read(4), 0x0C70);  // MOVLW, last code word
    f200.host.increment(5);
    EXPECT_EQ(f200.host.read(4), 0x0C70);  // backup after the IDs

    Bench c508("12C508");
    c508.host.enter();
    c508.host.increment(0x200);
    EXPECT_EQ(c508.host.read(4), 0x0C70);
    c508.host.increment(5);
    EXPECT_EQ(c508.host.read(4), 0x0FFF);  // EPROM parts keep no backup

    EXPECT_EQ(Bench("16F54").chip.programWord(511), 0x0FFF);
}

TEST(ChipTable, ProtectionClearsTheLabelledBits) {
    // Configuration words with all protection on, as the chips read them.
    const std::map<std::string, int> protectedWord{
        {"PIC16F84A", 0x000F},  {"PIC16C84", 0x3FEF},   {"PIC16F877", 0x0ACF},
        {"PIC16F628", 0x02FF},  {"PIC16F74", 0x3FEF},   {"PIC16F676", 0x207F},
        {"PIC16F648A", 0x1EFF}, {"PIC16F876A", 0x1EFF}, {"PIC16F819", 0x1EFF},
        {"PIC12F509", 0x0FF7},  {"PIC12C509A", 0x0FF7}};
    for (const auto& [name, word] : protectedWord) {
        Bench b(name);
        b.chip.protect(true, true);
        EXPECT_EQ(readConfigWord(b), word) << name;
    }
}

TEST(ChipTable, ProtectedMemoryReadsZeroButIdsStayReadable) {
    for (const ChipProfile& p : knownProfiles()) {
        Bench b(p.name);
        b.chip.setProgramWord(1, 0x0123);
        b.chip.setDataByte(1, 0x45);
        const std::uint32_t idBase = p.twelveBit() ? p.codeWords : 0x2000;
        b.chip.setConfigWord(idBase, 0x0ABC);
        b.chip.protect(true, true);
        b.host.enter();
        b.host.increment(p.twelveBit() ? 2 : 1);
        EXPECT_EQ(b.host.read(4), 0) << p.name;
        if (p.dataBytes > 0) {
            // Family 1 has no data protection.
            EXPECT_EQ(b.host.read(5), p.dataProtectBits != 0 ? 0 : 0x45) << p.name;
        }
        if (p.twelveBit()) {
            b.host.increment(p.codeWords - 1);
        } else {
            b.host.load(0, 0x3FFF);
        }
        EXPECT_EQ(b.host.read(4), 0x0ABC) << p.name;
    }
}

}  // namespace
}  // namespace ferrolux::sim
