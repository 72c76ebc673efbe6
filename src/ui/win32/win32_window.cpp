#include "ui/win32/win32_window.h"

#include <commctrl.h>
#include <commdlg.h>
#include <shellapi.h>

#include <algorithm>
#include <vector>

#include "platform/tick_source.h"
#include "platform/win32/utf8_win32.h"
#include "ui/control_ids.h"
#include "ui/main_window.h"
#include "ui/win32/data_grid.h"

namespace ferrolux::win32 {

namespace {

using platform::narrow;
using platform::widen;

constexpr int kProgressBar = 2000;  // ferrolux.rc
// Marks a read-only field the program has greyed (see enable).
constexpr const wchar_t* kIdleProperty = L"FerroluxIdle";

std::string windowText(HWND hwnd) {
    if (hwnd == nullptr) return {};
    std::vector<wchar_t> buffer(static_cast<std::size_t>(::GetWindowTextLengthW(hwnd)) + 1);
    const int n = ::GetWindowTextW(hwnd, buffer.data(), static_cast<int>(buffer.size()));
    return narrow(std::wstring_view(buffer.data(), static_cast<std::size_t>(std::max(n, 0))));
}

std::string className(HWND hwnd) {
    char name[32] = {};
    ::GetClassNameA(hwnd, name, sizeof name);
    return name;
}

UINT iconFor(const std::string& title, ui::Buttons buttons) {
    if (title == "Error" || title == "Error!" || title == "ERROR!") return MB_ICONERROR;
    if (title == "Warning!" || title == "WARNING!") return MB_ICONWARNING;
    return buttons == ui::Buttons::okCancel ? MB_ICONQUESTION : MB_ICONINFORMATION;
}

// Paints what is due and answers messages sent by the system, taking no
// clicks or keys: those wait in the queue until the command has ended.
void paintPending() {
    MSG msg;
    while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE | PM_QS_PAINT))
        ::DispatchMessageW(&msg);
}

bool readOnlyEdit(HWND c) {
    return className(c) == "Edit" && (::GetWindowLongW(c, GWL_STYLE) & ES_READONLY) != 0;
}

}  // namespace

int Win32Window::run(int templateId, int keysId) {
    ended_ = false;
    HHOOK filter = nullptr;
    if (keysId != 0) {
        keys_ = ::LoadAcceleratorsW(instance_, MAKEINTRESOURCEW(keysId));
        filter = ::SetWindowsHookExW(WH_MSGFILTER, keyFilter, nullptr, ::GetCurrentThreadId());
    }
    // A Unicode dialog: its controls hold any character of a path.
    const INT_PTR result = ::DialogBoxParamW(instance_, MAKEINTRESOURCEW(templateId),
                                             owner_ != nullptr ? owner_->hwnd_ : nullptr,
                                             dialogProc, reinterpret_cast<LPARAM>(this));
    if (filter != nullptr) ::UnhookWindowsHookEx(filter);
    keys_ = nullptr;  // resources need no freeing
    hwnd_ = nullptr;
    if (fixedFont_ != nullptr) ::DeleteObject(fixedFont_);
    fixedFont_ = nullptr;
    if (result == -1) return -1;
    return ended_ ? endResult_ : static_cast<int>(result);
}

INT_PTR CALLBACK Win32Window::dialogProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_INITDIALOG) {
        ::SetWindowLongPtrW(hwnd, DWLP_USER, lParam);
        auto* self = reinterpret_cast<Win32Window*>(lParam);
        self->hwnd_ = hwnd;
        // FALSE: the focus is already where opened() put it.
        return self->opened() ? FALSE : TRUE;
    }
    auto* self = reinterpret_cast<Win32Window*>(::GetWindowLongPtrW(hwnd, DWLP_USER));
    return self != nullptr ? self->handle(message, wParam, lParam) : FALSE;
}

LRESULT CALLBACK Win32Window::keyFilter(int code, WPARAM wParam, LPARAM lParam) {
    if (code == MSGF_DIALOGBOX) {
        auto* msg = reinterpret_cast<MSG*>(lParam);
        HWND top = msg != nullptr ? ::GetAncestor(msg->hwnd, GA_ROOT) : nullptr;
        // Only a window of this class has its object behind DWLP_USER.
        if (top != nullptr &&
            ::GetWindowLongPtrW(top, DWLP_DLGPROC) == reinterpret_cast<LONG_PTR>(dialogProc)) {
            auto* self = reinterpret_cast<Win32Window*>(::GetWindowLongPtrW(top, DWLP_USER));
            if (self != nullptr && self->keys_ != nullptr &&
                ::TranslateAcceleratorW(top, self->keys_, msg)) {
                return TRUE;
            }
        }
    }
    return ::CallNextHookEx(nullptr, code, wParam, lParam);
}

bool Win32Window::opened() {
    // The program's icon in the title bar and the task bar; .hex files may be dropped on it.
    if (owner_ == nullptr) {
        ::DragAcceptFiles(hwnd_, TRUE);
        if (HICON icon = ::LoadIconW(instance_, MAKEINTRESOURCEW(1))) {
            ::SendMessageW(hwnd_, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(icon));
            ::SendMessageW(hwnd_, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(icon));
        }
    }
    // The data memory bytes line up in a fixed-width font.
    if (HWND data = control(ctl::kDataText)) {
        fixedFont_ = ::CreateFontW(-12, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, ANSI_CHARSET,
                                   OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                                   FIXED_PITCH | FF_MODERN, L"Courier New");
        setUpDataGrid(data, fixedFont_);
    }
    runCommand([&] {
        if (openedSink_) openedSink_();
    });
    // The data memory from its first byte.
    if (HWND data = control(ctl::kDataText)) {
        ::SetFocus(data);
        LVITEMW first{};
        first.stateMask = LVIS_FOCUSED | LVIS_SELECTED;
        first.state = LVIS_FOCUSED | LVIS_SELECTED;
        ::SendMessageW(data, LVM_SETITEMSTATE, 0, reinterpret_cast<LPARAM>(&first));
        return true;
    }
    return false;
}

INT_PTR Win32Window::handle(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_COMMAND:
            commandMessage(LOWORD(wParam), HIWORD(wParam), reinterpret_cast<HWND>(lParam));
            return TRUE;
        case WM_CLOSE:
            commandMessage(ctl::kCancel, BN_CLICKED, nullptr);
            return TRUE;
        case WM_NOTIFY: {
            const auto* header = reinterpret_cast<const NMHDR*>(lParam);
            HWND grid = control(ctl::kDataText);
            if (header == nullptr || header->hwndFrom != grid || !isDataGrid(grid)) return FALSE;
            return dataGridNotified(grid, *header) ? TRUE : FALSE;
        }
        case WM_DROPFILES:
            dropped(reinterpret_cast<HDROP>(wParam));
            return TRUE;
        case WM_CTLCOLORSTATIC: {
            // Read-only fields: black on white while in use, dark grey on the
            // dialog's face when idle; readable either way.
            auto* dc = reinterpret_cast<HDC>(wParam);
            HWND c = reinterpret_cast<HWND>(lParam);
            if (!readOnlyEdit(c)) return FALSE;
            const bool idle = ::GetPropW(c, kIdleProperty) != nullptr;
            ::SetTextColor(dc, idle ? RGB(0x40, 0x40, 0x40) : RGB(0, 0, 0));
            ::SetBkColor(dc, ::GetSysColor(idle ? COLOR_BTNFACE : COLOR_WINDOW));
            return reinterpret_cast<INT_PTR>(
                ::GetSysColorBrush(idle ? COLOR_BTNFACE : COLOR_WINDOW));
        }
        default:
            return FALSE;
    }
}

void Win32Window::commandMessage(int id, int code, HWND from) {
    if (from == nullptr) {
        // A menu item, or Enter and Esc: the dialog's default and Cancel commands.
        if (id == ctl::kCancel && gate_.holdClose()) return;
        // Enter without a default button of id 1 is no command.
        if (id == ctl::kDefaultButton && control(id) == nullptr) return;
        dispatch(id);
        return;
    }
    const std::string kind = className(from);
    if (kind == "Button" && code == BN_CLICKED) {
        dispatch(id);
    } else if (kind == "ComboBox" && code == CBN_SELCHANGE) {
        dispatch(id);
    } else if (kind == "Edit" && code == EN_CHANGE && !quiet_) {
        runCommand([&] {
            if (editSink_) editSink_(id);
        });
    }
}

void Win32Window::runCommand(const std::function<void()>& work) {
    gate_.run(work, [this] {
        if (!ended_) dispatch(ctl::kCancel);
    });
}

void Win32Window::dispatch(int id) {
    runCommand([&] {
        if (commandSink_) commandSink_(id);
    });
}

void Win32Window::openPath(const std::string& path) {
    picked_ = path;
    dispatch(ctl::kOpenFile);
    picked_.clear();
}

// One dropped .hex file is opened as if picked; anything else is ignored.
void Win32Window::dropped(HDROP files) {
    wchar_t name[MAX_PATH * 4] = {};
    const bool one = ::DragQueryFileW(files, 0xFFFFFFFF, nullptr, 0) == 1 &&
                     ::DragQueryFileW(files, 0, name, MAX_PATH * 4) > 0;
    ::DragFinish(files);
    const std::string path = narrow(name);
    const bool hex = path.size() > 4 && _stricmp(path.c_str() + path.size() - 4, ".hex") == 0;
    if (one && hex && !gate_.busy()) openPath(path);
}

bool Win32Window::inMenu(int id) const {
    HMENU menu = hwnd_ != nullptr ? ::GetMenu(hwnd_) : nullptr;
    return menu != nullptr &&
           ::GetMenuState(menu, static_cast<UINT>(id), MF_BYCOMMAND) != static_cast<UINT>(-1);
}

// --- Texts ---

void Win32Window::setText(int id, const std::string& text) {
    if (id == ctl::kWindowTitle) {
        if (hwnd_ != nullptr) ::SetWindowTextW(hwnd_, widen(text).c_str());
        return;
    }
    quiet_ = true;
    if (inMenu(id)) {
        ::ModifyMenuW(::GetMenu(hwnd_), static_cast<UINT>(id), MF_BYCOMMAND | MF_STRING,
                      static_cast<UINT_PTR>(id), widen(text).c_str());
    } else if (HWND c = control(id); isDataGrid(c)) {
        setDataGridText(c, text);
    } else if (c != nullptr) {
        ::SetWindowTextW(c, widen(text).c_str());
        if (className(c) == "Edit") ::SendMessageW(c, EM_SETMODIFY, FALSE, 0);
    }
    quiet_ = false;
}

void Win32Window::progress(const Progress& p) {
    HWND bar = control(kProgressBar);
    if (bar == nullptr || p.total <= 0) return;
    const int percent = (p.done + 1) * 100 / p.total;
    ::SendMessageW(bar, PBM_SETPOS, static_cast<WPARAM>(std::min(percent, 100)), 0);
    ::ShowWindow(bar, SW_SHOW);
}

std::string Win32Window::text(int id) {
    if (id == ctl::kWindowTitle) return windowText(hwnd_);
    if (inMenu(id)) {
        wchar_t buffer[256] = {};
        ::GetMenuStringW(::GetMenu(hwnd_), static_cast<UINT>(id), buffer, 256, MF_BYCOMMAND);
        std::string caption = narrow(buffer);
        caption.erase(std::remove(caption.begin(), caption.end(), '&'), caption.end());
        return caption;
    }
    HWND c = control(id);
    if (c == nullptr) return {};
    if (className(c) == "ComboBox") return listItem(id, listSelection(id));
    if (isDataGrid(c)) return dataGridText(c);
    std::string caption = windowText(c);
    if (className(c) == "Button")
        caption.erase(std::remove(caption.begin(), caption.end(), '&'), caption.end());
    return caption;
}

// Items the program adds: the serial devices after COM8, the recent files
// in their own submenu (see Win32Window::setRecentFiles).
void Win32Window::showMenuItem(int id, const std::string& text, bool shown) {
    HMENU menu = hwnd_ != nullptr ? ::GetMenu(hwnd_) : nullptr;
    if (menu == nullptr) return;
    if (inMenu(id)) ::DeleteMenu(menu, static_cast<UINT>(id), MF_BYCOMMAND);
    if (!shown) return;
    // The Port menu holds COM8; the new item goes after it and the items before.
    const int count = ::GetMenuItemCount(menu);
    for (int m = 0; m < count; ++m) {
        HMENU sub = ::GetSubMenu(menu, m);
        if (sub == nullptr) continue;
        const int items = ::GetMenuItemCount(sub);
        for (int i = 0; i < items; ++i) {
            if (::GetMenuItemID(sub, i) != static_cast<UINT>(ctl::kPortCom8)) continue;
            int at = i + 1;
            while (at < items && ::GetMenuItemID(sub, at) >= static_cast<UINT>(ctl::kPortDevice0) &&
                   ::GetMenuItemID(sub, at) < static_cast<UINT>(id))
                ++at;
            ::InsertMenuW(sub, static_cast<UINT>(at), MF_BYPOSITION | MF_STRING,
                          static_cast<UINT_PTR>(id), widen(text).c_str());
            return;
        }
    }
}

// --- States ---

void Win32Window::enable(int id, bool enabled) {
    if (inMenu(id)) {
        ::EnableMenuItem(::GetMenu(hwnd_), static_cast<UINT>(id),
                         MF_BYCOMMAND | (enabled ? MF_ENABLED : MF_GRAYED));
        return;
    }
    if (HWND c = control(id)) {
        if (readOnlyEdit(c)) {
            // A disabled edit greys its text past reading: a read-only one
            // stays enabled and is drawn as idle instead (WM_CTLCOLORSTATIC).
            if (enabled) {
                ::RemovePropW(c, kIdleProperty);
            } else {
                ::SetPropW(c, kIdleProperty, reinterpret_cast<HANDLE>(1));
            }
            ::InvalidateRect(c, nullptr, TRUE);
        } else {
            ::EnableWindow(c, enabled ? TRUE : FALSE);
        }
    }
    // The pass is over once the status field is greyed.
    if (id == ctl::kStatusField && !enabled) {
        if (HWND bar = control(kProgressBar)) {
            ::ShowWindow(bar, SW_HIDE);
            ::SendMessageW(bar, PBM_SETPOS, 0, 0);
        }
    }
}

void Win32Window::check(int id, bool checked) {
    if (inMenu(id)) {
        ::CheckMenuItem(::GetMenu(hwnd_), static_cast<UINT>(id),
                        MF_BYCOMMAND | (checked ? MF_CHECKED : MF_UNCHECKED));
        return;
    }
    ::CheckDlgButton(hwnd_, id, checked ? BST_CHECKED : BST_UNCHECKED);
}

bool Win32Window::isChecked(int id) {
    if (inMenu(id))
        return (::GetMenuState(::GetMenu(hwnd_), static_cast<UINT>(id), MF_BYCOMMAND) &
                MF_CHECKED) != 0;
    return ::IsDlgButtonChecked(hwnd_, id) == BST_CHECKED;
}

// --- Lists ---

void Win32Window::setListItems(int id, const std::vector<std::string>& items) {
    HWND list = control(id);
    if (list == nullptr) return;
    quiet_ = true;
    ::SendMessageW(list, CB_RESETCONTENT, 0, 0);
    for (const std::string& item : items)
        ::SendMessageW(list, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(widen(item).c_str()));
    ::SendMessageW(list, CB_SETCURSEL, static_cast<WPARAM>(-1), 0);
    quiet_ = false;
}

void Win32Window::selectListItem(int id, int index) {
    HWND list = control(id);
    if (list == nullptr) return;
    const auto count = static_cast<int>(::SendMessageW(list, CB_GETCOUNT, 0, 0));
    ::SendMessageW(list, CB_SETCURSEL,
                   static_cast<WPARAM>(index >= 0 && index < count ? index : -1), 0);
}

int Win32Window::listSelection(int id) {
    HWND list = control(id);
    if (list == nullptr) return -1;
    const LRESULT index = ::SendMessageW(list, CB_GETCURSEL, 0, 0);
    return index == CB_ERR ? -1 : static_cast<int>(index);
}

std::string Win32Window::listItem(int id, int index) {
    HWND list = control(id);
    if (list == nullptr || index < 0) return {};
    const LRESULT length = ::SendMessageW(list, CB_GETLBTEXTLEN, static_cast<WPARAM>(index), 0);
    if (length == CB_ERR) return {};
    std::vector<wchar_t> buffer(static_cast<std::size_t>(length) + 1);
    ::SendMessageW(list, CB_GETLBTEXT, static_cast<WPARAM>(index),
                   reinterpret_cast<LPARAM>(buffer.data()));
    return narrow(buffer.data());
}

// --- Boxes, sounds, painting ---

ui::Answer Win32Window::messageBox(const std::string& text, const std::string& title,
                                   ui::Buttons buttons) {
    const UINT kind = buttons == ui::Buttons::okCancel ? MB_OKCANCEL : MB_OK;
    return box(text, title, kind | iconFor(title, buttons));
}

ui::Answer Win32Window::question(const std::string& text, const std::string& title,
                                 ui::Answer preferred) {
    const UINT button = preferred == ui::Answer::cancel ? MB_DEFBUTTON2 : MB_DEFBUTTON1;
    return box(text, title, MB_OKCANCEL | button | iconFor(title, ui::Buttons::okCancel));
}

// A message box over the window while it is shown, without the text's last line ends.
ui::Answer Win32Window::box(const std::string& text, const std::string& title, UINT style) {
    std::string body = text;
    while (!body.empty() && (body.back() == '\n' || body.back() == '\r'))
        body.pop_back();
    HWND owner = hwnd_ != nullptr && ::IsWindowVisible(hwnd_) ? hwnd_ : nullptr;
    const int answer =
        ::MessageBoxW(owner, widen(body).c_str(), widen(title).c_str(), style | MB_SETFOREGROUND);
    return answer == IDOK ? ui::Answer::ok : ui::Answer::cancel;
}

void Win32Window::beep() {
    ::MessageBeep(MB_OK);
}

void Win32Window::repaint() {
    if (hwnd_ == nullptr) return;
    ::RedrawWindow(hwnd_, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN);
    paintPending();
}

void Win32Window::idleUntil(platform::TickSource& clock, std::uint64_t deadlineNs) {
    for (;;) {
        const std::uint64_t now = clock.nowNs();
        if (now >= deadlineNs) return;
        const auto ms = std::min<std::uint64_t>((deadlineNs - now) / 1'000'000, 50);
        if (ms == 0) return;  // the caller's busy wait covers the rest
        paintPending();
        ::Sleep(static_cast<DWORD>(ms));
    }
}

// --- Dialogs ---

void Win32Window::endDialog(int result) {
    ended_ = true;
    endResult_ = result;
    if (hwnd_ != nullptr) ::EndDialog(hwnd_, result);
}

void Win32Window::show() {
    if (hwnd_ == nullptr) return;
    ::ShowWindow(hwnd_, SW_SHOW);
    ::UpdateWindow(hwnd_);
    paintPending();
}

int Win32Window::runDialog(int dialogId, ui::DialogHandler& handler) {
    Win32Window dialog(instance_, this);
    dialog.setCommandSink([&](int id) { handler.command(dialog, id); });
    dialog.setEditSink([&](int id) { handler.textChanged(dialog, id); });
    dialog.setOpenedSink([&] { handler.opened(dialog); });
    const int result = dialog.run(dialogId);
    return dialog.ended() && result != -1 ? result : ctl::kCancel;
}

// The common file dialog for `request`: a file to save (its name preselected,
// an existing one asked about) or one to open (the request's type or any
// file). The program directory stays the current one whatever folder is
// browsed. The chosen path, or "" when cancelled.
std::string Win32Window::fileDialog(const ui::FileRequest& request, bool save) {
    std::string filter = request.filterName + " (" + request.pattern + ")";
    filter += '\0';
    filter += request.pattern;
    filter += '\0';
    if (!save) {
        filter += "All files (*.*)";
        filter += '\0';
        filter += "*.*";
        filter += '\0';
    }
    const std::wstring wideFilter = widen(filter);
    const std::wstring folder = widen(request.startFolder);
    const std::wstring title = widen(request.title);
    const std::wstring extension = widen(request.pattern.substr(request.pattern.find('.') + 1));
    wchar_t file[MAX_PATH * 4] = {};
    if (save) {
        const std::wstring name = widen(request.fileName);
        name.copy(file, std::min<std::size_t>(name.size(), MAX_PATH * 4 - 1));
    }
    OPENFILENAMEW ofn{};
    ofn.lStructSize = sizeof ofn;
    ofn.hwndOwner = hwnd_;
    ofn.lpstrFilter = wideFilter.c_str();
    ofn.lpstrFile = file;
    ofn.nMaxFile = MAX_PATH * 4;
    ofn.lpstrInitialDir = folder.empty() ? nullptr : folder.c_str();
    ofn.lpstrTitle = title.c_str();
    ofn.Flags = OFN_PATHMUSTEXIST | OFN_HIDEREADONLY | OFN_NOCHANGEDIR;
    if (save) {
        ofn.lpstrDefExt = extension.c_str();
        ofn.Flags |= OFN_OVERWRITEPROMPT;
        return ::GetSaveFileNameW(&ofn) ? narrow(file) : std::string();
    }
    ofn.Flags |= OFN_FILEMUSTEXIST;
    return ::GetOpenFileNameW(&ofn) ? narrow(file) : std::string();
}

std::string Win32Window::pickSaveFile(const ui::FileRequest& request) {
    return fileDialog(request, true);
}

std::string Win32Window::pickFile(const ui::FileRequest& request) {
    if (!picked_.empty()) {
        std::string path;
        path.swap(picked_);
        return path;
    }
    return fileDialog(request, false);
}

bool Win32Window::openDocument(const std::string& path) {
    const auto result = reinterpret_cast<INT_PTR>(
        ::ShellExecuteW(hwnd_, L"open", widen(path).c_str(), nullptr, nullptr, SW_SHOWNORMAL));
    return result > 32;
}

// --- Text fields ---

ui::Caret Win32Window::caret(int id) {
    HWND c = control(id);
    // The grid checks its bytes itself.
    if (c == nullptr || isDataGrid(c)) return {};
    DWORD start = 0, end = 0;
    // Positions count CR LF as two characters, as the program counts them.
    ::SendMessageW(c, EM_GETSEL, reinterpret_cast<WPARAM>(&start), reinterpret_cast<LPARAM>(&end));
    return {static_cast<int>(start), static_cast<int>(end - start)};
}

bool Win32Window::isModified(int id) {
    HWND c = control(id);
    return c != nullptr && !isDataGrid(c) && ::SendMessageW(c, EM_GETMODIFY, 0, 0) != 0;
}

}  // namespace ferrolux::win32
