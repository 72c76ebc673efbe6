// Small-batch production through the console program on the simulated
// board: serial numbers in each place and format, the production log for
// each result, --serial next across runs (also after a run that ended
// between programming and logging), two runs logging at once, and batch over
// chips put in and taken out.
#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <thread>

#include "app/host.h"
#include "cli/cli.h"
#include "files/production_log.h"
#include "files/sha256.h"
#include "session/messages.h"
#include "sim/chip_image.h"
#include "sim/chip_profile.h"
#include "sim/pic18_profile.h"
#include "support/temp_dir.h"

namespace ferrolux::test {
namespace {

namespace fs = std::filesystem;

struct Ran {
    int status;
    std::string out;
    std::string err;
};

// The log's lines after the header, as fields.
std::vector<std::vector<std::string>> logLines(const fs::path& csv) {
    std::vector<std::vector<std::string>> lines;
    std::istringstream in(readFile(csv));
    std::string line;
    std::getline(in, line);
    EXPECT_EQ(line, std::string(kLogHeader) + "\r");
    while (std::getline(in, line))
        lines.push_back(csvFields(line));
    return lines;
}

struct ProductionRun : ::testing::Test {
    TempDir dir;
    fs::path blink = fs::path(FERROLUX_EXAMPLE_DIR) / "blink_16f628a.hex";
    fs::path csv = dir.path() / "run.csv";
    cli::RunHooks hooks;
    std::string input;  // what the terminal types

    void SetUp() override {
        fs::copy_file(fs::path(FERROLUX_SOURCE_DIR) / "data/kestrum.ini",
                      dir.path() / "kestrum.ini");
        ASSERT_EQ(cli({"-PSIM1", "-pPIC16F628A", "chips"}).status, 0);
    }
    Ran cli(std::vector<std::string> args) {
        args.insert(args.begin(), {"-C", dir.path().string(), "-y"});
        std::istringstream in(input);
        std::ostringstream out, err;
        const int status = cli::run(args, in, out, err, {}, hooks);
        return {status, out.str(), err.str()};
    }
    std::string logArg() const { return "--log=" + csv.string(); }
    sim::ChipMemory chip(const std::string& name, const fs::path& image) {
        const auto m = sim::parseChipImage(*sim::findProfile(name), readFile(image));
        EXPECT_TRUE(m.has_value()) << image;
        return m.value_or(sim::ChipMemory{});
    }
    sim::ChipMemory held(const std::string& name) {
        return chip(name, sim::chipImagePath(dir.path(), name));
    }
};

// The finish line: three chips one after another, the first from START, the
// others from the log.
TEST_F(ProductionRun, ThreeChipsTakeConsecutiveSerialsAndTheLogHasTheirChecksums) {
    ASSERT_EQ(cli({"sim", "insert"}).status, 0);  // 001 the chip that was in
    std::vector<std::string> checksums;
    for (const char* serial : {"0x1000", "next", "next"}) {
        SCOPED_TRACE(serial);
        const Ran r = cli(
            {"write", blink.string(), "--serial", serial, "--serial-at", "eeprom:0:2", logArg()});
        ASSERT_EQ(r.status, 0) << r.err;
        const std::size_t at = r.err.find("checksum: ");
        ASSERT_NE(at, std::string::npos) << r.err;
        checksums.push_back(r.err.substr(at + 10, 4));
        ASSERT_EQ(cli({"sim", "insert"}).status, 0);  // the chip out, a blank one in
    }
    const auto lines = logLines(csv);
    ASSERT_EQ(lines.size(), 3u);
    const std::string sha = sha256Hex(readFile(blink));
    for (int n = 0; n < 3; ++n) {
        const auto& f = lines[static_cast<std::size_t>(n)];
        const std::string file = formatText("00%d-PIC16F628A.hex", n + 2);
        const sim::ChipMemory m = chip("PIC16F628A", dir.path() / "sim/removed" / file);
        EXPECT_EQ(m.data[0], 0x10) << file;
        EXPECT_EQ(m.data[1], n) << file;
        ASSERT_EQ(f.size(), 11u);
        EXPECT_EQ(f[1], "PIC16F628A");
        EXPECT_EQ(f[2], "1060");
        EXPECT_EQ(f[4], blink.string());
        EXPECT_EQ(f[5], sha);
        EXPECT_EQ(f[6], checksums[static_cast<std::size_t>(n)]);
        EXPECT_EQ(f[7], formatText("0x100%d", n));
        EXPECT_EQ(f[8], "ok");
        EXPECT_EQ(f[10], "SIM1");
    }
}

// Each place and format as the chip holds it after a write that verified.
TEST_F(ProductionRun, EachPlaceAndFormatLandsInTheChip) {
    const struct {
        const char* at;
        const char* format;
        const char* serial;
        std::vector<int> cells;  // what the place holds afterwards
    } rows[] = {
        {"eeprom:10:3", "be", "0x12345", {0x01, 0x23, 0x45}},
        {"eeprom:10:3", "le", "0x12345", {0x45, 0x23, 0x01}},
        {"eeprom:10:2", "bcd", "1234", {0x12, 0x34}},
        {"eeprom:10:4", "ascii", "42", {'0', '0', '4', '2'}},
        {"code:0x300:2", "be", "0xBEEF", {0x34BE, 0x34EF}},
        {"ids", "be", "0xA5C3", {0xA, 0x5, 0xC, 0x3}},
        {"ids", "bcd", "1234", {1, 2, 3, 4}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(std::string(row.at) + " " + row.format);
        const Ran r = cli({"write", blink.string(), "--serial", row.serial, "--serial-at", row.at,
                           "--serial-format", row.format});
        ASSERT_EQ(r.status, 0) << r.err;
        const sim::ChipMemory m = held("PIC16F628A");
        const std::string at = row.at;
        for (std::size_t i = 0; i < row.cells.size(); ++i) {
            const int cell = at.rfind("eeprom", 0) == 0 ? m.data[0x10 + i]
                             : at == "ids"              ? m.config[i] & 0xF  // one digit each
                                                        : m.program[0x300 + i];
            EXPECT_EQ(cell, row.cells[i]) << i;
        }
    }
}

// The 12-bit and PIC18 cores take their own RETLW and ID layouts.
TEST_F(ProductionRun, TwelveBitAndPic18ChipsTakeTheirOwnRetlwAndIds) {
    const fs::path nop18 = dir.path() / "nop18.hex";
    std::ofstream(nop18, std::ios::binary) << ":020000000000FE\r\n:00000001FF\r\n";
    ASSERT_EQ(cli({"-PSIM1", "-pPIC12F508", "write",
                   (fs::path(FERROLUX_EXAMPLE_DIR) / "blink_12c508.hex").string(), "--serial",
                   "0x5A", "--serial-at", "code:0x100:1"})
                  .status,
              0);
    EXPECT_EQ(held("PIC12F508").program[0x100], 0x85A);

    const Ran r = cli({"-pPIC18F452", "write", nop18.string(), "--serial", "0x0102030405060708",
                       "--serial-at", "ids", "--no-config"});
    ASSERT_EQ(r.status, 0) << r.err;
    const auto profile = sim::findPic18Profile("PIC18F452");
    const auto m =
        sim::parseChipImage(*profile, readFile(sim::chipImagePath(dir.path(), "PIC18F452")));
    ASSERT_TRUE(m.has_value());
    for (std::size_t k = 0; k < 8; ++k)
        EXPECT_EQ(m->ids[k], k + 1) << k;
    ASSERT_EQ(cli({"write", nop18.string(), "--serial", "0x41", "--serial-at", "code:0x20:1",
                   "--no-config"})
                  .status,
              0);
    const auto code =
        sim::parseChipImage(*profile, readFile(sim::chipImagePath(dir.path(), "PIC18F452")));
    EXPECT_EQ(code->code[0x20], 0x41);  // RETLW 0x41: 0C41, low byte first
    EXPECT_EQ(code->code[0x21], 0x0C);
}

// A number or place that does not fit is refused before the chip is
// touched: no write, no line, no number taken.
TEST_F(ProductionRun, WhatDoesNotFitIsRefusedBeforeTheChipIsTouched) {
    ASSERT_EQ(cli({"-PSIM1", "-pPIC16F628A", "write", blink.string(), "--serial", "0xFFFF",
                   "--serial-at", "eeprom:0:2", logArg()})
                  .status,
              0);
    const std::string before = readFile(sim::chipImagePath(dir.path(), "PIC16F628A"));
    const struct {
        std::vector<std::string> args;
        int status;
        const char* says;
    } rows[] = {
        {{"--serial", "next", "--serial-at", "eeprom:0:2"},
         cli::kExitFailed,
         "serial 0x10000 does not fit 2 bytes (up to 0xFFFF) at EEPROM 0000"},
        {{"--serial", "100", "--serial-at", "eeprom:0:1", "--serial-format", "bcd"},
         cli::kExitFailed,
         "serial 100 does not fit 1 byte (up to 99)"},
        {{"--serial", "0x10000", "--serial-at", "ids"}, cli::kExitFailed, "does not fit 4 nibbles"},
        {{"--serial", "1", "--serial-at", "ids", "--serial-format", "ascii"},
         cli::kExitUsage,
         "ASCII digits need whole bytes"},
        {{"--serial", "1", "--serial-at", "eeprom:0x7F:2"},
         cli::kExitUsage,
         "EEPROM 007F..0080 lies outside the 128 bytes"},
        {{"--serial", "1", "--serial-at", "code:0x7FF:2"}, cli::kExitUsage, "lies outside"},
        {{"--serial", "next", "--serial-at", "ids"}, cli::kExitUsage, "give it with --log"},
    };
    for (const auto& row : rows) {
        std::vector<std::string> args{"write", blink.string()};
        args.insert(args.end(), row.args.begin(), row.args.end());
        if (row.args[1] == "next" && row.args[3] != "ids") args.push_back(logArg());
        SCOPED_TRACE(row.says);
        const Ran r = cli(args);
        EXPECT_EQ(r.status, row.status);
        EXPECT_NE(r.err.find(row.says), std::string::npos) << r.err;
    }
    EXPECT_EQ(readFile(sim::chipImagePath(dir.path(), "PIC16F628A")), before);
    EXPECT_EQ(logLines(csv).size(), 1u);
    EXPECT_EQ(readFile(dir.path() / "run.csv.serial"), "0xFFFF\r\n");
}

// Every result gets its line; a chip that failed after programming started
// keeps its number, one that ended between programming and logging too.
TEST_F(ProductionRun, EachResultIsLoggedAndNoNumberIsGivenTwice) {
    const auto write = [&](const char* chip, const char* serial) {
        return cli({std::string("-p") + chip, "-PSIM1", "write", blink.string(), "--serial", serial,
                    "--serial-at", "eeprom:0:2", logArg()});
    };
    ASSERT_EQ(write("PIC16F628A", "7").status, 0);
    // A run that ends between programming and logging: no line, number kept.
    hooks.afterProgramming = [] { return false; };
    EXPECT_EQ(write("PIC16F628A", "next").status, cli::kExitFailed);
    hooks.afterProgramming = nullptr;
    EXPECT_EQ(held("PIC16F628A").data[1], 8);
    // Another chip in the socket: refused, logged, its number given back.
    ASSERT_EQ(cli({"sim", "insert", "PIC16F84A"}).status, 0);
    EXPECT_EQ(write("PIC16F628A", "next").status, cli::kExitFailed);
    // A cell that does not take: the write fails after programming started.
    ASSERT_EQ(cli({"sim", "insert", "PIC16F628A"}).status, 0);
    hooks.ready = [](app::Program& p) { p.host.simChip()->dropWritesToData(1); };
    EXPECT_EQ(write("PIC16F628A", "next").status, cli::kExitFailed);
    // Rows written without read-back: the compare pass finds the dead word.
    hooks.ready = [](app::Program& p) { p.host.simChip()->dropWritesToProgram(0); };
    ASSERT_EQ(cli({"sim", "insert", "PIC16F88"}).status, 0);
    EXPECT_EQ(write("PIC16F88", "next").status, cli::kExitMismatch);
    hooks.ready = nullptr;
    ASSERT_EQ(cli({"sim", "insert", "PIC16F628A"}).status, 0);
    EXPECT_EQ(write("PIC16F628A", "next").status, 0);

    // A START given already is asked about; without a terminal that is Cancel.
    const Ran again = write("PIC16F628A", "8");
    EXPECT_EQ(again.status, cli::kExitFailed);
    EXPECT_NE(again.err.find("Serial 0x8 was given already"), std::string::npos) << again.err;

    std::vector<std::string> shown;
    for (const auto& f : logLines(csv))
        shown.push_back(f[1] + " " + f[2] + " " + f[7] + " " + f[8] + " " + f[6]);
    EXPECT_EQ(shown, (std::vector<std::string>{
                         "PIC16F628A 1060 0x7 ok 5791",
                         "PIC16F628A 0560  no-chip ",
                         "PIC16F628A 1060 0x9 write-failed ",
                         "PIC16F88 0760 0xA verify-failed ",
                         "PIC16F628A 1060 0xB ok 5791",
                     }));
}

// Two runs numbering and logging chips at once: every number given once,
// every line whole.
TEST(ProductionLogFile, TwoRunsAtOnceNeverShareANumberNorALine) {
    TempDir dir;
    const fs::path csv = dir.path() / "run.csv";
    constexpr int kEach = 100;
    const auto run = [&](const std::string& chip) {
        ProductionLog log(csv);
        for (int i = 0; i < kEach; ++i) {
            Reservation r;
            std::string why;
            const auto any = [](std::uint64_t, std::string&) { return true; };
            ASSERT_TRUE(log.reserve(i == 0 ? std::optional<std::uint64_t>(1) : std::nullopt, 1, any,
                                    r, why))
                << why;
            LogEntry e;
            e.chip = chip;
            e.file = "a \"quoted\", long name " + std::string(300, 'x');
            e.serial = std::to_string(r.value);
            ASSERT_TRUE(log.append(e, why)) << why;
        }
    };
    std::thread a(run, "A"), b(run, "B");
    a.join();
    b.join();
    const auto lines = logLines(csv);
    ASSERT_EQ(lines.size(), 2u * kEach);
    std::set<std::string> serials;
    for (const auto& f : lines) {
        ASSERT_EQ(f.size(), 11u);
        EXPECT_EQ(f[4], "a \"quoted\", long name " + std::string(300, 'x'));
        serials.insert(f[7]);
    }
    EXPECT_EQ(serials.size(), 2u * kEach - 1);  // both runs started at 1 on purpose

    // Without the reservation, the log alone: failed chips keep their numbers.
    fs::remove(dir.path() / "run.csv.serial");
    ProductionLog log(csv);
    for (const auto& [serial, result] :
         {std::pair{"500", ChipResult::writeFailed}, std::pair{"", ChipResult::noChip}}) {
        LogEntry e;
        e.serial = serial;
        e.result = result;
        std::string why;
        ASSERT_TRUE(log.append(e, why));
    }
    std::string why;
    EXPECT_EQ(log.highestGiven(why), std::optional<std::uint64_t>(500));
}

// Chips without a device ID: batch writes one per Enter, until the input
// ends or, as here, the next number no longer fits.
TEST_F(ProductionRun, BatchTakesAChipPerEnterWhenChipsHaveNoDeviceId) {
    input = "\n\n\n\n";
    const Ran r =
        cli({"-pPIC12F508", "batch", (fs::path(FERROLUX_EXAMPLE_DIR) / "blink_12c508.hex").string(),
             "--serial", "0xFE", "--serial-at", "code:0x100:1"});
    EXPECT_EQ(r.status, cli::kExitFailed);
    EXPECT_NE(r.err.find("serial 0x100 does not fit 1 byte"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("Batch: 2 ok, 0 failed, 0 refused; serials 0xFE..0xFF"), std::string::npos)
        << r.err;
    EXPECT_EQ(held("PIC12F508").program[0x100], 0x8FF);
}

// batch over chips put in and taken out between polls, a chip of another
// type among them; Ctrl-C ends it with the summary.
TEST_F(ProductionRun, BatchProgramsEachInsertedChipAndRefusesAnotherType) {
    ASSERT_EQ(cli({"sim", "remove"}).status, 0);
    volatile std::sig_atomic_t stop = 0;
    hooks.stop = &stop;
    // The socket, poll by poll: empty, chip, ... as an operator works.
    const std::vector<std::string> plan = {
        "",       "insert", "", "",       "remove", "", "insert 16f84a", "",
        "remove", "insert", "", "remove", "insert", "", "remove",        "stop"};
    hooks.beforePoll = [&](int poll) {
        const std::string step =
            poll < static_cast<int>(plan.size()) ? plan[static_cast<std::size_t>(poll)] : "stop";
        if (step == "stop") stop = SIGINT;
        if (step.empty() || step == "stop") return;
        std::vector<std::string> args{"-C", dir.path().string(), "sim"};
        std::istringstream words(step);
        for (std::string w; words >> w;)
            args.push_back(w);
        std::istringstream in;
        std::ostringstream out, err;
        ASSERT_EQ(cli::run(args, in, out, err, {}), 0) << err.str();
    };
    const Ran r =
        cli({"batch", blink.string(), "--serial", "0x20", "--serial-at", "eeprom:0:1", logArg()});
    EXPECT_EQ(r.status, 128 + SIGINT);
    EXPECT_NE(r.err.find("Batch: 3 ok, 0 failed, 1 refused; serials 0x20..0x22"), std::string::npos)
        << r.err;
    std::vector<std::string> shown;
    for (const auto& f : logLines(csv))
        shown.push_back(f[2] + " " + f[7] + " " + f[8]);
    EXPECT_EQ(shown, (std::vector<std::string>{"1060 0x20 ok", "0560  no-chip", "1060 0x21 ok",
                                               "1060 0x22 ok"}));
    const fs::path removed = dir.path() / "sim/removed";
    EXPECT_EQ(chip("PIC16F628A", removed / "002-PIC16F628A.hex").data[0], 0x20);
    EXPECT_EQ(chip("PIC16F84A", removed / "003-PIC16F84A.hex").program[0],
              0x3FFF);  // never written
    EXPECT_EQ(chip("PIC16F628A", removed / "004-PIC16F628A.hex").data[0], 0x21);
    EXPECT_EQ(chip("PIC16F628A", removed / "005-PIC16F628A.hex").data[0], 0x22);
}

}  // namespace
}  // namespace ferrolux::test
