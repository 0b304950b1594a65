// The volume duplicate: sectors of volume 0 into a master volume file and back.
#include <algorithm>
#include <cstdio>
#include <cstring>

#include "app.h"
#include "device_api.h"
#include "device_ops.h"
#include "sectortools.h"

namespace {

const char kLongWork[] = "This will take a long time.\nAre you sure to process?";
constexpr uint32_t kChunkSectors = 4;  // one copy step
const UINT kRunButtons[] = {IDC_VD_CREATE_MASTER, IDC_VD_CHECK, IDC_VD_FORMAT, IDC_VD_LOW_LEVEL_FORMAT,
                            IDC_VD_CREATE_DUPLICATE, IDOK};

bool FileExists(const char* path) {
  DWORD attributes = GetFileAttributesA(path);
  return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

class WaitCursor {
 public:
  WaitCursor() : old_(SetCursor(LoadCursor(nullptr, IDC_WAIT))) {}
  ~WaitCursor() { SetCursor(old_); }

 private:
  HCURSOR old_;
};

}  // namespace

void PumpToolMessages(int maxCount) {
  MSG msg;
  CWinApp* app = AfxGetApp();
  for (int handled = 0; handled < maxCount; ++handled) {
    if (!PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) break;
    if (msg.message == WM_QUIT) {
      PostQuitMessage(static_cast<int>(msg.wParam));
      break;
    }
    if (app && app->PreTranslateMessage(&msg)) continue;
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
  }
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
  StopProgressAnimation();
}

void CVolumeDuplicateDlg::OnBrowse() {
  UpdateData(TRUE);
  CFileDialog dialog(TRUE, "vol", "*.vol", OFN_EXPLORER, "Volume Files (*.vol)|*.vol|All Files (*.*)|*.*||", this);
  CString folder;
  CBrambApp* app = GetBrambApp();
  if (app && !app->m_InstallFolder.IsEmpty()) {
    folder = app->m_UserAreaFolder + "\\User Data";
    dialog.m_ofn.lpstrInitialDir = folder;
  }
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
  if (!ConfirmOperation(kLongWork)) return;
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
  CFile file;
  if (!file.Open(m_strMasterPath, CFile::modeCreate | CFile::modeWrite)) {
    MessageBox("Failed to create a master volume file.");
    return;
  }
  const char* failure = nullptr;
  const uint32_t copied = Copy(file, true, static_cast<uint32_t>(n), &failure);
  if (failure) {
    MessageBox(failure);
  } else if (copied < static_cast<uint32_t>(n)) {
    CString text;
    text.Format("Stopped: the master volume file holds %lu of the %ld sectors.", static_cast<unsigned long>(copied),
                static_cast<long>(n));
    MessageBox(text);
  } else {
    MessageBox("Master volume file is created.");
  }
}

// Copies sectors 0..total-1 between volume 0 and the open file in steps of four, pumping
// messages before each step so that Esc can stop it; closes the file. Returns the sectors
// copied; *failure names what went wrong.
uint32_t CVolumeDuplicateDlg::Copy(CFile& file, bool toFile, uint32_t total, const char** failure) {
  WaitCursor wait;
  StartProgressAnimation();
  shownPercent_ = -1;
  SetProgress(0);
  m_bRunning = true;
  EnableControls(false);
  m_bStopRequested = false;
  uint8_t buffer[kChunkSectors * lx::kSectorSize];
  uint32_t i = 0;
  while (i < total) {
    PumpToolMessages(256);
    if (m_bStopRequested) break;
    SetProgress(lx::CopyProgress(i, total));
    const uint32_t count = std::min<uint32_t>(kChunkSectors, total - i);
    const UINT bytes = count * lx::kSectorSize;
    if (toFile) {
      if (DeviceApiTable.gfslReadSectors(0, i, count, buffer, 0) != 0) {
        *failure = "Failed to read a sector from the volume.";
        break;
      }
      if (!file.Write(buffer, bytes)) {
        *failure = "Failed to write the master volume file.";
        break;
      }
    } else {
      std::memset(buffer, 0, sizeof buffer);
      // The length was checked; a file that shrinks meanwhile ends the copy, never a stale step.
      if (file.Read(buffer, bytes) != bytes) {
        *failure = "Failed to read the master volume file: it ended early.";
        break;
      }
      if (DeviceApiTable.gfslWriteSectors(0, i, count, buffer, 0) != 0) {
        *failure = "Failed to write a sector to the volume.";
        break;
      }
    }
    i += count;
  }
  file.Close();
  if (i == total) SetProgress(100);
  EndRun();
  return i;
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
  if (!ConfirmOperation(kLongWork)) return;
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
  const uint32_t total = static_cast<uint32_t>(bytes / lx::kSectorSize);  // at most n
  const char* failure = nullptr;
  const uint32_t copied = Copy(file, false, total, &failure);
  if (failure) {
    MessageBox(failure);
  } else if (copied < total) {
    text.Format("Stopped: %lu of the %lu sectors of the master volume file were written.",
                static_cast<unsigned long>(copied), static_cast<unsigned long>(total));
    MessageBox(text);
  } else if (total < static_cast<uint32_t>(n)) {
    text.Format("Duplicate volume is created from a master volume file of %lu sectors; the device's other %lu "
                "sectors were not written.",
                static_cast<unsigned long>(total), static_cast<unsigned long>(static_cast<uint32_t>(n) - total));
    MessageBox(text);
  } else {
    MessageBox("Duplicate volume is created.");
  }
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
    WaitCursor wait;
    StartProgressAnimation();
    rc = erase ? DeviceApiTable.gfslLowLevelFormat("/a", 0, 0) : DeviceApiTable.gfslFormat("/a", nullptr, nullptr, 0);
    StopProgressAnimation();
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
