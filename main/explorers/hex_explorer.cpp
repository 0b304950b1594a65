#include "hex_explorer.h"

#include <commctrl.h>

#include <algorithm>

namespace {

// While a modal window of the explorer's own is open without an operation around it (a message
// box), the explorer closed with the frame waits: this timer looks again.
constexpr UINT_PTR kCloseLaterTimer = 0x4C58;
constexpr UINT_PTR kAutoUpdateTimer = 0x4C59;
// Rows the wheel scrolls a notch.
constexpr long kWheelRows = 4;

// The explorers that live, in the order they were made.
std::vector<CHexExplorer*>& Explorers() {
  static std::vector<CHexExplorer*> explorers;
  return explorers;
}

bool IsEditControl(HWND window) {
  char name[16] = "";
  ::GetClassNameA(window, name, sizeof name);
  return lstrcmpiA(name, "Edit") == 0;
}

}  // namespace

CHexExplorer::CHexExplorer(UINT templateId, const Controls& controls)
    : CDialog(templateId, nullptr), controls_(controls) {
  Explorers().push_back(this);
}

CHexExplorer::~CHexExplorer() {
  std::vector<CHexExplorer*>& explorers = Explorers();
  explorers.erase(std::remove(explorers.begin(), explorers.end(), this), explorers.end());
  if (font_) DeleteObject(font_);
}

// ---- operations and the frame ------------------------------------------------------------------
bool CHexExplorer::EndOperation() {
  if (--m_Busy > 0 || !m_bClosing) return true;
  return !DestroyWhenFree();
}

bool CHexExplorer::RunTool(CDialog& tool, INT_PTR* answer) {
  BeginOperation();
  const INT_PTR result = tool.DoModal();
  if (answer) *answer = result;
  return EndOperation();
}

bool CHexExplorer::DestroyWhenFree() {
  if (HoldsTheFrame()) {
    SetTimer(kCloseLaterTimer, 20);
    return false;
  }
  DestroyWindow();  // the explorer deletes itself when its window has gone
  return true;
}

bool CHexExplorer::HoldsTheFrame() const { return m_Busy > 0 || (m_hWnd && !::IsWindowEnabled(m_hWnd)); }

void CHexExplorer::CloseWithTheFrame() {
  if (!m_hWnd) return;
  SetAutoUpdate(0);
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

bool CHexExplorer::Close() {
  if (HoldsTheFrame() || (SearchRefusesClose() && SearchRuns())) {
    Tell("Please stop the running operation before closing the explorer.");
    return false;
  }
  SetAutoUpdate(0);
  DestroyWindow();
  return true;
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

// ---- the grid ----------------------------------------------------------------------------------------
void CHexExplorer::SetGridFont(const char* face, DWORD pitchAndFamily) {
  if (!font_)
    font_ = CreateFontA(-11, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, ANSI_CHARSET, OUT_DEFAULT_PRECIS,
                        CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, pitchAndFamily, face);
  if (font_) m_Grid.SetFont(font_);
}

void CHexExplorer::AnchorToBottom(const std::vector<int>& anchored, int parts, int whole) {
  ::GetWindowRect(m_hWnd, &firstRect_);
  shrinkParts_ = parts;
  shrinkWhole_ = whole > 0 ? whole : 1;
  anchors_.Capture(m_hWnd, anchored, controls_.grid);
}

void CHexExplorer::Scroll(short wheelDelta) {
  // A notch scrolls a few rows; a finer wheel's part of a notch scrolls as much.
  long notches = wheelDelta / WHEEL_DELTA;
  if (notches == 0) notches = wheelDelta < 0 ? -1 : 1;
  wheelTopRow_ = std::max(1L, std::min(DataRows(), wheelTopRow_ - kWheelRows * notches));
  m_Grid.SetTopRow(wheelTopRow_);
}

void CHexExplorer::SetAutoUpdate(int index) {
  ::SendDlgItemMessageA(m_hWnd, controls_.autoUpdate, CB_SETCURSEL, static_cast<WPARAM>(index), 0);
  KillTimer(kAutoUpdateTimer);
  if (index == 1) SetTimer(kAutoUpdateTimer, 500);
  if (index == 2) SetTimer(kAutoUpdateTimer, 1000);
}

// ---- the in-place editor -------------------------------------------------------------------------------
bool CHexExplorer::EditorVisible() const {
  return ::IsWindowVisible(::GetDlgItem(m_hWnd, controls_.editor)) != FALSE;
}

bool CHexExplorer::OpenEditor(long row, long col) {
  if (!EditableCell(row, col)) return false;
  HideEditor();
  HWND editor = ::GetDlgItem(m_hWnd, controls_.editor);
  ::SendMessageA(editor, EM_LIMITTEXT, static_cast<WPARAM>(CellDigits()), 0);
  m_EditRow = row;
  m_EditCol = col;
  OpenCellEditor(m_Grid, m_hWnd, editor, row, col, 1);
  return true;
}

void CHexExplorer::CommitEditor() {
  // The grid may have changed its shape under an open editor (another window size or bus width).
  if (committing_ || !EditableCell(m_EditRow, m_EditCol)) return;
  HWND editor = ::GetDlgItem(m_hWnd, controls_.editor);
  char typed[8] = "";
  ::GetWindowTextA(editor, typed, sizeof typed);
  const std::string cell = m_Grid.GetTextMatrix(m_EditRow, m_EditCol);
  if (cell == typed) return;
  committing_ = true;
  const std::string refusal = StoreCell(m_EditRow, m_EditCol, typed);
  if (!refusal.empty()) {
    // A typo must not become a 0 that a program then writes: the cell keeps its value.
    ::SetWindowTextA(editor, cell.c_str());
    Tell(refusal.c_str());
  }
  committing_ = false;
}

void CHexExplorer::HideEditor() {
  HWND editor = ::GetDlgItem(m_hWnd, controls_.editor);
  if (!editor || !::IsWindowVisible(editor)) return;
  CommitEditor();
  const bool focused = ::GetFocus() == editor;
  ::ShowWindow(editor, SW_HIDE);
  m_EditRow = m_EditCol = 0;
  if (focused) ::SetFocus(m_Grid.GetSafeHwnd());
}

// ---- find, import, export ----------------------------------------------------------------------------
void CHexExplorer::ToggleFind() {
  CHexFindDlg* find = FindWindow();
  if (!find) {
    find = NewFindWindow();
    if (!find->Create(find->GetTemplateId(), nullptr)) {
      ForgetFindWindow();
      delete find;
      return;
    }
  }
  if (!find->m_bRunning) {
    find->UpdateData(TRUE);  // keeps what the user typed
    find->StartAtTheExplorer();
    find->SetProgress(0);
    find->UpdateData(FALSE);
  }
  ToggleBeside(m_hWnd, find->m_hWnd);
}

bool CHexExplorer::SearchRuns() const {
  const CHexFindDlg* find = FindWindow();
  return find && find->m_bRunning;
}

void CHexExplorer::StopSearch() {
  CHexFindDlg* find = FindWindow();
  if (!find) return;
  find->Stop();
  find->ShowWindow(SW_HIDE);
}

void CHexExplorer::LetTheFindWindowGo() {
  CHexFindDlg* find = FindWindow();
  if (!find) return;
  ForgetFindWindow();
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

void CHexExplorer::RunTransfer(bool import) {
  HideEditor();
  if (!MayTransfer(import)) return;
  std::unique_ptr<CDialog> tool = MakeTransferDialog(import);
  if (RunTool(*tool) && import) Refresh();
}

// ---- messages ------------------------------------------------------------------------------------------
BOOL CHexExplorer::OnMessage(UINT msg, WPARAM wp, LPARAM lp, LRESULT* result) {
  switch (msg) {
    case WM_TIMER:
      if (wp == kAutoUpdateTimer) {
        Refresh();
        *result = 0;
        return TRUE;
      }
      if (wp == kCloseLaterTimer) {
        // Messages come here from a loop that no code of the explorer runs, or from a modal
        // window's loop (the explorer is disabled then) or an operation's (then it is busy).
        if (!HoldsTheFrame()) {
          KillTimer(kCloseLaterTimer);
          DestroyWindow();
        }
        *result = 0;
        return TRUE;
      }
      break;
    case WM_MOUSEWHEEL:
      Scroll(GET_WHEEL_DELTA_WPARAM(wp));
      *result = 0;
      return TRUE;
    case WM_GETMINMAXINFO:
      // The grid's columns have one width: only the height changes.
      if (shrinkParts_ > 0 && firstRect_.right > firstRect_.left) {
        auto* info = reinterpret_cast<MINMAXINFO*>(lp);
        const LONG width = firstRect_.right - firstRect_.left;
        info->ptMinTrackSize.x = info->ptMaxTrackSize.x = width;
        info->ptMinTrackSize.y = (firstRect_.bottom - firstRect_.top) * shrinkParts_ / shrinkWhole_;
        *result = 0;
        return TRUE;
      }
      break;
    case WM_SIZE:
      HideEditor();
      anchors_.Apply();
      break;
    case WM_MOVE: HideEditor(); break;
    case WM_DESTROY:
      KillTimer(kAutoUpdateTimer);
      LetTheFindWindowGo();
      break;
    default: break;
  }
  return CDialog::OnMessage(msg, wp, lp, result);
}

BOOL CHexExplorer::OnCommand(WPARAM wp, LPARAM lp) {
  const int id = LOWORD(wp);
  if (id == controls_.find) {
    ToggleFind();
  } else if (id == controls_.importButton) {
    RunImport();
  } else if (id == controls_.exportButton) {
    RunExport();
  } else if (id == controls_.autoUpdate) {
    if (HIWORD(wp) == CBN_SELCHANGE)
      SetAutoUpdate(static_cast<int>(::SendDlgItemMessageA(m_hWnd, id, CB_GETCURSEL, 0, 0)));
  } else if (id == controls_.editor) {
    if (HIWORD(wp) == EN_KILLFOCUS) CommitEditor();
  } else {
    return CDialog::OnCommand(wp, lp);
  }
  return TRUE;
}

namespace {

// The step button a key presses, or 0.
int StepButton(WPARAM key, const CHexExplorer::Controls& c) {
  switch (key) {
    case VK_HOME: return c.first;
    case VK_PRIOR: return c.previous;
    case VK_NEXT: return c.next;
    case VK_END: return c.last;
    default: return 0;
  }
}

}  // namespace

BOOL CHexExplorer::OnNotify(WPARAM wp, LPARAM lp, LRESULT* result) {
  const auto* note = reinterpret_cast<const LXGRIDNOTIFY*>(lp);
  if (!note || static_cast<int>(note->hdr.idFrom) != controls_.grid) return CDialog::OnNotify(wp, lp, result);
  switch (note->hdr.code) {
    case LXGN_DBLCLICK: OpenEditor(note->row, note->col); break;
    case LXGN_SCROLL:
    case LXGN_SELCHANGE: HideEditor(); break;
    case LXGN_KEYDOWN:
      if (EditorVisible()) break;
      if (note->key == VK_RETURN) {
        OpenEditor(m_Grid.GetRow(), m_Grid.GetCol());
      } else if (const int button = StepButton(note->key, controls_)) {
        SendMessage(WM_COMMAND, MAKEWPARAM(button, BN_CLICKED), 0);
      }
      break;
    default: return CDialog::OnNotify(wp, lp, result);
  }
  *result = 0;
  return TRUE;
}

BOOL CHexExplorer::PreTranslateMessage(MSG* msg) {
  if (msg->message == WM_KEYDOWN && (msg->hwnd == m_hWnd || ::IsChild(m_hWnd, msg->hwnd))) {
    HWND grid = m_Grid.GetSafeHwnd();
    if (EditorVisible()) {
      if (msg->wParam == VK_RETURN) {
        HideEditor();
        ::SetFocus(grid);
        return TRUE;
      }
    } else if (msg->wParam == VK_RETURN) {
      if (msg->hwnd == grid || ::GetFocus() == grid) {
        OpenEditor(m_Grid.GetRow(), m_Grid.GetCol());
        return TRUE;
      }
    } else if (const int button = StepButton(msg->wParam, controls_)) {
      // In a text box (the number to go to) the keys move the caret.
      if (!IsEditControl(msg->hwnd)) {
        SendMessage(WM_COMMAND, MAKEWPARAM(button, BN_CLICKED), 0);
        return TRUE;
      }
    }
  }
  return CDialog::PreTranslateMessage(msg);
}

// ---- the find window -----------------------------------------------------------------------------------
BOOL CHexFindDlg::OnInitDialog() {
  CDialog::OnInitDialog();
  ::SendDlgItemMessageA(m_hWnd, controls_.progress, PBM_SETRANGE32, 0, 100);
  return TRUE;
}

BOOL CHexFindDlg::OnCommand(WPARAM wp, LPARAM lp) {
  const int id = LOWORD(wp);
  if (id == controls_.findNext) {
    FindNext();
  } else if (id == controls_.stop) {
    Stop();
  } else {
    return CDialog::OnCommand(wp, lp);
  }
  return TRUE;
}

void CHexFindDlg::OnOK() {
  if (controls_.close == IDOK)
    Close();
  else
    FindNext();
}

void CHexFindDlg::PostNcDestroy() {
  if (!m_pExplorer) delete this;
}

void CHexFindDlg::SetProgress(int percent) {
  ::SendDlgItemMessageA(m_hWnd, controls_.progress, PBM_SETPOS, static_cast<WPARAM>(percent), 0);
}

void CHexFindDlg::ButtonsIdle(bool idle) {
  ::EnableWindow(::GetDlgItem(m_hWnd, controls_.findNext), idle);
  ::EnableWindow(::GetDlgItem(m_hWnd, controls_.close), idle);
  ::EnableWindow(::GetDlgItem(m_hWnd, controls_.stop), !idle);
}

bool CHexFindDlg::SearchEnded() {
  m_bRunning = false;
  if (!m_pExplorer) {
    // The explorer went while the search ran; this window belongs to nobody now.
    DestroyWindow();
    return false;
  }
  ButtonsIdle(true);
  return true;
}

void CHexFindDlg::Close() {
  m_bRunning = false;
  ShowWindow(SW_HIDE);
  if (m_pExplorer && m_pExplorer->m_hWnd)
    ::SetWindowPos(m_pExplorer->m_hWnd, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
}
