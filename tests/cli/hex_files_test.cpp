// Hex files as toolchains write them, each with one trait that a strict
// reader refuses, written by ferrolux-cli on the simulated board, verified and
// read back; and verify over a chip whose configuration or IDs were changed.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "sim/chip_image.h"
#include "sim/chip_profile.h"
#include "support/temp_dir.h"

namespace ferrolux::test {
namespace {

// One record line with its checksum.
std::string record(int address, const std::vector<int>& data, int type = 0) {
    std::vector<int> bytes{static_cast<int>(data.size()), address >> 8 & 0xFF, address & 0xFF,
                           type};
    bytes.insert(bytes.end(), data.begin(), data.end());
    int sum = 0;
    for (int b : bytes)
        sum += b;
    bytes.push_back(-sum & 0xFF);
    std::string line = ":";
    for (int b : bytes) {
        line += "0123456789ABCDEF"[b >> 4 & 0xF];
        line += "0123456789ABCDEF"[b & 0xF];
    }
    return line + "\r\n";
}

// A word as its two bytes, low first.
std::vector<int> words(std::initializer_list<int> values) {
    std::vector<int> bytes;
    for (int v : values) {
        bytes.push_back(v & 0xFF);
        bytes.push_back(v >> 8 & 0xFF);
    }
    return bytes;
}

const std::string kEnd = ":00000001FF\r\n";

struct Outcome {
    int status;
    std::string err;
};

struct HexFiles : ::testing::Test {
    TempDir dir;
    void SetUp() override {
        std::filesystem::copy_file(std::filesystem::path(FERROLUX_SOURCE_DIR) / "data/kestrum.ini",
                                   dir.path() / "kestrum.ini");
    }
    Outcome run(const std::string& args) {
        const auto err = dir.path() / "err.txt";
        const std::string command = "cd '" + dir.path().string() + "' && XDG_DATA_HOME='" +
                                    (dir.path() / "xdg").string() + "' '" FERROLUX_CLI "' " + args +
                                    " </dev/null >/dev/null 2>'" + err.string() + "'";
        const int raw = std::system(command.c_str());
        return {WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, readFile(err)};
    }
    std::string file(const std::string& text) {
        writeFile(dir.path() / "prog.hex", text);
        return "prog.hex";
    }
    sim::ChipMemory cells(const std::string& chip) {
        const auto profile = *sim::findProfile(chip);
        const auto memory =
            sim::parseChipImage(profile, readFile(sim::chipImagePath(dir.path(), chip)));
        EXPECT_TRUE(memory.has_value()) << chip;
        return memory.value_or(sim::ChipMemory{});
    }
};

TEST_F(HexFiles, WhatToolchainsWriteIsWrittenVerifiedAndReadBack) {
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
         record(0, words({0x0000})) + record(0x400E, words({0x3FF1})) + kEnd + ";PIC16F84A\r\n" +
             ";CRC=5A3C  CREATED=\"07-Dec-26 10:00\"\r\n",
         0x0000, 0x3FF1},
        {"a blank line after the end record", "PIC16F84A",
         record(0, words({0x3055})) + record(0x400E, words({0x3FF1})) + kEnd + "\r\n\r\n", 0x3055,
         0x3FF1},
        {"records out of address order", "PIC16F628A",
         record(0x20, words({0x1234 & 0x3FFF})) + record(0x4200, {0x42, 0}) +
             record(0x400E, words({0x3F70})) + record(0, words({0x2805})) + kEnd,
         0x2805, 0x3F70, -1, 0x42},
        {"unimplemented configuration bits written as 0", "PIC16F877A",
         record(0, words({0x2805})) + record(0x400E, words({0x2F4A})) + kEnd, 0x2805, 0x2F4A},
        {"no configuration bits above the implemented ones", "PIC16F73",
         record(0, words({0x2805})) + record(0x400E, words({0x001B})) + kEnd, 0x2805, 0x001B},
        {"configuration word with the bits above the core set", "PIC16F876A",
         record(0, words({0x2805})) + record(0x400E, words({0xFF32})) + kEnd, 0x2805, 0x3F32},
        {"12-bit configuration word with the bits above the core set", "PIC12F508",
         record(0, words({0x0A05})) + record(0x1FFE, words({0xFFEA})) + kEnd, 0x0A05, 0xFEA},
        {"second configuration word as its own record", "PIC16F88",
         record(0, words({0x2805})) + record(0x400E, words({0x3F30})) +
             record(0x4010, words({0x3FFC})) + kEnd,
         0x2805, 0x3F30, 0x3FFC},
        {"both configuration words in one record", "PIC16F88",
         record(0, words({0x2805})) + record(0x400E, words({0x3F30, 0x3FFD})) + kEnd, 0x2805,
         0x3F30, 0x3FFD},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        std::filesystem::remove_all(dir.path() / "sim");
        const std::string args = std::string("-p sim -c ") + c.chip + " --yes ";
        const Outcome written = run(args + "write " + file(c.text));
        ASSERT_EQ(written.status, 0) << written.err;
        const Outcome verified = run(args + "verify " + file(c.text));
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
TEST_F(HexFiles, VerifyComparesConfigurationWordsAndIds) {
    const std::string program = record(0, words({0x3055})) +
                                record(0x4000, words({0xF, 0xF, 0xF, 0xE})) +
                                record(0x400E, words({0x3FF1})) + kEnd;
    const std::string f = file(program);
    const std::string sim84 = "-p sim -c PIC16F84A --yes ";
    // IDs alone make a chip not blank.
    for (const char* chip : {"PIC16F84A", "PIC12F508"}) {
        SCOPED_TRACE(chip);
        const std::string sim = std::string("-p sim -c ") + chip + " --yes ";
        ASSERT_EQ(run(sim + "blank").status, 0);
        ASSERT_EQ(run(sim + "ids 1 2 3 4").status, 0);
        EXPECT_EQ(run(sim + "blank").status, 3);
    }
    ASSERT_EQ(run(sim84 + "write " + f).status, 0);
    EXPECT_EQ(run(sim84 + "verify " + f).status, 0);

    // Flash cells written again only lose bits.
    ASSERT_EQ(run(sim84 + "config 3FF0").status, 0);
    Outcome r = run(sim84 + "verify " + f);
    EXPECT_EQ(r.status, 3);
    EXPECT_NE(r.err.find("Verify failed at Config-Word: chip 3FF0, file 3FF1"), std::string::npos)
        << r.err;

    ASSERT_EQ(run(sim84 + "write " + f).status, 0);
    ASSERT_EQ(run(sim84 + "ids 1 2 3 4").status, 0);
    r = run(sim84 + "verify " + f);
    EXPECT_EQ(r.status, 3);
    EXPECT_NE(r.err.find("Verify failed at ID0: chip 0001, file 000F"), std::string::npos) << r.err;

    const std::string sim887 = "-p sim -c PIC16F887 --yes ";
    const std::string two =
        file(record(0, words({0x3055})) + record(0x400E, words({0x2FD4, 0x3FFF})) + kEnd);
    ASSERT_EQ(run(sim887 + "write " + two).status, 0);
    EXPECT_EQ(run(sim887 + "verify " + two).status, 0);
    ASSERT_EQ(run(sim887 + "config 2FD4 3EFF").status, 0);
    r = run(sim887 + "verify " + two);
    EXPECT_EQ(r.status, 3);
    EXPECT_NE(r.err.find("Verify failed at Config-Word 2: chip 3EFF, file 3FFF"), std::string::npos)
        << r.err;
}

// Refused before the chip is touched: records that disagree, a second image
// after the end record, code past the chip.
TEST_F(HexFiles, DamagedFilesAreRefusedNamingTheLine) {
    const std::string code = record(0, words({0x3055}));
    const struct {
        std::string text;
        const char* message;
    } cases[] = {
        {code + record(0, words({0x3056})) + kEnd,
         "Address 0000 is given 55 in line 1 and 56 in line 2!"},
        {code + kEnd + code + kEnd, "Line 3 follows the end record"},
        {code + kEnd + "<<<<<<< HEAD\r\n", "Line 3 follows the end record"},
        {record(0x800, words({0x3055})) + kEnd,
         "Address 0800 in line 1 lies outside the PIC16F84A!"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.message);
        const Outcome r = run("-p sim -c PIC16F84A --yes write " + file(c.text));
        EXPECT_EQ(r.status, 1);
        EXPECT_NE(r.err.find(c.message), std::string::npos) << r.err;
        EXPECT_EQ(cells("PIC16F84A").program[0], 0x3FFF);  // the chip was not touched
    }
}

}  // namespace
}  // namespace ferrolux::test
