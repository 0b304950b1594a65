#include "lumivex/grid.h"

#include <algorithm>

using lx::GridModel;
using lx::GridRect;

struct GridWindow {
  HWND hwnd = nullptr;
  GridModel model;
  HFONT font = nullptr;
  bool redraw = true;
  COLORREF backColor = GetSysColor(COLOR_WINDOW);
  COLORREF backColorFixed = GetSysColor(COLOR_BTNFACE);
  COLORREF foreColor = GetSysColor(COLOR_WINDOWTEXT);
  COLORREF foreColorFixed = GetSysColor(COLOR_BTNTEXT);
  COLORREF gridColor = RGB(192, 192, 192);
  COLORREF gridColorFixed = GetSysColor(COLOR_BTNSHADOW);
  COLORREF backColorBkg = GetSysColor(COLOR_APPWORKSPACE);
  // The back buffer is kept between paints and grows with the window.
  HDC memoryDc = nullptr;
  HBITMAP bitmap = nullptr;
  HGDIOBJ oldBitmap = nullptr;
  int bufferWidth = 0, bufferHeight = 0;

  ~GridWindow() { FreeBuffer(); }

  void FreeBuffer() {
    if (memoryDc) {
      SelectObject(memoryDc, oldBitmap);
      DeleteObject(bitmap);
      DeleteDC(memoryDc);
    }
    memoryDc = nullptr;
    bitmap = nullptr;
  }

  HFONT Font() const { return font ? font : static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT)); }

  void Notify(UINT code, int row, int col, UINT key = 0) {
    LXGRIDNOTIFY n{};
    n.hdr.hwndFrom = hwnd;
    n.hdr.idFrom = UINT_PTR(GetDlgCtrlID(hwnd));
    n.hdr.code = code;
    n.row = row;
    n.col = col;
    n.key = key;
    HWND parent = GetParent(hwnd);
    if (parent) SendMessageA(parent, WM_NOTIFY, n.hdr.idFrom, reinterpret_cast<LPARAM>(&n));
  }

  void Invalidate() {
    if (redraw) InvalidateRect(hwnd, nullptr, FALSE);
  }

  void InvalidateCell(int row, int col) {
    if (!redraw) return;
    GridRect r = model.CellRect(row, col);
    // A cell out of view has nothing on the screen to repaint.
    if (r.left + r.width <= 0 || r.top + r.height <= 0 || r.left >= model.ViewportWidth() ||
        r.top >= model.ViewportHeight())
      return;
    RECT rect{r.left, r.top, r.left + r.width, r.top + r.height};
    InvalidateRect(hwnd, &rect, FALSE);
  }

  // The scroll bars follow the model; showing or hiding one resizes the client area.
  void UpdateScrollBars() {
    if (!redraw) return;
    SCROLLINFO si{};
    si.cbSize = sizeof si;
    si.fMask = SIF_RANGE | SIF_PAGE | SIF_POS;
    si.nMin = model.FixedRows();
    si.nMax = model.Rows() - 1;
    si.nPage = UINT(std::max(1, model.Rows() - model.MaxTopRow()));
    si.nPos = model.TopRow();
    SetScrollInfo(hwnd, SB_VERT, &si, TRUE);
    si.nMin = model.FixedCols();
    si.nMax = model.Cols() - 1;
    si.nPage = UINT(std::max(1, model.Cols() - model.MaxLeftCol()));
    si.nPos = model.LeftCol();
    SetScrollInfo(hwnd, SB_HORZ, &si, TRUE);
  }

  void Layout() {
    RECT client;
    GetClientRect(hwnd, &client);
    int oldTop = model.TopRow(), oldLeft = model.LeftCol();
    model.SetViewport(client.right, client.bottom);
    UpdateScrollBars();
    Invalidate();
    if (model.TopRow() != oldTop || model.LeftCol() != oldLeft) Notify(LXGN_SCROLL, model.Row(), model.Col());
  }

  // After a scroll position change by any means: repaint, move the bars, tell the parent.
  void Scrolled() {
    UpdateScrollBars();
    Invalidate();
    Notify(LXGN_SCROLL, model.Row(), model.Col());
  }

  void SetTop(int row) {
    if (model.SetTopRow(row)) Scrolled();
  }
  void SetLeft(int col) {
    if (model.SetLeftCol(col)) Scrolled();
  }

  // Moves the current cell without scrolling or events, as a program does.
  void SetCurrent(int row, int col) {
    int oldRow = model.Row(), oldCol = model.Col();
    model.SetCurrent(row, col);
    InvalidateCell(oldRow, oldCol);
    InvalidateCell(model.Row(), model.Col());
  }

  // Moves the current cell by mouse or keyboard: repaint both cells, scroll it into view.
  void MoveCurrent(int row, int col) {
    int oldRow = model.Row(), oldCol = model.Col();
    if (!model.SetCurrent(row, col)) return;
    InvalidateCell(oldRow, oldCol);
    if (model.ShowCurrent()) Scrolled();
    InvalidateCell(model.Row(), model.Col());
    Notify(LXGN_SELCHANGE, model.Row(), model.Col());
  }

  void Paint(HDC target, const RECT& client) {
    int width = std::max<int>(client.right, 1), height = std::max<int>(client.bottom, 1);
    if (!memoryDc || width > bufferWidth || height > bufferHeight) {
      FreeBuffer();
      bufferWidth = std::max(width, bufferWidth);
      bufferHeight = std::max(height, bufferHeight);
      memoryDc = CreateCompatibleDC(target);
      bitmap = CreateCompatibleBitmap(target, bufferWidth, bufferHeight);
      oldBitmap = SelectObject(memoryDc, bitmap);
    }
    HDC dc = memoryDc;
    HBRUSH background = CreateSolidBrush(backColorBkg);
    FillRect(dc, &client, background);
    DeleteObject(background);
    HGDIOBJ oldFont = SelectObject(dc, Font());
    SetBkMode(dc, TRANSPARENT);
    HPEN gridPen = CreatePen(PS_SOLID, 1, gridColor);
    HPEN fixedPen = CreatePen(PS_SOLID, 1, gridColorFixed);
    HGDIOBJ oldPen = SelectObject(dc, gridPen);
    const std::vector<int> rows = model.VisibleRows(), cols = model.VisibleCols();
    for (int row : rows) {
      for (int col : cols) {
        bool fixed = row < model.FixedRows() || col < model.FixedCols();
        GridRect r = model.CellRect(row, col);
        RECT rect{r.left, r.top, r.left + r.width, r.top + r.height};
        if (rect.right <= 0 || rect.bottom <= 0) continue;
        uint32_t own = model.BackColor(row, col);
        COLORREF back = own != lx::kGridDefaultColor ? COLORREF(own) : fixed ? backColorFixed : backColor;
        SetDCBrushColor(dc, back);
        FillRect(dc, &rect, static_cast<HBRUSH>(GetStockObject(DC_BRUSH)));
        const std::string& text = model.Text(row, col);
        if (!text.empty()) {
          RECT textRect{rect.left + 2, rect.top, rect.right - 2, rect.bottom};
          UINT format = DT_SINGLELINE | DT_VCENTER | DT_NOPREFIX;
          lx::GridHorizontal across = model.HorizontalAlignment(row, col);
          if (across == lx::kGridRight) format |= DT_RIGHT;
          if (across == lx::kGridCenter) format |= DT_CENTER;
          SetTextColor(dc, fixed ? foreColorFixed : foreColor);
          DrawTextA(dc, text.c_str(), int(text.size()), &textRect, format);
        }
        SelectObject(dc, fixed ? fixedPen : gridPen);
        MoveToEx(dc, rect.right - 1, rect.top, nullptr);
        LineTo(dc, rect.right - 1, rect.bottom - 1);
        LineTo(dc, rect.left - 1, rect.bottom - 1);
        if (row == model.Row() && col == model.Col() && !fixed && GetFocus() == hwnd) {
          RECT focus{rect.left + 1, rect.top + 1, rect.right - 2, rect.bottom - 2};
          DrawFocusRect(dc, &focus);
        }
      }
    }
    SelectObject(dc, oldPen);
    DeleteObject(gridPen);
    DeleteObject(fixedPen);
    SelectObject(dc, oldFont);
    BitBlt(target, 0, 0, width, height, dc, 0, 0, SRCCOPY);
  }

  void OnScroll(int bar, int request) {
    SCROLLINFO si{};
    si.cbSize = sizeof si;
    si.fMask = SIF_ALL;
    GetScrollInfo(hwnd, bar, &si);
    int pos = bar == SB_VERT ? model.TopRow() : model.LeftCol();
    int page = std::max(1, int(si.nPage));
    switch (request) {
      case SB_LINEUP: pos -= 1; break;
      case SB_LINEDOWN: pos += 1; break;
      case SB_PAGEUP: pos -= page; break;
      case SB_PAGEDOWN: pos += page; break;
      case SB_THUMBTRACK:
      case SB_THUMBPOSITION: pos = si.nTrackPos; break;
      case SB_TOP: pos = si.nMin; break;
      case SB_BOTTOM: pos = si.nMax; break;
      default: return;
    }
    if (bar == SB_VERT)
      SetTop(pos);
    else
      SetLeft(pos);
  }

  void OnKey(UINT key) {
    int row = model.Row(), col = model.Col();
    int firstRow = model.FixedRows(), firstCol = model.FixedCols();
    int page = std::max(1, model.Rows() - model.MaxTopRow());
    switch (key) {
      case VK_UP: row -= 1; break;
      case VK_DOWN: row += 1; break;
      case VK_LEFT: col -= 1; break;
      case VK_RIGHT: col += 1; break;
      case VK_PRIOR: row -= page; break;
      case VK_NEXT: row += page; break;
      case VK_HOME: col = firstCol; break;
      case VK_END: col = model.Cols() - 1; break;
      default: break;
    }
    // The keyboard moves among the scrollable cells only.
    row = std::clamp(row, std::min(firstRow, model.Rows() - 1), model.Rows() - 1);
    col = std::clamp(col, std::min(firstCol, model.Cols() - 1), model.Cols() - 1);
    MoveCurrent(row, col);
    Notify(LXGN_KEYDOWN, model.Row(), model.Col(), key);
  }

  void OnRightButtonUp(LPARAM lParam) {
    int row = -1, col = -1;
    if (!model.HitTest(short(LOWORD(lParam)), short(HIWORD(lParam)), &row, &col)) row = col = -1;
    Notify(LXGN_RCLICK, row, col);
  }

  void OnMouse(LPARAM lParam, bool doubleClick) {
    SetFocus(hwnd);
    int row = -1, col = -1;
    int x = short(LOWORD(lParam)), y = short(HIWORD(lParam));
    if (model.HitTest(x, y, &row, &col) && row >= model.FixedRows() && col >= model.FixedCols())
      MoveCurrent(row, col);
    Notify(LXGN_CLICK, row, col);
    if (doubleClick) Notify(LXGN_DBLCLICK, row, col);
  }
};

namespace {

GridWindow* FromHwnd(HWND hwnd) { return reinterpret_cast<GridWindow*>(GetWindowLongPtrA(hwnd, 0)); }

LRESULT CALLBACK GridProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  GridWindow* grid = FromHwnd(hwnd);
  if (message == WM_NCCREATE) {
    grid = new GridWindow;
    grid->hwnd = hwnd;
    SetWindowLongPtrA(hwnd, 0, reinterpret_cast<LONG_PTR>(grid));
  }
  if (!grid) return DefWindowProcA(hwnd, message, wParam, lParam);
  switch (message) {
    case WM_CREATE: {
      SendMessageA(hwnd, WM_SETFONT, reinterpret_cast<WPARAM>(grid->Font()), FALSE);
      grid->Layout();
      return 0;
    }
    case WM_NCDESTROY:
      SetWindowLongPtrA(hwnd, 0, 0);
      delete grid;
      return DefWindowProcA(hwnd, message, wParam, lParam);
    case WM_SIZE:
      grid->Layout();
      return 0;
    case WM_ERASEBKGND:
      return 1;  // every pixel is painted from the back buffer
    case WM_PAINT: {
      PAINTSTRUCT ps;
      HDC dc = BeginPaint(hwnd, &ps);
      RECT client;
      GetClientRect(hwnd, &client);
      grid->Paint(dc, client);
      EndPaint(hwnd, &ps);
      return 0;
    }
    case WM_SETREDRAW:
      grid->redraw = wParam != 0;
      if (grid->redraw) grid->Layout();
      return 0;
    case WM_SETFONT: {
      grid->font = reinterpret_cast<HFONT>(wParam);
      HDC dc = GetDC(hwnd);
      HGDIOBJ old = SelectObject(dc, grid->Font());
      TEXTMETRICA tm;
      GetTextMetricsA(dc, &tm);
      SelectObject(dc, old);
      ReleaseDC(hwnd, dc);
      grid->model.SetRowHeightPixels(tm.tmHeight + 3);
      if (LOWORD(lParam)) grid->Layout();
      return 0;
    }
    case WM_GETFONT:
      return reinterpret_cast<LRESULT>(grid->font);
    case WM_VSCROLL:
      grid->OnScroll(SB_VERT, LOWORD(wParam));
      return 0;
    case WM_HSCROLL:
      grid->OnScroll(SB_HORZ, LOWORD(wParam));
      return 0;
    case WM_LBUTTONDOWN:
      grid->OnMouse(lParam, false);
      return 0;
    case WM_LBUTTONDBLCLK:
      grid->OnMouse(lParam, true);
      return 0;
    case WM_RBUTTONUP:
      grid->OnRightButtonUp(lParam);
      return 0;
    case WM_KEYDOWN:
      grid->OnKey(UINT(wParam));
      return 0;
    case WM_SETFOCUS:
    case WM_KILLFOCUS:
      grid->InvalidateCell(grid->model.Row(), grid->model.Col());
      return 0;
    case WM_GETDLGCODE: {
      // Enter belongs to the grid while it has the focus (it opens cell editors).
      LRESULT code = DLGC_WANTARROWS | DLGC_WANTCHARS;
      const MSG* msg = reinterpret_cast<const MSG*>(lParam);
      if (msg && msg->message == WM_KEYDOWN && msg->wParam == VK_RETURN) code |= DLGC_WANTMESSAGE;
      return code;
    }
    default:
      // The mouse wheel goes on to the parent, which decides how far the grid moves.
      return DefWindowProcA(hwnd, message, wParam, lParam);
  }
}

}  // namespace

bool LxGridRegisterClass() {
  static const bool registered = [] {
    WNDCLASSA wc{};
    wc.style = CS_DBLCLKS | CS_HREDRAW | CS_VREDRAW;
    wc.lpfnWndProc = GridProc;
    wc.cbWndExtra = sizeof(GridWindow*);
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.hCursor = LoadCursor(nullptr, IDC_ARROW);
    wc.lpszClassName = LXGRID_CLASS;
    return RegisterClassA(&wc) != 0 || GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
  }();
  return registered;
}

bool CLxGrid::Create(HWND parent, int id, const RECT& rect, DWORD style) {
  if (!LxGridRegisterClass()) return false;
  HWND hwnd = CreateWindowExA(WS_EX_CLIENTEDGE, LXGRID_CLASS, "", style | WS_CHILD | WS_VSCROLL | WS_HSCROLL,
                              rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top, parent,
                              reinterpret_cast<HMENU>(INT_PTR(id)), GetModuleHandleA(nullptr), nullptr);
  return Attach(hwnd);
}

bool CLxGrid::Attach(HWND window) {
  char name[32] = "";
  if (!window || !GetClassNameA(window, name, sizeof name) || lstrcmpiA(name, LXGRID_CLASS) != 0) return false;
  hwnd_ = window;
  return true;
}

GridWindow* CLxGrid::Impl() const { return hwnd_ ? FromHwnd(hwnd_) : nullptr; }

namespace {
// A wrapper without a window reads as an empty grid.
GridModel& Detached() {
  static GridModel model;
  return model;
}
}  // namespace

// Changes that move cells: the scroll range and every cell position follow.
template <class Change>
void Relayout(GridWindow* g, Change change) {
  if (!g) return;
  change(g->model);
  g->Layout();
}

#define LX_GRID_MODEL (Impl() ? Impl()->model : Detached())

void CLxGrid::SetRows(long rows) {
  Relayout(Impl(), [&](GridModel& m) { m.SetRows(int(rows)); });
}
long CLxGrid::GetRows() const { return LX_GRID_MODEL.Rows(); }

void CLxGrid::SetCols(long cols) {
  Relayout(Impl(), [&](GridModel& m) { m.SetCols(int(cols)); });
}
long CLxGrid::GetCols() const { return LX_GRID_MODEL.Cols(); }

void CLxGrid::SetFixedRows(long rows) {
  Relayout(Impl(), [&](GridModel& m) { m.SetFixedRows(int(rows)); });
}
long CLxGrid::GetFixedRows() const { return LX_GRID_MODEL.FixedRows(); }

void CLxGrid::SetFixedCols(long cols) {
  Relayout(Impl(), [&](GridModel& m) { m.SetFixedCols(int(cols)); });
}
long CLxGrid::GetFixedCols() const { return LX_GRID_MODEL.FixedCols(); }

void CLxGrid::SetTextMatrix(long row, long col, const char* text) {
  GridWindow* g = Impl();
  if (g && g->model.SetText(int(row), int(col), text ? text : "")) g->InvalidateCell(int(row), int(col));
}
std::string CLxGrid::GetTextMatrix(long row, long col) const { return LX_GRID_MODEL.Text(int(row), int(col)); }

void CLxGrid::SetColWidth(long col, long twips) {
  Relayout(Impl(), [&](GridModel& m) { m.SetColWidthTwips(int(col), int(twips)); });
}
long CLxGrid::GetColWidth(long col) const { return LX_GRID_MODEL.ColWidthTwips(int(col)); }
long CLxGrid::GetRowHeight() const { return LX_GRID_MODEL.RowHeightPixels() * lx::kTwipsPerPixel; }

void CLxGrid::SetColAlignment(long col, short alignment) {
  if (GridWindow* g = Impl()) {
    g->model.SetColAlignment(int(col), alignment);
    g->Invalidate();
  }
}
short CLxGrid::GetColAlignment(long col) const { return short(LX_GRID_MODEL.ColAlignment(int(col))); }

void CLxGrid::SetRow(long row) {
  if (GridWindow* g = Impl()) g->SetCurrent(int(row), g->model.Col());
}
long CLxGrid::GetRow() const { return LX_GRID_MODEL.Row(); }

void CLxGrid::SetCol(long col) {
  if (GridWindow* g = Impl()) g->SetCurrent(g->model.Row(), int(col));
}
long CLxGrid::GetCol() const { return LX_GRID_MODEL.Col(); }

void CLxGrid::SetCellBackColor(COLORREF color) {
  if (GridWindow* g = Impl()) {
    g->model.SetBackColor(g->model.Row(), g->model.Col(), color);
    g->InvalidateCell(g->model.Row(), g->model.Col());
  }
}

COLORREF CLxGrid::GetCellBackColor() const {
  GridWindow* g = Impl();
  if (!g) return 0;
  uint32_t own = g->model.BackColor(g->model.Row(), g->model.Col());
  if (own != lx::kGridDefaultColor) return COLORREF(own);
  bool fixed = g->model.Row() < g->model.FixedRows() || g->model.Col() < g->model.FixedCols();
  return fixed ? g->backColorFixed : g->backColor;
}

long CLxGrid::GetCellLeft() const {
  const GridModel& m = LX_GRID_MODEL;
  return m.CellRect(m.Row(), m.Col()).left * lx::kTwipsPerPixel;
}
long CLxGrid::GetCellTop() const {
  const GridModel& m = LX_GRID_MODEL;
  return m.CellRect(m.Row(), m.Col()).top * lx::kTwipsPerPixel;
}
long CLxGrid::GetCellWidth() const {
  const GridModel& m = LX_GRID_MODEL;
  return m.CellRect(m.Row(), m.Col()).width * lx::kTwipsPerPixel;
}
long CLxGrid::GetCellHeight() const {
  const GridModel& m = LX_GRID_MODEL;
  return m.CellRect(m.Row(), m.Col()).height * lx::kTwipsPerPixel;
}

void CLxGrid::SetBackColor(COLORREF color) {
  if (GridWindow* g = Impl()) {
    g->backColor = color;
    g->Invalidate();
  }
}
COLORREF CLxGrid::GetBackColor() const { return Impl() ? Impl()->backColor : 0; }

void CLxGrid::SetBackColorFixed(COLORREF color) {
  if (GridWindow* g = Impl()) {
    g->backColorFixed = color;
    g->Invalidate();
  }
}
COLORREF CLxGrid::GetBackColorFixed() const { return Impl() ? Impl()->backColorFixed : 0; }

void CLxGrid::SetTopRow(long row) {
  if (GridWindow* g = Impl()) g->SetTop(int(row));
}
long CLxGrid::GetTopRow() const { return LX_GRID_MODEL.TopRow(); }

void CLxGrid::SetLeftCol(long col) {
  if (GridWindow* g = Impl()) g->SetLeft(int(col));
}
long CLxGrid::GetLeftCol() const { return LX_GRID_MODEL.LeftCol(); }

void CLxGrid::SetRedraw(bool redraw) {
  if (hwnd_) SendMessageA(hwnd_, WM_SETREDRAW, redraw ? TRUE : FALSE, 0);
}

void CLxGrid::SetFont(HFONT font) {
  if (hwnd_) SendMessageA(hwnd_, WM_SETFONT, reinterpret_cast<WPARAM>(font), TRUE);
}

bool CLxGrid::HitTest(int x, int y, long* row, long* col) const {
  int r = 0, c = 0;
  if (!LX_GRID_MODEL.HitTest(x, y, &r, &c)) return false;
  *row = r;
  *col = c;
  return true;
}
