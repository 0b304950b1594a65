// The tables of the two low-level driver kinds (NOR "LXLLD", Veltan "LXOLLD"): LXLLD_Init,
// one cell per command export, and the two data cells of the driver's output buffer.
// The consoles forward a command by cell index to whatever the table holds at that moment.
#pragma once
#include <cstdint>

#include "bind_core.h"
#include "driver_names.h"
#include "lumivex/deviceapi.h"

namespace lx {

typedef int (*LldInitFn)(uint32_t* baseAddress, uint32_t* windowSize, uint32_t* scratchpadAddress);

// Cell indices: 0 is LXLLD_Init, command cells follow in list order.
enum NorDriverCell : int {
  kNorCell_LXLLD_Init = 0,
#define LX_NOR_CELL_ENUM(suffix) kNorCell_cmd_##suffix,
  LX_NOR_DRIVER_COMMANDS(LX_NOR_CELL_ENUM)
#undef LX_NOR_CELL_ENUM
  kNorCellCount
};

enum VeltanDriverCell : int {
  kVeltanCell_LXLLD_Init = 0,
#define LX_VELTAN_CELL_ENUM(name) kVeltanCell_##name,
  LX_VELTAN_DRIVER_COMMANDS(LX_VELTAN_CELL_ENUM)
#undef LX_VELTAN_CELL_ENUM
  kVeltanCellCount
};

static_assert(kNorCellCount == 119, "the NOR table has 119 function cells");
static_assert(kVeltanCellCount == 93, "the Veltan table has 93 function cells");

template <int CommandCount>
struct LldDriverTable {
  LldInitFn LXLLD_Init;
  CommandHandler commands[CommandCount];  // cell i (i >= 1) is commands[i - 1]
  uint8_t* g_ucBuffer;                    // null until a driver exporting it is bound
  uint32_t* g_ulBufferIndex;
};

typedef LldDriverTable<LX_NOR_DRIVER_COMMAND_COUNT> NorDriverApiTableCells;
typedef LldDriverTable<LX_VELTAN_DRIVER_COMMAND_COUNT> VeltanDriverApiTableCells;

extern NorDriverApiTableCells NorDriverApiTable;
extern VeltanDriverApiTableCells VeltanDriverApiTable;

// Bind in the documented order (index, buffer, then every function cell); 0 when every
// name was found, 1 when any was missing (missing functions hold their stubs, missing
// data cells are null).
int BindNorDriverApi(SymbolLookup lookup, void* module);
int BindVeltanDriverApi(SymbolLookup lookup, void* module);

// Exported name of a cell (0 .. count-1), null outside.
const char* NorDriverCellName(int cell);
const char* VeltanDriverCellName(int cell);

// The command entry point of a command cell (1 .. count-1), null outside.
CommandHandler NorDriverCommand(int cell);
CommandHandler VeltanDriverCommand(int cell);

}  // namespace lx
