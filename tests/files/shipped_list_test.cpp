// The device list that ships, read with the program's own reader and compared
// with the gputils linker scripts.

#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <regex>
#include <set>
#include <sstream>
#include <string>

#include "files/control_ids.h"
#include "files/device_list.h"
#include "files_fixture.h"

namespace ferrolux::test {
namespace {

std::string column(const std::string& line, int n) {
    std::stringstream in(line);
    std::string text;
    for (int i = 0; i <= n; ++i)
        std::getline(in, text, '\t');
    return text;
}

struct LinkerScript {
    bool found = false;
    int codeWords = 0;
    int dataBytes = 0;
    bool deviceId = false;  // a code page at 0x2006
};

// Code size: the end of the highest code page below the ID locations.
LinkerScript readLinkerScript(const std::string& chip) {
    std::string file = chip.substr(3);
    for (char& c : file)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    std::ifstream in(std::string(FERROLUX_LKR_DIR) + "/" + file + "_g.lkr");
    LinkerScript lkr;
    if (!in) return lkr;
    lkr.found = true;
    const std::regex page(
        R"(^CODEPAGE\s+NAME=(\S+)\s+START=(0x[0-9A-Fa-f]+)\s+END=(0x[0-9A-Fa-f]+))");
    struct Page {
        std::string name;
        long start, end;
    };
    std::vector<Page> pages;
    long idStart = 0x2000;
    for (std::string line; std::getline(in, line);) {
        std::smatch m;
        if (!std::regex_search(line, m, page)) continue;
        Page p{m[1], std::stol(m[2], nullptr, 16), std::stol(m[3], nullptr, 16)};
        if (p.name == ".idlocs") idStart = p.start;
        if (p.start == 0x2006) lkr.deviceId = true;
        if (p.name == "eedata" || p.name == ".eedata") lkr.dataBytes = int(p.end - p.start + 1);
        pages.push_back(p);
    }
    for (const Page& p : pages) {
        if (p.end < idStart) lkr.codeWords = std::max(lkr.codeWords, int(p.end + 1));
    }
    return lkr;
}

class ShippedListTest : public FilesTest {
  protected:
    ShippedListTest() {
        std::filesystem::copy_file(std::string(FERROLUX_DATA_DIR) + "/kestrum.ini",
                                   dir / "kestrum.ini");
    }
    RecordingWindow dialog;
};

TEST_F(ShippedListTest, LinesFitTheReaderAndEveryKeyFindsItsOwnConfLine) {
    const std::string text = read("kestrum.ini");
    ASSERT_FALSE(text.empty());
    EXPECT_EQ(text.back(), '\n');

    TextFile file(dir / "kestrum.ini", "r");
    std::vector<std::string> lines;
    for (std::string line; readListLine(file, line);) {
        EXPECT_FALSE(file.overlong) << line;
        lines.push_back(line);
    }
    std::set<std::string> keys;
    for (const std::string& line : lines) {
        if (line.starts_with("PIC")) keys.insert(column(line, 1));
        EXPECT_FALSE(line.starts_with("config1"));
    }
    for (const std::string& key : keys) {
        auto first = std::find_if(lines.begin(), lines.end(), [&](const std::string& l) {
            return l.starts_with("conf" + key);
        });
        ASSERT_NE(first, lines.end()) << key;
        EXPECT_TRUE(first->starts_with("conf" + key + "\t\t")) << key << " is taken by " << *first;
    }
}

TEST_F(ShippedListTest, EveryChipMatchesItsLinkerScriptAndHasItsLabels) {
    fillChipList(session);
    const std::vector<std::string> names = window.lists[ctl::kChipList];
    ASSERT_EQ(names.size(), 44u);
    EXPECT_EQ(std::set<std::string>(names.begin(), names.end()).size(), 44u);
    std::map<int, int> perFamily;
    for (std::size_t i = 0; i < names.size(); ++i) {
        SCOPED_TRACE(names[i]);
        session.device = DeviceRecord{};
        window.selectListItem(ctl::kChipList, static_cast<int>(i));
        selectDevice(session);
        const DeviceRecord& d = session.device;
        ASSERT_EQ(d.name, names[i]);
        ++perFamily[d.family];

        const LinkerScript lkr = readLinkerScript(d.name);
        ASSERT_TRUE(lkr.found);
        EXPECT_EQ(d.codeWords, lkr.codeWords);
        EXPECT_EQ(d.dataBytes, lkr.dataBytes);
        EXPECT_EQ(d.deviceIdFlag == 'Y', lkr.deviceId);
        EXPECT_EQ(d.codeWords % 8, 0);
        EXPECT_EQ(d.dataBytes % 8, 0);
        if (d.family == 8) {
            EXPECT_EQ(d.dataBytes, 0);
        }
        EXPECT_TRUE(d.lowVoltageFlag == 'Y' || d.lowVoltageFlag == 'N');

        dialog.texts.clear();
        loadConfigLabels(session, dialog);
        bool hasLvpBit = false;
        for (int bit = 0; bit < 14; ++bit) {
            const std::string label = dialog.texts[ctl::kBitLabel0 + bit];
            EXPECT_FALSE(label.empty()) << "bit " << bit;
            hasLvpBit = hasLvpBit || label == "LVP";
        }
        EXPECT_EQ(d.lowVoltageFlag == 'Y', hasLvpBit);
    }
    EXPECT_EQ(perFamily, (std::map<int, int>{
                             {1, 4}, {2, 9}, {3, 4}, {4, 4}, {5, 3}, {6, 4}, {7, 4}, {8, 12}}));
    EXPECT_TRUE(window.boxes.empty());
}

}  // namespace
}  // namespace ferrolux::test
