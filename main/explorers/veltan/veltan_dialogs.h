// The import and export dialogs of the NAND explorer (its find window is in veltan_explorer.h).
#pragma once
#include <cstdint>

#include "veltan_explorer.h"

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
