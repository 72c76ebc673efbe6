#pragma once

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <string_view>

namespace ferrolux {

// A file replaced as a whole. The new content goes to a fresh temporary file
// in the target's folder, created exclusively under a unique name (so nothing
// planted there is written through and two runs never share one), and is
// renamed over the target only when all of it reached the disk. Until then
// the target keeps its old content; an unfinished temporary is removed.
class FileReplacement {
  public:
    explicit FileReplacement(std::filesystem::path target) : target_(std::move(target)) {
        const std::filesystem::path folder =
            target_.has_parent_path() ? target_.parent_path() : std::filesystem::path(".");
        std::string pattern = (folder / ("." + target_.filename().string() + ".XXXXXX")).string();
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
    ~FileReplacement() {
        if (fd_ >= 0) ::close(fd_);
        if (!temporary_.empty()) ::unlink(temporary_.c_str());
    }
    FileReplacement(const FileReplacement&) = delete;
    FileReplacement& operator=(const FileReplacement&) = delete;

    bool created() const { return fd_ >= 0; }
    // The reason of the last failure, naming the file.
    const std::string& error() const { return error_; }

    // Writes `content`, flushes it to the disk and puts the file in place.
    // False on any failure (disk full, closing, renaming); the target is then untouched.
    bool commit(std::string_view content) {
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
        if (::rename(temporary_.c_str(), target_.c_str()) != 0) {
            return fail("cannot replace " + target_.string());
        }
        temporary_.clear();
        return true;
    }

  private:
    bool fail(const std::string& what) {
        error_ = what + ": " + std::strerror(errno);
        return false;
    }

    std::filesystem::path target_;
    std::string temporary_;
    int fd_ = -1;
    std::string error_;
};

}  // namespace ferrolux
