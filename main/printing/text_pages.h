// A text on printed pages, without a printer: its lines cut into rows of a fixed-pitch
// font's columns (nothing is cut off at the right margin) and the rows into pages, a line's
// rows kept together on one page unless the line alone is longer than a page. Portable.
#pragma once
#include <string>
#include <vector>

namespace lx {
namespace print {

// A page in a device's units: the paper's printable size, the margin on every side, the
// fixed-pitch font's line height and character width.
struct PageGeometry {
  int pageWidth = 0, pageHeight = 0;
  int margin = 0;
  int lineHeight = 1, charWidth = 1;
};

// The body of a page: rows below the header (title and rule, two rows) and above the
// footer (a blank row and the page number, two rows), and characters per row.
struct PageFormat {
  int rowsPerPage = 1;
  int columns = 1;
};
constexpr int kHeaderRows = 2;
constexpr int kFooterRows = 2;

PageFormat FormatFor(const PageGeometry& page);

// The text's lines: a line ends at CR LF, CR or LF; a last line end makes no empty line
// after it; tabs become spaces to the next multiple of eight columns.
std::vector<std::string> TextLines(const std::string& text);

using Page = std::vector<std::string>;
// At least one page (an empty text gives one empty page).
std::vector<Page> Paginate(const std::string& text, const PageFormat& format);

// "Page 2 of 5".
std::string PageNumberText(int page, int count);

}  // namespace print
}  // namespace lx
