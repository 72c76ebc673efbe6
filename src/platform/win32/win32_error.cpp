#include "platform/win32/win32_error.h"

#include <windows.h>

#include "platform/win32/utf8_win32.h"

namespace ferrolux::platform {

std::string systemErrorText(unsigned long error) {
    // UTF-8 like every text of the program, whatever the system's language.
    wchar_t buffer[512] = {};
    const DWORD n = ::FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                                     nullptr, error, 0, buffer, 512, nullptr);
    std::string text = narrow(std::wstring_view(buffer, n));
    while (!text.empty() &&
           (text.back() == '\n' || text.back() == '\r' || text.back() == ' ' || text.back() == '.'))
        text.pop_back();
    if (text.empty()) text.append("system error ").append(std::to_string(error));
    return text;
}

}  // namespace ferrolux::platform
