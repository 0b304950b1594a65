#include "info_dialogs.h"

#include <cstring>

#include "device_api.h"

namespace {
void MakeReportFont(CFont& font) {
  LOGFONTA logFont;
  std::memset(&logFont, 0, sizeof logFont);
  logFont.lfHeight = 12;
  lstrcpynA(logFont.lfFaceName, "MS Gothic", LF_FACESIZE);
  font.CreateFontIndirect(&logFont);
}
}  // namespace

CInfoDlg::CInfoDlg() : CDialog(IDD_INFO) { MakeReportFont(font_); }

void CInfoDlg::DoDataExchange(CDataExchange* dx) { DDX_Text(dx, IDC_INFO_HEADING, m_Heading); }

BOOL CInfoDlg::OnInitDialog() {
  CDialog::OnInitDialog();
  if (CWnd* body = GetDlgItem(IDC_INFO_BODY)) {
    body->SetFont(&font_);
    body->SetWindowText(m_Body);
  }
  UpdateData(FALSE);
  return TRUE;
}

void CInfoErrorDlg::DoDataExchange(CDataExchange* dx) {
  DDX_Text(dx, IDC_ERROR_HEADING, m_Heading);
  DDX_Text(dx, IDC_ERROR_TEXT, m_Text);
}

void CGeneralInputDlg::DoDataExchange(CDataExchange* dx) {
  DDX_Text(dx, IDC_INPUT_PROMPT, m_Prompt);
  DDX_Text(dx, IDC_INPUT_TEXT, m_Input);
}

BOOL CGeneralInputDlg::OnInitDialog() {
  CDialog::OnInitDialog();
  SetWindowText(m_Caption);
  return TRUE;
}

CInfoVyrDlg::CInfoVyrDlg(CWnd* parent) : CDialog(IDD_INFO_VYR, parent) { MakeReportFont(font_); }

BOOL CInfoVyrDlg::OnInitDialog() {
  CDialog::OnInitDialog();
  if (CWnd* edit = GetDlgItem(IDC_INFO_BODY)) {
    edit->SetFont(&font_);
    edit->SetWindowText(m_pText ? m_pText : "");
  }
  return TRUE;
}

void ShowLastDeviceError() {
  // A module that has no text for its code leaves the buffer alone: show nothing stale.
  char text[512];
  std::memset(text, 0, sizeof text);
  int code = DeviceApiTable.gfslGetLastError(text, sizeof text);
  text[sizeof text - 1] = '\0';
  CInfoErrorDlg dialog;
  dialog.m_Heading.Format("Error Code: %ld (0x%08X)", static_cast<long>(code), static_cast<unsigned>(code));
  dialog.m_Text = text;
  dialog.DoModal();
}
