// STAPL (Jam) player for ASCII programs: runs one action of a program held in memory and
// drives JTAG through a small host interface. Portable: no Windows headers.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace lx {
namespace jam {

// Player error codes; the first non-zero code ends a run.
enum JamError {
  JAMC_SUCCESS = 0,
  JAMC_OUT_OF_MEMORY = 1,
  JAMC_IO_ERROR = 2,
  JAMC_SYNTAX_ERROR = 3,
  JAMC_UNEXPECTED_END = 4,
  JAMC_UNDEFINED_SYMBOL = 5,
  JAMC_REDEFINED_SYMBOL = 6,
  JAMC_INTEGER_OVERFLOW = 7,
  JAMC_DIVIDE_BY_ZERO = 8,
  JAMC_CRC_ERROR = 9,
  JAMC_INTERNAL_ERROR = 10,
  JAMC_BOUNDS_ERROR = 11,
  JAMC_TYPE_MISMATCH = 12,
  JAMC_ASSIGN_TO_CONST = 13,
  JAMC_NEXT_UNEXPECTED = 14,
  JAMC_POP_UNEXPECTED = 15,
  JAMC_RETURN_UNEXPECTED = 16,
  JAMC_ILLEGAL_SYMBOL = 17,
  JAMC_VECTOR_MAP_FAILED = 18,
  JAMC_USER_ABORT = 19,
  JAMC_STACK_OVERFLOW = 20,
  JAMC_ILLEGAL_OPCODE = 21,
  JAMC_PHASE_ERROR = 22,
  JAMC_SCOPE_ERROR = 23,
  JAMC_ACTION_NOT_FOUND = 24,
};

const char* ErrorText(int code);                    // "success" .. "action not found", null above 24
const char* ExitCodeText(int version, int exitCode); // per language version

// What the player needs from the outside world. Bit strings are packed: bit i is bit (i % 8)
// of byte i / 8.
class JamHost {
 public:
  virtual ~JamHost() = default;
  virtual void Message(const char* text) = 0;  // PRINT lines
  virtual void Delay(int32_t microseconds) = 0;
  // One TCK clock with these levels; returns the TDO level sampled when readTdo is set
  // (0 otherwise) or a negative value when the JTAG link failed.
  virtual int JtagIo(int tms, int tdi, int readTdo) = 0;
  // start: 0 Run-Test/Idle, 1 Pause-DR, 2 Pause-IR. Ends in Pause-IR / Pause-DR.
  // Returns 0, or non-zero when the scan could not be done.
  virtual int ScanIR(int start, int32_t count, const uint8_t* tdi, uint8_t* capture) = 0;
  virtual int ScanDR(int start, int32_t count, const uint8_t* tdi, uint8_t* capture) = 0;
  virtual int SetFrequency(int32_t /*hz*/) { return 0; }
  virtual void ExportInteger(const char* /*key*/, int32_t /*value*/) {}
  // EXPORT of a Boolean array or range: its bits packed as above, bit 0 being the element
  // written last in the range (A[15..0] puts A[0] in bit 0, as INTEGER(A[15..0]) reads it).
  virtual void ExportBooleanArray(const char* /*key*/, const uint8_t* /*data*/, int32_t /*bits*/) {}
  // Vector signals need the serial adapter, which this player never opens.
  virtual bool VectorSignalKnown(const std::string& name);
  virtual int VectorIo(int32_t /*count*/, const uint8_t* /*dir*/, const uint8_t* /*data*/,
                       uint8_t* /*capture*/) {
    return -1;
  }
  // Player diagnostics: stream 1 = standard output, 2 = standard error.
  virtual void Output(int stream, const char* text);
};

struct JamLimits {
  // Statements plus clocks a run may take without shifting any data through a register before
  // it is cancelled (code 19): the guard against a program that loops without end. Every scan
  // starts the count again, so a long programming run is never cut short by it.
  int64_t stepBudget = 400000000;
  // Upper bound of the bytes all arrays and literals of one run may hold (code 1 beyond).
  size_t heapLimit = 64u * 1024u * 1024u;
};

struct JamRunResult {
  int error = 0;       // player error code
  int32_t line = 0;    // line of the failing statement
  int exitCode = 0;    // the program's EXIT value (0 when it ran to the end of the action)
  int version = 0;     // language version found (0 unknown, 1, 2)
  bool chainKnown = false;
};

// CRC check over the program text: 0 found and matching, 4 no CRC statement, 9 mismatch.
int CheckCrc(const uint8_t* program, size_t size, uint16_t* expected, uint16_t* actual,
             int32_t* line);
uint16_t ComputeCrc(const uint8_t* data, size_t size);  // the checksum the CRC statement holds

// Runs `action` of the program. initList holds "NAME=value" strings.
JamRunResult Execute(const uint8_t* program, size_t size, const std::string& action,
                     const std::vector<std::string>& initList, bool resetAtEnd, JamHost& host,
                     const JamLimits& limits = JamLimits());

// The kit's CPLD entry: banner, CRC check (a mismatch stops the run with code 9), action
// "PROGRAM" with the standard init list, result lines. Returns 0 when the player finished
// without a player error, 1 otherwise; the program's exit code goes to *exitCode.
int RunJamProgram(JamHost& host, const uint8_t* program, size_t size, int* exitCode,
                  const JamLimits& limits = JamLimits());

}  // namespace jam
}  // namespace lx
