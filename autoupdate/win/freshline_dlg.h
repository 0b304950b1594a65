// Freshline's dialog: connects to the update server, asks for the product list, compares each
// component's version with the installed file, asks for the file lists of the newer ones,
// downloads each file with its length and checksum, installs them into the installation folder
// and, when the list carries a new copy of Freshline itself, restarts through its batch file.
// The protocol is the portable core's (update_protocol.h); this is the Windows shell around it.
#pragma once
#include "lxmfc_socket.h"
#include "lxmfc.h"

#include <cstdint>
#include <set>
#include <string>
#include <vector>

#include "update_protocol.h"

class CFreshlineDlg;

class CFreshlineSocket : public CSocket {
 public:
  explicit CFreshlineSocket(CFreshlineDlg* dialog) : m_pDlg(dialog) {}
  void OnReceive(int error) override;
  void OnClose(int error) override;

 private:
  // Answers false when nothing more was waiting.
  bool ReceiveOnce();
  CFreshlineDlg* m_pDlg;
  uint8_t m_buffer[4096 + 2];
};

class CFreshlineDlg : public CDialog {
 public:
  enum ReplyState { kIdle = 0, kProductList = 1, kFileList = 2, kFileData = 3 };

  explicit CFreshlineDlg(CWnd* parent = nullptr);
  ~CFreshlineDlg() override;

  // Where the server is and where things go. The constructor takes the shipped values, or those
  // of LX_UPDATE_SERVER ("address:port"), LX_UPDATE_FOLDER (installation folder instead of the
  // registry's) and LX_UPDATE_IDLE_MS, which the tests set.
  std::string m_strServer;
  UINT m_nPort;
  std::wstring m_installFolder;   // empty: the registry's "Full Path"
  std::wstring m_downloadFolder;  // our own folder for the files on their way
  DWORD m_idleTimeoutMs;

  // The steps, as the buttons run them; each answers true on success.
  bool ConnectToServer();
  bool RequestCategory();
  bool CheckVersions();
  lx::update::SelfUpdate DetectSelfUpdate();
  bool DownloadAll();
  bool InstallUpdates();
  void CleanDownloadFolder();
  void CloseConnection();
  // The whole run of "Start Update"; true when every step did what it should.
  bool RunUpdate();
  // 1 newer on the server, 0 equal, -1 older, unreadable or without version information.
  int CompareInstalledVersion(const lx::update::Record& product);

  // From the socket.
  void HandleReply(const uint8_t* data, size_t count);
  void OnConnectionClosed();

  int ReplyState() const { return m_nReplyState; }
  const std::vector<lx::update::Record>& Files() const { return m_files; }
  std::wstring LogText() const;

 protected:
  BOOL OnInitDialog() override;
  BOOL OnCommand(WPARAM wp, LPARAM lp) override;
  BOOL OnMessage(UINT msg, WPARAM wp, LPARAM lp, LRESULT* result) override;
  // OK, Exit and closing the window end the program at once, a run or not.
  void OnOK() override { Stop(); }
  void OnCancel() override { Stop(); }
  // The program ends here (OK, Exit, Cancel on a checksum failure, the restart after a
  // self-update); tests replace it.
  virtual void EndProcess(int code);

 private:
  void AppendLog(const std::wstring& text);
  // Puts what was appended since the last time into the log control.
  void FlushLog();
  // Handles the window's pending messages (Exit among them); false once the run is to stop.
  bool KeepResponsive();
  void Stop();
  int Ask(const wchar_t* text, UINT type);
  void Log(const wchar_t* format, ...);
  bool Send(const std::u16string& kind, const std::u16string& argument);
  bool WaitForReply();
  bool RequestFile(size_t index);
  void FailReply(const std::wstring& why);
  void CloseDownloadFile(bool keep);
  bool ReadInstallFolder(std::wstring* folder);
  // The file's path below the installation folder, or empty (and logged) when the names the server
  // sent would lead anywhere else.
  std::wstring PathBelow(const std::wstring& folder, const std::u16string& sub, const std::u16string& name);
  std::wstring DownloadFolderOf(size_t index) const;
  std::wstring DownloadPath(size_t index) const;
  bool RunAndWait(const std::wstring& path);
  bool StartProcess(const std::wstring& path, HANDLE* process);
  void ReplyFailedLog();

  CFreshlineSocket* m_pSocket = nullptr;
  int m_nReplyState = kIdle;
  size_t m_nFileIndex = 0;
  std::vector<lx::update::Record> m_products;
  std::vector<lx::update::Record> m_files;
  lx::update::TextReply m_textReply{lx::update::kProductFields};
  lx::update::DataReply m_dataReply;
  HANDLE m_hDownload = INVALID_HANDLE_VALUE;
  int m_nRetries = 0;
  bool m_bSelfUpdate = false;
  // Why the reply being waited for failed; empty while all is well.
  std::wstring m_replyError;
  bool m_bEndAfterRun = false;
  uint64_t m_bytesReceived = 0;
  std::set<std::wstring> m_downloaded;  // our own files in the download folder
  lx::update::Utf16Pieces m_idleText;  // text that came while nothing was asked
  static constexpr size_t kMaxShownIdle = 4096;
  size_t m_idleShown = 0;
  bool m_idleCut = false;
  std::wstring m_pendingLog;  // appended, not yet in the control
  DWORD m_lastLogFlush = 0;
  bool m_bStopping = false;
  bool m_bWaiting = false;
  CFont m_font;
  HICON m_hIcon = nullptr;
};
