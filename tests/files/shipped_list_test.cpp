// The device list that ships, read with the program's own reader and compared
// with the gputils linker scripts.
#include <gtest/gtest.h>

#include <fstream>
#include <regex>
#include <set>

#include "files/device_list.h"
#include "files_fixture.h"
#include "ui/config_dialog.h"
#include "ui/control_ids.h"

namespace ferrolux::test {
namespace {

// Code words (end of the highest code page below the IDs), data bytes and
// device ID flag from a chip's linker script; found false without one.
struct LinkerScript {
    bool found = false;
    int codeWords = 0, dataBytes = 0;
    bool deviceId = false;
};

LinkerScript readLinkerScript(std::string chip) {
    for (char& c : chip)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    std::ifstream in(std::string(FERROLUX_LKR_DIR) + "/" + chip.substr(3) + "_g.lkr");
    LinkerScript lkr{static_cast<bool>(in)};
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

TEST_F(FilesTest, ShippedListMatchesTheLinkerScriptsAndHasEveryLabel) {
    std::filesystem::copy_file(std::string(FERROLUX_DATA_DIR) + "/kestrum.ini",
                               dir / "kestrum.ini");
    const std::string text = read("kestrum.ini");
    ASSERT_FALSE(text.empty());
    EXPECT_EQ(text.back(), '\n');
    TextFile file(dir / "kestrum.ini", "r");
    std::vector<std::string> lines;
    for (std::string line; readListLine(file, line);) {
        EXPECT_FALSE(file.overlong) << line;
        EXPECT_FALSE(line.starts_with("config1"));
        lines.push_back(line);
    }

    fillChipList(session);
    const std::vector<std::string> names = window.lists[ctl::kChipList];
    EXPECT_EQ(std::set<std::string>(names.begin(), names.end()).size(), 64u);
    RecordingWindow dialog;
    for (std::size_t i = 0; i < names.size(); ++i) {
        SCOPED_TRACE(names[i]);
        window.selectListItem(ctl::kChipList, static_cast<int>(i));
        selectDevice(session);
        const DeviceRecord& d = session.device;
        ASSERT_EQ(d.name, names[i]);
        const LinkerScript lkr = readLinkerScript(d.name);
        ASSERT_TRUE(lkr.found);
        EXPECT_EQ(d.codeWords, lkr.codeWords);
        EXPECT_EQ(d.dataBytes, lkr.dataBytes);
        EXPECT_EQ(d.deviceIdFlag == 'Y', lkr.deviceId);
        // Every listed device ID names its own chip.
        EXPECT_EQ(d.deviceId >= 0, lkr.deviceId);
        if (d.deviceId >= 0) {
            EXPECT_EQ(chipOfDeviceId(session, d.deviceId | 0x1F), d.name);
        }
        EXPECT_TRUE(d.family >= 1 && d.family <= 10);
        // 12-bit: EPROM only the 12C5xx; every one calibrated but the 16F5x,
        // the flash ones with a backup copy.
        EXPECT_EQ(d.family == 8, d.name.starts_with("PIC12C"));
        EXPECT_EQ(d.calibration, twelveBitCore(d) && !d.name.starts_with("PIC16F5"));
        EXPECT_EQ(d.calibrationBackup, d.calibration && d.family == 9);

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
