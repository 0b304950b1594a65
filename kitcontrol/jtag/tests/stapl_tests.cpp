// The STAPL player against the simulated kit firmware and JTAG target.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "jam_player.h"
#include "sim_link.h"
#include "test_files.h"
#include "test_programs.h"

using lx::jam::JamLimits;
using lx::jam::JamRunResult;

namespace {

struct Outcome {
  int error = 0, line = 0, exitCode = 0, version = 0;
  std::vector<std::string> messages;
  std::string output;
  std::string Printed() const { return messages.empty() ? std::string() : messages.back(); }
};

template <class Host>
struct HarnessOf {
  HarnessOf() = default;
  explicit HarnessOf(const kitsim::JtagTarget::Config& cpld) : sim(3, cpld) {}
  lxtest::SimJtag sim{3};
  Outcome out;
  Host host{sim.link, [this](const std::string& m) { out.messages.push_back(m); },
            [this](const std::string& t) { out.output += t; }};

  Outcome Run(const std::string& program, const std::string& action = "PROGRAM",
              const std::vector<std::string>& init = {}, JamLimits limits = JamLimits()) {
    JamRunResult r = lx::jam::Execute(reinterpret_cast<const uint8_t*>(program.data()), program.size(),
                                      action, init, true, host, limits);
    sim.Finish();
    out.error = r.error;
    out.line = r.line;
    out.exitCode = r.exitCode;
    out.version = r.version;
    return out;
  }
};
using Harness = HarnessOf<lx::jtag::LinkJamHost>;

using lxtest::ReadFile;

std::string V2(const std::string& body) {
  return "ACTION PROGRAM = MAIN;\nPROCEDURE MAIN;\n" + body + "\nENDPROC;\n";
}

Outcome RunV2(const std::string& body) {
  Harness h;
  return h.Run(V2(body));
}

// ---------------------------------------------------------------- expressions

struct ExprCase {
  const char* expr;
  int error;
  const char* printed;
};

class StaplExpression : public ::testing::TestWithParam<ExprCase> {};

TEST_P(StaplExpression, EvaluatesOrFails) {
  const ExprCase& c = GetParam();
  Outcome o = RunV2(std::string("INTEGER B8[8];\nPRINT ") + c.expr + ";");
  EXPECT_EQ(o.error, c.error) << c.expr;
  if (!c.error) {
    EXPECT_EQ(o.Printed(), c.printed) << c.expr;
  }
}

INSTANTIATE_TEST_SUITE_P(
    Table, StaplExpression,
    ::testing::Values(
        ExprCase{"2 + 3 * 4", 0, "14"}, ExprCase{"8 - 2 - 1", 0, "5"}, ExprCase{"1 << 2 + 1", 0, "8"},
        ExprCase{"1 < 2 == 1", 0, "1"}, ExprCase{"7 / 2", 0, "3"}, ExprCase{"CEIL(7 / 2)", 0, "4"},
        ExprCase{"CEIL((7 / 2))", 0, "4"}, ExprCase{"CEIL(7 / 2 + 0)", 0, "3"},
        ExprCase{"LOG2(5)", 0, "3"}, ExprCase{"FLOOR(LOG2(5))", 0, "2"}, ExprCase{"LOG2(4)", 0, "2"},
        ExprCase{"FLOOR(LOG2(4))", 0, "2"}, ExprCase{"LOG2(1)", 0, "0"},
        ExprCase{"SQRT(10)", 0, "3"}, ExprCase{"CEIL(SQRT(10))", 0, "4"}, ExprCase{"CEIL(SQRT(9))", 0, "3"},
        ExprCase{"LOG2(0)", 7, ""}, ExprCase{"SQRT(0 - 1)", 7, ""},
        ExprCase{"2147483647 + 1", 7, ""}, ExprCase{"-2147483647 - 2", 7, ""},
        ExprCase{"65536 * 65536", 7, ""}, ExprCase{"5 % 0", 8, ""}, ExprCase{"5 / 0", 8, ""},
        ExprCase{"-7 % 2", 0, "-1"}, ExprCase{"-7 / 2", 0, "-3"}, ExprCase{"-8 >> 1", 0, "-4"},
        ExprCase{"~0", 0, "-1"}, ExprCase{"6 & 3 ^ 1 | 8", 0, "11"}, ExprCase{"ABS(-5)", 0, "5"},
        ExprCase{"!(1 == 2) && 1", 0, "1"}, ExprCase{"1 || 0 AND 0", 0, "1"},
        // INT_MIN / -1 and its remainder overflow like every other out-of-range result.
        ExprCase{"(-2147483647 - 1) / -1", 7, ""}, ExprCase{"(-2147483647 - 1) % -1", 7, ""},
        ExprCase{"-(-2147483647 - 1)", 7, ""}, ExprCase{"ABS(-2147483647 - 1)", 7, ""},
        // Literals beyond 32 bits are refused instead of wrapping.
        ExprCase{"2147483648", 7, ""}, ExprCase{"99999999999", 7, ""},
        // CEIL and FLOOR of divisions round toward the right side also for negative quotients.
        ExprCase{"CEIL(-7 / 2)", 0, "-3"}, ExprCase{"FLOOR(-7 / 2)", 0, "-4"},
        ExprCase{"FLOOR(7 / 2)", 0, "3"}, ExprCase{"CEIL(8 / 2)", 0, "4"},
        ExprCase{"INTEGER(#101)", 0, "5"}, ExprCase{"INTEGER($A5)", 0, "165"},
        ExprCase{"INTEGER($1F)", 0, "31"}, ExprCase{"INTEGER($10 + 1)", 0, "17"},
        ExprCase{"INTEGER($FFFFFFFF)", 0, "-1"}, ExprCase{"INTEGER($1FFFFFFFF)", 7, ""},
        ExprCase{"INTEGER($1G)", 3, ""},
        ExprCase{"INTEGER(#102)", 3, ""}, ExprCase{"#101", 3, ""}, ExprCase{"1 +", 3, ""},
        ExprCase{"(1", 3, ""}, ExprCase{"NOSUCH + 1", 5, ""}, ExprCase{"B8[8]", 11, ""},
        ExprCase{"B8[-1]", 11, ""}, ExprCase{"B8", 3, ""}, ExprCase{"MAIN", 3, ""},
        ExprCase{"(((((((((((((((((((((((((((((((((((((((((((((((((((((((((((((((((((((((((((((((((("
                 "(((((((((((((((((((((((((((((((((((((((((((((((((((((((((((((((((((((((((((1",
                 3, ""}));

TEST(Stapl, ExpressionTypes) {
  // An integer variable is not a condition, even when it holds 1; the literal 1 is.
  EXPECT_EQ(RunV2("INTEGER I = 1;\nIF I THEN EXIT 3;").error, 12);
  EXPECT_EQ(RunV2("IF 1 THEN EXIT 3;").exitCode, 3);
  EXPECT_EQ(RunV2("BOOLEAN B = 1;\nINTEGER I = 1;\nBOOLEAN C = B == I;").error, 12);
  EXPECT_EQ(RunV2("BOOLEAN B = 1;\nBOOLEAN C = B == 1;\nIF C THEN EXIT 4;").exitCode, 4);
  EXPECT_EQ(RunV2("BOOLEAN B = 1 < 2 == 1;\nIF B THEN EXIT 5;").exitCode, 5);
  EXPECT_EQ(RunV2("INTEGER I = 1 < 2;").error, 12);
  EXPECT_EQ(RunV2("BOOLEAN B = 2;").error, 12);
}

TEST(Stapl, IntegerOfBooleanRanges) {
  const std::string decl = "BOOLEAN B[8];\nB[0] = 1;\nB[7] = 1;\n";
  EXPECT_EQ(RunV2(decl + "PRINT INTEGER(B[7..0]);").Printed(), "129");
  EXPECT_EQ(RunV2(decl + "PRINT INTEGER(B[0..7]);").Printed(), "129");
  const std::string one = "BOOLEAN B[8];\nB[0] = 1;\n";
  EXPECT_EQ(RunV2(one + "PRINT INTEGER(B[7..0]);").Printed(), "1");
  EXPECT_EQ(RunV2(one + "PRINT INTEGER(B[0..7]);").Printed(), "128");
  EXPECT_EQ(RunV2(one + "PRINT INTEGER(B[]);").Printed(), "1");
  EXPECT_EQ(RunV2(one + "PRINT INTEGER(B[8..0]);").error, 11);
}

// ---------------------------------------------------------------- symbols and arrays

TEST(Stapl, SymbolNames) {
  std::string n32(32, 'A'), n33(33, 'A');
  EXPECT_EQ(RunV2("INTEGER " + n32 + " = 7;\nPRINT " + n32 + ";").Printed(), "7");
  EXPECT_EQ(RunV2("INTEGER " + n33 + " = 7;").error, 17);
  EXPECT_EQ(RunV2("INTEGER ;").error, 17);
  EXPECT_EQ(RunV2(n33 + ": EXIT 0;").error, 17);
  Outcome twice = RunV2("L1: PRINT 1;\nL1: PRINT 2;");
  EXPECT_EQ(twice.error, 6);
  EXPECT_EQ(twice.line, 4);
  // The same declaration running again (a loop) is no redefinition.
  EXPECT_EQ(RunV2("INTEGER I;\nFOR I = 0 TO 2;\nINTEGER J = I;\nBOOLEAN K[4] = $F;\nNEXT I;\nPRINT J;").Printed(), "2");
}

TEST(Stapl, BooleanLiteralsAndRanges) {
  EXPECT_EQ(RunV2("BOOLEAN A[8] = $A5;\nPRINT A[0], A[1], A[2], A[3], A[4], A[5], A[6], A[7];").Printed(),
            "10100101");
  EXPECT_EQ(RunV2("BOOLEAN A[4] = #0011;\nPRINT A[0], A[1], A[2], A[3];").Printed(), "1100");
  EXPECT_EQ(RunV2("BOOLEAN A[4] = $a;\nPRINT A[0], A[1], A[2], A[3];").Printed(), "0101");
  EXPECT_EQ(RunV2("BOOLEAN X[32];\nX[31..0] = BOOL(5);\nPRINT INTEGER(X[31..0]), X[0], X[1], X[2];").Printed(),
            "5101");
  EXPECT_EQ(RunV2("BOOLEAN X[8];\nX[7..0] = $3C;\nPRINT INTEGER(X[7..0]);").Printed(), "60");
  // Initial data that does not fit the array is refused, not cut.
  EXPECT_EQ(RunV2("BOOLEAN A[4] = #10011;").error, 11);
  EXPECT_EQ(RunV2("BOOLEAN A[4] = $1F;").error, 11);
  EXPECT_EQ(RunV2("BOOLEAN A[4] = $G;").error, 3);
  EXPECT_EQ(RunV2("BOOLEAN A[8] = $A5;\nA[0] = 0;").error, 13);
  // The last value listed is element 0.
  EXPECT_EQ(RunV2("INTEGER V[3] = 1, 2, 3;\nV[1] = 9;\nPRINT V[0], V[1], V[2];").Printed(), "391");
  EXPECT_EQ(RunV2("INTEGER V[2] = 1, 2, 3;").error, 11);
  EXPECT_EQ(RunV2("BOOLEAN X[8];\nX[0..7] = $FF;").error, 11);  // [0..7] is an empty range here
  EXPECT_EQ(RunV2("BOOLEAN X[8];\nX[8..0] = $FF;").error, 11);
  // Negative and huge sizes give codes, not crashes or giant allocations.
  EXPECT_EQ(RunV2("INTEGER V[-1];").error, 11);
  EXPECT_EQ(RunV2("INTEGER V[2147483647];").error, 1);
  EXPECT_EQ(RunV2("BOOLEAN V[2147483647];").error, 1);
}

// A Boolean array declared with initial data takes captured bits and range assignments like any
// other Boolean array (programs preset their capture arrays that way); only assigning one of its
// elements is refused.
TEST(Stapl, ArraysDeclaredWithInitialData) {
  struct Case {
    const char* body;
    int error;
    const char* printed;
  } cases[] = {
      {"BOOLEAN A[8] = $FF;\nIRSCAN 8, $00, CAPTURE A[7..0];\nPRINT INTEGER(A[7..0]);", 0, "1"},
      {"BOOLEAN A[40] = $FFFFFFFFFF;\nDRSCAN 32, $00000000, CAPTURE A[35..4];\nPRINT INTEGER(A[35..4]), \",\", INTEGER(A[3..0]), \",\", INTEGER(A[39..36]);",
       0, "443175107,15,15"},
      {"BOOLEAN A[8] = $FF;\nA[3..0] = $5;\nPRINT INTEGER(A[7..0]);", 0, "245"},
      {"BOOLEAN A[8] = $FF;\nA[] = $00;\nPRINT INTEGER(A[7..0]);", 0, "0"},
      {"BOOLEAN A[8] = $FF;\nA[0] = 0;", 13, ""},
      {"BOOLEAN A[8] = $FF;\nPUSH 0;\nPOP A[0];", 13, ""},
      {"BOOLEAN A[8] = $FF;\nDRSCAN 8, $00, CAPTURE A[8..1];", 11, ""},
  };
  for (const Case& c : cases) {
    Outcome o = RunV2(c.body);
    EXPECT_EQ(o.error, c.error) << c.body;
    if (!c.error) {
      EXPECT_EQ(o.Printed(), c.printed) << c.body;
    }
  }
}

// Compressed literals: 6-bit symbols, a 32-bit length, then literal triples and back-references.
// `overrun` states that many bytes fewer than the stream writes, as makers' tools do when the
// last back-reference runs past the end of the data.
std::string Compress(const std::vector<uint8_t>& bytes, bool useBackref, uint32_t overrun = 0) {
  std::vector<int> bits;
  auto put = [&bits](uint32_t v, int n) {
    for (int i = 0; i < n; ++i) bits.push_back((v >> i) & 1);
  };
  put(static_cast<uint32_t>(bytes.size()) - overrun, 32);
  size_t i = 0;
  while (i < bytes.size()) {
    if (useBackref && i >= 3 && bytes[i] == bytes[i - 3]) {
      size_t len = 0;
      while (i + len < bytes.size() && bytes[i + len] == bytes[i + len - 3] && len < 255) ++len;
      uint32_t w = static_cast<uint32_t>(std::min<size_t>(i, 8191));
      int width = 1;
      while (width < 32 && (w >> width)) ++width;
      put(1, 1);
      put(3, width);
      put(static_cast<uint32_t>(len), 8);
      i += len;
    } else {
      put(0, 1);
      for (int k = 0; k < 3 && i < bytes.size(); ++k) put(bytes[i++], 8);
    }
  }
  while (bits.size() % 6) bits.push_back(0);
  const char* alphabet = "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz_@";
  std::string out;
  for (size_t k = 0; k < bits.size(); k += 6) {
    int v = 0;
    for (int b = 0; b < 6; ++b) v |= bits[k + b] << b;
    out.push_back(alphabet[v]);
  }
  return out;
}

TEST(Stapl, CompressedLiterals) {
  std::vector<uint8_t> data = {0x12, 0x34, 0x56, 0x12, 0x34, 0x56, 0x12, 0x34, 0x56, 0x78};
  for (bool backref : {false, true}) {
    std::string lit = Compress(data, backref);
    Outcome o = RunV2("BOOLEAN A[80] = @" + lit + ";\nPRINT INTEGER(A[7..0]), \",\", INTEGER(A[79..72]), \",\", INTEGER(A[31..24]);");
    EXPECT_EQ(o.error, 0) << lit;
    EXPECT_EQ(o.Printed(), "18,120,18");
  }
  // Version 1 writes the same data after the word ACA.
  Harness v1;
  Outcome o1 = v1.Run("BOOLEAN A[80] = ACA " + Compress(data, true) + ";\nLET A[0] = A[0];\n"
                      "PRINT INTEGER(A[0..7]);\nEXIT 0;\n");
  EXPECT_EQ(o1.error, 13);  // the array is constant
  Harness v1b;
  o1 = v1b.Run("BOOLEAN A[80] = ACA " + Compress(data, true) + ";\nBOOLEAN B = A[1];\nPRINT B, A[4];\nEXIT 0;\n");
  EXPECT_EQ(o1.error, 0);
  EXPECT_EQ(o1.Printed(), "11");  // 0x12: bit 1 and bit 4 set
  // A back-reference in front of the output, a short stream and a wrong stated length.
  std::string cut = Compress(data, true);
  cut.resize(cut.size() - 3);
  EXPECT_EQ(RunV2("BOOLEAN A[80] = @" + cut + ";").error, 3);
  std::vector<int> bits;
  std::string bad;
  {
    // length 4, then a back-reference (flag 1, width 1, offset 1) with nothing written yet.
    std::vector<int> b;
    auto put = [&b](uint32_t v, int n) { for (int i = 0; i < n; ++i) b.push_back((v >> i) & 1); };
    put(4, 32); put(1, 1); put(1, 1); put(4, 8);
    while (b.size() % 6) b.push_back(0);
    const char* alphabet = "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz_@";
    for (size_t k = 0; k < b.size(); k += 6) {
      int v = 0;
      for (int i = 0; i < 6; ++i) v |= b[k + i] << i;
      bad.push_back(alphabet[v]);
    }
  }
  EXPECT_EQ(RunV2("BOOLEAN A[32] = @" + bad + ";").error, 11);
  EXPECT_EQ(RunV2("BOOLEAN A[16] = @" + Compress(data, true) + ";").error, 11);  // stated 80 bits
  EXPECT_EQ(RunV2("BOOLEAN A[16] = @ab!;").error, 3);
}

TEST(Stapl, ControlStack) {
  std::string push128, push129;
  for (int i = 0; i < 128; ++i) push128 += "PUSH " + std::to_string(i) + ";\n";
  Harness v1;  // no procedure: all 128 entries are free
  Outcome ok = v1.Run("BOOLEAN V1;\nINTEGER T;\n" + push128 + "POP T;\nPRINT T;\nEXIT 0;\n");
  EXPECT_EQ(ok.error, 0);
  EXPECT_EQ(ok.Printed(), "127");
  Harness v1b;
  EXPECT_EQ(v1b.Run("BOOLEAN V1;\n" + push128 + "PUSH 1;\n").error, 1);
  EXPECT_EQ(RunV2(push128).error, 1);  // the procedure's return entry is one of them
  EXPECT_EQ(RunV2("INTEGER T;\nPOP T;").error, 15);
  EXPECT_EQ(RunV2("PUSH 2;\nBOOLEAN B;\nPOP B;").error, 12);
  EXPECT_EQ(RunV2("PUSH 1;\nBOOLEAN B;\nPOP B;\nIF B THEN EXIT 6;").exitCode, 6);
  // Nested loops, values and calls share the 128 entries.
  std::string loops = "INTEGER I;\n";
  for (int i = 0; i < 130; ++i) loops += "FOR I = 0 TO 1;\n";
  EXPECT_EQ(RunV2(loops).error, 1);
}

// ---------------------------------------------------------------- statements

TEST(Stapl, ForLoops) {
  EXPECT_EQ(RunV2("INTEGER I;\nINTEGER N = 0;\nFOR I = 5 TO 1;\nN = N + 1;\nNEXT I;\nPRINT N, \",\", I;").Printed(), "1,5");
  EXPECT_EQ(RunV2("INTEGER I;\nINTEGER N = 0;\nFOR I = 0 TO 3;\nN = N + 1;\nNEXT I;\nPRINT N, \",\", I;").Printed(), "4,3");
  EXPECT_EQ(RunV2("INTEGER I;\nINTEGER N = 0;\nFOR I = 6 TO 0 STEP -2;\nN = N + 1;\nNEXT I;\nPRINT N, \",\", I;").Printed(), "4,0");
  EXPECT_EQ(RunV2("INTEGER I;\nFOR I = 0 TO 3 STEP 0;\nNEXT I;").error, 3);
  EXPECT_EQ(RunV2("INTEGER I;\nINTEGER J;\nFOR I = 0 TO 3;\nNEXT J;").error, 14);
  EXPECT_EQ(RunV2("BOOLEAN B;\nFOR B = 0 TO 1;\nNEXT B;").error, 12);
  // The step past the end of the integer range overflows instead of wrapping forever.
  EXPECT_EQ(RunV2("INTEGER I;\nFOR I = 2147483646 TO 2147483647 STEP 5;\nNEXT I;").error, 7);
}

TEST(Stapl, AssignmentForms) {
  EXPECT_EQ(RunV2("INTEGER A;\nLET A = 1;").error, 3);
  EXPECT_EQ(RunV2("INTEGER A;\nA = 1;\nPRINT A;").Printed(), "1");
  Harness h;
  EXPECT_EQ(h.Run("INTEGER A;\nA = 1;\n").error, 3);  // version 1 needs LET
  Harness h2;
  Outcome v1 = h2.Run("INTEGER A;\nLET A = 4;\nPRINT A;\nEXIT 0;\n");
  EXPECT_EQ(v1.error, 0);
  EXPECT_EQ(v1.version, 1);
  EXPECT_EQ(v1.Printed(), "4");
}

TEST(Stapl, InitListAndHostStatements) {
  // Version 1: a declared variable named in the init list takes the list's value.
  Harness h;
  Outcome o = h.Run("BOOLEAN V1;\nINTEGER DO_PROGRAM = 0;\nINTEGER OTHER = 4;\nPRINT DO_PROGRAM, OTHER;\nEXIT 0;\n",
                    "PROGRAM", {"do_program = -7", "OTHER"});
  EXPECT_EQ(o.Printed(), "-74");
  EXPECT_EQ(RunV2("FREQUENCY 1000000;\nFREQUENCY;\nEXPORT \"KEY\", 5;").error, 0);
  EXPECT_EQ(RunV2("EXPORT KEY, 5;").error, 3);
  EXPECT_EQ(RunV2("VMAP \"TDI\", \"**TCK**\";").error, 18);
  EXPECT_EQ(RunV2("VMAP \"**TDI**\", \"dclk\";").error, 0);
  EXPECT_EQ(RunV2("VMAP \"\";").error, 3);
  // No serial adapter is ever opened: vectors cannot be driven.
  EXPECT_EQ(RunV2("VMAP \"**TDI**\";\nVECTOR #1, #0;").error, 10);
  EXPECT_EQ(RunV2("TRST 10 CYCLES;").error, 0);
  EXPECT_EQ(RunV2("REM anything at all;").error, 0);
}

TEST(Stapl, ExitCodes) {
  EXPECT_EQ(RunV2("EXIT 32768;").error, 7);
  EXPECT_EQ(RunV2("EXIT -32768;").error, 7);
  Outcome o = RunV2("EXIT -32767;");
  EXPECT_EQ(o.error, 0);
  EXPECT_EQ(o.exitCode, -32767);
  EXPECT_EQ(RunV2("PRINT \"A\";").exitCode, 0);
}

TEST(Stapl, JumpsAndLabels) {
  EXPECT_EQ(RunV2("BOOLEAN X = 1;\nIF X THEN GOTO L1;\nEXIT 1;\nL1: EXIT 2;").exitCode, 2);
  EXPECT_EQ(RunV2("BOOLEAN X = 0;\nIF X THEN GOTO L1;\nEXIT 1;\nL1: EXIT 2;").exitCode, 1);
  EXPECT_EQ(RunV2("GOTO NOWHERE;").error, 5);
  EXPECT_EQ(RunV2("IF 1 THEN IF 1 THEN EXIT 9;").exitCode, 9);
  EXPECT_EQ(RunV2("IF 1 EXIT 9;").error, 3);
  std::string chain;
  for (int i = 0; i < 200000; ++i) chain += "IF 1 THEN ";
  EXPECT_EQ(RunV2(chain + "EXIT 8;").exitCode, 8);
  // A label defined later in another procedure is out of reach: the search stops at ENDPROC.
  Harness h;
  Outcome o = h.Run("ACTION PROGRAM = A;\nPROCEDURE A;\nGOTO LB;\nENDPROC;\nPROCEDURE B;\nLB: EXIT 1;\nENDPROC;\n");
  EXPECT_EQ(o.error, 5);
}

TEST(Stapl, StepBudgetEndsEndlessPrograms) {
  Harness h;
  JamLimits lim;
  lim.stepBudget = 10000;
  Outcome o = h.Run(V2("L: GOTO L;"), "PROGRAM", {}, lim);
  EXPECT_EQ(o.error, 19);
  Harness h2;
  o = h2.Run(V2("WAIT 2000000000 CYCLES;"), "PROGRAM", {}, lim);
  EXPECT_EQ(o.error, 19);
}

// The budget bounds the work between two scans, not the run: a program that keeps shifting data
// runs to its end however long it is, and a loop that shifts nothing is stopped, also after scans.
TEST(Stapl, StepBudgetStopsOnlyLoopsWithoutScans) {
  JamLimits lim;
  lim.stepBudget = 10000;
  struct Case {
    const char* what;
    const char* body;
    int error;
  } cases[] = {
      {"scans in a long loop", "INTEGER I;\nFOR I = 0 TO 4999;\nDRSCAN 8, $A5;\nWAIT 3 CYCLES;\nNEXT I;\nPRINT I;", 0},
      {"long scans", "INTEGER I;\nBOOLEAN B[4000];\nFOR I = 0 TO 9;\nDRSCAN 4000, B[];\nNEXT I;\nPRINT I;", 0},
      {"a jump loop after scans", "IRSCAN 8, $01;\nDRSCAN 32, $00000000;\nL: GOTO L;", 19},
      {"a wait loop after scans", "IRSCAN 8, $01;\nL: WAIT 5 CYCLES;\nGOTO L;", 19},
      {"a state loop", "L: STATE IDLE;\nGOTO L;", 19},
      {"a counting loop", "INTEGER I;\nFOR I = 0 TO 100000;\nNEXT I;", 19},
  };
  for (const Case& c : cases) {
    Harness h;
    Outcome o = h.Run(V2(c.body), "PROGRAM", {}, lim);
    EXPECT_EQ(o.error, c.error) << c.what;
    if (!c.error) {
      EXPECT_NE(o.Printed(), "") << c.what;
    }
  }
}

TEST(Stapl, ProceduresDataAndScope) {
  Harness h;
  Outcome o = h.Run(
      "ACTION PROGRAM = A, B;\n"
      "DATA D;\nINTEGER RUNS = 0;\nENDDATA;\n"
      "PROCEDURE A USES D;\nPRINT \"A\", RUNS;\nENDPROC;\n"
      "PROCEDURE B USES D, C;\nCALL C;\nPRINT \"B\", RUNS;\nENDPROC;\n"
      "PROCEDURE C;\nPRINT \"C\";\nENDPROC;\n");
  EXPECT_EQ(o.error, 0);
  ASSERT_EQ(o.messages.size(), 3u);
  EXPECT_EQ(o.messages[0], "A0");
  EXPECT_EQ(o.messages[1], "C");
  EXPECT_EQ(o.messages[2], "B0");

  // The data block runs once even though two procedures use it.
  Harness h2;
  o = h2.Run(
      "ACTION PROGRAM = A, B;\n"
      "DATA D;\nINTEGER N[1];\nENDDATA;\n"
      "PROCEDURE A USES D;\nN[0] = N[0] + 1;\nENDPROC;\n"
      "PROCEDURE B USES D;\nN[0] = N[0] + 1;\nPRINT N[0];\nENDPROC;\n");
  EXPECT_EQ(o.error, 0);
  EXPECT_EQ(o.Printed(), "2");

  Harness h3;
  o = h3.Run("ACTION PROGRAM = A;\nPROCEDURE A;\nCALL B;\nENDPROC;\nPROCEDURE B;\nENDPROC;\n");
  EXPECT_EQ(o.error, 23);
  Harness h4;
  o = h4.Run("ACTION PROGRAM = A;\nPROCEDURE A USES B;\nINTEGER X = 1;\nCALL B;\nENDPROC;\n"
             "PROCEDURE B;\nPRINT X;\nENDPROC;\n");
  EXPECT_EQ(o.error, 23);  // A's variable is not B's
  Harness h5;
  o = h5.Run("ACTION PROGRAM = A OPTIONAL, B RECOMMENDED, C;\n"
             "PROCEDURE A;\nPRINT \"A\";\nENDPROC;\nPROCEDURE B;\nPRINT \"B\";\nENDPROC;\n"
             "PROCEDURE C;\nPRINT \"C\";\nENDPROC;\n",
             "PROGRAM", {"A=1", "B=0"});
  ASSERT_EQ(o.messages.size(), 2u);
  EXPECT_EQ(o.messages[0], "A");
  EXPECT_EQ(o.messages[1], "C");
  Harness h6;
  EXPECT_EQ(h6.Run("ACTION PROGRAM = A SOMETIMES;\nPROCEDURE A;\nENDPROC;\n").error, 3);
}

TEST(Stapl, ActionsAndPhases) {
  Harness h;
  Outcome o = h.Run("ACTION VERIFY = A;\nPROCEDURE A;\nENDPROC;\n");
  EXPECT_EQ(o.error, 24);
  EXPECT_EQ(o.line, 2);
  Harness h2;
  o = h2.Run("ACTION VERIFY = A;\nDATA X;\nENDDATA;\n");
  EXPECT_EQ(o.error, 24);
  Harness h3;
  EXPECT_EQ(h3.Run("NOTE \"X\" \"Y\";\nACTION PROGRAM = A;\nNOTE \"late\";\nPROCEDURE A;\nENDPROC;\n").error, 0);
  Harness h4;
  EXPECT_EQ(h4.Run("ACTION PROGRAM = A;\nPROCEDURE A;\nNOTE \"X\";\nENDPROC;\n").error, 22);
  // Exit from an inner procedure ends the action: later procedures do not run.
  Harness h5;
  o = h5.Run("ACTION PROGRAM = A, B;\nPROCEDURE A;\nEXIT 11;\nENDPROC;\nPROCEDURE B;\nPRINT \"B\";\nENDPROC;\n");
  EXPECT_EQ(o.exitCode, 11);
  EXPECT_TRUE(o.messages.empty());
  // Version 1 ignores the action name and runs from the top.
  Harness h6;
  o = h6.Run("BOOLEAN X;\nPRINT \"one\";\nEXIT 0;\n", "WHATEVER");
  EXPECT_EQ(o.error, 0);
  EXPECT_EQ(o.Printed(), "one");
  Harness h7;
  EXPECT_EQ(h7.Run("BOOLEAN X;\nPRINT \"one\";\n").error, 4);  // runs past the last statement
}

TEST(Stapl, PrintItems) {
  EXPECT_EQ(RunV2("PRINT \"a:b;'c\", CHR$(65), CHR$(200), 1 + 1;").Printed(), "a:b;'cA\x7f" "2");
  EXPECT_EQ(RunV2("PRINT \"open;").error, 4);
  EXPECT_EQ(RunV2("PRINT \"a\" \"b\";").error, 3);
  EXPECT_EQ(RunV2("PRINT \"a\",;").error, 3);
  // Comments and case: strings keep theirs, the rest is upper-cased.
  EXPECT_EQ(RunV2("integer x = 2; ' comment; with \"quote\"\nprint \"Mixed\", x;").Printed(), "Mixed2");
}

TEST(Stapl, LongBooleanInitialDataIsNotCut) {
  // A statement far longer than 1,024 bytes of initial data still reaches the array whole.
  std::string hex(3000, 'F');
  hex[0] = '8';
  Outcome o = RunV2("BOOLEAN A[12000] = $" + hex + ";\nPRINT A[11999], A[11998], A[0];");
  EXPECT_EQ(o.error, 0);
  EXPECT_EQ(o.Printed(), "101");
}

TEST(Stapl, ErrorLines) {
  Outcome o = RunV2("PRINT 1;\n\n  PRINT 1 +;");
  EXPECT_EQ(o.error, 3);
  EXPECT_EQ(o.line, 5);
}

// ---------------------------------------------------------------- JTAG

TEST(StaplJtag, IdcodeCompareAndCapture) {
  Harness h;
  Outcome o = h.Run(V2(
      "BOOLEAN OK;\nBOOLEAN ID[32];\n"
      "IRSCAN 8, $01;\n"
      "DRSCAN 32, $00000000, CAPTURE ID[31..0];\n"
      "DRSCAN 8, $A5, COMPARE $C3, $FF, OK;\n"
      "IF !OK THEN EXIT 2;\n"
      "DRSCAN 8, $A5, COMPARE $C2, $FE, OK;\n"
      "IF !OK THEN EXIT 3;\n"
      "DRSCAN 8, $A5, COMPARE $C2, $FF, OK;\n"
      "IF OK THEN EXIT 4;\n"
      "PRINT INTEGER(ID[31..16]), \",\", INTEGER(ID[15..0]);\n"));
  EXPECT_EQ(o.error, 0);
  EXPECT_EQ(o.exitCode, 0);
  EXPECT_EQ(o.Printed(), "6762,20675");  // 0x1A6A, 0x50C3
  EXPECT_EQ(h.sim.engine.ProtocolErrors(), 0u);
}

TEST(StaplJtag, TraceOfAnInstructionScan) {
  Harness h;
  Outcome o = h.Run(V2("IRSCAN 8, $22;"));
  ASSERT_EQ(o.error, 0);
  const auto& log = h.sim.cpld.Log();
  // Reset from the unknown state, one clock in Idle (the move to the state it is in), the path
  // to Shift-IR, 8 bits with TMS 1 on the last, Pause-IR, then to Idle (IRSTOP) and the reset at
  // the end of the run.
  std::string tms, tdi;
  for (const auto& r : log) tms += char('0' + r.tms), tdi += char('0' + r.tdi);
  EXPECT_EQ(tms.substr(0, 7), "1111100");
  EXPECT_EQ(tms.substr(7, 4 + 8 + 1), "1100" "00000001" "0");
  EXPECT_EQ(tdi.substr(11, 8), "01000100");  // 0x22, least significant bit first
  EXPECT_EQ(tms.substr(20, 3), "110");       // Pause-IR -> Idle
  EXPECT_EQ(tms.substr(23), "111110");
  EXPECT_EQ(h.sim.cpld.Instruction(), kitsim::kIrIdcode);  // reset at the end
}

TEST(StaplJtag, PaddingAndStopStates) {
  Harness h;
  Outcome o = h.Run(V2("PREIR 2;\nPOSTIR 3, #101;\nIRSTOP IRPAUSE;\nIRSCAN 3, #010;\nSTATE IDLE;"));
  ASSERT_EQ(o.error, 0);
  std::string tdi;
  for (const auto& r : h.sim.cpld.Log())
    if (r.state == kitsim::kTapIrShift) tdi += char('0' + r.tdi);
  EXPECT_EQ(tdi, "11" "010" "101");
  EXPECT_EQ(RunV2("PREDR 1001;").error, 3);
  EXPECT_EQ(RunV2("PREDR 9, $FF;").error, 11);
}

TEST(StaplJtag, ScanArgumentChecks) {
  EXPECT_EQ(RunV2("BOOLEAN A[8];\nDRSCAN 8, A[0..7];").error, 11);
  EXPECT_EQ(RunV2("BOOLEAN A[8];\nDRSCAN 8, A[7..0];").error, 0);
  EXPECT_EQ(RunV2("DRSCAN -1, $FF;").error, 11);
  EXPECT_EQ(RunV2("DRSCAN 9, $FF;").error, 11);
  EXPECT_EQ(RunV2("BOOLEAN A[8];\nDRSCAN 8, $FF, CAPTURE A[6..0];").error, 11);
  EXPECT_EQ(RunV2("DRSCAN 8, $FF, CAPTURE $FF;").error, 3);
  EXPECT_EQ(RunV2("INTEGER R;\nDRSCAN 8, $FF, COMPARE $FF, $FF, R;").error, 12);
  EXPECT_EQ(RunV2("BOOLEAN R;\nDRSCAN 8, $FF, CHECK $FF, $FF, R;").error, 3);
  EXPECT_EQ(RunV2("DRSCAN 8, A5;").error, 3);
  EXPECT_EQ(RunV2("STATE IDLE NOWHERE;").error, 3);
  EXPECT_EQ(RunV2("DRSTOP SOMEWHERE;").error, 3);
  EXPECT_EQ(RunV2("WAIT IDLE;").error, 3);
  EXPECT_EQ(RunV2("WAIT IDLE, 10 CYCLES, DRPAUSE, IDLE;").error, 3);
  EXPECT_EQ(RunV2("WAIT -5 CYCLES;").error, 11);
}

TEST(StaplJtag, LongCaptureIsSplitAcrossAnswers) {
  // 1,200 bits of BYPASS: every TDI bit comes back one clock later.
  Harness h;
  std::string pattern;
  for (int i = 0; i < 300; ++i) pattern += "C3A5F01E"[i % 8];
  Outcome o = h.Run(V2("BOOLEAN C[1200];\nIRSCAN 8, $FF;\nDRSCAN 1200, $" + pattern +
                       ", CAPTURE C[1199..0];\nBOOLEAN OK = 1;\nINTEGER I;\n"
                       "FOR I = 1 TO 1199;\nBOOLEAN D[1200] = $" + pattern + ";\n"
                       "IF C[I] != D[I - 1] THEN OK = 0;\nNEXT I;\nIF !OK THEN EXIT 1;\nPRINT C[0];"));
  EXPECT_EQ(o.error, 0);
  EXPECT_EQ(o.exitCode, 0);
  EXPECT_EQ(o.Printed(), "0");  // BYPASS captures 0
  EXPECT_EQ(h.sim.engine.ProtocolErrors(), 0u);
}

TEST(StaplJtag, MissingTdoAnswerIsAnError) {
  Harness h;
  h.sim.engine.DropAnswers(1);
  EXPECT_EQ(h.Run(V2("BOOLEAN A[8];\nDRSCAN 8, $FF, CAPTURE A[7..0];")).error, 10);
  Harness h2;
  h2.sim.engine.ShortAnswers(1);
  EXPECT_EQ(h2.Run(V2("BOOLEAN A[8];\nDRSCAN 8, $FF, CAPTURE A[7..0];")).error, 10);
}

// A serial adapter stand-in: every mapped signal reads back what it drives, inputs read 0.
class EchoVectorHost : public lx::jtag::LinkJamHost {
 public:
  using LinkJamHost::LinkJamHost;
  bool VectorSignalKnown(const std::string&) override { return true; }
  int VectorIo(int32_t count, const uint8_t* dir, const uint8_t* data, uint8_t* capture) override {
    ++calls;
    if (capture)
      for (int32_t i = 0; i < (count + 7) / 8; ++i) capture[i] = data[i] & dir[i];
    return count;
  }
  int calls = 0;
};

TEST(StaplJtag, VectorCaptureAndCompare) {
  const std::string map = "VMAP \"A\", \"B\", \"C\", \"D\", \"E\", \"F\", \"G\", \"H\";\n";
  struct Case {
    const char* body;
    int error, exitCode, calls;
    const char* printed;
  } cases[] = {
      {"BOOLEAN C[8] = $FF;\nVECTOR $0F, $A5, CAPTURE C[7..0];\nPRINT INTEGER(C[7..0]);", 0, 0, 1, "5"},
      {"BOOLEAN OK;\nVECTOR $FF, $A5, COMPARE $A5, $FF, OK;\nIF OK THEN EXIT 5;", 0, 5, 1, ""},
      {"BOOLEAN OK;\nVECTOR $0F, $A5, COMPARE $A5, $F0, OK;\nIF !OK THEN EXIT 6;", 0, 6, 1, ""},
      {"BOOLEAN OK;\nVECTOR $0F, $A5, COMPARE $A5, $0F, OK;\nIF OK THEN EXIT 7;", 0, 7, 1, ""},
      {"VECTOR $FF, $A5;", 0, 0, 1, ""},
      // Bad tails are refused before the adapter is driven.
      {"BOOLEAN C[8];\nVECTOR $FF, $A5, CAPTURE C[6..0];", 11, 0, 0, ""},
      {"BOOLEAN C[8];\nVECTOR $FF, $A5, READ C[7..0];", 3, 0, 0, ""},
      {"INTEGER R;\nVECTOR $FF, $A5, COMPARE $A5, $FF, R;", 12, 0, 0, ""},
  };
  for (const Case& c : cases) {
    HarnessOf<EchoVectorHost> h;
    Outcome o = h.Run(V2(map + c.body));
    EXPECT_EQ(o.error, c.error) << c.body;
    EXPECT_EQ(o.exitCode, c.exitCode) << c.body;
    EXPECT_EQ(h.host.calls, c.calls) << c.body;
    if (*c.printed) {
      EXPECT_EQ(o.Printed(), c.printed) << c.body;
    }
  }
}

// ---------------------------------------------------------------- the CPLD entry

struct CpldRun {
  int result = 0, exitCode = -1;
  Outcome out;
};

CpldRun RunCpld(const std::string& program, Harness& h) {
  CpldRun r;
  r.result = lx::jam::RunJamProgram(h.host, reinterpret_cast<const uint8_t*>(program.data()),
                                    program.size(), &r.exitCode);
  h.sim.Finish();
  r.out = h.out;
  return r;
}

TEST(StaplCpld, ProgramsAndVerifiesTheFuseArray) {
  Harness h;
  CpldRun r = RunCpld(lxtest::Program(true), h);
  EXPECT_EQ(r.result, 0) << r.out.output;
  EXPECT_EQ(r.exitCode, 0);
  EXPECT_EQ(h.sim.cpld.Row(0), 0x12F0u);
  EXPECT_EQ(h.sim.cpld.Row(1), 0xABCDu);
  EXPECT_NE(r.out.output.find("Jam STAPL Player Version 2.5 (20040526)\n\n"), std::string::npos);
  EXPECT_NE(r.out.output.find("Exit code = 0... Success\n"), std::string::npos);
  EXPECT_EQ(h.sim.engine.ProtocolErrors(), 0u);
}

TEST(StaplCpld, ProgrammingWithoutWaitFailsTheVerify) {
  Harness h;
  CpldRun r = RunCpld(lxtest::Program(false), h);
  EXPECT_EQ(r.result, 0);
  EXPECT_EQ(r.exitCode, 11);
  EXPECT_NE(r.out.output.find("Exit code = 11... Device verify failure\n"), std::string::npos);
  EXPECT_EQ(h.sim.cpld.Row(1), 0xFFFFu);  // ignored while the first row was still busy
  EXPECT_EQ(h.sim.cpld.IgnoredWhileBusy(), 1u);
}

TEST(StaplCpld, BadCrcDoesNotRun) {
  Harness h;
  std::string p = lxtest::Program(true);
  p[p.find("ABCD")] = 'B';
  CpldRun r = RunCpld(p, h);
  EXPECT_EQ(r.result, 1);
  EXPECT_NE(r.out.output.find("CRC mismatch: expected "), std::string::npos);
  EXPECT_NE(r.out.output.find(": CRC mismatch.\nProgram terminated.\n"), std::string::npos);
  EXPECT_EQ(h.sim.cpld.Clocks(), 0u);
  EXPECT_EQ(h.sim.cpld.Row(0), 0xFFFFu);
  // Carriage returns are not part of the checksum.
  Harness h2;
  std::string crlf;
  for (char c : std::string(lxtest::kProgramAndVerify)) {
    if (c == '\n') crlf += '\r';
    crlf += c;
  }
  std::string q = lxtest::WithCrc(lxtest::kProgramAndVerify);
  std::string withCr = crlf.replace(crlf.find("WAIT_HERE"), 9, "WAIT 30 CYCLES;");
  (void)q;
  uint16_t a = lx::jam::ComputeCrc(reinterpret_cast<const uint8_t*>(withCr.data()), withCr.size());
  std::string plain = lxtest::kProgramAndVerify;
  plain.replace(plain.find("WAIT_HERE"), 9, "WAIT 30 CYCLES;");
  uint16_t b = lx::jam::ComputeCrc(reinterpret_cast<const uint8_t*>(plain.data()), plain.size());
  EXPECT_EQ(a, b);
}

TEST(StaplCpld, MissingActionAndUnknownErrors) {
  Harness h;
  CpldRun r = RunCpld("ACTION VERIFY = A;\nPROCEDURE A;\nENDPROC;\n", h);
  EXPECT_EQ(r.result, 1);
  EXPECT_NE(r.out.output.find("Error: action \"PROGRAM\" is not supported for this Jam file.\nProgram terminated.\n"),
            std::string::npos);
  Harness h2;
  r = RunCpld(V2("PRINT 1 +;"), h2);
  EXPECT_EQ(r.result, 1);
  EXPECT_NE(r.out.output.find("Error on line 3: syntax error.\nProgram terminated.\n"), std::string::npos);
}

TEST(StaplCpld, CrcStatementDetection) {
  std::string body = V2("PRINT \"CRC 0000;\";");
  uint16_t e = 0, a = 0;
  int32_t line = 0;
  EXPECT_EQ(lx::jam::CheckCrc(reinterpret_cast<const uint8_t*>(body.data()), body.size(), &e, &a, &line), 4);
  std::string withCrc = lxtest::WithCrc(body);
  EXPECT_EQ(lx::jam::CheckCrc(reinterpret_cast<const uint8_t*>(withCrc.data()), withCrc.size(), &e, &a, &line), 0);
  std::string commented = "' CRC 1234;\n" + withCrc;
  EXPECT_EQ(lx::jam::CheckCrc(reinterpret_cast<const uint8_t*>(commented.data()), commented.size(), &e, &a, &line), 9);
  std::string garbled = body + "CRC 12G4;\n";
  EXPECT_EQ(lx::jam::CheckCrc(reinterpret_cast<const uint8_t*>(garbled.data()), garbled.size(), &e, &a, &line), 9);
}

}  // namespace

namespace {

// The fuzzers' seed programs run cleanly on the simulator, so that fuzzing starts deep inside
// the player rather than at its first syntax error.
TEST(StaplSeeds, RunWithoutPlayerErrors) {
  for (const char* name : {"program_verify", "version1", "compressed", "chain_interrogation", "cpld_program"}) {
    std::string path = std::string(LX_JTAG_SOURCE_DIR) + "/fuzz/corpus/stapl/" + name;
    std::string text = ReadFile(path);
    ASSERT_FALSE(text.empty()) << path;
    text.erase(0, 1 + static_cast<unsigned char>(text[0]));  // the fuzzer's TDO bytes
    Harness h;
    CpldRun r = RunCpld(text, h);
    EXPECT_EQ(r.result, 0) << name << "\n" << r.out.output;
  }
}

}  // namespace

namespace {

std::string Bits(uint32_t v, int hi, int lo) {
  std::string b;
  for (int i = hi; i >= lo; --i) b += static_cast<char>('0' + ((v >> i) & 1u));
  return b;
}

// Burns a maker-shaped program into a simulated part answering `idcode`: the CRC holds, the
// player finishes without an error and the kit sees no protocol fault; `check` judges the rest.
template <class Check>
void BurnWithIdcode(const std::string& program, uint32_t idcode, const Check& check) {
  kitsim::JtagTarget::Config cfg;
  cfg.idcode = idcode;
  Harness h(cfg);
  CpldRun r = RunCpld(program, h);
  EXPECT_EQ(r.result, 0) << r.out.output;
  EXPECT_EQ(r.out.output.find("CRC mismatch"), std::string::npos);
  check(r, h);
  EXPECT_EQ(h.sim.engine.ProtocolErrors(), 0u);
}

// A program in the shape of a maker's chain interrogation file: CRLF lines and a CRC, comments
// inside statements, initial data over many lines (hexadecimal and compressed), loops left by
// changing their variable, GOTO down inside loops, CALL with USES of a data block, PRINT of many
// elements, and scans of 1,020 to 3,200 bits that compare or capture into arrays declared with
// initial data. Its findings must be those of the simulated chain.
TEST(StaplVendorProgram, InterrogatesTheSimulatedChain) {
  const std::string program = ReadFile(std::string(LX_JTAG_SOURCE_DIR) + "/tests/programs/chain_interrogation.stp");
  ASSERT_NE(program.find("\r\n"), std::string::npos) << "the program keeps its CRLF line ends";
  struct Case {
    uint32_t idcode;
    int exitCode;
    const char* exitText;
  } cases[] = {
      {0x1A6A50C3u, 0, "Success"},
      {0x7A6A50C3u, 0, "Success"},  // another revision of the expected part
      {0x0BAD10FFu, 2, "Reading IDCODE failure"},
  };
  for (const Case& c : cases) BurnWithIdcode(program, c.idcode, [&c](const CpldRun& r, Harness&) {
    EXPECT_EQ(r.exitCode, c.exitCode);
    std::vector<std::string> want = {
        "Devices in chain: 1",
        "Instruction register: 8 bits in total, 8 per device",
        "Device 1 IDCODE " + Bits(c.idcode, 31, 28) + " " + Bits(c.idcode, 27, 12) + " " +
            Bits(c.idcode, 11, 1) + " " + Bits(c.idcode, 0, 0) + " (" +
            std::to_string(static_cast<int32_t>(c.idcode)) + ")",
    };
    if (c.exitCode == 2) want.push_back("Device 1 is not the expected part");
    EXPECT_EQ(r.out.messages, want);
    EXPECT_NE(r.out.output.find("Exit code = " + std::to_string(c.exitCode) + "... " + c.exitText + "\n"),
              std::string::npos)
        << r.out.output;
  });
}

}  // namespace

namespace {

std::string Crlf(const std::string& text) {
  std::string out;
  for (char c : text) {
    if (c == '\n') out += '\r';
    out += c;
  }
  return out;
}

// The frame makers' tools put around a procedure: a banner, NOTE lines, an ACTION, CRLF lines.
std::string MakerFrame(const std::string& body) {
  return Crlf(
      "'**************************************************************\n"
      "'*  Generated programming file                                *\n"
      "'**************************************************************\n"
      "NOTE \"CREATOR\" \"bench composer\";\nNOTE \"DEVICE\" \"TESTCPLD\";\n"
      "NOTE \"STAPL_VERSION\" \"JESD71\";\n\n"
      "ACTION PROGRAM \"Program the device\" = MAIN;\n\n"
      "PROCEDURE MAIN;\n" + body + "\nENDPROC;\n");
}

// Data written over lines of 60 characters, indented, as the tools wrap it.
std::string Wrapped(const std::string& data) {
  std::string out;
  for (size_t i = 0; i < data.size(); i += 60) out += "\n\t" + data.substr(i, 60);
  return out;
}

struct MakerCase {
  std::string what, program;
  int error, exitCode;
  std::string printed;
};

std::vector<MakerCase> MakerCases() {
  // 90 distinct bytes, then a three-byte pattern the encoder writes as back-references.
  std::vector<uint8_t> data;
  for (int i = 0; i < 90; ++i) data.push_back(static_cast<uint8_t>(i * 37 + 11));
  for (int i = 0; i < 100; ++i) data.insert(data.end(), {0xA5, 0x5A, 0xC3});
  const std::string over2 = Compress(data, true, 2);  // 390 bytes written, 388 stated
  const std::string sha8 =
      "INTEGER K[8] = 1116352408, 1899447441, ' first two round constants\n"
      "\t-1245643825, -373957723, 961987163,\n\t1508970993, -1841331548, -1424204075;\n";
  std::string hex33(33, 'f');
  return {
      {"compressed data whose last reference runs one byte past",
       MakerFrame("BOOLEAN X[48] = @60000u@@@@40;\nPRINT INTEGER(X[31..0]), X[47];"), 0, 0, "-11"},
      {"exact compressed data still runs",
       MakerFrame("BOOLEAN X[48] = @60000u@@@@30;\nPRINT X[47];"), 0, 0, "1"},
      {"long compressed data ending two bytes past",
       MakerFrame("BOOLEAN X[3104] = @ ' data follows\n" + Wrapped(over2) +
                  ";\nPRINT INTEGER(X[7..0]), \",\", INTEGER(X[727..720]), \",\", INTEGER(X[3103..3096]);"),
       0, 0, "11,165,165"},
      {"compressed data stating more than the array holds is still refused",
       MakerFrame("BOOLEAN X[3096] = @" + Wrapped(over2) + ";"), 11, 0, ""},
      {"hexadecimal data with spare bits set in its last digit",
       MakerFrame("BOOLEAN X[5] = $FF;\nBOOLEAN Y[9] = $FF5;\nPRINT INTEGER(X[4..0]), \",\", INTEGER(Y[8..0]);"),
       0, 0, "31,501"},
      {"129 elements written as 33 digits over lines",
       MakerFrame("BOOLEAN FETCH_ZERO_INPUT[129] = ' all ones\n\t$" + hex33.substr(0, 20) + "\n\t" +
                  hex33.substr(20) + ";\nPRINT FETCH_ZERO_INPUT[128], FETCH_ZERO_INPUT[0], \",\", "
                  "INTEGER(FETCH_ZERO_INPUT[128..97]);"),
       0, 0, "11,-1"},
      {"a whole digit beyond the array is still refused", MakerFrame("BOOLEAN X[4] = $1F;"), 11, 0, ""},
      {"INT( beside INTEGER(",
       MakerFrame("BOOLEAN B[8] = $A5;\nINTEGER INT = 4;\n"
                  "PRINT INT(#101), \",\", INT ($1F), \",\", INT(B[7..0]) + INTEGER(B[3..0]), \",\", INT + 1;"),
       0, 0, "5,31,170,5"},
      {"integer lists: the last value listed is element 0",
       MakerFrame("INTEGER T[3] = 10, 20, 30;\nPRINT T[0], \",\", T[1], \",\", T[2];"), 0, 0, "30,20,10"},
      {"a constant table read from its top, as the tools index it",
       MakerFrame(sha8 + "INTEGER I;\nINTEGER SUM = 0;\n"
                         "FOR I = 0 TO 7;\nIF I == 0 THEN PRINT K[(7-I)];\nNEXT I;\nPRINT K[0];"),
       0, 0, "-1424204075"},
      {"a short list fills the low elements",
       MakerFrame("INTEGER T[4] = 7, 8;\nPRINT T[0], T[1], T[2], T[3];"), 0, 0, "8700"},
      {"a label owned by the procedure whose text holds it",
       Crlf("NOTE \"CREATOR\" \"bench composer\";\nACTION PROGRAM = Q;\n"
            "PROCEDURE Q USES P;\nCALL P;\nENDPROC;\n"
            "PROCEDURE P USES S, R;\nCALL S;\nENDPROC;\n"
            "PROCEDURE S;\nGOTO L1;\nPRINT \"skipped\";\nL1: PRINT \"ok\";\nENDPROC;\n"
            "PROCEDURE R;\nENDPROC;\n"),
       0, 0, "ok"},
      {"labels of two procedures reached by one search",
       Crlf("ACTION PROGRAM = A;\nPROCEDURE A USES C, D;\nCALL C;\nCALL D;\nENDPROC;\n"
            "PROCEDURE C;\nINTEGER N = 0;\nLOOP_C: N = N + 1;\nIF N < 3 THEN GOTO LOOP_C;\nPRINT N;\nENDPROC;\n"
            "PROCEDURE D;\nGOTO END_D;\nEXIT 9;\nEND_D: PRINT \"d\";\nENDPROC;\n"),
       0, 0, "d"},
      {"a label of another procedure stays out of reach",
       Crlf("ACTION PROGRAM = A;\nPROCEDURE A USES B, C;\nCALL C;\nENDPROC;\n"
            "PROCEDURE B;\nLB: PRINT \"b\";\nENDPROC;\nPROCEDURE C;\nGOTO LB;\nENDPROC;\n"),
       23, 0, ""},
      {"capture and compare in one scan",
       MakerFrame("BOOLEAN ID[32];\nBOOLEAN IDCODEVALUE[32] = $1A6A50C3;\nBOOLEAN IDMASK[32] = $0FFFFFFF;\n"
                  "BOOLEAN PASS;\nIRSCAN 8, $01;\n"
                  "DRSCAN 32, $00000000, ' read and check the IDCODE\n\tCAPTURE ID[], COMPARE IDCODEVALUE[], IDMASK[], PASS;\n"
                  "IF !PASS THEN EXIT 6;\nPRINT INTEGER(ID[31..16]), \",\", INTEGER(ID[15..0]);"),
       0, 0, "6762,20675"},
      {"compare before capture, failing, still captures",
       MakerFrame("BOOLEAN ID[32];\nBOOLEAN PASS = 1;\nIRSCAN 8, $01;\n"
                  "DRSCAN 32, $00000000, COMPARE $1A6A50C2, $FFFFFFFF, PASS, CAPTURE ID[31..0];\n"
                  "IF PASS THEN EXIT 7;\nPRINT INTEGER(ID[15..0]);"),
       0, 0, "20675"},
      {"capture twice in one scan is refused",
       MakerFrame("BOOLEAN A[8];\nDRSCAN 8, $00, CAPTURE A[], CAPTURE A[];"), 3, 0, ""},
  };
}

TEST(StaplMakerPrograms, RunAsTheirToolsExpect) {
  for (const MakerCase& c : MakerCases()) {
    Harness h;
    Outcome o = h.Run(c.program);
    EXPECT_EQ(o.error, c.error) << c.what << " (line " << o.line << ")";
    EXPECT_EQ(o.exitCode, c.exitCode) << c.what;
    if (!c.printed.empty()) {
      EXPECT_EQ(o.Printed(), c.printed) << c.what;
    }
    EXPECT_EQ(h.sim.engine.ProtocolErrors(), 0u) << c.what;
  }
}

}  // namespace

namespace {

// Records what the program exports: "key=value" for integers, "key[bits]=hex" for Boolean
// arrays, the hexadecimal written most significant byte first from the packed bytes.
class ExportHost : public lx::jtag::LinkJamHost {
 public:
  using LinkJamHost::LinkJamHost;
  void ExportInteger(const char* key, int32_t value) override {
    if (std::string(key) == "JAM_STATEMENT_BUFFER_SIZE") return;  // the player's own, first
    exports.push_back(std::string(key) + "=" + std::to_string(value));
  }
  void ExportBooleanArray(const char* key, const uint8_t* data, int32_t bits) override {
    std::string hex;
    char b[4];
    for (int32_t i = (bits + 7) / 8 - 1; i >= 0; --i) {
      std::snprintf(b, sizeof b, "%02X", data[i]);
      hex += b;
    }
    exports.push_back(std::string(key) + "[" + std::to_string(bits) + "]=" + hex);
  }
  std::vector<std::string> exports;
};

TEST(StaplMakerPrograms, ExportsBooleanArraysAsTheirBits) {
  struct Case {
    const char* statement;
    int error;
    const char* exported;
  } cases[] = {
      {"EXPORT \"USERCODE\", A[15..0];", 0, "USERCODE[16]=12F0"},
      {"EXPORT \"USERCODE\", ' whole array\n\tA[];", 0, "USERCODE[16]=12F0"},
      {"EXPORT \"LOW\", A[11..0];", 0, "LOW[12]=02F0"},
      {"EXPORT \"HIGH\", A[15..4];", 0, "HIGH[12]=012F"},
      {"EXPORT \"REVERSED\", A[0..15];", 0, "REVERSED[16]=0F48"},  // A[0] is the top bit
      {"EXPORT \"ONE\", A[4..4];", 0, "ONE[1]=01"},
      {"EXPORT \"N\", INTEGER(A[7..0]) + 1;", 0, "N=241"},
      {"EXPORT \"BAD\", A[16..0];", 11, ""},
      {"EXPORT \"BAD\", NOSUCH[3..0];", 5, ""},
      {"INTEGER V[2];\nEXPORT \"BAD\", V[1..0];", 12, ""},
  };
  for (const Case& c : cases) {
    HarnessOf<ExportHost> h;
    Outcome o = h.Run(MakerFrame(std::string("BOOLEAN A[16] = $12F0;\n") + c.statement));
    EXPECT_EQ(o.error, c.error) << c.statement;
    std::vector<std::string> want;
    if (*c.exported) want.push_back(c.exported);
    EXPECT_EQ(h.host.exports, want) << c.statement;
  }
}

}  // namespace

namespace {

// A programming file in the shape a maker's CPLD composer writes (banner, NOTE lines, CRLF and a
// CRC, a DATA block with INTEGER tables and compressed fuse data ending in a back-reference that
// runs past the stated length, procedures with USES lists, labels and GOTOs inside procedures,
// CAPTURE with COMPARE, INT(), a one-element array written as a whole hex digit) burned through
// the kit's CPLD entry: the simulated part must hold the fuse data afterwards.
TEST(StaplVendorProgram, ErasesProgramsAndVerifiesTheSimulatedCpld) {
  const std::string program = ReadFile(std::string(LX_JTAG_SOURCE_DIR) + "/tests/programs/cpld_program.stp");
  ASSERT_NE(program.find("\r\n"), std::string::npos) << "the program keeps its CRLF line ends";
  // The fuse data decoded by hand: 18 distinct bytes, then A5 5A C3 repeated.
  std::vector<uint8_t> fuses;
  for (int i = 0; i < 18; ++i) fuses.push_back(static_cast<uint8_t>(0x10 + i * 13));
  const uint8_t pattern[] = {0xA5, 0x5A, 0xC3};
  while (fuses.size() < 32) fuses.push_back(pattern[(fuses.size() - 18) % 3]);
  struct Case {
    uint32_t idcode;
    int exitCode;
    const char* lastLine;
  } cases[] = {
      {0x1A6A50C3u, 0, "Verified 16 rows"},
      {0x7A6A50C3u, 0, "Verified 16 rows"},  // another revision: the mask leaves it out
      {0x0BAD10FFu, 6, "Unexpected IDCODE 2989 4351"},
  };
  for (const Case& c : cases) BurnWithIdcode(program, c.idcode, [&](const CpldRun& r, Harness& h) {
    EXPECT_EQ(r.exitCode, c.exitCode) << r.out.output;
    EXPECT_EQ(r.out.Printed(), c.lastLine);
    for (int row = 0; row < 16; ++row) {
      uint32_t want = c.exitCode ? 0xFFFFu : fuses[2 * row] | static_cast<uint32_t>(fuses[2 * row + 1]) << 8;
      EXPECT_EQ(h.sim.cpld.Row(row), want) << "row " << row << " of " << std::hex << c.idcode;
    }
    EXPECT_EQ(h.sim.cpld.IgnoredWhileBusy(), 0u);
  });
}

}  // namespace
