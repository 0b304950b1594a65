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

TEST(FrameLayout, BarsAndPanesTakeTheirFixedPlaces) {
  lx::FrameLayoutInput in;
  in.width = 1000;
  in.height = 700;
  in.toolbarHeight = 30;
  in.statusHeight = 20;
  in.treeWidth = 200;
  in.tabsHeight = 24;
  lx::FrameLayout l = lx::ComputeFrameLayout(in);
  EXPECT_EQ(l.toolbar, (FrameRect{0, 0, 1000, 30}));
  EXPECT_EQ(l.status, (FrameRect{0, 680, 1000, 700}));
  EXPECT_EQ(l.tree, (FrameRect{0, 30, 200, 680}));
  EXPECT_EQ(l.editor, (FrameRect{200, 464, 600, 680}));  // a third of the 650 pixels between the bars
  EXPECT_EQ(l.log, (FrameRect{600, 464, 1000, 680}));
  EXPECT_EQ(l.tabs, (FrameRect{200, 30, 1000, 54}));
  EXPECT_EQ(l.client, (FrameRect{200, 54, 1000, 464}));

  in.treeWidth = 0;
  in.log = false;
  in.height = 150;  // a small frame: the bottom pane keeps its 60 pixels
  l = lx::ComputeFrameLayout(in);
  EXPECT_EQ(l.tree, FrameRect{});
  EXPECT_EQ(l.log, FrameRect{});
  EXPECT_EQ(l.editor, (FrameRect{0, 70, 1000, 130}));
  EXPECT_EQ(l.client, (FrameRect{0, 54, 1000, 70}));
}

TEST(FrameLayout, ATinyFrameGivesNoNegativeSizes) {
  for (int height : {0, 10, 40, 100}) {
    lx::FrameLayoutInput in;
    in.width = 50;
    in.height = height;
    in.toolbarHeight = 30;
    in.statusHeight = 20;
    in.treeWidth = 200;
    in.tabsHeight = 24;
    lx::FrameLayout l = lx::ComputeFrameLayout(in);
    for (const FrameRect& r : {l.tree, l.editor, l.log, l.tabs, l.client}) {
      EXPECT_LE(r.left, r.right) << height;
      EXPECT_LE(r.top, r.bottom) << height;
    }
  }
}
