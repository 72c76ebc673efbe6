#include "ui/win32/data_grid.h"

#include <commctrl.h>

#include <cstdio>
#include <cwctype>
#include <string_view>
#include <vector>

namespace ferrolux::win32 {

namespace {

constexpr int kPerRow = 8;
constexpr int kAsciiColumn = kPerRow + 1;
constexpr const wchar_t* kGridProperty = L"FerroluxDataGrid";
constexpr UINT_PTR kEditorId = 1;

std::wstring cellText(HWND grid, int row, int column) {
    wchar_t buffer[32] = {};
    LVITEMW item{};
    item.iSubItem = column;
    item.pszText = buffer;
    item.cchTextMax = 32;
    ::SendMessageW(grid, LVM_GETITEMTEXTW, static_cast<WPARAM>(row),
                   reinterpret_cast<LPARAM>(&item));
    return buffer;
}

void setCell(HWND grid, int row, int column, const std::wstring& text) {
    LVITEMW item{};
    item.iSubItem = column;
    item.pszText = const_cast<wchar_t*>(text.c_str());
    ::SendMessageW(grid, LVM_SETITEMTEXTW, static_cast<WPARAM>(row),
                   reinterpret_cast<LPARAM>(&item));
}

int rows(HWND grid) {
    return static_cast<int>(::SendMessageW(grid, LVM_GETITEMCOUNT, 0, 0));
}

// One or two hex digits, or -1.
int hexValue(std::wstring_view t) {
    while (!t.empty() && t.back() == L' ')
        t.remove_suffix(1);
    while (!t.empty() && t.front() == L' ')
        t.remove_prefix(1);
    if (t.empty() || t.size() > 2) return -1;
    int value = 0;
    for (wchar_t c : t) {
        if (!std::iswxdigit(c)) return -1;
        value = value * 16 + (c <= L'9' ? c - L'0' : (std::towupper(c) - L'A' + 10));
    }
    return value;
}

std::wstring twoDigits(int value) {
    wchar_t text[4];
    std::swprintf(text, 4, L"%02X", static_cast<unsigned>(value & 0xFF));
    return text;
}

void refreshAscii(HWND grid, int row) {
    std::wstring ascii;
    for (int c = 1; c <= kPerRow; ++c) {
        const int v = hexValue(cellText(grid, row, c));
        if (v < 0) break;
        ascii += v >= 0x20 && v < 0x7F ? static_cast<wchar_t>(v) : L'.';
    }
    setCell(grid, row, kAsciiColumn, ascii);
}

// --- Editing one byte in place ---

struct Editor {
    HWND grid;
    int row;
    int column;
    bool done = false;
};

void startEditing(HWND grid, int row, int column);

// Ends the edit: keeps the digits when asked and they are hex, then moves
// to the next byte or gives the focus back to the grid.
void finish(HWND edit, Editor& e, bool keep, bool next) {
    if (e.done) return;
    e.done = true;
    if (keep) {
        wchar_t typed[8] = {};
        ::GetWindowTextW(edit, typed, 8);
        if (const int v = hexValue(typed); v >= 0) {
            setCell(e.grid, e.row, e.column, twoDigits(v));
            refreshAscii(e.grid, e.row);
        }
    }
    ::ShowWindow(edit, SW_HIDE);
    // Not destroyed here: this runs inside the editor's own messages.
    ::PostMessageW(edit, WM_CLOSE, 0, 0);
    if (next) {
        startEditing(e.grid, e.column < kPerRow ? e.row : e.row + 1,
                     e.column < kPerRow ? e.column + 1 : 1);
    } else if (::GetFocus() == edit) {
        ::SetFocus(e.grid);
    }
}

LRESULT CALLBACK editorProc(HWND edit, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR id,
                            DWORD_PTR data) {
    auto* e = reinterpret_cast<Editor*>(data);
    switch (message) {
        case WM_GETDLGCODE:
            // Enter and Esc belong to the edit, not to the dialog's buttons.
            return DLGC_WANTALLKEYS | DLGC_WANTCHARS;
        case WM_KEYDOWN:
            if (wParam == VK_RETURN || wParam == VK_ESCAPE) {
                finish(edit, *e, wParam == VK_RETURN, wParam == VK_RETURN);
                return 0;
            }
            break;
        case WM_CHAR:
            if (wParam != VK_BACK && !std::iswxdigit(static_cast<wint_t>(wParam))) return 0;
            break;
        case WM_KILLFOCUS:
            finish(edit, *e, true, false);
            break;
        case WM_NCDESTROY:
            ::RemoveWindowSubclass(edit, editorProc, id);
            delete e;
            break;
        default:
            break;
    }
    return ::DefSubclassProc(edit, message, wParam, lParam);
}

void startEditing(HWND grid, int row, int column) {
    if (row < 0 || row >= rows(grid) || column < 1 || column > kPerRow) return;
    const std::wstring value = cellText(grid, row, column);
    if (value.empty()) return;  // past the last byte
    ::SendMessageW(grid, LVM_ENSUREVISIBLE, static_cast<WPARAM>(row), FALSE);
    RECT cell{};
    cell.top = column;
    cell.left = LVIR_BOUNDS;
    if (!::SendMessageW(grid, LVM_GETSUBITEMRECT, static_cast<WPARAM>(row),
                        reinterpret_cast<LPARAM>(&cell)))
        return;
    HWND edit = ::CreateWindowExW(
        0, L"EDIT", value.c_str(), WS_CHILD | WS_VISIBLE | WS_BORDER | ES_UPPERCASE | ES_CENTER,
        cell.left, cell.top, cell.right - cell.left, cell.bottom - cell.top, grid,
        reinterpret_cast<HMENU>(kEditorId),
        reinterpret_cast<HINSTANCE>(::GetWindowLongPtrW(grid, GWLP_HINSTANCE)), nullptr);
    if (edit == nullptr) return;
    ::SendMessageW(edit, WM_SETFONT, ::SendMessageW(grid, WM_GETFONT, 0, 0), FALSE);
    ::SendMessageW(edit, EM_LIMITTEXT, 2, 0);
    ::SendMessageW(edit, EM_SETSEL, 0, -1);
    ::SetWindowSubclass(edit, editorProc, kEditorId,
                        reinterpret_cast<DWORD_PTR>(new Editor{grid, row, column}));
    ::SetFocus(edit);
}

}  // namespace

bool isDataGrid(HWND control) {
    return control != nullptr && ::GetPropW(control, kGridProperty) != nullptr;
}

void setUpDataGrid(HWND grid, HFONT font) {
    ::SetPropW(grid, kGridProperty, reinterpret_cast<HANDLE>(1));
    if (font != nullptr) ::SendMessageW(grid, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
    ::SendMessageW(grid, LVM_SETEXTENDEDLISTVIEWSTYLE, LVS_EX_GRIDLINES, LVS_EX_GRIDLINES);
    const auto width = [grid](const wchar_t* sample) {
        return static_cast<int>(
                   ::SendMessageW(grid, LVM_GETSTRINGWIDTHW, 0, reinterpret_cast<LPARAM>(sample))) +
               14;
    };
    std::vector<std::wstring> titles{L"Offset"};
    for (int c = 0; c < kPerRow; ++c)
        titles.push_back(std::wstring(1, static_cast<wchar_t>(L'0' + c)));
    titles.push_back(L"ASCII");
    for (int c = 0; c <= kAsciiColumn; ++c) {
        LVCOLUMNW column{};
        column.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_FMT;
        column.fmt = c == 0 || c == kAsciiColumn ? LVCFMT_LEFT : LVCFMT_CENTER;
        column.pszText = titles[static_cast<std::size_t>(c)].data();
        column.cx = c == 0              ? width(L"Offset")
                    : c == kAsciiColumn ? width(L"WWWWWWWW")
                                        : width(L"WW");
        ::SendMessageW(grid, LVM_INSERTCOLUMNW, static_cast<WPARAM>(c),
                       reinterpret_cast<LPARAM>(&column));
    }
}

void setDataGridText(HWND grid, const std::string& text) {
    std::vector<int> bytes;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        const std::string_view line(text.data() + start, end - start);
        start = end + 1;
        if (line.size() < 7 || line[4] != ':') continue;
        std::wstring digits;
        for (char c : line.substr(6, 2))
            digits += static_cast<wchar_t>(static_cast<unsigned char>(c));
        if (const int v = hexValue(digits); v >= 0) bytes.push_back(v);
    }
    ::SendMessageW(grid, WM_SETREDRAW, FALSE, 0);
    ::SendMessageW(grid, LVM_DELETEALLITEMS, 0, 0);
    for (std::size_t i = 0; i < bytes.size(); i += kPerRow) {
        const int row = static_cast<int>(i / kPerRow);
        wchar_t offset[8];
        std::swprintf(offset, 8, L"%04X", static_cast<unsigned>(i));
        LVITEMW item{};
        item.mask = LVIF_TEXT;
        item.iItem = row;
        item.pszText = offset;
        ::SendMessageW(grid, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item));
        for (std::size_t k = i; k < bytes.size() && k < i + kPerRow; ++k)
            setCell(grid, row, static_cast<int>(k - i) + 1, twoDigits(bytes[k]));
        refreshAscii(grid, row);
    }
    ::SendMessageW(grid, WM_SETREDRAW, TRUE, 0);
    ::InvalidateRect(grid, nullptr, TRUE);
}

std::string dataGridText(HWND grid) {
    std::string text;
    int offset = 0;
    for (int r = 0; r < rows(grid); ++r) {
        for (int c = 1; c <= kPerRow; ++c) {
            const int v = hexValue(cellText(grid, r, c));
            if (v < 0) return text;
            char line[16];
            std::snprintf(line, sizeof line, "%04X: %02X \r\n", static_cast<unsigned>(offset++),
                          static_cast<unsigned>(v));
            text += line;
        }
    }
    return text;
}

bool dataGridNotified(HWND grid, const NMHDR& header) {
    if (header.code == NM_DBLCLK) {
        const auto& activate = reinterpret_cast<const NMITEMACTIVATE&>(header);
        LVHITTESTINFO hit{};
        hit.pt = activate.ptAction;
        if (::SendMessageW(grid, LVM_SUBITEMHITTEST, 0, reinterpret_cast<LPARAM>(&hit)) >= 0)
            startEditing(grid, hit.iItem, hit.iSubItem);
        return true;
    }
    if (header.code == LVN_KEYDOWN && reinterpret_cast<const NMLVKEYDOWN&>(header).wVKey == VK_F2) {
        const int row = static_cast<int>(
            ::SendMessageW(grid, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_FOCUSED));
        startEditing(grid, row < 0 ? 0 : row, 1);
        return true;
    }
    return false;
}

}  // namespace ferrolux::win32
