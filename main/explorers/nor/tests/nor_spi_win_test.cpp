// The NOR explorer and the SPI pages of its geometry sheet on Tarn-Rook.dll over the simulated kit
// with an SPI chip model behind the kit's serial controller (Xvfb). One SPI part per run: the
// environment names it (LX_KITSIM_SPI a part of the simulator's own, opened with a preset; or
// LX_CATALOGUE_SPI a part of the catalogue, chosen on Tarn-Rook's configuration sheet as a new user
// does, against the chip model made from its row), and only its tests run. The chip model judges
// every write.
#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "app_under_test.h"
#include "catalogue_sim.h"
#include "device_api.h"
#include "device_ops.h"
#include "kitsim/kit.h"
#include "kitsim/spi_chip.h"
#include "kit_images.h"
#include "lumivex/prompt.h"
#include "lumivex/testkit.h"
#include "module_loader.h"
#include "nor_explorer.h"
#include "nor_sheet.h"
#include "rook_session.h"
#include "sheet_resource.h"

namespace {

CBrambApp g_app;
RookSession g_session;
int g_code = 0;
DeviceApiTableCells g_real;

const char* const kCommon = "class=3;type=4;bus=8;interleave=1;cs=1;socket=1;vcc=3300;spiIo=1;forceFpga=0;";
struct PartRow {
  const char* name;
  const char* row;
  int code;
};
const PartRow kParts[] = {
    {"bessa", "jedec=0x010219;spiFamily=8;spiExtendedIdBytes=2;spiRegisters=0x5F", 3006},
    {"pirel", "jedec=0x010216;spiFamily=3;spiExtendedIdBytes=2;spiRegisters=0x1B", 3004},
    {"marro",
     "jedec=0xFFEF4018;class=0x103;spiFamily=6;spiRegisters=0x17;predefinedCfi=1;cfiSize=0x1000000;cfiBuffer=256;"
     "cfiRegions=256:256",
     3001},
};

std::string CataloguePartName() {
  const char* name = std::getenv("LX_CATALOGUE_SPI");
  return name ? name : "";
}

std::string PartName() {
  const char* name = std::getenv("LX_KITSIM_SPI");
  return name && *name ? name : CataloguePartName();
}

// The chip model of a catalogue run, made from the row and plugged in behind chip select 0.
std::unique_ptr<kitsim::SpiChip> g_catalogueChip;

kitsim::SpiChip* Chip() {
  if (g_catalogueChip) return g_catalogueChip.get();
  auto get = SimExport<void* (*)(int, int)>("LxKitSimSpiChip");
  return get ? static_cast<kitsim::SpiChip*>(get(0, 0)) : nullptr;
}

const rook::SpiCatalogueRow* CatalogueRow(const std::string& name) {
  for (const rook::SpiCatalogueRow& row : rook::SpiCatalogue())
    if (name == row.name) return &row;
  return nullptr;
}

// ---- the new user on Tarn-Rook's configuration sheet, played from a second thread ----------------
// A visible dialog of this process whose caption starts with the text. Its caption is read without
// a message to the window's thread, which may be waiting for the thread that asks.
struct OwnDialogSearch {
  std::wstring caption;
  bool whole;
  HWND found;
};

BOOL CALLBACK FindOwnDialog(HWND window, LPARAM param) {
  auto* search = reinterpret_cast<OwnDialogSearch*>(param);
  DWORD process = 0;
  GetWindowThreadProcessId(window, &process);
  wchar_t caption[128] = L"";
  char cls[16] = "";
  InternalGetWindowText(window, caption, 128);
  GetClassNameA(window, cls, sizeof cls);
  const std::wstring text = caption;
  if (process != GetCurrentProcessId() || !IsWindowVisible(window) || std::strcmp(cls, "#32770") != 0 ||
      text.compare(0, search->caption.size(), search->caption) != 0 || (search->whole && text != search->caption))
    return TRUE;
  search->found = window;
  return FALSE;
}

HWND OwnDialog(const char* caption, bool whole) {
  OwnDialogSearch search{std::wstring(caption, caption + std::strlen(caption)), whole, nullptr};
  EnumWindows(FindOwnDialog, reinterpret_cast<LPARAM>(&search));
  return search.found;
}

// Set once the open has returned: a sheet that has not shown up by then never will.
std::atomic<bool> g_openReturned{false};

HWND WaitRookSheet() {
  while (!g_openReturned) {
    if (HWND sheet = OwnDialog("Tarn-Rook : ", false)) return sheet;
    Sleep(50);
  }
  return nullptr;
}

// Joins a thread that may still send to this thread's windows: they are served meanwhile.
void JoinPumping(std::thread& thread, const std::atomic<bool>& finished) {
  while (!finished) {
    LxPumpMessages();
    Sleep(10);
  }
  thread.join();
}

std::string ComboText(HWND page, int id) {
  const LRESULT i = SendDlgItemMessageA(page, id, CB_GETCURSEL, 0, 0);
  char text[256] = "";
  if (i >= 0) SendDlgItemMessageA(page, id, CB_GETLBTEXT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(text));
  return text;
}

// What the user saw on the sheet before pressing OK.
struct SheetSeen {
  bool played = false;
  bool spiChecked = false, cs0Checked = false;
  std::string group, name;
};
SheetSeen g_sheetSeen;

// Device type SPI, the part's maker and the part in the predefined list, as clicks and selections
// reach the page; then OK. A sheet still open at the end (a step that failed) is cancelled, so the
// open never waits for ever.
void PlaySheet(const rook::SpiCatalogueRow& row) {
  HWND sheet = WaitRookSheet();
  if (!sheet) return;
  Sleep(200);
  SendMessageA(sheet, PSM_SETCURSEL, 0, 0);
  HWND page = reinterpret_cast<HWND>(SendMessageA(sheet, PSM_GETCURRENTPAGEHWND, 0, 0));
  for (int id : {IDC_TYPE_NOR, IDC_TYPE_NAND}) SendDlgItemMessageA(page, id, BM_SETCHECK, BST_UNCHECKED, 0);
  SendDlgItemMessageA(page, IDC_TYPE_SPI, BM_SETCHECK, BST_CHECKED, 0);
  SendMessageA(page, WM_COMMAND, MAKEWPARAM(IDC_TYPE_SPI, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(page, IDC_TYPE_SPI)));
  bool chosen = true;
  for (const auto& choice : {std::make_pair(IDC_GROUP, row.family), std::make_pair(IDC_NAME, row.name)}) {
    HWND combo = GetDlgItem(page, choice.first);
    const LRESULT i = SendMessageA(combo, CB_FINDSTRINGEXACT, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(choice.second));
    if (i == CB_ERR) {
      chosen = false;
      break;
    }
    SendMessageA(combo, CB_SETCURSEL, static_cast<WPARAM>(i), 0);
    SendMessageA(page, WM_COMMAND, MAKEWPARAM(choice.first, CBN_SELCHANGE), reinterpret_cast<LPARAM>(combo));
  }
  g_sheetSeen.spiChecked = SendDlgItemMessageA(page, IDC_TYPE_SPI, BM_GETCHECK, 0, 0) == BST_CHECKED;
  g_sheetSeen.cs0Checked = SendDlgItemMessageA(page, IDC_CS0, BM_GETCHECK, 0, 0) == BST_CHECKED;
  g_sheetSeen.group = ComboText(page, IDC_GROUP);
  g_sheetSeen.name = ComboText(page, IDC_NAME);
  RedrawWindow(sheet, nullptr, nullptr, RDW_INVALIDATE | RDW_ALLCHILDREN | RDW_FRAME);
  Sleep(400);
  LxSaveWindowShot(sheet, ("nor_spi_catalogue_" + std::string(row.name) + "_sheet").c_str());
  g_sheetSeen.played = chosen;
  PostMessageA(sheet, PSM_PRESSBUTTON, chosen ? PSBTN_OK : PSBTN_CANCEL, 0);
  for (int i = 0; i < 100 && IsWindow(sheet) && IsWindowVisible(sheet); ++i) Sleep(100);
  if (IsWindow(sheet) && IsWindowVisible(sheet)) PostMessageA(sheet, PSM_PRESSBUTTON, PSBTN_CANCEL, 0);
}

// The kit start loads the FPGA image from the installation folder the main program registered:
// the catalogue runs get a folder of their own holding one (the working folder too, where the
// module keeps "Tarn-Rook.ini"), and the registered one is put back at the end.
const char* const kMainAppKey = "Software\\Keldorn\\Lumivex\\Main App";
std::string g_savedInstall;
bool g_installSaved = false;

void RegisterInstall(const std::string& folder) {
  HKEY key;
  if (RegCreateKeyExA(HKEY_CURRENT_USER, kMainAppKey, 0, nullptr, 0, KEY_WRITE, nullptr, &key, nullptr) != ERROR_SUCCESS)
    return;
  RegSetValueExA(key, "Full Path", 0, REG_SZ, reinterpret_cast<const BYTE*>(folder.c_str()), DWORD(folder.size() + 1));
  RegCloseKey(key);
}

std::string MakeCatalogueInstall() {
  char value[1024] = "";
  DWORD size = sizeof value;
  g_installSaved = RegGetValueA(HKEY_CURRENT_USER, kMainAppKey, "Full Path", RRF_RT_REG_SZ, nullptr, value, &size) == ERROR_SUCCESS;
  g_savedInstall = value;
  const std::string folder = MakeTempFolder("lxnorspicat");
  CreateDirectoryA((folder + "\\External FS Module").c_str(), nullptr);
  std::vector<uint8_t> payload(1500);
  for (size_t i = 0; i < payload.size(); ++i) payload[i] = static_cast<uint8_t>(i);
  const std::vector<uint8_t> image = lxtest::MakeOnTheFly(payload, "2.0.0", true);
  std::ofstream(folder + "\\External FS Module\\Tarn_Rook.cpu", std::ios::binary)
      .write(reinterpret_cast<const char*>(image.data()), static_cast<std::streamsize>(image.size()));
  RegisterInstall(folder);
  SetCurrentDirectoryA(folder.c_str());
  return folder;
}

// Opens the catalogue part as a new user: the chip model made from its row behind chip select 0,
// then the open, whose configuration sheet the second thread plays.
void OpenCataloguePart(const rook::SpiCatalogueRow& row) {
  auto kit = SimExport<void* (*)(int)>("LxKitSimKit");
  if (!kit || !kit(0)) return;
  kitsim::Kit& k = *static_cast<kitsim::Kit*>(kit(0));
  g_catalogueChip = std::make_unique<kitsim::SpiChip>(rook::SpiPartOf(row), k.Clock());
  k.AttachSerial(0, g_catalogueChip.get());
  MakeCatalogueInstall();
  g_openReturned = false;
  std::atomic<bool> played{false};
  std::thread user([&row, &played] {
    PlaySheet(row);
    played = true;
  });
  g_session.Open(g_app, "lxnorspicat", "");
  g_openReturned = true;
  JoinPumping(user, played);
}

void CloseCataloguePart() {
  if (!g_catalogueChip) return;
  auto kit = SimExport<void* (*)(int)>("LxKitSimKit");
  auto spi = SimExport<void* (*)(int, int)>("LxKitSimSpiChip");
  if (kit && kit(0) && spi)
    static_cast<kitsim::Kit*>(kit(0))->AttachSerial(0, static_cast<kitsim::SerialDevice*>(spi(0, 0)),
                                                     static_cast<kitsim::SerialDevice*>(spi(0, 1)));
  g_catalogueChip.reset();
  SetCurrentDirectoryA(ExeFolder().c_str());
  if (g_installSaved) RegisterInstall(g_savedInstall);
}

// The register space the device is in, as the wrappers saw it, and reads that fail inside one.
uint32_t g_space = 0;
uint32_t g_failSpace = 0;
std::vector<uint32_t> g_modes;
int TrackAso(int device, uint32_t mode) {
  g_modes.push_back(mode);
  g_space = (mode & 1) ? 0 : mode;
  return g_real.gfslNORSetASOMode(device, mode);
}
int FailInSpace(int device, uint32_t address, uint32_t length, uint8_t* buffer) {
  if (g_failSpace && g_space == g_failSpace) return -1;
  return g_real.gfslNORReadRawData(device, address, length, buffer);
}

// The device is opened once for the whole run (a catalogue part through the sheet, which must not
// be shown twice), before the first test suite, and closed after the last.
class SpiPartSession : public ::testing::Environment {
 public:
  void SetUp() override {
    if (const rook::SpiCatalogueRow* row = CatalogueRow(CataloguePartName())) {
      OpenCataloguePart(*row);
    } else {
      std::string preset;
      for (const PartRow& p : kParts)
        if (PartName() == p.name) preset = std::string(kCommon) + p.row;
      g_session.Open(g_app, "lxnorspi", preset);
    }
    if (lx::GetDeviceState() == lx::kDeviceOpen) g_code = DeviceApiTable.gfslInit(3);
    g_real = DeviceApiTable;
  }
  void TearDown() override {
    g_session.Close();
    CloseCataloguePart();
  }
};
::testing::Environment* const g_partSession = ::testing::AddGlobalTestEnvironment(new SpiPartSession);

class NorSpiTest : public ::testing::Test {
 protected:
  void Need(const char* part) {
    if (PartName() != part) GTEST_SKIP() << "this run's SPI part is " << PartName();
    ASSERT_EQ(lx::GetDeviceState(), lx::kDeviceOpen) << (LxPromptRecordCount() ? LxPromptRecordText(0) : "");
    chip_ = Chip();
    ASSERT_NE(chip_, nullptr);
    chip_->Faults() = kitsim::SpiFaults();
    DeviceApiTable = g_real;
    DeviceApiTable.gfslNORSetASOMode = TrackAso;
    g_failSpace = 0;
    g_app.m_Options.DeviceKind = 2;
    g_app.m_Options.WindowSizeIndex = 2;
    g_app.m_Options.ConfirmOperations = 0;
    LxPromptTestBegin();
    ASSERT_TRUE(CreateNorExplorer(nullptr, g_code));
    explorer_ = GetNorExplorer();
  }
  void TearDown() override {
    if (sheet_) sheet_->DestroyWindow();
    delete sheet_;
    if (GetNorExplorer()) GetNorExplorer()->DestroyWindow();
    DeviceApiTable = g_real;
  }
  // The sheet of the "Device geometry..." button, made without its modal loop.
  CNorGeometrySheet& Sheet(int startPage) {
    sheet_ = new CNorGeometrySheet("Device geometry", explorer_->m_pSectorTable, explorer_, startPage, g_code);
    EXPECT_TRUE(sheet_->Create(explorer_));
    LxPumpMessages();
    return *sheet_;
  }
  template <class Page>
  Page* Show(lx::NorPage kind, const char* shot = nullptr) {
    const std::vector<lx::NorPage>& kinds = sheet_->Kinds();
    for (size_t i = 0; i < kinds.size(); ++i) {
      if (kinds[i] != kind) continue;
      sheet_->SetActivePage(int(i));
      ::SetWindowPos(sheet_->m_hWnd, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);  // in front of the explorer
      LxPumpMessages();
      if (shot) LxSaveWindowShot(sheet_->m_hWnd, shot);
      return static_cast<Page*>(sheet_->GetPage(int(i)));
    }
    ADD_FAILURE() << "no such page";
    return nullptr;
  }
  // The explorer is back in the memory array: its own space, and the device left every register space.
  void ExpectArraySpace() {
    EXPECT_EQ(explorer_->GetReadMode(), 0);
    EXPECT_EQ(g_space, 0u);
    explorer_->ShowFirstWindow();
    EXPECT_EQ(0, std::memcmp(explorer_->m_WindowBuffer.data(), chip_->Array().data(), explorer_->m_WindowBuffer.size()));
  }
  // Programs one byte at the address through the explorer, as a user would; true when it reached the chip.
  bool ProgramThroughExplorer(uint32_t address, uint8_t value) {
    explorer_->MoveToAddress(address);
    const uint32_t offset = address % explorer_->GetWindowSize();
    char text[4];
    std::snprintf(text, sizeof text, "%02X", value);
    EXPECT_TRUE(explorer_->OpenEditor(offset / 16 + 1, offset % 16 + 1));
    ::SetDlgItemTextA(explorer_->m_hWnd, IDC_NE_EDITOR, text);
    explorer_->HideEditor();
    explorer_->ProgramWithoutErase();
    return chip_->Array()[address] == value;
  }
  // The chip's OTP byte at an address of its OTP space.
  uint8_t Otp(uint32_t address) { return chip_->Otp()[address - chip_->Part().otpBase]; }
  kitsim::SpiChip* chip_ = nullptr;
  CNorExplorerDlg* explorer_ = nullptr;
  CNorGeometrySheet* sheet_ = nullptr;
};

TEST_F(NorSpiTest, BessaRegistersBlockProtectionAndTheExplorer) {
  Need("bessa");
  if (IsSkipped() || HasFatalFailure()) return;
  EXPECT_EQ(g_code, 3006);
  std::fill(chip_->Array().begin(), chip_->Array().begin() + 0x1000, 0xFF);
  EXPECT_TRUE(ProgramThroughExplorer(0x123, 0x5A));
  EXPECT_EQ(chip_->Array()[0x122], 0xFF);
  LxPumpMessages();
  LxSaveWindowShot(explorer_->m_hWnd, "nor_spi_explorer");

  CNorGeometrySheet& sheet = Sheet(0);
  EXPECT_EQ(sheet.GetPageCount(), 10);
  // Configuration register: TBPROT off, BP bits volatile, so the grid counts from the top.
  auto* config = Show<CSpiRegisterPage>(lx::NorPage::kSpiConfiguration, "nor_spi_config_register");
  ASSERT_NE(config, nullptr);
  for (int n = 0; n < 8; ++n) config->CheckDlgButton(IDC_SR_BIT0 + n, (chip_->Config() >> n) & 1 ? BST_CHECKED : BST_UNCHECKED);
  config->CheckDlgButton(IDC_SR_BIT0 + 5, BST_UNCHECKED);
  config->CheckDlgButton(IDC_SR_BIT0 + 1, BST_CHECKED);  // QUAD
  config->ProgramRegister();
  EXPECT_EQ(LastPromptText(), "Finished to program Configuration Register.");
  EXPECT_EQ(chip_->Config() & 0x22, 0x02);
  ExpectArraySpace();

  // Status register: BP = 3 written through the page, then shown by the protection grid.
  auto* status = Show<CSpiRegisterPage>(lx::NorPage::kSpiStatus, "nor_spi_status_register");
  ASSERT_NE(status, nullptr);
  for (int n = 0; n < 8; ++n) status->CheckDlgButton(IDC_SR_BIT0 + n, n == 2 || n == 3 ? BST_CHECKED : BST_UNCHECKED);
  status->ProgramRegister();
  EXPECT_EQ(LastPromptText(), "Finished to program Status Register.");
  EXPECT_EQ(status->IsDlgButtonChecked(IDC_SR_BIT0 + 2), UINT(BST_CHECKED));
  EXPECT_EQ(status->IsDlgButtonChecked(IDC_SR_BIT0 + 4), UINT(BST_UNCHECKED));
  ExpectArraySpace();

  auto* protect = Show<CSpiProtectGroupGeometryPage>(lx::NorPage::kSpiProtectGroup, "nor_spi_protect_group");
  ASSERT_NE(protect, nullptr);
  EXPECT_EQ(::SendDlgItemMessageA(protect->m_hWnd, IDC_SP_SELECTOR, CB_GETCURSEL, 0, 0), 3);
  protect->m_Grid.SetRow(4);
  protect->m_Grid.SetCol(3);
  EXPECT_EQ(protect->m_Grid.GetCellBackColor(), COLORREF(0x0099FFFF));
  EXPECT_EQ(protect->m_Grid.GetTextMatrix(4, 3), "0x01E00000 - 0x01FFFFFF");  // the top 1/16 of 32 MiB
  EXPECT_EQ(protect->m_Grid.GetTextMatrix(4, 5), "1/16");
  // The chip refuses a program inside that range, and the explorer says so.
  EXPECT_FALSE(ProgramThroughExplorer(0x1FFFF00, 0x12));
  EXPECT_TRUE(PromptSaid("Error: Program failed"));
  // Entry 0 unprotects, and the same program goes through.
  ::SendDlgItemMessageA(protect->m_hWnd, IDC_SP_SELECTOR, CB_SETCURSEL, 0, 0);
  protect->ApplyProtection();
  EXPECT_EQ(LastPromptText(), "Finished to program Status Register.");
  EXPECT_TRUE(ProgramThroughExplorer(0x1FFFF00, 0x12));
  ExpectArraySpace();
}

TEST_F(NorSpiTest, BessaOtpRegionsAreProgrammedAndLockedForGood) {
  Need("bessa");
  if (IsSkipped() || HasFatalFailure()) return;
  CNorGeometrySheet& sheet = Sheet(6);
  ASSERT_EQ(sheet.GetPageCount(), 1);
  auto* otp = Show<CSpiOtpPage>(lx::NorPage::kBessaOtp);
  ASSERT_NE(otp, nullptr);
  EXPECT_NE(otp->DumpText().Find("OTP 5  unlock  "), -1);
  ::SendDlgItemMessageA(otp->m_hWnd, IDC_SO_REGION, CB_SETCURSEL, 5, 0);
  otp->FillOtpOffsets();
  ::SendDlgItemMessageA(otp->m_hWnd, IDC_SO_OFFSET, CB_SETCURSEL, 31, 0);
  otp->SetDlgItemText(IDC_SO_DATA, "0x1A5");  // only the low 8 bits count
  otp->ProgramOtpByte();                      // the question's default is No
  EXPECT_EQ(Otp(0xBF), 0xFF);
  LxPromptQueueAnswer(LX_IDYES);
  otp->ProgramOtpByte();
  EXPECT_TRUE(PromptSaid("Address offset (in Byte): 0xBF(191)\nData (in Byte): 0xA5(165)"));
  EXPECT_EQ(LastPromptText(), "Program finished");
  EXPECT_EQ(Otp(0xBF), 0xA5);
  LxPromptQueueAnswer(LX_IDYES);
  otp->LockOtpRegion();
  EXPECT_EQ(LastPromptText(), "Finished to lock OTP Region.");
  EXPECT_EQ(Otp(0x10) & 0x20, 0);
  EXPECT_NE(otp->DumpText().Find("OTP 5   lock   "), -1);
  // Locked: the chip refuses the region from now on.
  ::SendDlgItemMessageA(otp->m_hWnd, IDC_SO_OFFSET, CB_SETCURSEL, 30, 0);
  otp->SetDlgItemText(IDC_SO_DATA, "0");
  LxPromptQueueAnswer(LX_IDYES);
  otp->ProgramOtpByte();
  EXPECT_EQ(LastPromptText(), "Error: Program failed");
  EXPECT_EQ(Otp(0xBE), 0xFF);
  ::SetWindowPos(sheet.m_hWnd, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
  LxPumpMessages();
  LxSaveWindowShot(sheet.m_hWnd, "nor_spi_bessa_otp");
  ExpectArraySpace();
}

TEST_F(NorSpiTest, BessaDataLearningAndStatusRegisterTwo) {
  Need("bessa");
  if (IsSkipped() || HasFatalFailure()) return;
  Sheet(0);
  auto* dl = Show<CSpiDLRegisterPage>(lx::NorPage::kDataLearning);
  ASSERT_NE(dl, nullptr);
  dl->SetDlgItemText(IDC_SD_V_VALUE, "0x5A");
  LxPromptQueueAnswer(LX_IDYES);
  dl->WriteDataLearningRegister(false);
  EXPECT_EQ(LastPromptText(), "Finished to write Volatile Data Learning Register.");
  EXPECT_EQ(chip_->VolatileDataLearning(), 0x5A);
  dl->ReadDataLearningPattern();
  dl->UpdateData(TRUE);
  EXPECT_EQ(std::string(dl->m_Pattern.GetString()), "0x5A");
  dl->SetDlgItemText(IDC_SD_NV_VALUE, "0x3C");
  dl->WriteDataLearningRegister(true);  // default No
  EXPECT_NE(chip_->DataLearning(), 0x3C);
  LxPumpMessages();
  LxSaveWindowShot(sheet_->m_hWnd, "nor_spi_data_learning");
  auto* sr2 = Show<CSpiRegisterPage>(lx::NorPage::kBessaStatus2, "nor_spi_bessa_status2");
  ASSERT_NE(sr2, nullptr);
  for (int n = 0; n < 8; ++n)
    EXPECT_EQ(sr2->IsDlgButtonChecked(IDC_SR_BIT0 + n), (chip_->Status2() >> n) & 1 ? UINT(BST_CHECKED) : UINT(BST_UNCHECKED));
  // Setting a one-time bit asks first, and No leaves the register as it is.
  const uint8_t before = chip_->Status2();
  sr2->CheckDlgButton(IDC_SR_BIT0 + 6, BST_CHECKED);
  sr2->ProgramRegister();
  EXPECT_TRUE(PromptSaid("one-time-programmable bits of Status Register 2"));
  EXPECT_EQ(chip_->Status2(), before);
  auto* asp = Show<CNorLockRegisterPage>(lx::NorPage::kAspRegister, "nor_spi_asp_register");
  ASSERT_NE(asp, nullptr);
  EXPECT_TRUE(::IsWindowEnabled(::GetDlgItem(asp->m_hWnd, IDC_NG_PASSWORD_READ)));
  asp->ReadPassword();
  EXPECT_NE(LastPromptText().find("Password Read (PASSRD E7h) shows 0x"), std::string::npos) << LastPromptText();
  ExpectArraySpace();
}

TEST_F(NorSpiTest, PirelOtpRegionsAndRegisters) {
  Need("pirel");
  if (IsSkipped() || HasFatalFailure()) return;
  EXPECT_EQ(g_code, 3004);
  CNorGeometrySheet& sheet = Sheet(0);
  EXPECT_EQ(sheet.GetPageCount(), 6);
  auto* otp = Show<CSpiOtpPage>(lx::NorPage::kPirelOtp);
  ASSERT_NE(otp, nullptr);
  ::SendDlgItemMessageA(otp->m_hWnd, IDC_SO_REGION, CB_SETCURSEL, 32, 0);  // OTP31
  otp->FillOtpOffsets();
  EXPECT_EQ(::SendDlgItemMessageA(otp->m_hWnd, IDC_SO_OFFSET, CB_GETCOUNT, 0, 0), 10);
  ::SendDlgItemMessageA(otp->m_hWnd, IDC_SO_OFFSET, CB_SETCURSEL, 9, 0);
  otp->SetDlgItemText(IDC_SO_DATA, "010");  // octal: 8
  LxPromptQueueAnswer(LX_IDYES);
  otp->ProgramOtpByte();
  EXPECT_EQ(Otp(0x2FF), 0x08);
  ::SendDlgItemMessageA(otp->m_hWnd, IDC_SO_REGION, CB_SETCURSEL, 10, 0);  // OTP9
  otp->FillOtpOffsets();
  LxPromptQueueAnswer(LX_IDYES);
  otp->LockOtpRegion();
  EXPECT_EQ(Otp(0x113) & 0x01, 0);
  otp->SetDlgItemText(IDC_SO_DATA, "0x00");
  LxPromptQueueAnswer(LX_IDYES);
  otp->ProgramOtpByte();
  EXPECT_EQ(LastPromptText(), "Error: Program failed");
  EXPECT_EQ(Otp(0x194), 0xFF);  // OTP9's first byte: 0x114 + 16 x 8
  ::SetWindowPos(sheet.m_hWnd, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
  LxPumpMessages();
  LxSaveWindowShot(sheet.m_hWnd, "nor_spi_pirel_otp");
  auto* status = Show<CSpiRegisterPage>(lx::NorPage::kSpiStatus);
  ASSERT_NE(status, nullptr);
  for (int n = 0; n < 8; ++n) status->CheckDlgButton(IDC_SR_BIT0 + n, n == 4 ? BST_CHECKED : BST_UNCHECKED);
  status->ProgramRegister();  // BP2: the top half
  EXPECT_FALSE(ProgramThroughExplorer(0x7FFFF0, 0x00));
  status->CheckDlgButton(IDC_SR_BIT0 + 4, BST_UNCHECKED);
  status->ProgramRegister();
  EXPECT_TRUE(ProgramThroughExplorer(0x7FFFF0, 0x00));
  ExpectArraySpace();
}

TEST_F(NorSpiTest, MarroSecurityRegistersAndTheSecTbBpGrid) {
  Need("marro");
  if (IsSkipped() || HasFatalFailure()) return;
  EXPECT_EQ(g_code, 3001);
  CNorGeometrySheet& sheet = Sheet(0);
  auto* protect = Show<CSpiProtectGroupGeometryPage>(lx::NorPage::kSpiProtectGroup);
  ASSERT_NE(protect, nullptr);
  EXPECT_EQ(::SendDlgItemMessageA(protect->m_hWnd, IDC_SP_SELECTOR, CB_GETCOUNT, 0, 0), 22);
  // Entry 14: SEC 1, TB 0, BP 001: the upper 4 KB.
  ::SendDlgItemMessageA(protect->m_hWnd, IDC_SP_SELECTOR, CB_SETCURSEL, 14, 0);
  protect->ApplyProtection();
  EXPECT_EQ(LastPromptText(), "Finished to program Status Register 1.");
  EXPECT_EQ(protect->m_Grid.GetTextMatrix(15, 5), "0x00FFF000 - 0x00FFFFFF");
  ::SetWindowPos(sheet.m_hWnd, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
  LxPumpMessages();
  LxSaveWindowShot(sheet.m_hWnd, "nor_spi_marro_protect_group");
  EXPECT_FALSE(ProgramThroughExplorer(0xFFF800, 0x00));
  EXPECT_TRUE(ProgramThroughExplorer(0x800000, 0x00));
  ::SendDlgItemMessageA(protect->m_hWnd, IDC_SP_SELECTOR, CB_SETCURSEL, 0, 0);
  protect->ApplyProtection();
  EXPECT_TRUE(ProgramThroughExplorer(0xFFF800, 0x00));

  auto* regs = Show<CSpiOtpPage>(lx::NorPage::kMarroOtp);
  ASSERT_NE(regs, nullptr);
  EXPECT_NE(regs->DumpText().Find("Security Registers-2 : not protected"), -1);
  ::SendDlgItemMessageA(regs->m_hWnd, IDC_SO_REGION, CB_SETCURSEL, 1, 0);
  ::SendDlgItemMessageA(regs->m_hWnd, IDC_SO_OFFSET, CB_SETCURSEL, 0xFF, 0);
  regs->SetDlgItemText(IDC_SO_DATA, "0x42");
  LxPromptQueueAnswer(LX_IDYES);
  regs->ProgramOtpByte();
  EXPECT_EQ(chip_->SecurityRegister(2)[0xFF], 0x42);
  LxPromptQueueAnswer(LX_IDYES);
  regs->EraseSecurityRegister();
  EXPECT_EQ(LastPromptText(), "Erase finished");
  EXPECT_EQ(chip_->SecurityRegister(2)[0xFF], 0xFF);

  // A lock whose read of status register 2 fails still hands the device back to the explorer.
  g_failSpace = 0x20000;
  DeviceApiTable.gfslNORReadRawData = FailInSpace;
  ::SendDlgItemMessageA(regs->m_hWnd, IDC_SO_REGION, CB_SETCURSEL, 2, 0);
  LxPromptQueueAnswer(LX_IDYES);
  regs->LockOtpRegion();
  EXPECT_EQ(LastPromptText(), "Failed to read Status Register 2.");
  EXPECT_EQ(g_space, 0u);
  DeviceApiTable.gfslNORReadRawData = g_real.gfslNORReadRawData;
  g_failSpace = 0;
  ExpectArraySpace();

  LxPromptQueueAnswer(LX_IDYES);
  regs->LockOtpRegion();  // SecReg-3 locked for good: status register 2 bit 5
  EXPECT_EQ(LastPromptText(), "Finished to program Status Register 2.");
  EXPECT_NE(regs->DumpText().Find("Security Registers-3 : protected"), -1);
  ::SendDlgItemMessageA(regs->m_hWnd, IDC_SO_OFFSET, CB_SETCURSEL, 0, 0);
  regs->SetDlgItemText(IDC_SO_DATA, "0");
  LxPromptQueueAnswer(LX_IDYES);
  regs->ProgramOtpByte();  // the chip refuses it (this part has no error bits to tell)
  EXPECT_EQ(chip_->SecurityRegister(3)[0], 0xFF);
  ::SetWindowPos(sheet.m_hWnd, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
  LxPumpMessages();
  LxSaveWindowShot(sheet.m_hWnd, "nor_spi_marro_security_registers");
  auto* sr1 = Show<CSpiRegisterPage>(lx::NorPage::kMarroStatus1, "nor_spi_marro_status1");
  ASSERT_NE(sr1, nullptr);
  EXPECT_FALSE(::IsWindowEnabled(::GetDlgItem(sr1->m_hWnd, IDC_SR_BIT0)));
  ExpectArraySpace();
}


// ---- parts of the catalogue, chosen on the configuration sheet -----------------------------------

// The data area byte for byte as it stood, or the first address that changed.
::testing::AssertionResult DataAsBefore(const std::vector<uint8_t>& before, kitsim::SpiChip& chip) {
  const std::vector<uint8_t>& now = chip.Array();
  const auto difference = std::mismatch(before.begin(), before.end(), now.begin());
  if (now.size() == before.size() && difference.first == before.end()) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << "data byte 0x" << std::hex << (difference.first - before.begin())
                                       << " changed to 0x" << int(*difference.second);
}

// Every line of the dump the page would show for these bytes is in the page's view.
::testing::AssertionResult DumpShows(const CString& shown, const std::string& expected) {
  std::istringstream lines(expected);
  for (std::string line; std::getline(lines, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.empty()) continue;
    if (shown.Find(line.c_str()) == -1) return ::testing::AssertionFailure() << "the dump lacks \"" << line << "\"";
  }
  return ::testing::AssertionSuccess();
}

class NorSpiCatalogueTest : public NorSpiTest {
 protected:
  void NeedCatalogue(const char* part) {
    if (CataloguePartName() != part) GTEST_SKIP() << "this run's catalogue part is " << CataloguePartName();
    EXPECT_TRUE(g_sheetSeen.played) << "the sheet did not list the part";
    EXPECT_TRUE(g_sheetSeen.spiChecked);
    EXPECT_TRUE(g_sheetSeen.cs0Checked);
    EXPECT_EQ(g_sheetSeen.group, CatalogueRow(part)->family);
    EXPECT_EQ(g_sheetSeen.name, part);
    Need(part);
    if (IsSkipped() || HasFatalFailure()) return;
    // A data area of no single value: a page that reached the array instead of its registers shows.
    auto& a = chip_->Array();
    for (size_t i = 0; i < a.size(); ++i) a[i] = static_cast<uint8_t>((i * 7 + 3) ^ (i >> 9));
    data_ = a;
  }
  // The security register page of the parts with three security registers: the dump shows the
  // chip's registers, a byte is programmed into SecReg-1 and erased, SecReg-2 is locked and then
  // refuses both; after each the chip holds what the page said, and the data area is as it was.
  void SecurityRegisterPage(const char* shotPrefix) {
    Sheet(0);
    auto* regs = Show<CSpiOtpPage>(lx::NorPage::kMarroOtp);
    ASSERT_NE(regs, nullptr);
    auto shot = [&](const char* step) { SheetShot(std::string(shotPrefix) + step); };
    auto expectedDump = [&] {
      std::vector<uint8_t> registers;
      for (uint32_t n = 1; n <= 3; ++n)
        registers.insert(registers.end(), chip_->SecurityRegister(n).begin(), chip_->SecurityRegister(n).end());
      return lx::MarroSecurityDump(registers.data(), chip_->Config(), true);
    };
    // Bytes of every register that the dump must show (the part reads them with 0x48).
    for (uint32_t n = 1; n <= 3; ++n)
      for (uint32_t i = 0; i < 256; i += 17) chip_->SecurityRegister(n)[i] = static_cast<uint8_t>(0x10 * n + i / 17);
    regs->DumpOtp();
    EXPECT_TRUE(DumpShows(regs->DumpText(), expectedDump()));
    EXPECT_NE(regs->DumpText().Find("Security Registers-1 : not protected"), -1);
    shot("dump");

    // SecReg-1, offset 0x37: programmed, shown, erased.
    ::SendDlgItemMessageA(regs->m_hWnd, IDC_SO_REGION, CB_SETCURSEL, 0, 0);
    ::SendDlgItemMessageA(regs->m_hWnd, IDC_SO_OFFSET, CB_SETCURSEL, 0x37, 0);
    regs->SetDlgItemText(IDC_SO_DATA, "0xA5");
    LxPromptQueueAnswer(LX_IDYES);
    regs->ProgramOtpByte();
    EXPECT_EQ(LastPromptText(), "Program finished");
    EXPECT_EQ(chip_->SecurityRegister(1)[0x37], 0xA5);
    EXPECT_TRUE(DumpShows(regs->DumpText(), expectedDump()));
    EXPECT_TRUE(DataAsBefore(data_, *chip_));
    shot("program");
    LxPromptQueueAnswer(LX_IDYES);
    regs->EraseSecurityRegister();
    EXPECT_EQ(LastPromptText(), "Erase finished");
    EXPECT_TRUE(std::all_of(chip_->SecurityRegister(1).begin(), chip_->SecurityRegister(1).end(),
                            [](uint8_t b) { return b == 0xFF; }));
    EXPECT_EQ(chip_->SecurityRegister(2)[0x11], 0x21) << "the other registers keep their bytes";
    EXPECT_TRUE(DumpShows(regs->DumpText(), expectedDump()));
    EXPECT_TRUE(DataAsBefore(data_, *chip_));
    shot("erase");

    // SecReg-2 locked for good (status register 2 bit 4): its program and erase fail, and say so.
    ::SendDlgItemMessageA(regs->m_hWnd, IDC_SO_REGION, CB_SETCURSEL, 1, 0);
    LxPromptQueueAnswer(LX_IDYES);
    regs->LockOtpRegion();
    EXPECT_EQ(LastPromptText(), "Finished to program Status Register 2.");
    EXPECT_EQ(chip_->Config() & 0x10, 0x10);
    EXPECT_NE(regs->DumpText().Find("Security Registers-2 : protected"), -1);
    EXPECT_TRUE(DataAsBefore(data_, *chip_));
    const std::vector<uint8_t> locked = chip_->SecurityRegister(2);
    ::SendDlgItemMessageA(regs->m_hWnd, IDC_SO_OFFSET, CB_SETCURSEL, 0x40, 0);
    regs->SetDlgItemText(IDC_SO_DATA, "0x00");
    LxPromptQueueAnswer(LX_IDYES);
    regs->ProgramOtpByte();
    EXPECT_EQ(LastPromptText(), "Error: Program failed");
    LxPromptQueueAnswer(LX_IDYES);
    regs->EraseSecurityRegister();
    EXPECT_EQ(LastPromptText(), "Error: Erase failed");
    EXPECT_EQ(chip_->SecurityRegister(2), locked);
    EXPECT_TRUE(DumpShows(regs->DumpText(), expectedDump()));
    EXPECT_TRUE(DataAsBefore(data_, *chip_));
    shot("locked");
    ExpectArraySpace();
  }
  // The sheet in front of the explorer, as it stands.
  void SheetShot(const std::string& name) {
    ::SetWindowPos(sheet_->m_hWnd, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
    LxPumpMessages();
    LxSaveWindowShot(sheet_->m_hWnd, name.c_str());
  }
  std::vector<uint8_t> data_;
};

// A code-3001 part (the first SPI family, quad I/O): the security register page on the chip.
TEST_F(NorSpiCatalogueTest, Iv128eqSecurityRegisters) {
  NeedCatalogue("IV128EQ");
  if (IsSkipped() || HasFatalFailure()) return;
  EXPECT_EQ(g_code, 3001);
  SecurityRegisterPage("nor_spi_catalogue_IV128EQ_security_");
}

// A code-3002 part: the security register page, and status register 3, which the part writes in
// the one frame with status registers 1 and 2.
TEST_F(NorSpiCatalogueTest, Iv064sSecurityRegistersAndStatusRegisterThree) {
  NeedCatalogue("IV064S");
  if (IsSkipped() || HasFatalFailure()) return;
  EXPECT_EQ(g_code, 3002);
  SecurityRegisterPage("nor_spi_catalogue_IV064S_security_");
  auto* sr3 = Show<CSpiRegisterPage>(lx::NorPage::kMarroStatus3);
  ASSERT_NE(sr3, nullptr);
  const uint8_t before = chip_->Status3();
  for (int n = 0; n < 8; ++n)
    sr3->CheckDlgButton(IDC_SR_BIT0 + n, ((before ^ 0x10) >> n) & 1 ? BST_CHECKED : BST_UNCHECKED);
  sr3->ProgramRegister();
  EXPECT_EQ(LastPromptText(), "Finished to program Status Register 3.");
  EXPECT_EQ(chip_->Status3(), before ^ 0x10);
  EXPECT_EQ(chip_->Config() & 0x10, 0x10) << "status register 2 keeps its lock bit";
  SheetShot("nor_spi_catalogue_IV064S_status3");
  EXPECT_TRUE(DataAsBefore(data_, *chip_));
  ExpectArraySpace();
}

// A code-10 part: the OTP regions page on the chip's OTP area.
TEST_F(NorSpiCatalogueTest, Lu032dOtpRegions) {
  NeedCatalogue("LU032D");
  if (IsSkipped() || HasFatalFailure()) return;
  EXPECT_EQ(g_code, 10);
  CNorGeometrySheet& sheet = Sheet(6);
  ASSERT_EQ(sheet.GetPageCount(), 1);
  auto* otp = Show<CSpiOtpPage>(lx::NorPage::kPirelOtp);
  ASSERT_NE(otp, nullptr);
  const uint32_t base = chip_->Part().otpBase;
  auto expectedDump = [&] {
    std::vector<uint8_t> image(768, 0);
    std::copy(chip_->Otp().begin(), chip_->Otp().end(), image.begin() + base);
    return lx::PirelOtpDump(image.data());
  };
  auto shot = [&](const char* step) { SheetShot(std::string("nor_spi_catalogue_LU032D_otp_") + step); };
  for (uint32_t a = 0x102; a < 0x300; a += 13) chip_->Otp()[a - base] = static_cast<uint8_t>(a);
  otp->DumpOtp();
  EXPECT_TRUE(DumpShows(otp->DumpText(), expectedDump()));
  shot("dump");

  // OTP2, offset 3 (address 0x127): programmed and shown; then OTP2 locked and refused.
  ::SendDlgItemMessageA(otp->m_hWnd, IDC_SO_REGION, CB_SETCURSEL, 3, 0);
  otp->FillOtpOffsets();
  ::SendDlgItemMessageA(otp->m_hWnd, IDC_SO_OFFSET, CB_SETCURSEL, 3, 0);
  otp->SetDlgItemText(IDC_SO_DATA, "0x5C");
  LxPromptQueueAnswer(LX_IDYES);
  otp->ProgramOtpByte();
  EXPECT_EQ(LastPromptText(), "Program finished");
  EXPECT_EQ(Otp(0x127), 0x5C);
  EXPECT_TRUE(DumpShows(otp->DumpText(), expectedDump()));
  EXPECT_TRUE(DataAsBefore(data_, *chip_));
  shot("program");
  LxPromptQueueAnswer(LX_IDYES);
  otp->LockOtpRegion();
  EXPECT_EQ(LastPromptText(), "Finished to lock OTP Region.");
  EXPECT_EQ(Otp(0x112) & 0x02, 0);
  EXPECT_NE(otp->DumpText().Find("OTP 2   lock   "), -1);
  EXPECT_TRUE(DataAsBefore(data_, *chip_));
  ::SendDlgItemMessageA(otp->m_hWnd, IDC_SO_OFFSET, CB_SETCURSEL, 4, 0);
  otp->SetDlgItemText(IDC_SO_DATA, "0");
  LxPromptQueueAnswer(LX_IDYES);
  otp->ProgramOtpByte();
  EXPECT_EQ(LastPromptText(), "Error: Program failed");
  EXPECT_EQ(Otp(0x128), 0xFF);
  EXPECT_TRUE(DumpShows(otp->DumpText(), expectedDump()));
  EXPECT_TRUE(DataAsBefore(data_, *chip_));
  shot("locked");
  ExpectArraySpace();
}

// Closes a modal sheet of that caption if a refused button opened it after all, so that the test
// goes on to fail instead of waiting on the sheet.
class SheetCloser {
 public:
  explicit SheetCloser(const char* caption)
      : thread_([this, caption] {
          while (!done_) {
            if (HWND sheet = OwnDialog(caption, true)) {
              ++opened_;
              PostMessageA(sheet, PSM_PRESSBUTTON, PSBTN_CANCEL, 0);
              Sleep(300);
            }
            Sleep(50);
          }
          finished_ = true;
        }) {}
  ~SheetCloser() {
    done_ = true;
    JoinPumping(thread_, finished_);
  }
  int Opened() const { return opened_; }

 private:
  std::atomic<bool> done_{false}, finished_{false};
  std::atomic<int> opened_{0};
  std::thread thread_;
};

// In an overlay (CFI, Autoselect, SSR) the edit sheet's program, copy, erase and test pages are
// refused with a message, as the explorer's own program buttons are; the read page still opens.
TEST_F(NorSpiCatalogueTest, EditPagesAreRefusedInOverlays) {
  if (!CatalogueRow(CataloguePartName())) GTEST_SKIP() << "a run of a catalogue part";
  NeedCatalogue(CataloguePartName().c_str());
  if (IsSkipped() || HasFatalFailure()) return;
  SheetCloser closer("Edit Data");
  for (int mode : {2, 3, 4}) {
    SCOPED_TRACE(mode);
    explorer_->SetReadMode(mode);
    explorer_->ApplyAsoMode();
    for (int button : {IDC_NE_EDIT_DATA, IDC_NE_EDIT_PROGRAM, IDC_NE_EDIT_COPY, IDC_NE_EDIT_ERASE, IDC_NE_EDIT_VERIFY}) {
      SCOPED_TRACE(button);
      const int prompts = LxPromptRecordCount();
      explorer_->SendMessage(WM_COMMAND, MAKEWPARAM(button, BN_CLICKED), 0);
      LxPumpMessages();
      EXPECT_EQ(LxPromptRecordCount(), prompts + 1);
      EXPECT_EQ(LastPromptText(), "The operation is allowed in Read mode");
    }
    EXPECT_EQ(closer.Opened(), 0) << "a refused page was opened";
    EXPECT_TRUE(DataAsBefore(data_, *chip_));
  }
  LxSaveWindowShot(explorer_->m_hWnd, ("nor_spi_catalogue_" + CataloguePartName() + "_ssr_overlay").c_str());
  explorer_->SendMessage(WM_COMMAND, MAKEWPARAM(IDC_NE_EDIT_READ, BN_CLICKED), 0);
  EXPECT_EQ(closer.Opened(), 1) << "the read page opens in an overlay";
  explorer_->SetReadMode(0);
  explorer_->ApplyAsoMode();
  EXPECT_TRUE(DataAsBefore(data_, *chip_));
  ExpectArraySpace();
}

// A code-3004 part of the 256-Mbit L kind, whose status register 2 holds one-time bits and whose
// OTP area is not the one the OTP page is made for: the status register page writes status
// register 1 and leaves status register 2 as it is, and there is no OTP page to open.
TEST_F(NorSpiCatalogueTest, Iv256l64kStatusRegisterAndNoOtpPage) {
  NeedCatalogue("IV256L64K");
  if (IsSkipped() || HasFatalFailure()) return;
  EXPECT_EQ(g_code, 3004);
  {
    SheetCloser closer("Device geometry");
    explorer_->SendMessage(WM_COMMAND, MAKEWPARAM(IDC_NE_OTP_REGION, BN_CLICKED), 0);
    EXPECT_EQ(LastPromptText(), "The device has no pages of this kind.");
    EXPECT_EQ(closer.Opened(), 0);
  }
  Sheet(0);
  const std::vector<lx::NorPage>& kinds = sheet_->Kinds();
  EXPECT_EQ(std::count(kinds.begin(), kinds.end(), lx::NorPage::kPirelOtp), 0);
  auto* status = Show<CSpiRegisterPage>(lx::NorPage::kSpiStatus);
  ASSERT_NE(status, nullptr);
  const uint8_t sr2 = chip_->Status2();
  for (uint8_t bits : {uint8_t{0x04}, uint8_t{0x00}}) {
    SCOPED_TRACE(int(bits));
    for (int n = 0; n < 8; ++n) status->CheckDlgButton(IDC_SR_BIT0 + n, (bits >> n) & 1 ? BST_CHECKED : BST_UNCHECKED);
    status->ProgramRegister();
    EXPECT_EQ(LastPromptText(), "Finished to program Status Register.");
    EXPECT_EQ(chip_->Status1() & 0x1C, bits);
    EXPECT_EQ(chip_->Status2(), sr2) << "the one-time bits of status register 2";
    if (bits) SheetShot("nor_spi_catalogue_IV256L64K_status");
  }
  EXPECT_TRUE(DataAsBefore(data_, *chip_));
  ExpectArraySpace();
}

}  // namespace
