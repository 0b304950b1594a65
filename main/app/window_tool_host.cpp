#include "window_tool_host.h"

#include "app.h"
#include "lumivex/prompt.h"

int WindowToolAsk(CWnd* owner, const std::string& text, const char* caption, unsigned type) {
  return LxMessageBox(owner ? owner->m_hWnd : nullptr, text.c_str(), lx::ToolCaption(caption), type);
}

HCURSOR WindowToolBusyBegin() {
  HCURSOR saved = ::SetCursor(::LoadCursor(nullptr, IDC_WAIT));
  StartProgressAnimation();
  return saved;
}

void WindowToolBusyEnd(HCURSOR saved) {
  StopProgressAnimation();
  ::SetCursor(saved ? saved : ::LoadCursor(nullptr, IDC_ARROW));
}
