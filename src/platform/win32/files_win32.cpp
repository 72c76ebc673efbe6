#include <fcntl.h>
#include <io.h>
#include <share.h>
#include <sys/stat.h>
#include <windows.h>

#include <cerrno>
#include <cstdint>
#include <cstring>

#include "platform/files.h"
#include "platform/win32/utf8_win32.h"

namespace ferrolux::platform {

namespace {

// The stdio mode in binary: the readers and writers handle CR LF themselves,
// and text mode would double every CR written and end a read at Ctrl-Z.
std::string binaryMode(const char* mode) {
    std::string m(mode);
    if (m.find('b') == std::string::npos) m += 'b';
    return m;
}

}  // namespace

std::FILE* openRegularFile(const std::filesystem::path& path, const char* mode) {
    const std::string stdioMode = binaryMode(mode);
    // The wide name: any character, whatever the ANSI code page.
    const std::wstring& name = path.native();
    if (mode[0] != 'r') return ::_wfopen(name.c_str(), widen(stdioMode).c_str());
    const bool update = std::strchr(mode, '+') != nullptr;
    // A folder cannot be opened this way; a device (CON, NUL, COM1) can, and is refused.
    HANDLE h = ::CreateFileW(name.c_str(), GENERIC_READ | (update ? GENERIC_WRITE : 0),
                             FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                             FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        errno = ENOENT;
        return nullptr;
    }
    if (::GetFileType(h) != FILE_TYPE_DISK) {
        ::CloseHandle(h);
        errno = EINVAL;
        return nullptr;
    }
    const int fd = ::_open_osfhandle(reinterpret_cast<intptr_t>(h),
                                     (update ? _O_RDWR : _O_RDONLY) | _O_BINARY);
    if (fd < 0) {
        ::CloseHandle(h);
        return nullptr;
    }
    std::FILE* f = ::_fdopen(fd, stdioMode.c_str());
    if (f == nullptr) ::_close(fd);  // closes the handle too
    return f;
}

FileReplacement::FileReplacement(std::filesystem::path target) : target_(std::move(target)) {
    const std::filesystem::path folder =
        target_.has_parent_path() ? target_.parent_path() : std::filesystem::path(".");
    const unsigned long long seed = ::GetTickCount64() ^ (::GetCurrentProcessId() * 2654435761ull) ^
                                    reinterpret_cast<std::uintptr_t>(this);
    // A name nobody has: created only when it does not exist yet, else the next one.
    for (int attempt = 0; attempt < 100 && fd_ < 0; ++attempt) {
        char suffix[24];
        std::snprintf(suffix, sizeof suffix, ".%012llx",
                      (seed + attempt * 7919ull) & 0xFFFFFFFFFFFFull);
        std::wstring leaf = L".";
        leaf += target_.filename().native();
        leaf += widen(suffix);
        const std::filesystem::path name = folder / leaf;
        int fd = -1;
        const errno_t e = ::_wsopen_s(&fd, name.c_str(), _O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY,
                                      _SH_DENYRW, _S_IREAD | _S_IWRITE);
        if (e == 0) {
            fd_ = fd;
            temporary_ = utf8Of(name);
        } else if (e != EEXIST) {
            break;
        }
    }
    if (fd_ < 0) fail("cannot create a file in " + utf8Of(folder));
}

FileReplacement::~FileReplacement() {
    if (fd_ >= 0) ::_close(fd_);
    if (!temporary_.empty()) ::DeleteFileW(widen(temporary_).c_str());
}

bool appendToFile(const std::filesystem::path& path, std::string_view bytes, std::string& why) {
    // FILE_APPEND_DATA alone: every write goes to the end, as O_APPEND does.
    HANDLE h =
        ::CreateFileW(path.native().c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE,
                      nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        why = "cannot open " + utf8Of(path);
        return false;
    }
    DWORD written = 0;
    const BOOL ok =
        ::WriteFile(h, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    const BOOL flushed = ::FlushFileBuffers(h);
    ::CloseHandle(h);
    if (!ok || !flushed || written != bytes.size()) {
        why = "cannot append to " + utf8Of(path);
        return false;
    }
    return true;
}

bool FileReplacement::commit(std::string_view content) {
    if (fd_ < 0) return false;
    while (!content.empty()) {
        const unsigned chunk =
            content.size() > 0x40000000u ? 0x40000000u : static_cast<unsigned>(content.size());
        const int n = ::_write(fd_, content.data(), chunk);
        if (n <= 0) return fail("cannot write " + temporary_);
        content.remove_prefix(static_cast<std::size_t>(n));
    }
    if (::_commit(fd_) != 0) return fail("cannot write " + temporary_);
    const int fd = fd_;
    fd_ = -1;
    if (::_close(fd) != 0) return fail("cannot write " + temporary_);
    // Only a regular file is replaced, never a folder or a device.
    const std::string target = utf8Of(target_);
    const DWORD attributes = ::GetFileAttributesW(target_.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY)) {
        errno = EISDIR;
        return fail(target + " is not a regular file");
    }
    HANDLE h =
        ::CreateFileW(target_.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                      nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h != INVALID_HANDLE_VALUE) {
        const DWORD type = ::GetFileType(h);
        ::CloseHandle(h);
        if (type != FILE_TYPE_DISK) {
            errno = EINVAL;
            return fail(target + " is not a regular file");
        }
    }
    if (!::MoveFileExW(widen(temporary_).c_str(), target_.c_str(),
                       MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        errno = EACCES;
        return fail("cannot replace " + target);
    }
    temporary_.clear();
    return true;
}

bool FileReplacement::fail(const std::string& what) {
    error_ = what + ": " + std::strerror(errno);
    return false;
}

}  // namespace ferrolux::platform
