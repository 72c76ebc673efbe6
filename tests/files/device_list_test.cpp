#include "files/device_list.h"
#include "ui/config_dialog.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "files_fixture.h"
#include "ui/control_ids.h"

namespace ferrolux::test {
namespace {

using namespace std::string_literals;
using Names = std::vector<std::string>;

const std::string kWorkedDevice = "PIC16X123\tB\t2048\t128\tY\t3\tN";
const std::string kWorkedConf = "confB\t\tA13\tA12\t/\t/\tA9\tA8\tA7\tA6\tA5\tA4\tA3\tA2\tA1\tA0";
const std::string kChip = "\tK\t8\t0\tN\t1\tN";  // the columns after a name

class DeviceListTest : public FilesTest {
  protected:
    Names& list() { return window.lists[ctl::kChipList]; }
    Names fill(const std::string& text) {
        write("kestrum.ini", text);
        fillChipList(session);
        return list();
    }
    void select(const std::string& name) {
        auto it = std::find(list().begin(), list().end(), name);
        ASSERT_NE(it, list().end()) << name;
        window.selectListItem(ctl::kChipList, static_cast<int>(it - list().begin()));
        selectDevice(session);
    }
    // The dialog's boxes for the configuration word, bit 13 first.
    std::string boxes(int configWord) {
        session.chip.configWord = configWord;
        ui::loadConfigLabels(session, dialog);
        std::string ticks;
        for (int bit = 13; bit >= 0; --bit)
            ticks += dialog.checked[ctl::kBitBox0 - bit] ? 'x' : '.';
        return ticks;
    }
    std::string label(int bit) { return dialog.texts[ctl::kBitLabel0 + bit]; }
    RecordingWindow dialog;
};

class LineEndTest : public DeviceListTest, public ::testing::WithParamInterface<std::string> {};

TEST_P(LineEndTest, WorkedExampleGivesTheSameListRecordAndBoxes) {
    const std::string eol = GetParam();
    EXPECT_EQ(fill("; list" + eol + kWorkedDevice + eol + eol +
                   "PIC16f84a\tF84\t1024\t64\tN\t1\tY" + eol + kWorkedConf + eol),
              (Names{"PIC16f84a", "PIC16X123"}));  // sorted without regard to case
    select("PIC16X123");
    const DeviceRecord& d = session.device;
    EXPECT_EQ(d.listIndex, 1);
    EXPECT_EQ(d.configLabelKey, "B");
    EXPECT_EQ(d.codeWords, 2048);
    EXPECT_EQ(d.dataBytes, 128);
    EXPECT_EQ(d.lowVoltageFlag, 'Y');
    EXPECT_EQ(d.family, 3);
    EXPECT_EQ(d.deviceIdFlag, 'N');
    EXPECT_EQ(boxes(0x3FF2), "xx..xxxxxx..x.");
    EXPECT_EQ(label(13) + label(12) + label(11) + label(10) + label(9) + label(0), "A13A12//A9A0");
    EXPECT_TRUE(window.boxes.empty());
}

INSTANTIATE_TEST_SUITE_P(LineEnds, LineEndTest, ::testing::Values("\n", "\r\n", "\r"));

TEST_F(DeviceListTest, NulFFUnterminatedAndOverlongLines) {
    const std::string longDevice =
        kWorkedDevice + "\t" + std::string(80, 'x') + "PICFAKE\t\t1\t1\tN\t1\tN";
    const std::string longComment = ";" + std::string(97, '-') + "PICFAKE2" + kChip;
    const std::pair<std::string, Names> cases[] = {
        {"PIC1" + kChip + "\0PIC2"s + kChip + "\n\0PIC3"s + kChip + "\n", {"PIC1", "PIC2"}},
        {"PIC1" + kChip + "\nPIC2\t\xFF" + kChip + "\nPIC3" + kChip + "\n", {"PIC1"}},
        {"PIC1" + kChip + "\nPIC2" + kChip, {"PIC1"}},
        // An overlong line is cut; its rest is no line of its own.
        {longDevice + "\n" + longComment + "\nPIC2" + kChip + "\n", {"PIC16X123", "PIC2"}},
        // Names over 14 characters, keys over 4 and names with ';' are refused.
        {"PIC16F1234567890" + kChip + "\nPIC16F84\tKEYS5" + kChip.substr(2) + "\nPIC16F84;old" +
             kChip + "\nPIC16F84\tK4K4\t1024\t64\tN\t1\tY\nPIC12345678901" + kChip + "\n",
         {"PIC12345678901", "PIC16F84"}},
    };
    for (const auto& [text, names] : cases)
        EXPECT_EQ(fill(text), names);
    select("PIC16F84");
    EXPECT_EQ(session.device.configLabelKey, "K4K4");
    EXPECT_EQ(session.device.codeWords, 1024);
    fill(longDevice + "\n");
    select("PIC16X123");
    EXPECT_EQ(session.device.deviceIdFlag, 'N');
}

TEST_F(DeviceListTest, HundredEntriesAndFourDigitNumbers) {
    std::string text = "PICA\tK\t16384\t   64\tY\t  5\tY\nPICB\tL\t\t\tN\t \tN\n";
    for (int i = 0; i < 120; ++i)
        text += "PIC" + std::to_string(1000 + i) + kChip + "\n";
    ASSERT_EQ(fill(text).size(), kChipListMax);
    EXPECT_EQ(list()[97], "PIC1097");
    select("PICA");
    EXPECT_EQ(session.device.codeWords, 1638);  // four digits; blanks before a number
    EXPECT_EQ(session.device.family, 5);
    select("PICB");  // no digits: the numbers stay
    EXPECT_EQ(session.device.configLabelKey, "L");
    EXPECT_EQ(session.device.codeWords, 1638);
    EXPECT_EQ(session.device.dataBytes, 64);
    EXPECT_EQ(session.device.family, 5);
}

// The optional device ID column after the ID flag; lists without it read as before.
TEST_F(DeviceListTest, DeviceIdColumnIsOptional) {
    const std::pair<std::string, int> lines[] = {
        {"PICA\tK\t8\t0\tN\t1\tY\t1063", 0x1060},  // revision bits dropped
        {"PICB\tK\t8\t0\tN\t1\tY\t0e20;note", 0x0E20},
        {"PICC\tK\t8\t0\tN\t1\tY", -1},  // the older form
        {"PICD\tK\t8\t0\tN\t1\tY\t106", -1},
        {"PICE\tK\t8\t0\tN\t1\tYX1060", -1},
        {"PICF\tK\t8\t0\tN\t1\tY\t10G0", -1},
    };
    std::string text;
    for (const auto& [line, id] : lines)
        text += line + "\n";
    fill(text + "PICG\tK\t8\t0\tN\t1\tN\t0560\n");
    for (const auto& [line, id] : lines) {
        select(line.substr(0, 4));
        EXPECT_EQ(session.device.deviceId, id) << line;
        EXPECT_EQ(session.device.deviceIdFlag, 'Y');
    }
    EXPECT_EQ(chipOfDeviceId(session, 0x106F), "PICA");
    EXPECT_EQ(chipOfDeviceId(session, 0x0E21), "PICB");
    EXPECT_EQ(chipOfDeviceId(session, 0x0560), "");  // PICG has no device ID
    EXPECT_TRUE(window.boxes.empty());

    // 12-bit lines may end with a calibration mark; lines without one have none.
    fill(
        "PICH\tK\t8\t0\tN\t9\tN\tOSCCAL+BACKUP\nPICI\tK\t8\t0\tN\t8\tY\t1060\tOSCCAL\n"
        "PICJ\tK\t8\t0\tN\tx\tN\n");
    const struct {
        const char* name;
        int family, deviceId;
        bool calibration, backup;
    } marks[] = {{"PICH", 9, -1, true, true},
                 {"PICI", 8, 0x1060, true, false},
                 {"PICJ", 8, -1, false, false}};  // not a digit: the family stays
    for (const auto& m : marks) {
        select(m.name);
        EXPECT_EQ(session.device.family, m.family) << m.name;
        EXPECT_EQ(session.device.deviceId, m.deviceId) << m.name;
        EXPECT_EQ(session.device.calibration, m.calibration) << m.name;
        EXPECT_EQ(session.device.calibrationBackup, m.backup) << m.name;
    }
}

TEST_F(DeviceListTest, ShortAndActiveLowConfLines) {
    fill("PICK\tS\t8\t0\tN\t1\tN\nconfS\t\tB13\tB12\tB11\tB10\tB9\tB8\tB7\tB6\tB5\tB4\t/B3\tB2\n");
    select("PICK");
    EXPECT_EQ(boxes(0x0002), "..........x.x.");  // /B3 ticked at 0; bits 1, 0 unlabelled
    EXPECT_EQ(label(2) + "|" + label(1) + "|" + label(0), "B2||");
}

TEST_F(DeviceListTest, NoSelectionAndOldFormatGiveTheirMessages) {
    fill(kWorkedDevice + "\nconfig1\tX\n" + kWorkedConf + "\n");
    select("PIC16X123");
    ui::loadConfigLabels(session, dialog);
    window.selectListItem(ctl::kChipList, -1);
    selectDevice(session);
    ui::loadConfigLabels(session, dialog);
    ASSERT_EQ(window.boxes.size(), 3u);
    EXPECT_EQ(window.boxes[0].text, "old file kestrum.ini !");
    EXPECT_EQ(window.boxes[1].text, "auswahl?");
    EXPECT_EQ(window.boxes[2].text, "auswahl?");
    EXPECT_EQ(window.boxes[2].title, "Error!");
    EXPECT_EQ(session.device.listIndex, -1);
    EXPECT_EQ(session.device.codeWords, 2048);
    EXPECT_TRUE(dialog.texts.empty());
}

TEST_F(DeviceListTest, MissingListGivesTheExactMessages) {
    EXPECT_EQ(checkDeviceList(session), 1);
    fillChipList(session);
    EXPECT_TRUE(window.lists.empty());
    list() = {"PIC16X123"};
    window.selectListItem(ctl::kChipList, 0);
    selectDevice(session);
    ui::loadConfigLabels(session, dialog);
    ASSERT_EQ(window.boxes.size(), 4u);
    EXPECT_EQ(window.boxes[0].text, "Open Error 'kestrum.ini !'");
    for (int i = 1; i < 4; ++i)
        EXPECT_EQ(window.boxes[i].text, "Open Error kestrum.ini !");
    EXPECT_EQ(window.boxes[3].title, "Error!");
    EXPECT_EQ(window.endResults, (std::vector<int>{1, 1}));
    EXPECT_EQ(session.device.codeWords, 0);
}

TEST_F(DeviceListTest, ReadOnlyListGivesTheExactMessages) {
    write("kestrum.ini", kWorkedDevice + "\n");
    ::chmod((dir / "kestrum.ini").c_str(), 0444);
    ::chmod(dir.c_str(), 0755);
    // In a child that cannot write files it does not own: as root, give up root.
    const pid_t pid = ::fork();
    if (pid == 0) {
        if (::geteuid() == 0 && (::setgid(65534) != 0 || ::setuid(65534) != 0)) ::_exit(2);
        list() = {"PIC16X123"};
        window.selectListItem(ctl::kChipList, 0);
        const bool refused = checkDeviceList(session) == 1;
        selectDevice(session);
        ::_exit(refused && window.boxes.size() == 2 &&
                        window.boxes[0].text == "Open Error 'kestrum.ini !'" &&
                        window.boxes[1].text == "Open Error kestrum.ini !" &&
                        window.endResults == std::vector<int>{1} && session.device.codeWords == 0
                    ? 0
                    : 1);
    }
    int status = 1;
    ::waitpid(pid, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
}

}  // namespace
}  // namespace ferrolux::test
