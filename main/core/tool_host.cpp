#include "tool_host.h"

namespace lx {

int ToolHost::Ask(const std::string& text, const char* caption, unsigned type) {
  return LxMessageBox(nullptr, text.c_str(), ToolCaption(caption), type);
}

}  // namespace lx
