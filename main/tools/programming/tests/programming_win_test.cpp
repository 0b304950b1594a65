// The programming tools' windows under Wine and Xvfb: on Tarn-Rook.dll over three simulated kits
// (a master and two duplicates) the NOR sheet's pages and the device duplicate, with the chip
// models as the judges of every write; the Veltan sheet and the NAND duplicate on a small NAND
// device bound into the device API table.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "app_under_test.h"
#include "device_api.h"
#include "device_ops.h"
#include "fake_devices.h"
#include "kitsim/nand_chip.h"
#include "kitsim/nor_chip.h"
#include "kitsim/spi_chip.h"
#include "lumivex/prompt.h"
#include "lumivex/testkit.h"
#include "module_loader.h"
#include "nor_explorer.h"
#include "open_device.h"
#include "programming.h"
#include "rook_session.h"
#include "test_files.h"
#include "test_support.h"
#include "veltan_explorer.h"
#include "veltan_presets.h"

namespace {

CBrambApp g_app;

kitsim::NorChip* Chip(int kit) {
  auto get = SimExport<void* (*)(int)>("LxKitSimNorChip");
  return get ? static_cast<kitsim::NorChip*>(get(kit)) : nullptr;
}

// A pulled kit is passed over when the module looks for one: the next open takes the next kit.
void Unplug(int kit, int unplugged = 1) {
  auto unplug = SimExport<int (*)(int, int)>("LxKitSimUnplug");
  ASSERT_NE(unplug, nullptr);
  ASSERT_EQ(unplug(kit, unplugged), 0);
}

std::vector<uint8_t> Pattern(size_t n, uint32_t seed) {
  std::vector<uint8_t> v(n);
  uint32_t x = seed;
  for (size_t i = 0; i < n; ++i) {
    x = x * 1664525u + 1013904223u;
    v[i] = static_cast<uint8_t>(x >> 24);
  }
  return v;
}


int CountPrompts(const char* part) {
  int n = 0;
  for (int i = 0; i < LxPromptRecordCount(); ++i)
    if (std::strstr(LxPromptRecordText(i), part)) ++n;
  return n;
}

// The caption of the last box that showed the text; "(none)" for a box given no caption, which
// Windows titles "Error".
std::string CaptionOf(const char* text) {
  for (int i = LxPromptRecordCount() - 1; i >= 0; --i) {
    if (std::strcmp(LxPromptRecordText(i), text) != 0) continue;
    const char* caption = LxPromptRecordCaption(i);
    return caption ? caption : "(none)";
  }
  return "(not shown)";
}

std::string Item(HWND w, int id) {
  char text[512] = "";
  GetDlgItemTextA(w, id, text, sizeof text);
  return text;
}

void Click(CWnd& window, int id) {
  window.SendMessage(WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(::GetDlgItem(window.m_hWnd, id)));
}

// The Program window page: `count` windows from `first` out of the file, verified.
void ProgramWindows(CEditNorSheet& sheet, const std::string& file, const char* first, const char* count) {
  sheet.SetActivePage(1);
  auto* windows = static_cast<CProgramRawWindow*>(sheet.m_Pages[1].get());
  windows->SetDlgItemText(IDC_PG_PATH, file.c_str());
  windows->SetDlgItemText(IDC_PG_START_WINDOW, first);
  windows->SetDlgItemText(IDC_PG_WINDOWS, count);
  windows->CheckDlgButton(IDC_PG_VERIFY, BST_CHECKED);
  Click(*windows, IDC_PG_RUN);
  EXPECT_EQ(LastPromptText(), "Program finished.");
  EXPECT_EQ(CaptionOf("Program finished."), "Lumivex");
}

// The Read / Program data page: the range programmed from `in` with verification, verified
// against the file, and read back into `out`, which then holds `data`.
CProgramPartWindow* ProgramVerifyRead(CEditNorSheet& sheet, const std::string& in, const std::string& out,
                                      const char* start, const std::vector<uint8_t>& data) {
  sheet.SetActivePage(0);
  auto* part = static_cast<CProgramPartWindow*>(sheet.m_Pages[0].get());
  part->SetDlgItemText(IDC_PG_PATH, in.c_str());
  part->SetDlgItemText(IDC_PG_START_ADDRESS, start);
  part->SetDlgItemText(IDC_PG_LENGTH, std::to_string(data.size()).c_str());
  part->CheckDlgButton(IDC_PG_VERIFY, BST_CHECKED);
  Click(*part, IDC_PG_RUN);
  EXPECT_EQ(LastPromptText(), "Program finished.");
  Click(*part, IDC_PG_VERIFY_FILE);
  EXPECT_EQ(LastPromptText(), "Verify finished. No error was found.");
  part->SetDlgItemText(IDC_PG_PATH, out.c_str());
  Click(*part, IDC_PG_READ);
  EXPECT_EQ(LastPromptText(), "Read finished.");
  EXPECT_EQ(lxtest::ReadBytes(out), data);
  return part;
}

// ---- on the kit -----------------------------------------------------------------------------------
class KitTools : public ::testing::Test {
 protected:
  void SetUp() override {
    LxPromptTestBegin();
    folder_ = MakeTempFolder("lxprog");
    g_app.m_OptionsFilePath = (folder_ + "\\setup.ini").c_str();
    std::memset(&g_app.m_Options, 0, sizeof g_app.m_Options);
    g_app.m_Options.DeviceKind = 1;
    g_app.m_Options.WindowSizeIndex = 4;  // 16 KiB windows
    ASSERT_TRUE(session_.Load(
        g_app, folder_, "class=1;type=1;bus=16;interleave=1;cs=1;socket=1;vcc=1800;jedec=0x7E1001;forceFpga=0"));
  }
  void TearDown() override {
    session_.Unload();
    auto count = SimExport<int (*)()>("LxKitSimCount");
    for (int kit = 0; count && kit < count(); ++kit) Unplug(kit, 0);
    g_app.m_bDeviceModuleLoaded = false;
    LxPromptSetRules("");
    LxPromptTestEnd();
    RemoveFolderTree(folder_);
  }
  void Open() {
    ASSERT_EQ(lx::DeviceOpen("/a"), 0) << LastPromptText();
    ASSERT_EQ(lx::GetDeviceState(), lx::kDeviceOpen);
  }
  std::string File(const char* name) { return folder_ + "\\" + name; }

  RookSession session_;
  std::string folder_;
};

TEST_F(KitTools, NorMasterIntoTwoDuplicateKitsWithARetriedMismatch) {
  Open();
  kitsim::NorChip* master = Chip(0);
  ASSERT_NE(master, nullptr);
  ASSERT_NE(Chip(2), nullptr) << "three kits expected (LX_KITSIM)";
  master->Array() = Pattern(master->Array().size(), 7);

  CNorDuplicateDlg dialog(nullptr, 1);
  ASSERT_TRUE(dialog.Create(IDD_LX_DEVICE_DUPLICATE, nullptr));
  dialog.ShowWindow(SW_SHOW);
  EXPECT_EQ(dialog.m_Chunk, 0x10000u);
  const std::string image = File("master.img");
  dialog.SetDlgItemText(IDC_DD_PATH, image.c_str());
  Click(dialog, IDC_DD_CREATE_MASTER);
  EXPECT_EQ(LastPromptText(), "Master image file is created.");
  EXPECT_EQ(lxtest::ReadBytes(image), master->Array());
  LxPumpMessages();
  LxSaveWindowShot(dialog.m_hWnd, "device_duplicate");

  // The first duplicate: the next kit, erased and programmed from the image.
  lx::DeviceClose("/a");
  Unplug(0);
  kitsim::NorChip* first = Chip(1);
  first->Array()[0x10] = 0x00;
  Open();
  LxPromptQueueAnswer(LX_IDOK);
  Click(dialog, IDC_DD_ERASE);
  EXPECT_EQ(LastPromptText(), "Erase finished.");
  EXPECT_EQ(CaptionOf("Erase finished."), "Lumivex");
  EXPECT_EQ(first->Array()[0x10], 0xFF);
  Click(dialog, IDC_DD_CREATE_DUPLICATE);
  EXPECT_EQ(first->Array(), master->Array());
  EXPECT_NE(dialog.m_LastReport.body.find("128 of 128 piece(s) copied and verified, 0 ignored, 0 retried."),
            std::string::npos)
      << dialog.m_LastReport.body.substr(dialog.m_LastReport.body.size() - 200);

  // The second duplicate was not erased: one byte cannot take its data until Retry erases the sector.
  lx::DeviceClose("/a");
  Unplug(1);
  kitsim::NorChip* second = Chip(2);
  second->Array()[0x345678] = 0x00;
  Open();
  LxPromptQueueAnswer(LX_IDRETRY);
  Click(dialog, IDC_DD_CREATE_DUPLICATE);
  EXPECT_TRUE(Told("Programming verification has been failed from 0x340000 to 0x34FFFF."));
  EXPECT_EQ(second->Array(), master->Array());
  const std::string& body = dialog.m_LastReport.body;
  EXPECT_NE(body.find("0x00340000:0x0034ffff>>RETRY\r\n0x00340000:0x0034ffff>>copied"), std::string::npos);
  EXPECT_NE(body.find("128 of 128 piece(s) copied and verified, 0 ignored, 1 retried."), std::string::npos);
  dialog.DestroyWindow();
}

TEST_F(KitTools, NorSheetProgramsVerifiesReadsErasesAndCopies) {
  Open();
  kitsim::NorChip* chip = Chip(0);
  ASSERT_NE(chip, nullptr);
  CEditNorSheet sheet("Edit Data", lx::prog::ReadNorSectors(), nullptr, 0, 0);
  ASSERT_TRUE(sheet.Create(nullptr));
  ASSERT_EQ(sheet.m_Pages.size(), 5u);

  // Erase sectors 2 to 21 with verification.
  sheet.SetActivePage(3);
  auto* erase = static_cast<CEraseSector*>(sheet.m_Pages[3].get());
  chip->Array()[2 * 65536 + 5] = 0x00;
  erase->SetDlgItemText(IDC_PG_FIRST, "2");
  erase->SetDlgItemText(IDC_PG_COUNT, "20");
  erase->CheckDlgButton(IDC_PG_VERIFY, BST_CHECKED);
  Click(*erase, IDC_PG_RUN);
  EXPECT_EQ(LastPromptText(), "Erase finished.");
  EXPECT_EQ(chip->Array()[2 * 65536 + 5], 0xFF);
  LxSaveWindowShot(sheet.m_hWnd, "edit_nor_erase_sectors");

  // A file into an address range, verified; read back to a file.
  const std::vector<uint8_t> data = Pattern(200000, 3);
  const std::string in = File("data.bin"), out = File("back.bin");
  fake::WriteFile(in, data);
  sheet.SetActivePage(0);
  EXPECT_EQ(Item(sheet.m_Pages[0]->m_hWnd, IDC_PG_LENGTH), "0x00800000");
  auto* part = ProgramVerifyRead(sheet, in, out, "0x20010", data);
  EXPECT_TRUE(std::equal(data.begin(), data.end(), chip->Array().begin() + 0x20010));
  EXPECT_EQ(chip->Array()[0x2000F], 0xFF);
  // Past the end of the 8 MiB part: refused, nothing read or written.
  part->SetDlgItemText(IDC_PG_START_ADDRESS, "0x7FFF00");
  part->SetDlgItemText(IDC_PG_LENGTH, "0x200");
  part->SetDlgItemText(IDC_PG_PATH, in.c_str());
  Click(*part, IDC_PG_RUN);
  EXPECT_EQ(LastPromptText(),
            "Error: The range 0x007FFF00 to 0x008000FF lies beyond the end of the device (0x00800000 bytes).");
  part->SetDlgItemText(IDC_PG_PATH, in.c_str());
  LxSaveWindowShot(sheet.m_hWnd, "edit_nor_program_data");

  // Whole windows (16 KiB) from the file: windows 40 to 43.
  ProgramWindows(sheet, in, "40", "4");
  EXPECT_TRUE(std::equal(data.begin(), data.begin() + 65536, chip->Array().begin() + 40 * 16384));
  LxSaveWindowShot(sheet.m_hWnd, "edit_nor_program_windows");

  // Copy windows 40 to 43 to 80 to 83; overlapping windows are refused.
  sheet.SetActivePage(2);
  auto* copy = static_cast<CCopyWindow*>(sheet.m_Pages[2].get());
  copy->SetDlgItemText(IDC_PG_FIRST, "40");
  copy->SetDlgItemText(IDC_PG_COUNT, "4");
  copy->SetDlgItemText(IDC_PG_TARGET, "42");
  Click(*copy, IDC_PG_RUN);
  EXPECT_EQ(std::string(LastPromptText()).rfind("Error: The source and target ranges overlap.", 0), 0u);
  copy->SetDlgItemText(IDC_PG_TARGET, "80");
  copy->CheckDlgButton(IDC_PG_VERIFY, BST_CHECKED);
  Click(*copy, IDC_PG_RUN);
  EXPECT_EQ(LastPromptText(), "Copy finished.");
  EXPECT_TRUE(std::equal(data.begin(), data.begin() + 65536, chip->Array().begin() + 80 * 16384));
  LxSaveWindowShot(sheet.m_hWnd, "edit_nor_copy_windows");
  sheet.DestroyWindow();
}

TEST_F(KitTools, DeviceTestAllMethodsFindTheStuckBit) {
  Open();
  kitsim::NorChip* chip = Chip(0);
  ASSERT_NE(chip, nullptr);
  // Sectors 30 and 31 as a fresh part has them, with one dead cell in sector 31.
  std::fill(chip->Array().begin() + 30 * 65536, chip->Array().begin() + 32 * 65536, 0xFF);
  chip->Faults().stuckZeroByte = 0x1F1235;
  chip->Faults().stuckZeroMask = 0x20;
  chip->Array()[0x1F1235] &= 0xDF;
  CEditNorSheet sheet("Edit Data", lx::prog::ReadNorSectors(), nullptr, 5, 0);
  ASSERT_TRUE(sheet.Create(nullptr));
  auto* test = static_cast<CDeviceTest*>(sheet.m_Pages[0].get());
  const std::string file = File("test.bin");
  fake::WriteFile(file, Pattern(100000, 9));
  lx::prog::TestMethods& methods = test->m_MethodDlg.m_Methods;
  methods.selected.assign(12, true);
  methods.incrementText = "0x100";
  methods.decrementText = "0xFFFF0000";
  methods.programFile = methods.readFile = file;
  methods.readCount = 3;
  ASSERT_EQ(lx::prog::CheckTestMethods(methods, false), nullptr);
  test->UpdateSummary();
  EXPECT_EQ(Item(test->m_hWnd, IDC_TP_SUMMARY), "12 test method is(are) selected...");
  test->SetDlgItemText(IDC_TP_FIRST, "30");
  test->SetDlgItemText(IDC_TP_COUNT, "2");
  ASSERT_EQ(LxPromptSetRules("Compare failed=>no;Program failed=>no;Test failed=>no"), 0);
  Click(*test, IDC_TP_START);
  // Every compare where the pattern wants a 1 in that cell fails at its address.
  const int compares = CountPrompts("Error: Compare failed at address");
  const int stuck = CountPrompts("Error: Compare failed at address 0x001F1235 in Byte.");
  EXPECT_GE(stuck, 5);
  // The chip refuses to turn the 0 bits of 0xAA55 into the 1 bits of 0x55AA: method 4's second
  // program fails in both sectors, which then fail its compare once each.
  const int programs = CountPrompts("Error: Program failed at sector #");
  EXPECT_EQ(programs, 2);
  EXPECT_EQ(compares - stuck, programs);
  EXPECT_EQ(CountPrompts("Error: Erase failed") + CountPrompts("Error: Read failed"), 0);
  EXPECT_EQ(test->m_LastResult, "Simple device test finished.\nError(s) was occurred " + std::to_string(compares + programs) +
                                    " times while testing.");
  EXPECT_EQ(Item(test->m_hWnd, IDC_TP_STATUS1), "1 of 1: Read specific times and compare each data...");
  EXPECT_EQ(Item(test->m_hWnd, IDC_TP_START), ">> Start test");
  test->UpdateData(FALSE);
  LxSaveWindowShot(sheet.m_hWnd, "edit_nor_device_test");
  CTestMethodDlg shown(false);
  shown.m_Methods = methods;
  ASSERT_TRUE(shown.Create(IDD_LX_DEVICE_TEST_METHODS, nullptr));
  shown.ShowWindow(SW_SHOW);
  LxPumpMessages();
  LxSaveWindowShot(shown.m_hWnd, "device_test_methods");
  shown.DestroyWindow();
  sheet.DestroyWindow();
  chip->Faults().stuckZeroByte = 0xFFFFFFFF;
  chip->Faults().stuckZeroMask = 0;
}

CNANDTest* g_running = nullptr;

void CALLBACK ClickStop(HWND, UINT, UINT_PTR id, DWORD) {
  KillTimer(nullptr, id);
  g_running->PostMessage(WM_COMMAND, MAKEWPARAM(IDC_TP_START, BN_CLICKED), 0);
}

// Takes a picture of this thread's "Edit Data" sheet once it shows, notes its tab, and closes it.
std::string g_sheetTab;
void CALLBACK ShootAndCloseSheet(HWND, UINT, UINT_PTR id, DWORD) {
  HWND sheet = FindOwnWindow("Edit Data");
  if (!sheet) return;
  KillTimer(nullptr, id);
  HWND tabs = reinterpret_cast<HWND>(SendMessageA(sheet, PSM_GETTABCONTROL, 0, 0));
  char text[64] = "";
  TCITEMA item = {};
  item.mask = TCIF_TEXT;
  item.pszText = text;
  item.cchTextMax = sizeof text;
  SendMessageA(tabs, TCM_GETITEMA, 0, reinterpret_cast<LPARAM>(&item));
  g_sheetTab = text;
  LxSaveWindowShot(sheet, "nor_explorer_erase_sheet");
  PostMessageA(sheet, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
}

TEST_F(KitTools, TheNorExplorersButtonsOpenTheEditSheet) {
  Open();
  CWnd frame;
  ASSERT_TRUE(CreateNorExplorer(&frame, 9));
  CNorExplorerDlg* explorer = GetNorExplorer();
  ASSERT_NE(explorer, nullptr);
  g_sheetTab.clear();
  UINT_PTR timer = SetTimer(nullptr, 0, 50, ShootAndCloseSheet);
  explorer->RunEditSheet(4, 0);
  KillTimer(nullptr, timer);
  EXPECT_EQ(g_sheetTab, "Erase sectors");
  DestroyNorExplorer();
}

// ---- on the kit's SPI part (a run of its own names the part: LX_KITSIM_SPI) ---------------------
TEST_F(KitTools, SpiPartProgramsWindowsAndARangeVerifiesAndReads) {
  if (!std::getenv("LX_KITSIM_SPI")) GTEST_SKIP() << "the SPI run names the part";
  SetEnvironmentVariableA("LX_TARNROOK_PRESET",
                          "class=3;type=4;bus=8;interleave=1;cs=1;socket=1;vcc=3300;spiIo=1;forceFpga=0;programTimeout=60000;"
                          "jedec=0x010219;spiFamily=8;spiExtendedIdBytes=2;spiRegisters=0x5F");
  g_app.m_Options.DeviceKind = 2;
  g_app.m_Options.WindowSizeIndex = 2;  // 4 KiB windows
  Open();
  auto get = SimExport<void* (*)(int, int)>("LxKitSimSpiChip");
  ASSERT_NE(get, nullptr);
  auto* chip = static_cast<kitsim::SpiChip*>(get(0, 0));
  ASSERT_NE(chip, nullptr);
  std::fill(chip->Array().begin(), chip->Array().begin() + 0x40000, 0x00);  // a used part
  CEditNorSheet sheet("Edit Data", lx::prog::ReadNorSectors(), nullptr, 0, 0);
  ASSERT_TRUE(sheet.Create(nullptr));
  ASSERT_FALSE(sheet.m_Pages.empty());

  // Erase the sectors of the first 256 KiB, verified.
  sheet.SetActivePage(3);
  auto* erase = static_cast<CEraseSector*>(sheet.m_Pages[3].get());
  const std::vector<lx::prog::NorSector> sectors = lx::prog::ReadNorSectors();
  uint32_t count = 0;
  while (count < sectors.size() && sectors[count].start < 0x40000) ++count;
  erase->SetDlgItemText(IDC_PG_FIRST, "0");
  erase->SetDlgItemText(IDC_PG_COUNT, std::to_string(count).c_str());
  erase->CheckDlgButton(IDC_PG_VERIFY, BST_CHECKED);
  Click(*erase, IDC_PG_RUN);
  EXPECT_EQ(LastPromptText(), "Erase finished.");
  EXPECT_EQ(chip->Array()[0x3FFFF], 0xFF);

  // An address range from the file, verified; read back into a file.
  const std::vector<uint8_t> data = Pattern(30000, 21);
  const std::string in = File("spi.bin"), out = File("spi_back.bin");
  fake::WriteFile(in, data);
  ProgramVerifyRead(sheet, in, out, "0x1010", data);
  EXPECT_TRUE(std::equal(data.begin(), data.end(), chip->Array().begin() + 0x1010));
  LxSaveWindowShot(sheet.m_hWnd, "edit_spi_program_data");

  // Whole windows 40 to 45 (4 KiB each) from the file.
  ProgramWindows(sheet, in, "40", "6");
  EXPECT_TRUE(std::equal(data.begin(), data.begin() + 6 * 4096, chip->Array().begin() + 40 * 4096));
  LxSaveWindowShot(sheet.m_hWnd, "edit_spi_program_windows");
  sheet.DestroyWindow();
}

// ---- on the kit's NAND part ---------------------------------------------------------------------
class KitNand : public KitTools {
 protected:
  void SetUp() override {
    sim_ = LoadLibraryA((ExeFolder() + "\\LxKitSim.dll").c_str());
    ASSERT_NE(sim_, nullptr);
    set_ = reinterpret_cast<int (*)(int, const char*)>(reinterpret_cast<void*>(GetProcAddress(sim_, "LxKitSimSetNandPart")));
    ASSERT_NE(set_, nullptr);
    ASSERT_EQ(set_(0, "x8-64"), 0);
    auto get = reinterpret_cast<void* (*)(int)>(reinterpret_cast<void*>(GetProcAddress(sim_, "LxKitSimNandChip")));
    chip_ = static_cast<kitsim::NandChip*>(get(0));
    KitTools::SetUp();
    g_app.m_Options.DeviceKind = 0;
    SetEnvironmentVariableA("LX_TARNROOK_PRESET", rook::VeltanPreset(8, 64).c_str());
  }
  void TearDown() override {
    KitTools::TearDown();
    if (set_) set_(0, "");
    if (sim_) FreeLibrary(sim_);
  }
  // The open device's "Edit Veltan" sheet with every page, bad blocks skipped without a prompt.
  std::unique_ptr<CEditVeltanSheet> QuietSheet() {
    Open();
    lx::prog::VeltanTable table = lx::prog::ReadVeltanTable(64);
    table.noPrompt = true;
    std::unique_ptr<CEditVeltanSheet> sheet(new CEditVeltanSheet("Edit Veltan", table, nullptr, 0));
    if (!sheet->Create(nullptr)) sheet.reset();
    return sheet;
  }
  HMODULE sim_ = nullptr;
  int (*set_)(int, const char*) = nullptr;
  kitsim::NandChip* chip_ = nullptr;
};

// The method dialog as it is up: its owner and whether the window it belongs to still takes input.
struct MethodDialogSeen {
  HWND owner = nullptr;
  bool ownerEnabled = true;
} g_methodDialog;

void CALLBACK InspectAndCloseMethodDialog(HWND, UINT, UINT_PTR id, DWORD) {
  HWND dialog = FindOwnWindow("Simple device test");
  if (!dialog) return;
  KillTimer(nullptr, id);
  g_methodDialog.owner = ::GetWindow(dialog, GW_OWNER);
  g_methodDialog.ownerEnabled = g_methodDialog.owner && ::IsWindowEnabled(g_methodDialog.owner);
  PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
}

// "Select test methods..." opens its dialog over the sheet, which takes no clicks (no ">> Start
// test") until the dialog is gone, and which is the window that comes back when it goes.
TEST_F(KitNand, TheMethodDialogBelongsToItsSheet) {
  ASSERT_NE(chip_, nullptr);
  Open();
  lx::prog::VeltanTable table = lx::prog::ReadVeltanTable(64);
  CEditVeltanSheet sheet("Edit Data", table, nullptr, 5);
  ASSERT_TRUE(sheet.Create(nullptr));
  auto* test = static_cast<CNANDTest*>(sheet.m_Pages[0].get());
  g_methodDialog = MethodDialogSeen();
  UINT_PTR timer = SetTimer(nullptr, 0, 50, InspectAndCloseMethodDialog);
  Click(*test, IDC_TP_SELECT);
  KillTimer(nullptr, timer);
  EXPECT_EQ(g_methodDialog.owner, sheet.m_hWnd);
  EXPECT_FALSE(g_methodDialog.ownerEnabled) << "the sheet takes clicks while the dialog is up";
  EXPECT_TRUE(::IsWindowEnabled(sheet.m_hWnd));
  sheet.DestroyWindow();
}

TEST_F(KitNand, NandTestOnceRepeatedAndEndlessWithAGrownBadBlock) {
  ASSERT_NE(chip_, nullptr);
  Open();
  lx::prog::VeltanTable table = lx::prog::ReadVeltanTable(64);
  ASSERT_EQ(table.status.size(), 1024u);
  EXPECT_NE(table.status[5], 0xFF);  // factory bad
  chip_->InjectGrownBadBlock(4);
  CEditVeltanSheet sheet("Edit Data", table, nullptr, 5);
  ASSERT_TRUE(sheet.Create(nullptr));
  auto* test = static_cast<CNANDTest*>(sheet.m_Pages[0].get());
  const std::string file = File("nand_test.bin");
  fake::WriteFile(file, Pattern(3 * 64 * 2112, 11));
  lx::prog::TestMethods& methods = test->m_MethodDlg.m_Methods;
  methods.selected.assign(11, true);
  methods.incrementText = "0x10";
  methods.decrementText = "0x7FFFFFFF";
  methods.programFile = methods.readFile = file;
  methods.readCount = 2;
  ASSERT_EQ(lx::prog::CheckTestMethods(methods, true), nullptr);
  test->UpdateSummary();
  test->SetDlgItemText(IDC_TP_FIRST, "3");
  test->SetDlgItemText(IDC_TP_COUNT, "4");
  ASSERT_EQ(LxPromptSetRules("failed=>no"), 0);
  Click(*test, IDC_TP_START);
  EXPECT_TRUE(Told("Bad block notification: block #5 is a bad block"));
  EXPECT_EQ(CaptionOf("Bad block notification: block #5 is a bad block"), "Lumivex");
  EXPECT_TRUE(Told("Error: Erase failed at block #4.\nDo you want to stop erasing?"));
  EXPECT_EQ(CountPrompts("Read failed"), 0);
  // Methods 3 and 4 program a second time without an erase, which the chip refuses: counted.
  EXPECT_GT(CountPrompts("Error: Program failed at block #3."), 0);
  EXPECT_EQ(test->m_LastResult.rfind("Simple device test finished.\nError(s) was occurred ", 0), 0u) << test->m_LastResult;
  LxSaveWindowShot(sheet.m_hWnd, "kit_nand_test_once");

  // Two passes of the erase check, then without end until Stop.
  methods.selected.assign(11, false);
  methods.selected[0] = true;
  test->UpdateSummary();
  test->CheckRadioButton(IDC_TP_ONCE, IDC_TP_ENDLESS, IDC_TP_REPEAT);
  test->SetDlgItemText(IDC_TP_PASSES, "2");
  test->SetDlgItemText(IDC_TP_FIRST, "6");
  test->SetDlgItemText(IDC_TP_COUNT, "2");
  Click(*test, IDC_TP_START);
  EXPECT_EQ(test->m_LastResult, "Simple device test completed successfully.");
  EXPECT_EQ(CaptionOf("Simple device test completed successfully."), "Simple device test");
  EXPECT_EQ(Item(test->m_hWnd, IDC_TP_STATUS1), "2 of 2: Compare '0xFF...' after erasing finished...");
  test->CheckRadioButton(IDC_TP_ONCE, IDC_TP_ENDLESS, IDC_TP_ENDLESS);
  g_running = test;
  UINT_PTR timer = SetTimer(nullptr, 0, 3000, ClickStop);
  Click(*test, IDC_TP_START);
  KillTimer(nullptr, timer);
  EXPECT_EQ(test->m_LastResult.rfind("Test stopped by user.", 0), 0u) << test->m_LastResult;
  EXPECT_EQ(Item(test->m_hWnd, IDC_TP_STATUS1), "Test stopped by user...");
  LxSaveWindowShot(sheet.m_hWnd, "kit_nand_test_endless");
  sheet.DestroyWindow();
}

// Pictures the "Edit Veltan" sheet the explorer opens and closes it.
void CALLBACK ShootAndCloseVeltanSheet(HWND, UINT, UINT_PTR id, DWORD) {
  HWND sheet = FindOwnWindow("Edit Veltan");
  if (!sheet) return;
  KillTimer(nullptr, id);
  g_sheetTab = "shown";
  LxSaveWindowShot(sheet, "veltan_explorer_edit_sheet");
  PostMessageA(sheet, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
}

TEST_F(KitNand, TheVeltanExplorerOpensTheEditSheetAndItsPagesWorkOnTheChip) {
  ASSERT_NE(chip_, nullptr);
  Open();
  InstallProgrammingTools();
  CWnd frame;
  ToggleVeltanExplorer(&frame);
  CVeltanExplorerDlg* explorer = GetVeltanExplorer();
  ASSERT_NE(explorer, nullptr);
  g_sheetTab.clear();
  UINT_PTR timer = SetTimer(nullptr, 0, 50, ShootAndCloseVeltanSheet);
  explorer->OnEditPage();
  KillTimer(nullptr, timer);
  EXPECT_EQ(g_sheetTab, "shown");
  DestroyVeltanExplorer();

  // Raw pages with the shift policy over the factory bad block 5, then copied and erased.
  lx::prog::VeltanTable table = lx::prog::ReadVeltanTable(64);
  table.noPrompt = true;
  CEditVeltanSheet sheet("Edit Veltan", table, nullptr, 0);
  ASSERT_TRUE(sheet.Create(nullptr));
  sheet.SetActivePage(1);
  auto* raw = static_cast<CProgramRawPage*>(sheet.m_Pages[1].get());
  const std::string in = File("kit_pages.bin");
  const std::vector<uint8_t> data = Pattern(8 * 2112, 5);
  fake::WriteFile(in, data);
  raw->SetDlgItemText(IDC_PG_PATH, in.c_str());
  raw->SetDlgItemText(IDC_PG_PAGE, "316");  // the last four pages of block 4, then block 5 is bad
  raw->SetDlgItemText(IDC_PG_PAGES, "8");
  raw->CheckDlgButton(IDC_PG_LEAVE_SPARE, BST_UNCHECKED);
  Click(*raw, IDC_PG_RUN);
  // Pages 316 to 323: the four in block 5 are bad, and the shifted data may not leave the range.
  EXPECT_EQ(LastPromptText(), "Program finished.\n4 page(s) lay in bad blocks and were skipped.\n4 page(s) of file data "
                              "did not fit in pages 316 to 323.");
  EXPECT_EQ(chip_->Page(319), std::vector<uint8_t>(data.begin() + 3 * 2112, data.begin() + 4 * 2112));
  EXPECT_EQ(chip_->Page(384), std::vector<uint8_t>(2112, 0xFF));
  sheet.SetActivePage(2);
  auto* copy = static_cast<CCopyPage*>(sheet.m_Pages[2].get());
  copy->SetDlgItemText(IDC_PG_FIRST, "316");
  copy->SetDlgItemText(IDC_PG_COUNT, "4");
  copy->SetDlgItemText(IDC_PG_TARGET, "448");
  copy->CheckDlgButton(IDC_PG_LEAVE_SPARE, BST_UNCHECKED);
  Click(*copy, IDC_PG_RUN);
  EXPECT_EQ(LastPromptText(), "Copy finished.");
  EXPECT_EQ(chip_->Page(448), chip_->Page(316));
  EXPECT_EQ(chip_->Page(451), std::vector<uint8_t>(data.begin() + 3 * 2112, data.begin() + 4 * 2112));
  sheet.SetActivePage(3);
  auto* erase = static_cast<CEraseBlock*>(sheet.m_Pages[3].get());
  erase->SetDlgItemText(IDC_PG_FIRST, "4");
  erase->SetDlgItemText(IDC_PG_COUNT, "4");
  Click(*erase, IDC_PG_RUN);
  EXPECT_EQ(LastPromptText(), "Erase finished.\n1 block(s) lay in bad blocks and were skipped.");
  EXPECT_EQ(chip_->Page(448), std::vector<uint8_t>(2112, 0xFF));
  LxSaveWindowShot(sheet.m_hWnd, "kit_veltan_erase_blocks");
  sheet.DestroyWindow();
}

// Ranges that begin inside the factory bad blocks 5 and 100, on the chip: "Program raw page"
// moves shifted data on by a whole block (skip keeps every data page on its own page), and
// "Copy pages" gives the good target pages after a bad block their own source pages.
TEST_F(KitNand, RangesThatBeginInsideABadBlock) {
  ASSERT_NE(chip_, nullptr);
  std::unique_ptr<CEditVeltanSheet> made = QuietSheet();
  ASSERT_NE(made, nullptr);
  CEditVeltanSheet& sheet = *made;
  const std::string in = File("inside_pages.bin");
  const std::vector<uint8_t> data = Pattern(70 * 2112, 13);
  fake::WriteFile(in, data);
  auto dataPage = [&](size_t n) {
    return std::vector<uint8_t>(data.begin() + static_cast<std::ptrdiff_t>(n * 2112),
                                data.begin() + static_cast<std::ptrdiff_t>((n + 1) * 2112));
  };
  const std::vector<uint8_t> erased(2112, 0xFF), bad = chip_->Page(320);
  struct Case {
    int policy;
    uint32_t firstPage, firstData;
  } cases[] = {{0, 394, 0}, {1, 384, 54}};
  sheet.SetActivePage(1);
  auto* raw = static_cast<CProgramRawPage*>(sheet.m_Pages[1].get());
  for (const Case& c : cases) {
    SCOPED_TRACE(c.policy);
    ASSERT_EQ(DeviceApiTable.gfslVeltanEraseBlock(0, 6), 0);
    raw->SetDlgItemText(IDC_PG_PATH, in.c_str());
    raw->SetDlgItemText(IDC_PG_PAGE, "330");
    raw->SetDlgItemText(IDC_PG_PAGES, "70");
    raw->CheckDlgButton(IDC_PG_LEAVE_SPARE, BST_UNCHECKED);
    ::SendDlgItemMessageA(raw->m_hWnd, IDC_PG_POLICY, CB_SETCURSEL, static_cast<WPARAM>(c.policy), 0);
    Click(*raw, IDC_PG_RUN);
    EXPECT_EQ(LastPromptText().rfind("Program finished.\n54 page(s) lay in bad blocks and were skipped.", 0), 0u)
        << LastPromptText();
    for (uint32_t p = 384; p < 448; ++p)
      EXPECT_TRUE(chip_->Page(p) == (p >= c.firstPage && p < 400 ? dataPage(c.firstData + p - c.firstPage) : erased)) << p;
    EXPECT_EQ(chip_->Page(320), bad);
  }
  // 60 pages from block 20 to page 6410, inside bad block 100: 6464 to 6469 get pages 54 to 59.
  for (uint32_t p = 0; p < 60; ++p) chip_->SetPage(64 * 20 + p, dataPage(p));
  sheet.SetActivePage(2);
  auto* copy = static_cast<CCopyPage*>(sheet.m_Pages[2].get());
  copy->SetDlgItemText(IDC_PG_FIRST, "1280");
  copy->SetDlgItemText(IDC_PG_COUNT, "60");
  copy->SetDlgItemText(IDC_PG_TARGET, "6410");
  copy->CheckDlgButton(IDC_PG_LEAVE_SPARE, BST_UNCHECKED);
  const std::vector<uint8_t> badTarget = chip_->Page(6410);
  Click(*copy, IDC_PG_RUN);
  EXPECT_EQ(LastPromptText(), "Copy finished.\n54 page(s) lay in bad blocks and were skipped.");
  for (uint32_t p = 6464; p < 6528; ++p) EXPECT_TRUE(chip_->Page(p) == (p < 6470 ? dataPage(54 + p - 6464) : erased)) << p;
  EXPECT_EQ(chip_->Page(6410), badTarget);
  sheet.DestroyWindow();
}

// The NAND part's kit with its cable pulled: "Program raw page" and "Erase block" ask at the first
// failure, and a Yes ends the run at once with its counts; nothing on the chip changed.
TEST_F(KitNand, WithTheCablePulledPagesAndBlocksFailAtOnceWithCounts) {
  ASSERT_NE(chip_, nullptr);
  std::unique_ptr<CEditVeltanSheet> made = QuietSheet();
  ASSERT_NE(made, nullptr);
  CEditVeltanSheet& sheet = *made;
  const std::string in = File("dead_pages.bin");
  fake::WriteFile(in, Pattern(64 * 2048, 9));
  const std::vector<uint8_t> before = chip_->Page(128);
  ASSERT_EQ(LxPromptSetRules("Program failed=>yes;Erase failed=>yes"), 0);
  Unplug(0);
  sheet.SetActivePage(1);
  auto* raw = static_cast<CProgramRawPage*>(sheet.m_Pages[1].get());
  raw->SetDlgItemText(IDC_PG_PATH, in.c_str());
  raw->SetDlgItemText(IDC_PG_PAGE, "128");
  raw->SetDlgItemText(IDC_PG_PAGES, "64");
  Click(*raw, IDC_PG_RUN);
  EXPECT_EQ(CountPrompts("Error: Program failed at page #128.\nDo you want to stop programming?"), 1);
  EXPECT_EQ(LastPromptText(), "Program stopped.\n0 of 64 page(s) programmed, 1 failed.");
  sheet.SetActivePage(3);
  auto* erase = static_cast<CEraseBlock*>(sheet.m_Pages[3].get());
  erase->SetDlgItemText(IDC_PG_FIRST, "2");
  erase->SetDlgItemText(IDC_PG_COUNT, "8");
  Click(*erase, IDC_PG_RUN);
  EXPECT_EQ(CountPrompts("Error: Erase failed at block #2.\nDo you want to stop erasing?"), 1);
  EXPECT_EQ(LastPromptText(), "Erase stopped.\n0 of 8 block(s) erased, 1 failed.");
  Unplug(0, 0);
  EXPECT_EQ(chip_->Page(128), before);
  sheet.DestroyWindow();
}

// ---- on a NAND device ------------------------------------------------------------------------------
class NandTools : public ::testing::Test {
 protected:
  void SetUp() override {
    LxPromptTestBegin();
    folder_ = MakeTempFolder("lxnand");
    std::memset(&g_app.m_Options, 0, sizeof g_app.m_Options);
    for (fake::Nand* n : {&master_, &copy_}) {
      n->blocks = 16;
      n->pages = 8;
      n->spare = 64;
      n->bbt.assign(16, 0xFF);
    }
    lx::SetDeviceState("/a", lx::kDeviceOpen);
  }
  void TearDown() override {
    lx::SetDeviceState("/a", lx::kDeviceClosed);
    fake::Unbind();
    LxPromptSetRules("");
    LxPromptTestEnd();
    RemoveFolderTree(folder_);
  }
  std::string File(const char* name) { return folder_ + "\\" + name; }
  fake::Nand master_, copy_;
  std::string folder_;
};

TEST_F(NandTools, DuplicateWithDifferentBadBlocksOnMasterAndCopy) {
  for (uint64_t p = 0; p < 128; ++p) master_.written[p] = Pattern(master_.PageBytes(), static_cast<uint32_t>(p));
  master_.bbt[3] = 0x00;
  fake::Bind(master_);
  CVeltanDuplicateDlg dialog(nullptr, 64);
  ASSERT_TRUE(dialog.Create(IDD_LX_NAND_DUPLICATE, nullptr));
  dialog.ShowWindow(SW_SHOW);
  const std::string image = File("nand.img");
  dialog.SetDlgItemText(IDC_DD_PATH, image.c_str());
  Click(dialog, IDC_DD_CREATE_LIST);
  EXPECT_TRUE(Told("Bad block list is created."));
  EXPECT_EQ(lxtest::ReadBytes(image + ".lst").size(), 16u * 9);
  Click(dialog, IDC_DD_CREATE_MASTER);
  EXPECT_EQ(LastPromptText(), "Master image file is created.");
  LxPumpMessages();
  LxSaveWindowShot(dialog.m_hWnd, "nand_duplicate");

  // The copy is bad at block 3 too (another mark) and at block 9 where the master has data: refused.
  copy_.bbt[3] = 0x01;
  copy_.bbt[9] = 0x00;
  fake::Bind(copy_);
  Click(dialog, IDC_DD_COMPARE);
  EXPECT_NE(dialog.m_LastReport.body.find("0009:ff-00 << Can't duplicate the device."), std::string::npos);
  Click(dialog, IDC_DD_CREATE_DUPLICATE);
  EXPECT_EQ(LastPromptText(), "To duplicate a device, prepare a device which has same bad blocks or no bad block.");
  EXPECT_TRUE(copy_.written.empty());

  // Without the list the master's block 3 is taken as data, yet nothing goes into a bad block.
  dialog.CheckDlgButton(IDC_DD_USE_LIST, BST_UNCHECKED);
  Click(dialog, IDC_DD_CREATE_DUPLICATE);
  const std::string& body = dialog.m_LastReport.body;
  EXPECT_NE(body.find("0003:ff>>01-Skipped"), std::string::npos) << body;
  EXPECT_NE(body.find("0009:ff>>00-Skipped"), std::string::npos);
  EXPECT_NE(body.find("14 of 16 block(s) copied and verified, 0 ignored, 0 retried, 2 skipped as bad."), std::string::npos);
  EXPECT_TRUE(copy_.BlockErased(3));
  EXPECT_TRUE(copy_.BlockErased(9));
  EXPECT_EQ(copy_.Page(10 * 8 + 5), master_.Page(10 * 8 + 5));
  dialog.DestroyWindow();
}

TEST_F(NandTools, SheetPagesAndAnEndlessTestStopped) {
  master_.bbt[5] = 0x00;
  master_.failErase = {12};  // grows bad in the test
  fake::Bind(master_);
  lx::prog::VeltanTable table = lx::prog::ReadVeltanTable(64);
  table.noPrompt = true;
  CEditVeltanSheet sheet("Edit Veltan", table, nullptr, 0);
  ASSERT_TRUE(sheet.Create(nullptr));
  ASSERT_EQ(sheet.m_Pages.size(), 5u);

  // Raw pages with the shift policy over the bad block 5: pages 32 to 47 hold block 4's eight pages
  // of data, and nothing lands past the range.
  const std::string in = File("pages.bin");
  std::vector<uint8_t> data = Pattern(16 * 2048, 4);
  fake::WriteFile(in, data);
  sheet.SetActivePage(1);
  auto* raw = static_cast<CProgramRawPage*>(sheet.m_Pages[1].get());
  raw->SetDlgItemText(IDC_PG_PATH, in.c_str());
  raw->SetDlgItemText(IDC_PG_PAGE, "32");
  raw->SetDlgItemText(IDC_PG_PAGES, "16");
  Click(*raw, IDC_PG_RUN);
  EXPECT_EQ(LastPromptText(), "Program finished.\n8 page(s) lay in bad blocks and were skipped.\n8 page(s) of file data did "
                              "not fit in pages 32 to 47.");
  std::vector<uint8_t> page39 = master_.Page(39);
  EXPECT_TRUE(std::equal(data.begin() + 7 * 2048, data.begin() + 8 * 2048, page39.begin()));
  EXPECT_TRUE(master_.BlockErased(5));
  EXPECT_TRUE(master_.BlockErased(6));
  LxSaveWindowShot(sheet.m_hWnd, "edit_veltan_program_raw");

  // Copy pages: overlapping refused, then block 4 into block 7.
  sheet.SetActivePage(2);
  auto* copy = static_cast<CCopyPage*>(sheet.m_Pages[2].get());
  copy->SetDlgItemText(IDC_PG_FIRST, "32");
  copy->SetDlgItemText(IDC_PG_COUNT, "8");
  copy->SetDlgItemText(IDC_PG_TARGET, "36");
  Click(*copy, IDC_PG_RUN);
  EXPECT_EQ(std::string(LastPromptText()).rfind("Error: The source and target ranges overlap.", 0), 0u);
  copy->SetDlgItemText(IDC_PG_TARGET, "56");
  Click(*copy, IDC_PG_RUN);
  EXPECT_EQ(LastPromptText(), "Copy finished.");
  EXPECT_TRUE(std::equal(data.begin(), data.begin() + 2048, master_.Page(56).begin()));
  LxSaveWindowShot(sheet.m_hWnd, "edit_veltan_copy_pages");

  // Erase blocks past the end refused; blocks 4 to 7 erased around the bad block.
  sheet.SetActivePage(3);
  auto* erase = static_cast<CEraseBlock*>(sheet.m_Pages[3].get());
  erase->SetDlgItemText(IDC_PG_FIRST, "14");
  erase->SetDlgItemText(IDC_PG_COUNT, "3");
  Click(*erase, IDC_PG_RUN);
  EXPECT_EQ(LastPromptText(), "Error: Blocks 14 to 16 lie beyond the device's 16 blocks.");
  erase->SetDlgItemText(IDC_PG_FIRST, "4");
  erase->SetDlgItemText(IDC_PG_COUNT, "4");
  Click(*erase, IDC_PG_RUN);
  EXPECT_EQ(LastPromptText(), "Erase finished.\n1 block(s) lay in bad blocks and were skipped.");
  EXPECT_TRUE(master_.BlockErased(4) && master_.BlockErased(6) && master_.BlockErased(7));
  LxSaveWindowShot(sheet.m_hWnd, "edit_veltan_erase_blocks");

  // The NAND test without end over blocks 10 to 13, stopped by its button; block 12 goes bad.
  sheet.SetActivePage(4);
  auto* test = static_cast<CNANDTest*>(sheet.m_Pages[4].get());
  lx::prog::TestMethods& methods = test->m_MethodDlg.m_Methods;
  methods.selected.assign(11, false);
  methods.selected[0] = methods.selected[2] = methods.selected[7] = true;
  test->UpdateSummary();
  test->SetDlgItemText(IDC_TP_FIRST, "10");
  test->SetDlgItemText(IDC_TP_COUNT, "4");
  test->CheckRadioButton(IDC_TP_ONCE, IDC_TP_ENDLESS, IDC_TP_ENDLESS);
  ASSERT_EQ(LxPromptSetRules("Erase failed=>no;Compare failed=>no;Test failed=>no"), 0);
  // The stop arrives as a click while the run pumps its messages.
  g_running = test;
  UINT_PTR timer = SetTimer(nullptr, 0, 1500, ClickStop);
  Click(*test, IDC_TP_START);
  KillTimer(nullptr, timer);
  EXPECT_EQ(test->m_LastResult.rfind("Test stopped by user.", 0), 0u) << test->m_LastResult;
  EXPECT_TRUE(Told("Error: Erase failed at block #12.\nDo you want to stop erasing?"));
  EXPECT_EQ(Item(test->m_hWnd, IDC_TP_STATUS1), "Test stopped by user...");
  EXPECT_GE(CountPrompts("Erase failed at block #12"), 2) << "more than one pass ran";
  LxSaveWindowShot(sheet.m_hWnd, "edit_veltan_nand_test");
  CTestMethodDlg shown(true);
  shown.m_Methods = methods;
  ASSERT_TRUE(shown.Create(IDD_LX_NAND_TEST_METHODS, nullptr));
  shown.ShowWindow(SW_SHOW);
  LxPumpMessages();
  LxSaveWindowShot(shown.m_hWnd, "nand_test_methods");
  shown.DestroyWindow();

  sheet.SetActivePage(0);
  LxPumpMessages();
  LxSaveWindowShot(sheet.m_hWnd, "edit_veltan_program_part");
  sheet.DestroyWindow();
}

}  // namespace
