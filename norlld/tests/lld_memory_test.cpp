// CFI query commands and memory commands.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "lld_internal.h"
#include "lld_rig.h"

using namespace lldtest;

namespace {

// A CFI table on a table bus: `bytes` maps query offsets to bytes, shown in both lanes as
// interleaved x8 chips answer; the primary table at 0x40.
std::unique_ptr<TableBus> Cfi(std::map<uint32_t, uint8_t> bytes) {
  auto bus = std::make_unique<TableBus>();
  bytes.emplace(0x15, 0x40);
  bytes.emplace(0x16, 0x00);
  for (auto& b : bytes) bus->words[b.first] = uint16_t(b.second << 8 | b.second);
  return bus;
}

}  // namespace

TEST(LldCfi, TheSimulatedChipsQuery) {
  Rig r;
  struct Case {
    LldHandler handler;
    const char* printed;
  } cases[] = {
      {cmd_VendorCommandSet, "AMD, Fujitsu (0x02)\n"},
      {cmd_PrimaryExtendedTableOffset, "0x00000040\n"},
      {cmd_DeviceSize, "8MB (0x00800000)\n"},
      {cmd_NumberOfEraseBlockRegions, "0x00000001\n"},
      {cmd_GetEraseBlockRegionInfo, "Region 0, 0128 sectors of size 064KB\n"},
  };
  for (const Case& c : cases) EXPECT_EQ(Call(c.handler, "80000000"), c.printed) << c.printed;
}

TEST(LldCfi, FieldsOfATable) {
  struct Case {
    LldHandler handler;
    std::map<uint32_t, uint8_t> bytes;
    const char* printed;
  } cases[] = {
      {cmd_DeviceSize, {{0x27, 0x17}}, "8MB (0x00800000)\n"},
      // Sizes of 4 GiB and more, and no shift past 63.
      {cmd_DeviceSize, {{0x27, 0x20}}, "4096MB (0x100000000)\n"},
      {cmd_DeviceSize, {{0x27, 0x40}}, "-UNKNOWN- (0x40)\n"},
      {cmd_MaxBytesPerMultiByteWrite, {{0x2A, 0x06}, {0x2B, 0x00}}, "0x00000040\n"},
      {cmd_VendorCommandSet, {{0x13, 0x01}, {0x14, 0x01}}, "Mitsubishi (0x101)\n"},
      {cmd_VendorCommandSet, {{0x13, 0x07}, {0x14, 0x00}}, "-UNKNOWN- (0x00000007)\n"},
      {cmd_GetVersion, {{0x43, 0x31}, {0x44, 0x33}}, "0x3133\n"},
      {cmd_AddressSensitiveUnlock, {{0x45, 0x05}}, "Not required (0x0001)\n"},
      {cmd_AddressSensitiveUnlock, {{0x45, 0x02}}, "-Unknown- (0x0002)\n"},
      {cmd_ProcessTechnology, {{0x45, 0x14}}, "-UNKNOWN-\n"},
      {cmd_EraseSuspendCapability, {{0x46, 0x02}}, "read and write while suspended\n"},
      {cmd_SectorProtection, {{0x47, 0x04}}, "Supported, 4 sectors per group\n"},
      {cmd_SectorTemporaryUnprotect, {{0x48, 0x02}}, "-UNKNOWN-\n"},
      {cmd_SimultaneousOperation, {{0x4A, 0x01}}, "Supported\n"},
      {cmd_BurstModeType, {{0x4B, 0x00}}, "Not supported\n"},
      {cmd_PageModeType, {{0x4C, 0x02}}, "8 word page\n"},
      {cmd_BootSectorFlag, {{0x4F, 0x03}}, "Top boot device\n"},
      {cmd_ProgramSuspend, {{0x50, 0x00}}, "Not support\n"},
      {cmd_SectorProtectionScheme, {{0x49, 0x00}}, "No protection\n"},
      {cmd_SectorProtectionScheme, {{0x49, 0x09}}, "-UNKNOWN-\n"},
      {cmd_NumberOfEraseBlockRegions, {{0x2C, 0x02}}, "0x00000002\n"},
  };
  for (const Case& c : cases) {
    Rig r(Cfi(c.bytes));
    EXPECT_EQ(Call(c.handler, "80000000"), c.printed) << c.printed;
  }
  // Schemes 4 and 7 share their name.
  Rig four(Cfi({{0x49, 4}}));
  std::string name4 = Call(cmd_SectorProtectionScheme, "80000000");
  Rig seven(Cfi({{0x49, 7}}));
  EXPECT_EQ(Call(cmd_SectorProtectionScheme, "80000000"), name4);
}

// The region table holds six: a chip that reports more prints six regions.
TEST(LldCfi, RegionsAreClampedToTheTable) {
  std::map<uint32_t, uint8_t> bytes{{0x2C, 0x09}};
  for (uint32_t i = 0; i < 9; ++i) {
    bytes[0x2D + 4 * i] = uint8_t(i);
    bytes[0x2E + 4 * i] = 0;
    bytes[0x2F + 4 * i] = 0;
    bytes[0x30 + 4 * i] = 1;
  }
  Rig r(Cfi(bytes));
  EXPECT_EQ(Call(cmd_GetEraseBlockRegionInfo, "80000000"),
            "Region 0, 0001 sectors of size 064KB\nRegion 1, 0002 sectors of size 064KB\n"
            "Region 2, 0003 sectors of size 064KB\nRegion 3, 0004 sectors of size 064KB\n"
            "Region 4, 0005 sectors of size 064KB\nRegion 5, 0006 sectors of size 064KB\n");
}

TEST(LldMemory, RawCommandsOnTheScratchpad) {
  Rig r;
  struct Case {
    const char* line;
    const char* printed;
  } cases[] = {
      {"f8 100000 100020 0 +", ""},
      {"d8 100000 21",
       "00100000   00 01 02 03 04 05 06 07 08 09 0A 0B 0C 0D 0E 0F \n"
       "00100010   10 11 12 13 14 15 16 17 18 19 1A 1B 1C 1D 1E 1F \n"
       "00100020   20 \n"},
      {"d16 100000 3", "00100000   0100 0302 0504 \n"},
      {"d32 100004", "00100004   07060504 0B0A0908 0F0E0D0C 13121110 \n00100014   17161514 1B1A1918 1F1E1D1C 00000020 \n"},
      {"s8 100000 10000F 0 +",
       "00100000\n00100001\n00100002\n00100003\n00100004\n00100005\n00100006\n00100007\n"
       "00100008\n00100009\n0010000A\n0010000B\n0010000C\n0010000D\n0010000E\n0010000F\n"},
      {"s8 100000 100003 !1", "00100000 00 != 01\n00100002 02 != 01\n00100003 03 != 01\n"},
      {"s16 100000 100003 302", "00100002\n"},
      {"f8 100040 100040 AB", ""},
      {"d8 10003F 3", "0010003F   00 AB 00 \n"},
      {"w32 100100 12345678", ""},
      {"r32 100100", "12345678\n"},
      {"r16 100102", "1234\n"},
      {"r8 100101", "56\n"},
      {"f8 100000 100001 0 *", "Error: Don't understand forth parameter.\n\n"},
      {"f8 100000 100000 1 + ", ""},
      {"r8 100000", "01\n"},
      {"interface", "Current interface is set to raw\n"},
      {"interface MACRO", "Invalid parameter: enter raw or macro \n"},
      {"interface raw ", ""},
  };
  for (const Case& c : cases) EXPECT_EQ(Line(c.line), c.printed) << c.line;
  EXPECT_EQ(lld::S().s16, 0x100002u);
  EXPECT_EQ(lld::S().r8, 0x01);
}

// Every raw access lies wholly inside the scratchpad: the last item must end within it too,
// whatever the window or SuperUser allow.
TEST(LldMemory, RangesThatLeaveTheScratchpadAreRefused) {
  Rig r;
  const char* refused = "Invalid Address %8.8X : Please use \"interface macro\"\n";
  auto message = [&](uint32_t a) {
    char text[128];
    std::snprintf(text, sizeof text, refused, a);
    return std::string(text);
  };
  struct Case {
    const char* line;
    uint32_t refusedAt;  // 0: accepted
  } cases[] = {
      {"r32 10FFFC", 0},
      {"r32 10FFFD", 0x10FFFD},
      {"w16 10FFFF 1", 0x10FFFF},
      {"w8 10FFFF 1", 0},
      {"d8 10FFF0 10", 0},
      {"d8 10FFF0 11", 0x10FFF0},
      {"d32 100000 FFFFFFFF", 0x100000},
      {"f32 10FFF8 10FFFC 0", 0},
      {"f32 10FFF9 10FFFD 0", 0x10FFF9},
      {"s16 10FFF0 10FFFF 0", 0},
      {"s16 10FFF1 10FFFF 0", 0x10FFF1},
      {"d8 80000000", 0x80000000},
  };
  for (int pass = 0; pass < 2; ++pass) {
    for (const Case& c : cases) {
      std::string out = Line(c.line);
      if (c.refusedAt)
        EXPECT_EQ(out, message(c.refusedAt)) << c.line;
      else
        EXPECT_EQ(out.find("Invalid"), std::string::npos) << c.line;
    }
    Line("SuperUser");
  }
  EXPECT_EQ(Line("f8 100000 FFFFFFFF 0"), message(0x100000));
  Rig fresh;
  Line("SetWindowSize 10");
  Line("SetBaseAddress 100000");
  EXPECT_EQ(Call(cmd_memory_fill8, "100000 100010 0"), "Error: Invalid addr_end for f8 command!\n\n");
  EXPECT_EQ(Call(cmd_memory_search32, "100000 100010 0"), "Error: Invalid addr_end for s32 command!\n\n");
}

// The macro display reads one chip word per item at word offsets from the base address (addr - base
// is a word offset), shows the low byte (d8), the word (d16) or the word in eight digits (d32), and
// starts each line at base + unit x the line's first offset.
TEST(LldMemory, MacroDisplayReadsOneChipWordPerItemAtWordOffsets) {
  Rig r;
  for (uint32_t i = 0; i < 0x200; ++i) r.chip->Array()[i] = uint8_t(i * 7 + 3);
  auto word = [&](uint32_t offset) {
    return unsigned(r.chip->Array()[2 * offset] | r.chip->Array()[2 * offset + 1] << 8);
  };
  // What the chip holds, laid out as the display must show it.
  auto expected = [&](unsigned unit, uint32_t first, uint32_t items) {
    std::string out;
    const uint32_t perLine = 16 / unit;
    char piece[16];
    for (uint32_t i = 0; i < items; ++i) {
      if (i % perLine == 0) {
        std::snprintf(piece, sizeof piece, "%8.8X   ", 0x80000000u + unit * (first + i));
        out += piece;
      }
      unsigned w = word(first + i);
      std::snprintf(piece, sizeof piece, unit == 1 ? "%2.2X " : unit == 2 ? "%4.4X " : "%8.8X ", unit == 1 ? w & 0xFF : w);
      out += piece;
      if (i % perLine == perLine - 1 || i + 1 == items) out += "\n";
    }
    return out;
  };
  Line("interface macro");
  // Chip bytes 0x20-0x23 are the words at offsets 0x10 and 0x11.
  char words[32];
  std::snprintf(words, sizeof words, "80000020   %4.4X %4.4X \n", word(0x10), word(0x11));
  EXPECT_EQ(Line("d16 80000010 2"), words);
  struct Case {
    const char* line;
    unsigned unit;
    uint32_t first, items;
  } cases[] = {
      {"d8 80000010 21", 1, 0x10, 0x21}, {"d8 80000003", 1, 3, 32},     {"d16 80000010 2", 2, 0x10, 2},
      {"d16 80000001 9", 2, 1, 9},       {"d32 80000010 2", 4, 0x10, 2}, {"d32 80000005 6", 4, 5, 6},
  };
  for (const Case& c : cases) EXPECT_EQ(Line(c.line), expected(c.unit, c.first, c.items)) << c.line;
  Line("SetBaseAddress 80000100");
  EXPECT_EQ(Call(cmd_memory_dump16, "80000000 1"), "Invalid Address 80000000 : below the base address 80000100\n");
  // Reads and writes still have only the scratchpad.
  EXPECT_EQ(Line("w8 100000 5"), "");
  EXPECT_EQ(Line("r8 100000"), "05\n");
  EXPECT_EQ(Line("r8 80000100"), "Invalid Address 80000100 : the range must lie inside the 64K scratchpad\n");
}
