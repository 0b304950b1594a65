// The application object: start-up, first-run registration, options, the device module.
#pragma once
#include <cstdint>
#include <memory>

#include "lxmfc.h"
#include "options_record.h"
#include "program_context.h"

class CSplashWindowDlg;

// What the application asks of its main frame; the frame registers itself on creation.
class IMainFrameServices {
 public:
  virtual ~IMainFrameServices() = default;
  virtual void SelectDeviceKind(int kind) = 0;
  virtual void StartProgress() = 0;
  virtual void StopProgress() = 0;
  virtual bool IsDeviceOpen() const = 0;
  virtual void CloseSplash() = 0;
  // The first thread window of the run (its document reads the options and binds the module).
  virtual BOOL OpenThreadWindow() = 0;
};

// Makes the program's main window; the program installs it before the start-up runs.
using MainFrameFactory = CWnd* (*)();
void SetMainFrameFactory(MainFrameFactory factory);

class CBrambApp : public CWinApp {
 public:
  // The application is the program the tools see (lx::Program()) while it lives.
  CBrambApp();
  ~CBrambApp() override;

  BOOL InitInstance() override;
  int ExitInstance() override;

  int32_t GetUserLevel() const { return m_UserLevel; }
  void SetUserLevel(int32_t level) { m_UserLevel = level; }

  // "setup.ini": 0 on success, 1 on failure.
  int LoadOptions(bool showMessages);
  int SaveOptions();

  // The External FS Library page's two ways to change the module: a restart (OK) or a swap
  // in place (Cancel). The swap refuses (1) while command or script threads run, answers the
  // reload's result when a module was loaded, and -1 when none was (the next load binds one).
  BOOL RestartWithNewModule();
  int SwapDeviceModule();

  void GetFileVersionText(CString& text);
  // Opens a document of the installation (a path below the install folder) with the program
  // registered for its type; a document that is missing, or that nothing opens, is named in a
  // box instead of being skipped without a word. False in those cases.
  bool OpenInstalledDocument(const char* relativePath, HWND owner);

  // Text conversions through a 512-character wide buffer; the result is always terminated.
  static char* Utf8ToAnsi(const char* source, char* destination, int32_t size, BOOL* usedDefault);
  static char* AnsiToUtf8(const char* source, char* destination, int32_t size);

  // Start-up steps, also used by the tests.
  static CString GetProgramFolder();
  static int64_t GetOwnBuildNumber();
  void ReadRegistryState();
  // The first-run set-up; false when the build number could not be stored.
  virtual bool RunRegistration(bool showMessages = true);
  // Runs the registration while the stored build is older, at most twice; without messages
  // no box is shown and no document opened (a program COM started has no user at its windows).
  bool EnsureRegistered(bool showMessages = true);
  // The run of a program COM started (-Embedding): serves the clients without windows, where no
  // box waits for anyone, until the last of their objects has gone. FALSE at once, with a line
  // saying why and exit code 1 from ExitInstance, when it cannot serve.
  BOOL ServeAsComServer();

  CCommandLineInfo m_cmdInfo;
  lx::OptionsRecord m_Options;
  CString m_UserAreaFolder;
  int32_t m_UserLevel = 0;
  HMODULE m_hDeviceModule = nullptr;
  bool m_bAtlModuleInitialised = false;
  CString m_OptionsFilePath;
  bool m_bDeviceModuleLoaded = false;
  CString m_InstallFolder;
  int64_t m_StoredBuildNumber = 0;
  CSplashWindowDlg* m_pSplash = nullptr;
  bool m_bReloadDeviceModule = false;

  IMainFrameServices* m_pFrameServices = nullptr;

 private:
  bool InitAtlModule();
  // A program COM started that cannot serve: says why (standard error and the report of runs
  // without a user) and answers FALSE; the exit code is then 1.
  BOOL FailStart(const char* why);
  bool startFailed_ = false;
  void BindDeviceModule(bool showMessages);
  std::unique_ptr<lx::ProgramContext> program_;
  lx::ProgramContext* previousProgram_ = nullptr;
};

// The application object, or null before it exists. Only the application's own files use it;
// the tools see the program through lx::Program().
CBrambApp* GetBrambApp();

// The program's lx::Confirm, lx::StartProgress and lx::StopProgress under their old names.
bool ConfirmOperation(const char* text = nullptr);
void StartProgressAnimation();
void StopProgressAnimation();

// Registry helpers of the first-run set-up.
bool DeleteRegistryTree(HKEY root, const char* path);
int CopyFolderFiles(const char* sourceFolder, const char* destinationFolder);
