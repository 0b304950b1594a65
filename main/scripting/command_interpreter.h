// The two low-level consoles: parse a typed line against a command table, check it, and hand it
// to the bound driver's entry point by table index. Portable: the driver table is reached
// through LldConsoleDriver, so native tests drive the consoles with fake drivers.
#pragma once
#include <cstddef>
#include <cstdint>
#include <mutex>

#include "command_tables.h"
#include "lumivex/command_line.h"

namespace lx {

// What a console needs of its driver table. The cells are read at the moment of each call: a
// later "init" may bind new entry points over the same cells.
struct LldConsoleDriver {
  CommandHandler (*command)(int cell);  // the entry point the table holds now for a command cell
  uint8_t* const* buffer;               // the table's g_ucBuffer cell (null while unbound)
  uint32_t* const* bufferIndex;         // the table's g_ulBufferIndex cell (null while unbound)
  uint32_t bufferSize;                  // bytes of the driver's output buffer
};

// Size of the drivers' exported output buffer.
constexpr uint32_t kLldOutputBufferSize = 1000000;

// Fixed buffers of one command: nothing is allocated on the heap.
constexpr size_t kConsoleLineSize = 256;   // working line, with its NUL
constexpr size_t kConsoleArgvSlots = cmdline::kArgvSlots;
constexpr size_t kConsoleValueSize = 12;
constexpr size_t kConsoleMessageSize = 256;
// Largest piece of driver text handed to the log in one print.
constexpr size_t kConsolePrintPiece = 4096;

// Receives driver output text, one NUL-terminated piece at a time.
typedef void (*ConsolePrint)(void* context, const char* text);

class CCommandInterpreter {
 public:
  // Stores the address space that the driver's LXLLD_Init reported; returns 0.
  int SetAddressInfo(uint32_t baseAddress, uint32_t windowSize, uint32_t scratchpadAddress);

  // 0 when the word is in the table (whether the command ran or a check refused it), -1 when it
  // is not ("Command not found\n" in the driver's buffer).
  int ExecuteCommand(const char* line);

  // Calls the entry point of dispatch index `index`; -1 and no call for an index outside the table.
  int DispatchCommand(int index, int argc, char** argv);

  // True when row `index` names the line's first word: same characters, same case, followed by a
  // space or the end of the line (the driver's own interpreter ignores case: see cmdline::Policy).
  bool MatchCommand(int index, const char* line) const;

  // This program keeps no console variables: every name is unknown (0) and the value stays empty.
  int LookupVariable(const char* name, char value[kConsoleValueSize]) const;

  bool IsValidBaseAddress(const char* text) const;
  bool IsValidAddress(const char* text) const;

  // Words after the first one; words are separated by runs of blanks and TABs.
  static int CountParameters(const char* line);
  // The n-th word after the first one (n from 1), null when the line has fewer.
  static const char* GetParameter(const char* line, int n);
  static char* GetParameter(char* line, int n);

  // Appends text at the driver's write index, never past the end of its buffer.
  void AppendOutput(const char* text);

  // Hands the driver's text to `print` in pieces of at most kConsolePrintPiece - 1 characters
  // and empties the buffer; a null `print` only empties it. Returns the bytes printed.
  size_t FlushOutput(ConsolePrint print, void* context);

  uint32_t BaseAddress() const { return baseAddress_; }
  uint32_t WindowSize() const { return windowSize_; }
  uint32_t ScratchpadAddress() const { return scratchpadAddress_; }

 protected:
  constexpr CCommandInterpreter(const CommandEntry* table, const int* cells, int commandCount,
                                const LldConsoleDriver* driver, bool usageToBuffer)
      : table_(table), cells_(cells), commandCount_(commandCount), driver_(driver),
        usageToBuffer_(usageToBuffer) {}

  // Formats into at most kConsoleMessageSize characters and appends like AppendOutput.
  void Printf(const char* format, ...)
#if defined(__GNUC__)
      __attribute__((format(printf, 2, 3)))
#endif
      ;

 private:
  int FindCommand(const char* line) const;
  cmdline::AddressSpace Space() const;
  void WriteUsage(int index);

  uint32_t baseAddress_ = 0;
  uint32_t windowSize_ = 0;
  uint32_t scratchpadAddress_ = 0;
  const CommandEntry* table_;
  const int* cells_;
  int commandCount_;
  const LldConsoleDriver* driver_;
  bool usageToBuffer_;  // the Veltan console writes its usage line into the buffer, the NOR one to stdout
};

class CNorCommandInterpreter : public CCommandInterpreter {
 public:
  constexpr explicit CNorCommandInterpreter(const LldConsoleDriver* driver)
      : CCommandInterpreter(g_NorCommandTable, g_NorCommandCell, kNorCommandCount, driver, false) {}
};

class CVeltanCommandInterpreter : public CCommandInterpreter {
 public:
  constexpr explicit CVeltanCommandInterpreter(const LldConsoleDriver* driver)
      : CCommandInterpreter(g_VeltanCommandTable, g_VeltanCommandCell, kVeltanCommandCount, driver,
                            true) {}
  using CCommandInterpreter::Printf;
};

// The drivers bound into NorDriverApiTable and VeltanDriverApiTable, and the two process-wide consoles.
extern const LldConsoleDriver g_NorConsoleDriver;
extern const LldConsoleDriver g_VeltanConsoleDriver;
extern CNorCommandInterpreter g_NorCommandInterpreter;
extern CVeltanCommandInterpreter g_VeltanCommandInterpreter;

// The consoles share the chip and their drivers' output buffers: a command thread holds this
// from the first console it offers a line to until the output is flushed, and "init LXLLD" /
// "init LXOLLD" hold it while they bind and initialise a driver.
std::mutex& ConsoleMutex();

// Reads hexadecimal text the way the drivers do (C strtoul, base 16, on a 32-bit unsigned long):
// leading white space, an optional sign and "0x", up to the first non-hex character; values
// beyond 32 bits give 0xFFFFFFFF.
uint32_t ParseConsoleHex(const char* text);

}  // namespace lx
