#include <gtest/gtest.h>

#include <set>
#include <string>

#include "command_tables.h"
#include "driver_tables.h"

namespace {

// Handler names that do not follow the console's naming rule.
struct Exception {
  const char* word;
  const char* handler;
};

std::string ExpectedNorHandler(const std::string& word) {
  static const Exception exceptions[] = {
      {"quit", "cmd_exit"},
      {"?", "cmd_help"},
      {"d8", "cmd_memory_dump8"},
      {"d16", "cmd_memory_dump16"},
      {"d32", "cmd_memory_dump32"},
      {"r8", "cmd_memory_read8"},
      {"r16", "cmd_memory_read16"},
      {"r32", "cmd_memory_read32"},
      {"w8", "cmd_memory_write8"},
      {"w16", "cmd_memory_write16"},
      {"w32", "cmd_memory_write32"},
      {"f8", "cmd_memory_fill8"},
      {"f16", "cmd_memory_fill16"},
      {"f32", "cmd_memory_fill32"},
      {"s8", "cmd_memory_search8"},
      {"s16", "cmd_memory_search16"},
      {"s32", "cmd_memory_search32"},
      {"interface", "cmd_memory_interface"},
      {"EditJob", "cmd_edit_job"},
      {"ListJob", "cmd_list_job"},
      {"DeleteLine", "cmd_delete_line"},
      {"DeleteJob", "cmd_delete_job"},
      {"Memcpy", "cmd_memcpy"},
      {"WriteBufferToFlashCmd", "cmd_ProgramBufferToFlashCmd"},
      {"ConfigRegSetCmd", "cmd_SetConfigRegCmd"},
      {"ConfigRegReadCmd", "cmd_ReadConfigRegCmd"},
      {"rt", "cmd_ResetTrace"},
      {"dt", "cmd_DisplayTrace"},
      {"runallSPN", "ouv_all_SPN"},
      {"runallLPN", "ouv_all_LPN"},
      {"NaScanBadBlkOp", "cmd_NandScanBadBlockOp"},
      {"NaMarkBadBlkOp", "cmd_NandMarkBadBlockOp"},
      {"NaIsBadBlkOp", "cmd_NandIsBadBlockOp"},
  };
  for (const Exception& e : exceptions)
    if (word == e.word) return e.handler;
  if (word.compare(0, 2, "Na") == 0) return "cmd_Nand" + word.substr(2);
  return "cmd_" + word;
}

std::string ExpectedVeltanHandler(const std::string& word) {
  static const std::set<std::string> verification = {
      "RDESPN", "RDELPN", "RSESPN", "RSELPN", "EPDVESPN", "EPDVELPN", "EPSVESPN", "EPSVELPN",
      "EBVESPN", "EBVELPN", "SBBESPN", "SBBELPN", "CacheProgram", "PageDuplicateRandomInputProgram",
      "RandomRead"};
  if (verification.count(word)) return "ouv_" + word;
  return ExpectedNorHandler(word);
}

template <class CellName>
void CheckTable(const CommandEntry* table, const int* cells, int count, int cellCount, CellName cellName,
                std::string (*expected)(const std::string&)) {
  std::set<std::string> words;
  std::set<int> reached;
  for (int i = 0; i < count; ++i) {
    const CommandEntry& row = table[i];
    ASSERT_NE(row.name, nullptr) << i;
    EXPECT_TRUE(words.insert(row.name).second) << "duplicate word " << row.name;
    EXPECT_LE(row.minParams, row.maxParams) << row.name;
    EXPECT_GE(row.minParams, 0) << row.name;
    EXPECT_LT(row.maxParams, 100) << row.name;  // argv has 100 slots
    ASSERT_NE(row.syntax, nullptr) << row.name;
    // The base address is supplied only in front of a missing first parameter.
    if (row.syntax[0] == '[') {
      EXPECT_GE(row.minParams, 1) << row.name;
    }
    ASSERT_GT(cells[i], 0) << row.name;
    ASSERT_LT(cells[i], cellCount) << row.name;
    EXPECT_STREQ(cellName(cells[i]), expected(row.name).c_str()) << row.name;
    reached.insert(cells[i]);
  }
  // Every command export of the driver is reachable from some word.
  EXPECT_EQ(int(reached.size()), cellCount - 1);
  for (int i = count; i < count + lx::kClosingRowCount; ++i) {
    EXPECT_EQ(table[i].name, nullptr);
    EXPECT_EQ(table[i].handler, nullptr);
    EXPECT_EQ(table[i].minParams, 0);
    EXPECT_EQ(table[i].maxParams, 0);
    EXPECT_STREQ(table[i].syntax, "");
  }
}

TEST(CommandTables, NorRowsReachTheirDriverExports) {
  CheckTable(lx::g_NorCommandTable, lx::g_NorCommandCell, lx::kNorCommandCount, lx::kNorCellCount,
             lx::NorDriverCellName, ExpectedNorHandler);
}

TEST(CommandTables, VeltanRowsReachTheirDriverExports) {
  CheckTable(lx::g_VeltanCommandTable, lx::g_VeltanCommandCell, lx::kVeltanCommandCount, lx::kVeltanCellCount,
             lx::VeltanDriverCellName, ExpectedVeltanHandler);
}

TEST(CommandTables, RowsSitAtTheirDispatchIndices) {
  struct Row {
    const CommandEntry* table;
    int index;
    const char* name;
    int min, max;
    const char* syntax;
  } rows[] = {
      {lx::g_NorCommandTable, 0, "exit", 0, 0, ""},
      {lx::g_NorCommandTable, 2, "SetBaseAddress", 1, 1, "base_addr"},
      {lx::g_NorCommandTable, 7, "VendorCommandSet", 1, 1, "[base_addr]"},
      {lx::g_NorCommandTable, 24, "ProgramSuspend", 1, 1, "[base_addr]"},
      {lx::g_NorCommandTable, 25, "d8", 1, 2, "addr [size]"},
      {lx::g_NorCommandTable, 39, "s32", 3, 4, "addr addr_end [!]data [+-]"},
      {lx::g_NorCommandTable, 40, "interface", 0, 1, "raw/macro"},
      {lx::g_NorCommandTable, 45, "var32", 1, 5,
       "varname [= value [op value]]   where op is one of: + - * / < > & |"},
      {lx::g_NorCommandTable, 48, "if", 3, 5,
       "value [op value] goto label_name   where op is boolean, one of: = < >"},
      {lx::g_NorCommandTable, 49, "disp", 1, 30, "string"},
      {lx::g_NorCommandTable, 53, "DeleteJob", 0, 0, ""},
      {lx::g_NorCommandTable, 54, "ResetCmd", 1, 1, "[base_addr]"},
      {lx::g_NorCommandTable, 59, "WriteBufferProgramOp", 4, 4, "[base_addr] offset byte_count source_addr"},
      {lx::g_NorCommandTable, 87, "Poll", 4, 4, "[base_addr] offset exp_data poll_type"},
      {lx::g_NorCommandTable, 89, "rt", 0, 0, ""},
      {lx::g_NorCommandTable, 121, "PpbProgramOp", 2, 2, "[base_addr] offset"},
      {lx::g_VeltanCommandTable, 6, "SuperUser", 0, 0, ""},
      {lx::g_VeltanCommandTable, 7, "d8", 1, 2, "addr [size]"},
      {lx::g_VeltanCommandTable, 22, "job", 0, 0, ""},
      {lx::g_VeltanCommandTable, 35, "NaSegmentReadOp", 4, 4, "[base_addr] col_addr row_addr dest_mem_addr"},
      {lx::g_VeltanCommandTable, 49, "NaPartialPageReadOp", 5, 5,
       "[base_addr] col_addr row_addr dest_mem_addr num_flash_data"},
      {lx::g_VeltanCommandTable, 64, "NaScanBadBlkOp", 3, 3, "[base_addr] block_start block_count"},
      {lx::g_VeltanCommandTable, 74, "NaBlockNormalZentraStatusInquiryOp", 2, 2, "[base_addr] row_addr"},
      {lx::g_VeltanCommandTable, 75, "RDESPN", 0, 0, ""},
      {lx::g_VeltanCommandTable, 91, "runallLPN", 0, 0, ""},
      {lx::g_VeltanCommandTable, 95, "dt", 0, 0, ""},
  };
  for (const Row& r : rows) {
    const CommandEntry& e = r.table[r.index];
    EXPECT_STREQ(e.name, r.name) << r.index;
    EXPECT_EQ(e.minParams, r.min) << r.name;
    EXPECT_EQ(e.maxParams, r.max) << r.name;
    EXPECT_STREQ(e.syntax, r.syntax) << r.name;
  }
}

}  // namespace
