#include "open_device.h"

#include <cstdio>
#include <string>

#include "command_ids.h"
#include "device_api.h"
#include "program_context.h"
#include "tool_wait.h"

namespace {

constexpr int kModuleButtons[] = {IDC_LX_REFRESH, IDC_LX_MOUNT_VOLUME, IDC_LX_FORMAT_VOLUME, IDC_LX_LOW_LEVEL_FORMAT,
                                  IDC_LX_ERASE_DEVICE};
constexpr int kVolumeBoxes[] = {IDC_LX_VOLUME_A, IDC_LX_VOLUME_B, IDC_LX_VOLUME_C, IDC_LX_VOLUME_D};

int Box(const char* text, UINT type = MB_OK) { return AfxMessageBox(text, type); }

// A text with one volume letter in it ("Mount volume /%c failed.").
std::string VolumeText(const char* format, int volume) {
  char text[256];
  std::snprintf(text, sizeof text, format, 'a' + volume);
  return text;
}

int DeviceKind() {
  lx::ProgramContext* program = lx::Program();
  return program ? program->DeviceKind() : 0;
}

int UserLevel() {
  lx::ProgramContext* program = lx::Program();
  return program ? program->UserLevel() : 0;
}

bool IsBeginner() { return UserLevel() == 2; }

// The multi-line box wants CR LF; module texts may break lines with LF alone.
std::string ForEditBox(const char* text) {
  std::string out;
  for (const char* p = text; *p; ++p) {
    if (*p == '\n' && (p == text || p[-1] != '\r')) out += '\r';
    out += *p;
  }
  return out;
}

void ApplyDeviceKind(int kind, void*) {
  if (lx::ProgramContext* program = lx::Program()) program->SetDeviceKind(kind);
}

void PumpStep(void*) { lx::PumpMessages(256); }
void ReportStep(const char* text, void*) { Box(text); }

}  // namespace

void InstallDeviceKindHook() {
  lx::DeviceFrameHooks hooks = lx::GetDeviceFrameHooks();
  if (hooks.SelectDeviceKind) return;
  hooks.SelectDeviceKind = ApplyDeviceKind;
  lx::SetDeviceFrameHooks(hooks);
}

INT_PTR ShowOpenDeviceDialog(CWnd* frame) {
  InstallDeviceKindHook();
  COpenDeviceDlg dialog(frame);
  return dialog.DoModal();
}

// ----- CSelectVolumeDlg -------------------------------------------------------------------------
uint32_t CSelectVolumeDlg::SetVolumeMask(uint32_t mask) {
  uint32_t previous = GetVolumeMask();
  mask_ = mask & 0xF;
  if (m_hWnd) {
    for (int v = 0; v < 4; ++v) CheckDlgButton(kVolumeBoxes[v], (mask_ >> v) & 1 ? BST_CHECKED : BST_UNCHECKED);
  }
  return previous;
}

uint32_t CSelectVolumeDlg::GetVolumeMask() const {
  if (!m_hWnd) return mask_;
  uint32_t mask = 0;
  for (int v = 0; v < 4; ++v) {
    if (IsDlgButtonChecked(kVolumeBoxes[v]) == BST_CHECKED) mask |= 1u << v;
  }
  return mask;
}

BOOL CSelectVolumeDlg::OnInitDialog() {
  CDialog::OnInitDialog();
  SetVolumeMask(mask_);
  return TRUE;
}

void CSelectVolumeDlg::OnOK() {
  mask_ = GetVolumeMask();
  CDialog::OnOK();
}

// ----- CLowLevelFormatDlg -----------------------------------------------------------------------
BOOL CLowLevelFormatDlg::OnCommand(WPARAM wp, LPARAM lp) {
  int id = LOWORD(wp);
  if (HIWORD(wp) == EN_CHANGE && (id == IDC_LX_LLF_OFFSET || id == IDC_LX_LLF_LENGTH)) {
    CString text;
    GetDlgItemText(id, text);
    int label = id == IDC_LX_LLF_OFFSET ? IDC_LX_LLF_OFFSET_KB : IDC_LX_LLF_LENGTH_KB;
    SetDlgItemText(label, lx::ApproximateKBytes(lx::ParseLowLevelNumber(text)).c_str());
    return TRUE;
  }
  return CDialog::OnCommand(wp, lp);
}

void CLowLevelFormatDlg::OnOK() {
  CString offset, length;
  GetDlgItemText(IDC_LX_LLF_OFFSET, offset);
  GetDlgItemText(IDC_LX_LLF_LENGTH, length);
  m_Offset = lx::ParseLowLevelNumber(offset);
  m_Length = lx::ParseLowLevelNumber(length);
  CDialog::OnOK();
}

// ----- COpenDeviceDlg ---------------------------------------------------------------------------
COpenDeviceDlg::BusyScope::BusyScope(COpenDeviceDlg& dialog) : dialog_(dialog) {
  if (dialog_.busy_++ == 0 && dialog_.m_hWnd) {
    for (HWND child = GetWindow(dialog_.m_hWnd, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
      if (::IsWindowEnabled(child)) {
        ::EnableWindow(child, FALSE);
        disabled_.push_back(child);
      }
    }
  }
  cursor_ = SetCursor(LoadCursor(nullptr, IDC_WAIT));
  lx::StartProgress();
}

COpenDeviceDlg::BusyScope::~BusyScope() {
  lx::StopProgress();
  SetCursor(cursor_);
  for (HWND child : disabled_) ::EnableWindow(child, TRUE);
  --dialog_.busy_;
}

void COpenDeviceDlg::EnableModuleButtons() {
  for (int id : kModuleButtons) GetDlgItem(id)->EnableWindow(TRUE);
  GetDlgItem(IDC_LX_ERASE_DEVICE)->EnableWindow(DeviceKind() == 0);
  if (IsBeginner()) {
    for (int id : {IDC_LX_MOUNT_VOLUME, IDC_LX_FORMAT_VOLUME, IDC_LX_LOW_LEVEL_FORMAT, IDC_LX_ERASE_DEVICE})
      GetDlgItem(id)->EnableWindow(FALSE);
  }
}

BOOL COpenDeviceDlg::OnInitDialog() {
  CDialog::OnInitDialog();
  lx::ProgramContext* program = lx::Program();
  if (program && !program->DeviceModuleLoaded()) {
    program->ReloadOptions(false);
    if (!program->DeviceModuleLoaded() &&
        Box("Welcome to Lumivex!\nBefore starting Lumivex, it is recommended to setup your Lumivex environment.\nIf "
            "you want to setup right now, press Yes please.",
            MB_YESNO) == IDYES) {
      program->ShowOptionsSheet(m_hWnd, 1);
      program->ReloadOptions(true);
    }
  }
  if (program && !program->DeviceModuleLoaded()) {
    for (int id : kModuleButtons) GetDlgItem(id)->EnableWindow(FALSE);
    Box("No External FS Module is loaded.\nPlease check the option for loading External FS Module.");
    return TRUE;
  }
  lx::DeviceOpen("/a");
  // The open may have changed the device kind, which decides the erase button.
  EnableModuleButtons();
  SetDeviceTexts();
  SetVolumeTexts();
  ShowDeviceInfo();
  return TRUE;
}

void COpenDeviceDlg::SetDeviceTexts() {
  switch (lx::GetDeviceState()) {
    case lx::kDeviceOpen:
      SetDlgItemText(IDC_LX_OPEN_DEVICE, "Close Device");
      SetDlgItemText(IDC_LX_DEVICE_STATUS, "The device is open.");
      break;
    case lx::kDeviceClosed:
      SetDlgItemText(IDC_LX_OPEN_DEVICE, "Open Device");
      SetDlgItemText(IDC_LX_DEVICE_STATUS, "The device is not open.");
      break;
    default:  // a failed open or close changes neither
      break;
  }
}

void COpenDeviceDlg::SetVolumeTexts() {
  bool mounted = lx::FrameDevice().FrameMountMask != 0;
  SetDlgItemText(IDC_LX_MOUNT_VOLUME, mounted ? "Unmount volume..." : "Mount volume...");
  SetDlgItemText(IDC_LX_VOLUME_STATUS, mounted ? "The volume is currently mounted." : "The volume is currently not mounted.");
}

BOOL COpenDeviceDlg::OnCommand(WPARAM wp, LPARAM lp) {
  if (HIWORD(wp) != BN_CLICKED) return CDialog::OnCommand(wp, lp);
  // A click that was queued before the buttons went grey still arrives while a loop pumps.
  if (IsBusy()) return TRUE;
  switch (LOWORD(wp)) {
    case IDC_LX_OPEN_DEVICE: OnOpenDevice(); return TRUE;
    case IDC_LX_REFRESH: ShowDeviceInfo(); return TRUE;
    case IDC_LX_MOUNT_VOLUME: OnMountVolume(); return TRUE;
    case IDC_LX_FORMAT_VOLUME: OnFormatVolume(); return TRUE;
    case IDC_LX_LOW_LEVEL_FORMAT: OnLowLevelFormat(); return TRUE;
    case IDC_LX_ERASE_DEVICE: OnEraseDevice(); return TRUE;
    default: return CDialog::OnCommand(wp, lp);
  }
}

BOOL COpenDeviceDlg::OnMessage(UINT msg, WPARAM wp, LPARAM lp, LRESULT* result) {
  if (msg == WM_SHOWWINDOW && wp) OnShowWindow();
  return CDialog::OnMessage(msg, wp, lp, result);
}

void COpenDeviceDlg::OnShowWindow() {
  bool open = lx::FrameDevice().DeviceOpenFlag != 0;
  SetDlgItemText(IDC_LX_DEVICE_STATUS, open ? "The device is open." : "The device is not open.");
  SetVolumeTexts();
}

void COpenDeviceDlg::OnOK() {
  if (IsBusy()) return;
  bool beginner = IsBeginner();
  CWnd* main = AfxGetMainWnd();
  if (beginner && main && main->m_hWnd) {
    main->ShowWindow(SW_SHOWNORMAL);
    main->PostMessage(WM_COMMAND, ID_DEVICE_EXPLORER, 0);  // a beginner goes on to the explorer
  }
  EndDialog(IDOK);
}

void COpenDeviceDlg::OnCancel() {
  if (IsBusy()) return;
  CWnd* main = AfxGetMainWnd();
  if (IsBeginner() && main && main->m_hWnd) main->ShowWindow(SW_SHOWNORMAL);
  EndDialog(IDCANCEL);
}

void COpenDeviceDlg::ShowDeviceInfo() {
  if (!lx::FrameDevice().DeviceOpenFlag) {
    Box("Device is not open.");
    return;
  }
  // The module writes at most 512 bytes; the rest keeps the text terminated whatever it does.
  char text[1024] = "";
  DeviceApiTable.gfslGetDeviceTextInfo("/a", text);
  text[sizeof text - 1] = 0;
  SetDlgItemText(IDC_LX_DEVICE_INFO, ForEditBox(text).c_str());
}

void COpenDeviceDlg::OnOpenDevice() {
  if (lx::GetDeviceState() == lx::kDeviceOpen) {
    if (lx::DeviceClose("/a") == lx::kDeviceClosed) {
      SetDlgItemText(IDC_LX_OPEN_DEVICE, "Open Device");
      SetDlgItemText(IDC_LX_MOUNT_VOLUME, "Mount volume...");
      SetDlgItemText(IDC_LX_DEVICE_STATUS, "The device is not open.");
      SetDlgItemText(IDC_LX_DEVICE_INFO, "");
    } else {
      Box("Close Failed");
    }
    SetVolumeTexts();
    return;
  }
  if (lx::DeviceOpen("/a") == lx::kDeviceOpen) {
    SetDlgItemText(IDC_LX_OPEN_DEVICE, "Close Device");
    SetDlgItemText(IDC_LX_DEVICE_STATUS, "The device is open.");
    EnableModuleButtons();
    ShowDeviceInfo();
  } else {
    Box("Open Failed");
  }
}

void COpenDeviceDlg::OnMountVolume() {
  {
    BusyScope busy(*this);
    if (!lx::FrameDevice().DeviceOpenFlag) {
      Box("No device is open.");
      return;
    }
    CSelectVolumeDlg select(this);
    if (lx::FrameDevice().FrameMountMask == 0) {
      select.SetVolumeMask(lx::VolumeMountMask);
      if (select.DoModal() == IDOK) {
        uint32_t chosen = select.GetVolumeMask();
        for (int v = 0; v < 4; ++v) {
          if (!(chosen >> v & 1)) continue;
          if (!(lx::FrameDevice().FrameBdtlMask >> v & 1) && lx::VolumeBDTLMount(v) != 0) Box("DBTLMount failed.");
          if (lx::VolumeMount(v) != 0) Box(lx::WithDeviceReason(VolumeText("Mount volume /%c failed.", v), lx::kSlotMount).c_str());
        }
      }
    } else if (select.DoModal() == IDOK) {
      uint32_t chosen = select.GetVolumeMask();
      for (int v = 0; v < 4; ++v) {
        if (!(chosen >> v & 1)) continue;
        if (lx::VolumeUnmount(v) != 0) {
          Box(VolumeText("Unmount volume /%c failed.", v).c_str());
          continue;
        }
        if ((lx::FrameDevice().FrameBdtlMask >> v & 1) && lx::VolumeBDTLUnmount(v) != 0) Box("DBTLUnmount failed.");
      }
    }
    // The caption tells whether any volume is mounted now, not how the last one went.
    SetVolumeTexts();
  }
  ShowDeviceInfo();
}

uint32_t COpenDeviceDlg::AskVolumesToRewrite() {
  if (!lx::Confirm()) return 0;
  if (!lx::FrameDevice().DeviceOpenFlag) {
    Box("No device is open.");
    return 0;
  }
  if (lx::FrameDevice().FrameMountMask != 0) Box("WARNING: Some volume is mounted.");
  CSelectVolumeDlg select(this);
  if (select.DoModal() != IDOK) return 0;
  return select.GetVolumeMask();
}

bool COpenDeviceDlg::ReleaseVolume(int volume) {
  int32_t released = lx::VolumeReleaseForRewrite(volume);
  SetVolumeTexts();
  if (released == 0) return true;
  Box(VolumeText("Unmount volume /%c failed.", volume).c_str());
  return false;
}

bool COpenDeviceDlg::Finish(int volume, int32_t result, const char* failed, const char* finished, int slot) {
  Box(result == 0 ? finished : lx::WithDeviceReason(VolumeText(failed, volume), slot).c_str());
  return result == 0;
}

template <class Rewrite>
void COpenDeviceDlg::ForConfirmedVolumes(uint32_t chosen, const char* question, Rewrite rewrite) {
  for (int v = 0; v < 4; ++v) {
    if (!(chosen >> v & 1)) continue;
    if (Box(VolumeText(question, v).c_str(), MB_OKCANCEL) != IDOK) continue;
    if (!rewrite(v)) return;
  }
}

void COpenDeviceDlg::OnFormatVolume() {
  ForConfirmedVolumes(AskVolumesToRewrite(), "Format volume /%c.\nThis operation will take several minutes.",
                      [this](int v) {
                        BusyScope busy(*this);
                        return ReleaseVolume(v) &&
                               Finish(v, lx::DeviceFormat(lx::VolumePath(v).c_str(), "FAT16", "WINDOWS", 0),
                                      "Format volume /%c has failed.", "Format finished.", lx::kSlotFormat);
                      });
}

void COpenDeviceDlg::OnLowLevelFormat() {
  ForConfirmedVolumes(AskVolumesToRewrite(), "Low level format /%c.\nThis operation will take several minutes.",
                      [this](int v) {
                        CLowLevelFormatDlg layout(this);
                        if (layout.DoModal() != IDOK) return true;
                        BusyScope busy(*this);
                        const std::string path = lx::VolumePath(v);
                        uint64_t deviceBytes = DeviceApiTable.gfslGetNumberOfBytesPerDevice(path.c_str());
                        if (!lx::LowLevelLayoutFits(layout.m_Offset, layout.m_Length, deviceBytes)) {
                          char text[256];
                          std::snprintf(text, sizeof text,
                                        "Low level format /%c has failed: offset 0x%08X and length 0x%08X do not lie "
                                        "inside the device.",
                                        'a' + v, static_cast<unsigned>(layout.m_Offset),
                                        static_cast<unsigned>(layout.m_Length));
                          Box(text);
                          return false;
                        }
                        return ReleaseVolume(v) &&
                               Finish(v, DeviceApiTable.gfslLowLevelFormat(path.c_str(), layout.m_Offset, layout.m_Length),
                                      "Low level format /%c has failed.", "Low level format finished.",
                                      lx::kSlotLowLevelFormat);
                      });
}

void COpenDeviceDlg::OnEraseDevice() {
  ForConfirmedVolumes(AskVolumesToRewrite(), "Format device /%c.\nThis operation will take several minutes.",
                      [this](int v) {
                        int kind = DeviceKind();
                        if (kind < 0 || kind > 3) {
                          Box("Unknown device.");
                          return true;
                        }
                        BusyScope busy(*this);
                        if (!ReleaseVolume(v)) return false;
                        lx::EraseCallbacks callbacks;
                        callbacks.step = PumpStep;
                        callbacks.report = ReportStep;
                        int32_t result = kind == 0 ? lx::EraseVeltanVolume(v, callbacks) : lx::EraseNorVolume(v, callbacks);
                        if (result != 0) return false;  // the failure has been reported
                        Box("Erase finished.");
                        return true;
                      });
}
