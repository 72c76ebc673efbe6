#pragma once

#include <windows.h>

#include <string>

namespace ferrolux::win32 {

// The data memory as a list view of bytes, 8 a row, with an offset and an
// ASCII column. The window logic sees the grid as its data text, one
// "%04X: %02X " line a byte. A byte is edited in place: double-click it, or
// F2 on a row; Enter keeps two hex digits and moves on, Esc undoes.

// Columns and look; once, after the dialog is made.
void setUpDataGrid(HWND grid, HFONT font);
// Fills the grid from data text lines; lines without a byte are left out.
void setDataGridText(HWND grid, const std::string& text);
// The grid as data text lines.
std::string dataGridText(HWND grid);
// A notification from the grid; true when it was one of the editing ones.
bool dataGridNotified(HWND grid, const NMHDR& header);
// True for a list view made as a data grid.
bool isDataGrid(HWND control);

}  // namespace ferrolux::win32
