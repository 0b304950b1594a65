#include "main_frame.h"

#include <shellapi.h>
#include <cstdio>
#include <cstring>

#include "about.h"
#include "device_api.h"
#include "device_ops.h"
#include "device_state.h"
#include "document.h"
#include "explorers.h"
#include "frame_core.h"
#include "info_dialogs.h"
#include "lumivex/prompt.h"
#include "tool_host.h"
#include "open_device.h"
#include "options_sheet.h"
#include "programming.h"
#include "resource.h"
#include "rich_container.h"
#include "script_runner.h"
#include "scripting_resource.h"
#include "sectortools.h"
#include "splash.h"
#include "viewers.h"

namespace {

CMainFrame* g_frame = nullptr;
const char kProfile[] = "CBrambApp-command-manager-profile";
const char kClientProp[] = "LxMdiClient";

// The frame's class procedure: the MDI frame's default processing with its client window.
LRESULT CALLBACK FrameDefProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  HWND client = static_cast<HWND>(GetPropA(hwnd, kClientProp));
  return DefFrameProcA(hwnd, client, msg, wp, lp);
}

// The status-bar progress pane: steps once per timer tick while enabled, wrapping at the end.
class CExtStatusBarProgressCtrl : public CExtProgressWnd {
 public:
  LRESULT WindowProc(UINT msg, WPARAM wp, LPARAM lp) override {
    if (msg == WM_TIMER) {
      if (IsWindowEnabled()) {
        if (GetPos() >= 32) SetPos(0);
        else StepIt();
      }
      return 0;
    }
    if (msg == WM_DESTROY) KillTimer(0);
    return CExtProgressWnd::WindowProc(msg, wp, lp);
  }
  void PostNcDestroy() override { delete this; }
};

// A script page: a multi-line edit in Courier New.
class CDynamicEdit : public CWnd {
 public:
  BOOL Create(CWnd* parent, const char* text, bool editable) {
    DWORD style = 0x503000C4 | (editable ? 0 : ES_READONLY);
    HWND hwnd = CreateWindowExA(WS_EX_CLIENTEDGE, "EDIT", "", style & ~WS_VISIBLE, 0, 0, 10, 10, parent->m_hWnd,
                                nullptr, AfxGetInstanceHandle(), nullptr);
    if (!hwnd || !SubclassWindow(hwnd)) return FALSE;
    LOGFONTA metrics = {};
    HGDIOBJ stock = GetStockObject(DEFAULT_GUI_FONT);
    if (!stock) stock = GetStockObject(SYSTEM_FONT);
    GetObjectA(stock, sizeof metrics, &metrics);
    std::strcpy(metrics.lfFaceName, "Courier New");
    font_.CreateFontIndirect(&metrics);
    SetFont(&font_);
    SendMessage(EM_SETLIMITTEXT, 0, 0);
    if (text && *text) {
      SendMessage(WM_SETREDRAW, FALSE);
      SetWindowText(text);
      SendMessage(EM_SETSEL, 0, 0);
      SendMessage(WM_SETREDRAW, TRUE);
      Invalidate();
    }
    SendMessage(EM_SETMARGINS, EC_LEFTMARGIN | EC_RIGHTMARGIN, MAKELPARAM(3, 3));
    int tab = 15;
    SendMessage(EM_SETTABSTOPS, 1, reinterpret_cast<LPARAM>(&tab));
    return TRUE;
  }

 private:
  CFont font_;
};

void SelectKindHook(int kind, void* context) {
  auto* frame = static_cast<CMainFrame*>(context);
  // The open may run on a command or script thread; the selector belongs to the GUI thread.
  if (GetWindowThreadProcessId(frame->m_hWnd, nullptr) == GetCurrentThreadId()) {
    frame->SendMessage(WM_LX_SELECT_KIND, static_cast<WPARAM>(kind));
  } else {
    frame->PostMessage(WM_LX_SELECT_KIND, static_cast<WPARAM>(kind));
  }
}

void ChangedHook(void* context) { static_cast<CMainFrame*>(context)->PostMessage(WM_LX_DEVICE_CHANGED); }

void RelayoutHook(void* context) {
  auto* frame = static_cast<CMainFrame*>(context);
  frame->RecalcLayout();
  frame->UpdateBarButtons();
}

// The registry value of the layout: the beginner's frame has panes of its own.
const char* LayoutValue() {
  CBrambApp* app = GetBrambApp();
  return app && app->GetUserLevel() == 2 ? "Beginner Layout" : "Layout";
}

// Bars that are no docking panes: their visibility only, one bit each.
enum { kBarMenu = 1, kBarToolbar = 2, kBarStatus = 4 };

// The toolbar: the commands used most, with the common controls' standard images.
std::vector<CExtToolControlBar::Button> ToolbarButtons(bool beginner) {
  std::vector<CExtToolControlBar::Button> buttons;
  if (!beginner) buttons.push_back({ID_FILE_NEW, STD_FILENEW, "New Thread"});
  buttons.push_back({ID_FILE_PRINT, STD_PRINT, "Print"});
  buttons.push_back({ID_FILE_PRINT_PREVIEW, STD_PRINTPRE, "Print Preview"});
  buttons.push_back({0, -1, nullptr});
  buttons.push_back({ID_OPEN_DEVICE, STD_FILEOPEN, "Open Device..."});
  buttons.push_back({ID_DEVICE_EXPLORER, STD_FIND, "Device Explorer"});
  if (!beginner) {
    buttons.push_back({0, -1, nullptr});
    buttons.push_back({ID_COMMAND_DIALOG, STD_PROPERTIES, "Command Dialog Box"});
    buttons.push_back({ID_FUNCTION_PROFILER, STD_REPLACE, "Function Profiler"});
    buttons.push_back({ID_RUN_SCRIPT, STD_REDOW, "Run Script"});
    buttons.push_back({ID_STOP_SCRIPT, STD_DELETE, "Stop Script"});
  }
  buttons.push_back({0, -1, nullptr});
  // The panes are shown and hidden from here as from the View menu.
  if (!beginner) buttons.push_back({ID_BAR_VOLUME_TREE, CExtToolControlBar::kViewImages + VIEW_PARENTFOLDER, "Volume Tree Bar", true});
  buttons.push_back({ID_BAR_SCRIPT_EDITOR, CExtToolControlBar::kViewImages + VIEW_DETAILS, "Script editor", true});
  buttons.push_back({ID_BAR_SCRIPT_LOG, CExtToolControlBar::kViewImages + VIEW_LIST, "Script log output", true});
  buttons.push_back({0, -1, nullptr});
  buttons.push_back({ID_APP_ABOUT, STD_HELP, "About Lumivex"});
  return buttons;
}

constexpr int kSelectorGap = 120;  // room on the toolbar for the device selector

// The bar's own visibility, also while the frame itself is still hidden.
bool Shown(const CWnd& bar) {
  return bar.m_hWnd && (::GetWindowLongA(bar.m_hWnd, GWL_STYLE) & WS_VISIBLE) != 0;
}

}  // namespace

CMainFrame* GetMainFrame() { return g_frame; }

namespace {
// The NAND explorer's ECC buttons use the module of the active command window's document.
CExtEccModule* ActiveEccModule() {
  CChildFrame* child = g_frame ? g_frame->GetActiveChild() : nullptr;
  return child ? &child->m_Doc.m_EccModule : nullptr;
}
}  // namespace

CMainFrame::CMainFrame() = default;

CMainFrame::~CMainFrame() {
  if (g_frame == this) g_frame = nullptr;
}

BOOL CMainFrame::CreateFrame() {
  if (!LxRegisterWindowClass(LX_MAIN_FRAME_CLASS, FrameDefProc, COLOR_BTNFACE, true)) return FALSE;
  CREATESTRUCTA cs = {};
  cs.lpszClass = LX_MAIN_FRAME_CLASS;
  cs.lpszName = "Lumivex";
  cs.style = WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN;
  cs.x = cs.y = CW_USEDEFAULT;
  cs.cx = 1000;
  cs.cy = 700;
  cs.hInstance = AfxGetInstanceHandle();
  if (!PreCreateWindow(cs)) return FALSE;
  HWND hwnd = CreateWindowExA(0, cs.lpszClass, cs.lpszName, cs.style, cs.x, cs.y, cs.cx, cs.cy, nullptr, nullptr,
                              cs.hInstance, nullptr);
  if (!hwnd || !SubclassWindow(hwnd)) {
    if (hwnd) ::DestroyWindow(hwnd);
    return FALSE;
  }
  g_frame = this;
  SetVeltanEccModuleSource(ActiveEccModule);
  InstallProgrammingTools();
  if (OnCreate(&cs) != 0) {
    ::DestroyWindow(Detach());
    g_frame = nullptr;
    return FALSE;
  }
  autoDelete_ = true;
  CBrambApp* app = GetBrambApp();
  ActivateFrame(app ? app->m_nCmdShow : SW_SHOWNORMAL);
  return TRUE;
}

int CMainFrame::OnCreate(CREATESTRUCTA*) {
  // The MDI client, with the Window popup for its list of children.
  CBrambApp* app = GetBrambApp();
  if (!m_wndMenuBar.Create(this, app && app->GetUserLevel() == 2 ? IDR_BEGINNER : IDR_BRAMBTYPE, ID_BAR_MENU))
    return -1;
  CLIENTCREATESTRUCT ccs = {m_wndMenuBar.FindPopup(m_wndMenuBar.m_windowPopupText), 0xFF00};
  mdiClient_ = CreateWindowExA(WS_EX_CLIENTEDGE, "MDICLIENT", nullptr,
                               WS_CHILD | WS_CLIPCHILDREN | WS_VSCROLL | WS_HSCROLL | WS_VISIBLE, 0, 0, 100, 100, m_hWnd,
                               reinterpret_cast<HMENU>(0xE900), AfxGetInstanceHandle(), &ccs);
  if (!mdiClient_) return -1;
  SetPropA(m_hWnd, kClientProp, mdiClient_);
  m_hAccel = LoadAcceleratorsA(AfxGetResourceHandle(), MAKEINTRESOURCEA(IDR_MAINFRAME));

  if (!m_wndToolBar.Create(this, ID_BAR_TOOLBAR, 0x5040283C) || !m_wndToolBar.LoadButtons(ToolbarButtons(false), kSelectorGap))
    return -1;

  if (!m_wndStatusBar.Create(this, ID_BAR_STATUS, 0x50008200)) return -1;
  static const UINT indicators[] = {0, 59137, 59138, 59139};
  if (!m_wndStatusBar.SetIndicators(indicators, 4)) return -1;

  auto* progress = new CExtStatusBarProgressCtrl;
  RECT none = {0, 0, 0, 0};
  if (!progress->Create(0x50010000, none, &m_wndStatusBar, 10001)) {
    delete progress;
    return -2;
  }
  m_pProgress = progress;
  progress->ModifyStyle(WS_BORDER, 0);
  ::SetWindowLongA(progress->m_hWnd, GWL_EXSTYLE, ::GetWindowLongA(progress->m_hWnd, GWL_EXSTYLE) & ~WS_EX_STATICEDGE);
  progress->SetRange(0, 32);
  progress->SetPos(0);
  progress->SetStep(1);
  if (!m_wndStatusBar.AddPane(11001, 1)) {
    LxMessageBox(m_hWnd, "Pane index out of range\nor pane with same ID already exists in the status bar",
                 lx::ToolCaption(nullptr), MB_OK | MB_ICONERROR);
    return -2;
  }
  int pane = m_wndStatusBar.CommandToIndex(11001);
  if (pane == -1) return -2;
  m_wndStatusBar.SetPaneWidth(pane, 100);
  m_wndStatusBar.SetPaneControl(pane, progress->m_hWnd);

  m_wndScriptEditorBar.SetInitialSize(100, 400);
  m_wndScriptLogBar.SetInitialSize(100, 400);
  m_wndVolumeTreeBar.SetInitialSize(200, 100);
  if (!m_wndScriptEditorBar.Create("Script editor", this, ID_BAR_SCRIPT_EDITOR, 0x5040283C) ||
      !m_wndScriptLogBar.Create("Script log output", this, ID_BAR_SCRIPT_LOG, 0x5040283C) ||
      !m_wndVolumeTreeBar.Create(nullptr, this, ID_BAR_VOLUME_TREE, 0x5040283C))
    return -1;

  RECT treeRect = {0, 0, 10, 10};
  if (!m_wndVolumeTree.Create(0x50300C37, treeRect, &m_wndVolumeTreeBar, ID_BAR_VOLUME_TREE)) return -1;
  m_wndVolumeTree.SendMessage(WM_SETFONT, reinterpret_cast<WPARAM>(GetStockObject(DEFAULT_GUI_FONT)), TRUE);
  m_wndVolumeTreeBar.SetClient(m_wndVolumeTree.m_hWnd);
  m_wndVolumeTreeBar.m_bReflectNotify = true;

  if (!m_wndMdiTabs.Create(this, mdiClient_, 0x54000000)) return -1;

  RECT selector = {30, 0, 140, 100};
  selector.left = 4;
  selector.right = kSelectorGap - 4;
  selector.top = 2;
  if (!m_wndDeviceSelector.Create(0x50000203, selector, &m_wndToolBar, IDC_DEVICE_SELECTOR)) return -1;
  m_wndDeviceSelector.AddString("NAND");
  m_wndDeviceSelector.AddString("NOR");
  m_wndDeviceSelector.AddString("SPI");

  // The panes start where a first start has them; the user's layout comes from the registry.
  m_dockSite.Attach(this, RelayoutHook, this);
  std::vector<lx::dock::Pane> panes = lx::DefaultFramePanes();
  m_dockSite.AddPane(&m_wndVolumeTreeBar, panes[0]);
  m_dockSite.AddPane(&m_wndScriptEditorBar, panes[1]);
  m_dockSite.AddPane(&m_wndScriptLogBar, panes[2]);

  RECT page = {0, 0, 10, 10};
  if (!m_wndScriptPages.Create(&m_wndScriptEditorBar, page, 0xE900, 0x56000000)) return -1;
  m_wndScriptEditorBar.SetClient(m_wndScriptPages.m_hWnd);
  AddScriptPage("Help script", LoadScriptResource(0), true);

  if (!m_wndLog.Create(0x503008C4, page, &m_wndScriptLogBar, ID_BAR_SCRIPT_LOG)) return -1;
  m_wndScriptLogBar.SetClient(m_wndLog.m_hWnd);

  m_pCommandDlg = new CCommandDlg;
  if (!m_pCommandDlg->Create(IDD_COMMAND, nullptr)) {
    delete m_pCommandDlg;
    m_pCommandDlg = nullptr;
    return -1;
  }
  LoadHistory();

  lx::DeviceFrameHooks hooks;
  hooks.SelectDeviceKind = SelectKindHook;
  hooks.Changed = ChangedHook;
  hooks.context = this;
  lx::SetDeviceFrameHooks(hooks);

  SetTimer(0, 1000);
  LoadBarState();
  RecalcLayout();
  UpdateBarButtons();
  OnDeviceStateChanged();
  return 0;
}

void CMainFrame::LoadFrameMenu(UINT id) {
  if (!m_wndMenuBar.Create(this, id, ID_BAR_MENU)) return;
  // The MDI client lists its children in the Window popup of the menu it has.
  ::SendMessageA(mdiClient_, WM_MDISETMENU, reinterpret_cast<WPARAM>(m_wndMenuBar.GetMenu()),
                 reinterpret_cast<LPARAM>(m_wndMenuBar.FindPopup(m_wndMenuBar.m_windowPopupText)));
  if (!m_bMenuBarVisible) ::SetMenu(m_hWnd, nullptr);
  ::DrawMenuBar(m_hWnd);
}

void CMainFrame::ShowMenuBar(bool show) {
  m_bMenuBarVisible = show;
  ::SetMenu(m_hWnd, show ? m_wndMenuBar.GetMenu() : nullptr);
  ::DrawMenuBar(m_hWnd);
  RecalcLayout();
}

void CMainFrame::UpdateBarButtons() {
  for (UINT id : {ID_BAR_VOLUME_TREE, ID_BAR_SCRIPT_EDITOR, ID_BAR_SCRIPT_LOG})
    m_wndToolBar.CheckButton(id, m_dockSite.IsPaneVisible(id));
}

void CMainFrame::SaveBarState() {
  CBrambApp* app = GetBrambApp();
  if (!app || !app->m_pszRegistryKey) return;
  app->WriteProfileString(kProfile, LayoutValue(), m_dockSite.SaveLayout().c_str());
  int bars = (m_bMenuBarVisible ? kBarMenu : 0) | (Shown(m_wndToolBar) ? kBarToolbar : 0) |
             (Shown(m_wndStatusBar) ? kBarStatus : 0);
  app->WriteProfileInt(kProfile, "Bars", bars);
}

void CMainFrame::LoadBarState() {
  CBrambApp* app = GetBrambApp();
  if (!app || !app->m_pszRegistryKey) return;
  CString layout = app->GetProfileString(kProfile, LayoutValue());
  if (!layout.IsEmpty()) m_dockSite.LoadLayout(layout.str());
  int bars = static_cast<int>(app->GetProfileInt(kProfile, "Bars", kBarMenu | kBarToolbar | kBarStatus));
  m_wndToolBar.ShowWindow(bars & kBarToolbar ? SW_SHOW : SW_HIDE);
  m_wndStatusBar.ShowWindow(bars & kBarStatus ? SW_SHOW : SW_HIDE);
  if (!(bars & kBarMenu)) ShowMenuBar(false);
}

void CMainFrame::ResetLayout() {
  m_wndToolBar.ShowWindow(SW_SHOW);
  m_wndStatusBar.ShowWindow(SW_SHOW);
  if (!m_bMenuBarVisible) ShowMenuBar(true);
  m_dockSite.ResetLayout();
  CBrambApp* app = GetBrambApp();
  if (app && app->GetUserLevel() == 2) m_dockSite.ShowPane(ID_BAR_VOLUME_TREE, false);
}

void CMainFrame::ActivateFrame(int show) {
  CBrambApp* app = GetBrambApp();
  if (app && app->GetUserLevel() == 2) {
    m_dockSite.ShowPane(ID_BAR_VOLUME_TREE, false);
    LoadFrameMenu(IDR_BEGINNER);
    m_wndToolBar.LoadButtons(ToolbarButtons(true), kSelectorGap);
    RecalcLayout();
    UpdateBarButtons();
    PostMessage(WM_COMMAND, ID_OPEN_DEVICE);
    (void)show;
    return;
  }
  (void)show;
}

void CMainFrame::RecalcLayout() {
  if (!m_hWnd || !mdiClient_) return;
  RECT r;
  GetClientRect(&r);
  lx::FrameLayoutInput in;
  in.width = r.right;
  in.height = r.bottom;
  in.toolbarHeight = Shown(m_wndToolBar) ? m_wndToolBar.Height() : 0;
  in.statusHeight = Shown(m_wndStatusBar) ? m_wndStatusBar.Height() : 0;
  in.tabsHeight = m_wndMdiTabs.Height();
  lx::FrameLayout layout = lx::ComputeFrameLayout(in, m_dockSite.Panes());
  auto place = [](HWND window, const lx::FrameRect& rect) {
    ::MoveWindow(window, rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top, TRUE);
  };
  if (in.toolbarHeight) place(m_wndToolBar.m_hWnd, layout.toolbar);
  if (in.statusHeight) place(m_wndStatusBar.m_hWnd, layout.status);
  RECT area = {layout.dockArea.left, layout.dockArea.top, layout.dockArea.right, layout.dockArea.bottom};
  m_dockSite.Layout(area);
  place(m_wndMdiTabs.m_hWnd, layout.tabs);
  place(mdiClient_, layout.client);
}

BOOL CMainFrame::OpenThreadWindow() {
  CChildFrame* child = CChildFrame::CreateThreadWindow(this);
  if (!child) return FALSE;
  ::SendMessageA(mdiClient_, WM_MDIMAXIMIZE, reinterpret_cast<WPARAM>(child->m_hWnd), 0);
  return TRUE;
}

CChildFrame* CMainFrame::GetActiveChild() const {
  if (!mdiClient_) return nullptr;
  HWND active = reinterpret_cast<HWND>(::SendMessageA(mdiClient_, WM_MDIGETACTIVE, 0, 0));
  return active ? dynamic_cast<CChildFrame*>(CWnd::FromHandlePermanent(active)) : nullptr;
}

int CMainFrame::ThreadWindowCount() const { return g_nThreadWindows.load(); }

// Wine's MDI client frees its list of children when it is destroyed, and a child destroyed after
// it refreshes the Window menu from that freed list: it sets GWLP_ID = 0xFF00 + n on whatever
// windows the stale entries name, other programs' controls included. Children closed while the
// client still lives leave it nothing stale.
void CMainFrame::CloseThreadWindows() {
  if (!mdiClient_ || !::IsWindow(mdiClient_)) return;
  for (;;) {
    HWND child = ::GetWindow(mdiClient_, GW_CHILD);
    while (child && !(::GetWindowLongA(child, GWL_EXSTYLE) & WS_EX_MDICHILD)) child = ::GetWindow(child, GW_HWNDNEXT);
    if (!child) break;
    ::SendMessageA(mdiClient_, WM_MDIDESTROY, reinterpret_cast<WPARAM>(child), 0);
    if (::IsWindow(child)) break;  // refused: never loop on it
    if (g_nThreadWindows > 0) --g_nThreadWindows;
  }
}

// ---- device state ---------------------------------------------------------------------------------
void CMainFrame::SelectDeviceKind(int kind) {
  if (m_wndDeviceSelector.m_hWnd) m_wndDeviceSelector.SetCurSel(kind);
}

void CMainFrame::OnDeviceSelChange() {
  CBrambApp* app = GetBrambApp();
  int index = m_wndDeviceSelector.GetCurSel();
  if (!app || index < 0) return;
  app->m_Options.DeviceKind = static_cast<int8_t>(index);
  if (index == 2) app->m_Options.WindowSizeIndex = 0;
  app->SaveOptions();
}

bool CMainFrame::IsDeviceOpen() const { return lx::FrameDevice().DeviceOpenFlag != 0; }

void CMainFrame::OnDeviceStateChanged() {
  for (UINT id : {ID_DEVICE_EXPLORER, ID_FUNCTION_PROFILER, ID_RUN_SCRIPT, ID_STOP_SCRIPT})
    m_wndToolBar.EnableButton(id, IsCommandEnabled(id));
  // The reset window has no device to work on once it is closed.
  if (!IsDeviceOpen()) CloseNorResetDialog();
}

bool CMainFrame::IsCommandEnabled(UINT id) const {
  const lx::FrameDeviceFields& device = lx::FrameDevice();
  bool open = device.DeviceOpenFlag != 0;
  switch (id) {
    case ID_FUNCTION_PROFILER: case ID_DEVICE_EXPLORER: case ID_DEVICE_DUPLICATE: case ID_GET_LAST_ERROR:
    case ID_RESET_DEVICE: case ID_DUMP_DEBUG: case ID_EXT_GFSL_MODULE: case ID_EXT_ECC_MODULE:
      return open;
    case ID_SECTOR_EXPLORER: case ID_VOLUME_DUPLICATE:
      return device.FrameBdtlMask != 0;
    case ID_VOLUME_TREE:
      return device.FrameMountMask != 0;
    case ID_RUN_SCRIPT:
      return !lx::TheScriptRunner().IsRunning();
    case ID_STOP_SCRIPT:
      return lx::TheScriptRunner().IsRunning();
    case ID_VYR_ANALYZER: {
      CBrambApp* app = GetBrambApp();
      return open || (app && app->m_Options.VyrWithoutFsLibrary);
    }
    default:
      if (lx::container::IsCommand(id)) {
        CChildFrame* child = GetActiveChild();
        return child && lx::container::IsEnabled(child->m_View.m_hWnd, id);
      }
      return true;
  }
}

bool CMainFrame::IsCommandChecked(UINT id) const {
  CBrambApp* app = GetBrambApp();
  int kind = app ? app->m_Options.DeviceKind : -1;
  switch (id) {
    case ID_SELECT_NAND: return kind == 0;
    case ID_SELECT_NOR: return kind == 1;
    case ID_SELECT_SPI: return kind == 2;
    case ID_BAR_TOOLBAR: return Shown(m_wndToolBar);
    case ID_BAR_STATUS: return Shown(m_wndStatusBar);
    case ID_BAR_SCRIPT_EDITOR:
    case ID_BAR_SCRIPT_LOG:
    case ID_BAR_VOLUME_TREE:
      return m_dockSite.IsPaneVisible(id);
    case ID_BAR_MENU: return m_bMenuBarVisible;
    default: return false;
  }
}

void CMainFrame::StartProgress() {
  if (m_pProgress && m_pProgress->m_hWnd) m_pProgress->SetTimer(0, 200);
}

void CMainFrame::StopProgress() {
  if (!m_pProgress || !m_pProgress->m_hWnd) return;
  m_pProgress->SetPos(0);
  m_pProgress->KillTimer(0);
}

void CMainFrame::CloseSplash() {
  CBrambApp* app = GetBrambApp();
  if (app && app->m_pSplash) {
    app->m_pSplash->ShowWindow(SW_HIDE);
    app->m_pSplash->DestroyWindow();
    delete app->m_pSplash;
    app->m_pSplash = nullptr;
  }
  KillTimer(1);
}

// ---- script pages -----------------------------------------------------------------------------
BOOL CMainFrame::AddScriptPage(const char* title, const char* text, bool editable) {
  auto page = std::make_unique<CDynamicEdit>();
  if (!page->Create(&m_wndScriptPages, text, editable)) return FALSE;
  if (!m_wndScriptPages.PageInsert(page->m_hWnd, title, 0, true)) return FALSE;
  scriptPages_.push_back(std::move(page));
  return TRUE;
}

CString CMainFrame::GetPageText(int index) const {
  HWND page = m_wndScriptPages.PageHwndGetSafe(index);
  if (!page) return CString();
  int length = ::GetWindowTextLengthA(page);
  std::string text(static_cast<size_t>(length) + 1, '\0');
  ::GetWindowTextA(page, &text[0], length + 1);
  return CString(text.c_str());
}

CString CMainFrame::GetSelectedPageText() const {
  int selected = m_wndScriptPages.PageSelectionGet();
  return selected < 0 ? CString() : GetPageText(selected);
}

void CMainFrame::SetPageTitle(int index, const char* title) { m_wndScriptPages.PageTextSet(index, title); }

CString CMainFrame::LoadScriptResource(int index) const {
  static const struct {
    const char* title;
    int id;
  } pages[] = {{"Help script", IDR_HELP_SCRIPT}};
  if (index < 0 || index >= 1) return CString();
  HRSRC found = FindResourceA(AfxGetResourceHandle(), MAKEINTRESOURCEA(pages[index].id), "VBS");
  if (!found) return CString();
  HGLOBAL loaded = LoadResource(AfxGetResourceHandle(), found);
  DWORD size = SizeofResource(AfxGetResourceHandle(), found);
  const char* bytes = loaded ? static_cast<const char*>(LockResource(loaded)) : nullptr;
  if (!bytes || size == 0) return CString();
  return CString(std::string(bytes, size).c_str());
}

namespace {
// The script log as the runs print into it (from the script thread).
class FrameScriptLog : public lx::ScriptLog {
 public:
  void Print(bool bold, uint32_t colour, const char* text) override {
    if (log && log->m_hWnd) log->Print(bold ? 1 : 0, colour, text);
  }
  void Clear() override {
    if (log && log->m_hWnd) log->Clear();
  }
  CLogCtrl* log = nullptr;
} g_scriptLog;
}  // namespace

void CMainFrame::RunScript() {
  g_scriptLog.log = &m_wndLog;
  if (lx::TheScriptRunner().Start(m_hWnd, &g_scriptLog, GetSelectedPageText().str(), WM_LX_SCRIPT_ENDED))
    OnDeviceStateChanged();
}

void CMainFrame::InterruptScript() { lx::TheScriptRunner().Interrupt(); }

// The engine is closed on its own thread when the run ends; here a run is only asked to stop.
void CMainFrame::CloseScriptEngine() { lx::TheScriptRunner().RequestStop(); }

// ---- history ------------------------------------------------------------------------------------
void CMainFrame::LoadHistory() {
  CBrambApp* app = GetBrambApp();
  if (!app || !m_pCommandDlg) return;
  CString path = app->m_InstallFolder + "\\history.txt";
  // Created when missing, never truncated.
  HANDLE file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return;
  m_HistoryPath = path;
  std::string bytes;
  char buffer[4096];
  DWORD got = 0;
  while (ReadFile(file, buffer, sizeof buffer, &got, nullptr) && got > 0) bytes.append(buffer, got);
  CloseHandle(file);
  // The file lists the newest first, as the combo box does.
  HWND combo = m_pCommandDlg->Combo();
  for (const std::string& entry : lx::ParseHistory(bytes))
    ::SendMessageA(combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(entry.c_str()));
}

void CMainFrame::SaveHistory() {
  if (m_HistoryPath.IsEmpty() || !m_pCommandDlg || !m_pCommandDlg->m_hWnd) return;
  std::vector<std::string> entries;
  for (int i = 0; i < m_pCommandDlg->HistoryCount(); ++i) entries.push_back(m_pCommandDlg->HistoryEntry(i).str());
  std::string text = lx::HistoryText(entries);
  HANDLE file = CreateFileA(m_HistoryPath, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return;
  DWORD written = 0;
  WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
  CloseHandle(file);
}

// ---- messages ---------------------------------------------------------------------------------
BOOL CMainFrame::PreTranslateMessage(MSG* msg) {
  if (mdiClient_ && TranslateMDISysAccel(mdiClient_, msg)) return TRUE;
  // The frame's Delete accelerator would take the key from the volume tree, whose own Delete
  // deletes the selected item, and the edit keys from the tree's label editor.
  HWND tree = m_wndVolumeTree.m_hWnd;
  if (tree && msg->message == WM_KEYDOWN &&
      ((msg->hwnd == tree && msg->wParam == VK_DELETE) || ::IsChild(tree, msg->hwnd)))
    return FALSE;
  if (m_hAccel && TranslateAcceleratorA(m_hWnd, m_hAccel, msg)) return TRUE;
  return FALSE;
}

BOOL CMainFrame::OnAcceleratorCommand(UINT id) {
  HWND focus = ::GetFocus();
  HWND page = m_wndScriptPages.PageHwndGetSafe(m_wndScriptPages.PageSelectionGet());
  HWND target = nullptr;
  if (page && focus == page) target = page;
  else if (m_wndLog.m_hWnd && focus == m_wndLog.m_hWnd) target = m_wndLog.m_hWnd;
  // Only the five edit commands belong to the page or the log; every other accelerator, and
  // every accelerator while neither has the focus, goes on to the frame's own commands.
  if (!target) return FALSE;
  switch (id) {
    case ID_EDIT_CLEAR: ::SendMessageA(target, WM_CLEAR, 0, 0); return TRUE;
    case ID_EDIT_COPY: ::SendMessageA(target, WM_COPY, 0, 0); return TRUE;
    case ID_EDIT_CUT: ::SendMessageA(target, WM_CUT, 0, 0); return TRUE;
    case ID_EDIT_PASTE: ::SendMessageA(target, WM_PASTE, 0, 0); return TRUE;
    case ID_EDIT_SELECT_ALL: ::SendMessageA(target, EM_SETSEL, 0, -1); return TRUE;
    default: return FALSE;
  }
}

BOOL CMainFrame::DestroyWindow() {
  if (m_hWnd) {
    SaveBarState();
    m_dockSite.Destroy();
    SaveHistory();
    CloseNorResetDialog();
    CloseThreadWindows();
  }
  return CWnd::DestroyWindow();
}

LRESULT CMainFrame::WindowProc(UINT msg, WPARAM wp, LPARAM lp) {
  // The splitters between the panes are the frame's own client area.
  if (m_dockSite.OnFrameMessage(msg, wp, lp)) return msg == WM_SETCURSOR ? TRUE : 0;
  switch (msg) {
    case WM_CONTEXTMENU: {
      // A right click on the bars offers the View menu, so a hidden menu bar comes back.
      HWND on = reinterpret_cast<HWND>(wp);
      if (on != m_hWnd && on != m_wndToolBar.m_hWnd && on != m_wndStatusBar.m_hWnd) break;
      HMENU view = m_wndMenuBar.FindPopup("View");
      if (!view) break;
      POINT pt = {LxPointX(lp), LxPointY(lp)};
      if (pt.x == -1 && pt.y == -1) GetCursorPos(&pt);
      SendMessage(WM_INITMENUPOPUP, reinterpret_cast<WPARAM>(view), 0);
      TrackPopupMenu(view, TPM_RIGHTBUTTON, pt.x, pt.y, 0, m_hWnd, nullptr);
      return 0;
    }
    case WM_SIZE:
      if (wp != SIZE_MINIMIZED) RecalcLayout();
      return 0;  // the frame places the MDI client itself
    case WM_TIMER:
      if (wp == 0) {
        CString text;
        text.Format("Number of running threads: %d", m_nRunningThreads.load());
        m_wndStatusBar.SetPaneText(0, text);
        return 0;
      }
      if (wp == 1) {
        CloseSplash();
        return 0;
      }
      break;
    case WM_COMMAND: {
      UINT id = LOWORD(wp);
      if (lp && id == IDC_DEVICE_SELECTOR) {
        if (HIWORD(wp) == CBN_SELCHANGE) OnDeviceSelChange();
        return 0;
      }
      // Notifications of controls inside the panes (the log's own id is a bar command) are
      // no commands; menus, accelerators and toolbar buttons are.
      if (lp && reinterpret_cast<HWND>(lp) != m_wndToolBar.m_hWnd) break;
      if (HIWORD(wp) == 1 && !lp && OnAcceleratorCommand(id)) return 0;
      if (OnMenuCommand(id)) return 0;
      break;
    }
    case WM_INITMENUPOPUP: {
      HMENU menu = reinterpret_cast<HMENU>(wp);
      int count = GetMenuItemCount(menu);
      for (int i = 0; i < count; ++i) {
        UINT id = GetMenuItemID(menu, i);
        if (id == 0 || id == static_cast<UINT>(-1)) continue;
        EnableMenuItem(menu, id, MF_BYCOMMAND | (IsCommandEnabled(id) ? MF_ENABLED : MF_GRAYED));
        CheckMenuItem(menu, id, MF_BYCOMMAND | (IsCommandChecked(id) ? MF_CHECKED : MF_UNCHECKED));
      }
      break;
    }
    case WM_LX_DEVICE_CHANGED:
    case WM_LX_SCRIPT_ENDED:
      OnDeviceStateChanged();
      return 0;
    case WM_LX_SELECT_KIND: {
      int kind = static_cast<int>(wp);
      SelectDeviceKind(kind);
      OnDeviceSelChange();
      return 0;
    }
    case WM_CLOSE:
      // The volume tree's copy pumps messages with the tree on its stack: the frame waits for it.
      if (m_wndVolumeTree.IsCopyRunning()) {
        MessageBeep(MB_ICONEXCLAMATION);
        return 0;
      }
      // An explorer's dialog or sheet runs its own message loop with the explorer on its stack.
      if (!ExplorersLetTheFrameClose(this)) return 0;
      if (m_nRunningThreads.load() > 0) {
        // The command threads write into windows of this frame.
        LxMessageBox(m_hWnd, "Thread is not finished.", lx::ToolCaption(nullptr), MB_OK);
        return 0;
      }
      if (lx::TheScriptRunner().IsRunning()) {
        // The script's log prints need this thread: wait for the run while pumping.
        static bool waiting = false;
        if (waiting) return 0;
        waiting = true;
        CloseScriptEngine();
        bool ended = lx::TheScriptRunner().WaitWhilePumping(5000);
        waiting = false;
        if (!ended) {
          LxMessageBox(m_hWnd, "The script does not stop: it ends at its next call of LXObject.", lx::ToolCaption(nullptr), MB_OK);
          return 0;
        }
      }
      DestroyWindow();
      return 0;
    case WM_DESTROY: {
      // Destroyed without DestroyWindow() of this class: the children still go before the client.
      CloseThreadWindows();
      KillTimer(0);
      DestroyProfilerDialog();
      lx::SetDeviceFrameHooks(lx::DeviceFrameHooks());
      if (m_pCommandDlg) {
        m_pCommandDlg->DestroyWindow();
        delete m_pCommandDlg;
        m_pCommandDlg = nullptr;
      }
      DestroyExplorers(this);
      DestroySectorTools();
      RemovePropA(m_hWnd, kClientProp);
      CBrambApp* app = GetBrambApp();
      if (app && app->m_pFrameServices == this) app->m_pFrameServices = nullptr;
      if (app && app->m_pMainWnd == this) app->m_pMainWnd = nullptr;
      if (g_frame == this) g_frame = nullptr;
      PostQuitMessage(0);
      break;
    }
    default:
      break;
  }
  return CWnd::WindowProc(msg, wp, lp);
}
