// The command language shared by Lumivex's low-level consoles and the NOR driver's own
// interpreter: one tokenizer and one argument checker for both, with a Policy for the few places
// where the two sides differ. Portable, no platform headers, nothing allocated: the caller hands in
// the working buffer, so the consoles keep their fixed 256-character line and the driver can give a
// line all the room its variables need.
//
// A line is a command word at its very start, then parameters separated by runs of blanks (spaces
// and TABs). Only a space ends the command word ("d8\t0" names no command). "$name" stands for a
// variable's value; the name runs to the next space. Parameters are hexadecimal, read as C's
// strtoul with base 16 reads them on a 32-bit target.
//
// Checking a line (Prepare), in this order:
//   1. copy into the working buffer, replacing every "$name" by the variable's value in 2, 4 or 8
//      hexadecimal digits (its size in bytes 1, 2 or 4);
//   2. when the line has one parameter fewer than the command's minimum and its usage begins with
//      "[", the base address " %8.8X" goes in right after the command word;
//   3. the count must lie within the command's bounds (and leave a slot of argv);
//   4. a usage beginning with "[base_addr]" or "base_addr" (SetBaseAddress excepted) tests the
//      first parameter as a base address, one beginning with "addr" as an address.
// argv[0] is the working line; argv[1..argc] point at each parameter inside it, so each runs on to
// the end of the line and a handler reads up to the next blank itself.
#pragma once
#include <cstddef>
#include <cstdint>

namespace lx {
namespace cmdline {

// Where the driver's interpreter and the program's consoles part.
struct Policy {
  bool ignoreCase;       // the driver matches command words without regard to case, the consoles by case
  bool evenBaseAddress;  // the driver also wants a base address to be even
};

constexpr Policy kConsolePolicy = {false, false};
constexpr Policy kDriverPolicy = {true, true};

// Bus window, scratchpad and the driver's SuperUser switch (which skips the address tests).
struct AddressSpace {
  uint32_t base;
  uint32_t window;
  uint32_t scratchpad;  // 0: there is none
  bool superUser;
};

constexpr uint32_t kScratchpadSize = 0x10000;
constexpr int kArgvSlots = 100;

inline bool IsBlank(char c) { return c == ' ' || c == '\t'; }

// strtoul(text, 0, 16) on a 32-bit unsigned long: leading white space, an optional sign and "0x",
// up to the first non-hex character; values beyond 32 bits give 0xFFFFFFFF; null gives 0.
uint32_t ParseHex(const char* text);

// True when `name` begins the line (by the policy's case rule) and a space or the end follows.
bool MatchWord(const char* name, const char* line, const Policy& policy);

// Words after the first one.
int CountParameters(const char* line);
// The n-th word after the first one (n from 1), null when the line has fewer.
const char* GetParameter(const char* line, int n);

// A range that would run past 4 GiB ends there instead of wrapping to low addresses.
bool ValidBaseAddress(uint32_t value, const AddressSpace& space, const Policy& policy);
bool ValidAddress(uint32_t value, const AddressSpace& space);

// A variable's value for "$name" (the name is not NUL-terminated). False: no such variable.
struct Variable {
  uint32_t size;  // bytes: 1, 2 or 4; anything else is refused
  uint32_t value;
};
typedef bool (*VariableLookup)(void* context, const char* name, size_t length, Variable* out);

// One command row as both sides' tables hold it.
struct Row {
  const char* name;
  int32_t minParams;
  int32_t maxParams;
  const char* usage;  // null reads as empty
};

enum class Verdict {
  kRun,                  // argc and argv are set
  kTooLong,              // the working buffer cannot hold the line
  kUnknownVariable,      // `name` / `nameLength`: the reference without a variable
  kBadVariableSize,      // `name` / `nameLength`: the variable whose size is not 1, 2 or 4
  kParameterCount,       // argc is the count found
  kInvalidBaseAddress,
  kInvalidAddress,
};

struct Prepared {
  Verdict verdict;
  int argc;
  char* argv[kArgvSlots];
  const char* name;
  size_t nameLength;
};

// A working buffer of this size holds any line of `length` characters after step 1 and 2: a
// reference is at least 2 characters ("$" and a name) and becomes at most 8.
constexpr size_t WorkSizeFor(size_t length) { return 4 * length + 16; }

// Steps 1 to 4 for a line whose command word matched `row`. `work` receives the working line.
void Prepare(const Row& row, const char* line, char* work, size_t workSize, const Policy& policy,
             const AddressSpace& space, VariableLookup lookup, void* context, Prepared* out);

}  // namespace cmdline
}  // namespace lx
