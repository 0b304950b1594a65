// The sector explorer: one sector of partition 0 as a hex grid, edited in place and written
// back, with navigation, a refresh timer, the two addressings and the jump to the device
// explorers.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "device_api.h"
#include "explorers.h"
#include "hex_grid_tools.h"
#include "program_context.h"
#include "sectortools.h"

namespace {

CSectorExplorerDlg* g_explorer = nullptr;

constexpr int kRows = 32, kCols = 16, kAsciiCol = 17;
constexpr COLORREF kHighlight = 0x0000C0FF;  // RGB 255, 192, 0

const int kAnchoredIds[] = {IDC_SE_FIRST, IDC_SE_PREVIOUS, IDC_SE_NEXT,      IDC_SE_LAST,       IDC_SE_NUMBER,
                            IDC_SE_MOVE,  IDC_SE_ADDRESSING, IDC_SE_WRITE,   IDC_SE_FIND,       IDC_SE_IMPORT,
                            IDC_SE_EXPORT, IDC_SE_AUTO_LABEL, IDC_SE_AUTO_UPDATE, IDC_SE_JUMP, IDC_SE_CLOSE};

void AddStrings(HWND combo, std::initializer_list<const char*> texts) {
  for (const char* text : texts) ::SendMessageA(combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text));
  ::SendMessageA(combo, CB_SETCURSEL, 0, 0);
}

}  // namespace

CSectorExplorerDlg* GetSectorExplorer() { return g_explorer; }

CSectorExplorerDlg::CSectorExplorerDlg(CWnd* frame)
    : CHexExplorerWithFind(IDD_LX_SECTOR_EXPLORER, {IDC_SE_GRID, IDC_SE_EDITOR, IDC_SE_FIRST, IDC_SE_PREVIOUS,
                                                    IDC_SE_NEXT, IDC_SE_LAST, IDC_SE_FIND, IDC_SE_IMPORT,
                                                    IDC_SE_EXPORT, IDC_SE_AUTO_UPDATE}),
      frame_(frame) {}

void CSectorExplorerDlg::PostNcDestroy() {
  if (g_explorer == this) g_explorer = nullptr;
  delete this;
}

BOOL CSectorExplorerDlg::OnInitDialog() {
  CDialog::OnInitDialog();
  m_Grid.Attach(::GetDlgItem(m_hWnd, IDC_SE_GRID));
  m_Grid.SetRedraw(false);
  SetGridFont("Tahoma", DEFAULT_PITCH | FF_SWISS);
  m_Grid.SetRows(kRows + 1);
  m_Grid.SetCols(kAsciiCol + 1);
  m_Grid.SetFixedRows(1);
  m_Grid.SetFixedCols(1);
  m_Grid.SetColWidth(0, 700);
  for (int c = 1; c <= kCols; ++c) {
    m_Grid.SetColWidth(c, 300);
    m_Grid.SetTextMatrix(0, c, lx::SectorColumnLabel(c).c_str());
  }
  m_Grid.SetColWidth(kAsciiCol, 2000);
  for (int r = 1; r <= kRows; ++r) m_Grid.SetTextMatrix(r, 0, lx::SectorRowLabel(r).c_str());
  m_Grid.SetRedraw(true);
  savedHeader_ = m_Grid.GetBackColorFixed();

  AddStrings(::GetDlgItem(m_hWnd, IDC_SE_ADDRESSING), {"Physical sector", "Logical Sector"});
  AddStrings(::GetDlgItem(m_hWnd, IDC_SE_AUTO_UPDATE), {"None", "0.5 sec", "1 sec"});
  lx::ProgramContext* program = lx::Program();
  int kind = program ? program->DeviceKind() : 0;
  SetDlgItemText(IDC_SE_JUMP, kind >= 1 && kind <= 3 ? "Jump to window" : "Jump to page");
  ::EnableWindow(::GetDlgItem(m_hWnd, IDC_SE_WRITE), FALSE);  // nothing read yet

  AnchorToBottom(std::vector<int>(std::begin(kAnchoredIds), std::end(kAnchoredIds)), 1, 2);
  return TRUE;
}

// ---- reading and showing -------------------------------------------------------------------------
int CSectorExplorerDlg::ReadSector(int32_t sector, uint8_t* buffer) {
  HideEditor();
  if (sector < 0) return -1;
  return DeviceApiTable.gfslReadSectors(0, static_cast<uint32_t>(sector), 1, buffer, m_Addressing);
}

int32_t CSectorExplorerDlg::CountSectors() {
  m_SectorCount = DeviceApiTable.gfslGetNumberOfSectors(0, m_Addressing);
  return m_SectorCount;
}

void CSectorExplorerDlg::ShowSector() {
  if (m_SectorCount == 0) CountSectors();
  int rc = ReadSector(m_SectorNumber, m_Buffer.data());
  CString title;
  title.Format(rc == 0 ? "Sector explorer: sector#%ld/%ld" : "Sector explorer: sector#%ld/%ld - READ ERROR",
               static_cast<long>(m_SectorNumber), static_cast<long>(m_SectorCount - 1));
  SetWindowText(title);
  // After a failed read the buffer still holds an earlier sector: it must not be written
  // over the one that is named.
  m_ShownSector = rc == 0 ? m_SectorNumber : -1;
  m_ShownAddressing = m_Addressing;
  ::EnableWindow(::GetDlgItem(m_hWnd, IDC_SE_WRITE), rc == 0);
  CString number;
  number.Format("%ld", static_cast<long>(m_SectorNumber));
  SetDlgItemText(IDC_SE_NUMBER, number);
  FillGrid();
}

void CSectorExplorerDlg::FillGrid() {
  RestoreHighlight();
  m_Grid.SetRedraw(false);
  char text[4];
  for (int r = 1; r <= kRows; ++r) {
    const uint8_t* row = m_Buffer.data() + (r - 1) * kCols;
    for (int c = 1; c <= kCols; ++c) {
      std::snprintf(text, sizeof text, "%02X", row[c - 1]);
      m_Grid.SetTextMatrix(r, c, text);
    }
    m_Grid.SetTextMatrix(r, kAsciiCol, lx::AsciiRowText(row).c_str());
  }
  m_Grid.SetRedraw(true);
}

bool CSectorExplorerDlg::ReadNumberBox(int32_t* number) {
  CString text;
  GetDlgItemText(IDC_SE_NUMBER, text);
  const char* begin = text.GetString();
  while (*begin == ' ') ++begin;
  char* end = nullptr;
  long long value = std::strtoll(begin, &end, 10);
  while (end && *end == ' ') ++end;
  if (end == begin || (end && *end)) {
    MessageBox("Please enter an integer.");
    return false;
  }
  *number = lx::ClampSectorNumber(value, m_SectorCount);
  return true;
}

void CSectorExplorerDlg::SetSectorNumber(int32_t sector) {
  m_SectorNumber = sector;
  CString number;
  number.Format("%ld", static_cast<long>(sector));
  SetDlgItemText(IDC_SE_NUMBER, number);
}

void CSectorExplorerDlg::ShowFirstSector() {
  m_SectorNumber = 0;
  ShowSector();
}

void CSectorExplorerDlg::ShowPreviousSector() {
  m_SectorNumber = m_SectorNumber > 0 ? m_SectorNumber - 1 : 0;
  ShowSector();
}

void CSectorExplorerDlg::ShowNextSector() {
  if (m_SectorCount == 0) CountSectors();
  m_SectorNumber = lx::ClampSectorNumber(static_cast<int64_t>(m_SectorNumber) + 1, m_SectorCount);
  ShowSector();
}

void CSectorExplorerDlg::ShowLastSector() {
  if (m_SectorCount == 0) CountSectors();
  m_SectorNumber = lx::ClampSectorNumber(static_cast<int64_t>(m_SectorCount) - 1, m_SectorCount);
  ShowSector();
}

void CSectorExplorerDlg::Move() {
  if (m_SectorCount == 0) CountSectors();
  int32_t number = m_SectorNumber;
  if (ReadNumberBox(&number)) m_SectorNumber = number;
  ShowSector();
}

void CSectorExplorerDlg::SetAddressing(int addressing) {
  m_Addressing = addressing == 1 ? 1 : 0;
  ::SendDlgItemMessageA(m_hWnd, IDC_SE_ADDRESSING, CB_SETCURSEL, static_cast<WPARAM>(m_Addressing), 0);
  CountSectors();
}

// ---- writing, find, import, export ------------------------------------------------------------
void CSectorExplorerDlg::WriteSector() {
  if (!lx::Confirm()) return;
  if (m_SectorCount == 0) CountSectors();
  if (m_ShownSector < 0) {
    MessageBox("The shown sector could not be read; there is nothing to write.");
    return;
  }
  const int32_t sector = m_ShownSector;
  // Where it was read from, also when the addressing list changed since.
  if (DeviceApiTable.gfslWriteSectors(0, static_cast<uint32_t>(sector), 1, m_Buffer.data(), m_ShownAddressing) != 0) {
    CString text;
    text.Format("Failed to write sector %ld.", static_cast<long>(sector));
    MessageBox(text);
    return;
  }
  CString title;
  title.Format("Sector explorer: sector#%ld/%ld", static_cast<long>(sector), static_cast<long>(m_SectorCount - 1));
  SetWindowText(title);
  FillGrid();
  MessageBox("Program finished.");
  SetSectorNumber(sector);
  Move();
}

bool CSectorExplorerDlg::MayTransfer(bool) { return lx::Confirm(); }

std::unique_ptr<CDialog> CSectorExplorerDlg::MakeTransferDialog(bool import) {
  return std::unique_ptr<CDialog>(new CSectorTransferDlg(import, m_SectorNumber, m_Addressing, this));
}

void CSectorExplorerDlg::JumpToLatestSector() {
  uint32_t first = 0, address = 0, page = 0, sectorInPage = 0;
  if (DeviceApiTable.gfslGetLatestSectorInfo(&first, &address, &page, &sectorInPage) != 0) return;
  lx::ProgramContext* program = lx::Program();
  int kind = program ? program->DeviceKind() : -1;
  if (kind == 0) {
    if (!GetVeltanExplorer()) ToggleDeviceExplorer(frame_);
    CVeltanExplorerDlg* veltan = GetVeltanExplorer();
    if (!veltan) return;
    veltan->ShowWindow(SW_SHOW);
    veltan->GoToPage(page);
    veltan->HighlightFound(sectorInPage * lx::kSectorSize, lx::kSectorSize, false);
  } else if (kind >= 1 && kind <= 3) {
    if (!GetNorExplorer()) ToggleDeviceExplorer(frame_);
    CNorExplorerDlg* nor = GetNorExplorer();
    if (!nor) return;
    const uint32_t size = nor->GetWindowSize();
    if (size == 0) return;
    nor->ShowWindow(SW_SHOW);
    nor->MoveToAddress(address);
    nor->HighlightFound(static_cast<int32_t>(address % size), static_cast<int32_t>(lx::kSectorSize), false);
  }
}

// ---- highlight -------------------------------------------------------------------------------------
void CSectorExplorerDlg::MarkByte(int offset) {
  RestoreHighlight();
  if (offset < 0 || offset >= static_cast<int>(lx::kSectorSize)) return;
  savedHeader_ = m_Grid.GetBackColorFixed();
  MarkFoundByte(m_Grid, offset / kCols + 1, offset % kCols + 1, kHighlight);
  headerPlain_ = false;
}

void CSectorExplorerDlg::RestoreHighlight() {
  if (headerPlain_) return;
  RestoreHeaderColors(m_Grid, kRows, kCols, savedHeader_);
  headerPlain_ = true;
}

// ---- the in-place editor -------------------------------------------------------------------------
bool CSectorExplorerDlg::EditableCell(long row, long col) const {
  return row >= 1 && row <= kRows && col >= 1 && col <= kCols;
}

long CSectorExplorerDlg::DataRows() const { return kRows; }

std::string CSectorExplorerDlg::StoreCell(long row, long col, const std::string& typed) {
  return StoreByteCell(m_Grid, row, col, kAsciiCol, typed, m_Buffer.data());
}

// ---- messages ------------------------------------------------------------------------------------
BOOL CSectorExplorerDlg::OnCommand(WPARAM wp, LPARAM lp) {
  const UINT id = LOWORD(wp), code = HIWORD(wp);
  switch (id) {
    case IDC_SE_FIRST: ShowFirstSector(); return TRUE;
    case IDC_SE_PREVIOUS: ShowPreviousSector(); return TRUE;
    case IDC_SE_NEXT: ShowNextSector(); return TRUE;
    case IDC_SE_LAST: ShowLastSector(); return TRUE;
    case IDOK:
    case IDC_SE_MOVE:
      // Enter in the editor closes it; anywhere else it is Move.
      if (::GetFocus() == ::GetDlgItem(m_hWnd, IDC_SE_EDITOR)) {
        HideEditor();
      } else {
        Move();
      }
      return TRUE;
    case IDC_SE_WRITE: WriteSector(); return TRUE;
    case IDC_SE_JUMP: JumpToLatestSector(); return TRUE;
    case IDC_SE_CLOSE:
    case IDCANCEL:
      ShowWindow(SW_HIDE);
      return TRUE;
    case IDC_SE_ADDRESSING:
      if (code == CBN_SELCHANGE)
        SetAddressing(static_cast<int>(::SendDlgItemMessageA(m_hWnd, IDC_SE_ADDRESSING, CB_GETCURSEL, 0, 0)));
      return TRUE;
    default:
      return CHexExplorer::OnCommand(wp, lp);
  }
}

// ---- the frame's command ------------------------------------------------------------------------
void ToggleSectorExplorer(CWnd* frame) {
  if (!g_explorer) {
    LxGridRegisterClass();
    auto* explorer = new CSectorExplorerDlg(frame);
    if (!explorer->Create(IDD_LX_SECTOR_EXPLORER, nullptr)) {
      delete explorer;
      return;
    }
    g_explorer = explorer;
  }
  if (g_explorer->IsWindowVisible()) {
    g_explorer->ShowWindow(SW_HIDE);
    return;
  }
  g_explorer->ShowWindow(SW_SHOW);
  ::SetFocus(::GetDlgItem(g_explorer->m_hWnd, IDC_SE_MOVE));
  g_explorer->ShowFirstSector();
}

void DestroySectorTools() {
  if (g_explorer) g_explorer->CloseWithTheFrame();
}
