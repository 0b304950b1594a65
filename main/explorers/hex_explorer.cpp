#include "hex_explorer.h"

#include <algorithm>
#include <vector>

namespace {

// While a modal window of the explorer's own is open without an operation around it (a message
// box), the explorer closed with the frame waits: this timer looks again.
constexpr UINT_PTR kCloseLaterTimer = 0x4C58;

// The explorers that live, in the order they were made.
std::vector<CHexExplorer*>& Explorers() {
  static std::vector<CHexExplorer*> explorers;
  return explorers;
}

}  // namespace

CHexExplorer::CHexExplorer(UINT templateId) : CDialog(templateId, nullptr) { Explorers().push_back(this); }

CHexExplorer::~CHexExplorer() {
  std::vector<CHexExplorer*>& explorers = Explorers();
  explorers.erase(std::remove(explorers.begin(), explorers.end(), this), explorers.end());
}

bool CHexExplorer::EndOperation() {
  if (--m_Busy > 0 || !m_bClosing) return true;
  return !DestroyWhenFree();
}

bool CHexExplorer::DestroyWhenFree() {
  if (HoldsTheFrame()) {
    SetTimer(kCloseLaterTimer, 20);
    return false;
  }
  DestroyWindow();  // the explorer deletes itself when its window has gone
  return true;
}

BOOL CHexExplorer::OnMessage(UINT msg, WPARAM wp, LPARAM lp, LRESULT* result) {
  if (msg == WM_TIMER && wp == kCloseLaterTimer) {
    // Messages come here from a loop that no code of the explorer runs, or from a modal
    // window's loop (the explorer is disabled then) or an operation's (then it is busy).
    if (!HoldsTheFrame()) {
      KillTimer(kCloseLaterTimer);
      DestroyWindow();
    }
    *result = 0;
    return TRUE;
  }
  return CDialog::OnMessage(msg, wp, lp, result);
}

bool CHexExplorer::HoldsTheFrame() const { return m_Busy > 0 || (m_hWnd && !::IsWindowEnabled(m_hWnd)); }

void CHexExplorer::CloseWithTheFrame() {
  if (!m_hWnd) return;
  StopTimers();
  if (!HoldsTheFrame()) {
    DestroyWindow();
    return;
  }
  m_bClosing = true;
  StopSearch();
  ShowWindow(SW_HIDE);
  // Busy: the last operation's end destroys it; a modal window alone: the timer does.
  if (m_Busy == 0) DestroyWhenFree();
}

bool CHexExplorer::AnyHoldsTheFrame() {
  for (CHexExplorer* explorer : Explorers())
    if (explorer->HoldsTheFrame()) return true;
  return false;
}

void CHexExplorer::CloseAllWithTheFrame() {
  // Closing one may delete it: the list is walked on a copy, each one checked to live still.
  const std::vector<CHexExplorer*> explorers = Explorers();
  for (CHexExplorer* explorer : explorers) {
    const std::vector<CHexExplorer*>& living = Explorers();
    if (std::find(living.begin(), living.end(), explorer) != living.end()) explorer->CloseWithTheFrame();
  }
}
