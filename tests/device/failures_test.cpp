// The failure messages of the chip operations, with their exact wording, and
// the readback files they guard.
#include <gtest/gtest.h>

#include "chip_rig.h"
#include "device/chip_service.h"
#include "session/messages.h"

namespace ferrolux::test {
namespace {

TEST(LinkFailures, EachProgrammerAndChipProblemHasItsMessage) {
    // Serial, AN589 and P16PRO with nothing on the port.
    for (auto [index, message] : {std::pair{0, "T3306 not found at COM1\n"},
                                  {1, "No AN589 based Adaptor found!"},
                                  {3, "P16PRO not found!"}}) {
        Wiring w = allWirings()[static_cast<std::size_t>(index)];
        w.board.kind = sim::BoardKind::none;
        ChipRig rig("PIC16F84A", w);
        sim::SimSerialOpener opener(rig.bench.board, "COM1");
        if (index == 0) {
            rig.s.port.comHandle.reset();
            rig.s.serialOpener = &opener;
            rig.s.link.portName = "COM1";
        }
        EXPECT_EQ(checkLink(rig.s), 0);
        EXPECT_EQ(rig.s.message, message);
    }
    // Empty sockets (a 14-bit and a 12-bit chip selected), a data line stuck low.
    for (auto [chip, stuck] :
         {std::pair{"PIC16F84A", false}, {"PIC12F508", false}, {"PIC12C508", true}}) {
        SCOPED_TRACE(chip);
        ChipRig rig(chip);
        if (stuck) rig.bench.board.setDataFault(sim::DataFault::stuckLow);
        if (!stuck) rig.bench.board.removeChip();
        EXPECT_EQ(checkLink(rig.s), 0);
        EXPECT_EQ(rig.s.message, stuck ? kNoPicOrProtected : kNoPicOnBoard);
    }

    ChipRig withoutId("PIC16F84");  // a chip without a device ID is not asked
    withoutId.chip.enableFrameLog(true);
    EXPECT_EQ(checkLink(withoutId.s), 1);
    EXPECT_TRUE(withoutId.chip.frames().empty());
}

// The device ID names the chip; another chip than the selected one is told
// apart, revision bits aside.
TEST(DeviceId, TheIdReadNamesTheChipOnTheBoard) {
    struct Row {
        const char* selected;
        const char* inSocket;
        int id;  // written to the socket chip's 0x2006; 0: as shipped
        const char* field;
        const char* other;  // nullptr: the selected chip
    };
    const Row rows[] = {
        {"PIC16F628A", "PIC16F628A", 0x1067, "1067 PIC16F628A", nullptr},
        {"PIC16F628A", "PIC16F627A", 0x1043, "1043 PIC16F627A", "PIC16F627A"},
        {"PIC16F877", "PIC16F877A", 0, "0E20 PIC16F877A", "PIC16F877A"},
        {"PIC16F84A", "PIC16F84A", 0x3FA0, "3FA0", ""},  // no chip in the list has it
        {"PIC16F84", "PIC16F628A", 0, " ", nullptr},     // the selected chip lists no ID
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(std::string(row.selected) + " " + row.inSocket);
        ChipRig rig(row.selected, allWirings()[0], row.inSocket);
        if (row.id != 0) rig.chip.setConfigWord(0x2006, static_cast<std::uint16_t>(row.id));
        ASSERT_NE(checkLink(rig.s), 0);
        EXPECT_EQ(rig.window.texts[ctl::kDevIdField], row.field);
        const OtherChip found = otherChipOnBoard(rig.s);
        EXPECT_EQ(found.other, row.other != nullptr);
        EXPECT_EQ(found.chip, row.other ? row.other : "");
    }
}

TEST(PassFailures, WriteAndVerifyErrorsNameAddressAndWordsOrBytes) {
    ChipRig word("PIC16F84A");
    ASSERT_EQ(word.open(testHex(1)), 0);
    word.chip.dropWritesToProgram(3);
    EXPECT_EQ(word.write(), "Write Error at: 0003\n\nWrote:  2802\nRead: 3FFF\n");
    word.chip.resetToFactory();
    EXPECT_EQ(word.verify(), "Verify failed at Adr: 0000\n\nFile:    3055\nRead: 3FFF\n");

    ChipRig byte("PIC16F628A");
    ASSERT_EQ(byte.open(testHex(5)), 0);
    byte.chip.dropWritesToData(2);
    EXPECT_EQ(byte.write(), "Write Error at: 2102\n\nWrote:  50\nRead: FF\n");
    byte.chip.setDataByte(2, 0x50);
    byte.chip.setDataByte(0, 0x99);
    EXPECT_EQ(byte.verify(), "Verify failed at Adr: 2100\n\nFile:    45\nRead: 99\n");

    ChipRig config("PIC16F628A");
    ASSERT_NE(checkLink(config.s), 0);
    config.s.chip.configWord = 0x3F70;
    config.bench.board.muteAfterChanges(200);  // mute before the word is written
    EXPECT_EQ(writeConfigWord(config.s), 1);
    EXPECT_EQ(config.s.message, "Write Error Config-W\n\nWrote:  3F70\nRead: 3FFF\n");
}

TEST(PassEdges, SameWordsAreNotProgrammedAgainAndIdsAreWidened) {
    ChipRig rig("PIC16F84A");
    ASSERT_EQ(rig.open(testHex(1)), 0);
    ASSERT_EQ(rig.write(), "");
    rig.chip.enableFrameLog(true);
    ASSERT_NE(checkLink(rig.s), 0);
    ASSERT_EQ(programCodeByWord(rig.s, rig.image), 0);
    EXPECT_EQ(commandsSent(rig.chip, PROGRAM_COMMAND), 0);

    ChipRig ids("PIC16F628A");
    const auto idFile = ids.dir.path() / "ids.hex";
    writeFile(idFile.string(),
              ":06400000050006000700A8\r\n"  // IDs 0-2, then ID 3 alone
              ":024006000800B0\r\n:044200001200340074\r\n:00000001FF\r\n");
    ASSERT_EQ(ids.open(idFile), 0);
    ASSERT_EQ(programIdWords(ids.s, ids.image), 0);
    EXPECT_EQ(ids.chip.configWord(0x2000), 0x3F85);
    EXPECT_EQ(ids.chip.configWord(0x2003), 0x3F88);
    ASSERT_EQ(programDataMemory(ids.s, ids.image), 0);
    EXPECT_EQ(ids.chip.dataByte(0), 0x12);
    EXPECT_EQ(ids.chip.dataByte(1), 0x34);
}

std::vector<std::string> lines(const std::string& text) {
    std::vector<std::string> out;
    std::size_t start = 0;
    for (std::size_t end; (end = text.find("\r\n", start)) != std::string::npos; start = end + 2)
        out.push_back(text.substr(start, end - start));
    out.push_back(text.substr(start));
    return out;
}

// The names in the rig's folder that belong to a readback, temporaries included.
std::size_t readbackFiles(const ChipRig& rig) {
    std::size_t n = 0;
    for (const auto& entry : std::filesystem::directory_iterator(rig.dir.path()))
        n += entry.path().filename().string().find("readback") != std::string::npos;
    return n;
}

// A blank chip's listing, line by line; output that cannot be created or
// written and a silent chip fail with their messages.
TEST(Readback, BlankListingAndOutputThatCannotBeWrittenOrASilentChip) {
    ChipRig rig("PIC16F84A");
    rig.s.pass.blank = true;
    ASSERT_EQ(writeReadbackText(rig.s), 0);
    const auto text = lines(rig.read("readback.txt"));
    const std::pair<std::size_t, const char*> expected[] = {
        {0, "FLASH-Memory:"},
        {2, "0000: 3FFF 3FFF 3FFF 3FFF 3FFF 3FFF 3FFF 3FFF"},
        {131, "ID0: F"},
        {136, "Device-ID: 0560"},
        {138, "Config-Word: 3FFF"},
        {140, "EEPROM-Memory:"},
        {142, "2100: FF FF FF FF FF FF FF FF"},
        {text.size() - 1, "2138: FF FF FF FF FF FF FF FF"},
    };
    for (auto [line, content] : expected)
        EXPECT_EQ(text.at(line), content) << line;
    EXPECT_TRUE(rig.s.pass.blank);

    std::filesystem::remove(rig.dir.path() / "readback.txt");
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

    for (auto writer : {writeReadbackHex, writeReadbackText}) {
        ChipRig silent("PIC12C508");
        silent.bench.board.removeChip();
        EXPECT_EQ(writer(silent.s), 1);
        EXPECT_EQ(silent.s.message, kNoPicOnBoard);
        EXPECT_EQ(readbackFiles(silent), 0u);

        ChipRig twice("PIC12C508");
        ASSERT_EQ(writer(twice.s), 0);
        ASSERT_EQ(writer(twice.s), 0);  // again, over the first file
        EXPECT_EQ(readbackFiles(twice), 1u);
    }
}

// A serial adapter pulled out (every modem-line call fails from then on) or
// a board pulled off the port in the middle of a command: the command fails
// with the reason, never with the chip's words it did not read.
TEST(LostLink, APortThatStopsAnsweringOrABoardPulledFailsTheCommandWithItsReason) {
    enum Command { blank, save, write, erase };
    const struct {
        const char* chip;
        Command command;
        bool boardPulled;  // else the port's calls fail
        std::uint64_t after;
    } rows[] = {
        {"PIC16F84A", blank, false, 2'000}, {"PIC16F84A", save, false, 2'000},
        {"PIC16F84A", write, false, 3'000}, {"PIC16F84A", erase, false, 100},
        {"PIC12F508", blank, false, 2'000}, {"PIC16F84A", blank, true, 2'000},
        {"PIC16F84A", save, true, 2'000},   {"PIC12F508", blank, true, 2'000},
        {"PIC16F84A", write, true, 3'000},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(std::string(row.chip) + " command " + std::to_string(row.command) +
                     (row.boardPulled ? " board pulled" : " port failing"));
        ChipRig rig(row.chip);
        ASSERT_EQ(rig.open(testHex(1)), 0);
        rig.chip.setProgramWord(300, 0x0123);  // programmed: a silent board reads blank
        ASSERT_NE(checkLink(rig.s), 0) << rig.s.message;
        if (row.boardPulled) {
            rig.bench.board.muteAfterChanges(row.after);
        } else {
            rig.bench.board.failPortAfter(row.after);
        }
        rig.window.checked[ctl::kSaveHexRadio] = true;
        int failed = 0;
        switch (row.command) {
            case blank:
                failed = ChipService(rig.s).checkBlank(rig.dir.path());
                break;
            case save:
                rig.main.command(ctl::kSaveButton);
                failed = rig.main.lastEnding() == ui::Ending::failed;
                break;
            case write:
                failed = !rig.write().empty();
                break;
            case erase:
                rig.window.answers.push_back(ui::Answer::ok);
                rig.main.command(ctl::kEraseCode);
                failed = rig.main.lastEnding() == ui::Ending::failed;
                break;
        }
        EXPECT_EQ(failed, 1);
        EXPECT_EQ(rig.s.message, row.boardPulled ? "the serial port stopped answering: the "
                                                   "programmer board does not answer (no RING)"
                                                 : "the serial port stopped answering: "
                                                   "Input/output error");
        EXPECT_EQ(readbackFiles(rig), 0u);
    }
}

// An FTDI adapter whose reads come back short at any point of the link
// check: the check fails with the adapter's reason, never blaming the board
// or an empty socket.
TEST(LostLink, AnFtdiAdapterFailingInTheLinkCheckIsNamedAsTheReason) {
    int failed = 0;
    for (std::uint64_t bytes = 0; bytes < 600; bytes += 20) {
        SCOPED_TRACE(bytes);
        ChipRig rig("PIC16F84A", ftdiWiring());
        ASSERT_NE(checkLink(rig.s), 0) << rig.s.message;
        rig.adapters.lastOpened()->failAfter(bytes);
        if (checkLink(rig.s) != 0) continue;
        ++failed;
        EXPECT_EQ(rig.s.message.rfind("FTDI adapter failed: short read", 0), 0u) << rig.s.message;
    }
    EXPECT_GT(failed, 2);
}

}  // namespace
}  // namespace ferrolux::test
