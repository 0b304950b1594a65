#include "about.h"

#include "app.h"

BOOL CAboutDlg::OnInitDialog() {
  if (CBrambApp* app = GetBrambApp()) app->GetFileVersionText(m_Version);
  return CDialog::OnInitDialog();
}

void OnAppAbout() {
  CAboutDlg dialog;
  dialog.DoModal();
}
