#pragma once

#include <array>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace ferrolux {

// SHA-256 (FIPS 180-4), fed in pieces.
class Sha256 {
  public:
    Sha256();
    void add(std::string_view bytes);
    // The digest as 64 lower-case hex digits; the object is spent after it.
    std::string hex();

  private:
    void block(const std::uint8_t* p);

    std::array<std::uint32_t, 8> h_;
    std::array<std::uint8_t, 64> buffer_{};
    std::size_t used_ = 0;
    std::uint64_t length_ = 0;  // bytes added
};

std::string sha256Hex(std::string_view bytes);
// The digest of the file's bytes; nullopt when it cannot be read.
std::optional<std::string> fileSha256(const std::filesystem::path& file);

}  // namespace ferrolux
