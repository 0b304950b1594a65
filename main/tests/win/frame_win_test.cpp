// The main frame as a real window under Wine and Xvfb: its bars, thread windows running lines
// on command threads, the closing rules, the NOR console with the recording driver, the
// mirror of the device state, the shell on the virtual device, and the windows its menus open.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "app_under_test.h"
#include "device_api.h"
#include "device_ops.h"
#include "document.h"
#include "explorers.h"
#include "frame_test_support.h"
#include "lumivex/testkit.h"
#include "main_frame.h"
#include "options_record.h"
#include "print_text.h"
#include "resource.h"
#include "test_support.h"

namespace {

CBrambApp g_app;
CMainFrame* g_frame = nullptr;
std::string g_folder;

lx::OptionsRecord Options(const char* module, const char* norDriver) {
  lx::OptionsRecord options;
  std::memset(&options, 0, sizeof options);
  lx::SetOptionsPath(options.FsLibraryPath, module);
  lx::SetOptionsPath(options.NorDriverPath, norDriver);
  return options;
}

using lxtest::ReadFile;

// Answers the modal open-device dialog from a timer while the menu command runs it.
std::string g_seenCaption;
VOID CALLBACK CloseOpenDevice(HWND, UINT, UINT_PTR id, DWORD) {
  HWND dialog = FindOwnWindow("Open Device");
  if (!dialog) return;
  KillTimer(nullptr, id);
  g_seenCaption = "Open Device";
  LxSaveWindowShot(dialog, "frame_open_device");
  SendMessageA(dialog, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
}

void Command(UINT id) { g_frame->SendMessage(WM_COMMAND, MAKEWPARAM(id, 0), 0); }

// The frame as the program makes it, with its first thread window.
void OpenTestFrame() {
  g_frame = CreateTestFrame(g_app);
  ASSERT_NE(g_frame, nullptr);
}

class FrameTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    // The end-to-end run names a folder of its own and judges the image left there.
    char keep[MAX_PATH] = "";
    if (GetEnvironmentVariableA("LX_FRAME_KEEP_AREA", keep, sizeof keep) > 0) {
      g_folder = keep;
      CreateDirectoryA(keep, nullptr);
    } else {
      g_folder = MakeTempFolder("lxframe");
    }
    UseTestArea(g_app, g_folder, Options("Pallix-VirtualDevice.dll", "LxFixtureNorLld.dll"));
    std::ofstream(g_folder + "\\history.txt", std::ios::binary) << "dir\r\n\r\ncd /a/docs\r\ngfslMount /a";
    LxPromptTestBegin();
    // A registry key of the tests' own, and no layout left in it by an earlier run.
    g_app.SetRegistryKey("Keldorn Frame Test");
    for (const char* value : {"Layout", "Beginner Layout", "Bars"})
      g_app.WriteProfileString("CBrambApp-command-manager-profile", value, nullptr);
    ASSERT_NO_FATAL_FAILURE(OpenTestFrame());
  }
  static void TearDownTestSuite() {
    lx::DeviceClose("/a");
    if (g_frame) g_frame->DestroyWindow();
    LxPumpMessages();
    LxPromptTestEnd();
  }
  void SetUp() override { LxPromptTestBegin(); }
};

TEST_F(FrameTest, ShowsItsBarsTheDeviceSelectorTheLogAndTheFirstThreadWindow) {
  EXPECT_TRUE(g_app.m_bDeviceModuleLoaded);  // the first document read the options
  ASSERT_EQ(g_frame->m_wndMdiTabs.GetTabCount(), 1);
  EXPECT_EQ(g_frame->m_wndMdiTabs.GetTabText(0), "Thread #1");
  ASSERT_EQ(g_frame->m_wndDeviceSelector.GetCount(), 3);
  EXPECT_EQ(g_frame->m_wndDeviceSelector.GetLBText(0), "NAND");
  EXPECT_EQ(g_frame->m_wndDeviceSelector.GetLBText(1), "NOR");
  EXPECT_EQ(g_frame->m_wndDeviceSelector.GetLBText(2), "SPI");
  EXPECT_TRUE(g_frame->m_wndLog.IsWindowVisible());
  RECT log;
  ::GetWindowRect(g_frame->m_wndLog.m_hWnd, &log);
  EXPECT_GT(log.right - log.left, 100);
  EXPECT_GT(log.bottom - log.top, 40);
  EXPECT_TRUE(g_frame->m_wndScriptLogBar.IsWindowVisible());
  EXPECT_TRUE(g_frame->m_wndVolumeTreeBar.IsWindowVisible());
  EXPECT_EQ(g_frame->m_wndScriptPages.PageTextGet(0), "Help script");
  EXPECT_EQ(g_frame->m_wndStatusBar.CommandToIndex(11001), 1);
  g_frame->SendMessage(WM_TIMER, 0);
  EXPECT_EQ(g_frame->m_wndStatusBar.GetPaneText(0), "Number of running threads: 0");
  EXPECT_EQ(g_frame->m_pCommandDlg->GetWindowTextString(), "Command dialog box for thread #1");
  Command(ID_COMMAND_DIALOG);
  EXPECT_TRUE(g_frame->m_pCommandDlg->IsWindowVisible());
  LxPumpMessages();
  LxSaveWindowShot(g_frame->m_hWnd, "main_frame");
  LxSaveWindowShot(g_frame->m_pCommandDlg->m_hWnd, "main_command_dialog");
  Command(ID_COMMAND_DIALOG);
  EXPECT_FALSE(g_frame->m_pCommandDlg->IsWindowVisible());
}

TEST_F(FrameTest, LinesRunOnCommandThreadsAndEndWithTheirOutcome) {
  EXPECT_EQ(RunLine(g_frame, "no such word"), "* no such word failed!\n");
  EXPECT_EQ(RunLine(g_frame, ""), "*  failed!\n");
  // The device is closed: the shell knows the word, the module refuses it.
  EXPECT_EQ(RunLine(g_frame, "gfslMount /a"), "* gfslMount /a failed!\n");
  EXPECT_EQ(g_frame->m_pCommandDlg->HistoryEntry(0), "gfslMount /a");

  // While a line runs, its window and the frame count it; the thread's first print waits for
  // this (the GUI) thread.
  CChildFrame* child = g_frame->GetActiveChild();
  child->m_CommandText = "still running";
  ASSERT_TRUE(child->StartCommand());
  EXPECT_TRUE(child->IsBusy());
  EXPECT_EQ(g_frame->m_nRunningThreads.load(), 1);
  EXPECT_EQ(lx::WorkerThreadCount(), 1);
  EXPECT_FALSE(child->StartCommand());  // one line at a time per window
  ASSERT_TRUE(WaitIdle(g_frame, child));
  EXPECT_EQ(lx::WorkerThreadCount(), 0);
  EXPECT_NE(ViewText(child).find("* still running failed!\n"), std::string::npos);
}

// Two lines submitted before the first one's start message is handled: the first runs as typed,
// the second is refused and stays typed, nothing runs twice.
TEST_F(FrameTest, ALineSubmittedBeforeTheLastOneStartedIsRefusedNotSwapped) {
  CChildFrame* child = g_frame->GetActiveChild();
  ASSERT_NE(child, nullptr);
  size_t before = ViewText(child).size();
  LxPromptTestBegin();
  ::SetWindowTextA(g_frame->m_pCommandDlg->Combo(), "first line");
  g_frame->m_pCommandDlg->OnSubmit();
  EXPECT_TRUE(child->IsBusy());
  ::SetWindowTextA(g_frame->m_pCommandDlg->Combo(), "second line");
  g_frame->m_pCommandDlg->OnSubmit();
  EXPECT_EQ(Prompts(), std::vector<std::string>{"Thread is not finished."});
  EXPECT_EQ(PromptCaptions(), std::vector<std::string>{"Lumivex"});
  ASSERT_TRUE(WaitIdle(g_frame, child));
  EXPECT_EQ(ViewText(child).substr(before), "* first line failed!\n");
  char typed[64] = "";
  ::GetWindowTextA(g_frame->m_pCommandDlg->Combo(), typed, sizeof typed);
  EXPECT_STREQ(typed, "second line");
}

TEST_F(FrameTest, WindowsAndTheFrameStayWhileAThreadRunsAndTheLastWindowStays) {
  CChildFrame* first = g_frame->GetActiveChild();
  first->SendMessage(WM_CLOSE);
  EXPECT_EQ(Prompts(), std::vector<std::string>{"This is the only thread."});
  EXPECT_EQ(PromptCaptions(), std::vector<std::string>{"Lumivex"});
  EXPECT_TRUE(IsWindow(first->m_hWnd));

  Command(ID_FILE_NEW);
  CChildFrame* second = g_frame->GetActiveChild();
  ASSERT_NE(second, first);
  EXPECT_EQ(g_nThreadWindows.load(), 2);
  EXPECT_EQ(g_frame->m_pCommandDlg->GetWindowTextString(), "Command dialog box for thread #2");
  EXPECT_EQ(g_frame->m_wndMdiTabs.GetTabCount(), 2);
  second->m_CommandText = "busy";
  ASSERT_TRUE(second->StartCommand());
  LxPromptTestBegin();
  second->SendMessage(WM_CLOSE);
  g_frame->SendMessage(WM_CLOSE);
  // Submitting into the busy window is refused too; the typed line stays.
  ::SetWindowTextA(g_frame->m_pCommandDlg->Combo(), "next");
  g_frame->m_pCommandDlg->OnSubmit();
  EXPECT_EQ(Prompts(), (std::vector<std::string>{"Thread is not finished.", "Thread is not finished.",
                                                 "Thread is not finished."}));
  EXPECT_EQ(PromptCaptions(), std::vector<std::string>(3, "Lumivex"));
  EXPECT_TRUE(IsWindow(second->m_hWnd));
  EXPECT_TRUE(IsWindow(g_frame->m_hWnd));
  ASSERT_TRUE(WaitIdle(g_frame, second));

  HWND closing = second->m_hWnd;
  ::SendMessageA(closing, WM_CLOSE, 0, 0);
  EXPECT_FALSE(IsWindow(closing));
  EXPECT_EQ(g_nThreadWindows.load(), 1);
  LxPumpMessages();
  EXPECT_EQ(g_frame->m_wndMdiTabs.GetTabCount(), 1);
}

TEST_F(FrameTest, InitLxlldBindsTheRecordingDriverAndTheConsoleForwardsLines) {
  std::string init = RunLine(g_frame, "init LXLLD");
  EXPECT_NE(init.find(" Device ID = 0x0001227E\n"), std::string::npos) << init;
  EXPECT_NE(init.find("* init LXLLD had entered.\n"), std::string::npos) << init;
  std::string erase = RunLine(g_frame, "SectorEraseCmd 80000000 4000");
  EXPECT_EQ(erase, "cmd_SectorEraseCmd argc=2 [80000000] [4000]\n* SectorEraseCmd 80000000 4000 had entered.\n");
  // Far more output than one print takes, in one piece each and nothing lost.
  std::string dump = RunLine(g_frame, "d8 80000000 20000");
  size_t rows = 0;
  for (size_t at = 0; (at = dump.find("\n8", at)) != std::string::npos; ++at) ++rows;
  EXPECT_GE(rows, 0x20000u / 16 - 1) << dump.substr(0, 200);
  EXPECT_NE(dump.find("* d8 80000000 20000 had entered.\n"), std::string::npos);
  EXPECT_EQ(RunLine(g_frame, "NoSuchNorCommand 1"), "* NoSuchNorCommand 1 failed!\n");
}

TEST_F(FrameTest, TheFrameMirrorsTheDeviceStateAndTheSelectorStoresTheKind) {
  const UINT openOnly[] = {ID_FUNCTION_PROFILER, ID_DEVICE_EXPLORER, ID_DEVICE_DUPLICATE, ID_GET_LAST_ERROR,
                           ID_DUMP_DEBUG};
  lx::DeviceClose("/a");
  LxPumpMessages();
  for (UINT id : openOnly) EXPECT_FALSE(g_frame->IsCommandEnabled(id)) << id;
  EXPECT_FALSE(g_frame->m_wndToolBar.IsButtonEnabled(ID_DEVICE_EXPLORER));
  ASSERT_EQ(lx::DeviceOpen("/a"), 0);
  LxPumpMessages();
  for (UINT id : openOnly) EXPECT_TRUE(g_frame->IsCommandEnabled(id)) << id;
  EXPECT_TRUE(g_frame->m_wndToolBar.IsButtonEnabled(ID_DEVICE_EXPLORER));
  EXPECT_FALSE(g_frame->IsCommandEnabled(ID_VOLUME_TREE));
  EXPECT_FALSE(g_frame->IsCommandEnabled(ID_SECTOR_EXPLORER));
  lx::DeviceClose("/a");
  LxPumpMessages();
  EXPECT_FALSE(g_frame->m_wndToolBar.IsButtonEnabled(ID_DEVICE_EXPLORER));

  // A successful open with a NOR code selects NOR; the selector stores SPI with window size 0.
  lx::DeviceFrameHooks hooks = lx::GetDeviceFrameHooks();
  ASSERT_NE(hooks.SelectDeviceKind, nullptr);
  g_app.m_Options.WindowSizeIndex = 3;
  hooks.SelectDeviceKind(1, hooks.context);
  LxPumpMessages();
  EXPECT_EQ(g_frame->m_wndDeviceSelector.GetCurSel(), 1);
  EXPECT_EQ(g_app.m_Options.DeviceKind, 1);
  g_frame->m_wndDeviceSelector.SetCurSel(2);
  g_frame->SendMessage(WM_COMMAND, MAKEWPARAM(IDC_DEVICE_SELECTOR, CBN_SELCHANGE),
                       reinterpret_cast<LPARAM>(g_frame->m_wndDeviceSelector.m_hWnd));
  std::string saved = ReadFile(g_folder + "\\setup.ini");
  ASSERT_EQ(saved.size(), lx::kOptionsRecordSize);
  EXPECT_EQ(saved[516], 2);
  EXPECT_EQ(saved[517], 0);
  Command(ID_SELECT_NAND);
  EXPECT_EQ(g_frame->m_wndDeviceSelector.GetCurSel(), 0);
  EXPECT_TRUE(g_frame->IsCommandChecked(ID_SELECT_NAND));
  EXPECT_FALSE(g_frame->IsCommandChecked(ID_SELECT_SPI));
}

TEST_F(FrameTest, ShellWordsInACommandWindowWorkOnTheVirtualDevice) {
  ASSERT_EQ(lx::DeviceOpen("/a"), 0);
  int formatted = DeviceApiTable.gfslLowLevelFormat("/a", 1u << 20, 48u << 20);
  char error[512] = "";
  DeviceApiTable.gfslGetLastError(error, sizeof error);
  ASSERT_EQ(formatted, 0) << error;
  std::string host = g_folder + "\\host";
  CreateDirectoryA(host.c_str(), nullptr);
  std::string data;
  for (int i = 0; i < 70000; ++i) data += static_cast<char>((i * 7 + i / 251) & 0xFF);
  std::ofstream(host + "\\source.bin", std::ios::binary) << data;

  struct Step {
    std::string line;
    bool ok;
  } steps[] = {
      {"gfslFormat /a FAT16 WINDOWS 0", true},
      {"gfslMount /a", true},
      {"mkdir docs", true},
      {"gfslExtCopy " + host + "\\source.bin /a/docs/source.bin", true},
      {"gfslCopy /a/docs/source.bin /a/second.bin", true},
      {"gfslExtCopy /a/second.bin " + host + "\\back.bin", true},
      {"gfslDelete second.bin", true},
      {"gfslDelete second.bin", false},
      {"gfslExtCopy /a/nothere.bin " + host + "\\none.bin", false},
  };
  for (const Step& step : steps) {
    std::string out = RunLine(g_frame, step.line);
    std::string end = "* " + step.line + (step.ok ? " had entered.\n" : " failed!\n");
    EXPECT_TRUE(out.size() >= end.size() && out.compare(out.size() - end.size(), end.size(), end) == 0)
        << step.line << " gave:\n" << out;
    if (step.line == "gfslMount /a") {
      LxPumpMessages();
      EXPECT_EQ(lx::FrameDevice().FrameMountMask, 1u);
      EXPECT_TRUE(g_frame->IsCommandEnabled(ID_VOLUME_TREE));
      Command(ID_VOLUME_TREE);
      HWND tree = g_frame->m_wndVolumeTree.m_hWnd;
      HTREEITEM last = nullptr;
      for (HTREEITEM item = TreeView_GetRoot(tree); item; item = TreeView_GetNextSibling(tree, item)) last = item;
      ASSERT_NE(last, nullptr);
      char text[16] = "";
      TVITEMA item = {};
      item.mask = TVIF_TEXT;
      item.hItem = last;
      item.pszText = text;
      item.cchTextMax = sizeof text;
      ::SendMessageA(tree, TVM_GETITEMA, 0, reinterpret_cast<LPARAM>(&item));
      EXPECT_STREQ(text, "/a");  // the device after the host's drives
      EXPECT_TRUE(g_frame->m_bVolumeTreeBuilt);
    }
  }
  EXPECT_EQ(ReadFile(host + "\\back.bin"), data);
  EXPECT_EQ(RunLine(g_frame, "cd docs"), "/a/docs\n* cd docs had entered.\n");
  std::string listing = RunLine(g_frame, "dir");
  EXPECT_NE(listing.find("source.bin"), std::string::npos) << listing;
  EXPECT_EQ(RunLine(g_frame, "cd .."), "/a\n* cd .. had entered.\n");

  // A PC file larger than the volume's free space: the copy fails and leaves no part of itself.
  {
    std::ofstream huge(host + "\\huge.bin", std::ios::binary);
    const std::string mib(1u << 20, 'h');
    for (int i = 0; i < 50; ++i) huge << mib;
  }
  const std::string tooBig = "gfslExtCopy " + host + "\\huge.bin /a/x.bin";
  EXPECT_EQ(RunLine(g_frame, tooBig), "* " + tooBig + " failed!\n");
  DeleteFileA((host + "\\huge.bin").c_str());
  listing = RunLine(g_frame, "dir");
  EXPECT_EQ(listing.find("x.bin"), std::string::npos) << listing;
  // Index.html and index.html of one PC folder are one name on the volume: the second is asked
  // about (No keeps the first) and the copy says how many arrived. The end-to-end run makes the
  // folder outside Wine, where both names can exist.
  const std::string site = g_folder + "\\site";
  WIN32_FIND_DATAA found;
  int names = 0;
  HANDLE find = FindFirstFileA((site + "\\*.html").c_str(), &found);
  if (find != INVALID_HANDLE_VALUE) {
    do ++names;
    while (FindNextFileA(find, &found));
    FindClose(find);
  }
  if (names == 2) {
    LxPromptQueueAnswer(LX_IDNO);
    const std::string copyDir = "gfslCopyDir " + site + " /a/site";
    EXPECT_EQ(RunLine(g_frame, copyDir), "Copy failed: 1 of 2 files copied.\n* " + copyDir + " failed!\n");
  }
  LxSaveWindowShot(g_frame->m_hWnd, "main_frame_shell");
  EXPECT_EQ(RunLine(g_frame, "gfslUnmount /a"), "* gfslUnmount /a had entered.\n");
  EXPECT_EQ(lx::FrameDevice().FrameMountMask, 0u);
  lx::DeviceClose("/a");
}

TEST_F(FrameTest, TheMenuOpensTheOpenDeviceDialogTheProfilerAndTheExplorer) {
  lx::DeviceClose("/a");
  SetTimer(nullptr, 0, 100, CloseOpenDevice);
  Command(ID_OPEN_DEVICE);
  EXPECT_EQ(g_seenCaption, "Open Device");
  EXPECT_EQ(lx::GetDeviceState(), lx::kDeviceOpen);  // the dialog opens the device when shown

  // The virtual device keeps no bus trace: the dump says so and writes nothing.
  Command(ID_DUMP_DEBUG);
  EXPECT_EQ(Prompts().back(), "Failed to dump debug information");
  CFileDialog::QueueTestAnswer((g_folder + "\\missing.bin").c_str());
  Command(ID_DEBUG_VIEWER);
  EXPECT_EQ(Prompts().back(), "Failed to open a debug information file");

  Command(ID_FUNCTION_PROFILER);
  LxPumpMessages();
  HWND profiler = FindOwnWindow("Flash block device driver profiler");
  ASSERT_NE(profiler, nullptr);
  LxSaveWindowShot(profiler, "frame_profiler");
  Command(ID_FUNCTION_PROFILER);
  EXPECT_FALSE(IsWindowVisible(profiler));

  g_app.m_Options.DeviceKind = 1;
  Command(ID_DEVICE_EXPLORER);
  LxPumpMessages();
  ASSERT_NE(GetNorExplorer(), nullptr);
  // The virtual device has no NOR access: the explorer tells the failed read in its title.
  const std::string title = GetNorExplorer()->GetWindowTextString().GetString();
  EXPECT_EQ(title.rfind("Device Explorer: window#0/", 0), 0u) << title;
  EXPECT_NE(title.find(" - READ ERROR"), std::string::npos) << title;
  LxSaveWindowShot(GetNorExplorer()->m_hWnd, "frame_nor_explorer");
  Command(ID_DEVICE_EXPLORER);
  EXPECT_EQ(GetNorExplorer(), nullptr);

  Command(ID_RESET_DEVICE);
  ASSERT_NE(GetNorResetDialog(), nullptr);
  lx::DeviceClose("/a");
  LxPumpMessages();
  EXPECT_EQ(GetNorResetDialog(), nullptr);  // no device, no reset window
  // Greyed commands do nothing when they come another way.
  Command(ID_DEVICE_EXPLORER);
  EXPECT_EQ(GetNorExplorer(), nullptr);
  g_app.m_Options.DeviceKind = 0;
}

TEST_F(FrameTest, TheHistoryIsReadAtCreationKeptToItsLimitAndWrittenAtTheEnd) {
  CCommandDlg* dialog = g_frame->m_pCommandDlg;
  // Read at creation: CR LF lines, empty ones skipped, a last line without its end.
  ASSERT_GE(dialog->HistoryCount(), 3);
  int n = dialog->HistoryCount();
  EXPECT_EQ(dialog->HistoryEntry(n - 3), "dir");
  EXPECT_EQ(dialog->HistoryEntry(n - 2), "cd /a/docs");
  EXPECT_EQ(dialog->HistoryEntry(n - 1), "gfslMount /a");

  ::SendMessageA(dialog->Combo(), CB_RESETCONTENT, 0, 0);
  for (int i = 0; i < CCommandDlg::kHistoryLimit; ++i) dialog->AddHistory(("line " + std::to_string(i)).c_str());
  EXPECT_EQ(RunLine(g_frame, "newest"), "* newest failed!\n");
  EXPECT_EQ(dialog->HistoryCount(), CCommandDlg::kHistoryLimit);
  EXPECT_EQ(dialog->HistoryEntry(0), "newest");
  EXPECT_EQ(dialog->HistoryEntry(CCommandDlg::kHistoryLimit - 1), "line 1");  // "line 0" went

  // Lines that end in LF alone stay one entry, LFs and all.
  ::SendMessageA(dialog->Combo(), CB_RESETCONTENT, 0, 0);
  std::ofstream(g_folder + "\\history.txt", std::ios::binary) << "one\ntwo\n";
  g_frame->LoadHistory();
  ASSERT_EQ(dialog->HistoryCount(), 1);
  EXPECT_EQ(dialog->HistoryEntry(0), "one\ntwo\n");
  dialog->AddHistory("three");
  g_frame->SaveHistory();
  EXPECT_EQ(ReadFile(g_folder + "\\history.txt"), "three\r\none\ntwo\n\r\n");
}

TEST_F(FrameTest, ALineLongerThanTheBufferIsRefusedWhole) {
  std::string line = "cd /a/" + std::string(600, 'x');
  EXPECT_EQ(RunLine(g_frame, line), "* " + line + " failed!\n");
}

TEST_F(FrameTest, AcceleratorsGiveOnlyTheEditCommandsToTheLogOrPage) {
  g_frame->m_wndLog.Print(0, RGB(0, 0, 0), "some log text\r\n");
  ::SetFocus(g_frame->m_wndLog.m_hWnd);
  g_frame->SendMessage(WM_COMMAND, MAKEWPARAM(ID_EDIT_SELECT_ALL, 1), 0);
  long start = -1, end = -1;
  g_frame->m_wndLog.GetSel(start, end);
  EXPECT_EQ(start, 0);
  EXPECT_GT(end, 10);
  LxPumpMessages();
  LxSaveWindowShot(g_frame->m_hWnd, "main_frame_log");
  // Any other accelerator still reaches the frame's commands while the log has the focus.
  int windows = g_nThreadWindows.load();
  g_frame->SendMessage(WM_COMMAND, MAKEWPARAM(ID_FILE_NEW, 1), 0);
  EXPECT_EQ(g_nThreadWindows.load(), windows + 1);
  CChildFrame* added = g_frame->GetActiveChild();
  ASSERT_NE(added, nullptr);
  added->SendMessage(WM_CLOSE);
  EXPECT_EQ(g_nThreadWindows.load(), windows);
}

TEST_F(FrameTest, TheProgressPaneCyclesWhileTheAnimationRunsAndStopsAtZero) {
  CExtProgressWnd* progress = g_frame->m_pProgress;
  ASSERT_NE(progress, nullptr);
  StartProgressAnimation();
  for (int i = 0; i < 5; ++i) progress->SendMessage(WM_TIMER, 0);
  EXPECT_EQ(progress->GetPos(), 5);
  for (int i = 0; i < 28; ++i) progress->SendMessage(WM_TIMER, 0);
  EXPECT_EQ(progress->GetPos(), 0);  // past 32 it starts again
  progress->SendMessage(WM_TIMER, 0);
  EXPECT_EQ(progress->GetPos(), 1);
  StopProgressAnimation();
  EXPECT_EQ(progress->GetPos(), 0);
}

TEST_F(FrameTest, ScriptPagesAreMadeSavedOpenedAndClosed) {
  Command(ID_NEW_SCRIPT);
  CExtTabPageContainerFlatWnd& pages = g_frame->m_wndScriptPages;
  ASSERT_EQ(pages.PageSelectionGet(), 0);
  EXPECT_EQ(pages.PageTextGet(0), "New script");
  EXPECT_EQ(g_frame->GetSelectedPageText(), "'\r\n' Type your Lumivex Visual Basic Script here.\r\n'\r\n");
  int count = pages.PageCountGet();

  std::string path = g_folder + "\\saved.vbs";
  CFileDialog::QueueTestAnswer(path.c_str());
  Command(ID_SAVE_SCRIPT);
  EXPECT_EQ(ReadFile(path), "'\r\n' Type your Lumivex Visual Basic Script here.\r\n'\r\n");
  EXPECT_EQ(pages.PageTextGet(0), "saved.vbs");

  std::ofstream(g_folder + "\\other.vbs", std::ios::binary) << "MsgBox \"other\"\r\n";
  CFileDialog::QueueTestAnswer((g_folder + "\\other.vbs").c_str());
  Command(ID_OPEN_SCRIPT);
  ASSERT_EQ(pages.PageCountGet(), count + 1);
  EXPECT_EQ(pages.PageTextGet(0), "other");
  EXPECT_EQ(g_frame->GetSelectedPageText(), "MsgBox \"other\"\r\n");

  CFileDialog::QueueTestAnswer(nullptr);  // Cancel: nothing opens
  Command(ID_OPEN_SCRIPT);
  EXPECT_EQ(pages.PageCountGet(), count + 1);
  Command(ID_CLOSE_SCRIPT);
  Command(ID_CLOSE_SCRIPT);
  EXPECT_EQ(pages.PageCountGet(), count - 1);
  EXPECT_EQ(pages.PageTextGet(0), "Help script");
}

// The pane's rectangle in the frame's client coordinates.
RECT InFrame(const CWnd& window) {
  RECT r;
  ::GetWindowRect(window.m_hWnd, &r);
  MapWindowPoints(nullptr, g_frame->m_hWnd, reinterpret_cast<POINT*>(&r), 2);
  return r;
}

// A splitter drag with the mouse, as the frame receives it.
void DragOnFrame(POINT from, int dx, int dy) {
  g_frame->SendMessage(WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(from.x, from.y));
  g_frame->SendMessage(WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(from.x + dx / 2, from.y + dy / 2));
  g_frame->SendMessage(WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(from.x + dx, from.y + dy));
  g_frame->SendMessage(WM_LBUTTONUP, 0, MAKELPARAM(from.x + dx, from.y + dy));
  LxPumpMessages();
}

TEST_F(FrameTest, PanesAreResizedHiddenFloatedAndDockedElsewhere) {
  CExtDockSite& site = g_frame->m_dockSite;
  g_frame->ResetLayout();
  LxPumpMessages();
  RECT client;
  g_frame->GetClientRect(&client);
  RECT tree = InFrame(g_frame->m_wndVolumeTreeBar), editor = InFrame(g_frame->m_wndScriptEditorBar);
  RECT log = InFrame(g_frame->m_wndScriptLogBar);
  EXPECT_EQ(tree.left, 0);
  EXPECT_EQ(tree.right - tree.left, 200);
  EXPECT_EQ(editor.top, log.top);  // side by side at the bottom
  EXPECT_LT(editor.right, log.left);

  // The splitter right of the tree makes it wider, the one above the bottom row taller.
  DragOnFrame({tree.right + 2, (tree.top + tree.bottom) / 2}, 60, 0);
  EXPECT_EQ(InFrame(g_frame->m_wndVolumeTreeBar).right - InFrame(g_frame->m_wndVolumeTreeBar).left, 260);
  DragOnFrame({(editor.left + editor.right) / 2, editor.top - 2}, 0, -50);
  EXPECT_EQ(InFrame(g_frame->m_wndScriptEditorBar).bottom - InFrame(g_frame->m_wndScriptEditorBar).top,
            editor.bottom - editor.top + 50);
  EXPECT_EQ(InFrame(g_frame->m_wndScriptLogBar).top, InFrame(g_frame->m_wndScriptEditorBar).top);
  RECT mdi;
  ::GetWindowRect(g_frame->GetMdiClient(), &mdi);
  MapWindowPoints(nullptr, g_frame->m_hWnd, reinterpret_cast<POINT*>(&mdi), 2);
  EXPECT_EQ(mdi.bottom, InFrame(g_frame->m_wndScriptEditorBar).top - lx::dock::kSplitter);

  // Hidden from the View menu: the log takes the whole bottom row; the toolbar button follows.
  EXPECT_TRUE(g_frame->m_wndToolBar.IsButtonChecked(ID_BAR_SCRIPT_EDITOR));
  Command(ID_BAR_SCRIPT_EDITOR);
  EXPECT_FALSE(site.IsPaneVisible(ID_BAR_SCRIPT_EDITOR));
  EXPECT_FALSE(g_frame->m_wndScriptEditorBar.IsWindowVisible());
  EXPECT_FALSE(g_frame->m_wndToolBar.IsButtonChecked(ID_BAR_SCRIPT_EDITOR));
  EXPECT_FALSE(g_frame->IsCommandChecked(ID_BAR_SCRIPT_EDITOR));
  EXPECT_EQ(InFrame(g_frame->m_wndScriptLogBar).left, InFrame(g_frame->m_wndVolumeTreeBar).right + lx::dock::kSplitter);
  EXPECT_EQ(InFrame(g_frame->m_wndScriptLogBar).right, client.right);

  // Floated: the log lives in a window of its own, the center grows down to the status bar.
  site.FloatPane(ID_BAR_SCRIPT_LOG);
  LxPumpMessages();
  HWND floating = site.FloatingWindow(ID_BAR_SCRIPT_LOG);
  ASSERT_NE(floating, nullptr);
  EXPECT_TRUE(::IsWindowVisible(floating));
  EXPECT_EQ(::GetParent(g_frame->m_wndScriptLogBar.m_hWnd), floating);
  EXPECT_TRUE(g_frame->m_wndLog.IsWindowVisible());
  char caption[64] = "";
  ::GetWindowTextA(floating, caption, sizeof caption);
  EXPECT_STREQ(caption, "Script log output");
  ::GetWindowRect(g_frame->GetMdiClient(), &mdi);
  MapWindowPoints(nullptr, g_frame->m_hWnd, reinterpret_cast<POINT*>(&mdi), 2);
  EXPECT_EQ(mdi.bottom, InFrame(g_frame->m_wndStatusBar).top);

  // Docked elsewhere: the tree on the right; the editor shown again and dropped at the left edge.
  site.DockPane(ID_BAR_VOLUME_TREE, lx::dock::kRight);
  tree = InFrame(g_frame->m_wndVolumeTreeBar);
  EXPECT_EQ(tree.right, client.right);
  EXPECT_EQ(tree.right - tree.left, 260);
  Command(ID_BAR_SCRIPT_EDITOR);
  POINT edge = {3, (client.top + client.bottom) / 2};
  ::ClientToScreen(g_frame->m_hWnd, &edge);
  RECT outline = {0, 0, 100, 100};
  site.DropPane(ID_BAR_SCRIPT_EDITOR, edge, outline);
  editor = InFrame(g_frame->m_wndScriptEditorBar);
  EXPECT_EQ(editor.left, 0);
  EXPECT_EQ(site.FindPane(ID_BAR_SCRIPT_EDITOR)->side, lx::dock::kLeft);
  LxPumpMessages();
  LxSaveWindowShot(g_frame->m_hWnd, "frame_layout_changed");
  LxSaveWindowShot(floating, "frame_floating_log");

  // Closing the floating window hides the pane; shown again, it floats where it was.
  RECT before;
  ::GetWindowRect(floating, &before);
  ::SendMessageA(floating, WM_CLOSE, 0, 0);
  EXPECT_FALSE(site.IsPaneVisible(ID_BAR_SCRIPT_LOG));
  Command(ID_BAR_SCRIPT_LOG);
  floating = site.FloatingWindow(ID_BAR_SCRIPT_LOG);
  ASSERT_NE(floating, nullptr);
  RECT after;
  ::GetWindowRect(floating, &after);
  EXPECT_TRUE(EqualRect(&before, &after));
  // Its caption double-clicked, it docks where it was.
  ::SendMessageA(floating, WM_NCLBUTTONDBLCLK, HTCAPTION, 0);
  EXPECT_EQ(site.FloatingWindow(ID_BAR_SCRIPT_LOG), nullptr);
  EXPECT_EQ(::GetParent(g_frame->m_wndScriptLogBar.m_hWnd), g_frame->m_hWnd);
  EXPECT_TRUE(g_frame->m_wndScriptLogBar.IsWindowVisible());
  g_frame->ResetLayout();
}

// What a user does with the mouse on a pane's caption: the button goes down on it, the
// pointer moves to `to` (frame client coordinates), the button comes up there. The messages
// carry the point as the capturing window sees it, as real mouse messages do.
void DragCaption(CExtControlBar& bar, POINT to) {
  POINT screen = to;
  ::ClientToScreen(g_frame->m_hWnd, &screen);
  SetCursorPos(screen.x, screen.y);
  POINT inBar = screen;
  ::ScreenToClient(bar.m_hWnd, &inBar);
  const LPARAM where = MAKELPARAM(inBar.x, inBar.y);
  // Queued before the press: the drag's own message loop takes them.
  bar.PostMessage(WM_MOUSEMOVE, MK_LBUTTON, where);
  bar.PostMessage(WM_LBUTTONUP, 0, where);
  bar.SendMessage(WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(30, 5));
  LxPumpMessages();
}

TEST_F(FrameTest, ACaptionDraggedToAnEdgeDocksThereAndItsCloseButtonHidesThePane) {
  CExtDockSite& site = g_frame->m_dockSite;
  g_frame->ResetLayout();
  RECT client;
  g_frame->GetClientRect(&client);
  const int middle = (client.top + client.bottom) / 2;
  DragCaption(g_frame->m_wndScriptLogBar, {client.right - 3, middle});
  EXPECT_EQ(site.FindPane(ID_BAR_SCRIPT_LOG)->side, lx::dock::kRight);
  RECT log = InFrame(g_frame->m_wndScriptLogBar);
  EXPECT_EQ(log.right, client.right);
  EXPECT_EQ(log.top, InFrame(g_frame->m_wndToolBar).bottom);  // the outermost row: the whole height

  // Dropped in the middle of the frame it floats there.
  DragCaption(g_frame->m_wndScriptLogBar, {(client.left + client.right) / 2, middle});
  EXPECT_TRUE(site.FindPane(ID_BAR_SCRIPT_LOG)->floating);
  EXPECT_NE(site.FloatingWindow(ID_BAR_SCRIPT_LOG), nullptr);

  // The close button at the caption's right end.
  RECT editor;
  g_frame->m_wndScriptEditorBar.GetClientRect(&editor);
  g_frame->m_wndScriptEditorBar.SendMessage(WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(editor.right - 8, 8));
  EXPECT_FALSE(site.IsPaneVisible(ID_BAR_SCRIPT_EDITOR));
  g_frame->ResetLayout();
  EXPECT_TRUE(site.IsPaneVisible(ID_BAR_SCRIPT_EDITOR));
  EXPECT_FALSE(site.FindPane(ID_BAR_SCRIPT_LOG)->floating);
}

// Only a line that was typed runs: a command dialog whose window is gone submits nothing (it
// once ran an empty line in its place, and the thread window said "*  failed!").
TEST_F(FrameTest, ACommandDialogWithoutItsWindowSubmitsNothing) {
  CChildFrame* child = g_frame->GetActiveChild();
  ASSERT_NE(child, nullptr);
  const std::string before = ViewText(child);
  const int history = g_frame->m_pCommandDlg->HistoryCount();
  CCommandDlg gone;
  gone.OnSubmit();
  EXPECT_FALSE(child->IsBusy());
  EXPECT_TRUE(WaitIdle(g_frame, child));
  EXPECT_EQ(ViewText(child).substr(before.size()), "");
  EXPECT_EQ(g_frame->m_pCommandDlg->HistoryCount(), history);
}

// Under Wine, with other programs' windows coming and going, a control of the command dialog was
// seen carrying the MDI client's child numbering (0xFF00 + n) in place of its id. The typed line
// and the buttons still work: the dialog knows its controls by their windows.
TEST_F(FrameTest, TheCommandDialogWorksWhenItsControlsLoseTheirIds) {
  CCommandDlg* dialog = g_frame->m_pCommandDlg;
  HWND combo = dialog->Combo();
  HWND submit = ::FindWindowExA(dialog->m_hWnd, nullptr, "Button", "&Submit");
  ASSERT_NE(submit, nullptr);
  ::SetWindowLongPtrA(combo, GWLP_ID, 0xFF05);
  ::SetWindowLongPtrA(submit, GWLP_ID, 0xFF06);
  EXPECT_EQ(RunLine(g_frame, "no such word"), "* no such word failed!\n");

  CChildFrame* child = g_frame->GetActiveChild();
  ASSERT_NE(child, nullptr);
  size_t before = ViewText(child).size();
  ::SetWindowTextA(combo, "clicked word");
  ::SendMessageA(submit, BM_CLICK, 0, 0);
  LxPumpMessages();
  EXPECT_TRUE(WaitIdle(g_frame, child));
  EXPECT_EQ(ViewText(child).substr(before), "* clicked word failed!\n");
  EXPECT_EQ(dialog->HistoryEntry(0), "clicked word");
  ::SetWindowLongPtrA(combo, GWLP_ID, IDC_COMMAND_LINE);
  ::SetWindowLongPtrA(submit, GWLP_ID, IDC_COMMAND_SUBMIT);
}

VOID CALLBACK CancelInsertObject(HWND, UINT, UINT_PTR id, DWORD) {
  HWND dialog = FindOwnWindow("Insert Object");
  if (!dialog) return;
  KillTimer(nullptr, id);
  g_seenCaption = "Insert Object";
  LxSaveWindowShot(g_frame->m_hWnd, "frame_insert_object");
  SendMessageA(dialog, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
}

// The thread window's container commands come through the frame: Insert New Object opens the
// system's Insert Object dialog for the active window; the verbs wait for a selected object.
TEST_F(FrameTest, TheContainerCommandsReachTheActiveThreadWindow) {
  const UINT kInsertNewObject = 57857, kFirstVerb = 57872, kLastVerb = 57887;
  ASSERT_NE(g_frame->GetActiveChild(), nullptr);
  EXPECT_TRUE(g_frame->IsCommandEnabled(kInsertNewObject));
  EXPECT_FALSE(g_frame->IsCommandEnabled(kFirstVerb));
  EXPECT_FALSE(g_frame->IsCommandEnabled(kLastVerb));
  g_seenCaption.clear();
  SetTimer(nullptr, 0, 50, CancelInsertObject);
  Command(kInsertNewObject);
  EXPECT_EQ(g_seenCaption, "Insert Object");
  EXPECT_TRUE(Prompts().empty());
  Command(kFirstVerb);  // greyed: nothing happens, nothing is said
  EXPECT_TRUE(Prompts().empty());
}

TEST_F(FrameTest, TheCommandDialogHasItsControlsAndGrowsInWidthOnly) {
  HWND dialog = g_frame->m_pCommandDlg->m_hWnd;
  char text[64] = "";
  ::GetDlgItemTextA(dialog, IDC_COMMAND_LABEL, text, sizeof text);
  EXPECT_STREQ(text, "&Command:");
  ::GetDlgItemTextA(dialog, IDC_COMMAND_SUBMIT, text, sizeof text);
  EXPECT_STREQ(text, "&Submit");
  ::GetDlgItemTextA(dialog, IDCANCEL, text, sizeof text);
  EXPECT_STREQ(text, "Exit");
  EXPECT_NE(::GetWindowLongA(dialog, GWL_STYLE) & WS_THICKFRAME, 0);

  HWND comboBox = g_frame->m_pCommandDlg->Combo(), exitButton = ::FindWindowExA(dialog, nullptr, "Button", "Exit");
  auto rectOf = [&](HWND control) {
    RECT r = {};
    ::GetWindowRect(control, &r);
    return r;
  };
  RECT window, combo = rectOf(comboBox), exit = rectOf(exitButton);
  ::GetWindowRect(dialog, &window);
  int width = window.right - window.left, height = window.bottom - window.top;
  ::SetWindowPos(dialog, nullptr, 0, 0, width + 200, height + 100, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  RECT grown;
  ::GetWindowRect(dialog, &grown);
  EXPECT_EQ(grown.right - grown.left, width + 200);
  EXPECT_EQ(grown.bottom - grown.top, height);  // the height stays
  EXPECT_EQ(rectOf(comboBox).right - rectOf(comboBox).left, combo.right - combo.left + 200);
  EXPECT_EQ(rectOf(exitButton).left - grown.left, exit.left - window.left + 200);
  ::ShowWindow(dialog, SW_SHOWNA);
  LxSaveWindowShot(dialog, "main_command_dialog_wide");
  ::SetWindowPos(dialog, nullptr, 0, 0, width - 150, height, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  ::GetWindowRect(dialog, &grown);
  EXPECT_EQ(grown.right - grown.left, width);  // never narrower than its template
  ::ShowWindow(dialog, SW_HIDE);
}

// Made without a parent, the command dialog opens inside the frame, over the thread windows, not
// over the menu bar at the screen's corner; where the user moves it, it shows again.
TEST_F(FrameTest, TheCommandDialogOpensInsideTheFrameAndKeepsWhereItWasMoved) {
  HWND dialog = g_frame->m_pCommandDlg->m_hWnd;
  if (::IsWindowVisible(dialog)) Command(ID_COMMAND_DIALOG);
  Command(ID_COMMAND_DIALOG);
  ASSERT_TRUE(::IsWindowVisible(dialog));
  RECT client, own;  // the thread windows' area, below the menu bar, toolbar and tabs
  ::GetClientRect(g_frame->GetMdiClient(), &client);
  ::MapWindowPoints(g_frame->GetMdiClient(), nullptr, reinterpret_cast<POINT*>(&client), 2);
  ::GetWindowRect(dialog, &own);
  EXPECT_GE(own.top, client.top);
  EXPECT_GE(own.left, client.left);
  LxPumpMessages();
  LxSaveWindowShot(g_frame->m_hWnd, "main_frame_command_dialog_placed");
  ::SetWindowPos(dialog, nullptr, client.left + 57, client.top + 41, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
  Command(ID_COMMAND_DIALOG);
  Command(ID_COMMAND_DIALOG);
  ::GetWindowRect(dialog, &own);
  EXPECT_EQ(own.left, client.left + 57);
  EXPECT_EQ(own.top, client.top + 41);
  Command(ID_COMMAND_DIALOG);
}

TEST_F(FrameTest, TheMenuBarIsHiddenAndShownAgainFromTheBarsMenu) {
  ASSERT_NE(::GetMenu(g_frame->m_hWnd), nullptr);
  HMENU menu = g_frame->m_wndMenuBar.GetMenu();
  Command(ID_BAR_MENU);
  EXPECT_EQ(::GetMenu(g_frame->m_hWnd), nullptr);
  EXPECT_FALSE(g_frame->IsCommandChecked(ID_BAR_MENU));
  Command(ID_BAR_MENU);  // what the View menu on a right click of the toolbar sends
  EXPECT_EQ(::GetMenu(g_frame->m_hWnd), menu);
  EXPECT_TRUE(g_frame->IsCommandChecked(ID_BAR_MENU));
}

// A restart in the test: the frame goes (saving its layout) and a new one comes.
void RestartFrame() {
  g_frame->DestroyWindow();
  LxPumpMessages();
  OpenTestFrame();
}

TEST_F(FrameTest, TheLayoutOutlivesARestartAndTheResetRestoresTheDefault) {
  CExtDockSite& site = g_frame->m_dockSite;
  site.DockPane(ID_BAR_VOLUME_TREE, lx::dock::kRight);
  RECT at = {420, 380, 820, 600};
  site.FloatPane(ID_BAR_SCRIPT_LOG, &at);
  site.ShowPane(ID_BAR_SCRIPT_EDITOR, false);
  Command(ID_BAR_STATUS);
  Command(ID_BAR_MENU);
  LxPumpMessages();
  std::string layout = site.SaveLayout();
  ASSERT_NO_FATAL_FAILURE(RestartFrame());

  CExtDockSite& again = g_frame->m_dockSite;
  EXPECT_EQ(again.SaveLayout(), layout);
  RECT client;
  g_frame->GetClientRect(&client);
  EXPECT_EQ(InFrame(g_frame->m_wndVolumeTreeBar).right, client.right);
  HWND floating = again.FloatingWindow(ID_BAR_SCRIPT_LOG);
  ASSERT_NE(floating, nullptr);
  RECT placed;
  ::GetWindowRect(floating, &placed);
  EXPECT_TRUE(EqualRect(&placed, &at));
  EXPECT_TRUE(::IsWindowVisible(floating));
  EXPECT_EQ(::GetWindow(floating, GW_OWNER), g_frame->m_hWnd);
  // Above its frame, where the user can reach it.
  for (int i = 0; i < 40; ++i) {
    LxPumpMessages();
    Sleep(10);
  }
  HWND first = nullptr;
  for (HWND w = ::GetTopWindow(nullptr); w && !first; w = ::GetWindow(w, GW_HWNDNEXT))
    if (w == floating || w == g_frame->m_hWnd) first = w;
  EXPECT_EQ(first, floating);
  LxSaveWindowShot(floating, "frame_layout_restored_floating");
  EXPECT_FALSE(g_frame->m_wndScriptEditorBar.IsWindowVisible());
  EXPECT_FALSE(g_frame->m_wndStatusBar.IsWindowVisible());
  EXPECT_EQ(::GetMenu(g_frame->m_hWnd), nullptr);
  LxSaveWindowShot(g_frame->m_hWnd, "frame_layout_restored");

  Command(ID_VIEW_RESET_LAYOUT);
  LxPumpMessages();
  EXPECT_EQ(again.FloatingWindow(ID_BAR_SCRIPT_LOG), nullptr);
  RECT tree = InFrame(g_frame->m_wndVolumeTreeBar);
  EXPECT_EQ(tree.left, 0);
  EXPECT_EQ(tree.right, 200);
  EXPECT_TRUE(g_frame->m_wndScriptEditorBar.IsWindowVisible());
  EXPECT_TRUE(g_frame->m_wndStatusBar.IsWindowVisible());
  EXPECT_NE(::GetMenu(g_frame->m_hWnd), nullptr);
  EXPECT_EQ(InFrame(g_frame->m_wndScriptLogBar).top, InFrame(g_frame->m_wndScriptEditorBar).top);
  LxSaveWindowShot(g_frame->m_hWnd, "frame_layout_reset");
}

TEST_F(FrameTest, ThePrintPreviewOfThreeHundredLinesShowsWholePagesInOrder) {
  CChildFrame* child = g_frame->GetActiveChild();
  ASSERT_NE(child, nullptr);
  child->m_View.SetWindowText("");
  std::string text;
  for (int i = 1; i <= 300; ++i) {
    char line[96];
    std::snprintf(line, sizeof line, "%03d  00000000: 00 01 02 03 04 05 06 07 08 09 0A 0B 0C 0D 0E 0F\r\n", i);
    text += line;
  }
  child->m_View.AppendText(text.c_str());
  ::SetFocus(child->m_View.m_hWnd);
  Command(ID_FILE_PRINT_PREVIEW);
  HWND preview = g_frame->m_hPrintPreview;
  ASSERT_NE(preview, nullptr);
  lx::print::PageFormat format = lx::print::PreviewFormat(preview);
  ASSERT_GT(format.rowsPerPage, 10);
  ASSERT_GE(format.columns, 66);  // the rows fit: nothing wraps
  int pages = (300 + format.rowsPerPage - 1) / format.rowsPerPage;
  EXPECT_EQ(lx::print::PreviewPageCount(preview), pages);
  char caption[128] = "";
  ::GetWindowTextA(preview, caption, sizeof caption);
  EXPECT_STREQ(caption, (g_frame->GetActiveChild()->m_Doc.m_Title.str() + " - Print Preview").c_str());
  LxSaveWindowShot(preview, "print_preview_first_page");
  EXPECT_TRUE(lx::print::PreviewShowPage(preview, pages - 1));
  EXPECT_FALSE(lx::print::PreviewShowPage(preview, pages));
  EXPECT_EQ(lx::print::PreviewCurrentPage(preview), pages - 1);
  LxSaveWindowShot(preview, "print_preview_last_page");
  ::SendMessageA(preview, WM_COMMAND, IDCANCEL, 0);
  EXPECT_FALSE(::IsWindow(preview));

  // With the focus in the log, the log is what is printed.
  ::SetFocus(g_frame->m_wndLog.m_hWnd);
  Command(ID_FILE_PRINT_PREVIEW);
  preview = g_frame->m_hPrintPreview;
  ASSERT_NE(preview, nullptr);
  ::GetWindowTextA(preview, caption, sizeof caption);
  EXPECT_STREQ(caption, "Script log output - Print Preview");
  ::DestroyWindow(preview);
}

// Should a printer be installed after all, its dialogs are answered Cancel.
VOID CALLBACK CancelPrintDialogs(HWND, UINT, UINT_PTR, DWORD) {
  for (const char* title : {"Print", "Print Setup"})
    if (HWND dialog = FindOwnWindow(title)) SendMessageA(dialog, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
}

TEST_F(FrameTest, PrintingWithoutAPrinterSaysSoAndPrintsNothing) {
  char printer[256] = "";
  DWORD size = sizeof printer;
  if (GetDefaultPrinterA(printer, &size)) GTEST_SKIP() << "this prefix has a printer: " << printer;
  UINT_PTR timer = SetTimer(nullptr, 0, 200, CancelPrintDialogs);
  ::SetFocus(g_frame->GetActiveChild()->m_View.m_hWnd);
  for (UINT id : {ID_FILE_PRINT, ID_FILE_PRINT_DIRECT, ID_FILE_PRINT_SETUP}) Command(id);
  KillTimer(nullptr, timer);
  // One notice each, ours, and no dialog of the system's on top of it.
  EXPECT_EQ(FindOwnWindow("Print"), nullptr);
  EXPECT_EQ(Prompts(), (std::vector<std::string>{"No printer is installed.", "No printer is installed.",
                                                 "No printer is installed."}));
  EXPECT_EQ(PromptCaptions(), std::vector<std::string>(3, "Lumivex"));
}

// Last: the beginner's frame keeps its reduced menu.
TEST_F(FrameTest, TheBeginnersFrameHidesTheTreeHasTheShortMenuAndOpensTheDevice) {
  lx::DeviceClose("/a");
  g_app.SetUserLevel(2);
  g_seenCaption.clear();
  g_frame->ActivateFrame(SW_SHOW);
  EXPECT_FALSE(g_frame->m_wndVolumeTreeBar.IsWindowVisible());
  // The beginner's menu lacks only the seven items (the menu tables test them one by one).
  EXPECT_NE(g_frame->m_wndMenuBar.FindPopup("Tools"), nullptr);
  EXPECT_EQ(GetMenuState(g_frame->m_wndMenuBar.GetMenu(), ID_FUNCTION_PROFILER, MF_BYCOMMAND), static_cast<UINT>(-1));
  EXPECT_NE(g_frame->m_wndMenuBar.FindPopup("Device"), nullptr);
  EXPECT_EQ(g_frame->m_wndToolBar.SendMessage(TB_COMMANDTOINDEX, ID_COMMAND_DIALOG), -1);  // no such button
  SetTimer(nullptr, 0, 100, CloseOpenDevice);
  for (int i = 0; i < 200 && g_seenCaption.empty(); ++i) {
    LxPumpMessages();  // the posted Open Device command runs the dialog
    Sleep(10);
  }
  EXPECT_EQ(g_seenCaption, "Open Device");
  g_app.SetUserLevel(0);
}

// ---- the frame closed while the NOR explorer waits in a loop ----------------------------------------
// The NOR explorer on the open virtual device, with the options that let its operations start.
CNorExplorerDlg* OpenNorExplorer() {
  if (lx::GetDeviceState() != lx::kDeviceOpen) lx::DeviceOpen("/a");
  g_app.m_Options.DeviceKind = 1;
  g_app.m_Options.ConfirmOperations = 0;
  if (!GetNorExplorer()) Command(ID_DEVICE_EXPLORER);
  LxPumpMessages();
  return GetNorExplorer();
}

HWND g_frameWindow = nullptr;
HWND g_explorerWindow = nullptr;
HWND g_findWindow = nullptr;
bool g_frameStayed = false;
bool g_explorerKeptHidden = false;
bool g_findWindowKept = false;
bool g_explorerGone = false;
int g_reads = 0;

// Inside the explorer's modal import dialog: the user closes the frame; then the frame's own
// leaving step runs as it would if the frame went all the same.
VOID CALLBACK CloseTheFrameDuringImport(HWND, UINT, UINT_PTR id, DWORD) {
  HWND dialog = FindOwnWindow("Import Device Data...");
  if (!dialog) return;
  KillTimer(nullptr, id);
  ::SendMessageA(g_frameWindow, WM_CLOSE, 0, 0);
  g_frameStayed = IsWindow(g_frameWindow) != FALSE;
  DestroyExplorers(g_frame);
  g_explorerKeptHidden = IsWindow(g_explorerWindow) && !IsWindowVisible(g_explorerWindow);
  ::SendMessageA(dialog, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
}

TEST_F(FrameTest, TheFrameStaysWhileTheNorExplorerRunsADialogAndTheExplorerGoesAfterIt) {
  CNorExplorerDlg* explorer = OpenNorExplorer();
  ASSERT_NE(explorer, nullptr);
  g_frameWindow = g_frame->m_hWnd;
  g_explorerWindow = explorer->m_hWnd;
  g_frameStayed = g_explorerKeptHidden = false;
  SetTimer(nullptr, 0, 50, CloseTheFrameDuringImport);
  explorer->SendMessage(WM_COMMAND, MAKEWPARAM(IDC_NE_IMPORT, BN_CLICKED), 0);
  EXPECT_TRUE(g_frameStayed);
  const std::vector<std::string> prompts = Prompts();
  EXPECT_NE(std::find(prompts.begin(), prompts.end(), "Please stop the running operation of the device explorer first."),
            prompts.end())
      << testing::PrintToString(prompts);
  EXPECT_TRUE(g_explorerKeptHidden);  // not destroyed under the running dialog
  EXPECT_EQ(GetNorExplorer(), nullptr);
  EXPECT_FALSE(IsWindow(g_explorerWindow));
  if (!IsWindow(g_frameWindow)) {  // it went all the same: the next tests get a new one
    MSG msg;
    PeekMessageA(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE);
    g_frame = nullptr;
    ASSERT_NO_FATAL_FAILURE(OpenTestFrame());
  }
}

// A NOR device of 64 MiB of erased bytes; three reads into a search, a timer closes the frame as
// a user does while the search pumps messages.
uint64_t LargeDevice(const char*) { return 64ull << 20; }

VOID CALLBACK CloseTheFrameDuringSearch(HWND, UINT, UINT_PTR id, DWORD) {
  KillTimer(nullptr, id);
  ::SendMessageA(g_frameWindow, WM_CLOSE, 0, 0);
  g_findWindowKept = IsWindow(g_findWindow) != FALSE;
  g_explorerGone = !IsWindow(g_explorerWindow);
}

int ErasedRead(int, uint32_t, uint32_t length, uint8_t* buffer) {
  std::memset(buffer, 0xFF, length);
  if (++g_reads == 3) {
    SetTimer(nullptr, 0, USER_TIMER_MINIMUM, CloseTheFrameDuringSearch);
    Sleep(50);  // the timer is due at the search's next pump
  }
  return 0;
}

TEST_F(FrameTest, ClosingTheFrameStopsANorSearchAndTheProgramStillEnds) {
  CNorExplorerDlg* explorer = OpenNorExplorer();
  ASSERT_NE(explorer, nullptr);
  const DeviceApiTableCells saved = DeviceApiTable;
  DeviceApiTable.gfslGetNumberOfBytesPerDevice = LargeDevice;
  DeviceApiTable.gfslNORReadRawData = ErasedRead;
  explorer->SendMessage(WM_COMMAND, MAKEWPARAM(IDC_NE_FIND, BN_CLICKED), 0);
  CNorFindDlg* find = explorer->m_pFindDlg;
  ASSERT_NE(find, nullptr);
  g_frameWindow = g_frame->m_hWnd;
  g_explorerWindow = explorer->m_hWnd;
  g_findWindow = find->m_hWnd;
  g_findWindowKept = g_explorerGone = false;
  g_reads = 0;
  find->SetDlgItemText(IDC_NF_TEXT, "nowhere on the device");
  find->CheckRadioButton(IDC_NF_CURRENT, IDC_NF_FROM, IDC_NF_FROM);
  ::SendMessageA(g_findWindow, WM_COMMAND, MAKEWPARAM(IDC_NF_FIND_NEXT, BN_CLICKED), 0);
  DeviceApiTable = saved;
  EXPECT_FALSE(IsWindow(g_frameWindow));
  EXPECT_TRUE(g_explorerGone);
  EXPECT_TRUE(g_findWindowKept);  // not destroyed under the running search
  EXPECT_FALSE(IsWindow(g_findWindow));
  EXPECT_EQ(GetNorExplorer(), nullptr);
  EXPECT_LT(g_reads, 10);  // stopped at the window after the close, of 65536
  const std::vector<std::string> prompts = Prompts();
  EXPECT_EQ(std::find(prompts.begin(), prompts.end(), std::string("String not found.")), prompts.end());
  // The search's pump kept the frame's quit for the program's own loop.
  MSG msg;
  EXPECT_TRUE(PeekMessageA(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
  g_frame = nullptr;
  ASSERT_NO_FATAL_FAILURE(OpenTestFrame());
}

}  // namespace
