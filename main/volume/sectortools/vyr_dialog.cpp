// The analyzer module dialog: loads the analyzer library and its viewer, hands the module a
// record with the device table, starts its analyses and polls them.
#include <cstring>
#include <ctime>
#include <deque>
#include <string>

#include "device_api.h"
#include "info_dialogs.h"
#include "lumivex/prompt.h"
#include "module_loader.h"
#include "program_context.h"
#include "sectortools.h"

#include <shellapi.h>
#include <shlobj.h>

namespace {

constexpr UINT_PTR kPollTimer = 1;
constexpr UINT kPollMilliseconds = 200;

std::deque<std::pair<bool, std::string>> g_folderAnswers;
void (*g_reportOpener)(HWND, const char*) = nullptr;

void CopyPath(char* out, const char* text) {
  std::memset(out, 0, lx::kVyrPathBytes);
  std::strncpy(out, text, lx::kVyrPathBytes - 1);
}

void AddStrings(HWND combo, std::initializer_list<const char*> texts) {
  for (const char* text : texts) ::SendMessageA(combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text));
}

int CALLBACK PreselectFolder(HWND window, UINT msg, LPARAM, LPARAM data) {
  if (msg == BFFM_INITIALIZED && data) ::SendMessageA(window, BFFM_SETSELECTIONA, TRUE, data);
  return 0;
}

CString UserAreaVyrFolder() {
  lx::ProgramContext* program = lx::Program();
  return CString(program ? program->UserAreaFolder() : std::string()) + "\\User Data\\External Vyr Module";
}

}  // namespace

void QueueFolderAnswerForTests(const char* folder) { g_folderAnswers.emplace_back(folder != nullptr, folder ? folder : ""); }
void SetReportOpenerForTests(void (*opener)(HWND, const char*)) { g_reportOpener = opener; }

bool BrowseForFolder(HWND owner, const char* title, const char* initial, CString* chosen) {
  if (!g_folderAnswers.empty()) {
    auto answer = g_folderAnswers.front();
    g_folderAnswers.pop_front();
    if (answer.first) *chosen = answer.second.c_str();
    return answer.first;
  }
  BROWSEINFOA info = {};
  char name[MAX_PATH] = "";
  info.hwndOwner = owner;
  info.pszDisplayName = name;
  info.lpszTitle = title;
  info.ulFlags = BIF_RETURNONLYFSDIRS | BIF_EDITBOX | BIF_NEWDIALOGSTYLE;
  info.lpfn = PreselectFolder;
  info.lParam = reinterpret_cast<LPARAM>(initial);
  PIDLIST_ABSOLUTE list = SHBrowseForFolderA(&info);
  if (!list) return false;
  char path[MAX_PATH] = "";
  const bool ok = SHGetPathFromIDListA(list, path) != FALSE;
  CoTaskMemFree(list);
  if (ok) *chosen = path;
  return ok;
}

BOOL COpenVyrDlg::OnInitDialog() {
  if (lx::ProgramContext* program = lx::Program()) {
    CString path(program->VyrModulePath());
    int slash = path.ReverseFind('\\');
    m_ModuleName = slash < 0 ? path : path.Mid(slash + 1);
    const std::string userData = lx::UserDataFolder();
    if (!userData.empty()) m_OutputFolder = CString(userData) + "\\" + "External Vyr Module" + "\\" + "Results";
  }
  m_Information = "The information is not available.";
  AddStrings(::GetDlgItem(m_hWnd, IDC_VYR_TARGET), {"PCIx", "Virtual device", "Tarn type 2", "Remote agent", "DevSim"});
  AddStrings(::GetDlgItem(m_hWnd, IDC_VYR_DEVICE_TYPE), {"NOR", "Halvor NOR", "Veltan", "Veltan2", "SPI", "Ostra", "Ostra2"});
  AddStrings(::GetDlgItem(m_hWnd, IDC_VYR_INTERLEAVE), {"x1", "x2", "x4"});
  for (int id : {IDC_VYR_BD_LEVEL, IDC_VYR_FS_LEVEL})
    AddStrings(::GetDlgItem(m_hWnd, id), {"N/A", "Level 1", "Level 2", "Level 3", "Level 4", "Level 5"});
  m_Target = m_DeviceType = m_Interleave = 0;
  m_BdLevel = m_FsLevel = 1;
  CDialog::OnInitDialog();
  if (!m_hVyr) LoadModule();
  ::EnableWindow(::GetDlgItem(m_hWnd, IDC_VYR_START_FS), FALSE);
  ::EnableWindow(::GetDlgItem(m_hWnd, IDC_VYR_REPORT), FALSE);
  return TRUE;
}

void COpenVyrDlg::DoDataExchange(CDataExchange* dx) {
  DDX_Text(dx, IDC_VYR_MODULE, m_ModuleName);
  DDX_Text(dx, IDC_VYR_OUTPUT, m_OutputFolder);
  DDX_Text(dx, IDC_VYR_INFORMATION, m_Information);
  DDX_CBIndex(dx, IDC_VYR_BD_LEVEL, m_BdLevel);
  DDX_CBIndex(dx, IDC_VYR_FS_LEVEL, m_FsLevel);
  DDX_CBIndex(dx, IDC_VYR_TARGET, m_Target);
  DDX_CBIndex(dx, IDC_VYR_DEVICE_TYPE, m_DeviceType);
  DDX_CBIndex(dx, IDC_VYR_INTERLEAVE, m_Interleave);
  DDX_Check(dx, IDC_VYR_AUXILIARY, m_Auxiliary);
}

BOOL COpenVyrDlg::OnCommand(WPARAM wp, LPARAM lp) {
  switch (LOWORD(wp)) {
    case IDC_VYR_CHANGE_MODULE: ChangeModule(); return TRUE;
    case IDC_VYR_CHANGE_OUTPUT: ChangeOutputFolder(); return TRUE;
    case IDC_VYR_AUXILIARY: AuxiliaryChanged(); return TRUE;
    case IDC_VYR_START_BD: StartBDAnalysis(); return TRUE;
    case IDC_VYR_START_FS: StartFSAnalysis(); return TRUE;
    case IDC_VYR_REPORT: GetAnalysisReport(); return TRUE;
    default: return CDialog::OnCommand(wp, lp);
  }
}

BOOL COpenVyrDlg::OnMessage(UINT msg, WPARAM wp, LPARAM lp, LRESULT* result) {
  if (msg == WM_TIMER && wp == kPollTimer) {
    OnPollTimer();
    *result = 0;
    return TRUE;
  }
  if (msg == WM_SETCURSOR && m_bPolling) {
    SetCursor(LoadCursor(nullptr, IDC_WAIT));
    *result = TRUE;
    return TRUE;
  }
  return CDialog::OnMessage(msg, wp, lp, result);
}

// ---- the module ------------------------------------------------------------------------------------
void COpenVyrDlg::LoadModule() {
  lx::ProgramContext* program = lx::Program();
  if (!program) return;
  CString path(program->VyrModulePath());
  CVyrBinder binder;
  // An empty path names no module: the loader would hand back a library all the same (the
  // program itself), whose every entry is then a "not supported" stub.
  m_hVyr = path.IsEmpty() ? nullptr : binder.LoadVyrLibrary(path);
  if (m_hVyr) {
    binder.LoadVyrApi(m_hVyr);
  } else if (!path.IsEmpty()) {
    CString text;
    text.Format("Failed to load external Vyr library %s.", path.GetString());
    MessageBox(text);
  }
  if (!m_hViewer && !path.IsEmpty()) {
    int dot = path.ReverseFind('.'), slash = path.ReverseFind('\\');
    CString viewer = (dot > slash ? path.Left(dot) : path) + ".ifv";
    CVyrViewerBinder viewerBinder;
    m_hViewer = viewerBinder.LoadVyrViewerLibrary(viewer);
    if (m_hViewer && viewerBinder.LoadVyrViewerApi(m_hViewer) == 0) m_bViewerBound = true;
  }
  m_bAnalysisStarted = false;
}

void COpenVyrDlg::FreeLibraries() {
  if (m_hVyr) {
    CVyrBinder binder;
    if (!binder.FreeVyrLibrary(m_hVyr)) {
      MessageBox("Failed to free external Vyr library.");
    } else {
      binder.ResetVyrApi();
    }
    m_hVyr = nullptr;
  }
  if (m_hViewer) {
    CVyrViewerBinder binder;
    if (!binder.FreeVyrViewerLibrary(m_hViewer)) {
      MessageBox("Failed to free external Vyr Viewer library.");
    } else {
      binder.ResetVyrViewerApi();
    }
    m_hViewer = nullptr;
    m_bViewerBound = false;
  }
}

void COpenVyrDlg::ChangeModule() {
  CFileDialog dialog(TRUE, "dll", "*.dll", OFN_HIDEREADONLY | OFN_FILEMUSTEXIST,
                     "External Vyr Files (*.dll)|*.dll|All Files (*.*)|*.*||", this);
  lx::ProgramContext* program = lx::Program();
  CString folder;
  if (program && !program->InstallFolder().empty()) {
    folder = CString(program->InstallFolder()) + "\\" + "External Vyr Module";
    dialog.m_ofn.lpstrInitialDir = folder;
  }
  if (dialog.DoModal() != IDOK) return;
  UpdateData(TRUE);
  m_ModuleName = dialog.GetFileName();
  if (program) program->SetVyrModulePath(dialog.GetPathName().str());
  CloseAndFree();
  LoadModule();
  EnableStarts(true);
  UpdateData(FALSE);
}

void COpenVyrDlg::ChangeOutputFolder() {
  UpdateData(TRUE);
  CString folder;
  if (!BrowseForFolder(m_hWnd, "Select a folder for analysis output...", m_OutputFolder, &folder)) return;
  m_OutputFolder = folder;
  UpdateData(FALSE);
}

void COpenVyrDlg::AuxiliaryChanged() {
  UpdateData(TRUE);
  const BOOL normal = m_Auxiliary ? FALSE : TRUE;
  for (int id : {IDC_VYR_OUTPUT, IDC_VYR_CHANGE_OUTPUT, IDC_VYR_TARGET, IDC_VYR_DEVICE_TYPE, IDC_VYR_INTERLEAVE})
    ::EnableWindow(::GetDlgItem(m_hWnd, id), normal);
}

// ---- a run -----------------------------------------------------------------------------------------
bool COpenVyrDlg::BuildRecord() {
  UpdateData(TRUE);
  std::memset(&m_Record, 0, sizeof m_Record);
  if (!m_Auxiliary) {
    const uint64_t bytes = DeviceApiTable.gfslGetNumberOfBytesPerDevice("/a");
    m_Record.deviceBytes = bytes > 0xFFFFFFFFull ? 0xFFFFFFFFu : static_cast<uint32_t>(bytes);
  }
  m_Record.deviceType = lx::VyrDeviceTypeCode(m_DeviceType);
  m_Record.interleave = lx::VyrInterleave(m_Interleave);
  m_Record.target = lx::VyrTargetCode(m_Target);
  lx::CopyDeviceApiCells(m_Record.deviceApi, lx::kVyrDeviceApiSlots);
  if (!m_Auxiliary) {
    m_Record.outputFolder = m_Record.outputFolderText;
    return true;
  }
  // Auxiliary mode: a cancelled question ends the set-up, and nothing starts.
  const CString folder = UserAreaVyrFolder();
  CFileDialog input(TRUE, nullptr, "*.*", OFN_HIDEREADONLY | OFN_FILEMUSTEXIST,
                    "Auxiliary input files (*.*)|*.*|All Files (*.*)|*.*||", this);
  input.m_ofn.lpstrInitialDir = folder;
  if (input.DoModal() != IDOK) return false;
  CopyPath(m_Record.auxInputText, input.GetPathName());
  m_Record.auxInputPath = m_Record.auxInputText;
  CString output;
  if (!BrowseForFolder(m_hWnd, "Select a folder for Auxiliary output...", folder, &output)) return false;
  CopyPath(m_Record.auxOutputText, output);
  m_Record.auxOutputFolder = m_Record.auxOutputText;
  m_Record.auxLittleEndian =
      LxMessageBox(m_hWnd, "Is the Auxiliary input stream a Little Endian?", "Vyr", MB_YESNO) == IDYES ? 1 : 0;
  return true;
}

void COpenVyrDlg::StartBDAnalysis() {
  if (m_bPolling) return;
  // Without a module every entry is a stub: "vyrOpen is not supported." and a failed open would
  // say nothing of what to do.
  if (!m_hVyr) {
    MessageBox("No analyzer module is chosen.\nChoose one with Change... first, then start the analysis.");
    return;
  }
  if (!BuildRecord()) return;
  if (VyrApiTable.vyrOpen(&m_Record) != 0) {
    MessageBox("Failed to Open Vyr");
    return;
  }
  uint32_t versionOut = 0;
  if (const char* version = VyrApiTable.vyrGetVersion(&versionOut)) {
    m_Information = version;
    SetDlgItemText(IDC_VYR_INFORMATION, version);
  }
  CString folder;
  if (!m_Auxiliary) {
    char stamp[32] = "";
    std::time_t now = std::time(nullptr);
    std::strftime(stamp, sizeof stamp, "\\%Y%m%d_%H%M%S", std::localtime(&now));
    folder = m_OutputFolder + stamp;
    if (folder.GetLength() >= lx::kVyrPathBytes || (!CreateDirectoryA(folder, nullptr) && GetLastError() != ERROR_ALREADY_EXISTS)) {
      MessageBox("Failed to create a analysis output folder.");
      return;
    }
    CopyPath(m_Record.outputFolderText, folder);
  } else {
    folder = m_Record.auxOutputText;
  }
  MessageBox("Analysis report will be created on the following folder:\n" + folder);
  m_bAnalysisStarted = true;
  if (VyrApiTable.vyrStartBDAnalysis(static_cast<uint32_t>(m_BdLevel)) < 0) {
    MessageBox("The Vyr module did not start the BD analysis.");
    return;
  }
  m_bFsNext = m_BdLevel > 2;
  BeginPolling();
}

void COpenVyrDlg::StartFSAnalysis() {
  if (m_bPolling) return;
  UpdateData(TRUE);
  m_bFsNext = false;
  ::EnableWindow(::GetDlgItem(m_hWnd, IDC_VYR_START_FS), FALSE);
  if (VyrApiTable.vyrStartFSAnalysis(static_cast<uint32_t>(m_FsLevel)) < 0) {
    MessageBox("The Vyr module did not start the FS analysis.");
    return;
  }
  BeginPolling();
}

// One run at a time: the start buttons come back when it has finished.
void COpenVyrDlg::BeginPolling() {
  m_bPolling = true;
  m_Polls = 0;
  SetTimer(kPollTimer, kPollMilliseconds);
  EnableStarts(false);
  SetCursor(LoadCursor(nullptr, IDC_WAIT));
}

void COpenVyrDlg::EnableStarts(bool idle) {
  ::EnableWindow(::GetDlgItem(m_hWnd, IDC_VYR_START_BD), idle);
  ::EnableWindow(::GetDlgItem(m_hWnd, IDC_VYR_START_FS), idle && m_bFsNext);
}

void COpenVyrDlg::OnPollTimer() {
  if (!m_bPolling) return;
  ++m_Polls;
  const char* text = nullptr;
  if (VyrApiTable.vyrGetProgress(&text) == 0 && text) SetWindowText(text);
  // A box shown from here runs its own message loop: the timer stops first, or every tick
  // would stack another box.
  KillTimer(kPollTimer);
  text = nullptr;
  const int status = VyrApiTable.vyrGetStatus(&text);
  if (status != 0) {
    // A module without a status answers through its stub, which has said so once: the poll
    // ends there. A working module is polled again.
    if (m_hVyr && GetProcAddress(m_hVyr, "vyrGetStatus")) {
      SetTimer(kPollTimer, kPollMilliseconds);
      return;
    }
    m_bPolling = false;
    EnableStarts(true);
    return;
  }
  m_bPolling = false;
  SetCursor(LoadCursor(nullptr, IDC_ARROW));
  MessageBox(text ? text : "");
  text = nullptr;
  if (VyrApiTable.vyrGetResult(&text) == 0) {
    MessageBox(text ? text : "");
  } else {
    CInfoVyrDlg info(this);
    info.m_pText = text;
    info.DoModal();
  }
  ::EnableWindow(::GetDlgItem(m_hWnd, IDC_VYR_REPORT), TRUE);
  EnableStarts(true);
}

void COpenVyrDlg::GetAnalysisReport() {
  SetCursor(LoadCursor(nullptr, IDC_WAIT));
  if (m_bAnalysisStarted) {
    for (char* report : m_Record.reports) {
      if (!report) continue;
      if (report[0] == 0) {
        MessageBox("Analysis Result is not ready to open!");
      } else if (g_reportOpener) {
        g_reportOpener(m_hWnd, report);
      } else {
        ShellExecuteA(m_hWnd, "open", report, nullptr, nullptr, SW_SHOWNORMAL);
      }
    }
  }
  if (m_bViewerBound && VyrViewerApiTable.vyrOpenViewer() == 0) VyrViewerApiTable.vyrRunViewer();
  SetCursor(LoadCursor(nullptr, IDC_ARROW));
}

// The poll ends first, so that no tick reaches a module that is going. The library goes once
// the module has closed; one that refuses keeps its code loaded, as it may still be at work.
void COpenVyrDlg::CloseAndFree() {
  if (m_bPolling) {
    KillTimer(kPollTimer);
    m_bPolling = false;
  }
  if (m_hVyr && VyrApiTable.vyrClose(1) != 0) {
    MessageBox("The Vyr module did not close; it stays loaded.");
    m_hVyr = nullptr;
  }
  FreeLibraries();
}

void COpenVyrDlg::CloseModule() {
  CloseAndFree();
  EndDialog(IDOK);
}

void RunVyrAnalyzer(CWnd* frame) {
  COpenVyrDlg dialog(frame);
  dialog.DoModal();
}
