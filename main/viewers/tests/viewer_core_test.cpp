// The profiler's CSV text and the trace viewer's cells.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "viewer_core.h"

namespace {

const std::vector<std::string> kNames = {"FP_gfslInit", "FP_gfslMount", "FP_gfslUnmount"};

TEST(ProfilerCsv, ExportLinesReadBackWithFull64BitCounts) {
  struct Entry {
    const char* name;
    uint64_t count, accumulated;
  } entries[] = {
      {"FP_gfslInit", 5, 9},
      {"FP_gfslMount", 0x100000001ull, 0x7FFFFFFFFFFFFFFFull},  // past 32 bits
      {"FP_gfslUnmount", 0, 0xFFFFFFFFull},
  };
  std::string text = lx::kProfilerCsvHeader;
  for (const Entry& e : entries) text += lx::ProfilerCsvLine(e.name, e.count, e.accumulated);
  EXPECT_EQ(text,
            "Function name,Hit count,Accumulated count\r\n"
            "FP_gfslInit,5,9\r\n"
            "FP_gfslMount,4294967297,9223372036854775807\r\n"
            "FP_gfslUnmount,0,4294967295\r\n");
  auto rows = lx::ParseProfilerCsv(text.data(), text.size(), kNames);
  ASSERT_EQ(rows.size(), 3u);
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(rows[i].index, i);
    EXPECT_EQ(uint64_t(rows[i].count), entries[i].count) << i;
    EXPECT_EQ(uint64_t(rows[i].accumulated), entries[i].accumulated) << i;
  }
}

TEST(ProfilerCsv, TokensAndNameMatching) {
  struct Case {
    const char* text;
    std::vector<std::vector<long long>> rows;  // index, count, accumulated
  } cases[] = {
      {"FP_gfslMount\t3\t4\n", {{1, 3, 4}}},
      {"x,FP_gfslUnmount,,,7,,8", {{2, 7, 8}}},          // empty tokens are skipped
      {"fp_gfslmount,1,2\n", {}},                          // names compare case-sensitively
      {"FP_gfslMount ,1,2\n", {}},                         // and whole
      {"FP_gfslInit,1\n", {}},                             // a name needs two more tokens
      {"FP_gfslInit,FP_gfslMount,2,3", {{0, 0, 2}}},       // the next two tokens, whatever they are
      {"FP_gfslInit,-4,abc\r\n", {{0, -4, 0}}},            // a CR stays with its token; no digits is 0
      {"FP_gfslInit,99999999999999999999,1", {{0, INT64_MAX, 1}}},
      {"1,2,FP_gfslUnmount,3,4,FP_gfslInit,5,6", {{2, 3, 4}, {0, 5, 6}}},
      {"", {}},
  };
  for (const Case& c : cases) {
    auto rows = lx::ParseProfilerCsv(c.text, std::strlen(c.text), kNames);
    ASSERT_EQ(rows.size(), c.rows.size()) << c.text;
    for (size_t i = 0; i < rows.size(); ++i) {
      EXPECT_EQ(rows[i].index, c.rows[i][0]) << c.text;
      EXPECT_EQ(rows[i].count, c.rows[i][1]) << c.text;
      EXPECT_EQ(rows[i].accumulated, c.rows[i][2]) << c.text;
    }
  }
  // The text ends at its given length or at a NUL, whichever comes first.
  const char text[] = "FP_gfslInit,1,2\nFP_gfslMount,3,4";
  EXPECT_EQ(lx::ParseProfilerCsv(text, 15, kNames).size(), 1u);
  const char withNul[] = "FP_gfslInit,1,2\n\0FP_gfslMount,3,4";
  EXPECT_EQ(lx::ParseProfilerCsv(withNul, sizeof withNul - 1, kNames).size(), 1u);
  EXPECT_TRUE(lx::ParseProfilerCsv("FP_gfslInit,1,2", 15, {"", "x"}).empty());
}

TEST(ProfilerCsv, GridCellsShowTheLow32BitsSigned) {
  EXPECT_EQ(lx::ProfilerCellText(12), "12");
  EXPECT_EQ(lx::ProfilerCellText(0x100000005ull), "5");
  EXPECT_EQ(lx::ProfilerCellText(0xFFFFFFFFull), "-1");
  EXPECT_EQ(lx::ProfilerCellText(UINT64_MAX), "-1");
  EXPECT_EQ(lx::ProfilerRowCount(-1), 0);
  EXPECT_EQ(lx::ProfilerRowCount(66), 66);
  EXPECT_EQ(lx::ProfilerRowCount(1 << 30), lx::kMaxProfilerEntries);
}

TEST(TraceRecords, OperationNames) {
  struct Case {
    uint32_t code;
    const char* name;
  } cases[] = {
      {1000, "TR_OP_READ_IN"},          {1001, "TR_OP_READ_OUT"},         {1002, "TR_OP_READ_BLOCK_IN"},
      {1003, "TR_OP_READ_BLOCK_OUT"},   {1004, "TR_OP_WRITE_IN"},         {1005, "TR_OP_WRITE_OUT"},
      {1006, "unknown"},                {1007, "unknown"},                {1008, "TR_OP_WRITE_HWPOLL_IN"},
      {1009, "TR_OP_WRITE_HWPOLL_OUT"}, {1010, "TR_OP_WRITE_HWSTATUS_IN"}, {1011, "TR_OP_WRITE_HWSTATUS_OUT"},
      {999, "unknown"},                 {1012, "unknown"},                {0, "unknown"},
      {0xFFFFFFFF, "unknown"},
  };
  for (const Case& c : cases) EXPECT_STREQ(lx::TraceOperationName(c.code), c.name) << c.code;
}

TEST(TraceRecords, DecodeLittleEndianAndFormatCells) {
  const uint8_t bytes[24] = {0x01, 0x00, 0x00, 0x00, 0xEC, 0x03, 0x00, 0x00, 0x00, 0x00, 0x00, 0x80,
                             0x55, 0x05, 0x00, 0x00, 0xAA, 0x0A, 0x00, 0x80, 0xEF, 0xBE, 0xAD, 0xDE};
  TraceRecord r = lx::DecodeTraceRecord(bytes);
  std::string cells[6];
  lx::TraceRecordCells(r, cells);
  EXPECT_EQ(cells[0], "0x00000001");
  EXPECT_EQ(cells[1], "TR_OP_WRITE_IN");
  EXPECT_EQ(cells[2], "0x80000000");
  EXPECT_EQ(cells[3], "0x00000555");
  EXPECT_EQ(cells[4], "0x80000AAA");
  EXPECT_EQ(cells[5], "0xDEADBEEF");
}

TEST(TraceRecords, ShortFilesFillTheStartAndZeroTheRest) {
  std::string path = ::testing::TempDir() + "trace_short.bin";
  {
    std::ofstream out(path, std::ios::binary);
    out << std::string(30, '\x7F');
  }
  std::vector<uint8_t> buffer;
  EXPECT_EQ(lx::ReadTraceFile(path.c_str(), buffer), 30);
  ASSERT_EQ(buffer.size(), lx::kTraceBytes);
  EXPECT_EQ(buffer[29], 0x7F);
  EXPECT_EQ(buffer[30], 0);
  {
    std::ofstream out(path, std::ios::binary);
    out << std::string(lx::kTraceBytes + 100, '\x01');
  }
  EXPECT_EQ(lx::ReadTraceFile(path.c_str(), buffer), (long long)lx::kTraceBytes);  // never past the buffer
  std::remove(path.c_str());
  EXPECT_EQ(lx::ReadTraceFile(path.c_str(), buffer), -1);
  EXPECT_EQ(lx::ReadTraceFile(nullptr, buffer), -1);
}

}  // namespace
