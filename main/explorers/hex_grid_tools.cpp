#include "hex_grid_tools.h"

#include <commctrl.h>

#include <cstdio>

#include "explorer_core.h"

RECT GridCellInParent(CLxGrid& grid, HWND parent, long row, long col) {
  grid.SetRow(row);
  grid.SetCol(col);
  RECT cell = {grid.GetCellLeft() / lx::kTwipsPerPixel, grid.GetCellTop() / lx::kTwipsPerPixel, 0, 0};
  cell.right = cell.left + grid.GetCellWidth() / lx::kTwipsPerPixel;
  cell.bottom = cell.top + grid.GetCellHeight() / lx::kTwipsPerPixel;
  ::MapWindowPoints(grid.GetSafeHwnd(), parent, reinterpret_cast<POINT*>(&cell), 2);
  return cell;
}

void OpenCellEditor(CLxGrid& grid, HWND parent, HWND editor, long row, long col, int extraWidth) {
  const RECT cell = GridCellInParent(grid, parent, row, col);
  ::SetWindowTextA(editor, grid.GetTextMatrix(row, col).c_str());
  ::SetWindowPos(editor, HWND_TOP, cell.left, cell.top, cell.right - cell.left + extraWidth, cell.bottom - cell.top,
                 SWP_SHOWWINDOW);
  ::SendMessageA(editor, EM_SETSEL, 0, -1);
  ::SetFocus(editor);
}

std::string StoreByteCell(CLxGrid& grid, long row, long col, long textCol, const std::string& typed, uint8_t* bytes) {
  constexpr long kCols = 16;
  uint8_t value = 0;
  if (!lx::ParseHexCell(typed, &value)) {
    char text[96];
    std::snprintf(text, sizeof text, "'%s' is not a byte: type one or two hexadecimal digits (0-9, A-F).", typed.c_str());
    return text;
  }
  std::string characters = grid.GetTextMatrix(row, textCol);
  if (characters.size() < static_cast<size_t>(kCols)) characters.resize(kCols, '.');
  characters[static_cast<size_t>(col - 1)] = lx::AsciiChar(value);
  grid.SetTextMatrix(row, textCol, characters.c_str());
  grid.SetTextMatrix(row, col, typed.c_str());
  bytes[static_cast<size_t>((row - 1) * kCols + (col - 1))] = value;
  return std::string();
}

void MarkFoundByte(CLxGrid& grid, long row, long col, COLORREF color) {
  const long currentRow = grid.GetRow(), currentCol = grid.GetCol();
  grid.SetTopRow(row);
  grid.SetRow(row);
  grid.SetCol(0);
  grid.SetCellBackColor(color);
  grid.SetRow(0);
  grid.SetCol(col);
  grid.SetCellBackColor(color);
  grid.SetRow(currentRow);
  grid.SetCol(currentCol);
}

void RestoreHeaderColors(CLxGrid& grid, long rows, long cols, COLORREF color) {
  const long currentRow = grid.GetRow(), currentCol = grid.GetCol();
  grid.SetRedraw(false);
  for (long r = 1; r <= rows && r < grid.GetRows(); ++r) {
    grid.SetRow(r);
    grid.SetCol(0);
    grid.SetCellBackColor(color);
  }
  for (long c = 1; c <= cols && c < grid.GetCols(); ++c) {
    grid.SetRow(0);
    grid.SetCol(c);
    grid.SetCellBackColor(color);
  }
  grid.SetRow(currentRow);
  grid.SetCol(currentCol);
  grid.SetRedraw(true);
}

void ToggleBeside(HWND owner, HWND tool) {
  if (::IsWindowVisible(tool)) {
    ::ShowWindow(tool, SW_HIDE);
    return;
  }
  ::SetWindowPos(owner, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
  RECT rect;
  ::GetWindowRect(owner, &rect);
  ::SetWindowPos(tool, owner, rect.right, rect.top, 0, 0, SWP_NOSIZE | SWP_SHOWWINDOW | SWP_NOACTIVATE);
}

void BottomAnchors::Capture(HWND dialog, const std::vector<int>& ids, int growingId) {
  dialog_ = dialog;
  growingId_ = growingId;
  RECT client;
  ::GetClientRect(dialog, &client);
  firstClientHeight_ = client.bottom;
  anchors_.clear();
  for (int id : ids) anchors_.push_back({id, {}});
  anchors_.push_back({growingId, {}});
  for (Anchor& a : anchors_) {
    ::GetWindowRect(::GetDlgItem(dialog, a.id), &a.rect);
    ::MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&a.rect), 2);
  }
}

void BottomAnchors::Apply() const {
  if (anchors_.empty()) return;
  RECT client;
  ::GetClientRect(dialog_, &client);
  const int dy = client.bottom - firstClientHeight_;
  for (const Anchor& a : anchors_) {
    HWND item = ::GetDlgItem(dialog_, a.id);
    if (a.id == growingId_) {
      const int height = a.rect.bottom - a.rect.top + dy;
      ::SetWindowPos(item, nullptr, a.rect.left, a.rect.top, a.rect.right - a.rect.left, height > 20 ? height : 20,
                     SWP_NOZORDER | SWP_NOACTIVATE);
    } else {
      ::SetWindowPos(item, nullptr, a.rect.left, a.rect.top + dy, 0, 0, SWP_NOZORDER | SWP_NOSIZE | SWP_NOACTIVATE);
    }
  }
  ::InvalidateRect(dialog_, nullptr, TRUE);
}
