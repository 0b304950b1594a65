#include <gtest/gtest.h>

#include <cstdio>
#include <vector>

#include "lumivex/grid.h"
#include "lumivex/testkit.h"

namespace {

constexpr int kGridId = 1000;

// The events the parent received, in order, and the wheel turns that reached it.
std::vector<LXGRIDNOTIFY> g_events;
int g_parentWheel;

LRESULT CALLBACK ParentProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_NOTIFY) {
    const LXGRIDNOTIFY* n = reinterpret_cast<const LXGRIDNOTIFY*>(lParam);
    if (n->hdr.idFrom == kGridId) g_events.push_back(*n);
    return 0;
  }
  if (message == WM_MOUSEWHEEL) ++g_parentWheel;
  return DefWindowProcA(hwnd, message, wParam, lParam);
}

int Count(UINT code) {
  int n = 0;
  for (const LXGRIDNOTIFY& e : g_events) n += e.hdr.code == code;
  return n;
}

const LXGRIDNOTIFY* Last(UINT code) {
  for (auto it = g_events.rbegin(); it != g_events.rend(); ++it)
    if (it->hdr.code == code) return &*it;
  return nullptr;
}

struct GridWindowTest : ::testing::Test {
  HWND parent = nullptr;
  CLxGrid grid;

  void SetUp() override {
    g_events.clear();
    ASSERT_TRUE(LxGridRegisterClass());
    WNDCLASSA wc{};
    wc.lpfnWndProc = ParentProc;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    wc.lpszClassName = "LxGridTestParent";
    RegisterClassA(&wc);
    parent = CreateWindowExA(0, "LxGridTestParent", "Grid", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 20, 20, 720, 480,
                             nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
    ASSERT_NE(parent, nullptr);
    RECT client;
    GetClientRect(parent, &client);
    InflateRect(&client, -8, -8);
    ASSERT_TRUE(grid.Create(parent, kGridId, client));
    LxPumpMessages();
  }
  void TearDown() override {
    if (parent) DestroyWindow(parent);
    LxPumpMessages();
  }

  // The NOR explorer's window: labels, 16 byte columns and the ASCII text of each row.
  void FillExplorer() {
    grid.SetRedraw(false);
    grid.SetRows(2049);
    grid.SetCols(18);
    grid.SetColWidth(0, 1200);
    for (int c = 1; c <= 16; ++c) {
      grid.SetColWidth(c, 375);
      char label[8];
      std::snprintf(label, sizeof label, "%02X", c - 1);
      grid.SetTextMatrix(0, c, label);
    }
    grid.SetColWidth(17, 2000);
    for (int r = 1; r < 2049; ++r) {
      char text[32];
      std::snprintf(text, sizeof text, "0x%06X", (r - 1) * 16);
      grid.SetTextMatrix(r, 0, text);
      char ascii[17];
      for (int c = 1; c <= 16; ++c) {
        int value = ((r - 1) * 16 + c - 1) & 0xFF;
        std::snprintf(text, sizeof text, "%02X", value);
        grid.SetTextMatrix(r, c, text);
        ascii[c - 1] = value >= 0x20 && value < 0x7F ? char(value) : '.';
      }
      ascii[16] = '\0';
      grid.SetTextMatrix(r, 17, ascii);
    }
  }

  // The client point at the middle of a cell.
  LPARAM CellPoint(long row, long col) {
    grid.SetRow(row);
    grid.SetCol(col);
    int x = int((grid.GetCellLeft() + grid.GetCellWidth() / 2) / 15);
    int y = int((grid.GetCellTop() + grid.GetCellHeight() / 2) / 15);
    return MAKELPARAM(x, y);
  }
};

TEST_F(GridWindowTest, FillingThousandsOfCellsPaintsNothingUntilRedrawReturns) {
  UpdateWindow(grid.GetSafeHwnd());
  FillExplorer();
  EXPECT_FALSE(GetUpdateRect(grid.GetSafeHwnd(), nullptr, FALSE));  // nothing was invalidated
  EXPECT_EQ(grid.GetRows(), 2049);
  EXPECT_EQ(grid.GetTextMatrix(2048, 16), "FF");
  EXPECT_EQ(grid.GetTextMatrix(3, 17), " !\"#$%&'()*+,-./");
  grid.SetRedraw(true);
  EXPECT_TRUE(GetUpdateRect(grid.GetSafeHwnd(), nullptr, FALSE));
  // The background is never erased: every pixel comes from the back buffer in one copy.
  HDC dc = GetDC(grid.GetSafeHwnd());
  EXPECT_EQ(SendMessageA(grid.GetSafeHwnd(), WM_ERASEBKGND, reinterpret_cast<WPARAM>(dc), 0), 1);
  ReleaseDC(grid.GetSafeHwnd(), dc);
  UpdateWindow(grid.GetSafeHwnd());
  EXPECT_FALSE(GetUpdateRect(grid.GetSafeHwnd(), nullptr, FALSE));
}

TEST_F(GridWindowTest, TheTopRowMovesOnRequestAndTellsTheParent) {
  FillExplorer();
  grid.SetRedraw(true);
  g_events.clear();
  grid.SetTopRow(100);
  EXPECT_EQ(grid.GetTopRow(), 100);
  EXPECT_EQ(Count(LXGN_SCROLL), 1);
  grid.SetTopRow(100);
  EXPECT_EQ(Count(LXGN_SCROLL), 1);  // no change, no event
  grid.SetTopRow(0);
  EXPECT_EQ(grid.GetTopRow(), 1);    // the header row never scrolls
  grid.SetTopRow(5000);
  EXPECT_LT(grid.GetTopRow(), 2049);
  EXPECT_GT(grid.GetTopRow(), 2000);

  grid.SetTopRow(100);
  g_events.clear();
  SendMessageA(grid.GetSafeHwnd(), WM_VSCROLL, SB_LINEDOWN, 0);
  EXPECT_EQ(grid.GetTopRow(), 101);
  SendMessageA(grid.GetSafeHwnd(), WM_VSCROLL, SB_LINEUP, 0);
  SendMessageA(grid.GetSafeHwnd(), WM_VSCROLL, SB_LINEUP, 0);
  EXPECT_EQ(grid.GetTopRow(), 99);
  EXPECT_EQ(Count(LXGN_SCROLL), 3);
  SCROLLINFO si{};
  si.cbSize = sizeof si;
  si.fMask = SIF_POS;
  GetScrollInfo(grid.GetSafeHwnd(), SB_VERT, &si);
  EXPECT_EQ(si.nPos, 99);
}

TEST_F(GridWindowTest, CellGeometryIsInTwipsRelativeToTheGrid) {
  FillExplorer();
  grid.SetRedraw(true);
  grid.SetTopRow(100);
  grid.SetRow(102);
  grid.SetCol(3);
  EXPECT_EQ(grid.GetColWidth(3), 375);
  EXPECT_EQ(grid.GetCellWidth(), 375);
  EXPECT_EQ(grid.GetCellLeft(), 1200 + 2 * 375);
  EXPECT_EQ(grid.GetCellTop(), 3 * grid.GetRowHeight());  // header, rows 100 and 101 above it
  EXPECT_EQ(grid.GetCellHeight(), grid.GetRowHeight());
}

TEST_F(GridWindowTest, ClicksAndKeysMoveTheCurrentCellAndRaiseEvents) {
  FillExplorer();
  grid.SetRedraw(true);
  grid.SetTopRow(100);
  LPARAM point = CellPoint(103, 5);
  grid.SetRow(1);
  grid.SetCol(1);
  g_events.clear();
  SendMessageA(grid.GetSafeHwnd(), WM_LBUTTONDOWN, MK_LBUTTON, point);
  EXPECT_EQ(grid.GetRow(), 103);
  EXPECT_EQ(grid.GetCol(), 5);
  ASSERT_NE(Last(LXGN_SELCHANGE), nullptr);
  ASSERT_NE(Last(LXGN_CLICK), nullptr);
  EXPECT_EQ(Last(LXGN_CLICK)->row, 103);
  EXPECT_EQ(Last(LXGN_CLICK)->col, 5);
  EXPECT_EQ(Count(LXGN_DBLCLICK), 0);
  SendMessageA(grid.GetSafeHwnd(), WM_LBUTTONDBLCLK, MK_LBUTTON, point);
  ASSERT_NE(Last(LXGN_DBLCLICK), nullptr);
  EXPECT_EQ(Last(LXGN_DBLCLICK)->row, 103);

  // The right button reports where it was released and moves nothing (it opens a menu).
  const LPARAM below = CellPoint(104, 6);
  grid.SetRow(103);
  grid.SetCol(5);
  g_events.clear();
  SendMessageA(grid.GetSafeHwnd(), WM_RBUTTONUP, 0, below);
  ASSERT_NE(Last(LXGN_RCLICK), nullptr);
  EXPECT_EQ(Last(LXGN_RCLICK)->row, 104);
  EXPECT_EQ(Last(LXGN_RCLICK)->col, 6);
  EXPECT_EQ(grid.GetRow(), 103);
  EXPECT_EQ(Count(LXGN_SELCHANGE), 0);

  // A click on a label reports the label's cell but leaves the current cell where it is.
  g_events.clear();
  SendMessageA(grid.GetSafeHwnd(), WM_LBUTTONDOWN, MK_LBUTTON, CellPoint(0, 7));
  grid.SetRow(103);
  grid.SetCol(5);
  EXPECT_EQ(Last(LXGN_CLICK)->row, 0);
  EXPECT_EQ(Count(LXGN_SELCHANGE), 0);

  g_events.clear();
  SendMessageA(grid.GetSafeHwnd(), WM_KEYDOWN, VK_DOWN, 0);
  EXPECT_EQ(grid.GetRow(), 104);
  ASSERT_NE(Last(LXGN_KEYDOWN), nullptr);
  EXPECT_EQ(Last(LXGN_KEYDOWN)->key, UINT(VK_DOWN));
  SendMessageA(grid.GetSafeHwnd(), WM_KEYDOWN, VK_RETURN, 0);
  EXPECT_EQ(Last(LXGN_KEYDOWN)->key, UINT(VK_RETURN));
  EXPECT_EQ(grid.GetRow(), 104);
  // Moving below the last visible row scrolls it into view.
  long top = grid.GetTopRow();
  for (int i = 0; i < 40; ++i) SendMessageA(grid.GetSafeHwnd(), WM_KEYDOWN, VK_DOWN, 0);
  EXPECT_EQ(grid.GetRow(), 144);
  EXPECT_GT(grid.GetTopRow(), top);
  EXPECT_GT(Count(LXGN_SCROLL), 0);
}

TEST_F(GridWindowTest, ExplorerWithHighlightedLabels) {
  HFONT tahoma = CreateFontA(-11, 0, 0, 0, FW_NORMAL, 0, 0, 0, DEFAULT_CHARSET, 0, 0, 0, 0, "Tahoma");
  grid.SetFont(tahoma);
  FillExplorer();
  grid.SetRedraw(true);
  // The find window's mark: the row's label and the column's label in orange.
  COLORREF saved = grid.GetBackColorFixed();
  grid.SetTopRow(0x21);
  grid.SetRow(0x21);
  grid.SetCol(0);
  grid.SetCellBackColor(0x0000C0FF);
  grid.SetRow(0);
  grid.SetCol(0x0A);
  grid.SetCellBackColor(0x0000C0FF);
  EXPECT_EQ(grid.GetCellBackColor(), COLORREF(0x0000C0FF));
  grid.SetRow(0);
  grid.SetCol(0x0B);
  EXPECT_EQ(grid.GetCellBackColor(), saved);
  grid.SetRow(0x23);
  grid.SetCol(4);
  SetFocus(grid.GetSafeHwnd());
  EXPECT_TRUE(LxSaveWindowShot(parent, "grid_explorer"));
  DestroyWindow(parent);
  parent = nullptr;
  DeleteObject(tahoma);
}

// A grid made from a dialog template is a plain window of the class; the wrapper takes it over.
TEST_F(GridWindowTest, TheWrapperTakesOverGridsMadeElsewhereAndRefusesOtherWindows) {
  HWND made = CreateWindowExA(0, LXGRID_CLASS, "", WS_CHILD | WS_VISIBLE | WS_VSCROLL | WS_HSCROLL, 0, 0, 300, 200,
                              parent, reinterpret_cast<HMENU>(INT_PTR(1001)), GetModuleHandleA(nullptr), nullptr);
  ASSERT_NE(made, nullptr);
  CLxGrid attached;
  ASSERT_TRUE(attached.Attach(made));
  attached.SetCols(20);
  attached.SetTextMatrix(1, 19, "last");
  EXPECT_EQ(attached.GetTextMatrix(1, 19), "last");
  EXPECT_EQ(attached.GetColWidth(19), 960);

  // Columns beyond the window's width scroll sideways.
  SendMessageA(made, WM_HSCROLL, SB_LINEDOWN, 0);
  EXPECT_EQ(attached.GetLeftCol(), 2);
  SendMessageA(made, WM_HSCROLL, SB_BOTTOM, 0);
  EXPECT_GT(attached.GetLeftCol(), 2);
  EXPECT_LT(attached.GetLeftCol(), 20);

  CLxGrid other;
  EXPECT_FALSE(other.Attach(parent));
  EXPECT_FALSE(other.Attach(nullptr));
  EXPECT_EQ(other.GetRows(), 2);  // a wrapper without a grid reads as an empty one
  other.SetTextMatrix(0, 0, "nowhere");
}

// The profiler's layout: names left, counts right by the general alignment; the parent decides
// what the wheel does.
TEST_F(GridWindowTest, ProfilerLayoutAndTheWheelGoingToTheParent) {
  grid.SetRedraw(false);
  grid.SetRows(67);
  grid.SetCols(3);
  grid.SetFixedCols(0);
  grid.SetColWidth(0, 4000);
  grid.SetColWidth(1, 2000);
  grid.SetColWidth(2, 2000);
  grid.SetTextMatrix(0, 0, "Function name");
  grid.SetTextMatrix(0, 1, "Hit count");
  grid.SetTextMatrix(0, 2, "Accumulated count");
  for (int i = 0; i < 66; ++i) {
    char text[32];
    std::snprintf(text, sizeof text, "FP_entry%d", i);
    grid.SetTextMatrix(i + 1, 0, text);
    std::snprintf(text, sizeof text, "%d", i * i * 37);
    grid.SetTextMatrix(i + 1, 1, text);
    std::snprintf(text, sizeof text, "%d", i * i * 101);
    grid.SetTextMatrix(i + 1, 2, text);
  }
  grid.SetRedraw(true);
  EXPECT_EQ(grid.GetFixedCols(), 0);
  g_parentWheel = 0;
  long top = grid.GetTopRow();
  SendMessageA(grid.GetSafeHwnd(), WM_MOUSEWHEEL, MAKEWPARAM(0, WORD(-WHEEL_DELTA)), MAKELPARAM(100, 100));
  EXPECT_EQ(g_parentWheel, 1);
  EXPECT_EQ(grid.GetTopRow(), top);
  EXPECT_TRUE(LxSaveWindowShot(parent, "grid_profiler"));
}

}  // namespace
