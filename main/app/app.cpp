#include "app.h"

#include <shellapi.h>
#include <shlobj.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "com_server.h"
#include "device_state.h"
#include "extlibtest.h"
#include "lumivex/prompt.h"
#include "tool_host.h"
#include "module_loader.h"
#include "options_sheet.h"
#include "resource.h"
#include "splash.h"
#include "startup_rules.h"

namespace {

const char kCompanyKey[] = "Keldorn";
const char kProductKeyPath[] = "Software\\Keldorn\\Lumivex";

CString QuoteIfBlank(const CString& word) {
  return word.Find(' ') >= 0 || word.Find('\t') >= 0 ? CString("\"") + word + "\"" : word;
}

// Where the boxes of a run without a user go: "Lumivex.log" in the user area (in the program's
// own folder while no registration has named one), one stamped entry per box.
void ReportUnattended(const char* caption, const char* text) {
  CBrambApp* app = GetBrambApp();
  CString folder = app && !app->m_UserAreaFolder.IsEmpty() ? app->m_UserAreaFolder : CBrambApp::GetProgramFolder();
  SYSTEMTIME now;
  GetLocalTime(&now);
  char stamp[32];
  std::snprintf(stamp, sizeof stamp, "%04u-%02u-%02u %02u:%02u:%02u", now.wYear, now.wMonth, now.wDay, now.wHour,
                now.wMinute, now.wSecond);
  std::string entry = std::string(stamp) + "  " + (caption && *caption ? caption : "Lumivex") + ": ";
  for (const char* c = text ? text : ""; *c; ++c) entry += *c == '\n' ? std::string("\r\n    ") : std::string(1, *c);
  entry += "\r\n";
  OutputDebugStringA(entry.c_str());
  HANDLE file = CreateFileA(folder + "\\Lumivex.log", FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                            OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return;
  DWORD written = 0;
  WriteFile(file, entry.data(), static_cast<DWORD>(entry.size()), &written, nullptr);
  CloseHandle(file);
}

}  // namespace

namespace {

// The program as the tools see it: this application's options and folders, its frame's
// progress animation.
class AppProgram final : public lx::ProgramContext {
 public:
  explicit AppProgram(CBrambApp& app) : app_(app) {}

  int DeviceKind() const override { return app_.m_Options.DeviceKind; }
  int WindowSizeIndex() const override { return app_.m_Options.WindowSizeIndex; }
  std::string VyrModulePath() const override { return app_.m_Options.VyrModulePath; }
  void SetVyrModulePath(const std::string& path) override {
    lx::SetOptionsPath(app_.m_Options.VyrModulePath, path.c_str());
    app_.SaveOptions();
  }
  void SetDeviceKind(int kind) override {
    app_.m_Options.DeviceKind = static_cast<int8_t>(kind);
    if (kind == lx::kDeviceKindSpi) app_.m_Options.WindowSizeIndex = 0;
    app_.SaveOptions();
  }
  int UserLevel() const override { return app_.GetUserLevel(); }
  std::string UserAreaFolder() const override { return app_.m_UserAreaFolder.str(); }
  std::string InstallFolder() const override { return app_.m_InstallFolder.str(); }
  bool DeviceModuleLoaded() const override { return app_.m_bDeviceModuleLoaded; }
  void ReloadOptions(bool rebindModule) override {
    if (rebindModule) app_.m_bReloadDeviceModule = true;
    app_.LoadOptions(false);
  }
  bool Confirm(const char* text) override {
    if (app_.m_Options.ConfirmOperations == 0) return true;
    return AfxMessageBox(text ? text : "Are you sure?", MB_YESNO) == IDYES;
  }
  void StartProgress() override {
    if (app_.m_pFrameServices) app_.m_pFrameServices->StartProgress();
  }
  void StopProgress() override {
    if (app_.m_pFrameServices) app_.m_pFrameServices->StopProgress();
  }
  void ShowOptionsSheet(void* owner, int page) override {
    COptionsSheet sheet("Options...", CWnd::FromHandlePermanent(static_cast<HWND>(owner)), static_cast<UINT>(page));
    sheet.DoModal();
  }

 private:
  CBrambApp& app_;
};

}  // namespace

CBrambApp::CBrambApp()
    : CWinApp("Lumivex"), program_(std::make_unique<AppProgram>(*this)), previousProgram_(lx::Program()) {
  std::memset(&m_Options, 0, sizeof m_Options);
  lx::InstallProgram(program_.get());
}

CBrambApp::~CBrambApp() {
  if (lx::Program() == program_.get()) lx::InstallProgram(previousProgram_);
}

CBrambApp* GetBrambApp() { return static_cast<CBrambApp*>(AfxGetApp()); }

namespace {
MainFrameFactory g_MainFrameFactory = nullptr;
}  // namespace

void SetMainFrameFactory(MainFrameFactory factory) { g_MainFrameFactory = factory; }

bool CBrambApp::InitAtlModule() {
  if (!m_bAtlModuleInitialised) lx::InitScriptModule(AfxGetInstanceHandle());
  m_bAtlModuleInitialised = true;
  return m_bAtlModuleInitialised;
}

BOOL CBrambApp::InitInstance() {
  INITCOMMONCONTROLSEX controls = {sizeof controls, 0xFF};
  InitCommonControlsEx(&controls);
  if (FAILED(OleInitialize(nullptr))) {
    AfxMessageBox(IDS_OLE_INIT_FAILED);
    return FALSE;
  }
  if (!InitAtlModule()) return FALSE;
  SetRegistryKey(kCompanyKey);
  LoadStdProfileSettings(4);
  ParseCommandLine(m_cmdInfo);

  m_UserLevel = lx::kUserAdvanced;
  if (m_cmdInfo.m_nShellCommand == CCommandLineInfo::FileOpen) {
    int32_t level = lx::kUserAdvanced;
    if (lx::ClassifyFirstWord(m_cmdInfo.m_strFileName, &level) == lx::StartMode::ExtLibTest) {
      m_InstallFolder = GetProfileString("Main App", "Full Path", "");
      ExtLibTestRunner runner;
      runner.Run(this);
      return FALSE;
    }
    m_UserLevel = level;
    m_cmdInfo.m_nShellCommand = CCommandLineInfo::FileNew;
  }

  if (m_cmdInfo.m_nShellCommand == CCommandLineInfo::AppRegister) {
    RunRegistration();
  } else if (m_cmdInfo.m_nShellCommand == CCommandLineInfo::AppUnregister) {
    lx::RegisterScriptServer(false);
    return ProcessShellCommand(m_cmdInfo);
  }
  // Started by COM for a client of the scriptable class: serve it without windows and end.
  // The client waits from the moment it started this program: the class object comes first
  // (its calls wait in the queue until the serving loop), and nothing on the way may wait for
  // a user, who is not there (a registration box would hold the client's call for good).
  if (m_cmdInfo.m_bRunEmbedded) {
    ServeAsComServer();
    return FALSE;
  }
  lx::RegisterScriptClassObjects();

  EnsureRegistered();
  if (m_InstallFolder.IsEmpty()) {
    AfxMessageBox("Please, select Register Lumivex from Windows Start menu.");
    return FALSE;
  }
  // Registering ends the program once the set-up is done.
  if (!ProcessShellCommand(m_cmdInfo)) return FALSE;

  m_pSplash = new CSplashWindowDlg;
  m_pSplash->Create(IDD_SPLASH);
  ::SetWindowPos(m_pSplash->m_hWnd, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
  CWnd* frame = g_MainFrameFactory ? g_MainFrameFactory() : nullptr;
  if (!frame) return FALSE;
  m_pSplash->ShowWindow(SW_SHOW);
  CString version;
  GetFileVersionText(version);
  m_pSplash->SetStatusText(CString("Lumivex\n") + version);
  m_pMainWnd = frame;
  m_pFrameServices = dynamic_cast<IMainFrameServices*>(frame);
  frame->SetTimer(1, 5000);
  // The shell command: the first thread window, whose document reads the options.
  if (!m_pFrameServices || !m_pFrameServices->OpenThreadWindow()) LoadOptions(false);
  frame->ShowWindow(SW_SHOW);
  frame->UpdateWindow();
  return TRUE;
}

BOOL CBrambApp::ServeAsComServer() {
  LxPromptSetUnattended(ReportUnattended);
  // A client nobody serves would wait out its activation for nothing: say why and end.
  const char* refused = "COM refused the class object of LXActiveScript.LXObject, so no client can be served.";
  if (!lx::RegisterScriptClassObjects()) return FailStart(refused);
  if (!EnsureRegistered(false))
    return FailStart("the registration could not be completed: the registry did not keep the version.");
  if (!m_InstallFolder.IsEmpty()) LoadOptions(false);
  return lx::ServeEmbedded(60000) ? TRUE : FailStart(refused);
}

BOOL CBrambApp::FailStart(const char* why) {
  CString line = CString("Lumivex cannot serve as a COM server: ") + why;
  std::fprintf(stderr, "%s\n", line.GetString());
  std::fflush(stderr);
  ReportUnattended("Lumivex", line);
  startFailed_ = true;
  return FALSE;
}

int CBrambApp::ExitInstance() {
  // Objects that outside clients hold keep the program running after its frame has closed: it
  // serves them on without windows, where no box may wait, and ends as a program COM started
  // does once the last of them has gone.
  if (lx::ScriptObjectCount() > 0) {
    if (m_pSplash && m_pSplash->m_hWnd) m_pSplash->DestroyWindow();
    LxPromptSetUnattended(ReportUnattended);
    lx::ServeEmbedded(0);
  }
  lx::RevokeScriptClassObjects();
  if (m_bDeviceModuleLoaded) DeviceApiTable.gfslInit(1);
  if (m_bAtlModuleInitialised) OleUninitialize();
  const int code = CWinApp::ExitInstance();
  return startFailed_ ? 1 : code;
}

CString CBrambApp::GetProgramFolder() {
  char path[MAX_PATH * 2] = "";
  DWORD n = GetModuleFileNameA(nullptr, path, sizeof path);
  if (n == 0 || n >= sizeof path) return CString();
  CString folder(path);
  int slash = folder.ReverseFind('\\');
  return slash < 0 ? CString() : folder.Left(slash);
}

int64_t CBrambApp::GetOwnBuildNumber() {
  CString build;
  build.LoadString(IDS_BUILD_NUMBER);
  return lx::ParseBuildNumber(build);
}

void CBrambApp::ReadRegistryState() {
  m_InstallFolder = GetProfileString("Main App", "Full Path", "");
  m_UserAreaFolder = GetProfileString("User Area", "Full Path", "");
  m_StoredBuildNumber = lx::ParseBuildNumber(GetProfileString("Main App", "File Version", ""));
}

bool CBrambApp::EnsureRegistered(bool showMessages) {
  ReadRegistryState();
  const int64_t own = GetOwnBuildNumber();
  // A registry that refuses the build number would otherwise bring the set-up back forever.
  for (int attempt = 0; lx::RegistrationDue(own, m_StoredBuildNumber); ++attempt) {
    if (attempt == 2) {
      if (showMessages)
        AfxMessageBox("The registration of Lumivex could not be completed: the registry did not keep its version.",
                      MB_OK | MB_ICONERROR);
      return false;
    }
    RunRegistration(showMessages);
    ReadRegistryState();
  }
  return true;
}

bool CBrambApp::RunRegistration(bool showMessages) {
  char keyPath[MAX_PATH];
  lstrcpynA(keyPath, kProductKeyPath, sizeof keyPath);
  DeleteRegistryTree(HKEY_CURRENT_USER, keyPath);
  lx::RegisterScriptServer(true);

  // The installation is where this program lies, whatever folder it was started from.
  m_InstallFolder = GetProgramFolder();
  bool stored = WriteProfileString("Main App", "Full Path", m_InstallFolder) != FALSE;
  CString build;
  build.LoadString(IDS_BUILD_NUMBER);
  if (lx::ParseBuildNumber(build) != 0) stored = WriteProfileString("Main App", "File Version", build) && stored;

  char documents[MAX_PATH] = "";
  SHGetFolderPathA(nullptr, CSIDL_PERSONAL | CSIDL_FLAG_CREATE, nullptr, SHGFP_TYPE_CURRENT, documents);
  CString area = CString(documents) + "\\Keldorn";
  CreateDirectoryA(area, nullptr);
  area += "\\Lumivex";
  CreateDirectoryA(area, nullptr);
  m_UserAreaFolder = area;
  CString userData = area + "\\User Data";
  CString vyr = userData + "\\" + "External Vyr Module";
  CreateDirectoryA(userData, nullptr);
  CreateDirectoryA(vyr, nullptr);
  CreateDirectoryA(vyr + "\\" + "Results", nullptr);
  CreateDirectoryA(vyr + "\\" + "Temp", nullptr);
  CreateDirectoryA(area + "\\User Script", nullptr);
  CopyFolderFiles(m_InstallFolder + "\\VBScript", area + "\\User Script");
  WriteProfileString("User Area", "Full Path", area);

  if (showMessages) {
    AfxMessageBox(
        "Initial registration has been finished.\nPlease, read the license agreement carefully before using "
        "Lumivex.",
        MB_OK | MB_ICONINFORMATION);
    OpenInstalledDocument("LicenseAgreement.rtf", nullptr);
  }
  return stored;
}

bool CBrambApp::OpenInstalledDocument(const char* relativePath, HWND owner) {
  CString path = m_InstallFolder + "\\" + relativePath;
  CString text;
  if (GetFileAttributesA(path) == INVALID_FILE_ATTRIBUTES) {
    text.Format("The document %s is missing from the installation.", path.GetString());
  } else {
    // ShellExecute answers 32 or less when it failed (no program for the type, among others).
    INT_PTR opened = reinterpret_cast<INT_PTR>(ShellExecuteA(owner, "open", path, nullptr, nullptr, SW_SHOWNORMAL));
    if (opened > 32) return true;
    text.Format("The document %s could not be opened: no program opens files of its type here.", path.GetString());
  }
  LxMessageBox(owner, text, m_pszAppName ? m_pszAppName : "Lumivex", MB_OK | MB_ICONEXCLAMATION);
  return false;
}

void CBrambApp::GetFileVersionText(CString& text) {
  text.Empty();
  CString path = m_InstallFolder + "\\Lumivex.exe";
  DWORD ignored = 0;
  DWORD size = GetFileVersionInfoSizeA(path, &ignored);
  if (size < 1) return;
  std::vector<char> block(size);
  if (!GetFileVersionInfoA(path, 0, size, block.data())) return;
  VS_FIXEDFILEINFO* info = nullptr;
  UINT length = 0;
  if (!VerQueryValueA(block.data(), "\\", reinterpret_cast<void**>(&info), &length) || !info) return;
  text.Format("File version: %d.%d.%d.%d", HIWORD(info->dwFileVersionMS), LOWORD(info->dwFileVersionMS),
              HIWORD(info->dwFileVersionLS), LOWORD(info->dwFileVersionLS));
}

// ----- Options -------------------------------------------------------------------------------
int CBrambApp::LoadOptions(bool showMessages) {
  CString path = m_OptionsFilePath.IsEmpty() ? m_InstallFolder + "\\setup.ini" : m_OptionsFilePath;
  CFile file;
  CFileException error;
  if (!file.Open(path, CFile::modeRead | CFile::modeCreate | CFile::modeNoTruncate | CFile::typeBinary, &error)) {
    if (showMessages) {
      char text[1024];
      error.GetErrorMessage(text, sizeof text);
      AfxMessageBox(text);
    }
    return 1;
  }
  std::vector<uint8_t> bytes(lx::kOptionsRecordSize);
  UINT got = file.Read(bytes.data(), static_cast<UINT>(bytes.size()));
  lx::ReadOptionsBytes(m_Options, bytes.data(), got);
  m_OptionsFilePath = file.GetFilePath();
  char windows[MAX_PATH] = "";
  GetWindowsDirectoryA(windows, sizeof windows);
  lx::ApplyToolDefaults(m_Options, windows);
  file.Close();
  if (got < lx::kOptionsRecordSize) {
    if (showMessages)
      AfxMessageBox(
          "Error was occurred while reading setup.ini file.\nPlease, select Device > Options menu, then check your "
          "setup.");
    return 1;
  }
  if (!m_bDeviceModuleLoaded || m_bReloadDeviceModule) {
    BindDeviceModule(showMessages);
    if (!m_bDeviceModuleLoaded) return 1;
  }
  if (m_pFrameServices) m_pFrameServices->SelectDeviceKind(m_Options.DeviceKind);
  return 0;
}

void CBrambApp::BindDeviceModule(bool showMessages) {
  lx::SetDeviceState("/a", lx::kDeviceClosed);
  CDeviceApiBinder binder;
  HMODULE module = binder.LoadDeviceLibrary(m_Options.FsLibraryPath);
  if (!module) {
    binder.ResetDeviceApi();
    m_bDeviceModuleLoaded = false;
    if (showMessages)
      AfxMessageBox("Unable to load external file system library.\nPlease, reset options for external library.");
    return;
  }
  unsigned missing = binder.LoadDeviceApi(module);
  // Modules count every call in their profiler without checking that it exists, and the
  // program calls them (at the latest when it closes them at exit) before any device is opened.
  if (!lx::DeviceApiCellIsStub(66)) DeviceApiTable.fpCreateFunctionProfiler();
  if (showMessages && (missing & LX_GROUP_FS))
    AfxMessageBox(
        "The external file system library you have chosen doesn't include embedded file system.\nTherefore you may "
        "not be able to run file system operation.");
  m_bDeviceModuleLoaded = true;
  m_bReloadDeviceModule = false;
  m_hDeviceModule = module;
}

int CBrambApp::SaveOptions() {
  CString path = m_OptionsFilePath.IsEmpty() ? m_InstallFolder + "\\setup.ini" : m_OptionsFilePath;
  CFile file;
  CFileException error;
  if (!file.Open(path, CFile::modeCreate | CFile::modeWrite | CFile::typeBinary, &error)) {
    char text[1024];
    error.GetErrorMessage(text, sizeof text);
    AfxMessageBox(text);
    return 1;
  }
  if (!file.Write(&m_Options, sizeof m_Options)) {
    AfxMessageBox("Error was occurred while writing setup.ini file.");
    return 1;
  }
  file.Close();
  if (m_pFrameServices) m_pFrameServices->SelectDeviceKind(m_Options.DeviceKind);
  return 0;
}

BOOL CBrambApp::RestartWithNewModule() {
  // The new process must find the device free.
  if (lx::GetDeviceState() == lx::kDeviceOpen) lx::DeviceClose("/a");
  CString program = m_InstallFolder + "\\Lumivex.exe";
  CString commandLine = CString("\"") + program + "\"";
  if (!m_cmdInfo.m_strFileName.IsEmpty()) commandLine += CString(" ") + QuoteIfBlank(m_cmdInfo.m_strFileName);
  CString folder = program.Left(program.ReverseFind('\\'));
  std::vector<char> line(commandLine.GetString(), commandLine.GetString() + commandLine.GetLength() + 1);
  STARTUPINFOA startup;
  std::memset(&startup, 0, sizeof startup);
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process;
  if (!CreateProcessA(program, line.data(), nullptr, nullptr, FALSE, 0, nullptr, folder, &startup, &process)) {
    AfxMessageBox("Lumivex could not be restarted.", MB_OK | MB_ICONERROR);
    return FALSE;
  }
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  PostQuitMessage(0);
  return TRUE;
}

int CBrambApp::SwapDeviceModule() {
  if (lx::WorkerThreadCount() > 0) {
    AfxMessageBox("The external file system library cannot be changed while a command or a script is running.");
    return 1;
  }
  if (!m_bDeviceModuleLoaded) return -1;
  if (lx::GetDeviceState() == lx::kDeviceOpen) lx::DeviceClose("/a");
  // No cell may point into the old library once it is gone.
  CDeviceApiBinder binder;
  binder.ResetDeviceApi();
  if (binder.FreeDeviceLibrary(m_hDeviceModule)) m_hDeviceModule = nullptr;
  else LxMessageBox(nullptr, "Failed to free external file system library.", lx::ToolCaption(nullptr), MB_OK);
  m_bDeviceModuleLoaded = false;
  m_bReloadDeviceModule = true;
  return LoadOptions(true);
}

// ----- Services ------------------------------------------------------------------------------
char* CBrambApp::Utf8ToAnsi(const char* source, char* destination, int32_t size, BOOL* usedDefault) {
  if (!destination || size <= 0) return destination;
  if (!source) source = "";
  WCHAR wide[512];
  if (MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, source, -1, wide, 512) > 0) {
    BOOL used = FALSE;
    int n = WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide, -1, destination, size, nullptr, &used);
    if (usedDefault) *usedDefault = used;
    if (n > 0 && used)
      n = WideCharToMultiByte(CP_ACP, WC_COMPOSITECHECK, wide, -1, destination, size, nullptr, nullptr);
    if (n > 0) {
      destination[size - 1] = '\0';
      return destination;
    }
  }
  std::strncpy(destination, source, static_cast<size_t>(size));
  destination[size - 1] = '\0';
  if (usedDefault) *usedDefault = 1;
  return destination;
}

char* CBrambApp::AnsiToUtf8(const char* source, char* destination, int32_t size) {
  if (!destination || size <= 0) return destination;
  WCHAR wide[512];
  if (source && MultiByteToWideChar(CP_ACP, MB_PRECOMPOSED | MB_ERR_INVALID_CHARS, source, -1, wide, 512) > 0 &&
      WideCharToMultiByte(CP_UTF8, 0, wide, -1, destination, size, nullptr, nullptr) > 0)
    return destination;
  std::memset(destination, 0, static_cast<size_t>(size));
  return destination;
}

bool ConfirmOperation(const char* text) { return lx::Confirm(text); }

void StartProgressAnimation() { lx::StartProgress(); }

void StopProgressAnimation() { lx::StopProgress(); }

// ----- Registry and folders ------------------------------------------------------------------
bool DeleteRegistryTree(HKEY root, const char* path) {
  if (RegDeleteKeyA(root, path) == ERROR_SUCCESS) return true;
  HKEY key;
  LONG r = RegOpenKeyExA(root, path, 0, KEY_READ, &key);
  if (r == ERROR_FILE_NOT_FOUND) {
    std::fputs("Key not found.\n", stdout);
    return true;
  }
  if (r != ERROR_SUCCESS) {
    std::fputs("Error opening key.\n", stdout);
    return false;
  }
  std::string prefix = path;
  if (prefix.empty() || prefix.back() != '\\') prefix += '\\';
  char name[260];
  for (;;) {
    DWORD length = sizeof name;
    if (RegEnumKeyExA(key, 0, name, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
    if (!DeleteRegistryTree(root, (prefix + name).c_str())) break;
  }
  RegCloseKey(key);
  return RegDeleteKeyA(root, path) == ERROR_SUCCESS;
}

int CopyFolderFiles(const char* sourceFolder, const char* destinationFolder) {
  CString source = sourceFolder ? sourceFolder : "";
  CString destination = destinationFolder ? destinationFolder : "";
  if (source.Right(1) != "\\") source += "\\";
  if (destination.Right(1) != "\\") destination += "\\";
  WIN32_FIND_DATAA found;
  HANDLE find = FindFirstFileA(source + "*.*", &found);
  if (find == INVALID_HANDLE_VALUE) return 0;
  do {
    if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) continue;
    if (!std::strcmp(found.cFileName, ".") || !std::strcmp(found.cFileName, "..")) continue;
    CopyFileA(source + found.cFileName, destination + found.cFileName, TRUE);
  } while (FindNextFileA(find, &found));
  FindClose(find);
  return 0;
}
