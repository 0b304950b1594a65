// Small modal dialogs that other parts fill and show.
#pragma once
#include "lxmfc.h"
#include "info_resource.h"

// A heading and a long multi-line report.
class CInfoDlg : public CDialog {
 public:
  CInfoDlg();
  BOOL OnInitDialog() override;
  void DoDataExchange(CDataExchange* dx) override;
  CString m_Heading;
  CString m_Body;

 private:
  CFont font_;
};

// The device module's last error.
class CInfoErrorDlg : public CDialog {
 public:
  CInfoErrorDlg() : CDialog(IDD_INFO_ERROR) {}
  void DoDataExchange(CDataExchange* dx) override;
  CString m_Heading;
  CString m_Text;
};

// One line of input; after IDOK m_Input holds the typed text.
class CGeneralInputDlg : public CDialog {
 public:
  CGeneralInputDlg(const char* caption, const char* prompt)
      : CDialog(IDD_GENERAL_INPUT), m_Caption(caption), m_Prompt(prompt) {}
  BOOL OnInitDialog() override;
  void DoDataExchange(CDataExchange* dx) override;
  CString m_Caption;
  CString m_Prompt;
  CString m_Input;
};

// The analyzer module's information text (owned by the caller).
class CInfoVyrDlg : public CDialog {
 public:
  explicit CInfoVyrDlg(CWnd* parent = nullptr);
  BOOL OnInitDialog() override;
  const char* m_pText = nullptr;

 private:
  CFont font_;
};

// Reads gfslGetLastError into a cleared buffer and shows it in CInfoErrorDlg.
void ShowLastDeviceError();
