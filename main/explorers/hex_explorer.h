// What the hex explorers (NOR, NAND and sector) share as windows: the grid with its in-place cell
// editor, the wheel and the stepping keys, auto update, the find window they own, the import and
// export tools, the rule for running a loop or a modal tool under an explorer while the frame may
// close, and the list of the explorers that live. Each explorer adds its own device reads and
// writes and its own columns.
#pragma once
#include <memory>
#include <string>
#include <vector>

#include "hex_grid_tools.h"
#include "lumivex/grid.h"
#include "lxmfc.h"

class CHexFindDlg;

class CHexExplorer : public CDialog {
 public:
  // The controls every explorer has, by their ids in its template.
  struct Controls {
    int grid, editor;
    int first, previous, next, last;  // the step buttons, which the keys press too
    int find, importButton, exportButton, autoUpdate;
  };
  CHexExplorer(UINT templateId, const Controls& controls);
  ~CHexExplorer() override;

  // Around an operation that waits in a message loop with the explorer on its stack: a dialog,
  // sheet or message box it opened, or a loop that pumps messages. EndOperation answers false
  // when the explorer was closed meanwhile and is gone now: the caller must not touch it any more.
  void BeginOperation() { ++m_Busy; }
  bool EndOperation();
  // A modal tool of the explorer's own as such an operation; false when the explorer went
  // meanwhile. `answer`, when given, gets the tool's result.
  bool RunTool(CDialog& tool, INT_PTR* answer = nullptr);
  // The frame must not close now: an operation of the explorer's own runs, or a modal window it
  // owns (which disables it) is open. A running search does not hold the frame: it stops.
  bool HoldsTheFrame() const;
  // The frame goes: timers off, a running search stopped. An idle explorer is destroyed at once;
  // a busy one is only hidden and goes when its last operation returns (EndOperation), or, under
  // a modal window of its own (a message box), once that window has gone.
  void CloseWithTheFrame();
  // The explorer's own Close and Esc: refused while an operation of its own runs (or its search,
  // where the explorer says so); a running search else stops and its window goes afterwards.
  bool Close();

  // Every explorer of the process: does one of them hold the frame; close them all with it.
  static bool AnyHoldsTheFrame();
  static void CloseAllWithTheFrame();

  // The in-place editor over a cell of the grid. Only the explorer's editable cells open it;
  // what was typed goes into the explorer's data when the editor closes or loses the focus, and a
  // typo is refused with a message and leaves the cell as it was.
  bool OpenEditor(long row, long col);
  void CommitEditor();
  void HideEditor();
  bool EditorVisible() const;

  // The find window beside the explorer, made at its first use, shown or hidden; a search that
  // does not run starts again from what the explorer shows.
  void ToggleFind();
  // Import and export through the explorer's modal dialogs; what an import wrote is read again.
  void RunImport() { RunTransfer(true); }
  void RunExport() { RunTransfer(false); }
  // "None", "0.5 sec" or "1 sec": what the explorer shows is read again at that pace.
  void SetAutoUpdate(int index);

  // What the explorer shows, read and shown again (auto update, after an import or a tool).
  virtual void Refresh() = 0;

  // Derived explorers pass the messages they do not handle on to these.
  BOOL OnMessage(UINT msg, WPARAM wp, LPARAM lp, LRESULT* result) override;
  BOOL OnCommand(WPARAM wp, LPARAM lp) override;
  BOOL OnNotify(WPARAM wp, LPARAM lp, LRESULT* result) override;
  BOOL PreTranslateMessage(MSG* msg) override;

  CLxGrid m_Grid;
  long m_EditRow = 0, m_EditCol = 0;
  // Operations that pump messages are running: the explorer must not go away under them.
  int m_Busy = 0;
  // Closed with the frame while busy: goes when the last operation returns.
  bool m_bClosing = false;

 protected:
  // The grid's font, made here and freed with the explorer.
  void SetGridFont(const char* face, DWORD pitchAndFamily);
  // Keeps the width the window has now, lets its height shrink to `parts` / `whole` of today's and
  // keeps the controls `anchored` at their distance to the bottom while the grid takes the rest.
  void AnchorToBottom(const std::vector<int>& anchored, int parts, int whole);

  // The cells the editor may open on, the hexadecimal digits a cell takes, the rows the wheel
  // scrolls through.
  virtual bool EditableCell(long row, long col) const = 0;
  virtual int CellDigits() const { return 2; }
  virtual long DataRows() const = 0;
  // The typed text into the cell and the explorer's data: empty when stored, else why not.
  virtual std::string StoreCell(long row, long col, const std::string& typed) = 0;
  // A plain message box of the explorer's.
  virtual void Tell(const char* text) { MessageBox(text); }
  // Does a running search refuse the explorer's own Close?
  virtual bool SearchRefusesClose() const { return false; }
  // Before an import or export: may it start (the user confirmed, the mode allows it)?
  virtual bool MayTransfer(bool import) = 0;
  // The explorer's import or export dialog, starting where the explorer is.
  virtual std::unique_ptr<CDialog> MakeTransferDialog(bool import) = 0;

  // The find window of the explorer's kind (see CHexExplorerWithFind).
  virtual CHexFindDlg* FindWindow() const = 0;
  virtual CHexFindDlg* NewFindWindow() = 0;
  virtual void ForgetFindWindow() = 0;
  // The explorer goes and its find window with it. A search that runs (the explorer went from
  // inside its message pump) stops and the window goes once the search has returned; the window,
  // belonging to nobody then, deletes itself when it is destroyed.
  void LetTheFindWindowGo();

 private:
  void RunTransfer(bool import);
  // A running search stops and its window hides; the window goes once the search has returned.
  void StopSearch();
  bool SearchRuns() const;
  // Destroys the explorer now (true) or, while a modal window holds it, from a timer later.
  bool DestroyWhenFree();
  void Scroll(short wheelDelta);

  Controls controls_;
  bool committing_ = false;
  long wheelTopRow_ = 1;
  HFONT font_ = nullptr;
  RECT firstRect_ = {};
  int shrinkParts_ = 0, shrinkWhole_ = 1;
  BottomAnchors anchors_;
};

// An explorer whose find window is a `Find` (made with the explorer as its only argument).
template <class Find>
class CHexExplorerWithFind : public CHexExplorer {
 public:
  using CHexExplorer::CHexExplorer;
  ~CHexExplorerWithFind() override { LetTheFindWindowGo(); }

  Find* m_pFindDlg = nullptr;

 protected:
  CHexFindDlg* FindWindow() const final { return m_pFindDlg; }
  CHexFindDlg* NewFindWindow() final { return m_pFindDlg = new Find(this); }
  void ForgetFindWindow() final { m_pFindDlg = nullptr; }
};

// What the find windows of the explorers share: the buttons while a search runs, the progress, the
// way a search runs while the explorer may go, closing and belonging to the explorer.
class CHexFindDlg : public CDialog {
 public:
  struct Controls {
    int findNext, stop, close, progress;
  };
  CHexFindDlg(UINT templateId, CHexExplorer* explorer, const Controls& controls)
      : CDialog(templateId, nullptr), m_pExplorer(explorer), controls_(controls) {}
  BOOL OnInitDialog() override;
  BOOL OnCommand(WPARAM wp, LPARAM lp) override;
  // Enter in the fields presses the default button, "Find next", unless the window's close
  // button is IDOK.
  void OnOK() override;
  void OnCancel() override { Close(); }
  // The explorer owns the window while it exists; after it, the window deletes itself.
  void PostNcDestroy() override;

  virtual void FindNext() = 0;
  // A new search from what the explorer shows now.
  virtual void StartAtTheExplorer() = 0;
  void Stop() { m_bRunning = false; }
  // Stops a running search, hides the window and brings the explorer to the top.
  void Close();
  void SetProgress(int percent);

  CHexExplorer* m_pExplorer;  // null once the explorer has gone
  bool m_bRunning = false;

 protected:
  // Runs `search` (which pumps messages and looks at m_bRunning) with the buttons set for it.
  // False when the explorer went meanwhile: the window is destroyed then and must not be touched.
  template <class Search>
  bool RunSearch(Search search) {
    m_bRunning = true;
    ButtonsIdle(false);
    search();
    return SearchEnded();
  }

 private:
  bool SearchEnded();
  void ButtonsIdle(bool idle);
  Controls controls_;
};
