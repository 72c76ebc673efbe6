// libFuzzer entry: arbitrary bytes through the device list reader.

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <span>

#include "file_harness.h"

namespace {

const std::filesystem::path& workDir() {
    static const std::filesystem::path dir = [] {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "ferrolux-fuzz-XXXXXX").string();
        if (::mkdtemp(pattern.data()) == nullptr) std::abort();
        return std::filesystem::path(pattern);
    }();
    return dir;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    ferrolux::fuzz::runDeviceList(workDir(), std::span<const std::uint8_t>(data, size));
    return 0;
}
