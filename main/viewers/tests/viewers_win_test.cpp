// The profiler and trace viewers as real windows under Wine and Xvfb, on the kit-like fixture
// module bound by name: counting calls, CSV export and import, and a bus-trace dump shown again.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "app_under_test.h"
#include "device_api.h"
#include "device_ops.h"
#include "lumivex/testkit.h"
#include "module_loader.h"
#include "test_support.h"
#include "viewers.h"

namespace {

CBrambApp g_app;

using lxtest::ReadFile;

void WriteFile(const std::string& path, const std::string& text) {
  std::ofstream out(path, std::ios::binary);
  out << text;
}

bool FileExists(const std::string& path) { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

constexpr int kTextInfoSlot = 7;  // gfslGetDeviceTextInfo: row 8 of the profiler

class ViewersTest : public ::testing::Test {
 protected:
  void SetUp() override {
    LxPromptTestBegin();
    CFileDialog::ClearTestAnswers();
    folder_ = MakeTempFolder("lxview");
    SetEnvironmentVariableA("LX_FIXTURE_KIT_FAIL", nullptr);
    module_ = binder_.LoadDeviceLibrary((ExeFolder() + "\\LxFixtureKit.dll").c_str());
    ASSERT_NE(module_, nullptr);
    binder_.LoadDeviceApi(module_);
    ASSERT_EQ(lx::DeviceOpen("/a"), 0);
  }
  void TearDown() override {
    DestroyProfilerDialog();
    lx::DeviceClose("/a");
    binder_.ResetDeviceApi();
    binder_.FreeDeviceLibrary(module_);
    CFileDialog::ClearTestAnswers();
    LxPromptTestEnd();
  }

  CFProfilerDlg* Profiler() {
    CFProfilerDlg* dialog = ToggleProfilerDialog(nullptr);
    EXPECT_NE(dialog, nullptr);
    LxPumpMessages();
    return dialog;
  }
  void Press(CWnd* dialog, int id) {
    dialog->SendMessage(WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), 0);
    LxPumpMessages();
  }
  void Refresh(CWnd* dialog) {
    dialog->SendMessage(WM_TIMER, 0, 0);
    LxPumpMessages();
  }

  CDeviceApiBinder binder_;
  HMODULE module_ = nullptr;
  std::string folder_;
};

TEST_F(ViewersTest, ProfilerShowsTheModulesEntriesAndCountsWhileRunning) {
  CFProfilerDlg* dialog = Profiler();
  CLxGrid& grid = dialog->Grid();
  ASSERT_EQ(grid.GetRows(), LX_PROFILER_ENTRY_COUNT + 1);
  EXPECT_EQ(grid.GetTextMatrix(0, 0), "Function name");
  EXPECT_EQ(grid.GetTextMatrix(0, 1), "Hit count");
  EXPECT_EQ(grid.GetTextMatrix(0, 2), "Accumulated count");
  EXPECT_EQ(grid.GetTextMatrix(1, 0), "FP_gfslInit");
  EXPECT_EQ(grid.GetTextMatrix(1, 1), "2");  // the open asked modes 0 and 3
  EXPECT_EQ(grid.GetColWidth(0), 4000);
  EXPECT_EQ(grid.GetColWidth(1), 2000);
  EXPECT_TRUE(dialog->IsWindowVisible());

  char text[512];
  for (int i = 0; i < 3; ++i) DeviceApiTable.gfslGetDeviceTextInfo("/a", text);
  Refresh(dialog);  // not running: the timer is not set, but a stray tick only refreshes
  EXPECT_EQ(grid.GetTextMatrix(kTextInfoSlot + 1, 1), "3");

  // Reset while not running leaves the grid until Begin.
  KillTimer(dialog->m_hWnd, 0);
  Press(dialog, IDC_LX_PROFILER_RESET);
  EXPECT_EQ(grid.GetTextMatrix(kTextInfoSlot + 1, 1), "3");
  Press(dialog, IDC_LX_PROFILER_BEGIN);
  EXPECT_TRUE(dialog->IsRunning());
  EXPECT_EQ(dialog->GetWindowTextString(), "Flash block device driver profiler");
  char caption[32];
  GetDlgItemTextA(dialog->m_hWnd, IDC_LX_PROFILER_BEGIN, caption, sizeof caption);
  EXPECT_STREQ(caption, "End");
  Refresh(dialog);
  EXPECT_EQ(grid.GetTextMatrix(kTextInfoSlot + 1, 1), "0");
  EXPECT_EQ(grid.GetTextMatrix(kTextInfoSlot + 1, 2), "3");  // accumulated goes on

  // A count past 32 bits shows its low 32 bits, every refresh.
  DeviceApiTable.fpSetFunctionProfiler(kTextInfoSlot, 0x100000005ull, 0x100000009ull);
  Refresh(dialog);
  EXPECT_EQ(grid.GetTextMatrix(kTextInfoSlot + 1, 1), "5");
  EXPECT_EQ(grid.GetTextMatrix(kTextInfoSlot + 1, 2), "9");
  LxSaveWindowShot(dialog->m_hWnd, "profiler");

  Press(dialog, IDC_LX_PROFILER_BEGIN);
  EXPECT_FALSE(dialog->IsRunning());
  GetDlgItemTextA(dialog->m_hWnd, IDC_LX_PROFILER_BEGIN, caption, sizeof caption);
  EXPECT_STREQ(caption, "Begin");

  // Without a module the running profiler stops rather than asking stubs five times a second.
  Press(dialog, IDC_LX_PROFILER_BEGIN);
  ASSERT_TRUE(dialog->IsRunning());
  binder_.ResetDeviceApi();
  Refresh(dialog);
  EXPECT_FALSE(dialog->IsRunning());
  EXPECT_EQ(LxPromptRecordCount(), 0);
  binder_.LoadDeviceApi(module_);

  // The command toggles the one window.
  EXPECT_EQ(ToggleProfilerDialog(nullptr), dialog);
  EXPECT_FALSE(dialog->IsWindowVisible());
  EXPECT_EQ(ToggleProfilerDialog(nullptr), dialog);
  EXPECT_TRUE(dialog->IsWindowVisible());
}

TEST_F(ViewersTest, ProfilerCsvExportAndImportRoundTripIn64Bits) {
  CFProfilerDlg* dialog = Profiler();
  DeviceApiTable.fpSetFunctionProfiler(3, 0x123456789ull, 0x7FFFFFFFFFFFFFF0ull);
  DeviceApiTable.fpSetFunctionProfiler(65, 42, 43);
  const std::string csv = folder_ + "\\counts.csv";
  CFileDialog::QueueTestAnswer(csv.c_str());
  Press(dialog, IDC_LX_PROFILER_EXPORT);
  std::string text = ReadFile(csv);
  EXPECT_EQ(text.rfind("Function name,Hit count,Accumulated count\r\nFP_gfslInit,2,2\r\n", 0), 0u);
  EXPECT_NE(text.find("\r\nFP_gfslMount,4886718345,9223372036854775792\r\n"), std::string::npos);
  EXPECT_NE(text.find("\r\nFP_gfslSetLatestSectorInfo,42,43\r\n"), std::string::npos);

  std::vector<uint64_t> counts, accumulated;
  for (int i = 0; i < LX_PROFILER_ENTRY_COUNT; ++i) {
    counts.push_back(DeviceApiTable.fpGetFunctionProfilerCount(i));
    accumulated.push_back(DeviceApiTable.fpGetFunctionProfilerAccumulated(i));
    DeviceApiTable.fpSetFunctionProfiler(i, 7, 7);
  }
  CFileDialog::QueueTestAnswer(csv.c_str());
  Press(dialog, IDC_LX_PROFILER_IMPORT);
  for (int i = 0; i < LX_PROFILER_ENTRY_COUNT; ++i) {
    EXPECT_EQ(DeviceApiTable.fpGetFunctionProfilerCount(i), counts[i]) << i;
    EXPECT_EQ(DeviceApiTable.fpGetFunctionProfilerAccumulated(i), accumulated[i]) << i;
  }
  EXPECT_EQ(dialog->Grid().GetTextMatrix(4, 1), "591751049");  // low 32 bits of 0x123456789
  EXPECT_EQ(dialog->Grid().GetTextMatrix(66, 2), "43");
  EXPECT_EQ(LxPromptRecordCount(), 0);
}

TEST_F(ViewersTest, ProfilerImportReadsOnlyTheFirst40960BytesAndIgnoresBadFiles) {
  CFProfilerDlg* dialog = Profiler();
  const std::string csv = folder_ + "\\long.csv";
  std::string text = "FP_gfslMount,11,12\n";
  text += std::string(40960 - text.size() - 20, ' ');
  text += "\nFP_gfslUnmount,13,14\nFP_gfslFormat,15,16\n";  // straddles the limit, then beyond it
  WriteFile(csv, text);
  CFileDialog::QueueTestAnswer(csv.c_str());
  Press(dialog, IDC_LX_PROFILER_IMPORT);
  EXPECT_EQ(DeviceApiTable.fpGetFunctionProfilerCount(3), 11u);
  EXPECT_EQ(DeviceApiTable.fpGetFunctionProfilerCount(4), 13u);  // "...,14" is cut to "1"
  EXPECT_EQ(DeviceApiTable.fpGetFunctionProfilerAccumulated(4), 1u);
  EXPECT_EQ(DeviceApiTable.fpGetFunctionProfilerCount(5), 0u);

  // Missing and empty files, and Cancel, change nothing and say nothing.
  WriteFile(folder_ + "\\empty.csv", "");
  for (const char* answer : {"\\missing.csv", "\\empty.csv"}) {
    CFileDialog::QueueTestAnswer((folder_ + answer).c_str());
    Press(dialog, IDC_LX_PROFILER_IMPORT);
  }
  CFileDialog::QueueTestAnswer(nullptr);
  Press(dialog, IDC_LX_PROFILER_IMPORT);
  CFileDialog::QueueTestAnswer((folder_ + "\\no folder\\x.csv").c_str());
  Press(dialog, IDC_LX_PROFILER_EXPORT);
  EXPECT_EQ(DeviceApiTable.fpGetFunctionProfilerCount(3), 11u);
  EXPECT_EQ(LxPromptRecordCount(), 0);
}

TEST_F(ViewersTest, ProfilerKeepsItsWidthGrowsItsGridAndWheelsByFour) {
  CFProfilerDlg* dialog = Profiler();
  RECT before, gridBefore, okBefore;
  GetWindowRect(dialog->m_hWnd, &before);
  GetWindowRect(dialog->Grid().GetSafeHwnd(), &gridBefore);
  GetWindowRect(GetDlgItem(dialog->m_hWnd, IDOK), &okBefore);
  SetWindowPos(dialog->m_hWnd, nullptr, 0, 0, (before.right - before.left) + 200, (before.bottom - before.top) + 100,
               SWP_NOMOVE | SWP_NOZORDER);
  LxPumpMessages();
  RECT after, gridAfter, okAfter;
  GetWindowRect(dialog->m_hWnd, &after);
  GetWindowRect(dialog->Grid().GetSafeHwnd(), &gridAfter);
  GetWindowRect(GetDlgItem(dialog->m_hWnd, IDOK), &okAfter);
  EXPECT_EQ(after.right - after.left, before.right - before.left);
  EXPECT_EQ(after.bottom - after.top, before.bottom - before.top + 100);
  EXPECT_EQ(gridAfter.bottom - gridAfter.top, gridBefore.bottom - gridBefore.top + 100);
  EXPECT_EQ(okAfter.top - after.top, okBefore.top - before.top + 100);  // the buttons stay at the bottom
  EXPECT_EQ(okAfter.left - after.left, okBefore.left - before.left);

  dialog->SendMessage(WM_MOUSEWHEEL, MAKEWPARAM(0, static_cast<WORD>(-WHEEL_DELTA)), 0);
  EXPECT_EQ(dialog->Grid().GetTopRow(), 5);
  dialog->SendMessage(WM_MOUSEWHEEL, MAKEWPARAM(0, WHEEL_DELTA), 0);
  dialog->SendMessage(WM_MOUSEWHEEL, MAKEWPARAM(0, WHEEL_DELTA), 0);
  EXPECT_EQ(dialog->Grid().GetTopRow(), 1);
  LxSaveWindowShot(dialog->m_hWnd, "profiler_taller");
}

// The trace viewer, shown modally by its command, is closed by a timer once it is on screen; the
// test then confirms that the timer found it, so that its checks cannot be skipped unseen.
bool g_traceViewerChecked = false;
VOID CALLBACK CloseTraceViewer(HWND, UINT, UINT_PTR id, DWORD) {
  HWND window = FindWindowA("#32770", "Debug Information Viewer");
  if (!window || !IsWindowVisible(window)) return;
  KillTimer(nullptr, id);
  g_traceViewerChecked = true;
  auto* dialog = static_cast<CDebugInfoDlg*>(CWnd::FromHandlePermanent(window));
  CLxGrid& grid = dialog->Grid();
  EXPECT_EQ(grid.GetRows(), 50001);
  EXPECT_EQ(grid.GetTextMatrix(0, 1), "operation");
  EXPECT_EQ(grid.GetTextMatrix(1, 1), "TR_OP_WRITE_IN");
  EXPECT_EQ(grid.GetTextMatrix(1, 2), "0x80000000");
  EXPECT_EQ(grid.GetColWidth(1), 3000);
  EXPECT_EQ(grid.GetColWidth(4), 1600);
  LxSaveWindowShot(window, "trace_viewer");
  SendMessageA(window, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
}

TEST_F(ViewersTest, TraceDumpOfTheKitIsShownByTheViewer) {
  const std::string dump = folder_ + "\\trace.bin";
  CFileDialog::QueueTestAnswer(dump.c_str());
  DumpDebugInformation(nullptr);
  ASSERT_EQ(LxPromptRecordCount(), 1);
  EXPECT_STREQ(LxPromptRecordText(0), "Dump finished");
  std::string bytes = ReadFile(dump);
  ASSERT_EQ(bytes.size(), 1200000u);

  // The records as the viewer shows them, in storage order.
  std::vector<uint8_t> records(bytes.begin(), bytes.end());
  LxGridRegisterClass();
  CDebugInfoDlg viewer(records.data());
  ASSERT_TRUE(viewer.Create(IDD_LX_TRACE_VIEWER, nullptr));
  CLxGrid& grid = viewer.Grid();
  const char* operations[] = {"TR_OP_WRITE_IN",        "TR_OP_WRITE_OUT",        "TR_OP_WRITE_IN",
                              "TR_OP_WRITE_OUT",       "TR_OP_WRITE_IN",         "TR_OP_WRITE_OUT",
                              "TR_OP_READ_IN",         "TR_OP_READ_OUT",         "TR_OP_READ_BLOCK_IN",
                              "TR_OP_READ_BLOCK_OUT",  "TR_OP_WRITE_HWPOLL_IN",  "TR_OP_WRITE_HWPOLL_OUT",
                              "TR_OP_WRITE_HWSTATUS_IN", "TR_OP_WRITE_HWSTATUS_OUT", "unknown",
                              "unknown",               "unknown"};
  for (int r = 0; r < 17; ++r) EXPECT_EQ(grid.GetTextMatrix(r + 1, 1), operations[r]) << r;
  EXPECT_EQ(grid.GetTextMatrix(1, 0), "0x00000000");
  EXPECT_EQ(grid.GetTextMatrix(2, 0), "0x00000001");
  EXPECT_EQ(grid.GetTextMatrix(1, 3), "0x00000555");
  EXPECT_EQ(grid.GetTextMatrix(1, 4), "0x80000AAA");
  EXPECT_EQ(grid.GetTextMatrix(1, 5), "0x000000AA");
  EXPECT_EQ(grid.GetTextMatrix(50000, 1), "unknown");  // never written: zeros
  EXPECT_EQ(grid.GetColAlignment(0), lx::kGridAlignRightCenter);

  // Scrolling makes the top row current; the wheel moves four rows from the current one.
  grid.SetTopRow(100);
  LxPumpMessages();
  EXPECT_EQ(grid.GetRow(), 100);
  viewer.SendMessage(WM_MOUSEWHEEL, MAKEWPARAM(0, static_cast<WORD>(-WHEEL_DELTA)), 0);
  EXPECT_EQ(grid.GetTopRow(), 104);
  grid.SetTopRow(2);
  LxPumpMessages();
  viewer.SendMessage(WM_MOUSEWHEEL, MAKEWPARAM(0, WHEEL_DELTA), 0);
  EXPECT_EQ(grid.GetTopRow(), 1);
  viewer.DestroyWindow();

  // The command: open the dump, show it modally, free it.
  CFileDialog::QueueTestAnswer(dump.c_str());
  g_traceViewerChecked = false;
  UINT_PTR timer = SetTimer(nullptr, 0, 50, CloseTraceViewer);
  ShowDebugInformationViewer(nullptr);
  KillTimer(nullptr, timer);
  EXPECT_TRUE(g_traceViewerChecked) << "the viewer was never on screen for the timer to check and close";

  CFileDialog::QueueTestAnswer((folder_ + "\\nothing.bin").c_str());
  ShowDebugInformationViewer(nullptr);
  EXPECT_STREQ(LxPromptRecordText(LxPromptRecordCount() - 1), "Failed to open a debug information file");
}

TEST_F(ViewersTest, DumpRefusesAModuleWithoutAReadableTrace) {
  // The kit answers mode 19 with -1 when its trace map fails; the fixture reads that at the open.
  SetEnvironmentVariableA("LX_FIXTURE_KIT_FAIL", "TraceMap");
  lx::DeviceClose("/a");
  ASSERT_EQ(lx::DeviceOpen("/a"), 0);
  const std::string dump = folder_ + "\\bad.bin";
  CFileDialog::QueueTestAnswer(dump.c_str());
  DumpDebugInformation(nullptr);
  EXPECT_STREQ(LxPromptRecordText(0), "Failed to dump debug information");
  EXPECT_FALSE(FileExists(dump));  // no file was asked for or written

  // A closed kit has no trace buffer (mode 19 answers 0).
  SetEnvironmentVariableA("LX_FIXTURE_KIT_FAIL", nullptr);
  lx::DeviceClose("/a");
  DumpDebugInformation(nullptr);
  EXPECT_STREQ(LxPromptRecordText(1), "Failed to dump debug information");
  EXPECT_EQ(LxPromptRecordCount(), 2);
}

TEST(TraceBuffer, ReadableOnlyWhenEveryPageIsCommittedAndReadable) {
  std::vector<uint8_t> heap(1200000);
  EXPECT_TRUE(TraceBufferReadable(heap.data(), heap.size()));
  EXPECT_FALSE(TraceBufferReadable(nullptr, 24));
  EXPECT_FALSE(TraceBufferReadable(reinterpret_cast<void*>(uintptr_t(0xFFFFFFFF)), 1200000));

  SYSTEM_INFO info;
  GetSystemInfo(&info);
  const size_t page = info.dwPageSize;
  auto* block = static_cast<uint8_t*>(VirtualAlloc(nullptr, 4 * page, MEM_RESERVE, PAGE_NOACCESS));
  ASSERT_NE(block, nullptr);
  ASSERT_NE(VirtualAlloc(block, 2 * page, MEM_COMMIT, PAGE_READWRITE), nullptr);
  EXPECT_TRUE(TraceBufferReadable(block, 2 * page));
  EXPECT_FALSE(TraceBufferReadable(block, 2 * page + 1));  // runs into reserved memory
  DWORD old;
  ASSERT_TRUE(VirtualProtect(block + page, page, PAGE_NOACCESS, &old));
  EXPECT_FALSE(TraceBufferReadable(block, 2 * page));
  EXPECT_TRUE(TraceBufferReadable(block, page));
  VirtualFree(block, 0, MEM_RELEASE);
}

}  // namespace
