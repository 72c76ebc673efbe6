// The device list that ships, read with the program's own reader and compared
// with gputils' linker scripts and processor headers.
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
// implemented ones.
std::array<int, 2> headerConfigMasks(const std::string& chip) {
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
            masks[static_cast<std::size_t>(word)] |= ~std::stoi(m[1], nullptr, 16) & 0x3FFF;
    }
    return masks;
}

TEST_F(FilesTest, ShippedListMatchesGputilsAndHasEveryLabel) {
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
    int midRange = 0;
    for (std::size_t i = 0; i < names.size(); ++i) {
        SCOPED_TRACE(names[i]);
        window.selectListItem(ctl::kChipList, static_cast<int>(i));
        selectDevice(session);
        const DeviceRecord& d = session.device;
        ASSERT_EQ(d.name, names[i]);
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
        if (d.family == 5 || d.family == 10) {
            const auto masks = headerConfigMasks(d.name);
            ASSERT_NE(masks[0], 0);
            // Bits no option clears are not compared (16F87x: bit 10 is not either).
            EXPECT_TRUE(d.configMask < 0 || d.configMask == 0x3BFF || d.configMask == masks[0]);
            EXPECT_EQ(d.config2Mask, masks[1]);
            ++midRange;
        }

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
    EXPECT_EQ(midRange, 23);
    EXPECT_TRUE(window.boxes.empty());
}

}  // namespace
}  // namespace ferrolux::test
