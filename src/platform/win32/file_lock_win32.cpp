#include <windows.h>

#include "platform/file_lock.h"
#include "platform/files.h"
#include "platform/win32/win32_error.h"

namespace ferrolux::platform {

ExclusiveLock::Result ExclusiveLock::tryLock(const std::filesystem::path& file, std::string& why) {
    if (locked_) return Result::locked;
    if (handle_ < 0) {
        // Others may open the file; only the lock on its first byte excludes.
        HANDLE h = ::CreateFileW(file.c_str(), GENERIC_READ | GENERIC_WRITE,
                                 FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                 OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT,
                                 nullptr);
        if (h == INVALID_HANDLE_VALUE) {
            why = "cannot open " + utf8Of(file) + ": " + systemErrorText(::GetLastError());
            return Result::failed;
        }
        handle_ = reinterpret_cast<std::intptr_t>(h);
    }
    OVERLAPPED at{};
    if (::LockFileEx(reinterpret_cast<HANDLE>(handle_),
                     LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0, &at)) {
        locked_ = true;
        return Result::locked;
    }
    const DWORD error = ::GetLastError();
    if (error == ERROR_LOCK_VIOLATION || error == ERROR_IO_PENDING) return Result::taken;
    why = "cannot lock " + utf8Of(file) + ": " + systemErrorText(error);
    release();
    return Result::failed;
}

void ExclusiveLock::release() {
    // Closing the handle drops the lock.
    if (handle_ >= 0) ::CloseHandle(reinterpret_cast<HANDLE>(handle_));
    handle_ = -1;
    locked_ = false;
}

}  // namespace ferrolux::platform
