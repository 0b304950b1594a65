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

constexpr UINT_PTR kRefreshTimer = 1;
constexpr int kRows = 32, kCols = 16, kAsciiCol = 17;
constexpr COLORREF kHighlight = 0x0000C0FF;  // RGB 255, 192, 0
// Where the mouse wheel put the top row, for every explorer of the process.
int g_wheelRow = 1;

const int kAnchoredIds[] = {IDC_SE_FIRST, IDC_SE_PREVIOUS, IDC_SE_NEXT,      IDC_SE_LAST,       IDC_SE_NUMBER,
                            IDC_SE_MOVE,  IDC_SE_ADDRESSING, IDC_SE_WRITE,   IDC_SE_FIND,       IDC_SE_IMPORT,
                            IDC_SE_EXPORT, IDC_SE_AUTO_LABEL, IDC_SE_AUTO_UPDATE, IDC_SE_JUMP, IDC_SE_CLOSE};

void AddStrings(HWND combo, std::initializer_list<const char*> texts) {
  for (const char* text : texts) ::SendMessageA(combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text));
  ::SendMessageA(combo, CB_SETCURSEL, 0, 0);
}

}  // namespace

CSectorExplorerDlg* GetSectorExplorer() { return g_explorer; }

CSectorExplorerDlg::~CSectorExplorerDlg() {
  LetTheFindWindowGo(m_pFindDlg);
  if (font_) DeleteObject(font_);
}

void CSectorExplorerDlg::PostNcDestroy() {
  if (g_explorer == this) g_explorer = nullptr;
  delete this;
}

void CSectorExplorerDlg::StopSearch() {
  if (!m_pFindDlg) return;
  m_pFindDlg->Stop();
  m_pFindDlg->ShowWindow(SW_HIDE);
}

BOOL CSectorExplorerDlg::OnInitDialog() {
  CDialog::OnInitDialog();
  m_Grid.Attach(::GetDlgItem(m_hWnd, IDC_SE_GRID));
  font_ = CreateFontA(-11, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, ANSI_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS,
                      DEFAULT_QUALITY, DEFAULT_PITCH | FF_SWISS, "Tahoma");
  m_Grid.SetRedraw(false);
  if (font_) m_Grid.SetFont(font_);
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
  ::SendDlgItemMessageA(m_hWnd, IDC_SE_EDITOR, EM_LIMITTEXT, 2, 0);
  lx::ProgramContext* program = lx::Program();
  int kind = program ? program->DeviceKind() : 0;
  SetDlgItemText(IDC_SE_JUMP, kind >= 1 && kind <= 3 ? "Jump to window" : "Jump to page");
  ::EnableWindow(::GetDlgItem(m_hWnd, IDC_SE_WRITE), FALSE);  // nothing read yet

  ::GetWindowRect(m_hWnd, &m_FirstRect);
  anchors_.Capture(m_hWnd, std::vector<int>(std::begin(kAnchoredIds), std::end(kAnchoredIds)), IDC_SE_GRID);
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
    m_Grid.SetTextMatrix(r, kAsciiCol, lx::SectorAsciiText(row).c_str());
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

void CSectorExplorerDlg::SetAutoUpdate(int index) {
  ::SendDlgItemMessageA(m_hWnd, IDC_SE_AUTO_UPDATE, CB_SETCURSEL, static_cast<WPARAM>(index), 0);
  KillTimer(kRefreshTimer);
  if (index == 1) SetTimer(kRefreshTimer, 500);
  if (index == 2) SetTimer(kRefreshTimer, 1000);
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

void CSectorExplorerDlg::ToggleFind() {
  if (!m_pFindDlg) {
    auto* find = new CSectorFindDlg(this);
    if (!find->Create(IDD_LX_SECTOR_FIND, nullptr)) {
      delete find;
      return;
    }
    m_pFindDlg = find;
    InitFindWindow(find->m_hWnd, IDC_SF_ASCII, IDC_SF_HEX, IDC_SF_CURRENT, IDC_SF_FROM, IDC_SF_PROGRESS);
  }
  CSectorFindDlg* find = m_pFindDlg;
  if (!find->m_bRunning) {
    find->UpdateData(TRUE);  // keeps what the user typed
    find->m_SearchSector = find->m_StartSector = m_SectorNumber;
    find->m_BytePosition = 0;
    find->m_SectorCount = CountSectors();
    find->m_EndSector = find->m_SectorCount - 1;
    find->SetProgress(0);
    find->UpdateData(FALSE);
  }
  ToggleBeside(m_hWnd, find->m_hWnd);
}

void CSectorExplorerDlg::RunImport() {
  if (!lx::Confirm()) return;
  CSectorTransferDlg dialog(true, m_SectorNumber, m_Addressing, this);
  BeginOperation();
  dialog.DoModal();
  if (EndOperation()) Move();
}

void CSectorExplorerDlg::RunExport() {
  if (!lx::Confirm()) return;
  CSectorTransferDlg dialog(false, m_SectorNumber, m_Addressing, this);
  BeginOperation();
  dialog.DoModal();
  EndOperation();
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
bool CSectorExplorerDlg::EditorVisible() const { return ::IsWindowVisible(::GetDlgItem(m_hWnd, IDC_SE_EDITOR)) != FALSE; }

bool CSectorExplorerDlg::OpenEditor(long row, long col) {
  if (row < 1 || row > kRows || col < 1 || col > kCols) return false;
  HideEditor();
  m_EditRow = row;
  m_EditCol = col;
  OpenCellEditor(m_Grid, m_hWnd, ::GetDlgItem(m_hWnd, IDC_SE_EDITOR), row, col, 0);
  return true;
}

void CSectorExplorerDlg::CommitEditor() {
  if (committing_ || m_EditRow < 1 || m_EditCol < 1) return;
  HWND editor = ::GetDlgItem(m_hWnd, IDC_SE_EDITOR);
  char typed[8] = "";
  ::GetWindowTextA(editor, typed, sizeof typed);
  const std::string cell = m_Grid.GetTextMatrix(m_EditRow, m_EditCol);
  if (cell == typed) return;
  committing_ = true;
  uint8_t value = 0;
  if (!lx::ParseHexCell(typed, &value)) {
    // A typo must not become a 0 byte: the cell keeps its byte.
    ::SetWindowTextA(editor, cell.c_str());
    CString text;
    text.Format("'%s' is not a byte: type one or two hexadecimal digits (0-9, A-F).", typed);
    MessageBox(text);
    committing_ = false;
    return;
  }
  std::string ascii = m_Grid.GetTextMatrix(m_EditRow, kAsciiCol);
  if (ascii.empty()) ascii.assign(kCols, '.');
  if (ascii.size() < static_cast<size_t>(kCols)) ascii.resize(kCols, '.');
  ascii[static_cast<size_t>(m_EditCol - 1)] = lx::SectorAsciiChar(value);
  m_Grid.SetTextMatrix(m_EditRow, kAsciiCol, ascii.c_str());
  m_Grid.SetTextMatrix(m_EditRow, m_EditCol, typed);
  m_Buffer[static_cast<size_t>((m_EditRow - 1) * kCols + (m_EditCol - 1))] = value;
  committing_ = false;
}

void CSectorExplorerDlg::HideEditor() {
  HWND editor = ::GetDlgItem(m_hWnd, IDC_SE_EDITOR);
  if (!editor || !::IsWindowVisible(editor)) return;
  CommitEditor();
  const bool focused = ::GetFocus() == editor;
  ::ShowWindow(editor, SW_HIDE);
  if (focused) ::SetFocus(m_Grid.GetSafeHwnd());
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
    case IDC_SE_FIND: ToggleFind(); return TRUE;
    case IDC_SE_IMPORT: RunImport(); return TRUE;
    case IDC_SE_EXPORT: RunExport(); return TRUE;
    case IDC_SE_JUMP: JumpToLatestSector(); return TRUE;
    case IDC_SE_CLOSE:
    case IDCANCEL:
      ShowWindow(SW_HIDE);
      return TRUE;
    case IDC_SE_ADDRESSING:
      if (code == CBN_SELCHANGE)
        SetAddressing(static_cast<int>(::SendDlgItemMessageA(m_hWnd, IDC_SE_ADDRESSING, CB_GETCURSEL, 0, 0)));
      return TRUE;
    case IDC_SE_AUTO_UPDATE:
      if (code == CBN_SELCHANGE)
        SetAutoUpdate(static_cast<int>(::SendDlgItemMessageA(m_hWnd, IDC_SE_AUTO_UPDATE, CB_GETCURSEL, 0, 0)));
      return TRUE;
    case IDC_SE_EDITOR:
      if (code == EN_KILLFOCUS) CommitEditor();
      return TRUE;
    default:
      return CDialog::OnCommand(wp, lp);
  }
}

BOOL CSectorExplorerDlg::OnNotify(WPARAM wp, LPARAM lp, LRESULT* result) {
  auto* header = reinterpret_cast<NMHDR*>(lp);
  if (header->idFrom != IDC_SE_GRID) return CDialog::OnNotify(wp, lp, result);
  auto* note = reinterpret_cast<LXGRIDNOTIFY*>(lp);
  switch (header->code) {
    case LXGN_DBLCLICK:
      OpenEditor(note->row, note->col);
      return TRUE;
    case LXGN_KEYDOWN:
      if (EditorVisible()) return TRUE;
      switch (note->key) {
        case VK_RETURN: OpenEditor(m_Grid.GetRow(), m_Grid.GetCol()); break;
        case VK_HOME: ShowFirstSector(); break;
        case VK_PRIOR: ShowPreviousSector(); break;
        case VK_NEXT: ShowNextSector(); break;
        case VK_END: ShowLastSector(); break;
        default: break;
      }
      return TRUE;
    case LXGN_SCROLL:
    case LXGN_SELCHANGE:
      HideEditor();
      return TRUE;
    default:
      return CDialog::OnNotify(wp, lp, result);
  }
}

BOOL CSectorExplorerDlg::OnMessage(UINT msg, WPARAM wp, LPARAM lp, LRESULT* result) {
  switch (msg) {
    case WM_TIMER:
      if (wp == kRefreshTimer) {
        Move();
        *result = 0;
        return TRUE;
      }
      break;
    case WM_GETMINMAXINFO:
      // Only the height changes: the grid's columns have one width.
      if (m_FirstRect.right > m_FirstRect.left) {
        auto* info = reinterpret_cast<MINMAXINFO*>(lp);
        const LONG width = m_FirstRect.right - m_FirstRect.left;
        info->ptMinTrackSize.x = info->ptMaxTrackSize.x = width;
        info->ptMinTrackSize.y = (m_FirstRect.bottom - m_FirstRect.top) / 2;
        *result = 0;
        return TRUE;
      }
      break;
    case WM_SIZE:
      HideEditor();
      anchors_.Apply();
      break;
    case WM_MOVE:
      HideEditor();
      break;
    case WM_MOUSEWHEEL: {
      const short delta = GET_WHEEL_DELTA_WPARAM(wp);
      g_wheelRow = delta < 0 ? std::min(g_wheelRow + 4, kRows) : std::max(g_wheelRow - 4, 1);
      m_Grid.SetTopRow(g_wheelRow);
      *result = 0;
      return TRUE;
    }
    default:
      break;
  }
  return CHexExplorer::OnMessage(msg, wp, lp, result);
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
