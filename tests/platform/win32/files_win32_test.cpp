// The Windows file services on the system itself: regular files only, bytes
// as they are (no text mode), and whole-file replacement.
#include <gtest/gtest.h>

#include "platform/files.h"
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
    platform::FileReplacement taken(dir.path() / "taken.hex");
    EXPECT_FALSE(taken.commit("x"));
    EXPECT_NE(taken.error().find("taken.hex"), std::string::npos) << taken.error();
    EXPECT_TRUE(fs::is_directory(dir.path() / "taken.hex"));
    EXPECT_FALSE(platform::FileReplacement(dir.path() / "no" / "such.hex").commit("x"));
    int names = 0;
    for (const auto& entry : fs::directory_iterator(dir.path()))
        names += entry.exists() ? 1 : 0;
    EXPECT_EQ(names, 2);  // readback.hex and taken.hex: no temporary left behind
}

}  // namespace
}  // namespace ferrolux::test
