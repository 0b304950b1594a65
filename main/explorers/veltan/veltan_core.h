// What the NAND explorer and its dialogs compute and do without a window: the page layout and
// the grid's texts, the block table, the search of pages for a byte string, the ECC layout
// and the checks, the rewrite of a block, import and export of pages. Portable: the device is
// reached through DeviceApiTable as device 0 and "/a"; boxes, questions, file choices, the
// wait cursor and message pumping through a VeltanHost (a ToolHost) the caller supplies.
#pragma once
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "tool_host.h"

namespace lx {

constexpr uint32_t kVeltanDataBytes = 2048;
constexpr uint32_t kVeltanChunkBytes = 512;
constexpr int kVeltanChunks = 4;
// Read-mode flags of the raw page read: the page itself, the ONFI parameter page, the unique ID.
constexpr uint32_t kVeltanReadModeFlags[3] = {0x00, 0x10, 0x20};

// ---- what the core needs of its caller -----------------------------------------------------------
// Boxes, questions, pumping with Stop and the wait cursor come with the ToolHost; the NAND
// explorer's work needs two things more of its window.
class VeltanHost : public ToolHost {
 public:
  // The open-file dialog for a bad-block table file; false on Cancel.
  virtual bool ChooseTableFile(std::string* path) = 0;
  // Where "__bbt__.txt" and "__temp__.bin" lie: "<user area>\User Data\" or "" (current folder).
  virtual std::string ScratchFolder() = 0;
};

// ---- device facts --------------------------------------------------------------------------------
// 8 or 16: the width a "[JEDEC ID:xxxxxx]" text at the start of the device text names; 8 for a
// text without it or with an ID that is not in the table. Case is ignored.
uint8_t BusWidthFromDeviceText(const char* text);
// gfslGetDeviceTextInfo of "/a" looked up as above.
uint8_t ReadBusWidth();
// Blocks x pages per block of "/a"; 0 when the module gives no size (all ones, or nothing).
uint32_t CountVeltanPages();
uint32_t VeltanPagesPerBlock();
// A page number clamped to 0 .. total - 1 (0 for an empty device).
uint32_t ClampVeltanPage(int64_t page, uint32_t total);

// ---- the grid ------------------------------------------------------------------------------------
struct VeltanGridLayout {
  long cols;          // 18 at width 8, 10 at width 16
  long hexCols;       // 16 or 8
  long textCol;       // the last column
  long dataRows;      // spare / 16 + 128
  long hexColTwips;   // 300 or 600
  uint32_t cellBytes; // 1 or 2
};
VeltanGridLayout VeltanLayout(uint8_t width, uint32_t spare);
// Row r (1..dataRows): "0x%03X" of its first byte (width 8) or word (width 16).
std::string VeltanRowLabel(long row, uint8_t width);
// Column c (1..hexCols): "%02X" of c - 1.
std::string VeltanColumnLabel(long col);
// The hex cell of row r, column c: "%02X" of a byte or "%04X" of a little-endian word.
std::string VeltanCellText(const uint8_t* page, long row, long col, uint8_t width);
// The text column of row r: 16 characters, 0x20..0x7E as themselves, every other byte '.'.
std::string VeltanRowText(const uint8_t* page, long row);
// The typed text of a hex cell into the page: 1..2 hexadecimal digits at width 8, 1..4 at
// width 16 (a number: "1F" stores 0x001F; four digits put the first two in the odd, high byte).
// False, page untouched, for anything else or a cell outside the hex columns.
bool ApplyCellEdit(uint8_t* page, size_t pageBytes, long row, long col, uint8_t width, const std::string& typed);

// The label rows a find match marks: the first and last data row (1-based) of the bytes
// offset .. offset + length - 1, in cells of the width, held inside 1 .. dataRows. False when
// the range starts past the grid or is empty.
bool VeltanHighlightRows(uint32_t offset, uint32_t length, uint8_t width, long dataRows, long* first, long* last);

// ---- block table -----------------------------------------------------------------------------------
class CVeltanBlockTable {
 public:
  // "/a" with its letter advanced by the offset; the block count stored and returned.
  uint32_t GetBlockCount(int volumeOffset);
  // Reads the device's bad-block markers and offers to save them as "__bbt__.txt" or to replace
  // them by a table file. 0, or the failing result of gfslVeltanGetBBT (then every block is bad
  // and Ready() is false until a later Load succeeds).
  int Load(int volumeOffset, VeltanHost& host);
  // A table exists: work that programs or erases may go on.
  bool Ready() const { return ready_; }
  bool IsBad(uint32_t block) const { return block >= m_BlockCount || m_BlockStatus[block] != 0xFF; }
  // A block that failed a program or erase: bad from now on.
  void MarkBad(uint32_t block);

  std::vector<uint32_t> m_BlockIndex;
  std::vector<uint32_t> m_BlockSize;
  std::vector<uint32_t> m_BlockStart;
  std::vector<uint16_t> m_BlockStatus;
  uint32_t m_BlockCount = 0;
  uint32_t m_SpareSize = 64;
  uint8_t m_NoPrompt = 0;

 private:
  void Fill(const std::vector<uint8_t>& markers, uint32_t pagesPerBlock);
  bool ready_ = false;
};

// One "%04d:%02x\r\n" line per block.
std::string FormatBlockTableFile(const uint8_t* markers, uint32_t blocks);
// A table file's markers: one line per block ("<decimal>:<two hex digits>", CR LF or LF), the
// block numbers counting up from 0, exactly `blocks` lines. False with the reason otherwise.
bool ParseBlockTableFile(const std::string& text, uint32_t blocks, std::vector<uint8_t>* markers, std::string* why);
uint16_t BlockStatusOfMarker(uint8_t marker);

// ---- find ----------------------------------------------------------------------------------------------
// Offsets of the buffer from its start, or -1. A hit starts below `starts` and ends within n.
long FindPattern(const uint8_t* buffer, long n, long starts, long from, const uint8_t* pattern, long m);
long FindDifferent(const uint8_t* buffer, long n, long starts, long from, const uint8_t* pattern, long m);

struct VeltanFind {
  std::vector<uint8_t> pattern;
  uint32_t spare = 64;
  uint32_t totalPages = 0;
  uint32_t page = 0;      // where the search stands
  long offset = 0;        // first start position in that page
  uint32_t lastPage = 0;  // "to page number"
  bool wholeRange = false;  // "From the current position..." (else the current page)
  bool difference = false;
  // Before each page with the page about to be read; false stops the search.
  bool (*tick)(void* context, uint32_t page) = nullptr;
  void* tickContext = nullptr;
};
enum class VeltanFindOutcome { kHit, kNotFound, kStopped, kReadError };
struct VeltanFindResult {
  VeltanFindOutcome outcome = VeltanFindOutcome::kNotFound;
  uint32_t page = 0;
  long offset = 0;
};
// The page window searched: the data area and the whole spare area, as the grid shows it.
uint32_t VeltanWindowBytes(uint32_t spare);
// Searches page after page from (page, offset): a match may run on into the next page when the
// range goes on past this page. The pattern holds 1 .. VeltanWindowBytes bytes.
VeltanFindResult RunVeltanFind(const VeltanFind& find);
// Where "Find next" goes on after a hit: one byte on, the next page after the window's end.
void AdvancePastHit(VeltanFind* find, const VeltanFindResult& hit);
// (page - start) x 100 / max(last - start, 1), within 0..100.
int VeltanFindProgress(uint32_t page, uint32_t start, uint32_t last);

// ---- ECC ------------------------------------------------------------------------------------------------
struct EccSettings {
  uint32_t method = 0;     // 0 Hamming ECC, 1 BCH
  uint32_t eccOffset = 0;  // the 2-byte code's place in a chunk's share of the spare area
  uint32_t bchOffset = 0;  // the 9 BCH parity bytes' place in that share
};
// The calls of the outside ECC module (null context functions never called when absent).
struct EccModuleCalls {
  void* context = nullptr;
  void (*calculateEcc)(void* context, const uint8_t* chunk, uint8_t* ecc) = nullptr;
  int (*correctEcc)(void* context, uint8_t* chunk, const uint8_t* stored, const uint8_t* computed, uint8_t flag) = nullptr;
  void (*calculateBch)(void* context, uint8_t* record) = nullptr;
  int (*correctBch)(void* context, uint8_t* record, uint32_t* locations, uint32_t* count) = nullptr;
};
constexpr uint32_t kBchParityStored = 9;
constexpr uint32_t kBchParityRecord = 12;
constexpr uint32_t kBchRecordBytes = kVeltanChunkBytes + kBchParityRecord;
constexpr uint32_t kBchLastLocation = 4160;
constexpr uint32_t kBchMaxLocations = 4;

// Page offset of chunk i's share of the spare area.
uint32_t SpareShareOffset(uint32_t spare, int chunk);
// Empty when the settings fit the spare area; else the reason, to be shown and nothing done.
std::string CheckEccSettings(const EccSettings& settings, uint32_t spare);
// The record bit (byte x 8 + bit) of a BCH location: locations count down from 4160 through
// little-endian 32-bit words. -1 for a location above 4160.
long BchLocationBit(uint32_t location);
// The location of a record bit (the inverse).
uint32_t BchBitLocation(uint32_t bit);
// The BCH record of chunk i: its 512 data bytes and the 12 bytes at its BCH place (bytes past
// the page read as 0xFF).
void BuildBchRecord(const uint8_t* page, uint32_t spare, int chunk, uint32_t bchOffset, uint8_t* record);

// "Check ECC": one box per chunk and one per finding. The page is not changed.
void CheckPageEcc(const uint8_t* page, uint32_t spare, const EccSettings& settings, const EccModuleCalls& module,
                  VeltanHost& host);
// "Program ECC": the codes of the four chunks written into the page's spare area.
void ComputePageEcc(uint8_t* page, uint32_t spare, const EccSettings& settings, const EccModuleCalls& module);

// ---- writing pages back -----------------------------------------------------------------------------
// "Program page": reads every page of the current page's block into the scratch file, erases
// the block once and programs every page again, the current one from `page`; `beforeCurrent`
// (may be null) runs on the buffer just before it is programmed. A page whose program fails does
// not stop the others. A failed erase or program marks the block bad in the table, keeps the
// block as meant (the read pages with `page` in its place) in "__block_<n>__.bin" beside the
// scratch file, never over an earlier one, and says so with the pages programmed and those
// that failed. True when the whole block was rewritten; `page` is never read back.
bool RewriteBlock(uint32_t currentPage, uint8_t* page, uint32_t spare, CVeltanBlockTable* table, VeltanHost& host,
                  void (*beforeCurrent)(void* context, uint8_t* page) = nullptr, void* context = nullptr);

struct VeltanTransfer {
  uint32_t first = 0;
  uint32_t count = 1;
  uint32_t spare = 64;
  bool withoutSpare = true;  // records of 2,048 bytes; else 2,048 + spare
  int policy = 0;            // import: 0 shift to the next block, 1 skip the block's records
};
// Import from an open file (the caller has opened it). Returns pages programmed.
uint32_t ImportVeltanPages(std::FILE* file, uint64_t fileBytes, const VeltanTransfer& transfer, CVeltanBlockTable& table,
                           VeltanHost& host);
// Export into the file at `path`, created (or emptied) only when the first page has been read.
// A range that runs past the device's end exports the pages that exist and says how many.
// Returns pages written.
uint32_t ExportVeltanPages(const std::string& path, const VeltanTransfer& transfer, VeltanHost& host);
// "File information: Total %ld Bytes, %ld/%ld pages without/with spare".
std::string VeltanFileInformation(uint64_t bytes, uint32_t spare);

}  // namespace lx
