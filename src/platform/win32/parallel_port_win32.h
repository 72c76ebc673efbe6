#pragma once

#include <windows.h>

#include <cstdint>
#include <memory>
#include <string>

#include "platform/parallel_port.h"

namespace ferrolux::platform {

// Parallel ports through a port-I/O driver library loaded at run time: the
// DlPortIO library "DLPORTIO.dll" first, else the inpout library
// (inpoutx64.dll in a 64-bit program, inpout32.dll in a 32-bit one).
class PortIoLibrary final : public ParallelPort {
  public:
    ~PortIoLibrary() override;
    PortIoLibrary(const PortIoLibrary&) = delete;
    PortIoLibrary& operator=(const PortIoLibrary&) = delete;

    // The first library that loads and has its functions; nullptr when none does.
    static std::unique_ptr<PortIoLibrary> load();
    // The file name of the library in use.
    const std::string& name() const { return name_; }

    bool writeData(std::uint16_t base, std::uint8_t value) override;
    bool readWord(std::uint16_t base, std::uint16_t& word) override;

  private:
    using DlWriteUshort = void(WINAPI*)(ULONG port, USHORT value);
    using DlReadUlong = ULONG(WINAPI*)(ULONG port);
    using InpOut32 = void(WINAPI*)(short port, short value);
    using InpInp32 = short(WINAPI*)(short port);

    PortIoLibrary(HMODULE module, std::string name) : module_(module), name_(std::move(name)) {}

    HMODULE module_;
    std::string name_;
    DlWriteUshort dlWrite_ = nullptr;
    DlReadUlong dlRead_ = nullptr;
    InpOut32 out32_ = nullptr;
    InpInp32 inp32_ = nullptr;
};

}  // namespace ferrolux::platform
