// The optional device list columns of today's mid-range chips, and the second
// configuration word in hex files.
#include <gtest/gtest.h>

#include <fstream>
#include <regex>

#include "files/device_list.h"
#include "files/hex_input.h"
#include "files_fixture.h"
#include "ui/control_ids.h"

namespace ferrolux::test {
namespace {

struct Marks {
    std::string columns;  // everything after the name
    int family;
    char idFlag;
    int deviceId, configMask, config2Mask, calibrationWords, vppTenths;
};

// Lists of the older form keep their meaning; the marks come in any order;
// a two-digit family moves the ID flag one column on.
const Marks kMarks[] = {
    {"\tK\t1024\t128\tN\t5\tY\t1400", 5, 'Y', 0x1400, -1, 0, 0, 0},
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

TEST_F(FilesTest, DeviceLineMarks) {
    for (const Marks& m : kMarks) {
        SCOPED_TRACE(m.columns);
        write("kestrum.ini", "PIC16X1" + m.columns + "\n");
        fillChipList(session);
        window.selectListItem(ctl::kChipList, 0);
        session.device = DeviceRecord{};
        selectDevice(session);
        const DeviceRecord& d = session.device;
        EXPECT_EQ(d.family, m.family);
        EXPECT_EQ(d.deviceIdFlag, m.idFlag);
        EXPECT_EQ(d.deviceId, m.deviceId);
        EXPECT_EQ(d.configMask, m.configMask);
        EXPECT_EQ(d.config2Mask, m.config2Mask);
        EXPECT_EQ(d.calibrationWords, m.calibrationWords);
        EXPECT_EQ(d.vppLimitTenths, m.vppTenths);
        if (m.deviceId >= 0) {
            EXPECT_EQ(chipOfDeviceId(session, m.deviceId | 0x1F), "PIC16X1");
        }
    }
}

// CONFIG2 at byte 0x4010, alone or in one record with CONFIG1; a file that
// carries it is refused for a chip without one.
TEST_F(FilesTest, SecondConfigurationWordInHexFiles) {
    struct Case {
        std::string records;
        int config2Mask;
        int config, config2;
        bool valid;
    };
    const Case cases[] = {
        {":02400E00D420BC\n:02401000FF3E71\n", 0x0700, 0x20D4, 0x3EFF, true},
        {":04400E00D420FF3E7D\n", 0x0700, 0x20D4, 0x3EFF, true},
        {":02400E00D420BC\n", 0x0700, 0x20D4, 0x1234, true},
        {":02400E00D420BC\n:02401000FF3E71\n", 0, 0x20D4, 0x1234, false},
    };
    write("kestrum.cfg", "COM20013");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.records);
        write("p.hex", ":020000000028D6\n" + c.records + ":00000001FF\n");
        session.device = DeviceRecord{};
        session.device.name = "PIC16X1";
        session.device.codeWords = 2048;
        session.device.family = 5;
        session.device.config2Mask = c.config2Mask;
        session.chip.config2Word = 0x1234;
        session.file.hexPath = (dir / "p.hex").string();
        session.file.quiet = true;
        ASSERT_EQ(openHexFile(session), 0) << session.message;
        EXPECT_EQ(session.chip.configWord, c.config);
        EXPECT_EQ(session.chip.config2Word, c.config2);
        EXPECT_EQ(validateHexFile(session) == 0, c.valid) << session.message;
    }
}

// The bits some option of gputils' header clears, per configuration word:
// the implemented ones.
std::array<int, 2> headerConfigMasks(std::string chip) {
    for (char& c : chip)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    std::ifstream in("/usr/share/gputils/header/p" + chip.substr(3) + ".inc");
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

// Every listed configuration mask and second word agrees with gputils.
TEST_F(FilesTest, ShippedConfigurationMasksMatchTheHeaders) {
    std::filesystem::copy_file(std::string(FERROLUX_DATA_DIR) + "/kestrum.ini",
                               dir / "kestrum.ini");
    fillChipList(session);
    const std::vector<std::string> names = window.lists[ctl::kChipList];
    int checked = 0;
    for (std::size_t i = 0; i < names.size(); ++i) {
        window.selectListItem(ctl::kChipList, static_cast<int>(i));
        selectDevice(session);
        const DeviceRecord& d = session.device;
        if (d.family != 5 && d.family != 10) continue;
        SCOPED_TRACE(d.name);
        const auto masks = headerConfigMasks(d.name);
        ASSERT_NE(masks[0], 0);
        // Bits no option clears are not compared (16F87x: bit 10 is not either).
        if (d.configMask >= 0 && d.configMask != 0x3BFF) {
            EXPECT_EQ(d.configMask, masks[0]);
        }
        EXPECT_EQ(d.config2Mask, masks[1]);
        ++checked;
    }
    EXPECT_EQ(checked, 23);
}

}  // namespace
}  // namespace ferrolux::test
