// Whole programs in one process on the simulated board: what happens to the
// virtual chip when runs meet, when its image is damaged or cannot be saved,
// and when a command is stopped.
#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "app/host.h"
#include "app/program_dir.h"
#include "cli/console_window.h"
#include "platform/linux/system_info.h"
#include "session/messages.h"
#include "sim/chip_image.h"
#include "sim/chip_profile.h"
#include "support/recording_window.h"
#include "support/temp_dir.h"
#include "ui/control_ids.h"

namespace ferrolux::test {
namespace {

namespace fs = std::filesystem;

constexpr const char* kChip = "PIC16F628A";

// A window that raises a stop request when the status field shows `stopAt`.
struct StoppingWindow : RecordingWindow {
    volatile std::sig_atomic_t stop = 0;
    std::string stopAt;
    void setText(int id, const std::string& text) override {
        RecordingWindow::setText(id, text);
        if (!stopAt.empty() && id == ctl::kStatusField && text.rfind(stopAt, 0) == 0) {
            stop = SIGINT;
        }
    }
};

// A window that replaces `file` with `replacement` when the status field
// first shows `at`.
struct ReplacingWindow : StoppingWindow {
    fs::path file;
    std::string replacement;
    std::string at;
    void setText(int id, const std::string& text) override {
        StoppingWindow::setText(id, text);
        if (at.empty() || id != ctl::kStatusField || text.rfind(at, 0) != 0) return;
        std::ofstream(file, std::ios::binary | std::ios::trunc) << replacement;
        at.clear();
    }
};

// One program run with kChip selected on SIM1, as a user selects them.
struct ProgramRun {
    ReplacingWindow window;
    app::Program program;
    ui::MainWindow& main = program.main;

    explicit ProgramRun(const fs::path& dir) : program(dir, window) {
        program.session.outputDir = dir;
        program.session.stopRequest = &window.stop;
        EXPECT_TRUE(main.open(false));
        const auto& names = window.lists[ctl::kChipList];
        window.selectListItem(
            ctl::kChipList,
            static_cast<int>(std::find(names.begin(), names.end(), kChip) - names.begin()));
        main.command(ctl::kChipList);
        main.choosePort(ctl::kPortSimulator);
    }
    int write(const fs::path& file) {
        window.pickedFiles.push_back(file.string());
        if (main.openFile() != 0) return 1;
        return main.write();
    }
    const std::string& lastBox() { return window.boxes.back().text; }
};

struct SimChip : ::testing::Test {
    TempDir dir;
    fs::path image = sim::chipImagePath(dir.path(), kChip);
    fs::path blink = fs::path(FERROLUX_EXAMPLE_DIR) / "blink_16f628a.hex";
    void SetUp() override {
        fs::copy_file(fs::path(FERROLUX_SOURCE_DIR) / "data/kestrum.ini",
                      dir.path() / "kestrum.ini");
    }
};

TEST_F(SimChip, ASecondRunWaitsThenFailsAsInUseAndFindsTheFirstRunsWorkLater) {
    auto first = std::make_unique<ProgramRun>(dir.path());
    ASSERT_EQ(first->write(blink), 0);
    ProgramRun second(dir.path());
    EXPECT_EQ(second.main.save(), 1);
    EXPECT_EQ(second.lastBox(), "COM-Init-Error!\nSIM1 is in use by another run (" +
                                    (dir.path() / "sim" / "SIM1.lock").string() + ")");
    first->main.close();
    first.reset();
    ASSERT_EQ(second.main.save(), 0) << second.lastBox();
    EXPECT_EQ(second.program.host.simChip()->programWord(0), 0x2805);
}

// A run killed mid-save leaves its temporary image; the next run that takes
// SIM1 removes such files, and only those.
TEST_F(SimChip, TheNextRunRemovesTemporaryImagesAKilledRunLeft) {
    fs::create_directories(image.parent_path());
    const fs::path sim = image.parent_path();
    const char* stray[] = {".PIC16F628A.hex.Ab3dE9", ".PIC12F508.hex.0123456789ab"};
    const char* kept[] = {"notes.txt", ".hex.Ab3dE9", "PIC16F84A.hex.Ab3dE9", ".x.hex.ab"};
    for (const char* name : stray)
        std::ofstream(sim / name) << ":00000001FF\r\n";
    for (const char* name : kept)
        std::ofstream(sim / name) << "x";
    ProgramRun run(dir.path());
    for (const char* name : stray)
        EXPECT_FALSE(fs::exists(sim / name)) << name;
    for (const char* name : kept)
        EXPECT_TRUE(fs::exists(sim / name)) << name;
    run.main.close();
}

TEST_F(SimChip, ADamagedImageKeepsThePortClosedAndIsLeftAsItIs) {
    fs::create_directories(image.parent_path());
    std::ofstream(image, std::ios::binary) << ":10000000FF3F\r\n";  // cut short
    ProgramRun run(dir.path());
    EXPECT_EQ(run.main.save(), 1);
    EXPECT_EQ(run.lastBox().rfind(
                  "COM-Init-Error!\nThe simulated chip cannot be loaded:\n" + image.string(), 0),
              0u)
        << run.lastBox();
    EXPECT_EQ(run.program.host.simChip(), nullptr);  // never a blank chip in its place
    run.main.close();
    EXPECT_EQ(readFile(image), ":10000000FF3F\r\n");
}

TEST_F(SimChip, AChipThatCannotBeSavedFailsTheCommand) {
    ProgramRun run(dir.path());
    fs::create_directories(image / "in the way");  // the image cannot be renamed into place
    run.write(blink);
    EXPECT_EQ(run.window.boxes.back().title, "Error");
    EXPECT_EQ(run.lastBox().rfind("Cannot save the simulated chip to " + image.string(), 0), 0u)
        << run.lastBox();
    EXPECT_EQ(run.program.host.saveFailures(), 1);
    EXPECT_EQ(run.program.session.message, run.lastBox());
    EXPECT_EQ(run.main.lastEnding(), ui::Ending::failed);
}

// The file read when Write starts is what every pass writes: a new version
// moved in during the write reaches neither code nor EEPROM.
TEST_F(SimChip, AFileReplacedDuringAWriteDoesNotMixTwoVersions) {
    const auto version = [](int n) {
        const int code = 0x3000 + n, data = 0x40 + n;  // movlw n; EEPROM byte
        const int codeSum = -(2 + 0 + 0 + 0 + (code & 0xFF) + (code >> 8)) & 0xFF;
        const int dataSum = -(2 + 0x42 + 0 + 0 + data) & 0xFF;
        return formatText(":02000000%02X%02X%02X\r\n:02420000%02X00%02X\r\n:00000001FF\r\n",
                          code & 0xFF, code >> 8, codeSum, data, dataSum);
    };
    const fs::path file = dir.path() / "prog.hex";
    std::ofstream(file, std::ios::binary) << version(1);
    ProgramRun run(dir.path());
    run.window.file = file;
    run.window.replacement = version(2);
    run.window.at = "Contr-Adr: 0000";
    run.window.check(ctl::kWriteDataBox, true);
    EXPECT_EQ(run.write(file), 0) << run.program.session.message;
    EXPECT_EQ(readFile(file), version(2));  // the file was replaced mid-write
    run.main.close();
    const auto chip = sim::parseChipImage(*sim::findProfile(kChip), readFile(image));
    ASSERT_TRUE(chip.has_value());
    EXPECT_EQ(chip->program[0], 0x3001);
    EXPECT_EQ(chip->data[0], 0x41);
}

TEST_F(SimChip, AStopMidWriteLeavesProgrammingModeAtTheNextFrameAndFailsTheWrite) {
    // 128 words 0x1000 + w, one record each.
    std::string hex;
    for (unsigned w = 0; w < 128; ++w)
        hex += formatText(":02%04X00%02X10%02X\r\n", 2 * w, w,
                          (0x100 - ((0x12 + 3 * w) & 0xFF)) & 0xFF);
    std::ofstream(dir.path() / "words.hex", std::ios::binary) << hex << ":00000001FF\r\n";

    ProgramRun run(dir.path());
    run.window.stopAt = "Contr-Adr: 0040";
    EXPECT_EQ(run.write(dir.path() / "words.hex"), 1);
    EXPECT_EQ(run.main.lastEnding(), ui::Ending::failed);
    sim::VirtualPic& chip = *run.program.host.simChip();
    EXPECT_FALSE(chip.inProgrammingMode());
    EXPECT_FALSE(run.program.host.simBoard().lines().vpp);
    EXPECT_EQ(chip.programWord(0x3F), 0x103F);  // written before the stop
    EXPECT_EQ(chip.programWord(0x40), 0x3FFF);  // nothing after it
    EXPECT_EQ(chip.programWord(0x7F), 0x3FFF);
    // What was written is kept.
    const auto kept = sim::parseChipImage(chip.profile(), readFile(image));
    ASSERT_TRUE(kept.has_value());
    EXPECT_EQ(kept->program[0x3F], 0x103F);
}

// Where a program without -C finds its device list, and what it tries.
// The progress line counts the pass's own words, whatever their addresses,
// and names the pass; a new status text ends it.
TEST(ConsoleProgress, TheBarCountsThePassWordsAndNamesThePass) {
    std::istringstream in;
    std::ostringstream err;
    cli::ConsoleWindow w(in, err, {false, false, true, nullptr});
    w.setText(ctl::kStatusField, "Contr-Adr: 2105");
    w.progress({Stage::verifying, true, 0x2105, 4, 10});
    const std::string line = err.str().substr(err.str().rfind('\r'));
    EXPECT_EQ(
        line.rfind("\rverifying data  50% [###############...............] Contr-Adr: 2105", 0), 0u)
        << line;
    w.setText(ctl::kStatusField, "erasing.....");
    EXPECT_EQ(err.str().substr(err.str().rfind('\r')).rfind("\rerasing.....  0:00", 0), 0u);
}

// A question that confirms an action is answered by --yes, one about
// something wrong only by --force; on a terminal what they leave is asked.
TEST(ConsoleQuestions, YesConfirmsForceOverridesATerminalIsAsked) {
    const struct {
        bool yes, force, terminal;
        QuestionKind kind;
        const char* typed;
        ui::Answer answer;
        const char* shown;
    } rows[] = {
        {true, false, false, QuestionKind::confirm, "", ui::Answer::ok, "y (--yes)"},
        {false, true, false, QuestionKind::confirm, "", ui::Answer::cancel, "--yes answers OK"},
        {true, false, false, QuestionKind::doubt, "", ui::Answer::cancel,
         "--force, not --yes, answers OK"},
        {false, true, false, QuestionKind::doubt, "", ui::Answer::ok, "y (--force)"},
        {false, false, false, QuestionKind::doubt, "", ui::Answer::cancel, "--force answers OK"},
        {true, false, true, QuestionKind::doubt, "y\n", ui::Answer::ok, "Continue? [y/N] "},
        {true, false, true, QuestionKind::doubt, "n\n", ui::Answer::cancel, "Continue? [y/N] "},
        {false, false, true, QuestionKind::confirm, "yes\n", ui::Answer::ok, "Continue? [y/N] "},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.shown);
        std::istringstream in(row.typed);
        std::ostringstream err;
        cli::ConsoleWindow w(in, err, {row.yes, row.terminal, false, nullptr, row.force});
        EXPECT_EQ(w.ask("Continue?", "Warning!", row.kind), row.answer);
        EXPECT_EQ(err.str().rfind("Warning!: Continue? [y/N] ", 0), 0u) << err.str();
        EXPECT_NE(err.str().find(row.shown), std::string::npos) << err.str();
    }
}

TEST(ProgramDir, CurrentThenPerUserThenTheShippedListCopied) {
    TempDir t;
    const fs::path cwd = t.path() / "cwd", home = t.path() / "home",
                   exe = t.path() / "bin/ferrolux";
    fs::create_directories(cwd);
    const fs::path shipped = app::shippedDeviceList(exe), user = home / app::kUserFolder;
    fs::create_directories(shipped.parent_path());
    const struct {
        const char* present;  // the lists that exist before the lookup
        fs::path found;
        std::size_t tried;
    } rows[] = {
        {"", {}, 3},
        {"share", user, 3},  // copied, then found in place
        {"share user", user, 2},
        {"share user cwd", cwd, 1},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.present);
        const std::string present = row.present;
        fs::remove_all(home);
        fs::remove(cwd / "kestrum.ini");
        fs::remove(shipped);
        if (present.find("share") != std::string::npos) std::ofstream(shipped) << "shipped";
        if (present.find("user") != std::string::npos) {
            fs::create_directories(user);
            std::ofstream(user / "kestrum.ini") << "user";
        }
        if (present.find("cwd") != std::string::npos) std::ofstream(cwd / "kestrum.ini") << "";
        const app::ProgramDirChoice c = app::findProgramDir(cwd, home, exe);
        EXPECT_EQ(c.dir, row.found);
        EXPECT_EQ(c.tried.size(), row.tried);
        if (present == "share") {
            EXPECT_EQ(readFile(user / "kestrum.ini"), "shipped");
        }
    }
    EXPECT_EQ(app::notFoundText(app::findProgramDir(cwd, {}, {})),
              "no device list kestrum.ini found; tried: " + (cwd / "kestrum.ini").string());
}

#if !defined(_WIN32)  // Windows lists the ports the system names
// The ports found below a root laid out as sysfs, /dev and /proc show them.
TEST(Ports, SerialDevicesComLinksAndParallelPortsAreListed) {
    TempDir t;
    const fs::path root = t.path();
    auto tty = [&](const std::string& name, const char* type) {
        fs::create_directories(root / "sys/class/tty" / name / "device");
        if (type) std::ofstream(root / "sys/class/tty" / name / "type") << type << "\n";
    };
    tty("ttyS0", "4");
    tty("ttyS1", "0");  // no UART behind it
    tty("ttyUSB0", nullptr);
    fs::create_directories(root / "sys/class/tty/tty1");  // a console, no device
    fs::create_directories(root / "dev/serial/by-id");
    fs::create_symlink("../../ttyUSB0", root / "dev/serial/by-id/usb-FTDI_X-if00-port0");
    fs::create_directories(root / "proc/sys/dev/parport/parport0");
    std::ofstream(root / "proc/sys/dev/parport/parport0/base-addr") << "888\t1912\n";
    fs::create_directories(root / "prog");
    fs::create_symlink("/dev/ttyUSB0", root / "prog/COM3");

    std::vector<std::string> lines;
    for (const auto& p : platform::listPorts(root / "prog", root))
        lines.push_back(p.name + " " + p.device);
    EXPECT_EQ(lines,
              (std::vector<std::string>{
                  "COM3 /dev/ttyUSB0", "COM1 /dev/ttyS0", "/dev/ttyUSB0 /dev/ttyUSB0",
                  "/dev/serial/by-id/usb-FTDI_X-if00-port0 /dev/ttyUSB0", "0378 /dev/parport0"}));
}
#endif

}  // namespace
}  // namespace ferrolux::test
