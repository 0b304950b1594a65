#include "viewers.h"

#include <algorithm>
#include <string>

#include "device_api.h"
#include "program_context.h"
#include "viewer_core.h"

namespace {

constexpr UINT_PTR kRefreshTimer = 0;
constexpr UINT kRefreshMilliseconds = 200;
constexpr int kProfilerCountSlot = 74;  // fpGetFunctionProfilerCount

const char kCsvFilter[] = "Export Files (*.csv)|*.csv|All Files (*.*)|*.*||";
const char kCsvImportFilter[] = "Import Files (*.csv)|*.csv|All Files (*.*)|*.*||";
const char kDumpFilter[] = "Binary Files (*.bin)|*.bin|All Files (*.*)|*.*||";

// The process-wide top row of the profiler's wheel.
long g_profilerTopRow = 1;

CFProfilerDlg* g_profiler = nullptr;

int Box(const char* text) { return AfxMessageBox(text, MB_OK); }

// Where the file dialogs of the viewers start: "User Data" of the user area, when the
// application knows its install folder.
CString UserDataFolder() { return CString(lx::UserDataFolder()); }

// A file dialog with the viewers' settings; answers the chosen path, empty on Cancel.
CString AskFile(BOOL open, const char* extension, const char* filter, CWnd* owner, DWORD flags) {
  CString folder = UserDataFolder();
  std::string pattern = std::string("*.") + extension;
  CFileDialog dialog(open, extension, pattern.c_str(), flags, filter, owner);
  if (!folder.IsEmpty()) dialog.m_ofn.lpstrInitialDir = folder;
  if (dialog.DoModal() != IDOK) return CString();
  return dialog.GetPathName();
}

RECT WindowRectIn(HWND window, HWND parent) {
  RECT rect;
  GetWindowRect(window, &rect);
  MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(&rect), 2);
  return rect;
}

}  // namespace

bool TraceBufferReadable(const void* address, size_t bytes) {
  auto at = reinterpret_cast<uintptr_t>(address);
  if (!address || at + bytes < at) return false;
  const uintptr_t end = at + bytes;
  const DWORD readable = PAGE_READONLY | PAGE_READWRITE | PAGE_WRITECOPY | PAGE_EXECUTE_READ |
                         PAGE_EXECUTE_READWRITE | PAGE_EXECUTE_WRITECOPY;
  while (at < end) {
    MEMORY_BASIC_INFORMATION info;
    if (VirtualQuery(reinterpret_cast<const void*>(at), &info, sizeof info) != sizeof info) return false;
    if (info.State != MEM_COMMIT || (info.Protect & PAGE_GUARD) || !(info.Protect & readable)) return false;
    uintptr_t regionEnd = reinterpret_cast<uintptr_t>(info.BaseAddress) + info.RegionSize;
    if (regionEnd <= at) return false;
    at = regionEnd;
  }
  return true;
}

// ----- Entry points -----------------------------------------------------------------------------
CFProfilerDlg* ToggleProfilerDialog(CWnd* frame) {
  if (!g_profiler) {
    LxGridRegisterClass();
    g_profiler = new CFProfilerDlg(frame);
    if (!g_profiler->Create(IDD_LX_PROFILER, frame)) {
      delete g_profiler;
      g_profiler = nullptr;
      return nullptr;
    }
  }
  if (g_profiler->IsWindowVisible()) {
    g_profiler->ShowWindow(SW_HIDE);
  } else {
    HWND after = frame && frame->m_hWnd ? frame->m_hWnd : HWND_TOP;
    ::SetWindowPos(g_profiler->m_hWnd, after, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE | SWP_SHOWWINDOW);
  }
  return g_profiler;
}

void DestroyProfilerDialog() {
  if (!g_profiler) return;
  if (g_profiler->m_hWnd) g_profiler->DestroyWindow();
  delete g_profiler;
  g_profiler = nullptr;
}

void DumpDebugInformation(CWnd* owner) {
  // The module answers the address of its trace buffer, 0 when it has none; -1 and any
  // address this process cannot read all the way are failures too.
  int32_t answer = DeviceApiTable.gfslInit(19);
  const void* trace = reinterpret_cast<const void*>(static_cast<uintptr_t>(static_cast<uint32_t>(answer)));
  if (answer == 0 || answer == -1 || !TraceBufferReadable(trace, lx::kTraceBytes)) {
    Box("Failed to dump debug information");
    return;
  }
  CString path = AskFile(FALSE, "bin", kDumpFilter, owner, OFN_HIDEREADONLY | OFN_OVERWRITEPROMPT);
  if (path.IsEmpty()) return;
  CFile file;
  if (!file.Open(path, CFile::modeCreate | CFile::modeWrite | CFile::typeBinary)) {
    Box("Failed to create a debug information file");
    return;
  }
  HCURSOR cursor = SetCursor(LoadCursor(nullptr, IDC_WAIT));
  // The module may release the buffer when the device closes: check it again right before.
  bool written = TraceBufferReadable(trace, lx::kTraceBytes) &&
                 file.Write(trace, static_cast<UINT>(lx::kTraceBytes));
  file.Close();
  SetCursor(cursor);
  Box(written ? "Dump finished" : "Failed to dump debug information");
}

void ShowDebugInformationViewer(CWnd* owner) {
  CString path = AskFile(TRUE, "bin", kDumpFilter, owner, OFN_HIDEREADONLY | OFN_OVERWRITEPROMPT);
  if (path.IsEmpty()) return;
  std::vector<uint8_t> buffer;
  if (lx::ReadTraceFile(path, buffer) < 0) {
    Box("Failed to open a debug information file");
    return;
  }
  LxGridRegisterClass();
  CDebugInfoDlg dialog(buffer.data(), nullptr);
  dialog.DoModal();
}

// ----- CFProfilerDlg ----------------------------------------------------------------------------
BOOL CFProfilerDlg::OnInitDialog() {
  CDialog::OnInitDialog();
  grid_.Attach(::GetDlgItem(m_hWnd, IDC_LX_PROFILER_GRID));
  RECT client;
  GetClientRect(&client);
  initialClient_ = {client.right, client.bottom};
  for (HWND child = GetWindow(m_hWnd, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT))
    anchors_.push_back({child, WindowRectIn(child, m_hWnd), child == grid_.GetSafeHwnd()});

  const int rows = lx::ProfilerRowCount(DeviceApiTable.fpGetNumberOfProfileFunctions());
  grid_.SetRedraw(false);
  grid_.SetCols(3);
  grid_.SetRows(rows + 1);
  grid_.SetFixedRows(1);
  grid_.SetFixedCols(0);
  const char* titles[] = {"Function name", "Hit count", "Accumulated count"};
  const long widths[] = {4000, 2000, 2000};
  for (int c = 0; c < 3; ++c) {
    grid_.SetTextMatrix(0, c, titles[c]);
    grid_.SetColWidth(c, widths[c]);
  }
  for (int i = 0; i < rows; ++i) {
    const char* name = DeviceApiTable.fpGetFunctionProfilerName(i);
    grid_.SetTextMatrix(i + 1, 0, name ? name : "");
    WriteRow(i);
  }
  grid_.SetRedraw(true);
  m_LastShown.assign(rows, 0);
  ::GetWindowRect(m_hWnd, &m_InitialRect);
  return TRUE;
}

void CFProfilerDlg::WriteRow(int index) {
  grid_.SetTextMatrix(index + 1, 1, lx::ProfilerCellText(DeviceApiTable.fpGetFunctionProfilerCount(index)).c_str());
  grid_.SetTextMatrix(index + 1, 2,
                      lx::ProfilerCellText(DeviceApiTable.fpGetFunctionProfilerAccumulated(index)).c_str());
}

void CFProfilerDlg::RewriteCounts() {
  grid_.SetRedraw(false);
  for (int i = 0; i < RowCount(); ++i) WriteRow(i);
  grid_.SetRedraw(true);
}

BOOL CFProfilerDlg::OnCommand(WPARAM wp, LPARAM lp) {
  if (HIWORD(wp) != BN_CLICKED) return CDialog::OnCommand(wp, lp);
  switch (LOWORD(wp)) {
    case IDC_LX_PROFILER_RESET: OnReset(); return TRUE;
    case IDC_LX_PROFILER_BEGIN: OnBeginEnd(); return TRUE;
    case IDC_LX_PROFILER_END: KillTimer(kRefreshTimer); return TRUE;
    case IDC_LX_PROFILER_EXPORT: OnExport(); return TRUE;
    case IDC_LX_PROFILER_IMPORT: OnImport(); return TRUE;
    default: return CDialog::OnCommand(wp, lp);
  }
}

BOOL CFProfilerDlg::OnMessage(UINT msg, WPARAM wp, LPARAM lp, LRESULT* result) {
  switch (msg) {
    case WM_TIMER:
      if (wp != kRefreshTimer) break;
      OnTimerRefresh();
      return TRUE;
    case WM_MOUSEWHEEL:
      OnWheel(static_cast<short>(HIWORD(wp)));
      break;  // the base handling follows
    case WM_WINDOWPOSCHANGING: {
      auto* pos = reinterpret_cast<WINDOWPOS*>(lp);
      // Only the height may change.
      if (m_InitialRect.right > m_InitialRect.left && !(pos->flags & SWP_NOSIZE))
        pos->cx = m_InitialRect.right - m_InitialRect.left;
      break;
    }
    case WM_SIZE:
      Layout();
      break;
    case WM_DESTROY:
      KillTimer(kRefreshTimer);
      break;
    default:
      break;
  }
  return CDialog::OnMessage(msg, wp, lp, result);
}

void CFProfilerDlg::Layout() {
  RECT client;
  GetClientRect(&client);
  if (initialClient_.cy == 0) return;
  const int dx = client.right - initialClient_.cx, dy = client.bottom - initialClient_.cy;
  for (const Anchor& a : anchors_) {
    RECT r = a.rect;
    if (a.grows) {
      r.right += dx;
      r.bottom += dy;
    } else {
      OffsetRect(&r, 0, dy);
    }
    ::MoveWindow(a.window, r.left, r.top, r.right - r.left, r.bottom - r.top, TRUE);
  }
}

void CFProfilerDlg::OnReset() { DeviceApiTable.fpResetFunctionProfiler(); }

void CFProfilerDlg::OnBeginEnd() {
  if (!m_bRunning) {
    m_bRunning = 1;
    SetDlgItemText(IDC_LX_PROFILER_BEGIN, "End");
    SetTimer(kRefreshTimer, kRefreshMilliseconds);
  } else {
    m_bRunning = 0;
    SetDlgItemText(IDC_LX_PROFILER_BEGIN, "Begin");
    KillTimer(kRefreshTimer);
  }
}

void CFProfilerDlg::OnTimerRefresh() {
  // A module freed under a running profiler leaves stubs, each of which would show its box on
  // every row, five times a second: stop instead.
  if (lx::DeviceApiCellIsStub(kProfilerCountSlot)) {
    if (m_bRunning) OnBeginEnd();
    return;
  }
  for (int i = 0; i < RowCount(); ++i) {
    uint64_t count = DeviceApiTable.fpGetFunctionProfilerCount(i);
    // Unchanged rows are not rewritten, so the grid does not flicker.
    if (static_cast<uint32_t>(count) != m_LastShown[i] || (count >> 32) != 0) WriteRow(i);
    m_LastShown[i] = static_cast<uint32_t>(count);
  }
}

void CFProfilerDlg::OnWheel(short delta) {
  const long rows = RowCount();
  if (delta < 0)
    g_profilerTopRow = std::min(g_profilerTopRow + 4, rows - 1);
  else
    g_profilerTopRow = std::max(g_profilerTopRow - 4, 1L);
  g_profilerTopRow = std::max(g_profilerTopRow, 1L);  // a profiler of one entry or none
  grid_.SetTopRow(g_profilerTopRow);
}

void CFProfilerDlg::OnExport() {
  CString path = AskFile(FALSE, "csv", kCsvFilter, this, OFN_HIDEREADONLY | OFN_OVERWRITEPROMPT);
  if (path.IsEmpty()) return;
  CFile file;
  if (!file.Open(path, CFile::modeCreate | CFile::modeWrite | CFile::typeBinary)) return;
  std::string text = lx::kProfilerCsvHeader;
  for (int i = 0; i < RowCount(); ++i) {
    text += lx::ProfilerCsvLine(DeviceApiTable.fpGetFunctionProfilerName(i), DeviceApiTable.fpGetFunctionProfilerCount(i),
                                DeviceApiTable.fpGetFunctionProfilerAccumulated(i));
  }
  file.Write(text.data(), static_cast<UINT>(text.size()));
  file.Close();
}

void CFProfilerDlg::OnImport() {
  CString path = AskFile(TRUE, "csv", kCsvImportFilter, this, OFN_HIDEREADONLY | OFN_OVERWRITEPROMPT);
  if (path.IsEmpty()) return;
  CFile file;
  if (!file.Open(path, CFile::modeRead | CFile::typeBinary)) return;
  std::vector<char> text(lx::kProfilerImportLimit);
  UINT got = file.Read(text.data(), static_cast<UINT>(text.size()));
  file.Close();
  if (got == 0) return;
  std::vector<std::string> names;
  for (int i = 0; i < RowCount(); ++i) {
    const char* name = DeviceApiTable.fpGetFunctionProfilerName(i);
    names.emplace_back(name ? name : "");
  }
  for (const lx::ProfilerImportRow& row : lx::ParseProfilerCsv(text.data(), got, names))
    DeviceApiTable.fpSetFunctionProfiler(row.index, static_cast<uint64_t>(row.count),
                                         static_cast<uint64_t>(row.accumulated));
  RewriteCounts();
}

// ----- CDebugInfoDlg ----------------------------------------------------------------------------
BOOL CDebugInfoDlg::OnInitDialog() {
  CDialog::OnInitDialog();
  grid_.Attach(::GetDlgItem(m_hWnd, IDC_LX_TRACE_GRID));
  grid_.SetRedraw(false);
  grid_.SetCols(6);
  grid_.SetRows(static_cast<long>(lx::kTraceRecordCount) + 1);
  grid_.SetFixedRows(1);
  grid_.SetFixedCols(0);
  for (int c = 0; c < 6; ++c) {
    grid_.SetColAlignment(c, lx::kGridAlignRightCenter);
    grid_.SetColWidth(c, 1600);
    grid_.SetTextMatrix(0, c, lx::kTraceColumnTitles[c]);
  }
  grid_.SetColWidth(1, 3000);
  std::string cells[6];
  for (size_t r = 0; r < lx::kTraceRecordCount; ++r) {
    lx::TraceRecordCells(lx::DecodeTraceRecord(records_ + r * sizeof(TraceRecord)), cells);
    for (int c = 0; c < 6; ++c) grid_.SetTextMatrix(static_cast<long>(r) + 1, c, cells[c].c_str());
  }
  grid_.SetRedraw(true);
  return TRUE;
}

BOOL CDebugInfoDlg::OnNotify(WPARAM wp, LPARAM lp, LRESULT* result) {
  const NMHDR* header = reinterpret_cast<const NMHDR*>(lp);
  if (header->idFrom == IDC_LX_TRACE_GRID && header->code == LXGN_SCROLL) {
    grid_.SetRow(grid_.GetTopRow());
    return TRUE;
  }
  return CDialog::OnNotify(wp, lp, result);
}

BOOL CDebugInfoDlg::OnMessage(UINT msg, WPARAM wp, LPARAM lp, LRESULT* result) {
  if (msg == WM_MOUSEWHEEL) {
    const long last = static_cast<long>(lx::kTraceRecordCount);
    long row = grid_.GetRow();
    row = static_cast<short>(HIWORD(wp)) < 0 ? std::min(row + 4, last) : std::max(row - 4, 1L);
    grid_.SetRow(row);
    grid_.SetTopRow(row);
    return TRUE;
  }
  return CDialog::OnMessage(msg, wp, lp, result);
}
