#include "window_place_win.h"

#include "window_place.h"

namespace lx {

bool PlaceInFrameClient(HWND window, HWND frame) {
  if (!window || !frame || !::IsWindow(window) || !::IsWindow(frame)) return false;
  // The area of the thread windows, below the toolbar and the tabs, where the frame has one.
  HWND area = ::FindWindowExA(frame, nullptr, "MDIClient", nullptr);
  if (!area || !::IsWindowVisible(area)) area = frame;
  RECT client, own;
  if (!::GetClientRect(area, &client) || !::GetWindowRect(window, &own)) return false;
  ::MapWindowPoints(area, nullptr, reinterpret_cast<POINT*>(&client), 2);
  PlacePoint at = PlaceInside({client.left, client.top, client.right, client.bottom}, own.right - own.left,
                              own.bottom - own.top, 24);
  return ::SetWindowPos(window, nullptr, at.x, at.y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE) != FALSE;
}

}  // namespace lx
