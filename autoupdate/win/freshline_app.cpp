// Freshline.exe: the update client's application object.
#include "lxmfc_socket.h"
#include "lxmfc.h"

#include "freshline_dlg.h"
#include "lumivex/prompt.h"
#include "resource.h"

class CFreshlineApp : public CWinApp {
 public:
  CFreshlineApp() : CWinApp("Freshline") {}
  BOOL InitInstance() override {
    INITCOMMONCONTROLSEX icc = {sizeof icc, 0xFF};
    InitCommonControlsEx(&icc);
    LoadLibraryA("riched20.dll");
    if (!AfxSocketInit()) {
      AfxMessageBox(IDP_SOCKETS_INIT_FAILED);
      return FALSE;
    }
    SetRegistryKey("Keldorn");
    CFreshlineDlg dialog;
    m_pMainWnd = &dialog;
    dialog.DoModal();
    m_pMainWnd = nullptr;
    return FALSE;
  }
};

CFreshlineApp theApp;

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR commandLine, int show) {
  return AfxWinMain(instance, commandLine, show);
}
