#include "tool_wait.h"

#include "lxmfc.h"
#include "program_context.h"

namespace lx {

void PumpMessages(int maxCount) {
  MSG msg;
  CWinApp* app = AfxGetApp();
  for (int handled = 0; handled < maxCount; ++handled) {
    if (!PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) break;
    if (msg.message == WM_QUIT) {
      // The frame went while a loop pumps: the quit is kept for the program's own loop.
      PostQuitMessage(static_cast<int>(msg.wParam));
      break;
    }
    if (app && app->PreTranslateMessage(&msg)) continue;
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
  }
}

WaitCursor::WaitCursor(bool showProgress)
    : old_(SetCursor(LoadCursor(nullptr, IDC_WAIT))), progress_(showProgress) {
  if (progress_) StartProgress();
}

WaitCursor::~WaitCursor() {
  if (progress_) StopProgress();
  // Without a cursor before (none set yet on this thread) the pointer would vanish.
  SetCursor(old_ ? old_ : LoadCursor(nullptr, IDC_ARROW));
}

}  // namespace lx
