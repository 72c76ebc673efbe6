#include "files/device_list.h"
#include "ui/config_dialog.h"

#include <gtest/gtest.h>

#include <fstream>
#include <regex>
#include <set>
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

TEST_F(DeviceListTest, WorkedExampleGivesTheSameListRecordAndBoxesWithEveryLineEnd) {
    for (const std::string eol : {"\n", "\r\n", "\r"}) {
        EXPECT_EQ(fill("; list" + eol + kWorkedDevice + eol + eol +
                       "PIC16f84a\tF84\t1024\t64\tN\t1\tY" + eol + kWorkedConf + eol),
                  (Names{"PIC16f84a", "PIC16X123"}));  // sorted without regard to case
        select("PIC16X123");
        const DeviceRecord& d = session.device;
        EXPECT_EQ(d.listIndex, 1);
        EXPECT_EQ(d.configLabelKey + std::to_string(d.codeWords) + " " +
                      std::to_string(d.dataBytes) + d.lowVoltageFlag + std::to_string(d.family) +
                      d.deviceIdFlag,
                  "B2048 128Y3N");
        EXPECT_EQ(boxes(0x3FF2), "xx..xxxxxx..x.");
        EXPECT_EQ(label(13) + label(12) + label(11) + label(10) + label(9) + label(0),
                  "A13A12//A9A0");
    }
    EXPECT_TRUE(window.boxes.empty());
}

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
}

TEST_F(DeviceListTest, ListLengthAndSizesAChipCanHave) {
    std::string text = "PICA\tK\t8192\t   256 \tY\t  5\tY\n";
    // Sizes no chip has are not cut or taken from the chip before: the line is not listed.
    int bad = 0;
    for (const char* sizes : {"16384\t64", "-5\t64", "999999999\t0", "0\t0", "\t", "512\t257",
                              "512\t-1", "51 2\t0", "0x200\t0"})
        text += "PICBAD" + std::to_string(bad++) + "\tL\t" + sizes + "\tN\t5\tN\n";
    for (int i = 0; i < 300; ++i)
        text += "PIC" + std::to_string(1000 + i) + kChip + "\n";
    ASSERT_EQ(fill(text).size(), kChipListMax);
    EXPECT_EQ(list()[97], "PIC1097");
    EXPECT_EQ(std::count_if(list().begin(), list().end(),
                            [](const std::string& n) { return n.starts_with("PICBAD"); }),
              0);
    select("PICA");
    const DeviceRecord& d = session.device;
    EXPECT_EQ(std::tie(d.codeWords, d.dataBytes, d.family), std::tuple(8192, 256, 5));
}

// The optional columns after the ID flag: the device ID (revision bits
// dropped) and marks in any order. Lists of the older form keep their
// meaning; a two-digit family moves the ID flag one column on.
struct Marks {
    std::string columns;  // everything after the name
    int family;
    char idFlag;
    int deviceId, configMask, config2Mask, calibrationWords, vppTenths;
    bool calibration = false, backup = false;
};
const Marks kMarks[] = {
    {"\tK\t8\t0\tN\t1\tY\t1063", 1, 'Y', 0x1060, -1, 0, 0, 0},
    {"\tK\t8\t0\tN\t1\tY\t0e20;note", 1, 'Y', 0x0E20, -1, 0, 0, 0},
    {"\tK\t8\t0\tN\t1\tY", 1, 'Y', -1, -1, 0, 0, 0},
    {"\tK\t8\t0\tN\t1\tYX1060", 1, 'Y', -1, -1, 0, 0, 0},
    {"\tK\t8\t0\tN\t1\tY\t10G0", 1, 'Y', -1, -1, 0, 0, 0},
    {"\tK\t8\t0\tN\t9\tN\tOSCCAL+BACKUP", 9, 'N', -1, -1, 0, 0, 0, true, true},
    {"\tK\t8\t0\tN\t8\tY\t1060\tOSCCAL", 8, 'Y', 0x1060, -1, 0, 0, 0, true},
    {"\tK\t1024\t128\tN\t5\tY\t1400\tCFGMASK=0FFF\tCAL2008\tVPP=13", 5, 'Y', 0x1400, 0x0FFF, 0, 1,
     130},
    {"\tK\t8192\t256\tY\t5\tY\t2080\tVPP=12.5\tCAL2009\tCONFIG2=0700", 5, 'Y', 0x2080, -1, 0x0700,
     2, 125},
    {"\tK\t4096\t256\tN\t5\tY\t13E0\tCAL2008\tCAL2009", 5, 'Y', 0x13E0, -1, 0, 3, 0},
    {"\tK\t2048\t0\tN\t10\tY\t1240\tCFGMASK=03FF", 10, 'Y', 0x1240, 0x03FF, 0, 0, 0},
    {"\tK\t2048\t0\tN\t10\tN", 10, 'N', -1, -1, 0, 0, 0},
    // Malformed marks are not taken.
    {"\tK\t2048\t0\tN\t5\tY\t1400\tCFGMASK=FFF\tVPP=x\tCONFIG2=07000", 5, 'Y', 0x1400, -1, 0, 0, 0},
};

TEST_F(DeviceListTest, DeviceIdsAndMarks) {
    for (const Marks& m : kMarks) {
        SCOPED_TRACE(m.columns);
        fill("PIC16X1" + m.columns + "\nPICG\tK\t8\t0\tN\t1\tN\t0560\n");
        session.device = DeviceRecord{};
        select("PIC16X1");
        const DeviceRecord& d = session.device;
        EXPECT_EQ(d.family, m.family);
        EXPECT_EQ(d.deviceIdFlag, m.idFlag);
        EXPECT_EQ(d.deviceId, m.deviceId);
        EXPECT_EQ(d.configMask, m.configMask);
        EXPECT_EQ(d.config2Mask, m.config2Mask);
        EXPECT_EQ(d.calibrationWords, m.calibrationWords);
        EXPECT_EQ(d.vppLimitTenths, m.vppTenths);
        EXPECT_EQ(d.calibration, m.calibration);
        EXPECT_EQ(d.calibrationBackup, m.backup);
        EXPECT_EQ(chipOfDeviceId(session, m.deviceId | 0x1F), m.deviceId >= 0 ? "PIC16X1" : "");
        EXPECT_EQ(chipOfDeviceId(session, 0x0560), "");  // PICG has no device ID
    }
    EXPECT_TRUE(window.boxes.empty());
}

TEST_F(DeviceListTest, ShortAndActiveLowConfLines) {
    fill("PICK\tS\t8\t0\tN\t1\tN\nconfS\t\tB13\tB12\tB11\tB10\tB9\tB8\tB7\tB6\tB5\tB4\t/B3\tB2\n");
    select("PICK");
    EXPECT_EQ(boxes(0x0002), "..........x.x.");  // /B3 ticked at 0; bits 1, 0 unlabelled
    EXPECT_EQ(label(2) + "|" + label(1) + "|" + label(0), "B2||");
}

TEST_F(DeviceListTest, OldFormatNoSelectionAndAMissingListGiveTheirMessages) {
    fill(kWorkedDevice + "\nconfig1\tX\n" + kWorkedConf + "\n");
    select("PIC16X123");
    ui::loadConfigLabels(session, dialog);
    window.selectListItem(ctl::kChipList, -1);
    selectDevice(session);
    ui::loadConfigLabels(session, dialog);
    EXPECT_EQ(session.device.listIndex, -1);
    EXPECT_EQ(session.device.codeWords, 2048);
    EXPECT_TRUE(dialog.texts.empty());
    // Without the list nothing is read and the window closes.
    std::filesystem::remove(dir / "kestrum.ini");
    EXPECT_EQ(checkDeviceList(session), 1);
    fillChipList(session);
    EXPECT_EQ(list(), Names{"PIC16X123"});
    window.selectListItem(ctl::kChipList, 0);
    session.device.codeWords = 0;
    selectDevice(session);
    ui::loadConfigLabels(session, dialog);
    Names texts;
    for (const auto& box : window.boxes)
        texts.push_back(box.text);
    EXPECT_EQ(texts, (Names{"old file kestrum.ini !", "auswahl?", "auswahl?",
                            "Open Error 'kestrum.ini !'", "Open Error kestrum.ini !",
                            "Open Error kestrum.ini !", "Open Error kestrum.ini !"}));
    EXPECT_EQ(window.boxes[2].title, "Error!");
    EXPECT_EQ(window.boxes[6].title, "Error!");
    EXPECT_EQ(window.endResults, (std::vector<int>{1, 1}));
    EXPECT_EQ(session.device.codeWords, 0);
}

// The device list that ships, read with the program's own reader and
// compared with gputils' linker scripts and processor headers.
std::ifstream gputilsFile(std::string chip, const std::string& dir, const std::string& form) {
    for (char& c : chip)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return std::ifstream(dir + std::regex_replace(form, std::regex("NAME"), chip.substr(3)));
}

// Code words (end of the highest code page below the IDs), data bytes and
// whether the device ID location exists, from a chip's linker script.
struct LinkerScript {
    int codeWords = 0, dataBytes = 0;
    bool deviceId = false;
};

LinkerScript readLinkerScript(const std::string& chip) {
    std::ifstream in = gputilsFile(chip, FERROLUX_LKR_DIR, "/NAME_g.lkr");
    EXPECT_TRUE(in) << chip;
    LinkerScript lkr;
    const std::regex page(
        R"(^CODEPAGE\s+NAME=(\S+)\s+START=(0x[0-9A-Fa-f]+)\s+END=(0x[0-9A-Fa-f]+))");
    std::vector<std::pair<long, long>> code;
    long idStart = 0x2000;
    for (std::string line; std::getline(in, line);) {
        std::smatch m;
        if (!std::regex_search(line, m, page)) continue;
        const long start = std::stol(m[2], nullptr, 16), end = std::stol(m[3], nullptr, 16);
        if (m[1] == ".idlocs") idStart = start;
        lkr.deviceId = lkr.deviceId || start == 0x2006;
        if (m[1] == "eedata" || m[1] == ".eedata") lkr.dataBytes = int(end - start + 1);
        code.emplace_back(start, end);
    }
    for (auto [start, end] : code)
        if (end < idStart) lkr.codeWords = std::max(lkr.codeWords, int(end + 1));
    return lkr;
}

// The bits some option of the header clears, per configuration word: the
// implemented ones, within the core's word (12 or 14 bits).
std::array<int, 2> headerConfigMasks(const std::string& chip, int wordBits) {
    std::ifstream in = gputilsFile(chip, "/usr/share/gputils/header", "/pNAME.inc");
    const std::regex option(R"(^_\w+\s+EQU\s+H'([0-9A-Fa-f]{4})')");
    std::array<int, 2> masks{0, 0};
    int word = -1;
    for (std::string line; std::getline(in, line);) {
        if (line.find("CONFIG2 Options") != std::string::npos)
            word = 1;
        else if (line.find("Options ---") != std::string::npos)
            word = 0;
        else if (line.find("Equates ---") != std::string::npos)
            word = -1;
        std::smatch m;
        if (word >= 0 && std::regex_search(line, m, option))
            masks[static_cast<std::size_t>(word)] |= ~std::stoi(m[1], nullptr, 16) & wordBits;
    }
    return masks;
}

// A PIC18 chip as `gpasm -s` describes it: code and EEPROM bytes, and each
// configuration byte's mask and erased value.
struct Pic18Facts {
    int codeBytes = 0, eepromBytes = 0;
    std::array<ConfigByte, kPic18ConfigBytes> config{};
};

Pic18Facts gpasmFacts(const std::string& chip) {
    Pic18Facts facts;
    std::string lower = chip.substr(3);
    for (char& c : lower)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    FILE* pipe = popen(("gpasm -s -p p" + lower).c_str(), "r");
    if (pipe == nullptr) return facts;
    std::string out;
    char buffer[4096];
    while (std::size_t n = std::fread(buffer, 1, sizeof buffer, pipe))
        out.append(buffer, n);
    pclose(pipe);
    std::smatch m;
    if (std::regex_search(out, m, std::regex(R"(Program Size\s*:\s*(\d+))")))
        facts.codeBytes = std::stoi(m[1]);
    if (std::regex_search(out, m, std::regex(R"(EEPROM Range\s*:\s*0x(\w+) - 0x(\w+))")))
        facts.eepromBytes = std::stoi(m[2], nullptr, 16) - std::stoi(m[1], nullptr, 16) + 1;
    const std::regex word(R"(address = 0x30000(\w), mask = 0x(\w+), default = 0x(\w+))");
    for (auto it = std::sregex_iterator(out.begin(), out.end(), word); it != std::sregex_iterator();
         ++it) {
        facts.config[std::stoul((*it)[1], nullptr, 16)] = {std::stoi((*it)[2], nullptr, 16),
                                                           std::stoi((*it)[3], nullptr, 16)};
    }
    return facts;
}

TEST_F(FilesTest, ShippedListMatchesGputilsAndHasEveryLabel) {
    for (const char* dir : {FERROLUX_LKR_DIR, "/usr/share/gputils/header"}) {
        if (!std::filesystem::is_directory(dir))
            GTEST_SKIP() << "gputils is not installed (no " << dir
                         << "): the shipped list is checked against its linker scripts and "
                            "headers (scripts/deps installs it)";
    }
    std::filesystem::copy_file(std::string(FERROLUX_DATA_DIR) + "/kestrum.ini",
                               dir / "kestrum.ini");
    const std::string text = read("kestrum.ini");
    ASSERT_FALSE(text.empty());
    EXPECT_EQ(text.back(), '\n');
    TextFile file(dir / "kestrum.ini", "r");
    std::vector<std::string> lines;
    for (std::string line; readListLine(file, line);) {
        EXPECT_FALSE(file.overlong) << line;
        lines.push_back(line);
    }

    fillChipList(session);
    const std::vector<std::string> names = window.lists[ctl::kChipList];
    EXPECT_EQ(std::set<std::string>(names.begin(), names.end()).size(), names.size());
    RecordingWindow dialog;
    for (std::size_t i = 0; i < names.size(); ++i) {
        SCOPED_TRACE(names[i]);
        window.selectListItem(ctl::kChipList, static_cast<int>(i));
        selectDevice(session);
        const DeviceRecord& d = session.device;
        ASSERT_EQ(d.name, names[i]);
        if (pic18Core(d)) {
            const Pic18Facts facts = gpasmFacts(d.name);
            EXPECT_EQ(d.codeWords * 2, facts.codeBytes);
            EXPECT_EQ(d.dataBytes, facts.eepromBytes);
            for (int k = 0; k < kPic18ConfigBytes; ++k) {
                const auto& [listed, gpasm] = std::pair(d.configBytes[k], facts.config[k]);
                EXPECT_EQ(listed.mask, gpasm.mask) << "byte " << k;
                EXPECT_EQ(listed.blank, gpasm.blank & gpasm.mask) << "byte " << k;
            }
            EXPECT_EQ(chipOfDeviceId(session, d.deviceId | (d.revisionMask & 0x0A)), d.name);
            EXPECT_TRUE(d.writeBufferBytes == 8 || d.writeBufferBytes == 16 ||
                        d.writeBufferBytes == 32 || d.writeBufferBytes == 64);
            continue;
        }
        const LinkerScript lkr = readLinkerScript(d.name);
        EXPECT_EQ(d.codeWords, lkr.codeWords);
        EXPECT_EQ(d.dataBytes, lkr.dataBytes);
        EXPECT_EQ(d.deviceIdFlag == 'Y', lkr.deviceId);
        // Every listed device ID names its own chip.
        EXPECT_EQ(d.deviceId >= 0, lkr.deviceId);
        EXPECT_EQ(chipOfDeviceId(session, d.deviceId | 0x1F), d.deviceId >= 0 ? d.name : "");
        EXPECT_TRUE(d.family >= 1 && d.family <= 10);
        // 12-bit: EPROM only the 12C5xx; every one calibrated but the 16F5x,
        // the flash ones with a backup copy.
        EXPECT_EQ(d.family == 8, d.name.starts_with("PIC12C"));
        EXPECT_EQ(d.calibration, twelveBitCore(d) && !d.name.starts_with("PIC16F5"));
        EXPECT_EQ(d.calibrationBackup, d.calibration && d.family == 9);
        // The bits compared after a write are those some option of the
        // header names, on every chip; so is a second configuration word.
        const auto masks = headerConfigMasks(d.name, twelveBitCore(d) ? 0x0FFF : 0x3FFF);
        ASSERT_NE(masks[0], 0);
        EXPECT_EQ(configMaskOf(d), masks[0]) << std::hex << configMaskOf(d);
        EXPECT_EQ(d.config2Mask, masks[1]);

        // The first conf line with the key is the chip's own.
        const auto conf = std::find_if(lines.begin(), lines.end(), [&](const std::string& l) {
            return l.starts_with("conf" + d.configLabelKey);
        });
        ASSERT_NE(conf, lines.end());
        EXPECT_TRUE(conf->starts_with("conf" + d.configLabelKey + "\t\t")) << *conf;
        dialog.texts.clear();
        ui::loadConfigLabels(session, dialog);
        bool lvp = false;
        for (int bit = 0; bit < 14; ++bit) {
            const std::string label = dialog.texts[ctl::kBitLabel0 + bit];
            EXPECT_FALSE(label.empty()) << "bit " << bit;
            lvp = lvp || label == "LVP";
        }
        EXPECT_EQ(d.lowVoltageFlag, lvp ? 'Y' : 'N');
    }
    EXPECT_TRUE(window.boxes.empty());
}

}  // namespace
}  // namespace ferrolux::test
