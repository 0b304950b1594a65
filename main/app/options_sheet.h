// The options sheet: five pages (two for beginners) over the options record.
#pragma once
#include <vector>

#include "lxmfc.h"
#include "options_record.h"
#include "resource.h"

// A path of the record edited on a page, with its Browse button and information label.
struct OptionsPathField {
  int edit;
  int info;
  int button;
  const char* filter;
  const char* extension;  // also "*.<extension>" as the initial name
  const char* subfolder;  // below the install folder, may be empty
  char (lx::OptionsRecord::*field)[lx::kOptionsPathSize];
};

// What every page does: copy its fields from the record at start, mark itself modified when
// a path is edited, browse for files, and on Apply copy back, save, then the framework's Apply.
class COptionsPageBase : public CPropertyPage {
 public:
  COptionsPageBase(UINT templateId, std::vector<OptionsPathField> paths);
  BOOL OnInitDialog() override;
  void DoDataExchange(CDataExchange* dx) override;
  BOOL OnCommand(WPARAM wp, LPARAM lp) override;
  BOOL OnApply() override;
  // The page's text of each path, in field order.
  std::vector<CString> m_Paths;

 protected:
  virtual void LoadExtras(const lx::OptionsRecord&) {}
  virtual void ExchangeExtras(CDataExchange*) {}
  virtual void StoreExtras(lx::OptionsRecord&) {}
  // After the save; answers the Apply.
  virtual BOOL AfterSave() { return CPropertyPage::OnApply(); }
  virtual void OnPathEdited(int) {}
  virtual void Browse(const OptionsPathField& field);
  bool PickFile(const OptionsPathField& field, CString& path);
  void TakePath(const OptionsPathField& field, const CString& path);
  void ShowFileInformation(int infoId, const char* path);

  std::vector<OptionsPathField> paths_;
  bool initialised_ = false;
};

class COptionsGeneralPage : public COptionsPageBase {
 public:
  COptionsGeneralPage();
  BOOL OnCommand(WPARAM wp, LPARAM lp) override;
  int m_Confirm = 0;

 protected:
  void LoadExtras(const lx::OptionsRecord& rec) override { m_Confirm = rec.ConfirmOperations ? 1 : 0; }
  void ExchangeExtras(CDataExchange* dx) override { DDX_Check(dx, IDC_CONFIRM_OPERATIONS, m_Confirm); }
  void StoreExtras(lx::OptionsRecord& rec) override { rec.ConfirmOperations = m_Confirm ? 1u : 0u; }
};

class COptionsExtfslibPage : public COptionsPageBase {
 public:
  COptionsExtfslibPage();
  BOOL OnInitDialog() override;
  BOOL OnCommand(WPARAM wp, LPARAM lp) override;
  // Refills the window-size list for a device kind and selects an entry.
  void FillWindowSizes(int kind, int selected);
  int m_Kind = 0;
  int m_WindowSize = 0;
  bool m_bLibraryChanged = false;

 protected:
  void LoadExtras(const lx::OptionsRecord& rec) override;
  void ExchangeExtras(CDataExchange* dx) override;
  void StoreExtras(lx::OptionsRecord& rec) override;
  BOOL AfterSave() override;
  void OnPathEdited(int) override { m_bLibraryChanged = true; }
  void Browse(const OptionsPathField& field) override;
};

class COptionsExtlldolldlibPage : public COptionsPageBase {
 public:
  COptionsExtlldolldlibPage();

 protected:
  BOOL AfterSave() override;
};

class COptionsExtVyrPage : public COptionsPageBase {
 public:
  COptionsExtVyrPage();
  int m_WithoutFsLibrary = 0;

 protected:
  void LoadExtras(const lx::OptionsRecord& rec) override { m_WithoutFsLibrary = rec.VyrWithoutFsLibrary ? 1 : 0; }
  void ExchangeExtras(CDataExchange* dx) override { DDX_Check(dx, IDC_VYR_WITHOUT_FS, m_WithoutFsLibrary); }
  void StoreExtras(lx::OptionsRecord& rec) override { rec.VyrWithoutFsLibrary = m_WithoutFsLibrary ? 1 : 0; }
};

class COptionsExttoolsPage : public COptionsPageBase {
 public:
  COptionsExttoolsPage();
};

class COptionsSheet : public CPropertySheet {
 public:
  // Pages by the application's user level: all five, or General and External FS Library.
  COptionsSheet(const char* caption, CWnd* parent = nullptr, UINT selectPage = 0);
  COptionsGeneralPage m_General;
  COptionsExtfslibPage m_ExtFsLib;
  COptionsExtlldolldlibPage m_Lld;
  COptionsExtVyrPage m_Vyr;
  COptionsExttoolsPage m_Tools;
};

// The Options command: a silent reload of setup.ini, then the sheet, modal, on the External FS
// Library page. Returns the sheet's result.
INT_PTR RunOptionsCommand();
