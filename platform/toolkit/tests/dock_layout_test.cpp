// Docking panes without windows: rows taken from the area, splitter drags, drops, and the
// layout text that the frame keeps in the registry.
#include <gtest/gtest.h>

#include "lxdock.h"

using namespace lx::dock;

namespace {

// The frame's default: the tree on the left (row 1), script editor and log side by side at
// the bottom (row 2).
std::vector<Pane> Default() {
  std::vector<Pane> panes(3);
  panes[0].id = 23368;
  panes[0].side = kLeft;
  panes[0].row = 1;
  panes[0].width = 200;
  panes[1].id = 32797;
  panes[1].side = kBottom;
  panes[1].row = 2;
  panes[1].height = 150;
  panes[2].id = 32798;
  panes[2].side = kBottom;
  panes[2].row = 2;
  panes[2].order = 1;
  panes[2].height = 150;
  return panes;
}

const Rect kArea = {0, 30, 1000, 680};

}  // namespace

TEST(DockLayout, RowsAreTakenFromTheAreaInOrderAndPanesShareTheirRow) {
  std::vector<Pane> panes = Default();
  Layout l = ComputeLayout(kArea, panes);
  EXPECT_EQ(l.panes[0], (Rect{0, 30, 200, 680}));  // the first row spans the whole side
  EXPECT_EQ(l.panes[1], (Rect{204, 530, 600, 680}));
  EXPECT_EQ(l.panes[2], (Rect{604, 530, 1000, 680}));
  EXPECT_EQ(l.center, (Rect{204, 30, 1000, 526}));
  ASSERT_EQ(l.splitters.size(), 3u);
  EXPECT_EQ(l.splitters[0].rect, (Rect{200, 30, 204, 680}));
  EXPECT_TRUE(l.splitters[0].vertical);
  EXPECT_EQ(l.splitters[1].rect, (Rect{204, 526, 1000, 530}));
  EXPECT_EQ(l.splitters[2].kind, Splitter::kShare);
  EXPECT_EQ(l.splitters[2].rect, (Rect{600, 530, 604, 680}));

  // Hidden and floating panes take no room; the other pane of the row takes all of it.
  panes[0].visible = false;
  panes[2].floating = true;
  l = ComputeLayout(kArea, panes);
  EXPECT_TRUE(l.panes[0].Empty());
  EXPECT_TRUE(l.panes[2].Empty());
  EXPECT_EQ(l.panes[1], (Rect{0, 530, 1000, 680}));
  EXPECT_EQ(l.center, (Rect{0, 30, 1000, 526}));

  // The bottom row docked outermost spans the whole width; the tree then stops above it.
  panes = Default();
  std::swap(panes[0].row, panes[1].row);
  panes[2].row = 1;
  l = ComputeLayout(kArea, panes);
  EXPECT_EQ(l.panes[1].left, 0);
  EXPECT_EQ(l.panes[2].right, 1000);
  EXPECT_EQ(l.panes[0], (Rect{0, 30, 200, 526}));
}

TEST(DockLayout, SmallAreasGiveNoNegativeSizesAndKeepTheCenter) {
  for (int height : {0, 10, 40, 100, 300}) {
    for (int width : {0, 50, 250}) {
      Rect area = {0, 0, width, height};
      Layout l = ComputeLayout(area, Default());
      for (const Rect& r : l.panes) {
        EXPECT_LE(r.left, r.right);
        EXPECT_LE(r.top, r.bottom);
      }
      EXPECT_GE(l.center.Width(), 0);
      EXPECT_GE(l.center.Height(), 0);
      if (width >= kMinCenter && height >= kMinCenter) {
        EXPECT_GE(l.center.Width(), kMinCenter) << width << "x" << height;
        EXPECT_GE(l.center.Height(), kMinCenter) << width << "x" << height;
      }
    }
  }
}

TEST(DockLayout, SplitterDragsResizeRowsAndMoveLengthBetweenNeighbours) {
  struct Case {
    const char* what;
    size_t splitter;
    int dx, dy;
    int treeWidth, bottomHeight, editorLength;
  } cases[] = {
      {"tree wider", 0, 80, 0, 280, 150, 356},
      {"tree narrower, stops at the minimum", 0, -500, 0, kMinPane, 150, 484},
      {"tree wider, stops where the center keeps its minimum", 0, 2000, 0, 1000 - 4 - kMinCenter, 150, 18},
      {"bottom row taller (drag up)", 1, 0, -100, 200, 250, 396},
      {"bottom row down to the minimum", 1, 0, 400, 200, kMinPane, 396},
      {"editor longer, log shorter", 2, 100, 0, 200, 150, 496},
      {"editor longer up to the log's minimum", 2, 1000, 0, 200, 150, 796 - 4 - kMinPane},
      {"editor shorter down to its minimum", 2, -1000, 0, 200, 150, kMinPane},
  };
  for (const Case& c : cases) {
    std::vector<Pane> panes = Default();
    Layout before = ComputeLayout(kArea, panes);
    DragSplitter(panes, kArea, before, c.splitter, c.dx, c.dy);
    Layout after = ComputeLayout(kArea, panes);
    EXPECT_EQ(after.panes[0].Width(), c.treeWidth) << c.what;
    EXPECT_EQ(after.panes[1].Height(), c.bottomHeight) << c.what;
    EXPECT_EQ(after.panes[2].Height(), c.bottomHeight) << c.what;  // one row, one thickness
    EXPECT_EQ(after.panes[1].Width(), c.editorLength) << c.what;
    EXPECT_EQ(after.panes[1].Width() + after.panes[2].Width() + kSplitter, 1000 - c.treeWidth - kSplitter) << c.what;
  }
}

TEST(DockLayout, DropsDockAtAnEdgeBesideAPaneOrFloat) {
  std::vector<Pane> panes = Default();
  Layout l = ComputeLayout(kArea, panes);
  struct Case {
    int x, y;
    Drop::Kind kind;
    Side side;
    size_t target;
  } cases[] = {
      {990, 300, Drop::kEdge, kRight, 0}, {500, 35, Drop::kEdge, kTop, 0},   {5, 300, Drop::kEdge, kLeft, 0},
      {500, 675, Drop::kEdge, kBottom, 0}, {800, 600, Drop::kBeside, kLeft, 2}, {100, 300, Drop::kBeside, kLeft, 0},
      {500, 300, Drop::kFloat, kLeft, 0},  {500, 10, Drop::kFloat, kLeft, 0},   // over the toolbar, outside the area
  };
  for (const Case& c : cases) {
    Drop d = DropAt(kArea, l, panes, 1, c.x, c.y);
    EXPECT_EQ(d.kind, c.kind) << c.x << "," << c.y;
    if (d.kind == Drop::kEdge) EXPECT_EQ(d.side, c.side) << c.x << "," << c.y;
    if (d.kind == Drop::kBeside) EXPECT_EQ(d.target, c.target) << c.x << "," << c.y;
  }
  // The dragged pane is no target of its own.
  EXPECT_EQ(DropAt(kArea, l, panes, 2, 800, 600).kind, Drop::kFloat);
}

TEST(DockLayout, DockingMovesAPaneToTheOutermostRowOrBesideAnother) {
  std::vector<Pane> panes = Default();
  DockAtEdge(panes, 2, kRight);  // the log to the right edge, full height
  Layout l = ComputeLayout(kArea, panes);
  EXPECT_EQ(l.panes[2], (Rect{800, 30, 1000, 680}));
  EXPECT_EQ(l.panes[0], (Rect{0, 30, 200, 680}));
  EXPECT_EQ(l.panes[1], (Rect{204, 530, 796, 680}));  // alone in the bottom row now
  EXPECT_EQ(panes[2].row, 1);

  // The tree beside the editor: one bottom row of two, the tree's length taken from the editor.
  DockBeside(panes, 0, 1);
  l = ComputeLayout(kArea, panes);
  EXPECT_EQ(panes[0].side, kBottom);
  EXPECT_EQ(l.panes[0].top, l.panes[1].top);
  EXPECT_EQ(l.panes[0].left, l.panes[1].right + kSplitter);
  EXPECT_EQ(l.panes[0].Height(), l.panes[1].Height());
  EXPECT_EQ(l.center.left, 0);

  // A floating pane docked again is shown and no longer floats.
  panes[1].floating = true;
  panes[1].visible = false;
  DockAtEdge(panes, 1, kTop);
  EXPECT_TRUE(panes[1].visible);
  EXPECT_FALSE(panes[1].floating);
  l = ComputeLayout(kArea, panes);
  EXPECT_EQ(l.panes[1].top, 30);
  EXPECT_EQ(l.panes[1].Width(), 1000);
}

TEST(DockLayout, TheLayoutTextRoundTripsAndBadTextChangesNothing) {
  std::vector<Pane> panes = Default();
  panes[0].visible = false;
  panes[1].floating = true;
  panes[1].floatRect = {-20, 40, 380, 340};
  panes[2].side = kRight;
  panes[2].width = 321;
  panes[2].share = 77;
  std::string text = SerializeLayout(panes);
  std::vector<Pane> back = Default();
  ASSERT_TRUE(ParseLayout(text, back));
  EXPECT_EQ(SerializeLayout(back), text);

  const char* bad[] = {
      "",
      "LXDOCK2;23368,0,1,0,200,150,100,1,0,0,0,0,0",
      "LXDOCK1;23368,0,1,0,200,150,100,1,0,0,0,0",           // a field short
      "LXDOCK1;23368,4,1,0,200,150,100,1,0,0,0,0,0",         // no fifth side
      "LXDOCK1;23368,0,1,0,200,150,0,1,0,0,0,0,0",           // a share of nothing
      "LXDOCK1;23368,0,1,0,200,150,100,2,0,0,0,0,0",         // a flag of 2
      "LXDOCK1;23368,0,1,0,200,150,100,1,0,10,10,5,20",      // right left of left
      "LXDOCK1;23368,0,1,0,2x0,150,100,1,0,0,0,0,0",         // not a number
      "LXDOCK1;23368,0,1,0,99999999999,150,100,1,0,0,0,0,0", // far too large
      "LXDOCK1;23368,0,1,0,200,150,100,1,0,0,0,0,0;23368,0,1,0,200,150,100,1,0,0,0,0,0",  // twice
  };
  for (const char* t : bad) {
    std::vector<Pane> p = panes;
    EXPECT_FALSE(ParseLayout(t, p)) << t;
    EXPECT_EQ(SerializeLayout(p), SerializeLayout(panes)) << t;
  }
  // A pane the program no longer has is passed over; the others are read.
  std::vector<Pane> p = Default();
  EXPECT_TRUE(ParseLayout("LXDOCK1;999,2,1,0,10,10,1,1,0,0,0,0,0;23368,2,5,0,210,150,100,1,0,0,0,0,0", p));
  EXPECT_EQ(p[0].side, kRight);
  EXPECT_EQ(p[0].width, 210);
  const std::vector<Pane> d = Default();
  EXPECT_EQ(SerializeLayout(std::vector<Pane>(p.begin() + 1, p.end())),
            SerializeLayout(std::vector<Pane>(d.begin() + 1, d.end())));
}

TEST(DockLayout, AFloatingWindowStoredOffScreenComesBackWithinReach) {
  const Rect work = {0, 0, 1280, 1000};
  struct Case {
    Rect stored, expected;
  } cases[] = {
      {{100, 100, 500, 400}, {100, 100, 500, 400}},        // on the screen: unchanged
      {{2000, 100, 2400, 400}, {1240, 100, 1640, 400}},    // right of the screen
      {{-900, 100, -500, 400}, {-360, 100, 40, 400}},      // left of it
      {{100, -300, 500, 0}, {100, 0, 500, 300}},           // above: the caption comes down
      {{100, 1500, 500, 1800}, {100, 960, 500, 1260}},     // below
      {{0, 0, 5, 5}, {0, 0, 2 * kMinPane, 2 * kMinPane}},  // too small to grab
  };
  for (const Case& c : cases) EXPECT_EQ(KeepReachable(c.stored, work), c.expected) << c.stored.left << "," << c.stored.top;
}
