#include "platform/win32/win32_error.h"

#include <windows.h>

namespace ferrolux::platform {

std::string systemErrorText(unsigned long error) {
    char buffer[512] = {};
    const DWORD n = ::FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                                     nullptr, error, 0, buffer, sizeof buffer, nullptr);
    std::string text(buffer, n);
    while (!text.empty() &&
           (text.back() == '\n' || text.back() == '\r' || text.back() == ' ' || text.back() == '.'))
        text.pop_back();
    if (text.empty()) text.append("system error ").append(std::to_string(error));
    return text;
}

}  // namespace ferrolux::platform
