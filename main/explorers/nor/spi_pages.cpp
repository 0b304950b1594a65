// The SPI pages of the geometry sheet: one register as eight boxes, the block-protection grid,
// the OTP and security-register dumps and the data learning register.
#include <cstdio>
#include <cstring>

#include "device_api.h"
#include "lumivex/prompt.h"
#include "nor_explorer.h"
#include "nor_sheet.h"

namespace {

constexpr uint32_t kStatusSpace = 0x10000;
constexpr uint32_t kConfigSpace = 0x20000;
constexpr uint32_t kOtpSpace = 0x100000;
constexpr uint32_t kDataLearningSpace = 0x200000;
constexpr COLORREF kRowHighlight = 0x0099FFFF;
constexpr COLORREF kRowPlain = 0x00FFFFFF;

// The row each layout highlighted last, for the process (the next page un-highlights it).
int g_bpHighlightRow = 0;
int g_secHighlightRow = 0;

const char* const kBlockProtect = "Protects selected Block from Program or Erase";
const char* const kErrorOccurred = "1 = Error occurred, 0 = No Error";
const char* const kBusy = "1 = Device Busy, 0 = Ready";
const char* const kWel = "1 = Device accepts Write Registers, prog, erase, 0 = Ignores";
const char* const kSrp = "Controls the method of write protection";
const char* const kReserved = "Reserved bit";
const char* const kLockBits = "Provides the write protect control and status to the Security Registers";
const char* const kLatency = "Defines the number of read latency cycles";
const char* const kWrap = "Please see the datasheet to get more information";

void Message(CWnd* page, const char* text) { NorMessage(page, text); }

void MessageFormat(CWnd* page, const char* format, const char* name) {
  CString text;
  text.Format(format, name);
  Message(page, text);
}

uint32_t DeviceSize() { return static_cast<uint32_t>(DeviceApiTable.gfslGetNumberOfBytesPerDevice("/a")); }

HFONT Courier() {
  static HFONT font = CreateFontA(-12, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS,
                                  CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, FIXED_PITCH | FF_MODERN, "Courier New");
  return font;
}

void FillCombo(HWND combo, const std::vector<std::string>& entries) {
  ::SendMessageA(combo, CB_RESETCONTENT, 0, 0);
  for (const std::string& e : entries) ::SendMessageA(combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(e.c_str()));
}

}  // namespace

// ---- the six register pages -------------------------------------------------------------------------
const SpiRegisterText kSpiStatusText = {
    "Status register", "Status register", kStatusSpace, "Status Register", "Finished to program Status Register.",
    {"[Bit 0] WIP: Write in Progress", "[Bit 1] WEL: Write Enable Latch", "[Bit 2] BP0: Block Protect",
     "[Bit 3] BP1: Block Protect", "[Bit 4] BP2: Block Protect", "[Bit 5] E_ERR: Erase Error Occurred",
     "[Bit 6] P_ERR: Programming Error Occurred", "[Bit 7] SRWD: Status Register Write Disable"},
    {kBusy, kWel, kBlockProtect, kBlockProtect, kBlockProtect, kErrorOccurred, kErrorOccurred,
     "1 = Protects when W#/ACC is low, 0 = No protection"},
    0x00, 0x00, nullptr};

const SpiRegisterText kSpiConfigText = {
    "Configuration register", "Configuration register status", kConfigSpace, "Configuration Register",
    "Finished to program Configuration Register.",
    {"[Bit 0] FREEZE: Locks BP2-0 bits int the Status Register", "[Bit 1] QUAD: Puts the device into Quad I/O mode",
     "[Bit 2] TBPARM: Configures Parameter sector location", "[Bit 3] BPNV: Configures BP2-0 bits in the Status Register",
     "[Bit 4] LOCK: Permanently locks BP2-0 && configuration bits", "[Bit 5] TBPROT: Configures start of block protection",
     "[Bit 6] LC0", "[Bit 7] LC1"},
    {"1 = Enabled, 0 = Disabled", "1 = Quad I/O, 0 = Dual or Serial I/O", "1 = Top Array, 0 = Bottom Array",
     "1 = Volatile, 0 = Non-volatile", "* Only available for S Model devices: 1 = Locked, 0 = Un-Locked",
     "1 = Bottom Array, 0 = Top Array", "", ""},
    0x00, 0x10, "* Some option may not be applicable."};

const SpiRegisterText kMarroSr1Text = {
    "Status register 1", "Status register 1 (Please see the datasheet to get more information)", kStatusSpace,
    "Status Register 1", "Finished to program Status Register 1.",
    {"[Bit 0] BUSY: Erase/Write In Progress", "[Bit 1] WEL: Write Enable Latch",
     "[Bit 2] BP0: Block Protect Bit (non-volatile)", "[Bit 3] BP1: Block Protect Bit (non-volatile)",
     "[Bit 4] BP2: Block Protect Bit (non-volatile)", "[Bit 5] TB: Top/Bottom Block Protect (non-volatile)",
     "[Bit 6] SEC: Sector/Block Protect (non-volatile)", "[Bit 7] SRP0: Status Register Protect (non-volatile)"},
    {kBusy, kWel, kBlockProtect, kBlockProtect, kBlockProtect, "1 = Protect from Bottom, 0 = Protect from Top",
     "1 = Protect 4KB Sectors, 0 = Protect 64KB Blocks", kSrp},
    0x03, 0x00, nullptr};

const SpiRegisterText kMarroSr2Text = {
    "Status register 2", "Status register 2 (Please see the datasheet to get more information)", kConfigSpace,
    "Status Register 2", "Finished to program Status Register 2.",
    {"[Bit 0] SRP1: Status Register Protect (non-volatile)", "[Bit 1] QE: Quad Enable (non-volatile)",
     "[Bit 2] RFU or LB0", "[Bit 3] LB1: Security Register Lock Bit (non-volatile OTP)",
     "[Bit 4] LB2: Security Register Lock Bit (non-volatile OTP)",
     "[Bit 5] LB3: Security Register Lock Bit (non-volatile OTP)", "[Bit 6] CMP: Complement Protect (non-volatile)",
     "[Bit 7] RFU or SUS: Erase/Program Suspend Status"},
    {kSrp, "1 = Enables Quad IO2 and IO3 pins, 0 = Enables WP# and HOLD# pins", kReserved, kLockBits, kLockBits,
     kLockBits, "Once CMP is set to 1, previous array protection will be reversed",
     "1 = Erase/Program suspended, 0 = Not suspended"},
    0x80, 0x38, nullptr};

const SpiRegisterText kMarroSr3Text = {
    "Status register 3", "Status register 3 (Please see the datasheet to get more information)", 0x80000,
    "Status Register 3", "Finished to program Status Register 3.",
    {"[Bit 0] LC: Variable Read Latency Control", "[Bit 1] LC: Variable Read Latency Control",
     "[Bit 2] LC: Variable Read Latency Control", "[Bit 3] LC: Variable Read Latency Control",
     "[Bit 4] W4: Burst Wrap Enable", "[Bit 5] W5: Burst Wrap Length", "[Bit 6] W6: Burst Wrap Length", "[Bit 7] RFU"},
    {kLatency, kLatency, kLatency, kLatency, "1 = Wrap Disabled, 0 = Wrap Enabled", kWrap, kWrap, kReserved},
    0x80, 0x00, nullptr};

const SpiRegisterText kBessaSr2Text = {
    "Status register 2", "Status register 2 (Changing SR2 requires restarting the Lumivex)", 0x40000,
    "Status Register 2", "Finished to program Status Register 2\nChanging SR2 requires restarting the Lumivex",
    {"[Bit 0] PS: Program Suspend (volatile, read only)", "[Bit 1] ES: Erase Suspend (volatile, read only)",
     "[Bit 2] RFU", "[Bit 3] RFU", "[Bit 4] RFU", "[Bit 5] IO3R_O: IO3 Reset (OTP, available to Qarvel only)",
     "[Bit 6] 02h_O: Page Buffer Wrap (OTP, available to Qarvel only)",
     "[Bit 7] D8h_O: Block Erase Size (OTP, available to Qarvel only)"},
    {"1 = In PS mode, 0 = Not in PS mode", "1 = In ES mode, 0 = Not in ES mode", kReserved, kReserved, kReserved,
     "1 = IO3 alt. function is RESET#, 0 = IO3 alt. function is HOLD#", "1 = Wrap at 512B, 0 = Wrap at 256B",
     "1 = 256KB Erase (uniform sectors), 0 = 64KB Erase (hybrid sectors)"},
    0x03, 0xE0, nullptr};

CSpiRegisterPage::CSpiRegisterPage(CNorExplorerDlg* explorer, const SpiRegisterText& text)
    : CPropertyPage(IDD_LX_SPI_REGISTER, text.title), m_pExplorer(explorer), m_Text(text) {}

void CSpiRegisterPage::DoDataExchange(CDataExchange* dx) {
  for (int n = 0; n < 8; ++n) DDX_Check(dx, IDC_SR_BIT0 + n, m_Bits[n]);
}

BOOL CSpiRegisterPage::OnInitDialog() {
  CPropertyPage::OnInitDialog();
  PrepareSheetButtons(m_hWnd);
  SetDlgItemText(IDC_SR_GROUP, m_Text.group);
  SetDlgItemText(IDC_SR_NOTE2, m_Text.secondNote ? m_Text.secondNote : "");
  for (int n = 0; n < 8; ++n) {
    // A single ampersand shows as itself in a button.
    std::string caption = m_Text.bits[n];
    SetDlgItemText(IDC_SR_BIT0 + n, caption.c_str());
    SetDlgItemText(IDC_SR_TEXT0 + n, m_Text.explanations[n]);
    ::EnableWindow(::GetDlgItem(m_hWnd, IDC_SR_BIT0 + n), !((m_Text.readOnly >> n) & 1));
  }
  RefreshRegister();
  return TRUE;
}

BOOL CSpiRegisterPage::OnSetActive() {
  RefreshRegister();
  return CPropertyPage::OnSetActive();
}

BOOL CSpiRegisterPage::OnCommand(WPARAM wp, LPARAM lp) {
  switch (LOWORD(wp)) {
    case IDC_SR_REFRESH: RefreshRegister(); return TRUE;
    case IDC_SR_PROGRAM: ProgramRegister(); return TRUE;
    default: return CPropertyPage::OnCommand(wp, lp);
  }
}

uint8_t CSpiRegisterPage::Boxes() const {
  uint8_t value = 0;
  for (int n = 0; n < 8; ++n)
    if (m_Bits[n]) value = static_cast<uint8_t>(value | (1u << n));
  return value;
}

void CSpiRegisterPage::RefreshRegister() {
  SpiRegisterAccess access(m_pExplorer);
  access.Enter(m_Text.space);
  uint8_t value = 0;
  if (!access.ReadByte(0, &value)) {
    MessageFormat(this, "Failed to read %s.", m_Text.name);
    return;
  }
  for (int n = 0; n < 8; ++n) m_Bits[n] = (value >> n) & 1;
  UpdateData(FALSE);
}

void CSpiRegisterPage::ProgramRegister() {
  {
    SpiRegisterAccess access(m_pExplorer);
    access.Enter(m_Text.space);
    uint8_t old = 0;
    if (!access.ReadByte(0, &old)) {
      MessageFormat(this, "Failed to read %s.", m_Text.name);
    } else {
      UpdateData(TRUE);
      const uint8_t value = Boxes();
      // One-time bits that this write would set can never be cleared again: ask, default No.
      const uint8_t setting = static_cast<uint8_t>(value & ~old & m_Text.irreversible);
      CString question;
      question.Format("This sets one-time-programmable bits of %s (0x%02X), which can never be cleared again.\n"
                      "Do you really want to process it?",
                      m_Text.name, setting);
      if (setting == 0 || ConfirmIrreversible(this, question, m_Text.title)) {
        if (access.Program(0, 1, &value))
          Message(this, m_Text.programmed);
        else
          MessageFormat(this, "Failed to program %s.", m_Text.name);
      }
    }
  }
  RefreshRegister();
}

// ---- block protection ---------------------------------------------------------------------------------
CSpiProtectGroupGeometryPage::CSpiProtectGroupGeometryPage(CNorExplorerDlg* explorer, int code)
    : CPropertyPage(IDD_LX_SPI_PROTECT_GROUP), deviceCode(code), explorer(explorer) {}

bool CSpiProtectGroupGeometryPage::BpLayout() const {
  return deviceCode == 10 || deviceCode == 3004 || deviceCode == 3005 || deviceCode == 3006;
}

bool CSpiProtectGroupGeometryPage::SecLayout() const { return deviceCode >= 3001 && deviceCode <= 3003; }

BOOL CSpiProtectGroupGeometryPage::OnInitDialog() {
  CPropertyPage::OnInitDialog();
  PrepareSheetButtons(m_hWnd);
  m_Grid.Attach(::GetDlgItem(m_hWnd, IDC_SP_GRID));
  BuildProtectionTable();
  return TRUE;
}

BOOL CSpiProtectGroupGeometryPage::OnSetActive() {
  RefreshProtection();
  return CPropertyPage::OnSetActive();
}

BOOL CSpiProtectGroupGeometryPage::OnCommand(WPARAM wp, LPARAM lp) {
  switch (LOWORD(wp)) {
    case IDC_SP_PROCEED: ApplyProtection(); return TRUE;
    case IDC_SP_VOLATILITY: ToggleBpVolatility(); return TRUE;
    default: return CPropertyPage::OnCommand(wp, lp);
  }
}

void CSpiProtectGroupGeometryPage::FillRows(const std::vector<lx::ProtectRow>& rows, int firstColumn) {
  m_Grid.SetRedraw(false);
  for (size_t r = 0; r < rows.size() && long(r) < m_Grid.GetRows(); ++r)
    for (size_t c = size_t(firstColumn); c < rows[r].cells.size(); ++c)
      m_Grid.SetTextMatrix(long(r), long(c), rows[r].cells[c].c_str());
  m_Grid.SetRedraw(true);
}

void CSpiProtectGroupGeometryPage::BuildProtectionTable() {
  HWND selector = ::GetDlgItem(m_hWnd, IDC_SP_SELECTOR);
  if (BpLayout()) {
    m_Grid.SetRedraw(false);
    m_Grid.SetCols(6);
    m_Grid.SetRows(9);
    m_Grid.SetFixedCols(0);
    const long widths[] = {400, 400, 400, 2700, 2700, 600};
    for (int c = 0; c < 6; ++c) {
      m_Grid.SetColWidth(c, widths[c]);
      m_Grid.SetColAlignment(c, lx::kGridAlignCenterCenter);
    }
    m_Grid.SetRedraw(true);
    FillRows(lx::BpProtectionRows(0, false), 0);
    FillCombo(selector, lx::BpSelectorEntries());
    ::EnableWindow(::GetDlgItem(m_hWnd, IDC_SP_VOLATILITY_NOTE), TRUE);
    ::EnableWindow(::GetDlgItem(m_hWnd, IDC_SP_VOLATILITY), TRUE);
  } else if (SecLayout()) {
    const bool twoMiB = lx::IsTwoMiB(DeviceSize());
    const int rows = twoMiB ? 21 : 23;
    m_Grid.SetRedraw(false);
    m_Grid.SetCols(8);
    m_Grid.SetRows(rows);
    m_Grid.SetFixedCols(0);
    const long widths[] = {400, 400, 400, 400, 400, 2400, 1000, 1600};
    for (int c = 0; c < 8; ++c) {
      m_Grid.SetColWidth(c, widths[c]);
      m_Grid.SetColAlignment(c, lx::kGridAlignCenterCenter);
    }
    m_Grid.SetRedraw(true);
    FillCombo(selector, lx::SecSelectorEntries(twoMiB));
    ::EnableWindow(::GetDlgItem(m_hWnd, IDC_SP_VOLATILITY_NOTE), FALSE);
    ::EnableWindow(::GetDlgItem(m_hWnd, IDC_SP_VOLATILITY), FALSE);
  } else {
    return;
  }
  RefreshProtection();
}

void CSpiProtectGroupGeometryPage::Highlight(int row) {
  int& remembered = BpLayout() ? g_bpHighlightRow : g_secHighlightRow;
  const long currentRow = m_Grid.GetRow(), currentCol = m_Grid.GetCol();
  m_Grid.SetRedraw(false);
  for (long c = 0; c < m_Grid.GetCols(); ++c) {
    if (remembered > 0 && remembered < m_Grid.GetRows()) {
      m_Grid.SetRow(remembered);
      m_Grid.SetCol(c);
      m_Grid.SetCellBackColor(kRowPlain);
    }
  }
  for (long c = 0; c < m_Grid.GetCols(); ++c) {
    m_Grid.SetRow(row);
    m_Grid.SetCol(c);
    m_Grid.SetCellBackColor(kRowHighlight);
  }
  remembered = row;
  m_Grid.SetRow(currentRow);
  m_Grid.SetCol(currentCol);
  m_Grid.SetRedraw(true);
}

void CSpiProtectGroupGeometryPage::SetVolatility(uint8_t configuration) {
  const bool volatileBits = (configuration >> 3) & 1;
  SetDlgItemText(IDC_SP_VOLATILITY_NOTE,
                 volatileBits ? "* Currently, BP2-0 bits are Volatile." : "* Currently, BP2-0 bits are Non-volatile.");
  SetDlgItemText(IDC_SP_VOLATILITY, volatileBits ? "Change BP2-0 bits to Non-volatile" : "Change BP2-0 bits to Volatile");
}

void CSpiProtectGroupGeometryPage::RefreshProtection() {
  if (!BpLayout() && !SecLayout()) return;
  SpiRegisterAccess access(explorer);
  const uint32_t size = DeviceSize();
  if (size == 0) return;
  access.Enter(kStatusSpace);
  uint8_t status = 0, second = 0;
  if (!access.ReadByte(0, &status)) return;
  const bool bp = BpLayout();
  const bool twoMiB = lx::IsTwoMiB(size);
  const int entry = bp ? lx::BpEntryFromStatus(status) : lx::SecEntryFromStatus(status, twoMiB);
  ::SendDlgItemMessageA(m_hWnd, IDC_SP_SELECTOR, CB_SETCURSEL, static_cast<WPARAM>(entry), 0);
  Highlight(entry + 1);
  if (!bp) m_Grid.SetTopRow(entry + 1);
  access.Enter(kConfigSpace, false);
  if (!access.ReadByte(0, &second)) return;
  SetVolatility(second);
  if (bp) {
    const bool tbprot = (second >> 5) & 1;
    SetDlgItemText(IDC_SP_NOTE, tbprot ? "* Starts Protection from BOTTOM of Array" : "* Starts Protection from TOP of Array");
    FillRows(lx::BpProtectionRows(size, tbprot), 0);
  } else {
    const bool cmp = (second >> 6) & 1;
    SetDlgItemText(IDC_SP_NOTE, cmp ? "* The Complement Protection bit (CMP) is set to 1"
                                    : "* The Complement Protection bit (CMP) is set to 0");
    FillRows(lx::SecProtectionRows(size, cmp), 0);
  }
}

void CSpiProtectGroupGeometryPage::ApplyProtection() {
  if (!BpLayout() && !SecLayout()) return;
  {
    SpiRegisterAccess access(explorer);
    const bool bp = BpLayout();
    const char* name = bp ? "Status Register" : "Status Register 1";
    const bool twoMiB = lx::IsTwoMiB(DeviceSize());
    access.Enter(kStatusSpace);
    uint8_t status = 0;
    if (!access.ReadByte(0, &status)) {
      MessageFormat(this, "Failed to read %s.", name);
    } else {
      const int entry = static_cast<int>(::SendDlgItemMessageA(m_hWnd, IDC_SP_SELECTOR, CB_GETCURSEL, 0, 0));
      const uint8_t value = bp ? lx::BpApply(status, entry < 0 ? 0 : entry) : lx::SecApply(status, entry, twoMiB);
      if (access.Program(0, 1, &value))
        MessageFormat(this, "Finished to program %s.", name);
      else
        MessageFormat(this, "Failed to program %s.", name);
    }
  }
  RefreshProtection();
}

void CSpiProtectGroupGeometryPage::ToggleBpVolatility() {
  if (!BpLayout()) return;
  {
    SpiRegisterAccess access(explorer);
    access.Enter(kConfigSpace);
    uint8_t configuration = 0;
    if (!access.ReadByte(0, &configuration)) {
      Message(this, "Failed to read Configuration Register.");
    } else {
      configuration ^= 0x08;
      Message(this, access.Program(0, 1, &configuration) ? "Finished to program Configuration Register."
                                                         : "Failed to program Configuration Register.");
    }
  }
  RefreshProtection();
}

// ---- OTP regions and security registers -------------------------------------------------------------
CSpiOtpPage::CSpiOtpPage(CNorExplorerDlg* e, Kind kind)
    : CPropertyPage(kind == kMarro ? IDD_LX_SPI_SECURITY_REGISTERS : IDD_LX_SPI_OTP_REGIONS,
                    kind == kPirel ? "Pirel OTP regions" : kind == kBessa ? "Bessa OTP regions" : nullptr),
      explorer(e), m_Kind(kind) {}

CSpiOtpPage::~CSpiOtpPage() = default;

void CSpiOtpPage::DoDataExchange(CDataExchange* dx) { DDX_Text(dx, IDC_SO_DATA, m_Data); }

BOOL CSpiOtpPage::OnInitDialog() {
  CPropertyPage::OnInitDialog();
  PrepareSheetButtons(m_hWnd);
  ::SendDlgItemMessageA(m_hWnd, IDC_SO_DUMP, WM_SETFONT, reinterpret_cast<WPARAM>(Courier()), TRUE);
  DumpOtp();
  HWND region = ::GetDlgItem(m_hWnd, IDC_SO_REGION);
  if (m_Kind == kMarro) {
    FillCombo(region, {"SecReg-1", "SecReg-2", "SecReg-3"});
    std::vector<std::string> offsets;
    char text[8];
    for (int i = 0; i < 256; ++i) {
      std::snprintf(text, sizeof text, "0x%x", i);
      offsets.push_back(text);
    }
    FillCombo(::GetDlgItem(m_hWnd, IDC_SO_OFFSET), offsets);
    ::SendDlgItemMessageA(m_hWnd, IDC_SO_OFFSET, CB_SETCURSEL, 0, 0);
  } else {
    FillCombo(region, m_Kind == kPirel ? lx::PirelRegionNames() : lx::BessaRegionNames());
  }
  ::SendMessageA(region, CB_SETCURSEL, 0, 0);
  if (m_Kind != kMarro) FillOtpOffsets();
  return TRUE;
}

BOOL CSpiOtpPage::OnCommand(WPARAM wp, LPARAM lp) {
  switch (LOWORD(wp)) {
    case IDC_SO_REGION:
      if (HIWORD(wp) == CBN_SELCHANGE && m_Kind != kMarro) FillOtpOffsets();
      return TRUE;
    case IDC_SO_PROGRAM: ProgramOtpByte(); return TRUE;
    case IDC_SO_LOCK: LockOtpRegion(); return TRUE;
    case IDC_SO_ERASE:
      if (m_Kind == kMarro) EraseSecurityRegister();
      return TRUE;
    default: return CPropertyPage::OnCommand(wp, lp);
  }
}

int CSpiOtpPage::Selected(int id) const { return static_cast<int>(::SendDlgItemMessageA(m_hWnd, id, CB_GETCURSEL, 0, 0)); }

void CSpiOtpPage::FillOtpOffsets() {
  const int region = Selected(IDC_SO_REGION);
  FillCombo(::GetDlgItem(m_hWnd, IDC_SO_OFFSET),
            m_Kind == kPirel ? lx::PirelOffsetEntries(region) : lx::BessaOffsetEntries(region));
  ::SendDlgItemMessageA(m_hWnd, IDC_SO_OFFSET, CB_SETCURSEL, 0, 0);
}

void CSpiOtpPage::DumpOtp() {
  SetDlgItemText(IDC_SO_DUMP, "");
  std::string text;
  {
    SpiRegisterAccess access(explorer);
    if (m_Kind == kPirel) {
      std::vector<uint8_t> image(768, 0);
      access.Enter(kOtpSpace);
      access.Read(0x100, 512, image.data() + 0x100);
      text = lx::PirelOtpDump(image.data());
    } else if (m_Kind == kBessa) {
      std::vector<uint8_t> area(1024, 0);
      access.Enter(kOtpSpace);
      access.Read(0, 1024, area.data());
      text = lx::BessaOtpDump(area.data());
    } else {
      access.Enter(kConfigSpace);
      uint8_t sr2 = 0;
      const bool srOk = access.ReadByte(0, &sr2);
      if (!srOk) Message(this, "Failed to read Status Register 2.");
      std::vector<uint8_t> registers(768, 0);
      access.Enter(kOtpSpace);
      for (int n = 0; n < 3; ++n) access.Read(uint32_t(n + 1) * 0x1000, 256, registers.data() + 256 * n);
      text = lx::MarroSecurityDump(registers.data(), sr2, srOk);
    }
  }
  SetDlgItemText(IDC_SO_DUMP, text.c_str());
  ::SendDlgItemMessageA(m_hWnd, IDC_SO_DUMP, EM_SETSEL, 0, 0);
}

CString CSpiOtpPage::DumpText() const {
  std::string text(static_cast<size_t>(::GetWindowTextLengthA(::GetDlgItem(m_hWnd, IDC_SO_DUMP))) + 1, '\0');
  ::GetDlgItemTextA(m_hWnd, IDC_SO_DUMP, &text[0], static_cast<int>(text.size()));
  return text.c_str();
}

void CSpiOtpPage::ProgramOtpByte() {
  UpdateData(TRUE);
  uint32_t parsed = 0;
  if (!lx::ParseAutoBase(m_Data.GetString(), &parsed)) return;
  const int region = Selected(IDC_SO_REGION), offset = Selected(IDC_SO_OFFSET);
  if (region < 0 || offset < 0) return;
  uint32_t address;
  if (m_Kind == kPirel) {
    address = lx::PirelOtpAddress(region, offset);
  } else if (m_Kind == kBessa) {
    char shown[16] = "";
    ::SendDlgItemMessageA(m_hWnd, IDC_SO_OFFSET, CB_GETLBTEXT, static_cast<WPARAM>(offset), reinterpret_cast<LPARAM>(shown));
    address = lx::BessaOtpAddress(region, std::atoi(shown));
  } else {
    address = lx::MarroSecurityAddress(region, offset);
  }
  const uint8_t byte = static_cast<uint8_t>(parsed);
  CString question;
  question.Format("Do you really want to process it?\n\nAddress offset (in Byte): 0x%X(%d)\nData (in Byte): 0x%X(%d)",
                  static_cast<unsigned>(address), static_cast<int>(address), byte, byte);
  if (!ConfirmIrreversible(this, question, "OTP regions")) return;
  bool ok;
  {
    SpiRegisterAccess access(explorer);
    access.Enter(kOtpSpace);
    ok = access.Program(address, 1, &byte);
  }
  Message(this, ok ? "Program finished" : "Error: Program failed");
  DumpOtp();
}

void CSpiOtpPage::LockOtpRegion() {
  const int region = Selected(IDC_SO_REGION);
  if (region < 0) return;
  if (m_Kind == kMarro) {
    if (!ConfirmIrreversible(this, "Do you really want to process it?", "Security Registers")) return;
    // The device goes back to the explorer's address space on every way out.
    SpiRegisterAccess access(explorer);
    access.Enter(kConfigSpace);
    uint8_t sr2 = 0;
    if (!access.ReadByte(0, &sr2)) {
      Message(this, "Failed to read Status Register 2.");
      return;
    }
    sr2 = static_cast<uint8_t>(sr2 | (1u << (region + 3)));
    if (!access.Program(0, 1, &sr2)) {
      Message(this, "Failed to program Status Register 2.");
      return;
    }
    Message(this, "Finished to program Status Register 2.");
  } else {
    CString question;
    question.Format("Locking an OTP region cannot be undone: it can never be programmed again.\n"
                    "Do you really want to process it?");
    if (!ConfirmIrreversible(this, question, Caption())) return;
    const lx::OtpLock lock = m_Kind == kPirel ? lx::PirelLock(region) : lx::BessaLock(region);
    SpiRegisterAccess access(explorer);
    access.Enter(kOtpSpace);
    uint8_t byte = 0;
    if (!access.ReadByte(lock.address, &byte)) {
      Message(this, "Failed to read OTP Region.");
    } else {
      byte = static_cast<uint8_t>(byte & ~(1u << lock.bit));
      Message(this, access.Program(lock.address, 1, &byte) ? "Finished to lock OTP Region." : "Failed to lock OTP Region.");
    }
  }
  DumpOtp();
}

void CSpiOtpPage::EraseSecurityRegister() {
  const int region = Selected(IDC_SO_REGION);
  if (region < 0 || !ConfirmIrreversible(this, "Do you really want to process it?", "Security Registers")) return;
  bool ok;
  {
    SpiRegisterAccess access(explorer);
    access.Enter(kOtpSpace);
    ok = access.Erase(static_cast<uint32_t>(region + 1));
  }
  Message(this, ok ? "Erase finished" : "Error: Erase failed");
  DumpOtp();
}

// ---- data learning register ---------------------------------------------------------------------------
void CSpiDLRegisterPage::DoDataExchange(CDataExchange* dx) {
  DDX_Text(dx, IDC_SD_PATTERN, m_Pattern);
  DDX_Text(dx, IDC_SD_NV_VALUE, m_NonVolatile);
  DDX_Text(dx, IDC_SD_V_VALUE, m_Volatile);
}

BOOL CSpiDLRegisterPage::OnInitDialog() {
  CPropertyPage::OnInitDialog();
  PrepareSheetButtons(m_hWnd);
  ReadDataLearningPattern();
  return TRUE;
}

BOOL CSpiDLRegisterPage::OnSetActive() {
  ReadDataLearningPattern();
  return CPropertyPage::OnSetActive();
}

BOOL CSpiDLRegisterPage::OnCommand(WPARAM wp, LPARAM lp) {
  switch (LOWORD(wp)) {
    case IDC_SD_READ: ReadDataLearningPattern(); return TRUE;
    case IDC_SD_PROGRAM_NV: WriteDataLearningRegister(true); return TRUE;
    case IDC_SD_WRITE_V: WriteDataLearningRegister(false); return TRUE;
    default: return CPropertyPage::OnCommand(wp, lp);
  }
}

void CSpiDLRegisterPage::ReadDataLearningPattern() {
  SpiRegisterAccess access(explorer);
  access.Enter(kDataLearningSpace);
  uint8_t pattern = 0;
  if (!access.ReadByte(0, &pattern)) {
    Message(this, "Failed to read Data Learning Register.");
    return;
  }
  UpdateData(TRUE);
  m_Pattern.Format("0x%02X", pattern);
  UpdateData(FALSE);
}

void CSpiDLRegisterPage::WriteDataLearningRegister(bool nonVolatile) {
  UpdateData(TRUE);
  uint32_t parsed = 0;
  if (!lx::ParseAutoBase((nonVolatile ? m_NonVolatile : m_Volatile).GetString(), &parsed)) return;
  const uint8_t data[2] = {static_cast<uint8_t>(parsed), static_cast<uint8_t>(nonVolatile ? 'N' : 'V')};
  CString question;
  question.Format(nonVolatile ? "Do you really want to process it?\n\nProgram NV Data Learning Register: 0x%X"
                              : "Do you really want to process it?\n\nWrite Volatile Data Learning Register: 0x%X",
                  data[0]);
  if (LxMessageBox(m_hWnd, question, "Data learning register", LX_MB_YESNO | (nonVolatile ? LX_MB_DEFBUTTON2 : 0)) != LX_IDYES)
    return;
  bool ok;
  {
    SpiRegisterAccess access(explorer);
    access.Enter(kDataLearningSpace);
    ok = access.Program(0, 2, data);
  }
  if (nonVolatile)
    Message(this, ok ? "Finished to program NV Data Learning Register." : "Failed to program NV Data Learning Register.");
  else
    Message(this, ok ? "Finished to write Volatile Data Learning Register." : "Failed to write Volatile Data Learning Register.");
  ReadDataLearningPattern();
}
