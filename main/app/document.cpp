#include "document.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "app.h"
#include "console_router.h"
#include "device_ops.h"
#include "device_state.h"
#include "fs_shell.h"
#include "lumivex/prompt.h"
#include "tool_host.h"
#include "lumivex/text_format.h"
#include "lxtoolkit.h"
#include "main_frame.h"
#include "resource.h"
#include "rich_container.h"

std::atomic<int> g_nThreadWindows{0};

namespace {

std::atomic<int32_t> g_nextThreadNumber{1};
const char kChildClass[] = "LumivexThreadWindow";

// The conversion buffers of the application's services hold 512 characters.
constexpr int kLineBuffer = 512;

// The shell's view of a command thread: its window, the state functions and the app's texts.
class ThreadShellHost : public lx::ShellHost {
 public:
  explicit ThreadShellHost(CChildFrame* owner) : owner_(owner) {}
  void Print(const std::string& text) override { ThreadLogPrintf(owner_, "%s", text.c_str()); }
  int Mount(int volume) override { return lx::VolumeMount(volume); }
  int Unmount(int volume) override { return lx::VolumeUnmount(volume); }
  std::string AnsiToUtf8(const std::string& text) override {
    char out[kLineBuffer];
    CBrambApp::AnsiToUtf8(text.c_str(), out, sizeof out);
    return out;
  }
  std::string Utf8ToAnsi(const std::string& text, bool* lossy) override {
    char out[kLineBuffer];
    BOOL used = FALSE;
    CBrambApp::Utf8ToAnsi(text.c_str(), out, sizeof out, &used);
    if (lossy) *lossy = used != FALSE;
    return out;
  }

 private:
  CChildFrame* owner_;
};

struct DriverPaths {
  CString nor;
  CString veltan;
};

bool LoadNor(void* context) {
  const DriverPaths* paths = static_cast<const DriverPaths*>(context);
  CNorDriverBinder binder;
  HMODULE module = binder.LoadNorDriverLibrary(paths->nor);
  return module && binder.LoadNorDriverApi(module) == 0;
}

bool LoadVeltan(void* context) {
  const DriverPaths* paths = static_cast<const DriverPaths*>(context);
  CVeltanDriverBinder binder;
  HMODULE module = binder.LoadVeltanDriverLibrary(paths->veltan);
  return module && binder.LoadVeltanDriverApi(module) == 0;
}

void PrintDriverText(void* context, const char* text) {
  ThreadLogPrintf(static_cast<CChildFrame*>(context), "%s", text);
}

LRESULT CALLBACK ChildDefProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  return DefMDIChildProcA(hwnd, msg, wp, lp);
}

bool RegisterChildClass() { return LxRegisterWindowClass(kChildClass, ChildDefProc, COLOR_WINDOW, true); }

}  // namespace

// ---- document ---------------------------------------------------------------------------------
CBrambDoc::CBrambDoc() : m_nThreadNumber(g_nextThreadNumber++) {}

BOOL CBrambDoc::OnNewDocument() {
  m_Title.Format("Thread #%d", m_nThreadNumber);
  if (CBrambApp* app = GetBrambApp()) app->LoadOptions(false);
  return TRUE;
}

// ---- view -------------------------------------------------------------------------------------
BOOL CBrambView::CreateView(CWnd* parent) {
  RECT r = {0, 0, 100, 100};
  DWORD style = WS_CHILD | WS_VISIBLE | WS_VSCROLL | WS_HSCROLL | ES_MULTILINE | ES_AUTOVSCROLL | ES_AUTOHSCROLL |
                ES_READONLY | ES_NOHIDESEL;
  if (!Create(style, r, parent, 0xE900)) return FALSE;
  OnInitialUpdate();
  return TRUE;
}

void CBrambView::OnInitialUpdate() {
  CHARFORMAT2A format = {};
  format.cbSize = sizeof format;
  format.dwMask = CFM_FACE | CFM_SIZE | CFM_CHARSET;
  format.yHeight = 180;
  format.bCharSet = DEFAULT_CHARSET;
  std::strcpy(format.szFaceName, "Courier New");
  SetDefaultCharFormat(format);
  SendMessage(EM_SETREADONLY, TRUE);
  // Command output can be long; the control's default limit is small.
  SendMessage(EM_EXLIMITTEXT, 0, 0x7FFFFFFF);
  lx::container::Attach(m_hWnd);
}

void CBrambView::AppendText(const char* text) {
  SetSel(-1, -1);
  ReplaceSel(text ? text : "");
}

CString CBrambView::GetText() const {
  int length = GetTextLength();
  std::string text(static_cast<size_t>(length) + 1, '\0');
  ::GetWindowTextA(m_hWnd, &text[0], length + 1);
  return CString(text.c_str());
}

LRESULT CBrambView::WindowProc(UINT msg, WPARAM wp, LPARAM lp) {
  if (msg == WM_LX_APPEND_TEXT) {
    AppendText(reinterpret_cast<const char*>(lp));
    return 0;
  }
  return CRichEditCtrl::WindowProc(msg, wp, lp);
}

// ---- output of a command thread ---------------------------------------------------------------
int ThreadLogPrintf(CChildFrame* owner, const char* format, ...) {
  va_list args;
  va_start(args, format);
  std::string text = lx::FormatV(format, args);
  va_end(args);
  if (owner && owner->m_View.m_hWnd)
    ::SendMessageA(owner->m_View.m_hWnd, WM_LX_APPEND_TEXT, 0, reinterpret_cast<LPARAM>(text.c_str()));
  return 0;
}

void ExecuteCommandLine(CChildFrame* owner, const CString& line, const CString& norPath, const CString& veltanPath) {
  char utf8[kLineBuffer];
  CBrambApp::AnsiToUtf8(line, utf8, sizeof utf8);
  // A line whose UTF-8 form does not fit the buffer is refused whole rather than run cut short
  // or as an empty line.
  if (utf8[0] == '\0' && !line.IsEmpty()) {
    ThreadLogPrintf(owner, "* %s failed!\n", line.GetString());
    return;
  }

  ThreadShellHost host(owner);
  lx::CFileSystemShell shell(host, owner->m_CurrentFolder);
  int result = 0;
  if (shell.Execute(utf8, &result)) {
    char ansi[kLineBuffer];
    CBrambApp::Utf8ToAnsi(utf8, ansi, sizeof ansi, nullptr);
    ThreadLogPrintf(owner, result ? "* %s failed!\n" : "* %s had entered.\n", ansi);
    return;
  }

  DriverPaths paths{norPath, veltanPath};
  lx::ConsoleDriverLoader loader{!norPath.IsEmpty(), !veltanPath.IsEmpty(), LoadNor, LoadVeltan, &paths};
  int rc = lx::g_ConsoleRouter.RunLine(utf8, loader, PrintDriverText, owner);
  ThreadLogPrintf(owner, rc == 0 ? "* %s had entered.\n" : "* %s failed!\n", utf8);
}

// ---- command thread ---------------------------------------------------------------------------
CBrambThread::CBrambThread(CChildFrame* owner, const CString& line) : m_pOwner(owner), m_Line(line) {
  if (CBrambApp* app = GetBrambApp()) {
    m_NorDriverPath = app->m_Options.NorDriverPath;
    m_VeltanDriverPath = app->m_Options.VeltanDriverPath;
  }
}

bool CBrambThread::Start() {
  DWORD id = 0;
  HANDLE thread = CreateThread(nullptr, 0, Run, this, CREATE_SUSPENDED, &id);
  if (!thread) return false;
  lx::WorkerThreadBegin();
  ResumeThread(thread);
  CloseHandle(thread);
  return true;
}

DWORD WINAPI CBrambThread::Run(void* self) {
  auto* thread = static_cast<CBrambThread*>(self);
  CChildFrame* owner = thread->m_pOwner;
  ExecuteCommandLine(owner, thread->m_Line, thread->m_NorDriverPath, thread->m_VeltanDriverPath);
  if (CMainFrame* frame = GetMainFrame()) frame->m_nRunningThreads--;
  lx::WorkerThreadEnd();
  delete thread;
  // Last: from here on the window may close.
  owner->m_pRunningThread = nullptr;
  return 0;
}

// ---- child frame ------------------------------------------------------------------------------
CChildFrame* CChildFrame::CreateThreadWindow(CMainFrame* frame) {
  if (!frame || !frame->GetMdiClient() || !RegisterChildClass()) return nullptr;
  auto* child = new CChildFrame;
  if (!child->m_Doc.OnNewDocument()) {
    delete child;
    return nullptr;
  }
  MDICREATESTRUCTA create = {};
  create.szClass = kChildClass;
  create.szTitle = child->m_Doc.m_Title;
  create.hOwner = AfxGetInstanceHandle();
  create.x = create.y = create.cx = create.cy = CW_USEDEFAULT;
  create.style = WS_CHILD | WS_VISIBLE | WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN;
  HWND hwnd = reinterpret_cast<HWND>(
      ::SendMessageA(frame->GetMdiClient(), WM_MDICREATE, 0, reinterpret_cast<LPARAM>(&create)));
  if (!hwnd || !child->SubclassWindow(hwnd)) {
    if (hwnd) ::DestroyWindow(hwnd);
    delete child;
    return nullptr;
  }
  if (!child->m_View.CreateView(child)) {
    ::SendMessageA(frame->GetMdiClient(), WM_MDIDESTROY, reinterpret_cast<WPARAM>(hwnd), 0);
    return nullptr;
  }
  child->m_pView = &child->m_View;
  ++g_nThreadWindows;
  RECT r;
  child->GetClientRect(&r);
  ::MoveWindow(child->m_View.m_hWnd, 0, 0, r.right, r.bottom, TRUE);
  // The activation during creation came before the window was ours.
  child->OnActivated();
  return child;
}

void CChildFrame::OnActivated() {
  m_pView = &m_View;
  CMainFrame* frame = GetMainFrame();
  if (!frame) return;
  if (frame->m_pCommandDlg && frame->m_pCommandDlg->m_hWnd) {
    CString caption;
    caption.Format("Command dialog box for thread #%d", m_Doc.m_nThreadNumber);
    frame->m_pCommandDlg->SetWindowText(caption);
  }
  frame->RefreshTabs();
}

bool CChildFrame::StartCommand() {
  if (IsBusy()) return false;
  auto* thread = new CBrambThread(this, m_CommandText);
  m_pView = &m_View;
  m_pRunningThread = thread;
  CMainFrame* frame = GetMainFrame();
  if (frame) frame->m_nRunningThreads++;
  if (!thread->Start()) {
    m_pRunningThread = nullptr;
    if (frame) frame->m_nRunningThreads--;
    delete thread;
    ThreadLogPrintf(this, "* %s failed!\n", m_CommandText.GetString());
    return false;
  }
  return true;
}

LRESULT CChildFrame::WindowProc(UINT msg, WPARAM wp, LPARAM lp) {
  switch (msg) {
    case WM_SIZE:
      if (m_View.m_hWnd) ::MoveWindow(m_View.m_hWnd, 0, 0, LOWORD(lp), HIWORD(lp), TRUE);
      break;
    case WM_LX_START_COMMAND:
      m_bStartPending = false;
      StartCommand();
      return 0;
    case WM_LX_FORGET_VIEW:
      m_pView = nullptr;
      return 0;
    case WM_MDIACTIVATE:
      if (reinterpret_cast<HWND>(lp) == m_hWnd) OnActivated();
      break;
    case WM_CLOSE:
      if (IsBusy()) {
        LxMessageBox(m_hWnd, "Thread is not finished.", lx::ToolCaption(nullptr), MB_OK);
        return 0;
      }
      if (g_nThreadWindows > 1) {
        --g_nThreadWindows;
        CMainFrame* frame = GetMainFrame();
        HWND client = frame ? frame->GetMdiClient() : ::GetParent(m_hWnd);
        ::SendMessageA(client, WM_MDIDESTROY, reinterpret_cast<WPARAM>(m_hWnd), 0);
        if (frame) frame->RefreshTabs();
        return 0;
      }
      LxMessageBox(m_hWnd, "This is the only thread.", lx::ToolCaption(nullptr), MB_OK);
      return 0;
    default:
      break;
  }
  return CWnd::WindowProc(msg, wp, lp);
}

// ---- command dialog -----------------------------------------------------------------------------
namespace {
const int kCommandControls[3] = {IDC_COMMAND_LINE, IDC_COMMAND_SUBMIT, IDCANCEL};
}

BOOL CCommandDlg::OnInitDialog() {
  CDialog::OnInitDialog();
  for (int i = 0; i < 3; ++i) controls_[i] = ::GetDlgItem(m_hWnd, kCommandControls[i]);
  ::SendMessageA(Combo(), CB_LIMITTEXT, 0, 0);
  RECT window, client;
  ::GetWindowRect(m_hWnd, &window);
  GetClientRect(&client);
  minimum_ = {window.right - window.left, window.bottom - window.top};
  for (int i = 0; i < 3; ++i) {
    RECT r;
    ::GetWindowRect(controls_[i], &r);
    ::MapWindowPoints(nullptr, m_hWnd, reinterpret_cast<POINT*>(&r), 2);
    rightGap_[i] = client.right - r.right;
  }
  return TRUE;
}

BOOL CCommandDlg::OnMessage(UINT msg, WPARAM wp, LPARAM lp, LRESULT* result) {
  if (msg == WM_GETMINMAXINFO && minimum_.cx > 0) {
    auto* info = reinterpret_cast<MINMAXINFO*>(lp);
    info->ptMinTrackSize.x = minimum_.cx;
    info->ptMinTrackSize.y = info->ptMaxTrackSize.y = minimum_.cy;
    *result = 0;
    return TRUE;
  }
  if (msg == WM_SIZE && minimum_.cx > 0 && wp != SIZE_MINIMIZED) {
    int width = LOWORD(lp);
    for (int i = 0; i < 3; ++i) {
      HWND control = controls_[i];
      RECT r;
      ::GetWindowRect(control, &r);
      ::MapWindowPoints(nullptr, m_hWnd, reinterpret_cast<POINT*>(&r), 2);
      int right = width - rightGap_[i];
      // The combo box stretches; the buttons move with the right edge.
      int left = i == 0 ? r.left : right - (r.right - r.left);
      int height = r.bottom - r.top;
      RECT dropped;  // a combo box's height counts its list
      if (i == 0 && ::SendMessageA(control, CB_GETDROPPEDCONTROLRECT, 0, reinterpret_cast<LPARAM>(&dropped)))
        height = dropped.bottom - dropped.top;
      ::SetWindowPos(control, nullptr, left, r.top, right - left, height, SWP_NOZORDER | SWP_NOACTIVATE);
    }
    ::InvalidateRect(m_hWnd, nullptr, TRUE);
    *result = 0;
    return TRUE;
  }
  return CDialog::OnMessage(msg, wp, lp, result);
}

BOOL CCommandDlg::OnCommand(WPARAM wp, LPARAM lp) {
  // A button is known by its window as well as by its id (see controls_).
  HWND from = reinterpret_cast<HWND>(lp);
  bool clicked = from && HIWORD(wp) == BN_CLICKED;
  if (LOWORD(wp) == IDC_COMMAND_SUBMIT || LOWORD(wp) == IDOK || (clicked && from == controls_[1])) {
    OnSubmit();
    return TRUE;
  }
  if (LOWORD(wp) == IDCANCEL || (clicked && from == controls_[2])) {
    ShowWindow(SW_HIDE);
    return TRUE;
  }
  return CDialog::OnCommand(wp, lp);
}

BOOL CCommandDlg::PreTranslateMessage(MSG* msg) {
  if (msg->message == WM_KEYDOWN && msg->wParam == VK_RETURN &&
      (msg->hwnd == m_hWnd || ::IsChild(m_hWnd, msg->hwnd))) {
    // A Return inside the open drop-down list only closes the list.
    if (!::SendMessageA(Combo(), CB_GETDROPPEDSTATE, 0, 0)) {
      OnSubmit();
      return TRUE;
    }
  }
  return CDialog::PreTranslateMessage(msg);
}

void CCommandDlg::AddHistory(const char* line) {
  HWND combo = Combo();
  if (!combo) return;
  if (::SendMessageA(combo, CB_GETCOUNT, 0, 0) >= kHistoryLimit)
    ::SendMessageA(combo, CB_DELETESTRING, kHistoryLimit - 1, 0);
  ::SendMessageA(combo, CB_INSERTSTRING, 0, reinterpret_cast<LPARAM>(line));
}

int CCommandDlg::HistoryCount() const {
  return static_cast<int>(::SendMessageA(Combo(), CB_GETCOUNT, 0, 0));
}

CString CCommandDlg::HistoryEntry(int index) const {
  HWND combo = Combo();
  LRESULT length = ::SendMessageA(combo, CB_GETLBTEXTLEN, index, 0);
  if (length == CB_ERR) return CString();
  std::string text(static_cast<size_t>(length) + 1, '\0');
  ::SendMessageA(combo, CB_GETLBTEXT, index, reinterpret_cast<LPARAM>(&text[0]));
  return CString(text.c_str());
}

void CCommandDlg::OnSubmit() {
  CMainFrame* frame = GetMainFrame();
  CChildFrame* child = frame ? frame->GetActiveChild() : nullptr;
  HWND combo = Combo();
  // A dialog without its window has no line to give: reading nothing and running it would
  // answer "*  failed!" for a line nobody typed.
  if (!m_hWnd || !combo) return;
  int length = ::GetWindowTextLengthA(combo);
  std::string text(static_cast<size_t>(length) + 1, '\0');
  ::GetWindowTextA(combo, &text[0], length + 1);
  text.resize(std::strlen(text.c_str()));
  if (child && child->IsBusy()) {
    // The window's view takes the output of one command at a time; the line stays typed.
    LxMessageBox(m_hWnd, "Thread is not finished.", lx::ToolCaption(nullptr), MB_OK);
    return;
  }
  AddHistory(text.c_str());
  if (child && child->m_pView) {
    child->m_CommandText = text.c_str();
    child->m_bStartPending = true;
    if (!child->PostMessage(WM_LX_START_COMMAND)) child->m_bStartPending = false;
  }
  ::SetWindowTextA(combo, "");
}
