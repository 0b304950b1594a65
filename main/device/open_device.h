// The open-device dialog and its two helpers, the volume selection and the low-level format.
//
// Entry points for the main frame:
//   ShowOpenDeviceDialog(frame)   the document's "Open Device..." command: the modal dialog.
//   InstallDeviceKindHook()       makes a successful open apply the device kind to the options
//                                 (device kind, window-size index for SPI, save, selector); done
//                                 by ShowOpenDeviceDialog when no frame hook is set. A frame with
//                                 its own OnDeviceSelChange sets lx::DeviceFrameHooks instead.
// The state operations themselves (DeviceOpen, VolumeMount, ...) and the frame's copy of the
// state (lx::FrameDevice()) are in device_ops.h; scripts and the shell call those directly.
#pragma once
#include <cstdint>
#include <vector>

#include "device_ops.h"
#include "device_resource.h"
#include "lxmfc.h"

INT_PTR ShowOpenDeviceDialog(CWnd* frame);
void InstallDeviceKindHook();

// "Select Volume": four check boxes, bits 0..3.
class CSelectVolumeDlg : public CDialog {
 public:
  explicit CSelectVolumeDlg(CWnd* parent = nullptr) : CDialog(IDD_LX_SELECT_VOLUME, parent) {}
  // Sets the boxes (also before the window exists) and returns the mask they held before.
  uint32_t SetVolumeMask(uint32_t mask);
  uint32_t GetVolumeMask() const;
  BOOL OnInitDialog() override;
  void OnOK() override;

 private:
  uint32_t mask_ = 0;
};

// "Low Level Format": offset and length of a partition.
class CLowLevelFormatDlg : public CDialog {
 public:
  explicit CLowLevelFormatDlg(CWnd* parent = nullptr) : CDialog(IDD_LX_LOW_LEVEL_FORMAT, parent) {}
  BOOL OnCommand(WPARAM wp, LPARAM lp) override;
  void OnOK() override;
  uint32_t m_Offset = 0;
  uint32_t m_Length = 0;
};

class COpenDeviceDlg : public CDialog {
 public:
  explicit COpenDeviceDlg(CWnd* parent = nullptr) : CDialog(IDD_LX_OPEN_DEVICE, parent) {}
  BOOL OnInitDialog() override;
  BOOL OnCommand(WPARAM wp, LPARAM lp) override;
  BOOL OnMessage(UINT msg, WPARAM wp, LPARAM lp, LRESULT* result) override;
  void OnOK() override;
  void OnCancel() override;

  void OnOpenDevice();
  void ShowDeviceInfo();
  void OnMountVolume();
  void OnFormatVolume();
  void OnLowLevelFormat();
  void OnEraseDevice();
  void OnShowWindow();

  // True while a handler runs a loop that lets other messages through.
  bool IsBusy() const { return busy_ > 0; }

 private:
  // The shared start of format, low-level format and erase: the selected volumes, or 0.
  uint32_t AskVolumesToRewrite();
  // Per volume: its question, then its rewrite after releasing its mounts. False stops the handler.
  bool ReleaseVolume(int volume);
  // Asks each chosen volume's question (OK/Cancel); a confirmed volume goes to rewrite(v), whose
  // false ends the loop.
  // One volume's outcome as its box: `finished`, or `failed` with the volume letter and the
  // module's reason for its call in `slot` (false).
  bool Finish(int volume, int32_t result, const char* failed, const char* finished, int slot);
  template <class Rewrite>
  void ForConfirmedVolumes(uint32_t chosen, const char* question, Rewrite rewrite);
  void SetDeviceTexts();
  void SetVolumeTexts();
  void EnableModuleButtons();

  // A handler that pumps messages disables every control of the dialog (and its close box)
  // while it runs, so it can neither be started twice nor the dialog closed under it.
  class BusyScope {
   public:
    explicit BusyScope(COpenDeviceDlg& dialog);
    ~BusyScope();

   private:
    COpenDeviceDlg& dialog_;
    std::vector<HWND> disabled_;
    HCURSOR cursor_;
  };
  int busy_ = 0;
};
