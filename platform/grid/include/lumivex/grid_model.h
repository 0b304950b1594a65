// The cells, sizes, scroll position and current cell of a grid, without any window: the grid
// window paints and scrolls from this, and the native tests check it. Sizes in the public
// interface are twips (1/1440 inch), converted at a fixed 15 twips per pixel.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

namespace lx {

constexpr int kTwipsPerPixel = 15;
constexpr uint32_t kGridDefaultColor = 0xFFFFFFFFu;  // a cell without a colour of its own

// Column alignments, with the numbers the dialogs use.
enum GridAlignment : int {
  kGridAlignLeftCenter = 1,
  kGridAlignCenterCenter = 4,
  kGridAlignRightCenter = 7,
  kGridAlignGeneral = 9,  // numbers right, other text left
};

enum GridHorizontal : int { kGridLeft, kGridCenter, kGridRight };

struct GridRect {
  int left, top, width, height;  // pixels, relative to the grid's client area
};

class GridModel {
 public:
  GridModel();

  // Growing keeps every existing cell; shrinking drops the cells beyond. At least 1 x 1.
  void SetRows(int rows);
  void SetCols(int cols);
  int Rows() const { return rows_; }
  int Cols() const { return cols_; }
  void SetFixedRows(int fixed);
  void SetFixedCols(int fixed);
  int FixedRows() const { return fixedRows_; }
  int FixedCols() const { return fixedCols_; }

  bool IsCell(int row, int col) const { return row >= 0 && row < rows_ && col >= 0 && col < cols_; }
  bool SetText(int row, int col, const std::string& text);  // false outside the grid
  const std::string& Text(int row, int col) const;
  bool SetBackColor(int row, int col, uint32_t color);      // kGridDefaultColor clears it
  uint32_t BackColor(int row, int col) const;                // kGridDefaultColor when unset

  void SetColWidthTwips(int col, int twips);
  int ColWidthTwips(int col) const;
  int ColWidthPixels(int col) const;
  void SetRowHeightPixels(int pixels);  // every row; follows the font
  int RowHeightPixels() const { return rowHeight_; }
  void SetColAlignment(int col, int alignment);
  int ColAlignment(int col) const;
  // Where a cell's text goes across its width: alignments 0-2 are left, 3-5 centred, 6-8 right.
  GridHorizontal HorizontalAlignment(int row, int col) const;

  // The client area in pixels; it decides how far the grid can scroll.
  void SetViewport(int width, int height);
  int ViewportWidth() const { return viewWidth_; }
  int ViewportHeight() const { return viewHeight_; }

  // The first scrollable row and column shown. Both are kept within the scrollable range, and
  // no further than the position that shows the last row (column) at the bottom (right) edge.
  // Each returns true when the position changed.
  bool SetTopRow(int row);
  bool SetLeftCol(int col);
  int TopRow() const { return topRow_; }
  int LeftCol() const { return leftCol_; }
  int MaxTopRow() const;
  int MaxLeftCol() const;

  // The current cell; kept inside the grid. Returns true when it changed.
  bool SetCurrent(int row, int col);
  int Row() const { return row_; }
  int Col() const { return col_; }
  // Scrolls just enough to show the current cell; true when it scrolled.
  bool ShowCurrent();

  // Where a cell is drawn: fixed rows and columns stay put, the others move with the scroll
  // position. Cells scrolled out of view get a rectangle outside the client area.
  GridRect CellRect(int row, int col) const;
  // The cell under a client point; false outside every cell.
  bool HitTest(int x, int y, int* row, int* col) const;
  // Rows and columns that touch the viewport, fixed ones included, in drawing order.
  std::vector<int> VisibleRows() const;
  std::vector<int> VisibleCols() const;

 private:
  int FixedHeight() const { return fixedRows_ * rowHeight_; }
  int FixedWidth() const;
  size_t Index(int row, int col) const { return size_t(row) * size_t(cols_) + size_t(col); }
  void Resize(int rows, int cols);
  void ClampPositions();

  struct Cell {
    std::string text;
    uint32_t back = kGridDefaultColor;
  };
  int rows_ = 2, cols_ = 2, fixedRows_ = 1, fixedCols_ = 1;
  std::vector<Cell> cells_;
  std::vector<int> colWidth_;  // twips
  std::vector<int> colAlign_;
  int rowHeight_ = 16;
  int viewWidth_ = 0, viewHeight_ = 0;
  int topRow_ = 1, leftCol_ = 1;
  int row_ = 1, col_ = 1;
};

}  // namespace lx
