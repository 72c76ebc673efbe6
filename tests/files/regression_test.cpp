// Inputs kept from fuzzing, run through the fuzz targets' own checks.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "file_harness.h"
#include "files_fixture.h"

namespace ferrolux::test {
namespace {

using Reader = void (*)(const std::filesystem::path&, std::span<const std::uint8_t>);

TEST_F(FilesTest, FuzzRegressionInputs) {
    const std::pair<const char*, Reader> readers[] = {{"device_list", fuzz::runDeviceList},
                                                      {"hex_input", fuzz::runHexInput},
                                                      {"state_file", fuzz::runStateFile}};
    for (const auto& [kind, run] : readers) {
        int seen = 0;
        for (const auto& entry : std::filesystem::directory_iterator(
                 std::filesystem::path(FERROLUX_REGRESSION_DIR) / kind)) {
            SCOPED_TRACE(entry.path().string());
            std::ifstream in(entry.path(), std::ios::binary);
            const std::vector<std::uint8_t> bytes{std::istreambuf_iterator<char>(in), {}};
            run(dir, bytes);
            ++seen;
        }
        EXPECT_GT(seen, 0) << kind;
    }
}

}  // namespace
}  // namespace ferrolux::test
