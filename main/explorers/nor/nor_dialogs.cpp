// The dialogs around the NOR explorer: find, import and export of windows, the reset window and
// the move-to-address question.
#include <algorithm>
#include <cstdio>

#include "device_api.h"
#include "lumivex/prompt.h"
#include "nor_explorer.h"
#include "program_context.h"
#include "tool_wait.h"
#include "window_tool_host.h"

namespace {

CNorResetDlg* g_reset = nullptr;

uint32_t WindowSize() {
  lx::ProgramContext* program = lx::Program();
  return lx::NorWindowSize(program ? program->WindowSizeIndex() : 0);
}

int32_t TotalWindows() {
  return lx::NorWindowCount(DeviceApiTable.gfslGetNumberOfBytesPerDevice("/a"), WindowSize());
}

int ReadDevice(void*, uint32_t address, uint32_t length, uint8_t* buffer) {
  return DeviceApiTable.gfslNORReadRawData(0, address, length, buffer);
}

struct FindTick {
  CNorFindDlg* find;
};

bool PumpAndGoOn(void* context, int percent) {
  auto* tick = static_cast<FindTick*>(context);
  tick->find->SetProgress(percent);
  lx::PumpMessages(256);
  return tick->find->m_bRunning;
}

}  // namespace

// ---- find ---------------------------------------------------------------------------------------
void CNorFindDlg::DoDataExchange(CDataExchange* dx) {
  DDX_Check(dx, IDC_NF_DIFFERENT, m_Different);
  DDX_Text(dx, IDC_NF_TEXT, m_FindText);
  DDX_Radio(dx, IDC_NF_ASCII, m_TextKind);
  DDX_Radio(dx, IDC_NF_CURRENT, m_Scope);
  DDX_Text(dx, IDC_NF_TO_WINDOW, m_ToWindow);
}

void CNorFindDlg::StartAtTheExplorer() {
  m_StartWindow = m_CurrentWindow = Explorer()->m_WindowIndex;
  m_Position = 0;
  m_WindowCount = Explorer()->CountWindows();
  m_ToWindow = m_WindowCount - 1;
}

void CNorFindDlg::FindNext() {
  if (m_bRunning || !m_pExplorer || !UpdateData(TRUE)) return;
  const uint32_t windowSize = Explorer()->GetWindowSize();
  lx::NorFind find;
  const lx::NorPatternError error =
      lx::ParseNorPattern(m_FindText.GetString(), m_TextKind, windowSize, &find.pattern);
  if (error != lx::NorPatternError::kNone) {
    NorMessage(this, lx::NorPatternErrorText(error));
    return;
  }
  if (m_WindowCount <= 0) m_WindowCount = Explorer()->CountWindows();
  m_ToWindow = std::min(std::max(m_ToWindow, 0), std::max(m_WindowCount - 1, 0));
  UpdateData(FALSE);
  SetProgress(0);
  FindTick tick{this};
  find.read = ReadDevice;
  find.windowSize = windowSize;
  find.windowCount = m_WindowCount;
  find.current = m_CurrentWindow;
  find.start = m_StartWindow;
  find.position = m_Position;
  find.to = m_ToWindow;
  find.range = m_Scope == 1;
  find.different = m_Different != 0;
  find.tick = PumpAndGoOn;
  find.tickContext = &tick;
  // The explorer may go while the search pumps messages; the search touches only this window.
  lx::NorFindResult result;
  if (!RunSearch([&] { result = lx::RunNorFind(find); })) return;
  m_CurrentWindow = find.current;
  m_Position = find.position;
  CNorExplorerDlg* explorer = Explorer();
  switch (result.outcome) {
    case lx::NorFindOutcome::kHit:
      explorer->m_WindowIndex = result.window;
      explorer->UpdateData(FALSE);
      explorer->GoToWindow();
      explorer->HighlightFound(0, 0, true);
      explorer->HighlightFound(result.offset, static_cast<int32_t>(find.pattern.size()), false);
      break;
    case lx::NorFindOutcome::kNotFound: NorMessage(this, "String not found."); break;
    case lx::NorFindOutcome::kReadError: {
      CString text;
      text.Format("Failed to read window %ld: the search stopped there.", static_cast<long>(result.window));
      NorMessage(this, text);
      break;
    }
    case lx::NorFindOutcome::kStopped: break;
  }
}

// ---- import and export --------------------------------------------------------------------------
BOOL CNorTransferDlg::OnInitDialog() {
  // The fields' first texts must not be taken for the user's changes.
  adjusting_ = true;
  m_TotalWindows = TotalWindows();
  m_NumberOfWindows = 1;
  CDialog::OnInitDialog();
  static const UDACCEL kAccelerations[] = {{0, 1}, {2, 2}, {4, 10}, {8, 100}};
  for (int spin : {IDC_NX_START_SPIN, IDC_NX_NUMBER_SPIN}) {
    HWND w = ::GetDlgItem(m_hWnd, spin);
    ::SendMessageA(w, UDM_SETACCEL, 4, reinterpret_cast<LPARAM>(kAccelerations));
    ::SendMessageA(w, UDM_SETBASE, 10, 0);
  }
  adjusting_ = true;
  ::SendDlgItemMessageA(m_hWnd, IDC_NX_START_SPIN, UDM_SETRANGE32, 0, std::max(m_TotalWindows - 1, 0));
  ::SendDlgItemMessageA(m_hWnd, IDC_NX_START_SPIN, UDM_SETPOS32, 0, m_StartWindow);
  ::SendDlgItemMessageA(m_hWnd, IDC_NX_NUMBER_SPIN, UDM_SETRANGE32, 1, std::max(m_TotalWindows, 1));
  ::SendDlgItemMessageA(m_hWnd, IDC_NX_NUMBER_SPIN, UDM_SETPOS32, 0, 1);
  UpdateData(FALSE);
  ::ShowWindow(::GetDlgItem(m_hWnd, IDC_NX_INFO), m_bImport ? SW_SHOW : SW_HIDE);
  adjusting_ = false;
  return TRUE;
}

void CNorTransferDlg::DoDataExchange(CDataExchange* dx) {
  DDX_Text(dx, IDC_NX_FILE, m_FileName);
  DDX_Text(dx, IDC_NX_START, m_StartWindow);
  DDX_Text(dx, IDC_NX_NUMBER, m_NumberOfWindows);
}

void CNorTransferDlg::OnCancel() {
  if (m_bRunning) return;
  CDialog::OnCancel();
}

BOOL CNorTransferDlg::OnCommand(WPARAM wp, LPARAM lp) {
  const UINT id = LOWORD(wp), code = HIWORD(wp);
  switch (id) {
    case IDC_NX_BROWSE: Browse(); return TRUE;
    case IDC_NX_VIEW: return TRUE;
    case IDC_NX_IMPORT:
    case IDC_NX_EXPORT: Run(); return TRUE;
    case IDC_NX_START:
    case IDC_NX_NUMBER:
      if (code == EN_CHANGE && !adjusting_) FieldsChanged(id == IDC_NX_START);
      return TRUE;
    default: return CDialog::OnCommand(wp, lp);
  }
}

void CNorTransferDlg::FieldsChanged(bool startChanged) {
  adjusting_ = true;
  BOOL ok = FALSE;
  int start = static_cast<int>(::GetDlgItemInt(m_hWnd, IDC_NX_START, &ok, TRUE));
  int number = static_cast<int>(::GetDlgItemInt(m_hWnd, IDC_NX_NUMBER, &ok, TRUE));
  const int total = m_TotalWindows;
  if (startChanged && start > total - 1) {
    start = std::max(total - 1, 0);
    ::SetDlgItemInt(m_hWnd, IDC_NX_START, static_cast<UINT>(start), TRUE);
  }
  if (start < 0) start = 0;
  const int room = std::max(1, total - start);
  if (static_cast<int64_t>(start) + number <= total) {
    ::SendDlgItemMessageA(m_hWnd, IDC_NX_NUMBER_SPIN, UDM_SETRANGE32, 1, room);
  } else {
    number = room;
    ::SetDlgItemInt(m_hWnd, IDC_NX_NUMBER, static_cast<UINT>(number), TRUE);
    ::SendDlgItemMessageA(m_hWnd, IDC_NX_NUMBER_SPIN, UDM_SETRANGE32, 1, room);
    ::SendDlgItemMessageA(m_hWnd, IDC_NX_NUMBER_SPIN, UDM_SETPOS32, 0, number);
  }
  m_StartWindow = start;
  m_NumberOfWindows = number;
  adjusting_ = false;
}

void CNorTransferDlg::Browse() {
  UpdateData(TRUE);
  CString folder(lx::UserDataFolder());
  CFileDialog dialog(m_bImport, "bin", "*.bin", OFN_HIDEREADONLY | OFN_OVERWRITEPROMPT | OFN_EXPLORER,
                     "Binary Files (*.bin)|*.bin|All Files (*.*)|*.*||", this);
  if (!folder.IsEmpty()) dialog.m_ofn.lpstrInitialDir = folder;
  if (dialog.DoModal() != IDOK) return;
  m_FileName = dialog.GetPathName();
  UpdateData(FALSE);
  if (!m_bImport) return;
  CFile file;
  if (!file.Open(m_FileName, CFile::modeRead | CFile::typeBinary)) return;
  const ULONGLONG length = file.GetLength();
  CString info;
  info.Format("File information: Total %ld Bytes, %ld windows", static_cast<long>(length),
              static_cast<long>(length / WindowSize()));
  SetDlgItemText(IDC_NX_INFO, info);
}

void CNorTransferDlg::Run() {
  if (m_bRunning || !UpdateData(TRUE)) return;
  // The fields may hold anything typed; the transfer stays inside the device.
  if (m_TotalWindows <= 0 || m_StartWindow < 0 || m_NumberOfWindows < 1 ||
      static_cast<int64_t>(m_StartWindow) + m_NumberOfWindows > m_TotalWindows) {
    NorMessage(this, "The windows to transfer must lie inside the device.");
    return;
  }
  m_bRunning = true;
  if (m_bImport)
    Import();
  else
    Export();
  m_bRunning = false;
}

void CNorTransferDlg::Import() {
  DeviceNorIo device;
  CWindowToolHost host(this);
  host.pump = [] { lx::PumpMessages(256); };
  lx::TransferNorWindows(device, host, m_FileName.GetString(), Range(), true);
}

void CNorTransferDlg::Export() {
  DeviceNorIo device;
  CWindowToolHost host(this);
  lx::TransferNorWindows(device, host, m_FileName.GetString(), Range(), false);
}

lx::NorWindowRange CNorTransferDlg::Range() const {
  lx::NorWindowRange range;
  range.first = m_StartWindow;
  range.count = m_NumberOfWindows;
  range.windowSize = WindowSize();
  return range;
}

// ---- reset --------------------------------------------------------------------------------------
BOOL CNorResetDlg::OnCommand(WPARAM wp, LPARAM lp) {
  switch (LOWORD(wp)) {
    case IDC_NR_COMMAND: SendReset(16); return TRUE;
    case IDC_NR_WARM: SendReset(17); return TRUE;
    case IDC_NR_COLD: SendReset(18); return TRUE;
    default: return CDialog::OnCommand(wp, lp);
  }
}

void CNorResetDlg::SendReset(int mode) {
  static const struct {
    int mode;
    const char* failed;
    const char* sent;
  } kTexts[] = {{16, "Failed to send a reset command", "Sent a reset command"},
                {17, "Failed to send a hardware (warm) reset", "Sent a hardware (warm) reset"},
                {18, "Failed to send a power-on (cold) reset", "Sent a power-on (cold) reset"}};
  for (const auto& t : kTexts) {
    if (t.mode != mode) continue;
    if (DeviceApiTable.gfslInit(mode) != 0)
      NorMessage(this, t.failed);
    else if (!IsDlgButtonChecked(IDC_NR_QUIET))
      NorMessage(this, t.sent);
  }
}

BOOL CNorResetDlg::OnMessage(UINT msg, WPARAM wp, LPARAM lp, LRESULT* result) {
  if (msg == WM_CLOSE) {
    ShowWindow(SW_HIDE);
    *result = 0;
    return TRUE;
  }
  return CDialog::OnMessage(msg, wp, lp, result);
}

void CNorResetDlg::PostNcDestroy() {
  if (g_reset == this) g_reset = nullptr;
  delete this;
}

CNorResetDlg* GetNorResetDialog() { return g_reset; }

void ShowNorResetDialog(CWnd* frame) {
  if (!g_reset) {
    auto* dialog = new CNorResetDlg(frame);
    if (!dialog->Create(IDD_LX_NOR_RESET, frame)) {
      delete dialog;
      return;
    }
    g_reset = dialog;
  }
  ::SetWindowPos(g_reset->m_hWnd, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_SHOWWINDOW);
}

void CloseNorResetDialog() {
  if (g_reset && g_reset->m_hWnd) g_reset->DestroyWindow();
}

// ---- move to address ----------------------------------------------------------------------------
void CMoveToAddressDlg::OnOK() {
  UpdateData(TRUE);
  uint32_t address = 0;
  m_Address = lx::ParseAutoBase(m_AddressText.GetString(), &address) ? address : 0;
  CDialog::OnOK();
}
