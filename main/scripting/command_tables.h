// The command tables of the two low-level consoles, generated once from the row lists of
// lumivex/console_commands.h.
#pragma once
#include "lumivex/console_commands.h"
#include "lumivex/deviceapi.h"

namespace lx {

enum : int {
  kNorCommandCount = 122,
  kVeltanCommandCount = 96,
  kClosingRowCount = 2,
};

// The tables themselves: the commands, then two closing rows (no name, no handler).
extern const CommandEntry g_NorCommandTable[kNorCommandCount + kClosingRowCount];
extern const CommandEntry g_VeltanCommandTable[kVeltanCommandCount + kClosingRowCount];

// The driver-table cell that serves each command row (index = dispatch index).
extern const int g_NorCommandCell[kNorCommandCount];
extern const int g_VeltanCommandCell[kVeltanCommandCount];

}  // namespace lx
