// Jobs: editing, listing, running, labels, goto and if.
#include <gtest/gtest.h>

#include "lld_internal.h"
#include "lld_rig.h"

using namespace lldtest;

namespace {

void Edit(Rig& r, std::vector<std::string> lines, const std::string& at = "") {
  for (auto& l : lines) r.host.input.push_back(l);
  Call(cmd_edit_job, at);
}

}  // namespace

TEST(LldJob, EditListAndRun) {
  Rig r;
  EXPECT_EQ(Call(cmd_job, ""), "Nothing to execute at line 0\n");
  r.host.input = {"ProgramOp 10 1234", "ReadOp 10", ""};
  EXPECT_EQ(Call(cmd_edit_job, ""), "Line 0:>Line 1:>Line 2:>");
  EXPECT_EQ(Call(cmd_list_job, ""), "ProgramOp 10 1234\nReadOp 10\n");
  EXPECT_EQ(Call(cmd_job, ""), "status = DEV_NOT_BUSY\n00001234\n");
  EXPECT_EQ(r.chip->ArrayWord(0x10), 0x1234);
  // The end of the input ends an edit as an empty line does; a line keeps 127 characters.
  r.host.input = {std::string(200, 'x')};
  EXPECT_EQ(Call(cmd_edit_job, "5"), "Line 5:>Line 6:>");
  EXPECT_EQ(lld::S().jobCount, 6u);
  EXPECT_EQ(std::string(lld::S().job[5]), std::string(127, 'x'));
  EXPECT_EQ(Call(cmd_edit_job, "C8"), "line number is 0-based and the maximum is c7\n");
  EXPECT_EQ(Call(cmd_delete_line, "1"), "not implemented\n");
  EXPECT_EQ(Call(cmd_delete_job, ""), "");
  EXPECT_EQ(Call(cmd_list_job, ""), "");
}

TEST(LldJob, InsertingIntoAFullJobIsRefused) {
  Rig r;
  std::vector<std::string> lines(200, "rt");
  Edit(r, lines);
  EXPECT_EQ(lld::S().jobCount, 200u);
  r.host.input = {"dt"};
  EXPECT_EQ(Call(cmd_edit_job, "0"), "Line 0:>Job buffer is already full.  No more lines can be accepted.\n");
}

TEST(LldJob, NestingStopsTheRunAtThatLine) {
  Rig r;
  Edit(r, {"w8 100000 1", "w8 100001 2", "job", "w8 100002 3", ""});
  EXPECT_EQ(Call(cmd_job, ""), "job doesn't support nesting!");
  EXPECT_EQ(Line("d8 100000 3"), "00100000   01 02 00 \n");
  EXPECT_EQ(lld::S().jobPointer, 2u);
  EXPECT_EQ(Call(cmd_job, ""), "job doesn't support nesting!");
}

// Label lines only mark places; goto and if choose where the next run starts.
TEST(LldJob, LabelsGotoAndIf) {
  Rig r;
  Edit(r, {"w8 100000 1", "label middle", "w8 100001 2", "label end", ""});
  EXPECT_EQ(Call(cmd_job, ""), "");
  EXPECT_EQ(Line("d8 100000 2"), "00100000   01 02 \n");
  struct Case {
    LldHandler handler;
    const char* params;
    const char* printed;
    uint32_t pointer;
  } cases[] = {
      {cmd_goto, "end", "", 3},
      {cmd_goto, "middle ", "", 1},
      {cmd_goto, "mid", "Invalid label\ncommand: goto label_name\n", 1},
      {cmd_if, "0 goto end", "", 1},
      {cmd_if, "1 goto end", "", 3},
      {cmd_if, "2 goto end",
       "Invalid boolean value.  Expecting 1 or 0\ncommand: if value [op value] goto label_name   where op is boolean, one of: = < >\n", 3},
      {cmd_if, "5 < 6 goto middle", "", 1},
      {cmd_if, "5 > 6 goto end", "", 1},
      {cmd_if, "6 = 6 goto end", "", 3},
      {cmd_if, "6 ! 6 goto end",
       "Invalid operator !\ncommand: if value [op value] goto label_name   where op is boolean, one of: = < >\n", 3},
      {cmd_if, "6 6 goto end",
       "Invalid number of parameters!\ncommand: if value [op value] goto label_name   where op is boolean, one of: = < >\n", 3},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Call(c.handler, c.params), c.printed) << c.params;
    EXPECT_EQ(lld::S().jobPointer, c.pointer) << c.params;
  }
  Line("f8 100000 100001 0");
  EXPECT_EQ(Call(cmd_goto, "middle"), "");
  EXPECT_EQ(Call(cmd_job, ""), "");
  EXPECT_EQ(Line("d8 100000 2"), "00100000   00 02 \n");
  EXPECT_EQ(lld::S().jobPointer, 0u);
}

TEST(LldJob, JobLinesUseVariables) {
  Rig r;
  Call(cmd_var32, "where");
  Call(cmd_var32, "where = 100010");
  Call(cmd_var8, "value");
  Call(cmd_var8, "value = 7 * 3");
  Edit(r, {"w8 $where $value", "r8 $where", ""});
  EXPECT_EQ(Call(cmd_job, ""), "15\n");
  EXPECT_EQ(Call(cmd_disp, "done, $value stays as typed"), "done, $value stays as typed\n");
}
