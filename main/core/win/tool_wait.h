// The Windows side every tool shares while it works in a loop on the window thread: the one
// message pump and the wait cursor.
#pragma once
#include <windows.h>

namespace lx {

// Dispatches at most maxCount waiting messages of the calling thread, each through the
// application's keyboard handling first (a dialog's Esc, the frame's accelerators), as the
// program's own loop would, so that a long copy or search stays responsive and can be
// stopped. A WM_QUIT is put back for the program's own loop.
void PumpMessages(int maxCount);

// The wait cursor for the scope of a piece of work; with showProgress the frame's progress
// animation runs for the same scope.
class WaitCursor {
 public:
  explicit WaitCursor(bool showProgress = false);
  ~WaitCursor();
  WaitCursor(const WaitCursor&) = delete;
  WaitCursor& operator=(const WaitCursor&) = delete;

 private:
  HCURSOR old_;
  bool progress_;
};

}  // namespace lx
