#include "window_place_win.h"

#include "window_place.h"

namespace lx {

bool PlaceInFrameClient(HWND window, HWND frame) {
  if (!window || !frame || !::IsWindow(window) || !::IsWindow(frame)) return false;
  RECT client, own;
  if (!::GetClientRect(frame, &client) || !::GetWindowRect(window, &own)) return false;
  ::MapWindowPoints(frame, nullptr, reinterpret_cast<POINT*>(&client), 2);
  PlaceRect area{client.left, client.top, client.right, client.bottom};
  PlacePoint at = PlaceInside(area, own.right - own.left, own.bottom - own.top, 24);
  return ::SetWindowPos(window, nullptr, at.x, at.y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE) != FALSE;
}

}  // namespace lx
