// Script runs in the real main frame: Run Script prints into the script log, the frame answers
// commands while a script runs, Stop Script ends a loop, and closing the frame stops a run
// (or, when the script cannot be stopped, says so instead of hanging).
#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "app_under_test.h"
#include "command_ids.h"
#include "device_api.h"
#include "device_ops.h"
#include "frame_test_support.h"
#include "lumivex/testkit.h"
#include "options_record.h"
#include "script_runner.h"
#include "test_support.h"

namespace {

CBrambApp g_app;
CMainFrame* g_frame = nullptr;
std::string g_folder;

void Command(UINT id) { g_frame->SendMessage(WM_COMMAND, MAKEWPARAM(id, 0), 0); }

bool WaitScript(DWORD ms) {
  bool ended = lx::TheScriptRunner().WaitWhilePumping(ms);
  LxPumpMessages();
  return ended;
}

std::string LogText() {
  int n = ::GetWindowTextLengthA(g_frame->m_wndLog.m_hWnd);
  std::string text(static_cast<size_t>(n) + 1, '\0');
  ::GetWindowTextA(g_frame->m_wndLog.m_hWnd, &text[0], n + 1);
  text.resize(static_cast<size_t>(n));
  return text;
}

// Makes a page with the text the selected one and runs it from the menu.
void RunPage(const char* text) {
  ASSERT_TRUE(g_frame->AddScriptPage("Test script", text, true));
  Command(ID_RUN_SCRIPT);
}

class FrameScriptTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    std::string folder = MakeTempFolder("lxframescript");
    g_folder = folder;
    lx::OptionsRecord options;
    std::memset(&options, 0, sizeof options);
    lx::SetOptionsPath(options.FsLibraryPath, "Pallix-VirtualDevice.dll");
    UseTestArea(g_app, folder, options);
    LxPromptTestBegin();
    g_frame = CreateTestFrame(g_app);
    ASSERT_NE(g_frame, nullptr);
  }
  static void TearDownTestSuite() {
    if (g_frame && IsWindow(g_frame->m_hWnd)) g_frame->DestroyWindow();
    LxPumpMessages();
    LxPromptTestEnd();
  }
  void SetUp() override { LxPromptTestBegin(); }
};

TEST_F(FrameScriptTest, RunScriptPrintsIntoTheScriptLogAndTheButtonsFollowTheRun) {
  EXPECT_TRUE(g_frame->IsCommandEnabled(ID_RUN_SCRIPT));
  EXPECT_FALSE(g_frame->IsCommandEnabled(ID_STOP_SCRIPT));
  RunPage(
      "LXObject.ClearLog\r\n"
      "LXObject.Print \"Script log of a run\", True, RGB(0, 0, 160)\r\n"
      "LXObject.Print \"Init(0) = \" & LXObject.Init(0), False, 0\r\n"
      "b = LXObject.malloc(32)\r\n"
      "LXObject.srand 3\r\n"
      "LXObject.memrand b, 20\r\n"
      "LXObject.Dump b, 20, 8, 0\r\n"
      "LXObject.free b\r\n"
      "LXObject.Print \"Caption: \" & AutoWindow.Caption, False, RGB(0, 120, 0)\r\n");
  EXPECT_TRUE(lx::TheScriptRunner().IsRunning() || !LogText().empty());
  ASSERT_TRUE(WaitScript(60000));
  EXPECT_TRUE(g_frame->IsCommandEnabled(ID_RUN_SCRIPT));
  std::string log = LogText();
  EXPECT_EQ(log.find("Script log of a run"), 0u) << log;
  EXPECT_NE(log.find("Init(0) = 0"), std::string::npos) << log;
  EXPECT_NE(log.find("Process Dump"), std::string::npos) << log;
  EXPECT_NE(log.find("0002: "), std::string::npos) << log;  // 20 bytes, 8 a line
  EXPECT_NE(log.find("Caption: "), std::string::npos) << log;
  EXPECT_EQ(LxPromptRecordCount(), 0);
  LxSaveWindowShot(g_frame->m_hWnd, "frame_script_run");
}

// A user's script file, opened as a page and run from the menu, on the virtual device.
TEST_F(FrameScriptTest, AScriptFileRunsThroughRunScriptOnTheVirtualDevice) {
  char scripts[MAX_PATH] = "";
  GetEnvironmentVariableA("LX_SCRIPT_DIR", scripts, sizeof scripts);
  std::ifstream file(std::string(scripts) + "\\device_e2e.vbs", std::ios::binary);
  std::string text((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
  ASSERT_FALSE(text.empty()) << scripts;
  text.replace(text.find("\"AREA\""), 6, "\"" + g_folder + "\"");
  RunPage(text.c_str());
  ASSERT_TRUE(WaitScript(120000));
  std::string log = LogText();
  EXPECT_EQ(log.find("FAIL"), std::string::npos) << log;
  EXPECT_NE(log.find("ok the sectors hold what was written"), std::string::npos) << log;
  EXPECT_NE(log.find("done"), std::string::npos) << log;
  EXPECT_EQ(LxPromptRecordCount(), 0);
  LxSaveWindowShot(g_frame->m_hWnd, "frame_script_device");
}

TEST_F(FrameScriptTest, TheFrameAnswersWhileAScriptRunsAndStopScriptEndsIt) {
  RunPage("Do\r\n  n = LXObject.rand()\r\nLoop\r\n");
  for (int i = 0; i < 2000 && !lx::TheScriptRunner().IsInitialised(); ++i) Sleep(5);
  ASSERT_TRUE(lx::TheScriptRunner().IsRunning());
  EXPECT_TRUE(g_frame->IsCommandEnabled(ID_STOP_SCRIPT));
  EXPECT_FALSE(g_frame->IsCommandEnabled(ID_RUN_SCRIPT));
  Command(ID_RUN_SCRIPT);  // a second run while one runs is ignored

  // A command typed into the thread window runs to its end meanwhile.
  EXPECT_EQ(RunLine(g_frame, "no such word"), "* no such word failed!\n");
  EXPECT_TRUE(lx::TheScriptRunner().IsRunning());

  Command(ID_STOP_SCRIPT);
  ASSERT_TRUE(WaitScript(10000));
  EXPECT_EQ(LastPromptText(), "Script is interrupted by user.");
  EXPECT_TRUE(g_frame->IsCommandEnabled(ID_RUN_SCRIPT));
}

TEST_F(FrameScriptTest, ClosingTheFrameStopsARunOrSaysThatItCannot) {
  // A loop that never calls LXObject: an engine without its own interruption cannot stop it,
  // and the frame says so rather than wait for ever.
  RunPage("Do\r\n  x = x + 1\r\nLoop\r\n");
  for (int i = 0; i < 2000 && !lx::TheScriptRunner().IsInitialised(); ++i) Sleep(5);
  g_frame->SendMessage(WM_CLOSE);
  if (lx::TheScriptRunner().IsRunning()) {
    EXPECT_EQ(LastPromptText(), "The script does not stop: it ends at its next call of LXObject.");
    EXPECT_TRUE(IsWindow(g_frame->m_hWnd));
    // This one ends only with the process; the frame closes without the stuck run.
    return;
  }
  EXPECT_FALSE(IsWindow(g_frame->m_hWnd));
}

}  // namespace

// The loop above stays on the engine of a single-run process, so the run with a stop must come
// before it: gtest keeps the order of definition.
