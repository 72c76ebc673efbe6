// ferrolux.exe: the desktop program on Windows, as native Win32 dialogs. Its
// program directory is the current one when that holds kestrum.ini, else the
// user's own %APPDATA%\Ferrolux (made from the list shipped beside the program).
#include <windows.h>

#include <commctrl.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <utility>
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

// The Recent Files list, kept as the Qt program keeps its own: in an ini file
// of the user's, %APPDATA%\ferrolux\ferrolux.ini, section [RecentFiles],
// File1 (the latest) to File8.
class RecentFiles {
  public:
    RecentFiles() {
        const fs::path home = platform::userDataHome();
        if (!home.empty()) ini_ = (home / "ferrolux" / "ferrolux.ini").wstring();
    }
    std::vector<std::string> list() const {
        std::vector<std::string> files;
        for (int i = 1; i <= ctl::kRecentFileItems && !ini_.empty(); ++i) {
            wchar_t file[MAX_PATH * 4] = {};
            ::GetPrivateProfileStringW(L"RecentFiles", key(i).c_str(), L"", file, MAX_PATH * 4,
                                       ini_.c_str());
            if (file[0] != L'\0') files.push_back(platform::narrow(file));
        }
        return files;
    }
    void remember(const std::string& file) {
        if (ini_.empty()) return;
        std::vector<std::string> files = list();
        files.erase(std::remove(files.begin(), files.end(), file), files.end());
        files.insert(files.begin(), file);
        std::error_code ec;
        fs::create_directories(fs::path(ini_).parent_path(), ec);
        for (int i = 1; i <= ctl::kRecentFileItems; ++i) {
            const bool given = i <= static_cast<int>(files.size());
            const std::wstring value = given ? platform::widen(files[i - 1]) : std::wstring();
            ::WritePrivateProfileStringW(L"RecentFiles", key(i).c_str(),
                                         given ? value.c_str() : nullptr, ini_.c_str());
        }
    }

  private:
    static std::wstring key(int i) { return L"File" + std::to_wstring(i); }
    std::wstring ini_;
};

// The window's own settings in the registry, HKCU\Software\Ferrolux: a key
// "serial/next" is the value "next" of the subkey "serial".
class RegistryStore final : public ui::SettingsStore {
  public:
    std::string value(const std::string& key) override {
        HKEY k = nullptr;
        const auto [sub, name] = split(key);
        if (::RegOpenKeyExW(HKEY_CURRENT_USER, sub.c_str(), 0, KEY_QUERY_VALUE, &k) !=
            ERROR_SUCCESS) {
            return {};
        }
        wchar_t text[256] = {};
        DWORD type = 0, size = sizeof text - sizeof(wchar_t);
        const LONG r = ::RegQueryValueExW(k, name.c_str(), nullptr, &type,
                                          reinterpret_cast<BYTE*>(text), &size);
        ::RegCloseKey(k);
        if (r != ERROR_SUCCESS || type != REG_SZ) return {};
        return platform::narrow(text);
    }
    void setValue(const std::string& key, const std::string& value) override {
        HKEY k = nullptr;
        const auto [sub, name] = split(key);
        if (::RegCreateKeyExW(HKEY_CURRENT_USER, sub.c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr,
                              &k, nullptr) != ERROR_SUCCESS) {
            return;
        }
        const std::wstring text = platform::widen(value);
        ::RegSetValueExW(k, name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                         static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
        ::RegCloseKey(k);
    }

  private:
    static std::pair<std::wstring, std::wstring> split(const std::string& key) {
        const std::size_t slash = key.rfind('/');
        std::wstring sub = L"Software\\Ferrolux";
        if (slash != std::string::npos) {
            sub += L"\\";
            sub += platform::widen(key.substr(0, slash));
        }
        return {sub, platform::widen(slash == std::string::npos ? key : key.substr(slash + 1))};
    }
};

// Fills File / Recent Files with `files`, "&1 PATH" on; "(none)" greyed when empty.
void fillRecentMenu(HWND window, const std::vector<std::string>& files) {
    HMENU bar = window != nullptr ? ::GetMenu(window) : nullptr;
    HMENU recent = bar != nullptr ? ::GetSubMenu(::GetSubMenu(bar, 0), 1) : nullptr;
    if (recent == nullptr) return;
    while (::GetMenuItemCount(recent) > 0)
        ::DeleteMenu(recent, 0, MF_BYPOSITION);
    for (std::size_t i = 0; i < files.size(); ++i) {
        std::string text = "&";
        text += std::to_string(i + 1);
        text += ' ';
        text += files[i];
        ::AppendMenuW(recent, MF_STRING, static_cast<UINT_PTR>(ctl::kRecentFile0 + i),
                      platform::widen(text).c_str());
    }
    if (files.empty()) ::AppendMenuW(recent, MF_STRING | MF_GRAYED, ctl::kRecentFile0, L"(none)");
}

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
    RecentFiles recent;
    RegistryStore settings;
    program.main.useSettings(&settings);
    window.setCommandSink([&](int id) {
        std::error_code ec;
        if (id >= ctl::kRecentFile0 && id < ctl::kRecentFile0 + ctl::kRecentFileItems) {
            const std::vector<std::string> files = recent.list();
            const auto i = static_cast<std::size_t>(id - ctl::kRecentFile0);
            if (i < files.size()) window.openPath(files[i]);
            return;
        }
        if (id == ctl::kHelpTopics && !manual.empty() &&
            !fs::exists(program.session.programDir / "T3306.CHM", ec) &&
            window.openDocument(platform::utf8Of(manual))) {
            return;
        }
        const Session& s = program.session;
        const std::string before = s.file.fileSelected ? s.file.hexPath : std::string();
        program.main.command(id);
        if (id == ctl::kOpenFile && s.file.fileSelected && s.file.hexPath != before) {
            recent.remember(s.file.hexPath);
            fillRecentMenu(window.handle(), recent.list());
        }
    });
    window.setOpenedSink([&] {
        ::SetWindowTextW(window.handle(), platform::widen(ui::kMainTitle).c_str());
        fillRecentMenu(window.handle(), recent.list());
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
    // The progress bar and the data grid are common controls.
    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_PROGRESS_CLASS | ICC_LISTVIEW_CLASSES};
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
