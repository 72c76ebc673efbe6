// The chip service: a write takes only what it is asked for, a verify
// compares only what it is asked for, and the data memory goes byte by byte.
#include <gtest/gtest.h>

#include "chip_rig.h"
#include "device/chip_service.h"

namespace ferrolux::test {
namespace {

TEST(ChipService, WriteTakesWhatItIsAskedForAndVerifyComparesIt) {
    ChipRig rig("PIC16F84A");
    ASSERT_EQ(rig.open(testHex(1)), 0);
    ChipService chip(rig.s);
    ASSERT_NE(chip.checkLink(), 0);
    WriteOptions codeOnly;
    codeOnly.eraseFirst = true;
    codeOnly.code = true;
    ASSERT_EQ(chip.write(codeOnly), Outcome::ok) << rig.s.message;
    EXPECT_EQ(rig.chip.programWord(0), 0x3055);  // movlw 0x55
    EXPECT_EQ(rig.chip.dataByte(0), 0xFF);       // the data was not asked for

    ASSERT_NE(chip.checkLink(), 0);
    EXPECT_EQ(chip.verify({true, false}), Outcome::ok) << rig.s.message;
    ASSERT_NE(chip.checkLink(), 0);
    EXPECT_EQ(chip.verify({true, true}), Outcome::failed);

    ASSERT_NE(chip.checkLink(), 0);
    chip.beginDataWrite();
    EXPECT_TRUE(chip.writeDataByte('E'));
    EXPECT_TRUE(chip.writeDataByte('x'));
    chip.leave();
    rig.s.pass.blank = true;
    const std::vector<int> bytes = chip.readDataMemory();
    chip.leave();
    ASSERT_EQ(bytes.size(), 64u);
    EXPECT_EQ(bytes[0], 'E');
    EXPECT_EQ(bytes[1], 'x');
    EXPECT_EQ(bytes[2], 0xFF);
    EXPECT_FALSE(rig.s.pass.blank);
}

}  // namespace
}  // namespace ferrolux::test
