// The grid control of the profiler, trace and explorer windows: a native window class
// ("LxGrid") and the CLxGrid wrapper with the grid properties those windows use: rows and
// columns with fixed headers, cell text, column widths in twips (pixels x 15), cell colours,
// the top row, the current cell and its geometry. Events reach the parent as WM_NOTIFY with an
// LXGRIDNOTIFY record. Painting is double-buffered and touches only visible cells; a fill of
// thousands of cells between SetRedraw(false) and SetRedraw(true) paints once.
#pragma once
#include <windows.h>

#include <string>

#include "lumivex/grid_model.h"

#define LXGRID_CLASS "LxGrid"

// Notification codes (NMHDR.code). Clicks of either button carry the cell under the mouse (-1 when
// none); the others carry the current cell; key-down carries the virtual key too.
enum : UINT {
  LXGN_CLICK = 0U - 1700U,
  LXGN_DBLCLICK = 0U - 1701U,
  LXGN_SELCHANGE = 0U - 1702U,  // the current cell changed by mouse or keyboard
  LXGN_SCROLL = 0U - 1703U,     // the top row or the left column changed, for whatever reason
  LXGN_KEYDOWN = 0U - 1704U,
  LXGN_RCLICK = 0U - 1705U,     // right button released over the grid (cell under the mouse or -1)
};

struct LXGRIDNOTIFY {
  NMHDR hdr;
  int row;
  int col;
  UINT key;
};

// Registers the window class once per process; a dialog template that holds an "LxGrid" control
// needs it registered before the dialog is created. Returns false when registration failed.
bool LxGridRegisterClass();

class CLxGrid {
 public:
  bool Create(HWND parent, int id, const RECT& rect, DWORD style = WS_CHILD | WS_VISIBLE | WS_TABSTOP);
  // Takes over a grid window created from a dialog template; false when it is no grid.
  bool Attach(HWND window);
  HWND GetSafeHwnd() const { return hwnd_; }

  void SetRows(long rows);
  long GetRows() const;
  void SetCols(long cols);
  long GetCols() const;
  void SetFixedRows(long rows);
  long GetFixedRows() const;
  void SetFixedCols(long cols);
  long GetFixedCols() const;

  void SetTextMatrix(long row, long col, const char* text);
  std::string GetTextMatrix(long row, long col) const;
  void SetColWidth(long col, long twips);
  long GetColWidth(long col) const;
  long GetRowHeight() const;  // twips, every row
  void SetColAlignment(long col, short alignment);
  short GetColAlignment(long col) const;

  // The current cell, which CellBackColor and the cell geometry refer to.
  void SetRow(long row);
  long GetRow() const;
  void SetCol(long col);
  long GetCol() const;
  void SetCellBackColor(COLORREF color);
  COLORREF GetCellBackColor() const;  // the cell's own colour, or the default of its kind
  long GetCellLeft() const;           // twips, relative to the grid's client area
  long GetCellTop() const;
  long GetCellWidth() const;
  long GetCellHeight() const;

  void SetBackColor(COLORREF color);
  COLORREF GetBackColor() const;
  void SetBackColorFixed(COLORREF color);
  COLORREF GetBackColorFixed() const;

  void SetTopRow(long row);
  long GetTopRow() const;
  void SetLeftCol(long col);
  long GetLeftCol() const;

  // While off, changes are stored but nothing is painted; turning it on paints once.
  void SetRedraw(bool redraw);
  void SetFont(HFONT font);

  // The cell under a client point in pixels; false outside every cell.
  bool HitTest(int x, int y, long* row, long* col) const;

 private:
  struct GridWindow* Impl() const;
  HWND hwnd_ = nullptr;
};
