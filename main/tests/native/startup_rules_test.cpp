#include "startup_rules.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

TEST(StartupRules, FirstWordPicksLevelOrSelfTest) {
  struct Case {
    const char* word;
    int level;
    lx::StartMode mode;
  } cases[] = {
      {"advanced", 0, lx::StartMode::Normal},   {"standard", 1, lx::StartMode::Normal},
      {"beginner", 2, lx::StartMode::Normal},   {"Advanced", 0, lx::StartMode::Normal},
      {"BEGINNER", 0, lx::StartMode::Normal},   {"file.txt", 0, lx::StartMode::Normal},
      {nullptr, 0, lx::StartMode::Normal},      {"extlibtest", 0, lx::StartMode::ExtLibTest},
      {"ExtLibTest", 0, lx::StartMode::Normal},
  };
  for (const auto& c : cases) {
    int32_t level = 99;
    EXPECT_EQ(lx::ClassifyFirstWord(c.word, &level), c.mode) << (c.word ? c.word : "(null)");
    EXPECT_EQ(level, c.level) << (c.word ? c.word : "(null)");
  }
}

TEST(StartupRules, BuildNumberReadsLikeAtoi64) {
  EXPECT_EQ(lx::ParseBuildNumber("001007025002"), 1007025002LL);
  EXPECT_EQ(lx::ParseBuildNumber("  42abc"), 42);
  EXPECT_EQ(lx::ParseBuildNumber("-5"), -5);
  EXPECT_EQ(lx::ParseBuildNumber(""), 0);
  EXPECT_EQ(lx::ParseBuildNumber(nullptr), 0);
  EXPECT_EQ(lx::ParseBuildNumber("x1"), 0);
  EXPECT_EQ(lx::ParseBuildNumber("999999999999"), 999999999999LL);  // beyond 32 bits
}

TEST(StartupRules, RegistrationRunsOnlyForANewerBuild) {
  EXPECT_TRUE(lx::RegistrationDue(1007025002, 0));  // nothing stored
  EXPECT_TRUE(lx::RegistrationDue(1007025002, 1007025001));
  EXPECT_FALSE(lx::RegistrationDue(1007025002, 1007025002));
  EXPECT_FALSE(lx::RegistrationDue(1007025002, 2000000000));
}

struct Arg {
  const char* text;
  bool flag;
};

lx::ExtLibTestArgs Parse(std::vector<Arg> args) {
  lx::ExtLibTestArgs p;
  for (size_t i = 0; i < args.size(); ++i) p.ParseParam(args[i].text, args[i].flag, i + 1 == args.size());
  return p;
}

std::string Err(const lx::ExtLibTestArgs& p) { return p.GetErrorText() ? p.GetErrorText() : ""; }

TEST(ExtLibTestArgs, DefaultsAndAFullLine) {
  auto p = Parse({{"extlibtest", false}, {"L:F", true}, {"C:\\m.dll", false}});
  EXPECT_EQ(Err(p), "");
  EXPECT_STREQ(p.GetLibraryPath(), "C:\\m.dll");
  EXPECT_EQ(p.GetLibraryType(), 0);
  EXPECT_EQ(p.GetTestLevel(), 1);
  EXPECT_EQ(p.GetMessageLevel(), 2);
  EXPECT_EQ(p.GetFailureHandling(), 0);

  p = Parse({{"extlibtest", false}, {"t:2", true}, {"m:0", true}, {"f:c", true}, {"l:f", true}, {"a", false},
             {"b", false}});
  EXPECT_EQ(Err(p), "");
  EXPECT_EQ(p.GetTestLevel(), 2);
  EXPECT_EQ(p.GetMessageLevel(), 0);
  EXPECT_EQ(p.GetFailureHandling(), 1);
  EXPECT_STREQ(p.GetLibraryPath(), "b");  // the last plain word after L wins
}

TEST(ExtLibTestArgs, Errors) {
  struct Case {
    std::vector<Arg> args;
    std::string error;
  } cases[] = {
      {{{"extlibtest", false}}, "\"/L:lib-type lib-path\" is needed."},
      {{{"extlibtest", false}, {"L:F", true}}, "\"/L:lib-type lib-path\" is needed."},
      {{{"extlibtest", false}, {"L:F", true}, {"T:2", true}, {"p.dll", false}}, "Invalid parameter \"p.dll\""},
      {{{"extlibtest", false}, {"L:X", true}, {"p", false}}, "Invalid parameter \"L:X\""},
      {{{"extlibtest", false}, {"T:3", true}}, "Invalid parameter \"T:3\""},
      {{{"extlibtest", false}, {"M:9", true}}, "Invalid parameter \"M:9\""},
      {{{"extlibtest", false}, {"F:B", true}}, "Invalid parameter \"F:B\""},
      {{{"extlibtest", false}, {"Q:1", true}}, "Invalid parameter \"Q:1\""},
      {{{"extlibtest", false}, {"LF", true}}, "Invalid parameter \"LF\""},
      {{{"extlibtest", false}, {"L:FF", true}}, "Invalid parameter \"L:FF\""},
      {{{"other", false}, {"L:F", true}, {"p", false}}, "Invalid parameter \"other\""},
      // The first error stays; later arguments are ignored.
      {{{"extlibtest", false}, {"X:1", true}, {"Y:2", true}}, "Invalid parameter \"X:1\""},
  };
  for (auto& c : cases) EXPECT_EQ(Err(Parse(c.args)), c.error) << c.error;
}

}  // namespace
