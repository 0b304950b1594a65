// The main frame as a real window under Wine and Xvfb: its bars, thread windows running lines
// on command threads, the closing rules, the NOR console with the recording driver, the
// mirror of the device state, the shell on the virtual device, and the windows its menus open.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "app.h"
#include "device_api.h"
#include "device_ops.h"
#include "document.h"
#include "explorers.h"
#include "lumivex/testkit.h"
#include "main_frame.h"
#include "options_record.h"
#include "resource.h"
#include "test_support.h"

namespace {

CBrambApp g_app;
CMainFrame* g_frame = nullptr;
std::string g_folder;

void WriteOptions(const char* module, const char* norDriver) {
  lx::OptionsRecord options;
  std::memset(&options, 0, sizeof options);
  lx::SetOptionsPath(options.FsLibraryPath, module);
  lx::SetOptionsPath(options.NorDriverPath, norDriver);
  std::ofstream file(g_folder + "\\setup.ini", std::ios::binary);
  file.write(reinterpret_cast<const char*>(&options), sizeof options);
}

std::string ReadFile(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  std::stringstream text;
  text << file.rdbuf();
  return text.str();
}

// The rich edit keeps its line ends as CR.
std::string ViewText(CChildFrame* child) {
  std::string text = child->m_View.GetText().str(), out;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\r') {
      out += '\n';
      if (i + 1 < text.size() && text[i + 1] == '\n') ++i;
    } else {
      out += text[i];
    }
  }
  return out;
}

bool WaitIdle(CChildFrame* child) {
  for (int i = 0; i < 2000; ++i) {
    LxPumpMessages();
    if (!child->IsBusy() && g_frame->m_nRunningThreads.load() == 0) {
      LxPumpMessages();
      return true;
    }
    Sleep(5);
  }
  return false;
}

// Types the line into the command dialog, submits it and waits for the thread; returns what
// the window received for it.
std::string RunLine(const std::string& line) {
  CChildFrame* child = g_frame->GetActiveChild();
  EXPECT_NE(child, nullptr);
  if (!child) return "";
  size_t before = ViewText(child).size();
  g_frame->m_pCommandDlg->SetDlgItemText(IDC_COMMAND_LINE, line.c_str());
  g_frame->m_pCommandDlg->OnSubmit();
  LxPumpMessages();  // the window's start message
  EXPECT_TRUE(WaitIdle(child)) << line;
  std::string text = ViewText(child);
  return text.size() >= before ? text.substr(before) : text;
}

std::vector<std::string> Prompts() {
  std::vector<std::string> texts;
  for (int i = 0; i < LxPromptRecordCount(); ++i) texts.push_back(LxPromptRecordText(i));
  return texts;
}

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
    CreateDirectoryA((g_folder + "\\User Data").c_str(), nullptr);
    // The module reads the C runtime's copy of the environment.
    SetEnvironmentVariableA("LX_USER_AREA", g_folder.c_str());
    _putenv_s("LX_USER_AREA", g_folder.c_str());
    g_app.m_InstallFolder = g_folder.c_str();
    g_app.m_UserAreaFolder = g_folder.c_str();
    WriteOptions("Pallix-VirtualDevice.dll", "LxFixtureNorLld.dll");
    std::ofstream(g_folder + "\\history.txt", std::ios::binary) << "dir\r\n\r\ncd /a/docs\r\ngfslMount /a";
    LxPromptTestBegin();
    g_frame = new CMainFrame;
    ASSERT_TRUE(g_frame->CreateFrame());
    g_app.m_pMainWnd = g_frame;
    g_app.m_pFrameServices = g_frame;
    ASSERT_TRUE(g_frame->OpenThreadWindow());
    g_frame->ShowWindow(SW_SHOW);
    LxPumpMessages();
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
  EXPECT_EQ(RunLine("no such word"), "* no such word failed!\n");
  EXPECT_EQ(RunLine(""), "*  failed!\n");
  // The device is closed: the shell knows the word, the module refuses it.
  EXPECT_EQ(RunLine("gfslMount /a"), "* gfslMount /a failed!\n");
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
  ASSERT_TRUE(WaitIdle(child));
  EXPECT_EQ(lx::WorkerThreadCount(), 0);
  EXPECT_NE(ViewText(child).find("* still running failed!\n"), std::string::npos);
}

TEST_F(FrameTest, WindowsAndTheFrameStayWhileAThreadRunsAndTheLastWindowStays) {
  CChildFrame* first = g_frame->GetActiveChild();
  first->SendMessage(WM_CLOSE);
  EXPECT_EQ(Prompts(), std::vector<std::string>{"This is the only thread."});
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
  g_frame->m_pCommandDlg->SetDlgItemText(IDC_COMMAND_LINE, "next");
  g_frame->m_pCommandDlg->OnSubmit();
  EXPECT_EQ(Prompts(), (std::vector<std::string>{"Thread is not finished.", "Thread is not finished.",
                                                 "Thread is not finished."}));
  EXPECT_TRUE(IsWindow(second->m_hWnd));
  EXPECT_TRUE(IsWindow(g_frame->m_hWnd));
  ASSERT_TRUE(WaitIdle(second));

  HWND closing = second->m_hWnd;
  ::SendMessageA(closing, WM_CLOSE, 0, 0);
  EXPECT_FALSE(IsWindow(closing));
  EXPECT_EQ(g_nThreadWindows.load(), 1);
  LxPumpMessages();
  EXPECT_EQ(g_frame->m_wndMdiTabs.GetTabCount(), 1);
}

TEST_F(FrameTest, InitLxlldBindsTheRecordingDriverAndTheConsoleForwardsLines) {
  std::string init = RunLine("init LXLLD");
  EXPECT_NE(init.find(" Device ID = 0x0001227E\n"), std::string::npos) << init;
  EXPECT_NE(init.find("* init LXLLD had entered.\n"), std::string::npos) << init;
  std::string erase = RunLine("SectorEraseCmd 80000000 4000");
  EXPECT_EQ(erase, "cmd_SectorEraseCmd argc=2 [80000000] [4000]\n* SectorEraseCmd 80000000 4000 had entered.\n");
  // Far more output than one print takes, in one piece each and nothing lost.
  std::string dump = RunLine("d8 80000000 20000");
  size_t rows = 0;
  for (size_t at = 0; (at = dump.find("\n8", at)) != std::string::npos; ++at) ++rows;
  EXPECT_GE(rows, 0x20000u / 16 - 1) << dump.substr(0, 200);
  EXPECT_NE(dump.find("* d8 80000000 20000 had entered.\n"), std::string::npos);
  EXPECT_EQ(RunLine("NoSuchNorCommand 1"), "* NoSuchNorCommand 1 failed!\n");
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
    std::string out = RunLine(step.line);
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
  EXPECT_EQ(RunLine("cd docs"), "/a/docs\n* cd docs had entered.\n");
  std::string listing = RunLine("dir");
  EXPECT_NE(listing.find("source.bin"), std::string::npos) << listing;
  EXPECT_EQ(RunLine("cd .."), "/a\n* cd .. had entered.\n");
  LxSaveWindowShot(g_frame->m_hWnd, "main_frame_shell");
  EXPECT_EQ(RunLine("gfslUnmount /a"), "* gfslUnmount /a had entered.\n");
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
  EXPECT_EQ(GetNorExplorer()->GetWindowTextString(), "NOR Device Explorer - read error at window 0");
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

  SendDlgItemMessageA(dialog->m_hWnd, IDC_COMMAND_LINE, CB_RESETCONTENT, 0, 0);
  for (int i = 0; i < CCommandDlg::kHistoryLimit; ++i) dialog->AddHistory(("line " + std::to_string(i)).c_str());
  EXPECT_EQ(RunLine("newest"), "* newest failed!\n");
  EXPECT_EQ(dialog->HistoryCount(), CCommandDlg::kHistoryLimit);
  EXPECT_EQ(dialog->HistoryEntry(0), "newest");
  EXPECT_EQ(dialog->HistoryEntry(CCommandDlg::kHistoryLimit - 1), "line 1");  // "line 0" went

  // Lines that end in LF alone stay one entry, LFs and all.
  SendDlgItemMessageA(dialog->m_hWnd, IDC_COMMAND_LINE, CB_RESETCONTENT, 0, 0);
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
  EXPECT_EQ(RunLine(line), "* " + line + " failed!\n");
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

// Last: the beginner's frame keeps its reduced menu.
TEST_F(FrameTest, TheBeginnersFrameHidesTheTreeHasTheShortMenuAndOpensTheDevice) {
  lx::DeviceClose("/a");
  g_app.SetUserLevel(2);
  g_seenCaption.clear();
  g_frame->ActivateFrame(SW_SHOW);
  EXPECT_FALSE(g_frame->m_wndVolumeTreeBar.IsWindowVisible());
  EXPECT_EQ(g_frame->m_wndMenuBar.FindPopup("Tools"), nullptr);
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

}  // namespace
