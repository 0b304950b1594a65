// Where a window of the program's own opens when nothing else says: inside the main frame's
// client area, below its menu and toolbar, never over them. Portable.
#pragma once

namespace lx {

struct PlaceRect {
  int left = 0, top = 0, right = 0, bottom = 0;
};

struct PlacePoint {
  int x = 0, y = 0;
};

// The top-left corner for a window of width x height inside `area` (screen coordinates): the
// area's corner moved in by `margin`, then pulled back so that the window ends inside the area
// where it fits; a window larger than the area starts at the area's own corner.
PlacePoint PlaceInside(const PlaceRect& area, int width, int height, int margin);

}  // namespace lx
