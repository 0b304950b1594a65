// Pages of a printed text: rows per page from the paper and the font, lines cut into rows
// with nothing lost, page breaks that do not split a line.
#include <gtest/gtest.h>

#include "text_pages.h"

using namespace lx::print;

TEST(TextPages, ThePageGivesItsRowsAndColumns) {
  struct Case {
    PageGeometry page;
    int rows, columns;
  } cases[] = {
      // Letter at 600 dpi, half-inch margins, Courier New 9 pt (75 by 45 units): 80 lines of 100.
      {{5100, 6600, 300, 75, 45}, 80 - kHeaderRows - kFooterRows, 100},
      {{5100, 6600, 300, 80, 45}, 75 - kHeaderRows - kFooterRows, 100},
      {{100, 100, 60, 10, 10}, 1, 1},  // margins larger than the paper: still a row and a column
      {{1000, 1000, 0, 0, 0}, 1000 - kHeaderRows - kFooterRows, 1000},  // no font size is taken as 1
  };
  for (const Case& c : cases) {
    PageFormat f = FormatFor(c.page);
    EXPECT_EQ(f.rowsPerPage, c.rows) << c.page.lineHeight;
    EXPECT_EQ(f.columns, c.columns) << c.page.lineHeight;
  }
}

TEST(TextPages, LinesEndAtAnyLineEndAndTabsBecomeSpaces) {
  struct Case {
    const char* text;
    std::vector<std::string> lines;
  } cases[] = {
      {"", {}},
      {"one", {"one"}},
      {"one\r\ntwo\r\n", {"one", "two"}},
      {"one\rtwo\nthree", {"one", "two", "three"}},
      {"\r\n\r\n", {"", ""}},
      {"a\tb\tc", {"a       b       c"}},
      {"12345678\tx", {"12345678        x"}},
  };
  for (const Case& c : cases) EXPECT_EQ(TextLines(c.text), c.lines) << c.text;
}

std::string Numbered(int count) {
  std::string text;
  for (int i = 1; i <= count; ++i) text += "line " + std::to_string(i) + "\r\n";
  return text;
}

TEST(TextPages, ThreeHundredLinesFillWholePagesInOrderAndLoseNothing) {
  PageFormat format{80, 100};
  std::vector<Page> pages = Paginate(Numbered(300), format);
  ASSERT_EQ(pages.size(), 4u);
  EXPECT_EQ(pages[0].size(), 80u);
  EXPECT_EQ(pages[2].size(), 80u);
  EXPECT_EQ(pages[3].size(), 60u);
  EXPECT_EQ(pages[0].front(), "line 1");
  EXPECT_EQ(pages[1].front(), "line 81");
  EXPECT_EQ(pages[3].back(), "line 300");

  EXPECT_EQ(Paginate("", format).size(), 1u);  // an empty window prints one empty page
  EXPECT_TRUE(Paginate("", format)[0].empty());
  EXPECT_EQ(Paginate(Numbered(80), format).size(), 1u);  // exactly full
  EXPECT_EQ(Paginate(Numbered(81), format).size(), 2u);
}

TEST(TextPages, LongLinesWrapAndAWrappedLineIsNotSplitBetweenPages) {
  PageFormat format{4, 10};
  std::string line25(25, 'x');
  line25[0] = 'A';
  line25[24] = 'Z';
  // Two short lines, then a line of three rows: it does not fit below them and moves on.
  std::vector<Page> pages = Paginate("one\r\ntwo\r\n" + line25 + "\r\n", format);
  ASSERT_EQ(pages.size(), 2u);
  EXPECT_EQ(pages[0], (Page{"one", "two"}));
  EXPECT_EQ(pages[1], (Page{"Axxxxxxxxx", "xxxxxxxxxx", "xxxxZ"}));

  // A line longer than a page goes on over as many pages as it needs, every character kept.
  std::string line95(95, 'y');
  pages = Paginate("top\r\n" + line95, format);
  ASSERT_EQ(pages.size(), 3u);
  EXPECT_EQ(pages[0].size(), 4u);
  EXPECT_EQ(pages[0][0], "top");
  std::string joined;
  for (const Page& page : pages)
    for (const std::string& row : page)
      if (row != "top") joined += row;
  EXPECT_EQ(joined, line95);
  for (const Page& page : pages)
    for (const std::string& row : page) EXPECT_LE(row.size(), 10u);
}

TEST(TextPages, PageNumbers) { EXPECT_EQ(PageNumberText(2, 5), "Page 2 of 5"); }
