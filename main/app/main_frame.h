// The main window as far as start-up needs it: a frame around the log window that closes
// the splash after five seconds and mirrors the options' device kind.
#pragma once
#include "app.h"
#include "log_ctrl.h"
#include "lxmfc.h"

#define LX_MAIN_FRAME_CLASS "LumivexMainFrame"

class CMainFrame : public CWnd, public IMainFrameServices {
 public:
  BOOL CreateFrame();
  LRESULT WindowProc(UINT msg, WPARAM wp, LPARAM lp) override;
  // Once created, the frame owns itself and goes with its window.
  void PostNcDestroy() override {
    if (autoDelete_) delete this;
  }

  void SelectDeviceKind(int kind) override { m_DeviceKind = kind; }
  void StartProgress() override {}
  void StopProgress() override {}
  bool IsDeviceOpen() const override;
  void CloseSplash() override;

  CLogCtrl m_wndLog;
  int m_DeviceKind = -1;

 private:
  bool autoDelete_ = false;
};
