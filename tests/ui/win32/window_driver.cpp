// Drives ferrolux.exe from outside as a user would: picks the chip and the
// simulated board, clicks Write and Verify, opens the three dialogs, answers
// the message boxes, and saves a picture of each window (BMP) on the way.
// Usage: window_driver PICTURE_DIR, with ferrolux.exe started beside it on
// the hex file to write, in a program directory whose chip list has PIC16F628A.
// Exit status 0 when every step ended as expected.
#include <windows.h>

#include <chrono>
#include <cstdio>
#include <functional>
#include <string>
#include <thread>
#include <vector>

namespace {

// The main window's title: the old one while it starts, then "Ferrolux 2.6 - BOARD".
constexpr const char* kMainTitle = "KORVANIS PIC PROGRAMMER  T3306/T3307  Rev: 2.6.0";
constexpr const char* kTitleStart = "Ferrolux 2.6";
// Control and menu ids of the main window.
constexpr int kWrite = 1027, kVerify = 1028, kViewSet = 1118, kChipList = 1123, kStatus = 1018;
constexpr int kFileField = 1017;
constexpr int kCloseFile = 1093, kRecentFile0 = 1210;
constexpr int kPortSimulator = 1169, kPort0378 = 1041, kStatusBar = 1193;
// Configuration dialog: the PIC18 byte list, the label of bit 0, the hex field.
constexpr int kConfigByteList = 1191, kBitLabel0 = 1135, kHexValue = 1134;
// Data memory window: the byte grid and Write Data.
constexpr int kDataText = 1113, kWriteData = 1115;

int failures = 0;

void fail(const std::string& what) {
    std::printf("FAIL %s\n", what.c_str());
    ++failures;
}

std::string textOf(HWND hwnd) {
    char buffer[1024] = {};
    ::SendMessageTimeoutA(hwnd, WM_GETTEXT, sizeof buffer, reinterpret_cast<LPARAM>(buffer),
                          SMTO_ABORTIFHUNG, 2000, nullptr);
    return buffer;
}

struct Program {
    PROCESS_INFORMATION process{};
    HWND main = nullptr;
    std::vector<std::string> boxes;  // "title: text" of every box answered
};

// The visible dialog-class windows of the program.
std::vector<HWND> dialogsOf(DWORD pid) {
    struct Search {
        DWORD pid;
        std::vector<HWND> found;
    } search{pid, {}};
    ::EnumWindows(
        [](HWND hwnd, LPARAM param) -> BOOL {
            auto* s = reinterpret_cast<Search*>(param);
            DWORD owner = 0;
            ::GetWindowThreadProcessId(hwnd, &owner);
            char cls[32] = {};
            ::GetClassNameA(hwnd, cls, sizeof cls);
            if (owner == s->pid && ::IsWindowVisible(hwnd) && std::string(cls) == "#32770")
                s->found.push_back(hwnd);
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&search));
    return search.found;
}

HWND windowTitled(DWORD pid, const std::string& title) {
    for (HWND h : dialogsOf(pid))
        if (textOf(h) == title) return h;
    return nullptr;
}

// Answers OK to every message box up now (a box's text is its static 65535).
void answerBoxes(Program& p) {
    for (HWND h : dialogsOf(p.process.dwProcessId)) {
        HWND text = ::GetDlgItem(h, 0xFFFF);
        if (text == nullptr || h == p.main) continue;
        const std::string title = textOf(h);
        if (title == kMainTitle || title == "Config-Word / ID's" || title == "Data Memory" ||
            title == "Parallelport Interface")
            continue;
        p.boxes.push_back(title + ": " + textOf(text));
        std::printf("box  %s\n", p.boxes.back().c_str());
        ::PostMessageA(h, WM_COMMAND, IDOK, 0);
    }
}

// Polls `done` for up to `seconds`, answering boxes meanwhile.
bool waitFor(Program& p, const std::function<bool()>& done, int seconds = 60) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    while (std::chrono::steady_clock::now() < end) {
        if (done()) return true;
        if (::WaitForSingleObject(p.process.hProcess, 0) == WAIT_OBJECT_0) return false;
        answerBoxes(p);
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    return false;
}

// A command has ended once its result stands in the greyed status field;
// the field is cleared first so that an earlier result does not count.
// `status` is how the result starts ("OK" before the checksum).
bool runAndExpect(Program& p, const std::function<void()>& click, const std::string& status,
                  const std::string& step) {
    HWND field = ::GetDlgItem(p.main, kStatus);
    ::SendMessageA(field, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(""));
    const std::size_t boxesBefore = p.boxes.size();
    click();
    const bool ended = waitFor(p, [&] {
        // A command starts with blanks in the field, which may still be greyed.
        // Greyed: marked idle; the read-only field itself stays enabled, readable.
        return textOf(field).find_first_not_of(' ') != std::string::npos &&
               ::GetPropA(field, "FerroluxIdle") != nullptr;
    });
    const std::string shown = textOf(field);
    if (!ended || shown.rfind(status, 0) != 0) {
        fail(step + ": status \"" + shown + "\", expected \"" + status + "\"");
        return false;
    }
    for (std::size_t i = boxesBefore; i < p.boxes.size(); ++i)
        if (p.boxes[i].rfind("Error", 0) == 0 || p.boxes[i].rfind("ERROR", 0) == 0) {
            fail(step + ": " + p.boxes[i]);
            return false;
        }
    std::printf("ok   %s: %s\n", step.c_str(), shown.c_str());
    return true;
}

// Saves what the screen shows of `hwnd` as a 24-bit BMP.
void picture(HWND hwnd, const std::string& file) {
    ::SetForegroundWindow(hwnd);
    ::RedrawWindow(hwnd, nullptr, nullptr,
                   RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN | RDW_FRAME);
    std::this_thread::sleep_for(std::chrono::milliseconds(700));
    RECT r{};
    ::GetWindowRect(hwnd, &r);
    const int w = r.right - r.left, h = r.bottom - r.top;
    HDC screen = ::GetDC(nullptr);
    HDC memory = ::CreateCompatibleDC(screen);
    HBITMAP bitmap = ::CreateCompatibleBitmap(screen, w, h);
    HGDIOBJ old = ::SelectObject(memory, bitmap);
    ::BitBlt(memory, 0, 0, w, h, screen, r.left, r.top, SRCCOPY);
    ::SelectObject(memory, old);
    BITMAPINFOHEADER info{};
    info.biSize = sizeof info;
    info.biWidth = w;
    info.biHeight = h;
    info.biPlanes = 1;
    info.biBitCount = 24;
    info.biCompression = BI_RGB;
    const int stride = (w * 3 + 3) & ~3;
    std::vector<char> pixels(static_cast<std::size_t>(stride) * h);
    ::GetDIBits(memory, bitmap, 0, h, pixels.data(), reinterpret_cast<BITMAPINFO*>(&info),
                DIB_RGB_COLORS);
    BITMAPFILEHEADER head{};
    head.bfType = 0x4D42;
    head.bfOffBits = sizeof head + sizeof info;
    head.bfSize = head.bfOffBits + static_cast<DWORD>(pixels.size());
    if (FILE* f = std::fopen(file.c_str(), "wb")) {
        std::fwrite(&head, sizeof head, 1, f);
        std::fwrite(&info, sizeof info, 1, f);
        std::fwrite(pixels.data(), 1, pixels.size(), f);
        std::fclose(f);
        std::printf("ok   picture %s (%dx%d)\n", file.c_str(), w, h);
    } else {
        fail("cannot write " + file);
    }
    ::DeleteObject(bitmap);
    ::DeleteDC(memory);
    ::ReleaseDC(nullptr, screen);
}

// Opens a dialog through `open`, runs `inside` on it, pictures it and closes
// it with its button 1.
void dialog(Program& p, const std::function<void()>& open, const std::string& title,
            const std::string& file, const std::function<void(HWND)>& inside = {}) {
    HWND d = nullptr;
    open();
    if (!waitFor(
            p, [&] { return (d = windowTitled(p.process.dwProcessId, title)) != nullptr; }, 30)) {
        fail("the window \"" + title + "\" did not open");
        return;
    }
    if (inside) inside(d);
    picture(d, file);
    ::PostMessageA(d, WM_COMMAND, IDOK, 0);
    if (!waitFor(
            p, [&] { return !::IsWindow(d); }, 30))
        fail("\"" + title + "\" did not close");
}

// Ctrl and a letter typed on the keyboard, into the window in front.
void typeControlKey(HWND window, char letter) {
    ::SetForegroundWindow(window);
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    INPUT keys[4] = {};
    const WORD codes[4] = {VK_CONTROL, static_cast<WORD>(letter), static_cast<WORD>(letter),
                           VK_CONTROL};
    for (int i = 0; i < 4; ++i) {
        keys[i].type = INPUT_KEYBOARD;
        keys[i].ki.wVk = codes[i];
        keys[i].ki.dwFlags = i >= 2 ? KEYEVENTF_KEYUP : 0;
    }
    ::SendInput(4, keys, sizeof(INPUT));
}

void command(Program& p, int id) {
    ::PostMessageA(p.main, WM_COMMAND, MAKEWPARAM(id, 0), 0);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: window_driver PICTURE_DIR\n");
        return 2;
    }
    const std::string pictures = argv[1];
    Program p;
    // The program is started apart (a window it makes must be on the desktop
    // of its own start); its window is found by the title.
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (p.main == nullptr && std::chrono::steady_clock::now() < end) {
        p.main = ::FindWindowA("#32770", kMainTitle);
        for (HWND h = ::FindWindowExA(nullptr, nullptr, "#32770", nullptr);
             p.main == nullptr && h != nullptr; h = ::FindWindowExA(nullptr, h, "#32770", nullptr))
            if (textOf(h).rfind(kTitleStart, 0) == 0) p.main = h;
        if (p.main == nullptr) std::this_thread::sleep_for(std::chrono::milliseconds(200));
    }
    if (p.main == nullptr) {
        fail("the main window did not open");
        return 1;
    }
    ::GetWindowThreadProcessId(p.main, &p.process.dwProcessId);
    p.process.hProcess =
        ::OpenProcess(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION | PROCESS_TERMINATE, FALSE,
                      p.process.dwProcessId);
    std::printf("ok   main window open\n");
    // The start-up has ended once the file named at start stands in the file
    // field, no box has been up for a second and the window answers. The field
    // is looked up each time: the window is found by its title while its
    // controls may not be made yet.
    auto fileText = [&] { return textOf(::GetDlgItem(p.main, kFileField)); };
    auto quietSince = std::chrono::steady_clock::now();
    const bool started = waitFor(p, [&] {
        if (fileText().empty() || dialogsOf(p.process.dwProcessId).size() > 1) {
            quietSince = std::chrono::steady_clock::now();
            return false;
        }
        DWORD_PTR answer = 0;
        return std::chrono::steady_clock::now() - quietSince > std::chrono::seconds(1) &&
               ::SendMessageTimeoutA(p.main, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, 5000, &answer) != 0;
    });
    if (!started) {
        DWORD_PTR answer = 0;
        const bool answers =
            ::SendMessageTimeoutA(p.main, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, 5000, &answer) != 0;
        fail("the start-up did not end with the file selected (file \"" + fileText() + "\", " +
             std::to_string(dialogsOf(p.process.dwProcessId).size()) + " windows, " +
             (answers ? "answering)" : "not answering)"));
    }

    // The chip, picked in the list as the mouse does it.
    HWND chips = ::GetDlgItem(p.main, kChipList);
    const auto pickChip = [&](const char* name) {
        const LRESULT index = ::SendMessageA(chips, CB_FINDSTRINGEXACT, static_cast<WPARAM>(-1),
                                             reinterpret_cast<LPARAM>(name));
        if (index == CB_ERR) fail(std::string(name) + " is not in the chip list");
        ::SendMessageA(chips, CB_SETCURSEL, static_cast<WPARAM>(index), 0);
        ::PostMessageA(p.main, WM_COMMAND, MAKEWPARAM(kChipList, CBN_SELCHANGE),
                       reinterpret_cast<LPARAM>(chips));
    };
    pickChip("PIC16F628A");

    const auto click = [&](int id) {
        return [&p, id] { ::PostMessageA(::GetDlgItem(p.main, id), BM_CLICK, 0, 0); };
    };
    runAndExpect(
        p, [&] { command(p, kPortSimulator); }, "T3306 detected", "Port / Simulator");
    runAndExpect(p, click(kWrite), "OK", "Write");
    runAndExpect(p, click(kVerify), "OK", "Verify");
    picture(p.main, pictures + "\\main-window.bmp");
    // The greyed File and Status fields stay readable: enabled, read-only.
    for (int id : {kFileField, kStatus}) {
        if (!::IsWindowEnabled(::GetDlgItem(p.main, id)))
            fail("field " + std::to_string(id) + " is disabled, its text grey");
    }
    if (textOf(p.main).rfind(kTitleStart, 0) != 0) fail("title \"" + textOf(p.main) + "\"");
    if (textOf(::GetDlgItem(p.main, kStatusBar)).rfind("PIC16F628A   Port SIM1", 0) != 0)
        fail("status bar \"" + textOf(::GetDlgItem(p.main, kStatusBar)) + "\"");
    else
        std::printf("ok   title and status bar: %s\n",
                    textOf(::GetDlgItem(p.main, kStatusBar)).c_str());

    // The file named at start is the first of Recent Files (in the user's
    // ferrolux.ini), and that item opens it again after Close File.
    const std::string opened = fileText();
    char appData[MAX_PATH] = {};
    ::GetEnvironmentVariableA("APPDATA", appData, MAX_PATH);
    const std::string ini = std::string(appData) + "\\ferrolux\\ferrolux.ini";
    char first[MAX_PATH * 4] = {};
    ::GetPrivateProfileStringA("RecentFiles", "File1", "", first, sizeof first, ini.c_str());
    const std::string firstFile = first;
    if (firstFile.size() < opened.size() ||
        firstFile.compare(firstFile.size() - opened.size(), opened.size(), opened) != 0)
        fail("Recent Files: File1 \"" + firstFile + "\" for \"" + opened + "\"");
    command(p, kCloseFile);
    waitFor(
        p, [&] { return fileText() == " "; }, 10);
    command(p, kRecentFile0);
    if (!waitFor(
            p, [&] { return fileText() == opened; }, 20))
        fail("Recent Files: the first item did not open \"" + opened + "\"");
    else
        std::printf("ok   Recent Files: %s\n", firstFile.c_str());

    dialog(p, click(kViewSet), "Config-Word / ID's", pictures + "\\config-dialog.bmp");
    // The data memory window by its key, Ctrl+D. Bytes 0 and 1 edited in the
    // grid (F2, digits, Enter moves on, Esc leaves byte 2) and written to the
    // chip; run_window_test.sh reads them back.
    dialog(
        p, [&] { typeControlKey(p.main, 'D'); }, "Data Memory", pictures + "\\data-memory.bmp",
        [&](HWND d) {
            HWND grid = ::GetDlgItem(d, kDataText);
            HWND editor = nullptr;
            const auto edit = [&](const char* keys, WPARAM end) {
                if (!waitFor(
                        p,
                        [&] {
                            return (editor = ::FindWindowExA(grid, nullptr, "Edit", nullptr)) !=
                                       nullptr &&
                                   ::IsWindowVisible(editor);
                        },
                        10)) {
                    fail("no byte editor in the data grid");
                    return;
                }
                for (const char* k = keys; *k != 0; ++k)
                    ::PostMessageA(editor, WM_CHAR, static_cast<WPARAM>(*k), 0);
                // Posted as typed keys are, through the dialog's own loop;
                // the editor is done once it is hidden.
                ::PostMessageA(editor, WM_KEYDOWN, end, 0);
                if (!waitFor(
                        p, [&] { return !::IsWindowVisible(editor); }, 10))
                    fail("the byte editor stayed open after its key");
            };
            ::PostMessageA(grid, WM_KEYDOWN, VK_F2, 0);
            edit("41", VK_RETURN);
            edit("42", VK_RETURN);
            edit("43", VK_ESCAPE);
            ::PostMessageA(::GetDlgItem(d, kWriteData), BM_CLICK, 0, 0);
            DWORD_PTR answer = 0;
            ::SendMessageTimeoutA(d, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, 20000, &answer);
        });
    dialog(
        p, [&] { command(p, kPort0378); }, "Parallelport Interface",
        pictures + "\\parallel-port.bmp");
    // No adapter answers on the parallel port: an error box, answered; then back to SIM1.
    waitFor(
        p, [] { return false; }, 3);
    runAndExpect(
        p, [&] { command(p, kPortSimulator); }, "T3306 detected", "Port / Simulator again");

    // A PIC18 chip: the configuration byte picked in the dialog's byte list
    // brings its own labels and value.
    pickChip("PIC18F242");
    dialog(p, click(kViewSet), "Config-Word / ID's", pictures + "\\config-dialog-pic18.bmp",
           [&](HWND d) {
               HWND bytes = ::GetDlgItem(d, kConfigByteList);
               const LRESULT count = ::SendMessageA(bytes, CB_GETCOUNT, 0, 0);
               if (count != 11) fail("PIC18F242 byte list: " + std::to_string(count) + " entries");
               ::SendMessageA(bytes, CB_SETCURSEL, 1, 0);
               ::PostMessageA(d, WM_COMMAND, MAKEWPARAM(kConfigByteList, CBN_SELCHANGE),
                              reinterpret_cast<LPARAM>(bytes));
               HWND bit0 = ::GetDlgItem(d, kBitLabel0);
               if (!waitFor(
                       p, [&] { return textOf(bit0) == "/PWRT"; }, 10))
                   fail("CONFIG2L picked: bit 0 reads \"" + textOf(bit0) + "\"");
               else
                   std::printf("ok   PIC18 byte list: CONFIG2L, hex %s\n",
                               textOf(::GetDlgItem(d, kHexValue)).c_str());
           });

    ::PostMessageA(p.main, WM_CLOSE, 0, 0);
    if (::WaitForSingleObject(p.process.hProcess, 30000) != WAIT_OBJECT_0) {
        fail("the program did not end after its window was closed");
        ::TerminateProcess(p.process.hProcess, 1);
    } else {
        DWORD code = 1;
        ::GetExitCodeProcess(p.process.hProcess, &code);
        if (code != 0) fail("the program ended with " + std::to_string(code));
    }
    std::printf("%d failed\n", failures);
    return failures == 0 ? 0 : 1;
}
