// The VME player against the simulated kit firmware and JTAG target.
#include <gtest/gtest.h>

#include "kitsim/jtag_target.h"
#include "sim_link.h"
#include "vme_asm.h"
#include "vme_player.h"

using lx::jtag::VmeLimits;
using lx::jtag::VmePlayer;

namespace {

struct Played {
  int header = 0, result = 0;
  unsigned progress = 0;
};

Played Play(lxtest::SimJtag& sim, const std::string& text, bool compress = false,
            VmeLimits limits = VmeLimits()) {
  lxtest::VmeImages img = lxtest::AssembleVme(text, compress);
  EXPECT_EQ(img.error, "");
  VmePlayer p(sim.link, img.algorithm.data(), img.algorithm.size(), img.data.data(), img.data.size(), limits);
  Played r;
  r.header = p.CheckHeader();
  if (!r.header) r.result = p.Run();
  r.progress = p.Progress();
  sim.Finish();
  return r;
}

Played PlayRaw(lxtest::SimJtag& sim, std::vector<uint8_t> alg, std::vector<uint8_t> data = {0},
               VmeLimits limits = VmeLimits()) {
  VmePlayer p(sim.link, alg.data(), alg.size(), data.data(), data.size(), limits);
  Played r;
  r.header = p.CheckHeader();
  if (!r.header) r.result = p.Run();
  sim.Finish();
  return r;
}

const char* kPrologue = "ENDDR IDLE\nENDIR IDLE\nSTATE RESET\nSTATE IDLE\n";

TEST(Vme, RefusesBadHeadersBeforeAnyJtag) {
  for (const char* h : {"_SVME1.3", "_SVME2.0", "SVME1.2_", "_SVM"}) {
    lxtest::SimJtag sim(2);
    std::vector<uint8_t> alg(h, h + std::strlen(h));
    alg.push_back(0x7F);
    EXPECT_EQ(PlayRaw(sim, alg).header, -4) << h;
    EXPECT_EQ(sim.pipe.outs, 0);
    EXPECT_EQ(sim.link.Fill(), 0u);
  }
  lxtest::SimJtag sim(2);
  EXPECT_EQ(Play(sim, "HEADER 1.1\nEND\n").header, 0);
}

TEST(Vme, InlineIdcodeWithMaskedCompare) {
  struct Case { const char* tdo; int result; } cases[] = {
      {"TDO(1A6A50C3)", 0},
      {"TDO(1A6A50C2)", -1},
      {"TDO(1A6A50C2) MASK(FFFFFFFE)", 0},
      {"TDO(0A6A50C3) MASK(EFFFFFFF)", 0},
      {"TDO(0A6A50C3) MASK(F0FFFFFF)", -1},
  };
  for (const Case& c : cases) {
    lxtest::SimJtag sim(2);
    Played r = Play(sim, std::string(kPrologue) + "SIR 8 TDI(01)\nSDR 32 TDI(00000000) " + c.tdo + "\nEND\n");
    EXPECT_EQ(r.result, c.result) << c.tdo;
    EXPECT_EQ(sim.engine.ProtocolErrors(), 0u);
  }
}

const char* kProgramRow =
    "SIR 8 TDI(23)\nSDR 1 TDI(1)\nTCK 70\n"
    "SIR 8 TDI(20)\nSDR 8 DTDI(03)\n"
    "SIR 8 TDI(21)\nSDR 16 DTDI(FF0F)\nRUNTEST 200\n"
    "SIR 8 TDI(22)\nSDR 16 TDI(0000) DTDO(FF0F)\n"
    "SIR 8 TDI(20)\nSDR 8 DTDI(04)\n"
    "SIR 8 TDI(21)\nSDR 16 DTDI(FFFF)\nRUNTEST 200\n"
    "SIR 8 TDI(22)\nSDR 16 DTDI(0000) DTDO(FFFF)\n"
    "END\n";

TEST(Vme, DataImageScansPlainAndCompressed) {
  for (bool compress : {false, true}) {
    lxtest::SimJtag sim(2);
    sim.fpga.SetRow(3, 0);  // erased by the program
    Played r = Play(sim, std::string(kPrologue) + kProgramRow, compress);
    EXPECT_EQ(r.result, 0) << compress;
    EXPECT_EQ(sim.fpga.Row(3), 0xFF0Fu);
    EXPECT_EQ(sim.fpga.Row(4), 0xFFFFu);
    EXPECT_EQ(r.progress, 100u);
  }
}

TEST(Vme, TdiGoesOutWithTdoChecks) {
  // The address scan checks TDO; its TDI must still reach the part, or row 5 stays erased.
  lxtest::SimJtag sim(2);
  Played r = Play(sim, std::string(kPrologue) +
                           "SIR 8 TDI(20)\nSDR 8 TDI(05) TDO(00) MASK(00)\n"
                           "SIR 8 TDI(21)\nSDR 16 TDI(1234)\nRUNTEST 200\n"
                           "SIR 8 TDI(22)\nSDR 16 TDI(0000) TDO(1234)\nEND\n");
  EXPECT_EQ(r.result, 0);
  EXPECT_EQ(sim.fpga.Row(5), 0x1234u);
  EXPECT_EQ(sim.fpga.Row(0), 0xFFFFu);
}

TEST(Vme, HeaderAndTrailerBitsAreExact) {
  struct Case { const char* scan; kitsim::TapState shift; int bits; } cases[] = {
      {"HIR 2\nTIR 3\nSIR 8 TDI(81)\n", kitsim::kTapIrShift, 13},
      {"HIR 1\nSIR 8 TDI(81)\n", kitsim::kTapIrShift, 9},
      {"HDR 2\nTDR 1\nSDR 5 TDI(11)\n", kitsim::kTapDrShift, 8},
      {"HDR 3\nTDR 2\nSDR 4 TDI(9) TDO(0) MASK(0)\n", kitsim::kTapDrShift, 9},
      {"SDR 1 TDI(1)\n", kitsim::kTapDrShift, 1},
  };
  for (const Case& c : cases) {
    lxtest::SimJtag sim(2);
    Played r = Play(sim, std::string(kPrologue) + c.scan + "END\n");
    EXPECT_EQ(r.result, 0) << c.scan;
    std::string tdi;
    for (const auto& rec : sim.fpga.Log())
      if (rec.state == c.shift) tdi += char('0' + rec.tdi);
    EXPECT_EQ(static_cast<int>(tdi.size()), c.bits) << c.scan;
    if (std::string(c.scan).rfind("HIR 2", 0) == 0) {
      EXPECT_EQ(tdi, "11" "10000001" "111");
    }
    if (std::string(c.scan).rfind("HDR 3", 0) == 0) {
      EXPECT_EQ(tdi, "111" "1001" "11");
    }
  }
}

// A compare longer than one TDO answer is split into chunks; BYPASS returns every TDI bit one
// clock later, so one bit lost or doubled at a chunk boundary shows.
TEST(Vme, LongComparesSpanSeveralAnswers) {
  const int n = 9000;
  std::vector<int> tdi(n), tdo(n);
  uint32_t seed = 12345;
  for (int i = 0; i < n; ++i) {
    seed = seed * 1103515245u + 12345u;
    tdi[i] = (seed >> 16) & 1;
    tdo[i] = i ? tdi[i - 1] : 0;
  }
  auto hex = [](const std::vector<int>& bits) {
    std::string h;
    for (int d = (n + 3) / 4 - 1; d >= 0; --d) {
      int v = 0;
      for (int b = 0; b < 4; ++b)
        if (d * 4 + b < n && bits[d * 4 + b]) v |= 1 << b;
      h += "0123456789ABCDEF"[v];
    }
    return h;
  };
  for (bool wrong : {false, true}) {
    std::vector<int> expected = tdo;
    if (wrong) expected[4100] ^= 1;
    lxtest::SimJtag sim(2);
    Played r = Play(sim, std::string(kPrologue) + "SIR 8 TDI(FF)\nSDR " + std::to_string(n) + " TDI(" + hex(tdi) +
                             ") TDO(" + hex(expected) + ")\nEND\n");
    EXPECT_EQ(r.result, wrong ? -1 : 0);
    EXPECT_EQ(sim.pipe.answers, 3);
    EXPECT_EQ(sim.engine.ProtocolErrors(), 0u);
  }
}

TEST(Vme, RepeatStopsAtTheFirstPassingPass) {
  const std::string erase = std::string(kPrologue) + "SIR 8 TDI(23)\nSDR 1 TDI(1)\nSIR 8 TDI(24)\n";
  lxtest::SimJtag sim(2);
  Played r = Play(sim, erase + "REPEAT 5\nTCK 40\nSDR 1 TDI(0) TDO(0)\nENDLOOP\n"
                               "SIR 8 TDI(01)\nSDR 32 TDI(0) TDO(1A6A50C3)\nEND\n");
  EXPECT_EQ(r.result, 0);
  EXPECT_EQ(sim.pipe.answers, 3);  // two status passes, then the IDCODE
  lxtest::SimJtag sim2(2);
  r = Play(sim2, erase + "REPEAT 2\nTCK 5\nSDR 1 TDI(0) TDO(0)\nENDLOOP\n"
                         "SIR 8 TDI(01)\nSDR 32 TDI(0) TDO(1A6A50C3)\nEND\n");
  EXPECT_EQ(r.result, -1);
  EXPECT_EQ(sim2.pipe.answers, 2);  // the run ended with the failed repeat
}

TEST(Vme, LoopSdrRetriesWithClocks) {
  const std::string erase = std::string(kPrologue) + "SIR 8 TDI(23)\nSDR 1 TDI(1)\nSIR 8 TDI(24)\n";
  lxtest::SimJtag sim(2);
  Played r = Play(sim, erase + "LOOPCOUNT 10\nLOOPSET STATE IDLE TCK 30\nLOOPSDR\nSDR 1 TDI(0) TDO(0)\nEND\n");
  EXPECT_EQ(r.result, 0);
  EXPECT_EQ(sim.pipe.answers, 3);
  lxtest::SimJtag sim2(2);
  r = Play(sim2, erase + "LOOPCOUNT 2\nLOOPSET STATE IDLE TCK 3\nLOOPSDR\nSDR 1 TDI(0) TDO(0)\nEND\n");
  EXPECT_EQ(r.result, -1);
  EXPECT_EQ(sim2.pipe.answers, 2);
}

TEST(Vme, DataRepeatSaveAndRestore) {
  // The same data block programs row 6 twice: the second pass replays the saved data.
  lxtest::SimJtag sim(2);
  Played r = Play(sim, std::string(kPrologue) +
                           "SIR 8 TDI(20)\nSDR 8 TDI(06)\nSIR 8 TDI(21)\n"
                           "DREPEAT 1 SAVE\nSDR 16 DTDI(F0FF)\nRUNTEST 200\nENDDREPEAT\n"
                           "DREPEAT 2 RESTORE\nSDR 16 DTDI(F0FF)\nRUNTEST 200\nENDDREPEAT\nEND\n");
  EXPECT_EQ(r.result, 0);
  EXPECT_EQ(sim.fpga.Row(6), 0xF0FFu);
  EXPECT_EQ(sim.fpga.Programs(), 3u);
}

TEST(Vme, MalformedCodeGivesErrors) {
  auto alg = [](std::vector<uint8_t> body) {
    std::vector<uint8_t> a = {'_', 'S', 'V', 'M', 'E', '1', '.', '2'};
    a.insert(a.end(), body.begin(), body.end());
    return a;
  };
  struct Case { std::vector<uint8_t> body; std::vector<uint8_t> data; int result; const char* what; } cases[] = {
      {{0x55}, {0}, -5, "unknown opcode"},
      {{}, {0}, -5, "reading past the end gives 0xFF"},
      {{0x12, 0x08, 0x16, 0x70, 0x7F}, {0}, -5, "bad descriptor"},
      {{0x12, 0x08, 0xA6, 0x00, 0x70, 0x7F}, {0}, -5, "data descriptor without 0xA3"},
      {{0x1B, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x01}, {0}, -5, "number longer than 32 bits"},
      {{0x10, 0x09}, {0}, -5, "state byte out of range"},
      {{0x02, 0x07}, {0}, -5, "end state out of range"},
      {{0x06, 0xFF, 0xFF, 0x7F}, {0}, -5, "header longer than allowed"},
      {{0x12, 0xFF, 0xFF, 0xFF, 0x7F, 0x70}, {0}, -5, "scan longer than the kit takes"},
      {{0x67, 0x10, 0x08}, {0}, -5, "loop state out of range"},
      {{0x67, 0x33}, {0}, -5, "unknown loop setting"},
      {{0x59, 0x7F}, {0}, -5, "ENDLOOP outside a repeat"},
      {{0xA1, 0x7F}, {0}, -5, "end of data repeat outside one"},
      {{0xA0, 0x01, 0xA5, 0xA1, 0x7F}, {0}, -5, "restore without save"},
      {{0x58, 0x00, 0x59, 0x7F}, {0}, -5, "repeat of zero passes"},
      {{0x68, 0x11}, {0}, -5, "loop SDR without SDR"},
      {{0x12, 0x08, 0xA6, 0xA3, 0x70, 0x7F}, {0, 0x12}, -6, "missing end-of-data marker"},
      {{0x12, 0x10, 0xA6, 0xA3, 0x70, 0x7F}, {1, 0, 0x12, 0xFF, 0x05, 0xA2}, -6, "run longer than the scan"},
      {{0x12, 0x08, 0xA6, 0xA3, 0x70, 0x7F}, {0, 0x12, 0xA2}, 0, "data with its marker"},
  };
  for (const Case& c : cases) {
    lxtest::SimJtag sim(2);
    EXPECT_EQ(PlayRaw(sim, alg(c.body), c.data).result, c.result) << c.what;
  }
  // Nesting and endless clocks are bounded.
  std::vector<uint8_t> nested;
  for (int i = 0; i < 20; ++i) nested.insert(nested.end(), {0x58, 0x02});
  lxtest::SimJtag sim(2);
  EXPECT_EQ(PlayRaw(sim, alg(nested)).result, -5);
  VmeLimits small;
  small.budget = 100000;
  lxtest::SimJtag sim2(2);
  EXPECT_EQ(PlayRaw(sim2, alg({0x1B, 0xFF, 0xFF, 0xFF, 0xFF, 0x0F, 0x7F}), {0}, small).result, -5);
}

TEST(Vme, MovesFollowTheTapDiagram) {
  const kitsim::TapState tapOf[7] = {kitsim::kTapReset, kitsim::kTapIdle, kitsim::kTapIrPause,
                                     kitsim::kTapDrPause, kitsim::kTapIrShift, kitsim::kTapDrShift,
                                     kitsim::kTapDrCapture};
  for (int from = 0; from < 7; ++from)
    for (int to = 0; to < 7; ++to) {
      uint8_t count = 0, pattern = 0;
      if (!VmePlayer::MovePattern(from, to, false, &count, &pattern)) {
        EXPECT_EQ(from, to) << from << "->" << to;
        continue;
      }
      kitsim::TapState s = tapOf[from];
      for (int i = count - 1; i >= 0; --i) s = kitsim::TapNext(s, (pattern >> i) & 1);
      EXPECT_EQ(s, tapOf[to]) << from << "->" << to;
    }
  uint8_t count, pattern;
  ASSERT_TRUE(VmePlayer::MovePattern(3, 2, false, &count, &pattern));
  EXPECT_EQ(count, 7);
  EXPECT_EQ(pattern, 0x7A);
  ASSERT_TRUE(VmePlayer::MovePattern(0, 0, false, &count, &pattern));
  EXPECT_EQ(count, 6);
  EXPECT_EQ(pattern, 0x3F);
}

}  // namespace
