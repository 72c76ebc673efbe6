#include <windows.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "platform/system_info.h"
#include "platform/win32/parallel_port_win32.h"

namespace ferrolux::platform {

namespace fs = std::filesystem;

namespace {

// n for "COMn", else 0.
int comNumber(const char* name) {
    if (_strnicmp(name, "COM", 3) != 0 || name[3] < '1' || name[3] > '9') return 0;
    for (const char* p = name + 3; *p != '\0'; ++p)
        if (*p < '0' || *p > '9') return 0;
    return std::atoi(name + 3);
}

// Every name in the device space; empty when the system does not say.
std::vector<std::string> dosDevices() {
    std::vector<char> buffer(1 << 16);
    for (int attempt = 0; attempt < 4; ++attempt) {
        const DWORD n =
            ::QueryDosDeviceA(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
        if (n != 0) {
            std::vector<std::string> names;
            for (const char* p = buffer.data(); p < buffer.data() + n && *p != '\0';
                 p += std::strlen(p) + 1)
                names.emplace_back(p);
            return names;
        }
        if (::GetLastError() != ERROR_INSUFFICIENT_BUFFER) break;
        buffer.resize(buffer.size() * 4);
    }
    return {};
}

}  // namespace

std::vector<PortEntry> listPorts(const fs::path&, const fs::path&) {
    std::vector<std::pair<int, PortEntry>> coms;
    for (const std::string& name : dosDevices()) {
        const int n = comNumber(name.c_str());
        if (n == 0) continue;
        char target[MAX_PATH] = {};
        const std::string com = "COM" + std::to_string(n);
        (void)::QueryDosDeviceA(com.c_str(), target, sizeof target);
        coms.push_back({n, {com, target, "serial port"}});
    }
    std::sort(coms.begin(), coms.end(),
              [](const auto& a, const auto& b) { return a.first < b.first; });
    std::vector<PortEntry> ports;
    for (auto& [n, entry] : coms)
        ports.push_back(std::move(entry));
    // Parallel ports answer at the usual bases when a port-I/O library is there.
    if (auto lib = PortIoLibrary::load()) {
        for (const char* base : {"0378", "0278", "03BC"})
            ports.push_back({base, lib->name(), "parallel port base (port-I/O library)"});
    }
    return ports;
}

fs::path executablePath() {
    std::vector<wchar_t> buffer(MAX_PATH);
    for (;;) {
        const DWORD n =
            ::GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
        if (n == 0) return {};
        if (n < buffer.size()) return fs::path(std::wstring(buffer.data(), n));
        if (buffer.size() >= 32768) return {};
        buffer.resize(buffer.size() * 2);
    }
}

fs::path userDataHome() {
    const wchar_t* appData = ::_wgetenv(L"APPDATA");
    if (appData != nullptr && *appData != L'\0') return appData;
    return {};
}

fs::path makePrivateDir() {
    wchar_t temp[MAX_PATH + 1] = {};
    const DWORD n = ::GetTempPathW(MAX_PATH + 1, temp);
    if (n == 0 || n > MAX_PATH) return {};
    const unsigned long long seed = ::GetTickCount64() ^ (::GetCurrentProcessId() * 40503ull);
    for (unsigned attempt = 0; attempt < 100; ++attempt) {
        char name[32];
        std::snprintf(name, sizeof name, "ferrolux-%06llx",
                      (seed + attempt * 104729ull) & 0xFFFFFFull);
        const fs::path dir = fs::path(temp) / name;
        // Created anew, so nobody else's folder is ever taken over.
        if (::CreateDirectoryW(dir.c_str(), nullptr)) return dir;
        if (::GetLastError() != ERROR_ALREADY_EXISTS) return {};
    }
    return {};
}

}  // namespace ferrolux::platform
