// The failure messages of the chip operations, with their exact wording.
#include <gtest/gtest.h>

#include "chip_rig.h"
#include "device/messages.h"
#include "device/program_word.h"

namespace ferrolux::test {
namespace {

// A hex file in the rig's directory.
std::string writeHex(ChipRig& rig, const std::string& name, const std::string& text) {
    const auto path = rig.dir.path() / name;
    std::ofstream(path, std::ios::binary) << text;
    rig.s.hexPath = path.string();
    return path.string();
}

TEST(LinkFailures, EachProgrammerAndChipProblemHasItsMessage) {
    {
        Wiring w = allWirings()[0];
        w.board.kind = sim::BoardKind::none;
        ChipRig rig("PIC16F84A", w);
        rig.s.port.comHandle.reset();
        sim::SimSerialOpener opener(rig.bench.board, "COM1");
        rig.s.serialOpener = &opener;
        rig.s.link.portName = "COM1";
        EXPECT_EQ(checkLink(rig.s), 0);
        EXPECT_EQ(rig.s.message, "T3306 not found at COM1\n");
    }
    for (int index : {1, 3}) {
        Wiring w = allWirings()[static_cast<std::size_t>(index)];
        w.board.kind = sim::BoardKind::none;
        ChipRig rig("PIC16F84A", w);
        EXPECT_EQ(checkLink(rig.s), 0);
        EXPECT_EQ(rig.s.message,
                  index == 1 ? "No AN589 based Adaptor found!" : "P16PRO not found!");
    }
    {
        ChipRig rig("PIC16F84A");
        rig.bench.board.removeChip();
        EXPECT_EQ(checkLink(rig.s), 0);
        EXPECT_EQ(rig.s.message, kNoPicOnBoard);
        EXPECT_EQ(rig.bench.window.texts[kDevIdField], " ");
    }
    {
        ChipRig rig("PIC12C508");
        rig.bench.board.setDataFault(sim::DataFault::stuckLow);
        EXPECT_EQ(checkLink(rig.s), 0);
        EXPECT_EQ(rig.s.message, kNoPicOrProtected);
    }
}

TEST(LinkFailures, DeviceIdIsShownAndAChipWithoutOneReadsNothing) {
    ChipRig withId("PIC16F628A");
    EXPECT_EQ(checkLink(withId.s), 2);
    EXPECT_EQ(withId.bench.window.texts[kDevIdField], "1060");

    ChipRig withoutId("PIC16F84");
    withoutId.chip.enableFrameLog(true);
    EXPECT_EQ(checkLink(withoutId.s), 1);
    EXPECT_EQ(withoutId.bench.window.texts[kDevIdField], " ");
    EXPECT_TRUE(withoutId.chip.frames().empty());
}

TEST(PassFailures, WriteAndVerifyErrorsNameAddressAndValues) {
    ChipRig rig("PIC16F84A");
    ASSERT_EQ(rig.open(testHex(1)), 0);
    rig.chip.dropWritesToProgram(3);
    EXPECT_EQ(rig.write(), "Write Error at: 0003\n\nWrote:  2802\nRead: 3FFF\n");

    ChipRig blank("PIC16F84A");
    ASSERT_EQ(blank.open(testHex(1)), 0);
    EXPECT_EQ(blank.verify(), "Verify failed at Adr: 0000\n\nFile:    3055\nRead: 3FFF\n");
}

TEST(PassFailures, DataMemoryErrorsShowBytes) {
    ChipRig rig("PIC16F628A");
    ASSERT_EQ(rig.open(testHex(5)), 0);
    rig.chip.dropWritesToData(2);
    EXPECT_EQ(rig.write(), "Write Error at: 2102\n\nWrote:  50\nRead: FF\n");

    ChipRig other("PIC16F628A");
    ASSERT_EQ(other.open(testHex(5)), 0);
    ASSERT_EQ(other.write(), "");
    other.chip.setDataByte(0, 0x99);
    EXPECT_EQ(other.verify(), "Verify failed at Adr: 2100\n\nFile:    45\nRead: 99\n");
}

TEST(PassFailures, ConfigurationWordThatDoesNotReadBack) {
    ChipRig rig("PIC16F628A");
    ASSERT_NE(checkLink(rig.s), 0);
    rig.s.configWord = 0x3F70;
    rig.bench.board.muteAfterChanges(200);  // the board stops answering before the word is written
    EXPECT_EQ(writeConfigWord(rig.s), 1);
    EXPECT_EQ(rig.s.message, "Write Error Config-W\n\nWrote:  3F70\nRead: 3FFF\n");
}

TEST(PassFailures, MissingFileAndBadLinesAreRefusedBeforeAnythingIsWritten) {
    ChipRig rig("PIC16F84A");
    rig.s.hexPath = (rig.dir.path() / "absent.hex").string();
    EXPECT_EQ(programCodeByWord(rig.s), 1);
    EXPECT_EQ(rig.s.message, "Cannot open input file.\n");

    writeHex(rig, "blank.hex", ":0400000001020304F2\r\n\r\n:00000001FF\r\n");
    EXPECT_EQ(programCodeByWord(rig.s), 1);
    EXPECT_EQ(rig.s.message, "Wrong File \n");
    EXPECT_EQ(rig.s.statusText.rfind("Format? 0002", 0), 0u);
    EXPECT_EQ(rig.chip.programWord(0), 0x0201);  // the record before the blank line was written
}

TEST(PassFailures, RecordsThatWouldNeedTheChipToGoBackAreRefused) {
    ChipRig rig("PIC16F84A");
    writeHex(rig, "order.hex",
             ":0400080011112222A4\r\n"  // words 4 and 5
             ":0400000033334444CC\r\n"  // words 0 and 1: behind the chip
             ":00000001FF\r\n");
    EXPECT_EQ(programCodeByWord(rig.s), 1);
    EXPECT_EQ(rig.s.message, "Wrong File \n");
    EXPECT_EQ(rig.chip.programWord(4), 0x1111);
    EXPECT_EQ(rig.chip.programWord(5), 0x2222);
    for (int a : {0, 1, 6})
        EXPECT_EQ(rig.chip.programWord(static_cast<std::size_t>(a)), 0x3FFF);
}

TEST(PassFailures, ARecordShorterThanItsCountIsRefused) {
    ChipRig rig("PIC16F84A");
    writeHex(rig, "short.hex", ":08000000010203\r\n:00000001FF\r\n");
    EXPECT_EQ(programCodeByWord(rig.s), 1);
    EXPECT_EQ(rig.s.message, "Wrong File \n");
    EXPECT_EQ(rig.chip.programWord(0), 0x3FFF);
}

TEST(PassEdges, RecordTypesCountsAndWindows) {
    ChipRig rig("PIC16F84A");
    // An odd byte count drops its last byte; type 04 is skipped by code passes; a
    // zero count ends the pass even with records after it.
    writeHex(rig, "edges.hex",
             ":020000040000FA\r\n"
             ":03000000112233B7\r\n"
             ":0000000000\r\n"
             ":02000400AAAAAA\r\n");
    ASSERT_EQ(programCodeByWord(rig.s), 0);
    EXPECT_EQ(rig.chip.programWord(0), 0x2211);
    EXPECT_EQ(rig.chip.programWord(1), 0x3FFF);
    EXPECT_EQ(rig.chip.programWord(2), 0x3FFF);
}

TEST(PassEdges, AWordThatAlreadyHoldsTheValueIsNotProgrammedAgain) {
    ChipRig rig("PIC16F84A");
    ASSERT_EQ(rig.open(testHex(1)), 0);
    ASSERT_EQ(rig.write(), "");
    rig.chip.enableFrameLog(true);
    ASSERT_NE(checkLink(rig.s), 0);
    rig.s.verifyOnly = 0;
    ASSERT_EQ(programCodeByWord(rig.s), 0);
    for (const auto& f : rig.chip.frames()) {
        EXPECT_FALSE(f.kind == sim::VirtualPic::Frame::command && f.value == PROGRAM_COMMAND);
    }
}

TEST(PassEdges, IdWordsAreWidenedAndDataKeepsItsLowByte) {
    ChipRig rig("PIC16F628A");
    writeHex(rig, "ids.hex",
             ":0840000005000600070008005D\r\n"
             ":044200001234AB1276\r\n"
             ":00000001FF\r\n");
    ASSERT_EQ(programIdWords(rig.s), 0);
    EXPECT_EQ(rig.chip.configWord(0x2000), 0x3F85);
    EXPECT_EQ(rig.chip.configWord(0x2003), 0x3F88);
    ASSERT_EQ(programDataMemory(rig.s), 0);
    EXPECT_EQ(rig.chip.dataByte(0), 0x12);
    EXPECT_EQ(rig.chip.dataByte(1), 0xAB);
}

TEST(ReadbackFailures, OutputThatCannotBeCreatedOrPutInPlace) {
    ChipRig rig("PIC16F84A");
    rig.s.outputDir = rig.dir.path() / "missing";
    EXPECT_EQ(writeReadbackHex(rig.s), 1);
    EXPECT_EQ(rig.s.message, "Cannot open output file.\n");

    // A directory where the file belongs: the write cannot be completed, and
    // no half file is left behind.
    rig.s.outputDir = rig.dir.path();
    std::filesystem::create_directories(rig.dir.path() / "readback.txt" / "x");
    EXPECT_EQ(writeReadbackText(rig.s), 1);
    EXPECT_EQ(rig.s.message, "Cannot write output file.\n");
    EXPECT_FALSE(std::filesystem::exists(rig.dir.path() / "readback.txt.part"));
}

TEST(ReadbackFailures, TwelveBitChipThatDoesNotAnswer) {
    ChipRig rig("PIC12C508");
    rig.bench.board.removeChip();
    EXPECT_EQ(writeReadbackText(rig.s), 1);
    EXPECT_EQ(rig.s.message, kNoPicOnBoard);
    EXPECT_FALSE(std::filesystem::exists(rig.dir.path() / "readback.txt"));
}

}  // namespace
}  // namespace ferrolux::test
