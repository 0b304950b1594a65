// The firmware and logic loader against the simulated kit: boot loader, JTAG jobs, targets.
#include <algorithm>
#include <gtest/gtest.h>

#include "firmware_image.h"
#include "sim_kit_usb.h"
#include "tarn_download.h"
#include "test_programs.h"
#include "vme_asm.h"

using lx::jtag::TarnDownload;

namespace {

std::vector<uint8_t> Payload(size_t n) {
  std::vector<uint8_t> p(n);
  for (size_t i = 0; i < n; ++i) p[i] = static_cast<uint8_t>(i * 7 + 1);
  return p;
}

// ---------------------------------------------------------------- images

TEST(FirmwareImage, CrcMatchesTheBitwiseDefinition) {
  std::vector<uint8_t> data = Payload(300);
  uint16_t crc = 0;
  for (uint8_t b : data) {
    uint8_t r = 0;
    for (int k = 0; k < 8; ++k) r |= ((b >> k) & 1) << (7 - k);
    crc ^= r;
    for (int k = 0; k < 8; ++k) crc = (crc & 1) ? (crc >> 1) ^ 0xA001 : crc >> 1;
  }
  EXPECT_EQ(lx::fw::OnTheFlyCrc(data.data(), data.size()), crc);
}

TEST(FirmwareImage, VersionsComparePartByPart) {
  struct Case { const char* a; const char* b; int cmp; bool ok; } cases[] = {
      {"2.0.0", "2.0.0", 0, true}, {"2.0.1", "2.0.0", 1, true}, {"1.5", "2.0.0", -1, true},
      {"2.1", "2.0.0", 1, true},   {"1.10", "1.9", 1, true},    {"2", "2.0.0", 0, true},
      {"10.0", "2.0.0", 1, true},  {"2..0", "2.0.0", 0, false}, {"2.x", "2.0.0", 0, false},
      {"", "2.0.0", 0, false},     {"2.0.", "2.0.0", 0, false},
  };
  for (const Case& c : cases) {
    int cmp = 99;
    EXPECT_EQ(lx::fw::CompareVersions(c.a, c.b, &cmp), c.ok) << c.a;
    if (c.ok) {
      EXPECT_EQ(cmp, c.cmp) << c.a;
    }
  }
}

TEST(FirmwareImage, OnTheFlyHeaders) {
  lx::fw::OnTheFlyImage img;
  auto parse = [&img](const std::vector<uint8_t>& v) { return lx::fw::ParseOnTheFly(v.data(), v.size(), &img); };
  EXPECT_EQ(parse(lxtest::MakeOnTheFly(Payload(1024), "2.0.0", true)), 0);
  EXPECT_EQ(img.payloadLength, 1024u);
  EXPECT_EQ(img.payloadOffset, 3u + 2u + 5u);
  // Without the CRC prefix the payload is everything after the version record.
  EXPECT_EQ(parse(lxtest::MakeOnTheFly(Payload(1024), "1.5", false)), 0);
  EXPECT_EQ(img.payloadLength, 1024u);
  EXPECT_EQ(parse(lxtest::MakeOnTheFly(Payload(1024), "2.0.1", true)), lx::fw::FW_BAD_VERSION);
  EXPECT_EQ(parse(lxtest::MakeOnTheFly(Payload(1024), "2.1", true)), lx::fw::FW_BAD_VERSION);
  EXPECT_EQ(parse(lxtest::MakeOnTheFly(Payload(1024), "12345678", true)), lx::fw::FW_BAD_VERSION);
  EXPECT_EQ(parse(lxtest::MakeOnTheFly(Payload(511), "2.0.0", true)), lx::fw::FW_TOO_SMALL);
  std::vector<uint8_t> bad = lxtest::MakeOnTheFly(Payload(1024), "2.0.0", true);
  bad[100] ^= 1;
  EXPECT_EQ(parse(bad), lx::fw::FW_CRC_MISMATCH);
  EXPECT_EQ(parse({8, 0}), lx::fw::FW_TRUNCATED);
  EXPECT_EQ(parse({}), lx::fw::FW_TRUNCATED);
  EXPECT_EQ(parse({3, 40, '1', '.', '0'}), lx::fw::FW_TRUNCATED);  // version runs past the end
  EXPECT_EQ(parse({3, 0x80, 0x80, 0x80, 0x80, 0x01}), lx::fw::FW_TRUNCATED);
}

TEST(FirmwareImage, BootRecords) {
  std::vector<lx::fw::BootRecord> recs;
  auto parse = [&recs](const std::vector<uint8_t>& v) { return lx::fw::ParseBootImage(v.data(), v.size(), &recs); };
  EXPECT_EQ(parse(lxtest::MakeBootImage({{0x0000, {1, 2, 3}}, {0x1000, Payload(100)}})), 0);
  ASSERT_EQ(recs.size(), 2u);
  EXPECT_EQ(recs[1].address, 0x1000);
  EXPECT_EQ(recs[1].length, 100);
  EXPECT_EQ(parse(lxtest::MakeBootImage({})), 0);  // 13 bytes: nothing to load
  EXPECT_TRUE(recs.empty());
  std::vector<uint8_t> cut = lxtest::MakeBootImage({{0x0000, Payload(100)}});
  cut[9] = 200;  // record longer than the image
  EXPECT_EQ(parse(cut), lx::fw::FW_TRUNCATED);
  EXPECT_EQ(parse(lxtest::MakeBootImage({{0xE600, {0}}})), lx::fw::FW_BAD_ADDRESS);
  EXPECT_EQ(parse(lxtest::MakeBootImage({{0xE000, Payload(0x200)}})), 0);  // the scratch RAM
  // A record belongs to the RAM it starts in, wherever it ends: the controller's loader takes
  // it and loses the bytes that fall on reserved addresses. One that starts elsewhere, or runs
  // past the top of the address space, is not for this controller.
  struct Where {
    uint16_t address;
    size_t length;
    int error;
  } where[] = {
      {0x3FF0, 32, 0},
      {0x3FFF, 0x7FFF, 0},
      {0xE1FC, 4, 0},  // ends at 0xE200: inside
      {0xE1FE, 4, 0},
      {0xE160, 0xB2, 0},
      {0xE100, 0x101, 0},
      {0xE1FF, 0x1E01, 0},  // the last byte at 0xFFFF
      {0xE1FF, 0x1E02, lx::fw::FW_BAD_ADDRESS},
      {0x4000, 1, lx::fw::FW_BAD_ADDRESS},
      {0xDFFF, 2, lx::fw::FW_BAD_ADDRESS},
      {0xE200, 4, lx::fw::FW_BAD_ADDRESS},
      {0xFFFF, 1, lx::fw::FW_BAD_ADDRESS},
  };
  for (const Where& w : where) {
    EXPECT_EQ(parse(lxtest::MakeBootImage({{w.address, Payload(w.length)}})), w.error)
        << std::hex << w.address << " + " << w.length;
    if (!w.error) {
      ASSERT_EQ(recs.size(), 1u);
      EXPECT_EQ(recs[0].length, w.length);
    }
  }
  EXPECT_EQ(parse(std::vector<uint8_t>(0x10001, 0)), lx::fw::FW_TOO_LARGE);
  EXPECT_EQ(lx::fw::HelperFirmware().size(), lx::fw::kHelperFirmwareSize);
  EXPECT_EQ(parse(lx::fw::HelperFirmware()), 0);
}

// Anything that is not a whole boot image is refused, whatever part of it is wrong.
TEST(FirmwareImage, OnlyWholeBootImagesPass) {
  const std::vector<uint8_t> good = lxtest::MakeBootImage({{0x0000, Payload(100)}, {0x1000, Payload(20)}});
  auto with = [&good](size_t at, uint8_t value) {
    std::vector<uint8_t> v = good;
    v[at] = value;
    return v;
  };
  auto cut = [&good](size_t n) { return std::vector<uint8_t>(good.begin(), good.begin() + static_cast<std::ptrdiff_t>(n)); };
  std::vector<uint8_t> extra = good;
  extra.insert(extra.end() - 5, {0x00, 0x01});  // two bytes between the last record and the final one
  std::vector<uint8_t> earlyEnd = lxtest::MakeBootImage({{0x0000, Payload(10)}});
  earlyEnd.insert(earlyEnd.end() - 5, {0x80, 0x01, 0xE6, 0x00, 0x00});  // an end record, then more
  earlyEnd.insert(earlyEnd.end() - 5, {0x00, 0x01, 0x00, 0x20, 0x55});
  struct Case {
    const char* what;
    std::vector<uint8_t> image;
    int error;
  } cases[] = {
      {"1 byte", {0xC2}, lx::fw::FW_TRUNCATED},
      {"9 zero bytes", std::vector<uint8_t>(9, 0), lx::fw::FW_TRUNCATED},
      {"13 zero bytes", std::vector<uint8_t>(13, 0), lx::fw::FW_BAD_HEADER},
      {"first byte not 0xC2", with(0, 0xC0), lx::fw::FW_BAD_HEADER},
      {"the first 13 bytes of a good image", cut(13), lx::fw::FW_BAD_END},
      {"cut inside a record", cut(60), lx::fw::FW_TRUNCATED},
      {"cut inside the final record", cut(good.size() - 2), lx::fw::FW_TRUNCATED},
      {"final record without its end flag", with(good.size() - 5, 0x00), lx::fw::FW_BAD_END},
      {"final record not to the CPU register", with(good.size() - 3, 0xE5), lx::fw::FW_BAD_END},
      {"final record holding the CPU", with(good.size() - 1, 0x01), lx::fw::FW_BAD_END},
      {"bytes after the last record", extra, lx::fw::FW_TRUNCATED},
      {"an end record before the last", earlyEnd, lx::fw::FW_EARLY_END},
      {"a record past the RAM", with(10, 0x40), lx::fw::FW_BAD_ADDRESS},
  };
  std::vector<lx::fw::BootRecord> recs;
  EXPECT_EQ(lx::fw::ParseBootImage(good.data(), good.size(), &recs), 0);
  for (const Case& c : cases) {
    EXPECT_EQ(lx::fw::ParseBootImage(c.image.data(), c.image.size(), &recs), c.error) << c.what;
    // Refused by the loader before a single request, with a message that says why.
    lxtest::SimKitUsb usb;
    lxtest::EventLog ev;
    TarnDownload d(usb, ev);
    EXPECT_FALSE(d.USBBurn(c.image.data(), c.image.size())) << c.what;
    EXPECT_TRUE(usb.controls.empty()) << c.what;
    ASSERT_EQ(ev.messages.size(), 1u) << c.what;
    EXPECT_NE(ev.messages[0].find(lx::fw::FwErrorText(c.error)), std::string::npos) << ev.messages[0];
    EXPECT_TRUE(std::all_of(usb.features.boot.Eeprom().begin(), usb.features.boot.Eeprom().end(),
                            [](uint8_t b) { return b == 0xFF; }))
        << c.what;
  }
}

// ---------------------------------------------------------------- FPGA on the fly

TEST(Loader, OnTheFlySendsBlocksAndZeroPadding) {
  lxtest::SimKitUsb usb;
  lxtest::EventLog ev;
  TarnDownload d(usb, ev);
  std::vector<uint8_t> img = lxtest::MakeOnTheFly(Payload(1024), "2.0.0", true);
  ASSERT_TRUE(d.FPGAOnTheFly(img.data(), img.size())) << d.LastError();
  const std::vector<uint8_t>& got = usb.features.engine.FpgaBytes();
  ASSERT_EQ(got.size(), 3u * 512u);
  EXPECT_TRUE(std::equal(got.begin(), got.begin() + 1024, img.begin() + 10));
  EXPECT_EQ(std::count(got.begin() + 1024, got.end(), 0), 512);
  EXPECT_FALSE(usb.features.engine.Active());
  EXPECT_EQ(usb.pipeResets, 1);
  EXPECT_TRUE(ev.progress.empty());

  lxtest::SimKitUsb usb2;
  TarnDownload d2(usb2, ev);
  img = lxtest::MakeOnTheFly(Payload(700), "1.5", false);
  ASSERT_TRUE(d2.FPGAOnTheFly(img.data(), img.size()));
  EXPECT_EQ(usb2.features.engine.FpgaBytes().size(), 2u * 512u);
}

TEST(Loader, OnTheFlyRefusalsSendNothing) {
  std::vector<std::vector<uint8_t>> images = {
      lxtest::MakeOnTheFly(Payload(500), "2.0.0", true),
      lxtest::MakeOnTheFly(Payload(1024), "2.0.1", true),
  };
  std::vector<uint8_t> badCrc = lxtest::MakeOnTheFly(Payload(1024), "2.0.0", true);
  badCrc[1] ^= 0x10;
  images.push_back(badCrc);
  for (const auto& img : images) {
    lxtest::SimKitUsb usb;
    lxtest::EventLog ev;
    TarnDownload d(usb, ev);
    EXPECT_FALSE(d.FPGAOnTheFly(img.data(), img.size()));
    EXPECT_TRUE(usb.controls.empty());
    EXPECT_EQ(usb.outs, 0);
  }
}

TEST(Loader, OnTheFlyBlockFailureFailsTheLoad) {
  lxtest::SimKitUsb usb;
  usb.failOutsAfter = 1;
  lxtest::EventLog ev;
  TarnDownload d(usb, ev);
  std::vector<uint8_t> img = lxtest::MakeOnTheFly(Payload(2048), "2.0.0", true);
  EXPECT_FALSE(d.FPGAOnTheFly(img.data(), img.size()));
  EXPECT_FALSE(usb.features.engine.Active());  // the job was ended all the same
  EXPECT_EQ(usb.Requests(0xE0), 2);
}

// ---------------------------------------------------------------- FPGA burn

const char* kVmeProgram =
    "ENDDR IDLE\nENDIR IDLE\nSTATE IDLE\n"
    "SIR 8 TDI(01)\nSDR 32 TDI(00000000) TDO(1A6A50C3)\n"
    "SIR 8 TDI(23)\nSDR 1 TDI(1)\nTCK 70\n"
    "SIR 8 TDI(20)\nSDR 8 DTDI(07)\n"
    "SIR 8 TDI(21)\nSDR 16 DTDI(5AA5)\nRUNTEST 200\n"
    "SIR 8 TDI(22)\nSDR 16 TDI(0000) DTDO(5AA5)\n"
    "TCK 1200\n"
    "END\n";

TEST(Loader, FpgaBurnProgramsWithProgressEvents) {
  lxtest::SimKitUsb usb;
  lxtest::EventLog ev;
  TarnDownload d(usb, ev);
  lxtest::VmeImages img = lxtest::AssembleVme(kVmeProgram, true);
  ASSERT_EQ(img.error, "");
  ASSERT_TRUE(d.FPGABurn(img.algorithm.data(), img.algorithm.size(), img.data.data(), img.data.size()))
      << d.LastError();
  EXPECT_EQ(usb.features.fpga.Row(7), 0x5AA5u);
  EXPECT_EQ(usb.features.fpga.State(), kitsim::kTapReset);
  EXPECT_FALSE(usb.features.engine.Active());
  EXPECT_EQ(usb.features.engine.ProtocolErrors(), 0u);
  ASSERT_GE(ev.progress.size(), 2u);
  unsigned last = 0;
  for (auto& p : ev.progress) {
    EXPECT_EQ(p.first, 13);
    EXPECT_GT(p.second, last);
    last = p.second;
  }
  EXPECT_EQ(last, 100u);
}

TEST(Loader, FpgaBurnFailuresEndTheJob) {
  lxtest::VmeImages good = lxtest::AssembleVme(kVmeProgram, false);
  lxtest::VmeImages wrong = lxtest::AssembleVme(
      "ENDDR IDLE\nSTATE IDLE\nSIR 8 TDI(01)\nSDR 32 TDI(0) TDO(12345678)\nEND\n", false);
  std::vector<uint8_t> badHeader = good.algorithm;
  badHeader[7] = '9';
  struct Case { std::vector<uint8_t> alg, data; } cases[] = {{wrong.algorithm, wrong.data}};
  for (const Case& c : cases) {
    lxtest::SimKitUsb usb;
    lxtest::EventLog ev;
    TarnDownload d(usb, ev);
    EXPECT_FALSE(d.FPGABurn(c.alg.data(), c.alg.size(), c.data.data(), c.data.size()));
    EXPECT_FALSE(usb.features.engine.Active());
    EXPECT_EQ(usb.Requests(0xE0), 2) << d.LastError();
    EXPECT_EQ(usb.features.fpga.State(), kitsim::kTapReset);
  }
}

// A VME program or data file that is cut, padded or broken is refused before the JTAG job begins:
// the program's erase never runs and every row of the part keeps its value.
TEST(Loader, FpgaBurnRefusesIncompleteFilesBeforeTheErase) {
  for (bool compressed : {false, true}) {
    lxtest::VmeImages good = lxtest::AssembleVme(kVmeProgram, compressed);
    ASSERT_EQ(good.error, "");
    auto cutAlg = [&good](size_t percent) {
      return std::vector<uint8_t>(good.algorithm.begin(),
                                  good.algorithm.begin() + static_cast<std::ptrdiff_t>(good.algorithm.size() * percent / 100));
    };
    std::vector<uint8_t> halfData(good.data.begin(), good.data.begin() + static_cast<std::ptrdiff_t>(good.data.size() / 2));
    std::vector<uint8_t> lastByteGone(good.data.begin(), good.data.end() - 1);
    std::vector<uint8_t> moreData = good.data;
    moreData.push_back(0x00);
    std::vector<uint8_t> noEnd(good.algorithm.begin(), good.algorithm.end() - 1);
    std::vector<uint8_t> badHeader = good.algorithm;
    badHeader[7] = '9';
    struct Case {
      const char* what;
      std::vector<uint8_t> alg, data;
      int error;
    } cases[] = {
        {"algorithm cut at 30%", cutAlg(30), good.data, lx::jtag::VME_BAD_CODE},
        {"algorithm cut at 60%", cutAlg(60), good.data, lx::jtag::VME_BAD_CODE},
        {"algorithm without its end", noEnd, good.data, lx::jtag::VME_BAD_CODE},
        {"algorithm header", badHeader, good.data, lx::jtag::VME_BAD_HEADER},
        {"data cut in half", good.algorithm, halfData, lx::jtag::VME_BAD_DATA},
        {"data without its last byte", good.algorithm, lastByteGone, lx::jtag::VME_BAD_DATA},
        {"data with a byte too many", good.algorithm, moreData, lx::jtag::VME_EXTRA_DATA},
        {"no data", good.algorithm, {}, lx::jtag::VME_BAD_DATA},
    };
    for (const Case& c : cases) {
      SCOPED_TRACE(std::string(c.what) + (compressed ? " (compressed)" : ""));
      lxtest::SimKitUsb usb;
      uint32_t rows[16];
      for (int r = 0; r < 16; ++r) rows[r] = usb.features.fpga.Row(r);
      lxtest::EventLog ev;
      TarnDownload d(usb, ev);
      EXPECT_FALSE(d.FPGABurn(c.alg.data(), c.alg.size(), c.data.data(), c.data.size()));
      EXPECT_TRUE(usb.controls.empty());
      EXPECT_EQ(usb.outs, 0);
      for (int r = 0; r < 16; ++r) EXPECT_EQ(usb.features.fpga.Row(r), rows[r]) << "row " << r;
      ASSERT_EQ(ev.messages.size(), 1u);
      EXPECT_NE(ev.messages[0].find(lx::jtag::VmeErrorText(c.error)), std::string::npos) << ev.messages[0];
    }
    // The whole files still burn after a check of their own.
    lxtest::SimKitUsb usb;
    lxtest::EventLog ev;
    TarnDownload d(usb, ev);
    EXPECT_TRUE(d.FPGABurn(good.algorithm.data(), good.algorithm.size(), good.data.data(), good.data.size()))
        << d.LastError();
    EXPECT_EQ(usb.features.fpga.Row(7), 0x5AA5u);
  }
}

// ---------------------------------------------------------------- CPLD burn

TEST(Loader, CpldBurnProgramsAndReportsMessages) {
  lxtest::SimKitUsb usb;
  lxtest::EventLog ev;
  TarnDownload d(usb, ev);
  std::string p = lxtest::Program(true);
  p.insert(p.find("ENDPROC;\nPROCEDURE DO_VERIFY"), "PRINT \"programmed\";\n");
  p = lxtest::WithCrc(p.substr(0, p.rfind("CRC ")));
  ASSERT_TRUE(d.CPLDBurn(reinterpret_cast<const uint8_t*>(p.data()), p.size())) << d.LastError() << d.PlayerOutput();
  EXPECT_EQ(usb.features.cpld.Row(0), 0x12F0u);
  EXPECT_EQ(usb.features.cpld.Row(1), 0xABCDu);
  ASSERT_EQ(ev.messages.size(), 1u);
  EXPECT_EQ(ev.messages[0], "programmed");
  EXPECT_FALSE(usb.features.engine.Active());
  EXPECT_EQ(usb.features.cpld.State(), kitsim::kTapIdle);  // reset at the end of the run
}

TEST(Loader, CpldBurnFailsOnVerifyFailureAndBadCrc) {
  {
    lxtest::SimKitUsb usb;
    lxtest::EventLog ev;
    TarnDownload d(usb, ev);
    std::string p = lxtest::Program(false);
    EXPECT_FALSE(d.CPLDBurn(reinterpret_cast<const uint8_t*>(p.data()), p.size()));
    EXPECT_EQ(d.LastExitCode(), 11);
    EXPECT_FALSE(usb.features.engine.Active());
    EXPECT_EQ(usb.features.cpld.State(), kitsim::kTapIdle);  // the closing reset went out
  }
  {
    lxtest::SimKitUsb usb;
    lxtest::EventLog ev;
    TarnDownload d(usb, ev);
    std::string p = lxtest::Program(true);
    p[p.find("ABCD")] = 'B';
    EXPECT_FALSE(d.CPLDBurn(reinterpret_cast<const uint8_t*>(p.data()), p.size()));
    EXPECT_EQ(usb.features.cpld.Clocks(), 0u);
    EXPECT_FALSE(usb.features.engine.Active());
    EXPECT_EQ(usb.Requests(0xE0), 2);
  }
  {
    // The kit stops answering: the run fails instead of reading stale data.
    lxtest::SimKitUsb usb;
    lxtest::EventLog ev;
    TarnDownload d(usb, ev);
    usb.features.engine.DropReady(1);
    std::string p = lxtest::Program(true);
    EXPECT_FALSE(d.CPLDBurn(reinterpret_cast<const uint8_t*>(p.data()), p.size()));
    EXPECT_FALSE(usb.features.engine.Active());
  }
}

// A programming file shaped as an FPGA maker's tool writes them: notes, a data block holding the
// configuration as one large Boolean array, and a procedure that shifts it frame by frame in a
// loop of DRSCANs, then programs and verifies a row. `tail` runs after the verify.
std::string FrameLoopProgram(int frames, int frameBits, const std::string& tail = "") {
  std::string hex;
  for (int i = 0; i < frames * frameBits / 4; ++i) hex += "0123456789ABCDEF"[(i * 7 + 3) % 16];
  std::string n = std::to_string(frames), bits = std::to_string(frameBits);
  return lxtest::WithCrc(
      "NOTE \"CREATOR\" \"bench frame composer\";\nNOTE \"DEVICE\" \"TESTFPGA\";\n"
      "ACTION PROGRAM = DO_INIT, DO_PROGRAM, DO_VERIFY RECOMMENDED;\n"
      "DATA CONFIG;\nINTEGER FRAMES = " + n + ";\nINTEGER FRAME_BITS = " + bits + ";\n"
      "BOOLEAN FRAME_DATA[" + std::to_string(frames * frameBits) + "] = $" + hex + ";\n"
      "BOOLEAN DONE_ROW[16] = $C0DE;\nENDDATA;\n"
      "PROCEDURE DO_INIT;\nIRSTOP IRPAUSE;\nDRSTOP DRPAUSE;\nSTATE RESET;\nSTATE IDLE;\nENDPROC;\n"
      "PROCEDURE DO_PROGRAM USES CONFIG;\nINTEGER I;\nINTEGER BASE;\n"
      "IRSCAN 8, $EE;\n"
      "FOR I = 0 TO FRAMES - 1;\nBASE = I * FRAME_BITS;\n"
      "DRSCAN FRAME_BITS, FRAME_DATA[BASE + FRAME_BITS - 1 .. BASE];\nWAIT IDLE, 4 CYCLES;\nNEXT I;\n"
      "IRSCAN 8, $20;\nDRSCAN 8, $03;\nIRSCAN 8, $21;\nDRSCAN 16, DONE_ROW[15..0];\nWAIT IDLE, 30 CYCLES;\n"
      "PRINT \"frames shifted: \", I + 1;\nENDPROC;\n"
      "PROCEDURE DO_VERIFY USES CONFIG;\nBOOLEAN OK;\n"
      "IRSCAN 8, $20;\nDRSCAN 8, $03;\nIRSCAN 8, $22;\nDRSCAN 16, $0000, COMPARE DONE_ROW[15..0], $FFFF, OK;\n"
      "IF !OK THEN EXIT 11;\n" + tail + "ENDPROC;\n");
}

// A long programming run keeps shifting data: however many statements and clocks it takes, it is
// not cancelled half-way. A loop that then shifts nothing is stopped, and the job still ends.
TEST(Loader, CpldBurnRunsALongProgrammingLoopToItsEnd) {
  lx::jam::JamLimits stapl;
  stapl.stepBudget = 20000;  // the whole run takes more than ten times as many
  struct Case {
    const char* what;
    std::string tail;
    bool ok;
  } cases[] = {
      {"the whole file", "", true},
      {"an endless wait loop after it", "L: WAIT IDLE, 8 CYCLES;\nGOTO L;\n", false},
  };
  for (const Case& c : cases) {
    lxtest::SimKitUsb usb;
    lxtest::EventLog ev;
    TarnDownload d(usb, ev);
    d.SetLimits(stapl, lx::jtag::VmeLimits());
    std::string p = FrameLoopProgram(2000, 96, c.tail);
    EXPECT_EQ(d.CPLDBurn(reinterpret_cast<const uint8_t*>(p.data()), p.size()), c.ok)
        << c.what << ": " << d.LastError() << "\n" << d.PlayerOutput();
    EXPECT_EQ(ev.messages, std::vector<std::string>{"frames shifted: 2000"}) << c.what;
    EXPECT_GT(usb.features.cpld.Clocks(), 2000u * 96u) << c.what;
    EXPECT_EQ(usb.features.cpld.Row(3), 0xC0DEu) << c.what;
    EXPECT_EQ(d.PlayerOutput().find("execution cancelled") != std::string::npos, !c.ok) << c.what;
    EXPECT_FALSE(usb.features.engine.Active()) << c.what;
  }
}

// ---------------------------------------------------------------- USB controller

TEST(Loader, UsbOnTheFlyLoadsRamRecords) {
  lxtest::SimKitUsb usb;
  lxtest::EventLog ev;
  TarnDownload d(usb, ev);
  std::vector<uint8_t> img = lxtest::MakeBootImage({{0x0000, Payload(64)}, {0x0800, {9, 8, 7}}});
  ASSERT_TRUE(d.USBOnTheFly(img.data(), img.size())) << d.LastError();
  const auto& ram = usb.features.boot.Ram();
  EXPECT_EQ(ram[0x0801], 8);
  EXPECT_EQ(ram[63], Payload(64)[63]);
  EXPECT_FALSE(usb.features.boot.CpuHeld());
  EXPECT_EQ(usb.features.boot.HoldChanges(), 2u);
  EXPECT_EQ(usb.features.boot.RamLoads(), 2u);

  lxtest::SimKitUsb usb2;
  TarnDownload d2(usb2, ev);
  std::vector<uint8_t> empty = lxtest::MakeBootImage({});
  ASSERT_TRUE(d2.USBOnTheFly(empty.data(), empty.size()));
  EXPECT_EQ(usb2.features.boot.RamLoads(), 0u);

  lxtest::SimKitUsb usb3;
  TarnDownload d3(usb3, ev);
  img[9] = 0xF0;  // first record now claims more bytes than the image has
  EXPECT_FALSE(d3.USBOnTheFly(img.data(), img.size()));
  EXPECT_TRUE(usb3.controls.empty());
}

TEST(Loader, UsbBurnWritesTheEepromAndReenumerates) {
  lxtest::SimKitUsb usb;
  lxtest::EventLog ev;
  TarnDownload d(usb, ev);
  std::vector<uint8_t> img = lxtest::MakeBootImage({{0x0000, Payload(3000)}, {0x2000, Payload(2000)}});
  ASSERT_GT(img.size(), 4096u);
  ASSERT_TRUE(d.USBBurn(img.data(), img.size())) << d.LastError();
  auto& eeprom = usb.features.boot.Eeprom();
  EXPECT_TRUE(std::equal(img.begin(), img.end(), eeprom.begin()));
  EXPECT_EQ(usb.cycles, 1);
  EXPECT_TRUE(usb.features.boot.BootedFromEeprom());
  EXPECT_EQ(usb.features.boot.Ram()[0x2000], Payload(2000)[0]);
}

// The new image goes into the controller's RAM before the EEPROM is touched: a kit that does not
// take every record keeps the EEPROM it had. The scratch RAM is RAM to the host and to the kit alike.
TEST(Loader, UsbBurnProvesTheRamLoadBeforeTheEeprom) {
  std::vector<uint8_t> scratch = lxtest::MakeBootImage({{0x0000, Payload(3000)}, {0xE000, Payload(0x200)}});
  {
    lxtest::SimKitUsb usb;
    lxtest::EventLog ev;
    TarnDownload d(usb, ev);
    ASSERT_TRUE(d.USBBurn(scratch.data(), scratch.size())) << d.LastError();
    EXPECT_TRUE(std::equal(scratch.begin(), scratch.end(), usb.features.boot.Eeprom().begin()));
    EXPECT_TRUE(usb.features.boot.BootedFromEeprom());
    EXPECT_EQ(usb.features.boot.Scratch()[0x1FF], Payload(0x200)[0x1FF]);
  }
  std::vector<uint8_t> img = lxtest::MakeBootImage({{0x0000, Payload(3000)}, {0x2000, Payload(2000)}});
  for (int stallAt : {0x0000, 0x2000}) {
    lxtest::SimKitUsb usb;
    usb.features.boot.StallRamLoadsAt(stallAt);
    lxtest::EventLog ev;
    TarnDownload d(usb, ev);
    EXPECT_FALSE(d.USBBurn(img.data(), img.size())) << stallAt;
    EXPECT_TRUE(std::all_of(usb.features.boot.Eeprom().begin(), usb.features.boot.Eeprom().end(),
                            [](uint8_t b) { return b == 0xFF; }))
        << stallAt;
    EXPECT_EQ(usb.Requests(0xA9), 0) << "no probe, no EEPROM write";
    EXPECT_EQ(usb.cycles, 0);
  }
}

// An image with a record that starts in the scratch RAM and runs past its end loads into RAM
// and into the EEPROM, and the kit boots from it; the bytes above the RAM are lost.
void ExpectLongRecordsLoaded(const kitsim::BootLoader& boot, const lxtest::LongRecordBoot& b) {
  EXPECT_EQ(boot.Scratch(), b.scratch);
  EXPECT_TRUE(std::equal(b.code.begin(), b.code.end(), boot.Ram().begin()));
  EXPECT_EQ(boot.Ram()[0x3FFC], 1);
  EXPECT_EQ(boot.Ram()[0x3FFF], 4);
  EXPECT_FALSE(boot.CpuHeld());
}

TEST(Loader, RecordsRunningPastTheRamLoad) {
  lxtest::LongRecordBoot b = lxtest::MakeLongRecordBoot();
  {
    lxtest::SimKitUsb usb;
    lxtest::EventLog ev;
    TarnDownload d(usb, ev);
    ASSERT_TRUE(d.USBOnTheFly(b.image.data(), b.image.size())) << d.LastError();
    EXPECT_EQ(usb.features.boot.RamLoads(), 5u);
    ExpectLongRecordsLoaded(usb.features.boot, b);
  }
  {
    lxtest::SimKitUsb usb;
    lxtest::EventLog ev;
    TarnDownload d(usb, ev);
    ASSERT_TRUE(d.USBBurn(b.image.data(), b.image.size())) << d.LastError();
    EXPECT_TRUE(ev.messages.empty());
    EXPECT_TRUE(std::equal(b.image.begin(), b.image.end(), usb.features.boot.Eeprom().begin()));
    EXPECT_EQ(usb.cycles, 1);
    EXPECT_TRUE(usb.features.boot.BootedFromEeprom());
    ExpectLongRecordsLoaded(usb.features.boot, b);
  }
}

TEST(Loader, UsbBurnStopsWhenTheProbeReturnsNothing) {
  lxtest::SimKitUsb usb;
  usb.silentProbe = true;
  lxtest::EventLog ev;
  TarnDownload d(usb, ev);
  std::vector<uint8_t> img = lxtest::MakeBootImage({{0x0000, Payload(100)}});
  EXPECT_FALSE(d.USBBurn(img.data(), img.size()));
  EXPECT_EQ(usb.cycles, 0);
  EXPECT_EQ(usb.features.boot.Eeprom()[0], 0xFF);
  EXPECT_EQ(usb.Requests(0xA9), 1);  // the probe, and no EEPROM write after it
}

}  // namespace
