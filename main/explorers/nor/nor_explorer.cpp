// The NOR explorer window: the grid, navigation, in-place editing, address spaces, the two
// program buttons and the buttons that open the other NOR tools.
#include "nor_explorer.h"

#include <algorithm>
#include <cstdio>

#include "device_api.h"
#include "explorer_core.h"
#include "hex_grid_tools.h"
#include "lumivex/prompt.h"
#include "nor_hooks.h"
#include "nor_sheet.h"
#include "program_context.h"
#include "tool_wait.h"
#include "window_tool_host.h"

namespace {

CNorExplorerDlg* g_explorer = nullptr;

constexpr int kCols = 16, kAsciiCol = 17;
constexpr COLORREF kHighlight = 0x0000C0FF;  // red 255, green 192, blue 0
const char* const kReadModes[] = {"Read mode", "EA mode", "CFI overlay mode", "Autoselect(ID) overlay mode",
                                  "SSR(OTP) overlay mode"};

// Shared by every explorer of the process (there is one at a time): the highlight. Nothing is
// highlighted at the start, and the colour to put back is the grid's own header colour, never an
// unset (black) one.
bool g_highlightCleared = true;
COLORREF g_savedHeaderColor = 0;
bool g_savedHeaderKnown = false;

const int kAnchoredIds[] = {IDC_NE_FIRST,        IDC_NE_PREVIOUS,     IDC_NE_NUMBER,         IDC_NE_MOVE,
                            IDC_NE_NEXT,         IDC_NE_LAST,         IDC_NE_READ_MODE,      IDC_NE_AUTO_LABEL,
                            IDC_NE_AUTO_UPDATE,  IDC_NE_PROGRAM,      IDC_NE_PROGRAM_ERASE,  IDC_NE_FIND,
                            IDC_NE_IMPORT,       IDC_NE_EXPORT,       IDC_NE_EDIT_DATA,      IDC_NE_EDIT_READ,
                            IDC_NE_EDIT_PROGRAM, IDC_NE_EDIT_COPY,    IDC_NE_EDIT_ERASE,     IDC_NE_EDIT_VERIFY,
                            IDC_NE_GEOMETRY,     IDC_NE_SECTOR_GEOMETRY, IDC_NE_CFI_DATA,    IDC_NE_PROTECT_GROUP,
                            IDC_NE_OTP_REGION,   IDCANCEL};

}  // namespace

uint32_t DeviceBlockSource::BlockSize(uint32_t index) { return DeviceApiTable.gfslNORGetBlockSize("/a", index); }

int DeviceBlockSource::BlockStatus(uint32_t index, uint16_t* status) {
  return DeviceApiTable.gfslNORGetBlockStatus(0, index, status);
}

int DeviceNorIo::Read(uint32_t address, uint32_t length, uint8_t* buffer) {
  return DeviceApiTable.gfslNORReadRawData(0, address, length, buffer);
}

int DeviceNorIo::Program(uint32_t address, uint32_t length, const uint8_t* data) {
  return DeviceApiTable.gfslNORProgramRawData(0, address, length, data);
}

int DeviceNorIo::EraseSector(uint32_t sector) { return DeviceApiTable.gfslNOREraseBlock(0, sector); }

bool ConfirmIrreversible(CWnd* owner, const char* text, const char* caption) {
  return LxMessageBox(owner ? owner->m_hWnd : nullptr, text, caption, LX_MB_YESNO | LX_MB_DEFBUTTON2) == LX_IDYES;
}

// The program's name as caption, as on every plain box: a null caption reads "Error" on Windows,
// also over "Program finished.".
void NorMessage(CWnd* owner, const char* text) { LxMessageBox(owner ? owner->m_hWnd : nullptr, text, "Lumivex", LX_MB_OK); }

CNorExplorerDlg* GetNorExplorer() { return g_explorer; }

CNorExplorerDlg::CNorExplorerDlg(CWnd* parent, int deviceCode)
    : CHexExplorerWithFind(IDD_LX_NOR_EXPLORER, {IDC_NE_GRID, IDC_NE_EDITOR, IDC_NE_FIRST, IDC_NE_PREVIOUS, IDC_NE_NEXT,
                                                 IDC_NE_LAST, IDC_NE_FIND, IDC_NE_IMPORT, IDC_NE_EXPORT,
                                                 IDC_NE_AUTO_UPDATE}),
      m_DeviceCode(deviceCode),
      parent_(parent) {
  m_WindowBuffer.assign(GetWindowSize(), 0xFF);
}

CNorExplorerDlg::~CNorExplorerDlg() {
  if (m_pSectorTable) {
    m_pSectorTable->Free();
    delete m_pSectorTable;
  }
}

void CNorExplorerDlg::PostNcDestroy() {
  if (g_explorer == this) g_explorer = nullptr;
  delete this;
}

void CNorExplorerDlg::DoDataExchange(CDataExchange* dx) {
  // Any text counts: digits are read, the rest is the clamp's business.
  CString text;
  if (!dx->m_bSaveAndValidate) text.Format("%ld", static_cast<long>(m_WindowIndex));
  DDX_Text(dx, IDC_NE_NUMBER, text);
  if (dx->m_bSaveAndValidate) m_WindowIndex = static_cast<int32_t>(std::max<long long>(
                                  std::min<long long>(std::strtoll(text.GetString(), nullptr, 10), 0x7FFFFFFF), -0x7FFFFFFF));
}

BOOL CNorExplorerDlg::OnInitDialog() {
  CDialog::OnInitDialog();
  m_Grid.Attach(::GetDlgItem(m_hWnd, IDC_NE_GRID));
  SetGridFont("Tahoma", DEFAULT_PITCH | FF_SWISS);
  const int rows = RowsPerWindow();
  m_Grid.SetRedraw(false);
  m_Grid.SetRows(rows + 1);
  m_Grid.SetCols(kAsciiCol + 1);
  m_Grid.SetColWidth(0, 1100);
  for (int r = 1; r <= rows; ++r) m_Grid.SetTextMatrix(r, 0, lx::NorRowLabel(16u * uint32_t(r)).c_str());
  for (int c = 1; c <= kCols; ++c) m_Grid.SetColWidth(c, 300);
  m_Grid.SetColWidth(kAsciiCol, 1800);
  m_Grid.SetRedraw(true);
  if (!g_savedHeaderKnown) {
    g_savedHeaderColor = m_Grid.GetBackColorFixed();
    g_savedHeaderKnown = true;
  }
  m_bFirstLayout = true;
  HWND readMode = ::GetDlgItem(m_hWnd, IDC_NE_READ_MODE);
  for (const char* text : kReadModes) ::SendMessageA(readMode, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text));
  ::SendMessageA(readMode, CB_SETCURSEL, 0, 0);
  HWND autoUpdate = ::GetDlgItem(m_hWnd, IDC_NE_AUTO_UPDATE);
  for (const char* text : {"None", "0.5 sec", "1 sec"})
    ::SendMessageA(autoUpdate, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text));
  ::SendMessageA(autoUpdate, CB_SETCURSEL, 0, 0);
  m_PreviousAso = 0;
  if (!m_pSectorTable) {
    m_pSectorTable = new lx::CNorSectorTable;
    DeviceBlockSource source;
    m_pSectorTable->Build(source);
  }
  AnchorToBottom(std::vector<int>(std::begin(kAnchoredIds), std::end(kAnchoredIds)), 2, 3);
  return TRUE;
}

// ---- windows -----------------------------------------------------------------------------------
uint32_t CNorExplorerDlg::GetWindowSize() const {
  lx::ProgramContext* program = lx::Program();
  return lx::NorWindowSize(program ? program->WindowSizeIndex() : 0);
}

int32_t CNorExplorerDlg::CountWindows() {
  m_WindowCount = lx::NorWindowCount(DeviceApiTable.gfslGetNumberOfBytesPerDevice("/a"), GetWindowSize());
  return m_WindowCount;
}

int CNorExplorerDlg::ReadWindow(int device, uint32_t address, uint32_t length, uint8_t* buffer) {
  HideEditor();
  return DeviceApiTable.gfslNORReadRawData(device, address, length, buffer);
}

void CNorExplorerDlg::SetTitle(bool readError) {
  CString title;
  title.Format(readError ? "Device Explorer: window#%ld/%ld - READ ERROR" : "Device Explorer: window#%ld/%ld",
               static_cast<long>(m_WindowIndex), static_cast<long>(m_WindowCount - 1));
  SetWindowText(title);
}

void CNorExplorerDlg::ShowWindowData(const uint8_t* buffer, bool labelsOnly) {
  HighlightFound(0, 0, true);
  const int rows = RowsPerWindow();
  const uint32_t base = static_cast<uint32_t>(static_cast<uint64_t>(m_WindowIndex) * m_WindowBuffer.size());
  char text[8];
  m_Grid.SetRedraw(false);
  if (m_bFirstLayout || m_Grid.GetRows() != rows + 1) {
    m_bFirstLayout = false;
    m_Grid.SetRows(rows + 1);
    m_Grid.SetCols(kAsciiCol + 1);
    m_Grid.SetColWidth(0, 1100);
    for (int c = 1; c <= kCols; ++c) {
      std::snprintf(text, sizeof text, "%02X", c - 1);
      m_Grid.SetTextMatrix(0, c, text);
      m_Grid.SetColWidth(c, 300);
    }
    m_Grid.SetColWidth(kAsciiCol, 1800);
  }
  for (int r = 1; r <= rows; ++r) m_Grid.SetTextMatrix(r, 0, lx::NorRowLabel(base + 16u * uint32_t(r - 1)).c_str());
  if (!labelsOnly) {
    for (int r = 1; r <= rows; ++r) {
      const uint8_t* row = buffer + 16 * (r - 1);
      for (int c = 1; c <= kCols; ++c) {
        std::snprintf(text, sizeof text, "%02X", row[c - 1]);
        m_Grid.SetTextMatrix(r, c, text);
      }
      m_Grid.SetTextMatrix(r, kAsciiCol, lx::AsciiRowText(row).c_str());
    }
  }
  m_Grid.SetRedraw(true);
}

void CNorExplorerDlg::ReadAndShow() {
  // The options may have changed the window size since the last read: the buffer follows, so no
  // read or write ever passes its end.
  const uint32_t size = GetWindowSize();
  if (m_WindowBuffer.size() != size) {
    m_WindowBuffer.assign(size, 0xFF);
    CountWindows();
    m_WindowIndex = lx::ClampWindowIndex(m_WindowIndex, m_WindowCount);
  }
  CString number;
  number.Format("%ld", static_cast<long>(m_WindowIndex));
  SetDlgItemText(IDC_NE_NUMBER, number);
  int rc = -1;
  const uint64_t address = static_cast<uint64_t>(m_WindowIndex) * size;
  if (m_WindowCount > 0 && address + size <= 0x100000000ull)
    rc = ReadWindow(0, static_cast<uint32_t>(address), size, m_WindowBuffer.data());
  SetTitle(rc != 0);
  ShowWindowData(m_WindowBuffer.data(), false);
}

void CNorExplorerDlg::ShowFirstWindow() {
  if (m_WindowCount == 0) CountWindows();
  m_WindowIndex = 0;
  ReadAndShow();
}

void CNorExplorerDlg::ShowPreviousWindow() {
  if (m_WindowCount == 0) CountWindows();
  m_WindowIndex = lx::ClampWindowIndex(int64_t(m_WindowIndex) - 1, m_WindowCount);
  ReadAndShow();
}

void CNorExplorerDlg::ShowNextWindow() {
  if (m_WindowCount == 0) CountWindows();
  m_WindowIndex = lx::ClampWindowIndex(int64_t(m_WindowIndex) + 1, m_WindowCount);
  ReadAndShow();
}

void CNorExplorerDlg::ShowLastWindow() {
  if (m_WindowCount == 0) CountWindows();
  m_WindowIndex = lx::ClampWindowIndex(int64_t(m_WindowCount) - 1, m_WindowCount);
  ReadAndShow();
}

void CNorExplorerDlg::GoToWindow() {
  if (m_WindowCount == 0) CountWindows();
  UpdateData(TRUE);
  m_WindowIndex = lx::ClampWindowIndex(m_WindowIndex, m_WindowCount);
  ReadAndShow();
}

void CNorExplorerDlg::MoveToAddress(uint32_t address) {
  if (m_WindowCount == 0) CountWindows();
  m_WindowIndex = lx::ClampWindowIndex(address / GetWindowSize(), m_WindowCount);
  UpdateData(FALSE);
  GoToWindow();
}

void CNorExplorerDlg::HighlightFound(int32_t offset, int32_t, bool clear) {
  if (!clear) {
    g_highlightCleared = false;
    g_savedHeaderColor = m_Grid.GetBackColorFixed();
    MarkFoundByte(m_Grid, offset / kCols + 1, offset % kCols + 1, kHighlight);
    return;
  }
  if (g_highlightCleared) return;
  g_highlightCleared = true;
  RestoreHeaderColors(m_Grid, RowsPerWindow(), kCols, g_savedHeaderColor);
}

// ---- address spaces ----------------------------------------------------------------------------
int CNorExplorerDlg::GetReadMode() const {
  int index = static_cast<int>(::SendDlgItemMessageA(m_hWnd, IDC_NE_READ_MODE, CB_GETCURSEL, 0, 0));
  return index < 0 ? 0 : index;
}

void CNorExplorerDlg::SetReadMode(int index) {
  ::SendDlgItemMessageA(m_hWnd, IDC_NE_READ_MODE, CB_SETCURSEL, static_cast<WPARAM>(index), 0);
}

void CNorExplorerDlg::ApplyAsoMode() {
  const int s = GetReadMode(), p = m_PreviousAso;
  if (s != 0) {
    if (p != 0) DeviceApiTable.gfslNORSetASOMode(0, (1u << p) | 1u);
    DeviceApiTable.gfslNORSetASOMode(0, 1u << s);
  } else {
    DeviceApiTable.gfslNORSetASOMode(0, (1u << p) | 1u);
  }
  m_PreviousAso = s;
  GoToWindow();
}

bool CNorExplorerDlg::RefusedOutsideReadMode() {
  if (GetReadMode() == 0) return false;
  LxMessageBox(m_hWnd, "The operation is allowed in Read mode", "Lumivex", LX_MB_OK | MB_ICONINFORMATION);
  return true;
}

// ---- programming -------------------------------------------------------------------------------
void CNorExplorerDlg::ProgramWithoutErase() {
  if (RefusedOutsideReadMode() || !lx::Confirm()) return;
  HideEditor();
  const uint32_t size = static_cast<uint32_t>(m_WindowBuffer.size());
  const uint32_t address = static_cast<uint32_t>(uint64_t(m_WindowIndex) * size);
  std::string failure;
  {
    lx::WaitCursor wait(true);
    // The whole window is compared: the program's own check covers its last word only.
    std::vector<uint8_t> back(size);
    if (DeviceApiTable.gfslNORProgramRawData(0, address, size, m_WindowBuffer.data()) != 0)
      failure = "Error: Program failed";
    else if (DeviceApiTable.gfslNORReadRawData(0, address, size, back.data()) != 0)
      failure = "Error: Program failed: the window could not be read back to check it.";
    else
      failure = lx::ProgramCompareFailure(address, m_WindowBuffer.data(), back.data(), size);
  }
  SetTitle(false);
  if (!failure.empty()) {
    NorMessage(this, failure.c_str());
    // The edit stays in the buffer, to be programmed with the erase: the chip's bytes read back
    // would take its place.
    ShowWindowData(m_WindowBuffer.data(), false);
    return;
  }
  GoToWindow();
  NorMessage(this, "Program finished.");
}

std::string CNorExplorerDlg::TempFilePath() {
  lx::ProgramContext* program = lx::Program();
  std::string folder;
  if (program && !program->UserAreaFolder().empty()) {
    folder = program->UserAreaFolder() + "\\User Data";
  } else {
    char temp[MAX_PATH] = "";
    GetTempPathA(sizeof temp, temp);
    folder = temp;
    if (!folder.empty() && folder.back() == '\\') folder.pop_back();
  }
  return folder + "\\__temp__.bin";
}

void CNorExplorerDlg::ProgramWithErase() {
  if (RefusedOutsideReadMode() || !lx::Confirm()) return;
  HideEditor();
  const std::string path = TempFilePath();
  const uint32_t w = static_cast<uint32_t>(m_WindowBuffer.size());
  const uint32_t windowAddress = static_cast<uint32_t>(uint64_t(m_WindowIndex) * w);
  const lx::EraseRewritePlan plan = lx::PlanEraseRewrite(*m_pSectorTable, windowAddress, w);
  if (!plan.ok) {
    NorMessage(this, plan.refusal);
    return;
  }
  DeviceNorIo device;
  CWindowToolHost host(this);
  const lx::NorLoopResult result = lx::RewriteSectorWithWindow(device, host, plan, windowAddress, m_WindowBuffer, path);
  SetTitle(false);
  ShowWindowData(m_WindowBuffer.data(), false);
  // After a failure the edit stays in the buffer, to be tried again or kept: reading the window
  // back would put the chip's bytes, erased or old, in its place.
  if (result.finished) GoToWindow();
}

// ---- the other tools -----------------------------------------------------------------------------
bool CNorExplorerDlg::MayTransfer(bool import) {
  if (import && RefusedOutsideReadMode()) return false;
  return lx::Confirm();
}

std::unique_ptr<CDialog> CNorExplorerDlg::MakeTransferDialog(bool import) {
  if (import) return std::unique_ptr<CDialog>(new CNorImportDlg(m_WindowIndex, this));
  return std::unique_ptr<CDialog>(new CNorExportDlg(m_WindowIndex, this));
}

void CNorExplorerDlg::RunEditSheet(int startPage, int mode) {
  // Only the read-only page (mode 1) may run in an overlay: the others program or erase, and the
  // device would take those addresses as the overlay's, or refuse them, instead of the array's.
  if (mode != 1 && RefusedOutsideReadMode()) return;
  BeginOperation();
  RunEditNorSheet(this, m_pSectorTable, startPage, mode);
  if (EndOperation()) GoToWindow();
}

void CNorExplorerDlg::RunGeometrySheet(int startPage) {
  CNorGeometrySheet sheet("Device geometry", m_pSectorTable, this, startPage, m_DeviceCode);
  if (sheet.GetPageCount() == 0) {
    NorMessage(this, "The device has no pages of this kind.");
    return;
  }
  BeginOperation();
  sheet.DoModal();
  EndOperation();
}

void CNorExplorerDlg::RunMoveToAddress() {
  CMoveToAddressDlg dialog(this);
  INT_PTR answer = IDCANCEL;
  if (RunTool(dialog, &answer) && answer == IDOK) MoveToAddress(dialog.m_Address);
}

void CNorExplorerDlg::Tell(const char* text) { NorMessage(this, text); }

// ---- the in-place editor -------------------------------------------------------------------------
bool CNorExplorerDlg::EditableCell(long row, long col) const {
  return row >= 1 && row <= RowsPerWindow() && col >= 1 && col <= kCols;
}

std::string CNorExplorerDlg::StoreCell(long row, long col, const std::string& typed) {
  return StoreByteCell(m_Grid, row, col, kAsciiCol, typed, m_WindowBuffer.data());
}

// ---- messages ------------------------------------------------------------------------------------
BOOL CNorExplorerDlg::OnCommand(WPARAM wp, LPARAM lp) {
  const UINT id = LOWORD(wp), code = HIWORD(wp);
  switch (id) {
    case IDC_NE_FIRST: ShowFirstWindow(); return TRUE;
    case IDC_NE_PREVIOUS: ShowPreviousWindow(); return TRUE;
    case IDC_NE_NEXT: ShowNextWindow(); return TRUE;
    case IDC_NE_LAST: ShowLastWindow(); return TRUE;
    case IDOK:
    case IDC_NE_MOVE:
      if (::GetFocus() == ::GetDlgItem(m_hWnd, IDC_NE_EDITOR)) {
        HideEditor();
        ::SetFocus(m_Grid.GetSafeHwnd());
      } else {
        GoToWindow();
      }
      return TRUE;
    case IDC_NE_READ_MODE:
      if (code == CBN_SELCHANGE) ApplyAsoMode();
      return TRUE;
    case IDC_NE_PROGRAM: ProgramWithoutErase(); return TRUE;
    case IDC_NE_PROGRAM_ERASE: ProgramWithErase(); return TRUE;
    case IDC_NE_EDIT_DATA:
      if (!RefusedOutsideReadMode() && lx::Confirm()) RunEditSheet(0, 0);
      return TRUE;
    case IDC_NE_GEOMETRY: RunGeometrySheet(0); return TRUE;
    case IDC_NE_EDIT_READ: RunEditSheet(1, 1); return TRUE;
    case IDC_NE_EDIT_PROGRAM: RunEditSheet(1, 2); return TRUE;
    case IDC_NE_EDIT_COPY: RunEditSheet(3, 0); return TRUE;
    case IDC_NE_EDIT_ERASE: RunEditSheet(4, 0); return TRUE;
    case IDC_NE_EDIT_VERIFY: RunEditSheet(5, 0); return TRUE;
    case IDC_NE_SECTOR_GEOMETRY: RunGeometrySheet(1); return TRUE;
    case IDC_NE_CFI_DATA: RunGeometrySheet(2); return TRUE;
    case IDC_NE_PROTECT_GROUP: RunGeometrySheet(3); return TRUE;
    case IDC_NE_OTP_REGION: RunGeometrySheet(6); return TRUE;
    case ID_LX_MOVE_TO_ADDRESS: RunMoveToAddress(); return TRUE;
    case IDCANCEL: Close(); return TRUE;
    default: return CHexExplorer::OnCommand(wp, lp);
  }
}

BOOL CNorExplorerDlg::OnNotify(WPARAM wp, LPARAM lp, LRESULT* result) {
  auto* header = reinterpret_cast<NMHDR*>(lp);
  if (header->idFrom != IDC_NE_GRID || header->code != LXGN_RCLICK) return CHexExplorer::OnNotify(wp, lp, result);
  HMENU menu = LoadMenuA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDR_LX_NOR_EXPLORER_MENU));
  if (!menu) return TRUE;
  const DWORD at = GetMessagePos();
  TrackPopupMenu(GetSubMenu(menu, 0), TPM_LEFTALIGN | TPM_RIGHTBUTTON, static_cast<short>(LOWORD(at)),
                 static_cast<short>(HIWORD(at)), 0, m_hWnd, nullptr);
  DestroyMenu(menu);
  return TRUE;
}

// ---- the frame's side -----------------------------------------------------------------------------
bool CreateNorExplorer(CWnd* frame, int deviceCode) {
  if (g_explorer) return true;
  LxGridRegisterClass();
  auto* explorer = new CNorExplorerDlg(frame, deviceCode);
  if (!explorer->Create(IDD_LX_NOR_EXPLORER, nullptr)) {
    delete explorer;
    return false;
  }
  g_explorer = explorer;
  explorer->ShowWindow(SW_SHOW);
  ::SetFocus(::GetDlgItem(explorer->m_hWnd, IDC_NE_MOVE));
  explorer->SetReadMode(0);
  explorer->ApplyAsoMode();
  explorer->ShowFirstWindow();
  return true;
}

bool DestroyNorExplorer() {
  if (!g_explorer) return true;
  return g_explorer->Close();
}
