#include "explorer_core.h"

#include <gtest/gtest.h>

#include <string>
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

TEST(ExplorerCore, AsciiColumnAndCellTexts) {
  const uint8_t row[16] = {0x41, 0x7F, 0x1F, 0x20, 0x7E, 0x80, 0xFF, 0x00, 'a', 'b', 'c', '1', '2', '3', '~', ' '};
  EXPECT_EQ(lx::AsciiRowText(row), "A.. ~...abc123~ ");

  struct Cell {
    const char* text;
    bool ok;
    uint8_t value;
  } cells[] = {{"7e", true, 0x7E}, {"7E", true, 0x7E}, {"7", true, 0x07}, {"00", true, 0}, {"ff", true, 0xFF},
               {"zz", false, 0},   {"", false, 0},      {"-1", false, 0}, {" 1", false, 0}, {"1g", false, 0},
               {"123", false, 0}};
  for (const Cell& c : cells) {
    uint8_t value = 0x5A;
    EXPECT_EQ(lx::ParseHexCell(c.text, &value), c.ok) << c.text;
    EXPECT_EQ(value, c.ok ? c.value : 0x5A) << c.text;  // a refused text leaves the byte alone
  }
}

TEST(ExplorerCore, HexPatternTextsGiveTheirBytesAndBadTextsAreRefused) {
  struct Case {
    const char* text;
    lx::PatternError error;
    std::vector<uint8_t> bytes;
  } cases[] = {
      {"AA 55 a5 5a 0a 50", lx::PatternError::kNone, {0xAA, 0x55, 0xA5, 0x5A, 0x0A, 0x50}},
      {"aa55", lx::PatternError::kNone, {0xAA, 0x55}},
      {"a b", lx::PatternError::kNone, {0xA0, 0xB0}},
      {"abc", lx::PatternError::kNone, {0xAB, 0xC0}},
      {"  ff  ", lx::PatternError::kNone, {0xFF}},
      {"", lx::PatternError::kEmpty, {}},
      {"   ", lx::PatternError::kEmpty, {}},
      {"zz", lx::PatternError::kNotHex, {}},
      {"a-b", lx::PatternError::kNotHex, {}},
  };
  for (const Case& c : cases) {
    std::vector<uint8_t> bytes;
    EXPECT_EQ(lx::ParseHexPattern(c.text, &bytes), c.error) << c.text;
    if (c.error == lx::PatternError::kNone) {
      EXPECT_EQ(bytes, c.bytes) << c.text;
    }
  }
  // The text ends at its terminator even after a lone last digit: what lies behind it in
  // memory is no part of the pattern.
  const char memory[] = "abc\0de";
  std::vector<uint8_t> bytes;
  EXPECT_EQ(lx::ParseHexPattern(memory, &bytes), lx::PatternError::kNone);
  EXPECT_EQ(bytes, (std::vector<uint8_t>{0xAB, 0xC0}));

  std::string longest, tooLong;
  for (int i = 0; i < 511; ++i) longest += "5a ";
  for (int i = 0; i < 600; ++i) tooLong += "5a";
  EXPECT_EQ(lx::ParseHexPattern(longest.c_str(), &bytes), lx::PatternError::kNone);
  EXPECT_EQ(bytes.size(), 511u);
  EXPECT_EQ(lx::ParseHexPattern(tooLong.c_str(), &bytes), lx::PatternError::kTooLong);
  EXPECT_EQ(lx::CheckPatternLength(0), lx::PatternError::kEmpty);
  EXPECT_EQ(lx::CheckPatternLength(512), lx::PatternError::kTooLong);
  EXPECT_STRNE(lx::PatternErrorText(lx::PatternError::kTooLong), "");
}
