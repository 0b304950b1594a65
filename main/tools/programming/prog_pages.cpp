// The edit sheets and their program, copy and erase pages.
#include <algorithm>
#include <cstdio>

#include "lumivex/prompt.h"
#include "program_context.h"
#include "programming.h"
#include "tool_wait.h"
#include "window_tool_host.h"

using lx::prog::NorSector;
using lx::prog::VeltanTable;

namespace {

const char kBinFilter[] = "Binary Files (*.bin)|*.bin|All Files (*.*)|*.*||";

uint32_t ToolWindowSize() {
  lx::ProgramContext* program = lx::Program();
  return lx::prog::WindowSize(program ? program->WindowSizeIndex() : 0);
}

uint32_t DeviceWindows() {
  const uint32_t w = ToolWindowSize();
  return w ? lx::prog::NorDeviceBytes() / w : 0;
}

void SetupSpinControl(HWND spin, uint32_t low, uint32_t high, uint32_t position, bool fast) {
  static UDACCEL slow[] = {{0, 1}, {2, 2}, {4, 10}, {8, 100}};
  static UDACCEL quick[] = {{0, 1}, {2, 4}, {4, 20}, {8, 100}};
  ::SendMessageA(spin, UDM_SETBASE, 10, 0);
  ::SendMessageA(spin, UDM_SETACCEL, 4, reinterpret_cast<LPARAM>(fast ? quick : slow));
  ::SendMessageA(spin, UDM_SETRANGE32, static_cast<WPARAM>(low), static_cast<LPARAM>(std::max(low, high)));
  ::SendMessageA(spin, UDM_SETPOS32, 0, static_cast<LPARAM>(position));
}

std::string FileInfo(const CString& path, const char* format, uint32_t divisor, uint32_t second = 0) {
  const int64_t length = lx::prog::FileLength(path.str());
  if (length < 0) return std::string();
  char text[256];
  if (second)
    std::snprintf(text, sizeof text, format, static_cast<long>(length), static_cast<long>(length / divisor),
                  static_cast<long>(length / second));
  else
    std::snprintf(text, sizeof text, format, static_cast<long>(length), static_cast<long>(length / divisor));
  return text;
}

}  // namespace

// ---- the page frame ---------------------------------------------------------------------------
BOOL CToolPage::OnInitDialog() {
  // The sheet is a tool window: no OK, and Cancel closes it.
  HWND sheet = ::GetParent(m_hWnd);
  if (sheet) {
    ::ShowWindow(::GetDlgItem(sheet, IDOK), SW_HIDE);
    ::ShowWindow(::GetDlgItem(sheet, 0x3021), SW_HIDE);  // Apply
    ::SetDlgItemTextA(sheet, IDCANCEL, "Close");
  }
  return CPropertyPage::OnInitDialog();
}

BOOL CToolPage::OnNotify(WPARAM wp, LPARAM lp, LRESULT* result) {
  // The sheet must not go while a run of this page is on the stack.
  if (reinterpret_cast<const NMHDR*>(lp)->code == PSN_QUERYCANCEL) {
    *result = running_ ? TRUE : FALSE;
    return TRUE;
  }
  return CPropertyPage::OnNotify(wp, lp, result);
}

void CToolPage::Pump() { lx::PumpMessages(256); }

bool CToolPage::StopRequested() { return !running_; }

void CToolPage::Progress(uint64_t position, uint64_t range) {
  HWND bar = ::GetDlgItem(m_hWnd, IDC_PG_PROGRESS);
  ::SendMessageA(bar, PBM_SETRANGE32, 0, static_cast<LPARAM>(range));
  ::SendMessageA(bar, PBM_SETPOS, static_cast<WPARAM>(position), 0);
}

void CToolPage::Status(int line, const std::string& text) {
  SetDlgItemText(line == 1 ? IDC_TP_STATUS1 : IDC_TP_STATUS2, text.c_str());
}

int CToolPage::Ask(const std::string& text, const char* caption, unsigned type) {
  return WindowToolAsk(this, text, caption, type);
}

void CToolPage::SetupSpin(int spin, uint32_t low, uint32_t high, uint32_t position, bool fast) {
  SetupSpinControl(::GetDlgItem(m_hWnd, spin), low, high, position, fast);
}

void CToolPage::BeginRun(int button, const char* stopText) {
  running_ = true;
  if (button) SetDlgItemText(button, stopText);
  ::EnableWindow(::GetDlgItem(::GetParent(m_hWnd), IDCANCEL), FALSE);
  cursor_ = ::SetCursor(::LoadCursor(nullptr, IDC_WAIT));
  lx::StartProgress();
}

void CToolPage::EndRun(int button, const char* idleText) {
  running_ = false;
  if (button) SetDlgItemText(button, idleText);
  ::EnableWindow(::GetDlgItem(::GetParent(m_hWnd), IDCANCEL), TRUE);
  ::SetCursor(cursor_);
  lx::StopProgress();
}

void CToolPage::Finish(const std::string& text) {
  if (!text.empty()) Tell(text);
}

BOOL CToolPage::OnCommand(WPARAM wp, LPARAM lp) {
  if (HIWORD(wp) == BN_CLICKED && OnButton(LOWORD(wp))) return TRUE;
  return CPropertyPage::OnCommand(wp, lp);
}

bool CToolPage::ChooseDumpFile(CString* path) {
  return !running_ && lx::Confirm() && BrowseToolFile(false, "bin", kBinFilter, path);
}

void CToolPage::DumpNorRange(const CString& path, uint32_t start, uint64_t length, const char* createFailure,
                             const char* success) {
  BeginRun(0, nullptr);
  std::string text = lx::prog::DumpNor(*this, path.str(), start, length, ToolWindowSize(), createFailure, success);
  EndRun(0, nullptr);
  Finish(text);
}

void CToolPage::DumpVeltanBlocks(const CString& path, const VeltanTable& table, uint32_t first, uint32_t count,
                                 const char* createFailure) {
  const uint64_t pages = lx::prog::ReadVeltanGeometry().pagesPerBlock;
  BeginRun(0, nullptr);
  std::string text = lx::prog::DumpVeltanPages(*this, table, path.str(), first * pages, count * pages, createFailure);
  EndRun(0, nullptr);
  Finish(text);
}

void CToolPage::DumpNorSectors(const std::vector<NorSector>& sectors, const UINT* first, const UINT* count) {
  CString path;
  if (!ChooseDumpFile(&path)) return;
  UpdateData(TRUE);
  if (!CheckSectors(sectors, *first, *count)) return;
  uint64_t length = 0;
  for (uint32_t s = *first; s < *first + *count; ++s) length += sectors[s].size;
  // Every byte of the sectors, also of sectors smaller than one window.
  DumpNorRange(path, sectors[*first].start, length, "Failed to create a temporary file.", "");
}

bool CToolPage::CheckSectors(const std::vector<NorSector>& sectors, uint32_t first, uint32_t count) {
  const uint64_t n = sectors.size();
  if (count != 0 && first < n && count <= n - first) return true;
  Tell(lx::prog::Format("Error: Sectors %u to %llu lie beyond the device's %llu sectors.", first,
                        static_cast<unsigned long long>(first) + count - (count ? 1 : 0), static_cast<unsigned long long>(n)));
  return false;
}

bool BrowseToolFile(bool open, const char* extension, const char* filter, CString* path) {
  std::string name = std::string("*.") + extension;
  CFileDialog dialog(open ? TRUE : FALSE, extension, name.c_str(), OFN_HIDEREADONLY | OFN_EXPLORER | (open ? 0 : OFN_OVERWRITEPROMPT),
                     filter);
  CString folder(lx::UserDataFolder());
  if (!folder.IsEmpty()) dialog.m_ofn.lpstrInitialDir = folder;
  if (dialog.DoModal() != IDOK) return false;
  *path = dialog.GetPathName();
  return true;
}

// ---- Read / Program data ------------------------------------------------------------------------
BOOL CProgramPartWindow::OnInitDialog() {
  char length[16];
  std::snprintf(length, sizeof length, "0x%08X", lx::prog::NorDeviceBytes());
  m_Length = length;
  CToolPage::OnInitDialog();
  ::EnableWindow(::GetDlgItem(m_hWnd, IDC_PG_RUN), m_Mode != 1);
  ::EnableWindow(::GetDlgItem(m_hWnd, IDC_PG_READ), m_Mode != 2);
  ::EnableWindow(::GetDlgItem(m_hWnd, IDC_PG_VERIFY_FILE), m_Mode != 2);
  return TRUE;
}

void CProgramPartWindow::DoDataExchange(CDataExchange* dx) {
  DDX_Text(dx, IDC_PG_PATH, m_Path);
  DDX_Text(dx, IDC_PG_INFO, m_Info);
  DDX_Text(dx, IDC_PG_START_ADDRESS, m_Start);
  DDX_Text(dx, IDC_PG_LENGTH, m_Length);
  DDX_Check(dx, IDC_PG_VERIFY, m_Verify);
}

bool CProgramPartWindow::OnButton(int id) {
  switch (id) {
    case IDC_PG_BROWSE: OnBrowse(); return true;
    case IDC_PG_VIEW: return true;
    case IDC_PG_RUN: OnProgram(); return true;
    case IDC_PG_READ: OnRead(); return true;
    case IDC_PG_VERIFY_FILE: OnVerify(); return true;
    default: return false;
  }
}

void CProgramPartWindow::OnBrowse() {
  UpdateData(TRUE);
  if (!BrowseToolFile(true, "bin", kBinFilter, &m_Path)) return;
  std::string info = FileInfo(m_Path, "File information: Total %ld Bytes, %ld sectors", 512);
  m_Info = info.empty() ? "WARNING! No file has found. A new file will be created." : info.c_str();
  UpdateData(FALSE);
}

namespace {

// The start and length boxes; false after telling what is wrong.
bool ReadRange(lx::prog::Host& host, const CString& start, const CString& length, uint32_t* a, uint32_t* n) {
  if (!lx::prog::ParseNumber(start.str(), a)) {
    host.Tell("Error: The start address is not a number.");
    return false;
  }
  if (!lx::prog::ParseNumber(length.str(), n)) {
    host.Tell("Error: The data length is not a number.");
    return false;
  }
  return true;
}

}  // namespace

void CProgramPartWindow::OnProgram() {
  if (!lx::Confirm()) return;
  if (running_) {
    running_ = false;
    SetDlgItemText(IDC_PG_RUN, ">> Program data");
    return;
  }
  UpdateData(TRUE);
  lx::prog::NorProgramRequest request;
  if (!ReadRange(*this, m_Start, m_Length, &request.start, &request.length)) return;
  request.path = m_Path.str();
  request.chunk = ToolWindowSize();
  request.verify = m_Verify != 0;
  request.unit = "piece";
  BeginRun(IDC_PG_RUN, ">> Stop programming");
  std::string text = lx::prog::ProgramNorData(*this, request);
  EndRun(IDC_PG_RUN, ">> Program data");
  Finish(text);
}

void CProgramPartWindow::OnRead() {
  if (running_ || !lx::Confirm()) return;
  UpdateData(TRUE);
  uint32_t start = 0, length = 0;
  if (!ReadRange(*this, m_Start, m_Length, &start, &length)) return;
  BeginRun(0, nullptr);
  std::string text = lx::prog::ReadNorToFile(*this, m_Path.str(), start, length);
  EndRun(0, nullptr);
  Finish(text);
}

void CProgramPartWindow::OnVerify() {
  if (running_ || !lx::Confirm()) return;
  UpdateData(TRUE);
  uint32_t start = 0, length = 0;
  if (!ReadRange(*this, m_Start, m_Length, &start, &length)) return;
  BeginRun(0, nullptr);
  std::string text = lx::prog::VerifyNorWithFile(*this, m_Path.str(), start, length);
  EndRun(0, nullptr);
  Finish(text);
}

// ---- Program window -----------------------------------------------------------------------------
BOOL CProgramRawWindow::OnInitDialog() {
  m_DeviceWindows = DeviceWindows();
  m_Windows = m_DeviceWindows;
  CToolPage::OnInitDialog();
  SetupSpin(IDC_PG_START_WINDOW_SPIN, 0, m_DeviceWindows ? m_DeviceWindows - 1 : 0, 0);
  SetupSpin(IDC_PG_WINDOWS_SPIN, 1, m_DeviceWindows, m_DeviceWindows);
  return TRUE;
}

void CProgramRawWindow::DoDataExchange(CDataExchange* dx) {
  DDX_Text(dx, IDC_PG_PATH, m_Path);
  DDX_Text(dx, IDC_PG_INFO, m_Info);
  DDX_Text(dx, IDC_PG_START_WINDOW, m_StartWindow);
  DDX_Text(dx, IDC_PG_WINDOWS, m_Windows);
  DDX_Check(dx, IDC_PG_VERIFY, m_Verify);
}

bool CProgramRawWindow::OnButton(int id) {
  switch (id) {
    case IDC_PG_BROWSE: OnBrowse(); return true;
    case IDC_PG_VIEW: return true;
    case IDC_PG_RUN: OnProgram(); return true;
    default: return false;
  }
}

void CProgramRawWindow::OnBrowse() {
  UpdateData(TRUE);
  if (!BrowseToolFile(true, "bin", kBinFilter, &m_Path)) return;
  m_Info = FileInfo(m_Path, "File information: Total %ld Bytes, %ld windows", ToolWindowSize()).c_str();
  UpdateData(FALSE);
}

void CProgramRawWindow::OnProgram() {
  if (!lx::Confirm()) return;
  if (running_) {
    running_ = false;
    SetDlgItemText(IDC_PG_RUN, ">> Program windows");
    return;
  }
  UpdateData(TRUE);
  const uint64_t w = ToolWindowSize();
  const uint64_t start = m_StartWindow * w, length = static_cast<uint64_t>(m_Windows) * w;
  if (start + length > 0xFFFFFFFFull) {
    Tell("Error: The windows lie beyond the end of the device.");
    return;
  }
  lx::prog::NorProgramRequest request{m_Path.str(), static_cast<uint32_t>(start), static_cast<uint32_t>(length),
                                      static_cast<uint32_t>(w), m_Verify != 0, "window"};
  BeginRun(IDC_PG_RUN, ">> Stop programming");
  std::string text = lx::prog::ProgramNorData(*this, request);
  EndRun(IDC_PG_RUN, ">> Program windows");
  Finish(text);
}

// ---- Copy windows -------------------------------------------------------------------------------
BOOL CCopyWindow::OnInitDialog() {
  m_DeviceWindows = DeviceWindows();
  CToolPage::OnInitDialog();
  const uint32_t last = m_DeviceWindows ? m_DeviceWindows - 1 : 0;
  SetupSpin(IDC_PG_FIRST_SPIN, 0, last, 0);
  SetupSpin(IDC_PG_COUNT_SPIN, 1, m_DeviceWindows, 1);
  SetupSpin(IDC_PG_TARGET_SPIN, 0, last, 0);
  return TRUE;
}

void CCopyWindow::DoDataExchange(CDataExchange* dx) {
  DDX_Text(dx, IDC_PG_FIRST, m_Source);
  DDX_Text(dx, IDC_PG_COUNT, m_Count);
  DDX_Text(dx, IDC_PG_TARGET, m_Target);
  DDX_Check(dx, IDC_PG_VERIFY, m_Verify);
}

bool CCopyWindow::OnButton(int id) {
  switch (id) {
    case IDC_PG_RUN: OnCopy(); return true;
    case IDC_PG_DUMP: OnDump(); return true;
    default: return false;
  }
}

void CCopyWindow::OnCopy() {
  if (!lx::Confirm()) return;
  if (running_) {
    running_ = false;
    SetDlgItemText(IDC_PG_RUN, ">> Copy windows");
    return;
  }
  UpdateData(TRUE);
  lx::prog::CopyWindowsRequest request{m_Source, m_Count, m_Target, ToolWindowSize(), m_DeviceWindows, m_Verify != 0};
  BeginRun(IDC_PG_RUN, ">> Stop copying");
  std::string text = lx::prog::CopyNorWindows(*this, request);
  EndRun(IDC_PG_RUN, ">> Copy windows");
  Finish(text);
}

void CCopyWindow::OnDump() {
  CString path;
  if (!ChooseDumpFile(&path)) return;
  UpdateData(TRUE);
  if (m_Source >= m_DeviceWindows || m_Count > m_DeviceWindows - m_Source) {
    Tell("Error: The windows lie beyond the end of the device.");
    return;
  }
  const uint64_t w = ToolWindowSize();
  DumpNorRange(path, static_cast<uint32_t>(m_Source * w), m_Count * w, "Failed to create a file.", "Dump finished.");
}

// ---- Erase sectors ------------------------------------------------------------------------------
BOOL CEraseSector::OnInitDialog() {
  const uint32_t n = static_cast<uint32_t>(sectors_->size());
  m_Count = n;
  CToolPage::OnInitDialog();
  SetupSpin(IDC_PG_FIRST_SPIN, 0, n ? n - 1 : 0, 0);
  SetupSpin(IDC_PG_COUNT_SPIN, 1, n, n);
  return TRUE;
}

void CEraseSector::DoDataExchange(CDataExchange* dx) {
  DDX_Text(dx, IDC_PG_FIRST, m_First);
  DDX_Text(dx, IDC_PG_COUNT, m_Count);
  DDX_Check(dx, IDC_PG_VERIFY, m_Verify);
}

bool CEraseSector::OnButton(int id) {
  switch (id) {
    case IDC_PG_RUN: OnErase(); return true;
    case IDC_PG_DUMP: OnDump(); return true;
    default: return false;
  }
}

void CEraseSector::OnErase() {
  if (running_) {
    running_ = false;
    SetDlgItemText(IDC_PG_RUN, ">> Erase sectors");
    return;
  }
  if (!lx::Confirm()) return;
  UpdateData(TRUE);
  lx::prog::EraseSectorsRequest request{*sectors_, m_First, m_Count, ToolWindowSize(), m_Verify != 0};
  BeginRun(IDC_PG_RUN, ">> Stop erasing");
  std::string text = lx::prog::EraseNorSectors(*this, request);
  EndRun(IDC_PG_RUN, ">> Erase sectors");
  Finish(text);
}

void CEraseSector::OnDump() {
  DumpNorSectors(*sectors_, &m_First, &m_Count);
}

// ---- Program partial page -----------------------------------------------------------------------
BOOL CProgramPartPage::OnInitDialog() {
  CToolPage::OnInitDialog();
  const uint64_t pages = lx::prog::ReadVeltanGeometry().Pages();
  SetupSpin(IDC_PG_PAGE_SPIN, 0, pages ? static_cast<uint32_t>(std::min<uint64_t>(pages - 1, 0x7FFFFFFF)) : 0, 0);
  return TRUE;
}

void CProgramPartPage::DoDataExchange(CDataExchange* dx) {
  DDX_Text(dx, IDC_PG_PATH, m_Path);
  DDX_Text(dx, IDC_PG_INFO, m_Info);
  DDX_Text(dx, IDC_PG_PAGE, m_Page);
  DDX_Radio(dx, IDC_PG_AREA0, m_Area);
}

bool CProgramPartPage::OnButton(int id) {
  switch (id) {
    case IDC_PG_BROWSE: OnBrowse(); return true;
    case IDC_PG_VIEW: return true;
    case IDC_PG_RUN: OnProgram(); return true;
    default: return false;
  }
}

void CProgramPartPage::OnBrowse() {
  UpdateData(TRUE);
  if (!BrowseToolFile(true, "bin", kBinFilter, &m_Path)) return;
  m_Info = FileInfo(m_Path, "File information: Total %ld Bytes, %ld sectors", 512).c_str();
  UpdateData(FALSE);
}

void CProgramPartPage::OnProgram() {
  if (running_ || !lx::Confirm()) return;
  UpdateData(TRUE);
  BeginRun(0, nullptr);
  std::string text = lx::prog::ProgramVeltanPartPage(*this, *table_, m_Path.str(), m_Page, static_cast<uint32_t>(m_Area));
  EndRun(0, nullptr);
  Finish(text);
}

// ---- Program raw page ---------------------------------------------------------------------------
BOOL CProgramRawPage::OnInitDialog() {
  const uint64_t pages = std::min<uint64_t>(lx::prog::ReadVeltanGeometry().Pages(), 0x7FFFFFFF);
  m_Count = static_cast<UINT>(pages);
  CToolPage::OnInitDialog();
  SetupSpin(IDC_PG_PAGE_SPIN, 0, pages ? static_cast<uint32_t>(pages - 1) : 0, 0);
  SetupSpin(IDC_PG_PAGES_SPIN, 1, static_cast<uint32_t>(pages), static_cast<uint32_t>(pages));
  HWND combo = ::GetDlgItem(m_hWnd, IDC_PG_POLICY);
  ::SendMessageA(combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>("Shift data programming to the next block if a bad block found"));
  ::SendMessageA(combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>("Skip data programming if a bad block found"));
  ::SendMessageA(combo, CB_SETCURSEL, static_cast<WPARAM>(m_Policy), 0);
  return TRUE;
}

void CProgramRawPage::DoDataExchange(CDataExchange* dx) {
  DDX_Text(dx, IDC_PG_PATH, m_Path);
  DDX_Text(dx, IDC_PG_INFO, m_Info);
  DDX_Text(dx, IDC_PG_PAGE, m_Start);
  DDX_Text(dx, IDC_PG_PAGES, m_Count);
  DDX_Check(dx, IDC_PG_LEAVE_SPARE, m_LeaveSpare);
  DDX_CBIndex(dx, IDC_PG_POLICY, m_Policy);
}

bool CProgramRawPage::OnButton(int id) {
  switch (id) {
    case IDC_PG_BROWSE: OnBrowse(); return true;
    case IDC_PG_VIEW: return true;
    case IDC_PG_RUN: OnProgram(); return true;
    default: return false;
  }
}

void CProgramRawPage::OnBrowse() {
  UpdateData(TRUE);
  if (!BrowseToolFile(true, "bin", kBinFilter, &m_Path)) return;
  m_Info = FileInfo(m_Path, "File information: Total %ld Bytes, %ld/%ld pages without/with spare", 2048,
                    2048 + table_->spare)
               .c_str();
  UpdateData(FALSE);
}

void CProgramRawPage::OnProgram() {
  if (!lx::Confirm()) return;
  if (running_) {
    running_ = false;
    SetDlgItemText(IDC_PG_RUN, ">> Program pages");
    return;
  }
  UpdateData(TRUE);
  lx::prog::RawPagesRequest request{m_Path.str(), m_Start, m_Count, m_LeaveSpare != 0,
                                    m_Policy == 1 ? lx::prog::BadBlockPolicy::Skip : lx::prog::BadBlockPolicy::Shift};
  BeginRun(IDC_PG_RUN, ">> Stop programming");
  std::string text = lx::prog::ProgramVeltanRawPages(*this, *table_, request);
  EndRun(IDC_PG_RUN, ">> Program pages");
  Finish(text);
}

// ---- Copy pages ---------------------------------------------------------------------------------
BOOL CCopyPage::OnInitDialog() {
  const uint64_t pages = std::min<uint64_t>(lx::prog::ReadVeltanGeometry().Pages(), 0x7FFFFFFF);
  CToolPage::OnInitDialog();
  const uint32_t last = pages ? static_cast<uint32_t>(pages - 1) : 0;
  SetupSpin(IDC_PG_FIRST_SPIN, 0, last, 0);
  SetupSpin(IDC_PG_COUNT_SPIN, 1, static_cast<uint32_t>(pages), 1);
  SetupSpin(IDC_PG_TARGET_SPIN, 0, last, 0);
  return TRUE;
}

void CCopyPage::DoDataExchange(CDataExchange* dx) {
  DDX_Text(dx, IDC_PG_FIRST, m_Source);
  DDX_Text(dx, IDC_PG_COUNT, m_Count);
  DDX_Text(dx, IDC_PG_TARGET, m_Target);
  DDX_Check(dx, IDC_PG_LEAVE_SPARE, m_LeaveSpare);
}

bool CCopyPage::OnButton(int id) {
  switch (id) {
    case IDC_PG_RUN: OnCopy(); return true;
    case IDC_PG_DUMP: OnDump(); return true;
    default: return false;
  }
}

void CCopyPage::OnCopy() {
  if (running_ || !lx::Confirm()) return;
  UpdateData(TRUE);
  BeginRun(0, nullptr);
  std::string text = lx::prog::CopyVeltanPages(*this, *table_, {m_Source, m_Count, m_Target, m_LeaveSpare != 0});
  EndRun(0, nullptr);
  Finish(text);
}

void CCopyPage::OnDump() {
  CString path;
  if (!ChooseDumpFile(&path)) return;
  UpdateData(TRUE);
  BeginRun(0, nullptr);
  std::string text = lx::prog::DumpVeltanPages(*this, *table_, path.str(), m_Source, m_Count, "Failed to create a file.");
  EndRun(0, nullptr);
  Finish(text);
}

// ---- Erase blocks -------------------------------------------------------------------------------
BOOL CEraseBlock::OnInitDialog() {
  const uint32_t blocks = lx::prog::ReadVeltanGeometry().blocks;
  m_Count = blocks;
  CToolPage::OnInitDialog();
  SetupSpin(IDC_PG_FIRST_SPIN, 0, blocks ? blocks - 1 : 0, 0);
  SetupSpin(IDC_PG_COUNT_SPIN, 1, blocks, blocks);
  return TRUE;
}

void CEraseBlock::DoDataExchange(CDataExchange* dx) {
  DDX_Text(dx, IDC_PG_FIRST, m_First);
  DDX_Text(dx, IDC_PG_COUNT, m_Count);
}

bool CEraseBlock::OnButton(int id) {
  switch (id) {
    case IDC_PG_RUN: OnErase(); return true;
    case IDC_PG_DUMP: OnDump(); return true;
    default: return false;
  }
}

void CEraseBlock::OnErase() {
  if (running_) {
    running_ = false;
    SetDlgItemText(IDC_PG_RUN, ">> Erase blocks");
    return;
  }
  if (!lx::Confirm()) return;
  UpdateData(TRUE);
  BeginRun(IDC_PG_RUN, ">> Stop erasing");
  std::string text = lx::prog::EraseVeltanBlocks(*this, *table_, m_First, m_Count);
  EndRun(IDC_PG_RUN, ">> Erase blocks");
  Finish(text);
}

void CEraseBlock::OnDump() {
  CString path;
  if (!ChooseDumpFile(&path)) return;
  UpdateData(TRUE);
  DumpVeltanBlocks(path, *table_, m_First, m_Count, "Failed to create a file.");
}

// ---- sheets -------------------------------------------------------------------------------------
CEditNorSheet::CEditNorSheet(const char* caption, std::vector<NorSector> sectors, CWnd* parent, UINT page,
                             int programTarget)
    : CPropertySheet(caption, parent), m_Sectors(std::move(sectors)) {
  auto add = [&](UINT number, CToolPage* p) {
    std::unique_ptr<CToolPage> owned(p);
    if (page != 0 && page != number) return;
    AddPage(owned.get());
    m_Pages.push_back(std::move(owned));
  };
  add(1, new CProgramPartWindow(programTarget));
  add(2, new CProgramRawWindow());
  add(3, new CCopyWindow());
  add(4, new CEraseSector(&m_Sectors));
  add(5, new CDeviceTest(&m_Sectors));
}

CEditVeltanSheet::CEditVeltanSheet(const char* caption, VeltanTable table, CWnd* parent, UINT page)
    : CPropertySheet(caption, parent), m_Table(std::move(table)) {
  auto add = [&](UINT number, CToolPage* p) {
    std::unique_ptr<CToolPage> owned(p);
    if (page != 0 && page != number) return;
    AddPage(owned.get());
    m_Pages.push_back(std::move(owned));
  };
  add(1, new CProgramPartPage(&m_Table));
  add(2, new CProgramRawPage(&m_Table));
  add(3, new CCopyPage(&m_Table));
  add(4, new CEraseBlock(&m_Table));
  add(5, new CNANDTest(&m_Table));
}

INT_PTR ShowEditNorSheet(CWnd* parent, const char* caption, UINT page, int programTarget) {
  CEditNorSheet sheet(caption, lx::prog::ReadNorSectors(), parent, page, programTarget);
  return sheet.DoModal();
}

INT_PTR ShowEditVeltanSheet(CWnd* parent, const char* caption, const VeltanTable& table, UINT page) {
  CEditVeltanSheet sheet(caption, table, parent, page);
  return sheet.DoModal();
}
