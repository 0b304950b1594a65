// The "Device geometry" sheet and its parallel NOR pages: sector map, protection list with PPB
// and DYB changes, lock register and password, CFI dump and SecSi sector.
#include "nor_sheet.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "device_api.h"
#include "lumivex/prompt.h"
#include "nor_explorer.h"
#include "program_context.h"

namespace {

constexpr int kCfiMode = 2;
constexpr int kSsrMode = 4;

int DeviceKind() {
  lx::ProgramContext* program = lx::Program();
  return program ? program->DeviceKind() : 0;
}

HFONT MakeFont(const char* face, int height) {
  return CreateFontA(-height, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, ANSI_CHARSET, OUT_DEFAULT_PRECIS,
                     CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, FIXED_PITCH | FF_MODERN, face);
}

std::string ItemText(HWND w, int id) {
  char text[4096] = "";
  ::GetDlgItemTextA(w, id, text, sizeof text);
  return text;
}

// An 8-byte buffer whose address fits the 32-bit argument of gfslNORSetBlockStatus, or null.
uint8_t* LowBuffer() {
  static uint8_t* buffer = [] {
    void* p = nullptr;
#if UINTPTR_MAX > 0xFFFFFFFFu
    for (uintptr_t at = 0x10000000; at < 0xF0000000 && !p; at += 0x01000000)
      p = VirtualAlloc(reinterpret_cast<void*>(at), 4096, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE);
#else
    p = VirtualAlloc(nullptr, 4096, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE);
#endif
    return static_cast<uint8_t*>(p);
  }();
  return buffer;
}

}  // namespace

void PrepareSheetButtons(HWND page) {
  HWND sheet = ::GetParent(page);
  if (!sheet) return;
  ::ShowWindow(::GetDlgItem(sheet, IDOK), SW_HIDE);
  ::SetWindowTextA(::GetDlgItem(sheet, IDCANCEL), "Close");
}

// ---- register access ------------------------------------------------------------------------------
SpiRegisterAccess::SpiRegisterAccess(CNorExplorerDlg* explorer)
    : explorer_(explorer), savedMode_(explorer ? explorer->GetReadMode() : 0) {}

SpiRegisterAccess::~SpiRegisterAccess() {
  if (!explorer_) {
    DeviceApiTable.gfslNORSetASOMode(0, 1);
    return;
  }
  explorer_->SetReadMode(savedMode_);
  explorer_->ApplyAsoMode();
}

// A space the device refuses leaves it in the memory array: nothing may then be read, programmed
// or erased as if it were the register.
void SpiRegisterAccess::Enter(uint32_t space, bool leaveFirst) {
  if (leaveFirst) DeviceApiTable.gfslNORSetASOMode(0, 1);
  entered_ = DeviceApiTable.gfslNORSetASOMode(0, space) == 0;
}

bool SpiRegisterAccess::ReadByte(uint32_t address, uint8_t* value) { return Read(address, 1, value); }

bool SpiRegisterAccess::Read(uint32_t address, uint32_t length, uint8_t* buffer) {
  return entered_ && DeviceApiTable.gfslNORReadRawData(0, address, length, buffer) == 0;
}

bool SpiRegisterAccess::Program(uint32_t address, uint32_t length, const uint8_t* data) {
  return entered_ && DeviceApiTable.gfslNORProgramRawData(0, address, length, data) == 0;
}

bool SpiRegisterAccess::Erase(uint32_t block) { return entered_ && DeviceApiTable.gfslNOREraseBlock(0, block) == 0; }

namespace {

// An OTP page is made for one OTP area; a device that refuses the OTP space has none the page
// could show or program, and the page is left out.
bool OtpSpaceAvailable(CNorExplorerDlg* explorer) {
  SpiRegisterAccess access(explorer);
  access.Enter(0x100000);
  return access.Entered();
}

}  // namespace

// ---- the sheet ------------------------------------------------------------------------------------
CNorGeometrySheet::CNorGeometrySheet(const char* caption, lx::CNorSectorTable* table, CNorExplorerDlg* explorer,
                                     int startPage, int deviceCode)
    : CPropertySheet(caption, explorer, 0) {
  LoadLibraryA("riched20.dll");
  LxGridRegisterClass();
  m_HeaderFlags = PSH_NOAPPLYNOW;
  kinds_ = lx::GeometrySheetPages(DeviceKind(), deviceCode, startPage);
  using P = lx::NorPage;
  auto otp = [](P kind) { return kind == P::kPirelOtp || kind == P::kMarroOtp || kind == P::kBessaOtp; };
  if (std::any_of(kinds_.begin(), kinds_.end(), otp) && !OtpSpaceAvailable(explorer))
    kinds_.erase(std::remove_if(kinds_.begin(), kinds_.end(), otp), kinds_.end());
  for (P kind : kinds_) {
    CPropertyPage* page = nullptr;
    switch (kind) {
      case P::kSectorGeometry: page = new CNorSectorGeometryPage(table); break;
      case P::kCfiData: page = new CNorCFIDataPage(explorer); break;
      case P::kProtectGroup: page = new CNorProtectGroupGeometryPage(table); break;
      case P::kLockRegister: page = new CNorLockRegisterPage(table, nullptr); break;
      case P::kAspRegister: page = new CNorLockRegisterPage(table, "ASP register"); break;
      case P::kSecSi: page = new CNorSecSiSectorGeometryPage(explorer); break;
      case P::kSpiProtectGroup: page = new CSpiProtectGroupGeometryPage(explorer, deviceCode); break;
      case P::kSpiStatus: page = new CSpiStatusRegisterPage(explorer); break;
      case P::kSpiConfiguration: page = new CSpiConfigurationRegisterPage(explorer); break;
      case P::kMarroStatus1: page = new CSpiStatusRegister1MarroPage(explorer); break;
      case P::kMarroStatus2: page = new CSpiStatusRegister2MarroPage(explorer); break;
      case P::kMarroStatus3: page = new CSpiStatusRegister3MarroPage(explorer); break;
      case P::kBessaStatus2: page = new CSpiStatusRegister2BessaPage(explorer); break;
      case P::kDataLearning: page = new CSpiDLRegisterPage(explorer); break;
      case P::kPirelOtp: page = new CSpiOtpRegionsPage(explorer); break;
      case P::kMarroOtp: page = new CSpiOtpRegionsMarroPage(explorer); break;
      case P::kBessaOtp: page = new CSpiOtpRegionsBessaPage(explorer); break;
    }
    pages_.emplace_back(page);
    AddPage(page);
  }
}

CNorGeometrySheet::~CNorGeometrySheet() = default;

INT_PTR CNorGeometrySheet::DoModal() { return GetPageCount() ? CPropertySheet::DoModal() : IDCANCEL; }

BOOL CNorGeometrySheet::Create(CWnd* parent) { return GetPageCount() ? CPropertySheet::Create(parent) : FALSE; }

// ---- list pages -------------------------------------------------------------------------------------
CNorListPage::CNorListPage(UINT templateId, lx::CNorSectorTable* table, const char* title)
    : CPropertyPage(templateId, title), m_pTable(table) {}

CNorListPage::~CNorListPage() {
  if (font_) DeleteObject(font_);
}

BOOL CNorListPage::OnInitDialog() {
  CPropertyPage::OnInitDialog();
  PrepareSheetButtons(m_hWnd);
  font_ = MakeFont("Courier New", 12);
  ::SendDlgItemMessageA(m_hWnd, IDC_NG_LIST, WM_SETFONT, reinterpret_cast<WPARAM>(font_), TRUE);
  RECT client;
  ::GetClientRect(::GetDlgItem(m_hWnd, IDC_NG_LIST), &client);
  ::SendDlgItemMessageA(m_hWnd, IDC_NG_LIST, LB_SETHORIZONTALEXTENT, static_cast<WPARAM>(client.right * 2), 0);
  return TRUE;
}

void CNorListPage::FillList(const std::vector<std::string>& lines) {
  HWND list = ::GetDlgItem(m_hWnd, IDC_NG_LIST);
  ::SendMessageA(list, WM_SETREDRAW, FALSE, 0);
  ::SendMessageA(list, LB_RESETCONTENT, 0, 0);
  for (const std::string& line : lines) ::SendMessageA(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(line.c_str()));
  ::SendMessageA(list, WM_SETREDRAW, TRUE, 0);
  ::InvalidateRect(list, nullptr, TRUE);
}

std::vector<std::string> CNorListPage::ListLines() const {
  std::vector<std::string> lines;
  HWND list = ::GetDlgItem(m_hWnd, IDC_NG_LIST);
  const int count = static_cast<int>(::SendMessageA(list, LB_GETCOUNT, 0, 0));
  for (int i = 0; i < count; ++i) {
    std::string line(static_cast<size_t>(::SendMessageA(list, LB_GETTEXTLEN, static_cast<WPARAM>(i), 0)) + 1, '\0');
    ::SendMessageA(list, LB_GETTEXT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(&line[0]));
    line.resize(std::strlen(line.c_str()));
    lines.push_back(line);
  }
  return lines;
}

BOOL CNorSectorGeometryPage::OnInitDialog() {
  CNorListPage::OnInitDialog();
  FillList(lx::SectorGeometryLines(*m_pTable));
  return TRUE;
}

BOOL CNorProtectGroupGeometryPage::OnInitDialog() {
  CNorListPage::OnInitDialog();
  HWND action = ::GetDlgItem(m_hWnd, IDC_NG_ACTION);
  for (const char* text : {"Set to be PPB protected", "Set to be PPB unprotected", "Set to be PPB Lock Bit locked",
                           "Set to be DYB protected", "Set to be DYB unprotected"})
    ::SendMessageA(action, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text));
  const bool noPersistentBits = lx::DeviceVariant(*m_pTable) == 1;
  if (noPersistentBits) {
    FillList(lx::NoPersistentBitsNotice());
  } else {
    RebuildList();
    ::SendMessageA(action, CB_SETCURSEL, 0, 0);
  }
  ::EnableWindow(action, !noPersistentBits);
  ::EnableWindow(::GetDlgItem(m_hWnd, IDC_NG_PROCEED), !noPersistentBits);
  return TRUE;
}

void CNorProtectGroupGeometryPage::RebuildList() { FillList(lx::ProtectionListLines(*m_pTable, DeviceKind())); }

BOOL CNorProtectGroupGeometryPage::OnCommand(WPARAM wp, LPARAM lp) {
  if (LOWORD(wp) == IDC_NG_PROCEED) {
    Proceed();
    return TRUE;
  }
  return CPropertyPage::OnCommand(wp, lp);
}

void CNorProtectGroupGeometryPage::Proceed() {
  HWND list = ::GetDlgItem(m_hWnd, IDC_NG_LIST);
  const int action = static_cast<int>(::SendDlgItemMessageA(m_hWnd, IDC_NG_ACTION, CB_GETCURSEL, 0, 0));
  const int selectedCount = static_cast<int>(::SendMessageA(list, LB_GETSELCOUNT, 0, 0));
  std::vector<int> selected(static_cast<size_t>(selectedCount > 0 ? selectedCount : 0));
  if (!selected.empty())
    ::SendMessageA(list, LB_GETSELITEMS, static_cast<WPARAM>(selected.size()), reinterpret_cast<LPARAM>(selected.data()));
  // A persistent bit or the PPB lock bit outlives the power: ask first (PPB lock bit: until a reset).
  if (action == 2 && !ConfirmIrreversible(this,
                                          "Locking the PPB Lock Bit freezes every persistent protection bit until "
                                          "the next reset or power cycle.\nDo you really want to process it?",
                                          "Advanced sector protection"))
    return;
  if (action == 0 && selectedCount > 0 &&
      !ConfirmIrreversible(this, "Persistent protection bits stay set through power cycles.\nDo you really want to process it?",
                           "Advanced sector protection"))
    return;
  DeviceBlockSource source;
  int failures = 0;
  SetCursor(LoadCursor(nullptr, IDC_WAIT));
  lx::StartProgress();
  if (action == 1 || action == 2) {
    if (DeviceApiTable.gfslNORSetBlockStatus(0, 0, action == 2 ? 0x0800u : 0x0100u) == 0) {
      for (int32_t s = 0; s < m_pTable->count; ++s) m_pTable->ReadStatus(source, s);
    } else {
      ++failures;
    }
  }
  for (int line : selected) {
    if (line < 4 || line - 4 >= m_pTable->count) continue;
    const uint32_t sector = static_cast<uint32_t>(line - 4);
    uint32_t code = 0;
    if (action == 0) code = 0x0200;
    if (action == 3) code = 0x2000;
    if (action == 4) code = 0x1000;
    if (!code) continue;
    if (DeviceApiTable.gfslNORSetBlockStatus(0, sector, code) == 0)
      m_pTable->ReadStatus(source, static_cast<int32_t>(sector));
    else
      ++failures;
  }
  lx::StopProgress();
  SetCursor(LoadCursor(nullptr, IDC_ARROW));
  RebuildList();
  if (failures) {
    CString text;
    text.Format("%d protection change(s) failed; the list shows the device's state.", failures);
    NorMessage(this, text);
  }
}

// ---- lock register ---------------------------------------------------------------------------------
CNorLockRegisterPage::CNorLockRegisterPage(lx::CNorSectorTable* table, const char* title)
    : CPropertyPage(IDD_LX_NOR_LOCK_REGISTER, title), m_pTable(table) {}

void CNorLockRegisterPage::DoDataExchange(CDataExchange* dx) {
  const int ids[5] = {IDC_NG_LOCK_BIT0, IDC_NG_LOCK_BIT1, IDC_NG_LOCK_BIT2, IDC_NG_LOCK_BIT3, IDC_NG_LOCK_SSR1};
  for (int n = 0; n < 5; ++n) DDX_Check(dx, ids[n], m_Boxes[n]);
  for (int n = 0; n < 4; ++n) DDX_Text(dx, IDC_NG_PASSWORD0 + n, m_Words[n]);
}

BOOL CNorLockRegisterPage::OnInitDialog() {
  CPropertyPage::OnInitDialog();
  PrepareSheetButtons(m_hWnd);
  const int kind = DeviceKind();
  const int variant = lx::DeviceVariant(*m_pTable);
  bool enabled[5] = {true, true, true, false, true};
  if (kind == 1 && variant == 1) {
    enabled[1] = enabled[2] = enabled[4] = false;
  } else if (kind == 2) {
    enabled[0] = false;
    enabled[4] = false;
    ::EnableWindow(::GetDlgItem(m_hWnd, IDC_NG_PASSWORD_READ), TRUE);
    SetDlgItemText(IDC_NG_LOCK_GROUP, "ASP register status");
  }
  const int ids[5] = {IDC_NG_LOCK_BIT0, IDC_NG_LOCK_BIT1, IDC_NG_LOCK_BIT2, IDC_NG_LOCK_BIT3, IDC_NG_LOCK_SSR1};
  for (int n = 0; n < 5; ++n) ::EnableWindow(::GetDlgItem(m_hWnd, ids[n]), enabled[n]);
  ::EnableWindow(::GetDlgItem(m_hWnd, IDC_NG_LOCK_PPB_NOTE), FALSE);
  Refresh();
  for (CString& word : m_Words) word = "0xFFFF";
  UpdateData(FALSE);
  return TRUE;
}

void CNorLockRegisterPage::Refresh() {
  uint16_t status = 0;
  if (DeviceApiTable.gfslNORGetBlockStatus(0, 0, &status) != 0) {
    NorMessage(this, "Failed to read the lock register.");
    return;
  }
  UpdateData(TRUE);
  lx::LockRegisterBoxes(status, m_Boxes);
  UpdateData(FALSE);
}

BOOL CNorLockRegisterPage::OnCommand(WPARAM wp, LPARAM lp) {
  const UINT id = LOWORD(wp);
  switch (id) {
    case IDC_NG_LOCK_REFRESH: Refresh(); return TRUE;
    case IDC_NG_LOCK_PROGRAM: ProgramRegister(); return TRUE;
    case IDC_NG_PASSWORD_PROGRAM: ProgramPassword(0x4000, true); return TRUE;
    case IDC_NG_PASSWORD_UNLOCK: ProgramPassword(0x8000, false); return TRUE;
    case IDC_NG_PASSWORD_READ: ReadPassword(); return TRUE;
    case IDC_NG_LOCK_BIT1:
    case IDC_NG_LOCK_BIT2:
      // At most one of the two protection modes may be chosen for locking.
      if (HIWORD(wp) == BN_CLICKED) {
        const int other = id == IDC_NG_LOCK_BIT1 ? IDC_NG_LOCK_BIT2 : IDC_NG_LOCK_BIT1;
        if (!IsDlgButtonChecked(other) && !IsDlgButtonChecked(static_cast<int>(id))) CheckDlgButton(other, BST_CHECKED);
      }
      return TRUE;
    default: return CPropertyPage::OnCommand(wp, lp);
  }
}

void CNorLockRegisterPage::ProgramRegister() {
  // Lock register bits only ever go from unlocked to locked.
  if (!ConfirmIrreversible(this, "Do you really want to process it?", "Lock register")) return;
  UpdateData(TRUE);
  if (DeviceApiTable.gfslNORSetBlockStatus(0, 0, lx::LockRegisterValue(m_Boxes)) != 0) {
    LxMessageBox(m_hWnd, "Failed to program the lock register.", "Lock register", LX_MB_OK);
    return;
  }
  LxMessageBox(m_hWnd, "Finished", "Lock register", LX_MB_OK);
}

void CNorLockRegisterPage::ProgramPassword(uint32_t code, bool ask) {
  if (ask && !ConfirmIrreversible(this, "Do you really want to process it?", "Program password")) return;
  UpdateData(TRUE);
  uint32_t words[4];
  for (int n = 0; n < 4; ++n)
    if (!lx::ParseAutoBase(m_Words[n].GetString(), &words[n])) return;
  int failures = 0;
  for (uint32_t n = 0; n < 4; ++n)
    if (DeviceApiTable.gfslNORSetBlockStatus(0, ((words[n] & 0xFFFF) << 16) | n, code) != 0) ++failures;
  if (DeviceApiTable.gfslNORSetBlockStatus(0, 0xFFFF, code) != 0) ++failures;
  if (code == 0x4000)
    LxMessageBox(m_hWnd, failures ? "Failed to program the password." : "Finished", "Program password", LX_MB_OK);
  else if (failures)
    NorMessage(this, "The password did not unlock the device.");
}

void CNorLockRegisterPage::ReadPassword() {
  uint8_t* buffer = LowBuffer();
  if (!buffer) {
    NorMessage(this, "Failed to read the password.");
    return;
  }
  std::memset(buffer, 0, 8);
  if (DeviceApiTable.gfslNORSetBlockStatus(0, static_cast<uint32_t>(reinterpret_cast<uintptr_t>(buffer)), 0xC000) != 0) {
    NorMessage(this, "Failed to read the password.");
    return;
  }
  CString text;
  text.Format("Password Read (PASSRD E7h) shows 0x%02X 0x%02X 0x%02X 0x%02X 0x%02X 0x%02X 0x%02X 0x%02X", buffer[0],
              buffer[1], buffer[2], buffer[3], buffer[4], buffer[5], buffer[6], buffer[7]);
  NorMessage(this, text);
}

// ---- dump pages ---------------------------------------------------------------------------------------
BOOL CNorDumpPage::OnInitDialog() {
  CPropertyPage::OnInitDialog();
  PrepareSheetButtons(m_hWnd);
  static HFONT courier = MakeFont("Courier New", 12);
  ::SendDlgItemMessageA(m_hWnd, IDC_NG_DUMP, WM_SETFONT, reinterpret_cast<WPARAM>(courier), TRUE);
  return TRUE;
}

void CNorDumpPage::Dump(int readMode, uint32_t base) {
  SetDlgItemText(IDC_NG_DUMP, "");
  std::vector<uint8_t> bytes(1024, 0);
  const int saved = m_pExplorer->GetReadMode();
  m_pExplorer->SetReadMode(readMode);
  m_pExplorer->ApplyAsoMode();
  DeviceApiTable.gfslNORReadRawData(0, base, 1024, bytes.data());
  SetDlgItemText(IDC_NG_DUMP, lx::HexDump1024(bytes.data(), base).c_str());
  ::SendDlgItemMessageA(m_hWnd, IDC_NG_DUMP, EM_SETSEL, 0, 0);
  m_pExplorer->SetReadMode(saved);
  m_pExplorer->ApplyAsoMode();
}

CString CNorDumpPage::DumpText() const { return ItemText(m_hWnd, IDC_NG_DUMP).c_str(); }

BOOL CNorCFIDataPage::OnInitDialog() {
  CNorDumpPage::OnInitDialog();
  Dump(kCfiMode, 0);
  return TRUE;
}

void CNorSecSiSectorGeometryPage::DoDataExchange(CDataExchange* dx) {
  DDX_Text(dx, IDC_NG_SECSI_ADDRESS, m_Address);
  DDX_Text(dx, IDC_NG_SECSI_DATA, m_Data);
  DDX_Check(dx, IDC_NG_SECSI_TOP, m_TopBoot);
}

BOOL CNorSecSiSectorGeometryPage::OnInitDialog() {
  CNorDumpPage::OnInitDialog();
  RefreshBase();
  return TRUE;
}

void CNorSecSiSectorGeometryPage::RefreshBase() {
  UpdateData(TRUE);
  m_Base = 0;
  if (m_TopBoot) {
    lx::CNorSectorTable table;
    DeviceBlockSource source;
    table.Build(source);
    if (table.count > 0) m_Base = table.start[static_cast<size_t>(table.count - 1)];
    table.Free();
  }
  Dump(kSsrMode, m_Base);
}

BOOL CNorSecSiSectorGeometryPage::OnCommand(WPARAM wp, LPARAM lp) {
  switch (LOWORD(wp)) {
    case IDC_NG_SECSI_TOP:
      if (HIWORD(wp) == BN_CLICKED) RefreshBase();
      return TRUE;
    case IDC_NG_SECSI_PROGRAM: Program(); return TRUE;
    default: return CNorDumpPage::OnCommand(wp, lp);
  }
}

void CNorSecSiSectorGeometryPage::Program() {
  UpdateData(TRUE);
  uint32_t address = 0, data = 0;
  if (!lx::ParseAutoBase(m_Address.GetString(), &address) || !lx::ParseAutoBase(m_Data.GetString(), &data)) return;
  // The dump shows 1,024 bytes from the base: an offset is one of them.
  if (address >= 1024) {
    NorMessage(this, "The address offset must lie in the 1,024 bytes shown (0 to 0x3FF).");
    return;
  }
  const uint8_t byte = static_cast<uint8_t>(data);
  CString question;
  question.Format("Do you really want to process it?\n\nAddress offset (in Byte): 0x%X(%d)\nData (in Byte): 0x%X(%d)",
                  static_cast<unsigned>(address), static_cast<int>(address), byte, byte);
  if (!ConfirmIrreversible(this, question, "SecSi sector geometry")) return;
  const int saved = m_pExplorer->GetReadMode();
  m_pExplorer->SetReadMode(kSsrMode);
  m_pExplorer->ApplyAsoMode();
  const int rc = DeviceApiTable.gfslNORProgramRawData(0, m_Base + address, 1, &byte);
  m_pExplorer->SetReadMode(saved);
  m_pExplorer->ApplyAsoMode();
  if (rc != 0) NorMessage(this, "Error: Program failed");
  Dump(kSsrMode, m_Base);
}
