#pragma once

#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <string_view>

namespace ferrolux::test {

// A fresh directory in the system's temporary folder, only its owner's,
// removed with everything in it. A name taken already is not created anew.
class TempDir {
  public:
    TempDir() {
        namespace fs = std::filesystem;
        std::random_device random;
        std::error_code ec;
        for (int tries = 0; path_.empty() && tries < 1000; ++tries) {
            const auto dir = fs::temp_directory_path() / ("ferrolux-" + std::to_string(random()));
            if (fs::create_directory(dir, ec)) path_ = dir;
        }
        fs::permissions(path_, fs::perms::owner_all, ec);
    }
    ~TempDir() {
        std::error_code ec;
        std::filesystem::remove_all(path_, ec);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::filesystem::path& path() const { return path_; }

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
