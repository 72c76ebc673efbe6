#include "app/program_dir.h"

#include "platform/files.h"
#include "platform/system_info.h"

namespace ferrolux::app {

namespace fs = std::filesystem;

namespace {

constexpr const char* kDeviceList = "kestrum.ini";

bool isFile(const fs::path& p) {
    std::error_code ec;
    return fs::is_regular_file(p, ec);
}

}  // namespace

fs::path shippedDeviceList(const fs::path& executable) {
#if defined(_WIN32)
    return executable.parent_path() / kDeviceList;
#else
    return (executable.parent_path() / ".." / "share" / "ferrolux" / kDeviceList)
        .lexically_normal();
#endif
}

ProgramDirChoice findProgramDir(const fs::path& cwd, const fs::path& userHome,
                                const fs::path& executable) {
    ProgramDirChoice choice;
    choice.tried.push_back(cwd / kDeviceList);
    if (isFile(cwd / kDeviceList)) {
        choice.dir = cwd;
        return choice;
    }
    if (userHome.empty()) return choice;
    const fs::path user = userHome / kUserFolder;
    choice.tried.push_back(user / kDeviceList);
    if (isFile(user / kDeviceList)) {
        choice.dir = user;
        return choice;
    }
    if (executable.empty()) return choice;
    const fs::path shipped = shippedDeviceList(executable);
    choice.tried.push_back(shipped);
    if (!isFile(shipped)) return choice;
    std::error_code ec;
    fs::create_directories(user, ec);
    // A writable copy: the window opens the list for update.
    if (!ec && fs::copy_file(shipped, user / kDeviceList, ec) && !ec) {
        fs::permissions(user / kDeviceList, fs::perms::owner_write, fs::perm_options::add, ec);
        choice.dir = user;
    }
    return choice;
}

ProgramDirChoice findProgramDir() {
    std::error_code ec;
    return findProgramDir(fs::current_path(ec), platform::userDataHome(),
                          platform::executablePath());
}

std::string notFoundText(const ProgramDirChoice& choice) {
    std::string text = "no device list kestrum.ini found; tried:";
    for (std::size_t i = 0; i < choice.tried.size(); ++i)
        text += (i ? ", " : " ") + platform::utf8Of(choice.tried[i]);
    return text;
}

}  // namespace ferrolux::app
