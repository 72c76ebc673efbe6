#include "platform/linux/parallel_port_ppdev.h"

#include <fcntl.h>
#include <linux/parport.h>
#include <linux/ppdev.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <fstream>
#include <string>
#include <system_error>

namespace ferrolux::platform {

PpdevParallelPort::PpdevParallelPort(std::filesystem::path procDir, std::filesystem::path devDir)
    : procDir_(std::move(procDir)), devDir_(std::move(devDir)) {}

PpdevParallelPort::~PpdevParallelPort() {
    release();
}

bool PpdevParallelPort::available(const std::filesystem::path& devDir) {
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator(devDir, ec)) {
        const std::string name = entry.path().filename().string();
        if (name.rfind("parport", 0) == 0 && name.size() > 7) return true;
    }
    return false;
}

std::optional<std::filesystem::path> PpdevParallelPort::deviceFor(std::uint16_t base) const {
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator(procDir_, ec)) {
        const std::string name = entry.path().filename().string();
        if (name.rfind("parport", 0) != 0) continue;
        std::ifstream in(entry.path() / "base-addr");
        unsigned long value = 0;
        // The file lists the base addresses in decimal; the first one is the data register.
        if (in >> value && value == base) return devDir_ / name;
    }
    return std::nullopt;
}

bool PpdevParallelPort::claim(std::uint16_t base) {
    if (fd_ >= 0 && claimedBase_ == base) return true;
    release();
    const auto device = deviceFor(base);
    if (!device) return false;
    const int fd = ::open(device->c_str(), O_RDWR | O_CLOEXEC);
    if (fd < 0) return false;
    if (::ioctl(fd, PPCLAIM) != 0) {
        ::close(fd);
        return false;
    }
    int forward = 0;  // data lines are outputs
    (void)::ioctl(fd, PPDATADIR, &forward);
    fd_ = fd;
    claimedBase_ = base;
    return true;
}

void PpdevParallelPort::release() {
    if (fd_ < 0) return;
    (void)::ioctl(fd_, PPRELEASE);
    ::close(fd_);
    fd_ = -1;
}

bool PpdevParallelPort::writeData(std::uint16_t base, std::uint8_t value) {
    if (!claim(base)) return false;
    unsigned char byte = value;
    return ::ioctl(fd_, PPWDATA, &byte) == 0;
}

bool PpdevParallelPort::readWord(std::uint16_t base, std::uint16_t& word) {
    if (!claim(base)) return false;
    unsigned char data = 0;
    unsigned char status = 0;
    if (::ioctl(fd_, PPRDATA, &data) != 0 || ::ioctl(fd_, PPRSTATUS, &status) != 0) return false;
    word = static_cast<std::uint16_t>(data | (status << 8));
    return true;
}

}  // namespace ferrolux::platform
