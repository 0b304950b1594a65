#include "lumivex/grid_model.h"

#include <algorithm>

namespace lx {

namespace {
constexpr int kDefaultColWidthTwips = 960;
const std::string kEmpty;

// A decimal number, as general alignment recognises one: optional sign, digits, one point.
bool IsNumber(const std::string& text) {
  size_t i = text.find_first_not_of(' ');
  if (i == std::string::npos) return false;
  if (text[i] == '+' || text[i] == '-') ++i;
  bool digits = false, point = false;
  for (; i < text.size() && text[i] != ' '; ++i) {
    if (text[i] >= '0' && text[i] <= '9')
      digits = true;
    else if (text[i] == '.' && !point)
      point = true;
    else
      return false;
  }
  return digits && text.find_first_not_of(' ', i) == std::string::npos;
}
}  // namespace

GridModel::GridModel() { Resize(rows_, cols_); }

void GridModel::Resize(int rows, int cols) {
  rows = std::max(rows, 1);
  cols = std::max(cols, 1);
  if (rows == rows_ && cols == cols_ && !cells_.empty()) return;
  std::vector<Cell> cells(size_t(rows) * size_t(cols));
  if (!cells_.empty()) {
    int keepRows = std::min(rows, rows_), keepCols = std::min(cols, cols_);
    for (int r = 0; r < keepRows; ++r)
      for (int c = 0; c < keepCols; ++c) cells[size_t(r) * size_t(cols) + size_t(c)] = std::move(cells_[Index(r, c)]);
  }
  cells_.swap(cells);
  rows_ = rows;
  cols_ = cols;
  colWidth_.resize(size_t(cols), kDefaultColWidthTwips);
  colAlign_.resize(size_t(cols), kGridAlignGeneral);
  fixedRows_ = std::min(fixedRows_, rows_);
  fixedCols_ = std::min(fixedCols_, cols_);
  ClampPositions();
}

void GridModel::SetRows(int rows) { Resize(rows, cols_); }
void GridModel::SetCols(int cols) { Resize(rows_, cols); }

void GridModel::SetFixedRows(int fixed) {
  fixedRows_ = std::clamp(fixed, 0, rows_);
  ClampPositions();
}

void GridModel::SetFixedCols(int fixed) {
  fixedCols_ = std::clamp(fixed, 0, cols_);
  ClampPositions();
}

bool GridModel::SetText(int row, int col, const std::string& text) {
  if (!IsCell(row, col)) return false;
  cells_[Index(row, col)].text = text;
  return true;
}

const std::string& GridModel::Text(int row, int col) const {
  return IsCell(row, col) ? cells_[Index(row, col)].text : kEmpty;
}

bool GridModel::SetBackColor(int row, int col, uint32_t color) {
  if (!IsCell(row, col)) return false;
  cells_[Index(row, col)].back = color;
  return true;
}

uint32_t GridModel::BackColor(int row, int col) const {
  return IsCell(row, col) ? cells_[Index(row, col)].back : kGridDefaultColor;
}

void GridModel::SetColWidthTwips(int col, int twips) {
  if (col < 0 || col >= cols_) return;
  colWidth_[size_t(col)] = std::max(twips, 0);
  ClampPositions();
}

int GridModel::ColWidthTwips(int col) const { return col >= 0 && col < cols_ ? colWidth_[size_t(col)] : 0; }
int GridModel::ColWidthPixels(int col) const { return ColWidthTwips(col) / kTwipsPerPixel; }

void GridModel::SetRowHeightPixels(int pixels) {
  rowHeight_ = std::max(pixels, 1);
  ClampPositions();
}

void GridModel::SetColAlignment(int col, int alignment) {
  if (col >= 0 && col < cols_) colAlign_[size_t(col)] = alignment;
}

int GridModel::ColAlignment(int col) const {
  return col >= 0 && col < cols_ ? colAlign_[size_t(col)] : kGridAlignGeneral;
}

GridHorizontal GridModel::HorizontalAlignment(int row, int col) const {
  int align = ColAlignment(col);
  if (align == kGridAlignGeneral) return IsNumber(Text(row, col)) ? kGridRight : kGridLeft;
  if (align >= 6 && align <= 8) return kGridRight;
  if (align >= 3 && align <= 5) return kGridCenter;
  return kGridLeft;
}

void GridModel::SetViewport(int width, int height) {
  viewWidth_ = std::max(width, 0);
  viewHeight_ = std::max(height, 0);
  ClampPositions();
}

int GridModel::FixedWidth() const {
  int width = 0;
  for (int c = 0; c < fixedCols_; ++c) width += ColWidthPixels(c);
  return width;
}

int GridModel::MaxTopRow() const {
  int fit = std::max(1, (viewHeight_ - FixedHeight()) / rowHeight_);
  return std::max(fixedRows_, rows_ - fit);
}

int GridModel::MaxLeftCol() const {
  int room = viewWidth_ - FixedWidth();
  int col = cols_ - 1;
  // Walk back from the last column while the columns still fit beside the fixed ones.
  for (int used = ColWidthPixels(col); col > fixedCols_ && used + ColWidthPixels(col - 1) <= room; --col)
    used += ColWidthPixels(col - 1);
  return std::max(fixedCols_, col);
}

void GridModel::ClampPositions() {
  topRow_ = std::clamp(topRow_, fixedRows_, MaxTopRow());
  leftCol_ = std::clamp(leftCol_, fixedCols_, MaxLeftCol());
  row_ = std::clamp(row_, 0, rows_ - 1);
  col_ = std::clamp(col_, 0, cols_ - 1);
}

bool GridModel::SetTopRow(int row) {
  int old = topRow_;
  topRow_ = std::clamp(row, fixedRows_, MaxTopRow());
  return topRow_ != old;
}

bool GridModel::SetLeftCol(int col) {
  int old = leftCol_;
  leftCol_ = std::clamp(col, fixedCols_, MaxLeftCol());
  return leftCol_ != old;
}

bool GridModel::SetCurrent(int row, int col) {
  row = std::clamp(row, 0, rows_ - 1);
  col = std::clamp(col, 0, cols_ - 1);
  bool changed = row != row_ || col != col_;
  row_ = row;
  col_ = col;
  return changed;
}

bool GridModel::ShowCurrent() {
  bool scrolled = false;
  if (row_ >= fixedRows_) {
    int fit = std::max(1, (viewHeight_ - FixedHeight()) / rowHeight_);
    if (row_ < topRow_)
      scrolled |= SetTopRow(row_);
    else if (row_ >= topRow_ + fit)
      scrolled |= SetTopRow(row_ - fit + 1);
  }
  if (col_ >= fixedCols_) {
    if (col_ < leftCol_) {
      scrolled |= SetLeftCol(col_);
    } else {
      GridRect r = CellRect(row_, col_);
      while (r.left + r.width > viewWidth_ && leftCol_ < col_ && SetLeftCol(leftCol_ + 1)) {
        scrolled = true;
        r = CellRect(row_, col_);
      }
    }
  }
  return scrolled;
}

GridRect GridModel::CellRect(int row, int col) const {
  GridRect r{0, 0, ColWidthPixels(col), rowHeight_};
  r.top = row < fixedRows_ ? row * rowHeight_ : FixedHeight() + (row - topRow_) * rowHeight_;
  if (col < fixedCols_) {
    for (int c = 0; c < col; ++c) r.left += ColWidthPixels(c);
  } else {
    r.left = FixedWidth();
    for (int c = leftCol_; c < col; ++c) r.left += ColWidthPixels(c);
    for (int c = col; c < leftCol_; ++c) r.left -= ColWidthPixels(c);
  }
  return r;
}

bool GridModel::HitTest(int x, int y, int* row, int* col) const {
  if (x < 0 || y < 0) return false;
  int r = y < FixedHeight() ? y / rowHeight_ : topRow_ + (y - FixedHeight()) / rowHeight_;
  if (r >= rows_) return false;
  int c = -1;
  for (int i : VisibleCols()) {
    GridRect cell = CellRect(0, i);
    if (x >= cell.left && x < cell.left + cell.width) {
      c = i;
      break;
    }
  }
  if (c < 0) return false;
  *row = r;
  *col = c;
  return true;
}

std::vector<int> GridModel::VisibleRows() const {
  std::vector<int> rows;
  for (int r = 0; r < fixedRows_; ++r) rows.push_back(r);
  for (int r = topRow_, y = FixedHeight(); r < rows_ && y < viewHeight_; ++r, y += rowHeight_) rows.push_back(r);
  return rows;
}

std::vector<int> GridModel::VisibleCols() const {
  std::vector<int> cols;
  int x = 0;
  for (int c = 0; c < fixedCols_; ++c) {
    cols.push_back(c);
    x += ColWidthPixels(c);
  }
  for (int c = leftCol_; c < cols_ && x < viewWidth_; ++c) {
    cols.push_back(c);
    x += ColWidthPixels(c);
  }
  return cols;
}

}  // namespace lx
