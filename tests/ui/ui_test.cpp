// The window logic through the recording window: the main window's commands,
// start-up, ports and chips, the configuration dialog and the data memory
// window, all on the simulated board at SIM1.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <filesystem>
#include <memory>

#include "app/host.h"
#include "files/hex_image.h"
#include "session/messages.h"
#include "sim/virtual_pic.h"
#include "support/recording_ports.h"
#include "support/recording_window.h"
#include "support/temp_dir.h"
#include "ui/config_dialog.h"
#include "ui/control_ids.h"
#include "ui/data_window.h"
#include "ui/main_window.h"

namespace ferrolux::test {
namespace {

using ui::Answer;
using ui::Ending;
using namespace std::string_literals;

std::filesystem::path example(const std::string& name) {
    return std::filesystem::path(FERROLUX_EXAMPLE_DIR) / (name + ".hex");
}

// A program directory with the shipped device list and the whole program on
// a recording window.
struct UiRig {
    TempDir dir;
    RecordingWindow window;
    RecordingWindow& w = window;
    std::unique_ptr<app::Program> program;

    UiRig() {
        std::filesystem::copy_file(std::filesystem::path(FERROLUX_SOURCE_DIR) / "data/kestrum.ini",
                                   dir.path() / "kestrum.ini");
    }
    std::string state() const { return readFile(dir.path() / "kestrum.cfg"); }
    ui::MainWindow& main() { return program->main; }
    Session& s() { return program->session; }
    sim::VirtualPic& chip() { return *program->host.simChip(); }
    sim::SimBoard& board() { return program->host.simBoard(); }

    bool start() {
        program = std::make_unique<app::Program>(dir.path(), window);
        program->session.outputDir = dir.path();
        return program->main.open();
    }
    // A new start on a fresh window that answers `answers`, after an exit if `exit`.
    bool restart(std::deque<Answer> answers = {}, bool exit = true) {
        if (exit) main().close();
        program.reset();
        window = RecordingWindow();
        window.answers = std::move(answers);
        return start();
    }
    // Starts with `chip` selected on the simulated board, speed high, no file to reopen.
    void startOn(const std::string& chip) {
        ASSERT_TRUE(start());
        const int index = indexOf(chip);
        program.reset();
        writeFile(dir.path() / "kestrum.cfg", "SIM1" + formatText("%02d", index) + "01403");
        ASSERT_TRUE(restart({}, false));
        ASSERT_EQ(s().device.name, chip);
    }
    int indexOf(const std::string& chip) {
        const auto& names = window.lists[ctl::kChipList];
        return static_cast<int>(std::find(names.begin(), names.end(), chip) - names.begin());
    }
    void selectChip(const std::string& name) {
        window.selectListItem(ctl::kChipList, indexOf(name));
        main().command(ctl::kChipList);
        ASSERT_EQ(s().device.name, name);
    }
    int open(const std::filesystem::path& file) {
        window.pickedFiles.push_back(file.string());
        return main().openFile();
    }
    // Example `name` copied into the program directory with `from` replaced by `to`.
    std::filesystem::path edited(const std::string& name, const std::string& from,
                                 const std::string& to) {
        std::string text = readFile(example(name));
        const std::size_t at = text.find(from);
        EXPECT_NE(at, std::string::npos) << from;
        if (at != std::string::npos) text.replace(at, from.size(), to);
        writeFile(dir.path() / "edited.hex", text);
        return dir.path() / "edited.hex";
    }
    // From now on, every line change of the board is recorded.
    void watchBoard() {
        board().enableTrace(true);
        board().clearTrace();
    }
    bool boardUntouched() { return board().trace().empty(); }
    const RecordingWindow::Box& lastBox() {
        static const RecordingWindow::Box none{"(no box)", "", ui::Buttons::ok};
        return window.boxes.empty() ? none : window.boxes.back();
    }
    // The last command ended through failCommand, with `text` if given.
    void expectFailed(const std::string& text = {}) {
        EXPECT_EQ(main().lastEnding(), Ending::failed);
        EXPECT_EQ(lastBox().title, "Error");
        EXPECT_TRUE(text.empty() || lastBox().text == text) << lastBox().text;
        EXPECT_EQ(w.texts[ctl::kStatusField], " ");
        EXPECT_FALSE(w.enabled[ctl::kStatusField] || w.enabled[ctl::kFileField]);
    }
    void expectOk(const std::string& text) {
        EXPECT_EQ(main().lastEnding(), Ending::ok) << lastBox().text;
        EXPECT_EQ(w.texts[ctl::kStatusField], text);
        EXPECT_FALSE(w.enabled[ctl::kStatusField]);
    }
    // Chip commands refused before the board is touched.
    void expectRefused(std::initializer_list<int> ids, const std::string& text) {
        watchBoard();
        for (int id : ids) {
            main().command(id);
            EXPECT_EQ(main().lastEnding(), Ending::refused) << id;
            EXPECT_EQ(lastBox().text, text) << id;
        }
        EXPECT_TRUE(boardUntouched());
    }
    // The boxes a 12-bit chip greys: only Verify Code stays checked.
    void expectDataBoxes(bool enabled, bool eraseEnabled, bool eraseChecked) {
        for (int id : {ctl::kWriteDataBox, ctl::kVerifyDataBox, ctl::kVerifyCodeBox}) {
            EXPECT_EQ(w.enabled[id], enabled) << id;
            EXPECT_EQ(w.checked[id], id == ctl::kVerifyCodeBox) << id;
        }
        EXPECT_EQ(w.enabled[ctl::kEraseBeforeWriteBox], eraseEnabled);
        EXPECT_EQ(w.checked[ctl::kEraseBeforeWriteBox], eraseChecked);
    }
};

struct Commands : ::testing::Test, UiRig {
    void SetUp() override { startOn("PIC16F628A"); }
    void openAndWrite() {
        ASSERT_EQ(open(example("blink_16f628a")), 0) << lastBox().text;
        ASSERT_EQ(main().write(), 0) << lastBox().text;
    }
    // "OK" and the checksum of a PIC16F628A holding the example: its code
    // words and 3FFF for the rest of the 2048, plus the configuration word in
    // the chip's bits (21FF).
    std::string okWithExampleChecksum() {
        DeviceRecord d = s().device;
        ChipImage image;
        std::string message;
        EXPECT_TRUE(readChipImage(example("blink_16f628a").string(), d, image, message)) << message;
        unsigned sum = 0;
        for (int address = 0; address < 2048; ++address)
            sum += image.words.count(address) ? image.words[address] : 0x3FFF;
        sum += static_cast<unsigned>(image.config.value_or(0x3FFF) & 0x21FF);
        char text[32];
        std::snprintf(text, sizeof text, "OK  checksum %04X", sum & 0xFFFF);
        return text;
    }
};

TEST_F(Commands, WriteAndVerifyNeedAFileOnlyForCodeOrData) {
    s().chip.configWord = 0x3F50;
    w.checked[ctl::kEraseBeforeWriteBox] = false;
    for (int ticked : {ctl::kWriteCodeBox, ctl::kWriteDataBox}) {
        for (int id : {ctl::kWriteCodeBox, ctl::kWriteDataBox, ctl::kWriteConfigBox})
            w.checked[id] = id == ticked;
        expectRefused({ctl::kWriteButton}, "No File selected!");
    }
    expectRefused({ctl::kVerifyButton}, "No File selected!");
    w.checked[ctl::kWriteDataBox] = false;
    w.checked[ctl::kWriteConfigBox] = true;
    main().command(ctl::kWriteButton);
    EXPECT_EQ(w.texts[ctl::kStatusField].rfind("OK  checksum ", 0), 0u);
    EXPECT_EQ(chip().configWord(0x2007), 0x3F50);
}

// "Keep Data Memory" writes the EEPROM back over the erase unless the file's
// data is written; a protected EEPROM is refused before the erase.
TEST_F(Commands, KeepDataMemoryOverTheErase) {
    openAndWrite();
    EXPECT_FALSE(w.checked[ctl::kKeepDataBox]);
    chip().setDataByte(1, 0x5A);
    w.checked[ctl::kKeepDataBox] = true;
    w.checked[ctl::kWriteDataBox] = false;
    main().command(ctl::kWriteButton);
    expectOk(okWithExampleChecksum() + "   EEPROM kept");
    EXPECT_EQ(chip().dataByte(0), 'F');
    EXPECT_EQ(chip().dataByte(1), 0x5A);
    // The file's data wins, and the status says so.
    w.checked[ctl::kWriteDataBox] = true;
    main().command(ctl::kWriteButton);
    expectOk(okWithExampleChecksum() + "   EEPROM from the file");
    EXPECT_NE(chip().dataByte(1), 0x5A);

    chip().protect(false, true);
    w.checked[ctl::kWriteDataBox] = false;
    main().command(ctl::kWriteButton);
    EXPECT_EQ(main().lastEnding(), Ending::failed);
    EXPECT_NE(lastBox().text.find("The data memory is protected"), std::string::npos)
        << lastBox().text;
    EXPECT_TRUE(chip().dataProtected());
}

TEST_F(Commands, OpenWriteVerifySave) {
    ASSERT_EQ(open(example("blink_16f628a")), 0) << lastBox().text;
    EXPECT_EQ(w.texts[ctl::kFileField], "blink_16f628a.hex");
    EXPECT_EQ(w.texts[ctl::kConfigWordField], "3F70");
    main().command(ctl::kWriteButton);
    expectOk(okWithExampleChecksum());
    EXPECT_EQ(chip().programWord(0), 0x2805);
    EXPECT_EQ(chip().dataByte(0), 'F');
    EXPECT_EQ(chip().configWord(0x2007), 0x3F70);
    EXPECT_FALSE(chip().inProgrammingMode());

    w.checked[ctl::kVerifyDataBox] = true;
    w.texts[ctl::kStatusField] = "";
    main().command(ctl::kVerifyButton);
    expectOk(okWithExampleChecksum());
    for (std::string form : {"txt", "hex"}) {
        w.checked[ctl::kSaveHexRadio] = form == "hex";
        w.checked[ctl::kSaveTextRadio] = form == "txt";
        w.texts[ctl::kConfigWordField] = "";
        main().command(ctl::kSaveButton);
        // The hex readback brings the chip's checksum, the listing none.
        const std::string sum = okWithExampleChecksum().substr(2);
        expectOk("'readback." + form + "' saved" + (form == "hex" ? sum : ""));
        EXPECT_TRUE(std::filesystem::exists(dir.path() / ("readback." + form)));
        EXPECT_EQ(w.texts[ctl::kConfigWordField], "3F70");
    }

    // A mismatch, then no chip at all: the message under "Error".
    chip().setProgramWord(0x10, 0x0000);
    main().command(ctl::kVerifyButton);
    expectFailed();
    EXPECT_NE(lastBox().text.find("0010"), std::string::npos) << lastBox().text;
    EXPECT_FALSE(chip().inProgrammingMode());
    board().removeChip();
    for (int id : {ctl::kWriteButton, ctl::kVerifyButton, ctl::kSaveButton}) {
        main().command(id);
        expectFailed(kNoPicOnBoard);
        EXPECT_FALSE(board().lines().vpp) << id;
    }
    board().insertChip(&chip());
}

TEST_F(Commands, SaveAsksWhereAndCancelReadsNothing) {
    openAndWrite();
    w.checked[ctl::kSaveHexRadio] = true;
    w.checked[ctl::kSaveTextRadio] = false;
    watchBoard();
    w.savePicks = {""};
    main().command(ctl::kSaveButton);
    EXPECT_EQ(main().lastEnding(), Ending::cancelled);
    EXPECT_TRUE(boardUntouched());
    ASSERT_EQ(w.saveRequests.size(), 1u);
    EXPECT_EQ(w.saveRequests[0].fileName, "readback.hex");
    EXPECT_EQ(w.saveRequests[0].startFolder, dir.path().string());
    EXPECT_FALSE(std::filesystem::exists(dir.path() / "readback.hex"));

    std::filesystem::create_directory(dir.path() / "out");
    w.savePicks = {(dir.path() / "out" / "blink.hex").string()};
    main().command(ctl::kSaveButton);
    expectOk("'blink.hex' saved" + okWithExampleChecksum().substr(2));
    EXPECT_EQ(readFile(dir.path() / "out" / "blink.hex").rfind(':', 0), 0u);
    EXPECT_FALSE(std::filesystem::exists(dir.path() / "readback.hex"));
    EXPECT_TRUE(s().readbackPath.empty());
}

TEST_F(Commands, TitleAndStatusBarNameTheBoardChipPortAndLastChecksum) {
    EXPECT_EQ(w.texts[ctl::kWindowTitle], "Ferrolux 2.6 \u2014 simulated board");
    EXPECT_EQ(w.texts[ctl::kStatusBar], "PIC16F628A   Port SIM1");
    main().lastChecksum = "Checksum 3A7F";
    selectChip("PIC16F84A");
    EXPECT_EQ(w.texts[ctl::kStatusBar], "PIC16F84A   Port SIM1   Checksum 3A7F");
    w.texts[ctl::kWindowTitle].clear();
    main().command(ctl::kExitButton);
    EXPECT_TRUE(w.texts[ctl::kWindowTitle].empty());  // an ended window is left alone
}

// A file that went bad after it was opened is refused before Write or Verify
// uses the link, although "Erase bef. Write" is ticked.
TEST_F(Commands, AFileThatFailsItsCheckIsRefusedBeforeTheChipIsTouched) {
    openAndWrite();
    const auto file = dir.path() / "next.hex";
    const std::string good = readFile(example("blink_16f628a"));
    writeFile(file, good);
    ASSERT_EQ(open(file), 0);
    const std::pair<std::string, std::string> cases[] = {
        {":02400E00743FFD\n" + good, "Address 400E is given 74 in line 1 and 70 in line"},
        {"", "Open Error!"},  // a FIFO where the file was
    };
    for (const auto& [text, refusal] : cases) {
        std::filesystem::remove(file);
        if (!text.empty()) {
            writeFile(file, text);
        } else {
#if defined(_WIN32)
            continue;  // no FIFOs on Windows
#else
            ASSERT_EQ(::mkfifo(file.c_str(), 0600), 0);
#endif
        }
        for (int id : {ctl::kWriteButton, ctl::kVerifyButton}) {
            watchBoard();
            main().command(id);
            expectFailed();
            EXPECT_EQ(lastBox().text.rfind(refusal, 0), 0u) << lastBox().text;
            EXPECT_TRUE(boardUntouched()) << refusal;
        }
    }
    EXPECT_EQ(chip().programWord(0), 0x2805);
    EXPECT_EQ(chip().dataByte(0), 'F');
}

TEST_F(Commands, OpenCancelledBadOrWithAWrongChecksumKeepsOrDropsTheFile) {
    w.pickedFiles = {""};
    EXPECT_EQ(main().openFile(), 1);
    EXPECT_TRUE(w.boxes.empty());

    // A file that does not open leaves the one selected before, with its IDs.
    ASSERT_EQ(open(example("blink_16f628a")), 0);
    // IDs 9 9 9 9, then a line that is no record.
    writeFile(dir.path() / "bad.hex", ":08400000090009000900090094\r\nhello\r\n");
    for (const char* name : {"bad.hex", "missing.hex"}) {
        EXPECT_EQ(open(dir.path() / name), 1);
        expectFailed();
        EXPECT_TRUE(s().file.fileSelected) << name;
        EXPECT_EQ(w.texts[ctl::kFileField], "blink_16f628a.hex");
        EXPECT_EQ(s().chip.idValues, (std::array<int, 4>{1, 0xA, 2, 0xF}));
    }
    main().command(ctl::kCloseFile);
    EXPECT_FALSE(s().file.fileSelected);
    EXPECT_EQ(w.texts[ctl::kFileField], " ");
    writeFile(dir.path() / "bad.hex", "hello\r\n");
    EXPECT_EQ(open(dir.path() / "bad.hex"), 1);
    expectFailed("Wrong File-Format!\nLine 1 is not a record.");
    EXPECT_FALSE(s().file.fileSelected);

    const auto sum = edited("blink_16f628a", ":020000000528D1", ":020000000528D2");
    for (Answer a : {Answer::cancel, Answer::ok}) {
        w.answers = {a};
        EXPECT_EQ(open(sum), a == Answer::ok ? 0 : 1);
        EXPECT_EQ(lastBox().text, "Intel checksum wrong, continue?");
        EXPECT_EQ(lastBox().kind, QuestionKind::doubt);
        EXPECT_EQ(s().file.fileSelected, a == Answer::ok);
        EXPECT_EQ(w.texts[ctl::kFileField], a == Answer::ok ? "edited.hex" : " ");
    }
    EXPECT_EQ(open(edited("blink_16f628a", ":02400E00703F01\n", "")), 0);
    EXPECT_EQ(lastBox().title, "WARNING!");  // no configuration word in the file
    EXPECT_FALSE(w.checked[ctl::kWriteConfigBox]);
}

TEST_F(Commands, EraseQuestionsCancelSendsNothingAndOkErases) {
    openAndWrite();
    // The 16F628A's code erase takes IDs, configuration word and protected data too.
    for (auto [id, question] :
         {std::pair{
              ctl::kEraseCode,
              "This Command Deletes Flash-Memory!\nOn this chip it also erases the ID locations, "
              "the configuration word and the data memory (EEPROM) if it is code protected."},
          {ctl::kEraseData, "This Command Deletes Data-Memory!"},
          {ctl::kDisableProtection, "This Command Deletes Memory!"}}) {
        watchBoard();
        w.answers = {Answer::cancel};
        main().command(id);
        // The question names the chip, and Enter takes Cancel.
        EXPECT_EQ(lastBox().text, std::string(question) + "\n\nChip: PIC16F628A");
        EXPECT_EQ(lastBox().preferred, Answer::cancel);
        EXPECT_EQ(main().lastEnding(), Ending::cancelled);
        EXPECT_TRUE(boardUntouched()) << question;
    }
    main().command(ctl::kEraseData);
    expectOk("OK");
    EXPECT_EQ(chip().dataByte(0), 0xFF);
    EXPECT_EQ(chip().programWord(0), 0x2805);
    main().command(ctl::kEraseCode);
    expectOk("OK");
    EXPECT_EQ(chip().programWord(0), 0x3FFF);

    openAndWrite();
    chip().protect(true, true);
    main().command(ctl::kDisableProtection);
    EXPECT_EQ(main().lastEnding(), Ending::ok);
    EXPECT_FALSE(chip().codeProtected());
    EXPECT_EQ(chip().programWord(0), 0x3FFF);
}

// The data memory window writes what its lines show, up to the end of the
// data memory, and stops at a bad value or a byte that does not take.
TEST_F(Commands, DialogsHelpAndExit) {
    w.dialogScripts[ctl::kConfigDialog] = [](ui::DialogHandler& h, RecordingWindow& d) {
        d.userEdit(h, ctl::kHexValueField, "1234", 4);
        h.command(d, ctl::kDefaultButton);
    };
    main().command(ctl::kViewSetButton);
    EXPECT_EQ(w.texts[ctl::kConfigWordField], "1234");

    for (int k = 0; k < 128; ++k)
        chip().setDataByte(static_cast<std::size_t>(k), static_cast<std::uint8_t>(k));
    w.dialogScripts[ctl::kDataMemoryDialog] = [&](ui::DialogHandler& h, RecordingWindow& d) {
        EXPECT_TRUE(chip().inProgrammingMode());
        std::string& text = d.texts[ctl::kDataText];
        EXPECT_EQ(text.size(), 128u * 11);
        EXPECT_EQ(text.substr(127 * 11), "007F: 7F \r\n");
        text.replace(127 * 11 + 6, 2, "3C");
        text += "0080: 55 \r\n";
        h.command(d, ctl::kWriteData);
        EXPECT_EQ(chip().dataByte(127), 0x3C);
        EXPECT_EQ(chip().dataByte(0), 0);
        text.replace(2 * 11 + 6, 2, "ZZ");
        h.command(d, ctl::kWriteData);
        EXPECT_EQ(d.boxes.at(0).text, "Data-Value? (0002)");
        chip().dropWritesToData(3);
        text.replace(2 * 11 + 6, 2, "02");
        text.replace(3 * 11 + 6, 2, "AA");
        text.replace(9 * 11 + 6, 2, "BB");
        h.command(d, ctl::kWriteData);
        EXPECT_EQ(d.boxes.at(1).text, "Write Error!");
        EXPECT_EQ(chip().dataByte(9), 9);  // later lines are not written
    };
    main().command(ctl::kDataWindow);
    EXPECT_EQ(main().lastEnding(), Ending::failed);
    EXPECT_FALSE(chip().inProgrammingMode());
    // A chip without data memory gets no window and no link check.
    selectChip("PIC16F73");
    expectRefused({ctl::kDataWindow}, "This PIC does not provide data memory!");
    EXPECT_EQ(w.dialogsRun.size(), 2u);

    main().command(ctl::kHelpTopics);
    EXPECT_EQ(lastBox().text, "T3306.CHM not found!");
    writeFile(dir.path() / "T3306.CHM", "help");
    main().command(ctl::kHelpTopics);
    EXPECT_EQ(w.documents, std::vector<std::string>{(dir.path() / "T3306.CHM").string()});

    main().command(4711);
    EXPECT_FALSE(main().ended());
    for (int id : {ctl::kExitButton, ctl::kExitMenu, ctl::kCancel}) {
        ui::MainWindow fresh(s(), w);
        fresh.command(id);
        EXPECT_TRUE(fresh.ended()) << id;
    }
    EXPECT_EQ(w.endResults, (std::vector<int>{0, 0, 0}));
}

// 12-bit chips: the blank check before writing code, unless a flash chip is
// erased first ("Erase bef. Write"); verify always compares code.
TEST(TwelveBit, ANotBlankChipAsksAndCancelWritesNothingUnlessAFlashChipIsErased) {
    for (const char* chip : {"PIC12C508", "PIC12F508"}) {
        SCOPED_TRACE(chip);
        UiRig rig;
        RecordingWindow& w = rig.window;
        rig.startOn(chip);
        ASSERT_EQ(rig.open(example("blink_12c508")), 0);
        ASSERT_EQ(rig.main().write(), 0) << rig.lastBox().text;
        const int word = rig.chip().programWord(0x05);
        rig.chip().setProgramWord(0x05, 0x0000);  // a rewrite would restore it, if it could
        w.enabled[ctl::kSaveButton] = false;
        w.checked[ctl::kEraseBeforeWriteBox] = false;
        w.answers = {Answer::cancel};
        EXPECT_EQ(rig.main().write(), 1);
        EXPECT_EQ(rig.lastBox().text, "PIC not blank, continue?");
        EXPECT_EQ(rig.lastBox().kind, QuestionKind::confirm);
        EXPECT_EQ(rig.main().lastEnding(), Ending::cancelled);
        EXPECT_TRUE(w.enabled[ctl::kSaveButton]);
        EXPECT_FALSE(rig.chip().inProgrammingMode());

        w.checked[ctl::kVerifyCodeBox] = false;
        EXPECT_EQ(rig.main().verify(), 1);
        rig.expectFailed();
        if (!w.enabled[ctl::kEraseBeforeWriteBox]) continue;
        w.checked[ctl::kEraseBeforeWriteBox] = true;
        const std::size_t boxes = w.boxes.size();
        EXPECT_EQ(rig.main().write(), 0) << rig.lastBox().text;
        EXPECT_EQ(w.boxes.size(), boxes);
        EXPECT_EQ(rig.chip().programWord(0x05), word);
    }
}

TEST_F(Commands, AChipOfAnotherTypeIsWrittenOrComparedOnlyWhenTheUserAgrees) {
    ASSERT_EQ(open(example("blink_16f628a")), 0);
    sim::VirtualPic other(*sim::findProfile("PIC16F627A"));
    board().insertChip(&other);
    // The chip is let go while the user decides: no Vpp for as long as that takes.
    int asked = 0;
    w.whileShown = [&](const RecordingWindow::Box&) {
        ++asked;
        EXPECT_FALSE(other.inProgrammingMode());
        EXPECT_FALSE(board().lines().vpp);
    };
    for (auto run : {&ui::MainWindow::write, &ui::MainWindow::verify}) {
        w.answers = {Answer::cancel};
        EXPECT_EQ((main().*run)(), 1);
        EXPECT_EQ(lastBox().text,
                  "The device ID 1040 belongs to PIC16F627A, not to PIC16F628A.\nContinue?");
        EXPECT_EQ(lastBox().kind, QuestionKind::doubt);
        EXPECT_EQ(main().lastEnding(), Ending::cancelled);
        EXPECT_FALSE(other.inProgrammingMode());
        EXPECT_EQ(other.programWord(0), 0x3FFF);
    }
    w.answers = {Answer::ok};
    EXPECT_EQ(main().write(), 0) << lastBox().text;
    EXPECT_NE(other.programWord(0), 0x3FFF);
    EXPECT_EQ(asked, 3);
    w.whileShown = nullptr;
    board().removeChip();
}

// A code-protected chip reads as zeros: the readback is saved, and a warning
// says what it holds.
TEST_F(Commands, TheReadbackOfAProtectedChipSaysWhatTheFileHolds) {
    for (int config : {0x3F7F, 0x1F7F, 0x3E7F}) {  // none, /CP, /CPD
        SCOPED_TRACE(config);
        chip().setConfigWord(0x2007, static_cast<std::uint16_t>(config));
        const std::size_t boxes = w.boxes.size();
        main().command(ctl::kSaveButton);
        EXPECT_EQ(main().lastEnding(), Ending::ok);
        if (config == 0x3F7F) {
            EXPECT_EQ(w.boxes.size(), boxes);
            continue;
        }
        ASSERT_EQ(w.boxes.size(), boxes + 1);
        EXPECT_EQ(lastBox().title, "Warning!");
        EXPECT_EQ(lastBox().text.rfind(
                      formatText("The chip is code-protected (Config-Word %.4X): "
                                 "its %s reads as zeros.\n",
                                 config, config == 0x1F7F ? "code memory" : "data memory"),
                      0),
                  0u)
            << lastBox().text;
    }
}

TEST(StartUp, WithoutAStateFileOrWithOneOrWithoutADeviceList) {
    UiRig rig;
    RecordingWindow& w = rig.window;
    ASSERT_TRUE(rig.start());
    EXPECT_EQ(rig.state().substr(0, 8), "COM20013");
    EXPECT_TRUE(w.checked[ctl::kPortCom2]);
    EXPECT_FALSE(rig.s().port.comOpen());
    EXPECT_TRUE(w.boxes.empty());
    EXPECT_EQ(w.shows, 1);
    // The first chip of the sorted list is a 12-bit flash one.
    ASSERT_EQ(rig.s().device.family, 9);
    rig.expectDataBoxes(false, true, true);
    // Exit writes back what was read; the serial port took low voltage away.
    rig.main().close();
    EXPECT_EQ(rig.state().substr(0, 9), "COM20003" + std::string(1, rig.s().link.vppLine));

    writeFile(rig.dir.path() / "kestrum.cfg", "COM50501403");
    ASSERT_TRUE(rig.restart({}, false));
    EXPECT_TRUE(w.checked[ctl::kPortCom3 + 2]);
    EXPECT_FALSE(w.checked[ctl::kPortCom2] || rig.s().port.comOpen());
    EXPECT_EQ(rig.s().device.listIndex, 5);
    EXPECT_TRUE(w.checked[ctl::kSpeedHigh]);

    std::filesystem::remove(rig.dir.path() / "kestrum.ini");
    rig.main().close();
    std::filesystem::remove(rig.dir.path() / "kestrum.cfg");
    EXPECT_FALSE(rig.restart({}, false));
    EXPECT_EQ(rig.lastBox().text, "Open Error 'kestrum.ini !'");
    EXPECT_TRUE(rig.main().ended());
    EXPECT_EQ(w.endResults, std::vector<int>{0});
    rig.main().close();                                                     // as the program ends
    EXPECT_FALSE(std::filesystem::exists(rig.dir.path() / "kestrum.cfg"));  // not made here
}

TEST(Reload, OkReopensTheLastFileEvenAfterCloseCancelOrAGoneFileDropsIt) {
    UiRig rig;
    RecordingWindow& w = rig.window;
    rig.startOn("PIC16F628A");
    const auto spaced = rig.dir.path() / "my blinker.hex";
    std::filesystem::copy_file(example("blink_16f628a"), spaced);
    ASSERT_EQ(rig.open(spaced), 0);
    rig.main().command(ctl::kCloseFile);
    ASSERT_TRUE(rig.restart());
    EXPECT_EQ(w.boxes.at(0).text, "Open 'my' ?");
    EXPECT_TRUE(rig.s().file.fileSelected);
    EXPECT_EQ(w.texts[ctl::kFileField], "my blinker.hex");
    EXPECT_EQ(w.texts[ctl::kConfigWordField], "3F70");

    ASSERT_TRUE(rig.restart({Answer::cancel}));
    EXPECT_FALSE(rig.s().file.fileSelected);
    // Nothing of the declined file is left to be written.
    EXPECT_FALSE(w.checked[ctl::kWriteConfigBox]);
    EXPECT_EQ(rig.s().chip.configWord, 0x3FFF);
    EXPECT_EQ(rig.s().chip.idValues, (std::array<int, 4>{}));
    ASSERT_TRUE(rig.restart());
    EXPECT_TRUE(w.boxes.empty());

    ASSERT_EQ(rig.open(spaced), 0);
    std::filesystem::remove(spaced);
    ASSERT_TRUE(rig.restart());
    EXPECT_TRUE(w.boxes.empty());
    EXPECT_FALSE(rig.s().file.fileSelected);
}

// No stored chip, or a list line of an unknown algorithm, selects no chip:
// chip commands are refused without touching the board.
TEST(NoChip, ChipCommandsRefuseWithoutTouchingTheBoard) {
    UiRig rig;
    writeFile(rig.dir.path() / "kestrum.cfg", "SIM1-101403");
    ASSERT_TRUE(rig.start());
    ASSERT_EQ(rig.s().device.listIndex, -1);
    const std::string noChip = "No PIC selected!\nChoose the PIC type in the Controller list.";
    rig.expectRefused(
        {ctl::kWriteButton, ctl::kVerifyButton, ctl::kSaveButton, ctl::kEraseCode, ctl::kEraseData,
         ctl::kDisableProtection, ctl::kDataWindow, ctl::kViewSetButton},
        noChip);
    EXPECT_TRUE(rig.window.dialogsRun.empty());

    writeFile(rig.dir.path() / "kestrum.ini",
              readFile(rig.dir.path() / "kestrum.ini") + "PIC16X00\tF84\t1024\t64\tN\t0\tN\n");
    rig.startOn("PIC16F84A");
    rig.window.selectListItem(ctl::kChipList, rig.indexOf("PIC16X00"));
    rig.main().command(ctl::kChipList);
    EXPECT_EQ(rig.lastBox().title, "Error!");
    EXPECT_EQ(rig.lastBox().text, "unknown algorithm 0 of PIC16X00 in kestrum.ini !");
    EXPECT_EQ(rig.s().device.listIndex, -1);
    rig.expectRefused({ctl::kWriteButton}, noChip);
}

// The state file keeps the chip's name: a line inserted above it in the
// device list does not make it another chip, and one taken out selects none.
TEST(StartUp, TheStoredChipIsFoundByItsNameWhenTheListChanges) {
    UiRig rig;
    rig.startOn("PIC16F84A");
    const int before = rig.s().device.listIndex;
    const auto list = rig.dir.path() / "kestrum.ini";
    const std::string text = readFile(list);
    writeFile(list, "PIC12C400\tC508\t512\t0\tN\t8\tN\n" + text);
    ASSERT_TRUE(rig.restart());
    EXPECT_EQ(rig.s().device.name, "PIC16F84A");
    EXPECT_EQ(rig.s().device.listIndex, before + 1);

    const std::string line = "PIC16F84A\tF84\t1024\t64\tN\t1\tY\t0560\n";
    std::string without = text;
    ASSERT_NE(without.find(line), std::string::npos);
    without.erase(without.find(line), line.size());
    writeFile(list, without);
    ASSERT_TRUE(rig.restart());
    EXPECT_EQ(rig.s().device.listIndex, -1);
    rig.expectRefused({ctl::kWriteButton},
                      "No PIC selected!\nChoose the PIC type in the Controller list.");
}

TEST(Ports, AComPortSaysWhyItCannotOpenTheSimulatorIsDetectedAndExitStoresThem) {
    UiRig rig;
    RecordingWindow& w = rig.window;
    ASSERT_TRUE(rig.start());
#if !defined(_WIN32)  // COM3 is the machine's own there
    std::filesystem::create_symlink("/nonexistent/ttyX", rig.dir.path() / "COM3");
    rig.main().command(ctl::kPortCom3);
    EXPECT_TRUE(w.checked[ctl::kPortCom3]);
    rig.expectFailed("COM-Init-Error!\n" + (rig.dir.path() / "COM3").string() +
                     ": No such file or directory");
#endif
    rig.selectChip("PIC16F84A");
    rig.main().command(ctl::kPortSimulator);
    EXPECT_FALSE(w.checked[ctl::kPortCom3]);
    rig.expectOk("T3306 detected");
    rig.main().command(ctl::kSpeedVeryLow + 1);  // the speed is stored at once
    EXPECT_FALSE(w.checked[ctl::kSpeedVeryLow + 2]);
    EXPECT_EQ(rig.state()[10], '1');
    EXPECT_EQ(rig.state().substr(0, 6), "COM200");
    rig.main().close();
    EXPECT_EQ(rig.state().substr(0, 6), "SIM1" + formatText("%02d", rig.indexOf("PIC16F84A")));
}

TEST(Ports, AParallelPortNeedsPortAccessThenRunsTheInterfaceDialog) {
    UiRig rig;
    RecordingWindow& w = rig.window;
    ASSERT_TRUE(rig.start());
    rig.s().port.driverUsable = rig.s().port.directIo = false;
    rig.main().command(ctl::kPort0378);
    EXPECT_EQ(rig.lastBox().text.rfind("Driver 'DlPortIO' must be installed!", 0), 0u);
    EXPECT_FALSE(w.checked[ctl::kPort0378]);
    EXPECT_TRUE(rig.s().link.serial);

    RecordingParallelPort port;
    rig.s().port.driverLibrary = &port;
    rig.s().port.driverUsable = true;
    w.dialogScripts[ctl::kParallelDialog] = [](ui::DialogHandler& h, RecordingWindow& d) {
        for (int id : {ctl::kNonInvertedRadio, ctl::kVppD4Radio, ctl::kDefaultButton})
            h.command(d, id);
    };
    w.checked[ctl::kLowVoltBox] = true;
    rig.main().command(ctl::kPort0278);
    EXPECT_TRUE(w.checked[ctl::kPort0278]);
    EXPECT_FALSE(w.checked[ctl::kPortCom2]);
    EXPECT_EQ(w.dialogs[ctl::kParallelDialog]->boxes.at(0).text, "P16PRO not found");
    EXPECT_EQ(rig.main().lastEnding(), Ending::failed);
    EXPECT_FALSE(w.checked[ctl::kLowVoltBox] || w.enabled[ctl::kLowVoltBox]);
    rig.main().close();
    EXPECT_EQ(rig.state().substr(0, 9), "027800024");
}

// Adapters found get a Port menu item each (those without a serial number
// only as "ftdi"); the end-to-end table writes through the simulated one.
TEST(Ports, FtdiAdaptersAreListedAndOpenedByName) {
    struct Found : platform::FtdiOpener {
        std::unique_ptr<platform::FtdiDevice> open(const std::string&) override { return {}; }
        std::vector<platform::FtdiAdapterInfo> list() override {
            return {{"A1B2", "FT232R USB UART"}, {"", "FT231X"}, {"C3D4", ""}};
        }
        std::string lastError() const override { return "gone"; }
    } found;
    UiRig rig;
    RecordingWindow& w = rig.window;
    rig.startOn("PIC16F628A");
    rig.program->host.ftdiLister = &found;
    ASSERT_TRUE(rig.main().open(false));
    EXPECT_EQ(w.menuItems,
              (std::map<int, std::string>{{ctl::kPortFtdiAdapter0, "FTDI A1B2 (FT232R USB UART)"},
                                          {ctl::kPortFtdiAdapter0 + 1, "FTDI C3D4"}}));
    rig.main().command(ctl::kPortFtdiAdapter0 + 1);
    EXPECT_EQ(rig.s().link.portName, "ftdi:C3D4");
    EXPECT_TRUE(w.checked[ctl::kPortFtdiAdapter0 + 1]);
    EXPECT_FALSE(w.checked[ctl::kPortSimulator]);
    EXPECT_EQ(rig.lastBox().text.rfind("COM-Init-Error!\nFTDI adapter ftdi:C3D4: ", 0), 0u)
        << rig.lastBox().text;

    rig.main().command(ctl::kPortSimulator);
    EXPECT_FALSE(w.checked[ctl::kPortFtdiAdapter0 + 1]);
}

TEST(ChipList, SelectionSetsLowVoltageAndTheTwelveBitBoxesAndTheSimulatedChip) {
    UiRig rig;
    RecordingWindow& w = rig.window;
    rig.startOn("PIC16F628A");
    ASSERT_EQ(rig.open(example("blink_16f628a")), 0);
    w.checked[ctl::kLowVoltBox] = true;
    rig.main().command(ctl::kLowVoltBox);
    EXPECT_EQ(rig.s().chip.lowVoltageChar, '1');
    rig.selectChip("PIC12C508");
    EXPECT_FALSE(w.checked[ctl::kLowVoltBox] || w.enabled[ctl::kLowVoltBox]);
    EXPECT_FALSE(rig.s().link.lowVoltage);
    EXPECT_EQ(rig.s().chip.lowVoltageChar, '0');
    EXPECT_EQ(rig.chip().profile().name, "PIC12C508");
    rig.expectDataBoxes(false, false, false);
    rig.selectChip("PIC10F206");
    rig.expectDataBoxes(false, true, false);
    rig.selectChip("PIC16F84A");
    rig.expectDataBoxes(true, true, false);
}

// The configuration dialog on a PIC16F873A, whose labels make bits 13-8 and
// 5-3 active low.
struct ConfigDialog : ::testing::Test, UiRig {
    RecordingWindow d;
    std::unique_ptr<ui::ConfigDialog> config;
    void open(int word) {
        startOn("PIC16F873A");
        s().chip.configWord = word;
        config = std::make_unique<ui::ConfigDialog>(s());
        config->opened(d);
    }
    void type(int id, const std::string& text) {
        d.userEdit(*config, id, text, static_cast<int>(text.size()));
    }
    // The word the bit boxes show: checked means 1, or 0 where active low.
    int boxes() {
        int word = 0;
        for (int bit = 0; bit < 14; ++bit)
            word |= d.checked[ctl::kBitBox0 - bit] ? 1 << bit : 0;
        return word ^ 0x3F38;
    }
};

TEST_F(ConfigDialog, TheHexFieldTakesUpToFourDigitsTheBoxesFollowAndDoneRefusesMore) {
    open(0x0005);
    EXPECT_EQ(boxes(), 0x0005);
    const std::pair<const char*, int> cases[] = {{"2F61", 0x2F61}, {"1A2B3", 0x1A2B},
                                                 {"xyz", 0x1A2B},  {"-1", 0x1A2B},
                                                 {"  3ff", 0x3FF}, {"0x1234", 0x12}};
    for (auto [typed, word] : cases) {
        type(ctl::kHexValueField, typed);
        EXPECT_EQ(s().chip.configWord, word) << typed;
        EXPECT_EQ(boxes(), word) << typed;
    }
    type(ctl::kHexValueField, "3FFF");
    d.click(*config, ctl::kBitBox0 - 11);  // active low: checked clears the bit
    EXPECT_EQ(s().chip.configWord, 0x37FF);
    EXPECT_EQ(d.texts[ctl::kHexValueField], "37FF");

    type(ctl::kHexValueField, "4000");
    config->command(d, ctl::kDefaultButton);
    EXPECT_EQ(d.boxes.at(0).text, "Configword Value?");
    EXPECT_TRUE(d.endResults.empty());
    config->command(d, ctl::kCancel);
    type(ctl::kHexValueField, "3FFF");
    config->command(d, ctl::kDefaultButton);
    EXPECT_EQ(d.endResults, (std::vector<int>{2, 1}));
}

TEST_F(ConfigDialog, IdsShowTheirLowFourBitsAndTheChipCommandsWriteAndRead) {
    open(0);
    s().chip.idValues = {0x3F81, 0x3F8A, 0x3F82, 0x3F8F};
    config->opened(d);
    EXPECT_EQ(d.texts[ctl::kIdFields[3]], "F");
    EXPECT_EQ(s().chip.idValues, (std::array<int, 4>{1, 0xA, 2, 0xF}));
    for (auto [typed, value] : {std::pair{"G", 0xA}, {"", 0xA}, {"b", 0xB}}) {
        type(ctl::kIdFields[1], typed);
        EXPECT_EQ(s().chip.idValues[1], value) << typed;
    }
    config->command(d, ctl::kWriteIds);
    EXPECT_EQ(chip().configWord(0x2001) & 0xF, 0xB);
    chip().setConfigWord(0x2003, 0x3F87);
    config->command(d, ctl::kReadIds);
    EXPECT_EQ(d.texts[ctl::kIdFields[3]], "7");
    EXPECT_FALSE(chip().inProgrammingMode());
    EXPECT_TRUE(d.boxes.empty());

    board().removeChip();
    config->command(d, ctl::kReadConfig);
    EXPECT_EQ(d.boxes.at(0).title, "Error");
    EXPECT_EQ(d.boxes.at(0).text.rfind("NO PIC ON BOARD", 0), 0u);
    EXPECT_EQ(config->failures(), 1);
    board().insertChip(&chip());
}

TEST(FilterDataEdit, TakesDigitsInTheValueColumnsAndUndoesEverythingElse) {
    EXPECT_EQ(ui::textLine("0000: 01 \n0001: 02 \n", 1), "0001: 02 ");
    enum Outcome { taken, undone, kept };
    const struct {
        const char* what;
        int at, length;
        const char* typed;
        Outcome outcome;
        bool byUser = true;
        int caret = -1;  // -1: after the typed text, as the user leaves it
    } cases[] = {
        {"digits of line 5", 5 * 11 + 6, 2, "3C", taken},
        {"first digit of line 1", 11 + 6, 1, "7", taken},
        {"second digit of line 0", 7, 1, "A", taken},
        {"first digit of line 1 deleted", 11 + 6, 1, "", kept},
        {"offset of line 5", 5 * 11 + 2, 1, "9", undone},
        {"colon of line 5", 5 * 11 + 4, 1, "x", undone},
        {"offset of line 0", 1, 1, "X", undone},
        {"first character of line 2 deleted", 2 * 11, 1, "", undone},
        {"blank after the colon of line 1", 11 + 5, 1, "1", undone},
        {"blank of line 2 deleted", 2 * 11 + 5, 1, "", undone, true, 2 * 11 + 6},
        {"digits set by the program", 5 * 11 + 6, 2, "3C", kept, false},
        {"caret at the start", 30, 1, "x", kept, true, 0},
    };
    for (const auto& c : cases) {
        RecordingWindow d;
        std::string own;
        for (int k = 0; k < 8; ++k)
            own += ui::dataLine(k, 0xFF);
        const std::string original = own;
        std::string edited = own;
        edited.replace(static_cast<std::size_t>(c.at), static_cast<std::size_t>(c.length), c.typed);
        d.texts[ctl::kDataText] = edited;
        d.modified[ctl::kDataText] = c.byUser;
        d.carets[ctl::kDataText] = {
            c.caret >= 0 ? c.caret : c.at + static_cast<int>(std::strlen(c.typed)), 0};
        ui::filterDataEdit(d, own);
        EXPECT_EQ(d.texts[ctl::kDataText], c.outcome == undone ? original : edited) << c.what;
        EXPECT_EQ(own, c.outcome == taken ? edited : original) << c.what;
    }
}

// The configuration dialog on a PIC18F242: one byte at a time from the byte
// list, on the simulated chip.
struct ConfigDialog18 : ::testing::Test, UiRig {
    RecordingWindow d;
    std::unique_ptr<ui::ConfigDialog> config;
    void SetUp() override {
        startOn("PIC18F242");
        // A PIC18 chip starts from its erased configuration bytes.
        for (std::size_t k = 0; k < s().chip.configBytes.size(); ++k)
            EXPECT_EQ(s().chip.configBytes[k], s().device.configBytes[k].blank) << k;
        config = std::make_unique<ui::ConfigDialog>(s());
        config->opened(d);
    }
    void pick(const std::string& item) {
        const auto& items = d.lists[ctl::kConfigByteList];
        const auto at = std::find(items.begin(), items.end(), item);
        ASSERT_NE(at, items.end()) << item;
        d.selectListItem(ctl::kConfigByteList, static_cast<int>(at - items.begin()));
        config->command(d, ctl::kConfigByteList);
    }
    std::string label(int bit) { return d.texts[ctl::kBitLabel0 + bit]; }
    // Bits 7-0 as the boxes show them: x checked, . clear, - greyed.
    std::string boxes() {
        std::string shown;
        for (int bit = 7; bit >= 0; --bit) {
            const int id = ctl::kBitBox0 - bit;
            shown += !d.enabled[id] ? '-' : d.checked[id] ? 'x' : '.';
        }
        return shown;
    }
    sim::VirtualPic18& chip18() { return *program->host.simChip18(); }
};

TEST_F(ConfigDialog18, TheByteListShowsEachImplementedByteWithItsLabelsAndValue) {
    const auto& items = d.lists[ctl::kConfigByteList];
    ASSERT_EQ(items.size(), 11u);
    EXPECT_EQ(items.front(), "CONFIG1H (300001)");
    EXPECT_EQ(items.back(), "CONFIG7H (30000D)");
    EXPECT_TRUE(d.enabled[ctl::kConfigByteList]);
    EXPECT_EQ(d.listSelection(ctl::kConfigByteList), 0);
    EXPECT_EQ(config->shownPlace(), 1);
    // CONFIG1H 27: /OSCS (bit 5, active low, set: off) and OSC2-0 set.
    EXPECT_EQ(label(5), "/OSCS");
    EXPECT_EQ(label(0), "OSC0");
    EXPECT_EQ(label(7), "");
    EXPECT_EQ(boxes(), "--.--xxx");
    EXPECT_EQ(d.texts[ctl::kHexValueField], "27");
    // The 14-bit core's bits 13-8, IDs and second word are greyed.
    for (int bit = 8; bit < 14; ++bit) {
        EXPECT_FALSE(d.enabled[ctl::kBitBox0 - bit]) << bit;
        EXPECT_EQ(label(bit), "") << bit;
    }
    for (int id :
         {ctl::kIdFields[0], ctl::kIdFields[3], ctl::kReadIds, ctl::kWriteIds, ctl::kConfig2Field})
        EXPECT_FALSE(d.enabled[id]) << id;

    pick("CONFIG2L (300002)");
    EXPECT_EQ(config->shownPlace(), 2);
    EXPECT_EQ(label(3), "BORV1");
    EXPECT_EQ(label(0), "/PWRT");
    EXPECT_EQ(boxes(), "----xxx.");
    EXPECT_EQ(d.texts[ctl::kHexValueField], "0F");
    pick("CONFIG4L (300006)");
    EXPECT_EQ(label(7), "/DEBUG");
    EXPECT_EQ(boxes(), ".----x-x");
    EXPECT_EQ(d.texts[ctl::kHexValueField], "85");
}

TEST_F(ConfigDialog18, BoxesAndTheHexFieldChangeTheShownByteOnly) {
    pick("CONFIG2L (300002)");
    d.click(*config, ctl::kBitBox0 - 0);  // /PWRT checked: the timer on, bit 0 clear
    EXPECT_EQ(s().chip.configBytes[2], 0x0E);
    EXPECT_EQ(d.texts[ctl::kHexValueField], "0E");
    d.click(*config, ctl::kBitBox0 - 2);  // BORV0 off
    EXPECT_EQ(s().chip.configBytes[2], 0x0A);
    EXPECT_EQ(d.texts[ctl::kHexValueField], "0A");
    EXPECT_EQ(s().chip.configBytes[1], 0x27);

    pick("CONFIG1H (300001)");
    // Typed values keep the byte's own bits; the boxes follow, the field stays as typed.
    const std::pair<const char*, int> cases[] = {{"22", 0x22},   {"FF", 0x27},
                                                 {"0x05", 0x05}, {"  3", 0x03},
                                                 {"xyz", 0x03},  {"124", 0x12 & 0x27}};
    for (auto [typed, value] : cases) {
        d.userEdit(*config, ctl::kHexValueField, typed, static_cast<int>(std::strlen(typed)));
        EXPECT_EQ(s().chip.configBytes[1], value) << typed;
        EXPECT_EQ(d.texts[ctl::kHexValueField], typed);
    }
    d.userEdit(*config, ctl::kHexValueField, "20", 2);
    EXPECT_EQ(boxes(), "--.--...");
    d.userEdit(*config, ctl::kHexValueField, "00", 2);
    EXPECT_EQ(boxes(), "--x--...");  // /OSCS on
    EXPECT_EQ(s().chip.configBytes[2], 0x0A);

    // Done ends the dialog whatever the 14-bit word holds; the main window shows the changes.
    s().chip.configWord = 0xFFFF;
    config->command(d, ctl::kDefaultButton);
    EXPECT_EQ(d.endResults, std::vector<int>{1});
    w.dialogScripts[ctl::kConfigDialog] = [](ui::DialogHandler& h, RecordingWindow& dialog) {
        h.command(dialog, ctl::kDefaultButton);
    };
    main().command(ctl::kViewSetButton);
    EXPECT_EQ(w.texts[ctl::kConfigWordField], "1H=00 2L=0A");
}

TEST_F(ConfigDialog18, WriteAsksBeforeProtectingAndWritesEveryByteReadReadsThemBack) {
    pick("CONFIG2H (300003)");
    d.click(*config, ctl::kBitBox0 - 0);  // WDT off
    pick("CONFIG5L (300008)");
    EXPECT_EQ(label(0), "/CP0");
    d.click(*config, ctl::kBitBox0 - 0);  // /CP0 checked: block 0 protected
    EXPECT_EQ(s().chip.configBytes[8], 0x02);

    watchBoard();
    d.answers = {Answer::cancel};
    config->command(d, ctl::kWriteConfig);
    ASSERT_EQ(d.boxes.size(), 1u);
    EXPECT_EQ(d.boxes[0].title, "Warning!");
    EXPECT_EQ(d.boxes[0].buttons, ui::Buttons::okCancel);
    EXPECT_NE(d.boxes[0].text.find("CONFIG5L /CP0"), std::string::npos) << d.boxes[0].text;
    EXPECT_TRUE(boardUntouched());
    EXPECT_EQ(config->failures(), 0);

    d.click(*config, ctl::kBitBox0 - 0);  // no protection: no question
    config->command(d, ctl::kWriteConfig);
    EXPECT_EQ(d.boxes.size(), 1u) << d.boxes.back().text;
    EXPECT_EQ(chip18().byteAt(0x300003), 0x0E);
    EXPECT_EQ(chip18().byteAt(0x300008), 0x03);

    d.click(*config, ctl::kBitBox0 - 0);
    config->command(d, ctl::kWriteConfig);  // OK: written
    ASSERT_EQ(d.boxes.size(), 2u);
    EXPECT_EQ(chip18().byteAt(0x300008), 0x02);

    chip18().setByteAt(0x300001, 0x22);
    s().chip.configBytes = {};
    config->command(d, ctl::kReadConfig);
    EXPECT_EQ(config->failures(), 0) << d.boxes.back().text;
    EXPECT_EQ(s().chip.configBytes[3], 0x0E);
    EXPECT_EQ(d.texts[ctl::kHexValueField], "02");  // CONFIG5L is still shown
    EXPECT_EQ(boxes(), "------.x");
    pick("CONFIG1H (300001)");
    EXPECT_EQ(d.texts[ctl::kHexValueField], "22");
}

TEST_F(ConfigDialog18, AFourteenBitChipHasNoByteList) {
    selectChip("PIC16F873A");
    RecordingWindow plain;
    ui::ConfigDialog dialog(s());
    dialog.opened(plain);
    EXPECT_FALSE(plain.enabled[ctl::kConfigByteList]);
    EXPECT_TRUE(plain.lists[ctl::kConfigByteList].empty());
    EXPECT_EQ(dialog.shownPlace(), -1);
    EXPECT_EQ(plain.texts[ctl::kHexValueField].size(), 4u);
}

// The data memory window holds a PIC18 chip's whole 1 KB EEPROM.
TEST(DataWindow18, AKilobyteOfEepromIsShownEditedAndWrittenToItsLastByte) {
    UiRig rig;
    rig.startOn("PIC18F2525");
    ASSERT_EQ(rig.s().device.dataBytes, 1024);
    auto& chip = *rig.program->host.simChip18();
    for (std::size_t k = 0; k < 1024; ++k)
        chip.setEepromByte(k, static_cast<std::uint8_t>(k & 0xFF));
    rig.w.dialogScripts[ctl::kDataMemoryDialog] = [&](ui::DialogHandler& h, RecordingWindow& d) {
        const std::string shown = d.texts[ctl::kDataText];
        ASSERT_EQ(shown.size(), 1024u * 11);
        EXPECT_EQ(shown.substr(1023 * 11), "03FF: FF \r\n");
        // The user types 3C over the last line's value.
        std::string typed = shown;
        typed.replace(1023 * 11 + 6, 2, "3C");
        d.userEdit(h, ctl::kDataText, typed, 1023 * 11 + 8);
        EXPECT_EQ(static_cast<const ui::DataWindow&>(h).dataText().substr(1023 * 11),
                  "03FF: 3C \r\n");
        h.command(d, ctl::kWriteData);
        EXPECT_TRUE(d.boxes.empty()) << d.boxes.front().text;
    };
    rig.main().command(ctl::kDataWindow);
    EXPECT_EQ(rig.main().lastEnding(), Ending::ok) << rig.lastBox().text;
    EXPECT_EQ(chip.eepromByte(1023), 0x3C);
    EXPECT_EQ(chip.eepromByte(1022), 0xFE);
    EXPECT_EQ(chip.eepromByte(256), 0x00);
}

// The data memory alone as a hex file: PIC18 chips from 0xF00000 on (an
// extended address record first), read back; a file without data memory
// bytes is refused.
TEST(DataFile, Pic18EepromAtF00000AndAFileWithoutDataMemoryIsRefused) {
    TempDir t;
    DeviceRecord d;
    d.name = "PIC18F4620";
    d.family = 13;
    d.dataBytes = 1024;
    std::vector<int> bytes(1024, 0xFF);
    bytes[0] = 0x01;
    bytes[1023] = 0x5A;
    const std::string text = ui::eepromHexText(d, bytes);
    EXPECT_EQ(text.rfind(":0200000400F00A\r\n:1000000001FF", 0), 0u);
    writeFile(t.path() / "e.hex", text);
    std::vector<int> back;
    std::string message;
    ASSERT_TRUE(ui::readEepromHex((t.path() / "e.hex").string(), d, back, message)) << message;
    EXPECT_EQ(back, bytes);
    writeFile(t.path() / "code.hex", ":020000000528D1\n:00000001FF\n");
    EXPECT_FALSE(ui::readEepromHex((t.path() / "code.hex").string(), d, back, message));
    EXPECT_EQ(message, "No data memory (EEPROM) bytes in the file.");
}

// The Serial Number dialog keeps its entries in the window's store; Write
// puts the next number into each chip and counts on only after it ended well.
TEST_F(Commands, SerialNumbersFromTheDialogCountOnWithEachGoodWrite) {
    ui::MemoryStore store;
    main().useSettings(&store);
    const auto fill = [](const char* length, const char* next) {
        return [=](ui::DialogHandler& h, RecordingWindow& d) {
            d.click(h, ctl::kSerialEnableBox);
            d.selectListItem(ctl::kSerialPlaceList, 0);  // EEPROM
            h.command(d, ctl::kSerialPlaceList);
            d.texts[ctl::kSerialAddressField] = "4";
            d.texts[ctl::kSerialLengthField] = length;
            d.selectListItem(ctl::kSerialFormatList, 2);  // BCD
            d.texts[ctl::kSerialNextField] = next;
            h.command(d, ctl::kDefaultButton);
        };
    };
    // A number that does not fit is told and the dialog stays open; Esc keeps nothing.
    w.dialogScripts[ctl::kSerialDialog] = fill("1", "100");
    main().command(ctl::kSerialNumberMenu);
    EXPECT_EQ(w.dialogs[ctl::kSerialDialog]->boxes.at(0).text,
              "serial 100 does not fit 1 byte (up to 99) at EEPROM 0004");
    EXPECT_EQ(store.value("serial/enabled"), "");

    w.dialogScripts[ctl::kSerialDialog] = fill("2", "1298");
    main().command(ctl::kSerialNumberMenu);
    EXPECT_EQ(store.value("serial/at"), "eeprom:4:2");
    EXPECT_EQ(store.value("serial/format"), "bcd");

    openAndWrite();
    EXPECT_EQ(chip().dataByte(4), 0x12);
    EXPECT_EQ(chip().dataByte(5), 0x98);
    expectOk(okWithExampleChecksum() + "  serial 1298");
    // A write that fails keeps the number for the next chip.
    chip().dropWritesToData(5);
    main().command(ctl::kWriteButton);
    EXPECT_EQ(main().lastEnding(), Ending::failed);
    EXPECT_EQ(store.value("serial/next"), "1299");
    // Without Write Data the EEPROM serial cannot be written: refused untouched.
    w.checked[ctl::kWriteDataBox] = false;
    expectRefused({ctl::kWriteButton},
                  "The serial number goes into the data memory:\ntick \"Write Data\" or turn it "
                  "off under Options.");
    EXPECT_EQ(store.value("serial/next"), "1299");
    // The dialog shows what is stored.
    w.dialogScripts[ctl::kSerialDialog] = [](ui::DialogHandler&, RecordingWindow& d) {
        EXPECT_TRUE(d.checked[ctl::kSerialEnableBox]);
        EXPECT_EQ(d.texts[ctl::kSerialNextField], "1299");
        EXPECT_EQ(d.texts[ctl::kSerialAddressField], "4");
    };
    main().command(ctl::kSerialNumberMenu);
}

}  // namespace
}  // namespace ferrolux::test
