// The Windows file services on the system itself: regular files only, bytes
// as they are (no text mode), and whole-file replacement.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>

#include "platform/files.h"
#include "support/temp_dir.h"

namespace ferrolux::test {
namespace {

namespace fs = std::filesystem;

std::string slurp(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

void spill(const fs::path& p, const std::string& text) {
    std::ofstream(p, std::ios::binary) << text;
}

TEST(Win32Files, OnlyRegularFilesOpenAndBytesStayAsTheyAre) {
    TempDir dir;
    const std::string bytes = "line\r\nlone\rend\n\x1a after Ctrl-Z";
    spill(dir.path() / "file.hex", bytes);
    fs::create_directory(dir.path() / "folder");
    for (const char* mode : {"r", "rb", "r+"}) {
        EXPECT_EQ(platform::openRegularFile(dir.path() / "folder", mode), nullptr) << mode;
        EXPECT_EQ(platform::openRegularFile("NUL", mode), nullptr) << mode;
        EXPECT_EQ(platform::openRegularFile(dir.path() / "missing", mode), nullptr) << mode;
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
    EXPECT_EQ(slurp(dir.path() / "written.txt"), "a\r\nb\n");
}

TEST(Win32Files, ReplacementPutsAllOrNothingInPlaceAndLeavesNoTemporary) {
    TempDir dir;
    const fs::path target = dir.path() / "readback.hex";
    spill(target, "old");
    {
        platform::FileReplacement file(target);
        ASSERT_TRUE(file.created()) << file.error();
        EXPECT_EQ(slurp(target), "old");  // untouched until the commit
    }
    EXPECT_EQ(slurp(target), "old");
    {
        platform::FileReplacement file(target);
        ASSERT_TRUE(file.commit("new\r\n")) << file.error();
    }
    EXPECT_EQ(slurp(target), "new\r\n");
    // A folder in the target's place is never replaced.
    fs::create_directory(dir.path() / "taken.hex");
    {
        platform::FileReplacement file(dir.path() / "taken.hex");
        EXPECT_FALSE(file.commit("x"));
        EXPECT_NE(file.error().find("taken.hex"), std::string::npos) << file.error();
    }
    EXPECT_TRUE(fs::is_directory(dir.path() / "taken.hex"));
    // No folder, no file: the reason names the folder.
    platform::FileReplacement nowhere(dir.path() / "no" / "such" / "file.hex");
    EXPECT_FALSE(nowhere.created());
    EXPECT_FALSE(nowhere.commit("x"));
    int names = 0;
    for (const auto& entry : fs::directory_iterator(dir.path()))
        names += entry.exists() ? 1 : 0;
    EXPECT_EQ(names, 2);  // readback.hex and taken.hex: no temporary left behind
}

}  // namespace
}  // namespace ferrolux::test
