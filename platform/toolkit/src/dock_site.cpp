// The frame's docking panes as windows: docked panes are children of the frame placed by
// the portable layout, floating ones live in a tool window of their own owned by the frame.
#include "lxtoolkit.h"

using lx::dock::Pane;

namespace {

const char kFloatClass[] = "LxToolkitFloatingPane";
const char kSiteProp[] = "LxDockSite";

lx::dock::Rect ToDock(const RECT& r) { return {r.left, r.top, r.right, r.bottom}; }
RECT ToWin(const lx::dock::Rect& r) { return {r.left, r.top, r.right, r.bottom}; }

// The frame's note to itself to put its floating panes above it again.
UINT RaiseMessage() {
  static const UINT message = RegisterWindowMessageA("LxDockSiteRaiseFloating");
  return message;
}

constexpr UINT_PTR kRaiseTimer = 0x4C58;

RECT WorkArea() {
  RECT work = {0, 0, 1024, 768};
  SystemParametersInfoA(SPI_GETWORKAREA, 0, &work, 0);
  return work;
}

}  // namespace

void CExtDockSite::Attach(CWnd* frame, void (*relayout)(void*), void* context) {
  frame_ = frame;
  relayout_ = relayout;
  context_ = context;
}

void CExtDockSite::AddPane(CExtControlBar* bar, const Pane& defaults) {
  bar->m_pSite = this;
  bars_.push_back(bar);
  panes_.push_back(defaults);
  defaults_.push_back(defaults);
  floats_.push_back(nullptr);
}

int CExtDockSite::IndexOf(UINT id) const {
  for (size_t i = 0; i < panes_.size(); ++i)
    if (panes_[i].id == id) return static_cast<int>(i);
  return -1;
}

const Pane* CExtDockSite::FindPane(UINT id) const {
  int i = IndexOf(id);
  return i < 0 ? nullptr : &panes_[static_cast<size_t>(i)];
}

HWND CExtDockSite::FloatingWindow(UINT id) const {
  int i = IndexOf(id);
  return i < 0 ? nullptr : floats_[static_cast<size_t>(i)];
}

RECT CExtDockSite::Layout(const RECT& area) {
  area_ = area;
  layout_ = lx::dock::ComputeLayout(ToDock(area), panes_);
  for (size_t i = 0; i < panes_.size(); ++i) {
    const Pane& p = panes_[i];
    if (!p.visible || p.floating || !bars_[i]->m_hWnd) continue;
    const lx::dock::Rect& r = layout_.panes[i];
    ::MoveWindow(bars_[i]->m_hWnd, r.left, r.top, r.Width(), r.Height(), TRUE);
  }
  center_ = ToWin(layout_.center);
  if (frame_ && frame_->m_hWnd) frame_->Invalidate();  // the splitter gaps
  return center_;
}

bool CExtDockSite::IsPaneVisible(UINT id) const {
  const Pane* p = FindPane(id);
  return p && p->visible;
}

void CExtDockSite::EnsureFloatWindow(size_t index) {
  if (floats_[index] && ::IsWindow(floats_[index])) return;
  LxRegisterWindowClass(kFloatClass, FloatProc, COLOR_BTNFACE, false, CS_DBLCLKS);
  RECT r = ToWin(panes_[index].floatRect);
  HWND window = CreateWindowExA(WS_EX_TOOLWINDOW, kFloatClass, bars_[index]->m_title,
                                WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_THICKFRAME | WS_CLIPCHILDREN, r.left, r.top,
                                r.right - r.left, r.bottom - r.top, frame_ ? frame_->m_hWnd : nullptr, nullptr,
                                AfxGetInstanceHandle(), nullptr);
  if (!window) return;
  SetPropA(window, kSiteProp, this);
  SetWindowLongPtrA(window, GWLP_USERDATA, static_cast<LONG_PTR>(panes_[index].id));
  floats_[index] = window;
}

void CExtDockSite::Apply() {
  for (size_t i = 0; i < panes_.size(); ++i) {
    Pane& p = panes_[i];
    CExtControlBar* bar = bars_[i];
    if (!bar->m_hWnd) continue;
    if (p.floating && p.visible) {
      p.floatRect = lx::dock::KeepReachable(p.floatRect, ToDock(WorkArea()));
      EnsureFloatWindow(i);
      HWND window = floats_[i];
      if (!window) {  // no floating window to be had: the pane stays docked
        p.floating = false;
        continue;
      }
      bar->m_bFloating = true;
      if (::GetParent(bar->m_hWnd) != window) ::SetParent(bar->m_hWnd, window);
      RECT r = ToWin(p.floatRect);
      // Shown with the frame: a floating pane of a hidden frame waits for it.
      bool frameShown = frame_ && frame_->m_hWnd && (::GetWindowLongA(frame_->m_hWnd, GWL_STYLE) & WS_VISIBLE);
      ::SetWindowPos(window, HWND_TOP, r.left, r.top, r.right - r.left, r.bottom - r.top,
                     SWP_NOACTIVATE | (frameShown ? SWP_SHOWWINDOW : 0));
      RECT client;
      ::GetClientRect(window, &client);
      ::MoveWindow(bar->m_hWnd, 0, 0, client.right, client.bottom, TRUE);
      bar->ShowWindow(SW_SHOW);
      bar->Layout();
      continue;
    }
    if (frame_ && ::GetParent(bar->m_hWnd) != frame_->m_hWnd) ::SetParent(bar->m_hWnd, frame_->m_hWnd);
    bar->m_bFloating = false;
    if (floats_[i]) {
      ::DestroyWindow(floats_[i]);
      floats_[i] = nullptr;
    }
    bar->ShowWindow(p.visible ? SW_SHOW : SW_HIDE);
    bar->Layout();
    bar->Invalidate();
  }
  if (relayout_) relayout_(context_);
}

void CExtDockSite::ShowPane(UINT id, bool show) {
  int i = IndexOf(id);
  if (i < 0) return;
  panes_[static_cast<size_t>(i)].visible = show;
  Apply();
}

void CExtDockSite::DockPane(UINT id, lx::dock::Side side) {
  int i = IndexOf(id);
  if (i < 0) return;
  lx::dock::DockAtEdge(panes_, static_cast<size_t>(i), side);
  Apply();
}

void CExtDockSite::DockPaneBeside(UINT id, UINT target) {
  int i = IndexOf(id), t = IndexOf(target);
  if (i < 0 || t < 0 || i == t) return;
  lx::dock::DockBeside(panes_, static_cast<size_t>(i), static_cast<size_t>(t));
  Apply();
}

void CExtDockSite::FloatPane(UINT id, const RECT* screen) {
  int i = IndexOf(id);
  if (i < 0) return;
  Pane& p = panes_[static_cast<size_t>(i)];
  if (screen) {
    p.floatRect = ToDock(*screen);
  } else if (p.floatRect.Empty()) {
    // First time afloat: where it was docked, a little off, at its docked size.
    RECT r = ToWin(layout_.panes[static_cast<size_t>(i)]);
    if (IsRectEmpty(&r)) r = {area_.left + 40, area_.top + 40, area_.left + 340, area_.top + 240};
    if (frame_ && frame_->m_hWnd) MapWindowPoints(frame_->m_hWnd, nullptr, reinterpret_cast<POINT*>(&r), 2);
    OffsetRect(&r, 24, 24);
    r.bottom += GetSystemMetrics(SM_CYSMCAPTION);
    p.floatRect = ToDock(r);
  }
  p.floating = true;
  p.visible = true;
  Apply();
}

void CExtDockSite::ToggleFloating(UINT id) {
  int i = IndexOf(id);
  if (i < 0) return;
  Pane& p = panes_[static_cast<size_t>(i)];
  if (p.floating) {
    p.floating = false;
    p.visible = true;
    Apply();
  } else {
    FloatPane(id);
  }
}

void CExtDockSite::DropPane(UINT id, POINT screen, const RECT& outline) {
  int i = IndexOf(id);
  if (i < 0 || !frame_ || !frame_->m_hWnd) return;
  POINT at = screen;
  ::ScreenToClient(frame_->m_hWnd, &at);
  lx::dock::Drop drop = lx::dock::DropAt(ToDock(area_), layout_, panes_, static_cast<size_t>(i), at.x, at.y);
  switch (drop.kind) {
    case lx::dock::Drop::kEdge:
      DockPane(id, drop.side);
      break;
    case lx::dock::Drop::kBeside:
      DockPaneBeside(id, panes_[drop.target].id);
      break;
    case lx::dock::Drop::kFloat: {
      RECT r = outline;
      if (!panes_[static_cast<size_t>(i)].floating) r.bottom += GetSystemMetrics(SM_CYSMCAPTION);
      FloatPane(id, &r);
      break;
    }
  }
}

std::string CExtDockSite::SaveLayout() const {
  std::vector<Pane> panes = panes_;
  for (size_t i = 0; i < panes.size(); ++i) {
    RECT r;
    if (floats_[i] && ::IsWindow(floats_[i]) && ::GetWindowRect(floats_[i], &r)) panes[i].floatRect = ToDock(r);
  }
  return lx::dock::SerializeLayout(panes);
}

bool CExtDockSite::LoadLayout(const std::string& text) {
  std::vector<Pane> panes = panes_;
  if (!lx::dock::ParseLayout(text, panes)) return false;
  panes_ = panes;
  Apply();
  return true;
}

void CExtDockSite::ResetLayout() {
  panes_ = defaults_;
  Apply();
}

bool CExtDockSite::OnFrameMessage(UINT msg, WPARAM wp, LPARAM lp) {
  if (!frame_ || !frame_->m_hWnd) return false;
  HWND frame = frame_->m_hWnd;
  switch (msg) {
    case WM_SETCURSOR: {
      if (reinterpret_cast<HWND>(wp) != frame || LOWORD(lp) != HTCLIENT) return false;
      POINT pt;
      GetCursorPos(&pt);
      ::ScreenToClient(frame, &pt);
      int s = dragging_ >= 0 ? dragging_ : lx::dock::SplitterAt(layout_, pt.x, pt.y);
      if (s < 0) return false;
      const lx::dock::Layout& l = dragging_ >= 0 ? dragLayout_ : layout_;
      SetCursor(LoadCursor(nullptr, l.splitters[static_cast<size_t>(s)].vertical ? IDC_SIZEWE : IDC_SIZENS));
      return true;
    }
    case WM_LBUTTONDOWN: {
      int s = lx::dock::SplitterAt(layout_, LxPointX(lp), LxPointY(lp));
      if (s < 0) return false;
      dragging_ = s;
      dragFrom_ = {LxPointX(lp), LxPointY(lp)};
      dragLayout_ = layout_;
      dragPanes_ = panes_;
      SetCapture(frame);
      return true;
    }
    case WM_MOUSEMOVE:
      if (dragging_ < 0) return false;
      panes_ = dragPanes_;
      lx::dock::DragSplitter(panes_, ToDock(area_), dragLayout_, static_cast<size_t>(dragging_),
                             LxPointX(lp) - dragFrom_.x, LxPointY(lp) - dragFrom_.y);
      if (relayout_) relayout_(context_);
      return true;
    case WM_LBUTTONUP:
      if (dragging_ < 0) return false;
      dragging_ = -1;
      if (::GetCapture() == frame) ReleaseCapture();
      return true;
    case WM_CAPTURECHANGED:
      dragging_ = -1;
      return false;
    case WM_WINDOWPOSCHANGED: {
      // The frame came on the screen or to the front: its floating panes come with it and
      // stay above it (not every window manager keeps owned windows above their owner).
      UINT flags = reinterpret_cast<WINDOWPOS*>(lp)->flags;

      // Raised once the frame's own move is over: a window placed during it loses its place.
      if ((flags & SWP_SHOWWINDOW) || (!(flags & SWP_NOZORDER) && ::IsWindowVisible(frame)))
        ::PostMessageA(frame, RaiseMessage(), 0, 0);
      return false;
    }
    case WM_ACTIVATE:
      if (LOWORD(wp) != WA_INACTIVE) ::PostMessageA(frame, RaiseMessage(), 0, 0);
      return false;
    case WM_TIMER:
      if (wp != kRaiseTimer) return false;
      ::KillTimer(frame, kRaiseTimer);
      [[fallthrough]];
    default:
      if (msg != RaiseMessage() && msg != WM_TIMER) return false;
      for (size_t i = 0; i < floats_.size(); ++i) {
        if (!floats_[i] || !panes_[i].visible || !panes_[i].floating) continue;
        if (!::IsWindowVisible(floats_[i])) ::ShowWindow(floats_[i], SW_SHOWNA);
        ::SetWindowPos(floats_[i], HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
      }
      // Once more a moment later: the display server may still stack the frame, just
      // mapped, above what was shown before it.
      if (msg != WM_TIMER) ::SetTimer(frame, kRaiseTimer, 150, nullptr);
      return true;
  }
}

void CExtDockSite::Destroy() {
  for (size_t i = 0; i < floats_.size(); ++i) {
    if (!floats_[i]) continue;
    if (bars_[i]->m_hWnd && frame_ && frame_->m_hWnd) {
      bars_[i]->ShowWindow(SW_HIDE);
      ::SetParent(bars_[i]->m_hWnd, frame_->m_hWnd);
    }
    ::DestroyWindow(floats_[i]);
    floats_[i] = nullptr;
  }
}

LRESULT CALLBACK CExtDockSite::FloatProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  auto* site = static_cast<CExtDockSite*>(GetPropA(hwnd, kSiteProp));
  UINT id = static_cast<UINT>(GetWindowLongPtrA(hwnd, GWLP_USERDATA));
  // The pane remembers where the user put its window.
  if ((msg == WM_SIZE || msg == WM_MOVE) && site && ::IsWindowVisible(hwnd)) {
    int i = site->IndexOf(id);
    RECT r;
    if (i >= 0 && ::GetWindowRect(hwnd, &r)) site->panes_[static_cast<size_t>(i)].floatRect = ToDock(r);
  }
  switch (msg) {
    case WM_SIZE:
      if (HWND bar = ::GetWindow(hwnd, GW_CHILD)) ::MoveWindow(bar, 0, 0, LOWORD(lp), HIWORD(lp), TRUE);
      return 0;
    case WM_CLOSE:
      if (site) site->ShowPane(id, false);
      return 0;
    case WM_NCLBUTTONDBLCLK:
      if (wp == HTCAPTION && site) {
        site->ToggleFloating(id);
        return 0;
      }
      break;
    case WM_COMMAND:
    case WM_NOTIFY:
      if (site && site->frame_ && site->frame_->m_hWnd) return ::SendMessageA(site->frame_->m_hWnd, msg, wp, lp);
      break;
    case WM_NCDESTROY:
      RemovePropA(hwnd, kSiteProp);
      break;
    default:
      break;
  }
  return DefWindowProcA(hwnd, msg, wp, lp);
}
