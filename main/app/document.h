// Thread windows: each MDI child is a read-only rich-edit view of its own document; a line
// typed into the command dialog runs on a command thread of the active window, through the
// file-system shell or the driver consoles, and everything it prints lands in that view.
#pragma once
#include <atomic>
#include <cstdint>
#include <string>

#include "lxmfc.h"
#include "module_loader.h"
#include "resource.h"

class CMainFrame;
class CChildFrame;

#define WM_LX_START_COMMAND (WM_USER + 1)
#define WM_LX_FORGET_VIEW (WM_USER + 2)
// Appends the text (LPARAM, const char*) at the end of the view, on the view's own thread.
#define WM_LX_APPEND_TEXT (WM_USER + 30)

// The document of a thread window.
class CBrambDoc {
 public:
  CBrambDoc();
  // The new-document step: the title "Thread #%d" and a silent read of the options.
  BOOL OnNewDocument();
  int32_t m_nThreadNumber;
  CString m_Title;
  CExtEccModule m_EccModule;
};

// The view: a read-only rich edit in Courier New 9 pt.
class CBrambView : public CRichEditCtrl {
 public:
  BOOL CreateView(CWnd* parent);
  void OnInitialUpdate();
  // Moves the selection to the end and replaces it with the text.
  void AppendText(const char* text);
  LRESULT WindowProc(UINT msg, WPARAM wp, LPARAM lp) override;
  CString GetText() const;
};

// One command line on its own thread; lives for that line only.
class CBrambThread {
 public:
  CBrambThread(CChildFrame* owner, const CString& line);
  // Creates the system thread suspended, then resumes it; false when it cannot be created.
  bool Start();
  CChildFrame* m_pOwner;
  CString m_Line;
  // The options' driver paths as they were when the line was submitted.
  CString m_NorDriverPath;
  CString m_VeltanDriverPath;

 private:
  static DWORD WINAPI Run(void* self);
};

class CChildFrame : public CWnd {
 public:
  // Creates the MDI child in the frame's client with its view and document.
  static CChildFrame* CreateThreadWindow(CMainFrame* frame);
  LRESULT WindowProc(UINT msg, WPARAM wp, LPARAM lp) override;
  void PostNcDestroy() override { delete this; }
  // Busy from the moment a line is submitted: its start message may still wait in the queue, and a
  // second line submitted meanwhile must neither replace it nor be lost.
  bool IsBusy() const { return m_pRunningThread.load() != nullptr || m_bStartPending.load(); }
  // The submitted line on a new thread; false (and nothing started) while one still runs.
  bool StartCommand();
  // The window became the active one: its view is current and the command dialog names it.
  void OnActivated();

  CString m_CommandText;
  std::atomic<CBrambThread*> m_pRunningThread{nullptr};
  std::atomic<bool> m_bStartPending{false};
  CBrambView* m_pView = nullptr;
  // The shell's current folder of this window.
  std::string m_CurrentFolder = "/a/";
  CBrambDoc m_Doc;
  CBrambView m_View;
};

// The command dialog: a history combo box and Submit.
class CCommandDlg : public CDialog {
 public:
  CCommandDlg() : CDialog(IDD_COMMAND) {}
  BOOL OnInitDialog() override;
  BOOL OnCommand(WPARAM wp, LPARAM lp) override;
  // Resizing: wider or narrower, never below the template's size, the height fixed.
  BOOL OnMessage(UINT msg, WPARAM wp, LPARAM lp, LRESULT* result) override;
  BOOL PreTranslateMessage(MSG* msg) override;
  void OnSubmit();
  void AddHistory(const char* line);
  int HistoryCount() const;
  CString HistoryEntry(int index) const;
  // The combo box with the line and its history, null before the dialog's window exists.
  HWND Combo() const { return controls_[0]; }
  // Entries the history keeps at most.
  static constexpr int kHistoryLimit = 1001;
  // Whether the dialog has been shown at a place of its own: the first showing puts it inside
  // the frame, later ones leave it where the user moved it.
  bool m_bPlaced = false;

 private:
  // Combo, Submit and Exit as created. Under Wine a control of this dialog was seen carrying the
  // MDI client's child numbering (0xFF00 + n) in place of its own id, so that a lookup by id
  // found nothing: the dialog never looks its controls up again.
  HWND controls_[3] = {nullptr, nullptr, nullptr};
  SIZE minimum_ = {0, 0};  // the window's size from the template
  int rightGap_[3] = {0, 0, 0};  // combo, Submit, Exit: distance of their right edge to the client's
};

// Formatted output of a command thread into its window's view (no output limit; the text is
// formatted into a buffer of its own length). Returns 0.
int ThreadLogPrintf(CChildFrame* owner, const char* format, ...);
// Runs the owner's command line: the shell, then the consoles; echoes the outcome.
void ExecuteCommandLine(CChildFrame* owner, const CString& line, const CString& norPath, const CString& veltanPath);
// Open thread windows of the program.
extern std::atomic<int> g_nThreadWindows;
