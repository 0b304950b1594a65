// The sector tools' portable side: hex texts, patterns, the search over sectors (hits across
// sector borders, difference blocks, read failures, slices of any size), the field limits and
// the checks of master volume files.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "sector_core.h"

namespace {

using lx::PatternError;
using lx::SearchOutcome;

TEST(SectorGrid, LabelsAsciiAndCellTexts) {
  EXPECT_EQ(lx::SectorRowLabel(1), "0x000");
  EXPECT_EQ(lx::SectorRowLabel(32), "0x1F0");
  EXPECT_EQ(lx::SectorColumnLabel(1), "00");
  EXPECT_EQ(lx::SectorColumnLabel(16), "0F");
  const uint8_t row[16] = {0x41, 0x7F, 0x1F, 0x20, 0x7E, 0x80, 0xFF, 0x00, 'a', 'b', 'c', '1', '2', '3', '~', ' '};
  EXPECT_EQ(lx::SectorAsciiText(row), "A.. ~...abc123~ ");

  struct Cell {
    const char* text;
    bool ok;
    uint8_t value;
  } cells[] = {{"7e", true, 0x7E}, {"7E", true, 0x7E}, {"7", true, 0x07}, {"00", true, 0}, {"ff", true, 0xFF},
               {"zz", false, 0},   {"", false, 0},      {"-1", false, 0}, {" 1", false, 0}, {"1g", false, 0},
               {"123", false, 0}};
  for (const Cell& c : cells) {
    uint8_t value = 0x5A;
    EXPECT_EQ(lx::ParseHexCell(c.text, &value), c.ok) << c.text;
    EXPECT_EQ(value, c.ok ? c.value : 0x5A) << c.text;  // a refused text leaves the byte alone
  }
}

TEST(SectorGrid, SectorNumbersStayInsideThePartition) {
  struct Case {
    int64_t number;
    int32_t count;
    int32_t shown;
  } cases[] = {{0, 100, 0},   {1, 100, 1},    {98, 100, 98},      {99, 100, 99},       {250, 100, 99},
               {-5, 100, 0},  {5, 0, 0},      {5, -1, 0},         {1LL << 40, 100, 99}, {3, 1, 0}};
  for (const Case& c : cases) EXPECT_EQ(lx::ClampSectorNumber(c.number, c.count), c.shown) << c.number << "/" << c.count;
}

TEST(SectorPattern, HexTextsGiveTheirBytesAndBadTextsAreRefused) {
  struct Case {
    const char* text;
    PatternError error;
    std::vector<uint8_t> bytes;
  } cases[] = {
      {"AA 55 a5 5a 0a 50", PatternError::kNone, {0xAA, 0x55, 0xA5, 0x5A, 0x0A, 0x50}},
      {"aa55", PatternError::kNone, {0xAA, 0x55}},
      {"a b", PatternError::kNone, {0xA0, 0xB0}},
      {"abc", PatternError::kNone, {0xAB, 0xC0}},
      {"  ff  ", PatternError::kNone, {0xFF}},
      {"", PatternError::kEmpty, {}},
      {"   ", PatternError::kEmpty, {}},
      {"zz", PatternError::kNotHex, {}},
      {"a-b", PatternError::kNotHex, {}},
  };
  for (const Case& c : cases) {
    std::vector<uint8_t> bytes;
    EXPECT_EQ(lx::ParseHexPattern(c.text, &bytes), c.error) << c.text;
    if (c.error == PatternError::kNone) {
      EXPECT_EQ(bytes, c.bytes) << c.text;
    }
  }
  // The text ends at its terminator even after a lone last digit: what lies behind it in
  // memory is no part of the pattern.
  const char memory[] = "abc\0de";
  std::vector<uint8_t> bytes;
  EXPECT_EQ(lx::ParseHexPattern(memory, &bytes), PatternError::kNone);
  EXPECT_EQ(bytes, (std::vector<uint8_t>{0xAB, 0xC0}));

  std::string longest, tooLong;
  for (int i = 0; i < 511; ++i) longest += "5a ";
  for (int i = 0; i < 600; ++i) tooLong += "5a";
  EXPECT_EQ(lx::ParseHexPattern(longest.c_str(), &bytes), PatternError::kNone);
  EXPECT_EQ(bytes.size(), 511u);
  EXPECT_EQ(lx::ParseHexPattern(tooLong.c_str(), &bytes), PatternError::kTooLong);
  EXPECT_EQ(lx::CheckPatternLength(0), PatternError::kEmpty);
  EXPECT_EQ(lx::CheckPatternLength(512), PatternError::kTooLong);
  EXPECT_STRNE(lx::PatternErrorText(PatternError::kTooLong), "");
}

// A partition in memory; reads of the sectors in `bad` fail.
struct MemoryDisk {
  std::vector<uint8_t> bytes;
  std::vector<uint32_t> bad;
  int reads = 0;
  explicit MemoryDisk(uint32_t sectors) : bytes(sectors * 512u, 0) {}
  void Put(uint32_t sector, uint32_t position, std::vector<uint8_t> data) {
    std::memcpy(bytes.data() + sector * 512u + position, data.data(), data.size());
  }
  static int Read(void* context, uint32_t first, uint32_t count, uint8_t* buffer) {
    auto* disk = static_cast<MemoryDisk*>(context);
    ++disk->reads;
    if ((static_cast<uint64_t>(first) + count) * 512u > disk->bytes.size()) return -1;
    for (uint32_t b : disk->bad)
      if (b >= first && b < first + count) return -1;
    std::memcpy(buffer, disk->bytes.data() + first * 512u, count * 512u);
    return 0;
  }
};

struct SearchCase {
  const char* name;
  int32_t start, position, end;
  bool currentOnly, difference;
  std::vector<uint8_t> pattern;
  SearchOutcome outcome;
  int32_t sector, hitPosition;
};

void RunCases(MemoryDisk& disk, const std::vector<SearchCase>& cases) {
  for (uint32_t slice : {1u, 2u, 3u, 7u, 1024u}) {
    for (const SearchCase& c : cases) {
      lx::SectorSearch s;
      s.read = MemoryDisk::Read;
      s.context = &disk;
      s.sectorCount = static_cast<int32_t>(disk.bytes.size() / 512);
      s.searchSector = c.start;
      s.bytePosition = c.position;
      s.endSector = c.end;
      s.currentSectorOnly = c.currentOnly;
      s.difference = c.difference;
      s.pattern = c.pattern;
      s.sliceSectors = slice;
      lx::SearchResult r = lx::RunSectorSearch(s);
      EXPECT_EQ(r.outcome, c.outcome) << c.name << " slice " << slice;
      if (r.outcome == c.outcome && c.outcome != SearchOutcome::kNotFound) {
        EXPECT_EQ(r.sector, c.sector) << c.name << " slice " << slice;
        if (c.outcome == SearchOutcome::kHit) {
          EXPECT_EQ(r.position, c.hitPosition) << c.name << " slice " << slice;
        }
      }
    }
  }
}

TEST(SectorSearch, FindsHitsAcrossSectorsAndAtTheVolumesEdges) {
  MemoryDisk disk(16);
  disk.Put(2, 100, {'a', 'b', 'c'});
  disk.Put(7, 510, {0xDE, 0xAD, 0xBE, 0xEF});  // runs on into sector 8
  disk.Put(0, 0, {0x11});
  disk.Put(15, 511, {0x22});
  const auto H = SearchOutcome::kHit;
  const auto N = SearchOutcome::kNotFound;
  RunCases(disk, {
      {"ascii", 0, 0, 15, false, false, {'a', 'b', 'c'}, H, 2, 100},
      {"case matters", 0, 0, 15, false, false, {'A', 'b', 'c'}, N, 0, 0},
      {"across a border", 0, 0, 15, false, false, {0xDE, 0xAD, 0xBE, 0xEF}, H, 7, 510},
      {"border at the end sector", 0, 0, 7, false, false, {0xDE, 0xAD, 0xBE, 0xEF}, N, 0, 0},
      {"current sector may run on", 7, 0, 15, true, false, {0xDE, 0xAD, 0xBE, 0xEF}, H, 7, 510},
      {"current sector only", 6, 0, 15, true, false, {0xDE, 0xAD, 0xBE, 0xEF}, N, 0, 0},
      {"first byte of the volume", 0, 0, 15, false, false, {0x11}, H, 0, 0},
      {"last byte of the volume", 0, 0, 15, false, false, {0x22}, H, 15, 511},
      {"after the last hit", 0, 1, 15, false, false, {0x11}, N, 0, 0},
      {"from a later position", 2, 101, 15, false, false, {'a', 'b', 'c'}, N, 0, 0},
      {"end below start: start sector only", 1, 0, 0, false, false, {'a', 'b', 'c'}, N, 0, 0},
      {"end beyond the partition", 3, 0, 999, false, false, {0x22}, H, 15, 511},
      {"search sector past the partition", 16, 0, 15, false, false, {0x00}, N, 0, 0},
  });
}

TEST(SectorSearch, DifferenceFindsTheFirstBlockThatDiffers) {
  MemoryDisk disk(16);
  for (uint32_t s = 0; s < 16; ++s) std::memset(disk.bytes.data() + s * 512, 0xFF, 512);
  disk.bytes[8 * 512] = 0x00;             // sector 8 starts with 00
  disk.bytes[12 * 512 + 3] = 0x00;        // FF FF FF 00 at the start of sector 12
  disk.bytes[14 * 512 + 511] = 0x00;      // the last byte of sector 14
  const auto H = SearchOutcome::kHit;
  const auto N = SearchOutcome::kNotFound;
  RunCases(disk, {
      {"FF from sector 7", 7, 0, 15, false, true, {0xFF}, H, 8, 0},
      {"FF FF: the start of the differing pair", 9, 0, 15, false, true, {0xFF, 0xFF}, H, 12, 2},
      {"last byte of a sector", 13, 0, 15, false, true, {0xFF}, H, 14, 511},
      {"three bytes, each sector walked from 0", 13, 0, 15, false, true, {0xFF, 0xFF, 0xFF}, H, 14, 510},
      {"nothing differs up to the end", 15, 0, 15, false, true, {0xFF}, N, 0, 0},
      {"current sector only", 7, 0, 15, true, true, {0xFF}, N, 0, 0},
  });
}

TEST(SectorSearch, AReadFailureEndsTheSearchAfterWhatCouldBeRead) {
  MemoryDisk disk(16);
  disk.Put(3, 5, {'x', 'y'});
  disk.bad = {9};
  const auto H = SearchOutcome::kHit;
  const auto E = SearchOutcome::kReadError;
  RunCases(disk, {
      {"hit before the bad sector", 0, 0, 15, false, false, {'x', 'y'}, H, 3, 5},
      {"absent: stops at the bad sector", 0, 0, 15, false, false, {'q'}, E, 9, 0},
      {"the next sector is needed", 8, 0, 15, true, false, {'q'}, E, 9, 0},
      {"the bad sector itself", 9, 0, 15, false, false, {'q'}, E, 9, 0},
      {"difference stops there too", 4, 0, 15, false, true, {0x00}, E, 9, 0},
  });
}

TEST(SectorSearch, EmptyAndOverlongPatternsSearchNothingAndStopEndsTheSearch) {
  MemoryDisk disk(4);
  lx::SectorSearch s;
  s.read = MemoryDisk::Read;
  s.context = &disk;
  s.sectorCount = 4;
  s.endSector = 3;
  s.difference = true;  // an empty block never differs and never moves on
  EXPECT_EQ(lx::RunSectorSearch(s).outcome, SearchOutcome::kNotFound);
  s.pattern.assign(512, 0);
  EXPECT_EQ(lx::RunSectorSearch(s).outcome, SearchOutcome::kNotFound);
  EXPECT_EQ(disk.reads, 0);

  s.pattern = {0x77};
  s.difference = false;
  s.sliceSectors = 1;
  int ticks = 0;
  s.tickContext = &ticks;
  s.tick = [](void* context, int32_t) { return ++*static_cast<int*>(context) < 3; };
  lx::SearchResult r = lx::RunSectorSearch(s);
  EXPECT_EQ(r.outcome, SearchOutcome::kStopped);
  EXPECT_EQ(r.sector, 2);
}

TEST(SectorSearch, EndSectorAndProgress) {
  EXPECT_EQ(lx::ClampEndSector(0, 100), 0);
  EXPECT_EQ(lx::ClampEndSector(-4, 100), 0);
  EXPECT_EQ(lx::ClampEndSector(50, 100), 50);
  EXPECT_EQ(lx::ClampEndSector(99, 100), 99);
  EXPECT_EQ(lx::ClampEndSector(500, 100), 99);
  EXPECT_EQ(lx::SearchProgress(5, 5, 5), 0);
  EXPECT_EQ(lx::SearchProgress(50, 0, 99), 50);
  EXPECT_EQ(lx::SearchProgress(2000000000, 0, 2100000000), 95);
}

TEST(SectorRange, ImportAndExportFieldsStayInsideThePartition) {
  struct Case {
    int32_t count, first, number;
    bool firstChanged;
    int32_t wantFirst, wantNumber, wantHigh;
  } cases[] = {
      {100, 150, 1, true, 99, 1, 1},  {100, 90, 20, false, 90, 10, 10}, {100, 0, 100, false, 0, 100, 100},
      {100, 99, 1, true, 99, 1, 1},   {100, 10, 5, true, 10, 5, 90},    {100, 150, 1, false, 150, 1, 1},
  };
  for (const Case& c : cases) {
    lx::SectorRangeFields f = lx::LimitSectorRange(c.count, c.first, c.number, c.firstChanged);
    EXPECT_EQ(f.first, c.wantFirst) << c.first << "+" << c.number;
    EXPECT_EQ(f.number, c.wantNumber) << c.first << "+" << c.number;
    EXPECT_EQ(f.spinHigh, c.wantHigh) << c.first << "+" << c.number;
  }
  EXPECT_TRUE(lx::SectorRangeInside(100, 99, 1));
  EXPECT_FALSE(lx::SectorRangeInside(100, 99, 2));
  EXPECT_FALSE(lx::SectorRangeInside(100, 100, 1));
  EXPECT_FALSE(lx::SectorRangeInside(100, -1, 1));
  EXPECT_FALSE(lx::SectorRangeInside(100, 0, 0));
}

TEST(MasterFile, LengthsAreCheckedBeforeAnythingIsWritten) {
  using C = lx::MasterFileCheck;
  struct Case {
    uint64_t bytes;
    int64_t sectors;
    C check;
  } cases[] = {{100 * 512, 100, C::kFits},     {0, 100, C::kEmpty},           {1000, 100, C::kNotWholeSectors},
               {99 * 512, 100, C::kShorter},   {101 * 512, 100, C::kLonger},  {512, 0, C::kLonger},
               {(1ULL << 32) * 512, 100, C::kLonger}};
  for (const Case& c : cases) EXPECT_EQ(lx::CheckMasterFile(c.bytes, c.sectors), c.check) << c.bytes;
  // The copy's progress on a device of 40 million sectors (20 GB): no 32-bit overflow.
  EXPECT_EQ(lx::CopyProgress(0, 100), 1);
  EXPECT_EQ(lx::CopyProgress(96, 100), 97);
  EXPECT_EQ(lx::CopyProgress(30000000, 40000000), 76);
}

TEST(VyrRecord, ListCodes) {
  EXPECT_EQ(lx::VyrDeviceTypeCode(0), 0u);
  EXPECT_EQ(lx::VyrDeviceTypeCode(2), 16u);
  EXPECT_EQ(lx::VyrDeviceTypeCode(6), 49u);
  EXPECT_EQ(lx::VyrTargetCode(1), 1u);
  EXPECT_EQ(lx::VyrTargetCode(4), 130u);
  EXPECT_EQ(lx::VyrInterleave(0), 1u);
  EXPECT_EQ(lx::VyrInterleave(2), 4u);
  // The words keep their order whatever the width of a pointer.
  EXPECT_LT(offsetof(lx::VyrAnalysisRecord, deviceApi), offsetof(lx::VyrAnalysisRecord, outputFolder));
  EXPECT_EQ(offsetof(lx::VyrAnalysisRecord, reports), offsetof(lx::VyrAnalysisRecord, outputFolder) + sizeof(void*));
}

}  // namespace
