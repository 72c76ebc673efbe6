// The Windows platform layer on the system itself: files (regular files
// only, bytes as they are, whole-file replacement), the performance counter
// clock, and the port-I/O library as the program loads it (the stand-in
// DLPORTIO.dll beside this test, whose port registers keep what was written).
#include <gtest/gtest.h>

#include "platform/files.h"
#include "platform/system_info.h"
#include "platform/win32/parallel_port_win32.h"
#include "platform/win32/tick_source_win32.h"
#include "support/temp_dir.h"

namespace ferrolux::test {
namespace {

namespace fs = std::filesystem;

TEST(Win32Files, OnlyRegularFilesOpenAndBytesStayAsTheyAre) {
    TempDir dir;
    const std::string bytes = "line\r\nlone\rend\n\x1a after Ctrl-Z";
    writeFile(dir.path() / "file.hex", bytes);
    fs::create_directory(dir.path() / "folder");
    for (const char* mode : {"r", "rb", "r+"}) {
        for (const fs::path& refused : {dir.path() / "folder", fs::path("NUL")})
            EXPECT_EQ(platform::openRegularFile(refused, mode), nullptr) << mode << refused;
        std::FILE* f = platform::openRegularFile(dir.path() / "file.hex", mode);
        ASSERT_NE(f, nullptr) << mode;
        std::string read;
        for (int c; (c = std::fgetc(f)) != EOF;)
            read += static_cast<char>(c);
        std::fclose(f);
        EXPECT_EQ(read, bytes) << mode;
    }
    std::FILE* out = platform::openRegularFile(dir.path() / "written.txt", "w");
    ASSERT_NE(out, nullptr);
    std::fputs("a\r\nb\n", out);
    std::fclose(out);
    EXPECT_EQ(readFile(dir.path() / "written.txt"), "a\r\nb\n");
}

TEST(Win32Files, ReplacementPutsAllOrNothingInPlaceAndLeavesNoTemporary) {
    TempDir dir;
    const fs::path target = dir.path() / "readback.hex";
    writeFile(target, "old");
    EXPECT_TRUE(platform::FileReplacement(target).created());  // dropped uncommitted
    EXPECT_EQ(readFile(target), "old");
    EXPECT_TRUE(platform::FileReplacement(target).commit("new\r\n"));
    EXPECT_EQ(readFile(target), "new\r\n");
    // A folder in the target's place is never replaced; the reason names it.
    fs::create_directory(dir.path() / "taken.hex");
    {
        platform::FileReplacement taken(dir.path() / "taken.hex");
        EXPECT_FALSE(taken.commit("x"));
        EXPECT_NE(taken.error().find("taken.hex"), std::string::npos) << taken.error();
    }
    EXPECT_TRUE(fs::is_directory(dir.path() / "taken.hex"));
    EXPECT_FALSE(platform::FileReplacement(dir.path() / "no" / "such.hex").commit("x"));
    // Once dropped, only readback.hex and taken.hex are left: no temporary.
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()), 2);
}

TEST(Win32Ticks, NeverGoBackAndASleepEndsOnlyAfterItsDeadline) {
    platform::PerformanceCounterTicks ticks;
    std::uint64_t last = ticks.nowNs();
    for (int i = 0; i < 1000; ++i) {
        const std::uint64_t now = ticks.nowNs();
        ASSERT_GE(now, last);
        last = now;
    }
    EXPECT_GE(ticks.readTimes(5), last);
    EXPECT_EQ(ticks.readTimes(0), 0u);
    for (std::uint64_t wait : {1u, 999'999u, 1'000'000u, 2'500'000u}) {
        const std::uint64_t deadline = ticks.nowNs() + wait;
        ticks.sleepUntil(deadline);
        EXPECT_GE(ticks.nowNs(), deadline) << wait;
    }
    ticks.sleepUntil(0);  // a deadline passed long ago returns at once
}

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
