#include "freshline_dlg.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cwchar>

#include "lumivex/prompt.h"
#include "lxmfc_appdialog.h"
#include "resource.h"

#ifndef FRESHLINE_SERVER
#define FRESHLINE_SERVER "127.0.0.1"
#endif

using lx::update::Record;

namespace {

const wchar_t kCaption[] = L"Auto Update";
constexpr DWORD kDefaultIdleMs = 30000;

const wchar_t* W(const std::u16string& s) { return reinterpret_cast<const wchar_t*>(s.c_str()); }
std::u16string U(const std::wstring& s) { return std::u16string(s.begin(), s.end()); }

int AskBox(HWND owner, const wchar_t* text, UINT type) {
  return LxMessageBoxW(owner, reinterpret_cast<const unsigned short*>(text),
                       reinterpret_cast<const unsigned short*>(kCaption), type);
}

// Text from the server goes into the log only this long: a note or version of any length must
// not make the log (a rich edit, slow with long text) the bottleneck of the run.
constexpr size_t kMaxShownText = 200;
// The log keeps about this many characters; older lines go first.
constexpr int kMaxLogChars = 60000;
// Appends to the log are gathered for this long before the control gets them.
constexpr DWORD kLogBatchMs = 200;

std::wstring Shown(const std::u16string& text) {
  std::wstring out;
  size_t n = text.size() < kMaxShownText ? text.size() : kMaxShownText;
  for (size_t i = 0; i < n; ++i) out += text[i] < 0x20 && text[i] != u'\n' ? L'?' : static_cast<wchar_t>(text[i]);
  if (text.size() > n) out += L"... (" + std::to_wstring(text.size() - n) + L" more characters not shown)";
  return out;
}

std::wstring Env(const wchar_t* name) {
  wchar_t value[1024];
  DWORD n = GetEnvironmentVariableW(name, value, 1024);
  return n > 0 && n < 1024 ? std::wstring(value, n) : std::wstring();
}

std::wstring FullPath(const std::wstring& path) {
  wchar_t full[2048];
  DWORD n = GetFullPathNameW(path.c_str(), 2048, full, nullptr);
  return n > 0 && n < 2048 ? std::wstring(full, n) : std::wstring();
}


}  // namespace

// ----- Socket --------------------------------------------------------------------------------

bool CFreshlineSocket::ReceiveOnce() {
  int n = Receive(m_buffer, 4096);
  if (n <= 0) return false;  // nothing waiting, closed, or an error: none of them is a reply
  m_buffer[n] = m_buffer[n + 1] = 0;
  m_pDlg->HandleReply(m_buffer, static_cast<size_t>(n));
  return true;
}

void CFreshlineSocket::OnReceive(int) { ReceiveOnce(); }

void CFreshlineSocket::OnClose(int) {
  // What the server sent before it closed is still part of its reply.
  for (int i = 0; i < 4096 && m_hSocket != INVALID_SOCKET && ReceiveOnce(); ++i) {
  }
  m_pDlg->OnConnectionClosed();
}

// ----- Dialog --------------------------------------------------------------------------------

CFreshlineDlg::CFreshlineDlg(CWnd* parent)
    : CDialog(IDD_FRESHLINE_DIALOG, parent), m_strServer(FRESHLINE_SERVER), m_nPort(lx::update::kDefaultPort),
      m_idleTimeoutMs(kDefaultIdleMs) {
  std::wstring server = Env(L"LX_UPDATE_SERVER");
  size_t colon = server.rfind(L':');
  if (colon != std::wstring::npos) {
    m_strServer = std::string(server.begin(), server.begin() + static_cast<std::ptrdiff_t>(colon));
    m_nPort = static_cast<UINT>(wcstoul(server.c_str() + colon + 1, nullptr, 10));
  }
  m_installFolder = Env(L"LX_UPDATE_FOLDER");
  std::wstring idle = Env(L"LX_UPDATE_IDLE_MS");
  if (!idle.empty()) m_idleTimeoutMs = static_cast<DWORD>(wcstoul(idle.c_str(), nullptr, 10));
  wchar_t temp[MAX_PATH + 1];
  DWORD n = GetTempPathW(MAX_PATH + 1, temp);
  m_downloadFolder = (n > 0 && n <= MAX_PATH ? std::wstring(temp, n) : std::wstring(L".\\")) + L"Freshline download";
}

CFreshlineDlg::~CFreshlineDlg() {
  CloseDownloadFile(false);
  delete m_pSocket;
}

BOOL CFreshlineDlg::OnInitDialog() {
  CDialog::OnInitDialog();
  m_hIcon = LxSetUpAppDialog(m_hWnd, IDR_MAINFRAME, IDS_ABOUTBOX, IDM_ABOUTBOX);
  LOGFONTA font = {};
  font.lfHeight = -12;
  font.lfCharSet = DEFAULT_CHARSET;
  font.lfPitchAndFamily = FIXED_PITCH | FF_MODERN;
  if (m_font.CreateFontIndirect(&font)) ::SendDlgItemMessageA(m_hWnd, IDC_LOG, WM_SETFONT, reinterpret_cast<WPARAM>(HFONT(m_font)), TRUE);
  return TRUE;
}

BOOL CFreshlineDlg::OnCommand(WPARAM wp, LPARAM lp) {
  if (HIWORD(wp) != BN_CLICKED) return CDialog::OnCommand(wp, lp);
  switch (LOWORD(wp)) {
    case IDC_CONNECT: ConnectToServer(); break;
    case IDC_REQUEST: RequestCategory(); break;
    case IDC_VERSION_CHECK: CheckVersions(); break;
    case IDC_DOWNLOAD: DownloadAll(); break;
    case IDC_START_UPDATE: RunUpdate(); break;
    case IDC_DISCONNECT: CloseConnection(); break;
    case IDC_INSTALL: InstallUpdates(); break;
    default: return CDialog::OnCommand(wp, lp);
  }
  FlushLog();
  return TRUE;
}

BOOL CFreshlineDlg::OnMessage(UINT msg, WPARAM wp, LPARAM, LRESULT* result) {
  return LxAppDialogMessage(m_hWnd, m_hIcon, IDM_ABOUTBOX, IDD_ABOUTBOX, msg, wp, result);
}

int CFreshlineDlg::Ask(const wchar_t* text, UINT type) {
  FlushLog();  // the log shows what led to the question
  return AskBox(m_hWnd, text, type);
}

void CFreshlineDlg::EndProcess(int code) {
  CloseDownloadFile(false);
  if (m_pSocket) m_pSocket->Close();
  ExitProcess(static_cast<UINT>(code));
}

// ----- Log -----------------------------------------------------------------------------------

void CFreshlineDlg::AppendLog(const std::wstring& text) {
  m_pendingLog += text;
  if (GetTickCount() - m_lastLogFlush >= kLogBatchMs) FlushLog();
}

void CFreshlineDlg::FlushLog() {
  m_lastLogFlush = GetTickCount();
  HWND log = ::GetDlgItem(m_hWnd, IDC_LOG);
  if (!log || m_pendingLog.empty()) return;
  std::wstring text;
  text.swap(m_pendingLog);
  if (text.size() > static_cast<size_t>(kMaxLogChars))
    text = L"(earlier lines removed)\n" + text.substr(text.size() - static_cast<size_t>(kMaxLogChars / 2));
  int end = GetWindowTextLengthW(log);
  if (end + static_cast<int>(text.size()) > kMaxLogChars) {
    // The oldest half goes; the line that says so takes its place.
    ::SendMessageW(log, EM_SETSEL, 0, end - kMaxLogChars / 2 + static_cast<int>(text.size()));
    ::SendMessageW(log, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(L"(earlier lines removed)\n"));
    end = GetWindowTextLengthW(log);
  }
  ::SendMessageW(log, EM_SETSEL, end, end);
  ::SendMessageW(log, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(text.c_str()));
  ::SendMessageW(log, EM_SCROLLCARET, 0, 0);
}

void CFreshlineDlg::Log(const wchar_t* format, ...) {
  // Names from the server have any length: the line is sized to its text.
  va_list args, again;
  va_start(args, format);
  va_copy(again, args);
  int n = _vsnwprintf(nullptr, 0, format, args);
  va_end(args);
  if (n > 0) {
    std::wstring line(static_cast<size_t>(n) + 1, L'\0');
    _vsnwprintf(&line[0], line.size(), format, again);
    line.resize(static_cast<size_t>(n));
    AppendLog(line);
  }
  va_end(again);
}

std::wstring CFreshlineDlg::LogText() const {
  HWND log = ::GetDlgItem(m_hWnd, IDC_LOG);
  int n = log ? GetWindowTextLengthW(log) : 0;
  std::wstring text(static_cast<size_t>(n) + 1, L'\0');
  if (n > 0) text.resize(static_cast<size_t>(GetWindowTextW(log, &text[0], n + 1)));
  else text.clear();
  text += m_pendingLog;
  // The rich edit ends its lines with "\r" and may give them back as "\r\n": "\n" either way.
  std::wstring out;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == L'\r' && i + 1 < text.size() && text[i + 1] == L'\n') continue;
    out += text[i] == L'\r' ? L'\n' : text[i];
  }
  return out;
}

// ----- Connection and requests ---------------------------------------------------------------

bool CFreshlineDlg::ConnectToServer() {
  Log(L"Connect to Keldorn update server...\n");
  if (m_pSocket) CloseConnection();
  m_pSocket = new CFreshlineSocket(this);
  if (!m_pSocket->Create()) {
    Log(L"Create a socket failed.\n");
    delete m_pSocket;
    m_pSocket = nullptr;
    return false;
  }
  if (!m_pSocket->Connect(m_strServer.c_str(), m_nPort)) {
    Log(L"Connection has failed.\n");
    delete m_pSocket;
    m_pSocket = nullptr;
    return false;
  }
  Log(L"Connection has accomplished.\n");
  return true;
}

bool CFreshlineDlg::Send(const std::u16string& kind, const std::u16string& argument) {
  m_replyError.clear();
  std::vector<uint8_t> bytes = lx::update::BuildRequest(kind, argument);
  if (!m_pSocket || m_pSocket->m_hSocket == INVALID_SOCKET) {
    m_replyError = L"The connection to the update server is closed.";
    return false;
  }
  if (m_pSocket->Send(bytes.data(), static_cast<int>(bytes.size())) != static_cast<int>(bytes.size())) {
    m_replyError = L"The request could not be sent to the update server.";
    return false;
  }
  return true;
}

void CFreshlineDlg::FailReply(const std::wstring& why) {
  if (m_replyError.empty()) m_replyError = why;
  if (m_nReplyState == kFileData) CloseDownloadFile(false);
  m_nReplyState = kIdle;
}

void CFreshlineDlg::ReplyFailedLog() { Log(L"%ls\n", m_replyError.c_str()); }

bool CFreshlineDlg::KeepResponsive() {
  if (GetTickCount() - m_lastLogFlush >= kLogBatchMs) FlushLog();
  MSG msg;
  while (!m_bStopping && PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
    if (msg.message == WM_QUIT) {
      PostQuitMessage(static_cast<int>(msg.wParam));
      m_bStopping = true;
      break;
    }
    if (!IsDialogMessageA(m_hWnd, &msg)) {
      TranslateMessage(&msg);
      DispatchMessageA(&msg);
    }
    if (m_nReplyState == kIdle && m_bWaiting) break;
  }
  return !m_bStopping;
}

void CFreshlineDlg::Stop() {
  m_bStopping = true;
  EndProcess(0);
}

bool CFreshlineDlg::WaitForReply() {
  DWORD since = GetTickCount();
  uint64_t seen = m_bytesReceived;
  m_bWaiting = true;
  while (m_nReplyState != kIdle) {
    if (!KeepResponsive()) {
      FailReply(L"The update was stopped.");
      break;
    }
    if (m_nReplyState == kIdle) break;
    if (!m_pSocket || m_pSocket->m_hSocket == INVALID_SOCKET) {
      FailReply(L"The connection was closed before the reply was complete.");
      break;
    }
    if (m_bytesReceived != seen) {
      seen = m_bytesReceived;
      since = GetTickCount();
    } else if (GetTickCount() - since >= m_idleTimeoutMs) {
      wchar_t text[128];
      _snwprintf(text, 128, L"The update server has not answered for %lu seconds.",
                 static_cast<unsigned long>((m_idleTimeoutMs + 999) / 1000));
      text[127] = 0;
      FailReply(text);
      break;
    }
    MsgWaitForMultipleObjects(0, nullptr, FALSE, 50, QS_ALLINPUT);
  }
  m_bWaiting = false;
  return m_replyError.empty();
}

void CFreshlineDlg::OnConnectionClosed() {
  if (m_pSocket) m_pSocket->Close();
  if (m_nReplyState != kIdle) FailReply(L"The connection was closed before the reply was complete.");
}

void CFreshlineDlg::CloseConnection() {
  if (!m_pSocket) return;
  m_nReplyState = kIdle;
  m_products.clear();
  m_files.clear();
  CloseDownloadFile(true);
  m_pSocket->Close();
  delete m_pSocket;
  m_pSocket = nullptr;
  Log(L"Connection has closed.\n");
}

bool CFreshlineDlg::RequestCategory() {
  m_products.clear();
  m_files.clear();
  m_textReply.Reset(lx::update::kProductFields);
  if (!Send(u"Category", u"Lumivex")) {
    ReplyFailedLog();
    return false;
  }
  m_nReplyState = kProductList;
  if (WaitForReply()) return true;
  ReplyFailedLog();
  return false;
}

// ----- Replies -------------------------------------------------------------------------------

void CFreshlineDlg::HandleReply(const uint8_t* data, size_t count) {
  using lx::update::TextReply;
  using lx::update::DataReply;
  m_bytesReceived += count;
  switch (m_nReplyState) {
    case kIdle: {
      // Nothing was asked: show the text as it came.
      std::u16string text;
      m_idleText.Add(data, count, &text);
      std::wstring shown;
      for (char16_t c : text)
        if (c && m_idleShown < kMaxShownIdle) shown += static_cast<wchar_t>(c), ++m_idleShown;
      if (m_idleShown >= kMaxShownIdle && !m_idleCut) {
        m_idleCut = true;
        shown += L"\n(more text from the update server is not shown)\n";
      }
      if (!shown.empty()) AppendLog(shown);
      return;
    }
    case kProductList:
    case kFileList: {
      TextReply::Status s = m_textReply.Add(data, count);
      if (s == TextReply::Incomplete) return;
      if (s != TextReply::Done) {
        std::string why = m_textReply.Error();
        FailReply(L"The update server's reply cannot be read: " + std::wstring(why.begin(), why.end()) + L".");
        return;
      }
      if (m_nReplyState == kProductList) {
        m_products = m_textReply.Records();
      } else {
        for (const Record& file : m_textReply.Records()) {
          if (!lx::update::IsPlainFileName(file[lx::update::kFileName]) ||
              !lx::update::IsRelativeFolder(file[lx::update::kFileFolder])) {
            FailReply(L"The update server named a file outside the installation folder (\"" +
                      Shown(file[lx::update::kFileFolder]) + L"\", \"" + Shown(file[lx::update::kFileName]) +
                      L"\"): the update is refused.");
            return;
          }
        }
        m_files.insert(m_files.end(), m_textReply.Records().begin(), m_textReply.Records().end());
      }
      m_nReplyState = kIdle;
      return;
    }
    case kFileData: {
      if (m_hDownload == INVALID_HANDLE_VALUE) return;
      DataReply::Status s = m_dataReply.Add(data, count, [this](const uint8_t* d, size_t n) {
        DWORD written = 0;
        return WriteFile(m_hDownload, d, static_cast<DWORD>(n), &written, nullptr) && written == n;
      });
      switch (s) {
        case DataReply::Incomplete: return;
        case DataReply::Complete:
          CloseDownloadFile(true);
          m_nRetries = 0;
          m_nReplyState = kIdle;
          return;
        case DataReply::WriteFailed:
          FailReply(L"The downloaded file could not be written to " + DownloadPath(m_nFileIndex) + L".");
          return;
        case DataReply::TooLarge:
          FailReply(L"The update server announced " + std::to_wstring(m_dataReply.ExpectedLength()) + L" bytes for " +
                    Shown(m_files[m_nFileIndex][lx::update::kFileName]) + L", more than the " +
                    std::to_wstring(lx::update::kMaxDownload >> 20) + L" MiB a download may take: refused.");
          return;
        case DataReply::ChecksumMismatch: break;
      }
      CloseDownloadFile(false);
      if (++m_nRetries <= 3) {
        Log(L"Download has failed - retry to download.\n");
      } else {
        m_nRetries = 0;
        Log(L"Download has failed - check sum error.\n");
        if (Ask(L"Download has failed - check sum error.\n", MB_RETRYCANCEL | MB_ICONEXCLAMATION) == IDCANCEL) {
          m_bEndAfterRun = true;
          FailReply(L"The download was cancelled after repeated checksum errors.");
          return;
        }
      }
      if (!RequestFile(m_nFileIndex)) FailReply(m_replyError);
      return;
    }
    default: return;
  }
}

// ----- Versions ------------------------------------------------------------------------------

bool CFreshlineDlg::ReadInstallFolder(std::wstring* folder) {
  if (!m_installFolder.empty()) {
    *folder = m_installFolder;
    return true;
  }
  HKEY key;
  if (RegOpenKeyExW(HKEY_CURRENT_USER, L"Software\\Keldorn\\Lumivex\\Main App", 0, KEY_READ, &key) != ERROR_SUCCESS)
    return false;
  wchar_t value[257] = {};
  DWORD size = 512, type = 0;
  LONG rc = RegQueryValueExW(key, L"Full Path", nullptr, &type, reinterpret_cast<BYTE*>(value), &size);
  RegCloseKey(key);
  if (rc != ERROR_SUCCESS || type != REG_SZ) return false;
  value[256] = 0;
  *folder = value;
  return !folder->empty();
}

std::wstring CFreshlineDlg::PathBelow(const std::wstring& folder, const std::u16string& sub,
                                      const std::u16string& name) {
  auto refuse = [&]() {
    Log(L"The path \"%ls\" \"%ls\" would lie outside the installation folder: refused.\n", Shown(sub).c_str(), Shown(name).c_str());
    return std::wstring();
  };
  if (!lx::update::IsRelativeFolder(sub) || (!name.empty() && !lx::update::IsPlainFileName(name))) return refuse();
  std::wstring base = FullPath(folder);
  while (!base.empty() && base.back() == L'\\') base.pop_back();
  std::u16string joined = lx::update::JoinPath(U(folder), sub, name);
  std::wstring full = FullPath(W(joined));
  if (base.empty() || full.size() < base.size() || _wcsnicmp(full.c_str(), base.c_str(), base.size()) != 0 ||
      (full.size() > base.size() && full[base.size()] != L'\\'))
    return refuse();
  return full;
}

int CFreshlineDlg::CompareInstalledVersion(const Record& product) {
  std::wstring folder;
  if (!ReadInstallFolder(&folder)) return -1;
  std::wstring path = PathBelow(folder, product[lx::update::kProductFolder], product[lx::update::kProductFile]);
  if (path.empty()) return -1;
  uint64_t server = 0;
  if (!lx::update::ParseVersion(product[lx::update::kProductVersion], &server)) {
    Log(L"The version \"%ls\" of %ls cannot be read.\n", Shown(product[lx::update::kProductVersion]).c_str(),
        Shown(product[lx::update::kProductFile]).c_str());
    return -1;
  }
  uint64_t installed = 0;
  DWORD handle = 0;
  DWORD size = GetFileVersionInfoSizeW(path.c_str(), &handle);
  if (size > 0) {
    std::vector<BYTE> info(size);
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    if (GetFileVersionInfoW(path.c_str(), 0, size, info.data()) &&
        VerQueryValueW(info.data(), L"\\", reinterpret_cast<void**>(&fixed), &length) && fixed &&
        length >= sizeof(VS_FIXEDFILEINFO))
      installed = lx::update::FoldFileVersion(fixed->dwFileVersionMS, fixed->dwFileVersionLS);
  }
  return lx::update::CompareVersions(server, installed);
}

bool CFreshlineDlg::CheckVersions() {
  Log(L"Check the latest version of each product...\n");
  // Every record is dropped once it has been looked at.
  std::vector<Record> products;
  products.swap(m_products);
  for (const Record& product : products) {
    if (!KeepResponsive()) {
      Log(L"The update was stopped.\n");
      return false;
    }
    if (!lx::update::IsPlainFileName(product[lx::update::kProductFile]) ||
        !lx::update::IsRelativeFolder(product[lx::update::kProductFolder])) {
      Log(L"The update server named a component outside the installation folder (\"%ls\", \"%ls\"): the update is "
          L"refused.\n",
          Shown(product[lx::update::kProductFolder]).c_str(), Shown(product[lx::update::kProductFile]).c_str());
      return false;
    }
    if (CompareInstalledVersion(product) != 1) continue;
    Log(L"Found an update for %ls (v%ls).\n : %ls\n", Shown(product[lx::update::kProductFile]).c_str(),
        Shown(product[lx::update::kProductVersion]).c_str(), Shown(product[lx::update::kProductNote]).c_str());
    m_textReply.Reset(lx::update::kFileFields);
    if (!Send(u"Version", product[lx::update::kProductId])) {
      ReplyFailedLog();
      return false;
    }
    m_nReplyState = kFileList;
    if (!WaitForReply()) {
      ReplyFailedLog();
      return false;
    }
  }
  return true;
}

lx::update::SelfUpdate CFreshlineDlg::DetectSelfUpdate() {
  lx::update::SelfUpdate self = lx::update::DetectSelfUpdate(&m_files);
  m_bSelfUpdate = self == lx::update::SelfUpdate::Complete;
  if (self == lx::update::SelfUpdate::Incomplete)
    Log(L"%ls and %ls come only together: the one sent alone is left out.\n", W(lx::update::kSelfExe),
        W(lx::update::kSelfBatch));
  return self;
}

// ----- Downloads -----------------------------------------------------------------------------

std::wstring CFreshlineDlg::DownloadFolderOf(size_t index) const {
  // A folder of its own per record: two records may name the same file for different folders, and a
  // renamed download could take the name of a third record's file. A number is no server name here.
  return m_downloadFolder + L"\\" + std::to_wstring(index + 1);
}

std::wstring CFreshlineDlg::DownloadPath(size_t index) const {
  return DownloadFolderOf(index) + L"\\" + W(m_files[index][lx::update::kFileName]);
}

void CFreshlineDlg::CloseDownloadFile(bool keep) {
  if (m_hDownload == INVALID_HANDLE_VALUE) return;
  CloseHandle(m_hDownload);
  m_hDownload = INVALID_HANDLE_VALUE;
  if (!keep && m_nFileIndex < m_files.size()) {
    std::wstring path = DownloadPath(m_nFileIndex);
    DeleteFileW(path.c_str());
    RemoveDirectoryW(DownloadFolderOf(m_nFileIndex).c_str());
    m_downloaded.erase(path);
  }
}

bool CFreshlineDlg::RequestFile(size_t index) {
  if (index >= m_files.size()) return false;
  m_nFileIndex = index;
  if (m_hDownload == INVALID_HANDLE_VALUE) {
    CreateDirectoryW(m_downloadFolder.c_str(), nullptr);
    CreateDirectoryW(DownloadFolderOf(index).c_str(), nullptr);
    std::wstring path = DownloadPath(index);
    m_hDownload = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (m_hDownload == INVALID_HANDLE_VALUE) {
      m_replyError = L"The download file " + path + L" cannot be written.";
      return false;
    }
    m_downloaded.insert(path);
  }
  m_dataReply.Reset();
  if (!Send(u"Data", m_files[index][lx::update::kFileId])) {
    CloseDownloadFile(false);
    return false;
  }
  m_nReplyState = kFileData;
  return true;
}

bool CFreshlineDlg::DownloadAll() {
  if (m_files.empty()) {
    Log(L"There is no update at the moment.\n");
    return true;
  }
  int count = static_cast<int>(m_files.size());
  for (int i = count - 1; i >= 0; --i) {
    if (!KeepResponsive()) {
      Log(L"The update was stopped.\n");
      return false;
    }
    Log(L"Download %ls... (%d of %d)...", Shown(m_files[static_cast<size_t>(i)][lx::update::kFileName]).c_str(), i + 1,
        count);
    m_nRetries = 0;
    if (!RequestFile(static_cast<size_t>(i)) || !WaitForReply()) {
      Log(L" Failed\n");
      ReplyFailedLog();
      return false;
    }
    Log(L" Finished\n");
  }
  return true;
}

void CFreshlineDlg::CleanDownloadFolder() {
  // Only what this run downloaded: the folder may hold nothing else of anybody's.
  for (const std::wstring& path : m_downloaded) {
    DeleteFileW(path.c_str());
    RemoveDirectoryW(path.substr(0, path.rfind(L'\\')).c_str());
  }
  m_downloaded.clear();
  RemoveDirectoryW(m_downloadFolder.c_str());
}

// ----- Installation --------------------------------------------------------------------------

bool CFreshlineDlg::StartProcess(const std::wstring& path, HANDLE* process) {
  std::wstring command = L"\"" + path + L"\"";
  STARTUPINFOW si = {};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi = {};
  if (!CreateProcessW(path.c_str(), &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) {
    // A batch file is started by the command interpreter.
    std::wstring cmd = L"cmd.exe /c \"" + command + L"\"";
    if (!CreateProcessW(nullptr, &cmd[0], nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr, nullptr, &si, &pi))
      return false;
  }
  CloseHandle(pi.hThread);
  if (process) *process = pi.hProcess;
  else CloseHandle(pi.hProcess);
  return true;
}

bool CFreshlineDlg::RunAndWait(const std::wstring& path) {
  HANDLE process = nullptr;
  if (!StartProcess(path, &process)) return false;
  // An installer may take its time: keep the window alive while it runs.
  while (MsgWaitForMultipleObjects(1, &process, FALSE, INFINITE, QS_ALLINPUT) == WAIT_OBJECT_0 + 1) {
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&msg);
      DispatchMessageA(&msg);
    }
  }
  CloseHandle(process);
  return true;
}

bool CFreshlineDlg::InstallUpdates() {
  std::wstring folder;
  if (!ReadInstallFolder(&folder)) {
    Log(L"The installation folder of Lumivex is not known: nothing was installed.\n");
    return false;
  }
  auto failed = [&]() {
    Log(L"Update has failed.\n");
    Log(L"The downloaded files are kept in %ls.\n", m_downloadFolder.c_str());
    return false;
  };
  int count = static_cast<int>(m_files.size());
  for (int i = count - 1; i >= 0; --i) {
    if (!KeepResponsive()) {
      Log(L"The update was stopped.\n");
      return failed();
    }
    const Record& file = m_files[static_cast<size_t>(i)];
    Log(L"Update %ls... (%d of %d)\n", Shown(file[lx::update::kFileName]).c_str(), i + 1, count);
    std::wstring target = PathBelow(folder, file[lx::update::kFileFolder], file[lx::update::kFileName]);
    if (target.empty() || !CopyFileW(DownloadPath(static_cast<size_t>(i)).c_str(), target.c_str(), FALSE))
      return failed();
    if (lx::update::RunFlag(file[lx::update::kFileRun]) && !RunAndWait(target)) {
      Log(L"%ls could not be started.\n", target.c_str());
      return failed();
    }
  }
  Log(L"Update has been finished successfully.\n");
  if (!m_bSelfUpdate) return true;

  std::wstring batch, exe;
  for (const Record& file : m_files) {
    std::wstring path = PathBelow(folder, file[lx::update::kFileFolder], file[lx::update::kFileName]);
    (file[lx::update::kFileName] == lx::update::kSelfBatch ? batch : exe) = path;
  }
  Ask(L"Auto Update application has been updated.\nIt will restart automatically in order to apply the change.",
      MB_OK);
  std::wstring where = batch.substr(0, batch.rfind(L'\\'));
  if (GetFileAttributesW(exe.c_str()) == INVALID_FILE_ATTRIBUTES || !SetCurrentDirectoryW(where.c_str()) ||
      !StartProcess(batch, nullptr)) {
    Log(L"Auto Update could not restart through %ls.\n", batch.c_str());
    return false;
  }
  m_bEndAfterRun = true;  // the batch file takes over once this run has closed its connection
  return true;
}

// ----- The whole run -------------------------------------------------------------------------

bool CFreshlineDlg::RunUpdate() {
  ::EnableWindow(::GetDlgItem(m_hWnd, IDC_START_UPDATE), FALSE);
  Ask(L"Please make sure that Lumivex is closed.", MB_OK);
  if (!ConnectToServer()) return false;
  bool ok = RequestCategory() && CheckVersions();
  if (ok) {
    DetectSelfUpdate();
    ok = DownloadAll();
  }
  bool keep = false;
  if (!ok) {
    Log(L"Nothing was installed.\n");
  } else if (!m_files.empty() &&
             Ask(L"Download has finished. Continue to install updates?", MB_YESNO | MB_ICONQUESTION) == IDYES) {
    ok = InstallUpdates();
    keep = !ok;
  }
  if (!keep) CleanDownloadFolder();
  CloseConnection();
  FlushLog();
  if (m_bEndAfterRun) EndProcess(0);
  return ok;
}
