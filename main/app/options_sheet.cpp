#include "options_sheet.h"

#include "app.h"
#include "lumivex/prompt.h"

namespace {

const char kDllFilterFs[] = "External Library Files (*.dll)|*.dll|All Files (*.*)|*.*||";
const char kDllFilterLld[] = "External Driver Files (*.dll)|*.dll|All Files (*.*)|*.*||";
const char kDllFilterVyr[] = "External Vyr Files (*.dll)|*.dll|All Files (*.*)|*.*||";
const char kExeFilter[] = "External Tool Files (*.exe)|*.exe|All Files (*.*)|*.*||";
const char kNoInformation[] = "File information:";

using Rec = lx::OptionsRecord;

}  // namespace

// ----- Shared page behaviour -----------------------------------------------------------------
COptionsPageBase::COptionsPageBase(UINT templateId, std::vector<OptionsPathField> paths)
    : CPropertyPage(templateId), m_Paths(paths.size()), paths_(std::move(paths)) {}

BOOL COptionsPageBase::OnInitDialog() {
  const Rec& rec = GetBrambApp()->m_Options;
  for (size_t i = 0; i < paths_.size(); ++i) m_Paths[i] = rec.*(paths_[i].field);
  LoadExtras(rec);
  CPropertyPage::OnInitDialog();
  for (const OptionsPathField& path : paths_) SetDlgItemText(path.info, kNoInformation);
  initialised_ = true;
  return TRUE;
}

void COptionsPageBase::DoDataExchange(CDataExchange* dx) {
  for (size_t i = 0; i < paths_.size(); ++i) DDX_Text(dx, paths_[i].edit, m_Paths[i]);
  ExchangeExtras(dx);
}

BOOL COptionsPageBase::OnCommand(WPARAM wp, LPARAM lp) {
  const int id = LOWORD(wp);
  const int code = HIWORD(wp);
  for (const OptionsPathField& path : paths_) {
    if (code == EN_CHANGE && id == path.edit) {
      // Filling the page at start-up is no edit.
      if (initialised_) {
        SetModified(TRUE);
        OnPathEdited(id);
      }
      return TRUE;
    }
    if (code == BN_CLICKED && id == path.button) {
      Browse(path);
      return TRUE;
    }
  }
  return CPropertyPage::OnCommand(wp, lp);
}

BOOL COptionsPageBase::OnApply() {
  UpdateData(TRUE);
  CBrambApp* app = GetBrambApp();
  for (size_t i = 0; i < paths_.size(); ++i) lx::SetOptionsPath(app->m_Options.*(paths_[i].field), m_Paths[i]);
  StoreExtras(app->m_Options);
  app->SaveOptions();
  return AfterSave();
}

bool COptionsPageBase::PickFile(const OptionsPathField& field, CString& path) {
  CString initialName = CString("*.") + field.extension;
  CFileDialog dialog(TRUE, field.extension, initialName, OFN_HIDEREADONLY | OFN_OVERWRITEPROMPT, field.filter, this);
  CBrambApp* app = GetBrambApp();
  CString folder;
  if (app && !app->m_InstallFolder.IsEmpty()) {
    folder = app->m_InstallFolder;
    if (field.subfolder && *field.subfolder) folder += CString("\\") + field.subfolder;
    dialog.m_ofn.lpstrInitialDir = folder;
  }
  if (dialog.DoModal() != IDOK) return false;
  path = dialog.GetPathName();
  return true;
}

void COptionsPageBase::TakePath(const OptionsPathField& field, const CString& path) {
  SetDlgItemText(field.edit, path);
  ShowFileInformation(field.info, path);
  SetModified(TRUE);
}

void COptionsPageBase::Browse(const OptionsPathField& field) {
  CString path;
  if (PickFile(field, path)) TakePath(field, path);
}

void COptionsPageBase::ShowFileInformation(int infoId, const char* path) {
  CFile file;
  CString text = kNoInformation;
  if (file.Open(path, CFile::modeRead | CFile::typeBinary))
    text.Format("File information: Total %ld Bytes", static_cast<long>(file.GetLength()));
  SetDlgItemText(infoId, text);
}

// ----- General -------------------------------------------------------------------------------
COptionsGeneralPage::COptionsGeneralPage() : COptionsPageBase(IDD_OPTIONS_GENERAL, {}) {}

BOOL COptionsGeneralPage::OnCommand(WPARAM wp, LPARAM lp) {
  if (LOWORD(wp) == IDC_CONFIRM_OPERATIONS && HIWORD(wp) == BN_CLICKED) {
    SetModified(TRUE);
    return TRUE;
  }
  return COptionsPageBase::OnCommand(wp, lp);
}

// ----- External FS Library -------------------------------------------------------------------
COptionsExtfslibPage::COptionsExtfslibPage()
    : COptionsPageBase(IDD_OPTIONS_EXTFSLIB, {{IDC_PATH_EDIT, IDC_PATH_INFO, IDC_PATH_BROWSE, kDllFilterFs, "dll",
                                                "External FS Module", &Rec::FsLibraryPath}}) {}

void COptionsExtfslibPage::LoadExtras(const lx::OptionsRecord& rec) {
  m_Kind = rec.DeviceKind;
  m_WindowSize = rec.WindowSizeIndex;
}

void COptionsExtfslibPage::ExchangeExtras(CDataExchange* dx) {
  DDX_Radio(dx, IDC_KIND_NAND, m_Kind);
  DDX_CBIndex(dx, IDC_WINDOW_SIZE, m_WindowSize);
}

void COptionsExtfslibPage::StoreExtras(lx::OptionsRecord& rec) {
  if (m_Kind >= 0) rec.DeviceKind = static_cast<int8_t>(m_Kind);
  if (m_WindowSize >= 0) rec.WindowSizeIndex = static_cast<uint8_t>(m_WindowSize);
}

BOOL COptionsExtfslibPage::OnInitDialog() {
  const Rec& rec = GetBrambApp()->m_Options;
  FillWindowSizes(rec.DeviceKind, rec.WindowSizeIndex);
  COptionsPageBase::OnInitDialog();
  m_bLibraryChanged = false;
  return TRUE;
}

void COptionsExtfslibPage::FillWindowSizes(int kind, int selected) {
  HWND combo = ::GetDlgItem(m_hWnd, IDC_WINDOW_SIZE);
  ::SendMessageA(combo, CB_RESETCONTENT, 0, 0);
  bool enabled = true;
  for (const std::string& entry : lx::WindowSizeChoices(kind, &enabled))
    ::SendMessageA(combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(entry.c_str()));
  ::SendMessageA(combo, CB_SETCURSEL, static_cast<WPARAM>(selected), 0);
  ::EnableWindow(combo, enabled);
}

BOOL COptionsExtfslibPage::OnCommand(WPARAM wp, LPARAM lp) {
  const int id = LOWORD(wp);
  if (HIWORD(wp) == BN_CLICKED && id >= IDC_KIND_NOR && id <= IDC_KIND_OSTRA2) {
    static const int kindOf[] = {1, 0, 2, 3};  // 1128 NOR, 1129 NAND, 1130 SPI, 1131 Ostra2
    FillWindowSizes(kindOf[id - IDC_KIND_NOR], 0);
    return TRUE;
  }
  return COptionsPageBase::OnCommand(wp, lp);
}

void COptionsExtfslibPage::Browse(const OptionsPathField& field) {
  CString path, current;
  if (!PickFile(field, path)) return;
  GetDlgItemText(field.edit, current);
  if (path == current) return;
  TakePath(field, path);  // the edit's change notice marks the library changed
}

BOOL COptionsExtfslibPage::AfterSave() {
  if (!m_bLibraryChanged) return CPropertyPage::OnApply();
  CBrambApp* app = GetBrambApp();
  int answer = LxMessageBox(m_hWnd,
                            "Changing an external file system library requires restarting Lumivex.\nIt will restart "
                            "automatically.",
                            "Lumivex", MB_OKCANCEL | MB_ICONINFORMATION);
  if (answer == IDOK && app->RestartWithNewModule()) return TRUE;
  if (app->SwapDeviceModule() == 0) m_bLibraryChanged = false;
  return CPropertyPage::OnApply();
}

// ----- LX-LLD / LX-OLLD ----------------------------------------------------------------------
COptionsExtlldolldlibPage::COptionsExtlldolldlibPage()
    : COptionsPageBase(IDD_OPTIONS_LLD,
                       {{IDC_NOR_PATH, IDC_NOR_INFO, IDC_NOR_BROWSE, kDllFilterLld, "dll", "External Driver Module",
                         &Rec::NorDriverPath},
                        {IDC_VELTAN_PATH, IDC_VELTAN_INFO, IDC_VELTAN_BROWSE, kDllFilterLld, "dll",
                         "External Driver Module", &Rec::VeltanDriverPath}}) {}

BOOL COptionsExtlldolldlibPage::AfterSave() {
  GetBrambApp()->LoadOptions(false);
  return CPropertyPage::OnApply();
}

// ----- Analyzer ------------------------------------------------------------------------------
COptionsExtVyrPage::COptionsExtVyrPage()
    : COptionsPageBase(IDD_OPTIONS_VYR, {{IDC_PATH_EDIT, IDC_VYR_INFO, IDC_PATH_BROWSE, kDllFilterVyr, "dll",
                                          "External Vyr Module", &Rec::VyrModulePath}}) {}

// ----- External tools ------------------------------------------------------------------------
COptionsExttoolsPage::COptionsExttoolsPage()
    : COptionsPageBase(IDD_OPTIONS_TOOLS,
                       {{IDC_PATH_EDIT, IDC_PATH_INFO, IDC_PATH_BROWSE, kExeFilter, "exe", "", &Rec::ExplorerPath},
                        {IDC_TOOL2_PATH, IDC_TOOL2_INFO, IDC_TOOL2_BROWSE, kExeFilter, "exe", "", &Rec::EditorPath}}) {}

// ----- Sheet ---------------------------------------------------------------------------------
COptionsSheet::COptionsSheet(const char* caption, CWnd* parent, UINT selectPage)
    : CPropertySheet(caption, parent, selectPage) {
  AddPage(&m_General);
  AddPage(&m_ExtFsLib);
  CBrambApp* app = GetBrambApp();
  if (!app || app->GetUserLevel() != 2) {
    AddPage(&m_Lld);
    AddPage(&m_Vyr);
    AddPage(&m_Tools);
  }
}

INT_PTR RunOptionsCommand() {
  CBrambApp* app = GetBrambApp();
  if (app) app->LoadOptions(false);
  COptionsSheet sheet("Options...", AfxGetMainWnd(), 1);
  return sheet.DoModal();
}
