// Places a window of the program's own inside the main frame's client area (below the menu
// bar), for windows created without a parent that would otherwise open at the screen's corner.
#pragma once
#include <windows.h>

namespace lx {

// Moves `window` (not sizing it) into the client area of `frame`, the area of its thread windows
// when it has one; false when either is no window.
bool PlaceInFrameClient(HWND window, HWND frame);

}  // namespace lx
