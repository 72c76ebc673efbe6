#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/file_lock.h"

namespace ferrolux::platform {

ExclusiveLock::Result ExclusiveLock::tryLock(const std::filesystem::path& file, std::string& why) {
    if (locked_) return Result::locked;
    if (handle_ < 0) {
        const int fd = ::open(file.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0666);
        if (fd < 0) {
            why = "cannot open " + file.string() + ": " + std::strerror(errno);
            return Result::failed;
        }
        handle_ = fd;
    }
    if (::flock(static_cast<int>(handle_), LOCK_EX | LOCK_NB) == 0) {
        locked_ = true;
        return Result::locked;
    }
    const int error = errno;
    if (error == EWOULDBLOCK || error == EINTR) return Result::taken;
    why = "cannot lock " + file.string() + ": " + std::strerror(error);
    release();
    return Result::failed;
}

void ExclusiveLock::release() {
    if (handle_ >= 0) ::close(static_cast<int>(handle_));  // closing drops the lock
    handle_ = -1;
    locked_ = false;
}

}  // namespace ferrolux::platform
