#include "explorers.h"

#include "app.h"
#include "device_api.h"
#include "device_ops.h"
#include "lumivex/prompt.h"

// ---- the frame's commands -----------------------------------------------------------------------
void ToggleDeviceExplorer(CWnd* frame) {
  CBrambApp* app = GetBrambApp();
  int kind = app ? app->m_Options.DeviceKind : 0;
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
               nullptr, LX_MB_OK);
  return false;
}
