// The application object: start-up, first-run registration, options, the device module.
#pragma once
#include <cstdint>

#include "lxmfc.h"
#include "options_record.h"

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
  CBrambApp();

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

  // Text conversions through a 512-character wide buffer; the result is always terminated.
  static char* Utf8ToAnsi(const char* source, char* destination, int32_t size, BOOL* usedDefault);
  static char* AnsiToUtf8(const char* source, char* destination, int32_t size);
  // Dispatches at most maxCount pending messages of the calling (GUI) thread.
  static int32_t PumpMessages(int32_t maxCount);

  // Start-up steps, also used by the tests.
  static CString GetProgramFolder();
  static int64_t GetOwnBuildNumber();
  void ReadRegistryState();
  // The first-run set-up; false when the build number could not be stored.
  virtual bool RunRegistration(bool showMessages = true);
  // Runs the registration while the stored build is older, at most twice; without messages
  // no box is shown and no document opened (a program COM started has no user at its windows).
  bool EnsureRegistered(bool showMessages = true);

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
  void BindDeviceModule(bool showMessages);
};

// The application object, or null before it exists.
CBrambApp* GetBrambApp();

// "Are you sure?" (or the given text) when the options ask for confirmations.
bool ConfirmOperation(const char* text = nullptr);
void StartProgressAnimation();
void StopProgressAnimation();

// Registry helpers of the first-run set-up.
bool DeleteRegistryTree(HKEY root, const char* path);
int CopyFolderFiles(const char* sourceFolder, const char* destinationFolder);
