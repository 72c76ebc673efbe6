// ferrolux.exe: the desktop program on Windows, as native Win32 dialogs. Its
// program directory is the current one when that holds kestrum.ini, else the
// user's own %APPDATA%\Ferrolux (made from the list shipped beside the program).
#include <windows.h>

#include <commctrl.h>

#include <filesystem>
#include <string>
#include <vector>

#include "app/host.h"
#include "app/program_dir.h"
#include "platform/files.h"
#include "platform/system_info.h"
#include "platform/win32/utf8_win32.h"
#include "ui/control_ids.h"
#include "ui/win32/win32_window.h"

namespace {

namespace fs = std::filesystem;
using namespace ferrolux;

constexpr int kMenuKeys = 100;  // the accelerator table of ferrolux.rc

// The manual shipped beside the program; shown by Help when the program
// directory has no T3306.CHM.
fs::path findManual() {
    std::error_code ec;
    const fs::path exe = platform::executablePath();
    if (exe.empty()) return {};
    for (const fs::path& candidate :
         {exe.parent_path() / "manual.html", exe.parent_path() / "doc" / "manual.html"}) {
        if (fs::is_regular_file(candidate, ec)) return candidate;
    }
    return {};
}

int runProgram(HINSTANCE instance, const fs::path& dir, const std::string& file) {
    win32::Win32Window window(instance);
    app::Program program(dir, window);
    window.setDevice(&program.session.device);
    const fs::path manual = findManual();
    window.setCommandSink([&](int id) {
        std::error_code ec;
        if (id == ctl::kHelpTopics && !manual.empty() &&
            !fs::exists(program.session.programDir / "T3306.CHM", ec) &&
            window.openDocument(platform::utf8Of(manual))) {
            return;
        }
        program.main.command(id);
    });
    window.setOpenedSink([&] {
        ::SetWindowTextW(window.handle(), platform::widen(ui::kMainTitle).c_str());
        if (!program.main.open(file.empty()) || window.ended()) return;
        if (!file.empty()) window.openPath(file);
    });
    if (window.run(ctl::kMainWindowDialog, kMenuKeys) == -1) {
        const std::string why = "The main window cannot be made (system error " +
                                std::to_string(::GetLastError()) + ").";
        ::MessageBoxW(nullptr, platform::widen(why).c_str(), L"Error", MB_OK | MB_ICONERROR);
        return 1;
    }
    program.main.close();
    return 0;
}

}  // namespace

int main() {
    // The progress bar is a common control.
    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_PROGRESS_CLASS};
    ::InitCommonControlsEx(&controls);
    // The file is named relative to where the program was started; its name
    // comes as UTF-8 from the wide command line, whatever the ANSI code page.
    const std::vector<std::string> args = platform::utf8Arguments();
    std::string file;
    if (!args.empty()) {
        std::error_code ec;
        const fs::path given = fs::absolute(platform::pathFromUtf8(args[0]), ec);
        file = ec ? args[0] : platform::utf8Of(given);
    }
    const app::ProgramDirChoice found = app::findProgramDir();
    std::error_code ec;
    const fs::path dir = found.dir.empty() ? fs::current_path(ec) : found.dir;
    return runProgram(::GetModuleHandleA(nullptr), dir, file);
}
