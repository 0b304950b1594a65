// Our own small application framework over plain Win32: the classes and members the product
// code calls, nothing more. Windows use ANSI (8-bit) text.
#pragma once
#include <windows.h>
#include <commctrl.h>
#include <commdlg.h>
#include <richedit.h>

#include <cstdarg>
#include <map>
#include <memory>
#include <string>
#include <vector>

// ---------------------------------------------------------------------------------------------
// CString: an 8-bit string that converts to const char* where Win32 wants one.
class CString {
 public:
  CString() = default;
  CString(const char* text) : s_(text ? text : "") {}
  CString(const char* text, int length) : s_(text ? std::string(text, length) : std::string()) {}
  CString(const std::string& text) : s_(text) {}
  CString(char ch, int repeat = 1) : s_(repeat > 0 ? repeat : 0, ch) {}

  operator const char*() const { return s_.c_str(); }
  const char* GetString() const { return s_.c_str(); }
  const std::string& str() const { return s_; }
  int GetLength() const { return static_cast<int>(s_.size()); }
  bool IsEmpty() const { return s_.empty(); }
  void Empty() { s_.clear(); }
  char GetAt(int i) const { return s_.at(i); }
  char operator[](int i) const { return s_.at(i); }

  CString& operator=(const char* text) { s_ = text ? text : ""; return *this; }
  CString& operator+=(const char* text) { s_ += text ? text : ""; return *this; }
  CString& operator+=(const CString& text) { s_ += text.s_; return *this; }
  CString& operator+=(char ch) { s_ += ch; return *this; }
  friend CString operator+(const CString& a, const CString& b) { return CString(a.s_ + b.s_); }
  friend CString operator+(const CString& a, const char* b) { return CString(a.s_ + (b ? b : "")); }
  friend CString operator+(const char* a, const CString& b) { return CString((a ? a : "") + b.s_); }
  friend CString operator+(const CString& a, char b) { return CString(a.s_ + b); }
  friend bool operator==(const CString& a, const CString& b) { return a.s_ == b.s_; }
  friend bool operator==(const CString& a, const char* b) { return a.s_ == (b ? b : ""); }
  friend bool operator!=(const CString& a, const CString& b) { return a.s_ != b.s_; }
  friend bool operator!=(const CString& a, const char* b) { return !(a == b); }
  bool operator<(const CString& o) const { return s_ < o.s_; }

  void Format(const char* format, ...);
  void FormatV(const char* format, va_list args);
  void AppendFormat(const char* format, ...);
  int Find(char ch, int start = 0) const;
  int Find(const char* sub, int start = 0) const;
  int ReverseFind(char ch) const;
  CString Left(int count) const;
  CString Right(int count) const;
  CString Mid(int first, int count = -1) const;
  BOOL LoadString(UINT id);
  // Room for at least minLength characters; ReleaseBuffer takes the text up to its terminator.
  char* GetBuffer(int minLength);
  void ReleaseBuffer(int newLength = -1);

 private:
  std::string s_;
  std::vector<char> buffer_;
};

// ---------------------------------------------------------------------------------------------
class CFont {
 public:
  CFont() = default;
  ~CFont() { DeleteObject(); }
  CFont(const CFont&) = delete;
  CFont& operator=(const CFont&) = delete;
  BOOL CreateFontIndirect(const LOGFONTA* font);
  BOOL DeleteObject();
  HFONT GetSafeHandle() const { return font_; }
  operator HFONT() const { return font_; }

 private:
  HFONT font_ = nullptr;
};

// ---------------------------------------------------------------------------------------------
// CWnd: a window handle plus the virtual hooks of a subclassed window.
class CWnd {
 public:
  CWnd() = default;
  virtual ~CWnd();
  CWnd(const CWnd&) = delete;
  CWnd& operator=(const CWnd&) = delete;

  HWND m_hWnd = nullptr;
  HWND GetSafeHwnd() const { return m_hWnd; }
  operator HWND() const { return m_hWnd; }

  // The object that wraps a window of ours, or null.
  static CWnd* FromHandlePermanent(HWND hwnd);

  BOOL Attach(HWND hwnd);
  HWND Detach();
  // Routes the window's messages through WindowProc of this object.
  BOOL SubclassWindow(HWND hwnd);
  BOOL SubclassDlgItem(UINT id, CWnd* parent);
  virtual BOOL DestroyWindow();

  // A wrapper of a child control, owned by this window object.
  CWnd* GetDlgItem(int id);
  CWnd* GetParent() const;
  void SetWindowText(const char* text);
  void GetWindowText(CString& text) const;
  CString GetWindowTextString() const;
  int GetWindowTextLength() const;
  BOOL EnableWindow(BOOL enable = TRUE);
  BOOL IsWindowEnabled() const;
  BOOL ShowWindow(int show);
  BOOL IsWindowVisible() const;
  BOOL SetWindowPos(const CWnd* after, int x, int y, int cx, int cy, UINT flags);
  void Invalidate(BOOL erase = TRUE);
  void UpdateWindow();
  void SetFont(CFont* font, BOOL redraw = TRUE);
  void SetDlgItemText(int id, const char* text);
  int GetDlgItemText(int id, CString& text) const;
  void CheckDlgButton(int id, UINT check);
  UINT IsDlgButtonChecked(int id) const;
  void CheckRadioButton(int first, int last, int checked);
  LRESULT SendMessage(UINT msg, WPARAM wp = 0, LPARAM lp = 0) const;
  BOOL PostMessage(UINT msg, WPARAM wp = 0, LPARAM lp = 0) const;
  UINT_PTR SetTimer(UINT_PTR id, UINT elapse, TIMERPROC proc = nullptr);
  BOOL KillTimer(UINT_PTR id);
  BOOL ModifyStyle(DWORD remove, DWORD add);
  int MessageBox(const char* text, const char* caption = nullptr, UINT type = MB_OK);
  void GetClientRect(RECT* rect) const;

  // Called for every message of a subclassed window; the default passes it on.
  virtual LRESULT WindowProc(UINT msg, WPARAM wp, LPARAM lp);
  // The message loop offers each message to the top-level window it belongs to first;
  // true when the window took it (dialogs take their keyboard navigation).
  virtual BOOL PreTranslateMessage(MSG*) { return FALSE; }
  LRESULT Default(UINT msg, WPARAM wp, LPARAM lp);
  virtual void PostNcDestroy() {}
  // Creation hooks of the windows this framework creates itself (not dialogs).
  virtual BOOL PreCreateWindow(CREATESTRUCTA&) { return TRUE; }
  virtual int OnCreate(CREATESTRUCTA*) { return 0; }

 protected:
  static LRESULT CALLBACK SubclassProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);
  WNDPROC oldProc_ = nullptr;
  std::map<int, std::unique_ptr<CWnd>> children_;
};

// ---------------------------------------------------------------------------------------------
class CDataExchange {
 public:
  CDataExchange(CWnd* dialog, BOOL saveAndValidate) : m_bSaveAndValidate(saveAndValidate), m_pDlgWnd(dialog) {}
  BOOL m_bSaveAndValidate;
  CWnd* m_pDlgWnd;
  HWND PrepareCtrl(int id);
};

void DDX_Text(CDataExchange* dx, int id, CString& value);
void DDX_Text(CDataExchange* dx, int id, int& value);
void DDX_Text(CDataExchange* dx, int id, UINT& value);
void DDX_Check(CDataExchange* dx, int id, int& value);
void DDX_Radio(CDataExchange* dx, int id, int& value);
void DDX_CBIndex(CDataExchange* dx, int id, int& value);
void DDX_Control(CDataExchange* dx, int id, CWnd& control);

// ---------------------------------------------------------------------------------------------
// Dialogs from .rc templates, modal (DoModal) or modeless (Create).
class CDialog : public CWnd {
 public:
  explicit CDialog(UINT templateId = 0, CWnd* parent = nullptr) : templateId_(templateId), parent_(parent) {}
  virtual INT_PTR DoModal();
  virtual BOOL Create(UINT templateId, CWnd* parent = nullptr);
  void EndDialog(int result);
  BOOL UpdateData(BOOL saveAndValidate = TRUE);
  UINT GetTemplateId() const { return templateId_; }

  virtual BOOL OnInitDialog();
  virtual void DoDataExchange(CDataExchange*) {}
  virtual void OnOK();
  virtual void OnCancel();
  // WM_COMMAND: true when handled. The default sends IDOK / IDCANCEL to OnOK / OnCancel.
  virtual BOOL OnCommand(WPARAM wp, LPARAM lp);
  virtual BOOL OnNotify(WPARAM wp, LPARAM lp, LRESULT* result);
  // Every other message; true when handled (then *result is the answer).
  virtual BOOL OnMessage(UINT msg, WPARAM wp, LPARAM lp, LRESULT* result);
  BOOL PreTranslateMessage(MSG* msg) override;

 protected:
  static INT_PTR CALLBACK DialogProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);
  INT_PTR HandleMessage(UINT msg, WPARAM wp, LPARAM lp);
  UINT templateId_;
  CWnd* parent_;
  bool modal_ = false;
};

// ---------------------------------------------------------------------------------------------
// Property sheets over comctl32; a page's Apply runs on the sheet's PSN_APPLY.
class CPropertySheet;

class CPropertyPage : public CDialog {
 public:
  explicit CPropertyPage(UINT templateId) : CDialog(templateId) {}
  // A tab title of its own instead of the template's caption (one template serving several pages).
  CPropertyPage(UINT templateId, const char* title) : CDialog(templateId), title_(title ? title : "") {}
  const CString& GetTitle() const { return title_; }
  void SetTitle(const char* title) { title_ = title ? title : ""; }
  void SetModified(BOOL changed = TRUE);
  virtual BOOL OnApply();
  virtual BOOL OnSetActive() { return TRUE; }
  virtual BOOL OnKillActive() { return UpdateData(TRUE); }
  void OnOK() override {}
  void OnCancel() override {}
  BOOL OnNotify(WPARAM wp, LPARAM lp, LRESULT* result) override;
  CPropertySheet* GetSheet() const { return sheet_; }

 private:
  friend class CPropertySheet;
  static INT_PTR CALLBACK PageProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);
  CPropertySheet* sheet_ = nullptr;
  CString title_;
};

class CPropertySheet : public CWnd {
 public:
  CPropertySheet(const char* caption, CWnd* parent = nullptr, UINT selectPage = 0)
      : caption_(caption), parent_(parent), startPage_(selectPage) {}
  void AddPage(CPropertyPage* page);
  int GetPageCount() const { return static_cast<int>(pages_.size()); }
  CPropertyPage* GetPage(int index) const { return pages_.at(index); }
  virtual INT_PTR DoModal();
  // Modeless: the sheet's window is m_hWnd afterwards.
  virtual BOOL Create(CWnd* parent = nullptr);
  CPropertyPage* GetActivePage() const;
  BOOL SetActivePage(int index);
  const CString& GetCaption() const { return caption_; }
  // Further PSH_ flags of the header (PSH_NOAPPLYNOW, ...).
  DWORD m_HeaderFlags = 0;

 private:
  void BuildHeader(PROPSHEETHEADERA& header, std::vector<PROPSHEETPAGEA>& pages, bool modeless);
  CString caption_;
  CWnd* parent_;
  UINT startPage_;
  std::vector<CPropertyPage*> pages_;
};

// ---------------------------------------------------------------------------------------------
class CRichEditCtrl : public CWnd {
 public:
  virtual BOOL Create(DWORD style, const RECT& rect, CWnd* parent, UINT id);
  BOOL SetDefaultCharFormat(CHARFORMAT2A& format);
  BOOL SetWordCharFormat(CHARFORMAT2A& format);
  BOOL SetSelectionCharFormat(CHARFORMAT2A& format);
  BOOL SetParaFormat(PARAFORMAT2& format);
  COLORREF SetBackgroundColor(BOOL useSystem, COLORREF color);
  void GetSel(long& start, long& end) const;
  void SetSel(long start, long end);
  void ReplaceSel(const char* text, BOOL canUndo = FALSE);
  int GetFirstVisibleLine() const;
  void LineScroll(int lines, int chars = 0);
  long StreamOut(int format, EDITSTREAM& stream);
  int GetTextLength() const;
};

// ---------------------------------------------------------------------------------------------
class CFileException {
 public:
  enum { none = 0, genericException, fileNotFound, badPath, tooManyOpenFiles, accessDenied, invalidFile,
         removeCurrentDir, directoryFull, badSeek, hardIO, sharingViolation, lockViolation, diskFull,
         endOfFile };
  int m_cause = none;
  LONG m_lOsError = 0;
  CString m_strFileName;
  BOOL GetErrorMessage(char* text, UINT maxLength, UINT* helpContext = nullptr) const;
};

class CFile {
 public:
  enum OpenFlags : UINT {
    modeRead = 0x0000, modeWrite = 0x0001, modeReadWrite = 0x0002,
    shareDenyNone = 0x0040, modeNoTruncate = 0x10000, modeCreate = 0x1000, typeText = 0x4000,
    typeBinary = 0x8000,
  };
  CFile() = default;
  ~CFile();
  CFile(const CFile&) = delete;
  CFile& operator=(const CFile&) = delete;
  BOOL Open(const char* fileName, UINT openFlags, CFileException* error = nullptr);
  UINT Read(void* buffer, UINT count);
  BOOL Write(const void* buffer, UINT count);
  void Close();
  ULONGLONG GetLength() const;
  CString GetFilePath() const { return path_; }
  HANDLE m_hFile = INVALID_HANDLE_VALUE;

 private:
  CString path_;
};

// ---------------------------------------------------------------------------------------------
class CFileDialog {
 public:
  CFileDialog(BOOL openFileDialog, const char* defaultExt = nullptr, const char* fileName = nullptr,
              DWORD flags = OFN_HIDEREADONLY | OFN_OVERWRITEPROMPT, const char* filter = nullptr,
              CWnd* parent = nullptr);
  virtual INT_PTR DoModal();
  CString GetPathName() const { return CString(file_.data()); }
  CString GetFileName() const;
  CString GetFileTitle() const;
  OPENFILENAMEA m_ofn;

  // Tests answer file dialogs without a window: each queued answer is one dialog's result,
  // a path for OK or null for Cancel.
  static void QueueTestAnswer(const char* path);
  static void ClearTestAnswers();

 private:
  BOOL open_;
  std::vector<char> file_;
  std::string filter_;
  std::string defaultExt_;
};

// ---------------------------------------------------------------------------------------------
class CCommandLineInfo {
 public:
  enum { FileNew, FileOpen, FilePrint, FilePrintTo, FileDDE, AppRegister, AppUnregister, FileNothing = -1 };
  virtual ~CCommandLineInfo() = default;
  virtual void ParseParam(const char* param, BOOL flag, BOOL last);
  int m_nShellCommand = FileNew;
  CString m_strFileName;
  BOOL m_bRunEmbedded = FALSE;
  BOOL m_bRunAutomated = FALSE;
};

// ---------------------------------------------------------------------------------------------
class CWinApp {
 public:
  explicit CWinApp(const char* appName = nullptr);
  virtual ~CWinApp();
  CWinApp(const CWinApp&) = delete;
  CWinApp& operator=(const CWinApp&) = delete;

  virtual BOOL InitInstance() { return TRUE; }
  // The default answers the exit code of the message loop.
  virtual int ExitInstance() { return exitCode_; }
  // The message loop; ends with ExitInstance.
  virtual int Run();
  // Offers a message to the top-level window of ours it is meant for.
  virtual BOOL PreTranslateMessage(MSG* msg);

  // Calls ParseParam for every argument after the program name; a leading '/' or '-' makes
  // a flag (given without it).
  void ParseCommandLine(CCommandLineInfo& info);
  static void ParseArguments(CCommandLineInfo& info, int argc, char** argv);
  // The register and unregister commands answer FALSE (the program ends); the others TRUE.
  virtual BOOL ProcessShellCommand(CCommandLineInfo& info);

  void SetRegistryKey(const char* company);
  void LoadStdProfileSettings(UINT maxRecentFiles = 4);
  CString GetProfileString(const char* section, const char* entry, const char* defaultValue = nullptr);
  BOOL WriteProfileString(const char* section, const char* entry, const char* value);
  UINT GetProfileInt(const char* section, const char* entry, int defaultValue);
  BOOL WriteProfileInt(const char* section, const char* entry, int value);
  // "Software\<company>\<application>" below HKEY_CURRENT_USER.
  CString GetAppRegistryPath() const;

  const char* m_pszAppName = nullptr;
  const char* m_pszRegistryKey = nullptr;
  const char* m_pszProfileName = nullptr;
  const char* m_lpCmdLine = nullptr;
  HINSTANCE m_hInstance = nullptr;
  CWnd* m_pMainWnd = nullptr;
  int m_nCmdShow = SW_SHOWNORMAL;
  UINT m_nMaxRecentFiles = 0;

 private:
  CString appName_;
  CString registryKey_;
  int exitCode_ = 0;
  CWinApp* previous_;  // a program has one; a test may make a second one for a while
};

CWinApp* AfxGetApp();
CWnd* AfxGetMainWnd();
HINSTANCE AfxGetInstanceHandle();
HINSTANCE AfxGetResourceHandle();
int AfxMessageBox(const char* text, UINT type = MB_OK);
int AfxMessageBox(UINT stringId, UINT type = MB_OK);
// The framework's entry, called from the program's WinMain: InitInstance, then the message loop
// when it succeeded, then ExitInstance.
int AfxWinMain(HINSTANCE instance, const char* commandLine, int show);
