#include "print_text.h"

#include <commdlg.h>
#include <winspool.h>

#include <algorithm>

#include <cstring>
#include <memory>

#include "lumivex/prompt.h"
#include "tool_host.h"

namespace lx {
namespace print {

namespace {

// The printer and paper of the last Print Setup or Print dialog.
HGLOBAL g_devMode = nullptr;
HGLOBAL g_devNames = nullptr;

const char kPreviewClass[] = "LumivexPrintPreview";
const char kNoPrinter[] = "No printer is installed.";
constexpr int kPointSize = 9;
constexpr int kButtonsHeight = 34;

// The font of the pages, in the units of a device with `dpi` dots per inch vertically.
HFONT PageFont(int dpi, int weight = FW_NORMAL) {
  return CreateFontA(-MulDiv(kPointSize, dpi, 72), 0, 0, 0, weight, 0, 0, 0, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS,
                     CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, FIXED_PITCH | FF_MODERN, "Courier New");
}

// The page of a device: its printable size, half-inch margins (less what the printer cannot
// reach anyway) and the font's cell.
PageGeometry GeometryOf(HDC reference, int width, int height, int dpiX, int dpiY, int offsetX, int offsetY) {
  PageGeometry page;
  page.pageWidth = width;
  page.pageHeight = height;
  page.margin = std::max(dpiX / 2 - offsetX, dpiY / 2 - offsetY);
  if (page.margin < 0) page.margin = 0;
  HFONT font = PageFont(dpiY);
  HGDIOBJ old = SelectObject(reference, font);
  TEXTMETRICA tm;
  GetTextMetricsA(reference, &tm);
  SelectObject(reference, old);
  DeleteObject(font);
  page.lineHeight = std::max(static_cast<int>(tm.tmHeight + tm.tmExternalLeading), 1);
  page.charWidth = std::max(static_cast<int>(tm.tmAveCharWidth), 1);
  return page;
}

PageGeometry PrinterGeometry(HDC printer) {
  return GeometryOf(printer, GetDeviceCaps(printer, HORZRES), GetDeviceCaps(printer, VERTRES),
                    GetDeviceCaps(printer, LOGPIXELSX), GetDeviceCaps(printer, LOGPIXELSY),
                    GetDeviceCaps(printer, PHYSICALOFFSETX), GetDeviceCaps(printer, PHYSICALOFFSETY));
}

// A page without a printer: Letter, 600 dots per inch; the font is measured at that size.
PageGeometry VirtualGeometry() {
  HDC screen = GetDC(nullptr);
  HDC memory = CreateCompatibleDC(screen);
  PageGeometry page = GeometryOf(memory, 8 * 600 + 300, 11 * 600, 600, 600, 0, 0);
  DeleteDC(memory);
  ReleaseDC(nullptr, screen);
  return page;
}

// Draws one page in page units (the caller maps them onto the device).
void DrawPage(HDC dc, const PageGeometry& g, const std::string& title, const Page& rows, int index, int count,
              int dpiY) {
  HFONT font = PageFont(dpiY), bold = PageFont(dpiY, FW_BOLD);
  HGDIOBJ old = SelectObject(dc, bold);
  SetBkMode(dc, TRANSPARENT);
  SetTextColor(dc, RGB(0, 0, 0));
  int left = g.margin, right = g.pageWidth - g.margin, top = g.margin;
  RECT header = {left, top, right, top + g.lineHeight};
  DrawTextA(dc, title.c_str(), -1, &header, DT_SINGLELINE | DT_LEFT | DT_NOPREFIX | DT_END_ELLIPSIS);
  HPEN pen = CreatePen(PS_SOLID, std::max(g.lineHeight / 16, 1), RGB(0, 0, 0));
  HGDIOBJ oldPen = SelectObject(dc, pen);
  int rule = top + g.lineHeight + g.lineHeight / 2;
  MoveToEx(dc, left, rule, nullptr);
  LineTo(dc, right, rule);
  SelectObject(dc, oldPen);
  DeleteObject(pen);
  SelectObject(dc, font);
  int y = top + kHeaderRows * g.lineHeight;
  for (const std::string& row : rows) {
    TextOutA(dc, left, y, row.c_str(), static_cast<int>(row.size()));
    y += g.lineHeight;
  }
  std::string number = PageNumberText(index + 1, count);
  RECT footer = {left, g.pageHeight - g.margin - g.lineHeight, right, g.pageHeight - g.margin};
  DrawTextA(dc, number.c_str(), -1, &footer, DT_SINGLELINE | DT_CENTER | DT_NOPREFIX);
  SelectObject(dc, old);
  DeleteObject(font);
  DeleteObject(bold);
}

// Runs the print dialog on the printer chosen before and keeps what the user chooses. False
// when cancelled or when there is no printer (said in a message unless quiet).
bool RunPrintDialog(HWND owner, DWORD flags, PRINTDLGA& pd, bool quiet = false) {
  std::memset(&pd, 0, sizeof pd);
  // Without a printer the dialogs have nothing to offer (some show a notice of their own).
  DWORD needed = 0, count = 0;
  EnumPrintersA(PRINTER_ENUM_LOCAL | PRINTER_ENUM_CONNECTIONS, nullptr, 4, nullptr, 0, &needed, &count);
  if (needed == 0) {
    if (!quiet) LxMessageBox(owner, kNoPrinter, lx::ToolCaption(nullptr), MB_OK | MB_ICONEXCLAMATION);
    return false;
  }
  pd.lStructSize = sizeof pd;
  pd.hwndOwner = owner;
  pd.hDevMode = g_devMode;
  pd.hDevNames = g_devNames;
  pd.Flags = flags;
  pd.nCopies = 1;
  if (!PrintDlgA(&pd)) {
    if (!quiet && CommDlgExtendedError() != 0) LxMessageBox(owner, kNoPrinter, lx::ToolCaption(nullptr), MB_OK | MB_ICONEXCLAMATION);
    return false;
  }
  g_devMode = pd.hDevMode;
  g_devNames = pd.hDevNames;
  return true;
}

// The Print dialog's printer DC, or null.
HDC AskPrinter(HWND owner, bool* toFile) {
  PRINTDLGA pd;
  if (!RunPrintDialog(owner, PD_RETURNDC | PD_NOSELECTION | PD_NOPAGENUMS | PD_USEDEVMODECOPIESANDCOLLATE, pd))
    return nullptr;
  if (toFile) *toFile = (pd.Flags & PD_PRINTTOFILE) != 0;
  return pd.hDC;
}

struct Preview {
  PrintDocument document;
  PageGeometry geometry;
  int dpiY = 600;
  std::vector<Page> pages;
  int current = 0;
  HWND label = nullptr, previous = nullptr, next = nullptr;
};

enum { kPrintButton = 101, kNextButton, kPrevButton, kCloseButton };

Preview* PreviewOf(HWND window) {
  return window ? reinterpret_cast<Preview*>(GetWindowLongPtrA(window, GWLP_USERDATA)) : nullptr;
}

void UpdateControls(HWND window, Preview* p) {
  std::string text = PageNumberText(p->current + 1, static_cast<int>(p->pages.size()));
  SetWindowTextA(p->label, text.c_str());
  EnableWindow(p->previous, p->current > 0);
  EnableWindow(p->next, p->current + 1 < static_cast<int>(p->pages.size()));
  InvalidateRect(window, nullptr, TRUE);
}

// The page's place in the window: as large as fits below the buttons, paper proportions.
RECT PagePlace(HWND window, const PageGeometry& g) {
  RECT client;
  GetClientRect(window, &client);
  int availW = client.right - 32, availH = client.bottom - kButtonsHeight - 24;
  if (availW < 10 || availH < 10) return RECT{0, 0, 0, 0};
  int w = availW, h = MulDiv(w, g.pageHeight, g.pageWidth);
  if (h > availH) {
    h = availH;
    w = MulDiv(h, g.pageWidth, g.pageHeight);
  }
  int x = (client.right - w) / 2, y = kButtonsHeight + (client.bottom - kButtonsHeight - h) / 2;
  return RECT{x, y, x + w, y + h};
}

void PaintPreview(HWND window, Preview* p) {
  PAINTSTRUCT ps;
  HDC dc = BeginPaint(window, &ps);
  RECT client;
  GetClientRect(window, &client);
  RECT strip = client;
  strip.bottom = kButtonsHeight;
  FillRect(dc, &strip, GetSysColorBrush(COLOR_BTNFACE));
  client.top = kButtonsHeight;
  FillRect(dc, &client, GetSysColorBrush(COLOR_APPWORKSPACE));
  RECT page = PagePlace(window, p->geometry);
  if (!IsRectEmpty(&page)) {
    RECT shadow = page;
    OffsetRect(&shadow, 4, 4);
    FillRect(dc, &shadow, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
    FillRect(dc, &page, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
    int saved = SaveDC(dc);
    IntersectClipRect(dc, page.left, page.top, page.right, page.bottom);
    SetMapMode(dc, MM_ANISOTROPIC);
    SetWindowExtEx(dc, p->geometry.pageWidth, p->geometry.pageHeight, nullptr);
    SetViewportExtEx(dc, page.right - page.left, page.bottom - page.top, nullptr);
    SetViewportOrgEx(dc, page.left, page.top, nullptr);
    if (p->current < static_cast<int>(p->pages.size()))
      DrawPage(dc, p->geometry, p->document.title, p->pages[static_cast<size_t>(p->current)], p->current,
               static_cast<int>(p->pages.size()), p->dpiY);
    RestoreDC(dc, saved);
  }
  EndPaint(window, &ps);
}

LRESULT CALLBACK PreviewProc(HWND window, UINT msg, WPARAM wp, LPARAM lp) {
  Preview* p = PreviewOf(window);
  switch (msg) {
    case WM_PAINT:
      if (p) {
        PaintPreview(window, p);
        return 0;
      }
      break;
    case WM_ERASEBKGND:
      return 1;  // the painting covers everything
    case WM_CTLCOLORSTATIC:
      SetBkColor(reinterpret_cast<HDC>(wp), GetSysColor(COLOR_BTNFACE));
      return reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_BTNFACE));
    case WM_SIZE:
      InvalidateRect(window, nullptr, TRUE);
      return 0;
    case WM_COMMAND:
      if (!p) break;
      switch (LOWORD(wp)) {
        case kPrintButton:
          PrintText(GetWindow(window, GW_OWNER), p->document, false);
          return 0;
        case kNextButton:
          PreviewShowPage(window, p->current + 1);
          return 0;
        case kPrevButton:
          PreviewShowPage(window, p->current - 1);
          return 0;
        case kCloseButton:
        case IDCANCEL:
          DestroyWindow(window);
          return 0;
        default:
          break;
      }
      break;
    case WM_KEYDOWN:
      if (!p) break;
      if (wp == VK_NEXT || wp == VK_DOWN) PreviewShowPage(window, p->current + 1);
      if (wp == VK_PRIOR || wp == VK_UP) PreviewShowPage(window, p->current - 1);
      if (wp == VK_ESCAPE) DestroyWindow(window);
      return 0;
    case WM_NCDESTROY:
      delete p;
      SetWindowLongPtrA(window, GWLP_USERDATA, 0);
      break;
    default:
      break;
  }
  return DefWindowProcA(window, msg, wp, lp);
}

HWND Button(HWND parent, const char* text, int id, int x, int width) {
  HWND button = CreateWindowExA(0, "BUTTON", text, WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_PUSHBUTTON, x, 6, width,
                                24, parent, reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
                                GetModuleHandleA(nullptr), nullptr);
  SendMessageA(button, WM_SETFONT, reinterpret_cast<WPARAM>(GetStockObject(DEFAULT_GUI_FONT)), TRUE);
  return button;
}

// The printer chosen before (else the default one) without a dialog, or null.
HDC DefaultPrinter() {
  if (g_devNames) {
    auto* names = static_cast<DEVNAMES*>(GlobalLock(g_devNames));
    auto* mode = g_devMode ? static_cast<DEVMODEA*>(GlobalLock(g_devMode)) : nullptr;
    const char* base = reinterpret_cast<const char*>(names);
    HDC dc = CreateDCA(base + names->wDriverOffset, base + names->wDeviceOffset, nullptr, mode);
    if (mode) GlobalUnlock(g_devMode);
    GlobalUnlock(g_devNames);
    return dc;
  }
  PRINTDLGA pd;
  return RunPrintDialog(nullptr, PD_RETURNDEFAULT | PD_RETURNDC, pd, true) ? pd.hDC : nullptr;
}

}  // namespace

bool PrintText(HWND owner, const PrintDocument& document, bool direct) {
  bool toFile = false;
  HDC printer = direct ? DefaultPrinter() : AskPrinter(owner, &toFile);
  if (!printer) {
    if (direct) LxMessageBox(owner, kNoPrinter, lx::ToolCaption(nullptr), MB_OK | MB_ICONEXCLAMATION);
    return false;
  }
  PageGeometry geometry = PrinterGeometry(printer);
  std::vector<Page> pages = Paginate(document.text, FormatFor(geometry));
  DOCINFOA info;
  std::memset(&info, 0, sizeof info);
  info.cbSize = sizeof info;
  info.lpszDocName = document.title.c_str();
  if (toFile) info.lpszOutput = "FILE:";
  bool ok = StartDocA(printer, &info) > 0;
  for (size_t i = 0; ok && i < pages.size(); ++i) {
    ok = StartPage(printer) > 0;
    if (!ok) break;
    DrawPage(printer, geometry, document.title, pages[i], static_cast<int>(i), static_cast<int>(pages.size()),
             GetDeviceCaps(printer, LOGPIXELSY));
    ok = EndPage(printer) > 0;
  }
  if (ok) {
    ok = EndDoc(printer) > 0;
  } else {
    AbortDoc(printer);
  }
  DeleteDC(printer);
  if (!ok) LxMessageBox(owner, "Printing failed.", lx::ToolCaption(nullptr), MB_OK | MB_ICONEXCLAMATION);
  return ok;
}

void PrintSetup(HWND owner) {
  PRINTDLGA pd;
  RunPrintDialog(owner, PD_PRINTSETUP, pd);
}

HWND ShowPrintPreview(HWND owner, const PrintDocument& document) {
  WNDCLASSA cls;
  HINSTANCE instance = GetModuleHandleA(nullptr);
  if (!GetClassInfoA(instance, kPreviewClass, &cls)) {
    std::memset(&cls, 0, sizeof cls);
    cls.lpfnWndProc = PreviewProc;
    cls.hInstance = instance;
    cls.hCursor = LoadCursor(nullptr, IDC_ARROW);
    cls.hbrBackground = GetSysColorBrush(COLOR_BTNFACE);
    cls.lpszClassName = kPreviewClass;
    if (!RegisterClassA(&cls)) return nullptr;
  }
  auto preview = std::make_unique<Preview>();
  preview->document = document;
  // The pages of the printer that would print them, else of a Letter page.
  HDC printer = g_devNames ? DefaultPrinter() : nullptr;
  if (printer) {
    preview->geometry = PrinterGeometry(printer);
    preview->dpiY = GetDeviceCaps(printer, LOGPIXELSY);
    DeleteDC(printer);
  } else {
    preview->geometry = VirtualGeometry();
    preview->dpiY = 600;
  }
  preview->pages = Paginate(document.text, FormatFor(preview->geometry));
  std::string caption = document.title + " - Print Preview";
  RECT place = {60, 40, 60 + 640, 40 + 760};
  HWND window = CreateWindowExA(0, kPreviewClass, caption.c_str(), WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN, place.left,
                                place.top, place.right - place.left, place.bottom - place.top, owner, nullptr, instance,
                                nullptr);
  if (!window) return nullptr;
  Preview* p = preview.release();
  SetWindowLongPtrA(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(p));
  Button(window, "&Print...", kPrintButton, 8, 80);
  p->next = Button(window, "&Next Page", kNextButton, 96, 80);
  p->previous = Button(window, "Pre&v Page", kPrevButton, 184, 80);
  Button(window, "&Close", kCloseButton, 272, 80);
  p->label = CreateWindowExA(0, "STATIC", "", WS_CHILD | WS_VISIBLE | SS_LEFT, 368, 11, 200, 20, window, nullptr,
                             instance, nullptr);
  SendMessageA(p->label, WM_SETFONT, reinterpret_cast<WPARAM>(GetStockObject(DEFAULT_GUI_FONT)), TRUE);
  UpdateControls(window, p);
  ShowWindow(window, SW_SHOW);
  UpdateWindow(window);
  return window;
}

int PreviewPageCount(HWND preview) {
  Preview* p = PreviewOf(preview);
  return p ? static_cast<int>(p->pages.size()) : 0;
}

int PreviewCurrentPage(HWND preview) {
  Preview* p = PreviewOf(preview);
  return p ? p->current : -1;
}

bool PreviewShowPage(HWND preview, int page) {
  Preview* p = PreviewOf(preview);
  if (!p || page < 0 || page >= static_cast<int>(p->pages.size())) return false;
  p->current = page;
  UpdateControls(preview, p);
  return true;
}

PageFormat PreviewFormat(HWND preview) {
  Preview* p = PreviewOf(preview);
  return p ? FormatFor(p->geometry) : PageFormat();
}

}  // namespace print
}  // namespace lx
