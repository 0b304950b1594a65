#include "window_tool_host.h"

#include "lumivex/prompt.h"

int WindowToolAsk(CWnd* owner, const std::string& text, const char* caption, unsigned type) {
  return LxMessageBox(owner ? owner->m_hWnd : nullptr, text.c_str(), lx::ToolCaption(caption), type);
}
