#pragma once

#include <memory>
#include <string>
#include <vector>

#include "platform/ftdi_port.h"

namespace ferrolux::platform {

// FTDI adapters through libftdi1 (libusb): any FTDI vendor/product id the
// library knows, found and opened by serial number.
class LibFtdiOpener final : public FtdiOpener {
  public:
    std::unique_ptr<FtdiDevice> open(const std::string& serial) override;
    std::vector<FtdiAdapterInfo> list() override;
    std::string lastError() const override { return error_; }

  private:
    std::string error_;
};

}  // namespace ferrolux::platform
