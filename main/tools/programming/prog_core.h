// The programming tools without windows: program, read, verify, erase, copy and dump of NOR
// windows and Veltan pages, as the edit sheets run them. Portable: the device is reached only
// through DeviceApiTable (device 0, volume "/a"), the user only through a Host.
//
// Every operation checks its range against the device before it touches anything, reports each
// failure as it happens (the Host asks or tells), and ends with one final text that says what
// happened, with counts when anything went wrong or the user stopped.
#pragma once
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "lumivex/text_format.h"
#include "tool_host.h"

namespace lx {
namespace prog {

// Box types of the questions (the values of the Windows message box).
constexpr unsigned kOk = 0x0;
constexpr unsigned kYesNoWarning = 0x4 | 0x30;
constexpr unsigned kOkCancel = 0x1;
constexpr unsigned kAbortRetryIgnore = 0x2 | 0x30;
constexpr int kAnswerOk = 1, kAnswerCancel = 2, kAnswerAbort = 3, kAnswerRetry = 4, kAnswerIgnore = 5,
              kAnswerYes = 6, kAnswerNo = 7;

// What a running operation needs of its window: the ToolHost (boxes, a pump with Stop before
// every step, the progress bar, status lines 1 and 2 of the test pages), and a clock.
class Host : public ToolHost {
 public:
  // Sleeps one short slice (tests speed it up).
  virtual void SleepSlice(uint32_t ms);
  // Milliseconds of a steady clock (the duplicate's time estimates).
  virtual uint64_t NowMs();
};

// Waits `ms` in slices of at most 50 ms, stepping between them so that the window stays alive;
// false when the user stopped during the wait.
bool SlicedWait(Host& host, uint32_t ms);

using lx::Format;

// A binary file read or written in pieces, with 64-bit positions.
class DataFile {
 public:
  DataFile() = default;
  ~DataFile() { Close(); }
  DataFile(const DataFile&) = delete;
  DataFile& operator=(const DataFile&) = delete;
  bool OpenRead(const std::string& path);
  bool Create(const std::string& path);
  void Close();
  bool IsOpen() const { return file_ != nullptr; }
  uint64_t Length();
  bool Seek(uint64_t position);
  // Bytes read (fewer at the end of the file).
  size_t Read(void* buffer, size_t count);
  bool Write(const void* buffer, size_t count);

 private:
  std::FILE* file_ = nullptr;
};

// The length of a file, or -1 when it cannot be opened.
int64_t FileLength(const std::string& path);

// "0x" prefix hexadecimal, leading 0 octal, else decimal (strtoul with base 0); false for text
// that is not a whole number or does not fit 32 bits.
bool ParseNumber(const std::string& text, uint32_t* value);

// ---- NOR ------------------------------------------------------------------------------------
struct NorSector {
  uint32_t start;
  uint32_t size;
};
// The device's sectors from gfslNORGetBlockSize("/a", k) until it answers below 1.
std::vector<NorSector> ReadNorSectors();
// The device's bytes (gfslGetNumberOfBytesPerDevice, low 32 bits; 0 for none or a failure).
uint32_t NorDeviceBytes();
// 2^k x 1024 bytes (k above 20 is held at 20).
uint32_t WindowSize(uint8_t sizeIndex);

// Null when start .. start + length lies inside a device of deviceBytes; else the refusal text.
// A length of 0 is refused too.
const char* CheckRange(uint64_t start, uint64_t length, uint64_t deviceBytes, std::string* text);

struct NorProgramRequest {
  std::string path;
  uint32_t start = 0;   // byte address
  uint32_t length = 0;  // bytes
  uint32_t chunk = 0;   // bytes per step (the window size)
  bool verify = false;
  const char* unit = "window";  // what the final text counts
};
// Programs the file's first `length` bytes at `start`; the final text is returned.
std::string ProgramNorData(Host& host, const NorProgramRequest& request);
// Reads start .. start + length into a new file, in pieces of 16 MiB.
std::string ReadNorToFile(Host& host, const std::string& path, uint32_t start, uint32_t length);
// Compares start .. start + length with the file in pieces of 32 KiB: every differing byte is
// asked about; bytes past the end of a short file are not compared (the text says so).
// An empty result: the user stopped at a difference (no summary).
std::string VerifyNorWithFile(Host& host, const std::string& path, uint32_t start, uint32_t length);

struct EraseSectorsRequest {
  std::vector<NorSector> sectors;  // the whole device
  uint32_t first = 0, count = 0;
  uint32_t window = 0;  // verify piece
  bool verify = false;
};
std::string EraseNorSectors(Host& host, const EraseSectorsRequest& request);

struct CopyWindowsRequest {
  uint32_t source = 0, count = 0, target = 0;  // window numbers
  uint32_t window = 0;
  uint32_t windows = 0;  // windows of the device
  bool verify = false;
};
std::string CopyNorWindows(Host& host, const CopyWindowsRequest& request);

// Dumps start .. start + length into a new file in pieces of at most `piece` bytes (a sector
// smaller than the piece is dumped too); the final text (`success`, which may be empty).
std::string DumpNor(Host& host, const std::string& path, uint32_t start, uint64_t length, uint32_t piece,
                    const char* createFailure, const char* success);

// ---- Veltan ---------------------------------------------------------------------------------
constexpr uint32_t kPageDataBytes = 2048;

// The Veltan description the explorer hands the sheets.
struct VeltanTable {
  std::vector<uint16_t> status;  // per block; 0xFF = good
  uint32_t spare = 64;           // spare bytes per page
  bool noPrompt = false;         // silence bad-block notifications
  bool Good(uint32_t block) const { return block < status.size() && status[block] == 0xFF; }
};
struct VeltanGeometry {
  uint32_t blocks = 0, pagesPerBlock = 0;
  uint64_t Pages() const { return static_cast<uint64_t>(blocks) * pagesPerBlock; }
};
// Blocks and pages per block from the device; zeros when it answers a failure.
VeltanGeometry ReadVeltanGeometry();
// The block table from gfslVeltanGetBBT (all good when the module cannot tell).
VeltanTable ReadVeltanTable(uint32_t spare);

enum class BadBlockPolicy { Shift = 0, Skip = 1 };
struct RawPagesRequest {
  std::string path;
  uint32_t start = 0, count = 0;  // pages
  bool leaveSpare = true;         // program the data bytes only (the spare stays 0xFF)
  BadBlockPolicy policy = BadBlockPolicy::Shift;
};
std::string ProgramVeltanRawPages(Host& host, const VeltanTable& table, const RawPagesRequest& request);
// One 512-byte column area (0..3) of one page from the file's first 512 bytes.
std::string ProgramVeltanPartPage(Host& host, const VeltanTable& table, const std::string& path, uint32_t page,
                                  uint32_t area);
std::string EraseVeltanBlocks(Host& host, const VeltanTable& table, uint32_t first, uint32_t count);
struct CopyPagesRequest {
  uint32_t source = 0, count = 0, target = 0;
  bool leaveSpare = true;
};
std::string CopyVeltanPages(Host& host, const VeltanTable& table, const CopyPagesRequest& request);
// Raw pages first .. first + count - 1 into a new file.
std::string DumpVeltanPages(Host& host, const VeltanTable& table, const std::string& path, uint64_t first,
                            uint64_t count, const char* createFailure);

// The bad-block notification (unless silenced).
void NotifyBadBlock(Host& host, const VeltanTable& table, uint32_t block);

}  // namespace prog
}  // namespace lx
