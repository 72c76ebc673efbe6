#include "files/hex_input.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cctype>
#include <cstdlib>
#include <fstream>
#include <vector>

#include "file_harness.h"
#include "files/readback18.h"
#include "files_fixture.h"
#include "session/messages.h"
#include "support/hex_record.h"
#include "ui/control_ids.h"

namespace ferrolux::test {
namespace {

using namespace std::string_literals;

std::string record(int address, const std::vector<int>& data) {
    return hexRecord(address, data);
}

const std::string kEnd = ":00000001FF";
const std::string kIds = record(0x4000, {0xA, 0, 0xF, 0, 0, 0, 0xC, 0});  // A, F, 0, C
const std::string kConfig = record(0x400E, {0xF2, 0x3F});                 // 0x3FF2

// Code, ID, configuration, data and end records of a 14-bit chip.
std::string program(const std::string& eol = "\r\n") {
    return record(0, {0x8A, 0x01, 0x00, 0x28}) + eol + kIds + eol + kConfig + eol +
           record(0x4200, {0x12, 0x00}) + eol + kEnd + eol;
}

class HexInputTest : public FilesTest {
  protected:
    HexInputTest() {
        write("kestrum.cfg", "COM20013");
        session.device.family = 2;
        session.file.hexPath = (dir / "prog.hex").string();
    }
    int open(const std::string& contents) {
        write("prog.hex", contents);
        return openHexFile(session, file);
    }
    // The file at the session's path fitted to the session's chip, as write
    // and verify check it: 0, or 1 with the message filled.
    int fit() {
        HexFile read;
        ChipImage image;
        if (openHexFile(session, read) != 0) return 1;
        return fitSelectedFile(session, read, image, true);
    }
    HexFile file;
};

TEST_F(HexInputTest, AFailedOpenTakesNothingAGoodOneIdsConfigurationWordAndPath) {
    std::filesystem::remove(dir / "kestrum.cfg");
    session.chip.configWord = 0x1234;
    EXPECT_EQ(open(program()), 1);
    EXPECT_EQ(session.message, "Open Error 'kestrum.cfg'!");
    EXPECT_FALSE(std::filesystem::exists(dir / "kestrum.cfg"));
    write("kestrum.cfg", "COM20013");
    // Text that is not a record refuses the whole file.
    EXPECT_EQ(open(kIds + "\nPIC16F84A\n" + kConfig + "\n"), 1);
    EXPECT_EQ(session.message, "Wrong File-Format!\nLine 2 is not a record.");
    EXPECT_FALSE(session.file.fileSelected);
    EXPECT_EQ(session.chip.configWord, 0x1234);
    EXPECT_EQ(session.chip.idValues, (std::array<int, 4>{}));
    EXPECT_TRUE(window.texts.empty() && window.checked.empty() && window.enabled.empty());

    ASSERT_EQ(open(program()), 0);
    EXPECT_TRUE(session.file.fileSelected);
    EXPECT_EQ(session.file.fileName, "prog.hex");
    EXPECT_EQ(session.chip.idValues, (std::array<int, 4>{0xA, 0xF, 0, 0xC}));
    EXPECT_EQ(session.chip.configWord, 0x3FF2);
    EXPECT_EQ(window.texts[1074] + window.texts[1076] + window.texts[1075] + window.texts[1077],
              "AF0C");
    EXPECT_TRUE(window.checked[ctl::kWriteConfigBox]);
    EXPECT_FALSE(window.enabled.at(ctl::kViewSetButton) || window.enabled.at(ctl::kSaveButton));
    EXPECT_TRUE(window.boxes.empty());
    EXPECT_EQ(read("kestrum.cfg"), "COM20013"s + std::string(22, '\0') + "\r\n" +
                                       session.file.hexPath + '\0' + std::string(20, ' '));
    EXPECT_EQ(fileDoubt(file), "");
}

TEST_F(HexInputTest, ReadsAndChecksOddFiles) {
    std::string lower = program("\n");
    for (char& c : lower)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    std::string shortRecord = record(0, {1, 2, 3, 4});
    shortRecord.erase(11, 4);  // two data bytes gone, checksum kept
    const std::string tooLong = record(0x100, std::vector<int>(48, 0x3A));  // 107 characters
    std::string binary = "\x7F"s + "ELF";
    for (int i = 0; i < 5000; ++i)
        binary += static_cast<char>(i * 37 % 251);
    // A file's open result, the question asked about it and the configuration word taken.
    const struct {
        const char* what;
        std::string text;
        int opened;
        std::string doubt;
        int config;  // 0x1234: none taken
    } cases[] = {
        {"CR", program("\r"), 0, "", 0x3FF2},
        {"lower case", lower, 0, "", 0x3FF2},
        {"comments and blank lines anywhere",
         "\r\n;made by hand\r\n" + program() + "\r\n;PIC16F84A\r\n;CRC=1234\r\n\r\n", 0, "",
         0x3FF2},
        {"white space and a final Ctrl-Z",
         "  " + kIds + " \t\r\n" + kConfig + "\r\n" + kEnd + "\r\n\x1A", 0, "", 0x3FF2},
        {"long record", tooLong + "\n" + program("\n"), 0, "", 0x3FF2},
        {"bad checksum", kConfig.substr(0, kConfig.size() - 2) + "00\n" + kEnd + "\n", 0,
         kChecksumWrong, 0x3FF2},
        {"no end record", kIds + "\n" + kConfig, 0, kNoEndRecord, 0x3FF2},
        {"odd count, bad sum", ":0300000012345600\n" + kEnd + "\n", 0, kChecksumWrong, 0x1234},
        {"short record", shortRecord + "\n" + program("\n"), 1, "", 0x1234},
        {"FF in a record", ":02\xFF"s + "0000003\n" + program("\n"), 1, "", 0x1234},
        {"binary", binary, 1, "", 0x1234},
        {"NUL first", "\0"s + program(), 1, "", 0x1234},
        {"record after the end", program() + kConfig, 1, "", 0x1234},
        {"two files joined", program() + program(), 1, "", 0x1234},
        {"merge markers", program() + "=======\n" + program(), 1, "", 0x1234},
        {"config not hex", ":02400E00G23F00\n" + kEnd + "\n", 1, "", 0x1234},
    };
    session.file.quiet = true;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        session.chip.configWord = 0x1234;
        session.message.clear();
        EXPECT_EQ(open(c.text), c.opened);
        EXPECT_EQ(session.message.substr(0, 18), c.opened ? "Wrong File-Format!" : "");
        EXPECT_EQ(session.file.fileSelected, c.opened == 0);
        if (c.opened == 0) {
            EXPECT_EQ(fileDoubt(file), c.doubt);
        }
        EXPECT_EQ(session.chip.configWord, c.config);
    }
}

// A 1024-word chip: its IDs follow the last code word, at byte 0x0800. For a
// 14-bit chip neither record is there: the IDs stay and a warning tells.
TEST_F(HexInputTest, TwelveBitRecordsAreFoundOnlyForFamily8AndAMissingConfigurationWarns) {
    const std::string text = record(0x0400, {9, 0, 9, 0, 9, 0, 9, 0}) + "\n" +
                             record(0x0800, {1, 0, 2, 0, 3, 0, 4, 0}) + "\n" +
                             record(0x1FFE, {0xEA, 0x0F}) + "\n" + kEnd + "\n";
    session.device.family = 8;
    session.device.codeWords = 1024;
    ASSERT_EQ(open(text), 0);
    EXPECT_EQ(session.chip.configWord, 0x0FEA);
    EXPECT_TRUE(window.boxes.empty());
    session.device.family = 2;
    session.chip.configWord = 0x1234;
    ASSERT_EQ(open(text), 0);
    EXPECT_EQ(session.chip.idValues, (std::array<int, 4>{1, 2, 3, 4}));
    EXPECT_EQ(session.chip.configWord, 0x1234);
    ASSERT_EQ(window.boxes.size(), 1u);
    EXPECT_EQ(window.boxes[0].text,
              "No Config-Word in File \nor File does not match \nto the controller type!");
    EXPECT_EQ(window.boxes[0].title, "WARNING!");
    EXPECT_FALSE(window.checked[ctl::kWriteConfigBox]);
    EXPECT_TRUE(window.enabled.at(ctl::kViewSetButton) && window.enabled.at(ctl::kSaveButton));
    session.file.quiet = true;
    ASSERT_EQ(open(text), 0);
    EXPECT_EQ(window.boxes.size(), 1u);
}

TEST_F(HexInputTest, PathsAndNames) {
    std::filesystem::create_directory(dir / "a.hex.d");
    write("a.hex.d/x.HEX.bak", program());
    session.file.hexPath = (dir / "a.hex.d" / "x.HEX.bak").string();
    ASSERT_EQ(openHexFile(session, file), 0);
    EXPECT_EQ(session.file.fileName, "x.HEX.bak");
    // Too long for the state file, missing or no regular file (a FIFO would
    // block): refused with the open error.
    std::filesystem::path deep = dir;
    while (deep.string().size() < 250)
        deep /= std::string(40, 'd');
    std::filesystem::create_directories(deep);
    std::ofstream(deep / "prog.hex") << program();
    ASSERT_EQ(::mkfifo((dir / "fifo.hex").c_str(), 0600), 0);
    for (const std::string& path : {""s, (deep / "prog.hex").string(), (dir / "no.hex").string(),
                                    (dir / "fifo.hex").string(), dir.string(), "/dev/null"s}) {
        SCOPED_TRACE(path);
        session.file.hexPath = path;
        session.file.fileSelected = true;
        EXPECT_EQ(openHexFile(session, file), 1);
        EXPECT_EQ(session.message, "Open Error!");
        EXPECT_EQ(session.file.fileSelected, !path.empty() && path.size() < 250);
    }
}

// CONFIG2 at byte 0x4010, alone or in one record with CONFIG1; a file that
// carries it is refused for a chip without one.
TEST_F(HexInputTest, SecondConfigurationWord) {
    const struct {
        std::string records;
        int config2Mask, config, config2;
        bool valid;
    } cases[] = {
        {":02400E00D420BC\n:02401000FF3E71\n", 0x0700, 0x20D4, 0x3EFF, true},
        {":04400E00D420FF3E7D\n", 0x0700, 0x20D4, 0x3EFF, true},
        {":02400E00D420BC\n", 0x0700, 0x20D4, 0x1234, true},
        {":02400E00D420BC\n:02401000FF3E71\n", 0, 0x20D4, 0x1234, false},
    };
    session.file.quiet = true;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.records);
        session.device.name = "PIC16X1";
        session.device.codeWords = 2048;
        session.device.config2Mask = c.config2Mask;
        session.chip.config2Word = 0x1234;
        ASSERT_EQ(open(":020000000028D6\n" + c.records + kEnd + "\n"), 0);
        EXPECT_EQ(session.chip.configWord, c.config);
        EXPECT_EQ(session.chip.config2Word, c.config2);
        EXPECT_EQ(fit() == 0, c.valid) << session.message;
    }
}

// The chips the checks run against: family, code words, EEPROM bytes.
DeviceRecord chip(const char* name, int family, int codeWords, int dataBytes) {
    DeviceRecord d;
    d.listIndex = 0;
    d.name = name;
    d.family = family;
    d.codeWords = codeWords;
    d.dataBytes = dataBytes;
    return d;
}
const DeviceRecord k628a = chip("PIC16F628A", 5, 2048, 128);
const DeviceRecord k873a = chip("PIC16F873A", 6, 4096, 128);
const DeviceRecord k508 = chip("PIC12C508", 8, 512, 0);

struct CheckCase {
    const char* what;
    std::string text;
    std::string refusal;  // the start of the message; empty: the file fits
    DeviceRecord device = k628a;
};

TEST_F(HexInputTest, TheCheckBeforeWritingRefusesWhatThePassesWouldGetWrong) {
    const std::string code = record(0, {0x8A, 0x01, 0x00, 0x28}) + "\r\n";
    const std::string end = kEnd + "\r\n";
    const std::string wrong = "Wrong File-Format!\nLine ";
    const CheckCase cases[] = {
        {"whole program", program(), ""},
        {"zero extended address, no end, unterminated", ":020000040000FA\r\n" + code + kConfig, ""},
        {"IDs in two records", record(0x4000, {1, 0, 2, 0}) + "\n" + record(0x4004, {3, 0}), ""},
        {"12-bit layout",
         record(0x400, {1, 0, 2, 0, 3, 0, 4, 0}) + "\n" + record(0x1FFE, {0xEA, 0xF}), "", k508},
        {"records out of order", kConfig + "\r\n" + record(4, {1, 0}) + "\r\n" + code, ""},
        {"a record repeated", code + code + end, ""},
        {"start address record", ":0400000300000000F9\r\n" + code, ""},
        {"configuration word above the core", record(0x400E, {0x32, 0xFF}), ""},
        {"blank padding past the chip", code + record(0x1000, {0xFF, 0x3F, 0xFF, 0xFF}), ""},
        {"a readback's device ID", code + record(0x400C, {0x66, 0x10}), ""},
        {"only an end record", end, "The file holds no data!"},
        {"NUL in the data", code + ":0200000000"s + '\0' + "0FE\r\n",
         wrong + "2 holds a byte that"},
        {"record ends early", code + record(4, {1, 2}).substr(0, 13) + "\r\n",
         wrong + "2 does not"},
        {"NUL before more records", code + "\0"s + code, wrong + "2 is not a record."},
        {"record after the end", code + end + kConfig, wrong + "3 follows the end record"},
        {"odd address", record(1, {1, 2}), wrong + "1 gives only one byte of the word at 0000."},
        {"records that disagree", code + record(2, {1, 2}),
         "Address 0002 is given 00 in line 1 and 01 in line 2!"},
        {"code past the end", record(0xFFE, {0, 0, 0, 0}),
         "Address 1000 in line 1 lies outside the PIC16F628A!"},
        {"EEPROM past the end", record(0x42FE, {1, 0, 2, 0}),
         "Address 4300 in line 1 lies outside"},
        {"no EEPROM", record(0x4200, {1, 0}), "Address 4200 in line 1 lies outside the PIC12C508!",
         k508},
        {"second configuration word", record(0x4010, {3, 0}),
         "Address 4010 in line 1 lies outside"},
        {"linear address 1", ":020000040001F9\r\n" + code, "Extended address 0001 in line 1!"},
        {"segment address", ":020000021000EC\r\n" + code, "Extended address 1000 in line 1!"},
        {"code word too wide", record(0, {0xFF, 0x40}), "Value 40FF at address 0000 does not fit"},
        {"configuration word with a stray high bit", record(0x400E, {0x32, 0x7F}),
         "Value 7F32 at address 400E does not fit"},
        {"EEPROM high byte", record(0x4202, {1, 1}), "Value 0101 at address 4202"},
        {"14-bit code on a 12-bit chip", program(), "Value 2800 at address 0002", k508},
        {"IDs with a gap on a row chip", record(0x4000, {1, 0}) + "\n" + record(0x4004, {3, 0}),
         "The ID locations are split", k873a},
    };
    for (const CheckCase& c : cases) {
        SCOPED_TRACE(c.what);
        write("prog.hex", c.text);
        session.device = c.device;
        session.message.clear();
        EXPECT_EQ(fit(), c.refusal.empty() ? 0 : 1);
        EXPECT_EQ(session.message.substr(0, c.refusal.size()), c.refusal) << session.message;
    }
}

// An 18F452: 32 KB of code, 256 EEPROM bytes, eleven configuration bytes.
DeviceRecord pic18f452() {
    DeviceRecord d = chip("PIC18F452", 11, 16384, 256);
    const std::pair<int, int> bytes[] = {{1, 0x27},  {2, 0x0F},  {3, 0x0F}, {5, 0x01},
                                         {6, 0x85},  {8, 0x0F},  {9, 0xC0}, {10, 0x0F},
                                         {11, 0xE0}, {12, 0x0F}, {13, 0x40}};
    for (auto [k, mask] : bytes)
        d.configBytes[static_cast<std::size_t>(k)] = {mask, mask};
    return d;
}

std::string linear(int upper) {
    return hexRecord(0, {upper >> 8, upper & 0xFF}, 4) + "\n";
}

// PIC18 files in the shapes real tools write them, and what is refused.
TEST_F(HexInputTest, Pic18FilesAsRealToolsWriteThem) {
    const DeviceRecord d = pic18f452();
    const std::string end = kEnd + "\n";
    const std::string code = record(0, {0x55, 0x0E, 0x10, 0x6E}) + "\n";
    const std::string gpasm = linear(0) + code + linear(0x20) +
                              record(0, {1, 0x23, 0x45, 0x67, 0x89, 0xAB, 0xCD, 0xEF}) + "\n" +
                              linear(0x30) + record(1, {0x22, 0x0E, 0x0E}) + "\n" + linear(0xF0) +
                              record(0, {'E', 'E'}) + "\n" + end;
    const CheckCase cases[] = {
        {"as gpasm writes it", gpasm, "", d},
        {"code before any extended address", code + linear(0x30) + record(1, {0x22}) + "\n", "", d},
        {"odd lengths and a word split over two records",
         record(0, {0x55, 0x0E, 0x10}) + "\n" + record(3, {0x6E}) + "\n" + end, "", d},
        {"unimplemented configuration places as 00 or FF",
         linear(0x30) + record(0, {0, 0x22, 0x0E, 0x0E, 0xFF, 0x01, 0x85, 0}) + "\n", "", d},
        {"configuration bits the chip does not have", linear(0x30) + record(1, {0xFF}) + "\n", "",
         d},
        {"an application above a bootloader", record(0x800, {0x55, 0x0E}) + "\n" + end, "", d},
        {"comments after the end", code + end + "; CCS PCH C Compiler\n", "", d},
        {"a readback's device ID", code + linear(0x3F) + record(0xFFFE, {0x27, 0x04}) + "\n", "",
         d},
        {"erased code past the chip", code + record(0x8000, {0xFF, 0xFF}) + "\n", "", d},
        {"code past the chip", code + record(0x7FFE, {0, 0, 0x12, 0}) + "\n",
         "Address 008000 in line 2 lies outside the PIC18F452!", d},
        {"EEPROM past the chip", linear(0xF0) + record(0xFF, {1, 2}) + "\n",
         "Address F00100 in line 2 lies outside", d},
        {"a place the chip does not have", linear(0x20) + record(8, {0}) + "\n",
         "Address 200008 in line 2 lies outside", d},
        {"a PIC18 file on a 14-bit chip", gpasm, "Extended address 0020 in line 3!", k628a},
    };
    for (const CheckCase& c : cases) {
        SCOPED_TRACE(c.what);
        write("prog.hex", c.text);
        session.device = c.device;
        session.message.clear();
        EXPECT_EQ(fit(), c.refusal.empty() ? 0 : 1);
        EXPECT_EQ(session.message.substr(0, c.refusal.size()), c.refusal) << session.message;
    }

    // What the chip takes from gpasm's file, and from the configuration places.
    session.device = d;
    write("prog.hex", gpasm);
    HexFile read;
    ChipImage image;
    ASSERT_EQ(openHexFile(session, read), 0);
    ASSERT_EQ(fitSelectedFile(session, read, image, true), 0);
    const auto& b = image.pic18;
    EXPECT_EQ(b.code,
              (std::map<std::uint32_t, std::uint8_t>{{0, 0x55}, {1, 0x0E}, {2, 0x10}, {3, 0x6E}}));
    EXPECT_EQ(b.ids[7], 0xEF);
    EXPECT_EQ(b.config[1], 0x22);
    EXPECT_FALSE(b.config[0].has_value());
    EXPECT_EQ(b.data, (std::map<int, std::uint8_t>{{0, 'E'}, {1, 'E'}}));
    EXPECT_EQ(session.chip.configBytes[3], 0x0E);
    EXPECT_TRUE(session.file.hasConfigWord);

    window.boxes.clear();
    write("prog.hex", linear(0x30) + record(0, {0, 0xFF, 0x0E, 0x0E, 0xFF, 0x01}) + "\n" + end);
    ASSERT_EQ(openHexFile(session, read), 0);
    ASSERT_EQ(fitSelectedFile(session, read, image, true), 0);
    EXPECT_EQ(image.pic18.config[1], 0x27);
    EXPECT_FALSE(image.pic18.config[0] || image.pic18.config[4]);
    EXPECT_TRUE(window.boxes.empty());
}

// A PIC18 readback reads back in as the same bytes.
TEST_F(HexInputTest, Pic18ReadbackFileReadsBackAsTheChip) {
    session.device = pic18f452();
    Pic18Contents chip;
    for (std::uint32_t a = 0; a < 0x8000; ++a)
        chip.bytes.code[a] = static_cast<std::uint8_t>(a * 7 + (a >> 8));
    for (std::size_t k = 0; k < 8; ++k)
        chip.bytes.ids[k] = static_cast<std::uint8_t>(0x10 + k);
    for (std::size_t k = 0; k < kPic18ConfigBytes; ++k) {
        if (session.device.configBytes[k].mask != 0)
            chip.bytes.config[k] = static_cast<std::uint8_t>(session.device.configBytes[k].mask);
    }
    for (int k = 0; k < 256; ++k)
        chip.bytes.data[k] = static_cast<std::uint8_t>(255 - k);
    write("prog.hex", pic18HexText(chip));
    HexFile read;
    ChipImage image;
    ASSERT_EQ(openHexFile(session, read), 0);
    ASSERT_EQ(fitSelectedFile(session, read, image, true), 0) << session.message;
    EXPECT_EQ(image.pic18.code, chip.bytes.code);
    EXPECT_EQ(image.pic18.ids, chip.bytes.ids);
    EXPECT_EQ(image.pic18.config, chip.bytes.config);
    EXPECT_EQ(image.pic18.data, chip.bytes.data);
    EXPECT_EQ(read.checksumErrorLine, 0);
}

// The shipped examples fit their chips in gpasm's INHX8M form and in its
// INHX32 form with a zero extended address.
TEST_F(HexInputTest, AssembledExamplesFitTheirChips) {
    const std::pair<const char*, DeviceRecord> programs[] = {
        {"blink_12c508", k508},
        {"blink_16f628a", k628a},
        {"runlight_16f84a", chip("PIC16F84A", 1, 1024, 64)},
    };
    for (const auto& [name, device] : programs) {
        for (const char* form : {"inhx8m", "inhx32"}) {
            SCOPED_TRACE(std::string(name) + " " + form);
            const std::string command = "gpasm -q -a " + std::string(form) + " -o '" +
                                        session.file.hexPath +
                                        "' '" FERROLUX_DATA_DIR "/../examples/" + name + ".asm'";
            ASSERT_EQ(std::system(command.c_str()), 0);
            session.device = device;
            EXPECT_EQ(fit(), 0) << session.message;
        }
    }
}

// Inputs kept from fuzzing, run through the fuzz targets' own checks.
TEST_F(FilesTest, FuzzRegressionInputs) {
    using Reader = void (*)(const std::filesystem::path&, std::span<const std::uint8_t>);
    const std::pair<const char*, Reader> readers[] = {{"device_list", fuzz::runDeviceList},
                                                      {"hex_input", fuzz::runHexInput},
                                                      {"state_file", fuzz::runStateFile}};
    for (const auto& [kind, run] : readers) {
        int seen = 0;
        for (const auto& entry : std::filesystem::directory_iterator(
                 std::filesystem::path(FERROLUX_REGRESSION_DIR) / kind)) {
            SCOPED_TRACE(entry.path().string());
            const std::string bytes = readFile(entry.path());
            run(dir, std::span(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()));
            ++seen;
        }
        EXPECT_GT(seen, 0) << kind;
    }
}

}  // namespace
}  // namespace ferrolux::test
