// The device duplicate against small flash devices: master images, bad-block lists, the programming
// of duplicates with their read-back checks.
#include <gtest/gtest.h>

#include <functional>

#include "dup_core.h"
#include "fake_devices.h"
#include "test_files.h"

using namespace lx::prog;

namespace {

std::vector<uint8_t> Pattern(size_t n, uint8_t seed) {
  std::vector<uint8_t> v(n);
  for (size_t i = 0; i < n; ++i) v[i] = static_cast<uint8_t>(i * 13 + seed + (i >> 9));
  return v;
}

TEST(NorDuplicate, ChunkSizes) {
  struct Case {
    int kind;
    std::vector<uint32_t> sizes;
    uint32_t chunk;
  } cases[] = {{1, {8192, 65536}, 8192}, {1, {65536, 131072}, 65536}, {2, {262144}, 0x20000}, {3, {4096}, 0x8000},
               {1, {}, 0x20000}};
  for (const Case& c : cases) {
    std::vector<NorSector> sectors;
    for (uint32_t s : c.sizes) sectors.push_back({0, s});
    EXPECT_EQ(NorChunkSize(c.kind, sectors), c.chunk);
  }
}

TEST(RemainingTime, EstimateAndTitle) {
  RemainingTime time;
  time.Estimate(0, 100, 10000);
  EXPECT_EQ(time.Text(), "");
  // 4 pieces in 2.5 s: 96 left take 60 s.
  time.Estimate(4, 100, 12500);
  EXPECT_EQ(time.Text(), " - Time remains : 1 min, 0 sec");
  EXPECT_EQ(time.Title("Device Duplicate", 75000), "Device Duplicate - Time elapsed : 1 min, 5 sec - Time remains : 1 min, 0 sec");
}

class NorDup : public ::testing::Test {
 protected:
  void SetUp() override {
    master_.sizes = {4096, 4096, 4096, 4096, 65536, 65536};
    master_.array = Pattern(4 * 4096 + 2 * 65536, 1);
    copy_.sizes = master_.sizes;
    copy_.array.assign(master_.array.size(), 0xFF);
    image_ = fake::TempPath("nor_master.img");
  }
  void TearDown() override { fake::Unbind(); }
  fake::Nor master_, copy_;
  fake::Host host_;
  RemainingTime time_;
  std::string image_;
};

TEST_F(NorDup, SpiChunksLargerThanSectorsStillCopyEveryByteInPlace) {
  // Kind 3 takes 32 KiB pieces; the 4 KiB sectors are shorter than one.
  fake::Bind(master_);
  const uint32_t chunk = NorChunkSize(3, ReadNorSectors());
  EXPECT_EQ(CreateNorMasterImage(host_, time_, image_, chunk), "Master image file is created.");
  EXPECT_EQ(lxtest::ReadBytes(image_), master_.array);
  fake::Bind(copy_);
  Report report = DuplicateNor(host_, time_, image_, ReadNorSectors(), chunk);
  EXPECT_EQ(report.heading, "Duplicate results.");
  EXPECT_EQ(copy_.array, master_.array);
  EXPECT_NE(report.body.find("0x00000000:0x00000fff>>copied\r\n0x00001000:0x00001fff>>copied"), std::string::npos);
  EXPECT_NE(report.body.find("0x00004000:0x0000bfff>>copied"), std::string::npos) << report.body;
  EXPECT_NE(report.body.find("8 of 8 piece(s) copied and verified, 0 ignored, 0 retried."), std::string::npos);
}

TEST_F(NorDup, RetryErasesTheSectorAndProgramsItAgainFromTheImage) {
  fake::Bind(master_);
  ASSERT_EQ(CreateNorMasterImage(host_, time_, image_, 4096), "Master image file is created.");
  // A duplicate that was not blank in its second sector: programming cannot set the zero bits.
  fake::Bind(copy_);
  copy_.array[0x1800] = 0x00;
  host_.answers = {kAnswerRetry};
  Report report = DuplicateNor(host_, time_, image_, ReadNorSectors(), 4096);
  EXPECT_TRUE(host_.Asked("Programming verification has been failed from 0x1000 to 0x1FFF."));
  EXPECT_EQ(copy_.array, master_.array);
  EXPECT_NE(report.body.find("0x00001000:0x00001fff>>RETRY\r\n0x00001000:0x00001fff>>copied"), std::string::npos)
      << report.body;
  const uint32_t pieces = 4 + 2 * 16;
  EXPECT_NE(report.body.find(std::to_string(pieces) + " of " + std::to_string(pieces) + " piece(s) copied and verified, 0 "
                             "ignored, 1 retried."),
            std::string::npos)
      << report.body;
}

TEST_F(NorDup, IgnoreAndAbortAreCounted) {
  fake::Bind(master_);
  ASSERT_EQ(CreateNorMasterImage(host_, time_, image_, 4096), "Master image file is created.");
  fake::Bind(copy_);
  copy_.array[0x0010] = 0x00;
  copy_.array[0x2010] = 0x00;
  host_.answers = {kAnswerIgnore, kAnswerAbort};
  Report report = DuplicateNor(host_, time_, image_, ReadNorSectors(), 4096);
  EXPECT_NE(report.body.find("0x00000000:0x00000fff>>IGNORED"), std::string::npos);
  EXPECT_NE(report.body.find("1 of 36 piece(s) copied and verified, 1 ignored, 0 retried."), std::string::npos) << report.body;
  EXPECT_NE(report.body.find("Stopped before the end"), std::string::npos);
}

TEST_F(NorDup, AStoppedMasterImageIsNotReportedAsCreated) {
  fake::Bind(master_);
  host_.stopAfterSteps = 3;
  std::string text = CreateNorMasterImage(host_, time_, image_, 4096);
  EXPECT_EQ(text, "Master image file is not complete: stopped after 3 of 36 chunks (12288 of 147456 bytes).");
  EXPECT_EQ(lxtest::ReadBytes(image_).size(), 12288u);
}

// A chunk of zeros whose program and read-back both fail (a dead duplicate there) was not copied:
// the verification asks, and the report does not count it.
TEST_F(NorDup, AFailedReadBackIsAVerificationFailure) {
  std::fill(master_.array.begin() + 0x1000, master_.array.begin() + 0x2000, 0x00);
  fake::Bind(master_);
  ASSERT_EQ(CreateNorMasterImage(host_, time_, image_, 4096), "Master image file is created.");
  copy_.failProgramAt = 0x1800;
  copy_.failReadAt = 0x1800;
  fake::Bind(copy_);
  host_.answers = {kAnswerIgnore};
  Report report = DuplicateNor(host_, time_, image_, ReadNorSectors(), 4096);
  EXPECT_TRUE(host_.Asked("Programming verification has been failed from 0x1000 to 0x1FFF."));
  EXPECT_NE(report.body.find("0x00001000:0x00001fff>>IGNORED"), std::string::npos) << report.body;
  EXPECT_NE(report.body.find("35 of 36 piece(s) copied and verified, 1 ignored, 0 retried."), std::string::npos)
      << report.body;
}

// Erases of a whole duplicate that fail or are stopped, and a stopped Veltan master image: each
// says what happened, with counts.
TEST(DuplicateFailures, AreReportedWithCountsNotAsFinished) {
  fake::Nor nor;
  nor.sizes = {4096, 4096, 4096, 4096, 65536, 65536};
  nor.array.assign(4 * 4096 + 2 * 65536, 0x00);
  fake::Nand nand;
  nand.blocks = 6;
  nand.pages = 4;
  nand.bbt.assign(6, 0xFF);
  const std::string image = fake::TempPath("veltan_stopped.img");
  struct Case {
    const char* name;
    uint32_t stopAfterSteps;
    std::function<std::string(fake::Host&, RemainingTime&)> run;
    const char* text;
    const char* told;  // a message on the way, or null
  } cases[] = {
      {"NOR erase fails", 0xFFFFFFFF,
       [&](fake::Host& h, RemainingTime& t) {
         nor.failErase = {1, 4};
         fake::Bind(nor);
         return EraseNorDuplicate(h, t, ReadNorSectors());
       },
       "Erase finished with errors: 2 of 6 sectors failed to erase.", "Error: Erase failed at erase sector #4"},
      {"NOR erase stopped", 3,
       [&](fake::Host& h, RemainingTime& t) {
         nor.failErase = {1};
         fake::Bind(nor);
         return EraseNorDuplicate(h, t, ReadNorSectors());
       },
       "Erase stopped after 3 of 6 sectors; 1 failed.", "Error: Erase failed at erase sector #1"},
      {"Veltan erase fails", 0xFFFFFFFF,
       [&](fake::Host& h, RemainingTime& t) {
         nand.failErase = {0, 3, 5};
         fake::Bind(nand);
         return EraseVeltanDuplicate(h, t);
       },
       "Erase finished with errors: 3 of 6 blocks failed to erase.", nullptr},
      {"Veltan erase stopped", 2,
       [&](fake::Host& h, RemainingTime& t) {
         nand.failErase = {0};
         fake::Bind(nand);
         return EraseVeltanDuplicate(h, t);
       },
       "Erase stopped after 2 of 6 blocks; 1 failed.", nullptr},
      {"Veltan master image stopped", 6,
       [&](fake::Host& h, RemainingTime& t) {
         nand.failErase.clear();
         fake::Bind(nand);
         return CreateVeltanMasterImage(h, t, image, 64);
       },
       "Master image file is not complete: stopped at block 1 of 6.", nullptr},
  };
  for (const Case& c : cases) {
    fake::Host host;
    host.stopAfterSteps = c.stopAfterSteps;
    RemainingTime time;
    EXPECT_EQ(c.run(host, time), c.text) << c.name;
    if (c.told) {
      EXPECT_TRUE(host.Asked(c.told)) << c.name;
    }
    fake::Unbind();
  }
  // The stopped image holds the six pages read before the stop, no more.
  EXPECT_EQ(lxtest::ReadBytes(image).size(), 6u * (2048 + 64));
}

// ---- Veltan -----------------------------------------------------------------------------------
TEST(BadBlockList, LinesRoundTripAndGarbageIsRefused) {
  std::vector<uint8_t> table(12, 0xFF);
  table[2] = 0x00;
  table[11] = 0x3c;
  std::string text = FormatBadBlockList(table);
  EXPECT_EQ(text.substr(0, 27), "0000:ff\r\n0001:ff\r\n0002:00\r\n");
  EXPECT_EQ(text.size(), 12u * 9);
  std::vector<uint8_t> back;
  ASSERT_TRUE(ParseBadBlockList(text, 12, &back, nullptr));
  EXPECT_EQ(back, table);
  // Five-digit block numbers make longer lines, still one per block.
  std::vector<uint8_t> big(10002, 0xFF);
  big[10001] = 0x01;
  ASSERT_TRUE(ParseBadBlockList(FormatBadBlockList(big), 10002, &back, nullptr));
  EXPECT_EQ(back[10001], 0x01);
  struct Case {
    const char* text;
    uint32_t blocks;
  } bad[] = {{"0000:ff\r\n", 2}, {"0000:zz\r\n", 1}, {"0001:ff\r\n", 1}, {"0000ff\r\n", 1}, {"", 1}};
  std::string error;
  for (const Case& c : bad) EXPECT_FALSE(ParseBadBlockList(c.text, c.blocks, &back, &error)) << c.text;
}

TEST(BadBlockList, CompareTellsWhatCanBeDuplicated) {
  bool fits = false;
  std::string body = CompareBadBlockTables({0xFF, 0x00, 0xFF}, {0xFF, 0xFF, 0xFF}, &fits);
  EXPECT_TRUE(fits);
  EXPECT_EQ(body, "0000:ff-ff\r\n0001:00-ff << It would be OK.\r\n0002:ff-ff\r\n");
  body = CompareBadBlockTables({0xFF, 0xFF}, {0xFF, 0x00}, &fits);
  EXPECT_FALSE(fits);
  EXPECT_EQ(body, "0000:ff-ff\r\n0001:ff-00 << Can't duplicate the device.\r\n");
}

class VeltanDup : public ::testing::TestWithParam<uint32_t> {
 protected:
  void SetUp() override {
    for (fake::Nand* n : {&master_, &copy_}) {
      n->blocks = 6;
      n->pages = 4;
      n->spare = GetParam();
      n->bbt.assign(6, 0xFF);
    }
    image_ = fake::TempPath("veltan_master_" + std::to_string(GetParam()) + ".img");
  }
  void TearDown() override { fake::Unbind(); }
  void FillMaster() {
    for (uint64_t p = 0; p < 24; ++p) master_.written[p] = Pattern(master_.PageBytes(), static_cast<uint8_t>(p));
  }
  fake::Nand master_, copy_;
  fake::Host host_;
  RemainingTime time_;
  std::string image_;
};

TEST_P(VeltanDup, RecordsFollowTheSpareSizeAndBadBlocksOnEitherSideAreSkipped) {
  FillMaster();
  master_.bbt[2] = 0x00;
  fake::Bind(master_);
  Report list;
  ASSERT_EQ(CreateBadBlockList(host_, image_, &list), "Bad block list is created.");
  EXPECT_NE(list.body.find("0002:00\r\n"), std::string::npos);
  ASSERT_EQ(CreateVeltanMasterImage(host_, time_, image_, GetParam()), "Master image file is created.");
  const uint32_t record = 2048 + GetParam();
  std::vector<uint8_t> image = lxtest::ReadBytes(image_);
  ASSERT_EQ(image.size(), 6u * 4 * record);
  EXPECT_EQ(std::vector<uint8_t>(image.begin() + 5 * record, image.begin() + 6 * record), master_.Page(5));
  EXPECT_EQ(image[2 * 4 * record], 0x00);  // block 2: zero records

  // The duplicate: its block 4 is bad where the master's is good; without the list the master's
  // bad block 2 is taken as good, but the duplicate's block 4 is never programmed.
  copy_.bbt[4] = 0x00;
  fake::Bind(copy_);
  std::string message;
  Report report = DuplicateVeltan(host_, time_, image_, false, GetParam(), &message);
  EXPECT_EQ(message, "");
  EXPECT_TRUE(copy_.BlockErased(4));
  for (uint32_t p : copy_.programCalls) EXPECT_NE(p / 4, 4u) << p;
  EXPECT_NE(report.body.find("0004:ff>>00-Skipped"), std::string::npos) << report.body;
  EXPECT_NE(report.body.find("1 good master block(s) were bad on the duplicate"), std::string::npos);
  for (uint64_t p : {0, 5, 13, 23}) EXPECT_EQ(copy_.Page(p), master_.Page(p)) << p;

  // With the list the master's bad block 2 is skipped; the duplicate may be bad there too. A
  // duplicate bad where the master holds data is refused before anything is written.
  fake::Nand second = copy_;
  second.written.clear();
  second.programCalls.clear();
  second.bbt.assign(6, 0xFF);
  second.bbt[2] = 0x01;
  fake::Bind(second);
  report = DuplicateVeltan(host_, time_, image_, true, GetParam(), &message);
  EXPECT_EQ(message, "");
  EXPECT_NE(report.body.find("0002:00-Skipped"), std::string::npos) << report.body;
  EXPECT_TRUE(second.BlockErased(2));
  EXPECT_EQ(second.Page(20), master_.Page(20));
  copy_.written.clear();
  fake::Bind(copy_);
  report = DuplicateVeltan(host_, time_, image_, true, GetParam(), &message);
  EXPECT_EQ(message, "To duplicate a device, prepare a device which has same bad blocks or no bad block.");
  EXPECT_TRUE(copy_.written.empty());
}

INSTANTIATE_TEST_SUITE_P(SpareSizes, VeltanDup, ::testing::Values(64u, 128u));

TEST_P(VeltanDup, RetryRepairsABlockThatDidNotTakeItsData) {
  FillMaster();
  fake::Bind(master_);
  ASSERT_EQ(CreateVeltanMasterImage(host_, time_, image_, GetParam()), "Master image file is created.");
  std::vector<uint8_t> dirty(copy_.PageBytes(), 0x00);
  copy_.written[9] = dirty;  // block 2 not erased
  fake::Bind(copy_);
  host_.answers = {kAnswerRetry};
  std::string message;
  Report report = DuplicateVeltan(host_, time_, image_, false, GetParam(), &message);
  EXPECT_TRUE(host_.Asked("Programming verification has been failed at block 0x2."));
  EXPECT_NE(report.body.find("0002:ff>>ff-RETRY\r\n0002:ff>>ff-Copied"), std::string::npos) << report.body;
  EXPECT_EQ(copy_.Page(9), master_.Page(9));
}

// A block of zeros whose page programs and read-back fail is not copied.
TEST_P(VeltanDup, AFailedReadBackIsAVerificationFailure) {
  FillMaster();
  for (uint64_t p = 8; p < 12; ++p) master_.written[p] = std::vector<uint8_t>(master_.PageBytes(), 0x00);
  fake::Bind(master_);
  ASSERT_EQ(CreateVeltanMasterImage(host_, time_, image_, GetParam()), "Master image file is created.");
  for (uint64_t p = 8; p < 12; ++p) {
    copy_.failProgram.insert(p);
    copy_.failRead.insert(p);
  }
  fake::Bind(copy_);
  host_.answers = {kAnswerIgnore};
  std::string message;
  Report report = DuplicateVeltan(host_, time_, image_, false, GetParam(), &message);
  EXPECT_TRUE(host_.Asked("Programming verification has been failed at block 0x2."));
  EXPECT_NE(report.body.find("0002:ff>>ff-IGNORED"), std::string::npos) << report.body;
  EXPECT_NE(report.body.find("5 of 6 block(s) copied and verified, 1 ignored"), std::string::npos) << report.body;
}

}  // namespace
