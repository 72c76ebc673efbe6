#include <gtest/gtest.h>

#include <set>

#include "sim/pic18_bench.h"

namespace ferrolux::sim::test {
namespace {

constexpr std::uint32_t kConfig = 0x300000;

TEST(Pic18Profiles, FindByNameAndGroupFacts) {
    auto p452 = findPic18Profile("pic18f452");
    ASSERT_TRUE(p452);
    EXPECT_EQ(p452->deviceId & 0xFFE0, 0x0420);
    EXPECT_EQ(p452->codeBytes, 32768);
    EXPECT_EQ(p452->config[1].mask, 0x27);
    EXPECT_TRUE(p452->needsUnlock());
    auto p4620 = findPic18Profile("18F4620");
    ASSERT_TRUE(p4620);
    EXPECT_EQ(p4620->eepromBytes, 1024);
    EXPECT_EQ(p4620->bufferBytes, 64);
    EXPECT_EQ(p4620->p10Ns, 100'000u);
    EXPECT_FALSE(p4620->needsUnlock());
    EXPECT_EQ(findPic18Profile("PIC18F1320")->deviceId & 0xFFE0, 0x07C0);
    EXPECT_EQ(findPic18Profile("PIC18F2550")->bufferBytes, 32);
    EXPECT_FALSE(findPic18Profile("PIC16F84A"));
    std::set<int> ids;
    for (const Pic18Chip& chip : pic18Chips()) {
        SCOPED_TRACE(chip.name);
        const Pic18Profile p = pic18Profile(chip);
        EXPECT_TRUE(ids.insert(p.deviceId).second);
        EXPECT_NE(p.config[1].mask, 0);                                  // CONFIG1H on every chip
        EXPECT_EQ(p.config[kConfig5L].blank, p.config[kConfig5L].mask);  // shipped unprotected
        EXPECT_EQ(p.codeBytes % p.blockBytes, 0);
        EXPECT_LT(p.bootBytes, p.blockBytes);
    }
}

TEST(Pic18Read, DeviceIdConfigAndBlankCode) {
    Pic18Bench b("PIC18F452");
    EXPECT_TRUE(b.chip.inProgrammingMode());
    const int id = b.readAt(0x3FFFFE) | b.readAt(0x3FFFFF) << 8;
    EXPECT_EQ(id, b.chip.profile().deviceId);
    EXPECT_EQ(b.readAt(kConfig + 1), 0x27);
    EXPECT_EQ(b.readAt(kConfig + 0), 0x00);  // no CONFIG1L on this chip
    b.pointAt(0x0000);
    EXPECT_EQ(b.shiftIn(0b1001), 0xFF);  // TBLRD *+
    EXPECT_EQ(b.chip.tablePointer(), 1u);
    b.core(0x1234);  // not an instruction the core knows
    EXPECT_EQ(b.chip.unknownOpcodes(), 1u);
    b.send(0b0001, 0);
    EXPECT_EQ(b.chip.ignoredCommands(), 1u);
}

TEST(Pic18Write, BufferProgramsItsBlockAndOnlyClearsBits) {
    Pic18Bench b("PIC18F2550");
    std::vector<int> pairs(16, 0xA55A);
    pairs[0] = 0x3412;
    b.writeCode(0x40, pairs);
    EXPECT_EQ(b.readAt(0x40), 0x12);
    EXPECT_EQ(b.readAt(0x41), 0x34);
    EXPECT_EQ(b.chip.byteAt(0x5F), 0xA5);
    EXPECT_EQ(b.chip.byteAt(0x60), 0xFF);  // the next buffer's block
    b.writeCode(0x40, {0xFF0F});           // no erase first: old AND new
    EXPECT_EQ(b.chip.byteAt(0x40), 0x02);
    b.writeCode(0x200000, {0x2211, 0x4433, 0x6655, 0x8877});  // IDs: an 8-byte buffer
    EXPECT_EQ(b.readAt(0x200000), 0x11);
    EXPECT_EQ(b.readAt(0x200007), 0x88);
    EXPECT_EQ(b.chip.lostWrites(), 0u);
}

TEST(Pic18Write, ProgrammingPulseTooShortIsLost) {
    Pic18Bench b("PIC18F2550");
    b.core(0x8EA6);
    b.pointAt(0);
    b.send(0b1111, 0x0000);
    b.programNop(b.chip.profile().p9Ns / 2, b.chip.profile().p10Ns);  // P9 short
    EXPECT_EQ(b.chip.byteAt(0), 0xFF);
    b.send(0b1111, 0x0000);
    b.programNop(b.chip.profile().p9Ns, 10'000);  // P10 100 us on P18-B
    EXPECT_EQ(b.chip.byteAt(0), 0xFF);
    EXPECT_EQ(b.chip.lostWrites(), 2u);
}

TEST(Pic18Write, Pic18F452PanelsWriteTogetherInMultiPanelMode) {
    Pic18Bench b("PIC18F452");
    b.core(0x8EA6);
    b.core(0x8CA6);
    b.pointAt(0x3C0006);
    b.send(0b1100, 0x0040);
    b.core(0x9CA6);
    b.pointAt(0x0008);
    for (int i = 0; i < 4; ++i)
        b.send(0b1101, 0x1100 + i);
    b.pointAt(0x2008);
    for (int i = 0; i < 3; ++i)
        b.send(0b1101, 0x2200 + i);
    b.send(0b1111, 0x2203);
    b.programNop();
    EXPECT_EQ(b.chip.byteAt(0x0008), 0x00);
    EXPECT_EQ(b.chip.byteAt(0x000F), 0x11);
    EXPECT_EQ(b.chip.byteAt(0x200E), 0x03);
}

TEST(Pic18Erase, ChipEraseNeedsItsWaitAndBlanksEverything) {
    for (const char* name : {"PIC18F452", "PIC18F2550"}) {
        SCOPED_TRACE(name);
        Pic18Bench b(name);
        b.chip.setByteAt(0x10, 0x00);
        b.chip.setByteAt(0x200000, 0x00);
        b.chip.setByteAt(kConfig + 1, 0x00);
        b.chip.setEepromByte(3, 0x00);
        b.chip.protect(true, true);
        b.bulkErase(b.chip.profile().p11Ns / 2);  // too short: the next command cuts it
        b.core(0x0000);
        EXPECT_EQ(b.chip.lostWrites(), 1u);
        EXPECT_EQ(b.chip.byteAt(0x10), 0x00);
        b.bulkErase();
        b.core(0x0000);
        EXPECT_EQ(b.chip.byteAt(0x10), 0xFF);
        EXPECT_EQ(b.chip.byteAt(0x200000), 0xFF);
        EXPECT_EQ(b.chip.byteAt(kConfig + 1), b.chip.profile().config[1].blank);
        EXPECT_EQ(b.chip.eepromByte(3), 0xFF);
        EXPECT_EQ(b.chip.lostWrites(), 1u);
    }
}

TEST(Pic18Config, ByteWritesProtectionAndWrtc) {
    Pic18Bench b("PIC18F2550");
    b.writeConfig(kConfig + 2, 0xAA15);  // even: the low byte
    EXPECT_EQ(b.chip.byteAt(kConfig + 2), 0x15);
    b.writeConfig(kConfig + 3, 0x0AFF);  // odd: the high byte
    EXPECT_EQ(b.chip.byteAt(kConfig + 3), 0x0A);
    b.writeConfig(kConfig + 8, 0x000E);  // CP0 set: code block 0 reads 0
    b.chip.setByteAt(0x0900, 0x5A);
    EXPECT_EQ(b.readAt(0x0900), 0x00);
    b.writeConfig(kConfig + 8, 0x000F);  // protection bits do not come back
    EXPECT_EQ(b.chip.byteAt(kConfig + 8), 0x0E);
    b.writeConfig(kConfig + 11, 0xC0C0);  // WRTC = 0
    b.writeConfig(kConfig + 2, 0x0000);
    EXPECT_EQ(b.chip.byteAt(kConfig + 2), 0x15);
    b.core(0x9CA6);  // BCF CFGS: not a configuration write any more
    b.pointAt(kConfig + 1);
    b.send(0b1111, 0);
    b.programNop();
    EXPECT_EQ(b.chip.refusedWrites(), 2u);
}

TEST(Pic18Erase, RowEraseAndWriteProtectionUntilABulkErase) {
    Pic18Bench b("PIC18F2550");
    for (std::uint32_t a = 0x0830; a < 0x0890; ++a)
        b.chip.setByteAt(a, 0x00);
    b.core(0x8EA6);  // BSF EEPGD
    b.core(0x9CA6);  // BCF CFGS
    b.core(0x84A6);  // BSF WREN
    b.core(0x88A6);  // BSF FREE
    b.pointAt(0x0850);
    b.core(0x82A6);  // BSF WR: the row of 0x0850
    b.programNop();
    EXPECT_EQ(b.chip.byteAt(0x083F), 0x00);
    EXPECT_EQ(b.chip.byteAt(0x0840), 0xFF);
    EXPECT_EQ(b.chip.byteAt(0x087F), 0xFF);
    EXPECT_EQ(b.chip.byteAt(0x0880), 0x00);
    b.chip.writeProtect();
    b.writeCode(0x0840, {0x0000});
    EXPECT_EQ(b.chip.byteAt(0x0840), 0xFF);
    EXPECT_EQ(b.chip.refusedWrites(), 1u);
    b.bulkErase();
    b.writeCode(0x0840, {0x0000});
    EXPECT_EQ(b.chip.byteAt(0x0840), 0x00);
}

struct EepromCase {
    const char* chip;
    bool unlock;
    bool takes;
};

class Pic18Eeprom : public testing::TestWithParam<EepromCase> {};

TEST_P(Pic18Eeprom, WriteNeedsTheUnlockOnlyWhereDocumented) {
    Pic18Bench b(GetParam().chip);
    b.core(0x9EA6);  // BCF EEPGD
    b.core(0x9CA6);  // BCF CFGS
    b.core(0x0E07);
    b.core(0x6EA9);  // EEADR = 7
    b.core(0x0E3C);
    b.core(0x6EA8);  // EEDATA = 3Ch
    b.core(0x84A6);  // BSF WREN
    if (GetParam().unlock) {
        b.core(0x0E55);
        b.core(0x6EA7);
        b.core(0x0EAA);
        b.core(0x6EA7);
    }
    b.core(0x82A6);  // BSF WR
    EXPECT_EQ((b.eecon1() & 0x02) != 0, GetParam().takes);
    b.host.pause(b.chip.profile().p11aNs);
    EXPECT_EQ(b.eecon1() & 0x02, 0);
    EXPECT_EQ(b.chip.eepromByte(7), GetParam().takes ? 0x3C : 0xFF);
    EXPECT_EQ(b.chip.refusedWrites(), GetParam().takes ? 0u : 1u);
    // Read back: BSF RD, MOVF EEDATA, W, MOVWF TABLAT, shift out.
    b.core(0x80A6);
    b.core(0x50A8);
    b.core(0x6EF5);
    EXPECT_EQ(b.shiftIn(0b0010), GetParam().takes ? 0x3C : 0xFF);
}

INSTANTIATE_TEST_SUITE_P(
    Groups, Pic18Eeprom,
    testing::Values(EepromCase{"PIC18F452", false, false}, EepromCase{"PIC18F452", true, true},
                    EepromCase{"PIC18F1320", true, true}, EepromCase{"PIC18F2550", false, true}),
    [](const testing::TestParamInfo<EepromCase>& info) {
        return std::string(info.param.chip) + (info.param.unlock ? "Unlocked" : "Plain");
    });

TEST(Pic18EepromGuards, ProtectedDataReadsZeroAndVppDropLosesAWrite) {
    Pic18Bench b("PIC18F2550");
    b.chip.setEepromByte(0, 0x42);
    b.chip.protect(false, true);
    b.core(0x9EA6);
    b.core(0x9CA6);
    b.core(0x6AA9);  // CLRF EEADR
    b.core(0x80A6);
    b.core(0x50A8);
    b.core(0x6EF5);
    EXPECT_EQ(b.shiftIn(0b0010), 0x00);
    b.core(0x84A6);
    b.core(0x82A6);  // a write of EEDATA to 0, cut by leaving programming mode
    b.host.enter();
    EXPECT_EQ(b.chip.lostWrites(), 1u);
    EXPECT_EQ(b.chip.eepromByte(0), 0x42);
}

}  // namespace
}  // namespace ferrolux::sim::test
