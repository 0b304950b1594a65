#include <gtest/gtest.h>

#include "lumivex/grid_model.h"

using lx::GridModel;
using lx::GridRect;

namespace {

// The NOR explorer's layout: a label column, 16 byte columns and an ASCII column over 2,048 rows.
GridModel ExplorerGrid() {
  GridModel m;
  m.SetRows(2049);
  m.SetCols(18);
  m.SetColWidthTwips(0, 1200);   // 80 px
  for (int c = 1; c <= 16; ++c) m.SetColWidthTwips(c, 300);  // 20 px
  m.SetColWidthTwips(17, 2000);  // 133 px
  m.SetRowHeightPixels(16);
  m.SetViewport(400, 16 * 11);   // the header and ten rows
  return m;
}

TEST(GridModel, ResizingKeepsTheCellsThatRemain) {
  GridModel m;
  m.SetRows(4);
  m.SetCols(3);
  m.SetText(3, 2, "corner");
  m.SetBackColor(1, 1, 0x00C0FF);
  m.SetRows(10);
  EXPECT_EQ(m.Text(3, 2), "corner");
  EXPECT_EQ(m.BackColor(1, 1), 0x00C0FFu);
  m.SetCols(2);
  EXPECT_EQ(m.Text(3, 2), "");
  EXPECT_FALSE(m.SetText(3, 2, "gone"));
  m.SetCols(3);
  EXPECT_EQ(m.Text(3, 2), "");
  EXPECT_EQ(m.BackColor(9, 2), lx::kGridDefaultColor);
  m.SetRows(0);
  EXPECT_EQ(m.Rows(), 1);
  EXPECT_EQ(m.FixedRows(), 1);
  EXPECT_EQ(m.Text(-1, 0), "");
}

TEST(GridModel, ColumnWidthsAreTwipsAtFifteenPerPixel) {
  GridModel m = ExplorerGrid();
  EXPECT_EQ(m.ColWidthTwips(0), 1200);
  EXPECT_EQ(m.ColWidthPixels(0), 80);
  EXPECT_EQ(m.ColWidthPixels(17), 133);
  EXPECT_EQ(m.ColWidthTwips(18), 0);
  EXPECT_EQ(GridModel().ColWidthTwips(1), 960);  // a new column
}

TEST(GridModel, TheTopRowStaysWithinTheScrollableRows) {
  GridModel m = ExplorerGrid();
  EXPECT_EQ(m.TopRow(), 1);
  EXPECT_EQ(m.MaxTopRow(), 2049 - 10);
  struct Case {
    int request, top;
    bool changed;
  } cases[] = {{5, 5, true}, {5, 5, false}, {0, 1, true}, {-7, 1, false}, {2048, 2039, true}, {100000, 2039, false}};
  for (const Case& c : cases) {
    EXPECT_EQ(m.SetTopRow(c.request), c.changed) << c.request;
    EXPECT_EQ(m.TopRow(), c.top) << c.request;
  }
  // A taller window shows more rows, so the last possible top row moves up.
  m.SetViewport(400, 16 * 21);
  EXPECT_EQ(m.TopRow(), 2049 - 20);
  // Fewer rows than fit: nothing scrolls.
  m.SetRows(5);
  EXPECT_EQ(m.TopRow(), 1);
  EXPECT_EQ(m.MaxTopRow(), 1);
}

TEST(GridModel, CellGeometryFollowsTheScrollPosition) {
  GridModel m = ExplorerGrid();
  m.SetViewport(250, 16 * 11);  // not every column fits
  struct Case {
    int top, left, row, col;
    GridRect rect;
  } cases[] = {
      {1, 1, 0, 0, {0, 0, 80, 16}},         {1, 1, 1, 1, {80, 16, 20, 16}},
      {1, 1, 3, 5, {160, 48, 20, 16}},      {100, 1, 100, 0, {0, 16, 80, 16}},
      {100, 1, 105, 2, {100, 96, 20, 16}},  {100, 1, 0, 2, {100, 0, 20, 16}},   // the header row stays
      {100, 4, 100, 5, {100, 16, 20, 16}},  {100, 4, 100, 3, {60, 16, 20, 16}}, // scrolled out, under the labels
      {100, 1, 99, 1, {80, 0, 20, 16}},     // scrolled out above, under the header
  };
  for (const Case& c : cases) {
    m.SetTopRow(c.top);
    m.SetLeftCol(c.left);
    GridRect r = m.CellRect(c.row, c.col);
    EXPECT_EQ(r.left, c.rect.left) << c.row << "," << c.col;
    EXPECT_EQ(r.top, c.rect.top) << c.row << "," << c.col;
    EXPECT_EQ(r.width, c.rect.width) << c.row << "," << c.col;
    EXPECT_EQ(r.height, c.rect.height) << c.row << "," << c.col;
  }
}

TEST(GridModel, HitTestFindsTheCellUnderAPoint) {
  GridModel m = ExplorerGrid();
  m.SetTopRow(50);
  struct Case {
    int x, y;
    bool hit;
    int row, col;
  } cases[] = {{5, 5, true, 0, 0},    {85, 5, true, 0, 1},   {85, 17, true, 50, 1}, {399, 175, true, 59, 16},
               {-1, 5, false, 0, 0},  {5, -1, false, 0, 0},  {99, 40, true, 51, 1},  {100, 40, true, 51, 2}};
  for (const Case& c : cases) {
    int row = -1, col = -1;
    EXPECT_EQ(m.HitTest(c.x, c.y, &row, &col), c.hit) << c.x << "," << c.y;
    if (c.hit) {
      EXPECT_EQ(row, c.row) << c.x << "," << c.y;
      EXPECT_EQ(col, c.col) << c.x << "," << c.y;
    }
  }
  m.SetRows(3);  // below the last row there is no cell
  int row, col;
  EXPECT_FALSE(m.HitTest(85, 100, &row, &col));
}

TEST(GridModel, OnlyVisibleCellsAreDrawn) {
  GridModel m = ExplorerGrid();
  m.SetTopRow(2000);
  std::vector<int> rows = m.VisibleRows();
  ASSERT_EQ(rows.size(), 11u);
  EXPECT_EQ(rows.front(), 0);
  EXPECT_EQ(rows[1], 2000);
  EXPECT_EQ(rows.back(), 2009);
  std::vector<int> cols = m.VisibleCols();
  EXPECT_EQ(cols.size(), 17u);  // 80 px of labels and 16 byte columns fill 400 px
}

TEST(GridModel, GeneralAlignmentPutsNumbersRight) {
  GridModel m;
  m.SetRows(2);
  m.SetCols(4);
  struct Case {
    const char* text;
    lx::GridHorizontal across;
  } cases[] = {{"12345", lx::kGridRight}, {"-7", lx::kGridRight}, {" 3.25 ", lx::kGridRight},
               {"FP_gfslInit", lx::kGridLeft}, {"0A", lx::kGridLeft}, {"1.2.3", lx::kGridLeft},
               {"", lx::kGridLeft}, {"-", lx::kGridLeft}, {"0x10", lx::kGridLeft}};
  for (const Case& c : cases) {
    m.SetText(1, 1, c.text);
    EXPECT_EQ(m.HorizontalAlignment(1, 1), c.across) << c.text;
  }
  m.SetColAlignment(2, lx::kGridAlignRightCenter);
  m.SetColAlignment(3, lx::kGridAlignCenterCenter);
  m.SetText(1, 2, "TR_OP_READ_IN");
  EXPECT_EQ(m.HorizontalAlignment(1, 2), lx::kGridRight);
  EXPECT_EQ(m.HorizontalAlignment(1, 3), lx::kGridCenter);
  m.SetColAlignment(1, lx::kGridAlignLeftCenter);
  m.SetText(1, 1, "42");
  EXPECT_EQ(m.HorizontalAlignment(1, 1), lx::kGridLeft);
}

TEST(GridModel, ShowingTheCurrentCellScrollsJustEnough) {
  GridModel m = ExplorerGrid();
  m.SetViewport(250, 16 * 11);
  EXPECT_TRUE(m.SetCurrent(15, 12));
  EXPECT_TRUE(m.ShowCurrent());
  EXPECT_EQ(m.TopRow(), 6);  // row 15 at the bottom of ten rows
  GridRect r = m.CellRect(15, 12);
  EXPECT_LE(r.left + r.width, 250);
  EXPECT_GE(r.left, 80);
  EXPECT_FALSE(m.ShowCurrent());
  m.SetCurrent(2, 1);
  EXPECT_TRUE(m.ShowCurrent());
  EXPECT_EQ(m.TopRow(), 2);
  EXPECT_EQ(m.LeftCol(), 1);
  EXPECT_FALSE(m.SetCurrent(2, 1));
  m.SetCurrent(5000, -3);  // kept inside the grid
  EXPECT_EQ(m.Row(), 2048);
  EXPECT_EQ(m.Col(), 0);
}

}  // namespace
