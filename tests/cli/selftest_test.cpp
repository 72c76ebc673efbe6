// The board test on the simulated board: ferrolux-cli selftest with each
// fault "sim fault" can give the board, and Help > Board Test in the window.
#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <sstream>
#include <string>

#include "app/host.h"
#include "cli/cli.h"
#include "support/recording_window.h"
#include "support/temp_dir.h"
#include "ui/control_ids.h"

namespace ferrolux::test {
namespace {

namespace fs = std::filesystem;

constexpr const char* kBoardLines =
    "ok    port SIM1 opens\n"
    "ok    the board answers on SIM1 (break looped back to RING)\n"
    "ok    data-in (CTS) follows data-out (DTR), Vpp off\n"
    "--    clock (RTS) and Vpp (break): the board gives no way to see them; the chip check "
    "shows whether they reach the chip\n";
constexpr const char* kNoChipLine =
    "FAIL  a chip answers with its device ID: none answers: is a PIC16F628A in the socket, pin "
    "1 where the board marks it? If it is, look at the clock (RTS) and Vpp (break) lines to it\n";

struct Selftest : ::testing::Test {
    TempDir dir;
    void SetUp() override {
        fs::copy_file(fs::path(FERROLUX_SOURCE_DIR) / "data/kestrum.ini",
                      dir.path() / "kestrum.ini");
        ASSERT_EQ(cli("-PSIM1", "-pPIC16F628A", "chips"), 0);
    }
    std::string out;
    template <class... A>
    int cli(A... args) {
        std::vector<std::string> argv{"-C", dir.path().string(), "-q", args...};
        std::istringstream in;
        std::ostringstream o, e;
        const int status = cli::run(argv, in, o, e, {});
        out = o.str();
        return status;
    }
};

TEST_F(Selftest, AGoodBoardPassesOnTheSerialPortAndBehindAnFtdiAdapter) {
    EXPECT_EQ(cli("selftest"), cli::kExitOk);
    EXPECT_EQ(out, std::string(kBoardLines) + "ok    a chip answers: DEV-ID 1060 PIC16F628A\n");

    EXPECT_EQ(cli("-Pftdi:SIM1", "selftest"), cli::kExitOk);
    EXPECT_NE(out.find("ok    data-in (CTS) follows data-out (DTR), Vpp off\n"), std::string::npos)
        << out;

    // Another chip type answers: the board works, the ID tells which.
    ASSERT_EQ(cli("sim", "insert", "PIC16F84A"), 0);
    EXPECT_EQ(cli("-PSIM1", "selftest"), cli::kExitOk);
    EXPECT_NE(out.find("ok    a chip answers: DEV-ID 0560 PIC16F84A (not the selected PIC16F628A)"),
              std::string::npos)
        << out;

    // A chip without a device ID cannot be checked: said, and not a failure.
    EXPECT_EQ(cli("-pPIC12C508", "selftest"), cli::kExitOk);
    EXPECT_NE(out.find("--    a chip answers with its device ID: PIC12C508 has no device ID"),
              std::string::npos)
        << out;
}

// Each fault of the board and the line that names what to look at.
struct Broken {
    const char* fault;
    const char* lines;
};

void PrintTo(const Broken& b, std::ostream* os) {
    *os << b.fault;
}

class SelftestFault : public Selftest, public ::testing::WithParamInterface<Broken> {};

TEST_P(SelftestFault, NamesWhatToLookAtAndEndsWithStatus4) {
    ASSERT_EQ(cli("sim", "fault", GetParam().fault), 0);
    EXPECT_EQ(cli("selftest"), cli::kExitNoChip);
    EXPECT_EQ(out, GetParam().lines);
    ASSERT_EQ(cli("sim", "fault", "none"), 0);
    EXPECT_EQ(cli("selftest"), cli::kExitOk) << out;
}

const std::string kHead =
    "ok    port SIM1 opens\nok    the board answers on SIM1 (break looped "
    "back to RING)\n";
const std::string kDataHigh =
    kHead +
    "FAIL  data-in (CTS) follows data-out (DTR), Vpp off: data-in (CTS) stays high while DTR "
    "pulls the data line low: is the data line shorted to +5 V, or DTR's driver broken?\n";
const std::string kDataLow =
    kHead +
    "FAIL  data-in (CTS) follows data-out (DTR), Vpp off: data-in (CTS) stays low with the data "
    "line high or released: is it shorted to ground?\n";
const std::string kNoPower =
    "ok    port SIM1 opens\nFAIL  the board answers on SIM1 (break looped back to RING): no "
    "answer on RING: is the board powered and the cable in SIM1?\n";
const std::string kChipSilent = std::string(kBoardLines) + kNoChipLine;

INSTANTIATE_TEST_SUITE_P(Faults, SelftestFault,
                         ::testing::Values(Broken{"data-high", kDataHigh.c_str()},
                                           Broken{"data-low", kDataLow.c_str()},
                                           Broken{"no-power", kNoPower.c_str()},
                                           Broken{"clock-stuck", kChipSilent.c_str()},
                                           Broken{"vpp-stuck", kChipSilent.c_str()},
                                           Broken{"no-chip", kChipSilent.c_str()}),
                         [](const auto& info) { return std::to_string(info.index); });

// Help > Board Test in the window: the same lines in a box, Vpp off after.
TEST_F(Selftest, TheWindowsBoardTestShowsTheLinesAndLeavesVppOff) {
    RecordingWindow window;
    app::Program program(dir.path(), window);
    ASSERT_TRUE(program.main.open(false));
    program.main.choosePort(ctl::kPortSimulator);

    program.main.command(ctl::kBoardTest);
    EXPECT_EQ(program.main.lastEnding(), ui::Ending::ok);
    ASSERT_FALSE(window.boxes.empty());
    EXPECT_EQ(window.boxes.back().title, "Board Test");
    EXPECT_EQ(window.boxes.back().text,
              std::string(kBoardLines) + "ok    a chip answers: DEV-ID 1060 PIC16F628A\n");
    EXPECT_FALSE(program.host.simBoard().lines().vpp);

    // A failure half-way: the chip was asked with Vpp on, and let go.
    ASSERT_EQ(cli("sim", "fault", "no-chip"), 0);
    program.main.command(ctl::kBoardTest);
    EXPECT_EQ(program.main.lastEnding(), ui::Ending::failed);
    EXPECT_EQ(window.boxes.back().text, kChipSilent);
    EXPECT_FALSE(program.host.simBoard().lines().vpp);

    // A stop request ends it after the step it interrupts, Vpp off.
    ASSERT_EQ(cli("sim", "fault", "none"), 0);
    volatile std::sig_atomic_t stop = 2;
    program.session.stopRequest = &stop;
    program.main.command(ctl::kBoardTest);
    EXPECT_EQ(window.boxes.back().text,
              "ok    port SIM1 opens\n--    stopped: the checks after it did not run\n");
    EXPECT_FALSE(program.host.simBoard().lines().vpp);
    program.main.close();
}

}  // namespace
}  // namespace ferrolux::test
