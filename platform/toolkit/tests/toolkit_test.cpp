// The toolkit's bars and tab strips as real windows under Wine and Xvfb.
#include <gtest/gtest.h>

#include "lumivex/testkit.h"
#include "lxtoolkit.h"

namespace {

class Host : public CWnd {
 public:
  Host() {
    LxRegisterWindowClass("LxToolkitTestHost", DefWindowProcA, COLOR_BTNFACE);
    m_hWnd = CreateWindowExA(0, "LxToolkitTestHost", "toolkit", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 500, 300,
                             nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
    SubclassWindow(m_hWnd);
  }
  ~Host() override { ::DestroyWindow(Detach()); }
};

TEST(ToolkitStatusBar, PanesAreAddedByIndexOnceAndCarryTheirControl) {
  Host host;
  CExtStatusControlBar bar;
  ASSERT_TRUE(bar.Create(&host, 0xE801, WS_CHILD | WS_VISIBLE));
  ::MoveWindow(bar.m_hWnd, 0, 270, 500, 24, TRUE);
  const UINT ids[] = {0, 59137, 59138, 59139};
  ASSERT_TRUE(bar.SetIndicators(ids, 4));
  EXPECT_FALSE(bar.AddPane(11001, 5));  // beyond the panes
  ASSERT_TRUE(bar.AddPane(11001, 1));
  EXPECT_FALSE(bar.AddPane(11001, 2));  // the id exists
  EXPECT_EQ(bar.CommandToIndex(11001), 1);
  EXPECT_EQ(bar.CommandToIndex(59139), 4);
  EXPECT_EQ(bar.CommandToIndex(12345), -1);
  EXPECT_TRUE(bar.SetPaneText(0, "Number of running threads: 2"));
  EXPECT_EQ(bar.GetPaneText(0), "Number of running threads: 2");
  EXPECT_FALSE(bar.SetPaneText(9, "x"));

  CExtProgressWnd progress;
  RECT none = {0, 0, 0, 0};
  ASSERT_TRUE(progress.Create(WS_CHILD | WS_VISIBLE, none, &bar, 10001));
  bar.SetPaneWidth(1, 100);
  bar.SetPaneControl(1, progress.m_hWnd);
  RECT pane, placed;
  bar.SendMessage(SB_GETRECT, 1, reinterpret_cast<LPARAM>(&pane));
  ::GetWindowRect(progress.m_hWnd, &placed);
  MapWindowPoints(nullptr, bar.m_hWnd, reinterpret_cast<POINT*>(&placed), 2);
  EXPECT_GE(placed.left, pane.left);
  EXPECT_LE(placed.right, pane.right);
  EXPECT_GT(placed.right - placed.left, 90);
  progress.SetRange(0, 32);
  progress.SetStep(1);
  progress.StepIt();
  EXPECT_EQ(progress.GetPos(), 1);
  LxPumpMessages();
  LxSaveWindowShot(host.m_hWnd, "toolkit_status_bar");
}

TEST(ToolkitTabPages, InsertedPagesAreSelectedShownAndRemoved) {
  Host host;
  CExtTabPageContainerFlatWnd pages;
  RECT r = {0, 0, 400, 200};
  ASSERT_TRUE(pages.Create(&host, r, 0xE900, WS_VISIBLE));
  HWND page[3];
  for (int i = 0; i < 3; ++i) {
    page[i] = CreateWindowExA(0, "EDIT", "", WS_CHILD | ES_MULTILINE, 0, 0, 10, 10, pages.m_hWnd, nullptr,
                              GetModuleHandleA(nullptr), nullptr);
  }
  ASSERT_TRUE(pages.PageInsert(page[0], "Help script", 0, true));
  ASSERT_TRUE(pages.PageInsert(page[1], "New script", 0, true));
  ASSERT_TRUE(pages.PageInsert(page[2], "Background", 5, false));  // past the end: appended
  ASSERT_EQ(pages.PageCountGet(), 3);
  EXPECT_EQ(pages.PageTextGet(0), "New script");
  EXPECT_EQ(pages.PageTextGet(1), "Help script");
  EXPECT_EQ(pages.PageTextGet(2), "Background");
  EXPECT_EQ(pages.PageSelectionGet(), 0);
  EXPECT_TRUE(IsWindowVisible(page[1]));
  EXPECT_FALSE(IsWindowVisible(page[0]));
  EXPECT_FALSE(IsWindowVisible(page[2]));

  EXPECT_TRUE(pages.PageTextSet(0, "renamed.vbs"));
  EXPECT_EQ(pages.PageTextGet(0), "renamed.vbs");
  EXPECT_TRUE(pages.PageRemove(0));
  EXPECT_FALSE(IsWindow(page[1]));
  EXPECT_EQ(pages.PageCountGet(), 2);
  EXPECT_EQ(pages.PageSelectionGet(), 0);
  EXPECT_EQ(pages.PageHwndGetSafe(0), page[0]);
  EXPECT_TRUE(IsWindowVisible(page[0]));
  EXPECT_FALSE(pages.PageRemove(7));
  EXPECT_EQ(pages.PageHwndGetSafe(7), nullptr);
  EXPECT_FALSE(pages.PageSelectionSet(-1));
}

TEST(ToolkitBars, PanesLayTheirClientUnderTheCaptionAndComboAndToolbarWork) {
  Host host;
  CExtControlBar bar;
  ASSERT_TRUE(bar.Create("Script log output", &host, 32798, WS_VISIBLE));
  HWND client = CreateWindowExA(0, "EDIT", "", WS_CHILD | WS_VISIBLE, 0, 0, 10, 10, bar.m_hWnd, nullptr,
                                GetModuleHandleA(nullptr), nullptr);
  bar.SetClient(client);
  ::MoveWindow(bar.m_hWnd, 0, 0, 300, 150, TRUE);
  RECT placed;
  ::GetWindowRect(client, &placed);
  MapWindowPoints(nullptr, bar.m_hWnd, reinterpret_cast<POINT*>(&placed), 2);
  EXPECT_EQ(placed.top, bar.CaptionHeight());
  EXPECT_EQ(placed.bottom, 148);

  CExtToolControlBar toolbar;
  ASSERT_TRUE(toolbar.Create(&host, 0xE800, WS_CHILD | WS_VISIBLE));
  ASSERT_TRUE(toolbar.LoadButtons({{32771, STD_FILEOPEN, "Open"}, {0, -1, nullptr}, {32774, STD_FIND, "Profiler"}}, 40));
  EXPECT_TRUE(toolbar.IsButtonEnabled(32774));
  toolbar.EnableButton(32774, FALSE);
  EXPECT_FALSE(toolbar.IsButtonEnabled(32774));

  CExtComboBox combo;
  RECT cr = {0, 0, 100, 100};
  ASSERT_TRUE(combo.Create(WS_CHILD | WS_VISIBLE | CBS_DROPDOWNLIST, cr, &toolbar, 103));
  for (const char* kind : {"NAND", "NOR", "SPI"}) combo.AddString(kind);
  EXPECT_EQ(combo.GetCount(), 3);
  EXPECT_EQ(combo.SetCurSel(2), 2);
  EXPECT_EQ(combo.GetLBText(combo.GetCurSel()), "SPI");
  EXPECT_EQ(combo.GetLBText(7), "");
}

}  // namespace
