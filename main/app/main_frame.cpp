#include "main_frame.h"

#include <cstring>

#include "device_state.h"
#include "splash.h"

BOOL CMainFrame::CreateFrame() {
  WNDCLASSA cls;
  if (!GetClassInfoA(AfxGetInstanceHandle(), LX_MAIN_FRAME_CLASS, &cls)) {
    std::memset(&cls, 0, sizeof cls);
    cls.lpfnWndProc = DefWindowProcA;
    cls.hInstance = AfxGetInstanceHandle();
    cls.hCursor = LoadCursor(nullptr, IDC_ARROW);
    cls.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_APPWORKSPACE + 1);
    cls.lpszClassName = LX_MAIN_FRAME_CLASS;
    cls.hIcon = LoadIcon(nullptr, IDI_APPLICATION);
    if (!RegisterClassA(&cls)) return FALSE;
  }
  HWND hwnd = CreateWindowExA(0, LX_MAIN_FRAME_CLASS, "Lumivex", WS_OVERLAPPEDWINDOW, CW_USEDEFAULT, CW_USEDEFAULT,
                              900, 640, nullptr, nullptr, AfxGetInstanceHandle(), nullptr);
  if (!hwnd || !SubclassWindow(hwnd)) return FALSE;
  RECT client;
  GetClientRect(&client);
  if (!m_wndLog.Create(0x503008C4, client, this, 32798)) {
    ::DestroyWindow(hwnd);
    return FALSE;
  }
  autoDelete_ = true;
  return TRUE;
}

bool CMainFrame::IsDeviceOpen() const { return lx::GetDeviceState() == lx::kDeviceOpen; }

void CMainFrame::CloseSplash() {
  CBrambApp* app = GetBrambApp();
  if (app && app->m_pSplash) {
    app->m_pSplash->ShowWindow(SW_HIDE);
    app->m_pSplash->DestroyWindow();
    delete app->m_pSplash;
    app->m_pSplash = nullptr;
  }
  KillTimer(1);
}

LRESULT CMainFrame::WindowProc(UINT msg, WPARAM wp, LPARAM lp) {
  switch (msg) {
    case WM_SIZE:
      if (m_wndLog.m_hWnd) ::MoveWindow(m_wndLog.m_hWnd, 0, 0, LOWORD(lp), HIWORD(lp), TRUE);
      break;
    case WM_TIMER:
      if (wp == 1) {
        CloseSplash();
        return 0;
      }
      break;
    case WM_DESTROY: {
      CBrambApp* app = GetBrambApp();
      if (app && app->m_pFrameServices == this) app->m_pFrameServices = nullptr;
      if (app && app->m_pMainWnd == this) app->m_pMainWnd = nullptr;
      PostQuitMessage(0);
      break;
    }
    default:
      break;
  }
  return CWnd::WindowProc(msg, wp, lp);
}
