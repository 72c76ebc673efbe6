#pragma once

#include <cstdio>
#include <filesystem>
#include <memory>
#include <string_view>

#include "platform/files.h"

namespace ferrolux {

// Character at `pos` of a line, NUL past its end (as in a cleared line buffer).
inline char charAt(std::string_view line, std::size_t pos) {
    return pos < line.size() ? line[pos] : '\0';
}

// Longest line the readers keep: a 99-byte buffer less its terminator.
inline constexpr std::size_t kLineMax = 98;

// A file opened with a stdio mode; closed when the object goes out of scope.
// Modes that read open regular files only, so a FIFO never blocks the program.
class TextFile {
  public:
    TextFile(const std::filesystem::path& path, const char* mode)
        : file_(platform::openRegularFile(path, mode)) {}

    explicit operator bool() const { return file_ != nullptr; }

    int get() { return std::fgetc(file_.get()); }
    void unget(int c) {
        if (c != EOF) std::ungetc(c, file_.get());
    }
    bool seek(long offset) { return std::fseek(file_.get(), offset, SEEK_SET) == 0; }
    bool write(std::string_view bytes) {
        return std::fwrite(bytes.data(), 1, bytes.size(), file_.get()) == bytes.size();
    }
    std::size_t read(char* into, std::size_t count) {
        return std::fread(into, 1, count, file_.get());
    }
    // Flushes and closes; false when a write did not reach the file.
    bool close() {
        std::FILE* f = file_.release();
        return f != nullptr && std::fclose(f) == 0;
    }

    // Set by the line readers when the last line did not fit kLineMax.
    bool overlong = false;

  private:
    struct Closer {
        void operator()(std::FILE* f) const { std::fclose(f); }
    };
    std::unique_ptr<std::FILE, Closer> file_;
};

}  // namespace ferrolux
