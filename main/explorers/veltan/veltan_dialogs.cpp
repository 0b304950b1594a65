// The find window and the import and export dialogs of the NAND explorer.
#include "veltan_dialogs.h"

#include <commctrl.h>

#include <cstdio>
#include <string>

#include "explorer_core.h"
#include "tool_wait.h"

namespace {

struct FindTick {
  CVeltanFindDlg* find;
};

bool OnFindTick(void* context, uint32_t page) {
  CVeltanFindDlg* find = static_cast<FindTick*>(context)->find;
  find->SetProgress(lx::VeltanFindProgress(page, find->m_StartPage, find->m_Search.lastPage));
  // Only the search of the range looks at the Stop button, once per page.
  if (find->m_Search.wholeRange && page != find->m_Search.page) lx::PumpMessages(256);
  return find->m_bRunning;
}

void SetSpin(HWND dialog, int spin, int low, int high, int position) {
  static const UDACCEL accelerations[] = {{0, 1}, {2, 2}, {4, 10}, {8, 100}};
  HWND control = ::GetDlgItem(dialog, spin);
  ::SendMessageA(control, UDM_SETBASE, 10, 0);
  ::SendMessageA(control, UDM_SETACCEL, 4, reinterpret_cast<LPARAM>(accelerations));
  ::SendMessageA(control, UDM_SETRANGE32, static_cast<WPARAM>(low), high);
  ::SendMessageA(control, UDM_SETPOS32, 0, position);
}

// The open file and its length; null when it cannot be opened.
std::FILE* OpenForReading(const char* path, uint64_t* bytes) {
  std::FILE* file = std::fopen(path, "rb");
  if (!file) return nullptr;
  _fseeki64(file, 0, SEEK_END);
  const long long length = _ftelli64(file);
  _fseeki64(file, 0, SEEK_SET);
  *bytes = length > 0 ? static_cast<uint64_t>(length) : 0;
  return file;
}

}  // namespace

// ---- find -----------------------------------------------------------------------------------------------------
void CVeltanFindDlg::DoDataExchange(CDataExchange* dx) {
  DDX_Text(dx, IDC_VF_PATTERN, m_Pattern);
  DDX_Radio(dx, IDC_VF_ASCII, m_Kind);
  DDX_Radio(dx, IDC_VF_CURRENT, m_Range);
  DDX_Check(dx, IDC_VF_DIFFERENCE, m_Difference);
  DDX_Text(dx, IDC_VF_LAST_PAGE, m_LastPage);
}

void CVeltanFindDlg::StartAtTheExplorer() {
  CVeltanExplorerDlg* explorer = Explorer();
  m_StartPage = m_Search.page = explorer->m_CurrentPage;
  m_Search.offset = 0;
  m_Search.totalPages = explorer->GetTotalPages();
  m_LastPage = static_cast<int>(explorer->m_TotalPages) - 1;
}

void CVeltanFindDlg::FindNext() {
  if (m_bRunning || !m_pExplorer || !UpdateData(TRUE)) return;
  CVeltanExplorerDlg* explorer = Explorer();
  const uint32_t window = lx::VeltanWindowBytes(explorer->m_SpareSize);
  std::vector<uint8_t> pattern;
  if (m_Kind == 1) {
    lx::PatternError error = lx::ParseHexPattern(m_Pattern.GetString(), &pattern);
    if (error == lx::PatternError::kEmpty || error == lx::PatternError::kNotHex) {
      MessageBox(lx::PatternErrorText(error));
      return;
    }
  } else {
    pattern.assign(m_Pattern.GetString(), m_Pattern.GetString() + m_Pattern.GetLength());
  }
  if (pattern.empty() || pattern.size() > window) {
    CString text;
    if (pattern.empty())
      text = "Type a string to find.";
    else
      text.Format("The string to find is longer than a page (%lu bytes).", static_cast<unsigned long>(window));
    MessageBox(text);
    return;
  }
  m_Search.pattern = pattern;
  m_Search.spare = explorer->m_SpareSize;
  m_Search.totalPages = explorer->GetTotalPages();
  m_LastPage = static_cast<int>(lx::ClampVeltanPage(m_LastPage, m_Search.totalPages));
  m_Search.lastPage = static_cast<uint32_t>(m_LastPage);
  m_Search.wholeRange = m_Range == 1;
  m_Search.difference = m_Difference != 0;
  UpdateData(FALSE);
  SetProgress(0);
  FindTick tick = {this};
  m_Search.tick = OnFindTick;
  m_Search.tickContext = &tick;
  // The explorer may go while the search pumps messages; the search touches only this window.
  lx::VeltanFindResult result;
  if (!RunSearch([&] { result = lx::RunVeltanFind(m_Search); })) return;
  switch (result.outcome) {
    case lx::VeltanFindOutcome::kHit:
      explorer->GoToPage(result.page);
      explorer->HighlightFound(0, 0, true);
      explorer->HighlightFound(static_cast<uint32_t>(result.offset), static_cast<uint32_t>(pattern.size()), false);
      lx::AdvancePastHit(&m_Search, result);
      break;
    case lx::VeltanFindOutcome::kNotFound:
      m_Search.offset = 0;
      MessageBox("String not found.");
      break;
    case lx::VeltanFindOutcome::kReadError: {
      CString text;
      text.Format("Failed to read page #%lu.", static_cast<unsigned long>(result.page));
      MessageBox(text);
      break;
    }
    case lx::VeltanFindOutcome::kStopped:
      m_Search.page = result.page;
      m_Search.offset = 0;
      break;
  }
}

// ---- import and export ---------------------------------------------------------------------------------------
BOOL CVeltanTransferDlg::OnInitDialog() {
  m_TotalPages = lx::CountVeltanPages();
  CDialog::OnInitDialog();
  const int total = static_cast<int>(m_TotalPages > 0x7FFFFFFF ? 0x7FFFFFFF : m_TotalPages);
  SetSpin(m_hWnd, IDC_VT_FIRST_SPIN, 0, total > 0 ? total - 1 : 0, m_FirstPage);
  SetSpin(m_hWnd, IDC_VT_COUNT_SPIN, 1, total > 1 ? total : 1, 1);
  m_PageCount = 1;
  UpdateData(FALSE);
  return TRUE;
}

void CVeltanTransferDlg::DoDataExchange(CDataExchange* dx) {
  DDX_Text(dx, IDC_VT_FILE, m_FileName);
  DDX_Text(dx, IDC_VT_INFO, m_FileInfo);
  DDX_Text(dx, IDC_VT_FIRST, m_FirstPage);
  DDX_Text(dx, IDC_VT_COUNT, m_PageCount);
  DDX_Check(dx, IDC_VT_SPARE, m_SkipSpare);
}

BOOL CVeltanTransferDlg::OnCommand(WPARAM wp, LPARAM lp) {
  switch (LOWORD(wp)) {
    case IDC_VT_BROWSE: OnBrowse(); return TRUE;
    case IDC_VT_IMPORT:
    case IDC_VT_EXPORT: Run(); return TRUE;
    case IDC_VT_VIEW: return TRUE;
    case IDOK: EndDialog(IDOK); return TRUE;
    default: break;
  }
  return CDialog::OnCommand(wp, lp);
}

bool CVeltanTransferDlg::ReadFields(lx::VeltanTransfer* transfer) {
  if (!UpdateData(TRUE)) return false;
  if (m_FirstPage < 0 || m_PageCount < 1) {
    MessageBox("The first page must be 0 or more and the number of pages 1 or more.");
    return false;
  }
  transfer->first = static_cast<uint32_t>(m_FirstPage);
  transfer->count = static_cast<uint32_t>(m_PageCount);
  transfer->spare = m_SpareSize;
  transfer->withoutSpare = m_SkipSpare != 0;
  return true;
}

BOOL CVeltanImportDlg::OnInitDialog() {
  CVeltanTransferDlg::OnInitDialog();
  HWND combo = ::GetDlgItem(m_hWnd, IDC_VT_POLICY);
  ::SendMessageA(combo, CB_ADDSTRING, 0,
                 reinterpret_cast<LPARAM>("Shift data programming to the next block if a bad block found"));
  ::SendMessageA(combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>("Skip data programming if a bad block found"));
  ::SendMessageA(combo, CB_SETCURSEL, 0, 0);
  return TRUE;
}

void CVeltanImportDlg::DoDataExchange(CDataExchange* dx) {
  CVeltanTransferDlg::DoDataExchange(dx);
  DDX_CBIndex(dx, IDC_VT_POLICY, m_Policy);
}

void CVeltanImportDlg::OnBrowse() {
  UpdateData(TRUE);
  CFileDialog dialog(TRUE, "bin", nullptr, OFN_HIDEREADONLY | OFN_FILEMUSTEXIST,
                     "Binary Files (*.bin)|*.bin|All Files (*.*)|*.*||", this);
  const CString folder = VeltanUserDataFolder();
  if (!folder.IsEmpty()) dialog.m_ofn.lpstrInitialDir = folder.GetString();
  if (dialog.DoModal() != IDOK) return;
  m_FileName = dialog.GetPathName();
  uint64_t bytes = 0;
  if (std::FILE* file = OpenForReading(m_FileName.GetString(), &bytes)) {
    std::fclose(file);
    m_FileInfo = lx::VeltanFileInformation(bytes, m_SpareSize).c_str();
  } else {
    m_FileInfo = "";
  }
  UpdateData(FALSE);
}

void CVeltanImportDlg::OnImportPages() {
  lx::VeltanTransfer transfer;
  if (!ReadFields(&transfer)) return;
  transfer.policy = m_Policy;
  uint64_t bytes = 0;
  std::FILE* file = OpenForReading(m_FileName.GetString(), &bytes);
  if (!file) {
    MessageBox("Failed to read a source file.");
    return;
  }
  VeltanWinHost host(this);
  lx::CVeltanBlockTable none;
  lx::ImportVeltanPages(file, bytes, transfer, m_pBlockTable ? *m_pBlockTable : none, host);
  std::fclose(file);
}

void CVeltanExportDlg::OnBrowse() {
  UpdateData(TRUE);
  CFileDialog dialog(FALSE, "bin", nullptr, OFN_HIDEREADONLY | OFN_OVERWRITEPROMPT,
                     "Binary Files (*.bin)|*.bin|All Files (*.*)|*.*||", this);
  const CString folder = VeltanUserDataFolder();
  if (!folder.IsEmpty()) dialog.m_ofn.lpstrInitialDir = folder.GetString();
  if (dialog.DoModal() != IDOK) return;
  m_FileName = dialog.GetPathName();
  UpdateData(FALSE);
}

void CVeltanExportDlg::OnExportPages() {
  lx::VeltanTransfer transfer;
  if (!ReadFields(&transfer)) return;
  VeltanWinHost host(this);
  lx::ExportVeltanPages(m_FileName.GetString(), transfer, host);
}
