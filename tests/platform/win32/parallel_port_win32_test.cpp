// The port-I/O library as the program loads it: the stand-in DLPORTIO.dll
// beside this test, whose port registers keep what was written.
#include "platform/win32/parallel_port_win32.h"

#include <gtest/gtest.h>

#include "platform/system_info.h"

namespace ferrolux::test {
namespace {

TEST(Win32PortIo, TheDriverLibraryBesideTheProgramCarriesTheDataRegister) {
    auto port = platform::PortIoLibrary::load();
    ASSERT_NE(port, nullptr);
    EXPECT_EQ(port->name(), "DLPORTIO.dll");
    const struct {
        std::uint16_t base;
        std::uint8_t data;
    } cases[] = {{0x378, 0xA5}, {0x278, 0x00}, {0x3BC, 0xFF}};
    for (const auto& c : cases) {
        std::uint16_t word = 0xFFFF;
        ASSERT_TRUE(port->writeData(c.base, c.data));
        ASSERT_TRUE(port->readWord(c.base, word));
        // Data register in the low byte; the 16-bit write puts 0 at base + 1.
        EXPECT_EQ(word, c.data) << std::hex << c.base;
    }
    int parallel = 0;
    for (const auto& p : platform::listPorts({}))
        parallel += p.name == "0378" || p.name == "0278" || p.name == "03BC";
    EXPECT_EQ(parallel, 3);
}

}  // namespace
}  // namespace ferrolux::test
