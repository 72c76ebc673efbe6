// PIC18 configuration bytes as the user names them: byte names and places,
// the console program's settings and the main window's short view, on the
// shipped device list's PIC18F242.
#include "ui/config_bytes.h"

#include <gtest/gtest.h>

#include "files/device_list.h"
#include "support/counting_ticks.h"
#include "support/recording_window.h"
#include "ui/control_ids.h"
#include "ui/window_reporter.h"

namespace ferrolux::test {
namespace {

struct ConfigBytes : ::testing::Test {
    CountingTicks ticks;
    RecordingWindow window;
    ui::WindowReporter reporter{window};
    Session s{ticks, &reporter};
    ui::ConfigByteLabels labels;
    std::array<int, kPic18ConfigBytes> blanks{};

    void SetUp() override { select("PIC18F242"); }
    void select(const std::string& chip) {
        s.programDir = std::filesystem::path(FERROLUX_SOURCE_DIR) / "data";
        fillChipList(s);
        const auto& names = window.lists[ctl::kChipList];
        const auto it = std::find(names.begin(), names.end(), chip);
        ASSERT_NE(it, names.end());
        window.selectListItem(ctl::kChipList, static_cast<int>(it - names.begin()));
        selectDevice(s);
        labels = ui::loadConfigByteLabels(s);
        for (std::size_t k = 0; k < blanks.size(); ++k)
            blanks[k] = s.device.configBytes[k].blank;
    }
    std::string error(const std::string& text) {
        ui::ConfigSetting setting;
        std::string why;
        EXPECT_FALSE(ui::parseConfigSetting(s.device, labels, text, setting, why)) << text;
        return why;
    }
};

TEST_F(ConfigBytes, NamesAndPlacesOfTheFourteenBytes) {
    EXPECT_EQ(ui::configByteName(0), "CONFIG1L");
    EXPECT_EQ(ui::configByteName(13), "CONFIG7H");
    EXPECT_EQ(ui::configByteItem(1), "CONFIG1H (300001)");
    const std::pair<const char*, int> cases[] = {
        {"300001", 1},    {"0x30000D", 13}, {"0X30000a", 10}, {"config7h", 13}, {"CONFIG1L", 0},
        {"1h", 1},        {"4L", 6},        {"30000E", -1},   {"2FFFFF", -1},   {"1300001", -1},
        {"CONFIG8L", -1}, {"8H", -1},       {"0H", -1},       {"CONFIG1", -1},  {"0x", -1},
        {"WDT", -1},      {"", -1},         {"1HH", -1}};
    for (auto [text, place] : cases)
        EXPECT_EQ(ui::configPlaceOf(text), place) << text;
}

TEST_F(ConfigBytes, SettingsByAddressByNameOrByBit) {
    const struct {
        const char* text;
        int place, mask, value;
    } cases[] = {
        {"1H=22", 1, 0x27, 0x22},    {"0x300002=0e", 2, 0x0F, 0x0E}, {"CONFIG5L=0x01", 8, 0x03, 1},
        {"300006=4", 6, 0x85, 0x04}, {"WDT=0", 3, 0x01, 0},          {"wdt=1", 3, 0x01, 1},
        {"PWRT=0", 2, 0x01, 0},      {"/PWRT=1", 2, 0x01, 1},        {"/cpd=0", 9, 0x80, 0},
        {"EBTRB=1", 13, 0x40, 0x40},
    };
    for (const auto& c : cases) {
        ui::ConfigSetting setting;
        std::string why;
        ASSERT_TRUE(ui::parseConfigSetting(s.device, labels, c.text, setting, why))
            << c.text << ": " << why;
        EXPECT_EQ(setting.place, c.place) << c.text;
        EXPECT_EQ(setting.mask, c.mask) << c.text;
        EXPECT_EQ(setting.value, c.value) << c.text;
    }
    std::array<int, kPic18ConfigBytes> bytes = blanks;
    ui::ConfigSetting setting;
    std::string why;
    ASSERT_TRUE(ui::parseConfigSetting(s.device, labels, "OSC1=0", setting, why));
    ui::applyConfigSetting(bytes, setting);
    EXPECT_EQ(bytes[1], 0x25);
}

TEST_F(ConfigBytes, BadSettingsAreRefusedWithWhatIsWrong) {
    // More in the console program's test.
    const std::pair<const char*, const char*> cases[] = {
        {"300004=00", "PIC18F242 has no configuration byte CONFIG3L (300004)"},
        {"300006=08", "CONFIG4L (300006) holds only the bits 85; 08 sets others"},
        {"1H=123", "the value of CONFIG1H is two hex digits, not '123'"},
        {"300010=00", "no configuration byte or bit of PIC18F242 is named '300010'"},
        {"=1", "a configuration setting is ADDR=VALUE or NAME=0|1, not '=1'"},
    };
    for (auto [text, part] : cases) {
        const std::string why = error(text);
        EXPECT_NE(why.find(part), std::string::npos) << text << ": " << why;
    }
}

TEST_F(ConfigBytes, TheShortViewNamesTheChangedBytes) {
    std::array<int, kPic18ConfigBytes> bytes = blanks;
    EXPECT_EQ(ui::configSummary(s.device, bytes), "erased");
    bytes[0] = 0x55;  // not implemented: not shown
    bytes[3] = 0x0E;
    EXPECT_EQ(ui::configSummary(s.device, bytes), "2H=0E");
    bytes[1] = 0x22;
    bytes[8] = 0x00;
    bytes[12] = 0x01;
    bytes[13] = 0x00;
    EXPECT_EQ(ui::configSummary(s.device, bytes), "1H=22 2H=0E 5L=00 +2");
}

}  // namespace
}  // namespace ferrolux::test
