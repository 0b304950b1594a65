// The sector tools' portable side: grid labels, the search over sectors (hits across sector
// borders, difference blocks, read failures, slices of any size), the field limits, the checks of
// master volume files, and the loops of the copy, import and export.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "sector_core.h"
#include "tests/fake_tool_host.h"
#include "tests/scratch_files.h"
#include "test_files.h"

namespace {

using lx::SearchOutcome;

TEST(SectorGrid, Labels) {
  EXPECT_EQ(lx::SectorRowLabel(1), "0x000");
  EXPECT_EQ(lx::SectorRowLabel(32), "0x1F0");
  EXPECT_EQ(lx::SectorColumnLabel(1), "00");
  EXPECT_EQ(lx::SectorColumnLabel(16), "0F");
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

// ---- the copy of the volume duplicate and the explorer's import and export ----------------------
namespace loops {

using lx::testing::FakeToolHost;
using lxtest::ReadBytes;
using lx::testing::TempPath;
using lx::testing::WriteAll;

// Sectors in memory; a read or write that touches the failing sector fails whole.
class FakeSectors : public lx::SectorDevice {
 public:
  explicit FakeSectors(uint32_t count) : data(size_t{count} * lx::kSectorSize) {
    for (size_t i = 0; i < data.size(); ++i) data[i] = uint8_t(i / 3 + i / lx::kSectorSize);
  }
  int Read(uint32_t first, uint32_t count, uint8_t* buffer) override {
    if (!Inside(first, count) || Hits(failReadAt, first, count)) return -1;
    std::memcpy(buffer, &data[size_t{first} * lx::kSectorSize], size_t{count} * lx::kSectorSize);
    return 0;
  }
  int Write(uint32_t first, uint32_t count, const uint8_t* bytes) override {
    if (!Inside(first, count) || Hits(failWriteAt, first, count)) return -1;
    std::memcpy(&data[size_t{first} * lx::kSectorSize], bytes, size_t{count} * lx::kSectorSize);
    written += count;
    return 0;
  }
  bool Inside(uint32_t first, uint32_t count) const {
    return (uint64_t{first} + count) * lx::kSectorSize <= data.size();
  }
  static bool Hits(int64_t at, uint32_t first, uint32_t count) { return at >= first && at < int64_t{first} + count; }
  std::vector<uint8_t> Sectors(uint32_t first, uint32_t count) const {
    return std::vector<uint8_t>(data.begin() + size_t{first} * lx::kSectorSize,
                                data.begin() + size_t{first + count} * lx::kSectorSize);
  }
  std::vector<uint8_t> data;
  int64_t failReadAt = -1, failWriteAt = -1;
  uint32_t written = 0;
};


TEST(VolumeCopy, MasterFileAndDuplicateCarryEverySectorWithAPartialLastStep) {
  // 11 sectors: two steps of four and a last one of three.
  FakeSectors volume(11);
  FakeToolHost host;
  const std::string master = TempPath("master.vol");
  lx::SectorLoopResult result = lx::CopyVolumeSectors(volume, host, master, true, 11);
  EXPECT_TRUE(result.Finished());
  EXPECT_EQ(result.done, 11u);
  EXPECT_EQ(host.pumps, 3u);
  EXPECT_EQ(host.busy, 0);
  EXPECT_EQ(host.progress.back(), std::make_pair(uint64_t{11}, uint64_t{11}));
  EXPECT_TRUE(ReadBytes(master) == volume.data);
  EXPECT_EQ(lx::MasterFileCopyText(result, 11), "Master volume file is created.");

  // Onto a device of 13 sectors: its last two stay as they were.
  FakeSectors target(13);
  std::fill(target.data.begin(), target.data.end(), 0xEE);
  result = lx::CopyVolumeSectors(target, host, master, false, 11);
  EXPECT_TRUE(result.Finished());
  EXPECT_TRUE(target.Sectors(0, 11) == volume.data);
  EXPECT_TRUE(target.Sectors(11, 2) == std::vector<uint8_t>(2 * lx::kSectorSize, 0xEE));
  EXPECT_EQ(lx::DuplicateCopyText(result, 13),
            "Duplicate volume is created from a master volume file of 11 sectors; the device's other 2 sectors were "
            "not written.");
  EXPECT_EQ(lx::DuplicateCopyText(result, 11), "Duplicate volume is created.");
  std::remove(master.c_str());
}

TEST(VolumeCopy, TheFirstFailureOrAStopEndsTheCopyWithCounts) {
  struct Case {
    const char* name;
    bool toFile;
    int64_t failReadAt, failWriteAt;
    uint32_t stopAtPump;
    size_t fileSectors;  // the master file's sectors (copies from the file)
    uint32_t done;
    std::string text;
  } cases[] = {
      {"read fails in the second step", true, 6, -1, UINT32_MAX, 0, 4,
       "Failed to read a sector from the volume.\nThe master volume file holds 4 of the 11 sectors."},
      {"into the file, stopped", true, -1, -1, 3, 0, 8, "Stopped: the master volume file holds 8 of the 11 sectors."},
      {"write fails in the last step", false, -1, 9, UINT32_MAX, 11, 8,
       "Failed to write a sector to the volume.\n8 of the 11 sectors of the master volume file were written."},
      {"the file shrank", false, -1, -1, UINT32_MAX, 6, 4,
       "Failed to read the master volume file: it ended early.\n4 of the 11 sectors of the master volume file were "
       "written."},
      {"from the file, stopped", false, -1, -1, 2, 11, 4,
       "Stopped: 4 of the 11 sectors of the master volume file were written."},
  };
  for (const Case& c : cases) {
    FakeSectors volume(11);
    const std::vector<uint8_t> before = volume.data;
    const std::string master = TempPath("master.vol");
    if (!c.toFile) WriteAll(master, std::vector<uint8_t>(c.fileSectors * lx::kSectorSize, 0x42));
    volume.failReadAt = c.failReadAt;
    volume.failWriteAt = c.failWriteAt;
    FakeToolHost host;
    host.stopAtPump = c.stopAtPump;
    const lx::SectorLoopResult result = lx::CopyVolumeSectors(volume, host, master, c.toFile, 11);
    EXPECT_FALSE(result.Finished()) << c.name;
    EXPECT_EQ(result.done, c.done) << c.name;
    const std::string text = c.toFile ? lx::MasterFileCopyText(result, 11) : lx::DuplicateCopyText(result, 11);
    EXPECT_EQ(text, c.text) << c.name;
    if (c.toFile) {
      EXPECT_EQ(ReadBytes(master).size(), size_t{c.done} * lx::kSectorSize) << c.name;
    } else {
      // Nothing past the sectors written was touched.
      EXPECT_EQ(volume.written, c.done) << c.name;
      EXPECT_TRUE(volume.Sectors(c.done, 11 - c.done) ==
                  std::vector<uint8_t>(before.begin() + size_t{c.done} * lx::kSectorSize, before.end()))
          << c.name;
    }
    std::remove(master.c_str());
  }
  // A file that cannot be opened: said alone, nothing copied.
  FakeSectors volume(11);
  FakeToolHost host;
  lx::SectorLoopResult result = lx::CopyVolumeSectors(volume, host, lx::testing::kNowherePath, true, 11);
  EXPECT_EQ(lx::MasterFileCopyText(result, 11), "Failed to create a master volume file.");
  result = lx::CopyVolumeSectors(volume, host, lx::testing::kNowherePath, false, 11);
  EXPECT_EQ(lx::DuplicateCopyText(result, 11), "Failed to read the master volume file.");
  EXPECT_EQ(volume.written, 0u);
  EXPECT_EQ(host.pumps, 0u);
}

TEST(SectorFiles, AFileThatCannotBeClosedWholeIsNoFinishedCopyOrExport) {
  if (!lx::testing::FullDiskHere()) GTEST_SKIP() << "no full device on this host";
  // Two sectors: every write is taken by the library, and only the close finds the disk full.
  FakeSectors volume(2);
  FakeToolHost host;
  lx::SectorLoopResult result = lx::CopyVolumeSectors(volume, host, lx::testing::kFullDiskPath, true, 2);
  EXPECT_FALSE(result.Finished());
  EXPECT_EQ(result.done, 0u);
  EXPECT_EQ(lx::MasterFileCopyText(result, 2),
            "Failed to write the master volume file.\nThe master volume file holds 0 of the 2 sectors.");

  result = lx::TransferSectors(volume, host, lx::testing::kFullDiskPath, false, 0, 2);
  EXPECT_FALSE(result.Finished());
  EXPECT_EQ(result.done, 0u);
  EXPECT_EQ(host.said, std::vector<std::string>{"Failed to write a destination file: its last sectors may be missing."});
}

TEST(SectorTransfer, ImportAndExportFromAnUnalignedSectorOn) {
  // 130 sectors from sector 5: past two pump slices of 64 and not on one's border.
  FakeSectors volume(200);
  const std::vector<uint8_t> before = volume.data;
  FakeToolHost host;
  const std::string file = TempPath("sectors.bin");
  lx::SectorLoopResult result = lx::TransferSectors(volume, host, file, false, 5, 130);
  EXPECT_TRUE(result.Finished());
  EXPECT_EQ(host.Last(), "Export finished.");
  EXPECT_EQ(host.pumps, 3u);
  EXPECT_TRUE(ReadBytes(file) == volume.Sectors(5, 130));

  std::vector<uint8_t> bytes(130 * lx::kSectorSize + 100);  // a partial sector more than asked
  for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = uint8_t(i * 13);
  WriteAll(file, bytes);
  result = lx::TransferSectors(volume, host, file, true, 69, 130);
  EXPECT_TRUE(result.Finished());
  EXPECT_EQ(host.Last(), "Import finished.");
  EXPECT_TRUE(volume.Sectors(69, 130) == std::vector<uint8_t>(bytes.begin(), bytes.begin() + 130 * lx::kSectorSize));
  EXPECT_TRUE(volume.Sectors(0, 69) == std::vector<uint8_t>(before.begin(), before.begin() + 69 * lx::kSectorSize));
  EXPECT_EQ(volume.data[199 * lx::kSectorSize], before[199 * lx::kSectorSize]);
  EXPECT_EQ(host.busy, 0);
  std::remove(file.c_str());
}

TEST(SectorTransfer, TheFirstFailureOrAStopEndsItWithCounts) {
  struct Case {
    const char* name;
    bool import;
    int64_t failReadAt, failWriteAt;
    uint32_t stopAtPump;
    uint32_t done;
    std::string said;
  } cases[] = {
      {"read of sector 12 fails", false, 12, -1, UINT32_MAX, 7, "Failed to read sector 12. The file holds the 7 sectors before it."},
      {"write of sector 80 fails", true, -1, 80, UINT32_MAX, 75, "Failed to write sector 80. The 75 sectors before it were written."},
      {"export stopped at the second slice", false, -1, -1, 2, 64, "Export stopped after 64 of 100 sectors."},
      {"import stopped at once", true, -1, -1, 1, 0, "Import stopped after 0 of 100 sectors."},
  };
  for (const Case& c : cases) {
    FakeSectors volume(200);
    const std::vector<uint8_t> before = volume.data;
    volume.failReadAt = c.failReadAt;
    volume.failWriteAt = c.failWriteAt;
    FakeToolHost host;
    host.stopAtPump = c.stopAtPump;
    const std::string file = TempPath("sectors.bin");
    if (c.import) WriteAll(file, std::vector<uint8_t>(100 * lx::kSectorSize, 0x24));
    const lx::SectorLoopResult result = lx::TransferSectors(volume, host, file, c.import, 5, 100);
    EXPECT_FALSE(result.Finished()) << c.name;
    EXPECT_EQ(result.done, c.done) << c.name;
    EXPECT_EQ(host.said, std::vector<std::string>{c.said}) << c.name;
    if (c.import) {
      EXPECT_EQ(volume.written, c.done) << c.name;
      EXPECT_TRUE(volume.Sectors(5 + c.done, 195 - c.done) ==
                  std::vector<uint8_t>(before.begin() + size_t{5 + c.done} * lx::kSectorSize, before.end()))
          << c.name;
    } else {
      EXPECT_EQ(ReadBytes(file).size(), size_t{c.done} * lx::kSectorSize) << c.name;
    }
    std::remove(file.c_str());
  }
  // Files that cannot serve: nothing reaches the device.
  FakeSectors volume(200);
  FakeToolHost host;
  const std::string file = TempPath("short.bin");
  WriteAll(file, std::vector<uint8_t>(10 * lx::kSectorSize - 1, 0));
  lx::TransferSectors(volume, host, file, true, 0, 10);
  lx::TransferSectors(volume, host, lx::testing::kNowherePath, true, 0, 10);
  lx::TransferSectors(volume, host, lx::testing::kNowherePath, false, 0, 10);
  EXPECT_EQ(host.said, (std::vector<std::string>{"Error: File length is shorter than programming request.",
                                                 "Failed to read a source file.", "Failed to write a destination file."}));
  EXPECT_EQ(volume.written, 0u);
  std::remove(file.c_str());
}

}  // namespace loops
