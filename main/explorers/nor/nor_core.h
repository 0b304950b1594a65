// What the NOR explorer, its dialogs and the geometry sheet compute without windows: the sector
// table, the window arithmetic and grid texts, the window search of the find dialog, the hex
// dumps and lists of the sheet's pages, which pages the sheet holds, the block-protection tables
// of SPI parts and the OTP maps. Portable; reaches the device only through small interfaces.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "explorer_core.h"
#include "tool_host.h"

namespace lx {

// ---- sector table ------------------------------------------------------------------------------
// Where the table's rows come from (the device API's block size and block status).
class NorBlockSource {
 public:
  virtual ~NorBlockSource() = default;
  // Bytes of block i; 0 or a negative value (read as signed) ends the device.
  virtual uint32_t BlockSize(uint32_t index) = 0;
  virtual int BlockStatus(uint32_t index, uint16_t* status) = 0;
};

// The device's sectors: index, size, byte start and 16-bit protection status of each. Built once;
// the owner calls Free before it deletes the table.
class CNorSectorTable {
 public:
  // Reads sizes until a block answers less than 1, at most kMaxSectors; the start of a sector that
  // would pass 4 GiB ends the table there. Statuses are read as they come (results ignored).
  int Build(NorBlockSource& source);
  // The sector that holds the address (the last one past the device end); -1 for an empty table.
  int32_t IndexOf(uint32_t address) const;
  // Re-reads one sector's status.
  void ReadStatus(NorBlockSource& source, int32_t sector);
  void Free();
  uint32_t End(int32_t sector) const { return start[sector] + size[sector] - 1; }

  static constexpr int32_t kMaxSectors = 1 << 20;
  std::vector<uint32_t> index, size, start;
  std::vector<uint16_t> status;
  int32_t count = 0;
};

// ---- windows and the grid ----------------------------------------------------------------------
// Device bytes / window size truncated to 32 bits; 0 when the device gives no positive size.
int32_t NorWindowCount(uint64_t deviceBytes, uint32_t windowSize);
// index kept within 0 .. count - 1; 0 when there is no window.
int32_t ClampWindowIndex(int64_t index, int32_t count);
int NorRowsPerWindow(uint32_t windowSize);
// "0x%08X" of a row's absolute address.
std::string NorRowLabel(uint32_t address);

// ---- program with erase ------------------------------------------------------------------------
// The sector that holds the window, and how many windows of it are saved and rewritten. A window
// that does not lie inside one sector as a whole number of windows cannot be rewritten this way.
struct EraseRewritePlan {
  bool ok = false;
  int32_t sector = -1;
  uint32_t sectorStart = 0;
  uint32_t windows = 0;
  const char* refusal = nullptr;
};
EraseRewritePlan PlanEraseRewrite(const CNorSectorTable& table, uint32_t windowAddress, uint32_t windowSize);

// The device calls of the explorer's loops (device 0); 0 on success.
class NorDeviceIo {
 public:
  virtual ~NorDeviceIo() = default;
  virtual int Read(uint32_t address, uint32_t length, uint8_t* buffer) = 0;
  virtual int Program(uint32_t address, uint32_t length, const uint8_t* data) = 0;
  virtual int EraseSector(uint32_t sector) = 0;
};

// How far a loop of windows came: `done` of `total` windows written, and whether it ended with
// every one of them (the host was told "... finished." then, and only then).
struct NorLoopResult {
  bool finished = false;
  uint32_t done = 0;
  uint32_t total = 0;
};

// Program with erase: saves every window of the plan's sector into the scratch file, erases the
// sector once and programs its windows again, the window at windowAddress from `window`. Before
// the erase the first failure ends it and nothing is erased. Once the sector is erased, every
// window is programmed even when one fails, so only the failing windows are lost; a failed erase
// or program keeps the sector as meant (the read windows with `window` in its place) in
// "__sector_<n>__.bin" beside the scratch file, never over an earlier one, and its text names
// that file with the windows programmed and those that failed. Stop is taken while the sector
// is saved (nothing is erased then), not once it is erased. The outcome is told through the host.
NorLoopResult RewriteSectorWithWindow(NorDeviceIo& device, ToolHost& host, const EraseRewritePlan& plan,
                                      uint32_t windowAddress, const std::vector<uint8_t>& window,
                                      const std::string& scratchPath);

// The windows first .. first + count - 1 of windowSize bytes (the caller has checked that they lie
// inside the device).
struct NorWindowRange {
  int32_t first = 0;
  int32_t count = 1;
  uint32_t windowSize = 1024;
};
// Import: the file's first count windows programmed from the first window on; export: the
// windows read into a new file. The first failure or a stop ends the loop, told with counts.
NorLoopResult TransferNorWindows(NorDeviceIo& device, ToolHost& host, const std::string& path,
                                 const NorWindowRange& range, bool import);

// ---- program without erase ---------------------------------------------------------------------
// The window as read back after a program, against what was sent. The chip's own wait after a
// buffer program looks at its last word only, and a protected sector takes nothing while that
// word may already hold its value. Empty when every byte holds its value; else the failure, with
// the count and the first address.
std::string ProgramCompareFailure(uint32_t address, const uint8_t* sent, const uint8_t* back, uint32_t size);

// ---- find ---------------------------------------------------------------------------------------
enum class NorPatternError { kNone, kEmpty, kTooLong, kNotHex };
// ASCII (kind 0): the text's bytes as typed; hexadecimal (kind 1): blank-separated pairs of digits
// (a lone digit is the high nibble). At most maxBytes bytes.
NorPatternError ParseNorPattern(const std::string& text, int kind, size_t maxBytes, std::vector<uint8_t>* pattern);
const char* NorPatternErrorText(NorPatternError error);

// Reads length bytes at a byte address; 0 on success.
typedef int (*NorReadFn)(void* context, uint32_t address, uint32_t length, uint8_t* buffer);

struct NorFind {
  NorReadFn read = nullptr;
  void* context = nullptr;
  uint32_t windowSize = 1024;
  int32_t windowCount = 0;
  int32_t current = 0;   // the window searched (updated)
  int32_t start = 0;     // the window the search began in
  int32_t position = 0;  // first start offset in the current window (updated)
  int32_t to = 0;        // the last window of a range search
  bool range = false;    // "From the current position..." up to `to`
  bool different = false;
  std::vector<uint8_t> pattern;
  // Before each window of a range search after the first: pumps messages; false stops.
  bool (*tick)(void* context, int percent) = nullptr;
  void* tickContext = nullptr;
};

enum class NorFindOutcome { kHit, kNotFound, kReadError, kStopped };
struct NorFindResult {
  NorFindOutcome outcome = NorFindOutcome::kNotFound;
  int32_t window = 0;  // hit: its window; read error: the window that could not be read
  int32_t offset = 0;  // hit: its byte in that window
};

// One "Find next": hits start in the current window, at or after the position; a pattern may
// run on into the next window while that window is inside the range. After a hit the position is
// the byte after it (the next window's byte 0 after a window's last byte); after a miss it is 0
// and the window the one where the search ended. A range whose end lies below the current window
// searches the current window alone.
NorFindResult RunNorFind(NorFind& find);

// The first offset p (from <= p, p + length <= searched, p < limit) where the data hold the
// pattern; with `different`, the start of the first pattern-sized chunk from `from` on that
// differs from it. -1 when none.
int32_t SearchWindowBytes(const uint8_t* data, int32_t searched, int32_t limit, int32_t from,
                          const std::vector<uint8_t>& pattern, bool different);

// ---- numbers as typed --------------------------------------------------------------------------
// The C library's unsigned conversion with automatic base ("0x" hex, leading 0 octal, else
// decimal), stopping at the first character that does not fit. False for empty text.
bool ParseAutoBase(const std::string& text, uint32_t* value);

// ---- dumps and lists of the geometry sheet -------------------------------------------------------
// 64 lines of 16 bytes under a column header, each line "0x%08X " with base + 16 x line.
std::string HexDump1024(const uint8_t* bytes, uint32_t base);
std::vector<std::string> SectorGeometryLines(const CNorSectorTable& table);
// The protection list: a notice, the PPB lock line, the header, a rule, then line i + 4 = sector i.
std::vector<std::string> ProtectionListLines(const CNorSectorTable& table, int deviceKind);
std::vector<std::string> NoPersistentBitsNotice();
// Bits 5..7 of sector 0's status: 1 marks a device without persistent protection bits.
int DeviceVariant(const CNorSectorTable& table);

// The lock register boxes (bits 0..3 and the customer SSR box) as the status word the module
// takes: box n in bit n, the customer SSR lock in bit 4 (the module maps it to lock bit 6).
uint32_t LockRegisterValue(const int boxes[5]);
void LockRegisterBoxes(uint16_t status, int boxes[5]);

// ---- which pages the sheet holds ---------------------------------------------------------------
enum class NorPage {
  kSectorGeometry, kCfiData, kProtectGroup, kLockRegister, kAspRegister, kSecSi, kSpiProtectGroup,
  kSpiStatus, kSpiConfiguration, kMarroStatus1, kMarroStatus2, kMarroStatus3, kBessaStatus2,
  kDataLearning, kPirelOtp, kMarroOtp, kBessaOtp,
};
std::vector<NorPage> GeometrySheetPages(int deviceKind, int deviceCode, int startPage);

// ---- SPI block protection ------------------------------------------------------------------------
struct ProtectRow {
  std::vector<std::string> cells;
};
// The BP layout (codes 10, 3004, 3005, 3006): header row then 8 rows (v = 0..7).
std::vector<std::string> BpSelectorEntries();
std::vector<ProtectRow> BpProtectionRows(uint32_t deviceBytes, bool tbprot);
int BpEntryFromStatus(uint8_t status);
uint8_t BpApply(uint8_t status, int entry);

// The SEC/TB/BP layout (codes 3001..3003); a 2 MiB device has its own list.
bool IsTwoMiB(uint32_t deviceBytes);
std::vector<int> SecValues(bool twoMiB);
std::vector<std::string> SecSelectorEntries(bool twoMiB);
int SecEntryFromStatus(uint8_t status, bool twoMiB);
int SecValueFromEntry(int entry, bool twoMiB);
uint8_t SecApply(uint8_t status, int entry, bool twoMiB);
// Header row, then one row per entry: SEC, TB, BP2, BP1, BP0, range, density, portion.
std::vector<ProtectRow> SecProtectionRows(uint32_t deviceBytes, bool cmp);

// ---- OTP maps ------------------------------------------------------------------------------------
struct OtpLock {
  uint32_t address;
  int bit;
};
std::vector<std::string> PirelRegionNames();
std::vector<std::string> BessaRegionNames();
std::vector<std::string> PirelOffsetEntries(int region);
std::vector<std::string> BessaOffsetEntries(int region);
uint32_t PirelOtpAddress(int region, int offsetIndex);
uint32_t BessaOtpAddress(int region, int offsetShown);
uint32_t MarroSecurityAddress(int region, int offset);
OtpLock PirelLock(int region);
OtpLock BessaLock(int region);
// The dumps: Pirel from a 768-byte image indexed by address, Bessa from 1,024 bytes at 0, Marro
// from three 256-byte registers and status register 2 (srOk false: the lock state is unknown).
std::string PirelOtpDump(const uint8_t* image768);
std::string BessaOtpDump(const uint8_t* area1024);
std::string MarroSecurityDump(const uint8_t* registers768, uint8_t sr2, bool srOk);

}  // namespace lx
