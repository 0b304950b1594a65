#include "text_pages.h"

#include <algorithm>
#include <cstdio>

namespace lx {
namespace print {

PageFormat FormatFor(const PageGeometry& page) {
  PageFormat format;
  int line = std::max(page.lineHeight, 1), column = std::max(page.charWidth, 1);
  int height = page.pageHeight - 2 * page.margin, width = page.pageWidth - 2 * page.margin;
  format.rowsPerPage = std::max(height / line - kHeaderRows - kFooterRows, 1);
  format.columns = std::max(width / column, 1);
  return format;
}

std::vector<std::string> TextLines(const std::string& text) {
  std::vector<std::string> lines;
  std::string line;
  bool open = false;  // a line has begun that no line end closed yet
  for (size_t i = 0; i < text.size(); ++i) {
    char c = text[i];
    if (c == '\r' || c == '\n') {
      if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
      lines.push_back(line);
      line.clear();
      open = false;
      continue;
    }
    open = true;
    if (c == '\t') {
      line.append(8 - line.size() % 8, ' ');
    } else {
      line += c;
    }
  }
  if (open) lines.push_back(line);
  return lines;
}

std::vector<Page> Paginate(const std::string& text, const PageFormat& format) {
  const size_t rowsPerPage = static_cast<size_t>(std::max(format.rowsPerPage, 1));
  const size_t columns = static_cast<size_t>(std::max(format.columns, 1));
  std::vector<Page> pages(1);
  for (const std::string& line : TextLines(text)) {
    Page rows;
    for (size_t at = 0; at < line.size(); at += columns) rows.push_back(line.substr(at, columns));
    if (rows.empty()) rows.emplace_back();
    // A line that fits on a page is not split between two.
    if (rows.size() <= rowsPerPage && pages.back().size() + rows.size() > rowsPerPage) pages.emplace_back();
    for (std::string& row : rows) {
      if (pages.back().size() == rowsPerPage) pages.emplace_back();
      pages.back().push_back(std::move(row));
    }
  }
  return pages;
}

std::string PageNumberText(int page, int count) {
  char text[64];
  std::snprintf(text, sizeof text, "Page %d of %d", page, count);
  return text;
}

}  // namespace print
}  // namespace lx
