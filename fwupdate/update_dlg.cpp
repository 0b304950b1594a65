#include "update_dlg.h"

#include <cstdarg>
#include <cstdio>
#include <vector>

#include "lumivex/prompt.h"
#include "lxmfc_appdialog.h"
#include "resource.h"

namespace {

const wchar_t kCaption[] = L"Tarn-Rook Firmware Update";
const wchar_t kUsbImage[] = L"Tarn_Rook.iic";
const wchar_t kFpgaAlgorithm[] = L"Tarn_Rook_ALGORITHM.vme";
const wchar_t kFpgaData[] = L"Tarn_Rook_DATA.vme";
constexpr int kProgressRange = 205;

// What the worker and the control's events on other threads send to the dialog.
constexpr UINT kMsgEvent = WM_APP + 1;  // wp type, lp value
constexpr UINT kMsgError = WM_APP + 2;  // wp cause
constexpr UINT kMsgText = WM_APP + 3;   // lp std::wstring*, the dialog's to delete
constexpr UINT kMsgDone = WM_APP + 4;   // wp success

// Log lines of the control's events, by event type; progress lines carry the percentage.
const wchar_t* const kEventLines[] = {
    L"Connected Tarn\r\n",
    L"Disconnected Tarn\r\n",
    L"Begin Tarn FPGA On The Fly\r\n",
    L"Finish Tarn FPGA On The Fly\r\n",
    L"Begin Tarn FPGA Burn\r\n",
    L"Finish Tarn FPGA Burn\r\n",
    L"Begin Tarn USB On The Fly\r\n",
    L"Finish Tarn USB On The Fly\r\n",
    L"Begin Tarn USB Burn\r\n",
    L"Finish Tarn USB Burn\r\n",
    L"Begin Tarn FPGA On The Fly Via JTAG\r\n",
    L"Finish Tarn FPGA On The Fly Via JTAG\r\n",
    L"TarnFPGAOnTheFly : %d %%\r\n",
    L"TarnFPGABurn : %d %%\r\n",
    L"TarnUSBOnTheFly : %d %%\r\n",
    L"TarnUSBBurn : %d %%\r\n",
    L"TarnFPGAOnTheFlyViaJTAG : %d %%\r\n",
};
constexpr int kEventLineCount = static_cast<int>(sizeof kEventLines / sizeof kEventLines[0]);

std::wstring Format(const wchar_t* format, va_list args) {
  // Sized to the text: a control's message may be of any length.
  va_list again;
  va_copy(again, args);
  int n = _vsnwprintf(nullptr, 0, format, args);
  std::wstring text;
  if (n > 0) {
    text.assign(static_cast<size_t>(n) + 1, L'\0');
    _vsnwprintf(&text[0], text.size(), format, again);
    text.resize(static_cast<size_t>(n));
  }
  va_end(again);
  return text;
}

struct FileVariant {
  VARIANT v;
  explicit FileVariant(const std::wstring& name) {
    VariantInit(&v);
    v.vt = VT_BSTR;
    v.bstrVal = SysAllocString(name.c_str());
  }
  ~FileVariant() { VariantClear(&v); }
};


}  // namespace

CTarnRookUpdateDlg::CTarnRookUpdateDlg(CWnd* parent) : CDialog(IDD_TARNROOKUPDATE_DIALOG, parent) {}

CTarnRookUpdateDlg::~CTarnRookUpdateDlg() { ReleaseControl(); }

// ----- ITarnEvents ---------------------------------------------------------------------------

STDMETHODIMP CTarnRookUpdateDlg::QueryInterface(REFIID iid, void** object) {
  if (!object) return E_POINTER;
  if (IsEqualIID(iid, IID_ITarnEvents) || IsEqualIID(iid, IID_IUnknown)) {
    *object = static_cast<ITarnEvents*>(this);
    AddRef();
    return S_OK;
  }
  *object = nullptr;
  return E_NOINTERFACE;
}

STDMETHODIMP_(ULONG) CTarnRookUpdateDlg::AddRef() { return static_cast<ULONG>(++m_nRefs); }

STDMETHODIMP_(ULONG) CTarnRookUpdateDlg::Release() {
  long n = m_nRefs.load();
  while (n > 0 && !m_nRefs.compare_exchange_weak(n, n - 1)) {
  }
  return static_cast<ULONG>(n > 0 ? n - 1 : 0);
}

STDMETHODIMP CTarnRookUpdateDlg::OnTarnEvent(TarnEvent_t type, ULONG value) {
  int t = static_cast<int>(type);
  // The completion of a load is judged by these, whichever thread the load runs on.
  if (t == TarnEvent_OnBeginTarnUSBBurn || t == TarnEvent_OnBeginTarnFPGABurn) m_loadBegun = t;
  if (t == TarnEvent_OnFinishTarnUSBBurn || t == TarnEvent_OnFinishTarnFPGABurn) m_loadFinished = t;
  if (GetCurrentThreadId() == m_uiThread) ShowEvent(t, value);
  else if (m_hWnd) ::PostMessageW(m_hWnd, kMsgEvent, static_cast<WPARAM>(t), static_cast<LPARAM>(value));
  return S_OK;
}

STDMETHODIMP CTarnRookUpdateDlg::OnTarnError(TarnErrorCause_t cause) {
  if (GetCurrentThreadId() != m_uiThread) {
    if (m_hWnd) ::PostMessageW(m_hWnd, kMsgError, static_cast<WPARAM>(cause), 0);
    return S_OK;
  }
  if (cause == TarnErrorCause_DeviceNotFound) AppendLog(L"Error : Tarn device not found.\r\n");
  else if (cause == TarnErrorCause_FileNotFound) AppendLog(L"Error : File not found.\r\n");
  return S_OK;
}

STDMETHODIMP CTarnRookUpdateDlg::OnTarnMessage(BSTR text) {
  Append(std::wstring(text ? text : L"", text ? SysStringLen(text) : 0) + L"\r\n");
  return S_OK;
}

void CTarnRookUpdateDlg::ShowEvent(int type, ULONG value) {
  if (type < 0 || type >= kEventLineCount) return;
  AppendLog(kEventLines[type], static_cast<int>(value));
  if (type == TarnEvent_OnProgressTarnFPGABurn) StepProgress();
}

// ----- Log and progress ----------------------------------------------------------------------

void CTarnRookUpdateDlg::Append(const std::wstring& text) {
  if (GetCurrentThreadId() != m_uiThread) {
    if (m_hWnd) ::PostMessageW(m_hWnd, kMsgText, 0, reinterpret_cast<LPARAM>(new std::wstring(text)));
    return;
  }
  HWND log = ::GetDlgItem(m_hWnd, IDC_LOG);
  if (!log) return;
  int end = GetWindowTextLengthW(log);
  ::SendMessageW(log, EM_SETSEL, end, end);
  ::SendMessageW(log, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(text.c_str()));
}

void CTarnRookUpdateDlg::AppendLog(const wchar_t* format, ...) {
  va_list args;
  va_start(args, format);
  std::wstring text = Format(format, args);
  va_end(args);
  Append(text);
}

std::wstring CTarnRookUpdateDlg::LogText() const {
  HWND log = ::GetDlgItem(m_hWnd, IDC_LOG);
  int n = log ? GetWindowTextLengthW(log) : 0;
  std::wstring text(static_cast<size_t>(n) + 1, L'\0');
  text.resize(n > 0 ? static_cast<size_t>(GetWindowTextW(log, &text[0], n + 1)) : 0);
  return text;
}

void CTarnRookUpdateDlg::StepProgress() {
  ++m_nProgress;
  ::SendDlgItemMessageW(m_hWnd, IDC_PROGRESS, PBM_SETPOS, static_cast<WPARAM>(m_nProgress), 0);
}

int CTarnRookUpdateDlg::Box(const wchar_t* text, UINT type) {
  return LxMessageBoxW(m_hWnd, reinterpret_cast<const unsigned short*>(text),
                       reinterpret_cast<const unsigned short*>(kCaption), type);
}

void CTarnRookUpdateDlg::WaitPumping(DWORD ms, HANDLE handle) {
  DWORD start = GetTickCount();
  for (;;) {
    DWORD spent = GetTickCount() - start;
    if (spent >= ms) return;
    DWORD r = MsgWaitForMultipleObjects(handle ? 1 : 0, &handle, FALSE, ms - spent, QS_ALLINPUT);
    if (handle && r == WAIT_OBJECT_0) return;
    if (r == WAIT_TIMEOUT || r == WAIT_FAILED) return;
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
      if (msg.message == WM_QUIT) {
        PostQuitMessage(static_cast<int>(msg.wParam));
        return;
      }
      if (!m_hWnd || !IsDialogMessageW(m_hWnd, &msg)) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
      }
    }
  }
}

void CTarnRookUpdateDlg::EnableButtons(bool enable) {
  ::EnableWindow(::GetDlgItem(m_hWnd, IDOK), enable);
  ::EnableWindow(::GetDlgItem(m_hWnd, IDC_START_UPDATE), enable);
}

// ----- Window --------------------------------------------------------------------------------

BOOL CTarnRookUpdateDlg::OnInitDialog() {
  CDialog::OnInitDialog();
  m_uiThread = GetCurrentThreadId();
  m_hIcon = LxSetUpAppDialog(m_hWnd, IDR_MAINFRAME, IDS_ABOUTBOX, IDM_ABOUTBOX);
  ::SendDlgItemMessageW(m_hWnd, IDC_PROGRESS, PBM_SETRANGE32, 0, kProgressRange);
  ::SendDlgItemMessageW(m_hWnd, IDC_PROGRESS, PBM_SETPOS, 0, 0);
  ::SendDlgItemMessageW(m_hWnd, IDC_LOG, EM_SETLIMITTEXT, 0, 0);
  if (ConnectControl() != 0) {
    Box(L"Failed to initialize Tarn-Rook COM object", MB_OK | MB_ICONEXCLAMATION);
    PostQuitMessage(0);
  }
  return TRUE;
}

BOOL CTarnRookUpdateDlg::OnCommand(WPARAM wp, LPARAM lp) {
  if (HIWORD(wp) != BN_CLICKED) return CDialog::OnCommand(wp, lp);
  switch (LOWORD(wp)) {
    case IDC_CONNECT: OnConnect(); return TRUE;
    case IDC_UPDATE_USB: OnUpdateUsbFirmware(); return TRUE;
    case IDC_UPDATE_FPGA: OnUpdateFpgaFirmware(); return TRUE;
    case IDC_DISCONNECT: OnDisconnect(); return TRUE;
    case IDC_START_UPDATE: OnStartUpdate(); return TRUE;
    default: return CDialog::OnCommand(wp, lp);
  }
}

bool CTarnRookUpdateDlg::RefuseWhileUpdating() {
  if (!m_bUpdating) return false;
  Box(L"Please wait until the update is completed.", MB_OK);
  return true;
}

void CTarnRookUpdateDlg::OnOK() {
  if (!RefuseWhileUpdating()) CDialog::OnOK();
}

void CTarnRookUpdateDlg::OnCancel() {
  if (!RefuseWhileUpdating()) CDialog::OnCancel();
}

void CTarnRookUpdateDlg::PostNcDestroy() { m_hWnd = nullptr; }

BOOL CTarnRookUpdateDlg::OnMessage(UINT msg, WPARAM wp, LPARAM lp, LRESULT* result) {
  *result = 0;
  switch (msg) {
    case kMsgEvent: ShowEvent(static_cast<int>(wp), static_cast<ULONG>(lp)); return TRUE;
    case kMsgError: OnTarnError(static_cast<TarnErrorCause_t>(wp)); return TRUE;
    case kMsgText: {
      std::wstring* text = reinterpret_cast<std::wstring*>(lp);
      Append(*text);
      delete text;
      return TRUE;
    }
    case kMsgDone: OnFirmwareUpdateDone(wp != 0); return TRUE;
    case WM_CLOSE: OnCancel(); return TRUE;
    case WM_DESTROY: ReleaseControl(); return FALSE;
    default: return LxAppDialogMessage(m_hWnd, m_hIcon, IDM_ABOUTBOX, IDD_ABOUTBOX, msg, wp, result);
  }
}

// ----- The control ---------------------------------------------------------------------------

int CTarnRookUpdateDlg::ConnectControl() {
  if (!m_hQuit) m_hQuit = CreateEventW(nullptr, FALSE, FALSE, nullptr);
  if (!m_hGo) m_hGo = CreateEventW(nullptr, FALSE, FALSE, nullptr);
  if (!m_hQuit || !m_hGo) return 1;
  if (!m_pTarn && FAILED(CoCreateInstance(CLSID_Tarn, nullptr, CLSCTX_INPROC_SERVER, IID_ITarn,
                                          reinterpret_cast<void**>(&m_pTarn))))
    return 1;
  if (FAILED(CoCreateInstance(CLSID_TarnEventHandler, nullptr, CLSCTX_INPROC_SERVER, IID_ITarnEventHandler,
                              reinterpret_cast<void**>(&m_pHandler))))
    return 1;
  if (FAILED(m_pTarn->QueryInterface(IID_ITarnEventSource, reinterpret_cast<void**>(&m_pSource)))) return 1;
  if (FAILED(m_pHandler->HookEvent(m_pSource, static_cast<ITarnEvents*>(this)))) return 1;
  m_hWorker = CreateThread(nullptr, 0, &CTarnRookUpdateDlg::WorkerMain, this, CREATE_SUSPENDED, nullptr);
  if (!m_hWorker) return 1;
  m_bWorkerRunning = true;
  ResumeThread(m_hWorker);
  return 0;
}

void CTarnRookUpdateDlg::ReleaseControl() {
  if (m_hWorker) {
    // The worker ends at the quit event; the window stays alive meanwhile.
    SetEvent(m_hQuit);
    WaitPumping(30000, m_hWorker);
    CloseHandle(m_hWorker);
    m_hWorker = nullptr;
  }
  for (HANDLE* h : {&m_hQuit, &m_hGo}) {
    if (*h) CloseHandle(*h);
    *h = nullptr;
  }
  if (m_pHandler) {
    if (m_pSource) m_pHandler->UnhookEvent(m_pSource);
    m_pHandler->Release();
    m_pHandler = nullptr;
  }
  if (m_pSource) {
    m_pSource->Release();
    m_pSource = nullptr;
  }
  if (m_pTarn) {
    m_pTarn->Release();
    m_pTarn = nullptr;
  }
}

DWORD WINAPI CTarnRookUpdateDlg::WorkerMain(void* self) {
  static_cast<CTarnRookUpdateDlg*>(self)->Work();
  return 0;
}

void CTarnRookUpdateDlg::Work() {
  CoInitializeEx(nullptr, COINIT_MULTITHREADED);
  HANDLE events[2] = {m_hQuit, m_hGo};  // quit first: it wins when both are set
  while (WaitForMultipleObjects(2, events, FALSE, INFINITE) == WAIT_OBJECT_0 + 1) {
    FileVariant algorithm(m_strAlgorithm), data(m_strData);
    AppendLog(L"TarnFPGABurn '%ls', '%ls'...\r\n", m_strAlgorithm.c_str(), m_strData.c_str());
    m_loadBegun = m_loadFinished = -1;
    HRESULT hr = m_pTarn->TarnFPGABurn(&algorithm.v, &data.v);
    // A burn that never began is no success, whatever the call answered.
    bool ok = SUCCEEDED(hr) && m_loadBegun == TarnEvent_OnBeginTarnFPGABurn &&
              m_loadFinished == TarnEvent_OnFinishTarnFPGABurn;
    AppendLog(ok ? L"Succeeded\r\n" : L"Failed to update FPGA firmaware\r\n");
    if (m_hWnd) ::PostMessageW(m_hWnd, kMsgDone, ok ? 1 : 0, 0);
  }
  m_bWorkerRunning = false;
  CoUninitialize();
}

// ----- Steps ---------------------------------------------------------------------------------

void CTarnRookUpdateDlg::OnDisconnect() {
  AppendLog(L"Disconnect...\r\n");
  m_pTarn->SelectTarnType(TarnType_II);
  m_bSuccess = SUCCEEDED(m_pTarn->CloseTarn());
  AppendLog(m_bSuccess ? L"Succeeded\r\n" : L"Failed to disconnect\r\n");
}

void CTarnRookUpdateDlg::OnConnect() {
  AppendLog(L"Connect...\r\n");
  m_bSuccess = SUCCEEDED(m_pTarn->ConnectTarn());
  AppendLog(m_bSuccess ? L"Succeeded\r\n" : L"Failed to connect\r\n");
}

bool CTarnRookUpdateDlg::ReadId(const wchar_t* label, HRESULT (STDMETHODCALLTYPE ITarn::*read)(ULONG*)) {
  AppendLog(label);
  ULONG id = 0;
  m_bSuccess = SUCCEEDED((m_pTarn->*read)(&id));
  if (m_bSuccess) AppendLog(L"Succeeded (%lu)\r\n", static_cast<unsigned long>(id));
  else AppendLog(L"Failed to get ID\r\n");
  return m_bSuccess;
}

void CTarnRookUpdateDlg::OnUpdateUsbFirmware() {
  if (!ReadId(L"GetFIRMWARE_ID: ", &ITarn::GetFIRMWARE_ID)) return;
  AppendLog(L"TarnUSBBurn '%ls'...\r\n", kUsbImage);
  FileVariant image(kUsbImage);
  m_loadBegun = m_loadFinished = -1;
  HRESULT hr = m_pTarn->TarnUSBBurn(&image.v);
  // Without a kit to load into the control may answer S_OK having done nothing: only a burn it
  // began and finished counts.
  m_bSuccess = SUCCEEDED(hr) && m_loadBegun == TarnEvent_OnBeginTarnUSBBurn &&
               m_loadFinished == TarnEvent_OnFinishTarnUSBBurn;
  AppendLog(m_bSuccess ? L"Succeeded\r\n" : L"Failed to update USB firmaware\r\n");
}

void CTarnRookUpdateDlg::OnUpdateFpgaFirmware() {
  if (!ReadId(L"GetCPLD_ID: ", &ITarn::GetCPLD_ID)) return;
  m_strAlgorithm = kFpgaAlgorithm;
  m_strData = kFpgaData;
  SetEvent(m_hGo);
}

void CTarnRookUpdateDlg::OnStartUpdate() {
  Box(L"Please DO NOT UNPLUG Tarn-Rook USB CABLE while processing a firmware update.", MB_OK | MB_ICONEXCLAMATION);
  ::SetDlgItemTextW(m_hWnd, IDC_LOG, L"");
  m_nProgress = 0;
  ::SendDlgItemMessageW(m_hWnd, IDC_PROGRESS, PBM_SETPOS, 0, 0);
  m_bUpdating = true;
  EnableButtons(false);
  do {
    StepProgress();
    OnDisconnect();
    StepProgress();
    OnConnect();
    if (!m_bSuccess) {
      Box(L"Failed to connect Tarn-Rook", MB_OK | MB_ICONEXCLAMATION);
      break;
    }
    StepProgress();
    OnUpdateUsbFirmware();
    if (!m_bSuccess) {
      Box(L"Failed to update Tarn-Rook USB firmware", MB_OK | MB_ICONEXCLAMATION);
      OnDisconnect();
      break;
    }
    WaitPumping(1000);  // the kit comes back on the bus with its new firmware
    StepProgress();
    OnConnect();
    if (!m_bSuccess) {
      Box(L"Failed to connect Tarn-Rook", MB_OK | MB_ICONEXCLAMATION);
      break;
    }
    StepProgress();
    OnUpdateFpgaFirmware();
    if (m_bSuccess) return;  // the worker finishes the update
  } while (false);
  m_bUpdating = false;
  EnableButtons(true);
}

void CTarnRookUpdateDlg::OnFirmwareUpdateDone(bool success) {
  m_bSuccess = success;
  if (success) Box(L"Update has been completed successfully. Please unplug Tarn-Rook USB cable.", MB_OK);
  else Box(L"Failed to update Tarn-Rook FPGA firmware", MB_OK | MB_ICONEXCLAMATION);
  OnDisconnect();
  m_bUpdating = false;
  EnableButtons(true);
}
