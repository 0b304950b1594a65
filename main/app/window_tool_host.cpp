#include "window_tool_host.h"

#include "app.h"
#include "lumivex/prompt.h"

int CWindowToolHost::Ask(const std::string& text, const char* caption, unsigned type) {
  return LxMessageBox(owner_ ? owner_->m_hWnd : nullptr, text.c_str(), lx::ToolCaption(caption), type);
}

void CWindowToolHost::BeginBusy() {
  if (busy_++ > 0) return;
  saved_ = ::SetCursor(::LoadCursor(nullptr, IDC_WAIT));
  StartProgressAnimation();
}

void CWindowToolHost::EndBusy() {
  if (busy_ == 0 || --busy_ > 0) return;
  StopProgressAnimation();
  ::SetCursor(saved_ ? saved_ : ::LoadCursor(nullptr, IDC_ARROW));
}
