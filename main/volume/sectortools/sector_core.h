// What the sector tools compute without windows: the hex texts of the sector grid, the search
// of sectors for a byte string, the limits of the sector fields, the checks of a master volume
// file, and the record handed to an analyzer module. Portable; reaches sectors only through a
// reader function.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "explorer_core.h"
#include "tool_host.h"

namespace lx {

constexpr uint32_t kSectorSize = 512;
static_assert(kMaxPatternBytes < kSectorSize, "a pattern ends in the sector after the one it starts in");

// ---- the sector grid ---------------------------------------------------------------------------
// "0x%03X" of a row's first offset (rows 1..32), "%02X" of a column (1..16); the rows' characters
// and the cells' texts are the explorers' (explorer_core.h).
std::string SectorRowLabel(int row);
std::string SectorColumnLabel(int col);

// "|<", "<", ">", ">|" and Move: a number below 1 becomes 0, at or above count - 1 becomes
// count - 1. A device without sectors (count <= 0) gives sector 0, which its read refuses.
int32_t ClampSectorNumber(int64_t number, int32_t count);

// ---- the sector search -------------------------------------------------------------------------
// Reads count sectors from first on; 0 on success.
typedef int (*SectorReadFn)(void* context, uint32_t first, uint32_t count, uint8_t* buffer);

struct SectorSearch {
  SectorReadFn read = nullptr;
  void* context = nullptr;
  int32_t sectorCount = 0;   // sectors of the partition; the search never reads past them
  int32_t searchSector = 0;  // where the search begins
  int32_t bytePosition = 0;  // first start position in the search sector (0..511)
  int32_t endSector = 0;     // "to sector number"
  bool currentSectorOnly = false;
  bool difference = false;   // the first block that differs from the pattern
  std::vector<uint8_t> pattern;
  // Called before each slice of sectors with the sector it begins at; answering false stops
  // the search (Stop was pressed). May be null.
  bool (*tick)(void* context, int32_t sector) = nullptr;
  void* tickContext = nullptr;
  // Sectors read in one call: a slice. The search behaves the same for any size.
  uint32_t sliceSectors = 1024;
};

enum class SearchOutcome { kHit, kNotFound, kReadError, kStopped };
struct SearchResult {
  SearchOutcome outcome = SearchOutcome::kNotFound;
  int32_t sector = 0;    // hit: its sector; read error: the sector that could not be read
  int32_t position = 0;  // hit: its byte in that sector
};

// The end sector of the find window: below 1 becomes 0, at or above count - 1 becomes count - 1.
int32_t ClampEndSector(int32_t endSector, int32_t count);

// Searches from (searchSector, bytePosition) on. A pattern starting in a sector below the end
// sector may run on into the next sector; in the end sector it must fit. The difference search
// walks each sector from its first position in steps of the pattern's length while the bytes
// equal the pattern; the first block that differs is the hit. The current-sector scope searches
// one sector. An end sector below the search sector searches the search sector alone. A search
// sector past the partition finds nothing. The pattern must be 1..511 bytes.
SearchResult RunSectorSearch(const SectorSearch& search);

// The progress bar of the find window: (sector - start) x 100 / d, d = end - start when that is
// 2 or more, else 1; kept within 0..100.
int SearchProgress(int32_t sector, int32_t start, int32_t end);

// ---- import and export fields ------------------------------------------------------------------
struct SectorRangeFields {
  int32_t first = 0;
  int32_t number = 1;
  int32_t spinHigh = 1;  // the number spin's upper limit (its "room")
  bool numberChanged = false;
};
// On a change of either field: the first sector at most count - 1; room = count - first when
// that is 2 or more, else 1; a number that runs past the partition becomes room.
SectorRangeFields LimitSectorRange(int32_t count, int32_t first, int32_t number, bool firstChanged);
// True when first..first+number-1 are sectors of a partition of count sectors (number >= 1).
bool SectorRangeInside(int32_t count, int64_t first, int64_t number);

// ---- master volume files -----------------------------------------------------------------------
// The percent of a copy after `done` of `total` sectors, plus one as the copy loop shows it,
// without the overflow of 32-bit products on large devices.
int CopyProgress(int64_t done, int64_t total);

enum class MasterFileCheck { kFits, kNotWholeSectors, kEmpty, kShorter, kLonger };
// A master volume file holds whole 512-byte sectors; it is checked against the sectors it is
// to be written to before anything is written.
MasterFileCheck CheckMasterFile(uint64_t fileBytes, int64_t deviceSectors);

// The device's sectors as the loops reach them (partition 0, the caller's addressing); 0 on success.
class SectorDevice {
 public:
  virtual ~SectorDevice() = default;
  virtual int Read(uint32_t first, uint32_t count, uint8_t* buffer) = 0;
  virtual int Write(uint32_t first, uint32_t count, const uint8_t* data) = 0;
};

// How far a loop of sectors came: `done` sectors copied whole; `failure` names the first failure
// (empty when there was none); stopped when the user's Stop ended it.
struct SectorLoopResult {
  uint32_t done = 0;
  uint32_t total = 0;
  std::string failure;
  bool stopped = false;
  bool opened = false;  // the file could be opened: the loop began
  bool Finished() const { return failure.empty() && !stopped && done == total; }
};

// The volume duplicate's copy: sectors 0 .. total - 1 between the device and the file at path
// (toFile: into a new file; else from the file's start), four sectors a step. Before each step
// it pumps and asks whether to stop, and moves the progress (position of total).
SectorLoopResult CopyVolumeSectors(SectorDevice& device, ToolHost& host, const std::string& path, bool toFile,
                                   uint32_t total);
// What the duplicate says after its copy: into the master volume file of the device's
// `deviceSectors`; from the master volume file (the result's total) onto them.
std::string MasterFileCopyText(const SectorLoopResult& result, int64_t deviceSectors);
std::string DuplicateCopyText(const SectorLoopResult& result, int64_t deviceSectors);

// The sector explorer's import (file to sectors) and export (sectors to a new file) of count
// sectors from first on, one sector at a time; every 64 sectors it pumps. The first failure or a
// stop ends it; the outcome is told through the host with counts.
SectorLoopResult TransferSectors(SectorDevice& device, ToolHost& host, const std::string& path, bool import,
                                 uint32_t first, uint32_t count);

// ---- the analyzer record -----------------------------------------------------------------------
// The record an analyzer module receives with vyrOpen: 2,068 bytes where pointers have 32 bits;
// where they are wider the pointer fields grow with them and the words keep their order.
constexpr int kVyrDeviceApiSlots = 76;
constexpr int kVyrReportSlots = 32;
constexpr int kVyrPathBytes = 520;
struct VyrAnalysisRecord {
  uint32_t zero;              // word 0
  uint32_t deviceBytes;       // 1: the device size (normal mode), 0 (auxiliary mode)
  uint32_t deviceType;        // 2
  uint32_t interleave;        // 3: 1, 2 or 4
  uint32_t target;            // 4
  uint32_t reserved5[2];      // 5, 6: 0
  uint32_t unused7[5];        // 7..11: not the module's business
  void* deviceApi[kVyrDeviceApiSlots];  // 12..87: the device table, slot order
  uint32_t unused88[3];       // 88..90
  char* outputFolder;         // 91: normal mode, else null
  char* reports[kVyrReportSlots];  // 92..123: set by the module
  char* auxInputPath;         // 124
  char* auxOutputFolder;      // 125
  uint32_t auxLittleEndian;   // 126
  char outputFolderText[kVyrPathBytes];   // 127..256
  char auxInputText[kVyrPathBytes];       // 257..386
  char auxOutputText[kVyrPathBytes];      // 387..516
};
static_assert(sizeof(void*) != 4 || sizeof(VyrAnalysisRecord) == 2068, "the analyzer record is 2,068 bytes");
static_assert(sizeof(void*) != 4 || (offsetof(VyrAnalysisRecord, deviceApi) == 12 * 4 &&
                                     offsetof(VyrAnalysisRecord, outputFolder) == 91 * 4 &&
                                     offsetof(VyrAnalysisRecord, auxLittleEndian) == 126 * 4 &&
                                     offsetof(VyrAnalysisRecord, auxOutputText) == 387 * 4),
              "the analyzer record's words");

// The codes behind the lists of the analyzer dialog, by list index.
uint32_t VyrDeviceTypeCode(int index);  // NOR 0, Halvor NOR 1, Veltan 16, Veltan2 17, SPI 32, Ostra 48, Ostra2 49
uint32_t VyrTargetCode(int index);      // PCIx 0, Virtual device 1, Tarn type 2 128, Remote agent 129, DevSim 130
uint32_t VyrInterleave(int index);      // 1, 2, 4

}  // namespace lx
