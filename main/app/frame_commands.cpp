// The menu commands of the program (the document's command map): device dialogs, tools,
// script pages, external programs.
#include <cstring>

#include "about.h"
#include "device_api.h"
#include "device_ops.h"
#include "document.h"
#include "explorers.h"
#include "info_dialogs.h"
#include "lumivex/prompt.h"
#include "tool_host.h"
#include "main_frame.h"
#include "open_device.h"
#include "options_sheet.h"
#include "resource.h"
#include "print_text.h"
#include "programming.h"
#include "rich_container.h"
#include "sectortools.h"
#include "viewers.h"
#include "window_place_win.h"

#include <shellapi.h>

namespace {

const char kScriptExt[] = "vbs";
const char kScriptName[] = "*.vbs";
const char kScriptFilter[] = "Visual Basic Script Files (*.vbs)|*.vbs|All Files (*.*)|*.*||";

void ScriptFolder(CFileDialog& dialog, CString& folder) {
  CBrambApp* app = GetBrambApp();
  if (app && !app->m_InstallFolder.IsEmpty()) {
    folder = app->m_UserAreaFolder + "\\User Script";
    dialog.m_ofn.lpstrInitialDir = folder;
  }
}

// An external tool: the path is the command line, its folder the working folder.
void StartTool(const char* path) {
  if (!path || path[0] == 0) return;
  std::string commandLine(path);
  std::string folder;
  size_t slash = commandLine.rfind('\\');
  if (slash != std::string::npos) folder = commandLine.substr(0, slash);
  STARTUPINFOA startup = {};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process = {};
  std::vector<char> line(commandLine.begin(), commandLine.end());
  line.push_back('\0');
  if (CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, folder.empty() ? nullptr : folder.c_str(),
                     &startup, &process)) {
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
  }
}

void OpenScript(CMainFrame* frame) {
  CFileDialog dialog(TRUE, kScriptExt, kScriptName, OFN_HIDEREADONLY | OFN_FILEMUSTEXIST, kScriptFilter, frame);
  CString folder;
  ScriptFolder(dialog, folder);
  if (dialog.DoModal() != IDOK) return;
  CFile file;
  if (!file.Open(dialog.GetPathName(), CFile::modeRead | CFile::shareDenyNone)) return;
  ULONGLONG length = file.GetLength();
  if (length == 0 || length > 64u * 1024 * 1024) return;
  std::vector<char> text(static_cast<size_t>(length) + 1, '\0');
  if (file.Read(text.data(), static_cast<UINT>(length)) != length) return;
  frame->AddScriptPage(dialog.GetFileTitle(), text.data(), true);
}

void SaveScript(CMainFrame* frame) {
  CFileDialog dialog(FALSE, kScriptExt, kScriptName, OFN_HIDEREADONLY | OFN_OVERWRITEPROMPT, kScriptFilter, frame);
  CString folder;
  ScriptFolder(dialog, folder);
  if (dialog.DoModal() != IDOK) return;
  int selected = frame->m_wndScriptPages.PageSelectionGet();
  CString text = frame->GetSelectedPageText();
  if (selected < 0 || text.IsEmpty()) return;
  CFile file;
  if (!file.Open(dialog.GetPathName(), CFile::modeCreate | CFile::modeWrite)) {
    LxMessageBox(frame->m_hWnd, "Failed to save the script.", lx::ToolCaption(nullptr), MB_OK | MB_ICONERROR);
    return;
  }
  if (!file.Write(text.GetString(), static_cast<UINT>(text.GetLength())))
    LxMessageBox(frame->m_hWnd, "Failed to save the script.", lx::ToolCaption(nullptr), MB_OK | MB_ICONERROR);
  frame->SetPageTitle(selected, dialog.GetFileName());
}

// The volume tree: the host's readable drives, then the device.
void BuildVolumeTree(CMainFrame* frame) {
  if (!frame->m_wndVolumeTree.m_hWnd) return;
  frame->m_wndVolumeTree.BuildRoots();
  frame->m_bVolumeTreeBuilt = true;
}

void ToggleBar(CMainFrame* frame, CWnd& bar) {
  bool shown = (::GetWindowLongA(bar.m_hWnd, GWL_STYLE) & WS_VISIBLE) != 0;
  bar.ShowWindow(shown ? SW_HIDE : SW_SHOW);
  frame->RecalcLayout();
}

void SelectKind(CMainFrame* frame, int kind) {
  CBrambApp* app = GetBrambApp();
  if (!app) return;
  app->m_Options.DeviceKind = static_cast<int8_t>(kind);
  if (kind == 2) app->m_Options.WindowSizeIndex = 0;
  app->SaveOptions();
  frame->SelectDeviceKind(kind);
}

}  // namespace

namespace {
// A window's whole text (rich edits keep CR line ends; the page layout takes any).
std::string WindowText(HWND window) {
  int length = ::GetWindowTextLengthA(window);
  std::string text(static_cast<size_t>(length) + 1, '\0');
  ::GetWindowTextA(window, &text[0], length + 1);
  text.resize(std::strlen(text.c_str()));
  return text;
}
}  // namespace

void CMainFrame::OnPrintCommand(UINT id) {
  if (id == ID_FILE_PRINT_SETUP) {
    lx::print::PrintSetup(m_hWnd);
    return;
  }
  lx::print::PrintDocument document;
  if (m_wndLog.m_hWnd && ::GetFocus() == m_wndLog.m_hWnd) {
    document.title = "Script log output";
    document.text = WindowText(m_wndLog.m_hWnd);
  } else if (CChildFrame* child = GetActiveChild()) {
    document.title = child->m_Doc.m_Title.str();
    document.text = WindowText(child->m_View.m_hWnd);
  } else {
    return;
  }
  if (id == ID_FILE_PRINT_PREVIEW) {
    if (m_hPrintPreview && ::IsWindow(m_hPrintPreview)) ::DestroyWindow(m_hPrintPreview);
    m_hPrintPreview = lx::print::ShowPrintPreview(m_hWnd, document);
    return;
  }
  lx::print::PrintText(m_hWnd, document, id == ID_FILE_PRINT_DIRECT);
}

bool CMainFrame::OnMenuCommand(UINT id) {
  CBrambApp* app = GetBrambApp();
  // A command whose menu entry is greyed does nothing when it arrives another way.
  if (!IsCommandEnabled(id)) return true;
  switch (id) {
    case ID_FILE_NEW:
      OpenThreadWindow();
      return true;
    case ID_APP_EXIT:
      PostMessage(WM_CLOSE);
      return true;
    case ID_APP_ABOUT:
      OnAppAbout();
      return true;
    case ID_WINDOW_CASCADE:
      ::SendMessageA(GetMdiClient(), WM_MDICASCADE, 0, 0);
      return true;
    case ID_WINDOW_TILE_HORZ:
      ::SendMessageA(GetMdiClient(), WM_MDITILE, MDITILE_HORIZONTAL, 0);
      return true;
    case ID_OPEN_DEVICE:
      ShowOpenDeviceDialog(this);
      return true;
    case ID_COMMAND_DIALOG:
      if (m_pCommandDlg && m_pCommandDlg->m_hWnd) {
        if (m_pCommandDlg->IsWindowVisible()) {
          m_pCommandDlg->ShowWindow(SW_HIDE);
        } else {
          // Made without a parent, it would open at the screen's corner over the menu bar.
          if (!m_pCommandDlg->m_bPlaced) m_pCommandDlg->m_bPlaced = lx::PlaceInFrameClient(m_pCommandDlg->m_hWnd, m_hWnd);
          ::SetWindowPos(m_pCommandDlg->m_hWnd, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_SHOWWINDOW);
        }
      }
      return true;
    case ID_TEST_RESERVED:
      return true;
    case ID_FUNCTION_PROFILER:
      ToggleProfilerDialog(this);
      return true;
    case ID_DEVICE_EXPLORER:
      ToggleDeviceExplorer(this);
      return true;
    case ID_DEVICE_DUPLICATE:
      RunDeviceDuplicate(this);
      return true;
    case ID_RESET_DEVICE:
      ShowNorResetDialog(this);
      return true;
    case ID_OPTIONS:
      RunOptionsCommand();
      return true;
    case ID_NEW_SCRIPT: {
      if (AddScriptPage("New script", "'\r\n' Type your Lumivex Visual Basic Script here.\r\n'\r\n", true)) {
        HWND page = m_wndScriptPages.PageHwndGetSafe(m_wndScriptPages.PageSelectionGet());
        if (page) ::SendMessageA(page, EM_SETSEL, 0, -1);
      }
      return true;
    }
    case ID_OPEN_SCRIPT:
      OpenScript(this);
      return true;
    case ID_SAVE_SCRIPT:
      SaveScript(this);
      return true;
    case ID_CLOSE_SCRIPT: {
      int selected = m_wndScriptPages.PageSelectionGet();
      if (selected >= 0) m_wndScriptPages.PageRemove(selected);
      return true;
    }
    case ID_RUN_SCRIPT:
      RunScript();
      return true;
    case ID_STOP_SCRIPT:
      InterruptScript();
      return true;
    case ID_SCRIPT_HELP:
      if (app) app->OpenInstalledDocument("help\\VBS GFSL User's Guide v1.0.5.doc", m_hWnd);
      return true;
    case ID_VOLUME_TREE:
      BuildVolumeTree(this);
      return true;
    case ID_SAVE_LOG:
      m_wndLog.SaveLog();
      return true;
    case ID_CLEAR_LOG:
      m_wndLog.Clear();
      return true;
    case ID_EXTERNAL_TOOL1:
      if (app) StartTool(app->m_Options.ExplorerPath);
      return true;
    case ID_EXTERNAL_TOOL2:
      if (app) StartTool(app->m_Options.EditorPath);
      return true;
    case ID_GET_LAST_ERROR:
      ShowLastDeviceError();
      return true;
    case ID_SELECT_NAND:
    case ID_SELECT_NOR:
    case ID_SELECT_SPI:
      SelectKind(this, static_cast<int>(id - ID_SELECT_NAND));
      return true;
    case ID_DUMP_DEBUG:
      DumpDebugInformation(this);
      return true;
    case ID_DEBUG_VIEWER:
      ShowDebugInformationViewer(this);
      return true;
    case ID_EXT_GFSL_MODULE:
      StartExtGfslModuleService();
      return true;
    case ID_EXT_ECC_MODULE:
      if (CChildFrame* child = GetActiveChild()) {
        if (child->m_Doc.m_EccModule.Load() == 0) child->m_Doc.m_EccModule.Init();
      }
      return true;
    case ID_BAR_TOOLBAR:
      ToggleBar(this, m_wndToolBar);
      return true;
    case ID_BAR_STATUS:
      ToggleBar(this, m_wndStatusBar);
      return true;
    case ID_BAR_SCRIPT_EDITOR:
    case ID_BAR_SCRIPT_LOG:
    case ID_BAR_VOLUME_TREE:
      m_dockSite.ShowPane(id, !m_dockSite.IsPaneVisible(id));
      return true;
    case ID_BAR_MENU:
      ShowMenuBar(!m_bMenuBarVisible);
      return true;
    case ID_VIEW_RESET_LAYOUT:
      ResetLayout();
      return true;
    case ID_FILE_PRINT:
    case ID_FILE_PRINT_DIRECT:
    case ID_FILE_PRINT_PREVIEW:
    case ID_FILE_PRINT_SETUP:
      OnPrintCommand(id);
      return true;
    case ID_SECTOR_EXPLORER:
      ToggleSectorExplorer(this);
      return true;
    case ID_VOLUME_DUPLICATE:
      RunVolumeDuplicate(this);
      // A restore or format rewrote the volume under the tree: what it shows may be gone.
      m_wndVolumeTree.RelistVolume();
      return true;
    case ID_VYR_ANALYZER:
      RunVyrAnalyzer(this);
      return true;
    default:
      if (lx::container::IsCommand(id)) {
        if (CChildFrame* child = GetActiveChild()) lx::container::Run(m_hWnd, child->m_View.m_hWnd, id);
        return true;
      }
      return false;
  }
}
