// Printing a window's text: the Print, Print Setup and Print Preview commands of the thread
// windows and the log, over the common print dialogs and our own page layout (a header with
// the window's title, the text in Courier New 9 pt, "Page n of m" at the foot, half-inch
// margins).
#pragma once
#include <windows.h>

#include <string>

#include "text_pages.h"

namespace lx {
namespace print {

struct PrintDocument {
  std::string title;
  std::string text;
};

// Through the Print dialog, or straight to the chosen (else default) printer when `direct`.
// False when cancelled, when there is no printer (said in a message) or when printing failed.
bool PrintText(HWND owner, const PrintDocument& document, bool direct);

// The Print Setup dialog; the chosen printer and paper serve the later prints and previews.
void PrintSetup(HWND owner);

// The preview window, owned by `owner` (one page at a time; Print, Next Page, Prev Page,
// Close). Without a printer the pages are Letter size at 600 dots per inch.
HWND ShowPrintPreview(HWND owner, const PrintDocument& document);
int PreviewPageCount(HWND preview);
int PreviewCurrentPage(HWND preview);  // zero-based
bool PreviewShowPage(HWND preview, int page);
// The page layout the preview uses.
PageFormat PreviewFormat(HWND preview);

}  // namespace print
}  // namespace lx
