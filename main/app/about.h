// The About box of the application's About command.
#pragma once
#include "lxmfc.h"
#include "resource.h"

class CAboutDlg : public CDialog {
 public:
  CAboutDlg() : CDialog(IDD_ABOUTBOX) {}
  BOOL OnInitDialog() override;
  void DoDataExchange(CDataExchange* dx) override { DDX_Text(dx, IDC_ABOUT_VERSION, m_Version); }
  CString m_Version;
};

void OnAppAbout();
