#include "splash.h"

BOOL CSplashWindowDlg::OnMessage(UINT msg, WPARAM wp, LPARAM lp, LRESULT* result) {
  if (msg == WM_LBUTTONDOWN) ShowWindow(SW_HIDE);  // then the click goes on as usual
  return CDialog::OnMessage(msg, wp, lp, result);
}
