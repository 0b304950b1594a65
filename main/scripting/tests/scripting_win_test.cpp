// Scripts run on the system's VBScript engine through the script host, against the virtual
// device: the object's methods, the error box, Stop Script, the named items and AutoWindow.
#include <gtest/gtest.h>

#include <activscp.h>

#include <cstdio>
#include <fstream>
#include <mutex>
#include <sstream>
#include <string>
#include <vector>

#include "app_under_test.h"
#include "com_server.h"
#include "device_api.h"
#include "device_ops.h"
#include "lumivex/prompt.h"
#include "module_loader.h"
#include "script_host.h"
#include "script_runner.h"
#include "test_files.h"

namespace {

CBrambApp g_app;
std::string g_area;
std::string g_scripts;

// The script log as the runs print into it (from the script thread).
struct CollectLog : lx::ScriptLog {
  void Print(bool, uint32_t, const char* text) override {
    std::lock_guard<std::mutex> guard(lock);
    lines.push_back(text);
  }
  void Clear() override {
    std::lock_guard<std::mutex> guard(lock);
    lines.push_back("<clear>");
  }
  std::vector<std::string> Take() {
    std::lock_guard<std::mutex> guard(lock);
    std::vector<std::string> out;
    out.swap(lines);
    return out;
  }
  std::mutex lock;
  std::vector<std::string> lines;
} g_log;

using lxtest::ReadFile;

std::vector<std::string> Prompts() {
  std::vector<std::string> texts;
  for (int i = 0; i < LxPromptRecordCount(); ++i)
    texts.push_back(std::string(LxPromptRecordCaption(i) ? LxPromptRecordCaption(i) : "") + "|" +
                    LxPromptRecordText(i));
  return texts;
}

class ScriptingTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    char keep[MAX_PATH] = "";
    if (GetEnvironmentVariableA("LX_SCRIPT_KEEP_AREA", keep, sizeof keep) > 0) {
      g_area = keep;
    } else {
      char temp[MAX_PATH];
      GetTempPathA(sizeof temp, temp);
      g_area = std::string(temp) + "lxscript" + std::to_string(GetCurrentProcessId());
    }
    CreateDirectoryA(g_area.c_str(), nullptr);
    CreateDirectoryA((g_area + "\\User Data").c_str(), nullptr);
    SetEnvironmentVariableA("LX_USER_AREA", g_area.c_str());
    _putenv_s("LX_USER_AREA", g_area.c_str());
    char scripts[MAX_PATH] = "";
    GetEnvironmentVariableA("LX_SCRIPT_DIR", scripts, sizeof scripts);
    g_scripts = scripts;
    lx::InitScriptModule(GetModuleHandleA(nullptr));
    CDeviceApiBinder binder;
    HMODULE module = binder.LoadDeviceLibrary("Pallix-VirtualDevice.dll");
    ASSERT_NE(module, nullptr);
    binder.LoadDeviceApi(module);
    frame_ = CreateWindowA("STATIC", "Lumivex test frame", WS_OVERLAPPEDWINDOW, 0, 0, 200, 100, nullptr, nullptr,
                           nullptr, nullptr);
  }
  static void TearDownTestSuite() {
    lx::DeviceClose("/a");
    DestroyWindow(frame_);
  }
  void SetUp() override {
    LxPromptTestBegin();
    g_log.Take();
  }
  void TearDown() override { LxPromptTestEnd(); }

  // Runs the text to its end and answers the log's lines.
  static std::vector<std::string> Run(const std::string& text) {
    EXPECT_TRUE(lx::TheScriptRunner().Start(frame_, &g_log, text));
    EXPECT_TRUE(lx::TheScriptRunner().WaitWhilePumping(120000));
    return g_log.Take();
  }

  static HWND frame_;
};
HWND ScriptingTest::frame_ = nullptr;

TEST_F(ScriptingTest, AUsersScriptWorksTheVirtualDeviceThroughEveryKindOfMethod) {
  std::string text = ReadFile(g_scripts + "\\device_e2e.vbs");
  ASSERT_FALSE(text.empty()) << g_scripts;
  text.replace(text.find("\"AREA\""), 6, "\"" + g_area + "\"");
  std::vector<std::string> lines = Run(text);
  std::string all;
  for (const std::string& line : lines) all += line;
  EXPECT_EQ(all.find("FAIL"), std::string::npos) << all;
  EXPECT_NE(all.find("ok readdir"), std::string::npos) << all;
  EXPECT_NE(all.find("Process Dump\r\n0000: 41 41 41 41 \r\n0001: 41 \r\n"), std::string::npos) << all;
  EXPECT_NE(all.find("done\r\n"), std::string::npos) << all;
  EXPECT_EQ(Prompts(), std::vector<std::string>());
}

TEST_F(ScriptingTest, ErrorsShowOneBoxWithTheLineAndTheObjectTouchesNothing) {
  struct Case {
    const char* script;
    const char* text;  // what the box must hold
    const char* line;
  } cases[] = {
      {"x = 1\r\ny = 2\r\nz = 1 / 0\r\n", "Script Error:\n", "\nLine: 3\n"},
      // A compile error also fails the host's start (a second box of its own).
      {"x = 1\r\nIf Then Else\r\n", "Script Error:\n", "\nLine: 2\n"},
      {"b = LXObject.malloc(16)\r\nLXObject.memset b, 0, 17\r\n", "LXObject.memset: 17 bytes at", "\nLine: 2\n"},
      {"b = LXObject.malloc(16)\r\nLXObject.free b\r\nLXObject.free b\r\n", "LXObject.free: 0x", "\nLine: 3\n"},
      {"b = LXObject.malloc(16)\r\nn = LXObject.ReadSectors(0, 0, 1, b, 0)\r\n", "LXObject.ReadSectors: 512 bytes",
       "\nLine: 2\n"},
      {"n = LXObject.NORReadData(0, 0, 16, 123456)\r\n", "LXObject.NORReadData: 0x0001E240 is no address",
       "\nLine: 1\n"},
      {"LXObject.SetLogWindow 1234\r\n", "LXObject.SetLogWindow: ", "\nLine: 1\n"},
      {"t = LXObject.freadtext(&H7FFFFFFF, 2, 0)\r\n", "LXObject.freadtext: ", "\nLine: 1\n"},
  };
  for (const Case& c : cases) {
    LxPromptTestBegin();
    Run(c.script);
    std::vector<std::string> boxes = Prompts();
    bool compile = std::string(c.script).find("If Then") != std::string::npos;
    ASSERT_EQ(boxes.size(), compile ? 2u : 1u) << c.script;
    if (compile) {
      EXPECT_EQ(boxes[1], "Lumivex|Error when initializing script host");
    }
    EXPECT_EQ(boxes[0].rfind("ActiveScripts|Script Error:\n", 0), 0u) << boxes[0];
    EXPECT_NE(boxes[0].find(c.text), std::string::npos) << boxes[0];
    EXPECT_NE(boxes[0].find(c.line), std::string::npos) << boxes[0];
  }
  // The program goes on: the next script runs clean.
  LxPromptTestBegin();
  EXPECT_EQ(Run("LXObject.Print \"still here\"\r\n"), std::vector<std::string>{"still here\r\n"});
  EXPECT_EQ(Prompts(), std::vector<std::string>());
}

// The engine gives some compile errors no description: the box still says what and where.
TEST(ScriptErrorText, NamesTheLineAndColumnWithOrWithoutADescription) {
  EXPECT_EQ(ScriptErrorText(L"Type mismatch", true, 2, 7), "Script Error:\nType mismatch\nLine: 3\nSymbol: 7");
  EXPECT_EQ(ScriptErrorText(nullptr, true, 0, 4),
            "Script Error:\nThe script engine gave no description of this error.\nLine: 1\nSymbol: 4");
  EXPECT_EQ(ScriptErrorText(L"", false, 9, 9), "Script Error:\nThe script engine gave no description of this error.");
}

TEST_F(ScriptingTest, StopScriptEndsARunawayLoop) {
  ASSERT_TRUE(lx::TheScriptRunner().Start(frame_, &g_log, "Do\r\n  n = LXObject.rand()\r\nLoop\r\n"));
  for (int i = 0; i < 2000 && !lx::TheScriptRunner().IsInitialised(); ++i) Sleep(5);
  Sleep(200);  // well inside the loop
  EXPECT_TRUE(lx::TheScriptRunner().IsRunning());
  DWORD start = GetTickCount();
  lx::TheScriptRunner().Interrupt();
  ASSERT_TRUE(lx::TheScriptRunner().WaitWhilePumping(30000));
  std::printf("the loop stopped %lu ms after Stop Script\n", static_cast<unsigned long>(GetTickCount() - start));
  // The user's own stop needs no error box of its own.
  EXPECT_EQ(Prompts(), std::vector<std::string>{"Lumivex|Script is interrupted by user."});
  EXPECT_FALSE(lx::TheScriptRunner().IsRunning());
  // Interrupting with nothing running does nothing.
  lx::TheScriptRunner().Interrupt();
  EXPECT_EQ(LxPromptRecordCount(), 1);
}

TEST_F(ScriptingTest, NamedItemsAnswerInAnyCaseAndAutoWindowReachesTheFrame) {
  std::vector<std::string> lines = Run(
      "lxobject.Print AutoWindow.Caption\r\n"
      "AUTOWINDOW.Caption = \"Renamed by a script\"\r\n"
      "LXObject.Print CStr(AutoWindow.WindowState)\r\n");
  EXPECT_EQ(lines, (std::vector<std::string>{"Lumivex test frame\r\n", "0\r\n"}));
  char caption[64] = "";
  GetWindowTextA(frame_, caption, sizeof caption);
  EXPECT_STREQ(caption, "Renamed by a script");
  SetWindowTextA(frame_, "Lumivex test frame");

  // The host's answers to the engine.
  auto* host = new CActiveScriptHost;
  host->AddRef();
  IUnknown* item = reinterpret_cast<IUnknown*>(1);
  ITypeInfo* info = reinterpret_cast<ITypeInfo*>(1);
  EXPECT_EQ(host->GetItemInfo(L"Other", SCRIPTINFO_IUNKNOWN, &item, nullptr), TYPE_E_ELEMENTNOTFOUND);
  EXPECT_EQ(item, nullptr);
  EXPECT_EQ(host->GetItemInfo(L"LXObject", SCRIPTINFO_IUNKNOWN, nullptr, nullptr), E_INVALIDARG);
  // Type information of the object comes from the program's own library.
  EXPECT_EQ(host->GetItemInfo(L"lxOBJECT", SCRIPTINFO_ITYPEINFO, nullptr, &info), S_OK);
  ASSERT_NE(info, nullptr);
  TYPEATTR* attr = nullptr;
  ASSERT_EQ(info->GetTypeAttr(&attr), S_OK);
  EXPECT_TRUE(IsEqualGUID(attr->guid, CLSID_LXObject));
  info->ReleaseTypeAttr(attr);
  info->Release();
  HWND window = nullptr;
  IActiveScriptSiteWindow* siteWindow = nullptr;
  ASSERT_EQ(host->QueryInterface(IID_IActiveScriptSiteWindow, reinterpret_cast<void**>(&siteWindow)), S_OK);
  EXPECT_EQ(siteWindow->GetWindow(nullptr), E_POINTER);
  EXPECT_EQ(siteWindow->GetWindow(&window), S_OK);
  siteWindow->Release();
  LCID lcid = 0;
  EXPECT_EQ(host->GetLCID(&lcid), S_OK);
  EXPECT_EQ(lcid, 0x0409u);
  host->Release();
}

// A volume a freshly formatted, open and not mounted, as a user has it.
void FreshVolume() {
  ASSERT_EQ(lx::DeviceOpen("/a"), 0);
  lx::VolumeUnmount(0);
  DeviceApiTable.gfslfcloseall();
  DeviceApiTable.gfslUnmount(0);
  ASSERT_EQ(DeviceApiTable.gfslLowLevelFormat("/a", 1u << 20, 8u << 20), 0);
  ASSERT_EQ(DeviceApiTable.gfslFormat("/a", "FAT16", "", 0), 0);
}

// Names outside the code page come back from readdir and getcwd as they are, so the script can
// pass them to fopen and chdir again.
TEST_F(ScriptingTest, NamesFromTheDeviceOpenAgain) {
  FreshVolume();
  ASSERT_EQ(lx::VolumeMount(0), 0);
  ASSERT_EQ(DeviceApiTable.gfslmkdir("/a/\xCE\xA9", 0), 0);  // a Greek capital omega
  int f = DeviceApiTable.gfslfopen("/a/\xCE\xA9/\xE6\x97\xA5\xE6\x9C\xAC.txt", "w");
  ASSERT_GE(f, 0);
  DeviceApiTable.gfslfclose(f);
  std::vector<std::string> lines = Run(
      "d = LXObject.opendir(\"/a\")\r\n"
      "n = LXObject.readdir(d)\r\n"
      "LXObject.closedir d\r\n"
      "LXObject.Print CStr(LXObject.chdir(\"/a/\" & n))\r\n"
      "LXObject.Print CStr(Len(LXObject.getcwd()))\r\n"
      "d = LXObject.opendir(\"/a/\" & n)\r\n"
      "m = LXObject.readdir(d)\r\n"
      "Do While m = \".\" Or m = \"..\"\r\n"
      "  m = LXObject.readdir(d)\r\n"
      "Loop\r\n"
      "LXObject.closedir d\r\n"
      "f = LXObject.fopen(\"/a/\" & n & \"/\" & m, \"r\")\r\n"
      "LXObject.Print CStr(f >= 0) & \" \" & Len(n) & \" \" & Len(m)\r\n"
      "LXObject.fclose f\r\n");
  EXPECT_EQ(lines, (std::vector<std::string>{"Process opendir\r\n", "Process closedir\r\n", "Process chdir\r\n",
                                             "0\r\n", "Process getcwd\r\n", "5\r\n", "Process opendir\r\n",
                                             "Process closedir\r\n", "Process fopen\r\n", "True 1 6\r\n",
                                             "Process fclose\r\n"}));
  EXPECT_EQ(Prompts(), std::vector<std::string>());
  lx::VolumeUnmount(0);
}

TEST_F(ScriptingTest, TheHelpScriptRunsCleanOnTheVirtualDevice) {
  HRSRC found = FindResourceA(nullptr, MAKEINTRESOURCEA(175), "VBS");
  ASSERT_NE(found, nullptr);
  const char* bytes = static_cast<const char*>(LockResource(LoadResource(nullptr, found)));
  std::string text(bytes, SizeofResource(nullptr, found));
  FreshVolume();
  std::vector<std::string> lines = Run(text);
  std::string all;
  for (const std::string& line : lines) all += line;
  EXPECT_EQ(Prompts(), std::vector<std::string>());
  EXPECT_NE(all.find("Hello from the help script."), std::string::npos) << all;
  EXPECT_NE(all.find("Done."), std::string::npos) << all;
  EXPECT_EQ(all.find("not formatted"), std::string::npos) << all;
}

}  // namespace

namespace {

// The sample scripts the installation ships (copied beside the program by the build) run on the
// virtual device as a user starts them: no box, and each ends with what it says it did.
TEST_F(ScriptingTest, TheInstallationsSampleScriptsRunOnTheVirtualDevice) {
  FreshVolume();
  lx::VolumeUnmount(0);
  struct Sample {
    const char* file;
    std::vector<std::string> said;  // pieces of the log, in this order
  } samples[] = {
      {"CopyPcFileIn.vbs", {"Copied ", " bytes from C:\\windows\\win.ini to /a/win.ini."}},
      {"ListFolder.vbs", {"Contents of /a/", "  win.ini    ", "1 entries listed."}},
      {"ReadSectors.vbs", {"sectors of 512 bytes.", "Sector 0, its first 64 bytes:", "Sector 1, its first 64 bytes:",
                           "Read 2 sectors."}},
  };
  for (const Sample& s : samples) {
    LxPromptTestBegin();
    const std::string text = ReadFile(std::string("VBScript\\") + s.file);
    ASSERT_FALSE(text.empty()) << s.file << " is not beside the program";
    std::string all;
    for (const std::string& line : Run(text)) all += line;
    EXPECT_EQ(Prompts(), std::vector<std::string>()) << s.file;
    size_t at = 0;
    for (const std::string& piece : s.said) {
      size_t found = all.find(piece, at);
      EXPECT_NE(found, std::string::npos) << s.file << ": " << piece << "\n" << all;
      if (found != std::string::npos) at = found + piece.size();
    }
  }
  // What the copy sample wrote is the PC file's bytes.
  const std::string pc = ReadFile("C:\\windows\\win.ini");
  int h = DeviceApiTable.gfslfopen("/a/win.ini", "r");
  ASSERT_GE(h, 0);
  std::string copied(pc.size() + 16, '\0');
  uint32_t n = DeviceApiTable.gfslfread(&copied[0], 1, static_cast<uint32_t>(copied.size()), h);
  DeviceApiTable.gfslfclose(h);
  copied.resize(n == 0xFFFFFFFFu ? 0 : n);
  EXPECT_EQ(copied, pc);
  lx::VolumeUnmount(0);
}

}  // namespace
