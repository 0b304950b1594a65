#include "log_ctrl.h"

#include <cstring>

#include "app.h"

BOOL CLogCtrl::Create(DWORD style, const RECT& rect, CWnd* parent, UINT id) {
  m_OwnerThreadId = GetCurrentThreadId();
  return CRichEditCtrl::Create(style, rect, parent, id);
}

BOOL CLogCtrl::PreCreateWindow(CREATESTRUCTA& cs) {
  cs.style &= ~static_cast<LONG>(WS_BORDER);
  return TRUE;
}

int CLogCtrl::OnCreate(CREATESTRUCTA*) {
  ApplyDefaultFormat();
  return 0;
}

void CLogCtrl::ApplyDefaultFormat() {
  PARAFORMAT2 para;
  std::memset(&para, 0, sizeof para);
  para.dwMask = PFM_TABSTOPS;
  para.cTabCount = 32;
  for (int i = 0; i < 32; ++i) para.rgxTabs[i] = (i + 1) * 288;
  SetSel(0, -1);
  SetParaFormat(para);

  CHARFORMAT2A chars;
  std::memset(&chars, 0, sizeof chars);
  chars.dwMask = CFM_FACE | CFM_SIZE | CFM_BOLD | CFM_ITALIC | CFM_UNDERLINE | CFM_STRIKEOUT | CFM_PROTECTED |
                 CFM_COLOR | CFM_CHARSET;
  chars.dwEffects = 0;
  chars.yHeight = 180;
  chars.crTextColor = RGB(0, 0, 0);
  chars.bCharSet = DEFAULT_CHARSET;
  lstrcpynA(chars.szFaceName, "Courier New", LF_FACESIZE);
  SetDefaultCharFormat(chars);
  SetWordCharFormat(chars);
  SetBackgroundColor(FALSE, RGB(255, 255, 255));
  SetSel(-1, -1);
}

LRESULT CLogCtrl::Print(uint8_t bold, COLORREF colour, const char* text) {
  if (GetCurrentThreadId() != m_OwnerThreadId) {
    LogLine line = {bold, colour, text};
    return ::SendMessageA(m_hWnd, WM_LOG_PRINT, 0, reinterpret_cast<LPARAM>(&line));
  }
  if (!text || !*text || !m_hWnd) return 0;
  SendMessage(WM_SETREDRAW, FALSE);
  int firstLine = GetFirstVisibleLine();
  long selStart = 0, selEnd = 0;
  GetSel(selStart, selEnd);
  SetSel(-1, -1);
  long endStart = 0, endEnd = 0;
  GetSel(endStart, endEnd);
  const bool follow = selStart == endStart && selEnd == endEnd;

  ReplaceSel(text, FALSE);
  SetSel(endStart, -1);
  CHARFORMAT2A chars;
  std::memset(&chars, 0, sizeof chars);
  chars.dwMask = CFM_BOLD | CFM_COLOR;
  chars.dwEffects = bold > 0 ? CFE_BOLD : 0;
  chars.crTextColor = colour;
  SetSelectionCharFormat(chars);

  if (follow) {
    SetSel(-1, -1);
    SendMessage(WM_VSCROLL, SB_BOTTOM, 0);
  } else {
    SetSel(selStart, selEnd);
    int nowFirst = GetFirstVisibleLine();
    if (nowFirst != firstLine) LineScroll(firstLine - nowFirst);
  }
  SendMessage(WM_SETREDRAW, TRUE);
  ::InvalidateRect(m_hWnd, nullptr, TRUE);
  ::UpdateWindow(m_hWnd);
  return 0;
}

int CLogCtrl::Clear() {
  SetWindowText("");
  return 0;
}

bool CLogCtrl::CanCopy() const {
  long start = 0, end = 0;
  GetSel(start, end);
  return start != end;
}

void CLogCtrl::OnEditCopy() {
  if (CanCopy()) SendMessage(WM_COPY);
}

namespace {
DWORD CALLBACK WriteChunk(DWORD_PTR cookie, LPBYTE buffer, LONG count, LONG* written) {
  DWORD put = 0;
  BOOL ok = WriteFile(reinterpret_cast<HANDLE>(cookie), buffer, static_cast<DWORD>(count), &put, nullptr);
  *written = static_cast<LONG>(put);
  return ok && put == static_cast<DWORD>(count) ? 0 : 1;
}
}  // namespace

int CLogCtrl::SaveLog() {
  CFileDialog dialog(FALSE, "doc", "*.doc", OFN_HIDEREADONLY | OFN_OVERWRITEPROMPT,
                     "Script Log Files (*.doc)|*.doc|All Files (*.*)|*.*||", this);
  CBrambApp* app = GetBrambApp();
  CString folder;
  if (app && !app->m_InstallFolder.IsEmpty()) {
    folder = app->m_UserAreaFolder + "\\User Data";
    dialog.m_ofn.lpstrInitialDir = folder;
  }
  if (dialog.DoModal() != IDOK) return 0;
  HANDLE file = CreateFileA(dialog.GetPathName(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                            nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    MessageBox("Log file could not be created.");
    return 0;
  }
  EDITSTREAM stream;
  stream.dwCookie = reinterpret_cast<DWORD_PTR>(file);
  stream.dwError = 0;
  stream.pfnCallback = &WriteChunk;
  StreamOut(SF_RTF, stream);
  CloseHandle(file);
  if (stream.dwError) MessageBox("Log file could not be written completely.");
  else MessageBox("Log file has created.");
  return 0;
}

LRESULT CLogCtrl::WindowProc(UINT msg, WPARAM wp, LPARAM lp) {
  if (msg == WM_LOG_PRINT) {
    const LogLine* line = reinterpret_cast<const LogLine*>(lp);
    if (line) Print(line->bold, line->colour, line->text);
    return 0;
  }
  if (msg == WM_TIMER && wp == 1) {
    KillTimer(1);
    Invalidate(TRUE);
    UpdateWindow();
    return 0;
  }
  return CRichEditCtrl::WindowProc(msg, wp, lp);
}
