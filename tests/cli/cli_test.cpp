// ferrolux-cli as a user runs it, against the simulated board in a fresh
// program directory; no terminal, so questions are answered Cancel unless --yes.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "support/temp_dir.h"

namespace ferrolux::test {
namespace {

std::string readFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

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
    // Runs the tool in the program directory with no terminal on its input.
    Result run(const std::string& args) {
        const auto out = dir.path() / "out.txt";
        const auto err = dir.path() / "err.txt";
        const std::string command = "cd '" + dir.path().string() + "' && '" FERROLUX_CLI "' " +
                                    args + " </dev/null >'" + out.string() + "' 2>'" +
                                    err.string() + "'";
        const int raw = std::system(command.c_str());
        return {WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, readFile(out), readFile(err)};
    }
};

TEST_F(Cli, WriteVerifyReadOnTheSimulatorAndTheChipKeepsItsProgram) {
    Result r = run("-p sim -c PIC16F628A write " + example("blink_16f628a"));
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "OK\n");
    EXPECT_EQ(r.err, "");  // no terminal: no progress line
    EXPECT_TRUE(std::filesystem::exists(dir.path() / "sim/PIC16F628A.hex"));

    // A new run finds port, chip and the written chip again.
    r = run("verify --data " + example("blink_16f628a"));
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "OK\n");
    r = run("read");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "'readback.hex' saved\n");
    EXPECT_NE(readFile(dir.path() / "readback.hex").find(":02400E00703F01"), std::string::npos);
    r = run("read --text");
    EXPECT_EQ(r.out, "'readback.txt' saved\n");
    r = run("detect");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out.rfind("DEV-ID: 10", 0), 0u) << r.out;
}

TEST_F(Cli, OptionsAreStoredAsTheWindowStoresThem) {
    Result r = run("-p SIM1 -c 16f84a -s 3 chips");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("PIC16F84A\n"), std::string::npos);
    const std::string state = readFile(dir.path() / "kestrum.cfg");
    ASSERT_GE(state.size(), 11u);
    EXPECT_EQ(state.substr(0, 4), "SIM1");
    EXPECT_EQ(state[10], '3');
    // The stored index is the chip's place in the sorted list.
    const auto lines = std::count(r.out.begin(), r.out.begin() + r.out.find("\nPIC16F84A\n"), '\n');
    EXPECT_EQ(std::stoi(state.substr(4, 2)), lines + 1);
}

TEST_F(Cli, WarningsAreAnsweredCancelWithoutATerminalAndOkWithYes) {
    ASSERT_EQ(run("-p sim -c PIC16F628A write " + example("blink_16f628a")).status, 0);
    Result r = run("erase data");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("Warning!: This Command Deletes Data-Memory! [y/N]"), std::string::npos);
    EXPECT_EQ(run("eeprom").out.substr(0, 9), "0000: 46 ");

    r = run("--yes erase data");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "OK\n");
    EXPECT_EQ(run("eeprom").out.substr(0, 9), "0000: FF ");
}

TEST_F(Cli, ConfigIdsAndEepromGoThroughTheDialogs) {
    ASSERT_EQ(run("-p sim -c PIC16F84A eeprom 5=3C 3F=a1").status, 0);
    Result r = run("eeprom");
    EXPECT_NE(r.out.find("0005: 3C \n"), std::string::npos);
    EXPECT_NE(r.out.find("003F: A1 \n"), std::string::npos);

    r = run("config 3FF1");
    EXPECT_EQ(r.status, 0) << r.err;
    r = run("config");
    EXPECT_EQ(r.out.rfind("Config-Word: 3FF1\n", 0), 0u) << r.out;
    EXPECT_NE(r.out.find("Bit 3  [x] /PWRTE"), std::string::npos) << r.out;

    r = run("config FFFF");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("Error!: Configword Value?"), std::string::npos);
    EXPECT_EQ(run("config").out.rfind("Config-Word: 3FF1\n", 0), 0u);

    ASSERT_EQ(run("ids 1 a 2 F").status, 0);
    EXPECT_EQ(run("ids").out, "ID0: 1  ID1: A  ID2: 2  ID3: F\n");
}

TEST_F(Cli, FailuresAndUsageErrors) {
    Result r = run("-p sim write missing.hex");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("Error: Open Error!"), std::string::npos);
    std::filesystem::rename(dir.path() / "kestrum.ini", dir.path() / "list.ini");
    r = run("chips");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("Error!: Open Error 'kestrum.ini !'"), std::string::npos);
    std::filesystem::rename(dir.path() / "list.ini", dir.path() / "kestrum.ini");

    EXPECT_EQ(run("").status, 2);
    EXPECT_EQ(run("frobnicate").status, 2);
    EXPECT_EQ(run("-c PIC99X99 chips").status, 2);
    EXPECT_EQ(run("-p COM9 chips").status, 2);
    EXPECT_EQ(run("verify").status, 2);
    EXPECT_EQ(run("read --no-code").status, 2);
    EXPECT_EQ(run("ids 1 2 3").status, 2);
    EXPECT_EQ(run("config XYZ").status, 2);
    EXPECT_EQ(run("-s 7 chips").status, 2);
    EXPECT_EQ(run("-p sim -c PIC16F84A eeprom 40=00").status, 2);
    EXPECT_EQ(run("-C /nonexistent/dir chips").status, 2);
    EXPECT_EQ(run("--help").status, 0);
}

TEST_F(Cli, AComPortThatCannotOpenSaysWhyOnASecondLine) {
    std::filesystem::create_symlink("/nonexistent/ttyX", dir.path() / "COM3");
    Result r = run("-p COM3 detect");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("Error: COM-Init-Error!\n" + (dir.path() / "COM3").string() +
                         ": No such file or directory"),
              std::string::npos)
        << r.err;
}

}  // namespace
}  // namespace ferrolux::test
