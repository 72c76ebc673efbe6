// The main window's short view of PIC18 configuration bytes, on the shipped
// device list's PIC18F242 (the console program's test takes the settings).
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
};

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
