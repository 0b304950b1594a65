#include "explorers.h"

#include "device_api.h"
#include "device_ops.h"
#include "lumivex/prompt.h"
#include "tool_host.h"
#include "program_context.h"

// ---- the frame's commands -----------------------------------------------------------------------
void ToggleDeviceExplorer(CWnd* frame) {
  lx::ProgramContext* program = lx::Program();
  int kind = program ? program->DeviceKind() : 0;
  if (kind == 0) {
    ToggleVeltanExplorer(frame);
    return;
  }
  if (GetNorExplorer()) {
    DestroyNorExplorer();
    return;
  }
  CreateNorExplorer(frame, lx::FrameDevice().DeviceCode);
}

void DestroyExplorers(CWnd*) {
  CloseNorResetDialog();
  CHexExplorer::CloseAllWithTheFrame();
}

bool ExplorersLetTheFrameClose(CWnd* frame) {
  if (!CHexExplorer::AnyHoldsTheFrame()) return true;
  LxMessageBox(frame ? frame->m_hWnd : nullptr, "Please stop the running operation of the device explorer first.",
               lx::ToolCaption(nullptr), LX_MB_OK);
  return false;
}
