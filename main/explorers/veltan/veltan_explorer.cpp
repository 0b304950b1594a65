// The NAND explorer window: navigation, the grid and its in-place editor, writing the page back
// with and without ECC codes, the ECC check, and the doors to find, import, export and the edit
// sheet.
#include "veltan_explorer.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "device_api.h"
#include "device_ops.h"
#include "hex_grid_tools.h"
#include "module_loader.h"
#include "program_context.h"
#include "tool_wait.h"
#include "veltan_dialogs.h"

namespace {

CVeltanExplorerDlg* g_explorer = nullptr;
CExtEccModule* (*g_eccSource)() = nullptr;
VeltanEditSheetOpener g_editSheet = nullptr;

constexpr COLORREF kSpareBackground = 0x99FFFF;
constexpr COLORREF kFoundLabel = 0x0000C0FF;  // the rows of a find match

void AddStrings(HWND combo, std::initializer_list<const char*> texts) {
  for (const char* text : texts) ::SendMessageA(combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text));
  ::SendMessageA(combo, CB_SETCURSEL, 0, 0);
}

const char kNotLoaded[] = "External ECC module is not loaded.";

// The module's calls in the core's shape, and its settings through the pointers eemInit gave.
struct EccBinding {
  lx::EccModuleCalls calls;
  lx::EccSettings settings;
};

bool BindEccModule(EccBinding* binding) {
  CExtEccModule* module = g_eccSource ? g_eccSource() : nullptr;
  if (!module || !module->m_hModule) return false;
  for (int i : {0, 1, 3})
    if (!module->m_context[i]) return false;  // eemInit never handed its settings out
  binding->settings.method = *static_cast<const uint32_t*>(module->m_context[0]);
  binding->settings.eccOffset = *static_cast<const uint32_t*>(module->m_context[1]);
  binding->settings.bchOffset = *static_cast<const uint32_t*>(module->m_context[3]);
  lx::EccModuleCalls& calls = binding->calls;
  calls.context = module;
  calls.calculateEcc = [](void* m, const uint8_t* chunk, uint8_t* ecc) {
    static_cast<CExtEccModule*>(m)->CalculateECC(chunk, ecc);
  };
  calls.correctEcc = [](void* m, uint8_t* chunk, const uint8_t* stored, const uint8_t* computed, uint8_t flag) {
    return static_cast<CExtEccModule*>(m)->CorrectECC(chunk, stored, computed, flag);
  };
  calls.calculateBch = [](void* m, uint8_t* record) { static_cast<CExtEccModule*>(m)->CalculateBCH(record); };
  calls.correctBch = [](void* m, uint8_t* record, uint32_t* locations, uint32_t* count) {
    return static_cast<CExtEccModule*>(m)->CorrectBCH(record, locations, count);
  };
  return true;
}

}  // namespace

// ---- hooks and the frame's command ----------------------------------------------------------------------
void SetVeltanEccModuleSource(CExtEccModule* (*source)()) { g_eccSource = source; }
void SetVeltanEditSheetOpener(VeltanEditSheetOpener opener) { g_editSheet = opener; }
CVeltanExplorerDlg* GetVeltanExplorer() { return g_explorer; }

void ToggleVeltanExplorer(CWnd* frame) {
  if (g_explorer) {
    g_explorer->Close();
    return;
  }
  LxGridRegisterClass();
  auto* explorer = new CVeltanExplorerDlg(frame, lx::FrameDevice().VeltanSpareSize);
  g_explorer = explorer;
  if (!explorer->Create(IDD_VX_EXPLORER, nullptr)) {
    g_explorer = nullptr;
    delete explorer;
    return;
  }
  explorer->ShowWindow(SW_SHOW);
  ::SetFocus(::GetDlgItem(explorer->m_hWnd, IDC_VX_MOVE));
  explorer->GoToPage(0);
}

void DestroyVeltanExplorer() {
  if (g_explorer) g_explorer->CloseWithTheFrame();
}

CString VeltanUserDataFolder() { return CString(lx::UserDataFolder()); }

// ---- host --------------------------------------------------------------------------------------------------
VeltanWinHost::VeltanWinHost(CWnd* owner) : CWindowToolHostOf<lx::VeltanHost>(owner) {
  pump = [] { lx::PumpMessages(256); };
}

bool VeltanWinHost::ChooseTableFile(std::string* path) {
  CFileDialog dialog(TRUE, "txt", nullptr, OFN_HIDEREADONLY | OFN_FILEMUSTEXIST,
                     "Text Files (*.txt)|*.txt|All Files (*.*)|*.*||", owner_);
  const CString folder = VeltanUserDataFolder();
  if (!folder.IsEmpty()) dialog.m_ofn.lpstrInitialDir = folder.GetString();
  if (dialog.DoModal() != IDOK) return false;
  *path = dialog.GetPathName().GetString();
  return true;
}

std::string VeltanWinHost::ScratchFolder() {
  const CString folder = VeltanUserDataFolder();
  return folder.IsEmpty() ? std::string() : std::string(folder.GetString()) + "\\";
}

// ---- the window ------------------------------------------------------------------------------------------
CVeltanExplorerDlg::CVeltanExplorerDlg(CWnd* frame, uint32_t spareSize)
    : CHexExplorerWithFind(IDD_VX_EXPLORER, {IDC_VX_GRID, IDC_VX_EDITOR, IDC_VX_FIRST, IDC_VX_PREVIOUS, IDC_VX_NEXT,
                                             IDC_VX_LAST, IDC_VX_FIND, IDC_VX_IMPORT, IDC_VX_EXPORT,
                                             IDC_VX_AUTO_UPDATE}),
      m_SpareSize(spareSize),
      frame_(frame) {}

BOOL CVeltanExplorerDlg::OnInitDialog() {
  CDialog::OnInitDialog();
  if (!m_pBlockTable) {
    m_pBlockTable.reset(new lx::CVeltanBlockTable());
    m_pBlockTable->m_SpareSize = m_SpareSize;
    VeltanWinHost host(this);
    m_pBlockTable->Load(0, host);
  }
  m_PageBuffer.assign(lx::kVeltanDataBytes + m_SpareSize, 0xFF);
  m_Grid.Attach(::GetDlgItem(m_hWnd, IDC_VX_GRID));
  m_Grid.SetRedraw(false);
  SetGridFont("Courier New", FIXED_PITCH | FF_MODERN);
  m_Grid.SetRows(lx::VeltanLayout(8, m_SpareSize).dataRows + 1);
  m_Grid.SetFixedRows(1);
  m_Grid.SetFixedCols(1);
  m_BusWidth = 8;
  RebuildLayout();
  m_Grid.SetRedraw(true);
  m_LayoutFlag = 1;
  AddStrings(::GetDlgItem(m_hWnd, IDC_VX_READ_MODE), {"Read mode", "ONFI parameter page mode", "ONFI unique ID mode"});
  AddStrings(::GetDlgItem(m_hWnd, IDC_VX_AUTO_UPDATE), {"None", "0.5 sec", "1 sec"});
  ::GetWindowRect(m_hWnd, &m_InitialRect);
  RECT client, grid;
  ::GetClientRect(m_hWnd, &client);
  ::GetWindowRect(m_Grid.GetSafeHwnd(), &grid);
  ::MapWindowPoints(nullptr, m_hWnd, reinterpret_cast<POINT*>(&grid), 2);
  gridMarginBottom_ = client.bottom - grid.bottom;
  return TRUE;
}

void CVeltanExplorerDlg::PostNcDestroy() {
  if (g_explorer == this) g_explorer = nullptr;
  delete this;
}

// ---- reading and showing --------------------------------------------------------------------------------
uint32_t CVeltanExplorerDlg::GetTotalPages() {
  m_TotalPages = lx::CountVeltanPages();
  return m_TotalPages;
}

uint8_t CVeltanExplorerDlg::GetBusWidth() {
  m_BusWidth = lx::ReadBusWidth();
  return m_BusWidth;
}

int CVeltanExplorerDlg::ReadPage(uint32_t page) {
  HideEditor();
  const int mode = m_ReadMode >= 0 && m_ReadMode <= 2 ? m_ReadMode : 0;
  return DeviceApiTable.gfslVeltanReadRawPage(static_cast<int>(lx::kVeltanReadModeFlags[mode]), page, 1,
                                              m_PageBuffer.data());
}

void CVeltanExplorerDlg::ShowTitle(int status) {
  CString title;
  title.Format(status == 1 ? "Device Explorer: page#%ld/%ld - READ ERROR" : "Device Explorer: page#%ld/%ld",
               static_cast<long>(m_CurrentPage), static_cast<long>(m_TotalPages) - 1);
  SetWindowText(title);
  CString number;
  number.Format("%lu", static_cast<unsigned long>(m_CurrentPage));
  SetDlgItemText(IDC_VX_PAGE, number);
}

void CVeltanExplorerDlg::RebuildLayout() {
  const lx::VeltanGridLayout layout = lx::VeltanLayout(m_BusWidth, m_SpareSize);
  m_Grid.SetCols(layout.cols);
  m_Grid.SetColWidth(0, 700);
  for (long c = 1; c <= layout.hexCols; ++c) {
    m_Grid.SetColWidth(c, layout.hexColTwips);
    m_Grid.SetTextMatrix(0, c, lx::VeltanColumnLabel(c).c_str());
  }
  m_Grid.SetColWidth(layout.textCol, 2000);
  m_Grid.SetTextMatrix(0, layout.textCol, "");
  for (long r = 1; r <= layout.dataRows; ++r) m_Grid.SetTextMatrix(r, 0, lx::VeltanRowLabel(r, m_BusWidth).c_str());
  const long currentRow = m_Grid.GetRow(), currentCol = m_Grid.GetCol();
  for (long r = 129; r <= layout.dataRows; ++r)
    for (long c = 1; c <= layout.hexCols; ++c) {
      m_Grid.SetRow(r);
      m_Grid.SetCol(c);
      m_Grid.SetCellBackColor(kSpareBackground);
    }
  m_Grid.SetRow(std::min(currentRow, layout.dataRows));
  m_Grid.SetCol(std::min(currentCol, layout.cols - 1));
  builtWidth_ = m_BusWidth;
}

void CVeltanExplorerDlg::FillRows() {
  const lx::VeltanGridLayout layout = lx::VeltanLayout(m_BusWidth, m_SpareSize);
  for (long r = 1; r <= layout.dataRows; ++r) {
    for (long c = 1; c <= layout.hexCols; ++c)
      m_Grid.SetTextMatrix(r, c, lx::VeltanCellText(m_PageBuffer.data(), r, c, m_BusWidth).c_str());
    m_Grid.SetTextMatrix(r, layout.textCol, lx::VeltanRowText(m_PageBuffer.data(), r).c_str());
  }
}

void CVeltanExplorerDlg::ClearRows() {
  const lx::VeltanGridLayout layout = lx::VeltanLayout(m_BusWidth, m_SpareSize);
  m_Grid.SetRedraw(false);
  for (long r = 1; r <= layout.dataRows; ++r)
    for (long c = 1; c <= layout.textCol; ++c) m_Grid.SetTextMatrix(r, c, "");
  m_Grid.SetRedraw(true);
}

void CVeltanExplorerDlg::ShowPage(const uint8_t* buffer, bool headersOnly) {
  HighlightFound(0, 0, true);
  GetBusWidth();
  if (buffer != m_PageBuffer.data()) std::copy(buffer, buffer + m_PageBuffer.size(), m_PageBuffer.begin());
  m_Grid.SetRedraw(false);
  if (m_LayoutFlag || builtWidth_ != m_BusWidth) {
    RebuildLayout();
    m_LayoutFlag = 0;
  }
  if (!headersOnly) FillRows();
  m_Grid.SetRedraw(true);
}

void CVeltanExplorerDlg::GoToPage(uint32_t page) {
  m_CurrentPage = page;
  CString number;
  number.Format("%lu", static_cast<unsigned long>(page));
  SetDlgItemText(IDC_VX_PAGE, number);
  GoToPage();
}

void CVeltanExplorerDlg::GoToPage() {
  if (m_TotalPages == 0) GetTotalPages();
  CString text;
  GetDlgItemText(IDC_VX_PAGE, text);
  const char* begin = text.GetString();
  char* end = nullptr;
  const long long typed = std::strtoll(begin, &end, 10);
  if (end != begin) m_CurrentPage = lx::ClampVeltanPage(typed, m_TotalPages);
  m_CurrentPage = lx::ClampVeltanPage(m_CurrentPage, m_TotalPages);
  const int rc = ReadPage(m_CurrentPage);
  m_bReadFailed = rc != 0;
  ShowTitle(rc != 0 ? 1 : 0);
  ShowPage(m_PageBuffer.data(), m_bReadFailed);
  // The buffer still holds the page shown before: under the new page number its bytes would pass
  // for this page's, so the cells stay empty until a read succeeds.
  if (m_bReadFailed) ClearRows();
}

void CVeltanExplorerDlg::ShowFirstPage() { GoToPage(0); }

void CVeltanExplorerDlg::ShowPreviousPage() {
  if (m_TotalPages == 0) GetTotalPages();
  GoToPage(m_CurrentPage > 0 ? m_CurrentPage - 1 : 0);
}

void CVeltanExplorerDlg::ShowNextPage() {
  if (m_TotalPages == 0) GetTotalPages();
  GoToPage(lx::ClampVeltanPage(static_cast<int64_t>(m_CurrentPage) + 1, m_TotalPages));
}

void CVeltanExplorerDlg::ShowLastPage() {
  if (m_TotalPages == 0) GetTotalPages();
  GoToPage(lx::ClampVeltanPage(static_cast<int64_t>(m_TotalPages) - 1, m_TotalPages));
}

void CVeltanExplorerDlg::OnReadModeChange(int mode) {
  m_ReadMode = mode >= 0 && mode <= 2 ? mode : 0;
  ::SendDlgItemMessageA(m_hWnd, IDC_VX_READ_MODE, CB_SETCURSEL, static_cast<WPARAM>(m_ReadMode), 0);
  GoToPage();
}

void CVeltanExplorerDlg::HighlightFound(uint32_t offset, uint32_t length, bool clear) {
  const long currentRow = m_Grid.GetRow(), currentCol = m_Grid.GetCol();
  if (clear) {
    if (!highlighted_) return;
    const COLORREF plain = m_Grid.GetBackColorFixed();
    for (long r = markFirst_; r <= markLast_; ++r) {
      m_Grid.SetRow(r);
      m_Grid.SetCol(0);
      m_Grid.SetCellBackColor(plain);
    }
    highlighted_ = false;
  } else {
    long first = 0, last = 0;
    const long rows = lx::VeltanLayout(m_BusWidth, m_SpareSize).dataRows;
    if (!lx::VeltanHighlightRows(offset, length, m_BusWidth, rows, &first, &last)) return;
    if (highlighted_) HighlightFound(0, 0, true);
    m_Grid.SetTopRow(first);
    for (long r = first; r <= last; ++r) {
      m_Grid.SetRow(r);
      m_Grid.SetCol(0);
      m_Grid.SetCellBackColor(kFoundLabel);
    }
    markFirst_ = first;
    markLast_ = last;
    highlighted_ = true;
  }
  m_Grid.SetRow(currentRow);
  m_Grid.SetCol(currentCol);
}

// ---- the in-place editor ------------------------------------------------------------------------------
bool CVeltanExplorerDlg::EditableCell(long row, long col) const {
  const lx::VeltanGridLayout layout = lx::VeltanLayout(m_BusWidth, m_SpareSize);
  // The text column is shown, not edited.
  return row >= 1 && row <= layout.dataRows && col >= 1 && col <= layout.hexCols;
}

long CVeltanExplorerDlg::DataRows() const { return lx::VeltanLayout(m_BusWidth, m_SpareSize).dataRows; }

std::string CVeltanExplorerDlg::StoreCell(long row, long col, const std::string& typed) {
  GetBusWidth();
  if (!lx::ApplyCellEdit(m_PageBuffer.data(), m_PageBuffer.size(), row, col, m_BusWidth, typed.c_str())) {
    CString text;
    text.Format(m_BusWidth == 16 ? "'%s' is not a word: type one to four hexadecimal digits (0-9, A-F)."
                                 : "'%s' is not a byte: type one or two hexadecimal digits (0-9, A-F).",
                typed.c_str());
    return text.GetString();
  }
  const long textCol = lx::VeltanLayout(m_BusWidth, m_SpareSize).textCol;
  m_Grid.SetTextMatrix(row, col, lx::VeltanCellText(m_PageBuffer.data(), row, col, m_BusWidth).c_str());
  m_Grid.SetTextMatrix(row, textCol, lx::VeltanRowText(m_PageBuffer.data(), row).c_str());
  return std::string();
}

// ---- writing back and ECC -------------------------------------------------------------------------------
void CVeltanExplorerDlg::ProgramBack(bool withEcc) {
  HideEditor();
  if (m_ReadMode != 0) {
    // The buffer holds the parameter page or the unique ID, not a page of the array.
    MessageBox("Programming is refused in the ONFI modes: the shown data is no page of the device.\n"
               "Choose \"Read mode\" first.");
    return;
  }
  if (m_bReadFailed) {
    MessageBox("The shown page could not be read; there is nothing to program.");
    return;
  }
  EccBinding ecc;
  if (withEcc) {
    if (!BindEccModule(&ecc)) {
      MessageBox(kNotLoaded);
      return;
    }
    const std::string refused = lx::CheckEccSettings(ecc.settings, m_SpareSize);
    if (!refused.empty()) {
      MessageBox(refused.c_str());
      return;
    }
  }
  if (!lx::Confirm()) return;
  VeltanWinHost host(this);
  struct Codes {
    EccBinding* ecc;
    uint32_t spare;
  } codes = {&ecc, m_SpareSize};
  auto addCodes = [](void* context, uint8_t* page) {
    auto* c = static_cast<Codes*>(context);
    lx::ComputePageEcc(page, c->spare, c->ecc->settings, c->ecc->calls);
  };
  // The rewrite pumps messages: the explorer stays until it has returned.
  BeginOperation();
  const bool done = lx::RewriteBlock(m_CurrentPage, m_PageBuffer.data(), m_SpareSize, m_pBlockTable.get(), host,
                                     withEcc ? +addCodes : nullptr, &codes);
  if (!EndOperation()) return;
  ShowTitle(0);
  ShowPage(m_PageBuffer.data(), false);
  if (!done) return;  // the edit stays in the buffer, to be kept or tried elsewhere
  MessageBox("Program finished.");
  GoToPage();
}

void CVeltanExplorerDlg::OnProgramPage() { ProgramBack(false); }
void CVeltanExplorerDlg::OnProgramEcc() { ProgramBack(true); }

void CVeltanExplorerDlg::OnCheckEcc() {
  HideEditor();
  EccBinding ecc;
  if (!BindEccModule(&ecc)) {
    MessageBox(kNotLoaded);
    return;
  }
  VeltanWinHost host(this);
  BeginOperation();
  lx::CheckPageEcc(m_PageBuffer.data(), m_SpareSize, ecc.settings, ecc.calls, host);
  EndOperation();
}

// ---- doors to the other dialogs ------------------------------------------------------------------------
bool CVeltanExplorerDlg::MayTransfer(bool) { return lx::Confirm(); }

std::unique_ptr<CDialog> CVeltanExplorerDlg::MakeTransferDialog(bool import) {
  if (import) return std::unique_ptr<CDialog>(new CVeltanImportDlg(m_CurrentPage, m_SpareSize, m_pBlockTable.get(), this));
  return std::unique_ptr<CDialog>(new CVeltanExportDlg(m_CurrentPage, m_SpareSize, this));
}

void CVeltanExplorerDlg::OnEditPage() {
  if (!lx::Confirm()) return;
  RunEditSheet(0, "Edit Veltan");
}

void CVeltanExplorerDlg::OpenEditSheet(int sheetPage) { RunEditSheet(sheetPage, "Edit Data"); }

void CVeltanExplorerDlg::RunEditSheet(int sheetPage, const char* caption) {
  BeginOperation();
  if (g_editSheet)
    g_editSheet(this, sheetPage, caption);
  else
    MessageBox("The Veltan edit sheet is not available in this build.");
  if (EndOperation()) GoToPage();
}

// ---- messages ----------------------------------------------------------------------------------------------
void CVeltanExplorerDlg::LayoutGrid() {
  RECT client, grid;
  ::GetClientRect(m_hWnd, &client);
  HWND item = m_Grid.GetSafeHwnd();
  if (!item) return;
  ::GetWindowRect(item, &grid);
  ::MapWindowPoints(nullptr, m_hWnd, reinterpret_cast<POINT*>(&grid), 2);
  const int height = std::max<int>(40, client.bottom - gridMarginBottom_ - grid.top);
  ::SetWindowPos(item, nullptr, 0, 0, grid.right - grid.left, height, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

BOOL CVeltanExplorerDlg::OnCommand(WPARAM wp, LPARAM lp) {
  const UINT id = LOWORD(wp), code = HIWORD(wp);
  switch (id) {
    case IDC_VX_FIRST: ShowFirstPage(); return TRUE;
    case IDC_VX_PREVIOUS: ShowPreviousPage(); return TRUE;
    case IDC_VX_MOVE: GoToPage(); return TRUE;
    case IDC_VX_NEXT: ShowNextPage(); return TRUE;
    case IDC_VX_LAST: ShowLastPage(); return TRUE;
    case IDC_VX_READ_MODE:
      if (code == CBN_SELCHANGE)
        OnReadModeChange(static_cast<int>(::SendDlgItemMessageA(m_hWnd, IDC_VX_READ_MODE, CB_GETCURSEL, 0, 0)));
      return TRUE;
    case IDC_VX_PROGRAM_PAGE: OnProgramPage(); return TRUE;
    case IDC_VX_PROGRAM_ECC: OnProgramEcc(); return TRUE;
    case IDC_VX_CHECK_ECC: OnCheckEcc(); return TRUE;
    case IDC_VX_EDIT_PAGE: OnEditPage(); return TRUE;
    case IDC_VX_PARTIAL_PROGRAM: OpenEditSheet(1); return TRUE;
    case IDC_VX_PROGRAM_PAGES: OpenEditSheet(2); return TRUE;
    case IDC_VX_COPY_PAGE: OpenEditSheet(3); return TRUE;
    case IDC_VX_ERASE_BLOCK: OpenEditSheet(4); return TRUE;
    case IDC_VX_VERIFY: OpenEditSheet(5); return TRUE;
    case IDC_VX_EDITOR:
      // The editor closes when it loses the focus, the edit kept.
      if (code == EN_KILLFOCUS) HideEditor();
      return TRUE;
    default:
      break;
  }
  return CHexExplorer::OnCommand(wp, lp);
}

BOOL CVeltanExplorerDlg::OnMessage(UINT msg, WPARAM wp, LPARAM lp, LRESULT* result) {
  switch (msg) {
    case WM_WINDOWPOSCHANGING: {
      auto* pos = reinterpret_cast<WINDOWPOS*>(lp);
      if (m_InitialRect.right - m_InitialRect.left > 0 && !(pos->flags & SWP_NOSIZE))
        pos->cx = m_InitialRect.right - m_InitialRect.left;
      HideEditor();
      return FALSE;
    }
    case WM_SIZE:
      LayoutGrid();
      break;
    default:
      break;
  }
  return CHexExplorer::OnMessage(msg, wp, lp, result);
}
