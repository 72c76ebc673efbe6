#include "files/device_list.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <random>
#include <string>
#include <vector>

#include "files/control_ids.h"
#include "files_fixture.h"

namespace ferrolux::test {
namespace {

const std::string kWorkedDevice = "PIC16X123\tB\t2048\t128\tY\t3\tN";
const std::string kWorkedConf = "confB\t\tA13\tA12\t/\t/\tA9\tA8\tA7\tA6\tA5\tA4\tA3\tA2\tA1\tA0";

class DeviceListTest : public FilesTest {
  protected:
    std::vector<std::string>& list() { return window.lists[ctl::kChipList]; }

    // Fills the list and selects the entry called `name`.
    void fillAndSelect(const std::string& name) {
        fillChipList(session);
        auto it = std::find(list().begin(), list().end(), name);
        ASSERT_NE(it, list().end()) << name;
        window.selectListItem(ctl::kChipList, static_cast<int>(it - list().begin()));
        selectDevice(session);
    }

    std::string label(int bit) { return dialog.texts[ctl::kBitLabel0 + bit]; }
    bool box(int bit) { return dialog.checked[ctl::kBitBox0 - bit]; }

    RecordingWindow dialog;
};

TEST_F(DeviceListTest, WorkedExampleGivesTheRecordAndTheBoxes) {
    write("kestrum.ini", "; comment\n" + kWorkedDevice + "\n" + kWorkedConf + "\n");
    fillAndSelect("PIC16X123");
    const DeviceRecord& d = session.device;
    EXPECT_EQ(d.listIndex, 0);
    EXPECT_EQ(d.name, "PIC16X123");
    EXPECT_EQ(d.configLabelKey, "B");
    EXPECT_EQ(d.codeWords, 2048);
    EXPECT_EQ(d.dataBytes, 128);
    EXPECT_EQ(d.lowVoltageFlag, 'Y');
    EXPECT_EQ(d.family, 3);
    EXPECT_EQ(d.deviceIdFlag, 'N');

    session.configWord = 0x3FF2;
    loadConfigLabels(session, dialog);
    EXPECT_EQ(label(13), "A13");
    EXPECT_EQ(label(12), "A12");
    EXPECT_EQ(label(11), "/");
    EXPECT_EQ(label(10), "/");
    for (int bit = 9; bit >= 0; --bit)
        EXPECT_EQ(label(bit), "A" + std::to_string(bit));
    for (int bit : {13, 12, 9, 8, 7, 6, 5, 4, 1})
        EXPECT_TRUE(box(bit)) << bit;
    for (int bit : {11, 10, 3, 2, 0})
        EXPECT_FALSE(box(bit)) << bit;
    EXPECT_TRUE(window.boxes.empty());
}

class LineEndTest : public DeviceListTest, public ::testing::WithParamInterface<std::string> {};

TEST_P(LineEndTest, EveryLineEndGivesTheSameListAndRecord) {
    const std::string eol = GetParam();
    write("kestrum.ini", "; list" + eol + "PIC16F84A\tF84\t1024\t64\tN\t1\tY" + eol +
                             kWorkedDevice + eol + eol + kWorkedConf + eol);
    fillAndSelect("PIC16X123");
    EXPECT_EQ(list(), (std::vector<std::string>{"PIC16F84A", "PIC16X123"}));
    EXPECT_EQ(session.device.codeWords, 2048);
    EXPECT_EQ(session.device.deviceIdFlag, 'N');
    session.configWord = 0x3FF2;
    loadConfigLabels(session, dialog);
    EXPECT_EQ(label(0), "A0");
    EXPECT_TRUE(box(1));
}

INSTANTIATE_TEST_SUITE_P(LineEnds, LineEndTest, ::testing::Values("\n", "\r\n", "\r"));

TEST_F(DeviceListTest, ChipListIsSortedWithoutRegardToCaseAndIndexCountsThatOrder) {
    write("kestrum.ini",
          "PIC16f877\tX\t8192\t256\tY\t2\tY\n"
          "PIC12C508\tX\t512\t0\tN\t8\tN\n"
          "PIC16F628\tX\t2048\t128\tY\t2\tY\n");
    fillChipList(session);
    EXPECT_EQ(list(), (std::vector<std::string>{"PIC12C508", "PIC16F628", "PIC16f877"}));
    window.selectListItem(ctl::kChipList, 1);
    selectDevice(session);
    EXPECT_EQ(session.device.listIndex, 1);
    EXPECT_EQ(session.device.name, "PIC16F628");
    EXPECT_EQ(session.device.codeWords, 2048);
}

TEST_F(DeviceListTest, NulFFAndAMissingLastLineEndEndTheData) {
    using namespace std::string_literals;
    const std::string chip = "\tK\t8\t0\tN\t1\tN";
    const std::vector<std::pair<std::string, std::vector<std::string>>> cases = {
        {"PIC1" + chip + "\0PIC2"s + chip + "\n\0PIC3"s + chip + "\n", {"PIC1", "PIC2"}},
        {"PIC1" + chip + "\nPIC2\t\xFF" + chip + "\nPIC3" + chip + "\n", {"PIC1"}},
        {"PIC1" + chip + "\nPIC2" + chip, {"PIC1"}},
    };
    for (const auto& [text, names] : cases) {
        write("kestrum.ini", text);
        fillChipList(session);
        EXPECT_EQ(list(), names);
    }
}

TEST_F(DeviceListTest, BinaryFileGivesNoCrashAndOnlyWellFormedNames) {
    std::mt19937 random(1234);
    std::string bytes(20000, '\0');
    for (char& c : bytes)
        c = static_cast<char>(random() % 255 + 1);  // no NUL, some 0xFF
    for (std::size_t i = 0; i < bytes.size(); i += 97)
        bytes.replace(i, 4, "\nPIC");
    write("kestrum.ini", bytes);
    fillChipList(session);
    for (std::size_t i = 0; i < list().size(); ++i) {
        EXPECT_LE(list()[i].size(), kNameMax);
        window.selectListItem(ctl::kChipList, static_cast<int>(i));
        selectDevice(session);
        EXPECT_LE(session.device.configLabelKey.size(), kKeyMax);
        loadConfigLabels(session, dialog);
    }
    EXPECT_TRUE(window.endResults.empty());
}

TEST_F(DeviceListTest, OverlongLineIsCutAndItsRestIsNoLineOfItsOwn) {
    const std::string longDevice =
        kWorkedDevice + "\t" + std::string(80, 'x') + "PICFAKE\t\t1\t1\tN\t1\tN";
    const std::string longComment = ";" + std::string(97, '-') + "PICFAKE2\tK\t1\t1\tN\t1\tN";
    write("kestrum.ini", longDevice + "\n" + longComment + "\n" + "PIC2\tK\t8\t0\tN\t1\tN\n");
    fillAndSelect("PIC16X123");
    EXPECT_EQ(list(), (std::vector<std::string>{"PIC16X123", "PIC2"}));
    EXPECT_EQ(session.device.family, 3);
    EXPECT_EQ(session.device.deviceIdFlag, 'N');
}

TEST_F(DeviceListTest, NamesAndKeysTooLongForTheRecordAreRefused) {
    write("kestrum.ini",
          "PIC16F1234567890\tK\t8\t0\tN\t1\tN\n"  // 16-character name
          "PIC16F84\tKEYS5\t512\t0\tN\t1\tN\n"    // 5-character key
          "PIC16F84\tK4K4\t1024\t64\tN\t1\tY\n"
          "PIC12345678901\tK\t16\t0\tN\t1\tN\n");  // 14 characters: fits
    fillAndSelect("PIC16F84");
    EXPECT_EQ(list(), (std::vector<std::string>{"PIC12345678901", "PIC16F84"}));
    EXPECT_EQ(session.device.configLabelKey, "K4K4");
    EXPECT_EQ(session.device.codeWords, 1024);
}

TEST_F(DeviceListTest, NameWithSemicolonIsNotListedSinceItCouldNotBeSelected) {
    write("kestrum.ini", "PIC16F84;old\tK\t512\t64\tN\t1\tY\nPIC16F84\tK\t1024\t64\tN\t1\tY\n");
    fillAndSelect("PIC16F84");
    EXPECT_EQ(list(), std::vector<std::string>{"PIC16F84"});
    EXPECT_EQ(session.device.codeWords, 1024);
}

TEST_F(DeviceListTest, ListKeepsAtMostOneHundredEntries) {
    std::string text;
    for (int i = 0; i < 120; ++i)
        text += "PIC" + std::to_string(1000 + i) + "\tK\t8\t0\tN\t1\tN\n";
    write("kestrum.ini", text);
    fillChipList(session);
    ASSERT_EQ(list().size(), kChipListMax);
    EXPECT_EQ(list().back(), "PIC1099");
}

TEST_F(DeviceListTest, NumericColumnsFollowTheirFieldRules) {
    write("kestrum.ini",
          "PICA\tK\t16384\t   64\tY\t  5\tY\n"  // 16384 reads as 1638; family after blanks
          "PICB\tL\t\t\tN\t \tN\n");            // no digits: sizes and family stay
    fillAndSelect("PICA");
    EXPECT_EQ(session.device.codeWords, 1638);
    EXPECT_EQ(session.device.dataBytes, 64);
    EXPECT_EQ(session.device.family, 5);
    window.selectListItem(ctl::kChipList, 1);
    selectDevice(session);
    EXPECT_EQ(session.device.configLabelKey, "L");
    EXPECT_EQ(session.device.codeWords, 1638);
    EXPECT_EQ(session.device.dataBytes, 64);
    EXPECT_EQ(session.device.family, 5);
    EXPECT_EQ(session.device.lowVoltageFlag, 'N');
}

TEST_F(DeviceListTest, NothingSelectedSaysAuswahlAndChangesNothingElse) {
    write("kestrum.ini", kWorkedDevice + "\n" + kWorkedConf + "\n");
    fillAndSelect("PIC16X123");
    window.selectListItem(ctl::kChipList, -1);
    selectDevice(session);
    loadConfigLabels(session, dialog);
    ASSERT_EQ(window.boxes.size(), 2u);
    EXPECT_EQ(window.boxes[0].text, "auswahl?");
    EXPECT_EQ(window.boxes[0].title, "Error!");
    EXPECT_EQ(session.device.listIndex, -1);
    EXPECT_EQ(session.device.name, "PIC16X123");
    EXPECT_EQ(session.device.codeWords, 2048);
    EXPECT_TRUE(dialog.texts.empty());
}

TEST_F(DeviceListTest, OldFormatMarkerBeforeTheConfLineIsRefused) {
    write("kestrum.ini", kWorkedDevice + "\nconfig1\tX\n" + kWorkedConf + "\n");
    fillAndSelect("PIC16X123");
    loadConfigLabels(session, dialog);
    ASSERT_EQ(window.boxes.size(), 1u);
    EXPECT_EQ(window.boxes[0].text, "old file kestrum.ini !");
    EXPECT_EQ(window.boxes[0].title, "Error!");
    EXPECT_TRUE(dialog.texts.empty());
    EXPECT_TRUE(dialog.checked.empty());
}

TEST_F(DeviceListTest, ShortConfLineLeavesEmptyLabelsThatFollowTheBits) {
    write("kestrum.ini",
          "PICK\tS\t8\t0\tN\t1\tN\n"
          "confS\t\tB13\tB12\tB11\tB10\tB9\tB8\tB7\tB6\tB5\tB4\t/B3\tB2\n");
    fillAndSelect("PICK");
    session.configWord = 0x0002;
    loadConfigLabels(session, dialog);
    EXPECT_EQ(label(2), "B2");
    EXPECT_EQ(label(1), "");
    EXPECT_EQ(label(0), "");
    EXPECT_TRUE(box(1));
    EXPECT_FALSE(box(0));
    EXPECT_TRUE(box(3));  // active low and 0
    EXPECT_FALSE(box(2));
}

TEST_F(DeviceListTest, MissingListGivesTheExactMessages) {
    EXPECT_EQ(checkDeviceList(session), 1);
    fillChipList(session);
    EXPECT_TRUE(window.lists.empty());
    window.lists[ctl::kChipList] = {"PIC16X123"};
    window.selectListItem(ctl::kChipList, 0);
    selectDevice(session);
    loadConfigLabels(session, dialog);
    ASSERT_EQ(window.boxes.size(), 4u);
    EXPECT_EQ(window.boxes[0].text, "Open Error 'kestrum.ini !'");
    for (const auto& box : window.boxes)
        EXPECT_EQ(box.title, "Error!");
    for (int i = 1; i < 4; ++i)
        EXPECT_EQ(window.boxes[i].text, "Open Error kestrum.ini !");
    EXPECT_EQ(window.endResults, (std::vector<int>{1, 1}));
    EXPECT_EQ(session.device.name, "PIC16X123");
    EXPECT_EQ(session.device.codeWords, 0);
}

// Runs `body` in a child process that cannot write files it does not own; as
// root that takes giving up root. True when the body returned true.
template <class Body>
bool inUnprivilegedChild(const std::filesystem::path& dir, Body body) {
    ::chmod(dir.c_str(), 0755);
    pid_t pid = ::fork();
    if (pid == 0) {
        if (::geteuid() == 0 && (::setgid(65534) != 0 || ::setuid(65534) != 0)) ::_exit(2);
        ::_exit(body() ? 0 : 1);
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

TEST_F(DeviceListTest, ReadOnlyListGivesTheExactMessages) {
    write("kestrum.ini", kWorkedDevice + "\n");
    ::chmod((dir / "kestrum.ini").c_str(), 0444);
    EXPECT_TRUE(inUnprivilegedChild(dir, [&] {
        window.lists[ctl::kChipList] = {"PIC16X123"};
        window.selectListItem(ctl::kChipList, 0);
        const bool refused = checkDeviceList(session) == 1;
        selectDevice(session);
        return refused && window.boxes.size() == 2 &&
               window.boxes[0].text == "Open Error 'kestrum.ini !'" &&
               window.boxes[1].text == "Open Error kestrum.ini !" &&
               window.boxes[1].title == "Error!" && window.endResults == std::vector<int>{1} &&
               session.device.codeWords == 0;
    }));
}

}  // namespace
}  // namespace ferrolux::test
