// The sector explorer's find window and its import and export dialogs.
#include <cstdio>
#include <cstdlib>

#include "device_api.h"
#include "program_context.h"
#include "sectortools.h"
#include "tool_wait.h"
#include "window_tool_host.h"

namespace {

bool FileExists(const char* path) {
  DWORD attributes = GetFileAttributesA(path);
  return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

int FieldNumber(HWND dialog, int id) {
  char text[32] = "";
  ::GetDlgItemTextA(dialog, id, text, sizeof text);
  return std::atoi(text);
}

void SetFieldNumber(HWND dialog, int id, int value) {
  char text[32];
  std::snprintf(text, sizeof text, "%d", value);
  ::SetDlgItemTextA(dialog, id, text);
}

// Reads of the search: through the addressing the explorer had at its start, a slice at a time
// (the explorer may go while the search pumps messages).
int AddressedRead(void* context, uint32_t first, uint32_t count, uint8_t* buffer) {
  return DeviceApiTable.gfslReadSectors(0, first, count, buffer, *static_cast<const int*>(context));
}

struct SearchTick {
  CSectorFindDlg* find;
  int32_t start, end;
};

bool FindTick(void* context, int32_t sector) {
  auto* tick = static_cast<SearchTick*>(context);
  tick->find->SetProgress(lx::SearchProgress(sector, tick->start, tick->end));
  lx::PumpMessages(256);
  return tick->find->m_bRunning;
}

}  // namespace

// ---- find ----------------------------------------------------------------------------------------
void CSectorFindDlg::DoDataExchange(CDataExchange* dx) {
  DDX_Check(dx, IDC_SF_DIFFERENCE, m_Difference);
  DDX_Text(dx, IDC_SF_PATTERN, m_Pattern);
  DDX_Radio(dx, IDC_SF_ASCII, m_Kind);
  DDX_Radio(dx, IDC_SF_CURRENT, m_Scope);
  DDX_Text(dx, IDC_SF_END, m_EndSector);
}

void CSectorFindDlg::StartAtTheExplorer() {
  m_SearchSector = m_StartSector = Explorer()->m_SectorNumber;
  m_BytePosition = 0;
  m_SectorCount = Explorer()->CountSectors();
  m_EndSector = m_SectorCount - 1;
}

void CSectorFindDlg::FindNext() {
  if (m_bRunning || !m_pExplorer) return;
  UpdateData(TRUE);
  lx::SectorSearch search;
  lx::PatternError error;
  if (m_Kind == 1) {
    error = lx::ParseHexPattern(m_Pattern, &search.pattern);
  } else {
    search.pattern.assign(m_Pattern.str().begin(), m_Pattern.str().end());
    error = lx::CheckPatternLength(search.pattern.size());
  }
  if (error != lx::PatternError::kNone) {
    MessageBox(lx::PatternErrorText(error));
    return;
  }
  if (m_SectorCount == 0) m_SectorCount = Explorer()->CountSectors();
  m_EndSector = lx::ClampEndSector(m_EndSector, m_SectorCount);
  SetFieldNumber(m_hWnd, IDC_SF_END, m_EndSector);
  SetProgress(0);

  m_pExplorer->HideEditor();
  int addressing = Explorer()->m_Addressing;
  search.read = AddressedRead;
  search.context = &addressing;
  search.sectorCount = m_SectorCount;
  search.searchSector = m_SearchSector;
  search.bytePosition = m_BytePosition;
  search.endSector = m_EndSector;
  search.currentSectorOnly = m_Scope == 0;
  search.difference = m_Difference != 0;
  SearchTick tick = {this, m_StartSector, m_EndSector};
  search.tick = FindTick;
  search.tickContext = &tick;
  // The search touches only this window and its own data while it pumps messages.
  lx::SearchResult result;
  if (!RunSearch([&] { result = lx::RunSectorSearch(search); })) return;
  CSectorExplorerDlg* explorer = Explorer();
  CString text;
  switch (result.outcome) {
    case lx::SearchOutcome::kHit:
      explorer->SetSectorNumber(result.sector);
      explorer->Move();
      explorer->MarkByte(result.position);
      m_SearchSector = result.sector;
      m_BytePosition = result.position + 1;
      if (m_BytePosition > static_cast<int32_t>(lx::kSectorSize) - 1) {
        m_BytePosition = 0;
        ++m_SearchSector;
      }
      break;
    case lx::SearchOutcome::kNotFound:
      m_BytePosition = 0;
      if (m_Scope == 1 && m_SearchSector < m_EndSector) m_SearchSector = m_EndSector;
      MessageBox("String not found.");
      break;
    case lx::SearchOutcome::kReadError:
      // What a failed read leaves in a buffer is no sector: the search ends there.
      m_BytePosition = 0;
      m_SearchSector = result.sector;
      text.Format("Failed to read sector %ld. The search stops there.", static_cast<long>(result.sector));
      MessageBox(text);
      break;
    case lx::SearchOutcome::kStopped:
      if (result.sector != m_SearchSector) m_BytePosition = 0;
      m_SearchSector = result.sector;
      break;
  }
}

// ---- import and export -------------------------------------------------------------------------
BOOL CSectorTransferDlg::OnInitDialog() {
  adjusting_ = true;
  m_NumberOfSectors = 1;
  m_SectorCount = DeviceApiTable.gfslGetNumberOfSectors(0, m_Addressing);
  const int high = m_SectorCount > 0 ? m_SectorCount : 1;
  UDACCEL accel[4] = {{0, 1}, {2, 2}, {4, 10}, {8, 100}};
  for (int spin : {IDC_SX_FIRST_SPIN, IDC_SX_NUMBER_SPIN}) {
    HWND item = ::GetDlgItem(m_hWnd, spin);
    ::SendMessageA(item, UDM_SETBASE, 10, 0);
    ::SendMessageA(item, UDM_SETACCEL, 4, reinterpret_cast<LPARAM>(accel));
  }
  ::SendDlgItemMessageA(m_hWnd, IDC_SX_FIRST_SPIN, UDM_SETRANGE32, 0, high - 1);
  ::SendDlgItemMessageA(m_hWnd, IDC_SX_NUMBER_SPIN, UDM_SETRANGE32, 1, high);
  CDialog::OnInitDialog();
  ::SendDlgItemMessageA(m_hWnd, IDC_SX_FIRST_SPIN, UDM_SETPOS32, 0, m_FirstSector);
  ::SendDlgItemMessageA(m_hWnd, IDC_SX_NUMBER_SPIN, UDM_SETPOS32, 0, 1);
  adjusting_ = false;
  return TRUE;
}

void CSectorTransferDlg::DoDataExchange(CDataExchange* dx) {
  DDX_Text(dx, IDC_SX_FILE, m_FileName);
  DDX_Text(dx, IDC_SX_INFO, m_FileInfo);
  DDX_Text(dx, IDC_SX_FIRST, m_FirstSector);
  DDX_Text(dx, IDC_SX_NUMBER, m_NumberOfSectors);
}

BOOL CSectorTransferDlg::OnCommand(WPARAM wp, LPARAM lp) {
  const UINT id = LOWORD(wp), code = HIWORD(wp);
  switch (id) {
    case IDC_SX_BROWSE: Browse(); return TRUE;
    case IDC_SX_VIEW: return TRUE;
    case IDC_SX_RUN: Run(); return TRUE;
    case IDC_SX_FIRST:
    case IDC_SX_NUMBER:
      if (code == EN_CHANGE) FieldsChanged(id == IDC_SX_FIRST);
      return TRUE;
    default: return CDialog::OnCommand(wp, lp);
  }
}

void CSectorTransferDlg::OnCancel() {
  if (!m_bRunning) {
    EndDialog(IDCANCEL);
    return;
  }
  if (MessageBox("Do you want to stop the operation?", nullptr, MB_YESNO) == IDYES) m_bStopRequested = true;
}

void CSectorTransferDlg::FieldsChanged(bool firstChanged) {
  if (adjusting_ || !IsWindowVisible()) return;
  adjusting_ = true;
  const int first = FieldNumber(m_hWnd, IDC_SX_FIRST), number = FieldNumber(m_hWnd, IDC_SX_NUMBER);
  const lx::SectorRangeFields f = lx::LimitSectorRange(m_SectorCount, first, number, firstChanged);
  if (f.first != first) SetFieldNumber(m_hWnd, IDC_SX_FIRST, f.first);
  ::SendDlgItemMessageA(m_hWnd, IDC_SX_NUMBER_SPIN, UDM_SETRANGE32, 1, f.spinHigh);
  if (f.numberChanged) {
    SetFieldNumber(m_hWnd, IDC_SX_NUMBER, f.number);
    ::SendDlgItemMessageA(m_hWnd, IDC_SX_NUMBER_SPIN, UDM_SETPOS32, 0, f.spinHigh);
  }
  adjusting_ = false;
}

void CSectorTransferDlg::Browse() {
  UpdateData(TRUE);
  const char* filter = "Binary Files (*.bin)|*.bin|All Files (*.*)|*.*||";
  CFileDialog dialog(m_bImport ? TRUE : FALSE, "bin", "*.bin", OFN_HIDEREADONLY | (m_bImport ? OFN_FILEMUSTEXIST : 0),
                     filter, this);
  CString folder;
  lx::ProgramContext* program = lx::Program();
  if (m_FileName.IsEmpty() && program) {
    folder = program->UserAreaFolder() + "\\User Data";
    dialog.m_ofn.lpstrInitialDir = folder;
  }
  if (dialog.DoModal() != IDOK) return;
  m_FileName = dialog.GetPathName();
  if (m_bImport) {
    CFile file;
    if (file.Open(m_FileName, CFile::modeRead | CFile::shareDenyNone)) {
      const unsigned long long length = file.GetLength();
      m_FileInfo.Format("File information: Total %llu Bytes, %llu sectors", length, length / lx::kSectorSize);
    } else {
      m_FileInfo = "File information: the file cannot be opened.";
    }
  }
  adjusting_ = true;
  UpdateData(FALSE);
  adjusting_ = false;
}

void CSectorTransferDlg::Run() {
  if (m_bRunning) return;
  UpdateData(TRUE);
  if (!lx::SectorRangeInside(m_SectorCount, m_FirstSector, m_NumberOfSectors)) {
    CString text;
    text.Format("Sectors %d to %lld are not all on the partition, which has sectors 0 to %ld.\n%s", m_FirstSector,
                static_cast<long long>(m_FirstSector) + m_NumberOfSectors - 1, static_cast<long>(m_SectorCount - 1),
                m_bImport ? "Nothing was written." : "Nothing was read.");
    MessageBox(text);
    return;
  }
  if (m_bImport) {
    Import();
  } else {
    Export();
  }
}

void CSectorTransferDlg::Import() { Transfer(); }

void CSectorTransferDlg::Export() {
  if (FileExists(m_FileName)) {
    CString question;
    question.Format("The file %s exists.\nDo you want to replace it?", m_FileName.GetString());
    if (MessageBox(question, nullptr, MB_YESNO) != IDYES) return;
  }
  Transfer();
}

// One sector at a time between the file and the sectors; the first failure ends it and is told,
// as is a stop.
void CSectorTransferDlg::Transfer() {
  VolumeSectors device(m_Addressing);
  CWindowToolHost host(this);
  host.pump = [] { lx::PumpMessages(256); };
  host.stop = &m_bStopRequested;
  m_bRunning = true;
  m_bStopRequested = false;
  lx::TransferSectors(device, host, m_FileName.GetString(), m_bImport, static_cast<uint32_t>(m_FirstSector),
                      static_cast<uint32_t>(m_NumberOfSectors));
  m_bRunning = false;
}
