// Docking panes without windows: where docked panes and their splitters lie in a frame's
// dock area, what a splitter drag or a drop does to the panes, and the layout as text for
// the registry. Portable: the toolkit's dock site calls it, native tests and a fuzzer too.
//
// A docked pane sits on one side of the area in a row. Rows are taken from the area in
// ascending row number (a smaller number lies nearer the frame's edge), so the first row
// spans the whole length of its side and later rows what earlier ones left. Panes of one row
// share its length in proportion to their shares; the row is as thick as its thickest pane.
// Hidden and floating panes take no room.
#pragma once
#include <cstddef>
#include <string>
#include <vector>

namespace lx {
namespace dock {

enum Side { kLeft = 0, kTop = 1, kRight = 2, kBottom = 3 };

struct Rect {
  int left = 0, top = 0, right = 0, bottom = 0;
  int Width() const { return right - left; }
  int Height() const { return bottom - top; }
  bool Contains(int x, int y) const { return x >= left && x < right && y >= top && y < bottom; }
  bool Empty() const { return right <= left || bottom <= top; }
  bool operator==(const Rect& o) const {
    return left == o.left && top == o.top && right == o.right && bottom == o.bottom;
  }
};

struct Pane {
  unsigned id = 0;
  Side side = kLeft;
  int row = 1;
  int width = 200;   // thickness while docked left or right
  int height = 150;  // thickness while docked at the top or bottom
  int share = 100;   // part of the row's length, relative to the row's other panes
  int order = 0;     // place in its row (ascending, then by place in the list)
  bool visible = true;
  bool floating = false;
  Rect floatRect;  // screen rectangle of the floating window
};

constexpr int kSplitter = 4;    // thickness of a splitter bar
constexpr int kMinPane = 24;    // a pane is never dragged thinner or shorter than this
constexpr int kMinCenter = 40;  // what the rows always leave of the area
constexpr int kEdgeDrop = 24;   // a drop this close to the area's edge docks on that side

struct Splitter {
  enum Kind { kThickness, kShare } kind = kThickness;
  Rect rect;
  size_t pane = 0;  // kThickness: a pane of the row; kShare: the pane before the splitter
  bool vertical = false;  // a vertical bar (dragged left and right)
};

struct Layout {
  Rect center;                  // what the rows leave: the MDI client and its tabs
  std::vector<Rect> panes;      // one per pane; empty for hidden and floating ones
  std::vector<Splitter> splitters;
};

Layout ComputeLayout(const Rect& area, const std::vector<Pane>& panes);

// The splitter under the point, or -1.
int SplitterAt(const Layout& layout, int x, int y);

// Moves splitter `index` of `layout` by the pointer's travel (dx, dy): a thickness splitter
// makes its row thicker or thinner, a share splitter moves length between its two panes.
// Both stop at kMinPane and, for thickness, where the center would get below kMinCenter.
void DragSplitter(std::vector<Pane>& panes, const Rect& area, const Layout& layout, size_t index, int dx, int dy);

// Where a pane dragged by its caption lands when released at the point (area coordinates).
struct Drop {
  enum Kind { kFloat, kEdge, kBeside } kind = kFloat;
  Side side = kLeft;  // kEdge
  size_t target = 0;  // kBeside: the docked pane whose row it joins, after that pane
};
Drop DropAt(const Rect& area, const Layout& layout, const std::vector<Pane>& panes, size_t dragged, int x, int y);

// Docks the pane as the outermost row of the side (visible, not floating).
void DockAtEdge(std::vector<Pane>& panes, size_t index, Side side);
// Docks the pane into the row of `target`, right after it.
void DockBeside(std::vector<Pane>& panes, size_t index, size_t target);
// Renumbers the rows 1, 2, ... in their order (row numbers stay small in the stored text).
void NormalizeRows(std::vector<Pane>& panes);

// The panes' layout as one line of text, and back. Parse fills only panes whose id is in
// `panes` already and leaves everything unchanged (returns false) when the text is not a
// whole, well-formed layout of this kind.
std::string SerializeLayout(const std::vector<Pane>& panes);
bool ParseLayout(const std::string& text, std::vector<Pane>& panes);

// Moves a floating rectangle so that at least its caption lies inside the screen's work
// area (a layout stored on a larger screen must not leave a window out of reach).
Rect KeepReachable(const Rect& window, const Rect& workArea);

}  // namespace dock
}  // namespace lx
