#include "platform/win32/utf8_win32.h"

#include <windows.h>

#include <shellapi.h>

#include <climits>

#include "platform/files.h"

namespace ferrolux::platform {

std::wstring widen(std::string_view utf8) {
    if (utf8.empty() || utf8.size() > INT_MAX) return {};
    const int size = static_cast<int>(utf8.size());
    const int n = ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), size, nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(n), L'\0');
    ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), size, wide.data(), n);
    return wide;
}

std::string narrow(std::wstring_view wide) {
    if (wide.empty() || wide.size() > INT_MAX) return {};
    const int size = static_cast<int>(wide.size());
    const int n =
        ::WideCharToMultiByte(CP_UTF8, 0, wide.data(), size, nullptr, 0, nullptr, nullptr);
    std::string utf8(static_cast<std::size_t>(n), '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, wide.data(), size, utf8.data(), n, nullptr, nullptr);
    return utf8;
}

std::vector<std::string> utf8Arguments() {
    int count = 0;
    LPWSTR* wide = ::CommandLineToArgvW(::GetCommandLineW(), &count);
    std::vector<std::string> args;
    if (wide == nullptr) return args;
    for (int i = 1; i < count; ++i)
        args.push_back(narrow(wide[i]));
    ::LocalFree(wide);
    return args;
}

void useUtf8Console() {
    ::SetConsoleOutputCP(CP_UTF8);
}

std::filesystem::path pathFromUtf8(std::string_view utf8) {
    return std::filesystem::path(widen(utf8));
}

std::string utf8Of(const std::filesystem::path& path) {
    return narrow(path.native());
}

}  // namespace ferrolux::platform
