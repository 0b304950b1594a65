#include "lxmfc_appdialog.h"

#include "lxmfc.h"

HICON LxSetUpAppDialog(HWND dialog, UINT iconId, UINT aboutString, UINT aboutCommand) {
  HMENU system = GetSystemMenu(dialog, FALSE);
  if (system) {
    CString about;
    about.LoadString(aboutString);
    if (!about.IsEmpty()) {
      AppendMenuA(system, MF_SEPARATOR, 0, nullptr);
      AppendMenuA(system, MF_STRING, aboutCommand, about);
    }
  }
  HICON icon = LoadIconA(AfxGetResourceHandle(), MAKEINTRESOURCEA(iconId));
  SendMessageA(dialog, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(icon));
  SendMessageA(dialog, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(icon));
  return icon;
}

BOOL LxAppDialogMessage(HWND dialog, HICON icon, UINT aboutCommand, UINT aboutTemplate, UINT msg, WPARAM wp,
                        LRESULT* result) {
  *result = 0;
  switch (msg) {
    case WM_SYSCOMMAND: {
      if ((wp & 0xFFF0) != aboutCommand) return FALSE;
      CDialog about(aboutTemplate);
      about.DoModal();
      return TRUE;
    }
    case WM_PAINT: {
      if (!IsIconic(dialog)) return FALSE;
      PAINTSTRUCT ps;
      HDC dc = BeginPaint(dialog, &ps);
      RECT r;
      GetClientRect(dialog, &r);
      DrawIcon(dc, (r.right - GetSystemMetrics(SM_CXICON) + 1) / 2, (r.bottom - GetSystemMetrics(SM_CYICON) + 1) / 2,
               icon);
      EndPaint(dialog, &ps);
      return TRUE;
    }
    case WM_QUERYDRAGICON:
      *result = reinterpret_cast<LRESULT>(icon);
      return TRUE;
    default:
      return FALSE;
  }
}
