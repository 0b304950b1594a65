#include "nor_core.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>

#include "tests/fake_tool_host.h"
#include "tests/scratch_files.h"
#include "test_files.h"

namespace {

using lx::CNorSectorTable;

// A device of blocks with given sizes; statuses are the block index plus 0x1100.
class Blocks : public lx::NorBlockSource {
 public:
  explicit Blocks(std::vector<uint32_t> sizes) : sizes_(std::move(sizes)) {}
  uint32_t BlockSize(uint32_t i) override { return i < sizes_.size() ? sizes_[i] : 0; }
  int BlockStatus(uint32_t i, uint16_t* status) override {
    *status = static_cast<uint16_t>(0x1100 + i);
    return 0;
  }
  std::vector<uint32_t> sizes_;
};

TEST(NorSectorTable, StartsFollowSizesAndIndexOfFindsTheHoldingSector) {
  Blocks device({0x2000, 0x2000, 0x10000, 0x10000});
  CNorSectorTable table;
  ASSERT_EQ(table.Build(device), 0);
  ASSERT_EQ(table.count, 4);
  EXPECT_EQ(table.start, (std::vector<uint32_t>{0, 0x2000, 0x4000, 0x14000}));
  EXPECT_EQ(table.index, (std::vector<uint32_t>{0, 1, 2, 3}));
  EXPECT_EQ(table.status[3], 0x1103);
  EXPECT_EQ(table.End(3), 0x23FFFu);
  const std::pair<uint32_t, int> cases[] = {{0, 0}, {0x1FFF, 0}, {0x2000, 1}, {0x13FFF, 2}, {0x14000, 3},
                                            {0x24000, 3}, {0xFFFFFFFF, 3}};
  for (auto c : cases) EXPECT_EQ(table.IndexOf(c.first), c.second) << std::hex << c.first;
  table.Free();
  EXPECT_EQ(table.count, 0);
  EXPECT_TRUE(table.size.empty());
}

TEST(NorSectorTable, AnEmptyTableHoldsNoAddressAndProgramWithEraseIsRefused) {
  Blocks none({});
  CNorSectorTable table;
  table.Build(none);
  EXPECT_EQ(table.count, 0);
  EXPECT_EQ(table.IndexOf(0), -1);
  lx::EraseRewritePlan plan = lx::PlanEraseRewrite(table, 0, 4096);
  EXPECT_FALSE(plan.ok);
  ASSERT_NE(plan.refusal, nullptr);
  EXPECT_NE(std::string(plan.refusal).find("no sector table"), std::string::npos) << plan.refusal;
}

TEST(NorSectorTable, ANegativeSizeEndsTheTableAndStartsNeverPassFourGiB) {
  Blocks negative({0x10000, 0xFFFFFFFF, 0x10000});
  CNorSectorTable a;
  a.Build(negative);
  EXPECT_EQ(a.count, 1);
  Blocks huge(std::vector<uint32_t>(20, 0x40000000));
  CNorSectorTable b;
  b.Build(huge);
  EXPECT_EQ(b.count, 4);
}

TEST(NorSectorTable, EraseRewritePlans) {
  Blocks device({0x2000, 0x2000, 0x10000, 0x10000});
  CNorSectorTable table;
  table.Build(device);
  struct Case {
    uint32_t address, window;
    bool ok;
    int sector;
    uint32_t windows;
  } cases[] = {
      {0x15000, 0x1000, true, 3, 16},   // 4 KiB windows of a 64 KiB sector
      {0x2000, 0x2000, true, 1, 1},     // the window is the sector
      {0x0000, 0x4000, false, 0, 0},    // a window larger than its sector
      {0x4000, 0x3000, false, 2, 0},    // a sector that is no multiple of the window
  };
  for (const Case& c : cases) {
    lx::EraseRewritePlan plan = lx::PlanEraseRewrite(table, c.address, c.window);
    EXPECT_EQ(plan.ok, c.ok) << std::hex << c.address;
    if (c.ok) {
      EXPECT_EQ(plan.sector, c.sector);
      EXPECT_EQ(plan.windows, c.windows);
      EXPECT_EQ(plan.sectorStart, table.start[size_t(c.sector)]);
    }
  }
}

TEST(NorWindows, CountClampAndLabels) {
  EXPECT_EQ(lx::NorWindowCount(8u << 20, 4096), 2048);
  EXPECT_EQ(lx::NorWindowCount(0, 4096), 0);
  EXPECT_EQ(lx::NorWindowCount(1ull << 50, 1024), 0x7FFFFFFF);
  const std::tuple<int64_t, int32_t, int32_t> clamps[] = {{-5, 10, 0}, {99999, 256, 255}, {3, 10, 3}, {3, 0, 0}};
  for (auto c : clamps) EXPECT_EQ(lx::ClampWindowIndex(std::get<0>(c), std::get<1>(c)), std::get<2>(c));
  EXPECT_EQ(lx::NorRowsPerWindow(1024), 64);
  EXPECT_EQ(lx::NorRowsPerWindow(32768), 2048);
  EXPECT_EQ(lx::NorRowLabel(3 * 4096), "0x00003000");
}

TEST(NorFindPattern, HexAndAsciiTexts) {
  std::vector<uint8_t> p;
  EXPECT_EQ(lx::ParseNorPattern("AA 55 a5 5a 0a 50", 1, 1024, &p), lx::NorPatternError::kNone);
  EXPECT_EQ(p, (std::vector<uint8_t>{0xAA, 0x55, 0xA5, 0x5A, 0x0A, 0x50}));
  lx::ParseNorPattern("aa55", 1, 1024, &p);
  EXPECT_EQ(p, (std::vector<uint8_t>{0xAA, 0x55}));
  lx::ParseNorPattern("a 5", 1, 1024, &p);
  EXPECT_EQ(p, (std::vector<uint8_t>{0xA0, 0x50}));
  EXPECT_EQ(lx::ParseNorPattern("zz", 1, 1024, &p), lx::NorPatternError::kNotHex);
  EXPECT_EQ(lx::ParseNorPattern("", 0, 1024, &p), lx::NorPatternError::kEmpty);
  EXPECT_EQ(lx::ParseNorPattern("Ab", 0, 1024, &p), lx::NorPatternError::kNone);
  EXPECT_EQ(p, (std::vector<uint8_t>{'A', 'b'}));
  EXPECT_EQ(lx::ParseNorPattern(std::string(1025, 'x'), 0, 1024, &p), lx::NorPatternError::kTooLong);
}

// A device of `windows` windows of 1 KiB, erased, with bytes placed by address.
struct Device {
  std::vector<uint8_t> bytes;
  int reads = 0;
  int failAt = -1;  // a window whose read fails
  static int Read(void* context, uint32_t address, uint32_t length, uint8_t* buffer) {
    auto* d = static_cast<Device*>(context);
    ++d->reads;
    if (d->failAt >= 0 && address / 1024 == uint32_t(d->failAt)) return -1;
    if (address + length > d->bytes.size()) return -1;
    std::memcpy(buffer, d->bytes.data() + address, length);
    return 0;
  }
};

lx::NorFind Find(Device& device, std::vector<uint8_t> pattern, int32_t current, bool range) {
  lx::NorFind f;
  f.read = Device::Read;
  f.context = &device;
  f.windowSize = 1024;
  f.windowCount = static_cast<int32_t>(device.bytes.size() / 1024);
  f.current = f.start = current;
  f.to = f.windowCount - 1;
  f.range = range;
  f.pattern = std::move(pattern);
  return f;
}

TEST(NorFind, HitsAtTheFirstAndTheLastByteOfTheDevice) {
  Device d{std::vector<uint8_t>(8 * 1024, 0xFF)};
  d.bytes.front() = 0x5A;
  d.bytes.back() = 0x5A;
  lx::NorFind f = Find(d, {0x5A}, 0, true);
  lx::NorFindResult r = lx::RunNorFind(f);
  ASSERT_EQ(r.outcome, lx::NorFindOutcome::kHit);
  EXPECT_EQ(r.window, 0);
  EXPECT_EQ(r.offset, 0);
  r = lx::RunNorFind(f);
  ASSERT_EQ(r.outcome, lx::NorFindOutcome::kHit);  // a search bound of `<` missed this byte
  EXPECT_EQ(r.window, 7);
  EXPECT_EQ(r.offset, 1023);
  // After a hit at a window's last byte the next step starts at the next window's byte 0; past
  // the device there is nothing more, and the search ends instead of running on.
  EXPECT_EQ(f.current, 8);
  EXPECT_EQ(f.position, 0);
  EXPECT_EQ(lx::RunNorFind(f).outcome, lx::NorFindOutcome::kNotFound);
}

TEST(NorFind, APatternSpanningTwoWindowsIsFoundInTheFirstOnce) {
  Device d{std::vector<uint8_t>(4 * 1024, 0x00)};
  const uint8_t text[] = {'S', 'P', 'A', 'N'};
  std::memcpy(d.bytes.data() + 2 * 1024 - 2, text, 4);
  lx::NorFind f = Find(d, {'S', 'P', 'A', 'N'}, 0, true);
  lx::NorFindResult r = lx::RunNorFind(f);
  ASSERT_EQ(r.outcome, lx::NorFindOutcome::kHit);
  EXPECT_EQ(r.window, 1);
  EXPECT_EQ(r.offset, 1022);
  EXPECT_EQ(lx::RunNorFind(f).outcome, lx::NorFindOutcome::kNotFound);
  // In the last window of the range the pattern must fit.
  lx::NorFind g = Find(d, {'S', 'P', 'A', 'N'}, 1, true);
  g.to = 1;
  EXPECT_EQ(lx::RunNorFind(g).outcome, lx::NorFindOutcome::kNotFound);
}

TEST(NorFind, RangesScopesAndStops) {
  Device d{std::vector<uint8_t>(8 * 1024, 0xFF)};
  d.bytes[5 * 1024 + 7] = 0x11;
  // The current data only: window 2 has no hit.
  lx::NorFind current = Find(d, {0x11}, 2, false);
  EXPECT_EQ(lx::RunNorFind(current).outcome, lx::NorFindOutcome::kNotFound);
  EXPECT_EQ(current.current, 2);
  // An end below the current window searches that window alone (it used to search on forever).
  lx::NorFind below = Find(d, {0x11}, 2, true);
  below.to = 1;
  d.reads = 0;
  EXPECT_EQ(lx::RunNorFind(below).outcome, lx::NorFindOutcome::kNotFound);
  EXPECT_EQ(d.reads, 1);
  EXPECT_EQ(below.current, 2);
  // Stop between windows.
  lx::NorFind stopped = Find(d, {0x11}, 0, true);
  stopped.tick = [](void*, int percent) { return percent < 30; };
  lx::NorFindResult r = lx::RunNorFind(stopped);
  EXPECT_EQ(r.outcome, lx::NorFindOutcome::kStopped);
  // A window that cannot be read is reported, not searched as garbage.
  d.failAt = 3;
  lx::NorFind failing = Find(d, {0x11}, 0, true);
  r = lx::RunNorFind(failing);
  EXPECT_EQ(r.outcome, lx::NorFindOutcome::kReadError);
  EXPECT_EQ(r.window, 3);
}

TEST(NorFind, DifferentFindsTheFirstChunkThatDiffers) {
  Device d{std::vector<uint8_t>(2 * 1024, 0xFF)};
  lx::NorFind erased = Find(d, {0xFF}, 0, false);
  erased.different = true;
  EXPECT_EQ(lx::RunNorFind(erased).outcome, lx::NorFindOutcome::kNotFound);
  d.bytes[0x123] = 0x00;
  lx::NorFind f = Find(d, {0xFF}, 0, false);
  f.different = true;
  lx::NorFindResult r = lx::RunNorFind(f);
  ASSERT_EQ(r.outcome, lx::NorFindOutcome::kHit);
  EXPECT_EQ(r.offset, 0x123);
  // Two-byte chunks: the chunk that holds 0x123 starts at 0x122.
  lx::NorFind pairs = Find(d, {0xFF, 0xFF}, 0, false);
  pairs.different = true;
  EXPECT_EQ(lx::RunNorFind(pairs).offset, 0x122);
}

TEST(NorNumbers, AutomaticBase) {
  const std::pair<const char*, uint32_t> cases[] = {{"0x1000", 4096}, {"4096", 4096}, {"010000", 4096}, {"0x", 0},
                                                    {"0x1FF", 0x1FF}, {"010", 8}, {"12ab", 12}};
  for (auto c : cases) {
    uint32_t v = 99;
    EXPECT_TRUE(lx::ParseAutoBase(c.first, &v)) << c.first;
    EXPECT_EQ(v, c.second) << c.first;
  }
  uint32_t v = 0;
  EXPECT_FALSE(lx::ParseAutoBase("", &v));
  EXPECT_FALSE(lx::ParseAutoBase("  ", &v));
}

TEST(NorSheetPages, ByKindCodeAndStartPage) {
  using P = lx::NorPage;
  struct Case {
    int kind, code, start;
    std::vector<P> pages;
  } cases[] = {
      {1, 9, 0, {P::kSectorGeometry, P::kCfiData, P::kProtectGroup, P::kLockRegister, P::kSecSi}},
      {1, 9, 3, {P::kProtectGroup, P::kLockRegister}},
      {1, 9, 6, {P::kSecSi}},
      {1, 9, 2, {P::kCfiData}},
      {3, 9, 0, {P::kSectorGeometry, P::kCfiData}},
      {3, 9, 1, {}},
      {1, 9, 7, {}},
      {2, 3006, 0, {P::kSectorGeometry, P::kCfiData, P::kSpiProtectGroup, P::kProtectGroup, P::kAspRegister,
                    P::kSpiStatus, P::kBessaStatus2, P::kSpiConfiguration, P::kDataLearning, P::kBessaOtp}},
      {2, 3006, 4, {P::kSpiProtectGroup, P::kProtectGroup, P::kAspRegister, P::kSpiStatus, P::kBessaStatus2,
                    P::kSpiConfiguration, P::kDataLearning}},
      {2, 3002, 0, {P::kSectorGeometry, P::kCfiData, P::kSpiProtectGroup, P::kMarroStatus1, P::kMarroStatus2,
                    P::kMarroStatus3, P::kMarroOtp}},
      {2, 3003, 6, {}},
      {2, 10, 6, {P::kPirelOtp}},
      {2, 3004, 5, {P::kSpiProtectGroup, P::kSpiStatus, P::kSpiConfiguration}},
      {2, 3005, 0, {P::kSectorGeometry, P::kCfiData, P::kSpiProtectGroup, P::kSpiStatus}},
      {2, 77, 0, {P::kSectorGeometry, P::kCfiData, P::kSpiProtectGroup}},
  };
  for (const Case& c : cases)
    EXPECT_EQ(lx::GeometrySheetPages(c.kind, c.code, c.start), c.pages) << c.kind << " " << c.code << " " << c.start;
}

TEST(NorSheetLists, SectorGeometryAndProtectionLines) {
  Blocks device({0x10000, 0x10000, 0x10000});
  CNorSectorTable table;
  table.Build(device);
  table.status = {0x0800 | 0x0100 | 0x03, 0x1000, 0x0100 | 0x1000};
  std::vector<std::string> g = lx::SectorGeometryLines(table);
  ASSERT_EQ(g.size(), 6u);
  EXPECT_EQ(g[2], std::string(66, '-'));
  EXPECT_EQ(g[4], "     1  0x00010000  0x0001FFFF     64 KBytes");
  std::vector<std::string> p = lx::ProtectionListLines(table, 1);
  ASSERT_EQ(p.size(), 7u);
  EXPECT_EQ(p[1], "Unique Device PPB Lock Bit has been locked.");
  EXPECT_EQ(p[2], "PGrp #  Start Addr   End Addr   Lock Reg      PPB          DYB");
  EXPECT_EQ(p[4], "     0  0x00000000  0x0000FFFF    0x03    Unprotected  Protected  ");
  EXPECT_EQ(p[5], "     1  0x00010000  0x0001FFFF    0x00    Protected    Unprotected");
  EXPECT_EQ(lx::ProtectionListLines(table, 2)[2], "PGrp #  Start Addr   End Addr    ASP Reg      PPB          DYB");
  table.status[0] = 0x20;
  EXPECT_EQ(lx::DeviceVariant(table), 1);
}

TEST(NorSheetLists, LockRegisterBoxesTravelInTheModulesStatusBits) {
  // The customer SSR lock box is status bit 4 (the module maps it to lock bit 6); nothing may
  // land in bit 6 of the word, which the module would not read as that box.
  int boxes[5] = {1, 0, 1, 1, 1};
  EXPECT_EQ(lx::LockRegisterValue(boxes), 0x1Du);
  int back[5];
  lx::LockRegisterBoxes(0x12, back);
  EXPECT_EQ((std::vector<int>(back, back + 5)), (std::vector<int>{0, 1, 0, 0, 1}));
}

TEST(NorSheetLists, HexDumpOfOneKiB) {
  std::vector<uint8_t> bytes(1024);
  for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = uint8_t(i);
  std::string dump = lx::HexDump1024(bytes.data(), 0x7F0000);
  EXPECT_EQ(dump.substr(0, 14), "           00 ");
  EXPECT_NE(dump.find("\r\n0x007F0010 10 11 12 13 14 15 16 17 18 19 1A 1B 1C 1D 1E 1F \r\n"), std::string::npos);
  EXPECT_NE(dump.find("0x007F03F0 F0 "), std::string::npos);
}

TEST(SpiProtection, BpLayoutRanges) {
  std::vector<lx::ProtectRow> top = lx::BpProtectionRows(0x800000, false);
  ASSERT_EQ(top.size(), 9u);
  EXPECT_EQ(top[4].cells, (std::vector<std::string>{"0", "1", "1", "0x00780000 - 0x007FFFFF", "0x00000000 - 0x0077FFFF", "1/16"}));
  EXPECT_EQ(top[1].cells[3], "None");
  EXPECT_EQ(top[8].cells[5], "All");
  std::vector<lx::ProtectRow> bottom = lx::BpProtectionRows(0x800000, true);
  EXPECT_EQ(bottom[4].cells[3], "0x00000000 - 0x0007FFFF");
  EXPECT_EQ(bottom[4].cells[4], "0x00080000 - 0x007FFFFF");
  EXPECT_EQ(lx::BpEntryFromStatus(0x8C), 3);
  EXPECT_EQ(lx::BpApply(0xE3 | 0x1C, 2), 0xE3 | 0x08);
  EXPECT_EQ(lx::BpSelectorEntries()[5], "[BP2]1 [BP1]0 [BP0]1");
}

TEST(SpiProtection, SecLayoutRangesWithAndWithoutComplement) {
  const uint32_t s = 0x400000;
  std::vector<int> values = lx::SecValues(false);
  ASSERT_EQ(values.size(), 22u);
  const size_t row17 = size_t(std::find(values.begin(), values.end(), 17) - values.begin()) + 1;
  std::vector<lx::ProtectRow> plain = lx::SecProtectionRows(s, false);
  ASSERT_EQ(plain.size(), 23u);
  EXPECT_EQ(plain[row17].cells, (std::vector<std::string>{"1", "0", "0", "0", "1", "0x003FF000 - 0x003FFFFF", "4 KB",
                                                          "Upper 1/1024"}));
  std::vector<lx::ProtectRow> complement = lx::SecProtectionRows(s, true);
  EXPECT_EQ(complement[row17].cells[5], "0x00000000 - 0x003FEFFF");
  EXPECT_EQ(complement[row17].cells[6], "4092 KB");
  EXPECT_EQ(complement[row17].cells[7], "Lower 1023/1024");
  // v = 0 and the last row of group B swap "None" and "All" under the complement.
  EXPECT_EQ(plain[1].cells[7], "None");
  EXPECT_EQ(complement[1].cells[7], "All");
  EXPECT_EQ(plain[14].cells[7], "All");
  EXPECT_EQ(plain[14].cells[0], "X");
  EXPECT_EQ(complement[14].cells[5], "None");
  // Group A, v = 3: the upper 1/16 (U = S / 64).
  EXPECT_EQ(plain[4].cells[5], "0x003C0000 - 0x003FFFFF");
  EXPECT_EQ(plain[4].cells[7], "Upper 1/16");
}

TEST(SpiProtection, SecLayoutEntriesOfTwoMiBAndOtherDevices) {
  std::vector<std::string> two = lx::SecSelectorEntries(true);
  ASSERT_EQ(two.size(), 20u);
  EXPECT_EQ(lx::SecProtectionRows(0x200000, false).size(), 21u);
  EXPECT_EQ(two[11], "[SEC]X [TB]X [BP2]1 [BP1]1 [BP0]X");
  EXPECT_EQ(lx::SecEntryFromStatus(0x18, true), 11);
  std::vector<std::string> other = lx::SecSelectorEntries(false);
  EXPECT_EQ(other[0], "[SEC]X [TB]X [BP2]0 [BP1]0 [BP0]0");
  EXPECT_EQ(other[13], "[SEC]X [TB]X [BP2]1 [BP1]1 [BP0]1");
  EXPECT_EQ(other[17], "[SEC]1 [TB]0 [BP2]1 [BP1]0 [BP0]X");
  // Writing the last entry of group B: SEC 0, TB 0, BP 111 in bits 6..2, bits 7, 1, 0 as read.
  EXPECT_EQ(lx::SecApply(0x83, 13, false), 0x83 | (7 << 2));
  // Each entry's value reads back as that entry.
  for (bool twoMiB : {false, true}) {
    std::vector<int> values = lx::SecValues(twoMiB);
    for (size_t i = 0; i < values.size(); ++i) {
      const uint8_t status = lx::SecApply(0, int(i), twoMiB);
      EXPECT_EQ(lx::SecEntryFromStatus(status, twoMiB), int(i)) << twoMiB << " " << i;
    }
  }
  for (int unmatched : {8, 16, 24}) EXPECT_EQ(lx::SecEntryFromStatus(uint8_t(unmatched << 2), false), 0);
}

TEST(SpiOtp, AddressesAndLockBits) {
  EXPECT_EQ(lx::PirelOtpAddress(32, 9), 0x2FFu);  // OTP31 offset 9
  EXPECT_EQ(lx::PirelOtpAddress(1, 7), 0x111u);   // ESN2 offset 7
  EXPECT_EQ(lx::PirelOtpAddress(18, 0), 0x216u);  // OTP17 offset 0
  EXPECT_EQ(lx::PirelLock(10).address, 0x113u);   // OTP9
  EXPECT_EQ(lx::PirelLock(10).bit, 0);
  EXPECT_EQ(lx::PirelLock(32).address, 0x215u);
  EXPECT_EQ(lx::PirelLock(32).bit, 6);
  EXPECT_EQ(lx::PirelOffsetEntries(32).size(), 10u);
  EXPECT_EQ(lx::PirelRegionNames().size(), 33u);
  EXPECT_EQ(lx::BessaOtpAddress(0, 16), 0x10u);
  EXPECT_EQ(lx::BessaOtpAddress(5, 31), 0xBFu);
  EXPECT_EQ(lx::BessaLock(31).address, 0x13u);
  EXPECT_EQ(lx::BessaLock(31).bit, 7);
  EXPECT_EQ(lx::BessaOffsetEntries(0), (std::vector<std::string>{"16", "17", "18", "19"}));
  EXPECT_EQ(lx::MarroSecurityAddress(1, 0xFF), 0x20FFu);
}

TEST(SpiOtp, Dumps) {
  std::vector<uint8_t> image(768, 0xFF);
  image[0x113] = 0xFE;  // OTP9 locked
  image[0x102] = 0x12;
  std::string pirel = lx::PirelOtpDump(image.data());
  EXPECT_NE(pirel.find("ESN 1  unlock  12 FF FF FF FF FF FF FF \r\n"), std::string::npos) << pirel;
  EXPECT_NE(pirel.find("OTP 9   lock   FF "), std::string::npos);
  EXPECT_NE(pirel.find("OTP31  unlock  FF FF FF FF FF FF FF FF FF FF \r\n"), std::string::npos);
  std::vector<uint8_t> area(1024, 0x00);
  area[0x10] = 0xFE;
  std::string bessa = lx::BessaOtpDump(area.data());
  EXPECT_NE(bessa.find("OTP 0   lock   "), std::string::npos);
  EXPECT_NE(bessa.find("OTP 1  unlock  "), std::string::npos);
  std::vector<uint8_t> regs(768, 0xAB);
  std::string marro = lx::MarroSecurityDump(regs.data(), 0x20, true);
  EXPECT_NE(marro.find("Security Registers-3 : protected"), std::string::npos);
  EXPECT_NE(marro.find("Security Registers-1 : not protected"), std::string::npos);
  EXPECT_NE(marro.find("0x00002000     AB "), std::string::npos);
  EXPECT_NE(marro.find("0x000030F0     AB "), std::string::npos);
  EXPECT_NE(lx::MarroSecurityDump(regs.data(), 0, false).find("unknown"), std::string::npos);
}

}  // namespace

// ---- the explorer's loops ------------------------------------------------------------------------
namespace loops {

using lx::testing::FakeToolHost;
using lxtest::ReadBytes;
using lx::testing::TempPath;
using lx::testing::WriteAll;

// Flash bytes that programming only clears; a failure can be set at one address of each kind.
class FakeNor : public lx::NorDeviceIo {
 public:
  FakeNor(uint32_t bytes, std::vector<uint32_t> sectorSizes) : data(bytes, 0xFF), sizes(std::move(sectorSizes)) {}
  int Read(uint32_t address, uint32_t length, uint8_t* buffer) override {
    ++reads;
    if (Hits(failReadAt, address, length) || uint64_t(address) + length > data.size()) return -1;
    std::memcpy(buffer, &data[address], length);
    return 0;
  }
  int Program(uint32_t address, uint32_t length, const uint8_t* bytes) override {
    if (Hits(failProgramAt, address, length) || uint64_t(address) + length > data.size()) return -1;
    for (uint32_t i = 0; i < length; ++i) data[address + i] &= bytes[i];
    programmed.push_back(address);
    return 0;
  }
  int EraseSector(uint32_t sector) override {
    ++erases;
    if (failErase) return -1;
    uint32_t start = 0;
    for (uint32_t i = 0; i < sector; ++i) start += sizes[i];
    std::fill(data.begin() + start, data.begin() + start + sizes[sector], 0xFF);
    if (onErase) *onErase = true;
    return 0;
  }
  static bool Hits(int64_t at, uint32_t address, uint32_t length) {
    return at >= 0 && at >= address && at < int64_t(address) + length;
  }
  std::vector<uint8_t> data;
  std::vector<uint32_t> sizes;
  int64_t failReadAt = -1, failProgramAt = -1;
  bool failErase = false;
  bool* onErase = nullptr;
  int reads = 0, erases = 0;
  std::vector<uint32_t> programmed;
};


std::vector<uint8_t> Pattern(size_t bytes, uint8_t seed) {
  std::vector<uint8_t> v(bytes);
  for (size_t i = 0; i < v.size(); ++i) v[i] = uint8_t(i * 7 + seed);
  return v;
}

// Sectors of 8 KiB, 8 KiB and 64 KiB; windows of 2 KiB.
constexpr uint32_t kWindow = 0x800;
struct Rewrite {
  FakeNor nor{0x14000, {0x2000, 0x2000, 0x10000}};
  CNorSectorTable table;
  std::vector<uint8_t> before;
  Rewrite() {
    Blocks blocks(nor.sizes);
    table.Build(blocks);
    for (size_t i = 0; i < nor.data.size(); ++i) nor.data[i] = uint8_t(i ^ (i >> 8));
    before = nor.data;
  }
};

TEST(NorRewriteSector, TheSectorKeepsItsOtherWindowsAndTakesTheEditedOne) {
  // The window is the sector's first, a middle one, its last; the sector the device's last.
  for (uint32_t address : {0x2000u, 0x3000u, 0x3800u, 0x13800u}) {
    Rewrite r;
    const std::vector<uint8_t> window = Pattern(kWindow, 0x31);
    const lx::EraseRewritePlan plan = lx::PlanEraseRewrite(r.table, address, kWindow);
    ASSERT_TRUE(plan.ok);
    FakeToolHost host;
    const std::string scratch = TempPath("scratch.bin");
    const lx::NorLoopResult result = lx::RewriteSectorWithWindow(r.nor, host, plan, address, window, scratch);
    EXPECT_TRUE(result.finished);
    EXPECT_EQ(result.done, plan.windows);
    EXPECT_EQ(host.said, std::vector<std::string>{"Program finished."});
    EXPECT_EQ(host.busy, 0);
    std::vector<uint8_t> expected = r.before;
    std::copy(window.begin(), window.end(), expected.begin() + address);
    EXPECT_TRUE(r.nor.data == expected) << std::hex << address;
    // The scratch file holds the sector as it was.
    const std::vector<uint8_t> saved = ReadBytes(scratch);
    EXPECT_TRUE(saved == std::vector<uint8_t>(r.before.begin() + plan.sectorStart,
                                              r.before.begin() + plan.sectorStart + plan.windows * kWindow));
    std::remove(scratch.c_str());
  }
}

// A folder of its own for the scratch file of a rewrite and the files kept beside it.
std::string FreshFolder(const std::string& name) {
  const std::string folder = TempPath(name);
  std::filesystem::remove_all(folder);
  std::filesystem::create_directories(folder);
  return folder + "/";
}

TEST(NorRewriteSector, AFailureBeforeTheProgramsEndsItAndSaysWhatWasDone) {
  struct Case {
    const char* name;
    int64_t failReadAt;
    bool failErase, badScratch;
    std::vector<std::string> parts;
  } cases[] = {
      {"read while saving", 0x2900, false, false, {"Failed to read a source data."}},
      {"scratch file", -1, false, true, {"Failed to create a temporary file."}},
      {"erase", -1, true, false, {"Error: Erase failed at erase sector #1\nThe sector may be partly erased; its data, "
                                  "with your edit, are kept in \""}},
  };
  for (const Case& c : cases) {
    Rewrite r;
    const lx::EraseRewritePlan plan = lx::PlanEraseRewrite(r.table, 0x2800, kWindow);
    ASSERT_TRUE(plan.ok);
    r.nor.failReadAt = c.failReadAt;
    r.nor.failErase = c.failErase;
    FakeToolHost host;
    const std::string folder = FreshFolder("before");
    const std::string scratch = c.badScratch ? lx::testing::kNowherePath : folder + "__temp__.bin";
    const std::vector<uint8_t> window = Pattern(kWindow, 9);
    const lx::NorLoopResult result = lx::RewriteSectorWithWindow(r.nor, host, plan, 0x2800, window, scratch);
    EXPECT_FALSE(result.finished) << c.name;
    EXPECT_EQ(result.done, 0u) << c.name;
    EXPECT_TRUE(r.nor.programmed.empty()) << c.name;
    ASSERT_EQ(host.said.size(), 1u) << c.name;
    EXPECT_EQ(host.Last().find("finished"), std::string::npos) << c.name << ": " << host.Last();
    for (const std::string& part : c.parts) EXPECT_NE(host.Last().find(part), std::string::npos) << c.name << ": " << host.Last();
    EXPECT_TRUE(r.nor.data == r.before) << c.name;
    // A failed erase may have taken some of the sector: the sector as meant is kept.
    const std::string kept = folder + "__sector_1__.bin";
    EXPECT_EQ(std::filesystem::exists(kept), c.failErase) << c.name;
    if (c.failErase) {
      EXPECT_NE(host.Last().find(kept), std::string::npos) << host.Last();
      std::vector<uint8_t> meant(r.before.begin() + 0x2000, r.before.begin() + 0x4000);
      std::copy(window.begin(), window.end(), meant.begin() + 0x800);
      EXPECT_TRUE(ReadBytes(kept) == meant);
    }
    std::filesystem::remove_all(folder);
  }
}

// A window program that fails after the erase, before the edited window, on it and after it: the
// other windows are all programmed, only the failing one is lost, and the file kept beside the
// scratch file holds the sector as the user meant it.
TEST(NorRewriteSector, AProgramThatFailsAfterTheEraseLosesOnlyThatWindowAndKeepsTheSectorAsMeant) {
  for (const uint32_t failing : {0x2000u, 0x2800u, 0x3800u}) {
    SCOPED_TRACE(::testing::Message() << std::hex << "failing 0x" << failing);
    Rewrite r;
    const lx::EraseRewritePlan plan = lx::PlanEraseRewrite(r.table, 0x2800, kWindow);
    ASSERT_TRUE(plan.ok);
    r.nor.failProgramAt = failing + 0x10;
    FakeToolHost host;
    const std::string folder = FreshFolder("after");
    const std::string scratch = folder + "__temp__.bin";
    const std::vector<uint8_t> window = Pattern(kWindow, 9);
    const lx::NorLoopResult result = lx::RewriteSectorWithWindow(r.nor, host, plan, 0x2800, window, scratch);
    EXPECT_FALSE(result.finished);
    EXPECT_EQ(result.done, 3u);
    EXPECT_EQ(host.busy, 0);
    const std::string kept = folder + "__sector_1__.bin";
    char address[16];
    std::snprintf(address, sizeof address, "0x%08X", failing);
    EXPECT_EQ(host.said, std::vector<std::string>{"Error: Program failed at address " + std::string(address) +
                                                  ": 3 of 4 windows of the sector were programmed.\nSector #1 was "
                                                  "erased; its data, with your edit, are kept in \"" + kept + "\"."});
    std::vector<uint8_t> meant(r.before.begin() + 0x2000, r.before.begin() + 0x4000);
    std::copy(window.begin(), window.end(), meant.begin() + 0x800);
    // The chip holds the sector as meant but for the failing window, which is left erased; the
    // sectors around it are untouched.
    std::vector<uint8_t> expected = r.before;
    std::copy(meant.begin(), meant.end(), expected.begin() + 0x2000);
    std::fill(expected.begin() + failing, expected.begin() + failing + kWindow, 0xFF);
    EXPECT_TRUE(r.nor.data == expected);
    EXPECT_TRUE(ReadBytes(kept) == meant);
    // The scratch file still holds the sector as it was read.
    EXPECT_TRUE(ReadBytes(scratch) == std::vector<uint8_t>(r.before.begin() + 0x2000, r.before.begin() + 0x4000));
    std::filesystem::remove_all(folder);
  }
}

// A kept sector stays until the user deletes it: a later good rewrite, a failing one of another
// sector and a later failure of the same sector leave it as it was.
TEST(NorRewriteSector, KeptSectorsAreNeverWrittenOver) {
  Rewrite r;
  const std::string folder = FreshFolder("kept");
  const std::string scratch = folder + "__temp__.bin";
  FakeToolHost host;
  const lx::EraseRewritePlan one = lx::PlanEraseRewrite(r.table, 0x2000, kWindow);
  const lx::EraseRewritePlan zero = lx::PlanEraseRewrite(r.table, 0x0800, kWindow);
  r.nor.failProgramAt = 0x3000;
  EXPECT_FALSE(lx::RewriteSectorWithWindow(r.nor, host, one, 0x2000, Pattern(kWindow, 1), scratch).finished);
  const std::vector<uint8_t> first = ReadBytes(folder + "__sector_1__.bin");
  ASSERT_EQ(first.size(), 4u * kWindow);
  EXPECT_EQ(first[0], Pattern(kWindow, 1)[0]);
  r.nor.failProgramAt = -1;
  EXPECT_TRUE(lx::RewriteSectorWithWindow(r.nor, host, zero, 0x0800, Pattern(kWindow, 2), scratch).finished);
  r.nor.failProgramAt = 0x1000;
  EXPECT_FALSE(lx::RewriteSectorWithWindow(r.nor, host, zero, 0x0800, Pattern(kWindow, 3), scratch).finished);
  EXPECT_EQ(ReadBytes(folder + "__sector_0__.bin").size(), 4u * kWindow);
  r.nor.failProgramAt = 0x3800;
  EXPECT_FALSE(lx::RewriteSectorWithWindow(r.nor, host, one, 0x2000, Pattern(kWindow, 4), scratch).finished);
  EXPECT_TRUE(ReadBytes(folder + "__sector_1__.bin") == first);
  const std::vector<uint8_t> second = ReadBytes(folder + "__sector_1_2__.bin");
  ASSERT_EQ(second.size(), 4u * kWindow);
  EXPECT_EQ(second[0], Pattern(kWindow, 4)[0]);
  EXPECT_NE(host.Last().find("kept in \"" + folder + "__sector_1_2__.bin\"."), std::string::npos) << host.Last();
  std::filesystem::remove_all(folder);
}

TEST(NorRewriteSector, StopIsTakenBeforeTheEraseAndNotAfterIt) {
  {
    Rewrite r;
    const lx::EraseRewritePlan plan = lx::PlanEraseRewrite(r.table, 0x2000, kWindow);
    FakeToolHost host;
    host.stopAtPump = 2;
    const std::string scratch = TempPath("scratch.bin");
    const lx::NorLoopResult result = lx::RewriteSectorWithWindow(r.nor, host, plan, 0x2000, Pattern(kWindow, 1), scratch);
    EXPECT_FALSE(result.finished);
    EXPECT_EQ(r.nor.erases, 0);
    EXPECT_TRUE(r.nor.data == r.before);
    EXPECT_EQ(host.said, std::vector<std::string>{"Stopped before the erase: nothing was erased or programmed."});
    std::remove(scratch.c_str());
  }
  {
    // A stop asked once the sector is erased would leave its data in the scratch file alone.
    Rewrite r;
    const lx::EraseRewritePlan plan = lx::PlanEraseRewrite(r.table, 0x2000, kWindow);
    FakeToolHost host;
    r.nor.onErase = &host.stop;
    const std::string scratch = TempPath("scratch.bin");
    const lx::NorLoopResult result = lx::RewriteSectorWithWindow(r.nor, host, plan, 0x2000, Pattern(kWindow, 1), scratch);
    EXPECT_TRUE(result.finished);
    EXPECT_EQ(r.nor.programmed.size(), 4u);
    EXPECT_EQ(host.Last(), "Program finished.");
    std::remove(scratch.c_str());
  }
}

TEST(NorRewriteSector, AScratchCopyThatCannotBeClosedWholeKeepsTheSector) {
  if (!lx::testing::FullDiskHere()) GTEST_SKIP() << "no full device on this host";
  // Two windows of 512 bytes: every write is taken, and only the close finds the disk full.
  FakeNor nor{0x800, {0x400, 0x400}};
  Blocks blocks(nor.sizes);
  CNorSectorTable table;
  table.Build(blocks);
  for (size_t i = 0; i < nor.data.size(); ++i) nor.data[i] = uint8_t(i * 5);
  const std::vector<uint8_t> before = nor.data;
  const lx::EraseRewritePlan plan = lx::PlanEraseRewrite(table, 0x600, 0x200);
  ASSERT_TRUE(plan.ok);
  FakeToolHost host;
  const lx::NorLoopResult result =
      lx::RewriteSectorWithWindow(nor, host, plan, 0x600, Pattern(0x200, 4), lx::testing::kFullDiskPath);
  EXPECT_FALSE(result.finished);
  EXPECT_EQ(result.done, 0u);
  EXPECT_EQ(host.said, std::vector<std::string>{"Failed to write a temporary file: nothing was erased."});
  EXPECT_EQ(nor.erases, 0);
  EXPECT_TRUE(nor.data == before);
}

struct Transfer {
  FakeNor nor{16 * kWindow, {16 * kWindow}};
  lx::NorWindowRange range;
  FakeToolHost host;
  std::string file = TempPath("windows.bin");
  Transfer() {
    range.first = 5;
    range.count = 3;
    range.windowSize = kWindow;
  }
  ~Transfer() { std::remove(file.c_str()); }
};

TEST(NorTransfer, ImportProgramsTheWindowsAndExportReadsThemBack) {
  Transfer t;
  // Half a window more than asked: the rest of the file is left.
  const std::vector<uint8_t> bytes = Pattern(3 * kWindow + kWindow / 2, 3);
  WriteAll(t.file, bytes);
  lx::NorLoopResult result = lx::TransferNorWindows(t.nor, t.host, t.file, t.range, true);
  EXPECT_TRUE(result.finished);
  EXPECT_EQ(result.done, 3u);
  EXPECT_EQ(t.host.Last(), "Import finished.");
  EXPECT_EQ(t.host.busy, 0);
  EXPECT_TRUE(std::equal(bytes.begin(), bytes.begin() + 3 * kWindow, t.nor.data.begin() + 5 * kWindow));
  EXPECT_EQ(t.nor.data[8 * kWindow], 0xFF);
  EXPECT_EQ(t.nor.data[5 * kWindow - 1], 0xFF);

  // The device's last windows, into a new file.
  t.range.first = 13;
  t.range.count = 3;
  for (size_t i = 13 * kWindow; i < t.nor.data.size(); ++i) t.nor.data[i] = uint8_t(i);
  const std::string out = TempPath("export.bin");
  result = lx::TransferNorWindows(t.nor, t.host, out, t.range, false);
  EXPECT_TRUE(result.finished);
  EXPECT_EQ(t.host.Last(), "Export finished.");
  EXPECT_TRUE(ReadBytes(out) == std::vector<uint8_t>(t.nor.data.begin() + 13 * kWindow, t.nor.data.end()));
  std::remove(out.c_str());
}

TEST(NorTransfer, TheFirstDeviceFailureOrAStopEndsTheLoopWithCounts) {
  struct Case {
    const char* name;
    bool import;
    int64_t failAt;  // a device address that fails (-1 none)
    uint32_t stopAtPump;
    uint32_t done;
    std::string said;
  } cases[] = {
      {"program fails in window 6", true, 6 * kWindow + 17, UINT32_MAX, 1,
       "Error: Program failed at window 6: 1 of 3 windows were programmed."},
      {"import stopped", true, -1, 3, 2, "Import stopped after 2 of 3 windows."},
      {"read fails in window 7", false, 7 * kWindow, UINT32_MAX, 2,
       "Failed to read window 7: the file holds the 2 windows before it."},
      {"export stopped", false, -1, 2, 1, "Export stopped: the file holds 1 of 3 windows."},
  };
  for (const Case& c : cases) {
    Transfer t;
    WriteAll(t.file, Pattern(3 * kWindow, 5));
    t.host.stopAtPump = c.stopAtPump;
    if (c.import) {
      t.nor.failProgramAt = c.failAt;
    } else {
      t.nor.failReadAt = c.failAt;
      for (size_t i = 0; i < t.nor.data.size(); ++i) t.nor.data[i] = uint8_t(i >> 3);
    }
    const lx::NorLoopResult result = lx::TransferNorWindows(t.nor, t.host, t.file, t.range, c.import);
    EXPECT_FALSE(result.finished) << c.name;
    EXPECT_EQ(result.done, c.done) << c.name;
    EXPECT_EQ(t.host.said, std::vector<std::string>{c.said}) << c.name;
    if (c.import) {
      // Nothing after the failure or the stop was programmed.
      EXPECT_EQ(t.nor.programmed.size(), c.done) << c.name;
      EXPECT_EQ(t.nor.data[(5 + c.done + 1) * kWindow - 1], 0xFF) << c.name;
    } else {
      EXPECT_EQ(ReadBytes(t.file).size(), size_t{c.done} * kWindow) << c.name;
    }
  }
}

TEST(NorTransfer, AnExportThatCannotBeClosedWholeIsNoFinishedExport) {
  if (!lx::testing::FullDiskHere()) GTEST_SKIP() << "no full device on this host";
  Transfer t;
  t.range.count = 1;
  t.range.windowSize = 0x200;  // taken by the library whole: only the close finds the disk full
  const lx::NorLoopResult result = lx::TransferNorWindows(t.nor, t.host, lx::testing::kFullDiskPath, t.range, false);
  EXPECT_FALSE(result.finished);
  EXPECT_EQ(result.done, 0u);
  EXPECT_EQ(t.host.said,
            std::vector<std::string>{"Failed to write a destination file: the last of its 1 windows may be missing."});
}

TEST(NorTransfer, FilesThatCannotServeAreRefusedBeforeTheDevice) {
  {
    Transfer t;
    WriteAll(t.file, Pattern(3 * kWindow - 1, 5));  // one byte short
    EXPECT_FALSE(lx::TransferNorWindows(t.nor, t.host, t.file, t.range, true).finished);
    EXPECT_EQ(t.host.said, std::vector<std::string>{"Error: File length is shorter than programming request."});
    EXPECT_TRUE(t.nor.programmed.empty());
  }
  for (bool import : {true, false}) {
    Transfer t;
    const std::string nowhere = lx::testing::kNowherePath;
    const lx::NorLoopResult result = lx::TransferNorWindows(t.nor, t.host, nowhere, t.range, import);
    EXPECT_FALSE(result.finished);
    EXPECT_EQ(t.host.said, std::vector<std::string>{import ? "Failed to read a file." : "Failed to write a destination file."});
    EXPECT_TRUE(t.nor.programmed.empty());
    EXPECT_EQ(t.nor.reads, 0);
  }
}

}  // namespace loops
