// The main frame closed while a device explorer (sector, NOR, NAND) runs a search, a modal tool of
// its own or a loop: the frame stays or the explorer outlives the running code, nothing freed is
// touched (the device is read no more after the close, the windows the running code uses are
// still there), and the program still ends once the loop has returned.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "app_under_test.h"
#include "device_api.h"
#include "device_ops.h"
#include "explorers.h"
#include "fake_nand.h"
#include "frame_test_support.h"
#include "lumivex/testkit.h"
#include "main_frame.h"
#include "sectortools.h"
#include "test_support.h"
#include "veltan_dialogs.h"

namespace {

CBrambApp g_app;
CMainFrame* g_frame = nullptr;
std::string g_folder;
const char kRefusal[] = "Please stop the running operation of the device explorer first.";

// The frame sent its quit (it went); the quit is taken so that the next frame's tests go on.
bool TakeQuit() {
  MSG msg;
  return PeekMessageA(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE) != FALSE;
}

// A visible window of this thread that `owner` owns: the modal tool the explorer opened.
HWND OwnedWindow(HWND owner) {
  for (HWND w = GetTopWindow(nullptr); w; w = GetWindow(w, GW_HWNDNEXT))
    if (GetWindowThreadProcessId(w, nullptr) == GetCurrentThreadId() && IsWindowVisible(w) &&
        GetWindow(w, GW_OWNER) == owner)
      return w;
  return nullptr;
}

void Command(UINT id) { g_frame->SendMessage(WM_COMMAND, MAKEWPARAM(id, 0), 0); }

// ---- the device as the tests see it ---------------------------------------------------------------
int g_reads = 0, g_writes = 0;
int g_closeAtRead = 0, g_closeAtWrite = 0;
int g_readsAtClose = -1, g_writesAtClose = -1;

struct Probe {
  HWND frame = nullptr, explorer = nullptr, find = nullptr;
  bool frameStayed = false, explorerStayed = false, findStayed = false, explorerKeptHidden = false;
  bool toolSeen = false;
  bool goesAllTheSame = false;  // after the refusal the frame's leaving step runs all the same
} g_probe;

VOID CALLBACK CloseTheFrameNow(HWND, UINT, UINT_PTR id, DWORD) {
  KillTimer(nullptr, id);
  g_readsAtClose = g_reads;
  g_writesAtClose = g_writes;
  ::SendMessageA(g_probe.frame, WM_CLOSE, 0, 0);
  g_probe.frameStayed = IsWindow(g_probe.frame) != FALSE;
  g_probe.explorerStayed = IsWindow(g_probe.explorer) != FALSE;
  g_probe.findStayed = g_probe.find && IsWindow(g_probe.find);
}

// Called from a device call: the close comes at the loop's next message pump, as a user's does.
void CloseSoon() {
  SetTimer(nullptr, 0, USER_TIMER_MINIMUM, CloseTheFrameNow);
  Sleep(50);
}

constexpr int32_t kSectors = 100000;
int HundredThousandSectors(int, int) { return kSectors; }

int ZeroSectors(int, uint32_t, uint32_t count, void* buffer, int) {
  std::memset(buffer, 0, static_cast<size_t>(count) * lx::kSectorSize);
  if (++g_reads == g_closeAtRead) CloseSoon();
  return 0;
}

int CountedSectorWrites(int, uint32_t, uint32_t, const void*, int) {
  if (++g_writes == g_closeAtWrite) CloseSoon();
  return 0;
}

void ResetCounts() {
  g_reads = g_writes = 0;
  g_closeAtRead = g_closeAtWrite = 0;
  g_readsAtClose = g_writesAtClose = -1;
  g_probe = Probe();
}

// ---- the three explorers, opened through the frame on devices whose reads count ---------------------
CSectorExplorerDlg* OpenSectorExplorer() {
  DeviceApiTable.gfslGetNumberOfSectors = HundredThousandSectors;
  DeviceApiTable.gfslReadSectors = ZeroSectors;
  DeviceApiTable.gfslWriteSectors = CountedSectorWrites;
  ToggleSectorExplorer(g_frame);
  LxPumpMessages();
  CSectorExplorerDlg* explorer = GetSectorExplorer();
  if (explorer) g_probe.explorer = explorer->m_hWnd;
  return explorer;
}

CNorExplorerDlg* OpenNorExplorer() {
  if (lx::GetDeviceState() != lx::kDeviceOpen) lx::DeviceOpen("/a");
  g_app.m_Options.DeviceKind = 1;
  Command(ID_DEVICE_EXPLORER);
  LxPumpMessages();
  CNorExplorerDlg* explorer = GetNorExplorer();
  if (explorer) g_probe.explorer = explorer->m_hWnd;
  return explorer;
}

// 64 MiB of erased NOR: a search through it takes thousands of reads.
uint64_t SixtyFourMiB(const char*) { return 64ull << 20; }
int ErasedNorReads(int, uint32_t, uint32_t length, uint8_t* buffer) {
  std::memset(buffer, 0xFF, length);
  if (++g_reads == g_closeAtRead) CloseSoon();
  return 0;
}

CNorExplorerDlg* OpenNorExplorerOnALargeDevice() {
  CNorExplorerDlg* explorer = OpenNorExplorer();
  DeviceApiTable.gfslGetNumberOfBytesPerDevice = SixtyFourMiB;
  DeviceApiTable.gfslNORReadRawData = ErasedNorReads;
  return explorer;
}

FakeNand g_nand;
int (*g_fakeRawRead)(int, uint32_t, uint32_t, uint8_t*) = nullptr;
int CountedRawRead(int volume, uint32_t page, uint32_t count, uint8_t* buffer) {
  if (++g_reads == g_closeAtRead) CloseSoon();
  return g_fakeRawRead(volume, page, count, buffer);
}

CVeltanExplorerDlg* OpenVeltanExplorer() {
  g_nand.blocks = 256;
  g_nand.perBlock = 64;
  g_nand.Install();
  g_fakeRawRead = DeviceApiTable.gfslVeltanReadRawPage;
  DeviceApiTable.gfslVeltanReadRawPage = CountedRawRead;
  g_app.m_Options.DeviceKind = 0;
  lx::FrameDevice().VeltanSpareSize = g_nand.spare;
  LxPromptQueueAnswer(IDNO);  // no block table file
  LxPromptQueueAnswer(IDNO);
  ToggleDeviceExplorer(g_frame);
  LxPumpMessages();
  CVeltanExplorerDlg* explorer = GetVeltanExplorer();
  if (explorer) g_probe.explorer = explorer->m_hWnd;
  return explorer;
}

// ---- a modal tool open: the frame is closed under it --------------------------------------------
// Inside the explorer's modal tool (dialog, sheet or message box): the user closes the frame; then,
// when the case asks for it, the frame's leaving step runs as it would if the frame went all the
// same; then the tool is closed.
VOID CALLBACK CloseTheFrameUnderTheTool(HWND, UINT, UINT_PTR id, DWORD) {
  HWND tool = OwnedWindow(g_probe.explorer);
  if (!tool) return;
  KillTimer(nullptr, id);
  g_probe.toolSeen = true;
  LxPromptTestBegin();  // a real message box may be open; the frame's answer is recorded
  ::SendMessageA(g_probe.frame, WM_CLOSE, 0, 0);
  g_probe.frameStayed = IsWindow(g_probe.frame) != FALSE;
  if (g_probe.goesAllTheSame) {
    DestroyExplorers(g_frame);
    DestroySectorTools();
    g_probe.explorerKeptHidden = IsWindow(g_probe.explorer) && !IsWindowVisible(g_probe.explorer);
  }
  ::SendMessageA(tool, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
}

// Real message boxes for one command: the prompts' test mode is off until the timer turns it on.
class RealBoxes {
 public:
  explicit RealBoxes(bool on) : on_(on) {
    if (!on_) return;
    char saved[MAX_PATH] = "";
    if (GetEnvironmentVariableA("LX_PROMPT_LOG", saved, sizeof saved) > 0) saved_ = saved;
    _putenv_s("LX_PROMPT_LOG", "");
    LxPromptTestEnd();
  }
  ~RealBoxes() {
    if (!on_) return;
    if (!saved_.empty()) _putenv_s("LX_PROMPT_LOG", saved_.c_str());
    if (!g_probe.toolSeen) LxPromptTestBegin();  // the timer turned it on, and its records count
  }

 private:
  bool on_;
  std::string saved_;
};

class ExplorerCloseTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    g_folder = MakeTempFolder("lxexplorerclose");
    lx::OptionsRecord options;
    std::memset(&options, 0, sizeof options);
    lx::SetOptionsPath(options.FsLibraryPath, "Pallix-VirtualDevice.dll");
    lx::SetOptionsPath(options.NorDriverPath, "LxFixtureNorLld.dll");
    UseTestArea(g_app, g_folder, options);
    g_app.SetRegistryKey("Keldorn Explorer Close Test");
  }
  static void TearDownTestSuite() {
    if (g_frame && IsWindow(g_frame->m_hWnd)) g_frame->DestroyWindow();
    LxPumpMessages();
    TakeQuit();
    LxPromptTestEnd();
  }
  void SetUp() override {
    LxPromptTestBegin();
    ResetCounts();
    g_frame = CreateTestFrame(g_app);
    saved_ = DeviceApiTable;  // as the frame's module bound it
    ASSERT_NE(g_frame, nullptr);
    g_probe.frame = g_frame->m_hWnd;
    g_app.m_Options.ConfirmOperations = 0;
  }
  void TearDown() override {
    DeviceApiTable = saved_;
    if (g_frame && IsWindow(g_probe.frame)) {
      DestroyExplorers(g_frame);
      DestroySectorTools();
      g_frame->DestroyWindow();
    }
    LxPumpMessages();
    TakeQuit();
    g_frame = nullptr;
  }
  // The program ends once the loop has returned: the frame closes now and sends its quit.
  void ExpectTheProgramEnds() {
    if (IsWindow(g_probe.frame)) ::SendMessageA(g_probe.frame, WM_CLOSE, 0, 0);
    EXPECT_FALSE(IsWindow(g_probe.frame));
    EXPECT_TRUE(TakeQuit());
    g_frame = nullptr;
  }
  void ExpectNoExplorerLeft() {
    EXPECT_EQ(GetSectorExplorer(), nullptr);
    EXPECT_EQ(GetNorExplorer(), nullptr);
    EXPECT_EQ(GetVeltanExplorer(), nullptr);
    EXPECT_FALSE(IsWindow(g_probe.explorer));
  }
  DeviceApiTableCells saved_;
};

// ---- a search running: the frame is closed from inside its message pump -------------------------
struct FindCase {
  const char* name;
  CHexExplorer* (*open)();
  UINT findButton;
  HWND (*findWindow)(CHexExplorer* explorer);
  int pattern, scopeFirst, scopeLast, findNext;
  int readsAfterClose;  // the read under way when the close came may end
};

const FindCase kFindCases[] = {
    {"sector explorer, 100,000 sectors", [] { return static_cast<CHexExplorer*>(OpenSectorExplorer()); }, IDC_SE_FIND,
     [](CHexExplorer* e) { return static_cast<CSectorExplorerDlg*>(e)->m_pFindDlg->m_hWnd; }, IDC_SF_PATTERN,
     IDC_SF_CURRENT, IDC_SF_FROM, IDC_SF_FIND_NEXT, 0},
    {"NOR explorer, 64 MiB", [] { return static_cast<CHexExplorer*>(OpenNorExplorerOnALargeDevice()); }, IDC_NE_FIND,
     [](CHexExplorer* e) { return static_cast<CNorExplorerDlg*>(e)->m_pFindDlg->m_hWnd; }, IDC_NF_TEXT, IDC_NF_CURRENT,
     IDC_NF_FROM, IDC_NF_FIND_NEXT, 0},
    {"NAND explorer, fake NAND", [] { return static_cast<CHexExplorer*>(OpenVeltanExplorer()); }, IDC_VX_FIND,
     [](CHexExplorer* e) { return static_cast<CVeltanExplorerDlg*>(e)->m_pFindDlg->m_hWnd; }, IDC_VF_PATTERN,
     IDC_VF_CURRENT, IDC_VF_FROM, IDC_VF_FIND_NEXT, 1},
};

TEST_F(ExplorerCloseTest, ClosingTheFrameStopsEachExplorersSearchAndTheProgramEnds) {
  for (const FindCase& c : kFindCases) {
    SCOPED_TRACE(c.name);
    if (!g_frame) {
      TearDown();
      SetUp();
    }
    CHexExplorer* explorer = c.open();
    ASSERT_NE(explorer, nullptr);
    explorer->SendMessage(WM_COMMAND, MAKEWPARAM(c.findButton, BN_CLICKED), 0);
    g_probe.find = c.findWindow(explorer);
    ASSERT_TRUE(IsWindowVisible(g_probe.find));
    ::SetDlgItemTextA(g_probe.find, c.pattern, "nowhere on the device");
    ::CheckRadioButton(g_probe.find, c.scopeFirst, c.scopeLast, c.scopeLast);
    g_reads = 0;
    g_closeAtRead = 3;
    ::SendMessageA(g_probe.find, WM_COMMAND, MAKEWPARAM(c.findNext, BN_CLICKED), 0);
    ASSERT_GE(g_readsAtClose, 3) << "the close never came";
    EXPECT_FALSE(g_probe.frameStayed);    // a search does not hold the frame
    EXPECT_FALSE(g_probe.explorerStayed); // the idle explorer went with it
    EXPECT_TRUE(g_probe.findStayed);      // not destroyed under the running search
    EXPECT_LE(g_reads, g_readsAtClose + c.readsAfterClose) << "the search read on after the close";
    EXPECT_FALSE(IsWindow(g_probe.find));  // gone once the search returned
    EXPECT_FALSE(Told("String not found."));
    ExpectNoExplorerLeft();
    ExpectTheProgramEnds();
  }
}

// ---- the sector explorer ------------------------------------------------------------------------------
struct ToolCase {
  const char* name;
  UINT command;
  bool realBox;         // the tool is a message box of the explorer's own
  bool goesAllTheSame;  // the frame's leaving step runs under the tool all the same
};

const ToolCase kSectorTools[] = {
    {"import", IDC_SE_IMPORT, false, false},
    {"import, the frame going all the same", IDC_SE_IMPORT, false, true},
    {"export", IDC_SE_EXPORT, false, false},
    {"export, the frame going all the same", IDC_SE_EXPORT, false, true},
    {"a message box", IDC_SE_MOVE, true, false},
    {"a message box, the frame going all the same", IDC_SE_MOVE, true, true},
};

// Runs the explorer's command with a timer that closes the frame under the tool it opens, and
// checks what the frame and the explorer did.
void CloseUnderTool(CWnd* explorer, const ToolCase& c) {
  g_probe.goesAllTheSame = c.goesAllTheSame;
  SetTimer(nullptr, 0, 50, CloseTheFrameUnderTheTool);
  {
    RealBoxes boxes(c.realBox);
    explorer->SendMessage(WM_COMMAND, MAKEWPARAM(c.command, BN_CLICKED), 0);
  }
  ASSERT_TRUE(g_probe.toolSeen) << "the tool never opened";
  EXPECT_TRUE(g_probe.frameStayed);
  EXPECT_TRUE(Told(kRefusal)) << testing::PrintToString(Prompts());
  if (c.goesAllTheSame) {
    EXPECT_TRUE(g_probe.explorerKeptHidden);  // not destroyed under the open tool
    // Gone once the tool returned (after a message box, at the explorer's next message).
    for (int i = 0; i < 50 && IsWindow(g_probe.explorer); ++i) {
      LxPumpMessages();
      Sleep(20);
    }
    EXPECT_FALSE(IsWindow(g_probe.explorer));
  } else {
    EXPECT_TRUE(IsWindow(g_probe.explorer));
  }
}

TEST_F(ExplorerCloseTest, TheFrameStaysUnderEachModalToolOfTheSectorExplorer) {
  for (const ToolCase& c : kSectorTools) {
    SCOPED_TRACE(c.name);
    if (!g_frame) {
      TearDown();
      SetUp();
    }
    CSectorExplorerDlg* explorer = OpenSectorExplorer();
    ASSERT_NE(explorer, nullptr);
    if (c.realBox) explorer->SetDlgItemText(IDC_SE_NUMBER, "not a number");
    ::SetFocus(::GetDlgItem(explorer->m_hWnd, IDC_SE_MOVE));
    ASSERT_NO_FATAL_FAILURE(CloseUnderTool(explorer, c));
    DestroyExplorers(g_frame);
    DestroySectorTools();
    ExpectNoExplorerLeft();
    ExpectTheProgramEnds();
  }
}

// The import's loop pumps messages under its modal dialog: a close there is refused, the import
// writes every sector, and the frame closes afterwards; the same when the frame goes all the same.
std::string g_importFile;
int g_importSectors = 0;
VOID CALLBACK RunTheImport(HWND, UINT, UINT_PTR id, DWORD) {
  HWND dialog = OwnedWindow(g_probe.explorer);
  if (!dialog) return;
  KillTimer(nullptr, id);
  g_probe.toolSeen = true;
  ::SetDlgItemTextA(dialog, IDC_SX_FILE, g_importFile.c_str());
  ::SetDlgItemTextA(dialog, IDC_SX_FIRST, "0");
  ::SetDlgItemTextA(dialog, IDC_SX_NUMBER, std::to_string(g_importSectors).c_str());
  ::SendMessageA(dialog, WM_COMMAND, MAKEWPARAM(IDC_SX_RUN, BN_CLICKED), 0);
  if (g_probe.goesAllTheSame) {
    DestroyExplorers(g_frame);
    DestroySectorTools();
    g_probe.explorerKeptHidden = IsWindow(g_probe.explorer) && !IsWindowVisible(g_probe.explorer);
  }
  ::SendMessageA(dialog, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
}

TEST_F(ExplorerCloseTest, ClosingTheFrameDuringTheSectorImportWaitsForIt) {
  g_importSectors = 2000;
  g_importFile = g_folder + "\\import.bin";
  std::ofstream(g_importFile, std::ios::binary) << std::string(static_cast<size_t>(g_importSectors) * lx::kSectorSize, 'x');
  for (bool allTheSame : {false, true}) {
    SCOPED_TRACE(allTheSame ? "the frame going all the same" : "the close refused");
    if (!g_frame) {
      TearDown();
      SetUp();
    }
    CSectorExplorerDlg* explorer = OpenSectorExplorer();
    ASSERT_NE(explorer, nullptr);
    g_probe.goesAllTheSame = allTheSame;
    g_closeAtWrite = 100;
    SetTimer(nullptr, 0, 50, RunTheImport);
    explorer->SendMessage(WM_COMMAND, MAKEWPARAM(IDC_SE_IMPORT, BN_CLICKED), 0);
    ASSERT_TRUE(g_probe.toolSeen);
    ASSERT_GE(g_writesAtClose, 100) << "the close never came";
    EXPECT_LT(g_writesAtClose, g_importSectors);
    EXPECT_TRUE(g_probe.frameStayed);
    EXPECT_TRUE(g_probe.explorerStayed);
    EXPECT_TRUE(Told(kRefusal)) << testing::PrintToString(Prompts());
    EXPECT_EQ(g_writes, g_importSectors);
    EXPECT_TRUE(Told("Import finished.")) << testing::PrintToString(Prompts());
    if (allTheSame) {
      EXPECT_TRUE(g_probe.explorerKeptHidden);
    }
    DestroyExplorers(g_frame);
    DestroySectorTools();
    ExpectNoExplorerLeft();
    ExpectTheProgramEnds();
  }
}

// ---- the NOR explorer -------------------------------------------------------------------------------------
TEST_F(ExplorerCloseTest, TheFrameStaysUnderEachModalToolOfTheNorExplorer) {
  const ToolCase cases[] = {
      {"import", IDC_NE_IMPORT, false, false},
      {"import, the frame going all the same", IDC_NE_IMPORT, false, true},
      {"export", IDC_NE_EXPORT, false, false},
      {"export, the frame going all the same", IDC_NE_EXPORT, false, true},
      {"the edit sheet", IDC_NE_EDIT_DATA, false, false},
      {"the edit sheet, the frame going all the same", IDC_NE_EDIT_DATA, false, true},
      {"the geometry sheet", IDC_NE_GEOMETRY, false, false},
      {"the geometry sheet, the frame going all the same", IDC_NE_GEOMETRY, false, true},
      {"move to address", ID_LX_MOVE_TO_ADDRESS, false, false},
      {"move to address, the frame going all the same", ID_LX_MOVE_TO_ADDRESS, false, true},
      {"a message box", IDC_NE_IMPORT, true, false},  // import outside read mode
      {"a message box, the frame going all the same", IDC_NE_IMPORT, true, true},
  };
  for (const ToolCase& c : cases) {
    SCOPED_TRACE(c.name);
    if (!g_frame) {
      TearDown();
      SetUp();
    }
    CNorExplorerDlg* explorer = OpenNorExplorer();
    ASSERT_NE(explorer, nullptr);
    if (c.realBox) ::SendDlgItemMessageA(explorer->m_hWnd, IDC_NE_READ_MODE, CB_SETCURSEL, 1, 0);
    ASSERT_NO_FATAL_FAILURE(CloseUnderTool(explorer, c));
    DestroyExplorers(g_frame);
    ExpectNoExplorerLeft();
    ExpectTheProgramEnds();
  }
}

// ---- the NAND explorer on the fake device --------------------------------------------------------
TEST_F(ExplorerCloseTest, TheFrameStaysUnderEachModalToolOfTheNandExplorer) {
  const ToolCase cases[] = {
      {"import", IDC_VX_IMPORT, false, false},
      {"import, the frame going all the same", IDC_VX_IMPORT, false, true},
      {"export", IDC_VX_EXPORT, false, false},
      {"export, the frame going all the same", IDC_VX_EXPORT, false, true},
      {"the edit sheet", IDC_VX_EDIT_PAGE, false, false},
      {"the edit sheet, the frame going all the same", IDC_VX_EDIT_PAGE, false, true},
      {"a message box", IDC_VX_CHECK_ECC, true, false},  // no ECC module
      {"a message box, the frame going all the same", IDC_VX_CHECK_ECC, true, true},
  };
  for (const ToolCase& c : cases) {
    SCOPED_TRACE(c.name);
    if (!g_frame) {
      TearDown();
      SetUp();
    }
    CVeltanExplorerDlg* explorer = OpenVeltanExplorer();
    ASSERT_NE(explorer, nullptr);
    ASSERT_NO_FATAL_FAILURE(CloseUnderTool(explorer, c));
    DestroyExplorers(g_frame);
    ExpectNoExplorerLeft();
    ExpectTheProgramEnds();
  }
}

}  // namespace
