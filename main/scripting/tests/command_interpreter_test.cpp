#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "command_interpreter.h"
#include "console_test_driver.h"
#include "driver_tables.h"

using lx::CCommandInterpreter;
using lx_test::FakeDriver;

namespace {

constexpr uint32_t kBase = 0x80000000u;
constexpr uint32_t kWindow = 0x7FFFFFFFu;
constexpr uint32_t kScratchpad = 0x00410000u;

struct NorConsole : ::testing::Test {
  FakeDriver fake;
  lx::CNorCommandInterpreter console{&fake.driver};
  void SetUp() override { console.SetAddressInfo(kBase, kWindow, kScratchpad); }

  // Runs a line and returns what went to standard output (the NOR console's usage line).
  std::string Run(const std::string& line, int* result) {
    ::testing::internal::CaptureStdout();
    *result = console.ExecuteCommand(line.c_str());
    return ::testing::internal::GetCapturedStdout();
  }
};

struct VeltanConsole : ::testing::Test {
  FakeDriver fake;
  lx::CVeltanCommandInterpreter console{&fake.driver};
  void SetUp() override { console.SetAddressInfo(kBase, kWindow, kScratchpad); }
};

TEST_F(NorConsole, LinesWhoseFirstWordIsNoCommandAreNotFound) {
  const char* lines[] = {"d8x 80000000", "D8 80000000", " d8 80000000", "d8\t80000000", "", "init LXLLD",
                         "ResetCmd\r", "Memcpy80000000"};
  for (const char* line : lines) {
    fake.Index() = 0;
    EXPECT_EQ(console.ExecuteCommand(line), -1) << line;
    EXPECT_EQ(fake.Text(), "Command not found\n") << line;
  }
  EXPECT_TRUE(fake.calls.empty());
}

TEST_F(NorConsole, MatchNeedsTheWholeWordFollowedByABlankOrTheEnd) {
  EXPECT_TRUE(console.MatchCommand(25, "d8"));
  EXPECT_TRUE(console.MatchCommand(25, "d8 0"));
  EXPECT_FALSE(console.MatchCommand(25, "d8\t0"));
  EXPECT_FALSE(console.MatchCommand(25, "d80"));
  EXPECT_FALSE(console.MatchCommand(26, "d8"));  // d16 is row 26
  EXPECT_FALSE(console.MatchCommand(-1, "exit"));
  EXPECT_FALSE(console.MatchCommand(122, ""));   // the closing rows are never reached
}

struct ForwardCase {
  const char* line;
  int cell;  // -1: the console does not know the word
  std::vector<std::string> words;
};

// Runs each line and checks the one call it made: the cell, and the parameters as the driver reads them.
template <size_t N>
void CheckForwarding(CCommandInterpreter& console, FakeDriver& fake, const ForwardCase (&cases)[N]) {
  for (const ForwardCase& c : cases) {
    fake.calls.clear();
    fake.Index() = 0;
    int result = console.ExecuteCommand(c.line);
    if (c.cell < 0) {
      EXPECT_EQ(result, -1) << c.line;
      EXPECT_TRUE(fake.calls.empty()) << c.line;
      continue;
    }
    EXPECT_EQ(result, 0) << c.line;
    ASSERT_EQ(fake.calls.size(), 1u) << c.line << ": " << fake.Text();
    EXPECT_EQ(fake.calls[0].cell, c.cell) << c.line;
    EXPECT_EQ(fake.calls[0].argc, int(c.words.size())) << c.line;
    EXPECT_EQ(fake.calls[0].words, c.words) << c.line;
    EXPECT_EQ(fake.Text(), "") << c.line;
  }
}

TEST_F(NorConsole, ForwardsToTheCellOfTheRowWithTheBaseAddressSupplied) {
  const ForwardCase cases[] = {
      {"ResetCmd", lx::kNorCell_cmd_ResetCmd, {"80000000"}},
      {"ResetCmd 80001000", lx::kNorCell_cmd_ResetCmd, {"80001000"}},
      {"SectorEraseCmd 4000", lx::kNorCell_cmd_SectorEraseCmd, {"80000000", "4000"}},
      {"WriteBufferProgramOp 4000 20 80001000", lx::kNorCell_cmd_WriteBufferProgramOp,
       {"80000000", "4000", "20", "80001000"}},
      {"Memcpy 0 10 80001000", lx::kNorCell_cmd_memcpy, {"80000000", "0", "10", "80001000"}},
      {"WriteBufferToFlashCmd 4000", lx::kNorCell_cmd_ProgramBufferToFlashCmd, {"80000000", "4000"}},
      {"ConfigRegSetCmd 1234", lx::kNorCell_cmd_SetConfigRegCmd, {"80000000", "1234"}},
      {"quit", lx::kNorCell_cmd_exit, {}},
      {"?", lx::kNorCell_cmd_help, {}},
      {"rt", lx::kNorCell_cmd_ResetTrace, {}},
      {"dt", lx::kNorCell_cmd_DisplayTrace, {}},
      {"d8 80000000   10", lx::kNorCell_cmd_memory_dump8, {"80000000", "10"}},
      {"d8\t80000000", -1, {}},
      {"disp a\tb  c", lx::kNorCell_cmd_disp, {"a", "b", "c"}},
      {"SetBaseAddress 70000000", lx::kNorCell_cmd_SetBaseAddress, {"70000000"}},
      {"SetWindowSize 10", lx::kNorCell_cmd_SetWindowSize, {"10"}},
      {"DelayMilliseconds 5", lx::kNorCell_cmd_DelayMilliseconds, {"5"}},
      {"interface raw", lx::kNorCell_cmd_memory_interface, {"raw"}},
      {"PasswordProtectionUnlockCmd 1 2 3 4", lx::kNorCell_cmd_PasswordProtectionUnlockCmd,
       {"80000000", "1", "2", "3", "4"}},
  };
  CheckForwarding(console, fake, cases);
}

TEST_F(NorConsole, ParametersRunOnToTheEndOfTheLine) {
  ASSERT_EQ(console.ExecuteCommand("f8 80000000 80000010 5A +"), 0);
  ASSERT_EQ(fake.calls.size(), 1u);
  EXPECT_EQ(fake.calls[0].tails,
            (std::vector<std::string>{"80000000 80000010 5A +", "80000010 5A +", "5A +", "+"}));
}

struct RefusalCase {
  const char* line;
  const char* buffer;  // what the console wrote into the driver's buffer
  const char* usage;   // the usage line on standard output, "" when none
};

TEST_F(NorConsole, RefusedLinesRunNothingAndExplainWhy) {
  const RefusalCase cases[] = {
      {"SectorEraseCmd", "Expected 2 parameters\n", "command: SectorEraseCmd [base_addr] offset\n"},
      {"SectorEraseCmd 1 2 3", "Expected 2 parameters\n", "command: SectorEraseCmd [base_addr] offset\n"},
      {"exit now", "Expected 0 parameters\n", "command: exit \n"},
      {"d8", "Expected 1 to 2 parameters\n", "command: d8 addr [size]\n"},
      {"disp 1 2 3 4 5 6 7 8 9 10 11 12 13 14 15 16 17 18 19 20 21 22 23 24 25 26 27 28 29 30 31",
       "Expected 1 to 30 parameters\n", "command: disp string\n"},
      {"r8 7FFFFFFF", "User-supplied address is invalid!\n", "command: r8 addr\n"},
      {"r8 FFFFFFFF", "User-supplied address is invalid!\n", "command: r8 addr\n"},
      {"r8 00420000", "User-supplied address is invalid!\n", "command: r8 addr\n"},
      {"w8 0 1", "User-supplied address is invalid!\n", "command: w8 addr data\n"},
      {"ResetCmd 70000000", "User-supplied base address is invalid!\n", "command: ResetCmd [base_addr]\n"},
      {"SectorEraseCmd 70000000 4000", "User-supplied base address is invalid!\n",
       "command: SectorEraseCmd [base_addr] offset\n"},
      {"d8 80000000 $n", "Unknown variable $n\n", ""},
      {"disp $", "Unknown variable $\n", ""},
      {"ResetCmd $base", "Unknown variable $base\n", ""},
  };
  for (const RefusalCase& c : cases) {
    fake.Index() = 0;
    int result = 0;
    std::string out = Run(c.line, &result);
    EXPECT_EQ(result, 0) << c.line;
    EXPECT_EQ(fake.Text(), c.buffer) << c.line;
    EXPECT_EQ(out, c.usage) << c.line;
  }
  EXPECT_TRUE(fake.calls.empty());
}

TEST_F(NorConsole, AddressesInsideTheWindowOrTheScratchpadPass) {
  const char* lines[] = {"r8 80000000", "r8 FFFFFFFE", "r8 0x80000000", "r8 00410000", "r8 0041FFFF",
                         "d8 0041FF00 FF", "r8 80000000zz"};
  for (const char* line : lines) {
    fake.calls.clear();
    EXPECT_EQ(console.ExecuteCommand(line), 0) << line;
    EXPECT_EQ(fake.calls.size(), 1u) << line << " " << fake.Text();
  }
  // Only the first parameter is tested.
  fake.calls.clear();
  EXPECT_EQ(console.ExecuteCommand("f8 80000000 0 5A"), 0);
  EXPECT_EQ(fake.calls.size(), 1u);
}

TEST_F(NorConsole, TheAddressInfoFromInitRulesNotTheDriversOwnSetBaseAddress) {
  ASSERT_EQ(console.ExecuteCommand("SetBaseAddress 90000000"), 0);
  fake.calls.clear();
  ASSERT_EQ(console.ExecuteCommand("ResetCmd"), 0);
  ASSERT_EQ(fake.calls.size(), 1u);
  EXPECT_EQ(fake.calls[0].words, std::vector<std::string>{"80000000"});

  console.SetAddressInfo(0x10000000, 0x1000, kScratchpad);
  fake.calls.clear();
  ASSERT_EQ(console.ExecuteCommand("ResetCmd"), 0);
  ASSERT_EQ(fake.calls.size(), 1u);
  EXPECT_EQ(fake.calls[0].words, std::vector<std::string>{"10000000"});
}

TEST_F(NorConsole, WithoutAScratchpadLowAddressesAreNotAddressable) {
  // LXLLD_Init reports 0 when it could not allocate the scratchpad.
  console.SetAddressInfo(kBase, kWindow, 0);
  EXPECT_FALSE(console.IsValidAddress("0"));
  EXPECT_FALSE(console.IsValidAddress("FFFF"));
  EXPECT_TRUE(console.IsValidAddress("80000000"));
}

TEST_F(NorConsole, AWindowReachingPastFourGigabytesEndsThere) {
  console.SetAddressInfo(0xF0000000u, 0x20000000u, 0xFFFF8000u);
  EXPECT_TRUE(console.IsValidBaseAddress("F0000000"));
  EXPECT_TRUE(console.IsValidBaseAddress("FFFFFFFF"));
  EXPECT_FALSE(console.IsValidBaseAddress("0"));
  EXPECT_FALSE(console.IsValidBaseAddress("EFFFFFFF"));
  EXPECT_TRUE(console.IsValidAddress("FFFF8000"));
  EXPECT_FALSE(console.IsValidAddress("7FFF"));
}

TEST_F(NorConsole, BeforeInitNothingIsAValidAddress) {
  lx::CNorCommandInterpreter fresh{&fake.driver};
  EXPECT_EQ(fresh.BaseAddress(), 0u);
  EXPECT_EQ(fresh.WindowSize(), 0u);
  EXPECT_FALSE(fresh.IsValidAddress("0"));
  EXPECT_FALSE(fresh.IsValidBaseAddress("0"));
}

TEST_F(NorConsole, LinesLongerThanTheWorkingBufferAreRefused) {
  std::string longest = "disp " + std::string(250, 'a');  // 255 characters: fits
  ASSERT_EQ(longest.size(), 255u);
  EXPECT_EQ(console.ExecuteCommand(longest.c_str()), 0);
  EXPECT_EQ(fake.calls.size(), 1u);

  const std::string tooLong[] = {
      "disp " + std::string(251, 'a'),
      "disp " + std::string(5000, 'a'),
      // Fits as typed, but not once the base address is put in front of the offset.
      "SectorEraseCmd " + std::string(240, '0'),
  };
  for (const std::string& line : tooLong) {
    fake.calls.clear();
    fake.Index() = 0;
    EXPECT_EQ(console.ExecuteCommand(line.c_str()), 0);
    EXPECT_TRUE(fake.calls.empty());
    EXPECT_EQ(fake.Text(), "Command line is too long (at most 255 characters)\n");
  }
  // The same offset with room for the base address runs.
  fake.calls.clear();
  std::string fits = "SectorEraseCmd " + std::string(231, '0');
  EXPECT_EQ(console.ExecuteCommand(fits.c_str()), 0);
  EXPECT_EQ(fake.calls.size(), 1u);
}

// Lines a user (or a pasted file) may type: each is refused or run within every bound, the
// driver's buffer included, while earlier text fills it.
TEST(ConsoleHostileLines, EveryLineKeepsTheBounds) {
  std::string manyWords = "disp", manyRefs = "disp", longRefs = "disp ";
  for (int i = 0; i < 99; ++i) manyWords += " 1";
  for (int i = 0; i < 40; ++i) manyRefs += " $v";
  longRefs += std::string(300, '$');
  const std::string nul("d8 80000000\0 10 garbage", 24);
  struct Case {
    std::string line;
    std::string text;               // what the console itself wrote
    std::vector<std::string> call;  // the words of the one call made, {"-"} for none
  } cases[] = {
      {"disp " + std::string(9995, 'a'), "Command line is too long (at most 255 characters)\n", {"-"}},
      {"disp \"unterminated quote", "", {"\"unterminated", "quote"}},
      {"disp '", "", {"'"}},
      {"r8 FFFFFFFFFFFFFFFFFFFFFFFF", "User-supplied address is invalid!\n", {"-"}},
      {"ResetCmd 100000000000000080000000", "User-supplied base address is invalid!\n", {"-"}},
      {"ResetCmd 0000000000000000000080000000", "", {"0000000000000000000080000000"}},
      {"d8 80000000 FFFFFFFFFFFFFFFFFFFF", "", {"80000000", "FFFFFFFFFFFFFFFFFFFF"}},
      {manyWords, "Expected 1 to 30 parameters\n", {"-"}},
      {manyRefs, "Unknown variable $v\n", {"-"}},
      {longRefs, "Command line is too long (at most 255 characters)\n", {"-"}},
      {"disp " + std::string(200, '$'), "Unknown variable $" + std::string(64, '$') + "\n", {"-"}},
      {nul, "", {"80000000"}},  // a line ends at its first NUL
  };
  FakeDriver fake(1000);
  lx::CNorCommandInterpreter console{&fake.driver};
  console.SetAddressInfo(kBase, kWindow, kScratchpad);
  for (int round = 0; round < 4; ++round) {
    for (const Case& c : cases) {
      const uint32_t before = fake.Index();
      fake.calls.clear();
      ::testing::internal::CaptureStdout();
      EXPECT_EQ(console.ExecuteCommand(c.line.c_str()), 0) << c.line.substr(0, 40);
      ::testing::internal::GetCapturedStdout();
      ASSERT_LT(fake.Index(), 1000u);
      EXPECT_EQ(fake.Buffer()[fake.Index()], 0);
      if (round == 0) {
        EXPECT_EQ(fake.Text().substr(before), c.text) << c.line.substr(0, 40);
      }
      if (c.call == std::vector<std::string>{"-"}) {
        EXPECT_TRUE(fake.calls.empty()) << c.line.substr(0, 40);
      } else {
        ASSERT_EQ(fake.calls.size(), 1u) << c.line.substr(0, 40);
        EXPECT_EQ(fake.calls[0].words, c.call) << c.line.substr(0, 40);
      }
    }
    // Later rounds run on a buffer the driver's reader never emptied: full, and still in bounds.
  }
  EXPECT_EQ(fake.Index(), 999u);
}

TEST_F(NorConsole, DispatchReadsTheCellAtTheMomentOfTheCall) {
  static int swappedCalls;
  swappedCalls = 0;
  ASSERT_EQ(console.ExecuteCommand("GetDeviceId"), 0);
  EXPECT_EQ(fake.calls.size(), 1u);
  fake.replaced[lx::kNorCell_cmd_GetDeviceId] = [](int, char**) { return ++swappedCalls; };
  ASSERT_EQ(console.ExecuteCommand("GetDeviceId"), 0);  // the handler's result is not the console's
  EXPECT_EQ(fake.calls.size(), 1u);
  EXPECT_EQ(swappedCalls, 1);

  char* argv[2] = {nullptr, nullptr};
  EXPECT_EQ(console.DispatchCommand(lx::kNorCommandCount, 0, argv), -1);
  EXPECT_EQ(console.DispatchCommand(-1, 0, argv), -1);
  EXPECT_EQ(fake.calls.size(), 1u);
}

TEST_F(NorConsole, OutputNeverRunsPastTheDriversBuffer) {
  FakeDriver small(32);
  lx::CNorCommandInterpreter tiny{&small.driver};
  tiny.AppendOutput("Command not found\n");  // 18
  tiny.AppendOutput("Command not found\n");  // only 13 more fit before the closing NUL
  EXPECT_EQ(small.Index(), 31u);
  EXPECT_EQ(small.Text(), "Command not found\nCommand not f");
  EXPECT_EQ(small.Buffer()[31], 0);
  tiny.AppendOutput("more");
  EXPECT_EQ(small.Index(), 31u);

  small.Index() = 5000;  // an index a driver left out of bounds
  tiny.AppendOutput("x");
  EXPECT_EQ(small.Index(), 5000u);
  std::string printed;
  tiny.FlushOutput([](void* ctx, const char* t) { *static_cast<std::string*>(ctx) += t; }, &printed);
  EXPECT_EQ(printed.size(), 31u);
  EXPECT_EQ(small.Index(), 0u);

  small.Unbind();
  tiny.AppendOutput("nowhere");
  EXPECT_EQ(tiny.FlushOutput(nullptr, nullptr), 0u);
}

TEST(ConsoleOutput, FlushPrintsLargeTextInBoundedPiecesAndEmptiesTheBuffer) {
  FakeDriver fake(lx::kLldOutputBufferSize);
  lx::CNorCommandInterpreter console{&fake.driver};
  std::string expected;
  for (int i = 0; expected.size() < 200000; ++i) {
    std::string line = "line " + std::to_string(i) + " 0123456789ABCDEF\n";
    console.AppendOutput(line.c_str());
    expected += line;
  }
  ASSERT_EQ(fake.Index(), expected.size());
  struct Sink {
    std::string text;
    size_t pieces = 0, largest = 0;
  } sink;
  size_t printed = console.FlushOutput(
      [](void* ctx, const char* t) {
        Sink* s = static_cast<Sink*>(ctx);
        s->text += t;
        s->pieces++;
        s->largest = std::max(s->largest, std::strlen(t));
      },
      &sink);
  EXPECT_EQ(printed, expected.size());
  EXPECT_EQ(sink.text, expected);
  EXPECT_LT(sink.largest, lx::kConsolePrintPiece);
  EXPECT_GT(sink.pieces, 40u);
  EXPECT_EQ(fake.Index(), 0u);
  EXPECT_EQ(fake.Buffer()[0], 0);

  // Emptying without printing, as after a line the next console takes over.
  console.AppendOutput("Command not found\n");
  EXPECT_EQ(console.FlushOutput(nullptr, nullptr), 0u);
  EXPECT_EQ(fake.Index(), 0u);
}

TEST(ConsoleOutput, FlushStopsAtTheTextsEnd) {
  FakeDriver fake(64);
  lx::CNorCommandInterpreter console{&fake.driver};
  std::memcpy(fake.Buffer(), "abc\0def", 8);
  fake.Index() = 7;
  std::string printed;
  console.FlushOutput([](void* ctx, const char* t) { *static_cast<std::string*>(ctx) += t; }, &printed);
  EXPECT_EQ(printed, "abc");
  EXPECT_EQ(fake.Index(), 0u);
}

TEST_F(VeltanConsole, UsageLinesGoIntoTheDriversBuffer) {
  EXPECT_EQ(console.ExecuteCommand("NaPageReadCmd 0"), 0);
  EXPECT_EQ(fake.Text(), "Expected 3 parameters\ncommand: NaPageReadCmd [base_addr] col_addr row_addr\n");
  fake.Index() = 0;
  EXPECT_EQ(console.ExecuteCommand("NaPageDuplicateProgramOp 70000000 1 2 3 4"), 0);
  EXPECT_EQ(fake.Text(),
            "User-supplied base address is invalid!\ncommand: NaPageDuplicateProgramOp [base_addr] "
            "src_col_addr src_row_addr dest_col_addr dest_row_addr\n");
  EXPECT_TRUE(fake.calls.empty());
  fake.Index() = 0;
  console.Printf("%s %d\n", "value", 42);
  EXPECT_EQ(fake.Text(), "value 42\n");
}

TEST_F(VeltanConsole, ForwardsToItsOwnCells) {
  const ForwardCase cases[] = {
      {"NaResetCmd", lx::kVeltanCell_cmd_NandResetCmd, {"80000000"}},
      {"NaScanBadBlkOp 0 10", lx::kVeltanCell_cmd_NandScanBadBlockOp, {"80000000", "0", "10"}},
      {"NaIsBadBlkOp 7", lx::kVeltanCell_cmd_NandIsBadBlockOp, {"80000000", "7"}},
      {"NaCalcEccOp 1234", lx::kVeltanCell_cmd_NandCalcEccOp, {"1234"}},  // mem_addr is not tested
      {"runallLPN", lx::kVeltanCell_ouv_all_LPN, {}},
      {"RDESPN", lx::kVeltanCell_ouv_RDESPN, {}},
      {"dt", lx::kVeltanCell_cmd_DisplayTrace, {}},
      {"quit", lx::kVeltanCell_cmd_exit, {}},
      {"s32 80000000 80000100 !0", lx::kVeltanCell_cmd_memory_search32, {"80000000", "80000100", "!0"}},
      {"interface raw", -1, {}},
      {"ResetCmd", -1, {}},
  };
  CheckForwarding(console, fake, cases);
}

TEST(ConsoleParsing, CountAndGetParameterSplitAtBlanksAndTabs) {
  struct Case {
    const char* line;
    int count;
    const char* second;
  } cases[] = {
      {"", 0, nullptr},        {"d8", 0, nullptr},          {"d8 ", 0, nullptr},
      {"d8 1", 1, nullptr},    {"d8 1 2", 2, "2"},          {"d8\t1 \t 2  ", 2, "2  "},
      {"  d8 1 2", 2, "2"},    {"d8  10", 1, nullptr},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(CCommandInterpreter::CountParameters(c.line), c.count) << c.line;
    const char* second = CCommandInterpreter::GetParameter(c.line, 2);
    if (c.second)
      EXPECT_STREQ(second, c.second) << c.line;
    else
      EXPECT_EQ(second, nullptr) << c.line;
  }
  EXPECT_EQ(CCommandInterpreter::GetParameter("d8 1", 0), nullptr);
}

TEST(ConsoleParsing, HexParametersAreReadLikeStrtoulOnA32BitTarget) {
  struct Case {
    const char* text;
    uint32_t value;
  } cases[] = {
      {"80000000", 0x80000000u}, {"0x80000000", 0x80000000u}, {"0X1f", 0x1Fu},    {"  1f", 0x1Fu},
      {"12zz", 0x12u},           {"", 0u},                    {"0x", 0u},         {"0xg", 0u},
      {"zz", 0u},                {"-1", 0xFFFFFFFFu},         {"+10", 0x10u},     {"FFFFFFFF", 0xFFFFFFFFu},
      {"100000000", 0xFFFFFFFFu}, {"0000000000000080000000", 0x80000000u},
      {"80000000 10", 0x80000000u},
  };
  for (const Case& c : cases) EXPECT_EQ(lx::ParseConsoleHex(c.text), c.value) << c.text;
  EXPECT_EQ(lx::ParseConsoleHex(nullptr), 0u);
}

// The process-wide NOR console reaches the driver bound into NorDriverApiTable.
uint8_t g_boundBuffer[lx::kLldOutputBufferSize];
uint32_t g_boundIndex;
int g_resetCalls;
int BoundReset(int argc, char** argv) {
  ++g_resetCalls;
  std::string text = "reset " + std::to_string(argc) + " " + argv[1] + "\n";
  std::memcpy(g_boundBuffer + g_boundIndex, text.c_str(), text.size() + 1);
  g_boundIndex += uint32_t(text.size());
  return 0;
}
void* FakeLookup(void*, const char* name) {
  if (!std::strcmp(name, "g_ucBuffer")) return g_boundBuffer;
  if (!std::strcmp(name, "g_ulBufferIndex")) return &g_boundIndex;
  if (!std::strcmp(name, "cmd_ResetCmd")) return reinterpret_cast<void*>(&BoundReset);
  return nullptr;
}

TEST(ProcessConsoles, TheNorConsoleForwardsThroughTheBoundTable) {
  ASSERT_EQ(lx::BindNorDriverApi(&FakeLookup, nullptr), 1);  // most names are missing
  std::lock_guard<std::mutex> lock(lx::ConsoleMutex());
  lx::g_NorCommandInterpreter.SetAddressInfo(kBase, kWindow, kScratchpad);
  EXPECT_EQ(lx::g_NorCommandInterpreter.ExecuteCommand("ResetCmd"), 0);
  EXPECT_EQ(g_resetCalls, 1);
  EXPECT_EQ(lx::g_NorCommandInterpreter.ExecuteCommand("nonsense"), -1);
  std::string printed;
  lx::g_NorCommandInterpreter.FlushOutput(
      [](void* ctx, const char* t) { *static_cast<std::string*>(ctx) += t; }, &printed);
  EXPECT_EQ(printed, "reset 1 80000000\nCommand not found\n");
  EXPECT_EQ(g_boundIndex, 0u);

  // The Veltan console has no driver: its buffer cells are null and nothing is written.
  EXPECT_EQ(lx::g_VeltanCommandInterpreter.ExecuteCommand("nonsense"), -1);
  EXPECT_EQ(lx::g_VeltanCommandInterpreter.FlushOutput(nullptr, nullptr), 0u);
  lx::BindNorDriverApi(nullptr, nullptr);
}

}  // namespace
