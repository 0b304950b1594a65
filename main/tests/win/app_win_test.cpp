#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include "app_under_test.h"
#include "device_state.h"
#include "module_loader.h"
#include "test_support.h"
#include "tool_wait.h"

namespace {

CBrambApp g_app;

using lxtest::ReadBytes;

void WriteAll(const std::string& path, const void* data, size_t size) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(static_cast<const char*>(data), static_cast<std::streamsize>(size));
}

template <class Fn>
Fn FixtureExport(const char* dll, const char* name) {
  return reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA(dll), name)));
}

// Every test starts with no module bound, a fresh install folder and recorded boxes.
class AppTest : public ::testing::Test {
 protected:
  void SetUp() override {
    install = MakeTempFolder("lxapp");
    g_app.m_InstallFolder = install.c_str();
    g_app.m_OptionsFilePath.Empty();
    std::memset(&g_app.m_Options, 0, sizeof g_app.m_Options);
    Unbind();
  }
  void TearDown() override { Unbind(); }
  void Unbind() {
    CDeviceApiBinder binder;
    binder.ResetDeviceApi();
    if (g_app.m_hDeviceModule) binder.FreeDeviceLibrary(g_app.m_hDeviceModule);
    g_app.m_hDeviceModule = nullptr;
    g_app.m_bDeviceModuleLoaded = false;
    g_app.m_bReloadDeviceModule = false;
  }
  // A complete setup.ini naming a module.
  void WriteOptions(const char* module, int8_t kind = 1, uint8_t windowSize = 2) {
    lx::OptionsRecord rec;
    std::memset(&rec, 0, sizeof rec);
    rec.ConfirmOperations = 1;
    lx::SetOptionsPath(rec.FsLibraryPath, module ? FixturePath(module).c_str() : "");
    rec.DeviceKind = kind;
    rec.WindowSizeIndex = windowSize;
    lx::SetOptionsPath(rec.ExplorerPath, "C:\\tools\\one.exe");
    lx::SetOptionsPath(rec.EditorPath, "C:\\tools\\two.exe");
    WriteAll(SetupIni(), &rec, sizeof rec);
  }
  std::string SetupIni() const { return install + "\\setup.ini"; }
  PromptScope prompts;
  std::string install;
};

TEST_F(AppTest, MissingSetupIniIsCreatedAndTheShortReadFails) {
  EXPECT_EQ(g_app.LoadOptions(true), 1);
  EXPECT_EQ(GetFileAttributesA(SetupIni().c_str()) != INVALID_FILE_ATTRIBUTES, true);
  EXPECT_EQ(ReadBytes(SetupIni()).size(), 0u);
  EXPECT_EQ(LastPromptText(),
            "Error was occurred while reading setup.ini file.\nPlease, select Device > Options menu, then check your "
            "setup.");
  char windows[MAX_PATH];
  GetWindowsDirectoryA(windows, sizeof windows);
  EXPECT_EQ(std::string(g_app.m_Options.ExplorerPath), std::string(windows) + "\\explorer.exe");
  EXPECT_EQ(std::string(g_app.m_Options.EditorPath), std::string(windows) + "\\notepad.exe");
  EXPECT_FALSE(g_app.m_bDeviceModuleLoaded);
  // Silent: no box at all.
  int before = LxPromptRecordCount();
  EXPECT_EQ(g_app.LoadOptions(false), 1);
  EXPECT_EQ(LxPromptRecordCount(), before);
}

// The licence of the first start and Script Help open documents of the installation: one that
// is missing, or that no program opens, is named with its full path instead of nothing happening.
TEST_F(AppTest, AnInstalledDocumentThatIsMissingOrUnopenedIsNamedInABox) {
  CreateDirectoryA((install + "\\help").c_str(), nullptr);
  WriteAll(install + "\\help\\guide.lxnothing", "x", 1);
  struct Case {
    const char* document;
    std::string said;
  } cases[] = {
      {"LicenseAgreement.rtf", "The document " + install + "\\LicenseAgreement.rtf is missing from the installation."},
      {"help\\guide.lxnothing", "The document " + install +
                                    "\\help\\guide.lxnothing could not be opened: no program opens files of its type here."},
  };
  for (const Case& c : cases) {
    LxPromptTestBegin();
    EXPECT_FALSE(g_app.OpenInstalledDocument(c.document, nullptr)) << c.document;
    ASSERT_EQ(LxPromptRecordCount(), 1) << c.document;
    EXPECT_EQ(std::string(LxPromptRecordText(0)), c.said);
    EXPECT_EQ(std::string(LxPromptRecordCaption(0)), "Lumivex");
  }
}

TEST_F(AppTest, SetupIniRoundTripsByteForByte) {
  WriteOptions("lxfix_device_all.dll", 3, 4);
  auto original = ReadBytes(SetupIni());
  ASSERT_EQ(g_app.LoadOptions(false), 0);
  EXPECT_EQ(g_app.m_OptionsFilePath, SetupIni().c_str());
  ASSERT_EQ(g_app.SaveOptions(), 0);
  EXPECT_EQ(ReadBytes(SetupIni()), original);
}

// The tools read and change the options only through lx::Program(); what they change is saved.
TEST_F(AppTest, TheToolsSeeTheApplicationsOptionsAndFoldersThroughTheProgram) {
  WriteOptions("lxfix_device_all.dll", 1, 2);
  ASSERT_EQ(g_app.LoadOptions(false), 0);
  lx::ProgramContext* program = lx::Program();
  ASSERT_NE(program, nullptr);
  EXPECT_EQ(program->DeviceKind(), 1);
  EXPECT_EQ(program->WindowSizeIndex(), 2);
  EXPECT_TRUE(program->DeviceModuleLoaded());

  program->SetDeviceKind(lx::kDeviceKindSpi);  // SPI has one window size: the index goes back to 0
  program->SetVyrModulePath("C:\\vyr\\analyzer.dll");
  const std::vector<uint8_t> saved = ReadBytes(SetupIni());
  ASSERT_EQ(saved.size(), 3080u);
  EXPECT_EQ(saved[516], lx::kDeviceKindSpi);
  EXPECT_EQ(saved[517], 0);
  EXPECT_STREQ(reinterpret_cast<const char*>(&saved[1542]), "C:\\vyr\\analyzer.dll");
  EXPECT_EQ(program->VyrModulePath(), "C:\\vyr\\analyzer.dll");

  g_app.m_UserAreaFolder = "C:\\area";
  EXPECT_EQ(lx::UserDataFolder(), "C:\\area\\User Data");
  g_app.m_InstallFolder.Empty();  // not found yet: the dialogs start where Windows puts them
  EXPECT_EQ(lx::UserDataFolder(), "");
  g_app.m_UserAreaFolder.Empty();

  {
    CBrambApp inner;  // the latest application is the program, until it goes
    inner.m_Options.DeviceKind = lx::kDeviceKindOstra2;
    EXPECT_EQ(lx::Program()->DeviceKind(), lx::kDeviceKindOstra2);
  }
  EXPECT_EQ(lx::Program(), program);
}

TEST_F(AppTest, LongerFileLoadsItsRecordAndSaveWritesOnlyTheRecord) {
  WriteOptions("lxfix_device_all.dll");
  auto bytes = ReadBytes(SetupIni());
  bytes.resize(5000, 0xAB);
  WriteAll(SetupIni(), bytes.data(), bytes.size());
  ASSERT_EQ(g_app.LoadOptions(false), 0);
  ASSERT_EQ(g_app.SaveOptions(), 0);
  EXPECT_EQ(ReadBytes(SetupIni()).size(), 3080u);
}

TEST_F(AppTest, DamagedSetupIniIsMadeSafe) {
  std::vector<uint8_t> bytes(3080, 'z');
  bytes[516] = 77;
  bytes[517] = 99;
  WriteAll(SetupIni(), bytes.data(), bytes.size());
  EXPECT_EQ(g_app.LoadOptions(false), 1);  // the path is no module
  EXPECT_EQ(std::strlen(g_app.m_Options.FsLibraryPath), 511u);
  EXPECT_EQ(std::strlen(g_app.m_Options.EditorPath), 511u);
  EXPECT_EQ(g_app.m_Options.DeviceKind, 3);
  EXPECT_EQ(g_app.m_Options.WindowSizeIndex, 5);
}

TEST_F(AppTest, ModuleThatCannotBeLoaded) {
  WriteOptions("no-such-module.dll");
  EXPECT_EQ(g_app.LoadOptions(true), 1);
  EXPECT_EQ(LastPromptText(), "Unable to load external file system library.\nPlease, reset options for external library.");
  EXPECT_FALSE(g_app.m_bDeviceModuleLoaded);
  EXPECT_EQ(DeviceApiTable.gfslInit(0), -1);
  EXPECT_EQ(LastPromptText(), "gfslInit is not supported.");
}

// A module built for the other processor: the user is told which and why, then the usual failure.
TEST_F(AppTest, ModuleOfTheOtherArchitectureIsRefusedByName) {
  const uint16_t other = sizeof(void*) == 8 ? 0x014C : 0x8664;
  std::string head(0x200, '\0');
  head[0] = 'M';
  head[1] = 'Z';
  head[0x3C] = 0x40;
  head.replace(0x40, 4, std::string("PE\0\0", 4));
  head[0x44] = static_cast<char>(other & 0xFF);
  head[0x45] = static_cast<char>(other >> 8);
  std::string module = install + "\\other-arch.dll";
  WriteAll(module, head.data(), head.size());
  lx::OptionsRecord rec;
  std::memset(&rec, 0, sizeof rec);
  lx::SetOptionsPath(rec.FsLibraryPath, module.c_str());
  WriteAll(SetupIni(), &rec, sizeof rec);
  EXPECT_EQ(g_app.LoadOptions(true), 1);
  EXPECT_FALSE(g_app.m_bDeviceModuleLoaded);
  ASSERT_GE(LxPromptRecordCount(), 2);
  EXPECT_EQ(std::string(LxPromptRecordText(LxPromptRecordCount() - 2)),
            module + (sizeof(void*) == 8 ? " is a 32-bit module; this Lumivex is a 64-bit program and loads only 64-bit modules."
                                         : " is a 64-bit module; this Lumivex is a 32-bit program and loads only 32-bit modules."));
  EXPECT_EQ(LastPromptText(), "Unable to load external file system library.\nPlease, reset options for external library.");
}

TEST_F(AppTest, ModuleWithoutFileSystemWarnsAndHasItsProfilerAtOnce) {
  WriteOptions("lxfix_device_nofs.dll");
  lx::SetDeviceState("/a", lx::kDeviceOpen);
  EXPECT_EQ(g_app.LoadOptions(true), 0);
  EXPECT_EQ(LxPromptRecordCount(), 1);
  EXPECT_EQ(LastPromptText(),
            "The external file system library you have chosen doesn't include embedded file system.\nTherefore you "
            "may not be able to run file system operation.");
  EXPECT_TRUE(g_app.m_bDeviceModuleLoaded);
  EXPECT_EQ(lx::GetDeviceState(), lx::kDeviceClosed);  // binding starts from a closed device
  EXPECT_EQ(FixtureExport<int (*)()>("lxfix_device_nofs.dll", "fixtureProfilerCreates")(), 1);
  // Exit closes the module; its profiler existed before that first call.
  g_app.ExitInstance();
  EXPECT_EQ(FixtureExport<int (*)()>("lxfix_device_nofs.dll", "fixtureLastInitMode")(), 1);
  EXPECT_EQ(FixtureExport<int (*)()>("lxfix_device_nofs.dll", "fixtureCallsBeforeProfiler")(), 0);
}

TEST_F(AppTest, LaterLoadsOnlyRereadTheFile) {
  WriteOptions("lxfix_device_all.dll");
  ASSERT_EQ(g_app.LoadOptions(false), 0);
  HMODULE first = g_app.m_hDeviceModule;
  WriteOptions("lxfix_device_only.dll", 2, 0);
  ASSERT_EQ(g_app.LoadOptions(false), 0);
  EXPECT_EQ(g_app.m_hDeviceModule, first);
  EXPECT_EQ(g_app.m_Options.DeviceKind, 2);
  EXPECT_EQ(DeviceApiTable.gfslMount(0), 1003);  // still the first module
}

TEST_F(AppTest, SwapRefusesWhileWorkersRunThenRebindsCleanly) {
  WriteOptions("lxfix_device_all.dll");
  ASSERT_EQ(g_app.LoadOptions(false), 0);
  lx::SetOptionsPath(g_app.m_Options.FsLibraryPath, FixturePath("lxfix_device_only.dll").c_str());
  ASSERT_EQ(g_app.SaveOptions(), 0);

  lx::WorkerThreadBegin();
  EXPECT_EQ(g_app.SwapDeviceModule(), 1);
  EXPECT_EQ(LastPromptText(),
            "The external file system library cannot be changed while a command or a script is running.");
  EXPECT_EQ(DeviceApiTable.gfslMount(0), 1003);  // untouched
  lx::WorkerThreadEnd();

  lx::SetDeviceState("/a", lx::kDeviceOpen);
  EXPECT_EQ(g_app.SwapDeviceModule(), 0);
  EXPECT_EQ(GetModuleHandleA("lxfix_device_all.dll"), nullptr);  // the old module is gone
  EXPECT_EQ(lx::GetDeviceState(), lx::kDeviceClosed);
  EXPECT_EQ(DeviceApiTable.gfslInit(3), 1000);                     // the new module's
  EXPECT_EQ(DeviceApiTable.gfslMount(0), -1);                      // its missing name is a stub
  EXPECT_EQ(LastPromptText(), "gfslMount is not supported.");
}

TEST_F(AppTest, SwapWithNothingLoadedLoadsNothing) {
  EXPECT_EQ(g_app.SwapDeviceModule(), -1);
  EXPECT_FALSE(g_app.m_bDeviceModuleLoaded);
  EXPECT_EQ(LxPromptRecordCount(), 0);
}

TEST_F(AppTest, RestartThatCannotStartReportsAndKeepsRunning) {
  EXPECT_FALSE(g_app.RestartWithNewModule());  // no Lumivex.exe in the install folder
  EXPECT_EQ(LastPromptText(), "Lumivex could not be restarted.");
  MSG msg;
  EXPECT_FALSE(PeekMessageA(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
}

TEST_F(AppTest, RestartClosesTheDeviceAndQuotesTheProgramPath) {
  std::string spaced = install + "\\with space";
  ASSERT_TRUE(CreateDirectoryA(spaced.c_str(), nullptr));
  ASSERT_TRUE(CopyFileA((ExeFolder() + "\\record_start.exe").c_str(), (spaced + "\\Lumivex.exe").c_str(), FALSE));
  std::string record = install + "\\started.txt";
  SetEnvironmentVariableA("LX_RECORD_FILE", record.c_str());
  WriteOptions("lxfix_device_all.dll");
  ASSERT_EQ(g_app.LoadOptions(false), 0);
  lx::SetDeviceState("/a", lx::kDeviceOpen);
  g_app.m_InstallFolder = spaced.c_str();
  g_app.m_cmdInfo.m_strFileName = "beginner";

  EXPECT_TRUE(g_app.RestartWithNewModule());
  EXPECT_EQ(FixtureExport<int (*)()>("lxfix_device_all.dll", "fixtureLastInitMode")(), 1);
  EXPECT_EQ(lx::GetDeviceState(), lx::kDeviceClosed);
  MSG msg;
  EXPECT_TRUE(PeekMessageA(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
  std::string started;
  for (int i = 0; i < 100 && started.empty(); ++i) {
    Sleep(50);
    auto bytes = ReadBytes(record);
    started.assign(bytes.begin(), bytes.end());
  }
  EXPECT_EQ(started, "\"" + spaced + "\\Lumivex.exe\" beginner\n" + spaced + "\n");
  g_app.m_cmdInfo.m_strFileName.Empty();
}

TEST(AppServices, Utf8ToAnsi) {
  struct Case {
    const char* source;
    int size;
    const char* expected;
    BOOL usedDefault;
  } cases[] = {
      {"plain", 32, "plain", FALSE},
      {"caf\xC3\xA9", 32, "caf\xE9", FALSE},          // in the ANSI code page
      {"bad \xC3(", 32, "bad \xC3(", TRUE},           // not UTF-8: copied unchanged
      {"0123456789", 5, "0123", TRUE},                // too small: cut, but terminated
  };
  for (const auto& c : cases) {
    char out[64];
    std::memset(out, 'X', sizeof out);
    BOOL used = 77;
    EXPECT_EQ(CBrambApp::Utf8ToAnsi(c.source, out, c.size, &used), out);
    EXPECT_STREQ(out, c.expected) << c.source;
    EXPECT_EQ(used, c.usedDefault) << c.source;
  }
  char out[8];
  BOOL used = 0;
  CBrambApp::Utf8ToAnsi("\xE4\xB8\xAD", out, sizeof out, &used);  // no exact ANSI form
  EXPECT_EQ(used, TRUE);
  EXPECT_LT(std::strlen(out), sizeof out);
}

TEST(AppServices, AnsiToUtf8) {
  char out[16];
  EXPECT_STREQ(CBrambApp::AnsiToUtf8("caf\xE9", out, sizeof out), "caf\xC3\xA9");
  char small[4];
  std::memset(small, 'X', sizeof small);
  CBrambApp::AnsiToUtf8("\xE9\xE9\xE9", small, sizeof small);  // six bytes do not fit
  for (char ch : small) EXPECT_EQ(ch, 0);
}

TEST(AppServices, ConfirmOperation) {
  PromptScope prompts;
  g_app.m_Options.ConfirmOperations = 0;
  EXPECT_TRUE(ConfirmOperation(nullptr));
  EXPECT_EQ(LxPromptRecordCount(), 0);
  g_app.m_Options.ConfirmOperations = 1;
  LxPromptQueueAnswer(IDYES);
  EXPECT_TRUE(ConfirmOperation(nullptr));
  EXPECT_EQ(LastPromptText(), "Are you sure?");
  EXPECT_EQ(LxPromptRecordType(0), static_cast<unsigned>(MB_YESNO));
  LxPromptQueueAnswer(IDNO);
  EXPECT_FALSE(ConfirmOperation("Erase all?"));
  EXPECT_EQ(LastPromptText(), "Erase all?");
  g_app.m_Options.ConfirmOperations = 0;
}

TEST(AppServices, PumpMessagesHandlesAtMostTheCount) {
  lx::PumpMessages(256);  // empty queue
  for (int i = 0; i < 5; ++i) PostThreadMessageA(GetCurrentThreadId(), WM_APP + 1, 0, 0);
  lx::PumpMessages(3);
  int left = 0;
  MSG msg;
  while (PeekMessageA(&msg, nullptr, WM_APP + 1, WM_APP + 1, PM_REMOVE)) ++left;
  EXPECT_EQ(left, 2);
}

// The frame's side of the progress animation, counted.
class CountingFrame : public IMainFrameServices {
 public:
  void SelectDeviceKind(int) override {}
  void StartProgress() override { ++starts; }
  void StopProgress() override { ++stops; }
  bool IsDeviceOpen() const override { return false; }
  void CloseSplash() override {}
  BOOL OpenThreadWindow() override { return FALSE; }
  int starts = 0, stops = 0;
};

TEST(AppServices, TheWaitCursorRunsTheFramesProgressForItsScopeAndLeavesAPointer) {
  CountingFrame frame;
  g_app.m_pFrameServices = &frame;
  HCURSOR wait = LoadCursor(nullptr, IDC_WAIT);
  {
    lx::WaitCursor plain;
    EXPECT_EQ(GetCursor(), wait);
  }
  EXPECT_EQ(frame.starts, 0);
  {
    lx::WaitCursor busy(true);
    EXPECT_EQ(frame.starts, 1);
    EXPECT_EQ(frame.stops, 0);
  }
  EXPECT_EQ(frame.stops, 1);
  SetCursor(nullptr);
  { lx::WaitCursor busy; }
  EXPECT_EQ(GetCursor(), LoadCursor(nullptr, IDC_ARROW));
  g_app.m_pFrameServices = nullptr;
}

// A registry that keeps nothing: the set-up is tried twice, then reported, never looped.
class RefusingRegistry : public CBrambApp {
 public:
  bool RunRegistration(bool) override {
    ++runs;
    return false;
  }
  int runs = 0;
};

TEST(Registration, AStoredVersionThatNeverSticksIsReportedAfterTheSecondTry) {
  PromptScope prompts;
  RefusingRegistry app;
  app.SetRegistryKey("LumivexTestNothingStored");
  EXPECT_FALSE(app.EnsureRegistered());
  EXPECT_EQ(app.runs, 2);
  EXPECT_EQ(LastPromptText(),
            "The registration of Lumivex could not be completed: the registry did not keep its version.");
  EXPECT_EQ(GetBrambApp(), &app);
}

// A program COM started that cannot serve says why and ends at once with a failure code, on a
// thread without COM (the class object is refused) and on one with it (the registry keeps nothing).
TEST(Registration, AProgramComStartedThatCannotServeSaysWhyAndEndsAtOnce) {
  char temp[MAX_PATH] = "";
  GetTempPathA(sizeof temp, temp);
  const std::string area = std::string(temp) + "lxembedded" + std::to_string(GetCurrentProcessId());
  CreateDirectoryA(area.c_str(), nullptr);
  const std::string log = area + "\\Lumivex.log";
  const struct {
    bool com;
    const char* why;
  } cases[] = {
      {false, "COM refused the class object of LXActiveScript.LXObject, so no client can be served."},
      {true, "the registration could not be completed: the registry did not keep the version."},
  };
  for (const auto& c : cases) {
    DeleteFileA(log.c_str());
    BOOL served = TRUE;
    DWORD took = 0;
    int code = 0;
    std::thread run([&] {
      if (c.com) CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
      RefusingRegistry app;
      app.SetRegistryKey("LumivexTestNothingStored");
      app.WriteProfileString("User Area", "Full Path", area.c_str());
      app.m_UserAreaFolder = area.c_str();
      const DWORD start = GetTickCount();
      served = app.ServeAsComServer();
      took = GetTickCount() - start;
      code = app.ExitInstance();
      LxPromptSetUnattended(nullptr);
      if (c.com) CoUninitialize();
    });
    run.join();
    EXPECT_FALSE(served) << c.why;
    EXPECT_LT(took, 5000u) << c.why;
    EXPECT_EQ(code, 1) << c.why;
    std::ifstream in(log);
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_NE(text.find(std::string("Lumivex cannot serve as a COM server: ") + c.why), std::string::npos) << text;
  }
  DeleteFileA(log.c_str());
  RemoveDirectoryA(area.c_str());
  DeleteRegistryTree(HKEY_CURRENT_USER, "Software\\LumivexTestNothingStored");
}

TEST(Registration, DeleteRegistryTreeRemovesEverythingBelow) {
  const char* root = "Software\\LumivexTestTree";
  for (const char* sub : {"\\a\\b\\c", "\\a\\d", "\\e"}) {
    HKEY key;
    ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, (std::string(root) + sub).c_str(), 0, nullptr, 0, KEY_WRITE, nullptr,
                              &key, nullptr),
              ERROR_SUCCESS);
    RegSetValueExA(key, "v", 0, REG_SZ, reinterpret_cast<const BYTE*>("x"), 2);
    RegCloseKey(key);
  }
  EXPECT_TRUE(DeleteRegistryTree(HKEY_CURRENT_USER, root));
  HKEY key;
  EXPECT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, root, 0, KEY_READ, &key), ERROR_FILE_NOT_FOUND);
  EXPECT_TRUE(DeleteRegistryTree(HKEY_CURRENT_USER, root));  // missing: nothing to do
}

TEST(Registration, CopyFolderFilesKeepsExistingFilesAndSkipsFolders) {
  std::string from = MakeTempFolder("lxfrom");
  std::string to = MakeTempFolder("lxto");
  WriteAll(from + "\\one.vbs", "new1", 4);
  WriteAll(from + "\\two.vbs", "new2", 4);
  CreateDirectoryA((from + "\\sub").c_str(), nullptr);
  WriteAll(to + "\\two.vbs", "mine", 4);
  EXPECT_EQ(CopyFolderFiles(from.c_str(), (to + "\\").c_str()), 0);
  auto one = ReadBytes(to + "\\one.vbs");
  auto two = ReadBytes(to + "\\two.vbs");
  EXPECT_EQ(std::string(one.begin(), one.end()), "new1");
  EXPECT_EQ(std::string(two.begin(), two.end()), "mine");
  EXPECT_EQ(GetFileAttributesA((to + "\\sub").c_str()), INVALID_FILE_ATTRIBUTES);
  EXPECT_EQ(CopyFolderFiles((from + "\\missing").c_str(), to.c_str()), 0);
}

}  // namespace
