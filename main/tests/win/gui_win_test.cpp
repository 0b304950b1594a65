// The windows of this part as real windows under Wine and Xvfb: the log window, the options
// sheet's pages and the report dialogs. Each test leaves a picture in the screenshots folder.
#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <fstream>
#include <iterator>
#include <thread>
#include <vector>

#include "about.h"
#include "app_under_test.h"
#include "info_dialogs.h"
#include "log_ctrl.h"
#include "lumivex/testkit.h"
#include "module_loader.h"
#include "options_sheet.h"
#include "splash.h"
#include "test_support.h"

namespace {

CBrambApp g_app;

using lxtest::ReadFile;

// A plain top-level window to hold a control.
class HostWindow : public CWnd {
 public:
  HostWindow(int width, int height) {
    WNDCLASSA cls;
    if (!GetClassInfoA(GetModuleHandleA(nullptr), "LxTestHost", &cls)) {
      std::memset(&cls, 0, sizeof cls);
      cls.lpfnWndProc = DefWindowProcA;
      cls.hInstance = GetModuleHandleA(nullptr);
      cls.lpszClassName = "LxTestHost";
      cls.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
      RegisterClassA(&cls);
    }
    m_hWnd = CreateWindowExA(0, "LxTestHost", "Log", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 20, 20, width, height, nullptr,
                             nullptr, GetModuleHandleA(nullptr), nullptr);
  }
  ~HostWindow() override { ::DestroyWindow(Detach()); }
};

struct CharInfo {
  bool bold;
  COLORREF colour;
};

CharInfo FormatAt(CLogCtrl& log, long start, long end) {
  long s, e;
  log.GetSel(s, e);
  log.SetSel(start, end);
  CHARFORMAT2A format;
  std::memset(&format, 0, sizeof format);
  format.cbSize = sizeof format;
  log.SendMessage(EM_GETCHARFORMAT, SCF_SELECTION, reinterpret_cast<LPARAM>(&format));
  log.SetSel(s, e);
  return {(format.dwEffects & CFE_BOLD) != 0, format.crTextColor};
}

class LogWindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    RECT rect = {0, 0, 600, 300};
    ASSERT_TRUE(log.Create(0x503008C4, rect, &host, 32798));
  }
  // The text as the control counts it: one character per line break.
  std::string Text() {
    char buffer[4096] = "";
    GETTEXTEX request = {sizeof buffer, GT_DEFAULT, CP_ACP, nullptr, nullptr};
    log.SendMessage(EM_GETTEXTEX, reinterpret_cast<WPARAM>(&request), reinterpret_cast<LPARAM>(buffer));
    return buffer;
  }
  // Prints from another thread while this (the owner) thread keeps handling messages.
  void PrintFromWorker(uint8_t bold, COLORREF colour, const char* text) {
    OnWorker([&] { log.Print(bold, colour, text); });
  }
  template <class Fn>
  void OnWorker(Fn fn) {
    std::atomic<bool> done{false};
    std::thread worker([&] {
      fn();
      done = true;
    });
    while (!done) {
      MsgWaitForMultipleObjects(0, nullptr, FALSE, 50, QS_ALLINPUT);
      LxPumpMessages();
    }
    worker.join();
  }
  PromptScope prompts;
  HostWindow host{640, 360};
  CLogCtrl log;
};

TEST_F(LogWindowTest, PrintsColouredAndBoldLinesFromAnyThread) {
  EXPECT_EQ(log.m_OwnerThreadId, GetCurrentThreadId());
  EXPECT_FALSE(GetWindowLongA(log.m_hWnd, GWL_STYLE) & WS_BORDER);
  log.Print(0, RGB(0, 0, 0), "plain line\r\n");
  log.Print(1, RGB(200, 0, 0), "bold red line\r\n");
  PrintFromWorker(0, RGB(0, 128, 0), "green from a worker\r\n");
  PrintFromWorker(7, RGB(0, 0, 255), "bold blue from a worker\r\n");
  PrintFromWorker(1, RGB(0, 0, 0), nullptr);  // nothing to write, and no hang
  std::string text = Text();
  EXPECT_EQ(text, "plain line\rbold red line\rgreen from a worker\rbold blue from a worker\r");
  struct Expect {
    const char* word;
    bool bold;
    COLORREF colour;
  } expects[] = {
      {"plain", false, RGB(0, 0, 0)},
      {"bold red", true, RGB(200, 0, 0)},
      {"green", false, RGB(0, 128, 0)},
      {"bold blue", true, RGB(0, 0, 255)},
  };
  for (const auto& e : expects) {
    long at = static_cast<long>(text.find(e.word));
    ASSERT_GE(at, 0) << e.word;
    CharInfo info = FormatAt(log, at, at + 3);
    EXPECT_EQ(info.bold, e.bold) << e.word;
    EXPECT_EQ(info.colour, e.colour) << e.word;
  }
  LxPumpMessages();
  EXPECT_TRUE(LxSaveWindowShot(host.m_hWnd, "main_log_window"));
}

TEST_F(LogWindowTest, KeepsTheUsersSelectionOrFollowsTheEnd) {
  log.Print(0, 0, "first line\r\n");
  log.SetSel(2, 5);
  log.Print(0, 0, "second line\r\n");
  long s, e;
  log.GetSel(s, e);
  EXPECT_EQ(s, 2);
  EXPECT_EQ(e, 5);
  EXPECT_EQ(Text(), "first line\rsecond line\r");
  log.SetSel(-1, -1);
  log.Print(0, 0, "third\r\n");
  log.GetSel(s, e);
  EXPECT_EQ(s, static_cast<long>(Text().size()));
  EXPECT_EQ(e, s);
}

TEST_F(LogWindowTest, ClearStartsAfreshAndCopyNeedsASelection) {
  log.Print(1, RGB(255, 0, 0), "old\r\n");
  EXPECT_EQ(log.Clear(), 0);
  EXPECT_EQ(Text(), "");
  log.Print(0, RGB(0, 0, 0), "new\r\n");
  EXPECT_EQ(Text(), "new\r");
  OnWorker([&] { log.Clear(); });  // a script clears from its own thread
  EXPECT_EQ(Text(), "");
  log.Print(0, RGB(0, 0, 0), "new\r\n");
  EXPECT_FALSE(FormatAt(log, 0, 3).bold);
  log.SetSel(-1, -1);
  EXPECT_FALSE(log.CanCopy());
  log.SetSel(0, 3);
  EXPECT_TRUE(log.CanCopy());
}

TEST_F(LogWindowTest, SavesItsTextAsRtf) {
  log.Print(1, RGB(0, 0, 255), "saved words\r\n");
  std::string folder = MakeTempFolder("lxlog");
  std::string path = folder + "\\log.doc";
  CFileDialog::QueueTestAnswer(path.c_str());
  EXPECT_EQ(log.SaveLog(), 0);
  std::string rtf = ReadFile(path);
  EXPECT_EQ(rtf.rfind("{\\rtf", 0), 0u);
  EXPECT_NE(rtf.find("saved words"), std::string::npos);
  EXPECT_EQ(LastPromptText(), "Log file has created.");
  CFileDialog::QueueTestAnswer(nullptr);  // Cancel writes nothing
  int before = LxPromptRecordCount();
  log.SaveLog();
  EXPECT_EQ(LxPromptRecordCount(), before);
}

// ----- Options sheet -------------------------------------------------------------------------
class OptionsSheetTest : public ::testing::Test {
 protected:
  void SetUp() override {
    install = MakeTempFolder("lxopt");
    g_app.m_InstallFolder = install.c_str();
    g_app.m_OptionsFilePath = (install + "\\setup.ini").c_str();
    g_app.SetUserLevel(0);
    std::memset(&g_app.m_Options, 0, sizeof g_app.m_Options);
    lx::OptionsRecord& rec = g_app.m_Options;
    lx::SetOptionsPath(rec.FsLibraryPath, "C:\\modules\\device.dll");
    rec.DeviceKind = 1;
    rec.WindowSizeIndex = 3;
    lx::SetOptionsPath(rec.NorDriverPath, "C:\\drivers\\nor.dll");
    lx::SetOptionsPath(rec.VyrModulePath, "C:\\vyr\\analyzer.dll");
    rec.VyrWithoutFsLibrary = 1;
    lx::SetOptionsPath(rec.ExplorerPath, "C:\\windows\\explorer.exe");
    lx::SetOptionsPath(rec.EditorPath, "C:\\windows\\notepad.exe");
  }
  void TearDown() override { CFileDialog::ClearTestAnswers(); }
  std::string Item(CWnd& page, int id) {
    CString text;
    page.GetDlgItemText(id, text);
    return text.str();
  }
  lx::OptionsRecord Saved() {
    lx::OptionsRecord rec;
    std::string bytes = ReadFile(install + "\\setup.ini");
    EXPECT_EQ(bytes.size(), sizeof rec);
    lx::ReadOptionsBytes(rec, bytes.data(), bytes.size());
    return rec;
  }
  void Show(COptionsSheet& sheet, int page, const char* shot) {
    sheet.SetActivePage(page);
    LxPumpMessages();
    EXPECT_TRUE(LxSaveWindowShot(sheet.m_hWnd, shot));
  }
  PromptScope prompts;
  std::string install;
};

TEST_F(OptionsSheetTest, PagesShowTheRecordAndApplyWritesIt) {
  COptionsSheet sheet("Options...", nullptr, 1);
  ASSERT_EQ(sheet.GetPageCount(), 5);
  ASSERT_TRUE(sheet.Create());
  EXPECT_EQ(sheet.GetActivePage(), &sheet.m_ExtFsLib);  // opens on page 1
  ::ShowWindow(sheet.m_hWnd, SW_SHOW);
  LxPumpMessages();
  char caption[64] = "";
  GetWindowTextA(sheet.m_hWnd, caption, sizeof caption);
  EXPECT_STREQ(caption, "Options...");

  COptionsExtfslibPage& fs = sheet.m_ExtFsLib;
  EXPECT_EQ(Item(fs, IDC_PATH_EDIT), "C:\\modules\\device.dll");
  EXPECT_EQ(Item(fs, IDC_PATH_INFO), "File information:");
  EXPECT_EQ(fs.IsDlgButtonChecked(IDC_KIND_NOR), BST_CHECKED);
  EXPECT_EQ(fs.IsDlgButtonChecked(IDC_KIND_NAND), BST_UNCHECKED);
  HWND combo = ::GetDlgItem(fs.m_hWnd, IDC_WINDOW_SIZE);
  EXPECT_EQ(::SendMessageA(combo, CB_GETCOUNT, 0, 0), 6);
  EXPECT_EQ(::SendMessageA(combo, CB_GETCURSEL, 0, 0), 3);
  EXPECT_FALSE(fs.m_bLibraryChanged);
  Show(sheet, 1, "main_options_extfslib");

  // The radio buttons refill the list for their kind.
  fs.SendMessage(WM_COMMAND, MAKEWPARAM(IDC_KIND_NAND, BN_CLICKED), 0);
  EXPECT_EQ(::SendMessageA(combo, CB_GETCOUNT, 0, 0), 3);
  EXPECT_FALSE(::IsWindowEnabled(combo));
  char entry[64];
  ::SendMessageA(combo, CB_GETLBTEXT, 0, reinterpret_cast<LPARAM>(entry));
  EXPECT_STREQ(entry, "1024 Bytes (N/A)");
  fs.SendMessage(WM_COMMAND, MAKEWPARAM(IDC_KIND_NOR, BN_CLICKED), 0);
  ::SendMessageA(combo, CB_SETCURSEL, 5, 0);

  Show(sheet, 0, "main_options_general");
  EXPECT_EQ(sheet.m_General.IsDlgButtonChecked(IDC_CONFIRM_OPERATIONS), BST_UNCHECKED);
  sheet.m_General.CheckDlgButton(IDC_CONFIRM_OPERATIONS, BST_CHECKED);

  Show(sheet, 2, "main_options_lld");
  EXPECT_EQ(Item(sheet.m_Lld, IDC_NOR_PATH), "C:\\drivers\\nor.dll");
  EXPECT_EQ(Item(sheet.m_Lld, IDC_VELTAN_PATH), "");
  sheet.m_Lld.SetDlgItemText(IDC_VELTAN_PATH, "C:\\drivers\\veltan.dll");

  Show(sheet, 3, "main_options_vyr");
  EXPECT_EQ(Item(sheet.m_Vyr, IDC_PATH_EDIT), "C:\\vyr\\analyzer.dll");
  EXPECT_EQ(sheet.m_Vyr.IsDlgButtonChecked(IDC_VYR_WITHOUT_FS), BST_CHECKED);
  sheet.m_Vyr.CheckDlgButton(IDC_VYR_WITHOUT_FS, BST_UNCHECKED);

  Show(sheet, 4, "main_options_tools");
  EXPECT_EQ(Item(sheet.m_Tools, IDC_TOOL2_PATH), "C:\\windows\\notepad.exe");
  sheet.m_Tools.SetDlgItemText(IDC_PATH_EDIT, "D:\\tools\\files.exe");

  ::SendMessageA(sheet.m_hWnd, PSM_APPLY, 0, 0);
  LxPumpMessages();
  EXPECT_EQ(LxPromptRecordCount(), 0);  // the library did not change: no restart question
  lx::OptionsRecord saved = Saved();
  EXPECT_EQ(saved.ConfirmOperations, 1u);
  EXPECT_STREQ(saved.FsLibraryPath, "C:\\modules\\device.dll");
  EXPECT_EQ(saved.DeviceKind, 1);
  EXPECT_EQ(saved.WindowSizeIndex, 5);
  EXPECT_STREQ(saved.VeltanDriverPath, "C:\\drivers\\veltan.dll");
  EXPECT_EQ(saved.VyrWithoutFsLibrary, 0);
  EXPECT_STREQ(saved.ExplorerPath, "D:\\tools\\files.exe");
  EXPECT_STREQ(saved.EditorPath, "C:\\windows\\notepad.exe");
  ::DestroyWindow(sheet.m_hWnd);
}

TEST_F(OptionsSheetTest, ChangedLibraryAsksToRestartAndCancelKeepsRunning) {
  COptionsSheet sheet("Options...", nullptr, 1);
  ASSERT_TRUE(sheet.Create());
  COptionsExtfslibPage& fs = sheet.m_ExtFsLib;
  // Browse to the same path changes nothing; another file marks the library changed.
  std::string module = install + "\\other.dll";
  std::ofstream(module, std::ios::binary) << "12345";
  CFileDialog::QueueTestAnswer("C:\\modules\\device.dll");
  fs.SendMessage(WM_COMMAND, MAKEWPARAM(IDC_PATH_BROWSE, BN_CLICKED), 0);
  EXPECT_FALSE(fs.m_bLibraryChanged);
  CFileDialog::QueueTestAnswer(module.c_str());
  fs.SendMessage(WM_COMMAND, MAKEWPARAM(IDC_PATH_BROWSE, BN_CLICKED), 0);
  EXPECT_TRUE(fs.m_bLibraryChanged);
  EXPECT_EQ(Item(fs, IDC_PATH_EDIT), module);
  EXPECT_EQ(Item(fs, IDC_PATH_INFO), "File information: Total 5 Bytes");

  LxPromptQueueAnswer(IDCANCEL);
  ::SendMessageA(sheet.m_hWnd, PSM_APPLY, 0, 0);
  ASSERT_GE(LxPromptRecordCount(), 1);
  EXPECT_STREQ(LxPromptRecordText(0),
               "Changing an external file system library requires restarting Lumivex.\nIt will restart "
               "automatically.");
  EXPECT_STREQ(LxPromptRecordCaption(0), "Lumivex");
  EXPECT_EQ(LxPromptRecordType(0), static_cast<unsigned>(MB_OKCANCEL | MB_ICONINFORMATION));
  EXPECT_STREQ(Saved().FsLibraryPath, module.c_str());
  EXPECT_FALSE(g_app.m_bDeviceModuleLoaded);  // nothing was loaded: the next load binds it
  MSG msg;
  EXPECT_FALSE(PeekMessageA(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
  ::DestroyWindow(sheet.m_hWnd);
}

// Notes the modal options sheet's caption and page once it is set up, then cancels it. A hook
// on this thread sees the sheet before any other program could touch it.
std::string g_sheetCaption;
bool g_sheetOnLibraryPage = false;
HHOOK g_sheetHook = nullptr;
LRESULT CALLBACK WatchOptionsSheet(int code, WPARAM wp, LPARAM lp) {
  const CWPRETSTRUCT* call = reinterpret_cast<const CWPRETSTRUCT*>(lp);
  if (code == HC_ACTION && call->message == WM_INITDIALOG) {
    char caption[64] = "";
    GetWindowTextA(call->hwnd, caption, sizeof caption);
    if (std::strcmp(caption, "Options...") == 0 && g_sheetCaption.empty()) {
      g_sheetCaption = caption;
      HWND page = reinterpret_cast<HWND>(SendMessageA(call->hwnd, PSM_GETCURRENTPAGEHWND, 0, 0));
      g_sheetOnLibraryPage = page && GetDlgItem(page, IDC_WINDOW_SIZE) != nullptr;
      PostMessageA(call->hwnd, PSM_PRESSBUTTON, PSBTN_CANCEL, 0);
    }
  }
  return CallNextHookEx(g_sheetHook, code, wp, lp);
}

TEST_F(OptionsSheetTest, OptionsCommandRereadsTheFileThenShowsTheSheet) {
  std::string bytes(3080, '\0');
  bytes[4] = 'M';
  std::ofstream(install + "\\setup.ini", std::ios::binary) << bytes;
  g_app.m_bDeviceModuleLoaded = true;  // only the file is read again, no module is bound
  g_sheetHook = SetWindowsHookExA(WH_CALLWNDPROCRET, &WatchOptionsSheet, nullptr, GetCurrentThreadId());
  RunOptionsCommand();
  UnhookWindowsHookEx(g_sheetHook);
  g_app.m_bDeviceModuleLoaded = false;
  EXPECT_STREQ(g_app.m_Options.FsLibraryPath, "M");
  EXPECT_EQ(g_sheetCaption, "Options...");
  EXPECT_TRUE(g_sheetOnLibraryPage);
}

TEST_F(OptionsSheetTest, BeginnersGetTwoPagesAndStillOpenOnTheLibrary) {
  g_app.SetUserLevel(2);
  COptionsSheet sheet("Options...", nullptr, 1);
  EXPECT_EQ(sheet.GetPageCount(), 2);
  ASSERT_TRUE(sheet.Create());
  EXPECT_EQ(sheet.GetActivePage(), &sheet.m_ExtFsLib);
  ::DestroyWindow(sheet.m_hWnd);
  g_app.SetUserLevel(0);
}

TEST(StartupWindows, SplashShowsItsStatusAndHidesOnAClick) {
  CSplashWindowDlg splash;
  ASSERT_TRUE(splash.Create());
  splash.ShowWindow(SW_SHOW);
  splash.SetStatusText("Lumivex\nFile version: 1.7.25.2");
  LxPumpMessages();
  CString text;
  splash.GetDlgItemText(IDC_SPLASH_STATUS, text);
  EXPECT_EQ(text, "Lumivex\nFile version: 1.7.25.2");
  EXPECT_TRUE(LxSaveWindowShot(splash.m_hWnd, "main_splash"));
  splash.SendMessage(WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(5, 5));
  EXPECT_FALSE(splash.IsWindowVisible());
}

// Reads the About box's version label as the box is set up, then closes it.
std::string g_aboutVersion;
HHOOK g_aboutHook = nullptr;
LRESULT CALLBACK WatchAboutBox(int code, WPARAM wp, LPARAM lp) {
  const CWPRETSTRUCT* call = reinterpret_cast<const CWPRETSTRUCT*>(lp);
  if (code == HC_ACTION && call->message == WM_INITDIALOG && GetDlgItem(call->hwnd, IDC_ABOUT_VERSION)) {
    char text[128] = "";
    GetDlgItemTextA(call->hwnd, IDC_ABOUT_VERSION, text, sizeof text);
    g_aboutVersion = text;
    PostMessageA(call->hwnd, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
  }
  return CallNextHookEx(g_aboutHook, code, wp, lp);
}

TEST(StartupWindows, AboutBoxShowsTheProgramsFileVersion) {
  std::string bin = ExeFolder() + "\\..\\bin";  // where Lumivex.exe is built
  g_app.m_InstallFolder = bin.c_str();
  g_aboutHook = SetWindowsHookExA(WH_CALLWNDPROCRET, &WatchAboutBox, nullptr, GetCurrentThreadId());
  OnAppAbout();
  UnhookWindowsHookEx(g_aboutHook);
  EXPECT_EQ(g_aboutVersion, "File version: 1.7.25.2");
}

// ----- Report dialogs ------------------------------------------------------------------------
TEST(ReportDialogs, InfoDialogShowsHeadingAndBody) {
  CInfoDlg dialog;
  dialog.m_Heading = "Compare bad blocks.";
  dialog.m_Body = "block 1: bad\r\nblock 7: bad\r\n";
  ASSERT_TRUE(dialog.Create(IDD_INFO));
  dialog.ShowWindow(SW_SHOW);
  LxPumpMessages();
  CString heading, body;
  dialog.GetDlgItemText(IDC_INFO_HEADING, heading);
  dialog.GetDlgItemText(IDC_INFO_BODY, body);
  EXPECT_EQ(heading, "Compare bad blocks.");
  EXPECT_EQ(body, "block 1: bad\r\nblock 7: bad\r\n");
  EXPECT_TRUE(LxSaveWindowShot(dialog.m_hWnd, "main_info_dialog"));
}

TEST(ReportDialogs, GeneralInputKeepsItsValueOnCancel) {
  CGeneralInputDlg dialog("New Folder", "Folder name:");
  dialog.m_Input = "before";
  ASSERT_TRUE(dialog.Create(IDD_GENERAL_INPUT));
  dialog.ShowWindow(SW_SHOW);
  LxPumpMessages();
  EXPECT_EQ(dialog.GetWindowTextString(), "New Folder");
  CString prompt;
  dialog.GetDlgItemText(IDC_INPUT_PROMPT, prompt);
  EXPECT_EQ(prompt, "Folder name:");
  dialog.SetDlgItemText(IDC_INPUT_TEXT, "typed");
  EXPECT_TRUE(LxSaveWindowShot(dialog.m_hWnd, "main_input_dialog"));
  dialog.SendMessage(WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
  EXPECT_EQ(dialog.m_Input, "before");
  dialog.SendMessage(WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
  EXPECT_EQ(dialog.m_Input, "typed");
}

TEST(ReportDialogs, VyrDialogWithoutTextAndErrorDialog) {
  CInfoVyrDlg vyr(nullptr);
  ASSERT_TRUE(vyr.Create(IDD_INFO_VYR));
  CString text = "x";
  vyr.GetDlgItemText(IDC_INFO_BODY, text);
  EXPECT_EQ(text, "");

  CInfoErrorDlg error;
  error.m_Heading = "Error Code: -1 (0xFFFFFFFF)";
  error.m_Text = "ERROR_DEVICE_NOT_OPEN";
  ASSERT_TRUE(error.Create(IDD_INFO_ERROR));
  error.ShowWindow(SW_SHOW);
  LxPumpMessages();
  CString heading;
  error.GetDlgItemText(IDC_ERROR_HEADING, heading);
  EXPECT_EQ(heading, "Error Code: -1 (0xFFFFFFFF)");
  EXPECT_TRUE(LxSaveWindowShot(error.m_hWnd, "main_error_dialog"));
}

std::string g_seenHeading, g_seenText;

// Reads the modal error dialog once it is up, then presses OK.
void CALLBACK ReadAndCloseErrorDialog(HWND, UINT, UINT_PTR id, DWORD) {
  HWND dialog = FindOwnWindow("Error Information");
  // A modal dialog shows itself once its controls are filled.
  if (!dialog || !IsWindowVisible(dialog)) return;
  KillTimer(nullptr, id);
  char text[256];
  GetDlgItemTextA(dialog, IDC_ERROR_HEADING, text, sizeof text);
  g_seenHeading = text;
  GetDlgItemTextA(dialog, IDC_ERROR_TEXT, text, sizeof text);
  g_seenText = text;
  PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
}

// The last-error command with no module: the stub's code and an empty, not stale, text.
TEST(ReportDialogs, LastDeviceErrorWithNoModule) {
  PromptScope prompts;
  SetTimer(nullptr, 0, 50, &ReadAndCloseErrorDialog);
  ShowLastDeviceError();
  EXPECT_EQ(g_seenHeading, "Error Code: -1 (0xFFFFFFFF)");
  EXPECT_EQ(g_seenText, "");
  EXPECT_EQ(LastPromptText(), "gfslGetLastError is not supported.");

  // A module that answers a code but writes no text: the box stays empty.
  CDeviceApiBinder binder;
  HMODULE module = binder.LoadDeviceLibrary(FixturePath("lxfix_device_all.dll").c_str());
  ASSERT_EQ(binder.LoadDeviceApi(module), 0u);
  g_seenText = "stale";
  SetTimer(nullptr, 0, 50, &ReadAndCloseErrorDialog);
  ShowLastDeviceError();
  EXPECT_EQ(g_seenHeading, "Error Code: 1055 (0x0000041F)");
  EXPECT_EQ(g_seenText, "");
  binder.ResetDeviceApi();
}

}  // namespace
