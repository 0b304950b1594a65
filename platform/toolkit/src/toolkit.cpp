#include "lxtoolkit.h"

#include <cstdlib>
#include <cstring>

namespace {

const char kPaneClass[] = "LxToolkitPane";
const char kBarClass[] = "LxToolkitDockPane";

bool RegisterPaneClass() { return LxRegisterWindowClass(kPaneClass, DefWindowProcA, COLOR_BTNFACE); }
// Docking panes take double clicks on their caption.
bool RegisterBarClass() { return LxRegisterWindowClass(kBarClass, DefWindowProcA, COLOR_BTNFACE, false, CS_DBLCLKS); }

// The text of a tab control's item.
CString TabText(HWND tabs, int index) {
  char text[256] = "";
  TCITEMA item = {};
  item.mask = TCIF_TEXT;
  item.pszText = text;
  item.cchTextMax = sizeof text;
  if (!::SendMessageA(tabs, TCM_GETITEMA, index, reinterpret_cast<LPARAM>(&item))) return CString();
  return CString(text);
}

// A child window of a common-control class (or our pane class), wrapped by `wnd`.
BOOL CreateChild(CWnd& wnd, const char* cls, const char* text, DWORD style, const RECT& rect, HWND parent, UINT id) {
  if (std::strcmp(cls, kPaneClass) == 0 && !RegisterPaneClass()) return FALSE;
  if (std::strcmp(cls, kBarClass) == 0 && !RegisterBarClass()) return FALSE;
  HWND hwnd = CreateWindowExA(0, cls, text, style, rect.left, rect.top, rect.right - rect.left,
                              rect.bottom - rect.top, parent, reinterpret_cast<HMENU>(static_cast<UINT_PTR>(id)),
                              AfxGetInstanceHandle(), nullptr);
  if (!hwnd) return FALSE;
  if (!wnd.SubclassWindow(hwnd)) {
    ::DestroyWindow(hwnd);
    return FALSE;
  }
  return TRUE;
}

std::string WithoutAmpersands(const char* text) {
  std::string out;
  for (const char* p = text; *p; ++p)
    if (*p != '&') out += *p;
  return out;
}

HFONT GuiFont() { return static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT)); }

}  // namespace

bool LxRegisterWindowClass(const char* name, WNDPROC proc, int backgroundColour, bool withIcon, UINT classStyle) {
  WNDCLASSA cls;
  if (GetClassInfoA(AfxGetInstanceHandle(), name, &cls)) return true;
  std::memset(&cls, 0, sizeof cls);
  cls.style = classStyle;
  cls.lpfnWndProc = proc;
  cls.hInstance = AfxGetInstanceHandle();
  cls.hCursor = LoadCursor(nullptr, IDC_ARROW);
  cls.hbrBackground = reinterpret_cast<HBRUSH>(static_cast<INT_PTR>(backgroundColour + 1));
  if (withIcon) cls.hIcon = LoadIcon(nullptr, IDI_APPLICATION);
  cls.lpszClassName = name;
  return RegisterClassA(&cls) != 0;
}

// ---- menu bar ---------------------------------------------------------------------------------
BOOL CExtMenuControlBar::Create(CWnd* frame, UINT menuId, UINT id) {
  if (!frame || !frame->m_hWnd) return FALSE;
  HMENU menu = LoadMenuA(AfxGetResourceHandle(), MAKEINTRESOURCEA(menuId));
  if (!menu) return FALSE;
  if (!::SetMenu(frame->m_hWnd, menu)) {
    DestroyMenu(menu);
    return FALSE;
  }
  HMENU old = menu_;
  menu_ = menu;
  m_nId = id;
  if (old) DestroyMenu(old);
  return TRUE;
}

HMENU CExtMenuControlBar::FindPopup(const char* text) const {
  if (!menu_) return nullptr;
  int count = GetMenuItemCount(menu_);
  for (int i = 0; i < count; ++i) {
    char item[128] = "";
    GetMenuStringA(menu_, i, item, sizeof item, MF_BYPOSITION);
    if (WithoutAmpersands(item) == text) return GetSubMenu(menu_, i);
  }
  return nullptr;
}

// ---- toolbar ----------------------------------------------------------------------------------
BOOL CExtToolControlBar::Create(CWnd* frame, UINT id, DWORD style) {
  RECT none = {0, 0, 0, 0};
  // The frame places the bar itself.
  DWORD own = (style & (WS_VISIBLE | WS_CHILD)) | TBSTYLE_FLAT | TBSTYLE_TOOLTIPS | CCS_NORESIZE | CCS_NODIVIDER |
              CCS_NOPARENTALIGN;
  if (!CreateChild(*this, TOOLBARCLASSNAMEA, "", own | WS_CHILD, none, frame->m_hWnd, id)) return FALSE;
  SendMessage(TB_BUTTONSTRUCTSIZE, sizeof(TBBUTTON));
  TBADDBITMAP bitmap = {HINST_COMMCTRL, IDB_STD_SMALL_COLOR};
  SendMessage(TB_ADDBITMAP, 0, reinterpret_cast<LPARAM>(&bitmap));
  TBADDBITMAP views = {HINST_COMMCTRL, IDB_VIEW_SMALL_COLOR};
  viewBase_ = static_cast<int>(SendMessage(TB_ADDBITMAP, 0, reinterpret_cast<LPARAM>(&views)));
  m_nId = id;
  return TRUE;
}

BOOL CExtToolControlBar::LoadButtons(const std::vector<Button>& buttons, int gap) {
  while (SendMessage(TB_BUTTONCOUNT) > 0) SendMessage(TB_DELETEBUTTON, 0);
  std::vector<TBBUTTON> items;
  if (gap > 0) {
    TBBUTTON space = {};
    space.iBitmap = gap;
    space.fsStyle = BTNS_SEP;
    items.push_back(space);
  }
  for (const Button& b : buttons) {
    TBBUTTON item = {};
    if (b.command == 0) {
      item.fsStyle = BTNS_SEP;
    } else {
      int image = b.stdImage >= kViewImages ? viewBase_ + b.stdImage - kViewImages : b.stdImage;
      item.iBitmap = image >= 0 ? image : I_IMAGENONE;
      item.idCommand = static_cast<int>(b.command);
      item.fsState = TBSTATE_ENABLED;
      item.fsStyle = b.check ? BTNS_CHECK : BTNS_BUTTON;
      item.iString = reinterpret_cast<INT_PTR>(b.tip);
    }
    items.push_back(item);
  }
  SendMessage(TB_SETMAXTEXTROWS, 0);  // tips only, no labels under the images
  return SendMessage(TB_ADDBUTTONSA, items.size(), reinterpret_cast<LPARAM>(items.data())) != 0;
}

int CExtToolControlBar::Height() const {
  DWORD size = static_cast<DWORD>(SendMessage(TB_GETBUTTONSIZE));
  return HIWORD(size) + 6;
}

BOOL CExtToolControlBar::IsButtonEnabled(UINT command) const {
  return SendMessage(TB_ISBUTTONENABLED, command) != 0;
}

void CExtToolControlBar::EnableButton(UINT command, BOOL enable) {
  SendMessage(TB_ENABLEBUTTON, command, MAKELPARAM(enable ? TRUE : FALSE, 0));
}

BOOL CExtToolControlBar::IsButtonChecked(UINT command) const { return SendMessage(TB_ISBUTTONCHECKED, command) != 0; }

void CExtToolControlBar::CheckButton(UINT command, BOOL check) {
  SendMessage(TB_CHECKBUTTON, command, MAKELPARAM(check ? TRUE : FALSE, 0));
}

// ---- status bar -------------------------------------------------------------------------------
BOOL CExtStatusControlBar::Create(CWnd* frame, UINT id, DWORD style) {
  RECT none = {0, 0, 0, 0};
  DWORD own = (style & WS_VISIBLE) | WS_CHILD | CCS_NORESIZE | CCS_NOPARENTALIGN | CCS_NODIVIDER;
  if (!CreateChild(*this, STATUSCLASSNAMEA, "", own, none, frame->m_hWnd, id)) return FALSE;
  m_nId = id;
  return TRUE;
}

BOOL CExtStatusControlBar::SetIndicators(const UINT* ids, int count) {
  panes_.clear();
  for (int i = 0; i < count; ++i) {
    Pane pane{ids[i], i == 0 ? -1 : 60, "", nullptr};
    // The lock indicators show their names as the toolkit's do.
    if (ids[i] == 59137) pane.text = "CAP";
    if (ids[i] == 59138) pane.text = "NUM";
    if (ids[i] == 59139) pane.text = "SCRL";
    panes_.push_back(pane);
  }
  Layout();
  return TRUE;
}

BOOL CExtStatusControlBar::AddPane(UINT id, int index) {
  if (index < 0 || index > static_cast<int>(panes_.size()) || CommandToIndex(id) >= 0) return FALSE;
  panes_.insert(panes_.begin() + index, Pane{id, 60, "", nullptr});
  Layout();
  return TRUE;
}

int CExtStatusControlBar::CommandToIndex(UINT id) const {
  for (size_t i = 0; i < panes_.size(); ++i)
    if (panes_[i].id == id) return static_cast<int>(i);
  return -1;
}

void CExtStatusControlBar::SetPaneWidth(int index, int width) {
  if (index < 0 || index >= static_cast<int>(panes_.size())) return;
  panes_[index].width = width;
  Layout();
}

BOOL CExtStatusControlBar::SetPaneText(int index, const char* text) {
  if (index < 0 || index >= static_cast<int>(panes_.size())) return FALSE;
  panes_[index].text = text ? text : "";
  return SendMessage(SB_SETTEXTA, index, reinterpret_cast<LPARAM>(panes_[index].text.GetString())) != 0;
}

CString CExtStatusControlBar::GetPaneText(int index) const {
  if (index < 0 || index >= static_cast<int>(panes_.size())) return CString();
  return panes_[index].text;
}

void CExtStatusControlBar::SetPaneControl(int index, HWND child) {
  if (index < 0 || index >= static_cast<int>(panes_.size())) return;
  panes_[index].control = child;
  Layout();
}

int CExtStatusControlBar::Height() const {
  HDC dc = GetDC(m_hWnd);
  HGDIOBJ old = SelectObject(dc, GuiFont());
  TEXTMETRICA tm;
  GetTextMetricsA(dc, &tm);
  SelectObject(dc, old);
  ReleaseDC(m_hWnd, dc);
  return tm.tmHeight + 8;
}

void CExtStatusControlBar::Layout() {
  if (!m_hWnd || panes_.empty()) return;
  RECT client;
  GetClientRect(&client);
  int fixed = 0;
  for (const Pane& p : panes_)
    if (p.width >= 0) fixed += p.width;
  std::vector<int> edges;
  int x = 0;
  for (const Pane& p : panes_) {
    x += p.width >= 0 ? p.width : (client.right - fixed > 50 ? client.right - fixed : 50);
    edges.push_back(x);
  }
  edges.back() = -1;
  SendMessage(SB_SETPARTS, edges.size(), reinterpret_cast<LPARAM>(edges.data()));
  for (size_t i = 0; i < panes_.size(); ++i) {
    SendMessage(SB_SETTEXTA, i, reinterpret_cast<LPARAM>(panes_[i].text.GetString()));
    if (!panes_[i].control) continue;
    RECT part;
    SendMessage(SB_GETRECT, i, reinterpret_cast<LPARAM>(&part));
    InflateRect(&part, -1, -1);
    ::MoveWindow(panes_[i].control, part.left, part.top, part.right - part.left, part.bottom - part.top, TRUE);
  }
}

LRESULT CExtStatusControlBar::WindowProc(UINT msg, WPARAM wp, LPARAM lp) {
  LRESULT result = CWnd::WindowProc(msg, wp, lp);
  if (msg == WM_SIZE) Layout();
  return result;
}

// ---- progress, combo ----------------------------------------------------------------------------
BOOL CExtProgressWnd::Create(DWORD style, const RECT& rect, CWnd* parent, UINT id) {
  return CreateChild(*this, PROGRESS_CLASSA, "", style, rect, parent->m_hWnd, id);
}
void CExtProgressWnd::SetRange(int low, int high) { SendMessage(PBM_SETRANGE32, low, high); }
int CExtProgressWnd::SetPos(int pos) { return static_cast<int>(SendMessage(PBM_SETPOS, pos)); }
int CExtProgressWnd::GetPos() const { return static_cast<int>(SendMessage(PBM_GETPOS)); }
void CExtProgressWnd::SetStep(int step) { SendMessage(PBM_SETSTEP, step); }
int CExtProgressWnd::StepIt() { return static_cast<int>(SendMessage(PBM_STEPIT)); }

BOOL CExtComboBox::Create(DWORD style, const RECT& rect, CWnd* parent, UINT id) {
  if (!CreateChild(*this, "COMBOBOX", "", style, rect, parent->m_hWnd, id)) return FALSE;
  SendMessage(WM_SETFONT, reinterpret_cast<WPARAM>(GuiFont()), TRUE);
  return TRUE;
}
int CExtComboBox::AddString(const char* text) {
  return static_cast<int>(SendMessage(CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text)));
}
int CExtComboBox::InsertString(int index, const char* text) {
  return static_cast<int>(SendMessage(CB_INSERTSTRING, index, reinterpret_cast<LPARAM>(text)));
}
int CExtComboBox::DeleteString(int index) { return static_cast<int>(SendMessage(CB_DELETESTRING, index)); }
int CExtComboBox::GetCount() const { return static_cast<int>(SendMessage(CB_GETCOUNT)); }
int CExtComboBox::GetCurSel() const { return static_cast<int>(SendMessage(CB_GETCURSEL)); }
int CExtComboBox::SetCurSel(int index) { return static_cast<int>(SendMessage(CB_SETCURSEL, index)); }
CString CExtComboBox::GetLBText(int index) const {
  LRESULT length = SendMessage(CB_GETLBTEXTLEN, index);
  if (length == CB_ERR) return CString();
  std::string text(static_cast<size_t>(length) + 1, '\0');
  SendMessage(CB_GETLBTEXT, index, reinterpret_cast<LPARAM>(&text[0]));
  return CString(text.c_str());
}
void CExtComboBox::ResetContent() { SendMessage(CB_RESETCONTENT); }

// ---- docking pane ---------------------------------------------------------------------------------
BOOL CExtControlBar::Create(const char* title, CWnd* frame, UINT id, DWORD style) {
  RECT none = {0, 0, 0, 0};
  if (!CreateChild(*this, kBarClass, title ? title : "", (style & WS_VISIBLE) | WS_CHILD | WS_CLIPCHILDREN, none,
                   frame->m_hWnd, id))
    return FALSE;
  m_title = title ? title : "";
  m_nId = id;
  frame_ = frame->m_hWnd;
  return TRUE;
}

void CExtControlBar::SetClient(HWND client) {
  client_ = client;
  Layout();
}

int CExtControlBar::CaptionHeight() const { return m_bFloating ? 0 : 18; }

RECT CExtControlBar::CloseButton() const {
  RECT r;
  GetClientRect(&r);
  int h = CaptionHeight();
  RECT button = {r.right - h, 1, r.right - 2, h - 1};
  return button;
}

void CExtControlBar::Layout() {
  if (!m_hWnd || !client_) return;
  RECT r;
  GetClientRect(&r);
  int top = CaptionHeight();
  int edge = m_bFloating ? 0 : 2;
  ::MoveWindow(client_, edge, top, r.right > 2 * edge ? r.right - 2 * edge : 0,
               r.bottom > top + edge ? r.bottom - top - edge : 0, TRUE);
}

void CExtControlBar::TrackDrag(POINT start) {
  // A modal drag loop, as windows are moved: an outline follows the pointer until the button
  // is released (Esc cancels); the site decides where the pane lands.
  RECT window;
  ::GetWindowRect(m_hWnd, &window);
  POINT offset = {start.x - window.left, start.y - window.top};
  SIZE size = {window.right - window.left, window.bottom - window.top};
  SetCapture(m_hWnd);
  HDC screen = GetDC(nullptr);
  bool moved = false, drop = false, drawn = false;
  RECT outline = window;
  POINT at = start;
  for (;;) {
    MSG msg;
    if (!GetMessageA(&msg, nullptr, 0, 0)) {
      PostQuitMessage(static_cast<int>(msg.wParam));
      break;
    }
    if (::GetCapture() != m_hWnd) break;
    // Where the pointer was when the event happened (the cursor may have gone on since), from the
    // message's own coordinates: Wine fills a message's time-stamped point from its server's idea
    // of the pointer, which lags behind a pointer moved by SetCursorPos (and a late X event can
    // even set it back).
    POINT point = {LxPointX(msg.lParam), LxPointY(msg.lParam)};
    if (msg.hwnd) ::MapWindowPoints(msg.hwnd, nullptr, &point, 1);
    if (msg.message == WM_MOUSEMOVE) {
      at = point;
      if (!moved && std::abs(at.x - start.x) < 4 && std::abs(at.y - start.y) < 4) continue;
      moved = true;
      if (drawn) DrawFocusRect(screen, &outline);
      outline = {at.x - offset.x, at.y - offset.y, at.x - offset.x + size.cx, at.y - offset.y + size.cy};
      DrawFocusRect(screen, &outline);
      drawn = true;
      continue;
    }
    if (msg.message == WM_LBUTTONUP) {
      at = point;
      drop = moved;
      break;
    }
    if (msg.message == WM_KEYDOWN && msg.wParam == VK_ESCAPE) break;
    if (msg.message == WM_RBUTTONDOWN) break;
    DispatchMessageA(&msg);
  }
  if (drawn) DrawFocusRect(screen, &outline);
  ReleaseDC(nullptr, screen);
  if (::GetCapture() == m_hWnd) ReleaseCapture();
  if (drop && m_pSite) m_pSite->DropPane(m_nId, at, outline);
}

LRESULT CExtControlBar::WindowProc(UINT msg, WPARAM wp, LPARAM lp) {
  switch (msg) {
    case WM_SIZE:
      Layout();
      break;
    case WM_PAINT: {
      PAINTSTRUCT ps;
      HDC dc = BeginPaint(m_hWnd, &ps);
      RECT r;
      GetClientRect(&r);
      FillRect(dc, &r, GetSysColorBrush(COLOR_BTNFACE));
      if (CaptionHeight() > 0) {
        RECT caption = {0, 0, r.right, CaptionHeight()};
        FillRect(dc, &caption, GetSysColorBrush(COLOR_INACTIVECAPTION));
        HGDIOBJ old = SelectObject(dc, GuiFont());
        SetBkMode(dc, TRANSPARENT);
        SetTextColor(dc, GetSysColor(COLOR_INACTIVECAPTIONTEXT));
        RECT text = caption;
        text.left += 4;
        text.right = CloseButton().left - 2;
        DrawTextA(dc, m_title, -1, &text, DT_SINGLELINE | DT_VCENTER | DT_LEFT | DT_END_ELLIPSIS);
        // The close button: the "r" of the symbol font that captions draw their buttons with.
        RECT button = CloseButton();
        HFONT symbols = CreateFontA(-(button.bottom - button.top - 4), 0, 0, 0, FW_NORMAL, 0, 0, 0, SYMBOL_CHARSET,
                                    0, 0, 0, 0, "Marlett");
        SelectObject(dc, symbols);
        DrawTextA(dc, "r", 1, &button, DT_SINGLELINE | DT_VCENTER | DT_CENTER);
        SelectObject(dc, old);
        DeleteObject(symbols);
      }
      EndPaint(m_hWnd, &ps);
      return 0;
    }
    case WM_LBUTTONDOWN: {
      POINT pt = {LxPointX(lp), LxPointY(lp)};
      if (pt.y >= CaptionHeight() || !m_pSite) break;
      RECT button = CloseButton();
      if (PtInRect(&button, pt)) {
        m_pSite->ShowPane(m_nId, false);
        return 0;
      }
      POINT screen = pt;
      ::ClientToScreen(m_hWnd, &screen);
      TrackDrag(screen);
      return 0;
    }
    case WM_LBUTTONDBLCLK:
      if (LxPointY(lp) < CaptionHeight() && m_pSite) {
        m_pSite->ToggleFloating(m_nId);
        return 0;
      }
      break;
    case WM_RBUTTONUP: {
      POINT pt = {LxPointX(lp), LxPointY(lp)};
      if (pt.y >= CaptionHeight() || !m_pSite) break;
      HMENU menu = CreatePopupMenu();
      AppendMenuA(menu, MF_STRING, kCmdDockLeft, "Dock &Left");
      AppendMenuA(menu, MF_STRING, kCmdDockTop, "Dock &Top");
      AppendMenuA(menu, MF_STRING, kCmdDockRight, "Dock &Right");
      AppendMenuA(menu, MF_STRING, kCmdDockBottom, "Dock &Bottom");
      AppendMenuA(menu, MF_STRING, kCmdFloat, "&Float");
      AppendMenuA(menu, MF_SEPARATOR, 0, nullptr);
      AppendMenuA(menu, MF_STRING, kCmdHide, "&Hide");
      ::ClientToScreen(m_hWnd, &pt);
      int command = TrackPopupMenu(menu, TPM_RETURNCMD | TPM_RIGHTBUTTON, pt.x, pt.y, 0, m_hWnd, nullptr);
      DestroyMenu(menu);
      switch (command) {
        case kCmdDockLeft: m_pSite->DockPane(m_nId, lx::dock::kLeft); break;
        case kCmdDockTop: m_pSite->DockPane(m_nId, lx::dock::kTop); break;
        case kCmdDockRight: m_pSite->DockPane(m_nId, lx::dock::kRight); break;
        case kCmdDockBottom: m_pSite->DockPane(m_nId, lx::dock::kBottom); break;
        case kCmdFloat: m_pSite->FloatPane(m_nId); break;
        case kCmdHide: m_pSite->ShowPane(m_nId, false); break;
        default: break;
      }
      return 0;
    }
    case WM_NOTIFY:
      if (m_bReflectNotify && client_ && lp && reinterpret_cast<NMHDR*>(lp)->hwndFrom == client_)
        return ::SendMessageA(client_, LX_WM_REFLECT_NOTIFY, wp, lp);
      [[fallthrough]];
    case WM_COMMAND:
      // Controls inside the pane talk to the frame, docked or floating.
      if (frame_) return ::SendMessageA(frame_, msg, wp, lp);
      break;
    default:
      break;
  }
  return CWnd::WindowProc(msg, wp, lp);
}

// ---- MDI tabs ---------------------------------------------------------------------------------
BOOL CExtTabMdiWnd::Create(CWnd* frame, HWND mdiClient, DWORD style) {
  RECT none = {0, 0, 0, 0};
  if (!CreateChild(*this, WC_TABCONTROLA, "", (style | WS_CHILD | WS_CLIPSIBLINGS) & ~WS_CLIPCHILDREN, none,
                   frame->m_hWnd, 0xE940))
    return FALSE;
  SendMessage(WM_SETFONT, reinterpret_cast<WPARAM>(GuiFont()), TRUE);
  client_ = mdiClient;
  return TRUE;
}

int CExtTabMdiWnd::Height() const { return 24; }
int CExtTabMdiWnd::GetTabCount() const { return static_cast<int>(SendMessage(TCM_GETITEMCOUNT)); }

CString CExtTabMdiWnd::GetTabText(int index) const { return TabText(m_hWnd, index); }

void CExtTabMdiWnd::Refresh() {
  if (!m_hWnd || !client_) return;
  children_.clear();
  for (HWND child = ::GetWindow(client_, GW_CHILD); child; child = ::GetWindow(child, GW_HWNDNEXT)) {
    if (::GetWindow(child, GW_OWNER)) continue;  // icon titles of minimised children
    children_.push_back(child);
  }
  // In creation order: the z-order puts the newest first.
  std::vector<HWND> ordered(children_.rbegin(), children_.rend());
  children_ = ordered;
  SendMessage(TCM_DELETEALLITEMS);
  HWND active = reinterpret_cast<HWND>(::SendMessageA(client_, WM_MDIGETACTIVE, 0, 0));
  for (size_t i = 0; i < children_.size(); ++i) {
    char title[256] = "";
    ::GetWindowTextA(children_[i], title, sizeof title);
    TCITEMA item = {};
    item.mask = TCIF_TEXT;
    item.pszText = title;
    SendMessage(TCM_INSERTITEMA, i, reinterpret_cast<LPARAM>(&item));
    if (children_[i] == active) SendMessage(TCM_SETCURSEL, i);
  }
}

LRESULT CExtTabMdiWnd::WindowProc(UINT msg, WPARAM wp, LPARAM lp) {
  if (msg == WM_LBUTTONUP) {
    LRESULT result = CWnd::WindowProc(msg, wp, lp);
    int selected = static_cast<int>(SendMessage(TCM_GETCURSEL));
    if (selected >= 0 && selected < static_cast<int>(children_.size()) && ::IsWindow(children_[selected]))
      ::SendMessageA(client_, WM_MDIACTIVATE, reinterpret_cast<WPARAM>(children_[selected]), 0);
    return result;
  }
  return CWnd::WindowProc(msg, wp, lp);
}

// ---- tabbed pages -----------------------------------------------------------------------------------
BOOL CExtTabPageContainerFlatWnd::Create(CWnd* parent, const RECT& rect, UINT id, DWORD style) {
  if (!CreateChild(*this, kPaneClass, "", style | WS_CHILD | WS_CLIPCHILDREN, rect, parent->m_hWnd, id)) return FALSE;
  tabs_ = CreateWindowExA(0, WC_TABCONTROLA, "", WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS, 0, 0, 10, 10, m_hWnd,
                          reinterpret_cast<HMENU>(1), AfxGetInstanceHandle(), nullptr);
  if (!tabs_) return FALSE;
  ::SendMessageA(tabs_, WM_SETFONT, reinterpret_cast<WPARAM>(GuiFont()), TRUE);
  return TRUE;
}

BOOL CExtTabPageContainerFlatWnd::PageInsert(HWND page, const char* title, int position, bool select) {
  if (!tabs_ || !page) return FALSE;
  if (position < 0 || position > PageCountGet()) position = PageCountGet();
  TCITEMA item = {};
  item.mask = TCIF_TEXT;
  std::string text = title ? title : "";
  item.pszText = &text[0];
  if (::SendMessageA(tabs_, TCM_INSERTITEMA, position, reinterpret_cast<LPARAM>(&item)) < 0) return FALSE;
  pages_.insert(pages_.begin() + position, page);
  ::SetParent(page, m_hWnd);
  if (select || PageCountGet() == 1) ::SendMessageA(tabs_, TCM_SETCURSEL, position, 0);
  Layout();
  return TRUE;
}

BOOL CExtTabPageContainerFlatWnd::PageRemove(int index) {
  if (index < 0 || index >= PageCountGet()) return FALSE;
  HWND page = pages_[index];
  pages_.erase(pages_.begin() + index);
  ::SendMessageA(tabs_, TCM_DELETEITEM, index, 0);
  ::DestroyWindow(page);
  if (PageCountGet() > 0 && PageSelectionGet() < 0)
    ::SendMessageA(tabs_, TCM_SETCURSEL, index < PageCountGet() ? index : PageCountGet() - 1, 0);
  Layout();
  return TRUE;
}

int CExtTabPageContainerFlatWnd::PageSelectionGet() const {
  return tabs_ ? static_cast<int>(::SendMessageA(tabs_, TCM_GETCURSEL, 0, 0)) : -1;
}

BOOL CExtTabPageContainerFlatWnd::PageSelectionSet(int index) {
  if (index < 0 || index >= PageCountGet()) return FALSE;
  ::SendMessageA(tabs_, TCM_SETCURSEL, index, 0);
  ShowSelected();
  return TRUE;
}

HWND CExtTabPageContainerFlatWnd::PageHwndGetSafe(int index) const {
  if (index < 0 || index >= PageCountGet() || !::IsWindow(pages_[index])) return nullptr;
  return pages_[index];
}

BOOL CExtTabPageContainerFlatWnd::PageTextSet(int index, const char* title) {
  if (index < 0 || index >= PageCountGet()) return FALSE;
  TCITEMA item = {};
  item.mask = TCIF_TEXT;
  std::string text = title ? title : "";
  item.pszText = &text[0];
  BOOL ok = ::SendMessageA(tabs_, TCM_SETITEMA, index, reinterpret_cast<LPARAM>(&item)) != 0;
  ::InvalidateRect(m_hWnd, nullptr, TRUE);
  return ok;
}

CString CExtTabPageContainerFlatWnd::PageTextGet(int index) const { return TabText(tabs_, index); }

void CExtTabPageContainerFlatWnd::ShowSelected() {
  int selected = PageSelectionGet();
  RECT r;
  GetClientRect(&r);
  ::MoveWindow(tabs_, 0, 0, r.right, r.bottom, TRUE);
  RECT inner = r;
  ::SendMessageA(tabs_, TCM_ADJUSTRECT, FALSE, reinterpret_cast<LPARAM>(&inner));
  for (int i = 0; i < PageCountGet(); ++i) {
    if (i == selected) {
      ::MoveWindow(pages_[i], inner.left, inner.top, inner.right - inner.left, inner.bottom - inner.top, TRUE);
      ::SetWindowPos(pages_[i], HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_SHOWWINDOW);
    } else {
      ::ShowWindow(pages_[i], SW_HIDE);
    }
  }
}

void CExtTabPageContainerFlatWnd::Layout() {
  if (m_hWnd && tabs_) ShowSelected();
}

LRESULT CExtTabPageContainerFlatWnd::WindowProc(UINT msg, WPARAM wp, LPARAM lp) {
  if (msg == WM_SIZE) Layout();
  if (msg == WM_NOTIFY && reinterpret_cast<NMHDR*>(lp)->hwndFrom == tabs_ &&
      reinterpret_cast<NMHDR*>(lp)->code == TCN_SELCHANGE) {
    ShowSelected();
    return 0;
  }
  return CWnd::WindowProc(msg, wp, lp);
}
