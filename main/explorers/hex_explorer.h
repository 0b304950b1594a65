// What the hex explorers (NOR, NAND and sector) share as windows: the rule for running a loop or a
// modal tool under an explorer while the frame may close, and the list of the explorers that live.
#pragma once
#include "lxmfc.h"

class CHexExplorer : public CDialog {
 public:
  explicit CHexExplorer(UINT templateId);
  ~CHexExplorer() override;

  // Around an operation that waits in a message loop with the explorer on its stack: a dialog,
  // sheet or message box it opened, or a loop that pumps messages. EndOperation answers false
  // when the explorer was closed meanwhile and is gone now: the caller must not touch it any more.
  void BeginOperation() { ++m_Busy; }
  bool EndOperation();
  // The frame must not close now: an operation of the explorer's own runs, or a modal window it
  // owns (which disables it) is open. A running search does not hold the frame: it stops.
  bool HoldsTheFrame() const;
  // The frame goes: timers off, a running search stopped. An idle explorer is destroyed at once;
  // a busy one is only hidden and goes when its last operation returns (EndOperation), or, under
  // a modal window of its own (a message box), once that window has gone.
  void CloseWithTheFrame();

  // Every explorer of the process: does one of them hold the frame; close them all with it.
  static bool AnyHoldsTheFrame();
  static void CloseAllWithTheFrame();

  // Operations that pump messages are running: the explorer must not go away under them.
  int m_Busy = 0;
  // Closed with the frame while busy: goes when the last operation returns.
  bool m_bClosing = false;

 protected:
  // Derived explorers pass the messages they do not handle on to this one.
  BOOL OnMessage(UINT msg, WPARAM wp, LPARAM lp, LRESULT* result) override;
  // Auto update off.
  virtual void StopTimers() = 0;
  // A running search stops and its window hides; the window goes once the search has returned.
  virtual void StopSearch() = 0;

 private:
  // Destroys the explorer now (true) or, while a modal window holds it, from a timer later.
  bool DestroyWhenFree();
};

// The explorer goes and its find window with it. A search that runs (the explorer went from inside
// its message pump) stops and the window goes once the search has returned; the window, belonging
// to nobody then, deletes itself when it is destroyed.
template <class Find>
void LetTheFindWindowGo(Find*& slot) {
  Find* find = slot;
  if (!find) return;
  slot = nullptr;
  find->m_pExplorer = nullptr;
  if (find->m_bRunning) {
    find->m_bRunning = false;
    find->ShowWindow(SW_HIDE);
  } else if (find->m_hWnd) {
    find->DestroyWindow();
  } else {
    delete find;
  }
}
