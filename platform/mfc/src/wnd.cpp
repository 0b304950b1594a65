#include <cstdlib>
#include <cstring>

#include "lumivex/prompt.h"
#include "lxmfc.h"

namespace {
const char kObjectProp[] = "LxMfcObject";
}

// ----- CFont ---------------------------------------------------------------------------------
BOOL CFont::CreateFontIndirect(const LOGFONTA* font) {
  DeleteObject();
  font_ = ::CreateFontIndirectA(font);
  return font_ != nullptr;
}

BOOL CFont::DeleteObject() {
  if (!font_) return FALSE;
  BOOL ok = ::DeleteObject(font_);
  font_ = nullptr;
  return ok;
}

// ----- CWnd ----------------------------------------------------------------------------------
CWnd::~CWnd() {
  children_.clear();
  if (m_hWnd && ::IsWindow(m_hWnd)) {
    if (oldProc_) {
      SetWindowLongPtrA(m_hWnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(oldProc_));
      RemovePropA(m_hWnd, kObjectProp);
      oldProc_ = nullptr;
      ::DestroyWindow(m_hWnd);
    } else if (GetPropA(m_hWnd, kObjectProp) == this) {
      // A dialog of ours that is still open when its object goes away.
      RemovePropA(m_hWnd, kObjectProp);
      ::DestroyWindow(m_hWnd);
    }
  }
  m_hWnd = nullptr;
}

CWnd* CWnd::FromHandlePermanent(HWND hwnd) {
  return hwnd ? static_cast<CWnd*>(GetPropA(hwnd, kObjectProp)) : nullptr;
}

BOOL CWnd::Attach(HWND hwnd) {
  if (!hwnd) return FALSE;
  m_hWnd = hwnd;
  return TRUE;
}

HWND CWnd::Detach() {
  HWND hwnd = m_hWnd;
  m_hWnd = nullptr;
  return hwnd;
}

BOOL CWnd::SubclassWindow(HWND hwnd) {
  if (!hwnd || oldProc_) return FALSE;
  m_hWnd = hwnd;
  SetPropA(hwnd, kObjectProp, this);
  oldProc_ = reinterpret_cast<WNDPROC>(
      SetWindowLongPtrA(hwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&CWnd::SubclassProc)));
  return oldProc_ != nullptr;
}

BOOL CWnd::SubclassDlgItem(UINT id, CWnd* parent) {
  return parent && SubclassWindow(::GetDlgItem(parent->m_hWnd, static_cast<int>(id)));
}

BOOL CWnd::DestroyWindow() {
  if (!m_hWnd) return FALSE;
  return ::DestroyWindow(m_hWnd);
}

LRESULT CALLBACK CWnd::SubclassProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  CWnd* self = FromHandlePermanent(hwnd);
  if (!self || !self->oldProc_) return DefWindowProcA(hwnd, msg, wp, lp);
  if (msg == WM_NCDESTROY) {
    WNDPROC old = self->oldProc_;
    SetWindowLongPtrA(hwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(old));
    RemovePropA(hwnd, kObjectProp);
    self->oldProc_ = nullptr;
    self->m_hWnd = nullptr;
    LRESULT r = CallWindowProcA(old, hwnd, msg, wp, lp);
    self->PostNcDestroy();
    return r;
  }
  return self->WindowProc(msg, wp, lp);
}

LRESULT CWnd::WindowProc(UINT msg, WPARAM wp, LPARAM lp) { return Default(msg, wp, lp); }

LRESULT CWnd::Default(UINT msg, WPARAM wp, LPARAM lp) {
  return oldProc_ ? CallWindowProcA(oldProc_, m_hWnd, msg, wp, lp) : DefWindowProcA(m_hWnd, msg, wp, lp);
}

CWnd* CWnd::GetDlgItem(int id) {
  HWND item = ::GetDlgItem(m_hWnd, id);
  if (!item) return nullptr;
  CWnd* known = FromHandlePermanent(item);
  if (known) return known;
  auto& slot = children_[id];
  if (!slot) slot.reset(new CWnd);
  slot->m_hWnd = item;
  return slot.get();
}

CWnd* CWnd::GetParent() const {
  HWND parent = ::GetParent(m_hWnd);
  return FromHandlePermanent(parent);
}

void CWnd::SetWindowText(const char* text) { ::SetWindowTextA(m_hWnd, text ? text : ""); }

void CWnd::GetWindowText(CString& text) const {
  int n = ::GetWindowTextLengthA(m_hWnd);
  std::vector<char> buffer(static_cast<size_t>(n) + 2, '\0');
  ::GetWindowTextA(m_hWnd, buffer.data(), n + 1);
  text = buffer.data();
}

CString CWnd::GetWindowTextString() const {
  CString text;
  GetWindowText(text);
  return text;
}

int CWnd::GetWindowTextLength() const { return ::GetWindowTextLengthA(m_hWnd); }
BOOL CWnd::EnableWindow(BOOL enable) { return ::EnableWindow(m_hWnd, enable); }
BOOL CWnd::IsWindowEnabled() const { return ::IsWindowEnabled(m_hWnd); }
BOOL CWnd::ShowWindow(int show) { return ::ShowWindow(m_hWnd, show); }
BOOL CWnd::IsWindowVisible() const { return ::IsWindowVisible(m_hWnd); }

BOOL CWnd::SetWindowPos(const CWnd* after, int x, int y, int cx, int cy, UINT flags) {
  return ::SetWindowPos(m_hWnd, after ? after->m_hWnd : nullptr, x, y, cx, cy, flags);
}

void CWnd::Invalidate(BOOL erase) { ::InvalidateRect(m_hWnd, nullptr, erase); }
void CWnd::UpdateWindow() { ::UpdateWindow(m_hWnd); }

void CWnd::SetFont(CFont* font, BOOL redraw) {
  SendMessage(WM_SETFONT, reinterpret_cast<WPARAM>(font ? font->GetSafeHandle() : nullptr), redraw);
}

void CWnd::SetDlgItemText(int id, const char* text) { ::SetDlgItemTextA(m_hWnd, id, text ? text : ""); }

int CWnd::GetDlgItemText(int id, CString& text) const {
  HWND item = ::GetDlgItem(m_hWnd, id);
  text.Empty();
  if (!item) return 0;
  int n = ::GetWindowTextLengthA(item);
  std::vector<char> buffer(static_cast<size_t>(n) + 2, '\0');
  ::GetWindowTextA(item, buffer.data(), n + 1);
  text = buffer.data();
  return text.GetLength();
}

void CWnd::CheckDlgButton(int id, UINT check) { ::CheckDlgButton(m_hWnd, id, check); }
UINT CWnd::IsDlgButtonChecked(int id) const { return ::IsDlgButtonChecked(m_hWnd, id); }
void CWnd::CheckRadioButton(int first, int last, int checked) { ::CheckRadioButton(m_hWnd, first, last, checked); }
LRESULT CWnd::SendMessage(UINT msg, WPARAM wp, LPARAM lp) const { return ::SendMessageA(m_hWnd, msg, wp, lp); }
BOOL CWnd::PostMessage(UINT msg, WPARAM wp, LPARAM lp) const { return ::PostMessageA(m_hWnd, msg, wp, lp); }
UINT_PTR CWnd::SetTimer(UINT_PTR id, UINT elapse, TIMERPROC proc) { return ::SetTimer(m_hWnd, id, elapse, proc); }
BOOL CWnd::KillTimer(UINT_PTR id) { return ::KillTimer(m_hWnd, id); }

BOOL CWnd::ModifyStyle(DWORD remove, DWORD add) {
  LONG_PTR style = GetWindowLongPtrA(m_hWnd, GWL_STYLE);
  LONG_PTR changed = (style & ~static_cast<LONG_PTR>(remove)) | static_cast<LONG_PTR>(add);
  if (changed == style) return FALSE;
  SetWindowLongPtrA(m_hWnd, GWL_STYLE, changed);
  return TRUE;
}

int CWnd::MessageBox(const char* text, const char* caption, UINT type) {
  CWinApp* app = AfxGetApp();
  if (!caption) caption = app && app->m_pszAppName ? app->m_pszAppName : "";
  return LxMessageBox(m_hWnd, text, caption, type);
}

void CWnd::GetClientRect(RECT* rect) const { ::GetClientRect(m_hWnd, rect); }

// ----- Data exchange -------------------------------------------------------------------------
HWND CDataExchange::PrepareCtrl(int id) { return ::GetDlgItem(m_pDlgWnd->m_hWnd, id); }

void DDX_Text(CDataExchange* dx, int id, CString& value) {
  HWND item = dx->PrepareCtrl(id);
  if (!item) return;
  if (dx->m_bSaveAndValidate) {
    int n = ::GetWindowTextLengthA(item);
    std::vector<char> buffer(static_cast<size_t>(n) + 2, '\0');
    ::GetWindowTextA(item, buffer.data(), n + 1);
    value = buffer.data();
  } else {
    ::SetWindowTextA(item, value);
  }
}

void DDX_Text(CDataExchange* dx, int id, int& value) {
  CString text;
  if (!dx->m_bSaveAndValidate) text.Format("%d", value);
  DDX_Text(dx, id, text);
  if (dx->m_bSaveAndValidate) value = std::atoi(text);
}

void DDX_Text(CDataExchange* dx, int id, UINT& value) {
  CString text;
  if (!dx->m_bSaveAndValidate) text.Format("%u", value);
  DDX_Text(dx, id, text);
  if (dx->m_bSaveAndValidate) value = static_cast<UINT>(std::strtoul(text, nullptr, 10));
}

void DDX_Check(CDataExchange* dx, int id, int& value) {
  HWND item = dx->PrepareCtrl(id);
  if (!item) return;
  if (dx->m_bSaveAndValidate) value = static_cast<int>(::SendMessageA(item, BM_GETCHECK, 0, 0));
  else ::SendMessageA(item, BM_SETCHECK, static_cast<WPARAM>(value), 0);
}

void DDX_Radio(CDataExchange* dx, int id, int& value) {
  HWND item = dx->PrepareCtrl(id);
  if (!item) return;
  if (dx->m_bSaveAndValidate) value = -1;
  // The group runs from the first button to the next control that starts a group.
  int index = 0;
  do {
    char cls[16] = "";
    ::GetClassNameA(item, cls, sizeof cls);
    LONG_PTR style = GetWindowLongPtrA(item, GWL_STYLE);
    UINT kind = static_cast<UINT>(style & BS_TYPEMASK);
    if (lstrcmpiA(cls, "Button") == 0 && (kind == BS_RADIOBUTTON || kind == BS_AUTORADIOBUTTON)) {
      if (dx->m_bSaveAndValidate) {
        if (::SendMessageA(item, BM_GETCHECK, 0, 0) == BST_CHECKED) value = index;
      } else {
        ::SendMessageA(item, BM_SETCHECK, index == value ? BST_CHECKED : BST_UNCHECKED, 0);
      }
      ++index;
    }
    item = ::GetWindow(item, GW_HWNDNEXT);
  } while (item && !(GetWindowLongPtrA(item, GWL_STYLE) & WS_GROUP));
}

void DDX_CBIndex(CDataExchange* dx, int id, int& value) {
  HWND item = dx->PrepareCtrl(id);
  if (!item) return;
  if (dx->m_bSaveAndValidate) value = static_cast<int>(::SendMessageA(item, CB_GETCURSEL, 0, 0));
  else ::SendMessageA(item, CB_SETCURSEL, static_cast<WPARAM>(value), 0);
}

void DDX_Control(CDataExchange* dx, int id, CWnd& control) {
  if (control.m_hWnd) return;
  HWND item = dx->PrepareCtrl(id);
  if (item) control.SubclassWindow(item);
}

// ----- CDialog -------------------------------------------------------------------------------
BOOL CDialog::PreTranslateMessage(MSG* msg) { return m_hWnd && IsDialogMessageA(m_hWnd, msg); }

namespace {
// A modal window without a parent belongs to the main window, which it disables while it runs.
HWND ModalOwner(CWnd* parent) {
  if (parent && parent->m_hWnd) return parent->m_hWnd;
  CWnd* main = AfxGetMainWnd();
  return main && main->m_hWnd && IsWindowEnabled(main->m_hWnd) ? main->m_hWnd : nullptr;
}
}  // namespace

INT_PTR CDialog::DoModal() {
  modal_ = true;
  HWND owner = ModalOwner(parent_);
  INT_PTR r = DialogBoxParamA(AfxGetResourceHandle(), MAKEINTRESOURCEA(templateId_), owner, &CDialog::DialogProc,
                              reinterpret_cast<LPARAM>(this));
  modal_ = false;
  return r;
}

BOOL CDialog::Create(UINT templateId, CWnd* parent) {
  templateId_ = templateId;
  if (parent) parent_ = parent;
  modal_ = false;
  HWND hwnd = CreateDialogParamA(AfxGetResourceHandle(), MAKEINTRESOURCEA(templateId_),
                                 parent_ ? parent_->m_hWnd : nullptr, &CDialog::DialogProc,
                                 reinterpret_cast<LPARAM>(this));
  return hwnd != nullptr;
}

void CDialog::EndDialog(int result) {
  if (modal_) ::EndDialog(m_hWnd, result);
  else ShowWindow(SW_HIDE);
}

BOOL CDialog::UpdateData(BOOL saveAndValidate) {
  if (!m_hWnd) return FALSE;
  CDataExchange dx(this, saveAndValidate);
  DoDataExchange(&dx);
  return TRUE;
}

BOOL CDialog::OnInitDialog() {
  UpdateData(FALSE);
  return TRUE;
}

void CDialog::OnOK() {
  if (!UpdateData(TRUE)) return;
  EndDialog(IDOK);
}

void CDialog::OnCancel() { EndDialog(IDCANCEL); }

BOOL CDialog::OnCommand(WPARAM wp, LPARAM) {
  if (HIWORD(wp) == BN_CLICKED || HIWORD(wp) == 1) {
    if (LOWORD(wp) == IDOK) {
      OnOK();
      return TRUE;
    }
    if (LOWORD(wp) == IDCANCEL) {
      OnCancel();
      return TRUE;
    }
  }
  return FALSE;
}

BOOL CDialog::OnNotify(WPARAM, LPARAM, LRESULT*) { return FALSE; }
BOOL CDialog::OnMessage(UINT, WPARAM, LPARAM, LRESULT*) { return FALSE; }

INT_PTR CDialog::HandleMessage(UINT msg, WPARAM wp, LPARAM lp) {
  LRESULT result = 0;
  switch (msg) {
    case WM_INITDIALOG:
      return OnInitDialog();
    case WM_COMMAND:
      return OnCommand(wp, lp);
    case WM_NOTIFY:
      if (OnNotify(wp, lp, &result)) {
        SetWindowLongPtrA(m_hWnd, DWLP_MSGRESULT, result);
        return TRUE;
      }
      return FALSE;
    default:
      if (OnMessage(msg, wp, lp, &result)) {
        // The colour messages take their brush as the procedure's own answer, not as a message result.
        if (msg >= WM_CTLCOLORMSGBOX && msg <= WM_CTLCOLORSTATIC) return static_cast<INT_PTR>(result);
        SetWindowLongPtrA(m_hWnd, DWLP_MSGRESULT, result);
        return TRUE;
      }
      return FALSE;
  }
}

INT_PTR CALLBACK CDialog::DialogProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  if (msg == WM_INITDIALOG) {
    auto* self = reinterpret_cast<CDialog*>(lp);
    self->m_hWnd = hwnd;
    SetPropA(hwnd, kObjectProp, self);
  }
  auto* self = static_cast<CDialog*>(FromHandlePermanent(hwnd));
  if (!self) return FALSE;
  INT_PTR r = self->HandleMessage(msg, wp, lp);
  if (msg == WM_NCDESTROY) {
    RemovePropA(hwnd, kObjectProp);
    self->m_hWnd = nullptr;
    self->PostNcDestroy();
  }
  return r;
}

// ----- Property sheets -----------------------------------------------------------------------
void CPropertyPage::SetModified(BOOL changed) {
  HWND sheet = ::GetParent(m_hWnd);
  if (!sheet) return;
  ::SendMessageA(sheet, changed ? PSM_CHANGED : PSM_UNCHANGED, reinterpret_cast<WPARAM>(m_hWnd), 0);
}

BOOL CPropertyPage::OnApply() {
  OnOK();
  return TRUE;
}

BOOL CPropertyPage::OnNotify(WPARAM, LPARAM lp, LRESULT* result) {
  const NMHDR* header = reinterpret_cast<const NMHDR*>(lp);
  switch (header->code) {
    case PSN_APPLY:
      *result = OnApply() ? PSNRET_NOERROR : PSNRET_INVALID_NOCHANGEPAGE;
      return TRUE;
    case PSN_KILLACTIVE:
      *result = OnKillActive() ? FALSE : TRUE;
      return TRUE;
    case PSN_SETACTIVE:
      *result = OnSetActive() ? 0 : -1;
      return TRUE;
    case PSN_RESET:
      OnCancel();
      return TRUE;
    default:
      return FALSE;
  }
}

INT_PTR CALLBACK CPropertyPage::PageProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  if (msg == WM_INITDIALOG) {
    auto* page = reinterpret_cast<CPropertyPage*>(reinterpret_cast<PROPSHEETPAGEA*>(lp)->lParam);
    page->m_hWnd = hwnd;
    SetPropA(hwnd, kObjectProp, page);
    if (page->sheet_ && !page->sheet_->m_hWnd) page->sheet_->m_hWnd = ::GetParent(hwnd);
    return page->OnInitDialog();
  }
  return DialogProc(hwnd, msg, wp, lp);
}

void CPropertySheet::AddPage(CPropertyPage* page) {
  page->sheet_ = this;
  pages_.push_back(page);
}

void CPropertySheet::BuildHeader(PROPSHEETHEADERA& header, std::vector<PROPSHEETPAGEA>& pages, bool modeless) {
  pages.clear();
  for (CPropertyPage* page : pages_) {
    PROPSHEETPAGEA p;
    std::memset(&p, 0, sizeof p);
    p.dwSize = sizeof p;
    p.dwFlags = PSP_DEFAULT;
    p.hInstance = AfxGetResourceHandle();
    p.pszTemplate = MAKEINTRESOURCEA(page->GetTemplateId());
    p.pfnDlgProc = &CPropertyPage::PageProc;
    if (!page->title_.IsEmpty()) {
      p.dwFlags |= PSP_USETITLE;
      p.pszTitle = page->title_;
    }
    p.lParam = reinterpret_cast<LPARAM>(page);
    pages.push_back(p);
  }
  std::memset(&header, 0, sizeof header);
  header.dwSize = sizeof header;
  header.dwFlags = PSH_PROPSHEETPAGE | (modeless ? PSH_MODELESS : 0) | m_HeaderFlags;
  header.hwndParent = modeless ? (parent_ ? parent_->m_hWnd : nullptr) : ModalOwner(parent_);
  header.hInstance = AfxGetResourceHandle();
  header.pszCaption = caption_;
  header.nPages = static_cast<UINT>(pages.size());
  header.nStartPage = startPage_ < pages.size() ? startPage_ : 0;
  header.ppsp = pages.data();
}

INT_PTR CPropertySheet::DoModal() {
  PROPSHEETHEADERA header;
  std::vector<PROPSHEETPAGEA> pages;
  BuildHeader(header, pages, false);
  m_hWnd = nullptr;
  INT_PTR r = PropertySheetA(&header);
  m_hWnd = nullptr;
  return r > 0 ? IDOK : IDCANCEL;
}

BOOL CPropertySheet::Create(CWnd* parent) {
  if (parent) parent_ = parent;
  PROPSHEETHEADERA header;
  std::vector<PROPSHEETPAGEA> pages;
  BuildHeader(header, pages, true);
  INT_PTR r = PropertySheetA(&header);
  if (r <= 0) return FALSE;
  m_hWnd = reinterpret_cast<HWND>(r);
  return TRUE;
}

CPropertyPage* CPropertySheet::GetActivePage() const {
  HWND page = reinterpret_cast<HWND>(::SendMessageA(m_hWnd, PSM_GETCURRENTPAGEHWND, 0, 0));
  return static_cast<CPropertyPage*>(FromHandlePermanent(page));
}

BOOL CPropertySheet::SetActivePage(int index) {
  return static_cast<BOOL>(::SendMessageA(m_hWnd, PSM_SETCURSEL, static_cast<WPARAM>(index), 0));
}

// ----- CRichEditCtrl -------------------------------------------------------------------------
BOOL CRichEditCtrl::Create(DWORD style, const RECT& rect, CWnd* parent, UINT id) {
  static HMODULE richEdit = LoadLibraryA("riched20.dll");
  if (!richEdit) return FALSE;
  CREATESTRUCTA cs;
  std::memset(&cs, 0, sizeof cs);
  cs.style = static_cast<LONG>(style);
  cs.x = rect.left;
  cs.y = rect.top;
  cs.cx = rect.right - rect.left;
  cs.cy = rect.bottom - rect.top;
  cs.hwndParent = parent ? parent->m_hWnd : nullptr;
  cs.hMenu = reinterpret_cast<HMENU>(static_cast<UINT_PTR>(id));
  cs.lpszClass = RICHEDIT_CLASSA;
  if (!PreCreateWindow(cs)) return FALSE;
  HWND hwnd = CreateWindowExA(cs.dwExStyle, cs.lpszClass, "", static_cast<DWORD>(cs.style), cs.x, cs.y, cs.cx,
                              cs.cy, cs.hwndParent, cs.hMenu, AfxGetInstanceHandle(), nullptr);
  if (!hwnd || !SubclassWindow(hwnd)) return FALSE;
  if (OnCreate(&cs) == -1) {
    ::DestroyWindow(hwnd);
    return FALSE;
  }
  return TRUE;
}

BOOL CRichEditCtrl::SetDefaultCharFormat(CHARFORMAT2A& format) {
  format.cbSize = sizeof format;
  return static_cast<BOOL>(SendMessage(EM_SETCHARFORMAT, SCF_DEFAULT, reinterpret_cast<LPARAM>(&format)));
}

BOOL CRichEditCtrl::SetWordCharFormat(CHARFORMAT2A& format) {
  format.cbSize = sizeof format;
  return static_cast<BOOL>(
      SendMessage(EM_SETCHARFORMAT, SCF_SELECTION | SCF_WORD, reinterpret_cast<LPARAM>(&format)));
}

BOOL CRichEditCtrl::SetSelectionCharFormat(CHARFORMAT2A& format) {
  format.cbSize = sizeof format;
  return static_cast<BOOL>(SendMessage(EM_SETCHARFORMAT, SCF_SELECTION, reinterpret_cast<LPARAM>(&format)));
}

BOOL CRichEditCtrl::SetParaFormat(PARAFORMAT2& format) {
  format.cbSize = sizeof format;
  return static_cast<BOOL>(SendMessage(EM_SETPARAFORMAT, 0, reinterpret_cast<LPARAM>(&format)));
}

COLORREF CRichEditCtrl::SetBackgroundColor(BOOL useSystem, COLORREF color) {
  return static_cast<COLORREF>(SendMessage(EM_SETBKGNDCOLOR, useSystem, color));
}

void CRichEditCtrl::GetSel(long& start, long& end) const {
  CHARRANGE range = {0, 0};
  SendMessage(EM_EXGETSEL, 0, reinterpret_cast<LPARAM>(&range));
  start = range.cpMin;
  end = range.cpMax;
}

void CRichEditCtrl::SetSel(long start, long end) {
  CHARRANGE range = {start, end};
  SendMessage(EM_EXSETSEL, 0, reinterpret_cast<LPARAM>(&range));
}

void CRichEditCtrl::ReplaceSel(const char* text, BOOL canUndo) {
  SendMessage(EM_REPLACESEL, canUndo, reinterpret_cast<LPARAM>(text ? text : ""));
}

int CRichEditCtrl::GetFirstVisibleLine() const { return static_cast<int>(SendMessage(EM_GETFIRSTVISIBLELINE)); }
void CRichEditCtrl::LineScroll(int lines, int chars) { SendMessage(EM_LINESCROLL, chars, lines); }

long CRichEditCtrl::StreamOut(int format, EDITSTREAM& stream) {
  return static_cast<long>(SendMessage(EM_STREAMOUT, static_cast<WPARAM>(format), reinterpret_cast<LPARAM>(&stream)));
}

int CRichEditCtrl::GetTextLength() const { return GetWindowTextLength(); }
