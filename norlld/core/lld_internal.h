// State and helpers shared by the driver's source files (not part of its interface).
#pragma once
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "lld.h"

namespace lld {

struct CommandEntry {
  const char* name;
  LldHandler handler;
  int32_t minParams;
  int32_t maxParams;
  const char* usage;
};

constexpr int kUserVariables = 20;
constexpr int kAutoVariables = 24;
constexpr size_t kVariableNameSize = 80;

struct Variable {
  char name[kVariableNameSize];
  uint32_t size;        // 1, 2 or 4
  void* value;          // the library's value, or `storage` for a user variable
  uint32_t storage;
  bool readOnly;        // the scratchpad's number: the block cannot be moved
};

constexpr int kJobLines = 200;
constexpr size_t kJobLineSize = 128;

struct State {
  uint32_t baseAddr = 0x80000000u;
  uint32_t windowSize = 0x7FFFFFFFu;
  uint32_t scratchpad = 0;            // the number users type, 0 without a block
  std::unique_ptr<uint8_t[]> pad;     // the block itself
  bool superUser = false;
  bool tablesBuilt = false;
  bool interfaceMacro = false;

  std::vector<CommandEntry> table;
  Variable vars[kUserVariables + kAutoVariables] = {};
  int userCount = 0;
  int autoCount = 0;

  // Values shown by automatic variables.
  uint16_t readOp = 0;
  uint32_t deviceId = 0;
  uint16_t cfiWord = 0;
  uint8_t status = 0;
  uint8_t constants[11] = {0, 1, 2, 3, 4, 5, 6, 7, 8, 1, 0};
  uint8_t r8 = 0;
  uint16_t r16 = 0;
  uint32_t r32 = 0;
  uint32_t s8 = 0, s16 = 0, s32 = 0;

  TraceRecord trace[kTraceRecords] = {};
  int32_t traceIndex = -1;
  bool traceWrapped = false;
  uint32_t traceSequence = 0;
  bool writeBufferFlag = false;

  char job[kJobLines][kJobLineSize] = {};
  uint32_t jobCount = 0;
  uint32_t jobPointer = 0;

  uint32_t regionSize[6] = {};
  uint32_t regionSectors[6] = {};

  std::unique_ptr<rook::KitBus> kit;
  LldHost* host = nullptr;
  // Between commands the console gives its claim on the kit back (the device module may open it
  // then); the first bus access of the next command takes it again.
  bool kitLent = false;
  bool kitRefused = false;  // this command found the kit taken: its other accesses do not ask again
  int commandDepth = 0;     // commands run by a job nest inside the job's own command
};

State& S();
LldHost& Host();

// Parameter i of a handler, "" when the caller gave fewer.
const char* Arg(int32_t argc, char** argv, int32_t i);
uint32_t HexArg(int32_t argc, char** argv, int32_t i);
// Length of the word at `text`, up to the next blank or the end.
size_t WordLength(const char* text);

// Prints "Error: %s\n" with the text, then "command: %s %s\n".
void PrintError(const char* text);
void PrintUsage(const char* name, const char* usage);

// Variables.
bool CreateVariable(const char* name, uint32_t size, void* value, bool automatic);
Variable* FindVariable(const char* name, size_t length);

// Tables.
void RegisterCommandTable(const CommandEntry* table);
void BuildTables();
const CommandEntry* BaseCommands();
const CommandEntry* NorCommands();
const CommandEntry* ProtectionCommands();
const CommandEntry* MemoryCommands();
const CommandEntry* TraceCommands();
void CreateNorVariables();
void CreateMemoryVariables();

// The kit for a bus access of the running command, taken back from another user when the console
// had lent it; null (and said once) when it cannot be had.
rook::KitBus* Kit();
// Gives the claim on the kit back until the next command needs it.
void LendKit();

// One command's hold on the kit: the outermost command lends the kit again when it ends.
struct CommandTurn {
  CommandTurn() { ++S().commandDepth; }
  ~CommandTurn() {
    if (--S().commandDepth == 0) LendKit();
  }
};

// Bus.
void BusWrite(uint32_t offset, uint16_t data);
uint16_t BusRead(uint32_t offset);
void BusFlush();
uint16_t ReadCfiWord(uint32_t offset);
uint32_t GetDeviceId();

// The scratchpad bytes of [address, address + length), null unless the whole range lies inside.
uint8_t* ScratchpadRange(uint32_t address, uint64_t length);

}  // namespace lld

// Defines the export cmd_<suffix>: its body runs, then the kit's queue is sent, so that a command
// that only writes reaches the chip before the console shows its prompt again.
#define LLD_DEFINE_COMMAND(suffix)                                    \
  static int32_t suffix##_body(int32_t argc, char** argv);            \
  extern "C" int32_t cmd_##suffix(int32_t argc, char** argv) {         \
    lld::CommandTurn turn;                                            \
    int32_t result = suffix##_body(argc, argv);                       \
    lld::BusFlush();                                                  \
    return result;                                                    \
  }                                                                   \
  static int32_t suffix##_body(int32_t argc, char** argv)
