// TarnRookUpdate.exe: the firmware updater's application object.
#include "lxmfc.h"

#include <objbase.h>

#include "resource.h"
#include "update_dlg.h"

class CTarnRookUpdateApp : public CWinApp {
 public:
  CTarnRookUpdateApp() : CWinApp("TarnRookUpdate") {}
  BOOL InitInstance() override {
    CoInitialize(nullptr);
    INITCOMMONCONTROLSEX icc = {sizeof icc, 0xFF};
    InitCommonControlsEx(&icc);
    SetRegistryKey("Local AppWizard-Generated Applications");
    {
      CTarnRookUpdateDlg dialog;
      m_pMainWnd = &dialog;
      dialog.DoModal();
      m_pMainWnd = nullptr;
    }
    CoUninitialize();
    return FALSE;
  }
};

CTarnRookUpdateApp theApp;

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR commandLine, int show) {
  return AfxWinMain(instance, commandLine, show);
}
