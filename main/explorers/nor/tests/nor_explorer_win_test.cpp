// The NOR explorer, its dialogs and the geometry sheet on Tarn-Rook.dll over TarnControl and the
// simulated kit with a 16-bit parallel NOR chip (8 MiB, 128 sectors of 64 KiB), under Wine and
// Xvfb. The chip model judges every write: after each one the test looks at the model itself.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "app_under_test.h"
#include "device_api.h"
#include "device_ops.h"
#include "kitsim/nor_chip.h"
#include "lumivex/prompt.h"
#include "lumivex/testkit.h"
#include "module_loader.h"
#include "nor_explorer.h"
#include "nor_sheet.h"
#include "rook_session.h"
#include "test_files.h"

namespace {

CBrambApp g_app;
RookSession g_session;
std::string g_folder;
constexpr uint32_t kSector = 0x10000;

kitsim::NorChip* Chip() {
  auto get = SimExport<void* (*)(int)>("LxKitSimNorChip");
  return get ? static_cast<kitsim::NorChip*>(get(0)) : nullptr;
}

// Wrappers around the module's own entry points that record or fail what a test names.
DeviceApiTableCells g_real;
std::vector<uint32_t> g_asoModes;
uint32_t g_failReadAt = 0xFFFFFFFF;
int g_erases = 0;
int RecordAso(int device, uint32_t mode) {
  g_asoModes.push_back(mode);
  return g_real.gfslNORSetASOMode(device, mode);
}
int FailingRead(int device, uint32_t address, uint32_t length, uint8_t* buffer) {
  if (address <= g_failReadAt && g_failReadAt - address < length) return -1;
  return g_real.gfslNORReadRawData(device, address, length, buffer);
}
int CountedErase(int device, uint32_t block) {
  ++g_erases;
  return g_real.gfslNOREraseBlock(device, block);
}
uint32_t NoBlocks(const char*, uint32_t) { return 0; }

// The grid scrolled the row as far up as it goes: at the top, or the last rows fill the view.
bool RowInView(CLxGrid& grid, long row) {
  const long top = grid.GetTopRow();
  if (top == row) return true;
  RECT client;
  ::GetClientRect(grid.GetSafeHwnd(), &client);
  grid.SetRow(grid.GetRows() - 1);
  grid.SetCol(1);
  const long lastBottom = (grid.GetCellTop() + grid.GetCellHeight()) / 15;
  return top < row && lastBottom <= client.bottom && lastBottom + grid.GetCellHeight() / 15 > client.bottom;
}

class NorExplorerTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    g_folder = g_session.Open(g_app, "lxnorexp",
                              "class=1;type=1;bus=16;interleave=1;cs=1;socket=1;vcc=1800;jedec=0x7E1001;forceFpga=0");
    g_real = DeviceApiTable;
  }
  static void TearDownTestSuite() { g_session.Close(); }
  void SetUp() override {
    ASSERT_TRUE(g_session.Loaded());
    ASSERT_EQ(lx::GetDeviceState(), lx::kDeviceOpen) << (LxPromptRecordCount() ? LxPromptRecordText(0) : "");
    chip_ = Chip();
    ASSERT_NE(chip_, nullptr);
    chip_->Faults() = kitsim::NorFaults();
    DeviceApiTable = g_real;
    g_app.m_Options.DeviceKind = 1;
    g_app.m_Options.WindowSizeIndex = 0;
    g_app.m_Options.ConfirmOperations = 0;
    LxPromptTestBegin();
  }
  void TearDown() override {
    if (GetNorExplorer()) {
      GetNorExplorer()->m_Busy = 0;
      GetNorExplorer()->DestroyWindow();
    }
    DeviceApiTable = g_real;
    chip_->Faults() = kitsim::NorFaults();
  }
  CNorExplorerDlg* Open() {
    if (!CreateNorExplorer(nullptr, 9)) return nullptr;
    LxPumpMessages();
    return GetNorExplorer();
  }
  void Fill(uint32_t address, const std::vector<uint8_t>& bytes) {
    ASSERT_EQ(g_real.gfslNORProgramRawData(0, address, uint32_t(bytes.size()), bytes.data()), 0);
  }
  void Erase(uint32_t address) { ASSERT_EQ(g_real.gfslNOREraseBlock(0, address / kSector), 0); }
  // Types text into the editor over a byte cell and leaves it, as a user does.
  void EditCell(CNorExplorerDlg* e, long row, long col, const char* text) {
    ASSERT_TRUE(e->OpenEditor(row, col));
    ::SetDlgItemTextA(e->m_hWnd, IDC_NE_EDITOR, text);
    e->HideEditor();
  }
  kitsim::NorChip* chip_ = nullptr;
};

// First in the file on purpose: the highlight's saved colour is process-wide, and before any find
// it must be the grid's own header colour, never an unset black.
TEST_F(NorExplorerTest, TheFirstWindowShowsHeadersInTheirOwnColour) {
  CNorExplorerDlg* e = Open();
  ASSERT_NE(e, nullptr);
  const COLORREF header = e->m_Grid.GetBackColorFixed();
  ASSERT_NE(header, COLORREF(0));
  for (long row : {1L, 2L, 64L}) {
    e->m_Grid.SetRow(row);
    e->m_Grid.SetCol(0);
    EXPECT_EQ(e->m_Grid.GetCellBackColor(), header) << row;
  }
  e->m_Grid.SetRow(0);
  e->m_Grid.SetCol(5);
  EXPECT_EQ(e->m_Grid.GetCellBackColor(), header);
}

TEST_F(NorExplorerTest, WindowsStepAndBytesEditedInPlaceAreProgrammedWithoutErase) {
  Erase(0x30000);
  Fill(0x30000, {0x41, 0x42, 0x43});
  g_app.m_Options.WindowSizeIndex = 2;  // 4 KiB windows
  CNorExplorerDlg* e = Open();
  ASSERT_NE(e, nullptr);
  EXPECT_EQ(e->m_WindowCount, 2048);
  EXPECT_EQ(e->GetWindowTextString(), "Device Explorer: window#0/2047");
  EXPECT_EQ(e->m_Grid.GetRows(), 257);
  EXPECT_EQ(e->m_Grid.GetTextMatrix(0, 16), "0F");
  e->ShowPreviousWindow();
  EXPECT_EQ(e->m_WindowIndex, 0);
  e->ShowLastWindow();
  EXPECT_EQ(e->m_WindowIndex, 2047);
  EXPECT_EQ(e->m_Grid.GetTextMatrix(256, 0), "0x007FFFF0");
  e->ShowNextWindow();
  EXPECT_EQ(e->m_WindowIndex, 2047);
  e->SetDlgItemText(IDC_NE_NUMBER, "-5");
  e->GoToWindow();
  EXPECT_EQ(e->m_WindowIndex, 0);
  e->SetDlgItemText(IDC_NE_NUMBER, "48");
  e->GoToWindow();
  EXPECT_EQ(e->m_Grid.GetTextMatrix(1, 0), "0x00030000");
  EXPECT_EQ(e->m_Grid.GetTextMatrix(1, 17), "ABC.............");

  // The editor sits exactly over the cell it edits.
  ASSERT_TRUE(e->OpenEditor(1, 4));
  RECT editor;
  ::GetWindowRect(::GetDlgItem(e->m_hWnd, IDC_NE_EDITOR), &editor);
  POINT origin = {0, 0};
  ::ClientToScreen(e->m_Grid.GetSafeHwnd(), &origin);
  EXPECT_EQ(editor.left - origin.x, e->m_Grid.GetCellLeft() / 15);
  EXPECT_EQ(editor.top - origin.y, e->m_Grid.GetCellTop() / 15);
  EXPECT_EQ(editor.bottom - editor.top, e->m_Grid.GetCellHeight() / 15);
  e->HideEditor();
  EditCell(e, 1, 4, "5A");
  EditCell(e, 2, 1, "4");
  EXPECT_EQ(e->m_Grid.GetTextMatrix(1, 17), "ABCZ............");
  EXPECT_EQ(e->m_Grid.GetTextMatrix(2, 1), "4");
  EXPECT_EQ(e->m_WindowBuffer[16], 0x04);
  // A typo is refused and changes nothing.
  EditCell(e, 1, 5, "zz");
  EXPECT_TRUE(PromptSaid("is not a byte"));
  EXPECT_EQ(e->m_WindowBuffer[4], 0xFF);
  LxPumpMessages();
  LxSaveWindowShot(e->m_hWnd, "nor_explorer_edited");

  e->ProgramWithoutErase();
  EXPECT_EQ(LastPromptText(), "Program finished.");
  EXPECT_STREQ(LxPromptRecordCaption(LxPromptRecordCount() - 1), "Lumivex");
  const uint8_t* array = chip_->Array().data();
  EXPECT_EQ(array[0x30003], 0x5A);
  EXPECT_EQ(array[0x30010], 0x04);
  EXPECT_EQ(array[0x30000], 0x41);
  for (uint32_t a = 0x30011; a < 0x31000; ++a) ASSERT_EQ(array[a], 0xFF) << std::hex << a;
  EXPECT_EQ(e->m_Grid.GetTextMatrix(1, 4), "5A");

  // Outside "Read mode" the program buttons refuse.
  e->SetReadMode(1);
  e->ProgramWithoutErase();
  EXPECT_EQ(LastPromptText(), "The operation is allowed in Read mode");
  e->SetReadMode(0);
}

// "Program w/o erase" into a sector whose dynamic protection bit is set: the chip takes nothing,
// and the window's last word (the only one the buffer program's wait looks at) already holds what
// was sent. The read-back of the whole window says so, with counts.
TEST_F(NorExplorerTest, ProgramWithoutEraseIntoAProtectedSectorFailsWithCounts) {
  const uint32_t sector = 0x60000;
  Erase(sector);
  ASSERT_EQ(g_real.gfslNORSetBlockStatus(0, sector / kSector, 0x2000), 0);  // DYB protected
  ASSERT_TRUE(chip_->Dyb(sector / kSector));
  g_app.m_Options.WindowSizeIndex = 2;  // 4 KiB windows
  CNorExplorerDlg* e = Open();
  ASSERT_NE(e, nullptr);
  e->SetDlgItemText(IDC_NE_NUMBER, std::to_string(sector / 4096).c_str());
  e->GoToWindow();
  EditCell(e, 1, 4, "5A");
  EditCell(e, 2, 1, "04");
  e->ProgramWithoutErase();
  EXPECT_EQ(LastPromptText(),
            "Error: Program failed: 2 of 4096 byte(s) do not hold the programmed data, the first at address 0x00060003.\n"
            "The sector may be protected, or not erased.");
  EXPECT_EQ(chip_->Array()[sector + 3], 0xFF);
  EXPECT_EQ(chip_->Array()[sector + 0x10], 0xFF);
  // The edits stay in the explorer, to be programmed with the erase.
  EXPECT_EQ(e->m_WindowBuffer[3], 0x5A);
  EXPECT_EQ(e->m_WindowBuffer[0x10], 0x04);
  EXPECT_EQ(e->m_Grid.GetTextMatrix(1, 4), "5A");
  ASSERT_EQ(g_real.gfslNORSetBlockStatus(0, sector / kSector, 0x1000), 0);
  e->SetDlgItemText(IDC_NE_NUMBER, std::to_string(sector / 4096).c_str());
  e->GoToWindow();
  EditCell(e, 1, 4, "5A");
  e->ProgramWithoutErase();
  EXPECT_EQ(LastPromptText(), "Program finished.");
  EXPECT_EQ(chip_->Array()[sector + 3], 0x5A);
}

TEST_F(NorExplorerTest, ProgramWithEraseRewritesTheSectorWithTheEditInItsPlace) {
  const uint32_t sector = 0x50000;
  Erase(sector);
  std::vector<uint8_t> old(kSector);
  for (size_t i = 0; i < old.size(); ++i) old[i] = uint8_t(i * 7 + 3);
  Fill(sector, old);
  g_app.m_Options.WindowSizeIndex = 2;
  CNorExplorerDlg* e = Open();
  ASSERT_NE(e, nullptr);
  e->MoveToAddress(sector + 0x3000);
  EXPECT_EQ(e->m_WindowIndex, int32_t((sector + 0x3000) / 0x1000));
  // 0x00 -> 0xA5 needs the erase: programming alone only clears bits.
  const size_t at = 0x3000 + 0x25;
  old[at] = 0x00;
  ASSERT_EQ(g_real.gfslNORProgramRawData(0, uint32_t(sector + at), 1, &old[at]), 0);
  e->GoToWindow();
  EditCell(e, 3, 6, "A5");
  g_erases = 0;
  DeviceApiTable.gfslNOREraseBlock = CountedErase;
  e->ProgramWithErase();
  EXPECT_EQ(LastPromptText(), "Program finished.");
  EXPECT_EQ(g_erases, 1);
  std::vector<uint8_t> expected = old;
  expected[at] = 0xA5;
  EXPECT_EQ(0, std::memcmp(chip_->Array().data() + sector, expected.data(), kSector));
  EXPECT_EQ(e->m_Grid.GetTextMatrix(3, 6), "A5");
}

// One window's program fails after the erase, before the edited window, on it and after it: every
// other window is programmed, the sector as meant goes to a file of its own, and the explorer
// keeps the edit in its buffer instead of reading the failed sector back.
TEST_F(NorExplorerTest, AFailureAfterTheEraseLosesOnlyThatWindowAndKeepsTheSectorAsMeant) {
  const uint32_t sector = 0x60000;
  const std::string userData = g_folder + "\\User Data\\";
  const std::string kept = userData + "__sector_6__.bin";
  g_app.m_Options.WindowSizeIndex = 2;  // 4 KiB windows, 16 to the sector
  CNorExplorerDlg* e = Open();
  ASSERT_NE(e, nullptr);
  for (const uint32_t failing : {sector + 0x1000, sector + 0x3000, sector + 0xA000}) {
    SCOPED_TRACE(::testing::Message() << std::hex << "failing 0x" << failing);
    ::DeleteFileA(kept.c_str());
    Erase(sector);
    std::vector<uint8_t> old(kSector);
    for (size_t i = 0; i < old.size(); ++i) old[i] = uint8_t(i ^ 0x5C);
    old[0x3025] = 0x00;  // 0x00 -> 0xA5 needs the erase
    Fill(sector, old);
    e->MoveToAddress(sector + 0x3000);
    EditCell(e, 3, 6, "A5");
    chip_->Faults().failProgramByte = failing + 0x22;
    e->ProgramWithErase();
    chip_->Faults().failProgramByte = 0xFFFFFFFF;
    char address[16];
    std::snprintf(address, sizeof address, "0x%08X", failing);
    EXPECT_EQ(LastPromptText(), "Error: Program failed at address " + std::string(address) +
                                    ": 15 of 16 windows of the sector were programmed.\nSector #6 was erased; its "
                                    "data, with your edit, are kept in \"" + kept + "\".");
    std::vector<uint8_t> meant = old;
    meant[0x3025] = 0xA5;
    std::vector<uint8_t> expected = meant;
    std::fill_n(expected.begin() + (failing - sector), 0x1000, 0xFF);
    EXPECT_EQ(0, std::memcmp(chip_->Array().data() + sector, expected.data(), kSector));
    EXPECT_EQ(lxtest::ReadBytes(kept), meant);
    // The scratch file holds the sector as it was read before the erase.
    EXPECT_EQ(lxtest::ReadBytes(userData + "__temp__.bin"), old);
    // The edit is still in the explorer, shown and ready to be programmed again.
    EXPECT_EQ(e->m_WindowIndex, int32_t((sector + 0x3000) / 0x1000));
    EXPECT_EQ(e->m_WindowBuffer[0x25], 0xA5);
    EXPECT_EQ(e->m_Grid.GetTextMatrix(3, 6), "A5");
  }
  ::DeleteFileA(kept.c_str());
}

// Every program failing: the message names the first windows and counts the rest; a kept file of
// the same sector is never written over.
TEST_F(NorExplorerTest, KeptSectorsStayAndEveryFailedWindowIsCounted) {
  const uint32_t sector = 0x70000;
  const std::string userData = g_folder + "\\User Data\\";
  const std::string first = userData + "__sector_7__.bin", second = userData + "__sector_7_2__.bin";
  ::DeleteFileA(first.c_str());
  ::DeleteFileA(second.c_str());
  Erase(sector);
  std::vector<uint8_t> old(kSector);
  for (size_t i = 0; i < old.size(); ++i) old[i] = uint8_t(i * 3 + 1);
  Fill(sector, old);
  g_app.m_Options.WindowSizeIndex = 2;
  CNorExplorerDlg* e = Open();
  ASSERT_NE(e, nullptr);
  e->MoveToAddress(sector);
  EditCell(e, 1, 1, "00");
  chip_->Faults().failProgram = true;
  e->ProgramWithErase();
  chip_->Faults().failProgram = false;
  EXPECT_EQ(LastPromptText(),
            "Error: Program failed at addresses 0x00070000, 0x00071000, 0x00072000, 0x00073000, 0x00074000, 0x00075000, "
            "0x00076000, 0x00077000 and 8 more: 0 of 16 windows of the sector were programmed.\nSector #7 was erased; "
            "its data, with your edit, are kept in \"" + first + "\".");
  std::vector<uint8_t> meant = old;
  meant[0] = 0x00;
  EXPECT_EQ(lxtest::ReadBytes(first), meant);
  EXPECT_EQ(e->m_WindowBuffer[0], 0x00);
  // Programmed again, failing again: a file of its own.
  chip_->Faults().failProgramByte = sector + 0x5000;
  e->ProgramWithErase();
  chip_->Faults().failProgramByte = 0xFFFFFFFF;
  EXPECT_NE(LastPromptText().find("kept in \"" + second + "\"."), std::string::npos) << LastPromptText();
  EXPECT_EQ(lxtest::ReadBytes(first), meant);
  std::vector<uint8_t> again = lxtest::ReadBytes(second);
  ASSERT_EQ(again.size(), size_t(kSector));
  // What the chip held before this rewrite, the edited window in its place.
  EXPECT_EQ(again[0], 0x00);
  EXPECT_EQ(again[0x1000], 0xFF);
  ::DeleteFileA(first.c_str());
  ::DeleteFileA(second.c_str());
}

TEST_F(NorExplorerTest, ProgramWithEraseIsRefusedWithoutASectorTable) {
  DeviceApiTable.gfslNORGetBlockSize = NoBlocks;
  CNorExplorerDlg* e = Open();
  ASSERT_NE(e, nullptr);
  EXPECT_EQ(e->m_pSectorTable->count, 0);
  g_erases = 0;
  DeviceApiTable.gfslNOREraseBlock = CountedErase;
  e->ProgramWithErase();
  EXPECT_NE(LastPromptText().find("no sector table"), std::string::npos) << LastPromptText();
  EXPECT_EQ(g_erases, 0);
}

TEST_F(NorExplorerTest, AddressSpacesAreEnteredLeftAndShown) {
  CNorExplorerDlg* e = Open();
  ASSERT_NE(e, nullptr);
  g_asoModes.clear();
  DeviceApiTable.gfslNORSetASOMode = RecordAso;
  e->SetReadMode(1);
  e->ApplyAsoMode();
  e->SetReadMode(2);
  e->ApplyAsoMode();
  // CFI query: "QRY" in the low bytes of words 0x10..0x12.
  EXPECT_EQ(e->m_WindowBuffer[0x20], 'Q');
  EXPECT_EQ(e->m_WindowBuffer[0x22], 'R');
  EXPECT_EQ(e->m_WindowBuffer[0x24], 'Y');
  LxPumpMessages();
  LxSaveWindowShot(e->m_hWnd, "nor_explorer_cfi_space");
  e->SetReadMode(3);
  e->ApplyAsoMode();
  EXPECT_EQ(e->m_WindowBuffer[0], 0x01);  // the maker's code
  e->SetReadMode(0);
  e->ApplyAsoMode();
  e->SetReadMode(0);
  e->ApplyAsoMode();
  EXPECT_EQ(g_asoModes, (std::vector<uint32_t>{2, 3, 4, 5, 8, 9, 1}));
  EXPECT_EQ(0, std::memcmp(e->m_WindowBuffer.data(), chip_->Array().data(), e->m_WindowBuffer.size()));
  // Import is refused in an overlay space, export is not.
  e->SetReadMode(4);
  e->RunImport();
  EXPECT_EQ(LastPromptText(), "The operation is allowed in Read mode");
  e->SetReadMode(0);
  e->ApplyAsoMode();
}

TEST_F(NorExplorerTest, FindHitsTheFirstAndLastByteAndAPatternAcrossTwoWindows) {
  Erase(0);
  Erase(0x7F0000);
  Fill(0, {0xC3});
  Fill(0x7FFFFE, {0xFF, 0xC3});
  Fill(0x1FFE, {'S', 'P', 'A', 'N'});
  CNorExplorerDlg* e = Open();
  ASSERT_NE(e, nullptr);
  e->ToggleFind();
  CNorFindDlg* find = e->m_pFindDlg;
  ASSERT_NE(find, nullptr);
  EXPECT_TRUE(find->IsWindowVisible());
  EXPECT_EQ(find->m_ToWindow, 8191);
  find->SetDlgItemText(IDC_NF_TEXT, "c3");
  find->CheckRadioButton(IDC_NF_ASCII, IDC_NF_HEX, IDC_NF_HEX);
  find->FindNext();
  EXPECT_EQ(e->m_WindowIndex, 0);
  e->m_Grid.SetRow(1);
  e->m_Grid.SetCol(0);
  EXPECT_EQ(e->m_Grid.GetCellBackColor(), COLORREF(0x0000C0FF));
  LxPumpMessages();
  LxSaveWindowShot(find->m_hWnd, "nor_find");
  LxSaveWindowShot(e->m_hWnd, "nor_explorer_found");

  e->ShowLastWindow();
  e->ToggleFind();  // hide
  e->ToggleFind();  // shown again from the explorer's window
  find->FindNext();
  EXPECT_EQ(e->m_WindowIndex, 8191);
  EXPECT_TRUE(RowInView(e->m_Grid, 64));  // the hit's row, 1023 / 16 + 1, as far up as it goes
  e->m_Grid.SetRow(0);
  e->m_Grid.SetCol(16);
  EXPECT_EQ(e->m_Grid.GetCellBackColor(), COLORREF(0x0000C0FF));
  find->FindNext();
  EXPECT_EQ(LastPromptText(), "String not found.");

  e->MoveToAddress(0x1C00);  // window 7
  e->ToggleFind();
  e->ToggleFind();
  find->SetDlgItemText(IDC_NF_TEXT, "SPAN");
  find->CheckRadioButton(IDC_NF_ASCII, IDC_NF_HEX, IDC_NF_ASCII);
  find->FindNext();
  EXPECT_EQ(e->m_WindowIndex, 7);
  EXPECT_TRUE(RowInView(e->m_Grid, 0x3FE / 16 + 1));

  // The explorer does not close under a running search.
  find->m_bRunning = true;
  EXPECT_FALSE(e->Close());
  EXPECT_NE(LastPromptText().find("stop the running operation"), std::string::npos);
  find->m_bRunning = false;
}

TEST_F(NorExplorerTest, ImportAndExportMoveWindowsByteForByte) {
  const std::string file = g_folder + "\\User Data\\windows.bin";
  Erase(0x80000);
  std::vector<uint8_t> data(3 * 1024);
  for (size_t i = 0; i < data.size(); ++i) data[i] = uint8_t((i * 31) ^ (i >> 8));
  FILE* f = std::fopen(file.c_str(), "wb");
  ASSERT_NE(f, nullptr);
  std::fwrite(data.data(), 1, data.size(), f);
  std::fclose(f);
  CNorExplorerDlg* e = Open();
  ASSERT_NE(e, nullptr);

  CNorImportDlg import(0x80000 / 1024, e);
  ASSERT_TRUE(import.Create(IDD_LX_NOR_IMPORT, e));
  import.ShowWindow(SW_SHOW);
  EXPECT_EQ(import.m_StartWindow, 0x80000 / 1024);
  import.SetDlgItemText(IDC_NX_FILE, file.c_str());
  import.SetDlgItemText(IDC_NX_NUMBER, "4");
  import.Run();  // four windows from a file of three
  EXPECT_EQ(LastPromptText(), "Error: File length is shorter than programming request.");
  EXPECT_EQ(chip_->Array()[0x80000], 0xFF);
  import.SetDlgItemText(IDC_NX_NUMBER, "3");
  import.Run();
  EXPECT_EQ(LastPromptText(), "Import finished.");
  EXPECT_STREQ(LxPromptRecordCaption(LxPromptRecordCount() - 1), "Lumivex");
  EXPECT_EQ(0, std::memcmp(chip_->Array().data() + 0x80000, data.data(), data.size()));
  LxPumpMessages();
  LxSaveWindowShot(import.m_hWnd, "nor_import");
  // A start past the device is pulled back to its last window, and the number to what fits.
  import.SetDlgItemText(IDC_NX_START, "99999");
  import.UpdateData(TRUE);
  EXPECT_EQ(import.m_StartWindow, 8191);
  EXPECT_EQ(import.m_NumberOfWindows, 1);
  import.DestroyWindow();

  const std::string out = g_folder + "\\User Data\\export.bin";
  CNorExportDlg exporter(0x80000 / 1024, e);
  ASSERT_TRUE(exporter.Create(IDD_LX_NOR_EXPORT, e));
  exporter.ShowWindow(SW_SHOW);
  exporter.SetDlgItemText(IDC_NX_FILE, out.c_str());
  exporter.SetDlgItemText(IDC_NX_NUMBER, "3");
  exporter.Run();
  EXPECT_EQ(LastPromptText(), "Export finished.");
  EXPECT_STREQ(LxPromptRecordCaption(LxPromptRecordCount() - 1), "Lumivex");
  std::vector<uint8_t> back(4 * 1024);
  f = std::fopen(out.c_str(), "rb");
  ASSERT_NE(f, nullptr);
  back.resize(std::fread(back.data(), 1, back.size(), f));
  std::fclose(f);
  EXPECT_EQ(back, data);
  LxPumpMessages();
  LxSaveWindowShot(exporter.m_hWnd, "nor_export");

  // A failed read is reported, not "finished".
  g_failReadAt = 0x80000 + 1024 + 5;
  DeviceApiTable.gfslNORReadRawData = FailingRead;
  exporter.Run();
  DeviceApiTable.gfslNORReadRawData = g_real.gfslNORReadRawData;
  EXPECT_NE(LastPromptText().find("Failed to read window"), std::string::npos) << LastPromptText();
  exporter.DestroyWindow();
}

TEST_F(NorExplorerTest, ResetAndMoveToAddress) {
  CNorExplorerDlg* e = Open();
  ASSERT_NE(e, nullptr);
  ShowNorResetDialog(nullptr);
  CNorResetDlg* reset = GetNorResetDialog();
  ASSERT_NE(reset, nullptr);
  reset->SendReset(16);
  EXPECT_EQ(LastPromptText(), "Sent a reset command");
  reset->SendReset(17);
  EXPECT_EQ(LastPromptText(), "Sent a hardware (warm) reset");
  const int before = LxPromptRecordCount();
  reset->CheckDlgButton(IDC_NR_QUIET, BST_CHECKED);
  reset->SendReset(16);
  EXPECT_EQ(LxPromptRecordCount(), before);
  LxPumpMessages();
  LxSaveWindowShot(reset->m_hWnd, "nor_reset");
  CloseNorResetDialog();
  EXPECT_EQ(GetNorResetDialog(), nullptr);

  for (const char* text : {"0x1000", "4096", "010000"}) {
    CMoveToAddressDlg move(e);
    ASSERT_TRUE(move.Create(IDD_LX_MOVE_TO_ADDRESS, e));
    move.ShowWindow(SW_SHOW);
    move.SetDlgItemText(IDC_MA_ADDRESS, text);
    if (std::string(text) == "010000") {
      LxPumpMessages();
      LxSaveWindowShot(move.m_hWnd, "nor_move_to_address");
    }
    move.OnOK();
    EXPECT_EQ(move.m_Address, 4096u) << text;
    e->MoveToAddress(move.m_Address);
    EXPECT_EQ(e->m_WindowIndex, 4);
  }
}

// ---- the geometry sheet ----------------------------------------------------------------------------
CPropertyPage* ShowPage(CNorGeometrySheet& sheet, int index) {
  sheet.SetActivePage(index);
  LxPumpMessages();
  return sheet.GetPage(index);
}

TEST_F(NorExplorerTest, GeometrySheetPagesMatchTheChipModel) {
  CNorExplorerDlg* e = Open();
  ASSERT_NE(e, nullptr);
  CNorGeometrySheet sheet("Device geometry", e->m_pSectorTable, e, 0, 9);
  ASSERT_EQ(sheet.GetPageCount(), 5);
  ASSERT_TRUE(sheet.Create(e));
  LxPumpMessages();
  EXPECT_FALSE(::IsWindowVisible(::GetDlgItem(sheet.m_hWnd, IDOK)));

  auto* geometry = static_cast<CNorSectorGeometryPage*>(ShowPage(sheet, 0));
  std::vector<std::string> lines = geometry->ListLines();
  ASSERT_EQ(lines.size(), 3u + chip_->SectorCount());
  for (uint32_t s = 0; s < chip_->SectorCount(); s += 37) {
    const uint32_t end = s + 1 < chip_->SectorCount() ? chip_->SectorStart(s + 1) : chip_->SizeBytes();
    char line[80];
    std::snprintf(line, sizeof line, "%6d  0x%08X  0x%08X  %5d KBytes", int(s), chip_->SectorStart(s), end - 1,
                  int((end - chip_->SectorStart(s)) / 1024));
    EXPECT_EQ(lines[3 + s], line);
  }
  LxSaveWindowShot(sheet.m_hWnd, "nor_sheet_sector_geometry");

  auto* cfi = static_cast<CNorCFIDataPage*>(ShowPage(sheet, 1));
  const std::string dump = cfi->DumpText().GetString();
  // The query words from offset 0x10 on: "QRY" in the low bytes at byte addresses 0x20, 0x22, 0x24.
  EXPECT_NE(dump.find("0x00000020 51 00 52 00 59 00"), std::string::npos) << dump.substr(0, 400);
  EXPECT_EQ(e->GetReadMode(), 0);
  LxSaveWindowShot(sheet.m_hWnd, "nor_sheet_cfi");

  // PPB and DYB set and cleared on sectors 2 and 4 (list lines 6 and 8).
  auto* protect = static_cast<CNorProtectGroupGeometryPage*>(ShowPage(sheet, 2));
  HWND list = ::GetDlgItem(protect->m_hWnd, IDC_NG_LIST);
  auto select = [&](std::initializer_list<int> lines, int action) {
    ::SendMessageA(list, LB_SETSEL, FALSE, -1);
    for (int line : lines) ::SendMessageA(list, LB_SETSEL, TRUE, line);
    ::SendDlgItemMessageA(protect->m_hWnd, IDC_NG_ACTION, CB_SETCURSEL, WPARAM(action), 0);
    if (action == 0 || action == 2) LxPromptQueueAnswer(LX_IDYES);  // persistent bits ask first
    protect->Proceed();
  };
  select({1, 6, 8}, 3);  // DYB protected; header line 1 changes nothing
  EXPECT_TRUE(chip_->Dyb(2));
  EXPECT_TRUE(chip_->Dyb(4));
  EXPECT_FALSE(chip_->Dyb(3));
  EXPECT_NE(protect->ListLines()[6].find("Protected  "), std::string::npos);
  select({6}, 4);
  EXPECT_FALSE(chip_->Dyb(2));
  select({8}, 0);  // PPB protected, after its question
  EXPECT_TRUE(chip_->Ppb(4));
  EXPECT_NE(protect->ListLines()[8].find("    Protected    Protected  "), std::string::npos) << protect->ListLines()[8];
  LxSaveWindowShot(sheet.m_hWnd, "nor_sheet_protect_group");
  select({}, 1);  // PPB unprotected: all of them
  EXPECT_FALSE(chip_->Ppb(4));
  select({8}, 4);
  EXPECT_FALSE(chip_->Dyb(4));

  // Password, then the lock register: the persistent mode locked, nothing else.
  auto* lock = static_cast<CNorLockRegisterPage*>(ShowPage(sheet, 3));
  const char* words[4] = {"0x1234", "0xABCD", "0x0F0F", "4660"};
  for (int n = 0; n < 4; ++n) lock->SetDlgItemText(IDC_NG_PASSWORD0 + n, words[n]);
  LxPromptQueueAnswer(LX_IDYES);
  lock->ProgramPassword(0x4000, true);
  EXPECT_EQ(chip_->Password(), 0x12340F0FABCD1234ull);
  lock->Refresh();
  EXPECT_EQ(lock->IsDlgButtonChecked(IDC_NG_LOCK_SSR1), UINT(BST_CHECKED));
  lock->CheckDlgButton(IDC_NG_LOCK_BIT1, BST_UNCHECKED);
  lock->ProgramRegister();  // the question's default is No: nothing happens
  EXPECT_EQ(chip_->LockRegister() & 0x02, 0x02);
  LxPromptQueueAnswer(LX_IDYES);
  lock->ProgramRegister();
  EXPECT_EQ(chip_->LockRegister() & 0x02, 0);
  // The customer SSR lock (bit 6) and the other bits stay unlocked.
  EXPECT_EQ(chip_->LockRegister() & 0x45, 0x45);
  LxSaveWindowShot(sheet.m_hWnd, "nor_sheet_lock_register");

  // SecSi: read, then a byte programmed at the base plus the offset after the question.
  auto* secsi = static_cast<CNorSecSiSectorGeometryPage*>(ShowPage(sheet, 4));
  std::string secsiDump = secsi->DumpText().GetString();
  EXPECT_NE(secsiDump.find("0x00000000 FF FF"), std::string::npos) << secsiDump.substr(0, 300);
  secsi->SetDlgItemText(IDC_NG_SECSI_ADDRESS, "0x12");
  secsi->SetDlgItemText(IDC_NG_SECSI_DATA, "0x3C");
  secsi->Program();  // answered No by default
  EXPECT_EQ(chip_->SecSi()[0x12], 0xFF);
  LxPromptQueueAnswer(LX_IDYES);
  secsi->Program();
  EXPECT_EQ(chip_->SecSi()[0x12], 0x3C);
  EXPECT_NE(secsi->DumpText().Find("0x00000010 FF FF 3C"), -1);
  secsi->SetDlgItemText(IDC_NG_SECSI_ADDRESS, "0x400");
  secsi->Program();
  EXPECT_NE(LastPromptText().find("1,024 bytes"), std::string::npos);
  EXPECT_EQ(e->GetReadMode(), 0);
  LxSaveWindowShot(sheet.m_hWnd, "nor_sheet_secsi");
  sheet.DestroyWindow();
}

TEST_F(NorExplorerTest, TheProtectGroupButtonOpensTwoPages) {
  CNorExplorerDlg* e = Open();
  ASSERT_NE(e, nullptr);
  CNorGeometrySheet sheet("Device geometry", e->m_pSectorTable, e, 3, 9);
  EXPECT_EQ(sheet.GetPageCount(), 2);
  g_app.m_Options.DeviceKind = 3;
  CNorGeometrySheet none("Device geometry", e->m_pSectorTable, e, 1, 9);
  EXPECT_EQ(none.GetPageCount(), 0);
  e->RunGeometrySheet(1);  // nothing to show: said, not an empty sheet
  EXPECT_EQ(LastPromptText(), "The device has no pages of this kind.");
}

}  // namespace
