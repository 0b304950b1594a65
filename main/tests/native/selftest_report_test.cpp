#include "selftest_report.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(SelfTestReport, TagsCountsAndFilter) {
  lx::SelfTestReport r;
  std::string line;
  ASSERT_TRUE(r.FormatLinef(&line, "T ", -1, "boom %d", 1));
  EXPECT_EQ(line, "T <FATAL>   : boom 1\r\n");
  ASSERT_TRUE(r.FormatLinef(&line, "T ", 0, "e"));
  EXPECT_EQ(line, "T <ERROR>   : e\r\n");
  ASSERT_TRUE(r.FormatLinef(&line, "T ", 1, "w"));
  EXPECT_EQ(line, "T <WARNING> : w\r\n");
  ASSERT_TRUE(r.FormatLinef(&line, "T ", 2, "i"));
  EXPECT_EQ(line, "T <INFO>    : i\r\n");
  ASSERT_TRUE(r.FormatLinef(&line, "T ", -5, "untagged"));
  EXPECT_EQ(line, "T untagged\r\n");
  EXPECT_FALSE(r.FormatLinef(&line, "T ", 3, "too chatty"));
  EXPECT_EQ(r.Errors(), 1);
  EXPECT_EQ(r.Warnings(), 1);
  EXPECT_EQ(r.ResultLine(), "========== Result: 1 Errors, 1 Warnings ==========\r\n");
}

TEST(SelfTestReport, MessageLevelZeroKeepsErrorsButDropsWarnings) {
  lx::SelfTestReport r;
  r.SetMessageLevel(0);
  std::string line;
  EXPECT_TRUE(r.FormatLinef(&line, "", -1, "f"));
  EXPECT_TRUE(r.FormatLinef(&line, "", 0, "e"));
  EXPECT_FALSE(r.FormatLinef(&line, "", 1, "w"));
  EXPECT_FALSE(r.FormatLinef(&line, "", 2, "i"));
  EXPECT_EQ(r.Errors(), 1);
  EXPECT_EQ(r.Warnings(), 0);
  r.ResetCounters();
  EXPECT_EQ(r.Errors(), 0);
}

TEST(SelfTestReport, LongMessageIsCutAt1023) {
  lx::SelfTestReport r;
  std::string big(5000, 'q');
  std::string line;
  ASSERT_TRUE(r.FormatLinef(&line, "", -5, "%s", big.c_str()));
  EXPECT_EQ(line, std::string(1023, 'q') + "\r\n");
}

}  // namespace
