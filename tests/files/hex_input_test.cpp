#include "files/hex_input.h"

#include <gtest/gtest.h>

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "files/control_ids.h"
#include "files/state_file.h"
#include "files_fixture.h"

namespace ferrolux::test {
namespace {

using namespace std::string_literals;

// One record line with its checksum, without line end.
std::string record(int address, int type, const std::vector<int>& data) {
    char buf[16];
    int sum = static_cast<int>(data.size()) + (address >> 8) + (address & 0xFF) + type;
    std::snprintf(buf, sizeof buf, "%02X%04X%02X", static_cast<int>(data.size()), address, type);
    std::string line = ":"s + buf;
    for (int b : data) {
        std::snprintf(buf, sizeof buf, "%02X", b);
        line += buf;
        sum += b;
    }
    std::snprintf(buf, sizeof buf, "%02X", (-sum) & 0xFF);
    return line + buf;
}

const std::string kEnd = ":00000001FF";

class HexInputTest : public FilesTest {
  protected:
    HexInputTest() {
        write("kestrum.cfg", "COM20013");
        session.device.family = 2;
        session.hexPath = (dir / "prog.hex").string();
    }

    // Code, ID, configuration and data records of a 14-bit chip.
    std::string program(const std::vector<int>& ids, int config, const std::string& eol = "\r\n") {
        std::vector<int> idBytes;
        for (int id : ids)
            idBytes.insert(idBytes.end(), {id, 0});
        return record(0, 0, {0x8A, 0x01, 0x00, 0x28}) + eol + record(0x4000, 0, idBytes) + eol +
               record(0x400E, 0, {config & 0xFF, config >> 8}) + eol +
               record(0x4200, 0, {0x12, 0x00}) + eol + kEnd + eol;
    }

    int open(const std::string& contents) {
        write("prog.hex", contents);
        return openHexFile(session);
    }
};

TEST_F(HexInputTest, TakesIdsAndConfigurationWordAndStoresThePath) {
    const std::string text = program({1, 2, 3, 4}, 0x3FF2);
    ASSERT_NE(text.find(":02400E00F23F7F\r\n"), std::string::npos);
    ASSERT_EQ(open(text), 0);
    EXPECT_TRUE(session.fileSelected);
    EXPECT_EQ(session.fileName, "prog.hex");
    EXPECT_EQ(session.idValues, (std::array<int, 4>{1, 2, 3, 4}));
    EXPECT_EQ(session.configWord, 0x3FF2);
    EXPECT_EQ(window.texts[1074], "1");
    EXPECT_EQ(window.texts[1076], "2");
    EXPECT_EQ(window.texts[1075], "3");
    EXPECT_EQ(window.texts[1077], "4");
    EXPECT_TRUE(window.checked[ctl::kWriteConfigBox]);
    EXPECT_FALSE(window.enabled.at(ctl::kViewSetButton));
    EXPECT_FALSE(window.enabled.at(ctl::kSaveButton));
    EXPECT_TRUE(window.boxes.empty());
    EXPECT_EQ(read("kestrum.cfg"), "COM20013"s + std::string(22, '\0') + "\r\n" + session.hexPath +
                                       '\0' + std::string(20, ' '));
    EXPECT_EQ(checkHexChecksums(session), 0);
}

TEST_F(HexInputTest, IdDigitsAToFAreRead) {
    session.idValues = {7, 7, 7, 7};
    ASSERT_EQ(open(program({0xA, 0xF, 0x0, 0xC}, 0x3FFF)), 0);
    EXPECT_EQ(session.idValues, (std::array<int, 4>{0xA, 0xF, 0x0, 0xC}));
    EXPECT_EQ(window.texts[1074], "A");
    EXPECT_EQ(window.texts[1076], "F");
    EXPECT_EQ(window.texts[1077], "C");
}

TEST_F(HexInputTest, LowerCaseFileIsReadAndPassesTheCheck) {
    std::string text;
    for (const std::string& line :
         {record(0, 0, {0xff, 0x3f}), record(0x4000, 0, {0xb, 0, 1, 0, 2, 0, 0xe, 0}),
          record(0x400E, 0, {0xf2, 0x3f}), kEnd}) {
        std::string low = line;
        for (char& c : low)
            c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        text += low + "\n";
    }
    ASSERT_EQ(open(text), 0);
    EXPECT_EQ(session.configWord, 0x3FF2);
    EXPECT_EQ(session.idValues, (std::array<int, 4>{0xB, 1, 2, 0xE}));
    EXPECT_EQ(checkHexChecksums(session), 0);
}

TEST_F(HexInputTest, LineEndsReadAlike) {
    for (const std::string eol : {"\n", "\r\n", "\r"}) {
        session.configWord = 0;
        ASSERT_EQ(open(program({1, 2, 3, 4}, 0x2007, eol)), 0) << int(eol[0]);
        EXPECT_EQ(session.configWord, 0x2007);
        EXPECT_EQ(checkHexChecksums(session), 0);
    }
}

TEST_F(HexInputTest, BlankLineBeforeTheRecordsIsAWrongFormat) {
    session.fileSelected = true;
    EXPECT_EQ(open("\r\n" + program({1, 2, 3, 4}, 0x3FF2)), 1);
    EXPECT_EQ(session.message, "Wrong File-Format!");
    EXPECT_FALSE(session.fileSelected);
    // The check stops at the blank line without a verdict.
    EXPECT_EQ(checkHexChecksums(session), 0);
}

TEST_F(HexInputTest, BlankLineAfterTheRecordsIsNeverReached) {
    const std::string text = record(0x4000, 0, {1, 0, 2, 0, 3, 0, 4, 0}) + "\r\n" +
                             record(0x400E, 0, {0xF2, 0x3F}) + "\r\n\r\n" + kEnd + "\r\n";
    ASSERT_EQ(open(text), 0);
    EXPECT_EQ(session.configWord, 0x3FF2);
}

TEST_F(HexInputTest, WrongChecksumInTheLastRecordIsFound) {
    ASSERT_EQ(open(program({1, 2, 3, 4}, 0x3FF2) + ":00000001FE\r\n"), 0);
    EXPECT_EQ(checkHexChecksums(session), 1);
}

TEST_F(HexInputTest, OddByteCountIsCheckedLikeAnyOther) {
    ASSERT_EQ(open(record(0, 0, {0x12, 0x34, 0x56}) + "\n" + program({1, 2, 3, 4}, 0x3FF2, "\n")),
              0);
    EXPECT_EQ(checkHexChecksums(session), 0);
    ASSERT_EQ(open(":03000000123456"
                   "00\n" +
                   kEnd + "\n"),
              0);
    EXPECT_EQ(checkHexChecksums(session), 1);
}

TEST_F(HexInputTest, RecordShorterThanItsCountFailsTheCheck) {
    std::string shortRecord = record(0, 0, {1, 2, 3, 4});
    shortRecord.erase(11, 4);  // two data bytes gone, checksum kept
    ASSERT_EQ(open(program({1, 2, 3, 4}, 0x3FF2, "\n") + shortRecord + "\n"), 0);
    EXPECT_EQ(checkHexChecksums(session), 1);
}

TEST_F(HexInputTest, MissingConfigurationRecordWarnsUnlessQuiet) {
    session.configWord = 0x1234;
    const std::string text = record(0, 0, {1, 2}) + "\n" + kEnd + "\n";
    ASSERT_EQ(open(text), 0);
    ASSERT_EQ(window.boxes.size(), 1u);
    EXPECT_EQ(window.boxes[0].text,
              "No Config-Word in File \nor File does not match \nto the controller type!");
    EXPECT_EQ(window.boxes[0].title, "WARNING!");
    EXPECT_EQ(session.configWord, 0x1234);
    EXPECT_FALSE(window.checked[ctl::kWriteConfigBox]);
    EXPECT_TRUE(window.enabled.at(ctl::kViewSetButton));
    EXPECT_TRUE(window.enabled.at(ctl::kSaveButton));

    session.quiet = true;
    ASSERT_EQ(open(text), 0);
    EXPECT_EQ(window.boxes.size(), 1u);
}

TEST_F(HexInputTest, UnterminatedLastLineDoesNotCount) {
    session.quiet = true;
    session.configWord = 0x1234;
    ASSERT_EQ(open(record(0, 0, {1, 2}) + "\n" + record(0x400E, 0, {0xF2, 0x3F})), 0);
    EXPECT_EQ(session.configWord, 0x1234);
}

TEST_F(HexInputTest, TwelveBitRecordsAreFoundOnlyForFamily8) {
    const std::string text = record(0x0400, 0, {1, 0, 2, 0, 3, 0, 4, 0}) + "\n" +
                             record(0x1FFE, 0, {0xEA, 0x0F}) + "\n" + kEnd + "\n";
    session.device.family = 8;
    ASSERT_EQ(open(text), 0);
    EXPECT_EQ(session.idValues, (std::array<int, 4>{1, 2, 3, 4}));
    EXPECT_EQ(session.configWord, 0x0FEA);

    session.device.family = 2;
    session.idValues = {9, 9, 9, 9};
    ASSERT_EQ(open(text), 0);
    EXPECT_EQ(session.idValues, (std::array<int, 4>{9, 9, 9, 9}));
    EXPECT_EQ(window.boxes.size(), 1u);
}

TEST_F(HexInputTest, BadPathsAreReported) {
    session.fileSelected = true;
    session.hexPath.clear();
    EXPECT_EQ(openHexFile(session), 1);
    EXPECT_EQ(session.message, "Open Error!");
    EXPECT_FALSE(session.fileSelected);

    session.fileSelected = true;
    session.message.clear();
    session.hexPath = (dir / "missing.hex").string();
    EXPECT_EQ(openHexFile(session), 1);
    EXPECT_EQ(session.message, "Open Error!");
    EXPECT_TRUE(session.fileSelected);
    session.message.clear();
    EXPECT_EQ(checkHexChecksums(session), 1);
    EXPECT_EQ(session.message, "Open Error!");
}

TEST_F(HexInputTest, PathLongerThanItsBufferIsRefused) {
    std::filesystem::path deep = dir;
    while (deep.string().size() < 250)
        deep /= std::string(40, 'd');
    std::filesystem::create_directories(deep);
    session.hexPath = (deep / "prog.hex").string();
    ASSERT_GT(session.hexPath.size(), kHexPathMax);
    write(std::filesystem::relative(session.hexPath, dir).string(), program({1, 2, 3, 4}, 0x3FF2));
    session.fileSelected = true;
    EXPECT_EQ(openHexFile(session), 1);
    EXPECT_EQ(session.message, "Open Error!");
    EXPECT_FALSE(session.fileSelected);
}

TEST_F(HexInputTest, PathIsKeptWholeAndTheNameFollowsTheLastSeparator) {
    session.hexPath = (dir / "prog.HEX.bak").string();
    write("prog.HEX.bak", program({1, 2, 3, 4}, 0x3FF2));
    ASSERT_EQ(openHexFile(session), 0);
    EXPECT_EQ(session.hexPath, (dir / "prog.HEX.bak").string());
    EXPECT_EQ(session.fileName, "prog.HEX.bak");
    EXPECT_EQ(checkHexChecksums(session), 0);

    std::filesystem::create_directory(dir / "a.hex.d");
    write("a.hex.d/x.hex", program({1, 2, 3, 4}, 0x3FF2));
    session.hexPath = (dir / "a.hex.d" / "x.hex").string();
    ASSERT_EQ(openHexFile(session), 0);
    EXPECT_EQ(session.fileName, "x.hex");
}

TEST_F(HexInputTest, OverlongRecordLineIsRefusedWhole) {
    // 40 data bytes: a record line of 91 characters fits, 48 bytes (107) does not.
    const std::string fits = record(0, 0, std::vector<int>(40, 0x11));
    const std::string tooLong = record(0, 0, std::vector<int>(48, 0x3A));
    ASSERT_EQ(fits.size(), 91u);
    ASSERT_EQ(open(fits + "\n" + program({1, 2, 3, 4}, 0x3FF2, "\n")), 0);
    EXPECT_EQ(checkHexChecksums(session), 0);

    EXPECT_EQ(open(tooLong + "\n" + program({1, 2, 3, 4}, 0x3FF2, "\n")), 1);
    EXPECT_EQ(session.message, "Wrong File-Format!");
    ASSERT_EQ(open(program({1, 2, 3, 4}, 0x3FF2, "\n") + tooLong + "\n"), 0);
    EXPECT_EQ(checkHexChecksums(session), 1);
}

TEST_F(HexInputTest, BinaryFileIsAWrongFormat) {
    std::mt19937 random(99);
    std::string bytes =
        "\x7F"
        "ELF";
    for (int i = 0; i < 5000; ++i)
        bytes += static_cast<char>(random());
    EXPECT_EQ(open(bytes), 1);
    EXPECT_EQ(session.message, "Wrong File-Format!");
    EXPECT_EQ(checkHexChecksums(session), 0);  // stops at the first non-record line
}

TEST_F(HexInputTest, NulAndFFBytes) {
    // NUL inside a record is kept (the record then fails its check); NUL or 0xFF
    // at the start of a line ends the data.
    ASSERT_EQ(open(program({1, 2, 3, 4}, 0x3FF2, "\n") + ":0200\0000003\n"s), 0);
    EXPECT_EQ(checkHexChecksums(session), 1);
    ASSERT_EQ(open("\0"s + program({1, 2, 3, 4}, 0x3FF2)), 0);
    EXPECT_EQ(window.boxes.size(), 1u);  // nothing read: no configuration word
    ASSERT_EQ(open(record(0x400E, 0, {0xF2, 0x3F}) + "\n\xFF" + "garbage\n"), 0);
    EXPECT_EQ(checkHexChecksums(session), 0);
}

TEST_F(HexInputTest, ConfigurationRecordWithoutHexDigitsIsAWrongFormat) {
    session.configWord = 0x1234;
    EXPECT_EQ(open(":02400E00G23F00\n" + kEnd + "\n"), 1);
    EXPECT_EQ(session.message, "Wrong File-Format!");
    EXPECT_EQ(session.configWord, 0x1234);
}

TEST_F(HexInputTest, MissingStateFileFailsAfterTakingTheValues) {
    std::filesystem::remove(dir / "kestrum.cfg");
    EXPECT_EQ(open(program({5, 6, 7, 8}, 0x3FF2)), 1);
    EXPECT_EQ(session.message, "Open Error 'kestrum.cfg'!");
    EXPECT_TRUE(session.fileSelected);
    EXPECT_EQ(session.configWord, 0x3FF2);
    EXPECT_EQ(session.idValues[0], 5);
    EXPECT_FALSE(std::filesystem::exists(dir / "kestrum.cfg"));
}

TEST_F(HexInputTest, AssemblerOutputReadsBack) {
    write("prog.asm",
          "        list p=16f84a\n"
          "        __config 0x3FF1\n"
          "        __idlocs 0x1A2F\n"
          "        org 0\n"
          "start   goto start\n"
          "        org 0x2100\n"
          "        de 1, 2, 3\n"
          "        end\n");
    const std::string command = "cd '" + dir.string() + "' && gpasm -q -a inhx8m prog.asm";
    ASSERT_EQ(std::system(command.c_str()), 0) << "gpasm (package gputils) is needed";
    ASSERT_EQ(openHexFile(session), 0) << session.message;
    EXPECT_EQ(session.idValues, (std::array<int, 4>{1, 0xA, 2, 0xF}));
    EXPECT_EQ(session.configWord, 0x3FF1);
    EXPECT_EQ(checkHexChecksums(session), 0);
}

TEST_F(HexInputTest, ShowProgressEndsAtTheFirstControlByteAndBlanksTheRest) {
    session.statusText = "Contr-Adr: 01FF\nold text";
    showProgress(session);
    EXPECT_EQ(window.texts[ctl::kStatusField], "Contr-Adr: 01FF" + std::string(80, ' '));
    EXPECT_EQ(window.repaints, 1);
    session.statusText = "Verify \xC4nderung";
    showProgress(session);
    EXPECT_EQ(window.texts[ctl::kStatusField], "Verify " + std::string(80, ' '));
}

}  // namespace
}  // namespace ferrolux::test
