#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/files.h"

namespace ferrolux::platform {

std::filesystem::path pathFromUtf8(std::string_view utf8) {
    return std::filesystem::path(utf8);
}

std::string utf8Of(const std::filesystem::path& path) {
    return path.string();
}

std::FILE* openRegularFile(const std::filesystem::path& path, const char* mode) {
    const bool update = std::strchr(mode, '+') != nullptr;
    if (mode[0] != 'r') return std::fopen(path.c_str(), mode);
    // Non-blocking, so that opening a FIFO cannot wait for a writer.
    const int fd = ::open(path.c_str(), (update ? O_RDWR : O_RDONLY) | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return nullptr;
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        errno = EINVAL;
        return nullptr;
    }
    const int flags = ::fcntl(fd, F_GETFL);
    if (flags >= 0) (void)::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
    std::FILE* f = ::fdopen(fd, mode);
    if (f == nullptr) ::close(fd);
    return f;
}

FileReplacement::FileReplacement(std::filesystem::path target) : target_(std::move(target)) {
    const std::filesystem::path folder =
        target_.has_parent_path() ? target_.parent_path() : std::filesystem::path(".");
    std::string name = ".";
    name += target_.filename().string();
    name += ".XXXXXX";
    std::string pattern = (folder / name).string();
    fd_ = ::mkostemp(pattern.data(), O_CLOEXEC);
    if (fd_ < 0) {
        fail("cannot create a file in " + folder.string());
        return;
    }
    temporary_ = pattern;
    // mkstemp gives 0600; the finished file gets the usual permissions.
    const mode_t mask = ::umask(0);
    ::umask(mask);
    (void)::fchmod(fd_, 0666 & ~mask);
}

FileReplacement::~FileReplacement() {
    if (fd_ >= 0) ::close(fd_);
    if (!temporary_.empty()) ::unlink(temporary_.c_str());
}

bool appendToFile(const std::filesystem::path& path, std::string_view bytes, std::string& why) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0666);
    if (fd < 0) {
        why = "cannot open " + path.string() + ": " + std::strerror(errno);
        return false;
    }
    const ssize_t n = ::write(fd, bytes.data(), bytes.size());
    const int error = errno;
    const bool synced = ::fsync(fd) == 0;
    const bool closed = ::close(fd) == 0;
    if (n != static_cast<ssize_t>(bytes.size()) || !synced || !closed) {
        why = "cannot append to " + path.string() + ": " +
              (n < 0 ? std::strerror(error) : "the disk took only part of it");
        return false;
    }
    return true;
}

bool FileReplacement::commit(std::string_view content) {
    if (fd_ < 0) return false;
    while (!content.empty()) {
        const ssize_t n = ::write(fd_, content.data(), content.size());
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return fail("cannot write " + temporary_);
        content.remove_prefix(static_cast<std::size_t>(n));
    }
    if (::fsync(fd_) != 0) return fail("cannot write " + temporary_);
    const int fd = fd_;
    fd_ = -1;
    if (::close(fd) != 0) return fail("cannot write " + temporary_);
    // Only a regular file (or a link) is replaced, never a device or a folder.
    struct stat st {};
    if (::lstat(target_.c_str(), &st) == 0 && !S_ISREG(st.st_mode) && !S_ISLNK(st.st_mode)) {
        errno = EINVAL;
        return fail(target_.string() + " is not a regular file");
    }
    if (::rename(temporary_.c_str(), target_.c_str()) != 0) {
        return fail("cannot replace " + target_.string());
    }
    temporary_.clear();
    return true;
}

bool FileReplacement::fail(const std::string& what) {
    error_ = what + ": " + std::strerror(errno);
    return false;
}

}  // namespace ferrolux::platform
