// The NAND explorer's core against a small fake device: grid texts and edits, the block table
// and its file, the page search, ECC layout and checks with the test ECC module's real codes,
// the block rewrite, import and export.
#include "test_files.h"
#include "veltan_core.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <deque>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "device_api.h"
#include "explorer_core.h"
#include "fake_nand.h"
#include "fixtures/ecc_codes.h"

namespace {

class RecordingHost : public lx::VeltanHost {
 public:
  // Messages are told; Yes/No questions asked and answered from the queue (then No).
  int Ask(const std::string& text, const char*, unsigned type) override {
    if (type != LX_MB_YESNO) {
      told.push_back(text);
      return LX_IDOK;
    }
    asked.push_back(text);
    if (answers.empty()) return LX_IDNO;
    bool answer = answers.front();
    answers.pop_front();
    return answer ? LX_IDYES : LX_IDNO;
  }
  bool ChooseTableFile(std::string* path) override {
    if (chosen.empty()) return false;
    *path = chosen;
    return true;
  }
  std::string ScratchFolder() override { return folder; }
  std::vector<std::string> told, asked;
  std::deque<bool> answers;
  std::string chosen;
  std::string folder;
};

std::string TempFolder() {
  namespace fs = std::filesystem;
  const fs::path folder = fs::temp_directory_path() /
                          ("lx_veltan_" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) + "_" +
                           ::testing::UnitTest::GetInstance()->current_test_info()->name());
  std::error_code error;
  fs::create_directories(folder, error);
  EXPECT_FALSE(error) << folder.string();
  return folder.string() + "/";
}

using lxtest::ReadFile;

class VeltanCore : public ::testing::Test {
 protected:
  void SetUp() override {
    lx::ResetDeviceApiCells();
    nand.Install();
    host.folder = made_ = TempFolder();
    table.m_SpareSize = nand.spare;
  }
  void TearDown() override {
    lx::ResetDeviceApiCells();
    std::error_code error;
    std::filesystem::remove_all(made_, error);  // the test's table and scratch files
  }
  // Loads the table answering No to both file questions.
  void LoadTable() {
    host.answers = {false, false, false};
    ASSERT_EQ(table.Load(0, host), 0);
    host.told.clear();
    host.asked.clear();
  }
  FakeNand nand;
  RecordingHost host;
  lx::CVeltanBlockTable table;
  std::string made_;  // the folder SetUp made (tests may point host.folder elsewhere)
};

// ---- device facts and the grid -----------------------------------------------------------------
TEST(VeltanGrid, BusWidthFromTheJedecIdAtTheTextsStart) {
  const struct {
    const char* text;
    uint8_t width;
  } cases[] = {
      {"[JEDEC ID:0001B1] 16-bit part", 16}, {"[jedec id:0001cc]", 16}, {"[JEDEC ID:0001F1]", 8},
      {"[JEDEC ID:00ABCD]", 8},  // not in the table
      {"NAND without an ID", 8}, {" [JEDEC ID:0001B1]", 8},  // not at offset 1
      {"[JEDEC ID:0001", 8},     // cut short
  };
  for (const auto& c : cases) EXPECT_EQ(lx::BusWidthFromDeviceText(c.text), c.width) << c.text;
}

TEST(VeltanGrid, LayoutRowsLabelsAndCells) {
  EXPECT_EQ(lx::VeltanLayout(8, 64).dataRows, 132);
  EXPECT_EQ(lx::VeltanLayout(8, 128).dataRows, 136);
  EXPECT_EQ(lx::VeltanLayout(8, 64).cols, 18);
  EXPECT_EQ(lx::VeltanLayout(16, 64).cols, 10);
  EXPECT_EQ(lx::VeltanRowLabel(2, 8), "0x010");
  EXPECT_EQ(lx::VeltanRowLabel(2, 16), "0x008");  // words
  EXPECT_EQ(lx::VeltanRowLabel(129, 8), "0x800");
  std::vector<uint8_t> page(2112, 0);
  page[16] = 0x41;
  page[17] = 0x7F;
  page[18] = 0xAB;
  page[19] = 0x12;
  EXPECT_EQ(lx::VeltanCellText(page.data(), 2, 3, 8), "AB");
  EXPECT_EQ(lx::VeltanCellText(page.data(), 2, 2, 16), "12AB");
  EXPECT_EQ(lx::VeltanRowText(page.data(), 2).substr(0, 4), "A...");
}

TEST(VeltanGrid, CellEditsByteAndWord) {
  std::vector<uint8_t> page(2112, 0);
  ASSERT_TRUE(lx::ApplyCellEdit(page.data(), page.size(), 2, 3, 8, "5a"));
  EXPECT_EQ(page[18], 0x5A);
  // 12AB in word cell 2 of row 1: 0x12 at the odd byte, 0xAB at the even one.
  ASSERT_TRUE(lx::ApplyCellEdit(page.data(), page.size(), 1, 2, 16, "12AB"));
  EXPECT_EQ(page[3], 0x12);
  EXPECT_EQ(page[2], 0xAB);
  ASSERT_TRUE(lx::ApplyCellEdit(page.data(), page.size(), 1, 1, 16, "1F"));
  EXPECT_EQ(page[0], 0x1F);
  EXPECT_EQ(page[1], 0x00);
  // The last spare byte is a cell like any other.
  ASSERT_TRUE(lx::ApplyCellEdit(page.data(), page.size(), 132, 16, 8, "00"));
  EXPECT_EQ(page[2111], 0x00);
  const struct {
    long row, col;
    uint8_t width;
    const char* typed;
  } refused[] = {{1, 1, 8, "123"}, {1, 1, 8, "g0"}, {1, 1, 8, ""}, {1, 17, 8, "00"}, {1, 9, 16, "0000"},
                 {1, 1, 16, "12345"}, {133, 1, 8, "00"}, {1, 0, 8, "00"}};
  std::vector<uint8_t> before = page;
  for (const auto& c : refused)
    EXPECT_FALSE(lx::ApplyCellEdit(page.data(), page.size(), c.row, c.col, c.width, c.typed)) << c.typed;
  EXPECT_EQ(page, before);
}

TEST(VeltanGrid, HighlightRowsStayInsideTheGrid) {
  long first = 0, last = 0;
  ASSERT_TRUE(lx::VeltanHighlightRows(17, 20, 8, 132, &first, &last));
  EXPECT_EQ(first, 2);
  EXPECT_EQ(last, 3);
  // Words: offset 17 is word 8 (row 2), 20 bytes from an odd offset are 11 words.
  ASSERT_TRUE(lx::VeltanHighlightRows(17, 20, 16, 132, &first, &last));
  EXPECT_EQ(first, 2);
  EXPECT_EQ(last, 3);
  // A match running past the last row is marked up to it, not beyond.
  ASSERT_TRUE(lx::VeltanHighlightRows(2100, 100, 8, 132, &first, &last));
  EXPECT_EQ(first, 132);
  EXPECT_EQ(last, 132);
  EXPECT_FALSE(lx::VeltanHighlightRows(2112, 1, 8, 132, &first, &last));
  EXPECT_FALSE(lx::VeltanHighlightRows(0, 0, 8, 132, &first, &last));
}

TEST_F(VeltanCore, PagesAndClamp) {
  EXPECT_EQ(lx::CountVeltanPages(), 128u);
  EXPECT_EQ(lx::ClampVeltanPage(-1, 128), 0u);
  EXPECT_EQ(lx::ClampVeltanPage(500, 128), 127u);
  EXPECT_EQ(lx::ClampVeltanPage(5, 0), 0u);
  EXPECT_EQ(lx::ReadBusWidth(), 8);
  lx::ResetDeviceApiCells();
  EXPECT_EQ(lx::CountVeltanPages(), 0u);  // the stubs' all ones are no size
}

// ---- block table --------------------------------------------------------------------------------
TEST_F(VeltanCore, BlockTableFromTheDeviceWithStatusesAndSizes) {
  nand.SetFactoryBad(3, 0x00);
  nand.SetFactoryBad(5, 0xF0);
  host.answers = {true, true};  // create the file; skip bad blocks without a prompt
  ASSERT_EQ(table.Load(0, host), 0);
  EXPECT_TRUE(table.Ready());
  EXPECT_EQ(host.asked[0], "Found 2 bad block(s).\nDo you want to create a new bad block table file?");
  EXPECT_EQ(host.told, std::vector<std::string>{"Bad block table file is created."});
  EXPECT_EQ(table.m_NoPrompt, 1);
  EXPECT_EQ(table.m_BlockStatus[3], 0);
  EXPECT_EQ(table.m_BlockStatus[5], 1);
  EXPECT_EQ(table.m_BlockStatus[4], 0xFF);
  EXPECT_EQ(table.m_BlockSize[0], 8u * 2112);
  EXPECT_EQ(table.m_BlockStart[2], 2u * 8 * 2112);
  const std::string file = ReadFile(host.folder + "__bbt__.txt");
  EXPECT_EQ(file.size(), 16u * 9);
  EXPECT_EQ(file.substr(0, 9), "0000:ff\r\n");
  EXPECT_EQ(file.substr(27, 18), "0003:00\r\n0004:ff\r\n");
  EXPECT_EQ(file.substr(45, 9), "0005:f0\r\n");
}

TEST_F(VeltanCore, BlockTableSizesOfALargeDevice) {
  nand.blocks = 1024;
  nand.perBlock = 64;
  nand.Install();
  LoadTable();
  EXPECT_EQ(table.m_BlockSize[7], 135168u);
  EXPECT_EQ(table.m_BlockStart[2], 270336u);
}

TEST_F(VeltanCore, ANoBadBlocksDeviceStillAsksAndLeavesTheNoPromptFlag) {
  table.m_NoPrompt = 1;
  host.answers = {true};
  ASSERT_EQ(table.Load(0, host), 0);
  EXPECT_EQ(host.asked.size(), 1u);  // no question about prompts
  EXPECT_EQ(table.m_NoPrompt, 1);
  EXPECT_EQ(ReadFile(host.folder + "__bbt__.txt").find(":00"), std::string::npos);
}

TEST_F(VeltanCore, BlockTableFileReplacesTheMarkers) {
  nand.SetFactoryBad(1);
  std::string text = lx::FormatBlockTableFile(std::vector<uint8_t>(16, 0xFF).data(), 16);
  text.replace(9 * 7 + 5, 2, "00");  // block 7 bad in the file, block 1 good
  const std::string path = host.folder + "mine.txt";
  std::ofstream(path, std::ios::binary) << text;
  host.chosen = path;
  host.answers = {false, true, false};
  ASSERT_EQ(table.Load(0, host), 0);
  EXPECT_TRUE(host.told.empty());
  EXPECT_FALSE(table.IsBad(1));
  EXPECT_TRUE(table.IsBad(7));
  // The prompt question counts the device's own bad blocks.
  EXPECT_EQ(host.asked.size(), 3u);
}

// A file that cannot be used leaves the device's markers as they are and says why.
TEST_F(VeltanCore, UnusableTableFileKeepsTheDevicesMarkers) {
  nand.SetFactoryBad(2);
  const std::string good = lx::FormatBlockTableFile(std::vector<uint8_t>(16, 0xFF).data(), 16);
  const struct {
    const char* name;
    std::string text;  // empty name: the dialog is cancelled
    const char* why;
  } cases[] = {
      {"short.txt", good.substr(0, 9 * 15), "The file lists 15 of the device's 16 blocks."},
      {"garbled.txt", "0000:zz\r\n" + good.substr(9), "Line 1 is not \"block:marker\"."},
      {"missing.txt", "", "The file cannot be opened."},
      {"", "", "No file was chosen."},
  };
  for (const auto& c : cases) {
    host.told.clear();
    host.chosen = c.name[0] ? host.folder + c.name : "";
    if (!c.text.empty()) std::ofstream(host.chosen, std::ios::binary) << c.text;
    host.answers = {false, true, false};
    ASSERT_EQ(table.Load(0, host), 0);
    ASSERT_EQ(host.told.size(), 2u) << c.name;
    EXPECT_EQ(host.told[0], std::string("Failed to read your bad block table file.\n") + c.why);
    EXPECT_EQ(host.told[1], "The bad block markers read from the device are kept.");
    EXPECT_TRUE(table.IsBad(2)) << c.name;
    EXPECT_FALSE(table.IsBad(3));
  }
}

TEST_F(VeltanCore, UncreatableTableFileKeepsTheDevicesMarkers) {
  nand.SetFactoryBad(2);
  host.folder += "no/such/folder/";
  host.answers = {true, false};
  ASSERT_EQ(table.Load(0, host), 0);
  EXPECT_EQ(host.told, (std::vector<std::string>{"Failed to create a bad block table file.",
                                                 "The bad block markers read from the device are kept."}));
  EXPECT_TRUE(table.IsBad(2));
}

TEST_F(VeltanCore, FailedDeviceTableMakesEveryBlockBadAndRefusesWork) {
  nand.bbtResult = -5;
  EXPECT_EQ(table.Load(0, host), -5);
  EXPECT_FALSE(table.Ready());
  EXPECT_TRUE(host.asked.empty());
  ASSERT_EQ(table.m_BlockStatus.size(), 16u);
  for (uint32_t b = 0; b < 16; ++b) EXPECT_TRUE(table.IsBad(b));
  host.told.clear();
  std::vector<uint8_t> page(2112, 0x00);
  EXPECT_FALSE(lx::RewriteBlock(9, page.data(), 64, &table, host));
  EXPECT_TRUE(nand.erases.empty());
  EXPECT_NE(host.told.at(0).find("programming and erasing are refused"), std::string::npos);
}

TEST(VeltanBlockTableFile, LinesOfFiveDigitBlocksAreRead) {
  std::vector<uint8_t> markers(10002, 0xFF);
  markers[10001] = 0x00;
  std::vector<uint8_t> read;
  std::string why;
  ASSERT_TRUE(lx::ParseBlockTableFile(lx::FormatBlockTableFile(markers.data(), 10002), 10002, &read, &why)) << why;
  EXPECT_EQ(read, markers);
}

// ---- find -----------------------------------------------------------------------------------------
TEST(VeltanFindPrimitives, HexPatternAndDifference) {
  std::vector<uint8_t> bytes;
  lx::ParseHexPattern("aa 5 0a", &bytes);
  EXPECT_EQ(bytes, (std::vector<uint8_t>{0xAA, 0x50, 0x0A}));
  std::vector<uint8_t> buffer(64, 0xFF);
  buffer[37] = 0xFE;
  const uint8_t one[] = {0xFF}, two[] = {0xFF, 0xFF};
  EXPECT_EQ(lx::FindDifferent(buffer.data(), 64, 64, 0, one, 1), 37);
  EXPECT_EQ(lx::FindDifferent(buffer.data(), 64, 64, 0, two, 2), 36);  // the 2-byte step that holds it
  const uint8_t fe[] = {0xFE, 0xFF};
  EXPECT_EQ(lx::FindPattern(buffer.data(), 64, 64, 0, fe, 2), 37);
  EXPECT_EQ(lx::FindPattern(buffer.data(), 64, 64, 38, fe, 2), -1);
}

class VeltanFindTest : public VeltanCore {
 protected:
  lx::VeltanFind Find(const std::vector<uint8_t>& pattern, uint32_t page, bool whole) {
    lx::VeltanFind find;
    find.pattern = pattern;
    find.spare = nand.spare;
    find.totalPages = lx::CountVeltanPages();
    find.page = page;
    find.lastPage = find.totalPages - 1;
    find.wholeRange = whole;
    return find;
  }
};

TEST_F(VeltanFindTest, AcrossPagesIntoTheNextAndAtTheVeryEnd) {
  const std::vector<uint8_t> pattern = {'N', 'A', 'N', 'D', '!'};
  // Starts in the spare area of page 4 and ends in page 5.
  std::memcpy(nand.Page(4) + 2109, "NAN", 3);
  std::memcpy(nand.Page(5), "D!", 2);
  // And the last five bytes of the device's last page.
  std::memcpy(nand.Page(127) + 2107, "NAND!", 5);
  lx::VeltanFind find = Find(pattern, 0, true);
  lx::VeltanFindResult hit = lx::RunVeltanFind(find);
  ASSERT_EQ(hit.outcome, lx::VeltanFindOutcome::kHit);
  EXPECT_EQ(hit.page, 4u);
  EXPECT_EQ(hit.offset, 2109);
  lx::AdvancePastHit(&find, hit);
  EXPECT_EQ(find.offset, 2110);
  hit = lx::RunVeltanFind(find);
  ASSERT_EQ(hit.outcome, lx::VeltanFindOutcome::kHit);
  EXPECT_EQ(hit.page, 127u);
  EXPECT_EQ(hit.offset, 2107);
  lx::AdvancePastHit(&find, hit);
  EXPECT_EQ(lx::RunVeltanFind(find).outcome, lx::VeltanFindOutcome::kNotFound);
  // The current page alone: page 0 holds nothing.
  EXPECT_EQ(lx::RunVeltanFind(Find(pattern, 0, false)).outcome, lx::VeltanFindOutcome::kNotFound);
}

TEST_F(VeltanFindTest, SpareSizeOf128IsSearchedWhole) {
  nand.spare = 128;
  nand.Install();
  std::memcpy(nand.Page(2) + 2170, "XY", 2);
  lx::VeltanFindResult hit = lx::RunVeltanFind(Find({'X', 'Y'}, 0, true));
  ASSERT_EQ(hit.outcome, lx::VeltanFindOutcome::kHit);
  EXPECT_EQ(hit.page, 2u);
  EXPECT_EQ(hit.offset, 2170);
}

// A pattern longer than the data area: the next page's head comes from its raw page, which the
// data-area read cannot give.
TEST_F(VeltanFindTest, PatternLongerThanTheDataArea) {
  std::vector<uint8_t> pattern(2100);
  for (size_t i = 0; i < pattern.size(); ++i) pattern[i] = static_cast<uint8_t>(i * 31 + 7);
  std::memcpy(nand.Page(9) + 100, pattern.data(), 2012);
  std::memcpy(nand.Page(10), pattern.data() + 2012, 88);
  lx::VeltanFindResult hit = lx::RunVeltanFind(Find(pattern, 8, true));
  ASSERT_EQ(hit.outcome, lx::VeltanFindOutcome::kHit);
  EXPECT_EQ(hit.page, 9u);
  EXPECT_EQ(hit.offset, 100);
  // One byte more than a page window is no pattern.
  pattern.resize(2113);
  EXPECT_EQ(lx::RunVeltanFind(Find(pattern, 8, true)).outcome, lx::VeltanFindOutcome::kNotFound);
}

TEST_F(VeltanFindTest, StopAndReadErrors) {
  lx::VeltanFind find = Find({0x12}, 0, true);
  find.tick = [](void* context, uint32_t page) { return page < *static_cast<uint32_t*>(context); };
  uint32_t stopAt = 3;
  find.tickContext = &stopAt;
  lx::VeltanFindResult result = lx::RunVeltanFind(find);
  EXPECT_EQ(result.outcome, lx::VeltanFindOutcome::kStopped);
  EXPECT_EQ(result.page, 3u);
  nand.failReadPage = 6;
  result = lx::RunVeltanFind(Find({0x12}, 0, true));
  EXPECT_EQ(result.outcome, lx::VeltanFindOutcome::kReadError);
  EXPECT_EQ(result.page, 6u);
  EXPECT_EQ(lx::VeltanFindProgress(5, 0, 10), 50);
  EXPECT_EQ(lx::VeltanFindProgress(5, 5, 5), 0);
  EXPECT_EQ(lx::VeltanFindProgress(9, 0, 1), 100);
}

// ---- ECC ------------------------------------------------------------------------------------------------
TEST(VeltanEcc, SharesLocationsAndSettings) {
  EXPECT_EQ(lx::SpareShareOffset(64, 0), 2048u);
  EXPECT_EQ(lx::SpareShareOffset(64, 3), 2096u);
  EXPECT_EQ(lx::SpareShareOffset(128, 1), 2080u);
  EXPECT_EQ(lx::SpareShareOffset(64, 2) + 8, 2088u);
  const struct {
    uint32_t location;
    long bit;
  } bits[] = {{4160, 31}, {4159, 30}, {4128, 63}, {4161, -1}, {0xFFFFFFFF, -1}, {0, 4191}};
  for (const auto& c : bits) {
    EXPECT_EQ(lx::BchLocationBit(c.location), c.bit) << c.location;
    if (c.bit >= 0) {
      EXPECT_EQ(lx::BchBitLocation(static_cast<uint32_t>(c.bit)), c.location);
    }
  }
  const struct {
    uint32_t method, ecc, bch, spare;
    bool fits;
  } settings[] = {{0, 14, 0, 64, true},  {0, 15, 0, 64, false}, {0, 0xFFFFFFFF, 0, 64, false},
                  {1, 0, 7, 64, true},   {1, 0, 8, 64, false},  {1, 0, 23, 128, true},
                  {1, 0, 24, 128, false}, {2, 0, 0, 64, false}};
  for (const auto& c : settings)
    EXPECT_EQ(lx::CheckEccSettings({c.method, c.ecc, c.bch}, c.spare).empty(), c.fits)
        << c.method << " " << c.ecc << " " << c.bch << " " << c.spare;
}

lx::EccModuleCalls FixtureModule() {
  lx::EccModuleCalls calls;
  calls.calculateEcc = [](void*, const uint8_t* chunk, uint8_t* ecc) { eccfix::HammingCalculate(chunk, ecc); };
  calls.correctEcc = [](void*, uint8_t* chunk, const uint8_t* stored, const uint8_t* computed, uint8_t) {
    return eccfix::HammingCorrect(chunk, stored, computed);
  };
  calls.calculateBch = [](void*, uint8_t* record) { eccfix::BchCalculate(record); };
  calls.correctBch = [](void*, uint8_t* record, uint32_t* locations, uint32_t* count) {
    return eccfix::BchCorrect(record, locations, count);
  };
  return calls;
}

std::vector<uint8_t> PatternPage(uint32_t spare) {
  std::vector<uint8_t> page(2048 + spare, 0xFF);
  for (size_t i = 0; i < 2048; ++i) page[i] = static_cast<uint8_t>(i * 73 / 5 + 11);
  return page;
}

TEST(VeltanEcc, BchCheckLocatesOneFlippedBitAndRefusesTwo) {
  for (uint32_t spare : {64u, 128u}) {
    RecordingHost host;
    std::vector<uint8_t> page = PatternPage(spare);
    const lx::EccSettings bch = {1, 8, 4};
    lx::ComputePageEcc(page.data(), spare, bch, FixtureModule());
    lx::CheckPageEcc(page.data(), spare, bch, FixtureModule(), host);
    ASSERT_EQ(host.told.size(), 8u);
    EXPECT_EQ(host.told[4], "Check 512 Bytes data starting at offset 0x400 in Byte.");
    EXPECT_EQ(host.told[5], "No error found.");
    // Byte 0x123 of chunk 2, bit 5.
    page[1024 + 0x123] ^= 0x20;
    const int was = page[1024 + 0x123] >> 5 & 1;
    host.told.clear();
    lx::CheckPageEcc(page.data(), spare, bch, FixtureModule(), host);
    ASSERT_EQ(host.told.size(), 8u);
    EXPECT_EQ(host.told[4], "Check 512 Bytes data starting at offset 0x400 in Byte.");
    EXPECT_EQ(host.told[5], "Data at offset 0x123 in Byte (bit at offset 0x91D in bit) is incorrect...\n" +
                                std::to_string(was) + " should be " + std::to_string(1 - was));
    page[1024 + 0x1F0] ^= 0x01;
    host.told.clear();
    lx::CheckPageEcc(page.data(), spare, bch, FixtureModule(), host);
    EXPECT_EQ(host.told[5], "Uncorrectable error found.");
    // A flipped parity bit is located in the parity bytes.
    page = PatternPage(spare);
    lx::ComputePageEcc(page.data(), spare, bch, FixtureModule());
    page[lx::SpareShareOffset(spare, 0) + 4 + 3] ^= 0x80;
    host.told.clear();
    lx::CheckPageEcc(page.data(), spare, bch, FixtureModule(), host);
    EXPECT_EQ(host.told[1].substr(0, 43), "Data at offset 0x203 in Byte (bit at offset");
  }
}

TEST(VeltanEcc, HammingCheckShowsEachCorrectedByte) {
  RecordingHost host;
  std::vector<uint8_t> page = PatternPage(64);
  const lx::EccSettings hamming = {0, 8, 0};
  lx::ComputePageEcc(page.data(), 64, hamming, FixtureModule());
  page[512 + 7] ^= 0x04;
  page[3 * 512 + 9] ^= 0x10;
  page[3 * 512 + 10] ^= 0x10;
  page[lx::SpareShareOffset(64, 2) + 8] ^= 0x02;  // the stored code of chunk 2
  const uint8_t wrong = page[512 + 7];
  lx::CheckPageEcc(page.data(), 64, hamming, FixtureModule(), host);
  char corrected[96];
  std::snprintf(corrected, sizeof corrected, "Data at offset 0x207 in Byte is incorrect...\n0x%02X should be 0x%02X",
                wrong, wrong ^ 0x04);
  EXPECT_EQ(host.told, (std::vector<std::string>{
                           "Check 512 Bytes data starting at offset 0x0 in Byte.", "No error found.",
                           "Check 512 Bytes data starting at offset 0x200 in Byte.", corrected,
                           "Check 512 Bytes data starting at offset 0x400 in Byte.", "Parity error found.",
                           "Check 512 Bytes data starting at offset 0x600 in Byte.", "Uncorrectable error found."}));
  // The check changes nothing of the page.
  EXPECT_EQ(page[512 + 7], wrong);
}

// Four locations fill the array of four; locations and counts out of range are named, not shown.
TEST(VeltanEcc, ModuleAnswersAreHeldToTheirRanges) {
  lx::EccModuleCalls calls;
  static uint32_t s_count;
  static uint32_t s_locations[4];
  calls.correctBch = [](void*, uint8_t*, uint32_t* locations, uint32_t* count) {
    for (int i = 0; i < 4; ++i) locations[i] = s_locations[i];
    *count = s_count;
    return 2;
  };
  RecordingHost host;
  std::vector<uint8_t> page(2112, 0);
  const uint32_t fourLocations[4] = {4160, 4159, 4128, 0};
  std::memcpy(s_locations, fourLocations, sizeof s_locations);
  s_count = 4;
  lx::CheckPageEcc(page.data(), 64, {1, 0, 0}, calls, host);
  ASSERT_EQ(host.told.size(), 4u * 5);
  EXPECT_EQ(host.told[1], "Data at offset 0x3 in Byte (bit at offset 0x1F in bit) is incorrect...\n0 should be 1");
  EXPECT_EQ(host.told[3], "Data at offset 0x7 in Byte (bit at offset 0x3F in bit) is incorrect...\n0 should be 1");
  EXPECT_EQ(host.told[4], "Data at offset 0x20B in Byte (bit at offset 0x105F in bit) is incorrect...\n0 should be 1");
  host.told.clear();
  s_locations[1] = 5000;
  s_count = 2;
  lx::CheckPageEcc(page.data(), 64, {1, 0, 0}, calls, host);
  EXPECT_EQ(host.told[2], "The ECC module reported the error location 5000, beyond the 4160 bits of a codeword.");
  host.told.clear();
  s_count = 9;
  lx::CheckPageEcc(page.data(), 64, {1, 0, 0}, calls, host);
  EXPECT_EQ(host.told[1], "The ECC module reported 9 error locations; a chunk has room for 4.");
  host.told.clear();
  lx::CheckPageEcc(page.data(), 64, {1, 0, 8}, calls, host);
  EXPECT_EQ(host.told, std::vector<std::string>{
                           "The BCH offset 8 leaves no room for the 9 parity bytes in a spare share of 16 bytes."});
}

// ---- writing pages back -----------------------------------------------------------------------------
TEST_F(VeltanCore, RewriteKeepsTheBlockAndWritesTheEditedPage) {
  for (uint32_t p = 16; p < 24; ++p) nand.FillPattern(p);
  const std::vector<uint8_t> neighbour(nand.Page(21), nand.Page(21) + 2112);
  LoadTable();
  std::vector<uint8_t> page(nand.Page(19), nand.Page(19) + 2112);
  page[5] = 0x00;
  page[2048 + 30] = 0x5A;  // spare
  static int s_calls;
  s_calls = 0;
  ASSERT_TRUE(lx::RewriteBlock(19, page.data(), 64, &table, host,
                               [](void*, uint8_t* buffer) { ++s_calls, buffer[6] = 0x66; }, nullptr));
  EXPECT_EQ(s_calls, 1);
  EXPECT_EQ(nand.erases, std::vector<uint32_t>{2});
  EXPECT_EQ(nand.programs.size(), 8u);
  EXPECT_EQ(nand.Page(19)[5], 0x00);
  EXPECT_EQ(nand.Page(19)[6], 0x66);
  EXPECT_EQ(nand.Page(19)[2048 + 30], 0x5A);
  EXPECT_EQ(std::vector<uint8_t>(nand.Page(21), nand.Page(21) + 2112), neighbour);
  EXPECT_TRUE(host.told.empty());
  EXPECT_EQ(ReadFile(host.folder + "__temp__.bin").size(), 8u * 2112);
}

TEST_F(VeltanCore, GrownBadBlockIsMarkedAndReported) {
  LoadTable();
  nand.grown.insert(3);
  std::vector<uint8_t> page(2112, 0x00);
  EXPECT_FALSE(lx::RewriteBlock(26, page.data(), 64, &table, host));
  EXPECT_TRUE(table.IsBad(3));
  ASSERT_EQ(host.told.size(), 1u);
  const std::string kept = host.folder + "__block_3__.bin";
  EXPECT_EQ(host.told[0], "Error: Erase failed at block #3.\nThe block is marked as a bad block.\nIts pages, with your "
                          "edit, are kept in " + kept + ".");
  // A failed erase may have taken pages: the block as meant, the edited page in it, is kept.
  std::string meant(reinterpret_cast<const char*>(nand.Page(24)), 8 * 2112);
  meant.replace(2 * 2112, 2112, std::string(2112, '\0'));
  EXPECT_EQ(ReadFile(kept), meant);
  // The next try is refused before anything reaches the device.
  host.told.clear();
  nand.erases.clear();
  EXPECT_FALSE(lx::RewriteBlock(26, page.data(), 64, &table, host));
  EXPECT_EQ(host.told, std::vector<std::string>{"Bad block notification: block #3 is a bad block"});
  EXPECT_TRUE(nand.erases.empty());
}

// A page program that fails after the erase, before and after the edited page, with and without
// codes added to the edited page: the other pages are all programmed, only the failing one is lost,
// and the kept file holds the block as the user meant it.
TEST_F(VeltanCore, AProgramThatFailsAfterTheEraseLosesOnlyThatPageAndKeepsTheBlockAsMeant) {
  struct Case {
    uint32_t failing;
    bool codes;
  } cases[] = {{17, false}, {22, false}, {17, true}, {22, true}};
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << "page " << c.failing << (c.codes ? " with codes" : ""));
    nand.Install();
    for (uint32_t p = 16; p < 24; ++p) nand.FillPattern(p);
    std::string meant(reinterpret_cast<const char*>(nand.Page(16)), 8 * 2112);
    table = lx::CVeltanBlockTable();
    table.m_SpareSize = nand.spare;
    LoadTable();
    std::filesystem::remove(host.folder + "__block_2__.bin");
    nand.failProgramPage = c.failing;
    std::vector<uint8_t> page(nand.Page(19), nand.Page(19) + 2112);
    page[5] = 0x00;
    page[2048 + 40] = 0x12;
    auto addCode = [](void*, uint8_t* buffer) { buffer[2048 + 8] = 0x3C; };
    EXPECT_FALSE(lx::RewriteBlock(19, page.data(), 64, &table, host, c.codes ? +addCode : nullptr, nullptr));
    meant.replace(3 * 2112, 2112, reinterpret_cast<const char*>(page.data()), 2112);
    EXPECT_EQ(page[5], 0x00);  // the caller's buffer keeps the edit (and the codes)
    if (c.codes) {
      EXPECT_EQ(page[2048 + 8], 0x3C);
    }
    EXPECT_TRUE(table.IsBad(2));
    EXPECT_EQ(nand.programs.size(), 8u);
    const std::string kept = host.folder + "__block_2__.bin";
    EXPECT_EQ(host.told, std::vector<std::string>{"Error: Program failed at page #" + std::to_string(c.failing) +
                                                  ".\n7 of 8 page(s) of block #2 were programmed; the block is marked "
                                                  "as a bad block.\nIts pages, with your edit, are kept in " + kept + "."});
    // The chip holds the block as meant but for the failing page, which is left erased.
    for (uint32_t p = 16; p < 24; ++p) {
      const std::string chip(reinterpret_cast<const char*>(nand.Page(p)), 2112);
      EXPECT_EQ(chip, p == c.failing ? std::string(2112, '\xFF') : meant.substr((p - 16) * 2112, 2112)) << p;
    }
    EXPECT_EQ(ReadFile(kept), meant);
    host.told.clear();
  }
}

// A kept block stays until the user deletes it: later rewrites of other blocks, and a later
// failure of the same block, write files of their own.
TEST_F(VeltanCore, KeptBlocksAreNeverWrittenOver) {
  for (uint32_t p = 16; p < 40; ++p) nand.FillPattern(p);
  LoadTable();
  std::vector<uint8_t> page(nand.Page(18), nand.Page(18) + 2112);
  page[100] = 0x01;
  nand.failProgramPage = 20;
  EXPECT_FALSE(lx::RewriteBlock(18, page.data(), 64, &table, host));
  const std::string first = ReadFile(host.folder + "__block_2__.bin");
  ASSERT_EQ(first.size(), 8u * 2112);
  EXPECT_EQ(static_cast<uint8_t>(first[2 * 2112 + 100]), 0x01);
  // A good rewrite of block 4 and a failing one of block 3.
  nand.failProgramPage = -1;
  std::vector<uint8_t> other(nand.Page(33), nand.Page(33) + 2112);
  EXPECT_TRUE(lx::RewriteBlock(33, other.data(), 64, &table, host));
  nand.failProgramPage = 25;
  std::vector<uint8_t> third(nand.Page(27), nand.Page(27) + 2112);
  EXPECT_FALSE(lx::RewriteBlock(27, third.data(), 64, &table, host));
  EXPECT_EQ(ReadFile(host.folder + "__block_3__.bin").size(), 8u * 2112);
  // Block 2 taken for good again (a table reloaded) fails again: its first file stays.
  table = lx::CVeltanBlockTable();
  table.m_SpareSize = nand.spare;
  LoadTable();
  nand.failProgramPage = 21;
  page[100] = 0x00;
  EXPECT_FALSE(lx::RewriteBlock(18, page.data(), 64, &table, host));
  EXPECT_EQ(ReadFile(host.folder + "__block_2__.bin"), first);
  const std::string second = ReadFile(host.folder + "__block_2_2__.bin");
  ASSERT_EQ(second.size(), 8u * 2112);
  EXPECT_EQ(static_cast<uint8_t>(second[2 * 2112 + 100]), 0x00);
  EXPECT_NE(host.told.back().find("kept in " + host.folder + "__block_2_2__.bin."), std::string::npos) << host.told.back();
}

TEST_F(VeltanCore, RewriteStopsBeforeTheEraseWhenAPageCannotBeRead) {
  LoadTable();
  nand.failReadPage = 13;
  std::vector<uint8_t> page(2112, 0x00);
  EXPECT_FALSE(lx::RewriteBlock(9, page.data(), 64, &table, host));
  EXPECT_EQ(host.told, std::vector<std::string>{"Failed to read a source page."});
  EXPECT_TRUE(nand.erases.empty());
  host.told.clear();
  host.folder += "no/such/folder/";
  nand.failReadPage = -1;
  EXPECT_FALSE(lx::RewriteBlock(9, page.data(), 64, &table, host));
  EXPECT_EQ(host.told, std::vector<std::string>{"Failed to create a temporary file."});
}

// ---- import and export ---------------------------------------------------------------------------------
class VeltanTransferTest : public VeltanCore {
 protected:
  std::string WriteRecords(uint32_t count, size_t record) {
    std::string data(count * record, 0);
    for (uint32_t r = 0; r < count; ++r)
      for (size_t i = 0; i < record; ++i) data[r * record + i] = static_cast<char>((r + 1) ^ (i & 0x3F));
    std::string path = host.folder + "in.bin";
    std::ofstream(path, std::ios::binary) << data;
    return path;
  }
  uint32_t Import(const std::string& path, lx::VeltanTransfer transfer) {
    std::FILE* file = std::fopen(path.c_str(), "rb");
    std::fseek(file, 0, SEEK_END);
    uint64_t bytes = static_cast<uint64_t>(std::ftell(file));
    std::fseek(file, 0, SEEK_SET);
    uint32_t done = lx::ImportVeltanPages(file, bytes, transfer, table, host);
    std::fclose(file);
    return done;
  }
  // The record number (1-based) a page holds, or 0 when erased.
  int RecordOf(uint32_t page) { return nand.Page(page)[0] == 0xFF ? 0 : nand.Page(page)[0]; }
};

TEST_F(VeltanTransferTest, BadBlockPoliciesOfTheImport) {
  nand.blocks = 4;
  nand.perBlock = 64;
  nand.Install();
  nand.SetFactoryBad(1);
  LoadTable();
  table.m_NoPrompt = 0;
  const std::string path = WriteRecords(200, 2048);
  lx::VeltanTransfer transfer;
  transfer.first = 60;
  transfer.count = 10;
  // Shift: pages 60..63 from the first four records, then the count is used up by the block.
  EXPECT_EQ(Import(path, transfer), 4u);
  EXPECT_EQ(RecordOf(60), 1);
  EXPECT_EQ(RecordOf(63), 4);
  EXPECT_EQ(RecordOf(128), 0);
  EXPECT_EQ(host.told, (std::vector<std::string>{"Bad block notification: block #1 is a bad block",
                                                  "Import finished.\n6 page(s) of file data did not fit in pages 60 to 69."}));
  // The spare area stays unprogrammed.
  EXPECT_EQ(nand.Page(60)[2048 + 5], 0xFF);
  // Skip: the bad block's 64 records are dropped; page 128 gets record 69.
  nand.Install();
  nand.SetFactoryBad(1);
  transfer.count = 80;
  transfer.policy = 1;
  host.told.clear();
  EXPECT_EQ(Import(path, transfer), 16u);
  EXPECT_EQ(RecordOf(128), 69);
  EXPECT_EQ(host.told.back(), "Import finished.");
}

// 70 pages from page 330, inside bad block 5 (blocks of 64 pages). Shift moves the data on by a
// whole block: record 1 lands on page 394, at the place in block 6 that page 330 has in block 5,
// and pages 384 to 393 stay as they were. Skip keeps every record on its own page: pages 384 to
// 399 get records 55 to 70, and the bad pages' records are dropped.
TEST_F(VeltanTransferTest, ImportStartingInsideABadBlock) {
  struct Case {
    int policy;
    uint32_t programmed, firstPage;
    int firstRecord;
    const char* text;
  } cases[] = {
      {0, 6, 394, 1,
       "Import finished.\n10 page(s) of a good block after a bad one were left as they were: the data moves on by whole "
       "blocks.\n64 page(s) of file data did not fit in pages 330 to 399."},
      {1, 16, 384, 55, "Import finished."},
  };
  const std::string path = WriteRecords(70, 2048);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.policy);
    nand.blocks = 8;
    nand.perBlock = 64;
    nand.Install();
    nand.SetFactoryBad(5);
    table = lx::CVeltanBlockTable();
    table.m_SpareSize = nand.spare;
    host.answers = {false, false, true};
    ASSERT_EQ(table.Load(0, host), 0);
    host.told.clear();
    lx::VeltanTransfer transfer;
    transfer.first = 330;
    transfer.count = 70;
    transfer.policy = c.policy;
    EXPECT_EQ(Import(path, transfer), c.programmed);
    EXPECT_EQ(host.told, std::vector<std::string>{c.text});
    for (uint32_t p = 320; p < 448; ++p) {
      const int expected = p >= c.firstPage && p < 400 ? c.firstRecord + static_cast<int>(p - c.firstPage) : 0;
      EXPECT_EQ(RecordOf(p), expected) << p;
    }
  }
}

TEST_F(VeltanTransferTest, ImportWithSpareShortFilesAndProgramFailures) {
  LoadTable();
  const std::string path = WriteRecords(3, 2112);
  lx::VeltanTransfer transfer;
  transfer.first = 8;
  transfer.count = 3;
  transfer.withoutSpare = false;
  EXPECT_EQ(Import(path, transfer), 3u);
  EXPECT_EQ(nand.Page(10)[2048 + 1], static_cast<uint8_t>(3 ^ 1));
  transfer.count = 4;
  host.told.clear();
  EXPECT_EQ(Import(path, transfer), 0u);
  EXPECT_EQ(host.told, std::vector<std::string>{"Error: File length is shorter than programming request."});
  transfer.count = 3;
  transfer.first = 126;
  host.told.clear();
  EXPECT_EQ(Import(path, transfer), 0u);
  EXPECT_EQ(host.told, std::vector<std::string>{"Pages 126 to 128 do not lie on the device (pages 0 to 127)."});
  nand.grown.insert(5);
  transfer.first = 39;
  host.told.clear();
  EXPECT_EQ(Import(path, transfer), 1u);
  EXPECT_EQ(host.told, std::vector<std::string>{"Error: Program failed at page #40 (block #5).\n1 page(s) were imported."});
  EXPECT_FALSE(table.IsBad(5));
}

TEST_F(VeltanTransferTest, ExportWithAndWithoutSpare) {
  nand.FillPattern(3);
  nand.FillPattern(4);
  const std::string path = host.folder + "out.bin";
  for (bool withoutSpare : {false, true}) {
    lx::VeltanTransfer transfer;
    transfer.first = 3;
    transfer.count = 2;
    transfer.withoutSpare = withoutSpare;
    EXPECT_EQ(lx::ExportVeltanPages(path, transfer, host), 2u);
    const std::string data = ReadFile(path);
    const size_t record = withoutSpare ? 2048 : 2112;
    ASSERT_EQ(data.size(), 2 * record);
    EXPECT_EQ(std::memcmp(data.data() + record, nand.Page(4), record), 0);
  }
  nand.failReadPage = 4;
  host.told.clear();
  lx::VeltanTransfer transfer;
  transfer.first = 3;
  transfer.count = 3;
  EXPECT_EQ(lx::ExportVeltanPages(host.folder + "cut.bin", transfer, host), 1u);
  EXPECT_EQ(host.told, std::vector<std::string>{"Failed to read page #4: 1 page(s) were exported."});
  EXPECT_EQ(lx::VeltanFileInformation(2 * 2112, 64), "File information: Total 4224 Bytes, 2/2 pages without/with spare");
}

// An existing file is emptied only by an export that has pages to put in its place; a range that
// runs past the end exports the pages that exist and says how many.
TEST_F(VeltanTransferTest, ExportPastTheEndWritesWhatExistsAndNeverEmptiesAFileForNothing) {
  nand.FillPattern(126);
  nand.FillPattern(127);
  const std::string path = host.folder + "old.bin", before = "the user's earlier export";
  struct Case {
    uint32_t first, count;
    int64_t failRead;
    uint32_t written;
    const char* text;
  } cases[] = {
      {126, 5, -1, 2,
       "Export finished.\n2 of 5 page(s) were exported: pages 128 to 130 do not lie on the device (pages 0 to 127)."},
      {128, 2, -1, 0, "Pages 128 to 129 do not lie on the device (pages 0 to 127)."},
      {126, 2, 126, 0, "Failed to read page #126: 0 page(s) were exported."},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.first);
    std::ofstream(path, std::ios::binary | std::ios::trunc) << before;
    nand.failReadPage = c.failRead;
    host.told.clear();
    lx::VeltanTransfer transfer;
    transfer.first = c.first;
    transfer.count = c.count;
    transfer.withoutSpare = false;
    EXPECT_EQ(lx::ExportVeltanPages(path, transfer, host), c.written);
    EXPECT_EQ(host.told, std::vector<std::string>{c.text});
    const std::string data = ReadFile(path);
    if (c.written == 0) {
      EXPECT_EQ(data, before);
    } else {
      ASSERT_EQ(data.size(), c.written * 2112u);
      EXPECT_EQ(data, std::string(reinterpret_cast<const char*>(nand.Page(126)), 2 * 2112));
    }
  }
}

}  // namespace
