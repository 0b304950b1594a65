// TarnRookUpdate's dialog: re-flashes the kit's programming unit, first the USB controller's
// firmware, then the FPGA configuration, through the kit control's ITarn, and shows the control's
// events in its log. The FPGA burn runs on a worker thread; the worker never touches a window: what
// it has to show goes to the dialog as posted messages.
#pragma once
#include "lxmfc.h"

#include <atomic>
#include <string>

#include "TarnControl_h.h"

class CTarnRookUpdateDlg : public CDialog, public ITarnEvents {
 public:
  explicit CTarnRookUpdateDlg(CWnd* parent = nullptr);
  ~CTarnRookUpdateDlg() override;

  // ITarnEvents. The sink lives in the dialog: AddRef and Release only count.
  STDMETHOD(QueryInterface)(REFIID iid, void** object) override;
  STDMETHOD_(ULONG, AddRef)() override;
  STDMETHOD_(ULONG, Release)() override;
  STDMETHOD(OnTarnEvent)(TarnEvent_t type, ULONG value) override;
  STDMETHOD(OnTarnError)(TarnErrorCause_t cause) override;
  // The text stays the caller's: whoever fires the message frees it.
  STDMETHOD(OnTarnMessage)(BSTR text) override;

  // Set before the window is created, the control is used instead of a new one (tests do that).
  ITarn* m_pTarn = nullptr;
  bool Succeeded() const { return m_bSuccess; }
  int ProgressCounter() const { return m_nProgress; }
  bool Updating() const { return m_bUpdating; }
  std::wstring LogText() const;

  // The steps, as the buttons run them.
  void OnStartUpdate();
  void OnConnect();
  void OnDisconnect();
  void OnUpdateUsbFirmware();
  void OnUpdateFpgaFirmware();

 protected:
  BOOL OnInitDialog() override;
  BOOL OnCommand(WPARAM wp, LPARAM lp) override;
  BOOL OnMessage(UINT msg, WPARAM wp, LPARAM lp, LRESULT* result) override;
  void OnOK() override;
  void OnCancel() override;
  void PostNcDestroy() override;

 private:
  int ConnectControl();
  void ReleaseControl();
  static DWORD WINAPI WorkerMain(void* self);
  void Work();
  void OnFirmwareUpdateDone(bool success);
  // Logs the label, reads an identity of the kit and logs it or the failure; the success flag.
  bool ReadId(const wchar_t* label, HRESULT (STDMETHODCALLTYPE ITarn::*read)(ULONG*));
  // Appends at once on the dialog's thread, by a posted message from any other.
  void AppendLog(const wchar_t* format, ...);
  void Append(const std::wstring& text);
  void ShowEvent(int type, ULONG value);
  void StepProgress();
  void EnableButtons(bool enable);
  bool RefuseWhileUpdating();
  // Lets the window live while the caller waits (for time, or for the worker to end).
  void WaitPumping(DWORD ms, HANDLE handle = nullptr);
  int Box(const wchar_t* text, UINT type);

  ITarnEventHandler* m_pHandler = nullptr;
  ITarnEventSource* m_pSource = nullptr;
  HANDLE m_hWorker = nullptr;      // the worker's handle, kept to wait for its end
  std::atomic<bool> m_bWorkerRunning{false};
  HANDLE m_hQuit = nullptr, m_hGo = nullptr;
  std::wstring m_strAlgorithm, m_strData;
  bool m_bSuccess = false;
  int m_nProgress = 0;
  std::atomic<long> m_nRefs{0};
  bool m_bUpdating = false;
  DWORD m_uiThread = 0;
  // Begin and finish of the load now running, as the control reported them.
  std::atomic<int> m_loadBegun{0}, m_loadFinished{0};
  HICON m_hIcon = nullptr;
};
