#pragma once

#include <windows.h>

#include <filesystem>
#include <memory>
#include <string>

#include "platform/serial_port.h"

namespace ferrolux::platform {

// The Win32 calls the serial port makes, as a table so that a test can hand
// in fakes of them.
struct CommApi {
    HANDLE(WINAPI* createFile)
    (LPCSTR name, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES security, DWORD disposition,
     DWORD flags, HANDLE templateFile);
    BOOL(WINAPI* closeHandle)(HANDLE port);
    BOOL(WINAPI* getCommState)(HANDLE port, LPDCB dcb);
    BOOL(WINAPI* setCommState)(HANDLE port, LPDCB dcb);
    BOOL(WINAPI* setCommTimeouts)(HANDLE port, LPCOMMTIMEOUTS timeouts);
    BOOL(WINAPI* escapeCommFunction)(HANDLE port, DWORD function);
    BOOL(WINAPI* getCommModemStatus)(HANDLE port, LPDWORD status);
    DWORD(WINAPI* getLastError)();
};

// The system's own functions.
const CommApi& systemCommApi();

// The device name CreateFileA takes for a port name: "COM12" -> "\\.\COM12"
// (COM1 to COM9 work without the prefix, the higher numbers only with it);
// names already in the device space and other names are taken as they are.
std::string commDeviceName(const std::string& portName);

// Opens COM ports through the Win32 communications API, exclusively.
class Win32SerialOpener : public SerialOpener {
  public:
    explicit Win32SerialOpener(const CommApi& api = systemCommApi()) : api_(api) {}
    // Port names are the system's own: the program directory maps none.
    explicit Win32SerialOpener(const std::filesystem::path& programDir) : api_(systemCommApi()) {
        (void)programDir;
    }
    std::unique_ptr<SerialPort> open(const std::string& portName) override;
    std::string lastError() const override { return lastError_; }

  private:
    const CommApi& api_;
    std::string lastError_;
};

}  // namespace ferrolux::platform
