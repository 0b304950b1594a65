// The NAND explorer as real windows under Wine and Xvfb on the small fake device: pages stepped,
// edited and written back (x8 and x16, both spare sizes), the block table from the device, its
// file saved and loaded, a block that goes bad during a program, find, import and export, and
// ECC programming and checks with the test ECC module.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "app_under_test.h"
#include "device_api.h"
#include "device_ops.h"
#include "fake_nand.h"
#include "lumivex/prompt.h"
#include "lumivex/testkit.h"
#include "module_loader.h"
#include "test_support.h"
#include "veltan_dialogs.h"
#include "veltan_explorer.h"
#include "veltan_win_support.h"

namespace {

using lxtest::ReadFile;

CBrambApp g_app;

class VeltanWindows : public ::testing::Test {
 protected:
  void SetUp() override {
    LxPromptTestBegin();
    lx::ResetDeviceApiCells();
    userArea_ = MakeTempFolder("lx_veltan_");
    CreateDirectoryA((userArea_ + "\\User Data").c_str(), nullptr);
    g_app.m_InstallFolder = "C:\\Lumivex";
    g_app.m_UserAreaFolder = userArea_.c_str();
    g_app.m_Options.ConfirmOperations = 0;
  }
  void TearDown() override {
    DestroyVeltanExplorer();
    SetVeltanEccModuleSource(nullptr);
    CFileDialog::ClearTestAnswers();
    lx::ResetDeviceApiCells();
    LxPromptTestEnd();
  }
  // The explorer on the fake device; the answers go to the block table's questions.
  CVeltanExplorerDlg* Open(std::initializer_list<int> answers) {
    nand_.Install();
    return Reopen(answers);
  }
  CVeltanExplorerDlg* Reopen(std::initializer_list<int> answers) {
    DestroyVeltanExplorer();
    for (int answer : answers) LxPromptQueueAnswer(answer);
    lx::FrameDevice().VeltanSpareSize = nand_.spare;
    ToggleVeltanExplorer(nullptr);
    CVeltanExplorerDlg* explorer = GetVeltanExplorer();
    if (explorer) LxPumpMessages();
    return explorer;
  }
  std::string UserData() const { return userArea_ + "\\User Data\\"; }
  FakeNand nand_;
  std::string userArea_;
};

TEST_F(VeltanWindows, PagesSteppedEditedAndWrittenBack) {
  const struct {
    uint32_t spare;
    const char* text;
    long cols;
    const char* shot;
  } cases[] = {{64, "[JEDEC ID:0001F1] x8", 18, "veltan_explorer_x8_64"},
               {128, "[JEDEC ID:0001B1] x16", 10, "veltan_explorer_x16_128"},
               {64, "[JEDEC ID:0001C1] x16", 10, nullptr},
               {128, "no ID, bytes", 18, nullptr}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    nand_.spare = c.spare;
    nand_.text = c.text;
    nand_.Install();
    for (uint32_t p = 8; p < 16; ++p) nand_.FillPattern(p);
    const std::vector<uint8_t> neighbour(nand_.Page(12), nand_.Page(12) + nand_.PageBytes());
    CVeltanExplorerDlg* explorer = Reopen({IDNO, IDNO});
    ASSERT_NE(explorer, nullptr);
    EXPECT_EQ(explorer->GetWindowTextString(), "Device Explorer: page#0/127");
    EXPECT_EQ(explorer->m_Grid.GetRows(), static_cast<long>(c.spare / 16 + 129));
    EXPECT_EQ(explorer->m_Grid.GetCols(), c.cols);
    // Page Up on page 0 stays there; End goes to the last page, Page Down stays on it.
    MSG key = {explorer->m_hWnd, WM_KEYDOWN, VK_PRIOR, 0, 0, {0, 0}};
    EXPECT_TRUE(explorer->PreTranslateMessage(&key));
    EXPECT_EQ(explorer->m_CurrentPage, 0u);
    key.wParam = VK_END;
    explorer->PreTranslateMessage(&key);
    key.wParam = VK_NEXT;
    explorer->PreTranslateMessage(&key);
    EXPECT_EQ(explorer->GetWindowTextString(), "Device Explorer: page#127/127");
    explorer->SetDlgItemText(IDC_VX_PAGE, "10");
    explorer->GoToPage();
    explorer->ShowPreviousPage();
    explorer->ShowNextPage();
    ASSERT_EQ(explorer->m_CurrentPage, 10u);
    const bool words = c.cols == 10;
    EXPECT_EQ(explorer->m_Grid.GetTextMatrix(1, 1), lx::VeltanCellText(nand_.Page(10), 1, 1, words ? 16 : 8));
    EXPECT_EQ(explorer->m_Grid.GetTextMatrix(2, 0), words ? "0x008" : "0x010");
    // A data cell and a spare cell edited; nothing reaches the device before the program.
    ASSERT_TRUE(TypeIntoCell(explorer, 1, 2, words ? "12AB" : "5A"));
    ASSERT_TRUE(TypeIntoCell(explorer, 130, 1, words ? "0042" : "42"));
    EXPECT_NE(nand_.Page(10)[words ? 2 : 1], 0xAB);
    LxPumpMessages();
    if (c.shot) {
      ASSERT_TRUE(LxSaveWindowShot(explorer->m_hWnd, c.shot));
    }
    explorer->OnProgramPage();
    EXPECT_TRUE(Told("Program finished.")) << testing::PrintToString(Prompts());
    // The model holds both edits.
    if (words) {
      EXPECT_EQ(nand_.Page(10)[2], 0xAB);
      EXPECT_EQ(nand_.Page(10)[3], 0x12);
      EXPECT_EQ(nand_.Page(10)[2048 + 16], 0x42);
      EXPECT_EQ(nand_.Page(10)[2048 + 17], 0x00);
    } else {
      EXPECT_EQ(nand_.Page(10)[1], 0x5A);
      EXPECT_EQ(nand_.Page(10)[2048 + 16], 0x42);
    }
    EXPECT_EQ(std::vector<uint8_t>(nand_.Page(12), nand_.Page(12) + nand_.PageBytes()), neighbour);
    EXPECT_EQ(nand_.erases, std::vector<uint32_t>{1});
    LxPromptTestBegin();
  }
}

// The edit sheet's hook gets the explorer, the sheet page and the caption of each button, and
// the page is read anew after it; auto update rereads the page on its timer; the wheel moves
// the top row by four rows a notch; the width stays, the height follows the user.
struct SheetCall {
  int page;
  std::string caption;
};
std::vector<SheetCall> g_sheetCalls;

TEST_F(VeltanWindows, EditSheetHookAutoUpdateWheelAndSize) {
  CVeltanExplorerDlg* explorer = Open({IDNO, IDNO});
  ASSERT_NE(explorer, nullptr);
  explorer->OnEditPage();
  EXPECT_EQ(LastPromptText(), "The Veltan edit sheet is not available in this build.");
  g_sheetCalls.clear();
  SetVeltanEditSheetOpener([](CVeltanExplorerDlg* e, int page, const char* caption) {
    g_sheetCalls.push_back({page, caption});
    e->m_pBlockTable->m_NoPrompt = 1;  // the sheet works with the explorer's own table
  });
  explorer->GoToPage(5);
  nand_.Page(5)[0] = 0x12;  // changed behind the explorer's back
  for (int id : {IDC_VX_EDIT_PAGE, IDC_VX_PARTIAL_PROGRAM, IDC_VX_PROGRAM_PAGES, IDC_VX_COPY_PAGE, IDC_VX_ERASE_BLOCK,
                 IDC_VX_VERIFY})
    explorer->SendMessage(WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), 0);
  SetVeltanEditSheetOpener(nullptr);
  ASSERT_EQ(g_sheetCalls.size(), 6u);
  EXPECT_EQ(g_sheetCalls[0].caption, "Edit Veltan");
  EXPECT_EQ(g_sheetCalls[0].page, 0);
  for (int n = 1; n <= 5; ++n) {
    EXPECT_EQ(g_sheetCalls[static_cast<size_t>(n)].page, n);
    EXPECT_EQ(g_sheetCalls[static_cast<size_t>(n)].caption, "Edit Data");
  }
  EXPECT_EQ(explorer->m_pBlockTable->m_NoPrompt, 1);
  EXPECT_EQ(explorer->m_Grid.GetTextMatrix(1, 1), "12");

  nand_.Page(5)[0] = 0x02;
  explorer->OnAutoUpdateChange(1);
  for (DWORD start = GetTickCount(); GetTickCount() - start < 3000 && explorer->m_Grid.GetTextMatrix(1, 1) != "02";)
    LxPumpMessages();
  EXPECT_EQ(explorer->m_Grid.GetTextMatrix(1, 1), "02");
  explorer->OnAutoUpdateChange(0);

  explorer->SendMessage(WM_MOUSEWHEEL, MAKEWPARAM(0, static_cast<WORD>(-2 * WHEEL_DELTA)), 0);
  const long down = explorer->m_Grid.GetTopRow();
  EXPECT_GT(down, 1);
  explorer->SendMessage(WM_MOUSEWHEEL, MAKEWPARAM(0, static_cast<WORD>(WHEEL_DELTA)), 0);
  EXPECT_LT(explorer->m_Grid.GetTopRow(), down);

  RECT before, grid, after, gridAfter;
  ::GetWindowRect(explorer->m_hWnd, &before);
  ::GetWindowRect(explorer->m_Grid.GetSafeHwnd(), &grid);
  ::SetWindowPos(explorer->m_hWnd, nullptr, 0, 0, before.right - before.left + 200, before.bottom - before.top - 100,
                 SWP_NOMOVE | SWP_NOZORDER);
  ::GetWindowRect(explorer->m_hWnd, &after);
  ::GetWindowRect(explorer->m_Grid.GetSafeHwnd(), &gridAfter);
  EXPECT_EQ(after.right - after.left, before.right - before.left);
  EXPECT_EQ(gridAfter.bottom - gridAfter.top, grid.bottom - grid.top - 100);
  // Close: the explorer goes, its timer with it.
  explorer->OnAutoUpdateChange(2);
  explorer->SendMessage(WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
  EXPECT_EQ(GetVeltanExplorer(), nullptr);
}

TEST_F(VeltanWindows, ProgramIsRefusedOutsideTheReadModeAndAfterAFailedRead) {
  CVeltanExplorerDlg* explorer = Open({IDNO, IDNO});
  ASSERT_NE(explorer, nullptr);
  explorer->OnReadModeChange(1);
  EXPECT_EQ(explorer->m_PageBuffer[1], 'N');  // the parameter page is shown
  LxPromptTestBegin();
  explorer->OnProgramPage();
  explorer->OnProgramEcc();
  EXPECT_TRUE(nand_.erases.empty());
  EXPECT_TRUE(nand_.programs.empty());
  EXPECT_EQ(LxPromptRecordCount(), 2);
  EXPECT_EQ(std::string(LxPromptRecordText(0)).substr(0, 46), "Programming is refused in the ONFI modes: the ");
  explorer->OnReadModeChange(0);
  // Page 1 read, then page 0 fails: none of page 1's bytes stay in the grid under page 0's number.
  explorer->GoToPage(1);
  ASSERT_FALSE(explorer->m_Grid.GetTextMatrix(1, 1).empty());
  nand_.failReadPage = 0;
  explorer->GoToPage(0);
  EXPECT_EQ(explorer->GetWindowTextString(), "Device Explorer: page#0/127 - READ ERROR");
  for (long r : {1L, 64L, 128L, 129L})
    for (long c : {1L, 16L, 17L}) EXPECT_TRUE(explorer->m_Grid.GetTextMatrix(r, c).empty()) << r << "," << c;
  explorer->OnProgramPage();
  EXPECT_EQ(LastPromptText(), "The shown page could not be read; there is nothing to program.");
  EXPECT_TRUE(nand_.erases.empty());
}

TEST_F(VeltanWindows, BlockTableSavedAndLoadedAndAGrownBadBlock) {
  nand_.Install();
  nand_.SetFactoryBad(2);
  nand_.SetFactoryBad(9, 0xF0);
  // Saved from the device's markers; bad blocks are reported without a prompt.
  CVeltanExplorerDlg* explorer = Reopen({IDYES, IDYES});
  ASSERT_NE(explorer, nullptr);
  EXPECT_EQ(Prompts()[0], "Found 2 bad block(s).\nDo you want to create a new bad block table file?");
  EXPECT_TRUE(Told("Bad block table file is created."));
  std::string file = ReadFile(UserData() + "__bbt__.txt");
  ASSERT_EQ(file.size(), 16u * 9);
  EXPECT_EQ(file.substr(18, 9), "0002:00\r\n");
  EXPECT_EQ(file.substr(81, 9), "0009:f0\r\n");
  EXPECT_EQ(explorer->m_pBlockTable->m_NoPrompt, 1);
  // The file edited (block 5 bad too) and loaded in place of the markers.
  file.replace(45 + 5, 2, "00");
  std::ofstream(UserData() + "edited.txt", std::ios::binary) << file;
  CFileDialog::QueueTestAnswer((UserData() + "edited.txt").c_str());
  explorer = Reopen({IDNO, IDYES, IDNO});
  ASSERT_NE(explorer, nullptr);
  EXPECT_TRUE(explorer->m_pBlockTable->IsBad(5));
  EXPECT_TRUE(explorer->m_pBlockTable->IsBad(2));
  EXPECT_EQ(explorer->m_pBlockTable->m_BlockStatus[9], 1);
  // A file that cannot be read keeps the device's markers and says so.
  CFileDialog::QueueTestAnswer((UserData() + "missing.txt").c_str());
  LxPromptTestBegin();
  explorer = Reopen({IDNO, IDYES, IDNO});
  EXPECT_TRUE(Told("The bad block markers read from the device are kept."));
  EXPECT_FALSE(explorer->m_pBlockTable->IsBad(5));
  EXPECT_TRUE(explorer->m_pBlockTable->IsBad(2));
  // Block 6 goes bad while the page is written back.
  nand_.grown.insert(6);
  explorer->GoToPage(50);
  explorer->m_PageBuffer[0] = 0x00;
  LxPromptTestBegin();
  explorer->OnProgramPage();
  EXPECT_TRUE(explorer->m_pBlockTable->IsBad(6));
  EXPECT_EQ(Prompts(), std::vector<std::string>{"Error: Erase failed at block #6.\nThe block is marked as a bad block.\n"
                                                "Its pages, with your edit, are kept in " + UserData() + "__block_6__.bin."});
  EXPECT_EQ(explorer->m_PageBuffer[0], 0x00);  // the edit stays in the explorer
  explorer->OnProgramPage();
  EXPECT_EQ(LastPromptText(), "Bad block notification: block #6 is a bad block");
}

TEST_F(VeltanWindows, FindShowsTheMatchAcrossPages) {
  CVeltanExplorerDlg* explorer = Open({IDNO, IDNO});
  ASSERT_NE(explorer, nullptr);
  std::memcpy(nand_.Page(127) + 2100, "\xAA\x50\x0A", 3);
  std::memcpy(nand_.Page(40) + 2110, "\xAA\x50", 2);
  std::memcpy(nand_.Page(41), "\x0A", 1);
  explorer->GoToPage(3);
  explorer->OnFind();
  CVeltanFindDlg* find = explorer->m_pFindDlg;
  ASSERT_NE(find, nullptr);
  EXPECT_TRUE(find->IsWindowVisible());
  EXPECT_EQ(find->m_LastPage, 127);
  find->SetDlgItemText(IDC_VF_PATTERN, "aa 5 0a");
  find->CheckRadioButton(IDC_VF_ASCII, IDC_VF_HEX, IDC_VF_HEX);
  find->CheckRadioButton(IDC_VF_CURRENT, IDC_VF_FROM, IDC_VF_FROM);
  find->OnFindNext();
  EXPECT_EQ(explorer->m_CurrentPage, 40u);
  // The match's label row (offset 2110 of 16-byte rows) is marked and scrolled into view.
  const long top = explorer->m_Grid.GetTopRow();
  EXPECT_GT(top, 100);
  EXPECT_LE(top, 132);
  explorer->m_Grid.SetCol(0);
  explorer->m_Grid.SetRow(132);
  const COLORREF marked = explorer->m_Grid.GetCellBackColor();
  explorer->m_Grid.SetRow(131);
  EXPECT_NE(explorer->m_Grid.GetCellBackColor(), marked);
  EXPECT_NE(marked, explorer->m_Grid.GetBackColorFixed());
  LxPumpMessages();
  ASSERT_TRUE(LxSaveWindowShot(explorer->m_hWnd, "veltan_explorer_found"));
  ASSERT_TRUE(LxSaveWindowShot(find->m_hWnd, "veltan_find"));
  find->OnFindNext();
  EXPECT_EQ(explorer->m_CurrentPage, 127u);
  find->OnFindNext();
  EXPECT_EQ(LastPromptText(), "String not found.");
  find->SetDlgItemText(IDC_VF_PATTERN, "a x");
  find->OnFindNext();
  EXPECT_EQ(LastPromptText(), "The hexadecimal string holds a character that is no hexadecimal digit.");
  explorer->OnFind();
  EXPECT_FALSE(find->IsWindowVisible());
}

// Stop ends a search of the range; the explorer closed while its find window searches the range
// stops the search, and both windows go.
TEST_F(VeltanWindows, StopAndClosingTheExplorerEndTheSearch) {
  CVeltanExplorerDlg* explorer = Open({IDNO, IDNO});
  ASSERT_NE(explorer, nullptr);
  explorer->OnFind();
  CVeltanFindDlg* find = explorer->m_pFindDlg;
  ASSERT_NE(find, nullptr);
  HWND findWindow = find->m_hWnd;
  find->SetDlgItemText(IDC_VF_PATTERN, "nowhere on the device");
  find->CheckRadioButton(IDC_VF_CURRENT, IDC_VF_FROM, IDC_VF_FROM);
  // Stop, seen at the next page.
  const int before = LxPromptRecordCount();
  find->PostMessage(WM_COMMAND, MAKEWPARAM(IDC_VF_STOP, BN_CLICKED), 0);
  find->OnFindNext();
  EXPECT_EQ(LxPromptRecordCount(), before);
  EXPECT_LT(find->m_Search.page, 5u);
  EXPECT_TRUE(::IsWindowEnabled(::GetDlgItem(find->m_hWnd, IDC_VF_FIND_NEXT)));
  EXPECT_FALSE(::IsWindowEnabled(::GetDlgItem(find->m_hWnd, IDC_VF_STOP)));
  explorer->PostMessage(WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
  find->OnFindNext();
  EXPECT_EQ(GetVeltanExplorer(), nullptr);
  EXPECT_FALSE(IsWindow(findWindow));
  EXPECT_FALSE(Told("String not found."));
}

// The first visible top-level window of this thread in the z-order.
HWND TopOwnWindow() {
  for (HWND w = GetTopWindow(nullptr); w; w = GetWindow(w, GW_HWNDNEXT))
    if (GetWindowThreadProcessId(w, nullptr) == GetCurrentThreadId() && IsWindowVisible(w)) return w;
  return nullptr;
}

// Enter in the pattern field presses "Find next"; the "Close" button closes the window, brings the
// explorer to the top and searches nothing.
TEST_F(VeltanWindows, EnterFindsNextAndTheCloseButtonCloses) {
  CVeltanExplorerDlg* explorer = Open({IDNO, IDNO});
  ASSERT_NE(explorer, nullptr);
  explorer->OnFind();
  CVeltanFindDlg* find = explorer->m_pFindDlg;
  ASSERT_NE(find, nullptr);
  find->SetDlgItemText(IDC_VF_PATTERN, "nowhere on the page");
  HWND pattern = ::GetDlgItem(find->m_hWnd, IDC_VF_PATTERN);
  ::SetFocus(pattern);
  MSG enter = {};
  enter.hwnd = pattern;
  enter.message = WM_KEYDOWN;
  enter.wParam = VK_RETURN;
  enter.lParam = 0x001C0001;
  EXPECT_TRUE(find->PreTranslateMessage(&enter));  // what the program's message loop does first
  EXPECT_EQ(LastPromptText(), "String not found.");
  EXPECT_TRUE(find->IsWindowVisible());

  const int before = LxPromptRecordCount();
  ::SetWindowPos(find->m_hWnd, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
  ASSERT_EQ(TopOwnWindow(), find->m_hWnd);
  ::SendMessageA(::GetDlgItem(find->m_hWnd, IDOK), BM_CLICK, 0, 0);
  EXPECT_FALSE(find->IsWindowVisible());
  EXPECT_EQ(LxPromptRecordCount(), before) << LastPromptText();
  EXPECT_EQ(TopOwnWindow(), explorer->m_hWnd);
  EXPECT_FALSE(find->m_bRunning);
}

TEST_F(VeltanWindows, ImportAndExportDialogs) {
  CVeltanExplorerDlg* explorer = Open({IDNO, IDNO});
  ASSERT_NE(explorer, nullptr);
  for (uint32_t p = 20; p < 23; ++p) nand_.FillPattern(p);
  const std::string out = UserData() + "three.bin";
  CVeltanExportDlg exporter(20, 64, explorer);
  ASSERT_TRUE(exporter.Create(IDD_VX_EXPORT, explorer));
  exporter.ShowWindow(SW_SHOW);
  CFileDialog::QueueTestAnswer(out.c_str());
  exporter.OnBrowse();
  exporter.SetDlgItemText(IDC_VT_COUNT, "3");
  exporter.CheckDlgButton(IDC_VT_SPARE, BST_UNCHECKED);
  LxPumpMessages();
  ASSERT_TRUE(LxSaveWindowShot(exporter.m_hWnd, "veltan_export"));
  exporter.OnExportPages();
  EXPECT_EQ(LastPromptText(), "Export finished.");
  const std::string data = ReadFile(out);
  ASSERT_EQ(data.size(), 3u * 2112);
  EXPECT_EQ(std::memcmp(data.data() + 2112, nand_.Page(21), 2112), 0);
  exporter.DestroyWindow();

  nand_.SetFactoryBad(4);
  explorer->m_pBlockTable->MarkBad(4);
  CVeltanImportDlg importer(30, 64, explorer->m_pBlockTable.get(), explorer);
  ASSERT_TRUE(importer.Create(IDD_VX_IMPORT, explorer));
  importer.ShowWindow(SW_SHOW);
  CFileDialog::QueueTestAnswer(out.c_str());
  importer.OnBrowse();
  EXPECT_EQ(importer.m_FileInfo, "File information: Total 6336 Bytes, 3/3 pages without/with spare");
  importer.SetDlgItemText(IDC_VT_COUNT, "3");
  LxPumpMessages();
  ASSERT_TRUE(LxSaveWindowShot(importer.m_hWnd, "veltan_import"));
  importer.OnImportPages();
  // Pages 30 and 31 from the first two 2,048-byte records; page 32 begins bad block 4, which
  // uses up the count.
  EXPECT_EQ(std::memcmp(nand_.Page(30), data.data(), 2048), 0);
  EXPECT_EQ(std::memcmp(nand_.Page(31), data.data() + 2048, 2048), 0);
  EXPECT_EQ(nand_.Page(31)[2048 + 3], 0xFF);
  EXPECT_EQ(nand_.Page(32)[0], 0xFF);
  EXPECT_EQ(nand_.Page(40)[0], 0xFF);
  const std::vector<std::string> told = Prompts();
  ASSERT_GE(told.size(), 2u);
  EXPECT_EQ(told[told.size() - 2], "Bad block notification: block #4 is a bad block");
  EXPECT_EQ(told.back(), "Import finished.\n1 page(s) of file data did not fit in pages 30 to 32.");
  importer.SetDlgItemText(IDC_VT_FIRST, "40");
  importer.SetDlgItemText(IDC_VT_COUNT, "4");
  importer.OnImportPages();
  EXPECT_EQ(LastPromptText(), "Error: File length is shorter than programming request.");
  importer.DestroyWindow();
}

TEST_F(VeltanWindows, EccProgrammedAndChecked) {
  CVeltanExplorerDlg* explorer = Open({IDNO, IDNO});
  ASSERT_NE(explorer, nullptr);
  explorer->OnCheckEcc();
  EXPECT_EQ(LastPromptText(), "External ECC module is not loaded.");
  EccSetupFn setup = UseTestEccModule();
  ASSERT_NE(setup, nullptr);
  for (uint32_t method : {1u, 0u}) {
    SCOPED_TRACE(method);
    setup(method, 8, 4);
    nand_.FillPattern(70);
    explorer->GoToPage(70);
    LxPromptTestBegin();
    explorer->OnProgramEcc();
    EXPECT_EQ(LastPromptText(), "Program finished.");
    // Chunk 1's code in the model, where the module's offsets put it.
    EXPECT_NE(nand_.Page(70)[2048 + 16 + (method ? 4 + 3 : 8)], 0xFF);
    nand_.Page(70)[512 + 0x21] ^= 0x08;  // one bit of chunk 1 flips in the chip
    explorer->GoToPage(70);
    LxPromptTestBegin();
    explorer->OnCheckEcc();
    std::vector<std::string> told = Prompts();
    ASSERT_EQ(told.size(), 8u) << testing::PrintToString(told);
    EXPECT_EQ(told[2], "Check 512 Bytes data starting at offset 0x200 in Byte.");
    const int now = nand_.Page(70)[512 + 0x21] >> 3 & 1;
    if (method == 1) {
      EXPECT_EQ(told[3], "Data at offset 0x21 in Byte (bit at offset 0x10B in bit) is incorrect...\n" +
                             std::to_string(now) + " should be " + std::to_string(1 - now));
    } else {
      char text[96];
      std::snprintf(text, sizeof text, "Data at offset 0x221 in Byte is incorrect...\n0x%02X should be 0x%02X",
                    nand_.Page(70)[512 + 0x21], nand_.Page(70)[512 + 0x21] ^ 0x08);
      EXPECT_EQ(told[3], text);
    }
    nand_.Page(70)[512 + 0x40] ^= 0x01;  // a second one
    explorer->GoToPage(70);
    LxPromptTestBegin();
    explorer->OnCheckEcc();
    EXPECT_EQ(Prompts().at(3), "Uncorrectable error found.");
  }
  setup(1, 8, 12);
  LxPromptTestBegin();
  explorer->OnProgramEcc();
  EXPECT_EQ(Prompts(), std::vector<std::string>{
                           "The BCH offset 12 leaves no room for the 9 parity bytes in a spare share of 16 bytes."});
  setup(1, 8, 4);
}

}  // namespace
