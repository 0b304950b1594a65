// The device duplicate dialogs (NOR and SPI, NAND) and the frame's Device Duplicate command.
#include "device_ops.h"
#include "device_state.h"
#include "info_dialogs.h"
#include "lumivex/prompt.h"
#include "program_context.h"
#include "programming.h"
#include "tool_wait.h"
#include "window_tool_host.h"

namespace {

const char kLongWork[] = "This will take a long time.\nAre you sure to process?";
constexpr UINT_PTR kTitleTimer = 0;
const int kOperationButtons[] = {IDC_DD_BROWSE, IDC_DD_CREATE_MASTER, IDC_DD_SCAN,   IDC_DD_USE_LIST, IDC_DD_CREATE_LIST,
                                 IDC_DD_CREATE_DUPLICATE, IDC_DD_COMPARE, IDC_DD_ERASE, IDOK};

}  // namespace

// ---- both dialogs -------------------------------------------------------------------------------
BOOL CDuplicateDlg::OnInitDialog() {
  CDialog::OnInitDialog();
  ::SendDlgItemMessageA(m_hWnd, IDC_DD_PROGRESS, PBM_SETRANGE32, 0, 100);
  return TRUE;
}

void CDuplicateDlg::OnCancel() {
  // Only OK closes the dialog; Esc and the close box offer to stop a running operation.
  if (m_Running && LxMessageBox(m_hWnd, "Do you want to stop the operation?", lx::ToolCaption(nullptr), LX_MB_YESNO) == LX_IDYES)
    m_Stop = true;
}

BOOL CDuplicateDlg::OnMessage(UINT msg, WPARAM wp, LPARAM, LRESULT* result) {
  if (msg == WM_TIMER && wp == kTitleTimer) {
    SetWindowText(time_.Title(name_, NowMs()).c_str());
    *result = 0;
    return TRUE;
  }
  if (msg == WM_CLOSE) {
    OnCancel();
    *result = 0;
    return TRUE;
  }
  return FALSE;
}

void CDuplicateDlg::Pump() { lx::PumpMessages(256); }

bool CDuplicateDlg::StopRequested() { return m_Stop; }

void CDuplicateDlg::Progress(uint64_t position, uint64_t) {
  ::SendDlgItemMessageA(m_hWnd, IDC_DD_PROGRESS, PBM_SETPOS, static_cast<WPARAM>(position), 0);
}

int CDuplicateDlg::Ask(const std::string& text, const char* caption, unsigned type) {
  return WindowToolAsk(this, text, caption, type);
}

void CDuplicateDlg::OnBrowse() {
  UpdateData(TRUE);
  CString path;
  if (!BrowseToolFile(true, "img", "Image Files (*.img)|*.img|All Files (*.*)|*.*||", &path)) return;
  m_Path = path;
  UpdateData(FALSE);
}

bool CDuplicateDlg::DeviceOpen() {
  if (lx::GetDeviceState() == lx::kDeviceOpen) return true;
  Tell("No device is open.");
  return false;
}

bool CDuplicateDlg::UnmountFirst() {
  const lx::FrameDeviceFields& frame = lx::FrameDevice();
  if (frame.FrameMountMask == 0 && frame.FrameBdtlMask == 0) return true;
  Tell("Now the volume will be unmounted.");
  for (int v = 0; v < 4; ++v) {
    if (lx::VolumeReleaseForRewrite(v) != 0) {
      Tell("Unmount failed.");
      return false;
    }
  }
  return true;
}

void CDuplicateDlg::BeginRun() {
  UpdateData(TRUE);
  m_Running = true;
  m_Stop = false;
  for (int id : kOperationButtons) ::EnableWindow(::GetDlgItem(m_hWnd, id), FALSE);
  cursor_ = ::SetCursor(::LoadCursor(nullptr, IDC_WAIT));
  lx::StartProgress();
  Progress(0, 100);
  time_ = lx::prog::RemainingTime();
  SetTimer(kTitleTimer, 2000);
}

void CDuplicateDlg::EndRun() {
  KillTimer(kTitleTimer);
  for (int id : kOperationButtons) ::EnableWindow(::GetDlgItem(m_hWnd, id), TRUE);
  ::SetCursor(cursor_);
  lx::StopProgress();
  m_Running = false;
  m_Stop = true;
}

void CDuplicateDlg::ShowReport(const lx::prog::Report& report) {
  m_LastReport = report;
  // A scripted run (prompts in test mode) reads the report from m_LastReport instead of a window.
  if (LxPromptTestActive()) return;
  CInfoDlg info;
  info.m_Heading = report.heading.c_str();
  info.m_Body = report.body.c_str();
  info.DoModal();
}

// ---- NOR and SPI --------------------------------------------------------------------------------
CNorDuplicateDlg::CNorDuplicateDlg(CWnd* parent, int deviceKind)
    : CDuplicateDlg(IDD_LX_DEVICE_DUPLICATE, "Device Duplicate", parent), m_Sectors(lx::prog::ReadNorSectors()) {
  m_Chunk = lx::prog::NorChunkSize(deviceKind, m_Sectors);
}

BOOL CNorDuplicateDlg::OnCommand(WPARAM wp, LPARAM lp) {
  if (HIWORD(wp) == BN_CLICKED) {
    switch (LOWORD(wp)) {
      case IDC_DD_BROWSE: OnBrowse(); return TRUE;
      case IDC_DD_CREATE_MASTER: OnCreateMaster(); return TRUE;
      case IDC_DD_ERASE: OnErase(); return TRUE;
      case IDC_DD_CREATE_DUPLICATE: OnCreateDuplicate(); return TRUE;
      default: break;
    }
  }
  return CDuplicateDlg::OnCommand(wp, lp);
}

void CNorDuplicateDlg::OnCreateMaster() {
  if (!lx::Confirm(kLongWork) || !DeviceOpen()) return;
  BeginRun();
  std::string text = lx::prog::CreateNorMasterImage(*this, time_, m_Path.str(), m_Chunk);
  EndRun();
  Tell(text);
}

void CNorDuplicateDlg::OnErase() {
  if (!DeviceOpen()) return;
  if (lx::FrameDevice().FrameMountMask != 0) {
    Tell("WARNING: Some volume is mounted.");
    return;
  }
  if (Ask("Erase a device.\nThis operation will take several minutes.", nullptr, LX_MB_OKCANCEL) != LX_IDOK) return;
  // The sectors of the device that is in the kit now.
  m_Sectors = lx::prog::ReadNorSectors();
  BeginRun();
  std::string text = lx::prog::EraseNorDuplicate(*this, time_, m_Sectors);
  EndRun();
  Tell(text);
}

void CNorDuplicateDlg::OnCreateDuplicate() {
  if (!lx::Confirm(kLongWork) || !DeviceOpen() || !UnmountFirst()) return;
  m_Sectors = lx::prog::ReadNorSectors();
  BeginRun();
  lx::prog::Report report = lx::prog::DuplicateNor(*this, time_, m_Path.str(), m_Sectors, m_Chunk);
  EndRun();
  ShowReport(report);
}

// ---- NAND ---------------------------------------------------------------------------------------
CVeltanDuplicateDlg::CVeltanDuplicateDlg(CWnd* parent, uint32_t spare)
    : CDuplicateDlg(IDD_LX_NAND_DUPLICATE, "Veltan Duplicate", parent), m_Spare(spare) {}

BOOL CVeltanDuplicateDlg::OnInitDialog() {
  m_UseList = 1;
  return CDuplicateDlg::OnInitDialog();
}

void CVeltanDuplicateDlg::DoDataExchange(CDataExchange* dx) {
  CDuplicateDlg::DoDataExchange(dx);
  DDX_Check(dx, IDC_DD_USE_LIST, m_UseList);
}

BOOL CVeltanDuplicateDlg::OnCommand(WPARAM wp, LPARAM lp) {
  if (HIWORD(wp) == BN_CLICKED) {
    switch (LOWORD(wp)) {
      case IDC_DD_BROWSE: OnBrowse(); return TRUE;
      case IDC_DD_CREATE_LIST: OnCreateList(); return TRUE;
      case IDC_DD_CREATE_MASTER: OnCreateMaster(); return TRUE;
      case IDC_DD_SCAN: OnScan(); return TRUE;
      case IDC_DD_COMPARE: OnCompare(); return TRUE;
      case IDC_DD_ERASE: OnErase(); return TRUE;
      case IDC_DD_CREATE_DUPLICATE: OnCreateDuplicate(); return TRUE;
      default: break;
    }
  }
  return CDuplicateDlg::OnCommand(wp, lp);
}

void CVeltanDuplicateDlg::OnCreateList() {
  if (!DeviceOpen()) return;
  UpdateData(TRUE);
  lx::prog::Report report;
  std::string text = lx::prog::CreateBadBlockList(*this, m_Path.str(), &report);
  Tell(text);
  if (!report.heading.empty()) ShowReport(report);
}

void CVeltanDuplicateDlg::OnCreateMaster() {
  if (!lx::Confirm(kLongWork) || !DeviceOpen()) return;
  BeginRun();
  std::string text = lx::prog::CreateVeltanMasterImage(*this, time_, m_Path.str(), m_Spare);
  EndRun();
  Tell(text);
}

void CVeltanDuplicateDlg::OnScan() {
  if (!DeviceOpen()) return;
  lx::prog::Report report;
  std::string text = lx::prog::ScanBadBlocks(&report);
  Tell(text);
  if (!report.heading.empty()) ShowReport(report);
}

void CVeltanDuplicateDlg::OnCompare() {
  if (!DeviceOpen()) return;
  UpdateData(TRUE);
  lx::prog::Report report;
  std::string text = lx::prog::CompareBadBlocks(m_Path.str(), &report, &m_CompareResult);
  if (!text.empty()) Tell(text);
  else ShowReport(report);
}

void CVeltanDuplicateDlg::OnErase() {
  if (!DeviceOpen()) return;
  if (lx::FrameDevice().FrameMountMask != 0) {
    Tell("The current volume is mounted.");
    return;
  }
  if (Ask("Erase a device.\nWARNING: This operation will destroy all bad block marks on your device.\nIt will take several "
          "minutes.",
          nullptr, LX_MB_OKCANCEL) != LX_IDOK)
    return;
  BeginRun();
  std::string text = lx::prog::EraseVeltanDuplicate(*this, time_);
  EndRun();
  Tell(text);
}

void CVeltanDuplicateDlg::OnCreateDuplicate() {
  if (!lx::Confirm(kLongWork) || !DeviceOpen() || !UnmountFirst()) return;
  UpdateData(TRUE);
  if (m_UseList) OnCompare();
  BeginRun();
  std::string message;
  lx::prog::Report report = lx::prog::DuplicateVeltan(*this, time_, m_Path.str(), m_UseList != 0, m_Spare, &message);
  EndRun();
  if (!message.empty()) {
    Tell(message);
    return;
  }
  ShowReport(report);
}

// ---- the frame's command ------------------------------------------------------------------------
void RunDeviceDuplicate(CWnd*) {
  lx::ProgramContext* program = lx::Program();
  const int kind = program ? program->DeviceKind() : 0;
  if (kind == 0) {
    CVeltanDuplicateDlg dialog(nullptr, lx::FrameDevice().VeltanSpareSize);
    dialog.DoModal();
  } else {
    CNorDuplicateDlg dialog(nullptr, kind);
    dialog.DoModal();
  }
}
