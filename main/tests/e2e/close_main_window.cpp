// Waits for Lumivex's main window, takes its picture, and closes it the way a user would.
// Exit code 0 when the window came and went, 1 when it never came, 2 when it did not close.
#include <windows.h>

#include <cstdio>
#include <cstdlib>

#include "lumivex/testkit.h"

int main(int argc, char** argv) {
  const char* shot = argc > 1 ? argv[1] : nullptr;
  HWND frame = nullptr;
  for (int i = 0; i < 300 && !frame; ++i) {
    frame = FindWindowA("LumivexMainFrame", nullptr);
    if (!frame) Sleep(100);
  }
  if (!frame) {
    std::fprintf(stderr, "close_main_window: no main window\n");
    return 1;
  }
  // Let the start-up finish painting before the picture.
  Sleep(500);
  if (shot) LxSaveWindowShot(frame, shot);
  PostMessageA(frame, WM_CLOSE, 0, 0);
  for (int i = 0; i < 300; ++i) {
    if (!IsWindow(frame)) return 0;
    Sleep(100);
  }
  std::fprintf(stderr, "close_main_window: the main window stayed\n");
  return 2;
}
