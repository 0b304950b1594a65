#include "bind_core.h"

#include "lumivex/prompt.h"

namespace lx {

// The stubs' box carries the application's default caption, the program title.
void ReportNotSupported(const char* text) { LxMessageBox(nullptr, text, "Lumivex", LX_MB_OK); }

}  // namespace lx
