// The simulated socket driven through "ferrolux-cli sim": chips taken out
// keep what they held, another chip type can sit in the socket, and a run
// that holds SIM1 takes each change at its next chip command.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <sstream>
#include <string>

#include "app/host.h"
#include "cli/cli.h"
#include "sim/chip_image.h"
#include "support/recording_window.h"
#include "support/temp_dir.h"
#include "ui/control_ids.h"

namespace ferrolux::test {
namespace {

namespace fs = std::filesystem;

struct Ran {
    int status;
    std::string out;
    std::string err;
};

struct SimSocket : ::testing::Test {
    TempDir dir;
    fs::path blink = fs::path(FERROLUX_EXAMPLE_DIR) / "blink_16f628a.hex";
    fs::path removed = dir.path() / "sim" / "removed";
    void SetUp() override {
        fs::copy_file(fs::path(FERROLUX_SOURCE_DIR) / "data/kestrum.ini",
                      dir.path() / "kestrum.ini");
        ASSERT_EQ(cli("-PSIM1", "-pPIC16F628A", "chips").status, 0);
    }
    template <class... A>
    Ran cli(A... args) {
        std::vector<std::string> argv{"-C", dir.path().string(), "-yq", args...};
        std::istringstream in;
        std::ostringstream out, err;
        const int status = cli::run(argv, in, out, err, {});
        return {status, out.str(), err.str()};
    }
    // The image a removed chip left, as a chip of `chip` reads it.
    std::uint16_t removedWord(const std::string& file, const std::string& chip, int address) {
        sim::VirtualPic pic(*sim::findProfile(chip));
        EXPECT_TRUE(sim::loadChipImage(pic, removed / file));
        return pic.programWord(address);
    }
};

TEST_F(SimSocket, ChipsTakenOutKeepWhatTheyHeldAndAnotherTypeCanBeInserted) {
    EXPECT_EQ(cli("sim").out,
              "socket: PIC16F628A (the selected chip: without sim/SIM1.socket the socket "
              "follows the selection)\nfault: none\n");
    ASSERT_EQ(cli("write", blink.string()).status, 0);

    Ran r = cli("sim", "remove");
    EXPECT_EQ(r.out, "socket: empty (insertion 2)\nfault: none\n");
    EXPECT_EQ(removedWord("001-PIC16F628A.hex", "PIC16F628A", 0), 0x2805);
    EXPECT_EQ(cli("detect").status, cli::kExitNoChip);
    EXPECT_EQ(cli("sim", "remove").err, "The socket is already empty.\n");

    // Another type than the selected chip: its own ID answers.
    EXPECT_EQ(cli("sim", "insert", "16f84a").out, "socket: PIC16F84A (insertion 3)\nfault: none\n");
    r = cli("detect");
    EXPECT_EQ(r.status, cli::kExitMismatch);
    EXPECT_EQ(r.out, "DEV-ID: 0560 PIC16F84A\n");

    // A chip put in over another takes it out; the new one is blank.
    ASSERT_EQ(cli("sim", "insert").status, 0);
    EXPECT_EQ(removedWord("002-PIC16F84A.hex", "PIC16F84A", 0), 0x3FFF);
    EXPECT_EQ(cli("blank").out, "blank\n");

    EXPECT_EQ(cli("sim", "insert", "PIC99X").status, cli::kExitUsage);
    EXPECT_EQ(cli("sim", "fault", "smoke").status, cli::kExitUsage);
    EXPECT_EQ(cli("sim", "wiggle").status, cli::kExitUsage);
    EXPECT_EQ(cli("sim").out, "socket: PIC16F628A (insertion 4)\nfault: none\n");
}

// One program run that holds SIM1 with the PIC16F628A selected.
struct HoldingRun {
    RecordingWindow window;
    app::Program program;
    explicit HoldingRun(const fs::path& dir) : program(dir, window) {
        EXPECT_TRUE(program.main.open(false));
        program.main.choosePort(ctl::kPortSimulator);
    }
    int write(const fs::path& file) {
        window.pickedFiles.push_back(file.string());
        if (program.main.openFile() != 0) return 1;
        return program.main.write();
    }
};

TEST_F(SimSocket, ARunHoldingSim1TakesEachChangeAtItsNextChipCommand) {
    HoldingRun run(dir.path());
    ASSERT_EQ(run.write(blink), 0);

    // The sim command does not wait for SIM1; the change waits for the run.
    Ran r = cli("sim", "remove");
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(r.err.find("SIM1 is in use"), std::string::npos) << r.err;
    EXPECT_FALSE(fs::exists(removed / "001-PIC16F628A.hex"));
    EXPECT_NE(run.program.host.simChip(), nullptr);

    EXPECT_NE(run.program.main.verify(), 0);
    EXPECT_EQ(run.program.host.simChip(), nullptr);
    EXPECT_EQ(removedWord("001-PIC16F628A.hex", "PIC16F628A", 0), 0x2805);

    ASSERT_EQ(cli("sim", "insert").status, 0);
    ASSERT_EQ(run.write(blink), 0);
    ASSERT_NE(run.program.host.simChip(), nullptr);
    EXPECT_EQ(run.program.host.simChip()->programWord(0), 0x2805);

    // A fault reaches the board the run holds, and goes again.
    ASSERT_EQ(cli("sim", "fault", "no-power").status, 0);
    EXPECT_NE(run.program.main.verify(), 0);
    ASSERT_EQ(cli("sim", "fault", "none").status, 0);
    EXPECT_EQ(run.program.main.verify(), 0);

    // The second chip goes out once the run lets SIM1 go, with what it got.
    ASSERT_EQ(cli("sim", "remove").status, 0);
    run.program.main.close();
    EXPECT_EQ(cli("sim").out, "socket: empty (insertion 4)\nfault: none\n");
    EXPECT_EQ(cli("detect").status, cli::kExitNoChip);
    EXPECT_EQ(removedWord("002-PIC16F628A.hex", "PIC16F628A", 0), 0x2805);
}

}  // namespace
}  // namespace ferrolux::test
