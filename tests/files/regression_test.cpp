// Inputs kept from fuzzing, run through the fuzz targets' own checks.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

#include "file_harness.h"
#include "files_fixture.h"

namespace ferrolux::test {
namespace {

std::vector<std::filesystem::path> inputs(const char* kind) {
    std::vector<std::filesystem::path> found;
    const std::filesystem::path dir = std::filesystem::path(FERROLUX_REGRESSION_DIR) / kind;
    for (const auto& entry : std::filesystem::directory_iterator(dir)) {
        if (entry.is_regular_file()) found.push_back(entry.path());
    }
    return found;
}

std::vector<std::uint8_t> bytesOf(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

class RegressionTest : public FilesTest {
  protected:
    template <class Run>
    void runAll(const char* kind, Run run) {
        const auto files = inputs(kind);
        EXPECT_FALSE(files.empty()) << kind;
        for (const auto& file : files) {
            SCOPED_TRACE(file.filename().string());
            run(dir, std::span<const std::uint8_t>(bytesOf(file)));
        }
    }
};

TEST_F(RegressionTest, DeviceList) {
    runAll("device_list", fuzz::runDeviceList);
}
TEST_F(RegressionTest, HexInput) {
    runAll("hex_input", fuzz::runHexInput);
}
TEST_F(RegressionTest, StateFile) {
    runAll("state_file", fuzz::runStateFile);
}

}  // namespace
}  // namespace ferrolux::test
