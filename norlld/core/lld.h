// LXLLD_Tarn's portable core: the NOR low-level driver that the NOR console of Lumivex loads with
// "init LXLLD". It keeps its state in process-wide variables (the console calls one export at a
// time) and answers in text through g_ucBuffer / g_ulBufferIndex, which the console prints and
// empties after every call.
//
// Contract of the text buffer: nothing is ever written at or past g_ucBuffer[kLldBufferSize - 1];
// the text always ends with a NUL at g_ulBufferIndex. When a print does not fit, what fits is kept,
// one "output truncated" note ends the text, and commands that print in loops stop early.
//
// Addresses the user types are 32-bit numbers. The 64 KB scratchpad is reached through its number
// (kLldScratchpadAddress), which is translated to the real block here, so the same commands behave
// the same whatever the width of a pointer; no variable or command can move it.
//
// The kit is reached through rook::KitBus (the methods of the kit control), the clock, COM, the
// registry and standard streams through LldHost: the DLL binds them to TarnControl and Win32,
// native tests to the simulated kit.
#pragma once
#include <cstdint>
#include <memory>
#include <string>

#include "kit_bus.h"
#include "lumivex/command_line.h"
#include "lumivex/console_commands.h"

constexpr uint32_t kLldBufferSize = 1000000;
constexpr uint32_t kLldScratchpadSize = 0x10000;
constexpr uint32_t kLldScratchpadAddress = 0x00100000;

extern "C" {
extern uint8_t g_ucBuffer[kLldBufferSize];
extern uint32_t g_ulBufferIndex;

typedef int32_t (*LldHandler)(int32_t argc, char** argv);

int32_t LXLLD_Init(uint32_t* baseAddress, uint32_t* windowSize, uint32_t* scratchpadAddress);

// A row of the driver's own command tables, built from the console rows the main program uses.
#define LLD_ROW(word, handler, min, max, syntax) {word, handler, min, max, syntax},
#define LLD_CLOSING_ROW {nullptr, nullptr, 0, 0, nullptr}

// Every command export, by the suffix after "cmd_" (the list the main program binds by).
#define LLD_DECLARE_EXPORT(suffix) int32_t cmd_##suffix(int32_t argc, char** argv);
LX_NOR_DRIVER_COMMANDS(LLD_DECLARE_EXPORT)
#undef LLD_DECLARE_EXPORT

void lld_Print(const char* format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 1, 2)))
#endif
    ;
void lld_ExecuteCommandLine(const char* line);
}

// What the driver needs of its surroundings besides the kit.
class LldHost {
public:
  virtual ~LldHost() = default;
  // COM for the calling thread (CoInitialize / CoUninitialize).
  virtual rook::HResult ComInitialize() { return rook::kOk; }
  virtual void ComUninitialize() {}
  // Creates the kit control; null with the failure in *hr.
  virtual std::unique_ptr<rook::KitBus> CreateKit(rook::HResult* hr) = 0;
  // "Full Path" of the main program's key, at most `limit` characters; false when unreadable.
  virtual bool InstallFolder(std::string* folder, size_t limit) = 0;
  virtual uint64_t NowUs() = 0;
  // Waits; a busy wait on real hardware, advancing simulated time in tests.
  virtual void DelayUs(uint64_t us) = 0;
  virtual void StdOut(const char* text) = 0;
  virtual void StdErr(const char* text) = 0;
  // One line of standard input without its line end; false at the end of the input.
  virtual bool ReadLine(std::string* line) = 0;
};

namespace lld {

// The host the next LXLLD_Init uses (not owned; must outlive the driver's use of it).
void SetHost(LldHost* host);
// Back to the state at load, kit released (tests run many start-ups in one process).
void ResetForTest();
// True once the buffer holds its "output truncated" note (loops stop there).
bool OutputFull();

// Status values of the NOR driver.
enum DevStatus : int32_t {
  DEV_STATUS_UNKNOWN = 0,
  DEV_NOT_BUSY = 1,
  DEV_BUSY = 2,
  DEV_EXCEEDED_TIME_LIMITS = 3,
  DEV_SUSPEND = 4,
  DEV_WRITE_BUFFER_ABORT = 5,
  DEV_STATUS_GET_PROBLEM = 6,
  DEV_VERIFY_ERROR = 7,
  DEV_BYTES_PER_OP_WRONG = 8,
};

// Poll types.
enum PollType : int32_t {
  LLD_P_POLL_PGM = 1,
  LLD_P_POLL_WRT_BUF_PGM = 2,
  LLD_P_POLL_SEC_ERS = 3,
  LLD_P_POLL_CHIP_ERS = 4,
  LLD_P_POLL_RESUME = 5,
};

struct TraceRecord {
  uint32_t sequence;
  uint32_t type;  // 1 read, 2 write
  uint32_t base;
  uint32_t offset;
  uint32_t address;
  uint16_t data;
};
constexpr int kTraceRecords = 512;
// The ring as it stands: records, write index (-1 when empty), wrapped flag.
const TraceRecord* TraceRing(int32_t* writeIndex, bool* wrapped);

// Driver layer, for tests.
int32_t StatusGet(uint32_t offset);
int32_t Poll(uint32_t offset, uint16_t expected, uint16_t* actual, int32_t pollType);
void TraceAccess(uint32_t offset, uint32_t type, uint32_t address, uint16_t data);
// Longest poll of each type before the driver gives up with DEV_EXCEEDED_TIME_LIMITS, in µs.
uint64_t PollTimeLimitUs(int32_t pollType);

// Words (a blank is a space or a TAB) and hexadecimal parameters, read as the consoles read them.
using lx::cmdline::IsBlank;
using lx::cmdline::ParseHex;
// True when the word at `text` (up to the next blank or the end) is exactly `word`.
bool WordIs(const char* text, const char* word);

}  // namespace lld
