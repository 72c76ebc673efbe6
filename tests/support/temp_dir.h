#pragma once

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <string_view>

#if defined(_WIN32)
#include <process.h>
#else
#include <stdlib.h>
#endif

namespace ferrolux::test {

// A fresh directory under /tmp, removed with everything in it.
class TempDir {
  public:
    TempDir() {
#if defined(_WIN32)
        // No mkdtemp: a name made of the process id and a count, created anew.
        static int made = 0;
        const auto temp = std::filesystem::temp_directory_path();
        for (std::error_code ec;;) {
            const auto dir =
                temp / ("ferrolux-" + std::to_string(::_getpid()) + "-" + std::to_string(++made));
            if (std::filesystem::create_directory(dir, ec)) {
                path_ = dir;
                break;
            }
            if (made > 100000) break;
        }
#else
        std::string pattern = (std::filesystem::temp_directory_path() / "ferrolux-XXXXXX").string();
        path_ = ::mkdtemp(pattern.data());
#endif
    }
    ~TempDir() {
        std::error_code ec;
        std::filesystem::remove_all(path_, ec);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::filesystem::path& path() const {
        return path_;
    }

  private:
    std::filesystem::path path_;
};

// The whole file as bytes; empty when it cannot be read.
inline std::string readFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

inline void writeFile(const std::filesystem::path& path, std::string_view bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

}  // namespace ferrolux::test
