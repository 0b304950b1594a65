// The volume duplicate: sectors of volume 0 into a master volume file and back.
#include <algorithm>
#include <cstdio>

#include "device_api.h"
#include "device_ops.h"
#include "program_context.h"
#include "sectortools.h"
#include "tool_wait.h"
#include "window_tool_host.h"

namespace {

const char kLongWork[] = "This will take a long time.\nAre you sure to process?";
const UINT kRunButtons[] = {IDC_VD_CREATE_MASTER, IDC_VD_CHECK, IDC_VD_FORMAT, IDC_VD_LOW_LEVEL_FORMAT,
                            IDC_VD_CREATE_DUPLICATE, IDOK};

bool FileExists(const char* path) {
  DWORD attributes = GetFileAttributesA(path);
  return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

}  // namespace

int VolumeSectors::Read(uint32_t first, uint32_t count, uint8_t* buffer) {
  return DeviceApiTable.gfslReadSectors(0, first, count, buffer, addressing_);
}

int VolumeSectors::Write(uint32_t first, uint32_t count, const uint8_t* data) {
  return DeviceApiTable.gfslWriteSectors(0, first, count, data, addressing_);
}

BOOL CVolumeDuplicateDlg::OnInitDialog() {
  CDialog::OnInitDialog();
  HWND progress = ::GetDlgItem(m_hWnd, IDC_VD_PROGRESS);
  ::SendMessageA(progress, PBM_SETRANGE32, 0, 100);
  ::SendMessageA(progress, PBM_SETPOS, 0, 0);
  return TRUE;
}

BOOL CVolumeDuplicateDlg::OnCommand(WPARAM wp, LPARAM lp) {
  switch (LOWORD(wp)) {
    case IDC_VD_BROWSE: OnBrowse(); return TRUE;
    case IDC_VD_CREATE_MASTER: OnCreateMasterVolumeFile(); return TRUE;
    case IDC_VD_CHECK: OnCheckDuplicateVolume(); return TRUE;
    case IDC_VD_FORMAT: OnFormatVolume(); return TRUE;
    case IDC_VD_LOW_LEVEL_FORMAT: OnLowLevelFormat(); return TRUE;
    case IDC_VD_CREATE_DUPLICATE: OnCreateDuplicateVolume(); return TRUE;
    case IDOK:
      // A copy in progress keeps the dialog (its button is greyed, but Enter still arrives).
      if (m_bRunning) return TRUE;
      break;
    default:
      break;
  }
  return CDialog::OnCommand(wp, lp);
}

// Esc and the close box only ask to stop a copy; the dialog closes through OK.
void CVolumeDuplicateDlg::OnCancel() {
  if (!m_bRunning) return;
  if (MessageBox("Do you want to stop the operation?", nullptr, MB_YESNO) == IDYES) m_bStopRequested = true;
}

void CVolumeDuplicateDlg::EnableControls(bool enable) {
  for (UINT id : kRunButtons) ::EnableWindow(::GetDlgItem(m_hWnd, id), enable ? TRUE : FALSE);
}

void CVolumeDuplicateDlg::SetProgress(int percent) {
  if (percent == shownPercent_) return;
  shownPercent_ = percent;
  ::SendMessageA(::GetDlgItem(m_hWnd, IDC_VD_PROGRESS), PBM_SETPOS, static_cast<WPARAM>(percent), 0);
}

void CVolumeDuplicateDlg::EndRun() {
  m_bRunning = false;
  EnableControls(true);
}

void CVolumeDuplicateDlg::OnBrowse() {
  UpdateData(TRUE);
  CFileDialog dialog(TRUE, "vol", "*.vol", OFN_EXPLORER, "Volume Files (*.vol)|*.vol|All Files (*.*)|*.*||", this);
  CString folder(lx::UserDataFolder());
  if (!folder.IsEmpty()) dialog.m_ofn.lpstrInitialDir = folder;
  if (dialog.DoModal() != IDOK) return;
  m_strMasterPath = dialog.GetPathName();
  UpdateData(FALSE);
}

void CVolumeDuplicateDlg::OnCheckDuplicateVolume() {
  if (lx::FrameDevice().FrameMountMask == 0) {
    MessageBox("No volume is mounted.");
    return;
  }
  UpdateData(TRUE);
  CFile file;
  if (!file.Open(m_strMasterPath, CFile::modeRead | CFile::shareDenyNone)) {
    MessageBox("Can't open the master volume file.");
    return;
  }
  const int64_t fileSectors = static_cast<int64_t>(file.GetLength() / lx::kSectorSize);
  file.Close();
  const int64_t volumeSectors = DeviceApiTable.gfslGetNumberOfSectors(0, 0);
  MessageBox(fileSectors <= volumeSectors ? "The duplicate volume has enough space."
                                          : "The duplicate volume doesn't have enough space.");
}

void CVolumeDuplicateDlg::OnCreateMasterVolumeFile() {
  if (!lx::Confirm(kLongWork)) return;
  if (lx::FrameDevice().FrameMountMask == 0) {
    MessageBox("No volume is mounted.");
    return;
  }
  UpdateData(TRUE);
  const int32_t n = DeviceApiTable.gfslGetNumberOfSectors(0, 0);
  if (n <= 0) {
    MessageBox("The device has no sectors to copy.");
    return;
  }
  if (FileExists(m_strMasterPath)) {
    CString question;
    question.Format("The file %s exists.\nDo you want to replace it?", m_strMasterPath.GetString());
    if (MessageBox(question, nullptr, MB_YESNO) != IDYES) return;
  }
  const lx::SectorLoopResult result = Copy(true, static_cast<uint32_t>(n));
  MessageBox(lx::MasterFileCopyText(result, n).c_str());
}

// Copies sectors 0..total-1 between volume 0 and the master volume file, pumping messages
// before each step so that Esc can stop it.
lx::SectorLoopResult CVolumeDuplicateDlg::Copy(bool toFile, uint32_t total) {
  VolumeSectors device(0);
  CWindowToolHost host(this);
  host.pump = [] { lx::PumpMessages(256); };
  host.stop = &m_bStopRequested;
  host.progress = [this](uint64_t done, uint64_t all) { SetProgress(done >= all ? 100 : lx::CopyProgress(done, all)); };
  shownPercent_ = -1;
  SetProgress(0);
  m_bRunning = true;
  EnableControls(false);
  m_bStopRequested = false;
  const lx::SectorLoopResult result = lx::CopyVolumeSectors(device, host, m_strMasterPath.GetString(), toFile, total);
  EndRun();
  return result;
}

bool CVolumeDuplicateDlg::UnmountFirst() {
  if (lx::FrameDevice().FrameMountMask == 0) return true;
  MessageBox("Now the volume will be unmounted.");
  // Through the program's own unmount, so that the masks forget volume 0 and a later mount
  // reaches the module again.
  if (lx::VolumeUnmount(0) != 0) {
    MessageBox("Unmount failed.");
    return false;
  }
  return true;
}

void CVolumeDuplicateDlg::OnCreateDuplicateVolume() {
  if (!lx::Confirm(kLongWork)) return;
  if (!UnmountFirst()) return;
  UpdateData(TRUE);
  const int32_t n = DeviceApiTable.gfslGetNumberOfSectors(0, 0);
  if (n <= 0) {
    MessageBox("The device has no sectors to copy.");
    return;
  }
  CFile file;
  if (!file.Open(m_strMasterPath, CFile::modeRead | CFile::shareDenyNone)) {
    MessageBox("Failed to create a duplicate volume.");
    return;
  }
  // Nothing is written from a file that is no master volume file or does not fit.
  const uint64_t bytes = file.GetLength();
  const lx::MasterFileCheck check = lx::CheckMasterFile(bytes, n);
  CString text;
  if (check == lx::MasterFileCheck::kEmpty || check == lx::MasterFileCheck::kNotWholeSectors) {
    text.Format("%s is not a master volume file: its length (%llu bytes) is not a whole number of 512-byte sectors.",
                m_strMasterPath.GetString(), static_cast<unsigned long long>(bytes));
    MessageBox(text);
    return;
  }
  if (check == lx::MasterFileCheck::kLonger) {
    text.Format("The master volume file holds %llu sectors, more than the %ld sectors of the device.\n"
                "Nothing was written.",
                static_cast<unsigned long long>(bytes / lx::kSectorSize), static_cast<long>(n));
    MessageBox(text);
    return;
  }
  file.Close();
  const uint32_t total = static_cast<uint32_t>(bytes / lx::kSectorSize);  // at most n
  MessageBox(lx::DuplicateCopyText(Copy(false, total), n).c_str());
}

void CVolumeDuplicateDlg::FormatOrErase(bool erase) {
  if (!lx::FrameDevice().DeviceOpenFlag) {
    MessageBox("No device is open.");
    return;
  }
  if (!UnmountFirst()) return;
  const char* question = erase ? "Erase a device.\nThis operation will take several minutes."
                               : "Format a device.\nThis operation will take several minutes.";
  if (MessageBox(question, nullptr, MB_OKCANCEL) != IDOK) return;
  int rc;
  {
    lx::WaitCursor wait(true);
    rc = erase ? DeviceApiTable.gfslLowLevelFormat("/a", 0, 0) : DeviceApiTable.gfslFormat("/a", nullptr, nullptr, 0);
  }
  if (rc != 0) {
    MessageBox(erase ? "Erase failed." : "Format failed.");
    return;
  }
  MessageBox(erase ? "Erase finished." : "Format finished.");
}

void RunVolumeDuplicate(CWnd* frame) {
  CVolumeDuplicateDlg dialog(frame);
  dialog.DoModal();
}
