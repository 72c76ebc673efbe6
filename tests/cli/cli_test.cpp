// ferrolux-cli as a user runs it, against the simulated board in a fresh
// program directory; no terminal, so questions are answered Cancel unless --yes.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "sim/chip_image.h"
#include "sim/chip_profile.h"
#include "support/hex_record.h"
#include "support/temp_dir.h"

namespace ferrolux::test {
namespace {

struct Result {
    int status;
    std::string out;
    std::string err;
};

struct Cli : ::testing::Test {
    TempDir dir;
    void SetUp() override {
        std::filesystem::copy_file(std::filesystem::path(FERROLUX_SOURCE_DIR) / "data/kestrum.ini",
                                   dir.path() / "kestrum.ini");
    }
    static std::string example(const std::string& name) {
        return std::string(FERROLUX_EXAMPLE_DIR) + "/" + name + ".hex";
    }
    // Runs the tool in the program directory with no terminal on its input;
    // the per-user program directory is the test's own.
    // The output goes to `output` when one is named (a device such as /dev/full).
    Result run(const std::string& args, const std::string& output = "") {
        const auto out = dir.path() / "out.txt", err = dir.path() / "err.txt";
        const std::string command = "cd '" + dir.path().string() + "' && XDG_DATA_HOME='" +
                                    (dir.path() / "xdg").string() + "' '" FERROLUX_CLI "' " + args +
                                    " </dev/null >'" + (output.empty() ? out.string() : output) +
                                    "' 2>'" + err.string() + "'";
        const int raw = std::system(command.c_str());
        return {WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, readFile(out), readFile(err)};
    }
    // `text` as prog.hex in the program directory; its name.
    std::string hexFile(const std::string& text) {
        writeFile(dir.path() / "prog.hex", text);
        return "prog.hex";
    }
    std::string image(const std::string& chip) {
        return readFile(sim::chipImagePath(dir.path(), chip));
    }
    // The virtual chip's cells as the last run left them.
    sim::ChipMemory cells(const std::string& chip) {
        const auto memory = sim::parseChipImage(*sim::findProfile(chip), image(chip));
        EXPECT_TRUE(memory.has_value()) << chip;
        return memory.value_or(sim::ChipMemory{});
    }
};

// What the chip holds after each command: the ID cells (14-bit chips keep
// 0x3F80 over the digit) and the configuration word.
TEST_F(Cli, NumbersReachTheChipExactlyAsGivenWithOrWithoutPrefix) {
    const struct {
        const char* chip;
        const char* args;
        std::array<int, 4> ids;
        int config;
    } cases[] = {
        {"PIC16F84A", "config 3ff1", {0x3FFF, 0x3FFF, 0x3FFF, 0x3FFF}, 0x3FF1},
        {"PIC16F84A", "ids 0xF 0xb 0X7 0xA", {0x3F8F, 0x3F8B, 0x3F87, 0x3F8A}, 0x3FF1},
        // Unerased cells only lose bits: each value below is within the one before.
        {"PIC16F84A", "config 0x3F10", {0x3F8F, 0x3F8B, 0x3F87, 0x3F8A}, 0x3F10},
        {"PIC16F84A", "ids 1 2 3 A", {0x3F81, 0x3F82, 0x3F83, 0x3F8A}, 0x3F10},
        {"PIC12F508", "config 0xFEA", {0xFFF, 0xFFF, 0xFFF, 0xFFF}, 0xFEA},
        {"PIC12F508", "ids 0x1 0x2 0x3 0xA", {0x1, 0x2, 0x3, 0xA}, 0xFEA},
    };
    ASSERT_EQ(run("-P sim -c PIC16F84A eeprom 0x3F=0xa1 5=3c").status, 0);
    EXPECT_EQ(cells("PIC16F84A").data[0x3F], 0xA1);
    EXPECT_EQ(cells("PIC16F84A").data[5], 0x3C);
    Result r = run("eeprom");
    EXPECT_NE(r.out.find("0005: 3C \n"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("003F: A1 \n"), std::string::npos) << r.out;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.args);
        const Result r = run(std::string("-P sim -c ") + c.chip + " " + c.args);
        ASSERT_EQ(r.status, 0) << r.err;
        const sim::ChipMemory m = cells(c.chip);
        for (std::size_t i = 0; i < 4; ++i)
            EXPECT_EQ(m.config[i], c.ids[i]) << "ID" << i;
        EXPECT_EQ(m.config[sim::kConfigWordIndex], c.config);
    }
    // A 16F88x's second word (0x2008): as given, and kept when only the first is.
    for (const char* args : {"config 2FD4 3EFF", "config 2FD5"}) {
        ASSERT_EQ(run(std::string("-y --force -P sim -c PIC16F887 ") + args).status, 0) << args;
        EXPECT_EQ(cells("PIC16F887").config[8] & 0x0700, 0x0600) << args;
    }
    // Read back as the dialogs show them.
    r = run("-c PIC16F84A config");
    EXPECT_EQ(r.out.rfind("Config-Word: 3F10\n", 0), 0u) << r.out;
    EXPECT_NE(r.out.find("Bit 3  [x] /PWRTE"), std::string::npos) << r.out;
    EXPECT_EQ(run("ids").out, "ID0: 1  ID1: 2  ID2: 3  ID3: A\n");

    // What does not fit is refused before the chip is touched.
    const std::string f84 = image("PIC16F84A");
    const std::string f508 = image("PIC12F508");
    for (const char* refused :
         {"-c PIC16F84A config 0x4000", "-c PIC16F84A config 13F10", "-c PIC16F84A config FFFF",
          "-c PIC16F84A config 0x", "-c PIC12F508 config 0x1000", "-c PIC16F84A ids 1 2 3 10",
          "-c PIC16F84A ids 1 2 3 0x", "-c PIC16F84A eeprom 0x40=00", "-c PIC16F84A eeprom 5=100",
          "-c PIC16F84A eeprom 5=-1", "-c PIC16F84A config 3FF1 3FFF"}) {
        SCOPED_TRACE(refused);
        EXPECT_EQ(run(refused).status, 2);
    }
    EXPECT_EQ(image("PIC16F84A"), f84);
    EXPECT_EQ(image("PIC12F508"), f508);
}

// A PIC16F84A program of four code words, its configuration word and two
// EEPROM bytes; its checksum as an unprotected chip holding it shows it.
struct SmallProgram {
    std::vector<int> code{0x1683, 0x0186, 0x1283, 0x2803};
    int config = 0x3FF1;
    std::string text(bool eeprom) const {
        std::string hex = hexRecord(0, wordBytes({code[0], code[1], code[2], code[3]})) + "\n" +
                          hexRecord(0x400E, wordBytes({config})) + "\n";
        if (eeprom) hex += hexRecord(0x4200, wordBytes({0x11, 0x22})) + "\n";
        return hex + ":00000001FF\n";
    }
    // Every code word of the 1024 (erased ones 3FFF) plus the configuration word.
    int checksum() const {
        int sum = (1024 - static_cast<int>(code.size())) * 0x3FFF + config;
        for (int w : code)
            sum += w;
        return sum & 0xFFFF;
    }
};

std::string checksumLine(int sum) {
    char text[32];
    std::snprintf(text, sizeof text, "  checksum: %04X\n", static_cast<unsigned>(sum));
    return text;
}

TEST_F(Cli, WriteVerifyReadEraseAndBlankReportWhatTheyDidWithTheChipsChecksum) {
    const SmallProgram program;
    const std::string file = hexFile(program.text(true));
    Result r = run("-P sim -c PIC16F84A write " + file);
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "OK\n");
    // No terminal: no progress line; what the run works on comes first, the
    // report last.
    EXPECT_EQ(r.err.rfind("PIC16F84A on SIM1 (speed 2)\nReport: PIC16F84A, DEV-ID 0560", 0), 0u)
        << r.err;
    EXPECT_NE(
        r.err.find("written: code 4 words, EEPROM 2 bytes, IDs 0 words, configuration 1 word"),
        std::string::npos)
        << r.err;
    EXPECT_NE(r.err.find("  time: "), std::string::npos) << r.err;
    EXPECT_NE(r.err.find(checksumLine(program.checksum())), std::string::npos) << r.err;

    // A new run finds port, chip and the written chip again.
    r = run("verify --data " + file);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_NE(
        r.err.find("compared: code 4 words, EEPROM 2 bytes, IDs 0 words, configuration 1 word"),
        std::string::npos)
        << r.err;
    EXPECT_NE(r.err.find(checksumLine(program.checksum())), std::string::npos) << r.err;

    // A read reports the chip it read: the same checksum, and the readback on
    // the standard output stays the file alone.
    r = run("read -o -");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out.rfind(":", 0), 0u);
    EXPECT_NE(r.err.find("read: code 1024 words, EEPROM 64 bytes"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find(checksumLine(program.checksum())), std::string::npos) << r.err;
    r = run("blank");
    EXPECT_EQ(r.out.rfind("not blank", 0), 0u);
    EXPECT_NE(r.err.find(checksumLine(program.checksum())), std::string::npos) << r.err;

    r = run("erase data");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("Warning!: This Command Deletes Data-Memory! [y/N]"), std::string::npos);
    EXPECT_EQ(run("eeprom").out.substr(0, 9), "0000: 11 ");
    ASSERT_EQ(run("--yes erase data").status, 0);
    EXPECT_EQ(run("eeprom").out.substr(0, 9), "0000: FF ");
    ASSERT_EQ(run("-y erase all").status, 0);
    r = run("blank");
    EXPECT_EQ(r.out, "blank\n");
    EXPECT_NE(r.err.find(checksumLine(1025 * 0x3FFF & 0xFFFF)), std::string::npos) << r.err;
}

TEST_F(Cli, WriteKeepsTheEepromUnlessTheFileBringsItsOwnAndRefusesAProtectedOne) {
    const SmallProgram program;
    ASSERT_EQ(run("-P sim -c PIC16F84A eeprom 0=5A 3F=A5").status, 0);
    Result r = run("write --keep-eeprom " + hexFile(program.text(false)));
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.err.find("the chip's data kept"), std::string::npos) << r.err;
    EXPECT_EQ(cells("PIC16F84A").data[0], 0x5A);
    EXPECT_EQ(cells("PIC16F84A").data[0x3F], 0xA5);
    EXPECT_EQ(cells("PIC16F84A").program[0], program.code[0]);

    // The file's EEPROM wins over the chip's, and the report says so.
    r = run("write --keep-eeprom " + hexFile(program.text(true)));
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.err.find("the file's data written"), std::string::npos) << r.err;
    EXPECT_EQ(cells("PIC16F84A").data[0], 0x11);
    EXPECT_EQ(cells("PIC16F84A").data[0x3F], 0xFF);

    // Without the option the erase takes the EEPROM with it.
    ASSERT_EQ(run("eeprom 3F=A5").status, 0);
    ASSERT_EQ(run("write " + hexFile(program.text(false))).status, 0);
    EXPECT_EQ(cells("PIC16F84A").data[0x3F], 0xFF);

    // Data protection (/CPD 0) reads as zeros: refused before the erase.
    ASSERT_EQ(run("-c PIC16F628A eeprom 0=5A").status, 0);
    ASSERT_EQ(run("-y config 3EFF").status, 0);
    const std::string before = image("PIC16F628A");
    r = run("write --keep-eeprom " + hexFile(program.text(false)));
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("The data memory is protected (Config-Word 3EFF)"), std::string::npos)
        << r.err;
    EXPECT_NE(r.err.find("Nothing was erased."), std::string::npos) << r.err;
    EXPECT_EQ(image("PIC16F628A"), before);
    EXPECT_EQ(run("-c PIC12F508 write --keep-eeprom " + hexFile(program.text(false))).status, 2);
}

// A PIC18 chip keeps its EEPROM the same way, written back with the program.
TEST_F(Cli, Pic18WriteKeepsTheEeprom) {
    ASSERT_EQ(run("--force -P sim -c PIC18F4620 eeprom 0=5A 3FF=A5").status, 0);
    const std::string file = hexFile(hexRecord(0, {0, 0}, 4) + "\n" +
                                     hexRecord(0, {0x12, 0x34, 0x56, 0x78}) + "\n:00000001FF\n");
    const Result r = run("--force write --keep-eeprom " + file);
    ASSERT_EQ(r.status, 0) << r.err;
    const std::string eeprom = run("eeprom").out;
    EXPECT_NE(eeprom.find("0000: 5A \n"), std::string::npos);
    EXPECT_NE(eeprom.find("03FF: A5 \n"), std::string::npos);
    // Written and read back, the chip shows the checksum of the file.
    const std::string line = r.err.substr(r.err.find("  checksum: "));
    EXPECT_NE(run("read").err.find(line), std::string::npos) << line;
}

TEST_F(Cli, ConfigurationBitsOfA14BitChipByNameWithProtectionAskedFirst) {
    ASSERT_EQ(run("-y -P sim -c PIC16F84A erase all").status, 0);
    Result r = run("config WDTE=0 /pwrte=0");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out.rfind("Config-Word: 3FF3\n", 0), 0u) << r.out;
    EXPECT_EQ(cells("PIC16F84A").config[sim::kConfigWordIndex], 0x3FF3);
    // On a hex word: the word, then the bits.
    ASSERT_EQ(run("config 3FF3 fosc0=0").status, 0);
    EXPECT_EQ(cells("PIC16F84A").config[sim::kConfigWordIndex], 0x3FF2);

    r = run("config BOREN=1");
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("its bits: /CP /PWRTE WDTE FOSC1 FOSC0"), std::string::npos) << r.err;
    EXPECT_EQ(run("config WDTE=2").status, 2);

    // Code protection is asked about; no terminal answers Cancel.
    r = run("config CP=0");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("Warning!: Code or write protection will be set (Config-Word /CP)"),
              std::string::npos)
        << r.err;
    EXPECT_EQ(cells("PIC16F84A").config[sim::kConfigWordIndex], 0x3FF2);
    ASSERT_EQ(run("--yes config CP=0").status, 0);
    EXPECT_EQ(cells("PIC16F84A").config[sim::kConfigWordIndex], 0x0002);
}

// A PIC18 program as gpasm writes it (INHX32): written, found again by the
// next run, named by its device ID, verified and read back in the same form.
TEST_F(Cli, Pic18ProgramOnTheSimulator) {
    const std::string asm18 = std::string(FERROLUX_SOURCE_DIR) + "/tests/device/asm/pic18.asm";
    const std::string hex = (dir.path() / "p18.hex").string();
    ASSERT_EQ(
        std::system(
            ("gpasm -q -p 18f4620 -D BIG -a inhx32 -o '" + hex + "' '" + asm18 + "'").c_str()),
        0);
    Result r = run("-P sim -p PIC18F4620 --force write p18.hex");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.err.find("takes at most 12.5 V"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("y (--force)"), std::string::npos) << r.err;
    EXPECT_EQ(run("detect").out, "DEV-ID: 0C02 PIC18F4620\n");
    r = run("verify --data p18.hex");
    EXPECT_EQ(r.status, 0) << r.err;
    ASSERT_EQ(run("read").status, 0);
    const std::string back = readFile(dir.path() / "readback.hex");
    for (const char* record : {":020000040030CA", ":0200000400F00A", ":080000000123456789ABCDEF38"})
        EXPECT_NE(back.find(record), std::string::npos) << record;
    ASSERT_EQ(run("read --text").status, 0);
    const std::string listing = readFile(dir.path() / "readback.txt");
    for (const char* line : {"\r\n000000: 55 0E 10 6E", "ID: 01 23 45 67 89 AB CD EF\r\n",
                             "CONFIG1H (300001): 02\r\n", "\r\nF00000: 45 45 50 52 4F 4D 12 34"})
        EXPECT_NE(listing.find(line), std::string::npos) << line;
    r = run("-y erase code");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("is erased whole here"), std::string::npos) << r.err;
    r = run("blank");
    EXPECT_EQ(r.status, 3);
    EXPECT_EQ(r.out.rfind("not blank: 0000 holds ", 0), 0u) << r.out;  // a byte: two digits
    EXPECT_EQ(r.out.size(), std::string("not blank: 0000 holds 00\n").size()) << r.out;
    EXPECT_EQ(run("-y --force erase all").status, 0);
    EXPECT_EQ(run("blank").out, "blank\n");
}

TEST_F(Cli, ArgumentFormsFailuresAndTheirExitStatuses) {
    ASSERT_EQ(run("-P sim -c PIC16F628A write " + example("blink_16f628a")).status, 0);
    const std::string blink = example("blink_16f628a");
    const std::string runlight = example("runlight_16f84a");
    // Each row: arguments, status, and a text the output or the errors hold.
    const struct {
        std::string args;
        int status;
        const char* shows;
    } rows[] = {
        {"--version", 0, "ferrolux-cli 2.6.0\n"},
        {"--help", 0, "4 no programmer or no chip found"},
        {"write --help", 0, "usage: ferrolux-cli [options] write FILE"},
        {"help read", 0, "-o - the standard output"},
        {"-yqPSIM1 -pPIC16F628A detect", 0, "DEV-ID: 1060 PIC16F628A\n"},
        {"--port=sim --chip=PIC16F628A --speed=3 detect", 0, "DEV-ID: 1060"},
        {"--po sim --verb", 2, "unknown option --verb"},
        {"--port= chips", 2, "--port needs a value, not an empty one"},
        {"-c", 2, "-c needs a value"},
        {"--yes=1 chips", 2, "--yes takes no value"},
        {"-o x.hex detect", 2, "--output does not belong to 'detect'"},
        {"", 2, "no command given"},
        {"frobnicate", 2, "unknown command"},
        {"-c PIC99X99 chips", 2, "unknown chip"},
        {"-P COM9 chips", 2, "unknown port"},
        {"verify", 2, "wrong number"},
        {"read --no-code", 2, "does not belong"},
        {"ids 1 2 3", 2, "none or four"},
        {"config XYZ", 2, "hex up to 3FFF"},
        {"-s 7 chips", 2, "speed is 0 to 3"},
        {"eeprom 80=00", 2, "beyond the 128 data bytes"},
        {"-C /nonexistent/dir chips", 2, "no such directory"},
        {"-- --yes chips", 2, "unknown command '--yes'"},
        {"write missing.hex", 1, "Error: Open Error!"},
        {"read -o .", 1, ". is not a regular file"},  // never replaces a folder or device
        {"verify " + blink, 0, "OK\n"},
        {"verify " + runlight, 3, "Error: Verify failed at Adr: "},
        {"blank", 3, "not blank: 0000 holds 2805\n"},
        {"-c PIC12C508 blank", 0, "blank\n"},
        // Factory calibration words and configuration bits that read 0 are erased.
        {"-c PIC12F675 blank", 0, "blank\n"},
        {"-c PIC16F877 blank", 0, "blank\n"},
        {"-c PIC12F508 blank", 0, "blank\n"},
        {"-c PIC12F508 write " + blink, 1, "does not fit the PIC12F508!\nCheck the PIC type"},
        {"-c PIC12C508 verify " + example("blink_12c508"), 3, "Verify failed"},
        {"-c PIC16F628A -P /dev/null detect", 4,
         "port /dev/null not stored; kestrum.cfg keeps SIM1"},
        {"-P SIM1 -c 16f84a -s 2 chips", 0, "\nPIC16F84A\n"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.args);
        const Result r = run(row.args);
        EXPECT_EQ(r.status, row.status) << r.err;
        EXPECT_NE((r.out + r.err).find(row.shows), std::string::npos) << r.out << r.err;
    }
    EXPECT_FALSE(std::filesystem::exists(std::filesystem::symlink_status(dir.path() / "COM3")));
    // Options are stored as the window stores them: the chip by its place in the sorted list.
    const std::string chips = run("chips").out;
    const std::string state = readFile(dir.path() / "kestrum.cfg");
    ASSERT_GE(state.size(), 11u);
    EXPECT_EQ(state.substr(0, 4), "SIM1");
    EXPECT_EQ(state[10], '2');
    EXPECT_EQ(std::stoi(state.substr(4, 2)),
              std::count(chips.begin(), chips.begin() + chips.find("\nPIC16F84A\n"), '\n') + 1);

    // Readback into a named file or the output; no readback.hex appears.
    Result r = run("-c PIC16F628A read -o chip.hex");
    EXPECT_EQ(r.out, "'chip.hex' saved\n");
    EXPECT_NE(readFile(dir.path() / "chip.hex").find(":02400E00703F01"), std::string::npos);
    r = run("read --text -o -");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out.rfind("FLASH-Memory:\r\n", 0), 0u);
    EXPECT_FALSE(std::filesystem::exists(dir.path() / "readback.hex"));

    // Without kestrum.ini here the per-user directory is tried, and named.
    std::filesystem::rename(dir.path() / "kestrum.ini", dir.path() / "list.ini");
    r = run("chips");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("no device list kestrum.ini found; tried: " +
                         (dir.path() / "kestrum.ini").string() + ", " +
                         (dir.path() / "xdg/ferrolux/kestrum.ini").string()),
              std::string::npos)
        << r.err;
    r = run("-C . chips");
    EXPECT_NE(r.err.find("Error!: Open Error 'kestrum.ini !'"), std::string::npos);
}

// Runs that cannot do what was asked end in failure, before the chip is
// touched where that can be known: output that is lost, the program's own
// files as output, no chip selected, an empty 12-bit socket, a protected chip.
TEST_F(Cli, RunsThatCannotDoWhatWasAskedFailAndSayWhy) {
    ASSERT_EQ(run("-P sim -c PIC16F628A write " + example("blink_16f628a")).status, 0);
    // A 12-bit chip the simulator has no model of: its socket stays empty.
    std::ofstream(dir.path() / "kestrum.ini", std::ios::app)
        << "PIC12F5XX\tC508\t512\t0\tN\t9\tN\n";
    const std::string list = readFile(dir.path() / "kestrum.ini");
    const std::string chip = image("PIC16F628A");
    const struct {
        std::string args;
        int status;
        const char* shows;
        const char* output = "";  // where the output goes; "" the test's file
    } rows[] = {
        {"-c PIC16F628A read -o -", 1,
         "Cannot write the readback to the standard output: No space left on device", "/dev/full"},
        {"detect", 1, "Error: Cannot write to the standard output.", "/dev/full"},
        {"read -o kestrum.ini", 1, "kestrum.ini is one of the program's own files"},
        {"read --text -o ./kestrum.cfg", 1, "is one of the program's own files"},
        {"read -o sim/PIC16F628A.hex", 1, "is one of the program's own files"},
        {"read -o '" + (dir.path() / "sim/../kestrum.ini").string() + "'", 1, "own files"},
        {"-c PIC12F5XX blank", 4, "Error: NO PIC ON BOARD"},
        {"detect", 4, "Error: NO PIC ON BOARD"},
        {"-y erase all", 4, "Error: NO PIC ON BOARD"},
        {"config", 4, "Error: NO PIC ON BOARD"},
        {"ids", 4, "Error: NO PIC ON BOARD"},
        {"read", 4, "Error: NO PIC ON BOARD"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.args);
        const Result r = run(row.args, row.output);
        EXPECT_EQ(r.status, row.status) << r.err;
        EXPECT_NE(r.err.find(row.shows), std::string::npos) << r.err;
    }
    EXPECT_EQ(readFile(dir.path() / "kestrum.ini"), list);
    EXPECT_EQ(image("PIC16F628A"), chip);

    // A stored chip index that names no chip, or a stored name the list no
    // longer has: every chip command refuses.
    for (const char* index : {"-1", "ab", "05"}) {
        std::string state = readFile(dir.path() / "kestrum.cfg").substr(0, 30);
        state.replace(4, 2, index);
        if (index == std::string("05")) state += std::string(274, ' ') + "PIC16F999" + '\0';
        std::ofstream(dir.path() / "kestrum.cfg", std::ios::binary) << state;
        for (const char* command :
             {"detect", "blank", "read", "erase all", "config", "ids", "eeprom"}) {
            SCOPED_TRACE(std::string(index) + " " + command);
            const Result r = run(std::string("-y ") + command);
            EXPECT_EQ(r.status, 1);
            EXPECT_NE(r.err.find("ERROR!: No PIC selected!"), std::string::npos) << r.err;
            EXPECT_EQ(r.out, "");
        }
    }

    // A code-protected chip reads as zeros: its readback is a failure and
    // saves nothing, unless --force says it is wanted.
    ASSERT_EQ(run("-y -c PIC16F84A config 000F").status, 0);
    Result r = run("read");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("Error: The chip is code-protected (Config-Word 000F): its code and data "
                         "memory reads as zeros."),
              std::string::npos)
        << r.err;
    EXPECT_NE(r.err.find("--force saves it all the same"), std::string::npos);
    EXPECT_EQ(run("read -o -").out, "");
    EXPECT_FALSE(std::filesystem::exists(dir.path() / "readback.hex"));
    r = run("read --force");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.err.find("Warning!: The chip is code-protected"), std::string::npos);
    EXPECT_EQ(r.out, "'readback.hex' saved\n");
    EXPECT_TRUE(std::filesystem::exists(dir.path() / "readback.hex"));
}

// The device list is only read: one that cannot be opened for writing (here
// a running program, which not even root may write) serves as well.
TEST_F(Cli, ADeviceListThatCannotBeWrittenIsRead) {
    std::filesystem::remove(dir.path() / "kestrum.ini");
    std::filesystem::create_symlink(FERROLUX_CLI, dir.path() / "kestrum.ini");
    const Result r = run("chips");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err.find("Open Error"), std::string::npos) << r.err;
}

TEST_F(Cli, AComPortThatCannotOpenSaysWhyOnASecondLineAndIsNotStored) {
    std::filesystem::create_symlink("/nonexistent/ttyX", dir.path() / "COM3");
    for (const char* command : {"detect", "ids"}) {
        SCOPED_TRACE(command);
        const Result r = run(std::string("-P COM3 ") + command);
        EXPECT_EQ(r.status, 4);
        EXPECT_EQ(readFile(dir.path() / "kestrum.cfg").substr(0, 4), "COM2");
        EXPECT_NE(r.err.find("Error: COM-Init-Error!\n" + (dir.path() / "COM3").string() +
                             ": No such file or directory"),
                  std::string::npos)
            << r.err;
    }
}

// Hex files as toolchains write them, each with one trait a strict reader
// refuses: written, verified and read back.
// A record line with its CR LF, and the end record.
std::string rec(int address, const std::vector<int>& data) {
    return hexRecord(address, data) + "\r\n";
}
const std::string kEnd = ":00000001FF\r\n";

TEST_F(Cli, WhatToolchainsWriteIsWrittenVerifiedAndReadBack) {
    const struct {
        const char* what;
        const char* chip;
        std::string text;
        int code0;         // program word 0 afterwards
        int config;        // the configuration word, in the bits the chip implements
        int config2 = -1;  // the second one, where the chip has it
        int data0 = 0xFF;  // EEPROM byte 0
    } cases[] = {
        {"comment lines after the end record", "PIC16F84A",
         rec(0, wordBytes({0x0000})) + rec(0x400E, wordBytes({0x3FF1})) + kEnd + ";PIC16F84A\r\n" +
             ";CRC=5A3C  CREATED=\"07-Dec-26 10:00\"\r\n",
         0x0000, 0x3FF1},
        {"a blank line after the end record", "PIC16F84A",
         rec(0, wordBytes({0x3055})) + rec(0x400E, wordBytes({0x3FF1})) + kEnd + "\r\n\r\n", 0x3055,
         0x3FF1},
        {"records out of address order", "PIC16F628A",
         rec(0x20, wordBytes({0x1234 & 0x3FFF})) + rec(0x4200, {0x42, 0}) +
             rec(0x400E, wordBytes({0x3F70})) + rec(0, wordBytes({0x2805})) + kEnd,
         0x2805, 0x3F70, -1, 0x42},
        {"unimplemented configuration bits written as 0", "PIC16F877A",
         rec(0, wordBytes({0x2805})) + rec(0x400E, wordBytes({0x2F4A})) + kEnd, 0x2805, 0x2F4A},
        {"no configuration bits above the implemented ones", "PIC16F73",
         rec(0, wordBytes({0x2805})) + rec(0x400E, wordBytes({0x001B})) + kEnd, 0x2805, 0x001B},
        {"configuration word with the bits above the core set", "PIC16F876A",
         rec(0, wordBytes({0x2805})) + rec(0x400E, wordBytes({0xFF32})) + kEnd, 0x2805, 0x3F32},
        {"12-bit configuration word with the bits above the core set", "PIC12F508",
         rec(0, wordBytes({0x0A05})) + rec(0x1FFE, wordBytes({0xFFEA})) + kEnd, 0x0A05, 0xFEA},
        {"second configuration word as its own record", "PIC16F88",
         rec(0, wordBytes({0x2805})) + rec(0x400E, wordBytes({0x3F30})) +
             rec(0x4010, wordBytes({0x3FFC})) + kEnd,
         0x2805, 0x3F30, 0x3FFC},
        {"both configuration words in one record", "PIC16F88",
         rec(0, wordBytes({0x2805})) + rec(0x400E, wordBytes({0x3F30, 0x3FFD})) + kEnd, 0x2805,
         0x3F30, 0x3FFD},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        std::filesystem::remove_all(dir.path() / "sim");
        const std::string args = std::string("-P sim -c ") + c.chip + " --yes ";
        const Result written = run(args + "write " + hexFile(c.text));
        ASSERT_EQ(written.status, 0) << written.err;
        const Result verified = run(args + "verify " + hexFile(c.text));
        EXPECT_EQ(verified.status, 0) << verified.err;
        const sim::ChipMemory chip = cells(c.chip);
        const auto profile = *sim::findProfile(c.chip);
        EXPECT_EQ(chip.program[0], c.code0);
        EXPECT_EQ(chip.config[7] & profile.configImplemented, c.config & profile.configImplemented);
        if (c.config2 >= 0) {
            EXPECT_EQ(chip.config[8] & profile.config2Implemented,
                      c.config2 & profile.config2Implemented);
        }
        if (!chip.data.empty()) {
            EXPECT_EQ(chip.data[0], c.data0);
        }
        // The chip read back verifies against its own readback.
        ASSERT_EQ(run(args + "read -o back.hex").status, 0);
        EXPECT_EQ(run(args + "verify back.hex").status, 0);
    }
}

// What was changed on the chip after the file went in is found by verify,
// named with both values, and is a mismatch (exit status 3).
TEST_F(Cli, VerifyComparesConfigurationWordsAndIds) {
    const std::string program = rec(0, wordBytes({0x3055})) +
                                rec(0x4000, wordBytes({0xF, 0xF, 0xF, 0xE})) +
                                rec(0x400E, wordBytes({0x3FF1})) + kEnd;
    const std::string f = hexFile(program);
    const std::string sim84 = "-P sim -c PIC16F84A --yes ";
    // IDs alone make a chip not blank.
    for (const char* chip : {"PIC16F84A", "PIC12F508"}) {
        SCOPED_TRACE(chip);
        const std::string sim = std::string("-P sim -c ") + chip + " --yes ";
        ASSERT_EQ(run(sim + "blank").status, 0);
        ASSERT_EQ(run(sim + "ids 1 2 3 4").status, 0);
        EXPECT_EQ(run(sim + "blank").status, 3);
    }
    ASSERT_EQ(run(sim84 + "write " + f).status, 0);
    EXPECT_EQ(run(sim84 + "verify " + f).status, 0);

    // Flash cells written again only lose bits.
    ASSERT_EQ(run(sim84 + "config 3FF0").status, 0);
    Result r = run(sim84 + "verify " + f);
    EXPECT_EQ(r.status, 3);
    EXPECT_NE(r.err.find("Verify failed at Config-Word: chip 3FF0, file 3FF1"), std::string::npos)
        << r.err;

    ASSERT_EQ(run(sim84 + "write " + f).status, 0);
    ASSERT_EQ(run(sim84 + "ids 1 2 3 4").status, 0);
    r = run(sim84 + "verify " + f);
    EXPECT_EQ(r.status, 3);
    EXPECT_NE(r.err.find("Verify failed at ID0: chip 0001, file 000F"), std::string::npos) << r.err;

    const std::string sim887 = "-P sim -c PIC16F887 --yes --force ";
    const std::string two =
        hexFile(rec(0, wordBytes({0x3055})) + rec(0x400E, wordBytes({0x2FD4, 0x3FFF})) + kEnd);
    ASSERT_EQ(run(sim887 + "write " + two).status, 0);
    EXPECT_EQ(run(sim887 + "verify " + two).status, 0);
    ASSERT_EQ(run(sim887 + "config 2FD4 3EFF").status, 0);
    r = run(sim887 + "verify " + two);
    EXPECT_EQ(r.status, 3);
    EXPECT_NE(r.err.find("Verify failed at Config-Word 2: chip 3EFF, file 3FFF"), std::string::npos)
        << r.err;
}

// PIC18 configuration bytes: shown with their bits, set by address, name or
// bit label; bad settings and refused protection leave the chip as it was.
TEST_F(Cli, Pic18ConfigBytesAreShownAndSetByAddressNameOrBit) {
    Result r = run("-P SIM1 -c PIC18F242 config");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(std::count(r.out.begin(), r.out.end(), '\n'), 11) << r.out;
    EXPECT_EQ(r.out.rfind("CONFIG1H 300001: 27  /OSCS=1 OSC2=1 OSC1=1 OSC0=1\n", 0), 0u) << r.out;
    const std::string chip = image("PIC18F242");
    ASSERT_FALSE(chip.empty());

    const std::pair<const char*, const char*> refused[] = {
        {"config 1L=00", "PIC18F242 has no configuration byte CONFIG1L (300000)"},
        {"config 1H=FF", "CONFIG1H (300001) holds only the bits 27; FF sets others"},
        {"config 0x300002=1G", "the value of CONFIG2L is two hex digits, not '1G'"},
        {"config 1H=22 FOO=1", "no configuration byte or bit of PIC18F242 is named 'FOO'"},
        {"config WDT=2", "the bit WDT is 0 or 1, not '2'"},
        {"config 3FFF", "PIC18F242 takes ADDR=VALUE or NAME=0|1, not '3FFF'"},
        {"config WDT=0 3FFF", "not '3FFF'"},
    };
    for (auto [args, text] : refused) {
        r = run(args);
        EXPECT_EQ(r.status, 2) << args;
        EXPECT_NE(r.err.find(text), std::string::npos) << args << ": " << r.err;
        EXPECT_TRUE(r.out.empty()) << args;
    }
    r = run("config CP0=0");  // no terminal: the question is answered Cancel
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("Warning!: Code or write protection will be set (CONFIG5L /CP0)"),
              std::string::npos)
        << r.err;
    EXPECT_EQ(image("PIC18F242"), chip);

    r = run("config 1h=22 0x300003=0e PWRT=0");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "PIC18F242 on SIM1 (speed 2)\n");
    EXPECT_EQ(r.out.substr(r.out.size() - 3), "OK\n");
    r = run("--yes config CONFIG5L=02 /wrtd=0");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.err.find("CONFIG5L /CP0, CONFIG6H /WRTD"), std::string::npos) << r.err;
    r = run("config");
    ASSERT_EQ(r.status, 0) << r.err;
    for (const char* line :
         {"CONFIG1H 300001: 22  /OSCS=1 OSC2=0 OSC1=1 OSC0=0\n",
          "CONFIG2L 300002: 0E  BORV1=1 BORV0=1 BOR=1 /PWRT=0\n",
          "CONFIG2H 300003: 0E  WDTPS2=1 WDTPS1=1 WDTPS0=1 WDT=0\n",
          "CONFIG5L 300008: 02  /CP1=1 /CP0=0\n", "CONFIG6H 30000B: 60  /WRTD=0 /WRTB=1 /WRTC=1\n"})
        EXPECT_NE(r.out.find(line), std::string::npos) << line << r.out;

    r = run("-c PIC16F84A config WDT=0");
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("unknown configuration bit 'WDT' of PIC16F84A; its bits: /CP"),
              std::string::npos)
        << r.err;
    r = run("config 3FFF 3FFF 3FFF");
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("wrong number of arguments for 'config'"), std::string::npos) << r.err;
    r = run("help config");
    EXPECT_NE(r.out.find("ADDR=VALUE"), std::string::npos) << r.out;
}

// -p names the part and -P the port; -p auto takes the chip whose ID is in
// the socket; --yes confirms what was asked, --force goes past what looks
// wrong; a chip command first names what it works on, on the error output.
TEST_F(Cli, PartAndPortLettersAndWhichOptionAnswersWhichQuestion) {
    ASSERT_EQ(run("-P sim -p PIC16F628A write " + example("blink_16f628a")).status, 0);
    const std::string bad = "bad.hex";
    writeFile(dir.path() / bad, ":020000000528D0\r\n" + kEnd);  // checksum D0, not D1
    const std::string noEnd = "noend.hex";
    writeFile(dir.path() / noEnd, rec(0, wordBytes({0x2805})));
    // Each row: arguments, status, and a text the output or the errors hold.
    const struct {
        std::string args;
        int status;
        std::string shows;
    } rows[] = {
        {"-p SIM1 detect", 2, "'SIM1' is a port, not a chip: -P SIM1 (--port) chooses the port"},
        {"-psim detect", 2, "-P sim"},
        {"--part COM3 detect", 2, "is a port, not a chip"},
        {"-c /dev/ttyUSB0 detect", 2, "is a port, not a chip"},
        {"-p ftdi:A12B detect", 2, "is a port, not a chip"},
        {"-p 378 detect", 2, "is a port, not a chip"},
        {"--pa PIC16F628A --po sim detect", 0, "DEV-ID: 1060 PIC16F628A\n"},
        {"-c PIC16F628A detect", 0, "DEV-ID: 1060 PIC16F628A\n"},
        {"-P /dev/null -p auto detect", 4, "not stored"},
        // Without a terminal: confirmations need --yes, doubts --force.
        {"erase all", 1, "[y/N] n (no terminal; --yes answers OK)"},
        {"--force erase all", 1, "[y/N] n (no terminal; --yes answers OK)"},
        {"-y write " + bad, 1,
         "Intel checksum wrong, continue? [y/N] n (no terminal; something looks wrong: --force, "
         "not --yes, answers OK)"},
        {"write " + noEnd, 1, "[y/N] n (no terminal; something looks wrong: --force answers OK)"},
        {"--force write " + bad, 0, "continue? [y/N] y (--force)"},
        {"-y erase all", 0, "[y/N] y (--yes)"},
        {"blank", 0, "blank\n"},
        {"write " + noEnd + " --force", 0, "y (--force)"},
        {"blank", 3, "not blank: 0000 holds 2805\n"},
        {"write nowhere/x.hex", 1,
         "Error: Open Error!\nnowhere/x.hex: No such file or directory\n"},
        {"write .", 1, "Error: Open Error!\n.: Is a directory\n"},
        {"-C sim detect", 1,
         "kestrum.ini !'\n" + (dir.path() / "sim/kestrum.ini").string() +
             ": No such file or directory\n"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.args);
        const Result r = run(row.args);
        EXPECT_EQ(r.status, row.status) << r.err;
        EXPECT_NE((r.out + r.err).find(row.shows), std::string::npos) << r.out << r.err;
    }

    // What the run works on comes first, on the error output; not for the
    // chip list, and not with -q.
    Result r = run("-s 3 detect");
    EXPECT_EQ(r.out, "DEV-ID: 1060 PIC16F628A\n");
    EXPECT_EQ(r.err, "PIC16F628A on SIM1 (speed 3)\n");
    EXPECT_EQ(run("-q detect").err, "");
    EXPECT_EQ(run("chips").err, "");
    EXPECT_EQ(run("--help").err, "");

    // -p auto: a 12-bit chip reads no ID, so the 14-bit read finds the chip
    // in the socket, which the next run keeps; a PIC18 chip's ID is read with its core.
    ASSERT_EQ(run("-p PIC12F508 chips").status, 0);
    r = run("-p auto detect");
    EXPECT_EQ(r.status, 0) << r.err;
    const std::string found = r.out.substr(r.out.find(' ', 8) + 1);
    EXPECT_EQ(r.err.rfind(found.substr(0, found.size() - 1) + " on SIM1", 0), 0u) << r.err;
    EXPECT_EQ(run("detect").out, r.out);
    ASSERT_EQ(run("-p PIC18F4620 chips").status, 0);
    EXPECT_EQ(run("-p auto detect").out, "DEV-ID: 0C02 PIC18F4620\n");
}

// detect names both chips when the ID in the socket belongs to another one
// than the selected chip: here the device list gives the two chips' IDs swapped.
TEST_F(Cli, DetectEndsWithStatus3WhenTheIdBelongsToAnotherChip) {
    std::string list = readFile(dir.path() / "kestrum.ini");
    const auto swap = [&list](const std::string& from, const std::string& to) {
        const std::size_t at = list.find(from);
        ASSERT_NE(at, std::string::npos) << from;
        list.replace(at, from.size(), to);
    };
    swap("Y\t0560", "Y\t1060x");
    swap("Y\t1060\t", "Y\t0560\t");
    swap("Y\t1060x", "Y\t1060");
    writeFile(dir.path() / "kestrum.ini", list);
    const Result r = run("-P sim -p PIC16F84A detect");
    EXPECT_EQ(r.status, 3) << r.err;
    EXPECT_EQ(r.out, "DEV-ID: 0560 PIC16F628A\n");
    EXPECT_NE(r.err.find("Error: the device ID 0560 belongs to PIC16F628A, not to PIC16F84A\n"),
              std::string::npos)
        << r.err;
}

}  // namespace
}  // namespace ferrolux::test
