// The find, import and export dialogs of the NAND explorer.
#pragma once
#include <cstdint>

#include "veltan_explorer.h"

class CVeltanFindDlg : public CDialog {
 public:
  explicit CVeltanFindDlg(CVeltanExplorerDlg* explorer) : CDialog(IDD_VX_FIND, nullptr), m_pExplorer(explorer) {}
  BOOL OnInitDialog() override;
  void DoDataExchange(CDataExchange* dx) override;
  BOOL OnCommand(WPARAM wp, LPARAM lp) override;
  // "Close" has the id IDOK; Enter in the fields presses the default button, "Find next".
  void OnOK() override { OnClose(); }
  void OnCancel() override { OnClose(); }
  // The explorer owns the window while it exists; after it, the window deletes itself.
  void PostNcDestroy() override {
    if (!m_pExplorer) delete this;
  }
  void OnFindNext();
  void OnStop() { m_bRunning = false; }
  void OnClose();
  void SetProgress(int percent);

  CVeltanExplorerDlg* m_pExplorer;
  lx::VeltanFind m_Search;
  uint32_t m_StartPage = 0;
  CString m_Pattern;
  int m_LastPage = 0;
  int m_Kind = 0;   // 0 ASCII, 1 hexadecimal
  int m_Range = 0;  // 0 the current page, 1 from the current position
  int m_Difference = 0;
  bool m_bRunning = false;

 private:
  void ButtonsIdle(bool idle);
};

// Import (modal) and export (modal) share their fields.
class CVeltanTransferDlg : public CDialog {
 public:
  CVeltanTransferDlg(UINT templateId, uint32_t firstPage, uint32_t spare, CWnd* parent)
      : CDialog(templateId, parent), m_FirstPage(static_cast<int>(firstPage)), m_SpareSize(spare) {}
  BOOL OnInitDialog() override;
  void DoDataExchange(CDataExchange* dx) override;
  BOOL OnCommand(WPARAM wp, LPARAM lp) override;
  virtual void OnBrowse() = 0;
  virtual void Run() = 0;

  CString m_FileName;
  CString m_FileInfo;
  int m_FirstPage;
  int m_PageCount = 1;
  int m_SkipSpare = 1;
  uint32_t m_SpareSize;
  uint32_t m_TotalPages = 0;

 protected:
  bool ReadFields(lx::VeltanTransfer* transfer);
};

class CVeltanImportDlg : public CVeltanTransferDlg {
 public:
  CVeltanImportDlg(uint32_t firstPage, uint32_t spare, lx::CVeltanBlockTable* table, CWnd* parent)
      : CVeltanTransferDlg(IDD_VX_IMPORT, firstPage, spare, parent), m_pBlockTable(table) {}
  BOOL OnInitDialog() override;
  void DoDataExchange(CDataExchange* dx) override;
  void OnBrowse() override;
  void Run() override { OnImportPages(); }
  void OnImportPages();
  lx::CVeltanBlockTable* m_pBlockTable;
  int m_Policy = 0;
};

class CVeltanExportDlg : public CVeltanTransferDlg {
 public:
  CVeltanExportDlg(uint32_t firstPage, uint32_t spare, CWnd* parent)
      : CVeltanTransferDlg(IDD_VX_EXPORT, firstPage, spare, parent) {}
  void OnBrowse() override;
  void Run() override { OnExportPages(); }
  void OnExportPages();
};
