#pragma once

#include <cstdint>
#include <filesystem>
#include <string>

namespace ferrolux::platform {

// An exclusive lock on a file, held while the object holds it. Locks belong to
// the open file, so two holders in one process exclude each other as two
// processes do. The file is created when missing; a link is never followed.
class ExclusiveLock {
  public:
    enum class Result { locked, taken, failed };

    ExclusiveLock() = default;
    ~ExclusiveLock() { release(); }
    ExclusiveLock(const ExclusiveLock&) = delete;
    ExclusiveLock& operator=(const ExclusiveLock&) = delete;

    bool held() const { return locked_; }
    // One try without waiting: `taken` when another holder has it. `why` gets
    // the reason of a failure, naming the file.
    Result tryLock(const std::filesystem::path& file, std::string& why);
    void release();

  private:
    std::intptr_t handle_ = -1;  // the open file (descriptor or handle); -1 when none
    bool locked_ = false;
};

}  // namespace ferrolux::platform
