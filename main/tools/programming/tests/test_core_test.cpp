// The simple device test and the NAND test against small flash devices.
#include <gtest/gtest.h>

#include "fake_devices.h"
#include "test_core.h"

using namespace lx::prog;

namespace {

TestMethods Only(int method, int count) {
  TestMethods m;
  m.selected.assign(count, false);
  m.selected[method] = true;
  return m;
}

TEST(TestPatterns, WordsCountingAndBitErrors) {
  uint8_t data[12];
  uint32_t running = 0;
  FillPattern(data, 4, 0xAA55, 0, &running);
  EXPECT_EQ(data[0], 0x55);
  EXPECT_EQ(data[1], 0xAA);
  running = 0xFFFFFFFE;
  FillPattern(data, 12, 0, 1, &running);
  EXPECT_EQ(data[0], 0xFE);
  EXPECT_EQ(data[4], 0xFF);
  EXPECT_EQ(data[8], 0x00);  // wraps
  EXPECT_EQ(running, 1u);
  uint8_t a[8] = {0}, b[8] = {0x01, 0, 0, 0x80, 0x03, 0, 0, 0};
  EXPECT_EQ(CountBitErrors(a, b, 8), 4u);
  EXPECT_EQ(CountBitErrors(a, b, 4), 2u);
}

TEST(TestPatterns, MarkersLieInsideTheBlock) {
  struct Case {
    uint32_t spare;
    size_t pages;
    std::vector<uint32_t> offsets;
  } cases[] = {{64, 64, {2048, 4160, 135104}}, {128, 64, {2048, 4224, 139136}}, {64, 4, {2048, 4160}}, {64, 1, {2048}}};
  for (const Case& c : cases) EXPECT_EQ(NandMarkerOffsets(c.spare, c.pages * (2048 + c.spare)), c.offsets);
}

TEST(TestMethodsCheck, TheDialogsRefusals) {
  struct Case {
    bool nand;
    int method;
    const char* inc;
    const char* program;
    int reads;
    const char* error;
  } cases[] = {
      {false, 6, "", "", 2, "Please fill in the incremental start number."},
      {false, 7, "0x", "", 2, "Please fill in the decremental start number."},
      {true, 5, "", "", 2, "Please fill in the incremental start number."},
      {false, 9, "0x", "", 2, "Please select a file to program user data."},
      {true, 8, "0x", "", 2, "Please select a file to program user data."},
      {false, 10, "0x", "x.bin", 2, "Please select a file to read user data."},
      {false, 11, "0x", "", 1, "Reading should be at least 2 times."},
      {true, 10, "0x", "", 1, "Reading should be at least 2 times."},
      {false, 6, "0x10", "", 2, nullptr},
  };
  for (const Case& c : cases) {
    TestMethods m = Only(c.method, c.nand ? NandMethodCount() : NorMethodCount());
    m.incrementText = c.inc;
    m.decrementText = c.method == 7 ? "" : "0x";
    m.programFile = c.program;
    m.readCount = c.reads;
    const char* error = CheckTestMethods(m, c.nand);
    EXPECT_STREQ(error ? error : "", c.error ? c.error : "") << c.method;
  }
  TestMethods m = Only(6, NorMethodCount());
  m.incrementText = "0x10";
  ASSERT_EQ(CheckTestMethods(m, false), nullptr);
  EXPECT_EQ(m.incrementStart, 16u);
}

class NorTest : public ::testing::Test {
 protected:
  void SetUp() override {
    nor_.sizes = {4096, 4096, 8192, 8192};
    nor_.array.assign(24576, 0xFF);
    fake::Bind(nor_);
  }
  void TearDown() override { fake::Unbind(); }
  std::string Run(const TestMethods& m, uint32_t first, uint32_t count, int passes = 1) {
    NorTestRunner runner(host_, ReadNorSectors());
    TestRunSettings s;
    s.first = first;
    s.count = count;
    s.passes = passes;
    return runner.Run(m, s);
  }
  fake::Nor nor_;
  fake::Host host_;
};

TEST_F(NorTest, EveryMethodPassesOnAGoodDevice) {
  const std::string file = fake::TempPath("devtest.bin");
  std::vector<uint8_t> data(10000);
  for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<uint8_t>(i * 31);
  fake::WriteFile(file, data);
  TestMethods m;
  m.selected.assign(NorMethodCount(), true);
  m.incrementStart = 0x10;
  m.decrementStart = 0x1000;
  m.programFile = m.readFile = file;
  m.readCount = 3;
  m.seed = 1234;
  // Method 0 runs first on the erased device; method 10 compares after method 9 programmed the file.
  EXPECT_EQ(Run(m, 1, 2), "Simple device test completed successfully.");
  EXPECT_TRUE(host_.asked.empty()) << host_.asked.front();
  // The file's end is padded with 0xFF: sector 1 and 2 hold 4096 + 8192 bytes, the file 10,000.
  EXPECT_TRUE(std::equal(data.begin(), data.end(), nor_.array.begin() + 4096));
  EXPECT_EQ(nor_.array[4096 + 10000], 0xFF);
  EXPECT_EQ(host_.status[1], "1 of 1: Read specific times and compare each data...");
}

TEST_F(NorTest, AStuckBitIsReportedAtItsAddress) {
  nor_.stuckAddress = 0x2A5B;
  nor_.stuckMask = 0x04;
  std::string text = Run(Only(1, NorMethodCount()), 0, 4);
  ASSERT_EQ(host_.asked.size(), 1u);
  EXPECT_EQ(host_.asked[0], "Error: Compare failed at address 0x00002A5B in Byte.\nDo you want to stop comparing?");
  EXPECT_EQ(text, "Simple device test finished.\nError(s) was occurred 1 times while testing.");
}

TEST_F(NorTest, CountingRunsOnAcrossSectors) {
  TestMethods m = Only(6, NorMethodCount());
  m.incrementStart = 0;
  ASSERT_EQ(Run(m, 0, 2), "Simple device test completed successfully.");
  // Sector 1 starts with word 1024.
  EXPECT_EQ(nor_.array[4096], 0x00);
  EXPECT_EQ(nor_.array[4097], 0x04);
}

// A P/E wait of one minute on one sector or block, before or after its erase: it runs in short
// slices, and Stop during it ends the test at once.
TEST(TestWait, TheWaitRunsInSlicesAndStopEndsIt) {
  struct Case {
    bool nand, waitAfter;
    uint32_t erases;
  } cases[] = {{false, false, 0}, {false, true, 1}, {true, false, 0}, {true, true, 1}};
  for (const Case& c : cases) {
    fake::Nor nor;
    nor.sizes = {4096, 4096, 8192, 8192};
    nor.array.assign(24576, 0xFF);
    fake::Nand nand;
    nand.blocks = 4;
    nand.pages = 4;
    fake::Host host;
    host.stopAfterSteps = 4;
    TestRunSettings s;
    s.first = 2;
    s.count = 1;
    s.waitMs = 60000;
    s.waitAfter = c.waitAfter;
    std::string text;
    if (c.nand) {
      fake::Bind(nand);
      NandTestRunner runner(host, ReadVeltanTable(nand.spare), nand.pages, 0, 0);
      text = runner.Run(Only(0, NandMethodCount()), s);
    } else {
      fake::Bind(nor);
      NorTestRunner runner(host, ReadNorSectors());
      text = runner.Run(Only(1, NorMethodCount()), s);
    }
    fake::Unbind();
    const std::string row = std::string(c.nand ? "NAND" : "NOR") + (c.waitAfter ? ", wait after" : ", wait before");
    EXPECT_EQ(text.rfind("Test stopped by user.", 0), 0u) << row << ": " << text;
    EXPECT_LE(host.slept, 200u) << row;
    EXPECT_EQ(host.status[2], ">> Waiting 60000 millisecond(s)...") << row;
    EXPECT_EQ(c.nand ? nand.erases : nor.erases, c.erases) << row;
  }
}

TEST_F(NorTest, EndlessRunsUntilStopped) {
  host_.stopAfterSteps = 9;
  std::string text = Run(Only(1, NorMethodCount()), 0, 1, 0);
  EXPECT_EQ(text.rfind("Test stopped by user.", 0), 0u);
  EXPECT_EQ(host_.status[1].rfind("5 time(s): ", 0), 0u) << host_.status[1];
}

TEST_F(NorTest, NoToAFailureGoesOnYesStopsTheTest) {
  struct Case {
    std::vector<int> answers;
    const char* text;
  } cases[] = {
      // No: the failed sector still reads 0xFF, so the rest of the method passes.
      {{kAnswerNo}, "Simple device test finished.\nError(s) was occurred 1 times while testing."},
      {{kAnswerYes, kAnswerYes}, "Simple device test stopped.\nError(s) was occurred 1 times while testing."},
  };
  nor_.failErase = {0};
  for (const Case& c : cases) {
    host_.answers = c.answers;
    host_.asked.clear();
    EXPECT_EQ(Run(Only(2, NorMethodCount()), 0, 2), c.text);
    EXPECT_TRUE(host_.Asked("Error: Erase failed at sector #0.\nDo you want to stop erasing?"));
    EXPECT_EQ(host_.Asked("Error: Test failed..."), c.answers.size() == 2);
  }
}

class NandTest : public ::testing::Test {
 protected:
  void SetUp() override {
    nand_.blocks = 4;
    nand_.pages = 4;
    nand_.spare = 64;
    fake::Bind(nand_);
  }
  void TearDown() override { fake::Unbind(); }
  std::string Run(const TestMethods& m, uint32_t first, uint32_t count, uint32_t dataTolerance = 0, int passes = 1) {
    VeltanTable table = ReadVeltanTable(nand_.spare);
    table.noPrompt = true;
    NandTestRunner runner(host_, table, nand_.pages, dataTolerance, 0);
    TestRunSettings s;
    s.first = first;
    s.count = count;
    s.passes = passes;
    return runner.Run(m, s);
  }
  fake::Nand nand_;
  fake::Host host_;
};

TEST_F(NandTest, EveryMethodOnBlocksOfFourPages) {
  // Four pages a block: the third marker (page 63) lies past the block and is left alone.
  nand_.bbt[2] = 0x00;
  const std::string file = fake::TempPath("nandtest.bin");
  fake::WriteFile(file, std::vector<uint8_t>(5000, 0x3C));
  TestMethods m;
  m.selected.assign(NandMethodCount(), true);
  m.incrementStart = 0x10;
  m.decrementStart = 0x10;
  m.programFile = m.readFile = file;
  m.seed = 77;
  m.readCount = 2;
  EXPECT_EQ(Run(m, 0, 4, 0, 2), "Simple device test completed successfully.");
  EXPECT_TRUE(host_.asked.empty()) << host_.asked.front();
  EXPECT_TRUE(nand_.BlockErased(2));
  // Counting from 0x10 with the marker at byte 2048: word 512 all ones, word 513 goes on.
  TestMethods counting = Only(5, NandMethodCount());
  counting.incrementStart = 0x10;
  ASSERT_EQ(Run(counting, 0, 1), "Simple device test completed successfully.");
  std::vector<uint8_t> page0 = nand_.Page(0);
  EXPECT_EQ(page0[511 * 4], 0x0F);
  EXPECT_EQ(page0[511 * 4 + 1], 0x02);
  EXPECT_EQ(page0[2048], 0xFF);
  EXPECT_EQ(page0[2052], 0x11);
  EXPECT_EQ(page0[2053], 0x02);
}

TEST_F(NandTest, AGrownBadBlockIsReportedAndCounted) {
  nand_.failErase = {1};
  std::string text = Run(Only(0, NandMethodCount()), 0, 4);
  EXPECT_TRUE(host_.Asked("Error: Erase failed at block #1.\nDo you want to stop erasing?"));
  EXPECT_EQ(text, "Simple device test finished.\nError(s) was occurred 1 times while testing.");
}

TEST_F(NandTest, BitErrorsWithinTheToleranceAreIgnored) {
  // Page 1 of block 0 holds 2 bits at 0 in part 0 after the erase.
  std::vector<uint8_t> page(2112, 0xFF);
  page[3] = 0xFC;
  nand_.written[1] = page;
  nand_.failErase = {0};
  EXPECT_EQ(Run(Only(0, NandMethodCount()), 0, 1, 2), "Simple device test finished.\nError(s) was occurred 1 times while testing.");
  host_.asked.clear();
  std::string text = Run(Only(0, NandMethodCount()), 0, 1, 1);
  EXPECT_TRUE(host_.Asked("Error: Compare failed with 2 bit error(s) at block 0 page 1 part 0."));
  EXPECT_EQ(text, "Simple device test finished.\nError(s) was occurred 3 times while testing.");
}

TEST(NandTestLarge, FirstPagesOfBlocksPastFourGibibytes) {
  // 64 pages of 2,112 bytes: block 32,000 starts at byte 4,325,376,000, past 32 bits.
  fake::Nand nand;
  nand.blocks = 32768;
  nand.pages = 64;
  fake::Bind(nand);
  fake::Host host;
  VeltanTable table = ReadVeltanTable(64);
  NandTestRunner runner(host, table, 64, 0, 0);
  TestRunSettings s;
  s.first = 32000;
  s.count = 1;
  EXPECT_EQ(runner.Run(Only(1, NandMethodCount()), s), "Simple device test completed successfully.");
  ASSERT_FALSE(nand.programCalls.empty());
  EXPECT_EQ(nand.programCalls[0], 32000u * 64);
  EXPECT_EQ(nand.readCalls[0], 32000u * 64);
  fake::Unbind();
}

}  // namespace
