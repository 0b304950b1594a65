#include "explorer_core.h"

#include <gtest/gtest.h>

#include <vector>

TEST(ExplorerCore, ShownIndexStaysInsideTheDevice) {
  struct Case {
    uint64_t index, count;
    uint32_t shown;
  } cases[] = {{0, 0, 0}, {5, 0, 0}, {0, 1, 0}, {3, 4, 3}, {4, 4, 3}, {0xFFFFFFFFull + 7, 10, 9},
               {0x1'0000'0001ull, 0x2'0000'0000ull, 0xFFFFFFFFu}};
  for (const Case& c : cases) EXPECT_EQ(lx::ClampShownIndex(c.index, c.count), c.shown) << c.index << " of " << c.count;
}

TEST(ExplorerCore, WindowSizeIsAPowerOfTwoOfKilobytesAndBounded) {
  EXPECT_EQ(lx::NorWindowSize(0), 1024u);
  EXPECT_EQ(lx::NorWindowSize(3), 8192u);
  EXPECT_EQ(lx::NorWindowSize(20), 1024u << 20);
  EXPECT_EQ(lx::NorWindowSize(255), 1024u << 20);
}

TEST(ExplorerCore, RowsShowAddressesBytesAndMarks) {
  std::vector<uint8_t> data(40);
  for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<uint8_t>('A' + i);
  data[1] = 0;
  std::string rows = lx::HexRows(data.data(), data.size(), 0x1000, 17, 2);
  EXPECT_EQ(rows.substr(0, 16), " 00001000: 41 00");
  EXPECT_NE(rows.find("A.CDEFGHIJKLMNOP\r\n"), std::string::npos);
  EXPECT_NE(rows.find(">00001010: "), std::string::npos);  // bytes 17..18
  EXPECT_NE(rows.find(" 00001020: "), std::string::npos);  // the short last row
  // On a 16-bit bus the range counts words: words 7..8 are bytes 14..17, two rows.
  std::string words = lx::HexRows(data.data(), data.size(), 0, 7, 2, 2);
  EXPECT_NE(words.find(">00000000: "), std::string::npos);
  EXPECT_NE(words.find(">00000010: "), std::string::npos);
  EXPECT_NE(words.find(" 00000020: "), std::string::npos);
  EXPECT_EQ(lx::HexRows(nullptr, 10, 0), "");
  EXPECT_EQ(lx::HexRows(data.data(), 0, 0), "");
}
