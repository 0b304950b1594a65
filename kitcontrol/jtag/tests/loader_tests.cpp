// The firmware and logic loader against the simulated kit: boot loader, JTAG jobs, targets.
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
  EXPECT_EQ(parse(lxtest::MakeBootImage({{0x3FF0, Payload(32)}})), lx::fw::FW_BAD_ADDRESS);
  EXPECT_EQ(parse(lxtest::MakeBootImage({{0xE600, {0}}})), lx::fw::FW_BAD_ADDRESS);
  EXPECT_EQ(parse(std::vector<uint8_t>(0x10001, 0)), lx::fw::FW_TOO_LARGE);
  EXPECT_EQ(lx::fw::HelperFirmware().size(), lx::fw::kHelperFirmwareSize);
  EXPECT_EQ(parse(lx::fw::HelperFirmware()), 0);
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
  struct Case { std::vector<uint8_t> alg, data; } cases[] = {{badHeader, good.data}, {wrong.algorithm, wrong.data}};
  for (const Case& c : cases) {
    lxtest::SimKitUsb usb;
    lxtest::EventLog ev;
    TarnDownload d(usb, ev);
    EXPECT_FALSE(d.FPGABurn(c.alg.data(), c.alg.size(), c.data.data(), c.data.size()));
    EXPECT_FALSE(usb.features.engine.Active());
    EXPECT_EQ(usb.Requests(0xE0), 2);
    EXPECT_EQ(usb.features.fpga.State(), kitsim::kTapReset);
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
