#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>

#include "platform/parallel_port.h"

namespace ferrolux::platform {

// Parallel ports through the kernel's ppdev driver (/dev/parportN). The port
// whose base address matches is found in /proc/sys/dev/parport/parportN/base-addr.
class PpdevParallelPort final : public ParallelPort {
  public:
    explicit PpdevParallelPort(std::filesystem::path procDir = "/proc/sys/dev/parport",
                               std::filesystem::path devDir = "/dev");
    ~PpdevParallelPort() override;
    PpdevParallelPort(const PpdevParallelPort&) = delete;
    PpdevParallelPort& operator=(const PpdevParallelPort&) = delete;

    // True when the kernel offers ppdev devices at all.
    static bool available(const std::filesystem::path& devDir = "/dev");

    // The ppdev device that drives the port at `base`, if the kernel knows one.
    std::optional<std::filesystem::path> deviceFor(std::uint16_t base) const;

    bool writeData(std::uint16_t base, std::uint8_t value) override;
    bool readWord(std::uint16_t base, std::uint16_t& word) override;

  private:
    bool claim(std::uint16_t base);
    void release();

    std::filesystem::path procDir_;
    std::filesystem::path devDir_;
    int fd_ = -1;
    std::uint16_t claimedBase_ = 0;
};

}  // namespace ferrolux::platform
