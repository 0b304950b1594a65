#include "explorers.h"

#include "app.h"
#include "device_api.h"
#include "device_ops.h"

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
  DestroyVeltanExplorer();
  if (CNorExplorerDlg* nor = GetNorExplorer()) {
    if (nor->m_pFindDlg) nor->m_pFindDlg->Stop();
    nor->m_Busy = 0;
    nor->DestroyWindow();
  }
}
