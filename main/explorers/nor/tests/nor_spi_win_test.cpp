// The NOR explorer and the SPI pages of its geometry sheet on Tarn-Rook.dll over the simulated kit
// with an SPI chip model behind the kit's serial controller (Xvfb). One SPI part per run: the
// environment (LX_KITSIM_SPI) names it, and only its tests run. The chip model judges every write.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "app.h"
#include "device_api.h"
#include "device_ops.h"
#include "kitsim/spi_chip.h"
#include "lumivex/prompt.h"
#include "lumivex/testkit.h"
#include "module_loader.h"
#include "nor_explorer.h"
#include "nor_sheet.h"
#include "rook_session.h"

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

std::string PartName() {
  const char* name = std::getenv("LX_KITSIM_SPI");
  return name ? name : "";
}

kitsim::SpiChip* Chip() {
  HMODULE sim = GetModuleHandleA("LxKitSim.dll");
  if (!sim) return nullptr;
  auto get = reinterpret_cast<void* (*)(int, int)>(reinterpret_cast<void*>(GetProcAddress(sim, "LxKitSimSpiChip")));
  return get ? static_cast<kitsim::SpiChip*>(get(0, 0)) : nullptr;
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

class NorSpiTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    std::string preset;
    for (const PartRow& p : kParts)
      if (PartName() == p.name) preset = std::string(kCommon) + p.row;
    g_session.Open(g_app, "lxnorspi", preset);
    if (lx::GetDeviceState() == lx::kDeviceOpen) g_code = DeviceApiTable.gfslInit(3);
    g_real = DeviceApiTable;
  }
  static void TearDownTestSuite() { g_session.Close(); }
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

}  // namespace
