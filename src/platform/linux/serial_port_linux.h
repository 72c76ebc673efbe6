#pragma once

#include <filesystem>
#include <memory>
#include <string>

#include "platform/serial_port.h"

namespace ferrolux::platform {

// Opens serial devices through termios; port names resolve as serialDevicePath says.
class LinuxSerialOpener : public SerialOpener {
  public:
    explicit LinuxSerialOpener(std::filesystem::path programDir)
        : programDir_(std::move(programDir)) {}
    std::unique_ptr<SerialPort> open(const std::string& portName) override;
    std::string lastError() const override { return lastError_; }

    // Opens a device file directly; `why` receives the reason of a failure.
    static std::unique_ptr<SerialPort> openDevice(const std::filesystem::path& device,
                                                  std::string* why = nullptr);

  private:
    std::filesystem::path programDir_;
    std::string lastError_;
};

}  // namespace ferrolux::platform
