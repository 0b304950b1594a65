// Program, read, verify, erase and copy of NOR windows and Veltan pages against small flash devices.
#include <gtest/gtest.h>

#include <functional>
#include <numeric>
#include <set>

#include "fake_devices.h"
#include "prog_core.h"
#include "test_files.h"

using namespace lx::prog;

namespace {

std::vector<uint8_t> Pattern(size_t n, uint8_t seed) {
  std::vector<uint8_t> v(n);
  for (size_t i = 0; i < n; ++i) v[i] = static_cast<uint8_t>(i * 7 + seed + (i >> 8));
  return v;
}

class NorTools : public ::testing::Test {
 protected:
  void SetUp() override {
    // 4 x 4 KiB boot sectors, then 3 x 16 KiB: 64 KiB.
    nor_.sizes = {4096, 4096, 4096, 4096, 16384, 16384, 16384};
    nor_.array.assign(65536, 0xFF);
    fake::Bind(nor_);
  }
  void TearDown() override { fake::Unbind(); }
  fake::Nor nor_;
  fake::Host host_;
};

TEST_F(NorTools, ProgramReadAndVerifyAgainstTheFileByteForByte) {
  const std::string path = fake::TempPath("nor_prog.bin"), out = fake::TempPath("nor_read.bin");
  std::vector<uint8_t> data = Pattern(20000, 3);
  fake::WriteFile(path, data);
  NorProgramRequest request;
  request.path = path;
  request.start = 0x1000;
  request.length = 20000;
  request.chunk = 8192;
  request.verify = true;
  EXPECT_EQ(ProgramNorData(host_, request), "Program finished.");
  EXPECT_TRUE(std::equal(data.begin(), data.end(), nor_.array.begin() + 0x1000));
  EXPECT_EQ(nor_.array[0x0FFF], 0xFF);
  EXPECT_EQ(nor_.array[0x1000 + 20000], 0xFF);
  EXPECT_EQ(ReadNorToFile(host_, out, 0x1000, 20000), "Read finished.");
  EXPECT_EQ(lxtest::ReadBytes(out), data);
  EXPECT_EQ(VerifyNorWithFile(host_, path, 0x1000, 20000), "Verify finished. No error was found.");
  EXPECT_TRUE(host_.asked.empty());
}

TEST_F(NorTools, RangesPastTheDeviceAreRefusedAndTouchNothing) {
  const std::string path = fake::TempPath("nor_big.bin");
  fake::WriteFile(path, std::vector<uint8_t>(70000, 0));
  const uint32_t size = static_cast<uint32_t>(nor_.array.size());
  struct Case {
    uint32_t start, length;
  } cases[] = {{0, size + 1}, {size, 1}, {size - 16, 32}, {0xFFFFFF00u, 0x200}, {0, 0}};
  for (const Case& c : cases) {
    NorProgramRequest request;
    request.path = path;
    request.start = c.start;
    request.length = c.length;
    request.chunk = 4096;
    EXPECT_EQ(ProgramNorData(host_, request).rfind("Error:", 0), 0u) << c.start << "+" << c.length;
    EXPECT_EQ(ReadNorToFile(host_, fake::TempPath("nor_none.bin"), c.start, c.length).rfind("Error:", 0), 0u);
    EXPECT_EQ(VerifyNorWithFile(host_, path, c.start, c.length).rfind("Error:", 0), 0u);
  }
  EXPECT_EQ(nor_.programs + nor_.reads, 0u);
  EraseSectorsRequest erase{{}, 6, 2, 4096, true};
  erase.sectors = ReadNorSectors();
  EXPECT_EQ(EraseNorSectors(host_, erase).rfind("Error:", 0), 0u);
  EXPECT_EQ(nor_.erases, 0u);
}

TEST_F(NorTools, AShortFileIsComparedOnlyAsFarAsItGoes) {
  // 40,000 file bytes against 65,536 device bytes: the second piece holds the end of the file.
  const std::string path = fake::TempPath("nor_short.bin");
  std::vector<uint8_t> data = Pattern(40000, 9);
  fake::WriteFile(path, data);
  std::copy(data.begin(), data.end(), nor_.array.begin());
  std::string text = VerifyNorWithFile(host_, path, 0, static_cast<uint32_t>(nor_.array.size()));
  EXPECT_EQ(text.rfind("Verify finished. No error was found.", 0), 0u) << text;
  EXPECT_NE(text.find("ends after 40000 of 65536 bytes"), std::string::npos) << text;
  EXPECT_TRUE(host_.asked.empty()) << host_.asked.front();

  // A real difference in the file's part is still found, one question per byte.
  nor_.array[35000] ^= 0x10;
  nor_.array[100] ^= 0x01;
  text = VerifyNorWithFile(host_, path, 0, static_cast<uint32_t>(nor_.array.size()));
  ASSERT_EQ(host_.asked.size(), 2u);
  EXPECT_NE(host_.asked[0].find("0x00000064"), std::string::npos);
  EXPECT_NE(host_.asked[1].find("0x000088B8"), std::string::npos);
  EXPECT_NE(text.find("not identical.\n2 byte(s) differ."), std::string::npos) << text;
}

TEST_F(NorTools, EraseVerifyChecksSectorsSmallerThanTheWindow) {
  // A 64 KiB window over 4 KiB sectors: every sector is checked in one short piece.
  nor_.stuckAddress = 0x2345;
  nor_.stuckMask = 0x08;
  EraseSectorsRequest request;
  request.sectors = ReadNorSectors();
  ASSERT_EQ(request.sectors.size(), 7u);
  request.first = 0;
  request.count = 7;
  request.window = 65536;
  request.verify = true;
  std::string text = EraseNorSectors(host_, request);
  ASSERT_EQ(host_.asked.size(), 1u);
  EXPECT_EQ(host_.asked[0], "Error: Compare failed at address 0x00002345 in Byte.\nDo you want to stop comparing?");
  EXPECT_NE(text.find("6 of 7 sector(s) erased, 1 failed verification"), std::string::npos) << text;
}

TEST_F(NorTools, FailuresAndStopsAreReportedWithCounts) {
  const std::string path = fake::TempPath("nor_fail.bin");
  fake::WriteFile(path, Pattern(16384, 1));
  NorProgramRequest request{path, 0, 16384, 4096, true, "window"};
  nor_.failProgramAt = 0x1800;  // the second window fails; No goes on
  EXPECT_EQ(ProgramNorData(host_, request), "Program finished with errors.\n3 of 4 window(s) programmed, 1 failed.");
  EXPECT_TRUE(host_.Asked("Error: Program failed.\nDo you want to stop programming?"));

  fake::Host stopping;
  stopping.stopAfterSteps = 2;
  nor_.failProgramAt = 0xFFFFFFFF;
  EXPECT_EQ(ProgramNorData(stopping, request), "Program stopped.\n2 of 4 window(s) programmed.");
}

TEST_F(NorTools, OverlappingCopiesAreRefusedOthersCopyAndVerify) {
  std::vector<uint8_t> data = Pattern(8192, 5);
  std::copy(data.begin(), data.end(), nor_.array.begin());
  CopyWindowsRequest request;
  request.window = 4096;
  request.windows = 16;
  request.verify = true;
  struct Case {
    uint32_t source, count, target;
    bool refused;
  } cases[] = {{0, 2, 1, true}, {1, 2, 0, true}, {0, 2, 15, true}, {0, 0, 4, true}, {0, 2, 4, false}};
  for (const Case& c : cases) {
    request.source = c.source;
    request.count = c.count;
    request.target = c.target;
    const uint32_t programsBefore = nor_.programs;
    std::string text = CopyNorWindows(host_, request);
    EXPECT_EQ(text != "Copy finished.", c.refused) << text;
    if (c.refused) {
      EXPECT_EQ(nor_.programs, programsBefore);
    }
  }
  EXPECT_TRUE(std::equal(data.begin(), data.end(), nor_.array.begin() + 4 * 4096));
}

TEST_F(NorTools, DumpCoversSectorsSmallerThanThePiece) {
  std::vector<uint8_t> data = Pattern(8192, 2);
  std::copy(data.begin(), data.end(), nor_.array.begin());
  const std::string out = fake::TempPath("nor_dump.bin");
  EXPECT_EQ(DumpNor(host_, out, 0, 8192, 65536, "Failed to create a temporary file.", ""), "");
  EXPECT_EQ(lxtest::ReadBytes(out), data);
}

TEST(ParseNumber, BasesAndRefusals) {
  struct Case {
    const char* text;
    bool ok;
    uint32_t value;
  } cases[] = {{"0x10", true, 16}, {"16", true, 16}, {"010", true, 8}, {"0x", true, 0},
               {"0xFFFFFFFF", true, 0xFFFFFFFF}, {"0x100000000", false, 0}, {"12abc", false, 0}, {"", false, 0},
               {"-1", false, 0}};
  for (const Case& c : cases) {
    uint32_t v = 0;
    EXPECT_EQ(ParseNumber(c.text, &v), c.ok) << c.text;
    if (c.ok) {
      EXPECT_EQ(v, c.value) << c.text;
    }
  }
}

// ---- Veltan -----------------------------------------------------------------------------------
class VeltanTools : public ::testing::Test {
 protected:
  void SetUp() override {
    nand_.blocks = 4;
    nand_.pages = 4;
    nand_.spare = 64;
    fake::Bind(nand_);
  }
  void TearDown() override { fake::Unbind(); }
  VeltanTable Table() {
    VeltanTable t = ReadVeltanTable(nand_.spare);
    t.noPrompt = true;
    return t;
  }
  // Page `n` of a file of whole data pages, each page filled with its number.
  static std::vector<uint8_t> NumberedPages(uint32_t count, uint32_t bytes) {
    std::vector<uint8_t> v;
    for (uint32_t n = 0; n < count; ++n) v.insert(v.end(), bytes, static_cast<uint8_t>(0x40 + n));
    return v;
  }
  // Which data page each device page holds (0xFF: erased).
  std::vector<int> Layout() {
    std::vector<int> layout;
    for (uint32_t p = 0; p < nand_.blocks * nand_.pages; ++p) {
      uint8_t b = nand_.Page(p)[0];
      layout.push_back(b == 0xFF ? -1 : b - 0x40);
    }
    return layout;
  }
  fake::Nand nand_;
  fake::Host host_;
};

TEST_F(VeltanTools, ShiftCarriesDataIntoTheRangesNextGoodBlock) {
  nand_.bbt[1] = 0x00;
  const std::string path = fake::TempPath("raw_shift.bin");
  fake::WriteFile(path, NumberedPages(7, 2048));
  RawPagesRequest request{path, 2, 7, true, BadBlockPolicy::Shift};
  EXPECT_EQ(ProgramVeltanRawPages(host_, Table(), request),
            "Program finished.\n4 page(s) lay in bad blocks and were skipped.\n4 page(s) of file data did not fit in "
            "pages 2 to 8.");
  // Pages 2 to 8: data 0-1 in block 0, block 1 bad, data 2 at block 2's start; nothing past page 8.
  std::vector<int> expected = {-1, -1, 0, 1, -1, -1, -1, -1, 2, -1, -1, -1, -1, -1, -1, -1};
  EXPECT_EQ(Layout(), expected);
  // The spare stays erased when only data bytes come from the file.
  EXPECT_EQ(nand_.Page(8)[2048], 0xFF);
}

TEST_F(VeltanTools, ShiftReportsDataThatDoesNotFit) {
  nand_.bbt[2] = 0x00;
  const std::string path = fake::TempPath("raw_fit.bin");
  fake::WriteFile(path, NumberedPages(13, 2048));
  RawPagesRequest request{path, 0, 13, true, BadBlockPolicy::Shift};
  std::string text = ProgramVeltanRawPages(host_, Table(), request);
  // Pages 0 to 12 hold 9 good pages for 13 data pages.
  EXPECT_NE(text.find("4 page(s) of file data did not fit in pages 0 to 12."), std::string::npos) << text;
  EXPECT_EQ(Layout()[12], 8);
  EXPECT_EQ(Layout()[13], -1);
}

// A file of `count` data pages, each filled with its number.
std::string NumberedDataFile(const char* name, uint32_t count) {
  const std::string path = fake::TempPath(name);
  std::vector<uint8_t> file;
  for (uint32_t n = 0; n < count; ++n) file.insert(file.end(), 2048, static_cast<uint8_t>(n));
  fake::WriteFile(path, file);
  return path;
}

// 8 blocks of 64 pages with block 5 bad, bound to the device table; its table, without prompts.
VeltanTable BindBlock5Bad(fake::Nand& nand) {
  nand.blocks = 8;
  nand.pages = 64;
  nand.bbt.assign(8, 0xFF);
  nand.bbt[5] = 0x00;
  fake::Bind(nand);
  VeltanTable table = ReadVeltanTable(64);
  table.noPrompt = true;
  return table;
}

// Blocks of 64 pages: 192 file pages to page 256 with block 5 bad. Only pages 256 to 447 may be
// touched, whatever the policy; the policy decides only which file data lands in block 6.
TEST(VeltanRawPages, NoPolicyTouchesAPageOutsideTheRange) {
  struct Case {
    BadBlockPolicy policy;
    int block6FirstData;
  } cases[] = {{BadBlockPolicy::Shift, 64}, {BadBlockPolicy::Skip, 128}};
  const std::string path = NumberedDataFile("raw_range.bin", 192);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.policy == BadBlockPolicy::Shift ? "shift" : "skip");
    fake::Nand nand;
    const VeltanTable table = BindBlock5Bad(nand);
    fake::Host host;
    std::string text = ProgramVeltanRawPages(host, table, {path, 256, 192, true, c.policy});
    EXPECT_EQ(text.rfind("Program finished.\n64 page(s) lay in bad blocks and were skipped.", 0), 0u) << text;
    for (uint32_t p : nand.programCalls) {
      EXPECT_GE(p, 256u);
      EXPECT_LE(p, 447u);
    }
    EXPECT_EQ(nand.programCalls.size(), 128u);
    for (uint32_t b : {0u, 1u, 2u, 3u, 5u, 7u}) EXPECT_TRUE(nand.BlockErased(b)) << b;
    EXPECT_EQ(nand.Page(256)[0], 0);
    EXPECT_EQ(nand.Page(319)[0], 63);
    EXPECT_EQ(nand.Page(384)[0], c.block6FirstData);
    EXPECT_EQ(nand.Page(447)[0], c.block6FirstData + 63);
    fake::Unbind();
  }
}

// 70 file pages to page 330, inside bad block 5 (blocks of 64 pages). Shift moves the data on by a
// whole block, so data 0 lands on page 394, where page 330 lies in its block, and pages 384 to 393
// stay as they were; skip keeps each data page on its own page, so 384 to 399 get data 54 to 69.
TEST(VeltanRawPages, AStartInsideABadBlock) {
  struct Case {
    BadBlockPolicy policy;
    uint32_t firstPage;
    int firstData;
    const char* text;
  } cases[] = {
      {BadBlockPolicy::Shift, 394, 0,
       "Program finished.\n54 page(s) lay in bad blocks and were skipped.\n10 page(s) of a good block after a bad one were "
       "left as they were: the data moves on by whole blocks.\n64 page(s) of file data did not fit in pages 330 to 399."},
      {BadBlockPolicy::Skip, 384, 54, "Program finished.\n54 page(s) lay in bad blocks and were skipped."},
  };
  const std::string path = NumberedDataFile("raw_inside.bin", 70);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.policy == BadBlockPolicy::Shift ? "shift" : "skip");
    fake::Nand nand;
    const VeltanTable table = BindBlock5Bad(nand);
    fake::Host host;
    EXPECT_EQ(ProgramVeltanRawPages(host, table, {path, 330, 70, true, c.policy}), c.text);
    for (uint32_t p = 320; p < 512; ++p) {
      const int expected = p >= c.firstPage && p < 400 ? c.firstData + static_cast<int>(p - c.firstPage) : -1;
      const uint8_t b = nand.Page(p)[0];
      EXPECT_EQ(b == 0xFF ? -1 : b, expected) << p;
    }
    fake::Unbind();
  }
}

TEST_F(VeltanTools, SkipDropsTheBadPagesDataAndStaysAligned) {
  nand_.bbt[0] = 0x00;
  const std::string path = fake::TempPath("raw_skip.bin");
  fake::WriteFile(path, NumberedPages(6, 2048 + 64));
  RawPagesRequest request{path, 2, 6, false, BadBlockPolicy::Skip};
  std::string text = ProgramVeltanRawPages(host_, Table(), request);
  EXPECT_NE(text.find("2 page(s) lay in bad blocks"), std::string::npos) << text;
  // Pages 2-3 lie in bad block 0: data 0-1 dropped, data 2-5 land on pages 4-7.
  std::vector<int> expected = {-1, -1, -1, -1, 2, 3, 4, 5, -1, -1, -1, -1, -1, -1, -1, -1};
  EXPECT_EQ(Layout(), expected);
  EXPECT_EQ(nand_.Page(4)[2048 + 10], 0x42);  // the spare came from the file
}

TEST_F(VeltanTools, CopyPagesRefusesOverlapAndRangesPastTheEnd) {
  struct Case {
    uint32_t source, count, target;
  } cases[] = {{0, 4, 2}, {3, 4, 0}, {0, 4, 14}, {15, 2, 0}};
  for (const Case& c : cases) {
    std::string text = CopyVeltanPages(host_, Table(), {c.source, c.count, c.target, true});
    EXPECT_EQ(text.rfind("Error:", 0), 0u) << text;
  }
  EXPECT_TRUE(nand_.programCalls.empty());
}

TEST_F(VeltanTools, CopyPagesSkipsToTheBadTargetBlocksEnd) {
  nand_.bbt[2] = 0x00;
  const std::string path = fake::TempPath("copy_src.bin");
  fake::WriteFile(path, NumberedPages(4, 2048));
  ASSERT_EQ(ProgramVeltanRawPages(host_, Table(), {path, 0, 4, true, BadBlockPolicy::Shift}), "Program finished.");
  // Target from page 6: pages 6-7 (block 1) get data 0-1; block 2 bad: source pages 2-3 skipped.
  std::string text = CopyVeltanPages(host_, Table(), {0, 4, 6, true});
  EXPECT_NE(text.find("2 page(s) lay in bad blocks"), std::string::npos) << text;
  std::vector<int> layout = Layout();
  EXPECT_EQ(layout[6], 0);
  EXPECT_EQ(layout[7], 1);
  EXPECT_EQ(layout[8], -1);
}

// A target range that begins inside a bad block: only the bad block's own pages are skipped, and
// the good target pages after it get their own source pages.
TEST_F(VeltanTools, CopyPagesIntoARangeBeginningInsideABadBlock) {
  nand_.bbt[2] = 0x00;
  const std::string path = fake::TempPath("copy_inside.bin");
  fake::WriteFile(path, NumberedPages(6, 2048));
  ASSERT_EQ(ProgramVeltanRawPages(host_, Table(), {path, 0, 6, true, BadBlockPolicy::Shift}), "Program finished.");
  // Target pages 9 to 14: 9-11 lie in bad block 2; 12-14 get source pages 3-5.
  EXPECT_EQ(CopyVeltanPages(host_, Table(), {0, 6, 9, true}), "Copy finished.\n3 page(s) lay in bad blocks and were skipped.");
  std::vector<int> expected = {0, 1, 2, 3, 4, 5, -1, -1, -1, -1, -1, -1, 3, 4, 5, -1};
  EXPECT_EQ(Layout(), expected);
}

TEST_F(VeltanTools, PartialPageTakesOneColumnAreaOfAGoodBlock) {
  nand_.bbt[3] = 0x00;
  const std::string path = fake::TempPath("part.bin");
  fake::WriteFile(path, std::vector<uint8_t>(600, 0x5A));
  EXPECT_EQ(ProgramVeltanPartPage(host_, Table(), path, 5, 2), "Program finished.");
  std::vector<uint8_t> page = nand_.Page(5);
  EXPECT_EQ(page[1023], 0xFF);
  EXPECT_EQ(page[1024], 0x5A);
  EXPECT_EQ(page[1535], 0x5A);
  EXPECT_EQ(page[1536], 0xFF);
  // The program was handed the area's share of the spare, erased: a module may write it.
  ASSERT_EQ(nand_.partCalls.size(), 1u);
  EXPECT_EQ(nand_.partCalls[0].column, 1024u);
  EXPECT_EQ(nand_.partCalls[0].length, 512u);
  EXPECT_EQ(nand_.partCalls[0].spare, std::vector<uint8_t>(16, 0xFF));
  EXPECT_EQ(std::vector<uint8_t>(page.begin() + 2048, page.end()), std::vector<uint8_t>(64, 0xFF));
  // A bad block: notified (here silenced), nothing programmed; a page past the end refused.
  EXPECT_EQ(ProgramVeltanPartPage(host_, Table(), path, 13, 0), "");
  EXPECT_EQ(nand_.Page(13)[0], 0xFF);
  EXPECT_EQ(ProgramVeltanPartPage(host_, Table(), path, 16, 0).rfind("Error:", 0), 0u);
  fake::WriteFile(path, std::vector<uint8_t>(100, 0x5A));
  EXPECT_EQ(ProgramVeltanPartPage(host_, Table(), path, 6, 0), "Error: File length is shorter than programming request.");
}

TEST_F(VeltanTools, EraseBlocksSkipsBadOnesAndCountsFailures) {
  nand_.bbt[1] = 0x00;
  nand_.failErase = {3};
  std::string text = EraseVeltanBlocks(host_, Table(), 0, 4);
  EXPECT_NE(text.find("2 of 3 block(s) erased, 1 failed, 1 skipped in bad blocks"), std::string::npos) << text;
  EXPECT_EQ(EraseVeltanBlocks(host_, Table(), 3, 2).rfind("Error:", 0), 0u);
}

TEST_F(VeltanTools, FailedPageProgramsAreCountedNotFinished) {
  const std::string data = fake::TempPath("fail_raw.bin"), part = fake::TempPath("fail_part.bin");
  fake::WriteFile(data, NumberedPages(4, 2048));
  fake::WriteFile(part, std::vector<uint8_t>(512, 0x5A));
  struct Case {
    const char* name;
    std::set<uint64_t> fail;
    std::function<std::string()> run;
    const char* text;
  } cases[] = {
      {"raw pages", {5, 6}, [&] { return ProgramVeltanRawPages(host_, Table(), {data, 4, 4, true, BadBlockPolicy::Shift}); },
       "Program finished with errors.\n2 of 4 page(s) programmed, 2 failed."},
      {"copy pages", {9}, [&] { return CopyVeltanPages(host_, Table(), {0, 4, 8, true}); },
       "Copy finished with errors.\n3 of 4 page(s) copied, 1 failed."},
      {"partial page", {6}, [&] { return ProgramVeltanPartPage(host_, Table(), part, 6, 1); },
       "Error: Program failed at page #6."},
  };
  for (const Case& c : cases) {
    nand_.written.clear();
    nand_.failProgram = c.fail;
    EXPECT_EQ(c.run(), c.text) << c.name;
  }
}

// A device that fails every call from some page or block on (the kit's cable pulled): the first failure
// asks at once, and a Yes ends the run there with its counts; nothing more is sent.
TEST_F(VeltanTools, AYesToTheFirstFailureStopsWithCounts) {
  const std::string data = fake::TempPath("dead_raw.bin");
  fake::WriteFile(data, NumberedPages(12, 2048));
  struct Case {
    const char* name;
    std::function<std::string()> run;
    const char* question;
    const char* text;
    uint32_t calls;  // device calls made, the failed one included
  } cases[] = {
      {"raw pages", [&] { return ProgramVeltanRawPages(host_, Table(), {data, 2, 12, true, BadBlockPolicy::Shift}); },
       "Error: Program failed at page #6.\nDo you want to stop programming?",
       "Program stopped.\n4 of 12 page(s) programmed, 1 failed.", 5},
      {"copy pages", [&] { return CopyVeltanPages(host_, Table(), {0, 4, 5, true}); },
       "Error: Program failed at page #6.\nDo you want to stop copying?", "Copy stopped.\n1 of 4 page(s) copied, 1 failed.", 2},
      {"erase blocks", [&] { return EraseVeltanBlocks(host_, Table(), 0, 4); },
       "Error: Erase failed at block #1.\nDo you want to stop erasing?", "Erase stopped.\n1 of 4 block(s) erased, 1 failed.",
       2},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    nand_.written.clear();
    nand_.programCalls.clear();
    nand_.erases = 0;
    nand_.failProgram.clear();
    for (uint64_t p = 6; p < 16; ++p) nand_.failProgram.insert(p);
    nand_.failErase = {1, 2, 3};
    host_.asked.clear();
    host_.answers = {kAnswerYes};
    EXPECT_EQ(c.run(), c.text);
    EXPECT_EQ(host_.asked, std::vector<std::string>{c.question});
    EXPECT_EQ(std::string(c.name) == "erase blocks" ? nand_.erases : static_cast<uint32_t>(nand_.programCalls.size()), c.calls);
  }
}

}  // namespace
