#pragma once

#include <cstdio>
#include <filesystem>
#include <string>
#include <string_view>

namespace ferrolux::platform {

// A path from the program's UTF-8 text, and back. Linux passes the bytes
// through; Windows converts to and from its UTF-16 names (a plain
// std::filesystem::path(std::string) would read the bytes as the ANSI code page).
std::filesystem::path pathFromUtf8(std::string_view utf8);
std::string utf8Of(const std::filesystem::path& path);

// Opens `path` with a stdio mode that starts with 'r' only when it names a
// regular file; a FIFO or device in its place is refused at once instead of
// blocking the program. nullptr when the file cannot be opened or is not regular.
std::FILE* openRegularFile(const std::filesystem::path& path, const char* mode);

// Appends `bytes` to the file at `path` (created when missing) with one
// write on a file opened for appending, so a line never lands half or in the
// middle of another. False with `why` filled, naming the file.
bool appendToFile(const std::filesystem::path& path, std::string_view bytes, std::string& why);

// A file replaced as a whole. The new content goes to a fresh temporary file
// in the target's folder, created exclusively under a unique name (so nothing
// planted there is written through and two runs never share one), and is
// renamed over the target only when all of it reached the disk. Until then
// the target keeps its old content; an unfinished temporary is removed.
class FileReplacement {
  public:
    explicit FileReplacement(std::filesystem::path target);
    ~FileReplacement();
    FileReplacement(const FileReplacement&) = delete;
    FileReplacement& operator=(const FileReplacement&) = delete;

    bool created() const { return fd_ >= 0; }
    // The reason of the last failure, naming the file.
    const std::string& error() const { return error_; }

    // Writes `content`, flushes it to the disk and puts the file in place.
    // False on any failure (disk full, closing, renaming); the target is then untouched.
    bool commit(std::string_view content);

  private:
    bool fail(const std::string& what);

    std::filesystem::path target_;
    std::string temporary_;
    int fd_ = -1;
    std::string error_;
};

}  // namespace ferrolux::platform
