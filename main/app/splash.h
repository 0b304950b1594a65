// The start-up window that shows the product name and version until the frame's timer fires.
#pragma once
#include "lxmfc.h"
#include "resource.h"

class CSplashWindowDlg : public CDialog {
 public:
  CSplashWindowDlg() : CDialog(IDD_SPLASH) {}
  BOOL Create(UINT templateId = IDD_SPLASH, CWnd* parent = nullptr) override {
    return CDialog::Create(templateId, parent);
  }
  void SetStatusText(const char* text) { SetDlgItemText(IDC_SPLASH_STATUS, text); }
  BOOL OnMessage(UINT msg, WPARAM wp, LPARAM lp, LRESULT* result) override;
};
