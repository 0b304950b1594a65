#include "frame_core.h"

#include <gtest/gtest.h>

using lx::FrameRect;

TEST(FrameHistory, LinesEndAtCarriageReturnsAndEmptyOnesAreDropped) {
  struct Case {
    const char* bytes;
    std::vector<std::string> entries;
  } cases[] = {
      {"", {}},
      {"dir\r\ncd /a\r\n", {"dir", "cd /a"}},
      {"dir\r\n\r\n\r\nlast", {"dir", "last"}},  // no line end after the last one
      {"one\ntwo\n", {"one\ntwo\n"}},            // LF alone does not end a line
      {"a\rXb\r", {"a", "b"}},                   // whatever follows a CR is skipped
      {"end\r", {"end"}},
  };
  for (const Case& c : cases) EXPECT_EQ(lx::ParseHistory(c.bytes), c.entries) << c.bytes;
}

TEST(FrameHistory, TheFileReadsBackAsTheEntriesItWasWrittenFrom) {
  std::vector<std::string> entries = {"gfslMount /a", "", "init LXLLD", "one\ntwo"};
  std::string text = lx::HistoryText(entries);
  EXPECT_EQ(text, "gfslMount /a\r\ninit LXLLD\r\none\ntwo\r\n");
  EXPECT_EQ(lx::ParseHistory(text), (std::vector<std::string>{"gfslMount /a", "init LXLLD", "one\ntwo"}));
}

TEST(FrameLayout, BarsTheDefaultPanesAndTheCenterTakeTheirPlaces) {
  lx::FrameLayoutInput in;
  in.width = 1000;
  in.height = 700;
  in.toolbarHeight = 30;
  in.statusHeight = 20;
  in.tabsHeight = 24;
  std::vector<lx::dock::Pane> panes = lx::DefaultFramePanes();
  lx::FrameLayout l = lx::ComputeFrameLayout(in, panes);
  auto same = [](const lx::dock::Rect& r) { return FrameRect{r.left, r.top, r.right, r.bottom}; };
  EXPECT_EQ(l.toolbar, (FrameRect{0, 0, 1000, 30}));
  EXPECT_EQ(l.status, (FrameRect{0, 680, 1000, 700}));
  EXPECT_EQ(l.dockArea, (FrameRect{0, 30, 1000, 680}));
  EXPECT_EQ(same(l.dock.panes[0]), (FrameRect{0, 30, 200, 680}));     // the tree, the whole height
  EXPECT_EQ(same(l.dock.panes[1]), (FrameRect{204, 520, 600, 680}));  // editor and log side by side
  EXPECT_EQ(same(l.dock.panes[2]), (FrameRect{604, 520, 1000, 680}));
  EXPECT_EQ(l.tabs, (FrameRect{204, 30, 1000, 54}));
  EXPECT_EQ(l.client, (FrameRect{204, 54, 1000, 516}));

  // The bottom row is as tall as the user made it, not a share of the frame's height.
  panes[1].height = panes[2].height = 400;
  panes[0].visible = false;
  panes[2].visible = false;
  in.toolbarHeight = 0;
  l = lx::ComputeFrameLayout(in, panes);
  EXPECT_EQ(same(l.dock.panes[1]), (FrameRect{0, 280, 1000, 680}));
  EXPECT_EQ(l.client, (FrameRect{0, 24, 1000, 276}));
}

TEST(FrameLayout, ATinyFrameGivesNoNegativeSizes) {
  for (int height : {0, 10, 40, 100}) {
    lx::FrameLayoutInput in;
    in.width = 50;
    in.height = height;
    in.toolbarHeight = 30;
    in.statusHeight = 20;
    in.tabsHeight = 24;
    lx::FrameLayout l = lx::ComputeFrameLayout(in, lx::DefaultFramePanes());
    for (const FrameRect& r : {l.toolbar, l.status, l.dockArea, l.tabs, l.client}) {
      EXPECT_LE(r.left, r.right) << height;
      EXPECT_LE(r.top, r.bottom) << height;
    }
    for (const lx::dock::Rect& r : l.dock.panes) {
      EXPECT_LE(r.left, r.right) << height;
      EXPECT_LE(r.top, r.bottom) << height;
    }
  }
}
