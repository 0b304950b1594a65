// The command language shared by the consoles and the driver: the same line through both
// policies, and the bounds of the working buffer.
#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "lumivex/command_line.h"

using namespace lx::cmdline;

namespace {

const AddressSpace kSpace = {0x80000000u, 0x7FFFFFFFu, 0x00100000u, false};

const Row kReadOp = {"ReadOp", 2, 2, "[base_addr] offset"};
const Row kResetCmd = {"ResetCmd", 1, 1, "[base_addr]"};
const Row kD8 = {"d8", 1, 2, "addr [size]"};
const Row kDisp = {"disp", 1, 30, "string"};
const Row kSetBase = {"SetBaseAddress", 1, 1, "base_addr"};

// Variables of a test: name -> {size, value}.
using Table = std::map<std::string, Variable>;
bool LookUp(void* context, const char* name, size_t length, Variable* out) {
  const Table& table = *static_cast<const Table*>(context);
  auto it = table.find(std::string(name, length));
  if (it == table.end()) return false;
  *out = it->second;
  return true;
}

struct Outcome {
  Verdict verdict;
  std::vector<std::string> argv;  // each parameter as handed over (to the end of the line)
};

Outcome Check(const Row& row, const std::string& line, const Policy& policy, const AddressSpace& space = kSpace,
            const Table& vars = {}, size_t workSize = 256) {
  std::vector<char> work(workSize, '\x7F');
  Prepared p;
  Prepare(row, line.c_str(), work.data(), work.size(), policy, space, &LookUp, const_cast<Table*>(&vars), &p);
  Outcome o{p.verdict, {}};
  if (p.verdict == Verdict::kRun)
    for (int i = 1; i <= p.argc; ++i) o.argv.push_back(p.argv[i]);
  return o;
}

}  // namespace

TEST(CommandLine, CommandWordsMatchByThePolicysCaseRule) {
  struct Case {
    const char* name;
    const char* line;
    bool console, driver;
  } cases[] = {
      {"ReadOp", "ReadOp 0", true, true},     {"ReadOp", "readop 0", false, true},
      {"ReadOp", "READOP", false, true},      {"ReadOp", "ReadOpX 0", false, false},
      {"ReadOp", "ReadOp\t0", false, false},  {"ReadOp", " ReadOp 0", false, false},
      {"ReadOp", "Read", false, false},       {"d8", "D8 100000", false, true},
      {"?", "?", true, true},                 {"ReadOp", "", false, false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(MatchWord(c.name, c.line, kConsolePolicy), c.console) << c.line;
    EXPECT_EQ(MatchWord(c.name, c.line, kDriverPolicy), c.driver) << c.line;
  }
}

TEST(CommandLine, BothSidesCheckTheSameLineTheSameWayButForAnOddBaseAddress) {
  struct Case {
    const Row* row;
    const char* line;
    Verdict console, driver;
    std::vector<std::string> argv;  // when both run
  } cases[] = {
      {&kReadOp, "ReadOp 10", Verdict::kRun, Verdict::kRun, {"80000000 10", "10"}},
      {&kResetCmd, "ResetCmd", Verdict::kRun, Verdict::kRun, {"80000000"}},
      {&kReadOp, "ReadOp", Verdict::kParameterCount, Verdict::kParameterCount, {}},
      {&kReadOp, "ReadOp 1 2 3", Verdict::kParameterCount, Verdict::kParameterCount, {}},
      {&kReadOp, "ReadOp 80000001 0", Verdict::kRun, Verdict::kInvalidBaseAddress, {}},
      {&kReadOp, "ReadOp 7FFFFFFE 0", Verdict::kInvalidBaseAddress, Verdict::kInvalidBaseAddress, {}},
      {&kSetBase, "SetBaseAddress 10", Verdict::kRun, Verdict::kRun, {"10"}},
      {&kD8, "d8 1000", Verdict::kInvalidAddress, Verdict::kInvalidAddress, {}},
      {&kD8, "d8 10FFFF 1", Verdict::kRun, Verdict::kRun, {"10FFFF 1", "1"}},
      {&kD8, "d8 110000", Verdict::kInvalidAddress, Verdict::kInvalidAddress, {}},
      {&kD8, "d8 FFFFFFFFFFFFFFFFFFFF", Verdict::kInvalidAddress, Verdict::kInvalidAddress, {}},
      {&kDisp, "disp \"unterminated  quote", Verdict::kRun, Verdict::kRun, {"\"unterminated  quote", "quote"}},
      {&kDisp, "disp a\tb", Verdict::kRun, Verdict::kRun, {"a\tb", "b"}},
  };
  for (const Case& c : cases) {
    Outcome console = Check(*c.row, c.line, kConsolePolicy);
    Outcome driver = Check(*c.row, c.line, kDriverPolicy);
    EXPECT_EQ(console.verdict, c.console) << c.line;
    EXPECT_EQ(driver.verdict, c.driver) << c.line;
    if (c.console == Verdict::kRun && c.driver == Verdict::kRun) {
      EXPECT_EQ(console.argv, c.argv) << c.line;
      EXPECT_EQ(driver.argv, c.argv) << c.line;
    }
  }
}

TEST(CommandLine, SuperUserSkipsTheAddressTestsButNotTheCount) {
  AddressSpace su = kSpace;
  su.superUser = true;
  EXPECT_EQ(Check(kReadOp, "ReadOp 1 0", kDriverPolicy, su).verdict, Verdict::kRun);
  EXPECT_EQ(Check(kD8, "d8 0", kDriverPolicy, su).verdict, Verdict::kRun);
  EXPECT_EQ(Check(kD8, "d8 0 1 2", kDriverPolicy, su).verdict, Verdict::kParameterCount);
}

TEST(CommandLine, WindowsAndScratchpadsEndAtFourGigabytes) {
  const AddressSpace high = {0xF0000000u, 0x20000000u, 0xFFFF8000u, false};
  EXPECT_TRUE(ValidBaseAddress(0xFFFFFFFEu, high, kDriverPolicy));
  EXPECT_FALSE(ValidBaseAddress(0x00000000u, high, kConsolePolicy));
  EXPECT_TRUE(ValidAddress(0xFFFFFFFFu, high));
  EXPECT_FALSE(ValidAddress(0x00007FFFu, high));  // not the wrapped end of the scratchpad
  const AddressSpace none = {0x80000000u, 0x1000u, 0, false};
  EXPECT_FALSE(ValidAddress(0, none));  // no scratchpad is not one at 0
}

TEST(CommandLine, VariablesAreReplacedByTheirValueInDigitsOfTheirSize) {
  const Table vars = {{"b", {1, 0x1AB}}, {"w", {2, 0x1234}}, {"l", {4, 0x80000010u}}, {"odd", {3, 1}}};
  struct Case {
    const Row* row;
    const char* line;
    Verdict verdict;
    std::vector<std::string> argv;
  } cases[] = {
      {&kDisp, "disp $b $w $l", Verdict::kRun, {"AB 1234 80000010", "1234 80000010", "80000010"}},
      {&kReadOp, "ReadOp $l", Verdict::kRun, {"80000000 80000010", "80000010"}},
      {&kDisp, "disp x$w", Verdict::kRun, {"x1234"}},
      {&kDisp, "disp $nothing", Verdict::kUnknownVariable, {}},
      {&kDisp, "disp $", Verdict::kUnknownVariable, {}},
      {&kDisp, "disp $$w", Verdict::kUnknownVariable, {}},
      {&kDisp, "disp $odd", Verdict::kBadVariableSize, {}},
  };
  for (const Case& c : cases) {
    for (const Policy* policy : {&kConsolePolicy, &kDriverPolicy}) {
      Outcome o = Check(*c.row, c.line, *policy, kSpace, vars);
      EXPECT_EQ(o.verdict, c.verdict) << c.line;
      EXPECT_EQ(o.argv, c.argv) << c.line;
    }
  }
  Prepared p;
  char work[64];
  Prepare(kDisp, "disp 1 $missing 2", work, sizeof work, kDriverPolicy, kSpace, &LookUp,
          const_cast<Table*>(&vars), &p);
  EXPECT_EQ(std::string(p.name, p.nameLength), "missing");
}

// A working buffer never overflows: lines and growth beyond it are refused, and WorkSizeFor
// gives room for the worst growth.
TEST(CommandLine, TheWorkingBufferBoundsLinesAndTheirGrowth) {
  const Table vars = {{"x", {4, 0xFFFFFFFFu}}};
  std::string refs = "disp";
  for (int i = 0; i < 29; ++i) refs += " $x";  // 91 characters that become 265
  EXPECT_EQ(Check(kDisp, refs, kConsolePolicy, kSpace, vars, 256).verdict, Verdict::kTooLong);
  Outcome grown = Check(kDisp, refs, kDriverPolicy, kSpace, vars, WorkSizeFor(refs.size()));
  ASSERT_EQ(grown.verdict, Verdict::kRun);
  EXPECT_EQ(grown.argv.size(), 29u);
  EXPECT_EQ(grown.argv.back(), "FFFFFFFF");

  // Typed lines at the edge of the buffer, and the base address that does not fit behind them.
  EXPECT_EQ(Check(kDisp, "disp " + std::string(250, 'a'), kConsolePolicy).verdict, Verdict::kRun);
  EXPECT_EQ(Check(kDisp, "disp " + std::string(251, 'a'), kConsolePolicy).verdict, Verdict::kTooLong);
  EXPECT_EQ(Check(kReadOp, "ReadOp " + std::string(239, '0'), kConsolePolicy).verdict, Verdict::kRun);
  EXPECT_EQ(Check(kReadOp, "ReadOp " + std::string(240, '0'), kConsolePolicy).verdict, Verdict::kTooLong);

  // Every bound at once: references as short as they can be (a name runs to the next space), as
  // many as fit in a 10,000-character line.
  std::string worst = "disp";
  while (worst.size() < 10000) worst += " $x";
  std::vector<char> work(WorkSizeFor(worst.size()));
  Prepared p;
  const Row wide = {"disp", 1, 100000, "string"};
  Prepare(wide, worst.c_str(), work.data(), work.size(), kDriverPolicy, kSpace, &LookUp,
          const_cast<Table*>(&vars), &p);
  EXPECT_EQ(p.verdict, Verdict::kParameterCount);  // more words than argv has slots
  EXPECT_EQ(std::strlen(work.data()), 4 + (worst.size() - 4) / 3 * 9);

  Prepare(kDisp, "disp 1", nullptr, 0, kDriverPolicy, kSpace, nullptr, nullptr, &p);
  EXPECT_EQ(p.verdict, Verdict::kTooLong);
}

TEST(CommandLine, ManyParametersStopAtTheCommandsBoundAndTheArgvSlots) {
  const Row wide = {"many", 0, 1000, ""};
  std::string line = "many";
  for (int i = 0; i < 120; ++i) line += " 1";
  Prepared p;
  std::vector<char> work(1024);
  Prepare(wide, line.c_str(), work.data(), work.size(), kDriverPolicy, kSpace, nullptr, nullptr, &p);
  EXPECT_EQ(p.verdict, Verdict::kParameterCount);  // 120 words would not fit 100 argv slots
  EXPECT_EQ(p.argc, 120);
  line = "many";
  for (int i = 0; i < kArgvSlots - 1; ++i) line += " 1";
  Prepare(wide, line.c_str(), work.data(), work.size(), kDriverPolicy, kSpace, nullptr, nullptr, &p);
  EXPECT_EQ(p.verdict, Verdict::kRun);
  EXPECT_EQ(p.argc, kArgvSlots - 1);
}

TEST(CommandLine, CountingAndHexReading) {
  EXPECT_EQ(CountParameters("d8 1 \t 2  "), 2);
  EXPECT_EQ(CountParameters(""), 0);
  EXPECT_STREQ(GetParameter("d8 1 \t 2  ", 2), "2  ");
  EXPECT_EQ(GetParameter("d8 1", 2), nullptr);
  EXPECT_EQ(ParseHex("0x1f zz"), 0x1Fu);
  EXPECT_EQ(ParseHex("-1"), 0xFFFFFFFFu);
  EXPECT_EQ(ParseHex("FFFFFFFFFFFFFFFFFFFFFFFF"), 0xFFFFFFFFu);
  EXPECT_EQ(ParseHex("000000000000000000000010"), 0x10u);
}
