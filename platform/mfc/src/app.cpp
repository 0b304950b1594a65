#include <cstdlib>
#include <cstring>

#include "lumivex/prompt.h"
#include "lxmfc.h"

namespace {
CWinApp* g_app = nullptr;
}  // namespace

CWinApp* AfxGetApp() { return g_app; }
CWnd* AfxGetMainWnd() { return g_app ? g_app->m_pMainWnd : nullptr; }

HINSTANCE AfxGetInstanceHandle() {
  return g_app && g_app->m_hInstance ? g_app->m_hInstance : GetModuleHandleA(nullptr);
}

HINSTANCE AfxGetResourceHandle() { return AfxGetInstanceHandle(); }

// The box belongs to the window the user is working in (an explorer, a sheet, a dialog): modal to it,
// and giving the focus back to it when it goes. Owned by the main window instead, it left that
// window enabled and raised the main window over it afterwards.
int AfxMessageBox(const char* text, UINT type) {
  CWnd* main = AfxGetMainWnd();
  const char* caption = g_app && g_app->m_pszAppName ? g_app->m_pszAppName : "";
  HWND owner = GetActiveWindow();
  if (!owner && main) owner = main->m_hWnd;
  return LxMessageBox(owner, text, caption, type);
}

int AfxMessageBox(UINT stringId, UINT type) {
  CString text;
  text.LoadString(stringId);
  return AfxMessageBox(text, type);
}

// ----- Command line --------------------------------------------------------------------------
void CCommandLineInfo::ParseParam(const char* param, BOOL flag, BOOL) {
  if (flag) {
    if (!lstrcmpiA(param, "Register") || !lstrcmpiA(param, "Regserver")) m_nShellCommand = AppRegister;
    else if (!lstrcmpiA(param, "Unregister") || !lstrcmpiA(param, "Unregserver")) m_nShellCommand = AppUnregister;
    else if (!lstrcmpiA(param, "Embedding")) m_bRunEmbedded = TRUE;
    else if (!lstrcmpiA(param, "Automation")) m_bRunAutomated = TRUE;
  } else if (m_strFileName.IsEmpty()) {
    m_strFileName = param;
    if (m_nShellCommand == FileNew) m_nShellCommand = FileOpen;
  }
}

// ----- Application ---------------------------------------------------------------------------
CWinApp::CWinApp(const char* appName) : previous_(g_app) {
  g_app = this;
  if (appName) {
    appName_ = appName;
    m_pszAppName = appName_;
  }
}

CWinApp::~CWinApp() {
  if (g_app == this) g_app = previous_;
}

int CWinApp::Run() {
  MSG msg;
  BOOL got;
  while ((got = GetMessageA(&msg, nullptr, 0, 0)) != 0) {
    if (got == -1) break;
    if (PreTranslateMessage(&msg)) continue;
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
  }
  exitCode_ = got == 0 ? static_cast<int>(msg.wParam) : -1;
  return ExitInstance();
}

BOOL CWinApp::PreTranslateMessage(MSG* msg) {
  HWND root = msg->hwnd ? GetAncestor(msg->hwnd, GA_ROOT) : nullptr;
  CWnd* window = CWnd::FromHandlePermanent(root);
  return window ? window->PreTranslateMessage(msg) : FALSE;
}

void CWinApp::ParseArguments(CCommandLineInfo& info, int argc, char** argv) {
  for (int i = 1; i < argc; ++i) {
    const char* param = argv[i] ? argv[i] : "";
    BOOL flag = param[0] == '/' || param[0] == '-';
    if (flag) ++param;
    info.ParseParam(param, flag, i + 1 == argc);
  }
}

void CWinApp::ParseCommandLine(CCommandLineInfo& info) { ParseArguments(info, __argc, __argv); }

BOOL CWinApp::ProcessShellCommand(CCommandLineInfo& info) {
  return info.m_nShellCommand != CCommandLineInfo::AppRegister &&
         info.m_nShellCommand != CCommandLineInfo::AppUnregister;
}

void CWinApp::SetRegistryKey(const char* company) {
  registryKey_ = company ? company : "";
  m_pszRegistryKey = registryKey_;
  m_pszProfileName = m_pszAppName;
}

void CWinApp::LoadStdProfileSettings(UINT maxRecentFiles) { m_nMaxRecentFiles = maxRecentFiles; }

CString CWinApp::GetAppRegistryPath() const {
  CString path;
  path.Format("Software\\%s\\%s", m_pszRegistryKey ? m_pszRegistryKey : "", m_pszProfileName ? m_pszProfileName : "");
  return path;
}

CString CWinApp::GetProfileString(const char* section, const char* entry, const char* defaultValue) {
  CString result = defaultValue ? defaultValue : "";
  CString keyPath = GetAppRegistryPath() + "\\" + section;
  HKEY key;
  if (RegOpenKeyExA(HKEY_CURRENT_USER, keyPath, 0, KEY_READ, &key) != ERROR_SUCCESS) return result;
  DWORD type = 0, size = 0;
  if (RegQueryValueExA(key, entry, nullptr, &type, nullptr, &size) == ERROR_SUCCESS && type == REG_SZ) {
    std::vector<char> buffer(size + 2, '\0');
    DWORD got = size;
    if (RegQueryValueExA(key, entry, nullptr, &type, reinterpret_cast<BYTE*>(buffer.data()), &got) ==
        ERROR_SUCCESS)
      result = buffer.data();
  }
  RegCloseKey(key);
  return result;
}

BOOL CWinApp::WriteProfileString(const char* section, const char* entry, const char* value) {
  CString keyPath = GetAppRegistryPath() + "\\" + section;
  HKEY key;
  if (RegCreateKeyExA(HKEY_CURRENT_USER, keyPath, 0, nullptr, 0, KEY_WRITE, nullptr, &key, nullptr) != ERROR_SUCCESS)
    return FALSE;
  LONG r = value ? RegSetValueExA(key, entry, 0, REG_SZ, reinterpret_cast<const BYTE*>(value),
                                  static_cast<DWORD>(std::strlen(value) + 1))
                 : RegDeleteValueA(key, entry);
  RegCloseKey(key);
  return r == ERROR_SUCCESS;
}

UINT CWinApp::GetProfileInt(const char* section, const char* entry, int defaultValue) {
  CString keyPath = GetAppRegistryPath() + "\\" + section;
  HKEY key;
  if (RegOpenKeyExA(HKEY_CURRENT_USER, keyPath, 0, KEY_READ, &key) != ERROR_SUCCESS)
    return static_cast<UINT>(defaultValue);
  DWORD type = 0, value = 0, size = sizeof value;
  LONG r = RegQueryValueExA(key, entry, nullptr, &type, reinterpret_cast<BYTE*>(&value), &size);
  RegCloseKey(key);
  return r == ERROR_SUCCESS && type == REG_DWORD ? value : static_cast<UINT>(defaultValue);
}

BOOL CWinApp::WriteProfileInt(const char* section, const char* entry, int value) {
  CString keyPath = GetAppRegistryPath() + "\\" + section;
  HKEY key;
  if (RegCreateKeyExA(HKEY_CURRENT_USER, keyPath, 0, nullptr, 0, KEY_WRITE, nullptr, &key, nullptr) != ERROR_SUCCESS)
    return FALSE;
  DWORD v = static_cast<DWORD>(value);
  LONG r = RegSetValueExA(key, entry, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&v), sizeof v);
  RegCloseKey(key);
  return r == ERROR_SUCCESS;
}

int AfxWinMain(HINSTANCE instance, const char* commandLine, int show) {
  CWinApp* app = AfxGetApp();
  if (!app) return -1;
  app->m_hInstance = instance;
  app->m_lpCmdLine = commandLine;
  app->m_nCmdShow = show;
  if (!app->InitInstance()) {
    if (app->m_pMainWnd && app->m_pMainWnd->m_hWnd) app->m_pMainWnd->DestroyWindow();
    return app->ExitInstance();
  }
  return app->Run();
}
