// The NOR driver over the simulated chip: operations, status decoding, polling, the trace and the
// protection commands.
#include <gtest/gtest.h>

#include "lld_internal.h"
#include "lld_rig.h"

using namespace lldtest;

namespace {

uint16_t ChipWord(Rig& r, uint32_t word) { return r.chip->ArrayWord(word); }

void PadWords(uint32_t count, uint16_t first) {
  uint8_t* p = lld::ScratchpadRange(kLldScratchpadAddress, kLldScratchpadSize);
  for (uint32_t i = 0; i < count; ++i) {
    p[2 * i] = uint8_t(first + i);
    p[2 * i + 1] = uint8_t((first + i) >> 8);
  }
}

std::unique_ptr<TableBus> Reads(std::function<uint16_t(uint32_t)> read) {
  auto bus = std::make_unique<TableBus>();
  bus->read = std::move(read);
  return bus;
}

}  // namespace

TEST(LldNor, ProgramAndEraseOperationsReachTheChip) {
  Rig r;
  EXPECT_EQ(Line("ProgramOp 10 1234"), "status = DEV_NOT_BUSY\n");
  EXPECT_EQ(ChipWord(r, 0x10), 0x1234);
  EXPECT_EQ(lld::S().status, 1);
  // Programming only clears bits: 0x1230 over 0x1234 reads back 0x1230.
  EXPECT_EQ(Line("ProgramOp 10 1230"), "status = DEV_NOT_BUSY\n");
  EXPECT_EQ(Line("ProgramOp 10 1234"), "status = DEV_VERIFY_ERROR\n");
  EXPECT_EQ(Line("Poll 80000000 10 1234 LLD_P_POLL_PGM"), "status = DEV_VERIFY_ERROR, act_data = 0x00001230\n");
  EXPECT_EQ(Line("SectorEraseOp 10"), "status = DEV_NOT_BUSY\n");
  EXPECT_EQ(ChipWord(r, 0x10), 0xFFFF);
  EXPECT_EQ(Line("UnlockBypassEntryCmd"), "");
  EXPECT_EQ(Line("UnlockBypassProgramCmd 20 00FF"), "");
  EXPECT_EQ(Line("StatusGet 20"), "status = DEV_NOT_BUSY\n");
  EXPECT_EQ(Line("UnlockBypassResetCmd"), "");
  EXPECT_EQ(ChipWord(r, 0x20), 0x00FF);
  EXPECT_EQ(Line("ChipEraseOp"), "status = DEV_NOT_BUSY\n");
  EXPECT_EQ(ChipWord(r, 0x20), 0xFFFF);
  EXPECT_EQ(Line("GetDeviceId"), "007E1001\n");
  EXPECT_EQ(Line("ReadCfiWord 10"), "00000051\n");
}

TEST(LldNor, MemcpyProgramsInWriteBufferPieces) {
  Rig r;
  PadWords(0x20, 0x0100);
  Line("rt");
  EXPECT_EQ(Line("Memcpy 1E 20 100000"), "status = DEV_NOT_BUSY\n");
  for (uint32_t i = 0; i < 0x20; ++i) EXPECT_EQ(ChipWord(r, 0x1E + i), 0x0100 + i) << i;
  EXPECT_EQ(ChipWord(r, 0x1E + 0x20), 0xFFFF);
  // Each piece starts with its word count less one in both bytes: 2, 16 and 14 words.
  int32_t index;
  bool wrapped;
  const lld::TraceRecord* t = lld::TraceRing(&index, &wrapped);
  std::vector<uint16_t> counts;
  for (int i = 1; i <= index; ++i)
    if (t[i - 1].data == 0x2525 && t[i - 1].type == 2) counts.push_back(t[i].data);
  EXPECT_EQ(counts, (std::vector<uint16_t>{0x0101, 0x0F0F, 0x0D0D}));
  EXPECT_EQ(Line("WriteBufferProgramOp 80000000 40 0 100000"), "status = DEV_NOT_BUSY\n");
}

// The words of a write-buffer program come from the scratchpad only, every one of them.
TEST(LldNor, SourceWordsOutsideTheScratchpadAreRefused) {
  Rig r;
  struct Case {
    const char* line;
    const char* printed;
  } cases[] = {
      {"WriteBufferProgramOp 80000000 0 2 10FFFC", "status = DEV_NOT_BUSY\n"},
      {"WriteBufferProgramOp 80000000 0 2 10FFFE",
       "Error: Invalid source_addr for WriteBufferProgramOp: the words must lie in the scratchpad!\n\n"},
      {"Memcpy 80000000 0 2 FFFFFFFF", "Error: Invalid source_addr for memcpy: the words must lie in the scratchpad!\n\n"},
      {"Memcpy 80000000 0 8001 100000", "Error: Invalid source_addr for memcpy: the words must lie in the scratchpad!\n\n"},
      {"Memcpy 80000000 40 0 0", "status = DEV_NOT_BUSY\n"},
  };
  for (const Case& c : cases) EXPECT_EQ(Line(c.line), c.printed) << c.line;
}

TEST(LldNor, OffsetsAreCheckedAgainstTheWindow) {
  Rig r;
  Line("SetWindowSize 100000");
  EXPECT_EQ(Line("SectorEraseCmd 80000000 80000"), "Error: Invalid offset for SectorEraseCmd!\n\n");
  EXPECT_FALSE(r.chip->Busy());
  EXPECT_EQ(Line("PpbEntryCmd 80000000 80000"), "Error: Invalid offset for lld_PpbEntryCmd!\n\n");
  EXPECT_EQ(Line("SectorEraseCmd 80000000 7FFFF"), "");
  EXPECT_TRUE(r.chip->Busy());
  Line("SuperUser");
  EXPECT_EQ(Line("SectorEraseCmd 80000000 80000").find("Invalid"), std::string::npos);
}

TEST(LldNor, PollTypesAreExactWords) {
  Rig r;
  const char list[] =
      "Error: Polling Type must be one of the following:\n\n     LLD_P_POLL_PGM\n     LLD_P_POLL_WRT_BUF_PGM\n"
      "     LLD_P_POLL_SEC_ERS\n     LLD_P_POLL_CHIP_ERS\n     LLD_P_POLL_RESUME\n";
  EXPECT_EQ(Line("Poll 80000000 0 FFFF lld_p_poll_pgm"), list);
  EXPECT_EQ(Line("Poll 80000000 0 FFFF LLD_P_POLL_PGMX"), list);
  // A word ends at a blank, whatever follows it on the line.
  EXPECT_EQ(Call(cmd_Poll, "80000000 0 FFFF LLD_P_POLL_RESUME "), "status = DEV_NOT_BUSY, act_data = 0x0000FFFF\n");
}

// Writes that only queue cycles are sent when the command returns, not at some later read.
TEST(LldNor, WriteOnlyCommandsReachTheChipWhenTheyReturn) {
  Rig r;
  Call(cmd_SectorEraseCmd, "80000000 0");
  EXPECT_TRUE(r.chip->Busy());
}

TEST(LldNor, StatusDecoding) {
  struct Case {
    const char* what;
    std::vector<uint16_t> reads;
    bool writeBuffer;
    int32_t status;
  } cases[] = {
      {"same word every read", {0x1234, 0x1234, 0x1234, 0x1234, 0x1234}, false, lld::DEV_NOT_BUSY},
      {"DQ6 toggles", {0x0040, 0x0000, 0x0040}, false, lld::DEV_BUSY},
      {"DQ6 toggles in one lane with DQ5 there", {0x0060, 0x0020, 0x0060}, false, lld::DEV_EXCEEDED_TIME_LIMITS},
      {"DQ5 in the other lane only", {0x2040, 0x2000, 0x2040}, false, lld::DEV_BUSY},
      {"DQ1 while buffer programming", {0x0042, 0x0002, 0x0042}, true, lld::DEV_WRITE_BUFFER_ABORT},
      {"DQ1 outside buffer programming", {0x0042, 0x0002, 0x0042}, false, lld::DEV_BUSY},
      {"DQ2 toggles in both lanes", {0, 0, 0, 0x0404, 0}, false, lld::DEV_SUSPEND},
      {"DQ2 toggles in one lane", {0, 0, 0, 0x0004, 0}, false, lld::DEV_BUSY},
  };
  for (const Case& c : cases) {
    auto reads = std::make_shared<std::deque<uint16_t>>();
    Rig r(Reads([reads](uint32_t) {
      uint16_t v = reads->empty() ? 0 : reads->front();
      if (!reads->empty()) reads->pop_front();
      return v;
    }));
    reads->assign(c.reads.begin(), c.reads.end());
    lld::S().writeBufferFlag = c.writeBuffer;
    EXPECT_EQ(lld::StatusGet(0), c.status) << c.what;
  }
}

// A chip that stays busy is given up after the poll type's time, with a reset.
TEST(LldNor, PollingEndsAtItsTimeLimit) {
  Rig r;
  r.chip->Faults().stuckBusy = true;
  uint64_t start = r.host.NowUs();
  EXPECT_EQ(Line("ProgramOp 10 1234"), "status = DEV_EXCEEDED_TIME_LIMITS\n");
  uint64_t spent = r.host.NowUs() - start;
  EXPECT_GE(spent, lld::PollTimeLimitUs(lld::LLD_P_POLL_PGM));
  EXPECT_LT(spent, 2 * lld::PollTimeLimitUs(lld::LLD_P_POLL_PGM));
  EXPECT_FALSE(r.chip->Busy());
}

TEST(LldNor, DelaysAreBoundedAndIgnoreNegativeCounts) {
  Rig r;
  struct Case {
    LldHandler handler;
    const char* count;
    uint64_t us;
  } cases[] = {
      {cmd_DelayMilliseconds, "5", 5000},
      {cmd_DelayMilliseconds, "-5", 0},
      {cmd_DelayMilliseconds, "0", 0},
      {cmd_DelayMilliseconds, "99999999999999999999", 60000000},
      {cmd_DelayMicroseconds, "7", 7},
      {cmd_DelayMicroseconds, "-2147483648", 0},
      {cmd_DelayMicroseconds, "4294967295", 60000000},
  };
  for (const Case& c : cases) {
    uint64_t start = r.host.NowUs();
    EXPECT_EQ(Call(c.handler, c.count), "");
    // The kit's own transfers add a little.
    EXPECT_GE(r.host.NowUs() - start, c.us) << c.count;
    EXPECT_LT(r.host.NowUs() - start, c.us + 100) << c.count;
  }
}

TEST(LldTrace, TheRingKeepsTheLast512Accesses) {
  Rig r;
  Line("rt");
  EXPECT_EQ(Line("dt"), "Sync     Type   Base     Offset   Address  Data       usecs\n");
  int32_t index;
  bool wrapped;
  for (int i = 0; i < 512; ++i) lld::TraceAccess(uint32_t(i), 2, uint32_t(i), uint16_t(i));
  lld::TraceRing(&index, &wrapped);
  EXPECT_EQ(index, 511);
  EXPECT_FALSE(wrapped);
  lld::TraceAccess(512, 1, 512, 0x00F0);
  const lld::TraceRecord* t = lld::TraceRing(&index, &wrapped);
  EXPECT_EQ(index, 0);
  EXPECT_TRUE(wrapped);
  EXPECT_EQ(t[0].offset, 512u);
  std::string shown = Line("DisplayTrace");
  // Oldest first: the record after the write index, the newest (a read of 0x00F0) last.
  size_t first = shown.find('\n') + 1;
  EXPECT_EQ(shown.substr(first + 9, 38), "Write  00000000 00000001 00000001 0000");
  EXPECT_EQ(shown.substr(shown.size() - 47),
            "Read   00000000 00000200 00000200 000000F0 \xB0 \n\n");
}

TEST(LldProtection, OperationsReportTheirOutcome) {
  Rig r;
  EXPECT_EQ(Line("PpbProgramOp 80000000 0"), "PPB Program Op Successful\n");
  EXPECT_TRUE(r.chip->Ppb(0));
  EXPECT_EQ(Line("PpbStatusReadOp 80000000 0"), "PPB Status Read: data = 0x0\n");
  EXPECT_EQ(Line("PpbAllEraseOp"), "PPB All Erase Op Successful\n");
  EXPECT_FALSE(r.chip->Ppb(0));
  EXPECT_EQ(Line("DybEntryCmd"), "");
  EXPECT_EQ(Line("DybSetCmd 80000000 8000"), "");
  EXPECT_EQ(Line("DybReadCmd 80000000 8000"), "0x0\n");
  EXPECT_EQ(Line("DybExitCmd"), "");
  EXPECT_TRUE(r.chip->Dyb(1));
  EXPECT_EQ(Line("LockRegBitsReadOp"), "LockRegBitRead data = 0xFFFF\n");
  EXPECT_EQ(Line("PpbLockBitReadOp"), "LockBitRead data = 0x1\n");
  EXPECT_EQ(Line("PpbLockBitSetOp"), "PPB LockBit Set Op Successful\n");
  EXPECT_TRUE(r.chip->PpbLocked());
  // With the lock bit set the bits cannot change, and the operations say so.
  EXPECT_EQ(Line("PpbAllEraseOp"), "PPB All Erase Op Not Successful\n");
  EXPECT_EQ(Line("PpbProgramOp 80000000 0"), "PPB Program Op Not Successful\n");
  EXPECT_FALSE(r.chip->Ppb(0));
}
